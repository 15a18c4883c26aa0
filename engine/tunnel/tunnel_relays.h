#pragma once
// The relays: the primary relay, the server-mapping table that sends some game
// ports and domains to other relays, and the filter-rebuild request that tells
// the loop the set of relays changed.
//
// Lock rule: the primary relay is one atomic word (address and port together,
// so a reader never sees a new address with an old port); its writers outside
// the loop hold the configuration lock (tunnel_run.h). The mapping table is
// guarded by the mapping lock, a static mutex of this file that is never held
// together with the configuration or app-address lock. The "a mapping call ran"
// flag and the rebuild request are atomics.

#include <atomic>
#include <stdint.h>

#define TUNNEL_MAX_MAPPINGS 256
#define TUNNEL_MAX_RELAYS 16

// Primary relay: address as inet_addr gives it (network byte order in a u32),
// port in host order. Read and written as one value (address << 16 | port).
extern std::atomic<uint64_t> g_tunnel_primary_relay;
inline void tunnel_primary_relay(uint32_t *addr, uint16_t *port)
{
    const uint64_t v = g_tunnel_primary_relay.load(std::memory_order_acquire);
    if (addr)
        *addr = static_cast<uint32_t>(v >> 16);
    if (port)
        *port = static_cast<uint16_t>(v & 0xffffu);
}
void tunnel_set_primary_relay(uint32_t addr, uint16_t port);

// True once any mapping call ran in this process.
extern std::atomic<bool> g_tunnel_mapping_created;
inline bool tunnel_mapping_lock_exists(void)
{
    return g_tunnel_mapping_created.load();
}
// Primary address then the distinct relay addresses of the table in order, at
// most 16 (TUNNEL_MAX_RELAYS). Returns the number written; the primary alone
// when no mapping call ever ran. *total_mappings (may be null) gets the count.
int tunnel_relay_set(uint32_t out[TUNNEL_MAX_RELAYS], int *total_mappings);
// First port entry for dst_port; false when none (or no mapping lock). The
// search itself takes the mapping lock; the lookup asks first whether there
// is a table at all.
bool tunnel_mapping_port_search(uint32_t dst_port, uint32_t *relay_addr, uint16_t *relay_port);
inline bool tunnel_mapping_port_lookup(uint32_t dst_port, uint32_t *relay_addr, uint16_t *relay_port)
{
    return tunnel_mapping_lock_exists() && tunnel_mapping_port_search(dst_port, relay_addr, relay_port);
}
// True when (addr, port) is the primary relay or any entry's relay.
bool tunnel_mapping_relay_search(uint32_t addr, uint16_t port);
inline bool tunnel_is_relay_endpoint(uint32_t addr, uint16_t port)
{
    const uint64_t primary = g_tunnel_primary_relay.load(std::memory_order_acquire);
    if (primary == ((uint64_t(addr) << 16) | port))
        return true;
    return tunnel_mapping_lock_exists() && tunnel_mapping_relay_search(addr, port);
}
// Domain entries, matched with tunnel_domain_pattern_match (tunnel_domain_match.h).
bool tunnel_find_domain_mapping(const char *name, uint32_t *relay_addr, uint16_t *relay_port);
void tunnel_server_for_domain(const char *name, uint32_t *relay_addr, uint16_t *relay_port);
int tunnel_mapping_count(void);

// Filter-rebuild request: set by the mapping calls and quorlix_update_entry;
// the loop takes it (reads and clears in one step) once per pass. Because
// quorlix_update_entry requests a rebuild too, the rebuild has to work when no
// mapping call ever ran (tunnel_relay_set then gives the primary relay alone).
bool tunnel_take_filter_rebuild_request(void);
void tunnel_request_filter_rebuild(void);

// Empties the table and clears the primary relay and the flags (takes the
// mapping lock).
void tunnel_relays_reset_for_tests(void);
