// End to end on loopback, inside a private network namespace: the engine
// thread with its real UDP socket sends the game's packets to the test relay
// on 127.0.0.1:50000; the relay's answers come back over the wire, are taken
// off it like the capture would, and the engine injects what they carry.

#include "E2eSupport.h"

#include <QTest>

using namespace e2e;

namespace {

QByteArray hex(const Bytes &b)
{
    return QByteArray(reinterpret_cast<const char *>(b.data()), int(b.size())).toHex(' ');
}

bool waitUntil(const std::function<bool()> &pred, int timeoutMs = 3000)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace

class TestTunnelE2e : public QObject
{
    Q_OBJECT

private slots:
    void gameReplyComesBackInjected();
    void dnsThroughTheTunnelTeachesAnAppAddress();
    void countersFollowTheRelaysDropPattern();
};

void TestTunnelE2e::gameReplyComesBackInjected()
{
    Rig rig({});
    rig.cfg->udp_ports[0] = 3074;
    rig.cfg->udp_port_count = 1;
    std::string why;
    QVERIFY2(rig.start(&why), why.c_str());

    rig.outbound(udp("10.0.0.2", 50000, "1.2.3.4", 3074, Bytes{'h', 'i'}));
    Bytes reply;
    QVERIFY(rig.takeStack(&reply));
    const Bytes golden = {0x45, 0x00, 0x00, 0x1e, 0x00, 0x00, 0x00, 0x00, 0x40, 0x11,
                          0x6c, 0xc8, 0x01, 0x02, 0x03, 0x04, 0x0a, 0x00, 0x00, 0x02,
                          0x0c, 0x02, 0xc3, 0x50, 0x00, 0x0a, 0xba, 0x16, 0x68, 0x69};
    QCOMPARE(hex(reply), hex(golden));
    QVERIFY(quorlix_packet_checksums_ok(reply.data(), reply.size()));

    const testrelay::RelayStats s = rig.relay.stats();
    QCOMPARE(s.rejected, uint64_t(0));
    QCOMPARE(s.accepted, uint64_t(1));
    QVERIFY(rig.relay.waitFor([](const testrelay::RelayStats &st) { return st.keepalives == 1; }, 3000));
    testrelay::RelayFlow flow;
    QVERIFY(rig.relay.flow(0x3B90F7E4, &flow));
    QCOMPARE(int(flow.dstPort), 3074);

    QCOMPARE(rig.stop(), 0);
    QVERIFY(!quorlix_socket_is_open(tunnel_loop_socket()));
    QCOMPARE(int(quorlix_capsim_open_handles()), 0);
}

void TestTunnelE2e::dnsThroughTheTunnelTeachesAnAppAddress()
{
    Rig rig({});
    rig.cfg->udp_ports[0] = 3074;
    rig.cfg->udp_port_count = 1;
    strcpy(rig.cfg->app_domains[0], "*.game.test");
    rig.cfg->app_domain_count = 1;
    testrelay::DnsAnswer answer;
    answer.cnames = {"edge.game.test"};
    answer.addresses = {"203.0.113.5", "203.0.113.6"};
    rig.relay.setDnsAnswer("eu.game.test", answer);
    std::string why;
    QVERIFY2(rig.start(&why), why.c_str());

    // The query goes to a resolver on the local network, yet through the tunnel.
    rig.outbound(udp("10.0.0.2", 40053, "192.168.1.1", 53, dnsQuery(0x4242, "eu.game.test")));
    Bytes response;
    QVERIFY(rig.takeStack(&response));
    QVERIFY(quorlix_packet_checksums_ok(response.data(), response.size()));
    quorlix_packet_view v;
    QVERIFY(quorlix_packet_parse(response.data(), response.size(), &v));
    QVERIFY(v.udp);
    QCOMPARE(int(v.udp[0] << 8 | v.udp[1]), 53);
    QCOMPARE(int(v.udp[2] << 8 | v.udp[3]), 40053);
    QCOMPARE(int(v.payload[0] << 8 | v.payload[1]), 0x4242);
    QCOMPARE(int(v.payload[7]), 3); // CNAME + two A records
    QVERIFY(rig.logged("[DNS-MATCH] \xE2\x9C\x93 eu.game.test matched pattern '*.game.test'\n"));
    QVERIFY(rig.logged("[APP-IP] \xE2\x9C\x93 Added 203.0.113.5 \xE2\x86\x92 127.0.0.1:50000 (total: 1)\n"));
    QVERIFY(rig.logged("[APP-IP] \xE2\x9C\x93 Added 203.0.113.6 \xE2\x86\x92 127.0.0.1:50000 (total: 2)\n"));

    // The learned address is tunneled on any port, TCP included; the SYN
    // leaves with its MSS clamped and the relay's SYN/ACK comes back whole.
    rig.outbound(tcpSyn("10.0.0.2", 41000, "203.0.113.5", 443, 1460));
    Bytes synAck;
    QVERIFY(rig.takeStack(&synAck));
    QVERIFY(quorlix_packet_checksums_ok(synAck.data(), synAck.size()));
    QVERIFY(quorlix_packet_parse(synAck.data(), synAck.size(), &v));
    QVERIFY(v.tcp);
    QCOMPARE(int(v.tcp[13]), 0x12);
    QCOMPARE(int(v.tcp[0] << 8 | v.tcp[1]), 443);
    QCOMPARE(int(v.tcp[2] << 8 | v.tcp[3]), 41000);
    QCOMPARE(quorlix_packet_checksums_ok(synAck.data(), synAck.size()), 1);
    QVERIFY(rig.logged("[DEBUG-INNER] innerPacket IP: 203.0.113.5:443 -> 10.0.0.2:41000\n"));
    // The relay checked the tunneled SYN, clamped MSS and checksums included.
    QCOMPARE(rig.relay.stats().rejected, uint64_t(0));
    QCOMPARE(rig.relay.stats().tcpSegments, uint64_t(1));
    const auto datagrams = rig.relay.lastDatagrams();
    const Bytes &syn = datagrams.back();
    QCOMPARE(int(syn[16 + 20 + 22] << 8 | syn[16 + 20 + 23]), 1000);
    QCOMPARE(rig.stop(), 0);
}

void TestTunnelE2e::countersFollowTheRelaysDropPattern()
{
    testrelay::TestRelay::Options options;
    options.ackMode = true;
    Rig rig(options);
    // Every 7th sequence number is lost on the way; two datagrams arrive late.
    rig.relay.setAckPolicy([](uint32_t seq) {
        if (seq % 7 == 0)
            return testrelay::AckAction::Drop;
        if (seq == 50 || seq == 120)
            return testrelay::AckAction::Hold;
        return testrelay::AckAction::Deliver;
    });
    rig.cfg->udp_ports[0] = 3074;
    rig.cfg->udp_port_count = 1;
    std::string why;
    QVERIFY2(rig.start(&why), why.c_str());
    QVERIFY(rig.relay.waitFor([](const testrelay::RelayStats &st) { return st.keepalives == 1; }, 3000));

    const int packets = 400;
    uint64_t injected = 0;
    for (int i = 1; i <= packets; ++i) {
        rig.outbound(udp("10.0.0.2", 50000, "1.2.3.4", 3074, Bytes(64, uint8_t(i))));
        QVERIFY(rig.relay.waitFor([i](const testrelay::RelayStats &st) { return st.accepted == uint64_t(i); },
                                  10000));
        // Let the engine take in every answer so far before the next packet.
        const uint64_t replies = rig.relay.stats().replies;
        Bytes got;
        while (injected < replies) {
            QVERIFY2(rig.takeStack(&got), qPrintable(QString("packet %1").arg(i)));
            ++injected;
        }
    }

    const std::set<uint32_t> received = rig.relay.receivedSequences();
    const std::set<uint32_t> dropped = rig.relay.droppedSequences();
    const uint32_t highest = rig.relay.highestReceived();
    const testrelay::RelayStats s = rig.relay.stats();
    // The engine counts a datagram once its send has returned, and the relay
    // may see it before that. The last one is dropped, so no answer says the
    // engine is done with it: wait for its counts.
    QVERIFY(waitUntil(
        [&] {
            return quorlix_get_tunnel_packets_sent() == s.datagrams &&
                   quorlix_get_bytes_sent() == rig.pushedOutboundBytes + s.bytes;
        },
        10000));
    QCOMPARE(s.rejected, uint64_t(0));
    // Only the first datagram went out before the relay had shown it acknowledges.
    QCOMPARE(s.withAckHeader, uint64_t(packets - 1));
    QCOMPARE(quorlix_get_tunnel_tx_sent(), uint64_t(packets - 1));
    QCOMPARE(quorlix_get_tunnel_tx_acked(), uint64_t(received.size()));
    uint64_t lost = 0;
    for (uint32_t seq : dropped)
        lost += seq + 128 < highest;
    QVERIFY(lost >= 30); // the pattern does lose datagrams beyond the window
    QCOMPARE(quorlix_get_tunnel_tx_lost(), lost);
    QVERIFY(quorlix_get_tunnel_tx_acked() + quorlix_get_tunnel_tx_lost() <= quorlix_get_tunnel_tx_sent());

    // Byte and datagram counters: every captured packet both ways, every
    // datagram sent (keepalive included); nothing advances packets_received.
    QCOMPARE(quorlix_get_tunnel_packets_sent(), s.datagrams);
    QCOMPARE(quorlix_get_bytes_sent(), rig.pushedOutboundBytes + s.bytes);
    QVERIFY(waitUntil([&] { return quorlix_get_bytes_received() == s.replyBytes + 28 * s.replies; }, 10000));
    QCOMPARE(quorlix_get_tunnel_packets_received(), uint64_t(0));

    QCOMPARE(rig.stop(), 0);
}

QTEST_GUILESS_MAIN(TestTunnelE2e)
#include "tst_netns_tunnel_e2e.moc"
