#pragma once
// Shared pieces of the end-to-end tests: packet builders, the engine thread
// with the real UDP socket, the simulated capture fed from the wire by a raw
// socket tap, and the log sink. Header-only.

#include "engine/common/engine_clock.h"
#include "engine/common/engine_log.h"
#include "engine/tunnel/quorlix_tunnel.h"
#include "engine/tunnel/tunnel_ack.h"
#include "engine/tunnel/tunnel_loop.h"
#include "engine/tunnel/tunnel_mtu.h"
#include "engine/tunnel/tunnel_state.h"
#include "platform/capture/capture_sim.h"
#include "platform/capture/packet.h"
#include "support/EngineLogCapture.h"
#include "support/TestPackets.h"
#include "support/testrelay/TestRelay.h"

#include <arpa/inet.h>
#include <stdlib.h>
#include <string.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace e2e {

using testpackets::Bytes;
using testpackets::dnsQuery;
using testpackets::ipv4;
using testpackets::udp;

inline Bytes tcpSyn(const char *src, uint16_t sport, const char *dst, uint16_t dport, uint16_t mss)
{
    Bytes t(24, 0);
    t[0] = uint8_t(sport >> 8);
    t[1] = uint8_t(sport);
    t[2] = uint8_t(dport >> 8);
    t[3] = uint8_t(dport);
    t[4] = 0x11; // sequence 0x11000000
    t[12] = 6 << 4;
    t[13] = 0x02;
    t[14] = 0xFF;
    t[15] = 0xFF;
    t[20] = 2;
    t[21] = 4;
    t[22] = uint8_t(mss >> 8);
    t[23] = uint8_t(mss);
    return ipv4(src, dst, 6, t);
}

// One engine run against the relay on 127.0.0.1:50000, with the relay's
// replies taken off the wire by a raw socket and pushed into the simulated
// capture as arriving packets. The engine's clock stands still unless a test
// moves it: the keepalive of the first pass is the only one, and nothing
// expires, however slowly a loaded machine runs the test.
class Rig
{
public:
    explicit Rig(const testrelay::TestRelay::Options &relayOptions) : relay(relayOptions)
    {
        tunnel_state_reset_for_tests();
        tunnel_loop_reset_for_tests();
        tunnel_mtu_reset_defaults();
        tunnel_ack_reset();
        quorlix_capsim_reset();
        quorlix_clock_set(&Rig::stillClock, &now);
        m_log.clear();
        cfg.reset(static_cast<TunnelRuntimeConfig *>(calloc(1, sizeof(TunnelRuntimeConfig))));
        strcpy(cfg->entry_host, "127.0.0.1");
        cfg->entry_port = 50000;
        strcpy(cfg->game_profile, "custom");
        cfg->enable_tcp = 1;
    }
    ~Rig()
    {
        stop();
        tap.stop();
        relay.stop();
        quorlix_capsim_reset();
        quorlix_clock_set(nullptr, nullptr);
    }

    // Relay, tap and engine; false with *why on the first failure.
    bool start(std::string *why)
    {
        if (!relay.start()) {
            *why = relay.errorString();
            return false;
        }
        if (!tap.start(
                50000, [](const uint8_t *p, size_t len) { quorlix_capsim_push_inbound(p, len, 1); }, why))
            return false;
        quorlix_set_runtime_config(cfg.get());
        quorlix_reset_stats();
        m_thread = std::thread([this] { m_result.store(quorlix_tunnel_main()); });
        m_running = true;
        if (quorlix_capsim_wait_open_handles(1, 3000) != 1) {
            *why = "the engine did not open its capture";
            return false;
        }
        return true;
    }

    int stop()
    {
        if (!m_running)
            return m_result.load();
        quorlix_tunnel_stop();
        m_thread.join();
        m_running = false;
        return m_result.load();
    }

    void outbound(const Bytes &p)
    {
        pushedOutboundBytes += p.size();
        quorlix_capsim_push_outbound(p.data(), p.size(), 1);
    }

    // The next packet the engine injected towards the local stack.
    bool takeStack(Bytes *out, uint32_t timeoutMs = 10000)
    {
        Bytes buf(QUORLIX_CAPTURE_MAX_PACKET);
        size_t len = 0;
        if (quorlix_capsim_take(QUORLIX_CAPSIM_STACK, buf.data(), buf.size(), &len, nullptr, timeoutMs) != 1)
            return false;
        out->assign(buf.begin(), buf.begin() + long(len));
        return true;
    }

    bool logged(const std::string &needle) const { return m_log.contains(needle); }

    // What the engine's clock reads (milliseconds).
    std::atomic<uint64_t> now{1000};
    testrelay::TestRelay relay;
    testrelay::WireTap tap;
    std::unique_ptr<TunnelRuntimeConfig, void (*)(void *)> cfg{nullptr, free};
    uint64_t pushedOutboundBytes = 0;

private:
    static uint64_t stillClock(void *ctx) { return static_cast<std::atomic<uint64_t> *>(ctx)->load(); }

    std::thread m_thread;
    bool m_running = false;
    std::atomic<int> m_result{-1};
    EngineLogCapture m_log;
};

} // namespace e2e
