// fuzz-sources: engine/common engine/tunnel platform/capture
//
// One pass of the tunnel engine's loop over an arbitrary captured packet, in
// either direction: the timers at a fuzzed time, a runtime change or filter
// rebuild now and then, and the packet itself through the outbound or inbound
// path. Relay datagrams are the interesting inbound input, so a flag wraps the
// data in an IPv4/UDP header from the primary relay's port 50000.
//
// Input: byte 0 flags, bytes 1-2 clock step (ms / 8), the rest the packet or
// datagram.
//   flags bit 0: inbound        bit 1: wrap as a datagram from the relay
//   flags bit 2: sends fail     bit 3: ask for a filter rebuild
//   flags bit 4: ask for a statistics reset
//   flags bit 5: the datagram comes from the mapped second relay
//   flags bit 6: the packet lies with the loop's headroom in front of it
//                (the datagram header is then built there)

#include "engine/common/engine_clock.h"
#include "engine/common/engine_log.h"
#include "engine/common/engine_socket.h"
#include "engine/tunnel/quorlix_tunnel.h"
#include "engine/tunnel/tunnel_ack.h"
#include "engine/tunnel/tunnel_connmap.h"
#include "engine/tunnel/tunnel_loop.h"
#include "engine/tunnel/tunnel_mtu.h"
#include "engine/tunnel/tunnel_packet.h"
#include "engine/tunnel/tunnel_proto.h"
#include "engine/tunnel/tunnel_state.h"
#include "platform/capture/capture_sim.h"
#include "platform/capture/packet.h"

#include <arpa/inet.h>
#include <errno.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

namespace {

uint64_t g_now = 1000;
bool g_failSends = false;

uint64_t fuzzClock(void *)
{
    return g_now;
}
void quiet(int, const char *, size_t, void *) {}
int sockOpen(void *, int *)
{
    return 7;
}
long sockSend(void *, int, const void *, size_t len, uint32_t, uint16_t, int *err)
{
    if (g_failSends) {
        *err = EAGAIN;
        return -1;
    }
    return long(len);
}
void sockClose(void *, int) {}
const QuorlixSocketOps kOps = {sockOpen, sockSend, sockClose};

void setUp()
{
    quorlix_log_set_sink(quiet, nullptr);
    quorlix_clock_set(fuzzClock, nullptr);
    quorlix_socket_set_ops(&kOps, nullptr);
    tunnel_state_reset_for_tests();

    static TunnelRuntimeConfig cfg;
    memset(&cfg, 0, sizeof cfg);
    strcpy(cfg.entry_host, "198.51.100.1");
    cfg.entry_port = 50000;
    const uint32_t udpPorts[] = {3074, 3075, 443, 53, 27015};
    for (uint32_t p : udpPorts)
        cfg.udp_ports[cfg.udp_port_count++] = p;
    cfg.tcp_ports[cfg.tcp_port_count++] = 27015;
    cfg.tcp_ports[cfg.tcp_port_count++] = 443;
    strcpy(cfg.app_domains[0], "*.game.test");
    strcpy(cfg.app_domains[1], "*ame*");
    cfg.app_domain_count = 2;
    cfg.enable_tcp = 1;
    cfg.debug_mode = 1; // every verbose line is formatted too
    quorlix_set_runtime_config(&cfg);
    quorlix_add_port_server_mapping(3075, "198.51.100.2", 50000);
    quorlix_add_domain_server_mapping("*.other.test", "198.51.100.3", 50000);

    tunnel_state_run_begin();
    TunnelRuntimeConfig run;
    tunnel_load_config(&run);
    tunnel_state_build_ports_at_start(&run);
    tunnel_state_load_domains_at_start(&run);
    tunnel_set_primary_relay(inet_addr("198.51.100.1"), 50000);
    quorlix_log_set_verbose(1);
    tunnel_loop_configure(1, 1);
    int err = 0;
    quorlix_socket_open(tunnel_loop_socket(), &err);
    uint32_t relays[TUNNEL_MAX_RELAYS];
    const int n = tunnel_relay_set(relays, nullptr);
    char filter[TUNNEL_FILTER_MAX_TEXT];
    tunnel_filter_build(relays, n, filter, sizeof filter);
    setenv("QUORLIX_CAPTURE", "sim", 1); // never the machine's real traffic
    tunnel_loop_handle_set(quorlix_capture_open(filter, &err));

    // Flows the seed datagrams answer (they may age out as the clock runs).
    const uint32_t game = inet_addr("10.0.0.2");
    tunnel_connection_store(game, htons(50000), inet_addr("1.2.3.4"), htons(3074),
                            tunnel_conn_id(game, htons(50000), inet_addr("1.2.3.4"), htons(3074)), g_now);
    tunnel_connection_store(game, htons(40053), inet_addr("192.168.1.1"), htons(53),
                            tunnel_conn_id(game, htons(40053), inet_addr("192.168.1.1"), htons(53)), g_now);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static bool ready = (setUp(), true);
    (void)ready;
    if (size < 3)
        return 0;
    const uint8_t flags = data[0];
    g_now += uint64_t(data[1] << 8 | data[2]) * 8;
    g_failSends = flags & 0x04;
    data += 3;
    size -= 3;

    if (flags & 0x08)
        tunnel_request_filter_rebuild();
    if (flags & 0x10)
        quorlix_reset_stats();

    // The loop's pass: timers, runtime flags, then the packet.
    const uint64_t now = quorlix_now_ms();
    tunnel_loop_timers(now);
    tunnel_state_take_config_changed();
    if (tunnel_take_filter_rebuild_request())
        tunnel_rebuild_filter();
    tunnel_state_service_pending_reset();

    std::vector<uint8_t> pkt;
    if (flags & 0x02) {
        // An IPv4/UDP packet from the relay around the fuzzed datagram.
        const size_t total = size + 28 > QUORLIX_CAPTURE_MAX_PACKET ? QUORLIX_CAPTURE_MAX_PACKET : size + 28;
        pkt.assign(total, 0);
        pkt[0] = 0x45;
        pkt[2] = uint8_t(total >> 8);
        pkt[3] = uint8_t(total);
        pkt[8] = 64;
        pkt[9] = 17;
        const uint32_t src = inet_addr((flags & 0x20) ? "198.51.100.2" : "198.51.100.1");
        const uint32_t dst = inet_addr("10.0.0.2");
        memcpy(&pkt[12], &src, 4);
        memcpy(&pkt[16], &dst, 4);
        pkt[20] = 50000 >> 8;
        pkt[21] = 50000 & 0xFF;
        pkt[22] = 0x9C;
        pkt[23] = 0x41;
        pkt[24] = uint8_t((total - 20) >> 8);
        pkt[25] = uint8_t(total - 20);
        memcpy(&pkt[28], data, total - 28);
        quorlix_packet_calc_checksums(pkt.data(), pkt.size());
    } else {
        if (size == 0 || size > QUORLIX_CAPTURE_MAX_PACKET)
            return 0;
        pkt.assign(data, data + size);
    }
    // The loop's own reading of the common packets must agree with the
    // general parser on every input.
    quorlix_packet_view general, own;
    memset(&own, 0, sizeof own); // padding, for the byte comparison
    const int parsed = quorlix_packet_parse(pkt.data(), pkt.size(), &general);
    if (tunnel_packet_parse(pkt.data(), pkt.size(), &own) != parsed ||
        memcmp(&general, &own, sizeof own) != 0)
        abort();

    quorlix_capture_addr addr;
    memset(&addr, 0, sizeof addr);
    addr.if_index = 1;
    addr.outbound = (flags & 0x03) ? 0 : 1;
    if (flags & 0x40) {
        // Exactly the headroom in front, so a write before it is caught.
        std::vector<uint8_t> room(TUNNEL_LOOP_HEADROOM + pkt.size());
        memcpy(room.data() + TUNNEL_LOOP_HEADROOM, pkt.data(), pkt.size());
        tunnel_loop_process_at(room.data() + TUNNEL_LOOP_HEADROOM, pkt.size(), TUNNEL_LOOP_HEADROOM, &addr,
                               now);
    } else {
        tunnel_loop_process(pkt.data(), pkt.size(), &addr);
    }
    quorlix_capsim_reset(); // forget what was injected
    return 0;
}
