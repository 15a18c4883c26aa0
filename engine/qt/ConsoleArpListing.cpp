#include "engine/qt/ConsoleArpListing.h"

#include <QHostAddress>
#include <QRegularExpression>
#include <QStringList>

namespace ConsoleArpListing {

namespace {

// The first dotted-quad address of a listing line, or a null address. Digits
// or dots right beside it belong to something longer (10.172.22.5 is not
// 172.22.5.x), so the match must stand alone.
QHostAddress firstAddress(const QString &line)
{
    static const QRegularExpression re(QStringLiteral("(?<![\\d.])(\\d{1,3}(?:\\.\\d{1,3}){3})(?![\\d.])"));
    const QRegularExpressionMatch m = re.match(line);
    if (!m.hasMatch())
        return QHostAddress();
    QHostAddress address;
    if (!address.setAddress(m.captured(1)) || address.protocol() != QAbstractSocket::IPv4Protocol)
        return QHostAddress();
    return address;
}

} // namespace

bool showsConsole(const QString &listing, const QString &localAddress, const QString &gateway)
{
    static const QRegularExpression sectionAddress(QStringLiteral("(\\d{1,3}(?:\\.\\d{1,3}){3})"));
    static const QHostAddress consoleNet(QStringLiteral("172.22.0.0"));
    const QHostAddress gatewayAddress(gateway);
    QString section;
    const QStringList lines = listing.split(QLatin1Char('\n'));
    for (const QString &raw : lines) {
        const QString line = raw.trimmed();
        if (line.isEmpty())
            continue;
        if (line.startsWith(QLatin1String("Interface:"), Qt::CaseInsensitive)) {
            section = sectionAddress.match(line).captured(1);
            continue;
        }
        if (!localAddress.isEmpty() && !section.isEmpty() && localAddress != section)
            continue; // another adapter's entries
        const QHostAddress address = firstAddress(line);
        if (address.isNull() || !address.isInSubnet(consoleNet, 16) || address == gatewayAddress)
            continue;
        if (line.contains(QLatin1String("dynamic"), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

} // namespace ConsoleArpListing
