#include "services/VersionGate.h"

#include "services/BusyOverlay.h"
#include "services/ServiceClient.h"
#include "services/UpdateController.h"

#include <QCoreApplication>
#include <QDebug>
#include <QPointer>

namespace VersionRules {

namespace {
bool flag(const QJsonObject &object, const char *key)
{
    const QJsonValue value = object.value(QLatin1String(key));
    return value.isBool() && value.toBool();
}
bool answered(const ServiceApi::Reply &reply)
{
    return reply.ok() && reply.httpStatus >= 200 && reply.httpStatus <= 299;
}
} // namespace

bool refuses(const ServiceApi::Reply &reply)
{
    if (!answered(reply))
        return false;
    const QJsonObject verdict = reply.object();
    return flag(verdict, "blocked") || !flag(verdict, "valid");
}

bool forcesUpdate(const ServiceApi::Reply &reply)
{
    return answered(reply) && flag(reply.object(), "force_update");
}

} // namespace VersionRules

VersionGate::VersionGate(ServiceClient *client, UpdateController *updates, TimerSource timers,
                         QObject *parent)
    : QObject(parent), m_client(client), m_updates(updates), m_timers(std::move(timers))
{
    if (m_updates) {
        QPointer<VersionGate> self(this);
        m_updates->setBlockedHandler([self]() {
            if (!self || !self->m_blocked)
                return false;
            // Under a block whose shutdown is already on its way a check
            // (the start-up one, say) just ends.
            if (!self->m_shutdownScheduled)
                self->onVersionUnsupported();
            return true;
        });
    }
}

void VersionGate::validateAppVersion()
{
    if (m_blocked || !m_client)
        return;
    QPointer<VersionGate> self(this);
    m_client->send(ServiceApi::Endpoint::VersionValidate, [self](const ServiceApi::Reply &reply) {
        if (self)
            self->onVersionValidateReply(reply);
    });
}

void VersionGate::onVersionValidateReply(const ServiceApi::Reply &reply)
{
    // Two checks may be under way at once (start-up and the timer); the first
    // refusal decides.
    if (m_blocked || !VersionRules::refuses(reply))
        return;
    qWarning().noquote() << "[Update] this version was refused by the service, status" << reply.httpStatus;
    m_blocked = true;
    if (m_windowControls)
        m_windowControls(false);
    if (m_overlay)
        m_overlay->showMessage(QStringLiteral("Version Blocked"));
    if (VersionRules::forcesUpdate(reply) && m_updates) {
        m_updates->checkForAppUpdate();
        return;
    }
    m_shutdownScheduled = true;
    m_timers(kClosingNoticeDelayMs, this, [this] { onVersionUnsupported(); });
}

void VersionGate::onVersionUnsupported()
{
    if (m_closing)
        return;
    m_closing = true;
    m_shutdownScheduled = true;
    if (m_overlay)
        m_overlay->showMessage(QStringLiteral("Application Closing..."));
    m_timers(kQuitDelayMs, this, [this] {
        if (m_quit)
            m_quit();
        else
            QCoreApplication::quit();
    });
}
