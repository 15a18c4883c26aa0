#include "connection/GamePorts.h"

#include "storage/DatabaseManager.h"

#include <QSettings>

namespace GamePorts {

QVariantMap findGameMetaInDatabase(const QString &title)
{
    if (title.isEmpty())
        return {};
    return findGameMeta(title, DatabaseManager::instance()->getActiveGames());
}

void collectGameTraffic(const QString &title, QStringList &udp, QStringList &tcp, QStringList &domains)
{
    const QString t = title.trimmed();
    if (t.isEmpty())
        return;
    DatabaseManager *db = DatabaseManager::instance();
    const QString id = db->findGameIdByName(t);
    if (id.isEmpty())
        return;
    const QVariantList profiles = db->getGameById(id).value(QStringLiteral("profiles")).toList();
    if (profiles.isEmpty())
        return;
    const QSettings settings;
    collectBoostTraffic(
        id, profiles,
        [&settings](const QString &key, bool defaultOn) { return settings.value(key, defaultOn).toBool(); },
        udp, tcp, domains);
}

TrafficTokens gameTraffic(const QString &title, const QVariantMap &record)
{
    TrafficTokens tokens = recordTraffic(record);
    collectGameTraffic(title, tokens.udp, tokens.tcp, tokens.domains);
    return tokens;
}

} // namespace GamePorts
