#pragma once
// Builds IPv4 test packets byte by byte (independently of the code under test)
// so parser, checksum and filter tests can state their inputs plainly.

#include <QByteArray>
#include <QHostAddress>
#include <QString>
#include <stdint.h>

namespace testpkt {

inline void put16(QByteArray &b, int off, uint16_t v)
{
    b[off] = char(v >> 8);
    b[off + 1] = char(v & 0xFF);
}

inline void putAddr(QByteArray &b, int off, const QString &dotted)
{
    quint32 a = QHostAddress(dotted).toIPv4Address();
    b[off] = char(a >> 24);
    b[off + 1] = char(a >> 16);
    b[off + 2] = char(a >> 8);
    b[off + 3] = char(a);
}

// Reference Internet checksum, written the plain way.
inline uint16_t refChecksum(const QByteArray &data, uint32_t sum = 0)
{
    for (int i = 0; i + 1 < data.size(); i += 2)
        sum += (uint8_t(data[i]) << 8) | uint8_t(data[i + 1]);
    if (data.size() % 2)
        sum += uint8_t(data[data.size() - 1]) << 8;
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return uint16_t(~sum);
}

// IPv4 header (20 bytes, no options) + transport bytes, total length and
// protocol set; checksum left 0.
inline QByteArray ipv4(uint8_t proto, const QString &src, const QString &dst, const QByteArray &l4)
{
    QByteArray b(20, '\0');
    b[0] = char(0x45);
    put16(b, 2, uint16_t(20 + l4.size()));
    b[8] = char(64);
    b[9] = char(proto);
    putAddr(b, 12, src);
    putAddr(b, 16, dst);
    return b + l4;
}

inline QByteArray udp(const QString &src, uint16_t sp, const QString &dst, uint16_t dp,
                      const QByteArray &payload = QByteArray("hello"))
{
    QByteArray l4(8, '\0');
    put16(l4, 0, sp);
    put16(l4, 2, dp);
    put16(l4, 4, uint16_t(8 + payload.size()));
    return ipv4(17, src, dst, l4 + payload);
}

inline QByteArray tcp(const QString &src, uint16_t sp, const QString &dst, uint16_t dp,
                      const QByteArray &payload = QByteArray("data"), uint8_t flags = 0x18)
{
    QByteArray l4(20, '\0');
    put16(l4, 0, sp);
    put16(l4, 2, dp);
    l4[12] = char(5 << 4);
    l4[13] = char(flags);
    put16(l4, 14, 65535);
    return ipv4(6, src, dst, l4 + payload);
}

inline const uint8_t *bytes(const QByteArray &b)
{
    return reinterpret_cast<const uint8_t *>(b.constData());
}

} // namespace testpkt
