// The engine's UDP socket that carries the datagrams to the relays: how it is
// set up, and that closing it from another thread never races a send.

#include "engine/common/engine_socket.h"

#include <QtTest>
#include <arpa/inet.h>
#include <atomic>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

// Replacement calls that notice any send on a descriptor already closed.
struct FakeNet
{
    std::atomic<int> opened{0};
    std::atomic<bool> closed{false};
    std::atomic<int> sends{0};
    std::atomic<int> sendsAfterClose{0};
    int failOpen = 0;
    int failSend = 0;
};

int fakeOpen(void *ctx, int *err)
{
    FakeNet *n = static_cast<FakeNet *>(ctx);
    if (n->failOpen) {
        *err = n->failOpen;
        return -1;
    }
    n->closed = false;
    ++n->opened;
    return 1000;
}

long fakeSend(void *ctx, int, const void *, size_t len, uint32_t, uint16_t, int *err)
{
    FakeNet *n = static_cast<FakeNet *>(ctx);
    if (n->closed)
        ++n->sendsAfterClose;
    ++n->sends;
    if (n->failSend) {
        *err = n->failSend;
        return -1;
    }
    return long(len);
}

void fakeClose(void *ctx, int)
{
    static_cast<FakeNet *>(ctx)->closed = true;
}

const QuorlixSocketOps kFakeOps = {fakeOpen, fakeSend, fakeClose};

} // namespace

class TestProtoSocket : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { quorlix_socket_set_ops(nullptr, nullptr); }

    void realSocketSetUp()
    {
        QuorlixEngineSocket s;
        int err = -1;
        QVERIFY(quorlix_socket_open(&s, &err));
        QCOMPARE(err, 0);
        int fd = s.fd.load();
        QVERIFY(fcntl(fd, F_GETFL) & O_NONBLOCK);
        int mode = -1;
        socklen_t len = sizeof mode;
        QCOMPARE(getsockopt(fd, IPPROTO_IP, IP_MTU_DISCOVER, &mode, &len), 0);
        QCOMPARE(mode, int(IP_PMTUDISC_DONT)); // fragment rather than fail with EMSGSIZE
        sockaddr_in local{};
        len = sizeof local;
        QCOMPARE(getsockname(fd, reinterpret_cast<sockaddr *>(&local), &len), 0);
        QCOMPARE(int(local.sin_port), 0); // unbound until the first send
        quorlix_socket_close(&s);
        QVERIFY(!quorlix_socket_is_open(&s));
    }

    void sendsToLoopbackReceiver()
    {
        int rx = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        QCOMPARE(bind(rx, reinterpret_cast<sockaddr *>(&at), sizeof at), 0);
        socklen_t alen = sizeof at;
        getsockname(rx, reinterpret_cast<sockaddr *>(&at), &alen);
        timeval tv{2, 0};
        setsockopt(rx, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);

        QuorlixEngineSocket s;
        QVERIFY(quorlix_socket_open(&s, nullptr));
        const QByteArray big(3000, 'd'); // larger than any path MTU the engine assumes
        int err = 0;
        QCOMPARE(quorlix_socket_send_to(&s, big.constData(), size_t(big.size()), inet_addr("127.0.0.1"),
                                        ntohs(at.sin_port), &err),
                 long(big.size()));
        QByteArray got(4000, '\0');
        sockaddr_in from{};
        socklen_t flen = sizeof from;
        ssize_t n =
            recvfrom(rx, got.data(), size_t(got.size()), 0, reinterpret_cast<sockaddr *>(&from), &flen);
        QCOMPARE(n, ssize_t(big.size()));
        QCOMPARE(got.left(int(n)), big);
        QVERIFY(from.sin_port != 0); // the send bound an ephemeral port
        quorlix_socket_close(&s);
        close(rx);
    }

    void closedSocketRefusesSends()
    {
        QuorlixEngineSocket s;
        int err = 0;
        QCOMPARE(quorlix_socket_send_to(&s, "x", 1, inet_addr("127.0.0.1"), 9, &err), -1L);
        QCOMPARE(err, EBADF);
        QVERIFY(quorlix_socket_open(&s, nullptr));
        quorlix_socket_close(&s);
        quorlix_socket_close(&s); // idempotent
        err = 0;
        QCOMPARE(quorlix_socket_send_to(&s, "x", 1, inet_addr("127.0.0.1"), 9, &err), -1L);
        QCOMPARE(err, EBADF);
    }

    void failuresCarryTheirError()
    {
        FakeNet net;
        quorlix_socket_set_ops(&kFakeOps, &net);
        QuorlixEngineSocket s;
        net.failOpen = EMFILE;
        int err = 0;
        QVERIFY(!quorlix_socket_open(&s, &err));
        QCOMPARE(err, EMFILE);
        QVERIFY(!quorlix_socket_is_open(&s));
        net.failOpen = 0;
        QVERIFY(quorlix_socket_open(&s, &err));
        net.failSend = EAGAIN; // full send buffer of the non-blocking socket
        QCOMPARE(quorlix_socket_send_to(&s, "abc", 3, 1, 2, &err), -1L);
        QCOMPARE(err, EAGAIN);
        quorlix_socket_close(&s);
    }

    void closeFromAnotherThreadNeverRacesASend()
    {
        FakeNet net;
        quorlix_socket_set_ops(&kFakeOps, &net);
        for (int round = 0; round < 300; ++round) {
            QuorlixEngineSocket s;
            QVERIFY(quorlix_socket_open(&s, nullptr));
            std::atomic<bool> go{false};
            std::thread sender([&] {
                go = true;
                int err;
                while (quorlix_socket_send_to(&s, "k", 1, 1, 2, &err) > 0) {
                }
            });
            while (!go)
                std::this_thread::yield();
            std::thread stopper([&] { quorlix_socket_close(&s); });
            std::thread stopper2([&] { quorlix_socket_close(&s); });
            stopper.join();
            stopper2.join();
            sender.join();
        }
        QCOMPARE(net.sendsAfterClose.load(), 0);
        QVERIFY(net.sends.load() > 0);
    }
};

QTEST_GUILESS_MAIN(TestProtoSocket)
#include "tst_proto_socket.moc"
