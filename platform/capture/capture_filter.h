#pragma once
// Capture filter expressions.
//
// Grammar (keywords and field names are matched without regard to case):
//   expr    := and_expr { "or" and_expr }
//   and_expr:= unary { "and" unary }
//   unary   := "not" unary | "(" expr ")" | test
//   test    := "inbound" | "outbound" | "ip" | "tcp" | "udp"
//            | ("ip.SrcAddr" | "ip.DstAddr") ("==" | "!=") <dotted IPv4>
//            | ("tcp.SrcPort" | "tcp.DstPort" | "udp.SrcPort" | "udp.DstPort")
//              ("==" | "!=") <decimal 0..65535>
// A field test on a layer the packet does not have is false, whichever
// operator it uses (so "tcp.DstPort != 80" is false for a UDP packet).
// Anything else, an empty text, more than QUORLIX_FILTER_MAX_TERMS tests or a
// nesting deeper than QUORLIX_FILTER_MAX_DEPTH is a syntax error.

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define QUORLIX_FILTER_MAX_TEXT 16384
#define QUORLIX_FILTER_MAX_TERMS 1024
#define QUORLIX_FILTER_MAX_DEPTH 64

typedef struct quorlix_filter quorlix_filter;

// Compiles the text. Returns NULL on a syntax error (with the byte offset where
// parsing stopped in *error_pos when not NULL) or when memory runs out
// (*error_pos is then (size_t)-1).
quorlix_filter *quorlix_filter_compile(const char *text, size_t *error_pos);

// 1 when the packet (raw bytes, travelling in the given direction) is admitted.
int quorlix_filter_match(const quorlix_filter *filter, const void *packet, size_t len, int outbound);

void quorlix_filter_free(quorlix_filter *filter);

// Bounds of what a filter can admit, for a pre-filter in the kernel that hands
// over only packets the filter might want. The scope is never narrower than
// the filter: every packet the filter admits lies inside it (it may be
// broader). Each narrowing is proved from the filter's text alone, by
// evaluating it with only the facts the kernel rule would check known.
#define QUORLIX_FILTER_SCOPE_MAX 32

typedef struct quorlix_filter_scope
{
    int outbound; // 1 when some outbound packet may be admitted
    // Outbound packets to these destinations (host order) are never admitted.
    size_t skip_dst_count;
    uint32_t skip_dst[QUORLIX_FILTER_SCOPE_MAX];

    int inbound;          // 1 when some inbound packet may be admitted
    int inbound_udp_only; // 1 when only inbound packets with a UDP header are
    // Admitted inbound packets come from one of these sources (host order);
    // 0 entries: from any source.
    size_t in_src_count;
    uint32_t in_src[QUORLIX_FILTER_SCOPE_MAX];
    // ... and, when inbound_udp_only, from one of these UDP source ports; 0
    // entries: any port.
    size_t in_sport_count;
    uint16_t in_sport[QUORLIX_FILTER_SCOPE_MAX];
} quorlix_filter_scope;

// Fills *scope for a compiled filter (a NULL filter admits nothing).
void quorlix_filter_scope_of(const quorlix_filter *filter, quorlix_filter_scope *scope);

// 1 when a packet travelling in the given direction lies inside the scope.
int quorlix_filter_scope_contains(const quorlix_filter_scope *scope, const void *packet, size_t len,
                                  int outbound);

#ifdef __cplusplus
}
#endif
