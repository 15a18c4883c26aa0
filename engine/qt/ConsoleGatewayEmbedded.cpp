#include "engine/qt/ConsoleGatewayEmbedded.h"

#include <QDebug>
#include <QMetaObject>
#include <QPointer>

#include <cstdlib>
#include <memory>
#include <system_error>
#include <vector>

ConsoleGatewayEmbedded::ConsoleGatewayEmbedded(QObject *parent)
    : ConsoleGatewayEmbedded(ConsoleGatewayEngineApi::linked(), parent)
{}

ConsoleGatewayEmbedded::ConsoleGatewayEmbedded(const ConsoleGatewayEngineApi &engine, QObject *parent)
    : QObject(parent), m_engine(engine),
      m_launcher([](std::function<void()> body) { return std::thread(std::move(body)); })
{}

ConsoleGatewayEmbedded::~ConsoleGatewayEmbedded()
{
    // The worker calls back into this object: it must be gone before the
    // object is.
    stop();
}

bool ConsoleGatewayEmbedded::start(const QString &serverIp, int port, const QString &profile,
                                   const QString &udpPorts, const QString &tcpPorts, bool tunnelAll)
{
    QString message;
    const QString address = serverIp.trimmed();
    if (m_running.load())
        message = QStringLiteral("Console gateway is already running");
    else if (address.isEmpty() || port < 1 || port > 65535)
        message = QStringLiteral("Invalid server IP/port for console gateway");
    if (!message.isEmpty()) {
        emit errorOccurred(message);
        return false;
    }

    // A run that ended on its own leaves its worker attached until someone
    // joins it; replacing a joinable std::thread would end the process.
    joinWorker();

    QString runProfile = profile.trimmed();
    if (runProfile.isEmpty())
        runProfile = QStringLiteral("custom");

    // The address the engine gets is the one that was checked.
    auto args = std::make_unique<WorkerArgs>(
        WorkerArgs{this, address.toStdString(), std::to_string(port), runProfile.toStdString(),
                   udpPorts.trimmed().toStdString(), tcpPorts.trimmed().toStdString(), tunnelAll});

    m_running.store(true);
    // Armed before the worker exists: a stop from now on ends this run, even
    // one that comes before the engine's main has begun.
    m_engine.arm();
    WorkerArgs *raw = args.get();
    try {
        m_worker = m_launcher([raw] { threadEntry(raw); });
    } catch (const std::system_error &e) {
        m_running.store(false);
        m_engine.stop(); // disarm
        qWarning().noquote() << "[ConsoleGW] Worker thread could not be created:" << e.what();
        emit errorOccurred(QStringLiteral("Failed to start console gateway thread"));
        return false;
    }
    args.release(); // the worker owns it now
    return true;
}

void ConsoleGatewayEmbedded::stop()
{
    if (m_running.exchange(false))
        m_engine.stop();
    joinWorker();
}

void ConsoleGatewayEmbedded::joinWorker()
{
    if (m_worker.joinable())
        m_worker.join();
    m_worker = std::thread();
}

void ConsoleGatewayEmbedded::threadEntry(WorkerArgs *args)
{
    std::unique_ptr<WorkerArgs> owned(args);
    owned->owner->runGateway(*owned);
}

void ConsoleGatewayEmbedded::runGateway(const WorkerArgs &args)
{
    const QString serverIp = QString::fromStdString(args.serverIp);
    const QString portText = QString::fromStdString(args.port);
    postToOwner([this, serverIp, portText] { notifyStarted(serverIp, portText); });

    m_engine.setRuntimeConfig(args.serverIp.c_str(), args.profile.c_str(), args.udpPorts.c_str(),
                              args.tcpPorts.c_str(), int(std::strtol(args.port.c_str(), nullptr, 10)),
                              args.tunnelAll ? 1 : 0);
    postToOwner([this] { logRuntimeConfigSet(); });

    // main may keep pointers into its arguments for the whole run: these
    // copies live until it returns.
    std::string program = "quorlix_console_gateway";
    std::string relay = args.serverIp;
    std::string port = args.port;
    std::string profile = args.profile;
    std::vector<char *> argv = {program.data(), relay.data(), port.data(), profile.data(), nullptr};
    const int rc = m_engine.main(4, argv.data());

    postToOwner([this, rc] { logMainReturned(rc); });
    m_running.exchange(false);
    postToOwner([this, rc] { notifyStopped(rc); });
}

void ConsoleGatewayEmbedded::postToOwner(std::function<void()> fn)
{
    {
        std::lock_guard<std::mutex> lock(m_postedLock);
        m_posted.push_back(std::move(fn));
    }
    QMetaObject::invokeMethod(this, "runPostedCalls", Qt::QueuedConnection);
}

void ConsoleGatewayEmbedded::runPostedCalls()
{
    std::vector<std::function<void()>> calls;
    {
        std::lock_guard<std::mutex> lock(m_postedLock);
        calls.swap(m_posted);
    }
    // A handler of `stopped` may delete the owner; what is left then goes
    // with it, as queued calls to a deleted object do.
    const QPointer<ConsoleGatewayEmbedded> self(this);
    for (const auto &call : calls) {
        if (!self)
            return;
        call();
    }
}

void ConsoleGatewayEmbedded::notifyStarted(const QString &serverIp, const QString &port)
{
    qDebug().noquote() << "[ConsoleGW] Thread started, server:" << serverIp << ":" << port;
    emit started();
}

void ConsoleGatewayEmbedded::logRuntimeConfigSet()
{
    qDebug().noquote() << "[ConsoleGW] Runtime config set, starting main()...";
}

void ConsoleGatewayEmbedded::logMainReturned(int rc)
{
    qDebug().noquote() << "[ConsoleGW] main() returned rc:" << rc;
}

void ConsoleGatewayEmbedded::notifyStopped(int rc)
{
    emit stopped(rc);
}
