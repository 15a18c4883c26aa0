// The netfilter capture backend with real packets, against the same traffic
// without it, in one run: two network namespaces this program makes for
// itself (it unshares its own first, so nothing of the machine's is touched),
// joined by a veth pair as in the tests (tests/support/NetnsPeer.h).
//
// (1) UDP round trip of the game: a socket here sends to a server in the peer
//     namespace. Baseline: sent directly. Measured: the tunnel engine runs
//     here with the real backend; the game's datagram is captured, tunneled
//     to the test relay in the peer namespace, which hands it to the server
//     and carries the answer back, and the engine injects it. A second
//     measured row has the relay answer by itself (no hop to the server), to
//     show the share of the capture and the engine alone.
//     One at a time (median and p99 latency) and 32 in flight (packets/s).
// (2) A bulk TCP transfer that is nobody's game, with the capture open vs
//     closed (alternating, median of the runs): every outbound segment still
//     passes the queue and the engine before it is let go.
//
//   quorlix_bench_capture_netfilter [round trips] [tcp seconds]
// Needs root (namespaces, NFQUEUE rules, raw sockets).

#include "engine/common/engine_log.h"
#include "engine/tunnel/quorlix_tunnel.h"
#include "support/NetnsPeer.h"
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

using namespace netnspeer;
using Clock = std::chrono::steady_clock;

namespace {

const uint16_t kForwardedPort = 3074; // the relay hands it to the server
const uint16_t kEchoedPort = 3075;    // the relay answers by itself
const uint16_t kTcpPort = 8080;

int udpSocket(const char *addr, uint16_t port)
{
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    int big = 4 << 20;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &big, sizeof big);
    sockaddr_in sa = endpoint(addr, port);
    if (bind(fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa) != 0) {
        perror("bind");
        exit(1);
    }
    return fd;
}

struct Result
{
    double pps = 0;
    double medianUs = 0;
    double p99Us = 0;
};

// Round trips of 64-byte datagrams with `window` in flight.
Result roundTrips(int fd, const char *to, uint16_t port, int rounds, int window)
{
    sockaddr_in dst = endpoint(to, port);
    std::vector<uint8_t> msg(64, 0xAB), buf(2048);
    std::vector<double> lat;
    lat.reserve(size_t(rounds));
    std::vector<Clock::time_point> inflight;
    int sent = 0, got = 0;
    const auto t0 = Clock::now();
    while (got < rounds) {
        while (sent < rounds && sent - got < window) {
            inflight.push_back(Clock::now());
            sendto(fd, msg.data(), msg.size(), 0, reinterpret_cast<sockaddr *>(&dst), sizeof dst);
            ++sent;
        }
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 1000) != 1) {
            fprintf(stderr, "round trip lost after %d answers\n", got);
            exit(1);
        }
        if (recv(fd, buf.data(), buf.size(), 0) <= 0)
            continue;
        lat.push_back(std::chrono::duration<double, std::nano>(Clock::now() - inflight[size_t(got)]).count());
        ++got;
    }
    const double secs = std::chrono::duration<double>(Clock::now() - t0).count();
    Result r;
    r.pps = rounds / secs;
    std::sort(lat.begin(), lat.end());
    r.medianUs = lat[lat.size() / 2] / 1000.0;
    r.p99Us = lat[size_t(double(lat.size()) * 0.99)] / 1000.0;
    return r;
}

// Megabytes per second of one TCP connection writing for `seconds`.
double bulkTcp(double seconds)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa = endpoint(kServer, kTcpPort);
    if (connect(fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa) != 0) {
        perror("connect");
        exit(1);
    }
    std::vector<char> block(128 * 1024, 'q');
    uint64_t total = 0;
    const auto t0 = Clock::now();
    const auto end = t0 + std::chrono::duration<double>(seconds);
    while (Clock::now() < end) {
        const ssize_t n = write(fd, block.data(), block.size());
        if (n <= 0)
            break;
        total += uint64_t(n);
    }
    shutdown(fd, SHUT_WR);
    uint64_t counted = 0;
    (void)!read(fd, &counted, sizeof counted);
    const double secs = std::chrono::duration<double>(Clock::now() - t0).count();
    close(fd);
    return double(counted) / secs / 1e6;
}

// The server side in the peer namespace: a UDP echo and a TCP sink.
void serve(int udp, int tcp, std::atomic<bool> *stop)
{
    std::vector<char> buf(1 << 16);
    while (!stop->load()) {
        pollfd fds[2] = {{udp, POLLIN, 0}, {tcp, POLLIN, 0}};
        if (poll(fds, 2, 50) <= 0)
            continue;
        if (fds[0].revents & POLLIN) {
            sockaddr_in from{};
            socklen_t fl = sizeof from;
            const ssize_t n =
                recvfrom(udp, buf.data(), buf.size(), 0, reinterpret_cast<sockaddr *>(&from), &fl);
            if (n > 0)
                sendto(udp, buf.data(), size_t(n), 0, reinterpret_cast<sockaddr *>(&from), fl);
        }
        if (fds[1].revents & POLLIN) {
            const int c = accept4(tcp, nullptr, nullptr, SOCK_CLOEXEC);
            uint64_t total = 0;
            ssize_t n;
            while (c >= 0 && (n = read(c, buf.data(), buf.size())) > 0)
                total += uint64_t(n);
            if (c >= 0) {
                (void)!write(c, &total, sizeof total);
                close(c);
            }
        }
    }
}

void quiet(int, const char *, size_t, void *) {}

void print(const char *what, const Result &one, const Result &many)
{
    printf("  %-34s median %7.1f us  p99 %7.1f us  | 32 in flight %9.0f pkt/s\n", what, one.medianUs,
           one.p99Us, many.pps);
}

} // namespace

int main(int argc, char **argv)
{
    const int rounds = argc > 1 ? atoi(argv[1]) : 20000;
    const double tcpSeconds = argc > 2 ? atof(argv[2]) : 2.0;
    if (geteuid() != 0) {
        fprintf(stderr, "needs root (network namespaces, NFQUEUE rules, raw sockets)\n");
        return 77;
    }
    // Our own namespace first: the rules installed below divert only its packets.
    if (unshare(CLONE_NEWNET) != 0) {
        perror("unshare(CLONE_NEWNET)");
        return 1;
    }
    Peer peer;
    std::string why;
    if (!peer.start(&why)) {
        fprintf(stderr, "namespaces: %s\n", why.c_str());
        return 1;
    }
    printf("cores: %ld, round trips per row: %d, tcp: %.1f s per run\n", sysconf(_SC_NPROCESSORS_ONLN),
           rounds, tcpSeconds);

    testrelay::TestRelay::Options options;
    options.address = kRelay;
    options.inPrivateNamespace = true;
    testrelay::TestRelay relay(options);
    std::atomic<bool> stop{false};
    int serverUdp = -1, serverTcp = -1, forward = -1;
    std::thread server;
    const bool up = peer.inside([&] {
        serverUdp = udpSocket(kServer, kForwardedPort);
        serverTcp = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in sa = endpoint(kServer, kTcpPort);
        forward = udpSocket(kRelay, 0);
        server = std::thread(serve, serverUdp, serverTcp, &stop);
        return bind(serverTcp, reinterpret_cast<sockaddr *>(&sa), sizeof sa) == 0 &&
               listen(serverTcp, 4) == 0 && relay.start();
    });
    if (!up) {
        fprintf(stderr, "peer side: %s\n", relay.errorString().c_str());
        return 1;
    }
    relay.setUdpResponder([forward](const testrelay::RelayFlow &flow, const std::vector<uint8_t> &payload,
                                    std::vector<uint8_t> *reply) {
        if (flow.dstPort != kForwardedPort) {
            *reply = payload;
            return true;
        }
        sockaddr_in to{};
        to.sin_family = AF_INET;
        memcpy(&to.sin_addr, flow.dstAddr, 4);
        to.sin_port = htons(flow.dstPort);
        sendto(forward, payload.data(), payload.size(), 0, reinterpret_cast<sockaddr *>(&to), sizeof to);
        uint8_t buf[2048];
        const ssize_t n = recv(forward, buf, sizeof buf, 0);
        reply->assign(buf, buf + (n > 0 ? n : 0));
        return n > 0;
    });

    const int game = udpSocket(kHere, 0);
    printf("\n(1) game UDP round trip, 64-byte payload\n");
    const Result directOne = roundTrips(game, kServer, kForwardedPort, rounds, 1);
    const Result directMany = roundTrips(game, kServer, kForwardedPort, rounds, 32);
    std::vector<double> tcpClosed, tcpOpen;
    tcpClosed.push_back(bulkTcp(tcpSeconds));

    setenv("QUORLIX_CAPTURE", "netfilter", 1);
    auto *cfg = static_cast<TunnelRuntimeConfig *>(calloc(1, sizeof(TunnelRuntimeConfig)));
    strcpy(cfg->entry_host, kRelay);
    cfg->entry_port = 50000;
    cfg->udp_ports[0] = kForwardedPort;
    cfg->udp_ports[1] = kEchoedPort;
    cfg->udp_port_count = 2;
    quorlix_set_runtime_config(cfg);
    free(cfg);
    quorlix_log_set_sink(quiet, nullptr); // the per-packet lines are formatted, then dropped
    std::vector<Result> through(4);
    std::atomic<int> engineResult{-1};
    auto startEngine = [&] {
        quorlix_reset_stats();
        std::thread *t = new std::thread([&] { engineResult.store(quorlix_tunnel_main()); });
        // The engine is up once a game datagram comes back through it.
        const int probe = udpSocket(kHere, 0);
        timeval tv{0, 100000};
        setsockopt(probe, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        const uint64_t before = relay.stats().accepted;
        for (int i = 0; i < 100 && relay.stats().accepted == before; ++i) {
            sockaddr_in dst = endpoint(kServer, kEchoedPort);
            char b[64] = {};
            sendto(probe, b, sizeof b, 0, reinterpret_cast<sockaddr *>(&dst), sizeof dst);
            (void)!recv(probe, b, sizeof b, 0);
        }
        close(probe);
        return t;
    };
    auto stopEngine = [&](std::thread *t) {
        quorlix_tunnel_stop();
        t->join();
        delete t;
    };

    std::thread *engine = startEngine();
    if (engineResult.load() == 1) {
        fprintf(stderr, "the engine did not start\n");
        return 1;
    }
    through[0] = roundTrips(game, kServer, kForwardedPort, rounds, 1);
    through[1] = roundTrips(game, kServer, kForwardedPort, rounds, 32);
    through[2] = roundTrips(game, kServer, kEchoedPort, rounds, 1);
    through[3] = roundTrips(game, kServer, kEchoedPort, rounds, 32);
    tcpOpen.push_back(bulkTcp(tcpSeconds));
    stopEngine(engine);
    for (int i = 0; i < 2; ++i) {
        tcpClosed.push_back(bulkTcp(tcpSeconds));
        engine = startEngine();
        tcpOpen.push_back(bulkTcp(tcpSeconds));
        stopEngine(engine);
    }

    print("direct (no capture)", directOne, directMany);
    print("engine + relay + server", through[0], through[1]);
    print("engine + relay echo", through[2], through[3]);
    printf("  ratio packets/s (through / direct): %.2f; added median latency %.1f us\n",
           through[1].pps / directMany.pps, through[0].medianUs - directOne.medianUs);

    std::sort(tcpClosed.begin(), tcpClosed.end());
    std::sort(tcpOpen.begin(), tcpOpen.end());
    const double closed = tcpClosed[tcpClosed.size() / 2], open = tcpOpen[tcpOpen.size() / 2];
    printf("\n(2) bulk TCP that is nobody's game, median of %zu runs\n", tcpOpen.size());
    printf("  capture closed %8.1f MB/s\n  capture open   %8.1f MB/s\n  ratio %.2f\n", closed, open,
           open / closed);

    stop.store(true);
    server.join();
    relay.stop();
    return 0;
}
