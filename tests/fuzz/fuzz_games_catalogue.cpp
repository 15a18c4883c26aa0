// fuzz-sources: services/GamesCatalogueJson.cpp services/ReplyBounds.cpp platform/DataProtection.cpp
// fuzz-pkg: Qt6Core libcrypto
//
// The two readers of the games list's outside bytes: a reply body (or an old
// plain copy) through the catalogue parser and its bounds, and a protected
// copy through the blob reader, plus a seal/open round trip of the same bytes.

#include "platform/DataProtection.h"
#include "services/GamesCatalogue.h"

#include <QJsonDocument>

#include <stdlib.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const QByteArray input(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    static const QByteArray key(DataProtection::kKeySize, '\x5a');

    if (data[0] & 1) {
        QList<GameApiItem> items;
        const bool any = parseGamesJson(input, &items);
        if (any != !items.isEmpty())
            abort();
        QJsonArray array;
        const bool found = selectGamesArray(QJsonDocument::fromJson(input), &array);
        if (!found && any)
            abort();
        // The database gets exactly the games the list holds.
        if (gameRecords(array).size() != items.size())
            abort();
        for (const GameApiItem &item : items) {
            if (item.title.isEmpty())
                abort();
            if (item.cover.isEmpty() != item.logo.isEmpty())
                abort();
        }
        // Within the bounds, and what is kept reads back as the same games,
        // with nothing more to cut.
        const PreparedCatalogue prepared = prepareCatalogue(input);
        if (prepared.isCatalogue != found || prepared.items.size() > ReplyBounds::kMaxGames ||
            prepared.records.size() != prepared.items.size())
            abort();
        for (const GameApiItem &item : prepared.items) {
            if (item.title.size() > ReplyBounds::kMaxTextChars || item.id.size() > ReplyBounds::kMaxTextChars)
                abort();
        }
        if (prepared.isCatalogue) {
            const PreparedCatalogue again = prepareCatalogue(prepared.kept);
            if (again.report.any() || again.items.size() != prepared.items.size())
                abort();
        }
    } else {
        QByteArray plain("untouched");
        if (!DataProtection::open(input, key, &plain) && plain != "untouched")
            abort();
        QByteArray blob;
        if (!DataProtection::seal(input, key, &blob) ||
            blob.size() != input.size() + DataProtection::kOverhead)
            abort();
        QByteArray back;
        if (!DataProtection::open(blob, key, &back) || back != input)
            abort();
    }
    return 0;
}
