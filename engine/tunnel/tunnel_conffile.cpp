#include "engine/tunnel/tunnel_conffile.h"

#include "engine/tunnel/engine_log.h"
#include "engine/tunnel/tunnel_mtu.h"
#include "engine/tunnel/tunnel_state.h"

#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

namespace {

// A hand-written file larger than this is not a configuration file; reading
// stops there rather than allocating without bound.
constexpr size_t kMaxFileBytes = 16u * 1024u * 1024u;

struct Slice {
    const char *p;
    size_t n;
};

bool is_c_space(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// atoi over a slice: leading white space, an optional sign, the leading digits;
// saturates at the int range instead of overflowing.
int read_int(const char *p, size_t n)
{
    size_t i = 0;
    while (i < n && is_c_space(p[i]))
        ++i;
    bool neg = false;
    if (i < n && (p[i] == '+' || p[i] == '-')) {
        neg = p[i] == '-';
        ++i;
    }
    int64_t v = 0;
    for (; i < n && p[i] >= '0' && p[i] <= '9'; ++i) {
        if (v <= int64_t(INT_MAX) + 1)
            v = v * 10 + (p[i] - '0');
    }
    if (neg)
        v = -v;
    if (v > INT_MAX)
        return INT_MAX;
    if (v < INT_MIN)
        return INT_MIN;
    return static_cast<int>(v);
}

bool key_is(Slice key, const char *name)
{
    size_t n = strlen(name);
    return key.n == n && memcmp(key.p, name, n) == 0;
}

bool value_is_true(Slice v)
{
    return v.n == 4 && memcmp(v.p, "true", 4) == 0;
}

void copy_slice(char *dst, size_t dst_size, Slice v)
{
    size_t n = v.n < dst_size - 1 ? v.n : dst_size - 1;
    memcpy(dst, v.p, n);
    dst[n] = '\0';
}

bool in_range(int v, int lo, int hi)
{
    return v >= lo && v <= hi;
}

// Reads a whole file; returns a malloc'd buffer (caller frees) or null. A
// directory by the name opens on Linux but is no file to read: it counts as
// one that cannot be opened, and so does a read that fails.
char *read_file(const char *path, size_t *len)
{
    FILE *f = fopen(path, "rb");
    if (!f)
        return nullptr;
    struct stat st;
    if (fstat(fileno(f), &st) != 0 || S_ISDIR(st.st_mode)) {
        fclose(f);
        return nullptr;
    }
    size_t cap = 4096, n = 0;
    char *buf = static_cast<char *>(malloc(cap));
    while (buf) {
        if (n == cap) {
            if (cap >= kMaxFileBytes)
                break;
            size_t next = cap * 2 > kMaxFileBytes ? kMaxFileBytes : cap * 2;
            char *grown = static_cast<char *>(realloc(buf, next));
            if (!grown) {
                free(buf);
                buf = nullptr;
                break;
            }
            buf = grown;
            cap = next;
        }
        size_t got = fread(buf + n, 1, cap - n, f);
        n += got;
        if (got == 0)
            break;
    }
    if (buf && ferror(f)) {
        free(buf);
        buf = nullptr;
    }
    fclose(f);
    if (buf && n == kMaxFileBytes) {
        // Cut back to the last complete line so no setting is half-read.
        while (n > 0 && buf[n - 1] != '\n')
            --n;
    }
    *len = n;
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
    int count = 0;
    size_t i = 0;
    while (i < len && count < cap) {
        size_t start = i;
        while (i < len && value[i] != ',')
            ++i;
        const char *piece = value + start;
        size_t n = i - start;
        ++i; // past the comma
        if (n == 0)
            continue;
        const char *dash = static_cast<const char *>(memchr(piece, '-', n));
        if (dash) {
            size_t a_len = size_t(dash - piece);
            int64_t first = read_int(piece, a_len);
            int64_t last = read_int(dash + 1, n - a_len - 1);
            // 64-bit walk: an end at INT_MAX cannot wrap, and the table's
            // capacity ends a huge range.
            for (int64_t v = first; v <= last && count < cap; ++v)
                out[count++] = static_cast<uint32_t>(static_cast<int32_t>(v));
        } else {
            out[count++] = static_cast<uint32_t>(read_int(piece, n));
        }
    }
    return count;
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
    int count = 0;
    size_t i = 0;
    while (i < len && count < cap) {
        size_t start = i;
        while (i < len && value[i] != ',')
            ++i;
        size_t end = i;
        ++i;
        if (end == start)
            continue;
        while (start < end && (value[start] == ' ' || value[start] == '\t'))
            ++start;
        while (end > start && (value[end - 1] == ' ' || value[end - 1] == '\t'))
            --end;
        size_t n = end - start;
        if (n > QUORLIX_DOMAIN_LEN - 1)
            n = QUORLIX_DOMAIN_LEN - 1;
        for (size_t k = 0; k < n; ++k) {
            char c = value[start + k];
            out[count][k] = (c >= 'A' && c <= 'Z') ? char(c + 32) : c;
        }
        out[count][n] = '\0';
        ++count;
    }
    return count;
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
        const char *line = text + pos;
        const char *nl = static_cast<const char *>(memchr(line, '\n', len - pos));
        size_t raw = nl ? size_t(nl - line) : len - pos;
        pos += raw + (nl ? 1 : 0);
        // The line ends at its first CR (or a stray NUL byte).
        size_t n = 0;
        while (n < raw && line[n] != '\r' && line[n] != '\0')
            ++n;
        if (n == 0 || line[0] == '#')
            continue;
        if (line[0] == '[') {
            const char *close = static_cast<const char *>(memchr(line + 1, ']', n - 1));
            if (!close)
                continue; // not a section line; the current section stays
            char section[QUORLIX_PROFILE_LEN];
            copy_slice(section, sizeof section, Slice{line + 1, size_t(close - line - 1)});
            in_profile = strcmp(section, cfg->game_profile) == 0;
            continue;
        }
        const char *eq = static_cast<const char *>(memchr(line, '=', n));
        if (!eq)
            continue;
        Slice key{line, size_t(eq - line)};
        Slice val{eq + 1, n - key.n - 1};

        if (pass == 1) {
            if (key_is(key, "entry_host")) {
                copy_slice(cfg->entry_host, sizeof cfg->entry_host, val);
                continue;
            }
            if (key_is(key, "entry_port")) {
                cfg->entry_port = read_int(val.p, val.n);
                continue;
            }
            if (key_is(key, "game_profile")) {
                copy_slice(cfg->game_profile, sizeof cfg->game_profile, val);
                continue;
            }
            if (key_is(key, "debug_mode")) {
                int on = value_is_true(val);
                cfg->debug_mode = on;
                eng->have_verbose = 1;
                eng->verbose = on;
                continue;
            }
            if (key_is(key, "mtu_safe")) {
                int v = read_int(val.p, val.n);
                if (in_range(v, 576, 1500))
                    cfg->mtu = static_cast<uint32_t>(v);
                continue;
            }
            if (key_is(key, "mtu_min")) {
                int v = read_int(val.p, val.n);
                if (in_range(v, 576, 1500)) {
                    eng->have_mtu_min = 1;
                    eng->mtu_min = v;
                }
                continue;
            }
            if (key_is(key, "mtu_max")) {
                int v = read_int(val.p, val.n);
                if (in_range(v, 576, 1500)) {
                    eng->have_mtu_max = 1;
                    eng->mtu_max = v;
                }
                continue;
            }
            if (key_is(key, "mtu_probe_interval")) {
                int v = read_int(val.p, val.n);
                if (in_range(v, 10, 300)) {
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
            tunnel_set_verbose(eng->verbose != 0);
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
