// The session heartbeat against the fake service, the service's "signed in
// elsewhere" answer, and sign-out: which keys go, which stay, in both stores.

#include "ServiceTestSupport.h"
#include "services/AccountSession.h"
#include "services/AccountStore.h"
#include "support/ClientNames.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

std::unique_ptr<QSettings> store(QSettings::Format format)
{
    return std::make_unique<QSettings>(format, QSettings::UserScope, QStringLiteral("Quorlix"),
                                       QStringLiteral("QuorlixApp"));
}

const QStringList kSessionKeys = {"auth/token", "auth/session_id", "auth/email",
                                  "user/id",    "user/email",      "user/first_name"};
const QVariantMap kKept = {{"auth/remember", true},
                           {"user/isp", "Example ISP"},
                           {"user/country", "Germany"},
                           {"user/country_code", "DE"}};

const QString kHeartbeat = QStringLiteral("/api/auth/heartbeat");

QStringList g_log;
QtMessageHandler g_previous = nullptr;
void recordLog(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    g_log.append(message);
    if (g_previous)
        g_previous(type, context, message);
}

} // namespace

class TestAccountSession : public QObject
{
    Q_OBJECT

private:
    FakeService m_fake;
    AccountStore *m_account = nullptr;
    ServiceClient *m_client = nullptr;
    AccountSession *m_session = nullptr;
    std::unique_ptr<QObject> m_owner;

    // The fake's demo account signed in and remembered in both stores, with a location.
    void storeSignedIn(const QString &token, const QString &sessionId)
    {
        for (QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat}) {
            auto s = store(format);
            s->setValue("auth/token", token);
            s->setValue("auth/session_id", sessionId);
            s->setValue("auth/email", "demo@example.test");
            s->setValue("user/id", "7");
            s->setValue("user/email", "demo@example.test");
            s->setValue("user/first_name", "Demo");
            for (auto it = kKept.begin(); it != kKept.end(); ++it)
                s->setValue(it.key(), it.value());
        }
    }

    void signInAtTheFake()
    {
        // The fake hands out its token and session id to a sign-in.
        bool finished = false;
        m_client->send(ServiceApi::Endpoint::UserLogin, [&](const ServiceApi::Reply &) { finished = true; },
                       {{"email", FakeService::kDemoEmail}, {"password", FakeService::kDemoPassword}});
        QTRY_VERIFY(finished);
        QVERIFY(!m_fake.currentToken().isEmpty());
    }

    // One heartbeat, waited for until the fake has it; its request.
    RecordedRequest beat()
    {
        const int before = m_fake.requestCount(kHeartbeat);
        m_session->sendHeartbeat();
        if (!QTest::qWaitFor([&] { return m_fake.requestCount(kHeartbeat) > before; }, 5000))
            return {};
        return m_fake.lastRequest(kHeartbeat);
    }

private slots:
    void initTestCase()
    {
        useClientNames();
        QVERIFY(m_fake.listen());
        g_previous = qInstallMessageHandler(recordLog);
    }

    void init()
    {
        m_fake.clearScripts();
        m_fake.loadSampleData();
        m_fake.clearRequests();
        store(QSettings::NativeFormat)->clear();
        store(QSettings::IniFormat)->clear();
        m_owner = std::make_unique<QObject>();
        m_account = new AccountStore(m_owner.get());
        m_client =
            new ServiceClient(ServiceTest::configFor(m_fake), m_account->credentialsSource(), m_owner.get());
        m_session = new AccountSession(m_client, m_account, m_owner.get());
        g_log.clear();
    }

    void cleanup() { m_owner.reset(); }

    void noTokenSendsNothing_data()
    {
        QTest::addColumn<QString>("token");
        QTest::newRow("nothing stored") << QString();
        QTest::newRow("blank token") << QStringLiteral("   ");
    }
    void noTokenSendsNothing()
    {
        QFETCH(QString, token);
        if (!token.isNull())
            store(QSettings::NativeFormat)->setValue("auth/token", token);
        m_session->sendHeartbeat();
        m_session->sendHeartbeat();
        // A request that went out would be recorded long before the next one is answered.
        m_client->send(ServiceApi::Endpoint::AppUpdates, {});
        QTRY_COMPARE(m_fake.requestCount(QStringLiteral("/api/app-updates")), 1);
        QCOMPARE(m_fake.requestCount(kHeartbeat), 0);
    }

    void heartbeatCarriesSessionAndHeaders_data()
    {
        QTest::addColumn<QString>("sessionId");
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("session id") << QStringLiteral("s1") << QByteArray(R"({"session_id":"s1"})");
        QTest::newRow("trimmed session id") << QStringLiteral(" s1 ") << QByteArray(R"({"session_id":"s1"})");
        QTest::newRow("no session id") << QString() << QByteArray("{}");
    }
    void heartbeatCarriesSessionAndHeaders()
    {
        QFETCH(QString, sessionId);
        QFETCH(QByteArray, body);
        storeSignedIn(QStringLiteral(" tok-9 "), sessionId);
        const RecordedRequest r = beat();
        QCOMPARE(r.method, QByteArray("POST"));
        QCOMPARE(r.body, body);
        QCOMPARE(r.header("Content-Type"), QByteArray("application/json"));
        QCOMPARE(r.header("Authorization"), QByteArray("Bearer tok-9"));
        QVERIFY(!r.header("X-Device-Id").isEmpty());
    }

    void thisRunsSessionIsUsedFirst()
    {
        storeSignedIn(QStringLiteral("stored-token"), QStringLiteral("stored-session"));
        AccountStore::Account run;
        run.token = QStringLiteral("run-token");
        run.sessionId = QStringLiteral("run-session");
        m_account->keepForThisRun(run);
        const RecordedRequest r = beat();
        QCOMPARE(r.header("Authorization"), QByteArray("Bearer run-token"));
        QCOMPARE(r.json().value("session_id").toString(), QStringLiteral("run-session"));
    }

    void signedInElsewhereEndsTheSession()
    {
        signInAtTheFake();
        storeSignedIn(m_fake.currentToken(), m_fake.currentSessionId());
        AccountStore::Account run;
        run.token = m_fake.currentToken();
        run.sessionId = m_fake.currentSessionId();
        m_account->keepForThisRun(run);
        QSignalSpy expired(m_session, &AccountSession::sessionExpired);

        beat();
        QTRY_VERIFY(g_log.contains(QStringLiteral("✅ Heartbeat sent successfully")));
        QCOMPARE(expired.count(), 0);

        m_fake.startSessionElsewhere();
        beat();
        QTRY_COMPARE(expired.count(), 1);
        for (QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat}) {
            auto s = store(format);
            for (const QString &key : kSessionKeys)
                QVERIFY2(!s->contains(key), qPrintable(key));
            for (auto it = kKept.begin(); it != kKept.end(); ++it)
                QCOMPARE(s->value(it.key()).toString(), it.value().toString());
        }
        QVERIFY(!m_account->hasSessionForThisRun());
        QVERIFY(m_account->token().isEmpty());
        QVERIFY(std::any_of(g_log.begin(), g_log.end(), [](const QString &l) {
            return l.startsWith("⚠️ Session expired (reason:");
        }));

        // Nothing is left to send.
        const int sent = m_fake.requestCount(kHeartbeat);
        m_session->sendHeartbeat();
        m_client->send(ServiceApi::Endpoint::AppUpdates, {});
        QTRY_COMPARE(m_fake.requestCount(QStringLiteral("/api/app-updates")), 1);
        QCOMPARE(m_fake.requestCount(kHeartbeat), sent);
    }

    // Heartbeats still under way when the session ends: one end, one signal;
    // and an old session's answer never ends a newer sign-in.
    void staleExpiryAnswersChangeNothing()
    {
        signInAtTheFake();
        storeSignedIn(m_fake.currentToken(), m_fake.currentSessionId());
        m_fake.startSessionElsewhere();
        QSignalSpy expired(m_session, &AccountSession::sessionExpired);
        m_session->sendHeartbeat();
        m_session->sendHeartbeat();
        QTRY_COMPARE(m_fake.requestCount(kHeartbeat), 2);
        QTRY_COMPARE(expired.count(), 1);

        // A new sign-in while an old heartbeat's answer is on its way.
        storeSignedIn(QStringLiteral("old-token"), QStringLiteral("s1"));
        m_fake.script("POST", kHeartbeat,
                      FakeReply::json(QJsonObject{{"error", "Session expired"}, {"reason", "r"}}, 401));
        m_session->sendHeartbeat();
        store(QSettings::NativeFormat)->setValue("auth/token", "new-token");
        QTRY_COMPARE(m_fake.requestCount(kHeartbeat), 3);
        m_client->send(ServiceApi::Endpoint::AppUpdates, {});
        QTRY_COMPARE(m_fake.requestCount(QStringLiteral("/api/app-updates")), 1);
        QCOMPARE(expired.count(), 1);
        QCOMPARE(m_account->token(), QStringLiteral("new-token"));
    }

    void otherFailuresKeepTheSession_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("logged");
        QTest::newRow("401 other letter case")
            << 401 << QByteArray(R"({"error":"session expired","reason":"r"})") << false;
        QTest::newRow("401 other error") << 401 << QByteArray(R"({"error":"Unauthorized"})") << false;
        QTest::newRow("401 not JSON") << 401 << QByteArray("nope") << false;
        QTest::newRow("500") << 500 << QByteArray(R"({"error":"Session expired"})") << true;
    }
    void otherFailuresKeepTheSession()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(bool, logged);
        storeSignedIn(QStringLiteral("tok-9"), QStringLiteral("s1"));
        m_fake.script("POST", kHeartbeat, FakeReply::text(body, status, "application/json"));
        QSignalSpy expired(m_session, &AccountSession::sessionExpired);
        bool replied = false;
        m_client->send(ServiceApi::Endpoint::Heartbeat, [&](const ServiceApi::Reply &reply) {
            m_session->onHeartbeatReply(reply);
            replied = true;
        });
        QTRY_VERIFY(replied);
        QCOMPARE(expired.count(), 0);
        QCOMPARE(store(QSettings::NativeFormat)->value("auth/token").toString(), QStringLiteral("tok-9"));
        QCOMPARE(store(QSettings::IniFormat)->value("auth/token").toString(), QStringLiteral("tok-9"));
        const bool failureLogged = std::any_of(g_log.begin(), g_log.end(), [](const QString &l) {
            return l.startsWith(QStringLiteral("⚠️ Heartbeat failed:"));
        });
        QCOMPARE(failureLogged, logged);
        QVERIFY(!std::any_of(g_log.begin(), g_log.end(),
                             [](const QString &l) { return l.contains(QStringLiteral("Session expired")); }));
    }

    void logoutRemovesTheSessionKeysOnly()
    {
        storeSignedIn(QStringLiteral("tok-9"), QStringLiteral("s1"));
        AccountStore::Account run;
        run.token = QStringLiteral("run-token");
        m_account->keepForThisRun(run);
        m_session->logout();
        for (QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat}) {
            auto s = store(format);
            for (const QString &key : kSessionKeys)
                QVERIFY2(!s->contains(key), qPrintable(key));
            for (auto it = kKept.begin(); it != kKept.end(); ++it) {
                if (it.key() != QLatin1String("auth/remember"))
                    QCOMPARE(s->value(it.key()).toString(), it.value().toString());
            }
        }
        QCOMPARE(store(QSettings::NativeFormat)->value("auth/remember").toBool(), false);
        QVERIFY(m_account->token().isEmpty());
        QVERIFY(!m_account->hasSessionForThisRun());
    }
};

QTEST_MAIN(TestAccountSession)
#include "tst_accountsession.moc"
