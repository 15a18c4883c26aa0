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

#ifdef __cplusplus
}
#endif
