#pragma once
// The application addresses the engine learned from DNS answers, each with
// the relay its traffic goes to. The list keeps at most 512 addresses and only
// grows until quorlix_clear_app_ips.
//
// Lock rule: everything here is guarded by the app-address lock, a static
// mutex of this file that is never held together with the configuration or
// mapping lock; every function takes it itself and writes its log lines only
// after letting it go.

#include <atomic>
#include <stdint.h>

#define TUNNEL_MAX_APP_IPS 512

// Lookup by the address bytes (as in the packet / inet_addr). Asked for every
// external packet, so the common answer comes inline: one bit per hash slot,
// set once an address with that home slot is listed (cleared only with the
// whole list), says "not listed" with one load; a set bit sends the lookup
// through the lock.
#define TUNNEL_APP_IP_HASH_SLOTS 1024u // twice the list capacity: short probe runs
extern std::atomic<uint64_t> g_tunnel_app_ip_homes[TUNNEL_APP_IP_HASH_SLOTS / 64];
inline uint32_t tunnel_app_ip_home(uint32_t addr)
{
    return (addr * 2654435761u) >> 22; // top 10 bits
}
bool tunnel_app_ip_search(uint32_t addr);
inline bool tunnel_app_ip_known_addr(uint32_t addr)
{
    const uint32_t home = tunnel_app_ip_home(addr);
    if (!((g_tunnel_app_ip_homes[home / 64].load(std::memory_order_acquire) >> (home % 64)) & 1u))
        return false;
    return tunnel_app_ip_search(addr);
}
// Exact dotted-text lookup (the text form the list stores, "%u.%u.%u.%u").
bool tunnel_app_ip_known(const char *text);
// Relay of the first route entry for addr; false when no route has it.
bool tunnel_app_ip_route(uint32_t addr, uint32_t *relay_addr, uint16_t *relay_port);
// Adds addr with its relay unless already known. Writes the "[APP-IP]" added or
// list-full line. Returns true when it was added.
bool tunnel_app_ip_add(uint32_t addr, uint32_t relay_addr, uint16_t relay_port);
int tunnel_app_ip_count(void);

// Empties the list without a log line.
void tunnel_app_ips_reset_for_tests(void);
