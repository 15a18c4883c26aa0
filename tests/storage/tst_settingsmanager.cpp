// The selected game, relay and connection mode, and the one-time move of the
// old game cards into the database.

#include "StorageFixture.h"
#include "storage/DatabaseManager.h"
#include "storage/SettingsKeys.h"
#include "storage/SettingsManager.h"
#include "support/ClientNames.h"

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <QSettings>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

using namespace StorageFixture;

namespace {

// Lets a test build its own manager over the current settings file and run
// the card migration on demand.
class TestSettingsManager : public SettingsManager
{
public:
    TestSettingsManager() = default;
    using SettingsManager::migrateGameCardsToDb;
};

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class tst_SettingsManager : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir *m_dir = nullptr;
    QString settingsFile() const { return QSettings().fileName(); }
    int connectionRows()
    {
        QSqlDatabase r = openRaw(m_dir->path());
        return scalar(r, "SELECT COUNT(*) FROM user_connections").toInt();
    }

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void freshFileDefaults();
    void settersWriteTheirKeys();
    void serverPort_data();
    void serverPort();
    void keyConstants();

    void cardMigration_data();
    void cardMigration();
    void secondRunWritesNothing();
    void failedDatabaseWriteRetriesNextStart();
    void instanceIsSharedAndMigrates();
};

void tst_SettingsManager::initTestCase()
{
    useClientNames();
    QSettings::setDefaultFormat(QSettings::IniFormat);
}

void tst_SettingsManager::init()
{
    // Every test gets its own settings file and database.
    m_dir = new QTemporaryDir;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir->path());
    QVERIFY(openFresh(*m_dir));
}

void tst_SettingsManager::cleanup()
{
    DatabaseManager::instance()->close();
    closeRaw();
    delete m_dir;
    m_dir = nullptr;
}

void tst_SettingsManager::freshFileDefaults()
{
    TestSettingsManager m;
    QCOMPARE(m.connectionMode(), true);
    QCOMPARE(m.serverPort(), 0);
    QCOMPARE(m.gameTitle(), QString());
    QCOMPARE(m.gameLogo(), QString());
    QCOMPARE(m.serverIp(), QString());
    QVERIFY(settingsFile().startsWith(m_dir->path()));
    QVERIFY(settingsFile().endsWith("/Quorlix/Quorlix.ini"));
}

void tst_SettingsManager::settersWriteTheirKeys()
{
    {
        TestSettingsManager m;
        m.setGame("Apex Legends", "apex.png");
        m.setServer("fra-1", "127.0.0.2", "Frankfurt 1", "DE");
        m.setServerPort(50000);
        m.setConnectionMode(false);
        m.setShowGameDetails(true);
        QCOMPARE(m.gameTitle(), QString("Apex Legends"));
        QCOMPARE(m.serverIp(), QString("127.0.0.2"));
        QCOMPARE(m.connectionMode(), false);
    }
    // Each setter syncs: the file itself holds the values.
    QSettings file(settingsFile(), QSettings::IniFormat);
    QCOMPARE(file.value("game/title").toString(), QString("Apex Legends"));
    QCOMPARE(file.value("game/logo").toString(), QString("apex.png"));
    QCOMPARE(file.value("server/key").toString(), QString("fra-1"));
    QCOMPARE(file.value("server/ip").toString(), QString("127.0.0.2"));
    QCOMPARE(file.value("server/name").toString(), QString("Frankfurt 1"));
    QCOMPARE(file.value("server/country_code").toString(), QString("DE"));
    QCOMPARE(file.value("server/port").toInt(), 50000);
    QCOMPARE(file.value("connection/mode").toBool(), false);
    QCOMPARE(file.value("ui/showGameDetails").toBool(), true);

    TestSettingsManager again;
    QCOMPARE(again.serverPort(), 50000);
    QCOMPARE(again.gameLogo(), QString("apex.png"));
}

void tst_SettingsManager::serverPort_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<bool>("kept");
    QTest::newRow("positive") << 27015 << true;
    QTest::newRow("one") << 1 << true;
    QTest::newRow("zero") << 0 << false;
    QTest::newRow("negative") << -5 << false;
}

void tst_SettingsManager::serverPort()
{
    QFETCH(int, port);
    QFETCH(bool, kept);
    TestSettingsManager m;
    m.setServerPort(443);
    m.setServerPort(port);
    QCOMPARE(m.serverPort(), kept ? port : 0);
    QSettings file(settingsFile(), QSettings::IniFormat);
    QCOMPARE(file.contains("server/port"), kept);
}

void tst_SettingsManager::keyConstants()
{
    QCOMPARE(KEY_GAME_TITLE, QString("game/title"));
    QCOMPARE(KEY_GAME_LOGO, QString("game/logo"));
    QCOMPARE(KEY_SERVER_KEY, QString("server/key"));
    QCOMPARE(KEY_SERVER_IP, QString("server/ip"));
    QCOMPARE(KEY_SERVER_NAME, QString("server/name"));
    QCOMPARE(KEY_SERVER_COUNTRY_CODE, QString("server/country_code"));
    QCOMPARE(KEY_SERVER_PORT, QString("server/port"));
    QCOMPARE(KEY_CONNECTION_MODE, QString("connection/mode"));
    QCOMPARE(KEY_UI_SHOW_GAME_DETAILS, QString("ui/showGameDetails"));
    QCOMPARE(KEY_GAME_CARDS, QString("game/cards"));
}

void tst_SettingsManager::cardMigration_data()
{
    QTest::addColumn<QString>("cards"); // "<none>" leaves the key out
    QTest::addColumn<QStringList>("titles");
    QTest::newRow("three elements, two usable")
        << R"([{"title":"Apex","logo":"a.png","executable":"r5apex.exe"},{"logo":"x.png"},"plain",)"
           R"({"title":"Valorant","logo":"v.png"}])"
        << QStringList({"Apex", "Valorant"});
    QTest::newRow("empty title skipped") << R"([{"title":""},{"title":"Dota 2"}])" << QStringList({"Dota 2"});
    QTest::newRow("empty array") << "[]" << QStringList();
    QTest::newRow("object, not a list") << R"({"title":"Apex"})" << QStringList();
    QTest::newRow("broken JSON") << "{bad" << QStringList();
    QTest::newRow("empty text") << "" << QStringList();
    QTest::newRow("missing key") << "<none>" << QStringList();
}

void tst_SettingsManager::cardMigration()
{
    QFETCH(QString, cards);
    QFETCH(QStringList, titles);
    if (cards != "<none>") {
        QSettings file;
        file.setValue("game/cards", cards);
    }
    if (cards == "{bad" || cards.startsWith("{\""))
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("not a JSON list"));

    TestSettingsManager m;
    m.migrateGameCardsToDb();

    QSqlDatabase r = openRaw(m_dir->path());
    QStringList stored = column(r, "SELECT game_title FROM user_connections");
    stored.sort();
    QCOMPARE(stored, titles);
    if (titles.contains("Apex")) {
        QCOMPARE(scalar(r, "SELECT game_executable FROM user_connections WHERE game_title='Apex'").toString(),
                 QString("r5apex.exe"));
        QCOMPARE(scalar(r, "SELECT server_port FROM user_connections WHERE game_title='Apex'").toInt(), 0);
    }
    QSettings file;
    QCOMPARE(file.value("migration/game_cards_to_db").toBool(), true);
    // The old key stays in the file.
    QCOMPARE(file.contains("game/cards"), cards != "<none>");
}

void tst_SettingsManager::secondRunWritesNothing()
{
    {
        QSettings file;
        file.setValue("game/cards", R"([{"title":"Apex"}])");
    }
    {
        TestSettingsManager first;
        first.migrateGameCardsToDb();
    }
    QCOMPARE(connectionRows(), 1);
    {
        QSqlDatabase r = openRaw(m_dir->path());
        QSqlQuery q(r);
        QVERIFY(q.exec("DELETE FROM user_connections"));
    }
    const QByteArray before = fileBytes(settingsFile());
    QVERIFY(!before.isEmpty());

    TestSettingsManager second;
    second.migrateGameCardsToDb();
    QCOMPARE(connectionRows(), 0);
    QCOMPARE(fileBytes(settingsFile()), before);
}

void tst_SettingsManager::failedDatabaseWriteRetriesNextStart()
{
    {
        QSettings file;
        file.setValue("game/cards", R"([{"title":"Apex"},{"title":"Valorant"}])");
    }
    DatabaseManager::instance()->close();
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("will retry on the next start"));
    {
        TestSettingsManager m;
        m.migrateGameCardsToDb();
    }
    {
        QSettings file;
        QCOMPARE(file.value("migration/game_cards_to_db", false).toBool(), false);
        QVERIFY(file.contains("game/cards"));
    }

    QVERIFY(DatabaseManager::instance()->initialize(m_dir->path()));
    TestSettingsManager next;
    next.migrateGameCardsToDb();
    QCOMPARE(connectionRows(), 2);
    QSettings file;
    QCOMPARE(file.value("migration/game_cards_to_db").toBool(), true);
}

void tst_SettingsManager::instanceIsSharedAndMigrates()
{
    {
        QSettings file;
        file.setValue("game/cards", R"([{"title":"Counter-Strike 2"}])");
    }
    SettingsManager *m = SettingsManager::instance();
    QCOMPARE(SettingsManager::instance(), m);
    QCOMPARE(connectionRows(), 1);
    m->setGame("Counter-Strike 2", "cs2.png");
    QCOMPARE(QSettings().value("game/title").toString(), QString("Counter-Strike 2"));
}

QTEST_GUILESS_MAIN(tst_SettingsManager)
#include "tst_settingsmanager.moc"
