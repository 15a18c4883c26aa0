#include "WindowAgainstFake.h"
#include "app/ClientComposition.h"
#include "services/GamesCache.h"
#include "services/GamesCatalogue.h"
#include "services/ServiceConfig.h"
#include "services/VersionGate.h"
#include "storage/DatabaseManager.h"
#include "support/PainterWarnings.h"
#include "support/WindowFixture.h"
#include "support/fakeservice/FakeService.h"
#include "support/fakeservice/LoopbackGuard.h"
#include "ui/mainwindow/MainWindow.h"
#include "ui/pages/games/GamesGrid.h"
#include "ui/pages/games/GamesSection.h"
#include "ui/pages/servers/ServerPicker.h"
#include "ui/pages/signin/AuthPage.h"
#include "ui/widgets/ProxyStatusOverlay.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

namespace {
// The window as the composition root builds it, with intervals short enough
// that its first deferred calls and timers have run within a few ms.
class TestWindow : public MainWindow
{
public:
    TestWindow()
        : MainWindow(createClientServices(WindowFixture::shortIntervals()), WindowFixture::shortIntervals())
    {
        buildPages(); // the tests reach into the pages at once
    }
};
} // namespace

// What the window sends on its own, from construction through its first
// deferred calls and timers, and when navigation records a usage event.
class TestMainWindowNetwork : public QObject
{
    Q_OBJECT

private:
    FakeService m_service;

    // Usage events the window posted, by name, whatever the service answered.
    int posted(const QString &eventName) const
    {
        int count = 0;
        for (const RecordedRequest &request : m_service.requests(QStringLiteral("/api/promo/event")))
            count += request.json().value(QStringLiteral("event_name")).toString() == eventName;
        return count;
    }

    static void storeToken(const QString &token)
    {
        QSettings account(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Quorlix"),
                          QStringLiteral("QuorlixApp"));
        account.setValue(QStringLiteral("auth/token"), token);
        account.sync();
    }

private slots:
    void initTestCase() { QVERIFY(WindowAgainstFake::start(m_service)); }

    void init()
    {
        TestSupport::failOnPainterWarnings();
        LoopbackGuard::reset();
        m_service.clearRequests();
        // The busy overlay stays up for whole flows here: what it paints must paint cleanly.
        QTest::failOnWarning(QRegularExpression(QStringLiteral("QPainter|Painter not active")));
    }
    void cleanup()
    {
        m_service.setVersionVerdict(QJsonObject{{QStringLiteral("valid"), true}});
        m_service.clearScripts();
    }

    void startupChecksOnce()
    {
        storeToken(QString());
        const QStringList paths = {QStringLiteral("/api/app-version/validate"),
                                   QStringLiteral("/api/app-updates"), QStringLiteral("/api/servers")};
        TestWindow window;
        // The relay list is asked for twice: the synchronisation and the
        // server picker's own refresh.
        const auto expected = [](const QString &path) {
            return path.endsWith(QLatin1String("servers")) ? 2 : 1;
        };
        for (const QString &path : paths)
            QTRY_COMPARE(m_service.requestCount(path), expected(path));
        // Their answers handled, whatever the window does next is counted too.
        QTRY_VERIFY(WindowAgainstFake::nothingInFlight(window.services().serviceClient));
        for (const QString &path : paths)
            QCOMPARE(m_service.requestCount(path), expected(path));
        QVERIFY(!window.isVersionBlocked());
        QVERIFY(!window.isUpdateCheckRunning());
        QVERIFY(!window.isUpdateRequired());
    }

    // A refused version holds the window: "Version Blocked" over it, its
    // buttons gone, a close refused, then the closing notice and the quit.
    void refusedVersionHoldsTheWindow_data()
    {
        QTest::addColumn<bool>("forceUpdate");
        QTest::newRow("refused") << false;
        QTest::newRow("refused, update demanded, nothing newer") << true;
    }
    void refusedVersionHoldsTheWindow()
    {
        QFETCH(bool, forceUpdate);
        storeToken(QString());
        m_service.setVersionVerdict(
            QJsonObject{{QStringLiteral("valid"), false}, {QStringLiteral("force_update"), forceUpdate}});
        TestWindow window;
        QList<int> asked;
        window.services().versionGate->setTimerSource(
            [&asked](int ms, QObject *context, std::function<void()> fn) {
                asked.append(ms);
                QTimer::singleShot(ms / 10, context, std::move(fn));
            });
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        ProxyStatusOverlay *overlay = window.busyOverlay();

        QTRY_VERIFY(window.isVersionBlocked());
        QVERIFY(overlay->isVisible());
        QCOMPARE(overlay->geometry(), window.rect());
        if (!forceUpdate)
            QCOMPARE(overlay->titleText(), QStringLiteral("Version Blocked"));
        QVERIFY(window.findChild<QPushButton *>(QStringLiteral("WindowCloseButton"))->isHidden());
        QVERIFY(!window.close());
        QVERIFY(window.isVisible());
        QVERIFY(overlay->titleText() != QLatin1String("Closing Quorlyx"));

        QTRY_COMPARE(overlay->titleText(), QStringLiteral("Application Closing..."));
        // The quit allows the close that was refused until then.
        QTRY_VERIFY(window.close());
        QVERIFY(!window.isVisible());
        QCOMPARE(asked, forceUpdate ? QList<int>{3000} : QList<int>({5000, 3000}));
        QCOMPARE(m_service.requestCount(QStringLiteral("/api/app-updates")), forceUpdate ? 2 : 1);
        QCOMPARE(m_service.requestCount(QStringLiteral("/api/app-version/validate")), 1);
    }

    void startupTalksOnlyToLoopback()
    {
        storeToken(QStringLiteral("token-1"));
        {
            TestWindow window;
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            // Let every start-up deferral and the first heartbeat run.
            QTRY_VERIFY(m_service.requestCount(QStringLiteral("/api/servers")) > 0);
            QTest::qWait(2 * WindowFixture::shortIntervals().firstHeartbeatMs);
            window.navigateToPage(2);
            QTRY_COMPARE(posted(QStringLiteral("view_connections")), 1);
        }
        const QList<QUrl> offenders = LoopbackGuard::violations();
        if (!offenders.isEmpty())
            QFAIL(qPrintable(QStringLiteral("left loopback: ") + offenders.first().toString()));
        // The guard saw the window's requests, so the check above was not vacuous.
        QVERIFY(!LoopbackGuard::seen().isEmpty());
    }

    void startupSynchronisesRelayList()
    {
        // No sign-in is needed: the relay list is fetched once the event loop
        // runs, and the cached list is replaced by what the service sent.
        storeToken(QString());
        DatabaseManager::instance()->replaceServersCache({});
        QCOMPARE(DatabaseManager::instance()->countActiveServers(), 0);
        TestWindow window;
        QCOMPARE(m_service.requestCount(QStringLiteral("/api/servers")), 0);
        QTRY_COMPARE(m_service.requestCount(QStringLiteral("/api/servers")), 2);
        QTRY_VERIFY(DatabaseManager::instance()->countActiveServers() > 0);
        QVERIFY(LoopbackGuard::violations().isEmpty());
    }

    // The server picker's refresh: its reply replaces the cached relays and
    // lays the region rows out again for the regions they use.
    void pickerRefreshReloadsTheRegions()
    {
        storeToken(QString());
        DatabaseManager::instance()->replaceServersCache({});
        TestWindow window;
        QVERIFY(window.serverPicker()->regionSet().isEmpty());
        QTRY_COMPARE(
            window.serverPicker()->regionSet(),
            (QSet<QString>{QStringLiteral("Europe"), QStringLiteral("Asia"), QStringLiteral("Middle East")}));
        int shown = 0;
        for (QPushButton *row : window.findChildren<QPushButton *>(QStringLiteral("SrvRegionRowBtn")))
            shown += !row->isHidden();
        QCOMPARE(shown, 3);
    }

    void navigationRecordsViewConnectionsOnce()
    {
        storeToken(QStringLiteral("token-1"));
        TestWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const int before = posted(QStringLiteral("view_connections"));

        window.navigateToPage(2);
        QTRY_COMPARE(posted(QStringLiteral("view_connections")), before + 1);
        // Other sections, a click on Network and a bad index record nothing:
        // the next event the service sees is the one of the next navigation.
        const int eventsBefore = m_service.requestCount(QStringLiteral("/api/promo/event"));
        window.navigateToPage(0);
        window.navGroup()->button(2)->click();
        window.navigateToPage(9);
        window.openGamesPage();
        window.navigateToPage(2);
        QTRY_COMPARE(posted(QStringLiteral("view_connections")), before + 2);
        QCOMPARE(m_service.requestCount(QStringLiteral("/api/promo/event")), eventsBefore + 1);
        const RecordedRequest sent = m_service.lastRequest(QStringLiteral("/api/promo/event"));
        QCOMPARE(sent.header("Authorization"), QByteArray("Bearer token-1"));
        QVERIFY(LoopbackGuard::violations().isEmpty());
    }

    // Opening a game records both views, then the connection view's own
    // record when the page comes up after the sweep.
    void openingAGameRecordsItsViews()
    {
        storeToken(QStringLiteral("token-1"));
        TestWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTest::qWait(2 * WindowFixture::shortIntervals().firstHeartbeatMs);
        const int before = m_service.requestCount(QStringLiteral("/api/promo/event"));
        window.handleOpenConnectionsForGame(QStringLiteral("Some PC Game"), QString());
        const auto views = [&] {
            QStringList names;
            for (const RecordedRequest &r :
                 m_service.requests(QStringLiteral("/api/promo/event")).mid(before)) {
                const QString name = r.json().value(QStringLiteral("event_name")).toString();
                if (name.startsWith(QLatin1String("view_")))
                    names << name;
            }
            // Separate requests may arrive in any order.
            names.sort();
            return names;
        };
        QTRY_COMPARE(views(), (QStringList{"view_connections", "view_connections", "view_routing"}));
        QVERIFY(LoopbackGuard::violations().isEmpty());
    }

    void selectingGamesFetchesAndKeepsTheCatalogue()
    {
        // Without a token too: the catalogue is public.
        storeToken(QString());
        m_service.setGames(FakeService::sampleGames());
        const QString games = QStringLiteral("/api/games");
        {
            // Earlier visits to the Games section left a copy; start without one.
            QFile::remove(GamesCache().path());
            TestWindow window;
            QVERIFY(!window.loadGamesCache());
            window.openGamesPage();
            QTRY_VERIFY(window.gamesCatalogue()->state()->catalogueLoaded);
            QCOMPARE(m_service.requestCount(games), 1);
            QCOMPARE(window.gamesCatalogue()->items()->size(), FakeService::sampleGames().size());
            QCOMPARE(DatabaseManager::instance()
                         ->getGameById(QStringLiteral("arena-strike"))
                         .value(QStringLiteral("name"))
                         .toString(),
                     QStringLiteral("Arena Strike"));

            // A second visit while nothing is under way asks again; the
            // disk copy the first reply left opens through the window.
            window.openGamesPage();
            QTRY_COMPARE(m_service.requestCount(games), 2);
            QFile file(window.gamesCatalogue()->cache().path());
            QVERIFY(file.open(QIODevice::ReadOnly));
            QByteArray plain;
            QVERIFY(window.decryptGamesCache(file.readAll(), &plain));
            QList<GameApiItem> items;
            QVERIFY(MainWindow::parseGamesJson(plain, &items));
            QCOMPARE(items.first().id, QStringLiteral("arena-strike"));
        }
        // The next window has the games before the network answers.
        TestWindow next;
        QVERIFY(next.loadGamesCache());
        QCOMPARE(next.gamesCatalogue()->items()->size(), FakeService::sampleGames().size());
        QVERIFY(LoopbackGuard::violations().isEmpty());
    }

    // The disk copy reaches the grid before the reply; behind the sign-in
    // page the grid waits until someone has signed in.
    void cachedCatalogueRendersBeforeTheReplyOnceSignedIn()
    {
        storeToken(QString());
        // A copy on disk holding one game; the service knows the sample list.
        QJsonArray cached;
        cached.append(QJsonObject{{"id", "cached-1"}, {"name", "Cached Game"}, {"category", "FPS"}});
        QVERIFY(GamesCache().saveGamesCache(GamesCache().path(), QJsonDocument(cached).toJson()));
        m_service.setGames(FakeService::sampleGames());
        FakeReply slow;
        slow.status = 200;
        slow.body = QJsonDocument(FakeService::sampleGames()).toJson();
        slow.delayMs = 200;
        m_service.script("GET", QStringLiteral("/api/games"), slow);

        TestWindow window;
        // Its worker's answer arrives through the event loop, not before.
        QSignalSpy loaded(window.gamesCatalogue(), &GamesCatalogue::cacheLoaded);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        GamesSection *games = window.gamesSection();
        QSignalSpy rendered(games->grid(), &GamesGrid::rendered);
        // The window is built without waiting for the disk copy, which a
        // worker thread reads; the grid waits for the sign-in.
        QCOMPARE(games->grid()->tiles().size(), 0);
        QTRY_COMPARE(loaded.size(), 1);
        QCoreApplication::processEvents();
        QCOMPARE(rendered.size(), 0);
        QCOMPARE(games->grid()->tiles().size(), 0);

        window.authPage()->hide();
        // It reaches the grid long before the reply.
        QTRY_COMPARE(rendered.size(), 1);
        QCOMPARE(games->grid()->tiles().size(), 1);
        QVERIFY(games->loadingLabel()->isHidden());

        // Opening Games while the request runs sends nothing more and
        // renders nothing more; the reply then brings the service's list.
        window.openGamesPage();
        QCOMPARE(rendered.size(), 1);
        // Three of the service's four games are for PC.
        QTRY_COMPARE(games->grid()->tiles().size(), 3);
        QCOMPARE(m_service.requestCount(QStringLiteral("/api/games")), 1);
        QVERIFY(LoopbackGuard::violations().isEmpty());
    }

    void failedCatalogueSaysSoWhenGamesIsOpen()
    {
        storeToken(QString());
        QFile::remove(GamesCache().path());
        FakeReply failing;
        failing.status = 500;
        m_service.script("GET", QStringLiteral("/api/games"), failing);
        TestWindow window;
        window.show();
        // The silent start-up request fails without a word.
        QTRY_COMPARE(m_service.requestCount(QStringLiteral("/api/games")), 1);
        QTest::qWait(30);
        QVERIFY(window.gamesSection()->loadingLabel()->isHidden());

        window.openGamesPage();
        QTRY_COMPARE(m_service.requestCount(QStringLiteral("/api/games")), 2);
        QTRY_COMPARE(window.gamesSection()->loadingLabel()->text(), QStringLiteral("Failed to load games"));
        QVERIFY(window.gamesSection()->loadingLabel()->isVisible());
        QCOMPARE(window.gamesSection()->grid()->tiles().size(), 0);
    }

    void noTokenNoUsageEvent()
    {
        storeToken(QString());
        TestWindow window;
        window.navigateToPage(2);
        QTest::qWait(50);
        QCOMPARE(m_service.requestCount(QStringLiteral("/api/promo/event")), 0);
    }
};

QTEST_MAIN(TestMainWindowNetwork)
#include "tst_mainwindow_network.moc"
