// Signing in: the window hands its sign-in page and the update flow to the
// sign-in controller; the window's sign-in operations forward to it.
#include "ui/mainwindow/MainWindow.h"

#include "services/NotificationService.h"
#include "services/SignInController.h"
#include "ui/mainwindow/AuthPageView.h"
#include "ui/pages/signin/AuthPage.h"

void MainWindow::wireSignIn()
{
    SignInController *signIn = m_services.signIn;
    if (!signIn)
        return;
    m_authPageView = std::make_unique<AuthPageView>(m_authPage, this, signIn);
    signIn->setView(m_authPageView.get());
    signIn->setUpdateGate({[this] { return isUpdateCheckRunning(); }, [this] { return isUpdateRequired(); },
                           [this] { checkForAppUpdate(); }});
    connect(signIn, &SignInController::eventToTrack, this, &MainWindow::trackEvent);
    if (m_services.notifications) {
        connect(signIn, &SignInController::notificationsNeeded, m_services.notifications,
                &NotificationService::fetchNotifications);
    }
    connect(signIn, &SignInController::accountRefreshNeeded, this, &MainWindow::refreshAccountInfo);
    connect(signIn, &SignInController::promotionRefreshNeeded, this, &MainWindow::evaluatePromo);

    // The stored sign-in waits for the start-up update check.
    if (m_authPage->hasRememberedSession())
        signIn->prepareRememberedSignIn();
    connect(m_authPage, &AuthPage::loginRequested, this, &MainWindow::onLoginRequested);
}

void MainWindow::onLoginRequested(const QString &email, const QString &password)
{
    if (m_services.signIn)
        m_services.signIn->onLoginRequested(email, password);
}

void MainWindow::login(const QString &email, const QString &password)
{
    if (m_services.signIn)
        m_services.signIn->login(email, password);
}

void MainWindow::onLoginReply(const ServiceApi::Reply &reply, bool discord)
{
    if (m_services.signIn)
        m_services.signIn->onLoginReply(reply, discord);
}

void MainWindow::onAutoLoginReply(const ServiceApi::Reply &reply)
{
    if (m_services.signIn)
        m_services.signIn->onAutoLoginReply(reply);
}

void MainWindow::downloadGamesAfterLogin(bool ignored)
{
    if (m_services.signIn)
        m_services.signIn->downloadGamesAfterLogin(ignored);
}

void MainWindow::downloadGamesAfterAutoLogin(bool ignored)
{
    if (m_services.signIn)
        m_services.signIn->downloadGamesAfterAutoLogin(ignored);
}

void MainWindow::showGamesDownloadProgress(qint64 received, qint64 total)
{
    if (m_services.signIn)
        m_services.signIn->showGamesDownloadProgress(received, total);
}

void MainWindow::onLoginGamesDownloaded()
{
    if (m_services.signIn)
        m_services.signIn->onLoginGamesDownloaded();
}

void MainWindow::onAutoLoginGamesDownloaded()
{
    if (m_services.signIn)
        m_services.signIn->onAutoLoginGamesDownloaded();
}

void MainWindow::onLoginConfigurationLoaded()
{
    if (m_services.signIn)
        m_services.signIn->onLoginConfigurationLoaded();
}

void MainWindow::markLoginDataReady(bool ignored)
{
    if (m_services.signIn)
        m_services.signIn->markLoginDataReady(ignored);
}

void MainWindow::onLoginProgressFinished()
{
    if (m_services.signIn)
        m_services.signIn->onLoginProgressFinished();
}

void MainWindow::finishLoginIfReady()
{
    if (m_services.signIn)
        m_services.signIn->finishLoginIfReady();
}
