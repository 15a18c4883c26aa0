#pragma once
// A relay server for tests and for trying the client locally: it speaks the
// tunnel datagram format as the service's relays do, strictly (every header
// field, the carried IPv4 packet and the ConnID are checked; anything wrong is
// rejected and counted, never answered), and answers in each form the engine
// must handle:
//   - UDP to any port but 53: the UDP payload comes back bare (protocol 17),
//     tagged with the flow's ConnID (an echo, or what a responder returns);
//   - UDP to port 53: a DNS response built from configurable A/CNAME records;
//   - TCP: a complete IPv4/TCP packet with valid checksums (SYN -> SYN/ACK,
//     data -> the data echoed with ACK);
//   - acknowledgement mode: 40-byte headers with the relay's own sequence
//     numbers, the highest sequence received and the 128-bit receive bitmap,
//     a scripted drop/reorder policy, and acknowledgement-only datagrams.
// Keepalives are checked byte for byte and counted.
//
// Plain C++17 with POSIX sockets (no Qt), so the engine's fuzz and benchmark
// builds can use it too. One thread per relay; every public method is
// thread-safe.

#include <stddef.h>
#include <stdint.h>

#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace testrelay {

// The flow identifier both sides compute from the inner packet's addresses and
// ports as they lie in the packet (bytes read little-endian), mod 2^32.
uint32_t connIdFor(const uint8_t srcAddr[4], const uint8_t srcPort[2], const uint8_t dstAddr[4],
                   const uint8_t dstPort[2]);

// The console gateway's flow identifier: 32-bit FNV-1a over the source
// address (last byte first), the source port (low byte first, as a host-order
// number), the destination address and port the same way, and the protocol.
uint32_t consoleConnIdFor(const uint8_t srcAddr[4], const uint8_t srcPort[2], const uint8_t dstAddr[4],
                          const uint8_t dstPort[2], uint8_t proto);

// A data datagram as a correct PC client builds it around a whole IPv4 packet
// (UDP or TCP, as the relay checks it): a 16-byte header, or the 40-byte one
// carrying the sequence number when seq is not 0. Empty when the packet is too
// short to carry its ports.
std::vector<uint8_t> clientDatagram(const std::vector<uint8_t> &inner, uint32_t seq = 0);

// RFC 1071 sum over an IPv4 header / with a pseudo header for UDP and TCP.
uint16_t ipv4HeaderChecksum(const uint8_t *header, size_t len);
uint16_t transportChecksum(const uint8_t srcAddr[4], const uint8_t dstAddr[4], uint8_t proto,
                           const uint8_t *segment, size_t len);

// What the relay does with one received data datagram in acknowledgement mode.
enum class AckAction {
    Deliver, // received and answered
    Drop,    // lost on the way: neither recorded as received nor answered
    Hold,    // arrives late: processed right after the next datagram
};

struct DnsAnswer
{
    std::vector<std::string> cnames;    // CNAME chain, first target first
    std::vector<std::string> addresses; // dotted IPv4 A records (for the last name)
    bool nxdomain = false;
};

// One flow as the relay saw it.
struct RelayFlow
{
    uint32_t connId = 0;
    uint8_t proto = 0;
    uint8_t srcAddr[4] = {};
    uint8_t dstAddr[4] = {};
    uint16_t srcPort = 0;    // host order
    uint16_t dstPort = 0;    // host order
    uint32_t clientAddr = 0; // network order, where the datagram came from
    uint16_t clientPort = 0; // host order
    uint64_t datagrams = 0;
};

struct RelayStats
{
    uint64_t datagrams = 0;     // every datagram that reached the socket
    uint64_t bytes = 0;         // their UDP payload bytes
    uint64_t accepted = 0;      // data datagrams that passed every check
    uint64_t rejected = 0;      // datagrams that failed a check
    uint64_t keepalives = 0;    // valid keepalives
    uint64_t replies = 0;       // datagrams the relay sent
    uint64_t replyBytes = 0;    // their UDP payload bytes
    uint64_t ackOnly = 0;       // of them acknowledgement-only
    uint64_t withAckHeader = 0; // data datagrams that carried the 40-byte header
    uint64_t dropped = 0;       // data datagrams dropped by the policy
    uint64_t dnsQueries = 0;
    uint64_t tcpSegments = 0;
    std::string lastRejection; // reason of the latest rejection
};

class TestRelay
{
public:
    struct Options
    {
        std::string address = "127.0.0.1";
        // Lets the relay bind an address that is not loopback: only for a
        // relay inside a network namespace a test made for itself.
        bool inPrivateNamespace = false;
        uint16_t port = 50000;
        bool ackMode = false;
        // In acknowledgement mode: answer every data datagram the relay
        // decides not to answer otherwise (dropped ones excluded) with an
        // acknowledgement-only datagram.
        bool ackOnlyForSilent = true;
        // UDP flows to these destination ports get no reply (the client then
        // learns about them from acknowledgement-only datagrams).
        std::set<uint16_t> silentPorts;
        // Serve the console gateway instead of the PC client: its datagrams
        // carry no flags (byte 0 = 0x10), a 16-byte header and the console
        // ConnID; keepalives are not part of its protocol.
        bool consoleClient = false;
    };

    TestRelay();
    explicit TestRelay(const Options &options);
    ~TestRelay();
    TestRelay(const TestRelay &) = delete;
    TestRelay &operator=(const TestRelay &) = delete;

    // Binds and starts the receive thread. False with errorString() set when
    // the address/port cannot be bound.
    bool start();
    void stop();
    bool isRunning() const { return m_running.load(); }
    std::string errorString() const;
    uint16_t boundPort() const { return m_boundPort; }

    // DNS records for a name (lower case, without the trailing dot).
    void setDnsAnswer(const std::string &name, const DnsAnswer &answer);
    // Replaces the UDP echo: given the flow and the payload, returns the
    // payload to send back (empty optional-like: return false to stay silent).
    using UdpResponder = std::function<bool(const RelayFlow &flow, const std::vector<uint8_t> &payload,
                                            std::vector<uint8_t> *reply)>;
    void setUdpResponder(UdpResponder responder);
    // Replaces the TCP answer (the relay's own handshake and echo): every
    // inner TCP packet goes to the forwarder as it came, to be handed to a
    // real server; that server's packets come back through carryTcpToClient.
    // Neither direction is changed on the way (no MSS clamp).
    using TcpForwarder = std::function<void(const RelayFlow &flow, const uint8_t *packet, size_t len)>;
    void setTcpForwarder(TcpForwarder forwarder);
    // Carries a complete IPv4/TCP packet from a server to the client whose
    // flow it answers (addresses and ports the flow's, reversed), unchanged,
    // tagged with that flow's ConnID. False when no such flow is known.
    bool carryTcpToClient(const uint8_t *packet, size_t len);
    // Acknowledgement-mode policy, asked once per data datagram carrying a
    // sequence number (by that number). Default: deliver everything.
    using AckPolicy = std::function<AckAction(uint32_t seq)>;
    void setAckPolicy(AckPolicy policy);
    // Convenience policies.
    static AckPolicy dropEvery(uint32_t n); // seq % n == 0 dropped
    static AckPolicy script(std::set<uint32_t> drop, std::set<uint32_t> hold);

    // Sends an acknowledgement-only datagram (protocol 0, 40-byte header) to
    // the client endpoint of the given flow. False when the flow is unknown.
    bool sendAckOnly(uint32_t connId);
    // Sends a raw datagram to a client endpoint (for tests of malformed input).
    bool sendRaw(uint32_t clientAddr, uint16_t clientPort, const std::vector<uint8_t> &datagram);

    RelayStats stats() const;
    std::vector<RelayFlow> flows() const;
    bool flow(uint32_t connId, RelayFlow *out) const;
    // Sequence numbers (from the client) the relay received / dropped.
    std::set<uint32_t> receivedSequences() const;
    std::set<uint32_t> droppedSequences() const;
    uint32_t highestReceived() const;
    // Datagrams the relay received (raw), newest last; bounded to the last 4096.
    std::vector<std::vector<uint8_t>> lastDatagrams() const;

    // Blocks until pred(stats) holds or timeoutMs passes; true when it held.
    bool waitFor(const std::function<bool(const RelayStats &)> &pred, int timeoutMs) const;

    // Checks one client datagram as the relay does; on failure returns false
    // with the reason. Exposed for the relay's own tests.
    static bool checkClientDatagram(const uint8_t *data, size_t len, std::string *reason,
                                    bool consoleClient = false);

private:
    struct PeerState;
    void run();
    void handleDatagram(const uint8_t *data, size_t len, uint32_t fromAddr, uint16_t fromPort);
    void processData(const std::vector<uint8_t> &dg, uint32_t fromAddr, uint16_t fromPort);
    // Sends a reply datagram to the client of a known flow; caller holds m_mutex.
    bool replyToFlow(uint32_t connId, uint8_t proto, const uint8_t *payload, size_t len);
    void reply(uint32_t toAddr, uint16_t toPort, uint8_t proto, const uint8_t dstPort[2], uint32_t connId,
               const uint8_t dstAddr[4], const uint8_t *payload, size_t len);
    void sendDatagram(uint32_t toAddr, uint16_t toPort, const std::vector<uint8_t> &dg);
    bool buildDnsReply(const uint8_t *query, size_t len, std::vector<uint8_t> *out);
    void buildTcpReply(const uint8_t *ip, size_t len, std::vector<uint8_t> *out);
    void reject(const std::string &reason);
    PeerState &peer(uint32_t addr, uint16_t port);

    Options m_options;
    int m_fd = -1;
    int m_wakeFd[2] = {-1, -1};
    uint16_t m_boundPort = 0;
    std::thread m_thread;
    std::atomic<bool> m_running{false};

    mutable std::mutex m_mutex;
    std::string m_error;
    RelayStats m_stats;
    std::map<uint32_t, RelayFlow> m_flows;
    std::map<std::string, DnsAnswer> m_dns;
    UdpResponder m_udpResponder;
    TcpForwarder m_tcpForwarder;
    AckPolicy m_ackPolicy;
    std::map<uint64_t, PeerState *> m_peers;
    std::set<uint32_t> m_received;
    std::set<uint32_t> m_dropped;
    std::deque<std::vector<uint8_t>> m_log;
    std::vector<uint8_t> m_held;
    uint32_t m_heldAddr = 0;
    uint16_t m_heldPort = 0;
    bool m_hasHeld = false;
    uint32_t m_tcpSeq = 0x10000000;
};

// Copies every IPv4 UDP packet with a given source port that reaches this
// host (a raw socket, root only) to a callback, as complete IPv4 packets. It
// stands in for the capture of the relays' replies when the capture backend
// is simulated but the datagrams travel over the real loopback.
class WireTap
{
public:
    using Sink = std::function<void(const uint8_t *packet, size_t len)>;
    WireTap() = default;
    ~WireTap();
    bool start(uint16_t sourcePort, Sink sink, std::string *error = nullptr);
    void stop();
    uint64_t delivered() const { return m_delivered.load(); }

private:
    void run();
    int m_fd = -1;
    int m_wakeFd[2] = {-1, -1};
    uint16_t m_port = 0;
    Sink m_sink;
    std::thread m_thread;
    std::atomic<uint64_t> m_delivered{0};
};

} // namespace testrelay
