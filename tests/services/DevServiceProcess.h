#pragma once
// The standalone development service as a child process of a test: started
// with the given arguments, its output gathered, its origin read from the
// line it prints once it listens, and a JSON request to it.

#include "support/TestNet.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

class DevServiceProcess
{
public:
    static QString program()
    {
        return qEnvironmentVariable("QUORLIX_BINARY_DIR") +
               QStringLiteral("/tests/support/fakeservice/quorlix-devservice");
    }
    static QString script()
    {
        return qEnvironmentVariable("QUORLIX_SOURCE_DIR") + QStringLiteral("/tools/with-devservice.sh");
    }

    ~DevServiceProcess()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }

    // Starts the service and waits (up to timeoutMs) until it says where it
    // listens. False when it did not: it exited, or never said so.
    bool start(const QStringList &arguments, int timeoutMs = 10000)
    {
        m_process.start(program(), arguments);
        if (!m_process.waitForStarted(timeoutMs))
            return false;
        static const QRegularExpression listening(
            QStringLiteral("listening on (http://127\\.0\\.0\\.1:\\d+)"));
        const bool up = QTest::qWaitFor(
            [&] {
                gather();
                const QRegularExpressionMatch m = listening.match(QString::fromUtf8(m_out));
                if (m.hasMatch())
                    m_origin = QUrl(m.captured(1));
                return m.hasMatch() || m_process.state() == QProcess::NotRunning;
            },
            timeoutMs);
        return up && !m_origin.isEmpty() && TestNet::requireLoopback(m_origin);
    }

    // Waits until the process ends; its exit code, or -1 when it did not end.
    int waitForExit(int timeoutMs = 10000)
    {
        if (m_process.state() != QProcess::NotRunning && !m_process.waitForFinished(timeoutMs))
            return -1;
        gather();
        return m_process.exitCode();
    }

    void stop()
    {
        m_process.terminate();
        m_process.waitForFinished(10000);
        gather();
    }

    QUrl origin() const { return m_origin; }
    QByteArray standardOutput()
    {
        gather();
        return m_out;
    }
    QByteArray standardError()
    {
        gather();
        return m_err;
    }
    QProcess &process() { return m_process; }

    // A GET, or a POST of `body` as JSON when it is not null, to `origin`; the
    // reply's status and JSON object (empty when it has none).
    static QJsonObject request(const QUrl &origin, const QString &path, const QJsonObject &body = {},
                               bool post = false, const QString &token = QString(), int *status = nullptr)
    {
        QNetworkAccessManager manager;
        QNetworkRequest request(QUrl(origin.toString() + path));
        request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
        if (!token.isEmpty())
            request.setRawHeader("Authorization", "Bearer " + token.toUtf8());
        QNetworkReply *reply = post
                                   ? manager.post(request, QJsonDocument(body).toJson(QJsonDocument::Compact))
                                   : manager.get(request);
        (void)QTest::qWaitFor([reply] { return reply->isFinished(); }, 10000);
        if (status)
            *status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QJsonObject object = QJsonDocument::fromJson(reply->readAll()).object();
        reply->deleteLater();
        return object;
    }

private:
    void gather()
    {
        m_out += m_process.readAllStandardOutput();
        m_err += m_process.readAllStandardError();
    }

    QProcess m_process;
    QByteArray m_out;
    QByteArray m_err;
    QUrl m_origin;
};
