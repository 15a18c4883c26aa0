#include "platform/CrashHandler.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <sys/resource.h>

namespace {

// Recurses until the stack runs out; the frame's buffer and the use of the
// result after the call keep the compiler from making it a loop.
__attribute__((noinline)) int exhaustStack(volatile int depth)
{
    volatile char frame[1024];
    frame[0] = static_cast<char>(depth);
    if (depth < 0)
        return frame[0];
    return exhaustStack(depth + 1) + frame[0];
}

const QRegularExpression kReportName(QStringLiteral("^quorlix_crash_\\d{8}-\\d{6}\\.dmp$"));

// The helper side: this same executable, started with --crash-helper <how>,
// installs the handler and then fails the way it is told.
int runCrashHelper(const char *how)
{
    // The test looks at our report; a core file would only litter the folder.
    struct rlimit noCore = {0, 0};
    setrlimit(RLIMIT_CORE, &noCore);

    if (std::strcmp(how, "no-folder") == 0) {
        if (!installCrashHandler("/nonexistent/quorlix-crash-folder"))
            return 3;
    } else if (!installCrashHandler()) {
        return 3;
    }

    if (std::strcmp(how, "abort") == 0)
        std::abort();
    if (std::strcmp(how, "kill-fpe") == 0)
        std::raise(SIGFPE);
    if (std::strcmp(how, "stack-overflow") == 0)
        return exhaustStack(0);
    // A pointer the compiler cannot prove null, so the store really happens.
    volatile int *volatile target = nullptr;
    *target = 42;
    return 4;
}

} // namespace

class TestCrashHandler : public QObject
{
    Q_OBJECT

private slots:
    void reportName_data()
    {
        QTest::addColumn<qint64>("utc");
        QTest::addColumn<qint64>("offset");
        QTest::addColumn<QString>("expected");

        QTest::newRow("epoch") << qint64(0) << qint64(0) << "quorlix_crash_19700101-000000.dmp";
        // 2026-12-10 13:40:05 UTC seen from UTC+03:30.
        QTest::newRow("positive offset")
            << qint64(1796910005) << qint64(12600) << "quorlix_crash_20261210-171005.dmp";
        // One second before a leap-year March, pushed over midnight by the offset.
        QTest::newRow("leap day rolls over")
            << qint64(1709251199) << qint64(1) << "quorlix_crash_20240301-000000.dmp";
        QTest::newRow("leap day itself")
            << qint64(1709251199) << qint64(0) << "quorlix_crash_20240229-235959.dmp";
        // 2027-01-01 00:30 UTC seen from UTC-01:00 is still the old year.
        QTest::newRow("negative offset into last year")
            << qint64(1798763400) << qint64(-3600) << "quorlix_crash_20261231-233000.dmp";
        QTest::newRow("century non-leap year")
            << qint64(4107542400) << qint64(0) << "quorlix_crash_21000301-000000.dmp";
    }

    void reportName()
    {
        QFETCH(qint64, utc);
        QFETCH(qint64, offset);
        QFETCH(QString, expected);
        char name[128];
        const size_t length = formatCrashReportName(utc, offset, name, sizeof name);
        QCOMPARE(QString::fromLatin1(name), expected);
        QCOMPARE(length, size_t(expected.size()));
    }

    void reportNameRefusesShortBuffer()
    {
        char name[16];
        std::memset(name, 'x', sizeof name);
        QCOMPARE(formatCrashReportName(0, 0, name, sizeof name), size_t(0));
        QCOMPARE(formatCrashReportName(0, 0, name, 0), size_t(0));
    }

    void fatalSignalLeavesOneReport_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("signal");
        QTest::addColumn<QString>("signalLine");
        QTest::addColumn<QString>("codeLine"); // empty: not looked at

        QTest::newRow("null dereference") << "segv" << int(SIGSEGV) << "signal: 11 (SIGSEGV)"
                                          << "\ncode: 1\n"; // SEGV_MAPERR
        QTest::newRow("abort") << "abort" << int(SIGABRT) << "signal: 6 (SIGABRT)"
                               << "\ncode: -6\n"; // SI_TKILL
        QTest::newRow("raised signal") << "kill-fpe" << int(SIGFPE) << "signal: 8 (SIGFPE)"
                                       << "\ncode: -6\n";
        // Only the alternate stack leaves the handler room to run.
        QTest::newRow("stack overflow")
            << "stack-overflow" << int(SIGSEGV) << "signal: 11 (SIGSEGV)" << QString();
    }

    // Reports go beside the executable, so the helper runs from a copy of
    // this test in a folder of its own.
    void fatalSignalLeavesOneReport()
    {
        QFETCH(QString, how);
        QFETCH(int, signal);
        QFETCH(QString, signalLine);
        QFETCH(QString, codeLine);

        const QString folder = helperFolder(how);
        QProcess helper;
        helper.start(folder + QStringLiteral("/crash-helper"), {QStringLiteral("--crash-helper"), how});
        QVERIFY(helper.waitForFinished(30000));
        QCOMPARE(helper.exitStatus(), QProcess::CrashExit);
        QCOMPARE(helper.exitCode(), signal);

        const QStringList reports = reportsIn(folder);
        QCOMPARE(reports.size(), 1);
        QFile report(folder + QLatin1Char('/') + reports.first());
        QVERIFY(report.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(report.readAll());
        QVERIFY2(text.contains(signalLine), qPrintable(text));
        QVERIFY2(codeLine.isEmpty() || text.contains(codeLine), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("\naddress: 0x")), qPrintable(text));
        // backtrace_symbols_fd names the module of each frame.
        QVERIFY2(text.contains(QStringLiteral("backtrace:\n")) &&
                     text.contains(QStringLiteral("crash-helper")),
                 qPrintable(text));
    }

    // A folder that cannot take the report must not change how the process
    // dies: still by the signal, with nothing written.
    void unwritableFolderStillDiesBySignal()
    {
        const QString folder = helperFolder(QStringLiteral("no-folder"));
        QProcess helper;
        helper.start(folder + QStringLiteral("/crash-helper"),
                     {QStringLiteral("--crash-helper"), QStringLiteral("no-folder")});
        QVERIFY(helper.waitForFinished(30000));
        QCOMPARE(helper.exitStatus(), QProcess::CrashExit);
        QCOMPARE(helper.exitCode(), int(SIGSEGV));
        QVERIFY(reportsIn(folder).isEmpty());
    }

private:
    QString helperFolder(const QString &name)
    {
        const QString base = qEnvironmentVariable("QUORLIX_TEST_TMP", QDir::tempPath());
        const QString folder = base + QStringLiteral("/crash-") + name;
        QDir(folder).removeRecursively();
        if (!QDir().mkpath(folder))
            return QString();
        const QString copy = folder + QStringLiteral("/crash-helper");
        if (!QFile::copy(QCoreApplication::applicationFilePath(), copy))
            return QString();
        QFile::setPermissions(copy, QFile::permissions(QCoreApplication::applicationFilePath()));
        return folder;
    }

    static QStringList reportsIn(const QString &folder)
    {
        QStringList found;
        for (const QString &name : QDir(folder).entryList(QDir::Files)) {
            if (kReportName.match(name).hasMatch())
                found << name;
        }
        return found;
    }
};

int main(int argc, char *argv[])
{
    if (argc >= 3 && std::strcmp(argv[1], "--crash-helper") == 0)
        return runCrashHelper(argv[2]);
    QCoreApplication app(argc, argv);
    TestCrashHandler test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_crashhandler.moc"
