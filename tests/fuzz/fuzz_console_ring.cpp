// fuzz-sources: engine/console platform/driver engine/common
//
// An arbitrary shared region under the engine's ring code: the input is laid
// over the counter words and the first slots of both rings (indices, drop
// counts, slot lengths and data), then the receive ring is drained and frames
// are written into the U2C ring. Nothing may be read or written outside the
// region (it sits in an exactly sized allocation), and draining must end.

#include "engine/common/engine_clock.h"
#include "engine/common/engine_log.h"
#include "engine/console/console_ring.h"
#include "platform/driver/console_device.h"
#include "tests/fuzz/console_fuzz_region.h"

#include <stdlib.h>
#include <string.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    uint8_t *region = consoleFuzzRegion();
    // Header words and the first two slots of each ring come from the input;
    // the rest of the region keeps whatever earlier inputs left there.
    const size_t spans[][2] = {
        {REGION_RX_RING, RING_SLOT0 + 2 * SLOT_SIZE},
        {REGION_U2C_RING, RING_SLOT0 + 2 * SLOT_SIZE},
        {REGION_RX_RING + RING_SLOT0 + (RING_SLOTS - 1) * SLOT_SIZE, SLOT_SIZE},
    };
    size_t used = 0;
    for (const auto &span : spans) {
        const size_t n = size - used < span[1] ? size - used : span[1];
        memcpy(region + span[0], data + used, n);
        used += n;
    }
    uint8_t frame[RING_MAX_FRAME];
    size_t len = 0;
    for (int i = 0; i < 2 * RING_SLOTS + 2; ++i) {
        const uint32_t before = region_load32(region, REGION_RX_RING + RING_R);
        const int took = gateway_ring_take(region, frame, &len);
        if (took && (len < 1 || len > RING_MAX_FRAME))
            abort();
        // Nothing taken and R where it was: the ring waits on the driver, and
        // more calls would find it the same.
        if (!took && region_load32(region, REGION_RX_RING + RING_R) == before)
            break;
    }
    const size_t putLen = size ? data[0] * 9u : 0;
    gateway_ring_put(region, frame, putLen > RING_MAX_FRAME + 1 ? RING_MAX_FRAME + 1 : putLen);
    gateway_ring_put(region, frame, 64);
    return 0;
}
