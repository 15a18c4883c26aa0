#include "engine/tunnel/tunnel_app_ips.h"

#include "engine/common/conf_text.h"
#include "engine/common/engine_log.h"
#include "engine/tunnel/quorlix_tunnel.h"

#include <arpa/inet.h>
#include <atomic>
#include <mutex>
#include <netinet/in.h>
#include <string.h>

namespace {

std::mutex g_app_ip_lock;

// Guarded by g_app_ip_lock. The list keeps its text form; a hash set over the 32-bit address finds an entry
// without a walk over up to 512 strings on every packet.
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

constexpr uint32_t kAppHashSlots = TUNNEL_APP_IP_HASH_SLOTS;
uint16_t g_app_hash[kAppHashSlots]; // index + 1 into g_app_ips, 0 = empty

uint32_t app_hash_home(uint32_t addr)
{
    return tunnel_app_ip_home(addr);
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
    for (std::atomic<uint64_t> &word : g_tunnel_app_ip_homes)
        word.store(0, std::memory_order_release);
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

} // namespace

std::atomic<uint64_t> g_tunnel_app_ip_homes[TUNNEL_APP_IP_HASH_SLOTS / 64];

bool tunnel_app_ip_search(uint32_t addr)
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
            conf_copy_cut_str(g_app_ips[i], QUORLIX_APP_IP_TEXT_LEN, text, sizeof text);
            g_app_ip_addr[i] = addr;
            const uint32_t home = app_hash_home(addr);
            uint32_t h = home;
            while (g_app_hash[h] != 0)
                h = (h + 1) & (kAppHashSlots - 1);
            g_app_hash[h] = static_cast<uint16_t>(i + 1);
            g_tunnel_app_ip_homes[home / 64].fetch_or(uint64_t(1) << (home % 64), std::memory_order_release);
            if (g_app_route_count < TUNNEL_MAX_APP_IPS) {
                AppIpRoute &r = g_app_routes[g_app_route_count++];
                conf_copy_cut_str(r.text, sizeof r.text, text, sizeof text);
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

void tunnel_app_ips_reset_for_tests(void)
{
    std::lock_guard<std::mutex> g(g_app_ip_lock);
    app_ip_clear_locked();
}
