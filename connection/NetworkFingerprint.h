#pragma once
// Identifies the network the PC is on, so that measured relay pings are kept
// and looked up per network: a SHA-1 over the first active, non-loopback
// interface's name, hardware address and IPv4 address. It is only ever
// compared with itself, so any stable interface description serves.

#include <QHostAddress>
#include <QList>
#include <QString>

#include <functional>

struct NetworkInterfaceInfo
{
    QString name;            // human-readable name
    QString hardwareAddress; // as the platform spells it
    bool up = false;
    bool running = false;
    bool loopback = false;
    QList<QHostAddress> addresses; // in the platform's order
};

using NetworkInterfaceLister = std::function<QList<NetworkInterfaceInfo>()>;

// The host's interfaces in the platform's order (QNetworkInterface).
QList<NetworkInterfaceInfo> systemNetworkInterfaces();

// The "name|MAC|IPv4" text the fingerprint hashes ("||" when no interface
// qualifies).
QString networkFingerprintText(const QList<NetworkInterfaceInfo> &interfaces);
// 40 lower-case hex digits.
QString networkFingerprint(const QList<NetworkInterfaceInfo> &interfaces);
QString networkFingerprint(const NetworkInterfaceLister &lister = NetworkInterfaceLister());
