#include "support/fakeservice/FakeService.h"

#include <QBuffer>
#include <QColor>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDebug>
#include <QFile>
#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QImage>
#include <QJsonDocument>
#include <QSaveFile>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <utility>

const char FakeService::kDemoEmail[] = "demo@quorlix.test";
const char FakeService::kDemoPassword[] = "demo-password";
const char FakeService::kDemoDiscordEmail[] = "discord-demo@quorlix.test";

// --- RecordedRequest ------------------------------------------------------

bool RecordedRequest::hasHeader(const QByteArray &name) const
{
    return std::any_of(headers.begin(), headers.end(),
                       [&](const auto &h) { return h.first.compare(name, Qt::CaseInsensitive) == 0; });
}

QByteArray RecordedRequest::header(const QByteArray &name) const
{
    for (const auto &h : headers) {
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return h.second;
    }
    return QByteArray();
}

QJsonObject RecordedRequest::json() const
{
    return QJsonDocument::fromJson(body).object();
}

// --- FakeReply ------------------------------------------------------------

FakeReply FakeReply::json(const QJsonValue &value, int status)
{
    FakeReply r;
    r.status = status;
    if (value.isObject())
        r.body = QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact);
    else if (value.isArray())
        r.body = QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact);
    else
        r.body = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact).mid(1).chopped(1);
    return r;
}

FakeReply FakeReply::text(const QByteArray &body, int status, const QByteArray &contentType)
{
    FakeReply r;
    r.status = status;
    r.body = body;
    r.contentType = contentType;
    return r;
}

FakeReply FakeReply::statusOnly(int status)
{
    FakeReply r;
    r.status = status;
    return r;
}

FakeReply FakeReply::hanging()
{
    FakeReply r;
    r.hang = true;
    return r;
}

FakeReply FakeReply::dropped()
{
    FakeReply r;
    r.drop = true;
    return r;
}

FakeReply FakeReply::sized(qint64 bytes, const QByteArray &contentType)
{
    FakeReply r;
    r.sizedBody = bytes;
    r.contentType = contentType;
    return r;
}

FakeReply FakeReply::shortBody(const QByteArray &body, qint64 bytesSent, const QByteArray &contentType)
{
    FakeReply r;
    r.body = body;
    r.cutAfter = bytesSent;
    r.contentType = contentType;
    return r;
}

// --- helpers --------------------------------------------------------------

static QByteArray compact(const QJsonObject &o)
{
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

static QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 201:
        return "Created";
    case 204:
        return "No Content";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    case 502:
        return "Bad Gateway";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

static QByteArray headBlock(int status, const QByteArray &contentType, qint64 length,
                            const HttpHeaders &extra)
{
    QByteArray head = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status) + "\r\n";
    if (!contentType.isEmpty())
        head += "Content-Type: " + contentType + "\r\n";
    head += "Content-Length: " + QByteArray::number(length) + "\r\n";
    for (const auto &h : extra)
        head += h.first + ": " + h.second + "\r\n";
    head += "\r\n";
    return head;
}

static QString scriptKey(const QByteArray &method, const QString &path)
{
    return QString::fromLatin1(method.toUpper()) + QLatin1Char(' ') + path;
}

static QByteArray methodName(const QHttpServerRequest &request)
{
    switch (request.method()) {
    case QHttpServerRequest::Method::Get:
        return "GET";
    case QHttpServerRequest::Method::Put:
        return "PUT";
    case QHttpServerRequest::Method::Delete:
        return "DELETE";
    case QHttpServerRequest::Method::Post:
        return "POST";
    case QHttpServerRequest::Method::Head:
        return "HEAD";
    case QHttpServerRequest::Method::Options:
        return "OPTIONS";
    case QHttpServerRequest::Method::Patch:
        return "PATCH";
    case QHttpServerRequest::Method::Connect:
        return "CONNECT";
    case QHttpServerRequest::Method::Trace:
        return "TRACE";
    default:
        return "UNKNOWN";
    }
}

// A small picture whose colour follows its path, so covers tell apart.
static QByteArray generatedPng(const QString &path)
{
    const QByteArray digest = QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Md5);
    QImage image(64, 64, QImage::Format_RGB32);
    image.fill(QColor(quint8(digest[0]), quint8(digest[1]), quint8(digest[2])));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// --- FakeService ----------------------------------------------------------

FakeService::FakeService(QObject *parent) : QObject(parent), m_server(std::make_unique<QHttpServer>())
{
    m_server->setMissingHandler([this](const QHttpServerRequest &request, QHttpServerResponder &&responder) {
        handle(request, std::move(responder));
    });
    loadSampleData();
}

FakeService::~FakeService()
{
    for (const QPointer<QTcpSocket> &socket : std::as_const(m_hanging)) {
        if (socket)
            socket->abort();
    }
    for (const auto &held : std::as_const(m_held)) {
        if (held.first)
            held.first->abort();
    }
}

bool FakeService::listen(const QHostAddress &address, quint16 port)
{
    // The fake never serves anything but this machine.
    bool v4 = false;
    const quint32 ip = address.toIPv4Address(&v4);
    const bool loopback = v4 ? (ip >> 24) == 127 : address == QHostAddress(QHostAddress::LocalHostIPv6);
    if (!loopback)
        return false;
    m_port = m_server->listen(address, port);
    if (m_port != 0)
        m_address = address;
    return m_port != 0;
}

QUrl FakeService::origin() const
{
    const QString host = m_address.protocol() == QAbstractSocket::IPv6Protocol
                             ? QLatin1Char('[') + m_address.toString() + QLatin1Char(']')
                             : m_address.toString();
    return QUrl(QStringLiteral("http://%1:%2").arg(host).arg(m_port));
}

QUrl FakeService::url(const QString &pathAndQuery) const
{
    return QUrl(origin().toString() + pathAndQuery);
}

void FakeService::script(const QByteArray &method, const QString &path, const FakeReply &reply)
{
    m_scripts.insert(scriptKey(method, path), reply);
}

void FakeService::clearScript(const QByteArray &method, const QString &path)
{
    m_scripts.remove(scriptKey(method, path));
}

void FakeService::clearScripts()
{
    m_scripts.clear();
}

int FakeService::releaseHeld()
{
    const auto held = std::exchange(m_held, {});
    for (const auto &entry : held)
        deliver(entry.first, entry.second);
    return int(held.size());
}

QList<RecordedRequest> FakeService::requests(const QString &path) const
{
    QList<RecordedRequest> out;
    for (const RecordedRequest &r : m_requests) {
        if (r.path == path)
            out.append(r);
    }
    return out;
}

int FakeService::requestCount(const QString &path) const
{
    return int(requests(path).size());
}

RecordedRequest FakeService::lastRequest(const QString &path) const
{
    for (auto it = m_requests.crbegin(); it != m_requests.crend(); ++it) {
        if (it->path == path)
            return *it;
    }
    return RecordedRequest();
}

void FakeService::setUpload(const QString &path, const QByteArray &bytes, const QByteArray &contentType)
{
    m_uploads.insert(path, {bytes, contentType});
}

void FakeService::handle(const QHttpServerRequest &request, QHttpServerResponder &&responder)
{
    RecordedRequest recorded;
    recorded.method = methodName(request);
    recorded.path = request.url().path();
    recorded.query = QUrlQuery(request.url());
    recorded.headers = request.headers();
    recorded.body = request.body();
    m_requests.append(recorded);
    emit requestReceived(recorded);

    FakeReply reply;
    const QString key = scriptKey(recorded.method, recorded.path);
    auto scripted = m_scripts.find(key);
    if (scripted != m_scripts.end()) {
        reply = scripted.value();
        if (scripted->times > 0 && --scripted->times == 0)
            m_scripts.erase(scripted);
    } else {
        const Answer answer = builtIn(recorded);
        reply.status = answer.status;
        reply.body = answer.body;
        reply.contentType = answer.contentType;
        reply.headers = answer.headers;
    }

    const bool plain = !reply.hang && !reply.held && !reply.drop && reply.delayMs <= 0 &&
                       reply.sizedBody < 0 && reply.stallAfter < 0 && reply.cutAfter < 0;
    if (plain) {
        responder.writeStatusLine(static_cast<QHttpServerResponder::StatusCode>(reply.status));
        if (!reply.contentType.isEmpty())
            responder.writeHeader("Content-Type", reply.contentType);
        responder.writeHeader("Content-Length", QByteArray::number(reply.body.size()));
        for (const auto &h : std::as_const(reply.headers))
            responder.writeHeader(h.first, h.second);
        responder.writeBody(reply.body);
        return;
    }
    // Faults are written straight to the connection, at the time the script asks.
    QPointer<QTcpSocket> socket(responder.socket());
    if (reply.held) {
        FakeReply answer = reply;
        answer.held = false;
        m_held.append({socket, answer});
        return;
    }
    if (reply.delayMs > 0) {
        QTimer::singleShot(reply.delayMs, this, [this, socket, reply]() {
            if (socket)
                deliver(socket, reply);
        });
        return;
    }
    deliver(socket, reply);
}

void FakeService::deliver(QTcpSocket *socket, const FakeReply &reply)
{
    if (!socket)
        return;
    if (reply.drop) {
        socket->abort();
        return;
    }
    if (reply.hang) {
        m_hanging.append(socket);
        return;
    }
    if (reply.cutAfter >= 0) {
        const qint64 total = reply.sizedBody >= 0 ? reply.sizedBody : reply.body.size();
        const qint64 sent = std::min(total, reply.cutAfter);
        socket->write(headBlock(reply.status, reply.contentType, total, reply.headers));
        socket->write(reply.sizedBody >= 0 ? QByteArray(int(sent), 'q') : reply.body.left(sent));
        socket->disconnectFromHost();
        return;
    }
    if (reply.sizedBody >= 0 || reply.stallAfter >= 0) {
        const qint64 total = reply.sizedBody >= 0 ? reply.sizedBody : reply.body.size();
        socket->write(headBlock(reply.status, reply.contentType, total, reply.headers));
        qint64 toSend = total;
        if (reply.stallAfter >= 0) {
            toSend = std::min(total, reply.stallAfter);
            m_hanging.append(socket);
        }
        if (reply.sizedBody < 0) {
            socket->write(reply.body.left(toSend));
            return;
        }
        writeSized(socket, toSend, reply);
        return;
    }
    socket->write(headBlock(reply.status, reply.contentType, reply.body.size(), reply.headers) + reply.body);
}

void FakeService::writeSized(QPointer<QTcpSocket> socket, qint64 remaining, const FakeReply &reply)
{
    const qint64 chunk = std::max(1, reply.chunkSize);
    if (reply.chunkIntervalMs > 0) {
        if (!socket || remaining <= 0)
            return;
        const qint64 n = std::min(remaining, chunk);
        socket->write(QByteArray(int(n), 'q'));
        remaining -= n;
        if (remaining > 0)
            QTimer::singleShot(reply.chunkIntervalMs, this,
                               [this, socket, remaining, reply]() { writeSized(socket, remaining, reply); });
        return;
    }
    // Streamed as a server would: no more than a window ahead of what the
    // connection took, so a body of many megabytes is never held whole, and
    // a client that hangs up after the head stops it.
    constexpr qint64 kWindow = 256 * 1024;
    const QByteArray block(int(std::min(remaining, chunk)), 'q');
    while (socket && socket->state() == QAbstractSocket::ConnectedState && remaining > 0 &&
           socket->bytesToWrite() < kWindow) {
        const qint64 n = std::min<qint64>(remaining, block.size());
        socket->write(block.constData(), n);
        remaining -= n;
    }
    if (socket && socket->state() == QAbstractSocket::ConnectedState && remaining > 0)
        connect(
            socket, &QTcpSocket::bytesWritten, this,
            [this, socket, remaining, reply]() { writeSized(socket, remaining, reply); },
            Qt::SingleShotConnection);
}

// --- the built-in service -------------------------------------------------

QJsonObject FakeService::userObject() const
{
    return QJsonObject{{QStringLiteral("id"), m_account.id},
                       {QStringLiteral("email"), m_account.email},
                       {QStringLiteral("first_name"), m_account.firstName}};
}

void FakeService::newSession()
{
    if (!m_token.isEmpty())
        m_expiredTokens.append(m_token);
    ++m_sessionCounter;
    m_token = QStringLiteral("demo-token-%1-%2")
                  .arg(m_sessionCounter)
                  .arg(QString::fromLatin1(
                      QCryptographicHash::hash(
                          QByteArray::number(QDateTime::currentMSecsSinceEpoch() + m_sessionCounter),
                          QCryptographicHash::Sha1)
                          .toHex()
                          .left(12)));
    m_sessionId = QStringLiteral("session-%1").arg(m_sessionCounter);
    saveSessions();
}

void FakeService::startSessionElsewhere()
{
    newSession();
}

namespace {

// Ended sessions a stored file remembers (their heartbeats then get "Session
// expired" rather than "Unauthorized"): enough for any trial by hand.
constexpr int kStoredExpiredTokens = 32;

} // namespace

bool FakeService::setSessionFile(const QString &path, QString *error)
{
    m_sessionFile = path;
    QFile file(path);
    if (!file.exists())
        return true;
    QJsonParseError parse{};
    const QJsonDocument document =
        file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll(), &parse) : QJsonDocument();
    const QJsonObject stored = document.object();
    const int counter = stored.value(QStringLiteral("counter")).toInt(-1);
    const QString token = stored.value(QStringLiteral("token")).toString();
    const QString sessionId = stored.value(QStringLiteral("session_id")).toString();
    if (!document.isObject() || counter < 0 || token.isEmpty() != sessionId.isEmpty()) {
        if (error)
            *error = file.error() != QFileDevice::NoError      ? file.errorString()
                     : parse.error != QJsonParseError::NoError ? parse.errorString()
                                                               : QStringLiteral("not a sessions file");
        return false;
    }
    m_sessionCounter = counter;
    m_token = token;
    m_sessionId = sessionId;
    m_expiredTokens.clear();
    for (const QJsonValue &expired : stored.value(QStringLiteral("expired")).toArray()) {
        if (!expired.toString().isEmpty())
            m_expiredTokens.append(expired.toString());
    }
    return true;
}

void FakeService::saveSessions() const
{
    if (m_sessionFile.isEmpty())
        return;
    QJsonArray expired;
    for (const QString &token :
         m_expiredTokens.mid(qMax(0, int(m_expiredTokens.size()) - kStoredExpiredTokens)))
        expired.append(token);
    QSaveFile file(m_sessionFile);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(compact(QJsonObject{{QStringLiteral("counter"), m_sessionCounter},
                                       {QStringLiteral("token"), m_token},
                                       {QStringLiteral("session_id"), m_sessionId},
                                       {QStringLiteral("expired"), expired}})) < 0 ||
        !file.commit())
        qWarning().noquote() << "fake service: cannot store the sessions in" << m_sessionFile
                             << file.errorString();
}

bool FakeService::bearerIsCurrent(const RecordedRequest &request) const
{
    const QByteArray auth = request.header("Authorization");
    return !m_token.isEmpty() && auth == "Bearer " + m_token.toUtf8();
}

FakeService::Answer FakeService::builtIn(const RecordedRequest &r)
{
    Answer a;
    auto json = [&a](const QJsonObject &o, int status = 200) {
        a.status = status;
        a.body = compact(o);
    };
    auto unauthorized = [&]() {
        json({{QStringLiteral("success"), false}, {QStringLiteral("error"), QStringLiteral("Unauthorized")}},
             401);
    };
    auto signedIn = [&]() {
        newSession();
        json({{QStringLiteral("success"), true},
              {QStringLiteral("token"), m_token},
              {QStringLiteral("session_id"), m_sessionId},
              {QStringLiteral("user"), userObject()}});
    };
    const QString &p = r.path;
    const bool get = r.method == "GET";
    const bool post = r.method == "POST";

    if (post && p == QLatin1String("/api/auth/user-login")) {
        const QJsonObject body = r.json();
        if (body.value(QStringLiteral("email")).toString().compare(m_account.email, Qt::CaseInsensitive) ==
                0 &&
            body.value(QStringLiteral("password")).toString() == m_account.password)
            signedIn();
        else
            json({{QStringLiteral("success"), false},
                  {QStringLiteral("message"), QStringLiteral("Invalid email or password")}},
                 401);
    } else if (post && p == QLatin1String("/api/auth/discord/login")) {
        const QString email = r.json().value(QStringLiteral("email")).toString();
        if (!email.isEmpty() && (email.compare(m_account.discordEmail, Qt::CaseInsensitive) == 0 ||
                                 email.compare(m_account.email, Qt::CaseInsensitive) == 0))
            signedIn();
        else
            json({{QStringLiteral("success"), false},
                  {QStringLiteral("message"), QStringLiteral("No account")}},
                 404);
    } else if (get && p == QLatin1String("/api/auth/validate")) {
        if (bearerIsCurrent(r))
            json({{QStringLiteral("success"), true},
                  {QStringLiteral("session_id"), m_sessionId},
                  {QStringLiteral("user"), userObject()}});
        else
            unauthorized();
    } else if (post && p == QLatin1String("/api/auth/heartbeat")) {
        const QByteArray auth = r.header("Authorization");
        const QString sent = r.json().value(QStringLiteral("session_id")).toString();
        const bool expiredToken =
            auth.startsWith("Bearer ") && m_expiredTokens.contains(QString::fromUtf8(auth.mid(7)));
        if (bearerIsCurrent(r) && (sent.isEmpty() || sent == m_sessionId))
            json({{QStringLiteral("success"), true}});
        else if (expiredToken || bearerIsCurrent(r))
            json({{QStringLiteral("error"), QStringLiteral("Session expired")},
                  {QStringLiteral("reason"), QStringLiteral("Signed in on another device")}},
                 401);
        else
            unauthorized();
    } else if (get && p == QLatin1String("/api/app-updates")) {
        json({{QStringLiteral("success"), true}, {QStringLiteral("data"), QJsonArray{m_latestRelease}}});
    } else if (get && p == QLatin1String("/api/app-version/validate")) {
        json(m_versionVerdict);
    } else if (get && p == QLatin1String("/api/promo/evaluate")) {
        if (bearerIsCurrent(r))
            json(m_promo);
        else
            unauthorized();
    } else if (post && p == QLatin1String("/api/promo/event")) {
        if (bearerIsCurrent(r)) {
            m_promoEvents.append(r.json().value(QStringLiteral("event_name")).toString());
            json({{QStringLiteral("ok"), true}});
        } else {
            unauthorized();
        }
    } else if (post && p == QLatin1String("/api/promo/link/create")) {
        if (bearerIsCurrent(r))
            json({{QStringLiteral("ok"), true},
                  {QStringLiteral("url"), url(QStringLiteral("/pricing?ref=demo")).toString()}});
        else
            unauthorized();
    } else if (get && p == QLatin1String("/api/games")) {
        json({{QStringLiteral("data"), m_games}});
    } else if (get && p == QLatin1String("/api/servers")) {
        json({{QStringLiteral("servers"), m_servers}});
    } else if (get && p == QLatin1String("/api/notifications")) {
        if (!bearerIsCurrent(r)) {
            unauthorized();
        } else {
            const QJsonArray all = m_notifications.value(r.query.queryItemValue(QStringLiteral("scope")));
            bool ok = false;
            int limit = r.query.queryItemValue(QStringLiteral("limit")).toInt(&ok);
            if (!ok || limit < 0)
                limit = 20;
            QJsonArray items;
            for (int i = 0; i < all.size() && i < limit; ++i) {
                QJsonObject item = all.at(i).toObject();
                if (m_readIds.contains(item.value(QStringLiteral("id")).toString()))
                    item.insert(QStringLiteral("unread"), false);
                items.append(item);
            }
            json({{QStringLiteral("items"), items}});
        }
    } else if (post && p == QLatin1String("/api/notifications/mark-read")) {
        if (bearerIsCurrent(r)) {
            for (const QJsonValue &id : r.json().value(QStringLiteral("ids")).toArray()) {
                if (!m_readIds.contains(id.toString()))
                    m_readIds.append(id.toString());
            }
            json({{QStringLiteral("success"), true}});
        } else {
            unauthorized();
        }
    } else if (get && p == QLatin1String("/json/")) {
        json(m_geo);
    } else if (post && p == QLatin1String("/api/v10/oauth2/token")) {
        const QUrlQuery form(QString::fromUtf8(r.body));
        const QString code = form.queryItemValue(QStringLiteral("code"));
        if (code.isEmpty() || form.queryItemValue(QStringLiteral("code_verifier")).isEmpty())
            json({{QStringLiteral("error"), QStringLiteral("invalid_grant")},
                  {QStringLiteral("error_description"), QStringLiteral("Invalid \"code\" in request.")}},
                 400);
        else
            json({{QStringLiteral("access_token"), QStringLiteral("discord-access-") + code},
                  {QStringLiteral("token_type"), QStringLiteral("Bearer")},
                  {QStringLiteral("expires_in"), 604800},
                  {QStringLiteral("scope"), QStringLiteral("identify email")}});
    } else if (get && p == QLatin1String("/api/users/@me")) {
        if (r.header("Authorization").startsWith("Bearer discord-access-"))
            json({{QStringLiteral("id"), QStringLiteral("100000000000000001")},
                  {QStringLiteral("username"), QStringLiteral("demo")},
                  {QStringLiteral("email"), m_account.discordEmail}});
        else
            json({{QStringLiteral("message"), QStringLiteral("401: Unauthorized")},
                  {QStringLiteral("code"), 0}},
                 401);
    } else if (get && p == QLatin1String("/api/v10/oauth2/authorize")) {
        // The provider sends the browser to the redirect URI with a code ...
        QUrl target(r.query.queryItemValue(QStringLiteral("redirect_uri"), QUrl::FullyDecoded));
        QUrlQuery q;
        q.addQueryItem(QStringLiteral("code"), QStringLiteral("demo-code"));
        q.addQueryItem(QStringLiteral("state"), r.query.queryItemValue(QStringLiteral("state")));
        target.setQuery(q);
        a.status = 302;
        a.contentType = "text/plain";
        a.headers.append({"Location", target.toEncoded()});
    } else if (get && p == QLatin1String("/callback")) {
        // ... and the service's callback page hands the code to the client's listener.
        a.status = 302;
        a.contentType = "text/plain";
        QUrl listener(QStringLiteral("http://127.0.0.1/callback"));
        listener.setPort(m_discordListenerPort);
        QByteArray query = "code=" + QUrl::toPercentEncoding(
                                         r.query.queryItemValue(QStringLiteral("code"), QUrl::FullyDecoded));
        if (r.query.hasQueryItem(QStringLiteral("state")))
            query += "&state=" + QUrl::toPercentEncoding(
                                     r.query.queryItemValue(QStringLiteral("state"), QUrl::FullyDecoded));
        a.headers.append({"Location", listener.toEncoded() + '?' + query});
    } else if (get && p.startsWith(QLatin1String("/uploads/"))) {
        const auto upload = m_uploads.constFind(p);
        if (upload != m_uploads.constEnd()) {
            a.body = upload->first;
            a.contentType = upload->second;
        } else if (p.endsWith(QLatin1String(".png"), Qt::CaseInsensitive) ||
                   p.endsWith(QLatin1String(".jpg"), Qt::CaseInsensitive)) {
            a.body = generatedPng(p);
            a.contentType = "image/png";
        } else {
            json({{QStringLiteral("error"), QStringLiteral("Not found")}}, 404);
        }
    } else if (get && (p == QLatin1String("/pricing") || p == QLatin1String("/register") ||
                       p == QLatin1String("/password/reset"))) {
        a.contentType = "text/html; charset=utf-8";
        a.body = "<html><body><h3>Quorlix development service</h3><p>" + p.toHtmlEscaped().toUtf8() +
                 "</p></body></html>";
    } else {
        json({{QStringLiteral("error"), QStringLiteral("Not found")}}, 404);
    }
    return a;
}

// --- sample data ----------------------------------------------------------

QJsonArray FakeService::sampleServers()
{
    struct Relay
    {
        const char *id, *name, *ip, *region, *country, *code, *city;
        int port;
        const char *status;
    };
    const Relay relays[] = {
        {"eu-fra-1", "Frankfurt 1", "127.0.0.11", "Europe", "Germany", "DE", "Frankfurt", 50000, "active"},
        {"eu-ams-1", "Amsterdam 1", "127.0.0.12", "Europe", "Netherlands", "NL", "Amsterdam", 50000,
         "active"},
        {"eu-par-1", "Paris 1", "127.0.0.13", "Europe", "France", "FR", "Paris", 50000, "active"},
        {"me-dxb-1", "Dubai 1", "127.0.0.21", "Middle East", "United Arab Emirates", "AE", "Dubai", 50000,
         "active"},
        {"as-ist-1", "Istanbul 1", "127.0.0.22", "Asia", "Turkey", "TR", "Istanbul", 50000, "active"},
        {"eu-lon-1", "London 1", "127.0.0.14", "Europe", "United Kingdom", "GB", "London", 50000,
         "maintenance"},
    };
    QJsonArray out;
    for (const Relay &r : relays) {
        out.append(QJsonObject{
            {QStringLiteral("id"), QLatin1String(r.id)},
            {QStringLiteral("name"), QLatin1String(r.name)},
            {QStringLiteral("hostname"), QStringLiteral("%1.relay.quorlix.test").arg(QLatin1String(r.id))},
            {QStringLiteral("ip_address"), QLatin1String(r.ip)},
            {QStringLiteral("port"), r.port},
            {QStringLiteral("region"), QLatin1String(r.region)},
            {QStringLiteral("country"), QLatin1String(r.country)},
            {QStringLiteral("country_code"), QLatin1String(r.code)},
            {QStringLiteral("city"), QLatin1String(r.city)},
            {QStringLiteral("flag"),
             QStringLiteral("/uploads/flags/%1.png").arg(QString::fromLatin1(r.code).toLower())},
            {QStringLiteral("provider"), QStringLiteral("Loopback Hosting")},
            {QStringLiteral("status"), QLatin1String(r.status)},
            {QStringLiteral("capacity_mbps"), 1000},
            {QStringLiteral("active_connections"), 12},
            {QStringLiteral("max_connections"), 500},
            {QStringLiteral("created_at"), QStringLiteral("2026-01-05T10:00:00Z")},
            {QStringLiteral("updated_at"), QStringLiteral("2026-11-20T08:30:00Z")},
        });
    }
    return out;
}

QJsonArray FakeService::sampleGames()
{
    auto game = [](const char *id, const char *name, const char *category, const char *type, QJsonArray udp,
                   QJsonArray tcp, QJsonArray domains, QJsonArray profiles, bool free) {
        const QString slug = QString::fromLatin1(id);
        return QJsonObject{
            {QStringLiteral("id"), slug},
            {QStringLiteral("title"), QLatin1String(name)},
            {QStringLiteral("name"), QLatin1String(name)},
            {QStringLiteral("description"), QStringLiteral("Sample title of the development service.")},
            {QStringLiteral("category"), QLatin1String(category)},
            {QStringLiteral("type"), QLatin1String(type)},
            {QStringLiteral("tags"), QJsonArray{QStringLiteral("sample"), QLatin1String(type)}},
            {QStringLiteral("executable"), slug + QStringLiteral(".exe")},
            {QStringLiteral("coverImage"), QStringLiteral("/uploads/covers/%1.png").arg(slug)},
            {QStringLiteral("logo"), QStringLiteral("/uploads/logos/%1.png").arg(slug)},
            {QStringLiteral("udp_ports"), udp},
            {QStringLiteral("tcp_ports"), tcp},
            {QStringLiteral("domains"), domains},
            {QStringLiteral("profiles"), profiles},
            {QStringLiteral("is_free_effective"), free},
            {QStringLiteral("free_source"), free ? QStringLiteral("promo") : QString()},
            {QStringLiteral("free_days_left"), free ? 7 : 0},
            {QStringLiteral("status"), QStringLiteral("active")},
            {QStringLiteral("created_at"), QStringLiteral("2026-02-01T12:00:00")},
            {QStringLiteral("updated_at"), QStringLiteral("2026-11-01T12:00:00")},
        };
    };
    const QJsonObject steam{{QStringLiteral("id"), QStringLiteral("steam")},
                            {QStringLiteral("title"), QStringLiteral("Steam Launcher")},
                            {QStringLiteral("udp_ports"), QJsonArray{QStringLiteral("27000-27100")}},
                            {QStringLiteral("tcp_ports"), QJsonArray{27015}},
                            {QStringLiteral("domains"), QJsonArray{QStringLiteral("steam.example.test")}}};
    const QJsonObject voice{{QStringLiteral("id"), QStringLiteral("voice")},
                            {QStringLiteral("title"), QStringLiteral("Voice Chat")},
                            {QStringLiteral("udp_ports"), QJsonArray{QStringLiteral("50000-50100")}},
                            {QStringLiteral("tcp_ports"), QJsonArray{}},
                            {QStringLiteral("domains"), QJsonArray{QStringLiteral("voice.example.test")}}};
    QJsonArray out;
    out.append(game("arena-strike", "Arena Strike", "PC", "Shooter", {QStringLiteral("27015-27030"), 3478},
                    {QStringLiteral("27015")}, {QStringLiteral("arena.example.test")}, {steam, voice}, true));
    out.append(game("sky-racers", "Sky Racers", "PC", "Racing", {QStringLiteral("7000-7100")}, {443},
                    {QStringLiteral("racers.example.test")}, {}, false));
    out.append(game("web-tactics", "Web Tactics", "PC", "Strategy", {}, {},
                    {QStringLiteral("tactics.example.test")}, {}, false));
    out.append(game("console-legends", "Console Legends", "PlayStation 5", "Action",
                    {QStringLiteral("3478-3480")}, {QStringLiteral("3480")}, {}, {}, false));
    return out;
}

void FakeService::loadSampleData()
{
    m_account = Account{QStringLiteral("user-1001"), QLatin1String(kDemoEmail), QLatin1String(kDemoPassword),
                        QStringLiteral("Demo"), QLatin1String(kDemoDiscordEmail)};
    m_servers = sampleServers();
    m_games = sampleGames();
    // Unread and read ones in both scopes, a few minutes to days old.
    const QDateTime now = QDateTime::currentDateTimeUtc();
    auto note = [&now](const char *id, const char *title, const char *body, qint64 ageSeconds, bool unread) {
        return QJsonObject{{QStringLiteral("id"), QLatin1String(id)},
                           {QStringLiteral("title"), QLatin1String(title)},
                           {QStringLiteral("body"), QLatin1String(body)},
                           {QStringLiteral("created_at"), now.addSecs(-ageSeconds).toString(Qt::ISODate)},
                           {QStringLiteral("unread"), unread}};
    };
    m_notifications[QStringLiteral("personal")] = QJsonArray{
        note("n-p-1", "Welcome to Quorlix", "Your demo account is ready.", 0, true),
        note("n-p-2", "Ticket answered: #1042", "Support replied to your question about relay choice.", 300,
             true),
        note("n-p-3", "Your weekly summary", "You played 6 hours through 3 relays this week.", 3 * 3600,
             false),
        note("n-p-4", "Password changed", "The password of your account was changed.", 2 * 86400, false)};
    m_notifications[QStringLiteral("public")] = QJsonArray{
        note("n-g-1", "New relays in Europe", "Frankfurt, Amsterdam and Paris are online.", 0, true),
        note("n-g-2", "Maintenance finished", "All relays are back after the planned maintenance.", 26 * 3600,
             false)};
    m_latestRelease = QJsonObject{{QStringLiteral("version"), QStringLiteral("2.0.0")},
                                  {QStringLiteral("download_url"), QStringLiteral("#")},
                                  {QStringLiteral("is_required"), 0}};
    m_versionVerdict = QJsonObject{{QStringLiteral("valid"), true},
                                   {QStringLiteral("blocked"), false},
                                   {QStringLiteral("force_update"), false}};
    m_promo = QJsonObject{
        {QStringLiteral("cta"), QJsonObject{{QStringLiteral("kind"), QStringLiteral("upgrade")},
                                            {QStringLiteral("title"), QString()}}},
        {QStringLiteral("badge"),
         QJsonObject{{QStringLiteral("percent"), 20}, {QStringLiteral("text"), QStringLiteral("20% OFF")}}}};
    m_geo = QJsonObject{{QStringLiteral("isp"), QStringLiteral("Loopback Networks")},
                        {QStringLiteral("country"), QStringLiteral("Germany")},
                        {QStringLiteral("countryCode"), QStringLiteral("DE")},
                        {QStringLiteral("city"), QStringLiteral("Frankfurt")}};
}
