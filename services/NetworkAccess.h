#pragma once
// Every network access manager of the service code is made here, so a test can
// hand out managers that refuse anything but loopback and record offenders.

#include <QNetworkAccessManager>

#include <functional>

namespace NetworkAccess {

using Factory = std::function<QNetworkAccessManager *(QObject *parent)>;

// A new manager owned by parent, from the installed factory (a plain
// QNetworkAccessManager when none is installed).
QNetworkAccessManager *createManager(QObject *parent);
// Installs a factory for the whole process; an empty one restores the default.
void setFactory(Factory factory);

} // namespace NetworkAccess
