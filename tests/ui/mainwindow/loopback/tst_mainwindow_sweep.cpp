// The window's side of the ping sweep, against the fake service with pings
// from a fake runner: the sweep page over the window, the shown and the hidden
// sweep's handlers (route cache, relay card, picker ping labels), and the
// automatic relay choice on the relay card.

#include "WindowAgainstFake.h"
#include "app/ClientComposition.h"
#include "connection/NetworkFingerprint.h"
#include "connection/PingSweep.h"
#include "connection/RelayChoice.h"
#include "services/ServiceClient.h"
#include "storage/DatabaseManager.h"
#include "storage/SettingsManager.h"
#include "support/PainterWarnings.h"
#include "support/WindowFixture.h"
#include "support/fakeservice/FakeService.h"
#include "support/faketools/FakeRunner.h"
#include "ui/mainwindow/MainWindow.h"
#include "ui/pages/connection/ConnectionPage.h"
#include "ui/pages/connection/PingOptimizerPage.h"
#include "ui/pages/servers/CountryFlags.h"
#include "ui/pages/servers/ServerPicker.h"
#include "ui/pages/signin/AuthPage.h"

#include <QButtonGroup>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QSettings>
#include <QTest>

namespace {

using Pings = QHash<QString, int>;

WindowIntervals sweepIntervals()
{
    WindowIntervals intervals = WindowFixture::shortIntervals();
    intervals.pingSweep.fallbackMs = 150;
    intervals.pingSweep.tickMs = 2;
    intervals.pingSweep.finishDelayMs = 20;
    intervals.pingSweep.killMs = 300;
    intervals.pingSweep.regionDotMs = 5;
    return intervals;
}

// The composition root's services, with the sweep's pings answered by a fake
// runner instead of the system's ping.
ClientServices servicesWithRunner(FakeRunner *runner)
{
    const WindowIntervals intervals = sweepIntervals();
    ClientServices services = createClientServices(intervals);
    delete services.pingSweep;
    services.pingSweep =
        new PingSweep(services.serviceClient, runner, RelayChoice::serverPingsPath(), intervals.pingSweep);
    return services;
}

class TestWindow : public MainWindow
{
public:
    explicit TestWindow(FakeRunner *runner) : MainWindow(servicesWithRunner(runner), sweepIntervals())
    {
        buildPages(); // the tests reach into the pages at once
    }
};

QJsonObject relay(const QString &id, const QString &ip, const QString &name, const QString &country,
                  int port = 50000, const QString &region = QStringLiteral("Europe"))
{
    return QJsonObject{{"id", id},     {"ip_address", ip}, {"name", name},      {"country_code", country},
                       {"port", port}, {"region", region}, {"status", "active"}};
}

// Alpha and Beta in Europe (in the database's name order), Gamma elsewhere.
QJsonArray relays()
{
    return QJsonArray{relay("a", "127.0.0.1", "Alpha", "DE", 0), relay("b", "127.0.0.2", "Beta", "fr", 50123),
                      relay("c", "127.0.0.3", "Gamma", "us", 50000, "North America")};
}

QLabel *named(QWidget *root, const char *name)
{
    return root->findChild<QLabel *>(QLatin1String(name));
}

QString storedServer(const char *key)
{
    return QSettings().value(QLatin1String(key)).toString();
}

void writePingsFile(const QByteArray &text)
{
    QFile file(RelayChoice::serverPingsPath());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
}

// The bundled flag of `code` as a 24 x 24 label shows it.
QPixmap bundledFlag(const QString &code)
{
    QLabel label;
    label.resize(24, 24);
    CountryFlags::showResourceFlag(&label, code);
    return label.pixmap();
}

bool samePicture(const QPixmap &a, const QPixmap &b)
{
    return !a.isNull() && a.toImage().convertToFormat(QImage::Format_ARGB32) ==
                              b.toImage().convertToFormat(QImage::Format_ARGB32);
}

} // namespace

class TestMainWindowSweep : public QObject
{
    Q_OBJECT

private:
    FakeService m_service;
    FakeRunner m_runner;

    // The window with its start-up relay sync done, signed in and shown.
    void settle(MainWindow &window)
    {
        QTRY_COMPARE(DatabaseManager::instance()->countActiveServers(), 3);
        window.authPage()->hide();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
    }

    // The server picker's rows of the relays `ids` (each a relay with that
    // id), their ping labels in the same order showing `texts`.
    static QList<QLabel *> pickerPingLabels(MainWindow &window, const QStringList &ids,
                                            const QStringList &texts)
    {
        QList<QVariantMap> servers;
        for (const QString &id : ids)
            servers.append({{"id", id}, {"name", "Relay " + id}, {"country_code", "DE"}});
        window.serverPicker()->showServerSearchResults(servers, QStringLiteral("Europe"));
        QList<QLabel *> labels;
        const QList<QLabel *> all = window.findChildren<QLabel *>(QStringLiteral("SrvServerPing"));
        for (int i = 0; i < ids.size(); ++i) {
            for (QLabel *label : all) {
                if (label->property("server_id").toString() == ids.at(i) && !labels.contains(label)) {
                    label->setText(texts.at(i));
                    labels.append(label);
                    break;
                }
            }
        }
        return labels;
    }

private slots:
    void initTestCase() { QVERIFY(WindowAgainstFake::start(m_service)); }

    void init()
    {
        TestSupport::failOnPainterWarnings();
        m_service.clearScripts();
        m_service.setServers(relays());
        QFile::remove(RelayChoice::serverPingsPath());
        QSettings settings;
        settings.remove(QStringLiteral("server"));
        settings.setValue(QStringLiteral("connection/mode"), false);
        settings.sync();
        m_runner.setScript([](const SystemTools::ToolCommand &c) {
            const QString ip = c.arguments.last();
            const QStringList times = ip == QLatin1String("127.0.0.1")   ? QStringList{"35"}
                                      : ip == QLatin1String("127.0.0.2") ? QStringList{"12"}
                                                                         : QStringList{};
            return FakeRunner::reply(
                FakeRunner::exited(c, times.isEmpty() ? 1 : 0, FakeRunner::linuxPingText(ip, times)), 1);
        });
    }

    // A PC game without cached pings: the sweep page over the window runs the
    // sweep from app/, then the handler stores it, picks the relay and shows it.
    void shownSweepStoresAndShowsItsResult()
    {
        TestWindow window(&m_runner);
        settle(window);
        const QList<QLabel *> labels =
            pickerPingLabels(window, {"a", "c", "zz", ""}, {"…", "…", "keep", "keep"});
        QCOMPARE(labels.size(), 4);
        QLabel *alpha = labels.at(0);
        QLabel *gamma = labels.at(1);
        QLabel *unlisted = labels.at(2);
        QLabel *noId = labels.at(3);

        window.handleOpenConnectionsForGame(QStringLiteral("Sweep Game"), QString());
        PingOptimizerPage *page = window.pingSweepPage();
        QVERIFY(page->isVisible());
        QCOMPARE(page->geometry(), window.rect());
        QTRY_VERIFY(!page->isVisible());
        QCOMPARE(window.navGroup()->checkedId(), 2);
        QCOMPARE(m_runner.commands().size(), 3);

        // The file the sweep wrote, kept for game, region and network.
        QFile file(RelayChoice::serverPingsPath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        const QVariantMap row =
            DatabaseManager::instance()->getRouteCache("Sweep Game", "Europe", networkFingerprint());
        QCOMPARE(row.value("cache_key").toString(), "Sweep Game|Europe|" + networkFingerprint());
        QCOMPARE(row.value("ping_json").toByteArray(), text);
        QCOMPARE(row.value("updated_at").toString(),
                 QJsonDocument::fromJson(text).object().value("updated_at").toString());

        // Beta (12 ms) beats Alpha (35 ms); the choice is stored, automatic.
        QCOMPARE(storedServer("server/key"), QStringLiteral("b"));
        QCOMPARE(storedServer("server/port").toInt(), 50123);
        QVERIFY(SettingsManager::instance()->connectionMode());
        QCOMPARE(named(&window, "ServerRegionValue")->text(), QStringLiteral("Beta"));

        QCOMPARE(alpha->text(), QStringLiteral("35 ms"));
        QCOMPARE(gamma->text(), QStringLiteral("--"));
        QCOMPARE(unlisted->text(), QStringLiteral("keep"));
        QCOMPARE(noId->text(), QStringLiteral("keep"));
        QCOMPARE(page->property("qxBgPingSweep").toBool(), false);
    }

    // What the shown sweep's handler does with the file the sweep left.
    void shownSweepHandler_data()
    {
        QTest::addColumn<QByteArray>("file"); // empty: no file
        QTest::addColumn<bool>("stored");
        QTest::addColumn<QString>("alphaLabel");
        QTest::addColumn<QString>("card");
        QTest::newRow("results") << QByteArray(R"({"updated_at":"2026-05-06T07:08:09Z","servers":{)"
                                               R"("a":{"ping":35},"b":{"ping":-1}}})")
                                 << true << "35 ms"
                                 << "Alpha";
        QTest::newRow("not JSON: stored raw, nothing read") << QByteArray("garbage") << true << "keep"
                                                            << "Alpha";
        QTest::newRow("no file: nothing stored, page opens") << QByteArray() << false << "keep"
                                                             << "Alpha";
    }
    void shownSweepHandler()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, stored);
        QFETCH(QString, alphaLabel);
        QFETCH(QString, card);
        TestWindow window(&m_runner);
        settle(window);
        if (!file.isEmpty())
            writePingsFile(file);
        QLabel *alpha = pickerPingLabels(window, {"a"}, {"keep"}).value(0);
        QVERIFY(alpha);
        const QString title = QStringLiteral("  Handler Game %1 ").arg(QTest::currentDataTag());
        const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-1);

        window.pingSweepPage()->show();
        window.applyServerPings(&window, title, QString(), QStringLiteral("Europe"));
        QVERIFY(!window.pingSweepPage()->isVisible());
        QCOMPARE(window.navGroup()->checkedId(), 2);
        // Whole, or cut on purpose with the whole title in the tooltip.
        QLabel *shownTitle = window.connectionPageArea()->gameTitle();
        QCOMPARE(shownTitle->toolTip().isEmpty() ? shownTitle->text() : shownTitle->toolTip(), title);

        // An unknown title is keyed by itself, trimmed.
        const QVariantMap row =
            DatabaseManager::instance()->getRouteCache(title.trimmed(), "Europe", networkFingerprint());
        QCOMPARE(!row.isEmpty(), stored);
        if (stored) {
            QCOMPARE(row.value("ping_json").toByteArray(), file);
            const QDateTime at = QDateTime::fromString(row.value("updated_at").toString(), Qt::ISODate);
            QVERIFY(at.isValid());
            if (!file.startsWith('{'))
                QVERIFY(at >= before);
        }
        QCOMPARE(alpha->text(), alphaLabel);
        QCOMPARE(named(&window, "ServerRegionValue")->text(), card);
    }

    // Pings up to a week old: the page opens at once with them, and a hidden
    // sweep refreshes the entry; its handler clears the flag and hides the page.
    void hiddenSweepRefreshesTheEntry()
    {
        const QString fingerprint = networkFingerprint();
        const QString old = QDateTime::currentDateTimeUtc().addDays(-2).toString(Qt::ISODate);
        const QString oldText = QStringLiteral(R"({"updated_at":"%1","servers":{"a":{"ping":3}}})").arg(old);
        QVERIFY(DatabaseManager::instance()->saveRouteCache("Aged Game|Europe|" + fingerprint, "Aged Game",
                                                            "Europe", fingerprint, oldText, old));
        TestWindow window(&m_runner);
        settle(window);

        window.handleOpenConnectionsForGame(QStringLiteral("Aged Game"), QString());
        PingOptimizerPage *page = window.pingSweepPage();
        QCOMPARE(window.navGroup()->checkedId(), 2);
        // The cached pings chose Alpha (3 ms) at once; the sweep runs unseen.
        QCOMPARE(named(&window, "ServerRegionValue")->text(), QStringLiteral("Alpha"));
        QVERIFY(page->property("qxBgPingSweep").toBool());
        QVERIFY(!page->isVisible());

        QTRY_VERIFY(!page->property("qxBgPingSweep").toBool());
        QVERIFY(!page->isVisible());
        const QVariantMap row =
            DatabaseManager::instance()->getRouteCache("Aged Game", "Europe", fingerprint);
        QVERIFY(row.value("updated_at").toString() != old);
        QCOMPARE(QJsonDocument::fromJson(row.value("ping_json").toByteArray())
                     .object()
                     .value("servers")
                     .toObject()
                     .value("b")
                     .toObject()
                     .value("ping")
                     .toInt(),
                 12);
        // Nothing shown: the card keeps the choice of the older entry.
        QCOMPARE(named(&window, "ServerRegionValue")->text(), QStringLiteral("Alpha"));
    }

    void backgroundHandlerWithoutFile()
    {
        TestWindow window(&m_runner);
        settle(window);
        PingOptimizerPage *page = window.pingSweepPage();
        page->setProperty("qxBgPingSweep", true);
        page->show();
        window.onBackgroundPingSweepFinished(&window, QStringLiteral("Fileless Game"),
                                             QStringLiteral("Europe"));
        QVERIFY(!page->property("qxBgPingSweep").toBool());
        QVERIFY(page->isHidden());
        QVERIFY(DatabaseManager::instance()
                    ->getRouteCache("Fileless Game", "Europe", networkFingerprint())
                    .isEmpty());
    }

    // The automatic choice: the first strictly lowest known ping, else the first relay.
    void selectedRelay_data()
    {
        QTest::addColumn<Pings>("pings");
        QTest::addColumn<QString>("chosen");
        QTest::newRow("0 beats higher") << Pings{{"a", 5}, {"b", 0}} << "b";
        QTest::newRow("-1 is unknown") << Pings{{"a", -1}, {"b", 40}} << "b";
        QTest::newRow("tie: the first") << Pings{{"a", 9}, {"b", 9}} << "a";
        QTest::newRow("no pings: the first") << Pings{} << "a";
        QTest::newRow("other region ignored") << Pings{{"c", 1}, {"b", 70}} << "b";
    }
    void selectedRelay()
    {
        QFETCH(Pings, pings);
        QFETCH(QString, chosen);
        TestWindow window(&m_runner);
        settle(window);
        ConnectionPage *page = window.connectionPageArea();
        window.showManualServerLabel(QStringLiteral("Manual"));
        const QPoint modeAt = page->regionMode()->pos();

        const QVariantMap best = window.showSelectedRegion(&window, pings);
        QCOMPARE(best.value("id").toString(), chosen);
        const QJsonObject expected = chosen == "a" ? relays().at(0).toObject() : relays().at(1).toObject();
        QCOMPARE(storedServer("server/key"), chosen);
        QCOMPARE(storedServer("server/ip"), expected.value("ip_address").toString());
        QCOMPARE(storedServer("server/name"), expected.value("name").toString());
        // A port below 1 is stored as the relays' usual 50000.
        QCOMPARE(storedServer("server/port").toInt(), chosen == "a" ? 50000 : 50123);
        QVERIFY(SettingsManager::instance()->connectionMode());

        QCOMPARE(page->regionValue()->text(), expected.value("name").toString());
        QCOMPARE(page->regionMode()->text(), QStringLiteral("Auto"));
        QCOMPARE(page->regionMode()->pos(), modeAt);
        // The bundled flag at the card's size, whatever the code's case; no download.
        QVERIFY(samePicture(page->regionFlag()->pixmap(),
                            bundledFlag(expected.value("country_code").toString().toLower())));
        QCOMPARE(window.countryFlags()->downloadsStarted(), 0);
    }

    void selectedRelayNeedsAEuropeRelay()
    {
        TestWindow window(&m_runner);
        settle(window);
        QVERIFY(DatabaseManager::instance()->replaceServersCache({relays().at(2).toObject().toVariantMap()}));
        ConnectionPage *page = window.connectionPageArea();
        const QPixmap flagBefore = page->regionFlag()->pixmap();
        QVERIFY(window.showSelectedRegion(&window, {{"c", 1}}).isEmpty());
        QVERIFY(storedServer("server/key").isEmpty());
        QVERIFY(!SettingsManager::instance()->connectionMode());
        QCOMPARE(page->regionValue()->text(), QStringLiteral("United States"));
        QVERIFY(samePicture(page->regionFlag()->pixmap(), flagBefore));

        // A relay without a name shows the region.
        QJsonObject unnamed = relays().at(1).toObject();
        unnamed.insert("name", "");
        QVERIFY(DatabaseManager::instance()->replaceServersCache({unnamed.toVariantMap()}));
        QCOMPARE(window.showSelectedRegion(&window, {}).value("id").toString(), QStringLiteral("b"));
        QCOMPARE(page->regionValue()->text(), QStringLiteral("Europe"));
    }

    // The window's flag lookup goes through the one CountryFlags from app/.
    void windowLoadsCountryFlags()
    {
        TestWindow window(&m_runner);
        QLabel label;
        label.resize(24, 24);
        window.loadCountryFlag(&label, QStringLiteral(" de "), QStringLiteral("/uploads/de.png"));
        QVERIFY(samePicture(label.pixmap(), bundledFlag("de")));
        QCOMPARE(window.countryFlags()->downloadsStarted(), 0);
    }
};

QTEST_MAIN(TestMainWindowSweep)
#include "tst_mainwindow_sweep.moc"
