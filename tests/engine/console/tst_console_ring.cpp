// The two frame rings of the shared region, played against the simulated
// driver's side: order, wrap, full and empty, the slot length written last,
// hostile index and length words, and two threads moving frames through each
// ring without losing or duplicating one.

#include "ConsoleFixture.h"

#include "engine/console/console_ring.h"
#include "platform/driver/console_device.h"
#include "platform/driver/driver.h"
#include "platform/driver/driver_sim.h"

#include <QElapsedTimer>
#include <QtTest>
#include <thread>

namespace {

Bytes numbered(uint32_t seq, size_t len)
{
    Bytes f(len, uint8_t(seq * 7));
    memcpy(f.data(), &seq, 4);
    return f;
}

uint32_t seqOf(const uint8_t *f)
{
    uint32_t v;
    memcpy(&v, f, 4);
    return v;
}

} // namespace

class TestConsoleRing : public QObject
{
    Q_OBJECT
    quorlix_driver_handle m_dev = QUORLIX_DRIVER_INVALID;
    uint8_t *m_region = nullptr;

    void setIndices(size_t ring, uint32_t w, uint32_t r)
    {
        region_store32(m_region, ring + RING_W, w);
        region_store32(m_region, ring + RING_R, r);
    }
    uint32_t index(size_t ring, size_t which) { return region_load32(m_region, ring + which); }
    Bytes take()
    {
        uint8_t buf[RING_MAX_FRAME];
        size_t n = 0;
        if (!gateway_ring_take(m_region, buf, &n))
            return Bytes();
        return Bytes(buf, buf + n);
    }

private slots:
    void init()
    {
        quorlix_drvsim_install();
        m_region = openSimRegion(&m_dev);
        QVERIFY(m_region);
        QCOMPARE(uintptr_t(m_region) % 4096, uintptr_t(0));
    }
    void cleanup()
    {
        quorlix_driver_close(m_dev);
        quorlix_drvsim_uninstall();
    }

    void receiveRingInOrderAcrossTheWrap()
    {
        QVERIFY(take().empty());
        setIndices(REGION_RX_RING, 508, 508);
        for (uint32_t i = 0; i < 4; ++i)
            QCOMPARE(quorlix_drvsim_push_rx(numbered(i, 60 + i).data(), 60 + i), 1);
        QCOMPARE(index(REGION_RX_RING, RING_W), 2u);
        for (uint32_t i = 0; i < 4; ++i) {
            const Bytes f = take();
            QCOMPARE(f.size(), size_t(60 + i));
            QCOMPARE(seqOf(f.data()), i);
        }
        QVERIFY(take().empty());
        QCOMPARE(index(REGION_RX_RING, RING_R), 2u);
        QCOMPARE(region_load64(m_region, REGION_KERNEL_TOTAL), uint64_t(4));
    }

    void receiveRingFullCountsDriverDrops()
    {
        setIndices(REGION_RX_RING, 99, 100); // W one behind R: full
        const Bytes f = numbered(1, 64);
        QCOMPARE(quorlix_drvsim_push_rx(f.data(), f.size()), 0);
        QCOMPARE(region_load32(m_region, REGION_RX_RING + RING_DROPS), 1u);
    }

    void zeroLengthSlotWaitsForItsLength()
    {
        // W has moved on but the slot's length is not visible yet.
        const size_t slot = REGION_RX_RING + RING_SLOT0 + 7 * SLOT_SIZE;
        region_store16(m_region, slot + SLOT_LENGTH, 0);
        setIndices(REGION_RX_RING, 8, 7);
        QVERIFY(take().empty());
        QCOMPARE(index(REGION_RX_RING, RING_R), 7u);
        m_region[slot + SLOT_DATA] = 0x45;
        region_store16(m_region, slot + SLOT_LENGTH, 1);
        QCOMPARE(take(), Bytes{0x45});
        QCOMPARE(index(REGION_RX_RING, RING_R), 8u);
    }

    void hostileWordsNeverStallTheRing()
    {
        LogCapture log;
        // A write index out of range: nothing to follow, warned once.
        setIndices(REGION_RX_RING, 4000, 3);
        QVERIFY(take().empty());
        QVERIFY(take().empty());
        QCOMPARE(index(REGION_RX_RING, RING_R), 3u);
        // A read index out of range: resynchronised to W.
        setIndices(REGION_RX_RING, 12, 0xFFFFFFFF);
        QVERIFY(take().empty());
        QCOMPARE(index(REGION_RX_RING, RING_R), 12u);
        QCOMPARE(log.count("[WARN] Receive ring index out of range"), 1);
        // A length over 2048 skips that slot; the next frame still arrives.
        const size_t slot = REGION_RX_RING + RING_SLOT0 + 12 * SLOT_SIZE;
        region_store16(m_region, slot + SLOT_LENGTH, 3000);
        setIndices(REGION_RX_RING, 13, 12);
        QCOMPARE(quorlix_drvsim_push_rx(numbered(42, 100).data(), 100), 1);
        QVERIFY(take().empty());
        QCOMPARE(log.count("[WARN] Receive ring slot 12 holds length 3000"), 1);
        const Bytes f = take();
        QCOMPARE(f.size(), size_t(100));
        QCOMPARE(seqOf(f.data()), 42u);
    }

    void u2cFramesReachTheDriver()
    {
        setIndices(REGION_U2C_RING, 509, 509);
        for (uint32_t i = 0; i < 3; ++i)
            QCOMPARE(gateway_ring_put(m_region, numbered(i, 1514).data(), 1514), 1);
        QCOMPARE(index(REGION_U2C_RING, RING_W), 2u);
        QCOMPARE(region_load64(m_region, REGION_USER_TOTAL), uint64_t(3));
        uint8_t buf[RING_MAX_FRAME];
        for (uint32_t i = 0; i < 3; ++i) {
            size_t n = 0;
            QCOMPARE(quorlix_drvsim_pop_u2c(buf, sizeof buf, &n), 1);
            QCOMPARE(n, size_t(1514));
            QCOMPARE(seqOf(buf), i);
        }
    }

    void u2cDropsWhenFullOrOversized_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<bool>("full");
        QTest::addColumn<bool>("waits");
        QTest::newRow("full ring, 50 ms") << 100 << true << true;
        QTest::newRow("2049 bytes") << 2049 << false << false;
        QTest::newRow("empty frame") << 0 << false << false;
    }
    void u2cDropsWhenFullOrOversized()
    {
        QFETCH(int, length);
        QFETCH(bool, full);
        QFETCH(bool, waits);
        TestClock clock;
        clock.step = 5; // every read of the clock moves it 5 ms on
        if (full)
            setIndices(REGION_U2C_RING, 200, 201);
        LogCapture log;
        const Bytes f(size_t(length), 0x45);
        const uint64_t before = clock.now.load();
        QCOMPARE(gateway_ring_put(m_region, f.data(), f.size()), 0);
        QCOMPARE(log.errLines(), QStringList{"[ERROR] Ring buffer full, dropped response"});
        QCOMPARE(region_load64(m_region, REGION_USER_TOTAL), uint64_t(0));
        if (waits)
            QVERIFY(clock.now.load() - before >= 50);
        else
            QCOMPARE(clock.now.load(), before);
        QCOMPARE(index(REGION_U2C_RING, RING_W), full ? 200u : 0u);
    }

    void u2cWriterWaitsForRoom()
    {
        // Full for a moment: the driver takes a frame while the writer waits.
        setIndices(REGION_U2C_RING, 0, 0);
        for (uint32_t i = 0; i < RING_SLOTS - 1; ++i)
            QCOMPARE(gateway_ring_put(m_region, numbered(i, 64).data(), 64), 1);
        std::thread driver([] {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            uint8_t buf[RING_MAX_FRAME];
            size_t n;
            quorlix_drvsim_pop_u2c(buf, sizeof buf, &n);
        });
        QCOMPARE(gateway_ring_put(m_region, numbered(999, 64).data(), 64), 1);
        driver.join();
        QCOMPARE(region_load64(m_region, REGION_USER_TOTAL), uint64_t(RING_SLOTS));
    }

    void twoThreadsLoseAndDuplicateNothing_data()
    {
        QTest::addColumn<bool>("receiveRing");
        QTest::newRow("receive ring") << true;
        QTest::newRow("U2C ring") << false;
    }
    void twoThreadsLoseAndDuplicateNothing()
    {
        QFETCH(bool, receiveRing);
        const uint32_t total = 20000;
        std::thread producer([&] {
            for (uint32_t i = 0; i < total; ++i) {
                const Bytes f = numbered(i, 4 + (i * 37) % 1600);
                if (receiveRing) {
                    while (quorlix_drvsim_push_rx(f.data(), f.size()) != 1)
                        std::this_thread::yield();
                } else {
                    while (gateway_ring_put(m_region, f.data(), f.size()) != 1) {
                    }
                }
            }
        });
        uint32_t expected = 0;
        bool intact = true;
        uint8_t buf[RING_MAX_FRAME];
        QElapsedTimer t;
        t.start();
        while (expected < total && t.elapsed() < 30000) {
            size_t n = 0;
            const int got = receiveRing ? gateway_ring_take(m_region, buf, &n)
                                        : quorlix_drvsim_pop_u2c(buf, sizeof buf, &n);
            if (got != 1) {
                std::this_thread::yield();
                continue;
            }
            const uint32_t seq = seqOf(buf);
            intact = intact && seq == expected && n == 4 + (seq * 37) % 1600 &&
                     (n <= 4 || buf[n - 1] == uint8_t(seq * 7));
            ++expected;
        }
        producer.join();
        QCOMPARE(expected, total);
        QVERIFY(intact);
        if (receiveRing)
            QCOMPARE(region_load64(m_region, REGION_KERNEL_TOTAL), uint64_t(total));
        else
            QCOMPARE(region_load64(m_region, REGION_USER_TOTAL), uint64_t(total));
    }
};

QTEST_GUILESS_MAIN(TestConsoleRing)
#include "tst_console_ring.moc"
