// The netfilter capture backend with real packets, in one run, between two
// network namespaces this program makes for itself (it unshares its own
// first, so nothing of the machine's is touched), joined by a veth pair as in
// the tests (tests/support/NetnsPeer.h). Three paths of a 64-byte UDP round
// trip, measured in turns (every round measures each once, the order rotated
// from round to round, so a busy spell of the machine does not land on one
// path only):
//   direct  the game's socket here and an echo server in the peer namespace;
//   reader  the same, with a plain accept-all reader of a netfilter queue
//           (plain_reader.c, a process of its own) queueing what the engine
//           queues: the same rules, built by the backend's own rule builder;
//   engine  the tunnel engine with the real backend and the test relay in the
//           peer namespace answering the game's datagrams itself (one hop,
//           as the echo server does for the other two). A second engine row
//           has the relay hand the datagram to the echo server (full path).
// Each path: one datagram at a time (median latency) and 32 in flight (round
// trips per second); for the reader and the engine also the system calls and
// the CPU time of the reader's process / the engine's thread per round trip,
// counted by the kernel (perf events) while the 32-in-flight run lasts.
// Then a bulk TCP transfer that is nobody's game, with the engine's capture
// open vs closed, in turns as well.
//
//   quorlix_bench_capture_netfilter [rounds] [round trips] [tcp seconds]
// Needs root (namespaces, NFQUEUE rules, raw sockets). Run it pinned
// (taskset -c ...) on a shared machine.

#include "engine/common/engine_log.h"
#include "engine/tunnel/quorlix_tunnel.h"
#include "engine/tunnel/tunnel_loop.h"
#include "platform/capture/capture_filter.h"
#include "platform/capture/capture_netfilter.h"
#include "support/NetnsPeer.h"
#include "support/testrelay/TestRelay.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <linux/perf_event.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <vector>

using namespace netnspeer;
using Clock = std::chrono::steady_clock;

namespace {

const uint16_t kServerPort = 3074; // the echo server; the engine's relay hands it on
const uint16_t kEchoedPort = 3075; // the engine's relay answers by itself
const uint16_t kTcpPort = 8080;
const uint16_t kReaderQueue = 4400;

int udpSocket(const char *addr, uint16_t port)
{
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    int big = 4 << 20;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &big, sizeof big);
    sockaddr_in sa = endpoint(addr, port);
    if (bind(fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa) != 0) {
        perror("bind");
        exit(1);
    }
    return fd;
}

// System calls and CPU time of one thread (or a whole single-threaded
// process), as the kernel counts them.
class TaskCounters
{
public:
    ~TaskCounters() { close(); }

    bool open(pid_t pid, pid_t tid)
    {
        close();
        snprintf(m_stat, sizeof m_stat, "/proc/%d/task/%d/stat", int(pid), int(tid));
        static long syscallEvent = readEventId();
        m_calls = syscallEvent >= 0 ? event(tid, PERF_TYPE_TRACEPOINT, uint64_t(syscallEvent)) : -1;
        m_clock = event(tid, PERF_TYPE_SOFTWARE, PERF_COUNT_SW_TASK_CLOCK);
        return m_calls >= 0 && m_clock >= 0;
    }
    void start()
    {
        ticks(&m_user, &m_system);
        for (int fd : {m_calls, m_clock}) {
            ioctl(fd, PERF_EVENT_IOC_RESET, 0);
            ioctl(fd, PERF_EVENT_IOC_ENABLE, 0);
        }
    }
    // System calls, CPU nanoseconds and the kernel's share of them since start.
    void stop(double *calls, double *cpuNs, double *kernelShare)
    {
        uint64_t user = 0, system = 0;
        ticks(&user, &system);
        *kernelShare = user + system > m_user + m_system
                           ? double(system - m_system) / double(user + system - m_user - m_system)
                           : 0;
        uint64_t c = 0, t = 0;
        ioctl(m_calls, PERF_EVENT_IOC_DISABLE, 0);
        ioctl(m_clock, PERF_EVENT_IOC_DISABLE, 0);
        if (read(m_calls, &c, sizeof c) != sizeof c || read(m_clock, &t, sizeof t) != sizeof t)
            c = t = 0;
        *calls = double(c);
        *cpuNs = double(t);
    }
    void close()
    {
        for (int *fd : {&m_calls, &m_clock}) {
            if (*fd >= 0)
                ::close(*fd);
            *fd = -1;
        }
    }

private:
    // User and system time in clock ticks, from the task's stat line.
    void ticks(uint64_t *user, uint64_t *system) const
    {
        FILE *f = fopen(m_stat, "r");
        char line[1024] = {};
        if (f && fgets(line, sizeof line, f)) {
            const char *p = strrchr(line, ')');
            unsigned long long u = 0, s = 0;
            // Fields 14 and 15 of the line, counted after the command name.
            if (p && sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &u, &s) == 2) {
                *user = u;
                *system = s;
            }
        }
        if (f)
            fclose(f);
    }

    static long readEventId()
    {
        for (const char *path : {"/sys/kernel/tracing/events/raw_syscalls/sys_enter/id",
                                 "/sys/kernel/debug/tracing/events/raw_syscalls/sys_enter/id"}) {
            FILE *f = fopen(path, "r");
            long id = -1;
            if (f && fscanf(f, "%ld", &id) == 1) {
                fclose(f);
                return id;
            }
            if (f)
                fclose(f);
        }
        return -1;
    }
    static int event(pid_t tid, uint32_t type, uint64_t config)
    {
        perf_event_attr a{};
        a.size = sizeof a;
        a.type = type;
        a.config = config;
        a.disabled = 1;
        return int(syscall(SYS_perf_event_open, &a, tid, -1, -1, 0));
    }

    int m_calls = -1;
    int m_clock = -1;
    char m_stat[64] = {};
    uint64_t m_user = 0, m_system = 0;
};

// CPU time (clock ticks) of every thread of this process by name: where the
// time of a path goes, besides the engine's own thread.
std::map<std::string, uint64_t> threadTicks()
{
    std::map<std::string, uint64_t> out;
    DIR *dir = opendir("/proc/self/task");
    while (dirent *e = dir ? readdir(dir) : nullptr) {
        if (e->d_name[0] == '.')
            continue;
        const std::string path = std::string("/proc/self/task/") + e->d_name + "/stat";
        FILE *f = fopen(path.c_str(), "r");
        char line[1024] = {};
        if (f && fgets(line, sizeof line, f)) {
            const char *open = strchr(line, '('), *close = strrchr(line, ')');
            unsigned long long u = 0, st = 0;
            if (open && close &&
                sscanf(close + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &u, &st) == 2)
                out[std::string(open + 1, close)] += u + st;
        }
        if (f)
            fclose(f);
    }
    if (dir)
        closedir(dir);
    return out;
}

struct Sample
{
    double rate = 0;     // round trips per second, 32 in flight
    double medianUs = 0; // one at a time
    double callsPerRt = 0;
    double cpuUsPerRt = 0;
    double kernelShare = 0;
    std::map<std::string, double> threadUs; // CPU per round trip of this program's threads, by name
};

// Round trips of 64-byte datagrams with `window` in flight; the median
// latency when window is 1.
void roundTrips(int fd, uint16_t port, int rounds, int window, double *rate, double *medianUs)
{
    sockaddr_in dst = endpoint(kServer, port);
    std::vector<uint8_t> msg(64, 0xAB), buf(2048);
    std::vector<double> lat;
    lat.reserve(size_t(rounds));
    std::vector<Clock::time_point> sentAt;
    sentAt.resize(size_t(rounds));
    int sent = 0, got = 0;
    const auto t0 = Clock::now();
    while (got < rounds) {
        while (sent < rounds && sent - got < window) {
            sentAt[size_t(sent)] = Clock::now();
            sendto(fd, msg.data(), msg.size(), 0, reinterpret_cast<sockaddr *>(&dst), sizeof dst);
            ++sent;
        }
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 2000) != 1) {
            fprintf(stderr, "round trip lost after %d answers (port %u)\n", got, unsigned(port));
            exit(1);
        }
        while (recv(fd, buf.data(), buf.size(), MSG_DONTWAIT) > 0 && got < sent) {
            lat.push_back(
                std::chrono::duration<double, std::micro>(Clock::now() - sentAt[size_t(got)]).count());
            ++got;
        }
    }
    *rate = rounds / std::chrono::duration<double>(Clock::now() - t0).count();
    std::sort(lat.begin(), lat.end());
    *medianUs = lat[lat.size() / 2];
}

Sample measure(int fd, uint16_t port, int rounds, TaskCounters *counters)
{
    Sample s;
    double unused;
    roundTrips(fd, port, rounds / 4, 1, &unused, &s.medianUs);
    if (counters)
        counters->start();
    const auto before = threadTicks();
    roundTrips(fd, port, rounds, 32, &s.rate, &unused);
    for (const auto &t : threadTicks()) {
        const auto b = before.find(t.first);
        const double ticks = double(t.second - (b == before.end() ? 0 : b->second));
        if (ticks > 0)
            s.threadUs[t.first] = ticks * 1e6 / double(sysconf(_SC_CLK_TCK)) / rounds;
    }
    if (counters) {
        double calls, ns;
        counters->stop(&calls, &ns, &s.kernelShare);
        s.callsPerRt = calls / rounds;
        s.cpuUsPerRt = ns / 1000.0 / rounds;
    }
    return s;
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
            ssize_t n;
            while ((n = recvfrom(udp, buf.data(), buf.size(), MSG_DONTWAIT,
                                 reinterpret_cast<sockaddr *>(&from), &fl)) > 0)
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

bool restore(const std::string &script)
{
    FILE *p = popen("iptables-restore --noflush -w", "w");
    if (!p)
        return false;
    fputs(script.c_str(), p);
    return pclose(p) == 0;
}

// The plain reader in a process of its own, on the rules the engine's
// capture would install for the same filter.
class PlainReader
{
public:
    bool start(const char *program, const char *filterText)
    {
        quorlix_filter *f = quorlix_filter_compile(filterText, nullptr);
        quorlix_filter_scope scope;
        quorlix_filter_scope_of(f, &scope);
        quorlix_filter_free(f);
        char rules[8192];
        if (quorlix_capture_nf_rules(&scope, kReaderQueue, rules, sizeof rules) == 0)
            return false;
        int out[2];
        if (pipe(out) != 0)
            return false;
        m_pid = fork();
        if (m_pid == 0) {
            dup2(out[1], 1);
            const std::string queue = std::to_string(kReaderQueue);
            execl(program, program, queue.c_str(), nullptr);
            _exit(127);
        }
        close(out[1]);
        char ready[16] = {};
        const bool up = read(out[0], ready, sizeof ready - 1) > 0 && strncmp(ready, "ready", 5) == 0;
        close(out[0]);
        return up && restore(rules);
    }
    void stop()
    {
        char chains[2][QUORLIX_CAPTURE_NF_CHAIN_LEN];
        quorlix_capture_nf_chain_names(kReaderQueue, chains[0], chains[1]);
        restore(std::string("*filter\n-D OUTPUT -j ") + chains[0] + "\n-D INPUT -j " + chains[1] + "\n-F " +
                chains[0] + "\n-F " + chains[1] + "\n-X " + chains[0] + "\n-X " + chains[1] + "\nCOMMIT\n");
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        m_pid = -1;
    }
    pid_t pid() const { return m_pid; }

private:
    pid_t m_pid = -1;
};

void quiet(int, const char *, size_t, void *) {}

struct Stats
{
    double min, median, max;
};
Stats stats(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return {v.front(), v[v.size() / 2], v.back()};
}

void row(const char *name, const std::vector<Sample> &samples)
{
    std::vector<double> rate, lat, calls, cpu, kernel;
    for (const Sample &s : samples) {
        rate.push_back(s.rate);
        lat.push_back(s.medianUs);
        calls.push_back(s.callsPerRt);
        cpu.push_back(s.cpuUsPerRt);
        kernel.push_back(s.kernelShare);
    }
    const Stats r = stats(rate), l = stats(lat), c = stats(calls), u = stats(cpu), k = stats(kernel);
    printf("  %-26s %8.0f %8.0f %8.0f | %6.1f %6.1f %6.1f", name, r.min, r.median, r.max, l.min, l.median,
           l.max);
    if (c.max > 0)
        printf(" | %5.2f %6.1f %4.0f%%", c.median, u.median, 100 * k.median);
    printf("\n");
}

// Median CPU per round trip of each thread of this program (the relay's is
// the one still named after the program), and of the path's own reader.
void threads(const char *name, const std::vector<Sample> &samples, bool withCounted)
{
    std::map<std::string, std::vector<double>> by;
    for (const Sample &s : samples) {
        for (const auto &t : s.threadUs)
            by[t.first].push_back(t.second);
        if (withCounted)
            by["reader process"].push_back(s.cpuUsPerRt);
    }
    printf("  %-26s", name);
    for (const auto &t : by)
        printf(" %s %.1f", t.first == "quorlix_bench_c" ? "relay" : t.first.c_str(), stats(t.second).median);
    printf("\n");
}

void ratio(const char *name, const std::vector<double> &v)
{
    const Stats s = stats(v);
    printf("  %-40s %.2f  %.2f  %.2f\n", name, s.min, s.median, s.max);
}

} // namespace

int main(int argc, char **argv)
{
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    const int trips = argc > 2 ? std::max(100, atoi(argv[2])) : 20000;
    const double tcpSeconds = argc > 3 ? atof(argv[3]) : 1.0;
    if (geteuid() != 0) {
        fprintf(stderr, "needs root (network namespaces, NFQUEUE rules, raw sockets)\n");
        return 77;
    }
    // The plain reader lies beside this program.
    std::string readerPath = argv[0];
    readerPath = readerPath.substr(0, readerPath.rfind('/') + 1) + "quorlix_bench_plain_reader";
    if (access(readerPath.c_str(), X_OK) != 0) {
        fprintf(stderr, "%s is missing\n", readerPath.c_str());
        return 1;
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
    cpu_set_t cpus;
    sched_getaffinity(0, sizeof cpus, &cpus);
    double load[3] = {};
    getloadavg(load, 3);
    printf("cores: %ld online, %d allowed; load average %.1f %.1f %.1f; %d rounds of %d round trips, tcp "
           "%.1f s\n",
           sysconf(_SC_NPROCESSORS_ONLN), CPU_COUNT(&cpus), load[0], load[1], load[2], rounds, trips,
           tcpSeconds);

    testrelay::TestRelay::Options options;
    options.address = kRelay;
    options.inPrivateNamespace = true;
    testrelay::TestRelay relay(options);
    std::atomic<bool> stop{false};
    int serverUdp = -1, serverTcp = -1, forward = -1;
    std::thread server;
    const bool up = peer.inside([&] {
        serverUdp = udpSocket(kServer, kServerPort);
        serverTcp = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in sa = endpoint(kServer, kTcpPort);
        forward = udpSocket(kRelay, 0);
        server = std::thread([&] {
            pthread_setname_np(pthread_self(), "qx-server");
            serve(serverUdp, serverTcp, &stop);
        });
        return bind(serverTcp, reinterpret_cast<sockaddr *>(&sa), sizeof sa) == 0 &&
               listen(serverTcp, 4) == 0 && relay.start();
    });
    if (!up) {
        fprintf(stderr, "peer side: %s\n", relay.errorString().c_str());
        return 1;
    }
    // Named after the relay's thread started, which keeps the program's name.
    pthread_setname_np(pthread_self(), "qx-game");
    relay.setUdpResponder([forward](const testrelay::RelayFlow &flow, const std::vector<uint8_t> &payload,
                                    std::vector<uint8_t> *reply) {
        if (flow.dstPort != kServerPort) {
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

    setenv("QUORLIX_CAPTURE", "netfilter", 1);
    auto *cfg = static_cast<TunnelRuntimeConfig *>(calloc(1, sizeof(TunnelRuntimeConfig)));
    strcpy(cfg->entry_host, kRelay);
    cfg->entry_port = 50000;
    cfg->udp_ports[0] = kServerPort;
    cfg->udp_ports[1] = kEchoedPort;
    cfg->udp_port_count = 2;
    quorlix_set_runtime_config(cfg);
    free(cfg);
    quorlix_log_set_sink(quiet, nullptr); // the per-packet lines are formatted, then dropped
    uint32_t relayAddr = 0;
    inet_pton(AF_INET, kRelay, &relayAddr);
    char filterText[TUNNEL_FILTER_MAX_TEXT];
    tunnel_filter_build(&relayAddr, 1, filterText, sizeof filterText);

    std::atomic<int> engineResult{-1};
    std::atomic<pid_t> engineTid{0};
    std::thread *engine = nullptr;
    const int game = udpSocket(kHere, 0);
    auto startEngine = [&] {
        quorlix_reset_stats();
        engineTid.store(0);
        engine = new std::thread([&] {
            pthread_setname_np(pthread_self(), "qx-engine"); // for profiles
            engineTid.store(pid_t(syscall(SYS_gettid)));
            engineResult.store(quorlix_tunnel_main());
        });
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
        if (engineResult.load() == 1) {
            fprintf(stderr, "the engine did not start\n");
            exit(1);
        }
    };
    auto stopEngine = [&] {
        quorlix_tunnel_stop();
        engine->join();
        delete engine;
        engine = nullptr;
    };

    std::vector<Sample> direct, reader, engineOne, engineFull;
    std::vector<double> vsReader, vsDirect, addedLatency, readerAdded;
    for (int r = 0; r < rounds; ++r) {
        Sample d, p, e, full;
        for (int k = 0; k < 3; ++k) {
            switch ((r + k) % 3) {
            case 0:
                d = measure(game, kServerPort, trips, nullptr);
                break;
            case 1: {
                PlainReader pr;
                if (!pr.start(readerPath.c_str(), filterText)) {
                    fprintf(stderr, "the plain reader did not start\n");
                    return 1;
                }
                TaskCounters c;
                c.open(pr.pid(), pr.pid());
                p = measure(game, kServerPort, trips, &c);
                pr.stop();
                break;
            }
            default: {
                startEngine();
                TaskCounters c;
                c.open(getpid(), engineTid.load());
                e = measure(game, kEchoedPort, trips, &c);
                full = measure(game, kServerPort, trips, &c);
                stopEngine();
                break;
            }
            }
        }
        direct.push_back(d);
        reader.push_back(p);
        engineOne.push_back(e);
        engineFull.push_back(full);
        vsReader.push_back(e.rate / p.rate);
        vsDirect.push_back(e.rate / d.rate);
        addedLatency.push_back(e.medianUs - d.medianUs);
        readerAdded.push_back(p.medianUs - d.medianUs);
    }

    printf("\n(1) game UDP round trip, 64-byte payload, min / median / max over %d rounds\n", rounds);
    printf("  %-26s %26s | %20s | per round trip: calls, cpu us, in kernel\n", "path",
           "round trips/s, 32 in flight", "median latency us");
    row("direct", direct);
    row("plain queue reader", reader);
    row("engine + relay", engineOne);
    row("engine + relay + server", engineFull);
    printf("\n  CPU us per round trip by thread, 32 in flight (median; ticks of 1/%ld s)\n",
           sysconf(_SC_CLK_TCK));
    threads("direct", direct, false);
    threads("plain queue reader", reader, true);
    threads("engine + relay", engineOne, false);
    threads("engine + relay + server", engineFull, false);
    printf("\n  ratios per round (min / median / max)\n");
    ratio("engine / plain reader (round trips/s)", vsReader);
    ratio("engine / direct (round trips/s)", vsDirect);
    ratio("added median latency, reader (us)", readerAdded);
    ratio("added median latency, engine (us)", addedLatency);

    if (tcpSeconds > 0) {
        std::vector<double> closed, open, share;
        for (int r = 0; r < rounds; ++r) {
            double c = 0, o = 0;
            for (int k = 0; k < 2; ++k) {
                if ((r + k) % 2 == 0) {
                    c = bulkTcp(tcpSeconds);
                } else {
                    startEngine();
                    o = bulkTcp(tcpSeconds);
                    stopEngine();
                }
            }
            closed.push_back(c);
            open.push_back(o);
            share.push_back(o / c);
        }
        const Stats c = stats(closed), o = stats(open);
        printf("\n(2) bulk TCP that is nobody's game, MB/s, min / median / max over %d rounds\n", rounds);
        printf("  capture closed %8.0f %8.0f %8.0f\n  capture open   %8.0f %8.0f %8.0f\n", c.min, c.median,
               c.max, o.min, o.median, o.max);
        ratio("open / closed", share);
    }
    getloadavg(load, 3);
    printf("\nload average at the end %.1f %.1f %.1f\n", load[0], load[1], load[2]);

    close(game);
    stop.store(true);
    server.join();
    relay.stop();
    return 0;
}
