// Window icon and the sign-in page that covers the window until the user is signed in.
#include "ui/mainwindow/MainWindow.h"

#include "ui/pages/AuthPage.h"

#include <QFile>
#include <QTimer>

void MainWindow::buildSignInPage(MainWindowBuildContext &)
{
    const QString icon = QFile::exists(QStringLiteral(":/icons/app-icon.ico"))
                             ? QStringLiteral(":/icons/app-icon.ico")
                             : QStringLiteral(":/icons/logo.png");
    setWindowIcon(QIcon(icon));

    m_authPage = new AuthPage(this);
    m_authPage->setGeometry(rect());
    m_authPage->raise();
    m_authPage->show();
    m_authPage->installEventFilter(this);

    QTimer::singleShot(0, this, [this] { hideSideNavWhileLoggedOut(); });

    if (m_authPage->hasRememberedSession()) {
        // The stored sign-in waits for the start-up update check.
        m_autoSignInPending = true;
        m_authPage->setFormEnabled(false);
        m_authPage->showLoginProgress();
        m_authPage->setLoginProgress(5, tr("Checking for update ..."));
    }

    m_loginHandler = [this](const QString &email, const QString &password) { login(email, password); };
    connect(m_authPage, &AuthPage::loginRequested, this, &MainWindow::onLoginRequested);
}

void MainWindow::onLoginRequested(const QString &email, const QString &password)
{
    m_pendingEmail = email;
    m_pendingPassword = password;
    m_signInPending = true;
    if (m_authPage)
        m_authPage->setLoginProgress(5, tr("Checking for update ..."));
    // The update check runs here and lets the pending sign-in proceed once it
    // allows it; until it exists the sign-in stays pending.
}

void MainWindow::login(const QString &email, const QString &password)
{
    // The sign-in procedure (email and password, or the stored token when
    // both are empty) plugs in here.
    Q_UNUSED(email);
    Q_UNUSED(password);
}
