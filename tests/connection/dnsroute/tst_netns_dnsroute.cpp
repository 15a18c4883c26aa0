// The DNS route check end to end: the real nslookup asks a resolver that can
// only answer through the tunnel (DnsTunnelBridge), the real engine behind
// TunnelClient tunnels the query to the test relay on 127.0.0.1:50000, and
// the relay's DNS answer comes back through the engine. Runs in a private
// network namespace (the relay needs port 50000, the wire tap a raw socket).

#include "DnsTunnelBridge.h"
#include "connection/DnsVerifier.h"
#include "engine/qt/TunnelClient.h"
#include "platform/capture/capture_sim.h"
#include "support/testrelay/TestRelay.h"

#include <QtTest>

#include <memory>

namespace {
const int kPlentyMs = 30000;
// Still the 2 s and more that any real process gets, for a slow start.
const int kLimitMs = 3000;
} // namespace

class TestNetnsDnsRoute : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void verification_data();
    void verification();
    void tunnelNotRunning();
    void cancelledAttemptStaysSilent();

private:
    bool startRoute(const QStringList &domains, bool relayListening = true);

    std::unique_ptr<testrelay::TestRelay> m_relay;
    std::unique_ptr<testrelay::WireTap> m_tap;
    std::unique_ptr<TunnelClient> m_client;
    std::unique_ptr<DnsTunnelBridge> m_bridge;
};

void TestNetnsDnsRoute::initTestCase()
{
    if (SystemTools::findTool(QStringLiteral("nslookup")).isEmpty())
        QSKIP("nslookup (bind9-dnsutils) is not installed");
}

void TestNetnsDnsRoute::init()
{
    quorlix_capsim_reset();
    m_bridge = std::make_unique<DnsTunnelBridge>();
    QVERIFY(m_bridge->start());
}

void TestNetnsDnsRoute::cleanup()
{
    if (m_client)
        m_client->stop();
    m_client.reset();
    m_bridge.reset();
    m_tap.reset();
    if (m_relay)
        m_relay->stop();
    m_relay.reset();
}

bool TestNetnsDnsRoute::startRoute(const QStringList &domains, bool relayListening)
{
    m_relay = std::make_unique<testrelay::TestRelay>();
    testrelay::DnsAnswer answer;
    answer.addresses = {"162.159.128.233", "162.159.135.232"};
    m_relay->setDnsAnswer("discord.com", answer);
    testrelay::DnsAnswer missing;
    missing.nxdomain = true;
    m_relay->setDnsAnswer("gone.discord.com", missing);
    if (relayListening && !m_relay->start()) {
        qWarning() << "relay:" << m_relay->errorString().c_str();
        return false;
    }
    m_tap = std::make_unique<testrelay::WireTap>();
    std::string error;
    if (!m_tap->start(
            50000, [](const uint8_t *p, size_t len) { quorlix_capsim_push_inbound(p, len, 1); }, &error)) {
        qWarning() << "wire tap:" << error.c_str();
        return false;
    }
    m_client = std::make_unique<TunnelClient>();
    m_client->setServer(QStringLiteral("127.0.0.1"), 50000);
    m_client->setDomains(domains);
    m_client->setPorts({53}, {80, 443, 53}, true);
    m_client->setMtu(1400);
    m_client->setDebugMode(false);
    if (!m_client->start())
        return false;
    return quorlix_capsim_wait_open_handles(1, 5000) == 1;
}

void TestNetnsDnsRoute::verification_data()
{
    QTest::addColumn<QString>("domain");
    QTest::addColumn<QStringList>("tunnelled");
    QTest::addColumn<bool>("relayListening");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<int>("relayQueriesAtLeast");
    QTest::addColumn<int>("limitMs");

    // Rows that are answered give each lookup far more time than it needs;
    // rows about the lookup's time limit get a short one (nslookup itself
    // would wait 15 s for an answer that never comes).
    const QStringList chat = {"discord.com", "*.discord.com"};
    QTest::newRow("answered through the tunnel")
        << "discord.com" << chat << true << "verified" << 1 << kPlentyMs;
    QTest::newRow("relay knows no such name")
        << "gone.discord.com" << chat << true << "DNS verification failed" << 2 << kPlentyMs;
    QTest::newRow("no relay listening")
        << "discord.com" << chat << false << "DNS verification timeout" << 0 << kLimitMs;
    // A name outside the tunnel's list is not tunnelled, so nothing answers it.
    QTest::newRow("domain not tunnelled")
        << "discord.com" << QStringList{"game.test"} << true << "DNS verification timeout" << 0 << kLimitMs;
}

void TestNetnsDnsRoute::verification()
{
    QFETCH(QString, domain);
    QFETCH(QStringList, tunnelled);
    QFETCH(bool, relayListening);
    QFETCH(QString, outcome);
    QFETCH(int, relayQueriesAtLeast);
    QFETCH(int, limitMs);

    QVERIFY(startRoute(tunnelled, relayListening));

    DnsVerifier verifier(
        SystemTools::ProcessRunner::system(), [this] { return m_client && m_client->isRunning(); }, domain);
    verifier.setIntervals({limitMs, 50});
    verifier.setServer(QStringLiteral("127.0.0.1"), m_bridge->port());
    QStringList seen;
    connect(&verifier, &DnsVerifier::verified, this, [&seen] { seen << QStringLiteral("verified"); });
    connect(&verifier, &DnsVerifier::failed, this, [&seen](const QString &reason) { seen << reason; });
    verifier.verify();
    QTRY_COMPARE_WITH_TIMEOUT(seen.size(), 1, 2 * kPlentyMs + 10000);
    QCOMPARE(seen.first(), outcome);
    QVERIFY(m_bridge->queriesForwarded() >= 1);
    QVERIFY2(m_relay->stats().dnsQueries >= uint64_t(relayQueriesAtLeast),
             qPrintable(QString::number(m_relay->stats().dnsQueries)));
    if (relayQueriesAtLeast == 0)
        QCOMPARE(m_relay->stats().dnsQueries, uint64_t(0));
    if (outcome == QLatin1String("verified"))
        QVERIFY(m_bridge->answersReturned() >= 1);
}

void TestNetnsDnsRoute::tunnelNotRunning()
{
    QVERIFY(startRoute({"discord.com"}));
    QVERIFY(m_client->stop());
    DnsVerifier verifier(
        SystemTools::ProcessRunner::system(), [this] { return m_client->isRunning(); },
        DnsVerifier::chatDomain());
    verifier.setServer(QStringLiteral("127.0.0.1"), m_bridge->port());
    QSignalSpy failed(&verifier, &DnsVerifier::failed);
    verifier.verify();
    QCOMPARE(failed.size(), 1);
    QCOMPARE(failed.first().first().toString(), QStringLiteral("Tunnel is not running"));
    QCOMPARE(m_bridge->queriesForwarded(), 0);
}

void TestNetnsDnsRoute::cancelledAttemptStaysSilent()
{
    QVERIFY(startRoute({"discord.com"}, false));
    DnsVerifier verifier(
        SystemTools::ProcessRunner::system(), [this] { return m_client->isRunning(); },
        DnsVerifier::chatDomain());
    verifier.setIntervals({kLimitMs, 50});
    verifier.setServer(QStringLiteral("127.0.0.1"), m_bridge->port());
    QSignalSpy verified(&verifier, &DnsVerifier::verified);
    QSignalSpy failed(&verifier, &DnsVerifier::failed);
    verifier.verify();
    QTRY_VERIFY(m_bridge->queriesForwarded() >= 1);
    verifier.cancel();
    QTest::qWait(kLimitMs + 300); // past the lookup time-out and the retry delay
    QCOMPARE(verified.size(), 0);
    QCOMPARE(failed.size(), 0);
}

QTEST_GUILESS_MAIN(TestNetnsDnsRoute)
#include "tst_netns_dnsroute.moc"
