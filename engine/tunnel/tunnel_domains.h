#pragma once
// Domain routing for the PC tunnel engine: pattern matching, reading names out
// of DNS messages, and the two snooping steps of the capture loop (an outbound
// query for a game domain is tunneled; the addresses in the answer that comes
// back through the tunnel become application addresses).
//
// Everything here reads untrusted bytes: every offset is checked against the
// message length before it is read.

#include <stddef.h>
#include <stdint.h>

#define TUNNEL_DNS_NAME_MAX 255
#define TUNNEL_DNS_MAX_JUMPS 10

// Case-insensitive (ASCII) pattern match:
//   ""            name is empty
//   "*"           anything
//   "x"           (one other character) name is exactly that character
//   "*text*"      text (first 127 chars) occurs in the name (first 255 chars)
//   "*.suffix"    name ends with ".suffix" or equals suffix
//   "*suffix"     name ends with suffix
//   "prefix*"     name starts with prefix (first 127 chars)
//   otherwise     name equals pattern
// Null pattern or name never matches.
bool tunnel_domain_pattern_match(const char *pattern, const char *name);

// Reads the name starting at offset in a DNS message into out (at most 255
// characters, lower-cased, labels joined by "."; NUL-terminated). Follows at
// most 10 compression pointers. On success *end (may be null) is the offset
// just after the name as it stands at offset: after its 0 byte, or two bytes
// after the first pointer's first byte. Returns false when the name runs past
// the message, a pointer leads past it, or there are more than 10 jumps.
bool tunnel_dns_read_name(const uint8_t *msg, size_t len, size_t offset, char out[TUNNEL_DNS_NAME_MAX + 1],
                          size_t *end);

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
