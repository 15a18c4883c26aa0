#pragma once
// The runtime record: the one a host hands over with
// quorlix_set_runtime_config, and the record a run starts from.
//
// Lock rule: the stored record is guarded by the configuration lock
// (tunnel_run.h); the "a record was handed over" flag is an atomic set and
// cleared under that lock and read without it. A record handed over during a
// run is put into effect (port sets, domain list) under the same lock.

#include "engine/tunnel/quorlix_tunnel.h"
#include "engine/tunnel/tunnel_conffile.h"

// Fills *out for a run: the stored record when one was handed over (empty host
// -> default relay, port <= 0 -> 50000, verbose flag from debug_mode) and
// returns 1; otherwise reads "quorlix.conf" from the current directory
// (tunnel_conffile.h) and returns its result. *out is large: allocate it.
int tunnel_load_config(TunnelRuntimeConfig *out);
bool tunnel_state_config_present(void);
// Sanitises a record in place: NUL-terminates every text field and clamps the
// counts to their capacity (negative counts become 0).
void tunnel_config_sanitize(TunnelRuntimeConfig *cfg);

// Forgets the stored record (takes the configuration lock).
void tunnel_config_reset_for_tests(void);
