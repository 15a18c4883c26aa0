#include "engine/tunnel/tunnel_domains.h"

#include "engine/common/engine_log.h"
#include "engine/common/tunnel_header.h"
#include "engine/tunnel/quorlix_tunnel.h"
#include "engine/tunnel/tunnel_app_ips.h"
#include "engine/tunnel/tunnel_domain_list.h"
#include "engine/tunnel/tunnel_relays.h"
#include "engine/tunnel/tunnel_stats.h"

#include <string.h>

bool tunnel_dns_snoop_query(const uint8_t *dns, size_t len, uint32_t *relay_addr, uint16_t *relay_port)
{
    if (!dns || len < 12 || tunnel_load_be16(dns + 4) < 1)
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
    const uint16_t flags = tunnel_load_be16(dns + 2);
    const uint16_t qd = tunnel_load_be16(dns + 4);
    const uint16_t an = tunnel_load_be16(dns + 6);
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
        const uint16_t type = tunnel_load_be16(dns + pos);
        const uint16_t klass = tunnel_load_be16(dns + pos + 2);
        const uint16_t rdlen = tunnel_load_be16(dns + pos + 8);
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
