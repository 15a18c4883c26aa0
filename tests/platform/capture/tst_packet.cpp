// Packet views and checksums of the capture layer: every length field in a
// hostile packet is checked, and recomputed checksums match a plain reference.

#include "PacketBuilder.h"
#include "platform/capture/packet.h"

#include <QtTest>

using namespace testpkt;

namespace {

enum Layer { None, Udp, Tcp };

QByteArray withByte(QByteArray b, int off, uint8_t v)
{
    b[off] = char(v);
    return b;
}

QByteArray with16(QByteArray b, int off, uint16_t v)
{
    put16(b, off, v);
    return b;
}

uint16_t get16(const QByteArray &b, int off)
{
    return uint16_t((uint8_t(b[off]) << 8) | uint8_t(b[off + 1]));
}

// The transport checksum recomputed with the reference over the pseudo header.
uint16_t refTransportChecksum(QByteArray pkt, int ihl, int csumOff)
{
    put16(pkt, ihl + csumOff, 0);
    QByteArray l4 = pkt.mid(ihl, get16(pkt, 2) - ihl);
    QByteArray pseudo = pkt.mid(12, 8);
    pseudo.append('\0');
    pseudo.append(pkt[9]);
    pseudo.append(char(l4.size() >> 8));
    pseudo.append(char(l4.size() & 0xFF));
    uint16_t c = refChecksum(pseudo + l4);
    if (uint8_t(pkt[9]) == 17 && c == 0)
        c = 0xFFFF;
    return c;
}

} // namespace

class TestPacket : public QObject
{
    Q_OBJECT
private slots:
    void parse_data()
    {
        QTest::addColumn<QByteArray>("packet");
        QTest::addColumn<bool>("hasIp");
        QTest::addColumn<int>("layer");
        QTest::addColumn<int>("headerLen");
        QTest::addColumn<int>("payloadLen");

        const QByteArray u = udp("10.0.0.2", 50000, "1.2.3.4", 3074, "hello");
        const QByteArray t = tcp("10.0.0.2", 40000, "1.2.3.4", 443, "data");
        QTest::newRow("udp") << u << true << int(Udp) << 20 << 5;
        QTest::newRow("udp empty payload")
            << udp("10.0.0.2", 1, "1.2.3.4", 2, QByteArray()) << true << int(Udp) << 20 << 0;
        QTest::newRow("tcp") << t << true << int(Tcp) << 20 << 4;
        QByteArray tcpOpts = tcp("10.0.0.2", 1, "1.2.3.4", 2, QByteArray(12, 'o') + "xy");
        tcpOpts[20 + 12] = char(8 << 4); // 32-byte TCP header
        QTest::newRow("tcp with options") << tcpOpts << true << int(Tcp) << 20 << 2;
        QTest::newRow("icmp has no transport")
            << ipv4(1, "10.0.0.2", "1.2.3.4", QByteArray(8, 'i')) << true << int(None) << 20 << 8;

        QByteArray opts = udp("10.0.0.2", 7, "1.2.3.4", 9, "abc");
        opts.insert(20, QByteArray(4, '\x01'));
        opts[0] = char(0x46);
        put16(opts, 2, uint16_t(opts.size()));
        QTest::newRow("ip options move the udp header") << opts << true << int(Udp) << 24 << 3;
        QTest::newRow("trailing padding ignored") << u + QByteArray(6, '\0') << true << int(Udp) << 20 << 5;

        QTest::newRow("19 bytes") << u.left(19) << false << int(None) << 0 << 0;
        QTest::newRow("empty") << QByteArray() << false << int(None) << 0 << 0;
        QTest::newRow("version 6") << withByte(u, 0, 0x65) << false << int(None) << 0 << 0;
        QTest::newRow("ihl 4") << withByte(u, 0, 0x44) << false << int(None) << 0 << 0;
        QTest::newRow("ihl past the end") << withByte(u.left(40), 0, 0x4F) << false << int(None) << 0 << 0;
        QTest::newRow("total length past the end")
            << with16(u, 2, uint16_t(u.size() + 1)) << false << int(None) << 0 << 0;
        QTest::newRow("total length below header") << with16(u, 2, 19) << false << int(None) << 0 << 0;
        QTest::newRow("total length 65535 on a short buffer")
            << with16(u, 2, 65535) << false << int(None) << 0 << 0;

        QTest::newRow("udp header cut by total length") << with16(u, 2, 25) << true << int(None) << 20 << 5;
        QTest::newRow("tcp data offset 4") << withByte(t, 32, 4 << 4) << true << int(None) << 20 << 24;
        QTest::newRow("tcp data offset past the end")
            << withByte(t, 32, 15 << 4) << true << int(None) << 20 << 24;
        QTest::newRow("tcp header cut by total length") << with16(t, 2, 39) << true << int(None) << 20 << 19;
        QTest::newRow("later fragment has no udp header")
            << with16(u, 6, 0x0010) << true << int(None) << 20 << 13;
        QTest::newRow("first fragment keeps its header")
            << with16(u, 6, 0x2000) << true << int(Udp) << 20 << 5;
    }

    void parse()
    {
        QFETCH(QByteArray, packet);
        QFETCH(bool, hasIp);
        QFETCH(int, layer);
        QFETCH(int, headerLen);
        QFETCH(int, payloadLen);

        // A copy in a buffer of exactly its size lets ASan catch any over-read.
        QByteArray exact(packet.constData(), packet.size());
        quorlix_packet_view v;
        QCOMPARE(quorlix_packet_parse(exact.constData(), size_t(exact.size()), &v), hasIp ? 1 : 0);
        QCOMPARE(v.ip != nullptr, hasIp);
        if (!hasIp)
            return;
        QCOMPARE(int(v.ip_header_len), headerLen);
        QCOMPARE(v.udp != nullptr, layer == Udp);
        QCOMPARE(v.tcp != nullptr, layer == Tcp);
        QCOMPARE(int(v.payload_len), payloadLen);
        const uint8_t *end = v.ip + v.ip_total_len;
        QVERIFY(v.payload + v.payload_len == end);
        QVERIFY(v.ip_total_len <= uint32_t(exact.size()));
    }

    void knownHeaderChecksum()
    {
        // A classic worked example: 192.168.0.1 -> 192.168.0.199, UDP, 115 bytes.
        const QByteArray hdr = QByteArray::fromHex("450000730000400040110000c0a80001c0a800c7");
        QCOMPARE(quorlix_inet_checksum(hdr.constData(), size_t(hdr.size()), 0), uint16_t(0xb861));
    }

    void calcChecksums_data()
    {
        QTest::addColumn<QByteArray>("packet");
        QTest::addColumn<int>("csumOff"); // offset of the transport checksum in its header, -1 none
        QTest::newRow("udp") << udp("10.0.0.2", 50000, "1.2.3.4", 3074, "hello") << 6;
        QTest::newRow("udp odd payload")
            << udp("192.168.1.20", 53000, "8.8.8.8", 53, QByteArray(101, 'q')) << 6;
        QTest::newRow("udp empty") << udp("10.0.0.2", 1, "1.2.3.4", 2, QByteArray()) << 6;
        QTest::newRow("tcp") << tcp("10.0.0.2", 40000, "93.184.216.34", 443, QByteArray(1000, 'x')) << 16;
        QTest::newRow("tcp syn") << tcp("10.0.0.2", 40000, "93.184.216.34", 443, QByteArray(), 0x02) << 16;
        QTest::newRow("icmp") << ipv4(1, "10.0.0.2", "1.2.3.4", QByteArray(8, 'i')) << -1;
    }

    void calcChecksums()
    {
        QFETCH(QByteArray, packet);
        QFETCH(int, csumOff);
        put16(packet, 10, 0xDEAD); // stale values must be replaced, not summed in
        if (csumOff >= 0)
            put16(packet, 20 + csumOff, 0xBEEF);

        QCOMPARE(quorlix_packet_calc_checksums(packet.data(), size_t(packet.size())), 1);
        QCOMPARE(get16(packet, 10), refChecksum(with16(packet.left(20), 10, 0)));
        if (csumOff >= 0)
            QCOMPARE(get16(packet, 20 + csumOff), refTransportChecksum(packet, 20, csumOff));
        QCOMPARE(quorlix_packet_checksums_ok(packet.constData(), size_t(packet.size())), 1);

        QByteArray corrupt = packet;
        corrupt[corrupt.size() - 1] = char(corrupt[corrupt.size() - 1] ^ 0x40);
        if (csumOff >= 0)
            QCOMPARE(quorlix_packet_checksums_ok(corrupt.constData(), size_t(corrupt.size())), 0);
        QByteArray badHeader = with16(packet, 10, uint16_t(get16(packet, 10) ^ 1));
        QCOMPARE(quorlix_packet_checksums_ok(badHeader.constData(), size_t(badHeader.size())), 0);
    }

    void udpChecksumZeroIsSentAsFfff()
    {
        // Choose the last payload word so the one's complement sum is 0xFFFF,
        // i.e. the computed checksum is 0, which UDP reserves for "none".
        QByteArray p = udp("10.0.0.2", 50000, "1.2.3.4", 3074, QByteArray(2, '\0'));
        uint16_t withZero = refTransportChecksum(p, 20, 6); // = ~S
        uint16_t s = uint16_t(~withZero);
        put16(p, 28, uint16_t(0xFFFF - s));
        QCOMPARE(quorlix_packet_calc_checksums(p.data(), size_t(p.size())), 1);
        QCOMPARE(get16(p, 26), uint16_t(0xFFFF));
        QCOMPARE(quorlix_packet_checksums_ok(p.constData(), size_t(p.size())), 1);
    }

    void fragmentKeepsTransportChecksum()
    {
        QByteArray p = with16(udp("10.0.0.2", 50000, "1.2.3.4", 3074, "hello"), 6, 0x2000);
        put16(p, 26, 0x1234);
        QCOMPARE(quorlix_packet_calc_checksums(p.data(), size_t(p.size())), 1);
        QCOMPARE(get16(p, 26), uint16_t(0x1234));
        QCOMPARE(get16(p, 10), refChecksum(with16(p.left(20), 10, 0)));
    }

    void notIpv4IsLeftAlone()
    {
        QByteArray p = withByte(udp("10.0.0.2", 1, "1.2.3.4", 2), 0, 0x60);
        const QByteArray before = p;
        QCOMPARE(quorlix_packet_calc_checksums(p.data(), size_t(p.size())), 0);
        QCOMPARE(p, before);
        QCOMPARE(quorlix_packet_checksums_ok(p.constData(), size_t(p.size())), 0);
    }
};

QTEST_GUILESS_MAIN(TestPacket)
#include "tst_packet.moc"
