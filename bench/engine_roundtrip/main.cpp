// Engine round trip vs raw loopback UDP echo, and the per-packet cost of an
// outbound packet the engine does not tunnel.
//
//   quorlix_bench_engine_roundtrip [round trips per size]
//
// Runs as root: it moves itself into a private network namespace (only "lo",
// brought up here) so the relay can own 127.0.0.1:50000 and a raw socket can
// take the relay's answers off the wire, as the capture does on Windows.
//
// (1) Round trip: a simulated game packet is pushed into the capture, the
//     engine thread tunnels it over its real UDP socket to the test relay,
//     which echoes the payload; the answer is taken off the wire, decoded and
//     injected by the engine; the bench thread takes it from the local stack.
//     Two baselines in the same run: the same payload sizes between two UDP
//     sockets on loopback (a client thread and an echo thread), and the same
//     rig with no engine in it (capture, filter, a pass-through thread that
//     only adds a 16-byte header, the relay and the wire tap). Each cell is
//     measured three times, the three kinds taking turns; medians are shown.
//     Both one at a time (latency) and with 32 in flight (packets per second).
// (2) Per packet: tunnel_loop_process on an outbound UDP packet that is not
//     tunneled (external address outside the port set; private address),
//     against re-injecting the same packet without any decision.

#include "engine/common/engine_log.h"
#include "engine/tunnel/quorlix_tunnel.h"
#include "engine/tunnel/tunnel_ack.h"
#include "engine/tunnel/tunnel_loop.h"
#include "engine/tunnel/tunnel_mtu.h"
#include "engine/tunnel/tunnel_proto.h"
#include "engine/tunnel/tunnel_state.h"
#include "platform/capture/capture_sim.h"
#include "platform/capture/packet.h"
#include "support/TestPackets.h"
#include "support/testrelay/TestRelay.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

double nsSince(Clock::time_point t0)
{
    return std::chrono::duration<double, std::nano>(Clock::now() - t0).count();
}

// A UDP packet whose payload is `payload` bytes of 0xAB.
Bytes udpPacket(const char *src, uint16_t sport, const char *dst, uint16_t dport, size_t payload)
{
    return testpackets::udp(src, sport, dst, dport, Bytes(payload, 0xAB));
}

bool privateLoopback()
{
    if (unshare(CLONE_NEWNET) != 0) {
        perror("unshare(CLONE_NEWNET)");
        return false;
    }
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    ifreq ifr{};
    strcpy(ifr.ifr_name, "lo");
    const bool ok =
        ioctl(fd, SIOCGIFFLAGS, &ifr) == 0 && ((ifr.ifr_flags |= IFF_UP), ioctl(fd, SIOCSIFFLAGS, &ifr) == 0);
    close(fd);
    if (!ok)
        perror("bringing lo up");
    return ok;
}

struct Result
{
    double pps = 0;
    double medianUs = 0;
    double p99Us = 0;
};

void summarize(std::vector<double> &lat, Result *r)
{
    std::sort(lat.begin(), lat.end());
    r->medianUs = lat[lat.size() / 2] / 1000.0;
    r->p99Us = lat[size_t(double(lat.size()) * 0.99)] / 1000.0;
}

// ---- baseline: raw UDP echo between two sockets ----

Result rawEcho(size_t payload, int rounds, int window)
{
    const int server = socket(AF_INET, SOCK_DGRAM, 0);
    const int client = socket(AF_INET, SOCK_DGRAM, 0);
    int big = 4 << 20;
    setsockopt(server, SOL_SOCKET, SO_RCVBUF, &big, sizeof big);
    setsockopt(client, SOL_SOCKET, SO_RCVBUF, &big, sizeof big);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = inet_addr("127.0.0.1");
    sa.sin_port = htons(50001);
    bind(server, reinterpret_cast<sockaddr *>(&sa), sizeof sa);
    std::atomic<bool> stop{false};
    std::thread echo([&] {
        std::vector<uint8_t> buf(65536);
        while (!stop.load()) {
            pollfd p{server, POLLIN, 0};
            if (poll(&p, 1, 50) != 1)
                continue;
            sockaddr_in from{};
            socklen_t fl = sizeof from;
            const ssize_t n =
                recvfrom(server, buf.data(), buf.size(), 0, reinterpret_cast<sockaddr *>(&from), &fl);
            if (n > 0)
                sendto(server, buf.data(), size_t(n), 0, reinterpret_cast<sockaddr *>(&from), fl);
        }
    });
    Bytes msg(payload, 0xAB), buf(65536);
    std::vector<double> lat;
    lat.reserve(size_t(rounds));
    std::vector<Clock::time_point> sentAt;
    const auto t0 = Clock::now();
    int sent = 0, got = 0;
    std::vector<Clock::time_point> inflight;
    while (got < rounds) {
        while (sent < rounds && sent - got < window) {
            inflight.push_back(Clock::now());
            sendto(client, msg.data(), msg.size(), 0, reinterpret_cast<sockaddr *>(&sa), sizeof sa);
            ++sent;
        }
        pollfd p{client, POLLIN, 0};
        if (poll(&p, 1, 1000) != 1) {
            fprintf(stderr, "raw echo: lost a datagram\n");
            break;
        }
        recv(client, buf.data(), buf.size(), 0);
        lat.push_back(nsSince(inflight[size_t(got)]));
        ++got;
    }
    Result r;
    r.pps = got / (nsSince(t0) / 1e9);
    summarize(lat, &r);
    stop = true;
    echo.join();
    close(server);
    close(client);
    return r;
}

// ---- the engine round trip ----

void quiet(int, const char *, size_t, void *) {}

Result engineRoundTrip(size_t payload, int rounds, int window, const char *server = "1.2.3.4")
{
    const Bytes game = udpPacket("10.0.0.2", 50000, server, 3074, payload);
    Bytes buf(QUORLIX_CAPTURE_MAX_PACKET);
    std::vector<double> lat;
    lat.reserve(size_t(rounds));
    std::vector<Clock::time_point> inflight;
    const auto t0 = Clock::now();
    int sent = 0, got = 0;
    while (got < rounds) {
        while (sent < rounds && sent - got < window) {
            inflight.push_back(Clock::now());
            quorlix_capsim_push_outbound(game.data(), game.size(), 1);
            ++sent;
        }
        size_t len = 0;
        if (quorlix_capsim_take(QUORLIX_CAPSIM_STACK, buf.data(), buf.size(), &len, nullptr, 1000) != 1) {
            fprintf(stderr, "engine: lost a round trip after %d\n", got);
            break;
        }
        lat.push_back(nsSince(inflight[size_t(got)]));
        ++got;
    }
    Result r;
    r.pps = got / (nsSince(t0) / 1e9);
    summarize(lat, &r);
    return r;
}

// ---- the same rig without the engine ----

// Stands where the engine stands, with no decision: it takes each captured
// outbound packet, puts a 16-byte tunnel header in front of it and sends it to
// the relay; the relay's answer comes back through the wire tap into the
// capture, and it hands that to the local stack as it came.
class PassThrough
{
public:
    // Captures the packets to `server` and the relay's answers to its own
    // socket, so it can stand in front of the engine's handle without taking
    // the engine's traffic.
    bool start(const char *server)
    {
        m_fd = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = inet_addr("127.0.0.1");
        socklen_t localLen = sizeof local;
        if (m_fd < 0 || bind(m_fd, reinterpret_cast<sockaddr *>(&local), sizeof local) != 0 ||
            getsockname(m_fd, reinterpret_cast<sockaddr *>(&local), &localLen) != 0)
            return false;
        char filter[256];
        snprintf(filter, sizeof filter, "(outbound and ip.DstAddr == %s) or (inbound and udp.DstPort == %u)",
                 server, unsigned(ntohs(local.sin_port)));
        int err = 0;
        m_handle = quorlix_capture_open(filter, &err);
        if (m_handle == QUORLIX_CAPTURE_INVALID)
            return false;
        m_relay.sin_family = AF_INET;
        m_relay.sin_addr.s_addr = inet_addr("127.0.0.1");
        m_relay.sin_port = htons(50000);
        m_thread = std::thread([this] { run(); });
        return true;
    }

    void stop()
    {
        quorlix_capture_close(m_handle);
        m_thread.join();
        close(m_fd);
    }

private:
    void run()
    {
        std::vector<uint8_t> pkt(QUORLIX_CAPTURE_MAX_PACKET),
            out(QUORLIX_CAPTURE_MAX_PACKET + TUNNEL_HEADER_LEN);
        size_t len = 0;
        quorlix_capture_addr addr;
        while (quorlix_capture_recv(m_handle, pkt.data(), pkt.size(), &len, &addr) == QUORLIX_CAPTURE_OK) {
            if (!addr.outbound) {
                // The engine's handle stands after this one and would take
                // the answer for a relay datagram of its own: its source port
                // is cleared on the way (checksums do not matter to the sink).
                if (len >= 28)
                    pkt[20] = pkt[21] = 0;
                quorlix_capture_send(m_handle, pkt.data(), len, &addr);
                continue;
            }
            if (len < 28)
                continue;
            uint32_t src, dst;
            uint16_t sport, dport;
            memcpy(&src, &pkt[12], 4);
            memcpy(&dst, &pkt[16], 4);
            memcpy(&sport, &pkt[20], 2);
            memcpy(&dport, &pkt[22], 2);
            tunnel_header_write(out.data(), TUNNEL_FLAG_DATA, TUNNEL_PROTO_UDP, dport,
                                tunnel_conn_id(src, sport, dst, dport), TUNNEL_HEADER_LEN, dst);
            memcpy(out.data() + TUNNEL_HEADER_LEN, pkt.data(), len);
            sendto(m_fd, out.data(), len + TUNNEL_HEADER_LEN, 0, reinterpret_cast<sockaddr *>(&m_relay),
                   sizeof m_relay);
        }
    }

    quorlix_capture_handle m_handle = QUORLIX_CAPTURE_INVALID;
    int m_fd = -1;
    sockaddr_in m_relay{};
    std::thread m_thread;
};

// ---- per-packet cost of the common case ----

double perPacketNs(const Bytes &pkt, bool decide, int iterations)
{
    quorlix_capture_addr addr{};
    addr.if_index = 1;
    addr.outbound = 1;
    Bytes work = pkt;
    const quorlix_capture_handle h = tunnel_loop_handle();
    const auto t0 = Clock::now();
    for (int i = 0; i < iterations; ++i) {
        if ((i & 4095) == 0)
            quorlix_capsim_reset(); // keep the wire sink from filling up
        if (decide)
            tunnel_loop_process(work.data(), work.size(), &addr);
        else
            quorlix_capture_send(h, work.data(), work.size(), &addr);
    }
    return nsSince(t0) / iterations;
}

} // namespace

int main(int argc, char **argv)
{
    setenv("QUORLIX_CAPTURE", "sim", 1); // the simulated capture, whoever runs this
    const int rounds = argc > 1 ? atoi(argv[1]) : 20000;
    if (geteuid() != 0) {
        fprintf(stderr, "needs root (private network namespace and a raw socket)\n");
        return 77;
    }
    if (!privateLoopback())
        return 1;
    const long cores = sysconf(_SC_NPROCESSORS_ONLN);
    printf("cores: %ld, round trips per size: %d\n", cores, rounds);

    quorlix_log_set_sink(quiet, nullptr); // per-packet log lines go nowhere here
    testrelay::TestRelay relay;
    if (!relay.start()) {
        fprintf(stderr, "relay: %s\n", relay.errorString().c_str());
        return 1;
    }
    testrelay::WireTap tap;
    std::string why;
    if (!tap.start(
            50000, [](const uint8_t *p, size_t len) { quorlix_capsim_push_inbound(p, len, 1); }, &why)) {
        fprintf(stderr, "tap: %s\n", why.c_str());
        return 1;
    }
    // The pass-through opens its handle first, so it stands in front of the
    // engine's; each takes only its own traffic.
    const char *rigServer = "1.2.3.5";
    PassThrough pass;
    if (!pass.start(rigServer)) {
        fprintf(stderr, "pass-through: no capture handle or socket\n");
        return 1;
    }
    auto *cfg = static_cast<TunnelRuntimeConfig *>(calloc(1, sizeof(TunnelRuntimeConfig)));
    strcpy(cfg->entry_host, "127.0.0.1");
    cfg->entry_port = 50000;
    cfg->udp_ports[0] = 3074;
    cfg->udp_port_count = 1;
    quorlix_set_runtime_config(cfg);
    free(cfg);
    quorlix_reset_stats();
    std::thread engine([] { quorlix_tunnel_main(); });
    quorlix_capsim_wait_open_handles(2, 3000);

    const size_t sizes[] = {64, 512, 1200};
    const int windows[] = {1, 32};
    constexpr int kRepeats = 3;
    auto median = [](std::vector<Result> runs) {
        Result m;
        auto pick = [&runs](double Result::*field) {
            std::vector<double> v;
            for (const Result &r : runs)
                v.push_back(r.*field);
            std::sort(v.begin(), v.end());
            return v[v.size() / 2];
        };
        m.pps = pick(&Result::pps);
        m.medianUs = pick(&Result::medianUs);
        m.p99Us = pick(&Result::p99Us);
        return m;
    };

    printf("\n(1) round trip, one at a time and %d in flight: packets/s, median / p99 latency "
           "(medians of %d runs)\n",
           32, kRepeats);
    printf("%-9s | %-28s | %-28s | %-28s | %s\n", "size", "raw echo", "rig without engine", "engine",
           "engine / rig, engine / raw (pps)");
    for (size_t size : sizes) {
        rawEcho(size, 2000, 1); // warm-up
        engineRoundTrip(size, 2000, 1, rigServer);
        engineRoundTrip(size, 2000, 1);
        for (int window : windows) {
            std::vector<Result> raw, rig, eng;
            for (int k = 0; k < kRepeats; ++k) {
                // The three take turns, starting with a different one each time.
                for (int j = 0; j < 3; ++j) {
                    switch ((j + k) % 3) {
                    case 0:
                        raw.push_back(rawEcho(size, rounds, window));
                        break;
                    case 1:
                        rig.push_back(engineRoundTrip(size, rounds, window, rigServer));
                        break;
                    default:
                        eng.push_back(engineRoundTrip(size, rounds, window));
                        break;
                    }
                }
            }
            const Result r = median(raw), g = median(rig), e = median(eng);
            printf(
                "%4zu B w%-2d | %7.0f %6.1f / %6.1f us | %7.0f %6.1f / %6.1f us | %7.0f %6.1f / %6.1f us | "
                "%.2f, %.2f\n",
                size, window, r.pps, r.medianUs, r.p99Us, g.pps, g.medianUs, g.p99Us, e.pps, e.medianUs,
                e.p99Us, e.pps / g.pps, e.pps / r.pps);
        }
    }
    const testrelay::RelayStats s = relay.stats();
    printf("relay: %llu accepted, %llu rejected\n", (unsigned long long)s.accepted,
           (unsigned long long)s.rejected);

    quorlix_tunnel_stop();
    engine.join();
    pass.stop();
    tap.stop();
    relay.stop();

    // (2) Per-packet cost, on this thread with the loop's state set up by hand.
    tunnel_state_run_begin();
    TunnelRuntimeConfig *run = static_cast<TunnelRuntimeConfig *>(calloc(1, sizeof(TunnelRuntimeConfig)));
    tunnel_load_config(run);
    tunnel_state_build_ports_at_start(run);
    tunnel_set_primary_relay(inet_addr("127.0.0.1"), 50000);
    free(run);
    tunnel_loop_configure(1, 0);
    int err = 0;
    tunnel_loop_handle_set(quorlix_capture_open("outbound and ip.DstAddr == 255.255.255.254", &err));
    const int iterations = 2000000;
    const Bytes external = udpPacket("10.0.0.2", 40000, "1.2.3.4", 9999, 64);
    const Bytes local = udpPacket("10.0.0.2", 40000, "192.168.1.20", 9999, 64);
    perPacketNs(external, true, iterations / 10);
    const double base = perPacketNs(external, false, iterations);
    const double ext = perPacketNs(external, true, iterations);
    const double loc = perPacketNs(local, true, iterations);
    printf("\n(2) outbound packet not tunneled, ns per packet (%d packets)\n", iterations);
    printf("re-inject only (baseline): %.0f ns\n", base);
    printf(
        "external address, not a game port (writes the [OUTBOUND-CHECK] line): %.0f ns (%.2fx, +%.0f ns)\n",
        ext, ext / base, ext - base);
    printf("private address: %.0f ns (%.2fx, +%.0f ns)\n", loc, loc / base, loc - base);
    quorlix_capture_close(tunnel_loop_handle_take());
    tunnel_state_run_end();
    return 0;
}
