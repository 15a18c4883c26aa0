#include "engine/console/console_state.h"

#include "engine/common/engine_clock.h"

#include <string.h>

namespace {

GatewayState *makeState()
{
    GatewayState *s = new GatewayState;
    gateway_settings_init(&s->settings);
    strcpy(s->active_profile, "custom");
    memset(s->udp_bitmap, 0, sizeof s->udp_bitmap);
    memset(s->tcp_bitmap, 0, sizeof s->tcp_bitmap);
    s->udp_count = 0;
    s->tcp_count = 0;
    s->runtime_config_set = 0;
    s->config_path[0] = '\0';
    return s;
}

constexpr uint64_t kMacValid = uint64_t(1) << 48;
constexpr uint32_t kVlanValid = uint32_t(1) << 16;

} // namespace

GatewayState &gateway_state()
{
    // Never destroyed: an engine thread may still look at it while the process exits.
    static GatewayState *s = makeState();
    return *s;
}

int gateway_is_running()
{
    return gateway_state().run_state.load(std::memory_order_acquire) == CONSOLE_GATEWAY_RUNNING;
}

uint64_t gateway_mac_pack(const uint8_t mac[6])
{
    uint64_t w = kMacValid;
    for (int i = 0; i < 6; ++i)
        w |= uint64_t(mac[i]) << (8 * i);
    return w;
}

void gateway_mac_unpack(uint64_t word, uint8_t mac[6])
{
    for (int i = 0; i < 6; ++i)
        mac[i] = uint8_t(word >> (8 * i));
}

int gateway_mac_valid(uint64_t word)
{
    return (word & kMacValid) != 0;
}

int gateway_console_mac(uint8_t mac[6])
{
    const uint64_t w = gateway_state().console_mac.load(std::memory_order_acquire);
    gateway_mac_unpack(w, mac);
    return gateway_mac_valid(w);
}

void gateway_adopt_console_mac(const uint8_t mac[6])
{
    gateway_state().console_mac.store(gateway_mac_pack(mac), std::memory_order_release);
}

int gateway_vlan_tci(uint16_t *tci)
{
    const uint32_t w = gateway_state().vlan.load(std::memory_order_acquire);
    *tci = uint16_t(w);
    return (w & kVlanValid) != 0;
}

uint32_t gateway_flow_slot(uint32_t conn_id)
{
    return (conn_id * 0xFFFFF9B1u) & (GATEWAY_FLOW_SLOTS - 1);
}

void gateway_flow_store(const FlowEntry &e)
{
    FlowSlot &f = gateway_state().flows[gateway_flow_slot(e.conn_id)];
    const uint32_t seq = f.seq.load(std::memory_order_relaxed);
    f.seq.store(seq + 1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    f.conn_id.store(e.conn_id, std::memory_order_relaxed);
    f.src_ip.store(e.src_ip, std::memory_order_relaxed);
    f.dst_ip.store(e.dst_ip, std::memory_order_relaxed);
    f.ports.store((uint32_t(e.src_port) << 16) | e.dst_port, std::memory_order_relaxed);
    f.protocol.store(e.protocol, std::memory_order_relaxed);
    f.used.store(1, std::memory_order_relaxed);
    f.seq.store(seq + 2, std::memory_order_release);
}

int gateway_flow_load(uint32_t slot, FlowEntry *out)
{
    if (slot >= GATEWAY_FLOW_SLOTS)
        return 0;
    const FlowSlot &f = gateway_state().flows[slot];
    // The writer holds an entry only for a few stores; a reader that keeps
    // meeting it mid-write gives up rather than spin.
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const uint32_t before = f.seq.load(std::memory_order_acquire);
        if (before & 1u)
            continue;
        FlowEntry e;
        e.conn_id = f.conn_id.load(std::memory_order_relaxed);
        e.src_ip = f.src_ip.load(std::memory_order_relaxed);
        e.dst_ip = f.dst_ip.load(std::memory_order_relaxed);
        const uint32_t ports = f.ports.load(std::memory_order_relaxed);
        e.src_port = uint16_t(ports >> 16);
        e.dst_port = uint16_t(ports);
        e.protocol = uint8_t(f.protocol.load(std::memory_order_relaxed));
        const uint32_t used = f.used.load(std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_acquire);
        if (f.seq.load(std::memory_order_relaxed) != before)
            continue;
        if (!used)
            return 0;
        *out = e;
        return 1;
    }
    return 0;
}

int gateway_limiter_allow()
{
    GatewayState &s = gateway_state();
    const int max = s.settings.verbose_packets_max_per_sec;
    if (max <= 0)
        return 1;
    const uint32_t now = uint32_t(quorlix_now_ms());
    const uint32_t start = s.verbose_window_start.load(std::memory_order_relaxed);
    if (start == 0 || now - start >= 1000u) {
        s.verbose_window_start.store(now, std::memory_order_relaxed);
        s.verbose_window_count.store(0, std::memory_order_relaxed);
    }
    // Counted loosely: two threads may both take the last place in a window.
    if (s.verbose_window_count.load(std::memory_order_relaxed) >= uint32_t(max))
        return 0;
    s.verbose_window_count.fetch_add(1, std::memory_order_relaxed);
    return 1;
}
