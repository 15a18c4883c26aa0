#include "services/AccountSession.h"

#include "services/AccountStore.h"
#include "services/ServiceClient.h"

#include <QDebug>
#include <QJsonObject>
#include <QPointer>

AccountSession::AccountSession(ServiceClient *client, AccountStore *account, QObject *parent)
    : QObject(parent), m_client(client), m_account(account)
{}

void AccountSession::sendHeartbeat()
{
    if (!m_client || !m_account)
        return;
    // The service client sends the same token; reading it here keeps an
    // empty one from becoming a request at all.
    const QString token = m_account->token();
    if (token.isEmpty())
        return;
    QJsonObject body;
    const QString sessionId = m_account->sessionId();
    if (!sessionId.isEmpty())
        body.insert(QStringLiteral("session_id"), sessionId);
    QPointer<AccountSession> self(this);
    m_client->send(
        ServiceApi::Endpoint::Heartbeat,
        [self, token](const ServiceApi::Reply &reply) {
            if (self)
                self->onHeartbeatReply(reply, token);
        },
        body);
}

void AccountSession::onHeartbeatReply(const ServiceApi::Reply &reply, const QString &sentToken)
{
    if (reply.ok()) {
        qDebug() << "✅ Heartbeat sent successfully";
        return;
    }
    if (reply.httpStatus == 401) {
        const QJsonObject object = reply.object();
        if (object.value(QStringLiteral("error")).toString() != QLatin1String("Session expired"))
            return;
        // Two heartbeats may be under way when the session ends elsewhere;
        // only the first answer ends it, and never a newer sign-in.
        if (!sentToken.isEmpty() && (!m_account || m_account->token() != sentToken))
            return;
        qWarning() << "⚠️ Session expired (reason:" << object.value(QStringLiteral("reason")).toString()
                   << ") - Logging out...";
        if (m_account)
            m_account->expireSession();
        emit sessionExpired();
        return;
    }
    qWarning() << "⚠️ Heartbeat failed:" << reply.errorString;
}

void AccountSession::logout()
{
    if (m_account)
        m_account->signOut();
}
