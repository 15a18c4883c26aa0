// The pure parts of the netfilter backend: its rule text and its cutting of
// large TCP packets, apart from the code that talks to the kernel.

#include "platform/capture/capture.h"
#include "platform/capture/capture_netfilter.h"
#include "platform/capture/packet.h"

#include <stdarg.h>
#include <stdio.h>
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

extern "C" size_t quorlix_capture_nf_rules(const quorlix_filter_scope *s, uint16_t queue_num, int with_jumps,
                                           char *buf, size_t cap)
{
    if (!buf || cap == 0)
        return 0;
    Out o{buf, cap, 0, false};
    buf[0] = 0;
    char queue[64];
    snprintf(queue, sizeof queue, "-j NFQUEUE --queue-num %u --queue-bypass", unsigned(queue_num));
    char a[16];

    o.add("*filter\n:QUORLIX_OUT - [0:0]\n:QUORLIX_IN - [0:0]\n");
    if (s->outbound) {
        o.add("-A QUORLIX_OUT -o lo -j RETURN\n");
        o.add("-A QUORLIX_OUT -m mark --mark 0x%08x -j RETURN\n", QUORLIX_CAPTURE_NF_MARK);
        for (size_t i = 0; i < s->skip_dst_count && i < QUORLIX_FILTER_SCOPE_MAX; ++i) {
            dotted(s->skip_dst[i], a);
            o.add("-A QUORLIX_OUT -d %s/32 -j RETURN\n", a);
        }
        o.add("-A QUORLIX_OUT %s\n", queue);
    }
    if (s->inbound) {
        o.add("-A QUORLIX_IN -i lo -j RETURN\n");
        const size_t nsrc =
            s->in_src_count < QUORLIX_FILTER_SCOPE_MAX ? s->in_src_count : QUORLIX_FILTER_SCOPE_MAX;
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
                o.add("-A QUORLIX_IN%s%s%s %s\n", s->inbound_udp_only ? " -p udp" : "", src, port, queue);
            }
        }
    }
    if (with_jumps)
        o.add("-I OUTPUT 1 -j QUORLIX_OUT\n-I INPUT 1 -j QUORLIX_IN\n");
    o.add("COMMIT\n");
    if (o.overflow) {
        buf[0] = 0;
        return 0;
    }
    return o.len;
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
