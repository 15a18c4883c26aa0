#pragma once
#include <QHash>
#include <QMainWindow>
#include <QPixmap>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <QVector>

#include <functional>
#include <memory>
#include <optional>

#include "connection/ConnectStatus.h"
#include "connection/RelayChoice.h"
#include "connection/SessionData.h"
#include "engine/qt/ConsoleNetworkManager.h"
#include "services/AccountInfo.h"
#include "services/BusyOverlay.h"
#include "ui/mainwindow/ClientServices.h"
#include "ui/mainwindow/SectionWidgets.h"
#include "ui/mainwindow/WindowIntervals.h"

class AccountPill;
class AuthPage;
class AuthPageView;
class GamesBoardState;
class ConnectDisplay;
class ConnectionPage;
struct ConnectFlowState;
class ConnectionPanels;
class GameConnectionView;
class PingOptimizerPage;
class CountryFlags;
class QLabel;
class RouteArea;
class RouteSettings;
class ServerPicker;
class ServerRegionPage;
class GamesCatalogue;
class GamesSection;
class HardwareCard;
class HomeMetrics;
class HomeDashboard;
class ImageCache;
struct GameApiItem;
class ConsoleGatewayEmbedded;
class ConsoleOverlay;
class QLabel;
class HeaderBand;
class NotificationBell;
class HeaderSearch;
class PageStack;
class ProfileSection;
class PromoPill;
class ProxyStatusOverlay;
class QButtonGroup;
class QDateTime;
class QIcon;
class QJsonObject;
class QNetworkReply;
class QPushButton;
class QScrollArea;
class QTimer;
class QuorlixConnection;
class QVBoxLayout;
class SettingsSection;
class SideNavigation;
class TitlesAndLanding;
class WindowArea;
class WindowButtons;
namespace ServiceApi {
struct Reply;
}

// The client's one top-level window: frameless, fixed size, one long scrolling
// page with five sections, a connection page and full-window overlays.
//
// The window is a composition of areas (ui/README.md says how to add one):
// MainWindow.cpp builds them in the window's building order and wires them
// with signals; each keeps typed pointers to its own widgets. The services
// and intervals come from the composition root (app/). The operations below
// are the window's named operations (MainWindowAdapters.cpp), each handing
// on to an area or a service; MainWindowEvents.cpp holds the window's events
// and its navigation.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    MainWindow(const ClientServices &services, const WindowIntervals &intervals, QWidget *parent = nullptr);
    ~MainWindow() override;

    // The constructor builds the window's frame and the sign-in page: all a
    // signed-out user sees. The header's contents and the page sections
    // follow after the first frame, one part per idle turn of the event
    // loop, or all at once when something needs them first: a navigation,
    // the sign-in page going away, an operation of the window on a page, or
    // a getter below handing a page out (tests reach the pages that way, or
    // through this call). Builds every part not built yet, in the window's
    // building order.
    void buildPages();
    bool pagesBuilt() const;

    // The window's size as stored in the cache database (its default stored
    // there when missing). The window reads it as it is built; the start-up
    // reads it first, with the other stored options in one commit.
    static QSize storedWindowSize();
    // Starts, on a worker thread, what the first page shown (the sign-in
    // page) needs before it can paint: its background picture decoded.
    static void startPreparingFirstPage();

    // Window shell and navigation.
    void navigateToPage(int index);
    void openGamesPage();
    void minimizeWindow();
    void closeWindow();
    void finishClose();
    void quitNow();
    // The version gate: false disables and hides both window buttons.
    void setWindowControlsEnabled(bool enabled);
    void placeWindowButtons(const QString &languageCode);
    void deferPlaceWindowButtons();
    void layoutSideNavForLanguage(const QString &languageCode);
    void deferSideNavLayout();
    void syncSideNavVisibility();
    void hideSideNavWhileLoggedOut();
    void switchNavSection(int id);
    void switchMainStack(int id);
    QPushButton *makeWindowButton(const QIcon &icon);
    static QPixmap tintPixmap(const QPixmap &pixmap, const QColor &color);
    static QIcon tintedIcon(const QString &path, const QSize &size, const QColor &color);

    // The notification bell and drop-down (services/NotificationService).
    void fetchNotifications();
    void onNotificationBellClicked();
    void placeNotifDropdown();
    void switchNotificationTab(int id);
    void retranslateNotifications(const QString &languageCode);
    NotificationBell *notificationBell() const;
    static QIcon notificationBellIcon();
    static QString localizeNotificationTitle(const QString &rawTitle, bool persian);
    static QString formatRelativeTime(const QDateTime &created);
    // The header's promotion pill (services/PromoService) and game search.
    void evaluatePromo();
    void onPromoEvaluateReply(const ServiceApi::Reply &reply);
    void openPromoLink();
    void onPromoLinkReply(const ServiceApi::Reply &reply);
    void setHeaderPromoSpacing(bool on);
    void onHeaderSearchTextChanged(const QString &text);
    void runHeaderSearch();
    void fillHeaderSearchResults(const QString &query);
    QString gameLogoUrl(const QJsonObject &game) const;
    void openCurrentHeaderSearchResult();
    void clearHeaderSearchText();
    void focusHeaderSearch();
    void closeHeaderSearchPopup();
    void layoutHeaderSearchForLanguage(const QString &languageCode);
    // Shows the sign-in page over the whole window.
    void showSignInPage();

    // Page titles and the Connections landing.
    void retranslateDashboardTitle(const QString &languageCode);
    void deferDashboardTitle();
    void snapshotBannerBackground();

    // The Setting section: Preferences and the option cards' select fields.
    void resetPreferences();
    void selectLanguage(int index);
    void selectWindowSize(int index);
    void selectRouteAccuracy(int index);
    void selectRouteProtocol(int index);
    void selectIpVersion(int index);
    void selectRedirectMethod(int index);
    void toggleOptionSelectPopup(int field);
    void toggleRedirectSelectPopup();
    void hideOptionPopups();

    // Start-up calls and timers (their work lives in the services).
    void runStartupChecks();
    void syncServers(std::function<void(bool ok)> completion);
    void validateAppVersion();
    void trackEvent(const QString &eventName);

    // The account (services/AccountSession, services/AccountInfo): the
    // session heartbeat and its "signed in elsewhere" end, sign-out through
    // the Profile section's confirmation card, the header's and profile's
    // texts with the network location, and the account pill's pop-up.
    void sendHeartbeat();
    void onHeartbeatReply(const ServiceApi::Reply &reply);
    void logout();
    void refreshAccountInfo();
    void onGeoLocationReply(const ServiceApi::Reply &reply);
    void setAccountPillOpen(bool open);
    void toggleProfilePopup();
    void placeLogoutConfirm();
    void showLogoutConfirm();
    void cancelLogout();
    void dismissOverlay();

    // Signing in (services/SignInController): every request waits for an
    // update check (resumeLoginAfterUpdateCheck, below), then the reply, the
    // loading stages and the page's end.
    void onLoginRequested(const QString &email, const QString &password);
    void login(const QString &email, const QString &password);
    void onLoginReply(const ServiceApi::Reply &reply, bool discord);
    void onAutoLoginReply(const ServiceApi::Reply &reply);
    void downloadGamesAfterLogin(bool ignored);
    void downloadGamesAfterAutoLogin(bool ignored);
    void showGamesDownloadProgress(qint64 received, qint64 total);
    void onLoginGamesDownloaded();
    void onAutoLoginGamesDownloaded();
    void onLoginConfigurationLoaded();
    void markLoginDataReady(bool ignored);
    void onLoginProgressFinished();
    void finishLoginIfReady();

    // The games catalogue (services/GamesCatalogue): the request and its
    // reply, the parser, and the protected disk copy. Without a catalogue
    // service they do nothing and report false.
    void requestGames(bool showLoading, bool renderNow);
    void onGamesReply(const ServiceApi::Reply &reply, bool showLoading, bool renderNow);
    static bool parseGamesJson(const QByteArray &body, QList<GameApiItem> *out);
    void saveGamesCache(const QString &path, const QByteArray &bytes);
    bool decryptGamesCache(const QByteArray &protectedBytes, QByteArray *plain, bool *legacy = nullptr);
    bool loadGamesCache();
    void renderGamesGrid();
    void reloadGamesGrid();
    void prefetchGameCovers();
    void styleGamesPlatformToggle(bool pcActive);
    void selectGamesCategory(int chipId);

    // The home page's dashboard: its columns for the language, the
    // last-session card and the hero card.
    void placeHomeSections();
    void showLastSession(const SessionData &session);
    void setLastSessionFilled(bool filled);
    static QString formatDuration(qint64 seconds);
    void loadSessionGameLogo(const QString &path);
    void retranslateLastSessionCard(const QString &languageCode);
    void retranslateConnectionsHero(const QString &languageCode);
    void openWebsite();
    HomeDashboard *homeDashboard() const;
    // The lower-right card's hardware figures, read again every tick.
    void refreshHardwareCard();
    HardwareCard *hardwareCard() const;
    // The metrics strip and the help cards below the dashboard, and the x of
    // the dashboard's eight containers for the language.
    void layoutHomeMetrics(const QString &languageCode);
    void retranslateHomeCards(const QString &languageCode);
    void openHelpCardLink(const QUrl &link);
    GamesSection *gamesSection() const;

    // The connect flow (connection/ConnectFlow) and the connected state's
    // meters; without them they do nothing.
    void startConnect();
    void stopConnection();
    void onMtuProbed(int mtu);
    void onConnectVerified();
    void failoverToNextServer(const QString &reason, const QString &message);
    void verifyDns();
    quint64 probeMtu(const QString &address);
    static QList<QVariantMap> europeServers();
    static RelayChoice::Pick pickServer();
    static QVariantMap findGameMeta(const QString &title);
    static void collectGameTraffic(const QString &title, QStringList &udp, QStringList &tcp,
                                   QStringList &domains);
    void measurePing();
    void updatePacketLoss();
    void startPacketLossSampling();
    // The connect button and what its states show (ui/pages/connection/ConnectDisplay),
    // driven by the flow's signals; the state is the flow's, held here.
    void applyConnectButtonState(ButtonState state);
    void resetConnectingTimer(bool start);
    void updateConnectingText();
    void updateConnectedTime();
    void pulseConnectCircle(const QVariant &value);
    void onConnectButtonClicked();
    void resetTapToConnectText();
    void showEstimatedPing(int ms);
    void setGameRouteValue(const QString &text);
    ConnectDisplay *connectDisplay() const;
    const std::shared_ptr<ConnectFlowState> &connectState() const;
    // The connection clock's 250 ms timer.
    QTimer *connectTimer() const;

    // The console path (connection/ConsoleConnect) and its set-up overlay.
    static bool isConsoleGameTitle(const QString &title);
    static bool isCurrentGameConsole();
    static QString slugifyName(const QString &text);
    void startConsoleGateway(const QString &address, int port, const QString &title, const QStringList &udp,
                             const QStringList &tcp);
    void checkConsoleGatewayStarted();
    void startConsoleBoostAfterSweep(const QString &gameId, const QString &region, const QString &fingerprint,
                                     const QString &address, int port, const QString &title,
                                     const QStringList &udp, const QStringList &tcp);
    QLabel *makeConsoleConfigBox(int index, const QString &label, const QString &value);
    void onConsoleGatewayStarted();
    void onConsoleGatewayStopped(int exitCode);
    void onConsoleGatewayError(const QString &message);
    void onConsoleConfigurationReady(const ConsoleNetworkManager::NetworkConfig &config);
    void onConsoleConnected();
    void onConsoleNetworkError(const QString &error);

    // The connection page: opening a game fills its header and boost list;
    // the route area shows the diagram and the live values.
    void updateConnectionGameHeader(const QString &title, const QString &logo);
    void buildPlatformBoostSection(QWidget *window, const QString &title);
    void showPlatformBoostInfo();
    void syncServerScrollBar();
    void updateRoutingPcIcon(bool console);
    void showSnapshotOverlay(bool show);
    void showManualServerLabel(const QString &text);
    void updateRouteDiagram(int routes);
    // The ping sweep page over the whole window (the sweep from app/), created
    // on first need and kept; the handlers of a finished sweep, shown or
    // hidden, which keep it in the route cache.
    PingOptimizerPage *pingSweepPage();
    void applyServerPings(QWidget *window, const QString &title, const QString &logo, const QString &region);
    void onBackgroundPingSweepFinished(QWidget *window, const QString &title, const QString &region);
    // The automatic choice among the "Europe" relays: stored as the selected
    // relay (automatic mode) and shown on the relay card. Returns the chosen
    // relay, empty when there is none (then nothing changes).
    QVariantMap showSelectedRegion(QWidget *window, const QHash<QString, int> &pings);
    // A relay's country flag into `label`: bundled, cached, else downloaded once.
    void loadCountryFlag(QLabel *label, const QString &countryCode, const QString &flagUrl);
    void onFlagImageReply(QNetworkReply *reply, const QPointer<QLabel> &label, const QString &countryCode);
    CountryFlags *countryFlags() const { return m_services.flags; }
    // An opened console game: its network set-up and the connect press.
    void clickTapToConnect();
    void setupConsoleNetwork();

    // The server region page in place of the connection page, and its
    // server picker (ui/pages/servers/ServerPicker); the route settings panel.
    void showServerRegionPage(bool open);
    void leaveServerSearch();
    void applyServerModeStyle(bool manual);
    void showRegionHeader(bool manual);
    void reloadServerPicker();
    void onRegionButtonClicked(QPushButton *row);
    void showRegionServers(const QString &region);
    void searchServers();
    void showServerSearchResults(const QList<QVariantMap> &servers, const QString &title);
    void scrollServerList();
    void requestPickerServers();
    static QHash<QString, int> loadServerPings();
    static bool lessByPing(const QPair<QVariantMap, int> &a, const QPair<QVariantMap, int> &b);
    void toggleRouteSettings();
    ServerRegionPage *serverRegionPage() const;
    ServerPicker *serverPicker() const;
    RouteSettings *routeSettings() const;

    // The update check, the required update and the version gate; their work
    // lives in the update controller and the version gate (app/ builds them).
    void checkForAppUpdate();
    void downloadUpdate(const QString &url, const QString &version);
    void showRetryCountdown(const QString &reason);
    void retryUpdateDownload();
    void installUpdate(const QString &path);
    void startInstaller(const QString &path);
    void onVersionUnsupported();
    // Where a check that found no required update hands back to the sign-in.
    void resumeLoginAfterUpdateCheck();

    // The version gate keeps the window open while its block is shown.
    void setVersionBlocked(bool blocked);
    bool isVersionBlocked() const;

    // The update flow's state. A close abandons both: the check's flags are
    // cleared and a running download is aborted and released.
    void setUpdateCheckRunning(bool running);
    bool isUpdateCheckRunning() const;
    void setUpdateRequired(bool required);
    bool isUpdateRequired() const;
    void keepUpdateDownload(QNetworkReply *reply);
    QNetworkReply *updateDownload() const;

    // The areas and services other areas and flows reach.
    const ClientServices &services() const { return m_services; }
    const WindowIntervals &intervals() const { return m_intervals; }
    SectionWidgets &sections() { return m_sections; }
    AuthPage *authPage() const { return m_authPage; }
    ProxyStatusOverlay *busyOverlay() const { return m_busyOverlay; }
    SessionManager *sessionManager() const { return m_services.sessions; }
    TunnelClient *tunnelClient() const { return m_services.tunnel; }
    GamesCatalogue *gamesCatalogue() const { return m_services.games; }
    QButtonGroup *navGroup() const;
    QuorlixConnection *connectionPage() const;
    QWidget *header() const;
    ConnectionPage *connectionPageArea() const;
    RouteArea *routeArea() const;
    PageStack *pageStack() const { return m_pageStack; }
    ProfileSection *profileSection() const;
    ConsoleNetworkManager *consoleNetworkManager() const { return m_services.consoleNetwork; }
    ConsoleGatewayEmbedded *consoleGateway() const { return m_services.consoleGateway; }
    ConsoleOverlay *consoleOverlay() const;
    static QString persianFontFamily();

signals:
    // The Games section was switched to; the games area asks for the catalogue.
    void gamesSectionOpened();
    // The Connections landing is about to show; its banner is hidden for the
    // moment, so its frosted backdrop can be taken of what lies beneath.
    void landingBannerBackdropNeeded();
    // The promotion is to be looked at again (after a sign-out: with no token
    // it hides and asks nothing).
    void promotionRefreshNeeded();

public slots:
    void handleOpenConnectionsForGame(const QString &gameTitle, const QString &gameLogo);
    void handleOpenConnectionsForGame(const QString &gameTitle, const QString &gameLogo,
                                      const QString &gameCategory);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    // The parts built after the first frame, in the window's building order.
    enum class PagePart {
        HeaderContents,
        Titles,
        Profile,
        Settings,
        HomeAndGames,
        Connection,
        Metrics,
        Count
    };
    // Where an area's language pass runs among the others: the order in
    // which the window builds them, whenever each is built.
    enum LanguageRank {
        LanguageRankHeaderContents,
        LanguageRankWindowButtons,
        LanguageRankPages,
        LanguageRankSideNavigation
    };
    void buildNextPagePart();
    void settlePagePart(const QObjectList &frameBefore, const QObjectList &windowBefore, int sectionsBefore);
    void startIdlePageBuilding();
    void buildHeaderContents();
    void buildTitles();
    void buildProfile();
    void buildSettings();
    void buildConnectionPart();
    void wirePromotion();
    void wireAccountService();
    void wireConsoleDisplay();
    // What the sign-in page covered is seen now: every page, the favourites
    // and a grid that waited.
    void showSignedInPages();
    bool signInPageCovers() const;
    void renderGamesGridWhenSeen();
    AccountTexts currentAccountTexts() const;
    // The resize handling's part for the sections: the card overlays over
    // the window, the Dashboard title's and the home containers' x; those
    // shown are raised when raiseShown.
    void placeSectionsForWindow(bool persian, bool raiseShown);

    void setupWindow();
    void adoptServices();
    void loadApplicationFonts();
    void buildRootFrame();
    void buildSignInPage();
    void wireSignIn();
    void wireHeaderSearchAndPromo();
    void startDeferredCallsAndTimers();
    void wireConsoleServices();
    void wireUpdates();
    void wireAccount();
    void onSessionExpired();
    // The sign-in page back over the whole window with its form enabled.
    void showSignInForm();
    void buildHomeAndGames();
    void buildMetricsAndHardware();
    void startGamesCatalogue();
    void wireConnectionPage();
    void buildConnectWiring();
    void buildRouteSettings();
    void buildServerRegionPage();
    void onRelayPicked(const QString &cardText, const QString &countryCode, const QString &flagUrl);
    // Whether the page shows a running connection, whose relay stays.
    bool relayInUse() const;

    // The one language hook: every area that joined re-sets its texts and
    // placement, in the order the areas joined.
    void addLanguageArea(WindowArea *area, bool alsoWhenLoopStarts);
    void applyLanguage(const QString &languageCode);
    QString currentLanguage() const;
    bool currentLanguageIsPersian() const;

    void onSectionClicked(int id);
    void placeFloatingSections(bool persian, bool raiseShown);

    ClientServices m_services;
    WindowIntervals m_intervals;
    SectionWidgets m_sections;
    QVector<QPair<int, WindowArea *>> m_languageAreas; // (rank, area) in language-pass order
    int m_languageRank = LanguageRankHeaderContents;

    int m_pagePartsBuilt = 0;
    bool m_buildingPagePart = false;
    // Hold the places of the parts not built yet in the root frame's and the
    // window's stacking order; gone once every part is built.
    QWidget *m_frameSlot = nullptr;
    QWidget *m_windowSlot = nullptr;
    // The section the navigation shows (parts built later take its look).
    bool m_navigated = false;
    int m_navId = 0;
    bool m_navProgrammatic = false;
    bool m_placedForWindow = false;
    bool m_firstShown = false;
    bool m_watchFirstPaint = false; // until the first frame is drawn
    bool m_closing = false;
    bool m_gridRenderWaits = false;
    // The promotion's last look, for a pill built after it came.
    struct PromoLook
    {
        std::optional<QString> label;
        std::optional<QPair<bool, QString>> badge;
        std::optional<bool> pillVisible;
    } m_promoLook;

    QScrollArea *m_scroll = nullptr;
    QWidget *m_rootFrame = nullptr;
    QVBoxLayout *m_rootLayout = nullptr;
    HeaderBand *m_headerBand = nullptr;
    NotificationBell *m_notifications = nullptr;
    AccountPill *m_accountPill = nullptr;
    PromoPill *m_promoPill = nullptr;
    HeaderSearch *m_headerSearch = nullptr;
    TitlesAndLanding *m_titles = nullptr;
    ProfileSection *m_profile = nullptr;
    SettingsSection *m_settings = nullptr;
    GamesBoardState *m_gamesBoard = nullptr;
    ImageCache *m_images = nullptr;
    HomeDashboard *m_home = nullptr;
    HardwareCard *m_hardware = nullptr;
    HomeMetrics *m_metrics = nullptr;
    GamesSection *m_games = nullptr;
    ConnectionPanels *m_connectionPanels = nullptr;
    ConsoleOverlay *m_consoleOverlay = nullptr;
    RouteArea *m_routeArea = nullptr;
    RouteSettings *m_routeSettings = nullptr;
    ConnectionPage *m_connectionPage = nullptr;
    ServerRegionPage *m_serverRegion = nullptr;
    ServerPicker *m_serverPicker = nullptr;
    GameConnectionView *m_gameView = nullptr;
    std::shared_ptr<ConnectFlowState> m_connectState;
    ConnectDisplay *m_connectDisplay = nullptr;
    QTimer *m_connectTimer = nullptr;
    QPointer<PingOptimizerPage> m_pingSweepPage;
    WindowButtons *m_windowButtons = nullptr;
    SideNavigation *m_sideNavigation = nullptr;
    PageStack *m_pageStack = nullptr;
    AuthPage *m_authPage = nullptr;
    std::unique_ptr<AuthPageView> m_authPageView;
    ProxyStatusOverlay *m_busyOverlay = nullptr;
    QTimer *m_versionTimer = nullptr;
    QTimer *m_heartbeatTimer = nullptr;

    bool m_allowClose = false;
    bool m_programmaticNav = false;
    // The busy overlay as the update flow and the version gate see it.
    std::unique_ptr<BusyOverlay> m_updateOverlay;
};
