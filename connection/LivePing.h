#pragma once
// While a PC game is connected: the estimated ping to the selected relay,
// measured with the system's ping once a second (one run at a time), and the
// packet loss through the tunnel, computed from the engine's acknowledgement
// counters relative to their values when the connection came up. Both only
// report values; the connection page shows them.

#include "connection/PingOutput.h"
#include "engine/qt/TunnelClient.h"
#include "platform/ProcessRunner.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <functional>

class SessionManager;

class LivePing : public QObject
{
    Q_OBJECT
public:
    using AddressSource = std::function<QString()>; // the relay address ("server/ip")

    LivePing(SystemTools::ProcessRunner *runner, AddressSource address, QObject *parent = nullptr);

    void setTickInterval(int ms) { m_timer.setInterval(ms); }
    // Ping samples above 0 go to the active session.
    void setSessionManager(SessionManager *sessions);

    // One measurement at once, then one per tick.
    void start();
    // Stops the ticks, kills a running ping and shows 0.
    void reset();
    // One measurement; nothing when the previous one still runs.
    void measure();

    bool isTicking() const { return m_timer.isActive(); }
    bool isMeasuring() const { return !m_job.isNull(); }

signals:
    // Every shown value (0 when unknown).
    void pingChanged(int ms);
    void pingMeasured(int ms, double jitter);

private:
    void onResult(const SystemTools::ToolResult &result);
    void show(int ms);

    SystemTools::ProcessRunner *m_runner;
    AddressSource m_address;
    QPointer<SessionManager> m_sessions;
    QTimer m_timer;
    QPointer<SystemTools::ToolJob> m_job;
};

class PacketLossMeter : public QObject
{
    Q_OBJECT
public:
    using Clock = std::function<qint64()>; // milliseconds since the epoch

    explicit PacketLossMeter(TunnelClient *client, QObject *parent = nullptr);

    void setTickInterval(int ms) { m_timer.setInterval(ms); }
    // How long after the start the loss reads "0%" whatever the counters say.
    void setGraceMs(int ms) { m_graceMs = ms; }
    void setClock(Clock clock) { m_clock = std::move(clock); }

    // Takes the baselines, starts the ticks and shows "0%"; nothing while
    // already sampling.
    void startSampling();
    // Stops the ticks, clears the baselines and shows "0%".
    void reset();
    // One tick.
    void update();

    bool isSampling() const { return m_timer.isActive(); }

    // "N%" from at least 20 counted packets, else "--%" when any was lost,
    // else "0%". Counters below their baseline count as no change.
    static QString lossText(quint64 acked, quint64 lost, quint64 ackedBaseline, quint64 lostBaseline);

signals:
    void lossChanged(const QString &text);

private:
    void show(const QString &text);

    QPointer<TunnelClient> m_client;
    QTimer m_timer;
    Clock m_clock;
    int m_graceMs = 3000;
    quint64 m_ackedBaseline = 0;
    quint64 m_lostBaseline = 0;
    qint64 m_graceDeadline = 0;
};
