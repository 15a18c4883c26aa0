#pragma once
// Sends the web API's requests with the conventions of ServiceApi: the right
// headers per endpoint, compact JSON bodies, an inactivity time-out on every
// request, and the reply read and released before the handler runs.

#include "services/ServiceApi.h"
#include "services/ServiceConfig.h"

#include <QObject>

#include <functional>

class QNetworkAccessManager;

class ServiceClient : public QObject
{
    Q_OBJECT
public:
    using Handler = std::function<void(const ServiceApi::Reply &reply)>;
    using CredentialsSource = std::function<ServiceApi::Credentials()>;

    // Uses the process-wide configuration and the stored token and device id.
    explicit ServiceClient(QObject *parent = nullptr);
    ServiceClient(const ServiceConfig &config, CredentialsSource credentials, QObject *parent = nullptr);

    const ServiceConfig &config() const { return m_config; }
    QNetworkAccessManager *manager() const { return m_manager; }

    // Every request gives up after this long without progress (tests shorten it).
    void setInactivityTimeout(int ms) { m_inactivityTimeoutMs = ms; }
    int inactivityTimeout() const { return m_inactivityTimeoutMs; }

    // Sends an endpoint's request; the body is sent only by POST endpoints. The
    // handler runs once, after the reply finished; the reply is released by
    // then. Returns nullptr, without calling the handler, when the endpoint needs
    // a token and none is stored.
    QNetworkReply *send(ServiceApi::Endpoint endpoint, Handler handler, const QJsonObject &body = {},
                        const QUrlQuery &query = {});
    // The same with a network access manager of its own, whose empty cookie
    // jar goes with the reply: nothing an earlier reply set rides along. The
    // token sent is the given one, not the credentials source's.
    QNetworkReply *sendAlone(ServiceApi::Endpoint endpoint, const QString &token, Handler handler,
                             const QJsonObject &body = {});
    // A GET of any address (images, other origins) with the same reply handling.
    QNetworkReply *get(const QNetworkRequest &request, Handler handler);
    // A POST of any address (the sign-in provider) with the same reply handling.
    QNetworkReply *post(const QNetworkRequest &request, const QByteArray &body, Handler handler);
    // A GET of a file (the installer): its body is neither bounded nor read
    // as JSON. Every other request's body is refused over
    // ReplyBounds::kMaxBodyBytes, and one over kParseOffThreadBytes is
    // parsed on a worker thread before the handler runs (Reply::parsed).
    QNetworkReply *download(const QNetworkRequest &request, Handler handler);

private:
    enum class Body { Json, File };
    QNetworkReply *dispatch(QNetworkAccessManager *manager, ServiceApi::Endpoint endpoint,
                            const ServiceApi::Credentials &credentials, Handler handler,
                            const QJsonObject &body, const QUrlQuery &query);
    QNetworkReply *track(QNetworkReply *reply, int inactivityMs, Handler handler, Body kind = Body::Json);

    ServiceConfig m_config;
    CredentialsSource m_credentials;
    QNetworkAccessManager *m_manager = nullptr;
    int m_inactivityTimeoutMs = ServiceApi::kInactivityTimeoutMs;
};
