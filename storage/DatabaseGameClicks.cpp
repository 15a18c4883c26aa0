// The game_clicks table: how often each tile was opened.

#include "storage/DatabaseManager.h"

#include "storage/DatabaseSupport.h"

#include <QDebug>
#include <QMutexLocker>
#include <QSqlError>
#include <QSqlQuery>

using namespace DatabaseSupport;

bool DatabaseManager::recordGameClick(const QString &clickKey, const QString &gameId,
                                      const QString &gameTitle, const QString &platform)
{
    QMutexLocker locker(&m_mutex);
    if (!m_db.isOpen())
        return false;
    const QString key = clickKey.trimmed();
    if (key.isEmpty())
        return false;
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral(
        "INSERT INTO game_clicks (click_key, game_id, game_title, platform, clicks, updated_at) "
        "VALUES (:k, :gid, :title, :platform, 1, :ts) "
        "ON CONFLICT(click_key) DO UPDATE SET clicks = clicks + 1, "
        "game_id = CASE WHEN excluded.game_id IS NOT NULL AND excluded.game_id <> '' THEN excluded.game_id "
        "ELSE game_id END, "
        "game_title = CASE WHEN excluded.game_title IS NOT NULL AND excluded.game_title <> '' "
        "THEN excluded.game_title ELSE game_title END, "
        "platform = CASE WHEN excluded.platform IS NOT NULL AND excluded.platform <> '' THEN "
        "excluded.platform "
        "ELSE platform END, "
        "updated_at = excluded.updated_at"));
    q.bindValue(QStringLiteral(":k"), key);
    q.bindValue(QStringLiteral(":gid"), gameId);
    q.bindValue(QStringLiteral(":title"), gameTitle);
    q.bindValue(QStringLiteral(":platform"), platform);
    q.bindValue(QStringLiteral(":ts"), nowLocal());
    if (!q.exec()) {
        qWarning().noquote() << "[DB] recordGameClick failed:" << q.lastError().text();
        return false;
    }
    return true;
}

QHash<QString, int> DatabaseManager::getGameClicks()
{
    QMutexLocker locker(&m_mutex);
    QHash<QString, int> out;
    if (!m_db.isOpen())
        return out;
    QSqlQuery q(m_db);
    if (!q.exec(QStringLiteral("SELECT click_key, clicks FROM game_clicks")))
        return out;
    while (q.next())
        out.insert(q.value(0).toString(), q.value(1).toInt());
    return out;
}
