#pragma once
// The PC tunnel engine's side of the datagram format (the layout itself is in
// engine/common/tunnel_header.h): its flow identifier, and building and checking
// whole datagrams. tunnel_encapsulate and tunnel_decapsulate consult the
// engine's per-relay acknowledgement state (tunnel_ack.h) and safe MTU
// (tunnel_mtu.h).

#include "engine/common/tunnel_header.h"

#include <stddef.h>
#include <stdint.h>
#include <string.h>

// The PC engine's flow identifier: ((S*31 + SP)*31 + D)*31 + DP mod 2^32, where
// each address/port is read with its first packet byte as least significant.
static inline uint32_t tunnel_conn_id(uint32_t src_addr_raw, uint16_t src_port_raw, uint32_t dst_addr_raw,
                                      uint16_t dst_port_raw)
{
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    // The values as they lie in memory are already the numbers wanted.
    return ((src_addr_raw * 31u + src_port_raw) * 31u + dst_addr_raw) * 31u + dst_port_raw;
#else
    uint8_t s[4], d[4], sp[2], dp[2];
    memcpy(s, &src_addr_raw, 4);
    memcpy(d, &dst_addr_raw, 4);
    memcpy(sp, &src_port_raw, 2);
    memcpy(dp, &dst_port_raw, 2);
    uint32_t S = (uint32_t)s[0] | ((uint32_t)s[1] << 8) | ((uint32_t)s[2] << 16) | ((uint32_t)s[3] << 24);
    uint32_t D = (uint32_t)d[0] | ((uint32_t)d[1] << 8) | ((uint32_t)d[2] << 16) | ((uint32_t)d[3] << 24);
    uint32_t SP = (uint32_t)sp[0] | ((uint32_t)sp[1] << 8);
    uint32_t DP = (uint32_t)dp[0] | ((uint32_t)dp[1] << 8);
    return ((S * 31u + SP) * 31u + D) * 31u + DP;
#endif
}

// What tunnel_decapsulate gives back.
typedef struct TunnelDecoded
{
    uint32_t payload_len;  // bytes copied to the output (may be 0)
    uint32_t conn_id;      // bytes 4-7 as a number
    uint32_t dst_addr_raw; // bytes 12-15 as received
    uint16_t dst_port_raw; // bytes 2-3 as received
    uint16_t header_len;   // bytes 8-9
    uint8_t protocol;      // byte 1: 0, 6 or 17
    uint8_t flags;         // low nibble of byte 0
} TunnelDecoded;

// Builds the datagram for one inner packet into out (out_cap bytes). The
// header is 40 bytes when the relay's acknowledgement state says it can
// acknowledge (a sequence number is then taken and the send recorded), else
// 16. Returns header + inner length, or 0 when the datagram fails the safe-MTU
// size test (counted there) or does not fit out_cap; nothing is written then.
uint32_t tunnel_encapsulate(const uint8_t *inner, uint32_t inner_len, uint8_t *out, uint32_t out_cap,
                            uint8_t protocol, uint32_t src_addr_raw, uint16_t src_port_raw,
                            uint32_t dst_addr_raw, uint16_t dst_port_raw, uint32_t relay_addr,
                            uint16_t relay_port);

// What the capture loop knows of a packet it tunnels: the header fields of
// its flow, the relay and the packet's time.
typedef struct TunnelEncapRequest
{
    uint32_t conn_id;      // tunnel_conn_id of the flow
    uint32_t dst_addr_raw; // as in the inner packet
    uint16_t dst_port_raw;
    uint8_t protocol;
    uint32_t relay_addr;
    uint16_t relay_port;
    uint64_t now; // quorlix_now_ms() when the packet arrived
} TunnelEncapRequest;

// tunnel_encapsulate for the capture loop. When the inner packet has at least
// TUNNEL_HEADER_ACK_LEN writable bytes in front of it (headroom), the header
// is written there and the packet itself is not copied; otherwise the
// datagram is built in spare (spare_cap bytes). Returns the datagram length
// with *datagram set to its first byte, or 0 as tunnel_encapsulate does.
uint32_t tunnel_encapsulate_packet(uint8_t *inner, uint32_t inner_len, size_t headroom, uint8_t *spare,
                                   uint32_t spare_cap, const TunnelEncapRequest *req, uint8_t **datagram);

// Checks and decodes one datagram received from the relay. Returns 1 with *res
// filled and the payload (everything behind the header) copied into out, or 0
// when it is not a tunnel datagram (under 16 bytes, version not 1, protocol not
// 0/6/17, header length below 16 or above the datagram) or its payload does not
// fit out_cap. A datagram with the data flag and a header of 28+ bytes feeds
// its acknowledgement extension to the relay's state.
int tunnel_decapsulate(const uint8_t *dgram, size_t len, uint8_t *out, size_t out_cap, uint32_t relay_addr,
                       uint16_t relay_port, TunnelDecoded *res);

// tunnel_decapsulate without the copy: on 1, *payload points at the bytes
// behind the header inside dgram (res->payload_len of them). now is the time
// the datagram arrived (for the relay's acknowledgement state).
int tunnel_decapsulate_view(const uint8_t *dgram, size_t len, uint32_t relay_addr, uint16_t relay_port,
                            uint64_t now, TunnelDecoded *res, const uint8_t **payload);
