// The console gateway's run: settings, start-up (MSS clamp, driver, console
// mode, region, socket, receive thread), the ring reader loop with its
// statistics, and the clean-up.

#include "engine/console/console_gateway.h"

#include "engine/common/engine_clock.h"
#include "engine/common/engine_log.h"
#include "engine/console/console_device_config.h"
#include "engine/console/console_downlink.h"
#include "engine/console/console_host.h"
#include "engine/console/console_ring.h"
#include "engine/console/console_state.h"
#include "engine/console/console_stats.h"
#include "engine/console/console_uplink.h"
#include "platform/driver/console_device.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <string.h>
#include <system_error>
#include <thread>
#include <time.h>

namespace {

void copyCut(char *dst, size_t cap, const char *src)
{
    size_t n = strnlen(src, cap - 1);
    memcpy(dst, src, n);
    dst[n] = '\0';
}

void sleepMs(int ms)
{
    timespec ts = {0, long(ms) * 1000000L};
    nanosleep(&ts, nullptr);
}

void gatewayCleanup()
{
    GatewayState &s = gateway_state();
    quorlix_log("[CLEANUP] Shutting down...\n");
    if (quorlix_socket_is_open(&s.sock))
        quorlix_socket_close(&s.sock);
    const quorlix_driver_handle dev = s.device.exchange(QUORLIX_DRIVER_INVALID);
    if (dev != QUORLIX_DRIVER_INVALID) {
        static uint8_t off[CCFG_SIZE]; // all 0 bytes: console mode off
        quorlix_driver_control(dev, CONSOLE_IOCTL_SET_CONSOLE_CONFIG, off, CCFG_SIZE, nullptr, 0, nullptr);
        quorlix_driver_close(dev);
    }
    quorlix_log("[CLEANUP] Done\n");
}

void gatewayRingReaderLoop()
{
    GatewayState &s = gateway_state();
    uint64_t periodStart = quorlix_now_ms();
    quorlix_log("[GATEWAY] Waiting for console packets...\n\n");
    unsigned long long frames = 0;
    static uint8_t buf[RING_MAX_FRAME];
    uint8_t *region = s.region.load();
    while (gateway_is_running()) {
        int handled = 0;
        size_t len = 0;
        while (handled < 256 && gateway_ring_take(region, buf, &len)) {
            gateway_handle_console_frame(buf, len);
            ++handled;
        }
        frames += unsigned(handled);
        if (!handled)
            sleepMs(1);
        const uint64_t now = quorlix_now_ms();
        if (now - periodStart >= 5000) {
            gateway_print_stats(frames);
            periodStart = now;
        }
    }
}

// Settles the run state at the start of main: 1 to run, 0 when a stop came first.
int enterRun()
{
    GatewayState &s = gateway_state();
    int st = s.run_state.load();
    for (;;) {
        if (st == CONSOLE_GATEWAY_STOP_REQUESTED) {
            s.run_state.store(CONSOLE_GATEWAY_IDLE);
            return 0;
        }
        if (s.run_state.compare_exchange_weak(st, CONSOLE_GATEWAY_RUNNING))
            return 1;
    }
}

// Back to idle, unless the owner has armed the next run meanwhile.
void leaveRun()
{
    GatewayState &s = gateway_state();
    int st = s.run_state.load();
    while ((st == CONSOLE_GATEWAY_RUNNING || st == CONSOLE_GATEWAY_STOP_REQUESTED) &&
           !s.run_state.compare_exchange_weak(st, CONSOLE_GATEWAY_IDLE)) {
    }
}

int failStart()
{
    leaveRun();
    return 1;
}

int failAfterOpen()
{
    gatewayCleanup();
    return failStart();
}

void loadRuntimeProfile(const char *profile)
{
    GatewayState &s = gateway_state();
    if (profile[0])
        copyCut(s.active_profile, sizeof s.active_profile, profile);
    quorlix_log("[CONFIG] Runtime profile '%s': UDP=%lu TCP=%lu TunnelAllPorts=%s\n", s.active_profile,
                s.udp_count, s.tcp_count, s.settings.tunnel_all_ports ? "TRUE" : "FALSE");
}

} // namespace

extern "C" void console_gateway_set_runtime_config(const char *serverIp, const char *profile,
                                                   const char *udpPortsText, const char *tcpPortsText,
                                                   int port, int tunnelAll)
{
    GatewayState &s = gateway_state();
    if (serverIp && *serverIp)
        copyCut(s.settings.server_ip, sizeof s.settings.server_ip, serverIp);
    if (port & 0xFFFF)
        s.settings.server_port = uint16_t(port & 0xFFFF);
    if (profile && *profile) {
        copyCut(s.settings.profile, sizeof s.settings.profile, profile);
        copyCut(s.active_profile, sizeof s.active_profile, profile);
    }
    s.settings.tunnel_all_ports = tunnelAll != 0;
    // Kept whole: a long list is never cut in the middle of a number.
    s.udp_ports_text = udpPortsText ? udpPortsText : "";
    s.tcp_ports_text = tcpPortsText ? tcpPortsText : "";
    gateway_parse_port_bitmap_n(s.udp_ports_text.data(), s.udp_ports_text.size(), s.udp_bitmap, &s.udp_count);
    gateway_parse_port_bitmap_n(s.tcp_ports_text.data(), s.tcp_ports_text.size(), s.tcp_bitmap, &s.tcp_count);
    s.runtime_config_set = 1;
}

extern "C" void console_gateway_arm(void)
{
    gateway_state().run_state.store(CONSOLE_GATEWAY_ARMED);
}

extern "C" int console_gateway_run_state(void)
{
    return gateway_state().run_state.load();
}

extern "C" void console_gateway_stop(void)
{
    GatewayState &s = gateway_state();
    int st = s.run_state.load();
    while (st == CONSOLE_GATEWAY_ARMED || st == CONSOLE_GATEWAY_RUNNING) {
        if (s.run_state.compare_exchange_weak(st, CONSOLE_GATEWAY_STOP_REQUESTED)) {
            quorlix_socket_wake(&s.sock);
            return;
        }
    }
}

extern "C" int console_gateway_main(int argc, char **argv)
{
    GatewayState &s = gateway_state();
    if (!enterRun())
        return 0;
    quorlix_log("=========================================\n");
    quorlix_log("Quorlix Console Gateway (NDIS Ring Buffer)\n");
    quorlix_log("=========================================\n\n");

    if (!s.runtime_config_set) {
        gateway_find_config_path(s.config_path, sizeof s.config_path);
        gateway_load_global_config(s.config_path, &s.settings);
    }
    char relay[64];
    char profile[64];
    copyCut(relay, sizeof relay, s.settings.server_ip);
    uint16_t port = s.settings.server_port;
    copyCut(profile, sizeof profile, s.settings.profile);

    if (argc < 3 || !argv) {
        const char *self = argv && argc > 0 && argv[0] ? argv[0] : "quorlix-console-gateway";
        quorlix_log("[INFO] Usage: %s <server_ip> <server_port> [game_profile]\n", self);
        quorlix_log("[INFO] Profiles: warzone, steam, xbox, custom, etc.\n");
        quorlix_log("[INFO] Using defaults: %s:%u profile=%s\n", relay, unsigned(port), profile);
        if (!s.runtime_config_set) {
            if (s.config_path[0])
                quorlix_log("[INFO] Config: %s (preferred)\n", s.config_path);
            else
                quorlix_log("[INFO] Config: quorlix.conf (cwd)\n");
        }
        quorlix_log("\n");
    } else {
        copyCut(relay, sizeof relay, argv[1] ? argv[1] : "");
        port = uint16_t(strtol(argv[2] ? argv[2] : "0", nullptr, 10) & 0xFFFF);
        if (argc >= 4 && argv[3])
            copyCut(profile, sizeof profile, argv[3]);
    }

    // The socket speaks IPv4 to one address: a host name or anything else
    // would be sent to 255.255.255.255 by inet_addr.
    in_addr probe;
    if (inet_pton(AF_INET, relay, &probe) != 1) {
        quorlix_log_err("[FATAL] Relay address '%s' is not an IPv4 address\n", relay);
        return failStart();
    }

    gateway_update_mss_clamp(relay);

    copyCut(s.active_profile, sizeof s.active_profile, profile);
    if (s.runtime_config_set)
        loadRuntimeProfile(profile);
    else
        gateway_load_profile(profile, s.config_path, s.udp_bitmap, &s.udp_count, s.tcp_bitmap, &s.tcp_count);

    int err = 0;
    const quorlix_driver_handle dev = quorlix_driver_open(QUORLIX_CONSOLE_DEVICE_NAME, &err);
    if (dev == QUORLIX_DRIVER_INVALID) {
        quorlix_log_err("[ERROR] Failed to open driver: error %lu\n", (unsigned long)err);
        quorlix_log_err("[ERROR] Make sure NDIS driver is loaded and you're running as Administrator\n");
        quorlix_log_err("[FATAL] Failed to open driver\n");
        return failStart();
    }
    s.device.store(dev);
    quorlix_log("[OK] Driver opened\n");

    if (!gateway_set_console_config(relay, port)) {
        quorlix_log_err("[FATAL] Failed to configure console mode\n");
        return failAfterOpen();
    }

    uint64_t addr = 0;
    uint32_t returned = 0;
    const int mapErr = quorlix_driver_control(dev, CONSOLE_IOCTL_MAP_SHARED_MEMORY, nullptr, 0, &addr,
                                              sizeof addr, &returned);
    if (mapErr != 0 || addr == 0) {
        if (mapErr != 0)
            quorlix_log_err("[ERROR] MAP_SHARED_MEMORY failed: %lu\n", (unsigned long)mapErr);
        else
            quorlix_log_err("[ERROR] Driver returned NULL shared memory pointer\n");
        quorlix_log_err("[FATAL] Failed to map shared memory\n");
        return failAfterOpen();
    }
    uint8_t *region = reinterpret_cast<uint8_t *>(uintptr_t(addr));
    s.region.store(region);
    quorlix_log("[OK] Shared memory mapped at %p (size=%zu bytes)\n", static_cast<void *>(region),
                size_t(REGION_SIZE));

    if (!quorlix_socket_open(&s.sock, &err)) {
        quorlix_log_err("[FATAL] socket() failed: %d\n", err);
        return failAfterOpen();
    }
    if (!quorlix_socket_bind(&s.sock, INADDR_ANY, 0, &err)) {
        quorlix_log_err("[FATAL] bind() failed: %d\n", err);
        return failAfterOpen();
    }
    s.relay_addr.store(inet_addr(relay));
    s.relay_port.store(port);
    quorlix_log("[OK] Tunnel socket initialized\n");

    std::thread rx;
    try {
        rx = std::thread([] { gateway_server_rx_thread(); });
    } catch (const std::system_error &) {
        quorlix_log_err("[FATAL] Failed to create RX thread\n");
        return failAfterOpen();
    }
    quorlix_log("[OK] Server RX thread started\n");

    quorlix_log("\n=========================================\n");
    quorlix_log("Console Gateway is ACTIVE\n");
    quorlix_log("=========================================\n\n");
    quorlix_log("Configure your console with:\n");
    // Fixed texts: they describe the console network as the client sets it up.
    quorlix_log("  IP Address:  172.22.x.x (any in range)\n");
    quorlix_log("  Subnet Mask: 255.255.0.0\n");
    quorlix_log("  Gateway:     172.22.255.34\n");
    quorlix_log("  DNS:         1.1.1.1\n\n");
    quorlix_log("Press Ctrl+C to stop.\n");
    quorlix_log("=========================================\n\n");

    gatewayRingReaderLoop();

    // The receive thread is woken and joined before the socket closes: it
    // never outlives the run.
    quorlix_socket_wake(&s.sock);
    rx.join();
    gatewayCleanup();
    quorlix_log("\n[EXIT] Console gateway stopped\n");
    leaveRun();
    return 0;
}
