// The window's construction and wiring: the constructor and destructor, the
// services it adopts, the frame and the sign-in page built at once, the parts
// built after the first frame (one builder each, in the window's building
// order), the wiring of areas and services, and the one language hook.
#include "ui/mainwindow/MainWindow.h"

#include "connection/ConsoleConnect.h"
#include "connection/LivePing.h"
#include "connection/MtuProbe.h"
#include "connection/SessionManager.h"
#include "connection/SweepResults.h"
#include "engine/qt/ConsoleGatewayEmbedded.h"
#include "i18n/TranslationManager.h"
#include "resources/AppIcon.h"
#include "resources/BundledFonts.h"
#include "services/AccountSession.h"
#include "services/AccountStore.h"
#include "services/DiscordSignIn.h"
#include "services/NetworkAccess.h"
#include "services/PromoService.h"
#include "services/ServerSync.h"
#include "services/UpdateController.h"
#include "services/UsageEvents.h"
#include "services/VersionGate.h"
#include "storage/DatabaseManager.h"
#include "ui/mainwindow/AccountPill.h"
#include "ui/mainwindow/AuthPageView.h"
#include "ui/mainwindow/ConsoleOverlay.h"
#include "ui/mainwindow/HeaderBand.h"
#include "ui/mainwindow/HeaderSearch.h"
#include "ui/mainwindow/NotificationBell.h"
#include "ui/mainwindow/PageStack.h"
#include "ui/mainwindow/PromoPill.h"
#include "ui/mainwindow/SideNavigation.h"
#include "ui/mainwindow/WindowButtons.h"
#include "ui/mainwindow/WindowRules.h"
#include "ui/pages/account/ProfileSection.h"
#include "ui/pages/common/TitlesAndLanding.h"
#include "ui/pages/connection/ConnectDisplay.h"
#include "ui/pages/connection/ConnectionPanels.h"
#include "ui/pages/connection/GameConnectionView.h"
#include "ui/pages/connection/PingOptimizerPage.h"
#include "ui/pages/connection/RouteArea.h"
#include "ui/pages/connection/RouteSettings.h"
#include "ui/pages/games/GamesBoardState.h"
#include "ui/pages/games/GamesSection.h"
#include "ui/pages/games/ImageCache.h"
#include "ui/pages/home/HardwareCard.h"
#include "ui/pages/home/HeroCard.h"
#include "ui/pages/home/HomeDashboard.h"
#include "ui/pages/home/HomeMetrics.h"
#include "ui/pages/home/LastSessionCard.h"
#include "ui/pages/servers/CountryFlags.h"
#include "ui/pages/servers/ServerRegionPage.h"
#include "ui/pages/settings/SettingsSection.h"
#include "ui/pages/settings/SettingsStore.h"
#include "ui/pages/signin/AuthPage.h"
#include "ui/widgets/ProxyStatusOverlay.h"

#include <QApplication>
#include <QDir>
#include <QFontDatabase>
#include <QPixmapCache>
#include <QStandardPaths>
#include <QTimer>
#include <QVBoxLayout>

#include <functional>

namespace {

// The cache database holds favourites and clicks for the whole process.
GameRecordsStore *databaseGameRecords()
{
    static DatabaseGameRecords records;
    return &records;
}

} // namespace

namespace {
const QString kWindowSizeKey = QStringLiteral("settings/window_size");
const QString kDefaultWindowSize = QStringLiteral("(1440 x 810)");
const QString kPersianFallbackFamily = QStringLiteral("IRANYekanXVF");

// Fonts go into the process-wide font database once, however many windows are built.
bool g_latinFontsLoaded = false;
bool g_persianFontsLoaded = false;
QString g_persianFontFamily;
} // namespace

namespace {

// Every display covers the whole window and comes to the front.
class WindowBusyOverlay : public BusyOverlay
{
public:
    WindowBusyOverlay(QWidget *window, ProxyStatusOverlay *overlay) : m_window(window), m_overlay(overlay) {}

    void showMessage(const QString &title) override
    {
        if (!bringUp())
            return;
        m_overlay->showMessage(title);
        m_overlay->raise();
    }
    void showProgress(const QString &title, int percent, qint64 receivedBytes, qint64 totalBytes) override
    {
        if (!bringUp())
            return;
        m_overlay->showProgress(title, percent, receivedBytes, totalBytes);
        m_overlay->raise();
    }

private:
    bool bringUp()
    {
        if (!m_window || !m_overlay)
            return false;
        m_overlay->setGeometry(m_window->rect());
        return true;
    }

    QPointer<QWidget> m_window;
    QPointer<ProxyStatusOverlay> m_overlay;
};

} // namespace

MainWindow::MainWindow(const ClientServices &services, const WindowIntervals &intervals, QWidget *parent)
    : QMainWindow(parent), m_services(services), m_intervals(intervals)
{
    setupWindow();
    adoptServices();
    loadApplicationFonts();
    buildRootFrame();

    m_headerBand = new HeaderBand(this, m_rootFrame);
    // The header's contents (promotion pill, search, bell, account pill) and
    // the page sections are built after the first frame (buildPages): the
    // signed-out user sees only the sign-in page. They keep their place in
    // the building order: the header's contents here, the sections after the
    // window buttons; these two stand in for them until they are built.
    m_frameSlot = new QWidget(m_rootFrame);
    m_frameSlot->hide();
    m_windowSlot = new QWidget(this);
    m_windowSlot->hide();
    m_languageRank = LanguageRankHeaderContents;
    wirePromotion();

    m_languageRank = LanguageRankWindowButtons;
    m_windowButtons = new WindowButtons(m_headerBand, this);
    connect(m_windowButtons, &WindowButtons::minimizeClicked, this, &MainWindow::minimizeWindow);
    connect(m_windowButtons, &WindowButtons::closeClicked, this, &MainWindow::closeWindow);
    m_rootLayout->addWidget(m_headerBand->header(), 0);
    addLanguageArea(m_windowButtons, /*alsoWhenLoopStarts=*/true);
    wireAccountService();
    // The server picker's relay list, once the event loop runs; its reply
    // reloads the regions of a picker built by then.
    QTimer::singleShot(0, this, &MainWindow::requestPickerServers);

    m_languageRank = LanguageRankSideNavigation;
    m_sideNavigation = new SideNavigation(this, m_headerBand->fixedLogo(), m_headerBand->fixedLogoLine());
    connect(m_sideNavigation, &SideNavigation::sectionClicked, this, &MainWindow::onSectionClicked);
    // The Home state; the sections take it (or the state shown by then) as
    // they are built.
    addLanguageArea(m_sideNavigation, /*alsoWhenLoopStarts=*/true);
    m_sections.placeForLanguage(currentLanguageIsPersian());

    m_pageStack = new PageStack(this, m_scroll, m_rootFrame, m_rootLayout, m_sections);
    // The root frame's width is final once the event loop runs.
    QTimer::singleShot(0, this, &MainWindow::deferDashboardTitle);
    m_sideNavigation->raiseAll();

    buildSignInPage();

    m_busyOverlay = new ProxyStatusOverlay(this, m_intervals.busyOverlayFadeMs);
    m_busyOverlay->setGeometry(rect());
    m_busyOverlay->hide();
    wireUpdates();

    startDeferredCallsAndTimers();
    wireConsoleServices();

    // Selecting "Games" asks for the catalogue with the loading text.
    connect(this, &MainWindow::gamesSectionOpened, this, [this] { requestGames(true, true); });

    if (m_services.translations) {
        connect(m_services.translations, &TranslationManager::languageChanged, this,
                &MainWindow::applyLanguage);
    }
}

MainWindow::~MainWindow()
{
    // The page view goes with the window's members, before its children: the
    // sign-in must not reach it while they are taken down.
    if (m_services.signIn)
        m_services.signIn->setView(nullptr);
    // The services outlive this body (they are children); nothing they finish
    // from here on may reach the overlay or the window.
    if (m_services.updates) {
        m_services.updates->abandon();
        m_services.updates->setOverlay(nullptr);
        m_services.updates->setResumeCallback({});
        m_services.updates->setQuitCallback([] {});
    }
    if (m_services.versionGate) {
        m_services.versionGate->setOverlay(nullptr);
        m_services.versionGate->setWindowControlsCallback({});
        m_services.versionGate->setQuitCallback([] {});
    }
}

void MainWindow::buildConnectWiring()
{
    ConnectFlow *flow = m_services.connectFlow;
    m_connectState = flow ? flow->sharedState() : std::make_shared<ConnectFlowState>();

    m_connectTimer = new QTimer(this);
    m_connectTimer->setTimerType(Qt::PreciseTimer);
    m_connectTimer->setInterval(250);

    ConnectDisplay::Meters meters;
    meters.ping = m_services.livePing;
    meters.loss = m_services.packetLoss;
    meters.flags = m_services.flags;
    // Puts the page into its idle look.
    m_connectDisplay =
        new ConnectDisplay(m_connectionPage, m_routeArea, m_connectState, meters, m_connectTimer, this);
    connect(m_connectDisplay, &ConnectDisplay::pressed, this, &MainWindow::onConnectButtonClicked);
    // Opening a game lays the page out for that game's state.
    connect(m_gameView, &GameConnectionView::gameShown, m_connectDisplay, &ConnectDisplay::showGame);

    if (m_services.sweepResults) {
        connect(m_services.sweepResults, &SweepResults::automaticRelayChosen, m_connectDisplay,
                [display = m_connectDisplay](const QVariantMap &relay) {
                    display->showRelay(ConnectDisplay::RelayFrom::Sweep,
                                       ConnectDisplay::Relay::fromRecord(
                                           relay, QCoreApplication::translate("MainWindow", "Auto"), false));
                });
    }
    if (flow) {
        m_connectDisplay->follow(flow);
        connect(flow, &ConnectFlow::failureShown, m_connectDisplay, &ConnectDisplay::showFailure);
    }

    // The page shows when a game is opened.
    m_connectionPanels->left()->hide();
    m_connectionPanels->right()->hide();
    m_connectionPage->header()->hide();
}

void MainWindow::buildRouteSettings()
{
    m_routeSettings = new RouteSettings(m_connectionPanels->right(), m_rootFrame, size(),
                                        m_routeArea->diagramState(), this);
    m_sections.add(WindowRules::Section::RouteSettingsPanel, m_routeSettings->panel());
}

void MainWindow::buildServerRegionPage()
{
    m_serverRegion = new ServerRegionPage(m_rootFrame, width(), this);
    m_sections.add(WindowRules::Section::ServerRegionBack, m_serverRegion->backButton());
    m_sections.add(WindowRules::Section::ServerRegionPageTitle, m_serverRegion->title());
    m_sections.add(WindowRules::Section::ServerRegionLeftPanel, m_serverRegion->leftPanel());
    m_sections.add(WindowRules::Section::ServerRegionRightPanel, m_serverRegion->rightPanel());

    ServerPicker::Sources sources = ServerPicker::Sources::defaults();
    if (m_services.flags) {
        const QPointer<CountryFlags> flags(m_services.flags);
        sources.loadFlag = [flags](QLabel *label, const QString &countryCode, const QString &flagUrl) {
            if (flags)
                flags->loadCountryFlag(label, countryCode, flagUrl);
        };
    }
    m_serverPicker = new ServerPicker(m_serverRegion->pickerWidgets(), std::move(sources), this);
    connect(m_serverPicker, &ServerPicker::relayPicked, this, &MainWindow::onRelayPicked);
    if (m_services.sweepResults)
        connect(m_services.sweepResults, &SweepResults::pingsMeasured, m_serverPicker,
                &ServerPicker::showSweepPings);
    connect(m_serverRegion, &ServerRegionPage::backClicked, this, [this] { showServerRegionPage(false); });
}

bool MainWindow::pagesBuilt() const
{
    return m_pagePartsBuilt == int(PagePart::Count);
}

void MainWindow::buildPages()
{
    // A part being built reaches here through the operations it calls; the
    // parts before it are there, the ones after it are not needed yet.
    while (!m_buildingPagePart && !pagesBuilt())
        buildNextPagePart();
}

void MainWindow::buildNextPagePart()
{
    if (m_buildingPagePart || pagesBuilt())
        return;
    m_buildingPagePart = true;
    const QObjectList frameBefore = m_rootFrame->children();
    const QObjectList windowBefore = children();
    const int sectionsBefore = m_sections.added();
    const auto part = PagePart(m_pagePartsBuilt);
    m_languageRank = part == PagePart::HeaderContents ? LanguageRankHeaderContents : LanguageRankPages;
    switch (part) {
    case PagePart::HeaderContents:
        buildHeaderContents();
        break;
    case PagePart::Titles:
        buildTitles();
        break;
    case PagePart::Profile:
        buildProfile();
        break;
    case PagePart::Settings:
        buildSettings();
        break;
    case PagePart::HomeAndGames:
        buildHomeAndGames();
        break;
    case PagePart::Connection:
        buildConnectionPart();
        break;
    case PagePart::Metrics:
        buildMetricsAndHardware();
        break;
    case PagePart::Count:
        break;
    }
    ++m_pagePartsBuilt;
    settlePagePart(frameBefore, windowBefore, sectionsBefore);
    m_buildingPagePart = false;
    if (pagesBuilt()) {
        delete m_frameSlot;
        delete m_windowSlot;
        m_frameSlot = nullptr;
        m_windowSlot = nullptr;
    }
}

void MainWindow::settlePagePart(const QObjectList &frameBefore, const QObjectList &windowBefore,
                                int sectionsBefore)
{
    // Stacked where the part would have been had it been built with the
    // window: above what came before it, below what the window built after.
    const auto stackIntoSlot = [](QWidget *parent, const QObjectList &before, QWidget *slot) {
        for (QObject *child : parent->children()) {
            auto *w = qobject_cast<QWidget *>(child);
            if (w && w != slot && !before.contains(child))
                w->stackUnder(slot);
        }
    };
    stackIntoSlot(m_rootFrame, frameBefore, m_frameSlot);
    stackIntoSlot(this, windowBefore, m_windowSlot);

    // A widget made under one that is already on screen stays hidden until
    // it is shown, where one made with the window appears with it: the part
    // may have added to what an earlier part or the frame put up (the header's
    // bell and pill, the hardware card's gauges). Show what nobody hid.
    std::function<void(QWidget *)> showUnhidden = [&showUnhidden](QWidget *parent) {
        for (QObject *child : parent->children()) {
            auto *w = qobject_cast<QWidget *>(child);
            if (!w || w->isWindow())
                continue;
            if (w->isHidden() && !w->testAttribute(Qt::WA_WState_ExplicitShowHide))
                w->setVisible(true);
            showUnhidden(w);
        }
    };
    showUnhidden(this);

    // The part's sections as the navigation shows the current section.
    const QVector<WindowRules::Section> built = m_sections.addedSince(sectionsBefore);
    for (const WindowRules::SectionVisibility &rule :
         WindowRules::sectionVisibility(m_navId, m_navProgrammatic)) {
        if (!built.contains(rule.section))
            continue;
        QWidget *w = m_sections.widget(rule.section);
        if (w && (rule.rule == WindowRules::SectionRule::Show || !rule.visible))
            w->setVisible(rule.visible);
    }
    // Until the first navigation the sections lie in the window's initial
    // stacking order; a navigation raises what it shows itself.
    if (!m_navigated) {
        for (WindowRules::Section section : WindowRules::initialStackingOrder()) {
            if (QWidget *w = m_sections.widget(section))
                w->raise();
        }
    }
    // As the window's resize placed what it found (a resize after the first
    // show raises nothing that is not shown yet).
    if (m_placedForWindow)
        placeSectionsForWindow(currentLanguageIsPersian(), /*raiseShown=*/false);
    m_pageStack->sectionsBuilt();
}

void MainWindow::startIdlePageBuilding()
{
    if (m_closing || pagesBuilt())
        return;
    // One part per turn of the event loop, so input and painting go on in
    // between.
    QTimer::singleShot(0, this, [this] {
        if (m_closing)
            return;
        buildNextPagePart();
        startIdlePageBuilding();
    });
}

void MainWindow::buildHeaderContents()
{
    // As children of the header band, in this order: promotion pill and
    // header search; notification bell and drop-down; account pill and
    // profile pop-up. The account pill sits at (1022, 20) and the bell at
    // (958, 20) until their language pass places them.
    m_promoPill = new PromoPill(m_headerBand->header(), this);
    m_headerSearch = new HeaderSearch(m_headerBand->header(), this, m_services.serviceClient,
                                      QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) +
                                          QStringLiteral("/cache"),
                                      m_intervals.headerSearchDebounceMs, this);
    addLanguageArea(m_headerSearch, false);
    m_promoPill->addToRow(m_headerBand->row(), m_headerSearch->bar());
    wireHeaderSearchAndPromo();
    m_notifications = new NotificationBell(this, m_headerBand->header(), m_services.notifications,
                                           persianFontFamily(), m_intervals.firstNotificationsMs, this);
    addLanguageArea(m_notifications, false);
    m_sections.add(WindowRules::Section::NotifDropdownOverlay, m_notifications->overlay());
    m_accountPill =
        new AccountPill(m_headerBand->header(), this, persianFontFamily(), currentAccountTexts(), this);
    addLanguageArea(m_accountPill, false);
}

void MainWindow::buildTitles()
{
    m_titles = new TitlesAndLanding(m_rootFrame, persianFontFamily(), this);
    addLanguageArea(m_titles, false);
    m_sections.add(WindowRules::Section::DashboardTitle, m_titles->dashboardTitle());
    m_sections.add(WindowRules::Section::GamesTitle, m_titles->gamesTitle());
    m_sections.add(WindowRules::Section::SettingsTitle, m_titles->settingsTitle());
    m_sections.add(WindowRules::Section::ProfileTitle, m_titles->profileTitle());
    m_sections.add(WindowRules::Section::ConnectionsLandingTitle, m_titles->landingTitle());
    m_sections.add(WindowRules::Section::ConnectionsLandingBanner, m_titles->banner());
    m_sections.add(WindowRules::Section::ConnectionsLandingBody, m_titles->body());
    connect(this, &MainWindow::landingBannerBackdropNeeded, m_titles,
            &TitlesAndLanding::snapshotBannerBackground);
    connect(m_titles, &TitlesAndLanding::gamesRequested, this, &MainWindow::openGamesPage);
}

void MainWindow::buildProfile()
{
    m_profile = new ProfileSection(m_rootFrame, this, currentAccountTexts(), this);
    m_sections.add(WindowRules::Section::ProfileLeftSection, m_profile->card());
    m_sections.add(WindowRules::Section::ProfileLogoutButton, m_profile->logoutButton());
    m_sections.add(WindowRules::Section::LogoutConfirmOverlay, m_profile->overlay());
    wireAccount();
}

void MainWindow::buildSettings()
{
    m_settings =
        new SettingsSection(m_rootFrame, this, m_services.settings, m_services.translations, width(), this);
    m_sections.add(WindowRules::Section::SettingsResetDefaultButton, m_settings->resetButton());
    m_sections.add(WindowRules::Section::SettingsPreferencesCard, m_settings->preferencesCard());
    m_sections.add(WindowRules::Section::SettingsLeftSectionCard, m_settings->behaviorCard());
    m_sections.add(WindowRules::Section::SettingsRightSectionCard, m_settings->notificationsCard());
    m_sections.add(WindowRules::Section::SettingsBottomLeftSectionCard, m_settings->optimizationCard());
    m_sections.add(WindowRules::Section::SettingsBottomRightSectionCard, m_settings->advancedCard());
}

void MainWindow::buildConnectionPart()
{
    // The connection page: its two panels, the console set-up overlay over
    // them, the route area and diagram in the right panel, then the header
    // and left panel.
    m_connectionPanels = new ConnectionPanels(m_rootFrame, size(), this);
    m_sections.add(WindowRules::Section::QuorlixConnLeft, m_connectionPanels->left());
    m_sections.add(WindowRules::Section::QuorlixConnRightScroll, m_connectionPanels->rightScroll());
    m_sections.add(WindowRules::Section::QuorlixConnRight, m_connectionPanels->right());
    m_consoleOverlay = new ConsoleOverlay(m_rootFrame, size(), this);
    m_sections.add(WindowRules::Section::ConsoleConnOverlay, m_consoleOverlay->overlay());
    m_routeArea = new RouteArea(m_connectionPanels->right(), m_connectionPanels->rightScroll(), this);
    addLanguageArea(m_routeArea, false);
    buildRouteSettings();
    m_connectionPage =
        new ConnectionPage(m_rootFrame, m_connectionPanels->left(), size(), GameLookup::database(), this);
    addLanguageArea(m_connectionPage, false);
    m_sections.add(WindowRules::Section::QuorlixConnHeader, m_connectionPage->header());
    wireConnectionPage();
    buildServerRegionPage();
    buildConnectWiring();
    wireConsoleDisplay();
}

void MainWindow::buildRootFrame()
{
    // Built straight into the scroll area's viewport: handing the finished
    // frame to the scroll area later would polish every widget on it again.
    m_scroll = PageStack::makeScrollArea(this);
    m_rootFrame = new QWidget(m_scroll->viewport());
    m_rootFrame->setObjectName(QStringLiteral("WindowFrame"));
    m_rootFrame->setAttribute(Qt::WA_StyledBackground, true);
    m_rootFrame->setStyleSheet(
        QStringLiteral("QWidget#WindowFrame { background: " QX_PANEL "; border-radius: 8px; }"));
    m_rootLayout = new QVBoxLayout(m_rootFrame);
    m_rootLayout->setContentsMargins(0, 0, 0, 0);
    m_rootLayout->setSpacing(0);
}

void MainWindow::addLanguageArea(WindowArea *area, bool alsoWhenLoopStarts)
{
    // In the window's building order, whenever the area is built.
    auto at = m_languageAreas.begin();
    while (at != m_languageAreas.end() && at->first <= m_languageRank)
        ++at;
    m_languageAreas.insert(at, qMakePair(m_languageRank, area));
    area->retranslate();
    area->place(currentLanguageIsPersian());
    if (alsoWhenLoopStarts) {
        // Placement against widths that are only final once the window has
        // been laid out: once more when the event loop starts.
        QTimer::singleShot(0, this, [this, area] {
            area->retranslate();
            area->place(currentLanguageIsPersian());
        });
    }
}

void MainWindow::applyLanguage(const QString &languageCode)
{
    const bool persian = WindowRules::isPersian(languageCode);
    for (const auto &joined : std::as_const(m_languageAreas)) {
        joined.second->retranslate();
        joined.second->place(persian);
    }
    m_sections.placeForLanguage(persian);
    // What the pill shows without a name or an e-mail ("Account", "Not signed
    // in") is translated when the texts are made: make them again.
    if (m_accountPill)
        m_accountPill->showAccount(currentAccountTexts());
}

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

void MainWindow::wireConsoleServices()
{
    if (ConsoleGatewayEmbedded *gateway = m_services.consoleGateway) {
        connect(gateway, &ConsoleGatewayEmbedded::started, this, &MainWindow::onConsoleGatewayStarted);
        connect(gateway, &ConsoleGatewayEmbedded::stopped, this, &MainWindow::onConsoleGatewayStopped);
        connect(gateway, &ConsoleGatewayEmbedded::errorOccurred, this, &MainWindow::onConsoleGatewayError);
    }
    ConsoleNetworkManager *network = m_services.consoleNetwork;
    if (network) {
        connect(network, &ConsoleNetworkManager::configurationReady, this,
                &MainWindow::onConsoleConfigurationReady);
        connect(network, &ConsoleNetworkManager::consoleConnected, this, &MainWindow::onConsoleConnected);
        connect(network, &ConsoleNetworkManager::errorOccurred, this, &MainWindow::onConsoleNetworkError);
    }

    ConsoleConnect *console = m_services.consoleConnect;
    if (!console)
        return;
    // The route analysis runs on the window's sweep page, out of sight.
    ConsoleConnect::RouteSweep sweep;
    sweep.start = [this](std::function<void()> finished) {
        PingOptimizerPage *page = pingSweepPage();
        page->setGeometry(rect());
        page->hide();
        auto once = std::make_shared<QMetaObject::Connection>();
        *once = connect(page, &PingOptimizerPage::finished, this, [once, finished] {
            QObject::disconnect(*once);
            finished();
        });
        page->startAnalysis();
    };
    sweep.hide = [this] {
        if (m_pingSweepPage)
            m_pingSweepPage->hide();
    };
    console->setRouteSweep(sweep);
    // The console network is polled only while someone looks at the console
    // (its set-up overlay joins with the pages) or a console connection runs.
    if (!network)
        return;
    connect(console, &ConsoleConnect::consoleWatchWanted, network,
            &ConsoleNetworkManager::setMonitoringWanted);
    network->setMonitoringWanted(false);
}

void MainWindow::wireConsoleDisplay()
{
    ConsoleConnect *console = m_services.consoleConnect;
    if (!console)
        return;
    // The console path moves the connection page as the connect flow does.
    m_connectDisplay->follow(console);
    connect(console, &ConsoleConnect::relayShown, m_connectDisplay,
            [display = m_connectDisplay](const QString &value, const QString &modeText,
                                         const QString &countryCode) {
                display->showRelay(ConnectDisplay::RelayFrom::Connection,
                                   {value, modeText, countryCode, {}, false});
            });
    connect(console, &ConsoleConnect::progressShown, m_consoleOverlay, &ConsoleOverlay::showProgress);
    connect(console, &ConsoleConnect::statusChanged, m_consoleOverlay, &ConsoleOverlay::setStatus);
    connect(console, &ConsoleConnect::progressEnded, m_consoleOverlay, &ConsoleOverlay::showFailure);
    // The console network is polled only while someone looks at the console.
    connect(m_consoleOverlay, &ConsoleOverlay::shownChanged, console, &ConsoleConnect::setSetupShown);
}

void MainWindow::wirePromotion()
{
    PromoService *promo = m_services.promo;
    if (!promo)
        return;
    // What the promotion says is kept for the pill, which may be built after
    // the answer came.
    connect(promo, &PromoService::labelChanged, this, [this](const QString &text) {
        m_promoLook.label = text;
        if (m_promoPill)
            m_promoPill->setLabelText(text);
    });
    connect(promo, &PromoService::badgeChanged, this, [this](bool shown, const QString &text) {
        m_promoLook.badge = qMakePair(shown, text);
        if (m_promoPill)
            m_promoPill->setBadge(shown, text);
    });
    connect(promo, &PromoService::pillVisibleChanged, this, [this](bool visible) {
        m_promoLook.pillVisible = visible;
        if (m_promoPill)
            m_promoPill->setHeaderPromoSpacing(visible);
    });
    connect(promo, &PromoService::signInNeeded, this, &MainWindow::showSignInPage);
    // A sign-out asks again: the pill goes back to "Sign Up Now", hidden.
    connect(this, &MainWindow::promotionRefreshNeeded, promo, &PromoService::evaluatePromo);
    if (m_services.usage)
        connect(m_services.usage, &UsageEvents::promotionRefreshDue, promo, &PromoService::evaluatePromo);
    // The first look once the event loop runs; until then the row keeps its gaps.
    QTimer::singleShot(0, this, [this] { evaluatePromo(); });
}

void MainWindow::wireHeaderSearchAndPromo()
{
    connect(m_headerSearch, &HeaderSearch::gameOpened, this,
            qOverload<const QString &, const QString &>(&MainWindow::handleOpenConnectionsForGame));
    if (m_promoLook.label)
        m_promoPill->setLabelText(*m_promoLook.label);
    if (m_promoLook.badge)
        m_promoPill->setBadge(m_promoLook.badge->first, m_promoLook.badge->second);
    if (m_promoLook.pillVisible)
        m_promoPill->setHeaderPromoSpacing(*m_promoLook.pillVisible);
    if (PromoService *promo = m_services.promo)
        connect(m_promoPill, &PromoPill::clicked, promo, &PromoService::openPromoLink);
}

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

void MainWindow::buildMetricsAndHardware()
{
    const ServiceConfig config =
        m_services.serviceClient ? m_services.serviceClient->config() : ServiceConfig::instance();

    HomeMetrics::Setup metrics;
    // The strip lies 402 px below the dashboard's lower row.
    metrics.y = m_home->lastSession()->card()->y() + 402;
    metrics.persianFontFamily = persianFontFamily();
    metrics.openUrl = m_services.openUrl;
    metrics.supportLink = config.siteUrl(QStringLiteral("/clientarea.php?tab=tickets"));
    metrics.discordLink = config.communityInvite();
    metrics.upperContainers = {m_home->connectionSection(), m_home->hero()->card(),
                               m_home->lastSession()->card(), m_home->lowerRight()};
    m_metrics = new HomeMetrics(m_rootFrame, metrics, this);
    m_sections.add(WindowRules::Section::BottomBreakerSection, m_metrics->strip());
    m_sections.add(WindowRules::Section::HelpCardTutorials, m_metrics->card(HomeMetrics::Tutorials));
    m_sections.add(WindowRules::Section::HelpCardSupport, m_metrics->card(HomeMetrics::Support));
    m_sections.add(WindowRules::Section::HelpCardDiscord, m_metrics->card(HomeMetrics::Discord));
    // Joins after the dashboard, so its places are the ones that hold.
    addLanguageArea(m_metrics, false);

    // Null reader: the process-wide one, which tests replace with a fake.
    m_hardware = new HardwareCard(m_home->lowerRight(), persianFontFamily(), nullptr,
                                  m_intervals.hardwareRefreshMs, this);
    addLanguageArea(m_hardware, false);

    // The hero card's picture and link, last.
    m_home->hero()->addPictureAndLink();
    m_sections.add(WindowRules::Section::ConnectionsHero, m_home->hero()->picture());
    retranslateConnectionsHero(currentLanguage());
}

QString MainWindow::persianFontFamily()
{
    return g_persianFontFamily.isEmpty() ? kPersianFallbackFamily : g_persianFontFamily;
}

QSize MainWindow::storedWindowSize()
{
    QString sizeText = kDefaultWindowSize;
    if (DatabaseManager *db = DatabaseManager::instance())
        sizeText = db->getMetadataOrInit(kWindowSizeKey, kDefaultWindowSize);
    return WindowRules::windowSizeForOption(sizeText);
}

void MainWindow::startPreparingFirstPage()
{
    AuthPage::startLoadingBackground();
}

void MainWindow::setupWindow()
{
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_TranslucentBackground, true);
    setWindowIcon(QApplication::windowIcon());

    setFixedSize(storedWindowSize());

    setWindowFlag(Qt::WindowMaximizeButtonHint, false);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setWindowTitle(QStringLiteral("Quorlix v") + QLatin1String(ServiceApi::kAppVersion));
}

void MainWindow::adoptServices()
{
    // The translation manager is process-wide; everything else lives and
    // dies with the window.
    for (QObject *service :
         {static_cast<QObject *>(m_services.sessions), static_cast<QObject *>(m_services.tunnel),
          static_cast<QObject *>(m_services.account), static_cast<QObject *>(m_services.signIn),
          static_cast<QObject *>(m_services.session), static_cast<QObject *>(m_services.accountInfo),
          static_cast<QObject *>(m_services.serviceClient), static_cast<QObject *>(m_services.serverSync),
          static_cast<QObject *>(m_services.usage), static_cast<QObject *>(m_services.promo),
          static_cast<QObject *>(m_services.games), static_cast<QObject *>(m_services.notifications),
          static_cast<QObject *>(m_services.updates), static_cast<QObject *>(m_services.versionGate),
          static_cast<QObject *>(m_services.settings), static_cast<QObject *>(m_services.coverNetwork),
          static_cast<QObject *>(m_services.pingSweep), static_cast<QObject *>(m_services.sweepResults),
          static_cast<QObject *>(m_services.flags)}) {
        if (service && !service->parent())
            service->setParent(this);
    }
    // The connect flow, its MTU probe and the connected state's meters.
    for (QObject *service :
         {static_cast<QObject *>(m_services.connectFlow), static_cast<QObject *>(m_services.mtuProbe),
          static_cast<QObject *>(m_services.livePing), static_cast<QObject *>(m_services.packetLoss),
          static_cast<QObject *>(m_services.discord), static_cast<QObject *>(m_services.consoleNetwork),
          static_cast<QObject *>(m_services.consoleGateway),
          static_cast<QObject *>(m_services.consoleConnect)}) {
        if (service && !service->parent())
            service->setParent(this);
    }
}

void MainWindow::loadApplicationFonts()
{
    // Start-up may have registered the bundled fonts already; registering
    // them goes through one idempotent place so the files are parsed once.
    static QString bundledPersianFamily;
    if (!g_latinFontsLoaded) {
        g_latinFontsLoaded = true;
        const QStringList bundled = registerBundledFonts();
        if (bundled.contains(QStringLiteral("Vazirmatn")))
            bundledPersianFamily = QStringLiteral("Vazirmatn");
    }
    if (!g_persianFontsLoaded) {
        g_persianFontsLoaded = true;
        const int id = QFontDatabase::addApplicationFont(QStringLiteral(":/icons/IRANYekanX-DemiBold.ttf"));
        QFontDatabase::addApplicationFont(QStringLiteral(":/icons/IRANYekanX-Regular.ttf"));
        if (id >= 0) {
            const QStringList families = QFontDatabase::applicationFontFamilies(id);
            if (!families.isEmpty())
                g_persianFontFamily = families.first();
        }
        // This build bundles its own Persian face; it stands in for the
        // designed one when that is not among the resources.
        if (g_persianFontFamily.isEmpty())
            g_persianFontFamily = bundledPersianFamily;
        if (g_persianFontFamily.isEmpty())
            g_persianFontFamily = kPersianFallbackFamily;
    }
}

void MainWindow::buildSignInPage()
{
    // ":/icons/app-icon.ico" when it exists, else ":/icons/logo.png": the
    // application's icon, made once for the process.
    setWindowIcon(appIcon());

    m_authPage = new AuthPage(this);
    m_authPage->setUrlOpener(m_services.openUrl);
    m_authPage->setDiscordSignIn(m_services.discord);
    m_authPage->setGeometry(rect());
    m_authPage->raise();
    m_authPage->show();
    m_authPage->installEventFilter(this);

    QTimer::singleShot(0, this, [this] { hideSideNavWhileLoggedOut(); });

    wireSignIn();
}

void MainWindow::startDeferredCallsAndTimers()
{
    QTimer::singleShot(0, this, [this] { runStartupChecks(); });

    m_versionTimer = new QTimer(this);
    connect(m_versionTimer, &QTimer::timeout, this, &MainWindow::validateAppVersion);
    m_versionTimer->start(m_intervals.versionCheckMs);

    m_heartbeatTimer = new QTimer(this);
    connect(m_heartbeatTimer, &QTimer::timeout, this, &MainWindow::sendHeartbeat);
    m_heartbeatTimer->start(m_intervals.heartbeatMs);

    QTimer::singleShot(m_intervals.firstHeartbeatMs, this, [this] { sendHeartbeat(); });
}

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

void MainWindow::wireUpdates()
{
    m_updateOverlay = std::make_unique<WindowBusyOverlay>(this, m_busyOverlay);
    if (UpdateController *updates = m_services.updates) {
        updates->setOverlay(m_updateOverlay.get());
        updates->setResumeCallback([this] { resumeLoginAfterUpdateCheck(); });
        updates->setQuitCallback([this] { quitNow(); });
    }
    if (VersionGate *gate = m_services.versionGate) {
        gate->setOverlay(m_updateOverlay.get());
        gate->setWindowControlsCallback([this](bool enabled) { setWindowControlsEnabled(enabled); });
        gate->setQuitCallback([this] { quitNow(); });
    }
}
