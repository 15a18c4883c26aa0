#pragma once
// A stand-in for what the connect flow does with the PC tunnel: it records
// every call in order and "runs" from a successful start until a stop, so a
// flow can be driven to connected without an engine, a thread or the host's
// DNS cache.

#include "connection/ConnectFlow.h"

#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <QStringList>

class RecordingTunnel : public TunnelControl
{
public:
    void stop() override
    {
        calls << QStringLiteral("stop");
        running = false;
    }
    void resetStats() override { calls << QStringLiteral("resetStats"); }
    void setWorkingDirectory(const QString &directory) override
    {
        calls << QStringLiteral("setWorkingDirectory");
        workingDirectory = directory;
    }
    void setServer(const QString &address, int p) override
    {
        calls << QStringLiteral("setServer");
        server = address;
        port = p;
        servers << address;
    }
    void setDomains(const QStringList &d) override
    {
        calls << QStringLiteral("setDomains");
        domains = d;
    }
    void setPorts(const QList<int> &u, const QList<int> &t, bool enabled) override
    {
        calls << QStringLiteral("setPorts");
        udp = u;
        tcp = t;
        tcpEnabled = enabled;
    }
    void setMtu(int m) override
    {
        calls << QStringLiteral("setMtu");
        mtu = m;
    }
    void setDebugMode(bool enabled) override
    {
        calls << QStringLiteral("setDebugMode");
        debug = enabled;
    }
    bool start() override
    {
        calls << QStringLiteral("start");
        ++starts;
        startedAt.start();
        running = startResult;
        return startResult;
    }
    bool isRunning() const override { return running; }

    QStringList calls;
    QStringList servers;
    QString workingDirectory, server, domainsText;
    QStringList domains;
    QList<int> udp, tcp;
    int port = 0, mtu = 0, starts = 0;
    bool tcpEnabled = false, debug = true, running = false, startResult = true;
    QElapsedTimer startedAt;
};
