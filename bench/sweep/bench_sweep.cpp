// Ping sweep benchmark, with its baselines in the same run:
//
//  1. The sweep over N relays on 127.0.0.x, from the relay-list request to
//     the results file (PingSweep with the system's `ping -n -c 3 -W 1.5`),
//     next to `xargs -P4 -n1 ping -n -c 3 -W 1.5` over the same addresses.
//  2. The sweep's own cost per relay: the same sweep whose ping is `true`
//     (it ends at once), next to `xargs -P4 -n1 true` over as many arguments.
//
// Sweep and baseline alternate within each round so both see the same load;
// the medians and their ratio are printed with the core count.
//
//   quorlix_bench_sweep [rounds]   (default 3)

#include "bench/support/SampledCases.h"
#include "connection/PingSweep.h"
#include "platform/ProcessRunner.h"
#include "services/ServiceClient.h"
#include "support/fakeservice/FakeService.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

using BenchCases::median;

// Runs every command as `true`: a ping that ends at once, through the same
// process start as the real one.
class InstantRunner : public SystemTools::ProcessRunner
{
public:
    SystemTools::ToolJob *start(const SystemTools::ToolCommand &command, QObject *parent) override
    {
        SystemTools::ToolCommand instant = command;
        instant.program = QStringLiteral("true");
        instant.arguments.clear();
        return SystemTools::ProcessRunner::system()->start(instant, parent);
    }
    SystemTools::ToolResult run(const SystemTools::ToolCommand &command,
                                const std::atomic<bool> *cancel) override
    {
        return SystemTools::ProcessRunner::system()->run(command, cancel);
    }
};

QStringList addresses(int n)
{
    QStringList list;
    for (int i = 1; i <= n; ++i)
        list << QStringLiteral("127.0.0.%1").arg(i);
    return list;
}

// Milliseconds from the sweep's start to its end (the results file written).
double timeSweep(FakeService &service, SystemTools::ProcessRunner *runner, int n, const QString &path)
{
    QJsonArray relays;
    const QStringList ips = addresses(n);
    for (int i = 0; i < n; ++i)
        relays << QJsonObject{{"id", QString::number(i + 1)},
                              {"ip_address", ips.at(i)},
                              {"name", QStringLiteral("Relay %1").arg(i + 1)},
                              {"status", "active"}};
    service.setServers(relays);
    QFile::remove(path);

    ServiceClient client(ServiceConfig(service.origin(), service.origin(), service.origin()),
                         [] { return ServiceApi::Credentials{}; });
    // The animation is the client's fixed 2.5 s floor; here it takes a few
    // event-loop turns so only the list and the pings are timed.
    PingSweepIntervals intervals;
    intervals.tickMs = 0;
    intervals.finishDelayMs = 0;
    PingSweep sweep(&client, runner, path, intervals);
    QEventLoop loop;
    QObject::connect(&sweep, &PingSweep::finished, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    sweep.start();
    loop.exec();
    const double ms = clock.nsecsElapsed() / 1e6;
    return QFile::exists(path) ? ms : -1;
}

// Milliseconds for xargs -P4 -n1 running `command` once per address.
double timeXargs(const QStringList &command, int n)
{
    QProcess xargs;
    xargs.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer clock;
    clock.start();
    xargs.start(QStringLiteral("xargs"), QStringList{"-P4", "-n1"} + command);
    xargs.write(addresses(n).join(QLatin1Char('\n')).toLatin1() + '\n');
    xargs.closeWriteChannel();
    xargs.waitForFinished(-1);
    xargs.readAllStandardOutput();
    return clock.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 3;
    QTemporaryDir dir;
    FakeService service;
    if (!dir.isValid() || !service.listen()) {
        std::fprintf(stderr, "no temporary folder or no loopback listener\n");
        return 1;
    }
    const QString path = dir.filePath(QStringLiteral("server_pings.json"));
    const QStringList ping{"ping", "-n", "-c", "3", "-W", "1.5", "--"};
    std::printf("cores: %d, rounds: %d\n", QThread::idealThreadCount(), rounds);

    std::printf("\n%-8s %14s %14s %7s\n", "relays", "xargs ping", "sweep", "ratio");
    for (int n : {4, 12, 40}) {
        std::vector<double> base, sweep;
        for (int r = 0; r < rounds; ++r) {
            base.push_back(timeXargs(ping, n));
            sweep.push_back(timeSweep(service, SystemTools::ProcessRunner::system(), n, path));
            if (sweep.back() < 0) {
                std::fprintf(stderr, "the sweep wrote no file\n");
                return 1;
            }
        }
        std::printf("%-8d %11.1f ms %11.1f ms %7.3f\n", n, median(base), median(sweep),
                    median(sweep) / median(base));
    }

    InstantRunner instant;
    std::printf("\n%-8s %14s %14s %7s %18s\n", "relays", "xargs true", "sweep (true)", "ratio",
                "extra per relay");
    for (int n : {40, 200}) {
        std::vector<double> base, sweep;
        for (int r = 0; r < rounds; ++r) {
            base.push_back(timeXargs({QStringLiteral("true")}, n));
            sweep.push_back(timeSweep(service, &instant, n, path));
        }
        std::printf("%-8d %11.1f ms %11.1f ms %7.3f %15.3f ms\n", n, median(base), median(sweep),
                    median(sweep) / median(base), (median(sweep) - median(base)) / n);
    }
    return 0;
}
