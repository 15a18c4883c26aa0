#include "services/AccountInfo.h"

#include "services/AccountStore.h"
#include "services/ServiceClient.h"

#include <QCoreApplication>
#include <QJsonObject>
#include <QNetworkRequest>
#include <QPointer>

const char AccountInfo::kGeoPathAndQuery[] = "/json/?fields=isp,country,countryCode,city";

AccountTexts AccountTexts::from(const QString &email, const QString &firstName, const QString &isp,
                                const QString &country)
{
    const QString dash = QStringLiteral("-");
    AccountTexts texts;
    texts.name = firstName;
    if (texts.name.isEmpty())
        texts.name = email.section(QLatin1Char('@'), 0, 0);
    if (texts.name.isEmpty())
        texts.name = QCoreApplication::translate("MainWindow", "Account");
    texts.emailLabel = email.isEmpty() ? QCoreApplication::translate("MainWindow", "Not signed in") : email;
    texts.profileEmail = email.isEmpty() ? dash : email;
    texts.isp = isp.isEmpty() ? dash : isp;
    texts.country = country.isEmpty() ? dash : country;
    return texts;
}

bool AccountTexts::operator==(const AccountTexts &other) const
{
    return name == other.name && emailLabel == other.emailLabel && profileEmail == other.profileEmail &&
           isp == other.isp && country == other.country;
}

AccountInfo::AccountInfo(AccountStore *account, ServiceClient *client, QObject *parent)
    : QObject(parent), m_account(account), m_client(client)
{}

AccountTexts AccountInfo::texts() const
{
    if (!m_account)
        return AccountTexts::from({}, {}, {}, {});
    // "user/email" wins while it is there at all, even blank; "auth/email"
    // stands in only for a missing one.
    QString email = m_account->userEmail();
    if (!m_account->hasSessionForThisRun() && !m_account->value(AccountStore::UserEmail).isValid())
        email = m_account->authEmail();
    return AccountTexts::from(email, m_account->firstName(),
                              m_account->value(AccountStore::Isp).toString().trimmed(),
                              m_account->value(AccountStore::Country).toString().trimmed());
}

void AccountInfo::refreshAccountInfo()
{
    const AccountTexts shown = texts();
    emit accountTextsChanged(shown);
    if (!m_account || !m_client)
        return;
    const bool known = !m_account->value(AccountStore::Isp).toString().trimmed().isEmpty() &&
                       !m_account->value(AccountStore::Country).toString().trimmed().isEmpty();
    if (known || m_locationRequestRunning || m_locationRequestDone)
        return;
    m_locationRequestRunning = true;
    // A plain request: the service's credentials are no business of the
    // geolocation service. A stalled one ends as a failure after the client's
    // inactivity time-out, like every request.
    QNetworkRequest request(m_client->config().geoUrl(QString::fromLatin1(kGeoPathAndQuery)));
    QPointer<AccountInfo> self(this);
    m_client->get(request, [self](const ServiceApi::Reply &reply) {
        if (self)
            self->onGeoLocationReply(reply);
    });
}

void AccountInfo::onGeoLocationReply(const ServiceApi::Reply &reply)
{
    m_locationRequestRunning = false;
    m_locationRequestDone = true;
    if (!reply.ok() || !m_account)
        return;
    const QJsonObject object = reply.object();
    const QString isp = object.value(QStringLiteral("isp")).toString().trimmed();
    const QString country = object.value(QStringLiteral("country")).toString().trimmed();
    const QString code = object.value(QStringLiteral("countryCode")).toString().trimmed();
    if (isp.isEmpty() && country.isEmpty())
        return;
    if (!isp.isEmpty())
        m_account->setValue(AccountStore::Isp, isp);
    if (!country.isEmpty())
        m_account->setValue(AccountStore::Country, country);
    if (!code.isEmpty())
        m_account->setValue(AccountStore::CountryCode, code);
    refreshAccountInfo();
}
