#include "engine/console/console_packet.h"

#include "engine/common/tunnel_header.h"

namespace {

uint32_t sumWords(const uint8_t *p, size_t len, uint32_t sum)
{
    size_t i = 0;
    for (; i + 1 < len; i += 2)
        sum += (uint32_t(p[i]) << 8) | p[i + 1];
    if (i < len)
        sum += uint32_t(p[i]) << 8;
    return sum;
}

uint16_t fold(uint32_t sum)
{
    while (sum >> 16)
        sum = (sum & 0xFFFFu) + (sum >> 16);
    return uint16_t(~sum);
}

// A version-4 header whose total length fits len and covers its header.
bool soundHeader(const uint8_t *p, size_t len)
{
    if (len < 20 || (p[0] >> 4) != 4 || (p[0] & 0x0F) < 5)
        return false;
    const size_t h = size_t(p[0] & 0x0F) * 4;
    const size_t total = tunnel_load_be16(p + 2);
    return h <= len && total >= h && total <= len;
}

} // namespace

uint16_t gateway_ip_checksum(const void *data, size_t len)
{
    return fold(sumWords(static_cast<const uint8_t *>(data), len, 0));
}

uint16_t gateway_transport_checksum(const uint8_t *ip, uint8_t proto, const uint8_t *seg, uint16_t seg_len)
{
    uint32_t sum = sumWords(ip + 12, 8, 0);
    sum += proto;
    sum += seg_len;
    return fold(sumWords(seg, seg_len, sum));
}

uint16_t gateway_tcp_checksum(const uint8_t *ip, const uint8_t *seg, uint16_t seg_len)
{
    return gateway_transport_checksum(ip, 6, seg, seg_len);
}

int gateway_ipv4_valid(const uint8_t *pkt, uint16_t len, uint8_t protocol)
{
    if (!pkt || !soundHeader(pkt, len))
        return 0;
    return protocol == 0 || protocol == pkt[9];
}

ConsoleFrameInfo gateway_parse_frame(const uint8_t *f, size_t len)
{
    ConsoleFrameInfo info = {};
    if (len >= 14) {
        info.ethernet = 1;
        uint16_t type = tunnel_load_be16(f + 12);
        size_t off = 14;
        if (type == 0x8100 && len >= 18) {
            info.tagged = 1;
            info.tci = tunnel_load_be16(f + 14);
            type = tunnel_load_be16(f + 16);
            off = 18;
        }
        if (type == 0x0800 && len >= off + 20 && soundHeader(f + off, len - off)) {
            info.ipv4 = 1;
            info.ip_offset = off;
            return info;
        }
    }
    // Not an Ethernet frame carrying IPv4: perhaps a bare packet. A bare
    // packet's first bytes are no MAC address to learn.
    if (soundHeader(f, len)) {
        ConsoleFrameInfo bare = {};
        bare.ipv4 = 1;
        return bare;
    }
    info.tagged = 0;
    info.tci = 0;
    return info;
}
