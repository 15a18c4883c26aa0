// The standalone development service starts, tells where it listens and serves
// the sample catalogue, relays and demo account.

#include "support/TestNet.h"
#include "support/fakeservice/FakeService.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

class TestDevService : public QObject
{
    Q_OBJECT
private slots:
    void servesTheSampleData();
    void refusesABadPort();

private:
    QString program() const;
};

QString TestDevService::program() const
{
    return qEnvironmentVariable("QUORLIX_BINARY_DIR") +
           QStringLiteral("/tests/support/fakeservice/quorlix-devservice");
}

void TestDevService::servesTheSampleData()
{
    if (!QFile::exists(program()))
        QSKIP("quorlix-devservice is not built");
    QProcess service;
    service.start(program(), {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--quiet")});
    QVERIFY(service.waitForStarted(5000));
    QUrl origin;
    QByteArray output;
    const QRegularExpression listening(QStringLiteral("listening on (http://127\\.0\\.0\\.1:\\d+)"));
    QTRY_VERIFY_WITH_TIMEOUT(
        [&]() {
            output += service.readAllStandardOutput();
            const QRegularExpressionMatch m = listening.match(QString::fromUtf8(output));
            if (m.hasMatch())
                origin = QUrl(m.captured(1));
            return m.hasMatch() && output.contains(QByteArray(FakeService::kDemoPassword));
        }(),
        5000);
    QVERIFY(TestNet::requireLoopback(origin));

    QNetworkAccessManager manager;
    auto fetch = [&](const QString &path, const QByteArray &body = QByteArray()) {
        QNetworkRequest request(QUrl(origin.toString() + path));
        request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
        QNetworkReply *reply = body.isNull() ? manager.get(request) : manager.post(request, body);
        (void)QTest::qWaitFor([reply]() { return reply->isFinished(); }, 5000);
        const QJsonObject object = QJsonDocument::fromJson(reply->readAll()).object();
        reply->deleteLater();
        return object;
    };
    const QJsonArray servers = fetch(QStringLiteral("/api/servers")).value("servers").toArray();
    QVERIFY(!servers.isEmpty());
    for (const QJsonValue &s : servers)
        QVERIFY(TestNet::isLoopbackHost(s.toObject().value("ip_address").toString()));
    QVERIFY(!fetch(QStringLiteral("/api/games")).value("data").toArray().isEmpty());
    const QJsonObject login = fetch(QStringLiteral("/api/auth/user-login"),
                                    QJsonDocument(QJsonObject{{"email", FakeService::kDemoEmail},
                                                              {"password", FakeService::kDemoPassword},
                                                              {"remember", true}})
                                        .toJson(QJsonDocument::Compact));
    QVERIFY(login.value("success").toBool());
    QVERIFY(!login.value("token").toString().isEmpty());

    service.terminate();
    QVERIFY(service.waitForFinished(5000));
}

void TestDevService::refusesABadPort()
{
    if (!QFile::exists(program()))
        QSKIP("quorlix-devservice is not built");
    QProcess service;
    service.start(program(), {QStringLiteral("--port"), QStringLiteral("70000")});
    QVERIFY(service.waitForFinished(5000));
    QCOMPARE(service.exitCode(), 2);
}

QTEST_GUILESS_MAIN(TestDevService)
#include "tst_devservice.moc"
