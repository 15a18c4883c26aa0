#pragma once
// Drives the real tunnel engine thread against the simulated capture backend:
// a fake clock, a log sink that keeps every line, and a fake UDP socket that
// records the datagrams the engine sends (or fails on demand). Header-only so
// it adds nothing to the other tests of this folder.

#include "engine/common/engine_clock.h"
#include "engine/common/engine_log.h"
#include "engine/common/engine_socket.h"
#include "engine/tunnel/quorlix_tunnel.h"
#include "engine/tunnel/tunnel_ack.h"
#include "engine/tunnel/tunnel_loop.h"
#include "engine/tunnel/tunnel_mtu.h"
#include "engine/tunnel/tunnel_proto.h"
#include "engine/tunnel/tunnel_state.h"
#include "platform/capture/capture_sim.h"
#include "platform/capture/packet.h"
#include "support/EngineLogCapture.h"
#include "support/TestPackets.h"

#include <arpa/inet.h>
#include <errno.h>
#include <stdlib.h>
#include <string.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace loopharness {

using testpackets::Bytes;
using testpackets::ipv4;
using testpackets::udp;

inline uint32_t ip(const char *text)
{
    return inet_addr(text);
}

// ---- packet builders (valid checksums) ----

using testpackets::tcp;

inline Bytes mssOption(uint16_t mss)
{
    return Bytes{2, 4, uint8_t(mss >> 8), uint8_t(mss)};
}

// The MSS option's value of a TCP packet (0 when it has none).
inline uint16_t mssOf(const Bytes &p)
{
    const size_t ihl = size_t(p[0] & 0x0F) * 4;
    const size_t doff = size_t(p[ihl + 12] >> 4) * 4;
    for (size_t i = ihl + 20; i < ihl + doff;) {
        const uint8_t kind = p[i];
        if (kind == 0)
            break;
        if (kind == 1) {
            ++i;
            continue;
        }
        if (i + 1 >= ihl + doff || p[i + 1] < 2)
            break;
        if (kind == 2 && p[i + 1] == 4)
            return uint16_t(p[i + 2] << 8 | p[i + 3]);
        i += p[i + 1];
    }
    return 0;
}

// A relay datagram (16-byte header, or 40 with ack fields) carrying payload.
inline Bytes datagram(uint8_t proto, uint32_t connId, const Bytes &payload, uint16_t dstPortHost = 0,
                      const char *dstAddr = "0.0.0.0", bool ack = false, uint32_t seq = 0, uint32_t ackNo = 0,
                      uint32_t bitmap0 = 0)
{
    const size_t hlen = ack ? 40 : 16;
    Bytes d(hlen + payload.size(), 0);
    const uint32_t da = ip(dstAddr);
    tunnel_header_write(d.data(), TUNNEL_FLAG_DATA, proto, htons(dstPortHost), connId, uint16_t(hlen), da);
    if (ack) {
        tunnel_store_be32(&d[16], seq);
        tunnel_store_be32(&d[20], ackNo);
        tunnel_store_be32(&d[24], bitmap0);
    }
    if (!payload.empty())
        memcpy(&d[hlen], payload.data(), payload.size());
    return d;
}

// An ICMP echo request numbered n: captured by the "outbound and ip" part of
// the filter, never tunneled, so it marks the point up to which the engine has
// worked.
inline Bytes marker(uint16_t n)
{
    return ipv4("10.0.0.2", "203.0.113.250", 1, Bytes{8, 0, 0, 0, 0, 0, uint8_t(n >> 8), uint8_t(n)});
}
inline bool isMarker(const Bytes &p)
{
    return p.size() == 28 && p[9] == 1 && p[16] == 203 && p[19] == 250;
}

inline Bytes text(const char *s)
{
    return Bytes(s, s + strlen(s));
}

struct SentDatagram
{
    uint32_t addr;
    uint16_t port;
    Bytes data;
};

// ---- the harness ----

class Engine
{
public:
    Engine()
    {
        resetAll();
        m_log.clear();
        quorlix_clock_set(&Engine::clock, this);
        m_ops = {&Engine::sockOpen, &Engine::sockSend, &Engine::sockClose};
        quorlix_socket_set_ops(&m_ops, this);
        m_cfg.reset(static_cast<TunnelRuntimeConfig *>(calloc(1, sizeof(TunnelRuntimeConfig))));
        strcpy(m_cfg->entry_host, "198.51.100.1");
        m_cfg->entry_port = 50000;
        strcpy(m_cfg->game_profile, "custom");
        m_cfg->enable_tcp = 1;
        m_cfg->mtu = 1400;
    }

    ~Engine()
    {
        stop();
        quorlix_clock_set(nullptr, nullptr);
        quorlix_socket_set_ops(nullptr, nullptr);
        resetAll();
    }

    static void resetAll()
    {
        tunnel_state_reset_for_tests();
        tunnel_loop_reset_for_tests();
        tunnel_mtu_reset_defaults();
        tunnel_ack_reset();
        quorlix_capsim_reset();
    }

    TunnelRuntimeConfig &config() { return *m_cfg; }
    void udpPorts(std::initializer_list<uint32_t> ports)
    {
        int n = 0;
        for (uint32_t p : ports)
            m_cfg->udp_ports[n++] = p;
        m_cfg->udp_port_count = n;
    }
    void tcpPorts(std::initializer_list<uint32_t> ports)
    {
        int n = 0;
        for (uint32_t p : ports)
            m_cfg->tcp_ports[n++] = p;
        m_cfg->tcp_port_count = n;
    }
    void domains(std::initializer_list<const char *> patterns)
    {
        int n = 0;
        for (const char *p : patterns)
            strncpy(m_cfg->app_domains[n++], p, QUORLIX_DOMAIN_LEN - 1);
        m_cfg->app_domain_count = n;
    }

    void setNow(uint64_t ms) { m_now.store(ms); }
    uint64_t now() const { return m_now.load(); }
    void failSends(bool on) { m_failSends.store(on); }
    void failSocketOpen(bool on) { m_failOpen.store(on); }

    // Starts the engine thread; true once its capture handle is open.
    bool start(int safeMtu = 0)
    {
        quorlix_set_runtime_config(m_cfg.get());
        if (safeMtu)
            quorlix_set_mtu_safe(safeMtu);
        quorlix_reset_stats();
        const size_t before = quorlix_capsim_open_handles();
        m_thread = std::thread([this] { m_result.store(quorlix_tunnel_main()); });
        m_started = true;
        return quorlix_capsim_wait_open_handles(before + 1, 3000) == 1;
    }

    // Starts the engine thread without a runtime record, so the run reads
    // "quorlix.conf" from the current directory; true once its capture is open.
    bool startFromFile()
    {
        quorlix_clear_runtime_config();
        quorlix_reset_stats();
        const size_t before = quorlix_capsim_open_handles();
        m_thread = std::thread([this] { m_result.store(quorlix_tunnel_main()); });
        m_started = true;
        return quorlix_capsim_wait_open_handles(before + 1, 3000) == 1;
    }

    // Runs the engine to completion expecting a start-up failure; returns its result.
    int runExpectingFailure()
    {
        quorlix_set_runtime_config(m_cfg.get());
        return quorlix_tunnel_main();
    }

    int stop()
    {
        if (!m_started)
            return m_result.load();
        quorlix_tunnel_stop();
        m_thread.join();
        m_started = false;
        return m_result.load();
    }

    // Pushes a packet and waits until the engine has dealt with it: a marker
    // pushed behind it has reached the wire (the engine works in order).
    void outbound(const Bytes &p) { quorlix_capsim_push_outbound(p.data(), p.size(), 1); }
    void inbound(const Bytes &p) { quorlix_capsim_push_inbound(p.data(), p.size(), 1); }
    bool settle()
    {
        // A packet queued on a handle that the engine closes while rebuilding
        // its filter is lost, markers included: push the marker again until
        // one comes through.
        const Bytes m = marker(++m_marker);
        Bytes got(QUORLIX_CAPTURE_MAX_PACKET);
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(3000);
        while (std::chrono::steady_clock::now() < end) {
            quorlix_capsim_push_outbound(m.data(), m.size(), 1);
            size_t len = 0;
            while (quorlix_capsim_take(QUORLIX_CAPSIM_WIRE, got.data(), got.size(), &len, nullptr, 250) ==
                   1) {
                Bytes pkt(got.begin(), got.begin() + long(len));
                if (pkt == m)
                    return true;
                if (!isMarker(pkt)) // older markers that came through late are dropped
                    m_wire.push_back(pkt);
            }
        }
        return false;
    }
    // Lets the engine finish what was pushed, advances the fake clock and lets
    // the engine run its timers at that time. (The pass after a marker may
    // already run its timers at the new time, but only after every earlier
    // packet.)
    bool tick(uint64_t nowMs)
    {
        if (!settle())
            return false;
        setNow(nowMs);
        return settle() && settle();
    }

    // Everything that reached the wire (markers excluded) / the local stack so far.
    std::vector<Bytes> wire()
    {
        settle();
        std::vector<Bytes> out;
        out.swap(m_wire);
        return out;
    }
    std::vector<Bytes> stack()
    {
        std::vector<Bytes> out;
        Bytes got(QUORLIX_CAPTURE_MAX_PACKET);
        size_t len = 0;
        while (quorlix_capsim_take(QUORLIX_CAPSIM_STACK, got.data(), got.size(), &len, nullptr, 0) == 1)
            out.emplace_back(got.begin(), got.begin() + long(len));
        return out;
    }
    std::vector<SentDatagram> sent()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::vector<SentDatagram> out;
        out.swap(m_sent);
        return out;
    }
    // Data datagrams only (keepalives left out).
    std::vector<SentDatagram> sentData()
    {
        std::vector<SentDatagram> out;
        for (auto &d : sent())
            if (d.data.size() > 16 || (d.data.size() == 16 && d.data[0] != 0x14))
                out.push_back(d);
        return out;
    }
    int keepalives()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_keepalives;
    }

    std::vector<std::string> logs() const { return m_log.lines(); }
    std::string stdoutText() const { return m_log.stdoutText(); }
    std::string stderrText() const { return m_log.stderrText(); }
    bool logged(const std::string &needle) const { return m_log.logged(needle); }
    // Waits (bounded) until the engine has written a line containing needle.
    bool waitLogged(const std::string &needle, int timeoutMs = 3000) const
    {
        return m_log.waitLogged(needle, timeoutMs);
    }
    int countLogged(const std::string &needle) const { return m_log.countLogged(needle); }
    void clearLogs() { m_log.clear(); }

private:
    static uint64_t clock(void *ctx) { return static_cast<Engine *>(ctx)->m_now.load(); }
    static int sockOpen(void *ctx, int *err)
    {
        if (static_cast<Engine *>(ctx)->m_failOpen.load()) {
            *err = EMFILE;
            return -1;
        }
        return 1000;
    }
    static long sockSend(void *ctx, int, const void *data, size_t len, uint32_t addr, uint16_t port, int *err)
    {
        auto *self = static_cast<Engine *>(ctx);
        if (self->m_failSends.load()) {
            *err = EAGAIN;
            return -1;
        }
        std::lock_guard<std::mutex> lock(self->m_mutex);
        const uint8_t *b = static_cast<const uint8_t *>(data);
        self->m_sent.push_back({addr, port, Bytes(b, b + len)});
        if (len == 16 && b[0] == 0x14)
            self->m_keepalives++;
        return long(len);
    }
    static void sockClose(void *, int) {}

    std::unique_ptr<TunnelRuntimeConfig, void (*)(void *)> m_cfg{nullptr, free};
    QuorlixSocketOps m_ops{};
    std::thread m_thread;
    bool m_started = false;
    std::atomic<int> m_result{-1};
    std::atomic<uint64_t> m_now{1000};
    std::atomic<bool> m_failSends{false};
    std::atomic<bool> m_failOpen{false};
    std::mutex m_mutex;
    EngineLogCapture m_log;
    std::vector<SentDatagram> m_sent;
    int m_keepalives = 0;
    std::vector<Bytes> m_wire;
    uint16_t m_marker = 0;
};

} // namespace loopharness
