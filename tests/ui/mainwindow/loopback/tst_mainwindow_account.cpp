// The account in the real window against the fake service: the heartbeat on
// its timer, the "signed in elsewhere" end, sign-out through the Profile
// section's card, and the header's and profile's texts with the location.

#include "WindowAgainstFake.h"
#include "app/ClientComposition.h"
#include "services/AccountStore.h"
#include "services/ServiceClient.h"
#include "services/ServiceConfig.h"
#include "services/SignInController.h"
#include "storage/DatabaseManager.h"
#include "support/PainterWarnings.h"
#include "support/WindowFixture.h"
#include "support/fakeservice/FakeService.h"
#include "support/fakeservice/LoopbackGuard.h"
#include "ui/mainwindow/AccountPill.h"
#include "ui/mainwindow/MainWindow.h"
#include "ui/pages/account/ProfileSection.h"
#include "ui/pages/signin/AuthPage.h"
#include "ui/widgets/CardOverlay.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

namespace {

struct Warning
{
    QString title;
    QString text;
};
QList<Warning> g_warnings;

WindowIntervals accountIntervals()
{
    WindowIntervals intervals = WindowFixture::shortIntervals();
    intervals.heartbeatMs = 40;
    intervals.signInConfigurationMs = 10;
    intervals.closeDelayMs = 10;
    return intervals;
}

ClientServices recordingServices()
{
    ClientServices services = createClientServices(accountIntervals());
    services.showWarning = [](QWidget *, const QString &title, const QString &text) {
        g_warnings.append({title, text});
    };
    return services;
}

class TestWindow : public MainWindow
{
public:
    TestWindow() : MainWindow(recordingServices(), accountIntervals())
    {
        buildPages(); // the tests reach into the pages at once
    }
};

std::unique_ptr<QSettings> store(QSettings::Format format)
{
    return std::make_unique<QSettings>(format, QSettings::UserScope, QStringLiteral("Quorlix"),
                                       QStringLiteral("QuorlixApp"));
}

const QStringList kSessionKeys = {"auth/token", "auth/session_id", "auth/email",
                                  "user/id",    "user/email",      "user/first_name"};
const QString kHeartbeat = QStringLiteral("/api/auth/heartbeat");

// Every key as a remembered sign-in with a known location leaves them, in both stores.
QVariantMap storeFullSession(const QString &token)
{
    const QVariantMap values = {{"auth/token", token},      {"auth/session_id", "s1"},
                                {"auth/email", "ana@x.io"}, {"auth/remember", true},
                                {"user/id", "7"},           {"user/email", "ana@x.io"},
                                {"user/first_name", "Ana"}, {"user/isp", "Net Co"},
                                {"user/country", "Iran"},   {"user/country_code", "IR"}};
    for (QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat}) {
        auto s = store(format);
        for (auto it = values.begin(); it != values.end(); ++it)
            s->setValue(it.key(), it.value());
    }
    return values;
}

// Every key but the promotion's diagnostics ("debug/..."), which any
// promotion reply rewrites.
QVariantMap everyKey(QSettings::Format format)
{
    QVariantMap all;
    auto s = store(format);
    for (const QString &key : s->allKeys()) {
        if (!key.startsWith(QLatin1String("debug/")))
            all.insert(key, s->value(key));
    }
    return all;
}

template <typename T = QWidget> T *named(QWidget *root, const char *name)
{
    return root->findChild<T *>(QLatin1String(name));
}

void showAndSettle(MainWindow &window)
{
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCoreApplication::processEvents();
}

// The sign-in page as sign-out and expiry leave it: over the window, its form enabled.
void verifySignInFormShown(MainWindow &window)
{
    AuthPage *page = window.authPage();
    QVERIFY(page->isVisible());
    QCOMPARE(page->geometry(), window.rect());
    QVERIFY(!page->isProgressViewShown());
    QVERIFY(named<QLineEdit>(page, "AuthEmailInput")->isEnabled());
}

} // namespace

class TestMainWindowAccount : public QObject
{
    Q_OBJECT

private:
    FakeService m_service;

    // Signs the demo account in at the fake for this run only, as a sign-in
    // without "keep me login" leaves it.
    void signInForThisRun(MainWindow &window)
    {
        bool done = false;
        window.services().serviceClient->send(
            ServiceApi::Endpoint::UserLogin,
            [&](const ServiceApi::Reply &reply) {
                window.services().account->keepForThisRun(AccountStore::Account::fromReply(reply.object()));
                done = true;
            },
            {{"email", FakeService::kDemoEmail}, {"password", FakeService::kDemoPassword}});
        QTRY_VERIFY(done);
        QVERIFY(window.services().account->hasSessionForThisRun());
    }

    // Proof that a later request would have arrived by now: one more
    // round trip through the fake.
    void settle(MainWindow &window)
    {
        bool done = false;
        window.services().serviceClient->send(ServiceApi::Endpoint::AppUpdates,
                                              [&](const ServiceApi::Reply &) { done = true; });
        QTRY_VERIFY(done);
    }

    void openLogoutConfirm(MainWindow &window)
    {
        window.navigateToPage(4);
        ProfileClickableFrame *pill = window.profileSection()->logoutButton();
        QVERIFY(pill->isVisible());
        QTest::mouseClick(pill, Qt::LeftButton, {}, QPoint(69, 24));
        QVERIFY(window.profileSection()->overlay()->isVisible());
    }

private slots:
    void initTestCase() { QVERIFY(WindowAgainstFake::start(m_service)); }

    void init()
    {
        TestSupport::failOnPainterWarnings();
        LoopbackGuard::reset();
        m_service.clearScripts();
        m_service.loadSampleData();
        m_service.clearRequests();
        store(QSettings::NativeFormat)->clear();
        store(QSettings::IniFormat)->clear();
        g_warnings.clear();
    }

    // Every window here but the location's own finds the location stored, so
    // no geolocation request of one test reaches the fake during the next.
    void cleanup() { QVERIFY(LoopbackGuard::violations().isEmpty()); }

    void heartbeatFollowsTheTokenUntilTheSessionEndsElsewhere()
    {
        // A location already known keeps the geolocation service out of it.
        store(QSettings::NativeFormat)->setValue("user/isp", "Net Co");
        store(QSettings::NativeFormat)->setValue("user/country", "Iran");
        store(QSettings::NativeFormat)->setValue("auth/remember", true);
        TestWindow window;
        showAndSettle(window);
        // The first shot and a few ticks pass without a token.
        QTest::qWait(150);
        QCOMPARE(m_service.requestCount(kHeartbeat), 0);

        signInForThisRun(window);
        const QString token = m_service.currentToken();
        const QString sessionId = m_service.currentSessionId();
        QTRY_VERIFY(m_service.requestCount(kHeartbeat) > 0);
        const RecordedRequest beat = m_service.lastRequest(kHeartbeat);
        QCOMPARE(beat.header("Authorization"), "Bearer " + token.toUtf8());
        QCOMPARE(beat.json(), QJsonObject({{"session_id", sessionId}}));
        QVERIFY(!beat.header("X-Device-Id").isEmpty());
        QVERIFY(g_warnings.isEmpty());

        // Kept for this run only: nothing of it was written.
        window.authPage()->hide();
        m_service.startSessionElsewhere();
        QTRY_COMPARE(g_warnings.size(), 1);
        QCOMPARE(g_warnings.first().title, QStringLiteral("Session Expired"));
        QCOMPARE(g_warnings.first().text,
                 QStringLiteral("Your session has expired because you logged in from "
                                "another device. Please login again."));
        verifySignInFormShown(window);
        QVERIFY(!window.services().account->hasSessionForThisRun());
        QVERIFY(window.services().account->token().isEmpty());
        QCOMPARE(store(QSettings::NativeFormat)->value("auth/remember").toBool(), true);
        QCOMPARE(store(QSettings::NativeFormat)->value("user/isp").toString(), QStringLiteral("Net Co"));

        // The next ticks send nothing. Beats already on their way when the
        // session ended land first; they are not the ticks' doing.
        ServiceClient *client = window.services().serviceClient;
        QTRY_VERIFY(WindowAgainstFake::nothingInFlight(client));
        const int sent = m_service.requestCount(kHeartbeat);
        QTest::qWait(4 * accountIntervals().heartbeatMs);
        QTRY_VERIFY(WindowAgainstFake::nothingInFlight(client));
        QCOMPARE(m_service.requestCount(kHeartbeat), sent);
        QCOMPARE(g_warnings.size(), 1);
    }

    void expiryClearsTheStoredSessionInBothStores()
    {
        // A remembered sign-in of the fake's current session.
        bool done = false;
        {
            ServiceClient client(ServiceConfig::instance(), [] { return ServiceApi::Credentials{}; });
            client.send(ServiceApi::Endpoint::UserLogin, [&](const ServiceApi::Reply &) { done = true; },
                        {{"email", FakeService::kDemoEmail}, {"password", FakeService::kDemoPassword}});
            QTRY_VERIFY(done);
        }
        QVariantMap stored = storeFullSession(m_service.currentToken());
        // Not remembered: the start-up sign-in stays out of the way.
        stored["auth/remember"] = false;
        for (QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat}) {
            store(format)->setValue("auth/session_id", m_service.currentSessionId());
            store(format)->setValue("auth/remember", false);
        }
        m_service.startSessionElsewhere();

        TestWindow window;
        showAndSettle(window);
        QTRY_COMPARE(g_warnings.size(), 1);
        verifySignInFormShown(window);
        for (const QString &key : kSessionKeys)
            stored.remove(key);
        QCOMPARE(everyKey(QSettings::NativeFormat), stored);
        QCOMPARE(everyKey(QSettings::IniFormat), stored);
    }

    void signOutThroughTheConfirmation()
    {
        QVariantMap stored = storeFullSession(QStringLiteral("tok-9"));
        TestWindow window;
        showAndSettle(window);
        window.authPage()->hide();
        QSignalSpy promo(&window, &MainWindow::promotionRefreshNeeded);
        // The start-up look at the promotion, with the stored token.
        QTRY_COMPARE(m_service.requestCount(QStringLiteral("/api/promo/evaluate")), 1);
        const int evaluations = 1;
        openLogoutConfirm(window);
        QCOMPARE(window.profileSection()->logoutCard()->pos(), QPoint(527, 289));

        QTest::mouseClick(named<QPushButton>(&window, "LogoutConfirmConfirm"), Qt::LeftButton);
        for (const QString &key : kSessionKeys)
            stored.remove(key);
        stored["auth/remember"] = false;
        QCOMPARE(everyKey(QSettings::NativeFormat).value("auth/remember").toBool(), false);
        QVariantMap native = everyKey(QSettings::NativeFormat);
        native["auth/remember"] = native.value("auth/remember").toBool();
        QCOMPARE(native, stored);
        for (const QString &key : kSessionKeys)
            QVERIFY2(!store(QSettings::IniFormat)->contains(key), qPrintable(key));
        QVERIFY(window.profileSection()->overlay()->isHidden());
        QCOMPARE(promo.count(), 1);
        verifySignInFormShown(window);
        settle(window);
        // Signed out, the refresh asks the service nothing.
        QCOMPARE(m_service.requestCount(QStringLiteral("/api/promo/evaluate")), evaluations);
        // The labels keep their texts until the next refresh.
        QCOMPARE(named<QLabel>(&window, "HeaderUserName")->text(), QStringLiteral("Ana"));
    }

    // What was typed into the form before the sign-in does not wait there
    // for the next person at the machine: sign-out and an ended session both
    // empty the password; the e-mail stays only with "keep me login".
    void signInFormForgetsThePassword_data()
    {
        QTest::addColumn<bool>("expiry");
        QTest::addColumn<bool>("keep");
        QTest::newRow("sign-out, keep me login") << false << true;
        QTest::newRow("sign-out, not kept") << false << false;
        QTest::newRow("session ended elsewhere, keep me login") << true << true;
        QTest::newRow("session ended elsewhere, not kept") << true << false;
    }
    void signInFormForgetsThePassword()
    {
        QFETCH(bool, expiry);
        QFETCH(bool, keep);
        store(QSettings::NativeFormat)->setValue("user/isp", "Net Co");
        store(QSettings::NativeFormat)->setValue("user/country", "Iran");
        if (!expiry)
            storeFullSession(QStringLiteral("tok-9"));
        TestWindow window;
        showAndSettle(window);
        AuthPage *page = window.authPage();
        auto *email = named<QLineEdit>(page, "AuthEmailInput");
        auto *password = named<QLineEdit>(page, "AuthPasswordInput");
        auto *keepBox = named<QAbstractButton>(page, "AuthKeepLoginCheckLogic");
        email->setText(QStringLiteral("ana@x.io"));
        password->setText(QStringLiteral("secret-123"));
        keepBox->setChecked(keep);
        // Signed in: the page goes away with what was typed still in it.
        page->hide();

        if (expiry) {
            signInForThisRun(window);
            m_service.startSessionElsewhere();
            QTRY_COMPARE(g_warnings.size(), 1);
        } else {
            openLogoutConfirm(window);
            QTest::mouseClick(named<QPushButton>(&window, "LogoutConfirmConfirm"), Qt::LeftButton);
        }
        verifySignInFormShown(window);
        QVERIFY(password->text().isEmpty());
        QCOMPARE(email->text(), keep ? QStringLiteral("ana@x.io") : QString());
        // Emptied by the client, not by the user: no field error shows.
        QVERIFY(!password->property("hasError").toBool());
        QVERIFY(!email->property("hasError").toBool());
        // The button that would sign in again is marked unusable.
        QVERIFY(named<QPushButton>(page, "AuthV2LoginBtn")->property("invalid").toBool());
    }

    void leavingTheConfirmationChangesNothing_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("Cancel") << "cancel";
        QTest::newRow("Escape") << "escape";
        QTest::newRow("press beside the card") << "beside";
    }
    void leavingTheConfirmationChangesNothing()
    {
        QFETCH(QString, how);
        storeFullSession(QStringLiteral("tok-9"));
        const QVariantMap before = everyKey(QSettings::NativeFormat);
        const QVariantMap beforeIni = everyKey(QSettings::IniFormat);
        TestWindow window;
        showAndSettle(window);
        window.authPage()->hide();
        openLogoutConfirm(window);
        CardOverlay *overlay = window.profileSection()->overlay();
        if (how == QLatin1String("cancel"))
            QTest::mouseClick(named<QPushButton>(&window, "LogoutConfirmCancel"), Qt::LeftButton);
        else if (how == QLatin1String("escape"))
            QTest::keyClick(overlay, Qt::Key_Escape);
        else
            QTest::mouseClick(overlay, Qt::LeftButton, {}, QPoint(10, 10));
        QVERIFY(overlay->isHidden());
        QVERIFY(window.authPage()->isHidden());
        QCOMPARE(everyKey(QSettings::NativeFormat), before);
        QCOMPARE(everyKey(QSettings::IniFormat), beforeIni);
    }

    void overlayFollowsTheWindowAndTheSection()
    {
        storeFullSession(QStringLiteral("tok-9"));
        TestWindow window;
        showAndSettle(window);
        window.authPage()->hide();
        openLogoutConfirm(window);
        QVERIFY(window.profileSection()->overlay()->hasFocus());
        window.setFixedSize(1080, 608);
        QTRY_COMPARE(window.profileSection()->overlay()->geometry(), QRect(0, 0, 1080, 608));
        QCOMPARE(window.profileSection()->logoutCard()->pos(), QPoint((1080 - 386) / 2, (608 - 232) / 2));
        window.navigateToPage(0);
        QVERIFY(window.profileSection()->overlay()->isHidden());
    }

    void accountTextsAndLocation()
    {
        store(QSettings::NativeFormat)->setValue("auth/email", " sam@x.io ");
        m_service.setGeo({{"isp", "Net Co"}, {"country", "Iran"}, {"countryCode", "IR"}, {"city", "Tehran"}});
        TestWindow window;
        // At construction, before the event loop: the store as it is.
        QCOMPARE(named<QLabel>(&window, "HeaderUserName")->text(), QStringLiteral("sam"));
        QCOMPARE(named<QLabel>(&window, "HeaderUserEmail")->text(), QStringLiteral("sam@x.io"));
        QCOMPARE(named<QLabel>(&window, "ProfileEmailValue")->text(), QStringLiteral("sam@x.io"));
        QCOMPARE(named<QLabel>(&window, "ProfileIspValue")->text(), QStringLiteral("-"));
        showAndSettle(window);
        // The first refresh asks for the location once and shows it.
        QTRY_COMPARE(named<QLabel>(&window, "ProfileIspValue")->text(), QStringLiteral("Net Co"));
        QCOMPARE(named<QLabel>(&window, "ProfileCountryValue")->text(), QStringLiteral("Iran"));
        QCOMPARE(store(QSettings::NativeFormat)->value("user/country_code").toString(), QStringLiteral("IR"));
        QCOMPARE(m_service.requestCount(QStringLiteral("/json/")), 1);

        // A sign-in asks for a refresh.
        store(QSettings::NativeFormat)->setValue("user/first_name", "Ana");
        emit window.services().signIn->accountRefreshNeeded();
        QCOMPARE(named<QLabel>(&window, "HeaderUserName")->text(), QStringLiteral("Ana"));
        settle(window);
        QCOMPARE(m_service.requestCount(QStringLiteral("/json/")), 1);
    }
};

QTEST_MAIN(TestMainWindowAccount)
#include "tst_mainwindow_account.moc"
