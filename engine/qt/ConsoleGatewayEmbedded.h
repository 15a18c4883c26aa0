#pragma once
// The GUI side's owner of the console gateway engine: start checks the
// request and runs the engine's blocking main on a worker thread; stop asks
// the engine to end and joins the worker. What happens on the worker reaches
// the owner's thread only as queued calls (log lines, `started`, `stopped`
// with the engine's exit code), dropped once the owner is gone.

#include "engine/qt/ConsoleGatewayEngineApi.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class ConsoleGatewayEmbedded : public QObject
{
    Q_OBJECT
public:
    // Creates the worker thread for a body; throws std::system_error when the
    // thread cannot be created, as std::thread does.
    using ThreadLauncher = std::function<std::thread(std::function<void()> body)>;

    explicit ConsoleGatewayEmbedded(QObject *parent = nullptr);
    // With another engine (tests).
    explicit ConsoleGatewayEmbedded(const ConsoleGatewayEngineApi &engine, QObject *parent = nullptr);
    ~ConsoleGatewayEmbedded() override;

    // Starts a run on the worker: true, or false after `errorOccurred` when a
    // run is active or the address or port is unusable, or the worker cannot
    // be created. The port lists are in the console port list syntax
    // ("3074,3478-3480").
    bool start(const QString &serverIp, int port, const QString &profile, const QString &udpPorts,
               const QString &tcpPorts, bool tunnelAll);
    // Ends the run and joins the worker; may wait about 2 s for the engine's
    // own clean-up.
    void stop();
    // True from a successful start until the engine's main has returned or stop.
    bool isRunning() const { return m_running.load(); }

    // Tests replace how the worker thread is created.
    void setThreadLauncher(ThreadLauncher launcher) { m_launcher = std::move(launcher); }

signals:
    void started();
    void stopped(int exitCode);
    void errorOccurred(const QString &message);

private:
    // What one run is started with; owned by the worker.
    struct WorkerArgs
    {
        ConsoleGatewayEmbedded *owner;
        std::string serverIp;
        std::string port;
        std::string profile;
        std::string udpPorts;
        std::string tcpPorts;
        bool tunnelAll;
    };

    static void threadEntry(WorkerArgs *args);
    void runGateway(const WorkerArgs &args);
    void joinWorker();

    // Runs fn on the owner's thread, after the calls posted before it. What
    // a call carries goes through a queue under a std::mutex, not through
    // the functor of a queued call: Qt's event queue is locked inside Qt,
    // where ThreadSanitizer cannot see the hand-off.
    void postToOwner(std::function<void()> fn);
    Q_INVOKABLE void runPostedCalls();

    void notifyStarted(const QString &serverIp, const QString &port);
    void logRuntimeConfigSet();
    void logMainReturned(int rc);
    void notifyStopped(int rc);

    ConsoleGatewayEngineApi m_engine;
    ThreadLauncher m_launcher;
    std::atomic<bool> m_running{false};
    std::thread m_worker;
    std::mutex m_postedLock;
    std::vector<std::function<void()>> m_posted;
};
