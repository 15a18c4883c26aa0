#pragma once
// What the per-table parts of DatabaseManager share: the time stamps the
// tables keep, and the begin/commit steps of the batch writes with their log
// lines.

#include <QSqlDatabase>
#include <QString>
#include <QVariant>

namespace DatabaseSupport {

// Local ISO 8601 date-time without offset, as every table but route_cache keeps it.
QString nowLocal();
// UTC ISO 8601 with "Z" (route_cache's created_at).
QString nowUtc();
bool isBlank(const QString &s);
// Text that is stored as empty text rather than NULL when the key is missing.
QString textOrEmpty(const QVariant &v);
// Starts the transaction of a batch write, logging under the operation's
// name when it cannot.
bool beginTransaction(QSqlDatabase &db, const char *operation);
// Commits a batch write; a failed commit is logged and rolled back.
bool commitOrRollback(QSqlDatabase &db, const char *operation);

} // namespace DatabaseSupport
