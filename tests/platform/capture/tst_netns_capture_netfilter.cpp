// The netfilter capture backend with real packets, between two network
// namespaces of the test's own (see NetnsPeer.h): the tunnel engine runs here
// in a child process (this program started again with --engine-host), the
// test relay and the game's servers run in the peer namespace. The relay hands
// the game's UDP to the real servers and carries their answers back.

#include "engine/tunnel/quorlix_tunnel.h"
#include "platform/capture/capture.h"
#include "platform/capture/capture_netfilter.h"
#include "platform/capture/packet.h"
#include "support/NetnsPeer.h"
#include "support/TestPackets.h"
#include "support/testrelay/TestRelay.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

#include <arpa/inet.h>
#include <errno.h>
#include <libnetfilter_queue/libnetfilter_queue.h>
#include <linux/netfilter.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

using namespace netnspeer;

namespace {

// The temporary folder (TMPDIR) when an unprivileged user can pass through
// every folder above it, else /tmp: a test's own TMPDIR usually sits in a
// folder only its owner may enter.
QString reachableTempFolder()
{
    const QString temp = QDir::tempPath();
    for (QString folder = temp; !folder.isEmpty() && folder != QLatin1String("/");
         folder = QFileInfo(folder).path()) {
        struct stat st;
        if (stat(folder.toLocal8Bit().constData(), &st) != 0 || !(st.st_mode & S_IXOTH))
            return QStringLiteral("/tmp");
    }
    return temp;
}

const uint16_t kGameUdpPort = 3074;
const uint16_t kLearnedUdpPort = 4000;
const uint16_t kPlainUdpPort = 9999;
const uint16_t kPlainTcpPort = 8080;
// A game port the relay takes without answering: for floods.
const uint16_t kFloodPort = 5000;
// TCP of the game: a port mapping sends it through the relay, which hands it
// to a real server and carries that server's packets back unchanged.
const uint16_t kGameTcpPort = 27015;
// Where the server's packets wait in the peer namespace to be carried back.
const uint16_t kReturnQueue = 9;

// Bounds for waits on a real kernel path (queues, sockets, child processes,
// the iptables tools and the lock they share with every namespace of the
// machine). They only matter when something is wrong: a wait ends as soon
// as what it waits for happens.
const int kAnswerMs = 10000;
const int kToolMs = 30000;

// ---- the engine in a process of its own ----------------------------------------

// argv after "--engine-host": [UDP game port].
int engineHost(int argc, char **argv)
{
    const uint16_t gamePort = argc > 0 ? uint16_t(atoi(argv[0])) : kGameUdpPort;
    setvbuf(stdout, nullptr, _IOLBF, 0);
    setvbuf(stderr, nullptr, _IONBF, 0);
    auto *cfg = static_cast<TunnelRuntimeConfig *>(calloc(1, sizeof(TunnelRuntimeConfig)));
    strcpy(cfg->entry_host, kRelay);
    cfg->entry_port = 50000;
    strcpy(cfg->game_profile, "netns");
    cfg->udp_ports[0] = gamePort;
    cfg->udp_port_count = 1;
    cfg->enable_tcp = 1;
    cfg->tcp_ports[0] = kGameTcpPort;
    cfg->tcp_port_count = 1;
    strcpy(cfg->app_domains[0], "*.game.test");
    cfg->app_domain_count = 1;
    quorlix_set_runtime_config(cfg);
    free(cfg);
    quorlix_add_port_server_mapping(kGameTcpPort, kRelay, 50000);
    quorlix_reset_stats();

    // SIGTERM stops the run the way the client does.
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::atomic<int> result{-1};
    std::thread engine([&] {
        result.store(quorlix_tunnel_main());
        kill(getpid(), SIGTERM); // a failed start ends the wait below too
    });
    int sig = 0;
    sigwait(&set, &sig);
    if (result.load() < 0)
        quorlix_tunnel_stop();
    engine.join();
    printf("[HOST] capture bypassed %llu\n", (unsigned long long)quorlix_get_capture_bypassed());
    return result.load();
}

// ---- sockets -----------------------------------------------------------------

int udpSocket(const char *addr, uint16_t port, int timeoutMs = kAnswerMs)
{
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa = endpoint(addr, port);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa) != 0) {
        if (fd >= 0)
            close(fd);
        return -1;
    }
    timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    return fd;
}

struct Datagram
{
    QByteArray payload;
    QString from;
    uint16_t fromPort = 0;
};

// Sends one datagram and waits for the answer.
bool exchange(int fd, const char *to, uint16_t port, const QByteArray &payload, Datagram *answer)
{
    sockaddr_in dst = endpoint(to, port);
    if (sendto(fd, payload.constData(), size_t(payload.size()), 0, reinterpret_cast<sockaddr *>(&dst),
               sizeof dst) != payload.size())
        return false;
    char buf[2048];
    sockaddr_in from{};
    socklen_t fl = sizeof from;
    const ssize_t n = recvfrom(fd, buf, sizeof buf, 0, reinterpret_cast<sockaddr *>(&from), &fl);
    if (n < 0)
        return false;
    char text[16];
    inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
    *answer = Datagram{QByteArray(buf, int(n)), QString(text), ntohs(from.sin_port)};
    return true;
}

void setReceiveTimeout(int fd, int timeoutMs)
{
    timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
}

// True once the thread sits in poll (where a capture receive waits when
// nothing is queued): read from the kernel's record of its current call.
bool blockedInPoll(pid_t tid)
{
    QFile f(QString("/proc/self/task/%1/syscall").arg(tid));
    if (!f.open(QIODevice::ReadOnly))
        return false;
    bool ok = false;
    const long nr = f.readAll().split(' ').value(0).trimmed().toLong(&ok);
    if (!ok)
        return false; // "running"
#ifdef SYS_poll
    if (nr == SYS_poll)
        return true;
#endif
    return nr == SYS_ppoll;
}

int tcpConnect(const char *addr, uint16_t port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    timeval tv{kAnswerMs / 1000, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    sockaddr_in sa = endpoint(addr, port);
    if (connect(fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// The game's servers in the peer namespace: UDP answers "pong:" + payload from
// the address and port asked; the TCP sinks count what they are sent and
// answer the count when the sender shuts its side.
class Servers
{
public:
    ~Servers() { stop(); }

    bool start()
    {
        m_udp = {udpSocket(kServer, kGameUdpPort), udpSocket(kLearned, kLearnedUdpPort),
                 udpSocket(kServer, kPlainUdpPort)};
        for (uint16_t port : {kPlainTcpPort, kGameTcpPort}) {
            const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            const int one = 1;
            setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
            sockaddr_in sa = endpoint(kServer, port);
            m_tcp.push_back(fd);
            if (fd < 0 || bind(fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa) != 0 || listen(fd, 4) != 0)
                return false;
        }
        for (int fd : m_udp) {
            if (fd < 0)
                return false;
        }
        if (pipe2(m_wake, O_CLOEXEC) != 0)
            return false;
        m_thread = std::thread([this] { run(); });
        return true;
    }

    void stop()
    {
        if (m_thread.joinable()) {
            (void)!write(m_wake[1], "x", 1);
            m_thread.join();
        }
        for (std::thread &t : m_sinks)
            t.join();
        m_sinks.clear();
        for (int fd : m_udp)
            if (fd >= 0)
                close(fd);
        m_udp.clear();
        for (int fd : m_tcp)
            if (fd >= 0)
                close(fd);
        m_tcp.clear();
    }

    std::atomic<int> udpAnswers{0};

private:
    void run()
    {
        for (;;) {
            std::vector<pollfd> fds;
            for (int fd : m_udp)
                fds.push_back({fd, POLLIN, 0});
            for (int fd : m_tcp)
                fds.push_back({fd, POLLIN, 0});
            fds.push_back({m_wake[0], POLLIN, 0});
            if (poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR)
                return;
            if (fds.back().revents)
                return;
            for (size_t i = 0; i < m_udp.size(); ++i) {
                if (!(fds[i].revents & POLLIN))
                    continue;
                char buf[2048];
                sockaddr_in from{};
                socklen_t fl = sizeof from;
                const ssize_t n = recvfrom(m_udp[i], buf + 5, sizeof buf - 5, MSG_DONTWAIT,
                                           reinterpret_cast<sockaddr *>(&from), &fl);
                if (n < 0)
                    continue;
                memcpy(buf, "pong:", 5);
                sendto(m_udp[i], buf, size_t(n) + 5, 0, reinterpret_cast<sockaddr *>(&from), fl);
                ++udpAnswers;
            }
            for (size_t i = 0; i < m_tcp.size(); ++i) {
                if (!(fds[m_udp.size() + i].revents & POLLIN))
                    continue;
                const int c = accept4(m_tcp[i], nullptr, nullptr, SOCK_CLOEXEC);
                if (c >= 0)
                    m_sinks.emplace_back([c] { sink(c); });
            }
        }
    }

    // One connection: counts until the sender shuts its side (or stalls past
    // the read time-out), then answers the count.
    static void sink(int c)
    {
        timeval tv{kAnswerMs / 1000 * 2, 0};
        setsockopt(c, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        uint64_t total = 0;
        std::vector<char> buf(65536);
        ssize_t n;
        while ((n = read(c, buf.data(), buf.size())) > 0)
            total += uint64_t(n);
        (void)!write(c, &total, sizeof total);
        close(c);
    }

    std::vector<int> m_udp;
    std::vector<int> m_tcp;
    int m_wake[2] = {-1, -1};
    std::thread m_thread;
    std::vector<std::thread> m_sinks;
};

// The relay's way to a real TCP server and back, in the peer namespace: the
// relay hands each inner packet to the server's stack through a raw socket;
// the server's own packets to the game are queued on their way out and
// carried back through the relay, so the client sees them only as the relay
// delivers them, unchanged (no relay-side MSS clamp).
class TcpReturnPath
{
public:
    ~TcpReturnPath() { stop(); }

    // Called in the peer namespace.
    bool start(testrelay::TestRelay *relay, std::string *why)
    {
        m_relay = relay;
        m_raw = socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_RAW);
        std::string out;
        const std::string rule =
            QString("OUTPUT -p tcp -s %1 --sport %2 -j NFQUEUE --queue-num %3 --queue-bypass")
                .arg(kServer)
                .arg(kGameTcpPort)
                .arg(kReturnQueue)
                .toStdString();
        m_nfq = nfq_open();
        m_queue = m_nfq ? nfq_create_queue(m_nfq, kReturnQueue, &TcpReturnPath::onPacket, this) : nullptr;
        if (m_raw < 0 || !m_queue || nfq_set_mode(m_queue, NFQNL_COPY_PACKET, 0xFFFF) < 0 ||
            pipe2(m_wake, O_CLOEXEC) != 0) {
            *why = "raw socket or queue in the peer namespace";
            return false;
        }
        if (!sh("iptables -w -A " + rule, &out)) {
            *why = out;
            return false;
        }
        m_rule = rule;
        m_thread = std::thread([this] { run(); });
        const int raw = m_raw;
        relay->setTcpForwarder([raw](const testrelay::RelayFlow &, const uint8_t *p, size_t len) {
            sockaddr_in to{};
            to.sin_family = AF_INET;
            memcpy(&to.sin_addr, p + 16, 4);
            sendto(raw, p, len, 0, reinterpret_cast<sockaddr *>(&to), sizeof to);
        });
        return true;
    }

    // Called in the peer namespace.
    void stop()
    {
        if (m_relay)
            m_relay->setTcpForwarder(nullptr);
        m_relay = nullptr;
        if (!m_rule.empty())
            sh("iptables -w -D " + m_rule);
        m_rule.clear();
        if (m_thread.joinable()) {
            (void)!write(m_wake[1], "x", 1);
            m_thread.join();
        }
        if (m_queue)
            nfq_destroy_queue(m_queue);
        if (m_nfq)
            nfq_close(m_nfq);
        m_queue = nullptr;
        m_nfq = nullptr;
        for (int *fd : {&m_raw, &m_wake[0], &m_wake[1]}) {
            if (*fd >= 0)
                close(*fd);
            *fd = -1;
        }
    }

    std::atomic<int> carried{0};

private:
    static int onPacket(nfq_q_handle *q, nfgenmsg *, nfq_data *nfa, void *ctx)
    {
        auto *self = static_cast<TcpReturnPath *>(ctx);
        nfqnl_msg_packet_hdr *ph = nfq_get_msg_packet_hdr(nfa);
        unsigned char *data = nullptr;
        const int n = nfq_get_payload(nfa, &data);
        if (!ph)
            return 0;
        if (n > 0 && self->m_relay && self->m_relay->carryTcpToClient(data, size_t(n)))
            ++self->carried;
        nfq_set_verdict(q, ntohl(ph->packet_id), NF_DROP, 0, nullptr);
        return 0;
    }

    void run()
    {
        const int fd = nfq_fd(m_nfq);
        std::vector<char> buf(0x20000);
        for (;;) {
            pollfd fds[2] = {{fd, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
            if (poll(fds, 2, -1) < 0 && errno != EINTR)
                return;
            if (fds[1].revents)
                return;
            const ssize_t n = recv(fd, buf.data(), buf.size(), MSG_DONTWAIT);
            if (n > 0)
                nfq_handle_packet(m_nfq, buf.data(), int(n));
        }
    }

    testrelay::TestRelay *m_relay = nullptr;
    int m_raw = -1;
    int m_wake[2] = {-1, -1};
    nfq_handle *m_nfq = nullptr;
    nfq_q_handle *m_queue = nullptr;
    std::string m_rule;
    std::thread m_thread;
};

// The engine host (this program started again with --engine-host, or
// another program that ends up running it) as a child process. Its output
// goes to a file, not a pipe: the engine writes a line per packet, and a pipe
// nobody drains while the test blocks in a transfer would stall it.
class EngineHost
{
public:
    ~EngineHost()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(kToolMs);
        }
    }

    // Starts it (hostArgs after "--engine-host") and waits until its capture
    // is open.
    bool start(QString *why, const QStringList &hostArgs = {}, const QString &program = QString(),
               const QStringList &args = {})
    {
        static int runs = 0;
        m_log.clear();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QUORLIX_CAPTURE", "netfilter");
        process.setProcessEnvironment(env);
        m_logPath =
            QString("%1/engine-%2.log").arg(qEnvironmentVariable("QUORLIX_TEST_TMP", "/tmp")).arg(++runs);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.setStandardOutputFile(m_logPath);
        const QStringList own = QStringList{"--engine-host"} + hostArgs;
        if (program.isEmpty())
            process.start(QCoreApplication::applicationFilePath(), own);
        else
            process.start(program, args + own);
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kToolMs);
        while (!logged("[*] Tunneling")) {
            if (process.state() == QProcess::NotRunning || std::chrono::steady_clock::now() > until) {
                *why = "the engine did not start:\n" + QString::fromLocal8Bit(m_log);
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    }

    // Stops it as the client does; its exit code, -1 when it crashed.
    int stop()
    {
        process.terminate();
        process.waitForFinished(kToolMs); // its stop removes the rules with the iptables tools
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    bool running() const { return process.state() != QProcess::NotRunning; }

    bool logged(const QString &needle)
    {
        QFile f(m_logPath);
        if (f.open(QIODevice::ReadOnly))
            m_log = f.readAll();
        return m_log.contains(needle.toUtf8());
    }

    const char *log() const { return m_log.constData(); }

    QProcess process;

private:
    QString m_logPath;
    QByteArray m_log;
};

// Opens the real backend in this process (the runner's default is the
// simulator), optionally with the owner's relay socket.
quorlix_capture_handle openReal(const QString &filter, int *err, int socketFd = -1)
{
    qputenv("QUORLIX_CAPTURE", "netfilter");
    const QByteArray text = filter.toLatin1();
    const quorlix_capture_handle h = quorlix_capture_open_socket(text.constData(), socketFd, err);
    qputenv("QUORLIX_CAPTURE", "sim");
    return h;
}

// The filter the engine opens with for the test's relay.
QString engineFilter()
{
    return QString("((outbound and ip and ip.DstAddr != %1) or (inbound and udp.SrcPort == 50000 and "
                   "(ip.SrcAddr == %1)))")
        .arg(kRelay);
}

QString ourRules()
{
    std::string out;
    sh("iptables -w -S | grep QUORLIX || true", &out);
    return QString::fromStdString(out).trimmed();
}

} // namespace

class TestNetnsCaptureNetfilter : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();

    void gameUdpGoesThroughTheRelayOthersPassUntouched();
    void dnsTeachesAnAddressAndTcpToItIsTunneled();
    void gameTcpFromAnUnclampedServerNeverStalls();
    void stopAndKillLeaveTheNetworkWorking();
    void twoEnginesSideBySide();
    void anOverflowIsCountedAndShown();
    void withoutCapabilitiesNothingIsInstalled();
    void withoutIptablesOpenFailsWithTwo();
    void anOrdinaryUserWithTheFileCapabilitiesCaptures();
    void badInputIsRefusedAndLeavesNoRule_data();
    void badInputIsRefusedAndLeavesNoRule();
    void aTakenQueueNumberIsSkipped();
    void aPacketLongerThanTheBufferIsDropped();
    void relayDatagramsAreTakenFromTheOwnersSocket();

private:
    // Starts the engine host (this program, or `program` with `args` before
    // its own arguments) and waits until its capture is open.
    bool startEngine(QString *why, const QString &program = QString(), const QStringList &args = {})
    {
        return m_engine.start(why, {}, program, args);
    }
    int stopEngine() { return m_engine.stop(); }
    bool logged(const QString &needle) { return m_engine.logged(needle); }

    Peer m_peer;
    Servers m_servers;
    std::unique_ptr<testrelay::TestRelay> m_relay;
    int m_forward = -1; // the relay's socket towards the servers
    EngineHost m_engine;
};

void TestNetnsCaptureNetfilter::initTestCase()
{
    // The real backend diverts every packet of the namespace it runs in.
    if (!inPrivateNamespace())
        QSKIP("needs a network namespace of its own (tests/support/isolated-run.sh --netns)");
    if (!sh("command -v iptables-restore && command -v nsenter && command -v capsh"))
        QSKIP("needs iptables, nsenter and capsh");
    std::string why;
    QVERIFY2(m_peer.start(&why), why.c_str());
    testrelay::TestRelay::Options options;
    options.address = kRelay;
    options.inPrivateNamespace = true;
    m_relay = std::make_unique<testrelay::TestRelay>(options);
    testrelay::DnsAnswer answer;
    answer.addresses = {kLearned};
    m_relay->setDnsAnswer("eu.game.test", answer);
    const bool started = m_peer.inside([&] {
        m_forward = udpSocket(kRelay, 0);
        return m_servers.start() && m_relay->start() && m_forward >= 0;
    });
    QVERIFY2(started, m_relay->errorString().c_str());
    // The relay hands UDP to the real server and returns its answer: the one
    // to this payload from that server, not one that came late to an
    // earlier exchange.
    const int fwd = m_forward;
    m_relay->setUdpResponder([fwd](const testrelay::RelayFlow &flow, const std::vector<uint8_t> &payload,
                                   std::vector<uint8_t> *reply) {
        if (flow.dstPort == kFloodPort)
            return false;
        sockaddr_in to{};
        to.sin_family = AF_INET;
        memcpy(&to.sin_addr, flow.dstAddr, 4);
        to.sin_port = htons(flow.dstPort);
        if (sendto(fwd, payload.data(), payload.size(), 0, reinterpret_cast<sockaddr *>(&to), sizeof to) < 0)
            return false;
        std::vector<uint8_t> expected{'p', 'o', 'n', 'g', ':'};
        expected.insert(expected.end(), payload.begin(), payload.end());
        for (;;) {
            uint8_t buf[2048];
            sockaddr_in from{};
            socklen_t fl = sizeof from;
            const ssize_t n = recvfrom(fwd, buf, sizeof buf, 0, reinterpret_cast<sockaddr *>(&from), &fl);
            if (n < 0)
                return false;
            if (from.sin_addr.s_addr == to.sin_addr.s_addr && from.sin_port == to.sin_port &&
                std::equal(expected.begin(), expected.end(), buf, buf + n)) {
                reply->assign(buf, buf + n);
                return true;
            }
        }
    });
}

void TestNetnsCaptureNetfilter::cleanupTestCase()
{
    if (m_engine.running()) {
        m_engine.process.kill();
        m_engine.process.waitForFinished(kToolMs);
    }
    if (m_relay)
        m_relay->stop();
    m_servers.stop();
    if (m_forward >= 0)
        close(m_forward);
    m_peer.stop();
}

void TestNetnsCaptureNetfilter::cleanup()
{
    if (m_engine.running())
        stopEngine();
    // A test that failed half-way may leave a killed engine's chains: they
    // must not fail the tests after it too.
    if (QTest::currentTestFailed())
        sh("iptables -w -S | grep -E -- '-j QUORLIX' | cut -c4- | while read -r r; do iptables -w -D $r; "
           "done; "
           "iptables -w -S | grep -E '^-N QUORLIX' | cut -d' ' -f2 | while read -r c; do iptables -w -F $c; "
           "iptables -w -X $c; done");
}

void TestNetnsCaptureNetfilter::gameUdpGoesThroughTheRelayOthersPassUntouched()
{
    // What reaches the game's socket is copied here too, checksums and all.
    std::mutex tapLock;
    std::vector<std::vector<uint8_t>> tapped;
    testrelay::WireTap tap;
    std::string tapWhy;
    QVERIFY2(tap.start(
                 kGameUdpPort,
                 [&](const uint8_t *p, size_t len) {
                     std::lock_guard<std::mutex> lock(tapLock);
                     tapped.emplace_back(p, p + len);
                 },
                 &tapWhy),
             tapWhy.c_str());
    QString why;
    QVERIFY2(startEngine(&why), qPrintable(why));
    const testrelay::RelayStats before = m_relay->stats();

    const int game = udpSocket(kHere, 0);
    QVERIFY(game >= 0);
    Datagram answer;
    QVERIFY2(exchange(game, kServer, kGameUdpPort, "ping-1", &answer), m_engine.log());
    QCOMPARE(answer.payload, QByteArray("pong:ping-1"));
    QCOMPARE(answer.from, QString(kServer));
    QCOMPARE(int(answer.fromPort), int(kGameUdpPort));
    QVERIFY(m_relay->stats().accepted > before.accepted); // it went through the relay
    QTRY_VERIFY_WITH_TIMEOUT(logged("[GAME-UDP]"), kAnswerMs);
    // The copy comes from the tap's own thread.
    QTRY_VERIFY_WITH_TIMEOUT(([&] {
                                 std::lock_guard<std::mutex> lock(tapLock);
                                 return !tapped.empty();
                             }()),
                             kAnswerMs);
    {
        std::lock_guard<std::mutex> lock(tapLock);
        QVERIFY(quorlix_packet_checksums_ok(tapped.back().data(), tapped.back().size()));
    }
    tap.stop();

    // Not the game's: straight to the server and back, the relay never sees it.
    const uint64_t relayed = m_relay->stats().accepted;
    QVERIFY(exchange(game, kServer, kPlainUdpPort, "plain", &answer));
    QCOMPARE(answer.payload, QByteArray("pong:plain"));
    QCOMPARE(answer.from, QString(kServer));
    const int tcp = tcpConnect(kServer, kPlainTcpPort);
    QVERIFY2(tcp >= 0, strerror(errno));
    std::vector<char> block(256 * 1024, 'q');
    for (int i = 0; i < 16; ++i)
        QCOMPARE(write(tcp, block.data(), block.size()), ssize_t(block.size()));
    shutdown(tcp, SHUT_WR);
    uint64_t counted = 0;
    QCOMPARE(read(tcp, &counted, sizeof counted), ssize_t(sizeof counted));
    QCOMPARE(counted, uint64_t(16 * block.size()));
    close(tcp);
    close(game);
    QCOMPARE(m_relay->stats().accepted, relayed);
    QCOMPARE(m_relay->stats().tcpSegments, before.tcpSegments);
    QCOMPARE(stopEngine(), 0);
}

void TestNetnsCaptureNetfilter::dnsTeachesAnAddressAndTcpToItIsTunneled()
{
    QString why;
    QVERIFY2(startEngine(&why), qPrintable(why));
    const int game = udpSocket(kHere, 0);
    QVERIFY(game >= 0);

    // Before the name is looked up, the address is nobody's game.
    const uint64_t relayed = m_relay->stats().accepted;
    Datagram answer;
    QVERIFY(exchange(game, kLearned, kLearnedUdpPort, "early", &answer));
    QCOMPARE(m_relay->stats().accepted, relayed);

    // The query goes to a resolver that does not exist: only the tunnel answers.
    const std::vector<uint8_t> q = testpackets::dnsQuery(0x4242, "eu.game.test");
    QVERIFY(exchange(game, "198.51.100.53", 53,
                     QByteArray(reinterpret_cast<const char *>(q.data()), int(q.size())), &answer));
    QCOMPARE(answer.from, QString("198.51.100.53"));
    QCOMPARE(int(answer.fromPort), 53);
    QCOMPARE(int(uint8_t(answer.payload[0])) << 8 | uint8_t(answer.payload[1]), 0x4242);
    QTRY_VERIFY_WITH_TIMEOUT(logged(QString("[APP-IP] \xE2\x9C\x93 Added %1").arg(kLearned)), kAnswerMs);

    QVERIFY(exchange(game, kLearned, kLearnedUdpPort, "late", &answer));
    QCOMPARE(answer.payload, QByteArray("pong:late"));
    QCOMPARE(answer.from, QString(kLearned));
    QVERIFY(m_relay->stats().accepted > relayed);
    testrelay::RelayFlow flow;
    bool seen = false;
    for (const testrelay::RelayFlow &f : m_relay->flows())
        seen = seen || (f.dstPort == kLearnedUdpPort && f.proto == 17);
    QVERIFY(seen);
    close(game);

    // TCP to the learned address on any port: the relay completes the
    // handshake and echoes the request.
    const uint64_t segments = m_relay->stats().tcpSegments;
    const int tcp = tcpConnect(kLearned, 443);
    QVERIFY2(tcp >= 0, m_engine.log());
    QCOMPARE(write(tcp, "request", 7), ssize_t(7));
    char reply[16] = {};
    QCOMPARE(read(tcp, reply, sizeof reply), ssize_t(7));
    QCOMPARE(QByteArray(reply, 7), QByteArray("request"));
    QVERIFY(m_relay->stats().tcpSegments >= segments + 2);

    // A large write leaves the stack as one packet for the offload to cut up;
    // the capture cuts it into segments that fit a tunnel datagram, each with
    // valid checksums (the relay checks them), covering the data exactly once.
    const QByteArray bulk(48 * 1024, 'b');
    QCOMPARE(write(tcp, bulk.constData(), size_t(bulk.size())), ssize_t(bulk.size()));
    // Offsets are counted from the byte after the request; a retransmission
    // may cut the data differently, so coverage is counted byte by byte.
    bool sawCut = false;
    size_t missing = bulk.size();
    const auto covered = [&] {
        std::vector<bool> got(size_t(bulk.size()), false);
        bool haveBase = false;
        uint32_t base = 0;
        for (const std::vector<uint8_t> &dg : m_relay->lastDatagrams()) {
            if (dg.size() < 16 + 40 || dg[1] != 6)
                continue;
            const uint8_t *ip = &dg[16];
            const size_t total = size_t(ip[2] << 8 | ip[3]);
            const size_t hdr = 20 + size_t(ip[20 + 12] >> 4) * 4;
            const uint32_t seq = uint32_t(ip[24] << 24 | ip[25] << 16 | ip[26] << 8 | ip[27]);
            if (total == hdr + 7) { // the request
                haveBase = true;
                base = seq + 7;
                continue;
            }
            if (!haveBase || total <= hdr)
                continue;
            sawCut = sawCut || total - hdr == QUORLIX_CAPTURE_NF_SEGMENT_PAYLOAD;
            for (size_t k = 0; k < total - hdr; ++k) {
                const uint32_t off = seq + uint32_t(k) - base;
                if (off < got.size())
                    got[off] = true;
            }
        }
        missing = size_t(std::count(got.begin(), got.end(), false));
        return missing == 0;
    };
    // Lost segments come again after the stack's retransmission time-outs,
    // which grow with each loss: a loaded machine may need several seconds.
    const auto coverBy = std::chrono::steady_clock::now() + std::chrono::milliseconds(kToolMs);
    while (!covered() && std::chrono::steady_clock::now() < coverBy)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    QVERIFY2(covered(), qPrintable(QString("%1 bytes never reached the relay").arg(missing)));
    QVERIFY(sawCut);
    QCOMPARE(m_relay->stats().rejected, uint64_t(0));
    close(tcp);
    // The SYN reached the relay with its MSS clamped.
    bool clamped = false;
    for (const std::vector<uint8_t> &dg : m_relay->lastDatagrams()) {
        if (dg.size() < 16 + 44 || dg[1] != 6 || !(dg[16 + 20 + 13] & 0x02))
            continue;
        const uint8_t *opt = &dg[16 + 20 + 20];
        clamped = opt[0] == 2 && opt[1] == 4 && (opt[2] << 8 | opt[3]) == 1000;
    }
    QVERIFY(clamped);
    QCOMPARE(stopEngine(), 0);
}

void TestNetnsCaptureNetfilter::gameTcpFromAnUnclampedServerNeverStalls()
{
    // The server announces the MSS of its own link (1460) and the relay
    // passes its SYN/ACK on as it is. Segments of that size no longer fit a
    // tunnel datagram: unless the announcement is lowered on the way in, the
    // stack here sends them, the tunnel drops them, and the connection
    // stalls; and the drops must not lower the safe MTU for the game's UDP.
    TcpReturnPath path;
    std::string pathWhy;
    const bool pathUp = m_peer.inside([&] { return path.start(m_relay.get(), &pathWhy); });
    struct Undo
    {
        Peer &peer;
        TcpReturnPath &path;
        ~Undo()
        {
            peer.inside([this] { path.stop(); });
        }
    } undo{m_peer, path};
    QVERIFY2(pathUp, pathWhy.c_str());
    QString why;
    QVERIFY2(startEngine(&why), qPrintable(why));

    const int tcp = tcpConnect(kServer, kGameTcpPort);
    QVERIFY2(tcp >= 0, m_engine.log());
    const int one = 1;
    setsockopt(tcp, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    // A lone segment larger than the clamp first, then a bulk transfer. A
    // stalled connection ends the writes at the send time-out.
    const QByteArray lone(1400, 'l');
    const QByteArray bulk(256 * 1024 + 777, 'b');
    size_t written = 0;
    for (const QByteArray *part : {&lone, &bulk}) {
        for (size_t off = 0; off < size_t(part->size());) {
            const ssize_t n = write(tcp, part->constData() + off, size_t(part->size()) - off);
            if (n <= 0)
                break;
            off += size_t(n);
            written += size_t(n);
        }
    }
    shutdown(tcp, SHUT_WR);
    uint64_t counted = 0;
    const ssize_t got =
        written == size_t(lone.size() + bulk.size()) ? read(tcp, &counted, sizeof counted) : 0;
    close(tcp);
    QVERIFY2(got == ssize_t(sizeof counted),
             qPrintable(QString("the transfer stalled after %1 bytes").arg(written)));
    QCOMPARE(counted, uint64_t(lone.size() + bulk.size()));
    QVERIFY(path.carried.load() > 0); // the server's packets came through the relay

    // The safe MTU stayed where it was: the game's larger datagrams still
    // go through.
    QVERIFY2(!logged("[MTU-ADAPT]"), m_engine.log());
    const int game = udpSocket(kHere, 0);
    Datagram answer;
    const QByteArray big(1200, 'g');
    QVERIFY2(exchange(game, kServer, kGameUdpPort, big, &answer), m_engine.log());
    QCOMPARE(answer.payload, "pong:" + big);
    close(game);
    QCOMPARE(stopEngine(), 0);
}

void TestNetnsCaptureNetfilter::stopAndKillLeaveTheNetworkWorking()
{
    const int game = udpSocket(kHere, 0);
    QVERIFY(game >= 0);
    Datagram answer;

    QString why;
    QVERIFY2(startEngine(&why), qPrintable(why));
    QVERIFY(ourRules().contains("NFQUEUE"));
    QCOMPARE(stopEngine(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(logged("[INFO] Stop requested"), kAnswerMs);
    QCOMPARE(ourRules(), QString());
    QVERIFY(exchange(game, kServer, kPlainUdpPort, "after-stop", &answer));
    QCOMPARE(answer.payload, QByteArray("pong:after-stop"));

    // A killed engine leaves its chains, but nothing listens on the queue:
    // packets pass.
    QVERIFY2(startEngine(&why), qPrintable(why));
    m_engine.process.kill();
    QVERIFY(m_engine.process.waitForFinished(kToolMs));
    QVERIFY(ourRules().contains("NFQUEUE"));
    QVERIFY(exchange(game, kServer, kPlainUdpPort, "after-kill", &answer));
    QCOMPARE(answer.payload, QByteArray("pong:after-kill"));
    QVERIFY(exchange(game, kServer, kGameUdpPort, "game-after-kill", &answer));
    QCOMPARE(answer.payload, QByteArray("pong:game-after-kill"));

    // The next open clears them: one jump each, then nothing after the close.
    int err = -1;
    const quorlix_capture_handle h = openReal(engineFilter(), &err);
    QCOMPARE(err, 0);
    const QString rules = ourRules();
    QCOMPARE(rules.count("-j QUORLIX_OUT"), 1);
    QCOMPARE(rules.count("-j QUORLIX_IN"), 1);
    quorlix_capture_close(h);
    QCOMPARE(ourRules(), QString());
    QVERIFY(exchange(game, kServer, kPlainUdpPort, "after-reopen", &answer));
    close(game);
}

void TestNetnsCaptureNetfilter::twoEnginesSideBySide()
{
    // Two clients on one machine (two users, or one started twice), each
    // with a game of its own. Each carries its own game while both run;
    // stopping either one leaves the other's capture in place; stopping both
    // leaves nothing behind.
    const int game = udpSocket(kHere, 0);
    QVERIFY(game >= 0);
    const auto viaRelay = [&](uint16_t port, const QByteArray &tag) {
        const uint64_t before = m_relay->stats().accepted;
        Datagram answer;
        return exchange(game, kServer, port, tag, &answer) && answer.payload == "pong:" + tag &&
               m_relay->stats().accepted > before;
    };
    const QStringList firstGame{QString::number(kGameUdpPort)}, secondGame{QString::number(kPlainUdpPort)};
    EngineHost first, second;
    QString why;
    QVERIFY2(first.start(&why, firstGame), qPrintable(why));
    QVERIFY2(second.start(&why, secondGame), qPrintable(why));
    QVERIFY2(viaRelay(kGameUdpPort, "first, both running"), first.log());
    QVERIFY2(viaRelay(kPlainUdpPort, "second, both running"), second.log());

    // The newer one stops first.
    QCOMPARE(second.stop(), 0);
    QVERIFY2(viaRelay(kGameUdpPort, "first, alone"), first.log());
    // Then the older one, while a newer one runs.
    QVERIFY2(second.start(&why, secondGame), qPrintable(why));
    QCOMPARE(first.stop(), 0);
    QVERIFY2(viaRelay(kPlainUdpPort, "second, alone"), second.log());
    QCOMPARE(second.stop(), 0);
    QCOMPARE(ourRules(), QString());
    Datagram answer;
    QVERIFY(exchange(game, kServer, kPlainUdpPort, "after both", &answer));
    close(game);
}

void TestNetnsCaptureNetfilter::anOverflowIsCountedAndShown()
{
    // Many senders at once fill the queue faster than the engine reads it.
    // The kernel then lets game packets past, untunneled (rather than cut the
    // network): they must be counted, reach the engine's statistics, and be
    // told in one line when it starts and one when it stops.
    const QString counter =
        QString("INPUT -p udp -s %1 -d %2 --dport %3").arg(kHere).arg(kServer).arg(kFloodPort);
    int sink = -1;
    QVERIFY(m_peer.inside([&] {
        sink = udpSocket(kServer, kFloodPort); // never read: the kernel counts what arrives
        return sink >= 0 && sh("iptables -w -I " + counter.toStdString());
    }));
    QString why;
    QVERIFY2(m_engine.start(&why, {QString::number(kFloodPort)}), qPrintable(why));

    // Each sender may have as much queued as its send buffer holds: large
    // ones, so that together they outrun the queue's socket.
    struct Flood
    {
        std::atomic<bool> stop{false};
        std::vector<std::thread> senders;
        void end()
        {
            stop.store(true);
            for (std::thread &t : senders)
                t.join();
            senders.clear();
        }
        ~Flood() { end(); }
    } flood;
    for (int i = 0; i < 20; ++i) {
        flood.senders.emplace_back([&flood] {
            const int fd = udpSocket(kHere, 0);
            const int big = 16 << 20;
            setsockopt(fd, SOL_SOCKET, SO_SNDBUFFORCE, &big, sizeof big);
            sockaddr_in dst = endpoint(kServer, kFloodPort);
            const char payload[64] = {};
            const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kAnswerMs);
            while (!flood.stop.load() && std::chrono::steady_clock::now() < until)
                sendto(fd, payload, sizeof payload, MSG_DONTWAIT, reinterpret_cast<sockaddr *>(&dst),
                       sizeof dst);
            close(fd);
        });
    }
    QTRY_VERIFY_WITH_TIMEOUT(logged("[CAPTURE] The capture queue is full"), kAnswerMs);
    flood.end();
    QTRY_VERIFY_WITH_TIMEOUT(logged("[CAPTURE] The capture queue keeps up again"), kAnswerMs);
    QCOMPARE(stopEngine(), 0);
    QVERIFY(logged("[HOST] capture bypassed"));

    std::string counted;
    m_peer.inside([&] {
        sh("iptables -w -L INPUT -v -x -n | grep 'dpt:" + std::to_string(kFloodPort) + "'", &counted);
        sh("iptables -w -D " + counter.toStdString());
        close(sink);
    });
    const QByteArray log(m_engine.log());
    const auto numberAfter = [&](const char *text) {
        const int at = log.indexOf(text);
        return at < 0 ? -1 : log.mid(at + int(strlen(text))).split(' ').value(0).trimmed().toLongLong();
    };
    const long long shown = numberAfter("keeps up again: ");
    const long long stats = numberAfter("[HOST] capture bypassed ");
    const long long arrived = QString::fromStdString(counted).simplified().split(' ').value(0).toLongLong();
    qInfo("went around: %lld arrived at the server directly, %lld in the engine's statistics, %lld in the "
          "first episode's line",
          arrived, stats, shown);
    QVERIFY2(shown > 0 && stats >= shown, log.constData());
    QCOMPARE(stats, arrived);
    QCOMPARE(log.count("[CAPTURE] The capture queue is full"),
             log.count("[CAPTURE] The capture queue keeps up"));
}

void TestNetnsCaptureNetfilter::withoutCapabilitiesNothingIsInstalled()
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QUORLIX_CAPTURE", "netfilter");
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start("capsh", {"--drop=cap_net_admin,cap_net_raw", "--", "-c", "exec \"$0\" --engine-host",
                      QCoreApplication::applicationFilePath()});
    QVERIFY(p.waitForFinished(kToolMs));
    const QByteArray out = p.readAll();
    QCOMPARE(p.exitCode(), 1);
    QVERIFY2(out.contains("Open failed (5)\n"), out.constData());
    QVERIFY2(out.contains("cap_net_admin and cap_net_raw"), out.constData());
    QCOMPARE(ourRules(), QString());
}

void TestNetnsCaptureNetfilter::withoutIptablesOpenFailsWithTwo()
{
    // A machine without the iptables tools: the engine runs in a mount
    // namespace of its own where the tools' binary is covered up.
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QUORLIX_CAPTURE", "netfilter");
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start("unshare", {"-m", "sh", "-c",
                        "mount --bind /dev/null \"$(readlink -f /usr/sbin/iptables-restore)\" && exec \"$0\" "
                        "--engine-host",
                        QCoreApplication::applicationFilePath()});
    QVERIFY(p.waitForFinished(kToolMs));
    const QByteArray out = p.readAll();
    QCOMPARE(p.exitCode(), 1);
    QVERIFY2(out.contains("Open failed (2)\n"), out.constData());
    QVERIFY2(out.contains("iptables-restore was not found"), out.constData());
    QCOMPARE(ourRules(), QString());
}

void TestNetnsCaptureNetfilter::anOrdinaryUserWithTheFileCapabilitiesCaptures()
{
    // As tools/run.sh sets the client up: the binary carries the two
    // capabilities, the user is nobody in particular. The iptables tools the
    // capture starts must get them too.
    QByteArray dirTemplate = (reachableTempFolder() + "/quorlix-caps.XXXXXX").toLocal8Bit();
    QVERIFY(mkdtemp(dirTemplate.data()));
    const QString dir = QString::fromLocal8Bit(dirTemplate);
    const QString copy = dir + "/engine-host";
    QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), copy));
    chmod(dirTemplate.constData(), 0755);
    chmod(copy.toLocal8Bit().constData(), 0755);
    std::string out;
    if (!sh("setcap cap_net_admin,cap_net_raw+ep '" + copy.toStdString() + "'", &out)) {
        sh("rm -rf '" + dir.toStdString() + "'");
        QSKIP(qPrintable("setcap does not work here: " + QString::fromStdString(out)));
    }
    QString why;
    const bool started = startEngine(
        &why, "setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups", "--inh-caps=-all", "--", copy});
    const int game = udpSocket(kHere, 0);
    Datagram answer;
    const bool carried = started && exchange(game, kServer, kGameUdpPort, "as-nobody", &answer);
    close(game);
    const int result = started ? stopEngine() : -1;
    sh("rm -rf '" + dir.toStdString() + "'");
    QVERIFY2(started, qPrintable(why));
    QVERIFY2(carried, m_engine.log());
    QCOMPARE(answer.payload, QByteArray("pong:as-nobody"));
    QCOMPARE(result, 0);
    QCOMPARE(ourRules(), QString());
}

void TestNetnsCaptureNetfilter::badInputIsRefusedAndLeavesNoRule_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<int>("error");
    QTest::newRow("names no relay") << "outbound and ip" << int(QUORLIX_CAPTURE_ERR_FILTER_SYNTAX);
    QTest::newRow("relay not IPv4")
        << "(outbound and ip and ip.DstAddr != 2001:db8::1) or (inbound and udp.SrcPort == 50000)"
        << int(QUORLIX_CAPTURE_ERR_FILTER_SYNTAX);
    QTest::newRow("empty") << "" << int(QUORLIX_CAPTURE_ERR_FILTER_SYNTAX);
}

void TestNetnsCaptureNetfilter::badInputIsRefusedAndLeavesNoRule()
{
    QFETCH(QString, filter);
    QFETCH(int, error);
    int err = 0;
    const quorlix_capture_handle h = openReal(filter, &err);
    QCOMPARE(h, QUORLIX_CAPTURE_INVALID);
    QCOMPARE(err, error);
    QCOMPARE(ourRules(), QString());
}

void TestNetnsCaptureNetfilter::aTakenQueueNumberIsSkipped()
{
    // Another program holds the first queue number.
    nfq_handle *other = nfq_open();
    QVERIFY(other);
    nfq_q_handle *taken = nfq_create_queue(
        other, QUORLIX_CAPTURE_NF_QUEUE_FIRST,
        [](nfq_q_handle *, nfgenmsg *, nfq_data *, void *) { return 0; }, nullptr);
    QVERIFY(taken);
    int err = -1;
    const quorlix_capture_handle h = openReal(QString("outbound and ip.DstAddr != %1").arg(kRelay), &err);
    QCOMPARE(err, 0);
    QVERIFY2(ourRules().contains(QString("--queue-num %1").arg(QUORLIX_CAPTURE_NF_QUEUE_FIRST + 1)),
             qPrintable(ourRules()));
    quorlix_capture_close(h);
    nfq_destroy_queue(taken);
    nfq_close(other);
    QCOMPARE(ourRules(), QString());
}

void TestNetnsCaptureNetfilter::aPacketLongerThanTheBufferIsDropped()
{
    int err = -1;
    const quorlix_capture_handle h = openReal(
        QString("outbound and udp.DstPort == %1 and ip.DstAddr != %2").arg(kPlainUdpPort).arg(kRelay), &err);
    QCOMPARE(err, 0);
    const int fd = udpSocket(kHere, 0);
    sockaddr_in dst = endpoint(kServer, kPlainUdpPort);
    const QByteArray big(500, 'b'), small("s");
    sendto(fd, big.constData(), size_t(big.size()), 0, reinterpret_cast<sockaddr *>(&dst), sizeof dst);
    sendto(fd, small.constData(), size_t(small.size()), 0, reinterpret_cast<sockaddr *>(&dst), sizeof dst);
    uint8_t buf[200];
    size_t len = 0;
    quorlix_capture_addr addr{};
    QCOMPARE(quorlix_capture_recv(h, buf, sizeof buf, &len, &addr),
             int(QUORLIX_CAPTURE_ERR_BUFFER_TOO_SMALL));
    QCOMPARE(quorlix_capture_recv(h, buf, sizeof buf, &len, &addr), int(QUORLIX_CAPTURE_OK));
    QCOMPARE(len, size_t(20 + 8 + 1));
    QCOMPARE(int(addr.outbound), 1);
    // Sent back as it came: the server answers only the small one.
    QCOMPARE(quorlix_capture_send(h, buf, len, &addr), int(QUORLIX_CAPTURE_OK));
    char reply[600];
    QCOMPARE(recv(fd, reply, sizeof reply, 0), ssize_t(6));
    // Nothing more comes: the big one never left.
    setReceiveTimeout(fd, 300);
    QCOMPARE(recv(fd, reply, sizeof reply, 0), ssize_t(-1));

    // A close from another thread wakes a waiting receive. The close comes
    // once the receive waits: one that came first would make it a receive on
    // a closed handle, which is another case.
    const pid_t receiver = pid_t(syscall(SYS_gettid));
    std::atomic<bool> sawWait{false};
    std::thread closer([h, receiver, &sawWait] {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kAnswerMs);
        while (!blockedInPoll(receiver) && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        sawWait = blockedInPoll(receiver);
        quorlix_capture_close(h);
    });
    QCOMPARE(quorlix_capture_recv(h, buf, sizeof buf, &len, &addr), int(QUORLIX_CAPTURE_ERR_CLOSED));
    closer.join();
    QVERIFY(sawWait);
    close(fd);
    QCOMPARE(ourRules(), QString());
}

void TestNetnsCaptureNetfilter::relayDatagramsAreTakenFromTheOwnersSocket()
{
    // The owner's socket to its relay: what the relay sends there is handed
    // over as the captured packet it arrived as, without a trip through the
    // queue (no inbound rule), and only what the filter admits.
    const int own = udpSocket(kHere, 0);
    QVERIFY(own >= 0);
    sockaddr_in bound{};
    socklen_t bl = sizeof bound;
    getsockname(own, reinterpret_cast<sockaddr *>(&bound), &bl);
    const uint16_t ownPort = ntohs(bound.sin_port);
    int err = -1;
    const quorlix_capture_handle h = openReal(engineFilter(), &err, own);
    QCOMPARE(err, 0);
    close(own); // the handle keeps its own reference
    QVERIFY2(
        !ourRules().contains("QUORLIX_IN_" + QString::number(QUORLIX_CAPTURE_NF_QUEUE_FIRST) + " -p udp"),
        qPrintable(ourRules()));

    // From a stranger first, then from the relay.
    const int stranger = m_peer.inside([] { return udpSocket(kServer, 0); });
    sockaddr_in to = endpoint(kHere, ownPort);
    QCOMPARE(sendto(stranger, "nobody", 6, 0, reinterpret_cast<sockaddr *>(&to), sizeof to), ssize_t(6));
    uint32_t here = 0;
    inet_pton(AF_INET, kHere, &here);
    QVERIFY(m_relay->sendRaw(here, ownPort, {'r', 'e', 'l', 'a', 'y'}));

    uint8_t buf[2048];
    size_t len = 0;
    quorlix_capture_addr addr{};
    QCOMPARE(quorlix_capture_recv(h, buf, sizeof buf, &len, &addr), int(QUORLIX_CAPTURE_OK));
    QCOMPARE(len, size_t(20 + 8 + 5));
    QCOMPARE(int(addr.outbound), 0);
    quorlix_packet_view v;
    QVERIFY(quorlix_packet_parse(buf, len, &v) && v.udp);
    char src[16], dst[16];
    inet_ntop(AF_INET, buf + 12, src, sizeof src);
    inet_ntop(AF_INET, buf + 16, dst, sizeof dst);
    QCOMPARE(QString(src), QString(kRelay));
    QCOMPARE(QString(dst), QString(kHere));
    QCOMPARE(int(v.udp[0] << 8 | v.udp[1]), 50000);
    QCOMPARE(int(v.udp[2] << 8 | v.udp[3]), int(ownPort));
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(v.payload), int(v.payload_len)), QByteArray("relay"));
    QVERIFY(quorlix_packet_checksums_ok(buf, len));

    // Sent back unchanged it goes on to the socket, where it ends: it does
    // not come round again. Nothing else is waiting either (the stranger's
    // datagram was never the filter's); a close ends the wait.
    QCOMPARE(quorlix_capture_send(h, buf, len, &addr), int(QUORLIX_CAPTURE_OK));
    std::thread closer([h] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        quorlix_capture_close(h);
    });
    QCOMPARE(quorlix_capture_recv(h, buf, sizeof buf, &len, &addr), int(QUORLIX_CAPTURE_ERR_CLOSED));
    closer.join();
    close(stranger);
    QCOMPARE(ourRules(), QString());
}

int main(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--engine-host") == 0)
            return engineHost(argc - i - 1, argv + i + 1);
    }
    QCoreApplication app(argc, argv);
    TestNetnsCaptureNetfilter test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_netns_capture_netfilter.moc"
