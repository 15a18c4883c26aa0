// The metadata table: settings page options, UI language, last session.

#include "storage/DatabaseManager.h"

#include "storage/DatabaseSupport.h"

#include <QDebug>
#include <QMutexLocker>
#include <QSqlError>
#include <QSqlQuery>

using namespace DatabaseSupport;

namespace {

// Stores one metadata value with the time it was written; the caller takes
// the lock where it needs one.
bool writeMetadataRow(const QSqlDatabase &db, const QString &key, const QString &value, QString *error)
{
    QSqlQuery q(db);
    q.prepare(QStringLiteral(
        "INSERT OR REPLACE INTO metadata (key, value, updated_at) VALUES (:key, :value, :ts)"));
    q.bindValue(QStringLiteral(":key"), key);
    q.bindValue(QStringLiteral(":value"), value);
    q.bindValue(QStringLiteral(":ts"), nowLocal());
    if (q.exec())
        return true;
    if (error)
        *error = q.lastError().text();
    return false;
}

// Starts the transaction of a batch write, logging under the operation's

} // namespace

DatabaseManager::Lookup DatabaseManager::readMetadata(const QString &key, QString *value)
{
    if (value)
        value->clear();
    if (isBlank(key))
        return Lookup::Failed;
    QMutexLocker locker(&m_mutex);
    if (!m_db.isOpen())
        return Lookup::Failed;
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("SELECT value FROM metadata WHERE key = :key"));
    q.bindValue(QStringLiteral(":key"), key);
    if (!q.exec()) {
        qWarning().noquote() << "[DB] metadata read failed for" << key << ":" << q.lastError().text();
        return Lookup::Failed;
    }
    if (!q.next())
        return Lookup::Missing;
    if (value)
        *value = q.value(0).toString();
    return Lookup::Found;
}

bool DatabaseManager::tryGetMetadata(const QString &key, QString *value)
{
    return readMetadata(key, value) == Lookup::Found;
}

bool DatabaseManager::setMetadata(const QString &key, const QString &value)
{
    if (isBlank(key)) {
        qWarning() << "[DB] setMetadata: empty key";
        return false;
    }
    QMutexLocker locker(&m_mutex);
    if (!m_db.isOpen())
        return false;
    QString error;
    if (!writeMetadataRow(m_db, key, value.isNull() ? QStringLiteral("") : value, &error)) {
        qWarning().noquote() << "[DB] setMetadata failed for" << key << ":" << error;
        return false;
    }
    return true;
}

void DatabaseManager::inOneTransaction(const std::function<void()> &writes)
{
    QMutexLocker locker(&m_mutex);
    const bool inTransaction = m_db.isOpen() && beginTransaction(m_db, "inOneTransaction");
    writes();
    if (inTransaction)
        commitOrRollback(m_db, "inOneTransaction");
}

QString DatabaseManager::getMetadataOrInit(const QString &key, const QString &defaultValue)
{
    QString value;
    switch (readMetadata(key, &value)) {
    case Lookup::Found:
        return value;
    case Lookup::Missing:
        setMetadata(key, defaultValue);
        return defaultValue;
    case Lookup::Failed:
        // The stored value may be fine and only unreadable right now: never
        // overwrite it with the default.
        break;
    }
    return defaultValue;
}

bool DatabaseManager::getMetadataBool(const QString &key, bool defaultValue)
{
    const QString defaultText = defaultValue ? QStringLiteral("1") : QStringLiteral("0");
    const QString value = getMetadataOrInit(key, defaultText).trimmed().toLower();
    if (value == QLatin1String("1") || value == QLatin1String("true") || value == QLatin1String("yes"))
        return true;
    if (value == QLatin1String("0") || value == QLatin1String("false") || value == QLatin1String("no"))
        return false;
    setMetadata(key, defaultText);
    return defaultValue;
}

bool DatabaseManager::setMetadataBool(const QString &key, bool on)
{
    return setMetadata(key, on ? QStringLiteral("1") : QStringLiteral("0"));
}

void DatabaseManager::setMetadataTimestamp(const QString &key, const QDateTime &when)
{
    if (isBlank(key) || !m_db.isOpen())
        return;
    writeMetadataRow(m_db, key, when.toString(Qt::ISODate), nullptr);
}
