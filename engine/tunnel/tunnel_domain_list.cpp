#include "engine/tunnel/tunnel_domain_list.h"

#include "engine/common/conf_text.h"
#include "engine/common/engine_log.h"
#include "engine/tunnel/tunnel_domain_match.h"
#include "engine/tunnel/tunnel_run.h"
#include "engine/tunnel/tunnel_stats.h"

#include <string.h>

namespace {

// Guarded by the configuration lock.
char g_domains[QUORLIX_MAX_DOMAINS][QUORLIX_DOMAIN_LEN];
int g_domain_count = 0;

} // namespace

void tunnel_domain_list_from_record_locked(const TunnelRuntimeConfig *cfg)
{
    int n = cfg->app_domain_count;
    if (n > QUORLIX_MAX_DOMAINS)
        n = QUORLIX_MAX_DOMAINS;
    if (n < 0)
        n = 0;
    memset(g_domains, 0, sizeof g_domains);
    for (int i = 0; i < n; ++i)
        conf_copy_cut_str(g_domains[i], QUORLIX_DOMAIN_LEN, cfg->app_domains[i], QUORLIX_DOMAIN_LEN);
    g_domain_count = n;
}

void tunnel_state_load_domains_at_start(const TunnelRuntimeConfig *cfg)
{
    if (!cfg)
        return;
    char copy[QUORLIX_MAX_DOMAINS][QUORLIX_DOMAIN_LEN];
    int n;
    {
        std::lock_guard<std::mutex> g(tunnel_config_lock());
        tunnel_domain_list_from_record_locked(cfg);
        n = g_domain_count;
        memcpy(copy, g_domains, sizeof copy);
    }
    quorlix_log("[CONFIG] App domains loaded: %d\n", n);
    if (tunnel_verbose()) {
        for (int i = 0; i < n; ++i)
            quorlix_log("[CONFIG]   domain[%d]=%s\n", i, copy[i]);
    }
}

int tunnel_domain_count(void)
{
    std::lock_guard<std::mutex> g(tunnel_config_lock());
    return g_domain_count;
}

bool tunnel_domain_get(int i, char *out, size_t cap)
{
    if (!out || cap == 0)
        return false;
    std::lock_guard<std::mutex> g(tunnel_config_lock());
    if (i < 0 || i >= g_domain_count || i >= QUORLIX_MAX_DOMAINS)
        return false;
    conf_copy_cut_str(out, cap, g_domains[i], QUORLIX_DOMAIN_LEN);
    return true;
}

bool tunnel_domain_first_match(const char *name, char *pattern_out, size_t cap)
{
    if (!name)
        return false;
    std::lock_guard<std::mutex> g(tunnel_config_lock());
    for (int i = 0; i < g_domain_count && i < QUORLIX_MAX_DOMAINS; ++i) {
        if (tunnel_domain_pattern_match(g_domains[i], name)) {
            if (pattern_out && cap)
                conf_copy_cut_str(pattern_out, cap, g_domains[i], QUORLIX_DOMAIN_LEN);
            return true;
        }
    }
    return false;
}

extern "C" void quorlix_update_domains(const char *patterns, int count)
{
    int stored;
    {
        std::lock_guard<std::mutex> g(tunnel_config_lock());
        if (!tunnel_state_run_active())
            return;
        memset(g_domains, 0, sizeof g_domains);
        if (!patterns || count == 0) {
            g_domain_count = 0;
        } else {
            int n = count > QUORLIX_MAX_DOMAINS ? QUORLIX_MAX_DOMAINS : count;
            for (int i = 0; i < n; ++i)
                conf_copy_cut_str(g_domains[i], QUORLIX_DOMAIN_LEN, patterns + size_t(i) * QUORLIX_DOMAIN_LEN,
                                  QUORLIX_DOMAIN_LEN);
            g_domain_count = n; // negative stays negative: no pattern in use
        }
        stored = g_domain_count;
        tunnel_run_mark_config_changed();
    }
    quorlix_log("[RUNTIME-UPDATE] Domains updated: count=%d\n", stored);
}

void tunnel_domain_list_reset_for_tests(void)
{
    std::lock_guard<std::mutex> g(tunnel_config_lock());
    memset(g_domains, 0, sizeof g_domains);
    g_domain_count = 0;
}
