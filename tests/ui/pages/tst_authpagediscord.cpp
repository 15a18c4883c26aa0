// The sign-in page's Discord button: the dimmed page while the browser part
// runs, the hand-over to the sign-in flow, failures and "Cancel".

#include "services/DiscordSignIn.h"
#include "services/ServiceClient.h"
#include "support/fakeservice/FakeService.h"
#include "support/fakeservice/LoopbackGuard.h"
#include "support/fakeservice/TestBrowser.h"
#include "ui/pages/signin/AuthPage.h"
#include "ui/pages/signin/AuthProgressOverlay.h"
#include "ui/widgets/PaintedWidgetTest.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <memory>

namespace {

template <typename T = QWidget> T *child(QWidget *root, const char *name)
{
    T *w = root->findChild<T *>(QLatin1String(name));
    if (!w)
        qWarning("no child named %s", name);
    return w;
}

// The page on screen with a Discord sign-in against the fake, on a free port;
// a test browser visits whatever the page opens.
struct DiscordPage
{
    ServiceClient client;
    DiscordSignIn signIn;
    AuthPage page;
    FakeService &fake;
    TestBrowser browser;
    bool browse = true;
    QUrl opened;
    QSignalSpy login{&page, &AuthPage::loginRequested};
    bool progressShownAtLogin = false;

    explicit DiscordPage(FakeService &service)
        : client(ServiceConfig(service.origin(), service.origin(), service.origin(), service.origin()),
                 [] { return ServiceApi::Credentials{}; }),
          signIn(&client,
                 [this](const QUrl &url) {
                     fake.setDiscordListenerPort(signIn.listeningPort());
                     opened = url;
                     if (browse)
                         browser.open(url);
                     return true;
                 }),
          fake(service)
    {
        signIn.setPort(0);
        signIn.setAnswerDelay(0);
        page.setDiscordSignIn(&signIn);
        QObject::connect(&page, &AuthPage::loginRequested, &page,
                         [this] { progressShownAtLogin = page.isProgressViewShown(); });
        page.resize(1440, 810);
        page.show();
        if (!QTest::qWaitForWindowExposed(&page))
            qWarning("page not exposed");
    }
    void clickDiscord() { QTest::mouseClick(child<QPushButton>(&page, "AuthV2DiscordBtn"), Qt::LeftButton); }
    bool overlayShown() const { return page.progressOverlay() && page.progressOverlay()->isVisible(); }
    bool formEnabled() { return child<QLineEdit>(&page, "AuthEmailInput")->isEnabled(); }
    QString bannerText() { return child<QLabel>(&page, "AuthLoginErrorText")->text(); }
    bool bannerShown() { return child<QFrame>(&page, "AuthLoginErrorBanner")->isVisible(); }
};

} // namespace

class TestAuthPageDiscord : public QObject
{
    Q_OBJECT

private:
    FakeService m_fake;

private slots:
    void initTestCase()
    {
        QVERIFY(m_fake.listen());
        LoopbackGuard::install();
    }

    void init()
    {
        PaintedWidgetTest::failOnPainterWarnings();
        m_fake.clearScripts();
        m_fake.clearRequests();
        m_fake.loadSampleData();
        LoopbackGuard::reset();
    }

    void cleanup() { QVERIFY(LoopbackGuard::violations().isEmpty()); }

    void signsInThroughTheBrowser()
    {
        DiscordPage p(m_fake);
        p.browse = false; // the browser goes once the dimmed page has been looked at
        p.clickDiscord();
        QVERIFY(p.overlayShown());
        QCOMPARE(p.page.progressOverlay()->message(), QStringLiteral("Connecting your Discord account..."));
        QVERIFY(p.page.progressOverlay()->geometry() == p.page.rect());
        QVERIFY(!p.formEnabled());
        QVERIFY(!p.page.isProgressViewShown());

        p.browser.open(p.opened);
        QTRY_COMPARE(p.login.size(), 1);
        QCOMPARE(p.login.first().at(0).toString(), QLatin1String(FakeService::kDemoDiscordEmail));
        QCOMPARE(p.login.first().at(1).toString(), QString());
        QVERIFY(p.progressShownAtLogin);
        QVERIFY(!p.overlayShown());
        QVERIFY(!p.formEnabled());
    }

    void failureReturnsToTheForm_data()
    {
        QTest::addColumn<bool>("portBusy");
        QTest::addColumn<QString>("expected");
        QTest::newRow("port busy") << true << QStringLiteral("Unable to open port");
        QTest::newRow("token refused") << false << QStringLiteral("Error: invalid_grant");
    }

    void failureReturnsToTheForm()
    {
        QFETCH(bool, portBusy);
        QFETCH(QString, expected);
        m_fake.script("POST", QStringLiteral("/api/v10/oauth2/token"),
                      FakeReply::json(QJsonObject{{"error", "invalid_grant"}}, 400));
        DiscordPage p(m_fake);
        QTcpServer taken;
        if (portBusy) {
            QVERIFY(taken.listen(QHostAddress(QHostAddress::LocalHost), 0));
            p.signIn.setPort(taken.serverPort());
        }
        p.clickDiscord();
        QTRY_VERIFY(p.bannerShown());
        QVERIFY2(p.bannerText().contains(expected), qPrintable(p.bannerText()));
        QVERIFY(!p.overlayShown());
        QVERIFY(p.formEnabled());
        QCOMPARE(p.login.size(), 0);
    }

    // "Cancel" in each phase: back to the enabled form, and nothing follows.
    void cancel_data()
    {
        QTest::addColumn<QString>("hangingPath");
        QTest::newRow("waiting for the browser") << QString();
        QTest::newRow("token request") << QStringLiteral("/api/v10/oauth2/token");
        QTest::newRow("user request") << QStringLiteral("/api/users/@me");
    }

    void cancel()
    {
        QFETCH(QString, hangingPath);
        if (!hangingPath.isEmpty())
            m_fake.script(hangingPath.startsWith(QLatin1String("/api/users")) ? "GET" : "POST", hangingPath,
                          FakeReply::hanging());
        DiscordPage p(m_fake);
        p.browse = !hangingPath.isEmpty();
        QSignalSpy failed(&p.signIn, &DiscordSignIn::failed);
        QSignalSpy email(&p.signIn, &DiscordSignIn::emailReceived);
        p.clickDiscord();
        if (!hangingPath.isEmpty())
            QTRY_COMPARE(m_fake.requestCount(hangingPath), 1);
        QVERIFY(p.overlayShown());

        QTest::mouseClick(child<QPushButton>(p.page.progressOverlay(), "AuthProgressCancel"), Qt::LeftButton);
        QVERIFY(!p.overlayShown());
        QVERIFY(p.formEnabled());
        QTest::qWait(100);
        QCOMPARE(p.login.size(), 0);
        QCOMPARE(failed.size() + email.size(), 0);
        QVERIFY(!p.bannerShown());
        QVERIFY(!p.page.isProgressViewShown());
    }
};

QTEST_MAIN(TestAuthPageDiscord)
#include "tst_authpagediscord.moc"
