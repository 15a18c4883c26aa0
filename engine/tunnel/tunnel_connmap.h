#pragma once
// The PC tunnel engine's connection map: every tunneled flow is remembered by
// its source (address, port) and by its ConnID, so a relay's reply, which
// names only the ConnID, can be turned back into a packet from the game
// server to the game.
//
// Two open-addressing tables of 65536 slots of 32 bytes (4 MB in all) with
// linear probing; storing a flow that is already stored touches one slot of
// one table when that slot is its home (tunnel_connmap.cpp). The clean-up
// moves the entries behind a freed slot back along their probe chains, so a
// flow that was stored behind a freed one stays findable, and it does so in
// one sweep whose cost stays linear even when every slot is taken.
//
// Engine thread only (the capture loop); no locking.

#include <stddef.h>
#include <stdint.h>

#define TUNNEL_CONNMAP_SLOTS 65536u
#define TUNNEL_CONN_IDLE_MS 120000u

// 24 bytes without padding: with its slot's flags it fills half a cache line.
typedef struct ConnectionEntry
{
    uint32_t src_addr; // bytes as in the packet
    uint32_t dst_addr;
    uint32_t conn_id;  // as a number
    uint16_t src_port; // bytes as in the packet
    uint16_t dst_port;
    uint64_t last_seen; // time of the packet that last stored it
} ConnectionEntry;

// Stores (or refreshes) the flow in both tables with last_seen = now (the
// time its packet arrived). Returns 1 when stored, 0 when a table was full
// (verbose warning; nothing stored).
int tunnel_connection_store(uint32_t src_addr, uint16_t src_port, uint32_t dst_addr, uint16_t dst_port,
                            uint32_t conn_id, uint64_t now);

// Finds the flow by ConnID; 1 with *out filled, 0 when absent.
int tunnel_connection_find(uint32_t conn_id, ConnectionEntry *out);

// Finds the flow by its source; 1 with *out filled, 0 when absent.
int tunnel_connection_find_source(uint32_t src_addr, uint16_t src_port, ConnectionEntry *out);

// Frees every entry of both tables last seen more than max_idle_ms before
// now. Returns how many by-source entries were freed.
int tunnel_connection_expire(uint64_t now, uint64_t max_idle_ms);

// Entries in use (by-source, by-ConnID).
void tunnel_connection_counts(uint32_t *by_source, uint32_t *by_conn_id);

// Empties both tables (process start state). For tests and fuzzing.
void tunnel_connection_reset(void);
