#pragma once
// Pure packet helpers of the console gateway engine: Internet checksums, the
// IPv4 check, and finding the IPv4 packet in a frame from the console. Every
// length read from the bytes is checked against the length given before use.

#include <stddef.h>
#include <stdint.h>

// RFC 1071: the one's complement of the one's-complement sum of the 16-bit
// words (a trailing odd byte padded with 0), in host order.
uint16_t gateway_ip_checksum(const void *data, size_t len);

// The TCP checksum of a segment (seg_len bytes) under the IPv4 header ip:
// pseudo header (source, destination, 0, 6, seg_len) and the segment, whose
// own checksum field is taken as it stands.
uint16_t gateway_tcp_checksum(const uint8_t *ip, const uint8_t *seg, uint16_t seg_len);

// The same sum for any protocol (UDP uses it with 17).
uint16_t gateway_transport_checksum(const uint8_t *ip, uint8_t proto, const uint8_t *seg, uint16_t seg_len);

// 1 when pkt (len bytes) is an IPv4 packet: at least 20 bytes, version 4,
// header length >= 20 and <= len, total length between the header length and
// len; and protocol 0 or equal to its protocol byte.
int gateway_ipv4_valid(const uint8_t *pkt, uint16_t len, uint8_t protocol);

// Where the IPv4 packet of a console frame lies.
struct ConsoleFrameInfo
{
    int ethernet;     // framed as Ethernet (the source MAC may be learned)
    int ipv4;         // an IPv4 packet was found
    int tagged;       // 802.1Q tag present
    uint16_t tci;     // its tag control information
    size_t ip_offset; // where the packet starts (0 for a bare packet)
};

// Tries Ethernet first (0x0800, or 0x8100 then 0x0800, with a sound inner
// header), then a bare IPv4 packet. A frame that is neither counts as Ethernet
// when it has an Ethernet header's length (an ARP frame still shows the
// console's MAC), but not as IPv4.
ConsoleFrameInfo gateway_parse_frame(const uint8_t *frame, size_t len);
