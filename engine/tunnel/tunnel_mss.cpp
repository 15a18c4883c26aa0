#include "engine/tunnel/tunnel_mss.h"

#include "platform/capture/packet.h"

uint16_t tunnel_mss_clamp(uint8_t *pkt, size_t len, uint8_t *tcp, size_t tcp_header_len)
{
    if (!pkt || !tcp || tcp_header_len < 20 || tcp < pkt || size_t(tcp - pkt) + tcp_header_len > len)
        return 0;
    if (!(tcp[13] & 0x02))
        return 0;
    const size_t optLen = tcp_header_len - 20;
    uint8_t *opt = tcp + 20;
    size_t i = 0;
    while (i < optLen) {
        const uint8_t kind = opt[i];
        if (kind == 0)
            return 0;
        if (kind == 1) {
            ++i;
            continue;
        }
        if (i + 1 >= optLen)
            return 0;
        const uint8_t olen = opt[i + 1];
        if (olen < 2 || i + olen > optLen)
            return 0;
        if (kind == 2 && olen == 4) {
            const uint16_t mss = uint16_t((opt[i + 2] << 8) | opt[i + 3]);
            if (mss <= TUNNEL_MSS_CLAMP)
                return 0;
            opt[i + 2] = uint8_t(TUNNEL_MSS_CLAMP >> 8);
            opt[i + 3] = uint8_t(TUNNEL_MSS_CLAMP & 0xFF);
            quorlix_packet_calc_checksums(pkt, len);
            return mss;
        }
        i += olen;
    }
    return 0;
}
