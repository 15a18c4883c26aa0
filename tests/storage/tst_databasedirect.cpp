// The catalogue read and the two batch writes run straight through SQLite.
// These hold them to what Qt's SQLite driver stores and gives back, value for
// value, and the kept copy of the active games to every way the table changes.

#include "StorageFixture.h"
#include "storage/DatabaseManager.h"

#include <QJsonDocument>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QtTest>

using namespace StorageFixture;

namespace {

// The read the way Qt's driver and QJsonDocument give it: every field of the
// record under its name, the list columns' text or bytes parsed as JSON.
QList<QVariantMap> readThroughQt(QSqlDatabase &db, const QString &sql)
{
    static const QStringList lists = {"tags", "tcp_ports", "udp_ports", "domains", "profiles"};
    QList<QVariantMap> out;
    QSqlQuery q(db);
    if (!q.exec(sql))
        return out;
    while (q.next()) {
        const QSqlRecord record = q.record();
        QVariantMap row;
        for (int i = 0; i < record.count(); ++i) {
            QVariant v = q.value(i);
            if (lists.contains(record.fieldName(i))) {
                const QByteArray bytes =
                    v.typeId() == QMetaType::QByteArray ? v.toByteArray() : v.toString().toUtf8();
                v = bytes.isEmpty() ? QVariant() : QJsonDocument::fromJson(bytes).toVariant();
            }
            row.insert(record.fieldName(i), v);
        }
        out << row;
    }
    return out;
}

QVariantMap game(const QString &id, const QString &name, const QString &status = "active")
{
    return QVariantMap{{"id", id}, {"name", name}, {"status", status}, {"updated_at", "2026-01-01T00:00:00"}};
}

QStringList ids(const QList<QVariantMap> &rows)
{
    QStringList out;
    for (const QVariantMap &r : rows)
        out << r.value("id").toString();
    return out;
}

} // namespace

class tst_DatabaseDirect : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir *m_dir = nullptr;
    DatabaseManager *db() { return DatabaseManager::instance(); }

private slots:
    void init();
    void cleanup();

    void gameReadsMatchQtDriver();
    void gameRecordsAgreeWithMaps();
    void recordsReadAgainKeepHeldCopies();
    void storedGameForms_data();
    void storedGameForms();
    void storedServerForms_data();
    void storedServerForms();
    void refusedRowReportsSqliteMessage();
    void activeGamesFollowEveryWrite_data();
    void activeGamesFollowEveryWrite();
};

void tst_DatabaseDirect::init()
{
    m_dir = new QTemporaryDir;
    QVERIFY(openFresh(*m_dir));
}

void tst_DatabaseDirect::cleanup()
{
    db()->close();
    closeRaw();
    delete m_dir;
    m_dir = nullptr;
}

void tst_DatabaseDirect::gameReadsMatchQtDriver()
{
    // One game as the catalogue writes it, and rows holding what older
    // clients, hand edits or SQLite's loose typing can leave behind.
    QVariantMap full = game("full", QString::fromUtf8("بازی 🎮"));
    full["tags"] = QVariantList{"fps", 3, true, QVariant(), QVariantMap{{"k", "v"}}};
    full["udp_ports"] = QVariantList{27015, "27020-27030"};
    full["profiles"] = QVariantList{QVariantMap{{"id", "steam"}, {"udp_ports", QVariantList{"1-2"}}}};
    full["free_days_left"] = 4;
    full["description"] = "";
    full["category"] = QString(QChar(0xD800)) + "x";                // a lone surrogate, stored as it comes
    full["executable"] = QString::fromUtf8("game") + QChar(0xFFFE); // a noncharacter
    QVERIFY(db()->saveGames({full}));

    QSqlDatabase r = openRaw(m_dir->path());
    QSqlQuery q(r);
    QVERIFY(q.exec("INSERT INTO games (id, name, status) VALUES ('bare', 'Bare', 'active')"));
    QVERIFY(
        q.exec("INSERT INTO games (id, name, description, category, executable, tags, tcp_ports, "
               "udp_ports, domains, profiles, is_free_effective, free_days_left, status, updated_at, logo) "
               "VALUES ('odd', 'Odd', 42, 1.5, x'00ff', '[\"a\",1,true,null,{\"k\":\"v\"}]', x'', "
               "'not json', '', '  {\"x\": [1, 2.5, -3]}  ', NULL, 'seven', 'active', 7, "
               "CAST(x'C080' AS TEXT))"));
    QVERIFY(q.exec("INSERT INTO games (id, name, status) VALUES ('hidden', 'Hidden', 'Active')"));

    const QString active = "SELECT * FROM games WHERE status = 'active' ORDER BY updated_at DESC";
    const QList<QVariantMap> expected = readThroughQt(r, active);
    QCOMPARE(expected.size(), 3);
    QCOMPARE(db()->getActiveGames(), expected);
    for (const char *id : {"full", "bare", "odd", "hidden"}) {
        const QList<QVariantMap> one =
            readThroughQt(r, QString("SELECT * FROM games WHERE id = '%1'").arg(id));
        QCOMPARE(one.size(), 1);
        QCOMPARE(db()->getGameById(id), one.first());
    }
    QCOMPARE(db()->getGameById("missing"), QVariantMap());
    QCOMPARE(db()->getGameById(QString()), QVariantMap());
}

void tst_DatabaseDirect::gameRecordsAgreeWithMaps()
{
    // Every column of the typed read against the map form of the same rows,
    // through the column table: a name, kind or position out of step with
    // the table shows here.
    QVariantMap full = game("full", QString::fromUtf8("بازی 🎮"));
    full["tags"] = QVariantList{"fps", 3, true};
    full["profiles"] = QVariantList{QVariantMap{{"id", "steam"}, {"udp_ports", QVariantList{"1-2"}}}};
    full["coverImage"] = "cover.png";
    full["free_days_left"] = 4;
    full["is_free"] = true;
    QVERIFY(db()->saveGames({full}));
    QSqlDatabase r = openRaw(m_dir->path());
    QSqlQuery q(r);
    QVERIFY(q.exec("INSERT INTO games (id, name, status, logo_cached_path) VALUES ('bare', 'Bare', 'active', "
                   "'/c/b.png')"));
    QVERIFY(q.exec("INSERT INTO games (id, name, description, category, executable, tcp_ports, udp_ports, "
                   "is_free_effective, free_days_left, status, updated_at) VALUES ('odd', 'Odd', 42, 1.5, "
                   "x'00ff', x'', 'not json', NULL, 'seven', 'active', 7)"));

    const QList<QVariantMap> maps = db()->getActiveGames();
    const QList<GameRecord> records = db()->activeGameRecords();
    QCOMPARE(records.size(), 3);
    QCOMPARE(ids(maps), QStringList({"odd", "full", "bare"}));
    for (int i = 0; i < records.size(); ++i) {
        const GameRecord &g = records.at(i);
        const QVariantMap &m = maps.at(i);
        QCOMPARE(m.size(), GameRecord::kColumnCount);
        for (const GameRecord::Column &c : GameRecord::kColumns) {
            const QVariant v = m.value(c.name);
            QVERIFY2(m.contains(c.name), c.name);
            switch (c.kind) {
            case GameRecord::Column::Kind::Text:
                QCOMPARE(g.*c.text, v.toString());
                QCOMPARE((g.*c.text).isNull(), v.isNull());
                break;
            case GameRecord::Column::Kind::Int:
                QCOMPARE(g.*c.number, v.toInt());
                break;
            case GameRecord::Column::Kind::Json:
                QCOMPARE(GameRecord::parseList(g.*c.json), v);
                break;
            }
        }
    }
    const GameRecord &saved = records.at(1);
    QCOMPARE(saved.coverImage, QString("cover.png"));
    QCOMPARE(saved.isFreeEffective, 1);
    QCOMPARE(saved.freeDaysLeft, 4);
    QCOMPARE(GameRecord::parseList(saved.tagsJson), QVariant(QVariantList{"fps", 3, true}));
    QCOMPARE(records.last().logoCachedPath, QString("/c/b.png"));
}

void tst_DatabaseDirect::recordsReadAgainKeepHeldCopies()
{
    // A read after a change writes over the kept rows only where no caller
    // holds them: what a caller holds stays as it was read, and rows written
    // over show the new texts whatever their length or NULL.
    QVariantMap b = game("b", "B");
    b["description"] = "first";
    QVERIFY(db()->saveGames({game("a", "A"), b}));
    const QList<GameRecord> held = db()->activeGameRecords();
    QSqlDatabase r = openRaw(m_dir->path());
    QSqlQuery q(r);
    QVERIFY(q.exec("UPDATE games SET name = 'A much longer name', description = NULL WHERE id = 'a'"));
    auto byId = [](const QList<GameRecord> &games, const QString &id) {
        for (const GameRecord &g : games) {
            if (g.id == id)
                return g;
        }
        return GameRecord();
    };
    QCOMPARE(byId(db()->activeGameRecords(), "a").name, QString("A much longer name"));
    QCOMPARE(byId(held, "a").name, QString("A"));
    QCOMPARE(byId(held, "b").description, QString("first"));

    QVERIFY(q.exec("UPDATE games SET name = 'Z', description = 'x' WHERE id = 'a'"));
    QVERIFY(q.exec("UPDATE games SET description = NULL, tags = '[1]' WHERE id = 'b'"));
    const QList<GameRecord> again = db()->activeGameRecords();
    QCOMPARE(byId(again, "a").name, QString("Z"));
    QCOMPARE(byId(again, "a").description, QString("x"));
    QVERIFY(byId(again, "b").description.isNull());
    QCOMPARE(GameRecord::parseList(byId(again, "b").tagsJson), QVariant(QVariantList{1}));
    QCOMPARE(byId(held, "a").name, QString("A"));
}

void tst_DatabaseDirect::storedGameForms_data()
{
    QTest::addColumn<QVariantMap>("changes");
    QTest::addColumn<QString>("column");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("hex");

    // What SQLite holds after saveGames, as typeof() and hex() see it: texts
    // as text (a missing key as NULL, empty text as empty text), list columns
    // as blobs of compact JSON, flags and day counts as integers.
    QTest::newRow("missing text") << QVariantMap{} << "description"
                                  << "null"
                                  << "";
    QTest::newRow("empty text") << QVariantMap{{"description", ""}} << "description"
                                << "text"
                                << "";
    QTest::newRow("persian text") << QVariantMap{{"category", QString::fromUtf8("بازی")}} << "category"
                                  << "text"
                                  << "D8A8D8A7D8B2DB8C";
    QTest::newRow("lone surrogate") << QVariantMap{{"logo", QString(QChar(0xD800))}} << "logo"
                                    << "text"
                                    << "EDA080";
    QTest::newRow("number as text") << QVariantMap{{"executable", 12.5}} << "executable"
                                    << "text"
                                    << "31322E35";
    QTest::newRow("cover under its own key") << QVariantMap{{"coverImage", "c"}} << "cover_image"
                                             << "text"
                                             << "63";
    QTest::newRow("list") << QVariantMap{{"tags", QVariantList{"a", 1}}} << "tags"
                          << "blob"
                          << "5B2261222C315D";
    QTest::newRow("empty list") << QVariantMap{{"domains", QVariantList{}}} << "domains"
                                << "blob"
                                << "5B5D";
    QTest::newRow("missing list") << QVariantMap{} << "tcp_ports"
                                  << "null"
                                  << "";
    QTest::newRow("one text as list") << QVariantMap{{"udp_ports", "9"}} << "udp_ports"
                                      << "blob"
                                      << "5B2239225D";
    QTest::newRow("free flag") << QVariantMap{{"is_free", true}} << "is_free_effective"
                               << "integer"
                               << "31";
    QTest::newRow("no free flag") << QVariantMap{} << "is_free_effective"
                                  << "integer"
                                  << "30";
    QTest::newRow("days as text") << QVariantMap{{"free_days_left", "7"}} << "free_days_left"
                                  << "integer"
                                  << "37";
    QTest::newRow("no days") << QVariantMap{} << "free_days_left"
                             << "integer"
                             << "2D31";
    QTest::newRow("logo path never written") << QVariantMap{{"logo_cached_path", "x"}} << "logo_cached_path"
                                             << "null"
                                             << "";
}

void tst_DatabaseDirect::storedGameForms()
{
    QFETCH(QVariantMap, changes);
    QFETCH(QString, column);
    QFETCH(QString, type);
    QFETCH(QString, hex);
    QVariantMap g = game("g", "Game");
    for (auto it = changes.constBegin(); it != changes.constEnd(); ++it)
        g.insert(it.key(), it.value());
    QVERIFY(db()->saveGames({g}));
    QSqlDatabase r = openRaw(m_dir->path());
    QSqlQuery q(r);
    QVERIFY(q.exec(QString("SELECT typeof(%1), hex(%1) FROM games").arg(column)));
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toString(), type);
    QCOMPARE(q.value(1).toString(), hex);
}

void tst_DatabaseDirect::storedServerForms_data()
{
    QTest::addColumn<QVariantMap>("relay");
    QTest::addColumn<QString>("column");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("hex");

    // Missing keys become empty text or 0, never NULL; numbers as integers.
    const QVariantMap base{{"id", "r1"}, {"name", "Relay"}};
    QTest::newRow("missing text") << base << "city"
                                  << "text"
                                  << "";
    QTest::newRow("text") << QVariantMap{{"id", "r1"},
                                         {"name", "Relay"},
                                         {"city", QString::fromUtf8("تهران")}}
                          << "city"
                          << "text"
                          << "D8AAD987D8B1D8A7D986";
    QTest::newRow("missing id") << QVariantMap{{"name", "Relay"}} << "id"
                                << "text"
                                << "";
    QTest::newRow("missing port") << base << "port"
                                  << "integer"
                                  << "30";
    QTest::newRow("port as text") << QVariantMap{{"id", "r1"}, {"name", "Relay"}, {"port", "50000"}} << "port"
                                  << "integer"
                                  << "3530303030";
    QTest::newRow("port not a number")
        << QVariantMap{{"id", "r1"}, {"name", "Relay"}, {"max_connections", "many"}} << "max_connections"
        << "integer"
        << "30";
    QTest::newRow("count as text column")
        << QVariantMap{{"id", "r1"}, {"name", "Relay"}, {"status", 5}} << "status"
        << "text"
        << "35";
}

void tst_DatabaseDirect::storedServerForms()
{
    QFETCH(QVariantMap, relay);
    QFETCH(QString, column);
    QFETCH(QString, type);
    QFETCH(QString, hex);
    if (!relay.contains("id") || !relay.contains("name"))
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("relay without"));
    QTest::ignoreMessage(QtInfoMsg, QRegularExpression("servers total now = 1"));
    QVERIFY(db()->replaceServersCache({relay}));
    QSqlDatabase r = openRaw(m_dir->path());
    QSqlQuery q(r);
    QVERIFY(q.exec(QString("SELECT typeof(%1), hex(%1), typeof(last_synced) FROM servers").arg(column)));
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toString(), type);
    QCOMPARE(q.value(1).toString(), hex);
    QCOMPARE(q.value(2).toString(), QString("text"));
}

void tst_DatabaseDirect::refusedRowReportsSqliteMessage()
{
    // The log line carries SQLite's own words, as QSqlError::text() gave them.
    QSqlDatabase r = openRaw(m_dir->path());
    QSqlQuery q(r);
    QVERIFY(q.exec("CREATE TRIGGER refuse_game BEFORE INSERT ON games WHEN NEW.id = 'bad' "
                   "BEGIN SELECT RAISE(ABORT, 'no such game'); END"));
    QVERIFY(q.exec("CREATE TRIGGER refuse_relay BEFORE INSERT ON servers WHEN NEW.id = 'bad' "
                   "BEGIN SELECT RAISE(ABORT, 'no such relay'); END"));
    QTest::ignoreMessage(QtWarningMsg, "[DB] Error saving game: Bad no such game Unable to fetch row");
    QVERIFY(!db()->saveGames({game("ok", "Ok"), game("bad", "Bad")}));
    QTest::ignoreMessage(
        QtWarningMsg,
        "[DB] replaceServersCache: insert failed id= bad err= no such relay Unable to fetch row");
    QVERIFY(!db()->replaceServersCache({{{"id", "ok"}, {"name", "Ok"}}, {{"id", "bad"}, {"name", "Bad"}}}));
    QCOMPARE(scalar(r, "SELECT COUNT(*) FROM games").toInt(), 0);
    QCOMPARE(scalar(r, "SELECT COUNT(*) FROM servers").toInt(), 0);
}

void tst_DatabaseDirect::activeGamesFollowEveryWrite_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QStringList>("after");

    QTest::newRow("nothing") << "" << QStringList{"a", "b"};
    QTest::newRow("saved game") << "save" << QStringList{"a", "b", "c"};
    QTest::newRow("refused batch") << "refused" << QStringList{"a", "b"};
    QTest::newRow("other connection") << "raw" << QStringList{"a"};
    QTest::newRow("reopened elsewhere") << "reopen" << QStringList{"z"};
    QTest::newRow("closed") << "close" << QStringList{};
    QTest::newRow("caller changed its copy") << "mutate" << QStringList{"a", "b"};
}

void tst_DatabaseDirect::activeGamesFollowEveryWrite()
{
    QFETCH(QString, change);
    QFETCH(QStringList, after);
    QVERIFY(db()->saveGames({game("a", "A"), game("b", "B")}));
    QList<QVariantMap> first = db()->getActiveGames();
    QCOMPARE(ids(first), QStringList({"a", "b"}));
    // The typed read keeps its copy until the table changes.
    QList<GameRecord> kept = db()->activeGameRecords();
    QCOMPARE(kept.size(), 2);

    QTemporaryDir other;
    if (change == "save") {
        QVERIFY(db()->saveGames({game("c", "C")}));
    } else if (change == "refused") {
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("without a name"));
        QVERIFY(!db()->saveGames({game("c", "C"), QVariantMap{{"id", "d"}}}));
    } else if (change == "raw") {
        QSqlDatabase r = openRaw(m_dir->path());
        QSqlQuery q(r);
        QVERIFY(q.exec("UPDATE games SET status = 'hidden' WHERE id = 'b'"));
    } else if (change == "reopen") {
        QVERIFY(db()->initialize(other.path()));
        QVERIFY(db()->saveGames({game("z", "Z")}));
    } else if (change == "close") {
        db()->close();
    } else if (change == "mutate") {
        first.first()["id"] = "changed";
        first.removeLast();
        kept.first().id = "changed";
        kept.removeLast();
    }
    QStringList got = ids(db()->getActiveGames());
    got.sort();
    QCOMPARE(got, after);
    QStringList gotRecords;
    for (const GameRecord &g : db()->activeGameRecords())
        gotRecords << g.id;
    gotRecords.sort();
    QCOMPARE(gotRecords, after);
}

QTEST_GUILESS_MAIN(tst_DatabaseDirect)
#include "tst_databasedirect.moc"
