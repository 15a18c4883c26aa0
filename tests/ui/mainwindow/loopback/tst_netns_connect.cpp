// Connecting from the window, end to end, inside a private network namespace:
// the client's window (offscreen, signed-in look) with its own TunnelClient
// on the real engine over the simulated capture, the relays from the fake
// web service, a game whose route cache is fresh so its page opens at once,
// the real ping for the MTU probe and the live ping, and a DNS check that can
// only be answered through the tunnel. The first Europe relay (127.0.0.11)
// has nothing listening; the test relay on 127.0.0.12:50000 answers and
// acknowledges, dropping every tenth datagram.

#include "WindowAgainstFake.h"
#include "app/ClientComposition.h"
#include "connection/ConnectFlow.h"
#include "connection/LivePing.h"
#include "connection/NetworkFingerprint.h"
#include "connection/SessionManager.h"
#include "connection/dnsroute/DnsTunnelBridge.h"
#include "engine/qt/TunnelClient.h"
#include "platform/capture/capture_sim.h"
#include "services/ServerSync.h"
#include "services/ServiceClient.h"
#include "storage/DatabaseManager.h"
#include "storage/SettingsManager.h"
#include "support/PainterWarnings.h"
#include "support/TestPackets.h"
#include "support/WindowFixture.h"
#include "support/testrelay/TestRelay.h"
#include "ui/mainwindow/MainWindow.h"
#include "ui/pages/connection/ConnectionPage.h"
#include "ui/pages/connection/RouteArea.h"
#include "ui/pages/signin/AuthPage.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include <memory>

namespace {

const QString kGame = QStringLiteral("Test Game");
// The DNS check's lookup limit: a real nslookup, answered at once through the
// test relay, meets it easily even on a busy machine (any real process gets
// 2 s and more, for a slow start).
const int kLookupLimitMs = 3000;

QJsonObject relayJson(const QString &id, const QString &name, const QString &address)
{
    return QJsonObject{
        {"id", id},          {"name", name},       {"hostname", id + ".relay.test"}, {"ip_address", address},
        {"port", 50000},     {"region", "Europe"}, {"country", "Germany"},           {"country_code", "DE"},
        {"status", "active"}};
}

// Not named intervals(): inside TestWindow's initialiser list that name is
// MainWindow::intervals(), read from a window not built yet.
WindowIntervals netnsIntervals()
{
    WindowIntervals shortened = WindowFixture::shortIntervals();
    shortened.verifyDelayMs = 100;
    shortened.failoverRetryMs = 50;
    shortened.packetLossMs = 100;
    shortened.packetLossGraceMs = 300;
    return shortened;
}

// The client's services, with the DNS check asking the bridge's resolver
// (the namespace has no other).
ClientServices windowServices(quint16 resolverPort)
{
    const WindowIntervals shortened = netnsIntervals();
    ClientServices s = createClientServices(shortened);
    delete s.connectFlow;
    ConnectFlow::Services flow = ConnectFlow::defaultServices(s.tunnel, s.mtuProbe, s.sessions);
    flow.makeDnsVerifier = [resolverPort](DnsVerifier::TunnelCheck check, QObject *parent) {
        auto *verifier = new DnsVerifier(SystemTools::ProcessRunner::system(), std::move(check),
                                         DnsVerifier::chatDomain(), parent);
        verifier->setIntervals({kLookupLimitMs, 50});
        verifier->setServer(QStringLiteral("127.0.0.1"), resolverPort);
        return verifier;
    };
    s.connectFlow = new ConnectFlow(flow, nullptr);
    s.connectFlow->setIntervals({shortened.failoverRetryMs, shortened.verifyDelayMs, shortened.noServerTextMs,
                                 shortened.connectFailureMs, shortened.noPortsTextMs});
    return s;
}

class TestWindow : public MainWindow
{
public:
    explicit TestWindow(quint16 resolverPort) : MainWindow(windowServices(resolverPort), netnsIntervals())
    {
        buildPages(); // the tests reach into the pages at once
    }
    ConnectionPage *page() const { return connectionPageArea(); }
};

struct FakeClock
{
    std::shared_ptr<qint64> now = std::make_shared<qint64>(5000);
    FlowStopwatch::Source source() const
    {
        return [now = now] { return *now; };
    }
};

// The relay, the tap that hands its replies to the capture, and the DNS bridge.
struct Relay
{
    testrelay::TestRelay relay;
    testrelay::WireTap tap;
    DnsTunnelBridge bridge;

    static testrelay::TestRelay::Options options()
    {
        testrelay::TestRelay::Options o;
        o.address = "127.0.0.12";
        o.ackMode = true;
        return o;
    }
    Relay() : relay(options()) {}

    bool start(QString *why)
    {
        quorlix_capsim_reset();
        testrelay::DnsAnswer answer;
        answer.addresses = {"162.159.128.233"};
        relay.setDnsAnswer(DnsVerifier::chatDomain().toStdString(), answer);
        relay.setAckPolicy(testrelay::TestRelay::dropEvery(10));
        if (!relay.start()) {
            *why = QString::fromStdString(relay.errorString());
            return false;
        }
        std::string error;
        if (!tap.start(
                50000, [](const uint8_t *p, size_t len) { quorlix_capsim_push_inbound(p, len, 1); },
                &error)) {
            *why = QString::fromStdString(error);
            return false;
        }
        if (!bridge.start()) {
            *why = QStringLiteral("DNS bridge");
            return false;
        }
        return true;
    }
};

} // namespace

class TestNetnsConnect : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { TestSupport::failOnPainterWarnings(); }
    void cleanupTestCase();
    void connectsShowsTheRouteAndDisconnects();
    void circlePressDuringConnectingStopsAtOnce();

private:
    // The window with the sign-in page out of the way and the game's page open.
    void openGame(TestWindow &window);

    FakeService m_service;
};

void TestNetnsConnect::initTestCase()
{
    for (const char *tool : {"ping", "nslookup"}) {
        if (SystemTools::findTool(QString::fromLatin1(tool)).isEmpty())
            QSKIP(qPrintable(QStringLiteral("%1 is not installed").arg(QLatin1String(tool))));
    }
    QVERIFY(WindowAgainstFake::start(m_service));
    m_service.setServers(
        QJsonArray{relayJson("r1", "Alpha", "127.0.0.11"), relayJson("r2", "Bravo", "127.0.0.12")});

    // The relay list as the client's start-up synchronisation stores it.
    ServiceClient client(ServiceConfig::instance(), [] {
        return ServiceApi::Credentials{QStringLiteral("tok"), QStringLiteral("device-1")};
    });
    ServerSync sync(&client, ServersCache::database());
    QList<bool> synced;
    sync.syncServers([&synced](bool ok) { synced << ok; });
    QTRY_COMPARE_WITH_TIMEOUT(synced, QList<bool>{true}, 10000);

    QVariantMap game{{"id", "g7"},
                     {"name", kGame},
                     {"category", "PC"},
                     {"status", "active"},
                     {"updated_at", "2026-01-01T00:00:00"},
                     {"executable", "testgame.exe"},
                     {"udp_ports", QVariantList{"27015-27020"}},
                     {"tcp_ports", QVariantList{}},
                     {"domains", QVariantList{}}};
    QVERIFY(DatabaseManager::instance()->saveGames({game}));
    // Measured an hour ago on this network: the page opens without a sweep.
    const QString measured = QDateTime::currentDateTimeUtc().addSecs(-3600).toString(Qt::ISODate);
    QVERIFY(DatabaseManager::instance()->saveRouteCache(QStringLiteral("g7|Europe"), QStringLiteral("g7"),
                                                        QStringLiteral("Europe"), networkFingerprint(),
                                                        QStringLiteral("{\"r1\": 4, \"r2\": 9}"), measured));
    SettingsManager::instance()->setConnectionMode(true);
}

void TestNetnsConnect::cleanupTestCase()
{
    LoopbackGuard::uninstall();
}

void TestNetnsConnect::openGame(TestWindow &window)
{
    window.authPage()->hide();
    window.handleOpenConnectionsForGame(kGame, QStringLiteral("/uploads/test.png"));
    QTRY_VERIFY(window.page()->tapButton()->isVisibleTo(&window));
    QCOMPARE(window.page()->tapButton()->text(), QStringLiteral("Tap to connect"));
}

void TestNetnsConnect::connectsShowsTheRouteAndDisconnects()
{
    Relay relay;
    QString why;
    QVERIFY2(relay.start(&why), qPrintable(why));
    TestWindow window(relay.bridge.port());
    FakeClock clock;
    window.connectState()->setClock(clock.source());
    openGame(window);
    ConnectionPage *page = window.page();
    RouteArea *route = window.routeArea();
    TunnelClient *tunnel = window.tunnelClient();

    page->tapButton()->click();
    QCOMPARE(page->tapButton()->text(), QStringLiteral("Connecting"));
    QCOMPARE(page->statusLabel()->text(), QStringLiteral("Connecting"));
    QCOMPARE(page->regionValue()->text(), QStringLiteral("Alpha"));

    // The first relay never answers; the second one is chosen and connects.
    QTRY_COMPARE_WITH_TIMEOUT(page->tapButton()->text(), QStringLiteral("Disconnect"), 30000);
    QCOMPARE(page->statusLabel()->text(), QStringLiteral("You are connected!"));
    QCOMPARE(page->timerLabel()->text(), QStringLiteral("00:00:00"));
    QCOMPARE(page->regionValue()->text(), QStringLiteral("Bravo"));
    QCOMPARE(page->regionMode()->text(), QStringLiteral("Auto"));
    QCOMPARE(SettingsManager::instance()->serverIp(), QStringLiteral("127.0.0.12"));
    QVERIFY(tunnel->isRunning());
    QVERIFY(window.sessionManager()->isActive());
    const quint64 ackedBase = tunnel->txAcked();
    const quint64 lostBase = tunnel->txLost();

    *clock.now += 1000;
    QTRY_COMPARE(page->timerLabel()->text(), QStringLiteral("00:00:01"));
    // Loopback answers within a millisecond.
    QTRY_COMPARE_WITH_TIMEOUT(route->pingValue()->text(), QStringLiteral("1"), 10000);
    QCOMPARE(route->latencyLabel()->text(), QStringLiteral("1 ms"));
    QCOMPARE(route->lossValue()->text(), QStringLiteral("0%"));

    // Game traffic while the relay drops every tenth datagram: once the
    // grace time is over the card shows the engine's own count.
    for (int i = 0; i < 400; ++i) {
        const testpackets::Bytes packet =
            testpackets::udp("127.0.0.2", 27015, "203.0.113.7", 27016, testpackets::Bytes(32, uint8_t(i)));
        quorlix_capsim_push_outbound(packet.data(), packet.size(), 1);
        if (i % 50 == 49)
            QTest::qWait(20);
    }
    QVERIFY(relay.relay.waitFor([](const testrelay::RelayStats &s) { return s.accepted + s.dropped >= 400; },
                                10000));
    QTRY_VERIFY_WITH_TIMEOUT(tunnel->txLost() > lostBase, 10000);
    QTRY_COMPARE(route->lossValue()->text(),
                 PacketLossMeter::lossText(tunnel->txAcked(), tunnel->txLost(), ackedBase, lostBase));
    QVERIFY2(
        QRegularExpression(QStringLiteral("^[1-9][0-9]*%$")).match(route->lossValue()->text()).hasMatch(),
        qPrintable(route->lossValue()->text()));

    page->tapButton()->click();
    QCOMPARE(page->tapButton()->text(), QStringLiteral("Tap to connect"));
    QVERIFY(!tunnel->isRunning());
    QCOMPARE(route->pingValue()->text(), QStringLiteral("0"));
    QCOMPARE(route->lossValue()->text(), QStringLiteral("0%"));
    QVERIFY(!page->statusLabel()->isVisibleTo(&window));
    QFile saved(SessionManager::sessionFilePath());
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QJsonObject session = QJsonDocument::fromJson(saved.readAll()).object();
    QCOMPARE(session.value(QStringLiteral("gameTitle")).toString(), kGame);
    QCOMPARE(session.value(QStringLiteral("isActive")).toBool(), false);

    QStringList offLoopback;
    for (const QUrl &url : LoopbackGuard::violations())
        offLoopback << url.toString();
    QVERIFY2(offLoopback.isEmpty(), qPrintable(offLoopback.join(QLatin1Char(' '))));
}

void TestNetnsConnect::circlePressDuringConnectingStopsAtOnce()
{
    Relay relay;
    QString why;
    QVERIFY2(relay.start(&why), qPrintable(why));
    TestWindow window(relay.bridge.port());
    openGame(window);
    ConnectionPage *page = window.page();
    TunnelClient *tunnel = window.tunnelClient();

    // While the engine runs for the first relay, the circle stops it all.
    page->circleButton()->click();
    QCOMPARE(page->tapButton()->text(), QStringLiteral("Connecting"));
    QTRY_VERIFY_WITH_TIMEOUT(tunnel->isRunning(), 10000);
    page->circleButton()->click();
    QCOMPARE(page->tapButton()->text(), QStringLiteral("Tap to connect"));
    QVERIFY(!tunnel->isRunning());
    QVERIFY(!window.connectState()->connecting);
    QVERIFY(!page->statusLabel()->isVisibleTo(&window));
    // Nothing of the stopped attempt comes back later (its DNS check would
    // have given up by then).
    QTest::qWait(kLookupLimitMs + 200);
    QCOMPARE(page->tapButton()->text(), QStringLiteral("Tap to connect"));
    QVERIFY(!tunnel->isRunning());

    // The circle connects and disconnects like the button.
    page->circleButton()->click();
    QTRY_COMPARE_WITH_TIMEOUT(page->tapButton()->text(), QStringLiteral("Disconnect"), 30000);
    page->circleButton()->click();
    QCOMPARE(page->tapButton()->text(), QStringLiteral("Tap to connect"));
    QVERIFY(!tunnel->isRunning());
    QVERIFY(!window.sessionManager()->isActive());
}

QTEST_MAIN(TestNetnsConnect)
#include "tst_netns_connect.moc"
