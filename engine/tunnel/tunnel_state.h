#pragma once
// Process-wide state of the PC tunnel engine, shared between the engine thread
// (the capture loop) and the threads that call the exported functions.
//
// Locking: three static mutexes, never held together:
//  - the configuration lock guards the stored runtime record and serialises the
//    writers of the port sets, the domain list and the primary relay;
//  - the mapping lock guards the server-mapping table;
//  - the app-address lock guards the learned application addresses.
// What the loop reads on every packet (port sets, primary relay, counters, flags)
// is atomic, so the loop never takes a lock for it and never races a writer.
//
// Plain C++17, no Qt, no exceptions.

#include "engine/tunnel/quorlix_tunnel.h"

#include <atomic>
#include <stddef.h>
#include <stdint.h>

#define TUNNEL_MAX_MAPPINGS 256
#define TUNNEL_MAX_RELAYS 16
#define TUNNEL_MAX_APP_IPS 512
#define TUNNEL_DEFAULT_RELAY_PORT 50000
#define TUNNEL_CATCH_ALL_PORTS 60000
// The built-in relay used when a record names none (a documentation address:
// standalone users are expected to set "entry_host").
#define TUNNEL_DEFAULT_ENTRY_HOST "192.0.2.10"

// ---------------------------------------------------------------------------
// Run lifetime. The loop calls begin as its first step (it also switches the
// verbose flag off until the run's configuration is loaded) and end on every
// exit path; the set and update functions act on the running engine only between.
void tunnel_state_run_begin(void);
void tunnel_state_run_end(void);
bool tunnel_state_run_active(void);

// ---------------------------------------------------------------------------
// Runtime record.
// Fills *out for a run: the stored record when one was handed over (empty host
// -> default relay, port <= 0 -> 50000, verbose flag from debug_mode) and
// returns 1; otherwise reads "quorlix.conf" from the current directory
// (tunnel_conffile.h) and returns its result. *out is large: allocate it.
int tunnel_load_config(TunnelRuntimeConfig *out);
bool tunnel_state_config_present(void);
// Sanitises a record in place: NUL-terminates every text field and clamps the
// counts to their capacity (negative counts become 0).
void tunnel_config_sanitize(TunnelRuntimeConfig *cfg);

// The changed flag: set by the runtime set/update functions. Returns whether it
// was set and clears it, under the configuration lock; the loop then writes
// "[RUNTIME] Configuration updated and applied\n".
bool tunnel_state_take_config_changed(void);

// ---------------------------------------------------------------------------
// Start-up of a run (the loop calls these in its start-up order; they write the
// start-up log lines that belong to them).
// Builds both port sets from the run's record: UDP catch-all at 60000 or more
// (writes "[CONFIG] UDP: Catch-all mode enabled (all 65536 ports)\n"), TCP set
// only when enable_tcp and without catch-all.
void tunnel_state_build_ports_at_start(const TunnelRuntimeConfig *cfg);
// Copies the domains and writes "[CONFIG] App domains loaded: %d\n" (and each
// domain in verbose mode).
void tunnel_state_load_domains_at_start(const TunnelRuntimeConfig *cfg);

// ---------------------------------------------------------------------------
// Port sets, read per packet without a lock.
bool tunnel_udp_port_member(uint16_t port);
bool tunnel_tcp_port_member(uint16_t port);
int tunnel_udp_port_count(void);
int tunnel_tcp_port_count(void);

// ---------------------------------------------------------------------------
// Primary relay: address as inet_addr gives it (network byte order in a u32),
// port in host order. Read and written as one value.
void tunnel_primary_relay(uint32_t *addr, uint16_t *port);
void tunnel_set_primary_relay(uint32_t addr, uint16_t port);

// ---------------------------------------------------------------------------
// Domain list (patterns of the running configuration).
int tunnel_domain_count(void);
// Copies pattern i into out (cap >= 128); false when i is out of range.
bool tunnel_domain_get(int i, char *out, size_t cap);
// First pattern that matches name; copies it into pattern_out (cap >= 128).
bool tunnel_domain_first_match(const char *name, char *pattern_out, size_t cap);

// ---------------------------------------------------------------------------
// Server-mapping table (mapping lock inside).
// True once any mapping call ran in this process.
bool tunnel_mapping_lock_exists(void);
// Primary address then the distinct relay addresses of the table in order, at
// most 16 (TUNNEL_MAX_RELAYS). Returns the number written; the primary alone
// when no mapping call ever ran. *total_mappings (may be null) gets the count.
int tunnel_relay_set(uint32_t out[TUNNEL_MAX_RELAYS], int *total_mappings);
// First port entry for dst_port; false when none (or no mapping lock).
bool tunnel_mapping_port_lookup(uint32_t dst_port, uint32_t *relay_addr, uint16_t *relay_port);
// True when (addr, port) is the primary relay or any entry's relay.
bool tunnel_is_relay_endpoint(uint32_t addr, uint16_t port);
// Domain entries (tunnel_domains.h explains the matching).
bool tunnel_find_domain_mapping(const char *name, uint32_t *relay_addr, uint16_t *relay_port);
void tunnel_server_for_domain(const char *name, uint32_t *relay_addr, uint16_t *relay_port);
int tunnel_mapping_count(void);

// Filter-rebuild request: set by the mapping calls and quorlix_update_entry;
// the loop takes it (reads and clears in one step) once per pass. Because
// quorlix_update_entry requests a rebuild too, the rebuild has to work when no
// mapping call ever ran (tunnel_relay_set then gives the primary relay alone).
bool tunnel_take_filter_rebuild_request(void);
void tunnel_request_filter_rebuild(void);

// ---------------------------------------------------------------------------
// Learned application addresses (app-address lock inside). The list keeps at
// most 512 addresses and only grows until quorlix_clear_app_ips.
// Lookup by the address bytes (as in the packet / inet_addr).
bool tunnel_app_ip_known_addr(uint32_t addr);
// Exact dotted-text lookup (the text form the list stores, "%u.%u.%u.%u").
bool tunnel_app_ip_known(const char *text);
// Relay of the first route entry for addr; false when no route has it.
bool tunnel_app_ip_route(uint32_t addr, uint32_t *relay_addr, uint16_t *relay_port);
// Adds addr with its relay unless already known. Writes the "[APP-IP]" added or
// list-full line. Returns true when it was added.
bool tunnel_app_ip_add(uint32_t addr, uint32_t relay_addr, uint16_t relay_port);
int tunnel_app_ip_count(void);

// ---------------------------------------------------------------------------
// Counters (relaxed atomics: written by the engine thread, read anywhere).
struct TunnelCounters
{
    std::atomic<uint64_t> bytes_sent{0};
    std::atomic<uint64_t> bytes_received{0};
    std::atomic<uint64_t> tunnel_packets_sent{0};
    std::atomic<uint64_t> tunnel_packets_received{0};
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
inline void tunnel_count_packet_sent(void)
{
    g_tunnel_counters.tunnel_packets_sent.fetch_add(1, std::memory_order_relaxed);
}

// ---------------------------------------------------------------------------
// Flags.
bool tunnel_verbose(void);
void tunnel_set_verbose(bool on);
bool tunnel_ack_enabled(void);

// ---------------------------------------------------------------------------
// Statistics reset. quorlix_reset_stats zeroes the byte/packet counters at once;
// the acknowledgement slots and tx counters belong to the engine thread while a
// run is in progress, so during a run the reset is only requested and the loop
// performs it: call tunnel_state_service_pending_reset() once per pass (before
// any encapsulate/decapsulate of that pass). tunnel_state_run_end() performs a
// request still pending, and without a run the reset happens at once.
void tunnel_state_service_pending_reset(void);

// The safe MTU and its bounds live in tunnel_mtu.h (g_tunnel_mtu).

// Test hook: restores every piece of state to its value at load (never called
// by the engine itself).
void tunnel_state_reset_for_tests(void);
