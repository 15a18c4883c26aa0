#include "services/UsageEvents.h"

#include "services/PromoService.h"
#include "services/ServiceClient.h"

#include <QJsonObject>
#include <QPointer>
#include <QTimer>

UsageEvents::UsageEvents(ServiceClient *client, int promoRefreshDelayMs, AccountStore *diagnostics,
                         QObject *parent)
    : QObject(parent), m_client(client), m_promoRefreshDelayMs(promoRefreshDelayMs),
      m_diagnostics(diagnostics)
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
    QPointer<UsageEvents> self(this);
    m_client->send(
        ServiceApi::Endpoint::PromoEvent,
        [self](const ServiceApi::Reply &reply) {
            if (self)
                self->onPromoEventReply(reply);
        },
        QJsonObject{{QStringLiteral("event_name"), eventName}});
}

void UsageEvents::onPromoEventReply(const ServiceApi::Reply &reply)
{
    recordPromoReply(m_diagnostics, QStringLiteral("debug/promo_event_last_"), reply, kRawLimit);
}

void UsageEvents::connectionViewOpened()
{
    track(QStringLiteral("view_connections"));
    QTimer::singleShot(m_promoRefreshDelayMs, this, &UsageEvents::promotionRefreshDue);
}
