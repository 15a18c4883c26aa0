// The user_connections table: the relay last used with each game.

#include "storage/DatabaseManager.h"

#include "storage/DatabaseSupport.h"

#include <QDebug>
#include <QSqlError>
#include <QSqlQuery>

using namespace DatabaseSupport;

bool DatabaseManager::saveUserConnection(const QString &gameTitle, const QString &gameLogo,
                                         const QString &gameExecutable, const QString &serverId,
                                         const QString &serverName, const QString &serverIp, int serverPort,
                                         const QString &serverCountryCode)
{
    if (isBlank(gameTitle))
        return false;

    qint64 existing = 0;
    {
        QSqlQuery count(m_db);
        count.prepare(QStringLiteral("SELECT COUNT(*) FROM user_connections WHERE game_title = :title"));
        count.bindValue(QStringLiteral(":title"), gameTitle);
        if (count.exec() && count.next())
            existing = count.value(0).toLongLong();
    }

    const QString now = nowLocal();
    QSqlQuery q(m_db);
    if (existing > 0) {
        q.prepare(QStringLiteral(
            "UPDATE user_connections SET game_logo = :logo, game_executable = :exe, server_id = :sid, "
            "server_name = :sname, server_ip = :sip, server_port = :sport, server_country_code = :scc, "
            "updated_at = :ts WHERE game_title = :title"));
    } else {
        q.prepare(QStringLiteral(
            "INSERT INTO user_connections (game_title, game_logo, game_executable, server_id, server_name, "
            "server_ip, server_port, server_country_code, created_at, updated_at) VALUES (:title, :logo, "
            ":exe, "
            ":sid, :sname, :sip, :sport, :scc, :created, :ts)"));
    }
    q.bindValue(QStringLiteral(":title"), gameTitle);
    q.bindValue(QStringLiteral(":logo"), gameLogo);
    q.bindValue(QStringLiteral(":exe"), gameExecutable);
    q.bindValue(QStringLiteral(":sid"), serverId);
    q.bindValue(QStringLiteral(":sname"), serverName);
    q.bindValue(QStringLiteral(":sip"), serverIp);
    q.bindValue(QStringLiteral(":sport"), serverPort);
    q.bindValue(QStringLiteral(":scc"), serverCountryCode);
    q.bindValue(QStringLiteral(":ts"), now);
    if (existing == 0)
        q.bindValue(QStringLiteral(":created"), now);
    if (!q.exec()) {
        qWarning().noquote() << "[DB] saveUserConnection failed for" << gameTitle << ":"
                             << q.lastError().text();
        return false;
    }
    return true;
}
