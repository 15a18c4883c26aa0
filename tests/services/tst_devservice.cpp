// The standalone development service starts, tells where it listens and serves
// the sample catalogue, relays and demo account.

#include "DevServiceProcess.h"
#include "support/fakeservice/FakeService.h"

#include <QFile>
#include <QJsonArray>
#include <QTest>

class TestDevService : public QObject
{
    Q_OBJECT
private slots:
    void servesTheSampleData();
    void refusesABadPort();
};

void TestDevService::servesTheSampleData()
{
    if (!QFile::exists(DevServiceProcess::program()))
        QSKIP("quorlix-devservice is not built");
    DevServiceProcess service;
    QVERIFY(service.start({QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--quiet")}));
    QTRY_VERIFY_WITH_TIMEOUT(service.standardOutput().contains(QByteArray(FakeService::kDemoPassword)), 5000);
    const QUrl origin = service.origin();

    const QJsonArray servers =
        DevServiceProcess::request(origin, QStringLiteral("/api/servers")).value("servers").toArray();
    QVERIFY(!servers.isEmpty());
    for (const QJsonValue &s : servers)
        QVERIFY(TestNet::isLoopbackHost(s.toObject().value("ip_address").toString()));
    QVERIFY(
        !DevServiceProcess::request(origin, QStringLiteral("/api/games")).value("data").toArray().isEmpty());
    const QJsonObject login = DevServiceProcess::request(
        origin, QStringLiteral("/api/auth/user-login"),
        {{"email", FakeService::kDemoEmail}, {"password", FakeService::kDemoPassword}, {"remember", true}},
        true);
    QVERIFY(login.value("success").toBool());
    QVERIFY(!login.value("token").toString().isEmpty());
    // Without --relays, no relay is started.
    QVERIFY(!service.standardOutput().contains("\n  relay "));

    service.stop();
    QCOMPARE(service.process().state(), QProcess::NotRunning);
}

void TestDevService::refusesABadPort()
{
    if (!QFile::exists(DevServiceProcess::program()))
        QSKIP("quorlix-devservice is not built");
    DevServiceProcess service;
    QVERIFY(!service.start({QStringLiteral("--port"), QStringLiteral("70000")}));
    QCOMPARE(service.waitForExit(), 2);
}

QTEST_GUILESS_MAIN(TestDevService)
#include "tst_devservice.moc"
