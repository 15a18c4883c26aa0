// fuzz-sources: engine/tunnel/tunnel_conffile.cpp engine/tunnel/tunnel_state.cpp
// fuzz-sources: engine/tunnel/tunnel_run.cpp engine/tunnel/tunnel_config.cpp engine/tunnel/tunnel_ports.cpp
// fuzz-sources: engine/tunnel/tunnel_domain_list.cpp engine/tunnel/tunnel_domain_match.cpp
// fuzz-sources: engine/tunnel/tunnel_relays.cpp engine/tunnel/tunnel_app_ips.cpp engine/tunnel/tunnel_stats.cpp
// fuzz-sources: engine/tunnel/tunnel_domains.cpp engine/tunnel/tunnel_ack.cpp engine/tunnel/tunnel_mtu.cpp
// fuzz-sources: engine/common/engine_log.cpp engine/common/engine_clock.cpp engine/common/conf_text.cpp
// fuzz-sources: engine/console/console_conffile.cpp
//
// Both port-list parsers (the PC engine's value list and the console engine's
// bit set) and the PC domain list on the same hostile text.

#include "engine/common/engine_log.h"
#include "engine/console/console_conffile.h"
#include "engine/tunnel/tunnel_conffile.h"

#include <stdlib.h>
#include <string.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const char *text = reinterpret_cast<const char *>(data + 1);
    const size_t len = size - 1;

    // A small capacity picked by the first byte makes the "table full" edge common.
    static uint32_t ports[QUORLIX_MAX_PORTS];
    const int cap = (data[0] & 1) ? QUORLIX_MAX_PORTS : 1 + (data[0] >> 1);
    const int n = tunnel_parse_port_list_n(text, len, ports, cap);
    if (n < 0 || n > cap)
        abort();

    static char domains[QUORLIX_MAX_DOMAINS][QUORLIX_DOMAIN_LEN];
    const int d = tunnel_parse_domain_list_n(text, len, domains, QUORLIX_MAX_DOMAINS);
    if (d < 0 || d > QUORLIX_MAX_DOMAINS)
        abort();
    for (int i = 0; i < d; ++i) {
        if (strnlen(domains[i], QUORLIX_DOMAIN_LEN) >= QUORLIX_DOMAIN_LEN)
            abort();
    }

    static uint8_t bitmap[GATEWAY_PORT_BITMAP_BYTES];
    unsigned long count = 12345;
    gateway_parse_port_bitmap_n(text, len, bitmap, &count);
    unsigned long seen = 0;
    for (unsigned p = 0; p < 65536; ++p)
        seen += unsigned(gateway_port_bitmap_test(bitmap, p));
    if (seen != count || gateway_port_bitmap_test(bitmap, 0))
        abort();
    return 0;
}
