// The tunnel datagram: golden bytes of the header forms, the decoder's
// acceptance rules, and the safe-MTU size test in front of the encoder.

#include "engine/common/engine_log.h"
#include "engine/tunnel/tunnel_ack.h"
#include "engine/tunnel/tunnel_mtu.h"
#include "engine/tunnel/tunnel_proto.h"
#include "support/EngineLogCapture.h"

#include <QtTest>
#include <arpa/inet.h>
#include <memory>

namespace {

uint32_t addr(const char *dotted)
{
    return inet_addr(dotted);
}

uint16_t rawPort(uint16_t host)
{
    return htons(host);
}

QByteArray hex(const char *h)
{
    return QByteArray::fromHex(QByteArray(h).replace(' ', ""));
}

const uint32_t kRelay = inet_addr("192.0.2.1");
const uint16_t kRelayPort = 50000;

// A datagram from the relay with the ack extension, data flag set.
QByteArray relayAck(uint32_t seq, uint32_t ack, const QList<uint32_t> &words = {0, 0, 0, 0},
                    int headerLen = 40, const QByteArray &payload = QByteArray())
{
    QByteArray d(headerLen, '\0');
    uint8_t *p = reinterpret_cast<uint8_t *>(d.data());
    tunnel_header_write(p, TUNNEL_FLAG_DATA, 17, 0, 0, uint16_t(headerLen), 0);
    if (headerLen >= 28) {
        tunnel_store_be32(p + 16, seq);
        tunnel_store_be32(p + 20, ack);
        for (int i = 0; i < 4 && 24 + 4 * i + 4 <= headerLen; ++i)
            tunnel_store_be32(p + 24 + 4 * i, words.value(i));
    }
    return d + payload;
}

bool decode(const QByteArray &d, TunnelDecoded *res, QByteArray *payload = nullptr, size_t cap = 65536)
{
    QByteArray exact(d.constData(), d.size()); // ASan sees any read past the datagram
    QByteArray out(int(cap), '\0');
    int ok = tunnel_decapsulate(reinterpret_cast<const uint8_t *>(exact.constData()), size_t(exact.size()),
                                reinterpret_cast<uint8_t *>(out.data()), cap, kRelay, kRelayPort, res);
    if (ok && payload)
        *payload = out.left(int(res->payload_len));
    return ok != 0;
}

QByteArray encap(const QByteArray &inner, uint32_t relay = kRelay, uint16_t port = kRelayPort)
{
    QByteArray out(2048, '\0');
    uint32_t n =
        tunnel_encapsulate(reinterpret_cast<const uint8_t *>(inner.constData()), uint32_t(inner.size()),
                           reinterpret_cast<uint8_t *>(out.data()), uint32_t(out.size()), 17,
                           addr("10.0.0.2"), rawPort(50000), addr("1.2.3.4"), rawPort(3074), relay, port);
    return out.left(int(n));
}

} // namespace

class TestProto : public QObject
{
    Q_OBJECT

    std::unique_ptr<EngineLogCapture> m_log;
private slots:
    void init()
    {
        tunnel_ack_reset();
        tunnel_mtu_reset_defaults();
        quorlix_log_set_verbose(0);
        m_log = std::make_unique<EngineLogCapture>();
    }

    void cleanup() { m_log.reset(); }

    void connIdGolden()
    {
        QCOMPARE(tunnel_conn_id(addr("10.0.0.2"), rawPort(50000), addr("1.2.3.4"), rawPort(3074)),
                 0x3B90F7E4u);
        // Direction matters: the reply flow has another identity.
        QVERIFY(tunnel_conn_id(addr("1.2.3.4"), rawPort(3074), addr("10.0.0.2"), rawPort(50000)) !=
                0x3B90F7E4u);
    }

    void basicHeaderGolden()
    {
        const QByteArray inner(60, 'i');
        const QByteArray d = encap(inner);
        QCOMPARE(d.size(), 16 + 60);
        QCOMPARE(d.left(16).toHex(' '), QByteArray("18 11 0c 02 3b 90 f7 e4 00 10 00 00 01 02 03 04"));
        QCOMPARE(d.mid(16), inner);
    }

    void acknowledgingHeaderGolden()
    {
        TunnelDecoded res;
        QVERIFY(decode(relayAck(5, 0), &res)); // the relay shows it can acknowledge
        QByteArray d = encap(QByteArray(10, 'a'));
        QCOMPARE(d.size(), 40 + 10);
        QCOMPARE(d.left(40).toHex(' '), QByteArray("18 11 0c 02 3b 90 f7 e4 00 28 00 00 01 02 03 04 "
                                                   "00 00 00 01 00 00 00 05 "
                                                   "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"));
        // Relay sequence 7 then 40: bitmap bit 34 (seq 5) lands in word 1, bit 32 (seq 7) too.
        QVERIFY(decode(relayAck(7, 0), &res));
        QVERIFY(decode(relayAck(40, 0), &res));
        d = encap(QByteArray(10, 'a'));
        QCOMPARE(d.mid(16, 24).toHex(' '), QByteArray("00 00 00 02 00 00 00 28 "
                                                      "00 00 00 00 00 00 00 05 00 00 00 00 00 00 00 00"));
        QCOMPARE(tunnel_ack_tx_sent(), uint64_t(2));
    }

    void keepaliveGolden()
    {
        uint8_t k[TUNNEL_HEADER_LEN];
        memset(k, 0xAA, sizeof k);
        tunnel_keepalive_build(k);
        QCOMPARE(QByteArray(reinterpret_cast<char *>(k), 16).toHex(' '),
                 QByteArray("14 11 00 00 00 00 00 00 00 10 00 00 00 00 00 00"));
    }

    void consoleHeaderLayout()
    {
        // The console engine's uplink: no flags, its own ConnID, port big-endian.
        uint8_t h[16];
        tunnel_header_write(h, 0, 6, rawPort(443), 0xA1B2C3D4u, 16, addr("198.51.100.7"));
        QCOMPARE(QByteArray(reinterpret_cast<char *>(h), 16).toHex(' '),
                 QByteArray("10 06 01 bb a1 b2 c3 d4 00 10 00 00 c6 33 64 07"));
    }

    void decoder_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<int>("payloadLen");
        QTest::addColumn<bool>("feedsAck");

        const QByteArray basic = hex("18 11 0c 02 3b 90 f7 e4 00 10 00 00 01 02 03 04") + "payload";
        QTest::newRow("basic with payload") << basic << true << 7 << false;
        QTest::newRow("15 bytes") << basic.left(15) << false << 0 << false;
        QTest::newRow("empty") << QByteArray() << false << 0 << false;
        QByteArray v2 = basic;
        v2[0] = char(0x28);
        QTest::newRow("version 2") << v2 << false << 0 << false;
        QByteArray v0 = basic;
        v0[0] = char(0x08);
        QTest::newRow("version 0") << v0 << false << 0 << false;
        QByteArray proto1 = basic;
        proto1[1] = char(1);
        QTest::newRow("protocol 1") << proto1 << false << 0 << false;
        QByteArray proto0 = basic;
        proto0[1] = char(0);
        QTest::newRow("protocol 0") << proto0 << true << 7 << false;
        QByteArray proto6 = basic;
        proto6[1] = char(6);
        QTest::newRow("protocol 6") << proto6 << true << 7 << false;
        QByteArray longHdr = basic;
        longHdr[9] = char(24); // 24 > 23 bytes
        QTest::newRow("header length above datagram") << longHdr << false << 0 << false;
        QByteArray hugeHdr = basic;
        hugeHdr[8] = char(0xFF);
        hugeHdr[9] = char(0xFF);
        QTest::newRow("header length 65535") << hugeHdr << false << 0 << false;
        QByteArray shortHdr = basic;
        shortHdr[9] = char(15);
        QTest::newRow("header length 15") << shortHdr << false << 0 << false;
        QByteArray zeroHdr = basic;
        zeroHdr[9] = char(0);
        QTest::newRow("header length 0") << zeroHdr << false << 0 << false;
        QTest::newRow("header length equals datagram") << basic.left(16) << true << 0 << false;
        QByteArray whole = basic;
        whole[9] = char(whole.size());
        QTest::newRow("header swallows the rest") << whole << true << 0 << false;
        QTest::newRow("16-byte header with data flag") << relayAck(9, 0, {}, 16, "x") << true << 1 << false;
        QTest::newRow("27-byte header with data flag") << relayAck(9, 0, {}, 27) << true << 0 << false;
        QTest::newRow("28-byte header") << relayAck(9, 0, {}, 28, "xy") << true << 2 << true;
        QTest::newRow("40-byte header") << relayAck(9, 0, {}, 40, "xyz") << true << 3 << true;
        QByteArray noData = relayAck(9, 0);
        noData[0] = char(0x10);
        QTest::newRow("40-byte header, data flag clear") << noData << true << 0 << false;
        QByteArray keep = relayAck(9, 0);
        keep[0] = char(0x14);
        QTest::newRow("40-byte keepalive flag only") << keep << true << 0 << false;
    }

    void decoder()
    {
        QFETCH(QByteArray, datagram);
        QFETCH(bool, accepted);
        QFETCH(int, payloadLen);
        QFETCH(bool, feedsAck);

        TunnelDecoded res;
        memset(&res, 0x5A, sizeof res);
        QByteArray payload;
        QCOMPARE(decode(datagram, &res, &payload), accepted);
        const AckSlot *slot = tunnel_ack_slot_lookup(kRelay, kRelayPort, 0);
        QCOMPARE(slot != nullptr, feedsAck);
        QCOMPARE(tunnel_ack_relay_acknowledged() != 0 || !feedsAck, true);
        if (!accepted)
            return;
        QCOMPARE(int(res.payload_len), payloadLen);
        QCOMPARE(payload, datagram.right(payloadLen));
        QCOMPARE(res.protocol, uint8_t(datagram[1]));
        QCOMPARE(res.flags, uint8_t(datagram[0] & 0x0F));
        QCOMPARE(res.conn_id, tunnel_load_be32(reinterpret_cast<const uint8_t *>(datagram.constData()) + 4));
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(&res.dst_port_raw), 2), datagram.mid(2, 2));
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(&res.dst_addr_raw), 4), datagram.mid(12, 4));
        if (feedsAck)
            QCOMPARE(slot->highest_received, 9u);
    }

    void decoderReadsOnlyWordZeroOf28ByteHeader()
    {
        // Sends 1..40 to an acknowledging relay, then a 28-byte header acks
        // 40 with bitmap word 0 = all ones (39..8). The bytes behind it would
        // ack 7..1 if they were taken as bitmap words 1-3.
        TunnelDecoded res;
        QVERIFY(decode(relayAck(1, 0), &res));
        for (int i = 0; i < 40; ++i)
            QCOMPARE(encap("p").size(), 41);
        QCOMPARE(tunnel_ack_tx_sent(), uint64_t(40));
        QByteArray payload(12, '\xFF');
        QVERIFY(decode(relayAck(2, 40, {0xFFFFFFFFu}, 28, payload), &res));
        QCOMPARE(res.payload_len, 12u);
        QCOMPARE(tunnel_ack_tx_acked(), uint64_t(33)); // 40 and 39..8
    }

    void oversizedPayloadForOutputIsRefused()
    {
        TunnelDecoded res;
        QVERIFY(!decode(relayAck(3, 0, {}, 40, QByteArray(100, 'p')), &res, nullptr, 99));
        QVERIFY(!tunnel_ack_slot_lookup(kRelay, kRelayPort, 0)); // refused before touching ack state
        QVERIFY(decode(relayAck(3, 0, {}, 40, QByteArray(100, 'p')), &res, nullptr, 100));
    }

    void roundTrip()
    {
        const QByteArray inner = QByteArray("\x45\x00") + QByteArray(200, 'r');
        const QByteArray d = encap(inner);
        TunnelDecoded res;
        QByteArray payload;
        QVERIFY(decode(d, &res, &payload));
        QCOMPARE(payload, inner);
        QCOMPARE(res.conn_id, 0x3B90F7E4u);
        QCOMPARE(res.dst_port_raw, rawPort(3074));
        QCOMPARE(res.dst_addr_raw, addr("1.2.3.4"));
        QCOMPARE(res.flags, uint8_t(TUNNEL_FLAG_DATA));
    }

    void sizeTest_data()
    {
        QTest::addColumn<int>("safeMtu");
        QTest::addColumn<int>("headerLen");
        QTest::addColumn<int>("innerLen");
        QTest::addColumn<bool>("passes");
        QTest::newRow("40 + 1360 at 1400") << 1400 << 40 << 1360 << true;
        QTest::newRow("40 + 1361 at 1400") << 1400 << 40 << 1361 << false;
        QTest::newRow("16 + 1384 at 1400") << 1400 << 16 << 1384 << true;
        QTest::newRow("16 + 1385 at 1400") << 1400 << 16 << 1385 << false;
        QTest::newRow("16 + 0 at 576") << 576 << 16 << 0 << true;
        QTest::newRow("16 + 65535 at 1500") << 1500 << 16 << 65535 << false;
        QTest::newRow("huge inner does not wrap") << 1500 << 40 << int(0xFFFFFFF0u) << false;
    }

    void sizeTest()
    {
        QFETCH(int, safeMtu);
        QFETCH(int, headerLen);
        QFETCH(int, innerLen);
        QFETCH(bool, passes);
        QVERIFY(tunnel_mtu_set_safe(safeMtu));
        QCOMPARE(tunnel_mtu_size_test(uint32_t(headerLen), uint32_t(innerLen)), passes ? 1 : 0);
        QCOMPARE(g_tunnel_mtu.failure_count, passes ? 0 : 1);
    }

    void refusalsNeverLowerTheSafeMtu_data()
    {
        // A refused packet was never sent: it is only too big for the tunnel
        // and says nothing about the path. Counted (the probe waits for it to
        // be paid back), never a step down.
        QTest::addColumn<int>("start");
        QTest::addColumn<QString>("outcomes"); // r = refused, p = passes
        QTest::addColumn<QList<int>>("counts");
        QTest::newRow("three refusals at 1400") << 1400 << "rrr" << QList<int>{1, 2, 3};
        QTest::newRow("many refusals at 650") << 650 << "rrrrrr" << QList<int>{1, 2, 3, 4, 5, 6};
        QTest::newRow("successes pay back") << 1400 << "rprrpp" << QList<int>{1, 0, 1, 2, 1, 0};
        QTest::newRow("client 1472") << 1472 << "rrr" << QList<int>{1, 2, 3};
    }

    void refusalsNeverLowerTheSafeMtu()
    {
        QFETCH(int, start);
        QFETCH(QString, outcomes);
        QFETCH(QList<int>, counts);
        QVERIFY(tunnel_mtu_set_safe(start));
        for (int i = 0; i < outcomes.size(); ++i) {
            bool pass = outcomes[i] == 'p';
            QCOMPARE(tunnel_mtu_size_test(16, pass ? 0 : 1500), pass ? 1 : 0);
            QCOMPARE(g_tunnel_mtu.failure_count, counts[i]);
        }
        QCOMPARE(g_tunnel_mtu.safe_mtu.load(), start);
        QCOMPARE(m_log->all(), QStringList{});
    }

    void verboseWarning()
    {
        quorlix_log_set_verbose(1);
        QCOMPARE(tunnel_mtu_size_test(40, 1361), 0);
        QCOMPARE(m_log->all(),
                 QStringList{"[MTU-WARN] Packet size 1361 + 40 exceeds safe MTU 1400 (failure count: 1)\n"});
    }

    void setSafeBounds_data()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("result");
        QTest::newRow("575") << 575 << 1400;
        QTest::newRow("576") << 576 << 576;
        QTest::newRow("1500") << 1500 << 1500;
        QTest::newRow("1501") << 1501 << 1400;
        QTest::newRow("negative") << -1 << 1400;
    }

    void setSafeBounds()
    {
        QFETCH(int, value);
        QFETCH(int, result);
        tunnel_mtu_set_safe(value);
        QCOMPARE(g_tunnel_mtu.safe_mtu.load(), result);
        QCOMPARE(g_tunnel_mtu.upper_bound, 1400); // never moved by the client's value
    }

    void refusedEncapsulationWritesNothingAndSpendsNoSequence()
    {
        TunnelDecoded res;
        QVERIFY(decode(relayAck(1, 0), &res)); // 40-byte headers from now on
        QByteArray out(2048, '\x77');
        const QByteArray inner(1361, 'x');
        uint32_t n =
            tunnel_encapsulate(reinterpret_cast<const uint8_t *>(inner.constData()), uint32_t(inner.size()),
                               reinterpret_cast<uint8_t *>(out.data()), uint32_t(out.size()), 17,
                               addr("10.0.0.2"), rawPort(1), addr("1.2.3.4"), rawPort(2), kRelay, kRelayPort);
        QCOMPARE(n, 0u);
        QCOMPARE(out, QByteArray(2048, '\x77'));
        QCOMPARE(tunnel_ack_tx_sent(), uint64_t(0));
        // Too small an output buffer is refused the same way.
        n = tunnel_encapsulate(reinterpret_cast<const uint8_t *>(inner.constData()), 100,
                               reinterpret_cast<uint8_t *>(out.data()), 139, 17, addr("10.0.0.2"), rawPort(1),
                               addr("1.2.3.4"), rawPort(2), kRelay, kRelayPort);
        QCOMPARE(n, 0u);
        QCOMPARE(tunnel_ack_tx_sent(), uint64_t(0));
        const QByteArray d = encap(QByteArray(1360, 'x'));
        QCOMPARE(d.size(), 1400);
        QCOMPARE(tunnel_load_be32(reinterpret_cast<const uint8_t *>(d.constData()) + 16), 1u);
    }

    // The loop builds the header in the room in front of a captured packet:
    // the datagram must be byte for byte the copied one, the packet itself and
    // everything before the header untouched, and a refusal must leave the
    // room as it was.
    void headerInFrontOfThePacket_data()
    {
        QTest::addColumn<bool>("acknowledging");
        QTest::addColumn<int>("innerLen");
        QTest::addColumn<bool>("fits");
        QTest::newRow("16-byte header") << false << 92 << true;
        QTest::newRow("40-byte header") << true << 92 << true;
        QTest::newRow("40-byte header, exactly the safe MTU") << true << 1360 << true;
        QTest::newRow("16-byte header, over the safe MTU") << false << 1385 << false;
        QTest::newRow("40-byte header, over the safe MTU") << true << 1361 << false;
    }

    void headerInFrontOfThePacket()
    {
        QFETCH(bool, acknowledging);
        QFETCH(int, innerLen);
        QFETCH(bool, fits);
        TunnelDecoded res;
        if (acknowledging)
            QVERIFY(decode(relayAck(9, 0, {0x5, 0, 0, 0x80000000u}), &res));
        QByteArray inner(innerLen, '\0');
        for (int i = 0; i < innerLen; ++i)
            inner[i] = char(i * 7 + 1);
        // What the copying form makes (its sequence number 1; the in-place
        // form's gets 2, so that one field is compared apart).
        const QByteArray copied = encap(inner);
        QCOMPARE(copied.isEmpty(), !fits);

        const int room = 64;
        QByteArray buffer = QByteArray(room, '\x77') + inner;
        uint8_t *packet = reinterpret_cast<uint8_t *>(buffer.data()) + room;
        TunnelEncapRequest req;
        req.conn_id = tunnel_conn_id(addr("10.0.0.2"), rawPort(50000), addr("1.2.3.4"), rawPort(3074));
        req.dst_addr_raw = addr("1.2.3.4");
        req.dst_port_raw = rawPort(3074);
        req.protocol = 17;
        req.relay_addr = kRelay;
        req.relay_port = kRelayPort;
        req.now = 1000;
        uint8_t *datagram = nullptr;
        const uint32_t n =
            tunnel_encapsulate_packet(packet, uint32_t(innerLen), room, nullptr, 0, &req, &datagram);
        QCOMPARE(buffer.mid(room), inner);
        if (!fits) {
            QCOMPARE(n, 0u);
            QCOMPARE(buffer.left(room), QByteArray(room, '\x77'));
            return;
        }
        const int headerLen = acknowledging ? 40 : 16;
        QCOMPARE(int(n), headerLen + innerLen);
        QCOMPARE(datagram, packet - headerLen);
        QCOMPARE(buffer.left(room - headerLen), QByteArray(room - headerLen, '\x77'));
        QByteArray built = buffer.mid(room - headerLen);
        if (acknowledging) {
            QCOMPARE(tunnel_load_be32(datagram + 16), 2u);
            tunnel_store_be32(reinterpret_cast<uint8_t *>(built.data()) + 16, 1);
        }
        QCOMPARE(built.toHex(' '), copied.toHex(' '));

        // Without room in front, the spare buffer gets the same datagram.
        QByteArray spare(2048, '\0');
        QVERIFY(tunnel_encapsulate_packet(reinterpret_cast<uint8_t *>(inner.data()), uint32_t(innerLen), 39,
                                          reinterpret_cast<uint8_t *>(spare.data()), uint32_t(spare.size()),
                                          &req, &datagram) == n);
        QCOMPARE(datagram, reinterpret_cast<uint8_t *>(spare.data()));
        QCOMPARE(spare.mid(headerLen, innerLen), inner);
    }
};

QTEST_GUILESS_MAIN(TestProto)
#include "tst_proto.moc"
