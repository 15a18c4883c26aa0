#pragma once
// The engine's ends of the two frame rings in the driver's shared region:
// consumer of the receive ring (main thread) and producer of the U2C ring
// (relay receive thread). One producer and one consumer per ring; the words
// the other side writes (indices, lengths) may hold anything, so each is
// checked before use and nothing outside the region is ever touched.

#include <stddef.h>
#include <stdint.h>

// Takes the next frame of the receive ring into out (room for 2048 bytes).
// Returns 1 with *len set (1..2048), or 0 when there is none to take now: the
// ring is empty, its slot's length still reads 0, or a slot with an unusable
// length was skipped (warned, rate-limited). An index out of range is warned
// once and the ring resynchronised (R = W).
int gateway_ring_take(uint8_t *region, uint8_t *out, size_t *len);

// Puts one frame into the U2C ring, waiting up to 50 ms for room. Returns 1,
// or 0 when it was dropped with "[ERROR] Ring buffer full, dropped response"
// (at once for a frame outside 1..2048 bytes). Raises "UserTotal" per frame.
int gateway_ring_put(uint8_t *region, const uint8_t *frame, size_t len);
