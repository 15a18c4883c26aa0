// fuzz-sources: platform/capture/packet.cpp
//
// The IPv4/TCP/UDP packet views and checksum helpers on hostile bytes: every
// view stays inside the buffer, recomputed checksums always verify, and the
// fast sum agrees with the plain one.

#include "platform/capture/packet.h"

#include <stdlib.h>
#include <string.h>

namespace {
bool inside(const uint8_t *p, size_t n, const uint8_t *buf, size_t len)
{
    return p >= buf && n <= len && size_t(p - buf) <= len - n;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    uint8_t *buf = static_cast<uint8_t *>(malloc(size ? size : 1));
    memcpy(buf, data, size);
    quorlix_packet_view v;
    int ok = quorlix_packet_parse(buf, size, &v);
    if (ok) {
        if (!inside(v.ip, v.ip_total_len, buf, size) || v.ip_header_len < 20 ||
            v.ip_header_len > v.ip_total_len)
            abort();
        if (v.udp && !inside(v.udp, 8, buf, v.ip_total_len))
            abort();
        if (v.tcp && (!inside(v.tcp, v.tcp_header_len, buf, v.ip_total_len) || v.tcp_header_len < 20))
            abort();
        if (v.udp && v.tcp)
            abort();
        if (!inside(v.payload, v.payload_len, buf, v.ip_total_len) ||
            v.payload + v.payload_len != buf + v.ip_total_len)
            abort();
        if (quorlix_packet_calc_checksums(buf, size) != 1 || quorlix_packet_checksums_ok(buf, size) != 1)
            abort();
    } else if (v.ip || quorlix_packet_calc_checksums(buf, size) != 0) {
        abort();
    }
    // The word-at-a-time sum against the plain RFC 1071 loop, from any start
    // and over any length.
    for (size_t start = 0; start < 8 && start <= size; ++start) {
        uint64_t ref = uint32_t(size) & 0xFFFFFu;
        for (size_t i = start; i + 1 < size; i += 2)
            ref += uint32_t(buf[i] << 8 | buf[i + 1]);
        if ((size - start) % 2)
            ref += uint32_t(buf[size - 1] << 8);
        while (ref >> 16)
            ref = (ref & 0xFFFF) + (ref >> 16);
        if (quorlix_inet_checksum(buf + start, size - start, uint32_t(size) & 0xFFFFFu) != uint16_t(~ref))
            abort();
    }
    free(buf);
    return 0;
}
