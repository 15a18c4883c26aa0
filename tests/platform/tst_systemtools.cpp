// The tool descriptions and the Linux-to-Windows output rewrite: argument
// vectors per OS, the address guard, and the normalised forms the connection
// parsers read.

#include "platform/SystemTools.h"

#include <QRegularExpression>
#include <QtTest>

using namespace SystemTools;

Q_DECLARE_METATYPE(SystemTools::HostOs)

class TestSystemTools : public QObject
{
    Q_OBJECT

private slots:
    void ipv4Literal_data();
    void ipv4Literal();
    void pingArguments_data();
    void pingArguments();
    void linuxPingNeverGetsWindowsOptions();
    void refusedAddresses_data();
    void refusedAddresses();
    void dnsLookupArguments();
    void dnsFlushAndArp();
    void normalizePing_data();
    void normalizePing();
    void normalizedPingFeedsTimeParsers();
    void normalizeNslookup_data();
    void normalizeNslookup();
    void arpTable();
};

void TestSystemTools::ipv4Literal_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::newRow("plain") << "192.0.2.10" << true;
    QTest::newRow("zeros") << "0.0.0.0" << true;
    QTest::newRow("broadcast") << "255.255.255.255" << true;
    QTest::newRow("option") << "-f" << false;
    QTest::newRow("double dash") << "--" << false;
    QTest::newRow("shell text") << "1.2.3.4; x" << false;
    QTest::newRow("trailing option") << "1.2.3.4 -f" << false;
    QTest::newRow("leading blank") << " 1.2.3.4" << false;
    QTest::newRow("newline") << "1.2.3.4\n" << false;
    QTest::newRow("newline inside") << "1.2.3.4\n-f" << false;
    QTest::newRow("shorthand") << "127.1" << false;
    QTest::newRow("three parts") << "1.2.3" << false;
    QTest::newRow("octal-looking") << "010.1.1.1" << false;
    QTest::newRow("part too big") << "256.1.1.1" << false;
    QTest::newRow("ipv6") << "::1" << false;
    QTest::newRow("name") << "relay.example" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("arabic digits") << QString::fromUtf8("١.٢.٣.٤") << false;
}

void TestSystemTools::ipv4Literal()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QCOMPARE(isIpv4Literal(text), ok);
}

void TestSystemTools::pingArguments_data()
{
    QTest::addColumn<int>("which"); // 0 MTU step, 1 live, 2 sweep
    QTest::addColumn<HostOs>("os");
    QTest::addColumn<QStringList>("expected");
    const QString a = QStringLiteral("192.0.2.10");
    QTest::newRow("mtu linux") << 0 << HostOs::Linux
                               << QStringList{"-n", "-c", "1", "-W", "1", "-M", "do", "-s", "1336", "--", a};
    QTest::newRow("mtu windows") << 0 << HostOs::Windows
                                 << QStringList{"-n", "1", "-w", "1000", "-f", "-l", "1336", a};
    QTest::newRow("live linux") << 1 << HostOs::Linux << QStringList{"-n", "-c", "3", "-W", "0.9", "--", a};
    QTest::newRow("live windows") << 1 << HostOs::Windows << QStringList{"-n", "3", "-w", "900", a};
    QTest::newRow("sweep linux") << 2 << HostOs::Linux << QStringList{"-n", "-c", "3", "-W", "1.5", "--", a};
    QTest::newRow("sweep windows") << 2 << HostOs::Windows << QStringList{"-n", "3", "-w", "1500", a};
}

void TestSystemTools::pingArguments()
{
    QFETCH(int, which);
    QFETCH(HostOs, os);
    QFETCH(QStringList, expected);
    const QString a = QStringLiteral("192.0.2.10");
    const ToolCommand c = which == 0   ? mtuProbeCommand(a, 1336, os)
                          : which == 1 ? livePingCommand(a, os)
                                       : sweepPingCommand(a, os);
    QVERIFY(c.isValid());
    QCOMPARE(c.program, QStringLiteral("ping"));
    QCOMPARE(c.kind, ToolKind::Ping);
    QCOMPARE(c.arguments, expected);
}

void TestSystemTools::linuxPingNeverGetsWindowsOptions()
{
    // "-f" floods, "-l" preloads and "-w" is a deadline in seconds on Linux.
    const QString a = QStringLiteral("198.51.100.4");
    const QList<ToolCommand> commands = {
        mtuProbeCommand(a, 1200, HostOs::Linux), mtuProbeCommand(a, 1472, HostOs::Linux),
        livePingCommand(a, HostOs::Linux), sweepPingCommand(a, HostOs::Linux)};
    for (const ToolCommand &c : commands) {
        for (const char *bad : {"-f", "-l", "-w"})
            QVERIFY2(!c.arguments.contains(QLatin1String(bad)), qPrintable(c.arguments.join(' ')));
        QCOMPARE(c.arguments.size() >= 2, true);
        QCOMPARE(c.arguments.at(c.arguments.size() - 2), QStringLiteral("--"));
        QCOMPARE(c.arguments.last(), a);
    }
}

void TestSystemTools::refusedAddresses_data()
{
    QTest::addColumn<QString>("address");
    QTest::newRow("flood option") << "-f";
    QTest::newRow("shell text") << "1.2.3.4; x";
    QTest::newRow("empty") << "";
    QTest::newRow("name") << "relay.example";
}

void TestSystemTools::refusedAddresses()
{
    QFETCH(QString, address);
    for (HostOs os : {HostOs::Linux, HostOs::Windows}) {
        for (const ToolCommand &c : {mtuProbeCommand(address, 1300, os), livePingCommand(address, os),
                                     sweepPingCommand(address, os)}) {
            QVERIFY(!c.isValid());
            QVERIFY(c.arguments.isEmpty());
        }
        QVERIFY(!dnsLookupCommand(QStringLiteral("discord.com"), address, 53, os).isValid() ||
                address.isEmpty());
    }
}

void TestSystemTools::dnsLookupArguments()
{
    QCOMPARE(dnsLookupCommand("discord.com", QString(), 0, HostOs::Linux).arguments,
             QStringList{"discord.com"});
    QCOMPARE(dnsLookupCommand("discord.com", "127.0.0.1", 5353, HostOs::Linux).arguments,
             (QStringList{"-port=5353", "discord.com", "127.0.0.1"}));
    QCOMPARE(dnsLookupCommand("discord.com", "127.0.0.1", 0, HostOs::Linux).arguments,
             (QStringList{"discord.com", "127.0.0.1"}));
    QCOMPARE(dnsLookupCommand("discord.com", QString(), 0, HostOs::Linux).program,
             QStringLiteral("nslookup"));
    // nslookup takes no "--": names that could be read as options are refused.
    for (const char *bad : {"-port=1", "-", "a b", "x;y", "-x.com", "", "a..b"})
        QVERIFY2(!dnsLookupCommand(QString::fromLatin1(bad), QString(), 0, HostOs::Linux).isValid(), bad);
    QVERIFY(!dnsLookupCommand("discord.com", "127.0.0.1", 70000, HostOs::Linux).isValid());
}

void TestSystemTools::dnsFlushAndArp()
{
    const ToolCommand flushLinux = dnsFlushCommand(HostOs::Linux);
    QCOMPARE(flushLinux.program, QStringLiteral("resolvectl"));
    QCOMPARE(flushLinux.arguments, QStringList{"flush-caches"});
    QVERIFY(flushLinux.optional);
    const ToolCommand flushWindows = dnsFlushCommand(HostOs::Windows);
    QCOMPARE(flushWindows.program, QStringLiteral("ipconfig"));
    QCOMPARE(flushWindows.arguments, QStringList{"/flushdns"});
    QVERIFY(!flushWindows.optional);

    const ToolCommand arpLinux = arpCommand(HostOs::Linux);
    QVERIFY(arpLinux.builtin);
    QCOMPARE(arpLinux.tablePath, QStringLiteral("/proc/net/arp"));
    const ToolCommand arpWindows = arpCommand(HostOs::Windows);
    QVERIFY(!arpWindows.builtin);
    QCOMPARE(arpWindows.arguments, QStringList{"-a"});
}

void TestSystemTools::normalizePing_data()
{
    QTest::addColumn<QString>("linux");
    QTest::addColumn<QString>("windows");

    QTest::newRow("one sub-millisecond reply")
        << "PING 127.0.0.1 (127.0.0.1) 1372(1400) bytes of data.\n"
           "1380 bytes from 127.0.0.1: icmp_seq=1 ttl=64 time=0.032 ms\n\n"
           "--- 127.0.0.1 ping statistics ---\n"
           "1 packets transmitted, 1 received, 0% packet loss, time 0ms\n"
           "rtt min/avg/max/mdev = 0.032/0.032/0.032/0.000 ms\n"
        << "Pinging 127.0.0.1 with 1372 bytes of data:\n"
           "Reply from 127.0.0.1: bytes=1372 time<1ms TTL=64\n\n"
           "Ping statistics for 127.0.0.1:\n"
           "    Packets: Sent = 1, Received = 1, Lost = 0 (0% loss),\n"
           "Approximate round trip times in milli-seconds:\n"
           "    Minimum = 0ms, Maximum = 0ms, Average = 0ms\n";

    QTest::newRow("three timed replies") << "PING 192.0.2.1 (192.0.2.1) 56(84) bytes of data.\n"
                                            "64 bytes from 192.0.2.1: icmp_seq=1 ttl=57 time=24.3 ms\n"
                                            "64 bytes from 192.0.2.1: icmp_seq=2 ttl=57 time=31.9 ms\n"
                                            "64 bytes from 192.0.2.1: icmp_seq=3 ttl=57 time=28.0 ms\n\n"
                                            "--- 192.0.2.1 ping statistics ---\n"
                                            "3 packets transmitted, 3 received, 0% packet loss, time 2003ms\n"
                                            "rtt min/avg/max/mdev = 24.300/28.066/31.900/3.104 ms\n"
                                         << "Pinging 192.0.2.1 with 56 bytes of data:\n"
                                            "Reply from 192.0.2.1: bytes=56 time=24ms TTL=57\n"
                                            "Reply from 192.0.2.1: bytes=56 time=31ms TTL=57\n"
                                            "Reply from 192.0.2.1: bytes=56 time=28ms TTL=57\n\n"
                                            "Ping statistics for 192.0.2.1:\n"
                                            "    Packets: Sent = 3, Received = 3, Lost = 0 (0% loss),\n"
                                            "Approximate round trip times in milli-seconds:\n"
                                            "    Minimum = 24ms, Maximum = 31ms, Average = 28ms\n";

    QTest::newRow("one of three lost")
        << "PING 192.0.2.1 (192.0.2.1) 56(84) bytes of data.\n"
           "64 bytes from 192.0.2.1: icmp_seq=1 ttl=57 time=20.1 ms\n"
           "64 bytes from 192.0.2.1: icmp_seq=3 ttl=57 time=22.7 ms\n\n"
           "--- 192.0.2.1 ping statistics ---\n"
           "3 packets transmitted, 2 received, 33.3333% packet loss, time 2004ms\n"
           "rtt min/avg/max/mdev = 20.100/21.400/22.700/1.300 ms\n"
        << "Pinging 192.0.2.1 with 56 bytes of data:\n"
           "Reply from 192.0.2.1: bytes=56 time=20ms TTL=57\n"
           "Reply from 192.0.2.1: bytes=56 time=22ms TTL=57\n"
           "Request timed out.\n\n"
           "Ping statistics for 192.0.2.1:\n"
           "    Packets: Sent = 3, Received = 2, Lost = 1 (33% loss),\n"
           "Approximate round trip times in milli-seconds:\n"
           "    Minimum = 20ms, Maximum = 22ms, Average = 21ms\n";

    QTest::newRow("no reply") << "PING 192.0.2.1 (192.0.2.1) 56(84) bytes of data.\n\n"
                                 "--- 192.0.2.1 ping statistics ---\n"
                                 "3 packets transmitted, 0 received, 100% packet loss, time 2041ms\n\n"
                              << "Pinging 192.0.2.1 with 56 bytes of data:\n"
                                 "Request timed out.\nRequest timed out.\nRequest timed out.\n\n"
                                 "Ping statistics for 192.0.2.1:\n"
                                 "    Packets: Sent = 3, Received = 0, Lost = 3 (100% loss),\n";

    // The local refusal arrives on standard error, after standard output.
    QTest::newRow("message too long")
        << "PING 127.0.0.1 (127.0.0.1) 1400(1428) bytes of data.\n\n"
           "--- 127.0.0.1 ping statistics ---\n"
           "1 packets transmitted, 0 received, +1 errors, 100% packet loss, time 0ms\n\n"
           "ping: local error: message too long, mtu=1400\n"
        << "Pinging 127.0.0.1 with 1400 bytes of data:\n"
           "Packet needs to be fragmented but DF set.\n\n"
           "Ping statistics for 127.0.0.1:\n"
           "    Packets: Sent = 1, Received = 0, Lost = 1 (100% loss),\n";

    QTest::newRow("fragmentation needed on the path")
        << "PING 192.0.2.1 (192.0.2.1) 1472(1500) bytes of data.\n"
           "From 10.0.0.1 icmp_seq=1 Frag needed and DF set (mtu = 1400)\n\n"
           "--- 192.0.2.1 ping statistics ---\n"
           "1 packets transmitted, 0 received, +1 errors, 100% packet loss, time 0ms\n"
        << "Pinging 192.0.2.1 with 1472 bytes of data:\n"
           "Packet needs to be fragmented but DF set.\n\n"
           "Ping statistics for 192.0.2.1:\n"
           "    Packets: Sent = 1, Received = 0, Lost = 1 (100% loss),\n";

    QTest::newRow("host unreachable")
        << "PING 192.0.2.1 (192.0.2.1) 56(84) bytes of data.\n"
           "From 10.0.0.1 icmp_seq=1 Destination Host Unreachable\n\n"
           "--- 192.0.2.1 ping statistics ---\n"
           "1 packets transmitted, 0 received, +1 errors, 100% packet loss, time 0ms\n"
        << "Pinging 192.0.2.1 with 56 bytes of data:\n"
           "Reply from 10.0.0.1: Destination host unreachable.\n\n"
           "Ping statistics for 192.0.2.1:\n"
           "    Packets: Sent = 1, Received = 0, Lost = 1 (100% loss),\n";

    QTest::newRow("no route") << "ping: connect: Network is unreachable\n"
                              << "PING: transmit failed. General failure.\n";

    // Counts near the int limit: a bounded number of lines, a sound percentage.
    QString capped;
    for (int i = 0; i < 1000; ++i)
        capped += QStringLiteral("Request timed out.\n");
    QTest::newRow("absurd counts")
        << "2000000000 packets transmitted, 1000000000 received, 50% packet loss, time 1ms\n"
        << capped + "\nPing statistics for :\n"
                    "    Packets: Sent = 2000000000, Received = 1000000000, Lost = 1000000000 (50% loss),\n";
}

void TestSystemTools::normalizePing()
{
    QFETCH(QString, linux);
    QFETCH(QString, windows);
    QCOMPARE(normalizePingOutput(linux), windows);
}

void TestSystemTools::normalizedPingFeedsTimeParsers()
{
    // The live ping and the sweep read reply times with these expressions.
    const QRegularExpression sweep(QStringLiteral("time[<=](\\d+)ms"));
    const QRegularExpression live(
        QStringLiteral("(?:time|\\x{0632}\\x{0645}\\x{0627}\\x{0646})\\s*[=<]\\s*(\\d+)\\s*ms"),
        QRegularExpression::CaseInsensitiveOption);
    const QString timed = normalizePingOutput("64 bytes from 192.0.2.1: icmp_seq=1 ttl=57 time=24.3 ms\n"
                                              "64 bytes from 192.0.2.1: icmp_seq=2 ttl=57 time=31.9 ms\n"
                                              "64 bytes from 192.0.2.1: icmp_seq=3 ttl=57 time=28.0 ms\n");
    for (const QRegularExpression &re : {sweep, live}) {
        QStringList found;
        for (auto it = re.globalMatch(timed); it.hasNext();)
            found << it.next().captured(1);
        QCOMPARE(found, (QStringList{"24", "31", "28"}));
    }
    const QString fast = normalizePingOutput("64 bytes from 127.0.0.1: icmp_seq=1 ttl=64 time=0.045 ms\n");
    QVERIFY(fast.contains(QLatin1String("time<"), Qt::CaseInsensitive));
    QCOMPARE(sweep.match(fast).captured(1), QStringLiteral("1"));
}

void TestSystemTools::normalizeNslookup_data()
{
    QTest::addColumn<QString>("linux");
    QTest::addColumn<QString>("windows");

    QTest::newRow("answer") << "Server:\t\t127.0.0.1\nAddress:\t127.0.0.1#5353\n\n"
                               "Non-authoritative answer:\nName:\tdiscord.com\nAddress: 162.159.128.233\n"
                               "Name:\tdiscord.com\nAddress: 162.159.135.232\n\n"
                            << "Server:  127.0.0.1\nAddress:  127.0.0.1\n\n"
                               "Non-authoritative answer:\nName:    discord.com\nAddress:  162.159.128.233\n"
                               "Name:    discord.com\nAddress:  162.159.135.232\n";
    QTest::newRow("nxdomain") << "Server:\t\t127.0.0.1\nAddress:\t127.0.0.1#53\n\n"
                                 "** server can't find nowhere.test: NXDOMAIN\n\n"
                              << "Server:  127.0.0.1\nAddress:  127.0.0.1\n\n"
                                 "*** UnKnown can't find nowhere.test: Non-existent domain\n";
    QTest::newRow("connection refused") << ";; communications error to 127.0.0.1#9: connection refused\n"
                                           ";; communications error to 127.0.0.1#9: connection refused\n"
                                           ";; no servers could be reached\n\n"
                                        << "*** Request to 127.0.0.1 failed: connection refused.\n"
                                           "*** No servers could be reached.\n";
    QTest::newRow("timed out") << ";; connection timed out; no servers could be reached\n\n"
                               << "DNS request timed out.\n    timeout was 2 seconds.\n";
    QTest::newRow("no answer") << "Server:\t\t127.0.0.1\nAddress:\t127.0.0.1#53\n\n"
                                  "Non-authoritative answer:\n*** Can't find discord.com: No answer\n\n"
                               << "Server:  127.0.0.1\nAddress:  127.0.0.1\n\n"
                                  "Non-authoritative answer:\n*** Can't find discord.com: No answer\n";
}

void TestSystemTools::normalizeNslookup()
{
    QFETCH(QString, linux);
    QFETCH(QString, windows);
    QCOMPARE(normalizeNslookupOutput(linux), windows);
}

void TestSystemTools::arpTable()
{
    const QString table = "IP address       HW type     Flags       HW address            Mask     Device\n"
                          "192.0.2.1        0x1         0x2         02:FC:00:00:00:05     *        eth0\n"
                          "192.0.2.77       0x1         0x0         00:00:00:00:00:00     *        eth0\n"
                          "172.22.255.37    0x1         0x2         7c:bb:8a:01:02:03     *        enp3s0\n"
                          "172.22.255.34    0x1         0x6         02:00:00:00:00:22     *        enp3s0\n"
                          "not-an-address   0x1         0x2         02:00:00:00:00:99     *        eth0\n"
                          "198.51.100.9     0x1         0x2         02:00:00:00:00:09     *        wg0\n";
    const ArpInterfaceLookup lookup = [](const QString &device) {
        if (device == QLatin1String("eth0"))
            return ArpInterface{QStringLiteral("192.0.2.10"), 2};
        if (device == QLatin1String("enp3s0"))
            return ArpInterface{QStringLiteral("172.22.255.34"), 0x1a};
        return ArpInterface{QString(), 9};
    };
    const QString expected = "\nInterface: 192.0.2.10 --- 0x2\n"
                             "  Internet Address      Physical Address      Type\n"
                             "  192.0.2.1             02-fc-00-00-00-05     dynamic\n"
                             "\nInterface: 172.22.255.34 --- 0x1a\n"
                             "  Internet Address      Physical Address      Type\n"
                             "  172.22.255.37         7c-bb-8a-01-02-03     dynamic\n"
                             "  172.22.255.34         02-00-00-00-00-22     static\n"
                             "\nInterface: wg0 --- 0x9\n"
                             "  Internet Address      Physical Address      Type\n"
                             "  198.51.100.9          02-00-00-00-00-09     dynamic\n";
    QCOMPARE(renderArpTable(table, lookup), expected);
    QCOMPARE(renderArpTable(QString(), lookup), QString());
}

QTEST_GUILESS_MAIN(TestSystemTools)
#include "tst_systemtools.moc"
