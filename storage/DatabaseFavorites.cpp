// The favorite_games table.

#include "storage/DatabaseManager.h"

#include "storage/DatabaseSupport.h"

#include <QDebug>
#include <QMutexLocker>
#include <QSqlQuery>

using namespace DatabaseSupport;

bool DatabaseManager::addFavorite(const QString &gameTitle, const QString &platform, const QString &gameLogo)
{
    if (isBlank(gameTitle)) {
        qWarning() << "[DB] addFavorite: empty game title";
        return false;
    }
    QMutexLocker locker(&m_mutex);
    QSqlQuery q(m_db);
    q.prepare(
        QStringLiteral("INSERT OR REPLACE INTO favorite_games (game_title, platform, game_logo, added_at) "
                       "VALUES (:game_title, :platform, :game_logo, :added_at)"));
    q.bindValue(QStringLiteral(":game_title"), gameTitle);
    q.bindValue(QStringLiteral(":platform"), platform.isNull() ? QStringLiteral("") : platform);
    q.bindValue(QStringLiteral(":game_logo"), gameLogo);
    q.bindValue(QStringLiteral(":added_at"), nowLocal());
    return q.exec();
}

bool DatabaseManager::removeFavorite(const QString &gameTitle, const QString &platform)
{
    QMutexLocker locker(&m_mutex);
    QSqlQuery q(m_db);
    q.prepare(
        QStringLiteral("DELETE FROM favorite_games WHERE game_title = :game_title AND platform = :platform"));
    q.bindValue(QStringLiteral(":game_title"), gameTitle);
    q.bindValue(QStringLiteral(":platform"), platform.isNull() ? QStringLiteral("") : platform);
    return q.exec();
}

QList<QVariantMap> DatabaseManager::getFavoriteGames()
{
    QMutexLocker locker(&m_mutex);
    QList<QVariantMap> out;
    QSqlQuery q(m_db);
    if (!q.exec(QStringLiteral(
            "SELECT game_title, platform, game_logo, added_at FROM favorite_games ORDER BY added_at DESC")))
        return out;
    while (q.next()) {
        QVariantMap m;
        m.insert(QStringLiteral("game_title"), q.value(0).toString());
        m.insert(QStringLiteral("platform"), q.value(1).toString());
        m.insert(QStringLiteral("game_logo"), q.value(2).toString());
        m.insert(QStringLiteral("added_at"), q.value(3).toString());
        out.append(m);
    }
    return out;
}
