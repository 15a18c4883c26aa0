// The account in the window: the session heartbeat and its end, sign-out
// through the Profile section's confirmation card, the account texts of the
// header pill and the Profile section, and the pill's pop-up.
#include "ui/mainwindow/MainWindow.h"

#include "services/AccountInfo.h"
#include "services/AccountSession.h"
#include "ui/mainwindow/AccountPill.h"
#include "ui/pages/account/ProfileSection.h"
#include "ui/pages/signin/AuthPage.h"

#include <QCoreApplication>
#include <QTimer>

void MainWindow::wireAccountService()
{
    if (m_services.accountInfo)
        QTimer::singleShot(0, this, &MainWindow::refreshAccountInfo);
    if (m_services.session)
        connect(m_services.session, &AccountSession::sessionExpired, this, &MainWindow::onSessionExpired);
}

void MainWindow::wireAccount()
{
    // The pill and the section were made with the texts of the moment.
    if (AccountInfo *info = m_services.accountInfo) {
        connect(info, &AccountInfo::accountTextsChanged, m_accountPill, &AccountPill::showAccount);
        connect(info, &AccountInfo::accountTextsChanged, m_profile, &ProfileSection::showAccount);
    }
    connect(m_profile, &ProfileSection::logoutConfirmed, this, &MainWindow::logout);
}

void MainWindow::sendHeartbeat()
{
    if (m_services.session)
        m_services.session->sendHeartbeat();
}

void MainWindow::onHeartbeatReply(const ServiceApi::Reply &reply)
{
    if (m_services.session)
        m_services.session->onHeartbeatReply(reply);
}

void MainWindow::onSessionExpired()
{
    showSignInForm();
    if (m_services.showWarning) {
        m_services.showWarning(this, QStringLiteral("Session Expired"),
                               QStringLiteral("Your session has expired because you logged in from another "
                                              "device. Please login again."));
    }
}

void MainWindow::logout()
{
    buildPages();
    if (m_services.session)
        m_services.session->logout();
    m_profile->dismissOverlay();
    emit promotionRefreshNeeded();
    showSignInForm();
}

void MainWindow::showSignInForm()
{
    if (!m_authPage)
        return;
    m_authPage->showLoginForm();
    m_authPage->forgetTypedCredentials();
    m_authPage->setFormEnabled(true);
    m_authPage->setGeometry(rect());
    m_authPage->raise();
    m_authPage->show();
}

void MainWindow::refreshAccountInfo()
{
    if (m_services.accountInfo)
        m_services.accountInfo->refreshAccountInfo();
}

void MainWindow::onGeoLocationReply(const ServiceApi::Reply &reply)
{
    if (m_services.accountInfo)
        m_services.accountInfo->onGeoLocationReply(reply);
}

void MainWindow::setAccountPillOpen(bool open)
{
    buildPages();
    m_accountPill->setAccountPillOpen(open);
}

void MainWindow::toggleProfilePopup()
{
    buildPages();
    m_accountPill->toggleProfilePopup();
}

void MainWindow::placeLogoutConfirm()
{
    buildPages();
    m_profile->placeLogoutConfirm();
}

void MainWindow::showLogoutConfirm()
{
    buildPages();
    m_profile->showLogoutConfirm();
}

void MainWindow::cancelLogout()
{
    buildPages();
    m_profile->cancelLogout();
}

void MainWindow::dismissOverlay()
{
    buildPages();
    m_profile->dismissOverlay();
}
