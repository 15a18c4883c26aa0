#include "services/NetworkAccess.h"
#include "services/ServiceConfig.h"
#include "support/PainterWarnings.h"
#include "support/fakeservice/FakeService.h"
#include "support/fakeservice/LoopbackGuard.h"
#include "ui/pages/connection/GameConnectionView.h"
#include "ui/pages/connection/PingOptimizerPage.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

// The sweep's saved form: relay id to its ping.
const char kPings[] = "{\"servers\":{\"7\":{\"ping\":40}}}";
const QDateTime kNow = QDateTime(QDate(2026, 3, 1), QTime(12, 0), Qt::UTC);

QByteArray pngBytes(const QColor &colour)
{
    QImage image(80, 80, QImage::Format_ARGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// The controller with everything it reaches replaced: a catalogue of three
// games, one route-cache row, a clock, a fingerprint and a sweep page.
struct Fixture
{
    QWidget window;
    QLabel title, routingLabel, icon, routingIcon;
    QTemporaryDir covers;
    // From the factory the loopback guard watches.
    std::unique_ptr<QNetworkAccessManager> network{NetworkAccess::createManager(nullptr)};
    std::unique_ptr<GameConnectionView> view;
    QVariantMap cacheRow;
    QStringList cacheAsked;
    QStringList selected;
    QPointer<PingOptimizerPage> sweep;
    bool consoleNetwork = true;

    explicit Fixture(GameConnectionView::Intervals intervals = {10, 20, 40})
    {
        window.resize(1440, 810);
        // Shown, so that showing the sweep page starts its analysis.
        window.show();
        QHash<QString, QVariantMap> games = {
            {"Apex Legends", {{"id", "g-apex"}, {"category", "Shooter"}}},
            {"Gran Turismo", {{"id", "g-gt"}, {"category", ""}, {"platform", "PlayStation 5"}}},
        };
        GameConnectionView::Services s;
        s.games.findGameIdByName = [games](const QString &name) {
            return games.value(name).value(QStringLiteral("id")).toString();
        };
        s.games.getGameById = [games](const QString &id) {
            for (const QVariantMap &g : games) {
                if (g.value(QStringLiteral("id")).toString() == id)
                    return g;
            }
            return QVariantMap();
        };
        s.routeCache = [this](const QString &id, const QString &region, const QString &fingerprint) {
            cacheAsked << id + QLatin1Char('|') + region + QLatin1Char('|') + fingerprint;
            return cacheRow;
        };
        s.networkFingerprint = [] { return QStringLiteral("fp-1"); };
        s.nowUtc = [] { return kNow; };
        s.selectGame = [this](const QString &t, const QString &l) { selected << t + QLatin1Char('|') + l; };
        s.sweepPage = [this] {
            if (!sweep)
                sweep = new PingOptimizerPage(&window);
            return sweep.data();
        };
        s.windowRect = [this] { return window.rect(); };
        s.network = network.get();
        s.resolveLogoUrl = [](const QString &logo) {
            return ServiceConfig::instance().resolveUploadsUrl(logo);
        };
        s.coversFolder = covers.path() + QStringLiteral("/covers");
        s.hasConsoleNetwork = [this] { return consoleNetwork; };
        GameConnectionView::HeaderLabels labels;
        labels.title = &title;
        labels.routingLabel = &routingLabel;
        labels.icon = &icon;
        labels.routingIcon = &routingIcon;
        view = std::make_unique<GameConnectionView>(s, intervals, labels, nullptr);
    }

    void cachedAgo(qint64 seconds, const QString &pingJson = QStringLiteral(
                                       "{\"servers\":{\"7\":{\"ping\":40},\"9\":{\"ping\":12}}}"))
    {
        cacheRow = {{"ping_json", pingJson}, {"updated_at", kNow.addSecs(-seconds).toString(Qt::ISODate)}};
    }

    QString coverPath(const QString &logo) const
    {
        return covers.path() + QStringLiteral("/covers/") + GameConnectionView::coverFileName(logo);
    }
};

} // namespace

class TestGameConnectionView : public QObject
{
    Q_OBJECT

private:
    FakeService m_service;

private slots:
    void initTestCase()
    {
        QVERIFY(m_service.listen());
        ServiceConfig::setInstance(ServiceConfig(m_service.origin(), m_service.origin(), m_service.origin()));
        LoopbackGuard::install();
    }
    void init()
    {
        TestSupport::failOnPainterWarnings();
        m_service.clearRequests();
    }
    void cleanup() { QVERIFY(LoopbackGuard::violations().isEmpty()); }

    void cacheAge_data()
    {
        QTest::addColumn<QVariantMap>("row");
        QTest::addColumn<int>("use");
        const auto ago = [](qint64 s) { return kNow.addSecs(-s).toString(Qt::ISODate); };
        const QString pings = QStringLiteral("{\"1\":20}");
        using U = GameConnectionView::CacheUse;
        QTest::newRow("just now") << QVariantMap{{"ping_json", pings}, {"updated_at", ago(0)}}
                                  << int(U::Fresh);
        QTest::newRow("86400 s") << QVariantMap{{"ping_json", pings}, {"updated_at", ago(86400)}}
                                 << int(U::Fresh);
        QTest::newRow("86401 s") << QVariantMap{{"ping_json", pings}, {"updated_at", ago(86401)}}
                                 << int(U::Refresh);
        QTest::newRow("604800 s") << QVariantMap{{"ping_json", pings}, {"updated_at", ago(604800)}}
                                  << int(U::Refresh);
        QTest::newRow("604801 s") << QVariantMap{{"ping_json", pings}, {"updated_at", ago(604801)}}
                                  << int(U::Sweep);
        QTest::newRow("in the future")
            << QVariantMap{{"ping_json", pings}, {"updated_at", ago(-5)}} << int(U::Sweep);
        QTest::newRow("no row") << QVariantMap() << int(U::Sweep);
        QTest::newRow("empty pings") << QVariantMap{{"ping_json", ""}, {"updated_at", ago(10)}}
                                     << int(U::Sweep);
        QTest::newRow("unreadable date")
            << QVariantMap{{"ping_json", pings}, {"updated_at", "yesterday"}} << int(U::Sweep);
        QTest::newRow("stored in UTC with Z")
            << QVariantMap{{"ping_json", pings}, {"updated_at", "2026-03-01T11:00:00Z"}} << int(U::Fresh);
    }
    void cacheAge()
    {
        QFETCH(QVariantMap, row);
        QFETCH(int, use);
        QCOMPARE(int(GameConnectionView::cacheUse(row, kNow)), use);
    }

    void openingAPcGame_data()
    {
        QTest::addColumn<qint64>("age"); // -1: no row
        QTest::addColumn<QString>("pingJson");
        QTest::addColumn<bool>("atOnce");
        QTest::addColumn<bool>("hiddenSweep");
        QTest::newRow("a day old: cached pings only") << qint64(86400) << kPings << true << false;
        QTest::newRow("a day and a second: hidden sweep") << qint64(86401) << kPings << true << true;
        QTest::newRow("a week: hidden sweep") << qint64(604800) << kPings << true << true;
        QTest::newRow("over a week: sweep page") << qint64(604801) << kPings << false << false;
        QTest::newRow("dated in the future: sweep page") << qint64(-60) << kPings << false << false;
        QTest::newRow("no row: sweep page") << qint64(-1) << "" << false << false;
        QTest::newRow("empty ping text: sweep page") << qint64(10) << "" << false << false;
    }
    void openingAPcGame()
    {
        QFETCH(qint64, age);
        QFETCH(QString, pingJson);
        QFETCH(bool, atOnce);
        QFETCH(bool, hiddenSweep);
        Fixture f;
        if (age != -1)
            f.cachedAgo(age, pingJson);
        QSignalSpy navigate(f.view.get(), &GameConnectionView::navigateToPage);
        QSignalSpy region(f.view.get(), &GameConnectionView::selectedRegionRequested);
        QSignalSpy background(f.view.get(), &GameConnectionView::backgroundSweepFinished);
        QSignalSpy apply(f.view.get(), &GameConnectionView::applyServerPingsRequested);
        QSignalSpy overlay(f.view.get(), &GameConnectionView::snapshotOverlayRequested);
        QSignalSpy pcIcon(f.view.get(), &GameConnectionView::routingPcIconRequested);

        f.view->openGame(QStringLiteral("Apex Legends"), QString());
        f.view->openGame(QStringLiteral("Apex Legends"), QString()); // again, at once
        QCOMPARE(f.cacheAsked.first(), QStringLiteral("g-apex|Europe|fp-1"));
        QCOMPARE(f.selected.first(), QStringLiteral("Apex Legends|"));
        // A PC game hides a set-up overlay an earlier console game left.
        QCOMPARE(overlay.first().first().toBool(), false);
        QCOMPARE(pcIcon.first().first().toBool(), false);
        QCOMPARE(navigate.count(), atOnce ? 2 : 0);
        QCOMPARE(region.count(), atOnce ? 2 : 0);
        if (atOnce) {
            const auto pings = region.first().first().value<QHash<QString, int>>();
            QCOMPARE(pings.value(QStringLiteral("7")), 40);
        }
        QCOMPARE(f.sweep && f.sweep->isVisible() == false && f.sweep->property("qxBgPingSweep").toBool(),
                 hiddenSweep);
        if (!atOnce) {
            QVERIFY(f.sweep);
            QVERIFY(!f.sweep->isHidden());
            QCOMPARE(f.sweep->geometry(), f.window.rect());
        }
        QTest::qWait(30);
        // One hidden sweep for both opens; the sweep page's end runs the
        // handler it was shown with.
        QCOMPARE(background.count(), hiddenSweep ? 1 : 0);
        QVERIFY(apply.count() <= 2);
        if (!atOnce) {
            QVERIFY(apply.count() >= 1);
            QCOMPARE(apply.first(), (QVariantList{"Apex Legends", "", "Europe"}));
        } else {
            QCOMPARE(apply.count(), 0);
        }
        if (hiddenSweep)
            QCOMPARE(background.first(), (QVariantList{"Apex Legends", "Europe"}));
    }

    void unknownGameKeysTheCacheByTitle()
    {
        Fixture f;
        f.view->openGame(QStringLiteral("  Not In Catalogue "), QString());
        QCOMPARE(f.cacheAsked, QStringList{"Not In Catalogue|Europe|fp-1"});
    }

    void consoleFromTheGrid_data()
    {
        QTest::addColumn<bool>("consoleNetwork");
        QTest::newRow("with the console network watch") << true;
        QTest::newRow("without it") << false;
    }
    void consoleFromTheGrid()
    {
        QFETCH(bool, consoleNetwork);
        Fixture f;
        f.consoleNetwork = consoleNetwork;
        QStringList events;
        QElapsedTimer clock;
        QHash<QString, qint64> at;
        connect(f.view.get(), &GameConnectionView::snapshotOverlayRequested, this,
                [&](bool show) { events << (show ? "overlay" : "no overlay"); });
        connect(f.view.get(), &GameConnectionView::navigateToPage, this,
                [&](int page) { events << QStringLiteral("page %1").arg(page); });
        connect(f.view.get(), &GameConnectionView::setupConsoleNetworkDue, this, [&] {
            events << "network";
            at.insert("network", clock.elapsed());
        });
        connect(f.view.get(), &GameConnectionView::tapToConnectDue, this, [&] {
            events << "press";
            at.insert("press", clock.elapsed());
        });
        QSignalSpy pcIcon(f.view.get(), &GameConnectionView::routingPcIconRequested);
        clock.start();
        f.view->openGame(QStringLiteral("Gran Turismo"), QString(), QStringLiteral("PlayStation 5"));
        QCOMPARE(events, (QStringList{"page 2", "overlay"}));
        QCOMPARE(pcIcon.count(), 1);
        QVERIFY(pcIcon.first().first().toBool());
        QVERIFY(f.cacheAsked.isEmpty());
        QTRY_VERIFY(events.contains("press"));
        QStringList expected{"page 2", "overlay"};
        if (consoleNetwork)
            expected << "network";
        expected << "press";
        QCOMPARE(events, expected);
        QVERIFY(at.value("press") >= 40);
        if (consoleNetwork)
            QVERIFY(at.value("network") >= 20);
    }

    void consoleRecordThroughTheTwoArgumentSlot()
    {
        Fixture f;
        QSignalSpy overlay(f.view.get(), &GameConnectionView::snapshotOverlayRequested);
        QSignalSpy press(f.view.get(), &GameConnectionView::tapToConnectDue);
        QSignalSpy network(f.view.get(), &GameConnectionView::setupConsoleNetworkDue);
        QSignalSpy pcIcon(f.view.get(), &GameConnectionView::routingPcIconRequested);
        f.view->openGame(QStringLiteral("Gran Turismo"), QString());
        QCOMPARE(overlay.count(), 2);
        QCOMPARE(overlay.last().first().toBool(), true);
        QCOMPARE(pcIcon.last().first().toBool(), true);
        QTest::qWait(60);
        QCOMPARE(press.count(), 0);
        QCOMPARE(network.count(), 0);
        QVERIFY(f.cacheAsked.isEmpty());
    }

    void usageEventsOfEachOpen()
    {
        Fixture f;
        f.cachedAgo(10);
        QStringList tracked;
        connect(f.view.get(), &GameConnectionView::trackEvent, this, [&](const QString &n) { tracked << n; });
        QSignalSpy promo(f.view.get(), &GameConnectionView::promotionRefreshDue);
        f.view->openGame(QStringLiteral("Apex Legends"), QString());
        QCOMPARE(tracked, (QStringList{"view_connections", "view_routing"}));
        QCOMPARE(promo.count(), 0);
        QTRY_COMPARE(promo.count(), 1);
        tracked.clear();
        f.view->openGame(QStringLiteral("Gran Turismo"), QString(), QStringLiteral("PlayStation 5"));
        QCOMPARE(tracked, (QStringList{"view_connections", "view_routing"}));
    }

    void headerTexts()
    {
        Fixture f;
        f.cachedAgo(10);
        QSignalSpy boost(f.view.get(), &GameConnectionView::boostSectionRequested);
        f.view->updateConnectionGameHeader(QStringLiteral("Apex Legends"), QString());
        QCOMPARE(f.title.text(), QStringLiteral("Apex Legends"));
        QCOMPARE(f.routingLabel.text(), QStringLiteral("apex legends"));
        QCOMPARE(boost.count(), 1);
        QCOMPARE(boost.first().first().toString(), QStringLiteral("Apex Legends"));
        f.view->updateConnectionGameHeader(QString(), QString());
        QCOMPARE(f.title.text(), QStringLiteral("-"));
        QCOMPARE(f.routingLabel.text(), QStringLiteral("-"));
    }

    void logoAddressesThatAreNotFetched_data()
    {
        QTest::addColumn<QString>("logo");
        QTest::newRow("empty") << QString();
        QTest::newRow("local file") << "file:///etc/hostname";
        QTest::newRow("resource") << "qrc:/icons/conn-lol.png";
        QTest::newRow("resource path") << ":/icons/conn-lol.png";
        QTest::newRow("not an address") << "%%%::??";
        QTest::newRow("no host") << "http:///uploads/x.png";
    }
    void logoAddressesThatAreNotFetched()
    {
        QFETCH(QString, logo);
        Fixture f;
        QPixmap before(10, 10);
        before.fill(Qt::red);
        f.icon.setPixmap(before);
        f.routingIcon.setPixmap(before);
        f.view->updateConnectionGameHeader(QStringLiteral("Apex Legends"), logo);
        QTest::qWait(30);
        QCOMPARE(f.icon.pixmap().cacheKey(), before.cacheKey());
        QCOMPARE(f.routingIcon.pixmap().cacheKey(), before.cacheKey());
        QCOMPARE(m_service.requests().size(), 0);
        QVERIFY(QDir(f.covers.path() + QStringLiteral("/covers")).entryList(QDir::Files).isEmpty());
    }

    void cachedCoverNeedsNoRequest()
    {
        Fixture f;
        const QString logo = QStringLiteral("/uploads/cached.png");
        QDir().mkpath(f.covers.path() + QStringLiteral("/covers"));
        QFile file(f.coverPath(logo));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(pngBytes(Qt::blue));
        file.close();
        f.view->updateConnectionGameHeader(QStringLiteral("Apex Legends"), logo);
        QCOMPARE(f.icon.pixmap().size(), QSize(60, 60));
        QCOMPARE(f.routingIcon.pixmap().size(), QSize(60, 60));
        QTest::qWait(30);
        QCOMPARE(m_service.requests().size(), 0);
    }

    void fetchedCoverIsStoredAndShownRounded()
    {
        Fixture f;
        const QString logo = QStringLiteral("/uploads/fresh.png");
        m_service.setUpload(logo, pngBytes(Qt::green));
        f.view->updateConnectionGameHeader(QStringLiteral("Apex Legends"), logo);
        QTRY_COMPARE(f.icon.pixmap().size(), QSize(60, 60));
        QCOMPARE(m_service.requestCount(logo), 1);
        QVERIFY(!LoopbackGuard::seen().isEmpty());
        QVERIFY(QFile::exists(f.coverPath(logo)));
        QCOMPARE(QFile(f.coverPath(logo)).size(), pngBytes(Qt::green).size());
        QCOMPARE(f.icon.size(), QSize(60, 60));
        // Rounded by 10: the corner is clear, the middle is the cover.
        const QImage shown = f.routingIcon.pixmap().toImage();
        QCOMPARE(qAlpha(shown.pixel(0, 0)), 0);
        QCOMPARE(QColor(shown.pixel(30, 30)), QColor(Qt::green));
        QCOMPARE(QDir(f.covers.path() + QStringLiteral("/covers")).entryList(QDir::Files).size(), 1);

        // The next open of the game takes it from the folder.
        Fixture again;
        QDir().mkpath(again.covers.path() + QStringLiteral("/covers"));
        QVERIFY(QFile::copy(f.coverPath(logo), again.coverPath(logo)));
        again.view->updateConnectionGameHeader(QStringLiteral("Apex Legends"), logo);
        QCOMPARE(again.icon.pixmap().size(), QSize(60, 60));
        QCOMPARE(m_service.requestCount(logo), 1);
    }

    void failedDownloadsAddNoFile_data()
    {
        QTest::addColumn<QString>("logo");
        QTest::addColumn<QByteArray>("body");  // served when not empty
        QTest::addColumn<bool>("blockedFile"); // a folder stands where the file would go
        QTest::newRow("404") << "/uploads/missing.gif" << QByteArray() << false;
        QTest::newRow("empty body") << "/uploads/empty.png" << QByteArray("") << false;
        QTest::newRow("not a picture") << "/uploads/text.png" << QByteArray("hello") << false;
        QTest::newRow("write fails") << "/uploads/blocked.png" << pngBytes(Qt::yellow) << true;
    }
    void failedDownloadsAddNoFile()
    {
        QFETCH(QString, logo);
        QFETCH(QByteArray, body);
        QFETCH(bool, blockedFile);
        Fixture f;
        if (!body.isNull())
            m_service.setUpload(logo, body);
        if (blockedFile)
            QVERIFY(QDir().mkpath(f.coverPath(logo)));
        // The view handles the reply within the signal the manager reports it with.
        QSignalSpy answered(f.network.get(), &QNetworkAccessManager::finished);
        f.view->updateConnectionGameHeader(QStringLiteral("Apex Legends"), logo);
        QTRY_COMPARE_WITH_TIMEOUT(answered.size(), 1, 10000);
        QCOMPARE(m_service.requestCount(logo), 1);
        QVERIFY(QDir(f.covers.path() + QStringLiteral("/covers")).entryList(QDir::Files).isEmpty());
        // A picture that arrived still shows, though it could not be kept.
        QCOMPARE(f.icon.pixmap().isNull(), !blockedFile);
    }
};

QTEST_MAIN(TestGameConnectionView)
#include "tst_gameconnectionview.moc"
