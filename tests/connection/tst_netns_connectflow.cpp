// A PC game connected end to end inside a private network namespace: the
// relays come from the fake web service through the server synchronisation,
// the game from the cache database, the MTU probe runs the real ping, the real
// engine behind TunnelClient runs on the simulated capture, and the DNS check's
// nslookup can only be answered through the tunnel (DnsTunnelBridge). The first
// Europe relay (127.0.0.11) has nothing listening, so the flow fails over to
// the test relay on 127.0.0.12:50000.

#include "connection/ConnectFlow.h"
#include "connection/MtuProbe.h"
#include "connection/SessionManager.h"
#include "connection/dnsroute/DnsTunnelBridge.h"
#include "engine/qt/TunnelClient.h"
#include "platform/capture/capture_sim.h"
#include "services/ServerSync.h"
#include "services/ServiceClient.h"
#include "storage/DatabaseManager.h"
#include "storage/SettingsManager.h"
#include "support/fakeservice/FakeService.h"
#include "support/fakeservice/LoopbackGuard.h"
#include "support/faketools/DebugLog.h"
#include "support/testrelay/TestRelay.h"

#include <QtTest>

#include <memory>

namespace {

QJsonObject relayJson(const QString &id, const QString &name, const QString &address)
{
    return QJsonObject{
        {"id", id},          {"name", name},       {"hostname", id + ".relay.test"}, {"ip_address", address},
        {"port", 50000},     {"region", "Europe"}, {"country", "Germany"},           {"country_code", "DE"},
        {"status", "active"}};
}

} // namespace

class TestNetnsConnectFlow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void failsOverToTheAnsweringRelayAndDisconnects();

private:
    QTemporaryDir m_dir;
    FakeService m_service;
};

void TestNetnsConnectFlow::initTestCase()
{
    for (const char *tool : {"ping", "nslookup"}) {
        if (SystemTools::findTool(QString::fromLatin1(tool)).isEmpty())
            QSKIP(qPrintable(QStringLiteral("%1 is not installed").arg(QLatin1String(tool))));
    }
    LoopbackGuard::install();
    QVERIFY(DatabaseManager::instance()->initialize(m_dir.path()));
    QVERIFY(m_service.listen());
    m_service.setServers(
        QJsonArray{relayJson("r1", "Alpha", "127.0.0.11"), relayJson("r2", "Bravo", "127.0.0.12")});

    ServiceClient client(ServiceConfig(m_service.origin(), m_service.origin(), m_service.origin()), [] {
        return ServiceApi::Credentials{QStringLiteral("tok"), QStringLiteral("device-1")};
    });
    ServerSync sync(&client, ServersCache::database());
    QList<bool> synced;
    sync.syncServers([&synced](bool ok) { synced << ok; });
    QTRY_COMPARE_WITH_TIMEOUT(synced, QList<bool>{true}, 10000);
    QCOMPARE(DatabaseManager::instance()->getActiveServersInRegion(QStringLiteral("Europe")).size(), 2);

    QVariantMap game{{"id", "g7"},
                     {"name", "Test Game"},
                     {"status", "active"},
                     {"updated_at", "2026-01-01T00:00:00"},
                     {"executable", "testgame.exe"},
                     {"udp_ports", QVariantList{"27015-27020"}},
                     {"tcp_ports", QVariantList{}},
                     {"domains", QVariantList{}}};
    QVERIFY(DatabaseManager::instance()->saveGames({game}));
    SettingsManager::instance()->setGame(QStringLiteral("Test Game"), QStringLiteral("/uploads/test.png"));
    SettingsManager::instance()->setConnectionMode(true);
}

void TestNetnsConnectFlow::cleanupTestCase()
{
    LoopbackGuard::uninstall();
}

void TestNetnsConnectFlow::failsOverToTheAnsweringRelayAndDisconnects()
{
    quorlix_capsim_reset();
    testrelay::TestRelay::Options options;
    options.address = "127.0.0.12";
    testrelay::TestRelay relay(options);
    testrelay::DnsAnswer answer;
    answer.addresses = {"162.159.128.233"};
    relay.setDnsAnswer(DnsVerifier::chatDomain().toStdString(), answer);
    QVERIFY2(relay.start(), relay.errorString().c_str());
    testrelay::WireTap tap;
    std::string error;
    QVERIFY2(tap.start(
                 50000, [](const uint8_t *p, size_t len) { quorlix_capsim_push_inbound(p, len, 1); }, &error),
             error.c_str());
    DnsTunnelBridge bridge;
    QVERIFY(bridge.start());

    TunnelClient tunnelClient;
    MtuProbe probe;
    SessionManager sessions;
    sessions.setTunnelClient(&tunnelClient);
    ConnectFlow::Services services = ConnectFlow::defaultServices(&tunnelClient, &probe, &sessions);
    const quint16 resolverPort = bridge.port();
    services.makeDnsVerifier = [resolverPort](DnsVerifier::TunnelCheck check, QObject *parent) {
        auto *verifier = new DnsVerifier(SystemTools::ProcessRunner::system(), std::move(check),
                                         DnsVerifier::chatDomain(), parent);
        // The first relay never answers, so its lookups run into this limit;
        // the answering relay's real nslookup meets it easily (any real
        // process gets 2 s and more, for a slow start).
        verifier->setIntervals({3000, 50});
        verifier->setServer(QStringLiteral("127.0.0.1"), resolverPort);
        return verifier;
    };
    ConnectFlow flow(services, std::make_shared<ConnectFlowState>());
    QList<int> states;
    connect(&flow, &ConnectFlow::buttonStateChanged, this, [&states](ButtonState s) { states << int(s); });

    DebugLog log(QStringLiteral("[Connect]"));
    flow.press();
    QTRY_VERIFY_WITH_TIMEOUT(flow.state().connected, 60000);
    QVERIFY(
        log.lines().contains(QStringLiteral("[Connect][Failover] Switching to next Europe server idx = 1")));
    QCOMPARE(SettingsManager::instance()->serverIp(), QStringLiteral("127.0.0.12"));
    QVERIFY(tunnelClient.isRunning());
    QVERIFY(relay.stats().dnsQueries >= 1);
    QVERIFY(bridge.answersReturned() >= 1);
    QVERIFY(sessions.isActive());
    QCOMPARE(sessions.currentSession().gameExecutable, QStringLiteral("testgame.exe"));

    flow.press();
    QVERIFY(!tunnelClient.isRunning());
    QCOMPARE(states.last(), 0);
    QFile saved(SessionManager::sessionFilePath());
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QJsonObject session = QJsonDocument::fromJson(saved.readAll()).object();
    QCOMPARE(session.value(QStringLiteral("gameTitle")).toString(), QStringLiteral("Test Game"));
    QCOMPARE(session.value(QStringLiteral("isActive")).toBool(), false);

    QStringList offLoopback;
    for (const QUrl &url : LoopbackGuard::violations())
        offLoopback << url.toString();
    QVERIFY2(offLoopback.isEmpty(), qPrintable(offLoopback.join(QLatin1Char(' '))));
}

QTEST_MAIN(TestNetnsConnectFlow)
#include "tst_netns_connectflow.moc"
