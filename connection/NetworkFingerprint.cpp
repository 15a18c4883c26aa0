#include "connection/NetworkFingerprint.h"

#include <QCryptographicHash>
#include <QNetworkInterface>

QList<NetworkInterfaceInfo> systemNetworkInterfaces()
{
    QList<NetworkInterfaceInfo> out;
    const QList<QNetworkInterface> all = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &iface : all) {
        NetworkInterfaceInfo info;
        info.name = iface.humanReadableName();
        info.hardwareAddress = iface.hardwareAddress();
        const QNetworkInterface::InterfaceFlags flags = iface.flags();
        info.up = flags.testFlag(QNetworkInterface::IsUp);
        info.running = flags.testFlag(QNetworkInterface::IsRunning);
        info.loopback = flags.testFlag(QNetworkInterface::IsLoopBack);
        for (const QNetworkAddressEntry &entry : iface.addressEntries())
            info.addresses << entry.ip();
        out << info;
    }
    return out;
}

QString networkFingerprintText(const QList<NetworkInterfaceInfo> &interfaces)
{
    QString name, mac, ipv4;
    for (const NetworkInterfaceInfo &iface : interfaces) {
        if (iface.loopback || !iface.up || !iface.running)
            continue;
        name = iface.name.trimmed();
        mac = iface.hardwareAddress.trimmed();
        for (const QHostAddress &address : iface.addresses) {
            if (address.protocol() == QAbstractSocket::IPv4Protocol && !address.isLoopback()) {
                ipv4 = address.toString();
                break;
            }
        }
        // The first qualifying interface decides, with or without an IPv4 address.
        break;
    }
    return name + QLatin1Char('|') + mac + QLatin1Char('|') + ipv4;
}

QString networkFingerprint(const QList<NetworkInterfaceInfo> &interfaces)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(networkFingerprintText(interfaces).toUtf8(), QCryptographicHash::Sha1)
            .toHex());
}

QString networkFingerprint(const NetworkInterfaceLister &lister)
{
    return networkFingerprint(lister ? lister() : systemNetworkInterfaces());
}
