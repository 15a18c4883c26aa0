// fuzz-sources: engine/console platform/driver engine/common
//
// Relay datagrams of arbitrary bytes through the downlink: the three answer
// forms, the flow lookup and the frame built for the console, written into a
// U2C ring of a real region. The first byte sets the scene: whether the
// console MAC and a VLAN tag are known, whether the datagram's ConnID names a
// flow (so the payload form is reached), and the verbose lines.

#include "engine/common/engine_clock.h"
#include "engine/common/engine_log.h"
#include "engine/console/console_downlink.h"
#include "engine/console/console_state.h"
#include "platform/driver/console_device.h"
#include "tests/fuzz/console_fuzz_region.h"

#include <stdlib.h>
#include <string.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    uint8_t *region = consoleFuzzRegion();
    if (size < 1)
        return 0;
    GatewayState &s = gateway_state();
    s.region.store(region);
    const uint8_t scene = data[0];
    ++data;
    --size;
    const uint8_t mac[6] = {0x00, 0x22, 0x48, 0xAA, 0xBB, 0x01};
    s.console_mac.store((scene & 1) ? gateway_mac_pack(mac) : 0);
    s.vlan.store((scene & 2) ? ((1u << 16) | 0x0064u) : 0);
    s.settings.verbose_packets = (scene >> 3) & 1;
    if ((scene & 4) && size >= 8) {
        FlowEntry e = {uint32_t(data[4]) << 24 | uint32_t(data[5]) << 16 | uint32_t(data[6]) << 8 | data[7],
                       data[1],
                       0x050016ACu,
                       uint16_t(scene * 257u),
                       0x327100CBu,
                       3075};
        gateway_flow_store(e);
    }
    if (size > 2064)
        size = 2064;
    // Keep the ring from filling up: the driver has taken everything.
    region_store32(region, REGION_U2C_RING + RING_R, region_load32(region, REGION_U2C_RING + RING_W));
    uint8_t *dg = static_cast<uint8_t *>(malloc(size ? size : 1));
    memcpy(dg, data, size);
    gateway_handle_relay_datagram(dg, size);
    free(dg);
    return 0;
}
