// The connect flow's view of a cached game: its record found by title, and the
// traffic of its record plus its switched-on boost profiles, read from the cache
// database and the application settings.

#include "connection/GamePorts.h"
#include "connection/RelayChoice.h"
#include "services/GamePlatform.h"
#include "storage/DatabaseManager.h"
#include "storage/SettingsManager.h"
#include "support/ClientNames.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

class TestGamePortsDb : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void trafficOfACachedGame();
    void relayChoiceFromTheCache();

private:
    QTemporaryDir m_dir;
};

void TestGamePortsDb::initTestCase()
{
    useClientNames();
    QVERIFY(m_dir.isValid());
    QVERIFY(DatabaseManager::instance()->initialize(m_dir.path()));
    // A catalogue entry as the games API delivers it, JSON lists and all.
    const QJsonObject game{
        {"id", "g7"},
        {"name", "Arena Strike"},
        {"status", "active"},
        {"udp_ports", QJsonArray{"27015-27016"}},
        {"tcp_ports", "443"},
        {"domains", QJsonArray{"Arena.Example.test."}},
        {"profiles",
         QJsonArray{QJsonObject{{"id", "steam"}, {"title", "Steam"}, {"udp_ports", QJsonArray{"3478"}}},
                    QJsonObject{{"title", "Voice"}, {"domains", QJsonArray{"voice.example.test"}}}}},
    };
    QVERIFY(DatabaseManager::instance()->saveGames({game.toVariantMap()}));
}

void TestGamePortsDb::trafficOfACachedGame()
{
    const QVariantMap meta = GamePorts::findGameMetaInDatabase(QStringLiteral("arena"));
    QCOMPARE(meta.value("id").toString(), QStringLiteral("g7"));

    // Steam on by default; the voice profile switched on by the user.
    const QVariantMap voice{{"title", "Voice"}, {"domains", QVariantList{"voice.example.test"}}};
    QSettings().setValue(
        GamePlatform::platformBoostSettingsKey("g7", GamePlatform::platformBoostProfileKey(voice)), true);

    const GamePorts::PcTraffic t = GamePorts::buildPcTraffic(GamePorts::gameTraffic("Arena Strike", meta));
    QCOMPARE(t.udpPorts, (QList<int>{53, 3478, 27015, 27016}));
    QCOMPARE(t.tcpPorts, (QList<int>{53, 443}));
    QVERIFY(t.domains.contains("arena.example.test"));
    QVERIFY(t.domains.contains("*.voice.example.test"));
    QVERIFY(t.domains.contains(QLatin1String(GamePorts::kChatServiceDomain)));

    // Steam switched off: its port goes.
    QSettings().setValue(GamePlatform::platformBoostSettingsKey("g7", "steam"), false);
    const GamePorts::PcTraffic off = GamePorts::buildPcTraffic(GamePorts::gameTraffic("Arena Strike", meta));
    QVERIFY(!off.udpPorts.contains(3478));

    // An unknown title contributes nothing and finds no record.
    QVERIFY(GamePorts::findGameMetaInDatabase(QStringLiteral("Chess")).isEmpty());
    QVERIFY(!GamePorts::buildPcTraffic(GamePorts::gameTraffic("Chess", {})).connectable);
}

void TestGamePortsDb::relayChoiceFromTheCache()
{
    auto relay = [](const char *id, const char *name, const char *ip, const char *region) {
        return QVariantMap{{"id", id},         {"name", name},       {"ip_address", ip},    {"port", 0},
                           {"region", region}, {"status", "active"}, {"country_code", "DE"}};
    };
    QVERIFY(DatabaseManager::instance()->replaceServersCache({relay("a", "Alpha", "127.0.0.31", "Europe"),
                                                              relay("b", "Bravo", "127.0.0.32", " europe "),
                                                              relay("c", "Charlie", "127.0.0.33", "Asia")}));
    const QString dataDir = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    QVERIFY(QDir().mkpath(dataDir));
    QFile pings(RelayChoice::serverPingsPath());
    QVERIFY(pings.open(QIODevice::WriteOnly));
    pings.write(
        R"({"servers":{"a":{"ping":40},"b":{"ping":12},"c":{"ping":1}},"updated_at":"2026-12-10T10:00:00Z"})");
    pings.close();

    SettingsManager::instance()->setServer("manual", "127.0.0.99", "Picked", "FR");
    SettingsManager::instance()->setConnectionMode(true);
    RelayChoice::FailoverList list;
    const RelayChoice::Choice choice =
        RelayChoice::chooseRelay(list, RelayChoice::databaseSources(), RelayChoice::settingsStore());
    QCOMPARE(list.relays.size(), 2); // Europe only, however its region was written
    QCOMPARE(choice.pick.address, QStringLiteral("127.0.0.32"));
    QCOMPARE(choice.pick.port, 50000);
    QCOMPARE(SettingsManager::instance()->serverIp(), QStringLiteral("127.0.0.32"));
    QVERIFY(SettingsManager::instance()->connectionMode());

    // Manual mode takes "server/ip" as the picker stored it; no stored port means 50000.
    SettingsManager::instance()->setServer("manual", " 127.0.0.99 ", "Picked", "FR");
    SettingsManager::instance()->setServerPort(0);
    SettingsManager::instance()->setConnectionMode(false);
    RelayChoice::FailoverList manual;
    const RelayChoice::Choice picked =
        RelayChoice::chooseRelay(manual, RelayChoice::databaseSources(), RelayChoice::settingsStore());
    QVERIFY(!picked.fromFailoverList);
    QCOMPARE(picked.pick.address, QStringLiteral("127.0.0.99"));
    QCOMPARE(picked.pick.port, 50000);
    QVERIFY(!SettingsManager::instance()->connectionMode());
    SettingsManager::instance()->setServerPort(41000);
    QCOMPARE(RelayChoice::pickServer(RelayChoice::databaseSources(), RelayChoice::settingsStore()).port,
             41000);
}

QTEST_GUILESS_MAIN(TestGamePortsDb)
#include "tst_gameportsdb.moc"
