#include "services/UsageEvents.h"

#include "services/ServiceClient.h"

#include <QJsonObject>
#include <QTimer>

UsageEvents::UsageEvents(ServiceClient *client, int promoRefreshDelayMs, QObject *parent)
    : QObject(parent), m_client(client), m_promoRefreshDelayMs(promoRefreshDelayMs)
{}

void UsageEvents::track(const QString &eventName)
{
    if (eventName.trimmed().isEmpty())
        return;
    if (eventName == QLatin1String("app_open")) {
        if (m_appOpenSent)
            return;
        m_appOpenSent = true;
    }
    if (!m_client)
        return;
    m_client->send(
        ServiceApi::Endpoint::PromoEvent, [](const ServiceApi::Reply &) {},
        QJsonObject{{QStringLiteral("event_name"), eventName}});
}

void UsageEvents::connectionViewOpened()
{
    track(QStringLiteral("view_connections"));
    QTimer::singleShot(m_promoRefreshDelayMs, this, &UsageEvents::promotionRefreshDue);
}
