// Instructions per packet of the tunnel engine's loop, next to a bare copy of
// the same packet, for the common kinds of captured packet: outbound to an
// external address and not tunneled (writes "[OUTBOUND-CHECK]"), tunneled
// (writes "[OUTBOUND-CHECK]" and "[GAME-UDP]", encapsulates, sends), to a
// private address (no line), and inbound: a relay's reply to a tunneled flow,
// rebuilt and injected.
//
//   bench/packetcost/run.sh [build folder]     counts under callgrind
//   quorlix_bench_packetcost [packets]         wall-clock ns per packet
//
// Each packet costs what one pass of the loop spends on it after the
// receive: the pass's clock reading and tunnel_loop_process_at, with the
// packet lying behind the loop's headroom as the receive leaves it. The
// capture's re-inject and the socket's send are stubbed (the first by the
// linker, the second through the socket's seam), so the figures are the
// engine's own work. Its log lines go to standard output, which run.sh points
// at /dev/null: a file that is not a terminal, as in the client.
//
// The byte count of a row is the packet's size on the game's side: for the
// inbound row that is the rebuilt reply (its datagram on the wire carries the
// tunnel header and the relay's IPv4/UDP headers, 44 bytes more).
//
// Under callgrind each measured loop is bracketed by client requests: the
// counters are zeroed before it and dumped after it under the label
// "<kind>/<bytes>/<packets>", which run.sh reads back.

#include "engine/common/engine_clock.h"
#include "engine/common/engine_log.h"
#include "engine/common/engine_socket.h"
#include "engine/tunnel/quorlix_tunnel.h"
#include "engine/tunnel/tunnel_loop.h"
#include "engine/tunnel/tunnel_proto.h"
#include "engine/tunnel/tunnel_state.h"
#include "support/TestPackets.h"

#include <arpa/inet.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <valgrind/callgrind.h>

#include <chrono>
#include <vector>

using Bytes = std::vector<uint8_t>;

// Re-injecting through the capture is the platform's work, not the engine's.
extern "C" int __wrap_quorlix_capture_send(quorlix_capture_handle, const void *, size_t,
                                           const quorlix_capture_addr *)
{
    return 0;
}

namespace {

int sockOpen(void *, int *)
{
    return 7;
}
long sockSend(void *, int, const void *, size_t len, uint32_t, uint16_t, int *)
{
    return long(len);
}
void sockClose(void *, int) {}
const QuorlixSocketOps kOps = {sockOpen, sockSend, sockClose};

uint8_t g_copy[QUORLIX_CAPTURE_MAX_PACKET];

__attribute__((noinline)) void bareCopy(const Bytes &pkt)
{
    memcpy(g_copy, pkt.data(), pkt.size());
    asm volatile("" : : "r"(g_copy) : "memory");
}

// A captured packet as the loop's receive leaves it: behind the headroom.
struct Captured
{
    explicit Captured(const Bytes &pkt, bool outbound) : bytes(pkt), buffer(TUNNEL_LOOP_HEADROOM + pkt.size())
    {
        memcpy(buffer.data() + TUNNEL_LOOP_HEADROOM, pkt.data(), pkt.size());
        addr.if_index = 1;
        addr.outbound = outbound ? 1 : 0;
    }
    uint8_t *data() { return buffer.data() + TUNNEL_LOOP_HEADROOM; }
    // The reply is rebuilt over its own datagram; the next round needs the
    // datagram back (not counted: the receive writes it in the loop).
    void restore()
    {
        CALLGRIND_TOGGLE_COLLECT;
        memcpy(data(), bytes.data(), bytes.size());
        CALLGRIND_TOGGLE_COLLECT;
    }
    Bytes bytes;
    std::vector<uint8_t> buffer;
    quorlix_capture_addr addr{};
};

__attribute__((noinline)) void process(Captured &c)
{
    tunnel_loop_process_at(c.data(), c.bytes.size(), TUNNEL_LOOP_HEADROOM, &c.addr, quorlix_now_ms());
}

void setUpRun()
{
    quorlix_socket_set_ops(&kOps, nullptr);
    static TunnelRuntimeConfig cfg;
    memset(&cfg, 0, sizeof cfg);
    strcpy(cfg.entry_host, "198.51.100.1");
    cfg.entry_port = 50000;
    cfg.udp_ports[cfg.udp_port_count++] = 3074;
    quorlix_set_runtime_config(&cfg);
    quorlix_reset_stats();

    tunnel_state_run_begin();
    static TunnelRuntimeConfig run;
    tunnel_load_config(&run);
    tunnel_state_build_ports_at_start(&run);
    tunnel_set_primary_relay(inet_addr("198.51.100.1"), 50000);
    tunnel_loop_configure(0, 0);
    int err = 0;
    quorlix_socket_open(tunnel_loop_socket(), &err);
    quorlix_log_run_begin();
}

template <typename F> void measure(const char *kind, size_t bytes, int packets, F f)
{
    for (int i = 0; i < 100; ++i)
        f(); // the flow is stored, the caches are warm
    char label[96];
    snprintf(label, sizeof label, "%s/%zu/%d", kind, bytes, packets);
    CALLGRIND_ZERO_STATS;
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < packets; ++i)
        f();
    const auto t1 = std::chrono::steady_clock::now();
    CALLGRIND_DUMP_STATS_AT(label);
    fprintf(stderr, "%-22s %6.1f ns per packet\n", label,
            std::chrono::duration<double, std::nano>(t1 - t0).count() / packets);
}

} // namespace

int main(int argc, char **argv)
{
    const int packets = argc > 1 ? atoi(argv[1]) : 200000;
    setUpRun();
    for (size_t payload : {64, 1200}) {
        const size_t bytes = payload + 28;
        const Bytes data(payload, 0xAB);
        Captured external(testpackets::udp("10.0.0.2", 40000, "1.2.3.4", 9999, data), true);
        Captured tunneled(testpackets::udp("10.0.0.2", 40000, "1.2.3.4", 3074, data), true);
        Captured local(testpackets::udp("10.0.0.2", 40000, "192.168.1.20", 9999, data), true);
        // The relay's answer to the tunneled flow: a 16-byte header and the
        // bare UDP payload, from the relay's port 50000.
        const uint32_t connId =
            tunnel_conn_id(inet_addr("10.0.0.2"), htons(40000), inet_addr("1.2.3.4"), htons(3074));
        Bytes datagram(16 + payload);
        tunnel_header_write(datagram.data(), TUNNEL_FLAG_DATA, TUNNEL_PROTO_UDP, htons(3074), connId, 16,
                            inet_addr("1.2.3.4"));
        memcpy(datagram.data() + 16, data.data(), payload);
        Captured inbound(testpackets::udp("198.51.100.1", 50000, "10.0.0.2", 51000, datagram), false);
        const Bytes reply = testpackets::udp("1.2.3.4", 3074, "10.0.0.2", 40000, data);

        measure("copy", bytes, packets, [&] { bareCopy(reply); });
        measure("external", bytes, packets, [&] { process(external); });
        measure("tunneled", bytes, packets, [&] { process(tunneled); });
        measure("private", bytes, packets, [&] { process(local); });
        measure("inbound", bytes, packets, [&] {
            process(inbound);
            inbound.restore();
        });
    }
    quorlix_log_run_end();
    quorlix_socket_close(tunnel_loop_socket());
    tunnel_state_run_end();
    return 0;
}
