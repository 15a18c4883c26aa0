#pragma once
// The console gateway engine's reader of "quorlix.conf" (used only when no
// runtime configuration was handed to the engine). This dialect is forgiving:
// lines, section names, keys and values are trimmed of blanks (space, tab, CR,
// LF) and section names and keys are compared without regard to case.
//
// The parsers take a text buffer (a NUL byte ends its line); the file functions
// are thin wrappers. Whole lines are parsed however long they are.

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

#define GATEWAY_PORT_BITMAP_BYTES 8192 // 65536 bits: bit p = byte p/8, bit p%8 (LSB first)
#define GATEWAY_DEFAULT_SERVER_IP "192.0.2.20"
#define GATEWAY_DEFAULT_SERVER_PORT 50000

// Settings of the section "global".
typedef struct GatewayFileSettings
{
    char server_ip[64];
    uint16_t server_port;
    char profile[64];
    char gateway[32];
    char subnet[32];
    char dns[32];
    int tunnel_all_ports;
    int verbose_packets;
    int verbose_packets_max_per_sec;
} GatewayFileSettings;

// The built-in values (relay, port 50000, "custom", 172.22.255.34,
// 255.255.0.0, 1.1.1.1, switches off, no rate limit).
void gateway_settings_init(GatewayFileSettings *s);

// Port list into a 65536-bit set: pieces split at commas, spaces and tabs;
// "a-b" is a range (start below 1 -> 1, end above 65535 -> 65535, ends in
// either order); other pieces count when within 1..65535; port 0 is never set.
// Clears the set first; *count is the number of distinct ports set.
void gateway_parse_port_bitmap(const char *text, uint8_t *bitmap, unsigned long *count);
void gateway_parse_port_bitmap_n(const char *text, size_t len, uint8_t *bitmap, unsigned long *count);
int gateway_port_bitmap_test(const uint8_t *bitmap, unsigned port);

// Reads the section "global" of a text into s; other sections are skipped and
// settings not named keep their values.
void gateway_parse_global_text(const char *text, size_t len, GatewayFileSettings *s);

// Reads the sections named profile (case-insensitive, trimmed) of a text: each
// occurrence empties both sets, then its "udp_ports"/"tcp_ports" fill them
// (with a "[CONFIG]   UDP ports: %lu entries" line). Returns how many sections
// had the name; with 0 the sets are untouched.
int gateway_parse_profile_text(const char *text, size_t len, const char *profile, uint8_t *udp,
                               unsigned long *udp_count, uint8_t *tcp, unsigned long *tcp_count);

// "tcp443only" and "tcp443" (any case): no UDP ports, TCP {443}.
int gateway_is_builtin_profile(const char *name);
void gateway_set_builtin_port_sets(uint8_t *udp, unsigned long *udp_count, uint8_t *tcp,
                                   unsigned long *tcp_count);
// UDP 53, 88, 500, 3074, 3478, 3479, 3544, 4500, 5353; TCP 80, 443, 3074.
void gateway_set_default_port_sets(uint8_t *udp, unsigned long *udp_count, uint8_t *tcp,
                                   unsigned long *tcp_count);

// The preferred path: the running program's folder followed by "quorlix.conf".
// Returns 1 and fills out, or 0 (out empty) when the program's path cannot be
// read or does not fit.
int gateway_find_config_path(char *out, size_t cap);

// Opens the preferred path (when not empty), else "quorlix.conf" in the current
// directory; null when neither opens.
FILE *gateway_open_config(const char *preferred_path);

// File wrappers. The caller skips them when a runtime configuration was set.
// A file that cannot be opened leaves s untouched, silently.
void gateway_load_global_config(const char *preferred_path, GatewayFileSettings *s);
// Fills the port sets for profile with its log lines; 0 when the profile was
// not found in the file (defaults used), 1 otherwise.
int gateway_load_profile(const char *profile, const char *preferred_path, uint8_t *udp,
                         unsigned long *udp_count, uint8_t *tcp, unsigned long *tcp_count);

#ifdef __cplusplus
}
#endif
