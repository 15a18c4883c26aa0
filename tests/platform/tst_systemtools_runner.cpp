// The real process runner driven against the fake tool scripts on PATH: how
// each kind of ending is reported (once, from the event loop), the time limit
// and kill, the blocking form with its cancel flag, and the environment the
// tools get.

#include "platform/ProcessRunner.h"
#include "support/faketools/FakeRunner.h"

#include <QFile>
#include <QtTest>

#include <thread>

using namespace SystemTools;

Q_DECLARE_METATYPE(SystemTools::ToolResult::Status)

namespace {

// The fake tools' "hang" mode sleeps this long: a tool ended well before it
// was ended by the runner.
const int kHangMs = 60000;
// A time limit the test runs into: still the 2 s any real process here gets,
// so a busy machine's slow start is not what the limit catches.
const int kLimitMs = 2000;

QString tmpPath(const QString &name)
{
    return QDir(qEnvironmentVariable("QUORLIX_TEST_TMP", QDir::tempPath())).filePath(name);
}

void writeScript(const QString &path, const QByteArray &text)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text);
    f.close();
    f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

ToolCommand custom(const QString &program)
{
    ToolCommand c;
    c.kind = ToolKind::DnsFlush; // output passes through unchanged
    c.os = HostOs::Linux;
    c.program = program;
    return c;
}

ToolResult runAsync(const ToolCommand &command, bool killAtOnce = false)
{
    ProcessRunner *runner = ProcessRunner::system();
    QObject owner;
    ToolJob *job = runner->start(command, &owner);
    QList<ToolResult> results;
    QObject::connect(job, &ToolJob::finished, [&results](const ToolResult &r) { results << r; });
    if (killAtOnce) {
        QTest::qWait(150); // let it start
        job->kill();
    }
    [&] { QTRY_COMPARE_WITH_TIMEOUT(results.size(), 1, kHangMs / 2); }();
    QTest::qWait(30);
    [&] { QCOMPARE(results.size(), 1); }();
    return results.value(0);
}

} // namespace

class TestSystemToolsRunner : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void endings_data();
    void endings();
    void killEndsATool();
    void nothingIsReportedInsideStart();
    void toolsRunInTheCLocale();
    void blockingRun();
    void arpListingFromTheKernelTable();

private:
    QTemporaryDir m_state;
};

void TestSystemToolsRunner::initTestCase()
{
    QVERIFY(QFile::exists(FakeTools::binDir() + QStringLiteral("/ping")));
    writeScript(tmpPath("badinterp"), "#!/nonexistent/interpreter\necho never\n");
    writeScript(tmpPath("printenv-locale"), "#!/bin/sh\necho \"LC_ALL=$LC_ALL LANG=$LANG\"\n");
}

void TestSystemToolsRunner::init()
{
    qputenv("FAKE_PING_MODE", "reply");
    qunsetenv("FAKE_PING_MAX_PAYLOAD");
    qunsetenv("FAKE_NSLOOKUP_MODES");
    qputenv("FAKE_TOOL_STATE", m_state.path().toLocal8Bit());
    QFile::remove(m_state.filePath("nslookup.count"));
}

void TestSystemToolsRunner::endings_data()
{
    QTest::addColumn<ToolCommand>("command");
    QTest::addColumn<QByteArray>("pingMode");
    QTest::addColumn<QByteArray>("nslookupMode");
    QTest::addColumn<ToolResult::Status>("status");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("outputHas");

    const QString a = QStringLiteral("127.0.0.1");
    QTest::newRow("ping reply") << mtuProbeCommand(a, 1300) << QByteArray("reply") << QByteArray()
                                << ToolResult::Status::Finished << 0
                                << "Reply from 127.0.0.1: bytes=1300 time<1ms TTL=64";
    QTest::newRow("ping no reply") << livePingCommand(a) << QByteArray("timeout") << QByteArray()
                                   << ToolResult::Status::Finished << 1 << "Request timed out.";
    QTest::newRow("nslookup answer") << dnsLookupCommand("discord.com", a, 5353) << QByteArray()
                                     << QByteArray("ok") << ToolResult::Status::Finished << 0
                                     << "Name:    discord.com\nAddress:  198.51.100.7";
    // The refusal goes to standard error; it is part of the output all the same.
    QTest::newRow("nslookup refused")
        << dnsLookupCommand("discord.com", a, 9) << QByteArray() << QByteArray("refused")
        << ToolResult::Status::Finished << 1 << "failed: connection refused";
    ToolCommand limited = sweepPingCommand(a);
    limited.timeoutMs = kLimitMs;
    QTest::newRow("hang past the time limit")
        << limited << QByteArray("hang") << QByteArray() << ToolResult::Status::TimedOut << -1 << QString();
    QTest::newRow("refused address") << mtuProbeCommand("-f", 1300) << QByteArray("reply") << QByteArray()
                                     << ToolResult::Status::Refused << -1 << QString();
    QTest::newRow("not on PATH") << custom("quorlix-no-such-tool") << QByteArray() << QByteArray()
                                 << ToolResult::Status::NotFound << -1 << QString();
    QTest::newRow("cannot start") << custom(tmpPath("badinterp").section('/', -1)) << QByteArray()
                                  << QByteArray() << ToolResult::Status::FailedToStart << -1 << QString();
}

void TestSystemToolsRunner::endings()
{
    QFETCH(ToolCommand, command);
    QFETCH(QByteArray, pingMode);
    QFETCH(QByteArray, nslookupMode);
    QFETCH(ToolResult::Status, status);
    QFETCH(int, exitCode);
    QFETCH(QString, outputHas);

    FakeTools::PathGuard fakes;
    FakeTools::PathGuard temp(QFileInfo(tmpPath("x")).absolutePath());
    if (!pingMode.isEmpty())
        qputenv("FAKE_PING_MODE", pingMode);
    if (!nslookupMode.isEmpty())
        qputenv("FAKE_NSLOOKUP_MODES", nslookupMode);

    QElapsedTimer clock;
    clock.start();
    const ToolResult r = runAsync(command);
    QCOMPARE(statusName(r.status), statusName(status));
    if (status == ToolResult::Status::Finished)
        QCOMPARE(r.exitCode, exitCode);
    QVERIFY2(r.output.contains(outputHas), qPrintable(r.output));
    if (status == ToolResult::Status::TimedOut)
        QVERIFY(clock.elapsed() < kHangMs / 2);
}

void TestSystemToolsRunner::killEndsATool()
{
    FakeTools::PathGuard fakes;
    qputenv("FAKE_PING_MODE", "hang");
    QElapsedTimer clock;
    clock.start();
    const ToolResult r = runAsync(livePingCommand("127.0.0.1"), true);
    QCOMPARE(statusName(r.status), "Killed");
    QVERIFY(clock.elapsed() < kHangMs / 2);
}

void TestSystemToolsRunner::nothingIsReportedInsideStart()
{
    // Even a failure known before anything runs comes later, so a caller that
    // connects after start() never misses it.
    QObject owner;
    int reports = 0;
    for (const ToolCommand &c : {mtuProbeCommand("-f", 1300), custom("quorlix-no-such-tool")}) {
        ToolJob *job = ProcessRunner::system()->start(c, &owner);
        QVERIFY(job->isRunning());
        connect(job, &ToolJob::finished, [&reports] { ++reports; });
    }
    QCOMPARE(reports, 0);
    QTRY_COMPARE(reports, 2);
}

void TestSystemToolsRunner::toolsRunInTheCLocale()
{
    FakeTools::PathGuard temp(QFileInfo(tmpPath("x")).absolutePath());
    qputenv("LC_ALL", "fa_IR.UTF-8");
    qputenv("LANG", "fa_IR.UTF-8");
    const ToolResult r = runAsync(custom("printenv-locale"));
    qputenv("LC_ALL", "C");
    qputenv("LANG", "C");
    QCOMPARE(r.output.trimmed(), QStringLiteral("LC_ALL=C LANG=C"));
}

void TestSystemToolsRunner::blockingRun()
{
    FakeTools::PathGuard fakes;
    ProcessRunner *runner = ProcessRunner::system();

    qputenv("FAKE_PING_MODE", "reply");
    ToolResult r = runner->run(mtuProbeCommand("127.0.0.1", 1400));
    QCOMPARE(statusName(r.status), "Finished");
    QVERIFY(r.output.contains("Reply from 127.0.0.1"));

    qputenv("FAKE_PING_MODE", "hang");
    ToolCommand limited = livePingCommand("127.0.0.1");
    limited.timeoutMs = kLimitMs;
    QElapsedTimer clock;
    clock.start();
    r = runner->run(limited);
    QCOMPARE(statusName(r.status), "TimedOut");
    QVERIFY(clock.elapsed() < kHangMs / 2);

    std::atomic<bool> cancel{false};
    std::thread canceller([&cancel] {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        cancel = true;
    });
    clock.restart();
    r = runner->run(livePingCommand("127.0.0.1"), &cancel);
    canceller.join();
    QCOMPARE(statusName(r.status), "Killed");
    QVERIFY(clock.elapsed() < kHangMs / 2);

    QCOMPARE(statusName(runner->run(custom("quorlix-no-such-tool")).status), "NotFound");
    QCOMPARE(statusName(runner->run(livePingCommand("1.2.3.4 -f")).status), "Refused");
}

void TestSystemToolsRunner::arpListingFromTheKernelTable()
{
    const QString table = tmpPath("arp-table");
    QFile f(table);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("IP address       HW type     Flags       HW address            Mask     Device\n"
            "172.22.255.37    0x1         0x2         7c:bb:8a:01:02:03     *        quorlix-no-dev\n");
    f.close();
    const ToolResult r = ProcessRunner::system()->run(arpCommand(HostOs::Linux, table));
    QCOMPARE(statusName(r.status), "Finished");
    QVERIFY2(r.output.contains("Interface: quorlix-no-dev --- 0x0"), qPrintable(r.output));
    QVERIFY(r.output.contains("  172.22.255.37         7c-bb-8a-01-02-03     dynamic"));
    QCOMPARE(statusName(runAsync(arpCommand(HostOs::Linux, tmpPath("missing-table"))).status),
             "FailedToStart");
}

QTEST_GUILESS_MAIN(TestSystemToolsRunner)
#include "tst_systemtools_runner.moc"
