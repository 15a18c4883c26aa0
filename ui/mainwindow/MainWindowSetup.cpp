// Window set-up, the services handed in, application fonts, the sign-in
// page, the start-up calls and timers, and the console services.
#include "ui/mainwindow/MainWindow.h"

#include "connection/ConnectFlow.h"
#include "connection/ConsoleConnect.h"
#include "connection/LivePing.h"
#include "connection/MtuProbe.h"
#include "connection/PingSweep.h"
#include "connection/SessionManager.h"
#include "connection/SweepResults.h"
#include "engine/qt/ConsoleGatewayEmbedded.h"
#include "engine/qt/ConsoleNetworkManager.h"
#include "engine/qt/TunnelClient.h"
#include "resources/AppIcon.h"
#include "resources/BundledFonts.h"
#include "services/AccountInfo.h"
#include "services/AccountSession.h"
#include "services/AccountStore.h"
#include "services/DiscordSignIn.h"
#include "services/GamesCatalogue.h"
#include "services/NotificationService.h"
#include "services/PromoService.h"
#include "services/ServerSync.h"
#include "services/ServiceApi.h"
#include "services/ServiceClient.h"
#include "services/SignInController.h"
#include "services/UpdateController.h"
#include "services/UsageEvents.h"
#include "services/VersionGate.h"
#include "storage/DatabaseManager.h"
#include "ui/mainwindow/WindowRules.h"
#include "ui/pages/servers/CountryFlags.h"
#include "ui/pages/settings/SettingsStore.h"
#include "ui/pages/signin/AuthPage.h"

#include <QApplication>
#include <QFile>
#include <QFontDatabase>
#include <QTimer>

namespace {
const QString kWindowSizeKey = QStringLiteral("settings/window_size");
const QString kDefaultWindowSize = QStringLiteral("(1440 x 810)");
const QString kPersianFallbackFamily = QStringLiteral("IRANYekanXVF");

// Fonts go into the process-wide font database once, however many windows are built.
bool g_latinFontsLoaded = false;
bool g_persianFontsLoaded = false;
QString g_persianFontFamily;
} // namespace

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
