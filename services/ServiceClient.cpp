#include "services/ServiceClient.h"

#include "services/NetworkAccess.h"

#include <QNetworkAccessManager>
#include <QNetworkCookieJar>

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
    const std::optional<QNetworkRequest> request =
        ServiceApi::buildRequest(endpoint, m_config, credentials, query);
    if (!request)
        return nullptr;
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
    return track(m_manager->get(request), m_inactivityTimeoutMs, std::move(handler));
}

QNetworkReply *ServiceClient::post(const QNetworkRequest &request, const QByteArray &body, Handler handler)
{
    return track(m_manager->post(request, body), m_inactivityTimeoutMs, std::move(handler));
}

QNetworkReply *ServiceClient::track(QNetworkReply *reply, int inactivityMs, Handler handler)
{
    ServiceApi::watchInactivity(reply, inactivityMs);
    connect(reply, &QNetworkReply::finished, this, [reply, handler = std::move(handler)]() {
        const ServiceApi::Reply result = ServiceApi::readReply(reply);
        if (handler)
            handler(result);
    });
    return reply;
}
