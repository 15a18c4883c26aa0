#pragma once
// The PC tunnel engine's exports as TunnelClient calls them, gathered in one
// table so tests can put a scripted engine in place of the real one (which
// needs a capture device and a relay).

#include "engine/tunnel/quorlix_tunnel.h"

#include <cstdint>

struct TunnelEngineApi
{
    int (*tunnelMain)();
    void (*tunnelStop)();
    void (*setRuntimeConfig)(const TunnelRuntimeConfig *config);
    void (*setMtuSafe)(int mtu);
    void (*resetStats)();
    uint64_t (*bytesSent)();
    uint64_t (*bytesReceived)();
    uint64_t (*txSent)();
    uint64_t (*txAcked)();
    uint64_t (*txLost)();

    // The engine linked into this program.
    static TunnelEngineApi linked()
    {
        return {quorlix_tunnel_main,        quorlix_tunnel_stop,        quorlix_set_runtime_config,
                quorlix_set_mtu_safe,       quorlix_reset_stats,        quorlix_get_bytes_sent,
                quorlix_get_bytes_received, quorlix_get_tunnel_tx_sent, quorlix_get_tunnel_tx_acked,
                quorlix_get_tunnel_tx_lost};
    }
};
