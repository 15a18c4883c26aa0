// End to end on plain loopback: the simulated driver, the engine on its own
// thread with its real socket, and the test relay serving the console client
// on 127.0.0.1 (any port). Frames pushed into the receive ring come back as
// frames in the U2C ring, in both answer forms the relay uses.

#include "ConsoleFixture.h"

#include <cstring>

#include "engine/console/console_gateway.h"
#include "engine/console/console_state.h"
#include "engine/console/console_uplink.h"
#include "platform/driver/console_device.h"
#include "platform/driver/driver_sim.h"
#include "support/testrelay/TestRelay.h"

#include <QElapsedTimer>
#include <QtTest>

namespace {

Bytes waitFrame(int ms = 5000)
{
    QElapsedTimer t;
    t.start();
    uint8_t buf[RING_MAX_FRAME];
    size_t n = 0;
    while (t.elapsed() < ms) {
        if (quorlix_drvsim_pop_u2c(buf, sizeof buf, &n) == 1)
            return Bytes(buf, buf + n);
        QThread::msleep(1);
    }
    return Bytes();
}

bool waitForLine(const LogCapture &log, const QString &prefix, int ms = 5000)
{
    QElapsedTimer t;
    t.start();
    while (log.count(prefix) == 0 && t.elapsed() < ms)
        QThread::msleep(2);
    return log.count(prefix) > 0;
}

} // namespace

class TestConsoleEndToEnd : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        resetGateway();
        quorlix_drvsim_install();
    }
    void cleanup() { quorlix_drvsim_uninstall(); }

    // The relay's console mode is as strict as its PC mode: what the engine
    // sends passes, and each field broken on its own is refused.
    void relayChecksConsoleDatagrams_data()
    {
        QTest::addColumn<int>("offset");
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("reason");
        QTest::newRow("as sent") << -1 << 0 << "";
        QTest::newRow("data flag") << 0 << 0x18 << "console datagram with flags set";
        QTest::newRow("header length 40") << 9 << 40 << "console header length is not 16";
        QTest::newRow("ConnID") << 7 << -1 << "ConnID does not match the inner flow";
        QTest::newRow("inner checksum") << 16 + 10 << -1 << "inner IPv4 header checksum wrong";
    }
    void relayChecksConsoleDatagrams()
    {
        QFETCH(int, offset);
        QFETCH(int, value);
        QFETCH(QString, reason);
        FakeSocket sock;
        int err = 0;
        QVERIFY(quorlix_socket_open(&gateway_state().sock, &err));
        const Bytes udp = testpackets::udp("172.22.0.5", 3074, "203.0.113.50", 3075, Bytes(20, 'u'));
        const Bytes frame = ethFrame(kPcMac, kConsoleMac, udp);
        QVERIFY(gateway_encapsulate_uplink(frame.data(), frame.size()));
        Bytes dg = sock.sent().at(0).data;
        if (offset >= 0)
            dg[size_t(offset)] = value >= 0 ? uint8_t(value) : uint8_t(dg[size_t(offset)] ^ 0x5A);
        std::string why;
        QCOMPARE(testrelay::TestRelay::checkClientDatagram(dg.data(), dg.size(), &why, true),
                 reason.isEmpty());
        QCOMPARE(QString::fromStdString(why), reason);
        // The PC client's rules never take a console datagram.
        QVERIFY(!testrelay::TestRelay::checkClientDatagram(dg.data(), dg.size(), nullptr, false));
    }

    void framesThroughTheRelayAndBack()
    {
        testrelay::TestRelay::Options options;
        options.port = 0;
        options.consoleClient = true;
        testrelay::TestRelay relay(options);
        QVERIFY2(relay.start(), relay.errorString().c_str());
        FakeHost host; // the machine's own adapters and routes play no part
        host.adapters = {FakeHost::adapter("Ethernet", kPcMac)};
        TestClock clock;
        console_gateway_set_runtime_config("127.0.0.1", "custom", "3074", "443", relay.boundPort(), 0);
        gateway_state().settings.verbose_packets = 1;

        LogCapture log;
        GatewayRun run;
        QVERIFY(waitForLine(log, "[GATEWAY] Waiting for console packets..."));

        const Bytes udp =
            testpackets::udp("172.22.0.5", 3074, "203.0.113.50", 3075, Bytes{'p', 'i', 'n', 'g'});
        QCOMPARE(quorlix_drvsim_push_rx(ethFrame(kPcMac, kConsoleMac, udp).data(), 14 + udp.size()), 1);
        Bytes f = waitFrame();
        QVERIFY2(!f.empty(), qPrintable(log.lines().join('\n') + "\n" + relay.stats().lastRejection.c_str()));
        QCOMPARE(Bytes(f.begin(), f.begin() + 12), [] {
            Bytes b(12);
            std::memcpy(b.data(), kConsoleMac, 6);
            std::memcpy(b.data() + 6, kPcMac, 6);
            return b;
        }());
        // The echo, rebuilt from the flow: remote to console, ports swapped.
        QCOMPARE(f.size(), size_t(14 + 28 + 4));
        QCOMPARE(Bytes(f.begin() + 14 + 12, f.begin() + 14 + 20), (Bytes{203, 0, 113, 50, 172, 22, 0, 5}));
        QCOMPARE(Bytes(f.begin() + 14 + 20, f.begin() + 14 + 24), (Bytes{0x0C, 0x03, 0x0C, 0x02}));
        QCOMPARE(Bytes(f.end() - 4, f.end()), (Bytes{'p', 'i', 'n', 'g'}));
        QVERIFY(log.has(QString("[RX<-SERVER] Injected response (len=%1 mode=udp-payload)").arg(f.size())));

        const Bytes syn = tcpPacket("172.22.0.5", 50001, "203.0.113.50", 443, 0x02, 1460);
        QCOMPARE(quorlix_drvsim_push_rx(ethFrame(kPcMac, kConsoleMac, syn).data(), 14 + syn.size()), 1);
        f = waitFrame();
        QVERIFY(!f.empty());
        QCOMPARE(f[14 + 9], uint8_t(6));
        QCOMPARE(f[14 + 20 + 13], uint8_t(0x12)); // SYN/ACK
        QVERIFY(log.has(QString("[RX<-SERVER] Injected response (len=%1 mode=ipv4)").arg(f.size())));

        const testrelay::RelayStats st = relay.stats();
        QCOMPARE(st.accepted, uint64_t(2));
        QCOMPARE(st.rejected, uint64_t(0));
        // The SYN reached the relay with its MSS clamped to the path's (1500 - 84).
        const std::vector<std::vector<uint8_t>> got = relay.lastDatagrams();
        QCOMPARE(got.size(), size_t(2));
        QCOMPARE(int(got[1][16 + 20 + 22] << 8 | got[1][16 + 20 + 23]), 1416);

        clock.now += 5000;
        QVERIFY(waitForLine(log, "[STATS] Packets: 2, Drops: 0"));
        QVERIFY(waitForLine(log, "[RB2]  U2C W=2 R=2 Drop=0 UserTotal=2"));
        QCOMPARE(run.stop(), 0);
        QCOMPARE(log.lines().last(), QString("[EXIT] Console gateway stopped"));
        relay.stop();
    }
};

QTEST_GUILESS_MAIN(TestConsoleEndToEnd)
#include "tst_console_e2e.moc"
