// The console driver interface: the record and region layout against the
// driver's tables, console mode switched on (record bytes and lines), and the
// console detection that reads the driver's record back.

#include "ConsoleFixture.h"

#include "engine/console/console_device_config.h"
#include "engine/console/console_state.h"
#include "platform/driver/console_device.h"
#include "platform/driver/driver.h"
#include "platform/driver/driver_sim.h"

#include <QtTest>
#include <arpa/inet.h>

class TestConsoleDevice : public QObject
{
    Q_OBJECT
private:
    void openDevice()
    {
        int err = 0;
        const quorlix_driver_handle h = quorlix_driver_open(QUORLIX_CONSOLE_DEVICE_NAME, &err);
        QVERIFY2(h != QUORLIX_DRIVER_INVALID, qPrintable(QString::number(err)));
        gateway_state().device.store(h);
    }
    static QByteArray record(size_t index)
    {
        QByteArray rec(CCFG_SIZE, '\0');
        if (!quorlix_drvsim_set_record(index, reinterpret_cast<uint8_t *>(rec.data())))
            return QByteArray();
        return rec;
    }
    static quint32 le32(const QByteArray &r, int off)
    {
        const auto *p = reinterpret_cast<const uint8_t *>(r.constData() + off);
        return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
    }

private slots:
    void init()
    {
        resetGateway();
        quorlix_drvsim_install();
    }
    void cleanup()
    {
        quorlix_driver_close(gateway_state().device.exchange(QUORLIX_DRIVER_INVALID));
        quorlix_drvsim_uninstall();
    }

    void layoutMatchesTheDriver_data()
    {
        QTest::addColumn<qlonglong>("value");
        QTest::addColumn<qlonglong>("expected");
        auto row = [](const char *name, qlonglong v, qlonglong e) { QTest::newRow(name) << v << e; };
        row("GET_STATUS", CONSOLE_IOCTL_GET_STATUS, 0x122020);
        row("GET_BUILD_INFO", CONSOLE_IOCTL_GET_BUILD_INFO, 0x12202C);
        row("SET_CONSOLE_CONFIG", CONSOLE_IOCTL_SET_CONSOLE_CONFIG, 0x122030);
        row("GET_CONSOLE_CONFIG", CONSOLE_IOCTL_GET_CONSOLE_CONFIG, 0x122034);
        row("MAP_SHARED_MEMORY", CONSOLE_IOCTL_MAP_SHARED_MEMORY, 0x122038);
        row("config size", CCFG_SIZE, 16432);
        row("enabled", CCFG_ENABLED, 0);
        row("gateway_ip", CCFG_GATEWAY_IP, 4);
        row("subnet_mask", CCFG_SUBNET_MASK, 8);
        row("dns_ip", CCFG_DNS_IP, 12);
        row("local_mac", CCFG_LOCAL_MAC, 16);
        row("console_mac", CCFG_CONSOLE_MAC, 22);
        row("console_detected", CCFG_CONSOLE_DETECTED, 28);
        row("tunnel_all_ports", CCFG_TUNNEL_ALL_PORTS, 29);
        row("udp_port_bitmap", CCFG_UDP_BITMAP, 30);
        row("udp_port_count", CCFG_UDP_COUNT, 8224);
        row("tcp_port_bitmap", CCFG_TCP_BITMAP, 8228);
        row("tcp_port_count", CCFG_TCP_COUNT, 16420);
        row("server_ip", CCFG_SERVER_IP, 16424);
        row("server_port", CCFG_SERVER_PORT, 16428);
        row("status size", DSTATUS_SIZE, 344);
        row("FilteringActive", DSTATUS_FILTERING_ACTIVE, 1);
        row("Attached", DSTATUS_ATTACHED, 4);
        row("OffloadsDisabled", DSTATUS_OFFLOADS_DISABLED, 8);
        row("RecvCb", DSTATUS_RECV_CB, 184);
        row("ProcCalls", DSTATUS_PROC_CALLS, 192);
        row("ParseFails", DSTATUS_PARSE_FAILS, 200);
        row("build info size", DBUILD_SIZE, 48);
        row("Magic", DBUILD_MAGIC, 0);
        row("BuildStamp", DBUILD_STAMP, 16);
        row("region size", REGION_SIZE, 2097328);
        row("ring size", RING_SIZE, 1048572);
        row("slots", RING_SLOTS, 510);
        row("slot size", SLOT_SIZE, 2056);
        row("slot 0", RING_SLOT0, 12);
        row("ring W", RING_W, 0);
        row("ring R", RING_R, 4);
        row("ring drops", RING_DROPS, 8);
        row("slot length", SLOT_LENGTH, 0);
        row("slot tick", SLOT_TICK, 4);
        row("slot data", SLOT_DATA, 8);
        row("receive ring", REGION_RX_RING, 0);
        row("U2C ring", REGION_U2C_RING, 1048572);
        row("KernelTotal", REGION_KERNEL_TOTAL, 2097144);
        row("UserTotal", REGION_USER_TOTAL, 2097152);
        row("SubnetHit", REGION_CON_COUNTERS, 2097168);
        row("ProtoUDP", REGION_PROTO_COUNTERS, 2097232);
        row("LastProto", REGION_LAST_PROTO, 2097256);
        row("MiniportMacCached", REGION_MINIPORT_MAC_CACHED, 2097268);
        row("Seen", REGION_ARP_COUNTERS, 2097272);
        row("LastSender", REGION_LAST_SENDER, 2097320);
        row("LastTarget", REGION_LAST_TARGET, 2097324);
    }
    void layoutMatchesTheDriver()
    {
        QFETCH(qlonglong, value);
        QFETCH(qlonglong, expected);
        QCOMPARE(value, expected);
    }

    void consoleModeRecordAndLines()
    {
        FakeHost host;
        host.adapters = {FakeHost::adapter("eth0", kPcMac)};
        GatewayState &s = gateway_state();
        gateway_parse_port_bitmap("53,88,500,3074,3478,3479,3544,4500,5353,6000,6001,6002", s.udp_bitmap,
                                  &s.udp_count);
        gateway_parse_port_bitmap("443", s.tcp_bitmap, &s.tcp_count);
        openDevice();
        LogCapture log;
        QCOMPARE(gateway_set_console_config("203.0.113.7", 50000), 1);

        const QByteArray rec = record(0);
        QCOMPARE(rec.size(), int(CCFG_SIZE));
        const auto *r = reinterpret_cast<const uint8_t *>(rec.constData());
        QCOMPARE(r[CCFG_ENABLED], uint8_t(1));
        QCOMPARE(QByteArray(rec.mid(CCFG_GATEWAY_IP, 12)).toHex(), QByteArray("ac16ff22ffff000001010101"));
        QCOMPARE(QByteArray(rec.mid(CCFG_LOCAL_MAC, 6)),
                 QByteArray(reinterpret_cast<const char *>(kPcMac), 6));
        QCOMPARE(QByteArray(rec.mid(CCFG_CONSOLE_MAC, 8)), QByteArray(8, '\0'));
        QCOMPARE(r[CCFG_TUNNEL_ALL_PORTS], uint8_t(0));
        QCOMPARE(rec.mid(CCFG_SERVER_IP, 8).toHex(), QByteArray("cb007107c3500000"));
        QCOMPARE(le32(rec, CCFG_UDP_COUNT), 12u);
        QCOMPARE(le32(rec, CCFG_TCP_COUNT), 1u);
        QCOMPARE(r[CCFG_UDP_BITMAP + 3074 / 8], uint8_t(1u << (3074 % 8)));
        QCOMPARE(r[CCFG_TCP_BITMAP + 443 / 8], uint8_t(1u << (443 % 8)));
        QCOMPARE(rec.mid(1, 3), QByteArray(3, '\0'));
        QCOMPARE(rec.mid(8222, 2), QByteArray(2, '\0'));

        const QStringList expected = {
            "[CONFIG] Using adapter: eth0  MAC=02:11:22:33:44:55",
            "[OK] Console mode configured",
            "     Gateway:       172.22.255.34",
            "     Subnet:        255.255.0.0",
            "     DNS:           1.1.1.1",
            "     Tunnel Server: 203.0.113.7:50000",
            "     Game Profile:  custom",
            "     TunnelAllPorts:FALSE",
            "     Tunnel Ports:  UDP=12 TCP=1",
            "     UDP Ports:     53 88 500 3074 3478 3479 3544 4500 5353 6000 ... (2 more)",
            "     TCP Ports:     443 ",
            "[POLICY] Driver TunnelAllPorts=FALSE UDP=12 TCP=1",
            "[POLICY] Driver UDP Ports (first):",
            "     UDP Ports:     53 88 500 3074 3478 3479 3544 4500 5353 6000 ... (2 more)",
            "[POLICY] Driver TCP Ports (first):",
            "     TCP Ports:     443 ",
        };
        QCOMPARE(log.lines(), expected);
        QVERIFY(gateway_mac_valid(s.adapter_mac.load()));
    }

    void consoleModeFailures_data()
    {
        QTest::addColumn<int>("faultCall");
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("errLine");
        QTest::newRow("set refused") << int(QUORLIX_DRVSIM_SET) << 0
                                     << "[ERROR] SET_CONSOLE_CONFIG failed: 31";
        QTest::newRow("read-back refused")
            << int(QUORLIX_DRVSIM_GET) << 1 << "[WARN] GET_CONSOLE_CONFIG failed (policy readback): 31";
    }
    void consoleModeFailures()
    {
        QFETCH(int, faultCall);
        QFETCH(int, result);
        QFETCH(QString, errLine);
        FakeHost host;
        openDevice();
        quorlix_drvsim_fail(faultCall, 31);
        LogCapture log;
        QCOMPARE(gateway_set_console_config("203.0.113.7", 50000), result);
        QVERIFY2(log.errLines().contains(errLine), qPrintable(log.lines().join('\n')));
        QCOMPARE(log.has("[OK] Console mode configured"), result == 1);
        QCOMPARE(log.count("[POLICY]"), 0);
    }

    void withoutAdapterTheDriverPicksTheMac()
    {
        FakeHost host;
        host.adapters = {FakeHost::adapter("vEthernet (Default Switch)", kPcMac)};
        gateway_state().settings.tunnel_all_ports = 1;
        openDevice();
        LogCapture log;
        QCOMPARE(gateway_set_console_config("203.0.113.7", 50000), 1);
        QVERIFY(log.errLines().contains(
            "[WARN] Could not determine local Ethernet MAC (driver will use miniport MAC if available)"));
        QVERIFY(log.has("     TunnelAllPorts:TRUE"));
        const QByteArray rec = record(0);
        QCOMPARE(rec.mid(CCFG_LOCAL_MAC, 6), QByteArray(6, '\0'));
        QCOMPARE(uint8_t(rec[CCFG_TUNNEL_ALL_PORTS]), uint8_t(1));
        QVERIFY(!gateway_mac_valid(gateway_state().adapter_mac.load()));
    }

    void detectionAdoptsOnlyARealMac_data()
    {
        QTest::addColumn<QByteArray>("mac");
        QTest::addColumn<int>("detected");
        QTest::addColumn<bool>("adopted");
        QTest::addColumn<QString>("line");
        QTest::newRow("detected") << QByteArray::fromHex("0022480a0b0c") << 1 << true
                                  << "[DEBUG] ConsoleDetected=1 ConsoleMAC=00:22:48:0A:0B:0C";
        QTest::newRow("all-zero MAC")
            << QByteArray(6, '\0') << 1 << false << "[DEBUG] ConsoleDetected=1 ConsoleMAC=00:00:00:00:00:00";
        QTest::newRow("not detected") << QByteArray::fromHex("0022480a0b0c") << 0 << false
                                      << "[DEBUG] ConsoleDetected=0 ConsoleMAC=00:22:48:0A:0B:0C";
    }
    void detectionAdoptsOnlyARealMac()
    {
        QFETCH(QByteArray, mac);
        QFETCH(int, detected);
        QFETCH(bool, adopted);
        QFETCH(QString, line);
        openDevice();
        quorlix_drvsim_set_console(reinterpret_cast<const uint8_t *>(mac.constData()), detected);
        LogCapture log;
        gateway_read_console_config();
        QCOMPARE(log.lines(), QStringList{line});
        uint8_t known[6];
        QCOMPARE(gateway_console_mac(known) == 1, adopted);
        if (adopted)
            QCOMPARE(QByteArray(reinterpret_cast<const char *>(known), 6), mac);
    }

    void detectionFailureIsOnlyReported()
    {
        openDevice();
        quorlix_drvsim_fail(QUORLIX_DRVSIM_GET, 1167);
        LogCapture log;
        gateway_read_console_config();
        QCOMPARE(log.errLines(), QStringList{"[WARN] GET_CONSOLE_CONFIG failed: 1167"});
        // Without a device nothing is asked at all.
        quorlix_driver_close(gateway_state().device.exchange(QUORLIX_DRIVER_INVALID));
        log.clear();
        gateway_read_console_config();
        QVERIFY(log.lines().isEmpty());
    }

    void deviceSeamWithoutDriver()
    {
        quorlix_drvsim_uninstall();
        int err = 0;
        QCOMPARE(quorlix_driver_open(QUORLIX_CONSOLE_DEVICE_NAME, &err), QUORLIX_DRIVER_INVALID);
        QCOMPARE(err, int(QUORLIX_DRIVER_ERR_NOT_FOUND));
        quorlix_drvsim_install();
        const quorlix_driver_handle h = quorlix_driver_open(QUORLIX_CONSOLE_DEVICE_NAME, &err);
        QVERIFY(h != QUORLIX_DRIVER_INVALID);
        // Buffered I/O: short buffers are refused, a closed handle is stale for good.
        uint8_t small[16];
        QCOMPARE(quorlix_driver_control(h, CONSOLE_IOCTL_GET_CONSOLE_CONFIG, nullptr, 0, small, sizeof small,
                                        nullptr),
                 int(QUORLIX_DRIVER_ERR_INSUFFICIENT_BUFFER));
        QCOMPARE(quorlix_driver_control(h, CONSOLE_IOCTL_SET_CONSOLE_CONFIG, small, sizeof small, nullptr, 0,
                                        nullptr),
                 int(QUORLIX_DRIVER_ERR_INVALID_PARAMETER));
        quorlix_driver_close(h);
        quorlix_driver_close(h);
        uint64_t addr = 0;
        QCOMPARE(quorlix_driver_control(h, CONSOLE_IOCTL_MAP_SHARED_MEMORY, nullptr, 0, &addr, 8, nullptr),
                 int(QUORLIX_DRIVER_ERR_INVALID_HANDLE));
    }
};

QTEST_GUILESS_MAIN(TestConsoleDevice)
#include "tst_console_device.moc"
