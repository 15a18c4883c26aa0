#pragma once
// A DNS responder on 127.0.0.1 for tests: answers A questions for every name
// with one address, or NXDOMAIN, or stays silent. Header-only, event-loop
// driven (QUdpSocket).

#include "support/TestNet.h"

#include <QByteArray>
#include <QHostAddress>
#include <QStringList>
#include <QUdpSocket>

class TinyDnsServer
{
public:
    enum class Mode { Answer, NxDomain, Silent };

    bool start()
    {
        if (!m_socket.bind(QHostAddress(QHostAddress::LocalHost), 0))
            return false;
        QObject::connect(&m_socket, &QUdpSocket::readyRead, &m_socket, [this] { readAll(); });
        return true;
    }
    quint16 port() const { return m_socket.localPort(); }
    void setMode(Mode mode) { m_mode = mode; }
    void setAddress(const QHostAddress &address) { m_address = address; }
    int queries() const { return m_names.size(); }
    QStringList names() const { return m_names; }

    // The question name of a DNS message (empty when it does not parse).
    static QString questionName(const QByteArray &m, int *end = nullptr)
    {
        QString name;
        int pos = 12;
        while (pos < m.size()) {
            const int len = quint8(m.at(pos++));
            if (len == 0) {
                if (end)
                    *end = pos;
                return name;
            }
            if (len >= 64 || pos + len > m.size())
                return QString();
            if (!name.isEmpty())
                name += QLatin1Char('.');
            name += QString::fromLatin1(m.mid(pos, len)).toLower();
            pos += len;
        }
        return QString();
    }

    // The reply to `query` in `mode` (A questions get `address`; others get
    // an empty NOERROR answer).
    static QByteArray reply(const QByteArray &query, Mode mode, const QHostAddress &address)
    {
        int end = 0;
        if (query.size() < 12 || questionName(query, &end).isEmpty() || end + 4 > query.size())
            return QByteArray();
        const int qtype = (quint8(query.at(end)) << 8) | quint8(query.at(end + 1));
        QByteArray out = query.left(end + 4);
        out[2] = char(0x80 | (query.at(2) & 0x01));
        out[3] = char(mode == Mode::NxDomain ? 0x83 : 0x80);
        out[4] = 0;
        out[5] = 1;
        const bool answer = mode == Mode::Answer && qtype == 1;
        out[6] = 0;
        out[7] = answer ? 1 : 0;
        out[8] = out[9] = out[10] = out[11] = 0;
        if (answer) {
            const char fixed[] = {char(0xC0), 0x0C, 0, 1, 0, 1, 0, 0, 0, 60, 0, 4};
            out.append(fixed, sizeof fixed);
            const quint32 a = address.toIPv4Address();
            const char bytes[] = {char(a >> 24), char(a >> 16), char(a >> 8), char(a)};
            out.append(bytes, 4);
        }
        return out;
    }

private:
    void readAll()
    {
        while (m_socket.hasPendingDatagrams()) {
            QHostAddress from;
            quint16 fromPort = 0;
            QByteArray query(int(m_socket.pendingDatagramSize()), Qt::Uninitialized);
            const qint64 n = m_socket.readDatagram(query.data(), query.size(), &from, &fromPort);
            if (n < 12 || !TestNet::isLoopbackAddress(from))
                continue;
            query.truncate(int(n));
            m_names << questionName(query);
            if (m_mode == Mode::Silent)
                continue;
            const QByteArray r = reply(query, m_mode, m_address);
            if (!r.isEmpty())
                m_socket.writeDatagram(r, from, fromPort);
        }
    }

    QUdpSocket m_socket;
    Mode m_mode = Mode::Answer;
    QHostAddress m_address{QStringLiteral("198.51.100.7")};
    QStringList m_names;
};
