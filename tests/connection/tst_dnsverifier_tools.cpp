// The DNS route check through the real process runner: against the fake
// nslookup script (scripted retries and hangs) and against the real nslookup
// asking a tiny DNS responder on loopback.
//
// Starting a process can take a good part of a second on a busy machine: rows
// about the outcome give each lookup far more time than it needs, and only the
// rows about the lookup time limit (a hung tool, a silent server) get a short
// one, which a lookup that answers still meets easily.

#include "connection/DnsVerifier.h"
#include "support/faketools/FakeRunner.h"
#include "support/faketools/TinyDnsServer.h"

#include <QtTest>

class TestDnsVerifierTools : public QObject
{
    Q_OBJECT

private slots:
    void fakeTool_data();
    void fakeTool();
    void realLookup_data();
    void realLookup();
};

namespace {

const int kPlentyMs = 30000;
const int kLimitMs = 3000;
// Two lookups and the retry between them, with room for a slow machine.
const int kOutcomeWithinMs = 2 * kPlentyMs + 10000;

struct Outcome
{
    QStringList seen;
    void attach(DnsVerifier *v)
    {
        QObject::connect(v, &DnsVerifier::verified, [this] { seen << QStringLiteral("verified"); });
        QObject::connect(v, &DnsVerifier::failed,
                         [this](const QString &reason, const QString &) { seen << reason; });
    }
};

} // namespace

void TestDnsVerifierTools::fakeTool_data()
{
    QTest::addColumn<QByteArray>("modes");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<int>("lookups");
    QTest::addColumn<int>("limitMs");
    QTest::newRow("answer") << QByteArray("ok") << "verified" << 1 << kPlentyMs;
    QTest::newRow("nxdomain then answer") << QByteArray("nxdomain ok") << "verified" << 2 << kPlentyMs;
    QTest::newRow("no answer twice") << QByteArray("noanswer") << "DNS verification failed" << 2 << kPlentyMs;
    QTest::newRow("refused twice") << QByteArray("refused") << "DNS verification failed" << 2 << kPlentyMs;
    QTest::newRow("timed out twice") << QByteArray("timeout") << "DNS verification failed" << 2 << kPlentyMs;
    QTest::newRow("hang twice") << QByteArray("hang") << "DNS verification timeout" << 2 << kLimitMs;
    QTest::newRow("hang then answer") << QByteArray("hang ok") << "verified" << 2 << kLimitMs;
}

void TestDnsVerifierTools::fakeTool()
{
    QFETCH(QByteArray, modes);
    QFETCH(QString, outcome);
    QFETCH(int, lookups);
    QFETCH(int, limitMs);

    QTemporaryDir state;
    FakeTools::PathGuard fakes;
    qputenv("FAKE_NSLOOKUP_MODES", modes);
    qputenv("FAKE_TOOL_STATE", state.path().toLocal8Bit());
    const QString log = state.filePath(QStringLiteral("calls.log"));
    qputenv("FAKE_TOOL_LOG", log.toLocal8Bit());

    DnsVerifier verifier(
        SystemTools::ProcessRunner::system(), [] { return true; }, DnsVerifier::chatDomain());
    verifier.setIntervals({limitMs, 20});
    verifier.setServer(QStringLiteral("127.0.0.1"), 5353);
    Outcome o;
    o.attach(&verifier);
    verifier.verify();
    QTRY_COMPARE_WITH_TIMEOUT(o.seen.size(), 1, kOutcomeWithinMs);
    QCOMPARE(o.seen.first(), outcome);
    QFile calls(log);
    QVERIFY(calls.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = calls.readAll().trimmed().split('\n');
    QCOMPARE(lines.size(), lookups);
    QCOMPARE(lines.first(), QByteArray("nslookup -port=5353 discord.com 127.0.0.1"));
    qunsetenv("FAKE_TOOL_LOG");
}

void TestDnsVerifierTools::realLookup_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<int>("queriesAtLeast");
    QTest::addColumn<int>("limitMs");
    QTest::newRow("answer") << int(TinyDnsServer::Mode::Answer) << "verified" << 1 << kPlentyMs;
    QTest::newRow("nxdomain") << int(TinyDnsServer::Mode::NxDomain) << "DNS verification failed" << 2
                              << kPlentyMs;
    // nslookup itself gives up on a silent server only after 15 s.
    QTest::newRow("silent") << int(TinyDnsServer::Mode::Silent) << "DNS verification timeout" << 2
                            << kLimitMs;
}

void TestDnsVerifierTools::realLookup()
{
    QFETCH(int, mode);
    QFETCH(QString, outcome);
    QFETCH(int, queriesAtLeast);
    QFETCH(int, limitMs);
    if (SystemTools::findTool(QStringLiteral("nslookup")).isEmpty())
        QSKIP("nslookup (bind9-dnsutils) is not installed");

    TinyDnsServer dns;
    QVERIFY(dns.start());
    dns.setMode(TinyDnsServer::Mode(mode));
    DnsVerifier verifier(
        SystemTools::ProcessRunner::system(), [] { return true; }, DnsVerifier::chatDomain());
    verifier.setIntervals({limitMs, 20});
    verifier.setServer(QStringLiteral("127.0.0.1"), dns.port());
    Outcome o;
    o.attach(&verifier);
    verifier.verify();
    QTRY_COMPARE_WITH_TIMEOUT(o.seen.size(), 1, kOutcomeWithinMs);
    QCOMPARE(o.seen.first(), outcome);
    QVERIFY(dns.queries() >= queriesAtLeast);
    QVERIFY(dns.names().contains(QStringLiteral("discord.com")));
}

QTEST_GUILESS_MAIN(TestDnsVerifierTools)
#include "tst_dnsverifier_tools.moc"
