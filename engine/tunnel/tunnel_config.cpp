#include "engine/tunnel/tunnel_config.h"

#include "engine/common/conf_text.h"
#include "engine/common/engine_log.h"
#include "engine/tunnel/tunnel_domain_list.h"
#include "engine/tunnel/tunnel_ports.h"
#include "engine/tunnel/tunnel_run.h"

#include <atomic>
#include <string.h>

namespace {

std::atomic<bool> g_config_present{false};

// Guarded by the configuration lock. Large, so it lives here rather than on a
// stack.
TunnelRuntimeConfig g_stored;

} // namespace

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
        std::lock_guard<std::mutex> g(tunnel_config_lock());
        if (g_config_present.load()) {
            memcpy(out, &g_stored, sizeof *out);
            if (out->entry_host[0] == '\0')
                conf_copy_cut_str(out->entry_host, sizeof out->entry_host, TUNNEL_DEFAULT_ENTRY_HOST, 64);
            if (out->entry_port <= 0)
                out->entry_port = TUNNEL_DEFAULT_RELAY_PORT;
            quorlix_log_set_verbose(out->debug_mode != 0);
            return 1;
        }
    }
    return tunnel_conffile_load("quorlix.conf", out);
}

extern "C" void quorlix_set_runtime_config(const TunnelRuntimeConfig *cfg)
{
    if (!cfg)
        return;
    std::lock_guard<std::mutex> g(tunnel_config_lock());
    memcpy(&g_stored, cfg, sizeof g_stored);
    tunnel_config_sanitize(&g_stored);
    g_config_present.store(true);
    if (!tunnel_state_run_active())
        return; // the next run applies it at its start
    tunnel_run_mark_config_changed();
    tunnel_ports_from_record_locked(&g_stored);
    tunnel_domain_list_from_record_locked(&g_stored);
}

extern "C" void quorlix_clear_runtime_config(void)
{
    std::lock_guard<std::mutex> g(tunnel_config_lock());
    g_config_present.store(false);
}

void tunnel_config_reset_for_tests(void)
{
    std::lock_guard<std::mutex> g(tunnel_config_lock());
    g_config_present.store(false);
    memset(&g_stored, 0, sizeof g_stored);
}
