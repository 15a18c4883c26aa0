// The console services' wiring and the window's operations of the console path: the
// gateway's and the network watch's slots, the set-up overlay, and the
// adapters over connection/ConsoleConnect.
#include "ui/mainwindow/MainWindow.h"

#include "connection/ConsoleConnect.h"
#include "engine/qt/ConsoleGatewayEmbedded.h"
#include "engine/qt/ConsoleNetworkManager.h"
#include "storage/SettingsManager.h"
#include "ui/mainwindow/ConsoleOverlay.h"
#include "ui/pages/connection/ConnectDisplay.h"
#include "ui/pages/connection/PingOptimizerPage.h"

#include <QDebug>
#include <QLabel>

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
