// How finished, failed and stalled replies reach their handlers: once, already
// read and released, and a stalled service on the "unable to connect" path.

#include "ServiceTestSupport.h"
#include "services/ReplyBounds.h"
#include "support/fakeservice/LoopbackGuard.h"

#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QTest>

using ServiceApi::Endpoint;

class TestServiceReplies : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();
    void outcomes_data();
    void outcomes();
    void inactivityIsNotTotalTime();
    void unreachableServiceIsUnableToConnect();
    void qtTransferTimeoutCountsAsTimeout();
    void deliberateAbortIsNotATimeout();
    void rejectedOriginFailsWithoutSending();
    void bodyOverTheBoundIsDroppedUnread();
    void largeBodyIsParsedAhead();

private:
    // Sends one request and waits for its handler; fails when it runs more than once.
    ServiceApi::Reply sendOnce(ServiceClient *client, Endpoint endpoint, int waitMs = 20000);

    FakeService m_fake;
};

void TestServiceReplies::initTestCase()
{
    LoopbackGuard::install();
    QVERIFY(m_fake.listen());
}

void TestServiceReplies::init()
{
    m_fake.clearScripts();
    m_fake.clearRequests();
}

void TestServiceReplies::cleanupTestCase()
{
    QCOMPARE(LoopbackGuard::violations(), QList<QUrl>());
}

ServiceApi::Reply TestServiceReplies::sendOnce(ServiceClient *client, Endpoint endpoint, int waitMs)
{
    ServiceApi::Reply got;
    int calls = 0;
    QPointer<QNetworkReply> reply = client->send(endpoint, [&](const ServiceApi::Reply &r) {
        got = r;
        ++calls;
    });
    [&]() { QTRY_VERIFY_WITH_TIMEOUT(calls >= 1, waitMs); }();
    // The reply is released by the time the event loop comes round again.
    [&]() { QTRY_VERIFY_WITH_TIMEOUT(reply.isNull(), 5000); }();
    QTest::qWait(20);
    if (calls != 1)
        qWarning("handler ran %d times", calls);
    got.errorString += calls == 1 ? QString() : QStringLiteral(" [handler calls: %1]").arg(calls);
    return got;
}

void TestServiceReplies::outcomes_data()
{
    QTest::addColumn<FakeReply>("script");
    QTest::addColumn<int>("error");
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("timedOut");
    QTest::addColumn<bool>("unableToConnect");
    QTest::addColumn<QString>("objectMember"); // a member the parsed body must hold ("" : empty object)

    QTest::newRow("200 with JSON") << FakeReply::json(QJsonObject{{"servers", QJsonArray{}}}) << 0 << 200
                                   << false << false << "servers";
    QTest::newRow("401 keeps status and body")
        << FakeReply::json(QJsonObject{{"error", "Session expired"}}, 401)
        << int(QNetworkReply::AuthenticationRequiredError) << 401 << false << false << "error";
    QTest::newRow("503") << FakeReply::statusOnly(503) << int(QNetworkReply::ServiceUnavailableError) << 503
                         << false << false << "";
    QTest::newRow("unparsable body reads as empty object")
        << FakeReply::text("<html>oops</html>") << 0 << 200 << false << false << "";
    QTest::newRow("hanging service times out")
        << FakeReply::hanging() << int(QNetworkReply::TimeoutError) << 0 << true << true << "";
    FakeReply stalled = FakeReply::json(QJsonObject{{"servers", QJsonArray{1, 2, 3}}});
    stalled.stallAfter = 5;
    QTest::newRow("stall in the middle of the body times out")
        << stalled << int(QNetworkReply::TimeoutError) << 200 << true << true << "";
    QTest::newRow("dropped connection")
        << FakeReply::dropped() << int(QNetworkReply::RemoteHostClosedError) << 0 << false << false << "";
    FakeReply late = FakeReply::json(QJsonObject{{"late", true}});
    late.delayMs = 100;
    QTest::newRow("delay below the time-out") << late << 0 << 200 << false << false << "late";
}

void TestServiceReplies::outcomes()
{
    QFETCH(FakeReply, script);
    QFETCH(int, error);
    QFETCH(int, status);
    QFETCH(bool, timedOut);
    QFETCH(bool, unableToConnect);
    QFETCH(QString, objectMember);

    m_fake.script("GET", "/api/servers", script);
    QObject owner;
    ServiceClient *client = ServiceTest::clientFor(m_fake, &owner);
    client->setInactivityTimeout(2000);
    const ServiceApi::Reply r = sendOnce(client, Endpoint::ServersSync);
    QVERIFY2(!r.errorString.contains("handler calls"), qPrintable(r.errorString));
    QCOMPARE(int(r.error), error);
    QCOMPARE(r.httpStatus, status);
    QCOMPARE(r.timedOut, timedOut);
    QCOMPARE(r.unableToConnect(), unableToConnect);
    if (objectMember.isEmpty())
        QVERIFY(r.object().isEmpty());
    else
        QVERIFY(r.object().contains(objectMember));
}

void TestServiceReplies::inactivityIsNotTotalTime()
{
    // 48 KiB in 6 chunks 500 ms apart takes longer than the 2 s time-out, but
    // data keeps moving, so the download completes. The gaps stay far below
    // the time-out, so a busy machine does not make one look like a stall.
    FakeReply slow = FakeReply::sized(49152);
    slow.chunkSize = 8192;
    slow.chunkIntervalMs = 500;
    m_fake.script("GET", "/api/games", slow);
    QObject owner;
    ServiceClient *client = ServiceTest::clientFor(m_fake, &owner);
    client->setInactivityTimeout(2000);
    QElapsedTimer clock;
    clock.start();
    const ServiceApi::Reply r = sendOnce(client, Endpoint::Games);
    QVERIFY2(r.ok(), qPrintable(r.errorString));
    QCOMPARE(r.body.size(), 49152);
    QVERIFY(clock.elapsed() > 2000);
}

void TestServiceReplies::unreachableServiceIsUnableToConnect()
{
    // The runner's closed loopback port.
    const QUrl closed(QStringLiteral("http://127.0.0.1:9"));
    ServiceClient client(ServiceConfig(closed, closed, closed), []() { return ServiceApi::Credentials{}; });
    const ServiceApi::Reply r = sendOnce(&client, Endpoint::AppUpdates);
    QCOMPARE(r.error, QNetworkReply::ConnectionRefusedError);
    QVERIFY(r.unableToConnect());
    QCOMPARE(r.httpStatus, 0);
}

void TestServiceReplies::qtTransferTimeoutCountsAsTimeout()
{
    // Code that sets Qt's own transfer time-out gets "operation canceled" from
    // Qt; readReply reports it as the time-out it is.
    m_fake.script("GET", "/uploads/slow.png", FakeReply::hanging());
    QObject owner;
    ServiceClient *client = ServiceTest::clientFor(m_fake, &owner);
    QNetworkRequest request = ServiceApi::imageRequest(m_fake.url("/uploads/slow.png"));
    request.setTransferTimeout(200);
    ServiceApi::Reply got;
    int calls = 0;
    client->get(request, [&](const ServiceApi::Reply &r) {
        got = r;
        ++calls;
    });
    QTRY_COMPARE_WITH_TIMEOUT(calls, 1, 5000);
    QCOMPARE(got.error, QNetworkReply::TimeoutError);
    QVERIFY(got.unableToConnect());

    // The same time-out set once on the manager for all of its requests (Qt hands
    // it to each request it creates).
    m_fake.script("GET", "/api/games", FakeReply::hanging());
    client->manager()->setTransferTimeout(200);
    client->setInactivityTimeout(60000);
    const ServiceApi::Reply viaManager = sendOnce(client, Endpoint::Games);
    QCOMPARE(viaManager.error, QNetworkReply::TimeoutError);
    QVERIFY(viaManager.timedOut);
    QVERIFY(viaManager.unableToConnect());
}

void TestServiceReplies::deliberateAbortIsNotATimeout()
{
    m_fake.script("GET", "/api/games", FakeReply::hanging());
    QObject owner;
    ServiceClient *client = ServiceTest::clientFor(m_fake, &owner);
    ServiceApi::Reply got;
    int calls = 0;
    QNetworkReply *reply = client->send(Endpoint::Games, [&](const ServiceApi::Reply &r) {
        got = r;
        ++calls;
    });
    QTRY_COMPARE_WITH_TIMEOUT(m_fake.requestCount("/api/games"), 1, 5000);
    ServiceApi::abortOnPurpose(reply);
    QTRY_COMPARE_WITH_TIMEOUT(calls, 1, 5000);
    QCOMPARE(got.error, QNetworkReply::OperationCanceledError);
    QVERIFY(!got.timedOut);
    QVERIFY(!got.unableToConnect());
}

void TestServiceReplies::rejectedOriginFailsWithoutSending()
{
    // An origin that was refused (plain http off loopback) is empty: the request
    // fails at once and nothing is sent anywhere.
    const QUrl refused =
        ServiceConfig::parseOrigin(QStringLiteral("http://192.0.2.10"), ServiceConfig::Kind::Service);
    QVERIFY(refused.isEmpty());
    ServiceClient client(ServiceConfig(refused, refused, refused),
                         []() { return ServiceApi::Credentials{}; });
    const ServiceApi::Reply r = sendOnce(&client, Endpoint::Games);
    QVERIFY(!r.ok());
    QCOMPARE(r.httpStatus, 0);
    QCOMPARE(m_fake.requests().size(), 0);
}

// Whatever the endpoint, a body over the bound ends the reply as soon as it
// is announced, and none of it reaches the handler.
void TestServiceReplies::bodyOverTheBoundIsDroppedUnread()
{
    m_fake.script("GET", "/api/servers",
                  FakeReply::sized(ReplyBounds::kMaxBodyBytes + 1, "application/json"));
    QObject owner;
    ServiceClient *client = ServiceTest::clientFor(m_fake, &owner);
    const ServiceApi::Reply r = sendOnce(client, Endpoint::ServersSync);
    QVERIFY(r.tooLarge);
    QVERIFY(!r.ok());
    QVERIFY(!r.timedOut);
    QVERIFY(r.body.isEmpty());
    QVERIFY(r.object().isEmpty());

    // The installer's download is a file: it has no such bound.
    m_fake.script("GET", "/big.bin", FakeReply::sized(ReplyBounds::kMaxBodyBytes + 1));
    ServiceApi::Reply file;
    bool done = false;
    client->download(QNetworkRequest(m_fake.url("/big.bin")), [&](const ServiceApi::Reply &got) {
        file = got;
        done = true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(done, 10000);
    QVERIFY(file.ok());
    QCOMPARE(file.body.size(), ReplyBounds::kMaxBodyBytes + 1);
}

// A body over a few hundred KiB is parsed on a worker thread and reaches
// the handler parsed; a small one is parsed where it is read.
void TestServiceReplies::largeBodyIsParsedAhead()
{
    QObject owner;
    ServiceClient *client = ServiceTest::clientFor(m_fake, &owner);
    const QString big(int(ReplyBounds::kParseOffThreadBytes), QLatin1Char('b'));
    m_fake.script("GET", "/api/servers",
                  FakeReply::json(QJsonObject{{"servers", QJsonArray{}}, {"pad", big}}));
    ServiceApi::Reply r = sendOnce(client, Endpoint::ServersSync);
    QVERIFY(r.parsed);
    QCOMPARE(r.object().value("pad").toString(), big);

    m_fake.script("GET", "/api/servers", FakeReply::json(QJsonObject{{"servers", QJsonArray{}}}));
    r = sendOnce(client, Endpoint::ServersSync);
    QVERIFY(!r.parsed);
    QVERIFY(r.object().contains("servers"));
}

QTEST_GUILESS_MAIN(TestServiceReplies)
#include "tst_servicereplies.moc"
