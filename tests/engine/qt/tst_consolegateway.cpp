// ConsoleGatewayEmbedded against a scripted engine: refused starts, what the
// engine is handed, the order of events on the GUI thread, the running flag,
// and stopping: idle, before the engine's main, after a run ended on its own,
// when the worker cannot be created, and from the destructor.

#include "engine/qt/ConsoleGatewayEmbedded.h"
#include "support/OwnTime.h"
#include "support/fakeconsole/FakeConsoleGateway.h"
#include "support/faketools/DebugLog.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtTest>

#include <memory>
#include <system_error>

namespace Fake = FakeConsoleGateway;

class TestConsoleGateway : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void refusedStarts_data();
    void refusedStarts();
    void secondStartWhileRunning();
    void settingsReachTheEngine_data();
    void settingsReachTheEngine();
    void eventsArriveInOrderOnTheGuiThread();
    void runningFlagFollowsTheRun();
    void idleStopReturnsAtOnce();
    void stopBeforeTheEngineMainEndsTheRun();
    void endedRunIsJoinedByTheNextStart();
    void workerThatCannotBeCreated();
    void destructorStopsAndJoins();

private:
    std::unique_ptr<ConsoleGatewayEmbedded> make()
    {
        return std::make_unique<ConsoleGatewayEmbedded>(Fake::api());
    }
};

void TestConsoleGateway::init()
{
    Fake::reset();
}

void TestConsoleGateway::refusedStarts_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("port");
    QTest::newRow("port 0") << "127.0.0.1" << 0;
    QTest::newRow("port 70000") << "127.0.0.1" << 70000;
    QTest::newRow("negative port") << "127.0.0.1" << -1;
    QTest::newRow("empty address") << "" << 50000;
    QTest::newRow("blank address") << " \t " << 50000;
}

void TestConsoleGateway::refusedStarts()
{
    QFETCH(QString, address);
    QFETCH(int, port);
    auto gw = make();
    QSignalSpy errors(gw.get(), &ConsoleGatewayEmbedded::errorOccurred);
    QSignalSpy started(gw.get(), &ConsoleGatewayEmbedded::started);
    QVERIFY(!gw->start(address, port, "custom", "3074", "", false));
    QCOMPARE(errors.count(), 1);
    QCOMPARE(errors.at(0).at(0).toString(), QString("Invalid server IP/port for console gateway"));
    QVERIFY(!gw->isRunning());
    QTest::qWait(20);
    QCOMPARE(started.count(), 0);
    QCOMPARE(Fake::calls(), QStringList()); // no arm, no worker
}

void TestConsoleGateway::secondStartWhileRunning()
{
    auto gw = make();
    QSignalSpy errors(gw.get(), &ConsoleGatewayEmbedded::errorOccurred);
    QVERIFY(gw->start("127.0.0.1", 50000, "custom", "", "", false));
    QTRY_VERIFY_WITH_TIMEOUT(Fake::inMain(), 5000);
    QVERIFY(!gw->start("127.0.0.2", 50001, "xbox", "", "", false));
    QCOMPARE(errors.count(), 1);
    QCOMPARE(errors.at(0).at(0).toString(), QString("Console gateway is already running"));
    // The first run goes on untouched.
    QVERIFY(gw->isRunning());
    QVERIFY(Fake::inMain());
    QCOMPARE(Fake::record().arms.load(), 1);
    QCOMPARE(Fake::lastConfig().serverIp, QString("127.0.0.1"));
    gw->stop();
    QCOMPARE(Fake::record().mainsReturned.load(), 1);
}

void TestConsoleGateway::settingsReachTheEngine_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("profile");
    QTest::addColumn<QString>("udp");
    QTest::addColumn<QString>("tcp");
    QTest::addColumn<bool>("tunnelAll");
    QTest::addColumn<QString>("wantAddress");
    QTest::addColumn<QString>("wantProfile");
    QTest::addColumn<QString>("wantUdp");
    QTest::addColumn<QString>("wantTcp");

    QTest::newRow("as given") << "127.0.0.1"
                              << "warzone"
                              << "3074,3478-3480"
                              << "3074" << true << "127.0.0.1"
                              << "warzone"
                              << "3074,3478-3480"
                              << "3074";
    QTest::newRow("padded address is trimmed") << " 127.0.0.1 "
                                               << "steam"
                                               << ""
                                               << "" << false << "127.0.0.1"
                                               << "steam"
                                               << ""
                                               << "";
    QTest::newRow("empty profile runs as custom") << "127.0.0.1"
                                                  << ""
                                                  << "1"
                                                  << "2" << false << "127.0.0.1"
                                                  << "custom"
                                                  << "1"
                                                  << "2";
    QTest::newRow("blank profile runs as custom") << "127.0.0.1"
                                                  << "  \t"
                                                  << ""
                                                  << "" << false << "127.0.0.1"
                                                  << "custom"
                                                  << ""
                                                  << "";
    QTest::newRow("padded profile and lists are trimmed") << "127.0.0.1"
                                                          << " xbox "
                                                          << " 88, 500 "
                                                          << "\t3074 " << false << "127.0.0.1"
                                                          << "xbox"
                                                          << "88, 500"
                                                          << "3074";
    const QString longList = QString("3074,").repeated(20000); // 100,000 characters
    QTest::newRow("long port text whole") << "127.0.0.1"
                                          << "custom" << longList << longList << false << "127.0.0.1"
                                          << "custom" << longList.trimmed() << longList;
}

void TestConsoleGateway::settingsReachTheEngine()
{
    QFETCH(QString, address);
    QFETCH(QString, profile);
    QFETCH(QString, udp);
    QFETCH(QString, tcp);
    QFETCH(bool, tunnelAll);
    QFETCH(QString, wantAddress);
    QFETCH(QString, wantProfile);
    QFETCH(QString, wantUdp);
    QFETCH(QString, wantTcp);

    auto gw = make();
    QVERIFY(gw->start(address, 50123, profile, udp, tcp, tunnelAll));
    QTRY_VERIFY_WITH_TIMEOUT(Fake::inMain(), 5000);
    const Fake::Config c = Fake::lastConfig();
    QCOMPARE(c.serverIp, wantAddress);
    QCOMPARE(c.port, 50123);
    QCOMPARE(c.profile, wantProfile);
    QCOMPARE(c.udpPorts, wantUdp);
    QCOMPARE(c.tcpPorts, wantTcp);
    QCOMPARE(c.tunnelAll, tunnelAll ? 1 : 0);
    QCOMPARE(Fake::lastArguments(),
             QStringList({"quorlix_console_gateway", wantAddress, "50123", wantProfile}));
    gw->stop();
    QCOMPARE(Fake::calls(), QStringList({"arm", "config", "main", "stop"}));
}

void TestConsoleGateway::eventsArriveInOrderOnTheGuiThread()
{
    DebugLog log("[ConsoleGW]");
    auto gw = make();
    QThread *const gui = QThread::currentThread();
    bool offThread = false;
    // The signals write into the same log, so their place among the lines shows.
    connect(gw.get(), &ConsoleGatewayEmbedded::started, this, [&] {
        offThread = offThread || QThread::currentThread() != gui;
        qDebug().noquote() << "[ConsoleGW] (started)";
    });
    connect(gw.get(), &ConsoleGatewayEmbedded::stopped, this, [&](int rc) {
        offThread = offThread || QThread::currentThread() != gui;
        qDebug().noquote() << "[ConsoleGW] (stopped" << rc << ")";
    });

    QVERIFY(gw->start("127.0.0.1", 50000, "custom", "", "", false));
    QTRY_COMPARE_WITH_TIMEOUT(log.lines().size(), 3, 5000);
    QVERIFY(Fake::inMain());
    gw->stop();
    QTRY_COMPARE_WITH_TIMEOUT(log.lines().size(), 5, 5000);
    QCOMPARE(log.lines(),
             QStringList({"[ConsoleGW] Thread started, server: 127.0.0.1 : 50000", "[ConsoleGW] (started)",
                          "[ConsoleGW] Runtime config set, starting main()...",
                          "[ConsoleGW] main() returned rc: 0", "[ConsoleGW] (stopped 0 )"}));
    QVERIFY(!offThread);
}

void TestConsoleGateway::runningFlagFollowsTheRun()
{
    auto gw = make();
    QSignalSpy stopped(gw.get(), &ConsoleGatewayEmbedded::stopped);
    QVERIFY(!gw->isRunning());

    // Set by start itself, before the worker did anything; cleared by stop.
    Fake::controls().configDelayMs = 100;
    QVERIFY(gw->start("127.0.0.1", 50000, "custom", "", "", false));
    QVERIFY(gw->isRunning());
    QTRY_VERIFY_WITH_TIMEOUT(Fake::inMain(), 5000);
    QVERIFY(gw->isRunning());
    gw->stop();
    QVERIFY(!gw->isRunning());
    QTRY_COMPARE(stopped.count(), 1);

    // Cleared by the worker when the engine's main returns on its own.
    Fake::controls().configDelayMs = 0;
    Fake::controls().failStartup = true;
    QVERIFY(gw->start("127.0.0.1", 50000, "custom", "", "", false));
    QTRY_COMPARE_WITH_TIMEOUT(stopped.count(), 2, 5000);
    QCOMPARE(stopped.at(1).at(0).toInt(), 1);
    QVERIFY(!gw->isRunning());
    QCOMPARE(Fake::record().stops.load(), 1); // nobody asked the engine to stop the second run
    gw->stop();
    QCOMPARE(Fake::record().stops.load(), 1); // the run had ended: only the join remains
}

void TestConsoleGateway::idleStopReturnsAtOnce()
{
    auto gw = make();
    const OwnTime t;
    gw->stop();
    gw->stop();
    QVERIFY2(t.elapsed() < 100, qPrintable(QString::number(t.elapsed())));
    QCOMPARE(Fake::calls(), QStringList());
}

void TestConsoleGateway::stopBeforeTheEngineMainEndsTheRun()
{
    // The worker is still handing over the settings when the stop comes: the
    // engine has not begun its run, so only the arm made before the worker
    // started lets the stop count.
    auto gw = make();
    QSignalSpy started(gw.get(), &ConsoleGatewayEmbedded::started);
    QSignalSpy stopped(gw.get(), &ConsoleGatewayEmbedded::stopped);
    Fake::controls().configDelayMs = 150;
    QVERIFY(gw->start("127.0.0.1", 50000, "custom", "", "", false));
    QElapsedTimer t;
    t.start();
    gw->stop();
    QVERIFY2(t.elapsed() < 2000, qPrintable(QString::number(t.elapsed())));
    QCOMPARE(Fake::record().mainsEntered.load(), 0);
    QCOMPARE(Fake::calls().value(0), QString("arm"));
    QVERIFY(Fake::calls().indexOf("stop") < Fake::calls().indexOf("main"));
    QTRY_COMPARE(stopped.count(), 1);
    QCOMPARE(stopped.at(0).at(0).toInt(), 0);
    QCOMPARE(started.count(), 1);
}

void TestConsoleGateway::endedRunIsJoinedByTheNextStart()
{
    auto gw = make();
    QSignalSpy stopped(gw.get(), &ConsoleGatewayEmbedded::stopped);
    Fake::controls().failStartup = true;
    QVERIFY(gw->start("127.0.0.1", 50000, "custom", "", "", false));
    QTRY_COMPARE_WITH_TIMEOUT(stopped.count(), 1, 5000);
    // No stop in between: the ended worker is still attached.
    Fake::controls().failStartup = false;
    QVERIFY(gw->start("127.0.0.1", 50000, "custom", "", "", false));
    QTRY_VERIFY_WITH_TIMEOUT(Fake::inMain(), 5000);
    gw->stop();
    QTRY_COMPARE(stopped.count(), 2);
    QCOMPARE(stopped.at(1).at(0).toInt(), 0);
}

void TestConsoleGateway::workerThatCannotBeCreated()
{
    auto gw = make();
    QSignalSpy errors(gw.get(), &ConsoleGatewayEmbedded::errorOccurred);
    QSignalSpy started(gw.get(), &ConsoleGatewayEmbedded::started);
    gw->setThreadLauncher([](std::function<void()>) -> std::thread {
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    });
    QVERIFY(!gw->start("127.0.0.1", 50000, "custom", "", "", false));
    QVERIFY(!gw->isRunning());
    QCOMPARE(errors.count(), 1);
    QCOMPARE(errors.at(0).at(0).toString(), QString("Failed to start console gateway thread"));
    gw->stop(); // nothing to join

    // The refused run left nothing behind: the next start runs normally.
    gw->setThreadLauncher([](std::function<void()> body) { return std::thread(std::move(body)); });
    QVERIFY(gw->start("127.0.0.1", 50000, "custom", "", "", false));
    QTRY_VERIFY_WITH_TIMEOUT(Fake::inMain(), 5000);
    QTRY_COMPARE(started.count(), 1);
    gw->stop();
    QCOMPARE(Fake::record().mainsReturned.load(), 1);
}

void TestConsoleGateway::destructorStopsAndJoins()
{
    auto gw = make();
    QVERIFY(gw->start("127.0.0.1", 50000, "custom", "", "", false));
    QTRY_VERIFY_WITH_TIMEOUT(Fake::inMain(), 5000);
    gw.reset();
    QCOMPARE(Fake::record().stops.load(), 1);
    QCOMPARE(Fake::record().mainsReturned.load(), 1);
    QVERIFY(!Fake::inMain());
    // What the worker queued for the dead object is dropped.
    QCoreApplication::processEvents();
    QTest::qWait(10);
}

QTEST_MAIN(TestConsoleGateway)
#include "tst_consolegateway.moc"
