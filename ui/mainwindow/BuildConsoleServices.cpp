// The console services and the slots their signals reach.
#include "ui/mainwindow/MainWindow.h"

#include "engine/qt/ConsoleGatewayEmbedded.h"
#include "engine/qt/ConsoleNetworkManager.h"

void MainWindow::createConsoleServices(MainWindowBuildContext &)
{
    m_consoleNetworkManager = new ConsoleNetworkManager(this);
    m_consoleGateway = new ConsoleGatewayEmbedded(this);

    connect(m_consoleGateway, &ConsoleGatewayEmbedded::started, this, &MainWindow::onConsoleGatewayStarted);
    connect(m_consoleGateway, &ConsoleGatewayEmbedded::stopped, this, &MainWindow::onConsoleGatewayStopped);
    connect(m_consoleGateway, &ConsoleGatewayEmbedded::errorOccurred, this,
            &MainWindow::onConsoleGatewayError);
    connect(m_consoleNetworkManager, &ConsoleNetworkManager::configurationReady, this,
            &MainWindow::onConsoleConfigurationReady);
    connect(m_consoleNetworkManager, &ConsoleNetworkManager::consoleConnected, this,
            &MainWindow::onConsoleConnected);
    connect(m_consoleNetworkManager, &ConsoleNetworkManager::errorOccurred, this,
            &MainWindow::onConsoleNetworkError);
}

// The console connect flow fills these in.
void MainWindow::onConsoleGatewayStarted() {}
void MainWindow::onConsoleGatewayStopped(int) {}
void MainWindow::onConsoleGatewayError(const QString &) {}
void MainWindow::onConsoleConfigurationReady(const ConsoleNetworkManager::NetworkConfig &) {}
void MainWindow::onConsoleConnected() {}
void MainWindow::onConsoleNetworkError(const QString &) {}
