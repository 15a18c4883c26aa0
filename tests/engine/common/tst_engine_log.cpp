// The engines' log output: which stream each kind of line goes to, the
// verbose switch, and lines longer than the formatting buffer arriving whole.

#include "engine/common/engine_log.h"

#include <QtTest>

namespace {

struct Line
{
    int stream;
    QByteArray text;
};

QList<Line> g_lines;

void collect(int stream, const char *text, size_t len, void *)
{
    g_lines.append(Line{stream, QByteArray(text, int(len))});
}

enum Kind { Plain, Error, Verbose };

} // namespace

class TestEngineLog : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        g_lines.clear();
        quorlix_log_set_verbose(0);
        quorlix_log_set_sink(collect, nullptr);
    }

    void cleanup()
    {
        quorlix_log_set_sink(nullptr, nullptr);
        quorlix_log_set_verbose(0);
    }

    void routing_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("verbose");
        QTest::addColumn<int>("length"); // of the %s argument
        QTest::addColumn<int>("stream"); // 0: nothing written

        QTest::newRow("plain line") << int(Plain) << false << 10 << 1;
        QTest::newRow("plain line while verbose") << int(Plain) << true << 10 << 1;
        QTest::newRow("error line") << int(Error) << false << 10 << 2;
        QTest::newRow("verbose line, switch off") << int(Verbose) << false << 10 << 0;
        QTest::newRow("verbose line, switch on") << int(Verbose) << true << 10 << 1;
        QTest::newRow("empty argument") << int(Plain) << false << 0 << 1;
        QTest::newRow("just fits the buffer") << int(Plain) << false << 2047 - 8 << 1;
        QTest::newRow("one past the buffer") << int(Plain) << false << 2048 - 8 << 1;
        QTest::newRow("filter-sized line") << int(Plain) << false << 6000 << 1;
        QTest::newRow("long error line") << int(Error) << false << 70000 << 2;
        QTest::newRow("long verbose line") << int(Verbose) << true << 5000 << 1;
    }

    void routing()
    {
        QFETCH(int, kind);
        QFETCH(bool, verbose);
        QFETCH(int, length);
        QFETCH(int, stream);

        quorlix_log_set_verbose(verbose ? 1 : 0);
        QCOMPARE(quorlix_log_is_verbose(), verbose ? 1 : 0);
        QByteArray arg(length, 'x');
        for (int i = 0; i < length; i += 97)
            arg[i] = char('a' + i % 26); // a cut or shifted copy would not compare equal
        const QByteArray expect = "[T] " + arg + " 42\n";
        if (kind == Plain)
            quorlix_log("[T] %s %d\n", arg.constData(), 42);
        else if (kind == Error)
            quorlix_log_err("[T] %s %d\n", arg.constData(), 42);
        else
            quorlix_log_verbose("[T] %s %d\n", arg.constData(), 42);

        if (stream == 0) {
            QVERIFY(g_lines.isEmpty());
            return;
        }
        QCOMPARE(g_lines.size(), 1);
        QCOMPARE(g_lines[0].stream, stream);
        QCOMPARE(g_lines[0].text.size(), expect.size());
        QCOMPARE(g_lines[0].text, expect);
    }

    void removedSinkStopsReceiving()
    {
        quorlix_log_set_sink(nullptr, nullptr);
        ::fflush(stdout);
        quorlix_log("%s", ""); // goes to standard output (empty), not to the old sink
        QVERIFY(g_lines.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestEngineLog)
#include "tst_engine_log.moc"
