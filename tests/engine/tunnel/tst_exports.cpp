// Exported functions of the PC tunnel engine around the server-mapping table,
// the learned application addresses and the counters.

#include "engine/tunnel/quorlix_tunnel.h"
#include "engine/tunnel/tunnel_ack.h"
#include "engine/tunnel/tunnel_state.h"
#include "support/EngineStateFixture.h"

#include <QtTest>

#include <arpa/inet.h>

namespace {
uint32_t ip(const char *text)
{
    return inet_addr(text);
}
uint32_t nthAddr(int i) // 10.1.x.y, distinct for i < 65536
{
    const QByteArray t = QString("10.1.%1.%2").arg(i / 256).arg(i % 256).toLatin1();
    return inet_addr(t.constData());
}
} // namespace

class TestExports : public QObject
{
    Q_OBJECT

private slots:
    void init() { EngineStateFixture::resetWithPrimaryRelay(); }
    void cleanup() { EngineStateFixture::reset(); }

    void lookupsWithoutMappingsUsePrimary();
    void mappingAddsLogAndRequestRebuild_data();
    void mappingAddsLogAndRequestRebuild();
    void invalidRelayAddressRefused_data();
    void invalidRelayAddressRefused();
    void mappingTableFullAt256_data();
    void mappingTableFullAt256();
    void nullArgumentsIgnored();
    void clearMappings();
    void relaySetPrimaryFirstAtMost16();
    void portLookupAndRelayEndpoints();
    void domainMappingLookups();
    void appAddressesGrowUntil512();
    void appAddressTextLookupIsExact_data();
    void appAddressTextLookupIsExact();
    void clearAppAddresses();
    void countersAndPrint();
    void resetDuringRunIsDeferredToEngineThread();
    void ackSwitchNeedsAcknowledgingRelay();
};

void TestExports::lookupsWithoutMappingsUsePrimary()
{
    QVERIFY(!tunnel_mapping_lock_exists());
    uint32_t set[TUNNEL_MAX_RELAYS];
    int total = -1;
    QCOMPARE(tunnel_relay_set(set, &total), 1);
    QCOMPARE(set[0], ip("192.0.2.1"));
    QCOMPARE(total, 0);
    QVERIFY(!tunnel_mapping_port_lookup(3074, nullptr, nullptr));
    QVERIFY(!tunnel_find_domain_mapping("game.test", nullptr, nullptr));
    uint32_t addr = 0;
    uint16_t port = 0;
    tunnel_server_for_domain("game.test", &addr, &port);
    QCOMPARE(addr, ip("192.0.2.1"));
    QCOMPARE(port, uint16_t(50000));
    QVERIFY(tunnel_is_relay_endpoint(ip("192.0.2.1"), 50000));
    QVERIFY(!tunnel_is_relay_endpoint(ip("192.0.2.1"), 50001));
}

void TestExports::mappingAddsLogAndRequestRebuild_data()
{
    QTest::addColumn<bool>("domain");
    QTest::addColumn<bool>("verbose");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("port, quiet") << false << false << QStringList();
    QTest::newRow("port, verbose") << false << true
                                   << QStringList{"[MAPPING] Added port 3074 -> 198.51.100.5:50000\n"};
    QTest::newRow("domain, verbose") << true << true
                                     << QStringList{
                                            "[MAPPING] Added domain '*.game.test' -> 198.51.100.5:50000\n"};
}

void TestExports::mappingAddsLogAndRequestRebuild()
{
    QFETCH(bool, domain);
    QFETCH(bool, verbose);
    QFETCH(QStringList, lines);
    tunnel_set_verbose(verbose);
    EngineLogCapture log;
    if (domain)
        quorlix_add_domain_server_mapping("*.game.test", "198.51.100.5", 50000);
    else
        quorlix_add_port_server_mapping(3074, "198.51.100.5", 50000);
    QCOMPARE(log.out(), lines);
    QCOMPARE(tunnel_mapping_count(), 1);
    QVERIFY(tunnel_mapping_lock_exists());
    QVERIFY(tunnel_take_filter_rebuild_request());
    QVERIFY(!tunnel_take_filter_rebuild_request());
}

void TestExports::invalidRelayAddressRefused_data()
{
    QTest::addColumn<QByteArray>("address");
    QTest::newRow("octet out of range") << QByteArray("999.1.1.1");
    QTest::newRow("broadcast") << QByteArray("255.255.255.255");
    QTest::newRow("name") << QByteArray("relay.example");
    QTest::newRow("empty") << QByteArray("");
}

void TestExports::invalidRelayAddressRefused()
{
    QFETCH(QByteArray, address);
    EngineLogCapture log;
    quorlix_add_port_server_mapping(3074, address.constData(), 50000);
    quorlix_add_domain_server_mapping("*.game.test", address.constData(), 50000);
    const QString line = QString("[MAPPING] Invalid IP address: %1\n").arg(QString(address));
    QCOMPARE(log.out(), (QStringList{line, line}));
    QCOMPARE(tunnel_mapping_count(), 0);
    QVERIFY(!tunnel_take_filter_rebuild_request());
}

void TestExports::mappingTableFullAt256_data()
{
    QTest::addColumn<bool>("lastIsDomain");
    QTest::newRow("257th is a port entry") << false;
    QTest::newRow("257th is a domain entry") << true;
}

void TestExports::mappingTableFullAt256()
{
    QFETCH(bool, lastIsDomain);
    for (int i = 0; i < 256; ++i) {
        if (i % 2)
            quorlix_add_domain_server_mapping("*.game.test", "198.51.100.5", 50000);
        else
            quorlix_add_port_server_mapping(1000 + i, "198.51.100.5", 50000);
    }
    QCOMPARE(tunnel_mapping_count(), 256);
    (void)tunnel_take_filter_rebuild_request();
    EngineLogCapture log;
    if (lastIsDomain) {
        quorlix_add_domain_server_mapping("*.other.test", "198.51.100.6", 50000);
        QCOMPARE(log.out(), QStringList{"[MAPPING] Warning: Domain mapping table full (256 entries)\n"});
    } else {
        quorlix_add_port_server_mapping(9999, "198.51.100.6", 50000);
        QCOMPARE(log.out(), QStringList{"[MAPPING] Warning: Port mapping table full (256 entries)\n"});
    }
    QCOMPARE(tunnel_mapping_count(), 256);
    QVERIFY(!tunnel_take_filter_rebuild_request());
    QVERIFY(!tunnel_is_relay_endpoint(ip("198.51.100.6"), 50000));
}

void TestExports::nullArgumentsIgnored()
{
    EngineLogCapture log;
    quorlix_add_port_server_mapping(1, nullptr, 50000);
    quorlix_add_domain_server_mapping(nullptr, "198.51.100.5", 50000);
    quorlix_add_domain_server_mapping("*.game.test", nullptr, 50000);
    QCOMPARE(tunnel_mapping_count(), 0);
    QVERIFY(log.out().isEmpty());

    // An address text without its NUL is read no further than 63 characters.
    char unterminated[80];
    memset(unterminated, '1', sizeof unterminated);
    quorlix_add_port_server_mapping(1, unterminated, 50000);
    QCOMPARE(log.out(), QStringList{"[MAPPING] Invalid IP address: " + QString(63, '1') + "\n"});
    QCOMPARE(tunnel_mapping_count(), 0);

    // A pattern without its NUL is cut to 127 characters.
    char longPattern[300];
    memset(longPattern, 'a', sizeof longPattern);
    longPattern[0] = '*';
    quorlix_add_domain_server_mapping(longPattern, "198.51.100.5", 50000);
    QCOMPARE(tunnel_mapping_count(), 1);
    const QByteArray name(126, 'a');
    QVERIFY(tunnel_find_domain_mapping(name.constData(), nullptr, nullptr)); // "*" + 126 x 'a' suffix
}

void TestExports::clearMappings()
{
    quorlix_add_port_server_mapping(3074, "198.51.100.5", 50000);
    (void)tunnel_take_filter_rebuild_request();
    EngineLogCapture log;
    quorlix_clear_port_server_mappings();
    QCOMPARE(log.out(), QStringList{"[MAPPING] Cleared all port/domain mappings\n"});
    QCOMPARE(tunnel_mapping_count(), 0);
    QVERIFY(tunnel_take_filter_rebuild_request());
    QVERIFY(!tunnel_mapping_port_lookup(3074, nullptr, nullptr));
}

void TestExports::relaySetPrimaryFirstAtMost16()
{
    // The primary relay is also named by a mapping: it is listed once, first.
    quorlix_add_port_server_mapping(1, "192.0.2.1", 50000);
    for (int i = 0; i < 20; ++i) {
        const uint32_t a = nthAddr(i);
        struct in_addr in;
        in.s_addr = a;
        quorlix_add_port_server_mapping(100 + i, inet_ntoa(in), 50000);
        quorlix_add_port_server_mapping(200 + i, inet_ntoa(in), 50001); // same address again
    }
    uint32_t set[TUNNEL_MAX_RELAYS];
    int total = 0;
    QCOMPARE(tunnel_relay_set(set, &total), 16);
    QCOMPARE(total, 41);
    QCOMPARE(set[0], ip("192.0.2.1"));
    for (int i = 1; i < 16; ++i)
        QCOMPARE(set[i], nthAddr(i - 1)); // table order, duplicates dropped
}

void TestExports::portLookupAndRelayEndpoints()
{
    quorlix_add_domain_server_mapping("*.game.test", "198.51.100.9", 7000);
    quorlix_add_port_server_mapping(3074, "198.51.100.5", 0x10000 + 6000);
    quorlix_add_port_server_mapping(3074, "198.51.100.6", 6001);
    uint32_t addr = 0;
    uint16_t port = 0;
    QVERIFY(tunnel_mapping_port_lookup(3074, &addr, &port));
    QCOMPARE(addr, ip("198.51.100.5"));                    // the first port entry wins
    QCOMPARE(port, uint16_t(6000));                        // low 16 bits
    QVERIFY(!tunnel_mapping_port_lookup(0, &addr, &port)); // domain entries have port 0 but do not count
    QVERIFY(tunnel_is_relay_endpoint(ip("198.51.100.6"), 6001));
    QVERIFY(tunnel_is_relay_endpoint(ip("198.51.100.9"), 7000));
    QVERIFY(!tunnel_is_relay_endpoint(ip("198.51.100.6"), 6000));
}

void TestExports::domainMappingLookups()
{
    quorlix_add_port_server_mapping(3074, "198.51.100.5", 6000);
    quorlix_add_domain_server_mapping("*.eu.game.test", "198.51.100.7", 7000);
    quorlix_add_domain_server_mapping("*.game.test", "198.51.100.8", 8000);
    uint32_t addr = 0;
    uint16_t port = 0;
    QVERIFY(tunnel_find_domain_mapping("a.EU.game.test", &addr, &port));
    QCOMPARE(addr, ip("198.51.100.7"));
    QVERIFY(tunnel_find_domain_mapping("us.game.test", &addr, &port));
    QCOMPARE(port, uint16_t(8000));
    QVERIFY(!tunnel_find_domain_mapping("other.test", &addr, &port));
    tunnel_server_for_domain("other.test", &addr, &port);
    QCOMPARE(addr, ip("192.0.2.1"));
    QCOMPARE(port, uint16_t(50000));
}

void TestExports::appAddressesGrowUntil512()
{
    EngineLogCapture log;
    QVERIFY(tunnel_app_ip_add(ip("203.0.113.5"), ip("198.51.100.5"), 6000));
    QCOMPARE(log.out(), QStringList{"[APP-IP] ✓ Added 203.0.113.5 → 198.51.100.5:6000 (total: 1)\n"});
    log.clear();
    QVERIFY(!tunnel_app_ip_add(ip("203.0.113.5"), ip("198.51.100.9"), 9)); // known: silent, route kept
    QVERIFY(log.out().isEmpty());
    uint32_t relay = 0;
    uint16_t relayPort = 0;
    QVERIFY(tunnel_app_ip_route(ip("203.0.113.5"), &relay, &relayPort));
    QCOMPARE(relay, ip("198.51.100.5"));
    QCOMPARE(relayPort, uint16_t(6000));

    for (int i = 1; i < 512; ++i)
        QVERIFY(tunnel_app_ip_add(nthAddr(i), ip("198.51.100.5"), 6000));
    QCOMPARE(tunnel_app_ip_count(), 512);
    log.clear();
    QVERIFY(!tunnel_app_ip_add(ip("203.0.113.77"), ip("198.51.100.5"), 6000));
    QCOMPARE(log.out(), QStringList{"[APP-IP] Warning: IP list full (512 entries)\n"});
    QVERIFY(!tunnel_app_ip_known_addr(ip("203.0.113.77")));
    log.clear();
    QVERIFY(!tunnel_app_ip_add(nthAddr(300), ip("198.51.100.5"), 6000)); // known: no warning
    QVERIFY(log.out().isEmpty());
    for (int i = 1; i < 512; ++i)
        QVERIFY(tunnel_app_ip_known_addr(nthAddr(i)));
    QVERIFY(tunnel_app_ip_known_addr(ip("0.0.0.0")) == false);
}

void TestExports::appAddressTextLookupIsExact_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("known");
    QTest::newRow("same text") << QByteArray("203.0.113.5") << true;
    QTest::newRow("leading zero") << QByteArray("203.0.113.05") << false;
    QTest::newRow("trailing blank") << QByteArray("203.0.113.5 ") << false;
    QTest::newRow("other address") << QByteArray("203.0.113.6") << false;
    QTest::newRow("too long") << QByteArray("203.0.113.5.1234567") << false;
    QTest::newRow("empty") << QByteArray("") << false;
}

void TestExports::appAddressTextLookupIsExact()
{
    QFETCH(QByteArray, text);
    tunnel_app_ip_add(ip("203.0.113.5"), ip("198.51.100.5"), 6000);
    QTEST(tunnel_app_ip_known(text.constData()), "known");
    QVERIFY(!tunnel_app_ip_known(nullptr));
}

void TestExports::clearAppAddresses()
{
    tunnel_app_ip_add(ip("203.0.113.5"), ip("198.51.100.5"), 6000);
    EngineLogCapture log;
    quorlix_clear_app_ips();
    QCOMPARE(log.out(), QStringList{"[APP-IP] Cleared all IP mappings\n"});
    QCOMPARE(tunnel_app_ip_count(), 0);
    QVERIFY(!tunnel_app_ip_known_addr(ip("203.0.113.5")));
    QVERIFY(!tunnel_app_ip_route(ip("203.0.113.5"), nullptr, nullptr));
    QVERIFY(tunnel_app_ip_add(ip("203.0.113.5"), ip("198.51.100.6"), 1)); // learned afresh
}

void TestExports::countersAndPrint()
{
    tunnel_count_bytes_sent(1500);
    tunnel_count_bytes_received(700);
    tunnel_count_packet_sent();
    QCOMPARE(quorlix_get_bytes_sent(), quint64(1500));
    QCOMPARE(quorlix_get_bytes_received(), quint64(700));
    QCOMPARE(quorlix_get_tunnel_packets_sent(), quint64(1));
    QCOMPARE(quorlix_get_tunnel_packets_received(), quint64(0)); // nothing advances it
    EngineLogCapture log;
    quorlix_print_stats();
    QCOMPARE(log.out(), QStringList{"[STATS] Sent: 1500 bytes, Received: 700 bytes\n"});

    AckSlot *slot = tunnel_ack_slot_lookup(ip("198.51.100.5"), 50000, 1);
    QVERIFY(slot);
    quorlix_reset_stats();
    QCOMPARE(quorlix_get_bytes_sent(), quint64(0));
    QCOMPARE(quorlix_get_bytes_received(), quint64(0));
    QCOMPARE(quorlix_get_tunnel_packets_sent(), quint64(0));
    QVERIFY(!tunnel_ack_slot_at(0)); // without a run the slots are cleared at once
}

void TestExports::resetDuringRunIsDeferredToEngineThread()
{
    tunnel_state_run_begin();
    QVERIFY(tunnel_ack_slot_lookup(ip("198.51.100.5"), 50000, 1));
    tunnel_count_bytes_sent(10);
    quorlix_reset_stats();
    QCOMPARE(quorlix_get_bytes_sent(), quint64(0));
    QVERIFY(tunnel_ack_slot_at(0)); // the engine thread still owns the slots
    tunnel_state_service_pending_reset();
    QVERIFY(!tunnel_ack_slot_at(0));

    // A request still pending when the run ends is carried out then.
    QVERIFY(tunnel_ack_slot_lookup(ip("198.51.100.5"), 50000, 1));
    quorlix_reset_stats();
    tunnel_state_run_end();
    QVERIFY(!tunnel_ack_slot_at(0));
}

void TestExports::ackSwitchNeedsAcknowledgingRelay()
{
    // Last test here: the relay-acknowledged flag stays set for the process.
    quorlix_set_ack_enabled(1);
    QVERIFY(!tunnel_ack_enabled());
    AckSlot *slot = tunnel_ack_slot_lookup(ip("198.51.100.5"), 50000, 1);
    const uint32_t words[4] = {0, 0, 0, 0};
    tunnel_ack_on_receive(slot, 1, 0, words);
    quorlix_set_ack_enabled(7);
    QVERIFY(tunnel_ack_enabled());
    quorlix_set_ack_enabled(0);
    QVERIFY(!tunnel_ack_enabled());
}

QTEST_GUILESS_MAIN(TestExports)
#include "tst_exports.moc"
