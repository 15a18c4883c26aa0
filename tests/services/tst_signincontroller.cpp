// The sign-in flow against the fake service, with a recording page and a
// scripted update check: gating, the three request paths, what replies store,
// failure messages, and the loading stages up to the page's end.

#include "ServiceTestSupport.h"
#include "services/AccountStore.h"
#include "services/ServerSync.h"
#include "services/SignInController.h"
#include "support/fakeservice/LoopbackGuard.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTcpServer>
#include <QTest>

#include <memory>

namespace {

// The page as the flow drives it: every call recorded as one line.
class RecordingView : public SignInView
{
public:
    QStringList calls;
    QList<int> percents;
    QHash<QByteArray, bool> flags;
    SignInController *controller = nullptr;
    int progressWatches = 0;

    void setFormEnabled(bool enabled) override { calls << QStringLiteral("enabled %1").arg(enabled); }
    void showLoginProgress() override { calls << QStringLiteral("progress view"); }
    void setLoginProgress(int percent, const QString &text) override
    {
        percents << percent;
        calls << QStringLiteral("%1 %2").arg(percent).arg(text);
    }
    void showLoginForm() override { calls << QStringLiteral("form"); }
    void showError(const QString &text) override { calls << QStringLiteral("error ") + text; }
    void requestAutoLogin() override { calls << QStringLiteral("auto"); }
    void showPage() override { calls << QStringLiteral("show"); }
    void hidePage() override { calls << QStringLiteral("hide"); }
    void setPageFlag(const char *name, bool value) override { flags[name] = value; }
    bool pageFlag(const char *name) const override { return flags.value(name); }
    void watchProgressFinished() override { ++progressWatches; }

    QString lastError() const
    {
        for (int i = calls.size() - 1; i >= 0; --i) {
            if (calls.at(i).startsWith(QLatin1String("error ")))
                return calls.at(i).mid(6);
        }
        return QString();
    }
    bool hidden() const { return calls.contains(QStringLiteral("hide")); }
};

std::unique_ptr<QSettings> native()
{
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                       QStringLiteral("Quorlix"), QStringLiteral("QuorlixApp"));
}

void seedStore(const QVariantMap &values)
{
    const auto store = native();
    store->clear();
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        store->setValue(it.key(), it.value());
    store->sync();
}

// An origin on loopback where nothing listens: connections are refused.
QUrl refusingOrigin()
{
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost))
        return QUrl();
    const quint16 port = server.serverPort();
    server.close();
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port));
}

const QString kUserLogin = QStringLiteral("/api/auth/user-login");
const QString kDiscordLogin = QStringLiteral("/api/auth/discord/login");
const QString kValidate = QStringLiteral("/api/auth/validate");
const QString kGames = QStringLiteral("/api/games");
const QString kServers = QStringLiteral("/api/servers");

} // namespace

class TestSignInController : public QObject
{
    Q_OBJECT

private:
    FakeService m_service;

    // One flow: the store, a client and relay sync aimed at the fake, the
    // controller with a recording page and a scripted update check.
    struct Flow
    {
        QObject owner;
        AccountStore *account = nullptr;
        ServiceClient *client = nullptr;
        SignInController *controller = nullptr;
        RecordingView view;
        bool checkRunning = false;
        bool updateRequired = false;
        bool resumeAtOnce = true;
        int checksStarted = 0;
        QStringList hooks; // the after-sign-in signals, in order
    };

    std::unique_ptr<Flow> makeFlow(const QUrl &origin = {})
    {
        auto flow = std::make_unique<Flow>();
        Flow *f = flow.get();
        f->account = new AccountStore(&f->owner);
        const ServiceConfig config =
            origin.isValid() ? ServiceConfig(origin, origin, origin) : ServiceTest::configFor(m_service);
        f->client = new ServiceClient(config, f->account->credentialsSource(), &f->owner);
        ServersCache cache{[](const QList<QVariantMap> &) { return true; }, [] { return 1; }, [] {}};
        auto *servers = new ServerSync(f->client, cache, &f->owner);
        f->controller = new SignInController(f->client, f->account, servers, 5, &f->owner);
        f->view.controller = f->controller;
        f->controller->setView(&f->view);
        f->controller->setUpdateGate({[f] { return f->checkRunning; }, [f] { return f->updateRequired; },
                                      [f] {
                                          ++f->checksStarted;
                                          if (f->resumeAtOnce)
                                              f->controller->resumeLoginAfterUpdateCheck();
                                      }});
        connect(f->controller, &SignInController::accountRefreshNeeded, &f->owner,
                [f] { f->hooks << QStringLiteral("refresh"); });
        connect(f->controller, &SignInController::eventToTrack, &f->owner,
                [f](const QString &name) { f->hooks << QStringLiteral("event ") + name; });
        connect(f->controller, &SignInController::promotionRefreshNeeded, &f->owner,
                [f] { f->hooks << QStringLiteral("promotion"); });
        connect(f->controller, &SignInController::notificationsNeeded, &f->owner,
                [f] { f->hooks << QStringLiteral("notifications"); });
        return flow;
    }

    int signInRequests() const
    {
        return m_service.requestCount(kUserLogin) + m_service.requestCount(kDiscordLogin) +
               m_service.requestCount(kValidate);
    }

    // Signs the demo account in and waits for the data to be ready.
    void signInDemo(Flow &f, bool remember)
    {
        seedStore({{"auth/remember", remember}});
        f.controller->onLoginRequested(QLatin1String(FakeService::kDemoEmail),
                                       QLatin1String(FakeService::kDemoPassword));
        QTRY_VERIFY(f.view.flags.value(SignInController::kDataReady));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_service.listen());
        LoopbackGuard::install();
    }

    void init()
    {
        m_service.clearScripts();
        m_service.clearRequests();
        m_service.loadSampleData();
        seedStore({});
        LoopbackGuard::reset();
    }

    void cleanup() { QVERIFY(LoopbackGuard::violations().isEmpty()); }

    void requestWaitsForTheUpdateCheck_data()
    {
        QTest::addColumn<bool>("running");
        QTest::addColumn<bool>("required");
        QTest::addColumn<int>("checks");     // checks the request itself starts
        QTest::addColumn<int>("afterCheck"); // sign-in requests once the running check ends
        QTest::newRow("nothing running: one check, then the sign-in") << false << false << 1 << 1;
        QTest::newRow("check running: no second check") << true << false << 0 << 1;
        QTest::newRow("update required: nothing is sent") << false << true << 0 << 0;
    }
    void requestWaitsForTheUpdateCheck()
    {
        QFETCH(bool, running);
        QFETCH(bool, required);
        QFETCH(int, checks);
        QFETCH(int, afterCheck);
        const auto f = makeFlow();
        f->checkRunning = running;
        f->updateRequired = required;
        f->resumeAtOnce = false;

        f->controller->onLoginRequested(QStringLiteral("a@b.c"), QStringLiteral("secret1"));
        QCOMPARE(f->checksStarted, checks);
        QCOMPARE(f->view.calls.mid(0, 3),
                 (QStringList{"enabled 0", "progress view", "5 Checking for update ..."}));
        QVERIFY(f->controller->signInPending());
        QTest::qWait(30);
        QCOMPARE(signInRequests(), 0);

        // The check ends (the update flow clears its own running flag).
        f->checkRunning = false;
        f->controller->resumeLoginAfterUpdateCheck();
        QTRY_COMPARE(m_service.requestCount(kUserLogin), afterCheck);
        QCOMPARE(f->controller->signInPending(), required);
        QTest::qWait(30);
        QCOMPARE(signInRequests(), afterCheck);
        QCOMPARE(f->checksStarted, checks);
    }

    void rememberedSignInFollowsTheFirstCheck()
    {
        const auto f = makeFlow();
        f->controller->prepareRememberedSignIn();
        QCOMPARE(f->view.calls, (QStringList{"enabled 0", "progress view", "5 Checking for update ..."}));
        // The start-up check ends: the page asks for the automatic sign-in,
        // which goes through its own check.
        f->controller->resumeLoginAfterUpdateCheck();
        QCOMPARE(f->view.calls.last(), QStringLiteral("auto"));
        QVERIFY(!f->controller->autoSignInPending());
        // With nothing waiting, a check's end gives the form back.
        f->controller->resumeLoginAfterUpdateCheck();
        QCOMPARE(f->view.calls.last(), QStringLiteral("enabled 1"));
        QCOMPARE(signInRequests(), 0);
    }

    void requestPaths_data()
    {
        QTest::addColumn<QString>("email");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("body");
        QTest::newRow("email and password")
            << "a@b.c"
            << "secret1" << kUserLogin << R"({"email":"a@b.c","password":"secret1","remember":true})";
        QTest::newRow("Discord email") << "a@b.c"
                                       << "" << kDiscordLogin << R"({"email":"a@b.c"})";
        QTest::newRow("stored token") << ""
                                      << "" << kValidate << "";
    }
    void requestPaths()
    {
        QFETCH(QString, email);
        QFETCH(QString, password);
        QFETCH(QString, path);
        QFETCH(QString, body);
        seedStore({{"auth/token", "stored-tok"}, {"auth/remember", true}});
        // An earlier reply of the shared client set a cookie; the shared
        // client sends it back, the sign-in must not.
        FakeReply cookie = FakeReply::json(QJsonObject{{"servers", QJsonArray()}});
        cookie.headers = {{"Set-Cookie", "tracker=abc; Path=/"}};
        m_service.script("GET", kServers, cookie);
        const auto f = makeFlow();
        bool done = false;
        f->client->send(ServiceApi::Endpoint::ServersPicker,
                        [&done](const ServiceApi::Reply &) { done = true; });
        QTRY_VERIFY(done);
        f->client->send(ServiceApi::Endpoint::ServersPicker, [](const ServiceApi::Reply &) {});
        QTRY_COMPARE(m_service.requestCount(kServers), 2);
        QCOMPARE(m_service.lastRequest(kServers).header("Cookie"), QByteArray("tracker=abc"));

        f->controller->onLoginRequested(email, password);
        QTRY_COMPARE(m_service.requestCount(path), 1);
        const RecordedRequest sent = m_service.lastRequest(path);
        QVERIFY(!sent.header("X-Device-Id").isEmpty());
        QVERIFY(!sent.hasHeader("Cookie"));
        if (body.isEmpty()) {
            QCOMPARE(sent.method, QByteArray("GET"));
            QCOMPARE(sent.header("Authorization"), QByteArray("Bearer stored-tok"));
        } else {
            QCOMPARE(sent.method, QByteArray("POST"));
            QCOMPARE(sent.body, body.toUtf8());
            QCOMPARE(sent.header("Content-Type"), QByteArray("application/json"));
        }
        QCOMPARE(signInRequests(), 1);
    }

    void automaticWithoutTokenShowsTheForm()
    {
        seedStore({{"auth/remember", true}});
        const auto f = makeFlow();
        f->controller->onLoginRequested(QString(), QString());
        QCOMPARE(f->view.calls.mid(f->view.calls.indexOf("10 Logging in ...")),
                 (QStringList{"10 Logging in ...", "form", "enabled 1", "show"}));
        QTest::qWait(30);
        QCOMPARE(m_service.requests().size(), 0);
    }

    void rememberedReplyIsStored()
    {
        const auto f = makeFlow();
        signInDemo(*f, true);
        const auto s = native();
        QCOMPARE(s->value("auth/token").toString(), m_service.currentToken());
        QCOMPARE(s->value("auth/session_id").toString(), m_service.currentSessionId());
        QCOMPARE(s->value("auth/email").toString(), QLatin1String(FakeService::kDemoEmail));
        QCOMPARE(s->value("user/email").toString(), QLatin1String(FakeService::kDemoEmail));
        QCOMPARE(s->value("user/first_name").toString(), QStringLiteral("Demo"));
        QCOMPARE(s->value("user/id").toString(), QStringLiteral("user-1001"));
        QCOMPARE(QFile::permissions(s->fileName()) & 0x0077, QFileDevice::Permissions());
        QCOMPARE(QFile::permissions(s->fileName()) & (QFileDevice::ReadOwner | QFileDevice::WriteOwner),
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }

    void sessionForThisRunCarriesRequests()
    {
        const auto f = makeFlow();
        signInDemo(*f, false);
        const auto s = native();
        QCOMPARE(s->allKeys(), QStringList{"auth/remember"});
        // The next account request carries this run's token.
        m_service.clearRequests();
        f->client->send(ServiceApi::Endpoint::Heartbeat, [](const ServiceApi::Reply &) {});
        QTRY_COMPARE(m_service.requestCount(QStringLiteral("/api/auth/heartbeat")), 1);
        QCOMPARE(m_service.lastRequest(QStringLiteral("/api/auth/heartbeat")).header("Authorization"),
                 "Bearer " + m_service.currentToken().toUtf8());
        QCOMPARE(f->account->userId(), QStringLiteral("user-1001"));
        QCOMPARE(f->account->userEmail(), QLatin1String(FakeService::kDemoEmail));
        QCOMPARE(f->account->firstName(), QStringLiteral("Demo"));
        // A new run is signed out.
        AccountStore nextRun;
        QVERIFY(nextRun.token().isEmpty());
    }

    void unsuccessfulReplyKeepsTheKeys()
    {
        const QVariantMap before = {
            {"auth/remember", true}, {"auth/email", "old@x.test"}, {"auth/token", "old"}};
        seedStore(before);
        m_service.script("POST", kUserLogin,
                         FakeReply::json(QJsonObject{{"success", false}, {"token", "new"}}));
        const auto f = makeFlow();
        f->controller->onLoginRequested(QStringLiteral("a@b.c"), QStringLiteral("secret1"));
        QTRY_COMPARE(f->view.lastError(), QStringLiteral("Login failed."));
        QCOMPARE(f->view.calls.mid(f->view.calls.size() - 4),
                 (QStringList{"form", "enabled 1", "show", "error Login failed."}));
        const auto s = native();
        for (auto it = before.cbegin(); it != before.cend(); ++it)
            QCOMPARE(s->value(it.key()), it.value());
        QVERIFY(f->hooks.isEmpty());
    }

    void failedSignIn_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("message");
        QTest::newRow("wrong password (401)") << "401"
                                              << "Login failed. Email or password does not match.";
        QTest::newRow("403") << "403"
                             << "Access denied.";
        QTest::newRow("503") << "503"
                             << "Server error. Please try again later.";
        QTest::newRow("connection refused") << "refused"
                                            << "Login failed.";
        QTest::newRow("stalled reply") << "stall"
                                       << "Unable to connect to server.";
    }
    void failedSignIn()
    {
        QFETCH(QString, how);
        QFETCH(QString, message);
        seedStore({{"auth/remember", true},
                   {"auth/email", "old@x.test"},
                   {"auth/token", "old"},
                   {"user/id", "u-1"}});
        const QUrl origin = how == QLatin1String("refused") ? refusingOrigin() : QUrl();
        QVERIFY(how != QLatin1String("refused") || origin.isValid());
        if (how == QLatin1String("stall")) {
            m_service.script("POST", kUserLogin, FakeReply::hanging());
        } else if (how != QLatin1String("401") && how != QLatin1String("refused")) {
            m_service.script("POST", kUserLogin, FakeReply::statusOnly(how.toInt()));
        }
        const auto f = makeFlow(origin);
        f->client->setInactivityTimeout(2000);
        const QString password = how == QLatin1String("401") ? QStringLiteral("wrong-pass") : "secret1";
        f->controller->onLoginRequested(QLatin1String(FakeService::kDemoEmail), password);
        QTRY_COMPARE(f->view.lastError(), message);
        // Never stuck at the early stages: the form is back.
        QCOMPARE(f->view.calls.mid(f->view.calls.size() - 4, 3), (QStringList{"form", "enabled 1", "show"}));
        const auto s = native();
        QCOMPARE(s->value("auth/remember").toBool(), false);
        QVERIFY(!s->contains("auth/email"));
        QVERIFY(!s->contains("auth/token"));
        QCOMPARE(s->value("user/id").toString(), QStringLiteral("u-1"));
    }

    void failedValidation_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("forgets");
        QTest::newRow("token no longer valid (401)") << "401"
                                                     << "Auto login failed." << true;
        QTest::newRow("403") << "403"
                             << "Auto login failed." << true;
        QTest::newRow("500") << "500"
                             << "Auto login failed." << false;
        QTest::newRow("success false") << "unsuccessful"
                                       << "Auto login failed." << false;
        QTest::newRow("connection refused") << "refused"
                                            << "Unable to connect to server." << false;
        QTest::newRow("stalled reply") << "stall"
                                       << "Unable to connect to server." << false;
    }
    void failedValidation()
    {
        QFETCH(QString, how);
        QFETCH(QString, message);
        QFETCH(bool, forgets);
        seedStore({{"auth/remember", true}, {"auth/email", "old@x.test"}, {"auth/token", "old"}});
        const QUrl origin = how == QLatin1String("refused") ? refusingOrigin() : QUrl();
        QVERIFY(how != QLatin1String("refused") || origin.isValid());
        if (how == QLatin1String("stall")) {
            m_service.script("GET", kValidate, FakeReply::hanging());
        } else if (how == QLatin1String("unsuccessful")) {
            m_service.script("GET", kValidate, FakeReply::json(QJsonObject{{"success", false}}));
        } else if (how != QLatin1String("401") && how != QLatin1String("refused")) {
            m_service.script("GET", kValidate, FakeReply::statusOnly(how.toInt()));
        }
        const auto f = makeFlow(origin);
        f->client->setInactivityTimeout(2000);
        QTest::ignoreMessage(
            QtWarningMsg, QRegularExpression(QStringLiteral("^\\[AutoLogin\\] Failed to validate token http= "
                                                            "\\d+ err= [A-Za-z]+$")));
        f->controller->onLoginRequested(QString(), QString());
        QTRY_COMPARE(f->view.lastError(), message);
        const auto s = native();
        QCOMPARE(s->contains("auth/token"), !forgets);
        QCOMPARE(s->contains("auth/email"), !forgets);
        QCOMPARE(s->value("auth/remember").toBool(), !forgets);
        QVERIFY(f->hooks.isEmpty());
    }

    void validationStoresTheAccount()
    {
        // The demo account is signed in elsewhere; its token is remembered here.
        const auto first = makeFlow();
        signInDemo(*first, true);
        const QString token = m_service.currentToken();
        seedStore({{"auth/remember", true}, {"auth/token", token}});
        m_service.clearRequests();

        const auto f = makeFlow();
        f->controller->onLoginRequested(QString(), QString());
        QTRY_VERIFY(f->view.flags.value(SignInController::kDataReady));
        const auto s = native();
        QCOMPARE(s->value("auth/token").toString(), token);
        QCOMPARE(s->value("user/id").toString(), QStringLiteral("user-1001"));
        QCOMPARE(s->value("auth/email").toString(), QLatin1String(FakeService::kDemoEmail));
        QCOMPARE(s->value("auth/session_id").toString(), m_service.currentSessionId());
        QCOMPARE(m_service.requestCount(kGames), 1);
        QCOMPARE(f->hooks.first(), QStringLiteral("refresh"));
    }

    void loadingStages()
    {
        // A 1 MiB games list in chunks, so the download reports progress.
        FakeReply games = FakeReply::sized(1048576, "application/json");
        games.chunkSize = 131072;
        games.chunkIntervalMs = 5;
        m_service.script("GET", kGames, games);
        const auto f = makeFlow();
        signInDemo(*f, true);

        QList<int> p = f->view.percents;
        // 5 while waiting, 10 sent, 35 accepted, 55 relays, 70 games, then
        // 70..80 by the download, 95 and 100 at the end.
        QCOMPARE(p.mid(0, 5), (QList<int>{5, 10, 35, 55, 70}));
        QCOMPARE(p.mid(p.size() - 2), (QList<int>{95, 100}));
        const QList<int> download = p.mid(5, p.size() - 7);
        QVERIFY(!download.isEmpty());
        for (int i = 0; i < download.size(); ++i) {
            QVERIFY(download.at(i) >= 70 && download.at(i) <= 80);
            QVERIFY(i == 0 || download.at(i) >= download.at(i - 1));
        }
        QVERIFY(f->view.calls.contains("80 Loading magic routes : 1024 kb of 1.00 Mb ..."));
        QVERIFY(f->view.calls.contains("100 Loading configuration ..."));
        QCOMPARE(m_service.requestCount(kServers), 1);
        QVERIFY(!m_service.lastRequest(kGames).hasHeader("Authorization"));

        // The hooks run in order; the notification loader from the event loop.
        QCOMPARE(f->hooks, (QStringList{"refresh", "event app_open", "promotion", "notifications"}));
        QVERIFY(f->view.progressWatches >= 1);
    }

    void afterSignInTheNotificationLoaderWaitsForTheEventLoop()
    {
        seedStore({{"auth/remember", false}});
        const auto f = makeFlow();
        ServiceApi::Reply reply;
        reply.httpStatus = 200;
        reply.body = R"({"success":true,"token":"t"})";
        f->controller->onLoginReply(reply, false);
        QCOMPARE(f->hooks, (QStringList{"refresh", "event app_open", "promotion"}));
        QTRY_COMPARE(f->hooks.size(), 4);
        QCOMPARE(f->hooks.last(), QStringLiteral("notifications"));
    }

    void withoutEmailNoGamesAreFetched()
    {
        // Not remembered, and the reply names no email: nothing to load for.
        m_service.script("POST", kUserLogin, FakeReply::json(QJsonObject{{"success", true}, {"token", "t"}}));
        const auto f = makeFlow();
        seedStore({{"auth/remember", false}});
        f->controller->onLoginRequested(QStringLiteral("a@b.c"), QStringLiteral("secret1"));
        QTRY_VERIFY(f->view.flags.value(SignInController::kDataReady));
        QCOMPARE(f->view.percents.mid(f->view.percents.size() - 4), (QList<int>{35, 55, 95, 100}));
        QTest::qWait(30);
        QCOMPARE(m_service.requestCount(kGames), 0);
    }

    void failedGamesDownloadStillCompletes()
    {
        m_service.script("GET", kGames, FakeReply::statusOnly(500));
        const auto f = makeFlow();
        signInDemo(*f, true);
        QCOMPARE(f->view.percents.mid(f->view.percents.size() - 2), (QList<int>{95, 100}));
        QVERIFY(f->view.lastError().isEmpty());
    }

    void pageHidesOnlyWhenBothAreDone_data()
    {
        QTest::addColumn<bool>("barFirst");
        QTest::newRow("bar first, then data") << true;
        QTest::newRow("data first, then bar") << false;
    }
    void pageHidesOnlyWhenBothAreDone()
    {
        QFETCH(bool, barFirst);
        const auto f = makeFlow();
        // As a sent sign-in leaves them.
        f->view.flags[SignInController::kProgressDone] = false;
        f->view.flags[SignInController::kDataReady] = false;
        QVERIFY(!f->view.flags.value(SignInController::kProgressDone));
        QVERIFY(!f->view.flags.value(SignInController::kDataReady));
        if (barFirst)
            f->controller->onLoginProgressFinished();
        else
            f->controller->markLoginDataReady(true);
        QVERIFY(!f->view.hidden());
        if (barFirst)
            f->controller->markLoginDataReady(true);
        else
            f->controller->onLoginProgressFinished();
        QVERIFY(f->view.hidden());
    }
};

QTEST_GUILESS_MAIN(TestSignInController)
#include "tst_signincontroller.moc"
