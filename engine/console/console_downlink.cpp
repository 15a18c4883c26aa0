#include "engine/console/console_downlink.h"

#include "engine/common/engine_clock.h"
#include "engine/common/engine_log.h"
#include "engine/common/tunnel_header.h"
#include "engine/console/console_packet.h"
#include "engine/console/console_ring.h"
#include "engine/console/console_state.h"
#include "platform/driver/console_device.h"

#include <errno.h>
#include <string.h>
#include <time.h>

namespace {

const size_t kRecvCap = TUNNEL_HEADER_LEN + RING_MAX_FRAME; // 2064
const uint64_t kAliveEveryMs = 10000;

// The 28 header bytes of a UDP answer sent as bare payload, from the flow.
void buildUdpHeaders(uint8_t *p, const FlowEntry &f, size_t payloadLen)
{
    memset(p, 0, 28);
    p[0] = 0x45;
    tunnel_store_be16(p + 2, uint16_t(payloadLen + 28));
    p[8] = 64;
    p[9] = 17;
    memcpy(p + 12, &f.dst_ip, 4);
    memcpy(p + 16, &f.src_ip, 4);
    tunnel_store_be16(p + 10, gateway_ip_checksum(p, 20));
    tunnel_store_be16(p + 20, f.dst_port);
    tunnel_store_be16(p + 22, f.src_port);
    tunnel_store_be16(p + 24, uint16_t(payloadLen + 8));
}

void sleepMs(int ms)
{
    timespec ts = {ms / 1000, long(ms % 1000) * 1000000L};
    nanosleep(&ts, nullptr);
}

} // namespace

void gateway_handle_relay_datagram(const uint8_t *dg, size_t n)
{
    if (n < TUNNEL_HEADER_LEN) {
        quorlix_log("[RX-WARN] Packet too small (%d bytes), need at least %d\n", int(n),
                    int(TUNNEL_HEADER_LEN));
        return;
    }
    if (n > kRecvCap)
        return; // never handed one by the receive; kept out for direct callers
    GatewayState &s = gateway_state();
    const uint8_t proto = dg[TUNNEL_OFF_PROTO];
    const uint32_t connId = tunnel_load_be32(dg + TUNNEL_OFF_CONN_ID);
    const uint8_t *pl = dg + TUNNEL_HEADER_LEN;
    const size_t m = n - TUNNEL_HEADER_LEN;

    // Frame buffer: Ethernet header (18 with a tag) + the packet.
    static thread_local uint8_t frame[18 + 28 + RING_MAX_FRAME];
    uint8_t *pkt = frame + 18;
    size_t pktLen = 0;
    const char *mode = nullptr;
    FlowEntry flow;
    const bool flowFound =
        proto == 17 && gateway_flow_load(gateway_flow_slot(connId), &flow) && flow.conn_id == connId;
    if (m >= 20 && gateway_ipv4_valid(pl, uint16_t(m), proto)) {
        mode = "ipv4";
        memcpy(pkt, pl, m);
        pktLen = m;
    } else if (m >= 34 && pl[12] == 0x08 && pl[13] == 0x00 &&
               gateway_ipv4_valid(pl + 14, uint16_t(m - 14), proto)) {
        mode = "eth+ipv4";
        memcpy(pkt, pl + 14, m - 14);
        pktLen = m - 14;
    } else if (flowFound && m + 28 <= RING_MAX_FRAME) {
        mode = "udp-payload";
        buildUdpHeaders(pkt, flow, m);
        memcpy(pkt + 28, pl, m);
        pktLen = m + 28;
    } else {
        quorlix_log(
            "[RX-WARN] Dropped response: couldn't parse (innerLen=%u, proto=%u, ver=%u, ihl=%u, ConnID "
            "lookup=%s)\n",
            unsigned(m), proto, m ? unsigned(pl[0] >> 4) : 0u, m ? unsigned(pl[0] & 0x0F) : 0u,
            flowFound ? "found" : "notfound");
        return;
    }

    uint8_t consoleMac[6];
    if (!gateway_console_mac(consoleMac)) {
        quorlix_log("[RX-WARN] No console MAC yet, can't inject (response len=%u mode=%s)\n",
                    unsigned(pktLen), mode);
        return;
    }
    uint8_t adapterMac[6];
    const uint64_t adapterWord = s.adapter_mac.load(std::memory_order_acquire);
    gateway_mac_unpack(gateway_mac_valid(adapterWord) ? adapterWord : 0, adapterMac);
    uint16_t tci = 0;
    const bool tagged = gateway_vlan_tci(&tci) != 0;
    uint8_t *f = tagged ? frame : frame + 4;
    memcpy(f, consoleMac, 6);
    memcpy(f + 6, adapterMac, 6);
    if (tagged) {
        f[12] = 0x81;
        f[13] = 0x00;
        tunnel_store_be16(f + 14, tci);
        f[16] = 0x08;
        f[17] = 0x00;
    } else {
        f[12] = 0x08;
        f[13] = 0x00;
    }
    const size_t frameLen = pktLen + (tagged ? 18 : 14);
    const bool verbose = s.settings.verbose_packets != 0;
    if (proto == 6 && pktLen >= 40 && verbose && gateway_limiter_allow()) {
        const uint8_t *t = pkt + 20;
        quorlix_log(
            "[RX-TCP-DEBUG] Injecting TCP: %u.%u.%u.%u:%u -> %u.%u.%u.%u:%u seq=%u ack=%u flags=0x%02x "
            "win=%u csum=0x%04x\n",
            pkt[12], pkt[13], pkt[14], pkt[15], tunnel_load_be16(t), pkt[16], pkt[17], pkt[18], pkt[19],
            tunnel_load_be16(t + 2), tunnel_load_be32(t + 4), tunnel_load_be32(t + 8), t[13],
            tunnel_load_be16(t + 14), tunnel_load_be16(t + 16));
    }
    uint8_t *region = s.region.load(std::memory_order_acquire);
    if (!region)
        return;
    if (gateway_ring_put(region, f, frameLen) && verbose && gateway_limiter_allow())
        quorlix_log("[RX<-SERVER] Injected response (len=%u mode=%s)\n", unsigned(frameLen), mode);
}

int gateway_server_rx_thread(void)
{
    GatewayState &s = gateway_state();
    quorlix_log("[RX] Server receive thread started\n");
    quorlix_log("[RX-DEBUG] Listening for responses on socket (timeout=5s)\n");
    uint64_t lastAlive = quorlix_now_ms();
    static thread_local uint8_t buf[kRecvCap];
    int foreignWarned = 0;
    int oversizedWarned = 0;
    while (gateway_is_running()) {
        int err = 0;
        uint32_t from = 0;
        uint16_t fromPort = 0;
        const long n = quorlix_socket_recv_from(&s.sock, buf, sizeof buf, 5000, &from, &fromPort, &err);
        if (n < 0) {
            if (err == ETIMEDOUT || err == EINTR || err == EAGAIN || err == EWOULDBLOCK) {
                const uint64_t now = quorlix_now_ms();
                if (now - lastAlive >= kAliveEveryMs) {
                    quorlix_log("[RX-DEBUG] Thread alive, waiting for packets (received %llu so far, last "
                                "err=%d)...\n",
                                (unsigned long long)s.rx_received.load(), err);
                    lastAlive = now;
                }
                continue;
            }
            if (err == EMSGSIZE) {
                // Longer than any answer (2064 bytes): the receive already
                // dropped it whole. Anyone may send one, from anywhere, so it
                // is reported once and costs no pause: a stream of them must
                // not hold back the relay's answers behind it.
                if (!oversizedWarned) {
                    oversizedWarned = 1;
                    quorlix_log_err("[ERROR] recvfrom failed: %d (WSA err=%d)\n", int(n), err);
                }
                continue;
            }
            quorlix_log_err("[ERROR] recvfrom failed: %d (WSA err=%d)\n", int(n), err);
            for (int i = 0; i < 10 && gateway_is_running(); ++i)
                sleepMs(10);
            continue;
        }
        if (from != s.relay_addr.load()) {
            // Only the relay may put frames on the console's network.
            s.rx_foreign.fetch_add(1);
            if (!foreignWarned) {
                foreignWarned = 1;
                const uint8_t *a = reinterpret_cast<const uint8_t *>(&from);
                quorlix_log_err("[RX-WARN] Dropped datagram from %u.%u.%u.%u:%u (not the relay)\n", a[0],
                                a[1], a[2], a[3], fromPort);
            }
            continue;
        }
        s.rx_received.fetch_add(1);
        if (s.settings.verbose_packets && gateway_limiter_allow())
            quorlix_log("[RX-DEBUG] Received %d bytes from server\n", int(n));
        gateway_handle_relay_datagram(buf, size_t(n));
    }
    quorlix_log("[RX] Server receive thread stopped\n");
    return 0;
}
