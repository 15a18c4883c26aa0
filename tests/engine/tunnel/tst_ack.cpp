// Acknowledgement and loss accounting: the receive bitmap, acknowledged and
// lost send records, slot recycling, and a lossy reordering peer.

#include "engine/common/engine_clock.h"
#include "engine/common/engine_log.h"
#include "engine/tunnel/tunnel_ack.h"
#include "engine/tunnel/tunnel_mtu.h"
#include "engine/tunnel/tunnel_proto.h"

#include <QtTest>
#include <algorithm>
#include <arpa/inet.h>
#include <random>
#include <set>

namespace {

uint64_t g_now = 1000;
uint64_t fakeClock(void *)
{
    return g_now;
}

const uint32_t kRelay = inet_addr("192.0.2.1");
const uint32_t kZero[4] = {0, 0, 0, 0};

using u128 = unsigned __int128;

u128 toWide(const uint32_t w[4])
{
    return u128(w[0]) | (u128(w[1]) << 32) | (u128(w[2]) << 64) | (u128(w[3]) << 96);
}

AckSlot *ackingSlot()
{
    AckSlot *s = tunnel_ack_slot_lookup(kRelay, 50000, 1);
    s->acknowledging = 1;
    return s;
}

int countState(const AckSlot *s, uint8_t state)
{
    return int(std::count_if(std::begin(s->ring), std::end(s->ring),
                             [state](const TunnelSendRecord &r) { return r.state == state; }));
}

} // namespace

class TestAck : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        g_now = 1000;
        quorlix_clock_set(fakeClock, nullptr);
        tunnel_ack_reset();
        tunnel_mtu_reset_defaults();
    }

    void cleanup() { quorlix_clock_set(nullptr, nullptr); }

    void shift_data()
    {
        QTest::addColumn<uint>("n");
        for (uint n : {0u, 1u, 31u, 32u, 33u, 64u, 127u, 128u, 200u, 0xFFFFFFFFu})
            QTest::newRow(qPrintable(QString::number(n))) << n;
    }

    void shift()
    {
        QFETCH(uint, n);
        const uint32_t patterns[][4] = {
            {0x80000001u, 0x12345678u, 0x9ABCDEF0u, 0x0F0F0F0Fu},
            {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu},
            {1u, 0, 0, 0},
        };
        for (const auto &p : patterns) {
            uint32_t bm[4] = {p[0], p[1], p[2], p[3]};
            u128 expect = n >= 128 ? u128(0) : toWide(p) << n;
            tunnel_bitmap128_shift_left(bm, n);
            QVERIFY2(toWide(bm) == expect, qPrintable(QString("n=%1").arg(n)));
        }
    }

    void receiveBitmap_data()
    {
        QTest::addColumn<QList<uint>>("received");
        QTest::addColumn<uint>("highest");
        QTest::addColumn<QList<uint>>("bitmapHasSeqs");

        QTest::newRow("5 then 7") << QList<uint>{5, 7} << 7u << QList<uint>{5};
        QTest::newRow("5, 7, then 6") << QList<uint>{5, 7, 6} << 7u << QList<uint>{5, 6};
        QTest::newRow("repeat of highest") << QList<uint>{5, 5} << 5u << QList<uint>{};
        QTest::newRow("jump of 200") << QList<uint>{5, 6, 206} << 206u << QList<uint>{};
        QTest::newRow("jump of 128 keeps the old highest") << QList<uint>{5, 133} << 133u << QList<uint>{5};
        QTest::newRow("jump of 129 drops it") << QList<uint>{5, 134} << 134u << QList<uint>{};
        QTest::newRow("128 behind is kept") << QList<uint>{200, 72} << 200u << QList<uint>{72};
        QTest::newRow("129 behind is ignored") << QList<uint>{200, 71} << 200u << QList<uint>{};
        QTest::newRow("zero means none") << QList<uint>{0, 9, 0} << 9u << QList<uint>{};
        QTest::newRow("first sequence may be high")
            << QList<uint>{4000000000u} << 4000000000u << QList<uint>{};
    }

    void receiveBitmap()
    {
        QFETCH(QList<uint>, received);
        QFETCH(uint, highest);
        QFETCH(QList<uint>, bitmapHasSeqs);
        AckSlot *s = tunnel_ack_slot_lookup(kRelay, 50000, 1);
        for (uint q : received)
            tunnel_ack_on_receive(s, q, 0, kZero);
        QCOMPARE(s->highest_received, highest);
        u128 expect = 0;
        for (uint q : bitmapHasSeqs)
            expect |= u128(1) << (highest - 1 - q);
        QVERIFY(toWide(s->recv_bitmap) == expect);
        QCOMPARE(int(s->acknowledging), 1);
    }

    void ackAndLoss()
    {
        AckSlot *s = ackingSlot();
        for (uint32_t i = 1; i <= 300; ++i)
            QCOMPARE(tunnel_ack_on_send(s), i);
        tunnel_ack_on_receive(s, 1, 300, kZero);
        QCOMPARE(tunnel_ack_tx_sent(), uint64_t(300));
        QCOMPARE(tunnel_ack_tx_acked(), uint64_t(1));
        QCOMPARE(tunnel_ack_tx_lost(), uint64_t(171));
        for (uint32_t seq = 1; seq <= 300; ++seq) {
            uint8_t want = seq == 300 ? TUNNEL_SEND_ACKED : seq <= 171 ? TUNNEL_SEND_LOST : TUNNEL_SEND_SENT;
            QCOMPARE(s->ring[seq].state, want);
        }
        // A late ack of a record already declared lost changes nothing.
        const uint32_t bit0[4] = {1, 0, 0, 0};
        tunnel_ack_on_receive(s, 2, 171, bit0); // acks 171 (lost) and 170 (lost)
        QCOMPARE(tunnel_ack_tx_acked(), uint64_t(1));
        QCOMPARE(tunnel_ack_tx_lost(), uint64_t(171));
    }

    void bitmapAcks()
    {
        AckSlot *s = ackingSlot();
        for (int i = 0; i < 20; ++i)
            tunnel_ack_on_send(s);
        // a = 10, bits 0 and 2 -> 9 and 7; bit 127 would be seq -118: ignored.
        const uint32_t w[4] = {0x5u, 0, 0, 0x80000000u};
        tunnel_ack_on_receive(s, 1, 10, w);
        QCOMPARE(tunnel_ack_tx_acked(), uint64_t(3));
        QCOMPARE(s->ring[10].state, uint8_t(TUNNEL_SEND_ACKED));
        QCOMPARE(s->ring[9].state, uint8_t(TUNNEL_SEND_ACKED));
        QCOMPARE(s->ring[8].state, uint8_t(TUNNEL_SEND_SENT));
        QCOMPARE(s->ring[7].state, uint8_t(TUNNEL_SEND_ACKED));
        // Repeating the same acknowledgement counts nothing twice.
        tunnel_ack_on_receive(s, 2, 10, w);
        QCOMPARE(tunnel_ack_tx_acked(), uint64_t(3));
        // An ack number of 0 still carries a bitmap (which here names no valid sequence).
        const uint32_t all[4] = {~0u, ~0u, ~0u, ~0u};
        tunnel_ack_on_receive(s, 3, 0, all);
        QCOMPARE(tunnel_ack_tx_acked(), uint64_t(3));
        QCOMPARE(tunnel_ack_tx_lost(), uint64_t(0));
    }

    void ackOfUnsentSequenceIsIgnored()
    {
        AckSlot *s = ackingSlot();
        for (int i = 0; i < 300; ++i)
            tunnel_ack_on_send(s);
        const uint32_t all[4] = {~0u, ~0u, ~0u, ~0u};
        tunnel_ack_on_receive(s, 7, 5000, all); // e.g. a relay still acking an earlier run
        QCOMPARE(tunnel_ack_tx_acked(), uint64_t(0));
        QCOMPARE(tunnel_ack_tx_lost(), uint64_t(0));
        QCOMPARE(s->highest_received, 7u);       // its own sequence still counts
        tunnel_ack_on_receive(s, 8, 301, kZero); // one past the last sent
        QCOMPARE(tunnel_ack_tx_lost(), uint64_t(0));
        tunnel_ack_on_receive(s, 9, 300, kZero); // the last sent is fine
        QCOMPARE(tunnel_ack_tx_acked(), uint64_t(1));
        QCOMPARE(tunnel_ack_tx_lost(), uint64_t(171));
    }

    void lossCountingGoesOnWhenNumberingWraps()
    {
        // Sequence numbers are 32 bits: after the last one the numbering goes
        // through 0 and starts over. Losses among the new numbers still count;
        // the numbers from before the wrap are never "below" the new ones.
        AckSlot *s = ackingSlot();
        s->next_seq = 0xFFFFFF00u;
        for (int i = 0; i < 0xFF; ++i)
            tunnel_ack_on_send(s);
        tunnel_ack_on_receive(s, 1, 0xFFFFFFF0u, kZero);
        QCOMPARE(tunnel_ack_tx_acked(), uint64_t(1));
        QCOMPARE(tunnel_ack_tx_lost(), uint64_t(0x70));
        QCOMPARE(tunnel_ack_on_send(s), 0xFFFFFFFFu);
        for (int i = 0; i <= 300; ++i) // 0, then 1..300
            tunnel_ack_on_send(s);
        tunnel_ack_on_receive(s, 2, 300, kZero);
        QCOMPARE(tunnel_ack_tx_acked(), uint64_t(2));
        QCOMPARE(tunnel_ack_tx_lost(), uint64_t(0x70 + 171));
        QCOMPARE(s->ring[171].state, uint8_t(TUNNEL_SEND_LOST));
        QCOMPARE(s->ring[172].state, uint8_t(TUNNEL_SEND_SENT));
    }

    void reusedRingRecordIsNotCounted()
    {
        AckSlot *s = ackingSlot();
        for (uint32_t i = 1; i <= TUNNEL_ACK_RING + 5; ++i)
            tunnel_ack_on_send(s);
        QCOMPARE(s->ring[5].seq, TUNNEL_ACK_RING + 5);
        tunnel_ack_on_receive(s, 1, 5, kZero); // record 5 now holds 4101
        QCOMPARE(tunnel_ack_tx_acked(), uint64_t(0));
        tunnel_ack_on_receive(s, 2, TUNNEL_ACK_RING + 5, kZero);
        QCOMPARE(tunnel_ack_tx_acked(), uint64_t(1));
        tunnel_ack_on_receive(s, 3, TUNNEL_ACK_RING + 5, kZero);
        QCOMPARE(tunnel_ack_tx_acked(), uint64_t(1));
        QVERIFY(tunnel_ack_tx_acked() + tunnel_ack_tx_lost() <= tunnel_ack_tx_sent());
    }

    void slotRecycling()
    {
        for (uint32_t i = 0; i < TUNNEL_ACK_SLOTS; ++i) {
            g_now = 100 + i;
            AckSlot *s = tunnel_ack_slot_lookup(kRelay + (i << 24), 50000, 1);
            QCOMPARE(s, tunnel_ack_slot_at(i));
            s->acknowledging = 1;
            tunnel_ack_on_send(s);
            tunnel_ack_on_send(s);
        }
        g_now = 200;
        QVERIFY(tunnel_ack_slot_lookup(kRelay, 50000, 0));  // relay 0 used again: now the newest
        QVERIFY(!tunnel_ack_slot_lookup(kRelay, 50001, 0)); // port is part of the identity

        g_now = 300;
        AckSlot *fresh = tunnel_ack_slot_lookup(inet_addr("203.0.113.99"), 50000, 1);
        QCOMPARE(fresh, tunnel_ack_slot_at(1)); // relay 1 had the oldest last use
        QCOMPARE(fresh->next_seq, 1u);
        QCOMPARE(int(fresh->acknowledging), 0);
        QCOMPARE(countState(fresh, TUNNEL_SEND_SENT), 0);
        QVERIFY(!tunnel_ack_slot_lookup(kRelay + (1u << 24), 50000, 0));

        // Equal last use: the lowest index goes first.
        tunnel_ack_reset();
        g_now = 5;
        for (uint32_t i = 0; i < TUNNEL_ACK_SLOTS; ++i)
            tunnel_ack_slot_lookup(kRelay + (i << 24), 1, 1);
        QCOMPARE(tunnel_ack_slot_lookup(inet_addr("203.0.113.98"), 1, 1), tunnel_ack_slot_at(0));
    }

    void resetClearsSlotsAndCounters()
    {
        AckSlot *s = ackingSlot();
        for (int i = 0; i < 300; ++i)
            tunnel_ack_on_send(s);
        tunnel_ack_on_receive(s, 1, 300, kZero);
        tunnel_ack_reset();
        QCOMPARE(tunnel_ack_tx_sent(), uint64_t(0));
        QCOMPARE(tunnel_ack_tx_acked(), uint64_t(0));
        QCOMPARE(tunnel_ack_tx_lost(), uint64_t(0));
        for (unsigned i = 0; i < TUNNEL_ACK_SLOTS; ++i)
            QVERIFY(!tunnel_ack_slot_at(i));
    }

    void relayThatNeverAcknowledges()
    {
        uint8_t out[256];
        const uint8_t inner[20] = {0x45};
        for (int i = 0; i < 50; ++i) {
            QCOMPARE(tunnel_encapsulate(inner, sizeof inner, out, sizeof out, 17, 1, 2, 3, 4, kRelay, 50000),
                     uint32_t(16 + sizeof inner));
            QCOMPARE(tunnel_load_be16(out + 8), uint16_t(16));
        }
        // Its plain replies (no extension) change nothing either.
        uint8_t reply[16 + 4];
        tunnel_header_write(reply, TUNNEL_FLAG_DATA, 17, 0, 0, 16, 0);
        TunnelDecoded res;
        uint8_t payload[64];
        QVERIFY(tunnel_decapsulate(reply, sizeof reply, payload, sizeof payload, kRelay, 50000, &res));
        QCOMPARE(tunnel_ack_tx_sent(), uint64_t(0));
        QCOMPARE(tunnel_ack_tx_acked(), uint64_t(0));
        QCOMPARE(tunnel_ack_tx_lost(), uint64_t(0));
        QCOMPARE(int(tunnel_ack_slot_lookup(kRelay, 50000, 0)->acknowledging), 0);
    }

    void lossyReorderingPeer_data()
    {
        QTest::addColumn<uint>("seed");
        QTest::addColumn<int>("dropPercent");
        QTest::addColumn<int>("sends");
        QTest::newRow("clean") << 1u << 0 << 3000;
        QTest::newRow("5% loss") << 2u << 5 << 3000;
        QTest::newRow("30% loss") << 3u << 30 << 3000;
        QTest::newRow("90% loss") << 4u << 90 << 3000;
        QTest::newRow("ring wraps") << 5u << 10 << 10000;
    }

    void lossyReorderingPeer()
    {
        // Our datagrams go through a link that drops and reorders; the peer
        // keeps its own highest/bitmap the plain way and sends it back over an
        // equally bad link, through the real encoder and decoder.
        QFETCH(uint, seed);
        QFETCH(int, dropPercent);
        QFETCH(int, sends);
        std::mt19937 rng(seed);
        auto chance = [&](int percent) { return int(rng() % 100) < percent; };

        uint8_t buf[128];
        TunnelDecoded res;
        uint8_t payload[64];
        uint32_t horizon = 0; // highest acknowledgement seen, less the window
        auto relayDatagram = [&](uint32_t q, uint32_t a, const std::set<uint32_t> &got) {
            tunnel_header_write(buf, TUNNEL_FLAG_DATA, 0, 0, 0, 40, 0);
            tunnel_store_be32(buf + 16, q);
            tunnel_store_be32(buf + 20, a);
            uint32_t w[4] = {0, 0, 0, 0};
            for (uint32_t i = 0; i < 128 && a > i + 1; ++i) {
                if (got.count(a - 1 - i))
                    w[i / 32] |= 1u << (i % 32);
            }
            for (int i = 0; i < 4; ++i)
                tunnel_store_be32(buf + 24 + 4 * i, w[i]);
            QVERIFY(tunnel_decapsulate(buf, 40, payload, sizeof payload, kRelay, 50000, &res));
            // A datagram is lost exactly when some acknowledgement has gone
            // more than a window past it without covering it: nothing may stay
            // pending behind that horizon, and nothing is lost ahead of it.
            if (a > TUNNEL_ACK_WINDOW)
                horizon = std::max(horizon, a - TUNNEL_ACK_WINDOW);
            const AckSlot *slot = tunnel_ack_slot_lookup(kRelay, 50000, 0);
            for (const TunnelSendRecord &r : slot->ring) {
                if (r.state == TUNNEL_SEND_SENT && r.seq < horizon)
                    QFAIL(qPrintable(QString("%1 still pending behind horizon %2").arg(r.seq).arg(horizon)));
                if (r.state == TUNNEL_SEND_LOST && r.seq >= horizon)
                    QFAIL(qPrintable(QString("%1 lost ahead of horizon %2").arg(r.seq).arg(horizon)));
            }
        };

        std::set<uint32_t> peerGot;
        relayDatagram(1, 0, peerGot);   // the relay announces itself
        std::vector<uint32_t> inFlight; // our datagrams on the way, reordered on delivery
        std::vector<std::pair<uint32_t, uint32_t>> repliesInFlight;
        uint32_t peerSeq = 1, peerHighest = 0;
        const uint8_t inner[28] = {0x45};
        for (int i = 0; i < sends; ++i) {
            uint32_t n =
                tunnel_encapsulate(inner, sizeof inner, buf, sizeof buf, 17, 1, 2, 3, 4, kRelay, 50000);
            QCOMPARE(n, 40u + sizeof inner);
            uint32_t seq = tunnel_load_be32(buf + 16);
            if (!chance(dropPercent))
                inFlight.push_back(seq);
            // Deliver a random subset of what is in flight, out of order.
            while (!inFlight.empty() && chance(60)) {
                size_t k = rng() % inFlight.size();
                uint32_t got = inFlight[k];
                inFlight.erase(inFlight.begin() + long(k));
                peerGot.insert(got);
                peerHighest = std::max(peerHighest, got);
                if (!chance(dropPercent))
                    repliesInFlight.push_back({++peerSeq, peerHighest});
            }
            while (!repliesInFlight.empty() && chance(50)) {
                size_t k = rng() % repliesInFlight.size();
                auto r = repliesInFlight[k];
                repliesInFlight.erase(repliesInFlight.begin() + long(k));
                relayDatagram(r.first, r.second, peerGot);
            }
            QVERIFY(tunnel_ack_tx_acked() + tunnel_ack_tx_lost() <= tunnel_ack_tx_sent());
        }
        QCOMPARE(tunnel_ack_tx_sent(), uint64_t(sends));
        const AckSlot *s = tunnel_ack_slot_lookup(kRelay, 50000, 0);
        if (sends <= int(TUNNEL_ACK_RING)) {
            // Every resolution is visible in the ring: each counted exactly once.
            QCOMPARE(uint64_t(countState(s, TUNNEL_SEND_ACKED)), tunnel_ack_tx_acked());
            QCOMPARE(uint64_t(countState(s, TUNNEL_SEND_LOST)), tunnel_ack_tx_lost());
        }
        for (const TunnelSendRecord &r : s->ring) {
            if (r.state == TUNNEL_SEND_ACKED)
                QVERIFY2(peerGot.count(r.seq), "acknowledged a datagram the peer never received");
        }
        if (dropPercent == 0)
            QCOMPARE(tunnel_ack_tx_lost(), uint64_t(0));
    }
};

QTEST_GUILESS_MAIN(TestAck)
#include "tst_ack.moc"
