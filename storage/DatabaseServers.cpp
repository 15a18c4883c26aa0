// The servers table: the relay list, replaced as a whole by every
// synchronisation.

#include "storage/DatabaseManager.h"

#include "storage/DatabaseSupport.h"
#include "storage/RecordStatement.h"
#include "storage/SqliteStatement.h"

#include <QDebug>
#include <QMutexLocker>
#include <QSqlError>
#include <QSqlQuery>

using namespace DatabaseSupport;

bool DatabaseManager::replaceServersCache(const QList<QVariantMap> &servers)
{
    QList<RelayRecord> relays;
    relays.reserve(servers.size());
    for (const QVariantMap &server : servers)
        relays.append(RelayRecord::fromMap(server));
    return replaceRelays(relays);
}

bool DatabaseManager::replaceRelays(const QList<RelayRecord> &relays)
{
    QMutexLocker locker(&m_mutex);
    if (!m_db.isOpen())
        return false;

    // Without a transaction the delete below could not be undone.
    if (!beginTransaction(m_db, "replaceServersCache"))
        return false;

    QSqlQuery q(m_db);
    if (!q.exec(QStringLiteral("DELETE FROM servers"))) {
        qWarning().noquote() << "[DB] replaceServersCache: failed to clear servers:" << q.lastError().text();
        m_db.rollback();
        return false;
    }

    const QString lastSynced = nowLocal();
    bool failed = false;
    {
        static const QByteArray sql =
            RecordStatement::insertOrReplace("servers", RelayRecord::kColumns, "last_synced");
        SqliteStatement insert(m_db, sql.constData());
        for (const RelayRecord &relay : relays) {
            // A relay without an id or name is kept but noted.
            if (isBlank(relay.id) || isBlank(relay.name))
                qWarning().noquote() << "[DB] replaceServersCache: relay without"
                                     << (isBlank(relay.id) ? "an id" : "a name") << "id=" << relay.id;
            const int stamp = RecordStatement::bindWritten(insert, RelayRecord::kColumns, relay);
            insert.bindText(stamp, lastSynced);
            if (!insert.exec()) {
                qWarning().noquote() << "[DB] replaceServersCache: insert failed id=" << relay.id
                                     << "err=" << insert.errorText();
                failed = true;
                break;
            }
        }
    }

    if (failed) {
        m_db.rollback();
        return false;
    }
    if (!commitOrRollback(m_db, "replaceServersCache"))
        return false;
    QSqlQuery count(m_db);
    if (count.exec(QStringLiteral("SELECT COUNT(*) FROM servers")) && count.next())
        qInfo().noquote() << "[DB] replaceServersCache: servers total now =" << count.value(0).toInt();
    return true;
}

QList<QVariantMap> DatabaseManager::getActiveServers()
{
    QList<QVariantMap> out;
    for (const RelayRecord &relay : activeRelays())
        out.append(relay.toMap());
    return out;
}

QList<RelayRecord> DatabaseManager::activeRelays()
{
    QMutexLocker locker(&m_mutex);
    static const QByteArray sql = "SELECT " + RecordStatement::columnNames(RelayRecord::kColumns, false) +
                                  " FROM servers WHERE lower(trim(ifnull(status,''))) = 'active' "
                                  "ORDER BY trim(region) COLLATE NOCASE, name";
    QList<RelayRecord> out;
    SqliteStatement q(m_db, sql.constData());
    while (q.next())
        RecordStatement::read(q, RelayRecord::kColumns, out.emplaceBack());
    if (q.failed())
        return QList<RelayRecord>();
    return out;
}

QList<QVariantMap> DatabaseManager::getActiveServersInRegion(const QString &region)
{
    const QString wanted = region.simplified().toLower();
    if (wanted.isEmpty())
        return {};
    QList<QVariantMap> out;
    for (const RelayRecord &relay : activeRelays()) {
        if (relay.region.simplified().toLower() == wanted)
            out.append(relay.toMap());
    }
    return out;
}

int DatabaseManager::countActiveServers()
{
    QMutexLocker locker(&m_mutex);
    QSqlQuery q(m_db);
    if (!q.exec(
            QStringLiteral("SELECT COUNT(*) FROM servers WHERE lower(trim(ifnull(status,''))) = 'active'")) ||
        !q.next())
        return 0;
    return q.value(0).toInt();
}

QStringList DatabaseManager::getServerRegions()
{
    QMutexLocker locker(&m_mutex);
    QStringList out;
    QSqlQuery q(m_db);
    if (!q.exec(
            QStringLiteral("SELECT DISTINCT TRIM(region) AS region FROM servers WHERE status = 'active' AND "
                           "region IS NOT NULL AND TRIM(region) <> '' ORDER BY TRIM(region) COLLATE NOCASE")))
        return out;
    while (q.next())
        out << q.value(0).toString();
    return out;
}
