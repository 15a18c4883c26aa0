// The connection page as a user moves between games, in the window with the
// real connect flow on a recording tunnel and scripted system tools: a game
// other than the connected one shows its own idle state while the connection
// goes on unseen, the connected game shows it again, a press on another
// game's page connects that game instead, re-opening a game lays the page out
// as the first opening did, and the labels whose texts change fit them.

#include "app/ClientComposition.h"
#include "connection/ConnectFlow.h"
#include "connection/ConsoleConnect.h"
#include "connection/DnsVerifier.h"
#include "connection/LivePing.h"
#include "connection/MtuProbe.h"
#include "connection/NetworkFingerprint.h"
#include "connection/SessionManager.h"
#include "storage/DatabaseManager.h"
#include "storage/SettingsManager.h"
#include "support/PainterWarnings.h"
#include "support/WindowFixture.h"
#include "support/faketools/FakeRunner.h"
#include "support/faketunnel/FakeTunnelEngine.h"
#include "support/faketunnel/RecordingTunnel.h"
#include "ui/mainwindow/MainWindow.h"
#include "ui/pages/connection/ConnectDisplay.h"
#include "ui/pages/connection/ConnectionPage.h"
#include "ui/pages/connection/RouteArea.h"
#include "ui/pages/signin/AuthPage.h"
#include "ui/widgets/FittedText.h"

#include <QDateTime>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalSpy>
#include <QTest>

using SystemTools::ToolCommand;
using SystemTools::ToolKind;

namespace {

const QString kSky = QStringLiteral("Sky Racers");
const QString kArena = QStringLiteral("Arena Strike");

WindowIntervals intervals()
{
    WindowIntervals i;
    i.closeDelayMs = 20;
    i.firstHeartbeatMs = 10;
    i.promoRefreshMs = 10;
    i.verifyDelayMs = 10;
    i.failoverRetryMs = 10;
    i.livePingMs = 40;
    i.packetLossMs = 40;
    i.packetLossGraceMs = 10;
    return i;
}

QVariantList profiles(int count)
{
    QVariantList list;
    for (int i = 0; i < count; ++i)
        list << QVariantMap{{"title", QStringLiteral("Helper %1").arg(i + 1)}};
    return list;
}

QVariantMap game(const QString &id, const QString &name, int profileCount)
{
    return {{"id", id},
            {"name", name},
            {"category", "Racing"},
            {"status", "active"},
            {"udp_ports", QStringList{"3074"}},
            {"profiles", profiles(profileCount)}};
}

QVariantMap relay(const QString &id, const QString &name, const QString &address)
{
    return {{"id", id},           {"name", name},         {"ip_address", address}, {"port", 50000},
            {"region", "Europe"}, {"country", "Germany"}, {"country_code", "DE"},  {"status", "active"}};
}

// Fresh pings for the game: its page opens at once, showing the relay the
// pings favour.
void cachePings(const QString &gameId, const QString &favoured)
{
    QJsonObject servers;
    for (const QString &id : {QStringLiteral("r1"), QStringLiteral("r2")})
        servers.insert(id, QJsonObject{{"ping", id == favoured ? 20 : 60}});
    const QString text = QString::fromUtf8(QJsonDocument(QJsonObject{{"servers", servers}}).toJson());
    const QString fingerprint = networkFingerprint();
    DatabaseManager::instance()->saveRouteCache(gameId + "|Europe|" + fingerprint, gameId, "Europe",
                                                fingerprint, text,
                                                QDateTime::currentDateTimeUtc().toString(Qt::ISODate));
}

// The client's services with the connect flow on the recording tunnel and
// the scripted tools: every ping answers, and the DNS check through the
// tunnel answers while the tunnel runs.
struct Rig
{
    FakeRunner runner{[this](const ToolCommand &c) { return answer(c); }};
    RecordingTunnel tunnel;

    FakeRunner::Reply answer(const ToolCommand &c)
    {
        if (c.kind == ToolKind::Ping)
            return FakeRunner::reply(
                FakeRunner::exited(c, 0, FakeRunner::linuxPingText(c.arguments.last(), {"24.3"}, 1)));
        if (tunnel.running)
            return FakeRunner::reply(FakeRunner::exited(
                c, 0, FakeRunner::linuxNslookupAnswer(DnsVerifier::chatDomain(), "162.159.128.233")));
        return FakeRunner::reply(FakeRunner::exited(c, 1, QStringLiteral(";; connection timed out\n")));
    }

    ClientServices services()
    {
        FakeTunnelEngine::reset();
        const WindowIntervals shortened = intervals();
        ClientServices s = createClientServices(shortened, FakeTunnelEngine::api());
        const std::shared_ptr<ConnectFlowState> state = s.connectFlow->sharedState();
        delete s.connectFlow;
        delete s.mtuProbe;
        s.mtuProbe = new MtuProbe(&runner);
        ConnectFlow::Services flow = ConnectFlow::defaultServices(s.tunnel, s.mtuProbe, s.sessions);
        flow.tunnel = &tunnel;
        flow.ownedTunnel.reset();
        flow.makeDnsVerifier = [this](DnsVerifier::TunnelCheck check, QObject *parent) {
            auto *verifier = new DnsVerifier(&runner, std::move(check), DnsVerifier::chatDomain(), parent);
            verifier->setIntervals({200, 10});
            return verifier;
        };
        s.connectFlow = new ConnectFlow(flow, state);
        s.connectFlow->setIntervals({shortened.failoverRetryMs, shortened.verifyDelayMs,
                                     shortened.noServerTextMs, shortened.connectFailureMs,
                                     shortened.noPortsTextMs});
        QObject::connect(s.connectFlow, &ConnectFlow::consoleConnectRequested, s.consoleConnect,
                         &ConsoleConnect::startConsoleBranch);
        QObject::connect(s.connectFlow, &ConnectFlow::consoleStopRequested, s.consoleConnect,
                         &ConsoleConnect::stopConsole);
        delete s.livePing;
        s.livePing = new LivePing(
            &runner, runningRelayAddress(state, [] { return SettingsManager::instance()->serverIp(); }));
        s.livePing->setTickInterval(shortened.livePingMs);
        s.livePing->setSessionManager(s.sessions);
        return s;
    }

    // The addresses the live ping measured (not the MTU probe's pings, which
    // carry the don't-fragment option).
    QStringList livePings() const
    {
        QStringList out;
        for (const ToolCommand &c : runner.commands()) {
            if (c.kind == ToolKind::Ping && !c.arguments.contains(QStringLiteral("do")))
                out << c.arguments.last();
        }
        return out;
    }
};

QString text(QWidget *root, const char *name)
{
    auto *label = root->findChild<QLabel *>(QLatin1String(name));
    return label ? label->text() : QStringLiteral("<missing %1>").arg(QLatin1String(name));
}

// What the left panel and the header show: each widget's place and whether it shows.
QStringList layoutOf(ConnectionPage *page)
{
    const QList<QPair<const char *, QWidget *>> widgets = {
        {"outer circle", page->outerCircle()}, {"inner circle", page->innerCircle()},
        {"relay card", page->regionCard()},    {"connect button", page->tapButton()},
        {"status", page->statusLabel()},       {"clock", page->timerLabel()},
        {"boost title", page->boostTitle()},   {"boost info", page->boostInfoButton()},
        {"boost list", page->boostScroll()},   {"boost scroll bar", page->boostTrack()},
        {"game title", page->gameTitle()},     {"relay name", page->regionValue()},
        {"relay mode", page->regionMode()},
    };
    QStringList out;
    for (const auto &entry : widgets) {
        const QRect g = entry.second->geometry();
        if (!entry.second->isVisible()) {
            out << QLatin1String(entry.first) + QStringLiteral(" hidden");
            continue;
        }
        out << QStringLiteral("%1 %2,%3 %4x%5")
                   .arg(QLatin1String(entry.first))
                   .arg(g.x())
                   .arg(g.y())
                   .arg(g.width())
                   .arg(g.height());
    }
    return out;
}

// No shown widget of the left panel lies over another. The boost title's
// box reaches 4 px into the list below it (its 24 px line at y 302, the list
// at 328, as designed); its letters stay clear.
void verifyNothingOverlaps(ConnectionPage *page)
{
    const QList<QWidget *> pieces = {page->regionCard(), page->tapButton(),  page->statusLabel(),
                                     page->timerLabel(), page->boostTitle(), page->boostScroll(),
                                     page->outerCircle()};
    for (int i = 0; i < pieces.size(); ++i) {
        for (int j = i + 1; j < pieces.size(); ++j) {
            QWidget *a = pieces.at(i);
            QWidget *b = pieces.at(j);
            if (a == page->boostTitle() && b == page->boostScroll())
                continue;
            if (a->isVisible() && b->isVisible())
                QVERIFY2(!a->geometry().intersects(b->geometry()),
                         qPrintable(a->objectName() + " over " + b->objectName()));
        }
    }
}

// A label shows its text whole, or cut on purpose with the whole text as its tooltip.
void verifyFits(QLabel *label)
{
    if (FittedText::isElidedOnPurpose(label))
        return;
    QVERIFY2(FittedText::neededWidth(label, label->text()) <= label->width(),
             qPrintable(QStringLiteral("%1 \"%2\" is %3 wide")
                            .arg(label->objectName(), label->text())
                            .arg(label->width())));
}

} // namespace

class TestConnectionPageGames : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<Rig> m_rig;
    std::unique_ptr<MainWindow> m_window;

    ConnectionPage *page() const { return m_window->connectionPageArea(); }

    void open(const QString &title) { m_window->handleOpenConnectionsForGame(title, QString()); }

    void connectGame(const QString &title)
    {
        open(title);
        page()->tapButton()->click();
        QTRY_VERIFY(m_window->connectState()->connected);
        QCOMPARE(m_window->connectState()->connectionGame(), title);
    }

private slots:
    void initTestCase()
    {
        WindowFixture::useClientNames();
        QVERIFY(WindowFixture::openDatabase());
    }

    void init()
    {
        TestSupport::failOnPainterWarnings();
        DatabaseManager *db = DatabaseManager::instance();
        QVERIFY(db->replaceServersCache(
            {relay("r1", "Frankfurt 1", "127.0.0.11"), relay("r2", "Amsterdam 1", "127.0.0.12")}));
        QVERIFY(
            db->saveGames({game("sky", kSky, 2), game("arena", kArena, 5), game("five", "Five", 5),
                           game("one", "One", 1), game("two", "Two", 2), game("none", "None", 0),
                           game("long", "Console Legends of the Northern Kingdom: Complete Edition", 0)}));
        for (const char *id : {"sky", "arena", "five", "one", "two", "none", "long"})
            cachePings(QLatin1String(id), QStringLiteral("r1"));
        SettingsManager::instance()->setConnectionMode(true);
        m_rig = std::make_unique<Rig>();
        m_window = std::make_unique<MainWindow>(m_rig->services(), intervals());
        m_window->authPage()->hide();
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

    void cleanup()
    {
        if (m_window)
            m_window->services().connectFlow->stopConnection();
        m_window.reset();
        m_rig.reset();
    }

    void anotherGameShowsItsOwnIdleState()
    {
        connectGame(kSky);
        const QString relayInUse = m_window->connectState()->currentAttempt->address;
        QCOMPARE(page()->tapButton()->text(), QStringLiteral("Disconnect"));
        QTRY_COMPARE(text(m_window.get(), "GameRoutePingValue"), QStringLiteral("24"));
        const QStringList connectedLayout = layoutOf(page());

        // Arena Strike's cached pings favour the relay the connection does not use.
        cachePings(QStringLiteral("arena"), relayInUse == QLatin1String("127.0.0.11") ? "r2" : "r1");
        open(kArena);
        QCOMPARE(page()->gameTitle()->text(), kArena);
        QCOMPARE(page()->tapButton()->text(), QStringLiteral("Tap to connect"));
        QCOMPARE(page()->tapButton()->styleSheet(), ConnectionPage::tapButtonNormalStyle());
        QVERIFY(!page()->statusLabel()->isVisible());
        QVERIFY(!page()->timerLabel()->isVisible());
        QCOMPARE(page()->outerCircle()->y(), ConnectionPage::kCircleTopIdle);
        QCOMPARE(page()->regionCard()->y(), ConnectDisplay::kCardYIdle);
        QVERIFY(page()->regionClickArea()->isEnabled());
        QVERIFY(page()->boostTitle()->isVisible());
        QVERIFY(page()->boostScroll()->isVisible());
        QCOMPARE(text(m_window.get(), "GameRoutePingValue"), QStringLiteral("0"));
        QCOMPARE(text(m_window.get(), "GameRouteLossValue"), QStringLiteral("0%"));
        verifyNothingOverlaps(page());

        // The connection goes on unseen: its tunnel, session and live ping,
        // which keeps measuring the connection's relay, not the one shown.
        QVERIFY(m_window->connectState()->connected);
        QVERIFY(m_rig->tunnel.running);
        QVERIFY(m_window->services().sessions->isActive());
        QVERIFY(m_window->services().livePing->isTicking());
        QVERIFY(SettingsManager::instance()->serverIp() != relayInUse);
        const int measured = m_rig->livePings().size();
        QTRY_VERIFY(m_rig->livePings().size() > measured + 1);
        QCOMPARE(m_rig->livePings().last(), relayInUse);
        QCOMPARE(text(m_window.get(), "GameRoutePingValue"), QStringLiteral("0"));
        QCOMPARE(m_window->connectState()->connectionGame(), kSky);

        // Back on Sky Racers: connected, as it was.
        open(kSky);
        QCOMPARE(page()->tapButton()->text(), QStringLiteral("Disconnect"));
        QVERIFY(page()->timerLabel()->isVisible());
        QCOMPARE(page()->statusLabel()->text(), QStringLiteral("You are connected!"));
        QCOMPARE(text(m_window.get(), "GameRoutePingValue"), QStringLiteral("24"));
        QCOMPARE(layoutOf(page()), connectedLayout);
    }

    void pressOnAnotherGamesPageConnectsThatGame()
    {
        connectGame(kSky);
        QSignalSpy ended(m_window->services().sessions, &SessionManager::sessionEnded);
        open(kArena);
        page()->tapButton()->click();
        QCOMPARE(ended.size(), 1);
        QCOMPARE(ended.first().first().value<SessionData>().gameTitle, kSky);
        QTRY_VERIFY(m_window->connectState()->connected);
        QCOMPARE(m_window->connectState()->connectionGame(), kArena);
        QCOMPARE(page()->tapButton()->text(), QStringLiteral("Disconnect"));
        QCOMPARE(m_window->services().sessions->currentSession().gameTitle, kArena);

        open(kSky);
        QCOMPARE(page()->tapButton()->text(), QStringLiteral("Tap to connect"));
        QVERIFY(!page()->timerLabel()->isVisible());
    }

    void reopeningLaysThePageOutAsTheFirstOpening_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("connected");
        for (const char *title : {"None", "One", "Two", "Five"}) {
            QTest::addRow("%s profiles, idle", title) << QString::fromLatin1(title) << false;
            QTest::addRow("%s profiles, connected", title) << QString::fromLatin1(title) << true;
        }
    }
    void reopeningLaysThePageOutAsTheFirstOpening()
    {
        QFETCH(QString, title);
        QFETCH(bool, connected);
        if (connected)
            connectGame(title);
        else
            open(title);
        const QStringList first = layoutOf(page());
        verifyNothingOverlaps(page());
        QCOMPARE(page()->boostTitle()->isVisible(), !connected);
        QVERIFY(page()->regionCard()->isVisible());
        QCOMPARE(page()->timerLabel()->isVisible(), connected);

        open(title);
        QCOMPARE(layoutOf(page()), first);
        // By way of another game, twice.
        for (int i = 0; i < 2; ++i) {
            open(title == kSky ? kArena : kSky);
            verifyNothingOverlaps(page());
            open(title);
            QCOMPARE(layoutOf(page()), first);
        }
        verifyNothingOverlaps(page());
    }

    void labelsFitTheirLaterTexts()
    {
        open(kSky);
        open(kArena);
        QCOMPARE(page()->gameTitle()->text(), kArena);
        verifyFits(page()->gameTitle());

        // A title longer than the header has room for ends in an ellipsis,
        // whole in the tooltip, and stays inside the header.
        const QString longTitle = QStringLiteral("Console Legends of the Northern Kingdom: Complete Edition");
        open(longTitle);
        QVERIFY(FittedText::isElidedOnPurpose(page()->gameTitle()));
        QCOMPARE(page()->gameTitle()->toolTip(), longTitle);
        QVERIFY(page()->gameTitle()->geometry().right() < page()->header()->width());
        QLabel *routing = m_window->routeArea()->gameLabel();
        QCOMPARE(routing->geometry(), QRect(715, 445, 140, 16));
        QVERIFY(FittedText::isElidedOnPurpose(routing));
        QCOMPARE(routing->toolTip(), longTitle.toLower());
        open(kSky);
        QCOMPARE(page()->gameTitle()->text(), kSky);
        QVERIFY(page()->gameTitle()->toolTip().isEmpty());
        verifyFits(routing);

        // The relay card after each relay and mode: the name and the mode
        // show whole, side by side, before the arrow.
        for (const char *favoured : {"r1", "r2", "r1"}) {
            cachePings(QStringLiteral("sky"), QLatin1String(favoured));
            open(kSky);
            QCOMPARE(page()->regionValue()->text(), QLatin1String(favoured) == QLatin1String("r1")
                                                        ? QStringLiteral("Frankfurt 1")
                                                        : QStringLiteral("Amsterdam 1"));
            QCOMPARE(page()->regionMode()->text(), QStringLiteral("Auto"));
            verifyFits(page()->regionValue());
            verifyFits(page()->regionMode());
            QVERIFY(page()->regionValue()->geometry().right() < page()->regionMode()->x());
            QVERIFY(page()->regionMode()->geometry().right() < 267);
        }
        page()->showManualServerLabel(QStringLiteral("Manual"));
        verifyFits(page()->regionMode());
        verifyFits(page()->regionValue());
        QVERIFY(page()->regionValue()->geometry().right() < page()->regionMode()->x());
        QVERIFY(page()->regionMode()->geometry().right() < 267);
    }
};

QTEST_MAIN(TestConnectionPageGames)
#include "tst_connectionpagegames.moc"
