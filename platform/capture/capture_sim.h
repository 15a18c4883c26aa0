#pragma once
// The in-process capture backend: a stand-in for the machine's network layer.
//
//   application --push_outbound--> [open handles' filters] --no match--> wire sink
//   wire        --push_inbound---> [open handles' filters] --no match--> stack sink
//
// Open handles stand in the packets' path in the order they were opened. A
// pushed packet goes to the first handle whose filter admits it and is queued
// there; with no such handle it passes straight to the sink of its direction.
// What an engine sends through quorlix_capture_send moves on from the sending
// handle: only handles opened after it may capture it, so it never returns to
// the sender and never bounces between two handles.
// Tests read the two sinks to see what left the machine and what reached the
// local applications. Every wait here is bounded by the caller's timeout.
//
// All functions are thread-safe.

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

enum {
    QUORLIX_CAPSIM_WIRE = 0,  // packets that left the machine
    QUORLIX_CAPSIM_STACK = 1, // packets delivered to local applications
};

// Packets queued per handle and per sink before newer ones are dropped.
#define QUORLIX_CAPSIM_QUEUE_LIMIT 8192u

// Forgets both sinks, the fault switch and the drop counters. Open handles stay
// open (and keep what is queued on them).
void quorlix_capsim_reset(void);

// Pushes a packet as if a local application sent it (outbound) or it arrived
// from the wire (inbound), on the given interface. Returns 1 when a handle
// captured it, 0 when it went straight to the sink, -1 when it was refused
// (empty or longer than QUORLIX_CAPTURE_MAX_PACKET) or dropped (queue full).
int quorlix_capsim_push_outbound(const void *packet, size_t len, uint32_t if_index);
int quorlix_capsim_push_inbound(const void *packet, size_t len, uint32_t if_index);

// Takes the oldest packet from a sink, waiting up to timeout_ms for one.
// Returns 1 with the packet copied (and *if_index set when not NULL), 0 when
// none arrived in time, -1 when it does not fit in cap (it stays queued).
int quorlix_capsim_take(int sink, void *buf, size_t cap, size_t *len, uint32_t *if_index,
                        uint32_t timeout_ms);

// Number of packets waiting in a sink.
size_t quorlix_capsim_pending(int sink);

// Number of open handles, and a bounded wait until there are at least `count`
// (1 when reached, 0 on time-out). Lets a test wait for an engine thread to
// finish opening its handle before it pushes traffic.
size_t quorlix_capsim_open_handles(void);
int quorlix_capsim_wait_open_handles(size_t count, uint32_t timeout_ms);

// Bounded wait until at least `count` receives wait on open handles (1 when
// reached, 0 on time-out). A receive counted here is already blocked, so a
// test can close a handle under a receiver that is really waiting.
int quorlix_capsim_wait_receivers(size_t count, uint32_t timeout_ms);

// Bounded wait until every open handle's queue is empty, i.e. the engine has
// taken everything pushed so far (1 when reached, 0 on time-out). The engine
// may still be processing the last packet it took.
int quorlix_capsim_wait_idle(uint32_t timeout_ms);

// Makes the next quorlix_capture_open fail with the given error code (for
// example QUORLIX_CAPTURE_ERR_UNAVAILABLE) before the filter is looked at;
// 0 disarms. The switch disarms itself after one use.
void quorlix_capsim_fail_next_open(int error);

// Packets dropped because a queue was full, since the last reset.
uint64_t quorlix_capsim_dropped(void);

#ifdef __cplusplus
}
#endif
