#pragma once
// Who is signed in: the one reader and writer of the account keys ("auth/...",
// "user/...") in the native settings store. Every call opens the store anew,
// so two stores (or the sign-in page's own QSettings) never disagree for long;
// every write is synced and leaves the file readable by its owner only.
//
// A sign-in without "keep me login" is kept for this run only: its token,
// session id and user fields live in memory, take precedence over anything
// stored, and are gone at the next start. Removals also clear the same keys
// in the store's INI copy, so no copy keeps a token the user gave up.

#include "services/ServiceClient.h"

#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QVariant>

class QSettings;

class AccountStore : public QObject
{
    Q_OBJECT
public:
    // The keys.
    static const QString Token;       // "auth/token"
    static const QString SessionId;   // "auth/session_id"
    static const QString AuthEmail;   // "auth/email"
    static const QString Remember;    // "auth/remember", bool, default false
    static const QString UserId;      // "user/id"
    static const QString UserEmail;   // "user/email"
    static const QString FirstName;   // "user/first_name"
    static const QString Isp;         // "user/isp"
    static const QString Country;     // "user/country"
    static const QString CountryCode; // "user/country_code"
    static const QString ReadIds;     // "notifications/readIds", string list

    // What a sign-in or validation reply says about the account. Members the
    // reply lacks, or holds as anything but a string, are empty.
    struct Account
    {
        QString token;     // "token"
        QString sessionId; // "session_id"
        QString userId;    // "user"."id" (a number in its place reads as empty)
        QString email;     // "user"."email"
        QString firstName; // "user"."first_name"

        static Account fromReply(const QJsonObject &reply);
    };

    explicit AccountStore(QObject *parent = nullptr);

    // The account as requests, the header and the profile see it: this run's
    // session when there is one, else the stored values. Trimmed.
    QString token() const;
    QString sessionId() const;
    QString userId() const;
    QString userEmail() const;
    QString firstName() const;
    // Only what is stored, whatever this run holds.
    QString storedToken() const;
    QString authEmail() const;
    bool remember() const;
    // True while a sign-in without "keep me login" holds this run's session.
    bool hasSessionForThisRun() const { return !m_session.token.isEmpty(); }

    // Any other key of the store (location, read list, diagnostics).
    QVariant value(const QString &key, const QVariant &defaultValue = {}) const;
    void setValue(const QString &key, const QVariant &value);
    // Several keys in one write of the store (each setValue rewrites it).
    void setValues(const QVariantMap &values);

    // A remembered sign-in reply: "user"."email" into "auth/email" and
    // "user/email", then token, session id, first name and user id; each only
    // when non-empty. This run's session, if any, is dropped.
    void storeSignIn(const Account &account);
    // A validation reply: user id, "user/email" and "auth/email", first name,
    // session id; each only when non-empty. The token stays as it was.
    void storeValidation(const Account &account);
    // A sign-in without "keep me login": nothing is written; the account is
    // this run's session until it ends or the user signs out.
    void keepForThisRun(const Account &account);

    // A failed sign-in, or a validation the service refused: "auth/remember"
    // false, "auth/email" and "auth/token" removed; this run's session ends.
    void forgetSignIn();
    // Sign-out: "auth/remember" false and the session keys removed.
    void signOut();
    // Session expiry: the session keys removed, "auth/remember" kept.
    void expireSession();

    // The credentials the window's ServiceClient sends: token() and this
    // device's id. Safe to call after the store is gone (empty token).
    ServiceClient::CredentialsSource credentialsSource();

private:
    void removeSessionKeys(bool resetRemember);
    // Removes the keys here and in the INI copy (when that file exists).
    void removeKeys(QSettings &store, const QStringList &keys);
    QString read(const QString &key) const;

    Account m_session;
};
