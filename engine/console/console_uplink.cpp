#include "engine/console/console_uplink.h"

#include "engine/common/engine_log.h"
#include "engine/common/tunnel_header.h"
#include "engine/console/console_packet.h"
#include "engine/console/console_state.h"
#include "platform/driver/console_device.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

namespace {

const unsigned kMaxCsumLines = 5;

void learnVlan(const ConsoleFrameInfo &info)
{
    if (!info.tagged)
        return;
    GatewayState &s = gateway_state();
    const uint32_t word = (uint32_t(1) << 16) | info.tci;
    if (s.vlan.exchange(word, std::memory_order_acq_rel) != word)
        quorlix_log("[VLAN] Learned VLAN TCI=0x%04X from console traffic\n", info.tci);
}

uint8_t fnv(uint32_t *h, uint8_t b)
{
    *h = (*h ^ b) * 0x01000193u;
    return b;
}

void printAddrPort(char *out, size_t cap, const uint8_t *a, unsigned port)
{
    snprintf(out, cap, "%u.%u.%u.%u:%u", a[0], a[1], a[2], a[3], port);
}

} // namespace

uint32_t gateway_conn_id(uint32_t src_ip, uint16_t src_port, uint32_t dst_ip, uint16_t dst_port,
                         uint8_t proto)
{
    uint8_t s[4], d[4];
    memcpy(s, &src_ip, 4);
    memcpy(d, &dst_ip, 4);
    uint32_t h = 0x811C9DC5u;
    for (int i = 3; i >= 0; --i)
        fnv(&h, s[i]);
    fnv(&h, uint8_t(src_port));
    fnv(&h, uint8_t(src_port >> 8));
    for (int i = 3; i >= 0; --i)
        fnv(&h, d[i]);
    fnv(&h, uint8_t(dst_port));
    fnv(&h, uint8_t(dst_port >> 8));
    fnv(&h, proto);
    return h;
}

void gateway_handle_console_frame(const uint8_t *frame, size_t len)
{
    if (len < 20) {
        quorlix_log("[WARN] Packet too short: %u bytes\n", unsigned(len));
        return;
    }
    const ConsoleFrameInfo info = gateway_parse_frame(frame, len);
    GatewayState &s = gateway_state();
    if (info.ethernet) {
        static const uint8_t zero[6] = {};
        const uint8_t *src = frame + 6;
        if (memcmp(src, zero, 6) != 0) {
            const uint64_t word = gateway_mac_pack(src);
            if (s.console_mac.exchange(word, std::memory_order_acq_rel) != word)
                quorlix_log("[MAC] Learned console MAC from traffic: %02X:%02X:%02X:%02X:%02X:%02X\n", src[0],
                            src[1], src[2], src[3], src[4], src[5]);
        }
    }
    if (!info.ipv4) {
        quorlix_log("[WARN] Not IPv4 (or bad len), skipping\n");
        return;
    }
    learnVlan(info);
    const uint8_t *ip = frame + info.ip_offset;
    const size_t h = size_t(ip[0] & 0x0F) * 4;
    const size_t total = tunnel_load_be16(ip + 2);
    const uint8_t proto = ip[9];
    unsigned logPort = 0;
    if ((proto == 17 && total >= h + 8) || (proto == 6 && total >= h + 20))
        logPort = tunnel_load_be16(ip + h + 2);
    if (!gateway_encapsulate_uplink(frame, len)) {
        quorlix_log_err("[ERROR] Failed to tunnel packet\n");
        return;
    }
    if (s.settings.verbose_packets && gateway_limiter_allow())
        quorlix_log("[TX->SERVER] %s port %u (len=%u)\n", proto == 17 ? "UDP" : "TCP", logPort,
                    unsigned(len));
}

int gateway_encapsulate_uplink(const uint8_t *frame, size_t len)
{
    if (len > RING_MAX_FRAME || len < 20)
        return 0;
    const ConsoleFrameInfo info = gateway_parse_frame(frame, len);
    if (!info.ipv4)
        return 0;
    learnVlan(info);
    GatewayState &s = gateway_state();
    const bool verbose = s.settings.verbose_packets != 0;

    static thread_local uint8_t dg[TUNNEL_HEADER_LEN + RING_MAX_FRAME];
    const uint8_t *src = frame + info.ip_offset;
    const size_t h = size_t(src[0] & 0x0F) * 4;
    const size_t t = tunnel_load_be16(src + 2);
    const uint8_t proto = src[9];
    uint8_t *p = dg + TUNNEL_HEADER_LEN;
    memcpy(p, src, t);

    uint32_t sAddr, dAddr;
    memcpy(&sAddr, p + 12, 4);
    memcpy(&dAddr, p + 16, 4);
    const uint16_t frag = tunnel_load_be16(p + 6);
    const bool fragment = (frag & 0x2000u) || (frag & 0x1FFFu);
    const bool laterFragment = (frag & 0x1FFFu) != 0;
    uint16_t sp = 0, dp = 0;
    if (!laterFragment && ((proto == 17 && t >= h + 8) || (proto == 6 && t >= h + 20))) {
        sp = tunnel_load_be16(p + h);
        dp = tunnel_load_be16(p + h + 2);
    }
    const uint32_t connId = gateway_conn_id(sAddr, sp, dAddr, dp, proto);
    gateway_flow_store(FlowEntry{connId, proto, sAddr, sp, dAddr, dp});

    uint16_t dpRaw;
    uint8_t dpBytes[2];
    tunnel_store_be16(dpBytes, dp);
    memcpy(&dpRaw, dpBytes, 2);
    tunnel_header_write(dg, 0, proto, dpRaw, connId, TUNNEL_HEADER_LEN, dAddr);

    p[10] = 0;
    p[11] = 0;
    tunnel_store_be16(p + 10, gateway_ip_checksum(p, h));

    uint8_t *seg = p + h;
    const size_t segLen = t - h;
    // A fragment carries only part of its datagram: its transport checksum
    // cannot be recomputed here, and a later one has no transport header.
    if (proto == 6 && !fragment && segLen >= 18) {
        if (t >= 20 && segLen >= 20) {
            const size_t doff = size_t(seg[12] >> 4) * 4;
            if (doff >= 20 && h + doff <= t && (seg[13] & 0x02)) {
                size_t i = 20;
                while (i < doff) {
                    const uint8_t kind = seg[i];
                    if (kind == 0)
                        break;
                    if (kind == 1) {
                        ++i;
                        continue;
                    }
                    if (i + 1 >= doff)
                        break;
                    const size_t olen = seg[i + 1];
                    if (olen < 2 || i + olen > doff)
                        break;
                    if (kind == 2 && olen == 4) {
                        const uint32_t clamp = s.mss_clamp.load(std::memory_order_relaxed);
                        if (tunnel_load_be16(seg + i + 2) > clamp)
                            tunnel_store_be16(seg + i + 2, uint16_t(clamp));
                        break;
                    }
                    i += olen;
                }
            }
        }
        const uint16_t old = tunnel_load_be16(seg + 16);
        seg[16] = 0;
        seg[17] = 0;
        const uint16_t sum = gateway_tcp_checksum(p, seg, uint16_t(segLen));
        tunnel_store_be16(seg + 16, sum);
        if (verbose && (old == 0 || old != sum) && s.csum_lines.load() < kMaxCsumLines &&
            gateway_limiter_allow()) {
            s.csum_lines.fetch_add(1);
            quorlix_log("[UPLINK-CSUM] Fixed TCP checksum: old=0x%04X new=0x%04X (proto=%u len=%u)\n", old,
                        sum, proto, unsigned(segLen));
        }
        if (verbose && segLen >= 20 && gateway_limiter_allow()) {
            char a[32], b[32];
            printAddrPort(a, sizeof a, p + 12, sp);
            printAddrPort(b, sizeof b, p + 16, dp);
            const size_t doff = size_t(seg[12] >> 4) * 4;
            quorlix_log(
                "[TX-TCP-DEBUG] Console->Server: %s -> %s seq=%u ack=%u flags=0x%02x win=%u csum=0x%04x "
                "payload=%u\n",
                a, b, tunnel_load_be32(seg + 4), tunnel_load_be32(seg + 8), seg[13],
                tunnel_load_be16(seg + 14), sum, unsigned(segLen > doff ? segLen - doff : 0));
        }
    } else if (proto == 17 && !fragment && segLen >= 8) {
        seg[6] = 0;
        seg[7] = 0;
        uint16_t sum = gateway_transport_checksum(p, 17, seg, uint16_t(segLen));
        if (sum == 0)
            sum = 0xFFFF;
        tunnel_store_be16(seg + 6, sum);
        if (verbose && gateway_limiter_allow()) {
            char a[32], b[32];
            printAddrPort(a, sizeof a, p + 12, sp);
            printAddrPort(b, sizeof b, p + 16, dp);
            quorlix_log("[TX-UDP-DEBUG] Console->Server: %s -> %s len=%u csum=0x%04x payload=%u\n", a, b,
                        tunnel_load_be16(seg + 4), sum, unsigned(segLen - 8));
        }
    }

    const size_t total = TUNNEL_HEADER_LEN + t;
    int err = 0;
    const long sent =
        quorlix_socket_send_to(&s.sock, dg, total, s.relay_addr.load(), s.relay_port.load(), &err);
    if (sent != long(total)) {
        quorlix_log_err("[ERROR] sendto failed: %d (expected %u)\n", sent < 0 ? err : 0, unsigned(total));
        return 0;
    }
    return 1;
}
