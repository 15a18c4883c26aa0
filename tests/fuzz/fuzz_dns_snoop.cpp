// fuzz-sources: engine/tunnel/tunnel_conffile.cpp engine/tunnel/tunnel_state.cpp
// fuzz-sources: engine/tunnel/tunnel_run.cpp engine/tunnel/tunnel_config.cpp engine/tunnel/tunnel_ports.cpp
// fuzz-sources: engine/tunnel/tunnel_domain_list.cpp engine/tunnel/tunnel_domain_match.cpp
// fuzz-sources: engine/tunnel/tunnel_relays.cpp engine/tunnel/tunnel_app_ips.cpp engine/tunnel/tunnel_stats.cpp
// fuzz-sources: engine/tunnel/tunnel_domains.cpp engine/tunnel/tunnel_ack.cpp engine/tunnel/tunnel_mtu.cpp
// fuzz-sources: engine/common/engine_log.cpp engine/common/engine_clock.cpp engine/common/conf_text.cpp
//
// DNS messages from the wire: the name reader at any offset, the query
// snooper and the answer snooper, with patterns of every shape and a domain
// mapping in place; the same bytes also serve as a hand-written pattern. The
// learned list is emptied when full so additions keep being exercised.

#include "engine/common/engine_log.h"
#include "engine/tunnel/quorlix_tunnel.h"
#include "engine/tunnel/tunnel_domains.h"
#include "engine/tunnel/tunnel_state.h"

#include <arpa/inet.h>
#include <stdlib.h>
#include <string.h>

namespace {
void quiet(int, const char *, size_t, void *) {}

bool setup()
{
    quorlix_log_set_sink(quiet, nullptr);
    TunnelRuntimeConfig *cfg = static_cast<TunnelRuntimeConfig *>(calloc(1, sizeof(TunnelRuntimeConfig)));
    const char *patterns[] = {"*.game.test", "*a*", "x*", "*b", "c", "", "exact.test", "**"};
    int n = 0;
    for (const char *p : patterns)
        strcpy(cfg->app_domains[n++], p);
    cfg->app_domain_count = n;
    tunnel_set_verbose(true);
    tunnel_state_load_domains_at_start(cfg);
    free(cfg);
    tunnel_set_primary_relay(inet_addr("192.0.2.1"), 50000);
    quorlix_add_domain_server_mapping("*.eu.game.test", "198.51.100.7", 7000);
    return true;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static bool once = setup();
    (void)once;
    if (size < 1)
        return 0;
    const uint8_t mode = data[0];
    // An exact-size copy so any read past the message is caught.
    uint8_t *msg = static_cast<uint8_t *>(malloc(size - 1 ? size - 1 : 1));
    memcpy(msg, data + 1, size - 1);
    const size_t len = size - 1;

    char name[TUNNEL_DNS_NAME_MAX + 1];
    size_t end = 0;
    if (tunnel_dns_read_name(msg, len, mode % 32, name, &end)) {
        if (strnlen(name, sizeof name) > TUNNEL_DNS_NAME_MAX || end > len)
            abort();
    }
    // Patterns come from a hand-written file too: the input as a pattern
    // (cut where a configured pattern would be) against the name just read
    // and against itself.
    char pattern[QUORLIX_DOMAIN_LEN];
    const size_t plen = len < sizeof pattern - 1 ? len : sizeof pattern - 1;
    memcpy(pattern, msg, plen);
    pattern[plen] = '\0';
    (void)tunnel_domain_pattern_match(pattern, name);
    (void)tunnel_domain_pattern_match(pattern, pattern);

    uint32_t addr;
    uint16_t port;
    (void)tunnel_dns_snoop_query(msg, len, &addr, &port);
    (void)tunnel_dns_snoop_answer(msg, len, 53);
    if (tunnel_app_ip_count() > TUNNEL_MAX_APP_IPS)
        abort();
    if (tunnel_app_ip_count() >= TUNNEL_MAX_APP_IPS - 16)
        quorlix_clear_app_ips();
    free(msg);
    return 0;
}
