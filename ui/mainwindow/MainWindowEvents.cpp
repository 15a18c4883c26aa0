// The window as a window: its events (the rounded mask and the placement of
// the floating widgets on resize, the taskbar entry on show, the first frame,
// the delayed close) and the navigation between its sections.
#include "ui/mainwindow/MainWindow.h"

#include "connection/SessionManager.h"
#include "i18n/TranslationManager.h"
#include "services/UpdateController.h"
#include "services/UsageEvents.h"
#include "ui/mainwindow/NotificationBell.h"
#include "ui/mainwindow/SideNavigation.h"
#include "ui/mainwindow/WindowButtons.h"
#include "ui/mainwindow/WindowRules.h"
#include "ui/pages/account/ProfileSection.h"
#include "ui/pages/connection/PingOptimizerPage.h"
#include "ui/pages/games/GamesBoardState.h"
#include "ui/pages/games/GamesSection.h"
#include "ui/pages/home/HomeDashboard.h"
#include "ui/pages/home/HomeFavorites.h"
#include "ui/pages/signin/AuthPage.h"
#include "ui/widgets/HoverPartner.h"
#include "ui/widgets/ProxyStatusOverlay.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QLabel>
#include <QPainterPath>
#include <QPushButton>
#include <QTimer>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

QString MainWindow::currentLanguage() const
{
    return m_services.translations ? m_services.translations->currentLanguage() : QStringLiteral("en-US");
}

bool MainWindow::currentLanguageIsPersian() const
{
    return WindowRules::isPersian(currentLanguage());
}

void MainWindow::onSectionClicked(int id)
{
    buildPages();
    switchNavSection(id);
    switchMainStack(id);
}

void MainWindow::switchNavSection(int id)
{
    buildPages();
    m_navigated = true;
    m_navId = id;
    m_navProgrammatic = m_programmaticNav;
    m_sideNavigation->select(id);
    for (const WindowRules::SectionVisibility &rule : WindowRules::sectionVisibility(id, m_programmaticNav)) {
        QWidget *w = m_sections.widget(rule.section);
        if (!w)
            continue;
        if (rule.rule == WindowRules::SectionRule::HideOnly) {
            if (!rule.visible)
                w->hide();
            continue;
        }
        if (rule.visible && rule.section == WindowRules::Section::ConnectionsLandingBanner) {
            // The banner's frosted backdrop is taken of what lies beneath it,
            // so it must be out of the way while the backdrop is made.
            w->hide();
            emit landingBannerBackdropNeeded();
        }
        w->setVisible(rule.visible);
    }
    // A page shown for the first time is placed for the language too.
    m_sections.placeForLanguage(currentLanguageIsPersian());
    if (id == WindowRules::NavGames)
        emit gamesSectionOpened();
}

void MainWindow::navigateToPage(int index)
{
    buildPages();
    if (index == WindowRules::NavNetwork && m_services.usage)
        m_services.usage->connectionViewOpened();
    QAbstractButton *button = navGroup()->button(index);
    if (!button)
        return;
    m_programmaticNav = true;
    button->click();
    m_programmaticNav = false;
}

void MainWindow::openGamesPage()
{
    buildPages();
    QAbstractButton *button = navGroup()->button(WindowRules::NavGames);
    if (!button)
        return;
    m_programmaticNav = true;
    button->click();
    m_programmaticNav = false;
}

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
    if (m_notifications)
        m_notifications->coverWindow(full, raiseShown);
    if (m_profile)
        m_profile->coverWindow(full, raiseShown);

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

bool MainWindow::signInPageCovers() const
{
    return m_authPage && !m_authPage->isHidden();
}

void MainWindow::renderGamesGridWhenSeen()
{
    // The grid is built once someone has signed in: behind the sign-in page
    // nobody sees it.
    if (signInPageCovers()) {
        m_gridRenderWaits = true;
        return;
    }
    m_gridRenderWaits = false;
    m_games->renderGamesGrid();
}

void MainWindow::showSignedInPages()
{
    buildPages();
    if (m_gamesBoard && m_home && m_gamesBoard->readStore())
        m_home->favorites()->rebuildHomeFavorites();
    if (m_gridRenderWaits)
        QTimer::singleShot(0, m_games, [this] {
            if (m_gridRenderWaits)
                renderGamesGridWhenSeen();
        });
}
