#pragma once
// The promotion pill's behaviour: which text and badge the service offers the
// signed-in account, the personal link a click on the pill opens, and the
// usage events. The pill's widgets follow the signals; every promotion reply
// leaves its outcome under the account store's "debug/promo_" keys.

#include "services/ServiceApi.h"
#include "services/UrlOpener.h"

#include <QJsonObject>
#include <QObject>
#include <QString>

class AccountStore;
class ServiceClient;
class UsageEvents;

// Records a promotion reply under prefix + "http", "net_err", "net_err_str",
// "raw" (the body's first rawLimit bytes) and "at" (UTC, ISO 8601).
void recordPromoReply(AccountStore *account, const QString &prefix, const ServiceApi::Reply &reply,
                      int rawLimit);

class PromoService : public QObject
{
    Q_OBJECT
public:
    static constexpr int kRawLimit = 16384;

    // What an evaluation reply asks of the pill. An empty label leaves the
    // pill's text as it is.
    struct Look
    {
        QString label;
        QString kind;
        bool badgeShown = false;
        QString badgeText;
    };
    static Look lookFromReply(const QJsonObject &reply);
    static QString labelForKind(const QString &kind);
    static QString signUpText();

    // usage may be null (no events); openUrl may be empty (links open nothing).
    PromoService(ServiceClient *client, AccountStore *account, UsageEvents *usage, UrlOpener openUrl,
                 QObject *parent = nullptr);

    // The kind of the last evaluation's reply; "none" while one is pending.
    QString kind() const { return m_kind; }
    bool appOpenSent() const;

    void onPromoEvaluateReply(const ServiceApi::Reply &reply);
    void onPromoLinkReply(const ServiceApi::Reply &reply);

public slots:
    // Resets the pill to "Sign Up Now", hidden, and asks the service again
    // while signed in. Run at start, after a sign-in and after a sign-out.
    void evaluatePromo();
    // The pill was clicked: signed out, the sign-in page is wanted; signed in,
    // the service's personal link opens (else the pricing page).
    void openPromoLink();
    void trackEvent(const QString &eventName);

signals:
    void labelChanged(const QString &text);
    void badgeChanged(bool shown, const QString &text);
    void pillVisibleChanged(bool visible);
    void signInNeeded();

private:
    QString token() const;
    void openPricing();

    ServiceClient *m_client;
    AccountStore *m_account;
    UsageEvents *m_usage;
    UrlOpener m_openUrl;
    QString m_kind = QStringLiteral("none");
    // Only the newest evaluation's reply reaches the pill: one that was
    // overtaken (by a sign-out, say) would show a stale offer.
    quint64 m_evaluation = 0;
};
