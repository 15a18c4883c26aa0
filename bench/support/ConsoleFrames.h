#pragma once
// A console's frame for the console engine benchmarks: Ethernet carrying an
// IPv4/UDP packet from 172.22.0.5:3074 to 203.0.113.50 (checksums left 0:
// the engine repairs them anyway).

#include <arpa/inet.h>
#include <stdint.h>
#include <string.h>
#include <vector>

// packetLen: the IPv4 packet's length (at least 28), dport its UDP port.
inline std::vector<uint8_t> consoleUdpFrame(size_t packetLen, uint16_t dport = 3075)
{
    const size_t n = packetLen;
    std::vector<uint8_t> f(14 + n, 0x61);
    const uint8_t dst[6] = {0x02, 0x02, 0x02, 0x02, 0x02, 0x02},
                  src[6] = {0x00, 0x22, 0x48, 0xAA, 0xBB, 0x01};
    memcpy(f.data(), dst, 6);
    memcpy(f.data() + 6, src, 6);
    f[12] = 0x08;
    f[13] = 0x00;
    uint8_t *ip = f.data() + 14;
    memset(ip, 0, 28);
    ip[0] = 0x45;
    ip[2] = uint8_t(n >> 8);
    ip[3] = uint8_t(n);
    ip[8] = 64;
    ip[9] = 17;
    const uint32_t s = inet_addr("172.22.0.5"), d = inet_addr("203.0.113.50");
    memcpy(ip + 12, &s, 4);
    memcpy(ip + 16, &d, 4);
    ip[20] = 0x0C;
    ip[21] = 0x02;
    ip[22] = uint8_t(dport >> 8);
    ip[23] = uint8_t(dport);
    ip[24] = uint8_t((n - 20) >> 8);
    ip[25] = uint8_t(n - 20);
    return f;
}
