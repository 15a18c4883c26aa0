// Start-up benchmark: wall time from starting a process to its window's first
// show, for the real client and for an empty styled window, alternated in the
// same run so both see the same machine load. Prints the medians and their
// ratio with the core count.
//
//   quorlix_bench_startup [rounds] [--seeded]   (default 15)
//
// --seeded: after the warm-up, the private home gets a 2,000-game catalogue
// copy and 20 favourites, so the measured starts load and show them.

#include "bench/support/SampledCases.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QUuid>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

using BenchCases::median;

// Milliseconds until the program's "window shown" line, or -1.
double timeToFirstShow(const QString &program, const QProcessEnvironment &env)
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::SeparateChannels);
    QByteArray out;
    QElapsedTimer clock;
    clock.start();
    process.start(program, {});
    double shownAt = -1;
    while (process.state() != QProcess::NotRunning || process.bytesAvailable() > 0) {
        process.waitForReadyRead(50);
        out += process.readAllStandardOutput();
        if (shownAt < 0 && out.contains("window shown"))
            shownAt = clock.nsecsElapsed() / 1e6;
        if (clock.elapsed() > 60000)
            break;
    }
    if (!process.waitForFinished(10000))
        process.kill();
    return shownAt;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 15;
    const bool seeded = QCoreApplication::arguments().contains(QStringLiteral("--seeded"));

    // A private home: the client's data folder, settings and cache database
    // live there, created by the warm-up start and reused by the measured
    // ones (the usual case of a user starting the client again).
    QTemporaryDir home;
    if (!home.isValid())
        return 1;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *sub : {"home", "data", "config", "cache", "runtime"})
        QDir(home.path()).mkpath(QLatin1String(sub));
    QFile::setPermissions(home.path() + QStringLiteral("/runtime"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    env.insert(QStringLiteral("HOME"), home.path() + QStringLiteral("/home"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home.path() + QStringLiteral("/data"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path() + QStringLiteral("/config"));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), home.path() + QStringLiteral("/cache"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path() + QStringLiteral("/runtime"));
    if (!env.contains(QStringLiteral("QT_QPA_PLATFORM")))
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // Nothing the client starts may reach a real service.
    for (const char *origin : {"QUORLIX_SERVICE_ORIGIN", "QUORLIX_DISCORD_ORIGIN", "QUORLIX_GEO_ORIGIN"})
        env.insert(QLatin1String(origin), QStringLiteral("http://127.0.0.1:9"));
    env.insert(QStringLiteral("QUORLIX_QUIT_AFTER_SHOW"), QStringLiteral("1"));
    env.insert(QStringLiteral("QUORLIX_CLOSE_DELAY_MS"), QStringLiteral("0")); // no 2 s farewell per start
    env.insert(QStringLiteral("QUORLIX_SINGLE_INSTANCE_ID"),
               QStringLiteral("bench_") + QUuid::createUuid().toString(QUuid::Id128).left(12));

    const QString client = QStringLiteral(QUORLIX_CLIENT_PATH);
    const QString baseline = QStringLiteral(QUORLIX_BASELINE_PATH);

    // Warm-up: first start creates the data folder; also warms the page cache.
    const double firstClient = timeToFirstShow(client, env);
    const double firstBaseline = timeToFirstShow(baseline, env);
    if (firstClient < 0 || firstBaseline < 0) {
        std::fprintf(stderr, "a program did not show its window (client %.1f, baseline %.1f)\n", firstClient,
                     firstBaseline);
        return 1;
    }

    if (seeded) {
        QProcess seeder;
        seeder.setProcessEnvironment(env);
        seeder.start(QStringLiteral(QUORLIX_SEED_PATH), {QStringLiteral("--seed-only")});
        if (!seeder.waitForFinished(60000) || seeder.exitCode() != 0) {
            std::fprintf(stderr, "could not seed the private home\n");
            return 1;
        }
    }

    std::vector<double> clientTimes, baselineTimes;
    for (int i = 0; i < rounds; ++i) {
        const double c = timeToFirstShow(client, env);
        const double b = timeToFirstShow(baseline, env);
        if (c < 0 || b < 0)
            return 1;
        clientTimes.push_back(c);
        baselineTimes.push_back(b);
    }

    const double c = median(clientTimes);
    const double b = median(baselineTimes);
    std::printf("cores (nproc): %d\n", QThread::idealThreadCount());
    std::printf("rounds: %d (medians; first start with an empty data folder: client %.1f ms)%s\n", rounds,
                firstClient, seeded ? ", 2,000-game catalogue copy and 20 favourites" : "");
    std::printf("empty styled 1440x810 window: %.1f ms\n", b);
    std::printf("quorlix to first show:        %.1f ms\n", c);
    std::printf("ratio client / baseline:      %.2f\n", c / b);
    return 0;
}
