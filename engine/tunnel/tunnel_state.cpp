#include "engine/tunnel/tunnel_state.h"

#include "engine/common/engine_log.h"
#include "engine/tunnel/tunnel_ack.h"
#include "engine/tunnel/tunnel_conffile.h"
#include "engine/tunnel/tunnel_domains.h"
#include "engine/tunnel/tunnel_mtu.h"

#include <arpa/inet.h>
#include <mutex>
#include <netinet/in.h>
#include <string.h>

TunnelCounters g_tunnel_counters;

namespace {

// Locks are plain statics: they exist for the whole process, so no caller can
// ever see one half-created (the "run in progress" test is the atomic below).
std::mutex g_config_lock;
std::mutex g_mapping_lock;
std::mutex g_app_ip_lock;

std::atomic<bool> g_run_active{false};
std::atomic<bool> g_config_present{false};
std::atomic<bool> g_config_changed{false};
std::atomic<bool> g_ack_enabled{false};
std::atomic<bool> g_filter_rebuild{false};
std::atomic<bool> g_ack_reset_pending{false};

// Guarded by g_config_lock. Large, so it lives here rather than on a stack.
TunnelRuntimeConfig g_stored;

// --- port sets: one bit per port, word-atomic so the loop reads without a lock.
struct PortSet
{
    std::atomic<uint64_t> words[65536 / 64];
    std::atomic<int> count{0};
};
PortSet g_udp_set;
PortSet g_tcp_set;

// Writers hold g_config_lock; the set is built aside and published word by word.
void port_set_publish(PortSet &set, const uint64_t *bits, int count)
{
    for (size_t i = 0; i < 65536 / 64; ++i)
        set.words[i].store(bits[i], std::memory_order_relaxed);
    set.count.store(count, std::memory_order_relaxed);
}

void port_set_fill(PortSet &set, const uint32_t *ports, int count, bool catch_all_from_60000)
{
    uint64_t bits[65536 / 64];
    if (count < 0)
        count = 0;
    if (count > QUORLIX_MAX_PORTS)
        count = QUORLIX_MAX_PORTS;
    if (catch_all_from_60000 && count >= TUNNEL_CATCH_ALL_PORTS) {
        memset(bits, 0xff, sizeof bits);
    } else {
        memset(bits, 0, sizeof bits);
        for (int i = 0; ports && i < count; ++i) {
            uint16_t p = static_cast<uint16_t>(ports[i] & 0xffffu);
            bits[p >> 6] |= uint64_t(1) << (p & 63);
        }
    }
    port_set_publish(set, bits, count);
}

bool port_set_member(const PortSet &set, uint16_t port)
{
    return (set.words[port >> 6].load(std::memory_order_relaxed) >> (port & 63)) & 1u;
}

// --- primary relay: address and port in one atomic word so a reader never
// sees a new address with an old port.
std::atomic<uint64_t> g_primary{0};

// --- domain list, guarded by g_config_lock. The count is kept as given by
// quorlix_update_domains (a negative count simply leaves no pattern in use).
char g_domains[QUORLIX_MAX_DOMAINS][QUORLIX_DOMAIN_LEN];
int g_domain_count = 0;

void copy_cut(char *dst, size_t dst_size, const char *src, size_t src_max)
{
    size_t n = strnlen(src, src_max);
    if (n > dst_size - 1)
        n = dst_size - 1;
    memcpy(dst, src, n);
    dst[n] = '\0';
}

// Caller holds g_config_lock.
void domains_from_record(const TunnelRuntimeConfig *cfg)
{
    int n = cfg->app_domain_count;
    if (n > QUORLIX_MAX_DOMAINS)
        n = QUORLIX_MAX_DOMAINS;
    if (n < 0)
        n = 0;
    memset(g_domains, 0, sizeof g_domains);
    for (int i = 0; i < n; ++i)
        copy_cut(g_domains[i], QUORLIX_DOMAIN_LEN, cfg->app_domains[i], QUORLIX_DOMAIN_LEN);
    g_domain_count = n;
}

// --- server-mapping table, guarded by g_mapping_lock.
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
std::atomic<bool> g_mapping_created{false};

// --- learned application addresses, guarded by g_app_ip_lock. The list keeps
// its text form; a hash set over the 32-bit address finds an entry without a
// walk over up to 512 strings on every packet.
struct AppIpRoute
{
    char text[QUORLIX_APP_IP_TEXT_LEN];
    uint32_t relay_addr;
    uint16_t relay_port;
};
char g_app_ips[TUNNEL_MAX_APP_IPS][QUORLIX_APP_IP_TEXT_LEN];
uint32_t g_app_ip_addr[TUNNEL_MAX_APP_IPS];
int g_app_ip_count = 0;
AppIpRoute g_app_routes[TUNNEL_MAX_APP_IPS];
int g_app_route_count = 0;

constexpr uint32_t kAppHashSlots = 1024; // twice the list capacity: short probe runs
uint16_t g_app_hash[kAppHashSlots];      // index + 1 into g_app_ips, 0 = empty

uint32_t app_hash_home(uint32_t addr)
{
    return (addr * 2654435761u) >> 22; // top 10 bits
}

// Caller holds g_app_ip_lock. Returns the list index or -1.
int app_ip_find(uint32_t addr)
{
    uint32_t h = app_hash_home(addr);
    for (uint32_t i = 0; i < kAppHashSlots; ++i) {
        uint16_t v = g_app_hash[(h + i) & (kAppHashSlots - 1)];
        if (v == 0)
            return -1;
        if (g_app_ip_addr[v - 1] == addr)
            return v - 1;
    }
    return -1;
}

void app_ip_clear_locked()
{
    memset(g_app_ips, 0, sizeof g_app_ips);
    memset(g_app_ip_addr, 0, sizeof g_app_ip_addr);
    memset(g_app_routes, 0, sizeof g_app_routes);
    memset(g_app_hash, 0, sizeof g_app_hash);
    g_app_ip_count = 0;
    g_app_route_count = 0;
}

void addr_text(uint32_t addr, char out[INET_ADDRSTRLEN])
{
    struct in_addr a;
    a.s_addr = addr;
    if (!inet_ntop(AF_INET, &a, out, INET_ADDRSTRLEN))
        out[0] = '\0';
}

// Reads a caller's address text: at most 63 characters are looked at, so a
// buffer without a terminating NUL is cut instead of read past.
uint32_t parse_relay_address(const char *text, char copy[64])
{
    copy_cut(copy, 64, text, 64);
    return inet_addr(copy);
}

} // namespace

// ---------------------------------------------------------------------------
// Run lifetime

void tunnel_state_run_begin(void)
{
    std::lock_guard<std::mutex> g(g_config_lock);
    g_run_active.store(true);
    // Each run starts quiet; loading its configuration switches verbose on.
    quorlix_log_set_verbose(0);
}

void tunnel_state_run_end(void)
{
    std::lock_guard<std::mutex> g(g_config_lock);
    g_run_active.store(false);
    // A reset asked for while the run was still going (for instance a run that
    // outlived its stop) is done now that the engine thread is out of the way.
    if (g_ack_reset_pending.exchange(false))
        tunnel_ack_reset();
}

bool tunnel_state_run_active(void)
{
    return g_run_active.load();
}

void tunnel_state_service_pending_reset(void)
{
    if (g_ack_reset_pending.load(std::memory_order_relaxed) && g_ack_reset_pending.exchange(false))
        tunnel_ack_reset();
}

// ---------------------------------------------------------------------------
// Runtime record

void tunnel_config_sanitize(TunnelRuntimeConfig *cfg)
{
    if (!cfg)
        return;
    cfg->entry_host[QUORLIX_HOST_LEN - 1] = '\0';
    cfg->game_profile[QUORLIX_PROFILE_LEN - 1] = '\0';
    for (auto &ip : cfg->app_ips)
        ip[QUORLIX_APP_IP_TEXT_LEN - 1] = '\0';
    for (auto &d : cfg->app_domains)
        d[QUORLIX_DOMAIN_LEN - 1] = '\0';
    auto clamp = [](int32_t &v, int32_t cap) {
        if (v < 0)
            v = 0;
        if (v > cap)
            v = cap;
    };
    clamp(cfg->udp_port_count, QUORLIX_MAX_PORTS);
    clamp(cfg->tcp_port_count, QUORLIX_MAX_PORTS);
    clamp(cfg->app_ip_count, QUORLIX_MAX_APP_IPS_IN_RECORD);
    clamp(cfg->app_domain_count, QUORLIX_MAX_DOMAINS);
}

bool tunnel_state_config_present(void)
{
    return g_config_present.load();
}

int tunnel_load_config(TunnelRuntimeConfig *out)
{
    if (!out)
        return 0;
    {
        std::lock_guard<std::mutex> g(g_config_lock);
        if (g_config_present.load()) {
            memcpy(out, &g_stored, sizeof *out);
            if (out->entry_host[0] == '\0')
                copy_cut(out->entry_host, sizeof out->entry_host, TUNNEL_DEFAULT_ENTRY_HOST, 64);
            if (out->entry_port <= 0)
                out->entry_port = TUNNEL_DEFAULT_RELAY_PORT;
            quorlix_log_set_verbose(out->debug_mode != 0);
            return 1;
        }
    }
    return tunnel_conffile_load("quorlix.conf", out);
}

bool tunnel_state_take_config_changed(void)
{
    if (!g_config_changed.load(std::memory_order_relaxed))
        return false;
    std::lock_guard<std::mutex> g(g_config_lock);
    return g_config_changed.exchange(false);
}

extern "C" void quorlix_set_runtime_config(const TunnelRuntimeConfig *cfg)
{
    if (!cfg)
        return;
    std::lock_guard<std::mutex> g(g_config_lock);
    memcpy(&g_stored, cfg, sizeof g_stored);
    tunnel_config_sanitize(&g_stored);
    g_config_present.store(true);
    if (!g_run_active.load())
        return; // the next run applies it at its start
    g_config_changed.store(true);
    port_set_fill(g_udp_set, g_stored.udp_ports, g_stored.udp_port_count, true);
    port_set_fill(g_tcp_set, g_stored.tcp_ports, g_stored.tcp_port_count, true);
    domains_from_record(&g_stored);
}

extern "C" void quorlix_clear_runtime_config(void)
{
    std::lock_guard<std::mutex> g(g_config_lock);
    g_config_present.store(false);
}

// ---------------------------------------------------------------------------
// Start-up of a run

void tunnel_state_build_ports_at_start(const TunnelRuntimeConfig *cfg)
{
    if (!cfg)
        return;
    bool catch_all = false;
    {
        std::lock_guard<std::mutex> g(g_config_lock);
        int udp = cfg->udp_port_count;
        if (udp >= TUNNEL_CATCH_ALL_PORTS) {
            uint64_t bits[65536 / 64];
            memset(bits, 0xff, sizeof bits);
            port_set_publish(g_udp_set, bits, QUORLIX_MAX_PORTS);
            catch_all = true;
        } else {
            port_set_fill(g_udp_set, cfg->udp_ports, udp, false);
        }
        if (cfg->enable_tcp)
            port_set_fill(g_tcp_set, cfg->tcp_ports, cfg->tcp_port_count, false);
        else
            port_set_fill(g_tcp_set, nullptr, 0, false);
    }
    if (catch_all)
        quorlix_log("[CONFIG] UDP: Catch-all mode enabled (all 65536 ports)\n");
}

void tunnel_state_load_domains_at_start(const TunnelRuntimeConfig *cfg)
{
    if (!cfg)
        return;
    char copy[QUORLIX_MAX_DOMAINS][QUORLIX_DOMAIN_LEN];
    int n;
    {
        std::lock_guard<std::mutex> g(g_config_lock);
        domains_from_record(cfg);
        n = g_domain_count;
        memcpy(copy, g_domains, sizeof copy);
    }
    quorlix_log("[CONFIG] App domains loaded: %d\n", n);
    if (tunnel_verbose()) {
        for (int i = 0; i < n; ++i)
            quorlix_log("[CONFIG]   domain[%d]=%s\n", i, copy[i]);
    }
}

// ---------------------------------------------------------------------------
// Port sets and primary relay

bool tunnel_udp_port_member(uint16_t port)
{
    return port_set_member(g_udp_set, port);
}

bool tunnel_tcp_port_member(uint16_t port)
{
    return port_set_member(g_tcp_set, port);
}

int tunnel_udp_port_count(void)
{
    return g_udp_set.count.load(std::memory_order_relaxed);
}

int tunnel_tcp_port_count(void)
{
    return g_tcp_set.count.load(std::memory_order_relaxed);
}

void tunnel_primary_relay(uint32_t *addr, uint16_t *port)
{
    uint64_t v = g_primary.load(std::memory_order_acquire);
    if (addr)
        *addr = static_cast<uint32_t>(v >> 16);
    if (port)
        *port = static_cast<uint16_t>(v & 0xffffu);
}

void tunnel_set_primary_relay(uint32_t addr, uint16_t port)
{
    g_primary.store((uint64_t(addr) << 16) | port, std::memory_order_release);
}

// ---------------------------------------------------------------------------
// Domain list

int tunnel_domain_count(void)
{
    std::lock_guard<std::mutex> g(g_config_lock);
    return g_domain_count;
}

bool tunnel_domain_get(int i, char *out, size_t cap)
{
    if (!out || cap == 0)
        return false;
    std::lock_guard<std::mutex> g(g_config_lock);
    if (i < 0 || i >= g_domain_count || i >= QUORLIX_MAX_DOMAINS)
        return false;
    copy_cut(out, cap, g_domains[i], QUORLIX_DOMAIN_LEN);
    return true;
}

bool tunnel_domain_first_match(const char *name, char *pattern_out, size_t cap)
{
    if (!name)
        return false;
    std::lock_guard<std::mutex> g(g_config_lock);
    for (int i = 0; i < g_domain_count && i < QUORLIX_MAX_DOMAINS; ++i) {
        if (tunnel_domain_pattern_match(g_domains[i], name)) {
            if (pattern_out && cap)
                copy_cut(pattern_out, cap, g_domains[i], QUORLIX_DOMAIN_LEN);
            return true;
        }
    }
    return false;
}

// ---------------------------------------------------------------------------
// Server mappings

bool tunnel_mapping_lock_exists(void)
{
    return g_mapping_created.load();
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
    if (g_mapping_created.load()) {
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

bool tunnel_mapping_port_lookup(uint32_t dst_port, uint32_t *relay_addr, uint16_t *relay_port)
{
    if (!g_mapping_created.load())
        return false;
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

bool tunnel_is_relay_endpoint(uint32_t addr, uint16_t port)
{
    uint32_t pa;
    uint16_t pp;
    tunnel_primary_relay(&pa, &pp);
    if (pa == addr && pp == port)
        return true;
    if (!g_mapping_created.load())
        return false;
    std::lock_guard<std::mutex> g(g_mapping_lock);
    for (int i = 0; i < g_mapping_count; ++i) {
        if (g_mappings[i].relay_addr == addr && g_mappings[i].relay_port == port)
            return true;
    }
    return false;
}

bool tunnel_find_domain_mapping(const char *name, uint32_t *relay_addr, uint16_t *relay_port)
{
    if (!name || !g_mapping_created.load())
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
    g_mapping_created.store(true);
    char addr_copy[64];
    char pattern_copy[QUORLIX_DOMAIN_LEN];
    if (is_domain)
        copy_cut(pattern_copy, sizeof pattern_copy, pattern, QUORLIX_DOMAIN_LEN);
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
    g_mapping_created.store(true);
    {
        std::lock_guard<std::mutex> g(g_mapping_lock);
        g_mapping_count = 0;
        memset(g_mappings, 0, sizeof g_mappings);
        g_filter_rebuild.store(true);
    }
    quorlix_log("[MAPPING] Cleared all port/domain mappings\n");
}

// ---------------------------------------------------------------------------
// Application addresses

bool tunnel_app_ip_known_addr(uint32_t addr)
{
    std::lock_guard<std::mutex> g(g_app_ip_lock);
    return app_ip_find(addr) >= 0;
}

bool tunnel_app_ip_known(const char *text)
{
    if (!text)
        return false;
    char copy[QUORLIX_APP_IP_TEXT_LEN + 1];
    size_t n = strnlen(text, sizeof copy);
    if (n >= sizeof copy)
        return false; // longer than any stored text
    memcpy(copy, text, n + 1);
    struct in_addr a;
    if (inet_pton(AF_INET, copy, &a) != 1)
        return false;
    std::lock_guard<std::mutex> g(g_app_ip_lock);
    int i = app_ip_find(a.s_addr);
    return i >= 0 && strcmp(g_app_ips[i], copy) == 0;
}

bool tunnel_app_ip_route(uint32_t addr, uint32_t *relay_addr, uint16_t *relay_port)
{
    std::lock_guard<std::mutex> g(g_app_ip_lock);
    int i = app_ip_find(addr);
    // Routes are appended beside the list, so list index i is route index i
    // whenever that route exists.
    if (i < 0 || i >= g_app_route_count)
        return false;
    if (relay_addr)
        *relay_addr = g_app_routes[i].relay_addr;
    if (relay_port)
        *relay_port = g_app_routes[i].relay_port;
    return true;
}

bool tunnel_app_ip_add(uint32_t addr, uint32_t relay_addr, uint16_t relay_port)
{
    char text[INET_ADDRSTRLEN];
    addr_text(addr, text);
    if (text[0] == '\0')
        return false;
    int total;
    bool full = false;
    {
        std::lock_guard<std::mutex> g(g_app_ip_lock);
        if (app_ip_find(addr) >= 0)
            return false;
        total = g_app_ip_count;
        if (g_app_ip_count >= TUNNEL_MAX_APP_IPS) {
            full = true;
        } else {
            int i = g_app_ip_count++;
            copy_cut(g_app_ips[i], QUORLIX_APP_IP_TEXT_LEN, text, sizeof text);
            g_app_ip_addr[i] = addr;
            uint32_t h = app_hash_home(addr);
            while (g_app_hash[h] != 0)
                h = (h + 1) & (kAppHashSlots - 1);
            g_app_hash[h] = static_cast<uint16_t>(i + 1);
            if (g_app_route_count < TUNNEL_MAX_APP_IPS) {
                AppIpRoute &r = g_app_routes[g_app_route_count++];
                copy_cut(r.text, sizeof r.text, text, sizeof text);
                r.relay_addr = relay_addr;
                r.relay_port = relay_port;
            }
            total = g_app_ip_count;
        }
    }
    if (full) {
        quorlix_log("[APP-IP] Warning: IP list full (%d entries)\n", total);
        return false;
    }
    char relay_text[INET_ADDRSTRLEN];
    addr_text(relay_addr, relay_text);
    quorlix_log("[APP-IP] ✓ Added %s → %s:%u (total: %d)\n", text, relay_text,
                static_cast<unsigned>(relay_port), total);
    return true;
}

int tunnel_app_ip_count(void)
{
    std::lock_guard<std::mutex> g(g_app_ip_lock);
    return g_app_ip_count;
}

extern "C" void quorlix_clear_app_ips(void)
{
    {
        std::lock_guard<std::mutex> g(g_app_ip_lock);
        app_ip_clear_locked();
    }
    quorlix_log("[APP-IP] Cleared all IP mappings\n");
}

// ---------------------------------------------------------------------------
// Runtime updates

extern "C" void quorlix_update_domains(const char *patterns, int count)
{
    int stored;
    {
        std::lock_guard<std::mutex> g(g_config_lock);
        if (!g_run_active.load())
            return;
        memset(g_domains, 0, sizeof g_domains);
        if (!patterns || count == 0) {
            g_domain_count = 0;
        } else {
            int n = count > QUORLIX_MAX_DOMAINS ? QUORLIX_MAX_DOMAINS : count;
            for (int i = 0; i < n; ++i)
                copy_cut(g_domains[i], QUORLIX_DOMAIN_LEN, patterns + size_t(i) * QUORLIX_DOMAIN_LEN,
                         QUORLIX_DOMAIN_LEN);
            g_domain_count = n; // negative stays negative: no pattern in use
        }
        stored = g_domain_count;
        g_config_changed.store(true);
    }
    quorlix_log("[RUNTIME-UPDATE] Domains updated: count=%d\n", stored);
}

extern "C" void quorlix_update_entry(const char *relay_address, int relay_port)
{
    if (!relay_address)
        return;
    char copy[64];
    {
        std::lock_guard<std::mutex> g(g_config_lock);
        if (!g_run_active.load())
            return;
        uint32_t addr = parse_relay_address(relay_address, copy);
        if (addr == INADDR_NONE)
            return;
        tunnel_set_primary_relay(addr, static_cast<uint16_t>(relay_port & 0xffff));
        g_config_changed.store(true);
    }
    // The capture filter names the relays whose replies it admits; without a
    // rebuild the new primary relay's datagrams would never be captured.
    tunnel_request_filter_rebuild();
    quorlix_log("[RUNTIME-UPDATE] Entry server updated: %s:%d\n", copy, relay_port);
}

extern "C" void quorlix_update_ports(const int *udp_ports, int udp_count, const int *tcp_ports, int tcp_count)
{
    int udp_n = udp_count > QUORLIX_MAX_PORTS ? QUORLIX_MAX_PORTS : udp_count;
    int tcp_n = tcp_count > QUORLIX_MAX_PORTS ? QUORLIX_MAX_PORTS : tcp_count;
    {
        std::lock_guard<std::mutex> g(g_config_lock);
        if (!g_run_active.load())
            return;
        static uint32_t scratch[QUORLIX_MAX_PORTS]; // guarded by g_config_lock
        int n = (udp_ports && udp_n > 0) ? udp_n : 0;
        for (int i = 0; i < n; ++i)
            scratch[i] = static_cast<uint32_t>(udp_ports[i]);
        port_set_fill(g_udp_set, scratch, n, false);
        n = (tcp_ports && tcp_n > 0) ? tcp_n : 0;
        for (int i = 0; i < n; ++i)
            scratch[i] = static_cast<uint32_t>(tcp_ports[i]);
        port_set_fill(g_tcp_set, scratch, n, false);
        g_config_changed.store(true);
    }
    quorlix_log("[RUNTIME-UPDATE] Ports updated: UDP=%d, TCP=%d\n", udp_n, tcp_n);
}

// ---------------------------------------------------------------------------
// Statistics and flags

extern "C" void quorlix_reset_stats(void)
{
    g_tunnel_counters.bytes_sent.store(0, std::memory_order_relaxed);
    g_tunnel_counters.bytes_received.store(0, std::memory_order_relaxed);
    g_tunnel_counters.tunnel_packets_sent.store(0, std::memory_order_relaxed);
    g_tunnel_counters.tunnel_packets_received.store(0, std::memory_order_relaxed);
    std::lock_guard<std::mutex> g(g_config_lock);
    if (g_run_active.load())
        g_ack_reset_pending.store(true); // the engine thread owns the slots now
    else
        tunnel_ack_reset();
}

bool tunnel_verbose(void)
{
    return quorlix_log_is_verbose() != 0;
}

void tunnel_set_verbose(bool on)
{
    quorlix_log_set_verbose(on ? 1 : 0);
}

bool tunnel_ack_enabled(void)
{
    return g_ack_enabled.load(std::memory_order_relaxed);
}

extern "C" void quorlix_set_ack_enabled(int enabled)
{
    if (enabled == 0)
        g_ack_enabled.store(false);
    else if (tunnel_ack_relay_acknowledged())
        g_ack_enabled.store(true);
}

// ---------------------------------------------------------------------------

void tunnel_state_reset_for_tests(void)
{
    {
        std::lock_guard<std::mutex> g(g_config_lock);
        g_run_active.store(false);
        g_config_present.store(false);
        g_config_changed.store(false);
        memset(&g_stored, 0, sizeof g_stored);
        port_set_fill(g_udp_set, nullptr, 0, false);
        port_set_fill(g_tcp_set, nullptr, 0, false);
        memset(g_domains, 0, sizeof g_domains);
        g_domain_count = 0;
        g_primary.store(0);
    }
    {
        std::lock_guard<std::mutex> g(g_mapping_lock);
        memset(g_mappings, 0, sizeof g_mappings);
        g_mapping_count = 0;
        g_mapping_created.store(false);
    }
    {
        std::lock_guard<std::mutex> g(g_app_ip_lock);
        app_ip_clear_locked();
    }
    g_tunnel_counters.bytes_sent.store(0);
    g_tunnel_counters.bytes_received.store(0);
    g_tunnel_counters.tunnel_packets_sent.store(0);
    g_tunnel_counters.tunnel_packets_received.store(0);
    quorlix_log_set_verbose(0);
    g_ack_enabled.store(false);
    g_filter_rebuild.store(false);
    g_ack_reset_pending.store(false);
    tunnel_ack_reset();
    tunnel_mtu_reset_defaults();
}
