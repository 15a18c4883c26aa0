#pragma once
// The application domains of the running configuration: the patterns whose
// DNS queries are tunneled (tunnel_domains.h).
//
// Lock rule: the list is guarded by the configuration lock (tunnel_run.h);
// every reader and writer takes it. The count is kept as given by
// quorlix_update_domains (a negative count simply leaves no pattern in use).

#include "engine/tunnel/quorlix_tunnel.h"

#include <stddef.h>

// Copies the domains of the run's record and writes "[CONFIG] App domains
// loaded: %d\n" (and each domain in verbose mode).
void tunnel_state_load_domains_at_start(const TunnelRuntimeConfig *cfg);

int tunnel_domain_count(void);
// Copies pattern i into out (cap >= 128); false when i is out of range.
bool tunnel_domain_get(int i, char *out, size_t cap);
// First pattern that matches name; copies it into pattern_out (cap >= 128).
bool tunnel_domain_first_match(const char *name, char *pattern_out, size_t cap);

// The list from a record. Caller holds the configuration lock.
void tunnel_domain_list_from_record_locked(const TunnelRuntimeConfig *cfg);

// Empties the list (takes the configuration lock).
void tunnel_domain_list_reset_for_tests(void);
