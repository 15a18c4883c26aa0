#include "ui/mainwindow/MainWindow.h"

#include "connection/SessionManager.h"
#include "engine/qt/ConsoleGatewayEmbedded.h"
#include "engine/qt/TunnelClient.h"
#include "i18n/TranslationManager.h"
#include "ui/mainwindow/WindowRules.h"
#include "ui/pages/AuthPage.h"
#include "ui/pages/PingOptimizerPage.h"
#include "ui/widgets/ProxyStatusOverlay.h"

#include <QTimer>

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent)
{
    MainWindowBuildContext ctx;
    setupWindow(ctx);
    createCoreServices(ctx);
    loadApplicationFonts(ctx);
    buildRootFrame(ctx);
    buildHeaderBand(ctx);
    // Header contents (promotion pill, search, bell, account pill) join here.
    buildWindowButtons(ctx);
    // The page sections join here, in page order.
    buildSideNavigation(ctx);
    buildPageStack(ctx);
    buildSignInPage(ctx);
    buildBusyOverlay(ctx);
    startDeferredCallsAndTimers(ctx);
    createConsoleServices(ctx);
}

MainWindow::~MainWindow() = default;

void MainWindow::installLanguageHook(std::function<void(const QString &)> hook, bool alsoDeferred)
{
    if (!hook)
        return;
    TranslationManager *translations = TranslationManager::instance();
    const QString current = translations ? translations->currentLanguage() : QStringLiteral("en-US");
    hook(current);
    if (translations)
        connect(translations, &TranslationManager::languageChanged, this, hook);
    if (alsoDeferred) {
        QTimer::singleShot(0, this, [hook] {
            TranslationManager *now = TranslationManager::instance();
            hook(now ? now->currentLanguage() : QStringLiteral("en-US"));
        });
    }
}

void MainWindow::handleOpenConnectionsForGame(const QString &gameTitle, const QString &gameLogo)
{
    // The connection page and the connect flow fill this in; until then it
    // only brings up the connection view.
    Q_UNUSED(gameTitle);
    Q_UNUSED(gameLogo);
    navigateToPage(WindowRules::NavNetwork);
}

void MainWindow::handleOpenConnectionsForGame(const QString &gameTitle, const QString &gameLogo,
                                              const QString &gameCategory)
{
    Q_UNUSED(gameCategory);
    handleOpenConnectionsForGame(gameTitle, gameLogo);
}
