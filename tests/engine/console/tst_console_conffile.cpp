// The console engine's reader of "quorlix.conf": the forgiving dialect
// (trimmed, case-insensitive), the section "global", profile sections with
// their port sets, built-in profiles and defaults, and where the file is found.

#include "engine/common/engine_log.h"
#include "engine/console/console_conffile.h"
#include "support/EngineLogCapture.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <mutex>

namespace {
using Ports = QList<int>;

struct PortSet
{
    uint8_t bits[GATEWAY_PORT_BITMAP_BYTES];
    unsigned long count = 0;
    Ports list() const
    {
        Ports out;
        for (unsigned p = 0; p < 65536; ++p) {
            if (gateway_port_bitmap_test(bits, p))
                out << int(p);
        }
        return out;
    }
};

Ports range(int a, int b)
{
    Ports out;
    for (int p = a; p <= b; ++p)
        out << p;
    return out;
}

bool writeFile(const QString &path, const QByteArray &text)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    return f.write(text) == text.size();
}

// Runs the test body inside a fresh temporary current directory.
class CwdScope
{
public:
    CwdScope() : m_before(QDir::currentPath()) { QDir::setCurrent(m_dir.path()); }
    ~CwdScope() { QDir::setCurrent(m_before); }
    QString path(const QString &name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
    QString m_before;
};
} // namespace

class TestConsoleConfFile : public QObject
{
    Q_OBJECT

private slots:
    void globalSection_data();
    void globalSection();
    void portBitmap_data();
    void portBitmap();
    void profileSections_data();
    void profileSections();
    void loadProfileLogLines();
    void loadProfileTwiceDefinedWarns();
    void loadProfileNotFoundUsesDefaults();
    void builtinProfileSkipsTheFile();
    void noFileAtAllUsesDefaults_data();
    void noFileAtAllUsesDefaults();
    void preferredPathIsProgramFolder();
    void openPrefersPreferredPathThenCwd();
    void loadGlobalFromFile();
};

void TestConsoleConfFile::globalSection_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("serverIp");
    QTest::addColumn<int>("serverPort");
    QTest::addColumn<QByteArray>("profile");
    QTest::addColumn<int>("tunnelAll");
    QTest::addColumn<int>("maxPerSec");
    const QByteArray ip(GATEWAY_DEFAULT_SERVER_IP);
    QTest::newRow("defaults") << QByteArray() << ip << 50000 << QByteArray("custom") << 0 << 0;
    QTest::newRow("any case, blanks around =")
        << QByteArray("[Global]\n  SERVER_PORT = 1 \nServer_IP\t=\t192.0.2.9\n") << QByteArray("192.0.2.9")
        << 1 << QByteArray("custom") << 0 << 0;
    QTest::newRow("only the global section counts")
        << QByteArray("server_port=7\n[custom]\nserver_port=8\n[global]\nprofile=Steam\n[x]\nprofile=no\n")
        << ip << 50000 << QByteArray("Steam") << 0 << 0;
    QTest::newRow("section name trimmed")
        << QByteArray("[  GLOBAL\t]\nserver_port=9\n") << ip << 9 << QByteArray("custom") << 0 << 0;
    QTest::newRow("ports out of range ignored")
        << QByteArray("[global]\nserver_port=2\nserver_port=0\nserver_port=65536\nserver_port=abc\n") << ip
        << 2 << QByteArray("custom") << 0 << 0;
    QTest::newRow("switches: 1, true, yes in any case")
        << QByteArray("[global]\ntunnel_all_ports=YES\n") << ip << 50000 << QByteArray("custom") << 1 << 0;
    QTest::newRow("switch: anything else is off")
        << QByteArray("[global]\ntunnel_all_ports=1\ntunnel_all_ports=on\n") << ip << 50000
        << QByteArray("custom") << 0 << 0;
    QTest::newRow("negative rate becomes 0") << QByteArray("[global]\nverbose_packets_max_per_sec=-5\n") << ip
                                             << 50000 << QByteArray("custom") << 0 << 0;
    QTest::newRow("rate") << QByteArray("[global]\nverbose_packets_max_per_sec=25\n") << ip << 50000
                          << QByteArray("custom") << 0 << 25;
    QTest::newRow("CRLF and comments")
        << QByteArray("# c\r\n[global]\r\n  # server_port=3\r\nserver_port=4\r\n") << ip << 4
        << QByteArray("custom") << 0 << 0;
    QTest::newRow("a [ line without ] keeps the section")
        << QByteArray("[global]\n[broken\nserver_port=5\n") << ip << 5 << QByteArray("custom") << 0 << 0;
    QTest::newRow("vertical tab is not a blank")
        << QByteArray("[global]\nserver_ip=\v192.0.2.9 \n") << QByteArray("\v192.0.2.9") << 50000
        << QByteArray("custom") << 0 << 0;
    QTest::newRow("texts cut to 63") << "[global]\nserver_ip=" + QByteArray(80, 'a') +
                                            "\nprofile=" + QByteArray(80, 'p')
                                     << QByteArray(63, 'a') << 50000 << QByteArray(63, 'p') << 0 << 0;
}

void TestConsoleConfFile::globalSection()
{
    QFETCH(QByteArray, text);
    GatewayFileSettings s;
    gateway_settings_init(&s);
    gateway_parse_global_text(text.constData(), size_t(text.size()), &s);
    QTEST(QByteArray(s.server_ip), "serverIp");
    QTEST(int(s.server_port), "serverPort");
    QTEST(QByteArray(s.profile), "profile");
    QTEST(s.tunnel_all_ports, "tunnelAll");
    QTEST(s.verbose_packets_max_per_sec, "maxPerSec");
}

void TestConsoleConfFile::portBitmap_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<Ports>("expected");
    QTest::newRow("blank and comma separated, backward range")
        << QByteArray("3074 3075,100-90") << range(90, 100) + Ports{3074, 3075};
    QTest::newRow("0, 65536 and a lone dash give only port 1") << QByteArray("0,65536,-") << Ports{1};
    QTest::newRow("range clamped at both ends")
        << QByteArray("0-3,65534-70000") << Ports{1, 2, 3, 65534, 65535};
    QTest::newRow("range wholly above") << QByteArray("70000-80000") << Ports{65535};
    QTest::newRow("counted once") << QByteArray("5,5\t5 4-6") << Ports{4, 5, 6};
    QTest::newRow("not numbers") << QByteArray("a,b,,") << Ports{};
    QTest::newRow("empty") << QByteArray("") << Ports{};
    QTest::newRow("negative end") << QByteArray("5--3") << range(1, 5);
    QTest::newRow("overflowing numbers")
        << QByteArray("99999999999999999999,3-99999999999999999999") << range(3, 65535);
}

void TestConsoleConfFile::portBitmap()
{
    QFETCH(QByteArray, text);
    QFETCH(Ports, expected);
    PortSet set;
    memset(set.bits, 0xff, sizeof set.bits); // parsing starts from an empty set
    gateway_parse_port_bitmap(text.constData(), set.bits, &set.count);
    QCOMPARE(set.list(), expected);
    QCOMPARE(int(set.count), expected.size());
}

void TestConsoleConfFile::profileSections_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("profile");
    QTest::addColumn<int>("occurrences");
    QTest::addColumn<Ports>("udp");
    QTest::addColumn<Ports>("tcp");
    QTest::newRow("blanks inside brackets, any case")
        << QByteArray("[ Custom ]\nUDP_PORTS = 3074\ntcp_ports=443\n") << QByteArray("custom") << 1
        << Ports{3074} << Ports{443};
    QTest::newRow("keys of other sections ignored")
        << QByteArray("udp_ports=1\n[global]\nudp_ports=2\n[custom]\nudp_ports=3\n[steam]\nudp_ports=4\n")
        << QByteArray("custom") << 1 << Ports{3} << Ports{};
    QTest::newRow("last occurrence wins")
        << QByteArray("[custom]\nudp_ports=1\ntcp_ports=2\n[custom]\nudp_ports=3\n") << QByteArray("custom")
        << 2 << Ports{3} << Ports{};
    QTest::newRow("not found leaves the sets")
        << QByteArray("[steam]\nudp_ports=1\n") << QByteArray("custom") << 0 << Ports{7} << Ports{8};
    QTest::newRow("a long line is read whole") << "[custom]\nudp_ports=" + QByteArray(3000, ' ') + "30745\n"
                                               << QByteArray("custom") << 1 << Ports{30745} << Ports{};
}

void TestConsoleConfFile::profileSections()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, profile);
    PortSet udp, tcp;
    gateway_parse_port_bitmap("7", udp.bits, &udp.count);
    gateway_parse_port_bitmap("8", tcp.bits, &tcp.count);
    EngineLogCapture log;
    QTEST(gateway_parse_profile_text(text.constData(), size_t(text.size()), profile.constData(), udp.bits,
                                     &udp.count, tcp.bits, &tcp.count),
          "occurrences");
    QTEST(udp.list(), "udp");
    QTEST(tcp.list(), "tcp");
}

void TestConsoleConfFile::loadProfileLogLines()
{
    CwdScope cwd;
    QVERIFY(writeFile(cwd.path("quorlix.conf"), "[Custom]\nudp_ports=3074 3075,100-90\ntcp_ports=443\n"));
    PortSet udp, tcp;
    EngineLogCapture log;
    QCOMPARE(gateway_load_profile("custom", nullptr, udp.bits, &udp.count, tcp.bits, &tcp.count), 1);
    QCOMPARE(log.out(),
             (QStringList{"[CONFIG] Loading profile 'custom' from quorlix.conf...\n",
                          "[CONFIG]   UDP ports: 13 entries\n", "[CONFIG]   TCP ports: 1 entries\n",
                          "[OK] Profile 'custom' loaded: UDP=13 TCP=1\n"}));
    QVERIFY(log.err().isEmpty());
}

void TestConsoleConfFile::loadProfileTwiceDefinedWarns()
{
    CwdScope cwd;
    const QString preferred = cwd.path("preferred.conf");
    QVERIFY(writeFile(preferred, "[custom]\nudp_ports=1\n[custom]\ntcp_ports=2\n"));
    PortSet udp, tcp;
    EngineLogCapture log;
    const QByteArray path = preferred.toLocal8Bit();
    QCOMPARE(gateway_load_profile("custom", path.constData(), udp.bits, &udp.count, tcp.bits, &tcp.count), 1);
    QCOMPARE(log.out().first(), QString("[CONFIG] Loading profile 'custom' from %1...\n").arg(preferred));
    QCOMPARE(log.out().last(), QString("[OK] Profile 'custom' loaded: UDP=0 TCP=1\n"));
    QCOMPARE(
        log.err(),
        QStringList{"[WARN] Profile 'custom' is defined 2 times in config; using the LAST occurrence.\n"});
}

void TestConsoleConfFile::loadProfileNotFoundUsesDefaults()
{
    CwdScope cwd;
    QVERIFY(writeFile(cwd.path("quorlix.conf"), "[steam]\nudp_ports=1\n"));
    PortSet udp, tcp;
    EngineLogCapture log;
    QCOMPARE(gateway_load_profile("custom", nullptr, udp.bits, &udp.count, tcp.bits, &tcp.count), 0);
    QCOMPARE(udp.count, 9ul);
    QCOMPARE(tcp.list(), (Ports{80, 443, 3074}));
    QCOMPARE(log.err(), QStringList{"[WARN] Profile 'custom' not found in config, using defaults\n"});
}

void TestConsoleConfFile::builtinProfileSkipsTheFile()
{
    CwdScope cwd;
    // A file naming the same profile differently must not be read.
    QVERIFY(writeFile(cwd.path("quorlix.conf"), "[tcp443only]\nudp_ports=1\ntcp_ports=2\n"));
    PortSet udp, tcp;
    gateway_parse_port_bitmap("9", udp.bits, &udp.count);
    EngineLogCapture log;
    QCOMPARE(gateway_load_profile("TCP443ONLY", nullptr, udp.bits, &udp.count, tcp.bits, &tcp.count), 1);
    QCOMPARE(udp.list(), Ports{});
    QCOMPARE(tcp.list(), Ports{443});
    QCOMPARE(log.out(), QStringList{"[CONFIG] Built-in profile 'TCP443ONLY': tunnel TCP=443 only (UDP=0)\n"});
    QVERIFY(gateway_is_builtin_profile("tcp443"));
    QVERIFY(!gateway_is_builtin_profile("tcp4430"));
    QVERIFY(!gateway_is_builtin_profile(nullptr));
}

void TestConsoleConfFile::noFileAtAllUsesDefaults_data()
{
    QTest::addColumn<bool>("withPreferred");
    QTest::newRow("no preferred path") << false;
    QTest::newRow("preferred path missing too") << true;
}

void TestConsoleConfFile::noFileAtAllUsesDefaults()
{
    QFETCH(bool, withPreferred);
    CwdScope cwd;
    const QByteArray preferred = cwd.path("absent/quorlix.conf").toLocal8Bit();
    PortSet udp, tcp;
    EngineLogCapture log;
    QCOMPARE(gateway_load_profile("custom", withPreferred ? preferred.constData() : nullptr, udp.bits,
                                  &udp.count, tcp.bits, &tcp.count),
             0);
    QCOMPARE(udp.list(), (Ports{53, 88, 500, 3074, 3478, 3479, 3544, 4500, 5353}));
    QCOMPARE(udp.count, 9ul);
    QCOMPARE(tcp.count, 3ul);
    const QString expected =
        withPreferred ? QString("[WARN] Could not open config '%1' (or cwd quorlix.conf), using defaults\n")
                            .arg(QString(preferred))
                      : QString("[WARN] Could not open quorlix.conf, using defaults\n");
    QCOMPARE(log.err(), QStringList{expected});
    QVERIFY(log.out().isEmpty());

    // The global settings stay as they were, silently.
    GatewayFileSettings s;
    gateway_settings_init(&s);
    s.server_port = 1234;
    gateway_load_global_config(withPreferred ? preferred.constData() : nullptr, &s);
    QCOMPARE(int(s.server_port), 1234);
}

void TestConsoleConfFile::preferredPathIsProgramFolder()
{
    char path[4096];
    QCOMPARE(gateway_find_config_path(path, sizeof path), 1);
    QCOMPARE(QString::fromLocal8Bit(path), QCoreApplication::applicationDirPath() + "/quorlix.conf");
    char tiny[8];
    QCOMPARE(gateway_find_config_path(tiny, sizeof tiny), 0); // does not fit: no preferred path
    QCOMPARE(tiny[0], '\0');
}

void TestConsoleConfFile::openPrefersPreferredPathThenCwd()
{
    CwdScope cwd;
    const QString preferred = cwd.path("sub/quorlix.conf");
    QVERIFY(QDir(cwd.path(".")).mkpath("sub"));
    QVERIFY(writeFile(cwd.path("quorlix.conf"), "cwd"));
    const QByteArray p = preferred.toLocal8Bit();
    auto readAll = [](FILE *f) {
        char buf[16] = {};
        size_t n = f ? fread(buf, 1, sizeof buf - 1, f) : 0;
        if (f)
            fclose(f);
        return QByteArray(buf, int(n));
    };
    QCOMPARE(readAll(gateway_open_config(p.constData())), QByteArray("cwd")); // preferred missing
    // A folder by the preferred name opens on Linux but is no file: the next place is tried.
    const QByteArray folder = cwd.path("sub").toLocal8Bit();
    QCOMPARE(readAll(gateway_open_config(folder.constData())), QByteArray("cwd"));
    QVERIFY(writeFile(preferred, "preferred"));
    QCOMPARE(readAll(gateway_open_config(p.constData())), QByteArray("preferred"));
    QCOMPARE(readAll(gateway_open_config("")), QByteArray("cwd"));
    QVERIFY(QFile::remove(cwd.path("quorlix.conf")));
    QVERIFY(QDir(cwd.path(".")).mkdir("quorlix.conf"));
    QVERIFY(!gateway_open_config(nullptr));
}

void TestConsoleConfFile::loadGlobalFromFile()
{
    CwdScope cwd;
    QVERIFY(writeFile(cwd.path("quorlix.conf"), "[global]\r\nserver_ip = 192.0.2.44\r\ndns=9.9.9.9\r\n"));
    GatewayFileSettings s;
    gateway_settings_init(&s);
    gateway_load_global_config(nullptr, &s);
    QCOMPARE(QByteArray(s.server_ip), QByteArray("192.0.2.44"));
    QCOMPARE(QByteArray(s.dns), QByteArray("9.9.9.9"));
    QCOMPARE(QByteArray(s.gateway), QByteArray("172.22.255.34"));
}

QTEST_GUILESS_MAIN(TestConsoleConfFile)
#include "tst_console_conffile.moc"
