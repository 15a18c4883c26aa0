// Press to connected in the client's window, against the same outside work
// done by a shell script.
//
//   tests/support/isolated-run.sh --netns build/bench/connect/quorlix_bench_connect [rounds]
//
// Needs root and a private network namespace (the wrapper makes one with only
// "lo"), the real ping and nslookup. The window runs with its own intervals
// (the 800 ms pause before the DNS check included) on the real engine over
// the simulated capture; the test relay on 127.0.0.12:50000 answers the DNS
// check through the tunnel. Each round presses "Tap to connect", times until
// the page reads "Disconnect", and presses again to disconnect.
//
// Baseline, in the same run and alternating with the client: baseline.sh
// runs the probe's don't-fragment pings with the payloads the probe's
// bisection takes on loopback, sleeps 0.8 s and runs one nslookup of the
// chat domain against a local responder. Medians of the rounds are printed
// with their ratio.

#include "app/ClientComposition.h"
#include "bench/support/SampledCases.h"
#include "connection/ConnectFlow.h"
#include "connection/DnsVerifier.h"
#include "connection/MtuProbe.h"
#include "connection/dnsroute/DnsTunnelBridge.h"
#include "platform/SystemTools.h"
#include "platform/capture/capture_sim.h"
#include "storage/DatabaseManager.h"
#include "storage/SettingsManager.h"
#include "support/faketools/TinyDnsServer.h"
#include "support/testrelay/TestRelay.h"
#include "ui/mainwindow/MainWindow.h"
#include "ui/pages/connection/ConnectionPage.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

using BenchCases::median;

const QString kRelay = QStringLiteral("127.0.0.12");

// The payloads the probe tries when every step succeeds (loopback).
QStringList probePayloads()
{
    QStringList sizes;
    MtuSearch search;
    while (!search.done()) {
        const int payload = search.nextPayload();
        sizes << QString::number(payload);
        search.record(payload, true);
    }
    return sizes;
}

// Waits in the event loop until `done` holds or `ms` passes.
bool waitFor(const std::function<bool()> &done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

ClientServices services(quint16 resolverPort)
{
    const WindowIntervals intervals;
    ClientServices s = createClientServices(intervals);
    delete s.connectFlow;
    ConnectFlow::Services flow = ConnectFlow::defaultServices(s.tunnel, s.mtuProbe, s.sessions);
    flow.makeDnsVerifier = [resolverPort](DnsVerifier::TunnelCheck check, QObject *parent) {
        auto *verifier = new DnsVerifier(SystemTools::ProcessRunner::system(), std::move(check),
                                         DnsVerifier::chatDomain(), parent);
        verifier->setServer(QStringLiteral("127.0.0.1"), resolverPort);
        return verifier;
    };
    s.connectFlow = new ConnectFlow(flow, nullptr);
    s.connectFlow->setIntervals({intervals.failoverRetryMs, intervals.verifyDelayMs, intervals.noServerTextMs,
                                 intervals.connectFailureMs, intervals.noPortsTextMs});
    return s;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Quorlix"));
    QCoreApplication::setApplicationName(QStringLiteral("Quorlix"));
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 7;
    if (qEnvironmentVariable("QUORLIX_CAPTURE") != QLatin1String("sim") ||
        qEnvironmentVariable("QUORLIX_PRIVATE_NETNS").isEmpty()) {
        fprintf(stderr, "run through tests/support/isolated-run.sh --netns (root)\n");
        return 2;
    }
    const QString script = QStringLiteral(QUORLIX_BASELINE_SCRIPT);
    const QString ping = SystemTools::findTool(QStringLiteral("ping"));
    const QString nslookup = SystemTools::findTool(QStringLiteral("nslookup"));
    if (ping.isEmpty() || nslookup.isEmpty()) {
        fprintf(stderr, "ping and nslookup are needed\n");
        return 2;
    }

    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    QDir().mkpath(data);
    if (!DatabaseManager::instance()->initialize(data))
        return 2;
    DatabaseManager::instance()->replaceServersCache({QVariantMap{{"id", "r2"},
                                                                  {"name", "Bravo"},
                                                                  {"ip_address", kRelay},
                                                                  {"port", 50000},
                                                                  {"region", "Europe"},
                                                                  {"country_code", "DE"},
                                                                  {"status", "active"}}});
    DatabaseManager::instance()->saveGames({QVariantMap{{"id", "g7"},
                                                        {"name", "Bench Game"},
                                                        {"status", "active"},
                                                        {"updated_at", "2026-01-01T00:00:00"},
                                                        {"udp_ports", QVariantList{"27015-27020"}},
                                                        {"tcp_ports", QVariantList{}},
                                                        {"domains", QVariantList{}}}});
    SettingsManager::instance()->setGame(QStringLiteral("Bench Game"), QString());
    SettingsManager::instance()->setConnectionMode(true);

    quorlix_capsim_reset();
    testrelay::TestRelay::Options options;
    options.address = kRelay.toStdString();
    testrelay::TestRelay relay(options);
    testrelay::DnsAnswer answer;
    answer.addresses = {"162.159.128.233"};
    relay.setDnsAnswer(DnsVerifier::chatDomain().toStdString(), answer);
    testrelay::WireTap tap;
    DnsTunnelBridge bridge;
    TinyDnsServer responder;
    if (!relay.start() ||
        !tap.start(50000, [](const uint8_t *p, size_t len) { quorlix_capsim_push_inbound(p, len, 1); }) ||
        !bridge.start() || !responder.start()) {
        fprintf(stderr, "relay, wire tap or DNS responders could not start\n");
        return 2;
    }

    MainWindow window(services(bridge.port()), WindowIntervals());
    QPushButton *button = window.connectionPageArea()->tapButton();
    const QStringList scriptArgs =
        QStringList{ping, nslookup, kRelay, DnsVerifier::chatDomain(), QString::number(responder.port())}
        << probePayloads();

    std::vector<double> client, baseline;
    for (int round = -1; round < rounds; ++round) { // round -1 warms up both
        QElapsedTimer t;
        t.start();
        // The event loop keeps running: the local DNS responder answers from it.
        QProcess shell;
        shell.start(QStringLiteral("/bin/sh"), QStringList{script} << scriptArgs);
        if (!waitFor([&shell] { return shell.state() == QProcess::NotRunning; }, 20000)) {
            fprintf(stderr, "baseline script did not finish\n");
            return 1;
        }
        const double shellMs = double(t.nsecsElapsed()) / 1e6;
        const int code = shell.exitStatus() == QProcess::NormalExit ? shell.exitCode() : -1;
        if (code != 0) {
            fprintf(stderr, "baseline script failed (%d)\n", code);
            return 1;
        }

        t.restart();
        button->click();
        if (!waitFor([button] { return button->text() == QLatin1String("Disconnect"); }, 20000)) {
            fprintf(stderr, "the window did not connect\n");
            return 1;
        }
        const double clientMs = double(t.nsecsElapsed()) / 1e6;
        button->click();
        if (button->text() != QLatin1String("Tap to connect")) {
            fprintf(stderr, "the window did not disconnect\n");
            return 1;
        }
        if (round >= 0) {
            client.push_back(clientMs);
            baseline.push_back(shellMs);
            printf("round %d: script %.1f ms, client %.1f ms\n", round + 1, shellMs, clientMs);
        }
    }
    const double b = median(baseline), c = median(client);
    printf("cores %d, %d rounds: baseline script %.1f ms, press to connected %.1f ms, ratio %.3f\n",
           QThread::idealThreadCount(), rounds, b, c, b > 0 ? c / b : 0.0);
    return 0;
}
