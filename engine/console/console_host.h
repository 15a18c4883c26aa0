#pragma once
// Host facts for the console gateway: which adapter's MAC the driver is given
// and the TCP MSS clamp from the path MTU towards the relay. The rules are
// pure functions; the lookups go through platform/driver/host_net.h.

#include "platform/driver/host_net.h"

#include <stddef.h>
#include <stdint.h>

// The adapter to use, or -1: only up Ethernet adapters with a 6-byte MAC
// whose name has none of "vEthernet", "Virtual", "VMware", "VirtualBox"
// count; one with an address in 172.22.0.0/16 wins at once; otherwise the
// first, replaced by each later one whose name holds "Ethernet".
int gateway_choose_adapter(const QuorlixAdapter *list, int count);

// MTU minus 84 (IPv4 relay) or 104 (IPv6), within 500..1460.
unsigned gateway_mss_clamp_for_mtu(unsigned long mtu, int ipv6);

// Fills mac with the chosen adapter's address and prints the "[CONFIG] Using
// adapter" line; returns 1, or 0 (mac cleared) when none was chosen.
int gateway_find_local_mac(uint8_t mac[6]);

// Looks up the path MTU to the relay text and sets the clamp, with its line.
void gateway_update_mss_clamp(const char *relay);
