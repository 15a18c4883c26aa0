// Start-up deferrals and the periodic version and heartbeat timers, with the
// thin operations they run.
#include "ui/mainwindow/MainWindow.h"

#include "services/ServerSync.h"
#include "services/ServiceClient.h"

#include <QJsonObject>
#include <QTimer>

namespace {
constexpr int kVersionCheckMs = 30 * 60 * 1000;
constexpr int kHeartbeatMs = 30 * 1000;
constexpr int kFirstHeartbeatMs = 1000;
} // namespace

void MainWindow::startDeferredCallsAndTimers(MainWindowBuildContext &)
{
    QTimer::singleShot(0, this, [this] { runStartupChecks(); });

    m_versionTimer = new QTimer(this);
    connect(m_versionTimer, &QTimer::timeout, this, &MainWindow::validateAppVersion);
    m_versionTimer->start(kVersionCheckMs);

    m_heartbeatTimer = new QTimer(this);
    connect(m_heartbeatTimer, &QTimer::timeout, this, &MainWindow::sendHeartbeat);
    m_heartbeatTimer->start(kHeartbeatMs);

    QTimer::singleShot(kFirstHeartbeatMs, this, [this] { sendHeartbeat(); });
}

void MainWindow::runStartupChecks()
{
    validateAppVersion();
    // The update check plugs in here, between the version check and the
    // relay-list synchronisation.
    syncServers({});
}

void MainWindow::syncServers(std::function<void(bool ok)> completion)
{
    if (!m_serviceClient)
        m_serviceClient = new ServiceClient(this);
    if (!m_serverSync)
        m_serverSync = new ServerSync(m_serviceClient, ServersCache::database(), this);
    m_serverSync->syncServers(std::move(completion));
}

void MainWindow::sendHeartbeat()
{
    // The session heartbeat plugs in here.
}

void MainWindow::validateAppVersion()
{
    // The version gate plugs in here.
}

void MainWindow::trackEvent(const QString &eventName)
{
    if (eventName.trimmed().isEmpty())
        return;
    if (eventName == QLatin1String("app_open")) {
        if (m_appOpenSent)
            return;
        m_appOpenSent = true;
    }
    if (!m_serviceClient)
        m_serviceClient = new ServiceClient(this);
    // Fire and forget; the client sends nothing while no token is stored.
    m_serviceClient->send(
        ServiceApi::Endpoint::PromoEvent, [](const ServiceApi::Reply &) {},
        QJsonObject{{QStringLiteral("event_name"), eventName}});
}
