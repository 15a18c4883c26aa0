#pragma once
// A stand-in for the service's web API on 127.0.0.1, for tests and local trials.
// It answers every "/api/..." endpoint the client uses with the reply shapes the
// client reads, serves "/uploads/..." images, plays the sign-in provider and
// the geolocation service, and records every request it receives. Any route can
// be scripted to answer differently: another status, body or headers, after a
// delay, never, when the test releases it, by dropping the connection, with a
// body of a given size, or with fewer body bytes than announced.

#include <QByteArray>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QUrl>
#include <QUrlQuery>

#include <memory>

class QHttpServer;
class QHttpServerRequest;
class QHttpServerResponder;
class QTcpSocket;

using HttpHeaders = QList<QPair<QByteArray, QByteArray>>;

// One request as the fake received it.
struct RecordedRequest
{
    QByteArray method; // "GET", "POST", ...
    QString path;      // without the query
    QUrlQuery query;
    HttpHeaders headers;
    QByteArray body;

    bool hasHeader(const QByteArray &name) const; // case-insensitive name
    QByteArray header(const QByteArray &name) const;
    QJsonObject json() const; // the body as a JSON object (empty when it is not one)
};

// How a scripted route answers.
struct FakeReply
{
    int status = 200;
    QByteArray body;
    QByteArray contentType = "application/json";
    HttpHeaders headers;     // extra headers
    int delayMs = 0;         // answer this much later
    bool hang = false;       // never answer; the connection stays open
    bool held = false;       // answer as scripted once releaseHeld() is called, not before
    bool drop = false;       // close the connection without answering
    qint64 sizedBody = -1;   // answer with this many body bytes (downloads)
    int chunkSize = 16384;   // sized bodies go out in chunks ...
    int chunkIntervalMs = 0; // ... this far apart
    qint64 stallAfter = -1;  // send the headers and this many body bytes, then go silent
    qint64 cutAfter = -1;    // send the headers (whole length) and this many body bytes, then close
    int times = -1;          // answer this many requests, then the route's normal answer returns; -1: all

    static FakeReply json(const QJsonValue &value, int status = 200);
    static FakeReply text(const QByteArray &body, int status = 200,
                          const QByteArray &contentType = "text/plain");
    static FakeReply statusOnly(int status);
    static FakeReply hanging();
    static FakeReply dropped();
    static FakeReply sized(qint64 bytes, const QByteArray &contentType = "application/octet-stream");
    // Announces body's whole length, sends only its first bytesSent bytes and closes.
    static FakeReply shortBody(const QByteArray &body, qint64 bytesSent,
                               const QByteArray &contentType = "application/octet-stream");
};

class FakeService : public QObject
{
    Q_OBJECT
public:
    // The demo account of the sample data.
    static const char kDemoEmail[];
    static const char kDemoPassword[];
    static const char kDemoDiscordEmail[];

    explicit FakeService(QObject *parent = nullptr);
    ~FakeService() override;

    // Listens on a loopback address only; port 0 picks a free port.
    bool listen(const QHostAddress &address = QHostAddress(QHostAddress::LocalHost), quint16 port = 0);
    quint16 port() const { return m_port; }
    QUrl origin() const;                         // http://127.0.0.1:<port> (or the address listened on)
    QUrl url(const QString &pathAndQuery) const; // origin + path

    // Scripting: replaces the answer of one method and path (no query).
    void script(const QByteArray &method, const QString &path, const FakeReply &reply);
    void clearScript(const QByteArray &method, const QString &path);
    void clearScripts();
    // Sends the answers of the held replies, in the order their requests
    // came; returns how many there were.
    int releaseHeld();

    // Recorded requests, oldest first.
    QList<RecordedRequest> requests() const { return m_requests; }
    QList<RecordedRequest> requests(const QString &path) const;
    int requestCount(const QString &path) const;
    RecordedRequest lastRequest(const QString &path) const;
    void clearRequests() { m_requests.clear(); }

    // The built-in service's data.
    struct Account
    {
        QString id;
        QString email;
        QString password;
        QString firstName;
        QString discordEmail;
    };
    void setAccount(const Account &account) { m_account = account; }
    Account account() const { return m_account; }
    QString currentToken() const { return m_token; }
    QString currentSessionId() const { return m_sessionId; }
    // Signs the demo account in as if from another device: the previous
    // session's heartbeat is then answered with "Session expired".
    void startSessionElsewhere();
    // Keeps the sessions in this file from now on, so that a service started
    // again still knows a remembered sign-in: what the file holds is loaded
    // now, and every new session is written to it. False (with the reason in
    // *error) when the file exists but cannot be read as sessions; the
    // service then starts without them and replaces the file at the next
    // sign-in.
    bool setSessionFile(const QString &path, QString *error = nullptr);

    void setServers(const QJsonArray &servers) { m_servers = servers; }
    QJsonArray servers() const { return m_servers; }
    void setGames(const QJsonArray &games) { m_games = games; }
    QJsonArray games() const { return m_games; }
    void setNotifications(const QString &scope, const QJsonArray &items) { m_notifications[scope] = items; }
    QStringList markedReadIds() const { return m_readIds; }
    QStringList promoEvents() const { return m_promoEvents; }
    void setLatestRelease(const QJsonObject &release) { m_latestRelease = release; }
    void setVersionVerdict(const QJsonObject &verdict) { m_versionVerdict = verdict; }
    void setPromo(const QJsonObject &promo) { m_promo = promo; }
    void setGeo(const QJsonObject &geo) { m_geo = geo; }
    // The port of the client's Discord listener that "/callback" sends the browser to.
    void setDiscordListenerPort(quint16 port) { m_discordListenerPort = port; }
    void setUpload(const QString &path, const QByteArray &bytes, const QByteArray &contentType = "image/png");

    // Sample data: relays on 127.0.0.x, a small catalogue, notifications, the demo account.
    static QJsonArray sampleServers();
    static QJsonArray sampleGames();
    void loadSampleData();

signals:
    void requestReceived(const RecordedRequest &request);

private:
    struct Answer
    {
        int status = 200;
        QByteArray body;
        QByteArray contentType = "application/json";
        HttpHeaders headers;
    };

    void handle(const QHttpServerRequest &request, QHttpServerResponder &&responder);
    Answer builtIn(const RecordedRequest &request);
    void deliver(QTcpSocket *socket, const FakeReply &reply);
    void writeSized(QPointer<QTcpSocket> socket, qint64 remaining, const FakeReply &reply);

    bool bearerIsCurrent(const RecordedRequest &request) const;
    void newSession();
    void saveSessions() const;
    QJsonObject userObject() const;

    std::unique_ptr<QHttpServer> m_server;
    quint16 m_port = 0;
    QHostAddress m_address{QHostAddress::LocalHost};
    QList<RecordedRequest> m_requests;
    QHash<QString, FakeReply> m_scripts;
    QList<QPointer<QTcpSocket>> m_hanging;
    QList<QPair<QPointer<QTcpSocket>, FakeReply>> m_held;

    Account m_account;
    QString m_token;
    QString m_sessionId;
    QStringList m_expiredTokens;
    QJsonArray m_servers;
    QJsonArray m_games;
    QHash<QString, QJsonArray> m_notifications;
    QStringList m_readIds;
    QStringList m_promoEvents;
    QJsonObject m_latestRelease;
    QJsonObject m_versionVerdict;
    QJsonObject m_promo;
    QJsonObject m_geo;
    quint16 m_discordListenerPort = 17860;
    QHash<QString, QPair<QByteArray, QByteArray>> m_uploads;
    int m_sessionCounter = 0;
    QString m_sessionFile;
};
