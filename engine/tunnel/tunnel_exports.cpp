// The exported read-outs of the PC tunnel engine and its two small switches.
// The functions that change configuration, mappings and learned addresses live
// beside the state they guard (tunnel_state.cpp).

#include "engine/common/engine_log.h"
#include "engine/tunnel/quorlix_tunnel.h"
#include "engine/tunnel/tunnel_ack.h"
#include "engine/tunnel/tunnel_loop.h"
#include "engine/tunnel/tunnel_mtu.h"
#include "engine/tunnel/tunnel_state.h"

extern "C" void quorlix_set_mtu_safe(int mtu)
{
    tunnel_mtu_set_safe(mtu);
}

extern "C" void quorlix_print_stats(void)
{
    quorlix_log("[STATS] Sent: %llu bytes, Received: %llu bytes\n",
                static_cast<unsigned long long>(quorlix_get_bytes_sent()),
                static_cast<unsigned long long>(quorlix_get_bytes_received()));
}

extern "C" uint64_t quorlix_get_capture_bypassed(void)
{
    return tunnel_loop_capture_bypassed();
}

extern "C" uint64_t quorlix_get_bytes_sent(void)
{
    return g_tunnel_counters.bytes_sent.load(std::memory_order_relaxed);
}

extern "C" uint64_t quorlix_get_bytes_received(void)
{
    return g_tunnel_counters.bytes_received.load(std::memory_order_relaxed);
}

extern "C" uint64_t quorlix_get_tunnel_packets_sent(void)
{
    return g_tunnel_counters.tunnel_packets_sent.load(std::memory_order_relaxed);
}

// Nothing advances this counter: the relays' datagrams are counted in
// bytes_received only. Kept so callers built against the interface still link.
extern "C" uint64_t quorlix_get_tunnel_packets_received(void)
{
    return g_tunnel_counters.tunnel_packets_received.load(std::memory_order_relaxed);
}

extern "C" uint64_t quorlix_get_tunnel_tx_sent(void)
{
    return tunnel_ack_tx_sent();
}

extern "C" uint64_t quorlix_get_tunnel_tx_acked(void)
{
    return tunnel_ack_tx_acked();
}

extern "C" uint64_t quorlix_get_tunnel_tx_lost(void)
{
    return tunnel_ack_tx_lost();
}
