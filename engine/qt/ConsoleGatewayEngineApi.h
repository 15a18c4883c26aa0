#pragma once
// The console gateway engine's entry points as ConsoleGatewayEmbedded calls
// them, gathered in one table so tests can put a scripted engine in place of
// the real one.

#include "engine/console/console_gateway.h"

struct ConsoleGatewayEngineApi
{
    void (*setRuntimeConfig)(const char *serverIp, const char *profile, const char *udpPortsText,
                             const char *tcpPortsText, int port, int tunnelAll);
    // Arms the next run before its thread starts, so a stop that comes before
    // main has begun still ends that run.
    void (*arm)();
    int (*main)(int argc, char **argv);
    void (*stop)();

    // The engine linked into this program.
    static ConsoleGatewayEngineApi linked()
    {
        return {console_gateway_set_runtime_config, console_gateway_arm, console_gateway_main,
                console_gateway_stop};
    }
};
