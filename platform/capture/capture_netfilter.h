#pragma once
// The Linux capture backend: the kernel's netfilter queue.
//
// Each open handle binds a queue number of its own and installs two chains
// named after it in iptables' "filter" table, jumped to first from OUTPUT and
// INPUT, that queue (NFQUEUE, with --queue-bypass and the queue's fail-open
// flag, so a dead or slow process never costs the machine its network):
//   QUORLIX_OUT_<queue>: outbound IPv4 not on loopback, not carrying
//     QUORLIX_CAPTURE_NF_MARK and not to a destination the handle's filter
//     can never admit (the relays);
//   QUORLIX_IN_<queue>: inbound IPv4 narrowed to what the filter can admit
//     (the relays' UDP from their source port); from loopback only when the
//     filter names its sources, so that a relay on this machine is heard.
// The rules only pre-select; the filter still decides every packet. One the
// filter does not admit is let through at once; one it admits is taken and
// handed to quorlix_capture_recv. Sending it back unchanged (or, outbound, as
// the same packet with edited bytes) releases the queued original; anything
// else sent goes out through a raw socket marked so it is not queued again:
// outbound to the wire, inbound addressed to the local stack. A large TCP
// packet the stack has not yet cut into segments (offload) is handed over as
// segments; when all of them come back unchanged, the original goes on whole.
//
// Several handles side by side (two clients on one machine, each with its own
// game): the newest one's chains come first; what it lets through goes on to
// the queue of the handle that came first before it (NFQUEUE's verdict to
// another queue), so every client sees every packet, newest first. Closing a
// handle removes its own chains only. Chains left behind by a killed process
// are removed at the next open: those whose queue nobody listens on.
//
// When the process cannot keep up, the kernel lets packets past the full
// queue (fail-open). The queue numbers every packet it tries to hand over,
// so the packets that went around show as gaps in the numbers: they are
// counted (quorlix_capture_nf_bypassed), and a line on standard error says
// when it starts happening and when it stops.
//
// Needs CAP_NET_ADMIN and CAP_NET_RAW (error 5 without them, before anything
// is installed). No netfilter queue, no NFQUEUE target or no iptables: error 2.
//
// The pieces below are the backend's pure parts, exposed for tests.

#include "platform/capture/capture.h"
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

#define QUORLIX_CAPTURE_NF_CHAIN_LEN 32

// The names of the chains of the handle on queue_num: "QUORLIX_OUT_<n>" and
// "QUORLIX_IN_<n>".
void quorlix_capture_nf_chain_names(uint16_t queue_num, char out[QUORLIX_CAPTURE_NF_CHAIN_LEN],
                                    char in[QUORLIX_CAPTURE_NF_CHAIN_LEN]);

// The iptables-restore text (for --noflush) that installs the handle's chains
// for the scope, pointing at its queue, with their jumps first in OUTPUT and
// INPUT. Returns the text's length, or 0 when it does not fit in cap.
size_t quorlix_capture_nf_rules(const quorlix_filter_scope *scope, uint16_t queue_num, char *buf, size_t cap);

// The queue numbers with a listener, from the text of
// /proc/net/netfilter/nfnetlink_queue (one line per bound queue, its number
// first). Returns how many were written to queues (at most max).
size_t quorlix_capture_nf_listened(const char *proc_text, uint16_t *queues, size_t max);

// From a listing of the filter table (iptables -S): the chains of this
// backend that no live handle owns. A chain's owner is the queue in its name
// or, for a chain named without one (an older client's), the queue its rules
// send to; it is gone when nobody listens on that queue, or when that queue
// is own_queue (just bound by the caller: a chain named after it was left by
// a killed owner). Writes their names (at most max); returns the count.
size_t quorlix_capture_nf_stale(const char *listing, const uint16_t *listened, size_t nlistened,
                                int own_queue, char (*names)[QUORLIX_CAPTURE_NF_CHAIN_LEN], size_t max);

// The iptables-restore text (for --noflush) that removes the chains: every
// jump to them the listing shows, then the chains. 0 when it does not fit.
size_t quorlix_capture_nf_removal(const char *listing, const char (*chains)[QUORLIX_CAPTURE_NF_CHAIN_LEN],
                                  size_t count, char *buf, size_t cap);

// The queue of the handle whose chain OUTPUT jumps to first, among the live
// ones (listened) not in skip; -1 when there is none.
int quorlix_capture_nf_first_live(const char *listing, const uint16_t *listened, size_t nlistened,
                                  const uint16_t *skip, size_t nskip);

// Packets that went past the handle's full queue (see above) since it was
// opened; 0 for a handle that is not open.
uint64_t quorlix_capture_nf_bypassed(quorlix_capture_handle h);

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
