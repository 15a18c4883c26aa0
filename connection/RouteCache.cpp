#include "connection/RouteCache.h"

#include "storage/DatabaseManager.h"

#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

namespace RouteCache {

QString cacheKey(const QString &gameId, const QString &region, const QString &fingerprint)
{
    return gameId + QLatin1Char('|') + region + QLatin1Char('|') + fingerprint;
}

QString readPingsText(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

QString updatedAt(const QString &pingsText)
{
    const QJsonDocument doc = QJsonDocument::fromJson(pingsText.toUtf8());
    if (doc.isObject()) {
        const QString stamp = doc.object().value(QStringLiteral("updated_at")).toString();
        if (!stamp.isEmpty())
            return stamp;
    }
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
}

bool storeSweep(DatabaseManager *db, const QString &title, const QString &region, const QString &pingsText,
                const QString &fingerprint)
{
    if (!db || pingsText.isEmpty())
        return false;
    QString gameId = db->findGameIdByName(title);
    if (gameId.isEmpty())
        gameId = title.trimmed();
    return db->saveRouteCache(cacheKey(gameId, region, fingerprint), gameId, region, fingerprint, pingsText,
                              updatedAt(pingsText));
}

} // namespace RouteCache
