// Start-up, capture-filter rebuild, runtime changes and stop of the engine run.

#include "LoopHarness.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace loopharness;

namespace {

const char *kPrimary = "198.51.100.1";
const char *kSecond = "198.51.100.2";
const uint32_t kGoldenConnId = 0x3B90F7E4;

Bytes gamePacket()
{
    return udp("10.0.0.2", 50000, "1.2.3.4", 3074, text("hi"));
}
Bytes replyFrom(const char *relay)
{
    return udp(relay, 50000, "10.0.0.2", 40001, datagram(17, kGoldenConnId, text("hi")));
}

} // namespace

class TestLoopControl : public QObject
{
    Q_OBJECT

private slots:
    void startupLogsAndFilter();
    void startupWithoutTcp();
    void startupFailures_data();
    void startupFailures();
    void secondRunIsRefused();
    void rebuildCapturesANewRelay();
    void rebuildFailureKeepsTheOldHandle_data();
    void rebuildFailureKeepsTheOldHandle();
    void rebuildNamesAtMostSixteenRelays();
    void entryUpdateMovesTheFilter();
    void runtimeConfigChangeIsApplied();
    void stopReturnsPromptly_data();
    void stopReturnsPromptly();
    void verboseRunTracesThePath();
    void verboseAndMssLineFollowTheirSwitches_data();
    void verboseAndMssLineFollowTheirSwitches();
};

void TestLoopControl::startupLogsAndFilter()
{
    Engine e;
    e.udpPorts({3074, 3075});
    e.tcpPorts({27015});
    QVERIFY(e.start());
    QVERIFY(e.settle());
    const std::string out = e.stdoutText();
    const char *lines[] = {
        "=== Quorlix Tunnel Client v2.0 ===\n",
        "[CONFIG] Game Profile: custom\n",
        "[CONFIG] Entry Server: 198.51.100.1:50000\n",
        "[CONFIG] UDP Ports: 3074,3075\n",
        "[CONFIG] TCP Ports: 27015\n",
        "[INFO] TCP tunneling enabled\n",
        "\n[CONFIG] Safe MTU (inner+16): 1400\n",
        "[INFO] WinDivert filter: ((outbound and ip and ip.DstAddr != 198.51.100.1) or (inbound and "
        "udp.SrcPort == "
        "50000 and (ip.SrcAddr == 198.51.100.1)))\n",
        "[*] Tunneling UDP+TCP ports to Entry Server 198.51.100.1:50000\n",
        "[*] Logging all tunneled packets...\n",
    };
    size_t pos = 0;
    for (const char *line : lines) {
        const size_t at = out.find(line, pos);
        QVERIFY2(at != std::string::npos, line);
        pos = at;
    }
    QCOMPARE(e.stop(), 0);
    QVERIFY(e.logged("[INFO] Stop requested. Closing WinDivert and exiting loop.\n"));
    QVERIFY(!tunnel_state_run_active());
    QCOMPARE(int(quorlix_capsim_open_handles()), 0);
}

void TestLoopControl::startupWithoutTcp()
{
    Engine e;
    e.udpPorts({3074});
    e.tcpPorts({27015});
    e.config().enable_tcp = 0;
    QVERIFY(e.start());
    QVERIFY(e.settle());
    QVERIFY(e.logged("[CONFIG] UDP Ports: 3074\n[INFO] TCP tunneling disabled (only UDP)\n"));
    QVERIFY(!e.logged("[CONFIG] TCP Ports:"));
    QVERIFY(e.logged("[*] Tunneling UDP ports to Entry Server 198.51.100.1:50000\n"));
    // The TCP list is not even loaded: its port is no game port for this run.
    e.outbound(tcp("10.0.0.2", 40000, "1.2.3.4", 27015, 0x10));
    QVERIFY(e.settle());
    QCOMPARE(int(e.wire().size()), 1);
    QVERIFY(!e.logged("[GAME-TCP]"));
    QCOMPARE(e.stop(), 0);
}

void TestLoopControl::startupFailures_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("stdoutLine");
    QTest::addColumn<QString>("stderrText");

    QTest::newRow("relay address that does not parse") << "badip"
                                                       << ""
                                                       << "Bad IP\n";
    QTest::newRow("socket cannot be created") << "socket"
                                              << "[ERROR] Failed to create socket: 24\n"
                                              << "Failed to initialize connection to Entry Server\n";
    QTest::newRow("capture cannot be opened") << "capture"
                                              << ""
                                              << "Open failed (2)\n";
    QTest::newRow("filter refused") << "filter"
                                    << ""
                                    << "Open failed (87)\nERROR_INVALID_PARAMETER: Filter syntax "
                                       "error\nFilter was: ((outbound and ip and "
                                       "ip.DstAddr != 198.51.100.1) or (inbound and udp.SrcPort == 50000 and "
                                       "(ip.SrcAddr == 198.51.100.1)))\n";
    QTest::newRow("no configuration at all") << "noconfig"
                                             << "[ERROR] Failed to load configuration file quorlix.conf\n"
                                             << "";
}

void TestLoopControl::startupFailures()
{
    QFETCH(QString, fault);
    QFETCH(QString, stdoutLine);
    QFETCH(QString, stderrText);

    Engine e;
    e.udpPorts({3074});
    if (fault == "badip")
        strcpy(e.config().entry_host, "999.1.1.1");
    e.failSocketOpen(fault == "socket");
    if (fault == "capture")
        quorlix_capsim_fail_next_open(QUORLIX_CAPTURE_ERR_UNAVAILABLE);
    if (fault == "filter")
        quorlix_capsim_fail_next_open(QUORLIX_CAPTURE_ERR_FILTER_SYNTAX);
    int result;
    if (fault == "noconfig") {
        // No record handed over: the run looks for "quorlix.conf" in the
        // current directory, which an empty temporary folder lacks.
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
        quorlix_clear_runtime_config();
        result = quorlix_tunnel_main();
        QDir::setCurrent(previous);
    } else {
        result = e.runExpectingFailure();
    }
    QCOMPARE(result, 1);
    if (!stdoutLine.isEmpty())
        QVERIFY2(e.logged(stdoutLine.toStdString()), e.stdoutText().c_str());
    QCOMPARE(QString::fromStdString(e.stderrText()), stderrText);
    QVERIFY(!tunnel_state_run_active());
    QCOMPARE(int(quorlix_capsim_open_handles()), 0);
    QVERIFY(!quorlix_socket_is_open(tunnel_loop_socket()));
}

void TestLoopControl::secondRunIsRefused()
{
    Engine e;
    e.udpPorts({3074});
    QVERIFY(e.start());
    QCOMPARE(quorlix_tunnel_main(), 1);
    QVERIFY(e.stderrText().find("already running") != std::string::npos);
    // The first run is untouched and still tunnels.
    QVERIFY(tunnel_state_run_active());
    e.outbound(gamePacket());
    QVERIFY(e.settle());
    QCOMPARE(int(e.sentData().size()), 1);
    QCOMPARE(e.stop(), 0);
    QVERIFY(!tunnel_state_run_active());
}

void TestLoopControl::rebuildCapturesANewRelay()
{
    Engine e;
    e.udpPorts({3074});
    QVERIFY(e.start());
    e.outbound(gamePacket());
    QVERIFY(e.settle());
    QCOMPARE(int(e.sentData().size()), 1);

    // Before the mapping the second relay's datagrams are not captured: they
    // reach the stack as they came.
    const Bytes early = replyFrom(kSecond);
    e.inbound(early);
    QVERIFY(e.settle());
    auto stack = e.stack();
    QCOMPARE(int(stack.size()), 1);
    QVERIFY(stack[0] == early);

    quorlix_add_port_server_mapping(4000, kSecond, 50000);
    QVERIFY(e.settle());
    QVERIFY(e.waitLogged("[RUNTIME] WinDivert filter updated for new entry servers\n"));
    QVERIFY(e.logged("[WINDIVERT-RESTART] Found 2 unique entry servers\n"));
    QVERIFY(e.logged("[WINDIVERT-RESTART] Including server: 198.51.100.2\n"));
    QVERIFY(e.logged("[WINDIVERT-RESTART] New filter: ((outbound and ip and ip.DstAddr != 198.51.100.1 and "
                     "ip.DstAddr != 198.51.100.2) or (inbound and udp.SrcPort == 50000 and (ip.SrcAddr == "
                     "198.51.100.1 or ip.SrcAddr == 198.51.100.2)))\n"));
    QVERIFY(e.logged("[WINDIVERT-RESTART] Closing old WinDivert handle...\n"));
    QCOMPARE(int(quorlix_capsim_open_handles()), 1);

    e.inbound(replyFrom(kSecond));
    QVERIFY(e.settle());
    stack = e.stack();
    QCOMPARE(int(stack.size()), 1);
    QCOMPARE(int(stack[0].size()), 30); // rebuilt from the flow
    // The primary relay's replies are still captured by the new handle.
    e.inbound(replyFrom(kPrimary));
    QVERIFY(e.settle());
    QCOMPARE(int(e.stack().size()), 1);
    QCOMPARE(e.stop(), 0);
    QCOMPARE(int(quorlix_capsim_open_handles()), 0);
}

void TestLoopControl::rebuildFailureKeepsTheOldHandle_data()
{
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("lines"); // written after the "Failed to open" line
    QTest::newRow("capture unavailable") << int(QUORLIX_CAPTURE_ERR_UNAVAILABLE) << "";
    QTest::newRow("filter refused")
        << int(QUORLIX_CAPTURE_ERR_FILTER_SYNTAX)
        << "[WINDIVERT-RESTART] ERROR_INVALID_PARAMETER: Filter syntax error\n[WINDIVERT-RESTART] Filter "
           "was: "
           "((outbound and ip and ip.DstAddr != 198.51.100.1 and ip.DstAddr != 198.51.100.2) or (inbound and "
           "udp.SrcPort == 50000 and (ip.SrcAddr == 198.51.100.1 or ip.SrcAddr == 198.51.100.2)))\n";
}

void TestLoopControl::rebuildFailureKeepsTheOldHandle()
{
    QFETCH(int, error);
    QFETCH(QString, lines);

    Engine e;
    e.udpPorts({3074});
    QVERIFY(e.start());
    e.outbound(gamePacket());
    QVERIFY(e.settle());
    e.sentData();

    quorlix_capsim_fail_next_open(error);
    quorlix_add_port_server_mapping(4000, kSecond, 50000);
    QVERIFY(e.settle());
    QVERIFY(e.waitLogged("[RUNTIME] \xE2\x9D\x8C Failed to restart WinDivert, keeping old filter\n"));
    QVERIFY(e.logged(QString("[WINDIVERT-RESTART] \xE2\x9D\x8C Failed to open WinDivert (%1)\n%2")
                         .arg(error)
                         .arg(lines)
                         .toStdString()));
    QCOMPARE(int(quorlix_capsim_open_handles()), 1);

    // The old handle keeps working both ways.
    e.outbound(gamePacket());
    QVERIFY(e.settle());
    QCOMPARE(int(e.sentData().size()), 1);
    e.inbound(replyFrom(kPrimary));
    QVERIFY(e.settle());
    auto stack = e.stack();
    QCOMPARE(int(stack.size()), 1);
    QCOMPARE(int(stack[0].size()), 30);
    // ... with the old filter: the new relay is still not captured.
    const Bytes fromSecond = replyFrom(kSecond);
    e.inbound(fromSecond);
    QVERIFY(e.settle());
    stack = e.stack();
    QCOMPARE(int(stack.size()), 1);
    QVERIFY(stack[0] == fromSecond);
}

void TestLoopControl::rebuildNamesAtMostSixteenRelays()
{
    Engine e;
    e.udpPorts({3074});
    QVERIFY(e.start());
    e.outbound(gamePacket());
    QVERIFY(e.settle());
    // Twenty mappings to twenty relays: the primary and the first fifteen of
    // them make the sixteen the filter names.
    for (int i = 0; i < 20; ++i)
        quorlix_add_port_server_mapping(4000 + i, QString("198.51.100.%1").arg(10 + i).toLatin1().constData(),
                                        50000);
    QVERIFY(e.settle());
    QVERIFY(e.waitLogged("[WINDIVERT-RESTART] Found 16 unique entry servers\n"));
    QVERIFY(e.waitLogged("[RUNTIME] WinDivert filter updated for new entry servers\n"));
    QVERIFY(e.settle());
    QVERIFY(!e.logged("Failed"));

    e.inbound(replyFrom("198.51.100.24")); // 15th mapped relay: captured and rebuilt
    QVERIFY(e.settle());
    auto stack = e.stack();
    QCOMPARE(int(stack.size()), 1);
    QCOMPARE(int(stack[0].size()), 30);
    const Bytes beyond = replyFrom("198.51.100.25"); // 16th mapped relay: not in the filter
    e.inbound(beyond);
    QVERIFY(e.settle());
    stack = e.stack();
    QCOMPARE(int(stack.size()), 1);
    QVERIFY(stack[0] == beyond);
}

void TestLoopControl::entryUpdateMovesTheFilter()
{
    // A new primary relay gets its own replies captured without any mapping.
    Engine e;
    e.udpPorts({3074});
    QVERIFY(e.start());
    quorlix_update_entry("203.0.113.7", 50000);
    QVERIFY(e.settle());
    QVERIFY(e.waitLogged("[RUNTIME] WinDivert filter updated for new entry servers\n"));
    QVERIFY(e.logged("(ip.SrcAddr == 203.0.113.7)"));
    e.outbound(gamePacket());
    QVERIFY(e.settle());
    const auto sent = e.sentData();
    QCOMPARE(int(sent.size()), 1);
    QCOMPARE(sent[0].addr, ip("203.0.113.7"));
    e.inbound(replyFrom("203.0.113.7"));
    QVERIFY(e.settle());
    const auto stack = e.stack();
    QCOMPARE(int(stack.size()), 1);
    QCOMPARE(int(stack[0].size()), 30);
}

void TestLoopControl::runtimeConfigChangeIsApplied()
{
    Engine e;
    e.udpPorts({3074});
    QVERIFY(e.start());
    e.outbound(udp("10.0.0.2", 40000, "1.2.3.4", 5000, text("x")));
    QVERIFY(e.settle());
    QCOMPARE(int(e.sentData().size()), 0);

    e.udpPorts({5000});
    quorlix_set_runtime_config(&e.config());
    QVERIFY(e.tick(2000));
    QVERIFY(e.logged("[RUNTIME] Configuration updated and applied\n"));
    e.outbound(udp("10.0.0.2", 40000, "1.2.3.4", 5000, text("x")));
    QVERIFY(e.settle());
    QCOMPARE(int(e.sentData().size()), 1);
}

void TestLoopControl::stopReturnsPromptly_data()
{
    QTest::addColumn<QString>("situation");
    QTest::newRow("waiting for a packet") << "idle";
    QTest::newRow("while the filter is being rebuilt") << "rebuild";
    QTest::newRow("while traffic flows") << "traffic";
}

void TestLoopControl::stopReturnsPromptly()
{
    QFETCH(QString, situation);
    for (int round = 0; round < 20; ++round) {
        Engine e;
        e.udpPorts({3074});
        QVERIFY(e.start());
        if (situation == "rebuild")
            quorlix_add_port_server_mapping(4000 + round, kSecond, 50000);
        if (situation == "traffic") {
            for (int i = 0; i < 200; ++i)
                e.outbound(gamePacket());
        }
        if (situation == "rebuild")
            e.outbound(gamePacket()); // wakes the loop into the rebuild
        QElapsedTimer t;
        t.start();
        QCOMPARE(e.stop(), 0);
        QVERIFY2(t.elapsed() < 1500, qPrintable(QString::number(t.elapsed())));
        QCOMPARE(int(quorlix_capsim_open_handles()), 0);
        QVERIFY(!quorlix_socket_is_open(tunnel_loop_socket()));
        if (situation != "traffic")
            break;
    }
}

void TestLoopControl::verboseRunTracesThePath()
{
    Engine e;
    e.udpPorts({3074});
    e.config().debug_mode = 1;
    QVERIFY(e.start());
    e.outbound(gamePacket());
    e.outbound(tcp("10.0.0.2", 40000, "1.2.3.4", 8080, 0x02, mssOption(1460)));
    QVERIFY(e.settle());
    e.inbound(replyFrom(kPrimary));
    QVERIFY(e.settle());
    const char *lines[] = {
        "[DEBUG] Packet: 10.0.0.2:50000 -> 1.2.3.4:3074 (proto=UDP) [SrcAddr=0x0a000002, "
        "DstAddr=0x01020304]\n",
        "[ROUTING] Port 3074: 198.51.100.1:50000 \xE2\x86\x92 198.51.100.1:50000\n",
        "[OUTBOUND] Quorlix UDP Encap: 10.0.0.2:50000 -> 1.2.3.4:3074 (ConnID: 0x3b90f7e4, via "
        "198.51.100.1:50000)\n",
        "[DEBUG] Quorlix packet created: outerLen=46 (header=16 + inner=30)\n",
        "[DEBUG] Sent 46 bytes to Entry Server\n",
        "[MSS] Clamped MSS 1460 -> 1000 on SYN to 8080\n",
        "[INBOUND] Quorlix UDP Decap: 1.2.3.4:3074 -> 10.0.0.2:50000 (ConnID: 0x3b90f7e4, from "
        "198.51.100.1:50000)\n",
        "[INBOUND] Rebuilt UDP packet: 1.2.3.4:3074 -> 10.0.0.2:50000 (len=30)\n",
        "[INJECT] UDP packet -> stack: len=30\n",
    };
    for (const char *line : lines)
        QVERIFY2(e.logged(line), line);
}

void TestLoopControl::verboseAndMssLineFollowTheirSwitches_data()
{
    // source: "record" hands debug_mode over in the runtime record; "file"
    // starts without one, from a quorlix.conf with the given debug_mode line
    // ("" for none).
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("debug");
    QTest::addColumn<bool>("verbose");
    QTest::addColumn<bool>("mssLine");

    QTest::newRow("record, debug off") << "record"
                                       << "0" << false << false;
    QTest::newRow("record, debug on") << "record"
                                      << "1" << true << true;
    // The file's record flag defaults to on, its verbose flag to off.
    QTest::newRow("file without the key") << "file"
                                          << "" << false << true;
    QTest::newRow("file, debug_mode=true") << "file"
                                           << "true" << true << true;
    QTest::newRow("file, debug_mode=false") << "file"
                                            << "false" << false << false;
    QTest::newRow("file, debug_mode=TRUE is not true") << "file"
                                                       << "TRUE" << false << false;
}

void TestLoopControl::verboseAndMssLineFollowTheirSwitches()
{
    QFETCH(QString, source);
    QFETCH(QString, debug);
    QFETCH(bool, verbose);
    QFETCH(bool, mssLine);

    Engine e;
    if (source == "record") {
        e.udpPorts({3074});
        e.config().debug_mode = debug.toUInt();
        QVERIFY(e.start());
    } else {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QFile conf(dir.filePath("quorlix.conf"));
        QVERIFY(conf.open(QIODevice::WriteOnly));
        QByteArray text = "entry_host=198.51.100.1\nentry_port=50000\ngame_profile=custom\n";
        if (!debug.isEmpty())
            text += "debug_mode=" + debug.toLatin1() + "\n";
        text += "[custom]\nudp_ports=3074\n";
        conf.write(text);
        conf.close();
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
        const bool started = e.startFromFile();
        QDir::setCurrent(previous);
        QVERIFY(started);
    }
    e.outbound(tcp("10.0.0.2", 40000, "1.2.3.4", 8080, 0x02, mssOption(1460)));
    QVERIFY(e.settle());
    const auto wire = e.wire();
    QCOMPARE(int(wire.size()), 1);
    QCOMPARE(int(mssOf(wire[0])), 1000); // clamped whatever the switches say

    QCOMPARE(e.logged("[DEBUG] Initializing connection to Entry Server...\n"), verbose);
    QCOMPARE(e.logged("[MSS] Clamped MSS 1460 -> 1000 on SYN to 8080\n"), mssLine);
    QCOMPARE(e.stop(), 0);
}

QTEST_GUILESS_MAIN(TestLoopControl)
#include "tst_loop_control.moc"
