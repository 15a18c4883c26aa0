// The reader of a notification reply's entries, apart from the service so
// that it builds without the meta-object code (the fuzz target uses it and
// the bounds alone).
#include "services/NotificationService.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

bool NotificationService::parseEntries(const QByteArray &body, QList<NotificationEntry> *out,
                                       ReplyBounds::Report *report)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError) {
        out->clear();
        return false;
    }
    return entriesOf(doc, out, report);
}

bool NotificationService::entriesOf(const QJsonDocument &doc, QList<NotificationEntry> *out,
                                    ReplyBounds::Report *report)
{
    out->clear();
    QJsonArray items;
    if (doc.isArray())
        items = doc.array();
    else if (doc.isObject())
        items = doc.object().value(QStringLiteral("items")).toArray();
    else
        return false;

    items = ReplyBounds::bound(items, ReplyBounds::notificationRules(), report);
    out->reserve(items.size());
    for (const QJsonValue &value : std::as_const(items)) {
        const QJsonObject o = value.toObject();
        NotificationEntry e;
        e.id = o.value(QStringLiteral("id")).toString();
        e.title = o.value(QStringLiteral("title")).toString();
        e.body = o.value(QStringLiteral("body")).toString();
        e.created = QDateTime::fromString(o.value(QStringLiteral("created_at")).toString(), Qt::ISODate);
        if (e.created.isValid())
            e.created = e.created.toUTC();
        e.unread = o.value(QStringLiteral("unread")).toBool(true);
        out->append(e);
    }
    return true;
}
