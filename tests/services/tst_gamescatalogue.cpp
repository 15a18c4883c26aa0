// The games request against the fake service: when a call sends a request,
// what each kind of reply does to the items, the disk copy and the database,
// the loading label's texts, the rendering rule and the log lines.

#include "ServiceTestSupport.h"
#include "services/GamesCache.h"
#include "services/GamesCatalogue.h"
#include "services/ReplyBounds.h"
#include "storage/DatabaseManager.h"
#include "support/fakeservice/LoopbackGuard.h"
#include "support/faketools/DebugLog.h"

#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

static const QString kGames = QStringLiteral("/api/games");

static QJsonArray games(int count, const QString &prefix = QStringLiteral("g"))
{
    QJsonArray out;
    for (int i = 0; i < count; ++i)
        out.append(QJsonObject{{"id", QString("%1%2").arg(prefix).arg(i)},
                               {"title", QString("Game %1").arg(i)},
                               {"name", QString("Game %1").arg(i)},
                               {"coverImage", QString("/uploads/covers/%1%2.png").arg(prefix).arg(i)}});
    return out;
}

static QStringList ids(const QList<GameApiItem> &items)
{
    QStringList out;
    for (const GameApiItem &item : items)
        out << item.id;
    return out;
}

// One catalogue wired to the fake, a disk copy in a temporary folder and
// recorders in place of the window and the database.
struct Rig
{
    explicit Rig(const FakeService &fake)
        : client(ServiceTest::clientFor(fake, &owner)),
          cache(dir.filePath("cache"), DataProtection(dir.filePath("keys"))),
          catalogue(std::make_unique<GamesCatalogue>(
              client, cache, [this](const QList<QVariantMap> &games) { dbWrites << games; }))
    {
        auto render = [this]() {
            ++renders;
            catalogue->state()->gridRendered = true;
        };
        QObject::connect(catalogue.get(), &GamesCatalogue::renderRequested, &owner, render);
        QObject::connect(catalogue.get(), &GamesCatalogue::catalogueRefreshed, &owner, [this, render]() {
            if (sectionVisible)
                render();
        });
        QObject::connect(catalogue.get(), &GamesCatalogue::prefetchRequested, &owner,
                         [this]() { prefetched << catalogue->coversToPrefetch(); });
        QObject::connect(catalogue.get(), &GamesCatalogue::loadingTextChanged, &owner,
                         [this](const QString &text) { labelTexts << text; });
    }

    CatalogueState &state() { return *catalogue->state(); }
    // Waits for the request under way to be answered.
    bool settle()
    {
        return QTest::qWaitFor([this]() { return !state().requestInFlight; }, 20000);
    }
    QByteArray diskBody()
    {
        QFile file(cache.path());
        if (!file.open(QIODevice::ReadOnly))
            return QByteArray("<none>");
        QByteArray plain;
        return cache.decryptGamesCache(file.readAll(), &plain) ? plain : QByteArray("<unreadable>");
    }

    QObject owner;
    QTemporaryDir dir;
    ServiceClient *client;
    GamesCache cache;
    std::unique_ptr<GamesCatalogue> catalogue;
    QList<QList<QVariantMap>> dbWrites;
    QList<QStringList> prefetched;
    QStringList labelTexts;
    int renders = 0;
    bool sectionVisible = false;
};

class TestGamesCatalogue : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();
    void gatingBeforeLoad();
    void gatingAfterLoad();
    void replies_data();
    void replies();
    void renderRule_data();
    void renderRule();
    void logLines();
    void prefetchesTheFirst35Covers();
    void hungReplyEndsAsFailure();
    void catalogueGoneBeforeTheReply();
    void storesGamesInTheDatabase();
    void catalogueFromAnotherHostIsNotKept();
    void longCatalogueIsCutAndStoredInSlices();

private:
    FakeService m_fake;
};

void TestGamesCatalogue::initTestCase()
{
    LoopbackGuard::install();
    QVERIFY(m_fake.listen());
}

void TestGamesCatalogue::init()
{
    m_fake.clearScripts();
    m_fake.clearRequests();
    m_fake.setGames(games(3));
}

void TestGamesCatalogue::cleanupTestCase()
{
    QCOMPARE(LoopbackGuard::violations(), QList<QUrl>());
}

void TestGamesCatalogue::gatingBeforeLoad()
{
    FakeReply slow = FakeReply::json(QJsonObject{{"data", games(2)}});
    slow.delayMs = 300;
    m_fake.script("GET", kGames, slow);
    Rig rig(m_fake);

    rig.catalogue->requestGames(false, true);
    QVERIFY(rig.state().requestInFlight);
    QVERIFY(rig.state().silentRequestIssued);
    QVERIFY(rig.labelTexts.isEmpty());

    // While it is under way: a visible call shows the text again, a silent one nothing; neither sends.
    rig.catalogue->requestGames(true, true);
    QCOMPARE(rig.labelTexts, QStringList{GamesCatalogue::loadingText()});
    rig.catalogue->requestGames(false, true);
    QCOMPARE(rig.labelTexts.size(), 1);
    QVERIFY(rig.settle());
    QCOMPARE(m_fake.requestCount(kGames), 1);
    QVERIFY(rig.state().catalogueLoaded);
    QCOMPARE(ids(*rig.catalogue->items()), (QStringList{"g0", "g1"}));
}

void TestGamesCatalogue::gatingAfterLoad()
{
    Rig rig(m_fake);
    // Loaded silently and not rendered (the games section is hidden).
    rig.catalogue->requestGames(false, false);
    QVERIFY(rig.settle());
    QVERIFY(rig.state().catalogueLoaded);
    QCOMPARE(rig.renders, 0);

    // A second silent call renders the grid once but asks nothing.
    rig.catalogue->requestGames(false, true);
    rig.catalogue->requestGames(false, true);
    QCOMPARE(rig.renders, 1);
    QCOMPARE(m_fake.requestCount(kGames), 1);

    // Selecting "Games" asks again, with the text ...
    FakeReply slow = FakeReply::json(QJsonObject{{"data", games(4)}});
    slow.delayMs = 300;
    m_fake.script("GET", kGames, slow);
    rig.catalogue->requestGames(true, true);
    QCOMPARE(rig.labelTexts, QStringList{GamesCatalogue::loadingText()});
    QVERIFY(!rig.state().silentRequestIssued);
    // ... but not while that request is under way, and without showing the text again.
    rig.catalogue->requestGames(true, true);
    rig.catalogue->requestGames(false, true);
    QCOMPARE(rig.labelTexts.size(), 1);
    QVERIFY(rig.settle());
    QCOMPARE(m_fake.requestCount(kGames), 2);
    QCOMPARE(rig.catalogue->items()->size(), 4);

    // After a visible request a silent one may refresh again.
    rig.catalogue->requestGames(false, true);
    QVERIFY(rig.settle());
    QCOMPARE(m_fake.requestCount(kGames), 3);
}

void TestGamesCatalogue::replies_data()
{
    QTest::addColumn<FakeReply>("reply");
    QTest::addColumn<bool>("showLoading");
    QTest::addColumn<QStringList>("ids");   // the items afterwards ("old": kept)
    QTest::addColumn<bool>("replacesDisk"); // the disk copy holds the new body
    QTest::addColumn<int>("dbWrites");      // database writes by this reply
    QTest::addColumn<QString>("label");     // the last label text, "" none

    const QStringList kept{"old0"};
    const QString failed = GamesCatalogue::failedText();
    const QString loading = GamesCatalogue::loadingText();
    QTest::newRow("500 visible") << FakeReply::json(QJsonObject{{"data", games(2)}}, 500) << true << kept
                                 << false << 0 << failed;
    QTest::newRow("500 silent") << FakeReply::statusOnly(500) << false << kept << false << 0 << QString();
    QTest::newRow("dropped connection") << FakeReply::dropped() << true << kept << false << 0 << failed;
    QTest::newRow("empty array empties the list")
        << FakeReply::json(QJsonArray{}) << true << QStringList() << true << 0 << loading;
    QTest::newRow("games under games") << FakeReply::json(QJsonObject{{"games", games(2, "n")}}) << false
                                       << QStringList{"n0", "n1"} << true << 1 << QString();
    QTest::newRow("HTML page") << FakeReply::text("<html>maintenance</html>", 200, "text/html") << true
                               << kept << false << 0 << failed;
    QTest::newRow("empty object") << FakeReply::json(QJsonObject{}) << true << kept << false << 0 << failed;
    QTest::newRow("cut JSON") << FakeReply::text(R"({"data":[{"id":"n0"},)", 200, "application/json") << true
                              << kept << false << 0 << failed;
    QTest::newRow("empty body") << FakeReply::text("", 200, "application/json") << false << kept << false << 0
                                << QString();
    // Over the body bound: dropped unread, whatever it holds.
    QTest::newRow("body over the bound")
        << FakeReply::sized(ReplyBounds::kMaxBodyBytes + 1, "application/json") << true << kept << false << 0
        << failed;
    QJsonArray longTitle = games(2, "n");
    longTitle[0] = QJsonObject{{"id", "n0"}, {"title", QString(100000, 'x')}};
    QTest::newRow("title far over the bound is cut")
        << FakeReply::json(longTitle) << false << QStringList{"n0", "n1"} << true << 1 << QString();
}

void TestGamesCatalogue::replies()
{
    QFETCH(FakeReply, reply);
    QFETCH(bool, showLoading);
    QFETCH(QStringList, ids);
    QFETCH(bool, replacesDisk);
    QFETCH(int, dbWrites);
    QFETCH(QString, label);

    m_fake.setGames(games(1, "old"));
    Rig rig(m_fake);
    rig.catalogue->requestGames(true, false);
    QVERIFY(rig.settle());
    const QByteArray oldBody = rig.diskBody();
    QVERIFY(oldBody.contains("old0"));
    const auto itemsHolder = rig.catalogue->items();
    rig.dbWrites.clear();
    rig.labelTexts.clear();

    m_fake.script("GET", kGames, reply);
    rig.catalogue->requestGames(showLoading, false);
    QVERIFY(rig.settle());
    // Qt's network access retries a GET once on a dropped connection.
    QVERIFY(m_fake.requestCount(kGames) >= 2);

    QCOMPARE(::ids(*rig.catalogue->items()), ids);
    QCOMPARE(::ids(*itemsHolder), ids); // replaced in place: every holder sees it
    QVERIFY(rig.state().catalogueLoaded);
    QCOMPARE(rig.diskBody() != oldBody, replacesDisk);
    QCOMPARE(rig.dbWrites.size(), dbWrites);
    QCOMPARE(rig.labelTexts.isEmpty() ? QString() : rig.labelTexts.last(), label);
    QVERIFY(!QFile::exists(rig.cache.path() + ".part"));
    // Whatever came, the items, the copy and the database hold no text over its bound.
    for (const GameApiItem &item : *rig.catalogue->items())
        QVERIFY(item.title.size() <= ReplyBounds::kMaxTextChars);
    QVERIFY(rig.diskBody().size() < 3 * ReplyBounds::kMaxTextChars);
    for (const QList<QVariantMap> &write : std::as_const(rig.dbWrites)) {
        for (const QVariantMap &game : write)
            QVERIFY(game.value("title").toString().size() <= ReplyBounds::kMaxTextChars);
    }
}

// A catalogue that a redirect brought from another host is shown, but
// neither the disk copy nor the database takes it.
void TestGamesCatalogue::catalogueFromAnotherHostIsNotKept()
{
    FakeService elsewhere;
    QVERIFY(elsewhere.listen(QHostAddress(QStringLiteral("127.0.0.2"))));
    elsewhere.setGames(games(2, "far"));
    m_fake.setGames(games(1, "old"));
    Rig rig(m_fake);
    rig.catalogue->requestGames(true, false);
    QVERIFY(rig.settle());
    const QByteArray oldBody = rig.diskBody();
    rig.dbWrites.clear();

    FakeReply moved = FakeReply::statusOnly(302);
    moved.headers.append({"Location", elsewhere.url(kGames).toEncoded()});
    m_fake.script("GET", kGames, moved);
    DebugLog log(QStringLiteral("[GamesAPI]"), true);
    rig.catalogue->requestGames(true, true);
    QVERIFY(rig.settle());
    QCOMPARE(elsewhere.requestCount(kGames), 1);
    QCOMPARE(ids(*rig.catalogue->items()), (QStringList{"far0", "far1"}));
    QCOMPARE(rig.diskBody(), oldBody);
    QVERIFY(rig.dbWrites.isEmpty());
    QVERIFY(log.lines().join('\n').contains(QStringLiteral("came from another host (127.0.0.2)")));
}

// A long catalogue is cut to its bound and reaches the database a slice
// at a time, in order.
void TestGamesCatalogue::longCatalogueIsCutAndStoredInSlices()
{
    m_fake.setGames(games(ReplyBounds::kMaxGames + 10));
    Rig rig(m_fake);
    rig.catalogue->requestGames(false, false);
    QVERIFY(rig.settle());
    QCOMPARE(rig.catalogue->items()->size(), ReplyBounds::kMaxGames);
    const int slices = ReplyBounds::kMaxGames / GamesCatalogue::kSaveSlice;
    QTRY_COMPARE(rig.dbWrites.size(), slices);
    for (const QList<QVariantMap> &slice : std::as_const(rig.dbWrites))
        QCOMPARE(slice.size(), GamesCatalogue::kSaveSlice);
    QCOMPARE(rig.dbWrites.first().first().value("id").toString(), QString("g0"));
    QCOMPARE(rig.dbWrites.last().last().value("id").toString(),
             QString("g%1").arg(ReplyBounds::kMaxGames - 1));
}

void TestGamesCatalogue::renderRule_data()
{
    QTest::addColumn<bool>("renderNow");
    QTest::addColumn<bool>("sectionVisible");
    QTest::addColumn<int>("renders");
    QTest::newRow("render now") << true << false << 1;
    QTest::newRow("games section showing") << false << true << 1;
    QTest::newRow("games section hidden") << false << false << 0;
}

void TestGamesCatalogue::renderRule()
{
    QFETCH(bool, renderNow);
    QFETCH(bool, sectionVisible);
    QFETCH(int, renders);
    Rig rig(m_fake);
    rig.sectionVisible = sectionVisible;
    rig.catalogue->requestGames(false, renderNow);
    QVERIFY(rig.settle());
    QCOMPARE(rig.renders, renders);
}

void TestGamesCatalogue::logLines()
{
    const QByteArray body = QJsonDocument(QJsonObject{{"data", games(3)}}).toJson(QJsonDocument::Compact);
    QStringList lines;
    {
        DebugLog log(QStringLiteral("[GamesAPI]"));
        Rig rig(m_fake);
        rig.catalogue->requestGames(true, true);
        QVERIFY(rig.settle());
        lines = log.lines();
    }
    QCOMPARE(lines, (QStringList{"[GamesAPI] request start",
                                 QString("[GamesAPI] success http: 200 bytes: %1").arg(body.size()),
                                 "[GamesAPI] parsed items: 3", "[GamesAPI] render tiles: 3"}));

    m_fake.script("GET", kGames, FakeReply::text("oops", 500));
    {
        DebugLog log(QStringLiteral("[GamesAPI]"));
        Rig rig(m_fake);
        rig.catalogue->requestGames(true, true);
        QVERIFY(rig.settle());
        lines = log.lines();
    }
    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines.last().startsWith("[GamesAPI] failed: ") && lines.last().endsWith(" http: 500 bytes: 4"),
             qPrintable(lines.last()));
}

void TestGamesCatalogue::prefetchesTheFirst35Covers()
{
    m_fake.setGames(games(50));
    Rig rig(m_fake);
    rig.catalogue->requestGames(false, true);
    QVERIFY(rig.settle());
    QCOMPARE(rig.prefetched.size(), 1);
    QCOMPARE(rig.prefetched.first().size(), 35);
    QCOMPARE(rig.prefetched.first().first(), QString("/uploads/covers/g0.png"));
    QCOMPARE(rig.prefetched.first().last(), QString("/uploads/covers/g34.png"));
}

void TestGamesCatalogue::hungReplyEndsAsFailure()
{
    FakeReply hang = FakeReply::hanging();
    hang.times = 1;
    m_fake.script("GET", kGames, hang);
    Rig rig(m_fake);
    rig.client->setInactivityTimeout(2000);
    DebugLog log(QStringLiteral("[GamesAPI] failed"));
    rig.catalogue->requestGames(true, true);
    QVERIFY(rig.settle());
    QCOMPARE(log.lines().size(), 1);
    QCOMPARE(rig.labelTexts.last(), GamesCatalogue::failedText());
    QVERIFY(!rig.state().catalogueLoaded);

    // Nothing is stuck: the next request goes out and loads.
    rig.catalogue->requestGames(true, true);
    QVERIFY(rig.settle());
    QCOMPARE(m_fake.requestCount(kGames), 2);
    QCOMPARE(rig.catalogue->items()->size(), 3);
}

void TestGamesCatalogue::catalogueGoneBeforeTheReply()
{
    FakeReply slow = FakeReply::json(QJsonObject{{"data", games(2)}});
    slow.delayMs = 150;
    m_fake.script("GET", kGames, slow);
    Rig rig(m_fake);
    const std::shared_ptr<CatalogueState> state = rig.catalogue->state();
    rig.catalogue->requestGames(true, true);
    rig.catalogue.reset();
    QVERIFY(QTest::qWaitFor([&]() { return !state->requestInFlight; }, 5000));
    QVERIFY(state->items->isEmpty());
    QCOMPARE(rig.renders, 0);
    QVERIFY(rig.dbWrites.isEmpty());
}

void TestGamesCatalogue::storesGamesInTheDatabase()
{
    QTemporaryDir dbDir;
    QVERIFY(DatabaseManager::instance()->initialize(dbDir.path()));
    m_fake.setGames(FakeService::sampleGames());
    QObject owner;
    GamesCache cache(dbDir.filePath("cache"), DataProtection(dbDir.filePath("keys")));
    GamesCatalogue catalogue(ServiceTest::clientFor(m_fake, &owner), cache);
    catalogue.requestGames(false, true);
    QVERIFY(QTest::qWaitFor([&]() { return catalogue.state()->catalogueLoaded; }, 5000));

    const QVariantMap arena = DatabaseManager::instance()->getGameById("arena-strike");
    QCOMPARE(arena.value("name").toString(), QString("Arena Strike"));
    QCOMPARE(arena.value("cover_image").toString(), QString("/uploads/covers/arena-strike.png"));
    QCOMPARE(DatabaseManager::instance()->getActiveGames().size(), FakeService::sampleGames().size());
    DatabaseManager::instance()->close();
}

QTEST_MAIN(TestGamesCatalogue)
#include "tst_gamescatalogue.moc"
