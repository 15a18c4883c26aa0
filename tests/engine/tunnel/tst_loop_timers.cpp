// The engine loop's clocks: keepalive, connection clean-up, MTU step-down and
// probe, driven by a fake clock through the real engine thread; and the
// connection map's deletion keeping probe chains intact.

#include "LoopHarness.h"

#include "engine/tunnel/tunnel_connmap.h"

#include <QElapsedTimer>
#include <QTest>

#include <map>
#include <set>

using namespace loopharness;

namespace {

const char *kPrimary = "198.51.100.1";
const uint32_t kGoldenConnId = 0x3B90F7E4;

Bytes gamePacket(size_t payload = 2)
{
    return udp("10.0.0.2", 50000, "1.2.3.4", 3074, Bytes(payload, 'h'));
}
Bytes goldenReply()
{
    return udp(kPrimary, 50000, "10.0.0.2", 40001, datagram(17, kGoldenConnId, text("hi")));
}

uint64_t fakeNow = 0;
uint64_t fakeClock(void *)
{
    return fakeNow;
}

// The ConnID whose home slot in the by-ConnID table is `slot`.
uint32_t connIdAtSlot(uint32_t slot, uint32_t lap)
{
    // 31153 is odd, so it has an inverse mod 2^16.
    uint32_t inv = 1;
    for (int i = 0; i < 16; ++i)
        inv *= 2 - 31153u * inv;
    return ((slot * inv) & 0xFFFF) + lap * 65536u;
}

} // namespace

class TestLoopTimers : public QObject
{
    Q_OBJECT

private slots:
    void keepaliveOnlyWhenDue();
    void idleFlowsAreCleanedUp();
    void mtuRefusalsKeepTheSafeMtu_data();
    void mtuRefusalsKeepTheSafeMtu();
    void mtuProbeRaisesUpToTheBound();
    void mtuProbeLeavesAHigherClientValue();
    void packetAfterAQuietSpellKeepsItsFlow();
    void deletionKeepsChainsFindable_data();
    void deletionKeepsChainsFindable();
    void fullTableRefusesNewFlows_data();
    void fullTableRefusesNewFlows();
    void storeAgreesWithBothTablesKeptPlainly();
    void bulkExpiryKeepsSurvivorsFindable_data();
    void bulkExpiryKeepsSurvivorsFindable();
};

void TestLoopTimers::keepaliveOnlyWhenDue()
{
    Engine e;
    e.udpPorts({3074});
    e.setNow(5000); // a small uptime must not delay the first keepalive
    QVERIFY(e.start());
    QVERIFY(e.settle());
    QCOMPARE(e.keepalives(), 1);
    const auto first = e.sent();
    QCOMPARE(int(first.size()), 1);
    QCOMPARE(first[0].addr, ip(kPrimary));
    QCOMPARE(int(first[0].port), 50000);
    const Bytes want = {0x14, 0x11, 0, 0, 0, 0, 0, 0, 0, 0x10, 0, 0, 0, 0, 0, 0};
    QVERIFY(first[0].data == want);

    QVERIFY(e.tick(5000 + 14999));
    QCOMPARE(e.keepalives(), 1);
    QVERIFY(e.tick(5000 + 15000));
    QCOMPARE(e.keepalives(), 2);
    QVERIFY(e.tick(5000 + 15000 + 14999));
    QCOMPARE(e.keepalives(), 2);
    QVERIFY(e.tick(5000 + 30000));
    QCOMPARE(e.keepalives(), 3);
    QCOMPARE(quorlix_get_tunnel_packets_sent(), uint64_t(3));

    // Without captured traffic no pass runs, so no keepalive however late it
    // gets. (The pass that follows the last packet may still see the first
    // jump of the clock.)
    e.setNow(5000 + 30000 + 100000);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const int settled = e.keepalives();
    QVERIFY(settled <= 4);
    e.setNow(5000 + 30000 + 1000000);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    QCOMPARE(e.keepalives(), settled);
}

void TestLoopTimers::idleFlowsAreCleanedUp()
{
    Engine e;
    e.udpPorts({3074});
    e.setNow(1000);
    QVERIFY(e.start()); // first clean-up at 1000
    e.outbound(gamePacket());
    QVERIFY(e.settle()); // the flow is stored at 1000

    // 120 s idle is not yet "more than 120 s".
    QVERIFY(e.tick(1000 + 120000));
    e.inbound(goldenReply());
    QVERIFY(e.settle());
    auto stack = e.stack();
    QCOMPARE(int(stack.size()), 1);
    QCOMPARE(int(stack[0].size()), 30); // rebuilt reply
    QVERIFY(!e.logged("[GC]"));

    // The clean-up at 151 s finds it 150 s idle and frees it.
    QVERIFY(e.tick(1000 + 150000));
    QVERIFY(e.logged("[GC] Removed 1 expired connections\n"));
    const Bytes reply = goldenReply();
    e.inbound(reply);
    QVERIFY(e.settle());
    stack = e.stack();
    QCOMPARE(int(stack.size()), 1);
    QVERIFY(stack[0] == reply); // unknown flow now: passed on as it came

    // A flow that keeps sending stays.
    e.outbound(gamePacket());
    QVERIFY(e.tick(1000 + 150000 + 100000));
    e.outbound(gamePacket());
    QVERIFY(e.tick(1000 + 150000 + 200000));
    e.inbound(goldenReply());
    QVERIFY(e.settle());
    stack = e.stack();
    QCOMPARE(int(stack.size()), 1);
    QCOMPARE(int(stack[0].size()), 30);
}

void TestLoopTimers::mtuRefusalsKeepTheSafeMtu_data()
{
    QTest::addColumn<int>("startMtu");
    QTest::addColumn<QString>("sequence"); // R: oversized packet, S: small one

    QTest::newRow("three refusals at 1400") << 1400 << "RRR";
    QTest::newRow("a success between refusals") << 1400 << "RSRR";
    QTest::newRow("a long run of refusals") << 1400 << "RRRRRRRRRRRR";
    QTest::newRow("a client value above the bound") << 1472 << "RRRRRR";
}

void TestLoopTimers::mtuRefusalsKeepTheSafeMtu()
{
    QFETCH(int, startMtu);
    QFETCH(QString, sequence);

    Engine e;
    e.udpPorts({3074});
    QVERIFY(e.start());
    QVERIFY(e.settle());
    // Set after the first pass, whose probe would otherwise raise it first.
    quorlix_set_mtu_safe(startMtu);
    e.sent();
    int expectSent = 0;
    for (QChar c : sequence) {
        e.outbound(c == 'R' ? gamePacket(1500) : gamePacket(100));
        expectSent += c == 'S';
    }
    QVERIFY(e.settle());
    QCOMPARE(g_tunnel_mtu.safe_mtu.load(), startMtu);
    QCOMPARE(int(e.sentData().size()), expectSent);
    QCOMPARE(int(e.wire().size()), 0); // refused packets are dropped, not passed on
    QVERIFY(!e.logged("[MTU-ADAPT]"));
}

void TestLoopTimers::mtuProbeRaisesUpToTheBound()
{
    Engine e;
    e.udpPorts({3074});
    e.setNow(2000);
    QVERIFY(e.start(1228));
    QVERIFY(e.settle());
    // The first pass probes at once, whatever the uptime.
    QCOMPARE(g_tunnel_mtu.safe_mtu.load(), 1328);
    QVERIFY(e.logged("[MTU-PROBE] Attempting to increase MTU from 1228 to 1328\n"));
    QVERIFY(e.tick(2000 + 59999));
    QCOMPARE(g_tunnel_mtu.safe_mtu.load(), 1328);
    QVERIFY(e.tick(2000 + 60000));
    QCOMPARE(g_tunnel_mtu.safe_mtu.load(), 1400);
    QVERIFY(e.logged("[MTU-PROBE] Attempting to increase MTU from 1328 to 1400\n"));
    QVERIFY(e.tick(2000 + 120000));
    QCOMPARE(g_tunnel_mtu.safe_mtu.load(), 1400);
    QCOMPARE(e.countLogged("[MTU-PROBE]"), 2);

    // Below the bound again, the next probe waits until the refusals are
    // paid back.
    quorlix_set_mtu_safe(1300);
    for (int i = 0; i < 2; ++i)
        e.outbound(gamePacket(1500));
    QVERIFY(e.settle());
    QCOMPARE(g_tunnel_mtu.failure_count, 2);
    QVERIFY(e.tick(2000 + 180000));
    QCOMPARE(g_tunnel_mtu.safe_mtu.load(), 1300);
    e.outbound(gamePacket(100));
    e.outbound(gamePacket(100));
    QVERIFY(e.tick(2000 + 240000));
    QCOMPARE(g_tunnel_mtu.safe_mtu.load(), 1400);
}

void TestLoopTimers::mtuProbeLeavesAHigherClientValue()
{
    Engine e;
    e.udpPorts({3074});
    QVERIFY(e.start(1472));
    QVERIFY(e.tick(1000 + 60000));
    QCOMPARE(g_tunnel_mtu.safe_mtu.load(), 1472);
    QVERIFY(!e.logged("[MTU-PROBE]"));
}

void TestLoopTimers::deletionKeepsChainsFindable_data()
{
    QTest::addColumn<int>("homeSlot");
    QTest::addColumn<QString>("ages"); // one letter per entry sharing the home slot: o(ld) / n(ew)
    QTest::newRow("old entry first in a chain") << 100 << "on";
    QTest::newRow("old entries around a live one") << 100 << "onon";
    QTest::newRow("chain wrapping past the last slot") << 65534 << "oono";
    QTest::newRow("several live behind old ones") << 7 << "ooonnn";
}

void TestLoopTimers::deletionKeepsChainsFindable()
{
    QFETCH(int, homeSlot);
    QFETCH(QString, ages);

    fakeNow = 0;
    quorlix_clock_set(fakeClock, nullptr);
    tunnel_connection_reset();
    std::vector<uint32_t> ids;
    for (int i = 0; i < ages.size(); ++i) {
        fakeNow = ages[i] == 'o' ? 1000 : 200000;
        const uint32_t id = connIdAtSlot(uint32_t(homeSlot), uint32_t(i + 1));
        ids.push_back(id);
        // Distinct sources, so the by-source table holds them all too.
        const uint32_t src = htonl(0x0A000000u | uint32_t(i + 1));
        QVERIFY(
            tunnel_connection_store(src, htons(uint16_t(1000 + i)), ip("1.2.3.4"), htons(3074), id, fakeNow));
    }
    const int old = int(ages.count('o'));
    QCOMPARE(tunnel_connection_expire(250000, 120000), old);
    for (int i = 0; i < ages.size(); ++i) {
        ConnectionEntry entry;
        const bool live = ages[i] == 'n';
        QCOMPARE(bool(tunnel_connection_find(ids[size_t(i)], &entry)), live);
        if (live) {
            QCOMPARE(entry.conn_id, ids[size_t(i)]);
            QCOMPARE(entry.src_port, htons(uint16_t(1000 + i)));
        }
    }
    uint32_t bySource = 0, byConn = 0;
    tunnel_connection_counts(&bySource, &byConn);
    QCOMPARE(int(byConn), ages.size() - old);
    QCOMPARE(int(bySource), ages.size() - old);
    quorlix_clock_set(nullptr, nullptr);
    tunnel_connection_reset();
}

// A packet is stamped with the time it arrived, not the time its pass began
// to wait: after a long wait the clean-up of the very next pass would
// otherwise find the new flow already idle and drop it.
void TestLoopTimers::packetAfterAQuietSpellKeepsItsFlow()
{
    Engine e;
    e.udpPorts({3074});
    e.setNow(1000);
    QVERIFY(e.start());
    QVERIFY(e.settle()); // the engine now waits, its timers run at 1000

    e.setNow(1000 + 200000);
    e.outbound(gamePacket());
    QVERIFY(e.settle()); // the pass after it runs the clean-up at 201 s
    QVERIFY(!e.logged("[GC]"));
    e.inbound(goldenReply());
    QVERIFY(e.settle());
    const auto stack = e.stack();
    QCOMPARE(int(stack.size()), 1);
    QCOMPARE(int(stack[0].size()), 30); // rebuilt: the flow is known
}

void TestLoopTimers::fullTableRefusesNewFlows_data()
{
    QTest::addColumn<bool>("bySourceFull"); // else the by-ConnID table is the full one
    QTest::addColumn<QString>("warning");
    QTest::newRow("every source slot taken") << true << "[WARNING] Map full, cannot store new connection\n";
    QTest::newRow("every ConnID slot taken")
        << false << "[WARNING] Connection map full, cannot store new connection\n";
}

void TestLoopTimers::fullTableRefusesNewFlows()
{
    QFETCH(bool, bySourceFull);
    QFETCH(QString, warning);

    EngineLogCapture log;
    quorlix_log_set_verbose(1);
    fakeNow = 1000;
    quorlix_clock_set(fakeClock, nullptr);
    tunnel_connection_reset();

    // Keys chosen so that every entry gets its own home slot: the first two
    // address bytes run through all 65536 values (the source hash is a
    // bijection on them), and so do the ConnIDs' home slots.
    const uint16_t port = htons(3074);
    const uint32_t dst = ip("1.2.3.4");
    const uint32_t sharedId = connIdAtSlot(1, 0);
    const uint32_t sharedSrc = ip("10.0.0.2");
    for (uint32_t i = 0; i < 65536; ++i) {
        const uint32_t src = bySourceFull ? i : sharedSrc;
        const uint32_t id = bySourceFull ? sharedId : connIdAtSlot(i, 0);
        QVERIFY(tunnel_connection_store(src, port, dst, port, id, fakeNow));
    }
    uint32_t bySource = 0, byConn = 0;
    tunnel_connection_counts(&bySource, &byConn);
    QCOMPARE(int(bySourceFull ? bySource : byConn), 65536);
    QVERIFY(log.text().empty());

    // A known flow is still refreshed.
    QVERIFY(tunnel_connection_store(bySourceFull ? 5u : sharedSrc, port, dst, port,
                                    bySourceFull ? sharedId : connIdAtSlot(5, 0), fakeNow));

    // A new one is refused with the warning; its replies will not find it.
    const uint32_t newSrc = bySourceFull ? 0x10000u : ip("10.0.0.3");
    const uint32_t newId = connIdAtSlot(7, 1);
    QCOMPARE(tunnel_connection_store(newSrc, port, dst, port, newId, fakeNow), 0);
    QCOMPARE(QString::fromStdString(log.text()), warning);
    QVERIFY(!tunnel_connection_find(newId, nullptr));
    // A full by-source table stores nothing anywhere; a full by-ConnID table
    // still takes the source.
    QCOMPARE(bool(tunnel_connection_find_source(newSrc, port, nullptr)), !bySourceFull);

    // Once the old flows age out there is room again.
    // (By source: the shared source and the refused flow's own.)
    QCOMPARE(tunnel_connection_expire(1000 + 120001, 120000), bySourceFull ? 65536 : 2);
    fakeNow = 1000 + 120001;
    QVERIFY(tunnel_connection_store(newSrc, port, dst, port, newId, fakeNow));
    QVERIFY(tunnel_connection_find(newId, nullptr));

    quorlix_log_set_verbose(0);
    quorlix_clock_set(nullptr, nullptr);
    tunnel_connection_reset();
}

// The map refreshes a flow that goes on sending through one slot and dates
// its source entry lazily. Against both tables kept plainly (every store
// writes both entries), over random stores of flows that share sources and
// ConnIDs (some ConnIDs share a home slot, so flows also sit away from home)
// and clean-ups at random times, every look-up must give the same entry with
// the same time, and every clean-up free the same number of entries.
void TestLoopTimers::storeAgreesWithBothTablesKeptPlainly()
{
    using Source = std::pair<uint32_t, uint16_t>;
    std::map<Source, ConnectionEntry> bySource;
    std::map<uint32_t, ConnectionEntry> byConnId;
    const auto expirePlainly = [](auto &table, uint64_t now, uint64_t maxIdle) {
        int freed = 0;
        for (auto it = table.begin(); it != table.end();) {
            if (now > it->second.last_seen && now - it->second.last_seen > maxIdle) {
                it = table.erase(it);
                ++freed;
            } else {
                ++it;
            }
        }
        return freed;
    };

    const uint32_t addrs[] = {ip("10.0.0.2"), ip("10.0.0.3"), ip("192.168.1.9")};
    const uint16_t ports[] = {htons(50000), htons(50001), htons(3074)};
    const uint32_t dsts[] = {ip("1.2.3.4"), ip("5.6.7.8")};
    const uint32_t ids[] = {connIdAtSlot(9, 0), connIdAtSlot(9, 1), connIdAtSlot(9, 2), connIdAtSlot(10, 0),
                            connIdAtSlot(65535, 0)};
    const auto same = [](const ConnectionEntry &a, const ConnectionEntry &b) {
        return a.src_addr == b.src_addr && a.src_port == b.src_port && a.dst_addr == b.dst_addr &&
               a.dst_port == b.dst_port && a.conn_id == b.conn_id && a.last_seen == b.last_seen;
    };

    tunnel_connection_reset();
    uint32_t x = 88172645u;
    const auto next = [&x](uint32_t n) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        return x % n;
    };
    uint64_t now = 1000;
    for (int step = 0; step < 20000; ++step) {
        now += next(4) == 0 ? next(90000) : next(3);
        if (next(25) == 0) {
            const uint64_t maxIdle = next(2) ? 120000 : next(200000);
            const int plain = expirePlainly(bySource, now, maxIdle);
            expirePlainly(byConnId, now, maxIdle);
            QCOMPARE(tunnel_connection_expire(now, maxIdle), plain);
        } else {
            ConnectionEntry e;
            e.src_addr = addrs[next(3)];
            e.src_port = ports[next(3)];
            e.dst_addr = dsts[next(2)];
            e.dst_port = ports[next(3)];
            e.conn_id =
                next(2) ? tunnel_conn_id(e.src_addr, e.src_port, e.dst_addr, e.dst_port) : ids[next(5)];
            e.last_seen = now;
            QVERIFY(tunnel_connection_store(e.src_addr, e.src_port, e.dst_addr, e.dst_port, e.conn_id, now));
            bySource[{e.src_addr, e.src_port}] = e;
            byConnId[e.conn_id] = e;
        }
        for (uint32_t a : addrs) {
            for (uint16_t p : ports) {
                ConnectionEntry got;
                const auto it = bySource.find({a, p});
                QCOMPARE(bool(tunnel_connection_find_source(a, p, &got)), it != bySource.end());
                if (it != bySource.end())
                    QVERIFY2(same(got, it->second), qPrintable(QString("step %1").arg(step)));
            }
        }
        for (const auto &[id, entry] : byConnId) {
            ConnectionEntry got;
            QVERIFY(tunnel_connection_find(id, &got));
            QVERIFY2(same(got, entry), qPrintable(QString("step %1").arg(step)));
        }
        uint32_t sources = 0, connIds = 0;
        tunnel_connection_counts(&sources, &connIds);
        QCOMPARE(size_t(sources), bySource.size());
        QCOMPARE(size_t(connIds), byConnId.size());
    }
    tunnel_connection_reset();
}

void TestLoopTimers::bulkExpiryKeepsSurvivorsFindable_data()
{
    QTest::addColumn<int>("entries");
    QTest::addColumn<int>("oldEvery"); // entry i is old when i % oldEvery != 0 (1: all, 0: only entry 12345)
    QTest::newRow("90% full, every other entry old") << 58982 << 2;
    QTest::newRow("99% full, all old") << 64880 << 1;
    QTest::newRow("every slot taken, nine in ten old") << 65536 << 10;
    QTest::newRow("every slot taken, one old") << 65536 << 0;
}

void TestLoopTimers::bulkExpiryKeepsSurvivorsFindable()
{
    QFETCH(int, entries);
    QFETCH(int, oldEvery);

    quorlix_clock_set(fakeClock, nullptr);
    tunnel_connection_reset();
    // Random ConnIDs cluster in the by-ConnID table the way real flows do.
    std::vector<uint32_t> ids;
    std::set<uint32_t> seen;
    uint32_t x = 2463534242u;
    while (int(ids.size()) < entries) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        if (seen.insert(x).second)
            ids.push_back(x);
    }
    auto isOld = [&](int i) { return oldEvery == 0 ? i == 12345 : i % oldEvery != 0; };
    int old = 0;
    for (int i = 0; i < entries; ++i) {
        fakeNow = isOld(i) ? 1000 : 100000;
        old += isOld(i);
        QVERIFY(tunnel_connection_store(uint32_t(i), htons(3074), ip("1.2.3.4"), htons(3074), ids[size_t(i)],
                                        fakeNow));
    }

    QElapsedTimer t;
    t.start();
    QCOMPARE(tunnel_connection_expire(200000, 120000), old);
    // A cleanup runs inside the capture loop: it must not stall it.
    QVERIFY2(t.elapsed() < 10000, qPrintable(QString::number(t.elapsed())));
    for (int i = 0; i < entries; ++i) {
        ConnectionEntry e;
        const bool live = !isOld(i);
        QCOMPARE(bool(tunnel_connection_find(ids[size_t(i)], &e)), live);
        QCOMPARE(bool(tunnel_connection_find_source(uint32_t(i), htons(3074), nullptr)), live);
        if (live)
            QCOMPARE(e.src_addr, uint32_t(i));
    }
    uint32_t bySource = 0, byConn = 0;
    tunnel_connection_counts(&bySource, &byConn);
    QCOMPARE(int(byConn), entries - old);
    QCOMPARE(int(bySource), entries - old);
    quorlix_clock_set(nullptr, nullptr);
    tunnel_connection_reset();
}

QTEST_GUILESS_MAIN(TestLoopTimers)
#include "tst_loop_timers.moc"
