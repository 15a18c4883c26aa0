#include "TestRelay.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/filter.h>
#include <netinet/in.h>
#include <poll.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace testrelay {

namespace {

uint16_t be16(const uint8_t *p)
{
    return uint16_t((p[0] << 8) | p[1]);
}
uint32_t be32(const uint8_t *p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}
void put16(uint8_t *p, uint16_t v)
{
    p[0] = uint8_t(v >> 8);
    p[1] = uint8_t(v);
}
void put32(uint8_t *p, uint32_t v)
{
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

uint32_t sumWords(const uint8_t *p, size_t len, uint32_t sum)
{
    for (size_t i = 0; i + 1 < len; i += 2)
        sum += uint32_t(p[i] << 8 | p[i + 1]);
    if (len & 1)
        sum += uint32_t(p[len - 1] << 8);
    return sum;
}

uint16_t fold(uint32_t sum)
{
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return uint16_t(~sum);
}

// A UDP or TCP segment with a valid checksum sums to 0 together with its
// pseudo header (addresses from the IPv4 header at ip).
bool transportChecksumOk(const uint8_t *ip, uint8_t proto, const uint8_t *tp, size_t tlen)
{
    uint8_t pseudo[12];
    memcpy(pseudo, ip + 12, 4);
    memcpy(pseudo + 4, ip + 16, 4);
    pseudo[8] = 0;
    pseudo[9] = proto;
    put16(pseudo + 10, uint16_t(tlen));
    return fold(sumWords(tp, tlen, sumWords(pseudo, 12, 0))) == 0;
}

// The relay and the tap each read one socket on a worker thread that a byte
// on a pipe wakes for stopping.

// Blocks until the socket has an event and returns its poll flags; -1 once
// the wake pipe is written (or poll fails).
int waitForSocket(int fd, int wakeFd)
{
    for (;;) {
        pollfd fds[2] = {{fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (fds[1].revents)
            return -1;
        return fds[0].revents;
    }
}

// Wakes the worker, waits for it, and closes the socket and the wake pipe.
void stopSocketWorker(std::thread &worker, int &fd, int wakeFd[2])
{
    const char c = 'q';
    (void)!write(wakeFd[1], &c, 1);
    if (worker.joinable())
        worker.join();
    close(fd);
    close(wakeFd[0]);
    close(wakeFd[1]);
    fd = wakeFd[0] = wakeFd[1] = -1;
}

// Appends a name in DNS wire form (no compression).
void appendName(std::vector<uint8_t> *out, const std::string &name)
{
    size_t start = 0;
    while (start < name.size()) {
        size_t dot = name.find('.', start);
        if (dot == std::string::npos)
            dot = name.size();
        const size_t n = dot - start;
        if (n > 0 && n < 64) {
            out->push_back(uint8_t(n));
            out->insert(out->end(), name.begin() + long(start), name.begin() + long(dot));
        }
        start = dot + 1;
    }
    out->push_back(0);
}

} // namespace

uint32_t connIdFor(const uint8_t srcAddr[4], const uint8_t srcPort[2], const uint8_t dstAddr[4],
                   const uint8_t dstPort[2])
{
    auto le32 = [](const uint8_t *p) {
        return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
    };
    auto le16 = [](const uint8_t *p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8); };
    uint32_t h = le32(srcAddr);
    h = h * 31u + le16(srcPort);
    h = h * 31u + le32(dstAddr);
    h = h * 31u + le16(dstPort);
    return h;
}

std::vector<uint8_t> clientDatagram(const std::vector<uint8_t> &inner, uint32_t seq)
{
    if (inner.size() < 20)
        return {};
    const size_t ihl = size_t(inner[0] & 0x0F) * 4;
    if (ihl < 20 || inner.size() < ihl + 4)
        return {};
    const size_t hlen = seq ? 40 : 16;
    std::vector<uint8_t> d(hlen + inner.size(), 0);
    d[0] = 0x18;
    d[1] = inner[9];
    memcpy(&d[2], &inner[ihl + 2], 2);
    put32(&d[4], connIdFor(&inner[12], &inner[ihl], &inner[16], &inner[ihl + 2]));
    d[9] = uint8_t(hlen);
    memcpy(&d[12], &inner[16], 4);
    if (seq)
        put32(&d[16], seq);
    memcpy(&d[hlen], inner.data(), inner.size());
    return d;
}

uint16_t ipv4HeaderChecksum(const uint8_t *header, size_t len)
{
    return fold(sumWords(header, len, 0));
}

uint16_t transportChecksum(const uint8_t srcAddr[4], const uint8_t dstAddr[4], uint8_t proto,
                           const uint8_t *segment, size_t len)
{
    uint8_t pseudo[12];
    memcpy(pseudo, srcAddr, 4);
    memcpy(pseudo + 4, dstAddr, 4);
    pseudo[8] = 0;
    pseudo[9] = proto;
    put16(pseudo + 10, uint16_t(len));
    uint16_t c = fold(sumWords(segment, len, sumWords(pseudo, 12, 0)));
    if (proto == 17 && c == 0)
        c = 0xFFFF;
    return c;
}

struct TestRelay::PeerState
{
    uint32_t nextSeq = 1;
    bool hasReceived = false;
    uint32_t highest = 0;
    uint32_t bitmap[4] = {0, 0, 0, 0};

    void shiftLeft(uint32_t n)
    {
        if (n == 0)
            return;
        if (n >= 128) {
            memset(bitmap, 0, sizeof bitmap);
            return;
        }
        uint32_t out[4] = {0, 0, 0, 0};
        const uint32_t words = n / 32, bits = n % 32;
        for (int i = 3; i >= 0; --i) {
            const int src = i - int(words);
            if (src < 0)
                continue;
            out[i] = bitmap[src] << bits;
            if (bits && src - 1 >= 0)
                out[i] |= bitmap[src - 1] >> (32 - bits);
        }
        memcpy(bitmap, out, sizeof out);
    }
    void setBit(uint32_t i) { bitmap[i / 32] |= 1u << (i % 32); }

    void receive(uint32_t q)
    {
        if (q == 0)
            return;
        if (!hasReceived) {
            hasReceived = true;
            highest = q;
            memset(bitmap, 0, sizeof bitmap);
        } else if (q == highest) {
        } else if (q > highest) {
            const uint32_t d = q - highest;
            shiftLeft(d);
            if (d - 1 <= 127)
                setBit(d - 1);
            highest = q;
        } else {
            const uint32_t d = highest - q - 1;
            if (d <= 127)
                setBit(d);
        }
    }
};

TestRelay::TestRelay() : TestRelay(Options()) {}

TestRelay::TestRelay(const Options &options) : m_options(options) {}

TestRelay::~TestRelay()
{
    stop();
    for (auto &p : m_peers)
        delete p.second;
}

std::string TestRelay::errorString() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_error;
}

bool TestRelay::start()
{
    if (m_running.load())
        return true;
    in_addr addr{};
    if (inet_pton(AF_INET, m_options.address.c_str(), &addr) != 1 ||
        ((ntohl(addr.s_addr) >> 24) != 127 && !m_options.inPrivateNamespace)) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_error = "relay address must be an IPv4 loopback address: " + m_options.address;
        return false;
    }
    m_fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_error = std::string("socket: ") + strerror(errno);
        return false;
    }
    int big = 4 << 20;
    setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &big, sizeof big);
    setsockopt(m_fd, SOL_SOCKET, SO_SNDBUF, &big, sizeof big);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr = addr;
    sa.sin_port = htons(m_options.port);
    if (bind(m_fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa) != 0) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_error = "bind " + m_options.address + ":" + std::to_string(m_options.port) + ": " + strerror(errno);
        close(m_fd);
        m_fd = -1;
        return false;
    }
    socklen_t sl = sizeof sa;
    getsockname(m_fd, reinterpret_cast<sockaddr *>(&sa), &sl);
    m_boundPort = ntohs(sa.sin_port);
    if (pipe2(m_wakeFd, O_CLOEXEC) != 0) {
        close(m_fd);
        m_fd = -1;
        return false;
    }
    m_running = true;
    m_thread = std::thread([this] { run(); });
    return true;
}

void TestRelay::stop()
{
    if (!m_running.exchange(false))
        return;
    stopSocketWorker(m_thread, m_fd, m_wakeFd);
}

void TestRelay::run()
{
    std::vector<uint8_t> buf(65536);
    while (m_running.load()) {
        const int events = waitForSocket(m_fd, m_wakeFd[0]);
        if (events < 0)
            break;
        if (!(events & POLLIN))
            continue;
        for (;;) {
            sockaddr_in from{};
            socklen_t fl = sizeof from;
            const ssize_t n = recvfrom(m_fd, buf.data(), buf.size(), MSG_DONTWAIT,
                                       reinterpret_cast<sockaddr *>(&from), &fl);
            if (n < 0)
                break;
            handleDatagram(buf.data(), size_t(n), from.sin_addr.s_addr, ntohs(from.sin_port));
        }
    }
}

void TestRelay::reject(const std::string &reason)
{
    m_stats.rejected++;
    m_stats.lastRejection = reason;
}

uint32_t consoleConnIdFor(const uint8_t srcAddr[4], const uint8_t srcPort[2], const uint8_t dstAddr[4],
                          const uint8_t dstPort[2], uint8_t proto)
{
    const uint8_t bytes[13] = {srcAddr[3], srcAddr[2], srcAddr[1], srcAddr[0], srcPort[1],
                               srcPort[0], dstAddr[3], dstAddr[2], dstAddr[1], dstAddr[0],
                               dstPort[1], dstPort[0], proto};
    uint32_t h = 0x811C9DC5u;
    for (uint8_t b : bytes)
        h = (h ^ b) * 0x01000193u;
    return h;
}

bool TestRelay::checkClientDatagram(const uint8_t *d, size_t len, std::string *reason, bool consoleClient)
{
    auto fail = [reason](const char *why) {
        if (reason)
            *reason = why;
        return false;
    };
    if (len < 16)
        return fail("datagram shorter than 16 bytes");
    if ((d[0] >> 4) != 1)
        return fail("version is not 1");
    const uint8_t flags = d[0] & 0x0F;
    if (consoleClient) {
        if (flags != 0)
            return fail("console datagram with flags set");
        if (be16(d + 8) != 16)
            return fail("console header length is not 16");
    } else if (flags == 0x04) {
        static const uint8_t keepalive[16] = {0x14, 0x11, 0, 0, 0, 0, 0, 0, 0, 0x10, 0, 0, 0, 0, 0, 0};
        if (len != 16 || memcmp(d, keepalive, 16) != 0)
            return fail("malformed keepalive");
        return true;
    }
    if (!consoleClient && flags != 0x08)
        return fail("flags are neither data nor keepalive");
    const uint8_t proto = d[1];
    if (proto != 17 && proto != 6)
        return fail("protocol byte is not 17 or 6");
    const uint16_t hlen = be16(d + 8);
    if (hlen != 16 && hlen != 40)
        return fail("header length is not 16 or 40");
    if (hlen > len)
        return fail("header length beyond the datagram");
    if (be16(d + 10) != 0)
        return fail("reserved field not zero");
    if (hlen == 40 && be32(d + 16) == 0)
        return fail("acknowledging header without a sequence number");
    const uint8_t *ip = d + hlen;
    const size_t ilen = len - hlen;
    if (ilen < 20)
        return fail("inner packet shorter than an IPv4 header");
    if ((ip[0] >> 4) != 4)
        return fail("inner packet is not IPv4");
    const size_t ihl = size_t(ip[0] & 0x0F) * 4;
    if (ihl < 20 || ihl > ilen)
        return fail("inner IPv4 header length invalid");
    if (be16(ip + 2) != ilen)
        return fail("inner total length differs from the carried bytes");
    if (ip[9] != proto)
        return fail("inner protocol differs from the header's");
    if (ipv4HeaderChecksum(ip, ihl) != 0)
        return fail("inner IPv4 header checksum wrong");
    if (memcmp(ip + 16, d + 12, 4) != 0)
        return fail("destination address field differs from the inner packet");
    const uint8_t *tp = ip + ihl;
    const size_t tlen = ilen - ihl;
    if (proto == 17) {
        if (tlen < 8)
            return fail("inner UDP header truncated");
        if (be16(tp + 4) != tlen)
            return fail("inner UDP length differs from the carried bytes");
        if (be16(tp + 6) != 0) {
            if (!transportChecksumOk(ip, 17, tp, tlen))
                return fail("inner UDP checksum wrong");
        }
    } else {
        if (tlen < 20)
            return fail("inner TCP header truncated");
        const size_t doff = size_t(tp[12] >> 4) * 4;
        if (doff < 20 || doff > tlen)
            return fail("inner TCP data offset invalid");
        if (!transportChecksumOk(ip, 6, tp, tlen))
            return fail("inner TCP checksum wrong");
    }
    if (memcmp(tp + 2, d + 2, 2) != 0)
        return fail("destination port field differs from the inner packet");
    const uint32_t expectedId = consoleClient ? consoleConnIdFor(ip + 12, tp, ip + 16, tp + 2, proto)
                                              : connIdFor(ip + 12, tp, ip + 16, tp + 2);
    if (expectedId != be32(d + 4))
        return fail("ConnID does not match the inner flow");
    return true;
}

TestRelay::PeerState &TestRelay::peer(uint32_t addr, uint16_t port)
{
    const uint64_t key = (uint64_t(addr) << 16) | port;
    auto it = m_peers.find(key);
    if (it == m_peers.end())
        it = m_peers.emplace(key, new PeerState).first;
    return *it->second;
}

void TestRelay::handleDatagram(const uint8_t *data, size_t len, uint32_t fromAddr, uint16_t fromPort)
{
    std::vector<uint8_t> dg(data, data + len);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stats.datagrams++;
    m_stats.bytes += len;
    if (m_log.size() >= 4096)
        m_log.pop_front();
    m_log.push_back(dg);
    std::string why;
    if (!checkClientDatagram(data, len, &why, m_options.consoleClient)) {
        reject(why);
        return;
    }
    if ((data[0] & 0x0F) == 0x04) {
        m_stats.keepalives++;
        return;
    }
    m_stats.accepted++;
    const bool seqd = be16(data + 8) == 40;
    if (seqd)
        m_stats.withAckHeader++;
    if (m_options.ackMode && seqd) {
        const uint32_t seq = be32(data + 16);
        const AckAction action = m_ackPolicy ? m_ackPolicy(seq) : AckAction::Deliver;
        if (action == AckAction::Drop) {
            m_stats.dropped++;
            m_dropped.insert(seq);
            return;
        }
        if (action == AckAction::Hold && !m_hasHeld) {
            m_held = dg;
            m_heldAddr = fromAddr;
            m_heldPort = fromPort;
            m_hasHeld = true;
            return;
        }
    }
    processData(dg, fromAddr, fromPort);
    if (m_hasHeld) {
        m_hasHeld = false;
        std::vector<uint8_t> held;
        held.swap(m_held);
        processData(held, m_heldAddr, m_heldPort);
    }
}

void TestRelay::processData(const std::vector<uint8_t> &dg, uint32_t fromAddr, uint16_t fromPort)
{
    const uint8_t *d = dg.data();
    const uint16_t hlen = be16(d + 8);
    if (hlen == 40) {
        const uint32_t seq = be32(d + 16);
        m_received.insert(seq);
        peer(fromAddr, fromPort).receive(seq);
    }
    const uint8_t proto = d[1];
    const uint8_t *ip = d + hlen;
    const size_t ilen = dg.size() - hlen;
    const size_t ihl = size_t(ip[0] & 0x0F) * 4;
    const uint8_t *tp = ip + ihl;
    const uint32_t connId = be32(d + 4);

    RelayFlow &f = m_flows[connId];
    f.connId = connId;
    f.proto = proto;
    memcpy(f.srcAddr, ip + 12, 4);
    memcpy(f.dstAddr, ip + 16, 4);
    f.srcPort = be16(tp);
    f.dstPort = be16(tp + 2);
    f.clientAddr = fromAddr;
    f.clientPort = fromPort;
    f.datagrams++;

    std::vector<uint8_t> out;
    bool answer = false;
    if (proto == 17) {
        const std::vector<uint8_t> payload(tp + 8, ip + ilen);
        if (f.dstPort == 53) {
            m_stats.dnsQueries++;
            answer = buildDnsReply(payload.data(), payload.size(), &out);
        } else if (!m_options.silentPorts.count(f.dstPort)) {
            if (m_udpResponder) {
                const RelayFlow copy = f;
                answer = m_udpResponder(copy, payload, &out);
            } else {
                out = payload;
                answer = true;
            }
        }
    } else {
        m_stats.tcpSegments++;
        if (m_tcpForwarder) {
            const RelayFlow copy = f;
            m_tcpForwarder(copy, ip, ilen);
        } else {
            buildTcpReply(ip, ilen, &out);
            answer = !out.empty();
        }
    }
    if (answer) {
        reply(fromAddr, fromPort, proto, d + 2, connId, d + 12, out.data(), out.size());
    } else if (m_options.ackMode && m_options.ackOnlyForSilent) {
        reply(fromAddr, fromPort, 0, d + 2, connId, d + 12, nullptr, 0);
    }
}

void TestRelay::reply(uint32_t toAddr, uint16_t toPort, uint8_t proto, const uint8_t dstPort[2],
                      uint32_t connId, const uint8_t dstAddr[4], const uint8_t *payload, size_t len)
{
    const size_t hlen = m_options.ackMode ? 40 : 16;
    std::vector<uint8_t> dg(hlen + len, 0);
    dg[0] = 0x18;
    dg[1] = proto;
    memcpy(&dg[2], dstPort, 2);
    put32(&dg[4], connId);
    put16(&dg[8], uint16_t(hlen));
    memcpy(&dg[12], dstAddr, 4);
    if (m_options.ackMode) {
        PeerState &p = peer(toAddr, toPort);
        put32(&dg[16], p.nextSeq++);
        put32(&dg[20], p.hasReceived ? p.highest : 0);
        for (int i = 0; i < 4; ++i)
            put32(&dg[24 + 4 * i], p.bitmap[i]);
    }
    if (len)
        memcpy(&dg[hlen], payload, len);
    if (proto == 0)
        m_stats.ackOnly++;
    sendDatagram(toAddr, toPort, dg);
}

void TestRelay::sendDatagram(uint32_t toAddr, uint16_t toPort, const std::vector<uint8_t> &dg)
{
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = toAddr;
    to.sin_port = htons(toPort);
    if (sendto(m_fd, dg.data(), dg.size(), 0, reinterpret_cast<sockaddr *>(&to), sizeof to) ==
        ssize_t(dg.size())) {
        m_stats.replies++;
        m_stats.replyBytes += dg.size();
    }
}

bool TestRelay::buildDnsReply(const uint8_t *q, size_t len, std::vector<uint8_t> *out)
{
    if (len < 12 || (q[2] & 0x80) || be16(q + 4) < 1)
        return false;
    // Question name: plain labels only (a client's query is never compressed).
    std::string name;
    size_t pos = 12;
    for (;;) {
        if (pos >= len)
            return false;
        const uint8_t l = q[pos++];
        if (l == 0)
            break;
        if (l >= 64 || pos + l > len)
            return false;
        if (!name.empty())
            name += '.';
        for (size_t i = 0; i < l; ++i)
            name += char(tolower(q[pos + i]));
        pos += l;
    }
    if (pos + 4 > len)
        return false;
    const size_t questionEnd = pos + 4;
    const uint16_t qtype = be16(q + pos);

    DnsAnswer answer;
    auto it = m_dns.find(name);
    const bool known = it != m_dns.end() && !it->second.nxdomain;
    if (known)
        answer = it->second;

    out->assign(q, q + questionEnd);
    (*out)[2] = uint8_t(0x80 | (q[2] & 0x01));   // response, keep RD
    (*out)[3] = uint8_t(0x80 | (known ? 0 : 3)); // RA, NOERROR / NXDOMAIN
    put16(&(*out)[4], 1);
    put16(&(*out)[6], 0);
    put16(&(*out)[8], 0);
    put16(&(*out)[10], 0);
    if (!known)
        return true;
    uint16_t count = 0;
    std::string owner = name;
    bool ownerIsQuestion = true;
    auto appendOwner = [&]() {
        if (ownerIsQuestion) {
            out->push_back(0xC0);
            out->push_back(0x0C);
        } else {
            appendName(out, owner);
        }
    };
    for (const std::string &target : answer.cnames) {
        appendOwner();
        std::vector<uint8_t> rdata;
        appendName(&rdata, target);
        const uint8_t fixed[10] = {
            0, 5, 0, 1, 0, 0, 0, 60, uint8_t(rdata.size() >> 8), uint8_t(rdata.size())};
        out->insert(out->end(), fixed, fixed + 10);
        out->insert(out->end(), rdata.begin(), rdata.end());
        owner = target;
        ownerIsQuestion = false;
        ++count;
    }
    if (qtype == 1 || qtype == 255) {
        for (const std::string &a : answer.addresses) {
            in_addr ia{};
            if (inet_pton(AF_INET, a.c_str(), &ia) != 1)
                continue;
            appendOwner();
            const uint8_t fixed[10] = {0, 1, 0, 1, 0, 0, 0, 60, 0, 4};
            out->insert(out->end(), fixed, fixed + 10);
            const uint8_t *b = reinterpret_cast<const uint8_t *>(&ia.s_addr);
            out->insert(out->end(), b, b + 4);
            ++count;
        }
    }
    put16(&(*out)[6], count);
    return true;
}

void TestRelay::buildTcpReply(const uint8_t *ip, size_t len, std::vector<uint8_t> *out)
{
    out->clear();
    const size_t ihl = size_t(ip[0] & 0x0F) * 4;
    const uint8_t *tp = ip + ihl;
    const size_t doff = size_t(tp[12] >> 4) * 4;
    const size_t dataLen = len - ihl - doff;
    const uint8_t flags = tp[13];
    const bool syn = flags & 0x02, fin = flags & 0x01, rst = flags & 0x04;
    if (rst || (!syn && !fin && dataLen == 0))
        return; // nothing to answer to a bare ACK or a reset
    const uint32_t theirSeq = be32(tp + 4);
    const uint32_t theirAck = be32(tp + 8);
    uint8_t outFlags = 0x10; // ACK
    uint32_t seq = theirAck;
    if (syn) {
        outFlags |= 0x02;
        seq = m_tcpSeq;
        m_tcpSeq += 0x01000000;
    }
    if (fin)
        outFlags |= 0x01;
    if (dataLen)
        outFlags |= 0x08;
    const uint32_t ack = theirSeq + uint32_t(dataLen) + (syn ? 1 : 0) + (fin ? 1 : 0);
    const size_t echo = syn ? 0 : dataLen;
    const size_t total = 40 + echo;
    out->assign(total, 0);
    uint8_t *o = out->data();
    o[0] = 0x45;
    put16(o + 2, uint16_t(total));
    put16(o + 4, 0x1234);
    put16(o + 6, 0x4000);
    o[8] = 64;
    o[9] = 6;
    memcpy(o + 12, ip + 16, 4);
    memcpy(o + 16, ip + 12, 4);
    uint8_t *t = o + 20;
    memcpy(t, tp + 2, 2);
    memcpy(t + 2, tp, 2);
    put32(t + 4, seq);
    put32(t + 8, ack);
    t[12] = 0x50;
    t[13] = outFlags;
    put16(t + 14, 65535);
    if (echo)
        memcpy(t + 20, tp + doff, echo);
    put16(t + 16, transportChecksum(o + 12, o + 16, 6, t, 20 + echo));
    put16(o + 10, ipv4HeaderChecksum(o, 20));
}

void TestRelay::setDnsAnswer(const std::string &name, const DnsAnswer &answer)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_dns[name] = answer;
}

void TestRelay::setUdpResponder(UdpResponder responder)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_udpResponder = std::move(responder);
}

void TestRelay::setAckPolicy(AckPolicy policy)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_ackPolicy = std::move(policy);
}

TestRelay::AckPolicy TestRelay::dropEvery(uint32_t n)
{
    return [n](uint32_t seq) { return n && seq % n == 0 ? AckAction::Drop : AckAction::Deliver; };
}

TestRelay::AckPolicy TestRelay::script(std::set<uint32_t> drop, std::set<uint32_t> hold)
{
    return [drop, hold](uint32_t seq) {
        if (drop.count(seq))
            return AckAction::Drop;
        if (hold.count(seq))
            return AckAction::Hold;
        return AckAction::Deliver;
    };
}

bool TestRelay::replyToFlow(uint32_t connId, uint8_t proto, const uint8_t *payload, size_t len)
{
    auto it = m_flows.find(connId);
    if (it == m_flows.end() || m_fd < 0)
        return false;
    const RelayFlow f = it->second;
    uint8_t port[2];
    put16(port, f.dstPort);
    reply(f.clientAddr, f.clientPort, proto, port, connId, f.dstAddr, payload, len);
    return true;
}

bool TestRelay::sendAckOnly(uint32_t connId)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const bool ack = m_options.ackMode;
    m_options.ackMode = true; // acknowledgement-only datagrams always carry the extension
    const bool sent = replyToFlow(connId, 0, nullptr, 0);
    m_options.ackMode = ack;
    return sent;
}

void TestRelay::setTcpForwarder(TcpForwarder forwarder)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_tcpForwarder = std::move(forwarder);
}

bool TestRelay::carryTcpToClient(const uint8_t *packet, size_t len)
{
    if (!packet || len < 40 || (packet[0] >> 4) != 4 || packet[9] != 6)
        return false;
    const size_t ihl = size_t(packet[0] & 0x0F) * 4;
    if (ihl < 20 || ihl + 4 > len)
        return false;
    const uint8_t *tp = packet + ihl;
    // The flow the client opened: its source is this packet's destination.
    const uint32_t connId = connIdFor(packet + 16, tp + 2, packet + 12, tp);
    std::lock_guard<std::mutex> lock(m_mutex);
    return replyToFlow(connId, 6, packet, len);
}

bool TestRelay::sendRaw(uint32_t clientAddr, uint16_t clientPort, const std::vector<uint8_t> &datagram)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_fd < 0)
        return false;
    sendDatagram(clientAddr, clientPort, datagram);
    return true;
}

RelayStats TestRelay::stats() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_stats;
}

std::vector<RelayFlow> TestRelay::flows() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<RelayFlow> v;
    for (const auto &f : m_flows)
        v.push_back(f.second);
    return v;
}

bool TestRelay::flow(uint32_t connId, RelayFlow *out) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_flows.find(connId);
    if (it == m_flows.end())
        return false;
    if (out)
        *out = it->second;
    return true;
}

std::set<uint32_t> TestRelay::receivedSequences() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_received;
}

std::set<uint32_t> TestRelay::droppedSequences() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_dropped;
}

uint32_t TestRelay::highestReceived() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_received.empty() ? 0 : *m_received.rbegin();
}

std::vector<std::vector<uint8_t>> TestRelay::lastDatagrams() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return std::vector<std::vector<uint8_t>>(m_log.begin(), m_log.end());
}

bool TestRelay::waitFor(const std::function<bool(const RelayStats &)> &pred, int timeoutMs) const
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (pred(stats()))
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

// ---- WireTap ----

WireTap::~WireTap()
{
    stop();
}

bool WireTap::start(uint16_t sourcePort, Sink sink, std::string *error)
{
    m_fd = socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_UDP);
    if (m_fd < 0) {
        if (error)
            *error = std::string("raw socket: ") + strerror(errno);
        return false;
    }
    int big = 4 << 20;
    setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &big, sizeof big);
    // Only the relay's datagrams wake the tap: the kernel keeps the rest of
    // the loopback's UDP (a benchmark's own echo traffic, say) from it. The
    // check in run() stays for what was queued before the filter.
    sock_filter code[] = {
        BPF_STMT(BPF_LDX | BPF_B | BPF_MSH, 0), // X = IPv4 header length
        BPF_STMT(BPF_LD | BPF_H | BPF_IND, 0),  // A = UDP source port
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, sourcePort, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, 0xFFFFFFFFu),
        BPF_STMT(BPF_RET | BPF_K, 0),
    };
    const sock_fprog program{static_cast<unsigned short>(sizeof code / sizeof code[0]), code};
    setsockopt(m_fd, SOL_SOCKET, SO_ATTACH_FILTER, &program, sizeof program);
    if (pipe2(m_wakeFd, O_CLOEXEC) != 0) {
        close(m_fd);
        m_fd = -1;
        return false;
    }
    m_port = sourcePort;
    m_sink = std::move(sink);
    m_thread = std::thread([this] { run(); });
    return true;
}

void WireTap::stop()
{
    if (m_fd < 0)
        return;
    stopSocketWorker(m_thread, m_fd, m_wakeFd);
}

void WireTap::run()
{
    std::vector<uint8_t> buf(65536);
    while (waitForSocket(m_fd, m_wakeFd[0]) >= 0) {
        for (;;) {
            const ssize_t n = recv(m_fd, buf.data(), buf.size(), MSG_DONTWAIT);
            if (n < 0)
                break;
            const size_t len = size_t(n);
            if (len < 28 || (buf[0] >> 4) != 4)
                continue;
            const size_t ihl = size_t(buf[0] & 0x0F) * 4;
            if (ihl < 20 || ihl + 8 > len || buf[9] != 17)
                continue;
            if (be16(&buf[ihl]) != m_port)
                continue;
            m_delivered++;
            m_sink(buf.data(), len);
        }
    }
}

} // namespace testrelay
