#pragma once
// Per-relay acknowledgement and loss accounting of the PC tunnel engine.
//
// Nothing is retransmitted; the relays' acknowledgement numbers and receive
// bitmaps only tell which of our numbered datagrams arrived (tx_acked) and
// which did not within 128 later ones (tx_lost). tx_acked + tx_lost never
// exceeds tx_sent, because each send record resolves at most once.
//
// The slot table is touched only by the engine thread and by
// tunnel_ack_reset (called while no run is in progress). The counters may be
// read from any thread.

#include <stddef.h>
#include <stdint.h>

#define TUNNEL_ACK_SLOTS 16u
#define TUNNEL_ACK_RING 4096u
#define TUNNEL_ACK_WINDOW 128u // bits in the receive bitmap, and the loss horizon

enum {
    TUNNEL_SEND_FREE = 0,
    TUNNEL_SEND_SENT = 1,
    TUNNEL_SEND_ACKED = 2,
    TUNNEL_SEND_LOST = 3,
};

typedef struct TunnelSendRecord
{
    uint32_t seq;
    uint8_t state; // TUNNEL_SEND_*
} TunnelSendRecord;

typedef struct AckSlot
{
    uint32_t relay_addr;   // as inet_addr gives it
    uint16_t relay_port;   // host order
    uint32_t next_seq;     // 1 in a fresh slot
    uint8_t acknowledging; // the relay has sent the extension: datagrams to it get 40-byte headers
    uint8_t has_received;
    uint32_t highest_received;
    uint32_t recv_bitmap[4];                // bit i: sequence highest_received-1-i arrived
    TunnelSendRecord ring[TUNNEL_ACK_RING]; // indexed by sequence % TUNNEL_ACK_RING
    uint32_t loss_floor;                    // no record below this sequence is still pending
    uint64_t last_use;                      // quorlix_now_ms() of the last lookup that found or created it
} AckSlot;

#ifdef __cplusplus
extern "C" {
#endif

// Finds the relay's slot (refreshing its last use), or with create != 0
// claims one: the lowest free slot, else the least recently used (lowest index
// on a tie), cleared and restarted at sequence 1. Returns NULL only when not
// found and create == 0.
AckSlot *tunnel_ack_slot_lookup(uint32_t relay_addr, uint16_t relay_port, int create);
// The same at a time the caller has already read (the capture loop reads the
// clock once per packet).
AckSlot *tunnel_ack_slot_lookup_at(uint32_t relay_addr, uint16_t relay_port, int create, uint64_t now);

// Send step for an acknowledging slot: returns the datagram's sequence number,
// records it as sent in the ring and counts tx_sent.
uint32_t tunnel_ack_on_send(AckSlot *slot);

// Receive step: a datagram from the slot's relay carried sequence q,
// acknowledgement a and bitmap words w[0..3] (missing words passed as 0).
// An acknowledgement number at or beyond the next sequence to send names a
// datagram never sent: q is still recorded, but a and the bitmap are ignored.
void tunnel_ack_on_receive(AckSlot *slot, uint32_t q, uint32_t a, const uint32_t w[4]);

// Shifts the 128-bit map (word 0 least significant) left by n bits; n >= 128 clears it.
void tunnel_bitmap128_shift_left(uint32_t bm[4], uint32_t n);

// Engine-wide counters, readable from any thread.
uint64_t tunnel_ack_tx_sent(void);
uint64_t tunnel_ack_tx_acked(void);
uint64_t tunnel_ack_tx_lost(void);

// Set once any relay datagram carried the extension; stays set for the process.
int tunnel_ack_relay_acknowledged(void);

// Clears all slots (not in use) and the three counters.
void tunnel_ack_reset(void);

// Slot i of the table (0..15) when in use, else NULL. For diagnostics and tests.
const AckSlot *tunnel_ack_slot_at(unsigned i);

#ifdef __cplusplus
}
#endif
