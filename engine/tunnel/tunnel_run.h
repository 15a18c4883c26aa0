#pragma once
// Run lifetime of the PC tunnel engine, and the configuration lock.
//
// Lock rule: the configuration lock is one of the engine's three static
// mutexes (with the mapping lock, tunnel_relays.h, and the app-address lock,
// tunnel_app_ips.h); none of them is ever taken while another is held. It
// guards the stored runtime record (tunnel_config.h) and serialises the writers
// of the port sets, the domain list and the primary relay. The run flag, the
// changed flag and the pending reset are atomics: readers never lock, and the
// writers that must agree with the record change them under the lock.

#include <mutex>

// The loop calls begin as its first step (it also switches the verbose flag
// off until the run's configuration is loaded) and end on every exit path; the
// set and update functions act on the running engine only between.
void tunnel_state_run_begin(void);
void tunnel_state_run_end(void);
bool tunnel_state_run_active(void);

// The changed flag: set by the runtime set/update functions. Returns whether it
// was set and clears it, under the configuration lock; the loop then writes
// "[RUNTIME] Configuration updated and applied\n".
bool tunnel_state_take_config_changed(void);

// The acknowledgement slots and tx counters belong to the engine thread while
// a run is in progress, so during a run a statistics reset is only requested
// and the loop performs it: call tunnel_state_service_pending_reset() once per
// pass (before any encapsulate/decapsulate of that pass).
// tunnel_state_run_end() performs a request still pending.
void tunnel_state_service_pending_reset(void);

// ---- for the other parts of the engine's state -------------------------------

std::mutex &tunnel_config_lock(void);
// Caller holds the configuration lock.
void tunnel_run_mark_config_changed(void);
// Resets the acknowledgement state now, or during a run asks the loop to.
// Takes the configuration lock.
void tunnel_run_reset_ack_state(void);
// Clears the run, changed and pending-reset flags (takes the lock).
void tunnel_run_reset_for_tests(void);
