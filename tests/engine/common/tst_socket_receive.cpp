// The engines' UDP socket on the receiving side: binding, datagrams handed over
// whole or not at all, the timed wait, and a stop that wakes a waiting receive.

#include "engine/common/engine_socket.h"

#include <QtTest>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <errno.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

// The port the engine socket was bound to (host order).
uint16_t boundPort(const QuorlixEngineSocket &s)
{
    sockaddr_in at{};
    socklen_t len = sizeof at;
    if (getsockname(s.fd.load(), reinterpret_cast<sockaddr *>(&at), &len) != 0)
        return 0;
    return ntohs(at.sin_port);
}

// A plain loopback sender; its own port tells the sender address apart.
struct Sender
{
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    uint16_t port = 0;
    Sender()
    {
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd, reinterpret_cast<sockaddr *>(&at), sizeof at);
        socklen_t len = sizeof at;
        getsockname(fd, reinterpret_cast<sockaddr *>(&at), &len);
        port = ntohs(at.sin_port);
    }
    ~Sender() { close(fd); }
    bool send(const QByteArray &data, uint16_t to)
    {
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        at.sin_port = htons(to);
        return sendto(fd, data.constData(), size_t(data.size()), 0, reinterpret_cast<sockaddr *>(&at),
                      sizeof at) == data.size();
    }
};

// Replacement calls where each receiving call can be made to fail.
struct FakeRx
{
    int failBind = 0;
    int failWait = 0;
    int failRecv = 0;
    int waitResult = 1;
    long datagramLen = 5;
    int closes = 0;
};

int fakeOpen(void *, int *)
{
    return 1000;
}
long fakeSend(void *, int, const void *, size_t len, uint32_t, uint16_t, int *)
{
    return long(len);
}
void fakeClose(void *ctx, int)
{
    ++static_cast<FakeRx *>(ctx)->closes;
}
int fakeBind(void *ctx, int, uint32_t, uint16_t, int *err)
{
    FakeRx *f = static_cast<FakeRx *>(ctx);
    if (f->failBind) {
        *err = f->failBind;
        return -1;
    }
    return 0;
}
int fakeWait(void *ctx, int, int, int, int *err)
{
    FakeRx *f = static_cast<FakeRx *>(ctx);
    if (f->failWait) {
        *err = f->failWait;
        return -1;
    }
    return f->waitResult;
}
long fakeRecv(void *ctx, int, void *buf, size_t cap, uint32_t *addr, uint16_t *port, int *err)
{
    FakeRx *f = static_cast<FakeRx *>(ctx);
    if (f->failRecv) {
        *err = f->failRecv;
        return -1;
    }
    memset(buf, 'r', qMin(cap, size_t(f->datagramLen)));
    *addr = inet_addr("127.0.0.9");
    *port = 4242;
    return f->datagramLen;
}
const QuorlixSocketOps kFakeOps = {fakeOpen, fakeSend, fakeClose, fakeBind, fakeWait, fakeRecv};

// Whether a thread of this process is asleep in the kernel. A thread that does
// nothing but a receive without a time limit sleeps only in the receive's wait.
bool threadSleeps(pid_t tid)
{
    QFile stat(QStringLiteral("/proc/self/task/%1/stat").arg(tid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = stat.readAll();
    // "tid (name) state ...": the name may hold spaces and brackets.
    const qsizetype end = text.lastIndexOf(')');
    return end > 0 && text.mid(end + 2, 1) == "S";
}

long receive(QuorlixEngineSocket &s, QByteArray &buf, int timeoutMs, int *err, uint32_t *addr = nullptr,
             uint16_t *port = nullptr)
{
    return quorlix_socket_recv_from(&s, buf.data(), size_t(buf.size()), timeoutMs, addr, port, err);
}

} // namespace

class TestSocketReceive : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { quorlix_socket_set_ops(nullptr, nullptr); }

    void datagramsArriveWholeOrNotAtAll_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("cap");
        QTest::newRow("empty datagram") << 0 << 64;
        QTest::newRow("one byte under the buffer") << 63 << 64;
        QTest::newRow("fills the buffer exactly") << 64 << 64;
        QTest::newRow("one byte over") << 65 << 64;
        QTest::newRow("far over") << 3000 << 2064;
    }
    void datagramsArriveWholeOrNotAtAll()
    {
        QFETCH(int, size);
        QFETCH(int, cap);
        QuorlixEngineSocket s;
        int err = -1;
        QVERIFY(quorlix_socket_open(&s, &err));
        QVERIFY(quorlix_socket_bind(&s, inet_addr("127.0.0.1"), 0, &err));
        QCOMPARE(err, 0);
        const uint16_t port = boundPort(s);
        QVERIFY(port != 0);

        Sender tx;
        const QByteArray data(size, 'd');
        const QByteArray next("next");
        QVERIFY(tx.send(data, port));
        QVERIFY(tx.send(next, port));

        QByteArray buf(cap, '\0');
        uint32_t from = 0;
        uint16_t fromPort = 0;
        long n = receive(s, buf, 2000, &err, &from, &fromPort);
        if (size <= cap) {
            QCOMPARE(n, long(size));
            QCOMPARE(buf.left(size), data);
            QCOMPARE(from, inet_addr("127.0.0.1"));
            QCOMPARE(fromPort, tx.port);
        } else {
            QCOMPARE(n, -1L);
            QCOMPARE(err, EMSGSIZE);
        }
        // A datagram too long for the buffer is consumed: the next one is intact.
        n = receive(s, buf, 2000, &err);
        QCOMPARE(n, long(next.size()));
        QCOMPARE(buf.left(int(n)), next);
        quorlix_socket_close(&s);
    }

    void nothingArrivedIsATimeout()
    {
        QuorlixEngineSocket s;
        QVERIFY(quorlix_socket_open(&s, nullptr));
        QVERIFY(quorlix_socket_bind(&s, inet_addr("127.0.0.1"), 0, nullptr));
        QByteArray buf(16, '\0');
        int err = 0;
        QCOMPARE(receive(s, buf, 0, &err), -1L);
        QCOMPARE(err, ETIMEDOUT);
        QCOMPARE(receive(s, buf, 20, &err), -1L);
        QCOMPARE(err, ETIMEDOUT);
        quorlix_socket_close(&s);
    }

    void bindingATakenPortFails()
    {
        QuorlixEngineSocket a, b;
        int err = 0;
        QVERIFY(quorlix_socket_open(&a, nullptr));
        QVERIFY(quorlix_socket_bind(&a, inet_addr("127.0.0.1"), 0, &err));
        QVERIFY(quorlix_socket_open(&b, nullptr));
        QVERIFY(!quorlix_socket_bind(&b, inet_addr("127.0.0.1"), boundPort(a), &err));
        QCOMPARE(err, EADDRINUSE);
        quorlix_socket_close(&a);
        quorlix_socket_close(&b);
    }

    void closedSocketRefusesEveryCall()
    {
        QuorlixEngineSocket s;
        QByteArray buf(16, '\0');
        int err = 0;
        QVERIFY(!quorlix_socket_bind(&s, 0, 0, &err));
        QCOMPARE(err, EBADF);
        err = 0;
        QCOMPARE(receive(s, buf, 0, &err), -1L);
        QCOMPARE(err, EBADF);
        quorlix_socket_wake(&s); // nothing to wake, nothing to break
        QVERIFY(quorlix_socket_open(&s, nullptr));
        quorlix_socket_close(&s);
        err = 0;
        QCOMPARE(receive(s, buf, 0, &err), -1L);
        QCOMPARE(err, EBADF);
    }

    // A receive waiting without a time limit returns at once when the engine
    // stops, whether the stop wakes it or closes the socket under it.
    void stopWakesAWaitingReceive_data()
    {
        QTest::addColumn<bool>("byClose");
        QTest::newRow("wake") << false;
        QTest::newRow("close") << true;
    }
    void stopWakesAWaitingReceive()
    {
        QFETCH(bool, byClose);
        QuorlixEngineSocket s;
        QVERIFY(quorlix_socket_open(&s, nullptr));
        QVERIFY(quorlix_socket_bind(&s, inet_addr("127.0.0.1"), 0, nullptr));
        std::atomic<long> result{0};
        std::atomic<int> error{0};
        std::atomic<pid_t> rxThread{0};
        std::thread rx([&] {
            QByteArray buf(64, '\0');
            int err = 0;
            rxThread = gettid();
            result = receive(s, buf, -1, &err);
            error = err;
        });
        while (!rxThread)
            std::this_thread::yield();
        // Stopping before the receive waits would test another case (a closed
        // socket answers EBADF): on a busy machine that can take a while.
        QDeadlineTimer waiting(20000);
        while (!threadSleeps(rxThread) && !waiting.hasExpired())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (byClose)
            quorlix_socket_close(&s);
        else
            quorlix_socket_wake(&s);
        rx.join();
        QCOMPARE(result.load(), -1L);
        QCOMPARE(error.load(), EINTR);
        if (!byClose) {
            // The wake stays: a stopping engine's next receive does not wait either.
            QByteArray buf(64, '\0');
            int err = 0;
            QCOMPARE(receive(s, buf, -1, &err), -1L);
            QCOMPARE(err, EINTR);
            quorlix_socket_close(&s);
        }
        // A socket opened again starts unwoken.
        QVERIFY(quorlix_socket_open(&s, nullptr));
        QVERIFY(quorlix_socket_bind(&s, inet_addr("127.0.0.1"), 0, nullptr));
        QByteArray buf(64, '\0');
        int err = 0;
        QCOMPARE(receive(s, buf, 0, &err), -1L);
        QCOMPARE(err, ETIMEDOUT);
        quorlix_socket_close(&s);
    }

    void closeAndWakeRacingAReceiveNeverLeakOrHang()
    {
        for (int round = 0; round < 200; ++round) {
            QuorlixEngineSocket s;
            QVERIFY(quorlix_socket_open(&s, nullptr));
            QVERIFY(quorlix_socket_bind(&s, inet_addr("127.0.0.1"), 0, nullptr));
            std::thread rx([&] {
                QByteArray buf(64, '\0');
                int err = 0;
                while (receive(s, buf, -1, &err) >= 0 || err != EBADF) {
                }
            });
            std::thread waker([&] { quorlix_socket_wake(&s); });
            std::thread stopper([&] { quorlix_socket_close(&s); });
            waker.join();
            stopper.join();
            rx.join();
            QCOMPARE(s.wake.load(), -1);
            QVERIFY(!quorlix_socket_is_open(&s));
        }
    }

    // Every call on the receiving side reports its own failure.
    void failuresCarryTheirError_data()
    {
        QTest::addColumn<int>("failBind");
        QTest::addColumn<int>("failWait");
        QTest::addColumn<int>("failRecv");
        QTest::addColumn<long>("datagramLen");
        QTest::addColumn<int>("expected");
        QTest::newRow("bind") << int(EACCES) << 0 << 0 << 5L << int(EACCES);
        QTest::newRow("wait") << 0 << int(ENOMEM) << 0 << 5L << int(ENOMEM);
        QTest::newRow("receive") << 0 << 0 << int(ECONNREFUSED) << 5L << int(ECONNREFUSED);
        QTest::newRow("receive cut short") << 0 << 0 << 0 << 17L << int(EMSGSIZE);
        QTest::newRow("none") << 0 << 0 << 0 << 16L << 0;
    }
    void failuresCarryTheirError()
    {
        QFETCH(int, failBind);
        QFETCH(int, failWait);
        QFETCH(int, failRecv);
        QFETCH(long, datagramLen);
        QFETCH(int, expected);
        FakeRx fake;
        fake.failBind = failBind;
        fake.failWait = failWait;
        fake.failRecv = failRecv;
        fake.datagramLen = datagramLen;
        quorlix_socket_set_ops(&kFakeOps, &fake);
        QuorlixEngineSocket s;
        int err = -1;
        QVERIFY(quorlix_socket_open(&s, &err));
        const bool bound = quorlix_socket_bind(&s, 0, 0, &err);
        QCOMPARE(bound, failBind == 0);
        if (!bound) {
            QCOMPARE(err, expected);
        } else {
            QByteArray buf(16, '\0');
            uint32_t from = 0;
            uint16_t port = 0;
            err = 0;
            long n = receive(s, buf, 10, &err, &from, &port);
            if (expected) {
                QCOMPARE(n, -1L);
                QCOMPARE(err, expected);
                QCOMPARE(from, 0u); // nothing of a failed receive is handed over
            } else {
                QCOMPARE(n, datagramLen);
                QCOMPARE(from, inet_addr("127.0.0.9"));
                QCOMPARE(port, uint16_t(4242));
            }
        }
        quorlix_socket_close(&s);
        QCOMPARE(fake.closes, 1);
    }

    void waitRunningOutIsATimeout()
    {
        FakeRx fake;
        fake.waitResult = 0;
        quorlix_socket_set_ops(&kFakeOps, &fake);
        QuorlixEngineSocket s;
        QVERIFY(quorlix_socket_open(&s, nullptr));
        QByteArray buf(16, '\0');
        int err = 0;
        QCOMPARE(receive(s, buf, 10, &err), -1L);
        QCOMPARE(err, ETIMEDOUT);
        quorlix_socket_close(&s);
    }
};

QTEST_GUILESS_MAIN(TestSocketReceive)
#include "tst_socket_receive.moc"
