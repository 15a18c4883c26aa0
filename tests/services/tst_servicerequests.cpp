// The headers, bodies and addresses of the web API requests, as the service
// receives them.

#include "ServiceTestSupport.h"
#include "support/fakeservice/LoopbackGuard.h"

#include <QNetworkAccessManager>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>

using ServiceApi::Endpoint;

Q_DECLARE_METATYPE(ServiceApi::Endpoint)

class TestServiceRequests : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();
    void headers_data();
    void headers();
    void compactBodiesAndQueries();
    void tokenIsTrimmed();
    void imageRequestsCarryTheUserAgent();
    void credentialsStayWithTheirOrigin_data();
    void credentialsStayWithTheirOrigin();

private:
    FakeService m_fake;
};

void TestServiceRequests::initTestCase()
{
    LoopbackGuard::install();
    QVERIFY(m_fake.listen());
}

void TestServiceRequests::init()
{
    m_fake.clearRequests();
}

void TestServiceRequests::cleanupTestCase()
{
    QCOMPARE(LoopbackGuard::violations(), QList<QUrl>());
}

void TestServiceRequests::headers_data()
{
    QTest::addColumn<Endpoint>("endpoint");
    QTest::addColumn<QString>("token");
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QString>("path");
    // Expected headers, one letter each: A Authorization, D X-Device-Id,
    // V X-App-Version, U User-Agent "Quorlix/2.0.0", C Accept, J Content-Type JSON.
    // "-" means the request is not sent at all.
    QTest::addColumn<QString>("expected");

    struct Row
    {
        const char *name;
        Endpoint endpoint;
        const char *method;
        const char *path;
        const char *withToken;
        const char *withoutToken;
    };
    const Row rows[] = {
        {"user-login", Endpoint::UserLogin, "POST", "/api/auth/user-login", "DJ", "DJ"},
        {"discord-login", Endpoint::DiscordLogin, "POST", "/api/auth/discord/login", "DJ", "DJ"},
        {"validate", Endpoint::ValidateToken, "GET", "/api/auth/validate", "AD", "-"},
        {"heartbeat", Endpoint::Heartbeat, "POST", "/api/auth/heartbeat", "ADJ", "-"},
        {"app-updates", Endpoint::AppUpdates, "GET", "/api/app-updates", "C", "C"},
        {"version-validate", Endpoint::VersionValidate, "GET", "/api/app-version/validate", "VC", "VC"},
        {"promo-evaluate", Endpoint::PromoEvaluate, "GET", "/api/promo/evaluate", "AD", "-"},
        {"promo-event", Endpoint::PromoEvent, "POST", "/api/promo/event", "ADJ", "-"},
        {"promo-link", Endpoint::PromoLinkCreate, "POST", "/api/promo/link/create", "ADJ", "-"},
        {"games", Endpoint::Games, "GET", "/api/games", "UC", "UC"},
        {"servers-sync", Endpoint::ServersSync, "GET", "/api/servers", "J", "J"},
        {"servers-picker", Endpoint::ServersPicker, "GET", "/api/servers", "C", "C"},
        {"notifications", Endpoint::Notifications, "GET", "/api/notifications", "AU", "-"},
        {"mark-read", Endpoint::NotificationsMarkRead, "POST", "/api/notifications/mark-read", "AUJ", "-"},
    };
    for (const Row &r : rows) {
        QTest::addRow("%s signed in", r.name)
            << r.endpoint << QStringLiteral("tok-1") << QByteArray(r.method) << QString::fromLatin1(r.path)
            << QString::fromLatin1(r.withToken);
        QTest::addRow("%s signed out", r.name)
            << r.endpoint << QString() << QByteArray(r.method) << QString::fromLatin1(r.path)
            << QString::fromLatin1(r.withoutToken);
    }
}

void TestServiceRequests::headers()
{
    QFETCH(Endpoint, endpoint);
    QFETCH(QString, token);
    QFETCH(QByteArray, method);
    QFETCH(QString, path);
    QFETCH(QString, expected);

    QObject owner;
    ServiceClient *client = ServiceTest::clientFor(m_fake, &owner, token, QStringLiteral("dev-42"));
    int handled = 0;
    QNetworkReply *reply = client->send(endpoint, [&handled](const ServiceApi::Reply &) { ++handled; });

    if (expected == QLatin1String("-")) {
        QVERIFY(!reply);
        QTest::qWait(50);
        QCOMPARE(handled, 0);
        QCOMPARE(m_fake.requests().size(), 0);
        return;
    }
    QVERIFY(reply);
    QTRY_COMPARE_WITH_TIMEOUT(handled, 1, 5000);
    QCOMPARE(m_fake.requests().size(), 1);
    const RecordedRequest r = m_fake.requests().first();
    QCOMPARE(r.method, method);
    QCOMPARE(r.path, path);

    auto check = [&](QChar letter, const QByteArray &name, const QByteArray &value) {
        const bool want = expected.contains(letter);
        QVERIFY2(r.hasHeader(name) == want,
                 qPrintable(QStringLiteral("%1 expected %2").arg(QString::fromLatin1(name)).arg(want)));
        if (want)
            QCOMPARE(r.header(name), value);
    };
    check('A', "Authorization", "Bearer tok-1");
    check('D', "X-Device-Id", "dev-42");
    check('V', "X-App-Version", "2.0.0");
    check('C', "Accept", "application/json");
    check('J', "Content-Type", "application/json");
    // Qt may send a User-Agent of its own; only these requests carry the client's.
    QCOMPARE(r.header("User-Agent") == "Quorlix/2.0.0", expected.contains('U'));
}

void TestServiceRequests::compactBodiesAndQueries()
{
    QObject owner;
    ServiceClient *client = ServiceTest::clientFor(m_fake, &owner);
    int handled = 0;
    auto count = [&handled](const ServiceApi::Reply &) { ++handled; };

    client->send(Endpoint::Heartbeat, count, QJsonObject{{"session_id", "abc"}});
    client->send(Endpoint::NotificationsMarkRead, count, QJsonObject{{"ids", QJsonArray{"n 1"}}});
    client->send(Endpoint::UserLogin, count,
                 QJsonObject{{"email", "a@b.test"}, {"password", "p w"}, {"remember", true}});
    client->send(Endpoint::Heartbeat, count, QJsonObject{});
    QUrlQuery query;
    query.addQueryItem("scope", "personal");
    query.addQueryItem("limit", "20");
    client->send(Endpoint::Notifications, count, {}, query);
    client->send(Endpoint::AppUpdates, count);
    QTRY_COMPARE_WITH_TIMEOUT(handled, 6, 5000);

    QCOMPARE(m_fake.requests("/api/auth/heartbeat").at(0).body, QByteArray(R"({"session_id":"abc"})"));
    QCOMPARE(m_fake.requests("/api/auth/heartbeat").at(1).body, QByteArray("{}"));
    QCOMPARE(m_fake.lastRequest("/api/notifications/mark-read").body, QByteArray(R"({"ids":["n 1"]})"));
    QCOMPARE(m_fake.lastRequest("/api/auth/user-login").body,
             QByteArray(R"({"email":"a@b.test","password":"p w","remember":true})"));
    // The query keeps its order: scope first, then limit.
    QCOMPARE(m_fake.lastRequest("/api/notifications").query.toString(),
             QStringLiteral("scope=personal&limit=20"));
    QCOMPARE(m_fake.lastRequest("/api/app-updates").query.toString(), QStringLiteral("latest=true"));
    // A GET carries no body.
    QVERIFY(m_fake.lastRequest("/api/notifications").body.isEmpty());
}

void TestServiceRequests::tokenIsTrimmed()
{
    QObject owner;
    ServiceClient *blank = ServiceTest::clientFor(m_fake, &owner, QStringLiteral("   "));
    QVERIFY(!blank->send(Endpoint::Heartbeat, {}));

    ServiceClient *padded = ServiceTest::clientFor(m_fake, &owner, QStringLiteral("  tok-9 \n"));
    int handled = 0;
    QVERIFY(padded->send(Endpoint::ValidateToken, [&handled](const ServiceApi::Reply &) { ++handled; }));
    QTRY_COMPARE_WITH_TIMEOUT(handled, 1, 5000);
    QCOMPARE(m_fake.lastRequest("/api/auth/validate").header("Authorization"), QByteArray("Bearer tok-9"));
}

void TestServiceRequests::imageRequestsCarryTheUserAgent()
{
    QObject owner;
    ServiceClient *client = ServiceTest::clientFor(m_fake, &owner);
    const QUrl image(client->config().resolveUploadsUrl(QStringLiteral(" /uploads/covers/a.png ")));
    QCOMPARE(image, m_fake.url(QStringLiteral("/uploads/covers/a.png")));
    ServiceApi::Reply got;
    int handled = 0;
    client->get(ServiceApi::imageRequest(image), [&](const ServiceApi::Reply &r) {
        got = r;
        ++handled;
    });
    QTRY_COMPARE_WITH_TIMEOUT(handled, 1, 5000);
    QVERIFY(got.ok());
    QVERIFY(got.body.startsWith("\x89PNG"));
    QCOMPARE(m_fake.lastRequest("/uploads/covers/a.png").header("User-Agent"), QByteArray("Quorlix/2.0.0"));
}

// A redirect to another host is followed only by requests that carry no
// credentials: what answers in the service's place must not be able to
// collect the token or the device id.
void TestServiceRequests::credentialsStayWithTheirOrigin_data()
{
    QTest::addColumn<Endpoint>("endpoint");
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("followed");
    QTest::newRow("validate") << Endpoint::ValidateToken << QByteArray("GET") << "/api/auth/validate"
                              << false;
    QTest::newRow("heartbeat") << Endpoint::Heartbeat << QByteArray("POST") << "/api/auth/heartbeat" << false;
    QTest::newRow("user login") << Endpoint::UserLogin << QByteArray("POST") << "/api/auth/user-login"
                                << false;
    QTest::newRow("notifications") << Endpoint::Notifications << QByteArray("GET") << "/api/notifications"
                                   << false;
    QTest::newRow("mark read") << Endpoint::NotificationsMarkRead << QByteArray("POST")
                               << "/api/notifications/mark-read" << false;
    QTest::newRow("promotion") << Endpoint::PromoEvaluate << QByteArray("GET") << "/api/promo/evaluate"
                               << false;
    QTest::newRow("promotion event") << Endpoint::PromoEvent << QByteArray("POST") << "/api/promo/event"
                                     << false;
    QTest::newRow("promotion link") << Endpoint::PromoLinkCreate << QByteArray("POST")
                                    << "/api/promo/link/create" << false;
    QTest::newRow("games carry nothing") << Endpoint::Games << QByteArray("GET") << "/api/games" << true;
    QTest::newRow("relays carry nothing")
        << Endpoint::ServersPicker << QByteArray("GET") << "/api/servers" << true;
}

void TestServiceRequests::credentialsStayWithTheirOrigin()
{
    QFETCH(Endpoint, endpoint);
    QFETCH(QByteArray, method);
    QFETCH(QString, path);
    QFETCH(bool, followed);
    FakeService elsewhere;
    QVERIFY(elsewhere.listen(QHostAddress(QStringLiteral("127.0.0.2"))));
    FakeReply moved = FakeReply::statusOnly(method == "POST" ? 307 : 302);
    moved.headers.append({"Location", elsewhere.url(path).toEncoded()});
    m_fake.script(method, path, moved);

    QObject owner;
    ServiceClient *client = ServiceTest::clientFor(m_fake, &owner);
    ServiceApi::Reply got;
    int handled = 0;
    QVERIFY(client->send(endpoint, [&](const ServiceApi::Reply &r) {
        got = r;
        ++handled;
    }));
    QTRY_COMPARE_WITH_TIMEOUT(handled, 1, 5000);
    m_fake.clearScript(method, path);
    QCOMPARE(m_fake.requestCount(path), 1);
    QCOMPARE(elsewhere.requestCount(path), followed ? 1 : 0);
    QCOMPARE(got.ok(), followed);
    if (followed)
        QCOMPARE(got.url.host(), QStringLiteral("127.0.0.2"));

    // The same holds for any request the client is handed with a token in it.
    FakeReply again = FakeReply::statusOnly(302);
    again.headers.append({"Location", elsewhere.url(path).toEncoded()});
    m_fake.script("GET", path, again);
    QNetworkRequest own(m_fake.url(path));
    own.setRawHeader("Authorization", "Bearer provider-token");
    handled = 0;
    client->get(own, [&](const ServiceApi::Reply &) { ++handled; });
    QTRY_COMPARE_WITH_TIMEOUT(handled, 1, 5000);
    QCOMPARE(elsewhere.requestCount(path), followed ? 1 : 0);
    m_fake.clearScript("GET", path);
    for (const RecordedRequest &r : elsewhere.requests()) {
        QVERIFY(!r.hasHeader("Authorization"));
        QVERIFY(!r.hasHeader("X-Device-Id"));
    }
}

QTEST_GUILESS_MAIN(TestServiceRequests)
#include "tst_servicerequests.moc"
