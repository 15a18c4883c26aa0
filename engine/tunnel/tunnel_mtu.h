#pragma once
// The PC tunnel engine's safe MTU: the largest header + inner packet a
// datagram to a relay may carry (the outer IPv4/UDP headers are not counted).
//
// The values live for the whole process (a run starts from what the previous
// run and quorlix_set_mtu_safe left). tunnel_mtu_size_test refuses what does
// not fit; the periodic probe that creeps the safe MTU up lives with the
// capture loop and works on the same state.
//
// safe_mtu may be written from another thread (before a run starts); the rest
// belongs to the engine thread.

#include <atomic>
#include <stdint.h>

#define TUNNEL_MTU_INITIAL 1400
#define TUNNEL_MTU_MIN 576
#define TUNNEL_MTU_MAX 1500
#define TUNNEL_MTU_STEP 100
#define TUNNEL_MTU_PROBE_INTERVAL_MS 60000u

typedef struct TunnelMtuState
{
    std::atomic<int> safe_mtu;  // initial 1400
    int lower_bound;            // initial 576; the floor of quorlix.conf's mtu_min
    int upper_bound;            // initial 1400; the probe never raises safe_mtu above it
    uint32_t probe_interval_ms; // initial 60000
    int failure_count;          // oversized packets not yet paid back by good ones
    uint64_t last_probe_ms;     // quorlix_now_ms() of the last probe, 0 at load
} TunnelMtuState;

extern TunnelMtuState g_tunnel_mtu;

// Sets the safe MTU when value is within 576..1500 (returns 1); else ignores it
// (returns 0). Does not move the bounds.
int tunnel_mtu_set_safe(int value);

// Size test for a datagram about to be built. Returns 1 when header_len +
// inner_len fits the safe MTU (a pending failure is paid back), else counts a
// failure and returns 0. A refusal never lowers the safe MTU.
int tunnel_mtu_size_test(uint32_t header_len, uint32_t inner_len);

// Restores the values a freshly loaded process has. For tests.
void tunnel_mtu_reset_defaults(void);
