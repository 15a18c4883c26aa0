#pragma once
// Domain pattern matching and reading names out of DNS messages: pure
// functions of their arguments, with no engine state and no lock. The
// mapping table and the snooping steps of the capture loop pass in what they
// match.
//
// tunnel_dns_read_name reads untrusted bytes: every offset is checked against
// the message length before it is read.

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
