#include "platform/InstallerLauncher.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

namespace {

class SystemInstallerLauncher : public InstallerLauncher
{
public:
    bool start(const QString &path) override
    {
        const QFileInfo info(path);
        if (path.isEmpty() || !info.isFile()) {
            qWarning().noquote() << "[Update] installer is not a file:" << path;
            return false;
        }
#ifndef Q_OS_WIN
        // The download is written as plain data; only its owner may run it.
        if (!QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)) {
            qWarning().noquote() << "[Update] cannot make the installer executable:" << path;
            return false;
        }
#endif
        qint64 pid = 0;
        if (!QProcess::startDetached(info.absoluteFilePath(), {}, QString(), &pid)) {
            qWarning().noquote() << "[Update] installer did not start:" << path;
            return false;
        }
        return true;
    }
};

} // namespace

InstallerLauncher &InstallerLauncher::system()
{
    static SystemInstallerLauncher launcher;
    return launcher;
}
