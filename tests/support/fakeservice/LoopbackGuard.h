#pragma once
// Holds the service code to the test network rule: once installed, every
// network access manager the service code creates (NetworkAccess::createManager)
// sends a request only when its address is on loopback. Any other request is
// turned to a closed loopback port and remembered, so a test can fail on it.

#include <QList>
#include <QUrl>

namespace LoopbackGuard {

void install();
void uninstall();
bool isInstalled();

// Addresses with a host off loopback that a guarded manager was asked for.
QList<QUrl> violations();
// Every address a guarded manager was asked for.
QList<QUrl> seen();
void reset();

} // namespace LoopbackGuard
