#include "app/ClientComposition.h"
#include "connection/ConnectFlow.h"
#include "connection/LivePing.h"
#include "connection/MtuProbe.h"
#include "connection/SessionManager.h"
#include "engine/qt/ConsoleGatewayEmbedded.h"
#include "engine/qt/TunnelClient.h"
#include "i18n/TranslationManager.h"
#include "resources/AppIcon.h"
#include "services/ServerSync.h"
#include "services/ServiceClient.h"
#include "services/ServiceConfig.h"
#include "services/UsageEvents.h"
#include "storage/DatabaseManager.h"
#include "storage/SettingsManager.h"
#include "support/FakeSystemInfo.h"
#include "support/PainterWarnings.h"
#include "support/WindowFixture.h"
#include "support/faketunnel/FakeTunnelEngine.h"
#include "ui/mainwindow/MainWindow.h"
#include "ui/mainwindow/PageStack.h"
#include "ui/pages/connection/ConnectDisplay.h"
#include "ui/pages/connection/ConnectionPage.h"
#include "ui/pages/connection/PingOptimizerPage.h"
#include "ui/pages/home/HardwareCard.h"
#include "ui/pages/home/HomeDashboard.h"
#include "ui/pages/signin/AuthPage.h"
#include "ui/widgets/Gauges.h"
#include "ui/widgets/HoverPartner.h"
#include "ui/widgets/ProxyStatusOverlay.h"
#include "ui/widgets/QuorlixConnection.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QCursor>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QHBoxLayout>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPushButton>
#include <QResizeEvent>
#include <QScrollArea>
#include <QSignalSpy>
#include <QSpacerItem>
#include <QStackedWidget>
#include <QStyle>
#include <QTcpServer>
#include <QTest>
#include <QTimer>
#include <QTranslator>

namespace {

// Every named section the navigation shows or hides. The areas that build
// them are separate; here plain widgets stand in for them under the root frame.
const char *const kSections[] = {"DashboardTitle",
                                 "ConnectionsLandingTitle",
                                 "QuorlixConnectionTitle",
                                 "GamesTitle",
                                 "ProfileTitle",
                                 "SettingsTitle",
                                 "SettingsResetDefaultButton",
                                 "SettingsPreferencesCard",
                                 "SettingsLeftSectionCard",
                                 "SettingsRightSectionCard",
                                 "SettingsBottomLeftSectionCard",
                                 "SettingsBottomRightSectionCard",
                                 "ProfileLeftSection",
                                 "ProfileLogoutButton",
                                 "ConnectionsSection",
                                 "GamesSectionWrap",
                                 "ConnectionsSectionRight",
                                 "DashboardLowerLeft",
                                 "DashboardLowerRight",
                                 "BottomBreakerSection",
                                 "HelpCardTutorials",
                                 "HelpCardSupport",
                                 "HelpCardDiscord",
                                 "ConnectionsHero",
                                 "QuorlixConnLeft",
                                 "QuorlixConnRightScroll",
                                 "QuorlixConnRight",
                                 "QuorlixConnHeader",
                                 "ConnectionsLandingBanner",
                                 "ConnectionsLandingBody",
                                 "ServerRegionBack",
                                 "ServerRegionPageTitle",
                                 "ServerRegionLeftPanel",
                                 "ServerRegionRightPanel"};
// Overlays the navigation only ever hides.
const char *const kHideOnly[] = {"LogoutConfirmOverlay", "ConsoleConnOverlay", "NotifDropdownOverlay"};

// Short intervals, so nothing here waits for the client's real ones.
// The window as the composition root builds it, on the fake engine (whose
// record starts afresh with each window).
TunnelEngineApi freshFakeEngine()
{
    FakeTunnelEngine::reset();
    return FakeTunnelEngine::api();
}

// The tests reach into the pages: they are built at once, through the path
// the window takes when something needs them before the event loop got to it.
class TestWindow : public MainWindow
{
public:
    explicit TestWindow(const WindowIntervals &intervals = WindowFixture::connectIntervals())
        : MainWindow(createClientServices(intervals, freshFakeEngine()), intervals)
    {
        buildPages();
    }
};

void setLanguage(const QString &code)
{
    TranslationManager::instance()->setLanguage(code, false);
}

QWidget *named(QWidget *root, const char *name)
{
    return root->findChild<QWidget *>(QLatin1String(name));
}

void sendMouse(QWidget *target, QEvent::Type type, Qt::MouseButton button, const QPoint &global)
{
    const Qt::MouseButtons buttons =
        type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent event(type, QPointF(target->mapFromGlobal(global)), QPointF(global), button, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private:
    int m_dbFolder = 0;

    // A fresh cache database, optionally with a stored window size.
    void freshDatabase(const QString *windowSize)
    {
        QVERIFY(WindowFixture::openDatabase(QStringLiteral("db%1").arg(++m_dbFolder)));
        if (windowSize)
            DatabaseManager::instance()->setMetadata(QStringLiteral("settings/window_size"), *windowSize);
    }

    static void showAndSettle(MainWindow &window)
    {
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCoreApplication::processEvents();
    }

    static void signIn(MainWindow &window)
    {
        window.authPage()->hide();
        QCoreApplication::processEvents();
    }

private slots:
    void initTestCase() { WindowFixture::useClientNames(); }

    void init() { TestSupport::failOnPainterWarnings(); }
    void cleanup() { setLanguage(QStringLiteral("en-US")); }

    void frameAndSize_data()
    {
        QTest::addColumn<bool>("stored");
        QTest::addColumn<QString>("sizeText");
        QTest::addColumn<QSize>("size");
        QTest::newRow("nothing stored") << false << QString() << QSize(1440, 810);
        QTest::newRow("design size stored") << true << "(1440 x 810)" << QSize(1440, 810);
        QTest::newRow("small size stored") << true << "(1080 x 608)" << QSize(1080, 608);
        QTest::newRow("empty text") << true << "" << QSize(1440, 810);
    }
    void frameAndSize()
    {
        QFETCH(bool, stored);
        QFETCH(QString, sizeText);
        QFETCH(QSize, size);
        freshDatabase(stored ? &sizeText : nullptr);

        TestWindow window;
        QVERIFY(window.windowFlags().testFlag(Qt::FramelessWindowHint));
        QVERIFY(!window.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
        QCOMPARE(window.windowTitle(), QStringLiteral("Quorlix v2.0.0"));
        QCOMPARE(window.size(), size);
        QCOMPARE(window.minimumSize(), size);
        QCOMPARE(window.maximumSize(), size);
        // The stored size serves this run only: the design size is written back.
        QString text;
        QVERIFY(DatabaseManager::instance()->tryGetMetadata(QStringLiteral("settings/window_size"), &text));
        QCOMPARE(text, QStringLiteral("(1440 x 810)"));
        QCOMPARE(named(&window, "SettingsResetDefaultButton")->pos(), QPoint(size.width() - 118, 97));

        // Home is where the window starts; the sign-in page covers it.
        QCOMPARE(window.navGroup()->checkedId(), 0);
        QVERIFY(window.authPage()->isVisibleTo(&window));
        QVERIFY(!window.busyOverlay()->isVisibleTo(&window));
        QVERIFY(qobject_cast<QStackedWidget *>(window.connectionPage()->parentWidget()));
        QVERIFY(named(&window, "NewHeader"));
        QCOMPARE(named(&window, "NewHeader")->height(), 330);
    }

    void frameStructure()
    {
        TestWindow window;
        // The scrolling page: scroll area -> root frame -> header band, stack.
        auto *scroll = qobject_cast<QScrollArea *>(window.centralWidget());
        QVERIFY(scroll);
        QCOMPARE(scroll->objectName(), QStringLiteral("MainScrollArea"));
        QWidget *frame = named(&window, "WindowFrame");
        QCOMPARE(scroll->widget(), frame);
        QCOMPARE(window.header()->objectName(), QStringLiteral("NewHeader"));
        QCOMPARE(window.header()->parentWidget(), frame);
        auto *stack = qobject_cast<QStackedWidget *>(window.connectionPage()->parentWidget());
        QVERIFY(stack);
        QCOMPARE(stack->parentWidget(), frame);
        QCOMPARE(stack->count(), 2);
        QCOMPARE(stack->widget(0)->objectName(), QStringLiteral("HomeRoot"));
        QCOMPARE(stack->widget(1), window.connectionPage());
        QCOMPARE(stack->currentIndex(), 0);

        // What must not scroll with the page, and the long-lived services, are
        // the window's own children.
        for (const char *name : {"HeaderNavDots", "FixedMiniLogo", "FixedMiniLogoLine"})
            QCOMPARE(named(&window, name)->parentWidget(), &window);
        const ClientServices &services = window.services();
        for (QObject *child :
             {static_cast<QObject *>(window.authPage()), static_cast<QObject *>(window.busyOverlay()),
              static_cast<QObject *>(window.sessionManager()), static_cast<QObject *>(window.tunnelClient()),
              static_cast<QObject *>(services.serviceClient), static_cast<QObject *>(services.serverSync),
              static_cast<QObject *>(services.usage), static_cast<QObject *>(services.connectFlow),
              static_cast<QObject *>(services.mtuProbe), static_cast<QObject *>(services.livePing),
              static_cast<QObject *>(services.packetLoss),
              static_cast<QObject *>(window.consoleNetworkManager()),
              static_cast<QObject *>(window.consoleGateway())}) {
            QVERIFY(child);
            QCOMPARE(child->parent(), &window);
        }
        QCOMPARE(window.busyOverlay()->objectName(), QStringLiteral("ProxyStatusOverlay"));
        QCOMPARE(window.busyOverlay()->geometry(), window.rect());
        QCOMPARE(window.authPage()->geometry(), window.rect());
        for (const char *name : {"WindowMinimizeButton", "WindowCloseButton", "MiniLogoWrap"})
            QCOMPARE(named(&window, name)->parentWidget(), window.header());
    }

    void windowIconIsTheApplicationsOwn()
    {
        // One icon for the process: the window does not read the file again.
        QApplication::setWindowIcon(appIcon());
        TestWindow window;
        QVERIFY(!window.windowIcon().isNull());
        QCOMPARE(window.windowIcon().cacheKey(), appIcon().cacheKey());
        QCOMPARE(QApplication::windowIcon().cacheKey(), appIcon().cacheKey());
    }

    void sideNavigationItems()
    {
        TestWindow window;
        const QStringList labels = {"Home", "Games", "Network", "Setting", "Profile"};
        QCOMPARE(window.navGroup()->buttons().size(), labels.size());
        QVERIFY(window.navGroup()->exclusive());
        for (int id = 0; id < labels.size(); ++id) {
            QAbstractButton *button = window.navGroup()->button(id);
            QVERIFY(button);
            QCOMPARE(button->objectName(), QStringLiteral("HeaderNavDot"));
            QCOMPARE(button->toolTip(), labels.at(id));
            QCOMPARE(button->parentWidget(), named(&window, "HeaderNavDots"));
            QCOMPARE(button->size(), QSize(54, 54));
            QVERIFY(button->isCheckable());
            QCOMPARE(button->isChecked(), id == 0);
            QCOMPARE(button->focusPolicy(), Qt::NoFocus);
        }
        auto *version = qobject_cast<QLabel *>(named(&window, "sideVersion"));
        QVERIFY(version);
        QCOMPARE(version->text(), QStringLiteral("v2.0.0"));
        QVERIFY(named(&window, "SideFooterDivider"));
        QCOMPARE(named(&window, "HeaderNavDots")->width(), 70);
    }

    void startupTimers()
    {
        // The client's window: the version check every 30 minutes and the
        // heartbeat every 30 seconds run from construction on; every other
        // timer waits for its flow.
        const std::unique_ptr<MainWindow> window = createMainWindow();
        QMap<int, bool> running;
        for (QTimer *timer : window->findChildren<QTimer *>(QString(), Qt::FindDirectChildrenOnly))
            running.insert(timer->interval(), timer->isActive() && !timer->isSingleShot());
        QCOMPARE(running.value(1800000), true);
        QCOMPARE(running.value(30000), true);
        // "Closing Quorlyx" stays up for two seconds; the connection view's
        // promotion look follows 350 ms after it opens.
        // The connection page waits hidden in its idle look; its clock and
        // "Connecting" timers (250 ms each) wait for the connect flow.
        QCOMPARE(window->connectTimer()->interval(), 250);
        QVERIFY(!window->connectTimer()->isActive());
        QVERIFY(!window->connectDisplay()->connectingTimer()->isActive());
        QVERIFY(window->connectionPageArea()->header()->isHidden());
        QCOMPARE(window->connectionPageArea()->tapButton()->text(), QStringLiteral("Tap to connect"));
        QCOMPARE(window->intervals().closeDelayMs, 2000);
        QCOMPARE(window->intervals().promoRefreshMs, 350);
        QCOMPARE(window->intervals().firstHeartbeatMs, 1000);
    }

    void dragByHeader()
    {
        TestWindow window;
        window.move(100, 50);
        showAndSettle(window);
        QWidget *header = window.header();
        QVERIFY(header);
        const QPoint start = window.pos();
        const QPoint grab = header->mapToGlobal(QPoint(600, 200));

        // Moving without a press does nothing; a right press does not start a drag.
        sendMouse(header, QEvent::MouseMove, Qt::NoButton, grab + QPoint(30, 40));
        QCOMPARE(window.pos(), start);
        sendMouse(header, QEvent::MouseButtonPress, Qt::RightButton, grab);
        sendMouse(header, QEvent::MouseMove, Qt::NoButton, grab + QPoint(30, 40));
        sendMouse(header, QEvent::MouseButtonRelease, Qt::RightButton, grab + QPoint(30, 40));
        QCOMPARE(window.pos(), start);

        sendMouse(header, QEvent::MouseButtonPress, Qt::LeftButton, grab);
        sendMouse(header, QEvent::MouseMove, Qt::LeftButton, grab + QPoint(30, 40));
        QCOMPARE(window.pos(), start + QPoint(30, 40));
        sendMouse(header, QEvent::MouseMove, Qt::LeftButton, grab + QPoint(-20, 10));
        QCOMPARE(window.pos(), start + QPoint(-20, 10));
        sendMouse(header, QEvent::MouseButtonRelease, Qt::LeftButton, grab + QPoint(-20, 10));
        sendMouse(header, QEvent::MouseMove, Qt::NoButton, grab + QPoint(200, 200));
        QCOMPARE(window.pos(), start + QPoint(-20, 10));
    }

    void connectOperationsReachTheFlow()
    {
        freshDatabase(nullptr); // no relays stored
        SettingsManager::instance()->setServer(QString(), QString(), QString(), QString());
        TestWindow window;
        ConnectFlow *flow = window.services().connectFlow;
        QVERIFY(flow);
        QSignalSpy refusals(flow, &ConnectFlow::refusal);
        QSignalSpy refusalEnded(flow, &ConnectFlow::refusalEnded);
        window.startConnect();
        QCOMPARE(refusals.size(), 1);
        QCOMPARE(refusals.first().first().toString(), QStringLiteral("Select a server first"));
        QTRY_COMPARE(refusalEnded.size(), 1); // on the window's interval
        QVERIFY(!flow->state().connecting);
        QVERIFY(window.europeServers().isEmpty());
        QVERIFY(!window.pickServer().ok);
        window.stopConnection(); // idle: nothing to stop, nothing breaks
        QVERIFY(!flow->state().connected);

        // Without a selected relay the ping reads 0 and runs nothing; the loss
        // reads 0% while the tunnel does not run.
        QSignalSpy ping(window.services().livePing, &LivePing::pingChanged);
        window.measurePing();
        QCOMPARE(ping.size(), 1);
        QCOMPARE(ping.first().first().toInt(), 0);
        QVERIFY(!window.services().livePing->isMeasuring());
        QSignalSpy loss(window.services().packetLoss, &PacketLossMeter::lossChanged);
        window.startPacketLossSampling();
        QVERIFY(window.services().packetLoss->isSampling());
        window.updatePacketLoss();
        QCOMPARE(loss.last().first().toString(), QStringLiteral("0%"));
        window.services().packetLoss->reset();
    }

    void closeSequence_data()
    {
        QTest::addColumn<bool>("tunnelRunning");
        QTest::addColumn<bool>("sessionActive");
        QTest::newRow("nothing running") << false << false;
        QTest::newRow("tunnel running") << true << false;
        QTest::newRow("tunnel and session running") << true << true;
    }
    void closeSequence()
    {
        QFETCH(bool, tunnelRunning);
        QFETCH(bool, sessionActive);
        TestWindow window;
        TunnelClient *tunnel = window.tunnelClient();
        showAndSettle(window);
        if (tunnelRunning) {
            QVERIFY(tunnel->start());
            QTRY_COMPARE(FakeTunnelEngine::record().mainsEntered.load(), 1);
        }
        SessionManager *sessions = window.sessionManager();
        QVERIFY(sessions);
        if (sessionActive)
            sessions->startSession(QStringLiteral("Game"), QStringLiteral("game.exe"), QString());
        QSignalSpy ended(sessions, &SessionManager::sessionEnded);

        QVERIFY(!window.close()); // the first request is turned down
        QVERIFY(window.isVisible());
        QVERIFY(window.busyOverlay()->isVisible());
        QCOMPARE(window.busyOverlay()->titleText(), QStringLiteral("Closing Quorlyx"));
        QCOMPARE(window.busyOverlay()->geometry(), window.rect());
        QVERIFY(!window.authPage()->isVisible());

        QCOMPARE(FakeTunnelEngine::record().stops.load(), 0); // nothing stops before the overlay's time is up

        QTRY_VERIFY_WITH_TIMEOUT(!window.isVisible(), 10000);
        // The client repeats its stop until the engine's thread has ended (a
        // stop that lands before the run clears its flag is lost), so how
        // many it takes depends on when that thread gets a processor.
        if (tunnelRunning)
            QVERIFY(FakeTunnelEngine::record().stops.load() >= 1);
        else
            QCOMPARE(FakeTunnelEngine::record().stops.load(), 0);
        QCOMPARE(FakeTunnelEngine::record().mainsReturned.load(),
                 FakeTunnelEngine::record().mainsEntered.load());
        QVERIFY(!tunnel->isRunning());
        QCOMPARE(ended.count(), sessionActive ? 1 : 0);
        QVERIFY(!sessions->currentSession().isActive);
    }

    void closeAbandonsUpdate_data()
    {
        QTest::addColumn<bool>("versionBlocked");
        QTest::newRow("update check and download under way") << false;
        QTest::newRow("version block shown: nothing is touched") << true;
    }
    void closeAbandonsUpdate()
    {
        QFETCH(bool, versionBlocked);
        // A download that never ends: the loopback server accepts and stays silent.
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost, 0));
        QNetworkAccessManager network;
        QNetworkReply *download = network.get(
            QNetworkRequest(QUrl(QStringLiteral("http://127.0.0.1:%1/setup.exe").arg(silent.serverPort()))));
        QPointer<QNetworkReply> watched = download;
        QSignalSpy failed(download, &QNetworkReply::errorOccurred);

        WindowIntervals intervals = WindowFixture::connectIntervals();
        intervals.closeDelayMs = 5000; // the window itself must not close during the test
        TestWindow window(intervals);
        showAndSettle(window);
        window.setVersionBlocked(versionBlocked);
        window.setUpdateCheckRunning(true);
        window.setUpdateRequired(true);
        window.keepUpdateDownload(download);
        QTRY_VERIFY(silent.hasPendingConnections() || download->isRunning());

        QVERIFY(!window.close());
        QCOMPARE(window.isUpdateCheckRunning(), versionBlocked);
        QCOMPARE(window.isUpdateRequired(), versionBlocked);
        if (versionBlocked) {
            QCOMPARE(window.updateDownload(), download);
            QVERIFY(download->isRunning());
            QCOMPARE(failed.count(), 0);
            delete download;
            return;
        }
        QCOMPARE(window.updateDownload(), nullptr);
        QCOMPARE(failed.count(), 1);
        QCOMPARE(failed.first().first().value<QNetworkReply::NetworkError>(),
                 QNetworkReply::OperationCanceledError);
        QTRY_VERIFY(watched.isNull()); // released, not leaked
    }

    void closeRefusedWhileVersionBlocked()
    {
        TestWindow window;
        showAndSettle(window);
        window.setVersionBlocked(true);
        QVERIFY(!window.close());
        QTest::qWait(window.intervals().closeDelayMs);
        QVERIFY(window.isVisible());
        QVERIFY(!window.busyOverlay()->isVisible());
        QVERIFY(window.authPage()->isVisible());

        // Once the block is lifted the window closes through the overlay again.
        window.setVersionBlocked(false);
        QVERIFY(!window.close());
        QTRY_VERIFY_WITH_TIMEOUT(!window.isVisible(), 10000);
    }

    void placementForLanguage_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<bool>("switchAfterShow");
        QTest::addColumn<QPoint>("close");
        QTest::addColumn<QPoint>("minimize");
        QTest::addColumn<int>("columnX");
        QTest::addColumn<int>("logoX");
        QTest::addColumn<int>("lineX");
        QTest::addColumn<int>("spacer");
        QTest::newRow("English") << "en-US" << false << QPoint(1366, 20) << QPoint(1302, 20) << 24 << 36 << 37
                                 << 35;
        QTest::newRow("Persian at start")
            << "fa-IR" << false << QPoint(20, 20) << QPoint(84, 20) << 1346 << 1358 << 1359 << 54;
        QTest::newRow("Persian chosen later")
            << "fa-IR" << true << QPoint(20, 20) << QPoint(84, 20) << 1346 << 1358 << 1359 << 54;
    }
    void placementForLanguage()
    {
        QFETCH(QString, language);
        QFETCH(bool, switchAfterShow);
        QFETCH(QPoint, close);
        QFETCH(QPoint, minimize);
        QFETCH(int, columnX);
        QFETCH(int, logoX);
        QFETCH(int, lineX);
        QFETCH(int, spacer);
        freshDatabase(nullptr);
        if (!switchAfterShow)
            setLanguage(language);

        TestWindow window;
        showAndSettle(window);
        signIn(window);
        if (switchAfterShow)
            setLanguage(language);
        QCoreApplication::processEvents();

        QCOMPARE(named(&window, "WindowCloseButton")->pos(), close);
        QCOMPARE(named(&window, "WindowMinimizeButton")->pos(), minimize);
        QWidget *column = named(&window, "HeaderNavDots");
        QTRY_VERIFY(column->isVisible());
        QCOMPARE(column->x(), columnX);
        QCOMPARE(column->y(), 111);
        QCOMPARE(named(&window, "FixedMiniLogo")->pos(), QPoint(logoX, 28));
        QCOMPARE(named(&window, "FixedMiniLogoLine")->pos(), QPoint(lineX, 92));
        auto *row = qobject_cast<QHBoxLayout *>(window.header()->layout());
        QVERIFY(row);
        QSpacerItem *gap = row->itemAt(1)->spacerItem();
        QVERIFY(gap);
        QCOMPARE(gap->sizeHint().width(), spacer);
        // The floating widgets belong to the window, not to the scrolling page.
        QCOMPARE(column->parentWidget(), &window);
    }

    // The resize handling, the dashboard's column hook and the metrics hook
    // all place the dashboard's containers from one table: at construction,
    // after the first show, after a resize and after fa -> en -> fa, every
    // container is at the table's x and no two of them overlap.
    void dashboardContainersKeepOnePlace()
    {
        const char *const names[] = {"ConnectionsSection",  "ConnectionsSectionRight", "DashboardLowerLeft",
                                     "DashboardLowerRight", "BottomBreakerSection",    "HelpCardTutorials",
                                     "HelpCardSupport",     "HelpCardDiscord"};
        const QList<int> english{120, 780, 120, 781, 120, 120, 560, 1000};
        const QList<int> persian{20, 680, 20, 681, 20, 20, 460, 900};
        setLanguage(QStringLiteral("fa-IR"));
        TestWindow window;
        signIn(window);
        const auto check = [&](const QList<int> &xs, const char *when) {
            QList<int> got;
            for (const char *name : names)
                got << named(&window, name)->x();
            QVERIFY2(got == xs, when);
            for (int i = 0; i < 8; ++i) {
                for (int j = i + 1; j < 8; ++j) {
                    QVERIFY2(!named(&window, names[i])
                                  ->geometry()
                                  .intersects(named(&window, names[j])->geometry()),
                             qPrintable(QStringLiteral("%1: %2 over %3").arg(when, names[i], names[j])));
                }
            }
        };
        check(persian, "construction");
        showAndSettle(window);
        check(persian, "first show");
        for (const char *name : names)
            named(&window, name)->move(0, named(&window, name)->y());
        QResizeEvent resize(window.size(), window.size());
        QApplication::sendEvent(&window, &resize);
        check(persian, "resize");
        setLanguage(QStringLiteral("en-US"));
        check(english, "English");
        QApplication::sendEvent(&window, &resize);
        check(english, "English resize");
        setLanguage(QStringLiteral("fa-IR"));
        check(persian, "Persian again");
        // The two upper cards side by side.
        QCOMPARE(named(&window, "ConnectionsSection")->geometry().right() + 21,
                 named(&window, "ConnectionsSectionRight")->x());
        setLanguage(QStringLiteral("en-US"));
    }

    void homeDashboardColumns_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QList<int>>("xs");
        QTest::newRow("English") << "en-US" << QList<int>{120, 780, 120, 781};
        QTest::newRow("Persian") << "fa-IR" << QList<int>{20, 680, 20, 681};
    }
    void homeDashboardColumns()
    {
        QFETCH(QString, language);
        QFETCH(QList<int>, xs);
        TestWindow window;
        const int upper = named(&window, "DashboardTitle")->height() + 115;
        const char *const names[] = {"ConnectionsSection", "ConnectionsSectionRight", "DashboardLowerLeft",
                                     "DashboardLowerRight"};
        const int ys[] = {upper, upper, upper + 402, upper + 402};
        QCOMPARE(named(&window, "GamesSectionWrap")->y(), named(&window, "GamesTitle")->height() + 114);

        setLanguage(language);
        for (int i = 0; i < 4; ++i)
            QCOMPARE(named(&window, names[i])->pos(), QPoint(xs[i], ys[i]));
        // The adapter places them the same way from anywhere.
        for (const char *name : names)
            named(&window, name)->move(0, named(&window, name)->y());
        window.placeHomeSections();
        for (int i = 0; i < 4; ++i)
            QCOMPARE(named(&window, names[i])->pos(), QPoint(xs[i], ys[i]));
    }

    void hardwareCardInTheLowerRightCard()
    {
        FakeSystemInfo fake;
        fake.cpuPercent = 37;
        fake.gpuCelsius = 61;
        fake.memory = {16ull << 30, 11ull << 30, 5ull << 30, 31};
        WindowIntervals intervals = WindowFixture::connectIntervals();
        intervals.hardwareRefreshMs = 15;
        setLanguage(QStringLiteral("en-US"));
        TestWindow window(intervals);
        HardwareCard *card = window.hardwareCard();
        QVERIFY(card);
        QCOMPARE(card->card(), window.homeDashboard()->lowerRight());
        // The first reading is there before any tick.
        QCOMPARE(card->cpuFigure()->text(), QStringLiteral("37%"));
        QCOMPARE(card->gpuGauge()->value(), 24);
        QCOMPARE(card->badgeText(2)->text(), QStringLiteral("16"));
        QCOMPARE(card->timer()->parent(), window.homeDashboard()->lowerRight());
        QVERIFY(card->timer()->isActive());
        QCOMPARE(card->timer()->interval(), 15);
        fake.gpuPercent = 0;
        QTRY_COMPARE(card->gpuFigure()->text(), QStringLiteral("1%"));

        setLanguage(QStringLiteral("fa-IR"));
        QCOMPARE(card->badge(2)->x(), 548);
        QCOMPARE(card->cpuNameLine()->text(), QStringLiteral("پردازنده"));
        setLanguage(QStringLiteral("en-US"));
        QCOMPARE(card->badge(2)->x(), 474);
        QCOMPARE(card->cpuNameLine()->text(), QStringLiteral("CPU"));
    }

    void hardwareCardKeepsItsDesignValuesWithoutReadings()
    {
        FakeSystemInfo silent;
        setLanguage(QStringLiteral("en-US"));
        TestWindow window;
        HardwareCard *card = window.hardwareCard();
        QCOMPARE(card->cpuGauge()->value(), 9);
        QCOMPARE(card->gpuGauge()->value(), 24);
        QCOMPARE(card->gpuFigure()->text(), QString());
        QCOMPARE(card->gpuTemperatureLine()->text(), QStringLiteral("--"));
        QCOMPARE(card->caption(2)->text(), QStringLiteral("Total"));
    }

    void metricsStripAndHelpCardsBelowTheDashboard()
    {
        QList<QUrl> opened;
        ClientServices services = createClientServices(WindowFixture::connectIntervals(), freshFakeEngine());
        services.openUrl = [&opened](const QUrl &url) {
            opened << url;
            return true;
        };
        setLanguage(QStringLiteral("en-US"));
        MainWindow window(services, WindowFixture::connectIntervals());
        window.buildPages();
        signIn(window);
        QWidget *strip = named(&window, "BottomBreakerSection");
        QVERIFY(strip);
        QCOMPARE(strip->parentWidget(), named(&window, "WindowFrame"));
        const int y2 = named(&window, "DashboardLowerLeft")->y() + 402;
        QCOMPARE(strip->geometry(), QRect(120, y2, 1300, 160));
        for (const char *name : {"HelpCardTutorials", "HelpCardSupport", "HelpCardDiscord"})
            QCOMPARE(named(&window, name)->y(), y2 + 180);
        // The home page scrolls down to below the help cards.
        window.navGroup()->button(0)->click();
        QCOMPARE(named(&window, "WindowFrame")->minimumHeight(), y2 + 494);
        QVERIFY(strip->isVisibleTo(&window));
        window.navGroup()->button(1)->click();
        QVERIFY(!strip->isVisibleTo(&window));
        QVERIFY(!named(&window, "HelpCardDiscord")->isVisibleTo(&window));
        window.navGroup()->button(0)->click();
        QVERIFY(named(&window, "HelpCardDiscord")->isVisibleTo(&window));

        window.findChild<QPushButton *>(QStringLiteral("HelpCardTutorialsBtn"))->click();
        QVERIFY(opened.isEmpty());
        window.findChild<QPushButton *>(QStringLiteral("HelpCardSupportBtn"))->click();
        window.findChild<QPushButton *>(QStringLiteral("HelpCardDiscordBtn"))->click();
        const ServiceConfig &config = ServiceConfig::instance();
        QCOMPARE(opened, (QList<QUrl>{config.siteUrl(QStringLiteral("/clientarea.php?tab=tickets")),
                                      config.communityInvite()}));
        QVERIFY(!opened.last().isEmpty());

        // The adapters reach the same hooks.
        window.retranslateHomeCards(QStringLiteral("fa-IR"));
        QCOMPARE(window.findChild<QLabel *>(QStringLiteral("HomeMetric4Subtitle"))->text(),
                 QStringLiteral("سرورها"));
        window.layoutHomeMetrics(QStringLiteral("fa-IR"));
        QCOMPARE(strip->x(), 20);
        window.layoutHomeMetrics(QStringLiteral("en-US"));
        window.retranslateHomeCards(QStringLiteral("en-US"));
        QCOMPARE(strip->x(), 120);
        window.openHelpCardLink(QUrl(QStringLiteral("http://127.0.0.1:9/x")));
        QCOMPARE(opened.last(), QUrl(QStringLiteral("http://127.0.0.1:9/x")));
    }

    void homeButtonsOpenGames_data()
    {
        QTest::addColumn<QString>("button");
        QTest::newRow("Add a game") << "HomeAddGameBtn";
        QTest::newRow("Add connection") << "LastSessionEmptyAddBtn";
    }
    void homeButtonsOpenGames()
    {
        QFETCH(QString, button);
        TestWindow window;
        window.authPage()->hide();
        window.show();
        QSignalSpy opened(&window, &MainWindow::gamesSectionOpened);
        auto *add = window.findChild<QPushButton *>(button);
        QVERIFY(add);
        add->click();
        QCOMPARE(window.navGroup()->checkedId(), 1);
        QCOMPARE(opened.size(), 1);
        QVERIFY(named(&window, "GamesSectionWrap")->isVisible());
        QVERIFY(!named(&window, "ConnectionsSection")->isVisible());
    }

    void lastSessionFollowsTheSessionManager()
    {
        // A session saved by an earlier run fills the card as the window starts.
        SessionData saved;
        saved.gameTitle = QStringLiteral("Arena Strike");
        saved.duration = 3725;
        saved.packetLoss = 0.5;
        DatabaseManager::instance()->setMetadata(SessionManager::metadataKey(),
                                                 QString::fromUtf8(QJsonDocument(saved.toJson()).toJson()));
        {
            TestWindow window;
            auto *value = window.findChild<QLabel *>(QStringLiteral("LastSessionDurationValue"));
            QCOMPARE(value->text(), QStringLiteral("01:02:05"));
            QVERIFY(!named(&window, "LastSessionEmpty")->isVisibleTo(&window));
        }
        DatabaseManager::instance()->setMetadata(SessionManager::metadataKey(), QString());
        QFile::remove(SessionManager::sessionFilePath());

        TestWindow window;
        QVERIFY(named(&window, "LastSessionEmpty")->isVisibleTo(&window));
        SessionData live;
        live.gameTitle = QStringLiteral("Sky Racers");
        emit window.sessionManager()->sessionStarted(live);
        QVERIFY(!named(&window, "LastSessionEmpty")->isVisibleTo(&window));
        QCOMPARE(window.findChild<QLabel *>(QStringLiteral("LastSessionDurationValue"))->text(),
                 QStringLiteral("00:00"));
        live.duration = 75;
        emit window.sessionManager()->sessionUpdated(live);
        QCOMPARE(window.findChild<QLabel *>(QStringLiteral("LastSessionDurationValue"))->text(),
                 QStringLiteral("01:15"));
    }

    void visitWebsiteOpensTheSite()
    {
        QList<QUrl> opened;
        ClientServices services = createClientServices(WindowFixture::connectIntervals(), freshFakeEngine());
        services.openUrl = [&opened](const QUrl &url) {
            opened << url;
            return true;
        };
        MainWindow window(services, WindowFixture::connectIntervals());
        window.buildPages();
        auto *hit = window.findChild<QPushButton *>(QStringLiteral("ConnectionsVisitHit"));
        QVERIFY(hit);
        hit->click();
        QCOMPARE(opened, QList<QUrl>{ServiceConfig::instance().siteOrigin()});
        auto *headline = window.findChild<QLabel *>(QStringLiteral("ConnectionsHeroTitle"));
        QCOMPARE(headline->pos(), QPoint(40, 104));
    }

    void overlaysAndTitleFollowTheWindow_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<bool>("persian");
        QTest::newRow("English") << "en-US" << false;
        QTest::newRow("Persian") << "fa-IR" << true;
    }
    void overlaysAndTitleFollowTheWindow()
    {
        QFETCH(QString, language);
        QFETCH(bool, persian);
        setLanguage(language);
        TestWindow window;
        QWidget *notif = named(&window, "NotifDropdownOverlay");
        QWidget *notifCard = named(&window, "NotifDropdownCard");
        QVERIFY(notif && notifCard);
        // The window's own sign-out overlay when an area builds it, else a stand-in.
        QWidget *logout = named(&window, "LogoutConfirmOverlay");
        if (!logout) {
            logout = new QWidget(&window);
            logout->setObjectName(QStringLiteral("LogoutConfirmOverlay"));
            auto *standInCard = new QFrame(logout);
            standInCard->setObjectName(QStringLiteral("LogoutConfirmCard"));
            standInCard->resize(401, 211);
        }
        QWidget *logoutCard = named(logout, "LogoutConfirmCard");
        showAndSettle(window);

        QCOMPARE(notif->geometry(), window.rect());
        QCOMPARE(notifCard->geometry(), QRect(880, 90, 296, 416));
        QCOMPARE(logout->geometry(), window.rect());
        QCOMPARE(logoutCard->pos(),
                 QPoint((1440 - logoutCard->width()) / 2, (810 - logoutCard->height()) / 2));
        // The Dashboard title against the root frame's right edge for Persian.
        QWidget *title = named(&window, "DashboardTitle");
        QCOMPARE(title->pos(), QPoint(persian ? 1440 - title->width() - 120 : 120, 95));
        QCOMPARE(window.authPage()->geometry(), window.rect());
        QCOMPARE(window.busyOverlay()->geometry(), window.rect());
    }

    void navigation_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<bool>("byIndex");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<bool>("connectionPage");
        const QStringList home = {"DashboardTitle",     "ConnectionsSection",  "ConnectionsSectionRight",
                                  "DashboardLowerLeft", "DashboardLowerRight", "BottomBreakerSection",
                                  "HelpCardTutorials",  "HelpCardSupport",     "HelpCardDiscord",
                                  "ConnectionsHero"};
        const QStringList settings = {"SettingsTitle",
                                      "SettingsResetDefaultButton",
                                      "SettingsPreferencesCard",
                                      "SettingsLeftSectionCard",
                                      "SettingsRightSectionCard",
                                      "SettingsBottomLeftSectionCard",
                                      "SettingsBottomRightSectionCard"};
        QTest::newRow("Home") << 0 << false << home << false;
        QTest::newRow("Games") << 1 << false << QStringList{"GamesTitle", "GamesSectionWrap"} << false;
        QTest::newRow("Network clicked: landing")
            << 2 << false
            << QStringList{"ConnectionsLandingTitle", "ConnectionsLandingBanner", "ConnectionsLandingBody"}
            << true;
        QTest::newRow("Network by index: connection page")
            << 2 << true
            << QStringList{"QuorlixConnLeft", "QuorlixConnRightScroll", "QuorlixConnRight",
                           "QuorlixConnHeader"}
            << true;
        QTest::newRow("Setting") << 3 << false << settings << false;
        QTest::newRow("Profile") << 4 << false
                                 << QStringList{"ProfileTitle", "ProfileLeftSection", "ProfileLogoutButton"}
                                 << false;
        QTest::newRow("Home by index") << 0 << true << home << false;
    }
    void navigation()
    {
        QFETCH(int, id);
        QFETCH(bool, byIndex);
        QFETCH(QStringList, shown);
        QFETCH(bool, connectionPage);

        TestWindow window;
        QWidget *frame = named(&window, "WindowFrame");
        // Stand-ins for the sections no area builds yet.
        for (const char *name : kSections) {
            if (named(&window, name))
                continue;
            auto *w = new QWidget(frame);
            w->setObjectName(QLatin1String(name));
        }
        for (const char *name : kHideOnly) {
            if (named(&window, name))
                continue;
            auto *w = new QWidget(&window);
            w->setObjectName(QLatin1String(name));
        }
        showAndSettle(window);
        // Leave the row's section first so that every row is a real switch.
        window.navigateToPage(id == 1 ? 3 : 1);
        for (const char *name : kSections)
            named(&window, name)->show();
        for (const char *name : kHideOnly)
            named(&window, name)->show();

        if (byIndex)
            window.navigateToPage(id);
        else
            window.navGroup()->button(id)->click();

        QCOMPARE(window.navGroup()->checkedId(), id);
        for (QAbstractButton *b : window.navGroup()->buttons())
            QCOMPARE(b->isChecked(), window.navGroup()->id(b) == id);
        for (const char *name : kSections) {
            const bool expected = shown.contains(QLatin1String(name));
            if (named(&window, name)->isHidden() == expected)
                QFAIL(qPrintable(QStringLiteral("%1 should be %2")
                                     .arg(QLatin1String(name),
                                          expected ? QStringLiteral("shown") : QStringLiteral("hidden"))));
        }
        QVERIFY(named(&window, "NotifDropdownOverlay")->isHidden());
        QCOMPARE(named(&window, "LogoutConfirmOverlay")->isHidden(), id != 4);
        QCOMPARE(named(&window, "ConsoleConnOverlay")->isHidden(), !(id == 2 && byIndex));

        auto *stack = qobject_cast<QStackedWidget *>(window.connectionPage()->parentWidget());
        QCOMPARE(stack->currentWidget() == window.connectionPage(), connectionPage);
        QCOMPARE(stack->currentWidget()->objectName(),
                 connectionPage ? QStringLiteral("QuorlixConnectionPage") : QStringLiteral("HomeRoot"));
    }

    // A PC game without measured pings: the sweep page first, then the
    // game's connection page; its back button returns to the Games section.
    void openingAGameShowsItsPage()
    {
        freshDatabase(nullptr);
        TestWindow window;
        signIn(window);
        showAndSettle(window);
        window.handleOpenConnectionsForGame(QStringLiteral("Some PC Game"), QString());
        PingOptimizerPage *sweep = window.pingSweepPage();
        QVERIFY(sweep->isVisible());
        QCOMPARE(sweep->geometry(), window.rect());
        QTRY_COMPARE(window.navGroup()->checkedId(), 2);
        QVERIFY(!sweep->isVisible());
        auto *stack = qobject_cast<QStackedWidget *>(window.connectionPage()->parentWidget());
        QCOMPARE(stack->currentWidget(), window.connectionPage());
        for (const char *name :
             {"QuorlixConnLeft", "QuorlixConnRightScroll", "QuorlixConnRight", "QuorlixConnHeader"})
            QVERIFY2(named(&window, name)->isVisible(), name);
        ConnectionPage *page = window.connectionPageArea();
        QCOMPARE(page->gameTitle()->text(), QStringLiteral("Some PC Game"));
        QCOMPARE(qobject_cast<QLabel *>(named(&window, "RoutingGameLabel"))->text(),
                 QStringLiteral("some pc game"));

        page->backButton()->click();
        QCOMPARE(window.navGroup()->checkedId(), 1);
        QVERIFY(!named(&window, "QuorlixConnLeft")->isVisible());
    }

    // A console game from the games grid: the set-up overlay over the page,
    // then the connect button pressed.
    void consoleGamePressesConnect()
    {
        freshDatabase(nullptr);
        TestWindow window;
        QWidget *overlay = named(&window, "ConsoleConnOverlay");
        QVERIFY(overlay->isHidden());
        signIn(window);
        showAndSettle(window);
        QSignalSpy pressed(window.connectionPageArea()->tapButton(), &QPushButton::clicked);
        window.handleOpenConnectionsForGame(QStringLiteral("Gran Turismo 7"), QString(),
                                            QStringLiteral("PlayStation 5"));
        QVERIFY(overlay->isVisible());
        QCOMPARE(window.navGroup()->checkedId(), 2);
        QCOMPARE(pressed.count(), 0);
        QTRY_COMPARE(pressed.count(), 1);
        QCOMPARE(named(&window, "RoutingPcIcon")->size(), QSize(60, 58));

        // A PC game next hides what the console game left.
        window.handleOpenConnectionsForGame(QStringLiteral("Some PC Game"), QString());
        QVERIFY(overlay->isHidden());
        QCOMPARE(named(&window, "RoutingPcIcon")->size(), QSize(30, 29));
    }

    void boostDialogOverThePage()
    {
        TestWindow window;
        signIn(window);
        showAndSettle(window);
        window.navigateToPage(2);
        window.showPlatformBoostInfo();
        QWidget *overlay = named(&window, "PlatformBoostOverlay");
        QVERIFY(overlay->isVisible());
        QCOMPARE(overlay->geometry(), QRect(QPoint(0, 0), window.size()));
        qobject_cast<QPushButton *>(named(&window, "PlatformBoostDialogGotIt"))->click();
        QVERIFY(!overlay->isVisible());
    }

    void promoRefreshFollowsConnectionView_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<bool>("byIndex");
        QTest::addColumn<int>("runs");
        QTest::newRow("Network by index") << 2 << true << 1;
        QTest::newRow("Network clicked") << 2 << false << 0;
        QTest::newRow("Games by index") << 1 << true << 0;
        QTest::newRow("Home by index") << 0 << true << 0;
    }
    void promoRefreshFollowsConnectionView()
    {
        QFETCH(int, id);
        QFETCH(bool, byIndex);
        QFETCH(int, runs);
        TestWindow window;
        showAndSettle(window);
        QSignalSpy refreshes(window.services().usage, &UsageEvents::promotionRefreshDue);
        if (byIndex)
            window.navigateToPage(id);
        else
            window.navGroup()->button(id)->click();
        QCOMPARE(refreshes.count(), 0); // not before its delay
        if (runs > 0) {
            QTRY_COMPARE(refreshes.count(), runs);
        } else {
            QTest::qWait(2 * window.intervals().promoRefreshMs);
            QCOMPARE(refreshes.count(), 0);
        }
    }

    void promoRefreshDroppedWithWindow()
    {
        int refreshes = 0;
        int delayMs = 0;
        {
            TestWindow window;
            delayMs = window.intervals().promoRefreshMs;
            connect(window.services().usage, &UsageEvents::promotionRefreshDue,
                    [&refreshes] { ++refreshes; });
            window.navigateToPage(2);
        }
        QTest::qWait(2 * delayMs);
        QCOMPARE(refreshes, 0);
    }

    void badIndexDoesNothing_data()
    {
        QTest::addColumn<int>("index");
        QTest::newRow("negative") << -1;
        QTest::newRow("one past the last") << 5;
        QTest::newRow("far out") << 1000;
    }
    void badIndexDoesNothing()
    {
        QFETCH(int, index);
        TestWindow window;
        showAndSettle(window);
        window.navigateToPage(3);
        window.navigateToPage(index);
        QCOMPARE(window.navGroup()->checkedId(), 3);
    }

    void sectionSwitchSignals()
    {
        // The games area asks for the catalogue when Games opens; the landing
        // takes its banner's backdrop while the banner is out of the way.
        TestWindow window;
        QWidget *banner = named(&window, "ConnectionsLandingBanner");
        showAndSettle(window);
        QSignalSpy games(&window, &MainWindow::gamesSectionOpened);
        bool bannerHiddenForBackdrop = false;
        connect(&window, &MainWindow::landingBannerBackdropNeeded,
                [&] { bannerHiddenForBackdrop = banner->isHidden(); });

        window.openGamesPage();
        QCOMPARE(window.navGroup()->checkedId(), 1);
        QCOMPARE(games.count(), 1);
        window.navGroup()->button(2)->click();
        QVERIFY(bannerHiddenForBackdrop);
        QVERIFY(!banner->isHidden());
        auto *backdrop = qobject_cast<QLabel *>(named(&window, "ConnectionsLandingBannerBlurBg"));
        QCOMPARE(backdrop->pixmap().size(), QSize(1300, 83));
        window.navigateToPage(0);
        QCOMPARE(games.count(), 1);
    }

    void dashboardTitleFollowsLanguageCode_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<bool>("persian");
        QTest::newRow("padded, upper case, underscore") << " FA_ir " << true;
        QTest::newRow("fa") << "fa" << true;
        QTest::newRow("en-US") << "en-US" << false;
        QTest::newRow("empty") << "" << false;
    }
    void dashboardTitleFollowsLanguageCode()
    {
        QFETCH(QString, code);
        QFETCH(bool, persian);
        TestWindow window;
        showAndSettle(window);
        QWidget *frame = named(&window, "WindowFrame");
        auto *title = qobject_cast<QLabel *>(named(&window, "DashboardTitle"));
        window.retranslateDashboardTitle(code);
        QCOMPARE(title->text(), persian ? QStringLiteral("داشبورد") : QStringLiteral("Dashboard"));
        // Absolute: the Persian word is drawn right-to-left, which would
        // mirror a plain right back to the left.
        QCOMPARE(title->alignment() & Qt::AlignHorizontal_Mask,
                 (persian ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignAbsolute);
        QCOMPARE(title->y(), 95);
        if (persian) {
            QCOMPARE(title->height(), 40);
            QCOMPARE(frame->width() - (title->x() + title->width()), 120);
        } else {
            QCOMPARE(title->x(), 120);
        }
    }

    void dashboardTitlePlacedAgainWhenLoopStarts()
    {
        setLanguage(QStringLiteral("fa-IR"));
        TestWindow window;
        QWidget *title = named(&window, "DashboardTitle");
        window.show();
        title->move(0, 0);
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCoreApplication::processEvents();
        QCOMPARE(title->y(), 95);
        QCOMPARE(title->x(), named(&window, "WindowFrame")->width() - 120 - title->width());
    }

    void titlesOtherThanDashboardTranslatedOnce()
    {
        // A catalogue that marks every window text, so a lookup shows.
        struct Marking : QTranslator
        {
            QString translate(const char *context, const char *source, const char *, int) const override
            {
                return QLatin1String(context) == QLatin1String("MainWindow") ? QStringLiteral("~") + source
                                                                             : QString();
            }
        };
        const char *const names[] = {"GamesTitle", "ProfileTitle", "ConnectionsLandingTitle"};
        Marking marking;
        {
            QCoreApplication::installTranslator(&marking);
            TestWindow window;
            QCoreApplication::removeTranslator(&marking);
            for (const char *name : names)
                QVERIFY2(qobject_cast<QLabel *>(named(&window, name))->text().startsWith(u'~'), name);
        }
        TestWindow window;
        QCoreApplication::installTranslator(&marking);
        setLanguage(QStringLiteral("fa-IR"));
        QCoreApplication::removeTranslator(&marking);
        for (const char *name : names) {
            auto *title = qobject_cast<QLabel *>(named(&window, name));
            QVERIFY2(!title->text().startsWith(u'~'), name);
            // Not mirrored; a page under the side navigation's Persian place
            // moves left with its title.
            const bool underNavigation = QLatin1String(name) != QLatin1String("ProfileTitle");
            QCOMPARE(title->pos(), QPoint(underNavigation ? 20 : 120, 94));
        }
        QCOMPARE(named(&window, "GamesSectionWrap")->x(), 20);
        QCOMPARE(named(&window, "SettingsRightSectionCard")->x(), 680);
        // Back in English everything is where it was built.
        setLanguage(QStringLiteral("en-US"));
        QCOMPARE(named(&window, "GamesTitle")->pos(), QPoint(120, 94));
        QCOMPARE(named(&window, "GamesSectionWrap")->x(), 120);
        QCOMPARE(named(&window, "SettingsRightSectionCard")->x(), 780);
    }

    void landingLinksOpenGames_data()
    {
        QTest::addColumn<bool>("viaLink");
        QTest::newRow("Add") << false;
        QTest::newRow("Tutorial link") << true;
    }
    void landingLinksOpenGames()
    {
        QFETCH(bool, viaLink);
        TestWindow window;
        showAndSettle(window);
        signIn(window);
        window.navGroup()->button(2)->click();
        QSignalSpy games(&window, &MainWindow::gamesSectionOpened);
        if (viaLink) {
            auto *guide = qobject_cast<QLabel *>(named(&window, "ConnectionsLandingEmptyGuide"));
            emit guide->linkActivated(QStringLiteral("tutorial"));
        } else {
            QTest::mouseClick(qobject_cast<QPushButton *>(named(&window, "ConnectionsLandingAddBtn")),
                              Qt::LeftButton);
        }
        QCOMPARE(window.navGroup()->checkedId(), 1);
        QCOMPARE(games.count(), 1);
        QVERIFY(!named(&window, "GamesTitle")->isHidden());
        for (const char *name :
             {"ConnectionsLandingTitle", "ConnectionsLandingBanner", "ConnectionsLandingBody"})
            QVERIFY2(named(&window, name)->isHidden(), name);
    }

    void settingsSectionInTheWindow()
    {
        freshDatabase(nullptr);
        TestWindow window;
        const char *const keys[] = {"settings/toggle_launch_on_windows_startup",
                                    "settings/toggle_minimize_to_tray_on_close",
                                    "settings/toggle_notify_connection_start",
                                    "settings/toggle_notify_server_unavailable",
                                    "settings/toggle_realtime_optimization",
                                    "settings/toggle_smart_optimization",
                                    "settings/toggle_use_dual_routes",
                                    "settings/toggle_hardware_data_monitoring",
                                    "settings/toggle_shortcut_restart_all_connections",
                                    "settings/route_accuracy_level",
                                    "settings/route_analysis_protocol",
                                    "settings/ip_version_for_route_analysis",
                                    "settings/packet_redirection_method"};
        for (const char *key : keys)
            QVERIFY2(DatabaseManager::instance()->tryGetMetadata(QLatin1String(key)), key);
        for (const char *card : {"SettingsPreferencesCard", "SettingsLeftSectionCard",
                                 "SettingsRightSectionCard", "SettingsBottomLeftSectionCard",
                                 "SettingsBottomRightSectionCard", "SettingsResetDefaultButton"})
            QVERIFY2(named(&window, card)->isHidden(), card);

        // The page is as tall as the Optimization card plus the space above and below it.
        window.switchMainStack(3);
        QCOMPARE(named(&window, "WindowFrame")->minimumHeight(),
                 named(&window, "SettingsBottomLeftSectionCard")->height() + 528);

        // The cards keep the language they were built in.
        setLanguage(QStringLiteral("fa-IR"));
        QCOMPARE(qobject_cast<QLabel *>(named(&window, "SettingsBottomLeftSectionTitle"))->text(),
                 QStringLiteral("Optimization"));

        window.selectRouteProtocol(4);
        QString value;
        QVERIFY(DatabaseManager::instance()->tryGetMetadata(
            QStringLiteral("settings/route_analysis_protocol"), &value));
        QCOMPARE(value, QStringLiteral("UDP/TCP"));
        window.resetPreferences();
        QCOMPARE(TranslationManager::instance()->currentLanguage(), QStringLiteral("en-US"));
    }

    void windowControls()
    {
        // The version gate takes the window buttons away and gives them back.
        TestWindow window;
        showAndSettle(window);
        auto *minimize = qobject_cast<QPushButton *>(named(&window, "WindowMinimizeButton"));
        auto *close = qobject_cast<QPushButton *>(named(&window, "WindowCloseButton"));
        window.setWindowControlsEnabled(false);
        for (QPushButton *button : {minimize, close}) {
            QVERIFY(!button->isEnabled());
            QVERIFY(button->isHidden());
        }
        window.setWindowControlsEnabled(true);
        for (QPushButton *button : {minimize, close}) {
            QVERIFY(button->isEnabled());
            QVERIFY(!button->isHidden());
        }
    }

    void contentHeights_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<int>("frameMin");
        QTest::addColumn<int>("frameMax");
        QTest::newRow("Home scrolls to its content") << 0 << 1794 << 16777215;
        QTest::newRow("Games is one screen") << 1 << 810 << 810;
        QTest::newRow("Network is one screen") << 2 << 810 << 16777215;
        QTest::newRow("Setting scrolls to its content") << 3 << 928 << 16777215;
        QTest::newRow("Profile is one screen") << 4 << 810 << 16777215;
    }
    void contentHeights()
    {
        QFETCH(int, id);
        QFETCH(int, frameMin);
        QFETCH(int, frameMax);
        TestWindow window;
        QWidget *frame = named(&window, "WindowFrame");
        // The home page reaches 494 px below the metrics strip.
        QCOMPARE(frame->minimumHeight(), named(&window, "BottomBreakerSection")->y() + 494);

        // The stack switch as the navigation runs it, with the content heights
        // of a full page (metrics strip at 1300, lower settings card 400 high).
        auto *stack = qobject_cast<QStackedWidget *>(window.connectionPage()->parentWidget());
        frame->setMaximumHeight(810); // as Games left it: every row must undo or keep it
        window.pageStack()->setContentHeights(1794, 928);
        window.switchMainStack(id);
        QCOMPARE(frame->minimumHeight(), frameMin);
        QCOMPARE(frame->maximumHeight(), frameMax);
        QCOMPARE(stack->currentWidget() == window.connectionPage(), id == 2);
    }

    void sideColumnHiddenWhileSignInShows()
    {
        TestWindow window;
        showAndSettle(window);
        QWidget *column = named(&window, "HeaderNavDots");
        QWidget *logo = named(&window, "FixedMiniLogo");
        QWidget *line = named(&window, "FixedMiniLogoLine");
        QTRY_VERIFY(column->isHidden());
        QVERIFY(logo->isHidden());
        QVERIFY(line->isHidden());

        window.authPage()->hide();
        QTRY_VERIFY(!column->isHidden());
        QVERIFY(!logo->isHidden());
        QVERIFY(!line->isHidden());

        window.authPage()->show();
        QTRY_VERIFY(column->isHidden());

        // Signing in while the busy overlay is up keeps the column away.
        window.busyOverlay()->showMessage(QStringLiteral("Installing update..."));
        window.authPage()->hide();
        QTest::qWait(50);
        QVERIFY(column->isHidden());
        window.busyOverlay()->hide();
        window.syncSideNavVisibility();
        QVERIFY(!column->isHidden());
    }

    void hoverPartners()
    {
        TestWindow window;
        showAndSettle(window);
        auto *hit = new QPushButton(&window);
        auto *partner = new QWidget(&window);
        partner->hide();
        HoverPartner::set(hit, HoverPartner::kGamesFavOverlay, partner);
        hit->installEventFilter(&window);

        QEvent enter(QEvent::Enter);
        QApplication::sendEvent(hit, &enter);
        QVERIFY(!partner->isHidden());
        // A Leave onto the partner itself keeps it (the heart over a tile):
        // this pointer leaves for somewhere else.
        QCursor::setPos(window.mapToGlobal(QPoint(window.width() - 2, window.height() - 2)));
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(hit, &leave);
        QVERIFY(partner->isHidden());

        // A partner deleted before the pointer arrives is skipped.
        delete partner;
        QApplication::sendEvent(hit, &enter);
        QApplication::sendEvent(hit, &leave);

        // A bare address in the property is never trusted.
        auto *other = new QWidget(&window);
        other->hide();
        hit->setProperty(HoverPartner::kHomeFavClose, QVariant::fromValue<quint64>(quintptr(other)));
        QApplication::sendEvent(hit, &enter);
        QVERIFY(other->isHidden());
    }

    void windowButtons()
    {
        TestWindow window;
        showAndSettle(window);
        auto *minimize = qobject_cast<QPushButton *>(named(&window, "WindowMinimizeButton"));
        auto *close = qobject_cast<QPushButton *>(named(&window, "WindowCloseButton"));
        QVERIFY(minimize && close);
        QCOMPARE(minimize->parentWidget(), window.header());
        QCOMPARE(minimize->size(), QSize(54, 54));
        QCOMPARE(close->focusPolicy(), Qt::NoFocus);
        minimize->click();
        QTRY_VERIFY(window.windowState().testFlag(Qt::WindowMinimized));
        window.showNormal();
        close->click();
        QVERIFY(window.busyOverlay()->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!window.isVisible(), 10000);
    }

    void tintKeepsAlpha()
    {
        QImage source(4, 4, QImage::Format_ARGB32);
        source.fill(Qt::transparent);
        source.setPixelColor(1, 1, QColor(10, 20, 30, 255));
        source.setPixelColor(2, 2, QColor(200, 100, 0, 128));
        const QImage tinted = MainWindow::tintPixmap(QPixmap::fromImage(source), QColor("#FA8207")).toImage();
        QCOMPARE(tinted.pixelColor(0, 0).alpha(), 0);
        QCOMPARE(tinted.pixelColor(1, 1), QColor("#FA8207"));
        QCOMPARE(tinted.pixelColor(2, 2).alpha(), 128);
        // A missing image gives back the plain icon rather than nothing.
        QVERIFY(MainWindow::tintedIcon(QStringLiteral(":/no/such.png"), QSize(24, 24), Qt::white)
                    .availableSizes()
                    .isEmpty());
    }

    // The search bar leads the header row, then a 16 px gap, the promotion
    // pill and a 306 px gap. They keep their widths until the first
    // evaluation runs; signed out, it collapses them and leaves the pill hidden.
    void headerSearchAndPromoRow()
    {
        TestWindow window;
        QHBoxLayout *row = qobject_cast<QHBoxLayout *>(window.header()->layout());
        QVERIFY(row);
        QWidget *bar = named(&window, "HeaderSearchBar");
        QWidget *pill = named(&window, "HeaderSignUpCta");
        const int at = row->indexOf(bar);
        QVERIFY(at >= 0);
        QCOMPARE(row->itemAt(at + 2)->widget(), pill);
        QSpacerItem *leading = row->itemAt(at + 1)->spacerItem();
        QSpacerItem *trailing = row->itemAt(at + 3)->spacerItem();
        QVERIFY(leading && trailing);
        QCOMPARE(leading->sizeHint().width(), 16);
        QCOMPARE(trailing->sizeHint().width(), 306);
        QVERIFY(pill->isHidden());

        // A press anywhere on the pill, its label included, lands on the hit button.
        auto *label = qobject_cast<QLabel *>(named(&window, "HeaderSignUpCtaLabel"));
        QCOMPARE(label->text(), QStringLiteral("Sign Up Now"));
        QCOMPARE(pill->childAt(label->geometry().center()), named(&window, "HeaderSignUpCtaHit"));
        QCOMPARE(pill->childAt(QPoint(2, 2)), named(&window, "HeaderSignUpCtaHit"));

        QTRY_COMPARE(leading->sizeHint().width(), 0);
        QCOMPARE(trailing->sizeHint().width(), 0);
        QVERIFY(pill->isHidden());

        // Signed out, the pill's click asks for the sign-in page.
        window.authPage()->hide();
        qobject_cast<QPushButton *>(named(&window, "HeaderSignUpCtaHit"))->click();
        QVERIFY(!window.authPage()->isHidden());
        QCOMPARE(window.authPage()->geometry(), window.rect());
    }

    // The search bar and the promotion pill follow the header spacer; the
    // bell, the account pill and the window buttons sit at fixed places on
    // the band. Nothing may cover a part of the bar, in either language, with
    // the pill shown or not (the Persian edit and glass once lay under the
    // bell and the account pill).
    void headerRowKeepsClearOfTheFixedButtons_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<bool>("promo");
        QTest::newRow("English") << "en-US" << false;
        QTest::newRow("Persian") << "fa-IR" << false;
        QTest::newRow("English with the pill") << "en-US" << true;
        QTest::newRow("Persian with the pill") << "fa-IR" << true;
    }

    void headerRowKeepsClearOfTheFixedButtons()
    {
        QFETCH(QString, language);
        QFETCH(bool, promo);
        setLanguage(language);
        TestWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        // The first promotion evaluation collapses the gaps; then the pill as asked.
        QTRY_COMPARE(qobject_cast<QHBoxLayout *>(window.header()->layout())
                         ->itemAt(window.header()->layout()->indexOf(named(&window, "HeaderSearchBar")) + 1)
                         ->sizeHint()
                         .width(),
                     0);
        window.setHeaderPromoSpacing(promo);
        window.authPage()->hide(); // signed out, the sign-in page covers the window
        setLanguage(QStringLiteral("en-US"));
        setLanguage(language);
        window.header()->layout()->activate();

        QWidget *header = window.header();
        const auto area = [header](QWidget *w) { return QRect(w->mapTo(header, QPoint(0, 0)), w->size()); };
        QWidget *bar = named(&window, "HeaderSearchBar");
        QList<QWidget *> row{bar};
        if (promo)
            row << named(&window, "HeaderSignUpCta");
        for (QWidget *part : row) {
            QVERIFY(part->isVisible());
            QVERIFY2(header->rect().contains(area(part)), part->objectName().toLatin1());
            for (const char *fixed :
                 {"NotifBellButton", "AccountPill", "WindowMinimizeButton", "WindowCloseButton"}) {
                QWidget *other = named(&window, fixed);
                const QRect at = area(part);
                QVERIFY2(!at.intersects(area(other)), qPrintable(QStringLiteral("%1 at x %2..%3 overlaps %4")
                                                                     .arg(part->objectName())
                                                                     .arg(at.left())
                                                                     .arg(at.right())
                                                                     .arg(QLatin1String(fixed))));
            }
        }
        // Each part of the bar is what a press at its ends and middle reaches.
        auto *search = bar->findChild<QLineEdit *>();
        for (QWidget *part : {static_cast<QWidget *>(search), named(&window, "HeaderSearchArrow"),
                              static_cast<QWidget *>(bar->findChild<QLabel *>())}) {
            const QRect r = part->rect().adjusted(2, 2, -2, -2);
            for (const QPoint p : {r.topLeft(), r.center(), r.bottomRight()}) {
                QWidget *top = window.childAt(part->mapTo(&window, p));
                QVERIFY2(top == part || part->isAncestorOf(top),
                         qPrintable(QStringLiteral("%1 is covered by %2")
                                        .arg(part->metaObject()->className(),
                                             top ? top->objectName() : QStringLiteral("nothing"))));
            }
        }
        setLanguage(QStringLiteral("en-US"));
    }

    // Texts that go through the client's catalogue follow a language change
    // made while the window is open: the stand-ins the account pill shows
    // with nobody signed in, and the favourites strip's heading.
    void accountPillAndFavouritesHeadingFollowLanguage()
    {
        const QString appFolder = qEnvironmentVariable("QUORLIX_BINARY_DIR") + QStringLiteral("/app");
        QVERIFY2(QFile::exists(appFolder + QStringLiteral("/translations/app/quorlix_fa.qm")),
                 "the client's catalogue was not built beside the executable");
        TranslationManager::instance()->setTranslationFolders(appFolder, QString());
        setLanguage(QStringLiteral("en-US"));
        TestWindow window;
        auto *name = qobject_cast<QLabel *>(named(&window, "HeaderUserName"));
        auto *email = qobject_cast<QLabel *>(named(&window, "HeaderUserEmail"));
        auto *heading = qobject_cast<QLabel *>(named(&window, "HomeFavTitle"));
        QVERIFY(name && email && heading);
        QTRY_COMPARE(name->text(), QStringLiteral("Account"));
        QCOMPARE(email->text(), QStringLiteral("Not signed in"));
        QCOMPARE(heading->text(), QStringLiteral("Favorite games"));

        setLanguage(QStringLiteral("fa-IR"));
        QCOMPARE(name->text(), QString::fromUtf8("حساب کاربری"));
        QCOMPARE(email->text(), QString::fromUtf8("وارد نشده\u200cاید"));
        QCOMPARE(heading->text(), QString::fromUtf8("بازی\u200cهای مورد علاقه"));
        const auto shownAt = [heading] {
            return QStyle::visualAlignment(heading->layoutDirection(), heading->alignment()) &
                   (Qt::AlignLeft | Qt::AlignRight | Qt::AlignHCenter);
        };
        QCOMPARE(shownAt(), Qt::AlignRight);

        setLanguage(QStringLiteral("en-US"));
        QCOMPARE(name->text(), QStringLiteral("Account"));
        QCOMPARE(email->text(), QStringLiteral("Not signed in"));
        QCOMPARE(heading->text(), QStringLiteral("Favorite games"));
        QCOMPARE(shownAt(), Qt::AlignLeft);
        TranslationManager::instance()->setTranslationFolders(QString(), QString());
    }

    // Built in Persian, the bar is mirrored before the window first shows,
    // and the window goes cleanly in either language.
    void headerSearchFollowsLanguage()
    {
        setLanguage(QStringLiteral("fa-IR"));
        {
            TestWindow window;
            QLineEdit *edit = named(&window, "HeaderSearchBar")->findChild<QLineEdit *>();
            QCOMPARE(edit->placeholderText(), QStringLiteral("جستجو"));
            QCOMPARE(named(&window, "HeaderSearchBar")->layout()->contentsMargins(),
                     QMargins(10, 12, 20, 12));
            setLanguage(QStringLiteral("en-US"));
            QCOMPARE(edit->placeholderText(), QStringLiteral("Search"));
            setLanguage(QStringLiteral("fa-IR"));
        }
        setLanguage(QStringLiteral("en-US"));
        TestWindow english;
        QCOMPARE(named(&english, "HeaderSearchBar")->findChild<QLineEdit *>()->placeholderText(),
                 QStringLiteral("Search"));
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
