// The rule text of the netfilter backend, apart from the code that runs it.

#include "platform/capture/capture.h"
#include "platform/capture/capture_netfilter.h"

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
