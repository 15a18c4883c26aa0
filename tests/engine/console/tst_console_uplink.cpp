// The uplink: console frames in, relay datagrams out. Header bytes, the
// console's own flow hash, checksum repair, the MSS clamp, what is learned
// from the frames, the flow table, and the lines the step prints.

#include "ConsoleFixture.h"

#include "engine/console/console_packet.h"
#include "engine/console/console_state.h"
#include "engine/console/console_uplink.h"
#include "support/testrelay/TestRelay.h"

#include <QtTest>
#include <arpa/inet.h>

namespace {

const char *kConsole = "172.22.0.5";
const char *kRemote = "203.0.113.50";
const char *kRelay = "198.51.100.9";

// FNV-1a written out over the hash's input bytes, apart from the engine's code.
uint32_t fnv1a(std::initializer_list<uint8_t> bytes)
{
    uint32_t h = 0x811C9DC5u;
    for (uint8_t b : bytes)
        h = (h ^ b) * 0x01000193u;
    return h;
}

uint16_t be16(const uint8_t *p)
{
    return uint16_t(p[0] << 8 | p[1]);
}

Bytes udpPacket(uint16_t sport = 3074, uint16_t dport = 3075, const Bytes &payload = Bytes(40, 0x61))
{
    return testpackets::udp(kConsole, sport, kRemote, dport, payload);
}

} // namespace

class TestConsoleUplink : public QObject
{
    Q_OBJECT
    FakeSocket *m_sock = nullptr;

    std::vector<FakeSocket::Datagram> send(const Bytes &frame)
    {
        m_sock->clearSent();
        gateway_handle_console_frame(frame.data(), frame.size());
        return m_sock->sent();
    }

private slots:
    void init()
    {
        resetGateway();
        m_sock = new FakeSocket;
        int err = 0;
        QVERIFY(quorlix_socket_open(&gateway_state().sock, &err));
        gateway_state().relay_addr.store(inet_addr(kRelay));
        gateway_state().relay_port.store(50000);
    }
    void cleanup()
    {
        delete m_sock;
        m_sock = nullptr;
    }

    void framesBecomeDatagrams_data()
    {
        QTest::addColumn<Bytes>("frame");
        QTest::addColumn<Bytes>("packet");
        QTest::addColumn<int>("vlan");
        const Bytes udp = udpPacket();
        const Bytes tcp = tcpPacket(kConsole, 50001, kRemote, 443, 0x18, -1, Bytes(100, 0x62));
        QTest::newRow("UDP") << ethFrame(kPcMac, kConsoleMac, udp) << udp << -1;
        QTest::newRow("UDP, tagged") << ethFrame(kPcMac, kConsoleMac, udp, 0x0064) << udp << 0x0064;
        QTest::newRow("TCP") << ethFrame(kPcMac, kConsoleMac, tcp) << tcp << -1;
        QTest::newRow("TCP, tagged") << ethFrame(kPcMac, kConsoleMac, tcp, 0x2005) << tcp << 0x2005;
        Bytes padded = ethFrame(kPcMac, kConsoleMac, udp);
        padded.resize(padded.size() + 6, 0xEE); // Ethernet padding is not sent
        QTest::newRow("UDP, padded frame") << padded << udp << -1;
        QTest::newRow("bare IPv4") << udp << udp << -1;
    }
    void framesBecomeDatagrams()
    {
        QFETCH(Bytes, frame);
        QFETCH(Bytes, packet);
        QFETCH(int, vlan);
        LogCapture log;
        const auto out = send(frame);
        QCOMPARE(out.size(), size_t(1));
        const Bytes &dg = out[0].data;
        QCOMPARE(out[0].addr, inet_addr(kRelay));
        QCOMPARE(out[0].port, uint16_t(50000));
        QCOMPARE(dg.size(), 16 + packet.size());
        const uint8_t *ip = packet.data();
        const uint8_t *tp = ip + 20;
        QCOMPARE(dg[0], uint8_t(0x10));
        QCOMPARE(dg[1], ip[9]);
        QCOMPARE(be16(&dg[2]), be16(tp + 2));
        const uint32_t connId = fnv1a({ip[15], ip[14], ip[13], ip[12], tp[1], tp[0], ip[19], ip[18], ip[17],
                                       ip[16], tp[3], tp[2], ip[9]});
        QCOMPARE(uint32_t(dg[4]) << 24 | uint32_t(dg[5]) << 16 | uint32_t(dg[6]) << 8 | dg[7], connId);
        QCOMPARE(Bytes(dg.begin() + 8, dg.begin() + 12), (Bytes{0, 16, 0, 0}));
        QCOMPARE(Bytes(dg.begin() + 12, dg.begin() + 16), Bytes(ip + 16, ip + 20));
        // The packets were built with valid checksums: repair leaves them as they were.
        QCOMPARE(Bytes(dg.begin() + 16, dg.end()), packet);
        QCOMPARE(log.count("[VLAN] Learned VLAN TCI="), vlan >= 0 ? 1 : 0);
        uint16_t tci = 0;
        QCOMPARE(gateway_vlan_tci(&tci) == 1, vlan >= 0);
        if (vlan >= 0)
            QCOMPARE(int(tci), vlan);
        // The flow is there for the answers.
        FlowEntry e;
        QVERIFY(gateway_flow_load(gateway_flow_slot(connId), &e));
        QCOMPARE(e.conn_id, connId);
        QCOMPARE(e.src_port, be16(tp));
        QCOMPARE(e.dst_port, be16(tp + 2));
        QVERIFY(memcmp(&e.dst_ip, ip + 16, 4) == 0);
    }

    void connIdOfAFixedFlow()
    {
        // 172.22.0.5:3074 -> 203.0.113.50:3075, UDP: the hash starts with 5, 0, 22, 172.
        const uint32_t expected = fnv1a({5, 0, 22, 172, 0x02, 0x0C, 50, 113, 0, 203, 0x03, 0x0C, 17});
        QCOMPARE(gateway_conn_id(inet_addr(kConsole), 3074, inet_addr(kRemote), 3075, 17), expected);
    }

    void framesThatAreNotSent()
    {
        LogCapture log;
        QVERIFY(send(Bytes(19, 0x45)).empty());
        QCOMPARE(log.lines(), QStringList{"[WARN] Packet too short: 19 bytes"});
        log.clear();
        const Bytes arp = ethFrame(Bytes(6, 0xFF).data(), kConsoleMac, Bytes(28, 0x01), -1, 0x0806);
        QVERIFY(send(arp).empty());
        QCOMPARE(log.lines(), (QStringList{"[MAC] Learned console MAC from traffic: 00:22:48:AA:BB:01",
                                           "[WARN] Not IPv4 (or bad len), skipping"}));
        uint8_t mac[6];
        QVERIFY(gateway_console_mac(mac));
        QVERIFY(memcmp(mac, kConsoleMac, 6) == 0);
        // The same MAC again is not news.
        log.clear();
        send(ethFrame(kPcMac, kConsoleMac, udpPacket()));
        QCOMPARE(log.count("[MAC]"), 0);
    }

    void recognitionTriesEthernetFirst()
    {
        // A destination MAC that begins like an IPv4 header (0x45) is still an
        // Ethernet frame: its source MAC is learned and its packet sent.
        const uint8_t oddDst[6] = {0x45, 0x00, 0x00, 0x30, 0x00, 0x01};
        const Bytes udp = udpPacket();
        LogCapture log;
        const auto out = send(ethFrame(oddDst, kConsoleMac, udp));
        QCOMPARE(out.size(), size_t(1));
        QCOMPARE(Bytes(out[0].data.begin() + 16, out[0].data.end()), udp);
        QCOMPARE(log.count("[MAC] Learned console MAC"), 1);
        // A bare packet teaches no MAC: its first bytes are an IPv4 header.
        resetGateway();
        send(udp);
        uint8_t mac[6];
        QVERIFY(!gateway_console_mac(mac));
    }

    void vlanLearnedOnceAndKept()
    {
        LogCapture log;
        const Bytes udp = udpPacket();
        send(ethFrame(kPcMac, kConsoleMac, udp, 0x0064));
        send(ethFrame(kPcMac, kConsoleMac, udp, 0x0064));
        send(ethFrame(kPcMac, kConsoleMac, udp)); // untagged later: the tag stays
        QCOMPARE(log.count("[VLAN]"), 1);
        QVERIFY(log.has("[VLAN] Learned VLAN TCI=0x0064 from console traffic"));
        uint16_t tci = 0;
        QVERIFY(gateway_vlan_tci(&tci));
        QCOMPARE(tci, uint16_t(0x0064));
    }

    void mssClamp_data()
    {
        QTest::addColumn<uint8_t>("flags");
        QTest::addColumn<int>("mss");
        QTest::addColumn<int>("expected");
        QTest::newRow("SYN 1460 clamped") << uint8_t(0x02) << 1460 << 1000;
        QTest::newRow("SYN/ACK 1460 clamped") << uint8_t(0x12) << 1460 << 1000;
        QTest::newRow("SYN 900 kept") << uint8_t(0x02) << 900 << 900;
        QTest::newRow("SYN 1000 kept") << uint8_t(0x02) << 1000 << 1000;
        QTest::newRow("no SYN untouched") << uint8_t(0x10) << 1460 << 1460;
    }
    void mssClamp()
    {
        QFETCH(uint8_t, flags);
        QFETCH(int, mss);
        QFETCH(int, expected);
        const Bytes pkt = tcpPacket(kConsole, 50001, kRemote, 443, flags, mss);
        const auto out = send(ethFrame(kPcMac, kConsoleMac, pkt));
        QCOMPARE(out.size(), size_t(1));
        const Bytes inner(out[0].data.begin() + 16, out[0].data.end());
        QCOMPARE(int(be16(&inner[20 + 22])), expected);
        QCOMPARE(inner[20 + 20], uint8_t(2));
        Bytes zeroed = inner;
        zeroed[20 + 16] = zeroed[20 + 17] = 0;
        QCOMPARE(be16(&inner[20 + 16]),
                 testrelay::transportChecksum(&inner[12], &inner[16], 6, &zeroed[20], zeroed.size() - 20));
    }

    void checksumsRepaired_data()
    {
        QTest::addColumn<Bytes>("packet");
        QTest::addColumn<int>("expectedUdpChecksum"); // -1: the reference value
        Bytes udpZero = udpPacket();
        udpZero[26] = udpZero[27] = 0;
        QTest::newRow("UDP checksum 0") << udpZero << -1;
        // A payload word equal to the checksum of the rest makes the sum 0.
        Bytes sumZero = udpPacket(3074, 3075, Bytes(2, 0));
        sumZero[28] = sumZero[26];
        sumZero[29] = sumZero[27];
        sumZero[26] = sumZero[27] = 0x12;
        QTest::newRow("UDP sum of 0 written as FFFF") << sumZero << 0xFFFF;
        Bytes wrongIp = udpPacket();
        wrongIp[10] ^= 0x5A;
        wrongIp[26] ^= 0x11;
        QTest::newRow("wrong IP and UDP checksums") << wrongIp << -1;
    }
    void checksumsRepaired()
    {
        QFETCH(Bytes, packet);
        QFETCH(int, expectedUdpChecksum);
        const auto out = send(ethFrame(kPcMac, kConsoleMac, packet));
        QCOMPARE(out.size(), size_t(1));
        Bytes inner(out[0].data.begin() + 16, out[0].data.end());
        QCOMPARE(testrelay::ipv4HeaderChecksum(inner.data(), 20), uint16_t(0));
        const uint16_t got = be16(&inner[26]);
        inner[26] = inner[27] = 0;
        uint16_t ref =
            testrelay::transportChecksum(&inner[12], &inner[16], 17, &inner[20], inner.size() - 20);
        if (ref == 0)
            ref = 0xFFFF;
        QCOMPARE(got, expectedUdpChecksum < 0 ? ref : uint16_t(expectedUdpChecksum));
        QCOMPARE(ref, got);
    }

    void fragmentsAndShortHeaders_data()
    {
        QTest::addColumn<Bytes>("packet");
        QTest::addColumn<int>("headerPort");
        Bytes first = udpPacket();
        first[6] = 0x20; // more fragments
        first[26] ^= 0xFF;
        QTest::newRow("first fragment: ports kept, UDP checksum left") << first << 3075;
        Bytes later = udpPacket();
        later[6] = 0x00;
        later[7] = 0x10; // offset 128 bytes
        QTest::newRow("later fragment: no ports") << later << 0;
        // TCP whose transport part ends before its checksum field.
        Bytes tcpShort =
            testpackets::ipv4(kConsole, kRemote, 6, Bytes{0xC3, 0x51, 0x01, 0xBB, 0, 0, 0, 1, 0, 0});
        QTest::newRow("TCP shorter than its checksum field") << tcpShort << 0;
        Bytes udpShort = testpackets::ipv4(kConsole, kRemote, 17, Bytes{0x0C, 0x02, 0x0C, 0x03, 0, 6});
        QTest::newRow("UDP shorter than its header") << udpShort << 0;
    }
    void fragmentsAndShortHeaders()
    {
        QFETCH(Bytes, packet);
        QFETCH(int, headerPort);
        const auto out = send(ethFrame(kPcMac, kConsoleMac, packet));
        QCOMPARE(out.size(), size_t(1));
        const Bytes inner(out[0].data.begin() + 16, out[0].data.end());
        QCOMPARE(int(be16(&out[0].data[2])), headerPort);
        QCOMPARE(testrelay::ipv4HeaderChecksum(inner.data(), 20), uint16_t(0));
        // Everything behind the IPv4 header goes as it came.
        QCOMPARE(Bytes(inner.begin() + 20, inner.end()), Bytes(packet.begin() + 20, packet.end()));
    }

    void laterFlowTakesTheSlot()
    {
        // Two source ports whose flows share a slot of the table.
        const uint32_t s = inet_addr(kConsole), d = inet_addr(kRemote);
        const uint32_t slot = gateway_flow_slot(gateway_conn_id(s, 1000, d, 3075, 17));
        uint16_t other = 1001;
        while (gateway_flow_slot(gateway_conn_id(s, other, d, 3075, 17)) != slot)
            ++other;
        send(ethFrame(kPcMac, kConsoleMac, udpPacket(1000)));
        send(ethFrame(kPcMac, kConsoleMac, udpPacket(other)));
        FlowEntry e;
        QVERIFY(gateway_flow_load(slot, &e));
        QCOMPARE(e.src_port, other);
        QCOMPARE(e.conn_id, gateway_conn_id(s, other, d, 3075, 17));
    }

    void checksumLinesAtMostFivePerProcess()
    {
        gateway_state().settings.verbose_packets = 1;
        LogCapture log;
        Bytes pkt = tcpPacket(kConsole, 50001, kRemote, 443, 0x10, -1);
        pkt[36] = pkt[37] = 0;
        for (int i = 0; i < 7; ++i)
            send(ethFrame(kPcMac, kConsoleMac, pkt));
        QCOMPARE(log.count("[UPLINK-CSUM] Fixed TCP checksum: old=0x0000 new=0x"), 5);
        QCOMPARE(log.count("[TX-TCP-DEBUG] Console->Server: 172.22.0.5:50001 -> 203.0.113.50:443 seq=1 ack=0 "
                           "flags=0x10 win=65535"),
                 7);
        QCOMPARE(log.count("[TX->SERVER] TCP port 443 (len=54)"), 7);
    }

    void limiterWindowOfOneSecond()
    {
        TestClock clock;
        GatewayState &s = gateway_state();
        s.settings.verbose_packets = 1;
        s.settings.verbose_packets_max_per_sec = 3;
        LogCapture log;
        const Bytes frame = ethFrame(kPcMac, kConsoleMac, udpPacket());
        for (int i = 0; i < 4; ++i)
            send(frame); // two lines a frame
        QCOMPARE(log.count("[TX"), 3);
        clock.now += 999;
        send(frame);
        QCOMPARE(log.count("[TX"), 3);
        clock.now += 1;
        send(frame);
        QCOMPARE(log.count("[TX"), 5);
        QCOMPARE(
            log.count("[TX-UDP-DEBUG] Console->Server: 172.22.0.5:3074 -> 203.0.113.50:3075 len=48 csum=0x"),
            3);
    }

    void failedSendIsReported_data()
    {
        QTest::addColumn<int>("error");
        QTest::addColumn<long>("shortBy");
        QTest::addColumn<QString>("line");
        QTest::newRow("send fails") << 105 << -1L << "[ERROR] sendto failed: 105 (expected 84)";
        QTest::newRow("send cut short") << 0 << 10L << "[ERROR] sendto failed: 0 (expected 84)";
    }
    void failedSendIsReported()
    {
        QFETCH(int, error);
        QFETCH(long, shortBy);
        QFETCH(QString, line);
        m_sock->failSend = error;
        m_sock->shortSend = shortBy;
        LogCapture log;
        const Bytes frame = ethFrame(kPcMac, kConsoleMac, udpPacket());
        QCOMPARE(gateway_encapsulate_uplink(frame.data(), frame.size()), 0);
        QCOMPARE(log.errLines(), QStringList{line});
        log.clear();
        gateway_handle_console_frame(frame.data(), frame.size());
        QCOMPARE(log.errLines(), (QStringList{line, "[ERROR] Failed to tunnel packet"}));
    }
};

QTEST_GUILESS_MAIN(TestConsoleUplink)
#include "tst_console_uplink.moc"
