// Relay-list synchronisation and the picker refresh against the fake service:
// how each converts the service's relays, when each stores them, and that the
// synchronisation reports exactly once.

#include "ServiceTestSupport.h"
#include "services/ServerSync.h"
#include "storage/DatabaseManager.h"
#include "support/fakeservice/LoopbackGuard.h"

#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using Records = QList<QVariantMap>;

// The synchronisation's log lines while a LogCapture lives, "D " (debug) or
// "W " (warning) in front of each.
static QStringList g_syncLog;
static void captureSyncLog(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (message.startsWith(QLatin1String("[ServerSync]")))
        g_syncLog << (type == QtWarningMsg ? QStringLiteral("W ") : QStringLiteral("D ")) + message;
}

struct LogCapture
{
    LogCapture()
    {
        g_syncLog.clear();
        m_previous = qInstallMessageHandler(captureSyncLog);
    }
    ~LogCapture() { qInstallMessageHandler(m_previous); }

private:
    QtMessageHandler m_previous;
};

// The relay cache kept in memory.
struct MemoryCache
{
    Records stored = {{{"id", "old"}}};
    int writes = 0;
    bool failWrites = false;
    int stamps = 0;

    ServersCache cache()
    {
        ServersCache c;
        c.replace = [this](const Records &servers) {
            ++writes;
            if (failWrites)
                return false;
            stored = servers;
            return true;
        };
        c.countActive = [this]() { return int(stored.size()); };
        c.stampLoaded = [this]() { ++stamps; };
        return c;
    }
};

class TestServerSync : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();
    void conversion_data();
    void conversion();
    void outcomes_data();
    void outcomes();
    void failedWriteReportsFalse();
    void logLines_data();
    void logLines();
    void emptyCompletionStillRuns();
    void writesThroughTheCacheDatabase();

private:
    // Runs the synchronisation; returns the completion's values (one element when it ran once).
    QList<bool> runSync(MemoryCache &cache, ServiceClient *client = nullptr);
    // Runs the picker refresh; true when it reloaded.
    bool runPicker(MemoryCache &cache);

    FakeService m_fake;
};

void TestServerSync::initTestCase()
{
    LoopbackGuard::install();
    QVERIFY(m_fake.listen());
}

void TestServerSync::init()
{
    m_fake.clearScripts();
    m_fake.clearRequests();
}

void TestServerSync::cleanupTestCase()
{
    QCOMPARE(LoopbackGuard::violations(), QList<QUrl>());
}

QList<bool> TestServerSync::runSync(MemoryCache &cache, ServiceClient *client)
{
    QObject owner;
    if (!client)
        client = ServiceTest::clientFor(m_fake, &owner);
    ServerSync sync(client, cache.cache());
    QList<bool> results;
    sync.syncServers([&results](bool ok) { results << ok; });
    (void)QTest::qWaitFor([&]() { return !results.isEmpty(); }, 5000);
    // Give a second call the chance to show up.
    QTest::qWait(50);
    return results;
}

bool TestServerSync::runPicker(MemoryCache &cache)
{
    QObject owner;
    ServiceClient *client = ServiceTest::clientFor(m_fake, &owner);
    ServerSync sync(client, cache.cache());
    // The reply's handler runs within the emission that reports the reply
    // finished, so once the manager has reported it, the picker has decided.
    QSignalSpy finished(client->manager(), &QNetworkAccessManager::finished);
    bool reloaded = false;
    sync.requestPickerServers([&reloaded]() { reloaded = true; });
    (void)QTest::qWaitFor([&]() { return finished.count() > 0; }, 5000);
    return reloaded;
}

void TestServerSync::conversion_data()
{
    QTest::addColumn<QJsonObject>("server");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("sync");
    QTest::addColumn<QVariant>("picker");

    const QJsonObject base{{"id", "r1"},    {"name", "Frankfurt"}, {"ip_address", "127.0.0.11"},
                           {"port", 50000}, {"region", "Europe"},  {"status", "active"}};
    auto with = [&base](const char *key, const QJsonValue &value) {
        QJsonObject o = base;
        if (value.isUndefined())
            o.remove(QLatin1String(key));
        else
            o.insert(QLatin1String(key), value);
        return o;
    };
    QTest::newRow("missing status") << with("status", QJsonValue::Undefined) << "status" << QVariant("active")
                                    << QVariant("");
    QTest::newRow("padded capital status")
        << with("status", " Active ") << "status" << QVariant("active") << QVariant(" Active ");
    QTest::newRow("numeric id") << with("id", 42) << "id" << QVariant("42") << QVariant("42");
    QTest::newRow("padded region") << with("region", "  Europe ") << "region" << QVariant("  Europe ")
                                   << QVariant("Europe");
    QTest::newRow("port as text") << with("port", "50000") << "port" << QVariant(0) << QVariant(0);
    QTest::newRow("port as number") << base << "port" << QVariant(50000) << QVariant(50000);
    QTest::newRow("missing name") << with("name", QJsonValue::Undefined) << "name" << QVariant("")
                                  << QVariant("");
    QTest::newRow("numeric flag") << with("flag", 7) << "flag" << QVariant("") << QVariant("7");
}

void TestServerSync::conversion()
{
    QFETCH(QJsonObject, server);
    QFETCH(QString, key);
    QFETCH(QVariant, sync);
    QFETCH(QVariant, picker);
    m_fake.script("GET", "/api/servers", FakeReply::json(QJsonObject{{"servers", QJsonArray{server}}}));

    MemoryCache syncCache;
    QCOMPARE(runSync(syncCache), QList<bool>{true});
    QCOMPARE(syncCache.stored.size(), 1);
    QCOMPARE(syncCache.stored.first().value(key), sync);
    // Every record has the full set of columns, text and integers typed.
    QCOMPARE(syncCache.stored.first().size(), 17);
    QCOMPARE(syncCache.stored.first().value("max_connections").typeId(), QMetaType::Int);

    MemoryCache pickerCache;
    QVERIFY(runPicker(pickerCache));
    QCOMPARE(pickerCache.stored.size(), 1);
    QCOMPARE(pickerCache.stored.first().value(key), picker);
    QCOMPARE(pickerCache.stamps, 1);
}

void TestServerSync::outcomes_data()
{
    QTest::addColumn<FakeReply>("reply");
    QTest::addColumn<bool>("syncOk");
    QTest::addColumn<QStringList>("syncIds");   // stored by the synchronisation (when it succeeded)
    QTest::addColumn<QStringList>("pickerIds"); // stored by the picker refresh ("old": untouched)

    const QJsonArray two{QJsonObject{{"id", "a"}, {"name", "A"}}, QJsonObject{{"id", "b"}, {"name", "B"}}};
    QTest::newRow("relays under servers") << FakeReply::json(QJsonObject{{"servers", two}}) << true
                                          << QStringList{"a", "b"} << QStringList{"a", "b"};
    QTest::newRow("relays only under data")
        << FakeReply::json(QJsonObject{{"data", two}}) << false << QStringList{} << QStringList{"a", "b"};
    QTest::newRow("HTTP 503") << FakeReply::json(QJsonObject{{"servers", two}}, 503) << false << QStringList{}
                              << QStringList{"old"};
    QTest::newRow("only non-object elements keep the cache")
        << FakeReply::json(QJsonObject{{"servers", QJsonArray{1, "x", QJsonValue::Null}}}) << false
        << QStringList{} << QStringList{"old"};
    QTest::newRow("numeric ids stay apart, relays without id dropped")
        << FakeReply::json(
               QJsonObject{{"servers", QJsonArray{QJsonObject{{"id", 1}}, QJsonObject{{"id", 2}},
                                                  QJsonObject{{"name", "no id"}}, QJsonObject{{"id", "  "}},
                                                  QJsonObject{{"id", true}}}}})
        << true << QStringList{"1", "2"} << QStringList{"1", "2", "true"};
    QTest::newRow("empty list") << FakeReply::json(QJsonObject{{"servers", QJsonArray{}}}) << false
                                << QStringList{} << QStringList{"old"};
    QTest::newRow("body not JSON") << FakeReply::text("<html/>") << false << QStringList{}
                                   << QStringList{"old"};
    QTest::newRow("body is an array") << FakeReply::json(two) << false << QStringList{} << QStringList{"old"};
    QTest::newRow("connection dropped")
        << FakeReply::dropped() << false << QStringList{} << QStringList{"old"};
}

static QStringList idsOf(const Records &records)
{
    QStringList ids;
    for (const QVariantMap &r : records)
        ids << r.value("id").toString();
    return ids;
}

void TestServerSync::outcomes()
{
    QFETCH(FakeReply, reply);
    QFETCH(bool, syncOk);
    QFETCH(QStringList, syncIds);
    QFETCH(QStringList, pickerIds);
    m_fake.script("GET", "/api/servers", reply);

    MemoryCache syncCache;
    QCOMPARE(runSync(syncCache), QList<bool>{syncOk});
    QCOMPARE(idsOf(syncCache.stored), syncOk ? syncIds : QStringList{"old"});
    QCOMPARE(syncCache.writes, syncOk ? 1 : 0);

    MemoryCache pickerCache;
    const bool reloaded = runPicker(pickerCache);
    QCOMPARE(idsOf(pickerCache.stored), pickerIds);
    QCOMPARE(reloaded, pickerIds != QStringList{"old"});
    QCOMPARE(pickerCache.stamps, reloaded ? 1 : 0);
}

void TestServerSync::failedWriteReportsFalse()
{
    MemoryCache cache;
    cache.failWrites = true;
    QCOMPARE(runSync(cache), QList<bool>{false});
    QCOMPARE(cache.writes, 1);
    QCOMPARE(idsOf(cache.stored), QStringList{"old"});
}

void TestServerSync::logLines_data()
{
    QTest::addColumn<FakeReply>("reply");
    QTest::addColumn<bool>("failWrite");
    // Expected lines in order; a line ending in "*" is compared up to the star.
    QTest::addColumn<QStringList>("lines");

    const QJsonArray two{QJsonObject{{"id", "a"}, {"name", "A"}}, QJsonObject{{"id", "b"}, {"name", "B"}}};
    const QString fetching = QStringLiteral("D [ServerSync] Fetching servers from API...");
    const QString status200 = QStringLiteral("D [ServerSync] HTTP status: 200");
    QTest::newRow("stored") << FakeReply::json(QJsonObject{{"servers", two}}) << false
                            << QStringList{fetching,
                                           status200,
                                           "D [ServerSync] bytes: *",
                                           "D [ServerSync] keys: *",
                                           "D [ServerSync] Received 2 servers from API",
                                           "D [ServerSync] Successfully cached 2 servers in DB",
                                           "D [ServerSync] DB active servers count: 2"};
    QTest::newRow("HTTP 503") << FakeReply::json(QJsonObject{{"servers", two}}, 503) << false
                              << QStringList{fetching, "D [ServerSync] HTTP status: 503",
                                             "W [ServerSync] Failed to fetch servers: *"};
    QTest::newRow("relays only under data")
        << FakeReply::json(QJsonObject{{"data", two}}) << false
        << QStringList{fetching, status200, "D [ServerSync] bytes: *", "D [ServerSync] keys: *",
                       "W [ServerSync] No servers in API response"};
    QTest::newRow("body not JSON") << FakeReply::text("<html/>") << false
                                   << QStringList{fetching, status200, "D [ServerSync] bytes: 7",
                                                  "W [ServerSync] Invalid JSON response"};
    QTest::newRow("database refuses") << FakeReply::json(QJsonObject{{"servers", two}}) << true
                                      << QStringList{fetching,
                                                     status200,
                                                     "D [ServerSync] bytes: *",
                                                     "D [ServerSync] keys: *",
                                                     "D [ServerSync] Received 2 servers from API",
                                                     "W [ServerSync] Failed to save servers to DB"};
}

void TestServerSync::logLines()
{
    QFETCH(FakeReply, reply);
    QFETCH(bool, failWrite);
    QFETCH(QStringList, lines);
    m_fake.script("GET", "/api/servers", reply);

    MemoryCache cache;
    cache.failWrites = failWrite;
    QStringList got;
    {
        LogCapture capture;
        runSync(cache);
        got = g_syncLog;
    }
    QCOMPARE(got.size(), lines.size());
    for (int i = 0; i < lines.size(); ++i) {
        const QString &want = lines.at(i);
        const bool matches =
            want.endsWith(QLatin1Char('*')) ? got.at(i).startsWith(want.chopped(1)) : got.at(i) == want;
        QVERIFY2(matches,
                 qPrintable(QStringLiteral("line %1: got \"%2\", want \"%3\"").arg(i).arg(got.at(i), want)));
    }
}

void TestServerSync::emptyCompletionStillRuns()
{
    MemoryCache cache;
    QObject owner;
    ServerSync sync(ServiceTest::clientFor(m_fake, &owner), cache.cache());
    sync.syncServers();
    QTRY_COMPARE_WITH_TIMEOUT(cache.writes, 1, 5000);
    QCOMPARE(cache.stored.size(), FakeService::sampleServers().size());
}

void TestServerSync::writesThroughTheCacheDatabase()
{
    QTemporaryDir dir;
    QVERIFY(DatabaseManager::instance()->initialize(dir.path()));
    QObject owner;
    ServerSync sync(ServiceTest::clientFor(m_fake, &owner), ServersCache::database());
    QList<bool> results;
    sync.syncServers([&results](bool ok) { results << ok; });
    QTRY_COMPARE_WITH_TIMEOUT(results, QList<bool>{true}, 5000);

    // The sample list holds five active relays (three in Europe) and one in maintenance.
    const Records active = DatabaseManager::instance()->getActiveServers();
    QCOMPARE(active.size(), 5);
    QCOMPARE(DatabaseManager::instance()->countActiveServers(), 5);
    QCOMPARE(DatabaseManager::instance()->getActiveServersInRegion("Europe").size(), 3);
    QVERIFY(idsOf(active).contains("eu-fra-1"));

    // The picker refresh: a relay with a blank id does not cost the others their place.
    m_fake.script(
        "GET", "/api/servers",
        FakeReply::json(QJsonObject{
            {"data", QJsonArray{QJsonObject{{"id", "  "}, {"name", "Blank"}, {"status", "active"}},
                                QJsonObject{{"id", 7}, {"name", "Seven"}, {"status", "active"}}}}}));
    bool reloaded = false;
    sync.requestPickerServers([&reloaded]() { reloaded = true; });
    QTRY_VERIFY_WITH_TIMEOUT(reloaded, 5000);
    QCOMPARE(idsOf(DatabaseManager::instance()->getActiveServers()), QStringList{"7"});
}

QTEST_GUILESS_MAIN(TestServerSync)
#include "tst_serversync.moc"
