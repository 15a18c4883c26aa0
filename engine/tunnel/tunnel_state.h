#pragma once
// Process-wide state of the PC tunnel engine, shared between the engine thread
// (the capture loop) and the threads that call the exported functions. Each
// concern has its own file, with its lock rule written at its top:
//
//   tunnel_run.h          run lifetime, the configuration lock, pending reset
//   tunnel_config.h       the runtime record handed over or read from the file
//   tunnel_ports.h        the game's UDP and TCP port sets
//   tunnel_domain_list.h  the application domains of the configuration
//   tunnel_relays.h       primary relay, server-mapping table, filter rebuild
//   tunnel_app_ips.h      learned application addresses
//   tunnel_stats.h        counters, flags, statistics reset
//
// Locking: three static mutexes, never held together:
//  - the configuration lock guards the stored runtime record and serialises the
//    writers of the port sets, the domain list and the primary relay;
//  - the mapping lock guards the server-mapping table;
//  - the app-address lock guards the learned application addresses.
// What the loop reads on every packet (port sets, primary relay, counters, flags)
// is atomic, so the loop never takes a lock for it and never races a writer.
//
// The safe MTU and its bounds live in tunnel_mtu.h (g_tunnel_mtu).
//
// Plain C++17, no Qt, no exceptions.

#include "engine/tunnel/quorlix_tunnel.h"
#include "engine/tunnel/tunnel_app_ips.h"
#include "engine/tunnel/tunnel_config.h"
#include "engine/tunnel/tunnel_domain_list.h"
#include "engine/tunnel/tunnel_ports.h"
#include "engine/tunnel/tunnel_relays.h"
#include "engine/tunnel/tunnel_run.h"
#include "engine/tunnel/tunnel_stats.h"

// Test hook: restores every piece of state to its value at load (never called
// by the engine itself).
void tunnel_state_reset_for_tests(void);
