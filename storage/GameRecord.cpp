#include "storage/GameRecord.h"

#include "storage/JsonText.h"

#include <QDebug>
#include <QJsonArray>
#include <QJsonDocument>

using C = GameRecord::Column;

const std::array<C, GameRecord::kColumnCount> GameRecord::kColumns = {
    C::textColumn("id", &GameRecord::id),
    C::textColumn("name", &GameRecord::name),
    C::textColumn("description", &GameRecord::description),
    C::textColumn("category", &GameRecord::category),
    C::jsonColumn("tags", &GameRecord::tagsJson),
    C::textColumn("executable", &GameRecord::executable),
    C::textColumn("cover_image", &GameRecord::coverImage),
    C::textColumn("logo", &GameRecord::logo),
    C::textColumn("logo_cached_path", &GameRecord::logoCachedPath, false),
    C::jsonColumn("tcp_ports", &GameRecord::tcpPortsJson),
    C::jsonColumn("udp_ports", &GameRecord::udpPortsJson),
    C::jsonColumn("domains", &GameRecord::domainsJson),
    C::jsonColumn("profiles", &GameRecord::profilesJson),
    C::intColumn("is_free_effective", &GameRecord::isFreeEffective),
    C::intColumn("free_days_left", &GameRecord::freeDaysLeft),
    C::textColumn("free_source", &GameRecord::freeSource),
    C::textColumn("status", &GameRecord::status),
    C::textColumn("created_at", &GameRecord::createdAt),
    C::textColumn("updated_at", &GameRecord::updatedAt),
    C::textColumn("last_synced", &GameRecord::lastSynced, false),
};

namespace {

// The JSON bytes for a list column of a game. A single text (the catalogue
// sends one port, range or domain this way) is kept as a one-element list so
// the value is not lost; anything else that is not a list or map is dropped
// with a log line.
QByteArray listColumnJson(const QVariantMap &game, const char *column)
{
    const auto it = game.constFind(QLatin1String(column));
    if (it == game.constEnd() || !it->isValid() || it->isNull())
        return QByteArray();
    const QVariant &value = *it;
    const int type = value.typeId();
    if (type == QMetaType::QVariantList || type == QMetaType::QStringList || type == QMetaType::QVariantMap ||
        type == QMetaType::QVariantHash || type == QMetaType::QJsonArray || type == QMetaType::QJsonObject ||
        type == QMetaType::QJsonValue || type == QMetaType::QJsonDocument) {
        const QByteArray text = JsonText::write(value);
        if (!text.isEmpty())
            return text;
    }
    if (type == QMetaType::QString && qstrcmp(column, "profiles") != 0) {
        const QString text = value.toString();
        if (text.trimmed().isEmpty())
            return QByteArray();
        return QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    }
    qWarning().noquote() << "[DB] saveGames:" << column << "of"
                         << game.value(QStringLiteral("name")).toString() << "is not a list; stored empty";
    return QByteArray();
}

int freeDaysLeft(const QVariantMap &game)
{
    // Only a missing key gives way to the other spelling; a JSON null is a
    // value (no free days), as the catalogue's own items read it.
    QVariant v = game.value(QStringLiteral("free_days_left"));
    if (!v.isValid())
        v = game.value(QStringLiteral("freeDaysLeft"));
    if (!v.isValid())
        return -1;
    bool ok = false;
    const int n = v.toInt(&ok);
    if (ok)
        return n;
    const int parsed = v.toString().trimmed().toInt(&ok, 10);
    return ok ? parsed : -1;
}

} // namespace

QVariant GameRecord::parseList(const QByteArray &json)
{
    if (json.isEmpty())
        return QVariant();
    return JsonText::read(json);
}

GameRecord GameRecord::fromCatalogueMap(const QVariantMap &game)
{
    GameRecord g;
    for (const C &c : kColumns) {
        if (!c.written)
            continue;
        switch (c.kind) {
        case C::Kind::Text: {
            const char *key = c.text == &GameRecord::coverImage ? "coverImage" : c.name;
            g.*c.text = game.value(QLatin1String(key)).toString();
            break;
        }
        case C::Kind::Json:
            g.*c.json = listColumnJson(game, c.name);
            break;
        case C::Kind::Int:
            break;
        }
    }
    const bool free = game.value(QStringLiteral("is_free_effective")).toBool() ||
                      game.value(QStringLiteral("is_free")).toBool();
    g.isFreeEffective = free ? 1 : 0;
    g.freeDaysLeft = ::freeDaysLeft(game);
    return g;
}
