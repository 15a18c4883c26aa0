#include "engine/tunnel/tunnel_loop.h"

#include "engine/common/engine_clock.h"
#include "engine/common/engine_log.h"
#include "engine/tunnel/tunnel_connmap.h"
#include "engine/tunnel/tunnel_domains.h"
#include "engine/tunnel/tunnel_mss.h"
#include "engine/tunnel/tunnel_mtu.h"
#include "engine/tunnel/tunnel_packet.h"
#include "engine/tunnel/tunnel_proto.h"
#include "engine/tunnel/tunnel_state.h"
#include "engine/tunnel/tunnel_stats.h"
#include "platform/capture/packet.h"

#include <arpa/inet.h>
#include <errno.h>
#include <stdio.h>
#include <string.h>

#include <atomic>
#include <mutex>

namespace {

const uint64_t kNever = ~uint64_t(0);

struct RunSettings
{
    int enableTcp = 0;
    int debugMode = 0;
};
RunSettings g_run;

QuorlixEngineSocket g_socket;

// The capture handle. Only the engine thread changes it; the stop path reads
// and closes it under the same lock, so it never closes a handle number that
// the loop has already given up.
std::mutex g_handleLock;
std::atomic<quorlix_capture_handle> g_handle{QUORLIX_CAPTURE_INVALID};

uint64_t g_lastKeepalive = kNever;
uint64_t g_lastCleanup = kNever;

// A datagram for a packet without room in front of it. Engine thread only.
uint8_t g_datagram[QUORLIX_CAPTURE_MAX_PACKET + TUNNEL_HEADER_ACK_LEN + 1];

// The lines written for every matching packet whether verbose or not, each
// put together once per flow (engine thread only).
QuorlixLineMemo<64> g_outboundCheckLines;
QuorlixLineMemo<64, 2> g_appIpLines;
QuorlixLineMemo<64> g_gameUdpLines;
QuorlixLineMemo<16> g_gameTcpLines;
QuorlixLineMemo<64, 2> g_innerLines;

// The captured packet of a pass, with the room in front of it and its time.
struct Captured
{
    uint8_t *pkt;
    size_t len;
    size_t headroom;
    const quorlix_capture_addr *addr;
    uint64_t now;
};

struct IpText
{
    char s[QUORLIX_IPV4_TEXT_LEN];
};

// Dotted text of an address as its bytes lie in the packet, for the lines of
// the per-packet path ("[OUTBOUND-CHECK]" is logged for every external packet).
IpText ipText(uint32_t raw)
{
    IpText t;
    quorlix_format_ipv4(raw, t.s);
    return t;
}

uint16_t rawToHost(uint16_t raw)
{
    return ntohs(raw);
}

bool due(uint64_t last, uint64_t now, uint64_t interval)
{
    return last == kNever || (now >= last && now - last >= interval);
}

int reinject(const uint8_t *pkt, size_t len, const quorlix_capture_addr *addr)
{
    quorlix_capture_send(g_handle.load(std::memory_order_relaxed), pkt, len, addr);
    return TUNNEL_OUT_REINJECTED;
}

// Every captured outbound SYN, tunneled or not, leaves with its MSS clamped.
void clampMss(uint8_t *pkt, size_t len, const quorlix_packet_view &v, uint16_t dstPort)
{
    uint8_t *tcp = pkt + (v.tcp - reinterpret_cast<const uint8_t *>(pkt));
    const uint16_t mss = tunnel_mss_clamp(pkt, len, tcp, v.tcp_header_len);
    if (mss != 0 && g_run.debugMode)
        quorlix_log("[MSS] Clamped MSS %u -> 1000 on SYN to %u\n", mss, dstPort);
}

// A relay carries the server's SYN/ACK back as the server sent it, with the
// server's own MSS: clamped like an outbound SYN, or the stack here would
// send full-sized segments that the tunnel can only drop.
void clampCarriedSyn(uint8_t *ip, size_t n, size_t ihl)
{
    if (ihl + 14 > n || !(ip[ihl + 13] & 0x02))
        return;
    quorlix_packet_view v;
    if (!quorlix_packet_parse(ip, n, &v) || !v.tcp || v.fragment)
        return;
    tunnel_mss_clamp(ip, n, ip + (v.tcp - ip), v.tcp_header_len);
}

enum DestClass { DEST_EXTERNAL, DEST_LOCAL, DEST_MULTICAST, DEST_BROADCAST };

DestClass classify(uint32_t dstRaw)
{
    const uint32_t h = ntohl(dstRaw);
    switch (h >> 24) {
    case 10:
    case 127:
        return DEST_LOCAL;
    case 172:
        return ((h >> 20) & 0xF) == 1 ? DEST_LOCAL : DEST_EXTERNAL;
    case 192:
        return ((h >> 16) & 0xFF) == 168 ? DEST_LOCAL : DEST_EXTERNAL;
    case 169:
        return ((h >> 16) & 0xFF) == 254 ? DEST_LOCAL : DEST_EXTERNAL;
    default:
        break;
    }
    if (h == 0xFFFFFFFFu)
        return DEST_BROADCAST;
    if ((h >> 28) == 0xE)
        return DEST_MULTICAST;
    return DEST_EXTERNAL;
}

int encapsulateAndSend(const Captured &c, const quorlix_packet_view &v, uint32_t relayAddr,
                       uint16_t relayPort)
{
    uint8_t *pkt = c.pkt;
    const size_t len = c.len;
    const quorlix_capture_addr *addr = c.addr;
    const bool udp = v.udp != nullptr;
    const char *proto = udp ? "UDP" : "TCP";
    const uint8_t *th = udp ? v.udp : v.tcp;
    uint32_t src, dst;
    uint16_t sport, dport;
    memcpy(&src, v.ip + 12, 4);
    memcpy(&dst, v.ip + 16, 4);
    memcpy(&sport, th, 2);
    memcpy(&dport, th + 2, 2);

    const uint32_t connId = tunnel_conn_id(src, sport, dst, dport);
    tunnel_connection_store(src, sport, dst, dport, connId, c.now);
    const uint32_t innerLen = v.ip_header_len + (udp ? 8u : v.tcp_header_len) + v.payload_len;
    if (quorlix_log_verbose_on()) {
        quorlix_log("[OUTBOUND] Quorlix %s Encap: %s:%u -> %s:%u (ConnID: 0x%08x, via %s:%u)\n", proto,
                    ipText(src).s, rawToHost(sport), ipText(dst).s, rawToHost(dport), connId,
                    ipText(relayAddr).s, relayPort);
        quorlix_log("[DEBUG] Creating Quorlix %s packet: innerLen=%u, connID=0x%08x\n", proto, innerLen,
                    connId);
    }
    if (innerLen > len) // the parser's views lie inside len; this only guards the arithmetic
        return reinject(pkt, len, addr);
    TunnelEncapRequest req;
    req.conn_id = connId;
    req.dst_addr_raw = dst;
    req.dst_port_raw = dport;
    req.protocol = uint8_t(udp ? TUNNEL_PROTO_UDP : TUNNEL_PROTO_TCP);
    req.relay_addr = relayAddr;
    req.relay_port = relayPort;
    req.now = c.now;
    uint8_t *datagram = nullptr;
    const uint32_t n =
        tunnel_encapsulate_packet(pkt, innerLen, c.headroom, g_datagram, sizeof g_datagram, &req, &datagram);
    if (n == 0) {
        quorlix_log_verbose("[DROP] innerLen + %u exceeds mtu_safe=%d. Dropping to let TCP/MSS handle.\n",
                            16u, g_tunnel_mtu.safe_mtu.load(std::memory_order_relaxed));
        return TUNNEL_OUT_DROPPED;
    }
    if (quorlix_log_verbose_on())
        quorlix_log("[DEBUG] Quorlix packet created: outerLen=%u (header=%u + inner=%u)\n", n, 16u, innerLen);
    if (tunnel_send_to_server(datagram, n, relayAddr, relayPort))
        return TUNNEL_OUT_TUNNELED;
    quorlix_log("[ERROR] Failed to send Quorlix packet\n");
    return reinject(pkt, len, addr);
}

__attribute__((noinline)) int outboundPath(const Captured &c, const quorlix_packet_view &v, uint16_t sport,
                                           uint16_t dport, DestClass cls)
{
    uint8_t *pkt = c.pkt;
    const size_t len = c.len;
    const quorlix_capture_addr *addr = c.addr;
    const bool udp = v.udp != nullptr;
    uint32_t src, dst;
    memcpy(&src, v.ip + 12, 4);
    memcpy(&dst, v.ip + 16, 4);
    uint32_t primaryAddr;
    uint16_t primaryPort;
    tunnel_primary_relay(&primaryAddr, &primaryPort);
    const bool verbose = quorlix_log_verbose_on() != 0;

    if (dst == primaryAddr && dport == primaryPort) {
        quorlix_log_verbose("[DEBUG] Skipping packet to Entry Server to avoid loop\n");
        return reinject(pkt, len, addr);
    }
    if (verbose) {
        const bool traced =
            udp ? (tunnel_udp_port_member(sport) || tunnel_udp_port_member(dport))
                : (g_run.enableTcp && (tunnel_tcp_port_member(sport) || tunnel_tcp_port_member(dport)));
        if (traced)
            quorlix_log("[DEBUG] Packet: %s:%u -> %s:%u (proto=%s) [SrcAddr=0x%08x, DstAddr=0x%08x]\n",
                        ipText(src).s, sport, ipText(dst).s, dport, udp ? "UDP" : "TCP", ntohl(src),
                        ntohl(dst));
    }
    if (src == dst) {
        if (verbose)
            quorlix_log("[DEBUG] SKIPPING LOOPBACK: Same source and destination IP (%s)\n", ipText(src).s);
        return reinject(pkt, len, addr);
    }

    bool dnsMatched = false;
    uint32_t dnsRelayAddr = primaryAddr;
    uint16_t dnsRelayPort = primaryPort;
    if (udp && dport == 53)
        dnsMatched = tunnel_dns_snoop_query(v.payload, v.payload_len, &dnsRelayAddr, &dnsRelayPort);

    if (!udp)
        clampMss(pkt, len, v, dport);

    if (cls != DEST_EXTERNAL) {
        if (cls == DEST_MULTICAST) {
            if (verbose)
                quorlix_log("[DROP-MULTICAST] Destination %s:%u is multicast, skipping tunnel\n",
                            ipText(dst).s, dport);
            return reinject(pkt, len, addr);
        }
        if (cls == DEST_BROADCAST) {
            quorlix_log_verbose("[DROP-BROADCAST] Destination is broadcast, skipping tunnel\n");
            return reinject(pkt, len, addr);
        }
        if (!(udp && dport == 53)) {
            if (verbose)
                quorlix_log("[DEBUG] Skipping packet to private/local IP: %s:%u\n", ipText(dst).s, dport);
            return reinject(pkt, len, addr);
        }
    }

    const bool appIp = tunnel_app_ip_known_addr(dst);
    if (cls == DEST_EXTERNAL) {
        // "[OUTBOUND-CHECK] External %s packet to %s:%u (in app_ip list: %s)\n"
        const uint64_t key = dst | uint64_t(dport) << 32 | uint64_t(udp) << 48 | uint64_t(appIp) << 49;
        g_outboundCheckLines.write(key, [&](QuorlixLogLine &line) {
            line.text("[OUTBOUND-CHECK] External ");
            udp ? line.text("UDP") : line.text("TCP");
            line.text(" packet to ").ipv4(dst).text(":");
            line.number(dport).text(" (in app_ip list: ");
            appIp ? line.text("YES)\n") : line.text("NO)\n");
        });
    }

    if (appIp) {
        uint32_t relayAddr;
        uint16_t relayPort;
        // "[APP-IP] Tunneling %s traffic to %s:%u via %s:%u\n", or with
        // " (using default server)\n" in place of the relay
        const bool routed = tunnel_app_ip_route(dst, &relayAddr, &relayPort);
        if (!routed) {
            relayAddr = primaryAddr;
            relayPort = primaryPort;
        }
        const uint64_t key = dst | uint64_t(dport) << 32 | uint64_t(udp) << 48 | uint64_t(routed) << 49;
        const uint64_t relayKey = routed ? (relayAddr | uint64_t(relayPort) << 32) : 0;
        g_appIpLines.write(key, relayKey, [&](QuorlixLogLine &line) {
            line.text("[APP-IP] Tunneling ");
            udp ? line.text("UDP") : line.text("TCP");
            line.text(" traffic to ").ipv4(dst).text(":");
            line.number(dport);
            if (routed)
                line.text(" via ").ipv4(relayAddr).text(":").number(relayPort).text("\n");
            else
                line.text(" (using default server)\n");
        });
        return encapsulateAndSend(c, v, relayAddr, relayPort);
    }

    if (udp && sport != 53 && dport != 53 && dport != 443 && dport != 80 &&
        (tunnel_udp_port_member(sport) || tunnel_udp_port_member(dport))) {
        // "[GAME-UDP] \xE2\x9C\x93 Tunneling UDP port %u (srcP=%u, dstP=%u)\n"
        g_gameUdpLines.write(sport | uint64_t(dport) << 16, [&](QuorlixLogLine &line) {
            line.text("[GAME-UDP] \xE2\x9C\x93 Tunneling UDP port ")
                .number(dport)
                .text(" (srcP=")
                .number(sport);
            line.text(", dstP=").number(dport).text(")\n");
        });
    } else if (!udp && g_run.enableTcp && (tunnel_tcp_port_member(sport) || tunnel_tcp_port_member(dport))) {
        // "[GAME-TCP] \xE2\x9C\x93 Tunneling TCP port %u\n"
        g_gameTcpLines.write(dport, [&](QuorlixLogLine &line) {
            line.text("[GAME-TCP] \xE2\x9C\x93 Tunneling TCP port ").number(dport).text("\n");
        });
    } else if (!dnsMatched) {
        return reinject(pkt, len, addr);
    }

    // Routing.
    uint32_t relayAddr = primaryAddr;
    uint16_t relayPort = primaryPort;
    if (dnsMatched) {
        relayAddr = dnsRelayAddr;
        relayPort = dnsRelayPort;
    } else if (tunnel_mapping_port_lookup(dport, &relayAddr, &relayPort)) {
        // a port mapping names the relay
    } else if (udp) {
        relayAddr = primaryAddr;
        relayPort = primaryPort;
        if (tunnel_udp_port_count() >= TUNNEL_CATCH_ALL_PORTS)
            quorlix_log_verbose(
                "[ROUTING-UDP-CATCHALL] Port %u \xE2\x86\x92 default server (UDP catch-all mode)\n", dport);
    } else if (tunnel_tcp_port_count() >= TUNNEL_CATCH_ALL_PORTS || appIp) {
        relayAddr = primaryAddr;
        relayPort = primaryPort;
    } else {
        quorlix_log_verbose("[ROUTING-TCP] No strict mapping for TCP port %u and not an app IP \xE2\x86\x92 "
                            "pass-through (skip tunnel)\n",
                            dport);
        return reinject(pkt, len, addr);
    }
    if (verbose)
        quorlix_log("[ROUTING] Port %u: %s:%u \xE2\x86\x92 %s:%u\n", dport, ipText(primaryAddr).s,
                    primaryPort, ipText(relayAddr).s, relayPort);
    return encapsulateAndSend(c, v, relayAddr, relayPort);
}

int inject(const uint8_t *pkt, size_t len, const quorlix_capture_addr *captured, const char *proto)
{
    quorlix_capture_addr a = *captured;
    a.outbound = 0;
    if (quorlix_log_verbose_on())
        quorlix_log("[INJECT] %s packet -> stack: len=%u\n", proto, unsigned(len));
    quorlix_capture_send(g_handle.load(std::memory_order_relaxed), pkt, len, &a);
    return TUNNEL_OUT_INJECTED;
}

int inboundPath(const Captured &c, const quorlix_packet_view &v, uint16_t sport)
{
    uint8_t *pkt = c.pkt;
    const size_t len = c.len;
    const quorlix_capture_addr *addr = c.addr;
    // A relay datagram that arrives in fragments cannot be decoded from its
    // first one: its payload would be cut short. Left to the stack, it is at
    // least not delivered to the game corrupted.
    if (!v.udp || v.fragment)
        return reinject(pkt, len, addr);
    uint32_t src;
    memcpy(&src, v.ip + 12, 4);
    if (!tunnel_is_relay_endpoint(src, sport))
        return reinject(pkt, len, addr);

    // The datagram is the UDP payload wherever the IPv4 header (options
    // included) ends, up to the packet's total length.
    TunnelDecoded d;
    const uint8_t *payload;
    if (!tunnel_decapsulate_view(v.payload, v.payload_len, src, sport, c.now, &d, &payload))
        return reinject(pkt, len, addr);
    if (d.protocol == TUNNEL_PROTO_NONE || d.payload_len == 0)
        return TUNNEL_OUT_CONSUMED;

    ConnectionEntry flow;
    if (!tunnel_connection_find(d.conn_id, &flow))
        return reinject(pkt, len, addr);
    const char *proto = d.protocol == TUNNEL_PROTO_UDP ? "UDP" : "TCP";
    if (quorlix_log_verbose_on())
        quorlix_log("[INBOUND] Quorlix %s Decap: %s:%u -> %s:%u (ConnID: 0x%08x, from %s:%u)\n", proto,
                    ipText(flow.dst_addr).s, rawToHost(flow.dst_port), ipText(flow.src_addr).s,
                    rawToHost(flow.src_port), d.conn_id, ipText(src).s, sport);

    if (d.protocol == TUNNEL_PROTO_UDP) {
        if (rawToHost(d.dst_port_raw) == 53 || rawToHost(flow.dst_port) == 53)
            tunnel_dns_snoop_answer(payload, d.payload_len, rawToHost(flow.dst_port));
        const size_t total = size_t(d.payload_len) + 28;
        if (total > QUORLIX_CAPTURE_MAX_PACKET)
            return reinject(pkt, len, addr);
        // The reply is rebuilt where it lies: its IPv4 and UDP headers go over
        // the end of the relay's headers, just in front of the payload (the
        // captured headers and the datagram header take at least 44 bytes).
        uint8_t *o = pkt + (payload - pkt) - 28;
        o[0] = 0x45;
        o[1] = 0;
        tunnel_store_be16(o + 2, uint16_t(total));
        memset(o + 4, 0, 4); // identification, flags, fragment offset
        o[8] = 64;
        o[9] = TUNNEL_PROTO_UDP;
        o[10] = o[11] = 0;
        memcpy(o + 12, &flow.dst_addr, 4);
        memcpy(o + 16, &flow.src_addr, 4);
        memcpy(o + 20, &flow.dst_port, 2);
        memcpy(o + 22, &flow.src_port, 2);
        tunnel_store_be16(o + 24, uint16_t(d.payload_len + 8));
        o[26] = o[27] = 0;
        tunnel_udp_checksums(o, total);
        if (quorlix_log_verbose_on())
            quorlix_log("[INBOUND] Rebuilt UDP packet: %s:%u -> %s:%u (len=%u)\n", ipText(flow.dst_addr).s,
                        rawToHost(flow.dst_port), ipText(flow.src_addr).s, rawToHost(flow.src_port),
                        unsigned(total));
        return inject(o, total, addr, proto);
    }

    // TCP: the relay sends the whole IPv4 packet. Only a well-formed one is
    // injected; anything else is handled like a short payload.
    uint8_t *ip = pkt + (payload - pkt);
    const size_t n = d.payload_len;
    const size_t ihl = n >= 1 ? size_t(ip[0] & 0x0F) * 4 : 0;
    const bool valid = n >= 40 && (ip[0] >> 4) == 4 && ihl >= 20 && ihl + 4 <= n &&
                       tunnel_load_be16(ip + 2) <= n && tunnel_load_be16(ip + 2) >= ihl + 4;
    if (!valid)
        return reinject(pkt, len, addr);
    uint32_t isrc, idst;
    memcpy(&isrc, ip + 12, 4);
    memcpy(&idst, ip + 16, 4);
    // "[DEBUG-INNER] innerPacket IP: %s:%u -> %s:%u\n"
    const uint16_t isport = tunnel_load_be16(ip + ihl);
    const uint16_t idport = tunnel_load_be16(ip + ihl + 2);
    g_innerLines.write(
        isrc | uint64_t(idst) << 32, isport | uint64_t(idport) << 16, [&](QuorlixLogLine &line) {
            line.text("[DEBUG-INNER] innerPacket IP: ").ipv4(isrc).text(":").number(isport).text(" -> ");
            line.ipv4(idst).text(":").number(idport).text("\n");
        });
    if (ip[9] == TUNNEL_PROTO_TCP)
        clampCarriedSyn(ip, n, ihl);
    return inject(ip, n, addr, proto);
}

} // namespace

void tunnel_loop_configure(int enable_tcp, int debug_mode)
{
    g_run.enableTcp = enable_tcp ? 1 : 0;
    g_run.debugMode = debug_mode ? 1 : 0;
}

QuorlixEngineSocket *tunnel_loop_socket(void)
{
    return &g_socket;
}

quorlix_capture_handle tunnel_loop_handle_set(quorlix_capture_handle h)
{
    std::lock_guard<std::mutex> lock(g_handleLock);
    const quorlix_capture_handle old = g_handle.exchange(h);
    tunnel_count_capture_bypassed(quorlix_capture_bypassed(old));
    return old;
}

quorlix_capture_handle tunnel_loop_handle(void)
{
    return g_handle.load();
}

void tunnel_loop_handle_close_for_stop(void)
{
    std::lock_guard<std::mutex> lock(g_handleLock);
    const quorlix_capture_handle h = g_handle.load();
    if (h != QUORLIX_CAPTURE_INVALID) {
        tunnel_count_capture_bypassed(quorlix_capture_bypassed(h));
        quorlix_capture_close(h); // wakes the receive; the engine thread forgets the handle
    }
}

quorlix_capture_handle tunnel_loop_handle_take(void)
{
    std::lock_guard<std::mutex> lock(g_handleLock);
    const quorlix_capture_handle old = g_handle.exchange(QUORLIX_CAPTURE_INVALID);
    tunnel_count_capture_bypassed(quorlix_capture_bypassed(old));
    return old;
}

uint64_t tunnel_loop_capture_bypassed(void)
{
    // Under the lock: a handle's count moves to the counter as it leaves.
    std::lock_guard<std::mutex> lock(g_handleLock);
    return g_tunnel_counters.capture_bypassed.load(std::memory_order_relaxed) +
           quorlix_capture_bypassed(g_handle.load());
}

int tunnel_send_to_server(const uint8_t *data, size_t len, uint32_t relay_addr, uint16_t relay_port)
{
    int err = 0;
    const long sent = quorlix_socket_send_to(&g_socket, data, len, relay_addr, relay_port, &err);
    if (sent < 0) {
        quorlix_log("[ERROR] Send failed: %d\n", err);
        return 0;
    }
    tunnel_count_bytes_sent(uint64_t(sent));
    tunnel_count_packet_sent();
    if (quorlix_log_verbose_on())
        quorlix_log("[DEBUG] Sent %d bytes to Entry Server\n", int(sent));
    return 1;
}

void tunnel_loop_timers(uint64_t now)
{
    tunnel_mtu_probe(now);
    if (due(g_lastKeepalive, now, TUNNEL_KEEPALIVE_INTERVAL_MS)) {
        g_lastKeepalive = now;
        uint8_t keepalive[TUNNEL_HEADER_LEN];
        tunnel_keepalive_build(keepalive);
        uint32_t addr;
        uint16_t port;
        tunnel_primary_relay(&addr, &port);
        tunnel_send_to_server(keepalive, sizeof keepalive, addr, port);
    }
    if (due(g_lastCleanup, now, TUNNEL_CLEANUP_INTERVAL_MS)) {
        g_lastCleanup = now;
        const int removed = tunnel_connection_expire(now, TUNNEL_CONN_IDLE_MS);
        if (removed > 0)
            quorlix_log("[GC] Removed %d expired connections\n", removed);
    }
}

int tunnel_loop_process(uint8_t *pkt, size_t len, const quorlix_capture_addr *addr)
{
    return tunnel_loop_process_at(pkt, len, 0, addr, quorlix_now_ms());
}

namespace {

__attribute__((noinline)) int processParsed(uint8_t *pkt, size_t len, size_t headroom,
                                            const quorlix_capture_addr *addr, uint64_t now)
{
    quorlix_packet_view v;
    if (!tunnel_packet_parse(pkt, len, &v) || !v.ip)
        return reinject(pkt, len, addr);
    if (!v.udp && !v.tcp)
        return reinject(pkt, len, addr);
    const uint8_t *th = v.udp ? v.udp : v.tcp;
    const uint16_t sport = tunnel_load_be16(th);
    const uint16_t dport = tunnel_load_be16(th + 2);
    const Captured c{pkt, len, headroom, addr, now};
    if (!addr->outbound)
        return inboundPath(c, v, sport);
    uint32_t dst;
    memcpy(&dst, v.ip + 16, 4);
    return outboundPath(c, v, sport, dport, classify(dst));
}

} // namespace

int tunnel_loop_process_at(uint8_t *pkt, size_t len, size_t headroom, const quorlix_capture_addr *addr,
                           uint64_t now)
{
    if (!addr->outbound) {
        tunnel_count_bytes_received(len);
        return processParsed(pkt, len, headroom, addr, now);
    }
    tunnel_count_bytes_sent(len);
    // The commonest outbound packet of all: a whole UDP datagram in an IPv4
    // header without options, read from its fixed header fields. When it goes
    // to this network's own addresses (and is not DNS), every step of the
    // outbound path would re-inject it unchanged and, outside verbose mode,
    // write nothing, so it is re-injected at once.
    if (const uint32_t total = tunnel_packet_plain_udp(pkt, len)) {
        uint32_t dst;
        memcpy(&dst, pkt + 16, 4);
        const uint16_t dport = tunnel_load_be16(pkt + 22);
        const DestClass cls = classify(dst);
        if (cls != DEST_EXTERNAL && dport != 53 && !quorlix_log_verbose_on())
            return reinject(pkt, len, addr);
        quorlix_packet_view v;
        tunnel_packet_plain_udp_view(pkt, total, &v);
        return outboundPath(Captured{pkt, len, headroom, addr, now}, v, tunnel_load_be16(pkt + 20), dport,
                            cls);
    }
    return processParsed(pkt, len, headroom, addr, now);
}

void tunnel_loop_reset_timers_for_tests(void);

void tunnel_loop_reset_for_tests(void)
{
    g_lastKeepalive = kNever;
    g_lastCleanup = kNever;
    tunnel_loop_reset_timers_for_tests();
    tunnel_connection_reset();
}
