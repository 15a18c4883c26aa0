#include "engine/console/console_ring.h"

#include "engine/common/engine_clock.h"
#include "engine/common/engine_log.h"
#include "platform/driver/console_device.h"

#include <atomic>
#include <string.h>

namespace {

std::atomic<int> g_indexWarned[2] = {{0}, {0}};
std::atomic<uint64_t> g_badLengthLineAt{0};
std::atomic<uint32_t> g_badLengthSkipped{0};

void warnIndexOnce(int which, const char *ring, uint32_t w, uint32_t r)
{
    if (!g_indexWarned[which].exchange(1))
        quorlix_log_err("[WARN] %s ring index out of range (W=%u R=%u); resynchronising\n", ring, w, r);
}

size_t slotOffset(size_t ring, uint32_t index)
{
    return ring + RING_SLOT0 + size_t(index) * SLOT_SIZE;
}

} // namespace

int gateway_ring_take(uint8_t *region, uint8_t *out, size_t *len)
{
    const size_t ring = REGION_RX_RING;
    const uint32_t w = region_load32(region, ring + RING_W);
    uint32_t r = region_load32(region, ring + RING_R);
    if (w >= RING_SLOTS) {
        // Nothing sound to follow until the driver writes a valid index again.
        warnIndexOnce(0, "Receive", w, r);
        return 0;
    }
    if (r >= RING_SLOTS) {
        warnIndexOnce(0, "Receive", w, r);
        region_store32(region, ring + RING_R, w);
        return 0;
    }
    if (r == w)
        return 0;
    const size_t slot = slotOffset(ring, r);
    region_fence();
    uint16_t n = region_load16(region, slot + SLOT_LENGTH);
    if (n == 0) {
        // The driver may have moved W before its length store became visible.
        region_fence();
        n = region_load16(region, slot + SLOT_LENGTH);
        if (n == 0)
            return 0;
    }
    if (n > RING_MAX_FRAME) {
        g_badLengthSkipped.fetch_add(1);
        const uint64_t now = quorlix_now_ms();
        const uint64_t last = g_badLengthLineAt.load();
        if (last == 0 || now - last >= 1000) {
            g_badLengthLineAt.store(now ? now : 1);
            quorlix_log_err("[WARN] Receive ring slot %u holds length %u (over 2048); skipped (%u so far)\n",
                            r, unsigned(n), g_badLengthSkipped.load());
        }
        region_store32(region, ring + RING_R, (r + 1) % RING_SLOTS);
        return 0;
    }
    region_fence();
    memcpy(out, region + slot + SLOT_DATA, n);
    region_fence();
    region_store32(region, ring + RING_R, (r + 1) % RING_SLOTS);
    *len = n;
    return 1;
}

int gateway_ring_put(uint8_t *region, const uint8_t *frame, size_t len)
{
    const size_t ring = REGION_U2C_RING;
    if (len == 0 || len > RING_MAX_FRAME) {
        // Waiting cannot make it fit.
        quorlix_log_err("[ERROR] Ring buffer full, dropped response\n");
        return 0;
    }
    const uint64_t start = quorlix_now_ms();
    for (int tries = 0;; ++tries) {
        uint32_t w = region_load32(region, ring + RING_W);
        const uint32_t r = region_load32(region, ring + RING_R);
        if (w >= RING_SLOTS && r < RING_SLOTS) {
            // W is ours; a value out of range was written by someone else.
            warnIndexOnce(1, "U2C", w, r);
            w = r;
        }
        if (w < RING_SLOTS && r < RING_SLOTS && (w + 1) % RING_SLOTS != r) {
            region_publish_slot(region, ring, w, uint32_t(quorlix_now_ms()), frame, uint16_t(len));
            region_add64(region, REGION_USER_TOTAL, 1);
            return 1;
        }
        if (tries < 5) {
            quorlix_sleep_ms(0);
            continue;
        }
        quorlix_sleep_ms(0);
        if (quorlix_now_ms() - start >= 50) {
            quorlix_log_err("[ERROR] Ring buffer full, dropped response\n");
            return 0;
        }
        quorlix_sleep_ms(1);
    }
}
