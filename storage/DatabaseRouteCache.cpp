// The route_cache table: the last ping results per game, region and network.

#include "storage/DatabaseManager.h"

#include "storage/DatabaseSupport.h"

#include <QDebug>
#include <QMutexLocker>
#include <QSqlQuery>

using namespace DatabaseSupport;

bool DatabaseManager::saveRouteCache(const QString &cacheKey, const QString &gameId, const QString &region,
                                     const QString &networkFingerprint, const QString &pingJson,
                                     const QString &updatedAt)
{
    if (isBlank(cacheKey)) {
        qWarning() << "[DB] saveRouteCache: empty cache key";
        return false;
    }
    QMutexLocker locker(&m_mutex);
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral(
        "INSERT OR REPLACE INTO route_cache (cache_key, game_id, region, network_fingerprint, ping_json, "
        "updated_at, created_at) VALUES (:cache_key, :game_id, :region, :fp, :ping_json, :updated_at, "
        ":created_at)"));
    q.bindValue(QStringLiteral(":cache_key"), cacheKey);
    q.bindValue(QStringLiteral(":game_id"), gameId);
    q.bindValue(QStringLiteral(":region"), region);
    q.bindValue(QStringLiteral(":fp"), networkFingerprint);
    q.bindValue(QStringLiteral(":ping_json"), pingJson);
    q.bindValue(QStringLiteral(":updated_at"), updatedAt);
    q.bindValue(QStringLiteral(":created_at"), nowUtc());
    return q.exec();
}

QVariantMap DatabaseManager::getRouteCache(const QString &gameId, const QString &region,
                                           const QString &networkFingerprint)
{
    QMutexLocker locker(&m_mutex);
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral(
        "SELECT cache_key, game_id, region, network_fingerprint, ping_json, updated_at FROM route_cache "
        "WHERE game_id = :game_id AND region = :region AND network_fingerprint = :fp "
        "ORDER BY updated_at DESC LIMIT 1"));
    q.bindValue(QStringLiteral(":game_id"), gameId);
    q.bindValue(QStringLiteral(":region"), region);
    q.bindValue(QStringLiteral(":fp"), networkFingerprint);
    if (!q.exec() || !q.next())
        return QVariantMap();
    QVariantMap m;
    static const char *const kCols[] = {"cache_key",           "game_id",   "region",
                                        "network_fingerprint", "ping_json", "updated_at"};
    for (int i = 0; i < 6; ++i)
        m.insert(QString::fromLatin1(kCols[i]), q.value(i).toString());
    return m;
}

bool DatabaseManager::deleteRouteCache(const QString &cacheKey)
{
    if (isBlank(cacheKey))
        return false;
    QMutexLocker locker(&m_mutex);
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("DELETE FROM route_cache WHERE cache_key = :k"));
    q.bindValue(QStringLiteral(":k"), cacheKey);
    return q.exec();
}
