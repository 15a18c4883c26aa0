// The account store: what a reply writes, what this run keeps in memory, what
// the removals take away (here and in the INI copy), and who can read the file.

#include "services/AccountStore.h"
#include "storage/AccountStoreFiles.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSettings>
#include <QTest>

#include <memory>

namespace {

std::unique_ptr<QSettings> native()
{
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                       QStringLiteral("Quorlix"), QStringLiteral("QuorlixApp"));
}

std::unique_ptr<QSettings> iniCopy()
{
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Quorlix"),
                                       QStringLiteral("QuorlixApp"));
}

QJsonObject json(const char *text)
{
    return QJsonDocument::fromJson(text).object();
}

const char kSignInReply[] = R"({"success":true,"token":"tok-A","session_id":"sess-0123456789",
    "user":{"id":"u-7","email":"ada@example.test","first_name":"Ada"}})";

// Every key a sign-in and the rest of the client keep, as a full session leaves them.
const QVariantMap kFullSession = {
    {QStringLiteral("auth/token"), QStringLiteral("tok-A")},
    {QStringLiteral("auth/session_id"), QStringLiteral("sess-1")},
    {QStringLiteral("auth/email"), QStringLiteral("ada@example.test")},
    {QStringLiteral("auth/remember"), true},
    {QStringLiteral("user/id"), QStringLiteral("u-7")},
    {QStringLiteral("user/email"), QStringLiteral("ada@example.test")},
    {QStringLiteral("user/first_name"), QStringLiteral("Ada")},
    {QStringLiteral("user/isp"), QStringLiteral("Example ISP")},
    {QStringLiteral("user/country"), QStringLiteral("Germany")},
    {QStringLiteral("user/country_code"), QStringLiteral("DE")},
    {QStringLiteral("notifications/readIds"), QStringList{QStringLiteral("n1")}},
};

// Mode 0600: read and written by its owner, nothing for anyone else.
bool ownerOnly(const QString &path)
{
    const QFileDevice::Permissions mask =
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner | QFileDevice::ReadGroup |
        QFileDevice::WriteGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::WriteOther |
        QFileDevice::ExeOther;
    return QFileInfo::exists(path) &&
           (QFile::permissions(path) & mask) == (QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

void seed(QSettings &store, const QVariantMap &values)
{
    store.clear();
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        store.setValue(it.key(), it.value());
    store.sync();
}

} // namespace

class TestAccountStore : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        native()->clear();
        QFile::remove(iniCopy()->fileName());
    }

    void accountFromReply_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QStringList>("expected"); // token, session, id, email, first name
        QTest::newRow("full") << QString::fromLatin1(kSignInReply)
                              << QStringList{"tok-A", "sess-0123456789", "u-7", "ada@example.test", "Ada"};
        QTest::newRow("numeric id reads as empty") << R"({"token":"t","user":{"id":42,"email":"e@x.test"}})"
                                                   << QStringList{"t", "", "", "e@x.test", ""};
        QTest::newRow("members of the wrong type")
            << R"({"token":7,"session_id":null,"user":"ada"})" << QStringList{"", "", "", "", ""};
        QTest::newRow("not JSON at all") << "<html>" << QStringList{"", "", "", "", ""};
    }
    void accountFromReply()
    {
        QFETCH(QString, reply);
        QFETCH(QStringList, expected);
        const auto a = AccountStore::Account::fromReply(QJsonDocument::fromJson(reply.toUtf8()).object());
        QCOMPARE((QStringList{a.token, a.sessionId, a.userId, a.email, a.firstName}), expected);
    }

    void rememberedSignInIsStoredOwnerOnly()
    {
        AccountStore store;
        store.storeSignIn(AccountStore::Account::fromReply(json(kSignInReply)));

        const auto s = native();
        QCOMPARE(s->value("auth/token").toString(), QStringLiteral("tok-A"));
        QCOMPARE(s->value("auth/session_id").toString(), QStringLiteral("sess-0123456789"));
        QCOMPARE(s->value("auth/email").toString(), QStringLiteral("ada@example.test"));
        QCOMPARE(s->value("user/email").toString(), QStringLiteral("ada@example.test"));
        QCOMPARE(s->value("user/first_name").toString(), QStringLiteral("Ada"));
        QCOMPARE(s->value("user/id").toString(), QStringLiteral("u-7"));
        QVERIFY(ownerOnly(s->fileName()));
        QCOMPARE(store.token(), QStringLiteral("tok-A"));
        QVERIFY(!store.hasSessionForThisRun());
    }

    void emptyValuesNeverOverwrite()
    {
        AccountStore store;
        store.storeSignIn(AccountStore::Account::fromReply(json(kSignInReply)));
        // A later reply without token, with a numeric id and blank names.
        store.storeSignIn(AccountStore::Account::fromReply(
            json(R"({"token":"","session_id":"sess-2","user":{"id":9,"email":"","first_name":""}})")));
        store.storeValidation(AccountStore::Account::fromReply(json(R"({"user":{}})")));

        const auto s = native();
        QCOMPARE(s->value("auth/token").toString(), QStringLiteral("tok-A"));
        QCOMPARE(s->value("auth/session_id").toString(), QStringLiteral("sess-2"));
        QCOMPARE(s->value("user/id").toString(), QStringLiteral("u-7"));
        QCOMPARE(s->value("auth/email").toString(), QStringLiteral("ada@example.test"));
        QCOMPARE(s->value("user/first_name").toString(), QStringLiteral("Ada"));
    }

    void validationKeepsTheToken()
    {
        seed(*native(), {{"auth/token", "tok-A"}, {"auth/remember", true}});
        AccountStore store;
        store.storeValidation(AccountStore::Account::fromReply(
            json(R"({"token":"other","session_id":"s-9","user":{"id":"u-1","email":"b@x.test",
                     "first_name":"Bo"}})")));
        const auto s = native();
        QCOMPARE(s->value("auth/token").toString(), QStringLiteral("tok-A"));
        QCOMPARE(s->value("auth/session_id").toString(), QStringLiteral("s-9"));
        QCOMPARE(s->value("auth/email").toString(), QStringLiteral("b@x.test"));
        QCOMPARE(s->value("user/email").toString(), QStringLiteral("b@x.test"));
        QCOMPARE(s->value("user/id").toString(), QStringLiteral("u-1"));
        QCOMPARE(s->value("user/first_name").toString(), QStringLiteral("Bo"));
    }

    void sessionForThisRunIsNeverWritten()
    {
        // A stale token of an older remembered sign-in is still stored.
        seed(*native(), {{"auth/token", "stale"}, {"user/first_name", "Old"}});
        {
            AccountStore store;
            store.keepForThisRun(AccountStore::Account::fromReply(json(kSignInReply)));
            QVERIFY(store.hasSessionForThisRun());
            // Requests, the header and the profile see this run's session.
            QCOMPARE(store.credentialsSource()().token, QStringLiteral("tok-A"));
            QCOMPARE(store.sessionId(), QStringLiteral("sess-0123456789"));
            QCOMPARE(store.userId(), QStringLiteral("u-7"));
            QCOMPARE(store.userEmail(), QStringLiteral("ada@example.test"));
            QCOMPARE(store.firstName(), QStringLiteral("Ada"));
            QCOMPARE(store.storedToken(), QStringLiteral("stale"));
            const auto s = native();
            QCOMPARE(s->allKeys().size(), 2);
            QCOMPARE(s->value("user/first_name").toString(), QStringLiteral("Old"));
        }
        // The next run starts from the stored keys only.
        AccountStore next;
        QCOMPARE(next.token(), QStringLiteral("stale"));
        QCOMPARE(next.firstName(), QStringLiteral("Old"));
    }

    void rememberedSignInEndsTheSessionForThisRun()
    {
        AccountStore store;
        store.keepForThisRun(AccountStore::Account::fromReply(json(R"({"token":"mem"})")));
        store.storeSignIn(AccountStore::Account::fromReply(json(kSignInReply)));
        QCOMPARE(store.token(), QStringLiteral("tok-A"));
    }

    void removals_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QStringList>("removed");
        QTest::addColumn<bool>("remember");
        const QStringList session = {"auth/token", "auth/session_id", "auth/email",
                                     "user/id",    "user/email",      "user/first_name"};
        QTest::newRow("failed sign-in") << "forget" << QStringList{"auth/token", "auth/email"} << false;
        QTest::newRow("sign-out") << "signOut" << session << false;
        QTest::newRow("session expiry") << "expire" << session << true;
    }
    void removals()
    {
        QFETCH(QString, how);
        QFETCH(QStringList, removed);
        QFETCH(bool, remember);
        seed(*native(), kFullSession);
        seed(*iniCopy(), kFullSession);

        AccountStore store;
        store.keepForThisRun(AccountStore::Account::fromReply(json(R"({"token":"mem"})")));
        if (how == QLatin1String("forget"))
            store.forgetSignIn();
        else if (how == QLatin1String("signOut"))
            store.signOut();
        else
            store.expireSession();

        QVERIFY(!store.hasSessionForThisRun());
        QVERIFY(store.credentialsSource()().token != QLatin1String("mem"));
        const auto s = native();
        const auto copy = iniCopy();
        for (auto it = kFullSession.cbegin(); it != kFullSession.cend(); ++it) {
            const QString key = it.key();
            if (key == QLatin1String("auth/remember"))
                continue;
            QCOMPARE(s->contains(key), !removed.contains(key));
            // The copy never keeps a key the store gave up; it keeps the rest.
            QCOMPARE(copy->contains(key), !removed.contains(key));
        }
        QCOMPARE(s->value("auth/remember").toBool(), remember);
        QCOMPARE(s->value("notifications/readIds").toStringList(), QStringList{"n1"});
        QVERIFY(ownerOnly(copy->fileName()));
    }

    void removalsNeverCreateTheCopy()
    {
        // A missing copy means "first start of this version" to the next
        // start; a sign-out must not create it.
        seed(*native(), kFullSession);
        AccountStore().signOut();
        QVERIFY(!QFileInfo::exists(iniCopy()->fileName()));
    }

    void otherKeysPassThrough()
    {
        AccountStore store;
        store.setValue(AccountStore::ReadIds, QStringList{"a", "b"});
        store.setValue(AccountStore::Country, QStringLiteral("Germany"));
        QCOMPARE(store.value(AccountStore::ReadIds).toStringList(), (QStringList{"a", "b"}));
        QCOMPARE(native()->value("user/country").toString(), QStringLiteral("Germany"));
        QVERIFY(ownerOnly(native()->fileName()));
    }

    void credentialsOutliveTheStore()
    {
        auto *store = new AccountStore;
        store->keepForThisRun(AccountStore::Account::fromReply(json(R"({"token":"mem"})")));
        const ServiceClient::CredentialsSource source = store->credentialsSource();
        QCOMPARE(source().token, QStringLiteral("mem"));
        delete store;
        QVERIFY(source().token.isEmpty());
        QVERIFY(!source().deviceId.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestAccountStore)
#include "tst_accountstore.moc"
