// Instructions per packet of the tunnel engine's outbound path, next to a
// bare copy of the same packet, for the three common kinds of outbound packet:
// to an external address and not tunneled (writes "[OUTBOUND-CHECK]"),
// tunneled (writes "[OUTBOUND-CHECK]" and "[GAME-UDP]", encapsulates, sends),
// and to a private address (no line).
//
//   bench/packetcost/run.sh [build folder]     counts under callgrind
//   quorlix_bench_packetcost [packets]         wall-clock ns per packet
//
// The engine runs as a run would set it up, on this thread; the capture's
// re-inject and the socket's send are stubbed (the first by the linker, the
// second through the socket's seam), so the figures are the engine's own work.
// Its log lines go to standard output, which run.sh points at /dev/null: a
// file that is not a terminal, as in the client.
//
// Under callgrind each measured loop is bracketed by client requests: the
// counters are zeroed before it and dumped after it under the label
// "<kind>/<bytes>/<packets>", which run.sh reads back.

#include "engine/common/engine_clock.h"
#include "engine/common/engine_log.h"
#include "engine/common/engine_socket.h"
#include "engine/tunnel/quorlix_tunnel.h"
#include "engine/tunnel/tunnel_loop.h"
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

__attribute__((noinline)) void process(Bytes &pkt)
{
    static quorlix_capture_addr addr = [] {
        quorlix_capture_addr a{};
        a.if_index = 1;
        a.outbound = 1;
        return a;
    }();
    tunnel_loop_process(pkt.data(), pkt.size(), &addr);
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
        Bytes external = testpackets::udp("10.0.0.2", 40000, "1.2.3.4", 9999, Bytes(payload, 0xAB));
        Bytes tunneled = testpackets::udp("10.0.0.2", 40000, "1.2.3.4", 3074, Bytes(payload, 0xAB));
        Bytes local = testpackets::udp("10.0.0.2", 40000, "192.168.1.20", 9999, Bytes(payload, 0xAB));
        measure("copy", bytes, packets, [&] { bareCopy(external); });
        measure("external", bytes, packets, [&] { process(external); });
        measure("tunneled", bytes, packets, [&] { process(tunneled); });
        measure("private", bytes, packets, [&] { process(local); });
    }
    quorlix_log_run_end();
    quorlix_socket_close(tunnel_loop_socket());
    tunnel_state_run_end();
    return 0;
}
