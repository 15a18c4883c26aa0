// The console side of the connect flow against fakes: ConnectFlow chooses the
// relay and hands a console title over to ConsoleConnect, which checks the
// ports and the route cache, runs the hidden route analysis when needed and
// starts a recording gateway; a short start check stands in for 900 ms. The
// last cases run the real ConsoleGatewayEmbedded on the scripted engine and
// on the real engine with the simulated driver.

#include "connection/ConnectFlow.h"
#include "connection/ConsoleConnect.h"
#include "connection/SessionManager.h"
#include "engine/qt/ConsoleGatewayEmbedded.h"
#include "platform/driver/driver_sim.h"
#include "support/EngineLogCapture.h"
#include "support/fakeconsole/FakeConsoleGateway.h"
#include "support/faketools/DebugLog.h"

#include <QtTest>

#include <memory>

namespace {

class RecordingGateway : public ConsoleGatewayControl
{
public:
    bool start(const QString &ip, int p, const QString &prof, const QString &udp, const QString &tcp,
               bool all) override
    {
        calls << QStringLiteral("start");
        address = ip;
        port = p;
        profile = prof;
        udpText = udp;
        tcpText = tcp;
        tunnelAll = all;
        running = startResult && runsAfterStart;
        return startResult;
    }
    void stop() override
    {
        calls << QStringLiteral("stop");
        running = false;
    }
    bool isRunning() const override { return running; }

    int starts() const { return int(calls.count(QStringLiteral("start"))); }

    QStringList calls;
    QString address, profile, udpText, tcpText;
    int port = 0;
    bool tunnelAll = true;
    bool running = false;
    bool startResult = true;
    bool runsAfterStart = true;
};

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

QVariantMap relay(const QString &id, const QString &address, int port = 50000, const QString &code = "DE")
{
    return {{"id", id},           {"name", "Relay " + id}, {"ip_address", address}, {"port", port},
            {"region", "Europe"}, {"country_code", code},  {"status", "active"}};
}

const QDateTime kNow = QDateTime(QDate(2026, 3, 10), QTime(12, 0), Qt::UTC);

struct SavedRow
{
    QString key, gameId, region, fingerprint, pings, updatedAt;
};

// A ConnectFlow without a tunnel (console titles never reach it) and a
// ConsoleConnect on the same state, wired as the composition root does.
struct Fixture
{
    Fixture() : state(std::make_shared<ConnectFlowState>())
    {
        flowServices.relays.activeServersInRegion = [this](const QString &region) {
            return region == QLatin1String("Europe") ? europe : QList<QVariantMap>();
        };
        flowServices.relays.activeServers = [this] { return active(); };
        flowServices.relays.pings = [] { return QHash<QString, int>(); };
        flowServices.relayStore = &store;
        flowServices.sessions = &sessions;
        flowServices.gameTitle = [this] { return title; };
        flowServices.findGameMeta = [this](const QString &t) { return records.value(t); };
        flowServices.gameTraffic = [](const QString &, const QVariantMap &m) {
            return GamePorts::recordTraffic(m);
        };
        games.findGameIdByName = [this](const QString &name) {
            return records.contains(name) ? records.value(name).value("id").toString() : QString();
        };
        games.getGameById = [this](const QString &id) {
            for (const QVariantMap &r : std::as_const(records)) {
                if (r.value("id").toString() == id)
                    return r;
            }
            return QVariantMap();
        };
        flowServices.isConsoleGame = [this](const QString &t) {
            return ConsoleConnect::isConsoleGameTitle(games, t);
        };

        consoleServices.gateway = &gateway;
        consoleServices.relays = flowServices.relays;
        consoleServices.relayStore = &store;
        consoleServices.games = games;
        consoleServices.gameTraffic = flowServices.gameTraffic;
        consoleServices.routeCacheRow = [this](const QString &gameId, const QString &region,
                                               const QString &fingerprint) {
            rowLookups << gameId + '|' + region + '|' + fingerprint;
            return row;
        };
        consoleServices.saveRouteCache = [this](const QString &key, const QString &gameId,
                                                const QString &region, const QString &fingerprint,
                                                const QString &pings, const QString &updatedAt) {
            saved.append({key, gameId, region, fingerprint, pings, updatedAt});
            return true;
        };
        consoleServices.networkFingerprint = [] { return QStringLiteral("fp1"); };
        consoleServices.readPingsText = [this] { return pingsFile; };
        consoleServices.nowUtc = [] { return kNow; };
        consoleServices.endActiveSession = [this] { ++sessionEnds; };
        consoleServices.sweep.start = [this](std::function<void()> finished) {
            ++sweepStarts;
            sweepFinished = std::move(finished);
        };
        consoleServices.sweep.hide = [this] { ++sweepHides; };

        records.insert("Space Race: Turbo!", {{"id", "g7"},
                                              {"name", "Space Race: Turbo!"},
                                              {"category", "PlayStation 5"},
                                              {"udp_ports", QStringList{"3074", "3075", "3074"}},
                                              {"tcp_ports", QStringList{"3478-3480"}}});
        records.insert("PC Game", {{"id", "g9"},
                                   {"name", "PC Game"},
                                   {"category", "Shooter"},
                                   {"udp_ports", QStringList{"27015"}}});
        europe = {relay("r1", "127.0.0.11"), relay("r2", "127.0.0.12", 0, "FR"), relay("r3", "127.0.0.13")};
        row = freshRow(1);
    }

    static QVariantMap freshRow(int daysOld)
    {
        return {{"cache_key", "g7|Europe|fp1"},
                {"ping_json", "{\"r1\":{\"ping\":20}}"},
                {"updated_at", kNow.addDays(-daysOld).toString(Qt::ISODate)}};
    }

    QList<QVariantMap> active() const { return europe + others; }

    void build()
    {
        flow = std::make_unique<ConnectFlow>(flowServices, state);
        console = std::make_unique<ConsoleConnect>(consoleServices, state);
        console->setIntervals({40, 30});
        QObject::connect(flow.get(), &ConnectFlow::consoleConnectRequested, console.get(),
                         &ConsoleConnect::startConsoleBranch);
        QObject::connect(flow.get(), &ConnectFlow::consoleStopRequested, console.get(),
                         &ConsoleConnect::stopConsole);
        QObject::connect(console.get(), &ConsoleConnect::buttonStateChanged,
                         [this](ButtonState s) { states << int(s); });
        QObject::connect(flow.get(), &ConnectFlow::buttonStateChanged,
                         [this](ButtonState s) { states << int(s); });
        QObject::connect(console.get(), &ConsoleConnect::refusal, [this](const QString &t) { texts << t; });
        QObject::connect(console.get(), &ConsoleConnect::refusalEnded, [this] { texts << "<reset>"; });
        QObject::connect(console.get(), &ConsoleConnect::progressShown,
                         [this](const QString &t) { overlayTexts << "spinner:" + t; });
        QObject::connect(console.get(), &ConsoleConnect::statusChanged,
                         [this](const QString &t) { overlayTexts << t; });
        QObject::connect(console.get(), &ConsoleConnect::connectedClockStarted, [this] { ++clockStarts; });
        QObject::connect(console.get(), &ConsoleConnect::connectedClockStopped, [this] { ++clockStops; });
        QObject::connect(console.get(), &ConsoleConnect::autoRelayChosen,
                         [this](const QVariantMap &r) { autoRelays << r.value("id").toString(); });
        QObject::connect(console.get(), &ConsoleConnect::relayShown,
                         [this](const QString &value, const QString &mode, const QString &code) {
                             cards << QStringList{value, mode, code}.join('/');
                         });
    }

    bool idle() const
    {
        return !state->connecting && !state->connected && state->kind == ConnectionKind::None &&
               (states.isEmpty() || states.last() == 0);
    }

    std::shared_ptr<ConnectFlowState> state;
    ConnectFlow::Services flowServices;
    ConsoleConnect::Services consoleServices;
    ConsoleConnect::GameRecords games;
    RecordingGateway gateway;
    MemoryRelayStore store;
    SessionManager sessions;
    std::unique_ptr<ConnectFlow> flow;
    std::unique_ptr<ConsoleConnect> console;

    QString title = QStringLiteral("Space Race: Turbo!");
    QHash<QString, QVariantMap> records;
    QList<QVariantMap> europe, others;
    QVariantMap row;
    QString pingsFile = QStringLiteral("{\"updated_at\":\"2026-03-10T11:59:00Z\",\"r1\":{\"ping\":20}}");
    QStringList rowLookups;
    QList<SavedRow> saved;
    int sweepStarts = 0, sweepHides = 0, sessionEnds = 0;
    std::function<void()> sweepFinished;
    QList<int> states;
    QStringList texts, overlayTexts, autoRelays, cards;
    int clockStarts = 0, clockStops = 0;
};

} // namespace

class TestConsoleConnect : public QObject
{
    Q_OBJECT

private slots:
    void slugifyName_data();
    void slugifyName();
    void consoleTitles_data();
    void consoleTitles();
    void routeCacheAge_data();
    void routeCacheAge();
    void consoleBranch_data();
    void consoleBranch();
    void analysisThenStart_data();
    void analysisThenStart();
    void relayOfTheGateway_data();
    void relayOfTheGateway();
    void noRelayAfterTheAnalysis();
    void disconnectDuringAnalysis();
    void disconnectWhileConnected();
    void gatewayEndsAfterTheCheck();
    void stopFollowsTheRunningKind();
    void embeddedGatewayOnScriptedEngine();
    void realEngineBadInput();
};

void TestConsoleConnect::slugifyName_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("profile");
    QTest::newRow("title with a colon and a bang") << "console_Space Race: Turbo!"
                                                   << "console_space_race_turbo_";
    QTest::newRow("symbols only") << "console_!!! ###"
                                  << "console_";
    QTest::newRow("60 letters") << "console_" + QString(60, 'a') << "console_" + QString(40, 'a');
    QTest::newRow("hyphen and digits kept") << "console_FIFA-24 Ultimate"
                                            << "console_fifa-24_ultimate";
    QTest::newRow("runs of underscores") << "console___a__b"
                                         << "console_a_b";
    QTest::newRow("blank") << "   "
                           << "console";
    QTest::newRow("non-latin letters") << "console_\u0628\u0627\u0632\u06cc"
                                       << "console_";
}

void TestConsoleConnect::slugifyName()
{
    QFETCH(QString, text);
    QFETCH(QString, profile);
    QCOMPARE(ConsoleConnect::slugifyName(text), profile);
    QVERIFY(ConsoleConnect::slugifyName(text).size() <= 48);
}

void TestConsoleConnect::consoleTitles_data()
{
    QTest::addColumn<QString>("category");
    QTest::addColumn<QString>("platform");
    QTest::addColumn<QString>("title");
    QTest::addColumn<bool>("console");
    QTest::newRow("PS4 Pro") << "PS4 Pro"
                             << ""
                             << "Game" << true;
    QTest::newRow("PlayStation 5") << " PlayStation 5 "
                                   << "PC"
                                   << "Game" << true;
    QTest::newRow("bare PS") << "PS"
                             << ""
                             << "Game" << true;
    QTest::newRow("PS VR") << "PS VR"
                           << ""
                           << "Game" << true;
    QTest::newRow("empty category, Xbox platform") << ""
                                                   << "Xbox"
                                                   << "Game" << true;
    QTest::newRow("category wins over platform") << "Sports"
                                                 << "Xbox"
                                                 << "Game" << false;
    QTest::newRow("Sports") << "Sports"
                            << ""
                            << "Game" << false;
    QTest::newRow("PSP") << "PSP"
                         << ""
                         << "Game" << false;
    QTest::newRow("empty title") << "PlayStation 5"
                                 << ""
                                 << "" << false;
    QTest::newRow("unknown title") << "PlayStation 5"
                                   << ""
                                   << "Other" << false;
}

void TestConsoleConnect::consoleTitles()
{
    QFETCH(QString, category);
    QFETCH(QString, platform);
    QFETCH(QString, title);
    QFETCH(bool, console);
    const QVariantMap record{{"id", "g1"}, {"name", "Game"}, {"category", category}, {"platform", platform}};
    ConsoleConnect::GameRecords games;
    QStringList asked;
    games.findGameIdByName = [&asked](const QString &name) {
        asked << name;
        return name.compare("game", Qt::CaseInsensitive) == 0 ? QStringLiteral("g1") : QString();
    };
    games.getGameById = [record](const QString &id) { return id == "g1" ? record : QVariantMap(); };
    QCOMPARE(ConsoleConnect::isConsoleGameTitle(games, title), console);
    if (title.isEmpty())
        QVERIFY(asked.isEmpty());
}

void TestConsoleConnect::routeCacheAge_data()
{
    QTest::addColumn<QVariantMap>("row");
    QTest::addColumn<bool>("usable");
    QTest::newRow("1 day") << Fixture::freshRow(1) << true;
    QTest::newRow("exactly 7 days") << Fixture::freshRow(7) << true;
    QTest::newRow("8 days") << Fixture::freshRow(8) << false;
    QTest::newRow("tomorrow") << Fixture::freshRow(-1) << false;
    QVariantMap noPings = Fixture::freshRow(1);
    noPings.insert("ping_json", "");
    QTest::newRow("no pings") << noPings << false;
    QVariantMap badDate = Fixture::freshRow(1);
    badDate.insert("updated_at", "yesterday");
    QTest::newRow("unreadable date") << badDate << false;
    QTest::newRow("no row") << QVariantMap() << false;
}

void TestConsoleConnect::routeCacheAge()
{
    QFETCH(QVariantMap, row);
    QFETCH(bool, usable);
    QCOMPARE(ConsoleConnect::routeCacheUsable(row, kNow), usable);
}

void TestConsoleConnect::consoleBranch_data()
{
    QTest::addColumn<QString>("situation");
    QTest::addColumn<QString>("log"); // a line the attempt must write, empty for none
    QTest::addColumn<int>("gatewayStarts");
    QTest::addColumn<bool>("connected");
    QTest::newRow("no gateway") << "no gateway"
                                << "[ConsoleConn] Console gateway not initialized" << 0 << false;
    QTest::newRow("no ports") << "no ports"
                              << "" << 0 << false;
    QTest::newRow("start refused") << "start false"
                                   << "[ConsoleConn] start() failed" << 1 << false;
    QTest::newRow("not running at the check")
        << "stops at once"
        << "[ConsoleConn] Gateway is not running after start" << 1 << false;
    QTest::newRow("running at the check") << "runs"
                                          << "" << 1 << true;
}

void TestConsoleConnect::consoleBranch()
{
    QFETCH(QString, situation);
    QFETCH(QString, log);
    QFETCH(int, gatewayStarts);
    QFETCH(bool, connected);
    Fixture f;
    if (situation == "no gateway")
        f.consoleServices.gateway = nullptr;
    if (situation == "no ports") {
        f.records["Space Race: Turbo!"].remove("udp_ports");
        f.records["Space Race: Turbo!"].remove("tcp_ports");
    }
    f.gateway.startResult = situation != "start false";
    f.gateway.runsAfterStart = situation != "stops at once";
    // Left by an earlier PC connection that failed over twice.
    f.state->failover.relays = f.europe;
    f.state->failover.built = true;
    f.state->failover.index = 2;
    f.build();
    DebugLog lines(QStringLiteral("[ConsoleConn]"), true);

    f.flow->press();
    QCOMPARE(f.gateway.starts(), gatewayStarts);
    QCOMPARE(f.sweepStarts, 0); // the cached pings are a day old
    if (gatewayStarts && f.gateway.startResult) {
        QCOMPARE(f.states.last(), 1);
        QVERIFY(f.state->connecting);
        QTRY_VERIFY(!f.state->connecting);
    }
    if (!log.isEmpty())
        QVERIFY2(lines.lines().contains(log), qPrintable(lines.lines().join('\n')));

    if (connected) {
        QCOMPARE(f.states.last(), 2);
        QVERIFY(f.state->connected);
        QCOMPARE(f.state->kind, ConnectionKind::Console);
        QCOMPARE(f.clockStarts, 1);
        QCOMPARE(f.state->lastShownSecond, -1);
        QVERIFY(f.state->connectedClock.isValid());
        QVERIFY(!f.sessions.isActive()); // no play session for a console
        // The failover fields stay as the start left them.
        QVERIFY(f.state->failover.built);
        QCOMPARE(f.state->failover.index, 2);
        QCOMPARE(f.state->failover.relays.size(), 3);
        return;
    }
    QVERIFY(f.idle());
    QCOMPARE(f.clockStarts, 0);
    // A refusal before anything starts leaves the button's state alone.
    if (gatewayStarts == 0)
        QVERIFY(f.states.isEmpty());
    if (situation == "no ports") {
        QCOMPARE(f.texts, QStringList{"This game has no ports"});
        QTRY_COMPARE(f.texts, (QStringList{"This game has no ports", "<reset>"}));
    }
    // Idle means a press starts again.
    f.gateway.startResult = true;
    f.gateway.runsAfterStart = true;
    f.flow->press();
    if (situation != "no gateway" && situation != "no ports")
        QCOMPARE(f.gateway.starts(), gatewayStarts + 1);
}

void TestConsoleConnect::analysisThenStart_data()
{
    QTest::addColumn<QVariantMap>("row");
    QTest::addColumn<bool>("resultsFile");
    QTest::newRow("8 days old") << Fixture::freshRow(8) << true;
    QTest::newRow("no row") << QVariantMap() << true;
    QTest::newRow("dated in the future") << Fixture::freshRow(-2) << true;
    QTest::newRow("no results file") << QVariantMap() << false;
}

void TestConsoleConnect::analysisThenStart()
{
    QFETCH(QVariantMap, row);
    QFETCH(bool, resultsFile);
    Fixture f;
    f.row = row;
    if (!resultsFile)
        f.pingsFile.clear();
    f.build();
    DebugLog lines(QStringLiteral("[ConsoleConn]"), true);

    f.flow->press();
    QCOMPARE(f.rowLookups, QStringList{"g7|Europe|fp1"});
    QCOMPARE(f.sweepStarts, 1);
    QCOMPARE(f.gateway.starts(), 0);
    QCOMPARE(f.overlayTexts, QStringList{"spinner:Analyzing routes (Europe)"});
    QCOMPARE(f.states.last(), 1);
    QVERIFY(f.state->connecting);
    QVERIFY(lines.lines().contains("[ConsoleConn] No usable Europe ping cache; starting route analyze..."));
    // A press while the analysis runs is a stop, not a second analysis:
    // covered by disconnectDuringAnalysis.

    f.sweepFinished();
    QCOMPARE(f.sweepHides, 1);
    QCOMPARE(f.overlayTexts.last(), QStringLiteral("Starting boost..."));
    QCOMPARE(f.gateway.starts(), 1);
    if (resultsFile) {
        QCOMPARE(f.saved.size(), 1);
        const SavedRow &s = f.saved.first();
        QCOMPARE(s.key, QStringLiteral("g7|Europe|fp1"));
        QCOMPARE(s.gameId, QStringLiteral("g7"));
        QCOMPARE(s.region, QStringLiteral("Europe"));
        QCOMPARE(s.fingerprint, QStringLiteral("fp1"));
        QCOMPARE(s.pings, f.pingsFile);
        QCOMPARE(s.updatedAt, QStringLiteral("2026-03-10T11:59:00Z")); // from the file
    } else {
        QVERIFY(f.saved.isEmpty());
    }
    QTRY_VERIFY(f.state->connected);
    QCOMPARE(f.states.last(), 2);
}

void TestConsoleConnect::relayOfTheGateway_data()
{
    QTest::addColumn<bool>("automatic");
    QTest::addColumn<QString>("manualAddress");
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("card");
    QTest::newRow("automatic: the first Europe relay") << true << ""
                                                       << "127.0.0.11" << 50000 << "Relay r1/Auto/DE";
    QTest::newRow("manual: a known relay") << false << "127.0.0.12"
                                           << "127.0.0.12" << 50001 << "Relay r2/Manual/FR";
    QTest::newRow("manual: an address no relay has") << false << "127.0.0.99"
                                                     << "127.0.0.99" << 50001 << "127.0.0.99//";
}

void TestConsoleConnect::relayOfTheGateway()
{
    QFETCH(bool, automatic);
    QFETCH(QString, manualAddress);
    QFETCH(QString, address);
    QFETCH(int, port);
    QFETCH(QString, card);
    Fixture f;
    f.store.automatic = automatic;
    f.store.ip = manualAddress;
    f.store.port = 50001;
    // An earlier PC connection failed over twice: the console still takes
    // the first relay.
    f.state->failover.relays = f.europe;
    f.state->failover.built = true;
    f.state->failover.index = 2;
    f.build();
    DebugLog lines(QStringLiteral("[ConsoleConn]"), true);

    f.flow->press();
    QCOMPARE(f.gateway.calls, (QStringList{"stop", "start"}));
    QCOMPARE(f.gateway.address, address);
    QCOMPARE(f.gateway.port, port);
    QCOMPARE(f.gateway.profile, QStringLiteral("console_space_race_turbo_"));
    QCOMPARE(f.gateway.udpText, QStringLiteral("3074,3075"));
    QCOMPARE(f.gateway.tcpText, QStringLiteral("3478-3480"));
    QCOMPARE(f.gateway.tunnelAll, false);
    QCOMPARE(f.cards.last(), card);
    if (automatic) {
        QCOMPARE(f.autoRelays.last(), QStringLiteral("r1"));
        QCOMPARE(f.store.key, QStringLiteral("r1"));
        QCOMPARE(f.store.ip, QStringLiteral("127.0.0.11"));
        QVERIFY(f.store.automatic);
    } else {
        QVERIFY(f.autoRelays.isEmpty());
        QVERIFY(!f.store.automatic);
    }
    const QStringList log = lines.lines();
    QVERIFY2(
        log.contains(QStringLiteral("[ConsoleConn] Starting Console Gateway: %1 %2 console_space_race_turbo_")
                         .arg(address)
                         .arg(port)),
        qPrintable(log.join('\n')));
    QVERIFY(log.contains("[ConsoleConn] UDP ports: 3074,3075"));
    QVERIFY(log.contains("[ConsoleConn] TCP ports: 3478-3480"));
}

// The analysis ran (the button shows "Connecting") and left no relay to
// start with: the attempt ends instead of connecting for ever.
void TestConsoleConnect::noRelayAfterTheAnalysis()
{
    Fixture f;
    f.row.clear();
    f.build();
    DebugLog lines(QStringLiteral("[ConsoleConn]"), true);
    f.flow->press();
    QVERIFY(f.state->connecting);
    f.europe.clear(); // the relays were withdrawn meanwhile
    f.console->startConsoleGateway(QString(), 0, f.title, {"3074"}, {});
    QVERIFY(lines.lines().contains("[ConsoleConn] No server selected; cannot start gateway"));
    QCOMPARE(f.gateway.starts(), 0);
    QVERIFY(f.idle());
}

void TestConsoleConnect::disconnectDuringAnalysis()
{
    Fixture f;
    f.row.clear();
    f.build();
    f.flow->press();
    QCOMPARE(f.sweepStarts, 1);
    QVERIFY(f.console->isSweepPending());

    f.flow->press(); // Disconnect
    QCOMPARE(f.sweepHides, 1);
    QCOMPARE(f.gateway.calls, QStringList{"stop"});
    QVERIFY(f.idle());
    QCOMPARE(f.clockStops, 0);

    // The analysis ends later: it starts nothing and stores nothing.
    f.sweepFinished();
    QCOMPARE(f.gateway.starts(), 0);
    QVERIFY(f.saved.isEmpty());
    QVERIFY(f.idle());

    // The next press analyses again and connects.
    f.flow->press();
    QCOMPARE(f.sweepStarts, 2);
    f.sweepFinished();
    QTRY_VERIFY(f.state->connected);
}

void TestConsoleConnect::disconnectWhileConnected()
{
    Fixture f;
    f.build();
    f.flow->press();
    QTRY_VERIFY(f.state->connected);
    f.flow->press(); // Disconnect
    QCOMPARE(f.gateway.calls, (QStringList{"stop", "start", "stop"}));
    QVERIFY(!f.gateway.running);
    QCOMPARE(f.clockStops, 1);
    QCOMPARE(f.sessionEnds, 1);
    QCOMPARE(f.sweepHides, 0);
    QVERIFY(f.idle());
}

void TestConsoleConnect::gatewayEndsAfterTheCheck()
{
    Fixture f;
    f.build();
    f.flow->press();
    QTRY_VERIFY(f.state->connected);

    // The engine ends on its own (driver gone): the page goes idle.
    f.gateway.running = false;
    f.console->gatewayStopped(1);
    QCOMPARE(f.clockStops, 1);
    QVERIFY(f.idle());

    // Connect again, disconnect, connect once more: the `stopped` of the
    // first runs arriving late changes nothing.
    f.flow->press();
    QTRY_VERIFY(f.state->connected);
    f.flow->press();
    f.flow->press();
    QVERIFY(f.state->connecting);
    f.console->gatewayStopped(0); // late, while the new run is starting
    QVERIFY(f.state->connecting);
    QTRY_VERIFY(f.state->connected);
    const int stops = f.clockStops;
    f.console->gatewayStopped(0); // late, the new run still runs
    QVERIFY(f.state->connected);
    QCOMPARE(f.clockStops, stops);
}

void TestConsoleConnect::stopFollowsTheRunningKind()
{
    Fixture f;
    f.build();
    f.flow->press();
    QTRY_VERIFY(f.state->connected);
    // The console game's page pressed again: Disconnect ends the gateway.
    f.flow->press();
    QCOMPARE(f.gateway.calls.last(), QStringLiteral("stop"));
    QVERIFY(!f.gateway.running);
    QVERIFY(f.idle());

    // A PC game's page pressed while the console connection runs: the
    // gateway ends (not the tunnel) before that game is connected.
    f.flow->press();
    QTRY_VERIFY(f.state->connected);
    f.title = QStringLiteral("PC Game");
    f.flow->press();
    QVERIFY(!f.gateway.running);
    QCOMPARE(f.gateway.calls.mid(f.gateway.calls.size() - 1), QStringList{"stop"});
    QCOMPARE(f.state->kind == ConnectionKind::Console, false);
}

// The real ConsoleGatewayEmbedded on the scripted engine, in manual mode with
// a stored port that is none: the run gets the address and port 50000.
void TestConsoleConnect::embeddedGatewayOnScriptedEngine()
{
    FakeConsoleGateway::reset();
    ConsoleGatewayEmbedded embedded(FakeConsoleGateway::api());
    ConsoleGatewayEmbeddedControl control(&embedded);
    Fixture f;
    f.consoleServices.gateway = &control;
    f.europe = {relay("r1", "  ")}; // a relay without an address
    f.store.automatic = false;
    f.store.ip = QStringLiteral("127.0.0.5");
    f.store.port = 70000; // not a port: 50000 is used
    f.build();
    DebugLog lines(QStringLiteral("[ConsoleConn]"), true);
    f.flow->press();
    QTRY_VERIFY(f.state->connected);
    QTRY_COMPARE(FakeConsoleGateway::lastConfig().serverIp, QStringLiteral("127.0.0.5"));
    QCOMPARE(FakeConsoleGateway::lastConfig().port, 50000);
    QCOMPARE(FakeConsoleGateway::lastConfig().profile, QStringLiteral("console_space_race_turbo_"));
    QCOMPARE(f.cards.last(), QStringLiteral("127.0.0.5//"));
    f.flow->press();
    QVERIFY(!embedded.isRunning());
    QVERIFY(f.idle());
}

// The real engine on the simulated driver: a relay address that is no IPv4
// literal, and port lists far longer than any game's.
void TestConsoleConnect::realEngineBadInput()
{
    EngineLogCapture engineLog;
    quorlix_drvsim_install();
    ConsoleGatewayEmbedded embedded;
    ConsoleGatewayEmbeddedControl control(&embedded);
    {
        Fixture f;
        f.consoleServices.gateway = &control;
        f.europe = {relay("r1", "relay.example")};
        f.build();
        f.console->setIntervals({1500, 30});
        DebugLog lines(QStringLiteral("[ConsoleConn]"), true);
        f.flow->press();
        QTRY_VERIFY_WITH_TIMEOUT(f.idle(), 5000);
        QVERIFY2(lines.lines().contains("[ConsoleConn] Gateway is not running after start"),
                 qPrintable(lines.lines().join('\n')));
    }
    {
        Fixture f;
        f.consoleServices.gateway = &control;
        QStringList udp, tcp;
        for (int i = 0; i < 2000; ++i) {
            udp << QString::number(1000 + i % 60000);
            tcp << QStringLiteral("%1-%2").arg(2000 + i % 1000).arg(2001 + i % 1000);
        }
        f.records["Space Race: Turbo!"].insert("udp_ports", udp);
        f.records["Space Race: Turbo!"].insert("tcp_ports", tcp);
        f.europe = {relay("r1", "127.0.0.1", 9)};
        f.build();
        f.console->setIntervals({1500, 30});
        f.flow->press();
        QVERIFY(f.gateway.calls.isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(!f.state->connecting, 5000);
        if (f.state->connected)
            f.flow->press(); // Disconnect
        QVERIFY(!embedded.isRunning());
        QVERIFY(f.idle());
    }
    quorlix_drvsim_uninstall();
}

QTEST_GUILESS_MAIN(TestConsoleConnect)
#include "tst_consoleconnect.moc"
