// Capture filter expressions: the grammar the engine builds, its truth on real
// packets (including the engine's own relay filters) and the texts refused as
// syntax errors.

#include "PacketBuilder.h"
#include "platform/capture/capture_filter.h"

#include <QtTest>

using namespace testpkt;

namespace {

// The engine's filter for a relay set, written out as the engine forms it.
QString engineFilter(const QStringList &relays)
{
    QString out = "(outbound and ip";
    for (const QString &r : relays)
        out += " and ip.DstAddr != " + r;
    out += ")";
    QStringList src;
    for (const QString &r : relays)
        src << "ip.SrcAddr == " + r;
    QString in = "(inbound and udp.SrcPort == 50000 and (" + src.join(" or ") + "))";
    return "(" + out + " or " + in + ")";
}

int matches(const QString &filter, const QByteArray &pkt, bool outbound)
{
    QByteArray text = filter.toLatin1();
    size_t pos = 0;
    quorlix_filter *f = quorlix_filter_compile(text.constData(), &pos);
    if (!f)
        return -1;
    QByteArray exact(pkt.constData(), pkt.size());
    int r = quorlix_filter_match(f, exact.constData(), size_t(exact.size()), outbound ? 1 : 0);
    quorlix_filter_free(f);
    return r;
}

} // namespace

class TestFilter : public QObject
{
    Q_OBJECT
private slots:
    void engineFilters_data()
    {
        QTest::addColumn<QStringList>("relays");
        QTest::addColumn<QByteArray>("packet");
        QTest::addColumn<bool>("outbound");
        QTest::addColumn<bool>("admitted");

        const QStringList one{"192.0.2.1"};
        const QStringList three{"192.0.2.1", "198.51.100.7", "203.0.113.9"};
        const QByteArray game = udp("10.0.0.2", 50000, "1.2.3.4", 3074);
        QTest::newRow("1: game udp out") << one << game << true << true;
        QTest::newRow("1: tcp out") << one << tcp("10.0.0.2", 40000, "93.184.216.34", 443) << true << true;
        QTest::newRow("1: to the relay out")
            << one << udp("10.0.0.2", 40000, "192.0.2.1", 50000) << true << false;
        QTest::newRow("1: game udp arriving")
            << one << udp("1.2.3.4", 3074, "10.0.0.2", 50000) << false << false;
        QTest::newRow("1: relay reply") << one << udp("192.0.2.1", 50000, "10.0.0.2", 41000) << false << true;
        QTest::newRow("1: relay other port")
            << one << udp("192.0.2.1", 50001, "10.0.0.2", 41000) << false << false;
        QTest::newRow("1: relay tcp 50000")
            << one << tcp("192.0.2.1", 50000, "10.0.0.2", 41000) << false << false;
        QTest::newRow("1: stranger from 50000")
            << one << udp("192.0.2.2", 50000, "10.0.0.2", 41000) << false << false;
        QTest::newRow("1: later fragment out") << one << [&] {
            QByteArray f = game;
            put16(f, 6, 0x0020);
            return f;
        }() << true << true;
        QTest::newRow("1: not ipv4 out") << one << QByteArray(40, '\x60') << true << false;

        QTest::newRow("3: game udp out") << three << game << true << true;
        QTest::newRow("3: to relay 1") << three << udp("10.0.0.2", 4, "192.0.2.1", 50000) << true << false;
        QTest::newRow("3: to relay 2") << three << tcp("10.0.0.2", 4, "198.51.100.7", 80) << true << false;
        QTest::newRow("3: to relay 3") << three << udp("10.0.0.2", 4, "203.0.113.9", 9) << true << false;
        QTest::newRow("3: reply relay 2")
            << three << udp("198.51.100.7", 50000, "10.0.0.2", 41000) << false << true;
        QTest::newRow("3: reply relay 3")
            << three << udp("203.0.113.9", 50000, "10.0.0.2", 41000) << false << true;
        QTest::newRow("3: relay 3 wrong port")
            << three << udp("203.0.113.9", 5000, "10.0.0.2", 41000) << false << false;
        QTest::newRow("3: stranger") << three << udp("203.0.113.10", 50000, "10.0.0.2", 41000) << false
                                     << false;
    }

    void engineFilters()
    {
        QFETCH(QStringList, relays);
        QFETCH(QByteArray, packet);
        QFETCH(bool, outbound);
        QFETCH(bool, admitted);
        QCOMPARE(matches(engineFilter(relays), packet, outbound), admitted ? 1 : 0);
    }

    void semantics_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QByteArray>("packet");
        QTest::addColumn<bool>("outbound");
        QTest::addColumn<bool>("admitted");

        const QByteArray u = udp("10.0.0.2", 5000, "1.2.3.4", 53);
        const QByteArray t = tcp("10.0.0.2", 5000, "1.2.3.4", 80);
        QTest::newRow("absent layer != is false") << "tcp.DstPort != 80" << u << true << false;
        QTest::newRow("not of absent layer is true") << "not tcp.DstPort == 80" << u << true << true;
        QTest::newRow("udp port ==") << "udp.DstPort == 53" << u << true << true;
        QTest::newRow("udp port !=") << "udp.DstPort != 53" << u << true << false;
        QTest::newRow("tcp src port") << "tcp.SrcPort == 5000" << t << true << true;
        QTest::newRow("src addr") << "ip.SrcAddr == 10.0.0.2" << t << true << true;
        QTest::newRow("dst addr mismatch") << "ip.DstAddr == 1.2.3.5" << t << true << false;
        QTest::newRow("and binds tighter than or") << "udp or tcp and inbound" << u << true << true;
        QTest::newRow("parentheses regroup") << "(udp or tcp) and inbound" << u << true << false;
        QTest::newRow("not binds tightest") << "not udp and tcp" << t << true << true;
        QTest::newRow("double not") << "not not outbound" << u << true << true;
        QTest::newRow("keywords ignore case") << "OUTBOUND AND Udp.dstport == 53" << u << true << true;
        QTest::newRow("no spaces") << "(udp.DstPort==53)and(ip.DstAddr==1.2.3.4)" << u << true << true;
        QTest::newRow("not( ) without space") << "not(tcp)" << u << true << true;
        QTest::newRow("ip of garbage") << "ip" << QByteArray(30, '\x45') << true << false;
        QTest::newRow("port 0 and 65535") << "udp.SrcPort != 0 and udp.SrcPort != 65535" << u << true << true;
    }

    void semantics()
    {
        QFETCH(QString, filter);
        QFETCH(QByteArray, packet);
        QFETCH(bool, outbound);
        QFETCH(bool, admitted);
        QCOMPARE(matches(filter, packet, outbound), admitted ? 1 : 0);
    }

    void syntaxErrors_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::newRow("empty") << "";
        QTest::newRow("blank") << "   ";
        QTest::newRow("dangling and") << "outbound and";
        QTest::newRow("leading or") << "or udp";
        QTest::newRow("unclosed") << "(outbound";
        QTest::newRow("unopened") << "outbound)";
        QTest::newRow("empty parens") << "()";
        QTest::newRow("bare not") << "not";
        QTest::newRow("three octets") << "ip.DstAddr == 1.2.3";
        QTest::newRow("five octets") << "ip.DstAddr == 1.2.3.4.5";
        QTest::newRow("octet 256") << "ip.DstAddr == 256.1.1.1";
        QTest::newRow("octet 0001") << "ip.DstAddr == 0001.1.1.1";
        QTest::newRow("port 65536") << "udp.SrcPort == 65536";
        QTest::newRow("huge port") << "udp.SrcPort == 99999999999999999999";
        QTest::newRow("hex port") << "udp.SrcPort == 0x10";
        QTest::newRow("port as address") << "udp.SrcPort == 1.2.3.4";
        QTest::newRow("address as port") << "ip.SrcAddr == 80";
        QTest::newRow("single =") << "udp.SrcPort = 5";
        QTest::newRow("< operator") << "udp.SrcPort < 5";
        QTest::newRow("missing value") << "udp.SrcPort ==";
        QTest::newRow("unknown field") << "tcp.Flags == 1";
        QTest::newRow("unknown word") << "true";
        QTest::newRow("field without compare") << "udp.SrcPort";
        QTest::newRow("flag with compare") << "udp == 1";
        QTest::newRow("c operators") << "outbound && ip";
        QTest::newRow("glued keyword") << "nottcp";
        QTest::newRow("glued value") << "udp.SrcPort == 53and udp";
        QTest::newRow("two tests, no operator") << "udp tcp";
        QTest::newRow("ipv6 field") << "ipv6";
        QTest::newRow("too deep") << QString(100, '(') + "udp" + QString(100, ')');
        QTest::newRow("too deep with not") << QString("not ").repeated(100) + "udp";
        QStringList many;
        for (int i = 0; i <= QUORLIX_FILTER_MAX_TERMS; ++i)
            many << "udp";
        QTest::newRow("too many tests") << many.join(" or ");
        QTest::newRow("too long") << "udp" + QString(QUORLIX_FILTER_MAX_TEXT, ' ');
    }

    void syntaxErrors()
    {
        QFETCH(QString, filter);
        QCOMPARE(matches(filter, udp("10.0.0.2", 1, "1.2.3.4", 2), true), -1);
    }

    void limitsAreUsable()
    {
        // The largest relay set the engine builds (16) stays well inside the limits.
        QStringList relays;
        for (int i = 1; i <= 16; ++i)
            relays << QString("203.0.113.%1").arg(i);
        QCOMPARE(matches(engineFilter(relays), udp("203.0.113.16", 50000, "10.0.0.2", 4), false), 1);
        QStringList many;
        for (int i = 0; i < QUORLIX_FILTER_MAX_TERMS; ++i)
            many << "tcp";
        QCOMPARE(matches(many.join(" or ") + " or udp", udp("1.1.1.1", 1, "2.2.2.2", 2), true), -1);
        QCOMPARE(matches(many.join(" or "), tcp("1.1.1.1", 1, "2.2.2.2", 2), true), 1);
    }
};

QTEST_GUILESS_MAIN(TestFilter)
#include "tst_filter.moc"
