// No request of the test suite leaves loopback: the runner points every origin
// at loopback, every endpoint is built on those origins, and the guard that
// the service tests install turns any other address away and reports it.

#include "ServiceTestSupport.h"
#include "services/NetworkAccess.h"
#include "support/TestNet.h"
#include "support/fakeservice/LoopbackGuard.h"

#include <QNetworkAccessManager>
#include <QTest>

using ServiceApi::Endpoint;

class TestLoopbackGuard : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void everyEndpointStaysOnLoopback();
    void offLoopbackRequestIsTurnedAway();
    void defaultClientIsGuarded();
    void uninstallRestoresPlainManagers();
};

void TestLoopbackGuard::initTestCase()
{
    LoopbackGuard::install();
    LoopbackGuard::reset();
}

void TestLoopbackGuard::cleanup()
{
    LoopbackGuard::install();
    LoopbackGuard::reset();
}

void TestLoopbackGuard::everyEndpointStaysOnLoopback()
{
    QString offender;
    QVERIFY2(TestNet::environmentOriginsAreLoopback(&offender), qPrintable(offender));
    const ServiceConfig &config = ServiceConfig::instance();
    const ServiceApi::Credentials credentials{QStringLiteral("tok"), QStringLiteral("dev")};
    for (int e = int(Endpoint::UserLogin); e <= int(Endpoint::NotificationsMarkRead); ++e) {
        const auto request = ServiceApi::buildRequest(Endpoint(e), config, credentials);
        QVERIFY(request);
        QVERIFY2(TestNet::isLoopbackUrl(request->url()), qPrintable(request->url().toString()));
    }
    QVERIFY(TestNet::isLoopbackUrl(QUrl(config.resolveUploadsUrl("/uploads/covers/a.png"))));
    QVERIFY(TestNet::isLoopbackUrl(config.discordUrl("/api/users/@me")));
    QVERIFY(TestNet::isLoopbackUrl(config.geoUrl("/json/")));
}

void TestLoopbackGuard::offLoopbackRequestIsTurnedAway()
{
    // The built-in configuration (a real service's https origin) and a
    // documentation address: neither may be contacted.
    const QUrl documentation(QStringLiteral("https://192.0.2.1"));
    ServiceClient builtIn(ServiceConfig(), []() { return ServiceApi::Credentials{}; });
    ServiceClient other(ServiceConfig(documentation, documentation, documentation),
                        []() { return ServiceApi::Credentials{}; });
    int done = 0;
    ServiceApi::Reply last;
    auto handler = [&](const ServiceApi::Reply &r) {
        last = r;
        ++done;
    };
    builtIn.send(Endpoint::Games, handler);
    other.send(Endpoint::ServersSync, handler);
    QTRY_COMPARE_WITH_TIMEOUT(done, 2, 5000);

    const QList<QUrl> violations = LoopbackGuard::violations();
    QCOMPARE(violations.size(), 2);
    QCOMPARE(violations.at(0).host(), QStringLiteral("api.quorlix.invalid"));
    QCOMPARE(violations.at(1).host(), QStringLiteral("192.0.2.1"));
    // Turned to the closed loopback port instead.
    QCOMPARE(last.error, QNetworkReply::ConnectionRefusedError);
}

void TestLoopbackGuard::defaultClientIsGuarded()
{
    // The client a window would create: process-wide configuration from the
    // environment, stored token and device id.
    ServiceClient client;
    int done = 0;
    client.send(Endpoint::AppUpdates, [&done](const ServiceApi::Reply &) { ++done; });
    QTRY_COMPARE_WITH_TIMEOUT(done, 1, 5000);
    QCOMPARE(LoopbackGuard::seen().size(), 1);
    QVERIFY(TestNet::isLoopbackUrl(LoopbackGuard::seen().first()));
    QVERIFY(LoopbackGuard::violations().isEmpty());
}

void TestLoopbackGuard::uninstallRestoresPlainManagers()
{
    LoopbackGuard::uninstall();
    QVERIFY(!LoopbackGuard::isInstalled());
    QObject owner;
    QNetworkAccessManager *plain = NetworkAccess::createManager(&owner);
    QNetworkReply *reply = plain->get(QNetworkRequest(QUrl("http://127.0.0.1:9/")));
    QTRY_VERIFY_WITH_TIMEOUT(reply->isFinished(), 5000);
    QVERIFY(LoopbackGuard::seen().isEmpty());
}

QTEST_GUILESS_MAIN(TestLoopbackGuard)
#include "tst_loopbackguard.moc"
