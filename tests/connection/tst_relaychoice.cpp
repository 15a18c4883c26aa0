// Relay ordering by ping, the failover list, the fallback and manual choices,
// and the write-back of an automatically chosen relay.

#include "connection/RelayChoice.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace RelayChoice;

static QVariantMap relay(const QString &id, const QString &name, const QString &ip = QString(),
                         const QVariant &port = 50000, const QString &region = QStringLiteral("Europe"))
{
    return {{"id", id},     {"name", name},     {"ip_address", ip.isEmpty() ? "127.0.0." + id : ip},
            {"port", port}, {"region", region}, {"country_code", "DE"}};
}

static QStringList ids(const QList<QVariantMap> &relays)
{
    QStringList out;
    for (const QVariantMap &r : relays)
        out << r.value("id").toString();
    return out;
}

// The selected relay kept in memory instead of the settings file.
class MemoryStore : public SelectedRelayStore
{
public:
    bool automatic = true;
    QString key, ip, name, countryCode;
    int port = 0;
    int writes = 0;
    int modeWrites = 0;

    bool connectionMode() const override { return automatic; }
    QString serverIp() const override { return ip; }
    int serverPort() const override { return port; }
    void setServer(const QString &k, const QString &i, const QString &n, const QString &c) override
    {
        key = k, ip = i, name = n, countryCode = c;
        ++writes;
    }
    void setServerPort(int p) override { port = p; }
    void setConnectionMode(bool a) override
    {
        automatic = a;
        ++modeWrites;
    }
};

using Pings = QHash<QString, int>;

class TestRelayChoice : public QObject
{
    Q_OBJECT
private slots:
    void ordering_data();
    void ordering();
    void noRegionRelaysFallsBackToAllActive();
    void ports_data();
    void ports();
    void pingFile_data();
    void pingFile();
    void pickBest_data();
    void pickBest();
    void selectAutomatic_data();
    void selectAutomatic();
    void manualPick();
    void automaticOverwritesManualPick();
    void failoverWalksTheListOnce();
    void emptyListFallsBackToBestRelay();
    void entryWithoutAddressFallsBack();
};

void TestRelayChoice::ordering_data()
{
    QTest::addColumn<QList<QVariantMap>>("relays");
    QTest::addColumn<Pings>("pings");
    QTest::addColumn<QStringList>("order");

    const QList<QVariantMap> four{relay("1", "Delta"), relay("2", "alpha"), relay("3", "Bravo"),
                                  relay("4", "Charlie")};
    QTest::newRow("known ascending, zero first")
        << four << Pings{{"1", 40}, {"2", 0}, {"3", 15}, {"4", 90}} << QStringList{"2", "3", "1", "4"};
    QTest::newRow("unknown after known, by name case-sensitive")
        << four << Pings{{"4", 70}} << QStringList{"4", "3", "1", "2"};
    QTest::newRow("minus one counts as unknown")
        << four << Pings{{"1", -1}, {"2", -1}, {"3", 5}} << QStringList{"3", "4", "1", "2"};
    QTest::newRow("no pings at all: by name") << four << Pings{} << QStringList{"3", "4", "1", "2"};
}

void TestRelayChoice::ordering()
{
    QFETCH(QList<QVariantMap>, relays);
    QFETCH(Pings, pings);
    QFETCH(QStringList, order);
    QCOMPARE(ids(orderByPing(relays, pings)), order);
}

void TestRelayChoice::noRegionRelaysFallsBackToAllActive()
{
    const QList<QVariantMap> all{relay("7", "Zeta", {}, 1, "Asia"), relay("8", "Eta", {}, 1, "Asia")};
    QCOMPARE(ids(failoverOrder({}, all, {{"7", 10}})), (QStringList{"7", "8"}));
    QCOMPARE(ids(failoverOrder({relay("1", "Only")}, all, {})), QStringList{"1"});
}

void TestRelayChoice::ports_data()
{
    QTest::addColumn<QVariant>("port");
    QTest::addColumn<int>("expected");
    QTest::newRow("normal") << QVariant(51000) << 51000;
    QTest::newRow("zero") << QVariant(0) << 50000;
    QTest::newRow("negative") << QVariant(-5) << 50000;
    QTest::newRow("missing") << QVariant() << 50000;
    QTest::newRow("above 65535") << QVariant(70000) << 50000;
    QTest::newRow("text digits") << QVariant(QStringLiteral("40000")) << 40000;
    QTest::newRow("top") << QVariant(65535) << 65535;
}

void TestRelayChoice::ports()
{
    QFETCH(QVariant, port);
    QFETCH(int, expected);
    QCOMPARE(relayPort(relay("1", "A", "10.0.0.1", port)), expected);
}

void TestRelayChoice::pingFile_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<Pings>("pings");
    QTest::newRow("normal")
        << QByteArray(R"({"servers":{"a":{"ping":12,"ip":"1.2.3.4"},"b":{"ping":-1}},"updated_at":"x"})")
        << Pings{{"a", 12}, {"b", -1}};
    QTest::newRow("missing or odd ping is unknown")
        << QByteArray(R"({"servers":{"a":{},"b":{"ping":"7"},"c":{"ping":3.5},"d":5}})")
        << Pings{{"a", -1}, {"b", -1}, {"c", -1}};
    QTest::newRow("servers not an object") << QByteArray(R"({"servers":[1,2]})") << Pings{};
    QTest::newRow("not JSON") << QByteArray("garbage") << Pings{};
    QTest::newRow("empty") << QByteArray() << Pings{};
}

void TestRelayChoice::pingFile()
{
    QFETCH(QByteArray, text);
    QFETCH(Pings, pings);
    QCOMPARE(parsePingJson(text), pings);

    QTemporaryDir dir;
    QFile file(dir.filePath("server_pings.json"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
    file.close();
    QCOMPARE(loadServerPings(file.fileName()), pings);
    QVERIFY(loadServerPings(dir.filePath("missing.json")).isEmpty());
}

void TestRelayChoice::pickBest_data()
{
    QTest::addColumn<Pings>("pings");
    QTest::addColumn<QString>("address");
    QTest::newRow("lowest known") << Pings{{"1", 30}, {"2", 20}, {"3", 25}} << "127.0.0.2";
    QTest::newRow("tie keeps the first") << Pings{{"1", 20}, {"2", 20}} << "127.0.0.1";
    QTest::newRow("none known: first relay") << Pings{{"1", -1}} << "127.0.0.1";
}

void TestRelayChoice::pickBest()
{
    QFETCH(Pings, pings);
    QFETCH(QString, address);
    const Pick pick = RelayChoice::pickBest({relay("1", "A"), relay("2", "B"), relay("3", "C")}, pings);
    QVERIFY(pick.ok);
    QCOMPARE(pick.address, address);
    QVERIFY(!RelayChoice::pickBest({}, {}).ok);
}

void TestRelayChoice::selectAutomatic_data()
{
    QTest::addColumn<Pings>("pings");
    QTest::addColumn<QString>("id");
    QTest::newRow("0 beats a higher ping") << Pings{{"1", 5}, {"2", 0}} << "2";
    QTest::newRow("-1 is ignored") << Pings{{"1", -1}, {"2", 7}} << "2";
    QTest::newRow("no pings: first relay") << Pings{} << "1";
}

// The choice is stored as the selected relay, port 0 read as the default, and
// a manual pick turns back to automatic.
void TestRelayChoice::selectAutomatic()
{
    QFETCH(Pings, pings);
    QFETCH(QString, id);
    MemoryStore store;
    store.automatic = false;
    const QList<QVariantMap> relays{relay("1", "A", QString(), 0), relay("2", "", QString(), 0)};
    const QVariantMap chosen = RelayChoice::selectAutomatic(relays, pings, &store);
    QCOMPARE(chosen.value("id").toString(), id);
    QCOMPARE(store.key, id);
    QCOMPARE(store.ip, "127.0.0." + id);
    QCOMPARE(store.countryCode, QStringLiteral("DE"));
    QCOMPARE(store.port, RelayChoice::kDefaultRelayPort);
    QVERIFY(store.automatic);

    MemoryStore untouched;
    untouched.automatic = false;
    QVERIFY(RelayChoice::selectAutomatic({}, pings, &untouched).isEmpty());
    QCOMPARE(untouched.writes + untouched.modeWrites, 0);
}

void TestRelayChoice::manualPick()
{
    MemoryStore store;
    store.automatic = false;
    store.ip = QStringLiteral("  127.0.0.9 ");
    store.port = 0;
    FailoverList list;
    const Choice choice = chooseRelay(list, Sources{}, &store);
    QVERIFY(choice.pick.ok);
    QVERIFY(!choice.fromFailoverList);
    QCOMPARE(choice.pick.address, QStringLiteral("127.0.0.9"));
    QCOMPARE(choice.pick.port, 50000);
    QCOMPARE(store.writes, 0);
    QCOMPARE(store.modeWrites, 0);
    QVERIFY(!list.built);

    store.ip.clear();
    QVERIFY(!chooseRelay(list, Sources{}, &store).pick.ok);
    // Without a settings store there is no fallback relay.
    QVERIFY(!pickServer(Sources{}, nullptr).ok);
}

void TestRelayChoice::automaticOverwritesManualPick()
{
    MemoryStore store;
    store.automatic = true;
    store.key = "manual", store.ip = "127.0.0.99", store.name = "Hand picked", store.port = 41000;
    Sources sources;
    sources.activeServersInRegion = [](const QString &region) {
        return region == QLatin1String("Europe")
                   ? QList<QVariantMap>{relay("5", "Paris", {}, 0), relay("6", "Oslo")}
                   : QList<QVariantMap>{};
    };
    sources.pings = []() { return Pings{{"6", 10}, {"5", 20}}; };
    FailoverList list;
    const Choice choice = chooseRelay(list, sources, &store);
    QVERIFY(choice.fromFailoverList);
    QCOMPARE(choice.pick.address, QStringLiteral("127.0.0.6"));
    QCOMPARE(store.key, QStringLiteral("6"));
    QCOMPARE(store.ip, QStringLiteral("127.0.0.6"));
    QCOMPARE(store.name, QStringLiteral("Oslo"));
    QCOMPARE(store.countryCode, QStringLiteral("DE"));
    QCOMPARE(store.port, 50000);
    QVERIFY(store.automatic);
    QCOMPARE(store.modeWrites, 1);
}

void TestRelayChoice::failoverWalksTheListOnce()
{
    MemoryStore store;
    int builds = 0;
    Sources sources;
    sources.activeServersInRegion = [&builds](const QString &) {
        ++builds;
        return QList<QVariantMap>{relay("1", "A"), relay("2", "B"), relay("3", "C")};
    };
    FailoverList list;
    QStringList tried;
    tried << chooseRelay(list, sources, &store).pick.address;
    while (list.advance())
        tried << chooseRelay(list, sources, &store).pick.address;
    QCOMPARE(tried, (QStringList{"127.0.0.1", "127.0.0.2", "127.0.0.3"}));
    QCOMPARE(builds, 1);
    QCOMPARE(list.index, 2);
    QVERIFY(!list.canAdvance());

    // After a success, a final failure or a stop the next connection starts over.
    list.reset();
    QCOMPARE(chooseRelay(list, sources, &store).pick.address, QStringLiteral("127.0.0.1"));
    QCOMPARE(builds, 2);

    // Manual mode never fails over.
    FailoverList manual;
    store.automatic = false;
    chooseRelay(manual, sources, &store);
    QVERIFY(!manual.canAdvance());
}

void TestRelayChoice::emptyListFallsBackToBestRelay()
{
    MemoryStore store;
    Sources sources;
    sources.activeServersInRegion = [](const QString &) { return QList<QVariantMap>{}; };
    sources.activeServers = []() { return QList<QVariantMap>{}; };
    FailoverList list;
    const Choice none = chooseRelay(list, sources, &store);
    QVERIFY(list.built);
    QVERIFY(list.relays.isEmpty());
    QVERIFY(!none.pick.ok);
    QCOMPARE(store.writes, 0);
}

void TestRelayChoice::entryWithoutAddressFallsBack()
{
    MemoryStore store;
    store.ip = QStringLiteral("127.0.0.50");
    Sources sources;
    sources.activeServersInRegion = [](const QString &) {
        QVariantMap broken = relay("1", "Broken");
        broken.insert("ip_address", "  ");
        return QList<QVariantMap>{broken};
    };
    sources.activeServers = []() { return QList<QVariantMap>{relay("8", "Fallback")}; };
    FailoverList list;
    const Choice choice = chooseRelay(list, sources, &store);
    QVERIFY(!choice.fromFailoverList);
    QCOMPARE(choice.pick.address, QStringLiteral("127.0.0.8"));
    // The blank entry did not replace the selected relay.
    QCOMPARE(store.writes, 0);
    QCOMPARE(store.ip, QStringLiteral("127.0.0.50"));
}

QTEST_GUILESS_MAIN(TestRelayChoice)
#include "tst_relaychoice.moc"
