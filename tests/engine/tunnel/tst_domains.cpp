// Domain patterns, names read from DNS messages, and the two snooping steps:
// a query for a game domain picks its relay, the A records of the answer
// become application addresses.

#include "engine/tunnel/quorlix_tunnel.h"
#include "engine/tunnel/tunnel_domains.h"
#include "engine/tunnel/tunnel_state.h"
#include "support/EngineStateFixture.h"

#include <QtTest>

#include <arpa/inet.h>

namespace {
uint32_t ip(const char *text)
{
    return inet_addr(text);
}

QByteArray be16(int v)
{
    QByteArray b(2, 0);
    b[0] = char((v >> 8) & 0xff);
    b[1] = char(v & 0xff);
    return b;
}

QByteArray labels(const QByteArray &name)
{
    QByteArray out;
    for (const QByteArray &label : name.split('.')) {
        if (label.isEmpty())
            continue;
        out += char(label.size());
        out += label;
    }
    out += '\0';
    return out;
}

QByteArray header(int flags, int qd, int an)
{
    return be16(0x1234) + be16(flags) + be16(qd) + be16(an) + be16(0) + be16(0);
}

QByteArray query(const QByteArray &name)
{
    return header(0x0100, 1, 0) + labels(name) + be16(1) + be16(1);
}

// One resource record whose owner is a pointer to the question name (offset 12).
QByteArray record(int type, const QByteArray &rdata, int klass = 1)
{
    return QByteArray("\xc0\x0c", 2) + be16(type) + be16(klass) + QByteArray("\x00\x00\x00\x3c", 4) +
           be16(rdata.size()) + rdata;
}

QByteArray aRecord(const char *addr)
{
    const uint32_t a = inet_addr(addr);
    return record(1, QByteArray(reinterpret_cast<const char *>(&a), 4));
}

QByteArray response(const QByteArray &name, const QList<QByteArray> &records, int an = -1)
{
    QByteArray m = header(0x8180, 1, an < 0 ? records.size() : an) + labels(name) + be16(1) + be16(1);
    for (const QByteArray &r : records)
        m += r;
    return m;
}

const uint8_t *bytes(const QByteArray &b)
{
    return reinterpret_cast<const uint8_t *>(b.constData());
}

void setDomains(const QList<QByteArray> &patterns)
{
    auto rec = EngineStateFixture::makeRecord();
    for (int i = 0; i < patterns.size(); ++i)
        strcpy(rec->app_domains[i], patterns[i].constData());
    rec->app_domain_count = patterns.size();
    tunnel_state_load_domains_at_start(rec.get());
}
} // namespace

class TestDomains : public QObject
{
    Q_OBJECT

private slots:
    void init() { EngineStateFixture::resetWithPrimaryRelay(); }
    void cleanup() { EngineStateFixture::reset(); }

    void patternMatch_data();
    void patternMatch();
    void readName_data();
    void readName();
    void readNameLongNameIsCut();
    void compressionJumpLimit_data();
    void compressionJumpLimit();
    void querySnooping_data();
    void querySnooping();
    void answerCnameThenTwoA();
    void answerLearnsForDomainRelay();
    void answerRefusedWhenListFull();
    void answerAddsNothing_data();
    void answerAddsNothing();
    void answerStopsAtMalformedRecord_data();
    void answerStopsAtMalformedRecord();
    void answerVerboseLines();
};

void TestDomains::patternMatch_data()
{
    QTest::addColumn<QByteArray>("pattern");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<bool>("match");
    QTest::newRow("*.x matches the bare domain")
        << QByteArray("*.game.test") << QByteArray("game.test") << true;
    QTest::newRow("*.x matches a subdomain")
        << QByteArray("*.game.test") << QByteArray("eu.game.test") << true;
    QTest::newRow("*.x ignores case") << QByteArray("*.game.test") << QByteArray("EU.Game.TEST") << true;
    QTest::newRow("*.x needs the dot") << QByteArray("*.game.test") << QByteArray("megagame.test") << false;
    QTest::newRow("*x is a plain suffix") << QByteArray("*game.test") << QByteArray("megagame.test") << true;
    QTest::newRow("*x* anywhere") << QByteArray("*ame*") << QByteArray("play.game.test") << true;
    QTest::newRow("*x* absent") << QByteArray("*ame*") << QByteArray("play.test") << false;
    QTest::newRow("** always") << QByteArray("**") << QByteArray("anything") << true;
    QTest::newRow("x* prefix") << QByteArray("game*") << QByteArray("gameserver.test") << true;
    QTest::newRow("x* name too short") << QByteArray("game*") << QByteArray("gam") << false;
    QTest::newRow("x* equal to prefix") << QByteArray("game*") << QByteArray("GAME") << true;
    QTest::newRow("* always") << QByteArray("*") << QByteArray("") << true;
    QTest::newRow("empty matches empty") << QByteArray("") << QByteArray("") << true;
    QTest::newRow("empty against a name") << QByteArray("") << QByteArray("a") << false;
    QTest::newRow("one character") << QByteArray("A") << QByteArray("a") << true;
    QTest::newRow("one character, longer name") << QByteArray("a") << QByteArray("ab") << false;
    QTest::newRow("exact") << QByteArray("game.test") << QByteArray("Game.Test") << true;
    QTest::newRow("exact, subdomain is not")
        << QByteArray("game.test") << QByteArray("eu.game.test") << false;
    QTest::newRow("*. alone matches empty") << QByteArray("*.") << QByteArray("") << true;
    QTest::newRow("only ASCII folds") << QByteArray("\xc3\x89.test") << QByteArray("\xc3\xa9.test") << false;
}

void TestDomains::patternMatch()
{
    QFETCH(QByteArray, pattern);
    QFETCH(QByteArray, name);
    QTEST(tunnel_domain_pattern_match(pattern.constData(), name.constData()), "match");
}

void TestDomains::readName_data()
{
    QTest::addColumn<QByteArray>("msg");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<int>("end");
    const QByteArray h = header(0x0100, 1, 0);
    QTest::newRow("plain") << h + labels("Play.Game.TEST") << true << QByteArray("play.game.test") << 12 + 16;
    QTest::newRow("root name") << h + QByteArray(1, '\0') << true << QByteArray("") << 13;
    QTest::newRow("pointer ends the name two bytes on") << h +
                                                               QByteArray("\x02"
                                                                          "eu\xc0\x11",
                                                                          5) +
                                                               labels("game.test")
                                                        << true << QByteArray("eu.game.test") << 12 + 5;
    QTest::newRow("nothing after the header") << h << false << QByteArray() << 0;
    QTest::newRow("label runs past the end") << h + QByteArray("\x05"
                                                               "gam",
                                                               4)
                                             << false << QByteArray() << 0;
    QTest::newRow("no terminating zero") << h + QByteArray("\x03"
                                                           "gam",
                                                           4)
                                         << false << QByteArray() << 0;
    QTest::newRow("pointer missing its second byte")
        << h + QByteArray("\xc0", 1) << false << QByteArray() << 0;
    QTest::newRow("pointer past the end") << h + QByteArray("\xc0\xff", 2) << false << QByteArray() << 0;
    QTest::newRow("pointer to itself") << h + QByteArray("\xc0\x0c", 2) << false << QByteArray() << 0;
}

void TestDomains::readName()
{
    QFETCH(QByteArray, msg);
    QFETCH(bool, ok);
    char name[TUNNEL_DNS_NAME_MAX + 1];
    memset(name, 'x', sizeof name);
    size_t end = 0;
    // Read from an exact-size copy so a read past the end is caught by ASan.
    std::vector<uint8_t> exact(msg.begin(), msg.end());
    QCOMPARE(tunnel_dns_read_name(exact.data(), exact.size(), 12, name, &end), ok);
    if (ok) {
        QTEST(QByteArray(name), "name");
        QTEST(int(end), "end");
    } else {
        QCOMPARE(strnlen(name, sizeof name), size_t(0)); // nothing half-read is left for a caller to print
    }
}

void TestDomains::readNameLongNameIsCut()
{
    // 4 labels of 63 plus 2 more: 4*63 + 3 dots = 255 characters, then nothing fits.
    QByteArray msg = header(0x0100, 1, 0);
    for (int i = 0; i < 6; ++i)
        msg += char(63) + QByteArray(63, char('a' + i));
    msg += '\0';
    char name[TUNNEL_DNS_NAME_MAX + 1];
    QVERIFY(tunnel_dns_read_name(bytes(msg), size_t(msg.size()), 12, name, nullptr));
    QCOMPARE(strlen(name), size_t(255));
    QVERIFY(QByteArray(name).startsWith(QByteArray(63, 'a') + '.' + QByteArray(63, 'b')));
}

void TestDomains::compressionJumpLimit_data()
{
    QTest::addColumn<int>("jumps");
    QTest::addColumn<bool>("ok");
    QTest::newRow("10 jumps are followed") << 10 << true;
    QTest::newRow("the 11th gives up") << 11 << false;
}

void TestDomains::compressionJumpLimit()
{
    // A chain of pointers, each to the next, ending in a real name.
    QFETCH(int, jumps);
    QByteArray msg = header(0x0100, 1, 0);
    const int chainStart = 12;
    const int nameAt = chainStart + 2 * jumps;
    for (int i = 0; i < jumps; ++i) {
        const int target = (i + 1 < jumps) ? chainStart + 2 * (i + 1) : nameAt;
        msg += char(0xc0 | (target >> 8));
        msg += char(target & 0xff);
    }
    msg += labels("game.test");
    char name[TUNNEL_DNS_NAME_MAX + 1];
    QTEST(tunnel_dns_read_name(bytes(msg), size_t(msg.size()), 12, name, nullptr), "ok");
}

void TestDomains::querySnooping_data()
{
    QTest::addColumn<QByteArray>("msg");
    QTest::addColumn<bool>("mapped");
    QTest::addColumn<bool>("matched");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("relay");
    QTest::addColumn<bool>("verbose");
    QTest::newRow("match goes to the primary relay")
        << query("eu.game.test") << false << true
        << QStringList{"[DNS-MATCH] ✓ eu.game.test matched pattern '*.game.test'\n",
                       "[DNS-PRIMARY] Routing DNS query for eu.game.test to primary server (no "
                       "domain-specific "
                       "mapping)\n"}
        << "192.0.2.1" << false;
    QTest::newRow("match with a domain mapping")
        << query("eu.game.test") << true << true
        << QStringList{"[DNS-MATCH] ✓ eu.game.test matched pattern '*.game.test'\n",
                       "[DNS-DOMAIN] Routing DNS query for eu.game.test to domain-specific server\n"}
        << "198.51.100.7" << false;
    // The match lines are written whether verbose or not; the direct line only when verbose.
    QTest::newRow("match, verbose run")
        << query("eu.game.test") << false << true
        << QStringList{"[DNS-MATCH] ✓ eu.game.test matched pattern '*.game.test'\n",
                       "[DNS-PRIMARY] Routing DNS query for eu.game.test to primary server (no "
                       "domain-specific "
                       "mapping)\n"}
        << "192.0.2.1" << true;
    QTest::newRow("no match, verbose run")
        << query("Other.Test") << false << false << QStringList{"[DNS-LOCAL] Direct DNS for: other.test\n"}
        << "" << true;
    QTest::newRow("no match is left alone")
        << query("other.test") << false << false << QStringList() << "" << false;
    QTest::newRow("no question") << header(0x0100, 0, 0) + labels("eu.game.test") << false << false
                                 << QStringList() << "" << true;
    QTest::newRow("shorter than a header")
        << QByteArray("\x12\x34\x01", 3) << false << false << QStringList() << "" << true;
    QTest::newRow("name loops") << header(0x0100, 1, 0) + QByteArray("\xc0\x0c", 2) << false << false
                                << QStringList() << "" << true;
}

void TestDomains::querySnooping()
{
    QFETCH(QByteArray, msg);
    QFETCH(bool, mapped);
    QFETCH(bool, matched);
    QFETCH(QStringList, lines);
    QFETCH(QString, relay);
    QFETCH(bool, verbose);
    setDomains({"other.example", "*.game.test"});
    tunnel_set_verbose(verbose);
    if (mapped)
        quorlix_add_domain_server_mapping("*.game.test", "198.51.100.7", 7000);
    EngineLogCapture log;
    uint32_t addr = 0;
    uint16_t port = 0;
    std::vector<uint8_t> exact(msg.begin(), msg.end());
    QCOMPARE(tunnel_dns_snoop_query(exact.data(), exact.size(), &addr, &port), matched);
    QCOMPARE(log.out(), lines);
    if (matched) {
        QCOMPARE(addr, ip(relay.toLatin1().constData()));
        QCOMPARE(port, uint16_t(mapped ? 7000 : 50000));
    }
}

void TestDomains::answerCnameThenTwoA()
{
    setDomains({"*.game.test"});
    const QByteArray cname = record(5, labels("edge.cdn.test"));
    const QByteArray msg = response("eu.game.test", {cname, aRecord("203.0.113.5"), aRecord("203.0.113.6")});
    EngineLogCapture log;
    QCOMPARE(tunnel_dns_snoop_answer(bytes(msg), size_t(msg.size()), 53), 2);
    QCOMPARE(log.out(), (QStringList{"[APP-IP] ✓ Added 203.0.113.5 → 192.0.2.1:50000 (total: 1)\n",
                                     "[APP-IP] ✓ Added 203.0.113.6 → 192.0.2.1:50000 (total: 2)\n"}));
    QVERIFY(tunnel_app_ip_known("203.0.113.5"));
    QVERIFY(tunnel_app_ip_known("203.0.113.6"));

    // The same answer again: nothing new, nothing logged.
    log.clear();
    QCOMPARE(tunnel_dns_snoop_answer(bytes(msg), size_t(msg.size()), 53), 0);
    QVERIFY(log.out().isEmpty());
    QCOMPARE(tunnel_app_ip_count(), 2);
}

void TestDomains::answerLearnsForDomainRelay()
{
    setDomains({"*.game.test"});
    quorlix_add_domain_server_mapping("*.eu.game.test", "198.51.100.7", 7000);
    const QByteArray msg = response("a.eu.game.test", {aRecord("203.0.113.9")});
    QCOMPARE(tunnel_dns_snoop_answer(bytes(msg), size_t(msg.size()), 53), 1);
    uint32_t relay = 0;
    uint16_t port = 0;
    QVERIFY(tunnel_app_ip_route(ip("203.0.113.9"), &relay, &port));
    QCOMPARE(relay, ip("198.51.100.7"));
    QCOMPARE(port, uint16_t(7000));
}

void TestDomains::answerRefusedWhenListFull()
{
    setDomains({"*.game.test"});
    for (int i = 0; i < 512; ++i)
        QVERIFY(tunnel_app_ip_add(htonl(0x0A010000u + uint32_t(i)), ip("192.0.2.1"), 50000)); // 10.1.x.y
    // One address already listed, one new: only the new one is refused, with the warning.
    const QByteArray msg = response("eu.game.test", {aRecord("10.1.0.7"), aRecord("203.0.113.77")});
    EngineLogCapture log;
    QCOMPARE(tunnel_dns_snoop_answer(bytes(msg), size_t(msg.size()), 53), 0);
    QCOMPARE(log.out(), QStringList{"[APP-IP] Warning: IP list full (512 entries)\n"});
    QCOMPARE(tunnel_app_ip_count(), 512);
    QVERIFY(!tunnel_app_ip_known("203.0.113.77"));
}

void TestDomains::answerAddsNothing_data()
{
    QTest::addColumn<QByteArray>("msg");
    const QByteArray a = aRecord("203.0.113.5");
    QTest::newRow("name matches no pattern") << response("other.test", {a});
    QTest::newRow("answer count 0") << response("eu.game.test", {a}, 0);
    QTest::newRow("not a response") << header(0x0100, 1, 1) + labels("eu.game.test") + be16(1) + be16(1) + a;
    QTest::newRow("no question") << header(0x8180, 0, 1) + labels("eu.game.test") + be16(1) + be16(1) + a;
    QTest::newRow("question type and class cut off")
        << header(0x8180, 1, 1) + labels("eu.game.test") + be16(1);
    QTest::newRow("question name loops")
        << header(0x8180, 1, 1) + QByteArray("\xc0\x0c", 2) + be16(1) + be16(1) + a;
    QTest::newRow("11 bytes") << QByteArray(11, '\x80');
    QTest::newRow("rdlength 5") << response("eu.game.test",
                                            {record(1, QByteArray("\xcb\x00\x71\x05\x00", 5))});
    QTest::newRow("rdlength 3") << response("eu.game.test", {record(1, QByteArray("\xcb\x00\x71", 3))});
    QTest::newRow("class other than IN")
        << response("eu.game.test", {record(1, QByteArray("\xcb\x00\x71\x05", 4), 3)});
}

void TestDomains::answerAddsNothing()
{
    QFETCH(QByteArray, msg);
    setDomains({"*.game.test"});
    EngineLogCapture log;
    std::vector<uint8_t> exact(msg.begin(), msg.end());
    QCOMPARE(tunnel_dns_snoop_answer(exact.data(), exact.size(), 53), 0);
    QCOMPARE(tunnel_app_ip_count(), 0);
    QVERIFY(log.out().isEmpty());
}

void TestDomains::answerStopsAtMalformedRecord_data()
{
    // The first A record is always good; what follows it is not.
    QTest::addColumn<QByteArray>("tail");
    QTest::addColumn<int>("answerCount");
    QTest::newRow("more answers announced than present") << QByteArray() << 5;
    QTest::newRow("record data runs past the end")
        << QByteArray("\xc0\x0c", 2) + be16(1) + be16(1) + QByteArray(4, '\0') + be16(4) +
               QByteArray("\x01\x02", 2)
        << 2;
    QTest::newRow("fixed fields cut off") << QByteArray("\xc0\x0c\x00\x01\x00", 5) << 2;
    QTest::newRow("owner label past the end") << QByteArray("\x3f"
                                                            "abc",
                                                            4)
                                              << 2;
    QTest::newRow("owner of 300 labels") << [] {
        QByteArray owner;
        for (int i = 0; i < 300; ++i)
            owner += QByteArray("\x01x", 2);
        return owner + QByteArray(1, '\0') + be16(1) + be16(1) + QByteArray(4, '\0') + be16(4) +
               QByteArray("\x01\x02\x03\x04", 4);
    }() << 2;
}

void TestDomains::answerStopsAtMalformedRecord()
{
    QFETCH(QByteArray, tail);
    QFETCH(int, answerCount);
    setDomains({"*.game.test"});
    const QByteArray msg = response("eu.game.test", {aRecord("203.0.113.5")}, answerCount) + tail;
    std::vector<uint8_t> exact(msg.begin(), msg.end());
    QCOMPARE(tunnel_dns_snoop_answer(exact.data(), exact.size(), 53), 1);
    QCOMPARE(tunnel_app_ip_count(), 1);
}

void TestDomains::answerVerboseLines()
{
    setDomains({"*.game.test"});
    tunnel_set_verbose(true);
    const QByteArray msg = response("eu.game.test", {aRecord("203.0.113.5")});
    EngineLogCapture log;
    QCOMPARE(tunnel_dns_snoop_answer(bytes(msg), size_t(msg.size()), 3074), 1);
    QCOMPARE(
        log.out(),
        (QStringList{QString("[DNS-DEBUG] DNS payload len: %1 (orig dst port: 3074)\n").arg(msg.size()),
                     "[DNS-DEBUG] Flags: 0x8180, QD: 1, AN: 1, Response: YES\n",
                     "[DNS-DEBUG] Query name: eu.game.test\n",
                     "[DNS-DEBUG] Checking eu.game.test against 1 app domains\n",
                     "[DNS-DEBUG] Matched with *.game.test\n", "[DNS-SNOOP] Found app domain: eu.game.test\n",
                     "[APP-IP] ✓ Added 203.0.113.5 → 192.0.2.1:50000 (total: 1)\n"}));
}

QTEST_GUILESS_MAIN(TestDomains)
#include "tst_domains.moc"
