#pragma once
// The signed-in session's life: a heartbeat that tells the service the
// session still lives, the service's "signed in elsewhere" answer that ends
// it, and the user's own sign-out. Whether a heartbeat goes out depends only
// on the token at that moment (this run's session first, else the stored one).

#include "services/ServiceApi.h"

#include <QObject>

class AccountStore;
class ServiceClient;

class AccountSession : public QObject
{
    Q_OBJECT
public:
    AccountSession(ServiceClient *client, AccountStore *account, QObject *parent = nullptr);

public slots:
    // POST /api/auth/heartbeat with {"session_id": id}, or {} without an id;
    // nothing without a token.
    void sendHeartbeat();
    // sentToken: the token the heartbeat carried. A "Session expired" for a
    // token that is no longer the account's (already ended, or replaced by a
    // new sign-in) is stale and changes nothing. Empty: not checked.
    void onHeartbeatReply(const ServiceApi::Reply &reply, const QString &sentToken = QString());
    // "auth/remember" false and the session keys removed; the location stays.
    void logout();

signals:
    // The service ended the session because the account signed in on another
    // device; the session keys are gone by the time this is emitted.
    void sessionExpired();

private:
    ServiceClient *m_client;
    AccountStore *m_account;
};
