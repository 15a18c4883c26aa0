#include "engine/tunnel/tunnel_stats.h"

#include "engine/common/engine_log.h"
#include "engine/tunnel/quorlix_tunnel.h"
#include "engine/tunnel/tunnel_ack.h"
#include "engine/tunnel/tunnel_run.h"

TunnelCounters g_tunnel_counters;

namespace {
std::atomic<bool> g_ack_enabled{false};
} // namespace

extern "C" void quorlix_reset_stats(void)
{
    g_tunnel_counters.bytes_sent.store(0, std::memory_order_relaxed);
    g_tunnel_counters.bytes_received.store(0, std::memory_order_relaxed);
    g_tunnel_counters.tunnel_packets_sent.store(0, std::memory_order_relaxed);
    g_tunnel_counters.tunnel_packets_received.store(0, std::memory_order_relaxed);
    g_tunnel_counters.capture_bypassed.store(0, std::memory_order_relaxed);
    tunnel_run_reset_ack_state();
}

bool tunnel_verbose(void)
{
    return quorlix_log_is_verbose() != 0;
}

void tunnel_set_verbose(bool on)
{
    quorlix_log_set_verbose(on ? 1 : 0);
}

bool tunnel_ack_enabled(void)
{
    return g_ack_enabled.load(std::memory_order_relaxed);
}

extern "C" void quorlix_set_ack_enabled(int enabled)
{
    if (enabled == 0)
        g_ack_enabled.store(false);
    else if (tunnel_ack_relay_acknowledged())
        g_ack_enabled.store(true);
}

void tunnel_stats_reset_for_tests(void)
{
    g_tunnel_counters.bytes_sent.store(0);
    g_tunnel_counters.bytes_received.store(0);
    g_tunnel_counters.tunnel_packets_sent.store(0);
    g_tunnel_counters.tunnel_packets_received.store(0);
    g_tunnel_counters.capture_bypassed.store(0);
    quorlix_log_set_verbose(0);
    g_ack_enabled.store(false);
}
