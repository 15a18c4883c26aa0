#pragma once
// Public C interface of the console gateway engine. Its owner (the Qt side's
// ConsoleGatewayEmbedded) hands over the settings of a run, arms the run,
// starts a thread that calls console_gateway_main, and ends the run from any
// thread with console_gateway_stop.
//
// The run state makes a stop that comes before main has begun count: the
// owner calls console_gateway_arm before it starts the thread; a stop after
// that (and before main returns) ends the run, and a main that finds the stop
// already requested returns 0 at once without touching the driver.
//
//   idle --arm--> armed --main--> running --stop--> stop requested --main ends--> idle
//                   \--stop--> stop requested --main--> idle (returns 0 at once)
//
// A stop while idle does nothing. All engine output is log lines on standard
// output and standard error (engine/common/engine_log.h can redirect them).

#include <stdint.h>

#if defined(__GNUC__)
#define QUORLIX_CONSOLE_API __attribute__((visibility("default")))
#else
#define QUORLIX_CONSOLE_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

enum ConsoleGatewayRunState {
    CONSOLE_GATEWAY_IDLE = 0,
    CONSOLE_GATEWAY_ARMED = 1,
    CONSOLE_GATEWAY_RUNNING = 2,
    CONSOLE_GATEWAY_STOP_REQUESTED = 3,
};

// The settings of the next run; call it before console_gateway_main. A
// non-empty serverIp (a dotted IPv4 address) and profile replace the current
// ones, a port whose low 16 bits are not 0 replaces the relay port; the port
// texts ("3074,3478-3480 ...") are kept whole and replace both port sets (an
// absent or empty text gives an empty set). Once called, the engine never
// reads "quorlix.conf" again in this process.
QUORLIX_CONSOLE_API void console_gateway_set_runtime_config(const char *serverIp, const char *profile,
                                                            const char *udpPortsText,
                                                            const char *tcpPortsText, int port,
                                                            int tunnelAll);

// Arms the next run (idle or a pending stop -> armed). Call it before starting
// the thread that runs console_gateway_main.
QUORLIX_CONSOLE_API void console_gateway_arm(void);

// Runs the gateway on the calling thread until stopped. argv[1..3]: relay
// address, relay port, profile, each optional from the end. Returns 0 after a
// run that was stopped (or a stop that came first), 1 when the start failed.
QUORLIX_CONSOLE_API int console_gateway_main(int argc, char **argv);

// Ends the armed or running run; safe from any thread, any number of times.
QUORLIX_CONSOLE_API void console_gateway_stop(void);

// The current ConsoleGatewayRunState.
QUORLIX_CONSOLE_API int console_gateway_run_state(void);

#ifdef __cplusplus
}
#endif
