#include "services/ServerSync.h"

#include "services/ReplyBounds.h"
#include "services/ServiceClient.h"

#include <QDebug>
#include <QFutureWatcher>
#include <QJsonDocument>
#include <QJsonValue>
#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>

#include <memory>

namespace ServerRecords {

static const char *const kTextKeys[] = {"name",     "hostname",     "ip_address", "region",
                                        "country",  "country_code", "city",       "flag",
                                        "provider", "status",       "created_at", "updated_at"};
static const char *const kIntKeys[] = {"port", "capacity_mbps", "active_connections", "max_connections"};

// The id as text: a string as it is, a number as its digits.
static QString idText(const QJsonValue &value)
{
    if (value.isString() || value.isDouble())
        return value.toVariant().toString();
    return QString();
}

// The columns both relay lists fill the same way; empty for a blank id.
static QVariantMap baseRecord(const QJsonObject &server, const QString &id)
{
    QVariantMap record;
    if (id.trimmed().isEmpty())
        return record;
    record.insert(QStringLiteral("id"), id);
    record.insert(QStringLiteral("name"), server.value(QStringLiteral("name")).toString());
    for (const char *key : kTextKeys)
        record.insert(QLatin1String(key), server.value(QLatin1String(key)).toString());
    for (const char *key : kIntKeys)
        record.insert(QLatin1String(key), server.value(QLatin1String(key)).toInt());
    return record;
}

QVariantMap syncRecord(const QJsonObject &server)
{
    // A numeric id kept as its digits (as the picker does), so distinct relays
    // never collapse into one empty-id row.
    QVariantMap record = baseRecord(server, idText(server.value(QStringLiteral("id"))));
    if (record.isEmpty())
        return record;
    QString status = record.value(QStringLiteral("status")).toString().trimmed().toLower();
    if (status.isEmpty())
        status = QStringLiteral("active");
    record.insert(QStringLiteral("status"), status);
    return record;
}

QVariantMap pickerRecord(const QJsonObject &server)
{
    // A blank id is as unusable as none, and the cache refuses it, which would
    // throw away the whole refresh.
    QVariantMap record = baseRecord(server, server.value(QStringLiteral("id")).toVariant().toString());
    if (record.isEmpty())
        return record;
    record.insert(QStringLiteral("region"), server.value(QStringLiteral("region")).toString().trimmed());
    for (const char *key : {"flag", "created_at", "updated_at"})
        record.insert(QLatin1String(key), server.value(QLatin1String(key)).toVariant().toString());
    return record;
}

template <typename Convert> static QList<QVariantMap> convertAll(const QJsonArray &servers, Convert convert)
{
    QList<QVariantMap> records;
    for (const QJsonValue &value : servers) {
        if (!value.isObject())
            continue;
        const QVariantMap record = convert(value.toObject());
        if (!record.isEmpty())
            records.append(record);
    }
    return records;
}

QList<QVariantMap> syncRecords(const QJsonArray &servers)
{
    return convertAll(servers, syncRecord);
}

QList<QVariantMap> pickerRecords(const QJsonArray &servers)
{
    return convertAll(servers, pickerRecord);
}

} // namespace ServerRecords

// The relays of a reply within ReplyBounds, with one log line when that
// changed anything.
static QJsonArray boundRelays(const QJsonArray &servers)
{
    ReplyBounds::Report report;
    const QJsonArray bounded = ReplyBounds::bound(servers, ReplyBounds::relayRules(), &report);
    if (report.any())
        qWarning().noquote() << "[ServerSync] reply over its bounds:"
                             << report.summary(QStringLiteral("relays"));
    return bounded;
}

ServerSync::ServerSync(ServiceClient *client, ServersCache cache, QObject *parent)
    : QObject(parent), m_client(client), m_cache(std::move(cache))
{}

void ServerSync::syncServers(std::function<void(bool ok)> completion)
{
    // The completion is shared by every exit of the reply handler; it runs once.
    auto done = std::make_shared<std::function<void(bool)>>(std::move(completion));
    auto finish = [done](bool ok) {
        if (*done) {
            auto call = std::move(*done);
            *done = nullptr;
            call(ok);
        }
    };

    qDebug().noquote() << "[ServerSync] Fetching servers from API...";
    if (!m_client) {
        qWarning().noquote() << "[ServerSync] Failed to fetch servers: no service client";
        finish(false);
        return;
    }
    QPointer<ServerSync> self(this);
    m_client->send(
        ServiceApi::Endpoint::ServersSync, [self, cache = m_cache, finish](const ServiceApi::Reply &reply) {
            if (!self) {
                finish(false);
                return;
            }
            qDebug().noquote() << "[ServerSync] HTTP status:" << reply.httpStatus;
            if (!reply.ok()) {
                qWarning().noquote() << "[ServerSync] Failed to fetch servers:" << reply.errorString;
                finish(false);
                return;
            }
            qDebug().noquote() << "[ServerSync] bytes:" << reply.body.size();
            const QJsonDocument doc = reply.document();
            if (!doc.isObject()) {
                qWarning().noquote() << "[ServerSync] Invalid JSON response";
                finish(false);
                return;
            }
            const QJsonObject root = doc.object();
            qDebug().noquote() << "[ServerSync] keys:" << root.keys();
            const QJsonArray servers = root.value(QStringLiteral("servers")).toArray();
            if (servers.isEmpty()) {
                qWarning().noquote() << "[ServerSync] No servers in API response";
                finish(false);
                return;
            }
            qDebug().noquote() << "[ServerSync] Received" << servers.size() << "servers from API";
            self->convert(servers, false, [cache, finish](const QList<QVariantMap> &records) {
                // A reply whose entries are all unusable must not wipe a good cached list.
                if (records.isEmpty()) {
                    qWarning().noquote() << "[ServerSync] No usable servers in API response";
                    finish(false);
                    return;
                }
                if (!cache.replace || !cache.replace(records)) {
                    qWarning().noquote() << "[ServerSync] Failed to save servers to DB";
                    finish(false);
                    return;
                }
                qDebug().noquote() << "[ServerSync] Successfully cached" << records.size() << "servers in DB";
                qDebug().noquote() << "[ServerSync] DB active servers count:"
                                   << (cache.countActive ? cache.countActive() : 0);
                finish(true);
            });
        });
}

void ServerSync::convert(const QJsonArray &servers, bool picker,
                         const std::function<void(const QList<QVariantMap> &)> &use)
{
    const auto records = [servers, picker]() {
        const QJsonArray bounded = boundRelays(servers);
        return picker ? ServerRecords::pickerRecords(bounded) : ServerRecords::syncRecords(bounded);
    };
    if (servers.size() <= kConvertHereUpTo) {
        use(records());
        return;
    }
    auto *watcher = new QFutureWatcher<QList<QVariantMap>>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [watcher, use]() {
        watcher->deleteLater();
        use(watcher->result());
    });
    watcher->setFuture(QtConcurrent::run(records));
}

void ServerSync::requestPickerServers(std::function<void()> reload)
{
    if (!m_client)
        return;
    QPointer<ServerSync> self(this);
    m_client->send(ServiceApi::Endpoint::ServersPicker,
                   [self, cache = m_cache, reload](const ServiceApi::Reply &reply) {
                       if (!self || !reply.ok() || reply.body.isEmpty())
                           return;
                       const QJsonDocument doc = reply.document();
                       if (!doc.isObject())
                           return;
                       const QJsonObject root = doc.object();
                       QJsonArray servers;
                       if (root.value(QStringLiteral("servers")).isArray())
                           servers = root.value(QStringLiteral("servers")).toArray();
                       else if (root.value(QStringLiteral("data")).isArray())
                           servers = root.value(QStringLiteral("data")).toArray();
                       if (servers.isEmpty())
                           return;
                       self->convert(servers, true, [cache, reload](const QList<QVariantMap> &records) {
                           if (records.isEmpty())
                               return;
                           if (cache.replace)
                               cache.replace(records);
                           if (cache.stampLoaded)
                               cache.stampLoaded();
                           if (reload)
                               reload();
                       });
                   });
}
