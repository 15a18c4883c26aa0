#pragma once
// What the window and page tests share: the names the client's stores run
// under, a fresh cache database in the test's own temporary folder, and
// intervals short enough that no test waits on the client's own.

#include "storage/DatabaseManager.h"
#include "support/ClientNames.h"
#include "ui/mainwindow/WindowIntervals.h"

#include <QCoreApplication>
#include <QDir>
#include <QString>

namespace WindowFixture {

// Organisation and application "Quorlix", as the client sets them at start.
using ::useClientNames;

// Opens the cache database in the folder `name` under the test's temporary
// folder (QUORLIX_TEST_TMP), making the folder first; false when it cannot.
inline bool openDatabase(const QString &name = QStringLiteral("db"))
{
    const QString folder = qEnvironmentVariable("QUORLIX_TEST_TMP") + QLatin1Char('/') + name;
    QDir().mkpath(folder);
    return DatabaseManager::instance()->initialize(folder);
}

// The first heartbeat and the promotion's second look after 10 ms; a test
// shortens whatever else it waits on.
inline WindowIntervals shortIntervals()
{
    WindowIntervals intervals;
    intervals.firstHeartbeatMs = 10;
    intervals.promoRefreshMs = 10;
    return intervals;
}

// shortIntervals, and every step, text and tick of the connect flow after
// 10 ms; the window closes 50 ms after the close request.
inline WindowIntervals connectIntervals()
{
    WindowIntervals intervals = shortIntervals();
    intervals.closeDelayMs = 50;
    intervals.failoverRetryMs = 10;
    intervals.verifyDelayMs = 10;
    intervals.noServerTextMs = 10;
    intervals.connectFailureMs = 10;
    intervals.noPortsTextMs = 10;
    intervals.livePingMs = 10;
    intervals.packetLossMs = 10;
    intervals.packetLossGraceMs = 10;
    return intervals;
}

} // namespace WindowFixture
