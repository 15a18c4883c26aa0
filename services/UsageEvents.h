#pragma once
#include "services/ServiceApi.h"

#include <QObject>
#include <QString>

class AccountStore;
class ServiceClient;

// The usage events the client records with the service ("app_open" at most
// once per run, "view_connections" when a flow opens the connection view),
// and the promotion look that follows the connection view a moment later.
class UsageEvents : public QObject
{
    Q_OBJECT
public:
    static constexpr int kRawLimit = 4096;

    // promoRefreshDelayMs: how long after the connection view opens the
    // promotion is looked at again. Each event's reply is recorded under the
    // account store's "debug/promo_event_last_" keys when one is given.
    UsageEvents(ServiceClient *client, int promoRefreshDelayMs, AccountStore *diagnostics = nullptr,
                QObject *parent = nullptr);

    // Fire and forget; nothing is sent while no token is stored. An empty name
    // is ignored, and "app_open" goes out once however often it is asked for;
    // asked for first while signed out, it is spent and never goes out.
    void track(const QString &eventName);
    bool appOpenSent() const { return m_appOpenSent; }

    // A flow opened the connection view: records "view_connections" and
    // emits promotionRefreshDue after the delay, unless this object is gone.
    void connectionViewOpened();

    void onPromoEventReply(const ServiceApi::Reply &reply);

signals:
    void promotionRefreshDue();

private:
    ServiceClient *m_client;
    int m_promoRefreshDelayMs;
    AccountStore *m_diagnostics;
    bool m_appOpenSent = false;
};
