#pragma once
#include <QIcon>
#include <QMainWindow>
#include <QPixmap>
#include <QPoint>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

#include "engine/qt/ConsoleNetworkManager.h"
#include "ui/mainwindow/MainWindowBuildContext.h"

class AuthPage;
class ConsoleGatewayEmbedded;
class PingOptimizerPage;
class ProxyStatusOverlay;
class QButtonGroup;
class QNetworkReply;
class QStackedWidget;
class QTimer;
class QuorlixConnection;
class ServerSync;
class ServiceClient;
class SessionManager;
class TunnelClient;

// The client's one top-level window: frameless, fixed size, one long scrolling
// page with five sections, a connection page, full-window overlays and the
// long-lived services as its children. The constructor is a short sequence of
// build functions, one per area (one source file each under ui/mainwindow/).
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Closures of the window-buttons and side-navigation language hooks.
    struct WindowButtonsHook
    {
        QPointer<QPushButton> minimizeButton;
        QPointer<QPushButton> closeButton;
        QHBoxLayout *headerRow = nullptr;
        QPointer<QWidget> miniLogoWrap;
        QSpacerItem *headerSpacer = nullptr;
    };
    struct SideNavHook
    {
        QPointer<QWidget> column;
        QPointer<QLabel> logo;
        QPointer<QFrame> line;
        int logoY = 0;
        int lineY = 0;
        int columnY = 0;
        int leftX = 0;
        int columnWidth = 0;
    };
    struct NavSectionSwitch
    {
        QList<QPointer<QToolButton>> buttons;
        QList<QIcon> normalIcons;
        QList<QIcon> activeIcons;
        std::shared_ptr<std::function<void(bool, bool)>> requestGames;
        std::shared_ptr<std::function<void()>> landingBannerBackdrop;
    };
    struct MainStackSwitch
    {
        QPointer<QStackedWidget> stack;
        QPointer<QWidget> homeRoot;
        QPointer<QWidget> rootFrame;
        int homeContentHeight = 0;
        int settingsContentHeight = 0;
        int windowHeight = 0;
    };

    // Window shell and navigation.
    void navigateToPage(int index);
    void openGamesPage();
    void minimizeWindow();
    void closeWindow();
    void finishClose();
    void quitNow();
    void setWindowControlsEnabled(bool enabled);
    void placeWindowButtons(const WindowButtonsHook &hook, const QString &languageCode);
    void deferPlaceWindowButtons(const WindowButtonsHook &hook);
    void layoutSideNavForLanguage(const SideNavHook &hook, const QString &languageCode);
    void deferSideNavLayout(const SideNavHook &hook);
    void syncSideNavVisibility();
    void hideSideNavWhileLoggedOut();
    void switchNavSection(const NavSectionSwitch &closure, int id);
    void switchMainStack(const MainStackSwitch &closure, int id);
    QPushButton *makeWindowButton(const QIcon &icon);
    static QPixmap tintPixmap(const QPixmap &pixmap, const QColor &color);
    static QIcon tintedIcon(const QString &path, const QSize &size, const QColor &color);

    // Start-up calls and timers (their work lives in the services).
    void runStartupChecks();
    void syncServers(std::function<void(bool ok)> completion);
    void sendHeartbeat();
    void validateAppVersion();
    void trackEvent(const QString &eventName);
    void onLoginRequested(const QString &email, const QString &password);
    void login(const QString &email, const QString &password);

    // Console services.
    void onConsoleGatewayStarted();
    void onConsoleGatewayStopped(int exitCode);
    void onConsoleGatewayError(const QString &message);
    void onConsoleConfigurationReady(const ConsoleNetworkManager::NetworkConfig &config);
    void onConsoleConnected();
    void onConsoleNetworkError(const QString &error);

    // Puts another tunnel owner in place of the one the constructor made (a
    // scripted engine in tests); the window takes ownership.
    void setTunnelClient(TunnelClient *client);

    // The version gate keeps the window open while its block is shown.
    void setVersionBlocked(bool blocked) { m_versionBlocked = blocked; }
    bool isVersionBlocked() const { return m_versionBlocked; }

    // The promotion evaluation the header keeps; opening the connection view
    // by index runs it again 350 ms later.
    void setPromoRefresh(std::function<void()> refresh) { m_promoRefresh = std::move(refresh); }

    // The update flow's state. A close abandons both: the check's flags are
    // cleared and a running download is aborted and released.
    void setUpdateCheckRunning(bool running) { m_updateCheckRunning = running; }
    bool isUpdateCheckRunning() const { return m_updateCheckRunning; }
    void setUpdateRequired(bool required) { m_updateRequired = required; }
    bool isUpdateRequired() const { return m_updateRequired; }
    void keepUpdateDownload(QNetworkReply *reply);
    QNetworkReply *updateDownload() const;

    // How long the "Closing Quorlyx" overlay stays before the window closes.
    void setCloseDelay(int ms) { m_closeDelayMs = ms; }
    int closeDelay() const { return m_closeDelayMs; }

    // Runs a language hook now with the current language, again on every
    // language change, and (deferred) once more when the event loop starts.
    void installLanguageHook(std::function<void(const QString &)> hook, bool alsoDeferred);

    // The long-lived pieces other areas and flows reach.
    AuthPage *authPage() const { return m_authPage; }
    ProxyStatusOverlay *busyOverlay() const { return m_busyOverlay; }
    SessionManager *sessionManager() const { return m_sessionManager; }
    TunnelClient *tunnelClient() const { return m_tunnelClient; }
    QButtonGroup *navGroup() const { return m_navGroup; }
    QuorlixConnection *connectionPage() const { return m_connectionPage; }
    QWidget *header() const { return m_header; }
    ConsoleNetworkManager *consoleNetworkManager() const { return m_consoleNetworkManager; }
    ConsoleGatewayEmbedded *consoleGateway() const { return m_consoleGateway; }
    static QString persianFontFamily();

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
    // Build functions, in construction order.
    void setupWindow(MainWindowBuildContext &ctx);
    void createCoreServices(MainWindowBuildContext &ctx);
    void loadApplicationFonts(MainWindowBuildContext &ctx);
    void buildRootFrame(MainWindowBuildContext &ctx);
    void buildHeaderBand(MainWindowBuildContext &ctx);
    void buildWindowButtons(MainWindowBuildContext &ctx);
    void buildSideNavigation(MainWindowBuildContext &ctx);
    void buildPageStack(MainWindowBuildContext &ctx);
    void buildSignInPage(MainWindowBuildContext &ctx);
    void buildBusyOverlay(MainWindowBuildContext &ctx);
    void startDeferredCallsAndTimers(MainWindowBuildContext &ctx);
    void createConsoleServices(MainWindowBuildContext &ctx);

    // Placement shared by the resize handling and the side-navigation sync.
    void placeSideNavColumn(bool visible, bool persian);
    void placeFloatingSections(bool persian);

    QWidget *m_windowControlsBar = nullptr;
    QWidget *m_header = nullptr;
    bool m_dragging = false;
    QPoint m_dragOffset;
    QuorlixConnection *m_connectionPage = nullptr;
    PingOptimizerPage *m_pingSweepPage = nullptr;
    ProxyStatusOverlay *m_busyOverlay = nullptr;
    AuthPage *m_authPage = nullptr;
    bool m_allowClose = false;
    SessionManager *m_sessionManager = nullptr;
    TunnelClient *m_tunnelClient = nullptr;
    QTimer *m_connectTimer = nullptr;
    QButtonGroup *m_navGroup = nullptr;
    bool m_programmaticNav = false;
    std::function<void()> m_promoRefresh;
    ConsoleNetworkManager *m_consoleNetworkManager = nullptr;
    QPointer<QNetworkReply> m_updateReply;
    QTimer *m_versionTimer = nullptr;
    QTimer *m_heartbeatTimer = nullptr;
    bool m_versionBlocked = false;
    bool m_autoSignInPending = false;
    bool m_signInPending = false;
    QString m_pendingEmail;
    QString m_pendingPassword;
    bool m_updateCheckRunning = false;
    bool m_updateRequired = false;
    std::function<void(const QString &, const QString &)> m_loginHandler;
    ConsoleGatewayEmbedded *m_consoleGateway = nullptr;
    QWidget *m_platformBoostScrollBar = nullptr;

    bool m_appOpenSent = false;
    ServiceClient *m_serviceClient = nullptr;
    ServerSync *m_serverSync = nullptr;
    int m_closeDelayMs = 2000;
};
