#include "support/TestNet.h"

#include <QTest>
#include <QtGlobal>

namespace TestNet {

bool isLoopbackAddress(const QHostAddress &address)
{
    if (address.isNull())
        return false;
    bool ok = false;
    const quint32 v4 = address.toIPv4Address(&ok);
    if (ok)
        return (v4 >> 24) == 127;
    return address == QHostAddress(QHostAddress::LocalHostIPv6);
}

bool isLoopbackHost(const QString &host)
{
    QString h = host.trimmed();
    if (h.startsWith(QLatin1Char('[')) && h.endsWith(QLatin1Char(']')))
        h = h.mid(1, h.size() - 2);
    if (h.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    return isLoopbackAddress(QHostAddress(h));
}

bool isLoopbackUrl(const QUrl &url)
{
    return url.isValid() && !url.host().isEmpty() && isLoopbackHost(url.host());
}

bool requireLoopback(const QUrl &url, const char *file, int line)
{
    if (isLoopbackUrl(url))
        return true;
    const QByteArray msg = "test network rule: " + url.toString().toUtf8() + " is not on loopback";
    QTest::qFail(msg.constData(), file, line);
    return false;
}

bool requireLoopback(const QHostAddress &address, const char *file, int line)
{
    if (isLoopbackAddress(address))
        return true;
    const QByteArray msg = "test network rule: " + address.toString().toUtf8() + " is not on loopback";
    QTest::qFail(msg.constData(), file, line);
    return false;
}

bool environmentOriginsAreLoopback(QString *offender)
{
    for (const char *name : {"QUORLIX_SERVICE_ORIGIN", "QUORLIX_DISCORD_ORIGIN", "QUORLIX_GEO_ORIGIN",
                             "QUORLIX_SITE_ORIGIN", "QUORLIX_COMMUNITY_INVITE"}) {
        const QString value = qEnvironmentVariable(name);
        if (!value.isEmpty() && !isLoopbackUrl(QUrl(value))) {
            if (offender)
                *offender = QString::fromLatin1(name) + QLatin1Char('=') + value;
            return false;
        }
    }
    return true;
}

} // namespace TestNet
