#include "engine/tunnel/tunnel_domains.h"

#include "engine/common/engine_log.h"
#include "engine/tunnel/quorlix_tunnel.h"
#include "engine/tunnel/tunnel_state.h"

#include <string.h>

namespace {

// ASCII-only folding: names on the wire are bytes, and the C locale's idea of
// upper case must not change what matches.
inline unsigned char fold(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c;
}

bool equal_n(const char *a, const char *b, size_t n)
{
    for (size_t i = 0; i < n; ++i) {
        if (fold(static_cast<unsigned char>(a[i])) != fold(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

bool ends_with(const char *name, size_t n, const char *suffix, size_t s)
{
    return n >= s && equal_n(name + (n - s), suffix, s);
}

bool contains(const char *hay, size_t h, const char *needle, size_t k)
{
    if (k == 0)
        return true;
    for (size_t i = 0; i + k <= h; ++i) {
        if (equal_n(hay + i, needle, k))
            return true;
    }
    return false;
}

inline uint16_t be16(const uint8_t *p)
{
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

} // namespace

bool tunnel_domain_pattern_match(const char *pattern, const char *name)
{
    if (!pattern || !name)
        return false;
    const size_t L = strlen(pattern);
    const size_t n = strlen(name);
    if (L == 0)
        return n == 0;
    if (L == 1) {
        if (pattern[0] == '*')
            return true;
        return n == 1 &&
               fold(static_cast<unsigned char>(pattern[0])) == fold(static_cast<unsigned char>(name[0]));
    }
    if (pattern[0] == '*' && pattern[L - 1] == '*') {
        size_t k = L - 2;
        if (k > 127)
            k = 127;
        size_t h = n > 255 ? 255 : n;
        return contains(name, h, pattern + 1, k);
    }
    if (pattern[0] == '*' && pattern[1] == '.') {
        const char *suffix = pattern + 2;
        const size_t s = L - 2;
        if (n == s && equal_n(name, suffix, s))
            return true;
        return n >= s + 1 && name[n - s - 1] == '.' && ends_with(name, n, suffix, s);
    }
    if (pattern[0] == '*')
        return ends_with(name, n, pattern + 1, L - 1);
    if (pattern[L - 1] == '*') {
        size_t k = L - 1;
        if (n < k)
            return false;
        if (k > 127)
            k = 127;
        return equal_n(name, pattern, k);
    }
    return n == L && equal_n(name, pattern, L);
}

namespace {
bool read_name(const uint8_t *msg, size_t len, size_t offset, char out[TUNNEL_DNS_NAME_MAX + 1], size_t *end)
{
    size_t pos = offset;
    size_t n = 0;
    size_t end_pos = 0;
    bool jumped = false;
    bool first_label = true;
    int jumps = 0;
    for (;;) {
        if (pos >= len)
            return false;
        const uint8_t b = msg[pos];
        if (b == 0) {
            if (!jumped)
                end_pos = pos + 1;
            break;
        }
        if ((b & 0xC0) == 0xC0) {
            if (pos + 1 >= len)
                return false;
            const size_t target = (size_t(b & 0x3F) << 8) | msg[pos + 1];
            if (!jumped) {
                end_pos = pos + 2;
                jumped = true;
            }
            if (++jumps > TUNNEL_DNS_MAX_JUMPS)
                return false;
            if (target >= len)
                return false;
            pos = target;
            continue;
        }
        const size_t label = b;
        if (label > len - pos - 1)
            return false; // the label would end past the message
        if (!first_label && n >= 1 && n <= TUNNEL_DNS_NAME_MAX - 1)
            out[n++] = '.';
        for (size_t i = 0; i < label && n < TUNNEL_DNS_NAME_MAX; ++i)
            out[n++] = static_cast<char>(fold(msg[pos + 1 + i]));
        first_label = false;
        pos += 1 + label;
    }
    out[n] = '\0';
    if (end)
        *end = end_pos;
    return true;
}
} // namespace

bool tunnel_dns_read_name(const uint8_t *msg, size_t len, size_t offset, char out[TUNNEL_DNS_NAME_MAX + 1],
                          size_t *end)
{
    if (!out)
        return false;
    out[0] = '\0';
    if (!msg)
        return false;
    // A name given up on halfway must not leave unterminated label bytes behind.
    if (!read_name(msg, len, offset, out, end)) {
        out[0] = '\0';
        return false;
    }
    return true;
}

bool tunnel_dns_snoop_query(const uint8_t *dns, size_t len, uint32_t *relay_addr, uint16_t *relay_port)
{
    if (!dns || len < 12 || be16(dns + 4) < 1)
        return false;
    char name[TUNNEL_DNS_NAME_MAX + 1];
    if (!tunnel_dns_read_name(dns, len, 12, name, nullptr))
        return false;
    char pattern[QUORLIX_DOMAIN_LEN];
    if (!tunnel_domain_first_match(name, pattern, sizeof pattern)) {
        if (tunnel_verbose())
            quorlix_log("[DNS-LOCAL] Direct DNS for: %s\n", name);
        return false;
    }
    quorlix_log("[DNS-MATCH] ✓ %s matched pattern '%s'\n", name, pattern);
    uint32_t addr = 0;
    uint16_t port = 0;
    if (tunnel_find_domain_mapping(name, &addr, &port)) {
        quorlix_log("[DNS-DOMAIN] Routing DNS query for %s to domain-specific server\n", name);
    } else {
        tunnel_primary_relay(&addr, &port);
        quorlix_log("[DNS-PRIMARY] Routing DNS query for %s to primary server (no domain-specific mapping)\n",
                    name);
    }
    if (relay_addr)
        *relay_addr = addr;
    if (relay_port)
        *relay_port = port;
    return true;
}

int tunnel_dns_snoop_answer(const uint8_t *dns, size_t len, unsigned orig_dst_port)
{
    const bool verbose = tunnel_verbose();
    if (verbose)
        quorlix_log("[DNS-DEBUG] DNS payload len: %u (orig dst port: %u)\n", static_cast<unsigned>(len),
                    orig_dst_port);
    if (!dns || len < 12)
        return 0;
    const uint16_t flags = be16(dns + 2);
    const uint16_t qd = be16(dns + 4);
    const uint16_t an = be16(dns + 6);
    const bool response = (flags & 0x8000u) != 0;
    if (verbose)
        quorlix_log("[DNS-DEBUG] Flags: 0x%04x, QD: %u, AN: %u, Response: %s\n", flags, qd, an,
                    response ? "YES" : "NO");
    if (!response || qd < 1 || an < 1)
        return 0;

    char name[TUNNEL_DNS_NAME_MAX + 1];
    size_t question_end = 0;
    if (!tunnel_dns_read_name(dns, len, 12, name, &question_end))
        return 0;
    size_t pos = question_end + 4; // question type and class
    if (pos > len)
        return 0;
    if (verbose) {
        quorlix_log("[DNS-DEBUG] Query name: %s\n", name);
        quorlix_log("[DNS-DEBUG] Checking %s against %d app domains\n", name, tunnel_domain_count());
    }
    char pattern[QUORLIX_DOMAIN_LEN];
    if (!tunnel_domain_first_match(name, pattern, sizeof pattern))
        return 0;
    if (verbose) {
        quorlix_log("[DNS-DEBUG] Matched with %s\n", pattern);
        quorlix_log("[DNS-SNOOP] Found app domain: %s\n", name);
    }
    uint32_t relay_addr = 0;
    uint16_t relay_port = 0;
    tunnel_server_for_domain(name, &relay_addr, &relay_port);

    int added = 0;
    for (unsigned r = 0; r < an; ++r) {
        // Owner name: walked, not read; a pointer ends it after two bytes.
        int labels = 0;
        for (;;) {
            if (pos >= len)
                return added;
            const uint8_t b = dns[pos];
            if (b == 0) {
                pos += 1;
                break;
            }
            if ((b & 0xC0) == 0xC0) {
                pos += 2;
                break;
            }
            pos += 1 + size_t(b);
            if (++labels > 255)
                return added;
        }
        if (pos > len || len - pos < 10)
            return added;
        const uint16_t type = be16(dns + pos);
        const uint16_t klass = be16(dns + pos + 2);
        const uint16_t rdlen = be16(dns + pos + 8);
        pos += 10;
        if (rdlen > len - pos)
            return added;
        if (type == 1 && klass == 1 && rdlen == 4) {
            uint32_t addr;
            memcpy(&addr, dns + pos, 4);
            if (tunnel_app_ip_add(addr, relay_addr, relay_port))
                ++added;
        }
        pos += rdlen;
    }
    return added;
}
