// The window as a window: rounded mask and placement of the floating widgets
// on resize, taskbar entry on show, hover partners, and the delayed close.
#include "ui/mainwindow/MainWindow.h"

#include "connection/SessionManager.h"
#include "engine/qt/TunnelClient.h"
#include "services/UpdateController.h"
#include "ui/mainwindow/NotificationBell.h"
#include "ui/mainwindow/SideNavigation.h"
#include "ui/mainwindow/WindowButtons.h"
#include "ui/mainwindow/WindowRules.h"
#include "ui/pages/account/ProfileSection.h"
#include "ui/pages/connection/PingOptimizerPage.h"
#include "ui/pages/signin/AuthPage.h"
#include "ui/widgets/HoverPartner.h"
#include "ui/widgets/ProxyStatusOverlay.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QPainterPath>
#include <QRegion>
#include <QTimer>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (m_authPage && watched == m_authPage && (type == QEvent::Show || type == QEvent::Hide))
        QTimer::singleShot(0, this, [this] { syncSideNavVisibility(); });
    // Someone signed in (or a test put the page aside): what lay under the
    // sign-in page is seen from now on. A close hides the page too, but
    // under its own overlay.
    if (m_authPage && watched == m_authPage && type == QEvent::Hide && !m_closing)
        showSignedInPages();
    if (m_watchFirstPaint && type == QEvent::Paint && (watched == m_authPage || watched == m_rootFrame)) {
        // The first frame is being drawn; it is on screen before the event
        // loop takes its next event, and the pages follow from there. (The
        // window filters the sign-in page's events anyway.)
        m_watchFirstPaint = false;
        m_rootFrame->removeEventFilter(this);
        startIdlePageBuilding();
    }

    HoverPartner::handleEnterLeave(watched, event);
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::placeFloatingSections(bool persian, bool raiseShown)
{
    for (const WindowRules::SectionX &place : WindowRules::homeSectionPlaces(persian)) {
        QWidget *w = m_sections.widget(place.section);
        if (!w)
            continue;
        w->move(place.x, w->y());
        if (raiseShown && w->isVisible())
            w->raise();
    }
}

void MainWindow::placeSectionsForWindow(bool persian, bool raiseShown)
{
    const QRect full = rect();
    // The two card overlays cover the window.
    if (m_notifications) {
        QWidget *notif = m_notifications->overlay();
        notif->setGeometry(full);
        QWidget *card = m_notifications->card();
        card->move(std::max(0, width() - card->width() - 264), 90);
        if (raiseShown && notif->isVisible())
            notif->raise();
    }
    if (m_profile) {
        QWidget *logout = m_profile->overlay();
        logout->setGeometry(full);
        QWidget *card = m_profile->logoutCard();
        card->move((logout->width() - card->width()) / 2, (logout->height() - card->height()) / 2);
        if (raiseShown && logout->isVisible())
            logout->raise();
    }

    if (auto *title = qobject_cast<QLabel *>(m_sections.widget(WindowRules::Section::DashboardTitle))) {
        if (persian) {
            title->adjustSize();
            QWidget *parent = title->parentWidget() ? title->parentWidget() : this;
            title->move(std::max(0, parent->width() - title->width() - 120), title->y());
        } else {
            title->move(120, title->y());
        }
    }

    placeFloatingSections(persian, raiseShown);
    m_sections.placeForLanguage(persian);
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    m_placedForWindow = true;

    QPainterPath path;
    path.addRoundedRect(QRectF(0, 0, width(), height()), 8, 8);
    setMask(QRegion(path.toFillPolygon().toPolygon()));

    const QRect full = rect();
    for (QWidget *overlay : {static_cast<QWidget *>(m_authPage), static_cast<QWidget *>(m_busyOverlay)}) {
        if (!overlay)
            continue;
        overlay->setGeometry(full);
        overlay->raise();
    }
    if (m_pingSweepPage)
        m_pingSweepPage->setGeometry(full);

    const bool persian = currentLanguageIsPersian();
    placeSectionsForWindow(persian, /*raiseShown=*/true);

    if (m_sideNavigation)
        m_sideNavigation->setShown(!(m_authPage && m_authPage->isVisible()), persian);
    if (m_windowButtons)
        m_windowButtons->follow(persian);
}

void MainWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!m_firstShown) {
        m_firstShown = true;
        m_watchFirstPaint = true;
        m_rootFrame->installEventFilter(this);
    }
#ifdef Q_OS_WIN
    // A frameless window gets no taskbar button unless it is marked as an
    // application window.
    if (HWND hwnd = reinterpret_cast<HWND>(winId())) {
        LONG_PTR style = GetWindowLongW(hwnd, GWL_EXSTYLE);
        style = (style & ~WS_EX_TOOLWINDOW) | WS_EX_APPWINDOW;
        SetWindowLongW(hwnd, GWL_EXSTYLE, static_cast<LONG>(style));
        SetWindowPos(hwnd, nullptr, 0, 0, 0, 0, SWP_FRAMECHANGED | SWP_NOZORDER | SWP_NOMOVE | SWP_NOSIZE);
    }
#endif
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (m_allowClose) {
        event->accept();
        return;
    }
    event->ignore();
    if (isVersionBlocked())
        return;
    m_closing = true;

    // The download is taken out before it is aborted, so its end is not
    // taken for a failure that would schedule a retry during the close.
    if (m_services.updates)
        m_services.updates->abandon();
    if (m_authPage && m_authPage->isVisible())
        m_authPage->hide();
    if (m_busyOverlay) {
        m_busyOverlay->showMessage(QStringLiteral("Closing Quorlyx"));
        m_busyOverlay->setGeometry(rect());
        m_busyOverlay->raise();
        m_busyOverlay->show();
    }
    QTimer::singleShot(m_intervals.closeDelayMs, this, [this] { finishClose(); });
}

void MainWindow::finishClose()
{
    if (m_connectTimer)
        m_connectTimer->stop();
    if (m_services.tunnel)
        m_services.tunnel->stop();
    if (m_services.sessions && m_services.sessions->currentSession().isActive)
        m_services.sessions->endSession();
    m_allowClose = true;
    close();
}

void MainWindow::quitNow()
{
    m_allowClose = true;
    QCoreApplication::quit();
}
