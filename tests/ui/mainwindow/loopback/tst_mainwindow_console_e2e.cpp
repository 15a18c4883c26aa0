// A console game end to end, offscreen: the fake service hands out a console
// game and two Europe relays on loopback, the console engine runs on the
// simulated driver, the network watch reads a scripted ARP listing, and the
// test relay serves the console gateway on 127.0.0.1. Opening the game lays
// the set-up overlay over the page and hides it when the console shows up;
// the connect press starts the gateway with the first Europe relay; frames
// from the console reach the relay and its answers come back to the console;
// Disconnect returns the page to idle.

#include "ConsoleFixture.h"
#include "WindowAgainstFake.h"
#include "app/ClientComposition.h"
#include "connection/ConnectFlow.h"
#include "connection/ConsoleConnect.h"
#include "connection/NetworkFingerprint.h"
#include "connection/PingSweep.h"
#include "connection/RelayChoice.h"
#include "engine/qt/ConsoleGatewayEmbedded.h"
#include "engine/qt/ConsoleNetworkManager.h"
#include "platform/driver/console_device.h"
#include "platform/driver/driver_sim.h"
#include "storage/DatabaseManager.h"
#include "support/PainterWarnings.h"
#include "support/faketools/DebugLog.h"
#include "support/faketools/FakeRunner.h"
#include "support/testrelay/TestRelay.h"
#include "ui/mainwindow/ConsoleOverlay.h"
#include "ui/mainwindow/MainWindow.h"
#include "ui/pages/connection/ConnectDisplay.h"
#include "ui/pages/connection/ConnectionPage.h"
#include "ui/pages/signin/AuthPage.h"
#include "ui/widgets/DecorativeWidgets.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <memory>

using SystemTools::ToolCommand;

namespace {

const QString kGame = QStringLiteral("Gran Turismo 7");

WindowIntervals intervals()
{
    WindowIntervals i;
    i.firstHeartbeatMs = 10;
    i.promoRefreshMs = 10;
    i.consoleNetworkSetupMs = 100;
    i.consoleConnectPressMs = 350;
    i.consoleStartCheckMs = 300;
    i.pingSweep.tickMs = 2;
    i.pingSweep.finishDelayMs = 10;
    i.pingSweep.fallbackMs = 200;
    return i;
}

QJsonObject relayJson(const QString &id, const QString &name, const QString &address, int port)
{
    return QJsonObject{
        {"id", id},           {"name", name},         {"ip_address", address}, {"port", port},
        {"region", "Europe"}, {"country", "Germany"}, {"country_code", "DE"},  {"status", "active"}};
}

// A Windows "arp -a" listing of the wired adapter, with the console in it or not.
QString arpListing(bool console)
{
    QString text = QStringLiteral(
        "\r\nInterface: 172.22.255.34 --- 0x5\r\n  Internet Address      Physical Address      Type\r\n"
        "  172.22.255.1          00-11-22-33-44-01     static\r\n");
    if (console)
        text += QStringLiteral("  172.22.255.37         00-22-48-aa-bb-01     dynamic\r\n");
    return text;
}

testpackets::Bytes waitFrame(int ms)
{
    QElapsedTimer t;
    t.start();
    uint8_t buf[RING_MAX_FRAME];
    size_t n = 0;
    while (t.elapsed() < ms) {
        if (quorlix_drvsim_pop_u2c(buf, sizeof buf, &n) == 1)
            return testpackets::Bytes(buf, buf + n);
        QTest::qWait(2);
    }
    return testpackets::Bytes();
}

} // namespace

class TestMainWindowConsoleE2E : public QObject
{
    Q_OBJECT

private:
    FakeService m_service;
    std::unique_ptr<testrelay::TestRelay> m_relay;
    QString m_listing;
    FakeRunner m_arp; // the ARP listing, and the route analysis's pings

    int arpPolls() const
    {
        int n = 0;
        for (const ToolCommand &c : m_arp.commands())
            n += c.kind == SystemTools::ToolKind::Arp ? 1 : 0;
        return n;
    }

    // The set-up overlay waits for the console while the boost starts; the
    // gateway ends at once: the spinner stops and the line says so. Leaving
    // the page ends the polls of the console network; coming back resumes them.
    void gatewayFailsBeforeTheConsoleShows(MainWindow &window, DebugLog &log, const QStringList &statusLines)
    {
        ConsoleOverlay *overlay = window.consoleOverlay();
        ConsoleNetworkManager *network = window.consoleNetworkManager();
        QTRY_VERIFY(statusLines.contains(QStringLiteral("Starting boost...")));
        QTRY_VERIFY(log.lines().contains("[ConsoleConn] Gateway is not running after start"));
        QCOMPARE(window.connectDisplay()->buttonState(), ButtonState::Idle);
        QVERIFY(overlay->overlay()->isVisible());
        QVERIFY(overlay->spinner()->isHidden());
        QVERIFY(overlay->status()->isVisible());
        QCOMPARE(overlay->status()->text(), ConnectFlow::failureMessage());

        QVERIFY(network->isMonitoring());
        QTRY_VERIFY(arpPolls() > 0);
        window.openGamesPage();
        QVERIFY(overlay->overlay()->isHidden());
        QVERIFY(!network->isMonitoring());
        const int polls = arpPolls();
        QTest::qWait(150);
        QCOMPARE(arpPolls(), polls);

        window.handleOpenConnectionsForGame(kGame, QString());
        QVERIFY(overlay->overlay()->isVisible());
        QVERIFY(network->isMonitoring());
        QTRY_VERIFY(arpPolls() > polls);
        // The console shows up: the overlay goes, as it does at the first set-up.
        m_listing = arpListing(true);
        QTRY_VERIFY(overlay->overlay()->isHidden());
    }

private slots:
    void initTestCase()
    {
        testrelay::TestRelay::Options options;
        options.port = 0;
        options.consoleClient = true;
        m_relay = std::make_unique<testrelay::TestRelay>(options);
        QVERIFY2(m_relay->start(), m_relay->errorString().c_str());
        QVERIFY(WindowAgainstFake::start(m_service));
        const int port = m_relay->boundPort();
        m_service.setServers(QJsonArray{relayJson("r1", "Relay One", "127.0.0.1", port),
                                        relayJson("r2", "Relay Two", "127.0.0.2", port)});
        m_service.setGames(QJsonArray{QJsonObject{{"id", "gt7"},
                                                  {"name", kGame},
                                                  {"category", "PlayStation 5"},
                                                  {"status", "active"},
                                                  {"udp_ports", QJsonArray{"3074", "3075"}},
                                                  {"tcp_ports", QJsonArray{}},
                                                  {"domains", QJsonArray{}}}});
        m_arp.setScript([this](const ToolCommand &c) {
            if (c.kind == SystemTools::ToolKind::Ping)
                return FakeRunner::reply(
                    FakeRunner::exited(c, 0, FakeRunner::linuxPingText(c.arguments.last(), {"0.05"}, 1)));
            return FakeRunner::reply(FakeRunner::exited(c, 0, m_listing));
        });
    }

    void init()
    {
        TestSupport::failOnPainterWarnings();
        quorlix_drvsim_install();
        m_listing = arpListing(false);
    }
    void cleanup() { quorlix_drvsim_uninstall(); }
    void cleanupTestCase() { m_relay->stop(); }

    void consoleGameConnects_data()
    {
        QTest::addColumn<QString>("variant");
        QTest::newRow("pings cached yesterday") << "cached";
        QTest::newRow("no cached pings: hidden route analysis") << "no cache";
        QTest::newRow("the driver cannot be opened") << "no driver";
        QTest::newRow("the driver cannot be opened, the console not seen yet") << "no driver, no console";
    }
    void consoleGameConnects()
    {
        QFETCH(QString, variant);
        FakeHost host; // the engine sees one wired adapter, whatever the machine has
        host.adapters = {FakeHost::adapter("Ethernet", kPcMac)};
        LogCapture engineLog; // keeps the engine's lines out of the output
        DebugLog log(QStringLiteral("[ConsoleConn]"), true);

        ClientServices services = createClientServices(intervals());
        ConsoleNetworkManager::Options watch;
        watch.runner = &m_arp;
        watch.interfaces = [] { return QList<ConsoleNetworkManager::Interface>(); };
        watch.arpCommand = SystemTools::arpCommand(SystemTools::HostOs::Windows);
        watch.pollIntervalMs = 30;
        delete services.consoleNetwork;
        services.consoleNetwork = new ConsoleNetworkManager(watch);
        // The route analysis pings through the same script: every relay
        // answers at once.
        delete services.pingSweep;
        services.pingSweep = new PingSweep(services.serviceClient, &m_arp, RelayChoice::serverPingsPath(),
                                           intervals().pingSweep);
        MainWindow window(services, intervals());
        window.authPage()->hide();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        // The catalogue and the relays arrive from the service.
        DatabaseManager *db = DatabaseManager::instance();
        QTRY_VERIFY_WITH_TIMEOUT(!db->findGameIdByName(kGame).isEmpty(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(db->getActiveServersInRegion("Europe").size(), 2, 10000);
        const QString gameId = db->findGameIdByName(kGame);
        const QString fingerprint = networkFingerprint();
        const QString key = gameId + "|Europe|" + fingerprint;
        db->deleteRouteCache(key);
        if (!variant.startsWith("no cache") && variant != "no driver, no console")
            QVERIFY(db->saveRouteCache(key, gameId, "Europe", fingerprint, "{\"r1\":{\"ping\":12}}",
                                       QDateTime::currentDateTimeUtc().addDays(-1).toString(Qt::ISODate)));
        if (variant.startsWith("no driver"))
            quorlix_drvsim_fail(QUORLIX_DRVSIM_OPEN, 2);

        ConsoleOverlay *overlay = window.consoleOverlay();
        ConsoleNetworkManager *network = window.consoleNetworkManager();
        ConnectDisplay *display = window.connectDisplay();
        ConnectionPage *page = window.connectionPageArea();
        ConsoleGatewayEmbedded *gateway = window.consoleGateway();

        // What the overlay shows the moment the console turns up; the connect
        // press may follow at any time after and show its own progress.
        bool consoleSeen = false;
        bool overlayHiddenForConsole = false;
        bool spinnerHiddenForConsole = false;
        connect(network, &ConsoleNetworkManager::consoleConnected, this, [&] {
            consoleSeen = true;
            overlayHiddenForConsole = overlay->overlay()->isHidden();
            spinnerHiddenForConsole = overlay->spinner()->isHidden();
        });

        // The overlay's status line each time the connection sets it: one
        // that shows only until the start check is still seen on a busy machine.
        QStringList statusLines;
        QObject recording; // gone before the list is
        connect(services.consoleConnect, &ConsoleConnect::statusChanged, &recording,
                [&] { statusLines << overlay->status()->text(); });

        window.handleOpenConnectionsForGame(kGame, QString(), QStringLiteral("PlayStation 5"));
        QVERIFY(overlay->overlay()->isVisible());
        QVERIFY(!overlay->blurBackground()->pixmap().isNull());
        QVERIFY(!overlay->overlay()->mask().isEmpty());
        QVERIFY(!overlay->overlay()->mask().contains(QPoint(0, 0)));

        // The network values are published and the watch polls the listing.
        QTRY_VERIFY(network->isMonitoring());
        QCOMPARE(overlay->ipAddressValue()->text(), QStringLiteral("172.22.255.37"));
        QCOMPARE(overlay->gatewayValue()->text(), QStringLiteral("172.22.255.34"));
        QVERIFY(overlay->overlay()->isVisible());
        if (variant == "no driver, no console") {
            gatewayFailsBeforeTheConsoleShows(window, log, statusLines);
            return;
        }
        m_listing = arpListing(true);
        QTRY_VERIFY(consoleSeen);
        QVERIFY(overlayHiddenForConsole);
        QVERIFY(spinnerHiddenForConsole);
        QVERIFY(overlay->overlay()->isHidden());

        if (variant == "no driver") {
            QTRY_VERIFY(log.lines().contains("[ConsoleConn] Gateway is not running after start"));
            QCOMPARE(display->buttonState(), ButtonState::Idle);
            QVERIFY(!gateway->isRunning());
            QVERIFY(!window.connectState()->connecting);
            return;
        }

        // The press 350 ms after opening: the gateway runs with the first
        // Europe relay, and 300 ms later the page is connected.
        QTRY_VERIFY(gateway->isRunning());
        QCOMPARE(page->regionValue()->text(), QStringLiteral("Relay One"));
        QCOMPARE(page->regionMode()->text(), QStringLiteral("Auto"));
        QTRY_COMPARE(display->buttonState(), ButtonState::Connected);
        QCOMPARE(page->tapButton()->text(), QStringLiteral("Disconnect"));
        QVERIFY(window.connectState()->connected);
        QVERIFY(log.lines().contains(
            QStringLiteral("[ConsoleConn] Starting Console Gateway: 127.0.0.1 %1 console_gran_turismo_7")
                .arg(m_relay->boundPort())));
        if (variant == "no cache")
            QVERIFY(
                log.lines().contains("[ConsoleConn] No usable Europe ping cache; starting route analyze..."));

        // A frame from the console reaches the relay; its echo comes back to
        // the console in the U2C ring.
        QVERIFY(quorlix_drvsim_wait_mapped(1, 5000));
        const uint64_t accepted = m_relay->stats().accepted;
        const testpackets::Bytes udp = testpackets::udp("172.22.255.37", 3074, "203.0.113.50", 3075,
                                                        testpackets::Bytes{'p', 'i', 'n', 'g'});
        const testpackets::Bytes frame = ethFrame(kPcMac, kConsoleMac, udp);
        QCOMPARE(quorlix_drvsim_push_rx(frame.data(), frame.size()), 1);
        const testpackets::Bytes back = waitFrame(5000);
        QVERIFY2(!back.empty(), m_relay->stats().lastRejection.c_str());
        QCOMPARE(testpackets::Bytes(back.end() - 4, back.end()), (testpackets::Bytes{'p', 'i', 'n', 'g'}));
        QCOMPARE(m_relay->stats().accepted, accepted + 1);

        // Disconnect: idle, and the driver was handed the all-zero configuration.
        page->tapButton()->click();
        QVERIFY(!gateway->isRunning());
        QCOMPARE(display->buttonState(), ButtonState::Idle);
        QVERIFY(!window.connectState()->connected);
        const size_t sets = quorlix_drvsim_set_count();
        QVERIFY(sets > 0);
        std::vector<uint8_t> last(CCFG_SIZE, 0xFF);
        QVERIFY(quorlix_drvsim_set_record(sets - 1, last.data()));
        QVERIFY(std::all_of(last.begin(), last.end(), [](uint8_t b) { return b == 0; }));
    }
};

QTEST_MAIN(TestMainWindowConsoleE2E)
#include "tst_mainwindow_console_e2e.moc"
