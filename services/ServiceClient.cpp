#include "services/ServiceClient.h"

#include "services/NetworkAccess.h"
#include "services/ReplyBounds.h"

#include <QFutureWatcher>
#include <QNetworkAccessManager>
#include <QNetworkCookieJar>
#include <QtConcurrent/QtConcurrentRun>

ServiceClient::ServiceClient(QObject *parent)
    : ServiceClient(ServiceConfig::instance(), &ServiceApi::storedCredentials, parent)
{}

ServiceClient::ServiceClient(const ServiceConfig &config, CredentialsSource credentials, QObject *parent)
    : QObject(parent), m_config(config), m_credentials(std::move(credentials)),
      m_manager(NetworkAccess::createManager(this))
{}

QNetworkReply *ServiceClient::send(ServiceApi::Endpoint endpoint, Handler handler, const QJsonObject &body,
                                   const QUrlQuery &query)
{
    const ServiceApi::Credentials credentials = m_credentials ? m_credentials() : ServiceApi::Credentials();
    return dispatch(m_manager, endpoint, credentials, std::move(handler), body, query);
}

QNetworkReply *ServiceClient::sendAlone(ServiceApi::Endpoint endpoint, const QString &token, Handler handler,
                                        const QJsonObject &body)
{
    ServiceApi::Credentials credentials = m_credentials ? m_credentials() : ServiceApi::Credentials();
    credentials.token = token;
    QNetworkAccessManager *manager = NetworkAccess::createManager(this);
    manager->setCookieJar(new QNetworkCookieJar(manager));
    QNetworkReply *reply = dispatch(manager, endpoint, credentials, std::move(handler), body, {});
    if (!reply) {
        manager->deleteLater();
        return nullptr;
    }
    // Queued behind the handler's own connection, so the handler has run.
    connect(reply, &QNetworkReply::finished, manager, &QObject::deleteLater);
    return reply;
}

QNetworkReply *ServiceClient::dispatch(QNetworkAccessManager *manager, ServiceApi::Endpoint endpoint,
                                       const ServiceApi::Credentials &credentials, Handler handler,
                                       const QJsonObject &body, const QUrlQuery &query)
{
    const ServiceApi::EndpointInfo e = ServiceApi::info(endpoint);
    std::optional<QNetworkRequest> request = ServiceApi::buildRequest(endpoint, m_config, credentials, query);
    if (!request)
        return nullptr;
    ServiceApi::keepCredentialsAtOrigin(&*request);
    QNetworkReply *reply = nullptr;
    if (e.method == "POST")
        reply = manager->post(*request, ServiceApi::compactJson(body));
    else
        reply = manager->get(*request);
    int inactivity = m_inactivityTimeoutMs;
    if (e.inactivityTimeoutMs > 0 && e.inactivityTimeoutMs < inactivity)
        inactivity = e.inactivityTimeoutMs;
    return track(reply, inactivity, std::move(handler));
}

QNetworkReply *ServiceClient::get(const QNetworkRequest &request, Handler handler)
{
    QNetworkRequest sent(request);
    ServiceApi::keepCredentialsAtOrigin(&sent);
    return track(m_manager->get(sent), m_inactivityTimeoutMs, std::move(handler));
}

QNetworkReply *ServiceClient::post(const QNetworkRequest &request, const QByteArray &body, Handler handler)
{
    QNetworkRequest sent(request);
    ServiceApi::keepCredentialsAtOrigin(&sent);
    return track(m_manager->post(sent, body), m_inactivityTimeoutMs, std::move(handler));
}

QNetworkReply *ServiceClient::download(const QNetworkRequest &request, Handler handler)
{
    QNetworkRequest sent(request);
    ServiceApi::keepCredentialsAtOrigin(&sent);
    return track(m_manager->get(sent), m_inactivityTimeoutMs, std::move(handler), Body::File);
}

QNetworkReply *ServiceClient::track(QNetworkReply *reply, int inactivityMs, Handler handler, Body kind)
{
    ServiceApi::watchInactivity(reply, inactivityMs);
    if (kind == Body::Json)
        ServiceApi::limitBody(reply, ReplyBounds::kMaxBodyBytes);
    connect(reply, &QNetworkReply::finished, this, [this, reply, kind, handler = std::move(handler)]() {
        ServiceApi::Reply result = ServiceApi::readReply(reply);
        if (kind == Body::File || result.body.size() <= ReplyBounds::kParseOffThreadBytes) {
            if (handler)
                handler(result);
            return;
        }
        // A large body is parsed on a worker thread; the handler runs on this
        // thread once it is done, unless the client is gone by then.
        auto *watcher = new QFutureWatcher<QJsonDocument>(this);
        connect(watcher, &QFutureWatcherBase::finished, this, [watcher, result, handler]() mutable {
            result.parsed = std::make_shared<const QJsonDocument>(watcher->result());
            watcher->deleteLater();
            if (handler)
                handler(result);
        });
        const QByteArray body = result.body;
        watcher->setFuture(QtConcurrent::run([body] { return QJsonDocument::fromJson(body); }));
    });
    return reply;
}
