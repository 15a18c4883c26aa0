#include "support/fakeservice/HostileModes.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace HostileModes {

namespace {

struct Named
{
    Mode mode;
    const char *name;
};

const Named kNames[] = {
    {Mode::HugeField, "huge-field"},      {Mode::HugeBody, "huge-body"},
    {Mode::HugeArray, "huge-array"},      {Mode::DeepNesting, "deep-nesting"},
    {Mode::WrongTypes, "wrong-types"},    {Mode::InvalidUtf8, "invalid-utf8"},
    {Mode::Truncated, "truncated"},       {Mode::SlowDrip, "slow-drip"},
    {Mode::Unauthorized, "unauthorized"}, {Mode::ServerError, "server-error"},
    {Mode::Redirect, "redirect"},
};

QByteArray compact(const QJsonValue &value)
{
    return value.isArray() ? QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact)
                           : QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact);
}

bool isPath(const QString &path, const char *expected)
{
    return path == QLatin1String(expected);
}

// A game, a relay and a notification as the service sends them, with `text`
// as their title or name.
QJsonObject game(const QString &id, const QString &title)
{
    return QJsonObject{{"id", id},
                       {"title", title},
                       {"name", title},
                       {"category", "PC"},
                       {"type", "Shooter"},
                       {"coverImage", "/uploads/covers/" + id + ".png"},
                       {"udp_ports", QJsonArray{"27015-27030"}},
                       {"domains", QJsonArray{"hostile.example.test"}},
                       {"status", "active"}};
}

QJsonObject relay(const QString &id, const QString &name)
{
    return QJsonObject{{"id", id},          {"name", name},       {"ip_address", "127.0.0.31"},
                       {"port", 50000},     {"region", "Europe"}, {"country_code", "DE"},
                       {"status", "active"}};
}

QJsonObject notification(const QString &id, const QString &title, const QString &body)
{
    return QJsonObject{{"id", id}, {"title", title}, {"body", body}, {"unread", true}};
}

// The reply of an endpoint in its usual shape, with `text` in the member
// the client shows or keeps, and `list` (when not empty) as its list.
QJsonValue shaped(const QString &path, const QString &text, const QJsonArray &list = {})
{
    if (isPath(path, "/api/games"))
        return QJsonObject{
            {"data", list.isEmpty() ? QJsonArray{game("g-1", text), game("g-2", "Second")} : list}};
    if (isPath(path, "/api/servers"))
        return QJsonObject{
            {"servers", list.isEmpty() ? QJsonArray{relay("r-1", text), relay("r-2", "Second")} : list}};
    if (isPath(path, "/api/notifications"))
        return QJsonObject{{"items", list.isEmpty() ? QJsonArray{notification("n-1", text, text)} : list}};
    if (isPath(path, "/api/auth/user-login") || isPath(path, "/api/auth/discord/login") ||
        isPath(path, "/api/auth/validate"))
        return QJsonObject{
            {"success", true},
            {"token", "hostile-token"},
            {"session_id", "hostile-session"},
            {"user", QJsonObject{{"id", "u-1"}, {"email", "demo@quorlix.test"}, {"first_name", text}}},
            {"extra", list}};
    if (isPath(path, "/api/app-updates"))
        return QJsonObject{{"success", true},
                           {"data", QJsonArray{QJsonObject{
                                        {"version", "2.0.0"}, {"download_url", text}, {"is_required", 0}}}},
                           {"extra", list}};
    if (isPath(path, "/api/app-version/validate"))
        return QJsonObject{{"valid", true}, {"message", text}, {"extra", list}};
    if (isPath(path, "/api/promo/evaluate"))
        return QJsonObject{{"cta", QJsonObject{{"kind", "upgrade"}, {"title", text}}},
                           {"badge", QJsonObject{{"percent", 20}, {"text", text}}},
                           {"extra", list}};
    if (isPath(path, "/api/promo/link/create"))
        return QJsonObject{{"ok", true}, {"url", "https://quorlix.test/" + text}, {"extra", list}};
    return QJsonObject{{"success", true}, {"message", text}, {"extra", list}};
}

// The list an endpoint reads, n entries long; a plain long array elsewhere.
QJsonArray longList(const QString &path, int n)
{
    QJsonArray list;
    for (int i = 0; i < n; ++i) {
        const QString id = QString::number(i);
        if (isPath(path, "/api/games"))
            list.append(QJsonObject{{"id", "h" + id}, {"name", "Hostile " + id}, {"category", "PC"}});
        else if (isPath(path, "/api/servers"))
            list.append(QJsonObject{{"id", "r" + id}, {"name", "Relay " + id}, {"region", "Europe"}});
        else if (isPath(path, "/api/notifications"))
            list.append(QJsonObject{{"id", "n" + id}, {"title", "Note " + id}, {"unread", true}});
        else
            list.append(i);
    }
    return list;
}

// Every member the client reads, of another type than it expects.
QByteArray wrongTypes(const QString &path)
{
    if (isPath(path, "/api/games"))
        return R"({"data":[{"id":[1],"title":{"a":1},"name":7,"category":[],"tags":"x","cover":5,)"
               R"("logo":{},"udp_ports":{"a":"b"},"domains":3,"profiles":"p","is_free":[],)"
               R"("free_days_left":"many"},7,"text",null]})";
    if (isPath(path, "/api/servers"))
        return R"({"servers":[{"id":{},"name":[],"ip_address":5,"port":"x","status":7},3,"s"],"data":4})";
    if (isPath(path, "/api/notifications"))
        return R"({"items":[{"id":5,"title":[],"body":{},"created_at":9,"unread":"yes"},"x",null]})";
    return R"({"success":"true","token":{"t":1},"session_id":[],"user":"bob","cta":[],"badge":7,)"
           R"("valid":"no","blocked":"yes","force_update":[],"ok":"true","url":[1],"data":{"version":3}})";
}

// Arrays nested far deeper than a JSON parser takes, or (for the games)
// far deeper than a game's boost profiles go.
QByteArray deepNesting(const QString &path)
{
    if (isPath(path, "/api/games")) {
        const QByteArray nest = QByteArray(500, '[') + QByteArray(500, ']');
        return R"({"data":[{"id":"deep","title":"Deep","profiles":)" + nest +
               R"(},{"id":"flat","title":"Flat"}]})";
    }
    return QByteArray(100000, '[') + QByteArray(100000, ']');
}

QByteArray invalidUtf8(const QString &path)
{
    const QByteArray bad = "\xff\xfe\xc3\x28\xed\xa0\x80";
    return compact(shaped(path, QStringLiteral("BAD"))).replace("BAD", bad);
}

FakeReply replyFor(const QByteArray &method, const QString &path, Mode mode, const Sizes &sizes,
                   const QUrl &elsewhere)
{
    FakeReply reply;
    switch (mode) {
    case Mode::HugeField:
        reply.body = compact(shaped(path, QString(int(sizes.hugeText), QLatin1Char('h'))));
        break;
    case Mode::HugeBody:
        reply = FakeReply::sized(sizes.hugeBody, "application/json");
        break;
    case Mode::HugeArray:
        reply.body = compact(shaped(path, QStringLiteral("Long"), longList(path, sizes.hugeArray)));
        break;
    case Mode::DeepNesting:
        reply.body = deepNesting(path);
        break;
    case Mode::WrongTypes:
        reply.body = wrongTypes(path);
        break;
    case Mode::InvalidUtf8:
        reply.body = invalidUtf8(path);
        break;
    case Mode::Truncated: {
        const QByteArray whole = compact(shaped(path, QStringLiteral("Cut short")));
        reply = FakeReply::shortBody(whole, whole.size() / 2, "application/json");
        break;
    }
    case Mode::SlowDrip:
        reply = FakeReply::sized(sizes.dripBytes, "application/json");
        reply.chunkSize = sizes.dripChunk;
        reply.chunkIntervalMs = sizes.dripIntervalMs;
        break;
    case Mode::Unauthorized:
        reply = FakeReply::json(QJsonObject{{"success", false}, {"error", "Unauthorized"}}, 401);
        break;
    case Mode::ServerError:
        reply = FakeReply::json(QJsonObject{{"error", "Internal Server Error"}}, 500);
        break;
    case Mode::Redirect: {
        // 307 keeps a POST a POST, body and all, as a real redirect of one would.
        reply = FakeReply::statusOnly(method == "POST" ? 307 : 302);
        reply.contentType = "text/plain";
        QUrl target(elsewhere);
        target.setPath(path);
        reply.headers.append({"Location", target.toEncoded()});
        break;
    }
    }
    return reply;
}

} // namespace

QList<Mode> all()
{
    QList<Mode> modes;
    for (const Named &n : kNames)
        modes.append(n.mode);
    return modes;
}

QString name(Mode mode)
{
    for (const Named &n : kNames) {
        if (n.mode == mode)
            return QString::fromLatin1(n.name);
    }
    return QString();
}

bool fromName(const QString &text, Mode *mode)
{
    for (const Named &n : kNames) {
        if (text == QLatin1String(n.name)) {
            *mode = n.mode;
            return true;
        }
    }
    return false;
}

QList<QPair<QByteArray, QString>> endpoints()
{
    return {
        {"POST", "/api/auth/user-login"},
        {"POST", "/api/auth/discord/login"},
        {"GET", "/api/auth/validate"},
        {"POST", "/api/auth/heartbeat"},
        {"GET", "/api/app-updates"},
        {"GET", "/api/app-version/validate"},
        {"GET", "/api/promo/evaluate"},
        {"POST", "/api/promo/event"},
        {"POST", "/api/promo/link/create"},
        {"GET", "/api/games"},
        {"GET", "/api/servers"},
        {"GET", "/api/notifications"},
        {"POST", "/api/notifications/mark-read"},
    };
}

void apply(FakeService &service, Mode mode, const Sizes &sizes, const QUrl &elsewhere)
{
    for (const auto &endpoint : endpoints())
        service.script(endpoint.first, endpoint.second,
                       replyFor(endpoint.first, endpoint.second, mode, sizes, elsewhere));
}

} // namespace HostileModes
