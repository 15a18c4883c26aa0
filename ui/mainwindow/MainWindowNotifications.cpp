// The window's notification operations, forwarding to the bell area and the
// notification texts.
#include "ui/mainwindow/MainWindow.h"

#include "i18n/TranslationManager.h"

#include "ui/mainwindow/NotificationBell.h"
#include "ui/mainwindow/WindowRules.h"
#include "ui/pages/notifications/NotificationDropdown.h"

#include <QDateTime>

void MainWindow::fetchNotifications()
{
    buildPages();
    m_notifications->fetchNotifications();
}

void MainWindow::onNotificationBellClicked()
{
    buildPages();
    m_notifications->onBellClicked();
}

void MainWindow::placeNotifDropdown()
{
    buildPages();
    m_notifications->placeDropdown();
}

void MainWindow::switchNotificationTab(int id)
{
    buildPages();
    m_notifications->switchTab(id);
}

void MainWindow::retranslateNotifications(const QString &languageCode)
{
    buildPages();
    m_notifications->place(WindowRules::isPersian(languageCode));
}

QIcon MainWindow::notificationBellIcon()
{
    return NotificationLooks::bellIcon();
}

QString MainWindow::localizeNotificationTitle(const QString &rawTitle, bool persian)
{
    return NotificationTexts::localizeTitle(rawTitle, persian);
}

QString MainWindow::formatRelativeTime(const QDateTime &created)
{
    const bool persian = TranslationManager::instance() &&
                         WindowRules::isPersian(TranslationManager::instance()->currentLanguage());
    return NotificationTexts::relativeTime(created, QDateTime::currentDateTimeUtc(), persian);
}
