// The sign-in flow's decisions: messages of failed sign-ins, what a refused
// validation forgets, the games download's stage, and masked session ids.

#include "services/SignInRules.h"

#include <QTest>

#include <limits>

using Error = QNetworkReply::NetworkError;

class TestSignInRules : public QObject
{
    Q_OBJECT

private slots:
    void loginFailure_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<Error>("error");
        QTest::addColumn<bool>("discord");
        QTest::addColumn<QString>("message");
        const QString noMatch = QStringLiteral("Login failed. Email or password does not match.");
        const QString server = QStringLiteral("Server error. Please try again later.");
        const QString unable = QStringLiteral("Unable to connect to server.");
        const QString failed = QStringLiteral("Login failed.");
        QTest::newRow("401") << 401 << Error::AuthenticationRequiredError << false << noMatch;
        QTest::newRow("401 Discord") << 401 << Error::AuthenticationRequiredError << true << noMatch;
        QTest::newRow("403") << 403 << Error::ContentAccessDenied << false
                             << QStringLiteral("Access denied.");
        QTest::newRow("404 Discord") << 404 << Error::ContentNotFoundError << true
                                     << QStringLiteral(
                                            "Login failed. No account found for your Discord email.");
        QTest::newRow("404 password") << 404 << Error::ContentNotFoundError << false << failed;
        QTest::newRow("500") << 500 << Error::InternalServerError << false << server;
        QTest::newRow("503") << 503 << Error::ServiceUnavailableError << true << server;
        QTest::newRow("599") << 599 << Error::UnknownServerError << false << server;
        QTest::newRow("600") << 600 << Error::UnknownServerError << false << failed;
        QTest::newRow("400") << 400 << Error::ProtocolInvalidOperationError << false << failed;
        QTest::newRow("host not found") << 0 << Error::HostNotFoundError << false << unable;
        QTest::newRow("stalled (time-out)") << 0 << Error::TimeoutError << true << unable;
        QTest::newRow("refused") << 0 << Error::ConnectionRefusedError << false << failed;
        QTest::newRow("TLS failure") << 0 << Error::SslHandshakeFailedError << false << failed;
    }
    void loginFailure()
    {
        QFETCH(int, status);
        QFETCH(Error, error);
        QFETCH(bool, discord);
        QFETCH(QString, message);
        QCOMPARE(SignInRules::loginFailureMessage(status, error, discord), message);
    }

    void autoLoginFailure_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<Error>("error");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("forgets");
        QTest::addColumn<QString>("name");
        const QString unable = QStringLiteral("Unable to connect to server.");
        const QString failed = QStringLiteral("Auto login failed.");
        QTest::newRow("401") << 401 << Error::AuthenticationRequiredError << failed << true
                             << "AuthenticationRequiredError";
        QTest::newRow("403") << 403 << Error::ContentAccessDenied << failed << true << "ContentAccessDenied";
        QTest::newRow("500") << 500 << Error::InternalServerError << failed << false << "InternalServerError";
        QTest::newRow("refused") << 0 << Error::ConnectionRefusedError << unable << false
                                 << "ConnectionRefusedError";
        QTest::newRow("host not found")
            << 0 << Error::HostNotFoundError << unable << false << "HostNotFoundError";
        QTest::newRow("time-out") << 0 << Error::TimeoutError << unable << false << "TimeoutError";
        QTest::newRow("temporary failure")
            << 0 << Error::TemporaryNetworkFailureError << unable << false << "TemporaryNetworkFailureError";
        QTest::newRow("session failure")
            << 0 << Error::NetworkSessionFailedError << unable << false << "NetworkSessionFailedError";
        QTest::newRow("remote closed")
            << 0 << Error::RemoteHostClosedError << failed << false << "RemoteHostClosedError";
    }
    void autoLoginFailure()
    {
        QFETCH(int, status);
        QFETCH(Error, error);
        QFETCH(QString, message);
        QFETCH(bool, forgets);
        QFETCH(QString, name);
        QCOMPARE(SignInRules::autoLoginFailureMessage(error), message);
        QCOMPARE(SignInRules::autoLoginFailureForgetsSignIn(status), forgets);
        QCOMPARE(SignInRules::errorName(error), name);
    }

    void gamesStage_data()
    {
        QTest::addColumn<qint64>("received");
        QTest::addColumn<qint64>("total");
        QTest::addColumn<int>("percent");
        QTest::addColumn<QString>("text");
        const QString unknown = QStringLiteral("Loading magic routes ...");
        QTest::newRow("half of 1 MiB")
            << qint64(524288) << qint64(1048576) << 75 << "Loading magic routes : 512 kb of 1.00 Mb ...";
        QTest::newRow("no total") << qint64(524288) << qint64(0) << 75 << unknown;
        QTest::newRow("unknown total (-1)") << qint64(10) << qint64(-1) << 75 << unknown;
        QTest::newRow("nothing yet") << qint64(0) << qint64(3145728) << 70
                                     << "Loading magic routes : 0 kb of 3.00 Mb ...";
        QTest::newRow("just below full")
            << qint64(1048575) << qint64(1048576) << 79 << "Loading magic routes : 1024 kb of 1.00 Mb ...";
        QTest::newRow("full") << qint64(1048576) << qint64(1048576) << 80
                              << "Loading magic routes : 1024 kb of 1.00 Mb ...";
        QTest::newRow("more than announced")
            << qint64(4000000) << qint64(1048576) << 80 << "Loading magic routes : 3906 kb of 1.00 Mb ...";
        QTest::newRow("huge counts")
            << std::numeric_limits<qint64>::max() / 2 << std::numeric_limits<qint64>::max() << 75
            << "Loading magic routes : 4503599627370496 kb of 8796093022208.00 Mb ...";
    }
    void gamesStage()
    {
        QFETCH(qint64, received);
        QFETCH(qint64, total);
        QFETCH(int, percent);
        QFETCH(QString, text);
        const SignInRules::Stage stage = SignInRules::gamesDownloadStage(received, total);
        QCOMPARE(stage.percent, percent);
        QCOMPARE(stage.text, text);
    }

    void sessionIdsAreNeverLoggedWhole_data()
    {
        QTest::addColumn<QString>("id");
        QTest::newRow("typical") << "sess-2f9c81d0a4b7";
        QTest::newRow("short") << "abc123";
        QTest::newRow("nine") << "123456789";
    }
    void sessionIdsAreNeverLoggedWhole()
    {
        QFETCH(QString, id);
        const QString masked = SignInRules::maskedSessionId(id);
        QVERIFY(!masked.contains(id));
        QVERIFY(masked.size() <= 5);
    }
};

QTEST_APPLESS_MAIN(TestSignInRules)
#include "tst_signinrules.moc"
