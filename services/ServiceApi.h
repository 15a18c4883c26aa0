#pragma once
// The conventions of the service's web API in one place: which headers each
// request carries, compact JSON bodies, the inactivity time-out that keeps a
// stalled service from hanging a flow, and how a finished reply is read.

#include "services/ServiceConfig.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrlQuery>

#include <memory>
#include <optional>

namespace ServiceApi {

extern const char kAppVersion[]; // "2.0.0"
extern const char kUserAgent[];  // "Quorlix/2.0.0"
constexpr int kInactivityTimeoutMs = 30000;

enum class Endpoint {
    UserLogin,             // POST /api/auth/user-login
    DiscordLogin,          // POST /api/auth/discord/login
    ValidateToken,         // GET  /api/auth/validate
    Heartbeat,             // POST /api/auth/heartbeat
    AppUpdates,            // GET  /api/app-updates?latest=true
    VersionValidate,       // GET  /api/app-version/validate
    PromoEvaluate,         // GET  /api/promo/evaluate
    PromoEvent,            // POST /api/promo/event
    PromoLinkCreate,       // POST /api/promo/link/create
    Games,                 // GET  /api/games
    ServersSync,           // GET  /api/servers (server-list synchronisation, ping sweep)
    ServersPicker,         // GET  /api/servers (picker refresh)
    Notifications,         // GET  /api/notifications?scope=..&limit=..
    NotificationsMarkRead, // POST /api/notifications/mark-read
};

struct EndpointInfo
{
    QByteArray method;
    QString path;               // may carry a fixed query
    bool authorization = false; // "Authorization: Bearer <token>"; not sent while the token is empty
    bool deviceId = false;      // "X-Device-Id"
    bool accept = false;        // "Accept: application/json"
    bool jsonBody = false;      // "Content-Type: application/json"
    bool userAgent = false;     // "User-Agent: Quorlix/2.0.0"
    bool appVersion = false;    // "X-App-Version: 2.0.0"
    int inactivityTimeoutMs = kInactivityTimeoutMs; // the promotion event gives up sooner
};
EndpointInfo info(Endpoint endpoint);

// What account requests carry. The token is the account store's "auth/token".
struct Credentials
{
    QString token;
    QString deviceId;
};
// The stored token (trimmed) and this device's identifier.
Credentials storedCredentials();

// The request of an endpoint, or nothing while it needs a token and the token is empty.
std::optional<QNetworkRequest> buildRequest(Endpoint endpoint, const ServiceConfig &config,
                                            const Credentials &credentials, const QUrlQuery &query = {});
// An image ("/uploads/..." or absolute) with the client's User-Agent.
QNetworkRequest imageRequest(const QUrl &url);
QByteArray compactJson(const QJsonObject &object);

// Aborts the reply when nothing moved for ms; readReply then reports
// QNetworkReply::TimeoutError, the same path as a service that cannot be reached.
void watchInactivity(QNetworkReply *reply, int ms = kInactivityTimeoutMs);
// Aborts the reply as soon as its body is announced or found to be longer
// than maxBytes; readReply then reports it as too large, with no body.
void limitBody(QNetworkReply *reply, qint64 maxBytes);

// A request that carries the account's token or this device's identifier
// follows redirects only within its own origin: whatever answers in the
// service's place must not be able to send them on to another host.
void keepCredentialsAtOrigin(QNetworkRequest *request);
// Scheme, host and port are the same (a missing port counts as the
// scheme's default).
bool sameOrigin(const QUrl &a, const QUrl &b);

// Refused, host not found, timed out, or the network is down.
bool unableToConnect(QNetworkReply::NetworkError error);

// A finished reply as its handler needs it.
struct Reply
{
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    QString errorString;
    int httpStatus = 0; // 0 without a response
    QByteArray body;
    qint64 contentLength = -1; // the "Content-Length" the service announced; -1 without one
    bool timedOut = false;
    bool tooLarge = false; // the body went over its bound and was dropped
    QUrl url;              // where the body came from, after any redirect
    // The body parsed ahead (on a worker thread for a large body); when
    // unset, document() parses it on the spot.
    std::shared_ptr<const QJsonDocument> parsed;

    bool ok() const { return error == QNetworkReply::NoError; }
    // Refused, host not found, timed out, or the network is down.
    bool unableToConnect() const;
    // The body as JSON; an empty document when it does not parse.
    QJsonDocument document() const;
    // The body as a JSON object; an empty object when it is anything else.
    QJsonObject object() const;
};
// Aborts a reply the caller no longer wants; readReply reports it as canceled,
// never as a time-out.
void abortOnPurpose(QNetworkReply *reply);

// Reads status, error and the whole body, and releases the reply (deleteLater).
Reply readReply(QNetworkReply *reply);

} // namespace ServiceApi
