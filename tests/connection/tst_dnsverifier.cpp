// The DNS route check against a scripted nslookup: what counts as an answer,
// the single retry shared by failures and time-outs, the immediate failure of
// a lookup that cannot run, and the silence of a cancelled attempt.

#include "connection/DnsVerifier.h"
#include "support/faketools/DebugLog.h"
#include "support/faketools/FakeRunner.h"

#include <QtTest>

using SystemTools::ToolCommand;
using SystemTools::ToolResult;

namespace {

const char *const kAnswer = "Server:\t\t127.0.0.1\nAddress:\t127.0.0.1#53\n\nNon-authoritative answer:\n"
                            "Name:\tdiscord.com\nAddress: 162.159.128.233\n";
const char *const kNxdomain =
    "Server:\t\t127.0.0.1\nAddress:\t127.0.0.1#53\n\n** server can't find discord.com: NXDOMAIN\n";
const char *const kNoAnswer = "Server:\t\t127.0.0.1\nAddress:\t127.0.0.1#53\n\nNon-authoritative answer:\n"
                              "*** Can't find discord.com: No answer\n";

// One scripted lookup: "ok", "nxdomain", "noanswer", "exit1answer", "hang",
// "notfound", "failedtostart", "crashed".
FakeRunner::Reply scripted(const ToolCommand &c, const QString &what)
{
    if (what == QLatin1String("ok"))
        return FakeRunner::reply(FakeRunner::exited(c, 0, QString::fromLatin1(kAnswer)));
    if (what == QLatin1String("nxdomain"))
        return FakeRunner::reply(FakeRunner::exited(c, 1, QString::fromLatin1(kNxdomain)));
    if (what == QLatin1String("noanswer"))
        return FakeRunner::reply(FakeRunner::exited(c, 0, QString::fromLatin1(kNoAnswer)));
    if (what == QLatin1String("exit1answer"))
        return FakeRunner::reply(FakeRunner::exited(c, 1, QString::fromLatin1(kAnswer)));
    if (what == QLatin1String("hang"))
        return FakeRunner::hang();
    if (what == QLatin1String("notfound"))
        return FakeRunner::reply(FakeRunner::status(ToolResult::Status::NotFound));
    if (what == QLatin1String("failedtostart"))
        return FakeRunner::reply(FakeRunner::status(ToolResult::Status::FailedToStart));
    return FakeRunner::reply(FakeRunner::status(ToolResult::Status::Crashed));
}

struct Fixture
{
    explicit Fixture(const QStringList &lookups)
        : runner([this, lookups](const ToolCommand &c) {
              const int n = calls++;
              return scripted(c, lookups.value(n, lookups.last()));
          }),
          verifier(
              &runner, [this] { return tunnelRunning; }, DnsVerifier::chatDomain())
    {
        verifier.setIntervals({40, 10});
        QObject::connect(&verifier, &DnsVerifier::verified,
                         [this] { outcomes << QStringLiteral("verified"); });
        QObject::connect(&verifier, &DnsVerifier::failed,
                         [this](const QString &reason, const QString &message) {
                             outcomes << reason;
                             messages << message;
                         });
    }
    int calls = 0;
    bool tunnelRunning = true;
    FakeRunner runner;
    DnsVerifier verifier;
    QStringList outcomes;
    QStringList messages;
};

} // namespace

class TestDnsVerifier : public QObject
{
    Q_OBJECT

private slots:
    void answerCheck_data();
    void answerCheck();
    void outcomes_data();
    void outcomes();
    void lookupCommand();
    void tunnelNotRunning();
    void cancelIsSilent_data();
    void cancelIsSilent();
    void logLines_data();
    void logLines();
    void timeLimitAndRetryDelay();
};

void TestDnsVerifier::answerCheck_data()
{
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("output");
    QTest::addColumn<bool>("ok");

    const QString windows =
        "Server:  dns.example\r\nAddress:  192.0.2.53\r\n\r\nNon-authoritative answer:\r\n"
        "Name:    discord.com\r\nAddresses:  162.159.128.233\r\n          162.159.135.232\r\n";
    QTest::newRow("windows answer, two addresses") << 0 << windows << true;
    QTest::newRow("windows answer, failing exit code") << 1 << windows << false;
    QTest::newRow("windows timed out despite an address")
        << 0 << "DNS request timed out.\r\n    timeout was 2 seconds.\r\n" + windows << false;
    QTest::newRow("windows non-existent domain")
        << 0
        << "Server:  dns.example\r\nAddress:  192.0.2.53\r\n\r\n*** dns.example can't find discord.com: "
           "Non-existent domain\r\n"
        << false;
    QTest::newRow("windows single address") << 0
                                            << "Server:  UnKnown\r\nAddress:  127.0.0.1\r\n\r\nName:    "
                                               "discord.com\r\nAddress:  162.159.128.233\r\n"
                                            << true;
    QTest::newRow("linux answer") << 0 << SystemTools::normalizeNslookupOutput(QString::fromLatin1(kAnswer))
                                  << true;
    // Only the server header says "Address": no answer.
    QTest::newRow("linux no answer") << 0
                                     << SystemTools::normalizeNslookupOutput(QString::fromLatin1(kNoAnswer))
                                     << false;
    QTest::newRow("linux nxdomain") << 1
                                    << SystemTools::normalizeNslookupOutput(QString::fromLatin1(kNxdomain))
                                    << false;
    QTest::newRow("name with empty address") << 0 << "Name:    discord.com\nAddress:\n" << false;
}

void TestDnsVerifier::answerCheck()
{
    QFETCH(int, exitCode);
    QFETCH(QString, output);
    QFETCH(bool, ok);
    QCOMPARE(DnsVerifier::lookupSucceeded(exitCode, output), ok);
}

void TestDnsVerifier::outcomes_data()
{
    QTest::addColumn<QStringList>("lookups");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<int>("lookupsRun");

    QTest::newRow("answer") << QStringList{"ok"} << "verified" << 1;
    QTest::newRow("failure then answer") << QStringList{"nxdomain", "ok"} << "verified" << 2;
    QTest::newRow("time-out then answer") << QStringList{"hang", "ok"} << "verified" << 2;
    QTest::newRow("two failures") << QStringList{"nxdomain", "nxdomain"} << "DNS verification failed" << 2;
    QTest::newRow("answer without address twice")
        << QStringList{"noanswer"} << "DNS verification failed" << 2;
    QTest::newRow("exit code 1 with an address")
        << QStringList{"exit1answer"} << "DNS verification failed" << 2;
    QTest::newRow("two time-outs") << QStringList{"hang"} << "DNS verification timeout" << 2;
    QTest::newRow("failure then time-out")
        << QStringList{"nxdomain", "hang"} << "DNS verification timeout" << 2;
    QTest::newRow("time-out then failure")
        << QStringList{"hang", "crashed"} << "DNS verification failed" << 2;
    QTest::newRow("tool missing") << QStringList{"notfound"} << "DNS verification failed" << 1;
    QTest::newRow("tool cannot start") << QStringList{"failedtostart"} << "DNS verification failed" << 1;
}

void TestDnsVerifier::outcomes()
{
    QFETCH(QStringList, lookups);
    QFETCH(QString, outcome);
    QFETCH(int, lookupsRun);

    Fixture f(lookups);
    f.verifier.verify();
    QTRY_COMPARE(f.outcomes.size(), 1);
    QCOMPARE(f.outcomes.first(), outcome);
    if (outcome != QLatin1String("verified"))
        QCOMPARE(f.messages.first(), QStringLiteral("Connection failed. Please try another server."));
    QCOMPARE(f.verifier.isVerified(), outcome == QLatin1String("verified"));
    QCOMPARE(f.verifier.isFinished(), true);
    // Exactly one outcome, and no further lookups once decided.
    QTest::qWait(100);
    QCOMPARE(f.outcomes.size(), 1);
    QCOMPARE(f.calls, lookupsRun);
    f.verifier.verify();
    QTest::qWait(20);
    QCOMPARE(f.calls, lookupsRun);
}

void TestDnsVerifier::lookupCommand()
{
    Fixture f({"ok"});
    f.verifier.setServer(QStringLiteral("127.0.0.1"), 5353);
    f.verifier.setIntervals({4000, 600});
    f.verifier.verify();
    QTRY_COMPARE(f.outcomes.size(), 1);
    const QList<ToolCommand> commands = f.runner.commands();
    QCOMPARE(commands.size(), 1);
    QCOMPARE(commands.first().program, QStringLiteral("nslookup"));
    QCOMPARE(commands.first().arguments, (QStringList{"-port=5353", "discord.com", "127.0.0.1"}));
    QCOMPARE(commands.first().timeoutMs, 4000);
}

void TestDnsVerifier::tunnelNotRunning()
{
    {
        Fixture f({"ok"});
        f.tunnelRunning = false;
        f.verifier.verify();
        QCOMPARE(f.outcomes, QStringList{"Tunnel is not running"});
        QCOMPARE(f.calls, 0);
    }
    {
        // The tunnel dies between the first lookup and its retry.
        Fixture f({"nxdomain", "ok"});
        f.verifier.verify();
        QTRY_COMPARE(f.calls, 1);
        f.tunnelRunning = false;
        QTRY_COMPARE(f.outcomes, QStringList{"Tunnel is not running"});
        QCOMPARE(f.calls, 1);
    }
}

void TestDnsVerifier::cancelIsSilent_data()
{
    QTest::addColumn<QStringList>("lookups");
    QTest::addColumn<int>("cancelAfterCalls");
    QTest::newRow("during the lookup") << QStringList{"hang"} << 1;
    QTest::newRow("during the retry delay") << QStringList{"nxdomain", "ok"} << 1;
}

void TestDnsVerifier::cancelIsSilent()
{
    QFETCH(QStringList, lookups);
    QFETCH(int, cancelAfterCalls);

    Fixture f(lookups);
    f.verifier.setIntervals({10000, 50});
    f.verifier.verify();
    QTRY_COMPARE(f.calls, cancelAfterCalls);
    if (lookups.first() == QLatin1String("nxdomain"))
        QTRY_COMPARE(f.verifier.retriesUsed(), 1);
    f.verifier.cancel();
    QVERIFY(f.verifier.isCancelled());
    QTest::qWait(150);
    QVERIFY(f.outcomes.isEmpty());
    QCOMPARE(f.calls, cancelAfterCalls);
    QVERIFY(!f.verifier.isBusy());
    if (lookups.first() == QLatin1String("hang"))
        QCOMPARE(f.runner.jobsKilled(), 1);
}

void TestDnsVerifier::logLines_data()
{
    QTest::addColumn<QStringList>("lookups");
    QTest::addColumn<QStringList>("expected");
    const QString start = QStringLiteral("[Verify] DNS nslookup: discord.com");
    QTest::newRow("answer") << QStringList{"ok"} << QStringList{start, "[Verify] DNS ok: true"};
    QTest::newRow("failure then answer")
        << QStringList{"nxdomain", "ok"}
        << QStringList{start, "[Verify] DNS ok: false", "[Verify] DNS retry...", start,
                       "[Verify] DNS ok: true"};
    QTest::newRow("two time-outs") << QStringList{"hang"}
                                   << QStringList{start, "[Verify] DNS timeout", "[Verify] DNS retry...",
                                                  start, "[Verify] DNS timeout"};
}

void TestDnsVerifier::logLines()
{
    QFETCH(QStringList, lookups);
    QFETCH(QStringList, expected);
    Fixture f(lookups);
    DebugLog log(QStringLiteral("[Verify]"));
    f.verifier.verify();
    QTRY_COMPARE(f.outcomes.size(), 1);
    QCOMPARE(log.lines(), expected);
}

void TestDnsVerifier::timeLimitAndRetryDelay()
{
    // Without intervals of its own a lookup may take 4000 ms and the retry
    // waits 600 ms; the retry below waits the delay it was given.
    QCOMPARE(DnsVerifier::Intervals().retryDelayMs, 600);
    QElapsedTimer clock;
    QList<qint64> startedAt;
    FakeRunner runner([&](const ToolCommand &c) {
        startedAt << clock.elapsed();
        return scripted(c, startedAt.size() == 1 ? QStringLiteral("nxdomain") : QStringLiteral("ok"));
    });
    DnsVerifier verifier(
        &runner, [] { return true; }, DnsVerifier::chatDomain());
    QSignalSpy verified(&verifier, &DnsVerifier::verified);
    clock.start();
    verifier.verify();
    QTRY_COMPARE(startedAt.size(), 1);
    QCOMPARE(runner.commands().first().timeoutMs, 4000);
    verifier.cancel(); // no real 600 ms wait here

    startedAt.clear();
    DnsVerifier quick(
        &runner, [] { return true; }, DnsVerifier::chatDomain());
    quick.setIntervals({4000, 200});
    QSignalSpy quickVerified(&quick, &DnsVerifier::verified);
    clock.restart();
    quick.verify();
    QTRY_COMPARE(quickVerified.size(), 1);
    QCOMPARE(startedAt.size(), 2);
    QVERIFY2(startedAt.at(1) - startedAt.at(0) >= 190, qPrintable(QString::number(startedAt.at(1))));
    QCOMPARE(verified.size(), 0);
}

QTEST_GUILESS_MAIN(TestDnsVerifier)
#include "tst_dnsverifier.moc"
