#include "FakeTunnelEngine.h"

#include "support/FreshCopy.h"

#include <QDir>
#include <QThread>

#include <mutex>

namespace FakeTunnelEngine {

namespace {

std::mutex g_mutex;
QStringList g_calls;
QByteArray g_config;
QString g_cwd;
std::atomic<bool> g_stopFlag{false};

void note(const char *what)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_calls << QString::fromLatin1(what);
}

int fakeMain()
{
    note("main");
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_cwd = QDir::currentPath();
    }
    record().mainThread = QThread::currentThread();
    ++record().mainsEntered;
    if (controls().failStartup.load()) {
        ++record().mainsReturned;
        return 1;
    }
    if (controls().startupMs.load() > 0)
        QThread::msleep(controls().startupMs.load());
    g_stopFlag.store(false); // as the real engine does when its run begins
    while (!g_stopFlag.load() || controls().ignoreStops.load())
        QThread::msleep(2);
    ++record().mainsReturned;
    return 0;
}

void fakeStop()
{
    note("stop");
    ++record().stops;
    g_stopFlag.store(true);
}

void fakeSetConfig(const TunnelRuntimeConfig *config)
{
    note("config");
    ++record().configs;
    std::lock_guard<std::mutex> lock(g_mutex);
    g_config = QByteArray(reinterpret_cast<const char *>(config), sizeof(TunnelRuntimeConfig));
}

void fakeSetMtu(int mtu)
{
    note("mtu");
    record().lastMtuSafe = mtu;
}

void fakeReset()
{
    note("reset");
    ++record().resets;
}

uint64_t fakeBytesSent()
{
    return controls().bytesSent.load();
}
uint64_t fakeBytesReceived()
{
    return controls().bytesReceived.load();
}
uint64_t fakeTxSent()
{
    return controls().txSent.load();
}
uint64_t fakeTxAcked()
{
    return controls().txAcked.load();
}
uint64_t fakeTxLost()
{
    return controls().txLost.load();
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
    c.startupMs = 0;
    c.failStartup = false;
    c.ignoreStops = false;
    c.bytesSent = c.bytesReceived = c.txSent = c.txAcked = c.txLost = 0;
    Record &r = record();
    r.mainsEntered = r.mainsReturned = r.stops = r.configs = r.resets = r.lastMtuSafe = 0;
    r.mainThread = nullptr;
    g_stopFlag = false;
    std::lock_guard<std::mutex> lock(g_mutex);
    g_calls.clear();
    g_config.clear();
    g_cwd.clear();
}

TunnelEngineApi api()
{
    return {fakeMain,      fakeStop,          fakeSetConfig, fakeSetMtu,  fakeReset,
            fakeBytesSent, fakeBytesReceived, fakeTxSent,    fakeTxAcked, fakeTxLost};
}

QStringList calls()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return freshCopy(g_calls);
}

QByteArray lastConfig()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_config;
}

QString mainWorkingDirectory()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_cwd;
}

} // namespace FakeTunnelEngine
