#include "services/PromoService.h"

#include "services/AccountStore.h"
#include "services/ReplyBounds.h"
#include "services/ServiceClient.h"
#include "services/UsageEvents.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QJsonDocument>
#include <QPointer>

void recordPromoReply(AccountStore *account, const QString &prefix, const ServiceApi::Reply &reply,
                      int rawLimit)
{
    if (!account)
        return;
    // One write of the store for all five: each write rewrites the whole file.
    account->setValues(
        {{prefix + QStringLiteral("http"), reply.httpStatus},
         {prefix + QStringLiteral("net_err"), int(reply.error)},
         {prefix + QStringLiteral("net_err_str"), reply.errorString},
         {prefix + QStringLiteral("raw"), QString::fromUtf8(reply.body.left(rawLimit))},
         {prefix + QStringLiteral("at"), QDateTime::currentDateTimeUtc().toString(Qt::ISODate)}});
}

namespace {

void warnReply(const char *what, const ServiceApi::Reply &reply)
{
    qWarning().noquote() << what << "http=" << reply.httpStatus << "netErr=" << int(reply.error)
                         << "err=" << reply.errorString << "raw=" << QString::fromUtf8(reply.body.left(512));
}

} // namespace

PromoService::Look PromoService::lookFromReply(const QJsonObject &reply)
{
    Look look;
    const QJsonObject cta = reply.value(QStringLiteral("cta")).toObject();
    look.kind = ReplyBounds::text(cta.value(QStringLiteral("kind")));
    const QString title = ReplyBounds::text(cta.value(QStringLiteral("title")));
    look.label = title.isEmpty() ? labelForKind(look.kind) : title;
    const QJsonObject badge = reply.value(QStringLiteral("badge")).toObject();
    const QString text = ReplyBounds::text(badge.value(QStringLiteral("text")));
    look.badgeShown =
        !badge.isEmpty() && badge.value(QStringLiteral("percent")).toInt() >= 1 && !text.isEmpty();
    if (look.badgeShown) {
        look.badgeText = text;
        look.label = QStringLiteral("Upgrade Now");
    }
    return look;
}

QString PromoService::labelForKind(const QString &kind)
{
    if (kind == QLatin1String("manage_plan"))
        return QStringLiteral("Manage plan");
    if (kind == QLatin1String("upgrade") || kind == QLatin1String("try_trial"))
        return QStringLiteral("Upgrade Now");
    return QString();
}

QString PromoService::signUpText()
{
    return QCoreApplication::translate("MainWindow", "Sign Up Now");
}

PromoService::PromoService(ServiceClient *client, AccountStore *account, UsageEvents *usage,
                           UrlOpener openUrl, QObject *parent)
    : QObject(parent), m_client(client), m_account(account), m_usage(usage), m_openUrl(std::move(openUrl))
{}

bool PromoService::appOpenSent() const
{
    return m_usage && m_usage->appOpenSent();
}

QString PromoService::token() const
{
    return m_account ? m_account->token() : QString();
}

void PromoService::evaluatePromo()
{
    const quint64 evaluation = ++m_evaluation;
    m_kind = QStringLiteral("none");
    emit labelChanged(signUpText());
    emit badgeChanged(false, QString());
    emit pillVisibleChanged(false);
    if (token().isEmpty() || !m_client)
        return;
    QPointer<PromoService> self(this);
    m_client->send(ServiceApi::Endpoint::PromoEvaluate, [self, evaluation](const ServiceApi::Reply &reply) {
        if (!self)
            return;
        if (evaluation != self->m_evaluation) {
            recordPromoReply(self->m_account, QStringLiteral("debug/promo_last_"), reply, kRawLimit);
            return;
        }
        self->onPromoEvaluateReply(reply);
    });
}

void PromoService::onPromoEvaluateReply(const ServiceApi::Reply &reply)
{
    recordPromoReply(m_account, QStringLiteral("debug/promo_last_"), reply, kRawLimit);
    const Look look = lookFromReply(reply.object());
    if (!look.kind.isEmpty())
        m_kind = look.kind;
    if (!look.label.isEmpty())
        emit labelChanged(look.label);
    emit badgeChanged(look.badgeShown, look.badgeText);
    emit pillVisibleChanged(look.badgeShown);
    if (!look.badgeShown)
        warnReply("[Promo] evaluate:", reply);
}

void PromoService::openPromoLink()
{
    if (token().isEmpty()) {
        emit signInNeeded();
        return;
    }
    trackEvent(QStringLiteral("click_promo_cta"));
    trackEvent(QStringLiteral("view_pricing"));
    if (!m_client)
        return;
    QPointer<PromoService> self(this);
    m_client->send(
        ServiceApi::Endpoint::PromoLinkCreate,
        [self](const ServiceApi::Reply &reply) {
            if (self)
                self->onPromoLinkReply(reply);
        },
        QJsonObject{});
}

void PromoService::onPromoLinkReply(const ServiceApi::Reply &reply)
{
    recordPromoReply(m_account, QStringLiteral("debug/promo_link_last_"), reply, kRawLimit);
    const QJsonObject body = reply.object();
    // An address over its bound is refused whole: a cut one leads elsewhere.
    const QString url = ReplyBounds::wholeText(body.value(QStringLiteral("url")));
    if (body.value(QStringLiteral("ok")).toBool() && !url.isEmpty()) {
        const QUrl link(url, QUrl::StrictMode);
        // Only a web address goes to the browser; anything else a reply might
        // carry (file:, javascript:, a custom handler) is never opened.
        if (ServiceConfig::isWebAddress(link)) {
            if (m_openUrl)
                m_openUrl(link);
            return;
        }
    }
    warnReply("[PromoLink] create failed:", reply);
    openPricing();
}

void PromoService::openPricing()
{
    if (!m_client || !m_openUrl)
        return;
    const QUrl pricing = m_client->config().siteUrl(QStringLiteral("/pricing"));
    if (pricing.isValid() && !pricing.isEmpty())
        m_openUrl(pricing);
}

void PromoService::trackEvent(const QString &eventName)
{
    if (m_usage)
        m_usage->track(eventName);
}
