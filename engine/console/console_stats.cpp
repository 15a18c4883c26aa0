#include "engine/console/console_stats.h"

#include "engine/common/engine_log.h"
#include "engine/console/console_device_config.h"
#include "engine/console/console_state.h"
#include "platform/driver/console_device.h"

#include <string.h>

namespace {

unsigned long long u64(const uint8_t *b, size_t off)
{
    return (unsigned long long)region_load64(b, off);
}

unsigned long u32(const uint8_t *b, size_t off)
{
    return (unsigned long)region_load32(b, off);
}

// Little-endian fields of a record the driver returned.
unsigned long long le(const uint8_t *p, int bytes)
{
    unsigned long long v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}

} // namespace

void gateway_print_stats(unsigned long long frames)
{
    GatewayState &s = gateway_state();
    const uint8_t *r = s.region.load();
    if (r) {
        const size_t rx = REGION_RX_RING, u2c = REGION_U2C_RING;
        quorlix_log("[STATS] Packets: %llu, Drops: %lu\n", frames, u32(r, rx + RING_DROPS));
        quorlix_log("[RB]   W=%lu R=%lu KernelTotal=%llu\n", u32(r, rx + RING_W), u32(r, rx + RING_R),
                    u64(r, REGION_KERNEL_TOTAL));
        quorlix_log("[RB2]  U2C W=%lu R=%lu Drop=%ld UserTotal=%llu\n", u32(r, u2c + RING_W),
                    u32(r, u2c + RING_R), long(int32_t(region_load32(r, u2c + RING_DROPS))),
                    u64(r, REGION_USER_TOTAL));
        const size_t c = REGION_CON_COUNTERS;
        quorlix_log("[CONDBG] SubnetHit=%llu PolicyChk=%llu Hit=%llu Miss=%llu TooLarge=%llu NoBuf=%llu "
                    "RingFull=%llu Written=%llu\n",
                    u64(r, c), u64(r, c + 8), u64(r, c + 16), u64(r, c + 24), u64(r, c + 32), u64(r, c + 40),
                    u64(r, c + 48), u64(r, c + 56));
        const size_t p = REGION_PROTO_COUNTERS, l = REGION_LAST_PROTO;
        quorlix_log(
            "[CONDBG2] ProtoUDP=%llu ProtoTCP=%llu ProtoOther=%llu LastProto=%lu LastSrc=%lu LastDst=%lu\n",
            u64(r, p), u64(r, p + 8), u64(r, p + 16), u32(r, l), u32(r, l + 4), u32(r, l + 8));
        quorlix_log("[CONDBG3] MiniportMacCached=%lu\n", u32(r, REGION_MINIPORT_MAC_CACHED));
        const size_t a = REGION_ARP_COUNTERS;
        quorlix_log("[ARPDBG] Seen=%llu Req=%llu ForGw=%llu ReplySent=%llu NotReady=%llu AllocFail=%llu\n",
                    u64(r, a), u64(r, a + 8), u64(r, a + 16), u64(r, a + 24), u64(r, a + 32), u64(r, a + 40));
        uint8_t snd[4], tgt[4];
        const uint32_t sw = region_load32(r, REGION_LAST_SENDER), tw = region_load32(r, REGION_LAST_TARGET);
        memcpy(snd, &sw, 4);
        memcpy(tgt, &tw, 4);
        quorlix_log("[ARPDBG2] LastSender=%u.%u.%u.%u LastTarget=%u.%u.%u.%u\n", snd[0], snd[1], snd[2],
                    snd[3], tgt[0], tgt[1], tgt[2], tgt[3]);
    }

    gateway_read_console_config();

    const quorlix_driver_handle dev = s.device.load();
    uint8_t build[DBUILD_SIZE] = {};
    uint32_t got = 0;
    int rc = quorlix_driver_control(dev, CONSOLE_IOCTL_GET_BUILD_INFO, nullptr, 0, build, DBUILD_SIZE, &got);
    if (rc == 0) {
        char stamp[DBUILD_STAMP_MAX];
        memcpy(stamp, build + DBUILD_STAMP, sizeof stamp);
        stamp[sizeof stamp - 1] = '\0';
        quorlix_log("[DRIVER] BuildStamp=%s Magic=0x%08X\n", stamp, unsigned(le(build + DBUILD_MAGIC, 4)));
    } else {
        quorlix_log("[DRIVER] BuildInfo unavailable (err=%lu)\n", (unsigned long)rc);
    }
    uint8_t st[DSTATUS_SIZE] = {};
    rc = quorlix_driver_control(dev, CONSOLE_IOCTL_GET_STATUS, nullptr, 0, st, DSTATUS_SIZE, &got);
    if (rc == 0)
        quorlix_log(
            "[DRIVER] Attached=%lu OffloadsDisabled=%lu FilteringActive=%u RecvCb=%llu ProcCalls=%llu "
            "ParseFails=%llu\n",
            (unsigned long)le(st + DSTATUS_ATTACHED, 4), (unsigned long)le(st + DSTATUS_OFFLOADS_DISABLED, 4),
            unsigned(st[DSTATUS_FILTERING_ACTIVE]), le(st + DSTATUS_RECV_CB, 8),
            le(st + DSTATUS_PROC_CALLS, 8), le(st + DSTATUS_PARSE_FAILS, 8));
    else
        quorlix_log("[DRIVER] Status unavailable (err=%lu)\n", (unsigned long)rc);
}
