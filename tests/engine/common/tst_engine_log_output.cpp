// The engines' log text and where it goes: the formatter against the C
// library's snprintf, and standard output during a run (gathered while it is
// not a terminal, written whole and in order, flushed on time and at the end).

#include "engine/common/engine_log.h"

#include <QtTest>

#include <climits>
#include <cstdarg>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

int viaFormatter(char *buf, size_t cap, const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    const int n = quorlix_log_format(buf, cap, fmt, ap);
    va_end(ap);
    return n;
}

// Formats with both and compares text and returned length, whole and cut
// short by a small buffer.
template <typename T> void compareWithSnprintf(const QByteArray &spec, T value)
{
    const QByteArray fmt = "[" + spec + "]";
    for (size_t cap : {size_t(600), size_t(4), size_t(0)}) {
        char expected[600];
        char got[600];
        memset(expected, '#', sizeof expected);
        memset(got, '#', sizeof got);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
        const int want = snprintf(expected, cap, fmt.constData(), value);
#pragma GCC diagnostic pop
        const int n = viaFormatter(got, cap, fmt.constData(), value);
        QCOMPARE(n, want);
        QCOMPARE(QByteArray(got, int(sizeof got)), QByteArray(expected, int(sizeof expected)));
    }
}

enum ArgType { Int, Long, LongLong, Unsigned, ULong, ULongLong, Size, String, Char };

// Standard output pointed at a file for one test, restored afterwards.
class CapturedStdout
{
public:
    CapturedStdout()
    {
        fflush(stdout);
        m_saved = dup(STDOUT_FILENO);
        m_path = QDir::temp().filePath(QStringLiteral("engine_log_%1.txt").arg(getpid()));
        const int fd = open(m_path.toLocal8Bit().constData(), O_CREAT | O_TRUNC | O_WRONLY, 0600);
        dup2(fd, STDOUT_FILENO);
        close(fd);
    }
    ~CapturedStdout()
    {
        fflush(stdout);
        dup2(m_saved, STDOUT_FILENO);
        close(m_saved);
        QFile::remove(m_path);
    }
    QByteArray text() const
    {
        QFile f(m_path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private:
    int m_saved = -1;
    QString m_path;
};

QList<QByteArray> g_sunk;
void sink(int, const char *text, size_t len, void *)
{
    g_sunk.append(QByteArray(text, int(len)));
}

} // namespace

class TestEngineLogOutput : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsSet("QUORLIX_TEST_TMP"))
            qputenv("TMPDIR", qgetenv("QUORLIX_TEST_TMP"));
    }

    void cleanup()
    {
        quorlix_log_run_end();
        quorlix_log_set_sink(nullptr, nullptr);
        quorlix_log_set_flush_interval(1000);
        g_sunk.clear();
    }

    void formatterMatchesSnprintf_data()
    {
        QTest::addColumn<QByteArray>("spec");
        QTest::addColumn<int>("type");
        for (const char *spec : {"%d", "%i", "%5d", "%-5d", "%05d", "%012d", "%+d", "% d"})
            QTest::newRow(spec) << QByteArray(spec) << int(Int);
        for (const char *spec : {"%u", "%x", "%X", "%08x", "%04x", "%-10u", "%2u", "%#x"})
            QTest::newRow(spec) << QByteArray(spec) << int(Unsigned);
        QTest::newRow("%ld") << QByteArray("%ld") << int(Long);
        QTest::newRow("%lu") << QByteArray("%lu") << int(ULong);
        QTest::newRow("%lld") << QByteArray("%lld") << int(LongLong);
        QTest::newRow("%llu") << QByteArray("%llu") << int(ULongLong);
        QTest::newRow("%zu") << QByteArray("%zu") << int(Size);
        for (const char *spec : {"%s", "%20s", "%-20s", "%.3s", "%s%%"})
            QTest::newRow(spec) << QByteArray(spec) << int(String);
        for (const char *spec : {"%c", "%3c", "%-3c"})
            QTest::newRow(spec) << QByteArray(spec) << int(Char);
    }

    void formatterMatchesSnprintf()
    {
        QFETCH(QByteArray, spec);
        QFETCH(int, type);
        switch (type) {
        case Int:
            for (int v : {0, 1, -1, 42, -42, 99999, INT_MAX, INT_MIN})
                compareWithSnprintf(spec, v);
            break;
        case Unsigned:
            for (unsigned v : {0u, 1u, 53u, 65535u, 0xABCDEFu, UINT32_MAX})
                compareWithSnprintf(spec, v);
            break;
        case Long:
            for (long v : {0L, -1L, LONG_MAX, LONG_MIN})
                compareWithSnprintf(spec, v);
            break;
        case ULong:
            for (unsigned long v : {0UL, 87UL, ULONG_MAX})
                compareWithSnprintf(spec, v);
            break;
        case LongLong:
            for (long long v : {0LL, LLONG_MIN, LLONG_MAX})
                compareWithSnprintf(spec, v);
            break;
        case ULongLong:
            for (unsigned long long v : {0ULL, ULLONG_MAX})
                compareWithSnprintf(spec, v);
            break;
        case Size:
            for (size_t v : {size_t(0), size_t(1228), SIZE_MAX})
                compareWithSnprintf(spec, v);
            break;
        case String: {
            const QByteArray longest(255, 'q');
            for (const char *v : {"", "a", "UDP", "0.0.0.0", "9.9.9.9", "10.20.30.40", "100.200.250.255",
                                  "255.255.255.255", "\xE2\x9C\x93", longest.constData()})
                compareWithSnprintf(spec, v);
            break;
        }
        case Char:
            for (int v : {int('a'), int(' '), int('%'), 0x7f})
                compareWithSnprintf(spec, v);
            break;
        }
    }

    void dottedAddressText_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        // Every width of each byte: one, two and three digits, and the ends.
        QTest::newRow("all zero") << QByteArray::fromHex("00000000");
        QTest::newRow("all ones") << QByteArray::fromHex("ffffffff");
        QTest::newRow("one digit") << QByteArray::fromHex("01020309");
        QTest::newRow("two digits") << QByteArray::fromHex("0a141e63");
        QTest::newRow("three digits") << QByteArray::fromHex("64c8fafe");
        QTest::newRow("mixed") << QByteArray::fromHex("c0a80001");
        QTest::newRow("tens with zero") << QByteArray::fromHex("0a6e0014");
    }

    void dottedAddressText()
    {
        QFETCH(QByteArray, bytes);
        const auto *b = reinterpret_cast<const unsigned char *>(bytes.constData());
        uint32_t raw;
        memcpy(&raw, b, 4);
        char expected[16];
        snprintf(expected, sizeof expected, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
        char got[QUORLIX_IPV4_TEXT_LEN];
        QCOMPARE(quorlix_format_ipv4(raw, got), strlen(expected));
        QCOMPARE(QByteArray(got), QByteArray(expected));
    }

    void builtLinesMatchTheirFormats_data()
    {
        QTest::addColumn<QByteArray>("address"); // as the bytes lie in the packet
        QTest::addColumn<uint>("port");
        QTest::newRow("short address, port 0") << QByteArray::fromHex("01020304") << 0u;
        QTest::newRow("widest address, top port") << QByteArray::fromHex("ffffffff") << 65535u;
        QTest::newRow("zeros, one digit") << QByteArray::fromHex("00000000") << 7u;
        QTest::newRow("mixed widths") << QByteArray::fromHex("0a6404c8") << 3074u;
        QTest::newRow("large number") << QByteArray::fromHex("c0a80101") << UINT32_MAX;
    }

    // The per-packet lines are put together piece by piece; each must read
    // exactly as its printf format.
    void builtLinesMatchTheirFormats()
    {
        QFETCH(QByteArray, address);
        QFETCH(uint, port);
        uint32_t raw;
        memcpy(&raw, address.constData(), 4);
        char dotted[QUORLIX_IPV4_TEXT_LEN];
        quorlix_format_ipv4(raw, dotted);
        const uint32_t relay = raw ^ 0x01010101u;
        char relayText[QUORLIX_IPV4_TEXT_LEN];
        quorlix_format_ipv4(relay, relayText);
        char want[512];

        const auto sunkLine = [](const QuorlixLogLine &line) {
            g_sunk.clear();
            line.write();
            return g_sunk.value(0);
        };
        quorlix_log_set_sink(sink, nullptr);

        for (const char *proto : {"UDP", "TCP"}) {
            const bool udp = proto[0] == 'U';
            for (const char *yes : {"YES", "NO"}) {
                snprintf(want, sizeof want,
                         "[OUTBOUND-CHECK] External %s packet to %s:%u (in app_ip list: %s)\n", proto, dotted,
                         port, yes);
                QuorlixLogLine line;
                line.text("[OUTBOUND-CHECK] External ");
                udp ? line.text("UDP") : line.text("TCP");
                line.text(" packet to ").ipv4(raw).text(":").number(port).text(" (in app_ip list: ");
                yes[0] == 'Y' ? line.text("YES)\n") : line.text("NO)\n");
                QCOMPARE(sunkLine(line), QByteArray(want));
            }
            snprintf(want, sizeof want, "[APP-IP] Tunneling %s traffic to %s:%u via %s:%u\n", proto, dotted,
                     port, relayText, port);
            QuorlixLogLine via;
            via.text("[APP-IP] Tunneling ");
            udp ? via.text("UDP") : via.text("TCP");
            via.text(" traffic to ").ipv4(raw).text(":").number(port).text(" via ").ipv4(relay);
            via.text(":").number(port).text("\n");
            QCOMPARE(sunkLine(via), QByteArray(want));
        }
        snprintf(want, sizeof want, "[GAME-UDP] \xE2\x9C\x93 Tunneling UDP port %u (srcP=%u, dstP=%u)\n",
                 port, port / 2, port);
        QuorlixLogLine game;
        game.text("[GAME-UDP] \xE2\x9C\x93 Tunneling UDP port ")
            .number(port)
            .text(" (srcP=")
            .number(port / 2);
        game.text(", dstP=").number(port).text(")\n");
        QCOMPARE(sunkLine(game), QByteArray(want));

        // A line cannot run past its buffer, however it is fed.
        QuorlixLogLine full;
        for (int i = 0; i < 40; ++i)
            full.text("0123456789").ipv4(raw).number(port);
        QVERIFY(sunkLine(full).size() <= 240);
    }

    void runGathersStandardOutput()
    {
        CapturedStdout out;
        quorlix_log_set_flush_interval(600000); // only the explicit flushes below
        quorlix_log_run_begin();
        quorlix_log("one %d\n", 1);
        quorlix_log_verbose("never written\n");
        quorlix_log("two %s\n", "2");
        QCOMPARE(out.text(), QByteArray()); // gathered, not yet written
        quorlix_log_flush();
        QCOMPARE(out.text(), QByteArray("one 1\ntwo 2\n"));

        // A line longer than the buffer arrives whole, after what came before.
        const QByteArray big(70000, 'b');
        quorlix_log("three\n");
        quorlix_log("%s\n", big.constData());
        quorlix_log("four\n");
        quorlix_log_run_end();
        QCOMPARE(out.text(), "one 1\ntwo 2\nthree\n" + big + "\nfour\n");

        // After the run, lines go out as they come (the C library's own
        // buffering aside).
        quorlix_log("five\n");
        fflush(stdout);
        QCOMPARE(out.text().right(5), QByteArray("five\n"));
    }

    // Lines kept per key: whichever keys share a slot, each line reads as
    // its own format, and gathered output holds exactly the lines (the kept
    // text is copied in fixed-size pieces, never past a line's end into the
    // output), also when a line does not fit the memo or the buffer's rest.
    void keptLinesReadAsTheirFormat()
    {
        CapturedStdout out;
        quorlix_log_set_flush_interval(600000);
        quorlix_log_run_begin();
        QuorlixLineMemo<4, 2> memo; // few slots: keys keep taking each other's
        QByteArray expected;
        const auto writeKey = [&](uint64_t k0, uint64_t k1) {
            const bool longLine = k0 % 7 == 3;
            memo.write(k0, k1, [&](QuorlixLogLine &line) {
                line.text("[K] ").number(unsigned(k0)).text(" / ").number(unsigned(k1));
                if (longLine)
                    line.text(" and a tail long enough that the line no longer fits the memo's slot of text, "
                              "which holds "
                              "lines of at most 96 bytes ");
                line.text("\n");
            });
            char want[200];
            snprintf(want, sizeof want, "[K] %u / %u%s\n", unsigned(k0), unsigned(k1),
                     longLine ? " and a tail long enough that the line no longer fits the memo's slot of "
                                "text, which holds "
                                "lines of at most 96 bytes "
                              : "");
            expected += want;
        };
        for (int round = 0; round < 3; ++round) {
            for (uint64_t k = 0; k < 40; ++k)
                writeKey(round == 1 ? 39 - k : k, k % 3);
        }
        // Up to the buffer's end and past it: a line that no longer fits
        // flushes and starts the next buffer.
        while (expected.size() < 3 * 64 * 1024)
            writeKey(uint64_t(expected.size() % 11), 0);
        quorlix_log_run_end();
        QCOMPARE(out.text().size(), expected.size());
        QVERIFY(out.text() == expected);
    }

    void runFlushesOnItsOwn()
    {
        CapturedStdout out;
        quorlix_log_set_flush_interval(10);
        quorlix_log_run_begin();
        quorlix_log("waiting line\n");
        QTRY_COMPARE_WITH_TIMEOUT(out.text(), QByteArray("waiting line\n"), 5000);
    }

    void errorLineComesAfterEarlierOutput()
    {
        CapturedStdout out;
        quorlix_log_set_flush_interval(600000);
        quorlix_log_run_begin();
        quorlix_log("before the error\n");
        quorlix_log_err("%s", ""); // the error stream first makes standard output catch up
        QCOMPARE(out.text(), QByteArray("before the error\n"));
    }

    void sinkTakesOverInOrder()
    {
        CapturedStdout out;
        quorlix_log_set_flush_interval(600000);
        quorlix_log_run_begin();
        quorlix_log("to the file\n");
        quorlix_log_set_sink(sink, nullptr);
        quorlix_log("to the sink\n");
        QCOMPARE(out.text(), QByteArray("to the file\n"));
        QCOMPARE(g_sunk, QList<QByteArray>({"to the sink\n"}));
    }
};

QTEST_GUILESS_MAIN(TestEngineLogOutput)
#include "tst_engine_log_output.moc"
