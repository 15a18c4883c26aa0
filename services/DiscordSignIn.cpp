#include "services/DiscordSignIn.h"

#include "services/DiscordCallback.h"
#include "services/ReplyBounds.h"
#include "services/ServiceClient.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDebug>
#include <QHostAddress>
#include <QJsonObject>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRandomGenerator>
#include <QSslConfiguration>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <utility>

const char DiscordSignIn::kScope[] = "identify+email";
const char DiscordSignIn::kBrowserAnswer[] =
    "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\n\r\n"
    "<html><body style='background:#0b0c0f;color:#e6e6e6;font-family:Segoe UI'>"
    "<h3>Login with Discord received. You can close this tab.</h3></body></html>";
const char DiscordSignIn::kTooLargeAnswer[] =
    "HTTP/1.1 400 Bad Request\r\nContent-Type: text/plain\r\nConnection: close\r\n\r\nRequest too large.";
const char DiscordSignIn::kUserAgent[] = "QuorlixDesktop/1.0";

namespace {

const char kBufProperty[] = "buf";
const char kProcessedProperty[] = "processed";

QByteArray randomBytes(int count)
{
    QByteArray bytes(count, Qt::Uninitialized);
    QRandomGenerator *random = QRandomGenerator::system();
    for (char &b : bytes)
        b = char(random->bounded(256));
    return bytes;
}

QString invalidCodeText()
{
    return QStringLiteral("Invalid code received from Discord.");
}

} // namespace

DiscordSignIn::DiscordSignIn(ServiceClient *client, UrlOpener openUrl, QObject *parent)
    : QObject(parent), m_client(client), m_openUrl(std::move(openUrl)),
      m_clientId(client->config().discordClientId()), m_redirectUri(client->config().discordRedirectUri())
{}

DiscordSignIn::~DiscordSignIn()
{
    ++m_attempt;
    abortRequest();
}

quint16 DiscordSignIn::listeningPort() const
{
    return m_listener && m_listener->isListening() ? m_listener->serverPort() : 0;
}

int DiscordSignIn::openConnections() const
{
    int open = 0;
    for (const QPointer<QTcpSocket> &socket : m_connections)
        open += socket && socket->state() != QAbstractSocket::UnconnectedState;
    return open;
}

QString DiscordSignIn::base64Url(const QByteArray &bytes)
{
    return QString::fromLatin1(
        bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

QString DiscordSignIn::challengeFor(const QString &verifier)
{
    return base64Url(QCryptographicHash::hash(verifier.toUtf8(), QCryptographicHash::Sha256));
}

QUrl DiscordSignIn::authorizeUrl(const QString &challenge, const QString &state) const
{
    const QString query =
        QStringLiteral("client_id=%1&code_challenge=%2&code_challenge_method=S256&redirect_uri=%3"
                       "&response_type=code&scope=%4&state=%5")
            .arg(QString::fromLatin1(QUrl::toPercentEncoding(m_clientId)), challenge,
                 QString::fromLatin1(QUrl::toPercentEncoding(m_redirectUri.toString(QUrl::FullyEncoded))),
                 QLatin1String(kScope), state);
    const QUrl base = m_client->config().discordUrl(QStringLiteral("/api/v10/oauth2/authorize"));
    if (base.isEmpty())
        return QUrl();
    return QUrl::fromEncoded(base.toEncoded() + '?' + query.toLatin1(), QUrl::StrictMode);
}

QByteArray DiscordSignIn::tokenForm(const QString &code, const QString &verifier) const
{
    const QPair<const char *, QString> items[] = {
        {"client_id", m_clientId},
        {"grant_type", QStringLiteral("authorization_code")},
        {"code", code},
        {"redirect_uri", m_redirectUri.toString(QUrl::FullyEncoded)},
        {"code_verifier", verifier},
    };
    QByteArray form;
    for (const auto &item : items) {
        if (!form.isEmpty())
            form += '&';
        form += item.first;
        form += '=';
        form += QUrl::toPercentEncoding(item.second);
    }
    return form;
}

QString DiscordSignIn::tokenFailureText(const ServiceApi::Reply &reply, const QString &code)
{
    const QJsonObject object = reply.object();
    QString text = QCoreApplication::translate("AuthPage", "ورود با دیسکورد ناموفق بود.\n");
    if (reply.error != QNetworkReply::NoError && reply.error != QNetworkReply::UnknownNetworkError)
        text += QStringLiteral("Network Error: %1 - %2\n").arg(int(reply.error)).arg(reply.errorString);
    text += QStringLiteral("OAuth Code: %1\n").arg(code.left(10) + QStringLiteral("..."));
    const QString error = ReplyBounds::text(object.value(QStringLiteral("error")));
    if (!error.isEmpty())
        text += QStringLiteral("Error: %1\n").arg(error);
    const QString description = ReplyBounds::text(object.value(QStringLiteral("error_description")));
    if (!description.isEmpty())
        text += QStringLiteral("Description: %1\n").arg(description);
    text += QStringLiteral("HTTP Status: %1\n").arg(reply.httpStatus);
    if (reply.body.isEmpty())
        text += QStringLiteral("\nNo response received from Discord");
    else
        text += QStringLiteral("\nRaw Response: %1").arg(QString::fromUtf8(reply.body.left(500)));
    return text;
}

void DiscordSignIn::startDiscordLogin()
{
    // A new start ends whatever the previous attempt still had running.
    ++m_attempt;
    abortRequest();
    closeConnections();
    dropListener();
    m_phase = Phase::Listening;

    m_listener = new QTcpServer(this);
    if (!m_listener->listen(QHostAddress(QHostAddress::LocalHost), m_port)) {
        qWarning().noquote() << "[Discord] listen on port" << m_port
                             << "failed:" << m_listener->errorString();
        fail(QStringLiteral("Unable to open port %1 for Discord login. Please check firewall/ports.")
                 .arg(m_port));
        return;
    }
    connect(m_listener.data(), &QTcpServer::newConnection, this, &DiscordSignIn::onCallbackConnection);

    m_verifier = base64Url(randomBytes(32));
    m_state = base64Url(randomBytes(16));
    const QUrl url = authorizeUrl(challengeFor(m_verifier), m_state);
    emit waiting();
    if (m_openUrl)
        m_openUrl(url);
}

void DiscordSignIn::cancelDiscordLogin()
{
    ++m_attempt;
    abortRequest();
    closeListener();
    closeConnections();
    m_phase = Phase::Idle;
}

void DiscordSignIn::onCallbackConnection()
{
    QTcpServer *listener = qobject_cast<QTcpServer *>(sender());
    while (listener && listener->hasPendingConnections()) {
        QTcpSocket *socket = listener->nextPendingConnection();
        m_connections.removeIf([](const QPointer<QTcpSocket> &gone) { return gone.isNull(); });
        m_connections.append(socket);
        socket->setProperty(kBufProperty, QByteArray());
        socket->setProperty(kProcessedProperty, false);
        const quint64 attempt = m_attempt;
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, attempt] {
            if (attempt == m_attempt)
                onCallbackReadyRead(socket);
        });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void DiscordSignIn::onCallbackReadyRead(QTcpSocket *socket)
{
    if (socket->property(kProcessedProperty).toBool()) {
        socket->readAll();
        return;
    }
    QByteArray buf = socket->property(kBufProperty).toByteArray();
    buf += socket->read(DiscordCallback::kMaxRequestBytes + 1 - buf.size());
    socket->setProperty(kBufProperty, buf);

    const DiscordCallback::Result result = DiscordCallback::parse(buf, m_state);
    if (result.status == DiscordCallback::Status::Incomplete)
        return;
    const bool tooLarge = result.status == DiscordCallback::Status::TooLarge;
    // Unread bytes would turn the close into a reset that can swallow the answer.
    if (tooLarge)
        socket->readAll();
    socket->write(tooLarge ? kTooLargeAnswer : kBrowserAnswer);
    socket->flush();
    socket->setProperty(kProcessedProperty, true);
    socket->disconnectFromHost();

    // The first request that completes decides the attempt; any other
    // browser's request is answered and otherwise ignored.
    if (m_phase != Phase::Listening)
        return;
    closeListener();
    if (result.code.isEmpty()) {
        fail(invalidCodeText());
        return;
    }
    m_phase = Phase::Exchanging;
    const quint64 attempt = m_attempt;
    const QString code = result.code;
    QTimer::singleShot(m_answerDelayMs, this, [this, attempt, code] {
        if (attempt == m_attempt)
            exchangeDiscordCode(code);
    });
}

void DiscordSignIn::exchangeDiscordCode(const QString &code)
{
#if QT_CONFIG(ssl)
    static bool tlsRaised = false;
    if (!tlsRaised) {
        // Once raised, the floor stays for every later connection of the process.
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setProtocol(QSsl::TlsV1_2OrLater);
        QSslConfiguration::setDefaultConfiguration(tls);
        tlsRaised = true;
    }
#endif
    QNetworkRequest request(m_client->config().discordUrl(QStringLiteral("/api/v10/oauth2/token")));
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QByteArrayLiteral("application/x-www-form-urlencoded"));
    request.setRawHeader("Accept", "application/json");
    request.setRawHeader("User-Agent", kUserAgent);
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setTransferTimeout(kTokenTimeoutMs);

    const quint64 attempt = m_attempt;
    QPointer<DiscordSignIn> self(this);
    m_reply = m_client->post(request, tokenForm(code, m_verifier),
                             [self, attempt, code](const ServiceApi::Reply &reply) {
                                 if (self && attempt == self->m_attempt)
                                     self->onDiscordTokenReply(reply, code);
                             });
}

void DiscordSignIn::onDiscordTokenReply(const ServiceApi::Reply &reply, const QString &code)
{
    m_reply = nullptr;
    // The token decides, not the status: an error status with a token goes on.
    const QString token = ReplyBounds::wholeText(reply.object().value(QStringLiteral("access_token")));
    if (token.isEmpty()) {
        qWarning().noquote() << "[Discord] token exchange failed, status" << reply.httpStatus;
        fail(tokenFailureText(reply, code));
        return;
    }
    QNetworkRequest request(m_client->config().discordUrl(QStringLiteral("/api/users/@me")));
    request.setRawHeader("Authorization", "Bearer " + token.toUtf8());
    const quint64 attempt = m_attempt;
    QPointer<DiscordSignIn> self(this);
    m_reply = m_client->get(request, [self, attempt](const ServiceApi::Reply &reply) {
        if (self && attempt == self->m_attempt)
            self->onDiscordUserReply(reply);
    });
}

void DiscordSignIn::onDiscordUserReply(const ServiceApi::Reply &reply)
{
    m_reply = nullptr;
    const QString email = ReplyBounds::wholeText(reply.object().value(QStringLiteral("email")));
    if (!reply.ok() || email.isEmpty()) {
        fail(QStringLiteral("Discord email not accessible. Please enable the 'email' scope."));
        return;
    }
    m_phase = Phase::Idle;
    closeConnections();
    emit emailReceived(email);
}

void DiscordSignIn::closeListener()
{
    // Closed only: its sockets are its children and still write their answers.
    if (m_listener)
        m_listener->close();
}

void DiscordSignIn::dropListener()
{
    if (!m_listener)
        return;
    m_listener->close();
    m_listener->deleteLater();
    m_listener = nullptr;
}

void DiscordSignIn::closeConnections()
{
    const QList<QPointer<QTcpSocket>> connections = std::exchange(m_connections, {});
    for (const QPointer<QTcpSocket> &socket : connections) {
        // An answered one is already closing once its answer is out.
        if (socket && !socket->property(kProcessedProperty).toBool())
            socket->abort();
    }
}

void DiscordSignIn::abortRequest()
{
    if (QNetworkReply *reply = m_reply.data()) {
        m_reply = nullptr;
        ServiceApi::abortOnPurpose(reply);
    }
}

void DiscordSignIn::fail(const QString &text)
{
    closeListener();
    closeConnections();
    m_phase = Phase::Idle;
    emit failed(text);
}
