// The path-MTU bisection against a scripted ping: which payloads it tries,
// what it decides, and that every probe completes exactly once whatever the
// tool does (no reply, hang, missing, repeated reports).

#include "connection/MtuProbe.h"
#include "support/faketools/DebugLog.h"
#include "support/faketools/FakeRunner.h"

#include <QtTest>

using SystemTools::ToolCommand;
using SystemTools::ToolResult;

namespace {

int payloadOf(const ToolCommand &c)
{
    const int i = c.arguments.indexOf(QStringLiteral("-s"));
    return i >= 0 && i + 1 < c.arguments.size() ? c.arguments.at(i + 1).toInt() : -1;
}

// What iputils ping prints for one don't-fragment request on a path that
// carries payloads up to `maxPayload`.
FakeRunner::Reply linuxPing(const ToolCommand &c, int maxPayload)
{
    const QString a = c.arguments.last();
    const int size = payloadOf(c);
    if (size <= maxPayload) {
        return FakeRunner::reply(FakeRunner::exited(
            c, 0,
            QStringLiteral(
                "PING %1 (%1) %2(%3) bytes of data.\n%4 bytes from %1: icmp_seq=1 ttl=64 time=0.05 ms\n\n"
                "--- %1 ping statistics ---\n1 packets transmitted, 1 received, 0% packet loss, time 0ms\n"
                "rtt min/avg/max/mdev = 0.05/0.05/0.05/0.000 ms\n")
                .arg(a)
                .arg(size)
                .arg(size + 28)
                .arg(size + 8)));
    }
    return FakeRunner::reply(FakeRunner::exited(
        c, 1,
        QStringLiteral("PING %1 (%1) %2(%3) bytes of data.\n\n--- %1 ping statistics ---\n"
                       "1 packets transmitted, 0 received, +1 errors, 100% packet loss, time 0ms\n\n"
                       "ping: local error: message too long, mtu=%4\n")
            .arg(a)
            .arg(size)
            .arg(size + 28)
            .arg(maxPayload + 28)));
}

struct Outcome
{
    QList<quint64> ids;
    QList<int> mtus;
};

} // namespace

class TestMtuProbe : public QObject
{
    Q_OBJECT

private slots:
    void bisection_data();
    void bisection();
    void stepCheck_data();
    void stepCheck();
    void completesOnceWhateverTheTool_data();
    void completesOnceWhateverTheTool();
    void concurrentProbesKeepTheirIds();
    void refusesAddressesThatAreNotLiterals();
    void logLinesAndStepTimeLimit_data();
    void logLinesAndStepTimeLimit();
};

void TestMtuProbe::bisection_data()
{
    QTest::addColumn<int>("maxPayload");
    QTest::addColumn<QList<int>>("payloads");
    QTest::addColumn<int>("mtu");
    QTest::newRow("every step passes") << 100000 << QList<int>{1336, 1404, 1438, 1455, 1464, 1468} << 1496;
    QTest::newRow("every step fails") << 0 << QList<int>{1336, 1267, 1233, 1216, 1207, 1203} << 1228;
    QTest::newRow("path passes up to 1372") << 1372 << QList<int>{1336, 1404, 1370, 1387, 1378, 1374} << 1398;
    QTest::newRow("path passes up to 1200 exactly")
        << 1200 << QList<int>{1336, 1267, 1233, 1216, 1207, 1203} << 1228;
}

void TestMtuProbe::bisection()
{
    QFETCH(int, maxPayload);
    QFETCH(QList<int>, payloads);
    QFETCH(int, mtu);

    FakeRunner runner([maxPayload](const ToolCommand &c) { return linuxPing(c, maxPayload); });
    MtuProbe probe(&runner);
    Outcome out;
    const quint64 id = probe.probe(QStringLiteral("198.51.100.20"), [&out](quint64 i, int m) {
        out.ids << i;
        out.mtus << m;
    });
    QTRY_COMPARE(out.mtus.size(), 1);
    QCOMPARE(out.ids, QList<quint64>{id});
    QCOMPARE(out.mtus.first(), mtu);

    QList<int> tried;
    for (const ToolCommand &c : runner.commands()) {
        QCOMPARE(c.arguments.last(), QStringLiteral("198.51.100.20"));
        tried << payloadOf(c);
    }
    QCOMPARE(tried, payloads);
    QCOMPARE(probe.pending(), 0);
}

void TestMtuProbe::stepCheck_data()
{
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("output");
    QTest::addColumn<bool>("success");

    const QString windowsReply = "\r\nPinging 192.0.2.1 with 1400 bytes of data:\r\n"
                                 "Reply from 192.0.2.1: bytes=1400 time=31ms TTL=57\r\n\r\n"
                                 "Ping statistics for 192.0.2.1:\r\n"
                                 "    Packets: Sent = 1, Received = 1, Lost = 0 (0% loss),\r\n";
    QTest::newRow("windows reply") << 0 << windowsReply << true;
    QTest::newRow("windows reply, failing exit code") << 1 << windowsReply << false;
    QTest::newRow("windows needs fragmenting")
        << 1 << "Pinging 192.0.2.1 with 1472 bytes of data:\r\nPacket needs to be fragmented but DF set.\r\n"
        << false;
    QTest::newRow("windows timed out")
        << 1 << "Pinging 192.0.2.1 with 1472 bytes of data:\r\nRequest timed out.\r\n"
        << false;
    QTest::newRow("lower-case words") << 0 << "reply from 192.0.2.1: bytes=1400 time=3ms TTL=57" << true;
    QTest::newRow("reply and a later time-out") << 0 << windowsReply + "Request timed out.\r\n" << false;
    // A localised Windows ping has no English "Reply from": the step fails.
    QTest::newRow("persian windows reply")
        << 0
        << QString::fromUtf8("در حال ارسال پینگ به 192.0.2.1 با 1400 بایت داده:\r\n"
                             "پاسخ از 192.0.2.1: بایت=1400 زمان=31ms TTL=57\r\n")
        << false;
    QTest::newRow("empty") << 0 << QString() << false;
}

void TestMtuProbe::stepCheck()
{
    QFETCH(int, exitCode);
    QFETCH(QString, output);
    QFETCH(bool, success);
    QCOMPARE(MtuProbe::stepSucceeded(exitCode, output), success);
}

void TestMtuProbe::completesOnceWhateverTheTool_data()
{
    QTest::addColumn<QString>("behaviour");
    QTest::addColumn<int>("mtu");
    QTest::newRow("tool hangs") << "hang" << 1228;
    QTest::newRow("tool missing") << "notfound" << 1228;
    QTest::newRow("tool cannot start") << "failedtostart" << 1228;
    QTest::newRow("tool crashes") << "crashed" << 1228;
    QTest::newRow("persian output") << "persian" << 1228;
    QTest::newRow("job reports twice") << "twice" << 1398;
}

void TestMtuProbe::completesOnceWhateverTheTool()
{
    QFETCH(QString, behaviour);
    QFETCH(int, mtu);

    FakeRunner runner([behaviour](const ToolCommand &c) {
        if (behaviour == QLatin1String("hang"))
            return FakeRunner::hang();
        if (behaviour == QLatin1String("notfound"))
            return FakeRunner::reply(FakeRunner::status(ToolResult::Status::NotFound));
        if (behaviour == QLatin1String("failedtostart"))
            return FakeRunner::reply(FakeRunner::status(ToolResult::Status::FailedToStart));
        if (behaviour == QLatin1String("crashed"))
            return FakeRunner::reply(FakeRunner::status(ToolResult::Status::Crashed));
        if (behaviour == QLatin1String("persian")) {
            SystemTools::ToolResult r;
            r.status = ToolResult::Status::Finished;
            r.exitCode = 0;
            r.output = QString::fromUtf8("پاسخ از 192.0.2.1: بایت=1400 زمان=31ms TTL=57\r\n");
            return FakeRunner::reply(r);
        }
        FakeRunner::Reply r = linuxPing(c, 1372);
        r.reportTwice = true;
        return r;
    });
    MtuProbe probe(&runner);
    probe.setStepTimeout(20);
    QCOMPARE(probe.stepTimeout(), 20);
    QSignalSpy steps(&probe, &MtuProbe::stepFinished);
    QSignalSpy done(&probe, &MtuProbe::finished);
    int calls = 0;
    int result = -1;
    probe.probe(QStringLiteral("192.0.2.1"), [&](quint64, int m) {
        ++calls;
        result = m;
    });
    QTRY_COMPARE(calls, 1);
    QCOMPARE(result, mtu);
    QCOMPARE(steps.size(), 6);
    QCOMPARE(runner.commands().size(), 6);
    if (behaviour == QLatin1String("hang"))
        QCOMPARE(runner.jobsKilled(), 6); // each hung step was ended by the step time-out
    // Nothing more arrives later.
    QTest::qWait(60);
    QCOMPARE(calls, 1);
    QCOMPARE(done.size(), 1);
}

void TestMtuProbe::concurrentProbesKeepTheirIds()
{
    FakeRunner runner([](const ToolCommand &c) {
        return linuxPing(c, c.arguments.last() == QLatin1String("192.0.2.1") ? 100000 : 0);
    });
    MtuProbe probe(&runner);
    QHash<quint64, int> results;
    bool insideCall = true;
    bool completedInsideCall = false;
    auto record = [&](quint64 id, int m) {
        completedInsideCall |= insideCall;
        results.insert(id, m);
    };
    const quint64 first = probe.probe(QStringLiteral("192.0.2.1"), record);
    const quint64 second = probe.probe(QStringLiteral("192.0.2.2"), record);
    insideCall = false;
    QVERIFY(first != second);
    QCOMPARE(probe.pending(), 2);
    QTRY_COMPARE(results.size(), 2);
    QVERIFY(!completedInsideCall);
    QCOMPARE(results.value(first), 1496);
    QCOMPARE(results.value(second), 1228);
}

void TestMtuProbe::refusesAddressesThatAreNotLiterals()
{
    for (const QString &address : {QStringLiteral("-f"), QStringLiteral("1.2.3.4; x")}) {
        FakeRunner runner([](const ToolCommand &c) { return linuxPing(c, 100000); });
        MtuProbe probe(&runner);
        int mtu = -1;
        probe.probe(address, [&mtu](quint64, int m) { mtu = m; });
        QTRY_VERIFY(mtu != -1);
        QCOMPARE(mtu, 1228);
        for (const ToolCommand &c : runner.commands()) {
            QVERIFY(!c.isValid());
            QVERIFY(!c.arguments.contains(address));
        }
    }
}

void TestMtuProbe::logLinesAndStepTimeLimit_data()
{
    QTest::addColumn<bool>("toolMissing");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("path passes up to 1372") << false
                                            << QStringList{"[MTU] Payload: 1336 success: true",
                                                           "[MTU] Payload: 1404 success: false",
                                                           "[MTU] Payload: 1370 success: true",
                                                           "[MTU] Payload: 1387 success: false",
                                                           "[MTU] Payload: 1378 success: false",
                                                           "[MTU] Payload: 1374 success: false",
                                                           "[MTU] Final decision: 1398 (best payload: 1370)"};
    QStringList missing;
    for (int payload : {1336, 1267, 1233, 1216, 1207, 1203})
        missing << "[MTU] Process error: NotFound"
                << QStringLiteral("[MTU] Payload: %1 success: false").arg(payload);
    missing << "[MTU] Final decision: 1228 (best payload: 1200)";
    QTest::newRow("ping missing") << true << missing;
}

void TestMtuProbe::logLinesAndStepTimeLimit()
{
    QFETCH(bool, toolMissing);
    QFETCH(QStringList, expected);

    FakeRunner runner([toolMissing](const ToolCommand &c) {
        return toolMissing ? FakeRunner::reply(FakeRunner::status(ToolResult::Status::NotFound))
                           : linuxPing(c, 1372);
    });
    MtuProbe probe(&runner);
    DebugLog log(QStringLiteral("[MTU]"));
    int mtu = -1;
    probe.probe(QStringLiteral("198.51.100.20"), [&mtu](quint64, int m) { mtu = m; });
    QTRY_VERIFY(mtu != -1);

    QStringList lines = log.lines();
    // The error line goes on with the runner's own reason; only its start is fixed.
    for (QString &line : lines) {
        if (line.startsWith(QLatin1String("[MTU] Process error: ")))
            line = line.section(QLatin1Char(' '), 0, 3);
    }
    QCOMPARE(lines, expected);
    // A hung ping is ended after about three seconds unless told otherwise.
    const QList<ToolCommand> commands = runner.commands();
    QCOMPARE(commands.size(), 6);
    for (const ToolCommand &c : commands)
        QCOMPARE(c.timeoutMs, 3000);
}

QTEST_GUILESS_MAIN(TestMtuProbe)
#include "tst_mtuprobe.moc"
