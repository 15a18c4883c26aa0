#include "FakeConsoleGateway.h"

#include "support/FreshCopy.h"

#include <QThread>

#include <mutex>

namespace FakeConsoleGateway {

namespace {

std::mutex g_mutex;
QStringList g_calls;
Config g_config;
QStringList g_args;
std::atomic<int> g_state{CONSOLE_GATEWAY_IDLE};
std::atomic<bool> g_inMain{false};

void note(const char *what)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_calls << QString::fromLatin1(what);
}

void fakeSetConfig(const char *serverIp, const char *profile, const char *udp, const char *tcp, int port,
                   int tunnelAll)
{
    note("config");
    if (controls().configDelayMs.load() > 0)
        QThread::msleep(controls().configDelayMs.load());
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_config = {QString::fromUtf8(serverIp ? serverIp : ""),
                    QString::fromUtf8(profile ? profile : ""),
                    QString::fromUtf8(udp ? udp : ""),
                    QString::fromUtf8(tcp ? tcp : ""),
                    port,
                    tunnelAll};
    }
    ++record().configs;
}

void fakeArm()
{
    note("arm");
    ++record().arms;
    g_state.store(CONSOLE_GATEWAY_ARMED);
}

int fakeMain(int argc, char **argv)
{
    note("main");
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_args.clear();
        for (int i = 0; i < argc && argv && argv[i]; ++i)
            g_args << QString::fromUtf8(argv[i]);
    }
    int st = g_state.load();
    do {
        if (st == CONSOLE_GATEWAY_STOP_REQUESTED) {
            g_state.store(CONSOLE_GATEWAY_IDLE);
            return 0;
        }
    } while (!g_state.compare_exchange_weak(st, CONSOLE_GATEWAY_RUNNING));
    ++record().mainsEntered;
    if (controls().failStartup.load()) {
        g_state.store(CONSOLE_GATEWAY_IDLE);
        ++record().mainsReturned;
        return 1;
    }
    g_inMain = true;
    while (g_state.load() != CONSOLE_GATEWAY_STOP_REQUESTED)
        QThread::msleep(1);
    g_inMain = false;
    g_state.store(CONSOLE_GATEWAY_IDLE);
    ++record().mainsReturned;
    return 0;
}

void fakeStop()
{
    note("stop");
    ++record().stops;
    int st = g_state.load();
    while ((st == CONSOLE_GATEWAY_ARMED || st == CONSOLE_GATEWAY_RUNNING) &&
           !g_state.compare_exchange_weak(st, CONSOLE_GATEWAY_STOP_REQUESTED)) {
    }
}

} // namespace

Controls &controls()
{
    static Controls c;
    return c;
}

Record &record()
{
    static Record r;
    return r;
}

void reset()
{
    Controls &c = controls();
    c.configDelayMs = 0;
    c.failStartup = false;
    Record &r = record();
    r.arms = r.configs = r.mainsEntered = r.mainsReturned = r.stops = 0;
    g_state = CONSOLE_GATEWAY_IDLE;
    g_inMain = false;
    std::lock_guard<std::mutex> lock(g_mutex);
    g_calls.clear();
    g_config = Config();
    g_args.clear();
}

ConsoleGatewayEngineApi api()
{
    return {fakeSetConfig, fakeArm, fakeMain, fakeStop};
}

QStringList calls()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return freshCopy(g_calls);
}

Config lastConfig()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_config;
}

QStringList lastArguments()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return freshCopy(g_args);
}

bool inMain()
{
    return g_inMain.load();
}

} // namespace FakeConsoleGateway
