#pragma once
// A scripted stand-in for the console gateway engine's entry points, for
// ConsoleGatewayEmbedded tests. Its run state follows the real engine's: arm
// before the thread starts, a stop while armed or running ends the run, and a
// main that finds the stop already requested returns 0 at once.

#include "engine/qt/ConsoleGatewayEngineApi.h"

#include <QString>
#include <QStringList>

#include <atomic>

namespace FakeConsoleGateway {

struct Controls
{
    std::atomic<int> configDelayMs{0};    // the runtime setter takes this long
    std::atomic<bool> failStartup{false}; // main returns 1 at once (no driver)
};

// What the runtime setter was given last.
struct Config
{
    QString serverIp;
    QString profile;
    QString udpPorts;
    QString tcpPorts;
    int port = 0;
    int tunnelAll = 0;
};

struct Record
{
    std::atomic<int> arms{0};
    std::atomic<int> configs{0};
    std::atomic<int> mainsEntered{0}; // mains that began a run
    std::atomic<int> mainsReturned{0};
    std::atomic<int> stops{0};
};

Controls &controls();
Record &record();
void reset();
ConsoleGatewayEngineApi api();

// The calls in order ("arm", "config", "main", "stop"), the last runtime
// settings, the last main's arguments, and whether a run is inside main now.
QStringList calls();
Config lastConfig();
QStringList lastArguments();
bool inMain();

} // namespace FakeConsoleGateway
