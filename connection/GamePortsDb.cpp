#include "connection/GamePorts.h"

#include "storage/DatabaseManager.h"

#include <QSettings>

namespace GamePorts {

QVariantMap findGameMetaInDatabase(const QString &title)
{
    if (title.isEmpty())
        return {};
    // The search needs only the names; only the game found becomes a map.
    DatabaseManager *db = DatabaseManager::instance();
    const QList<GameRecord> games = db->activeGameRecords();
    QStringList names;
    names.reserve(games.size());
    for (const GameRecord &game : games)
        names.append(game.name);
    const int index = findGameIndex(title, names);
    if (index < 0)
        return {};
    const QVariantMap found = db->getGameById(games.at(index).id);
    // A row stored without an id (an old client's) is found only by its place.
    return found.isEmpty() ? db->getActiveGames().value(index) : found;
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
