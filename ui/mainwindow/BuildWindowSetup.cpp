// Window set-up, core services and application fonts.
#include "ui/mainwindow/MainWindow.h"

#include "connection/SessionManager.h"
#include "engine/qt/TunnelClient.h"
#include "resources/BundledFonts.h"
#include "services/ServiceApi.h"
#include "storage/DatabaseManager.h"
#include "ui/mainwindow/WindowRules.h"

#include <QApplication>
#include <QFontDatabase>

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

void MainWindow::setupWindow(MainWindowBuildContext &ctx)
{
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_TranslucentBackground, true);
    setWindowIcon(QApplication::windowIcon());

    QString sizeText = kDefaultWindowSize;
    if (DatabaseManager *db = DatabaseManager::instance())
        sizeText = db->getMetadataOrInit(kWindowSizeKey, kDefaultWindowSize);
    const QSize size = WindowRules::windowSizeForOption(sizeText);
    setFixedSize(size);
    ctx.windowWidth = size.width();
    ctx.windowHeight = size.height();

    setWindowFlag(Qt::WindowMaximizeButtonHint, false);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setWindowTitle(QStringLiteral("Quorlix v") + QLatin1String(ServiceApi::kAppVersion));
}

void MainWindow::createCoreServices(MainWindowBuildContext &)
{
    m_sessionManager = new SessionManager(this);
    m_tunnelClient = new TunnelClient(this);
    m_tunnelClient->setWorkingDirectory(QCoreApplication::applicationDirPath());
    m_sessionManager->setTunnelClient(m_tunnelClient);
}

void MainWindow::setTunnelClient(TunnelClient *client)
{
    if (!client || client == m_tunnelClient)
        return;
    TunnelClient *previous = m_tunnelClient;
    client->setParent(this);
    client->setWorkingDirectory(QCoreApplication::applicationDirPath());
    m_tunnelClient = client;
    if (m_sessionManager)
        m_sessionManager->setTunnelClient(client);
    delete previous;
}

void MainWindow::loadApplicationFonts(MainWindowBuildContext &)
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
