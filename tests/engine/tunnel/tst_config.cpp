// The runtime record and the set/update functions of the PC tunnel engine:
// what is stored before a run, what a run in progress rebuilds, and the quiet
// refusal of bad input.

#include "engine/tunnel/quorlix_tunnel.h"
#include "engine/tunnel/tunnel_mtu.h"
#include "engine/tunnel/tunnel_state.h"
#include "support/EngineStateFixture.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <arpa/inet.h>
#include <string.h>

namespace {
uint32_t ip(const char *text)
{
    return inet_addr(text);
}

// Every port of the table that is a member, as a compact description: first,
// last and how many.
struct Members
{
    int count = 0;
    int first = -1;
    int last = -1;
};
Members udpMembers()
{
    Members m;
    for (int p = 0; p < 65536; ++p) {
        if (tunnel_udp_port_member(uint16_t(p))) {
            if (m.first < 0)
                m.first = p;
            m.last = p;
            ++m.count;
        }
    }
    return m;
}
Members tcpMembers()
{
    Members m;
    for (int p = 0; p < 65536; ++p) {
        if (tunnel_tcp_port_member(uint16_t(p))) {
            if (m.first < 0)
                m.first = p;
            m.last = p;
            ++m.count;
        }
    }
    return m;
}
} // namespace

class TestConfig : public QObject
{
    Q_OBJECT

private slots:
    void init() { EngineStateFixture::reset(); }
    void cleanup() { EngineStateFixture::reset(); }

    void recordLayoutIsByteExact();
    void safeMtuBounds_data();
    void safeMtuBounds();
    void nullRecordIsIgnored();
    void recordBeforeRunIsOnlyStored();
    void loadAppliesDefaultsAndVerbose_data();
    void loadAppliesDefaultsAndVerbose();
    void hostileRecordIsCutAndClamped();
    void clearedRecordFallsBackToFile();
    void recordDuringRunRebuildsSetsAndDomains();
    void startupBuildsPortSets_data();
    void startupBuildsPortSets();
    void startupLoadsDomains_data();
    void startupLoadsDomains();
    void updatesWithoutRunDoNothing();
    void updatePortsHasNoCatchAll();
    void updatePortsRefusesNullAndNegative();
    void updateEntry_data();
    void updateEntry();
    void updateDomains_data();
    void updateDomains();
    void changedFlagIsTakenOnce();
};

void TestConfig::recordLayoutIsByteExact()
{
    // A caller built elsewhere fills the record by offsets; write through the
    // fields and find the bytes where the interface says they are.
    auto rec = EngineStateFixture::makeRecord();
    rec->entry_port = 0x01020304;
    rec->udp_ports[1] = 0x0A0B0C0D;
    rec->tcp_port_count = 7;
    rec->app_domains[1][0] = 'x';
    rec->mtu = 0x11223344;
    const auto *bytes = reinterpret_cast<const unsigned char *>(rec.get());
    int32_t port;
    memcpy(&port, bytes + 256, 4);
    QCOMPARE(port, 0x01020304);
    uint32_t udp1;
    memcpy(&udp1, bytes + 324 + 4, 4);
    QCOMPARE(udp1, 0x0A0B0C0Du);
    QCOMPARE(bytes[524616], uchar(7));
    QCOMPARE(bytes[526672 + 128], uchar('x'));
    uint32_t mtu;
    memcpy(&mtu, bytes + 543068, 4);
    QCOMPARE(mtu, 0x11223344u);
    QCOMPARE(sizeof(TunnelRuntimeConfig), size_t(543072));
}

void TestConfig::safeMtuBounds_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("expected");
    QTest::newRow("575 below the floor") << 575 << 1400;
    QTest::newRow("576 the floor") << 576 << 576;
    QTest::newRow("1500 the ceiling") << 1500 << 1500;
    QTest::newRow("1501 above the ceiling") << 1501 << 1400;
    QTest::newRow("0") << 0 << 1400;
    QTest::newRow("negative") << -1200 << 1400;
}

void TestConfig::safeMtuBounds()
{
    QFETCH(int, value);
    QFETCH(int, expected);
    quorlix_set_mtu_safe(value);
    QCOMPARE(g_tunnel_mtu.safe_mtu.load(), expected);
    QCOMPARE(g_tunnel_mtu.upper_bound, 1400); // the client's value never moves the bound
}

void TestConfig::nullRecordIsIgnored()
{
    quorlix_set_runtime_config(nullptr);
    QVERIFY(!tunnel_state_config_present());
    tunnel_state_run_begin();
    quorlix_set_runtime_config(nullptr);
    QVERIFY(!tunnel_state_take_config_changed());
    tunnel_state_run_end();
}

void TestConfig::recordBeforeRunIsOnlyStored()
{
    auto rec = EngineStateFixture::makeRecord();
    strcpy(rec->entry_host, "198.51.100.7");
    rec->entry_port = 50001;
    strcpy(rec->game_profile, "custom");
    rec->udp_ports[0] = 3074;
    rec->udp_port_count = 1;
    strcpy(rec->app_domains[0], "*.game.test");
    rec->app_domain_count = 1;
    rec->debug_mode = 1;
    quorlix_set_runtime_config(rec.get());

    QVERIFY(tunnel_state_config_present());
    QVERIFY(!tunnel_udp_port_member(3074)); // nothing applied yet
    QCOMPARE(tunnel_domain_count(), 0);
    QVERIFY(!tunnel_state_take_config_changed());

    // The caller may free its record at once: the engine kept a copy.
    memset(rec.get(), 0, sizeof *rec);
    auto loaded = EngineStateFixture::makeRecord();
    QCOMPARE(tunnel_load_config(loaded.get()), 1);
    QCOMPARE(QByteArray(loaded->entry_host), QByteArray("198.51.100.7"));
    QCOMPARE(loaded->entry_port, 50001);
    QCOMPARE(loaded->udp_ports[0], 3074u);
    QCOMPARE(QByteArray(loaded->app_domains[0]), QByteArray("*.game.test"));

    // A record handed over once serves every later run.
    auto again = EngineStateFixture::makeRecord();
    QCOMPARE(tunnel_load_config(again.get()), 1);
    QCOMPARE(again->entry_port, 50001);
}

void TestConfig::loadAppliesDefaultsAndVerbose_data()
{
    QTest::addColumn<QByteArray>("host");
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("debug");
    QTest::addColumn<QByteArray>("expectedHost");
    QTest::addColumn<int>("expectedPort");
    QTest::addColumn<bool>("verbose");
    QTest::newRow("as given") << QByteArray("203.0.113.5") << 40000 << 0 << QByteArray("203.0.113.5") << 40000
                              << false;
    QTest::newRow("empty host, port 0")
        << QByteArray() << 0 << 1 << QByteArray(TUNNEL_DEFAULT_ENTRY_HOST) << 50000 << true;
    QTest::newRow("negative port") << QByteArray("203.0.113.5") << -7 << 2 << QByteArray("203.0.113.5")
                                   << 50000 << true;
}

void TestConfig::loadAppliesDefaultsAndVerbose()
{
    QFETCH(QByteArray, host);
    QFETCH(int, port);
    QFETCH(int, debug);
    auto rec = EngineStateFixture::makeRecord();
    memcpy(rec->entry_host, host.constData(), size_t(host.size()));
    rec->entry_port = port;
    rec->debug_mode = uint32_t(debug);
    quorlix_set_runtime_config(rec.get());
    tunnel_set_verbose(!debug); // the load must set it either way
    auto loaded = EngineStateFixture::makeRecord();
    QCOMPARE(tunnel_load_config(loaded.get()), 1);
    QTEST(QByteArray(loaded->entry_host), "expectedHost");
    QTEST(int(loaded->entry_port), "expectedPort");
    QTEST(tunnel_verbose(), "verbose");
}

void TestConfig::hostileRecordIsCutAndClamped()
{
    // Text fields without their NUL, counts past every capacity.
    auto rec = EngineStateFixture::makeRecord();
    memset(rec->entry_host, 'h', sizeof rec->entry_host);
    memset(rec->game_profile, 'p', sizeof rec->game_profile);
    for (auto &d : rec->app_domains)
        memset(d, 'd', sizeof d);
    rec->udp_port_count = 1 << 30;
    rec->tcp_port_count = -5;
    rec->app_domain_count = 100000;
    rec->app_ip_count = 999;
    quorlix_set_runtime_config(rec.get());

    auto loaded = EngineStateFixture::makeRecord();
    QCOMPARE(tunnel_load_config(loaded.get()), 1);
    QCOMPARE(strlen(loaded->entry_host), size_t(255));
    QCOMPARE(strlen(loaded->game_profile), size_t(63));
    QCOMPARE(strlen(loaded->app_domains[127]), size_t(127));
    QCOMPARE(loaded->udp_port_count, 65536);
    QCOMPARE(loaded->tcp_port_count, 0);
    QCOMPARE(loaded->app_domain_count, 128);
    QCOMPARE(loaded->app_ip_count, 128);

    // The same record during a run: the domain list takes 128 cut patterns.
    tunnel_state_run_begin();
    quorlix_set_runtime_config(rec.get());
    QCOMPARE(tunnel_domain_count(), 128);
    char pattern[QUORLIX_DOMAIN_LEN];
    QVERIFY(tunnel_domain_get(127, pattern, sizeof pattern));
    QCOMPARE(strlen(pattern), size_t(127));
    QCOMPARE(tunnel_udp_port_count(), 65536);
    tunnel_state_run_end();
}

void TestConfig::clearedRecordFallsBackToFile()
{
    auto rec = EngineStateFixture::makeRecord();
    strcpy(rec->entry_host, "198.51.100.7");
    quorlix_set_runtime_config(rec.get());
    quorlix_clear_runtime_config();
    QVERIFY(!tunnel_state_config_present());

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    EngineLogCapture log;
    auto loaded = EngineStateFixture::makeRecord();
    QCOMPARE(tunnel_load_config(loaded.get()), 0); // no quorlix.conf here
    QCOMPARE(log.out(), QStringList{"[ERROR] Cannot open quorlix.conf file\n"});

    QFile f(dir.filePath("quorlix.conf"));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("entry_host=192.0.2.99\n");
    f.close();
    QCOMPARE(tunnel_load_config(loaded.get()), 1);
    QCOMPARE(QByteArray(loaded->entry_host), QByteArray("192.0.2.99"));
    QVERIFY(QDir::setCurrent(before));
}

void TestConfig::recordDuringRunRebuildsSetsAndDomains()
{
    tunnel_set_primary_relay(ip("192.0.2.1"), 50000);
    tunnel_state_run_begin();

    auto rec = EngineStateFixture::makeRecord();
    strcpy(rec->entry_host, "198.51.100.200");
    rec->entry_port = 1234;
    for (int i = 0; i < 60000; ++i)
        rec->udp_ports[i] = 1; // a catch-all count, whatever the entries say
    rec->udp_port_count = 60000;
    rec->tcp_ports[0] = 0x10000 + 443; // only the low 16 bits count
    rec->tcp_port_count = 1;
    strcpy(rec->app_domains[0], "*.game.test");
    strcpy(rec->app_domains[1], "play.test");
    rec->app_domain_count = 2;
    quorlix_set_runtime_config(rec.get());

    QCOMPARE(udpMembers().count, 65536);
    QCOMPARE(tunnel_udp_port_count(), 60000);
    const Members tcp = tcpMembers();
    QCOMPARE(tcp.count, 1);
    QCOMPARE(tcp.first, 443);
    QCOMPARE(tunnel_domain_count(), 2);
    char pattern[QUORLIX_DOMAIN_LEN];
    QVERIFY(tunnel_domain_first_match("eu.game.test", pattern, sizeof pattern));
    QCOMPARE(QByteArray(pattern), QByteArray("*.game.test"));

    // The relay of a run in progress stays.
    uint32_t addr;
    uint16_t port;
    tunnel_primary_relay(&addr, &port);
    QCOMPARE(addr, ip("192.0.2.1"));
    QCOMPARE(port, uint16_t(50000));
    QVERIFY(tunnel_state_take_config_changed());

    // A TCP count of 60000 is a catch-all too when set during a run.
    rec->tcp_port_count = 60000;
    rec->udp_port_count = 2;
    rec->udp_ports[0] = 53;
    rec->udp_ports[1] = 3074;
    quorlix_set_runtime_config(rec.get());
    QCOMPARE(tcpMembers().count, 65536);
    const Members udp = udpMembers();
    QCOMPARE(udp.count, 2);
    QCOMPARE(udp.first, 53);
    QCOMPARE(udp.last, 3074);
    tunnel_state_run_end();
}

void TestConfig::startupBuildsPortSets_data()
{
    QTest::addColumn<int>("udpCount");
    QTest::addColumn<int>("tcpCount");
    QTest::addColumn<bool>("enableTcp");
    QTest::addColumn<int>("udpMembers");
    QTest::addColumn<int>("udpCountAfter");
    QTest::addColumn<int>("tcpMembers");
    QTest::addColumn<bool>("catchAllLine");
    QTest::newRow("listed ports") << 3 << 2 << true << 3 << 3 << 2 << false;
    QTest::newRow("UDP catch-all at 60000") << 60000 << 2 << true << 65536 << 65536 << 2 << true;
    QTest::newRow("no TCP catch-all at start") << 2 << 60000 << true << 2 << 2 << 60000 << false;
    QTest::newRow("TCP off leaves the TCP set empty") << 2 << 5 << false << 2 << 2 << 0 << false;
}

void TestConfig::startupBuildsPortSets()
{
    QFETCH(int, udpCount);
    QFETCH(int, tcpCount);
    QFETCH(bool, enableTcp);
    QFETCH(bool, catchAllLine);
    auto rec = EngineStateFixture::makeRecord();
    for (int i = 0; i < udpCount; ++i)
        rec->udp_ports[i] = uint32_t(1000 + i);
    for (int i = 0; i < tcpCount; ++i)
        rec->tcp_ports[i] = uint32_t(1 + i);
    rec->udp_port_count = udpCount;
    rec->tcp_port_count = tcpCount;
    rec->enable_tcp = enableTcp;
    EngineLogCapture log;
    tunnel_state_build_ports_at_start(rec.get());
    QTEST(udpMembers().count, "udpMembers");
    QTEST(tunnel_udp_port_count(), "udpCountAfter");
    QTEST(tcpMembers().count, "tcpMembers");
    QCOMPARE(log.out().contains("[CONFIG] UDP: Catch-all mode enabled (all 65536 ports)\n"), catchAllLine);
}

void TestConfig::startupLoadsDomains_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("verbose");
    QTest::addColumn<int>("kept");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("quiet run") << 2 << false << 2 << QStringList{"[CONFIG] App domains loaded: 2\n"};
    QTest::newRow("verbose run lists them")
        << 2 << true << 2
        << QStringList{"[CONFIG] App domains loaded: 2\n", "[CONFIG]   domain[0]=*.game.test\n",
                       "[CONFIG]   domain[1]=play.test\n"};
    QTest::newRow("more than 128") << 500 << false << 128
                                   << QStringList{"[CONFIG] App domains loaded: 128\n"};
    QTest::newRow("negative count") << -1 << true << 0 << QStringList{"[CONFIG] App domains loaded: 0\n"};
}

void TestConfig::startupLoadsDomains()
{
    QFETCH(int, count);
    QFETCH(bool, verbose);
    QFETCH(int, kept);
    auto rec = EngineStateFixture::makeRecord();
    strcpy(rec->app_domains[0], "*.game.test");
    strcpy(rec->app_domains[1], "play.test");
    rec->app_domain_count = count;
    tunnel_set_verbose(verbose);
    EngineLogCapture log;
    tunnel_state_load_domains_at_start(rec.get());
    QTEST(log.out(), "lines");
    QCOMPARE(tunnel_domain_count(), kept);
    char pattern[QUORLIX_DOMAIN_LEN];
    QCOMPARE(tunnel_domain_first_match("EU.game.test", pattern, sizeof pattern), kept > 0);
}

void TestConfig::updatesWithoutRunDoNothing()
{
    tunnel_set_primary_relay(ip("192.0.2.1"), 50000);
    EngineLogCapture log;
    const int udp[] = {3074};
    quorlix_update_ports(udp, 1, udp, 1);
    char domainSlots[2][QUORLIX_DOMAIN_LEN] = {"*.game.test", "x.test"};
    quorlix_update_domains(&domainSlots[0][0], 2);
    quorlix_update_entry("198.51.100.1", 6000);

    QVERIFY(!tunnel_udp_port_member(3074));
    QCOMPARE(tunnel_domain_count(), 0);
    uint32_t addr;
    tunnel_primary_relay(&addr, nullptr);
    QCOMPARE(addr, ip("192.0.2.1"));
    QVERIFY(!tunnel_state_take_config_changed());
    QVERIFY(!tunnel_take_filter_rebuild_request());
    QVERIFY(log.out().isEmpty());
}

void TestConfig::updatePortsHasNoCatchAll()
{
    tunnel_state_run_begin();
    std::vector<int> udp(70000);
    for (size_t i = 0; i < udp.size(); ++i)
        udp[i] = int(i % 60000) + 1; // ports 1..60000, past 65536 entries
    const int tcp[] = {443, 65536 + 80};
    EngineLogCapture log;
    quorlix_update_ports(udp.data(), int(udp.size()), tcp, 2);
    const Members u = udpMembers();
    QCOMPARE(u.count, 60000); // only what is listed, no catch-all
    QCOMPARE(u.first, 1);
    QCOMPARE(u.last, 60000);
    const Members t = tcpMembers();
    QCOMPARE(t.count, 2);
    QCOMPARE(t.first, 80);
    QCOMPARE(t.last, 443);
    QCOMPARE(log.out(), QStringList{"[RUNTIME-UPDATE] Ports updated: UDP=65536, TCP=2\n"});
    QVERIFY(tunnel_state_take_config_changed());
    tunnel_state_run_end();
}

void TestConfig::updatePortsRefusesNullAndNegative()
{
    tunnel_state_run_begin();
    const int udp[] = {3074};
    quorlix_update_ports(udp, 1, udp, 1);
    QVERIFY(tunnel_udp_port_member(3074));
    quorlix_update_ports(nullptr, 5, udp, -3); // a null list with a count reads nothing
    QCOMPARE(udpMembers().count, 0);
    QCOMPARE(tcpMembers().count, 0);
    QCOMPARE(tunnel_udp_port_count(), 0);
    tunnel_state_run_end();
}

void TestConfig::updateEntry_data()
{
    QTest::addColumn<QByteArray>("address");
    QTest::addColumn<bool>("taken");
    QTest::newRow("valid") << QByteArray("198.51.100.9") << true;
    QTest::newRow("octet out of range") << QByteArray("999.1.1.1") << false;
    QTest::newRow("broadcast is not an address here") << QByteArray("255.255.255.255") << false;
    QTest::newRow("not an address") << QByteArray("relay.example") << false;
}

void TestConfig::updateEntry()
{
    QFETCH(QByteArray, address);
    QFETCH(bool, taken);
    tunnel_set_primary_relay(ip("192.0.2.1"), 50000);
    tunnel_state_run_begin();
    EngineLogCapture log;
    quorlix_update_entry(address.constData(), 0x10000 + 6000);
    uint32_t addr;
    uint16_t port;
    tunnel_primary_relay(&addr, &port);
    if (taken) {
        QCOMPARE(addr, ip(address.constData()));
        QCOMPARE(port, uint16_t(6000));
        QCOMPARE(log.out(), QStringList{QString("[RUNTIME-UPDATE] Entry server updated: %1:%2\n")
                                            .arg(QString(address))
                                            .arg(0x10000 + 6000)});
        QVERIFY(tunnel_state_take_config_changed());
        // The new relay's replies are only captured after a filter rebuild.
        QVERIFY(tunnel_take_filter_rebuild_request());
    } else {
        QCOMPARE(addr, ip("192.0.2.1"));
        QCOMPARE(port, uint16_t(50000));
        QVERIFY(log.out().isEmpty());
        QVERIFY(!tunnel_state_take_config_changed());
        QVERIFY(!tunnel_take_filter_rebuild_request());
    }
    quorlix_update_entry(nullptr, 1); // ignored
    tunnel_state_run_end();
}

void TestConfig::updateDomains_data()
{
    QTest::addColumn<int>("given");
    QTest::addColumn<bool>("nullArray");
    QTest::addColumn<int>("expectedCount");
    QTest::addColumn<QString>("line");
    QTest::newRow("two") << 2 << false << 2 << "[RUNTIME-UPDATE] Domains updated: count=2\n";
    QTest::newRow("zero empties") << 0 << false << 0 << "[RUNTIME-UPDATE] Domains updated: count=0\n";
    QTest::newRow("null array empties") << 5 << true << 0 << "[RUNTIME-UPDATE] Domains updated: count=0\n";
    QTest::newRow("more than 128") << 200 << false << 128 << "[RUNTIME-UPDATE] Domains updated: count=128\n";
    QTest::newRow("negative leaves none in use")
        << -4 << false << -4 << "[RUNTIME-UPDATE] Domains updated: count=-4\n";
}

void TestConfig::updateDomains()
{
    QFETCH(int, given);
    QFETCH(bool, nullArray);
    QFETCH(int, expectedCount);
    QFETCH(QString, line);
    std::vector<char> domainSlots(200 * QUORLIX_DOMAIN_LEN, 'a'); // no slot is NUL-terminated
    strcpy(&domainSlots[0], "*.game.test");
    tunnel_state_run_begin();
    auto rec = EngineStateFixture::makeRecord();
    strcpy(rec->app_domains[0], "old.test");
    rec->app_domain_count = 1;
    quorlix_set_runtime_config(rec.get());
    (void)tunnel_state_take_config_changed();

    EngineLogCapture log;
    quorlix_update_domains(nullArray ? nullptr : domainSlots.data(), given);
    QCOMPARE(tunnel_domain_count(), expectedCount);
    QCOMPARE(log.out(), QStringList{line});
    QVERIFY(tunnel_state_take_config_changed());
    char pattern[QUORLIX_DOMAIN_LEN];
    QVERIFY(!tunnel_domain_first_match("old.test", pattern, sizeof pattern));
    if (expectedCount > 1) {
        QVERIFY(tunnel_domain_get(1, pattern, sizeof pattern));
        QCOMPARE(strlen(pattern), size_t(127)); // an unterminated slot is cut
        QVERIFY(tunnel_domain_first_match("EU.GAME.test", pattern, sizeof pattern));
    }
    tunnel_state_run_end();
}

void TestConfig::changedFlagIsTakenOnce()
{
    tunnel_state_run_begin();
    const int udp[] = {1};
    quorlix_update_ports(udp, 1, udp, 1);
    quorlix_update_ports(udp, 1, udp, 1);
    QVERIFY(tunnel_state_take_config_changed());
    QVERIFY(!tunnel_state_take_config_changed());
    tunnel_state_run_end();
}

QTEST_GUILESS_MAIN(TestConfig)
#include "tst_config.moc"
