#include "services/ReplyBounds.h"

namespace ReplyBounds {

QString Report::summary(const QString &what) const
{
    return QStringLiteral("kept %1 of %2 %3 (refused %4), cut %5 texts, left out %6 values")
        .arg(kept)
        .arg(entries)
        .arg(what)
        .arg(refused)
        .arg(textsCut)
        .arg(valuesDropped);
}

const EntryRules &gameRules()
{
    static const EntryRules rules = [] {
        EntryRules r;
        r.maxEntries = kMaxGames;
        r.refuseKeys = QStringList{QStringLiteral("id")};
        r.dropKeys =
            QStringList{QStringLiteral("cover"), QStringLiteral("cover_url"), QStringLiteral("coverImage"),
                        QStringLiteral("image"), QStringLiteral("logo"),      QStringLiteral("logo_url"),
                        QStringLiteral("icon")};
        r.longTextKeys = QStringList{QStringLiteral("description")};
        return r;
    }();
    return rules;
}

const EntryRules &relayRules()
{
    static const EntryRules rules = [] {
        EntryRules r;
        r.maxEntries = kMaxRelays;
        r.onlyKeys = QStringList{QStringLiteral("id"),
                                 QStringLiteral("name"),
                                 QStringLiteral("hostname"),
                                 QStringLiteral("ip_address"),
                                 QStringLiteral("port"),
                                 QStringLiteral("region"),
                                 QStringLiteral("country"),
                                 QStringLiteral("country_code"),
                                 QStringLiteral("city"),
                                 QStringLiteral("flag"),
                                 QStringLiteral("provider"),
                                 QStringLiteral("status"),
                                 QStringLiteral("capacity_mbps"),
                                 QStringLiteral("active_connections"),
                                 QStringLiteral("max_connections"),
                                 QStringLiteral("created_at"),
                                 QStringLiteral("updated_at")};
        r.refuseKeys = QStringList{QStringLiteral("id")};
        r.dropKeys = QStringList{QStringLiteral("flag")};
        return r;
    }();
    return rules;
}

const EntryRules &notificationRules()
{
    static const EntryRules rules = [] {
        EntryRules r;
        r.maxEntries = kMaxNotifications;
        r.onlyKeys = QStringList{QStringLiteral("id"), QStringLiteral("title"), QStringLiteral("body"),
                                 QStringLiteral("created_at"), QStringLiteral("unread")};
        // The id goes into the read list kept in the account store.
        r.refuseKeys = QStringList{QStringLiteral("id")};
        r.longTextKeys = QStringList{QStringLiteral("body")};
        return r;
    }();
    return rules;
}

namespace {

enum class Verdict { Keep, Changed, LeaveOut };

// The first `limit` UTF-16 units, never ending half way through a pair.
QString cutText(const QString &text, int limit)
{
    int n = limit;
    if (n > 0 && n < text.size() && text.at(n - 1).isHighSurrogate())
        --n;
    return text.left(n);
}

// Bounds a value found depth levels inside an entry. Sets *out only when the
// value changed; a value that needs no change is shared as it is.
Verdict boundValue(const QJsonValue &value, int textLimit, int depth, Report *report, QJsonValue *out)
{
    switch (value.type()) {
    case QJsonValue::String: {
        const QString text = value.toString();
        if (text.size() <= textLimit)
            return Verdict::Keep;
        ++report->textsCut;
        *out = cutText(text, textLimit);
        return Verdict::Changed;
    }
    case QJsonValue::Array: {
        if (depth >= kMaxDepth) {
            ++report->valuesDropped;
            return Verdict::LeaveOut;
        }
        const QJsonArray array = value.toArray();
        QJsonArray bounded;
        bool changed = array.size() > kMaxListItems;
        if (changed)
            report->valuesDropped += int(array.size() - kMaxListItems);
        const qsizetype n = std::min<qsizetype>(array.size(), kMaxListItems);
        for (qsizetype i = 0; i < n; ++i) {
            QJsonValue item;
            const Verdict verdict = boundValue(array.at(i), kMaxTextChars, depth + 1, report, &item);
            if (verdict == Verdict::Keep && !changed)
                continue;
            if (!changed) {
                // The first change: what came before is kept as it is.
                for (qsizetype k = 0; k < i; ++k)
                    bounded.append(array.at(k));
                changed = true;
            }
            if (verdict == Verdict::Keep)
                bounded.append(array.at(i));
            else if (verdict == Verdict::Changed)
                bounded.append(item);
        }
        if (!changed)
            return Verdict::Keep;
        *out = bounded;
        return Verdict::Changed;
    }
    case QJsonValue::Object: {
        if (depth >= kMaxDepth) {
            ++report->valuesDropped;
            return Verdict::LeaveOut;
        }
        QJsonObject object = value.toObject();
        bool changed = false;
        if (object.size() > kMaxListItems) {
            report->valuesDropped += int(object.size() - kMaxListItems);
            while (object.size() > kMaxListItems)
                object.erase(object.end() - 1);
            changed = true;
        }
        for (auto it = object.begin(); it != object.end();) {
            QJsonValue member;
            const Verdict verdict = boundValue(it.value(), kMaxTextChars, depth + 1, report, &member);
            if (verdict == Verdict::LeaveOut) {
                it = object.erase(it);
                changed = true;
                continue;
            }
            if (verdict == Verdict::Changed) {
                it.value() = member;
                changed = true;
            }
            ++it;
        }
        if (!changed)
            return Verdict::Keep;
        *out = object;
        return Verdict::Changed;
    }
    default:
        return Verdict::Keep;
    }
}

// One entry within the rules; false when it is refused.
bool boundEntry(const QJsonObject &entry, const EntryRules &rules, Report *report, QJsonObject *out)
{
    QJsonObject bounded;
    bool changed = false;
    if (!rules.onlyKeys.isEmpty()) {
        for (const QString &key : rules.onlyKeys) {
            const auto it = entry.constFind(key);
            if (it != entry.constEnd())
                bounded.insert(key, it.value());
        }
        changed = bounded.size() != entry.size();
    } else {
        bounded = entry;
    }
    if (bounded.size() > kMaxListItems) {
        report->valuesDropped += int(bounded.size() - kMaxListItems);
        while (bounded.size() > kMaxListItems)
            bounded.erase(bounded.end() - 1);
        changed = true;
    }
    for (auto it = bounded.begin(); it != bounded.end();) {
        const QString key = it.key();
        const bool longText = rules.longTextKeys.contains(key);
        const int limit = longText ? kMaxLongTextChars : kMaxTextChars;
        if (it.value().isString() && it.value().toString().size() > limit) {
            if (rules.refuseKeys.contains(key)) {
                ++report->refused;
                return false;
            }
            if (rules.dropKeys.contains(key)) {
                ++report->valuesDropped;
                it = bounded.erase(it);
                changed = true;
                continue;
            }
        }
        QJsonValue member;
        const Verdict verdict = boundValue(it.value(), limit, 1, report, &member);
        if (verdict == Verdict::LeaveOut) {
            it = bounded.erase(it);
            changed = true;
            continue;
        }
        if (verdict == Verdict::Changed) {
            it.value() = member;
            changed = true;
        }
        ++it;
    }
    *out = changed ? bounded : entry;
    return true;
}

} // namespace

QString text(const QJsonValue &value, int limit)
{
    const QString t = value.toString();
    return t.size() > limit ? cutText(t, limit) : t;
}

QString wholeText(const QJsonValue &value, int limit)
{
    const QString t = value.toString();
    return t.size() > limit ? QString() : t;
}

QJsonArray bound(const QJsonArray &array, const EntryRules &rules, Report *report)
{
    Report local;
    Report *r = report ? report : &local;
    QJsonArray out;
    for (const QJsonValue &value : array) {
        if (!value.isObject())
            continue;
        ++r->entries;
        if (r->kept >= rules.maxEntries)
            continue;
        QJsonObject entry;
        if (!boundEntry(value.toObject(), rules, r, &entry))
            continue;
        out.append(entry);
        ++r->kept;
    }
    // Refused entries are counted apart from those beyond the bound.
    return out;
}

} // namespace ReplyBounds
