#pragma once
// Makes the simulated capture look like a real host to nslookup. The tool asks
// a "resolver" on 127.0.0.1 that knows nothing itself: each query it gets is
// handed to the capture as an application's outbound packet to a DNS server,
// and each DNS answer the engine delivers to the local stack is handed back
// to the tool. An answer therefore exists only if the engine tunnelled the
// query and the relay answered it.

#include "platform/capture/capture_sim.h"
#include "platform/capture/packet.h"

#include <QByteArray>
#include <QHostAddress>
#include <QMetaObject>
#include <QUdpSocket>

#include <arpa/inet.h>
#include <atomic>
#include <cstring>
#include <thread>

class DnsTunnelBridge
{
public:
    // The addresses the query packets carry inside the simulation.
    static constexpr const char *kAppAddress = "127.0.0.2";
    static constexpr const char *kResolverAddress = "127.0.0.53";

    ~DnsTunnelBridge() { stop(); }

    bool start()
    {
        if (!m_socket.bind(QHostAddress(QHostAddress::LocalHost), 0))
            return false;
        QObject::connect(&m_socket, &QUdpSocket::readyRead, &m_socket, [this] { forwardQueries(); });
        m_running = true;
        m_reader = std::thread([this] { readAnswers(); });
        return true;
    }

    void stop()
    {
        m_running = false;
        if (m_reader.joinable())
            m_reader.join();
    }

    quint16 port() const { return m_socket.localPort(); }
    int queriesForwarded() const { return m_forwarded.load(); }
    int answersReturned() const { return m_returned.load(); }

private:
    void forwardQueries()
    {
        while (m_socket.hasPendingDatagrams()) {
            QHostAddress from;
            quint16 fromPort = 0;
            QByteArray query(int(m_socket.pendingDatagramSize()), Qt::Uninitialized);
            const qint64 n = m_socket.readDatagram(query.data(), query.size(), &from, &fromPort);
            if (n <= 0 || from != QHostAddress(QHostAddress::LocalHost))
                continue;
            query.truncate(int(n));
            const QByteArray packet = udpPacket(kAppAddress, fromPort, kResolverAddress, 53, query);
            quorlix_capsim_push_outbound(packet.constData(), size_t(packet.size()), 1);
            ++m_forwarded;
        }
    }

    void readAnswers()
    {
        uint8_t buf[65536];
        while (m_running) {
            size_t len = 0;
            if (quorlix_capsim_take(QUORLIX_CAPSIM_STACK, buf, sizeof buf, &len, nullptr, 50) != 1)
                continue;
            if (len < 28 || (buf[0] >> 4) != 4 || buf[9] != 17)
                continue;
            const size_t ihl = size_t(buf[0] & 0x0F) * 4;
            if (len < ihl + 8)
                continue;
            const uint16_t sport = uint16_t(buf[ihl] << 8 | buf[ihl + 1]);
            const uint16_t dport = uint16_t(buf[ihl + 2] << 8 | buf[ihl + 3]);
            if (sport != 53)
                continue;
            const QByteArray answer(reinterpret_cast<const char *>(buf + ihl + 8), int(len - ihl - 8));
            ++m_returned;
            QMetaObject::invokeMethod(&m_socket, [this, answer, dport] {
                m_socket.writeDatagram(answer, QHostAddress(QHostAddress::LocalHost), dport);
            });
        }
    }

    static QByteArray udpPacket(const char *src, quint16 sport, const char *dst, quint16 dport,
                                const QByteArray &payload)
    {
        QByteArray p(28 + payload.size(), '\0');
        uint8_t *b = reinterpret_cast<uint8_t *>(p.data());
        b[0] = 0x45;
        b[2] = uint8_t(p.size() >> 8);
        b[3] = uint8_t(p.size());
        b[8] = 64;
        b[9] = 17;
        const uint32_t s = inet_addr(src), d = inet_addr(dst);
        std::memcpy(b + 12, &s, 4);
        std::memcpy(b + 16, &d, 4);
        b[20] = uint8_t(sport >> 8);
        b[21] = uint8_t(sport);
        b[22] = uint8_t(dport >> 8);
        b[23] = uint8_t(dport);
        b[24] = uint8_t((8 + payload.size()) >> 8);
        b[25] = uint8_t(8 + payload.size());
        std::memcpy(b + 28, payload.constData(), size_t(payload.size()));
        quorlix_packet_calc_checksums(b, size_t(p.size()));
        return p;
    }

    QUdpSocket m_socket;
    std::thread m_reader;
    std::atomic<bool> m_running{false};
    std::atomic<int> m_forwarded{0};
    std::atomic<int> m_returned{0};
};
