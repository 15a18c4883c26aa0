#include "services/AccountStore.h"

#include "services/ReplyBounds.h"
#include "storage/AccountStoreFiles.h"
#include "storage/DeviceId.h"

#include <QFileInfo>
#include <QPointer>
#include <QSettings>

#include <memory>

const QString AccountStore::Token = QStringLiteral("auth/token");
const QString AccountStore::SessionId = QStringLiteral("auth/session_id");
const QString AccountStore::AuthEmail = QStringLiteral("auth/email");
const QString AccountStore::Remember = QStringLiteral("auth/remember");
const QString AccountStore::UserId = QStringLiteral("user/id");
const QString AccountStore::UserEmail = QStringLiteral("user/email");
const QString AccountStore::FirstName = QStringLiteral("user/first_name");
const QString AccountStore::Isp = QStringLiteral("user/isp");
const QString AccountStore::Country = QStringLiteral("user/country");
const QString AccountStore::CountryCode = QStringLiteral("user/country_code");
const QString AccountStore::ReadIds = QStringLiteral("notifications/readIds");

namespace {

QSettings *openNative()
{
    return new QSettings(QSettings::NativeFormat, QSettings::UserScope,
                         QString::fromLatin1(AccountStoreFiles::Organisation),
                         QString::fromLatin1(AccountStoreFiles::Application));
}

// The store, its file made owner-only before anything is written to it, so
// the token is never readable by others, not even for a moment.
std::unique_ptr<QSettings> openForWriting()
{
    std::unique_ptr<QSettings> probe(openNative());
    AccountStoreFiles::precreateOwnerOnly(probe->fileName());
    probe.reset();
    return std::unique_ptr<QSettings>(openNative());
}

void setIfNotEmpty(QSettings &store, const QString &key, const QString &value)
{
    if (!value.isEmpty())
        store.setValue(key, value);
}

} // namespace

AccountStore::Account AccountStore::Account::fromReply(const QJsonObject &reply)
{
    // Everything here is kept in the account store and sent or shown again:
    // a token or id over its bound is refused (the sign-in then fails as
    // without one), the texts are cut.
    const QJsonObject user = reply.value(QStringLiteral("user")).toObject();
    Account a;
    a.token = ReplyBounds::wholeText(reply.value(QStringLiteral("token")));
    a.sessionId = ReplyBounds::wholeText(reply.value(QStringLiteral("session_id")));
    a.userId = ReplyBounds::wholeText(user.value(QStringLiteral("id")));
    a.email = ReplyBounds::text(user.value(QStringLiteral("email")));
    a.firstName = ReplyBounds::text(user.value(QStringLiteral("first_name")));
    return a;
}

AccountStore::AccountStore(QObject *parent) : QObject(parent) {}

QString AccountStore::read(const QString &key) const
{
    const std::unique_ptr<QSettings> store(openNative());
    return store->value(key).toString().trimmed();
}

QString AccountStore::token() const
{
    return hasSessionForThisRun() ? m_session.token.trimmed() : read(Token);
}

QString AccountStore::sessionId() const
{
    return hasSessionForThisRun() ? m_session.sessionId.trimmed() : read(SessionId);
}

QString AccountStore::userId() const
{
    return hasSessionForThisRun() ? m_session.userId.trimmed() : read(UserId);
}

QString AccountStore::userEmail() const
{
    return hasSessionForThisRun() ? m_session.email.trimmed() : read(UserEmail);
}

QString AccountStore::firstName() const
{
    return hasSessionForThisRun() ? m_session.firstName.trimmed() : read(FirstName);
}

QString AccountStore::storedToken() const
{
    return read(Token);
}

QString AccountStore::authEmail() const
{
    return read(AuthEmail);
}

bool AccountStore::remember() const
{
    const std::unique_ptr<QSettings> store(openNative());
    return store->value(Remember, false).toBool();
}

QVariant AccountStore::value(const QString &key, const QVariant &defaultValue) const
{
    const std::unique_ptr<QSettings> store(openNative());
    return store->value(key, defaultValue);
}

void AccountStore::setValue(const QString &key, const QVariant &value)
{
    const std::unique_ptr<QSettings> store = openForWriting();
    store->setValue(key, value);
    syncAccountStore(*store);
}

void AccountStore::setValues(const QVariantMap &values)
{
    const std::unique_ptr<QSettings> store = openForWriting();
    for (auto it = values.constBegin(); it != values.constEnd(); ++it)
        store->setValue(it.key(), it.value());
    syncAccountStore(*store);
}

void AccountStore::storeSignIn(const Account &account)
{
    m_session = Account();
    const std::unique_ptr<QSettings> store = openForWriting();
    setIfNotEmpty(*store, AuthEmail, account.email);
    setIfNotEmpty(*store, UserEmail, account.email);
    setIfNotEmpty(*store, Token, account.token);
    setIfNotEmpty(*store, SessionId, account.sessionId);
    setIfNotEmpty(*store, FirstName, account.firstName);
    setIfNotEmpty(*store, UserId, account.userId);
    syncAccountStore(*store);
}

void AccountStore::storeValidation(const Account &account)
{
    const std::unique_ptr<QSettings> store = openForWriting();
    setIfNotEmpty(*store, UserId, account.userId);
    setIfNotEmpty(*store, UserEmail, account.email);
    setIfNotEmpty(*store, AuthEmail, account.email);
    setIfNotEmpty(*store, FirstName, account.firstName);
    setIfNotEmpty(*store, SessionId, account.sessionId);
    syncAccountStore(*store);
}

void AccountStore::keepForThisRun(const Account &account)
{
    m_session = account;
}

void AccountStore::forgetSignIn()
{
    m_session = Account();
    const std::unique_ptr<QSettings> store = openForWriting();
    store->setValue(Remember, false);
    removeKeys(*store, {AuthEmail, Token});
}

void AccountStore::signOut()
{
    removeSessionKeys(true);
}

void AccountStore::expireSession()
{
    removeSessionKeys(false);
}

void AccountStore::removeSessionKeys(bool resetRemember)
{
    m_session = Account();
    const std::unique_ptr<QSettings> store = openForWriting();
    if (resetRemember)
        store->setValue(Remember, false);
    removeKeys(*store, {Token, SessionId, AuthEmail, UserId, UserEmail, FirstName});
}

void AccountStore::removeKeys(QSettings &store, const QStringList &keys)
{
    for (const QString &key : keys)
        store.remove(key);
    syncAccountStore(store);

    // The INI copy is only ever added to at start-up; a key removed here must
    // not live on there. A copy that does not exist is not created: its
    // absence means something to the next start.
    QSettings copy(QSettings::IniFormat, QSettings::UserScope,
                   QString::fromLatin1(AccountStoreFiles::Organisation),
                   QString::fromLatin1(AccountStoreFiles::Application));
    if (copy.fileName() == store.fileName() || !QFileInfo::exists(copy.fileName()))
        return;
    bool held = false;
    for (const QString &key : keys) {
        if (copy.contains(key)) {
            copy.remove(key);
            held = true;
        }
    }
    if (held)
        syncAccountStore(copy);
}

ServiceClient::CredentialsSource AccountStore::credentialsSource()
{
    QPointer<AccountStore> self(this);
    return [self]() {
        ServiceApi::Credentials credentials;
        if (self)
            credentials.token = self->token();
        credentials.deviceId = DeviceId::get();
        return credentials;
    };
}
