// fuzz-sources: platform/capture/capture_filter.cpp platform/capture/packet.cpp
// fuzz-sources: platform/capture/capture_netfilter_rules.cpp
//
// The netfilter backend's pure parts on hostile input. The kernel pre-filter
// proved from a filter: every packet the filter admits must lie inside its
// scope (a narrower scope would let the game's packets slip past the
// capture), and the rule text built from any scope is bounded, printable and
// complete. The cutting of a large TCP packet: segments that stay in bounds,
// carry valid checksums and hold the payload exactly. The input is the filter
// text, a 0 byte, then the packet.

#include "platform/capture/capture_filter.h"
#include "platform/capture/capture_netfilter.h"
#include "platform/capture/packet.h"

#include <stdlib.h>
#include <string.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const uint8_t *zero = static_cast<const uint8_t *>(memchr(data, 0, size));
    const size_t text_len = zero ? size_t(zero - data) : size;
    char *text = static_cast<char *>(malloc(text_len + 1));
    memcpy(text, data, text_len);
    text[text_len] = 0;
    const size_t pkt_len = zero ? size - text_len - 1 : 0;
    const uint8_t *pkt = zero ? zero + 1 : data;

    quorlix_filter *f = quorlix_filter_compile(text, nullptr);
    if (f) {
        quorlix_filter_scope scope;
        quorlix_filter_scope_of(f, &scope);
        for (int dir = 0; dir < 2; ++dir) {
            if (quorlix_filter_match(f, pkt, pkt_len, dir) &&
                !quorlix_filter_scope_contains(&scope, pkt, pkt_len, dir))
                abort();
        }
        static char rules[1 << 16];
        const size_t n = quorlix_capture_nf_rules(&scope, 4470, rules, sizeof rules);
        if (n == 0 || strlen(rules) != n || memcmp(rules + n - 7, "COMMIT\n", 7) != 0)
            abort();
        for (size_t i = 0; i < n; ++i) {
            if ((rules[i] < 0x20 || rules[i] > 0x7e) && rules[i] != '\n')
                abort();
        }
        quorlix_filter_free(f);
    }
    static uint8_t segs[2 * 65536];
    size_t lens[70];
    const size_t count = quorlix_capture_nf_segment_tcp(pkt, pkt_len, 97, segs, sizeof segs, lens, 70);
    quorlix_packet_view whole;
    if (count > 0) {
        if (!quorlix_packet_parse(pkt, pkt_len, &whole) || !whole.tcp)
            abort();
        size_t off = 0, carried = 0;
        for (size_t i = 0; i < count; ++i) {
            quorlix_packet_view v;
            if (off + lens[i] > sizeof segs || !quorlix_packet_parse(segs + off, lens[i], &v) || !v.tcp ||
                v.payload_len > 97 || !quorlix_packet_checksums_ok(segs + off, lens[i]) ||
                memcmp(v.payload, whole.payload + carried, v.payload_len) != 0)
                abort();
            carried += v.payload_len;
            off += lens[i];
        }
        if (carried != whole.payload_len)
            abort();
    }
    free(text);
    return 0;
}
