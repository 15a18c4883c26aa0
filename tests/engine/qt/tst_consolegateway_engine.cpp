// ConsoleGatewayEmbedded with the real console engine on the simulated
// driver: a run that starts and is stopped, runs the engine refuses at start,
// and many start/stop cycles with stops at every moment of a run.

#include "engine/qt/ConsoleGatewayEmbedded.h"
#include "platform/driver/driver_sim.h"
#include "support/EngineLogCapture.h"

#include <QSignalSpy>
#include <QtTest>

#include <memory>

class TestConsoleGatewayEngine : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void runStartsAndStops();
    void startFailures_data();
    void startFailures();
    void manyStartStopCycles();

private:
    std::unique_ptr<EngineLogCapture> m_log; // keeps the engine's lines out of the test output
};

void TestConsoleGatewayEngine::init()
{
    m_log = std::make_unique<EngineLogCapture>();
    quorlix_drvsim_install();
}

void TestConsoleGatewayEngine::cleanup()
{
    quorlix_drvsim_uninstall();
    m_log.reset();
}

void TestConsoleGatewayEngine::runStartsAndStops()
{
    ConsoleGatewayEmbedded gw;
    QSignalSpy started(&gw, &ConsoleGatewayEmbedded::started);
    QSignalSpy stopped(&gw, &ConsoleGatewayEmbedded::stopped);
    QVERIFY(gw.start(" 127.0.0.1 ", 50000, "", "3074", "3074", false));
    QTRY_COMPARE_WITH_TIMEOUT(started.count(), 1, 5000);
    QVERIFY(quorlix_drvsim_wait_mapped(1, 5000)); // the engine is in its reader loop
    QVERIFY(quorlix_drvsim_is_open());
    QVERIFY(gw.isRunning());
    QCOMPARE(stopped.count(), 0);

    gw.stop();
    QVERIFY(!gw.isRunning());
    QVERIFY(!quorlix_drvsim_is_open()); // cleaned up before the join returned
    QTRY_COMPARE(stopped.count(), 1);
    QCOMPARE(stopped.at(0).at(0).toInt(), 0);
    // A blank profile runs as "custom"; the padded address reached the engine
    // trimmed (it refuses anything but a dotted IPv4 address).
    QVERIFY(!m_log->all().filter(QRegularExpression("^\\[CONFIG\\] Runtime profile 'custom'")).isEmpty());
    QCOMPARE(m_log->all().last().trimmed(), QString("[EXIT] Console gateway stopped"));
}

void TestConsoleGatewayEngine::startFailures_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("driver");
    QTest::newRow("no driver") << "127.0.0.1" << false;
    QTest::newRow("host name for a relay") << "relay.example" << true;
    QTest::newRow("address out of range") << "300.1.1.1" << true;
}

void TestConsoleGatewayEngine::startFailures()
{
    QFETCH(QString, address);
    QFETCH(bool, driver);
    if (!driver)
        quorlix_drvsim_uninstall();
    ConsoleGatewayEmbedded gw;
    QSignalSpy started(&gw, &ConsoleGatewayEmbedded::started);
    QSignalSpy stopped(&gw, &ConsoleGatewayEmbedded::stopped);
    QVERIFY(gw.start(address, 50000, "custom", "", "", false));
    QTRY_COMPARE_WITH_TIMEOUT(stopped.count(), 1, 5000);
    QCOMPARE(started.count(), 1);
    QCOMPARE(stopped.at(0).at(0).toInt(), 1);
    QVERIFY(!gw.isRunning()); // ended on its own; no stop was asked for
    QCOMPARE(quorlix_drvsim_open_count(), size_t(0));
    gw.stop();
}

void TestConsoleGatewayEngine::manyStartStopCycles()
{
    ConsoleGatewayEmbedded gw;
    QSignalSpy started(&gw, &ConsoleGatewayEmbedded::started);
    QSignalSpy stopped(&gw, &ConsoleGatewayEmbedded::stopped);
    QSignalSpy errors(&gw, &ConsoleGatewayEmbedded::errorOccurred);
    const int cycles = 100;
    size_t mapped = 0;
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < cycles; ++i) {
        QVERIFY(gw.start("127.0.0.1", 50000, "custom", "3074", "", i % 2));
        switch (i % 4) {
        case 0: // at once: usually before the engine's main has begun
            break;
        case 1: // once the worker has begun
            QTRY_COMPARE_WITH_TIMEOUT(started.count(), i + 1, 5000);
            break;
        case 2: // inside the reader loop
            QVERIFY(quorlix_drvsim_wait_mapped(++mapped, 5000));
            break;
        case 3: // somewhere in the engine's start-up
            QThread::usleep(200 * (i % 7));
            break;
        }
        gw.stop();
        QVERIFY(!gw.isRunning());
        QVERIFY(!quorlix_drvsim_is_open());
        mapped = quorlix_drvsim_open_count();
    }
    QTRY_COMPARE_WITH_TIMEOUT(stopped.count(), cycles, 5000);
    QCOMPARE(started.count(), cycles);
    QCOMPARE(errors.count(), 0);
    for (const QList<QVariant> &s : stopped)
        QCOMPARE(s.at(0).toInt(), 0);
    qInfo("%d cycles in %lld ms", cycles, t.elapsed());
}

QTEST_MAIN(TestConsoleGatewayEngine)
#include "tst_consolegateway_engine.moc"
