// The path-MTU probe through the real process runner and the fake ping
// script: the Linux options each step really gets, the bisection over the
// normalised output, and a hung ping killed by the step time-out.
//
// Starting a process can take a good part of a second on a busy machine: the
// rows about the result give each ping far more time than it needs, and only
// the hung ping's row, which is about the step time-out, gets a short one
// (still the 2 s any real process here is given).

#include "connection/MtuProbe.h"
#include "support/faketools/FakeRunner.h"

#include <QtTest>

namespace {
const int kPlentyMs = 30000;
const int kHungStepMs = 2000;
// A hung fake ping sleeps this long unless the step time-out kills it.
const int kHangMs = 60000;
} // namespace

class TestMtuProbeTools : public QObject
{
    Q_OBJECT

private slots:
    void bisectionWithFakePing_data();
    void bisectionWithFakePing();
};

void TestMtuProbeTools::bisectionWithFakePing_data()
{
    QTest::addColumn<QByteArray>("mode");
    QTest::addColumn<QByteArray>("maxPayload");
    QTest::addColumn<int>("mtu");
    QTest::addColumn<int>("stepTimeoutMs");
    QTest::newRow("path passes up to 1372") << QByteArray("reply") << QByteArray("1372") << 1398 << kPlentyMs;
    QTest::newRow("every step passes") << QByteArray("reply") << QByteArray() << 1496 << kPlentyMs;
    QTest::newRow("no replies") << QByteArray("timeout") << QByteArray() << 1228 << kPlentyMs;
    QTest::newRow("unreachable") << QByteArray("unreachable") << QByteArray() << 1228 << kPlentyMs;
    QTest::newRow("ping hangs") << QByteArray("hang") << QByteArray() << 1228 << kHungStepMs;
}

void TestMtuProbeTools::bisectionWithFakePing()
{
    QFETCH(QByteArray, mode);
    QFETCH(QByteArray, maxPayload);
    QFETCH(int, mtu);
    QFETCH(int, stepTimeoutMs);

    QTemporaryDir state;
    FakeTools::PathGuard fakes;
    const QString log = state.filePath(QStringLiteral("calls.log"));
    qputenv("FAKE_TOOL_LOG", log.toLocal8Bit());
    qputenv("FAKE_PING_MODE", mode);
    if (maxPayload.isEmpty())
        qunsetenv("FAKE_PING_MAX_PAYLOAD");
    else
        qputenv("FAKE_PING_MAX_PAYLOAD", maxPayload);

    MtuProbe probe;
    probe.setStepTimeout(stepTimeoutMs);
    int result = -1;
    QElapsedTimer clock;
    clock.start();
    probe.probe(QStringLiteral("127.0.0.1"), [&result](quint64, int m) { result = m; });
    QTRY_VERIFY_WITH_TIMEOUT(result != -1, 2 * kHangMs);
    QCOMPARE(result, mtu);
    // Six hung pings left to run out would take six minutes; one alone a minute.
    if (mode == "hang")
        QVERIFY2(clock.elapsed() < kHangMs / 2, "each hung ping ends at the step time-out");

    QFile calls(log);
    QVERIFY(calls.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = calls.readAll().trimmed().split('\n');
    QCOMPARE(lines.size(), 6);
    QCOMPARE(lines.first(), QByteArray("ping -n -c 1 -W 1 -M do -s 1336 -- 127.0.0.1"));
    qunsetenv("FAKE_TOOL_LOG");
    qunsetenv("FAKE_PING_MODE");
    qunsetenv("FAKE_PING_MAX_PAYLOAD");
}

QTEST_GUILESS_MAIN(TestMtuProbeTools)
#include "tst_mtuprobe_tools.moc"
