#include "engine/console/console_device_config.h"

#include "engine/common/engine_log.h"
#include "engine/console/console_host.h"
#include "engine/console/console_state.h"
#include "platform/driver/console_device.h"

#include <arpa/inet.h>
#include <stdio.h>
#include <string.h>

namespace {

uint32_t loadLe32(const uint8_t *p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

void storeLe32(uint8_t *p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

void printPortLine(const char *label, const uint8_t *bitmap, unsigned long count)
{
    char line[256];
    gateway_format_port_line(label, bitmap, count, line, sizeof line);
    quorlix_log("%s\n", line);
}

void printAddr(const char *label, const uint8_t *b)
{
    quorlix_log("     %s%u.%u.%u.%u\n", label, b[0], b[1], b[2], b[3]);
}

} // namespace

void gateway_format_port_line(const char *label, const uint8_t *bitmap, unsigned long count, char *out,
                              size_t cap)
{
    size_t n = size_t(snprintf(out, cap, "     %s:     ", label));
    int shown = 0;
    for (unsigned p = 0; p < 65536 && shown < 10 && n < cap; ++p) {
        if (bitmap[p / 8] & (1u << (p % 8))) {
            n += size_t(snprintf(out + n, cap - n, "%u ", p));
            ++shown;
        }
    }
    if (count > 10 && n < cap)
        snprintf(out + n, cap - n, "... (%lu more)", count - 10);
}

int gateway_set_console_config(const char *relay, uint16_t port)
{
    GatewayState &s = gateway_state();
    static uint8_t rec[CCFG_SIZE];
    memset(rec, 0, sizeof rec);
    rec[CCFG_ENABLED] = 1;
    rec[CCFG_TUNNEL_ALL_PORTS] = s.settings.tunnel_all_ports ? 1 : 0;
    const uint32_t gw = inet_addr(s.settings.gateway);
    const uint32_t mask = inet_addr(s.settings.subnet);
    const uint32_t dns = inet_addr(s.settings.dns);
    memcpy(rec + CCFG_GATEWAY_IP, &gw, 4);
    memcpy(rec + CCFG_SUBNET_MASK, &mask, 4);
    memcpy(rec + CCFG_DNS_IP, &dns, 4);

    uint8_t mac[6];
    if (gateway_find_local_mac(mac)) {
        memcpy(rec + CCFG_LOCAL_MAC, mac, 6);
        s.adapter_mac.store(gateway_mac_pack(mac));
    } else {
        quorlix_log_err("[WARN] Could not determine local Ethernet MAC (driver will use miniport MAC if "
                        "available)\n");
    }
    const uint32_t server = inet_addr(relay);
    const uint16_t serverPort = htons(port);
    memcpy(rec + CCFG_SERVER_IP, &server, 4);
    memcpy(rec + CCFG_SERVER_PORT, &serverPort, 2);
    memcpy(rec + CCFG_UDP_BITMAP, s.udp_bitmap, CCFG_BITMAP_BYTES);
    storeLe32(rec + CCFG_UDP_COUNT, uint32_t(s.udp_count));
    memcpy(rec + CCFG_TCP_BITMAP, s.tcp_bitmap, CCFG_BITMAP_BYTES);
    storeLe32(rec + CCFG_TCP_COUNT, uint32_t(s.tcp_count));

    const int rc = quorlix_driver_control(s.device.load(), CONSOLE_IOCTL_SET_CONSOLE_CONFIG, rec, CCFG_SIZE,
                                          nullptr, 0, nullptr);
    if (rc != 0) {
        quorlix_log_err("[ERROR] SET_CONSOLE_CONFIG failed: %lu\n", (unsigned long)rc);
        return 0;
    }
    quorlix_log("[OK] Console mode configured\n");
    printAddr("Gateway:       ", rec + CCFG_GATEWAY_IP);
    printAddr("Subnet:        ", rec + CCFG_SUBNET_MASK);
    printAddr("DNS:           ", rec + CCFG_DNS_IP);
    quorlix_log("     Tunnel Server: %s:%u\n", relay, unsigned(port));
    quorlix_log("     Game Profile:  %s\n", s.active_profile);
    quorlix_log("     TunnelAllPorts:%s\n", s.settings.tunnel_all_ports ? "TRUE" : "FALSE");
    quorlix_log("     Tunnel Ports:  UDP=%lu TCP=%lu\n", s.udp_count, s.tcp_count);
    if (s.udp_count)
        printPortLine("UDP Ports", s.udp_bitmap, s.udp_count);
    if (s.tcp_count)
        printPortLine("TCP Ports", s.tcp_bitmap, s.tcp_count);

    static uint8_t back[CCFG_SIZE];
    memset(back, 0, sizeof back);
    uint32_t got = 0;
    const int rb = quorlix_driver_control(s.device.load(), CONSOLE_IOCTL_GET_CONSOLE_CONFIG, nullptr, 0, back,
                                          CCFG_SIZE, &got);
    if (rb != 0) {
        quorlix_log_err("[WARN] GET_CONSOLE_CONFIG failed (policy readback): %lu\n", (unsigned long)rb);
        return 1;
    }
    const unsigned long udp = loadLe32(back + CCFG_UDP_COUNT);
    const unsigned long tcp = loadLe32(back + CCFG_TCP_COUNT);
    quorlix_log("[POLICY] Driver TunnelAllPorts=%s UDP=%lu TCP=%lu\n",
                back[CCFG_TUNNEL_ALL_PORTS] ? "TRUE" : "FALSE", udp, tcp);
    if (udp) {
        quorlix_log("[POLICY] Driver UDP Ports (first):\n");
        printPortLine("UDP Ports", back + CCFG_UDP_BITMAP, udp);
    }
    if (tcp) {
        quorlix_log("[POLICY] Driver TCP Ports (first):\n");
        printPortLine("TCP Ports", back + CCFG_TCP_BITMAP, tcp);
    }
    return 1;
}

void gateway_read_console_config(void)
{
    GatewayState &s = gateway_state();
    const quorlix_driver_handle dev = s.device.load();
    if (dev == QUORLIX_DRIVER_INVALID)
        return;
    static uint8_t rec[CCFG_SIZE];
    memset(rec, 0, sizeof rec);
    uint32_t got = 0;
    const int rc =
        quorlix_driver_control(dev, CONSOLE_IOCTL_GET_CONSOLE_CONFIG, nullptr, 0, rec, CCFG_SIZE, &got);
    if (rc != 0) {
        quorlix_log_err("[WARN] GET_CONSOLE_CONFIG failed: %lu\n", (unsigned long)rc);
        return;
    }
    static const uint8_t zero[6] = {};
    const uint8_t *mac = rec + CCFG_CONSOLE_MAC;
    if (rec[CCFG_CONSOLE_DETECTED] && memcmp(mac, zero, 6) != 0)
        gateway_adopt_console_mac(mac);
    quorlix_log("[DEBUG] ConsoleDetected=%u ConsoleMAC=%02X:%02X:%02X:%02X:%02X:%02X\n",
                rec[CCFG_CONSOLE_DETECTED], mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
}
