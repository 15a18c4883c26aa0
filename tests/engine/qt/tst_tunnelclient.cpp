// TunnelClient against a scripted engine: the record each run hands over, the
// one-run MTU, the DNS flush (skipped without domains, bounded, cut short by a
// stop), the counters, and stopping: idle, during preparation, just before the
// engine's own start-up, and from the destructor.

#include "engine/qt/TunnelClient.h"
#include "support/faketools/FakeRunner.h"
#include "support/faketunnel/FakeTunnelEngine.h"

#include <QtTest>

#include <cstdlib>
#include <memory>

using SystemTools::ToolCommand;

namespace {

struct RecordDeleter
{
    void operator()(TunnelRuntimeConfig *p) const { std::free(p); }
};
using RecordPtr = std::unique_ptr<TunnelRuntimeConfig, RecordDeleter>;

RecordPtr fill(const TunnelClient::RunSettings &s)
{
    RecordPtr r(static_cast<TunnelRuntimeConfig *>(std::calloc(1, sizeof(TunnelRuntimeConfig))));
    TunnelClient::fillRuntimeConfig(r.get(), s);
    return r;
}

const TunnelRuntimeConfig *lastRecord(QByteArray &holder)
{
    holder = FakeTunnelEngine::lastConfig();
    return holder.size() == int(sizeof(TunnelRuntimeConfig))
               ? reinterpret_cast<const TunnelRuntimeConfig *>(holder.constData())
               : nullptr;
}

} // namespace

class TestTunnelClient : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void runtimeRecord_data();
    void runtimeRecord();
    void domainsAreTrimmedAndLowerCased();
    void runHandsOverSettingsInOrder();
    void defaultsReachTheEngine();
    void flagsReachTheEngine_data();
    void flagsReachTheEngine();
    void mtuServesOneRun();
    void dnsFlushOnlyWithDomains();
    void countersOnlyWhileRunning();
    void idleStopCallsNothing();
    void secondStartKeepsOneEngine();
    void stopDuringFlushKeepsEngineFromStarting();
    void quickStartStopCyclesNeverDoubleAnEngine();
    void hungFlushIsBounded();
    void stopIsNotLostBeforeEngineStartUp();
    void engineStartFailureLeavesThreadIdle();
    void destructorStopsTheEngine();
    void destructorLeavesAStuckEngineRunning();
    void destructorAfterATimedOutStop();

private:
    std::unique_ptr<FakeRunner> m_runnerHolder;
};

void TestTunnelClient::init()
{
    FakeTunnelEngine::reset();
    m_runnerHolder = std::make_unique<FakeRunner>();
}

void TestTunnelClient::runtimeRecord_data()
{
    QTest::addColumn<int>("domainCount");
    QTest::addColumn<int>("domainLength");
    QTest::addColumn<int>("addressLength");
    QTest::addColumn<int>("udpCount");
    QTest::addColumn<int>("expectedDomains");
    QTest::addColumn<int>("expectedDomainLength");
    QTest::addColumn<int>("expectedAddressLength");
    QTest::addColumn<int>("expectedUdp");

    QTest::newRow("ordinary") << 3 << 11 << 11 << 4 << 3 << 11 << 11 << 4;
    QTest::newRow("300 domains") << 300 << 10 << 11 << 1 << 128 << 10 << 11 << 1;
    QTest::newRow("200-character domain") << 1 << 200 << 11 << 1 << 1 << 127 << 11 << 1;
    QTest::newRow("300-character address") << 1 << 10 << 300 << 1 << 1 << 10 << 254 << 1;
    QTest::newRow("70000 ports") << 1 << 10 << 11 << 70000 << 1 << 10 << 11 << 65536;
    QTest::newRow("nothing") << 0 << 0 << 0 << 0 << 0 << 0 << 0 << 0;
}

void TestTunnelClient::runtimeRecord()
{
    QFETCH(int, domainCount);
    QFETCH(int, domainLength);
    QFETCH(int, addressLength);
    QFETCH(int, udpCount);
    QFETCH(int, expectedDomains);
    QFETCH(int, expectedDomainLength);
    QFETCH(int, expectedAddressLength);
    QFETCH(int, expectedUdp);

    TunnelClient::RunSettings s;
    s.serverAddress = QString(addressLength, QLatin1Char('7'));
    s.serverPort = 50123;
    for (int i = 0; i < domainCount; ++i)
        s.domains << QString(domainLength, QLatin1Char('a' + i % 26));
    for (int i = 0; i < udpCount; ++i)
        s.udpPorts << (i % 65535) + 1;
    s.tcpPorts = {80, 443, 53};
    s.tcpEnabled = true;
    s.debugMode = false;
    s.mtu = 1398;

    const RecordPtr r = fill(s);
    QCOMPARE(int(qstrnlen(r->entry_host, QUORLIX_HOST_LEN)), expectedAddressLength);
    QCOMPARE(r->entry_host[expectedAddressLength], '\0');
    QCOMPARE(r->entry_port, 50123);
    QCOMPARE(QByteArray(r->game_profile), QByteArrayLiteral("custom"));
    QCOMPARE(r->app_domain_count, expectedDomains);
    for (int i = 0; i < expectedDomains; ++i) {
        QCOMPARE(int(qstrnlen(r->app_domains[i], QUORLIX_DOMAIN_LEN)), expectedDomainLength);
        QCOMPARE(r->app_domains[i][expectedDomainLength], '\0');
    }
    QCOMPARE(r->udp_port_count, expectedUdp);
    if (expectedUdp > 0) {
        QCOMPARE(r->udp_ports[0], 1u);
        QCOMPARE(r->udp_ports[expectedUdp - 1], uint32_t(((expectedUdp - 1) % 65535) + 1));
    }
    QCOMPARE(r->tcp_port_count, 3);
    QCOMPARE(r->tcp_ports[2], 53u);
    QCOMPARE(r->app_ip_count, 0);
    QCOMPARE(r->enable_tcp, 1u);
    QCOMPARE(r->debug_mode, 0u);
    QCOMPARE(r->mtu, 1398u);
}

void TestTunnelClient::domainsAreTrimmedAndLowerCased()
{
    TunnelClient client(FakeTunnelEngine::api(), m_runnerHolder.get());
    client.setDomains({QStringLiteral(" Foo.COM "), QString(), QStringLiteral("   ")});
    QCOMPARE(client.domains(), QStringList{"foo.com"});
    client.setDomains({QStringLiteral("*.Discord.com"), QStringLiteral("\tdiscord.com\n")});
    QCOMPARE(client.domains(), (QStringList{"*.discord.com", "discord.com"}));

    // A multi-byte name is cut on a character boundary, never inside one.
    TunnelClient::RunSettings s;
    s.domains << QString(126, QLatin1Char('a')) + QString::fromUtf8("é");
    const RecordPtr r = fill(s);
    QCOMPARE(int(qstrlen(r->app_domains[0])), 126);
}

void TestTunnelClient::runHandsOverSettingsInOrder()
{
    QTemporaryDir dir;
    TunnelClient client(FakeTunnelEngine::api(), m_runnerHolder.get());
    client.setWorkingDirectory(dir.path());
    client.setServer(QStringLiteral("127.0.0.1"), 50000);
    client.setDomains({QStringLiteral("Game.Test")});
    client.setPorts({27015, 53}, {80, 443, 53}, true);
    client.setMtu(1398);
    client.setDebugMode(false);
    QVERIFY(client.start());
    QTRY_COMPARE(FakeTunnelEngine::record().mainsEntered.load(), 1);
    QCOMPARE(FakeTunnelEngine::calls(), (QStringList{"config", "mtu", "reset", "main"}));
    QCOMPARE(FakeTunnelEngine::mainWorkingDirectory(), QDir(dir.path()).canonicalPath());

    QByteArray holder;
    const TunnelRuntimeConfig *r = lastRecord(holder);
    QVERIFY(r);
    QCOMPARE(QByteArray(r->entry_host), QByteArrayLiteral("127.0.0.1"));
    QCOMPARE(r->entry_port, 50000);
    QCOMPARE(r->udp_port_count, 2);
    QCOMPARE(r->udp_ports[0], 27015u);
    QCOMPARE(QByteArray(r->app_domains[0]), QByteArrayLiteral("game.test"));
    QCOMPARE(FakeTunnelEngine::record().lastMtuSafe.load(), 1398);
    QVERIFY(client.stop());
}

void TestTunnelClient::defaultsReachTheEngine()
{
    // A client nobody configured still hands the engine a complete record:
    // port 50000, TCP on, verbose, MTU 1200, the "custom" profile.
    TunnelClient client(FakeTunnelEngine::api(), m_runnerHolder.get());
    QVERIFY(client.start());
    QTRY_COMPARE(FakeTunnelEngine::record().mainsEntered.load(), 1);
    QByteArray holder;
    const TunnelRuntimeConfig *r = lastRecord(holder);
    QVERIFY(r);
    QCOMPARE(QByteArray(r->entry_host), QByteArray());
    QCOMPARE(r->entry_port, 50000);
    QCOMPARE(QByteArray(r->game_profile), QByteArrayLiteral("custom"));
    QCOMPARE(r->enable_tcp, 1u);
    QCOMPARE(r->debug_mode, 1u);
    QCOMPARE(r->mtu, 1200u);
    QCOMPARE(FakeTunnelEngine::record().lastMtuSafe.load(), 1200);
    QCOMPARE(r->udp_port_count, 0);
    QCOMPARE(r->tcp_port_count, 0);
    QCOMPARE(r->app_ip_count, 0);
    QCOMPARE(r->app_domain_count, 0);
    QVERIFY(client.stop());
}

void TestTunnelClient::flagsReachTheEngine_data()
{
    QTest::addColumn<bool>("tcp");
    QTest::addColumn<bool>("debug");
    QTest::newRow("tcp on, verbose") << true << true;
    QTest::newRow("tcp on, quiet") << true << false;
    QTest::newRow("tcp off, verbose") << false << true;
    QTest::newRow("tcp off, quiet") << false << false;
}

void TestTunnelClient::flagsReachTheEngine()
{
    QFETCH(bool, tcp);
    QFETCH(bool, debug);
    TunnelClient client(FakeTunnelEngine::api(), m_runnerHolder.get());
    client.setServer(QStringLiteral("127.0.0.1"), 50001);
    client.setPorts({27015}, {443}, tcp);
    client.setDebugMode(debug);
    QVERIFY(client.start());
    QTRY_COMPARE(FakeTunnelEngine::record().mainsEntered.load(), 1);
    QByteArray holder;
    const TunnelRuntimeConfig *r = lastRecord(holder);
    QVERIFY(r);
    QCOMPARE(r->enable_tcp, tcp ? 1u : 0u);
    QCOMPARE(r->debug_mode, debug ? 1u : 0u);
    QCOMPARE(r->entry_port, 50001);
    QCOMPARE(r->tcp_port_count, 1);
    QCOMPARE(r->tcp_ports[0], 443u);
    QVERIFY(client.stop());
}

void TestTunnelClient::mtuServesOneRun()
{
    TunnelClient client(FakeTunnelEngine::api(), m_runnerHolder.get());
    client.setServer(QStringLiteral("127.0.0.1"), 50000);
    QByteArray holder;

    const QList<QPair<int, int>> runs = {{0, 1200}, {1300, 1300}, {0, 1200}};
    int run = 0;
    for (const auto &[set, expected] : runs) {
        if (set)
            client.setMtu(set);
        QVERIFY(client.start());
        ++run;
        QTRY_COMPARE(FakeTunnelEngine::record().mainsEntered.load(), run);
        QCOMPARE(FakeTunnelEngine::record().lastMtuSafe.load(), expected);
        QCOMPARE(int(lastRecord(holder)->mtu), expected);
        QVERIFY(client.stop());
    }
}

void TestTunnelClient::dnsFlushOnlyWithDomains()
{
    TunnelClient client(FakeTunnelEngine::api(), m_runnerHolder.get());
    QVERIFY(client.start());
    QTRY_COMPARE(FakeTunnelEngine::record().mainsEntered.load(), 1);
    QVERIFY(client.stop());
    QVERIFY(m_runnerHolder->commands().isEmpty());

    client.setDomains({QStringLiteral("discord.com")});
    QVERIFY(client.start());
    QTRY_COMPARE(FakeTunnelEngine::record().mainsEntered.load(), 2);
    QVERIFY(client.stop());
    const QList<ToolCommand> commands = m_runnerHolder->commands();
    QCOMPARE(commands.size(), 1);
    QCOMPARE(commands.first().kind, SystemTools::ToolKind::DnsFlush);
    QCOMPARE(commands.first().program, SystemTools::dnsFlushCommand().program);
    QVERIFY(commands.first().timeoutMs > 0);
}

void TestTunnelClient::countersOnlyWhileRunning()
{
    auto &c = FakeTunnelEngine::controls();
    c.bytesSent = 1000;
    c.bytesReceived = 2000;
    c.txSent = 30;
    c.txAcked = 25;
    c.txLost = 5;
    TunnelClient client(FakeTunnelEngine::api(), m_runnerHolder.get());
    auto all = [&client] {
        return QList<quint64>{client.bytesSent(), client.bytesReceived(), client.txSent(), client.txAcked(),
                              client.txLost()};
    };
    QCOMPARE(all(), (QList<quint64>{0, 0, 0, 0, 0}));
    QVERIFY(client.start());
    QTRY_COMPARE(FakeTunnelEngine::record().mainsEntered.load(), 1);
    QCOMPARE(all(), (QList<quint64>{1000, 2000, 30, 25, 5}));
    c.txAcked = 26;
    QCOMPARE(client.txAcked(), quint64(26));
    QVERIFY(client.stop());
    QCOMPARE(all(), (QList<quint64>{0, 0, 0, 0, 0}));
}

void TestTunnelClient::idleStopCallsNothing()
{
    TunnelClient client(FakeTunnelEngine::api(), m_runnerHolder.get());
    QVERIFY(!client.isRunning());
    QVERIFY(!client.stop());
    QCOMPARE(FakeTunnelEngine::record().stops.load(), 0);
    QVERIFY(FakeTunnelEngine::calls().isEmpty());
}

void TestTunnelClient::secondStartKeepsOneEngine()
{
    TunnelClient client(FakeTunnelEngine::api(), m_runnerHolder.get());
    QVERIFY(client.start());
    QVERIFY(client.start());
    QTRY_COMPARE(FakeTunnelEngine::record().mainsEntered.load(), 1);
    QVERIFY(client.start());
    QTest::qWait(50);
    QCOMPARE(FakeTunnelEngine::record().mainsEntered.load(), 1);
    QVERIFY(client.isRunning());
    QVERIFY(client.stop());
    QVERIFY(!client.isRunning());
    QCOMPARE(FakeTunnelEngine::record().mainsReturned.load(), 1);
}

void TestTunnelClient::stopDuringFlushKeepsEngineFromStarting()
{
    m_runnerHolder->setScript([](const ToolCommand &) { return FakeRunner::hang(); });
    TunnelClient client(FakeTunnelEngine::api(), m_runnerHolder.get());
    // A flush limit no stop comes near, even on a busy machine.
    const int flushLimitMs = 60000;
    client.setDnsFlushTimeout(flushLimitMs);
    client.setDomains({QStringLiteral("discord.com")});
    QVERIFY(client.start());
    QTRY_COMPARE(m_runnerHolder->commands().size(), 1); // the flush is under way
    QElapsedTimer clock;
    clock.start();
    QVERIFY(client.stop());
    QVERIFY2(clock.elapsed() < flushLimitMs / 2, "a stop must cut the flush short");
    QCOMPARE(m_runnerHolder->jobsKilled(), 1);
    QCOMPARE(FakeTunnelEngine::record().mainsEntered.load(), 0);
    QCOMPARE(FakeTunnelEngine::record().configs.load(), 0);
}

void TestTunnelClient::quickStartStopCyclesNeverDoubleAnEngine()
{
    // A stop can land before the thread's event loop ran the queued start of
    // the engine; that run must then never happen, not even at a later start.
    TunnelClient client(FakeTunnelEngine::api(), m_runnerHolder.get());
    const int cycles = 30;
    for (int i = 0; i < cycles; ++i) {
        QVERIFY(client.start());
        QVERIFY(client.stop());
    }
    QVERIFY(client.start());
    QTRY_VERIFY(FakeTunnelEngine::record().mainsEntered.load() >= 1);
    QTest::qWait(50);
    QVERIFY(client.isRunning());
    QVERIFY(FakeTunnelEngine::record().mainsEntered.load() <= cycles + 1);
    QCOMPARE(FakeTunnelEngine::record().mainsEntered.load() - FakeTunnelEngine::record().mainsReturned.load(),
             1);
    QVERIFY(client.stop());
    QCOMPARE(FakeTunnelEngine::record().mainsEntered.load(), FakeTunnelEngine::record().mainsReturned.load());
}

void TestTunnelClient::hungFlushIsBounded()
{
    m_runnerHolder->setScript([](const ToolCommand &) { return FakeRunner::hang(); });
    TunnelClient client(FakeTunnelEngine::api(), m_runnerHolder.get());
    client.setDnsFlushTimeout(100);
    client.setDomains({QStringLiteral("discord.com")});
    QVERIFY(client.start());
    // Well past the 100 ms asked for, yet short of the 5 s default limit.
    QTRY_COMPARE_WITH_TIMEOUT(FakeTunnelEngine::record().mainsEntered.load(), 1, 4000);
    QVERIFY(client.stop());
}

void TestTunnelClient::stopIsNotLostBeforeEngineStartUp()
{
    // The stop arrives after the run passed its stop check but before the
    // engine cleared its own stop flag: the first engine stop is wiped out.
    FakeTunnelEngine::controls().startupMs = 200;
    TunnelClient client(FakeTunnelEngine::api(), m_runnerHolder.get());
    QVERIFY(client.start());
    QTRY_COMPARE(FakeTunnelEngine::record().mainsEntered.load(), 1);
    QVERIFY(client.stop());
    QVERIFY(!client.isRunning());
    QCOMPARE(FakeTunnelEngine::record().mainsReturned.load(), 1);
    QVERIFY(FakeTunnelEngine::record().stops.load() >= 2);
}

void TestTunnelClient::engineStartFailureLeavesThreadIdle()
{
    FakeTunnelEngine::controls().failStartup = true;
    TunnelClient client(FakeTunnelEngine::api(), m_runnerHolder.get());
    QVERIFY(client.start());
    QTRY_COMPARE(FakeTunnelEngine::record().mainsReturned.load(), 1);
    QTest::qWait(30);
    QVERIFY(client.isRunning()); // idle until stopped; the DNS check finds the dead tunnel
    QVERIFY(client.stop());
    QVERIFY(!client.isRunning());
}

void TestTunnelClient::destructorStopsTheEngine()
{
    auto client = std::make_unique<TunnelClient>(FakeTunnelEngine::api(), m_runnerHolder.get());
    QVERIFY(client->start());
    QTRY_COMPARE(FakeTunnelEngine::record().mainsEntered.load(), 1);
    const QPointer<QThread> thread = FakeTunnelEngine::record().mainThread.load();
    QVERIFY(thread);
    client.reset();
    QCOMPARE(FakeTunnelEngine::record().mainsReturned.load(), 1);
    QVERIFY(thread.isNull()); // the ended thread went with its owner
}

void TestTunnelClient::destructorLeavesAStuckEngineRunning()
{
    FakeTunnelEngine::controls().ignoreStops = true;
    auto client = std::make_unique<TunnelClient>(FakeTunnelEngine::api(), m_runnerHolder.get());
    client->setStopWait(150);
    QVERIFY(client->start());
    QTRY_COMPARE(FakeTunnelEngine::record().mainsEntered.load(), 1);
    const QPointer<QThread> thread = FakeTunnelEngine::record().mainThread.load();
    QVERIFY(thread);
    QElapsedTimer clock;
    clock.start();
    client.reset(); // must neither hang nor destroy the running thread
    QVERIFY(clock.elapsed() < 2000);
    QCOMPARE(FakeTunnelEngine::record().mainsReturned.load(), 0);
    QVERIFY(!thread.isNull());
    QVERIFY(thread->isRunning());
    FakeTunnelEngine::controls().ignoreStops = false;
    QTRY_COMPARE(FakeTunnelEngine::record().mainsReturned.load(), 1);
    QTRY_VERIFY(thread.isNull()); // the thread ends and deletes itself: nothing leaks
}

void TestTunnelClient::destructorAfterATimedOutStop()
{
    // stop gave up on a stuck engine; the client is destroyed while the
    // engine is still stuck, and later the engine ends after all.
    FakeTunnelEngine::controls().ignoreStops = true;
    auto client = std::make_unique<TunnelClient>(FakeTunnelEngine::api(), m_runnerHolder.get());
    client->setStopWait(100);
    QVERIFY(client->start());
    QTRY_COMPARE(FakeTunnelEngine::record().mainsEntered.load(), 1);
    const QPointer<QThread> thread = FakeTunnelEngine::record().mainThread.load();
    QVERIFY(!client->stop());
    QVERIFY(client->isRunning());
    QVERIFY(client->start()); // still running: no second engine
    client.reset();
    QVERIFY(!thread.isNull());
    FakeTunnelEngine::controls().ignoreStops = false;
    QTRY_VERIFY(thread.isNull());
    QCOMPARE(FakeTunnelEngine::record().mainsEntered.load(), 1);
    QCOMPARE(FakeTunnelEngine::record().mainsReturned.load(), 1);
}

QTEST_GUILESS_MAIN(TestTunnelClient)
#include "tst_tunnelclient.moc"
