#include "app/ClientComposition.h"

#include "connection/ConnectFlow.h"
#include "connection/ConsoleConnect.h"
#include "connection/LivePing.h"
#include "connection/MtuProbe.h"
#include "connection/PingSweep.h"
#include "connection/RelayChoice.h"
#include "connection/SessionManager.h"
#include "connection/SweepResults.h"
#include "engine/qt/ConsoleGatewayEmbedded.h"
#include "engine/qt/ConsoleNetworkManager.h"
#include "engine/qt/TunnelClient.h"
#include "i18n/TranslationManager.h"
#include "platform/InstallerLauncher.h"
#include "services/AccountInfo.h"
#include "services/AccountSession.h"
#include "services/AccountStore.h"
#include "services/DiscordSignIn.h"
#include "services/GamesCache.h"
#include "services/GamesCatalogue.h"
#include "services/NetworkAccess.h"
#include "services/NotificationService.h"
#include "services/PromoService.h"
#include "services/ServerSync.h"
#include "services/ServiceClient.h"
#include "services/ServiceConfig.h"
#include "services/SignInController.h"
#include "services/UpdateController.h"
#include "services/UsageEvents.h"
#include "services/VersionGate.h"
#include "storage/SettingsManager.h"
#include "ui/mainwindow/MainWindow.h"
#include "ui/pages/servers/CountryFlags.h"
#include "ui/pages/settings/SettingsStore.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QMessageBox>

ClientServices createClientServices(const WindowIntervals &intervals, const TunnelEngineApi &engine)
{
    ClientServices services;
    services.sessions = new SessionManager;
    services.tunnel = new TunnelClient(engine, SystemTools::ProcessRunner::system());
    services.tunnel->setWorkingDirectory(QCoreApplication::applicationDirPath());
    services.sessions->setTunnelClient(services.tunnel);
    services.mtuProbe = new MtuProbe;
    services.connectFlow = new ConnectFlow(
        ConnectFlow::defaultServices(services.tunnel, services.mtuProbe, services.sessions), nullptr);
    services.connectFlow->setIntervals({intervals.failoverRetryMs, intervals.verifyDelayMs,
                                        intervals.noServerTextMs, intervals.connectFailureMs,
                                        intervals.noPortsTextMs});
    services.consoleNetwork = new ConsoleNetworkManager;
    services.consoleGateway = new ConsoleGatewayEmbedded;
    services.consoleConnect =
        new ConsoleConnect(ConsoleConnect::defaultServices(services.consoleGateway, services.sessions),
                           services.connectFlow->sharedState());
    services.consoleConnect->setIntervals({intervals.consoleStartCheckMs, intervals.noPortsTextMs});
    QObject::connect(services.connectFlow, &ConnectFlow::consoleConnectRequested, services.consoleConnect,
                     &ConsoleConnect::startConsoleBranch);
    QObject::connect(services.connectFlow, &ConnectFlow::consoleStopRequested, services.consoleConnect,
                     &ConsoleConnect::stopConsole);
    QObject::connect(services.consoleGateway, &ConsoleGatewayEmbedded::stopped, services.consoleConnect,
                     &ConsoleConnect::gatewayStopped);
    services.livePing = new LivePing(SystemTools::ProcessRunner::system(),
                                     runningRelayAddress(services.connectFlow->sharedState(), [] {
                                         return SettingsManager::instance()->serverIp();
                                     }));
    services.livePing->setTickInterval(intervals.livePingMs);
    services.livePing->setSessionManager(services.sessions);
    services.packetLoss = new PacketLossMeter(services.tunnel);
    services.packetLoss->setTickInterval(intervals.packetLossMs);
    services.packetLoss->setGraceMs(intervals.packetLossGraceMs);
    services.account = new AccountStore;
    services.serviceClient =
        new ServiceClient(ServiceConfig::instance(), services.account->credentialsSource());
    services.session = new AccountSession(services.serviceClient, services.account);
    services.accountInfo = new AccountInfo(services.account, services.serviceClient);
    services.serverSync = new ServerSync(services.serviceClient, ServersCache::database());
    services.pingSweep = new PingSweep(services.serviceClient, SystemTools::ProcessRunner::system(),
                                       RelayChoice::serverPingsPath(), intervals.pingSweep);
    services.sweepResults = new SweepResults(SweepResults::defaultSources());
    services.flags = new CountryFlags(ServiceConfig::instance());
    services.signIn = new SignInController(services.serviceClient, services.account, services.serverSync,
                                           intervals.signInConfigurationMs);
    services.usage = new UsageEvents(services.serviceClient, intervals.promoRefreshMs, services.account);
    services.updates = new UpdateController(services.serviceClient, &InstallerLauncher::system());
    services.versionGate = new VersionGate(services.serviceClient, services.updates);
    services.games = new GamesCatalogue(services.serviceClient, GamesCache());
    services.notifications = new NotificationService(services.serviceClient, services.account);
    services.translations = TranslationManager::instance();
    services.settings = new MetadataSettingsStore;
    services.coverNetwork = NetworkAccess::createManager(nullptr);
    services.openUrl = [](const QUrl &url) { return QDesktopServices::openUrl(url); };
    services.discord = new DiscordSignIn(services.serviceClient, services.openUrl);
    services.showWarning = [](QWidget *window, const QString &title, const QString &text) {
        QMessageBox::warning(window, title, text, QMessageBox::Ok);
    };
    services.promo =
        new PromoService(services.serviceClient, services.account, services.usage, services.openUrl);
    return services;
}

std::unique_ptr<MainWindow> createMainWindow()
{
    WindowIntervals intervals;
    // The start-up benchmark closes the window after every start and has no
    // use for the farewell's wait.
    bool set = false;
    const int closeDelay = qEnvironmentVariableIntValue("QUORLIX_CLOSE_DELAY_MS", &set);
    if (set && closeDelay >= 0)
        intervals.closeDelayMs = closeDelay;
    return std::make_unique<MainWindow>(createClientServices(intervals), intervals);
}
