#include "app/DataFolder.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QStandardPaths>
#include <QStringList>

DataFolderLocations DataFolderLocations::current()
{
    DataFolderLocations where;
    where.dataFolder = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    where.roamingFolder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    const QString generic = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (!generic.isEmpty())
        where.organisationFolder = generic + QLatin1Char('/') + QCoreApplication::organizationName();
    where.applicationName = QCoreApplication::applicationName();
    return where;
}

namespace {

// The folder two levels above; formed textually so it does not depend on the
// folder existing.
QString twoUp(const QString &folder)
{
    if (folder.isEmpty())
        return QString();
    return QDir::cleanPath(QDir(folder).absolutePath() + QStringLiteral("/../.."));
}

bool isInside(const QString &inner, const QString &outer)
{
    if (outer == QLatin1String("/"))
        return inner.startsWith(outer) && inner != outer;
    return inner.startsWith(outer + QLatin1Char('/'));
}

} // namespace

void migrateLegacyData()
{
    migrateLegacyData(DataFolderLocations::current());
}

void migrateLegacyData(const DataFolderLocations &where)
{
    const QString d = where.dataFolder;
    if (d.isEmpty())
        return;
    if (!QDir().mkpath(d))
        qWarning().noquote() << "[DataFolder] could not create the data folder" << d;

    const QString r = where.roamingFolder;
    const QString o = where.organisationFolder;
    const QString l = o.isEmpty() ? QString() : o + QLatin1Char('/') + where.applicationName;

    if (!l.isEmpty() && QFileInfo(l).isDir()) {
        migrateFolder(d, l);
    } else {
        migrateFolder(d, r);
        migrateFolder(d, o);
    }

    struct Legacy
    {
        bool roaming;
        const char *relative;
    };
    static const Legacy legacy[] = {
        {false, "Quorlix/QuorlyxApp"}, {false, "Quorlyx/Quorlix"}, {false, "Quorlyx/QuorlyxApp"},
        {true, "Quorlix/QuorlyxApp"},  {true, "Quorlyx/Quorlix"},  {true, "Quorlyx/QuorlyxApp"},
        {true, "Quorlyx/QuorlixApp"},
    };
    const QString localBase = twoUp(d);
    const QString roamingBase = twoUp(r);
    for (const Legacy &entry : legacy) {
        const QString base = entry.roaming ? roamingBase : localBase;
        if (base.isEmpty())
            continue;
        migrateFolder(d, QDir(base).filePath(QString::fromLatin1(entry.relative)));
    }
}

void migrateFolder(const QString &target, const QString &source)
{
    if (source.isEmpty() || target.isEmpty())
        return;
    const QString cleanTarget = QDir::cleanPath(target);
    const QString cleanSource = QDir::cleanPath(source);
    if (cleanTarget == cleanSource)
        return;
    if (!QFileInfo(cleanSource).isDir())
        return;

    // A source that holds the target would move the data folder into itself.
    // Compare the written paths and, where the folders exist, the resolved
    // ones: a legacy folder may be a link to the data folder or one above it.
    const QString absTarget = QDir(cleanTarget).absolutePath();
    const QString absSource = QDir(cleanSource).absolutePath();
    const QString realTarget = QFileInfo(cleanTarget).canonicalFilePath();
    const QString realSource = QFileInfo(cleanSource).canonicalFilePath();
    const bool holdsTarget = absTarget == absSource || isInside(absTarget, absSource) ||
                             (!realTarget.isEmpty() && !realSource.isEmpty() &&
                              (realTarget == realSource || isInside(realTarget, realSource)));
    if (holdsTarget) {
        qWarning().noquote() << "[DataFolder] not migrating" << cleanSource << "- it contains the data folder"
                             << cleanTarget;
        return;
    }

    const QDir sourceDir(cleanSource);

    // Take the listing first: moving entries while iterating would change what
    // the iterator sees.
    QList<QFileInfo> entries;
    {
        QDirIterator it(cleanSource, QDir::AllEntries | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            it.next();
            entries.append(it.fileInfo());
        }
    }

    for (const QFileInfo &entry : entries) {
        const QString relative = sourceDir.relativeFilePath(entry.absoluteFilePath());
        const QString destination = cleanTarget + QLatin1Char('/') + relative;
        if (entry.isSymLink()) {
            // A link is not data of ours; moving it could carry a path that
            // points anywhere into the data folder.
            qWarning().noquote() << "[DataFolder] skipping link" << entry.absoluteFilePath();
            continue;
        }
        if (entry.isDir()) {
            if (!QDir().mkpath(destination))
                qWarning().noquote() << "[DataFolder] could not create" << destination;
        } else if (entry.isFile()) {
            if (entry.fileName().toLower() == QLatin1String("quorlixapp.ini") &&
                !QFileInfo::exists(destination))
                continue; // adopted by the settings-store set-up instead
            const bool replace = shouldReplaceFile(entry, QFileInfo(destination));
            if (!moveFileWithBackup(entry.absoluteFilePath(), destination, replace))
                qWarning().noquote() << "[DataFolder] could not move" << entry.absoluteFilePath() << "to"
                                     << destination;
        }
        // Anything else (devices, sockets, pipes) stays where it is.
    }

    // Hidden and system entries count too: a folder is removed only when
    // nothing at all is left in it.
    const QStringList left =
        sourceDir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    if (left.isEmpty())
        QDir(cleanSource).removeRecursively();
}

bool shouldReplaceFile(const QFileInfo &source, const QFileInfo &destination)
{
    static const QStringList exact = {
        QStringLiteral("quorlix_cache.db"),  QStringLiteral("session_data.json"),
        QStringLiteral("server_pings.json"), QStringLiteral("games_list.dat"),
        QStringLiteral("games_list.json"),
    };
    const QString name = source.fileName().toLower();
    if (!exact.contains(name) && !name.endsWith(QLatin1String(".ini")))
        return false;

    QFileInfo dest(destination.absoluteFilePath());
    if (!dest.exists())
        return true;
    QFileInfo src(source.absoluteFilePath());
    const QDateTime srcTime = src.fileTime(QFileDevice::FileModificationTime);
    const QDateTime destTime = dest.fileTime(QFileDevice::FileModificationTime);
    if (srcTime > destTime)
        return true;
    if (srcTime == destTime)
        return src.size() > dest.size();
    return false;
}

bool moveFileWithBackup(const QString &source, const QString &destination, bool replace)
{
    if (QFileInfo::exists(destination)) {
        if (!replace || !shouldReplaceFile(QFileInfo(source), QFileInfo(destination)))
            return true;
        const QString backup = destination + QStringLiteral(".bak");
        // Only the first replaced version is kept; later ones give way.
        const bool cleared =
            QFileInfo::exists(backup) ? QFile::remove(destination) : QFile::rename(destination, backup);
        if (!cleared)
            qWarning().noquote() << "[DataFolder] could not set aside" << destination;
    }

    QDir().mkpath(QFileInfo(destination).absolutePath());
    if (QFile::rename(source, destination))
        return true;
    if (QFile::copy(source, destination)) {
        QFile::remove(source);
        return true;
    }
    return false;
}
