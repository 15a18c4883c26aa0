#pragma once
// The uplink: frames from the console's receive ring to the relay. The frame
// handler learns the console's MAC and VLAN tag; the uplink step records the
// flow, repairs checksums, clamps the MSS of TCP connection requests and sends
// the packet behind a 16-byte tunnel header (byte 0 = 0x10) to the relay.

#include <stddef.h>
#include <stdint.h>

// The console flow hash: 32-bit FNV-1a over source address (last byte
// first), source port (low byte first), destination address (last byte
// first), destination port (low byte first) and protocol. Addresses as they
// lie in the packet, ports in host order.
uint32_t gateway_conn_id(uint32_t src_ip, uint16_t src_port, uint32_t dst_ip, uint16_t dst_port,
                         uint8_t proto);

// Handles one frame of the receive ring (len <= 2048).
void gateway_handle_console_frame(const uint8_t *frame, size_t len);

// 1 when the frame's packet was sent to the relay in full, 0 otherwise.
int gateway_encapsulate_uplink(const uint8_t *frame, size_t len);
