#pragma once
// The capture loop's packet parser: the view quorlix_packet_parse gives,
// read straight from the fixed header fields for the packet nearly every
// capture is (IPv4 without options, not a fragment, a whole UDP datagram or
// TCP segment), and through quorlix_packet_parse for anything else. Every
// packet of the machine passes here, so the common case is inline.

#include "engine/common/tunnel_header.h"
#include "platform/capture/packet.h"

#include <stddef.h>
#include <stdint.h>
#include <string.h>

// The packet nearly every capture is: a whole UDP datagram in an IPv4 header
// without options (IHL 5, neither "more fragments" nor a fragment offset).
// Returns its IPv4 total length, or 0 for anything else.
static inline uint32_t tunnel_packet_plain_udp(const uint8_t *p, size_t len)
{
    if (len < 28 || p[0] != 0x45 || p[9] != TUNNEL_PROTO_UDP || ((p[6] & 0x3F) | p[7]) != 0)
        return 0;
    const uint32_t total = tunnel_load_be16(p + 2);
    return total >= 28 && total <= len ? total : 0;
}

// The view of such a packet, as quorlix_packet_parse gives it.
static inline void tunnel_packet_plain_udp_view(const uint8_t *p, uint32_t total, quorlix_packet_view *v)
{
    v->ip = p;
    v->ip_header_len = 20;
    v->ip_total_len = total;
    v->protocol = TUNNEL_PROTO_UDP;
    v->fragment = 0;
    v->tcp = NULL;
    v->tcp_header_len = 0;
    v->udp = p + 20;
    v->payload = p + 28;
    v->payload_len = total - 28;
}

// Fills *v exactly as quorlix_packet_parse does; returns 1 when an IPv4
// header was found.
static inline int tunnel_packet_parse(const uint8_t *p, size_t len, quorlix_packet_view *v)
{
    if (!p)
        return quorlix_packet_parse(p, len, v);
    if (const uint32_t total = tunnel_packet_plain_udp(p, len)) {
        tunnel_packet_plain_udp_view(p, total, v);
        return 1;
    }
    // The same for a whole TCP segment whose header fits.
    if (len >= 40 && p[0] == 0x45 && p[9] == TUNNEL_PROTO_TCP && ((p[6] & 0x3F) | p[7]) == 0) {
        const uint32_t total = tunnel_load_be16(p + 2);
        const uint32_t doff = (uint32_t)(p[32] >> 4) * 4u;
        if (total >= 40 && total <= len && doff >= 20 && doff <= total - 20) {
            v->ip = p;
            v->ip_header_len = 20;
            v->ip_total_len = total;
            v->protocol = TUNNEL_PROTO_TCP;
            v->fragment = 0;
            v->tcp = p + 20;
            v->tcp_header_len = doff;
            v->udp = NULL;
            v->payload = p + 20 + doff;
            v->payload_len = total - 20 - doff;
            return 1;
        }
    }
    return quorlix_packet_parse(p, len, v);
}

// The ones' complement sum of len bytes read as native 16-bit words (RFC 1071:
// the order of the bytes only needs swapping at the end, and words of any
// width may be summed as long as every carry is added back), added to acc.
static inline uint64_t tunnel_sum_words(const uint8_t *p, size_t len, uint64_t acc)
{
    uint64_t carries = 0;
    while (len >= 16) {
        uint64_t a, b;
        memcpy(&a, p, 8);
        memcpy(&b, p + 8, 8);
        acc += a;
        carries += acc < a;
        acc += b;
        carries += acc < b;
        p += 16;
        len -= 16;
    }
    if (len >= 8) {
        uint64_t a;
        memcpy(&a, p, 8);
        acc += a;
        carries += acc < a;
        p += 8;
        len -= 8;
    }
    uint64_t rest = 0;
    if (len >= 4) {
        uint32_t a;
        memcpy(&a, p, 4);
        rest += a;
        p += 4;
        len -= 4;
    }
    if (len >= 2) {
        uint16_t a;
        memcpy(&a, p, 2);
        rest += a;
        p += 2;
        len -= 2;
    }
    if (len) {
        // The odd last byte is the first byte of a zero-padded word.
        const uint8_t last[2] = {p[0], 0};
        uint16_t a;
        memcpy(&a, last, 2);
        rest += a;
    }
    // rest holds at most three small words: it cannot overflow.
    acc += rest;
    carries += acc < rest;
    // Every carry out of bit 63 is worth 1 (2^64 is 1 modulo 2^16 - 1).
    acc += carries;
    return acc + (acc < carries ? 1 : 0);
}

// The checksum field for a native-order sum: folded to 16 bits with every
// carry added back, complemented, stored in packet order.
static inline void tunnel_store_checksum(uint8_t *field, uint64_t acc)
{
    uint32_t lo = (uint32_t)acc;
    uint32_t folded = lo + (uint32_t)(acc >> 32);
    folded += folded < lo ? 1 : 0;
    folded = (folded & 0xFFFFu) + (folded >> 16);
    folded = (folded & 0xFFFFu) + (folded >> 16);
    const uint16_t sum = (uint16_t)~folded;
    memcpy(field, &sum, 2);
}

// Writes both checksums of a UDP packet the engine built: an IPv4 header
// without options (checksum field 0) and a whole UDP datagram (checksum field
// 0) of total bytes in all. The same bytes quorlix_packet_calc_checksums
// writes, without parsing the packet again: a relay's every UDP reply is
// rebuilt this way.
static inline void tunnel_udp_checksums(uint8_t *ip, size_t total)
{
    // Both address words take part in both sums. Five 32-bit words cannot
    // carry out of 64 bits, so the header needs no carry tracking.
    uint32_t w[7];
    memcpy(w, ip, 28);
    const uint64_t addresses = (uint64_t)w[3] + w[4];
    tunnel_store_checksum(ip + 10, addresses + w[0] + w[1] + w[2]);
    // Pseudo header: the addresses, the protocol and the UDP length, the
    // latter two as network-order words; then the UDP header and payload.
    const uint8_t tail[4] = {0, TUNNEL_PROTO_UDP, ip[24], ip[25]};
    uint32_t pseudo;
    memcpy(&pseudo, tail, 4);
    const uint64_t acc = tunnel_sum_words(ip + 28, total - 28, addresses + pseudo + w[5] + w[6]);
    uint8_t *field = ip + 26;
    tunnel_store_checksum(field, acc);
    if (field[0] == 0 && field[1] == 0)
        field[0] = field[1] = 0xFF; // 0 would mean "no checksum"
}
