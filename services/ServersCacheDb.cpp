#include "services/ServerSync.h"

#include "storage/DatabaseManager.h"

#include <QDateTime>

ServersCache ServersCache::database()
{
    ServersCache cache;
    cache.replace = [](const QList<QVariantMap> &servers) {
        return DatabaseManager::instance()->replaceServersCache(servers);
    };
    cache.countActive = []() { return DatabaseManager::instance()->countActiveServers(); };
    cache.stampLoaded = []() {
        DatabaseManager::instance()->setMetadataTimestamp(QStringLiteral("servers"),
                                                          QDateTime::currentDateTime());
    };
    return cache;
}
