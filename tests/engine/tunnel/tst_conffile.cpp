// The PC engine's reader of "quorlix.conf": the exact, case-sensitive dialect,
// the two passes over profile sections, the port and domain lists, and the
// file wrapper.

#include "engine/tunnel/quorlix_tunnel.h"
#include "engine/tunnel/tunnel_conffile.h"
#include "engine/tunnel/tunnel_mtu.h"
#include "engine/tunnel/tunnel_state.h"
#include "support/EngineStateFixture.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <limits.h>

namespace {
using PortList = QList<qint64>;

PortList ports(const uint32_t *values, int count)
{
    PortList out;
    for (int i = 0; i < count; ++i)
        out << qint64(values[i]);
    return out;
}

QStringList domains(const TunnelRuntimeConfig &cfg)
{
    QStringList out;
    for (int i = 0; i < cfg.app_domain_count; ++i)
        out << QString::fromLatin1(cfg.app_domains[i]);
    return out;
}

struct Parsed
{
    std::unique_ptr<TunnelRuntimeConfig> cfg = EngineStateFixture::makeRecord();
    TunnelConfFileEngine eng{};
};

Parsed parse(const QByteArray &text)
{
    Parsed p;
    tunnel_conffile_parse(text.constData(), size_t(text.size()), p.cfg.get(), &p.eng);
    return p;
}

// Reader seam: serves scripted texts in turn, null once they run out.
struct ScriptedReader
{
    QList<QByteArray> texts;
    int calls = 0;
    static char *read(const char *, size_t *len, void *ctx)
    {
        auto *self = static_cast<ScriptedReader *>(ctx);
        const int i = self->calls++;
        if (i >= self->texts.size())
            return nullptr;
        const QByteArray &t = self->texts[i];
        char *copy = static_cast<char *>(malloc(size_t(t.size()) + 1));
        memcpy(copy, t.constData(), size_t(t.size()));
        *len = size_t(t.size());
        return copy;
    }
};
} // namespace

Q_DECLARE_METATYPE(PortList)

class TestConfFile : public QObject
{
    Q_OBJECT

private slots:
    void init() { EngineStateFixture::reset(); }
    void cleanup()
    {
        tunnel_conffile_set_reader(nullptr, nullptr);
        EngineStateFixture::reset();
    }

    void defaults();
    void globalKeys_data();
    void globalKeys();
    void profileSections_data();
    void profileSections();
    void portList_data();
    void portList();
    void domainList_data();
    void domainList();
    void overLongLines();
    void mtuKeysReachTheEngine_data();
    void mtuKeysReachTheEngine();
    void loadReadsTwiceAndKeepsFirstPassWhenReopenFails();
    void loadFailsWithoutFile_data();
    void loadFailsWithoutFile();
};

void TestConfFile::defaults()
{
    Parsed p = parse("");
    QCOMPARE(QByteArray(p.cfg->entry_host), QByteArray(TUNNEL_DEFAULT_ENTRY_HOST));
    QCOMPARE(p.cfg->entry_port, 50000);
    QCOMPARE(QByteArray(p.cfg->game_profile), QByteArray("warzone"));
    QCOMPARE(p.cfg->udp_port_count, 0);
    QCOMPARE(p.cfg->tcp_port_count, 0);
    QCOMPARE(p.cfg->app_domain_count, 0);
    QCOMPARE(p.cfg->enable_tcp, 1u);
    QCOMPARE(p.cfg->debug_mode, 1u);
    QCOMPARE(p.cfg->mtu, 0u);
    QVERIFY(!p.eng.have_verbose);
}

void TestConfFile::globalKeys_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("host");
    QTest::addColumn<int>("port");
    QTest::addColumn<QByteArray>("profile");
    QTest::addColumn<uint>("debug");
    const QByteArray H(TUNNEL_DEFAULT_ENTRY_HOST);
    QTest::newRow("plain") << QByteArray("entry_host=192.0.2.7\nentry_port=6000\ngame_profile=custom\n")
                           << QByteArray("192.0.2.7") << 6000 << QByteArray("custom") << 1u;
    QTest::newRow("keys are case-sensitive")
        << QByteArray("ENTRY_PORT=1\nEntry_Host=x\n") << H << 50000 << QByteArray("warzone") << 1u;
    QTest::newRow("nothing is trimmed")
        << QByteArray(" entry_port=1\nentry_port =2\nentry_host= 192.0.2.7 \n") << QByteArray(" 192.0.2.7 ")
        << 50000 << QByteArray("warzone") << 1u;
    QTest::newRow("global keys count in any section")
        << QByteArray("[other]\nentry_port=7000\n[warzone]\ngame_profile=p\n") << H << 7000 << QByteArray("p")
        << 1u;
    QTest::newRow("last value wins") << QByteArray("entry_port=1\nentry_port=2\n") << H << 2
                                     << QByteArray("warzone") << 1u;
    QTest::newRow("port like atoi, unchecked")
        << QByteArray("entry_port=  70000abc\n") << H << 70000 << QByteArray("warzone") << 1u;
    QTest::newRow("port without digits")
        << QByteArray("entry_port=abc\n") << H << 0 << QByteArray("warzone") << 1u;
    QTest::newRow("port overflowing saturates")
        << QByteArray("entry_port=99999999999999999999\n") << H << INT_MAX << QByteArray("warzone") << 1u;
    QTest::newRow("comment only in the first column")
        << QByteArray("#entry_port=1\n #entry_port=2\n") << H << 50000 << QByteArray("warzone") << 1u;
    QTest::newRow("line without = is ignored")
        << QByteArray("entry_port\nentry_port 5\n") << H << 50000 << QByteArray("warzone") << 1u;
    QTest::newRow("debug only for exact true")
        << QByteArray("debug_mode=True\n") << H << 50000 << QByteArray("warzone") << 0u;
    QTest::newRow("debug true") << QByteArray("debug_mode=false\ndebug_mode=true\n") << H << 50000
                                << QByteArray("warzone") << 1u;
    QTest::newRow("CRLF lines") << QByteArray(
                                       "entry_host=192.0.2.8\r\nentry_port=6001\r\ndebug_mode=true\r\n")
                                << QByteArray("192.0.2.8") << 6001 << QByteArray("warzone") << 1u;
    QTest::newRow("a CR ends the line") << QByteArray("entry_host=192.0.2.8\rjunk\n")
                                        << QByteArray("192.0.2.8") << 50000 << QByteArray("warzone") << 1u;
    QTest::newRow("a NUL ends the line") << QByteArray("entry_port=12\0"
                                                       "34\n",
                                                       17)
                                         << H << 12 << QByteArray("warzone") << 1u;
    QTest::newRow("no final newline")
        << QByteArray("entry_port=6002") << H << 6002 << QByteArray("warzone") << 1u;
    QTest::newRow("long host cut to 255") << "entry_host=" + QByteArray(300, 'h') + "\n"
                                          << QByteArray(255, 'h') << 50000 << QByteArray("warzone") << 1u;
    QTest::newRow("long profile cut to 63") << "game_profile=" + QByteArray(100, 'p') + "\n"
                                            << H << 50000 << QByteArray(63, 'p') << 1u;
}

void TestConfFile::globalKeys()
{
    QFETCH(QByteArray, text);
    Parsed p = parse(text);
    QTEST(QByteArray(p.cfg->entry_host), "host");
    QTEST(int(p.cfg->entry_port), "port");
    QTEST(QByteArray(p.cfg->game_profile), "profile");
    QTEST(uint(p.cfg->debug_mode), "debug");
}

void TestConfFile::profileSections_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<PortList>("udp");
    QTest::addColumn<PortList>("tcp");
    QTest::addColumn<uint>("enableTcp");
    QTest::newRow("profile keys only in the profile section")
        << QByteArray(
               "udp_ports=1\n[other]\nudp_ports=2\n[warzone]\nudp_ports=3\ntcp_ports=443\n[x]\nudp_ports=4\n")
        << PortList{3} << PortList{443} << 1u;
    QTest::newRow("section names are case-sensitive")
        << QByteArray("[Warzone]\nudp_ports=3\n") << PortList{} << PortList{} << 1u;
    QTest::newRow("a [ line without ] keeps the section")
        << QByteArray("[warzone]\n[broken\nudp_ports=5\n") << PortList{5} << PortList{} << 1u;
    QTest::newRow("blanks inside brackets count")
        << QByteArray("[ warzone ]\nudp_ports=5\n") << PortList{} << PortList{} << 1u;
    QTest::newRow("enable_tcp only for exact true")
        << QByteArray("[warzone]\nenable_tcp=TRUE\n") << PortList{} << PortList{} << 0u;
    QTest::newRow("each list line replaces the last")
        << QByteArray("[warzone]\nudp_ports=1,2,3\nudp_ports=9\n") << PortList{9} << PortList{} << 1u;
    // The profile named below the default profile's section: the default's keys
    // stay for everything the final section does not set.
    QTest::newRow("profile named after the default's section")
        << QByteArray("[warzone]\nudp_ports=1\ntcp_ports=2\n[custom]\nudp_ports=7\ngame_profile=custom\n")
        << PortList{7} << PortList{2} << 1u;
    QTest::newRow("profile named before its section")
        << QByteArray("game_profile=custom\n[warzone]\nudp_ports=1\n[custom]\nudp_ports=7\n") << PortList{7}
        << PortList{} << 1u;
    QTest::newRow("CRLF section line")
        << QByteArray("[warzone]\r\nudp_ports=3074\r\n") << PortList{3074} << PortList{} << 1u;
}

void TestConfFile::profileSections()
{
    QFETCH(QByteArray, text);
    Parsed p = parse(text);
    QTEST(ports(p.cfg->udp_ports, p.cfg->udp_port_count), "udp");
    QTEST(ports(p.cfg->tcp_ports, p.cfg->tcp_port_count), "tcp");
    QTEST(uint(p.cfg->enable_tcp), "enableTcp");
}

void TestConfFile::portList_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<int>("count");
    QTest::addColumn<PortList>("head"); // the first values
    QTest::addColumn<qint64>("lastValue");
    QTest::newRow("range, zero and too large kept")
        << QByteArray("3074-3076,0,70000") << 5 << PortList{3074, 3075, 3076, 0, 70000} << qint64(70000);
    QTest::newRow("backward range gives nothing") << QByteArray("10-5") << 0 << PortList{} << qint64(-1);
    QTest::newRow("empty value") << QByteArray("") << 0 << PortList{} << qint64(-1);
    QTest::newRow("empty pieces skipped") << QByteArray("1,,2,") << 2 << PortList{1, 2} << qint64(2);
    QTest::newRow("duplicates kept") << QByteArray("5,5") << 2 << PortList{5, 5} << qint64(5);
    QTest::newRow("blanks before numbers") << QByteArray(" 7, 8 ,\t9") << 3 << PortList{7, 8, 9} << qint64(9);
    QTest::newRow("missing ends read as 0") << QByteArray("-2") << 3 << PortList{0, 1, 2} << qint64(2);
    QTest::newRow("lone dash") << QByteArray("-") << 1 << PortList{0} << qint64(0);
    QTest::newRow("range ending at INT_MAX")
        << QByteArray("2147483600-2147483647") << 48 << PortList{2147483600} << qint64(2147483647);
    QTest::newRow("huge range stops at capacity")
        << QByteArray("0-2147483647,5") << 65536 << PortList{0, 1} << qint64(65535);
    QTest::newRow("overflowing number saturates")
        << QByteArray("99999999999999999999") << 1 << PortList{2147483647} << qint64(2147483647);
}

void TestConfFile::portList()
{
    QFETCH(QByteArray, value);
    QFETCH(int, count);
    QFETCH(PortList, head);
    QFETCH(qint64, lastValue);
    std::vector<uint32_t> out(QUORLIX_MAX_PORTS);
    const int n = tunnel_parse_port_list(value.constData(), out.data(), QUORLIX_MAX_PORTS);
    QCOMPARE(n, count);
    QCOMPARE(ports(out.data(), head.size()), head);
    if (n > 0)
        QCOMPARE(qint64(out[size_t(n - 1)]), lastValue);
    // Through the file the same value fills the record.
    Parsed p = parse("[warzone]\ntcp_ports=" + value + "\n");
    QCOMPARE(p.cfg->tcp_port_count, count);
}

void TestConfFile::domainList_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("trimmed and lower-cased")
        << QByteArray(" *.Game.TEST ,\tplay.test") << QStringList{"*.game.test", "play.test"};
    QTest::newRow("adjacent commas skipped") << QByteArray("a,,b,") << QStringList{"a", "b"};
    QTest::newRow("a blank piece is an empty entry") << QByteArray("a, ,b") << QStringList{"a", "", "b"};
    QTest::newRow("cut to 127") << QByteArray(200, 'x') << QStringList{QString(127, 'x')};
}

void TestConfFile::domainList()
{
    QFETCH(QByteArray, value);
    QFETCH(QStringList, expected);
    Parsed p = parse("[warzone]\napp_domains=" + value + "\n");
    QCOMPARE(domains(*p.cfg), expected);
}

void TestConfFile::overLongLines()
{
    // A port list far past any line buffer: its last number stays whole.
    QByteArray list;
    for (int i = 0; i < 150; ++i)
        list += QByteArray::number(10000 + i) + ",";
    list += "30745";
    QVERIFY(list.size() > 600);
    // A long comment whose tail would look like a setting if the line were split.
    const QByteArray comment = "#" + QByteArray(600, 'c') + "entry_port=7\n";
    // 200 domains on one line: 128 are kept.
    QByteArray many;
    for (int i = 0; i < 200; ++i)
        many += "d" + QByteArray::number(i) + ".test,";
    Parsed p = parse(comment + "[warzone]\nudp_ports=" + list + "\napp_domains=" + many + "\n");
    QCOMPARE(p.cfg->entry_port, 50000);
    QCOMPARE(p.cfg->udp_port_count, 151);
    QCOMPARE(p.cfg->udp_ports[150], 30745u);
    QCOMPARE(p.cfg->app_domain_count, 128);
    QCOMPARE(QByteArray(p.cfg->app_domains[127]), QByteArray("d127.test"));
}

void TestConfFile::mtuKeysReachTheEngine_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<uint>("recordMtu");
    QTest::addColumn<int>("safe");
    QTest::addColumn<int>("lower");
    QTest::addColumn<int>("upper");
    QTest::addColumn<uint>("interval");
    QTest::newRow("mtu_safe overrides mtu_max")
        << QByteArray("mtu_safe=1300\nmtu_max=1450\n") << 1300u << 1300 << 576 << 1300 << 60000u;
    QTest::newRow("bounds and interval") << QByteArray("mtu_min=600\nmtu_max=1450\nmtu_probe_interval=10\n")
                                         << 0u << 1400 << 600 << 1450 << 10000u;
    QTest::newRow("out of range values ignored")
        << QByteArray("mtu_safe=575\nmtu_min=1501\nmtu_max=100\nmtu_probe_interval=5\n") << 0u << 1400 << 576
        << 1400 << 60000u;
    QTest::newRow("earlier value stays") << QByteArray("mtu_probe_interval=300\nmtu_probe_interval=301\n")
                                         << 0u << 1400 << 576 << 1400 << 300000u;
}

void TestConfFile::mtuKeysReachTheEngine()
{
    QFETCH(QByteArray, text);
    Parsed p = parse(text);
    QTEST(uint(p.cfg->mtu), "recordMtu");
    tunnel_conffile_apply_engine(p.cfg.get(), &p.eng);
    QTEST(g_tunnel_mtu.safe_mtu.load(), "safe");
    QTEST(g_tunnel_mtu.lower_bound, "lower");
    QTEST(g_tunnel_mtu.upper_bound, "upper");
    QTEST(uint(g_tunnel_mtu.probe_interval_ms), "interval");
}

void TestConfFile::loadReadsTwiceAndKeepsFirstPassWhenReopenFails()
{
    const QByteArray text =
        "[warzone]\nudp_ports=1\n[custom]\nudp_ports=7\ngame_profile=custom\ndebug_mode=true\n";
    auto cfg = EngineStateFixture::makeRecord();

    ScriptedReader both{{text, text}};
    tunnel_conffile_set_reader(&ScriptedReader::read, &both);
    EngineLogCapture log;
    QCOMPARE(tunnel_conffile_load("quorlix.conf", cfg.get()), 1);
    QCOMPARE(both.calls, 2);
    QCOMPARE(ports(cfg->udp_ports, cfg->udp_port_count), PortList{7});
    QVERIFY(tunnel_verbose());
    QVERIFY(log.out().isEmpty());

    ScriptedReader once{{text}};
    tunnel_conffile_set_reader(&ScriptedReader::read, &once);
    QCOMPARE(tunnel_conffile_load("quorlix.conf", cfg.get()), 1);
    QCOMPARE(ports(cfg->udp_ports, cfg->udp_port_count), PortList{1}); // what the first reading gave
    QCOMPARE(QByteArray(cfg->game_profile), QByteArray("custom"));
    QCOMPARE(log.out(), QStringList{"[WARN] Cannot reopen quorlix.conf; keeping the settings read so far\n"});
}

void TestConfFile::loadFailsWithoutFile_data()
{
    QTest::addColumn<bool>("directory");
    QTest::newRow("no such file") << false;
    // A folder by that name opens on Linux, but there is nothing to read.
    QTest::newRow("a folder by that name") << true;
}

void TestConfFile::loadFailsWithoutFile()
{
    QFETCH(bool, directory);
    auto cfg = EngineStateFixture::makeRecord();
    EngineLogCapture log;
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("quorlix.conf");
    if (directory)
        QVERIFY(QDir(dir.path()).mkdir("quorlix.conf"));
    QCOMPARE(tunnel_conffile_load(path.toLocal8Bit().constData(), cfg.get()), 0);
    QCOMPARE(log.out(), QStringList{"[ERROR] Cannot open quorlix.conf file\n"});
}

QTEST_GUILESS_MAIN(TestConfFile)
#include "tst_conffile.moc"
