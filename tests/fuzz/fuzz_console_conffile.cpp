// fuzz-sources: engine/console/console_conffile.cpp
// fuzz-sources: engine/common/engine_log.cpp engine/common/conf_text.cpp
//
// The console engine's reader of "quorlix.conf" on hostile text: the section
// "global" and the profile sections, with the port sets checked afterwards.

#include "engine/common/engine_log.h"
#include "engine/console/console_conffile.h"

#include <stdlib.h>
#include <string.h>

namespace {
void quiet(int, const char *, size_t, void *) {}

// The count is the set's population, counted here a word at a time (the
// reader counts as it sets bits). The check is the oracle, not code under
// test: it gets no coverage feedback, which would cost more than the parse.
__attribute__((no_sanitize("coverage"))) void check_set(const uint8_t *bitmap, unsigned long count)
{
    unsigned long n = 0;
    for (size_t i = 0; i < GATEWAY_PORT_BITMAP_BYTES; i += sizeof(uint64_t)) {
        uint64_t word;
        memcpy(&word, bitmap + i, sizeof word);
        n += static_cast<unsigned long>(__builtin_popcountll(word));
    }
    if (n != count || gateway_port_bitmap_test(bitmap, 0))
        abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static bool once = [] {
        quorlix_log_set_sink(quiet, nullptr);
        return true;
    }();
    (void)once;
    const char *text = reinterpret_cast<const char *>(data);
    GatewayFileSettings s;
    gateway_settings_init(&s);
    gateway_parse_global_text(text, size, &s);
    if (strnlen(s.server_ip, sizeof s.server_ip) >= sizeof s.server_ip ||
        strnlen(s.profile, sizeof s.profile) >= sizeof s.profile ||
        strnlen(s.gateway, sizeof s.gateway) >= sizeof s.gateway ||
        strnlen(s.subnet, sizeof s.subnet) >= sizeof s.subnet || strnlen(s.dns, sizeof s.dns) >= sizeof s.dns)
        abort();
    if (s.server_port == 0 || s.verbose_packets_max_per_sec < 0)
        abort();

    // The built-in sets do not depend on the input: made once, copied per input.
    struct Sets
    {
        uint8_t udp[GATEWAY_PORT_BITMAP_BYTES], tcp[GATEWAY_PORT_BITMAP_BYTES];
        unsigned long udp_count = 0, tcp_count = 0;
    };
    static const Sets defaults = [] {
        Sets d;
        gateway_set_default_port_sets(d.udp, &d.udp_count, d.tcp, &d.tcp_count);
        return d;
    }();
    static Sets sets;
    sets = defaults;
    uint8_t *udp = sets.udp, *tcp = sets.tcp;
    unsigned long udp_count = sets.udp_count, tcp_count = sets.tcp_count;
    gateway_parse_profile_text(text, size, s.profile, udp, &udp_count, tcp, &tcp_count);
    check_set(udp, udp_count);
    check_set(tcp, tcp_count);
    return 0;
}
