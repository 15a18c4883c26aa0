// Signing in with the real window against the fake service: the demo account
// through the form, a remembered token at start-up, and a sign-in kept for
// this run only. No log line may hold a whole session id.

#include "WindowAgainstFake.h"
#include "app/ClientComposition.h"
#include "services/AccountStore.h"
#include "services/ServiceClient.h"
#include "services/ServiceConfig.h"
#include "services/SignInController.h"
#include "storage/DatabaseManager.h"
#include "support/WindowFixture.h"
#include "support/fakeservice/FakeService.h"
#include "support/fakeservice/LoopbackGuard.h"
#include "ui/mainwindow/MainWindow.h"
#include "ui/mainwindow/NotificationBell.h"
#include "ui/pages/SteppedProgress.h"
#include "ui/pages/signin/AuthPage.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTest>

namespace {

class TestWindow : public MainWindow
{
public:
    static WindowIntervals signInIntervals()
    {
        WindowIntervals shortened = WindowFixture::shortIntervals();
        // Not under test here, and longer than any test: the heartbeat and the
        // start-up notification fetch (the sign-in's own fetch is counted).
        shortened.firstHeartbeatMs = 60 * 60 * 1000;
        shortened.firstNotificationsMs = 60 * 60 * 1000;
        shortened.signInConfigurationMs = 10;
        return shortened;
    }
    TestWindow() : MainWindow(createClientServices(signInIntervals()), signInIntervals())
    {
        buildPages(); // the tests reach into the pages at once
    }
};

QStringList g_log;
QtMessageHandler g_previous = nullptr;

void recordLog(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    g_log.append(message);
    if (g_previous)
        g_previous(type, context, message);
}

std::unique_ptr<QSettings> native()
{
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                       QStringLiteral("Quorlix"), QStringLiteral("QuorlixApp"));
}

template <typename T> T *child(QWidget *root, const char *name)
{
    return root->findChild<T *>(QLatin1String(name));
}

const QString kUpdates = QStringLiteral("/api/app-updates");
const QString kUserLogin = QStringLiteral("/api/auth/user-login");
const QString kValidate = QStringLiteral("/api/auth/validate");
const QString kServers = QStringLiteral("/api/servers");

} // namespace

class TestMainWindowSignInFlow : public QObject
{
    Q_OBJECT

private:
    FakeService m_service;

    // Lets the page's bar run to its end on a stepped clock, then waits for the page to go.
    static void finishProgress(AuthPage *page, SteppedProgress &stepped)
    {
        QTRY_VERIFY(page->property("loginDataReady").toBool());
        stepped.advanceUntil([page] { return page->isHidden(); }, 30000);
        QTRY_VERIFY(page->isHidden());
    }

    static void submit(AuthPage *page, const QString &email, const QString &password, bool keep)
    {
        QTRY_VERIFY(child<QLineEdit>(page, "AuthEmailInput")->isEnabled());
        child<QLineEdit>(page, "AuthEmailInput")->setText(email);
        child<QLineEdit>(page, "AuthPasswordInput")->setText(password);
        child<QCheckBox>(page, "AuthKeepLoginCheckLogic")->setChecked(keep);
        QTest::mouseClick(child<QPushButton>(page, "AuthV2LoginBtn"), Qt::LeftButton);
    }

    // The paths of the recorded requests among `paths`, in the order they came.
    QStringList order(const QStringList &paths) const
    {
        QStringList out;
        for (const RecordedRequest &r : m_service.requests()) {
            if (paths.contains(r.path))
                out << r.path;
        }
        return out;
    }

    void verifyNoWholeSessionIdLogged()
    {
        const QString id = m_service.currentSessionId();
        QVERIFY(!id.isEmpty());
        for (const QString &line : std::as_const(g_log))
            QVERIFY2(!line.contains(id), qPrintable(line));
        QVERIFY(LoopbackGuard::violations().isEmpty());
    }

private slots:
    void initTestCase()
    {
        QVERIFY(WindowAgainstFake::start(m_service));
        g_previous = qInstallMessageHandler(recordLog);
    }

    void init()
    {
        LoopbackGuard::reset();
        m_service.clearScripts();
        m_service.loadSampleData();
        m_service.clearRequests();
        native()->clear();
        g_log.clear();
    }

    void demoAccountSignsInThroughTheForm()
    {
        TestWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        AuthPage *page = window.authPage();
        SteppedProgress stepped;
        page->setProgressRun(stepped.run);
        QTRY_VERIFY(child<QLineEdit>(page, "AuthEmailInput")->isEnabled());

        submit(page, QLatin1String(FakeService::kDemoEmail), QLatin1String(FakeService::kDemoPassword), true);
        finishProgress(page, stepped);

        QCOMPARE(m_service.requestCount(QStringLiteral("/api/auth/user-login")), 1);
        QCOMPARE(
            m_service.lastRequest(QStringLiteral("/api/auth/user-login")).json().value("email").toString(),
            QLatin1String(FakeService::kDemoEmail));
        // One silent request as the window starts, one by the sign-in.
        QCOMPARE(m_service.requestCount(QStringLiteral("/api/games")), 2);
        // Remembered: the session is stored, and "app_open" went out with it.
        QCOMPARE(native()->value("auth/token").toString(), m_service.currentToken());
        QTRY_VERIFY(m_service.promoEvents().contains(QStringLiteral("app_open")));
        QVERIFY(g_log.filter(QStringLiteral("[Login] Session ID saved:")).size() == 1);
        verifyNoWholeSessionIdLogged();
    }

    void rememberedTokenSignsInAtStartUp()
    {
        // A session the fake knows, remembered from an earlier run.
        bool signedIn = false;
        ServiceClient client(ServiceConfig::instance(), [] { return ServiceApi::Credentials(); });
        client.send(
            ServiceApi::Endpoint::UserLogin, [&signedIn](const ServiceApi::Reply &r) { signedIn = r.ok(); },
            QJsonObject{{"email", FakeService::kDemoEmail}, {"password", FakeService::kDemoPassword}});
        QTRY_VERIFY(signedIn);
        {
            const auto store = native();
            store->setValue("auth/remember", true);
            store->setValue("auth/token", m_service.currentToken());
            store->sync();
        }
        m_service.clearRequests();

        TestWindow window;
        AuthPage *page = window.authPage();
        QVERIFY(page->hasRememberedSession());
        SteppedProgress stepped;
        page->setProgressRun(stepped.run);
        window.show();
        finishProgress(page, stepped);
        const RecordedRequest validate = m_service.lastRequest(QStringLiteral("/api/auth/validate"));
        QCOMPARE(validate.header("Authorization"), "Bearer " + m_service.currentToken().toUtf8());
        QCOMPARE(m_service.requestCount(QStringLiteral("/api/auth/validate")), 1);
        QCOMPARE(native()->value("user/id").toString(), QStringLiteral("user-1001"));
        QVERIFY(g_log.filter(QStringLiteral("[AutoLogin] Session ID saved:")).size() == 1);
        verifyNoWholeSessionIdLogged();
    }

    void sessionForThisRunOnly()
    {
        {
            TestWindow window;
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            AuthPage *page = window.authPage();
            SteppedProgress stepped;
            page->setProgressRun(stepped.run);
            submit(page, QLatin1String(FakeService::kDemoEmail), QLatin1String(FakeService::kDemoPassword),
                   false);
            finishProgress(page, stepped);

            QVERIFY(native()->value("auth/token").toString().isEmpty());
            // The sign-in fetches both notification scopes with this run's token.
            QTRY_COMPARE(m_service.requestCount(QStringLiteral("/api/notifications")), 2);
            QCOMPARE(m_service.lastRequest(QStringLiteral("/api/notifications")).header("Authorization"),
                     "Bearer " + m_service.currentToken().toUtf8());
            QTRY_VERIFY(!window.notificationBell()->dot()->isHidden());
            // The sign-in looks at the promotion with this run's token; the
            // sample offer has a badge, so the pill shows with it.
            QWidget *pill = window.findChild<QWidget *>(QStringLiteral("HeaderSignUpCta"));
            QTRY_VERIFY(pill->isVisible());
            QCOMPARE(m_service.lastRequest(QStringLiteral("/api/promo/evaluate")).header("Authorization"),
                     "Bearer " + m_service.currentToken().toUtf8());
            QCOMPARE(window.findChild<QLabel *>(QStringLiteral("HeaderSignUpCtaLabel"))->text(),
                     QStringLiteral("Upgrade Now"));
            // The window's own requests carry this run's token.
            m_service.clearRequests();
            window.services().serviceClient->send(ServiceApi::Endpoint::Heartbeat,
                                                  [](const ServiceApi::Reply &) {});
            QTRY_COMPARE(m_service.requestCount(QStringLiteral("/api/auth/heartbeat")), 1);
            QCOMPARE(m_service.lastRequest(QStringLiteral("/api/auth/heartbeat")).header("Authorization"),
                     "Bearer " + m_service.currentToken().toUtf8());
            QCOMPARE(window.services().account->firstName(), QStringLiteral("Demo"));
            // Signing out hides the pill again, without asking the service.
            const int evaluations = m_service.requestCount(QStringLiteral("/api/promo/evaluate"));
            window.logout();
            QTRY_VERIFY(pill->isHidden());
            QCOMPARE(window.findChild<QLabel *>(QStringLiteral("HeaderSignUpCtaLabel"))->text(),
                     QStringLiteral("Sign Up Now"));
            QTest::qWait(50);
            QTRY_VERIFY(WindowAgainstFake::nothingInFlight(window.services().serviceClient));
            QCOMPARE(m_service.requestCount(QStringLiteral("/api/promo/evaluate")), evaluations);
        }
        // The next run is signed out: the form, no validation. A remembered
        // session would be validated once the start-up update check ends.
        m_service.clearRequests();
        TestWindow next;
        QVERIFY(!next.authPage()->hasRememberedSession());
        QTRY_COMPARE(m_service.requestCount(kUpdates), 1);
        QTRY_VERIFY(!next.isUpdateCheckRunning());
        QTRY_VERIFY(WindowAgainstFake::nothingInFlight(next.services().serviceClient));
        QCOMPARE(m_service.requestCount(QStringLiteral("/api/auth/validate")), 0);
        verifyNoWholeSessionIdLogged();
    }

    void signInDuringTheStartUpCheckWaitsForIt()
    {
        // The start-up update check is answered only once the form was sent.
        FakeReply held = FakeReply::json(QJsonObject{{"success", true}, {"data", QJsonArray()}});
        held.held = true;
        m_service.script("GET", kUpdates, held);
        TestWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTRY_COMPARE(m_service.requestCount(kUpdates), 1);
        QVERIFY(window.isUpdateCheckRunning());
        submit(window.authPage(), QLatin1String(FakeService::kDemoEmail),
               QLatin1String(FakeService::kDemoPassword), true);
        // The sign-in waits for the running check; it starts none of its own.
        QTRY_VERIFY(window.services().signIn->signInPending());
        QVERIFY(window.isUpdateCheckRunning());
        QCOMPARE(m_service.releaseHeld(), 1);
        QTRY_COMPARE(m_service.requestCount(kUserLogin), 1);
        QCOMPARE(order({kUpdates, kUserLogin}), (QStringList{kUpdates, kUserLogin}));
        // The start-up synchronisation and the picker's refresh, then the
        // sign-in's own.
        QTRY_COMPARE(m_service.requestCount(kServers), 3);
    }

    void rememberedTokenWaitsForTwoChecks()
    {
        {
            const auto store = native();
            store->setValue("auth/remember", true);
            store->setValue("auth/token", QStringLiteral("remembered-token"));
            store->sync();
        }
        TestWindow window;
        window.show();
        QTRY_COMPARE(m_service.requestCount(kValidate), 1);
        QCOMPARE(order({kUpdates, kValidate}), (QStringList{kUpdates, kUpdates, kValidate}));
        // Not a session the service knows: back to the form, token forgotten.
        QTRY_VERIFY(child<QLineEdit>(window.authPage(), "AuthEmailInput")->isEnabled());
        QVERIFY(native()->value("auth/token").toString().isEmpty());
    }

    void nothingIsSentWhileAnUpdateIsRequired()
    {
        // A newer required release whose download keeps failing.
        m_service.setLatestRelease(
            QJsonObject{{"version", "9.0.0"},
                        {"download_url", m_service.url("/no-such-installer").toString()},
                        {"is_required", 1}});
        TestWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTRY_VERIFY(window.isUpdateRequired());
        submit(window.authPage(), QStringLiteral("a@b.c"), QStringLiteral("secret1"), false);
        QTest::qWait(200);
        QCOMPARE(m_service.requestCount(kUserLogin), 0);
        QCOMPARE(m_service.requestCount(kUpdates), 1);
    }
};

QTEST_MAIN(TestMainWindowSignInFlow)
#include "tst_mainwindow_signinflow.moc"
