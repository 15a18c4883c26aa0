// fuzz-sources: engine/tunnel/tunnel_conffile.cpp engine/tunnel/tunnel_state.cpp
// fuzz-sources: engine/tunnel/tunnel_run.cpp engine/tunnel/tunnel_config.cpp engine/tunnel/tunnel_ports.cpp
// fuzz-sources: engine/tunnel/tunnel_domain_list.cpp engine/tunnel/tunnel_domain_match.cpp
// fuzz-sources: engine/tunnel/tunnel_relays.cpp engine/tunnel/tunnel_app_ips.cpp engine/tunnel/tunnel_stats.cpp
// fuzz-sources: engine/tunnel/tunnel_domains.cpp engine/tunnel/tunnel_ack.cpp engine/tunnel/tunnel_mtu.cpp
// fuzz-sources: engine/common/engine_log.cpp engine/common/engine_clock.cpp engine/common/conf_text.cpp
//
// The PC engine's reader of "quorlix.conf" on hostile text: both passes, the
// engine settings it puts into effect, and the file path through the reader
// seam (two readings of the same bytes).

#include "engine/common/engine_log.h"
#include "engine/tunnel/tunnel_conffile.h"
#include "engine/tunnel/tunnel_mtu.h"

#include <stdlib.h>
#include <string.h>

namespace {
void quiet(int, const char *, size_t, void *) {}

struct Input
{
    const uint8_t *data;
    size_t size;
};

char *reader(const char *, size_t *len, void *ctx)
{
    const Input *in = static_cast<const Input *>(ctx);
    char *copy = static_cast<char *>(malloc(in->size ? in->size : 1));
    if (copy && in->size)
        memcpy(copy, in->data, in->size);
    *len = in->size;
    return copy;
}

void check(const TunnelRuntimeConfig *cfg)
{
    if (strnlen(cfg->entry_host, sizeof cfg->entry_host) >= sizeof cfg->entry_host)
        abort();
    if (strnlen(cfg->game_profile, sizeof cfg->game_profile) >= sizeof cfg->game_profile)
        abort();
    if (cfg->udp_port_count < 0 || cfg->udp_port_count > QUORLIX_MAX_PORTS)
        abort();
    if (cfg->tcp_port_count < 0 || cfg->tcp_port_count > QUORLIX_MAX_PORTS)
        abort();
    if (cfg->app_domain_count < 0 || cfg->app_domain_count > QUORLIX_MAX_DOMAINS)
        abort();
    for (int i = 0; i < cfg->app_domain_count; ++i) {
        if (strnlen(cfg->app_domains[i], QUORLIX_DOMAIN_LEN) >= QUORLIX_DOMAIN_LEN)
            abort();
    }
    if (cfg->mtu != 0 && (cfg->mtu < 576 || cfg->mtu > 1500))
        abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static TunnelRuntimeConfig *cfg = [] {
        quorlix_log_set_sink(quiet, nullptr);
        return static_cast<TunnelRuntimeConfig *>(calloc(1, sizeof(TunnelRuntimeConfig)));
    }();
    TunnelConfFileEngine eng;
    tunnel_conffile_parse(reinterpret_cast<const char *>(data), size, cfg, &eng);
    check(cfg);
    if (eng.have_mtu_min && (eng.mtu_min < 576 || eng.mtu_min > 1500))
        abort();
    if (eng.have_probe_interval && (eng.probe_interval_ms < 10000 || eng.probe_interval_ms > 300000))
        abort();

    Input in{data, size};
    tunnel_conffile_set_reader(reader, &in);
    if (tunnel_conffile_load("quorlix.conf", cfg) != 1)
        abort();
    tunnel_conffile_set_reader(nullptr, nullptr);
    check(cfg);
    const int safe = g_tunnel_mtu.safe_mtu.load();
    if (safe < 576 || safe > 1500)
        abort();
    tunnel_mtu_reset_defaults();
    return 0;
}
