// Console gateway round trip against a raw loopback UDP echo, same run.
//
//   quorlix_bench_console_roundtrip [round trips]
//
// (1) Engine: a console frame (Ethernet, UDP, 64-byte payload) is pushed into
//     the simulated driver's receive ring; the engine's main thread takes it
//     and sends it to the test relay on 127.0.0.1 (console mode, any port),
//     which echoes the payload; the engine's receive thread rebuilds the
//     packet and writes the frame into the U2C ring, where the bench takes it.
//     One at a time; median and 90th percentile.
// (2) Baseline: the same payload between two UDP sockets on loopback, a
//     client and an echo thread, one at a time.
// (3) The engine again while the reader is kept busy, to show how much of (1)
//     is the reader's 1 ms sleep after an empty batch: a filler thread keeps
//     two frames (to a port the relay leaves unanswered) waiting in the
//     receive ring, so the reader never finds it empty; the measured frame
//     queues behind at most two of them.

#include "bench/support/ConsoleFrames.h"
#include "engine/common/engine_log.h"
#include "engine/console/console_gateway.h"
#include "engine/console/console_state.h"
#include "platform/driver/console_device.h"
#include "platform/driver/driver_sim.h"
#include "platform/driver/host_net.h"
#include "support/testrelay/TestRelay.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <netinet/in.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

void quiet(int, const char *, size_t, void *) {}

int hostAdapters(void *, QuorlixAdapter *out, int cap)
{
    if (cap < 1)
        return 0;
    memset(out, 0, sizeof *out);
    strcpy(out->name, "Ethernet");
    out->ethernet = out->up = 1;
    out->mac_len = 6;
    memset(out->mac, 0x02, 6);
    return 1;
}
int hostMtu(void *, const char *, unsigned long *mtu, unsigned long *index)
{
    *mtu = 1500;
    *index = 1;
    return 1;
}
const QuorlixHostOps kHost = {hostAdapters, hostMtu};

double percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[size_t(p * double(v.size() - 1))];
}

std::vector<double> engineRoundTrips(int count, bool keepBusy)
{
    std::vector<double> us;
    const std::vector<uint8_t> frame = consoleUdpFrame(28 + 64, 3075);
    const std::vector<uint8_t> filler = consoleUdpFrame(28 + 18, 9); // the relay stays silent on port 9
    std::atomic<bool> busy{keepBusy};
    std::thread fill;
    if (keepBusy)
        fill = std::thread([&] {
            // Two frames waiting at all times: the reader never finds the
            // ring empty, so it never sleeps.
            const uint8_t *region = quorlix_drvsim_region();
            while (busy.load()) {
                const uint32_t w = region_load32(region, REGION_RX_RING + RING_W);
                const uint32_t r = region_load32(region, REGION_RX_RING + RING_R);
                if ((w + RING_SLOTS - r) % RING_SLOTS < 2)
                    quorlix_drvsim_push_rx(filler.data(), filler.size());
            }
        });
    uint8_t buf[RING_MAX_FRAME];
    size_t n = 0;
    for (int i = 0; i < count; ++i) {
        const auto t0 = Clock::now();
        while (quorlix_drvsim_push_rx(frame.data(), frame.size()) != 1) {
        }
        bool got = false;
        while (!got && Clock::now() - t0 < std::chrono::seconds(2))
            got = quorlix_drvsim_pop_u2c(buf, sizeof buf, &n) == 1;
        if (got)
            us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    busy = false;
    if (fill.joinable())
        fill.join();
    return us;
}

std::vector<double> rawRoundTrips(int count)
{
    const int echo = socket(AF_INET, SOCK_DGRAM, 0), client = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(echo, reinterpret_cast<sockaddr *>(&at), sizeof at);
    socklen_t len = sizeof at;
    getsockname(echo, reinterpret_cast<sockaddr *>(&at), &len);
    std::atomic<bool> run{true};
    std::thread t([&] {
        uint8_t b[2048];
        timeval tv = {0, 100000};
        setsockopt(echo, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        while (run.load()) {
            sockaddr_in from{};
            socklen_t fl = sizeof from;
            const ssize_t n = recvfrom(echo, b, sizeof b, 0, reinterpret_cast<sockaddr *>(&from), &fl);
            if (n > 0)
                sendto(echo, b, size_t(n), 0, reinterpret_cast<sockaddr *>(&from), fl);
        }
    });
    std::vector<double> us;
    uint8_t payload[16 + 28 + 64] = {}, b[2048];
    for (int i = 0; i < count; ++i) {
        const auto t0 = Clock::now();
        sendto(client, payload, sizeof payload, 0, reinterpret_cast<sockaddr *>(&at), sizeof at);
        if (recv(client, b, sizeof b, 0) > 0)
            us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    run = false;
    t.join();
    close(echo);
    close(client);
    return us;
}

} // namespace

int main(int argc, char **argv)
{
    const int count = argc > 1 ? atoi(argv[1]) : 2000;
    quorlix_log_set_sink(quiet, nullptr);
    quorlix_host_set_ops(&kHost, nullptr);
    quorlix_drvsim_install();

    testrelay::TestRelay::Options options;
    options.port = 0;
    options.consoleClient = true;
    options.silentPorts = {9};
    testrelay::TestRelay relay(options);
    if (!relay.start()) {
        fprintf(stderr, "relay: %s\n", relay.errorString().c_str());
        return 1;
    }
    console_gateway_set_runtime_config("127.0.0.1", "custom", "3075", "", relay.boundPort(), 0);
    console_gateway_arm();
    std::thread engine([] {
        char arg0[] = "bench";
        char *args[] = {arg0, nullptr};
        console_gateway_main(1, args);
    });
    if (!quorlix_drvsim_wait_mapped(1, 5000)) {
        fprintf(stderr, "engine did not start\n");
        return 1;
    }
    engineRoundTrips(200, false); // warm-up: MAC learned, flow recorded
    const std::vector<double> raw = rawRoundTrips(count);
    const std::vector<double> idle = engineRoundTrips(count, false);
    const std::vector<double> busy = engineRoundTrips(count, true);
    console_gateway_stop();
    engine.join();
    relay.stop();
    quorlix_drvsim_uninstall();

    const unsigned cores = std::thread::hardware_concurrency();
    printf("console round trip, 64-byte UDP payload, %d round trips each, %u cores\n", count, cores);
    printf("  %-34s p50 %8.1f us  p90 %8.1f us  (%zu)\n", "raw loopback UDP echo", percentile(raw, 0.5),
           percentile(raw, 0.9), raw.size());
    printf("  %-34s p50 %8.1f us  p90 %8.1f us  (%zu)  ratio %.2f\n", "engine, reader idle",
           percentile(idle, 0.5), percentile(idle, 0.9), idle.size(),
           percentile(idle, 0.5) / percentile(raw, 0.5));
    printf("  %-34s p50 %8.1f us  p90 %8.1f us  (%zu)  ratio %.2f\n", "engine, reader kept busy",
           percentile(busy, 0.5), percentile(busy, 0.9), busy.size(),
           percentile(busy, 0.5) / percentile(raw, 0.5));
    return 0;
}
