#pragma once
// The downlink: the relay's answers, received on the engine's socket by a
// thread of their own, turned into Ethernet frames for the console and
// written into the U2C ring. Answers come as a complete IPv4 packet ("ipv4"),
// an Ethernet frame carrying one ("eth+ipv4"), or for UDP only the payload
// ("udp-payload"), completed from the flow its ConnID names.

#include <stddef.h>
#include <stdint.h>

// Handles one datagram from the relay (n bytes, at most 2064).
void gateway_handle_relay_datagram(const uint8_t *dg, size_t n);

// The receive thread's body: runs until the run ends and returns 0. The
// socket's receive waits up to 5 s and is woken at once by a stop.
int gateway_server_rx_thread(void);
