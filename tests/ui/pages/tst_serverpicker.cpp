#include "connection/RelayChoice.h"
#include "support/ClientNames.h"
#include "support/PainterWarnings.h"
#include "ui/pages/servers/ServerPicker.h"
#include "ui/pages/servers/ServerRegionPage.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QTranslator>

#include <memory>

namespace {

QVariantMap relay(const QString &id, const QString &name, const QString &region,
                  const QString &city = QString(), const QString &country = QString(),
                  const QVariant &port = 50000)
{
    QVariantMap m{{"id", id},
                  {"name", name},
                  {"ip_address", QStringLiteral("127.0.0.%1").arg(id.size())},
                  {"region", region},
                  {"city", city},
                  {"country", country},
                  {"country_code", "DE"},
                  {"flag", QString()}};
    if (port.isValid())
        m.insert(QStringLiteral("port"), port);
    return m;
}

// The selected relay as the pick leaves it.
class RecordingStore : public RelayChoice::SelectedRelayStore
{
public:
    bool automatic = true;
    QString key, ip, name, countryCode;
    int port = -1;
    int writes = 0;

    bool connectionMode() const override { return automatic; }
    QString serverIp() const override { return ip; }
    int serverPort() const override { return port; }
    void setServer(const QString &k, const QString &i, const QString &n, const QString &c) override
    {
        key = k;
        ip = i;
        name = n;
        countryCode = c;
        ++writes;
    }
    void setServerPort(int p) override { port = p; }
    void setConnectionMode(bool a) override { automatic = a; }
};

// The page on a plain root frame, its picker over relays and pings held here.
struct Fixture
{
    QWidget root;
    QList<QVariantMap> relays;
    QHash<QString, int> pings;
    bool pingsFromFile = false;
    QStringList regionsAsked;
    RecordingStore store;
    std::unique_ptr<ServerRegionPage> page;
    std::unique_ptr<ServerPicker> picker;

    explicit Fixture(QList<QVariantMap> cached = {}, bool readPingFile = false)
        : relays(std::move(cached)), pingsFromFile(readPingFile)
    {
        root.resize(1440, 810);
        page = std::make_unique<ServerRegionPage>(&root, 1440, nullptr);
        ServerPicker::Sources sources;
        sources.regions = [this] {
            QStringList out;
            for (const QVariantMap &r : std::as_const(relays)) {
                const QString region = r.value("region").toString().trimmed();
                if (!region.isEmpty() && !out.contains(region))
                    out << region;
            }
            return out;
        };
        sources.activeServers = [this] { return relays; };
        sources.serversInRegion = [this](const QString &region) {
            regionsAsked << region;
            QList<QVariantMap> out;
            for (const QVariantMap &r : std::as_const(relays)) {
                if (r.value("region").toString().trimmed().compare(region, Qt::CaseInsensitive) == 0)
                    out << r;
            }
            return out;
        };
        sources.pings = [this] {
            return pingsFromFile ? RelayChoice::loadServerPings(RelayChoice::serverPingsPath()) : pings;
        };
        sources.store = &store;
        picker = std::make_unique<ServerPicker>(page->pickerWidgets(), sources, nullptr);
        page->setShown(true);
        root.show();
    }

    template <typename T = QWidget> T *named(const char *name) const
    {
        return root.findChild<T *>(QLatin1String(name));
    }
    QLineEdit *edit() const { return named<QLineEdit>("SrvSearchEdit"); }
    QWidget *serversPage() const { return named("SrvServersPage"); }
    QScrollArea *scroll() const { return named<QScrollArea>("SrvRegionScroll"); }

    // The English names of the region rows that are shown, in order.
    QStringList shownRegions() const
    {
        QStringList out;
        for (QPushButton *row : page->pickerWidgets().regionRows) {
            if (!row->isHidden())
                out << row->property("srvRegionName").toString();
        }
        return out;
    }
    QPushButton *row(const QString &englishName) const
    {
        for (QPushButton *r : page->pickerWidgets().regionRows) {
            if (r->property("srvRegionName").toString() == englishName)
                return r;
        }
        return nullptr;
    }
    bool showingRelays() const { return !serversPage()->isHidden(); }
    // The relay rows shown, top to bottom: name and ping text.
    QList<QPair<QString, QString>> relayRows() const
    {
        QList<QPushButton *> rows = serversPage()->findChildren<QPushButton *>(QStringLiteral("SrvServerRow"),
                                                                               Qt::FindDirectChildrenOnly);
        std::sort(rows.begin(), rows.end(), [](QPushButton *a, QPushButton *b) { return a->y() < b->y(); });
        QList<QPair<QString, QString>> out;
        for (QPushButton *r : rows) {
            out.append({r->findChild<QLabel *>(QStringLiteral("SrvServerName"))->text(),
                        r->findChild<QLabel *>(QStringLiteral("SrvServerPing"))->text()});
        }
        return out;
    }
    QPushButton *relayRow(int index) const
    {
        QList<QPushButton *> rows = serversPage()->findChildren<QPushButton *>(QStringLiteral("SrvServerRow"),
                                                                               Qt::FindDirectChildrenOnly);
        std::sort(rows.begin(), rows.end(), [](QPushButton *a, QPushButton *b) { return a->y() < b->y(); });
        return rows.value(index);
    }
};

const QStringList kAllRegions = ServerRegionPage::regionNames();
const QStringList kAllButAuto = kAllRegions.mid(1);

QList<QVariantMap> sampleRelays()
{
    return {relay("fra", "Frankfurt 1", "Europe", "Frankfurt", "Germany"),
            relay("par", "Paris 1", "Europe", "Paris", "France"),
            relay("ist", "Istanbul 1", "Asia", "Istanbul", "Turkey"),
            relay("dxb", "Dubai 1", "Middle East", "Dubai", "United Arab Emirates")};
}

// Region names and a few picker texts in Persian, whatever the context.
class PersianRegions : public QTranslator
{
public:
    QString translate(const char *, const char *source, const char *, int) const override
    {
        static const QHash<QString, QString> names = {{"Auto", QString::fromUtf8("خودکار")},
                                                      {"Asia", QString::fromUtf8("آسیا")},
                                                      {"Europe", QString::fromUtf8("اروپا")},
                                                      {"Middle East", QString::fromUtf8("خاورمیانه")},
                                                      {"East Asia", QString::fromUtf8("آسیای شرقی")},
                                                      {"Central Asia", QString::fromUtf8("آسیای مرکزی")}};
        return names.value(QString::fromUtf8(source));
    }
    bool isEmpty() const override { return false; }
};

} // namespace

class TestServerPicker : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        useClientNames();
        QDir().mkpath(QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation));
    }
    void init() { TestSupport::failOnPainterWarnings(); }
    void cleanup() { QFile::remove(RelayChoice::serverPingsPath()); }

    void opensInTheManualView()
    {
        Fixture f;
        QVERIFY(f.picker->isManual());
        QCOMPARE(f.shownRegions(), kAllButAuto);
        QCOMPARE(f.scroll()->geometry(), QRect(0, 274, 965, 316));
        QCOMPARE(f.edit()->placeholderText(), QStringLiteral("Search for a server"));
        QVERIFY(!f.named("SrvRecommendedLabel")->isHidden());
        QVERIFY(f.named("SrvAutoRecommendedTag")->isHidden());
        QVERIFY(!f.named("SrvManualCheckIcon")->isHidden());
        QVERIFY(f.named("SrvAutoCheckIcon")->isHidden());
        QVERIFY(f.named("SrvManualCard")->styleSheet().contains(QLatin1String("rgba(250, 130, 7, 0.10)")));
        QVERIFY(f.named("SrvAutoCard")->styleSheet().contains(QLatin1String("#1A1E24")));
        QVERIFY(f.named<QLabel>("SrvLeftManualTitle")->styleSheet().contains(QLatin1String("#FA8207")));
        // Visible rows stack from the top of the list at a 54 px pitch.
        QCOMPARE(f.row("Asia")->geometry(), QRect(10, 0, 945, 44));
        QCOMPARE(f.row("North America")->geometry(), QRect(10, 54, 945, 44));
        QCOMPARE(f.named("SrvRegionContent")->minimumHeight(), 11 * 54 - 10);
        QVERIFY(f.serversPage()->isHidden());
    }

    void automaticViewShowsTheAutoRow()
    {
        Fixture f;
        f.named<QPushButton>("SrvAutoClick")->click();
        QVERIFY(!f.picker->isManual());
        QCOMPARE(f.shownRegions(), kAllRegions);
        QCOMPARE(f.scroll()->geometry(), QRect(0, 234, 965, 356));
        QCOMPARE(f.edit()->placeholderText(), QStringLiteral("Search for a region"));
        QVERIFY(f.named("SrvRecommendedLabel")->isHidden());
        QVERIFY(!f.named("SrvAutoRecommendedTag")->isHidden());
        QVERIFY(!f.named("SrvAutoCheckIcon")->isHidden());
        QVERIFY(f.named("SrvManualCheckIcon")->isHidden());
        QVERIFY(f.named<QLabel>("SrvAutoTitle")->styleSheet().contains(QLatin1String("#FA8207")));
        QVERIFY(f.named("SrvRegionRowChevron")->isHidden());
        // Back to Manual: the Auto row and its tag go again.
        f.named<QPushButton>("SrvManualClick")->click();
        QCOMPARE(f.shownRegions(), kAllButAuto);
        QVERIFY(f.named("SrvAutoRecommendedTag")->isHidden());
    }

    void regionSetChoosesTheRows_data()
    {
        QTest::addColumn<QStringList>("cached");
        QTest::addColumn<QStringList>("manualRows");
        QTest::newRow("two regions") << QStringList{"Europe", "Asia"} << QStringList{"Asia", "Europe"};
        QTest::newRow("exact match only") << QStringList{"europe", "Asia"} << QStringList{"Asia"};
        QTest::newRow("nothing cached") << QStringList() << kAllButAuto;
        QTest::newRow("blank region counts as none") << QStringList{"  "} << kAllButAuto;
        QTest::newRow("padded region") << QStringList{" Oceania "} << QStringList{"Oceania"};
        QTest::newRow("unknown region") << QStringList{"Moon"} << QStringList();
    }
    void regionSetChoosesTheRows()
    {
        QFETCH(QStringList, cached);
        QFETCH(QStringList, manualRows);
        QList<QVariantMap> relays;
        for (const QString &region : cached)
            relays << relay(region, "r-" + region, region);
        Fixture f(relays);
        QCOMPARE(f.shownRegions(), manualRows);
        f.named<QPushButton>("SrvAutoClick")->click();
        QCOMPARE(f.shownRegions(), QStringList{"Auto"} + manualRows);
    }

    // A reload after the relay list changed lays the rows out again.
    void reloadFollowsTheCache()
    {
        Fixture f;
        QCOMPARE(f.shownRegions(), kAllButAuto);
        f.relays = {relay("x", "X", "Africa")};
        f.picker->reloadServerPicker();
        QCOMPARE(f.shownRegions(), QStringList{"Africa"});
        QCOMPARE(f.row("Africa")->geometry(), QRect(10, 0, 945, 44));
        QCOMPARE(f.named("SrvRegionContent")->minimumHeight(), 316);
    }

    // Persian row texts: the rows are still chosen, searched and opened by
    // their English names, which the relays use.
    void persianRowsStillMatch()
    {
        PersianRegions persian;
        QCoreApplication::installTranslator(&persian);
        Fixture f(sampleRelays());
        QCoreApplication::removeTranslator(&persian);
        QCOMPARE(f.row("Europe")->text(), QString::fromUtf8("اروپا"));
        QCOMPARE(f.shownRegions(), (QStringList{"Asia", "Europe", "Middle East"}));
        f.row("Asia")->click();
        QCOMPARE(f.regionsAsked, QStringList{"Asia"});
        QCOMPARE(f.relayRows().size(), 1);

        f.named<QPushButton>("SrvAutoClick")->click();
        f.relays.clear();
        f.picker->reloadServerPicker();
        f.edit()->setText(QStringLiteral("asia"));
        QCOMPARE(f.shownRegions(), (QStringList{"Asia", "Central Asia", "East Asia"}));
        f.edit()->setText(QString::fromUtf8("آسیا"));
        QCOMPARE(f.shownRegions(), (QStringList{"Asia", "Central Asia", "East Asia"}));
    }

    void manualSearchListsRelaysOfEveryRegion()
    {
        Fixture f(sampleRelays());
        f.row("Asia")->click();
        QVERIFY(f.showingRelays());
        QVERIFY(!f.serversPage()->property("srvSearchResults").toBool());
        // "fra" matches a name in Europe and a country there; the open
        // region is no limit.
        f.edit()->setText(QStringLiteral("  FRA "));
        QVERIFY(f.showingRelays());
        QVERIFY(f.serversPage()->property("srvSearchResults").toBool());
        QCOMPARE(f.relayRows().size(), 2);
        QCOMPARE(f.scroll()->geometry(), QRect(0, 234, 965, 356));
        QVERIFY(f.named("SrvRecommendedLabel")->isHidden());
        QCOMPARE(f.shownRegions(), QStringList());
        f.edit()->setText(QStringLiteral("dubai"));
        QCOMPARE(f.relayRows(), (QList<QPair<QString, QString>>{{"Dubai 1", "-1"}}));
        // Clearing returns to the regions.
        f.edit()->clear();
        QVERIFY(!f.showingRelays());
        QCOMPARE(f.shownRegions(), (QStringList{"Asia", "Europe", "Middle East"}));
        QCOMPARE(f.scroll()->geometry(), QRect(0, 274, 965, 316));
        // Only blanks: nothing is searched.
        f.edit()->setText(QStringLiteral("   "));
        QVERIFY(!f.showingRelays());
    }

    void automaticSearchFiltersRegionRows_data()
    {
        QTest::addColumn<QString>("term");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<bool>("tag");
        QTest::newRow("asia") << "asia" << QStringList{"Asia", "Central Asia", "East Asia"} << false;
        QTest::newRow("capitals and blanks")
            << " EUROPE " << QStringList{"Europe", "West Europe", "East Europe"} << false;
        QTest::newRow("part of auto") << "ut" << QStringList{"Auto", "South America"} << true;
        QTest::newRow("blanks only") << "  " << kAllRegions << true;
        QTest::newRow("no match") << "xyz" << QStringList() << false;
        QTest::newRow("a thousand characters") << QString(1000, QLatin1Char('a')) << QStringList() << false;
    }
    void automaticSearchFiltersRegionRows()
    {
        QFETCH(QString, term);
        QFETCH(QStringList, rows);
        QFETCH(bool, tag);
        Fixture f;
        f.named<QPushButton>("SrvAutoClick")->click();
        f.edit()->setText(term);
        QCOMPARE(f.shownRegions(), rows);
        QCOMPARE(!f.named("SrvAutoRecommendedTag")->isHidden(), tag);
        QVERIFY(!f.showingRelays());
        if (!rows.isEmpty())
            QCOMPARE(f.row(rows.first())->geometry(), QRect(10, 0, 945, 44));
    }

    void clicksThatDoNothing()
    {
        Fixture f(sampleRelays());
        // In the Automatic view a region row opens nothing.
        f.named<QPushButton>("SrvAutoClick")->click();
        f.row("Europe")->click();
        f.row("Auto")->click();
        QVERIFY(!f.showingRelays());
        QVERIFY(f.regionsAsked.isEmpty());
        // Neither does the round search button.
        f.named<QPushButton>("SrvSearchBtnHit")->click();
        f.named<QPushButton>("ServerRegionReadMoreHit")->click();
        QVERIFY(!f.showingRelays());
        // Nor the Auto row in the Manual view, were it clicked.
        f.named<QPushButton>("SrvManualClick")->click();
        f.picker->onRegionButtonClicked(f.row("Auto"));
        QVERIFY(!f.showingRelays());
        QCOMPARE(f.store.writes, 0);
    }

    void relaysOrderedByPing()
    {
        Fixture f({relay("a", "alpha", "Europe"), relay("b", "Bravo", "Europe"),
                   relay("c", "charlie", "Europe"), relay("z", "Zulu", "Europe"),
                   relay("d", "delta", "Europe"), relay("e", "echo", "Europe")});
        f.pings = {{"a", 30}, {"b", 0}, {"c", -1}, {"d", 7}, {"e", -5}};
        f.row("Europe")->click();
        // Known pings ascending; unknown ones (negative or missing) by name,
        // capitals first.
        QCOMPARE(f.relayRows(), (QList<QPair<QString, QString>>{{"Bravo", "0 ms"},
                                                                {"delta", "7 ms"},
                                                                {"alpha", "30 ms"},
                                                                {"Zulu", "-1"},
                                                                {"charlie", "-1"},
                                                                {"echo", "-1"}}));
        QCOMPARE(f.relayRow(0)->geometry(), QRect(0, 54, 965, 44));
        QCOMPARE(f.relayRow(5)->geometry(), QRect(0, 54 + 5 * 54, 965, 44));
        QCOMPARE(f.serversPage()->geometry(), QRect(0, 0, 965, 44 + 6 * 54));
        auto *known = f.relayRow(0)->findChild<QLabel *>(QStringLiteral("SrvServerPing"));
        auto *unknown = f.relayRow(3)->findChild<QLabel *>(QStringLiteral("SrvServerPing"));
        QCOMPARE(known->property("server_id").toString(), QStringLiteral("b"));
        QCOMPARE(unknown->property("server_id").toString(), QStringLiteral("z"));
        // What is drawn: white for a known ping, red for an unknown one.
        QTRY_VERIFY(f.serversPage()->isVisible());
        const auto hasColour = [](QWidget *w, auto test) {
            const QImage image = w->grab().toImage();
            for (int y = 0; y < image.height(); ++y) {
                for (int x = 0; x < image.width(); ++x) {
                    if (test(QColor(image.pixel(x, y))))
                        return true;
                }
            }
            return false;
        };
        const auto reddish = [](const QColor &c) {
            return c.red() > 180 && c.green() < 120 && c.blue() < 80;
        };
        const auto whitish = [](const QColor &c) {
            return c.red() > 200 && c.green() > 200 && c.blue() > 200;
        };
        QVERIFY(hasColour(unknown, reddish));
        QVERIFY(!hasColour(unknown, whitish));
        QVERIFY(hasColour(known, whitish));
        QVERIFY(!hasColour(known, reddish));
        QVERIFY(hasColour(f.relayRow(0)->findChild<QLabel *>(QStringLiteral("SrvServerName")), whitish));
    }

    // The page's rows are refilled rather than rebuilt: a narrower list
    // leaves no stale row findable, a row's look follows its new ping, and a
    // click picks what the row shows now.
    void rowsAreRefilledInPlace()
    {
        Fixture f(
            {relay("a", "Alpha", "Europe"), relay("b", "Beta", "Europe"), relay("g", "Gamma", "Europe")});
        f.pings = {{"b", 10}, {"g", 20}};
        QSignalSpy spy(f.picker.get(), &ServerPicker::relayPicked);
        f.edit()->setText(QStringLiteral("a"));
        QCOMPARE(f.relayRows(),
                 (QList<QPair<QString, QString>>{{"Beta", "10 ms"}, {"Gamma", "20 ms"}, {"Alpha", "-1"}}));
        QPushButton *first = f.relayRow(0);
        // Someone else restyles a ping label (the ping sweep does).
        f.relayRow(1)->findChild<QLabel *>(QStringLiteral("SrvServerPing"))->setStyleSheet("color: green;");

        f.edit()->setText(QStringLiteral("alpha"));
        QCOMPARE(f.relayRows(), (QList<QPair<QString, QString>>{{"Alpha", "-1"}}));
        QCOMPARE(f.serversPage()->findChildren<QLabel *>(QStringLiteral("SrvServerPing")).size(), 1);
        QCOMPARE(f.serversPage()->findChildren<QLabel *>(QStringLiteral("SrvServerName")).size(), 1);
        QCOMPARE(f.relayRow(0), first);
        auto *ping = first->findChild<QLabel *>(QStringLiteral("SrvServerPing"));
        QCOMPARE(ping->property("server_id").toString(), QStringLiteral("a"));
        QTRY_VERIFY(ping->isVisible());
        const QImage image = ping->grab().toImage();
        bool red = false;
        for (int y = 0; y < image.height() && !red; ++y) {
            for (int x = 0; x < image.width() && !red; ++x) {
                const QColor c(image.pixel(x, y));
                red = c.red() > 180 && c.green() < 120 && c.blue() < 80;
            }
        }
        QVERIFY(red);
        first->click();
        QCOMPARE(spy.size(), 1);
        QCOMPARE(f.store.key, QStringLiteral("a"));

        f.edit()->setText(QStringLiteral("a "));
        f.edit()->setText(QStringLiteral("a"));
        QCOMPARE(f.relayRows().size(), 3);
        const QList<QLabel *> pings =
            f.serversPage()->findChildren<QLabel *>(QStringLiteral("SrvServerPing"));
        QCOMPARE(pings.size(), 3);
        for (QLabel *label : pings)
            QVERIFY(label->styleSheet().isEmpty());
        f.relayRow(2)->click();
        QCOMPARE(f.store.key, QStringLiteral("a"));
        f.relayRow(1)->click();
        QCOMPARE(f.store.key, QStringLiteral("g"));
    }

    void emptyRegionSaysSo()
    {
        Fixture f(sampleRelays());
        f.picker->showRegionServers(QStringLiteral("Oceania"));
        QVERIFY(f.showingRelays());
        QCOMPARE(f.serversPage()->height(), 82);
        auto *empty = f.named<QLabel>("SrvServerListEmpty");
        QVERIFY(empty);
        QCOMPARE(empty->text(), QStringLiteral("No servers found."));
        QCOMPARE(empty->geometry(), QRect(20, 62, 925, 20));
        QVERIFY(f.relayRows().isEmpty());
        // A new list drops the old rows and the empty line at once.
        f.picker->showRegionServers(QStringLiteral("Europe"));
        QVERIFY(!f.named<QLabel>("SrvServerListEmpty"));
        QCOMPARE(f.relayRows().size(), 2);
        // A blank region opens nothing new.
        f.picker->showRegionServers(QStringLiteral("   "));
        QCOMPARE(f.regionsAsked, (QStringList{"Oceania", "Europe"}));
    }

    void unreadablePingFileMeansUnknownPings_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("not json") << QByteArray("{servers: nope");
        QTest::newRow("array") << QByteArray("[1, 2]");
        QTest::newRow("servers not an object") << QByteArray(R"({"servers": [1]})");
        QTest::newRow("binary") << QByteArray("\x00\xff\x01", 3);
    }
    void unreadablePingFileMeansUnknownPings()
    {
        QFETCH(QByteArray, content);
        QFile file(RelayChoice::serverPingsPath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();
        Fixture f(
            {relay("1", "b-relay", "Asia"), relay("2", "a-relay", "Asia"), relay("3", "C-relay", "Asia")},
            true);
        f.row("Asia")->click();
        QCOMPARE(f.relayRows(),
                 (QList<QPair<QString, QString>>{{"C-relay", "-1"}, {"a-relay", "-1"}, {"b-relay", "-1"}}));
    }

    void pingFileIsRead()
    {
        QFile file(RelayChoice::serverPingsPath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(R"({"servers": {"1": {"ping": 40}, "2": {"ping": 12}, "3": {"ping": "x"}}})");
        file.close();
        Fixture f({relay("1", "one", "Asia"), relay("2", "two", "Asia"), relay("3", "three", "Asia")}, true);
        f.row("Asia")->click();
        QCOMPARE(f.relayRows(),
                 (QList<QPair<QString, QString>>{{"two", "12 ms"}, {"one", "40 ms"}, {"three", "-1"}}));
    }

    void pickStoresTheRelay_data()
    {
        QTest::addColumn<QVariant>("port");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("region");
        QTest::addColumn<int>("storedPort");
        QTest::addColumn<QString>("card");
        QTest::newRow("port 0") << QVariant(0) << "Frankfurt 1"
                                << "Europe" << 50000 << "Frankfurt 1";
        QTest::newRow("own port") << QVariant(7000) << "Frankfurt 1"
                                  << "Europe" << 7000 << "Frankfurt 1";
        QTest::newRow("no port") << QVariant() << "Frankfurt 1"
                                 << "Europe" << 50000 << "Frankfurt 1";
        QTest::newRow("negative port") << QVariant(-3) << "Frankfurt 1"
                                       << "Europe" << 50000 << "Frankfurt 1";
        QTest::newRow("port not a number") << QVariant("abc") << "Frankfurt 1"
                                           << "Europe" << 50000 << "Frankfurt 1";
        QTest::newRow("no name") << QVariant(50001) << ""
                                 << "Europe" << 50001 << "Europe";
        QTest::newRow("blank name") << QVariant(50001) << "  "
                                    << "Europe" << 50001 << "Europe";
        // Found by search: no name and no region leave the page's title.
        QTest::newRow("no name, no region") << QVariant(50001) << ""
                                            << "" << 50001 << "Search results";
    }
    void pickStoresTheRelay()
    {
        QFETCH(QVariant, port);
        QFETCH(QString, name);
        QFETCH(QString, region);
        QFETCH(int, storedPort);
        QFETCH(QString, card);
        QVariantMap picked = relay("rel-7", name, region, "Zurich", "Switzerland", port);
        picked.insert("country_code", "CH");
        picked.insert("flag", "/uploads/flags/ch.png");
        Fixture f({picked});
        QSignalSpy spy(f.picker.get(), &ServerPicker::relayPicked);
        f.edit()->setText(QStringLiteral("zurich"));
        QCOMPARE(f.relayRows().size(), 1);
        f.relayRow(0)->click();
        QCOMPARE(f.store.key, QStringLiteral("rel-7"));
        QCOMPARE(f.store.ip, picked.value("ip_address").toString());
        QCOMPARE(f.store.name, name);
        QCOMPARE(f.store.countryCode, QStringLiteral("CH"));
        QCOMPARE(f.store.port, storedPort);
        QVERIFY(!f.store.automatic);
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy.at(0).at(0).toString(), card);
        QCOMPARE(spy.at(0).at(1).toString(), QStringLiteral("CH"));
        QCOMPARE(spy.at(0).at(2).toString(), QStringLiteral("/uploads/flags/ch.png"));
        // The picker itself stays as it was.
        QVERIFY(f.picker->isManual());
        QVERIFY(f.showingRelays());
    }

    void backRowReturnsToTheRegions()
    {
        Fixture f(sampleRelays());
        f.edit()->setText(QStringLiteral("paris"));
        auto *back = f.named<QPushButton>("SrvServersBackRow");
        QVERIFY(back);
        QCOMPARE(back->geometry(), QRect(0, 0, 965, 44));
        QCOMPARE(back->findChild<QLabel *>(QStringLiteral("SrvServersBackText"))->text(),
                 QStringLiteral("Back"));
        back->click();
        QVERIFY(f.edit()->text().isEmpty());
        QVERIFY(!f.showingRelays());
        QCOMPARE(f.shownRegions(), (QStringList{"Asia", "Europe", "Middle East"}));

        // From a region's relays, too; and with the search field gone the
        // back row still returns.
        f.row("Europe")->click();
        QVERIFY(f.showingRelays());
        delete f.edit();
        f.named<QPushButton>("SrvServersBackRow")->click();
        QVERIFY(!f.showingRelays());
        QCOMPARE(f.shownRegions(), (QStringList{"Asia", "Europe", "Middle East"}));
    }

    void switchingViewsClearsTheSearch()
    {
        Fixture f(sampleRelays());
        f.row("Europe")->click();
        QVERIFY(f.showingRelays());
        f.named<QPushButton>("SrvAutoClick")->click();
        QVERIFY(!f.showingRelays());
        f.edit()->setText(QStringLiteral("eur"));
        f.named<QPushButton>("SrvManualClick")->click();
        QVERIFY(f.edit()->text().isEmpty());
        QCOMPARE(f.edit()->placeholderText(), QStringLiteral("Search for a server"));
        QVERIFY(!f.showingRelays());
        QCOMPARE(f.shownRegions(), (QStringList{"Asia", "Europe", "Middle East"}));
    }

    // Blank names and regions, and many relays: rows by name, nothing lost.
    void manyAndBlankRelays()
    {
        QList<QVariantMap> relays;
        for (int i = 0; i < 500; ++i)
            relays << relay(QStringLiteral("id%1").arg(i, 3, 10, QLatin1Char('0')),
                            i % 50 == 0 ? QString()
                                        : QStringLiteral("relay %1").arg(i, 3, 10, QLatin1Char('0')),
                            i % 7 == 0 ? QStringLiteral("  ") : QStringLiteral("Europe"));
        Fixture f(relays);
        QCOMPARE(f.shownRegions(), QStringList{"Europe"});
        f.edit()->setText(QStringLiteral("relay"));
        // The rows the list shows come at once, the rest in later turns.
        QCOMPARE(f.relayRows().size(), ServerPicker::kRowsPerSlice);
        QCOMPARE(f.named("SrvRegionContent")->minimumHeight(), 44 + 490 * 54);
        QTRY_COMPARE(f.relayRows().size(), 490);
        QCOMPARE(f.relayRows().first().first, QStringLiteral("relay 001"));
        QCOMPARE(f.relayRows().last().second, QStringLiteral("-1"));
        QCOMPARE(f.named("SrvRegionContent")->minimumHeight(), 44 + 490 * 54);
        f.edit()->setText(QString(1000, QLatin1Char('r')));
        QCOMPARE(f.relayRows().size(), 0);
        QVERIFY(f.named<QLabel>("SrvServerListEmpty"));
        f.edit()->clear();
        f.row("Europe")->click();
        QTRY_COMPARE(f.relayRows().size(), 500 - 72);
        QTRY_COMPARE(f.relayRows().last().first, QStringLiteral("relay 499"));
        // Nameless relays sort first among the unknown pings.
        QCOMPARE(f.relayRows().first().first, QString());
    }
};

QTEST_MAIN(TestServerPicker)
#include "tst_serverpicker.moc"
