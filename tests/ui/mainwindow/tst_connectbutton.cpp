// The connect button in the window: what idle, connecting and connected
// show, the "Connecting" animation and the connection clock on a fake clock,
// refusal texts, the route cards' ping and loss values, and the presses that
// reach the connect flow. The live ping runs on a scripted runner.

#include "app/ClientComposition.h"
#include "connection/ConnectFlow.h"
#include "connection/LivePing.h"
#include "connection/SessionManager.h"
#include "storage/DatabaseManager.h"
#include "storage/SettingsManager.h"
#include "support/PainterWarnings.h"
#include "support/WindowFixture.h"
#include "support/faketools/FakeRunner.h"
#include "support/faketunnel/FakeTunnelEngine.h"
#include "ui/mainwindow/MainWindow.h"
#include "ui/pages/connection/ConnectDisplay.h"
#include "ui/pages/connection/ConnectionPage.h"
#include "ui/pages/connection/RouteArea.h"

#include <QDir>
#include <QFontMetrics>
#include <QGraphicsDropShadowEffect>
#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QProcess>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTranslator>
#include <QVariantAnimation>

namespace {

// The client's services on the fake engine; the live ping's tool hangs
// until it is killed (or answers as `runner` is told) unless `systemPing`.
ClientServices windowServices(FakeRunner *runner, const WindowIntervals &intervals)
{
    FakeTunnelEngine::reset();
    ClientServices s = createClientServices(intervals, FakeTunnelEngine::api());
    if (runner) {
        delete s.livePing;
        s.livePing = new LivePing(runner, [] { return SettingsManager::instance()->serverIp(); });
        s.livePing->setTickInterval(intervals.livePingMs);
        s.livePing->setSessionManager(s.sessions);
    }
    return s;
}

class TestWindow : public MainWindow
{
public:
    explicit TestWindow(FakeRunner *runner,
                        const WindowIntervals &intervals = WindowFixture::connectIntervals())
        : MainWindow(windowServices(runner, intervals), intervals)
    {
        buildPages(); // the tests reach into the pages at once
    }
    ConnectionPage *page() const { return connectionPageArea(); }
};

// A clock the test moves by hand.
struct FakeClock
{
    std::shared_ptr<qint64> now = std::make_shared<qint64>(1000);
    FlowStopwatch::Source source() const
    {
        return [now = now] { return *now; };
    }
    void advance(qint64 ms) { *now += ms; }
};

QString text(QWidget *root, const char *name)
{
    auto *label = root->findChild<QLabel *>(QLatin1String(name));
    return label ? label->text() : QStringLiteral("<missing %1>").arg(QLatin1String(name));
}

} // namespace

class TestConnectButton : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        WindowFixture::useClientNames();
        QVERIFY(WindowFixture::openDatabase());
    }
    void init()
    {
        TestSupport::failOnPainterWarnings();
        SettingsManager::instance()->setServer(QStringLiteral("r1"), QStringLiteral("127.0.0.12"),
                                               QStringLiteral("Alpha"), QStringLiteral("DE"));
    }

    void idleAfterConstruction()
    {
        FakeRunner runner([](const SystemTools::ToolCommand &) { return FakeRunner::hang(); });
        TestWindow window(&runner);
        ConnectionPage *page = window.page();
        QCOMPARE(page->tapButton()->text(), QStringLiteral("Tap to connect"));
        QCOMPARE(page->tapButton()->styleSheet(), ConnectionPage::tapButtonNormalStyle());
        QVERIFY(page->header()->isHidden());
        QVERIFY(page->tapButton()->window() == &window);
        QVERIFY(window.findChild<QWidget *>(QStringLiteral("QuorlixConnLeft"))->isHidden());
        QVERIFY(window.findChild<QWidget *>(QStringLiteral("QuorlixConnRight"))->isHidden());

        // Both 250 ms timers exist and wait; the clock's is precise and the
        // window's, the animation's belongs to the button.
        QTimer *clock = window.connectTimer();
        QVERIFY(clock);
        QCOMPARE(clock->parent(), &window);
        QCOMPARE(clock->interval(), 250);
        QCOMPARE(clock->timerType(), Qt::PreciseTimer);
        QVERIFY(!clock->isActive());
        QTimer *connecting = window.connectDisplay()->connectingTimer();
        QCOMPARE(connecting->parent(), page->tapButton());
        QCOMPARE(connecting->interval(), 250);
        QVERIFY(!connecting->isActive());
        QVERIFY(runner.commands().isEmpty());

        // The window holds the flow's own state.
        QCOMPARE(window.connectState().get(), window.services().connectFlow->sharedState().get());
    }

    void buttonStates_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("boostHasItems");
        QTest::addColumn<int>("dynamicY");
        QTest::newRow("idle, with boost items") << 0 << true << 0;
        QTest::newRow("idle, no boost items, moved button") << 0 << false << 430;
        QTest::newRow("connecting") << 1 << true << 430;
        QTest::newRow("connected") << 2 << true << 0;
    }
    void buttonStates()
    {
        QFETCH(int, state);
        QFETCH(bool, boostHasItems);
        QFETCH(int, dynamicY);
        FakeRunner runner([](const SystemTools::ToolCommand &) { return FakeRunner::hang(); });
        TestWindow window(&runner);
        ConnectionPage *page = window.page();
        page->boostScroll()->setProperty("boostHasItems", boostHasItems);
        page->tapButton()->setProperty("tapDynamicY", dynamicY);
        // Every state is reached from another one, the way the flow moves.
        window.applyConnectButtonState(state == 0 ? ButtonState::Connected : ButtonState::Idle);
        page->boostTrack()->show();
        const int pingsBefore = int(runner.commands().size());
        window.applyConnectButtonState(ButtonState(state));

        const bool active = state != 0;
        const bool connected = state == 2;
        QCOMPARE(window.connectState()->connected, connected);
        QCOMPARE(page->outerCircle()->geometry(), QRect(149, active ? 132 : 66, 120, 120));
        QCOMPARE(page->innerCircle()->geometry(), QRect(159, active ? 142 : 76, 100, 100));
        QCOMPARE(page->circleButton()->geometry(), page->innerCircle()->geometry());
        QCOMPARE(page->pulseAnimation()->state() == QAbstractAnimation::Running, active);
        if (!active)
            QCOMPARE(page->outerCircle()->styleSheet(), ConnectionPage::outerCircleIdleStyle());
        QCOMPARE(page->innerCircle()->styleSheet(), connected ? ConnectionPage::innerCircleConnectedStyle()
                                                              : ConnectionPage::innerCircleIdleStyle());
        QCOMPARE(page->glow()->isEnabled(), connected);
        QCOMPARE(page->glowAnimation()->state() == QAbstractAnimation::Running, connected);
        if (!page->powerIdle().isNull()) {
            const QImage shown = page->powerIcon()->pixmap().toImage();
            const QImage expected =
                (connected ? page->powerConnected() : page->powerIdle())
                    .scaled(page->powerIcon()->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation)
                    .toImage();
            QCOMPARE(shown, expected);
        }

        QCOMPARE(page->regionCard()->geometry(), QRect(60, active ? 354 : 206, 299, 76));
        QCOMPARE(page->regionOpacity()->opacity(), active ? 0.55 : 1.0);
        QCOMPARE(page->regionClickArea()->isEnabled(), !active);
        QCOMPARE(page->regionClickArea()->cursor().shape(),
                 active ? Qt::ArrowCursor : Qt::PointingHandCursor);
        QVERIFY(page->circleButton()->isEnabled());

        const int idleY = dynamicY > 0 ? dynamicY : 518;
        QCOMPARE(page->tapButton()->geometry(), QRect(60, active ? 450 : idleY, 299, 48));
        const QStringList texts = {"Tap to connect", "Connecting", "Disconnect"};
        const QStringList looks = {ConnectionPage::tapButtonNormalStyle(),
                                   ConnectionPage::tapButtonConnectingStyle(),
                                   ConnectionPage::tapButtonDisconnectStyle()};
        QCOMPARE(page->tapButton()->text(), texts.at(state));
        QCOMPARE(page->tapButton()->styleSheet(), looks.at(state));
        QVERIFY(page->tapButton()->isEnabled());
        QCOMPARE(page->statusLabel()->isVisibleTo(page->statusLabel()->parentWidget()), active);
        QCOMPARE(page->timerLabel()->isVisibleTo(page->timerLabel()->parentWidget()), active);

        QWidget *left = page->boostTitle()->parentWidget();
        QCOMPARE(page->boostTitle()->isVisibleTo(left), !active);
        QCOMPARE(page->boostInfoButton()->isVisibleTo(left), !active);
        QCOMPARE(page->boostScroll()->isVisibleTo(left), !active && boostHasItems);
        // Idle leaves the track as the boost list last put it.
        QCOMPARE(page->boostTrack()->isVisibleTo(left), !active);

        // Connected: one measurement at once, then the ticks; otherwise both
        // meters stopped with 0 and "0%".
        QCOMPARE(window.services().livePing->isTicking(), connected);
        QCOMPARE(window.services().packetLoss->isSampling(), connected);
        QCOMPARE(int(runner.commands().size()) - pingsBefore, connected ? 1 : 0);
        if (!connected) {
            QCOMPARE(text(&window, "GameRoutePingValue"), QStringLiteral("0"));
            QCOMPARE(text(&window, "RoutingLatencyLabel"), QStringLiteral("0 ms"));
            QCOMPARE(text(&window, "GameRouteLossValue"), QStringLiteral("0%"));
        }
    }

    void leavingConnectedKillsThePing()
    {
        FakeRunner runner([](const SystemTools::ToolCommand &) { return FakeRunner::hang(); });
        TestWindow window(&runner);
        window.applyConnectButtonState(ButtonState::Connected);
        QVERIFY(window.services().livePing->isMeasuring());
        // A second connected state starts nothing more.
        window.applyConnectButtonState(ButtonState::Connected);
        QCOMPARE(runner.commands().size(), 1);
        window.showEstimatedPing(35);
        window.setGameRouteValue(QStringLiteral("7%"));

        window.applyConnectButtonState(ButtonState::Idle);
        QVERIFY(!window.services().livePing->isMeasuring());
        QCOMPARE(runner.jobsKilled(), 1);
        QCOMPARE(text(&window, "GameRoutePingValue"), QStringLiteral("0"));
        QCOMPARE(text(&window, "GameRouteLossValue"), QStringLiteral("0%"));
    }

    void measuredPingReachesTheCards()
    {
        FakeRunner runner([](const SystemTools::ToolCommand &command) {
            return FakeRunner::reply(FakeRunner::exited(
                command, 0,
                FakeRunner::linuxPingText(QStringLiteral("127.0.0.12"), {"24.3", "31.9", "28.1"})));
        });
        TestWindow window(&runner);
        window.applyConnectButtonState(ButtonState::Connected);
        QTRY_COMPARE(text(&window, "GameRoutePingValue"), QStringLiteral("27"));
        QCOMPARE(text(&window, "RoutingLatencyLabel"), QStringLiteral("27 ms"));
        QCOMPARE(text(&window, "GameRoutePingUnit"), QStringLiteral("ms"));
        // The tunnel does not run: the loss reads "0%".
        QTRY_VERIFY(runner.commands().size() >= 2);
        QCOMPARE(text(&window, "GameRouteLossValue"), QStringLiteral("0%"));
        window.applyConnectButtonState(ButtonState::Idle);
    }

    void relayAddressThatIsNoIpv4ShowsZero()
    {
        // The client's own runner: it refuses the address and starts nothing.
        SettingsManager::instance()->setServer(QStringLiteral("r9"), QStringLiteral("relay.example -f"),
                                               QStringLiteral("Bad"), QStringLiteral("DE"));
        TestWindow window(nullptr);
        QSignalSpy ping(window.services().livePing, &LivePing::pingChanged);
        window.showEstimatedPing(50);
        window.applyConnectButtonState(ButtonState::Connected);
        QTRY_VERIFY(!window.services().livePing->isMeasuring());
        QVERIFY(window.findChildren<QProcess *>().isEmpty());
        QTRY_VERIFY(!ping.isEmpty());
        QCOMPARE(ping.last().first().toInt(), 0);
        QCOMPARE(text(&window, "GameRoutePingValue"), QStringLiteral("0"));
        window.applyConnectButtonState(ButtonState::Idle);
    }

    void pulseLook_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("fill");
        QTest::addColumn<int>("border");
        QTest::newRow("start") << 0.35 << 61 << 122;
        QTest::newRow("middle") << 0.5 << 70 << 140;
        QTest::newRow("end") << 1.0 << 100 << 200;
    }
    void pulseLook()
    {
        QFETCH(double, value);
        QFETCH(int, fill);
        QFETCH(int, border);
        TestWindow window(nullptr);
        window.pulseConnectCircle(QVariant(value));
        QCOMPARE(window.page()->outerCircle()->styleSheet(),
                 QStringLiteral("QWidget#ConnOuterCircle {  background-color: rgba(250, 130, 7, %1);  "
                                "border-radius: 60px;  border: 1px solid rgba(250, 130, 7, %2);}")
                     .arg(fill)
                     .arg(border));
        // The running pulse drives the same look.
        window.applyConnectButtonState(ButtonState::Connecting);
        QTRY_VERIFY(
            window.page()->outerCircle()->styleSheet().contains(QLatin1String("rgba(250, 130, 7, ")) &&
            window.page()->outerCircle()->styleSheet() != ConnectionPage::outerCircleIdleStyle());
        window.applyConnectButtonState(ButtonState::Idle);
        QCOMPARE(window.page()->outerCircle()->styleSheet(), ConnectionPage::outerCircleIdleStyle());
    }

    void connectingTextOnAFakeClock()
    {
        TestWindow window(nullptr);
        FakeClock clock;
        window.connectState()->setClock(clock.source());
        QLabel *status = window.page()->statusLabel();
        QLabel *seconds = window.page()->timerLabel();

        window.resetConnectingTimer(true);
        QCOMPARE(window.connectDisplay()->buttonState(), ButtonState::Connecting);
        QCOMPARE(status->text(), QStringLiteral("Connecting"));
        QCOMPARE(seconds->text(), QStringLiteral("0.0s"));
        QVERIFY(window.connectDisplay()->connectingTimer()->isActive());

        const QStringList dots = {"Connecting", "Connecting.", "Connecting..", "Connecting...", "Connecting"};
        for (const QString &expected : dots) {
            window.updateConnectingText();
            QCOMPARE(status->text(), expected);
        }
        clock.advance(1300);
        window.updateConnectingText();
        QCOMPARE(seconds->text(), QStringLiteral("1.3s"));
        QCOMPARE(status->text(), QStringLiteral("Connecting."));

        // A new start counts from zero again; stopping stops the animation only.
        window.resetConnectingTimer(true);
        window.updateConnectingText();
        QCOMPARE(status->text(), QStringLiteral("Connecting"));
        QCOMPARE(seconds->text(), QStringLiteral("0.0s"));
        window.resetConnectingTimer(false);
        QVERIFY(!window.connectDisplay()->connectingTimer()->isActive());
        QCOMPARE(window.connectDisplay()->buttonState(), ButtonState::Connecting);
        window.applyConnectButtonState(ButtonState::Idle);
    }

    void connectionClock()
    {
        TestWindow window(nullptr);
        FakeClock clock;
        window.connectState()->setClock(clock.source());
        QLabel *label = window.page()->timerLabel();
        // As the flow does once the route is verified.
        window.connectState()->lastShownSecond = -1;
        window.connectState()->connectedClock.restart();
        window.connectDisplay()->showConnected();
        window.applyConnectButtonState(ButtonState::Connected);
        QVERIFY(window.connectTimer()->isActive());
        QCOMPARE(label->text(), QStringLiteral("00:00:00"));
        QCOMPARE(window.page()->statusLabel()->text(), QStringLiteral("You are connected!"));

        window.updateConnectedTime();
        QCOMPARE(label->text(), QStringLiteral("00:00:00"));
        // Within the same second nothing is redrawn.
        label->setText(QStringLiteral("marker"));
        clock.advance(999);
        window.updateConnectedTime();
        QCOMPARE(label->text(), QStringLiteral("marker"));
        clock.advance(1);
        window.updateConnectedTime();
        QCOMPARE(label->text(), QStringLiteral("00:00:01"));
        clock.advance(3600 * 1000 + 61 * 1000);
        window.updateConnectedTime();
        QCOMPARE(label->text(), QStringLiteral("01:01:02"));
        clock.advance(qint64(100) * 3600 * 1000 - (3600 + 62) * 1000);
        window.updateConnectedTime();
        QCOMPARE(label->text(), QStringLiteral("100:00:00"));

        // Not connected: the clock leaves the label alone.
        window.applyConnectButtonState(ButtonState::Idle);
        clock.advance(5000);
        window.updateConnectedTime();
        QCOMPARE(label->text(), QStringLiteral("100:00:00"));
    }

    void refusalText()
    {
        TestWindow window(nullptr);
        QPushButton *button = window.page()->tapButton();
        window.connectDisplay()->showRefusal(QStringLiteral("Select a server first"));
        QCOMPARE(button->text(), QStringLiteral("Select a server first"));
        window.resetTapToConnectText();
        QCOMPARE(button->text(), QStringLiteral("Tap to connect"));
        QCOMPARE(button->styleSheet(), ConnectionPage::tapButtonNormalStyle());

        // Connected meanwhile: the reset leaves "Disconnect" alone.
        window.applyConnectButtonState(ButtonState::Connected);
        window.resetTapToConnectText();
        QCOMPARE(button->text(), QStringLiteral("Disconnect"));
        window.applyConnectButtonState(ButtonState::Idle);
    }

    void pressesReachTheFlow()
    {
        // No relay stored: a press is refused on the button, then the text
        // comes back on the window's interval.
        QVERIFY(WindowFixture::openDatabase(QStringLiteral("empty")));
        SettingsManager::instance()->setServer(QString(), QString(), QString(), QString());
        SettingsManager::instance()->setConnectionMode(false);
        WindowIntervals intervals = WindowFixture::connectIntervals();
        intervals.noServerTextMs = 200;
        TestWindow window(nullptr, intervals);
        QPushButton *button = window.page()->tapButton();
        QSignalSpy refusals(window.services().connectFlow, &ConnectFlow::refusal);

        window.clickTapToConnect();
        QCOMPARE(refusals.size(), 1);
        QCOMPARE(button->text(), QStringLiteral("Select a server first"));
        QTRY_COMPARE(button->text(), QStringLiteral("Tap to connect"));
        window.page()->circleButton()->click();
        QCOMPARE(refusals.size(), 2);
        QTRY_COMPARE(button->text(), QStringLiteral("Tap to connect"));
        QCOMPARE(window.connectDisplay()->buttonState(), ButtonState::Idle);
        SettingsManager::instance()->setConnectionMode(true);
        QVERIFY(WindowFixture::openDatabase());
    }

    void flowSignalsMoveThePage()
    {
        TestWindow window(nullptr);
        ConnectFlow *flow = window.services().connectFlow;
        ConnectionPage *page = window.page();
        emit flow->connectingAnimationChanged(true);
        QCOMPARE(window.connectDisplay()->buttonState(), ButtonState::Connecting);
        QCOMPARE(page->statusLabel()->text(), QStringLiteral("Connecting"));
        QVERIFY(window.connectDisplay()->connectingTimer()->isActive());

        emit flow->failureShown(QStringLiteral("Connection failed. Please try another server."));
        QVERIFY(!window.connectDisplay()->connectingTimer()->isActive());
        QCOMPARE(page->statusLabel()->text(),
                 QStringLiteral("Connection failed. Please try another server."));
        QVERIFY(page->statusLabel()->isVisibleTo(page->statusLabel()->parentWidget()));
        QVERIFY(!page->timerLabel()->isVisibleTo(page->timerLabel()->parentWidget()));
        emit flow->buttonStateChanged(ButtonState::Idle);
        QCOMPARE(page->tapButton()->text(), QStringLiteral("Tap to connect"));

        emit flow->connectedClockStarted();
        emit flow->buttonStateChanged(ButtonState::Connected);
        QVERIFY(window.connectTimer()->isActive());
        QCOMPARE(page->timerLabel()->text(), QStringLiteral("00:00:00"));
        emit flow->connectedClockStopped();
        QVERIFY(!window.connectTimer()->isActive());
        emit flow->buttonStateChanged(ButtonState::Idle);

        // The flow's own choice of relay on the card, marked "Auto".
        emit flow->autoRelayChosen(QVariantMap{{"name", "Bravo"}, {"country_code", "DE"}});
        QCOMPARE(page->regionValue()->text(), QStringLiteral("Bravo"));
        QCOMPARE(page->regionMode()->text(), QStringLiteral("Auto"));
        emit flow->autoRelayChosen(QVariantMap{{"name", ""}});
        QCOMPARE(page->regionValue()->text(), QStringLiteral("Europe"));
    }

    void routeCardValues_data()
    {
        QTest::addColumn<int>("ms");
        QTest::addColumn<QString>("value");
        QTest::newRow("negative") << -5 << "0";
        QTest::newRow("zero") << 0 << "0";
        QTest::newRow("one") << 1 << "1";
        QTest::newRow("42") << 42 << "42";
        QTest::newRow("wide") << 12345 << "12345";
    }
    void routeCardValues()
    {
        QFETCH(int, ms);
        QFETCH(QString, value);
        TestWindow window(nullptr);
        RouteArea *route = window.routeArea();
        window.showEstimatedPing(ms);
        QCOMPARE(route->pingValue()->text(), value);
        QCOMPARE(route->latencyLabel()->text(), value + QStringLiteral(" ms"));
        QCOMPARE(route->pingUnit()->text(), QStringLiteral("ms"));
        // Value and unit centred together on the 396 px card.
        const int a = QFontMetrics(route->pingValue()->font()).horizontalAdvance(value);
        const int b = QFontMetrics(route->pingUnit()->font()).horizontalAdvance(QStringLiteral("ms"));
        QCOMPARE(route->pingValue()->x(), (396 - 30 - b - a) / 2 + 10);
        QCOMPARE(route->pingUnit()->x(), (396 - 30 - b - a) / 2 + 10 + a + 30 - 6);
    }

    void lossValues_data()
    {
        QTest::addColumn<quint64>("acked");
        QTest::addColumn<quint64>("lost");
        QTest::addColumn<QString>("shown");
        QTest::newRow("nothing counted") << quint64(0) << quint64(0) << "0%";
        QTest::newRow("38 acknowledged, 2 lost") << quint64(38) << quint64(2) << "5%";
        QTest::newRow("15 acknowledged, 3 lost") << quint64(15) << quint64(3) << "--%";
        QTest::newRow("500 acknowledged") << quint64(500) << quint64(0) << "0%";
    }
    void lossValues()
    {
        QFETCH(quint64, acked);
        QFETCH(quint64, lost);
        QFETCH(QString, shown);
        TestWindow window(nullptr);
        window.setGameRouteValue(PacketLossMeter::lossText(acked, lost, 0, 0));
        QLabel *label = window.routeArea()->lossValue();
        QCOMPARE(label->text(), shown);
        QCOMPARE(label->x(), (396 - QFontMetrics(label->font()).horizontalAdvance(shown)) / 2 - 15);
    }

    void textsComeFromTheWindowsCatalogue()
    {
        // A catalogue that marks what it is asked for, with its context.
        struct Marking : QTranslator
        {
            QString translate(const char *context, const char *source, const char *, int) const override
            {
                return QLatin1String(context) + QLatin1Char(':') + QLatin1String(source);
            }
        };
        Marking marking;
        QCoreApplication::installTranslator(&marking);
        TestWindow window(nullptr);
        QPushButton *button = window.page()->tapButton();
        window.applyConnectButtonState(ButtonState::Connecting);
        QCOMPARE(button->text(), QStringLiteral("MainWindow:Connecting"));
        window.connectDisplay()->showConnected();
        window.applyConnectButtonState(ButtonState::Connected);
        QCOMPARE(button->text(), QStringLiteral("MainWindow:Disconnect"));
        QCOMPARE(window.page()->statusLabel()->text(), QStringLiteral("QObject:You are connected!"));
        window.applyConnectButtonState(ButtonState::Idle);
        QCOMPARE(button->text(), QStringLiteral("MainWindow:Tap to connect"));

        // The page's and the route area's own texts are the window's too:
        // the translation files hold them under "MainWindow".
        const char *const windowTexts[][2] = {
            {"QuorlixConnSubtitle", "Connect To"},    {"ServerRegionTitle", "Server Region"},
            {"ServerRegionValue", "United States"},   {"PlatformBoostTitle", "Platform Boost Setting"},
            {"GameRouteTitle", "Game route"},         {"GameRoutePingSubtitle", "Estimated ping"},
            {"RoutingDetailTitle", "Routing detail"}, {"RoutingPcLabel", "Your PC"},
        };
        for (const auto &entry : windowTexts) {
            // A text marked this way may be too long for its label: then it
            // is whole in the tooltip.
            auto *label = window.findChild<QLabel *>(QLatin1String(entry[0]));
            QVERIFY2(label, entry[0]);
            const QString shown = label->toolTip().isEmpty() ? label->text() : label->toolTip();
            QCOMPARE(shown, QStringLiteral("MainWindow:") + QLatin1String(entry[1]));
        }
        QCoreApplication::removeTranslator(&marking);
    }

    void destroyedPillIsSkipped()
    {
        TestWindow window(nullptr);
        delete window.routeArea()->latencyLabel();
        window.showEstimatedPing(42);
        QCOMPARE(window.routeArea()->pingValue()->text(), QStringLiteral("42"));
    }
};

QTEST_MAIN(TestConnectButton)
#include "tst_connectbutton.moc"
