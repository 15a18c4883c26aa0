// The connection page's wiring and the window's named operations for it:
// opening a game, its header and boost list, the route area, and the
// stand-ins for the flows that join later. The connect button's wiring is in
// BuildConnectWiring.cpp.
#include "ui/mainwindow/MainWindow.h"

#include "services/UsageEvents.h"
#include "ui/mainwindow/WindowRules.h"
#include "ui/pages/connection/ConnectionPage.h"
#include "ui/pages/connection/ConnectionPanels.h"
#include "ui/pages/connection/GameConnectionView.h"
#include "ui/pages/connection/RouteArea.h"

#include <QDebug>
#include <QLabel>
#include <QPushButton>

void MainWindow::wireConnectionPage()
{
    connect(m_connectionPage, &ConnectionPage::backClicked, this, &MainWindow::openGamesPage);
    connect(m_connectionPage, &ConnectionPage::serverRegionClicked, this,
            [this] { showServerRegionPage(true); });

    GameConnectionView::Services services = GameConnectionView::Services::defaults();
    services.sweepPage = [this] { return pingSweepPage(); };
    services.windowRect = [this] { return rect(); };
    services.network = m_services.coverNetwork;
    services.hasConsoleNetwork = [this] { return m_services.consoleNetwork != nullptr; };
    GameConnectionView::Intervals intervals;
    intervals.promoRefreshMs = m_intervals.promoRefreshMs;
    intervals.consoleNetworkMs = m_intervals.consoleNetworkSetupMs;
    intervals.tapToConnectMs = m_intervals.consoleConnectPressMs;
    GameConnectionView::HeaderLabels labels;
    labels.title = m_connectionPage->gameTitle();
    labels.icon = m_connectionPage->gameIcon();
    labels.routingLabel = m_routeArea->gameLabel();
    labels.routingIcon = m_routeArea->gameIcon();
    m_gameView = new GameConnectionView(services, intervals, labels, this);

    connect(m_gameView, &GameConnectionView::trackEvent, this, &MainWindow::trackEvent);
    if (m_services.usage) {
        connect(m_gameView, &GameConnectionView::promotionRefreshDue, m_services.usage,
                &UsageEvents::promotionRefreshDue);
    }
    connect(m_gameView, &GameConnectionView::navigateToPage, this, &MainWindow::navigateToPage);
    connect(m_gameView, &GameConnectionView::routingPcIconRequested, this, &MainWindow::updateRoutingPcIcon);
    connect(m_gameView, &GameConnectionView::boostSectionRequested, this,
            [this](const QString &title) { buildPlatformBoostSection(this, title); });
    connect(m_gameView, &GameConnectionView::snapshotOverlayRequested, this,
            &MainWindow::showSnapshotOverlay);
    connect(m_gameView, &GameConnectionView::setupConsoleNetworkDue, this, &MainWindow::setupConsoleNetwork);
    connect(m_gameView, &GameConnectionView::tapToConnectDue, this, &MainWindow::clickTapToConnect);
    connect(m_gameView, &GameConnectionView::selectedRegionRequested, this,
            [this](const QHash<QString, int> &pings) { showSelectedRegion(this, pings); });
    connect(m_gameView, &GameConnectionView::applyServerPingsRequested, this,
            [this](const QString &title, const QString &logo, const QString &region) {
                applyServerPings(this, title, logo, region);
            });
    connect(m_gameView, &GameConnectionView::backgroundSweepFinished, this,
            [this](const QString &title, const QString &region) {
                onBackgroundPingSweepFinished(this, title, region);
            });
}

void MainWindow::handleOpenConnectionsForGame(const QString &gameTitle, const QString &gameLogo)
{
    buildPages();
    m_gameView->openGame(gameTitle, gameLogo);
}

void MainWindow::handleOpenConnectionsForGame(const QString &gameTitle, const QString &gameLogo,
                                              const QString &gameCategory)
{
    buildPages();
    m_gameView->openGame(gameTitle, gameLogo, gameCategory);
}

void MainWindow::updateConnectionGameHeader(const QString &title, const QString &logo)
{
    buildPages();
    m_gameView->updateConnectionGameHeader(title, logo);
}

void MainWindow::buildPlatformBoostSection(QWidget *window, const QString &title)
{
    buildPages();
    Q_UNUSED(window);
    m_connectionPage->buildPlatformBoostSection(title);
}

void MainWindow::showPlatformBoostInfo()
{
    buildPages();
    m_connectionPage->showPlatformBoostInfo();
}

void MainWindow::syncServerScrollBar()
{
    buildPages();
    m_connectionPage->boostList()->syncThumb();
}

void MainWindow::updateRoutingPcIcon(bool console)
{
    buildPages();
    m_routeArea->updateRoutingPcIcon(console);
}

void MainWindow::showManualServerLabel(const QString &text)
{
    buildPages();
    m_connectionPage->showManualServerLabel(text);
}

void MainWindow::updateRouteDiagram(int routes)
{
    buildPages();
    m_routeArea->updateRouteDiagram(routes);
}
