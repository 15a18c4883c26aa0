#pragma once
// The GUI side's owner of the PC tunnel engine: it keeps the settings of the
// next run, runs the engine's blocking main function on a thread of its own,
// stops it, and passes the engine's counters on to the GUI thread. A running
// thread means a run was started and not yet stopped, not that the tunnel
// works; the connect flow's DNS check finds a dead tunnel.

#include "engine/qt/TunnelEngineApi.h"
#include "platform/ProcessRunner.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <memory>

class QThread;

class TunnelClient : public QObject
{
    Q_OBJECT
public:
    // The MTU a run starts with when nothing measured it.
    static constexpr int kDefaultMtu = 1200;

    // Everything one run of the engine is started with.
    struct RunSettings
    {
        QString workingDirectory;
        QString serverAddress;
        int serverPort = 50000;
        QList<int> udpPorts;
        QList<int> tcpPorts;
        bool tcpEnabled = true;
        bool debugMode = true;
        QStringList domains;
        int mtu = kDefaultMtu;
    };

    explicit TunnelClient(QObject *parent = nullptr);
    // With another engine and tool runner (tests).
    TunnelClient(const TunnelEngineApi &engine, SystemTools::ProcessRunner *runner,
                 QObject *parent = nullptr);
    ~TunnelClient() override;

    void setWorkingDirectory(const QString &directory);
    void setServer(const QString &address, int port);
    void setPorts(const QList<int> &udpPorts, const QList<int> &tcpPorts, bool tcpEnabled);
    void setDebugMode(bool enabled);
    // Replaces the domain list with the given names trimmed and lower-cased;
    // names that come out empty are dropped.
    void setDomains(const QStringList &domains);
    // The MTU of the next run only; a run without its own setMtu uses kDefaultMtu.
    void setMtu(int mtu);

    // Starts a run on the tunnel thread; true. While the thread runs it does
    // nothing and returns true.
    bool start();
    // Stops the run and the thread; false when no thread ran, otherwise
    // whether the thread ended within the stop wait (3000 ms).
    bool stop();
    bool isRunning() const;

    void resetStats();
    // The engine's counters while the thread runs, otherwise 0.
    quint64 bytesSent() const;
    quint64 bytesReceived() const;
    quint64 txSent() const;
    quint64 txAcked() const;
    quint64 txLost() const;

    QStringList domains() const { return m_settings.domains; }

    // How long a DNS-cache flush may take before the run goes on without it
    // (default 5000 ms), and how long stop waits for the thread (3000 ms).
    void setDnsFlushTimeout(int ms) { m_flushTimeoutMs = ms; }
    void setStopWait(int ms) { m_stopWaitMs = ms; }

    // Fills a zeroed record from `settings` the way each run hands it to the
    // engine: the address cut to 254 bytes, at most 65536 ports per list, at
    // most 128 domains, each cut to 127 bytes.
    static void fillRuntimeConfig(TunnelRuntimeConfig *config, const RunSettings &settings);

private:
    struct Shared;
    bool stopThread();
    // On the tunnel thread: working directory, DNS flush, then the engine.
    static void runTunnel(const std::shared_ptr<RunSettings> &settings, const std::shared_ptr<Shared> &shared,
                          int flushTimeoutMs);

    TunnelEngineApi m_engine;
    SystemTools::ProcessRunner *m_runner;
    QThread *m_thread;
    QPointer<QObject> m_context; // lives in the tunnel thread while a run is pending
    std::shared_ptr<Shared> m_shared;
    RunSettings m_settings;
    bool m_mtuSet = false;
    int m_flushTimeoutMs = 5000;
    int m_stopWaitMs = 3000;
};
