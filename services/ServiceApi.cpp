#include "services/ServiceApi.h"

#include "storage/DeviceId.h"

#include <QJsonDocument>
#include <QPointer>
#include <QSettings>
#include <QTimer>

namespace ServiceApi {

const char kAppVersion[] = "2.0.0";
const char kUserAgent[] = "Quorlix/2.0.0";

static const char kTimedOutProperty[] = "quorlixInactivityTimedOut";
static const char kTooLargeProperty[] = "quorlixBodyTooLarge";
static const char kAbortedProperty[] = "quorlixAbortedOnPurpose";

void abortOnPurpose(QNetworkReply *reply)
{
    if (!reply || reply->isFinished())
        return;
    reply->setProperty(kAbortedProperty, true);
    reply->abort();
}

namespace {

// Which headers each endpoint carries, in the order of Endpoint.
struct EndpointRow
{
    Endpoint endpoint;
    const char *method;
    const char *path;
    bool authorization, deviceId, accept, jsonBody, userAgent, appVersion;
    int inactivityTimeoutMs;
};

constexpr int kDefault = kInactivityTimeoutMs;

// clang-format off
constexpr EndpointRow kEndpoints[] = {
    //                                  method  path                            auth   device accept json   agent  version timeout
    {Endpoint::UserLogin,              "POST", "/api/auth/user-login",          false, true,  false, true,  false, false, kDefault},
    {Endpoint::DiscordLogin,           "POST", "/api/auth/discord/login",       false, true,  false, true,  false, false, kDefault},
    {Endpoint::ValidateToken,          "GET",  "/api/auth/validate",            true,  true,  false, false, false, false, kDefault},
    {Endpoint::Heartbeat,              "POST", "/api/auth/heartbeat",           true,  true,  false, true,  false, false, kDefault},
    {Endpoint::AppUpdates,             "GET",  "/api/app-updates?latest=true",  false, false, true,  false, false, false, kDefault},
    {Endpoint::VersionValidate,        "GET",  "/api/app-version/validate",     false, false, true,  false, false, true,  kDefault},
    {Endpoint::PromoEvaluate,          "GET",  "/api/promo/evaluate",           true,  true,  false, false, false, false, kDefault},
    // The promotion event gives up sooner than the rest.
    {Endpoint::PromoEvent,             "POST", "/api/promo/event",              true,  true,  false, true,  false, false, 4000},
    {Endpoint::PromoLinkCreate,        "POST", "/api/promo/link/create",        true,  true,  false, true,  false, false, kDefault},
    {Endpoint::Games,                  "GET",  "/api/games",                    false, false, true,  false, true,  false, kDefault},
    // The synchronisation and the ping sweep announce JSON instead of asking for it.
    {Endpoint::ServersSync,            "GET",  "/api/servers",                  false, false, false, true,  false, false, kDefault},
    {Endpoint::ServersPicker,          "GET",  "/api/servers",                  false, false, true,  false, false, false, kDefault},
    {Endpoint::Notifications,          "GET",  "/api/notifications",            true,  false, false, false, true,  false, kDefault},
    {Endpoint::NotificationsMarkRead,  "POST", "/api/notifications/mark-read",  true,  false, false, true,  true,  false, kDefault},
};
// clang-format on

constexpr bool rowsInEnumOrder()
{
    for (int i = 0; i < int(sizeof kEndpoints / sizeof kEndpoints[0]); ++i) {
        if (int(kEndpoints[i].endpoint) != i)
            return false;
    }
    return true;
}
static_assert(rowsInEnumOrder(), "kEndpoints must follow the order of Endpoint");
static_assert(sizeof kEndpoints / sizeof kEndpoints[0] == size_t(Endpoint::NotificationsMarkRead) + 1,
              "kEndpoints must list every Endpoint");

} // namespace

EndpointInfo info(Endpoint endpoint)
{
    const EndpointRow &row = kEndpoints[int(endpoint)];
    EndpointInfo e;
    e.method = row.method;
    e.path = QString::fromLatin1(row.path);
    e.authorization = row.authorization;
    e.deviceId = row.deviceId;
    e.accept = row.accept;
    e.jsonBody = row.jsonBody;
    e.userAgent = row.userAgent;
    e.appVersion = row.appVersion;
    e.inactivityTimeoutMs = row.inactivityTimeoutMs;
    return e;
}

Credentials storedCredentials()
{
    Credentials c;
    const QSettings account(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Quorlix"),
                            QStringLiteral("QuorlixApp"));
    c.token = account.value(QStringLiteral("auth/token")).toString().trimmed();
    c.deviceId = DeviceId::get();
    return c;
}

std::optional<QNetworkRequest> buildRequest(Endpoint endpoint, const ServiceConfig &config,
                                            const Credentials &credentials, const QUrlQuery &query)
{
    const EndpointInfo e = info(endpoint);
    const QString token = credentials.token.trimmed();
    if (e.authorization && token.isEmpty())
        return std::nullopt;

    QUrl url = config.serviceUrl(e.path);
    if (!query.isEmpty() && url.isValid()) {
        QUrlQuery merged(url);
        for (const auto &item : query.queryItems(QUrl::FullyEncoded))
            merged.addQueryItem(item.first, item.second);
        url.setQuery(merged);
    }
    QNetworkRequest request(url);
    if (e.jsonBody)
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    if (e.accept)
        request.setRawHeader("Accept", "application/json");
    if (e.authorization)
        request.setRawHeader("Authorization", "Bearer " + token.toUtf8());
    if (e.deviceId)
        request.setRawHeader("X-Device-Id", credentials.deviceId.toUtf8());
    if (e.userAgent)
        request.setHeader(QNetworkRequest::UserAgentHeader, QByteArray(kUserAgent));
    if (e.appVersion)
        request.setRawHeader("X-App-Version", kAppVersion);
    return request;
}

QNetworkRequest imageRequest(const QUrl &url)
{
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, QByteArray(kUserAgent));
    return request;
}

QByteArray compactJson(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

void watchInactivity(QNetworkReply *reply, int ms)
{
    if (!reply || ms <= 0 || reply->isFinished())
        return;
    auto *timer = new QTimer(reply);
    timer->setSingleShot(true);
    timer->setInterval(ms);
    QPointer<QNetworkReply> guard(reply);
    QObject::connect(timer, &QTimer::timeout, reply, [guard]() {
        if (!guard || guard->isFinished())
            return;
        guard->setProperty(kTimedOutProperty, true);
        guard->abort();
    });
    auto restart = [timer]() { timer->start(); };
    QObject::connect(reply, &QNetworkReply::metaDataChanged, timer, restart);
    QObject::connect(reply, &QNetworkReply::downloadProgress, timer, restart);
    QObject::connect(reply, &QNetworkReply::uploadProgress, timer, restart);
    QObject::connect(reply, &QNetworkReply::finished, timer, &QTimer::stop);
    timer->start();
}

void limitBody(QNetworkReply *reply, qint64 maxBytes)
{
    if (!reply || maxBytes < 0 || reply->isFinished())
        return;
    QPointer<QNetworkReply> guard(reply);
    auto refuse = [guard]() {
        if (!guard || guard->isFinished())
            return;
        guard->setProperty(kTooLargeProperty, true);
        guard->abort();
    };
    // The announced length ends it before a byte of the body is buffered.
    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [guard, maxBytes, refuse]() {
        if (guard && guard->header(QNetworkRequest::ContentLengthHeader).toLongLong() > maxBytes)
            refuse();
    });
    QObject::connect(reply, &QNetworkReply::downloadProgress, reply,
                     [maxBytes, refuse](qint64 received, qint64 total) {
                         if (received > maxBytes || total > maxBytes)
                             refuse();
                     });
}

void keepCredentialsAtOrigin(QNetworkRequest *request)
{
    if (request && (request->hasRawHeader("Authorization") || request->hasRawHeader("X-Device-Id")))
        request->setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                              QNetworkRequest::SameOriginRedirectPolicy);
}

bool sameOrigin(const QUrl &a, const QUrl &b)
{
    const QString scheme = a.scheme().toLower();
    const int defaultPort = scheme == QLatin1String("https")  ? 443
                            : scheme == QLatin1String("http") ? 80
                                                              : -1;
    return a.isValid() && b.isValid() && scheme == b.scheme().toLower() &&
           a.host().compare(b.host(), Qt::CaseInsensitive) == 0 && a.port(defaultPort) == b.port(defaultPort);
}

bool unableToConnect(QNetworkReply::NetworkError error)
{
    switch (error) {
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::TimeoutError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
        return true;
    default:
        return false;
    }
}

bool Reply::unableToConnect() const
{
    return ServiceApi::unableToConnect(error);
}

QJsonDocument Reply::document() const
{
    return parsed ? *parsed : QJsonDocument::fromJson(body);
}

QJsonObject Reply::object() const
{
    return document().object();
}

Reply readReply(QNetworkReply *reply)
{
    Reply r;
    if (!reply)
        return r;
    r.error = reply->error();
    r.errorString = reply->errorString();
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    r.httpStatus = status.isValid() ? status.toInt() : 0;
    const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
    if (length.isValid())
        r.contentLength = length.toLongLong();
    r.url = reply->url();
    if (reply->property(kTooLargeProperty).toBool()) {
        // Whatever arrived before the abort is dropped unread.
        r.tooLarge = true;
        r.error = QNetworkReply::UnknownContentError;
        r.errorString = QStringLiteral("The reply was larger than the client takes in");
        reply->deleteLater();
        return r;
    }
    if (reply->isOpen())
        r.body = reply->readAll();
    // Qt ends a reply whose own transfer time-out ran out with "operation
    // canceled"; for the caller that is a service that could not be reached.
    const bool qtTimedOut = r.error == QNetworkReply::OperationCanceledError &&
                            reply->request().transferTimeout() > 0 &&
                            !reply->property(kAbortedProperty).toBool();
    if (reply->property(kTimedOutProperty).toBool() || qtTimedOut) {
        r.timedOut = true;
        r.error = QNetworkReply::TimeoutError;
        r.errorString = QStringLiteral("The service did not answer in time");
    }
    reply->deleteLater();
    return r;
}

} // namespace ServiceApi
