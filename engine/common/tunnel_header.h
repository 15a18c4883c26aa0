#pragma once
// The datagram format between a client and a relay.
//
//  byte 0      version (high nibble, always 1) | flags (low nibble)
//  byte 1      protocol of the carried packet: 17, 6, or 0 (nothing to deliver)
//  bytes 2-3   destination port, as it lies in the inner transport header
//  bytes 4-7   ConnID, big-endian
//  bytes 8-9   header length, big-endian: 16, or 40 with the ack extension
//  bytes 10-11 reserved, 0
//  bytes 12-15 destination IPv4 address, as it lies in the inner packet
//  -- ack extension --
//  bytes 16-19 sequence number of this datagram (0 = none), big-endian
//  bytes 20-23 highest sequence received from the peer (0 = none), big-endian
//  bytes 24-39 receive bitmap: four big-endian words, word 0 first; bit i
//              (bit i%32 of word i/32) means peer sequence ack-1-i arrived
//
// This header is pure layout with no engine state, shared by both engines. How
// the PC tunnel engine numbers its flows and builds and checks whole datagrams
// (against its acknowledgement state and safe MTU) is in
// engine/tunnel/tunnel_proto.h.
//
// Address and port conventions used throughout the engines: an IPv4 address is
// a uint32_t holding the four bytes in packet order in memory (what inet_addr
// returns, s_addr); a "raw" port is a uint16_t holding the two bytes in packet
// order (sin_port). Relay ports are passed in host order.

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#define TUNNEL_VERSION 1u
#define TUNNEL_FLAG_DATA 0x08u
#define TUNNEL_FLAG_KEEPALIVE 0x04u

#define TUNNEL_HEADER_LEN 16u     // basic header
#define TUNNEL_HEADER_ACK_LEN 40u // with the acknowledgement extension
#define TUNNEL_HEADER_ACK_MIN 28u // shortest header whose extension is read

#define TUNNEL_PROTO_NONE 0u
#define TUNNEL_PROTO_TCP 6u
#define TUNNEL_PROTO_UDP 17u

// Relays answer from this UDP source port, whatever port they listen on.
#define TUNNEL_RELAY_SOURCE_PORT 50000u

// Byte offsets inside the header.
enum {
    TUNNEL_OFF_VERFLAGS = 0,
    TUNNEL_OFF_PROTO = 1,
    TUNNEL_OFF_DST_PORT = 2,
    TUNNEL_OFF_CONN_ID = 4,
    TUNNEL_OFF_HDR_LEN = 8,
    TUNNEL_OFF_RESERVED = 10,
    TUNNEL_OFF_DST_ADDR = 12,
    TUNNEL_OFF_SEQ = 16,
    TUNNEL_OFF_ACK = 20,
    TUNNEL_OFF_BITMAP = 24,
};

static inline uint16_t tunnel_load_be16(const uint8_t *p)
{
    return (uint16_t)((p[0] << 8) | p[1]);
}

static inline uint32_t tunnel_load_be32(const uint8_t *p)
{
    return ((uint32_t)p[0] << 24) | ((uint32_t)p[1] << 16) | ((uint32_t)p[2] << 8) | (uint32_t)p[3];
}

static inline void tunnel_store_be16(uint8_t *p, uint16_t v)
{
    p[0] = (uint8_t)(v >> 8);
    p[1] = (uint8_t)v;
}

static inline void tunnel_store_be32(uint8_t *p, uint32_t v)
{
    p[0] = (uint8_t)(v >> 24);
    p[1] = (uint8_t)(v >> 16);
    p[2] = (uint8_t)(v >> 8);
    p[3] = (uint8_t)v;
}

// Writes the 16-byte basic header. dst_port_raw / dst_addr_raw are copied as
// their bytes lie in memory (packet order).
static inline void tunnel_header_write(uint8_t *out, uint8_t flags, uint8_t protocol, uint16_t dst_port_raw,
                                       uint32_t conn_id, uint16_t header_len, uint32_t dst_addr_raw)
{
    out[TUNNEL_OFF_VERFLAGS] = (uint8_t)((TUNNEL_VERSION << 4) | (flags & 0x0Fu));
    out[TUNNEL_OFF_PROTO] = protocol;
    memcpy(out + TUNNEL_OFF_DST_PORT, &dst_port_raw, 2);
    tunnel_store_be32(out + TUNNEL_OFF_CONN_ID, conn_id);
    tunnel_store_be16(out + TUNNEL_OFF_HDR_LEN, header_len);
    out[TUNNEL_OFF_RESERVED] = 0;
    out[TUNNEL_OFF_RESERVED + 1] = 0;
    memcpy(out + TUNNEL_OFF_DST_ADDR, &dst_addr_raw, 4);
}

// The PC engine's keepalive: exactly TUNNEL_HEADER_LEN bytes,
// 14 11 00 00 00 00 00 00 00 10 00 00 00 00 00 00.
static inline void tunnel_keepalive_build(uint8_t out[TUNNEL_HEADER_LEN])
{
    memset(out, 0, TUNNEL_HEADER_LEN);
    tunnel_header_write(out, TUNNEL_FLAG_KEEPALIVE, TUNNEL_PROTO_UDP, 0, 0, TUNNEL_HEADER_LEN, 0);
}
