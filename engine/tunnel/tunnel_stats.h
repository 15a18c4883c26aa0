#pragma once
// The engine's counters and run flags, and the statistics reset.
//
// Lock rule: the counters and flags are relaxed atomics, written by the engine
// thread (the counters) or the exported setters (the flags) and read anywhere
// without a lock. quorlix_reset_stats zeroes the counters at once; the
// acknowledgement slots it also resets go through the run state
// (tunnel_run.h), which takes the configuration lock.

#include <atomic>
#include <stdint.h>

struct TunnelCounters
{
    std::atomic<uint64_t> bytes_sent{0};
    std::atomic<uint64_t> bytes_received{0};
    std::atomic<uint64_t> tunnel_packets_sent{0};
    std::atomic<uint64_t> tunnel_packets_received{0};
    // What the capture let past uncaptured, counted for the capture handles
    // the run has given up (the one in use adds its own, tunnel_loop.h).
    std::atomic<uint64_t> capture_bypassed{0};
};
extern TunnelCounters g_tunnel_counters;

inline void tunnel_count_bytes_sent(uint64_t n)
{
    g_tunnel_counters.bytes_sent.fetch_add(n, std::memory_order_relaxed);
}
inline void tunnel_count_bytes_received(uint64_t n)
{
    g_tunnel_counters.bytes_received.fetch_add(n, std::memory_order_relaxed);
}
inline void tunnel_count_capture_bypassed(uint64_t n)
{
    g_tunnel_counters.capture_bypassed.fetch_add(n, std::memory_order_relaxed);
}
inline void tunnel_count_packet_sent(void)
{
    g_tunnel_counters.tunnel_packets_sent.fetch_add(1, std::memory_order_relaxed);
}

bool tunnel_verbose(void);
void tunnel_set_verbose(bool on);
bool tunnel_ack_enabled(void);

// Zeroes the counters and clears the verbose and acknowledgement flags.
void tunnel_stats_reset_for_tests(void);
