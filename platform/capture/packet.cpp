#include "platform/capture/packet.h"

#include <string.h>

namespace {

uint16_t load16(const uint8_t *p)
{
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

void store16(uint8_t *p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}

uint32_t sum_words(const uint8_t *p, size_t len, uint32_t sum)
{
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    // The ones' complement sum does not care about byte order as long as it
    // is swapped back at the end (RFC 1071, 2.B), so the bytes are summed as
    // native 64-bit words with end-around carry: this runs over every byte
    // of every captured packet whose checksum the stack left to offload.
    uint64_t acc = 0;
    while (len >= 8) {
        uint64_t w;
        memcpy(&w, p, 8);
        acc += w;
        acc += acc < w ? 1 : 0;
        p += 8;
        len -= 8;
    }
    uint64_t tail = 0;
    memcpy(&tail, p, len); // the rest in the same lanes, zero-padded
    acc += tail;
    acc += acc < tail ? 1 : 0;
    while (acc >> 16)
        acc = (acc & 0xFFFFu) + (acc >> 16);
    const uint32_t swapped = ((acc & 0xFFu) << 8) | (acc >> 8);
    uint64_t total = uint64_t(swapped) + sum;
#else
    uint64_t total = sum;
    while (len >= 2) {
        total += static_cast<uint32_t>((p[0] << 8) | p[1]);
        p += 2;
        len -= 2;
    }
    if (len)
        total += static_cast<uint32_t>(p[0] << 8);
#endif
    while (total >> 16)
        total = (total & 0xFFFFu) + (total >> 16);
    return static_cast<uint32_t>(total);
}

uint32_t pseudo_header_sum(const uint8_t *ip, uint8_t protocol, uint32_t transport_len)
{
    uint32_t sum = sum_words(ip + 12, 8, 0); // source and destination address
    sum += protocol;
    sum += transport_len;
    return sum;
}

// Offset of the transport checksum for a parsed packet, or 0 when there is
// none we may compute (no transport header, or a fragment: its checksum spans
// bytes this packet does not hold).
size_t transport_checksum_offset(const quorlix_packet_view &v)
{
    if (v.fragment)
        return 0;
    if (v.tcp)
        return static_cast<size_t>(v.tcp - v.ip) + 16;
    if (v.udp)
        return static_cast<size_t>(v.udp - v.ip) + 6;
    return 0;
}

} // namespace

extern "C" int quorlix_packet_parse(const void *packet, size_t len, quorlix_packet_view *view)
{
    memset(view, 0, sizeof *view);
    if (!packet || len < 20)
        return 0;
    const uint8_t *p = static_cast<const uint8_t *>(packet);
    if ((p[0] >> 4) != 4)
        return 0;
    uint32_t ihl = static_cast<uint32_t>(p[0] & 0x0F) * 4u;
    uint32_t total = load16(p + 2);
    if (ihl < 20 || ihl > len || total < ihl || total > len)
        return 0;

    view->ip = p;
    view->ip_header_len = ihl;
    view->ip_total_len = total;
    view->protocol = p[9];
    uint16_t frag = load16(p + 6);
    bool more_fragments = (frag & 0x2000u) != 0;
    uint16_t offset = frag & 0x1FFFu;
    view->fragment = (more_fragments || offset != 0) ? 1 : 0;

    const uint8_t *l4 = p + ihl;
    uint32_t l4_len = total - ihl;
    view->payload = l4;
    view->payload_len = l4_len;
    if (offset != 0)
        return 1; // a later fragment carries no transport header

    if (view->protocol == 17 && l4_len >= 8) {
        view->udp = l4;
        view->payload = l4 + 8;
        view->payload_len = l4_len - 8;
    } else if (view->protocol == 6 && l4_len >= 20) {
        uint32_t doff = static_cast<uint32_t>(l4[12] >> 4) * 4u;
        if (doff >= 20 && doff <= l4_len) {
            view->tcp = l4;
            view->tcp_header_len = doff;
            view->payload = l4 + doff;
            view->payload_len = l4_len - doff;
        }
    }
    return 1;
}

extern "C" uint16_t quorlix_inet_checksum(const void *data, size_t len, uint32_t initial_sum)
{
    uint32_t sum = sum_words(static_cast<const uint8_t *>(data), len, initial_sum);
    while (sum >> 16)
        sum = (sum & 0xFFFFu) + (sum >> 16);
    return static_cast<uint16_t>(~sum & 0xFFFFu);
}

extern "C" int quorlix_packet_calc_checksums(void *packet, size_t len)
{
    quorlix_packet_view v;
    if (!quorlix_packet_parse(packet, len, &v))
        return 0;
    uint8_t *ip = static_cast<uint8_t *>(packet);
    store16(ip + 10, 0);
    store16(ip + 10, quorlix_inet_checksum(ip, v.ip_header_len, 0));

    size_t off = transport_checksum_offset(v);
    if (off) {
        uint32_t l4_len = v.ip_total_len - v.ip_header_len;
        uint8_t *l4 = ip + v.ip_header_len;
        store16(ip + off, 0);
        uint16_t c = quorlix_inet_checksum(l4, l4_len, pseudo_header_sum(ip, v.protocol, l4_len));
        if (v.udp && c == 0)
            c = 0xFFFF; // 0 would mean "no checksum" for UDP
        store16(ip + off, c);
    }
    return 1;
}

extern "C" int quorlix_packet_checksums_ok(const void *packet, size_t len)
{
    quorlix_packet_view v;
    if (!quorlix_packet_parse(packet, len, &v))
        return 0;
    const uint8_t *ip = static_cast<const uint8_t *>(packet);
    if (quorlix_inet_checksum(ip, v.ip_header_len, 0) != 0)
        return 0;
    size_t off = transport_checksum_offset(v);
    if (!off)
        return 1;
    if (v.udp && load16(ip + off) == 0)
        return 1;
    uint32_t l4_len = v.ip_total_len - v.ip_header_len;
    return quorlix_inet_checksum(ip + v.ip_header_len, l4_len, pseudo_header_sum(ip, v.protocol, l4_len)) ==
           0;
}
