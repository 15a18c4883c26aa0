#include "storage/DatabaseSupport.h"

#include <QDateTime>
#include <QDebug>
#include <QSqlError>

namespace DatabaseSupport {

QString nowLocal()
{
    return QDateTime::currentDateTime().toString(Qt::ISODate);
}

QString nowUtc()
{
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
}

bool isBlank(const QString &s)
{
    return s.trimmed().isEmpty();
}

QString textOrEmpty(const QVariant &v)
{
    QString s = v.toString();
    if (s.isNull())
        return QStringLiteral("");
    return s;
}

bool beginTransaction(QSqlDatabase &db, const char *operation)
{
    if (db.transaction())
        return true;
    qWarning().noquote()
        << QStringLiteral("[DB] %1: failed to begin transaction:").arg(QLatin1String(operation))
        << db.lastError().text();
    return false;
}

bool commitOrRollback(QSqlDatabase &db, const char *operation)
{
    if (db.commit())
        return true;
    qWarning().noquote() << QStringLiteral("[DB] %1: commit failed:").arg(QLatin1String(operation))
                         << db.lastError().text();
    db.rollback();
    return false;
}

} // namespace DatabaseSupport
