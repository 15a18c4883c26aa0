// A whole run of the console gateway against the simulated driver and a fake
// socket: the start-up lines, every start failure, the statistics, the MSS
// clamp and adapter rules, runtime settings across runs, and the stop.

#include "ConsoleFixture.h"

#include "engine/console/console_gateway.h"
#include "engine/console/console_host.h"
#include "engine/console/console_state.h"
#include "platform/driver/console_device.h"
#include "platform/driver/driver_sim.h"
#include "support/OwnTime.h"

#include <QElapsedTimer>
#include <QtTest>
#include <arpa/inet.h>

Q_DECLARE_METATYPE(QuorlixAdapter)

namespace {

QByteArray lastRecord()
{
    QByteArray rec(CCFG_SIZE, '\0');
    const size_t n = quorlix_drvsim_set_count();
    if (!n || !quorlix_drvsim_set_record(n - 1, reinterpret_cast<uint8_t *>(rec.data())))
        return QByteArray();
    return rec;
}

// The lines from the first that starts with `from`, up to and including the
// first that starts with `to`.
QStringList between(const QStringList &lines, const QString &from, const QString &to)
{
    QStringList out;
    bool in = false;
    for (const QString &l : lines) {
        in = in || l.startsWith(from);
        if (in)
            out << l;
        if (in && l.startsWith(to))
            break;
    }
    return out;
}

bool waitForLine(const LogCapture &log, const QString &prefix, int ms = 5000)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        if (log.count(prefix) > 0)
            return true;
        QThread::msleep(2);
    }
    return false;
}

} // namespace

class TestConsoleGateway : public QObject
{
    Q_OBJECT
    FakeSocket *m_sock = nullptr;
    FakeHost *m_host = nullptr;

private slots:
    void init()
    {
        resetGateway();
        quorlix_drvsim_install();
        m_sock = new FakeSocket;
        m_host = new FakeHost;
        m_host->adapters = {FakeHost::adapter("Ethernet", kPcMac, "192.168.1.20")};
    }
    void cleanup()
    {
        console_gateway_stop();
        delete m_host;
        delete m_sock;
        quorlix_drvsim_uninstall();
    }

    // Runs first: nothing in this process has set runtime settings yet.
    void usageWithoutRuntimeSettings()
    {
        LogCapture log;
        GatewayRun run({"gw"});
        QVERIFY(waitForLine(log, "[GATEWAY] Waiting for console packets..."));
        QCOMPARE(run.stop(), 0);
        const QStringList l = log.lines();
        const int usage = l.indexOf("[INFO] Usage: gw <server_ip> <server_port> [game_profile]");
        QVERIFY(usage > 0);
        QCOMPARE(l.at(usage + 1), QString("[INFO] Profiles: warzone, steam, xbox, custom, etc."));
        QCOMPARE(l.at(usage + 2), QString("[INFO] Using defaults: 192.0.2.20:50000 profile=custom"));
        QVERIFY(l.at(usage + 3).startsWith("[INFO] Config: "));
        QVERIFY(l.at(usage + 3).endsWith(" (preferred)") ||
                l.at(usage + 3) == "[INFO] Config: quorlix.conf (cwd)");
        QCOMPARE(l.at(usage + 4), QString());
    }

    void startLinesAndStop()
    {
        console_gateway_set_runtime_config("203.0.113.7", "warzone", "3074", "443", 50000, 0);
        LogCapture log;
        GatewayRun run({"gw"});
        QVERIFY(waitForLine(log, "[GATEWAY] Waiting for console packets..."));
        QCOMPARE(console_gateway_run_state(), int(CONSOLE_GATEWAY_RUNNING));
        QElapsedTimer t;
        t.start();
        QCOMPARE(run.stop(), 0);
        QVERIFY(t.elapsed() < 300);
        QCOMPARE(console_gateway_run_state(), int(CONSOLE_GATEWAY_IDLE));

        QStringList l = log.lines();
        const int mapped = l.indexOf(
            QRegularExpression(R"(^\[OK\] Shared memory mapped at (0x)?[0-9a-f]+ \(size=2097328 bytes\)$)"));
        QVERIFY2(mapped > 0, qPrintable(l.join('\n')));
        l[mapped] = "[OK] Shared memory mapped";
        const QStringList head = {
            "=========================================",
            "Quorlix Console Gateway (NDIS Ring Buffer)",
            "=========================================",
            "",
            "[INFO] Usage: gw <server_ip> <server_port> [game_profile]",
            "[INFO] Profiles: warzone, steam, xbox, custom, etc.",
            "[INFO] Using defaults: 203.0.113.7:50000 profile=warzone",
            "",
            "[CONFIG] Outbound MTU to 203.0.113.7: 1500 (ifIndex=3, outer=IPv4) -> MSS clamp=1416",
            "[CONFIG] Runtime profile 'warzone': UDP=1 TCP=1 TunnelAllPorts=FALSE",
            "[OK] Driver opened",
            "[CONFIG] Using adapter: Ethernet  MAC=02:11:22:33:44:55",
        };
        QCOMPARE(l.mid(0, head.size()), head);
        const QStringList tail = {
            "[OK] Shared memory mapped",
            "[OK] Tunnel socket initialized",
            "[OK] Server RX thread started",
            "",
            "=========================================",
            "Console Gateway is ACTIVE",
            "=========================================",
            "",
            "Configure your console with:",
            "  IP Address:  172.22.x.x (any in range)",
            "  Subnet Mask: 255.255.0.0",
            "  Gateway:     172.22.255.34",
            "  DNS:         1.1.1.1",
            "",
            "Press Ctrl+C to stop.",
            "=========================================",
            "",
            "[GATEWAY] Waiting for console packets...",
            "",
        };
        QStringList started = between(l, "[OK] Shared memory mapped", "[GATEWAY]");
        started << "";
        // The receive thread's first lines may fall anywhere after its start line.
        started.removeIf([](const QString &s) { return s.startsWith("[RX"); });
        QCOMPARE(started, tail);
        QCOMPARE(l.last(), QString("[EXIT] Console gateway stopped"));
        QVERIFY(l.contains("[RX] Server receive thread stopped"));
        QVERIFY(l.indexOf("[RX] Server receive thread stopped") < l.indexOf("[CLEANUP] Shutting down..."));
        QCOMPARE(lastRecord(), QByteArray(CCFG_SIZE, '\0'));
        QCOMPARE(quorlix_drvsim_is_open(), 0);
        QCOMPARE(m_sock->binds.load(), 1);
        QCOMPARE(gateway_state().mss_clamp.load(), 1416u);
    }

    void startFailures_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QStringList>("errLines");
        QTest::addColumn<bool>("cleanup");
        QTest::newRow("no driver")
            << "open"
            << QStringList{"[ERROR] Failed to open driver: error 2",
                           "[ERROR] Make sure NDIS driver is loaded and you're running as "
                           "Administrator",
                           "[FATAL] Failed to open driver"}
            << false;
        QTest::newRow("console mode refused") << "set"
                                              << QStringList{"[ERROR] SET_CONSOLE_CONFIG failed: 31",
                                                             "[FATAL] Failed to configure console mode"}
                                              << true;
        QTest::newRow("map refused") << "map"
                                     << QStringList{"[ERROR] MAP_SHARED_MEMORY failed: 31",
                                                    "[FATAL] Failed to map shared memory"}
                                     << true;
        QTest::newRow("null region") << "null"
                                     << QStringList{"[ERROR] Driver returned NULL shared memory pointer",
                                                    "[FATAL] Failed to map shared memory"}
                                     << true;
        QTest::newRow("no socket") << "socket" << QStringList{"[FATAL] socket() failed: 24"} << true;
        QTest::newRow("no bind") << "bind" << QStringList{"[FATAL] bind() failed: 98"} << true;
        QTest::newRow("relay is a host name")
            << "name" << QStringList{"[FATAL] Relay address 'relay.example' is not an IPv4 address"} << false;
    }
    void startFailures()
    {
        QFETCH(QString, fault);
        QFETCH(QStringList, errLines);
        QFETCH(bool, cleanup);
        console_gateway_set_runtime_config(fault == "name" ? "relay.example" : "203.0.113.7", "custom",
                                           "3074", "", 50000, 0);
        if (fault == "open")
            quorlix_drvsim_uninstall();
        if (fault == "set")
            quorlix_drvsim_fail(QUORLIX_DRVSIM_SET, 31);
        if (fault == "map")
            quorlix_drvsim_fail(QUORLIX_DRVSIM_MAP, 31);
        if (fault == "null")
            quorlix_drvsim_map_null(1);
        if (fault == "socket")
            m_sock->failOpen = 24;
        if (fault == "bind")
            m_sock->failBind = 98;
        LogCapture log;
        char arg0[] = "gw";
        char *argv[] = {arg0, nullptr};
        console_gateway_arm();
        QCOMPARE(console_gateway_main(1, argv), 1);
        QCOMPARE(console_gateway_run_state(), int(CONSOLE_GATEWAY_IDLE));
        QStringList err = log.errLines();
        err.removeAll(
            "[WARN] Could not determine local Ethernet MAC (driver will use miniport MAC if available)");
        QCOMPARE(err, errLines);
        QCOMPARE(log.has("[CLEANUP] Shutting down..."), cleanup);
        QVERIFY(!log.has("Console Gateway is ACTIVE"));
        if (cleanup) {
            QCOMPARE(log.lines().last(), QString("[CLEANUP] Done"));
            QCOMPARE(lastRecord(), QByteArray(CCFG_SIZE, '\0'));
            QCOMPARE(quorlix_drvsim_is_open(), 0);
        } else if (fault == "name") {
            QCOMPARE(quorlix_drvsim_open_count(), size_t(0));
        }
    }

    void statistics()
    {
        TestClock clock;
        console_gateway_set_runtime_config("203.0.113.7", "custom", "3074", "", 50000, 0);
        uint8_t status[DSTATUS_SIZE] = {};
        status[DSTATUS_FILTERING_ACTIVE] = 1;
        status[DSTATUS_ATTACHED] = 1;
        status[DSTATUS_OFFLOADS_DISABLED] = 2;
        status[DSTATUS_RECV_CB] = 61;
        status[DSTATUS_PROC_CALLS] = 62;
        status[DSTATUS_PARSE_FAILS + 1] = 1; // 256 + 63
        status[DSTATUS_PARSE_FAILS] = 63;
        quorlix_drvsim_set_status(status);
        uint8_t build[DBUILD_SIZE] = {};
        const uint32_t magic = 0x51D0C0DE;
        memcpy(build + DBUILD_MAGIC, &magic, 4);
        memset(build + DBUILD_STAMP, 'S', DBUILD_STAMP_MAX); // no terminating NUL: cut at 31
        quorlix_drvsim_set_build_info(build);
        const uint8_t mac[6] = {0x00, 0x22, 0x48, 0x0A, 0x0B, 0x0C};
        quorlix_drvsim_set_console(mac, 1);

        LogCapture log;
        GatewayRun run;
        QVERIFY(waitForLine(log, "[GATEWAY] Waiting for console packets..."));
        // The receive thread's first lines come when it gets to run; they
        // are out before the period ends, so they cannot fall inside the block.
        QVERIFY(waitForLine(log, "[RX-DEBUG] Listening for responses"));
        uint8_t *r = quorlix_drvsim_region();
        QVERIFY(r);
        region_store32(r, REGION_RX_RING + RING_R, 7);
        region_store32(r, REGION_RX_RING + RING_W, 7);
        region_store32(r, REGION_RX_RING + RING_DROPS, 11);
        region_store64(r, REGION_KERNEL_TOTAL, 12);
        region_store32(r, REGION_U2C_RING + RING_R, 5);
        region_store32(r, REGION_U2C_RING + RING_W, 5);
        region_store32(r, REGION_U2C_RING + RING_DROPS, 0xFFFFFFFFu);
        region_store64(r, REGION_USER_TOTAL, 13);
        for (int i = 0; i < 8; ++i)
            region_store64(r, REGION_CON_COUNTERS + 8 * i, 21 + i);
        for (int i = 0; i < 3; ++i) {
            region_store64(r, REGION_PROTO_COUNTERS + 8 * i, 31 + i);
            region_store32(r, REGION_LAST_PROTO + 4 * i, 41 + i);
        }
        region_store32(r, REGION_MINIPORT_MAC_CACHED, 44);
        for (int i = 0; i < 6; ++i)
            region_store64(r, REGION_ARP_COUNTERS + 8 * i, 51 + i);
        uint32_t sender = inet_addr("172.22.0.5"), target = inet_addr("172.22.255.34");
        region_store32(r, REGION_LAST_SENDER, sender);
        region_store32(r, REGION_LAST_TARGET, target);

        clock.now += 5000;
        QVERIFY(waitForLine(log, "[DRIVER] Attached="));
        const QStringList expected = {
            "[STATS] Packets: 0, Drops: 11",
            "[RB]   W=7 R=7 KernelTotal=12",
            "[RB2]  U2C W=5 R=5 Drop=-1 UserTotal=13",
            "[CONDBG] SubnetHit=21 PolicyChk=22 Hit=23 Miss=24 TooLarge=25 NoBuf=26 RingFull=27 Written=28",
            "[CONDBG2] ProtoUDP=31 ProtoTCP=32 ProtoOther=33 LastProto=41 LastSrc=42 LastDst=43",
            "[CONDBG3] MiniportMacCached=44",
            "[ARPDBG] Seen=51 Req=52 ForGw=53 ReplySent=54 NotReady=55 AllocFail=56",
            "[ARPDBG2] LastSender=172.22.0.5 LastTarget=172.22.255.34",
            "[DEBUG] ConsoleDetected=1 ConsoleMAC=00:22:48:0A:0B:0C",
            "[DRIVER] BuildStamp=" + QString(31, 'S') + " Magic=0x51D0C0DE",
            "[DRIVER] Attached=1 OffloadsDisabled=2 FilteringActive=1 RecvCb=61 ProcCalls=62 ParseFails=319",
        };
        QCOMPARE(between(log.lines(), "[STATS]", "[DRIVER] Attached="), expected);
        uint8_t known[6];
        QVERIFY(gateway_console_mac(known));

        // The next period: the diagnostics fail and are only reported.
        quorlix_drvsim_fail(QUORLIX_DRVSIM_BUILD_INFO, 31);
        quorlix_drvsim_fail(QUORLIX_DRVSIM_STATUS, 1);
        log.clear();
        clock.now += 5000;
        QVERIFY(waitForLine(log, "[DRIVER] Status unavailable (err=1)"));
        QVERIFY(log.has("[DRIVER] BuildInfo unavailable (err=31)"));
        QCOMPARE(run.stop(), 0);
    }

    void mssClampRule_data()
    {
        QTest::addColumn<int>("mtu");
        QTest::addColumn<bool>("ipv6");
        QTest::addColumn<int>("clamp");
        QTest::newRow("1500, IPv4") << 1500 << false << 1416;
        QTest::newRow("576 raised to 500") << 576 << false << 500;
        QTest::newRow("9000 capped at 1460") << 9000 << false << 1460;
        QTest::newRow("1500, IPv6") << 1500 << true << 1396;
        QTest::newRow("1564, IPv4: the cap exactly") << 1544 << false << 1460;
    }
    void mssClampRule()
    {
        QFETCH(int, mtu);
        QFETCH(bool, ipv6);
        QFETCH(int, clamp);
        QCOMPARE(int(gateway_mss_clamp_for_mtu(unsigned(mtu), ipv6)), clamp);
    }

    void mssLookupFailureKeepsTheClamp_data()
    {
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("mtu");
        QTest::addColumn<int>("ifIndex");
        QTest::newRow("no route") << false << 1500 << 3;
        QTest::newRow("interface 0") << true << 1500 << 0;
        QTest::newRow("MTU below 576") << true << 575 << 3;
    }
    void mssLookupFailureKeepsTheClamp()
    {
        QFETCH(bool, ok);
        QFETCH(int, mtu);
        QFETCH(int, ifIndex);
        m_host->mtuOk = ok;
        m_host->mtu = unsigned(mtu);
        m_host->ifIndex = unsigned(ifIndex);
        gateway_state().mss_clamp.store(1200);
        LogCapture log;
        gateway_update_mss_clamp("203.0.113.7");
        QCOMPARE(
            log.lines(),
            QStringList{"[CONFIG] Outbound MTU lookup failed for 203.0.113.7; using default MSS clamp=1200"});
        QCOMPARE(gateway_state().mss_clamp.load(), 1200u);
        log.clear();
        gateway_update_mss_clamp("2001:db8::1");
        QCOMPARE(m_host->lastMtuQuery, QString("2001:db8::1"));
    }

    void adapterRule_data()
    {
        QTest::addColumn<QList<QuorlixAdapter>>("adapters");
        QTest::addColumn<int>("chosen");
        const uint8_t *m = kPcMac;
        auto a = [m](const char *name, const char *ip = nullptr, bool eth = true, bool up = true,
                     bool hasMac = true) {
            return FakeHost::adapter(name, hasMac ? m : nullptr, ip, eth, up);
        };
        QTest::newRow("172.22 address wins at once")
            << QList<QuorlixAdapter>{a("Local Area Connection"), a("LAN", "172.22.0.2"), a("Ethernet 2")}
            << 1;
        QTest::newRow("virtual adapters skipped")
            << QList<QuorlixAdapter>{a("vEthernet (WSL)", "172.22.0.2"), a("VMware Network Adapter VMnet8"),
                                     a("VirtualBox Host-Only Network"), a("Hyper-V Virtual Ethernet Adapter")}
            << -1;
        QTest::newRow("non-Ethernet, down or MAC-less skipped")
            << QList<QuorlixAdapter>{a("Ethernet", "172.22.0.2", false),
                                     a("Ethernet 2", nullptr, true, false),
                                     a("Ethernet 3", nullptr, true, true, false), a("Wi-Fi")}
            << 3;
        QTest::newRow("a later Ethernet name replaces the first")
            << QList<QuorlixAdapter>{a("Wi-Fi"), a("Bridge"), a("Ethernet 3"), a("Other")} << 2;
        QTest::newRow("first kept without an Ethernet name")
            << QList<QuorlixAdapter>{a("eth0"), a("eth1")} << 0;
        QTest::newRow("none") << QList<QuorlixAdapter>{} << -1;
    }
    void adapterRule()
    {
        QFETCH(QList<QuorlixAdapter>, adapters);
        QFETCH(int, chosen);
        QCOMPARE(gateway_choose_adapter(adapters.constData(), int(adapters.size())), chosen);
    }

    void adapterLine()
    {
        m_host->adapters = {FakeHost::adapter("", kPcMac)};
        LogCapture log;
        uint8_t mac[6];
        QCOMPARE(gateway_find_local_mac(mac), 1);
        QCOMPARE(log.lines(), QStringList{"[CONFIG] Using adapter: (unknown)  MAC=02:11:22:33:44:55"});
        m_host->adaptersFail = true;
        QCOMPARE(gateway_find_local_mac(mac), 0);
        QCOMPARE(QByteArray(reinterpret_cast<char *>(mac), 6), QByteArray(6, '\0'));
    }

    void secondRunUsesNewSettings()
    {
        console_gateway_set_runtime_config("203.0.113.7", "warzone", "3074,3075", "443", 50001, 1);
        {
            GatewayRun run;
            QVERIFY(quorlix_drvsim_wait_mapped(1, 5000));
            QCOMPARE(run.stop(), 0);
        }
        QByteArray first(CCFG_SIZE, '\0');
        QVERIFY(quorlix_drvsim_set_record(0, reinterpret_cast<uint8_t *>(first.data())));
        QCOMPARE(first.mid(CCFG_SERVER_IP, 6).toHex(), QByteArray("cb007107c351"));
        QCOMPARE(uint8_t(first[CCFG_UDP_COUNT]), uint8_t(2));
        QCOMPARE(uint8_t(first[CCFG_TUNNEL_ALL_PORTS]), uint8_t(1));

        // Port 0 keeps the port, absent texts empty the sets, no profile keeps it.
        console_gateway_set_runtime_config("203.0.113.8", nullptr, "", nullptr, 0, 0);
        LogCapture log;
        {
            GatewayRun run;
            QVERIFY(quorlix_drvsim_wait_mapped(2, 5000));
            QCOMPARE(run.stop(), 0);
        }
        QByteArray second(CCFG_SIZE, '\0');
        QVERIFY(quorlix_drvsim_set_record(2, reinterpret_cast<uint8_t *>(second.data())));
        QCOMPARE(second.mid(CCFG_SERVER_IP, 6).toHex(), QByteArray("cb007108c351"));
        QCOMPARE(second.mid(CCFG_UDP_COUNT, 4), QByteArray(4, '\0'));
        QCOMPARE(second.mid(CCFG_TCP_COUNT, 4), QByteArray(4, '\0'));
        QCOMPARE(second.mid(CCFG_UDP_BITMAP, CCFG_BITMAP_BYTES), QByteArray(CCFG_BITMAP_BYTES, '\0'));
        QCOMPARE(uint8_t(second[CCFG_TUNNEL_ALL_PORTS]), uint8_t(0));
        QVERIFY(log.has("[CONFIG] Runtime profile 'warzone': UDP=0 TCP=0 TunnelAllPorts=FALSE"));
    }

    void longPortListParsedWhole()
    {
        QByteArray text;
        for (int p = 1; p <= 20000; ++p)
            text += QByteArray::number(p) + ", ";
        QVERIFY(text.size() > 100000);
        console_gateway_set_runtime_config(nullptr, nullptr, text.constData(), "65535", 0, 0);
        GatewayState &s = gateway_state();
        QCOMPARE(s.udp_count, 20000ul);
        QVERIFY(gateway_port_bitmap_test(s.udp_bitmap, 20000));
        QVERIFY(!gateway_port_bitmap_test(s.udp_bitmap, 20001));
        QCOMPARE(s.tcp_count, 1ul);
    }

    void stopBeforeMainIsKept()
    {
        console_gateway_set_runtime_config("203.0.113.7", "custom", "", "", 0, 0);
        LogCapture log;
        console_gateway_arm();
        console_gateway_stop();
        QCOMPARE(console_gateway_run_state(), int(CONSOLE_GATEWAY_STOP_REQUESTED));
        char arg0[] = "gw";
        char *argv[] = {arg0, nullptr};
        const OwnTime t;
        QCOMPARE(console_gateway_main(1, argv), 0);
        QVERIFY2(t.elapsed() < 100, qPrintable(QString::number(t.elapsed())));
        QCOMPARE(quorlix_drvsim_open_count(), size_t(0));
        QVERIFY(log.lines().isEmpty());
        QCOMPARE(console_gateway_run_state(), int(CONSOLE_GATEWAY_IDLE));
        // A stop with nothing armed or running is not kept for a later run.
        console_gateway_stop();
        QCOMPARE(console_gateway_run_state(), int(CONSOLE_GATEWAY_IDLE));
    }

    void manyStartStopCycles()
    {
        console_gateway_set_runtime_config("203.0.113.7", "custom", "3074", "", 50000, 0);
        LogCapture log;
        size_t maps = 0;
        for (int i = 0; i < 200; ++i) {
            GatewayRun run;
            if (i % 3 == 0) { // sometimes the stop comes before main has begun
                QCOMPARE(run.stop(), 0);
            } else {
                QVERIFY(quorlix_drvsim_wait_mapped(maps + 1, 5000));
                QCOMPARE(run.stop(), 0);
            }
            maps = quorlix_drvsim_open_count();
            QCOMPARE(quorlix_drvsim_is_open(), 0);
            QCOMPARE(console_gateway_run_state(), int(CONSOLE_GATEWAY_IDLE));
            QVERIFY(!quorlix_socket_is_open(&gateway_state().sock));
        }
        QCOMPARE(log.count("[RX] Server receive thread started"),
                 log.count("[RX] Server receive thread stopped"));
    }
};

QTEST_GUILESS_MAIN(TestConsoleGateway)
#include "tst_console_gateway.moc"
