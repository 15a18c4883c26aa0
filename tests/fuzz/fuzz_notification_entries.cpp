// fuzz-sources: services/NotificationEntries.cpp services/ReplyBounds.cpp
// fuzz-pkg: Qt6Core
//
// The reader of a notification reply body: whatever the service sends, the
// entries come out within their bounds, in UTC when their time parses, and a
// body that is not a list or an object holding one gives none.

#include "services/NotificationService.h"
#include "services/ReplyBounds.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <stdlib.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray body(reinterpret_cast<const char *>(data), qsizetype(size));
    QList<NotificationEntry> entries;
    entries.append(NotificationEntry{});
    const bool ok = NotificationService::parseEntries(body, &entries);
    if (!ok && !entries.isEmpty())
        abort();
    if (ok) {
        // Every object entry up to the bound, and nothing else.
        const QJsonDocument doc = QJsonDocument::fromJson(body);
        const QJsonArray items =
            doc.isArray() ? doc.array() : doc.object().value(QStringLiteral("items")).toArray();
        qsizetype objects = 0;
        for (const QJsonValue &item : items) {
            if (item.isObject() &&
                item.toObject().value(QStringLiteral("id")).toString().size() <= ReplyBounds::kMaxTextChars)
                ++objects;
        }
        if (entries.size() != std::min<qsizetype>(objects, ReplyBounds::kMaxNotifications))
            abort();
    }
    for (const NotificationEntry &e : entries) {
        if (e.created.isValid() && e.created.timeSpec() != Qt::UTC)
            abort();
        if (e.title.size() > ReplyBounds::kMaxTextChars || e.body.size() > ReplyBounds::kMaxLongTextChars)
            abort();
    }
    return 0;
}
