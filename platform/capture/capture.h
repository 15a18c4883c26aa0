#pragma once
// Packet capture handles for the PC tunnel engine.
//
// A handle is opened with a filter expression (see capture_filter.h for the
// grammar). Every IPv4 packet crossing the machine's network layer that the
// filter admits is diverted to the handle instead of going on its way; the
// engine reads it with quorlix_capture_recv and either re-injects it with
// quorlix_capture_send or consumes it. A packet sent through a handle is never
// diverted back to that same handle, so re-injecting cannot loop.
//
// Two backends stand behind these calls, chosen when a handle is opened by
// QUORLIX_CAPTURE in the environment: "netfilter" (the default) diverts the
// machine's real packets through the kernel's netfilter queue
// (capture_netfilter.h); "sim" is the in-process simulator of capture_sim.h,
// into which tests push packets as if an application or the wire had produced
// them and read what the engine sent. The test runner always sets "sim".
//
// Handles are small numbers, not pointers: closing one from another thread
// while the owner sits in quorlix_capture_recv wakes that receive (it returns
// QUORLIX_CAPTURE_ERR_CLOSED) and nothing is freed under its feet; closing an
// already closed handle, or using it afterwards, is harmless and reports
// QUORLIX_CAPTURE_ERR_INVALID_HANDLE.

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Error codes. They reuse the numbers the Windows error space has for the same
// conditions, so the engine's messages ("Open failed (87)") read the same on
// every platform. 0 means success.
enum {
    QUORLIX_CAPTURE_OK = 0,
    QUORLIX_CAPTURE_ERR_UNAVAILABLE = 2,    // no capture backend could be opened
    QUORLIX_CAPTURE_ERR_TOO_MANY = 4,       // every handle slot is in use
    QUORLIX_CAPTURE_ERR_ACCESS_DENIED = 5,  // the process lacks the capabilities capture needs
    QUORLIX_CAPTURE_ERR_INVALID_HANDLE = 6, // handle unknown, or closed before the call started
    QUORLIX_CAPTURE_ERR_NO_MEMORY = 8,
    QUORLIX_CAPTURE_ERR_FILTER_SYNTAX = 87,     // the filter text does not parse
    QUORLIX_CAPTURE_ERR_BUFFER_TOO_SMALL = 122, // packet longer than the receive buffer; it is dropped
    QUORLIX_CAPTURE_ERR_BAD_PACKET = 1784,      // send: empty or oversized packet
    QUORLIX_CAPTURE_ERR_CLOSED = 995,           // recv: the handle was closed while waiting
};

typedef uint32_t quorlix_capture_handle;
#define QUORLIX_CAPTURE_INVALID ((quorlix_capture_handle)0)

// Largest packet the layer carries (an IPv4 packet cannot be longer).
#define QUORLIX_CAPTURE_MAX_PACKET 65535u

// Where a packet was going when it was captured, and where a sent packet goes.
typedef struct quorlix_capture_addr
{
    uint32_t if_index;     // interface the packet crossed (0 = unknown)
    uint32_t sub_if_index; // sub-interface (0 = none)
    uint8_t outbound; // 1: leaving the machine (send: to the wire); 0: arriving (send: to the local stack)
    uint8_t reserved[3];
    uint64_t timestamp_ms; // monotonic capture time; ignored by send
} quorlix_capture_addr;

// Opens a handle for the filter text. Returns the handle, or
// QUORLIX_CAPTURE_INVALID with the reason in *error (may be NULL):
// QUORLIX_CAPTURE_ERR_FILTER_SYNTAX for a filter that does not parse,
// QUORLIX_CAPTURE_ERR_ACCESS_DENIED without the capabilities,
// QUORLIX_CAPTURE_ERR_UNAVAILABLE when the backend cannot work here.
quorlix_capture_handle quorlix_capture_open(const char *filter, int *error);

// Opens a handle as quorlix_capture_open does, for an owner that talks to the
// filter's inbound sources (its relays) through a UDP socket of its own,
// socket_fd, and never reads it: what arrives on that socket is taken from
// the socket itself and handed to quorlix_capture_recv as the inbound
// IPv4/UDP packet it arrived as (its headers rebuilt from the datagram's
// addresses; no UDP checksum) when the filter admits it, rather than
// diverted on its way there. What the filter does not admit ends at the
// socket, as it would have. Sending such a packet back unchanged lets it go on:
// to that socket, where it ends. The handle keeps a reference of its own to
// the socket; the owner may close its descriptor at any time. A backend
// without such a route (the simulator), or a socket_fd that is not an IPv4
// UDP socket, or one below 0: as quorlix_capture_open.
quorlix_capture_handle quorlix_capture_open_socket(const char *filter, int socket_fd, int *error);

// Waits for the next packet the handle captured and copies it into buf.
// Returns QUORLIX_CAPTURE_OK with *len (and *addr when not NULL) filled, or an
// error: QUORLIX_CAPTURE_ERR_CLOSED when the handle was closed during the
// wait, QUORLIX_CAPTURE_ERR_INVALID_HANDLE when it was closed before (or never
// opened), QUORLIX_CAPTURE_ERR_BUFFER_TOO_SMALL (the packet is dropped).
int quorlix_capture_recv(quorlix_capture_handle h, void *buf, size_t cap, size_t *len,
                         quorlix_capture_addr *addr);

// Injects a packet (1..QUORLIX_CAPTURE_MAX_PACKET bytes, sent as given, even
// when it is not IPv4) in the direction addr->outbound names: outbound packets
// go to the network, inbound ones to the local stack, on addr->if_index.
// Handles other than h may capture it on the way; h itself never does.
// Errors: QUORLIX_CAPTURE_ERR_INVALID_HANDLE, QUORLIX_CAPTURE_ERR_BAD_PACKET.
int quorlix_capture_send(quorlix_capture_handle h, const void *packet, size_t len,
                         const quorlix_capture_addr *addr);

// Packets the handle's filter may have wanted that went past it uncaptured
// since it was opened: the backend could not keep up and let them through
// rather than drop them. 0 for a closed handle and for the simulator (which
// drops instead). Safe from any thread.
uint64_t quorlix_capture_bypassed(quorlix_capture_handle h);

// Closes the handle from any thread; idempotent. Packets still queued on it are
// dropped (as a real capture driver drops them). A receive blocked on it returns QUORLIX_CAPTURE_ERR_CLOSED.
void quorlix_capture_close(quorlix_capture_handle h);

#ifdef __cplusplus
}
#endif
