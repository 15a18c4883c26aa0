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

EndpointInfo info(Endpoint endpoint)
{
    EndpointInfo e;
    switch (endpoint) {
    case Endpoint::UserLogin:
        e.method = "POST", e.path = QStringLiteral("/api/auth/user-login");
        e.deviceId = e.jsonBody = true;
        break;
    case Endpoint::DiscordLogin:
        e.method = "POST", e.path = QStringLiteral("/api/auth/discord/login");
        e.deviceId = e.jsonBody = true;
        break;
    case Endpoint::ValidateToken:
        e.method = "GET", e.path = QStringLiteral("/api/auth/validate");
        e.authorization = e.deviceId = true;
        break;
    case Endpoint::Heartbeat:
        e.method = "POST", e.path = QStringLiteral("/api/auth/heartbeat");
        e.authorization = e.deviceId = e.jsonBody = true;
        break;
    case Endpoint::AppUpdates:
        e.method = "GET", e.path = QStringLiteral("/api/app-updates?latest=true");
        e.accept = true;
        break;
    case Endpoint::VersionValidate:
        e.method = "GET", e.path = QStringLiteral("/api/app-version/validate");
        e.accept = e.appVersion = true;
        break;
    case Endpoint::PromoEvaluate:
        e.method = "GET", e.path = QStringLiteral("/api/promo/evaluate");
        e.authorization = e.deviceId = true;
        break;
    case Endpoint::PromoEvent:
        e.method = "POST", e.path = QStringLiteral("/api/promo/event");
        e.authorization = e.deviceId = e.jsonBody = true;
        e.inactivityTimeoutMs = 4000;
        break;
    case Endpoint::PromoLinkCreate:
        e.method = "POST", e.path = QStringLiteral("/api/promo/link/create");
        e.authorization = e.deviceId = e.jsonBody = true;
        break;
    case Endpoint::Games:
        e.method = "GET", e.path = QStringLiteral("/api/games");
        e.accept = e.userAgent = true;
        break;
    case Endpoint::ServersSync:
        // The synchronisation and the ping sweep announce JSON instead of asking for it.
        e.method = "GET", e.path = QStringLiteral("/api/servers");
        e.jsonBody = true;
        break;
    case Endpoint::ServersPicker:
        e.method = "GET", e.path = QStringLiteral("/api/servers");
        e.accept = true;
        break;
    case Endpoint::Notifications:
        e.method = "GET", e.path = QStringLiteral("/api/notifications");
        e.authorization = e.userAgent = true;
        break;
    case Endpoint::NotificationsMarkRead:
        e.method = "POST", e.path = QStringLiteral("/api/notifications/mark-read");
        e.authorization = e.userAgent = e.jsonBody = true;
        break;
    }
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
