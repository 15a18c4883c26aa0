#include "engine/console/console_conffile.h"

#include "engine/common/conf_text.h"
#include "engine/common/engine_log.h"

#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

namespace {

using Slice = ConfSlice;

// Blanks this dialect trims from lines, section names, keys and values.
constexpr const char kBlanks[] = " \t\r\n";

Slice trim(Slice s)
{
    return conf_trim(s, kBlanks);
}

bool equal_ci(Slice a, const char *b)
{
    size_t n = strlen(b);
    if (a.n != n)
        return false;
    for (size_t i = 0; i < n; ++i) {
        if (conf_fold(a.p[i]) != conf_fold(b[i]))
            return false;
    }
    return true;
}

bool flag_value(Slice v)
{
    return equal_ci(v, "1") || equal_ci(v, "true") || equal_ci(v, "yes");
}

// Sets one port; 1 when it was not set before.
unsigned long set_port(uint8_t *bitmap, unsigned p)
{
    const uint8_t bit = uint8_t(1u << (p & 7));
    if (bitmap[p >> 3] & bit)
        return 0;
    bitmap[p >> 3] |= bit;
    return 1;
}

// Sets ports lo..hi; returns how many were not set before, so a list is
// counted as it is read rather than by a walk of the whole set after it.
unsigned long set_range(uint8_t *bitmap, unsigned lo, unsigned hi)
{
    unsigned long added = 0;
    unsigned p = lo;
    while (p <= hi && (p & 7) != 0)
        added += set_port(bitmap, p++);
    if (p <= hi) {
        // Whole bytes: what they held is counted a word at a time, then
        // they are filled at once.
        uint8_t *from = bitmap + (p >> 3);
        const size_t bytes = (size_t(hi) + 1 - p) / 8;
        unsigned long had = 0;
        size_t b = 0;
        for (; b + sizeof(uint64_t) <= bytes; b += sizeof(uint64_t)) {
            uint64_t word;
            memcpy(&word, from + b, sizeof word);
            had += static_cast<unsigned long>(__builtin_popcountll(word));
        }
        for (; b < bytes; ++b)
            had += static_cast<unsigned long>(__builtin_popcount(from[b]));
        memset(from, 0xff, bytes);
        added += bytes * 8 - had;
        p += unsigned(bytes * 8);
    }
    while (p <= hi)
        added += set_port(bitmap, p++);
    return added;
}

// Splits text into lines the console way: at LF, each line cut at a NUL byte,
// then trimmed. Calls fn(line) for every line, empty ones included.
template <typename Fn> void for_each_line(const char *text, size_t len, Fn fn)
{
    size_t pos = 0;
    while (pos < len)
        fn(trim(conf_cut_at(conf_next_piece(text, len, &pos, '\n'), '\0')));
}

// The shared line sorting with this dialect's trimming: a section name is
// trimmed and cut to 127 characters, keys and values are trimmed.
ConfLine classify(Slice line)
{
    ConfLine r = conf_classify(line);
    if (r.kind == ConfLineKind::Section) {
        r.section = trim(r.section);
        if (r.section.n > 127)
            r.section.n = 127;
    } else if (r.kind == ConfLineKind::Setting) {
        r.key = trim(r.key);
        r.value = trim(r.value);
    }
    return r;
}

} // namespace

extern "C" void gateway_settings_init(GatewayFileSettings *s)
{
    if (!s)
        return;
    memset(s, 0, sizeof *s);
    strcpy(s->server_ip, GATEWAY_DEFAULT_SERVER_IP);
    s->server_port = GATEWAY_DEFAULT_SERVER_PORT;
    strcpy(s->profile, "custom");
    strcpy(s->gateway, "172.22.255.34");
    strcpy(s->subnet, "255.255.0.0");
    strcpy(s->dns, "1.1.1.1");
}

extern "C" void gateway_parse_port_bitmap_n(const char *text, size_t len, uint8_t *bitmap,
                                            unsigned long *count)
{
    if (!bitmap || !count)
        return;
    memset(bitmap, 0, GATEWAY_PORT_BITMAP_BYTES);
    *count = 0;
    if (!text)
        return;
    size_t i = 0;
    while (i < len && text[i] != '\0') {
        size_t start = i;
        while (i < len && text[i] != '\0' && text[i] != ',' && text[i] != ' ' && text[i] != '\t')
            ++i;
        const char *piece = text + start;
        size_t n = i - start;
        if (i < len && text[i] != '\0')
            ++i; // past the separator
        if (n == 0)
            continue;
        int first = 0, last = 0;
        if (conf_read_range(Slice{piece, n}, &first, &last)) {
            int64_t a = first;
            int64_t b = last;
            if (a < 1)
                a = 1;
            if (b > 65535)
                b = 65535;
            int64_t lo = a < b ? a : b;
            int64_t hi = a < b ? b : a;
            if (lo < 1)
                lo = 1;
            if (hi > 65535)
                hi = 65535;
            if (lo <= hi)
                *count += set_range(bitmap, unsigned(lo), unsigned(hi));
        } else {
            int64_t v = first;
            if (v >= 1 && v <= 65535)
                *count += set_port(bitmap, unsigned(v));
        }
    }
}

extern "C" void gateway_parse_port_bitmap(const char *text, uint8_t *bitmap, unsigned long *count)
{
    gateway_parse_port_bitmap_n(text, text ? strlen(text) : 0, bitmap, count);
}

extern "C" int gateway_port_bitmap_test(const uint8_t *bitmap, unsigned port)
{
    if (!bitmap || port > 65535)
        return 0;
    return (bitmap[port >> 3] >> (port & 7)) & 1;
}

extern "C" void gateway_parse_global_text(const char *text, size_t len, GatewayFileSettings *s)
{
    if (!text || !s)
        return;
    bool in_global = false;
    for_each_line(text, len, [&](Slice line) {
        ConfLine p = classify(line);
        if (p.kind == ConfLineKind::Section) {
            in_global = equal_ci(p.section, "global");
            return;
        }
        if (p.kind != ConfLineKind::Setting || !in_global)
            return;
        if (equal_ci(p.key, "server_ip")) {
            conf_copy_cut(s->server_ip, sizeof s->server_ip, p.value);
        } else if (equal_ci(p.key, "server_port")) {
            int64_t v = conf_read_int(p.value.p, p.value.n);
            if (v >= 1 && v <= 65535)
                s->server_port = static_cast<uint16_t>(v);
        } else if (equal_ci(p.key, "profile")) {
            conf_copy_cut(s->profile, sizeof s->profile, p.value);
        } else if (equal_ci(p.key, "gateway")) {
            conf_copy_cut(s->gateway, sizeof s->gateway, p.value);
        } else if (equal_ci(p.key, "subnet")) {
            conf_copy_cut(s->subnet, sizeof s->subnet, p.value);
        } else if (equal_ci(p.key, "dns")) {
            conf_copy_cut(s->dns, sizeof s->dns, p.value);
        } else if (equal_ci(p.key, "tunnel_all_ports")) {
            s->tunnel_all_ports = flag_value(p.value) ? 1 : 0;
        } else if (equal_ci(p.key, "verbose_packets")) {
            s->verbose_packets = flag_value(p.value) ? 1 : 0;
        } else if (equal_ci(p.key, "verbose_packets_max_per_sec")) {
            int64_t v = conf_read_int(p.value.p, p.value.n);
            s->verbose_packets_max_per_sec = v < 0 ? 0 : static_cast<int>(v);
        }
    });
}

extern "C" int gateway_parse_profile_text(const char *text, size_t len, const char *profile, uint8_t *udp,
                                          unsigned long *udp_count, uint8_t *tcp, unsigned long *tcp_count)
{
    if (!text || !udp || !udp_count || !tcp || !tcp_count)
        return 0;
    if (!profile)
        profile = "";
    int occurrences = 0;
    bool in_profile = false;
    for_each_line(text, len, [&](Slice line) {
        ConfLine p = classify(line);
        if (p.kind == ConfLineKind::Section) {
            in_profile = equal_ci(p.section, profile);
            if (in_profile) {
                ++occurrences;
                memset(udp, 0, GATEWAY_PORT_BITMAP_BYTES);
                memset(tcp, 0, GATEWAY_PORT_BITMAP_BYTES);
                *udp_count = 0;
                *tcp_count = 0;
            }
            return;
        }
        if (p.kind != ConfLineKind::Setting || !in_profile)
            return;
        if (equal_ci(p.key, "udp_ports")) {
            gateway_parse_port_bitmap_n(p.value.p, p.value.n, udp, udp_count);
            quorlix_log("[CONFIG]   UDP ports: %lu entries\n", *udp_count);
        } else if (equal_ci(p.key, "tcp_ports")) {
            gateway_parse_port_bitmap_n(p.value.p, p.value.n, tcp, tcp_count);
            quorlix_log("[CONFIG]   TCP ports: %lu entries\n", *tcp_count);
        }
    });
    return occurrences;
}

extern "C" int gateway_is_builtin_profile(const char *name)
{
    if (!name)
        return 0;
    Slice s{name, strlen(name)};
    return equal_ci(s, "tcp443only") || equal_ci(s, "tcp443");
}

extern "C" void gateway_set_builtin_port_sets(uint8_t *udp, unsigned long *udp_count, uint8_t *tcp,
                                              unsigned long *tcp_count)
{
    gateway_parse_port_bitmap("", udp, udp_count);
    gateway_parse_port_bitmap("443", tcp, tcp_count);
}

extern "C" void gateway_set_default_port_sets(uint8_t *udp, unsigned long *udp_count, uint8_t *tcp,
                                              unsigned long *tcp_count)
{
    gateway_parse_port_bitmap("53,88,500,3074,3478,3479,3544,4500,5353", udp, udp_count);
    gateway_parse_port_bitmap("80,443,3074", tcp, tcp_count);
}

extern "C" int gateway_find_config_path(char *out, size_t cap)
{
    if (!out || cap == 0)
        return 0;
    out[0] = '\0';
    char exe[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe);
    if (n <= 0 || size_t(n) >= sizeof exe)
        return 0; // unreadable, or the path filled the whole buffer
    exe[n] = '\0';
    char *slash = strrchr(exe, '/');
    if (!slash)
        return 0;
    slash[1] = '\0';
    static const char kName[] = "quorlix.conf";
    size_t dir_len = strlen(exe);
    if (dir_len + sizeof kName > cap)
        return 0;
    memcpy(out, exe, dir_len);
    memcpy(out + dir_len, kName, sizeof kName);
    return 1;
}

extern "C" FILE *gateway_open_config(const char *preferred_path)
{
    if (preferred_path && preferred_path[0]) {
        FILE *f = conf_open_file(preferred_path);
        if (f)
            return f;
    }
    return conf_open_file("quorlix.conf");
}

extern "C" void gateway_load_global_config(const char *preferred_path, GatewayFileSettings *s)
{
    if (!s)
        return;
    FILE *f = gateway_open_config(preferred_path);
    if (!f)
        return;
    size_t len = 0;
    char *text = conf_read_stream(f, &len);
    fclose(f);
    if (!text)
        return;
    gateway_parse_global_text(text, len, s);
    free(text);
}

extern "C" int gateway_load_profile(const char *profile, const char *preferred_path, uint8_t *udp,
                                    unsigned long *udp_count, uint8_t *tcp, unsigned long *tcp_count)
{
    if (!udp || !udp_count || !tcp || !tcp_count)
        return 0;
    if (!profile)
        profile = "";
    const bool have_path = preferred_path && preferred_path[0];
    if (gateway_is_builtin_profile(profile)) {
        gateway_set_builtin_port_sets(udp, udp_count, tcp, tcp_count);
        quorlix_log("[CONFIG] Built-in profile '%s': tunnel TCP=443 only (UDP=0)\n", profile);
        return 1;
    }
    FILE *f = gateway_open_config(preferred_path);
    size_t len = 0;
    char *text = nullptr;
    if (f) {
        text = conf_read_stream(f, &len);
        fclose(f);
    }
    if (!text) {
        if (have_path)
            quorlix_log_err("[WARN] Could not open config '%s' (or cwd quorlix.conf), using defaults\n",
                            preferred_path);
        else
            quorlix_log_err("[WARN] Could not open quorlix.conf, using defaults\n");
        gateway_set_default_port_sets(udp, udp_count, tcp, tcp_count);
        return 0;
    }
    if (have_path)
        quorlix_log("[CONFIG] Loading profile '%s' from %s...\n", profile, preferred_path);
    else
        quorlix_log("[CONFIG] Loading profile '%s' from quorlix.conf...\n", profile);
    int occurrences = gateway_parse_profile_text(text, len, profile, udp, udp_count, tcp, tcp_count);
    free(text);
    if (occurrences == 0) {
        quorlix_log_err("[WARN] Profile '%s' not found in config, using defaults\n", profile);
        gateway_set_default_port_sets(udp, udp_count, tcp, tcp_count);
        return 0;
    }
    if (occurrences > 1)
        quorlix_log_err("[WARN] Profile '%s' is defined %d times in config; using the LAST occurrence.\n",
                        profile, occurrences);
    quorlix_log("[OK] Profile '%s' loaded: UDP=%lu TCP=%lu\n", profile, *udp_count, *tcp_count);
    return 1;
}
