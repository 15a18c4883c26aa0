// The periodic MTU probe: the safe MTU creeps back up by 100 bytes per probe
// interval while no oversized packet is pending, up to the upper bound. No
// packet is sent for it; the following traffic tries the larger size and the
// size test (tunnel_mtu.h) steps it down again when it fails.

#include "engine/common/engine_log.h"
#include "engine/tunnel/tunnel_loop.h"
#include "engine/tunnel/tunnel_mtu.h"

namespace {
const uint64_t kNever = ~uint64_t(0);
// When the last probe ran; "never" at load so the first pass probes whatever
// the clock reads.
uint64_t g_lastProbe = kNever;
} // namespace

void tunnel_mtu_probe(uint64_t now)
{
    const uint64_t interval = g_tunnel_mtu.probe_interval_ms;
    if (g_lastProbe != kNever && (now < g_lastProbe || now - g_lastProbe < interval))
        return;
    g_lastProbe = now;
    g_tunnel_mtu.last_probe_ms = now;
    const int safe = g_tunnel_mtu.safe_mtu.load();
    const int upper = g_tunnel_mtu.upper_bound;
    if (safe < upper && g_tunnel_mtu.failure_count == 0) {
        const int raised = safe + TUNNEL_MTU_STEP > upper ? upper : safe + TUNNEL_MTU_STEP;
        g_tunnel_mtu.safe_mtu.store(raised);
        quorlix_log("[MTU-PROBE] Attempting to increase MTU from %d to %d\n", safe, raised);
    }
}

void tunnel_loop_reset_timers_for_tests(void)
{
    g_lastProbe = kNever;
}
