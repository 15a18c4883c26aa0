#include "storage/AccountStoreFiles.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

namespace AccountStoreFiles {

QStringList paths()
{
    QStringList out;
    {
        QSettings native(QSettings::NativeFormat, QSettings::UserScope, QString::fromLatin1(Organisation),
                         QString::fromLatin1(Application));
        out << native.fileName();
    }
    {
        QSettings ini(QSettings::IniFormat, QSettings::UserScope, QString::fromLatin1(Organisation),
                      QString::fromLatin1(Application));
        if (!out.contains(ini.fileName()))
            out << ini.fileName();
    }
    return out;
}

static constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

bool restrictFile(const QString &path)
{
    if (path.isEmpty())
        return true;
    QFileInfo info(path);
    if (!info.exists() || !info.isFile())
        return true;
    // ReadUser/WriteUser may be set alongside ReadOwner; only look at the bits that matter.
    const QFileDevice::Permissions mask =
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner | QFileDevice::ReadGroup |
        QFileDevice::WriteGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::WriteOther |
        QFileDevice::ExeOther;
    if ((info.permissions() & mask) == kOwnerOnly)
        return true;
    if (!QFile::setPermissions(path, kOwnerOnly)) {
        qWarning().noquote() << "[Settings] could not make the account store owner-only:" << path;
        return false;
    }
    return true;
}

bool precreateOwnerOnly(const QString &path)
{
    if (path.isEmpty() || QFileInfo::exists(path))
        return restrictFile(path);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        // Someone else created it meanwhile, or the folder is not writable.
        return restrictFile(path);
    }
    f.setPermissions(kOwnerOnly);
    f.close();
    return restrictFile(path);
}

} // namespace AccountStoreFiles

void restrictAccountStoreFiles()
{
    for (const QString &p : AccountStoreFiles::paths())
        AccountStoreFiles::restrictFile(p);
}

void syncAccountStore(QSettings &store)
{
    store.sync();
    AccountStoreFiles::restrictFile(store.fileName());
    restrictAccountStoreFiles();
}
