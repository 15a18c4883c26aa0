// The capture filter: every outbound IPv4 packet except those to the relays,
// and the relays' UDP datagrams coming back from source port 50000.

#include "engine/common/engine_log.h"
#include "engine/tunnel/tunnel_loop.h"
#include "engine/tunnel/tunnel_state.h"

#include <stdio.h>
#include <string.h>

namespace {

struct Text
{
    char *out;
    size_t cap;
    size_t len;
    bool ok;
    void add(const char *s)
    {
        const size_t n = strlen(s);
        if (!ok || len + n + 1 > cap) {
            ok = false;
            return;
        }
        memcpy(out + len, s, n + 1);
        len += n;
    }
};

void addrText(uint32_t raw, char out[16])
{
    uint8_t b[4];
    memcpy(b, &raw, 4);
    snprintf(out, 16, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
}

} // namespace

size_t tunnel_filter_build(const uint32_t *relays, int count, char *out, size_t cap)
{
    if (!out || cap == 0 || count < 1 || !relays)
        return 0;
    Text t{out, cap, 0, true};
    out[0] = 0;
    char ip[16];
    t.add("((outbound and ip");
    for (int i = 0; i < count; ++i) {
        addrText(relays[i], ip);
        t.add(" and ip.DstAddr != ");
        t.add(ip);
    }
    t.add(") or (inbound and udp.SrcPort == 50000 and (");
    for (int i = 0; i < count; ++i) {
        addrText(relays[i], ip);
        if (i)
            t.add(" or ");
        t.add("ip.SrcAddr == ");
        t.add(ip);
    }
    t.add(")))");
    if (!t.ok) {
        out[0] = 0;
        return 0;
    }
    return t.len;
}

int tunnel_rebuild_filter(void)
{
    // The relay set is built from the primary relay alone when no mapping call
    // ever ran, so a rebuild asked for by a change of the primary relay works
    // without any mapping.
    quorlix_log("[WINDIVERT-RESTART] Rebuilding filter for new servers...\n");
    uint32_t relays[TUNNEL_MAX_RELAYS];
    const int n = tunnel_relay_set(relays, nullptr);
    quorlix_log("[WINDIVERT-RESTART] Found %d unique entry servers\n", n);
    char ip[16];
    for (int i = 0; i < n; ++i) {
        addrText(relays[i], ip);
        quorlix_log("[WINDIVERT-RESTART] Including server: %s\n", ip);
    }
    char filter[TUNNEL_FILTER_MAX_TEXT];
    if (!tunnel_filter_build(relays, n, filter, sizeof filter)) {
        quorlix_log("[WINDIVERT-RESTART] \xE2\x9D\x8C Failed to open WinDivert (%lu)\n", 87ul);
        return 0;
    }
    quorlix_log("[WINDIVERT-RESTART] New filter: %s\n", filter);
    quorlix_log("[WINDIVERT-RESTART] Opening new WinDivert handle...\n");
    int err = 0;
    const quorlix_capture_handle h =
        quorlix_capture_open_socket(filter, tunnel_loop_socket()->fd.load(), &err);
    if (h == QUORLIX_CAPTURE_INVALID) {
        quorlix_log("[WINDIVERT-RESTART] \xE2\x9D\x8C Failed to open WinDivert (%lu)\n", (unsigned long)err);
        if (err == QUORLIX_CAPTURE_ERR_FILTER_SYNTAX) {
            quorlix_log("[WINDIVERT-RESTART] ERROR_INVALID_PARAMETER: Filter syntax error\n");
            quorlix_log("[WINDIVERT-RESTART] Filter was: %s\n", filter);
        }
        return 0;
    }
    const quorlix_capture_handle old = tunnel_loop_handle_set(h);
    if (old != QUORLIX_CAPTURE_INVALID) {
        quorlix_log("[WINDIVERT-RESTART] Closing old WinDivert handle...\n");
        quorlix_capture_close(old);
    }
    quorlix_log("[WINDIVERT-RESTART] \xE2\x9C\x85 WinDivert restarted successfully!\n");
    return 1;
}
