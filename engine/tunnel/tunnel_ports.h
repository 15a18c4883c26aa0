#pragma once
// The game's UDP and TCP port sets, which the loop reads on every packet.
//
// Lock rule: readers take no lock. Each set is one bit per port in words the
// loop reads atomically; writers hold the configuration lock (tunnel_run.h),
// build the new set aside and publish it word by word, so the loop never races
// a writer (it may see a set half old, half new for one packet, never a torn
// word).

#include "engine/tunnel/quorlix_tunnel.h"

#include <stdint.h>

// A UDP port count from here on means every port.
#define TUNNEL_CATCH_ALL_PORTS 60000

// Builds both port sets from the run's record at its start: UDP catch-all at
// 60000 or more (writes "[CONFIG] UDP: Catch-all mode enabled (all 65536
// ports)\n"), TCP set only when enable_tcp and without catch-all.
void tunnel_state_build_ports_at_start(const TunnelRuntimeConfig *cfg);

bool tunnel_udp_port_member(uint16_t port);
bool tunnel_tcp_port_member(uint16_t port);
int tunnel_udp_port_count(void);
int tunnel_tcp_port_count(void);

// Both sets from a record handed over during a run (catch-all for either set
// from 60000 ports). Caller holds the configuration lock.
void tunnel_ports_from_record_locked(const TunnelRuntimeConfig *cfg);

// Empties both sets (takes the configuration lock).
void tunnel_ports_reset_for_tests(void);
