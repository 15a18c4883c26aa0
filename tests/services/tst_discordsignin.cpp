// Discord sign-in without the page: the PKCE pieces and the two messages sent,
// the loopback listener's reading and answers, the whole road through the fake
// provider with a test browser, the failures, and attempts that end early.

#include "services/DiscordSignIn.h"
#include "services/ServiceClient.h"
#include "support/fakeservice/FakeService.h"
#include "support/fakeservice/LoopbackGuard.h"
#include "support/fakeservice/TestBrowser.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSslConfiguration>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QUrlQuery>

#include <memory>

Q_DECLARE_METATYPE(FakeReply)

namespace {

const QString kInvalidCode = QStringLiteral("Invalid code received from Discord.");
const QString kNoEmail = QStringLiteral("Discord email not accessible. Please enable the 'email' scope.");
const QString kFailedLine = QStringLiteral("ورود با دیسکورد ناموفق بود.\n");

quint16 closedPort()
{
    QTcpServer server;
    server.listen(QHostAddress(QHostAddress::LocalHost), 0);
    return server.serverPort();
}

// One sign-in against the fake, on a free port, recording what it would open.
struct Rig
{
    std::unique_ptr<ServiceClient> client;
    std::unique_ptr<DiscordSignIn> signIn;
    QList<QUrl> opened;
    std::unique_ptr<QSignalSpy> waiting, email, failed;

    explicit Rig(const FakeService &fake, const QUrl &discordOrigin = QUrl())
    {
        const ServiceConfig config(fake.origin(), discordOrigin.isEmpty() ? fake.origin() : discordOrigin,
                                   fake.origin(), fake.origin());
        client = std::make_unique<ServiceClient>(config, [] { return ServiceApi::Credentials{}; });
        signIn = std::make_unique<DiscordSignIn>(client.get(), [this](const QUrl &url) {
            opened.append(url);
            return true;
        });
        signIn->setPort(0);
        signIn->setAnswerDelay(0);
        waiting = std::make_unique<QSignalSpy>(signIn.get(), &DiscordSignIn::waiting);
        email = std::make_unique<QSignalSpy>(signIn.get(), &DiscordSignIn::emailReceived);
        failed = std::make_unique<QSignalSpy>(signIn.get(), &DiscordSignIn::failed);
    }
    QUrlQuery lastQuery() const { return QUrlQuery(opened.last()); }
    // The browser's request back with a code and the running attempt's state.
    QByteArray callback(const QByteArray &code) const
    {
        return "GET /callback?code=" + code + "&state=" + signIn->state().toLatin1() + " HTTP/1.1\r\n\r\n";
    }
    int outcomes() const { return email->size() + failed->size(); }
    QString failure() const { return failed->isEmpty() ? QString() : failed->first().first().toString(); }
};

// Sends `chunks` to the listener one after another and returns its answer.
// Between chunks it notes whether anything was answered already.
QByteArray sendToListener(quint16 port, const QList<QByteArray> &chunks, bool *answeredEarly = nullptr)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress(QHostAddress::LocalHost), port);
    QElapsedTimer clock;
    clock.start();
    while (socket.state() != QAbstractSocket::ConnectedState && clock.elapsed() < 5000)
        QTest::qWait(5);
    QByteArray answer;
    for (int i = 0; i < chunks.size(); ++i) {
        socket.write(chunks.at(i));
        socket.flush();
        if (i + 1 < chunks.size()) {
            QTest::qWait(40);
            if (answeredEarly && socket.bytesAvailable() > 0)
                *answeredEarly = true;
        }
    }
    clock.restart();
    while (socket.state() != QAbstractSocket::UnconnectedState && clock.elapsed() < 5000) {
        QTest::qWait(5);
        answer += socket.readAll();
    }
    return answer + socket.readAll();
}

QStringList queryKeys(const QString &query)
{
    QStringList keys;
    for (const QString &pair : query.split(QLatin1Char('&')))
        keys << pair.section(QLatin1Char('='), 0, 0);
    return keys;
}

} // namespace

class TestDiscordSignIn : public QObject
{
    Q_OBJECT

private:
    FakeService m_fake;

private slots:
    void initTestCase()
    {
        QVERIFY(m_fake.listen());
        LoopbackGuard::install();
    }

    void init()
    {
        m_fake.clearScripts();
        m_fake.clearRequests();
        m_fake.loadSampleData();
        LoopbackGuard::reset();
    }

    void cleanup() { QVERIFY(LoopbackGuard::violations().isEmpty()); }

    // The address opened carries the challenge of a fresh verifier and a
    // fresh state every start, in the provider's query order.
    void authorizeAddressAndPkce()
    {
        Rig rig(m_fake);
        QStringList verifiers, states;
        for (int i = 0; i < 2; ++i) {
            rig.signIn->startDiscordLogin();
            QCOMPARE(rig.opened.size(), i + 1);
            QCOMPARE(rig.waiting->size(), i + 1);
            const QUrl url = rig.opened.last();
            QCOMPARE(url.path(), QStringLiteral("/api/v10/oauth2/authorize"));
            const QString query = url.query(QUrl::FullyEncoded);
            QCOMPARE(queryKeys(query), QStringList({"client_id", "code_challenge", "code_challenge_method",
                                                    "redirect_uri", "response_type", "scope", "state"}));
            const QUrlQuery items(url);
            const QString verifier = rig.signIn->verifier();
            const QString challenge = items.queryItemValue(QStringLiteral("code_challenge"));
            QCOMPARE(verifier.size(), 43);
            QCOMPARE(challenge.size(), 43);
            QCOMPARE(challenge,
                     QString::fromLatin1(
                         QCryptographicHash::hash(verifier.toUtf8(), QCryptographicHash::Sha256)
                             .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals)));
            QCOMPARE(items.queryItemValue(QStringLiteral("code_challenge_method")), QStringLiteral("S256"));
            QCOMPARE(items.queryItemValue(QStringLiteral("response_type")), QStringLiteral("code"));
            QVERIFY(query.contains(QLatin1String("&scope=identify+email&")));
            QCOMPARE(items.queryItemValue(QStringLiteral("state")), rig.signIn->state());
            QCOMPARE(
                QByteArray::fromBase64(rig.signIn->state().toLatin1(), QByteArray::Base64UrlEncoding).size(),
                16);
            verifiers << verifier;
            states << rig.signIn->state();
        }
        QVERIFY(verifiers.at(0) != verifiers.at(1));
        QVERIFY(states.at(0) != states.at(1));
    }

    // Only letters, digits and "-._~" stay as they are in the redirect URI.
    void redirectUriIsFullyEncoded()
    {
        Rig rig(m_fake);
        const QUrl redirect(QStringLiteral("https://www.example.test:8443/a_b-c.d~e/callback"));
        rig.signIn->setRedirectUri(redirect);
        rig.signIn->startDiscordLogin();
        const QString query = rig.opened.last().query(QUrl::FullyEncoded);
        const QString raw =
            QRegularExpression(QStringLiteral("redirect_uri=([^&]*)")).match(query).captured(1);
        QCOMPARE(raw, QStringLiteral("https%3A%2F%2Fwww.example.test%3A8443%2Fa_b-c.d~e%2Fcallback"));
    }

    // The form goes in its fixed order, fully encoded, with no secret.
    void tokenForm()
    {
        Rig rig(m_fake);
        const QByteArray form = rig.signIn->tokenForm(QStringLiteral("a&b =c"), QStringLiteral("ver-1_x"));
        QCOMPARE(form, "client_id=" + QUrl::toPercentEncoding(rig.signIn->clientId()) +
                           "&grant_type=authorization_code&code=a%26b%20%3Dc&redirect_uri=" +
                           QUrl::toPercentEncoding(m_fake.url(QStringLiteral("/callback")).toString()) +
                           "&code_verifier=ver-1_x");
        QVERIFY(!form.contains("secret"));
    }

    // What the listener reads from a browser, and what it answers.
    void listenerRequests_data()
    {
        QTest::addColumn<QList<QByteArray>>("chunks");
        QTest::addColumn<QByteArray>("answerStart");
        QTest::addColumn<QString>("code"); // the code exchanged; empty: the attempt ends as invalid

        // STATE stands for the attempt's own state.
        const QByteArray ok = DiscordSignIn::kBrowserAnswer;
        QTest::newRow("whole request")
            << QList<QByteArray>{"GET /callback?code=abc123&state=STATE HTTP/1.1\r\nHost: x\r\n\r\n"} << ok
            << "abc123";
        QTest::newRow("request line split inside the code")
            << QList<QByteArray>{"GET /callback?state=STATE&code=abc", "def HTTP/1.1\r\nHost: x\r\n\r\n"}
            << ok << "abcdef";
        QTest::newRow("percent-encoded ampersand in the code")
            << QList<QByteArray>{"GET /callback?code=a%26b&x=1&state=STATE HTTP/1.1\r\n\r\n"} << ok << "a&b";
        QTest::newRow("code only further on")
            << QList<QByteArray>{"POST /callback HTTP/1.1\r\nReferer: http://h/?code=zz9&state=STATE\r\n\r\n"}
            << ok << "zz9";
        QTest::newRow("favicon first") << QList<QByteArray>{"GET /favicon.ico HTTP/1.1\r\n\r\n"} << ok << "";
        QTest::newRow("not HTTP") << QList<QByteArray>{"hello\n"} << ok << "";
        // Without the state anyone could hand in a code of their own and
        // sign this client in to their account.
        QTest::newRow("no state") << QList<QByteArray>{"GET /callback?code=abc HTTP/1.1\r\n\r\n"} << ok << "";
        QTest::newRow("empty state") << QList<QByteArray>{"GET /callback?code=abc&state= HTTP/1.1\r\n\r\n"}
                                     << ok << "";
        QTest::newRow("state of another attempt")
            << QList<QByteArray>{"GET /callback?code=abc&state=someone-else HTTP/1.1\r\n\r\n"} << ok << "";
        QTest::newRow("9 KiB request line")
            << QList<QByteArray>{"GET /callback?code=abc&pad=" + QByteArray(9 * 1024, 'p')}
            << QByteArray("HTTP/1.1 400 ") << "";
    }

    void listenerRequests()
    {
        QFETCH(QList<QByteArray>, chunks);
        QFETCH(QByteArray, answerStart);
        QFETCH(QString, code);
        Rig rig(m_fake);
        rig.signIn->startDiscordLogin();
        const quint16 port = rig.signIn->listeningPort();
        QVERIFY(port != 0);

        for (QByteArray &chunk : chunks)
            chunk.replace("STATE", rig.signIn->state().toLatin1());
        bool answeredEarly = false;
        const QByteArray answer = sendToListener(port, chunks, &answeredEarly);
        QVERIFY(!answeredEarly);
        if (answerStart == DiscordSignIn::kBrowserAnswer)
            QCOMPARE(answer, answerStart);
        else
            QVERIFY2(answer.startsWith(answerStart), answer.left(80).constData());
        QCOMPARE(rig.signIn->listeningPort(), quint16(0));

        QTRY_COMPARE(rig.outcomes(), 1);
        if (code.isEmpty()) {
            QCOMPARE(rig.failure(), kInvalidCode);
            QCOMPARE(m_fake.requestCount(QStringLiteral("/api/v10/oauth2/token")), 0);
        } else {
            QCOMPARE(rig.email->first().first().toString(), QLatin1String(FakeService::kDemoDiscordEmail));
            const QUrlQuery form(
                QString::fromUtf8(m_fake.lastRequest(QStringLiteral("/api/v10/oauth2/token")).body));
            QCOMPARE(form.queryItemValue(QStringLiteral("code"), QUrl::FullyDecoded), code);
        }
    }

    // Two browsers at once: the first request decides, the second is
    // answered and its code never exchanged.
    void secondConnectionIsIgnored()
    {
        Rig rig(m_fake);
        m_fake.script("POST", QStringLiteral("/api/v10/oauth2/token"), FakeReply::hanging());
        rig.signIn->startDiscordLogin();
        const quint16 port = rig.signIn->listeningPort();
        QTcpSocket second;
        second.connectToHost(QHostAddress(QHostAddress::LocalHost), port);
        QTRY_COMPARE(second.state(), QAbstractSocket::ConnectedState);

        QCOMPARE(sendToListener(port, {rig.callback("first")}), QByteArray(DiscordSignIn::kBrowserAnswer));
        second.write(rig.callback("second"));
        QTRY_COMPARE(second.state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(second.readAll(), QByteArray(DiscordSignIn::kBrowserAnswer));

        QTRY_COMPARE(m_fake.requestCount(QStringLiteral("/api/v10/oauth2/token")), 1);
        QTest::qWait(50);
        QCOMPARE(m_fake.requestCount(QStringLiteral("/api/v10/oauth2/token")), 1);
        const QUrlQuery form(
            QString::fromUtf8(m_fake.lastRequest(QStringLiteral("/api/v10/oauth2/token")).body));
        QCOMPARE(form.queryItemValue(QStringLiteral("code")), QStringLiteral("first"));
        QCOMPARE(rig.outcomes(), 0);
    }

    // The whole road: a browser follows the provider and the web site's
    // callback page to the listener; the token and user requests follow.
    void endToEndThroughTheFakeProvider()
    {
        Rig rig(m_fake);
        rig.signIn->startDiscordLogin();
        const quint16 port = rig.signIn->listeningPort();
        m_fake.setDiscordListenerPort(port);
        TestBrowser browser;
        browser.open(rig.opened.last());
        QTRY_COMPARE(rig.email->size(), 1);
        QCOMPARE(rig.email->first().first().toString(), QLatin1String(FakeService::kDemoDiscordEmail));
        QCOMPARE(rig.failed->size(), 0);
        QTRY_VERIFY(browser.finished());
        QVERIFY(browser.body().contains("Login with Discord received. You can close this tab."));
        QCOMPARE(browser.finalUrl().port(), int(port));

        const RecordedRequest token = m_fake.lastRequest(QStringLiteral("/api/v10/oauth2/token"));
        QCOMPARE(token.header("Content-Type"), QByteArray("application/x-www-form-urlencoded"));
        QCOMPARE(token.header("Accept"), QByteArray("application/json"));
        QCOMPARE(token.header("User-Agent"), QByteArray("QuorlixDesktop/1.0"));
        const QUrlQuery form(QString::fromUtf8(token.body));
        QCOMPARE(queryKeys(QString::fromUtf8(token.body)),
                 QStringList({"client_id", "grant_type", "code", "redirect_uri", "code_verifier"}));
        QCOMPARE(form.queryItemValue(QStringLiteral("code")), QStringLiteral("demo-code"));
        // The verifier posted is the one whose challenge the browser carried.
        const QString verifier = form.queryItemValue(QStringLiteral("code_verifier"));
        QCOMPARE(DiscordSignIn::challengeFor(verifier),
                 rig.lastQuery().queryItemValue(QStringLiteral("code_challenge")));
        QCOMPARE(form.queryItemValue(QStringLiteral("redirect_uri"), QUrl::FullyDecoded),
                 m_fake.url(QStringLiteral("/callback")).toString());

#if QT_CONFIG(ssl)
        // From the first exchange on, the whole process asks for TLS 1.2 or later.
        QCOMPARE(QSslConfiguration::defaultConfiguration().protocol(), QSsl::TlsV1_2OrLater);
#endif
        const RecordedRequest user = m_fake.lastRequest(QStringLiteral("/api/users/@me"));
        QCOMPARE(user.header("Authorization"), QByteArray("Bearer discord-access-demo-code"));
        QVERIFY(!user.hasHeader("User-Agent") || user.header("User-Agent") != "QuorlixDesktop/1.0");
    }

    void failures_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<FakeReply>("reply");
        QTest::addColumn<QString>("email");        // expected e-mail; empty: a failure
        QTest::addColumn<QStringList>("contains"); // pieces of the failure text, in order
        QTest::addColumn<QString>("endsWith");

        const QString token = QStringLiteral("/api/v10/oauth2/token");
        const QString user = QStringLiteral("/api/users/@me");
        const QString code = QStringLiteral("OAuth Code: abcdefghij...\n");
        QTest::newRow("invalid_grant")
            << token
            << FakeReply::json(QJsonObject{{"error", "invalid_grant"}, {"error_description", "x"}}, 400)
            << QString() << QStringList{kFailedLine,
                                        code,
                                        "Error: invalid_grant\n",
                                        "Description: x\n",
                                        "HTTP Status: 400\n",
                                        "\nRaw Response: {"}
            << QString();
        QTest::newRow("200 without a token")
            << token << FakeReply::json(QJsonObject{{"token_type", "Bearer"}}) << QString()
            << QStringList{kFailedLine, code, "HTTP Status: 200\n", "\nRaw Response: {\"token_type\""}
            << QString();
        QTest::newRow("not JSON") << token << FakeReply::text("<html>oops</html>", 502) << QString()
                                  << QStringList{kFailedLine, "HTTP Status: 502\n",
                                                 "\nRaw Response: <html>oops</html>"}
                                  << QString();
        QTest::newRow("empty body") << token << FakeReply::text(QByteArray()) << QString()
                                    << QStringList{kFailedLine, code, "HTTP Status: 200\n"}
                                    << QStringLiteral("\nNo response received from Discord");
        QTest::newRow("error status with a token")
            << token << FakeReply::json(QJsonObject{{"access_token", "discord-access-x"}}, 401)
            << QString::fromLatin1(FakeService::kDemoDiscordEmail) << QStringList() << QString();
        QTest::newRow("user reply without email") << user << FakeReply::json(QJsonObject{{"id", "1"}})
                                                  << QString() << QStringList{kNoEmail} << QString();
        QTest::newRow("user request error")
            << user << FakeReply::json(QJsonObject{{"email", "e@x.test"}}, 500) << QString()
            << QStringList{kNoEmail} << QString();
        // The user request has no time-out of its own: the client's inactivity
        // time-out ends it.
        QTest::newRow("user request silent")
            << user << FakeReply::hanging() << QString() << QStringList{kNoEmail} << QString();
    }

    void failures()
    {
        QFETCH(QString, path);
        QFETCH(FakeReply, reply);
        QFETCH(QString, email);
        QFETCH(QStringList, contains);
        QFETCH(QString, endsWith);
        m_fake.script(path == QLatin1String("/api/users/@me") ? "GET" : "POST", path, reply);
        Rig rig(m_fake);
        rig.client->setInactivityTimeout(2000);
        rig.signIn->startDiscordLogin();
        sendToListener(rig.signIn->listeningPort(), {rig.callback("abcdefghijklmnop")});
        QTRY_COMPARE(rig.outcomes(), 1);
        if (!email.isEmpty()) {
            QCOMPARE(rig.email->first().first().toString(), email);
            return;
        }
        const QString text = rig.failure();
        qsizetype at = 0;
        for (const QString &piece : contains) {
            const qsizetype found = text.indexOf(piece, at);
            QVERIFY2(found >= 0, qPrintable(QStringLiteral("missing %1 in:\n%2").arg(piece, text)));
            at = found + piece.size();
        }
        if (!endsWith.isEmpty())
            QVERIFY2(text.endsWith(endsWith), qPrintable(text));
        QVERIFY(!rig.signIn->isRunning());
    }

    void refusedConnectionNamesTheNetworkError()
    {
        QUrl origin(QStringLiteral("http://127.0.0.1"));
        origin.setPort(closedPort());
        Rig rig(m_fake, origin);
        rig.signIn->startDiscordLogin();
        sendToListener(rig.signIn->listeningPort(), {rig.callback("abcdefghijklmnop")});
        QTRY_COMPARE(rig.failed->size(), 1);
        const QString text = rig.failure();
        QVERIFY2(text.startsWith(kFailedLine + QStringLiteral("Network Error: 1 - ")), qPrintable(text));
        QVERIFY(text.contains(QLatin1String("HTTP Status: 0\n")));
        QVERIFY(text.endsWith(QLatin1String("\nNo response received from Discord")));
    }

    void busyPort()
    {
        QTcpServer taken;
        QVERIFY(taken.listen(QHostAddress(QHostAddress::LocalHost), 0));
        Rig rig(m_fake);
        rig.signIn->setPort(taken.serverPort());
        rig.signIn->startDiscordLogin();
        QCOMPARE(rig.failed->size(), 1);
        QCOMPARE(rig.failure(),
                 QStringLiteral("Unable to open port %1 for Discord login. Please check firewall/ports.")
                     .arg(taken.serverPort()));
        QVERIFY(rig.opened.isEmpty());
        QCOMPARE(rig.waiting->size(), 0);
        QVERIFY(!rig.signIn->isRunning());
    }

    // The client's own port, unless a test says otherwise.
    void clientPortIsFixed()
    {
        Rig rig(m_fake);
        DiscordSignIn plain(rig.client.get(), UrlOpener());
        QCOMPARE(plain.port(), quint16(17860));
    }

    // However the attempt ends, a connection the listener took and that
    // never sent a whole request (a browser's spare connection, or
    // anything else on this machine) is closed with it.
    void idleConnectionsCloseWithTheAttempt_data()
    {
        QTest::addColumn<QString>("ending");
        for (const char *ending : {"cancel", "new start", "no code", "token refused", "signed in"})
            QTest::newRow(ending) << QString::fromLatin1(ending);
    }

    void idleConnectionsCloseWithTheAttempt()
    {
        QFETCH(QString, ending);
        if (ending == QLatin1String("token refused"))
            m_fake.script("POST", QStringLiteral("/api/v10/oauth2/token"),
                          FakeReply::json(
                              QJsonObject{{QStringLiteral("error"), QStringLiteral("invalid_grant")}}, 400));
        Rig rig(m_fake);
        rig.signIn->startDiscordLogin();
        const quint16 port = rig.signIn->listeningPort();
        QTcpSocket idle;
        idle.connectToHost(QHostAddress(QHostAddress::LocalHost), port);
        idle.write("GET /callback?co");
        QTRY_COMPARE(rig.signIn->openConnections(), 1);

        if (ending == QLatin1String("cancel")) {
            rig.signIn->cancelDiscordLogin();
        } else if (ending == QLatin1String("new start")) {
            rig.signIn->startDiscordLogin();
        } else {
            const QByteArray request = ending == QLatin1String("no code")
                                           ? QByteArray("GET /favicon.ico HTTP/1.1\r\n\r\n")
                                           : rig.callback("abc");
            sendToListener(port, {request});
            QTRY_COMPARE(rig.outcomes(), 1);
            QCOMPARE(rig.email->size(), ending == QLatin1String("signed in") ? 1 : 0);
        }
        QTRY_COMPARE(idle.state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(rig.signIn->openConnections(), 0);
    }

    // "Cancel" or a new start ends the attempt in any phase: nothing it had
    // under way reports afterwards.
    void endedAttemptsStaySilent_data()
    {
        QTest::addColumn<QString>("phase");
        QTest::addColumn<bool>("restart"); // a new start instead of "Cancel"
        for (const char *phase : {"waiting", "token", "user"}) {
            QTest::addRow("cancel while %s", phase) << QString::fromLatin1(phase) << false;
            QTest::addRow("restart while %s", phase) << QString::fromLatin1(phase) << true;
        }
    }

    void endedAttemptsStaySilent()
    {
        QFETCH(QString, phase);
        QFETCH(bool, restart);
        const QString path = phase == QLatin1String("user") ? QStringLiteral("/api/users/@me")
                                                            : QStringLiteral("/api/v10/oauth2/token");
        if (phase != QLatin1String("waiting"))
            m_fake.script(phase == QLatin1String("user") ? "GET" : "POST", path, FakeReply::hanging());
        Rig rig(m_fake);
        rig.signIn->startDiscordLogin();
        const quint16 port = rig.signIn->listeningPort();
        const QString firstVerifier = rig.signIn->verifier();
        const QString firstState = rig.signIn->state();
        if (phase != QLatin1String("waiting")) {
            sendToListener(port, {rig.callback("abc")});
            QTRY_COMPARE(m_fake.requestCount(path), 1);
        }

        if (restart)
            rig.signIn->startDiscordLogin();
        else
            rig.signIn->cancelDiscordLogin();
        QCOMPARE(rig.signIn->isRunning(), restart);
        QTest::qWait(100);
        QCOMPARE(rig.outcomes(), 0);
        QCOMPARE(m_fake.requestCount(path), phase == QLatin1String("waiting") ? 0 : 1);

        // The old listener takes nothing any more.
        QTcpSocket late;
        late.connectToHost(QHostAddress(QHostAddress::LocalHost), port);
        QTRY_COMPARE(late.state(), QAbstractSocket::UnconnectedState);
        if (restart) {
            QVERIFY(rig.signIn->verifier() != firstVerifier);
            QVERIFY(rig.signIn->state() != firstState);
            m_fake.clearScripts();
            // A code sent back with the first attempt's state is not taken.
            sendToListener(rig.signIn->listeningPort(),
                           {"GET /callback?code=abc&state=" + firstState.toLatin1() + " HTTP/1.1\r\n\r\n"});
            QTRY_COMPARE(rig.failed->size(), 1);
            QCOMPARE(rig.failure(), kInvalidCode);
        }
    }
};

QTEST_GUILESS_MAIN(TestDiscordSignIn)
#include "tst_discordsignin.moc"
