// The fake web service itself: what it records, how scripts change its
// answers, and the demo account's flows that later tests and the dev service
// rely on.

#include "ServiceTestSupport.h"
#include "services/NetworkAccess.h"
#include "support/fakeservice/LoopbackGuard.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTemporaryDir>
#include <QTest>

using ServiceApi::Endpoint;

class TestFakeService : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();
    void listensOnLoopbackOnly();
    void recordsEveryRequest();
    void scriptsOverrideForAWhile();
    void sizedDownloadsAndDelays();
    void demoAccountSession();
    void notificationsAndReadMarks();
    void signInProviderAndLocation();
    void sessionsKeptInAFile();

private:
    ServiceApi::Reply
    call(const std::function<QNetworkReply *(ServiceClient *, ServiceClient::Handler)> &send,
         const QString &token = QString(), const FakeService *fake = nullptr);

    FakeService m_fake;
    QNetworkAccessManager *m_manager = nullptr;
};

void TestFakeService::initTestCase()
{
    LoopbackGuard::install();
    QVERIFY(m_fake.listen());
    m_manager = NetworkAccess::createManager(this);
}

void TestFakeService::init()
{
    m_fake.clearScripts();
    m_fake.clearRequests();
}

void TestFakeService::cleanupTestCase()
{
    QCOMPARE(LoopbackGuard::violations(), QList<QUrl>());
}

ServiceApi::Reply
TestFakeService::call(const std::function<QNetworkReply *(ServiceClient *, ServiceClient::Handler)> &send,
                      const QString &token, const FakeService *fake)
{
    QObject owner;
    ServiceClient *client = ServiceTest::clientFor(fake ? *fake : m_fake, &owner, token);
    ServiceApi::Reply got;
    bool done = false;
    if (!send(client, [&](const ServiceApi::Reply &r) {
            got = r;
            done = true;
        }))
        return got;
    (void)QTest::qWaitFor([&]() { return done; }, 5000);
    return got;
}

void TestFakeService::listensOnLoopbackOnly()
{
    FakeService other;
    QVERIFY(!other.listen(QHostAddress(QStringLiteral("192.0.2.1"))));
    QVERIFY(!other.listen(QHostAddress::Any));
    QVERIFY(other.listen(QHostAddress(QHostAddress::LocalHost)));
    QVERIFY(other.port() != 0);
    QVERIFY(other.port() != m_fake.port());
}

void TestFakeService::recordsEveryRequest()
{
    QNetworkRequest request(m_fake.url("/api/promo/event?x=1&y=two%20words"));
    request.setRawHeader("X-Custom", "value");
    request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
    QNetworkReply *reply = m_manager->post(request, R"({"event_name":"app_open"})");
    QTRY_VERIFY_WITH_TIMEOUT(reply->isFinished(), 5000);
    reply->deleteLater();

    QCOMPARE(m_fake.requests().size(), 1);
    const RecordedRequest r = m_fake.requests().first();
    QCOMPARE(r.method, QByteArray("POST"));
    QCOMPARE(r.path, QStringLiteral("/api/promo/event"));
    QCOMPARE(r.query.queryItemValue("y"), QStringLiteral("two words"));
    QCOMPARE(r.header("x-custom"), QByteArray("value"));
    QCOMPARE(r.json().value("event_name").toString(), QStringLiteral("app_open"));
    // Without a current token the built-in answer refuses.
    QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 401);
}

void TestFakeService::scriptsOverrideForAWhile()
{
    FakeReply teapot = FakeReply::text("short and stout", 418);
    teapot.headers.append(qMakePair(QByteArray("X-Extra"), QByteArray("yes")));
    teapot.times = 2;
    m_fake.script("GET", "/api/games", teapot);

    QList<int> statuses;
    QList<QByteArray> extras;
    for (int i = 0; i < 3; ++i) {
        QNetworkReply *reply = m_manager->get(QNetworkRequest(m_fake.url("/api/games")));
        QTRY_VERIFY_WITH_TIMEOUT(reply->isFinished(), 5000);
        statuses << reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        extras << reply->rawHeader("X-Extra");
        reply->deleteLater();
    }
    QCOMPARE(statuses, (QList<int>{418, 418, 200}));
    QCOMPARE(extras, (QList<QByteArray>{"yes", "yes", ""}));
    // A script for one method leaves the other alone.
    m_fake.script("POST", "/api/servers", FakeReply::statusOnly(500));
    QCOMPARE(call([](ServiceClient *c, auto h) { return c->send(Endpoint::ServersPicker, h); }).httpStatus,
             200);
}

void TestFakeService::sizedDownloadsAndDelays()
{
    m_fake.script("GET", "/uploads/Quorlix-Setup-2.1.0.exe", FakeReply::sized(1 << 20));
    QNetworkReply *reply = m_manager->get(QNetworkRequest(m_fake.url("/uploads/Quorlix-Setup-2.1.0.exe")));
    qint64 lastTotal = -2;
    connect(reply, &QNetworkReply::downloadProgress, this,
            [&lastTotal](qint64, qint64 total) { lastTotal = total; });
    QTRY_VERIFY_WITH_TIMEOUT(reply->isFinished(), 10000);
    QCOMPARE(reply->readAll().size(), 1 << 20);
    QCOMPARE(lastTotal, qint64(1 << 20));
    reply->deleteLater();

    // A body cut short: the whole length announced, ten bytes sent, then the
    // connection closes.
    m_fake.script("GET", "/uploads/short.exe", FakeReply::shortBody(QByteArray(100, 'x'), 10));
    const ServiceApi::Reply cut = call([this](ServiceClient *c, auto h) {
        return c->get(QNetworkRequest(m_fake.url("/uploads/short.exe")), h);
    });
    QCOMPARE(cut.contentLength, qint64(100));
    QVERIFY(cut.body.size() <= 10);
    QVERIFY(!cut.ok() || cut.body.size() != cut.contentLength);

    FakeReply late = FakeReply::json(QJsonObject{{"valid", true}});
    late.delayMs = 300;
    m_fake.script("GET", "/api/app-version/validate", late);
    QElapsedTimer clock;
    clock.start();
    const ServiceApi::Reply r =
        call([](ServiceClient *c, auto h) { return c->send(Endpoint::VersionValidate, h); });
    QVERIFY(r.ok());
    QVERIFY(clock.elapsed() >= 280);
    QVERIFY(r.object().value("valid").toBool());
}

void TestFakeService::demoAccountSession()
{
    auto login = [this](const QString &email, const QString &password) {
        return call([&](ServiceClient *c, auto h) {
            return c->send(Endpoint::UserLogin, h,
                           {{"email", email}, {"password", password}, {"remember", true}});
        });
    };
    QCOMPARE(login(FakeService::kDemoEmail, "wrong").httpStatus, 401);

    const ServiceApi::Reply ok = login(QStringLiteral("DEMO@quorlix.test"), FakeService::kDemoPassword);
    QVERIFY(ok.ok());
    const QJsonObject body = ok.object();
    QVERIFY(body.value("success").toBool());
    const QString token = body.value("token").toString();
    const QString session = body.value("session_id").toString();
    QCOMPARE(token, m_fake.currentToken());
    QCOMPARE(body.value("user").toObject().value("email").toString(), QStringLiteral("demo@quorlix.test"));

    const ServiceApi::Reply valid =
        call([](ServiceClient *c, auto h) { return c->send(Endpoint::ValidateToken, h); }, token);
    QVERIFY(valid.ok());
    QCOMPARE(valid.object().value("session_id").toString(), session);

    auto heartbeat = [&](const QString &withToken) {
        return call(
            [&](ServiceClient *c, auto h) {
                return c->send(Endpoint::Heartbeat, h, {{"session_id", session}});
            },
            withToken);
    };
    QVERIFY(heartbeat(token).ok());
    QCOMPARE(heartbeat("made-up").object().value("error").toString(), QStringLiteral("Unauthorized"));

    // One device per account: a sign-in elsewhere expires this session.
    m_fake.startSessionElsewhere();
    const ServiceApi::Reply expired = heartbeat(token);
    QCOMPARE(expired.httpStatus, 401);
    QCOMPARE(expired.object().value("error").toString(), QStringLiteral("Session expired"));

    const ServiceApi::Reply discord = call([](ServiceClient *c, auto h) {
        return c->send(Endpoint::DiscordLogin, h, {{"email", FakeService::kDemoDiscordEmail}});
    });
    QVERIFY(discord.object().value("success").toBool());
    const ServiceApi::Reply unknown = call([](ServiceClient *c, auto h) {
        return c->send(Endpoint::DiscordLogin, h, {{"email", "x@y.test"}});
    });
    QCOMPARE(unknown.httpStatus, 404);
}

void TestFakeService::notificationsAndReadMarks()
{
    const QString token = [this]() {
        m_fake.startSessionElsewhere();
        return m_fake.currentToken();
    }();
    QJsonArray many;
    for (int i = 0; i < 25; ++i)
        many.append(QJsonObject{{"id", QStringLiteral("p%1").arg(i)}, {"title", "T"}, {"unread", true}});
    m_fake.setNotifications("personal", many);

    auto fetch = [&](const QString &scope, const QString &limit) {
        QUrlQuery q;
        q.addQueryItem("scope", scope);
        q.addQueryItem("limit", limit);
        return call([&](ServiceClient *c, auto h) { return c->send(Endpoint::Notifications, h, {}, q); },
                    token)
            .object()
            .value("items")
            .toArray();
    };
    QCOMPARE(fetch("personal", "20").size(), 20);
    QCOMPARE(fetch("public", "20").size(), 2); // the sample public notices
    QCOMPARE(fetch("nobody", "20").size(), 0);

    QVERIFY(call(
                [](ServiceClient *c, auto h) {
                    return c->send(Endpoint::NotificationsMarkRead, h, {{"ids", QJsonArray{"p0"}}});
                },
                token)
                .ok());
    QCOMPARE(m_fake.markedReadIds(), QStringList{"p0"});
    const QJsonArray after = fetch("personal", "2");
    QCOMPARE(after.at(0).toObject().value("unread").toBool(), false);
    QCOMPARE(after.at(1).toObject().value("unread").toBool(), true);
}

void TestFakeService::signInProviderAndLocation()
{
    // Token exchange, then the account's email.
    QNetworkRequest tokenRequest(m_fake.url("/api/v10/oauth2/token"));
    tokenRequest.setHeader(QNetworkRequest::ContentTypeHeader, "application/x-www-form-urlencoded");
    QNetworkReply *tokenReply =
        m_manager->post(tokenRequest, "client_id=1&grant_type=authorization_code&code=abc&"
                                      "redirect_uri=x&code_verifier=v");
    QTRY_VERIFY_WITH_TIMEOUT(tokenReply->isFinished(), 5000);
    const QString access =
        QJsonDocument::fromJson(tokenReply->readAll()).object().value("access_token").toString();
    tokenReply->deleteLater();
    QCOMPARE(access, QStringLiteral("discord-access-abc"));

    QNetworkRequest me(m_fake.url("/api/users/@me"));
    me.setRawHeader("Authorization", "Bearer " + access.toUtf8());
    QNetworkReply *meReply = m_manager->get(me);
    QTRY_VERIFY_WITH_TIMEOUT(meReply->isFinished(), 5000);
    QCOMPARE(QJsonDocument::fromJson(meReply->readAll()).object().value("email").toString(),
             QString::fromLatin1(FakeService::kDemoDiscordEmail));
    meReply->deleteLater();

    // The browser leg ends at the client's loopback listener.
    QNetworkRequest authorize(m_fake.url("/api/v10/oauth2/authorize?client_id=1&redirect_uri=" +
                                         QUrl::toPercentEncoding(m_fake.url("/callback").toString()) +
                                         "&state=9"));
    authorize.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    QNetworkReply *first = m_manager->get(authorize);
    QTRY_VERIFY_WITH_TIMEOUT(first->isFinished(), 5000);
    const QUrl callback(QString::fromUtf8(first->rawHeader("Location")));
    first->deleteLater();
    QCOMPARE(callback.path(), QStringLiteral("/callback"));
    QCOMPARE(QUrlQuery(callback).queryItemValue("state"), QStringLiteral("9"));
    QNetworkRequest second(callback);
    second.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    QNetworkReply *handOver = m_manager->get(second);
    QTRY_VERIFY_WITH_TIMEOUT(handOver->isFinished(), 5000);
    QCOMPARE(handOver->rawHeader("Location"),
             QByteArray("http://127.0.0.1:17860/callback?code=demo-code&state=9"));
    handOver->deleteLater();
    // Tests listen on a free port and tell the callback page which.
    m_fake.setDiscordListenerPort(40123);
    QNetworkReply *moved = m_manager->get(second);
    QTRY_VERIFY_WITH_TIMEOUT(moved->isFinished(), 5000);
    QCOMPARE(moved->rawHeader("Location"),
             QByteArray("http://127.0.0.1:40123/callback?code=demo-code&state=9"));
    moved->deleteLater();
    m_fake.setDiscordListenerPort(17860);

    QNetworkReply *geo =
        m_manager->get(QNetworkRequest(m_fake.url("/json/?fields=isp,country,countryCode,city")));
    QTRY_VERIFY_WITH_TIMEOUT(geo->isFinished(), 5000);
    const QJsonObject location = QJsonDocument::fromJson(geo->readAll()).object();
    geo->deleteLater();
    QVERIFY(!location.value("isp").toString().isEmpty());
    QCOMPARE(location.value("countryCode").toString(), QStringLiteral("DE"));
}

// The development service keeps its sessions in a file, so a remembered
// sign-in outlives a restart of the service.
void TestFakeService::sessionsKeptInAFile()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString file = folder.filePath(QStringLiteral("sessions.json"));
    auto login = [this](const FakeService &fake) {
        return call(
                   [](ServiceClient *c, auto h) {
                       return c->send(Endpoint::UserLogin, h,
                                      {{"email", FakeService::kDemoEmail},
                                       {"password", FakeService::kDemoPassword},
                                       {"remember", true}});
                   },
                   QString(), &fake)
            .object();
    };
    auto validate = [this](const FakeService &fake, const QString &token) {
        return call([](ServiceClient *c, auto h) { return c->send(Endpoint::ValidateToken, h); }, token,
                    &fake);
    };
    auto heartbeat = [this](const FakeService &fake, const QString &token, const QString &session) {
        return call(
            [&](ServiceClient *c, auto h) {
                return c->send(Endpoint::Heartbeat, h, {{"session_id", session}});
            },
            token, &fake);
    };

    QString token, session;
    {
        FakeService first;
        QVERIFY(first.listen());
        QVERIFY(first.setSessionFile(file));
        const QJsonObject signedIn = login(first);
        token = signedIn.value("token").toString();
        session = signedIn.value("session_id").toString();
        QVERIFY(!token.isEmpty());
    }

    // Started again, the service knows the remembered session; a sign-in
    // there ends it, for the start after that too.
    QString newer;
    {
        FakeService again;
        QVERIFY(again.listen());
        QVERIFY(again.setSessionFile(file));
        const ServiceApi::Reply valid = validate(again, token);
        QVERIFY(valid.ok());
        QCOMPARE(valid.object().value("session_id").toString(), session);
        QVERIFY(heartbeat(again, token, session).ok());
        newer = login(again).value("token").toString();
        QVERIFY(!newer.isEmpty() && newer != token);
    }
    {
        FakeService third;
        QVERIFY(third.listen());
        QVERIFY(third.setSessionFile(file));
        QCOMPARE(heartbeat(third, token, session).object().value("error").toString(),
                 QStringLiteral("Session expired"));
        QVERIFY(validate(third, newer).ok());
    }

    // A file that does not hold sessions is reported and left out; the next
    // sign-in replaces it.
    for (const QByteArray &bad : {QByteArray("{\"token\": "), QByteArray("[1, 2]"),
                                  QByteArray("{\"counter\": 3, \"token\": \"t\"}")}) {
        QFile damaged(file);
        QVERIFY(damaged.open(QIODevice::WriteOnly | QIODevice::Truncate));
        damaged.write(bad);
        damaged.close();
        FakeService broken;
        QVERIFY(broken.listen());
        QString why;
        QVERIFY2(!broken.setSessionFile(file, &why), bad.constData());
        QVERIFY(!why.isEmpty());
        QCOMPARE(validate(broken, newer).httpStatus, 401);
        newer = login(broken).value("token").toString();
        FakeService mended;
        QVERIFY(mended.listen());
        QVERIFY(mended.setSessionFile(file));
        QVERIFY(validate(mended, newer).ok());
    }
}

QTEST_GUILESS_MAIN(TestFakeService)
#include "tst_fakeservice.moc"
