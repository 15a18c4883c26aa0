// The real window with a remembered sign-in: the sign-in page starts in its
// progress view, the form disabled, waiting for the update check.

#include "app/ClientComposition.h"
#include "storage/AccountStoreFiles.h"
#include "storage/DatabaseManager.h"
#include "support/WindowFixture.h"
#include "ui/mainwindow/MainWindow.h"
#include "ui/pages/signin/AuthPage.h"
#include "ui/pages/signin/LoginProgressRun.h"
#include "ui/widgets/PaintedWidgetTest.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QSettings>
#include <QTest>

class TestMainWindowSignIn : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        WindowFixture::useClientNames();
        QVERIFY(WindowFixture::openDatabase());
    }

    void init() { PaintedWidgetTest::failOnPainterWarnings(); }

    void startup_data()
    {
        QTest::addColumn<bool>("remember");
        QTest::addColumn<QString>("token");
        QTest::addColumn<bool>("progress");
        QTest::newRow("remembered with a token") << true << "t0k" << true;
        QTest::newRow("token but not remembered") << false << "t0k" << false;
    }
    void startup()
    {
        QFETCH(bool, remember);
        QFETCH(QString, token);
        QFETCH(bool, progress);
        {
            QSettings store{QLatin1String(AccountStoreFiles::Organisation),
                            QLatin1String(AccountStoreFiles::Application)};
            store.clear();
            store.setValue(QStringLiteral("auth/remember"), remember);
            store.setValue(QStringLiteral("auth/token"), token);
            store.setValue(QStringLiteral("auth/email"), QStringLiteral("me@example.test"));
            syncAccountStore(store);
        }
        const WindowIntervals intervals;
        MainWindow window(createClientServices(intervals), intervals);
        AuthPage *page = window.authPage();
        // Before the event loop runs the start-up update check, the stored
        // sign-in waits for it: "Checking for update ..." at 5 %.
        QCOMPARE(page->hasRememberedSession(), progress);
        QCOMPARE(page->isProgressViewShown(), progress);
        auto *email = page->findChild<QLineEdit *>(QStringLiteral("AuthEmailInput"));
        QCOMPARE(email->text(), QStringLiteral("me@example.test"));
        QCOMPARE(email->isEnabled(), !progress);
        if (progress) {
            // The run starts at "Logging in ..." and the 5 % stage is queued behind it.
            QCOMPARE(page->progressRun()->status(), QStringLiteral("Logging in ..."));
            QCOMPARE(page->progressRun()->queuedStages(), 1);
        }
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(page->isVisible());
    }
};

QTEST_MAIN(TestMainWindowSignIn)
#include "tst_mainwindow_signin.moc"
