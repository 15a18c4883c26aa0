#pragma once
// Proves that a freshly started tunnel carries traffic both ways: the chat
// service's domain is in the tunnel's domain list, so the engine sends its
// lookup through the relay, and an answer that comes back means the route
// works. One verification belongs to one connect attempt; every lookup of it
// shares a single retry.

#include "platform/ProcessRunner.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <functional>

class DnsVerifier : public QObject
{
    Q_OBJECT
public:
    struct Intervals
    {
        int lookupTimeoutMs = 4000;
        int retryDelayMs = 600;
    };
    // True while the tunnel's thread runs (TunnelClient::isRunning).
    using TunnelCheck = std::function<bool()>;

    DnsVerifier(SystemTools::ProcessRunner *runner, TunnelCheck tunnelRunning, const QString &domain,
                QObject *parent = nullptr);
    ~DnsVerifier() override;

    void setIntervals(const Intervals &intervals) { m_intervals = intervals; }
    // Ask this resolver (an IPv4 literal, optionally on another port) instead
    // of the system's.
    void setServer(const QString &server, int port = 0);

    // Runs one lookup; a failed or timed-out one is retried once. The outcome
    // comes as `verified` or `failed`, at most once, never from inside this call
    // except for the "Tunnel is not running" refusal.
    void verify();
    // The user stopped the attempt: the running lookup is killed and nothing
    // is reported from now on.
    void cancel();

    bool isVerified() const { return m_verified; }
    bool isFinished() const { return m_finished; }
    bool isCancelled() const { return m_cancelled; }
    bool isBusy() const { return m_job || m_retryTimer.isActive(); }
    int retriesUsed() const { return m_retries; }
    QString domain() const { return m_domain; }

    // A lookup answered with an address: exit code 0, no time-out, and an
    // "Address:"/"Addresses:" line with a value after a "Name:" line (the
    // server header has an "Address:" line of its own, so that alone is not
    // an answer).
    static bool lookupSucceeded(int exitCode, const QString &output);

    // The chat service's domain that every PC connection tunnels and checks.
    static QString chatDomain();
    static QString failureMessage();

signals:
    void verified();
    void failed(const QString &reason, const QString &message);

private:
    void lookup();
    void onLookupResult(const SystemTools::ToolResult &result);
    void retryOrFail(const QString &reason);
    void fail(const QString &reason);

    SystemTools::ProcessRunner *m_runner;
    TunnelCheck m_tunnelRunning;
    QString m_domain;
    QString m_server;
    int m_port = 0;
    Intervals m_intervals;
    QPointer<SystemTools::ToolJob> m_job;
    QTimer m_retryTimer;
    int m_retries = 0;
    bool m_verified = false;
    bool m_finished = false; // an outcome was reported
    bool m_cancelled = false;
};
