#include "engine/tunnel/tunnel_mtu.h"

#include "engine/common/engine_log.h"

TunnelMtuState g_tunnel_mtu{
    {TUNNEL_MTU_INITIAL}, TUNNEL_MTU_MIN, TUNNEL_MTU_INITIAL, TUNNEL_MTU_PROBE_INTERVAL_MS, 0, 0};

int tunnel_mtu_set_safe(int value)
{
    if (value < TUNNEL_MTU_MIN || value > TUNNEL_MTU_MAX)
        return 0;
    g_tunnel_mtu.safe_mtu.store(value, std::memory_order_relaxed);
    return 1;
}

int tunnel_mtu_size_test(uint32_t header_len, uint32_t inner_len)
{
    TunnelMtuState &m = g_tunnel_mtu;
    int safe = m.safe_mtu.load(std::memory_order_relaxed);
    uint64_t total = static_cast<uint64_t>(header_len) + inner_len;
    if (safe > 0 && total <= static_cast<uint64_t>(safe)) {
        if (m.failure_count > 0)
            --m.failure_count;
        return 1;
    }
    // Counted, and the probe waits until it is paid back, but it never lowers
    // the safe MTU: the packet was never sent, so it says nothing about the
    // path, only that it is too big for the tunnel. Stepping down on such
    // packets took the safe MTU from 1400 to the floor within seconds of a
    // bulk TCP transfer whose segments did not fit, and then the game's
    // ordinary datagrams were refused too.
    ++m.failure_count;
    quorlix_log_verbose("[MTU-WARN] Packet size %u + %u exceeds safe MTU %u (failure count: %d)\n", inner_len,
                        header_len, static_cast<unsigned>(safe), m.failure_count);
    return 0;
}

void tunnel_mtu_reset_defaults(void)
{
    g_tunnel_mtu.safe_mtu.store(TUNNEL_MTU_INITIAL, std::memory_order_relaxed);
    g_tunnel_mtu.lower_bound = TUNNEL_MTU_MIN;
    g_tunnel_mtu.upper_bound = TUNNEL_MTU_INITIAL;
    g_tunnel_mtu.probe_interval_ms = TUNNEL_MTU_PROBE_INTERVAL_MS;
    g_tunnel_mtu.failure_count = 0;
    g_tunnel_mtu.last_probe_ms = 0;
}
