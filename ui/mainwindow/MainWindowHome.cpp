// The home page's connection section and dashboard cards, the Games section,
// the shared state of the games grid and favourites, and the catalogue's
// start.
#include "connection/SessionManager.h"
#include "services/GamesCatalogue.h"
#include "services/NetworkAccess.h"
#include "services/ServiceClient.h"
#include "ui/mainwindow/MainWindow.h"
#include "ui/mainwindow/WindowRules.h"
#include "ui/pages/common/TitlesAndLanding.h"
#include "ui/pages/games/GamesBoardState.h"
#include "ui/pages/games/GamesGrid.h"
#include "ui/pages/games/GamesSection.h"
#include "ui/pages/games/ImageCache.h"
#include "ui/pages/home/HeroCard.h"
#include "ui/pages/home/HomeDashboard.h"
#include "ui/pages/home/HomeFavorites.h"
#include "ui/pages/home/LastSessionCard.h"
#include "ui/pages/signin/AuthPage.h"

#include <QDir>
#include <QLabel>
#include <QPixmapCache>
#include <QStandardPaths>
#include <QTimer>

namespace {

// The cache database holds favourites and clicks for the whole process.
GameRecordsStore *databaseGameRecords()
{
    static DatabaseGameRecords records;
    return &records;
}

} // namespace

void MainWindow::buildHomeAndGames()
{
    const ServiceConfig config =
        m_services.serviceClient ? m_services.serviceClient->config() : ServiceConfig::instance();
    const QString dataFolder = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    QDir().mkpath(dataFolder + QStringLiteral("/covers"));
    QDir().mkpath(dataFolder + QStringLiteral("/cache"));
    QPixmapCache::setCacheLimit(ImageCache::kPixmapCacheKb);

    // Favourites (and the click counts the grid sorts by) are read once
    // someone has signed in: nobody sees them behind the sign-in page.
    m_gamesBoard = new GamesBoardState(databaseGameRecords(), this, /*readNow=*/!signInPageCovers());
    m_images = new ImageCache(config, dataFolder, NetworkAccess::createManager(this),
                              NetworkAccess::createManager(this), m_intervals.imageInactivityMs, this);

    HomeDashboard::Setup home;
    home.dashboardTitleHeight = m_titles->dashboardTitle()->height();
    home.board = m_gamesBoard;
    home.images = m_images;
    home.hoverFilter = this;
    home.persianFontFamily = persianFontFamily();
    home.config = config;
    home.dataFolder = dataFolder;
    home.logoManager = NetworkAccess::createManager(this);
    home.logoInactivityMs = m_intervals.imageInactivityMs;
    home.openUrl = m_services.openUrl;
    home.site = config.siteOrigin();
    m_home = new HomeDashboard(m_rootFrame, home, this);
    m_sections.add(WindowRules::Section::QuorlixConnectionTitle, m_home->connectionTitle());
    m_sections.add(WindowRules::Section::ConnectionsSection, m_home->connectionSection());
    m_sections.add(WindowRules::Section::ConnectionsSectionRight, m_home->hero()->card());
    m_sections.add(WindowRules::Section::DashboardLowerLeft, m_home->lastSession()->card());
    m_sections.add(WindowRules::Section::DashboardLowerRight, m_home->lowerRight());
    connect(m_home, &HomeDashboard::gamesRequested, this, &MainWindow::openGamesPage);
    connect(m_home, &HomeDashboard::gameOpened, this,
            qOverload<const QString &, const QString &, const QString &>(
                &MainWindow::handleOpenConnectionsForGame));

    GamesSection::Setup games;
    games.gamesTitleHeight = m_titles->gamesTitle()->height();
    games.windowHeight = height();
    games.catalogue = m_services.games ? m_services.games->state() : std::make_shared<CatalogueState>();
    games.board = m_gamesBoard;
    games.images = m_images;
    games.timings = {m_intervals.consoleTileBarMs, m_intervals.consoleTileOpenMs};
    games.hoverFilter = this;
    m_games = new GamesSection(m_rootFrame, games, this);
    m_sections.add(WindowRules::Section::GamesSectionWrap, m_games->wrap());
    connect(m_games, &GamesSection::gameOpened, this,
            qOverload<const QString &, const QString &, const QString &>(
                &MainWindow::handleOpenConnectionsForGame));
    startGamesCatalogue();

    if (SessionManager *sessions = m_services.sessions) {
        connect(sessions, &SessionManager::sessionStarted, m_home, &HomeDashboard::showLastSession);
        connect(sessions, &SessionManager::sessionUpdated, m_home, &HomeDashboard::showLastSession);
        connect(sessions, &SessionManager::sessionEnded, m_home, &HomeDashboard::showLastSession);
        const SessionData last = sessions->lastSession();
        if (!last.gameTitle.trimmed().isEmpty())
            m_home->showLastSession(last);
    }
    addLanguageArea(m_home, false);
}

void MainWindow::startGamesCatalogue()
{
    GamesCatalogue *catalogue = m_services.games;
    if (!catalogue)
        return;
    m_images->setCatalogueItems(catalogue->items());
    connect(catalogue, &GamesCatalogue::renderRequested, m_games, [this] { renderGamesGridWhenSeen(); });
    connect(catalogue, &GamesCatalogue::catalogueRefreshed, m_games, [this] {
        if (m_games->isShown())
            renderGamesGridWhenSeen();
    });
    connect(catalogue, &GamesCatalogue::prefetchRequested, m_images, &ImageCache::prefetchGameCovers);
    connect(catalogue, &GamesCatalogue::loadingTextChanged, m_games, &GamesSection::showLoadingText);

    // The disk copy is read and opened on a worker thread, so the window
    // shows at once; its games reach the grid when they are ready.
    connect(catalogue, &GamesCatalogue::cacheLoaded, m_games, [this] {
        prefetchGameCovers();
        if (!m_services.games->state()->gridRendered)
            renderGamesGridWhenSeen();
    });
    catalogue->loadGamesCacheInBackground();
    QTimer::singleShot(0, this, [this] { requestGames(false, true); });
}

void MainWindow::renderGamesGrid()
{
    buildPages();
    m_games->renderGamesGrid();
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

void MainWindow::reloadGamesGrid()
{
    buildPages();
    m_games->reloadGamesGrid();
}

void MainWindow::prefetchGameCovers()
{
    buildPages();
    m_images->prefetchGameCovers();
}

void MainWindow::styleGamesPlatformToggle(bool pcActive)
{
    buildPages();
    m_games->styleGamesPlatformToggle(pcActive);
}

void MainWindow::selectGamesCategory(int chipId)
{
    buildPages();
    m_games->grid()->selectGamesCategory(chipId);
}

void MainWindow::placeHomeSections()
{
    buildPages();
    m_home->placeHomeSections(currentLanguageIsPersian());
}

void MainWindow::showLastSession(const SessionData &session)
{
    buildPages();
    m_home->showLastSession(session);
}

void MainWindow::setLastSessionFilled(bool filled)
{
    buildPages();
    m_home->lastSession()->setLastSessionFilled(filled);
}

QString MainWindow::formatDuration(qint64 seconds)
{
    return LastSessionCard::formatDuration(seconds);
}

void MainWindow::loadSessionGameLogo(const QString &path)
{
    buildPages();
    m_home->lastSession()->loadSessionGameLogo(path);
}

void MainWindow::retranslateLastSessionCard(const QString &languageCode)
{
    buildPages();
    m_home->lastSession()->retranslateLastSessionCard(languageCode);
}

void MainWindow::retranslateConnectionsHero(const QString &languageCode)
{
    buildPages();
    m_home->hero()->retranslateConnectionsHero(languageCode);
}

void MainWindow::openWebsite()
{
    buildPages();
    m_home->hero()->openWebsite();
}
