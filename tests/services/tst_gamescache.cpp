// The protected games list on disk: round trip, the three older forms taken
// over once, copies that must not open here, and replacement that never
// loses the old copy.

#include "services/GamesCache.h"
#include "storage/DeviceId.h"
#include "support/faketools/DebugLog.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <thread>
#include <unistd.h>

static const QByteArray kBody =
    R"({"data":[{"id":"arena","title":"Arena Strike","coverImage":"/uploads/a.png"},)"
    R"({"id":"kart","title":"Kart Rally"}]})";

static QStringList ids(const QList<GameApiItem> &items)
{
    QStringList out;
    for (const GameApiItem &item : items)
        out << item.id;
    return out;
}

static QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

static void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

// A cache folder and a secret of its own.
struct Disk
{
    Disk() : protection(dir.filePath("keys")), cache(dir.filePath("cache"), protection) {}

    // Loads into a fresh state; records the database writes and the log.
    bool load(QStringList *logLines = nullptr)
    {
        state = CatalogueState();
        dbWrites.clear();
        DebugLog log(QStringLiteral("[GamesAPI]"));
        const bool ok =
            cache.loadGamesCache(&state, [this](const QList<QVariantMap> &games) { dbWrites << games; });
        if (logLines)
            *logLines = log.lines();
        return ok;
    }

    QTemporaryDir dir;
    DataProtection protection;
    GamesCache cache;
    CatalogueState state;
    QList<QList<QVariantMap>> dbWrites;
};

class TestGamesCache : public QObject
{
    Q_OBJECT
private slots:
    void cleanup();
    void roundTrip();
    void plainDatIsMigratedOnce();
    void entropyFreeBlobIsUpgraded();
    void plainJsonIsMigratedAndRemoved();
    void unusableJsonStays();
    void copiesThatMustNotOpen_data();
    void copiesThatMustNotOpen();
    void failedWriteKeepsTheOldFile_data();
    void failedWriteKeepsTheOldFile();
    void failedProtectionWritesNothing();
    void olderFormsStayWhenProtectionFails_data();
    void olderFormsStayWhenProtectionFails();
    void entropyFollowsTheDeviceId();
    void overBoundFileIsNeverRead();
    void copyOverTheBoundsIsCut_data();
    void copyOverTheBoundsIsCut();
    void savesFromTwoThreadsTakeTurns();
};

void TestGamesCache::cleanup()
{
    DeviceId::setInputReaderForTesting({});
}

void TestGamesCache::roundTrip()
{
    Disk disk;
    QVERIFY(!disk.load()); // nothing there yet
    QVERIFY(disk.cache.saveGamesCache(disk.cache.path(), kBody));
    QCOMPARE(QFileInfo(disk.cache.path()).dir().dirName(), QString("cache"));
    QVERIFY(!QFile::exists(disk.cache.path() + ".part"));
    const QByteArray blob = readFile(disk.cache.path());
    QVERIFY(!blob.contains("Arena Strike"));
    QVERIFY(!blob.contains(kBody.left(8)));

    QByteArray plain;
    bool legacy = true;
    QVERIFY(disk.cache.decryptGamesCache(blob, &plain, &legacy));
    QCOMPARE(plain, kBody);
    QVERIFY(!legacy);

    QStringList log;
    QVERIFY(disk.load(&log));
    QVERIFY(disk.state.catalogueLoaded);
    QCOMPARE(ids(*disk.state.items), (QStringList{"arena", "kart"}));
    QCOMPARE(log, QStringList{"[GamesAPI] loaded from disk (encrypted): 2"});
    QCOMPARE(disk.dbWrites.size(), 1);
    QCOMPARE(disk.dbWrites.first().first().value("coverImage").toString(), QString("/uploads/a.png"));
}

void TestGamesCache::plainDatIsMigratedOnce()
{
    Disk disk;
    writeFile(disk.cache.path(), kBody);
    QStringList log;
    QVERIFY(disk.load(&log));
    QCOMPARE(log, (QStringList{"[GamesAPI] migrated plaintext games_list.dat -> encrypted (DPAPI)",
                               "[GamesAPI] loaded from disk (encrypted): 2"}));
    QVERIFY(!readFile(disk.cache.path()).contains("Arena Strike"));

    QVERIFY(disk.load(&log));
    QCOMPARE(log, QStringList{"[GamesAPI] loaded from disk (encrypted): 2"});
}

void TestGamesCache::entropyFreeBlobIsUpgraded()
{
    Disk disk;
    QByteArray old;
    QVERIFY(disk.protection.protect(kBody, QByteArray(), &old));
    writeFile(disk.cache.path(), old);

    QStringList log;
    QVERIFY(disk.load(&log));
    QCOMPARE(log, (QStringList{"[GamesAPI] upgraded encrypted cache to entropy-based DPAPI",
                               "[GamesAPI] loaded from disk (encrypted): 2"}));
    QByteArray plain;
    bool legacy = true;
    QVERIFY(disk.cache.decryptGamesCache(readFile(disk.cache.path()), &plain, &legacy));
    QVERIFY(!legacy);
    QCOMPARE(plain, kBody);
    QVERIFY(disk.protection.unprotect(readFile(disk.cache.path()), GamesCache::entropy(), &plain));
}

void TestGamesCache::plainJsonIsMigratedAndRemoved()
{
    Disk disk;
    const QByteArray underGames = R"({"games":[{"id":"arena"},{"id":"kart"},{"id":"moto"}]})";
    writeFile(disk.cache.legacyJsonPath(), underGames);
    QStringList log;
    QVERIFY(disk.load(&log));
    QCOMPARE(log, (QStringList{"[GamesAPI] migrated plaintext games_list.json -> encrypted games_list.dat",
                               "[GamesAPI] loaded from disk (encrypted): 3"}));
    QVERIFY(!QFile::exists(disk.cache.legacyJsonPath()));
    QByteArray plain;
    QVERIFY(disk.cache.decryptGamesCache(readFile(disk.cache.path()), &plain));
    QCOMPARE(plain, underGames);
}

void TestGamesCache::unusableJsonStays()
{
    Disk disk;
    writeFile(disk.cache.legacyJsonPath(), "{\"games\":[{\"id\":");
    QStringList log;
    QVERIFY(!disk.load(&log));
    QVERIFY(log.isEmpty());
    QVERIFY(QFile::exists(disk.cache.legacyJsonPath()));
    QVERIFY(!QFile::exists(disk.cache.path()));
    QVERIFY(!disk.state.catalogueLoaded);
    QVERIFY(disk.dbWrites.isEmpty());
}

void TestGamesCache::copiesThatMustNotOpen_data()
{
    QTest::addColumn<QString>("change");
    QTest::newRow("another device") << "device";
    QTest::newRow("another user's secret") << "secret";
    QTest::newRow("one byte flipped") << "flip";
    QTest::newRow("cut") << "cut";
    QTest::newRow("empty") << "empty";
    QTest::newRow("another format") << "magic";
    QTest::newRow("protected empty list") << "emptylist";
}

void TestGamesCache::copiesThatMustNotOpen()
{
    QFETCH(QString, change);
    Disk disk;
    QVERIFY(disk.cache.saveGamesCache(disk.cache.path(), change == "emptylist" ? QByteArray("[]") : kBody));
    QByteArray blob = readFile(disk.cache.path());
    if (change == "device") {
        DeviceId::setInputReaderForTesting([]() {
            DeviceInputs inputs;
            inputs.hasComputerName = true;
            inputs.computerName = QStringLiteral("another-pc");
            return inputs;
        });
    } else if (change == "secret") {
        QVERIFY(QFile::remove(disk.protection.secretPath()));
        QByteArray unrelated;
        QVERIFY(disk.protection.protect("x", "y", &unrelated)); // a fresh secret
    } else if (change == "flip") {
        blob[blob.size() / 2] = char(blob.at(blob.size() / 2) ^ 0x40);
    } else if (change == "cut") {
        blob.chop(5);
    } else if (change == "empty") {
        blob.clear();
    } else if (change == "magic") {
        blob.replace(0, 4, "XXXX");
    }
    writeFile(disk.cache.path(), blob);

    QStringList log;
    QVERIFY(!disk.load(&log));
    QCOMPARE(log, QStringList());
    QVERIFY(!disk.state.catalogueLoaded);
    QVERIFY(disk.state.items->isEmpty());
    QVERIFY(disk.dbWrites.isEmpty());
    QCOMPARE(readFile(disk.cache.path()), blob); // left for the next good reply to replace
}

void TestGamesCache::failedWriteKeepsTheOldFile_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("the disk is full") << "full";
    QTest::newRow("the temporary file cannot be made") << "blocked";
}

void TestGamesCache::failedWriteKeepsTheOldFile()
{
    QFETCH(QString, how);
    Disk disk;
    QVERIFY(disk.cache.saveGamesCache(disk.cache.path(), kBody));
    const QByteArray before = readFile(disk.cache.path());
    const QString part = disk.cache.path() + ".part";
    if (how == "full") {
        if (!QFile::exists("/dev/full"))
            QSKIP("no /dev/full here");
        QVERIFY(QFile::link("/dev/full", part));
    } else {
        QVERIFY(QDir().mkpath(part + "/inside"));
    }

    QVERIFY(!disk.cache.saveGamesCache(disk.cache.path(), "[{\"id\":\"new\"}]"));
    QCOMPARE(readFile(disk.cache.path()), before);
    if (how == "full")
        QVERIFY(!QFileInfo::exists(part) && !QFileInfo(part).isSymLink());
    QVERIFY(disk.load());
    QCOMPARE(ids(*disk.state.items), (QStringList{"arena", "kart"}));
}

void TestGamesCache::failedProtectionWritesNothing()
{
    QTemporaryDir dir;
    // The secret's folder cannot be made: a file stands where it would go.
    writeFile(dir.filePath("blocked"), "not a folder");
    GamesCache cache(dir.filePath("cache"), DataProtection(dir.filePath("blocked/keys")));
    writeFile(cache.path(), "old copy");
    QTest::ignoreMessage(QtWarningMsg, "[GamesAPI] DPAPI encryption failed for games list cache");
    QVERIFY(!cache.saveGamesCache(cache.path(), kBody));
    QCOMPARE(readFile(cache.path()), QByteArray("old copy"));
    QVERIFY(!QFile::exists(cache.path() + ".part"));
}

void TestGamesCache::olderFormsStayWhenProtectionFails_data()
{
    QTest::addColumn<bool>("json"); // the older copy is games_list.json (else a plain games_list.dat)
    QTest::newRow("plain games_list.dat") << false;
    QTest::newRow("plain games_list.json") << true;
}

void TestGamesCache::olderFormsStayWhenProtectionFails()
{
    QFETCH(bool, json);
    QTemporaryDir dir;
    writeFile(dir.filePath("blocked"), "not a folder");
    GamesCache cache(dir.filePath("cache"), DataProtection(dir.filePath("blocked/keys")));
    const QString older = json ? cache.legacyJsonPath() : cache.path();
    writeFile(older, kBody);

    CatalogueState state;
    QTest::ignoreMessage(QtWarningMsg, "[GamesAPI] DPAPI encryption failed for games list cache");
    QStringList lines;
    {
        DebugLog log(QStringLiteral("[GamesAPI]"));
        QVERIFY(cache.loadGamesCache(&state, {}));
        lines = log.lines();
    }
    // The games are there, but no migration is claimed and the older copy is kept for the next start.
    QCOMPARE(ids(*state.items), (QStringList{"arena", "kart"}));
    QCOMPARE(lines, QStringList{"[GamesAPI] loaded from disk (encrypted): 2"});
    QCOMPARE(readFile(older), kBody);
}

void TestGamesCache::entropyFollowsTheDeviceId()
{
    DeviceId::setInputReaderForTesting([]() {
        DeviceInputs inputs;
        inputs.hasMachineGuid = true;
        inputs.machineGuid = QStringLiteral("0123456789abcdef0123456789abcdef");
        return inputs;
    });
    const QByteArray expected = QCryptographicHash::hash(
        "Devored|TitlesListBlob|v3|" + DeviceId::get().toUtf8(), QCryptographicHash::Sha256);
    QCOMPARE(GamesCache::entropy(), expected);
    QCOMPARE(GamesCache::entropy().size(), 32);
}

// A file larger than any copy within the bounds (left by a client that kept
// whatever the service sent) is not read at all; it stays for the next good
// reply to replace.
void TestGamesCache::overBoundFileIsNeverRead()
{
    Disk disk;
    const QByteArray huge(int(GamesCache::kMaxFileBytes + 1), 'z');
    writeFile(disk.cache.path(), huge);
    DebugLog log(QStringLiteral("[GamesAPI]"), true);
    CatalogueState state;
    bool stored = false;
    QVERIFY(!disk.cache.loadGamesCache(&state, [&stored](const QList<QVariantMap> &) { stored = true; }));
    QCOMPARE(readFile(disk.cache.path()).size(), huge.size());
    QVERIFY(!stored);
    QVERIFY(state.items->isEmpty());
    QVERIFY2(log.lines().join('\n').contains(QStringLiteral("ignored games_list.dat")),
             qPrintable(log.lines().join('\n')));
}

// A copy within the body bound whose games are not (every form a start
// takes over) is cut when read and written back cut, protected.
void TestGamesCache::copyOverTheBoundsIsCut_data()
{
    QTest::addColumn<QString>("form");
    QTest::newRow("protected") << "protected";
    QTest::newRow("plain games_list.dat") << "plain dat";
    QTest::newRow("plain games_list.json") << "plain json";
}

void TestGamesCache::copyOverTheBoundsIsCut()
{
    QFETCH(QString, form);
    Disk disk;
    QJsonArray games;
    for (int i = 0; i < ReplyBounds::kMaxGames + 5; ++i)
        games.append(QJsonObject{{"id", QString::number(i)}, {"title", i == 0 ? QString(9000, 'x') : "g"}});
    const QByteArray body = QJsonDocument(games).toJson(QJsonDocument::Compact);
    QVERIFY(body.size() < ReplyBounds::kMaxBodyBytes);
    if (form == "protected")
        QVERIFY(disk.cache.saveGamesCache(disk.cache.path(), body));
    else
        writeFile(form == "plain dat" ? disk.cache.path() : disk.cache.legacyJsonPath(), body);

    QVERIFY(disk.load());
    QCOMPARE(disk.state.items->size(), ReplyBounds::kMaxGames);
    QCOMPARE(disk.state.items->first().title.size(), ReplyBounds::kMaxTextChars);
    QCOMPARE(disk.dbWrites.first().size(), ReplyBounds::kMaxGames);

    QByteArray plain;
    QVERIFY(disk.cache.decryptGamesCache(readFile(disk.cache.path()), &plain));
    const PreparedCatalogue kept = prepareCatalogue(plain);
    QVERIFY(!kept.report.any());
    QCOMPARE(kept.items.size(), ReplyBounds::kMaxGames);
    QVERIFY(!QFile::exists(disk.cache.legacyJsonPath()));

    // Read again, nothing more to cut: nothing is written.
    const QByteArray blob = readFile(disk.cache.path());
    QVERIFY(disk.load());
    QCOMPARE(readFile(disk.cache.path()), blob);
}

// Replies are kept and copies read on worker threads: two copies of the
// cache writing at once still leave one whole file.
void TestGamesCache::savesFromTwoThreadsTakeTurns()
{
    Disk disk;
    const QByteArray a = QByteArray(R"([{"id":"a","title":")") + QByteArray(200000, 'a') + R"("}])";
    const QByteArray b = QByteArray(R"([{"id":"b","title":")") + QByteArray(300000, 'b') + R"("}])";
    std::atomic<int> failures{0};
    auto writer = [&](const QByteArray &body) {
        const GamesCache copy = disk.cache;
        for (int i = 0; i < 20; ++i)
            failures += copy.saveGamesCache(copy.path(), body) ? 0 : 1;
    };
    std::thread one(writer, a), two(writer, b);
    one.join();
    two.join();
    QCOMPARE(failures.load(), 0);
    QByteArray plain;
    QVERIFY(disk.cache.decryptGamesCache(readFile(disk.cache.path()), &plain));
    QVERIFY(plain == a || plain == b);
    QVERIFY(!QFile::exists(disk.cache.path() + ".part"));
}

QTEST_GUILESS_MAIN(TestGamesCache)
#include "tst_gamescache.moc"
