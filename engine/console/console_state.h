#pragma once
// The console gateway engine's process-wide state: its settings, what it
// learned from the console's traffic (MAC, VLAN tag, flows), the MSS clamp,
// the relay, the device, region and socket of the current run, and the run
// state. Nothing here is reset between runs in one process except where the
// run itself says so.
//
// Two engine threads share it: the main thread (ring reader, uplink) writes
// the learned values and the flow table, the relay receive thread reads them.
// Every shared value is therefore kept in atomics (MAC and tag packed into one
// word each with their valid flag) and each flow entry behind a sequence lock,
// so a reader never takes a half-written value as valid.

#include "engine/common/engine_socket.h"
#include "engine/console/console_conffile.h"
#include "engine/console/console_gateway.h"
#include "platform/driver/driver.h"

#include <atomic>
#include <stddef.h>
#include <stdint.h>
#include <string>

#define GATEWAY_FLOW_SLOTS 4096u
#define GATEWAY_DEFAULT_MSS_CLAMP 1000u

// One flow seen from the console. Addresses as they lie in the packet, ports
// in host order (0 when the packet has none).
struct FlowEntry
{
    uint32_t conn_id;
    uint8_t protocol;
    uint32_t src_ip;
    uint16_t src_port;
    uint32_t dst_ip;
    uint16_t dst_port;
};

struct FlowSlot
{
    std::atomic<uint32_t> seq{0}; // odd while being written
    std::atomic<uint32_t> conn_id{0};
    std::atomic<uint32_t> src_ip{0};
    std::atomic<uint32_t> dst_ip{0};
    std::atomic<uint32_t> ports{0}; // src << 16 | dst
    std::atomic<uint32_t> protocol{0};
    std::atomic<uint32_t> used{0};
};

struct GatewayState
{
    // Settings (written only while no run is active).
    GatewayFileSettings settings;
    char active_profile[64];
    uint8_t udp_bitmap[GATEWAY_PORT_BITMAP_BYTES];
    uint8_t tcp_bitmap[GATEWAY_PORT_BITMAP_BYTES];
    unsigned long udp_count;
    unsigned long tcp_count;
    std::string udp_ports_text;
    std::string tcp_ports_text;
    int runtime_config_set;
    char config_path[260];

    // The run.
    std::atomic<int> run_state{CONSOLE_GATEWAY_IDLE}; // ConsoleGatewayRunState
    std::atomic<quorlix_driver_handle> device{QUORLIX_DRIVER_INVALID};
    std::atomic<uint8_t *> region{nullptr};
    QuorlixEngineSocket sock;
    std::atomic<uint32_t> relay_addr{0}; // as inet_addr gives it
    std::atomic<uint16_t> relay_port{0}; // host order

    // Learned and derived values.
    std::atomic<uint32_t> mss_clamp{GATEWAY_DEFAULT_MSS_CLAMP};
    std::atomic<uint64_t> console_mac{0}; // bit 48: known; bytes 0-5 in bits 0-47
    std::atomic<uint32_t> vlan{0};        // bit 16: learned; TCI in bits 0-15
    std::atomic<uint64_t> adapter_mac{0}; // bit 48: found
    FlowSlot flows[GATEWAY_FLOW_SLOTS];

    // Per-packet log limiter and the process-wide count of checksum lines.
    std::atomic<uint32_t> verbose_window_start{0};
    std::atomic<uint32_t> verbose_window_count{0};
    std::atomic<uint32_t> csum_lines{0};

    // Receive thread: datagrams taken from the relay, and from anyone else.
    std::atomic<uint64_t> rx_received{0};
    std::atomic<uint64_t> rx_foreign{0};
};

// The one state of the process, set to its built-in values on first use.
GatewayState &gateway_state();

// 1 while the run goes on (the reader loop and the receive thread poll it).
int gateway_is_running();

// MAC words: six bytes packed with a valid bit.
uint64_t gateway_mac_pack(const uint8_t mac[6]);
void gateway_mac_unpack(uint64_t word, uint8_t mac[6]);
int gateway_mac_valid(uint64_t word);

// The console MAC and tag as the receive thread sees them; 0 when not known.
int gateway_console_mac(uint8_t mac[6]);
int gateway_vlan_tci(uint16_t *tci);
void gateway_adopt_console_mac(const uint8_t mac[6]);

// Flow table: the slot of a ConnID, writing (main thread only) and reading a
// whole entry (1 when the slot holds one).
uint32_t gateway_flow_slot(uint32_t conn_id);
void gateway_flow_store(const FlowEntry &e);
int gateway_flow_load(uint32_t slot, FlowEntry *out);

// The per-packet log limiter: 1 when a verbose per-packet line may be printed
// now ("verbose_packets_max_per_sec" lines a second at most, 0 = no limit).
int gateway_limiter_allow();
