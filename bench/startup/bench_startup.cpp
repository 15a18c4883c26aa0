// Start-up benchmark: wall time from starting a process to its window's first
// frame on screen, for the real client and for an empty styled window (the
// baseline), in alternating pairs so both see the same machine load. Each
// pair gives one ratio; the run prints min / median / max of the ratios, the
// medians of both times and of the peak resident memory at the frame, for
// each situation:
//
//   first        first start with an empty data folder (a new home each pair)
//   signed-out   signed out, the home left by an earlier start
//   seeded       signed out, a 2,000-game catalogue copy and 20 favourites
//   signed-in    the same with a remembered sign-in (the stored session
//                signs in at start; the service is a closed port)
//
//   quorlix_bench_startup [pairs] [--situation NAME]... [--callgrind]
//
// pairs defaults to 7. The platform is the environment's QT_QPA_PLATFORM, or
// offscreen; for X, run it under xvfb-run with QT_QPA_PLATFORM=xcb.
// --callgrind also counts each program's instructions up to its first frame
// under valgrind's callgrind (exact, one run each) and prints their ratio.

#include "bench/support/SampledCases.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <QUuid>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

using BenchCases::median;

struct Start
{
    double frameMs = -1; // until the "first frame flushed" line
    long peakKb = -1;    // the peak resident set the program reported with it
};

Start timeToFirstFrame(const QString &program, const QProcessEnvironment &env)
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::SeparateChannels);
    QByteArray out;
    QElapsedTimer clock;
    clock.start();
    process.start(program, {});
    Start start;
    while (process.state() != QProcess::NotRunning || process.bytesAvailable() > 0) {
        process.waitForReadyRead(20);
        out += process.readAllStandardOutput();
        if (start.frameMs < 0 && out.contains("first frame flushed")) {
            start.frameMs = clock.nsecsElapsed() / 1e6;
            const QRegularExpressionMatch m =
                QRegularExpression(QStringLiteral("first frame flushed peak_rss_kb=(-?\\d+)"))
                    .match(QString::fromLatin1(out));
            start.peakKb = m.hasMatch() ? m.captured(1).toLong() : -1;
        }
        if (clock.elapsed() > 60000)
            break;
    }
    if (!process.waitForFinished(10000))
        process.kill();
    return start;
}

// Instructions up to the first frame: the program ends itself at the frame.
qint64 callgrindInstructions(const QString &program, QProcessEnvironment env, const QString &scratch)
{
    const QString outFile =
        scratch + QStringLiteral("/callgrind.%1.out").arg(QUuid::createUuid().toString(QUuid::Id128));
    env.insert(QStringLiteral("QUORLIX_EXIT_AT_FIRST_FRAME"), QStringLiteral("1"));
    QProcess valgrind;
    valgrind.setProcessEnvironment(env);
    valgrind.setProcessChannelMode(QProcess::MergedChannels);
    valgrind.start(QStringLiteral("valgrind"), {QStringLiteral("--tool=callgrind"),
                                                QStringLiteral("--callgrind-out-file=") + outFile, program});
    if (!valgrind.waitForFinished(600000)) {
        valgrind.kill();
        return -1;
    }
    QFile file(outFile);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    qint64 total = -1;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith("totals:") || line.startsWith("summary:"))
            total = line.mid(line.indexOf(':') + 1).trimmed().split(' ').value(0).toLongLong();
    }
    file.remove();
    return total;
}

struct Home
{
    QTemporaryDir dir;
    QProcessEnvironment env;
};

// A private home: data folder, settings and cache database live there.
void makeHome(Home &home, const QProcessEnvironment &base)
{
    home.env = base;
    for (const char *sub : {"home", "data", "config", "cache", "runtime"})
        QDir(home.dir.path()).mkpath(QLatin1String(sub));
    QFile::setPermissions(home.dir.path() + QStringLiteral("/runtime"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    home.env.insert(QStringLiteral("HOME"), home.dir.path() + QStringLiteral("/home"));
    home.env.insert(QStringLiteral("XDG_DATA_HOME"), home.dir.path() + QStringLiteral("/data"));
    home.env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.dir.path() + QStringLiteral("/config"));
    home.env.insert(QStringLiteral("XDG_CACHE_HOME"), home.dir.path() + QStringLiteral("/cache"));
    home.env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.dir.path() + QStringLiteral("/runtime"));
}

bool seedHome(const QProcessEnvironment &env, bool signedIn)
{
    QProcess seeder;
    seeder.setProcessEnvironment(env);
    QStringList args{QStringLiteral("--seed-only")};
    if (signedIn)
        args << QStringLiteral("--signed-in");
    seeder.start(QStringLiteral(QUORLIX_SEED_PATH), args);
    return seeder.waitForFinished(60000) && seeder.exitStatus() == QProcess::NormalExit &&
           seeder.exitCode() == 0;
}

double minOf(const std::vector<double> &v)
{
    return v.empty() ? 0 : *std::min_element(v.begin(), v.end());
}

double maxOf(const std::vector<double> &v)
{
    return v.empty() ? 0 : *std::max_element(v.begin(), v.end());
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    int pairs = 7;
    QStringList situations;
    bool callgrind = false;
    for (int i = 1; i < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--situation") && i + 1 < args.size())
            situations << args.at(++i);
        else if (args.at(i) == QLatin1String("--callgrind"))
            callgrind = true;
        else if (args.at(i).toInt() > 0)
            pairs = args.at(i).toInt();
    }
    if (situations.isEmpty())
        situations = {QStringLiteral("first"), QStringLiteral("signed-out"), QStringLiteral("seeded"),
                      QStringLiteral("signed-in")};

    QProcessEnvironment base = QProcessEnvironment::systemEnvironment();
    if (!base.contains(QStringLiteral("QT_QPA_PLATFORM")))
        base.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // Nothing the client starts may reach a real service.
    for (const char *origin :
         {"QUORLIX_SERVICE_ORIGIN", "QUORLIX_DISCORD_ORIGIN", "QUORLIX_GEO_ORIGIN", "QUORLIX_SITE_ORIGIN"})
        base.insert(QLatin1String(origin), QStringLiteral("http://127.0.0.1:9"));
    base.insert(QStringLiteral("QUORLIX_QUIT_AFTER_SHOW"), QStringLiteral("1"));
    base.insert(QStringLiteral("QUORLIX_CLOSE_DELAY_MS"), QStringLiteral("0")); // no 2 s farewell per start
    base.insert(QStringLiteral("QUORLIX_SINGLE_INSTANCE_ID"),
                QStringLiteral("bench_") + QUuid::createUuid().toString(QUuid::Id128).left(12));

    const QString client = QStringLiteral(QUORLIX_CLIENT_PATH);
    const QString baseline = QStringLiteral(QUORLIX_BASELINE_PATH);
    QTemporaryDir scratch;

    std::printf("cores (nproc): %d, platform %s, %d alternating pairs per situation\n",
                QThread::idealThreadCount(), qPrintable(base.value(QStringLiteral("QT_QPA_PLATFORM"))),
                pairs);
    std::printf("| situation | empty window | client | ratio min / median / max | peak RSS ratio |%s\n",
                callgrind ? " instructions window / client | ratio |" : "");
    std::printf("|---|---|---|---|---|%s\n", callgrind ? "---|---|" : "");
    for (const QString &situation : situations) {
        const bool first = situation == QLatin1String("first");
        Home home;
        makeHome(home, base);
        if (!first) {
            // The warm-up start creates the data folder, as an earlier run did.
            if (timeToFirstFrame(client, home.env).frameMs < 0) {
                std::fprintf(stderr, "the client did not show a frame\n");
                return 1;
            }
            if (situation != QLatin1String("signed-out") &&
                !seedHome(home.env, situation == QLatin1String("signed-in"))) {
                std::fprintf(stderr, "could not seed the private home\n");
                return 1;
            }
        }
        timeToFirstFrame(baseline, home.env); // warms the page cache for the baseline too

        std::vector<double> clientMs, baselineMs, ratios, clientKb, baselineKb;
        for (int i = 0; i < pairs; ++i) {
            Home fresh;
            if (first)
                makeHome(fresh, base);
            const QProcessEnvironment &env = first ? fresh.env : home.env;
            const Start c = timeToFirstFrame(client, env);
            const Start b = timeToFirstFrame(baseline, env);
            if (c.frameMs < 0 || b.frameMs < 0) {
                std::fprintf(stderr, "a program did not show a frame (client %.1f, baseline %.1f)\n",
                             c.frameMs, b.frameMs);
                return 1;
            }
            clientMs.push_back(c.frameMs);
            baselineMs.push_back(b.frameMs);
            ratios.push_back(c.frameMs / b.frameMs);
            clientKb.push_back(c.peakKb);
            baselineKb.push_back(b.peakKb);
        }

        QString instructions;
        if (callgrind) {
            Home counted;
            if (first)
                makeHome(counted, base);
            const QProcessEnvironment &env = first ? counted.env : home.env;
            const qint64 ci = callgrindInstructions(client, env, scratch.path());
            const qint64 bi = callgrindInstructions(baseline, env, scratch.path());
            instructions = QStringLiteral(" %1 M / %2 M | %3 |")
                               .arg(bi / 1e6, 0, 'f', 0)
                               .arg(ci / 1e6, 0, 'f', 0)
                               .arg(bi > 0 ? double(ci) / double(bi) : 0.0, 0, 'f', 2);
        }
        std::printf("| %s | %.1f ms | %.1f ms | %.2f / %.2f / %.2f | %.2f (%.0f / %.0f MB) |%s\n",
                    qPrintable(situation), median(baselineMs), median(clientMs), minOf(ratios),
                    median(ratios), maxOf(ratios), median(clientKb) / median(baselineKb),
                    median(clientKb) / 1024, median(baselineKb) / 1024, qPrintable(instructions));
        std::fflush(stdout);
    }
    return 0;
}
