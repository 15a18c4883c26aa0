#pragma once
// The game's UDP and TCP port sets, which the loop reads on every packet.
//
// Lock rule: readers take no lock. Each set is one bit per port in words the
// loop reads atomically; writers hold the configuration lock (tunnel_run.h),
// build the new set aside and publish it word by word, so the loop never races
// a writer (it may see a set half old, half new for one packet, never a torn
// word).

#include "engine/tunnel/quorlix_tunnel.h"

#include <atomic>
#include <stdint.h>

// A UDP port count from here on means every port.
#define TUNNEL_CATCH_ALL_PORTS 60000

// Builds both port sets from the run's record at its start: UDP catch-all at
// 60000 or more (writes "[CONFIG] UDP: Catch-all mode enabled (all 65536
// ports)\n"), TCP set only when enable_tcp and without catch-all.
void tunnel_state_build_ports_at_start(const TunnelRuntimeConfig *cfg);

// One bit per port, word-atomic so the loop reads without a lock; inline,
// since every captured packet asks.
struct TunnelPortSet
{
    std::atomic<uint64_t> words[65536 / 64];
    std::atomic<int> count{0};
};
extern TunnelPortSet g_tunnel_udp_ports;
extern TunnelPortSet g_tunnel_tcp_ports;

inline bool tunnel_port_set_member(const TunnelPortSet &set, uint16_t port)
{
    return (set.words[port >> 6].load(std::memory_order_relaxed) >> (port & 63)) & 1u;
}
inline bool tunnel_udp_port_member(uint16_t port)
{
    return tunnel_port_set_member(g_tunnel_udp_ports, port);
}
inline bool tunnel_tcp_port_member(uint16_t port)
{
    return tunnel_port_set_member(g_tunnel_tcp_ports, port);
}
inline int tunnel_udp_port_count(void)
{
    return g_tunnel_udp_ports.count.load(std::memory_order_relaxed);
}
inline int tunnel_tcp_port_count(void)
{
    return g_tunnel_tcp_ports.count.load(std::memory_order_relaxed);
}

// Both sets from a record handed over during a run (catch-all for either set
// from 60000 ports). Caller holds the configuration lock.
void tunnel_ports_from_record_locked(const TunnelRuntimeConfig *cfg);

// Empties both sets (takes the configuration lock).
void tunnel_ports_reset_for_tests(void);
