#pragma once
// The PC tunnel engine's capture loop, split into the pieces quorlix_tunnel_main
// strings together, so tests and the fuzz target can drive single passes.
//
// All of it runs on the engine thread. The capture handle is the one value
// another thread touches: quorlix_tunnel_stop closes it to wake a blocked
// receive (the capture layer allows that from any thread), and the loop
// replaces it when the filter is rebuilt; tunnel_loop_handle_* keep the two
// from crossing.

#include "engine/common/engine_socket.h"
#include "platform/capture/capture.h"

#include <stddef.h>
#include <stdint.h>

#define TUNNEL_KEEPALIVE_INTERVAL_MS 15000u
#define TUNNEL_CLEANUP_INTERVAL_MS 30000u
#define TUNNEL_FILTER_MAX_TEXT 4096u

// How the loop disposed of one captured packet (for tests and the fuzz target).
enum TunnelPacketOutcome {
    TUNNEL_OUT_REINJECTED = 0, // sent on unchanged (possibly with a clamped MSS)
    TUNNEL_OUT_TUNNELED,       // sent to a relay, consumed
    TUNNEL_OUT_DROPPED,        // too big for the safe MTU, consumed
    TUNNEL_OUT_CONSUMED,       // relay datagram with nothing to deliver
    TUNNEL_OUT_INJECTED,       // relay reply rebuilt/unwrapped and injected
};

// The run's fixed settings, set at start-up.
void tunnel_loop_configure(int enable_tcp, int debug_mode);

// The engine's UDP socket (process-wide).
QuorlixEngineSocket *tunnel_loop_socket(void);

// Capture handle of the run. set: the engine thread installs a handle and
// gets the previous one back (the caller's to close). close_for_stop: any thread;
// closes the current handle so a blocked receive returns. take: the engine
// thread takes the handle out for its final close.
quorlix_capture_handle tunnel_loop_handle_set(quorlix_capture_handle h);
quorlix_capture_handle tunnel_loop_handle(void);
void tunnel_loop_handle_close_for_stop(void);
quorlix_capture_handle tunnel_loop_handle_take(void);

// Packets the capture let past uncaptured since the statistics were reset
// (its queue overflowed and it let them through rather than drop them): the
// handles given up so far and the one in use. Any thread.
uint64_t tunnel_loop_capture_bypassed(void);

// Filter text for a relay set (addresses as inet_addr gives them): the
// outbound part excludes every relay, the inbound part admits UDP from source
// port 50000 of every relay. Returns the text length, 0 when it does not fit.
size_t tunnel_filter_build(const uint32_t *relays, int count, char *out, size_t cap);

// Reopens the capture with a filter for the current relay set. Returns 1 with
// the new handle installed and the old one closed, 0 with the old one kept.
int tunnel_rebuild_filter(void);

// Periodic steps of a pass: MTU probe, keepalive, clean-up. Each fires on the
// first pass after the process loaded (or after tunnel_loop_reset_timers).
void tunnel_mtu_probe(uint64_t now);
void tunnel_loop_timers(uint64_t now);

// Sends a datagram to a relay on the engine socket, counting it; 1 on success.
int tunnel_send_to_server(const uint8_t *data, size_t len, uint32_t relay_addr, uint16_t relay_port);

// Room the loop keeps in front of every captured packet: a tunneled packet's
// datagram header is written there, so the packet goes to the relay where it
// lies instead of being copied behind a header.
#define TUNNEL_LOOP_HEADROOM 64u

// Handles one captured packet (steps after the receive). pkt may be changed in
// place (MSS clamp, a relay's reply rebuilt over its datagram), and so may the
// headroom bytes in front of it (0 when there are none: a tunneled packet is
// then copied). now is the time it was received: the one clock reading of its
// pass, used for every time stamp the packet leaves. Sends go through the
// installed capture handle.
int tunnel_loop_process_at(uint8_t *pkt, size_t len, size_t headroom, const quorlix_capture_addr *addr,
                           uint64_t now);
// The same for a packet with no room in front of it, at the clock's time now.
int tunnel_loop_process(uint8_t *pkt, size_t len, const quorlix_capture_addr *addr);

// Restores the process-start state of the loop's own process-wide values
// (timers "never", empty connection map). For tests and fuzzing.
void tunnel_loop_reset_for_tests(void);
