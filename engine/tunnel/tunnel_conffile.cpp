#include "engine/tunnel/tunnel_conffile.h"

#include "engine/common/conf_text.h"
#include "engine/common/engine_log.h"
#include "engine/tunnel/tunnel_mtu.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

using Slice = ConfSlice;

bool key_is(Slice key, const char *name)
{
    size_t n = strlen(name);
    return key.n == n && memcmp(key.p, name, n) == 0;
}

bool value_is_true(Slice v)
{
    return v.n == 4 && memcmp(v.p, "true", 4) == 0;
}

// Walks the non-empty comma-separated pieces of a list while fewer than cap
// entries are stored; store(piece, count) stores what a piece holds (at most
// up to cap) and moves count on. Returns the count stored.
template <typename Store> int fill_list(const char *value, size_t len, int cap, Store store)
{
    int count = 0;
    size_t i = 0;
    while (i < len && count < cap) {
        Slice piece = conf_next_piece(value, len, &i, ',');
        if (piece.n != 0)
            store(piece, count);
    }
    return count;
}

// A number that counts only within lo..hi (anything else is ignored).
bool read_bounded(Slice v, int lo, int hi, int *out)
{
    int n = conf_read_int(v.p, v.n);
    if (n < lo || n > hi)
        return false;
    *out = n;
    return true;
}

// An engine setting that is either given (have = 1) or left to the engine.
void set_bounded(Slice v, int lo, int hi, int *have, int *out)
{
    if (read_bounded(v, lo, hi, out))
        *have = 1;
}

// Reads a whole file; returns a malloc'd buffer (caller frees) or null. A
// directory by the name and a read that fails count as a file that cannot be
// opened.
char *read_file(const char *path, size_t *len)
{
    FILE *f = conf_open_file(path);
    if (!f)
        return nullptr;
    char *buf = conf_read_stream(f, len);
    fclose(f);
    return buf;
}

tunnel_conffile_reader_fn g_reader = nullptr;
void *g_reader_ctx = nullptr;

char *read_config(const char *path, size_t *len)
{
    if (g_reader)
        return g_reader(path, len, g_reader_ctx);
    return read_file(path, len);
}

} // namespace

void tunnel_conffile_set_reader(tunnel_conffile_reader_fn fn, void *ctx)
{
    g_reader = fn;
    g_reader_ctx = ctx;
}

int tunnel_parse_port_list_n(const char *value, size_t len, uint32_t *out, int cap)
{
    if (!value || !out || cap <= 0)
        return 0;
    return fill_list(value, len, cap, [&](Slice piece, int &count) {
        int first = 0, last = 0;
        if (conf_read_range(piece, &first, &last)) {
            // 64-bit walk: an end at INT_MAX cannot wrap, and the table's
            // capacity ends a huge range.
            for (int64_t v = first; v <= last && count < cap; ++v)
                out[count++] = static_cast<uint32_t>(static_cast<int32_t>(v));
        } else {
            out[count++] = static_cast<uint32_t>(first);
        }
    });
}

int tunnel_parse_port_list(const char *value, uint32_t *out, int cap)
{
    if (!value)
        return 0;
    return tunnel_parse_port_list_n(value, strlen(value), out, cap);
}

int tunnel_parse_domain_list_n(const char *value, size_t len, char (*out)[QUORLIX_DOMAIN_LEN], int cap)
{
    if (!value || !out || cap <= 0)
        return 0;
    return fill_list(value, len, cap, [&](Slice piece, int &count) {
        piece = conf_trim(piece, " \t");
        if (piece.n > QUORLIX_DOMAIN_LEN - 1)
            piece.n = QUORLIX_DOMAIN_LEN - 1;
        for (size_t k = 0; k < piece.n; ++k)
            out[count][k] = conf_fold(piece.p[k]);
        out[count][piece.n] = '\0';
        ++count;
    });
}

void tunnel_conffile_init(TunnelRuntimeConfig *cfg)
{
    if (!cfg)
        return;
    memset(cfg->entry_host, 0, sizeof cfg->entry_host);
    memcpy(cfg->entry_host, TUNNEL_DEFAULT_ENTRY_HOST, sizeof TUNNEL_DEFAULT_ENTRY_HOST);
    cfg->entry_port = TUNNEL_DEFAULT_RELAY_PORT;
    memset(cfg->game_profile, 0, sizeof cfg->game_profile);
    memcpy(cfg->game_profile, "warzone", sizeof "warzone");
    cfg->udp_port_count = 0;
    cfg->tcp_port_count = 0;
    cfg->app_ip_count = 0;
    cfg->app_domain_count = 0;
    cfg->enable_tcp = 1;
    cfg->debug_mode = 1;
    cfg->mtu = 0;
}

void tunnel_conffile_pass(const char *text, size_t len, int pass, TunnelRuntimeConfig *cfg,
                          TunnelConfFileEngine *eng)
{
    if (!text || !cfg)
        return;
    TunnelConfFileEngine unused;
    if (!eng)
        eng = &unused;
    bool in_profile = false;
    size_t pos = 0;
    while (pos < len) {
        // The line ends at its first CR (or a stray NUL byte).
        Slice line = conf_cut_at(conf_cut_at(conf_next_piece(text, len, &pos, '\n'), '\0'), '\r');
        ConfLine l = conf_classify(line);
        if (l.kind == ConfLineKind::Section) {
            char section[QUORLIX_PROFILE_LEN];
            conf_copy_cut(section, sizeof section, l.section);
            in_profile = strcmp(section, cfg->game_profile) == 0;
            continue;
        }
        if (l.kind != ConfLineKind::Setting)
            continue;
        Slice key = l.key;
        Slice val = l.value;

        if (pass == 1) {
            if (key_is(key, "entry_host")) {
                conf_copy_cut(cfg->entry_host, sizeof cfg->entry_host, val);
                continue;
            }
            if (key_is(key, "entry_port")) {
                cfg->entry_port = conf_read_int(val.p, val.n);
                continue;
            }
            if (key_is(key, "game_profile")) {
                conf_copy_cut(cfg->game_profile, sizeof cfg->game_profile, val);
                continue;
            }
            if (key_is(key, "debug_mode")) {
                int on = value_is_true(val);
                cfg->debug_mode = on;
                eng->have_verbose = 1;
                eng->verbose = on;
                continue;
            }
            int v = 0;
            if (key_is(key, "mtu_safe")) {
                if (read_bounded(val, 576, 1500, &v))
                    cfg->mtu = static_cast<uint32_t>(v);
                continue;
            }
            if (key_is(key, "mtu_min")) {
                set_bounded(val, 576, 1500, &eng->have_mtu_min, &eng->mtu_min);
                continue;
            }
            if (key_is(key, "mtu_max")) {
                set_bounded(val, 576, 1500, &eng->have_mtu_max, &eng->mtu_max);
                continue;
            }
            if (key_is(key, "mtu_probe_interval")) {
                if (read_bounded(val, 10, 300, &v)) {
                    eng->have_probe_interval = 1;
                    eng->probe_interval_ms = static_cast<uint32_t>(v) * 1000u;
                }
                continue;
            }
        }
        if (!in_profile)
            continue;
        if (key_is(key, "udp_ports")) {
            cfg->udp_port_count = tunnel_parse_port_list_n(val.p, val.n, cfg->udp_ports, QUORLIX_MAX_PORTS);
        } else if (key_is(key, "tcp_ports")) {
            cfg->tcp_port_count = tunnel_parse_port_list_n(val.p, val.n, cfg->tcp_ports, QUORLIX_MAX_PORTS);
        } else if (key_is(key, "enable_tcp")) {
            cfg->enable_tcp = value_is_true(val) ? 1 : 0;
        } else if (key_is(key, "app_domains")) {
            cfg->app_domain_count =
                tunnel_parse_domain_list_n(val.p, val.n, cfg->app_domains, QUORLIX_MAX_DOMAINS);
        }
    }
}

void tunnel_conffile_parse(const char *text, size_t len, TunnelRuntimeConfig *cfg, TunnelConfFileEngine *eng)
{
    if (!cfg)
        return;
    TunnelConfFileEngine unused;
    if (!eng)
        eng = &unused;
    memset(eng, 0, sizeof *eng);
    tunnel_conffile_init(cfg);
    tunnel_conffile_pass(text, len, 1, cfg, eng);
    tunnel_conffile_pass(text, len, 2, cfg, eng);
}

void tunnel_conffile_apply_engine(const TunnelRuntimeConfig *cfg, const TunnelConfFileEngine *eng)
{
    if (eng) {
        if (eng->have_verbose)
            quorlix_log_set_verbose(eng->verbose != 0 ? 1 : 0);
        if (eng->have_mtu_min)
            g_tunnel_mtu.lower_bound = eng->mtu_min;
        if (eng->have_mtu_max)
            g_tunnel_mtu.upper_bound = eng->mtu_max;
        if (eng->have_probe_interval)
            g_tunnel_mtu.probe_interval_ms = eng->probe_interval_ms;
    }
    if (cfg && cfg->mtu >= 576 && cfg->mtu <= 1500) {
        g_tunnel_mtu.safe_mtu.store(static_cast<int>(cfg->mtu));
        g_tunnel_mtu.upper_bound = static_cast<int>(cfg->mtu);
    }
}

int tunnel_conffile_load(const char *path, TunnelRuntimeConfig *cfg)
{
    if (!path || !cfg)
        return 0;
    size_t len = 0;
    char *text = read_config(path, &len);
    if (!text) {
        quorlix_log("[ERROR] Cannot open quorlix.conf file\n");
        return 0;
    }
    TunnelConfFileEngine eng;
    memset(&eng, 0, sizeof eng);
    tunnel_conffile_init(cfg);
    tunnel_conffile_pass(text, len, 1, cfg, &eng);
    free(text);
    tunnel_conffile_apply_engine(cfg, &eng);

    // "game_profile" may stand below the section it names, so the profile keys
    // are read once more for the final profile name.
    text = read_config(path, &len);
    if (!text) {
        quorlix_log("[WARN] Cannot reopen quorlix.conf; keeping the settings read so far\n");
        return 1;
    }
    tunnel_conffile_pass(text, len, 2, cfg, &eng);
    free(text);
    return 1;
}
