#pragma once
// Packet builders shared by the engine tests and benchmarks: IPv4 packets
// with valid checksums, UDP inside them, and a DNS query. Header-only and
// Qt-free, so Qt-free benchmark builds can use it too.

#include "platform/capture/packet.h"

#include <arpa/inet.h>
#include <stdint.h>
#include <string.h>

#include <vector>

namespace testpackets {

using Bytes = std::vector<uint8_t>;

// An IPv4 packet around the transport bytes, with `options` bytes of NOP
// options in its header.
inline Bytes ipv4(const char *src, const char *dst, uint8_t proto, const Bytes &transport, size_t options = 0)
{
    const size_t ihl = 20 + options;
    Bytes p(ihl + transport.size(), 0);
    p[0] = uint8_t(0x40 | (ihl / 4));
    p[2] = uint8_t(p.size() >> 8);
    p[3] = uint8_t(p.size());
    p[8] = 64;
    p[9] = proto;
    const uint32_t s = inet_addr(src), d = inet_addr(dst);
    memcpy(&p[12], &s, 4);
    memcpy(&p[16], &d, 4);
    for (size_t i = 0; i < options; ++i)
        p[20 + i] = 1;
    if (!transport.empty())
        memcpy(p.data() + ihl, transport.data(), transport.size());
    quorlix_packet_calc_checksums(p.data(), p.size());
    return p;
}

inline Bytes udp(const char *src, uint16_t sport, const char *dst, uint16_t dport, const Bytes &payload,
                 size_t ipOptions = 0)
{
    Bytes t(8 + payload.size(), 0);
    t[0] = uint8_t(sport >> 8);
    t[1] = uint8_t(sport);
    t[2] = uint8_t(dport >> 8);
    t[3] = uint8_t(dport);
    t[4] = uint8_t(t.size() >> 8);
    t[5] = uint8_t(t.size());
    if (!payload.empty())
        memcpy(&t[8], payload.data(), payload.size());
    return ipv4(src, dst, 17, t, ipOptions);
}

// A TCP segment (sequence 1, window 65535) with options padded to whole words.
inline Bytes tcp(const char *src, uint16_t sport, const char *dst, uint16_t dport, uint8_t flags,
                 const Bytes &options = {}, const Bytes &payload = {})
{
    const size_t optLen = (options.size() + 3) / 4 * 4;
    Bytes t(20 + optLen + payload.size(), 0);
    t[0] = uint8_t(sport >> 8);
    t[1] = uint8_t(sport);
    t[2] = uint8_t(dport >> 8);
    t[3] = uint8_t(dport);
    t[7] = 1; // sequence 1
    t[12] = uint8_t(((20 + optLen) / 4) << 4);
    t[13] = flags;
    t[14] = 0xFF;
    t[15] = 0xFF;
    if (!options.empty())
        memcpy(&t[20], options.data(), options.size());
    if (!payload.empty())
        memcpy(&t[20 + optLen], payload.data(), payload.size());
    return ipv4(src, dst, 6, t);
}

// A standard recursive query for the A record of `name` (dotted text).
inline Bytes dnsQuery(uint16_t id, const char *name)
{
    Bytes q = {uint8_t(id >> 8), uint8_t(id), 0x01, 0x00, 0, 1, 0, 0, 0, 0, 0, 0};
    const char *p = name;
    while (*p) {
        const char *dot = strchr(p, '.');
        const size_t n = dot ? size_t(dot - p) : strlen(p);
        q.push_back(uint8_t(n));
        q.insert(q.end(), p, p + n);
        p += n + (dot ? 1 : 0);
    }
    q.push_back(0);
    q.insert(q.end(), {0, 1, 0, 1});
    return q;
}

} // namespace testpackets
