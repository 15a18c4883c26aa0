// What the engine loop does with each captured packet: the outbound decision
// (tunnel to which relay, re-inject unchanged, clamp, drop) and the inbound
// handling of relay datagrams, through the real engine thread and the
// simulated capture.

#include "LoopHarness.h"

#include <QTest>

using namespace loopharness;

namespace {

QByteArray qb(const Bytes &b)
{
    return QByteArray(reinterpret_cast<const char *>(b.data()), int(b.size()));
}
Bytes bytes(const QByteArray &a)
{
    return Bytes(a.begin(), a.end());
}

// A query for the A record of `name`, always with the same id.
Bytes dnsQuery(const char *name)
{
    return testpackets::dnsQuery(0x1234, name);
}

const char *kPrimary = "198.51.100.1";
const char *kSecond = "198.51.100.2";
const uint32_t kGoldenConnId = 0x3B90F7E4;

void configure(Engine &e)
{
    e.udpPorts({3074, 443});
    e.tcpPorts({3074, 27015});
    e.domains({"*.game.test"});
}

// The usual configuration changed by the named set-up flags; false when a
// flag's preparation failed.
bool prepare(Engine &e, const QStringList &flags)
{
    configure(e);
    if (flags.contains("catchall")) {
        for (int i = 0; i < 60000; ++i)
            e.config().udp_ports[i] = uint32_t(i + 1);
        e.config().udp_port_count = 60000;
    }
    if (flags.contains("tcpcatchall")) {
        // At start-up 60000 listed TCP ports are only those ports, but the
        // count alone lets a port-matched TCP packet through routing.
        for (int i = 0; i < 60000; ++i)
            e.config().tcp_ports[i] = uint32_t(i + 1);
        e.config().tcp_port_count = 60000;
    }
    if (flags.contains("udp53"))
        e.udpPorts({3074, 443, 53});
    if (flags.contains("notcp"))
        e.config().enable_tcp = 0;
    if (flags.contains("verbose"))
        e.config().debug_mode = 1;
    if (flags.contains("appip") && !tunnel_app_ip_add(ip("1.2.3.4"), ip(kPrimary), 50000))
        return false;
    if (flags.contains("portmap")) {
        quorlix_add_port_server_mapping(3074, kSecond, 50000);
        quorlix_add_port_server_mapping(27015, kSecond, 50000);
    }
    if (flags.contains("domainmap"))
        quorlix_add_domain_server_mapping("*.game.test", kSecond, 50000);
    return true;
}

// Flags that act on the running engine. "moveprimary": the primary relay
// moves to 203.0.113.9 without a filter rebuild, so packets to it are still
// captured and only the loop guard keeps them from being tunneled.
void afterStart(const QStringList &flags)
{
    if (flags.contains("moveprimary"))
        tunnel_set_primary_relay(ip("203.0.113.9"), 50000);
}

} // namespace

class TestLoopPaths : public QObject
{
    Q_OBJECT

private slots:
    void outbound_data();
    void outbound();
    void verboseDecisionLines_data();
    void verboseDecisionLines();
    void addressClassBorders_data();
    void addressClassBorders();
    void inbound_data();
    void inbound();
    void tunneledDatagramCarriesTheWholePacket();
};

void TestLoopPaths::outbound_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QByteArray>("packet");
    QTest::addColumn<QString>("outcome"); // unchanged | tunneled | dropped | clamped
    QTest::addColumn<QString>("relay");
    QTest::addColumn<QString>("logLine");

    const Bytes game = udp("10.0.0.2", 50000, "1.2.3.4", 3074, text("hi"));
    QTest::newRow("game UDP to an external server")
        << "" << qb(game) << "tunneled" << kPrimary
        << "[GAME-UDP] \xE2\x9C\x93 Tunneling UDP port 3074 (srcP=50000, dstP=3074)\n";
    QTest::newRow("game UDP by its source port")
        << "" << qb(udp("10.0.0.2", 3074, "1.2.3.4", 6000, text("x"))) << "tunneled" << kPrimary << "";
    QTest::newRow("to the relay itself")
        << "" << qb(udp("10.0.0.2", 40000, kPrimary, 50000, text("x"))) << "unchanged"
        << ""
        << "";
    QTest::newRow("to the relay itself, on a game port, captured")
        << "moveprimary" << qb(udp("10.0.0.2", 3074, "203.0.113.9", 50000, text("x"))) << "unchanged"
        << ""
        << "";
    QTest::newRow("to the relay's address, another port")
        << "moveprimary" << qb(udp("10.0.0.2", 40000, "203.0.113.9", 3074, text("x"))) << "tunneled"
        << "203.0.113.9"
        << "";
    QTest::newRow("UDP to a port outside the set")
        << "" << qb(udp("10.0.0.2", 40000, "1.2.3.4", 9999, text("x"))) << "unchanged"
        << ""
        << "[OUTBOUND-CHECK] External UDP packet to 1.2.3.4:9999 (in app_ip list: NO)\n";
    QTest::newRow("multicast") << "" << qb(udp("10.0.0.2", 50000, "239.1.2.3", 3074, text("x")))
                               << "unchanged"
                               << ""
                               << "";
    QTest::newRow("broadcast") << "" << qb(udp("10.0.0.2", 50000, "255.255.255.255", 3074, text("x")))
                               << "unchanged"
                               << ""
                               << "";
    QTest::newRow("private address") << "" << qb(udp("10.0.0.2", 50000, "192.168.1.20", 3074, text("x")))
                                     << "unchanged"
                                     << ""
                                     << "";
    QTest::newRow("link-local address")
        << "" << qb(udp("10.0.0.2", 50000, "169.254.3.3", 3074, text("x"))) << "unchanged"
        << ""
        << "";
    QTest::newRow("same source and destination")
        << "" << qb(udp("1.2.3.4", 50000, "1.2.3.4", 3074, text("x"))) << "unchanged"
        << ""
        << "";
    QTest::newRow("DNS to a private resolver for a game name")
        << "" << qb(udp("10.0.0.2", 40053, "192.168.1.1", 53, dnsQuery("EU.Game.test"))) << "tunneled"
        << kPrimary << "[DNS-MATCH] \xE2\x9C\x93 eu.game.test matched pattern '*.game.test'\n";
    QTest::newRow("DNS to a private resolver for another name")
        << "" << qb(udp("10.0.0.2", 40053, "192.168.1.1", 53, dnsQuery("example.org"))) << "unchanged"
        << ""
        << "";
    QTest::newRow("DNS for a game name with a domain mapping")
        << "domainmap" << qb(udp("10.0.0.2", 40053, "8.8.8.8", 53, dnsQuery("eu.game.test"))) << "tunneled"
        << kSecond << "[DNS-DOMAIN] Routing DNS query for eu.game.test to domain-specific server\n";
    QTest::newRow("UDP from source port 53 to a game port")
        << "" << qb(udp("10.0.0.2", 53, "1.2.3.4", 3074, text("x"))) << "unchanged"
        << ""
        << "";
    QTest::newRow("DNS for another name with port 53 in the set")
        << "udp53" << qb(udp("10.0.0.2", 40053, "8.8.8.8", 53, dnsQuery("example.org"))) << "unchanged"
        << ""
        << "[OUTBOUND-CHECK] External UDP packet to 8.8.8.8:53 (in app_ip list: NO)\n";
    QTest::newRow("UDP 443 in the port set is not a game port")
        << "" << qb(udp("10.0.0.2", 40000, "1.2.3.4", 443, text("x"))) << "unchanged"
        << ""
        << "";
    QTest::newRow("UDP 80 with every port in the set")
        << "catchall" << qb(udp("10.0.0.2", 40000, "1.2.3.4", 80, text("x"))) << "unchanged"
        << ""
        << "";
    QTest::newRow("UDP 443 to a learned app address")
        << "appip" << qb(udp("10.0.0.2", 40000, "1.2.3.4", 443, text("x"))) << "tunneled" << kPrimary
        << "[APP-IP] Tunneling UDP traffic to 1.2.3.4:443 via 198.51.100.1:50000\n";
    QTest::newRow("TCP matched by its port only")
        << "" << qb(tcp("10.0.0.2", 40000, "1.2.3.4", 27015, 0x10)) << "unchanged"
        << ""
        << "[GAME-TCP] \xE2\x9C\x93 Tunneling TCP port 27015\n";
    QTest::newRow("TCP to a learned app address")
        << "appip" << qb(tcp("10.0.0.2", 40000, "1.2.3.4", 443, 0x18, {}, text("GET"))) << "tunneled"
        << kPrimary << "";
    QTest::newRow("TCP with every listed port counted as catch-all")
        << "tcpcatchall" << qb(tcp("10.0.0.2", 40000, "1.2.3.4", 27015, 0x10)) << "tunneled" << kPrimary
        << "";
    QTest::newRow("TCP by a port mapping while TCP tunneling is off")
        << "notcp portmap" << qb(tcp("10.0.0.2", 40000, "1.2.3.4", 27015, 0x10)) << "unchanged"
        << ""
        << "";
    QTest::newRow("TCP to a learned app address while TCP tunneling is off")
        << "notcp appip" << qb(tcp("10.0.0.2", 40000, "1.2.3.4", 443, 0x18, {}, text("GET"))) << "tunneled"
        << kPrimary << "[APP-IP] Tunneling TCP traffic to 1.2.3.4:443 via 198.51.100.1:50000\n";
    QTest::newRow("a port mapping picks its relay") << "portmap" << qb(game) << "tunneled" << kSecond << "";
    QTest::newRow("a TCP port mapping tunnels TCP")
        << "portmap" << qb(tcp("10.0.0.2", 40000, "1.2.3.4", 27015, 0x10)) << "tunneled" << kSecond << "";
    QTest::newRow("too big for the safe MTU")
        << "" << qb(udp("10.0.0.2", 50000, "1.2.3.4", 3074, Bytes(1400 - 16 - 28 + 1, 0x55))) << "dropped"
        << ""
        << "";
    QTest::newRow("exactly the safe MTU")
        << "" << qb(udp("10.0.0.2", 50000, "1.2.3.4", 3074, Bytes(1400 - 16 - 28, 0x55))) << "tunneled"
        << kPrimary << "";
    QTest::newRow("send failure re-injects the packet") << "failsend" << qb(game) << "unchanged"
                                                        << ""
                                                        << "[ERROR] Failed to send Quorlix packet\n";
    QTest::newRow("SYN with MSS 1460, not tunneled")
        << "" << qb(tcp("10.0.0.2", 40000, "1.2.3.4", 8080, 0x02, mssOption(1460))) << "clamped"
        << ""
        << "";
    QTest::newRow("SYN with MSS 1460 after other options")
        << "" << qb(tcp("10.0.0.2", 40000, "1.2.3.4", 8080, 0x02, Bytes{1, 1, 4, 2, 2, 4, 0x05, 0xB4}))
        << "clamped"
        << ""
        << "";
    QTest::newRow("SYN with MSS 1460, tunneled to an app address")
        << "appip" << qb(tcp("10.0.0.2", 40000, "1.2.3.4", 443, 0x02, mssOption(1460))) << "tunneled"
        << kPrimary << "";
    QTest::newRow("SYN with MSS 1000 is left alone")
        << "" << qb(tcp("10.0.0.2", 40000, "1.2.3.4", 8080, 0x02, mssOption(1000))) << "unchanged"
        << ""
        << "";
    QTest::newRow("SYN whose option length runs past the header")
        << "" << qb(tcp("10.0.0.2", 40000, "1.2.3.4", 8080, 0x02, Bytes{1, 1, 2, 9})) << "unchanged"
        << ""
        << "";
    QTest::newRow("ICMP") << "" << qb(ipv4("10.0.0.2", "1.2.3.4", 1, Bytes{8, 0, 0, 0, 0, 0, 0, 0}))
                          << "unchanged"
                          << ""
                          << "";
}

void TestLoopPaths::outbound()
{
    QFETCH(QString, setup);
    QFETCH(QByteArray, packet);
    QFETCH(QString, outcome);
    QFETCH(QString, relay);
    QFETCH(QString, logLine);

    Engine e;
    const QStringList flags = setup.split(' ', Qt::SkipEmptyParts);
    QVERIFY(prepare(e, flags));
    e.failSends(flags.contains("failsend"));
    QVERIFY(e.start());
    QVERIFY(e.settle());
    afterStart(flags);
    e.sent(); // the first pass's keepalive

    const Bytes p = bytes(packet);
    e.outbound(p);
    QVERIFY(e.settle());
    const std::vector<Bytes> wire = e.wire();
    const std::vector<SentDatagram> sent = e.sentData();

    if (outcome == "unchanged") {
        QCOMPARE(int(wire.size()), 1);
        QVERIFY(wire[0] == p);
        QCOMPARE(int(sent.size()), 0);
    } else if (outcome == "clamped") {
        QCOMPARE(int(wire.size()), 1);
        QCOMPARE(wire[0].size(), p.size());
        QCOMPARE(int(mssOf(wire[0])), 1000);
        QVERIFY(quorlix_packet_checksums_ok(wire[0].data(), wire[0].size()));
        QCOMPARE(int(sent.size()), 0);
    } else if (outcome == "dropped") {
        QCOMPARE(int(wire.size()), 0);
        QCOMPARE(int(sent.size()), 0);
    } else {
        QCOMPARE(int(wire.size()), 0);
        QCOMPARE(int(sent.size()), 1);
        QCOMPARE(sent[0].addr, ip(relay.toLatin1().constData()));
        QCOMPARE(int(sent[0].port), 50000);
        const Bytes &d = sent[0].data;
        QCOMPARE(int(d.size()), int(p.size()) + 16);
        const Bytes inner(d.begin() + 16, d.end());
        QVERIFY(quorlix_packet_checksums_ok(inner.data(), inner.size()));
        if (p[9] == 6 && (p[33] & 0x02) && mssOf(p) > 1000)
            QCOMPARE(int(mssOf(inner)), 1000);
        else
            QVERIFY(inner == p);
    }
    if (!logLine.isEmpty())
        QVERIFY2(e.logged(logLine.toStdString()), qPrintable(QString::fromStdString(e.stdoutText())));
}

void TestLoopPaths::verboseDecisionLines_data()
{
    // The lines a verbose run writes where it decides; the packets' fates are
    // checked by the outbound table above.
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QByteArray>("packet");
    QTest::addColumn<QString>("line");

    QTest::newRow("to the relay itself")
        << "moveprimary" << qb(udp("10.0.0.2", 40000, "203.0.113.9", 50000, text("x")))
        << "[DEBUG] Skipping packet to Entry Server to avoid loop\n";
    QTest::newRow("same source and destination")
        << "" << qb(udp("1.2.3.4", 50000, "1.2.3.4", 3074, text("x")))
        << "[DEBUG] SKIPPING LOOPBACK: Same source and destination IP (1.2.3.4)\n";
    QTest::newRow("multicast")
        << "" << qb(udp("10.0.0.2", 50000, "239.1.2.3", 3074, text("x")))
        << "[DROP-MULTICAST] Destination 239.1.2.3:3074 is multicast, skipping tunnel\n";
    QTest::newRow("broadcast") << "" << qb(udp("10.0.0.2", 50000, "255.255.255.255", 3074, text("x")))
                               << "[DROP-BROADCAST] Destination is broadcast, skipping tunnel\n";
    QTest::newRow("private address") << "" << qb(udp("10.0.0.2", 50000, "172.31.9.9", 3074, text("x")))
                                     << "[DEBUG] Skipping packet to private/local IP: 172.31.9.9:3074\n";
    QTest::newRow("DNS for another name")
        << "" << qb(udp("10.0.0.2", 40053, "192.168.1.1", 53, dnsQuery("example.org")))
        << "[DNS-LOCAL] Direct DNS for: example.org\n";
    QTest::newRow("TCP matched by its port only") << "" << qb(tcp("10.0.0.2", 40000, "1.2.3.4", 27015, 0x10))
                                                  << "[ROUTING-TCP] No strict mapping for TCP port 27015 and "
                                                     "not an app IP \xE2\x86\x92 pass-through (skip "
                                                     "tunnel)\n";
    QTest::newRow("UDP in catch-all mode")
        << "catchall" << qb(udp("10.0.0.2", 40000, "1.2.3.4", 9999, text("x")))
        << "[ROUTING-UDP-CATCHALL] Port 9999 \xE2\x86\x92 default server (UDP "
           "catch-all mode)\n";
    QTest::newRow("a port mapping picks its relay")
        << "portmap" << qb(udp("10.0.0.2", 50000, "1.2.3.4", 3074, text("hi")))
        << "[ROUTING] Port 3074: 198.51.100.1:50000 \xE2\x86\x92 198.51.100.2:50000\n";
    QTest::newRow("too big for the safe MTU")
        << "" << qb(udp("10.0.0.2", 50000, "1.2.3.4", 3074, Bytes(1400 - 16 - 28 + 1, 0x55)))
        << "[DROP] innerLen + 16 exceeds mtu_safe=1400. Dropping to let TCP/MSS handle.\n";
}

void TestLoopPaths::addressClassBorders_data()
{
    // Just inside and just outside each range the outbound path treats as
    // local, multicast or broadcast. Only an external address gets the
    // "[OUTBOUND-CHECK]" line; the rest leave silently.
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("external");
    const std::pair<const char *, bool> rows[] = {
        {"9.255.255.255", true},    {"10.0.0.0", false},       {"10.255.255.255", false},
        {"11.0.0.0", true},         {"126.255.255.255", true}, {"127.0.0.1", false},
        {"128.0.0.0", true},        {"169.253.255.255", true}, {"169.254.0.0", false},
        {"169.254.255.255", false}, {"169.255.0.0", true},     {"172.15.255.255", true},
        {"172.16.0.0", false},      {"172.31.255.255", false}, {"172.32.0.0", true},
        {"192.167.255.255", true},  {"192.168.0.0", false},    {"192.168.255.255", false},
        {"192.169.0.0", true},      {"223.255.255.255", true}, {"224.0.0.0", false},
        {"239.255.255.255", false}, {"240.0.0.0", true},       {"255.255.255.254", true},
        {"255.255.255.255", false},
    };
    for (const auto &row : rows)
        QTest::newRow(row.first) << QString(row.first) << row.second;
}

void TestLoopPaths::addressClassBorders()
{
    QFETCH(QString, address);
    QFETCH(bool, external);
    Engine e;
    QVERIFY(prepare(e, {}));
    QVERIFY(e.start());
    QVERIFY(e.settle());
    e.clearLogs();
    const Bytes packet = udp("10.0.0.2", 50000, address.toLatin1().constData(), 9999, text("x"));
    e.outbound(packet);
    QVERIFY(e.settle());
    const std::string line =
        "[OUTBOUND-CHECK] External UDP packet to " + address.toStdString() + ":9999 (in app_ip list: NO)\n";
    QCOMPARE(e.logged(line), external);
    QVERIFY2(e.logged("[OUTBOUND-CHECK]") == external, e.stdoutText().c_str());
}

void TestLoopPaths::verboseDecisionLines()
{
    QFETCH(QString, setup);
    QFETCH(QByteArray, packet);
    QFETCH(QString, line);

    Engine e;
    const QStringList flags = setup.split(' ', Qt::SkipEmptyParts) << "verbose";
    QVERIFY(prepare(e, flags));
    QVERIFY(e.start());
    QVERIFY(e.settle());
    afterStart(flags);
    e.clearLogs();
    e.outbound(bytes(packet));
    QVERIFY(e.settle());
    QVERIFY2(e.logged(line.toStdString()), e.stdoutText().c_str());
}

void TestLoopPaths::inbound_data()
{
    QTest::addColumn<QByteArray>("packet");
    QTest::addColumn<QString>("outcome"); // golden | same | nothing | inner
    QTest::addColumn<QByteArray>("expected");

    const Bytes golden = {0x45, 0x00, 0x00, 0x1e, 0x00, 0x00, 0x00, 0x00, 0x40, 0x11,
                          0x6c, 0xc8, 0x01, 0x02, 0x03, 0x04, 0x0a, 0x00, 0x00, 0x02,
                          0x0c, 0x02, 0xc3, 0x50, 0x00, 0x0a, 0xba, 0x16, 0x68, 0x69};
    const Bytes reply = datagram(17, kGoldenConnId, text("hi"), 3074, "1.2.3.4");
    QTest::newRow("UDP reply is rebuilt as from the game server")
        << qb(udp(kPrimary, 50000, "10.0.0.2", 40001, reply)) << "golden" << qb(golden);
    QTest::newRow("outer IPv4 header with options")
        << qb(udp(kPrimary, 50000, "10.0.0.2", 40001, reply, 8)) << "golden" << qb(golden);
    QTest::newRow("UDP reply with the acknowledgement extension")
        << qb(udp(kPrimary, 50000, "10.0.0.2", 40001,
                  datagram(17, kGoldenConnId, text("hi"), 3074, "1.2.3.4", true, 1, 0, 0)))
        << "golden" << qb(golden);
    Bytes firstFragment = udp(kPrimary, 50000, "10.0.0.2", 40001, reply);
    firstFragment[6] = 0x20; // more fragments follow
    quorlix_packet_calc_checksums(firstFragment.data(), firstFragment.size());
    QTest::newRow("first fragment of a reply") << qb(firstFragment) << "same" << QByteArray();
    QTest::newRow("unknown ConnID") << qb(udp(kPrimary, 50000, "10.0.0.2", 40001,
                                              datagram(17, 0xDEADBEEF, text("hi"))))
                                    << "same" << QByteArray();
    QTest::newRow("acknowledgement-only datagram")
        << qb(udp(kPrimary, 50000, "10.0.0.2", 40001,
                  datagram(0, kGoldenConnId, {}, 0, "0.0.0.0", true, 1, 0, 0)))
        << "nothing" << QByteArray();
    QTest::newRow("UDP reply without payload")
        << qb(udp(kPrimary, 50000, "10.0.0.2", 40001, datagram(17, kGoldenConnId, {}))) << "nothing"
        << QByteArray();
    Bytes v2 = reply;
    v2[0] = 0x28;
    QTest::newRow("version 2 is not a tunnel datagram")
        << qb(udp(kPrimary, 50000, "10.0.0.2", 40001, v2)) << "same" << QByteArray();
    QTest::newRow("datagram shorter than a header")
        << qb(udp(kPrimary, 50000, "10.0.0.2", 40001, Bytes(reply.begin(), reply.begin() + 15))) << "same"
        << QByteArray();
    QTest::newRow("from another address")
        << qb(udp("198.51.100.9", 50000, "10.0.0.2", 40001, reply)) << "same" << QByteArray();
    QTest::newRow("from the relay's address but another port")
        << qb(udp(kPrimary, 50001, "10.0.0.2", 40001, reply)) << "same" << QByteArray();
    QTest::newRow("TCP from the relay")
        << qb(tcp(kPrimary, 50000, "10.0.0.2", 40001, 0x10)) << "same" << QByteArray();

    const Bytes innerTcp = tcp("1.2.3.4", 3074, "10.0.0.2", 50000, 0x18, {}, text("data"));
    QTest::newRow("TCP reply is injected as it came")
        << qb(udp(kPrimary, 50000, "10.0.0.2", 40001, datagram(6, kGoldenConnId, innerTcp, 3074, "1.2.3.4")))
        << "inner" << qb(innerTcp);
    // The server's SYN/ACK comes back as the server sent it; the stack here
    // must not learn an MSS whose segments the tunnel cannot carry.
    const auto synAck = [](uint16_t mss) {
        return tcp("1.2.3.4", 3074, "10.0.0.2", 50000, 0x12,
                   Bytes{1, 1, 4, 2, 2, 4, uint8_t(mss >> 8), uint8_t(mss & 0xFF)});
    };
    QTest::newRow("TCP SYN/ACK announcing 1460 is injected announcing 1000")
        << qb(udp(kPrimary, 50000, "10.0.0.2", 40001,
                  datagram(6, kGoldenConnId, synAck(1460), 3074, "1.2.3.4")))
        << "inner" << qb(synAck(1000));
    QTest::newRow("TCP SYN/ACK announcing 1000 is injected as it came")
        << qb(udp(kPrimary, 50000, "10.0.0.2", 40001,
                  datagram(6, kGoldenConnId, synAck(1000), 3074, "1.2.3.4")))
        << "inner" << qb(synAck(1000));
    const Bytes ackWithMss = tcp("1.2.3.4", 3074, "10.0.0.2", 50000, 0x10, mssOption(1460));
    QTest::newRow("TCP without SYN keeps what looks like an MSS option")
        << qb(udp(kPrimary, 50000, "10.0.0.2", 40001,
                  datagram(6, kGoldenConnId, ackWithMss, 3074, "1.2.3.4")))
        << "inner" << qb(ackWithMss);
    Bytes badVersion = innerTcp;
    badVersion[0] = 0x65;
    QTest::newRow("TCP reply that is not IPv4")
        << qb(udp(kPrimary, 50000, "10.0.0.2", 40001, datagram(6, kGoldenConnId, badVersion))) << "same"
        << QByteArray();
    Bytes badIhl = innerTcp;
    badIhl[0] = 0x4F; // 60-byte header claimed in a 44-byte packet
    QTest::newRow("TCP reply whose header length runs past it")
        << qb(udp(kPrimary, 50000, "10.0.0.2", 40001, datagram(6, kGoldenConnId, badIhl))) << "same"
        << QByteArray();
    Bytes badTotal = innerTcp;
    badTotal[2] = 0x01; // total length far beyond the bytes received
    QTest::newRow("TCP reply whose total length exceeds it")
        << qb(udp(kPrimary, 50000, "10.0.0.2", 40001, datagram(6, kGoldenConnId, badTotal))) << "same"
        << QByteArray();
    QTest::newRow("TCP reply shorter than 40 bytes")
        << qb(udp(kPrimary, 50000, "10.0.0.2", 40001,
                  datagram(6, kGoldenConnId, Bytes(innerTcp.begin(), innerTcp.begin() + 39))))
        << "same" << QByteArray();
}

void TestLoopPaths::inbound()
{
    QFETCH(QByteArray, packet);
    QFETCH(QString, outcome);
    QFETCH(QByteArray, expected);

    Engine e;
    configure(e);
    QVERIFY(e.start());
    // The game's flow 10.0.0.2:50000 -> 1.2.3.4:3074 goes out first.
    e.outbound(udp("10.0.0.2", 50000, "1.2.3.4", 3074, text("hi")));
    QVERIFY(e.settle());
    QCOMPARE(int(e.sentData().size()), 1);
    QCOMPARE(int(e.stack().size()), 0);

    const Bytes p = bytes(packet);
    e.inbound(p);
    QVERIFY(e.settle());
    const std::vector<Bytes> stack = e.stack();
    if (outcome == "nothing") {
        QCOMPARE(int(stack.size()), 0);
    } else {
        QCOMPARE(int(stack.size()), 1);
        if (outcome == "same")
            QVERIFY(stack[0] == p);
        else
            QCOMPARE(qb(stack[0]).toHex(' '), expected.toHex(' '));
    }
    if (outcome == "inner")
        QVERIFY(e.logged("[DEBUG-INNER] innerPacket IP: 1.2.3.4:3074 -> 10.0.0.2:50000\n"));
    QCOMPARE(int(e.wire().size()), 0);
}

void TestLoopPaths::tunneledDatagramCarriesTheWholePacket()
{
    // The golden flow: ConnID, port and address fields as the relay reads them.
    Engine e;
    configure(e);
    QVERIFY(e.start());
    e.outbound(udp("10.0.0.2", 50000, "1.2.3.4", 3074, text("hi")));
    QVERIFY(e.settle());
    const auto sent = e.sentData();
    QCOMPARE(int(sent.size()), 1);
    const Bytes header(sent[0].data.begin(), sent[0].data.begin() + 16);
    const Bytes want = {0x18, 0x11, 0x0c, 0x02, 0x3b, 0x90, 0xf7, 0xe4,
                        0x00, 0x10, 0x00, 0x00, 0x01, 0x02, 0x03, 0x04};
    QCOMPARE(qb(header).toHex(' '), qb(want).toHex(' '));
    // Counted: the captured packet and the datagram in bytes_sent.
    QCOMPARE(quorlix_get_tunnel_packets_sent(), uint64_t(2)); // keepalive + datagram
    QCOMPARE(quorlix_get_tunnel_packets_received(), uint64_t(0));
    QCOMPARE(e.stop(), 0);
}

QTEST_GUILESS_MAIN(TestLoopPaths)
#include "tst_loop_paths.moc"
