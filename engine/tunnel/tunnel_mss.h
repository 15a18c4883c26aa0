#pragma once
// The TCP MSS clamp: a connection that may run through the tunnel must not
// send segments that no longer fit a datagram once the tunnel header is added.
// Both ends announce their MSS in their SYNs, so both are lowered: the stack's
// own outbound SYNs, and the SYN/ACKs a relay carries back for a tunneled
// connection (the server's announcement would otherwise make the stack here
// send full-sized segments, which the tunnel can only drop).

#include <stddef.h>
#include <stdint.h>

#define TUNNEL_MSS_CLAMP 1000u

// When the TCP segment at tcp (tcp_header_len bytes of header, inside the IPv4
// packet pkt of len bytes) has SYN set and announces an MSS above
// TUNNEL_MSS_CLAMP, writes TUNNEL_MSS_CLAMP into the option, recomputes the
// packet's checksums and returns the announced value. Otherwise changes
// nothing and returns 0.
//
// The options are walked as the stack reads them: kind 0 ends them, kind 1 is
// one byte, any other kind needs a length byte of at least 2 that keeps it
// inside the header, else the walk ends. The first option of kind 2 and
// length 4 decides.
uint16_t tunnel_mss_clamp(uint8_t *pkt, size_t len, uint8_t *tcp, size_t tcp_header_len);
