#pragma once
// Domain routing for the PC tunnel engine: the two snooping steps of the
// capture loop (an outbound query for a game domain is tunneled; the addresses
// in the answer that comes back through the tunnel become application
// addresses). They match names against the domain list (tunnel_domain_list.h)
// and the mapping table (tunnel_relays.h) with tunnel_domain_match.h's rules.
//
// Lock rule: no lock of its own. The lists it consults each take their own
// lock in turn (the configuration lock for the domain list, the mapping lock,
// the app-address lock), never two at once.
//
// Everything here reads untrusted bytes: every offset is checked against the
// message length before it is read.

#include "engine/tunnel/tunnel_domain_match.h"

#include <stddef.h>
#include <stdint.h>

// Query snooping: dns is the UDP payload of an outbound packet to port 53.
// When its question name matches an application domain, writes the match
// lines, sets *relay_addr / *relay_port (domain mapping, else primary relay)
// and returns true ("DNS-matched").
bool tunnel_dns_snoop_query(const uint8_t *dns, size_t len, uint32_t *relay_addr, uint16_t *relay_port);

// Answer snooping: dns is the decapsulated payload of a relay's UDP reply whose
// port was 53; orig_dst_port is only logged. Adds the IPv4 addresses of the A
// records to the application-address list when the question name matches an
// application domain. Returns the number of addresses added.
int tunnel_dns_snoop_answer(const uint8_t *dns, size_t len, unsigned orig_dst_port);
