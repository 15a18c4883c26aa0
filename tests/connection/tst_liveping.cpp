// The live ping (what a run of the tool reads as, one run at a time, samples
// for the session) and the packet-loss figure from the engine's counters.

#include "connection/LivePing.h"
#include "connection/SessionManager.h"
#include "engine/qt/TunnelClient.h"
#include "storage/DatabaseManager.h"
#include "support/faketools/FakeRunner.h"
#include "support/faketunnel/FakeTunnelEngine.h"

#include <QtTest>

#include <memory>

using SystemTools::ToolCommand;
using SystemTools::ToolResult;

namespace {

const QString kRelay = QStringLiteral("127.0.0.12");

// The Linux tool's text as the runner hands it over (Windows wording).
QString normalised(const QString &linuxText)
{
    return FakeRunner::exited(SystemTools::livePingCommand(kRelay), 0, linuxText).output;
}

} // namespace

class TestLivePing : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void parseOutput_data();
    void parseOutput();
    void measurementFeedsTheSession_data();
    void measurementFeedsTheSession();
    void refusedOrEmptyAddressShowsZero_data();
    void refusedOrEmptyAddressShowsZero();
    void oneRunAtATime();
    void resetKillsTheRunningPing();
    void lossText_data();
    void lossText();
    void lossMeterFollowsTheTunnel();

private:
    QTemporaryDir m_dir;
};

void TestLivePing::initTestCase()
{
    QVERIFY(DatabaseManager::instance()->initialize(m_dir.path()));
}

void TestLivePing::parseOutput_data()
{
    QTest::addColumn<QString>("output");
    QTest::addColumn<int>("value");
    QTest::addColumn<double>("jitter");

    QTest::newRow("three replies") << normalised(FakeRunner::linuxPingText(kRelay, {"24.3", "31.9", "28.1"}))
                                   << 27 << 7.0;
    QTest::newRow("sub-millisecond replies")
        << normalised(FakeRunner::linuxPingText(kRelay, {"0.041", "0.052", "0.060"})) << 1 << 0.0;
    QTest::newRow("no reply") << normalised(FakeRunner::linuxPingText(kRelay, {})) << 0 << 0.0;
    QTest::newRow("only the summary")
        << "Ping statistics for 1.2.3.4:\r\n    Minimum = 40ms, Maximum = 50ms, "
           "Average = 45ms\r\n"
        << 45 << 0.0;
    QTest::newRow("summary of zero") << "Average = 0ms" << 0 << 0.0;
    QTest::newRow("mixed fast and slow replies, any case")
        << "Reply from 1.2.3.4: bytes=32 time<1ms TTL=57\r\nReply from 1.2.3.4: bytes=32 time=2ms TTL=57\r\n"
           "Reply from 1.2.3.4: bytes=32 TIME=3ms TTL=57\r\n"
        << 2 << 2.0;
    QTest::newRow("Persian replies")
        << QStringLiteral(
               "پاسخ از 1.2.3.4: بایت=32 زمان=40ms TTL=57\r\nپاسخ از 1.2.3.4: بایت=32 زمان=44ms TTL=57\r\n")
        << 42 << 4.0;
    QTest::newRow("Persian sub-millisecond")
        << QStringLiteral("پاسخ از 1.2.3.4: بایت=32 زمان<1ms TTL=57\r\n") << 1 << 0.0;
    QTest::newRow("Persian summary") << QStringLiteral("حداقل = 30ms، حداکثر = 36ms، میانگین = 33ms") << 33
                                     << 0.0;
    QTest::newRow("nothing") << QString() << 0 << 0.0;
}

void TestLivePing::parseOutput()
{
    QFETCH(QString, output);
    const PingReading reading = parsePingOutput(output);
    QTEST(reading.value, "value");
    QTEST(reading.jitter, "jitter");
}

void TestLivePing::measurementFeedsTheSession_data()
{
    QTest::addColumn<QStringList>("replies");
    QTest::addColumn<int>("shown");
    QTest::addColumn<int>("samples");

    QTest::newRow("a reading") << QStringList{"24", "31", "28"} << 27 << 1;
    QTest::newRow("no reply adds no sample") << QStringList{} << 0 << 0;
}

void TestLivePing::measurementFeedsTheSession()
{
    QFETCH(QStringList, replies);
    QFETCH(int, shown);
    QFETCH(int, samples);

    FakeRunner runner([&replies](const ToolCommand &c) {
        return FakeRunner::reply(FakeRunner::exited(c, replies.isEmpty() ? 1 : 0,
                                                    FakeRunner::linuxPingText(c.arguments.last(), replies)));
    });
    SessionManager sessions;
    sessions.startSession(QStringLiteral("Game"), QString(), QString());
    LivePing ping(&runner, [] { return QStringLiteral(" 127.0.0.12 "); });
    ping.setSessionManager(&sessions);
    QSignalSpy changed(&ping, &LivePing::pingChanged);
    ping.measure();
    QTRY_COMPARE(changed.size(), 1);
    QCOMPARE(changed.first().first().toInt(), shown);
    QCOMPARE(sessions.currentSession().sampleCount, samples);
    if (samples)
        QCOMPARE(sessions.currentSession().averageJitter, 7.0);
    QCOMPARE(runner.commands().size(), 1);
    QCOMPARE(runner.commands().first().arguments.last(), kRelay);
    sessions.endSession();
}

void TestLivePing::refusedOrEmptyAddressShowsZero_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("commands");

    QTest::newRow("empty") << "  " << 0;
    QTest::newRow("host name") << "relay.example" << 1;
    QTest::newRow("option-like") << "-f" << 1;
}

void TestLivePing::refusedOrEmptyAddressShowsZero()
{
    QFETCH(QString, address);
    FakeRunner runner([](const ToolCommand &c) {
        return FakeRunner::reply(FakeRunner::exited(c, 0, FakeRunner::linuxPingText(kRelay, {"5"})));
    });
    LivePing ping(&runner, [address] { return address; });
    QSignalSpy changed(&ping, &LivePing::pingChanged);
    ping.measure();
    QTRY_COMPARE(changed.size(), 1);
    QCOMPARE(changed.first().first().toInt(), 0);
    QTEST(int(runner.commands().size()), "commands");
    for (const ToolCommand &c : runner.commands())
        QVERIFY(!c.isValid());
}

void TestLivePing::oneRunAtATime()
{
    int started = 0;
    FakeRunner runner([&started](const ToolCommand &c) {
        ++started;
        // Each run takes longer than a tick, as three requests a second apart do.
        return FakeRunner::reply(
            FakeRunner::exited(c, 0, FakeRunner::linuxPingText(c.arguments.last(), {"9"})), 90);
    });
    LivePing ping(&runner, [] { return kRelay; });
    ping.setTickInterval(20);
    QSignalSpy changed(&ping, &LivePing::pingChanged);
    ping.start();
    QCOMPARE(started, 1); // one at once
    QVERIFY(ping.isMeasuring());
    QTRY_VERIFY(changed.size() >= 2);
    // Ticks that found a run going started nothing.
    QVERIFY2(started <= int(changed.size()) + 1, qPrintable(QString::number(started)));
    QCOMPARE(changed.last().first().toInt(), 9);
    ping.reset();
}

void TestLivePing::resetKillsTheRunningPing()
{
    FakeRunner runner([](const ToolCommand &) { return FakeRunner::hang(); });
    LivePing ping(&runner, [] { return kRelay; });
    ping.setTickInterval(10);
    QSignalSpy changed(&ping, &LivePing::pingChanged);
    ping.start();
    QVERIFY(ping.isMeasuring());
    ping.reset();
    QCOMPARE(runner.jobsKilled(), 1);
    QVERIFY(!ping.isMeasuring());
    QVERIFY(!ping.isTicking());
    QCOMPARE(changed.size(), 1);
    QCOMPARE(changed.first().first().toInt(), 0);
    QTest::qWait(50);
    // The killed run reports nothing and no tick starts another.
    QCOMPARE(changed.size(), 1);
    QCOMPARE(runner.commands().size(), 1);
}

void TestLivePing::lossText_data()
{
    QTest::addColumn<quint64>("acked");
    QTest::addColumn<quint64>("lost");
    QTest::addColumn<quint64>("ackedBase");
    QTest::addColumn<quint64>("lostBase");
    QTest::addColumn<QString>("text");

    QTest::newRow("too few, some lost")
        << quint64(115) << quint64(13) << quint64(100) << quint64(10) << "--%";
    QTest::newRow("38 acked, 2 lost") << quint64(38) << quint64(2) << quint64(0) << quint64(0) << "5%";
    QTest::newRow("nothing lost") << quint64(500) << quint64(0) << quint64(0) << quint64(0) << "0%";
    QTest::newRow("too few, none lost") << quint64(5) << quint64(0) << quint64(0) << quint64(0) << "0%";
    QTest::newRow("half rounds up") << quint64(39) << quint64(1) << quint64(0) << quint64(0) << "3%";
    QTest::newRow("just below half") << quint64(1000) << quint64(4) << quint64(0) << quint64(0) << "0%";
    QTest::newRow("all lost") << quint64(0) << quint64(20) << quint64(0) << quint64(0) << "100%";
    QTest::newRow("counters below the baseline")
        << quint64(3) << quint64(1) << quint64(900) << quint64(40) << "0%";
    QTest::newRow("huge counters") << quint64(1) << quint64(Q_UINT64_C(0xFFFFFFFFFFFFFFF0)) << quint64(0)
                                   << quint64(0) << "100%";
}

void TestLivePing::lossText()
{
    QFETCH(quint64, acked);
    QFETCH(quint64, lost);
    QFETCH(quint64, ackedBase);
    QFETCH(quint64, lostBase);
    QTEST(PacketLossMeter::lossText(acked, lost, ackedBase, lostBase), "text");
}

void TestLivePing::lossMeterFollowsTheTunnel()
{
    FakeTunnelEngine::reset();
    FakeRunner runner;
    TunnelClient client(FakeTunnelEngine::api(), &runner);
    client.setServer(kRelay, 50000);
    QVERIFY(client.start());
    QTRY_VERIFY(FakeTunnelEngine::record().mainsEntered.load() >= 1);
    auto &c = FakeTunnelEngine::controls();
    c.txAcked = 1000;
    c.txLost = 100;

    qint64 now = 1000000;
    PacketLossMeter meter(&client);
    meter.setClock([&now] { return now; });
    meter.setTickInterval(5);
    QSignalSpy shown(&meter, &PacketLossMeter::lossChanged);
    meter.startSampling();
    QCOMPARE(shown.last().first().toString(), QStringLiteral("0%"));

    // Heavy loss during the first 3000 ms still reads 0%.
    c.txAcked = 1010;
    c.txLost = 130;
    now += 2999;
    meter.update();
    QCOMPARE(shown.last().first().toString(), QStringLiteral("0%"));
    now += 1;
    meter.update();
    QCOMPARE(shown.last().first().toString(), QStringLiteral("75%")); // 30 lost of 40 since the start

    // A second start keeps the first baselines.
    meter.startSampling();
    meter.update();
    QCOMPARE(shown.last().first().toString(), QStringLiteral("75%"));
    QTRY_VERIFY(shown.size() >= 6); // the ticks run

    client.stop();
    meter.update();
    QCOMPARE(shown.last().first().toString(), QStringLiteral("0%"));
    meter.reset();
    QVERIFY(!meter.isSampling());
    QCOMPARE(shown.last().first().toString(), QStringLiteral("0%"));
}

QTEST_GUILESS_MAIN(TestLivePing)
#include "tst_liveping.moc"
