// The console set-up overlay: the area on a plain frame (widgets, looks,
// positions, the snapshot), and in the window the slots of the network watch
// and the gateway, the warning boxes through the window's presenter, and the
// console path's progress texts on the overlay.

#include "app/ClientComposition.h"
#include "connection/ConsoleConnect.h"
#include "engine/qt/ConsoleGatewayEmbedded.h"
#include "engine/qt/ConsoleNetworkManager.h"
#include "storage/DatabaseManager.h"
#include "support/PainterWarnings.h"
#include "support/WindowFixture.h"
#include "support/faketools/DebugLog.h"
#include "support/faketunnel/FakeTunnelEngine.h"
#include "ui/mainwindow/ConsoleOverlay.h"
#include "ui/mainwindow/MainWindow.h"
#include "ui/widgets/DecorativeWidgets.h"

#include <QDir>
#include <QGraphicsBlurEffect>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>

namespace {

WindowIntervals consoleIntervals()
{
    WindowIntervals intervals = WindowFixture::shortIntervals();
    intervals.closeDelayMs = 50;
    intervals.consoleNetworkSetupMs = 10;
    intervals.consoleConnectPressMs = 20;
    return intervals;
}

struct Warning
{
    QString title, text;
};

// A network watch whose adapter cannot be prepared.
class FailingNetworkManager : public ConsoleNetworkManager
{
public:
    bool setupConsoleMode() override { return false; }
};

ClientServices servicesWith(QList<Warning> *warnings, ConsoleNetworkManager *network = nullptr)
{
    FakeTunnelEngine::reset();
    ClientServices services = createClientServices(consoleIntervals(), FakeTunnelEngine::api());
    services.showWarning = [warnings](QWidget *, const QString &title, const QString &text) {
        warnings->append({title, text});
    };
    if (network) {
        delete services.consoleNetwork;
        services.consoleNetwork = network;
    }
    return services;
}

QStringList texts(const QList<QLabel *> &labels)
{
    QStringList out;
    for (QLabel *label : labels)
        out << label->text();
    return out;
}

} // namespace

class TestMainWindowConsole : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        WindowFixture::useClientNames();
        QVERIFY(WindowFixture::openDatabase());
    }
    void init() { TestSupport::failOnPainterWarnings(); }

    void overlayWidgets_data()
    {
        QTest::addColumn<QSize>("windowSize");
        QTest::addColumn<int>("top");
        QTest::newRow("1440 x 810") << QSize(1440, 810) << 171;
        QTest::newRow("1080 x 608") << QSize(1080, 608) << 608 - 8 - 631;
    }
    void overlayWidgets()
    {
        QFETCH(QSize, windowSize);
        QFETCH(int, top);
        QWidget frame;
        frame.resize(windowSize);
        ConsoleOverlay area(&frame, windowSize, nullptr);
        QWidget *overlay = area.overlay();
        QCOMPARE(overlay->objectName(), QStringLiteral("ConsoleConnOverlay"));
        QCOMPARE(overlay->parentWidget(), &frame);
        QCOMPARE(overlay->geometry(), QRect(120, top, 1300, 631));
        QVERIFY(overlay->isHidden());

        QCOMPARE(area.blurBackground()->objectName(), QStringLiteral("ConsoleConnBlurBg"));
        QCOMPARE(area.blurBackground()->geometry(), QRect(0, 0, 1300, 631));
        auto *blur = qobject_cast<QGraphicsBlurEffect *>(area.blurBackground()->graphicsEffect());
        QVERIFY(blur);
        QCOMPARE(blur->blurRadius(), 20.0);
        QCOMPARE(area.tint()->objectName(), QStringLiteral("ConsoleConnTint"));

        const QList<QWidget *> boxes = overlay->findChildren<QWidget *>(QStringLiteral("ConsoleConnCfgBox"));
        QCOMPARE(boxes.size(), 4);
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(boxes.at(i)->geometry(), QRect(QList<int>{20, 203, 386, 569}.at(i), 60, 173, 90));
            QCOMPARE(boxes.at(i)->parentWidget()->objectName(), QStringLiteral("ConsoleConnStep3"));
        }
        const QList<QLabel *> values{area.gatewayValue(), area.ipAddressValue(), area.dnsValue(),
                                     area.subnetMaskValue()};
        QCOMPARE(texts(values), (QStringList{"172.22.255.34", "172.22.255.37", "1.1.1.1", "255.255.0.0"}));
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(values.at(i)->objectName(), QStringLiteral("ConsoleConnCfgValue"));
            QCOMPARE(values.at(i)->parentWidget(), boxes.at(i));
            QCOMPARE(values.at(i)->geometry(), QRect(0, 42, 173, 20));
        }
        QCOMPARE(texts(overlay->findChildren<QLabel *>(QStringLiteral("ConsoleConnCfgLabel"))),
                 (QStringList{"Default gateway", "IP Address:", "DNS:", "Subnet mask:"}));

        // Every line of the sheet fits its label.
        for (QLabel *label : overlay->findChildren<QLabel *>()) {
            if (!label->text().isEmpty() && !label->styleSheet().contains(QLatin1String("padding")))
                QVERIFY2(label->fontMetrics().horizontalAdvance(label->text()) <= label->width(),
                         qPrintable(label->objectName()));
        }
        QCOMPARE(area.spinner()->objectName(), QStringLiteral("ConsoleConnSpinner"));
        QCOMPARE(area.spinner()->geometry(), QRect(633, 503, 34, 34));
        QCOMPARE(area.status()->objectName(), QStringLiteral("ConsoleConnVerifying"));
        QCOMPARE(area.status()->geometry(), QRect(0, 547, 1300, 20));
        QCOMPARE(area.status()->text(), QStringLiteral("Verifying configuration"));
        QVERIFY(area.spinner()->isVisibleTo(area.tint()));
        QVERIFY(area.status()->isVisibleTo(area.tint()));
    }

    // Shown over a still picture of what lies beneath, rounded; shown again
    // it takes a fresh picture.
    void snapshotOverThePage()
    {
        QWidget frame;
        frame.resize(1440, 810);
        frame.setStyleSheet(QStringLiteral("background: #2050A0;"));
        ConsoleOverlay area(&frame, frame.size(), nullptr);
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));

        area.showSnapshot(true);
        QVERIFY(area.overlay()->isVisible());
        const QPixmap picture = area.blurBackground()->pixmap();
        QCOMPARE(picture.size(), QSize(1300, 631));
        QCOMPARE(picture.toImage().pixelColor(650, 300), QColor(0x20, 0x50, 0xA0));
        const QRegion mask = area.overlay()->mask();
        QVERIFY(mask.contains(QPoint(650, 300)));
        QVERIFY(!mask.contains(QPoint(1, 1))); // the rounded corner
        QVERIFY(mask.contains(QPoint(40, 1)));

        area.showSnapshot(false);
        QVERIFY(area.overlay()->isHidden());
    }

    // The network watch's configuration fills the boxes in their order and
    // starts the watch; the console seen hides the overlay, its spinner and
    // line, again after the overlay was shown once more.
    void networkWatchSlots()
    {
        QList<Warning> warnings;
        MainWindow window(servicesWith(&warnings), consoleIntervals());
        ConsoleOverlay *area = window.consoleOverlay();
        ConsoleNetworkManager *network = window.consoleNetworkManager();
        QVERIFY(area && network);
        DebugLog lines(QStringLiteral("[ConsoleConn]"), true);

        ConsoleNetworkManager::NetworkConfig config;
        config.gateway = QStringLiteral("10.0.0.1");
        config.ipAddress = QStringLiteral("10.0.0.2");
        config.dns = QStringLiteral("10.0.0.3");
        config.subnetMask = QStringLiteral("255.0.0.0");
        config.valid = true;
        // The values arrive while the set-up shows (they are asked for when
        // a console game opens).
        window.showSnapshotOverlay(true);
        emit network->configurationReady(config);
        QCOMPARE(
            texts({area->gatewayValue(), area->ipAddressValue(), area->dnsValue(), area->subnetMaskValue()}),
            (QStringList{"10.0.0.1", "10.0.0.2", "10.0.0.3", "255.0.0.0"}));
        QVERIFY(network->isMonitoring());
        network->destroyAdapter(); // no real polls from here on

        window.showSnapshotOverlay(true);
        QVERIFY(area->overlay()->isVisibleTo(&window));
        emit network->consoleConnected();
        QVERIFY(area->overlay()->isHidden());
        QVERIFY(area->spinner()->isHidden());
        QVERIFY(area->status()->isHidden());
        // A console game opened again: the overlay is back, the spinner and
        // line stay as the last step left them until progress shows.
        window.showSnapshotOverlay(true);
        QVERIFY(!area->overlay()->isHidden());
        QVERIFY(area->spinner()->isHidden());
        emit network->consoleConnected();
        QVERIFY(area->overlay()->isHidden());

        emit network->errorOccurred(QStringLiteral("cable unplugged"));
        QCOMPARE(warnings.size(), 1);
        QCOMPARE(warnings.first().title, QStringLiteral("Console Connection Error"));
        QCOMPARE(warnings.first().text,
                 QStringLiteral("Failed to setup console connection: cable unplugged"));

        const QStringList log = lines.lines();
        QVERIFY(log.contains("[ConsoleConn] Configuration ready: 10.0.0.2"));
        QCOMPARE(log.count("[ConsoleConn] Console connected! Hiding overlay..."), 2);
        QVERIFY(log.contains("[ConsoleConn] Error: cable unplugged"));
    }

    void setupOfTheNetworkWatch()
    {
        {
            QList<Warning> warnings;
            MainWindow window(servicesWith(&warnings), consoleIntervals());
            QSignalSpy ready(window.consoleNetworkManager(), &ConsoleNetworkManager::configurationReady);
            window.showSnapshotOverlay(true);
            window.setupConsoleNetwork();
            QCOMPARE(ready.size(), 1);
            QVERIFY(warnings.isEmpty());
            QCOMPARE(window.consoleOverlay()->ipAddressValue()->text(), QStringLiteral("172.22.255.37"));
            QVERIFY(window.consoleNetworkManager()->isMonitoring());
        }
        QList<Warning> warnings;
        MainWindow window(servicesWith(&warnings, new FailingNetworkManager), consoleIntervals());
        DebugLog lines(QStringLiteral("[ConsoleConn]"), true);
        window.setupConsoleNetwork();
        QVERIFY(lines.lines().contains("[ConsoleConn] Failed to create adapter"));
        QCOMPARE(warnings.size(), 1);
        QCOMPARE(warnings.first().title, QStringLiteral("Console Connection"));
        QCOMPARE(
            warnings.first().text,
            QStringLiteral("Failed to create network adapter. Please run the application as administrator."));
        QVERIFY(!window.consoleNetworkManager()->isMonitoring());
    }

    void gatewaySlotsLog()
    {
        QList<Warning> warnings;
        MainWindow window(servicesWith(&warnings), consoleIntervals());
        ConsoleGatewayEmbedded *gateway = window.consoleGateway();
        DebugLog lines(QStringLiteral("[ConsoleGW]"), true);
        emit gateway->started();
        emit gateway->stopped(3);
        emit gateway->errorOccurred(QStringLiteral("Invalid server IP/port for console gateway"));
        QCOMPARE(lines.lines(),
                 (QStringList{"[ConsoleGW] started", "[ConsoleGW] stopped rc= 3",
                              "[ConsoleGW] error: Invalid server IP/port for console gateway"}));
        QVERIFY(warnings.isEmpty());
    }

    // The console network is polled only while the set-up shows or a
    // console connection is made or runs; paused, it waits and resumes.
    void networkWatchFollowsTheSetupAndTheConnection()
    {
        QList<Warning> warnings;
        MainWindow window(servicesWith(&warnings), consoleIntervals());
        ConsoleNetworkManager *network = window.consoleNetworkManager();
        ConsoleConnect *console = window.services().consoleConnect;
        QVERIFY(!network->isMonitoringWanted());
        window.showSnapshotOverlay(true);
        QVERIFY(network->isMonitoringWanted());
        window.setupConsoleNetwork();
        QVERIFY(network->isMonitoring());

        // Another section: nobody looks.
        window.openGamesPage();
        QVERIFY(window.consoleOverlay()->overlay()->isHidden());
        QVERIFY(!network->isMonitoringWanted());
        QVERIFY(!network->isMonitoring());

        // A console connection that runs keeps the watch, overlay or not.
        window.connectState()->kind = ConnectionKind::Console;
        window.connectState()->connected = true;
        console->setSetupShown(false); // asks again with the new state
        QVERIFY(network->isMonitoring());
        window.showSnapshotOverlay(true);
        window.showSnapshotOverlay(false);
        QVERIFY(network->isMonitoring());
        console->stopConsole(false);
        QVERIFY(!network->isMonitoring());
        network->destroyAdapter();
    }

    // The gateway could not start: the spinner stops and the line tells so.
    void failureEndsTheSpinner()
    {
        QList<Warning> warnings;
        MainWindow window(servicesWith(&warnings), consoleIntervals());
        ConsoleOverlay *area = window.consoleOverlay();
        emit window.services().consoleConnect->progressShown(QStringLiteral("Starting boost..."));
        QVERIFY(!area->spinner()->isHidden());
        emit window.services().consoleConnect->progressEnded(
            QStringLiteral("Connection failed. Please try another server."));
        QVERIFY(area->spinner()->isHidden());
        QVERIFY(!area->status()->isHidden());
        QCOMPARE(area->status()->text(), QStringLiteral("Connection failed. Please try another server."));
        // The next attempt's progress brings the spinner back.
        emit window.services().consoleConnect->progressShown(QStringLiteral("Analyzing routes (Europe)"));
        QVERIFY(!area->spinner()->isHidden());
    }

    // The console path's progress reaches the overlay's spinner and line.
    void progressOnTheOverlay()
    {
        QList<Warning> warnings;
        MainWindow window(servicesWith(&warnings), consoleIntervals());
        ConsoleOverlay *area = window.consoleOverlay();
        area->hideForConsole();
        emit window.services().consoleConnect->progressShown(QStringLiteral("Analyzing routes (Europe)"));
        QVERIFY(!area->spinner()->isHidden());
        QVERIFY(!area->status()->isHidden());
        QCOMPARE(area->status()->text(), QStringLiteral("Analyzing routes (Europe)"));
        emit window.services().consoleConnect->statusChanged(QStringLiteral("Starting boost..."));
        QCOMPARE(area->status()->text(), QStringLiteral("Starting boost..."));
    }
};

QTEST_MAIN(TestMainWindowConsole)
#include "tst_mainwindow_console.moc"
