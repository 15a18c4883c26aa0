#include "ui/mainwindow/MainWindow.h"

#include "i18n/TranslationManager.h"
#include "services/AccountInfo.h"
#include "services/PromoService.h"
#include "services/UsageEvents.h"
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
#include "ui/pages/connection/ConnectionPage.h"
#include "ui/pages/connection/ConnectionPanels.h"
#include "ui/pages/connection/PingOptimizerPage.h"
#include "ui/pages/connection/RouteArea.h"
#include "ui/pages/home/HeroCard.h"
#include "ui/pages/home/HomeDashboard.h"
#include "ui/pages/settings/SettingsSection.h"
#include "ui/pages/signin/AuthPage.h"
#include "ui/widgets/CardOverlay.h"
#include "ui/widgets/DecorativeWidgets.h"
#include "ui/widgets/IconTint.h"
#include "ui/widgets/ProxyStatusOverlay.h"
#include <QScrollArea>

#include <QAbstractButton>
#include <QButtonGroup>
#include <QPushButton>
#include <QStandardPaths>
#include <QTimer>
#include <QVBoxLayout>

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
        QStringLiteral("QWidget#WindowFrame { background: #111317; border-radius: 8px; }"));
    m_rootLayout = new QVBoxLayout(m_rootFrame);
    m_rootLayout->setContentsMargins(0, 0, 0, 0);
    m_rootLayout->setSpacing(0);
}

QString MainWindow::currentLanguage() const
{
    return m_services.translations ? m_services.translations->currentLanguage() : QStringLiteral("en-US");
}

bool MainWindow::currentLanguageIsPersian() const
{
    return WindowRules::isPersian(currentLanguage());
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

AccountTexts MainWindow::currentAccountTexts() const
{
    return m_services.accountInfo ? m_services.accountInfo->texts() : AccountTexts::from({}, {}, {}, {});
}

// The getters that hand out a page build the pages first: whoever asks for
// one is about to use it. Building does not change what the window is, only
// when its parts are made, hence const.
NotificationBell *MainWindow::notificationBell() const
{
    const_cast<MainWindow *>(this)->buildPages();
    return m_notifications;
}

HomeDashboard *MainWindow::homeDashboard() const
{
    const_cast<MainWindow *>(this)->buildPages();
    return m_home;
}

HardwareCard *MainWindow::hardwareCard() const
{
    const_cast<MainWindow *>(this)->buildPages();
    return m_hardware;
}

HomeMetrics *MainWindow::homeMetrics() const
{
    const_cast<MainWindow *>(this)->buildPages();
    return m_metrics;
}

GamesSection *MainWindow::gamesSection() const
{
    const_cast<MainWindow *>(this)->buildPages();
    return m_games;
}

ConnectDisplay *MainWindow::connectDisplay() const
{
    const_cast<MainWindow *>(this)->buildPages();
    return m_connectDisplay;
}

QTimer *MainWindow::connectTimer() const
{
    const_cast<MainWindow *>(this)->buildPages();
    return m_connectTimer;
}

ServerRegionPage *MainWindow::serverRegionPage() const
{
    const_cast<MainWindow *>(this)->buildPages();
    return m_serverRegion;
}

ServerPicker *MainWindow::serverPicker() const
{
    const_cast<MainWindow *>(this)->buildPages();
    return m_serverPicker;
}

RouteSettings *MainWindow::routeSettings() const
{
    const_cast<MainWindow *>(this)->buildPages();
    return m_routeSettings;
}

ConnectionPage *MainWindow::connectionPageArea() const
{
    const_cast<MainWindow *>(this)->buildPages();
    return m_connectionPage;
}

RouteArea *MainWindow::routeArea() const
{
    const_cast<MainWindow *>(this)->buildPages();
    return m_routeArea;
}

GameConnectionView *MainWindow::gameConnectionView() const
{
    const_cast<MainWindow *>(this)->buildPages();
    return m_gameView;
}

AccountPill *MainWindow::accountPill() const
{
    const_cast<MainWindow *>(this)->buildPages();
    return m_accountPill;
}

ProfileSection *MainWindow::profileSection() const
{
    const_cast<MainWindow *>(this)->buildPages();
    return m_profile;
}

ConsoleOverlay *MainWindow::consoleOverlay() const
{
    const_cast<MainWindow *>(this)->buildPages();
    return m_consoleOverlay;
}

const std::shared_ptr<ConnectFlowState> &MainWindow::connectState() const
{
    const_cast<MainWindow *>(this)->buildPages();
    return m_connectState;
}

QButtonGroup *MainWindow::navGroup() const
{
    return m_sideNavigation->group();
}

QuorlixConnection *MainWindow::connectionPage() const
{
    return m_pageStack->connectionPage();
}

QWidget *MainWindow::header() const
{
    return m_headerBand->header();
}

QPushButton *MainWindow::makeWindowButton(const QIcon &icon)
{
    return WindowButtons::makeButton(m_headerBand->header(), icon);
}

void MainWindow::placeWindowButtons(const QString &languageCode)
{
    m_windowButtons->place(WindowRules::isPersian(languageCode));
}

void MainWindow::deferPlaceWindowButtons()
{
    m_windowButtons->place(currentLanguageIsPersian());
}

void MainWindow::retranslateDashboardTitle(const QString &languageCode)
{
    buildPages();
    m_titles->placeDashboardTitle(WindowRules::isPersian(languageCode));
}

void MainWindow::deferDashboardTitle()
{
    // Built later, the titles are placed as they join.
    if (m_titles)
        m_titles->placeDashboardTitle(currentLanguageIsPersian());
}

void MainWindow::snapshotBannerBackground()
{
    buildPages();
    m_titles->snapshotBannerBackground();
}

void MainWindow::resetPreferences()
{
    buildPages();
    m_settings->resetPreferences();
}

void MainWindow::selectLanguage(int index)
{
    buildPages();
    m_settings->selectLanguage(index);
}

void MainWindow::selectWindowSize(int index)
{
    buildPages();
    m_settings->selectWindowSize(index);
}

void MainWindow::selectRouteAccuracy(int index)
{
    buildPages();
    m_settings->chooseSelect(SettingsSection::Accuracy, index);
}

void MainWindow::selectRouteProtocol(int index)
{
    buildPages();
    m_settings->chooseSelect(SettingsSection::RouteProtocol, index);
}

void MainWindow::selectIpVersion(int index)
{
    buildPages();
    m_settings->chooseSelect(SettingsSection::IpVersion, index);
}

void MainWindow::selectRedirectMethod(int index)
{
    buildPages();
    m_settings->chooseSelect(SettingsSection::Redirect, index);
}

void MainWindow::toggleOptionSelectPopup(int field)
{
    buildPages();
    m_settings->toggleSelect(SettingsSection::Select(field));
}

void MainWindow::toggleRedirectSelectPopup()
{
    buildPages();
    m_settings->toggleSelect(SettingsSection::Redirect);
}

void MainWindow::hideOptionPopups()
{
    buildPages();
    m_settings->hideOptionPopups();
}

void MainWindow::minimizeWindow()
{
    window()->showMinimized();
}

void MainWindow::closeWindow()
{
    window()->close();
}

void MainWindow::setWindowControlsEnabled(bool enabled)
{
    m_windowButtons->setEnabled(enabled);
}

void MainWindow::layoutSideNavForLanguage(const QString &languageCode)
{
    m_sideNavigation->place(WindowRules::isPersian(languageCode));
}

void MainWindow::deferSideNavLayout()
{
    m_sideNavigation->place(currentLanguageIsPersian());
}

void MainWindow::syncSideNavVisibility()
{
    const bool signInShown = m_authPage && m_authPage->isVisible();
    const bool busyShown = m_busyOverlay && m_busyOverlay->isVisible();
    m_sideNavigation->setShown(!signInShown && !busyShown, currentLanguageIsPersian());
}

void MainWindow::hideSideNavWhileLoggedOut()
{
    if (m_authPage && m_authPage->isVisible())
        m_sideNavigation->hide();
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

void MainWindow::switchMainStack(int id)
{
    buildPages();
    m_pageStack->showFor(id);
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

QPixmap MainWindow::tintPixmap(const QPixmap &pixmap, const QColor &color)
{
    return ::tintPixmap(pixmap, color);
}

QIcon MainWindow::tintedIcon(const QString &path, const QSize &size, const QColor &color)
{
    return ::tintedIcon(path, size, color);
}

void MainWindow::trackEvent(const QString &eventName)
{
    if (m_services.usage)
        m_services.usage->track(eventName);
}
