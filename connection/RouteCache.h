#pragma once
// Keeps a finished sweep's results per game, region and network, so opening
// the same game on the same network can use them without sweeping again.

#include <QString>

class DatabaseManager;

namespace RouteCache {

// game id + "|" + region + "|" + network fingerprint.
QString cacheKey(const QString &gameId, const QString &region, const QString &fingerprint);

// The whole text of the results file; empty when it cannot be read.
QString readPingsText(const QString &path);

// The file's "updated_at" when it is a non-empty string, else now (UTC, ISO 8601).
QString updatedAt(const QString &pingsText);

// Stores `pingsText` for the game named `title` (its id, else the trimmed
// title) and `region` on the network `fingerprint`, replacing an older entry.
// Nothing is stored for an empty text or without a database.
bool storeSweep(DatabaseManager *db, const QString &title, const QString &region, const QString &pingsText,
                const QString &fingerprint);

} // namespace RouteCache
