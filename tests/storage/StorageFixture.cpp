#include "StorageFixture.h"

#include "storage/DatabaseManager.h"

#include <QSqlQuery>

namespace StorageFixture {

bool openFresh(const QTemporaryDir &dir)
{
    return dir.isValid() && DatabaseManager::instance()->initialize(dir.path());
}

QSqlDatabase openRaw(const QString &folder, const QString &name)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(folder + QStringLiteral("/quorlix_cache.db"));
    db.open();
    return db;
}

void closeRaw(const QString &name)
{
    {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        if (db.isOpen())
            db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

QVariant scalar(QSqlDatabase &db, const QString &sql)
{
    QSqlQuery q(db);
    if (!q.exec(sql) || !q.next())
        return QVariant();
    return q.value(0);
}

QStringList column(QSqlDatabase &db, const QString &sql)
{
    QStringList out;
    QSqlQuery q(db);
    if (!q.exec(sql))
        return out;
    while (q.next())
        out << q.value(0).toString();
    return out;
}

} // namespace StorageFixture
