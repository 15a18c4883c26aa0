#include "services/GamesCatalogue.h"

#include <QJsonDocument>
#include <QJsonObject>

// The reading of reply bodies, apart from the requests so that it builds on
// its own (the fuzz target links only this and the bounds).

bool jsonToBool(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::Bool:
        return value.toBool();
    case QJsonValue::Double:
        return value.toInt(0) != 0;
    case QJsonValue::String: {
        const QString text = value.toString().trimmed().toLower();
        return text == QLatin1String("1") || text == QLatin1String("true") || text == QLatin1String("yes");
    }
    default:
        return false;
    }
}

bool selectGamesArray(const QJsonDocument &document, QJsonArray *array)
{
    QJsonArray found;
    bool ok = false;
    if (document.isArray()) {
        found = document.array();
        ok = true;
    } else if (document.isObject()) {
        const QJsonObject root = document.object();
        for (const char *key : {"data", "games"}) {
            const QJsonValue member = root.value(QLatin1String(key));
            if (member.isArray()) {
                found = member.toArray();
                ok = true;
                break;
            }
        }
    }
    if (array)
        *array = found;
    return ok;
}

// A string member; any other JSON type reads as empty.
static QString text(const QJsonObject &game, const char *key)
{
    return game.value(QLatin1String(key)).toString();
}

static QString firstText(const QJsonObject &game, std::initializer_list<const char *> keys)
{
    for (const char *key : keys) {
        const QString value = text(game, key);
        if (!value.isEmpty())
            return value;
    }
    return QString();
}

static int freeDaysLeft(const QJsonValue &value)
{
    if (value.isDouble())
        return value.toInt(0);
    if (value.isString()) {
        bool ok = false;
        const int days = value.toString().trimmed().toInt(&ok);
        return ok ? days : -1;
    }
    return -1;
}

static GameApiItem gameItem(const QJsonObject &game)
{
    GameApiItem item;
    item.id = game.value(QLatin1String("id")).toVariant().toString();
    item.title = firstText(game, {"title", "name"});
    if (item.title.isEmpty())
        item.title = QStringLiteral("-");
    item.category = firstText(game, {"category", "platform"});
    item.type = firstText(game, {"type", "app_type"});
    const QJsonValue tags = game.value(QLatin1String("tags"));
    if (tags.isArray()) {
        for (const QJsonValue &tag : tags.toArray()) {
            if (tag.isString())
                item.tags << tag.toString();
        }
    }
    item.cover = firstText(game, {"cover", "cover_url", "coverImage", "image"});
    item.logo = firstText(game, {"logo", "logo_url", "icon"});
    item.isFree = jsonToBool(game.value(QLatin1String("is_free_effective")));
    if (!item.isFree)
        item.isFree = jsonToBool(game.value(QLatin1String("is_free")));
    item.freeSource = text(game, "free_source");
    item.freeDaysLeft = freeDaysLeft(game.value(QLatin1String("free_days_left")));
    if (item.cover.isEmpty())
        item.cover = item.logo;
    if (item.logo.isEmpty())
        item.logo = item.cover;
    return item;
}

void parseGamesArray(const QJsonArray &array, QList<GameApiItem> *out)
{
    if (!out)
        return;
    out->clear();
    out->reserve(array.size());
    for (const QJsonValue &value : array) {
        if (value.isObject())
            out->append(gameItem(value.toObject()));
    }
}

bool parseGamesJson(const QByteArray &body, QList<GameApiItem> *out)
{
    if (!out)
        return false;
    QJsonArray array;
    selectGamesArray(QJsonDocument::fromJson(body), &array);
    parseGamesArray(array, out);
    return !out->isEmpty();
}

QList<QVariantMap> gameRecords(const QJsonArray &array)
{
    QList<QVariantMap> records;
    records.reserve(array.size());
    for (const QJsonValue &value : array) {
        if (value.isObject())
            records.append(value.toObject().toVariantMap());
    }
    return records;
}

PreparedCatalogue prepareCatalogue(const QByteArray &body, const QJsonDocument *document)
{
    PreparedCatalogue prepared;
    QJsonArray array;
    prepared.isCatalogue = selectGamesArray(document ? *document : QJsonDocument::fromJson(body), &array);
    if (!prepared.isCatalogue)
        return prepared;
    const QJsonArray bounded = ReplyBounds::bound(array, ReplyBounds::gameRules(), &prepared.report);
    // Every object element of the array went through unchanged: the body
    // itself is what gets kept.
    prepared.kept = prepared.report.any() ? QJsonDocument(bounded).toJson(QJsonDocument::Compact) : body;
    parseGamesArray(bounded, &prepared.items);
    prepared.records = gameRecords(bounded);
    for (const QVariantMap &record : std::as_const(prepared.records)) {
        if (record.value(QStringLiteral("id")).toString().isNull() ||
            record.value(QStringLiteral("name")).toString().isNull())
            ++prepared.unstorable;
    }
    return prepared;
}
