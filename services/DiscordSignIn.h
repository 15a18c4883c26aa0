#pragma once
// Signs in with a Discord account: the authorisation-code flow with PKCE
// (S256) in the user's browser, the code taken back by a one-shot listener on
// the IPv4 loopback address, exchanged for a token, and the account's e-mail
// read with it. It reports `waiting` once the browser has been sent off, then
// either `emailReceived` or `failed` with the text to show. "Cancel" or a new
// start ends the running attempt: whatever it had under way is aborted and
// never reports.

#include "services/ServiceApi.h"
#include "services/UrlOpener.h"

#include <QObject>
#include <QPointer>
#include <QUrl>

class QNetworkReply;
class QTcpServer;
class QTcpSocket;
class ServiceClient;

class DiscordSignIn : public QObject
{
    Q_OBJECT
public:
    static constexpr quint16 kDefaultPort = 17860;
    static constexpr int kAnswerDelayMs = 150;
    static constexpr int kTokenTimeoutMs = 30000;
    static const char kScope[];
    static const char kBrowserAnswer[];
    static const char kTooLargeAnswer[];
    static const char kUserAgent[];

    // The client id, the provider's origin and the redirect URI come from the
    // client's configuration.
    DiscordSignIn(ServiceClient *client, UrlOpener openUrl, QObject *parent = nullptr);
    ~DiscordSignIn() override;

    // The listener's port (0: any free one, for tests running side by side).
    void setPort(quint16 port) { m_port = port; }
    quint16 port() const { return m_port; }
    // The port actually listened on by the running attempt; 0 when none listens.
    quint16 listeningPort() const;
    void setAnswerDelay(int ms) { m_answerDelayMs = ms; }
    void setRedirectUri(const QUrl &uri) { m_redirectUri = uri; }
    QUrl redirectUri() const { return m_redirectUri; }
    QString clientId() const { return m_clientId; }

    // Connections the listener accepted that are still open.
    int openConnections() const;
    // The running (or last) attempt's PKCE verifier and state.
    QString verifier() const { return m_verifier; }
    QString state() const { return m_state; }
    bool isRunning() const { return m_phase != Phase::Idle; }

    // PKCE pieces and the two outgoing messages, as sent.
    static QString base64Url(const QByteArray &bytes);
    static QString challengeFor(const QString &verifier);
    QUrl authorizeUrl(const QString &challenge, const QString &state) const;
    QByteArray tokenForm(const QString &code, const QString &verifier) const;
    // The text shown when the token reply carries no access token.
    static QString tokenFailureText(const ServiceApi::Reply &reply, const QString &code);

public slots:
    void startDiscordLogin();
    void cancelDiscordLogin();

signals:
    void waiting();
    void emailReceived(const QString &email);
    void failed(const QString &text);

private slots:
    void onCallbackConnection();

private:
    enum class Phase { Idle, Listening, Exchanging };

    void onCallbackReadyRead(QTcpSocket *socket);
    void exchangeDiscordCode(const QString &code);
    void onDiscordTokenReply(const ServiceApi::Reply &reply, const QString &code);
    void onDiscordUserReply(const ServiceApi::Reply &reply);
    void closeListener();
    void dropListener();
    // Ends every connection the listener accepted that is still open and
    // unanswered: once the attempt is over nothing will answer them.
    void closeConnections();
    void abortRequest();
    void fail(const QString &text);

    ServiceClient *m_client = nullptr;
    UrlOpener m_openUrl;
    QString m_clientId;
    QUrl m_redirectUri;
    quint16 m_port = kDefaultPort;
    int m_answerDelayMs = kAnswerDelayMs;

    Phase m_phase = Phase::Idle;
    // Counts attempts: a timer or reply of an earlier one finds it changed.
    quint64 m_attempt = 0;
    QPointer<QTcpServer> m_listener;
    QList<QPointer<QTcpSocket>> m_connections;
    QPointer<QNetworkReply> m_reply;
    QString m_verifier;
    QString m_state;
};
