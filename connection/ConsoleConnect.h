#pragma once
// The console side of the connect flow. Once ConnectFlow has chosen the relay
// for a console game it hands over here: the game's ports are checked, the
// relays' measured pings are looked up in the route cache (a hidden route
// analysis runs first when they are missing or more than a week old), and the
// console gateway is started with the first automatic relay. 900 ms later the
// gateway is either running (connected) or the attempt ends. There is no play
// session and no failover for a console. Shares ConnectFlow's state; reports
// to the window through the same kind of signals.

#include "connection/ConnectFlow.h"
#include "connection/ConnectStatus.h"
#include "connection/GamePorts.h"
#include "connection/RelayChoice.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVariantMap>

#include <functional>
#include <memory>

class ConsoleGatewayEmbedded;
class SessionManager;

// What the console path does with the console gateway (ConsoleGatewayEmbedded,
// or a fake in tests).
class ConsoleGatewayControl
{
public:
    virtual ~ConsoleGatewayControl() = default;
    virtual bool start(const QString &serverIp, int port, const QString &profile, const QString &udpPorts,
                       const QString &tcpPorts, bool tunnelAll) = 0;
    virtual void stop() = 0;
    virtual bool isRunning() const = 0;
};

class ConsoleGatewayEmbeddedControl : public ConsoleGatewayControl
{
public:
    explicit ConsoleGatewayEmbeddedControl(ConsoleGatewayEmbedded *gateway);
    bool start(const QString &serverIp, int port, const QString &profile, const QString &udpPorts,
               const QString &tcpPorts, bool tunnelAll) override;
    void stop() override;
    bool isRunning() const override;

private:
    QPointer<ConsoleGatewayEmbedded> m_gateway;
};

class ConsoleConnect : public ConnectStatus
{
    Q_OBJECT
public:
    static constexpr qint64 kUsableCacheSeconds = 604800;

    struct Intervals
    {
        int startCheckMs = 900;
        int noPortsTextMs = 1600;
    };

    // A game's record by its title.
    struct GameRecords
    {
        std::function<QString(const QString &name)> findGameIdByName;
        std::function<QVariantMap(const QString &id)> getGameById;
        // The cache database.
        static GameRecords database();
    };

    // The hidden route analysis (the window's sweep page): `start` runs it and
    // calls `finished` once when it ends; `hide` puts the page away.
    struct RouteSweep
    {
        std::function<void(std::function<void()> finished)> start;
        std::function<void()> hide;
    };

    struct Services
    {
        ConsoleGatewayControl *gateway = nullptr; // null: the console branch refuses
        std::shared_ptr<ConsoleGatewayControl> ownedGateway;
        RelayChoice::Sources relays;
        RelayChoice::SelectedRelayStore *relayStore = nullptr; // null: automatic mode
        GameRecords games;
        std::function<GamePorts::TrafficTokens(const QString &title, const QVariantMap &meta)> gameTraffic;
        // Route cache: the row of (game id, region, fingerprint), and storing one.
        std::function<QVariantMap(const QString &gameId, const QString &region, const QString &fingerprint)>
            routeCacheRow;
        std::function<bool(const QString &key, const QString &gameId, const QString &region,
                           const QString &fingerprint, const QString &pingsText, const QString &updatedAt)>
            saveRouteCache;
        std::function<QString()> networkFingerprint;
        // The sweep's results file as text (empty when it cannot be read).
        std::function<QString()> readPingsText;
        std::function<QDateTime()> nowUtc;
        // Ends a running play session (none is started for a console).
        std::function<void()> endActiveSession;
        RouteSweep sweep;
    };

    // The client's own stores for everything but the gateway and the sweep.
    static Services defaultServices(ConsoleGatewayEmbedded *gateway, SessionManager *sessions);

    ConsoleConnect(const Services &services, std::shared_ptr<ConnectFlowState> state,
                   QObject *parent = nullptr);
    ~ConsoleConnect() override;

    void setIntervals(const Intervals &intervals) { m_intervals = intervals; }
    // The window's sweep page joins after the controller is made.
    void setRouteSweep(const RouteSweep &sweep) { m_services.sweep = sweep; }
    const ConnectFlowState &state() const { return *m_state; }
    bool isSweepPending() const { return m_sweepToken != 0; }

    // The engine's profile name for a text: lower case, runs of other
    // characters as one "_", at most 48 characters, "console" when empty.
    static QString slugifyName(const QString &text);
    // A record is a console game by its category, or its platform when the
    // category is empty.
    static bool isConsoleRecord(const QVariantMap &record);
    static bool isConsoleGameTitle(const GameRecords &games, const QString &title);
    bool isConsoleGameTitle(const QString &title) const;
    // A route-cache row whose pings are at most a week old (and not dated in
    // the future).
    static bool routeCacheUsable(const QVariantMap &row, const QDateTime &nowUtc);

public slots:
    // ConnectFlow's hand-over: the chosen relay, the title and its record.
    void startConsoleBranch(const QString &address, int port, const QString &title, const QVariantMap &meta);
    // ConnectFlow's stop of a console connection.
    void stopConsole(bool wasConnecting);
    // The gateway's `stopped`.
    void gatewayStopped(int exitCode);
    // The console set-up overlay was shown or hidden.
    void setSetupShown(bool shown);

public:
    void startConsoleGateway(const QString &address, int port, const QString &title, const QStringList &udp,
                             const QStringList &tcp);
    void checkConsoleGatewayStarted();
    void startConsoleBoostAfterSweep(const QString &gameId, const QString &region, const QString &fingerprint,
                                     const QString &address, int port, const QString &title,
                                     const QStringList &udp, const QStringList &tcp);

signals:
    // (The button, animation, refusal, clock and relay signals are ConnectStatus's.)
    // The gateway's relay is on the card: `value` for "ServerRegionValue",
    // `modeText` ("Auto"/"Manual") and the country code when it is a known
    // relay, empty (left as they are) when it is not.
    void relayShown(const QString &value, const QString &modeText, const QString &countryCode);
    // The set-up overlay's spinner shows with `text` as its status line.
    void progressShown(const QString &text);
    // The set-up overlay's status line.
    void statusChanged(const QString &text);
    // The gateway could not start, or ended on its own: the overlay's
    // spinner stops and its status line shows `text`.
    void progressEnded(const QString &text);
    // Whether the console network is to be watched: while the set-up shows
    // or a console connection is being made or runs. Sent on changes.
    void consoleWatchWanted(bool wanted);

private:
    bool automaticMode() const;
    void applyButtonState(ButtonState state);
    void setConnectingAnimation(bool running);
    // Back to idle after a refusal or a failed start; `failed`: the
    // overlay shows the failure.
    void endAttempt(bool failed = true);
    void updateWatchWanted();

    Services m_services;
    std::shared_ptr<ConnectFlowState> m_state;
    Intervals m_intervals;
    QTimer m_refusalTimer;
    QTimer m_checkTimer;
    int m_runSerial = 0;      // gateway starts
    int m_connectedRun = 0;   // the run shown as connected, 0 when none
    quint64 m_sweepToken = 0; // the route analysis waited for, 0 when none
    quint64 m_nextSweepToken = 0;
    bool m_setupShown = false;
    bool m_watchWanted = false;
};
