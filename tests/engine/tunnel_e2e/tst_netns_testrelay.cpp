// The test relay itself: it must refuse every malformed datagram (a lenient
// relay would let engine faults through the end-to-end tests) and answer
// valid ones in the forms the engine has to handle.

#include "E2eSupport.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QTest>

using namespace e2e;

namespace {

// A datagram as a correct client builds it (16-byte header, or 40 with seq).
Bytes wrap(const Bytes &inner, uint32_t seq = 0)
{
    return testrelay::clientDatagram(inner, seq);
}

class Client
{
public:
    Client()
    {
        m_fd = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = inet_addr("127.0.0.1");
        bind(m_fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
    }
    ~Client() { close(m_fd); }
    void send(const Bytes &d)
    {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = inet_addr("127.0.0.1");
        to.sin_port = htons(50000);
        sendto(m_fd, d.data(), d.size(), 0, reinterpret_cast<sockaddr *>(&to), sizeof to);
    }
    bool receive(Bytes *out, int timeoutMs = 2000)
    {
        pollfd p{m_fd, POLLIN, 0};
        if (poll(&p, 1, timeoutMs) != 1)
            return false;
        out->resize(65536);
        sockaddr_in from{};
        socklen_t fl = sizeof from;
        const ssize_t n =
            recvfrom(m_fd, out->data(), out->size(), 0, reinterpret_cast<sockaddr *>(&from), &fl);
        if (n < 0 || ntohs(from.sin_port) != 50000)
            return false;
        out->resize(size_t(n));
        return true;
    }

private:
    int m_fd = -1;
};

QByteArray qb(const Bytes &b)
{
    return QByteArray(reinterpret_cast<const char *>(b.data()), int(b.size()));
}

} // namespace

class TestTestRelay : public QObject
{
    Q_OBJECT

private slots:
    void refusesMalformedDatagrams_data();
    void refusesMalformedDatagrams();
    void answersUdpDnsAndTcp();
    void acknowledgesWithItsOwnSequence();
};

void TestTestRelay::refusesMalformedDatagrams_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<QString>("reason");

    const Bytes inner = udp("10.0.0.2", 50000, "1.2.3.4", 3074, Bytes{'h', 'i'});
    const Bytes good = wrap(inner);
    auto with = [&](size_t at, uint8_t v) {
        Bytes d = good;
        d[at] = v;
        return qb(d);
    };
    QTest::newRow("15 bytes") << qb(Bytes(good.begin(), good.begin() + 15))
                              << "datagram shorter than 16 bytes";
    QTest::newRow("version 2") << with(0, 0x28) << "version is not 1";
    QTest::newRow("no data flag") << with(0, 0x10) << "flags are neither data nor keepalive";
    QTest::newRow("protocol 1") << with(1, 1) << "protocol byte is not 17 or 6";
    QTest::newRow("header length 28") << with(9, 28) << "header length is not 16 or 40";
    QTest::newRow("reserved set") << with(11, 1) << "reserved field not zero";
    QTest::newRow("wrong ConnID") << with(7, uint8_t(good[7] ^ 1)) << "ConnID does not match the inner flow";
    QTest::newRow("wrong port field")
        << with(3, uint8_t(good[3] ^ 1)) << "destination port field differs from the inner packet";
    QTest::newRow("wrong address field")
        << with(15, 9) << "destination address field differs from the inner packet";
    QTest::newRow("inner IPv4 checksum")
        << with(16 + 10, uint8_t(good[26] ^ 0xFF)) << "inner IPv4 header checksum wrong";
    QTest::newRow("inner UDP checksum")
        << with(16 + 26, uint8_t(good[42] ^ 0xFF)) << "inner UDP checksum wrong";
    QTest::newRow("trailing byte") << qb([&] {
        Bytes d = good;
        d.push_back(0);
        return d;
    }()) << "inner total length differs from the carried bytes";
    QTest::newRow("malformed keepalive")
        << qb(Bytes{0x14, 0x11, 0, 0, 0, 0, 0, 0, 0, 0x10, 0, 0, 0, 0, 0, 1}) << "malformed keepalive";
    Bytes noSeq = wrap(inner, 1);
    noSeq[19] = 0;
    QTest::newRow("acknowledging header without a sequence")
        << qb(noSeq) << "acknowledging header without a sequence number";
}

void TestTestRelay::refusesMalformedDatagrams()
{
    QFETCH(QByteArray, datagram);
    QFETCH(QString, reason);
    testrelay::TestRelay relay;
    QVERIFY2(relay.start(), relay.errorString().c_str());
    Client c;
    c.send(Bytes(datagram.begin(), datagram.end()));
    QVERIFY(relay.waitFor([](const testrelay::RelayStats &s) { return s.datagrams == 1; }, 2000));
    const testrelay::RelayStats s = relay.stats();
    QCOMPARE(s.rejected, uint64_t(1));
    QCOMPARE(QString::fromStdString(s.lastRejection), reason);
    Bytes reply;
    QVERIFY(!c.receive(&reply, 50));
}

void TestTestRelay::answersUdpDnsAndTcp()
{
    testrelay::TestRelay relay;
    testrelay::DnsAnswer answer;
    answer.addresses = {"203.0.113.5"};
    relay.setDnsAnswer("eu.game.test", answer);
    QVERIFY2(relay.start(), relay.errorString().c_str());
    Client c;

    // Keepalive: counted, not answered.
    c.send(Bytes{0x14, 0x11, 0, 0, 0, 0, 0, 0, 0, 0x10, 0, 0, 0, 0, 0, 0});
    QVERIFY(relay.waitFor([](const testrelay::RelayStats &s) { return s.keepalives == 1; }, 2000));

    // UDP: the payload comes back bare with the flow's ConnID.
    const Bytes game = udp("10.0.0.2", 50000, "1.2.3.4", 3074, Bytes{'h', 'i'});
    c.send(wrap(game));
    Bytes r;
    QVERIFY(c.receive(&r));
    QCOMPARE(qb(r).toHex(' '), QByteArray("18 11 0c 02 3b 90 f7 e4 00 10 00 00 01 02 03 04 68 69"));

    // DNS: a response to the question, with the A record.
    c.send(wrap(udp("10.0.0.2", 40053, "8.8.8.8", 53, dnsQuery(7, "eu.game.test"))));
    QVERIFY(c.receive(&r));
    QCOMPARE(int(r[1]), 17);
    const Bytes dns(r.begin() + 16, r.end());
    QCOMPARE(int(dns[0] << 8 | dns[1]), 7);
    QVERIFY(dns[2] & 0x80);
    QCOMPARE(int(dns[7]), 1);
    QCOMPARE(qb(Bytes(dns.end() - 4, dns.end())).toHex('.'), QByteArray("cb.00.71.05"));
    c.send(wrap(udp("10.0.0.2", 40053, "8.8.8.8", 53, dnsQuery(8, "unknown.test"))));
    QVERIFY(c.receive(&r));
    QCOMPARE(int(r[16 + 3] & 0x0F), 3); // NXDOMAIN

    // TCP: a whole IPv4 packet with valid checksums.
    c.send(wrap(tcpSyn("10.0.0.2", 41000, "203.0.113.5", 443, 1000)));
    QVERIFY(c.receive(&r));
    QCOMPARE(int(r[1]), 6);
    const Bytes ip(r.begin() + 16, r.end());
    QVERIFY(quorlix_packet_checksums_ok(ip.data(), ip.size()));
    QCOMPARE(int(ip[20 + 13]), 0x12);
    QCOMPARE(relay.stats().rejected, uint64_t(0));
}

void TestTestRelay::acknowledgesWithItsOwnSequence()
{
    testrelay::TestRelay::Options o;
    o.ackMode = true;
    o.silentPorts = {4000};
    testrelay::TestRelay relay(o);
    relay.setAckPolicy(testrelay::TestRelay::script({2}, {}));
    QVERIFY2(relay.start(), relay.errorString().c_str());
    Client c;
    const Bytes game = udp("10.0.0.2", 50000, "1.2.3.4", 3074, Bytes{'x'});
    Bytes r;
    c.send(wrap(game, 1));
    QVERIFY(c.receive(&r));
    QCOMPARE(int(r[9]), 40);
    QCOMPARE(int(r[19]), 1); // the relay's own sequence 1
    QCOMPARE(int(r[23]), 1); // acknowledges 1
    c.send(wrap(game, 2));   // dropped: no answer
    QVERIFY(!c.receive(&r, 50));
    c.send(wrap(game, 3));
    QVERIFY(c.receive(&r));
    QCOMPARE(int(r[19]), 2);
    QCOMPARE(int(r[23]), 3);
    QCOMPARE(int(r[27]), 0x02); // bit 1: sequence 1 arrived, bit 0 (sequence 2) not
    // A silent port gets an acknowledgement-only datagram.
    c.send(wrap(udp("10.0.0.2", 50000, "1.2.3.4", 4000, Bytes{'y'}), 4));
    QVERIFY(c.receive(&r));
    QCOMPARE(int(r.size()), 40);
    QCOMPARE(int(r[1]), 0);
    QCOMPARE(int(r[23]), 4);
    QCOMPARE(relay.droppedSequences(), std::set<uint32_t>({2}));
    QCOMPARE(relay.receivedSequences(), std::set<uint32_t>({1, 3, 4}));
}

QTEST_GUILESS_MAIN(TestTestRelay)
#include "tst_netns_testrelay.moc"
