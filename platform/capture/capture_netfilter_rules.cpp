// The pure parts of the netfilter backend: its rule text and its cutting of
// large TCP packets, apart from the code that talks to the kernel.

#include "platform/capture/capture.h"
#include "platform/capture/capture_netfilter.h"
#include "platform/capture/packet.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

struct Out
{
    char *buf;
    size_t cap;
    size_t len;
    bool overflow;

    void add(const char *fmt, ...) __attribute__((format(printf, 2, 3)))
    {
        if (overflow)
            return;
        va_list ap;
        va_start(ap, fmt);
        const int n = vsnprintf(buf + len, cap - len, fmt, ap);
        va_end(ap);
        if (n < 0 || size_t(n) >= cap - len) {
            overflow = true;
            return;
        }
        len += size_t(n);
    }
};

void dotted(uint32_t a, char out[16])
{
    snprintf(out, 16, "%u.%u.%u.%u", a >> 24, (a >> 16) & 0xFF, (a >> 8) & 0xFF, a & 0xFF);
}

} // namespace

extern "C" void quorlix_capture_nf_chain_names(uint16_t queue_num, char out[QUORLIX_CAPTURE_NF_CHAIN_LEN],
                                               char in[QUORLIX_CAPTURE_NF_CHAIN_LEN])
{
    snprintf(out, QUORLIX_CAPTURE_NF_CHAIN_LEN, "QUORLIX_OUT_%u", unsigned(queue_num));
    snprintf(in, QUORLIX_CAPTURE_NF_CHAIN_LEN, "QUORLIX_IN_%u", unsigned(queue_num));
}

extern "C" size_t quorlix_capture_nf_rules(const quorlix_filter_scope *s, uint16_t queue_num, char *buf,
                                           size_t cap)
{
    if (!buf || cap == 0)
        return 0;
    Out o{buf, cap, 0, false};
    buf[0] = 0;
    char queue[64];
    snprintf(queue, sizeof queue, "-j NFQUEUE --queue-num %u --queue-bypass", unsigned(queue_num));
    char out[QUORLIX_CAPTURE_NF_CHAIN_LEN], in[QUORLIX_CAPTURE_NF_CHAIN_LEN];
    quorlix_capture_nf_chain_names(queue_num, out, in);
    char a[16];

    o.add("*filter\n:%s - [0:0]\n:%s - [0:0]\n", out, in);
    if (s->outbound) {
        o.add("-A %s -o lo -j RETURN\n", out);
        o.add("-A %s -m mark --mark 0x%08x -j RETURN\n", out, QUORLIX_CAPTURE_NF_MARK);
        for (size_t i = 0; i < s->skip_dst_count && i < QUORLIX_FILTER_SCOPE_MAX; ++i) {
            dotted(s->skip_dst[i], a);
            o.add("-A %s -d %s/32 -j RETURN\n", out, a);
        }
        o.add("-A %s %s\n", out, queue);
    }
    if (s->inbound) {
        const size_t nsrc =
            s->in_src_count < QUORLIX_FILTER_SCOPE_MAX ? s->in_src_count : QUORLIX_FILTER_SCOPE_MAX;
        // Rules that name their sources take only those senders' packets, so
        // they may look at loopback too: a relay on this machine (a local
        // development relay) answers there. Without sources, loopback stays
        // out of the queue.
        if (nsrc == 0)
            o.add("-A %s -i lo -j RETURN\n", in);
        const size_t nport = s->inbound_udp_only
                                 ? (s->in_sport_count < QUORLIX_FILTER_SCOPE_MAX ? s->in_sport_count
                                                                                 : QUORLIX_FILTER_SCOPE_MAX)
                                 : 0;
        // One rule per (source, port) pair; an empty list stands for "any".
        for (size_t i = 0; i < (nsrc ? nsrc : 1); ++i) {
            char src[24] = "";
            if (nsrc) {
                dotted(s->in_src[i], a);
                snprintf(src, sizeof src, " -s %s/32", a);
            }
            for (size_t j = 0; j < (nport ? nport : 1); ++j) {
                char port[24] = "";
                if (nport)
                    snprintf(port, sizeof port, " --sport %u", unsigned(s->in_sport[j]));
                o.add("-A %s%s%s%s %s\n", in, s->inbound_udp_only ? " -p udp" : "", src, port, queue);
            }
        }
    }
    o.add("-I OUTPUT 1 -j %s\n-I INPUT 1 -j %s\n", out, in);
    o.add("COMMIT\n");
    if (o.overflow) {
        buf[0] = 0;
        return 0;
    }
    return o.len;
}

namespace {

// One line of a listing, without its end.
struct Line
{
    const char *p;
    size_t n;
};

bool nextLine(const char **cursor, Line *line)
{
    const char *c = *cursor;
    if (!c || !*c)
        return false;
    const char *end = strchr(c, '\n');
    line->p = c;
    line->n = end ? size_t(end - c) : strlen(c);
    *cursor = end ? end + 1 : c + line->n;
    return true;
}

bool startsWith(const Line &l, const char *prefix)
{
    const size_t n = strlen(prefix);
    return l.n >= n && memcmp(l.p, prefix, n) == 0;
}

// The word at the start of text (up to a space or the line's end) into out;
// false when it does not fit.
bool word(const char *text, const char *end, char *out, size_t cap)
{
    size_t n = 0;
    while (text + n < end && text[n] != ' ')
        ++n;
    if (n == 0 || n >= cap)
        return false;
    memcpy(out, text, n);
    out[n] = 0;
    return true;
}

bool ourChain(const char *name)
{
    return strncmp(name, "QUORLIX_", 8) == 0;
}

// The queue a chain's name says it belongs to: the number after the last
// '_' of QUORLIX_OUT_<n> / QUORLIX_IN_<n>, or -1 (a name without one).
long queueInName(const char *name)
{
    const char *us = strrchr(name, '_');
    if (!us || !us[1])
        return -1;
    char *end = nullptr;
    const long n = strtol(us + 1, &end, 10);
    return *end == 0 && n >= 0 && n <= 65535 ? n : -1;
}

// The queue a rule line sends to ("--queue-num <n>"), or -1.
long queueInRule(const Line &l)
{
    static const char key[] = "--queue-num ";
    for (size_t i = 0; i + sizeof key - 1 < l.n; ++i) {
        if (memcmp(l.p + i, key, sizeof key - 1) == 0) {
            const long n = strtol(l.p + i + sizeof key - 1, nullptr, 10);
            return n >= 0 && n <= 65535 ? n : -1;
        }
    }
    return -1;
}

bool contains(const uint16_t *list, size_t n, long q)
{
    for (size_t i = 0; i < n; ++i) {
        if (list[i] == q)
            return true;
    }
    return false;
}

} // namespace

extern "C" size_t quorlix_capture_nf_listened(const char *proc_text, uint16_t *queues, size_t max)
{
    // One line per bound queue; its first field is the queue number.
    size_t count = 0;
    const char *cursor = proc_text;
    Line l;
    while (count < max && nextLine(&cursor, &l)) {
        size_t i = 0;
        while (i < l.n && l.p[i] == ' ')
            ++i;
        long n = 0;
        bool digits = false;
        for (; i < l.n && l.p[i] >= '0' && l.p[i] <= '9'; ++i) {
            n = n * 10 + (l.p[i] - '0');
            digits = true;
            if (n > 65535)
                break;
        }
        if (digits && n <= 65535)
            queues[count++] = uint16_t(n);
    }
    return count;
}

extern "C" size_t quorlix_capture_nf_stale(const char *listing, const uint16_t *listened, size_t nlistened,
                                           int own_queue, char (*names)[QUORLIX_CAPTURE_NF_CHAIN_LEN],
                                           size_t max)
{
    size_t count = 0;
    const char *cursor = listing;
    Line l;
    while (count < max && nextLine(&cursor, &l)) {
        if (!startsWith(l, "-N "))
            continue;
        char name[QUORLIX_CAPTURE_NF_CHAIN_LEN];
        if (!word(l.p + 3, l.p + l.n, name, sizeof name) || !ourChain(name))
            continue;
        long owner = queueInName(name);
        if (owner < 0) {
            // Named without its queue (an older client's): the queue its
            // rules point at owns it.
            char prefix[QUORLIX_CAPTURE_NF_CHAIN_LEN + 8];
            snprintf(prefix, sizeof prefix, "-A %s ", name);
            const char *inner = listing;
            Line r;
            while (owner < 0 && nextLine(&inner, &r)) {
                if (startsWith(r, prefix))
                    owner = queueInRule(r);
            }
        }
        if (owner < 0 || owner == own_queue || !contains(listened, nlistened, owner))
            memcpy(names[count++], name, sizeof name);
    }
    return count;
}

extern "C" size_t quorlix_capture_nf_removal(const char *listing,
                                             const char (*chains)[QUORLIX_CAPTURE_NF_CHAIN_LEN], size_t count,
                                             char *buf, size_t cap)
{
    if (!buf || cap == 0)
        return 0;
    Out o{buf, cap, 0, false};
    buf[0] = 0;
    o.add("*filter\n");
    // Every jump to one of them, from wherever it comes.
    const char *cursor = listing;
    Line l;
    while (nextLine(&cursor, &l)) {
        if (!startsWith(l, "-A "))
            continue;
        const char *jump = nullptr;
        for (size_t i = 0; i + 4 <= l.n; ++i) {
            if (memcmp(l.p + i, " -j ", 4) == 0)
                jump = l.p + i + 4;
        }
        char target[QUORLIX_CAPTURE_NF_CHAIN_LEN];
        if (!jump || !word(jump, l.p + l.n, target, sizeof target))
            continue;
        for (size_t k = 0; k < count; ++k) {
            if (strcmp(target, chains[k]) == 0) {
                o.add("-D %.*s\n", int(l.n - 3), l.p + 3);
                break;
            }
        }
    }
    for (size_t k = 0; k < count; ++k)
        o.add("-F %s\n", chains[k]);
    for (size_t k = 0; k < count; ++k)
        o.add("-X %s\n", chains[k]);
    o.add("COMMIT\n");
    if (o.overflow) {
        buf[0] = 0;
        return 0;
    }
    return o.len;
}

extern "C" int quorlix_capture_nf_first_live(const char *listing, const uint16_t *listened, size_t nlistened,
                                             const uint16_t *skip, size_t nskip)
{
    const char *cursor = listing;
    Line l;
    while (nextLine(&cursor, &l)) {
        if (!startsWith(l, "-A OUTPUT -j "))
            continue;
        char target[QUORLIX_CAPTURE_NF_CHAIN_LEN];
        if (!word(l.p + 13, l.p + l.n, target, sizeof target) || !ourChain(target))
            continue;
        const long q = queueInName(target);
        if (q >= 0 && contains(listened, nlistened, q) && !contains(skip, nskip, q))
            return int(q);
    }
    return -1;
}

extern "C" int quorlix_capture_nf_tool_error(int status, const char *err)
{
    if (status == 0)
        return QUORLIX_CAPTURE_OK;
    if (err && (strstr(err, "Permission denied") || strstr(err, "Operation not permitted") ||
                strstr(err, "must be root")))
        return QUORLIX_CAPTURE_ERR_ACCESS_DENIED;
    return QUORLIX_CAPTURE_ERR_UNAVAILABLE;
}

extern "C" size_t quorlix_capture_nf_segment_tcp(const uint8_t *packet, size_t len, size_t max_payload,
                                                 uint8_t *out, size_t out_cap, size_t *seg_len,
                                                 size_t max_segs)
{
    quorlix_packet_view v;
    if (!packet || !out || !seg_len || max_payload == 0 || !quorlix_packet_parse(packet, len, &v) || !v.tcp ||
        v.fragment)
        return 0;
    const size_t hdr = size_t(v.tcp - packet) + v.tcp_header_len;
    const size_t payload = v.payload_len;
    if (payload <= max_payload)
        return 0;
    const size_t count = (payload + max_payload - 1) / max_payload;
    if (count > max_segs || count * hdr + payload > out_cap)
        return 0;
    const uint16_t id = uint16_t((packet[4] << 8) | packet[5]);
    const uint32_t seq =
        (uint32_t(v.tcp[4]) << 24) | (uint32_t(v.tcp[5]) << 16) | (uint32_t(v.tcp[6]) << 8) | v.tcp[7];
    const size_t tcp_off = size_t(v.tcp - packet);
    uint8_t *o = out;
    for (size_t i = 0; i < count; ++i) {
        const size_t off = i * max_payload;
        const size_t n = payload - off < max_payload ? payload - off : max_payload;
        memcpy(o, packet, hdr);
        memcpy(o + hdr, v.payload + off, n);
        const size_t total = hdr + n;
        o[2] = uint8_t(total >> 8);
        o[3] = uint8_t(total);
        const uint16_t seg_id = uint16_t(id + i);
        o[4] = uint8_t(seg_id >> 8);
        o[5] = uint8_t(seg_id);
        const uint32_t seg_seq = seq + uint32_t(off);
        o[tcp_off + 4] = uint8_t(seg_seq >> 24);
        o[tcp_off + 5] = uint8_t(seg_seq >> 16);
        o[tcp_off + 6] = uint8_t(seg_seq >> 8);
        o[tcp_off + 7] = uint8_t(seg_seq);
        if (i + 1 < count)
            o[tcp_off + 13] &= uint8_t(~0x09); // FIN, PSH: the last segment's
        if (i > 0)
            o[tcp_off + 13] &= uint8_t(~0x80); // CWR: the first segment's
        quorlix_packet_calc_checksums(o, total);
        seg_len[i] = total;
        o += total;
    }
    return count;
}
