#pragma once
#include <QObject>
#include <QString>

class ServiceClient;

// The usage events the client records with the service ("app_open" at most
// once per run, "view_connections" when a flow opens the connection view),
// and the promotion look that follows the connection view a moment later.
class UsageEvents : public QObject
{
    Q_OBJECT
public:
    // promoRefreshDelayMs: how long after the connection view opens the
    // promotion is looked at again.
    UsageEvents(ServiceClient *client, int promoRefreshDelayMs, QObject *parent = nullptr);

    // Fire and forget; nothing is sent while no token is stored. An empty name
    // is ignored, and "app_open" goes out once however often it is asked for.
    void track(const QString &eventName);

    // A flow opened the connection view: records "view_connections" and
    // emits promotionRefreshDue after the delay, unless this object is gone.
    void connectionViewOpened();

signals:
    void promotionRefreshDue();

private:
    ServiceClient *m_client;
    int m_promoRefreshDelayMs;
    bool m_appOpenSent = false;
};
