// Capture handles over the simulated network: what gets captured, where sent
// packets go, and that closing from another thread is safe and prompt.

#include "PacketBuilder.h"
#include "platform/capture/capture.h"
#include "platform/capture/capture_sim.h"

#include <QtTest>
#include <atomic>
#include <thread>
#include <vector>

using namespace testpkt;

namespace {

const char *kEngineLike = "((outbound and ip and ip.DstAddr != 192.0.2.1) or "
                          "(inbound and udp.SrcPort == 50000 and (ip.SrcAddr == 192.0.2.1)))";

struct Handle
{
    quorlix_capture_handle h = QUORLIX_CAPTURE_INVALID;
    explicit Handle(const char *filter)
    {
        int err = -1;
        h = quorlix_capture_open(filter, &err);
    }
    ~Handle() { quorlix_capture_close(h); }
};

QByteArray takeSink(int sink, uint32_t *ifIndex = nullptr, uint32_t timeoutMs = 0)
{
    QByteArray buf(QUORLIX_CAPTURE_MAX_PACKET, '\0');
    size_t len = 0;
    if (quorlix_capsim_take(sink, buf.data(), size_t(buf.size()), &len, ifIndex, timeoutMs) != 1)
        return QByteArray();
    return buf.left(int(len));
}

QByteArray recvOne(quorlix_capture_handle h, quorlix_capture_addr *addr, int *rc = nullptr)
{
    QByteArray buf(QUORLIX_CAPTURE_MAX_PACKET, '\0');
    size_t len = 0;
    int r = quorlix_capture_recv(h, buf.data(), size_t(buf.size()), &len, addr);
    if (rc)
        *rc = r;
    return r == QUORLIX_CAPTURE_OK ? buf.left(int(len)) : QByteArray();
}

} // namespace

class TestCapture : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        quorlix_capsim_reset();
        QCOMPARE(quorlix_capsim_open_handles(), size_t(0)); // every test closes what it opens
    }

    void openErrors()
    {
        int err = 0;
        QCOMPARE(quorlix_capture_open("outbound and", &err), QUORLIX_CAPTURE_INVALID);
        QCOMPARE(err, int(QUORLIX_CAPTURE_ERR_FILTER_SYNTAX));
        QCOMPARE(err, 87);
        QCOMPARE(quorlix_capture_open(nullptr, &err), QUORLIX_CAPTURE_INVALID);
        QCOMPARE(err, 87);

        quorlix_capsim_fail_next_open(QUORLIX_CAPTURE_ERR_UNAVAILABLE);
        QCOMPARE(quorlix_capture_open("ip", &err), QUORLIX_CAPTURE_INVALID);
        QCOMPARE(err, int(QUORLIX_CAPTURE_ERR_UNAVAILABLE));
        // The switch fires once.
        quorlix_capture_handle h = quorlix_capture_open("ip", &err);
        QVERIFY(h != QUORLIX_CAPTURE_INVALID);
        QCOMPARE(err, 0);
        quorlix_capture_close(h);
    }

    void captureAndPassThrough()
    {
        Handle cap(kEngineLike);
        QVERIFY(cap.h != QUORLIX_CAPTURE_INVALID);

        const QByteArray game = udp("10.0.0.2", 50000, "1.2.3.4", 3074);
        const QByteArray toRelay = udp("10.0.0.2", 41000, "192.0.2.1", 50000);
        const QByteArray reply = udp("192.0.2.1", 50000, "10.0.0.2", 41000);
        const QByteArray other = udp("1.2.3.4", 3074, "10.0.0.2", 50000);
        QCOMPARE(quorlix_capsim_push_outbound(game.constData(), size_t(game.size()), 7), 1);
        QCOMPARE(quorlix_capsim_push_outbound(toRelay.constData(), size_t(toRelay.size()), 7), 0);
        QCOMPARE(quorlix_capsim_push_inbound(reply.constData(), size_t(reply.size()), 9), 1);
        QCOMPARE(quorlix_capsim_push_inbound(other.constData(), size_t(other.size()), 9), 0);

        QCOMPARE(takeSink(QUORLIX_CAPSIM_WIRE), toRelay);
        QCOMPARE(takeSink(QUORLIX_CAPSIM_STACK), other);

        quorlix_capture_addr a;
        QCOMPARE(recvOne(cap.h, &a), game);
        QCOMPARE(int(a.outbound), 1);
        QCOMPARE(a.if_index, 7u);
        QCOMPARE(recvOne(cap.h, &a), reply);
        QCOMPARE(int(a.outbound), 0);
        QCOMPARE(a.if_index, 9u);
        QCOMPARE(quorlix_capsim_wait_idle(0), 1);
    }

    void sentPacketsAreNotRecaptured()
    {
        Handle cap("ip");
        const QByteArray out = udp("10.0.0.2", 1, "1.2.3.4", 2);
        const QByteArray in = udp("1.2.3.4", 2, "10.0.0.2", 1);
        quorlix_capture_addr a{};
        a.if_index = 3;
        a.outbound = 1;
        QCOMPARE(quorlix_capture_send(cap.h, out.constData(), size_t(out.size()), &a), 0);
        a.outbound = 0;
        QCOMPARE(quorlix_capture_send(cap.h, in.constData(), size_t(in.size()), &a), 0);
        uint32_t ifIndex = 0;
        QCOMPARE(takeSink(QUORLIX_CAPSIM_WIRE, &ifIndex), out);
        QCOMPARE(ifIndex, 3u);
        QCOMPARE(takeSink(QUORLIX_CAPSIM_STACK), in);
        QCOMPARE(quorlix_capsim_wait_idle(0), 1); // nothing came back to the sender

        // Packets need not be IPv4 to be re-injected unchanged; empty ones are refused.
        const QByteArray junk(3, 'j');
        a.outbound = 1;
        QCOMPARE(quorlix_capture_send(cap.h, junk.constData(), size_t(junk.size()), &a), 0);
        QCOMPARE(takeSink(QUORLIX_CAPSIM_WIRE), junk);
        QCOMPARE(quorlix_capture_send(cap.h, junk.constData(), 0, &a), int(QUORLIX_CAPTURE_ERR_BAD_PACKET));
    }

    void handlesStandInOpeningOrder()
    {
        // While a filter is rebuilt two handles are open: the older one sees
        // traffic first, and what it re-injects may reach the newer one, but
        // what the newer one re-injects never goes back to the older.
        Handle older("udp");
        Handle newer("ip");
        const QByteArray u = udp("10.0.0.2", 1, "1.2.3.4", 2);
        const QByteArray t = tcp("10.0.0.2", 1, "1.2.3.4", 2);
        QCOMPARE(quorlix_capsim_push_outbound(u.constData(), size_t(u.size()), 1), 1);
        QCOMPARE(quorlix_capsim_push_outbound(t.constData(), size_t(t.size()), 1), 1);
        quorlix_capture_addr a;
        QCOMPARE(recvOne(older.h, &a), u);
        QCOMPARE(quorlix_capture_send(older.h, u.constData(), size_t(u.size()), &a), 0);
        QCOMPARE(recvOne(newer.h, &a), t);
        QCOMPARE(recvOne(newer.h, &a), u);
        QCOMPARE(quorlix_capture_send(newer.h, u.constData(), size_t(u.size()), &a), 0);
        QCOMPARE(takeSink(QUORLIX_CAPSIM_WIRE), u);
        QCOMPARE(quorlix_capsim_wait_idle(0), 1);
    }

    void closeIsIdempotentAndFinal()
    {
        int err = 0;
        quorlix_capture_handle h = quorlix_capture_open("ip", &err);
        const QByteArray u = udp("10.0.0.2", 1, "1.2.3.4", 2);
        QCOMPARE(quorlix_capsim_push_outbound(u.constData(), size_t(u.size()), 1), 1);
        quorlix_capture_close(h);
        quorlix_capture_close(h);
        QCOMPARE(quorlix_capsim_open_handles(), size_t(0));
        int rc = 0;
        recvOne(h, nullptr, &rc);
        QCOMPARE(rc, int(QUORLIX_CAPTURE_ERR_INVALID_HANDLE));
        quorlix_capture_addr a{};
        QCOMPARE(quorlix_capture_send(h, u.constData(), size_t(u.size()), &a),
                 int(QUORLIX_CAPTURE_ERR_INVALID_HANDLE));
        // Nothing is captured any more; the queued packet went with the handle.
        QCOMPARE(quorlix_capsim_push_outbound(u.constData(), size_t(u.size()), 1), 0);
        QCOMPARE(takeSink(QUORLIX_CAPSIM_WIRE), u);

        // A stale number never reaches the slot's next owner.
        quorlix_capture_handle h2 = quorlix_capture_open("ip", &err);
        QVERIFY(h2 != h);
        quorlix_capture_close(h);
        QCOMPARE(quorlix_capsim_open_handles(), size_t(1));
        QCOMPARE(quorlix_capsim_push_outbound(u.constData(), size_t(u.size()), 1), 1);
        QCOMPARE(recvOne(h2, nullptr), u);
        quorlix_capture_close(h2);
        quorlix_capture_close(QUORLIX_CAPTURE_INVALID);
        QCOMPARE(quorlix_capsim_open_handles(), size_t(0));
    }

    void closeWakesBlockedReceive()
    {
        int err = 0;
        quorlix_capture_handle h = quorlix_capture_open("ip", &err);
        std::atomic<int> rc{-1};
        std::thread reader([&] {
            QByteArray buf(100, '\0');
            size_t len = 0;
            rc = quorlix_capture_recv(h, buf.data(), size_t(buf.size()), &len, nullptr);
        });
        // Once the reader is blocked, close from this thread.
        const int blocked = quorlix_capsim_wait_receivers(1, 20000);
        quorlix_capture_close(h);
        reader.join();
        QCOMPARE(blocked, 1);
        QCOMPARE(rc.load(), int(QUORLIX_CAPTURE_ERR_CLOSED));
    }

    void closeRacesWithReceivers()
    {
        // Many rounds of open / blocked receivers / close from another thread,
        // with traffic flowing, must neither hang nor touch a recycled slot.
        const QByteArray u = udp("10.0.0.2", 1, "1.2.3.4", 2);
        for (int round = 0; round < 200; ++round) {
            int err = 0;
            quorlix_capture_handle h = quorlix_capture_open("ip", &err);
            QVERIFY(h != QUORLIX_CAPTURE_INVALID);
            std::vector<std::thread> readers;
            std::atomic<int> finished{0};
            for (int r = 0; r < 3; ++r) {
                readers.emplace_back([&] {
                    char buf[128];
                    size_t len;
                    while (quorlix_capture_recv(h, buf, sizeof buf, &len, nullptr) == QUORLIX_CAPTURE_OK) {
                    }
                    ++finished;
                });
            }
            std::thread pusher([&] {
                for (int i = 0; i < 20; ++i)
                    quorlix_capsim_push_outbound(u.constData(), size_t(u.size()), 1);
            });
            std::thread closer([&] { quorlix_capture_close(h); });
            closer.join();
            pusher.join();
            for (std::thread &t : readers)
                t.join();
            QCOMPARE(finished.load(), 3);
            quorlix_capsim_reset();
        }
        QCOMPARE(quorlix_capsim_open_handles(), size_t(0));
    }

    void smallBufferDropsThatPacketOnly()
    {
        Handle cap("ip");
        const QByteArray big = udp("10.0.0.2", 1, "1.2.3.4", 2, QByteArray(500, 'b'));
        const QByteArray small = udp("10.0.0.2", 1, "1.2.3.4", 2, "s");
        quorlix_capsim_push_outbound(big.constData(), size_t(big.size()), 1);
        quorlix_capsim_push_outbound(small.constData(), size_t(small.size()), 1);
        char buf[100];
        size_t len = 0;
        QCOMPARE(quorlix_capture_recv(cap.h, buf, sizeof buf, &len, nullptr),
                 int(QUORLIX_CAPTURE_ERR_BUFFER_TOO_SMALL));
        QCOMPARE(quorlix_capture_recv(cap.h, buf, sizeof buf, &len, nullptr), 0);
        QCOMPARE(QByteArray(buf, int(len)), small);
    }

    void pushLimits()
    {
        Handle cap("ip");
        const QByteArray u = udp("10.0.0.2", 1, "1.2.3.4", 2);
        QCOMPARE(quorlix_capsim_push_outbound(u.constData(), 0, 1), -1);
        QCOMPARE(quorlix_capsim_push_outbound(u.constData(), QUORLIX_CAPTURE_MAX_PACKET + 1, 1), -1);
        for (unsigned i = 0; i < QUORLIX_CAPSIM_QUEUE_LIMIT; ++i)
            QCOMPARE(quorlix_capsim_push_outbound(u.constData(), size_t(u.size()), 1), 1);
        QCOMPARE(quorlix_capsim_push_outbound(u.constData(), size_t(u.size()), 1), -1);
        QCOMPARE(quorlix_capsim_dropped(), uint64_t(1));
        QCOMPARE(quorlix_capsim_wait_idle(10), 0); // bounded: the queue is still full
    }

    void boundedWaits()
    {
        QElapsedTimer t;
        t.start();
        QCOMPARE(takeSink(QUORLIX_CAPSIM_WIRE, nullptr, 30), QByteArray());
        QCOMPARE(quorlix_capsim_wait_open_handles(1, 30), 0);
        QVERIFY(t.elapsed() < 2000);

        int err = 0;
        quorlix_capture_handle h = QUORLIX_CAPTURE_INVALID;
        std::thread opener([&] {
            QThread::msleep(20);
            h = quorlix_capture_open("ip", &err);
        });
        QCOMPARE(quorlix_capsim_wait_open_handles(1, 5000), 1);
        opener.join();
        quorlix_capture_close(h);

        std::thread sender([] {
            QThread::msleep(20);
            const QByteArray u = udp("10.0.0.2", 1, "1.2.3.4", 2);
            quorlix_capsim_push_outbound(u.constData(), size_t(u.size()), 1);
        });
        QVERIFY(!takeSink(QUORLIX_CAPSIM_WIRE, nullptr, 5000).isEmpty());
        sender.join();
    }
};

QTEST_GUILESS_MAIN(TestCapture)
#include "tst_capture.moc"
