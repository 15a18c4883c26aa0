#include "engine/qt/ConsoleNetworkManager.h"

#include "engine/qt/ConsoleArpListing.h"

#include <QDebug>
#include <QNetworkInterface>
#include <QStringList>
#include <QTimer>

namespace {

// The console network as the console set-up gives it out.
const char kConsoleAddress[] = "172.22.255.37";
const char kSubnetMask[] = "255.255.0.0";
const char kGateway[] = "172.22.255.34";
const char kDns[] = "1.1.1.1";

} // namespace

ConsoleNetworkManager::ConsoleNetworkManager(QObject *parent) : ConsoleNetworkManager(Options(), parent) {}

ConsoleNetworkManager::ConsoleNetworkManager(const Options &options, QObject *parent)
    : QObject(parent), m_options(options), m_timer(new QTimer(this))
{
    if (!m_options.runner)
        m_options.runner = SystemTools::ProcessRunner::system();
    if (!m_options.interfaces)
        m_options.interfaces = systemInterfaces;
    connect(m_timer, &QTimer::timeout, this, &ConsoleNetworkManager::checkConsoleConnection);
}

ConsoleNetworkManager::~ConsoleNetworkManager()
{
    destroyAdapter();
}

QList<ConsoleNetworkManager::Interface> ConsoleNetworkManager::systemInterfaces()
{
    QList<Interface> result;
    const QList<QNetworkInterface> all = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &iface : all) {
        Interface entry;
        entry.humanReadableName = iface.humanReadableName();
        entry.loopback = iface.flags().testFlag(QNetworkInterface::IsLoopBack);
        const QList<QNetworkAddressEntry> addresses = iface.addressEntries();
        for (const QNetworkAddressEntry &a : addresses) {
            if (a.ip().protocol() == QAbstractSocket::IPv4Protocol)
                entry.ipv4 << a.ip();
        }
        result << entry;
    }
    return result;
}

bool ConsoleNetworkManager::setupConsoleMode()
{
    qDebug().noquote() << "[ConsoleNet] Console mode (monitor-only): no netsh/ICS/NAT changes";
    m_config.ipAddress = QString::fromLatin1(kConsoleAddress);
    m_config.subnetMask = QString::fromLatin1(kSubnetMask);
    m_config.gateway = QString::fromLatin1(kGateway);
    m_config.dns = QString::fromLatin1(kDns);
    m_config.valid = true;
    emit configurationReady(m_config);
    return true;
}

void ConsoleNetworkManager::startMonitoring()
{
    m_connected = false;
    if (!m_wanted) {
        m_paused = true;
        return;
    }
    qDebug().noquote() << "[ConsoleNet] Starting connection monitoring...";
    m_paused = false;
    m_timer->start(m_options.pollIntervalMs);
}

void ConsoleNetworkManager::setMonitoringWanted(bool wanted)
{
    if (wanted == m_wanted)
        return;
    m_wanted = wanted;
    if (!wanted) {
        if (m_timer->isActive()) {
            qDebug().noquote() << "[ConsoleNet] Pausing connection monitoring";
            m_timer->stop();
            m_paused = true;
        }
        return;
    }
    if (m_paused)
        startMonitoring();
}

bool ConsoleNetworkManager::isMonitoring() const
{
    return m_timer->isActive();
}

void ConsoleNetworkManager::destroyAdapter()
{
    qDebug().noquote() << "[ConsoleNet] Destroying adapter...";
    qDebug().noquote() << "[ConsoleNet] Stopping connection monitoring";
    m_timer->stop();
    m_paused = false;
    m_config = NetworkConfig();
    m_connected = false;
    qDebug().noquote() << "[ConsoleNet] Adapter destroyed";
}

QString ConsoleNetworkManager::findEthernetAdapter() const
{
    return findEthernetAdapter(m_options.interfaces());
}

QString ConsoleNetworkManager::findEthernetAdapter(const QList<Interface> &interfaces) const
{
    static const char *const kExcluded[] = {"Wi-Fi", "Wireless", "VirtualBox", "VMware"};
    for (const Interface &iface : interfaces) {
        if (iface.loopback)
            continue;
        const QString &name = iface.humanReadableName;
        if (!name.contains(QLatin1String("Ethernet"), Qt::CaseInsensitive))
            continue;
        bool excluded = false;
        for (const char *word : kExcluded)
            excluded = excluded || name.contains(QLatin1String(word), Qt::CaseInsensitive);
        if (excluded)
            continue;
        return name;
    }
    return QString();
}

void ConsoleNetworkManager::reportAdapter(const QString &adapter)
{
    // Once per change, not once a poll: a PC without a wired adapter would
    // log its warning every second.
    const QString outcome = adapter.isNull() ? QStringLiteral("") : adapter;
    if (!m_reportedAdapter.isNull() && outcome == m_reportedAdapter)
        return;
    m_reportedAdapter = outcome;
    if (adapter.isEmpty())
        qWarning().noquote() << "[ConsoleNet] No suitable Ethernet adapter found";
    else
        qDebug().noquote() << "[ConsoleNet] Found Ethernet adapter:" << adapter;
}

void ConsoleNetworkManager::checkConsoleConnection()
{
    SystemTools::ToolCommand command = m_options.arpCommand;
    command.timeoutMs = m_options.toolTimeoutMs;
    // Blocks the GUI thread for up to the tool's time limit.
    const SystemTools::ToolResult result = m_options.runner->run(command);
    if (!result.finished())
        return; // missing, slow or unreadable: the next poll tries again

    const QList<Interface> interfaces = m_options.interfaces();
    const QString adapter = findEthernetAdapter(interfaces);
    reportAdapter(adapter);
    QString localAddress;
    if (!adapter.isEmpty()) {
        for (const Interface &iface : interfaces) {
            if (iface.humanReadableName != adapter)
                continue;
            for (const QHostAddress &ip : iface.ipv4) {
                if (ip.protocol() == QAbstractSocket::IPv4Protocol && !ip.isLoopback()) {
                    localAddress = ip.toString();
                    break;
                }
            }
            break;
        }
    }

    // Before set-up (or after it was undone) the console's gateway is still
    // the fixed one.
    const QString gateway = m_config.gateway.isEmpty() ? QString::fromLatin1(kGateway) : m_config.gateway;
    if (ConsoleArpListing::showsConsole(result.output, localAddress, gateway)) {
        if (!m_connected) {
            qDebug().noquote() << "[ConsoleNet] Console connected!";
            m_connected = true;
            emit consoleConnected();
        }
    } else if (m_connected) {
        qDebug().noquote() << "[ConsoleNet] Console disconnected";
        m_connected = false;
        emit consoleDisconnected();
    }
}
