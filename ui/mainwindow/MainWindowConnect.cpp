#include "ui/mainwindow/MainWindow.h"

#include "connection/ConnectFlow.h"
#include "connection/GamePorts.h"
#include "connection/LivePing.h"
#include "connection/MtuProbe.h"

// The connect flow's named operations forward to the controller the
// composition root built; the attempt is always the flow's current one.

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
