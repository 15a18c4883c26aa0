// The window's named operations. Each forwards to the area or the service
// that does the work; one that reaches a page builds the pages first.
#include "ui/mainwindow/MainWindow.h"

#include "connection/ConsoleConnect.h"
#include "connection/LivePing.h"
#include "connection/MtuProbe.h"
#include "connection/SweepResults.h"
#include "i18n/TranslationManager.h"
#include "services/AccountSession.h"
#include "services/GamesCache.h"
#include "services/PromoService.h"
#include "services/ServerSync.h"
#include "services/ServiceClient.h"
#include "services/UpdateController.h"
#include "services/UsageEvents.h"
#include "services/VersionGate.h"
#include "storage/SettingsManager.h"
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
#include "ui/pages/connection/GameConnectionView.h"
#include "ui/pages/connection/PingOptimizerPage.h"
#include "ui/pages/connection/RouteArea.h"
#include "ui/pages/connection/RouteSettings.h"
#include "ui/pages/games/GamesGrid.h"
#include "ui/pages/games/GamesSection.h"
#include "ui/pages/home/HardwareCard.h"
#include "ui/pages/home/HeroCard.h"
#include "ui/pages/home/HomeDashboard.h"
#include "ui/pages/home/HomeMetrics.h"
#include "ui/pages/home/LastSessionCard.h"
#include "ui/pages/notifications/NotificationDropdown.h"
#include "ui/pages/servers/CountryFlags.h"
#include "ui/pages/servers/ServerRegionPage.h"
#include "ui/pages/settings/SettingsSection.h"
#include "ui/pages/signin/AuthPage.h"
#include "ui/widgets/IconTint.h"
#include "ui/widgets/ProxyStatusOverlay.h"

void MainWindow::applyConnectButtonState(ButtonState state)
{
    buildPages();
    m_connectDisplay->applyConnectButtonState(state);
}

void MainWindow::resetConnectingTimer(bool start)
{
    buildPages();
    m_connectDisplay->resetConnectingTimer(start);
}

void MainWindow::updateConnectingText()
{
    buildPages();
    m_connectDisplay->updateConnectingText();
}

void MainWindow::updateConnectedTime()
{
    buildPages();
    m_connectDisplay->updateConnectedTime();
}

void MainWindow::pulseConnectCircle(const QVariant &value)
{
    buildPages();
    m_connectDisplay->pulseConnectCircle(value);
}

// A press while connecting, connected or waiting to retry on the next relay
// stops; otherwise it starts.
void MainWindow::onConnectButtonClicked()
{
    if (m_services.connectFlow)
        m_services.connectFlow->press();
}

void MainWindow::resetTapToConnectText()
{
    buildPages();
    m_connectDisplay->resetTapToConnectText();
}

void MainWindow::clickTapToConnect()
{
    buildPages();
    m_connectionPage->tapButton()->click();
}

void MainWindow::showEstimatedPing(int ms)
{
    buildPages();
    m_connectDisplay->showEstimatedPing(ms);
}

void MainWindow::setGameRouteValue(const QString &text)
{
    buildPages();
    m_connectDisplay->setGameRouteValue(text);
}

void MainWindow::toggleRouteSettings()
{
    buildPages();
    m_routeSettings->toggleRouteSettings();
}

void MainWindow::onRelayPicked(const QString &cardText, const QString &countryCode, const QString &flagUrl)
{
    buildPages();
    m_connectDisplay->showRelay(ConnectDisplay::RelayFrom::Picker,
                                {cardText, QStringLiteral("Manual"), countryCode, flagUrl, true});
    m_serverRegion->backButton()->click();
}

void MainWindow::showServerRegionPage(bool open)
{
    buildPages();
    for (WindowRules::Section section :
         {WindowRules::Section::QuorlixConnLeft, WindowRules::Section::QuorlixConnRightScroll,
          WindowRules::Section::QuorlixConnRight, WindowRules::Section::QuorlixConnHeader}) {
        if (QWidget *w = m_sections.widget(section))
            w->setVisible(!open);
    }
    m_serverRegion->setShown(open);
    m_sections.placeForLanguage(currentLanguageIsPersian());
}

void MainWindow::leaveServerSearch()
{
    buildPages();
    m_serverPicker->leaveServerSearch();
}

void MainWindow::applyServerModeStyle(bool manual)
{
    buildPages();
    m_serverPicker->applyServerModeStyle(manual);
}

void MainWindow::showRegionHeader(bool manual)
{
    buildPages();
    m_serverPicker->showRegionHeader(manual);
}

void MainWindow::reloadServerPicker()
{
    buildPages();
    m_serverPicker->reloadServerPicker();
}

void MainWindow::onRegionButtonClicked(QPushButton *row)
{
    buildPages();
    m_serverPicker->onRegionButtonClicked(row);
}

void MainWindow::showRegionServers(const QString &region)
{
    buildPages();
    m_serverPicker->showRegionServers(region);
}

void MainWindow::searchServers()
{
    buildPages();
    m_serverPicker->searchServers();
}

void MainWindow::showServerSearchResults(const QList<QVariantMap> &servers, const QString &title)
{
    buildPages();
    m_serverPicker->showServerSearchResults(servers, title);
}

void MainWindow::scrollServerList()
{
    buildPages();
    m_serverPicker->scrollServerList();
}

void MainWindow::requestPickerServers()
{
    if (!m_services.serverSync)
        return;
    // A picker built after the reply reads the stored list itself.
    const QPointer<MainWindow> self(this);
    m_services.serverSync->requestPickerServers([self] {
        if (self && self->m_serverPicker)
            self->m_serverPicker->reloadServerPicker();
    });
}

QHash<QString, int> MainWindow::loadServerPings()
{
    return RelayChoice::loadServerPings(RelayChoice::serverPingsPath());
}

bool MainWindow::lessByPing(const QPair<QVariantMap, int> &a, const QPair<QVariantMap, int> &b)
{
    return RelayChoice::lessByPing(a, b);
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

void MainWindow::switchMainStack(int id)
{
    buildPages();
    m_pageStack->showFor(id);
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
    if (m_authPage)
        m_authPage->showFreshForm(rect());
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

void MainWindow::startConnect()
{
    if (m_services.connectFlow)
        m_services.connectFlow->startConnect();
}

void MainWindow::stopConnection()
{
    if (m_services.connectFlow)
        m_services.connectFlow->stopConnection();
}

void MainWindow::onMtuProbed(int mtu)
{
    if (ConnectFlow *flow = m_services.connectFlow)
        flow->onMtuProbed(flow->state().currentAttempt, mtu);
}

void MainWindow::onConnectVerified()
{
    if (ConnectFlow *flow = m_services.connectFlow)
        flow->onConnectVerified(flow->state().currentAttempt);
}

void MainWindow::failoverToNextServer(const QString &reason, const QString &message)
{
    if (ConnectFlow *flow = m_services.connectFlow)
        flow->failoverToNextServer(flow->state().currentAttempt, reason, message);
}

void MainWindow::verifyDns()
{
    if (ConnectFlow *flow = m_services.connectFlow)
        flow->verifyDns(flow->state().currentAttempt);
}

quint64 MainWindow::probeMtu(const QString &address)
{
    return m_services.mtuProbe ? m_services.mtuProbe->probe(address) : 0;
}

QList<QVariantMap> MainWindow::europeServers()
{
    return RelayChoice::europeServers(RelayChoice::databaseSources());
}

RelayChoice::Pick MainWindow::pickServer()
{
    return RelayChoice::pickServer(RelayChoice::databaseSources(), RelayChoice::settingsStore());
}

QVariantMap MainWindow::findGameMeta(const QString &title)
{
    return GamePorts::findGameMetaInDatabase(title);
}

void MainWindow::collectGameTraffic(const QString &title, QStringList &udp, QStringList &tcp,
                                    QStringList &domains)
{
    GamePorts::collectGameTraffic(title, udp, tcp, domains);
}

void MainWindow::measurePing()
{
    if (m_services.livePing)
        m_services.livePing->measure();
}

void MainWindow::updatePacketLoss()
{
    if (m_services.packetLoss)
        m_services.packetLoss->update();
}

void MainWindow::startPacketLossSampling()
{
    if (m_services.packetLoss)
        m_services.packetLoss->startSampling();
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

bool MainWindow::isConsoleGameTitle(const QString &title)
{
    return ConsoleConnect::isConsoleGameTitle(ConsoleConnect::GameRecords::database(), title);
}

bool MainWindow::isCurrentGameConsole()
{
    return isConsoleGameTitle(SettingsManager::instance()->gameTitle());
}

QString MainWindow::slugifyName(const QString &text)
{
    return ConsoleConnect::slugifyName(text);
}

void MainWindow::startConsoleGateway(const QString &address, int port, const QString &title,
                                     const QStringList &udp, const QStringList &tcp)
{
    if (m_services.consoleConnect)
        m_services.consoleConnect->startConsoleGateway(address, port, title, udp, tcp);
}

void MainWindow::checkConsoleGatewayStarted()
{
    if (m_services.consoleConnect)
        m_services.consoleConnect->checkConsoleGatewayStarted();
}

void MainWindow::startConsoleBoostAfterSweep(const QString &gameId, const QString &region,
                                             const QString &fingerprint, const QString &address, int port,
                                             const QString &title, const QStringList &udp,
                                             const QStringList &tcp)
{
    if (m_services.consoleConnect)
        m_services.consoleConnect->startConsoleBoostAfterSweep(gameId, region, fingerprint, address, port,
                                                               title, udp, tcp);
}

QLabel *MainWindow::makeConsoleConfigBox(int index, const QString &label, const QString &value)
{
    buildPages();
    return m_consoleOverlay->makeConfigBox(index, label, value);
}

void MainWindow::showSnapshotOverlay(bool show)
{
    buildPages();
    m_consoleOverlay->showSnapshot(show);
}

void MainWindow::setupConsoleNetwork()
{
    if (!m_services.consoleNetwork || m_services.consoleNetwork->setupConsoleMode())
        return;
    qWarning().noquote() << "[ConsoleConn] Failed to create adapter";
    if (m_services.showWarning) {
        m_services.showWarning(
            this, tr("Console Connection"),
            tr("Failed to create network adapter. Please run the application as administrator."));
    }
}

void MainWindow::onConsoleGatewayStarted()
{
    qDebug().noquote() << "[ConsoleGW] started";
}

void MainWindow::onConsoleGatewayStopped(int exitCode)
{
    qWarning().noquote() << "[ConsoleGW] stopped rc=" << exitCode;
}

void MainWindow::onConsoleGatewayError(const QString &message)
{
    qWarning().noquote() << "[ConsoleGW] error:" << message;
}

void MainWindow::onConsoleConfigurationReady(const ConsoleNetworkManager::NetworkConfig &config)
{
    buildPages();
    qDebug().noquote() << "[ConsoleConn] Configuration ready:" << config.ipAddress;
    m_consoleOverlay->showConfiguration(config.gateway, config.ipAddress, config.dns, config.subnetMask);
    if (m_services.consoleNetwork)
        m_services.consoleNetwork->startMonitoring();
}

void MainWindow::onConsoleConnected()
{
    buildPages();
    qDebug().noquote() << "[ConsoleConn] Console connected! Hiding overlay...";
    m_consoleOverlay->hideForConsole();
}

void MainWindow::onConsoleNetworkError(const QString &error)
{
    qWarning().noquote() << "[ConsoleConn] Error:" << error;
    if (m_services.showWarning) {
        m_services.showWarning(this, tr("Console Connection Error"),
                               tr("Failed to setup console connection: %1").arg(error));
    }
}

void MainWindow::requestGames(bool showLoading, bool renderNow)
{
    if (m_services.games)
        m_services.games->requestGames(showLoading, renderNow);
}

void MainWindow::onGamesReply(const ServiceApi::Reply &reply, bool showLoading, bool renderNow)
{
    if (m_services.games)
        m_services.games->onGamesReply(reply, showLoading, renderNow);
}

bool MainWindow::parseGamesJson(const QByteArray &body, QList<GameApiItem> *out)
{
    return ::parseGamesJson(body, out);
}

void MainWindow::saveGamesCache(const QString &path, const QByteArray &bytes)
{
    if (m_services.games)
        m_services.games->cache().saveGamesCache(path, bytes);
}

bool MainWindow::decryptGamesCache(const QByteArray &protectedBytes, QByteArray *plain, bool *legacy)
{
    return m_services.games && m_services.games->cache().decryptGamesCache(protectedBytes, plain, legacy);
}

bool MainWindow::loadGamesCache()
{
    return m_services.games && m_services.games->loadGamesCache();
}

void MainWindow::evaluatePromo()
{
    if (m_services.promo)
        m_services.promo->evaluatePromo();
}

void MainWindow::onPromoEvaluateReply(const ServiceApi::Reply &reply)
{
    if (m_services.promo)
        m_services.promo->onPromoEvaluateReply(reply);
}

void MainWindow::openPromoLink()
{
    if (m_services.promo)
        m_services.promo->openPromoLink();
}

void MainWindow::onPromoLinkReply(const ServiceApi::Reply &reply)
{
    if (m_services.promo)
        m_services.promo->onPromoLinkReply(reply);
}

void MainWindow::setHeaderPromoSpacing(bool on)
{
    buildPages();
    m_promoPill->setHeaderPromoSpacing(on);
}

void MainWindow::onHeaderSearchTextChanged(const QString &text)
{
    buildPages();
    m_headerSearch->onTextChanged(text);
}

void MainWindow::runHeaderSearch()
{
    buildPages();
    m_headerSearch->runSearch();
}

void MainWindow::fillHeaderSearchResults(const QString &query)
{
    buildPages();
    m_headerSearch->fillResults(query);
}

QString MainWindow::gameLogoUrl(const QJsonObject &game) const
{
    return HeaderSearch::gameLogoUrl(game, m_services.serviceClient ? m_services.serviceClient->config()
                                                                    : ServiceConfig::instance());
}

void MainWindow::openCurrentHeaderSearchResult()
{
    buildPages();
    m_headerSearch->openCurrentResult();
}

void MainWindow::clearHeaderSearchText()
{
    buildPages();
    m_headerSearch->clearText();
}

void MainWindow::focusHeaderSearch()
{
    buildPages();
    m_headerSearch->focusEdit();
}

void MainWindow::closeHeaderSearchPopup()
{
    buildPages();
    m_headerSearch->closePopup();
}

void MainWindow::layoutHeaderSearchForLanguage(const QString &languageCode)
{
    buildPages();
    m_headerSearch->place(WindowRules::isPersian(languageCode));
}

void MainWindow::showSignInPage()
{
    if (m_authPageView)
        m_authPageView->showPage();
}

void MainWindow::renderGamesGrid()
{
    buildPages();
    m_games->renderGamesGrid();
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

void MainWindow::refreshHardwareCard()
{
    buildPages();
    m_hardware->refreshHardwareCard();
}

void MainWindow::layoutHomeMetrics(const QString &languageCode)
{
    buildPages();
    m_metrics->layoutHomeMetrics(languageCode);
}

void MainWindow::retranslateHomeCards(const QString &languageCode)
{
    buildPages();
    m_metrics->retranslateHomeCards(languageCode);
}

void MainWindow::openHelpCardLink(const QUrl &link)
{
    buildPages();
    m_metrics->openHelpCardLink(link);
}

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

void MainWindow::runStartupChecks()
{
    validateAppVersion();
    checkForAppUpdate();
    syncServers({});
}

void MainWindow::syncServers(std::function<void(bool ok)> completion)
{
    if (m_services.serverSync)
        m_services.serverSync->syncServers(std::move(completion));
    else if (completion)
        completion(false);
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

PingOptimizerPage *MainWindow::pingSweepPage()
{
    if (!m_pingSweepPage) {
        m_pingSweepPage = new PingOptimizerPage(this, m_services.pingSweep);
        m_pingSweepPage->setGeometry(rect());
        m_pingSweepPage->hide();
    }
    return m_pingSweepPage;
}

void MainWindow::applyServerPings(QWidget *window, const QString &title, const QString &logo,
                                  const QString &region)
{
    Q_UNUSED(window);
    if (m_pingSweepPage)
        m_pingSweepPage->hide();
    updateConnectionGameHeader(title, logo);
    navigateToPage(WindowRules::NavNetwork);

    if (m_services.sweepResults)
        m_services.sweepResults->takeShownSweep(title, region, relayInUse());
}

void MainWindow::onBackgroundPingSweepFinished(QWidget *window, const QString &title, const QString &region)
{
    Q_UNUSED(window);
    if (m_pingSweepPage) {
        // Another hidden sweep may start from now on.
        m_pingSweepPage->setProperty("qxBgPingSweep", false);
        m_pingSweepPage->hide();
    }
    // Nothing is shown: the page keeps what it showed from the older entry.
    if (m_services.sweepResults)
        m_services.sweepResults->takeHiddenSweep(title, region);
}

QVariantMap MainWindow::showSelectedRegion(QWidget *window, const QHash<QString, int> &pings)
{
    Q_UNUSED(window);
    return m_services.sweepResults ? m_services.sweepResults->chooseAutomatic(pings, relayInUse())
                                   : QVariantMap();
}

// The page of the game being connected keeps the relay in use: neither its
// card nor the stored selection takes another choice meanwhile.
bool MainWindow::relayInUse() const
{
    return m_connectDisplay && m_connectDisplay->showsRunningConnection();
}

void MainWindow::loadCountryFlag(QLabel *label, const QString &countryCode, const QString &flagUrl)
{
    if (m_services.flags)
        m_services.flags->loadCountryFlag(label, countryCode, flagUrl);
}

void MainWindow::onFlagImageReply(QNetworkReply *reply, const QPointer<QLabel> &label,
                                  const QString &countryCode)
{
    if (m_services.flags)
        m_services.flags->onFlagImageReply(reply, label, countryCode);
}

void MainWindow::resumeLoginAfterUpdateCheck()
{
    setUpdateCheckRunning(false);
    if (m_services.signIn)
        m_services.signIn->resumeLoginAfterUpdateCheck();
}

void MainWindow::checkForAppUpdate()
{
    if (m_services.updates)
        m_services.updates->checkForAppUpdate();
}

void MainWindow::downloadUpdate(const QString &url, const QString &version)
{
    if (m_services.updates)
        m_services.updates->downloadUpdate(url, version);
}

void MainWindow::showRetryCountdown(const QString &reason)
{
    if (m_services.updates)
        m_services.updates->showRetryCountdown(reason);
}

void MainWindow::retryUpdateDownload()
{
    if (m_services.updates)
        m_services.updates->retryUpdateDownload();
}

void MainWindow::installUpdate(const QString &path)
{
    if (m_services.updates)
        m_services.updates->installUpdate(path);
}

void MainWindow::startInstaller(const QString &path)
{
    if (m_services.updates)
        m_services.updates->startInstaller(path);
}

void MainWindow::validateAppVersion()
{
    if (m_services.versionGate)
        m_services.versionGate->validateAppVersion();
}

void MainWindow::onVersionUnsupported()
{
    if (m_services.versionGate)
        m_services.versionGate->onVersionUnsupported();
}

void MainWindow::setVersionBlocked(bool blocked)
{
    if (m_services.versionGate)
        m_services.versionGate->setBlocked(blocked);
}

bool MainWindow::isVersionBlocked() const
{
    return m_services.versionGate && m_services.versionGate->isBlocked();
}

void MainWindow::setUpdateCheckRunning(bool running)
{
    if (m_services.updates)
        m_services.updates->setUpdateCheckRunning(running);
}

bool MainWindow::isUpdateCheckRunning() const
{
    return m_services.updates && m_services.updates->updateCheckRunning();
}

void MainWindow::setUpdateRequired(bool required)
{
    if (m_services.updates)
        m_services.updates->setUpdateRequired(required);
}

bool MainWindow::isUpdateRequired() const
{
    return m_services.updates && m_services.updates->updateRequired();
}

void MainWindow::keepUpdateDownload(QNetworkReply *reply)
{
    if (m_services.updates)
        m_services.updates->keepUpdateReply(reply);
}

QNetworkReply *MainWindow::updateDownload() const
{
    return m_services.updates ? m_services.updates->updateReply() : nullptr;
}
