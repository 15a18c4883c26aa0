#pragma once
// Country flags for relay rows and the selected-relay card. A flag comes from
// the bundled pictures, else from the flag cache in the database, else it is
// downloaded once from the address the relay names and kept in that cache.

#include "services/ServiceConfig.h"

#include <QObject>
#include <QPointer>
#include <QSize>
#include <QString>

class DatabaseManager;
class QLabel;
class QNetworkAccessManager;
class QNetworkReply;

class CountryFlags : public QObject
{
    Q_OBJECT
public:
    // `db` null: the process-wide database (when it is open).
    CountryFlags(const ServiceConfig &config, DatabaseManager *db = nullptr, QObject *parent = nullptr);

    // Fills `label` now, after a download, or not at all (blank code, nothing found).
    void loadCountryFlag(QLabel *label, const QString &countryCode, const QString &flagUrl);
    // Runs when a download ends: the bytes go to the cache, the picture to the
    // label when it still exists.
    void onFlagImageReply(QNetworkReply *reply, const QPointer<QLabel> &label, const QString &countryCode);

    // The bundled picture of a code ("de", " DE "), or empty.
    static QString resourcePath(const QString &countryCode);
    // Draws the bundled picture at the label's size (`emptySize` when it has
    // none); false, leaving the label as it was, without one.
    static bool showResourceFlag(QLabel *label, const QString &countryCode,
                                 const QSize &emptySize = QSize(16, 16));

    int downloadsStarted() const { return m_downloads; }

signals:
    // A downloaded flag was stored (tests and rows built before it landed).
    void flagStored(const QString &countryCode);

private:
    DatabaseManager *db() const;
    QNetworkAccessManager *manager();

    ServiceConfig m_config;
    DatabaseManager *m_db;
    QNetworkAccessManager *m_manager = nullptr;
    int m_downloads = 0;
};
