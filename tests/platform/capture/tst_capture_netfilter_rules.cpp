// What the netfilter backend asks of the kernel: the bounds it proves from a
// filter (never narrower than the filter), the rule text built from them, how
// the iptables tools' failures map onto capture errors, and the choice of
// backend. Nothing here touches the kernel.

#include "PacketBuilder.h"
#include "platform/capture/capture.h"
#include "platform/capture/capture_filter.h"
#include "platform/capture/capture_netfilter.h"
#include "platform/capture/packet.h"

#include <QtTest>

using namespace testpkt;

namespace {

struct Compiled
{
    explicit Compiled(const QString &text) : f(quorlix_filter_compile(text.toLatin1().constData(), nullptr))
    {}
    ~Compiled() { quorlix_filter_free(f); }
    quorlix_filter *f;
};

QString dotted(uint32_t a)
{
    return QString("%1.%2.%3.%4").arg(a >> 24).arg((a >> 16) & 0xFF).arg((a >> 8) & 0xFF).arg(a & 0xFF);
}

// The scope in a few words: "out -A -B | in udp src X,Y sport P".
QString describe(const quorlix_filter_scope &s)
{
    QStringList out;
    if (s.outbound) {
        QString o = "out";
        for (size_t i = 0; i < s.skip_dst_count; ++i)
            o += " -" + dotted(s.skip_dst[i]);
        out << o;
    }
    if (s.inbound) {
        QString in = "in";
        if (s.inbound_udp_only)
            in += " udp";
        QStringList src, ports;
        for (size_t i = 0; i < s.in_src_count; ++i)
            src << dotted(s.in_src[i]);
        for (size_t i = 0; i < s.in_sport_count; ++i)
            ports << QString::number(s.in_sport[i]);
        if (!src.isEmpty())
            in += " src " + src.join(',');
        if (!ports.isEmpty())
            in += " sport " + ports.join(',');
        out << in;
    }
    return out.join(" | ");
}

} // namespace

class TestCaptureNetfilterRules : public QObject
{
    Q_OBJECT

private slots:
    void scopes_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("scope");
        QTest::newRow("engine, one relay")
            << "((outbound and ip and ip.DstAddr != 192.0.2.1) or (inbound and udp.SrcPort == 50000 and "
               "(ip.SrcAddr == 192.0.2.1)))"
            << "out -192.0.2.1 | in udp src 192.0.2.1 sport 50000";
        QTest::newRow("engine, two relays")
            << "((outbound and ip and ip.DstAddr != 192.0.2.1 and ip.DstAddr != 198.51.100.7) or (inbound "
               "and "
               "udp.SrcPort == 50000 and (ip.SrcAddr == 192.0.2.1 or ip.SrcAddr == 198.51.100.7)))"
            << "out -192.0.2.1 -198.51.100.7 | in udp src 192.0.2.1,198.51.100.7 sport 50000";
        // A second clause that admits the relay's address keeps it queued.
        QTest::newRow("relay admitted elsewhere")
            << "(outbound and ip.DstAddr != 192.0.2.1) or (outbound and udp.DstPort == 53)"
            << "out";
        // "not ==" also holds for bytes that do not parse as IPv4, whatever
        // they would say as an address.
        QTest::newRow("negated equality") << "outbound and not ip.DstAddr == 192.0.2.1"
                                          << "out";
        QTest::newRow("only inbound, any protocol") << "inbound and ip.SrcAddr == 192.0.2.9"
                                                    << "in src 192.0.2.9";
        QTest::newRow("inbound port without address") << "inbound and udp.SrcPort == 50000"
                                                      << "in udp sport 50000";
        QTest::newRow("direction both ways") << "ip.DstAddr != 192.0.2.1"
                                             << "out -192.0.2.1 | in";
        QTest::newRow("a port that can never match")
            << "outbound or (inbound and udp.SrcPort == 1 and udp.SrcPort == 2)"
            << "out";
        QTest::newRow("nothing") << "inbound and outbound"
                                 << "";
    }

    void scopes()
    {
        QFETCH(QString, filter);
        QFETCH(QString, scope);
        Compiled c(filter);
        QVERIFY(c.f);
        quorlix_filter_scope s;
        quorlix_filter_scope_of(c.f, &s);
        QCOMPARE(describe(s), scope);
    }

    // Whatever the filter admits lies inside its scope.
    void scopeHoldsWhatTheFilterAdmits()
    {
        const QStringList filters = {
            "((outbound and ip and ip.DstAddr != 192.0.2.1) or (inbound and udp.SrcPort == 50000 and "
            "(ip.SrcAddr == 192.0.2.1)))",
            "(outbound and ip.DstAddr != 192.0.2.1) or (outbound and udp.DstPort == 53)",
            "inbound and (udp.SrcPort == 50000 or tcp.SrcPort == 80) and not ip.SrcAddr == 10.0.0.1",
            "not (inbound and ip.SrcAddr != 192.0.2.1) and not (outbound and ip.DstAddr == 192.0.2.1)",
        };
        const QList<QByteArray> packets = {
            udp("10.0.0.2", 4000, "192.0.2.1", 50000),
            udp("192.0.2.1", 50000, "10.0.0.2", 4000),
            udp("192.0.2.1", 50001, "10.0.0.2", 4000),
            tcp("192.0.2.1", 50000, "10.0.0.2", 4000),
            tcp("10.0.0.1", 80, "10.0.0.2", 4000),
            udp("10.0.0.1", 50000, "10.0.0.2", 53),
            udp("10.0.0.2", 4000, "198.51.100.1", 53),
            tcp("10.0.0.2", 4000, "192.0.2.1", 443),
            QByteArray(40, '\x45'),
        };
        for (const QString &text : filters) {
            Compiled c(text);
            QVERIFY(c.f);
            quorlix_filter_scope s;
            quorlix_filter_scope_of(c.f, &s);
            for (int dir = 0; dir < 2; ++dir) {
                for (const QByteArray &p : packets) {
                    if (quorlix_filter_match(c.f, p.constData(), size_t(p.size()), dir))
                        QVERIFY2(quorlix_filter_scope_contains(&s, p.constData(), size_t(p.size()), dir),
                                 qPrintable(text + " / " + p.toHex()));
                }
            }
        }
    }

    void rulesForTheEngineFilter()
    {
        Compiled c("((outbound and ip and ip.DstAddr != 192.0.2.1) or (inbound and udp.SrcPort == 50000 and "
                   "(ip.SrcAddr == 192.0.2.1 or ip.SrcAddr == 192.0.2.2)))");
        quorlix_filter_scope s;
        quorlix_filter_scope_of(c.f, &s);
        char buf[4096];
        QVERIFY(quorlix_capture_nf_rules(&s, 4471, buf, sizeof buf) > 0);
        QCOMPARE(QString(buf), QString("*filter\n"
                                       ":QUORLIX_OUT_4471 - [0:0]\n"
                                       ":QUORLIX_IN_4471 - [0:0]\n"
                                       "-A QUORLIX_OUT_4471 -o lo -j RETURN\n"
                                       "-A QUORLIX_OUT_4471 -m mark --mark 0x51584c58 -j RETURN\n"
                                       "-A QUORLIX_OUT_4471 -d 192.0.2.1/32 -j RETURN\n"
                                       "-A QUORLIX_OUT_4471 -j NFQUEUE --queue-num 4471 --queue-bypass\n"
                                       "-A QUORLIX_IN_4471 -p udp -s 192.0.2.1/32 --sport 50000 -j NFQUEUE "
                                       "--queue-num 4471 --queue-bypass\n"
                                       "-A QUORLIX_IN_4471 -p udp -s 192.0.2.2/32 --sport 50000 -j NFQUEUE "
                                       "--queue-num 4471 --queue-bypass\n"
                                       "-I OUTPUT 1 -j QUORLIX_OUT_4471\n"
                                       "-I INPUT 1 -j QUORLIX_IN_4471\n"
                                       "COMMIT\n"));
        // A buffer too small gives nothing rather than half a rule set.
        QCOMPARE(quorlix_capture_nf_rules(&s, 4471, buf, 200), size_t(0));
        QCOMPARE(buf[0], '\0');
    }

    // What a listing of the filter table says to a handle that has just
    // bound its queue: whose chains are left over, and whose came first.
    void chainsInAListing_data()
    {
        QTest::addColumn<QString>("listing");
        QTest::addColumn<QList<int>>("listened");
        QTest::addColumn<int>("ownQueue");
        QTest::addColumn<QStringList>("stale");
        QTest::addColumn<int>("firstLive");

        const QString two =
            "-P OUTPUT ACCEPT\n"
            "-N QUORLIX_IN_4470\n-N QUORLIX_IN_4471\n-N QUORLIX_OUT_4470\n-N QUORLIX_OUT_4471\n"
            "-N other\n"
            "-A INPUT -j QUORLIX_IN_4471\n-A INPUT -j QUORLIX_IN_4470\n"
            "-A OUTPUT -j QUORLIX_OUT_4471\n-A OUTPUT -j QUORLIX_OUT_4470\n"
            "-A OUTPUT -j other\n"
            "-A QUORLIX_OUT_4470 -j NFQUEUE --queue-num 4470 --queue-bypass\n"
            "-A QUORLIX_OUT_4471 -j NFQUEUE --queue-num 4471 --queue-bypass\n";
        QTest::newRow("both alive: nothing stale, the newest first")
            << two << QList<int>{4470, 4471, 4472} << 4472 << QStringList{} << 4471;
        QTest::newRow("the newest was killed: its chains go, the older comes first")
            << two << QList<int>{4470, 4472} << 4472 << QStringList{"QUORLIX_IN_4471", "QUORLIX_OUT_4471"}
            << 4470;
        QTest::newRow("a killed owner's number bound again: its chains are left over")
            << two << QList<int>{4470, 4471} << 4471 << QStringList{"QUORLIX_IN_4471", "QUORLIX_OUT_4471"}
            << 4470;
        QTest::newRow("nobody alive")
            << two << QList<int>{7} << 4472
            << QStringList{"QUORLIX_IN_4470", "QUORLIX_IN_4471", "QUORLIX_OUT_4470", "QUORLIX_OUT_4471"}
            << -1;
        const QString older =
            "-N QUORLIX_IN\n-N QUORLIX_OUT\n-A INPUT -j QUORLIX_IN\n-A OUTPUT -j QUORLIX_OUT\n"
            "-A QUORLIX_IN -p udp -j NFQUEUE --queue-num 4470 --queue-bypass\n"
            "-A QUORLIX_OUT -j NFQUEUE --queue-num 4470 --queue-bypass\n";
        QTest::newRow("an older client's chains, its queue alive")
            << older << QList<int>{4470, 4471} << 4471 << QStringList{} << -1;
        QTest::newRow("an older client's chains, its queue gone")
            << older << QList<int>{4471} << 4471 << QStringList{"QUORLIX_IN", "QUORLIX_OUT"} << -1;
        QTest::newRow("an empty chain of ours") << "-N QUORLIX_OUT\n"
                                                << QList<int>{} << 4470 << QStringList{"QUORLIX_OUT"} << -1;
        QTest::newRow("empty listing") << "" << QList<int>{4470} << 4470 << QStringList{} << -1;
    }

    void chainsInAListing()
    {
        QFETCH(QString, listing);
        QFETCH(QList<int>, listened);
        QFETCH(int, ownQueue);
        QFETCH(QStringList, stale);
        QFETCH(int, firstLive);
        std::vector<uint16_t> queues(listened.begin(), listened.end());
        const QByteArray text = listing.toLatin1();
        char names[8][QUORLIX_CAPTURE_NF_CHAIN_LEN];
        const size_t n =
            quorlix_capture_nf_stale(text.constData(), queues.data(), queues.size(), ownQueue, names, 8);
        QStringList got;
        for (size_t i = 0; i < n; ++i)
            got << names[i];
        QCOMPARE(got, stale);
        const uint16_t own = uint16_t(ownQueue);
        QCOMPARE(quorlix_capture_nf_first_live(text.constData(), queues.data(), queues.size(), &own, 1),
                 firstLive);
    }

    void removalOfChains()
    {
        const char listing[] = "-N QUORLIX_IN_4471\n-N QUORLIX_OUT_4471\n-N QUORLIX_OUT_4470\n"
                               "-A INPUT -j QUORLIX_IN_4471\n"
                               "-A OUTPUT -j QUORLIX_OUT_4471\n-A OUTPUT -j QUORLIX_OUT_4470\n"
                               "-A OUTPUT -p tcp -j QUORLIX_OUT_4471\n"
                               "-A QUORLIX_OUT_4471 -j NFQUEUE --queue-num 4471 --queue-bypass";
        const char chains[2][QUORLIX_CAPTURE_NF_CHAIN_LEN] = {"QUORLIX_OUT_4471", "QUORLIX_IN_4471"};
        char buf[1024];
        QVERIFY(quorlix_capture_nf_removal(listing, chains, 2, buf, sizeof buf) > 0);
        QCOMPARE(QString(buf), QString("*filter\n"
                                       "-D INPUT -j QUORLIX_IN_4471\n"
                                       "-D OUTPUT -j QUORLIX_OUT_4471\n"
                                       "-D OUTPUT -p tcp -j QUORLIX_OUT_4471\n"
                                       "-F QUORLIX_OUT_4471\n-F QUORLIX_IN_4471\n"
                                       "-X QUORLIX_OUT_4471\n-X QUORLIX_IN_4471\n"
                                       "COMMIT\n"));
        QCOMPARE(quorlix_capture_nf_removal(listing, chains, 2, buf, 40), size_t(0));
    }

    void listenedQueues()
    {
        // /proc/net/netfilter/nfnetlink_queue, one line per bound queue.
        const char text[] = " 4470  12345     0 2 65535     0     0       12  1\n"
                            "    7 -4001     3 2 65535     0     0        3  1\n"
                            "garbage\n";
        uint16_t queues[4] = {};
        QCOMPARE(quorlix_capture_nf_listened(text, queues, 4), size_t(2));
        QCOMPARE(int(queues[0]), 4470);
        QCOMPARE(int(queues[1]), 7);
        QCOMPARE(quorlix_capture_nf_listened(text, queues, 1), size_t(1));
    }

    // Inbound rules that name the relays also take their datagrams on
    // loopback (a relay on this machine); rules for any sender never do.
    void loopbackOnlyForNamedSources_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("inbound");
        QTest::newRow("relay on loopback")
            << "((outbound and ip and ip.DstAddr != 127.0.0.11) or (inbound and udp.SrcPort == 50000 and "
               "(ip.SrcAddr == 127.0.0.11)))"
            << "-A QUORLIX_IN_4471 -p udp -s 127.0.0.11/32 --sport 50000 -j NFQUEUE --queue-num 4471 "
               "--queue-bypass\n";
        QTest::newRow("any sender on a port") << "inbound and udp.SrcPort == 50000"
                                              << "-A QUORLIX_IN_4471 -i lo -j RETURN\n"
                                                 "-A QUORLIX_IN_4471 -p udp --sport 50000 -j NFQUEUE "
                                                 "--queue-num 4471 --queue-bypass\n";
        QTest::newRow("any sender at all")
            << "inbound"
            << "-A QUORLIX_IN_4471 -i lo -j RETURN\n"
               "-A QUORLIX_IN_4471 -j NFQUEUE --queue-num 4471 --queue-bypass\n";
    }

    void loopbackOnlyForNamedSources()
    {
        QFETCH(QString, filter);
        QFETCH(QString, inbound);
        Compiled c(filter);
        QVERIFY(c.f);
        quorlix_filter_scope s;
        quorlix_filter_scope_of(c.f, &s);
        char buf[4096];
        QVERIFY(quorlix_capture_nf_rules(&s, 4471, buf, sizeof buf) > 0);
        QStringList lines;
        for (const QString &line : QString(buf).split('\n')) {
            if (line.startsWith("-A QUORLIX_IN"))
                lines << line + '\n';
        }
        QCOMPARE(lines.join(QString()), inbound);
    }

    // A large TCP packet cut as the stack's offload would cut it.
    void segmentsOfALargePacket()
    {
        QByteArray payload(2500, '\0');
        for (int i = 0; i < payload.size(); ++i)
            payload[i] = char(i * 7);
        QByteArray big =
            tcp("10.0.0.2", 40000, "198.51.100.7", 443, payload, 0x80 | 0x18 | 0x01); // CWR PSH FIN
        put16(big, 4, 0xFFFF);                                                        // identification
        big[24] = char(0xFF), big[25] = char(0xFF), big[26] = char(0xFC), big[27] = char(0x18); // seq wraps
        std::vector<uint8_t> out(4096);
        size_t lens[8];
        QCOMPARE(quorlix_capture_nf_segment_tcp(bytes(big), size_t(big.size()), 1000, out.data(), out.size(),
                                                lens, 8),
                 size_t(3));
        const struct
        {
            size_t len;
            uint16_t id;
            uint32_t seq;
            uint8_t flags;
        } expected[] = {{1040, 0xFFFF, 0xFFFFFC18u, 0x80 | 0x10},
                        {1040, 0x0000, 0x00000000u, 0x10},
                        {540, 0x0001, 0x000003E8u, 0x18 | 0x01}};
        const uint8_t *seg = out.data();
        QByteArray joined;
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(lens[i], expected[i].len);
            QCOMPARE(int(seg[2] << 8 | seg[3]), int(expected[i].len));
            QCOMPARE(int(seg[4] << 8 | seg[5]), int(expected[i].id));
            QCOMPARE(uint32_t(seg[24] << 24 | seg[25] << 16 | seg[26] << 8 | seg[27]), expected[i].seq);
            QCOMPARE(int(seg[33]), int(expected[i].flags));
            QVERIFY(quorlix_packet_checksums_ok(seg, lens[i]));
            joined += QByteArray(reinterpret_cast<const char *>(seg) + 40, int(lens[i]) - 40);
            seg += lens[i];
        }
        QCOMPARE(joined, payload);

        // Nothing to cut, nothing cuttable, or no room: no segments.
        QCOMPARE(quorlix_capture_nf_segment_tcp(bytes(big), size_t(big.size()), 2500, out.data(), out.size(),
                                                lens, 8),
                 size_t(0));
        const QByteArray dgram = udp("10.0.0.2", 4000, "198.51.100.7", 53, payload);
        QCOMPARE(quorlix_capture_nf_segment_tcp(bytes(dgram), size_t(dgram.size()), 1000, out.data(),
                                                out.size(), lens, 8),
                 size_t(0));
        QByteArray fragment = big;
        put16(fragment, 6, 0x2000);
        QCOMPARE(quorlix_capture_nf_segment_tcp(bytes(fragment), size_t(fragment.size()), 1000, out.data(),
                                                out.size(), lens, 8),
                 size_t(0));
        QCOMPARE(
            quorlix_capture_nf_segment_tcp(bytes(big), size_t(big.size()), 1000, out.data(), 2600, lens, 8),
            size_t(0));
        QCOMPARE(quorlix_capture_nf_segment_tcp(bytes(big), size_t(big.size()), 1000, out.data(), out.size(),
                                                lens, 2),
                 size_t(0));
    }

    void toolErrors_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("stderrText");
        QTest::addColumn<int>("error");
        QTest::newRow("fine") << 0 << "" << int(QUORLIX_CAPTURE_OK);
        QTest::newRow("not root")
            << 4
            << "iptables-restore v1.8.9 (nf_tables): Could not fetch rule set generation id: Permission "
               "denied (you must be root)"
            << int(QUORLIX_CAPTURE_ERR_ACCESS_DENIED);
        QTest::newRow("no target") << 1
                                   << "iptables-restore: line 7 failed: No chain/target/match by that name."
                                   << int(QUORLIX_CAPTURE_ERR_UNAVAILABLE);
        QTest::newRow("killed") << 128 << "" << int(QUORLIX_CAPTURE_ERR_UNAVAILABLE);
    }

    void toolErrors()
    {
        QFETCH(int, status);
        QFETCH(QString, stderrText);
        QFETCH(int, error);
        QCOMPARE(quorlix_capture_nf_tool_error(status, stderrText.toLatin1().constData()), error);
    }

    void backendChoice()
    {
        // The runner sets the simulator; an unknown name opens nothing.
        QCOMPARE(qgetenv("QUORLIX_CAPTURE"), QByteArray("sim"));
        int err = -1;
        quorlix_capture_handle h = quorlix_capture_open("outbound", &err);
        QCOMPARE(err, 0);
        QVERIFY(h != QUORLIX_CAPTURE_INVALID);
        quorlix_capture_close(h);
        qputenv("QUORLIX_CAPTURE", "windivert");
        h = quorlix_capture_open("outbound", &err);
        qputenv("QUORLIX_CAPTURE", "sim");
        QCOMPARE(h, QUORLIX_CAPTURE_INVALID);
        QCOMPARE(err, int(QUORLIX_CAPTURE_ERR_UNAVAILABLE));
    }
};

QTEST_GUILESS_MAIN(TestCaptureNetfilterRules)
#include "tst_capture_netfilter_rules.moc"
