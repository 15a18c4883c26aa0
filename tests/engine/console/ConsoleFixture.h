#pragma once
// Shared rig of the console gateway tests: the engine's log lines, a clock the
// test moves, a socket whose sends are recorded (and can fail), frame
// builders, and a reset of the engine's process-wide state between tests.

#include "engine/common/engine_socket.h"
#include "support/TestPackets.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <atomic>
#include <deque>
#include <mutex>
#include <stdint.h>
#include <string>
#include <vector>

using testpackets::Bytes;

// Collects every engine log line while alive.
class LogCapture
{
public:
    LogCapture();
    ~LogCapture();
    QStringList lines() const;    // both streams, in order
    QStringList errLines() const; // standard error only
    int count(const QString &prefix) const;
    bool has(const QString &line) const { return lines().contains(line); }
    void clear();

private:
    // Plain std:: text on the engine's side: a Qt list shared with the test
    // thread would count its references inside Qt, out of ThreadSanitizer's
    // sight. The test gets lists made for it.
    static void sink(int stream, const char *text, size_t len, void *ctx);
    static QStringList toList(const std::vector<std::string> &lines);
    mutable std::mutex m_lock;
    std::string m_pending[3];
    std::vector<std::string> m_all;
    std::vector<std::string> m_err;
};

// A clock the test sets; each read may also move it on by `step` ms.
class TestClock
{
public:
    TestClock();
    ~TestClock();
    std::atomic<uint64_t> now{1000};
    std::atomic<uint64_t> step{0};
};

// Socket calls that record what is sent and deliver queued datagrams.
class FakeSocket
{
public:
    FakeSocket();
    ~FakeSocket();
    struct Datagram
    {
        Bytes data;
        uint32_t addr;
        uint16_t port;
    };
    std::vector<Datagram> sent() const;
    void clearSent();
    // Datagrams handed to the engine's receive, oldest first.
    void queue(const Bytes &data, uint32_t fromAddr, uint16_t fromPort);
    std::atomic<int> failOpen{0}, failBind{0}, failSend{0};
    std::atomic<long> shortSend{-1}; // >= 0: a send reports this many bytes
    std::atomic<int> binds{0};

    mutable std::mutex lock;
    std::vector<Datagram> m_sent;
    std::deque<Datagram> m_inbox;
};

// Opens the simulated driver (installed by the caller) and maps its region;
// null when either fails.
uint8_t *openSimRegion(uint32_t *handle);

// Clears everything the engine learned and its settings to the built-in values.
void resetGateway();

// Ethernet framing of an IPv4 packet (or any payload with the given type).
Bytes ethFrame(const uint8_t dst[6], const uint8_t src[6], const Bytes &payload, int vlanTci = -1,
               uint16_t type = 0x0800);
// A TCP segment inside IPv4 with valid checksums; mss < 0: no MSS option.
Bytes tcpPacket(const char *src, uint16_t sport, const char *dst, uint16_t dport, uint8_t flags, int mss,
                const Bytes &payload = {});

extern const uint8_t kConsoleMac[6];
extern const uint8_t kPcMac[6];

#include "platform/driver/host_net.h"

// Host facts the test decides: adapters and the path MTU.
class FakeHost
{
public:
    FakeHost();
    ~FakeHost();
    static QuorlixAdapter adapter(const char *name, const uint8_t mac[6], const char *ipv4 = nullptr,
                                  bool ethernet = true, bool up = true);
    std::vector<QuorlixAdapter> adapters;
    bool adaptersFail = false;
    bool mtuOk = true;
    unsigned long mtu = 1500;
    unsigned long ifIndex = 3;
    QString lastMtuQuery;
};

#include <functional>
#include <thread>

// console_gateway_main on a thread of its own, as the owner runs it: armed
// first, then started with the given arguments.
class GatewayRun
{
public:
    explicit GatewayRun(QStringList args = {"quorlix-console-gateway"});
    ~GatewayRun();
    // Stops and joins; the engine's exit code.
    int stop();
    int join();
    bool finished() const { return m_done.load(); }

private:
    std::vector<QByteArray> m_args;
    std::vector<char *> m_argv;
    std::thread m_thread;
    std::atomic<bool> m_done{false};
    int m_rc = -1;
};
