// The cache database's connection, schema and metadata store.

#include "StorageFixture.h"
#include "storage/DatabaseManager.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

using namespace StorageFixture;

class tst_DatabaseSchema : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void freshDatabaseHasEveryTableAndIndex();
    void reopeningKeepsDataAndSchema();
    void oldSchemaGainsAddedColumns();
    void emptyDataFolderFailsWithoutTouchingRoot();
    void unusableDatabaseFile_data();
    void unusableDatabaseFile();
    void readOnlyDataFolder();

    void metadataEmptyValueIsNotReplaced();
    void metadataDefaultsAreStoredOnFirstRead_data();
    void metadataDefaultsAreStoredOnFirstRead();
    void metadataBoolParsing_data();
    void metadataBoolParsing();
    void metadataWrittenInOneTransactionArriveTogether();
    void firstStartDefaultsJoinTheSchemasCommit();
    void metadataTimestampsAreLocalIso();
    void failedReadNeverOverwritesStoredValue();
    void closedDatabaseReturnsDefaultsAndStoresNothing();
    void blankKeysAreRefused();
};

void tst_DatabaseSchema::cleanup()
{
    DatabaseManager::instance()->close();
    closeRaw();
}

void tst_DatabaseSchema::freshDatabaseHasEveryTableAndIndex()
{
    QTemporaryDir dir;
    QVERIFY(openFresh(dir));
    QSqlDatabase raw = openRaw(dir.path());

    const QStringList tables =
        column(raw, "SELECT name FROM sqlite_master WHERE type='table' ORDER BY rowid");
    QCOMPARE(tables, QStringList({"games", "servers", "user_connections", "favorite_games", "game_clicks",
                                  "route_cache", "flag_cache", "game_cover_cache", "metadata"}));

    const QStringList indexes =
        column(raw, "SELECT name FROM sqlite_master WHERE type='index' AND name LIKE 'idx_%' ORDER BY rowid");
    QCOMPARE(indexes, QStringList({"idx_games_updated", "idx_games_status", "idx_servers_status",
                                   "idx_servers_region", "idx_fav_added", "idx_game_clicks_clicks",
                                   "idx_game_clicks_updated", "idx_route_cache_lookup"}));

    // The column additions must not have doubled anything up.
    const QStringList gameColumns = column(raw, "SELECT name FROM pragma_table_info('games')");
    QCOMPARE(gameColumns.size(), 20);
    QCOMPARE(gameColumns.count("profiles"), 1);
    QCOMPARE(
        column(raw, "SELECT name FROM pragma_table_info('user_connections')").count("monitoring_enabled"), 1);
    QCOMPARE(
        scalar(raw, "SELECT sql FROM sqlite_master WHERE name='idx_route_cache_lookup'").toString(),
        QString("CREATE INDEX idx_route_cache_lookup ON route_cache(game_id, region, network_fingerprint, "
                "updated_at)"));
}

void tst_DatabaseSchema::reopeningKeepsDataAndSchema()
{
    QTemporaryDir dir;
    QVERIFY(openFresh(dir));
    QVERIFY(DatabaseManager::instance()->setMetadata("settings/window_size", "(1920 x 1080)"));
    DatabaseManager::instance()->close();
    QVERIFY(DatabaseManager::instance()->initialize(dir.path()));
    QString value;
    QVERIFY(DatabaseManager::instance()->tryGetMetadata("settings/window_size", &value));
    QCOMPARE(value, QString("(1920 x 1080)"));
}

void tst_DatabaseSchema::oldSchemaGainsAddedColumns()
{
    QTemporaryDir dir;
    {
        // A database as an older version left it: no free-game columns, no
        // profiles, no monitoring flag.
        QSqlDatabase old = openRaw(dir.path(), "old");
        QSqlQuery q(old);
        QVERIFY(q.exec(
            "CREATE TABLE games (id TEXT PRIMARY KEY, name TEXT NOT NULL, description TEXT, category "
            "TEXT, tags TEXT, executable TEXT, cover_image TEXT, logo TEXT, logo_cached_path TEXT, "
            "tcp_ports TEXT, udp_ports TEXT, domains TEXT, status TEXT, created_at TEXT, updated_at TEXT, "
            "last_synced TEXT)"));
        QVERIFY(q.exec(
            "INSERT INTO games (id, name, status, tags) VALUES ('g1', 'Old Game', 'active', '[\"x\"]')"));
        QVERIFY(q.exec(
            "CREATE TABLE user_connections (game_title TEXT PRIMARY KEY, game_logo TEXT, game_executable "
            "TEXT, server_id TEXT, server_name TEXT, server_ip TEXT, server_port INTEGER, "
            "server_country_code TEXT, created_at TEXT, updated_at TEXT)"));
        QVERIFY(q.exec("INSERT INTO user_connections (game_title) VALUES ('Old Game')"));
        old.close();
    }
    closeRaw("old");

    QVERIFY(DatabaseManager::instance()->initialize(dir.path()));
    QSqlDatabase raw = openRaw(dir.path());
    const QStringList gameColumns = column(raw, "SELECT name FROM pragma_table_info('games')");
    for (const char *c : {"profiles", "is_free_effective", "free_days_left", "free_source"})
        QVERIFY2(gameColumns.contains(c), c);
    QCOMPARE(scalar(raw, "SELECT is_free_effective FROM games WHERE id='g1'").toInt(), 0);
    QCOMPARE(scalar(raw, "SELECT free_days_left FROM games WHERE id='g1'").toInt(), -1);
    QVERIFY(scalar(raw, "SELECT free_source FROM games WHERE id='g1'").isNull());
    QCOMPARE(scalar(raw, "SELECT monitoring_enabled FROM user_connections").toInt(), 1);

    // The old row is still readable through the manager, lists parsed.
    const QVariantMap game = DatabaseManager::instance()->getGameById("g1");
    QCOMPARE(game.value("name").toString(), QString("Old Game"));
    QCOMPARE(game.value("tags").toList(), QVariantList({"x"}));
    QCOMPARE(game.value("free_days_left").toInt(), -1);
}

void tst_DatabaseSchema::emptyDataFolderFailsWithoutTouchingRoot()
{
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("no local data folder location"));
    QVERIFY(!DatabaseManager::instance()->initialize(QString()));
    QVERIFY(!DatabaseManager::instance()->isOpen());
    QVERIFY(!QFile::exists("/quorlix_cache.db"));
    QCOMPARE(DatabaseManager::instance()->getMetadataOrInit("settings/ui_language", "en-US"),
             QString("en-US"));
}

void tst_DatabaseSchema::unusableDatabaseFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("path is a folder") << "folder";
    QTest::newRow("file is not a database") << "garbage";
    QTest::newRow("data folder under a file") << "blocked";
}

void tst_DatabaseSchema::unusableDatabaseFile()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    QString folder = dir.path();
    const QString path = dir.filePath("quorlix_cache.db");
    QByteArray garbage;
    if (kind == "blocked") {
        QFile blocker(dir.filePath("plain-file"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        folder = dir.filePath("plain-file/data");
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("could not create the data folder"));
    } else if (kind == "folder") {
        QVERIFY(QDir().mkpath(path));
        QFile marker(path + "/keep.txt");
        QVERIFY(marker.open(QIODevice::WriteOnly));
        marker.write("mine");
    } else {
        garbage = QByteArray("this is not a database, and it is the user's file\n").repeated(200);
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(garbage);
    }

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("\\[DB\\] (the database path is a folder|cannot)"));
    bool ranInSchemaTransaction = false;
    QVERIFY(!DatabaseManager::instance()->initialize(folder, [&] { ranInSchemaTransaction = true; }));
    QVERIFY(!ranInSchemaTransaction);
    QVERIFY(!DatabaseManager::instance()->isOpen());

    // Every later read gives the default and nothing is written anywhere.
    QCOMPARE(DatabaseManager::instance()->getMetadataOrInit("settings/window_size", "(1440 x 810)"),
             QString("(1440 x 810)"));
    QCOMPARE(DatabaseManager::instance()->getMetadataBool("settings/toggle_smart_optimization", true), true);
    QVERIFY(!DatabaseManager::instance()->tryGetMetadata("settings/window_size", nullptr));
    QVERIFY(!DatabaseManager::instance()->setMetadata("k", "v"));
    QVERIFY(!DatabaseManager::instance()->replaceServersCache({}));
    QVERIFY(DatabaseManager::instance()->getActiveServers().isEmpty());

    if (kind == "blocked") {
        QVERIFY(QFileInfo(dir.filePath("plain-file")).isFile());
    } else if (kind == "folder") {
        QVERIFY(QFileInfo(path).isDir());
        QVERIFY(QFile::exists(path + "/keep.txt"));
    } else {
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), garbage);
    }
}

void tst_DatabaseSchema::readOnlyDataFolder()
{
    if (geteuid() == 0)
        QSKIP("root ignores folder permissions");
    QTemporaryDir dir;
    const QString folder = dir.filePath("ro");
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("\\[DB\\] cannot"));
    QVERIFY(!DatabaseManager::instance()->initialize(folder));
    QVERIFY(!DatabaseManager::instance()->isOpen());
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

void tst_DatabaseSchema::metadataEmptyValueIsNotReplaced()
{
    QTemporaryDir dir;
    QVERIFY(openFresh(dir));
    auto *db = DatabaseManager::instance();
    QVERIFY(db->setMetadata("settings/route_accuracy_level", ""));
    QCOMPARE(db->getMetadataOrInit("settings/route_accuracy_level", "High"), QString(""));
    QString value = "stale";
    QVERIFY(db->tryGetMetadata("settings/route_accuracy_level", &value));
    QCOMPARE(value, QString(""));
    QVERIFY(!db->tryGetMetadata("session/last_session_json", &value));
    QVERIFY(value.isEmpty()); // the out-parameter is cleared on a miss
}

void tst_DatabaseSchema::metadataDefaultsAreStoredOnFirstRead_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("defaultValue");
    QTest::newRow("language") << "settings/ui_language"
                              << "en-US";
    QTest::newRow("window size") << "settings/window_size"
                                 << "(1440 x 810)";
    QTest::newRow("accuracy") << "settings/route_accuracy_level"
                              << "High";
    QTest::newRow("protocol") << "settings/route_analysis_protocol"
                              << "Automatic";
}

void tst_DatabaseSchema::metadataDefaultsAreStoredOnFirstRead()
{
    QFETCH(QString, key);
    QFETCH(QString, defaultValue);
    QTemporaryDir dir;
    QVERIFY(openFresh(dir));
    auto *db = DatabaseManager::instance();
    QCOMPARE(db->getMetadataOrInit(key, defaultValue), defaultValue);
    QSqlDatabase raw = openRaw(dir.path());
    QCOMPARE(scalar(raw, QString("SELECT value FROM metadata WHERE key='%1'").arg(key)).toString(),
             defaultValue);
    // A later default does not replace what is stored.
    QCOMPARE(db->getMetadataOrInit(key, "other"), defaultValue);
}

void tst_DatabaseSchema::metadataBoolParsing_data()
{
    QTest::addColumn<QString>("stored"); // "<none>" for a missing key
    QTest::addColumn<bool>("defaultValue");
    QTest::addColumn<bool>("expected");
    QTest::addColumn<QString>("storedAfter");

    QTest::newRow("missing, default true") << "<none>" << true << true << "1";
    QTest::newRow("missing, default false") << "<none>" << false << false << "0";
    QTest::newRow("1") << "1" << false << true << "1";
    QTest::newRow("0") << "0" << true << false << "0";
    QTest::newRow("padded YES") << "  YES " << false << true << "  YES ";
    QTest::newRow("True") << "True" << false << true << "True";
    QTest::newRow("no") << "no" << true << false << "no";
    QTest::newRow("FALSE") << "FALSE" << true << false << "FALSE";
    QTest::newRow("unlisted word, default true") << "maybe" << true << true << "1";
    QTest::newRow("unlisted word, default false") << "on" << false << false << "0";
    QTest::newRow("empty") << "" << true << true << "1";
    QTest::newRow("2 is not a bool") << "2" << false << false << "0";
}

void tst_DatabaseSchema::metadataBoolParsing()
{
    QFETCH(QString, stored);
    QFETCH(bool, defaultValue);
    QFETCH(bool, expected);
    QFETCH(QString, storedAfter);
    QTemporaryDir dir;
    QVERIFY(openFresh(dir));
    auto *db = DatabaseManager::instance();
    const QString key = "settings/toggle_use_dual_routes";
    if (stored != "<none>")
        QVERIFY(db->setMetadata(key, stored));
    QCOMPARE(db->getMetadataBool(key, defaultValue), expected);
    QString after;
    QVERIFY(db->tryGetMetadata(key, &after));
    QCOMPARE(after, storedAfter);

    QVERIFY(db->setMetadataBool(key, !expected));
    QVERIFY(db->tryGetMetadata(key, &after));
    QCOMPARE(after, expected ? QString("0") : QString("1"));
}

void tst_DatabaseSchema::metadataWrittenInOneTransactionArriveTogether()
{
    QTemporaryDir dir;
    QVERIFY(openFresh(dir));
    auto *db = DatabaseManager::instance();
    QSqlDatabase raw = openRaw(dir.path());
    const auto storedCount = [&raw] {
        return scalar(raw, "SELECT COUNT(*) FROM metadata WHERE key LIKE 'settings/toggle_%'").toInt();
    };
    int seenInside = -1;
    db->inOneTransaction([&] {
        QCOMPARE(db->getMetadataOrInit("settings/toggle_a", "1"), QString("1"));
        QCOMPARE(db->getMetadataOrInit("settings/toggle_b", "0"), QString("0"));
        // The manager reads its own writes; nobody else sees them yet.
        QCOMPARE(db->getMetadataOrInit("settings/toggle_a", "other"), QString("1"));
        seenInside = storedCount();
    });
    QCOMPARE(seenInside, 0);
    QCOMPARE(storedCount(), 2);

    // Without an open database the work still runs, storing nothing.
    db->close();
    bool ran = false;
    db->inOneTransaction([&] { ran = db->getMetadataOrInit("settings/toggle_c", "1") == "1"; });
    QVERIFY(ran);
    QCOMPARE(storedCount(), 2);
}

void tst_DatabaseSchema::firstStartDefaultsJoinTheSchemasCommit()
{
    QTemporaryDir dir;
    auto *db = DatabaseManager::instance();
    int tablesSeenInside = -1;
    QVERIFY(db->initialize(dir.path(), [&] {
        QCOMPARE(db->getMetadataOrInit("settings/ui_language", "en-US"), QString("en-US"));
        QCOMPARE(db->getMetadataOrInit("settings/window_size", "(1440 x 810)"), QString("(1440 x 810)"));
        // Another connection sees neither the schema nor the defaults yet.
        QSqlDatabase raw = openRaw(dir.path(), "inside");
        tablesSeenInside = scalar(raw, "SELECT COUNT(*) FROM sqlite_master").toInt();
    }));
    QCOMPARE(tablesSeenInside, 0);
    QSqlDatabase raw = openRaw(dir.path());
    QCOMPARE(scalar(raw, "SELECT COUNT(*) FROM metadata").toInt(), 2);

    // Opened again, the stored values are read and nothing is replaced.
    db->close();
    QVERIFY(db->initialize(dir.path(), [&] {
        QCOMPARE(db->getMetadataOrInit("settings/ui_language", "fa-IR"), QString("en-US"));
    }));
}

void tst_DatabaseSchema::metadataTimestampsAreLocalIso()
{
    QTemporaryDir dir;
    QVERIFY(openFresh(dir));
    auto *db = DatabaseManager::instance();
    const QDateTime when(QDate(2026, 3, 4), QTime(5, 6, 7));
    db->setMetadataTimestamp("servers", when);
    QString value;
    QVERIFY(db->tryGetMetadata("servers", &value));
    QCOMPARE(value, QString("2026-03-04T05:06:07"));

    QSqlDatabase raw = openRaw(dir.path());
    const QString updated = scalar(raw, "SELECT updated_at FROM metadata WHERE key='servers'").toString();
    QVERIFY2(QRegularExpression("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d$").match(updated).hasMatch(),
             qPrintable(updated));
}

void tst_DatabaseSchema::failedReadNeverOverwritesStoredValue()
{
    // Make reads of one stored value fail while writes still work: the table
    // moves behind a view whose value column raises an error when read, and an
    // INSTEAD OF trigger passes writes through. A manager that wrote the
    // default after a failed read would replace the user's value.
    QTemporaryDir dir;
    QVERIFY(openFresh(dir));
    auto *db = DatabaseManager::instance();
    QVERIFY(db->setMetadata("settings/ui_language", "fa-IR"));

    QSqlDatabase raw = openRaw(dir.path());
    QSqlQuery q(raw);
    QVERIFY(q.exec("ALTER TABLE metadata RENAME TO metadata_store"));
    QVERIFY(q.exec(
        "CREATE VIEW metadata AS SELECT key, "
        "CASE WHEN key = 'settings/ui_language' THEN json_extract('{bad', '$') ELSE value END AS value, "
        "updated_at FROM metadata_store"));
    QVERIFY(q.exec("CREATE TRIGGER metadata_write INSTEAD OF INSERT ON metadata BEGIN "
                   "INSERT OR REPLACE INTO metadata_store (key, value, updated_at) "
                   "VALUES (NEW.key, NEW.value, NEW.updated_at); END"));

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("metadata read failed"));
    QCOMPARE(db->getMetadataOrInit("settings/ui_language", "en-US"), QString("en-US"));
    QCOMPARE(scalar(raw, "SELECT value FROM metadata_store WHERE key='settings/ui_language'").toString(),
             QString("fa-IR"));

    // The same view lets a missing key be written: the write path itself works.
    QCOMPARE(db->getMetadataOrInit("settings/window_size", "(1440 x 810)"), QString("(1440 x 810)"));
    QCOMPARE(scalar(raw, "SELECT value FROM metadata_store WHERE key='settings/window_size'").toString(),
             QString("(1440 x 810)"));
}

void tst_DatabaseSchema::closedDatabaseReturnsDefaultsAndStoresNothing()
{
    QTemporaryDir dir;
    QVERIFY(openFresh(dir));
    auto *db = DatabaseManager::instance();
    QVERIFY(db->setMetadataBool("settings/toggle_realtime_optimization", true));
    db->close();
    QCOMPARE(db->getMetadataBool("settings/toggle_realtime_optimization", false), false);
    QCOMPARE(db->getMetadataOrInit("settings/ui_language", "en-US"), QString("en-US"));
    db->setMetadataTimestamp("servers", QDateTime::currentDateTime());

    QVERIFY(db->initialize(dir.path()));
    QCOMPARE(db->getMetadataBool("settings/toggle_realtime_optimization", false), true);
    QVERIFY(!db->tryGetMetadata("settings/ui_language", nullptr));
    QVERIFY(!db->tryGetMetadata("servers", nullptr));
}

void tst_DatabaseSchema::blankKeysAreRefused()
{
    QTemporaryDir dir;
    QVERIFY(openFresh(dir));
    auto *db = DatabaseManager::instance();
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("empty key"));
    QVERIFY(!db->setMetadata("  ", "x"));
    QVERIFY(!db->tryGetMetadata("", nullptr));
    QSqlDatabase raw = openRaw(dir.path());
    QCOMPARE(scalar(raw, "SELECT COUNT(*) FROM metadata").toInt(), 0);
}

QTEST_GUILESS_MAIN(tst_DatabaseSchema)
#include "tst_databaseschema.moc"
