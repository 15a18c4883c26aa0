// fuzz-sources: services/NotificationEntries.cpp
// fuzz-pkg: Qt6Core
//
// The reader of a notification reply body: whatever the service sends, the
// entries come out whole, in UTC when their time parses, and a body that is
// not a list or an object holding one gives none.

#include "services/NotificationService.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

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
        const QJsonDocument doc = QJsonDocument::fromJson(body);
        const qsizetype expected =
            doc.isArray() ? doc.array().size() : doc.object().value(QStringLiteral("items")).toArray().size();
        if (entries.size() != expected)
            abort();
    }
    for (const NotificationEntry &e : entries) {
        if (e.created.isValid() && e.created.timeSpec() != Qt::UTC)
            abort();
    }
    return 0;
}
