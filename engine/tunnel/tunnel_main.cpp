// quorlix_tunnel_main: start-up, the capture loop and tear-down of a run;
// quorlix_tunnel_stop: ends it from another thread.

#include "engine/common/engine_clock.h"
#include "engine/common/engine_log.h"
#include "engine/tunnel/quorlix_tunnel.h"
#include "engine/tunnel/tunnel_loop.h"
#include "engine/tunnel/tunnel_mtu.h"
#include "engine/tunnel/tunnel_state.h"

#include <arpa/inet.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <atomic>

namespace {

std::atomic<bool> g_stop{false};
// One run at a time: a second run would share the capture handle, the socket
// and the run's state with the first.
std::atomic<bool> g_inRun{false};

// Receive buffer of the loop (engine thread only), with room in front of the
// packet for a datagram header.
uint8_t g_buffer[TUNNEL_LOOP_HEADROOM + QUORLIX_CAPTURE_MAX_PACKET];
uint8_t *const g_packet = g_buffer + TUNNEL_LOOP_HEADROOM;

void sleepMs(long ms)
{
    timespec ts{ms / 1000, (ms % 1000) * 1000000L};
    nanosleep(&ts, nullptr);
}

// Writes "<prefix>p1,p2,...\n" in chunks that fit a log line; the output is
// the same text as one write per port.
void logPortList(const char *prefix, const uint32_t *ports, int count)
{
    char line[1800];
    size_t len = 0;
    len = size_t(snprintf(line, sizeof line, "%s", prefix));
    for (int i = 0; i < count; ++i) {
        char one[24];
        const int n = snprintf(one, sizeof one, "%d%s", int(ports[i]), i + 1 < count ? "," : "");
        if (len + size_t(n) + 1 >= sizeof line) {
            quorlix_log("%s", line);
            len = 0;
            line[0] = 0;
        }
        memcpy(line + len, one, size_t(n) + 1);
        len += size_t(n);
    }
    quorlix_log("%s\n", line);
}

int clampCount(int32_t n)
{
    return n < 0 ? 0 : (n > QUORLIX_MAX_PORTS ? QUORLIX_MAX_PORTS : int(n));
}

int failStart(TunnelRuntimeConfig *cfg)
{
    free(cfg);
    tunnel_state_run_end();
    quorlix_log_run_end();
    g_inRun.store(false);
    return 1;
}

} // namespace

extern "C" int quorlix_tunnel_main(void)
{
    if (g_inRun.exchange(true)) {
        quorlix_log_err("[ERROR] Tunnel engine is already running\n");
        return 1;
    }
    quorlix_log_run_begin();
    tunnel_state_run_begin();
    g_stop.store(false);
    quorlix_log_set_verbose(0);
    quorlix_log("=== Quorlix Tunnel Client v2.0 ===\n");

    TunnelRuntimeConfig *cfg = static_cast<TunnelRuntimeConfig *>(calloc(1, sizeof(TunnelRuntimeConfig)));
    if (!cfg || !tunnel_load_config(cfg)) {
        quorlix_log("[ERROR] Failed to load configuration file quorlix.conf\n");
        return failStart(cfg);
    }
    cfg->entry_host[QUORLIX_HOST_LEN - 1] = 0;
    cfg->game_profile[QUORLIX_PROFILE_LEN - 1] = 0;
    // The loader has set the verbose flag (from the record's debug_mode, or
    // from the file's "debug_mode" key only), while the MSS line follows the
    // record's own flag, which a file without that key leaves on.
    const int enableTcp = cfg->enable_tcp != 0;
    tunnel_loop_configure(enableTcp, cfg->debug_mode != 0);

    const int entryPort = cfg->entry_port > 0 ? cfg->entry_port : TUNNEL_DEFAULT_RELAY_PORT;
    quorlix_log("[CONFIG] Game Profile: %s\n", cfg->game_profile);
    quorlix_log("[CONFIG] Entry Server: %s:%d\n", cfg->entry_host, entryPort);
    logPortList("[CONFIG] UDP Ports: ", cfg->udp_ports, clampCount(cfg->udp_port_count));
    if (enableTcp) {
        logPortList("[CONFIG] TCP Ports: ", cfg->tcp_ports, clampCount(cfg->tcp_port_count));
        quorlix_log("[INFO] TCP tunneling enabled\n");
    } else {
        quorlix_log("[INFO] TCP tunneling disabled (only UDP)\n");
    }
    quorlix_log("\n[CONFIG] Safe MTU (inner+16): %d\n", g_tunnel_mtu.safe_mtu.load());

    tunnel_state_build_ports_at_start(cfg);
    tunnel_state_load_domains_at_start(cfg);

    const in_addr_t entryAddr = inet_addr(cfg->entry_host);
    if (entryAddr == INADDR_NONE) {
        quorlix_log_err("Bad IP\n");
        return failStart(cfg);
    }
    tunnel_set_primary_relay(uint32_t(entryAddr), uint16_t(entryPort));

    quorlix_log_verbose("[DEBUG] Initializing connection to Entry Server...\n");
    int err = 0;
    if (!quorlix_socket_open(tunnel_loop_socket(), &err)) {
        quorlix_log("[ERROR] Failed to create socket: %d\n", err);
        quorlix_log_err("Failed to initialize connection to Entry Server\n");
        return failStart(cfg);
    }
    quorlix_log_verbose("[DEBUG] Socket created successfully (non-blocking)\n");
    quorlix_log_verbose("[DEBUG] Connection to Entry Server established\n");
    quorlix_log_verbose("[DEBUG] Creating simplified filter string...\n");
    quorlix_log_verbose("[DEBUG] Entry IP string: %s\n", cfg->entry_host);
    quorlix_log_verbose("[DEBUG] Using broad WinDivert filter; runtime decides tunneling\n");

    // The filter built here already names every relay mapped so far; a
    // rebuild asked for before this point would only reopen the same filter.
    tunnel_take_filter_rebuild_request();
    uint32_t relays[TUNNEL_MAX_RELAYS];
    int totalMappings = 0;
    const int relayCount = tunnel_relay_set(relays, &totalMappings);
    quorlix_log_verbose("[DEBUG] Found %d unique entry servers (from %d total mappings)\n", relayCount,
                        totalMappings);
    char filter[TUNNEL_FILTER_MAX_TEXT];
    const size_t filterLen = tunnel_filter_build(relays, relayCount, filter, sizeof filter);
    quorlix_log("[INFO] WinDivert filter: %s\n", filter);
    quorlix_log_verbose("[DEBUG] Filter length: %d characters\n", int(filterLen));

    // The relays answer to the engine's socket: a capture that can take
    // their datagrams from there saves them a trip through its queue.
    const quorlix_capture_handle h =
        quorlix_capture_open_socket(filter, tunnel_loop_socket()->fd.load(), &err);
    if (h == QUORLIX_CAPTURE_INVALID) {
        quorlix_log_err("Open failed (%lu)\n", (unsigned long)err);
        if (err == QUORLIX_CAPTURE_ERR_FILTER_SYNTAX) {
            quorlix_log_err("ERROR_INVALID_PARAMETER: Filter syntax error\n");
            quorlix_log_err("Filter was: %s\n", filter);
        }
        quorlix_socket_close(tunnel_loop_socket());
        return failStart(cfg);
    }
    tunnel_loop_handle_set(h);
    quorlix_log("[*] Tunneling %s ports to Entry Server %s:%u\n", enableTcp ? "UDP+TCP" : "UDP",
                cfg->entry_host, unsigned(entryPort));
    quorlix_log("[*] Logging all tunneled packets...\n");
    free(cfg);
    cfg = nullptr;

    int failedReceives = 0;
    // One clock reading per pass, taken when its packet arrived: the packet's
    // time stamps and the next pass's timers use it. (Read before the wait, it
    // would date a packet that ended a long quiet spell to the spell's start,
    // and the clean-up could drop its flow at once.)
    uint64_t now = quorlix_now_ms();
    while (!g_stop.load()) {
        tunnel_loop_timers(now);
        if (tunnel_state_take_config_changed())
            quorlix_log("[RUNTIME] Configuration updated and applied\n");
        if (tunnel_take_filter_rebuild_request()) {
            if (tunnel_rebuild_filter())
                quorlix_log("[RUNTIME] WinDivert filter updated for new entry servers\n");
            else
                quorlix_log("[RUNTIME] \xE2\x9D\x8C Failed to restart WinDivert, keeping old filter\n");
        }
        tunnel_state_service_pending_reset();
        // A stop that arrived while the handle was being replaced closed the
        // old one; look again before waiting on the new one.
        if (g_stop.load())
            break;
        size_t len = 0;
        quorlix_capture_addr addr;
        const int rc =
            quorlix_capture_recv(tunnel_loop_handle(), g_packet, QUORLIX_CAPTURE_MAX_PACKET, &len, &addr);
        now = quorlix_now_ms();
        if (rc != QUORLIX_CAPTURE_OK) {
            // A closed handle without a stop (nothing else closes it) must not
            // turn the thread into a busy loop.
            if (rc != QUORLIX_CAPTURE_ERR_BUFFER_TOO_SMALL && ++failedReceives > 3)
                sleepMs(5);
            continue;
        }
        failedReceives = 0;
        tunnel_loop_process_at(g_packet, len, TUNNEL_LOOP_HEADROOM, &addr, now);
    }

    quorlix_log("[INFO] Stop requested. Closing WinDivert and exiting loop.\n");
    const quorlix_capture_handle last = tunnel_loop_handle_take();
    if (last != QUORLIX_CAPTURE_INVALID)
        quorlix_capture_close(last);
    quorlix_socket_close(tunnel_loop_socket());
    tunnel_state_run_end();
    quorlix_log_run_end();
    g_inRun.store(false);
    return 0;
}

extern "C" void quorlix_tunnel_stop(void)
{
    // Mark first, then wake the receive: the loop looks at the mark after every
    // wake-up and before every wait, so the stop cannot slip between the two.
    // The engine thread itself closes the socket and forgets the handle.
    g_stop.store(true);
    tunnel_loop_handle_close_for_stop();
    sleepMs(100);
}
