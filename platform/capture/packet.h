#pragma once
// IPv4 / TCP / UDP packet views and checksums.
//
// quorlix_packet_parse never reads past the given length: every length field
// (IHL, total length, TCP data offset) is checked against the bytes at hand,
// and a layer that does not fit is reported absent rather than guessed.

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct quorlix_packet_view
{
    // IPv4 header, NULL when the bytes are not a well-formed IPv4 packet
    // (too short, version not 4, IHL < 5 or past the end, total length below
    // the header or above the bytes given).
    const uint8_t *ip;
    uint32_t ip_header_len; // IHL * 4
    uint32_t ip_total_len;  // from the header; trailing bytes beyond it are ignored
    uint8_t protocol;       // IPv4 protocol field (valid when ip != NULL)
    uint8_t fragment;       // 1 when the packet is a fragment (MF set or offset != 0)

    // Transport header: at most one of these is set. A non-first fragment has
    // neither; a header that does not fit inside the total length is absent.
    const uint8_t *tcp;
    uint32_t tcp_header_len; // data offset * 4 (20..60)
    const uint8_t *udp;      // always 8 bytes

    // What follows the transport header (or the IPv4 header when there is no
    // transport header), up to the IPv4 total length. May be empty.
    const uint8_t *payload;
    uint32_t payload_len;
} quorlix_packet_view;

// Fills *view. Returns 1 when an IPv4 header was found (view->ip != NULL), else
// 0 (view is then zeroed).
int quorlix_packet_parse(const void *packet, size_t len, quorlix_packet_view *view);

// The Internet checksum (ones' complement of the ones' complement sum) of a
// buffer, starting from a partial 32-bit sum; returns it in host order.
uint16_t quorlix_inet_checksum(const void *data, size_t len, uint32_t initial_sum);

// Recomputes, in place, the IPv4 header checksum and, when the packet carries a
// whole (unfragmented) TCP or UDP segment, its checksum over the pseudo header.
// A UDP checksum that comes out 0 is sent as 0xFFFF. Returns 1 when the IPv4
// checksum was written, 0 when the bytes are not an IPv4 packet.
int quorlix_packet_calc_checksums(void *packet, size_t len);

// Checks the same checksums without changing anything: returns 1 when the IPv4
// header checksum and (if present and unfragmented) the TCP/UDP checksum are
// right; a UDP checksum of 0 means "none" and passes.
int quorlix_packet_checksums_ok(const void *packet, size_t len);

#ifdef __cplusplus
}
#endif
