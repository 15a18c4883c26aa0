#pragma once
// Turns one press of the connect button into a running, verified relay
// connection for a PC game, and tears it down again: relay choice, ports and
// domains, path-MTU probe, tunnel start, a DNS check through the tunnel, then
// the play session or a failover to the next relay. Everything runs on the
// GUI thread as a chain of callbacks, timers and child processes; no step
// waits for the network. The controller has no widgets: it reports the
// button state, status texts, refusals and the connection clock by signals,
// and the window shows them.

#include "connection/ConnectStatus.h"
#include "connection/DnsVerifier.h"
#include "connection/GamePorts.h"
#include "connection/RelayChoice.h"
#include "engine/qt/TunnelClient.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVariantMap>

#include <functional>
#include <memory>

class MtuProbe;
class SessionManager;

// What the flow does with the PC tunnel (TunnelClient, or a fake in tests).
class TunnelControl
{
public:
    virtual ~TunnelControl() = default;
    virtual void stop() = 0;
    virtual void resetStats() = 0;
    virtual void setWorkingDirectory(const QString &directory) = 0;
    virtual void setServer(const QString &address, int port) = 0;
    virtual void setDomains(const QStringList &domains) = 0;
    virtual void setPorts(const QList<int> &udp, const QList<int> &tcp, bool tcpEnabled) = 0;
    virtual void setMtu(int mtu) = 0;
    virtual void setDebugMode(bool enabled) = 0;
    virtual bool start() = 0;
    virtual bool isRunning() const = 0;
};

class TunnelClientControl : public TunnelControl
{
public:
    explicit TunnelClientControl(TunnelClient *client) : m_client(client) {}
    void stop() override;
    void resetStats() override;
    void setWorkingDirectory(const QString &directory) override;
    void setServer(const QString &address, int port) override;
    void setDomains(const QStringList &domains) override;
    void setPorts(const QList<int> &udp, const QList<int> &tcp, bool tcpEnabled) override;
    void setMtu(int mtu) override;
    void setDebugMode(bool enabled) override;
    bool start() override;
    bool isRunning() const override;

private:
    QPointer<TunnelClient> m_client;
};

// The record of one press: every asynchronous step holds its attempt, and a
// cancelled or replaced attempt's late completions start nothing.
struct ConnectAttempt
{
    int serial = 0;
    int dnsRetries = 0;
    bool verified = false;
    bool finished = false;  // success reported; at most once
    bool cancelled = false; // stopped by the user
    QString address;
    int port = RelayChoice::kDefaultRelayPort;
    QString title;
    QString logo;
    QVariantMap meta;
    GamePorts::PcTraffic traffic;
    quint64 mtuProbeId = 0;         // the running probe, 0 when none
    QPointer<QTimer> verifyTimer;   // the pause between tunnel start and DNS check
    QPointer<DnsVerifier> dnsCheck; // the running DNS check (its lookup and timers)
};

// Which engine a connection runs, recorded when it starts, so a stop ends
// that engine whatever game is selected by then.
enum class ConnectionKind { None, Pc, Console };

// A stopwatch with QElapsedTimer's calls whose time source can be replaced,
// so the connecting seconds and the connection clock can be driven in tests.
class FlowStopwatch
{
public:
    using Source = std::function<qint64()>; // monotonic milliseconds

    void setSource(Source source) { m_source = std::move(source); }
    void restart() { m_start = now(); }
    void invalidate() { m_start = -1; }
    bool isValid() const { return m_start >= 0; }
    // Milliseconds since the last restart; 0 when never started.
    qint64 elapsed() const { return isValid() ? now() - m_start : 0; }

private:
    qint64 now() const;

    Source m_source;
    qint64 m_start = -1;
};

// The flow's shared state, one per window. The window owns it; the flow's
// callbacks reach it only through the controller, the connection page's
// display reads the clocks and writes the dots and the last shown second.
struct ConnectFlowState
{
    bool connecting = false;
    bool connected = false; // true exactly in button state 2
    int attemptSerial = 0;
    std::shared_ptr<ConnectAttempt> currentAttempt;
    RelayChoice::FailoverList failover;
    ConnectionKind kind = ConnectionKind::None;
    FlowStopwatch connectedClock;
    qint64 lastShownSecond = -1;
    FlowStopwatch connectingClock;
    int connectingDots = 0;

    // The game the running or starting connection is for; empty when none
    // runs (a failover waiting to retry still counts as running).
    QString connectionGame() const
    {
        const bool busy = connecting || connected || kind != ConnectionKind::None;
        return busy && currentAttempt ? currentAttempt->title.trimmed() : QString();
    }

    // Both clocks read `source` from now on.
    void setClock(const FlowStopwatch::Source &source)
    {
        connectedClock.setSource(source);
        connectingClock.setSource(source);
    }
};

// The relay the live ping measures: the running PC connection's, else the
// one `selected` gives (the stored selected relay). Opening another game
// while connected stores that game's choice as the selected relay.
std::function<QString()> runningRelayAddress(std::shared_ptr<ConnectFlowState> state,
                                             std::function<QString()> selected);

class ConnectFlow : public ConnectStatus
{
    Q_OBJECT
public:
    struct Intervals
    {
        int failoverRetryMs = 250;
        int verifyDelayMs = 800;
        int noServerTextMs = 1400;
        int failureDisplayMs = 1500;
        int noPortsTextMs = 1600;
    };

    // The route-cache rows the final failure drops.
    struct RouteCache
    {
        std::function<QString(const QString &title)> gameId; // empty: not stored
        std::function<QVariantMap(const QString &gameId, const QString &region, const QString &fingerprint)>
            row;
        std::function<void(const QString &cacheKey)> remove;
    };

    using DnsVerifierFactory =
        std::function<DnsVerifier *(DnsVerifier::TunnelCheck tunnelRunning, QObject *parent)>;

    struct Services
    {
        TunnelControl *tunnel = nullptr;            // null: the PC branch refuses
        std::shared_ptr<TunnelControl> ownedTunnel; // keeps `tunnel` alive when the flow made it
        MtuProbe *mtuProbe = nullptr;
        SessionManager *sessions = nullptr;
        RelayChoice::Sources relays;
        RelayChoice::SelectedRelayStore *relayStore = nullptr; // null: automatic mode
        std::function<QString()> gameTitle;
        std::function<QString()> gameLogo;
        std::function<QVariantMap(const QString &title)> findGameMeta;
        std::function<GamePorts::TrafficTokens(const QString &title, const QVariantMap &meta)> gameTraffic;
        std::function<bool(const QString &title)> isConsoleGame; // unset: every game is a PC game
        DnsVerifierFactory makeDnsVerifier;
        RouteCache routeCache;
        std::function<QString()> networkFingerprint;
        QString workingDirectory;
    };

    // Everything but the tunnel, the probe and the sessions read from the
    // client's own stores (database, settings, interfaces, system tools).
    static Services defaultServices(TunnelClient *tunnel, MtuProbe *probe, SessionManager *sessions);

    ConnectFlow(const Services &services, std::shared_ptr<ConnectFlowState> state, QObject *parent = nullptr);
    ~ConnectFlow() override;

    void setIntervals(const Intervals &intervals) { m_intervals = intervals; }
    const ConnectFlowState &state() const { return *m_state; }
    // The state as the window holds it (the same cells the flow writes);
    // the console path shares it too.
    std::shared_ptr<ConnectFlowState> sharedState() const { return m_state; }

    // The connect button: a stop while connecting, connected or waiting to
    // retry on the next relay, otherwise a start. A press for another game
    // than the one being connected (the page shows that game idle) stops the
    // running connection and connects the selected game in its place.
    void press();
    void startConnect();
    void stopConnection();
    // The attempt's steps (public for the window's adapters).
    void onMtuProbed(const std::shared_ptr<ConnectAttempt> &attempt, int mtu);
    void onConnectVerified(const std::shared_ptr<ConnectAttempt> &attempt);
    void failoverToNextServer(const std::shared_ptr<ConnectAttempt> &attempt, const QString &reason,
                              const QString &message);
    // The DNS check of the attempt, run 800 ms after its tunnel started.
    void verifyDns(const std::shared_ptr<ConnectAttempt> &attempt);

    bool isFailoverPending() const { return m_retryTimer.isActive(); }
    static QString failureMessage();

signals:
    // (The button, animation, refusal, clock and relay signals are ConnectStatus's.)
    // Final failure: the status shows `message`, the clock label hides.
    void failureShown(const QString &message);
    // A console title: the console path takes over with the chosen relay.
    void consoleConnectRequested(const QString &address, int port, const QString &title,
                                 const QVariantMap &meta);
    // Stop of a running console connection.
    void consoleStopRequested(bool wasConnecting);

private:
    bool automaticMode() const;
    void applyButtonState(ButtonState state);
    void setConnectingAnimation(bool running);
    void showRefusal(const QString &text, int ms);
    // A failover retry that cannot start its attempt ends the connection.
    void endFailedRetry();
    void cancelAttempt(const std::shared_ptr<ConnectAttempt> &attempt);
    void dropRouteCacheRow(const QString &title);
    bool isCurrent(const std::shared_ptr<ConnectAttempt> &attempt) const;

    Services m_services;
    std::shared_ptr<ConnectFlowState> m_state;
    Intervals m_intervals;
    QTimer m_retryTimer;     // failover retry
    QTimer m_failureTimer;   // failure display
    QTimer m_refusalTimer;   // button text reset
    bool m_retrying = false; // startConnect runs from the failover retry
    // The game of the attempt that failed over: the retry carries on with it
    // whatever game is selected by then.
    QString m_retryTitle;
    QString m_retryLogo;
};
