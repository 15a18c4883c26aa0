// The connect button's wiring: the flow's state held by the window, the
// connection clock's timer, the connection page's display of idle,
// connecting and connected, and the window's named operations for them.
#include "ui/mainwindow/MainWindow.h"

#include "connection/ConnectFlow.h"
#include "connection/SweepResults.h"
#include "ui/pages/connection/ConnectDisplay.h"
#include "ui/pages/connection/ConnectionPage.h"
#include "ui/pages/connection/ConnectionPanels.h"
#include "ui/pages/connection/GameConnectionView.h"

#include <QCoreApplication>
#include <QPushButton>
#include <QTimer>

void MainWindow::buildConnectWiring()
{
    ConnectFlow *flow = m_services.connectFlow;
    m_connectState = flow ? flow->sharedState() : std::make_shared<ConnectFlowState>();

    m_connectTimer = new QTimer(this);
    m_connectTimer->setTimerType(Qt::PreciseTimer);
    m_connectTimer->setInterval(250);

    ConnectDisplay::Meters meters;
    meters.ping = m_services.livePing;
    meters.loss = m_services.packetLoss;
    meters.flags = m_services.flags;
    // Puts the page into its idle look.
    m_connectDisplay =
        new ConnectDisplay(m_connectionPage, m_routeArea, m_connectState, meters, m_connectTimer, this);
    connect(m_connectDisplay, &ConnectDisplay::pressed, this, &MainWindow::onConnectButtonClicked);
    // Opening a game lays the page out for that game's state.
    connect(m_gameView, &GameConnectionView::gameShown, m_connectDisplay, &ConnectDisplay::showGame);

    if (m_services.sweepResults) {
        connect(m_services.sweepResults, &SweepResults::automaticRelayChosen, m_connectDisplay,
                [display = m_connectDisplay](const QVariantMap &relay) {
                    display->showRelay(ConnectDisplay::RelayFrom::Sweep,
                                       ConnectDisplay::Relay::fromRecord(
                                           relay, QCoreApplication::translate("MainWindow", "Auto"), false));
                });
    }
    if (flow) {
        m_connectDisplay->follow(flow);
        connect(flow, &ConnectFlow::failureShown, m_connectDisplay, &ConnectDisplay::showFailure);
    }

    // The page shows when a game is opened.
    m_connectionPanels->left()->hide();
    m_connectionPanels->right()->hide();
    m_connectionPage->header()->hide();
}

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
