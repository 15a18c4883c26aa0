#include "app/SettingsStores.h"

#include "storage/AccountStoreFiles.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>

namespace {

const QString kOrganisation = QString::fromLatin1(AccountStoreFiles::Organisation);
const QString kApplication = QString::fromLatin1(AccountStoreFiles::Application);

bool isSignInKey(const QString &key)
{
    static const QStringList exact = {
        QStringLiteral("auth\\token"),
        QStringLiteral("auth\\email"),
        QStringLiteral("auth\\remember"),
        QStringLiteral("auth\\session_id"),
    };
    return key.startsWith(QLatin1String("auth/")) || exact.contains(key);
}

void clearSignIn(QSettings &store)
{
    store.setValue(QStringLiteral("auth/remember"), false);
    store.remove(QStringLiteral("auth/token"));
    store.remove(QStringLiteral("auth/email"));
    store.remove(QStringLiteral("auth/session_id"));
    store.sync();
}

} // namespace

void setupSettingsStorage(const QString &dataFolder)
{
    if (dataFolder.isEmpty())
        return;

    const QString parent = QFileInfo(QDir::cleanPath(dataFolder)).absolutePath();

    QSettings account(QSettings::NativeFormat, QSettings::UserScope, kOrganisation, kApplication);

    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, parent);

    QString copyPath;
    {
        const QSettings probe(QSettings::IniFormat, QSettings::UserScope, kOrganisation, kApplication);
        copyPath = probe.fileName();
    }
    const bool copyExisted = QFileInfo::exists(copyPath);

    // Adopt the copy an older install kept one folder deeper.
    const QString legacyCopy = QDir(dataFolder).filePath(QStringLiteral("Quorlix/QuorlixApp.ini"));
    if (QFileInfo::exists(legacyCopy) && !QFileInfo::exists(copyPath)) {
        QDir().mkpath(QFileInfo(copyPath).absolutePath());
        if (!QFile::rename(legacyCopy, copyPath))
            qWarning().noquote() << "[Settings] could not adopt the older account copy" << legacyCopy;
        const QDir legacyDir = QFileInfo(legacyCopy).absoluteDir();
        if (legacyDir.exists() &&
            legacyDir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System)
                .isEmpty())
            QDir(legacyDir.absolutePath()).removeRecursively();
    }

    // Both files hold the token: make them owner-only before the first write
    // so the token is never readable by others, not even for a moment.
    AccountStoreFiles::precreateOwnerOnly(copyPath);
    AccountStoreFiles::precreateOwnerOnly(account.fileName());

    // Opened only now so that it reads an adopted older copy.
    QSettings copy(QSettings::IniFormat, QSettings::UserScope, kOrganisation, kApplication);

    const QStringList keys = account.allKeys();
    for (const QString &key : keys) {
        if (!copyExisted && isSignInKey(key))
            continue;
        if (!copy.contains(key))
            copy.setValue(key, account.value(key));
    }
    copy.sync();

    if (!copyExisted) {
        clearSignIn(copy);
        clearSignIn(account);
    }

    AccountStoreFiles::restrictFile(copyPath);
    AccountStoreFiles::restrictFile(account.fileName());

    if (copy.status() != QSettings::NoError || account.status() != QSettings::NoError)
        qWarning().noquote() << "[Settings] the account store could not be written fully:" << copyPath;
    qInfo().noquote() << "✅ Settings storage:" << copyPath;
}
