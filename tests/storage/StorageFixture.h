#pragma once
// Shared by the storage tests: a cache database in a fresh temporary folder,
// and a second, independent connection to the same file for looking behind
// the manager's back.

#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

namespace StorageFixture {

// Opens DatabaseManager::instance() on a new database in dir; returns false on failure.
bool openFresh(const QTemporaryDir &dir);

// A separate connection to the database file in dir (closed by closeRaw).
QSqlDatabase openRaw(const QString &folder, const QString &name = QStringLiteral("raw"));
void closeRaw(const QString &name = QStringLiteral("raw"));

// One value of a single-row query over the raw connection, invalid when no row.
QVariant scalar(QSqlDatabase &db, const QString &sql);
QStringList column(QSqlDatabase &db, const QString &sql);

} // namespace StorageFixture
