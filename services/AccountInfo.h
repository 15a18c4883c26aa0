#pragma once
// What the header and the Profile section show of the account: name, e-mail,
// internet provider and country. The provider and country come from a public
// IP-geolocation service, asked at most once while the window lives and only
// while either is unknown; its answer is stored for later starts.

#include "services/ServiceApi.h"

#include <QMetaType>
#include <QObject>
#include <QString>

class AccountStore;
class ServiceClient;

// The five texts, as the labels show them.
struct AccountTexts
{
    QString name;         // first name, else the e-mail's local part, else "Account"
    QString emailLabel;   // the e-mail, or "Not signed in"
    QString profileEmail; // the e-mail, or "-"
    QString isp;          // or "-"
    QString country;      // or "-"

    // The texts for the trimmed store values.
    static AccountTexts from(const QString &email, const QString &firstName, const QString &isp,
                             const QString &country);
    bool operator==(const AccountTexts &other) const;
};
Q_DECLARE_METATYPE(AccountTexts)

class AccountInfo : public QObject
{
    Q_OBJECT
public:
    static const char kGeoPathAndQuery[]; // "/json/?fields=isp,country,countryCode,city"

    AccountInfo(AccountStore *account, ServiceClient *client, QObject *parent = nullptr);

    // The texts for what is stored now.
    AccountTexts texts() const;
    bool locationRequestRunning() const { return m_locationRequestRunning; }
    bool locationRequestDone() const { return m_locationRequestDone; }

public slots:
    // Announces the texts, then asks for the location when the provider or
    // the country is unknown and it was not asked before.
    void refreshAccountInfo();
    void onGeoLocationReply(const ServiceApi::Reply &reply);

signals:
    void accountTextsChanged(const AccountTexts &texts);

private:
    AccountStore *m_account;
    ServiceClient *m_client;
    bool m_locationRequestRunning = false;
    bool m_locationRequestDone = false;
};
