#include "engine/tunnel/tunnel_ports.h"

#include "engine/common/engine_log.h"
#include "engine/tunnel/tunnel_run.h"

#include <atomic>
#include <stddef.h>
#include <string.h>

namespace {

// One bit per port, word-atomic so the loop reads without a lock.
struct PortSet
{
    std::atomic<uint64_t> words[65536 / 64];
    std::atomic<int> count{0};
};
PortSet g_udp_set;
PortSet g_tcp_set;

// Writers hold the configuration lock; the set is built aside and published
// word by word.
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

} // namespace

void tunnel_ports_from_record_locked(const TunnelRuntimeConfig *cfg)
{
    port_set_fill(g_udp_set, cfg->udp_ports, cfg->udp_port_count, true);
    port_set_fill(g_tcp_set, cfg->tcp_ports, cfg->tcp_port_count, true);
}

void tunnel_state_build_ports_at_start(const TunnelRuntimeConfig *cfg)
{
    if (!cfg)
        return;
    bool catch_all = false;
    {
        std::lock_guard<std::mutex> g(tunnel_config_lock());
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

extern "C" void quorlix_update_ports(const int *udp_ports, int udp_count, const int *tcp_ports, int tcp_count)
{
    int udp_n = udp_count > QUORLIX_MAX_PORTS ? QUORLIX_MAX_PORTS : udp_count;
    int tcp_n = tcp_count > QUORLIX_MAX_PORTS ? QUORLIX_MAX_PORTS : tcp_count;
    {
        std::lock_guard<std::mutex> g(tunnel_config_lock());
        if (!tunnel_state_run_active())
            return;
        static uint32_t scratch[QUORLIX_MAX_PORTS]; // guarded by the configuration lock
        int n = (udp_ports && udp_n > 0) ? udp_n : 0;
        for (int i = 0; i < n; ++i)
            scratch[i] = static_cast<uint32_t>(udp_ports[i]);
        port_set_fill(g_udp_set, scratch, n, false);
        n = (tcp_ports && tcp_n > 0) ? tcp_n : 0;
        for (int i = 0; i < n; ++i)
            scratch[i] = static_cast<uint32_t>(tcp_ports[i]);
        port_set_fill(g_tcp_set, scratch, n, false);
        tunnel_run_mark_config_changed();
    }
    quorlix_log("[RUNTIME-UPDATE] Ports updated: UDP=%d, TCP=%d\n", udp_n, tcp_n);
}

void tunnel_ports_reset_for_tests(void)
{
    std::lock_guard<std::mutex> g(tunnel_config_lock());
    port_set_fill(g_udp_set, nullptr, 0, false);
    port_set_fill(g_tcp_set, nullptr, 0, false);
}
