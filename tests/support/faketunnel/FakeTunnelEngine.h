#pragma once
// A scripted stand-in for the PC tunnel engine's exports, for TunnelClient
// tests. Its main function behaves like the real one where it matters: it
// clears its stop flag when its run begins (after a configurable start-up
// time) and blocks until stopped.

#include "engine/qt/TunnelEngineApi.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <atomic>

class QThread;

namespace FakeTunnelEngine {

struct Controls
{
    std::atomic<int> startupMs{0};        // time before the run clears its stop flag
    std::atomic<bool> failStartup{false}; // main returns 1 at once
    std::atomic<bool> ignoreStops{false}; // a stuck engine: stops do not end the run
    std::atomic<uint64_t> bytesSent{0}, bytesReceived{0}, txSent{0}, txAcked{0}, txLost{0};
};

struct Record
{
    std::atomic<int> mainsEntered{0};
    std::atomic<int> mainsReturned{0};
    std::atomic<int> stops{0};
    std::atomic<int> configs{0};
    std::atomic<int> resets{0};
    std::atomic<int> lastMtuSafe{0};
    std::atomic<QThread *> mainThread{nullptr}; // the thread the last run's main ran on
};

Controls &controls();
Record &record();
void reset();
TunnelEngineApi api();

// The calls in order ("config", "mtu", "reset", "main", "stop"), and the last
// record handed over (a full copy).
QStringList calls();
QByteArray lastConfig();
QString mainWorkingDirectory();

} // namespace FakeTunnelEngine
