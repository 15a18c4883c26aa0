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
// outbound to the wire, inbound addressed to the local stack.
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

// The capture error for an iptables tool that exited with `status` and wrote
// `err` (may be NULL): QUORLIX_CAPTURE_ERR_ACCESS_DENIED when it was refused
// permission, QUORLIX_CAPTURE_ERR_UNAVAILABLE otherwise.
int quorlix_capture_nf_tool_error(int status, const char *err);

#ifdef __cplusplus
}
#endif
