#include "engine/qt/TunnelClient.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDebug>
#include <QDir>
#include <QThread>

#include <atomic>
#include <cstdlib>
#include <cstring>

// State the tunnel thread shares with the GUI thread. The thread's work holds
// it by shared pointer, so a thread left running by the destructor never
// touches a destroyed TunnelClient.
struct TunnelClient::Shared
{
    TunnelEngineApi engine;
    SystemTools::ProcessRunner *runner = nullptr;
    std::atomic<bool> stopRequested{false};
};

namespace {

// Copies at most `limit` bytes of `utf8` without splitting a character, then
// a NUL; `out` has room for limit + 1 bytes.
void copyCut(char *out, const QByteArray &utf8, int limit)
{
    int n = qMin(int(utf8.size()), limit);
    if (n < utf8.size()) {
        // Back off continuation bytes so the cut lands on a character start.
        while (n > 0 && (static_cast<unsigned char>(utf8.at(n)) & 0xC0) == 0x80)
            --n;
    }
    std::memcpy(out, utf8.constData(), size_t(n));
    out[n] = 0;
}

} // namespace

TunnelClient::TunnelClient(QObject *parent)
    : TunnelClient(TunnelEngineApi::linked(), SystemTools::ProcessRunner::system(), parent)
{}

TunnelClient::TunnelClient(const TunnelEngineApi &engine, SystemTools::ProcessRunner *runner, QObject *parent)
    : QObject(parent), m_engine(engine), m_runner(runner), m_thread(new QThread),
      m_shared(std::make_shared<Shared>())
{
    m_thread->setObjectName(QStringLiteral("QuorlixTunnel"));
    m_shared->engine = engine;
    m_shared->runner = runner;
}

TunnelClient::~TunnelClient()
{
    // Connected before the stop, so a thread that outlives the stop wait
    // deletes itself however late it ends: a connection made after the wait
    // could miss a `finished` emitted in between. When the wait succeeds the
    // thread is deleted below, and with it the queued deletion.
    QThread *thread = m_thread;
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    if (thread->isRunning() && !stopThread()) {
        // Destroying a running QThread aborts the program; the engine did not
        // end in time, so the thread is left to finish and delete itself. Its
        // work holds only the shared state, never this object.
        qWarning().noquote()
            << "[Tunnel] engine thread still running after the stop wait; leaving it to finish";
        if (thread->isFinished())
            thread->deleteLater();
        return;
    }
    delete m_context;
    delete m_thread;
}

void TunnelClient::setWorkingDirectory(const QString &directory)
{
    m_settings.workingDirectory = directory;
}

void TunnelClient::setServer(const QString &address, int port)
{
    m_settings.serverAddress = address;
    m_settings.serverPort = port;
}

void TunnelClient::setPorts(const QList<int> &udpPorts, const QList<int> &tcpPorts, bool tcpEnabled)
{
    m_settings.udpPorts = udpPorts;
    m_settings.tcpPorts = tcpPorts;
    m_settings.tcpEnabled = tcpEnabled;
}

void TunnelClient::setDebugMode(bool enabled)
{
    m_settings.debugMode = enabled;
}

void TunnelClient::setDomains(const QStringList &domains)
{
    m_settings.domains.clear();
    for (const QString &domain : domains) {
        const QString d = domain.trimmed().toLower();
        if (!d.isEmpty())
            m_settings.domains << d;
    }
}

void TunnelClient::setMtu(int mtu)
{
    m_settings.mtu = mtu;
    m_mtuSet = true;
}

bool TunnelClient::isRunning() const
{
    return m_thread->isRunning();
}

bool TunnelClient::start()
{
    if (m_thread->isRunning())
        return true;
    m_shared->stopRequested.store(false);

    // The run works on a copy taken here, on the GUI thread: the setters may
    // be called again while the thread prepares, without racing it.
    auto settings = std::make_shared<RunSettings>(m_settings);
    if (!m_mtuSet)
        settings->mtu = kDefaultMtu;
    m_mtuSet = false; // every run needs its own setMtu
    if (settings->workingDirectory.isEmpty())
        settings->workingDirectory = QCoreApplication::applicationDirPath();

    // A context left from a run whose thread was quit before its event loop
    // ran the call must never run that call with the next start.
    delete m_context;
    auto *context = new QObject;
    m_context = context;
    context->moveToThread(m_thread);
    const std::shared_ptr<Shared> shared = m_shared;
    const int flushTimeoutMs = m_flushTimeoutMs;
    connect(
        m_thread, &QThread::started, context,
        [context, settings, shared, flushTimeoutMs] {
            runTunnel(settings, shared, flushTimeoutMs);
            context->deleteLater();
        },
        Qt::ConnectionType(Qt::QueuedConnection | Qt::SingleShotConnection));
    // A thread quit before its event loop ran the call still frees the context.
    connect(m_thread, &QThread::finished, context, &QObject::deleteLater, Qt::DirectConnection);
    m_thread->start(QThread::InheritPriority);
    return true;
}

bool TunnelClient::stop()
{
    if (!m_thread->isRunning())
        return false;
    return stopThread();
}

bool TunnelClient::stopThread()
{
    m_shared->stopRequested.store(true);
    m_thread->quit();
    // The engine clears its own stop flag when its run begins; a stop that
    // lands just before that would be lost, so it is repeated until the
    // thread has ended (each call also waits 100 ms inside the engine).
    QDeadlineTimer deadline(m_stopWaitMs);
    do {
        m_engine.tunnelStop();
        if (m_thread->wait(QDeadlineTimer(qMin<qint64>(50, qMax<qint64>(0, deadline.remainingTime())))))
            return true;
    } while (!deadline.hasExpired());
    return m_thread->wait(QDeadlineTimer(0));
}

void TunnelClient::resetStats()
{
    m_engine.resetStats();
}

quint64 TunnelClient::bytesSent() const
{
    return isRunning() ? m_engine.bytesSent() : 0;
}

quint64 TunnelClient::bytesReceived() const
{
    return isRunning() ? m_engine.bytesReceived() : 0;
}

quint64 TunnelClient::txSent() const
{
    return isRunning() ? m_engine.txSent() : 0;
}

quint64 TunnelClient::txAcked() const
{
    return isRunning() ? m_engine.txAcked() : 0;
}

quint64 TunnelClient::txLost() const
{
    return isRunning() ? m_engine.txLost() : 0;
}

void TunnelClient::fillRuntimeConfig(TunnelRuntimeConfig *config, const RunSettings &s)
{
    copyCut(config->entry_host, s.serverAddress.toUtf8(), QUORLIX_HOST_LEN - 2);
    config->entry_port = s.serverPort;
    copyCut(config->game_profile, QByteArrayLiteral("custom"), QUORLIX_PROFILE_LEN - 1);
    config->enable_tcp = s.tcpEnabled ? 1 : 0;
    config->debug_mode = s.debugMode ? 1 : 0;
    config->mtu = uint32_t(s.mtu);

    const int udp = qMin(int(s.udpPorts.size()), QUORLIX_MAX_PORTS);
    config->udp_port_count = udp;
    for (int i = 0; i < udp; ++i)
        config->udp_ports[i] = uint32_t(s.udpPorts.at(i));
    const int tcp = qMin(int(s.tcpPorts.size()), QUORLIX_MAX_PORTS);
    config->tcp_port_count = tcp;
    for (int i = 0; i < tcp; ++i)
        config->tcp_ports[i] = uint32_t(s.tcpPorts.at(i));

    config->app_ip_count = 0;
    const int domains = qMin(int(s.domains.size()), QUORLIX_MAX_DOMAINS);
    config->app_domain_count = domains;
    for (int i = 0; i < domains; ++i)
        copyCut(config->app_domains[i], s.domains.at(i).toUtf8(), QUORLIX_DOMAIN_LEN - 1);
}

void TunnelClient::runTunnel(const std::shared_ptr<RunSettings> &settings,
                             const std::shared_ptr<Shared> &shared, int flushTimeoutMs)
{
    QDir::setCurrent(settings->workingDirectory);

    if (!settings->domains.isEmpty()) {
        // Old answers for the tunnelled domains would bypass the engine's DNS
        // snooping. The flush is bounded and ends early on a stop.
        SystemTools::ToolCommand flush = SystemTools::dnsFlushCommand();
        flush.timeoutMs = flushTimeoutMs;
        const SystemTools::ToolResult result = shared->runner->run(flush, &shared->stopRequested);
        if (result.status == SystemTools::ToolResult::Status::NotFound && flush.optional)
            qDebug().noquote() << "[Tunnel] no DNS cache to flush";
        else if (!result.succeeded())
            qDebug().noquote() << "[Tunnel] DNS flush:" << SystemTools::statusName(result.status)
                               << result.exitCode << result.errorText;
    }

    if (shared->stopRequested.load())
        return;

    auto *config = static_cast<TunnelRuntimeConfig *>(std::calloc(1, sizeof(TunnelRuntimeConfig)));
    if (!config)
        return;
    TunnelClient::fillRuntimeConfig(config, *settings);
    shared->engine.setRuntimeConfig(config);
    shared->engine.setMtuSafe(settings->mtu);
    std::free(config);
    shared->engine.resetStats();
    shared->engine.tunnelMain();
}
