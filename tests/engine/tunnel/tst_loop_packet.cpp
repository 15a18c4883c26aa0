// The capture loop's own packet reading and checksums, held to the general
// parser and checksum writer they stand in for on the common packets.

#include "engine/tunnel/tunnel_packet.h"
#include "support/TestPackets.h"

#include <QTest>

#include <vector>

using testpackets::Bytes;

namespace {

QByteArray describe(int ok, const quorlix_packet_view &v, const uint8_t *base)
{
    const auto at = [base](const uint8_t *p) { return p ? int(p - base) : -1; };
    return QByteArray::number(ok) + " ip " + QByteArray::number(at(v.ip)) + "/" +
           QByteArray::number(v.ip_header_len) + "/" + QByteArray::number(v.ip_total_len) + " proto " +
           QByteArray::number(v.protocol) + " frag " + QByteArray::number(v.fragment) + " tcp " +
           QByteArray::number(at(v.tcp)) + "/" + QByteArray::number(v.tcp_header_len) + " udp " +
           QByteArray::number(at(v.udp)) + " payload " + QByteArray::number(at(v.payload)) + "/" +
           QByteArray::number(v.payload_len);
}

// Both parsers on exactly these bytes (a copy of exactly their length, so a
// read past them is caught under the sanitizers).
void compareParsers(const Bytes &bytes, const char *what)
{
    std::vector<uint8_t> exact(bytes);
    const uint8_t *p = exact.empty() ? nullptr : exact.data();
    quorlix_packet_view general, fast;
    memset(&fast, 0x5A, sizeof fast);
    const int a = quorlix_packet_parse(p, exact.size(), &general);
    const int b = tunnel_packet_parse(p, exact.size(), &fast);
    QVERIFY2(describe(a, general, p) == describe(b, fast, p),
             qPrintable(QString("%1: %2 / %3")
                            .arg(what, QString(describe(a, general, p)), QString(describe(b, fast, p)))));
}

Bytes withByte(Bytes b, size_t at, uint8_t value)
{
    b[at] = value;
    return b;
}

} // namespace

class TestLoopPacket : public QObject
{
    Q_OBJECT

private slots:
    void parseReadsAsTheGeneralParser()
    {
        const Bytes udp = testpackets::udp("10.0.0.2", 40000, "1.2.3.4", 3074, Bytes(64, 0xAB));
        const Bytes tcp =
            testpackets::tcp("10.0.0.2", 40000, "1.2.3.4", 443, 0x02, {2, 4, 5, 0xB4}, Bytes(10, 'd'));
        Bytes trailing = udp;
        trailing.resize(udp.size() + 7, 0xEE); // bytes past the total length
        const std::vector<std::pair<const char *, Bytes>> cases = {
            {"UDP", udp},
            {"UDP, no payload", testpackets::ipv4("10.0.0.2", "1.2.3.4", 17, Bytes{0, 1, 0, 2, 0, 8, 0, 0})},
            {"UDP with IPv4 options", testpackets::udp("10.0.0.2", 1, "1.2.3.4", 2, Bytes(5, 1), 8)},
            {"TCP with options", tcp},
            {"TCP header only",
             testpackets::ipv4("10.0.0.2", "1.2.3.4", 6, withByte(Bytes(20, 0), 12, 0x50))},
            {"trailing bytes", trailing},
            {"total length past the bytes", Bytes(udp.begin(), udp.end() - 1)},
            {"total length 27", withByte(udp, 3, 27)},
            {"total length 28", withByte(udp, 3, 28)},
            {"more fragments", withByte(udp, 6, 0x20)},
            {"fragment offset", withByte(udp, 7, 0x01)},
            {"don't fragment", withByte(udp, 6, 0x40)},
            {"IHL 4", withByte(udp, 0, 0x44)},
            {"IPv6 version", withByte(udp, 0, 0x65)},
            {"ICMP", testpackets::ipv4("10.0.0.2", "1.2.3.4", 1, Bytes(8, 0))},
            {"TCP data offset 4", withByte(tcp, 32, 0x40)},
            {"TCP data offset past the packet", withByte(tcp, 32, 0xF0)},
            {"TCP total 39", withByte(tcp, 3, 39)},
            {"27 bytes", Bytes(udp.begin(), udp.begin() + 27)},
            {"nothing", {}},
        };
        for (const auto &[what, bytes] : cases)
            compareParsers(bytes, what);

        // Every header byte of both common packets through every value of
        // its high and low nibble, and every length up to the whole packet.
        for (const Bytes &base : {udp, tcp}) {
            for (size_t at = 0; at < 40 && at < base.size(); ++at) {
                for (int v = 0; v < 256; v += 17)
                    compareParsers(withByte(base, at, uint8_t(v)), "one byte changed");
            }
            for (size_t n = 0; n <= base.size(); ++n)
                compareParsers(Bytes(base.begin(), base.begin() + long(n)), "cut short");
        }
    }

    void udpChecksumsAsTheGeneralWriter()
    {
        uint32_t x = 2463534242u;
        const auto next = [&x] {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            return uint8_t(x);
        };
        std::vector<size_t> sizes;
        for (size_t n = 0; n <= 40; ++n)
            sizes.push_back(n);
        for (size_t n : {63, 64, 65, 1200, 1201, 65507})
            sizes.push_back(n);
        for (size_t n : sizes) {
            for (int fill : {0x00, 0xFF, -1}) {
                Bytes payload(n);
                for (uint8_t &b : payload)
                    b = fill < 0 ? next() : uint8_t(fill);
                Bytes want = testpackets::udp("255.255.255.254", 65535, "10.0.0.2", 40000, payload);
                Bytes got = want;
                got[10] = got[11] = got[26] = got[27] = 0;
                tunnel_udp_checksums(got.data(), got.size());
                QVERIFY2(got == want, qPrintable(QString("%1 bytes of %2").arg(n).arg(fill)));
            }
        }

        // A sum that comes out 0 is sent as 0xFFFF (0 means "no checksum"):
        // the last two payload bytes are set so that it does.
        Bytes p = testpackets::udp("1.2.3.4", 3074, "10.0.0.2", 40000, Bytes(10, 'z'));
        int found = 0;
        for (uint32_t w = 0; w <= 0xFFFF && !found; ++w) {
            p[36] = uint8_t(w >> 8);
            p[37] = uint8_t(w);
            p[26] = p[27] = 0;
            quorlix_packet_calc_checksums(p.data(), p.size());
            found = p[26] == 0xFF && p[27] == 0xFF;
        }
        QVERIFY(found);
        Bytes got = p;
        got[10] = got[11] = got[26] = got[27] = 0;
        tunnel_udp_checksums(got.data(), got.size());
        QCOMPARE(got, p);
    }
};

QTEST_GUILESS_MAIN(TestLoopPacket)
#include "tst_loop_packet.moc"
