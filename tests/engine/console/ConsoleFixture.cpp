#include "ConsoleFixture.h"

#include "engine/common/engine_clock.h"
#include "engine/common/engine_log.h"
#include "engine/console/console_gateway.h"
#include "engine/console/console_state.h"
#include "platform/driver/console_device.h"
#include "platform/driver/driver.h"

#include <errno.h>
#include <poll.h>
#include <string.h>
#include <unistd.h>

const uint8_t kConsoleMac[6] = {0x00, 0x22, 0x48, 0xAA, 0xBB, 0x01};
const uint8_t kPcMac[6] = {0x02, 0x11, 0x22, 0x33, 0x44, 0x55};

LogCapture::LogCapture()
{
    quorlix_log_set_sink(&LogCapture::sink, this);
}

LogCapture::~LogCapture()
{
    quorlix_log_set_sink(nullptr, nullptr);
}

void LogCapture::sink(int stream, const char *text, size_t len, void *ctx)
{
    LogCapture *self = static_cast<LogCapture *>(ctx);
    std::lock_guard<std::mutex> g(self->m_lock);
    std::string &pending = self->m_pending[stream == 2 ? 2 : 1];
    pending.append(text, len);
    size_t nl;
    while ((nl = pending.find('\n')) != std::string::npos) {
        self->m_all.push_back(pending.substr(0, nl));
        if (stream == 2)
            self->m_err.push_back(pending.substr(0, nl));
        pending.erase(0, nl + 1);
    }
}

QStringList LogCapture::toList(const std::vector<std::string> &lines)
{
    QStringList list;
    for (const std::string &line : lines)
        list << QString::fromStdString(line);
    return list;
}

QStringList LogCapture::lines() const
{
    std::lock_guard<std::mutex> g(m_lock);
    return toList(m_all);
}

QStringList LogCapture::errLines() const
{
    std::lock_guard<std::mutex> g(m_lock);
    return toList(m_err);
}

int LogCapture::count(const QString &prefix) const
{
    int n = 0;
    for (const QString &l : lines())
        n += l.startsWith(prefix) ? 1 : 0;
    return n;
}

void LogCapture::clear()
{
    std::lock_guard<std::mutex> g(m_lock);
    m_all.clear();
    m_err.clear();
}

namespace {
uint64_t readClock(void *ctx)
{
    TestClock *c = static_cast<TestClock *>(ctx);
    return c->now.fetch_add(c->step.load());
}

int fsOpen(void *ctx, int *err)
{
    FakeSocket *f = static_cast<FakeSocket *>(ctx);
    if (f->failOpen) {
        *err = f->failOpen;
        return -1;
    }
    return 1000;
}
long fsSend(void *ctx, int, const void *data, size_t len, uint32_t addr, uint16_t port, int *err)
{
    FakeSocket *f = static_cast<FakeSocket *>(ctx);
    if (f->failSend) {
        *err = f->failSend;
        return -1;
    }
    std::lock_guard<std::mutex> g(f->lock);
    const uint8_t *p = static_cast<const uint8_t *>(data);
    f->m_sent.push_back({Bytes(p, p + len), addr, port});
    const long s = f->shortSend.load();
    return s >= 0 ? s : long(len);
}
void fsClose(void *, int) {}
int fsBind(void *ctx, int, uint32_t, uint16_t, int *err)
{
    FakeSocket *f = static_cast<FakeSocket *>(ctx);
    f->binds++;
    if (f->failBind) {
        *err = f->failBind;
        return -1;
    }
    return 0;
}
int fsWait(void *ctx, int, int wakeFd, int timeoutMs, int *err)
{
    FakeSocket *f = static_cast<FakeSocket *>(ctx);
    // Polls the inbox and the wake descriptor in short steps.
    // The engine waits up to 5 s; the fake gives up after 20 ms of real time
    // so the receive loop turns over (the test's clock says how long it was).
    const int limit = timeoutMs < 0 || timeoutMs > 20 ? 20 : timeoutMs;
    for (int waited = 0; waited <= limit; waited += 2) {
        {
            std::lock_guard<std::mutex> g(f->lock);
            if (!f->m_inbox.empty())
                return 1;
        }
        pollfd p = {wakeFd, POLLIN, 0};
        if (wakeFd >= 0 && poll(&p, 1, 2) > 0) {
            *err = EINTR;
            return -1;
        }
        if (wakeFd < 0)
            usleep(2000);
    }
    return 0;
}
long fsRecv(void *ctx, int, void *buf, size_t cap, uint32_t *addr, uint16_t *port, int *err)
{
    FakeSocket *f = static_cast<FakeSocket *>(ctx);
    std::lock_guard<std::mutex> g(f->lock);
    if (f->m_inbox.empty()) {
        *err = EAGAIN;
        return -1;
    }
    FakeSocket::Datagram d = f->m_inbox.front();
    f->m_inbox.pop_front();
    memcpy(buf, d.data.data(), qMin(cap, d.data.size()));
    *addr = d.addr;
    *port = d.port;
    return long(d.data.size());
}
const QuorlixSocketOps kOps = {fsOpen, fsSend, fsClose, fsBind, fsWait, fsRecv};
} // namespace

TestClock::TestClock()
{
    quorlix_clock_set(readClock, this);
}

TestClock::~TestClock()
{
    quorlix_clock_set(nullptr, nullptr);
}

FakeSocket::FakeSocket()
{
    quorlix_socket_set_ops(&kOps, this);
}

FakeSocket::~FakeSocket()
{
    quorlix_socket_close(&gateway_state().sock);
    quorlix_socket_set_ops(nullptr, nullptr);
}

std::vector<FakeSocket::Datagram> FakeSocket::sent() const
{
    std::lock_guard<std::mutex> g(lock);
    return m_sent;
}

void FakeSocket::clearSent()
{
    std::lock_guard<std::mutex> g(lock);
    m_sent.clear();
}

void FakeSocket::queue(const Bytes &data, uint32_t fromAddr, uint16_t fromPort)
{
    std::lock_guard<std::mutex> g(lock);
    m_inbox.push_back({data, fromAddr, fromPort});
}

uint8_t *openSimRegion(uint32_t *handle)
{
    int err = 0;
    *handle = quorlix_driver_open(QUORLIX_CONSOLE_DEVICE_NAME, &err);
    uint64_t addr = 0;
    if (quorlix_driver_control(*handle, CONSOLE_IOCTL_MAP_SHARED_MEMORY, nullptr, 0, &addr, 8, nullptr) != 0)
        return nullptr;
    return reinterpret_cast<uint8_t *>(uintptr_t(addr));
}

void resetGateway()
{
    GatewayState &s = gateway_state();
    gateway_settings_init(&s.settings);
    strcpy(s.active_profile, "custom");
    memset(s.udp_bitmap, 0, sizeof s.udp_bitmap);
    memset(s.tcp_bitmap, 0, sizeof s.tcp_bitmap);
    s.udp_count = s.tcp_count = 0;
    s.run_state.store(CONSOLE_GATEWAY_IDLE);
    s.runtime_config_set = 0;
    s.region.store(nullptr);
    s.device.store(QUORLIX_DRIVER_INVALID);
    s.rx_received.store(0);
    s.rx_foreign.store(0);
    s.mss_clamp.store(GATEWAY_DEFAULT_MSS_CLAMP);
    s.console_mac.store(0);
    s.vlan.store(0);
    s.adapter_mac.store(0);
    for (FlowSlot &f : s.flows) {
        f.used.store(0);
        f.conn_id.store(0);
    }
    s.verbose_window_start.store(0);
    s.verbose_window_count.store(0);
    s.csum_lines.store(0);
}

Bytes ethFrame(const uint8_t dst[6], const uint8_t src[6], const Bytes &payload, int vlanTci, uint16_t type)
{
    // Room for the whole frame first: growing the vector insert by insert
    // trips a false stringop-overread warning of GCC 12.
    Bytes f;
    f.reserve(18 + payload.size());
    f.insert(f.end(), dst, dst + 6);
    f.insert(f.end(), src, src + 6);
    if (vlanTci >= 0) {
        f.push_back(0x81);
        f.push_back(0x00);
        f.push_back(uint8_t(vlanTci >> 8));
        f.push_back(uint8_t(vlanTci));
    }
    f.push_back(uint8_t(type >> 8));
    f.push_back(uint8_t(type));
    f.insert(f.end(), payload.begin(), payload.end());
    return f;
}

Bytes tcpPacket(const char *src, uint16_t sport, const char *dst, uint16_t dport, uint8_t flags, int mss,
                const Bytes &payload)
{
    // MSS, NOP, NOP, SACK-permitted: the MSS is not the last option.
    const Bytes options = mss >= 0 ? Bytes{2, 4, uint8_t(mss >> 8), uint8_t(mss), 1, 1, 4, 2} : Bytes{};
    return testpackets::tcp(src, sport, dst, dport, flags, options, payload);
}

namespace {
int fhAdapters(void *ctx, QuorlixAdapter *out, int cap)
{
    FakeHost *h = static_cast<FakeHost *>(ctx);
    if (h->adaptersFail)
        return -1;
    int n = 0;
    for (const QuorlixAdapter &a : h->adapters)
        if (n < cap)
            out[n++] = a;
    return n;
}
int fhMtu(void *ctx, const char *text, unsigned long *mtu, unsigned long *index)
{
    FakeHost *h = static_cast<FakeHost *>(ctx);
    h->lastMtuQuery = QString::fromUtf8(text);
    if (!h->mtuOk)
        return 0;
    *mtu = h->mtu;
    *index = h->ifIndex;
    return 1;
}
const QuorlixHostOps kHostOps = {fhAdapters, fhMtu};
} // namespace

FakeHost::FakeHost()
{
    quorlix_host_set_ops(&kHostOps, this);
}

FakeHost::~FakeHost()
{
    quorlix_host_set_ops(nullptr, nullptr);
}

QuorlixAdapter FakeHost::adapter(const char *name, const uint8_t mac[6], const char *ipv4, bool ethernet,
                                 bool up)
{
    QuorlixAdapter a;
    memset(&a, 0, sizeof a);
    strncpy(a.name, name, sizeof a.name - 1);
    a.ethernet = ethernet;
    a.up = up;
    if (mac) {
        a.mac_len = 6;
        memcpy(a.mac, mac, 6);
    }
    if (ipv4) {
        a.ipv4[0] = inet_addr(ipv4);
        a.ipv4_count = 1;
    }
    return a;
}

GatewayRun::GatewayRun(QStringList args)
{
    for (const QString &a : args)
        m_args.push_back(a.toUtf8());
    for (QByteArray &a : m_args)
        m_argv.push_back(a.data());
    m_argv.push_back(nullptr);
    console_gateway_arm();
    m_thread = std::thread([this] {
        m_rc = console_gateway_main(int(m_args.size()), m_argv.data());
        m_done = true;
    });
}

GatewayRun::~GatewayRun()
{
    stop();
}

int GatewayRun::stop()
{
    console_gateway_stop();
    return join();
}

int GatewayRun::join()
{
    if (m_thread.joinable())
        m_thread.join();
    return m_rc;
}
