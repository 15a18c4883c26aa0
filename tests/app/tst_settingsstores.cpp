// Where settings live: the INI application settings, the account store and
// its INI copy, and the one-time sign-in reset when the copy is first made.

#include "app/SettingsStores.h"
#include "storage/AccountStoreFiles.h"
#include "support/ClientNames.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

namespace {

int modeOf(const QString &path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return -1;
    return st.st_mode & 0777;
}

QSettings *accountStore()
{
    return new QSettings(QSettings::NativeFormat, QSettings::UserScope, "Quorlix", "QuorlixApp");
}

} // namespace

class tst_SettingsStores : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir *m_dir = nullptr;
    QString dataFolder() const { return m_dir->filePath("share/Quorlix/Quorlix"); }
    QString copyFile() const { return dataFolder() + "/QuorlixApp.ini"; }

    void seedAccount(const QVariantMap &values)
    {
        QScopedPointer<QSettings> account(accountStore());
        for (auto it = values.begin(); it != values.end(); ++it)
            account->setValue(it.key(), it.value());
        account->sync();
    }

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void emptyPathChangesNothing();
    void firstRunCopiesAllButSignInAndClearsIt();
    void laterRunsCopyOnlyMissingKeys();
    void olderCopyIsAdoptedButSignInStillCleared();
    void accountFilesAreOwnerOnly();
};

void tst_SettingsStores::initTestCase()
{
    useClientNames();
}

void tst_SettingsStores::init()
{
    m_dir = new QTemporaryDir;
    QVERIFY(QDir().mkpath(dataFolder()));
    // A private native store per test, as the user's config folder would hold it.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir->filePath("config"));
}

void tst_SettingsStores::cleanup()
{
    delete m_dir;
    m_dir = nullptr;
}

void tst_SettingsStores::emptyPathChangesNothing()
{
    const QSettings::Format before = QSettings::defaultFormat();
    setupSettingsStorage(QString());
    QCOMPARE(QSettings::defaultFormat(), before);
    QVERIFY(!QFile::exists(copyFile()));
    QScopedPointer<QSettings> account(accountStore());
    QVERIFY(!QFile::exists(account->fileName()));
}

void tst_SettingsStores::firstRunCopiesAllButSignInAndClearsIt()
{
    seedAccount({{"auth/token", "secret-token"},
                 {"auth/email", "a@example.test"},
                 {"auth/remember", true},
                 {"auth/session_id", "s-1"},
                 {"auth/other", "x"},
                 {"user/id", "42"},
                 {"user/first_name", "Ada"},
                 {"notifications/readIds", QStringList{"1", "2"}},
                 {"debug/promo_status", 200}});

    QTest::ignoreMessage(QtInfoMsg,
                         QRegularExpression("^✅ Settings storage: .*/share/Quorlix/Quorlix/QuorlixApp.ini$"));
    setupSettingsStorage(dataFolder());

    // Default settings now live in the data folder as INI.
    QCOMPARE(QSettings::defaultFormat(), QSettings::IniFormat);
    QCOMPARE(QSettings().fileName(), dataFolder() + "/Quorlix.ini");

    QVERIFY(QFile::exists(copyFile()));
    QSettings copy(copyFile(), QSettings::IniFormat);
    QCOMPARE(copy.value("user/id").toString(), QString("42"));
    QCOMPARE(copy.value("user/first_name").toString(), QString("Ada"));
    QCOMPARE(copy.value("notifications/readIds").toStringList(), QStringList({"1", "2"}));
    QCOMPARE(copy.value("debug/promo_status").toInt(), 200);
    QVERIFY(!copy.contains("auth/token"));
    QVERIFY(!copy.contains("auth/email"));
    QVERIFY(!copy.contains("auth/session_id"));
    QVERIFY(!copy.contains("auth/other"));
    QCOMPARE(copy.value("auth/remember").toBool(), false);

    QScopedPointer<QSettings> account(accountStore());
    QVERIFY(!account->contains("auth/token"));
    QVERIFY(!account->contains("auth/email"));
    QVERIFY(!account->contains("auth/session_id"));
    QCOMPARE(account->value("auth/remember").toBool(), false);
    QCOMPARE(account->value("auth/other").toString(), QString("x"));
    QCOMPARE(account->value("user/id").toString(), QString("42"));
}

void tst_SettingsStores::laterRunsCopyOnlyMissingKeys()
{
    seedAccount({{"user/id", "1"}, {"auth/token", "first"}});
    setupSettingsStorage(dataFolder());

    // The account code signs in again and changes things between starts.
    seedAccount(
        {{"auth/token", "second"}, {"auth/remember", true}, {"user/id", "2"}, {"user/isp", "Example ISP"}});
    setupSettingsStorage(dataFolder());

    QSettings copy(copyFile(), QSettings::IniFormat);
    QCOMPARE(copy.value("auth/token").toString(), QString("second")); // missing before: copied now
    QCOMPARE(copy.value("user/isp").toString(), QString("Example ISP"));
    QCOMPARE(copy.value("user/id").toString(), QString("1")); // held already: never updated
    QCOMPARE(copy.value("auth/remember").toBool(), false);    // held already since the first run

    // The sign-in is cleared only once.
    QScopedPointer<QSettings> account(accountStore());
    QCOMPARE(account->value("auth/token").toString(), QString("second"));
    QCOMPARE(account->value("auth/remember").toBool(), true);
}

void tst_SettingsStores::olderCopyIsAdoptedButSignInStillCleared()
{
    const QString legacy = dataFolder() + "/Quorlix/QuorlixApp.ini";
    {
        QSettings old(legacy, QSettings::IniFormat);
        old.setValue("user/first_name", "Older");
        old.setValue("auth/token", "older-token");
        old.sync();
    }
    seedAccount({{"auth/token", "live-token"}, {"user/first_name", "Newer"}, {"user/country", "DE"}});

    setupSettingsStorage(dataFolder());

    QVERIFY(!QFile::exists(legacy));
    QVERIFY(!QFileInfo::exists(dataFolder() + "/Quorlix"));
    QSettings copy(copyFile(), QSettings::IniFormat);
    QCOMPARE(copy.value("user/first_name").toString(), QString("Older")); // the adopted copy's own value
    QCOMPARE(copy.value("user/country").toString(), QString("DE"));
    QVERIFY(!copy.contains("auth/token"));
    QScopedPointer<QSettings> account(accountStore());
    QVERIFY(!account->contains("auth/token"));
}

void tst_SettingsStores::accountFilesAreOwnerOnly()
{
    seedAccount({{"auth/token", "t"}, {"user/id", "7"}});
    QScopedPointer<QSettings> account(accountStore());
    const QString native = account->fileName();
    QVERIFY(QFile::setPermissions(native, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                              QFileDevice::ReadGroup | QFileDevice::ReadOther));
    QCOMPARE(modeOf(native), 0644);

    setupSettingsStorage(dataFolder());
    QCOMPARE(modeOf(native), 0600);
    QCOMPARE(modeOf(copyFile()), 0600);

    // A later write by the account code keeps the file private...
    account->setValue("auth/token", "new-token");
    account->sync();
    QCOMPARE(modeOf(native), 0600);

    // ...and the helper repairs a file someone else loosened.
    QVERIFY(QFile::setPermissions(copyFile(),
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther));
    syncAccountStore(*account);
    QCOMPARE(modeOf(copyFile()), 0600);
    QCOMPARE(modeOf(native), 0600);
    QVERIFY(AccountStoreFiles::paths().contains(copyFile()));
    QVERIFY(AccountStoreFiles::paths().contains(native));
}

QTEST_GUILESS_MAIN(tst_SettingsStores)
#include "tst_settingsstores.moc"
