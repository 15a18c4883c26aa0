// The path-MTU probe with the real ping, in a private network namespace whose
// loopback carries at most 1400 bytes: the bisection ends at payload 1370
// (the largest it tries that fits 1372) and decides 1398.

#include "connection/MtuProbe.h"

#include <QNetworkInterface>
#include <QProcess>
#include <QtTest>

class TestNetnsMtuProbe : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void realPingOverSmallLoopbackMtu();
};

void TestNetnsMtuProbe::initTestCase()
{
    if (SystemTools::findTool(QStringLiteral("ping")).isEmpty())
        QSKIP("ping (iputils-ping) is not installed");
    // Only inside the namespace the runner made: never touch the host's lo.
    QVERIFY(QNetworkInterface::allInterfaces().size() == 1);
    QCOMPARE(QProcess::execute(QStringLiteral("ip"), {"link", "set", "lo", "mtu", "1400"}), 0);
}

void TestNetnsMtuProbe::realPingOverSmallLoopbackMtu()
{
    MtuProbe probe;
    QList<QPair<int, bool>> steps;
    connect(&probe, &MtuProbe::stepFinished, this, [&steps](quint64, int payload, bool ok) {
        steps.append({payload, ok});
    });
    int mtu = -1;
    probe.probe(QStringLiteral("127.0.0.1"), [&mtu](quint64, int m) { mtu = m; });
    QTRY_VERIFY_WITH_TIMEOUT(mtu != -1, 30000);
    const QList<QPair<int, bool>> expected = {{1336, true},  {1404, false}, {1370, true},
                                              {1387, false}, {1378, false}, {1374, false}};
    QCOMPARE(steps, expected);
    QCOMPARE(mtu, 1398);
}

QTEST_GUILESS_MAIN(TestNetnsMtuProbe)
#include "tst_netns_mtuprobe.moc"
