#include "engine/tunnel/tunnel_relays.h"

#include "engine/common/conf_text.h"
#include "engine/common/engine_log.h"
#include "engine/tunnel/quorlix_tunnel.h"
#include "engine/tunnel/tunnel_domain_match.h"
#include "engine/tunnel/tunnel_run.h"
#include "engine/tunnel/tunnel_stats.h"

#include <arpa/inet.h>
#include <atomic>
#include <mutex>
#include <netinet/in.h>
#include <string.h>

namespace {

std::mutex g_mapping_lock;

std::atomic<bool> g_filter_rebuild{false};

// Guarded by g_mapping_lock.
struct ServerMapping
{
    uint32_t port;
    uint8_t is_domain;
    char pattern[QUORLIX_DOMAIN_LEN];
    uint32_t relay_addr;
    uint16_t relay_port;
};
ServerMapping g_mappings[TUNNEL_MAX_MAPPINGS];
int g_mapping_count = 0;

// Reads a caller's address text: at most 63 characters are looked at, so a
// buffer without a terminating NUL is cut instead of read past.
uint32_t parse_relay_address(const char *text, char copy[64])
{
    conf_copy_cut_str(copy, 64, text, 64);
    return inet_addr(copy);
}

} // namespace

// Address and port in one atomic word so a reader never sees a new address
// with an old port.
std::atomic<uint64_t> g_tunnel_primary_relay{0};
std::atomic<bool> g_tunnel_mapping_created{false};

void tunnel_set_primary_relay(uint32_t addr, uint16_t port)
{
    g_tunnel_primary_relay.store((uint64_t(addr) << 16) | port, std::memory_order_release);
}

int tunnel_mapping_count(void)
{
    std::lock_guard<std::mutex> g(g_mapping_lock);
    return g_mapping_count;
}

int tunnel_relay_set(uint32_t out[TUNNEL_MAX_RELAYS], int *total_mappings)
{
    uint32_t primary = 0;
    tunnel_primary_relay(&primary, nullptr);
    out[0] = primary;
    int n = 1;
    int total = 0;
    if (g_tunnel_mapping_created.load()) {
        std::lock_guard<std::mutex> g(g_mapping_lock);
        total = g_mapping_count;
        for (int i = 0; i < g_mapping_count && n < TUNNEL_MAX_RELAYS; ++i) {
            bool seen = false;
            for (int j = 0; j < n && !seen; ++j)
                seen = out[j] == g_mappings[i].relay_addr;
            if (!seen)
                out[n++] = g_mappings[i].relay_addr;
        }
    }
    if (total_mappings)
        *total_mappings = total;
    return n;
}

bool tunnel_mapping_port_search(uint32_t dst_port, uint32_t *relay_addr, uint16_t *relay_port)
{
    std::lock_guard<std::mutex> g(g_mapping_lock);
    for (int i = 0; i < g_mapping_count; ++i) {
        const ServerMapping &m = g_mappings[i];
        if (!m.is_domain && m.port == dst_port) {
            if (relay_addr)
                *relay_addr = m.relay_addr;
            if (relay_port)
                *relay_port = m.relay_port;
            return true;
        }
    }
    return false;
}

bool tunnel_mapping_relay_search(uint32_t addr, uint16_t port)
{
    std::lock_guard<std::mutex> g(g_mapping_lock);
    for (int i = 0; i < g_mapping_count; ++i) {
        if (g_mappings[i].relay_addr == addr && g_mappings[i].relay_port == port)
            return true;
    }
    return false;
}

bool tunnel_find_domain_mapping(const char *name, uint32_t *relay_addr, uint16_t *relay_port)
{
    if (!name || !g_tunnel_mapping_created.load())
        return false;
    std::lock_guard<std::mutex> g(g_mapping_lock);
    for (int i = 0; i < g_mapping_count; ++i) {
        const ServerMapping &m = g_mappings[i];
        if (m.is_domain && tunnel_domain_pattern_match(m.pattern, name)) {
            if (relay_addr)
                *relay_addr = m.relay_addr;
            if (relay_port)
                *relay_port = m.relay_port;
            return true;
        }
    }
    return false;
}

void tunnel_server_for_domain(const char *name, uint32_t *relay_addr, uint16_t *relay_port)
{
    if (tunnel_find_domain_mapping(name, relay_addr, relay_port))
        return;
    tunnel_primary_relay(relay_addr, relay_port);
}

bool tunnel_take_filter_rebuild_request(void)
{
    if (!g_filter_rebuild.load(std::memory_order_relaxed))
        return false;
    return g_filter_rebuild.exchange(false);
}

void tunnel_request_filter_rebuild(void)
{
    g_filter_rebuild.store(true);
}

namespace {
void add_mapping(bool is_domain, uint32_t port, const char *pattern, const char *relay_address,
                 int relay_port)
{
    g_tunnel_mapping_created.store(true);
    char addr_copy[64];
    char pattern_copy[QUORLIX_DOMAIN_LEN];
    if (is_domain)
        conf_copy_cut_str(pattern_copy, sizeof pattern_copy, pattern, QUORLIX_DOMAIN_LEN);
    std::unique_lock<std::mutex> g(g_mapping_lock);
    if (g_mapping_count >= TUNNEL_MAX_MAPPINGS) {
        int n = g_mapping_count;
        g.unlock();
        if (is_domain)
            quorlix_log("[MAPPING] Warning: Domain mapping table full (%d entries)\n", n);
        else
            quorlix_log("[MAPPING] Warning: Port mapping table full (%d entries)\n", n);
        return;
    }
    uint32_t addr = parse_relay_address(relay_address, addr_copy);
    if (addr == INADDR_NONE) {
        g.unlock();
        quorlix_log("[MAPPING] Invalid IP address: %s\n", addr_copy);
        return;
    }
    ServerMapping &m = g_mappings[g_mapping_count++];
    memset(&m, 0, sizeof m);
    m.port = is_domain ? 0 : port;
    m.is_domain = is_domain ? 1 : 0;
    if (is_domain)
        memcpy(m.pattern, pattern_copy, sizeof m.pattern);
    m.relay_addr = addr;
    m.relay_port = static_cast<uint16_t>(relay_port & 0xffff);
    g_filter_rebuild.store(true);
    g.unlock();
    if (tunnel_verbose()) {
        if (is_domain)
            quorlix_log("[MAPPING] Added domain '%s' -> %s:%d\n", pattern_copy, addr_copy, relay_port);
        else
            quorlix_log("[MAPPING] Added port %d -> %s:%d\n", static_cast<int>(port), addr_copy, relay_port);
    }
}
} // namespace

extern "C" void quorlix_add_port_server_mapping(int port, const char *relay_address, int relay_port)
{
    if (!relay_address)
        return;
    add_mapping(false, static_cast<uint32_t>(port), nullptr, relay_address, relay_port);
}

extern "C" void quorlix_add_domain_server_mapping(const char *pattern, const char *relay_address,
                                                  int relay_port)
{
    if (!pattern || !relay_address)
        return;
    add_mapping(true, 0, pattern, relay_address, relay_port);
}

extern "C" void quorlix_clear_port_server_mappings(void)
{
    g_tunnel_mapping_created.store(true);
    {
        std::lock_guard<std::mutex> g(g_mapping_lock);
        g_mapping_count = 0;
        memset(g_mappings, 0, sizeof g_mappings);
        g_filter_rebuild.store(true);
    }
    quorlix_log("[MAPPING] Cleared all port/domain mappings\n");
}

extern "C" void quorlix_update_entry(const char *relay_address, int relay_port)
{
    if (!relay_address)
        return;
    char copy[64];
    {
        std::lock_guard<std::mutex> g(tunnel_config_lock());
        if (!tunnel_state_run_active())
            return;
        uint32_t addr = parse_relay_address(relay_address, copy);
        if (addr == INADDR_NONE)
            return;
        tunnel_set_primary_relay(addr, static_cast<uint16_t>(relay_port & 0xffff));
        tunnel_run_mark_config_changed();
    }
    // The capture filter names the relays whose replies it admits; without a
    // rebuild the new primary relay's datagrams would never be captured.
    tunnel_request_filter_rebuild();
    quorlix_log("[RUNTIME-UPDATE] Entry server updated: %s:%d\n", copy, relay_port);
}

void tunnel_relays_reset_for_tests(void)
{
    {
        std::lock_guard<std::mutex> g(g_mapping_lock);
        memset(g_mappings, 0, sizeof g_mappings);
        g_mapping_count = 0;
        g_tunnel_mapping_created.store(false);
    }
    g_tunnel_primary_relay.store(0);
    g_filter_rebuild.store(false);
}
