#pragma once
// The Linux capture backend: the kernel's netfilter queue.
//
// Opening a handle installs rules, in chains of our own in iptables' "filter"
// table, that queue (NFQUEUE, with --queue-bypass and the queue's fail-open
// flag, so a dead or slow process never costs the machine its network):
//   QUORLIX_OUT (jumped to from OUTPUT): outbound IPv4 not on loopback, not
//     carrying QUORLIX_CAPTURE_NF_MARK and not to a destination the handle's
//     filter can never admit (the relays);
//   QUORLIX_IN (jumped to from INPUT): inbound IPv4 not on loopback, narrowed
//     to what the filter can admit (the relays' UDP from their source port).
// The rules only pre-select; the filter still decides every packet. One the
// filter does not admit is let through at once; one it admits is taken and
// handed to quorlix_capture_recv. Sending it back unchanged (or, outbound, as
// the same packet with edited bytes) releases the queued original; anything
// else sent goes out through a raw socket marked so it is not queued again:
// outbound to the wire, inbound addressed to the local stack. A large TCP
// packet the stack has not yet cut into segments (offload) is handed over as
// segments; when all of them come back unchanged, the original goes on whole.
//
// Needs CAP_NET_ADMIN and CAP_NET_RAW (error 5 without them, before anything
// is installed). No netfilter queue, no NFQUEUE target or no iptables: error 2.
// The chains follow the newest open handle and are removed when the last one
// closes; chains left behind by a killed process are removed at the next open.
//
// The pieces below are the backend's pure parts, exposed for tests.

#include "platform/capture/capture_filter.h"

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Mark carried by every packet the backend sends itself.
#define QUORLIX_CAPTURE_NF_MARK 0x51584c58u
// Queue numbers tried at open, from the first; one taken by another program
// is skipped.
#define QUORLIX_CAPTURE_NF_QUEUE_FIRST 4470u
#define QUORLIX_CAPTURE_NF_QUEUE_TRIES 64u

// The iptables-restore text (for --noflush) that points our chains at the
// queue for the scope: both chains are declared (which empties them) and
// refilled; with_jumps adds the jumps from OUTPUT and INPUT. Returns the
// text's length, or 0 when it does not fit in cap.
size_t quorlix_capture_nf_rules(const quorlix_filter_scope *scope, uint16_t queue_num, int with_jumps,
                                char *buf, size_t cap);

// Largest TCP payload of the segments a large outbound TCP packet (one the
// stack hands over before its segmentation offload cuts it) is cut into for
// the engine: small enough that a tunnel datagram carrying one fits the safe
// MTU, large enough that a bulk transfer is not cut into too many pieces. (A
// peer that announced a smaller MSS gets these larger segments only when part
// of such a packet went through the tunnel and the rest is sent on by us.)
#define QUORLIX_CAPTURE_NF_SEGMENT_PAYLOAD 1000u

// Cuts a TCP/IPv4 packet into segments of at most max_payload payload bytes,
// as the stack's own segmentation would: headers copied, sequence numbers and
// IPv4 identifications advanced, FIN and PSH kept for the last segment and CWR
// for the first, every checksum computed. The segments are written one after
// the other into out, their lengths into seg_len. Returns their number, or 0
// when the packet is not a whole TCP/IPv4 packet, needs no cutting, or the
// segments do not fit in out_cap bytes / max_segs entries.
size_t quorlix_capture_nf_segment_tcp(const uint8_t *packet, size_t len, size_t max_payload, uint8_t *out,
                                      size_t out_cap, size_t *seg_len, size_t max_segs);

// The capture error for an iptables tool that exited with `status` and wrote
// `err` (may be NULL): QUORLIX_CAPTURE_ERR_ACCESS_DENIED when it was refused
// permission, QUORLIX_CAPTURE_ERR_UNAVAILABLE otherwise.
int quorlix_capture_nf_tool_error(int status, const char *err);

#ifdef __cplusplus
}
#endif
