// The PC connect flow against fakes: a recording tunnel, a scripted ping and
// nslookup (an answer only while the tunnel is set to a relay that works),
// in-memory relay lists, selected relay and route cache. Covers the happy
// path, failover, refusals, the traffic handed to the tunnel, and that a
// stop in any phase leaves nothing running and nothing starting later.

#include "connection/ConnectFlow.h"
#include "connection/MtuProbe.h"
#include "connection/SessionManager.h"
#include "storage/DatabaseManager.h"
#include "support/faketools/DebugLog.h"
#include "support/faketools/FakeRunner.h"
#include "support/faketunnel/RecordingTunnel.h"

#include <QtTest>

#include <memory>

using SystemTools::ToolCommand;
using SystemTools::ToolKind;

namespace {

class MemoryRelayStore : public RelayChoice::SelectedRelayStore
{
public:
    bool connectionMode() const override { return automatic; }
    QString serverIp() const override { return ip; }
    int serverPort() const override { return port; }
    void setServer(const QString &k, const QString &i, const QString &n, const QString &cc) override
    {
        key = k;
        ip = i;
        name = n;
        countryCode = cc;
    }
    void setServerPort(int p) override { port = p; }
    void setConnectionMode(bool a) override { automatic = a; }

    bool automatic = true;
    QString ip, key, name, countryCode;
    int port = 0;
};

QVariantMap relay(const QString &id, const QString &address, int port = 50000)
{
    return {{"id", id},           {"name", "Relay " + id}, {"ip_address", address}, {"port", port},
            {"region", "Europe"}, {"country_code", "DE"},  {"status", "active"}};
}

// How the scripted tools behave.
struct Script
{
    QStringList goodRelays; // an nslookup answers while the tunnel points at one of these
    bool pingHangs = false;
    bool lookupHangs = false;
};

struct Fixture
{
    Fixture()
        : runner([this](const ToolCommand &c) { return answer(c); }), probe(&runner),
          state(std::make_shared<ConnectFlowState>())
    {
        services.tunnel = &tunnel;
        services.mtuProbe = &probe;
        services.sessions = &sessions;
        services.relays.activeServersInRegion = [this](const QString &region) {
            ++regionLookups;
            return region == QLatin1String("Europe") ? europe : QList<QVariantMap>();
        };
        services.relays.activeServers = [this] { return europe; };
        services.relays.pings = [] { return QHash<QString, int>(); };
        services.relayStore = &store;
        services.gameTitle = [this] { return title; };
        services.gameLogo = [] { return QStringLiteral("/uploads/logo.png"); };
        services.findGameMeta = [this](const QString &t) { return t == title ? meta : QVariantMap(); };
        services.gameTraffic = [](const QString &, const QVariantMap &m) {
            return GamePorts::recordTraffic(m);
        };
        services.isConsoleGame = [this](const QString &) { return consoleSelected; };
        services.makeDnsVerifier = [this](DnsVerifier::TunnelCheck check, QObject *parent) {
            auto *v = new DnsVerifier(&runner, std::move(check), DnsVerifier::chatDomain(), parent);
            v->setIntervals({60, 10});
            return v;
        };
        services.routeCache.gameId = [](const QString &t) {
            return t == QLatin1String("Game") ? QStringLiteral("g1") : QString();
        };
        services.routeCache.row = [](const QString &gameId, const QString &region, const QString &fp) {
            return QVariantMap{{"cache_key", gameId + '|' + region + '|' + fp}};
        };
        services.routeCache.remove = [this](const QString &key) { removedRows << key; };
        services.networkFingerprint = [] { return QStringLiteral("fp1"); };
        services.workingDirectory = QStringLiteral("/opt/quorlix");
        meta = {{"name", "Game"},
                {"executable", "game.exe"},
                {"udp_ports", QStringList{"27015-27030"}},
                {"tcp_ports", QStringList{"27015"}},
                {"domains", QStringList{"game.example"}}};
        europe = {relay("r1", "127.0.0.11"), relay("r2", "127.0.0.12"), relay("r3", "127.0.0.13")};
        build();
    }

    void build()
    {
        flow = std::make_unique<ConnectFlow>(services, state);
        flow->setIntervals(intervals);
        QObject::connect(flow.get(), &ConnectFlow::buttonStateChanged,
                         [this](ButtonState s) { states << int(s); });
        QObject::connect(flow.get(), &ConnectFlow::refusal, [this](const QString &t) { texts << t; });
        QObject::connect(flow.get(), &ConnectFlow::refusalEnded,
                         [this] { texts << QStringLiteral("<reset>"); });
        QObject::connect(flow.get(), &ConnectFlow::failureShown, [this](const QString &t) { failures << t; });
        QObject::connect(flow.get(), &ConnectFlow::connectedClockStarted, [this] { ++clockStarts; });
        QObject::connect(flow.get(), &ConnectFlow::autoRelayChosen,
                         [this](const QVariantMap &r) { autoRelays << r.value("id").toString(); });
    }

    FakeRunner::Reply answer(const ToolCommand &c)
    {
        if (c.kind == ToolKind::Ping) {
            if (script.pingHangs)
                return FakeRunner::hang();
            return FakeRunner::reply(
                FakeRunner::exited(c, 0, FakeRunner::linuxPingText(c.arguments.last(), {"0.05"}, 1)));
        }
        lookupDelays << (tunnel.startedAt.isValid() ? tunnel.startedAt.elapsed() : -1);
        if (script.lookupHangs)
            return FakeRunner::hang();
        if (tunnel.running && script.goodRelays.contains(tunnel.server))
            return FakeRunner::reply(FakeRunner::exited(
                c, 0, FakeRunner::linuxNslookupAnswer(DnsVerifier::chatDomain(), "162.159.128.233")));
        return FakeRunner::reply(FakeRunner::exited(
            c, 1, QStringLiteral(";; connection timed out; no servers could be reached\n")));
    }

    int lookups() const
    {
        int n = 0;
        for (const ToolCommand &c : runner.commands())
            n += c.kind == ToolKind::Nslookup;
        return n;
    }

    Script script;
    FakeRunner runner;
    MtuProbe probe;
    RecordingTunnel tunnel;
    SessionManager sessions;
    MemoryRelayStore store;
    ConnectFlow::Services services;
    ConnectFlow::Intervals intervals{25, 60, 30, 40, 30};
    std::shared_ptr<ConnectFlowState> state;
    std::unique_ptr<ConnectFlow> flow;

    QString title = QStringLiteral("Game");
    QVariantMap meta;
    QList<QVariantMap> europe;
    bool consoleSelected = false;
    int regionLookups = 0;
    QStringList removedRows;
    QList<qint64> lookupDelays;
    QList<int> states;
    QStringList texts, failures, autoRelays;
    int clockStarts = 0;
};

const QString kFailed = QStringLiteral("Connection failed. Please try another server.");

} // namespace

class TestConnectFlow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void connectsAndDisconnects();
    void failoverThroughEuropeRelays();
    void manualModeFailsAtOnce();
    void tunnelThatDoesNotStartFailsOver();
    void refusals_data();
    void refusals();
    void trafficHandedToTheTunnel_data();
    void trafficHandedToTheTunnel();
    void secondStartWhileConnectingChangesNothing();
    void stopLeavesNothingRunning_data();
    void stopLeavesNothingRunning();
    void disconnectStopsTheRunningEngine();
    void pressDuringFailureDisplayKeepsTheNewAttempt();
    void retryWithoutARelayEndsIdle();
    void pressForAnotherGameConnectsIt();
    void failoverRetryKeepsItsGame();

private:
    QTemporaryDir m_dir;
};

void TestConnectFlow::initTestCase()
{
    // The session manager saves to the (isolated) data folder and metadata.
    QVERIFY(DatabaseManager::instance()->initialize(m_dir.path()));
}

void TestConnectFlow::connectsAndDisconnects()
{
    Fixture f;
    f.script.goodRelays = {"127.0.0.11"};
    QSignalSpy started(&f.sessions, &SessionManager::sessionStarted);
    QSignalSpy probed(&f.probe, &MtuProbe::finished);
    f.flow->press();
    QCOMPARE(f.states, QList<int>{1});
    QVERIFY(f.state->connecting);
    QTRY_VERIFY(f.state->connected);

    QCOMPARE(f.tunnel.calls, (QStringList{"stop", "resetStats", "setWorkingDirectory", "setServer",
                                          "setDomains", "setPorts", "setMtu", "setDebugMode", "start"}));
    QCOMPARE(f.tunnel.server, QStringLiteral("127.0.0.11"));
    QCOMPARE(f.tunnel.port, 50000);
    QCOMPARE(f.tunnel.workingDirectory, QStringLiteral("/opt/quorlix"));
    QCOMPARE(probed.size(), 1);
    QCOMPARE(f.tunnel.mtu, probed.first().at(1).toInt());
    QVERIFY(f.tunnel.mtu > 1400); // every probe step answered
    QVERIFY(f.tunnel.tcpEnabled);
    QVERIFY(!f.tunnel.debug);
    // The DNS check waits for the pause after the tunnel start.
    QCOMPARE(f.lookupDelays.size(), 1);
    QVERIFY2(f.lookupDelays.first() >= f.intervals.verifyDelayMs * 95 / 100,
             qPrintable(QString::number(f.lookupDelays.first())));

    // The automatic choice is written back as the selected relay.
    QCOMPARE(f.store.ip, QStringLiteral("127.0.0.11"));
    QCOMPARE(f.store.key, QStringLiteral("r1"));
    QCOMPARE(f.store.name, QStringLiteral("Relay r1"));
    QCOMPARE(f.store.port, 50000);
    QVERIFY(f.store.automatic);
    QCOMPARE(f.autoRelays, QStringList{"r1"});

    QCOMPARE(f.states, (QList<int>{1, 2}));
    QVERIFY(!f.state->connecting);
    QCOMPARE(f.clockStarts, 1);
    QCOMPARE(f.state->lastShownSecond, qint64(-1));
    QVERIFY(!f.state->failover.built);
    QCOMPARE(started.size(), 1);
    const SessionData s = f.sessions.currentSession();
    QCOMPARE(s.gameTitle, QStringLiteral("Game"));
    QCOMPARE(s.gameExecutable, QStringLiteral("game.exe"));
    QCOMPARE(s.gameLogoPath, QStringLiteral("/uploads/logo.png"));

    QSignalSpy clockStopped(f.flow.get(), &ConnectFlow::connectedClockStopped);
    QSignalSpy ended(&f.sessions, &SessionManager::sessionEnded);
    f.flow->press();
    QCOMPARE(f.tunnel.calls.last(), QStringLiteral("stop"));
    QVERIFY(!f.tunnel.running);
    QCOMPARE(ended.size(), 1);
    QCOMPARE(clockStopped.size(), 1);
    QCOMPARE(f.states.last(), 0);
    QVERIFY(!f.state->connected);
}

void TestConnectFlow::failoverThroughEuropeRelays()
{
    Fixture f;
    f.intervals.failureDisplayMs = 300; // long enough to look at the button while the failure shows
    f.build();
    DebugLog log(QStringLiteral("[Connect]"));
    f.flow->press();
    QTRY_COMPARE_WITH_TIMEOUT(f.failures.size(), 1, 10000);
    QCOMPARE(f.failures.first(), kFailed);
    QCOMPARE(f.tunnel.servers, (QStringList{"127.0.0.11", "127.0.0.12", "127.0.0.13"}));
    const QStringList failover = log.lines().filter(QStringLiteral("[Connect][Fail"));
    QCOMPARE(failover, (QStringList{"[Connect][Failover] Switching to next Europe server idx = 1",
                                    "[Connect][Failover] Switching to next Europe server idx = 2",
                                    "[Connect][Fail] DNS verification failed"}));
    QCOMPARE(f.removedRows, QStringList{"g1|Europe|fp1"});
    QVERIFY(!f.tunnel.running);
    // The button stays "connecting" through the retries, then goes idle after
    // the failure display.
    QVERIFY(!f.states.contains(0));
    QTRY_COMPARE(f.states.last(), 0);
    QVERIFY(!f.state->connecting);
    QVERIFY(!f.state->failover.built);
    QVERIFY(!f.sessions.isActive());

    // The next press builds the list afresh and starts with its first relay.
    const int lookupsBefore = f.regionLookups;
    f.script.goodRelays = {"127.0.0.11"};
    f.flow->press();
    QTRY_VERIFY(f.state->connected);
    QCOMPARE(f.regionLookups, lookupsBefore + 1);
    QCOMPARE(f.tunnel.servers.last(), QStringLiteral("127.0.0.11"));
}

void TestConnectFlow::manualModeFailsAtOnce()
{
    Fixture f;
    DebugLog log(QStringLiteral("[Connect]"));
    f.store.automatic = false;
    f.store.ip = QStringLiteral("127.0.0.12");
    f.store.port = 0;
    f.flow->press();
    QTRY_COMPARE(f.failures.size(), 1);
    QCOMPARE(f.tunnel.servers, QStringList{"127.0.0.12"});
    QCOMPARE(f.tunnel.port, 50000);
    QCOMPARE(f.regionLookups, 0);
    QVERIFY(log.lines().filter(QStringLiteral("[Connect][Failover]")).isEmpty());
    QCOMPARE(f.removedRows.size(), 1);
    QVERIFY(!f.store.automatic); // a manual choice is never written over
    QTRY_COMPARE(f.states.last(), 0);
}

void TestConnectFlow::tunnelThatDoesNotStartFailsOver()
{
    Fixture f;
    DebugLog log(QStringLiteral("[Connect]"));
    f.tunnel.startResult = false;
    f.store.automatic = false;
    f.store.ip = QStringLiteral("127.0.0.11");
    f.flow->press();
    QTRY_COMPARE(f.failures.size(), 1);
    QVERIFY(log.lines().contains(QStringLiteral("[Connect] Failed to start tunnel!")));
    QVERIFY(log.lines().contains(QStringLiteral("[Connect][Fail] Tunnel start failed")));
    QCOMPARE(f.lookups(), 0);
}

void TestConnectFlow::refusals_data()
{
    QTest::addColumn<bool>("noRelay");
    QTest::addColumn<QVariantMap>("meta");
    QTest::addColumn<QString>("text");

    QTest::newRow("no relay") << true << QVariantMap() << "Select a server first";
    QTest::newRow("nothing to carry") << false << QVariantMap{{"name", "Game"}, {"udp_ports", QStringList{}}}
                                      << "This game has no ports/domains";
    QTest::newRow("no game record") << false << QVariantMap() << "This game has no ports/domains";
}

void TestConnectFlow::refusals()
{
    QFETCH(bool, noRelay);
    QFETCH(QVariantMap, meta);
    QFETCH(QString, text);
    Fixture f;
    f.meta = meta;
    if (noRelay) {
        f.europe.clear();
        f.store.automatic = false;
    }
    QSignalSpy animation(f.flow.get(), &ConnectFlow::connectingAnimationChanged);
    f.flow->press();
    QCOMPARE(f.texts, QStringList{text});
    QVERIFY(f.states.isEmpty()); // the button's state is not touched
    QVERIFY(!f.state->connecting);
    QTRY_COMPARE(f.texts, (QStringList{text, "<reset>"}));
    QVERIFY(f.tunnel.calls.isEmpty());
    QVERIFY(f.runner.commands().isEmpty());
    for (const QList<QVariant> &a : animation)
        QCOMPARE(a.first().toBool(), false);
}

void TestConnectFlow::trafficHandedToTheTunnel_data()
{
    QTest::addColumn<QVariantMap>("meta");
    QTest::addColumn<int>("relayPort");
    QTest::addColumn<QList<int>>("udp");
    QTest::addColumn<QList<int>>("tcp");
    QTest::addColumn<int>("udpCount");
    QTest::addColumn<int>("port");

    QTest::newRow("only domains") << QVariantMap{{"domains", QStringList{"app.example"}}} << 50000
                                  << QList<int>{53} << QList<int>{53, 80, 443} << 1 << 50000;
    QTest::newRow("catch-all UDP") << QVariantMap{{"udp_ports", QStringList{"1-65535"}}} << 50001
                                   << QList<int>() << QList<int>{53} << 65535 << 50001;
    // 60000 covered ports are not a catch-all: the range plus the DNS port.
    QTest::newRow("60000 ports") << QVariantMap{{"udp_ports", QStringList{"5001-65000"}}} << 0 << QList<int>()
                                 << QList<int>{53} << 60001 << 50000;
    QTest::newRow("negative relay port") << QVariantMap{{"tcp_ports", QStringList{"443"}}} << -4
                                         << QList<int>{53} << QList<int>{53, 443} << 1 << 50000;
}

void TestConnectFlow::trafficHandedToTheTunnel()
{
    QFETCH(QVariantMap, meta);
    QFETCH(int, relayPort);
    QFETCH(QList<int>, udp);
    QFETCH(QList<int>, tcp);
    Fixture f;
    meta.insert("name", "Game");
    f.meta = meta;
    f.europe = {relay("r1", "127.0.0.11", relayPort)};
    f.script.goodRelays = {"127.0.0.11"};
    f.flow->press();
    QTRY_VERIFY(f.state->connected);
    if (!udp.isEmpty())
        QCOMPARE(f.tunnel.udp, udp);
    QTEST(int(f.tunnel.udp.size()), "udpCount");
    QCOMPARE(f.tunnel.tcp, tcp);
    QTEST(f.tunnel.port, "port");
    QTEST(f.store.port, "port");
    // The chat service's domain and its wildcard ride along once.
    QCOMPARE(f.tunnel.domains.filter(QStringLiteral("discord.com")).size(), 2);
}

void TestConnectFlow::secondStartWhileConnectingChangesNothing()
{
    Fixture f;
    f.script.pingHangs = true;
    f.flow->press();
    QVERIFY(f.state->connecting);
    const auto attempt = f.state->currentAttempt;
    DebugLog log(QStringLiteral("[Connect]"));
    f.flow->startConnect();
    QCOMPARE(log.lines(),
             (QStringList{"[Connect] startConnect called", "[Connect] Already connecting/connected"}));
    QCOMPARE(f.state->currentAttempt, attempt);
    QCOMPARE(f.states, QList<int>{1});
    f.flow->stopConnection();
}

void TestConnectFlow::stopLeavesNothingRunning_data()
{
    QTest::addColumn<QString>("phase");
    QTest::newRow("during the MTU probe") << "probe";
    QTest::newRow("during the pause before the DNS check") << "pause";
    QTest::newRow("during the lookup") << "lookup";
    QTest::newRow("during the failover wait") << "failover";
}

void TestConnectFlow::stopLeavesNothingRunning()
{
    QFETCH(QString, phase);
    Fixture f;
    f.intervals = {150, 150, 30, 40, 30};
    f.build();
    f.script.pingHangs = phase == QLatin1String("probe");
    f.script.lookupHangs = phase == QLatin1String("lookup");
    f.flow->press();
    if (phase == QLatin1String("probe")) {
        QTRY_COMPARE(f.runner.commands().size(), 1);
    } else if (phase == QLatin1String("pause")) {
        QTRY_COMPARE(f.tunnel.starts, 1);
    } else if (phase == QLatin1String("lookup")) {
        QTRY_COMPARE(f.lookups(), 1);
    } else {
        QTRY_VERIFY(f.flow->isFailoverPending());
    }
    const auto attempt = f.state->currentAttempt;
    const int serial = f.state->attemptSerial;
    const int killedBefore = f.runner.jobsKilled();

    // The press is a stop in every phase, the failover wait included.
    f.flow->press();
    QCOMPARE(f.states.last(), 0);
    QVERIFY(!f.state->connecting);
    QVERIFY(attempt->cancelled);
    QVERIFY(!f.tunnel.running);
    QVERIFY(!f.state->failover.built);
    QCOMPARE(f.probe.pending(), 0);
    QVERIFY(!f.flow->isFailoverPending());
    if (phase == QLatin1String("probe") || phase == QLatin1String("lookup"))
        QCOMPARE(f.runner.jobsKilled(), killedBefore + 1);

    const int starts = f.tunnel.starts;
    const int commands = int(f.runner.commands().size());
    const int stateChanges = int(f.states.size());
    QTest::qWait(400); // past every interval of the attempt
    QCOMPARE(f.tunnel.starts, starts);
    QCOMPARE(int(f.runner.commands().size()), commands);
    QCOMPARE(int(f.states.size()), stateChanges);
    QCOMPARE(f.state->attemptSerial, serial);
    QVERIFY(f.failures.isEmpty());
    QVERIFY(!f.sessions.isActive());
}

void TestConnectFlow::disconnectStopsTheRunningEngine()
{
    Fixture f;
    f.script.goodRelays = {"127.0.0.11"};
    QSignalSpy consoleStops(f.flow.get(), &ConnectFlow::consoleStopRequested);
    f.flow->press();
    QTRY_VERIFY(f.state->connected);
    // The user opens a console game while the PC connection runs.
    f.consoleSelected = true;
    f.flow->press();
    QCOMPARE(consoleStops.size(), 0);
    QCOMPARE(f.tunnel.calls.last(), QStringLiteral("stop"));
    QVERIFY(!f.sessions.isActive());
    QCOMPARE(f.states.last(), 0);
}

void TestConnectFlow::pressDuringFailureDisplayKeepsTheNewAttempt()
{
    Fixture f;
    f.intervals = {25, 60, 30, 200, 30};
    f.build();
    f.store.automatic = false;
    f.store.ip = QStringLiteral("127.0.0.11");
    f.flow->press();
    QTRY_COMPARE(f.failures.size(), 1);
    f.script.goodRelays = {"127.0.0.11"};
    const int before = int(f.states.size());
    f.flow->press(); // while the failure still shows
    QTRY_VERIFY(f.state->connected);
    QTest::qWait(250); // past the old failure display
    QCOMPARE(f.states.mid(before), (QList<int>{1, 2}));
    QVERIFY(f.state->connected);
}

void TestConnectFlow::retryWithoutARelayEndsIdle()
{
    Fixture f;
    // The second list entry has no address and no other relay is active, so
    // the retry finds nothing to connect to.
    QVariantMap broken = relay("r2", "");
    f.europe = {relay("r1", "127.0.0.11"), broken};
    f.services.relays.activeServers = [] { return QList<QVariantMap>(); };
    f.build();
    f.flow->press();
    QTRY_COMPARE(f.texts.value(0), QStringLiteral("Select a server first"));
    QCOMPARE(f.states.last(), 0);
    QVERIFY(!f.state->connecting);
    QVERIFY(!f.state->failover.built);
    QVERIFY(!f.tunnel.running);
    // The next press is a fresh start, not a stop.
    f.script.goodRelays = {"127.0.0.11"};
    f.flow->press();
    QTRY_VERIFY(f.state->connected);
}

void TestConnectFlow::pressForAnotherGameConnectsIt()
{
    Fixture f;
    f.script.goodRelays = {"127.0.0.11"};
    f.flow->press();
    QTRY_VERIFY(f.state->connected);
    QCOMPARE(f.state->connectionGame(), QStringLiteral("Game"));

    // Another game is opened (its page shows it idle) and its button pressed:
    // the running connection ends and that game connects in its place.
    f.title = QStringLiteral("Other");
    QSignalSpy ended(&f.sessions, &SessionManager::sessionEnded);
    f.flow->press();
    QCOMPARE(ended.size(), 1);
    QCOMPARE(ended.first().first().value<SessionData>().gameTitle, QStringLiteral("Game"));
    QVERIFY(f.state->connecting);
    QCOMPARE(f.state->connectionGame(), QStringLiteral("Other"));
    QTRY_VERIFY(f.state->connected);
    QCOMPARE(f.sessions.currentSession().gameTitle, QStringLiteral("Other"));

    // Its own game's press is a Disconnect, as always.
    f.flow->press();
    QVERIFY(!f.state->connected);
    QVERIFY(!f.state->connecting);
    QVERIFY(f.state->connectionGame().isEmpty());
    QVERIFY(!f.tunnel.running);
}

void TestConnectFlow::failoverRetryKeepsItsGame()
{
    Fixture f;
    f.services.findGameMeta = [&f](const QString &) { return f.meta; };
    f.services.gameLogo = [&f] { return QStringLiteral("/uploads/%1.png").arg(f.title); };
    f.build();
    f.script.goodRelays = {"127.0.0.12"};
    f.flow->press();
    // While the first relay fails, the user opens another game's page.
    f.title = QStringLiteral("Other");
    QTRY_VERIFY(f.state->connected);
    QCOMPARE(f.tunnel.servers, (QStringList{"127.0.0.11", "127.0.0.12"}));
    QCOMPARE(f.state->connectionGame(), QStringLiteral("Game"));
    QCOMPARE(f.sessions.currentSession().gameTitle, QStringLiteral("Game"));
    QCOMPARE(f.sessions.currentSession().gameLogoPath, QStringLiteral("/uploads/Game.png"));
}

QTEST_GUILESS_MAIN(TestConnectFlow)
#include "tst_connectflow.moc"
