// The flag_cache table: country flag images by lower-case code.

#include "storage/DatabaseManager.h"

#include "storage/DatabaseSupport.h"

#include <QSqlQuery>

using namespace DatabaseSupport;

bool DatabaseManager::saveFlagImage(const QString &countryCode, const QByteArray &imageData)
{
    const QString code = countryCode.trimmed().toLower();
    if (code.isEmpty() || imageData.isEmpty())
        return false;
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("INSERT OR REPLACE INTO flag_cache (country_code, image_data, cached_at) "
                             "VALUES (:country_code, :image_data, :cached_at)"));
    q.bindValue(QStringLiteral(":country_code"), code);
    q.bindValue(QStringLiteral(":image_data"), imageData);
    q.bindValue(QStringLiteral(":cached_at"), nowLocal());
    return q.exec();
}

QByteArray DatabaseManager::getFlagImage(const QString &countryCode)
{
    const QString code = countryCode.trimmed().toLower();
    if (code.isEmpty())
        return QByteArray();
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("SELECT image_data FROM flag_cache WHERE country_code = :country_code"));
    q.bindValue(QStringLiteral(":country_code"), code);
    if (!q.exec() || !q.next())
        return QByteArray();
    return q.value(0).toByteArray();
}
