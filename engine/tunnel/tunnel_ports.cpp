#include "engine/tunnel/tunnel_ports.h"

#include "engine/common/engine_log.h"
#include "engine/tunnel/tunnel_run.h"

#include <atomic>
#include <stddef.h>
#include <string.h>

TunnelPortSet g_tunnel_udp_ports;
TunnelPortSet g_tunnel_tcp_ports;

namespace {

// Writers hold the configuration lock; the set is built aside and published
// word by word.
void port_set_publish(TunnelPortSet &set, const uint64_t *bits, int count)
{
    for (size_t i = 0; i < 65536 / 64; ++i)
        set.words[i].store(bits[i], std::memory_order_relaxed);
    set.count.store(count, std::memory_order_relaxed);
}

void port_set_fill(TunnelPortSet &set, const uint32_t *ports, int count, bool catch_all_from_60000)
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

} // namespace

void tunnel_ports_from_record_locked(const TunnelRuntimeConfig *cfg)
{
    port_set_fill(g_tunnel_udp_ports, cfg->udp_ports, cfg->udp_port_count, true);
    port_set_fill(g_tunnel_tcp_ports, cfg->tcp_ports, cfg->tcp_port_count, true);
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
            port_set_publish(g_tunnel_udp_ports, bits, QUORLIX_MAX_PORTS);
            catch_all = true;
        } else {
            port_set_fill(g_tunnel_udp_ports, cfg->udp_ports, udp, false);
        }
        if (cfg->enable_tcp)
            port_set_fill(g_tunnel_tcp_ports, cfg->tcp_ports, cfg->tcp_port_count, false);
        else
            port_set_fill(g_tunnel_tcp_ports, nullptr, 0, false);
    }
    if (catch_all)
        quorlix_log("[CONFIG] UDP: Catch-all mode enabled (all 65536 ports)\n");
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
        port_set_fill(g_tunnel_udp_ports, scratch, n, false);
        n = (tcp_ports && tcp_n > 0) ? tcp_n : 0;
        for (int i = 0; i < n; ++i)
            scratch[i] = static_cast<uint32_t>(tcp_ports[i]);
        port_set_fill(g_tunnel_tcp_ports, scratch, n, false);
        tunnel_run_mark_config_changed();
    }
    quorlix_log("[RUNTIME-UPDATE] Ports updated: UDP=%d, TCP=%d\n", udp_n, tcp_n);
}

void tunnel_ports_reset_for_tests(void)
{
    std::lock_guard<std::mutex> g(tunnel_config_lock());
    port_set_fill(g_tunnel_udp_ports, nullptr, 0, false);
    port_set_fill(g_tunnel_tcp_ports, nullptr, 0, false);
}
