// fuzz-sources: engine/qt/ConsoleArpListing.cpp
// fuzz-pkg: Qt6Core Qt6Network
//
// The console watcher's reading of an ARP listing, on hostile tool output:
// any bytes, decoded as the tool's output is, with each kind of local
// address. A listing can show a console only when it names one.

#include "engine/qt/ConsoleArpListing.h"

#include <QByteArray>
#include <QString>

#include <stdlib.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const QString listing =
        QString::fromLocal8Bit(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    static const QString locals[] = {QString(), QStringLiteral("192.168.1.10"),
                                     QStringLiteral("172.22.255.34"), QStringLiteral("not an address")};
    const QString &local = locals[data[0] % 4];
    const QString gateway = (data[0] & 0x10) ? QString() : QStringLiteral("172.22.255.34");

    const bool shows = ConsoleArpListing::showsConsole(listing, local, gateway);
    if (shows && (!listing.contains(QLatin1String("172.22.")) ||
                  !listing.contains(QLatin1String("dynamic"), Qt::CaseInsensitive)))
        abort();
    // Searching the whole listing never finds less than searching one section.
    if (shows && !ConsoleArpListing::showsConsole(listing, QString(), gateway))
        abort();
    return 0;
}
