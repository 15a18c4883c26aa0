// Catalogue, relay and user records of the cache database.

#include "StorageFixture.h"
#include "storage/DatabaseManager.h"

#include <QRegularExpression>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

using namespace StorageFixture;

namespace {

QVariantMap game(const QString &id, const QString &name, const QString &status = "active",
                 const QString &updatedAt = "2026-01-01T00:00:00")
{
    return QVariantMap{{"id", id}, {"name", name}, {"status", status}, {"updated_at", updatedAt}};
}

QVariantMap server(const QString &id, const QString &name, const QString &region,
                   const QString &status = "active")
{
    return QVariantMap{
        {"id", id},        {"name", name},     {"hostname", id + ".relay.test"}, {"ip_address", "127.0.0.1"},
        {"port", 50000},   {"region", region}, {"country", "Germany"},           {"country_code", "DE"},
        {"status", status}};
}

QStringList names(const QList<QVariantMap> &rows, const char *key = "name")
{
    QStringList out;
    for (const QVariantMap &r : rows)
        out << r.value(key).toString();
    return out;
}

} // namespace

class tst_DatabaseRecords : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir *m_dir = nullptr;
    DatabaseManager *db() { return DatabaseManager::instance(); }
    QSqlDatabase raw() { return openRaw(m_dir->path()); }

private slots:
    void init();
    void cleanup();

    void listColumnsRoundTrip();
    void listColumnShapes_data();
    void listColumnShapes();
    void freeDaysLeftFallbacks_data();
    void freeDaysLeftFallbacks();
    void freeFlagFallback_data();
    void freeFlagFallback();
    void gameBatchIsAllOrNothing_data();
    void gameBatchIsAllOrNothing();
    void statementFailureRollsBackGames();
    void activeGamesAreExactAndNewestFirst();
    void findGameIdByNameIgnoresCaseAndPadding();
    void savingAGameAgainReplacesIt();

    void serverRowsRoundTrip();
    void relaysWithoutIdOrNameAreKept_data();
    void relaysWithoutIdOrNameAreKept();
    void statementFailureKeepsOldServers_data();
    void statementFailureKeepsOldServers();
    void emptyServerListEmptiesTable();
    void activeTestsDifferOnPurpose();
    void activeServersOrderAndRegionFilter();
    void largeServerBatch();

    void favourites();
    void clickUpsertKeepsFirstNonEmptyValues();
    void flagCodesIgnoreCase();
    void routeCacheRows();
    void userConnectionIsUpsertedByTitle();
    void blankKeysAreRefused();
    void closedDatabaseWritesNothing();
};

void tst_DatabaseRecords::init()
{
    m_dir = new QTemporaryDir;
    QVERIFY(openFresh(*m_dir));
}

void tst_DatabaseRecords::cleanup()
{
    DatabaseManager::instance()->close();
    closeRaw();
    delete m_dir;
    m_dir = nullptr;
}

void tst_DatabaseRecords::listColumnsRoundTrip()
{
    QVariantMap g = game("g1", "Apex");
    g["tags"] = QVariantList{"fps", "battle royale", "free"};
    g["udp_ports"] = QVariantList{37000, "37005-37010"};
    g["tcp_ports"] = QStringList{"80", "443"};
    g["domains"] = QVariantList{"apex.example", "*.ea.example"};
    g["profiles"] =
        QVariantList{QVariantMap{{"id", "steam"}, {"title", "Steam"}, {"udp_ports", QVariantList{27015}}}};
    QVERIFY(db()->saveGames({g}));

    QSqlDatabase r = raw();
    QCOMPARE(scalar(r, "SELECT CAST(tags AS TEXT) FROM games").toString(),
             QString(R"(["fps","battle royale","free"])"));

    const QList<QVariantMap> games = db()->getActiveGames();
    QCOMPARE(games.size(), 1);
    const QVariantMap back = games.first();
    QCOMPARE(back.value("tags").toList(), QVariantList({"fps", "battle royale", "free"}));
    QCOMPARE(back.value("udp_ports").toList().size(), 2);
    QCOMPARE(back.value("udp_ports").toList().at(0).toInt(), 37000);
    QCOMPARE(back.value("udp_ports").toList().at(1).toString(), QString("37005-37010"));
    QCOMPARE(back.value("tcp_ports").toList(), QVariantList({"80", "443"}));
    QCOMPARE(back.value("domains").toList(), QVariantList({"apex.example", "*.ea.example"}));
    const QVariantMap profile = back.value("profiles").toList().value(0).toMap();
    QCOMPARE(profile.value("title").toString(), QString("Steam"));
    QCOMPARE(profile.value("udp_ports").toList().value(0).toInt(), 27015);
    // Every column comes back under its own name.
    QCOMPARE(back.size(), 20);
    QVERIFY(back.contains("logo_cached_path"));
    QVERIFY(!back.value("last_synced").toString().isEmpty());
    QCOMPARE(db()->getGameById("g1").value("tags"), back.value("tags"));
}

void tst_DatabaseRecords::listColumnShapes_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QVariant>("expected");
    QTest::addColumn<bool>("logged");
    QTest::newRow("missing") << QVariant() << QVariant() << false;
    QTest::newRow("empty list") << QVariant(QVariantList{}) << QVariant(QVariantList{}) << false;
    QTest::newRow("map") << QVariant(QVariantMap{{"a", 1}}) << QVariant(QVariantMap{{"a", 1}}) << false;
    // The catalogue may send a single port range or domain as one text.
    QTest::newRow("one text") << QVariant("27015-27030") << QVariant(QVariantList{"27015-27030"}) << false;
    QTest::newRow("blank text") << QVariant("   ") << QVariant() << false;
    QTest::newRow("number") << QVariant(27015) << QVariant() << true;
    QTest::newRow("bool") << QVariant(true) << QVariant() << true;
}

void tst_DatabaseRecords::listColumnShapes()
{
    QFETCH(QVariant, value);
    QFETCH(QVariant, expected);
    QFETCH(bool, logged);
    QVariantMap g = game("g1", "Shape");
    if (value.isValid())
        g["udp_ports"] = value;
    if (logged)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("udp_ports of Shape is not a list"));
    QVERIFY(db()->saveGames({g}));
    const QVariant back = db()->getGameById("g1").value("udp_ports");
    if (!expected.isValid()) {
        QVERIFY(!back.isValid());
        QSqlDatabase r = raw();
        QVERIFY(scalar(r, "SELECT udp_ports IS NULL FROM games").toBool());
    } else {
        QCOMPARE(back.toList(), expected.toList());
        QCOMPARE(back.toMap(), expected.toMap());
    }
}

void tst_DatabaseRecords::freeDaysLeftFallbacks_data()
{
    QTest::addColumn<QVariantMap>("extra");
    QTest::addColumn<int>("stored");
    QTest::newRow("number") << QVariantMap{{"free_days_left", 5}} << 5;
    QTest::newRow("text 7") << QVariantMap{{"free_days_left", "7"}} << 7;
    QTest::newRow("word") << QVariantMap{{"free_days_left", "abc"}} << -1;
    QTest::newRow("empty text") << QVariantMap{{"free_days_left", ""}} << -1;
    QTest::newRow("freeDaysLeft 3") << QVariantMap{{"freeDaysLeft", 3}} << 3;
    QTest::newRow("freeDaysLeft text") << QVariantMap{{"freeDaysLeft", "12"}} << 12;
    QTest::newRow("first key wins") << QVariantMap{{"free_days_left", 2}, {"freeDaysLeft", 9}} << 2;
    // JSON null is a value, not a missing key: the game has no free days,
    // as the catalogue's in-memory item says too.
    QTest::newRow("null first key") << QVariantMap{{"free_days_left", QVariant::fromValue(nullptr)},
                                                   {"freeDaysLeft", 3}}
                                    << -1;
    QTest::newRow("none") << QVariantMap{} << -1;
}

void tst_DatabaseRecords::freeDaysLeftFallbacks()
{
    QFETCH(QVariantMap, extra);
    QFETCH(int, stored);
    QVariantMap g = game("g1", "Free");
    g.insert(extra);
    QVERIFY(db()->saveGames({g}));
    QCOMPARE(db()->getGameById("g1").value("free_days_left").toInt(), stored);
}

void tst_DatabaseRecords::freeFlagFallback_data()
{
    QTest::addColumn<QVariantMap>("extra");
    QTest::addColumn<int>("stored");
    QTest::newRow("effective true") << QVariantMap{{"is_free_effective", true}} << 1;
    QTest::newRow("effective false, is_free true")
        << QVariantMap{{"is_free_effective", false}, {"is_free", true}} << 1;
    QTest::newRow("text true") << QVariantMap{{"is_free", "true"}} << 1;
    QTest::newRow("text false") << QVariantMap{{"is_free_effective", "false"}} << 0;
    QTest::newRow("none") << QVariantMap{} << 0;
}

void tst_DatabaseRecords::freeFlagFallback()
{
    QFETCH(QVariantMap, extra);
    QFETCH(int, stored);
    QVariantMap g = game("g1", "Free");
    g.insert(extra);
    QVERIFY(db()->saveGames({g}));
    QCOMPARE(db()->getGameById("g1").value("is_free_effective").toInt(), stored);
}

void tst_DatabaseRecords::gameBatchIsAllOrNothing_data()
{
    QTest::addColumn<QVariantMap>("odd");
    QTest::addColumn<bool>("saved");
    QTest::addColumn<QString>("log"); // expected warning, empty for none
    QTest::newRow("no name") << QVariantMap{{"id", "bad"}, {"status", "active"}} << false
                             << "\\[DB\\] Error saving game:.*without a name";
    QTest::newRow("null name") << QVariantMap{{"id", "bad"}, {"name", QVariant::fromValue(nullptr)}} << false
                               << "\\[DB\\] Error saving game:.*without a name";
    QTest::newRow("name is a list") << QVariantMap{{"id", "bad"}, {"name", QVariantList{"x"}}} << false
                                    << "\\[DB\\] Error saving game:.*without a name";
    QTest::newRow("no id") << QVariantMap{{"name", "No Id"}} << false
                           << "\\[DB\\] Error saving game:.*without an id";
    // A name that is there but blank is the catalogue's own value: kept, noted.
    QTest::newRow("blank name") << QVariantMap{{"id", "blank"}, {"name", "  "}} << true
                                << "saveGames: a game with a blank name";
    QTest::newRow("numeric id is fine") << QVariantMap{{"id", 42}, {"name", "Numbered"}} << true << QString();
}

void tst_DatabaseRecords::gameBatchIsAllOrNothing()
{
    QFETCH(QVariantMap, odd);
    QFETCH(bool, saved);
    QFETCH(QString, log);
    QVERIFY(db()->saveGames({game("old", "Old")}));

    QList<QVariantMap> batch;
    for (int i = 0; i < 50; ++i)
        batch << game(QString("g%1").arg(i), QString("Game %1").arg(i));
    batch.insert(25, odd);
    if (!log.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(log));
    QCOMPARE(db()->saveGames(batch), saved);

    QSqlDatabase r = raw();
    QCOMPARE(scalar(r, "SELECT COUNT(*) FROM games").toInt(), saved ? 52 : 1);
    QCOMPARE(db()->findGameIdByName("Old"), QString("old"));
    if (saved)
        QCOMPARE(db()->getGameById(odd.value("id").toString()).value("name"), odd.value("name").toString());
    // Saving the same batch again never adds copies.
    if (saved) {
        if (!log.isEmpty())
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(log));
        QVERIFY(db()->saveGames(batch));
        QCOMPARE(scalar(r, "SELECT COUNT(*) FROM games").toInt(), 52);
    }
}

void tst_DatabaseRecords::statementFailureRollsBackGames()
{
    // A row that SQLite itself refuses half-way through the batch.
    QVERIFY(db()->saveGames({game("old", "Old")}));
    QSqlDatabase r = raw();
    QSqlQuery q(r);
    QVERIFY(q.exec("CREATE TRIGGER refuse BEFORE INSERT ON games WHEN NEW.id = 'g3' "
                   "BEGIN SELECT RAISE(ABORT, 'refused by test'); END"));
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression("\\[DB\\] Error saving game: Game 3 refused by test"));
    QVERIFY(!db()->saveGames(
        {game("g1", "Game 1"), game("g2", "Game 2"), game("g3", "Game 3"), game("g4", "Game 4")}));
    QCOMPARE(column(r, "SELECT id FROM games"), QStringList({"old"}));
    // The connection is usable afterwards: no transaction was left open.
    QVERIFY(q.exec("DROP TRIGGER refuse"));
    QVERIFY(db()->saveGames({game("g1", "Game 1")}));
    QCOMPARE(scalar(r, "SELECT COUNT(*) FROM games").toInt(), 2);
}

void tst_DatabaseRecords::activeGamesAreExactAndNewestFirst()
{
    QVERIFY(db()->saveGames({game("a", "A", "active", "2026-01-01T10:00:00"),
                             game("b", "B", "Active", "2026-01-03T10:00:00"),
                             game("c", "C", "active", "2026-01-02T10:00:00"),
                             game("d", "D", "disabled", "2026-01-04T10:00:00")}));
    QCOMPARE(names(db()->getActiveGames()), QStringList({"C", "A"}));
    QVERIFY(db()->getGameById("missing").isEmpty());
    QCOMPARE(db()->getGameById("d").value("status").toString(), QString("disabled"));
}

void tst_DatabaseRecords::findGameIdByNameIgnoresCaseAndPadding()
{
    QVERIFY(db()->saveGames({game("id-1", "my game"), game("id-2", "Other")}));
    QCOMPARE(db()->findGameIdByName("  My Game "), QString("id-1"));
    QCOMPARE(db()->findGameIdByName("MY GAME"), QString("id-1"));
    QCOMPARE(db()->findGameIdByName("My"), QString());
    QCOMPARE(db()->findGameIdByName("   "), QString());
}

void tst_DatabaseRecords::savingAGameAgainReplacesIt()
{
    QVariantMap g = game("g1", "First");
    g["tags"] = QVariantList{"a"};
    QVERIFY(db()->saveGames({g}));
    g["name"] = "Renamed";
    g.remove("tags");
    QVERIFY(db()->saveGames({g}));
    QSqlDatabase r = raw();
    QCOMPARE(scalar(r, "SELECT COUNT(*) FROM games").toInt(), 1);
    const QVariantMap back = db()->getGameById("g1");
    QCOMPARE(back.value("name").toString(), QString("Renamed"));
    QVERIFY(!back.value("tags").isValid());
}

void tst_DatabaseRecords::serverRowsRoundTrip()
{
    QVariantMap s = server("s1", "Frankfurt 1", "Europe");
    s["capacity_mbps"] = 1000;
    s["active_connections"] = "12"; // a number sent as text still lands as an integer
    QVariantMap sparse{{"id", "s2"}, {"name", "Sparse"}, {"status", "active"}};
    QVERIFY(db()->replaceServersCache({s, sparse}));

    const QList<QVariantMap> rows = db()->getActiveServers();
    QCOMPARE(rows.size(), 2);
    const QVariantMap back = rows.at(1).value("id") == "s1" ? rows.at(1) : rows.at(0);
    QCOMPARE(back.size(), 17);
    QVERIFY(!back.contains("last_synced"));
    QCOMPARE(back.value("port").typeId(), QMetaType::Int);
    QCOMPARE(back.value("port").toInt(), 50000);
    QCOMPARE(back.value("capacity_mbps").toInt(), 1000);
    QCOMPARE(back.value("active_connections").toInt(), 12);
    QCOMPARE(back.value("country_code").toString(), QString("DE"));

    // Missing keys are stored as empty text or 0, not NULL.
    QSqlDatabase r = raw();
    QCOMPARE(scalar(r, "SELECT hostname IS NULL FROM servers WHERE id='s2'").toInt(), 0);
    QCOMPARE(scalar(r, "SELECT hostname FROM servers WHERE id='s2'").toString(), QString(""));
    QCOMPARE(scalar(r, "SELECT port FROM servers WHERE id='s2'").toInt(), 0);
    QVERIFY(!scalar(r, "SELECT last_synced FROM servers WHERE id='s2'").toString().isEmpty());
}

void tst_DatabaseRecords::relaysWithoutIdOrNameAreKept_data()
{
    QTest::addColumn<QVariantMap>("odd");
    QTest::addColumn<QString>("log");
    QTest::newRow("no name") << QVariantMap{{"id", "x"}, {"status", "active"}}
                             << "relay without a name id= x";
    QTest::newRow("blank id") << QVariantMap{{"id", " "}, {"name", "Blank"}, {"status", "active"}}
                              << "relay without an id";
    QTest::newRow("no id") << QVariantMap{{"name", "No Id"}, {"status", "active"}} << "relay without an id";
}

void tst_DatabaseRecords::relaysWithoutIdOrNameAreKept()
{
    // The relay list stores what the service sent, missing keys as empty
    // text; an odd relay must not cost the user the whole list.
    QFETCH(QVariantMap, odd);
    QFETCH(QString, log);
    QVERIFY(db()->replaceServersCache({server("old1", "Old 1", "Europe"), server("old2", "Old 2", "Asia")}));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(log));
    QVERIFY(
        db()->replaceServersCache({server("new1", "New 1", "Europe"), odd, server("new2", "New 2", "Asia")}));
    QCOMPARE(db()->countActiveServers(), 3);
    QSqlDatabase r = raw();
    QStringList ids{odd.value("id").toString(), "new1", "new2"};
    ids.sort();
    QCOMPARE(column(r, "SELECT id FROM servers ORDER BY id"), ids);
    QCOMPARE(scalar(r, "SELECT COUNT(*) FROM servers WHERE id IS NULL OR name IS NULL").toInt(), 0);
}

void tst_DatabaseRecords::statementFailureKeepsOldServers_data()
{
    QTest::addColumn<QString>("trigger");
    QTest::addColumn<QString>("log");
    QTest::newRow("clearing fails") << "BEFORE DELETE ON servers"
                                    << "replaceServersCache: failed to clear servers:.*refused";
    QTest::newRow("an insert fails") << "BEFORE INSERT ON servers WHEN NEW.id = 'new2'"
                                     << "replaceServersCache: insert failed id= new2 err=.*refused";
}

void tst_DatabaseRecords::statementFailureKeepsOldServers()
{
    QFETCH(QString, trigger);
    QFETCH(QString, log);
    QVERIFY(db()->replaceServersCache({server("old1", "Old 1", "Europe")}));
    QSqlDatabase r = raw();
    QSqlQuery q(r);
    QVERIFY(q.exec("CREATE TRIGGER refuse " + trigger + " BEGIN SELECT RAISE(ABORT, 'refused'); END"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(log));
    QVERIFY(!db()->replaceServersCache({server("new1", "New 1", "Asia"), server("new2", "New 2", "Asia")}));
    QCOMPARE(names(db()->getActiveServers(), "id"), QStringList({"old1"}));
    QVERIFY(q.exec("DROP TRIGGER refuse"));
    QVERIFY(db()->replaceServersCache({server("new1", "New 1", "Asia")}));
    QCOMPARE(names(db()->getActiveServers(), "id"), QStringList({"new1"}));
}

void tst_DatabaseRecords::emptyServerListEmptiesTable()
{
    QVERIFY(db()->replaceServersCache({server("a", "A", "Europe")}));
    QTest::ignoreMessage(QtInfoMsg, QRegularExpression("servers total now = 0"));
    QVERIFY(db()->replaceServersCache({}));
    QCOMPARE(db()->countActiveServers(), 0);
    QVERIFY(db()->getActiveServers().isEmpty());
}

void tst_DatabaseRecords::activeTestsDifferOnPurpose()
{
    QVERIFY(db()->replaceServersCache({server("a", "A", "Europe"), server("b", "B", "Asia", "Active "),
                                       server("c", "C", "America", "offline"),
                                       server("d", "D", "  ", "active")}));
    QCOMPARE(db()->countActiveServers(), 3);
    QVERIFY(names(db()->getActiveServers()).contains("B"));
    // The region list takes only rows whose status is exactly "active".
    QCOMPARE(db()->getServerRegions(), QStringList({"Europe"}));
}

void tst_DatabaseRecords::activeServersOrderAndRegionFilter()
{
    QVERIFY(db()->replaceServersCache({server("1", "Zeta", "Europe"), server("2", "Alpha", " europe"),
                                       server("3", "Mid", "asia"), server("4", "Beta", "Europe"),
                                       server("5", "Gone", "Europe", "maintenance"),
                                       server("6", "Two  Words", "North  America")}));
    QCOMPARE(names(db()->getActiveServers()), QStringList({"Mid", "Alpha", "Beta", "Zeta", "Two  Words"}));
    QCOMPARE(names(db()->getActiveServersInRegion("  europe ")), QStringList({"Alpha", "Beta", "Zeta"}));
    QCOMPARE(names(db()->getActiveServersInRegion("north america")), QStringList({"Two  Words"}));
    QVERIFY(db()->getActiveServersInRegion("   ").isEmpty());
    // Regions are trimmed and distinct as written; letter case only orders them.
    const QStringList regions = db()->getServerRegions();
    QCOMPARE(regions.size(), 4);
    QCOMPARE(regions.first(), QString("asia"));
    QCOMPARE(QSet<QString>(regions.begin() + 1, regions.begin() + 3), QSet<QString>({"europe", "Europe"}));
    QCOMPARE(regions.last(), QString("North  America"));
}

void tst_DatabaseRecords::largeServerBatch()
{
    QList<QVariantMap> batch;
    for (int i = 0; i < 20000; ++i)
        batch << server(QString("s%1").arg(i), QString("Relay %1").arg(i), i % 2 ? "Europe" : "Asia");
    QVERIFY(db()->replaceServersCache(batch));
    QCOMPARE(db()->countActiveServers(), 20000);
    // The very last row refused: the whole batch goes back, old rows stay.
    QSqlDatabase r = raw();
    QSqlQuery q(r);
    QVERIFY(q.exec("CREATE TRIGGER refuse BEFORE INSERT ON servers WHEN NEW.id = 's19999' "
                   "BEGIN SELECT RAISE(ABORT, 'refused'); END"));
    for (QVariantMap &s : batch)
        s["region"] = "America";
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("insert failed id= s19999"));
    QVERIFY(!db()->replaceServersCache(batch));
    QCOMPARE(db()->countActiveServers(), 20000);
    QCOMPARE(db()->getServerRegions(), QStringList({"Asia", "Europe"}));
}

void tst_DatabaseRecords::favourites()
{
    QVERIFY(db()->addFavorite("Apex", "PC", "apex.png"));
    QVERIFY(db()->addFavorite("Apex", "PlayStation", "apex.png"));
    QVERIFY(db()->addFavorite("Apex", "PC", "apex2.png")); // same pair replaces
    QSqlDatabase r = raw();
    QSqlQuery q(r);
    QVERIFY(
        q.exec("UPDATE favorite_games SET added_at = '2020-01-01T00:00:00' WHERE platform = 'PlayStation'"));
    const QList<QVariantMap> favs = db()->getFavoriteGames();
    QCOMPARE(favs.size(), 2);
    QCOMPARE(favs.first().value("platform").toString(), QString("PC"));
    QCOMPARE(favs.first().value("game_logo").toString(), QString("apex2.png"));
    QCOMPARE(favs.first().keys(), QStringList({"added_at", "game_logo", "game_title", "platform"}));
    QVERIFY(db()->removeFavorite("Apex", "PC"));
    QCOMPARE(names(db()->getFavoriteGames(), "platform"), QStringList({"PlayStation"}));
}

void tst_DatabaseRecords::clickUpsertKeepsFirstNonEmptyValues()
{
    QVERIFY(db()->recordGameClick(" apex|pc ", "g1", "Apex", "PC"));
    QVERIFY(db()->recordGameClick("apex|pc", "", "", ""));
    QVERIFY(db()->recordGameClick("apex|pc", QString(), "Apex Legends", QString()));
    QVERIFY(db()->recordGameClick("other", "g2", "Other", "PC"));
    const QHash<QString, int> clicks = db()->getGameClicks();
    QCOMPARE(clicks.value("apex|pc"), 3);
    QCOMPARE(clicks.value("other"), 1);
    QCOMPARE(clicks.size(), 2);
    QSqlDatabase r = raw();
    QCOMPARE(scalar(r, "SELECT game_id FROM game_clicks WHERE click_key='apex|pc'").toString(),
             QString("g1"));
    QCOMPARE(scalar(r, "SELECT platform FROM game_clicks WHERE click_key='apex|pc'").toString(),
             QString("PC"));
    QCOMPARE(scalar(r, "SELECT game_title FROM game_clicks WHERE click_key='apex|pc'").toString(),
             QString("Apex Legends"));
}

void tst_DatabaseRecords::flagCodesIgnoreCase()
{
    QVERIFY(db()->saveFlagImage("DE", QByteArray("png-1")));
    QCOMPARE(db()->getFlagImage("de"), QByteArray("png-1"));
    QVERIFY(db()->saveFlagImage("de", QByteArray("png-2")));
    QCOMPARE(db()->getFlagImage("DE"), QByteArray("png-2"));
    QSqlDatabase r = raw();
    QCOMPARE(column(r, "SELECT country_code FROM flag_cache"), QStringList({"de"}));
    QVERIFY(!db()->saveFlagImage("FR", QByteArray()));
    QVERIFY(!db()->saveFlagImage("", QByteArray("x")));
    QVERIFY(db()->getFlagImage("FR").isEmpty());
    QVERIFY(db()->getFlagImage("").isEmpty());
}

void tst_DatabaseRecords::routeCacheRows()
{
    QVERIFY(
        db()->saveRouteCache("g1|Europe|fp", "g1", "Europe", "fp", R"({"s1":40})", "2026-01-01T10:00:00Z"));
    QVERIFY(db()->saveRouteCache("g1|Europe|fp-old", "g1", "Europe", "fp", R"({"s1":99})",
                                 "2025-01-01T10:00:00Z"));
    const QVariantMap row = db()->getRouteCache("g1", "Europe", "fp");
    QCOMPARE(row.value("cache_key").toString(), QString("g1|Europe|fp"));
    QCOMPARE(row.value("ping_json").toString(), QString(R"({"s1":40})"));
    QCOMPARE(row.size(), 6);
    QVERIFY(db()->getRouteCache("g1", "Asia", "fp").isEmpty());

    QSqlDatabase r = raw();
    const QString created = scalar(r, "SELECT created_at FROM route_cache LIMIT 1").toString();
    QVERIFY2(QRegularExpression("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ$").match(created).hasMatch(),
             qPrintable(created));

    QVERIFY(db()->deleteRouteCache("g1|Europe|fp"));
    QCOMPARE(db()->getRouteCache("g1", "Europe", "fp").value("cache_key").toString(),
             QString("g1|Europe|fp-old"));
}

void tst_DatabaseRecords::userConnectionIsUpsertedByTitle()
{
    QVERIFY(db()->saveUserConnection("Apex", "a.png", "r5apex.exe", "", "", "", 0, ""));
    QSqlDatabase r = raw();
    QSqlQuery q(r);
    QVERIFY(q.exec("UPDATE user_connections SET created_at = '2020-01-01T00:00:00', updated_at = "
                   "'2020-01-01T00:00:00'"));
    QVERIFY(
        db()->saveUserConnection("Apex", "b.png", "r5apex.exe", "s1", "Frankfurt", "127.0.0.2", 50000, "DE"));
    QCOMPARE(scalar(r, "SELECT COUNT(*) FROM user_connections").toInt(), 1);
    QCOMPARE(scalar(r, "SELECT created_at FROM user_connections").toString(), QString("2020-01-01T00:00:00"));
    QVERIFY(scalar(r, "SELECT updated_at FROM user_connections").toString() != "2020-01-01T00:00:00");
    QCOMPARE(scalar(r, "SELECT game_logo FROM user_connections").toString(), QString("b.png"));
    QCOMPARE(scalar(r, "SELECT server_port FROM user_connections").toInt(), 50000);
    QCOMPARE(scalar(r, "SELECT monitoring_enabled FROM user_connections").toInt(), 1);
}

void tst_DatabaseRecords::blankKeysAreRefused()
{
    QVERIFY(!db()->recordGameClick("   ", "g", "t", "p"));
    QVERIFY(!db()->saveUserConnection("", "l", "e", "", "", "", 0, ""));
    QVERIFY(!db()->saveUserConnection("  ", "l", "e", "", "", "", 0, ""));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("saveRouteCache: empty cache key"));
    QVERIFY(!db()->saveRouteCache(" ", "g", "Europe", "fp", "{}", "2026-01-01T00:00:00Z"));
    QVERIFY(!db()->deleteRouteCache(""));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("addFavorite: empty game title"));
    QVERIFY(!db()->addFavorite(" ", "PC", ""));
    QSqlDatabase r = raw();
    for (const char *table : {"game_clicks", "user_connections", "route_cache", "favorite_games"})
        QCOMPARE(scalar(r, QString("SELECT COUNT(*) FROM %1").arg(table)).toInt(), 0);
}

void tst_DatabaseRecords::closedDatabaseWritesNothing()
{
    db()->close();
    QVERIFY(!db()->saveGames({game("g", "G")}));
    QVERIFY(!db()->replaceServersCache({server("s", "S", "Europe")}));
    QVERIFY(!db()->recordGameClick("k", "g", "t", "p"));
    QVERIFY(!db()->saveUserConnection("Apex", "", "", "", "", "", 0, ""));
    QVERIFY(db()->getActiveGames().isEmpty());
    QVERIFY(db()->getGameClicks().isEmpty());
    QCOMPARE(db()->countActiveServers(), 0);
    QVERIFY(db()->saveGames({})); // nothing to do is not a failure
    QVERIFY(db()->initialize(m_dir->path()));
    QSqlDatabase r = raw();
    QCOMPARE(scalar(r, "SELECT COUNT(*) FROM games").toInt(), 0);
}

QTEST_GUILESS_MAIN(tst_DatabaseRecords)
#include "tst_databaserecords.moc"
