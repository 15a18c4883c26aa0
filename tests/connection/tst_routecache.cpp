// Storing a finished sweep in the route cache: the key, the stamp, the text.

#include "connection/RouteCache.h"
#include "storage/DatabaseManager.h"

#include <QtTest>

class TestRouteCache : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        QVERIFY(DatabaseManager::instance()->initialize(m_dir.path()));
        QVERIFY(DatabaseManager::instance()->saveGames(
            {QVariantMap{{"id", "g-7"}, {"name", "Skyward"}, {"status", "active"}}}));
    }

    void storesTheSweep_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("gameId");
        QTest::addColumn<QString>("stamp"); // empty: now
        QTest::newRow("known game, stamp from the file")
            << "Skyward"
            << R"({"updated_at":"2026-01-02T03:04:05Z","servers":{"a":{"ping":35}}})"
            << "g-7"
            << "2026-01-02T03:04:05Z";
        QTest::newRow("unknown title keys by its trimmed self") << "  Other Game "
                                                                << R"({"updated_at":"","servers":{}})"
                                                                << "Other Game"
                                                                << "";
        QTest::newRow("no JSON is stored raw") << "Skyward"
                                               << "not json at all"
                                               << "g-7"
                                               << "";
    }
    void storesTheSweep()
    {
        QFETCH(QString, title);
        QFETCH(QString, text);
        QFETCH(QString, gameId);
        QFETCH(QString, stamp);
        DatabaseManager *db = DatabaseManager::instance();
        const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-1);
        QVERIFY(RouteCache::storeSweep(db, title, "Europe", text, "fp1"));
        const QVariantMap row = db->getRouteCache(gameId, "Europe", "fp1");
        QCOMPARE(row.value("cache_key").toString(), gameId + "|Europe|fp1");
        QCOMPARE(row.value("ping_json").toString(), text);
        if (!stamp.isEmpty()) {
            QCOMPARE(row.value("updated_at").toString(), stamp);
        } else {
            const QDateTime stored = QDateTime::fromString(row.value("updated_at").toString(), Qt::ISODate);
            QVERIFY(stored.isValid());
            QVERIFY(stored >= before);
        }
    }

    void nothingToStore()
    {
        QVERIFY(RouteCache::readPingsText(m_dir.filePath("missing.json")).isEmpty());
        QVERIFY(!RouteCache::storeSweep(DatabaseManager::instance(), "Skyward", "Europe", QString(), "fp2"));
        QVERIFY(DatabaseManager::instance()->getRouteCache("g-7", "Europe", "fp2").isEmpty());
        QVERIFY(!RouteCache::storeSweep(nullptr, "Skyward", "Europe", "{}", "fp2"));
    }
};

QTEST_MAIN(TestRouteCache)
#include "tst_routecache.moc"
