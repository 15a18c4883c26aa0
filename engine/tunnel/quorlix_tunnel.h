#pragma once
// Public C interface of the PC tunnel engine. The GUI side (TunnelClient) fills a
// TunnelRuntimeConfig, hands it over, sets the safe MTU, resets the counters and
// runs quorlix_tunnel_main on a thread of its own; any other thread may read the
// counters, stop the run, or change mappings and the running configuration.
//
// Every function ignores bad input quietly (null pointers, out-of-range values,
// updates without a run); none reports an error except quorlix_tunnel_main.

#include <stddef.h>
#include <stdint.h>

#if defined(__GNUC__)
#define QUORLIX_API __attribute__((visibility("default")))
#else
#define QUORLIX_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

#define QUORLIX_MAX_PORTS 65536
#define QUORLIX_MAX_APP_IPS_IN_RECORD 128
#define QUORLIX_MAX_DOMAINS 128
#define QUORLIX_DOMAIN_LEN 128
#define QUORLIX_HOST_LEN 256
#define QUORLIX_PROFILE_LEN 64
#define QUORLIX_APP_IP_TEXT_LEN 16

// The record is an interface of its own (it has a fixed binary layout that a
// caller built against another compiler may fill), so it is packed and its
// layout pinned below.
#pragma pack(push, 1)
typedef struct TunnelRuntimeConfig
{
    char entry_host[QUORLIX_HOST_LEN];      // dotted IPv4 text; empty = built-in default relay
    int32_t entry_port;                     // <= 0 means 50000
    char game_profile[QUORLIX_PROFILE_LEN]; // only logged
    uint32_t udp_ports[QUORLIX_MAX_PORTS];  // low 16 bits of each entry are the port
    uint32_t tcp_ports[QUORLIX_MAX_PORTS];
    int32_t udp_port_count; // clamped to 0..65536
    int32_t tcp_port_count;
    char app_ips[QUORLIX_MAX_APP_IPS_IN_RECORD][QUORLIX_APP_IP_TEXT_LEN]; // not read by the engine
    int32_t app_ip_count;                                                 // not read by the engine
    char app_domains[QUORLIX_MAX_DOMAINS][QUORLIX_DOMAIN_LEN];            // lower-case patterns
    int32_t app_domain_count;                                             // clamped to 0..128
    uint32_t enable_tcp; // not 0: TCP port set may be tunneled
    uint32_t debug_mode; // not 0: verbose run
    uint32_t mtu;        // informational; the safe MTU comes from quorlix_set_mtu_safe
} TunnelRuntimeConfig;
#pragma pack(pop)

#ifdef __cplusplus
static_assert(sizeof(TunnelRuntimeConfig) == 543072, "TunnelRuntimeConfig size");
static_assert(offsetof(TunnelRuntimeConfig, entry_host) == 0, "entry_host");
static_assert(offsetof(TunnelRuntimeConfig, entry_port) == 256, "entry_port");
static_assert(offsetof(TunnelRuntimeConfig, game_profile) == 260, "game_profile");
static_assert(offsetof(TunnelRuntimeConfig, udp_ports) == 324, "udp_ports");
static_assert(offsetof(TunnelRuntimeConfig, tcp_ports) == 262468, "tcp_ports");
static_assert(offsetof(TunnelRuntimeConfig, udp_port_count) == 524612, "udp_port_count");
static_assert(offsetof(TunnelRuntimeConfig, tcp_port_count) == 524616, "tcp_port_count");
static_assert(offsetof(TunnelRuntimeConfig, app_ips) == 524620, "app_ips");
static_assert(offsetof(TunnelRuntimeConfig, app_ip_count) == 526668, "app_ip_count");
static_assert(offsetof(TunnelRuntimeConfig, app_domains) == 526672, "app_domains");
static_assert(offsetof(TunnelRuntimeConfig, app_domain_count) == 543056, "app_domain_count");
static_assert(offsetof(TunnelRuntimeConfig, enable_tcp) == 543060, "enable_tcp");
static_assert(offsetof(TunnelRuntimeConfig, debug_mode) == 543064, "debug_mode");
static_assert(offsetof(TunnelRuntimeConfig, mtu) == 543068, "mtu");
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
_Static_assert(sizeof(TunnelRuntimeConfig) == 543072, "TunnelRuntimeConfig size");
_Static_assert(offsetof(TunnelRuntimeConfig, app_domains) == 526672, "app_domains");
_Static_assert(offsetof(TunnelRuntimeConfig, mtu) == 543068, "mtu");
#endif

// --- run and stop (engine thread / any thread) ---
// Blocks until stopped: 0 after a stop, 1 when start-up fails.
QUORLIX_API int quorlix_tunnel_main(void);
QUORLIX_API void quorlix_tunnel_stop(void);

// --- configuration ---
// Copies the record (null is ignored). Before a run it is only stored; during a
// run the port sets and the domain list are rebuilt from it at once.
QUORLIX_API void quorlix_set_runtime_config(const TunnelRuntimeConfig *cfg);
// Forgets the stored record: the next run reads "quorlix.conf" instead.
QUORLIX_API void quorlix_clear_runtime_config(void);
// 576..1500 becomes the safe MTU; anything else is ignored.
QUORLIX_API void quorlix_set_mtu_safe(int mtu);
QUORLIX_API void quorlix_set_ack_enabled(int enabled);

// --- counters ---
QUORLIX_API void quorlix_reset_stats(void);
QUORLIX_API void quorlix_print_stats(void);
QUORLIX_API uint64_t quorlix_get_bytes_sent(void);
QUORLIX_API uint64_t quorlix_get_bytes_received(void);
QUORLIX_API uint64_t quorlix_get_tunnel_packets_sent(void);
QUORLIX_API uint64_t quorlix_get_tunnel_packets_received(void);
QUORLIX_API uint64_t quorlix_get_tunnel_tx_sent(void);
QUORLIX_API uint64_t quorlix_get_tunnel_tx_acked(void);
QUORLIX_API uint64_t quorlix_get_tunnel_tx_lost(void);
// Packets that left or reached the machine past the capture, untunneled,
// because the capture could not keep up and let them through rather than drop
// them (since the last quorlix_reset_stats).
QUORLIX_API uint64_t quorlix_get_capture_bypassed(void);

// --- server mappings (at most 256 entries, port and domain entries together) ---
QUORLIX_API void quorlix_add_port_server_mapping(int port, const char *relay_address, int relay_port);
QUORLIX_API void quorlix_add_domain_server_mapping(const char *pattern, const char *relay_address,
                                                   int relay_port);
QUORLIX_API void quorlix_clear_port_server_mappings(void);
// Empties the learned application addresses and their relay routes.
QUORLIX_API void quorlix_clear_app_ips(void);

// --- updates of a running engine (no effect without a run) ---
// patterns: count slots of 128 characters each.
QUORLIX_API void quorlix_update_domains(const char *patterns, int count);
QUORLIX_API void quorlix_update_entry(const char *relay_address, int relay_port);
QUORLIX_API void quorlix_update_ports(const int *udp_ports, int udp_count, const int *tcp_ports,
                                      int tcp_count);

#ifdef __cplusplus
}
#endif
