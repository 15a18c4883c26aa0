// Several threads use the exported functions while an engine run carries
// traffic through the simulated capture (a game flow, DNS queries for a game
// domain and the relay's answers, which teach the engine addresses): getters,
// runtime updates, mappings, learned-address clears and statistics resets all
// at once. In a normal build this shows the run survives and stops cleanly;
// under tools/tsan.sh it is the race check for the engine's shared state.

#include "engine/common/engine_log.h"
#include "engine/tunnel/quorlix_tunnel.h"
#include "engine/tunnel/tunnel_proto.h"
#include "engine/tunnel/tunnel_state.h"
#include "platform/capture/capture_sim.h"
#include "platform/capture/packet.h"
#include "support/TestPackets.h"

#include <QtTest>

#include <arpa/inet.h>
#include <atomic>
#include <string.h>
#include <thread>
#include <vector>

namespace {
// Counts the addresses the engine learned from DNS answers; drops every line.
void countLearned(int, const char *text, size_t len, void *ctx)
{
    static const char kAdded[] = "[APP-IP] \xE2\x9C\x93 Added ";
    if (len >= sizeof kAdded - 1 && memcmp(text, kAdded, sizeof kAdded - 1) == 0)
        static_cast<std::atomic<int> *>(ctx)->fetch_add(1);
}

// An IPv4/UDP packet with valid checksums.
std::vector<uint8_t> udpPacket(const char *src, uint16_t sport, const char *dst, uint16_t dport,
                               const std::vector<uint8_t> &data)
{
    return testpackets::udp(src, sport, dst, dport, data);
}

std::vector<uint8_t> counting(size_t n)
{
    std::vector<uint8_t> d(n);
    for (size_t i = 0; i < n; ++i)
        d[i] = uint8_t(i);
    return d;
}

const uint8_t kQuestion[] = {2, 'e', 'u', 4, 'g', 'a', 'm', 'e', 4, 't', 'e', 's', 't', 0, 0, 1, 0, 1};

// A query for eu.game.test (a game domain below).
std::vector<uint8_t> dnsQuery()
{
    return testpackets::dnsQuery(0x1234, "eu.game.test");
}

// The relay's datagram carrying the answer to that query, with one A record
// for 10.200.x.y (x.y from n) so that every answer teaches a new address.
std::vector<uint8_t> dnsAnswerDatagram(uint32_t connId, unsigned n)
{
    std::vector<uint8_t> a = {0x12, 0x34, 0x81, 0x80, 0, 1, 0, 1, 0, 0, 0, 0};
    a.insert(a.end(), kQuestion, kQuestion + sizeof kQuestion);
    const uint8_t record[] = {0xc0,      0x0c, 0, 1, 0, 1, 0, 0, 0, 60, 0, 4, 10, 200, uint8_t(n >> 8),
                              uint8_t(n)};
    a.insert(a.end(), record, record + sizeof record);
    std::vector<uint8_t> d(TUNNEL_HEADER_LEN + a.size(), 0);
    tunnel_header_write(d.data(), TUNNEL_FLAG_DATA, TUNNEL_PROTO_UDP, htons(53), connId, TUNNEL_HEADER_LEN,
                        inet_addr("192.0.2.53"));
    memcpy(&d[TUNNEL_HEADER_LEN], a.data(), a.size());
    return d;
}
} // namespace

class TestExportsHammer : public QObject
{
    Q_OBJECT

private slots:
    void hammerRunningEngine();
};

void TestExportsHammer::hammerRunningEngine()
{
    std::atomic<int> learned{0};
    quorlix_log_set_sink(countLearned, &learned);
    quorlix_capsim_reset();

    // Relays on loopback only: the engine's real socket sends there.
    auto rec = std::make_unique<TunnelRuntimeConfig>();
    memset(rec.get(), 0, sizeof *rec);
    strcpy(rec->entry_host, "127.0.0.1");
    rec->entry_port = 50000;
    strcpy(rec->game_profile, "custom");
    rec->udp_ports[0] = 3074;
    rec->udp_port_count = 1;
    rec->tcp_ports[0] = 443;
    rec->tcp_port_count = 1;
    rec->enable_tcp = 1;
    strcpy(rec->app_domains[0], "*.game.test");
    rec->app_domain_count = 1;
    quorlix_set_runtime_config(rec.get());
    quorlix_set_mtu_safe(1400);
    quorlix_reset_stats();

    std::atomic<int> result{-1};
    std::thread engine([&] { result = quorlix_tunnel_main(); });
    QVERIFY(quorlix_capsim_wait_open_handles(1, 5000));

    std::atomic<bool> done{false};
    std::atomic<uint64_t> readSum{0};
    std::atomic<int> captured{0};
    std::vector<std::thread> workers;
    workers.emplace_back([&] { // traffic: a game flow, something not for the tunnel, DNS and its answers
        const auto game = udpPacket("10.0.0.2", 50000, "203.0.113.5", 3074, counting(64));
        const auto other = udpPacket("10.0.0.2", 40000, "203.0.113.9", 9999, counting(32));
        const auto query = udpPacket("10.0.0.2", 40053, "192.0.2.53", 53, dnsQuery());
        const uint32_t connId =
            tunnel_conn_id(inet_addr("10.0.0.2"), htons(40053), inet_addr("192.0.2.53"), htons(53));
        unsigned n = 0;
        while (!done) {
            if (quorlix_capsim_push_outbound(game.data(), game.size(), 1) == 1)
                ++captured;
            if (quorlix_capsim_push_outbound(other.data(), other.size(), 1) == 1)
                ++captured;
            if (quorlix_capsim_push_outbound(query.data(), query.size(), 1) == 1)
                ++captured;
            // From the primary relay or the domain's own relay, whichever is
            // in place at the moment.
            const auto answer = udpPacket(n % 2 ? "127.0.0.1" : "127.0.0.4", 50000, "10.0.0.2", 40001,
                                          dnsAnswerDatagram(connId, n));
            ++n;
            (void)quorlix_capsim_push_inbound(answer.data(), answer.size(), 1);
            uint8_t buf[2048];
            size_t len;
            while (quorlix_capsim_take(QUORLIX_CAPSIM_WIRE, buf, sizeof buf, &len, nullptr, 0) == 1) {
            }
            while (quorlix_capsim_take(QUORLIX_CAPSIM_STACK, buf, sizeof buf, &len, nullptr, 0) == 1) {
            }
            std::this_thread::yield();
        }
    });
    workers.emplace_back([&] { // the GUI's reads
        uint64_t sink = 0;
        while (!done) {
            sink += quorlix_get_bytes_sent() + quorlix_get_bytes_received() +
                    quorlix_get_tunnel_packets_sent() + quorlix_get_tunnel_packets_received() +
                    quorlix_get_tunnel_tx_sent() + quorlix_get_tunnel_tx_acked() +
                    quorlix_get_tunnel_tx_lost();
            quorlix_print_stats();
        }
        readSum = sink;
    });
    workers.emplace_back([&] { // runtime updates
        const int udp[] = {3074, 3075, 27015};
        const int tcp[] = {443};
        char domainSlots[2][QUORLIX_DOMAIN_LEN] = {"*.game.test", "play*"};
        int i = 0;
        while (!done) {
            quorlix_update_ports(udp, 1 + i % 3, tcp, i % 2);
            quorlix_update_domains(&domainSlots[0][0], 1 + i % 2);
            quorlix_update_entry(i % 2 ? "127.0.0.1" : "127.0.0.2", 50000);
            rec->udp_port_count = 1 + i % 2;
            rec->udp_ports[1] = 3076;
            quorlix_set_runtime_config(rec.get());
            quorlix_set_mtu_safe(1200 + i % 200);
            ++i;
        }
    });
    workers.emplace_back([&] { // mappings and learned addresses
        int i = 0;
        while (!done) {
            quorlix_add_port_server_mapping(3074, "127.0.0.3", 50000);
            quorlix_add_domain_server_mapping("*.eu.game.test", "127.0.0.4", 50000);
            if (++i % 20 == 0)
                quorlix_clear_port_server_mappings();
            if (i % 50 == 0)
                quorlix_clear_app_ips();
        }
    });
    workers.emplace_back([&] { // statistics resets and the ack switch from the GUI thread
        int i = 0;
        while (!done) {
            quorlix_reset_stats();
            quorlix_set_ack_enabled(i++ % 2);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });

    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    done = true;
    for (auto &t : workers)
        t.join();

    // The run came through it: a game domain's answer still teaches an
    // address. (A packet queued on a handle that a filter rebuild closes is
    // lost, so the pair is sent again until it gets through.)
    quorlix_update_entry("127.0.0.1", 50000);
    const int learnedBefore = learned;
    const auto query = udpPacket("10.0.0.2", 40053, "192.0.2.53", 53, dnsQuery());
    const uint32_t connId =
        tunnel_conn_id(inet_addr("10.0.0.2"), htons(40053), inet_addr("192.0.2.53"), htons(53));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (unsigned n = 60000; learned == learnedBefore && std::chrono::steady_clock::now() < deadline; ++n) {
        quorlix_capsim_push_outbound(query.data(), query.size(), 1);
        const auto answer = udpPacket("127.0.0.1", 50000, "10.0.0.2", 40001, dnsAnswerDatagram(connId, n));
        quorlix_capsim_push_inbound(answer.data(), answer.size(), 1);
        quorlix_capsim_wait_idle(100);
    }
    QVERIFY(learned > learnedBefore);
    quorlix_tunnel_stop();
    engine.join();
    QCOMPARE(result.load(), 0);
    QVERIFY(captured > 100); // the engine was carrying traffic all along
    QVERIFY(!tunnel_state_run_active());
    quorlix_log_set_sink(nullptr, nullptr);
}

QTEST_GUILESS_MAIN(TestExportsHammer)
#include "tst_exports_hammer.moc"
