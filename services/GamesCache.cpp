#include "services/GamesCache.h"

#include "storage/DeviceId.h"

#include <QCryptographicHash>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QMutexLocker>
#include <QRecursiveMutex>
#include <QStandardPaths>

#include <cstdio>
#include <unistd.h>

const char GamesCache::kEntropyLabel[] = "Devored|TitlesListBlob|v3|";

GamesCache::GamesCache(const QString &folder, const DataProtection &protection)
    : m_folder(folder), m_protection(protection)
{}

QString GamesCache::defaultFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) + QStringLiteral("/cache");
}

QString GamesCache::path() const
{
    return m_folder + QStringLiteral("/games_list.dat");
}

QString GamesCache::legacyJsonPath() const
{
    return m_folder + QStringLiteral("/games_list.json");
}

QByteArray GamesCache::entropy()
{
    const QByteArray text = QByteArray(kEntropyLabel) + DeviceId::get().toUtf8();
    return QCryptographicHash::hash(text, QCryptographicHash::Sha256);
}

// Writes data to path + ".part" and moves it over path only when every byte
// reached the disk; otherwise the old file stays and the ".part" goes.
static bool replaceFile(const QString &path, const QByteArray &data)
{
    const QString partPath = path + QStringLiteral(".part");
    QFile part(partPath);
    if (!part.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        QFile::remove(partPath);
        return false;
    }
    bool ok = part.write(data) == data.size() && part.flush();
    ok = ok && ::fsync(part.handle()) == 0;
    part.close();
    ok = ok && part.error() == QFileDevice::NoError;
    // rename() replaces the old copy in one step, so no moment is left without one.
    ok = ok && std::rename(QFile::encodeName(partPath).constData(), QFile::encodeName(path).constData()) == 0;
    if (!ok)
        QFile::remove(partPath);
    return ok;
}

// Every copy of GamesCache in the process takes its turn on the files here:
// a save replaces the file a load may be reading or migrating.
static QRecursiveMutex &fileTurn()
{
    static QRecursiveMutex mutex;
    return mutex;
}

bool GamesCache::saveGamesCache(const QString &path, const QByteArray &bytes) const
{
    QMutexLocker turn(&fileTurn());
    QByteArray blob;
    if (!m_protection.protect(bytes, entropy(), &blob)) {
        qWarning().noquote() << "[GamesAPI] DPAPI encryption failed for games list cache";
        return false;
    }
    QDir().mkpath(QFileInfo(path).absolutePath());
    return replaceFile(path, blob);
}

bool GamesCache::decryptGamesCache(const QByteArray &protectedBytes, QByteArray *plain, bool *legacy) const
{
    if (!plain)
        return false;
    if (legacy)
        *legacy = false;
    if (m_protection.unprotect(protectedBytes, entropy(), plain))
        return true;
    if (m_protection.unprotect(protectedBytes, QByteArray(), plain)) {
        if (legacy)
            *legacy = true;
        return true;
    }
    return false;
}

// The whole file, or empty when it is missing, cannot be read or is larger
// than maxBytes (a copy no client within the bounds writes: it is left for
// the next good reply to replace, never read).
static QByteArray readAll(const QString &path, qint64 maxBytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    if (file.size() > maxBytes) {
        qWarning().noquote() << "[GamesAPI] ignored" << QFileInfo(path).fileName() << "of" << file.size()
                             << "bytes, over the bound of" << maxBytes;
        return QByteArray();
    }
    return file.read(maxBytes);
}

PreparedCatalogue GamesCache::readCatalogue() const
{
    QMutexLocker turn(&fileTurn());
    PreparedCatalogue none;
    QByteArray plain;
    bool legacy = false;
    // Migrated forms, and a copy that went over the bounds, are written
    // again as what a reply of today would leave.
    auto rewrite = [this](const PreparedCatalogue &prepared) {
        return saveGamesCache(path(), prepared.kept);
    };

    PreparedCatalogue prepared;
    const QByteArray raw = readAll(path(), kMaxFileBytes);
    if (!raw.isEmpty() && decryptGamesCache(raw, &plain, &legacy) && !plain.isEmpty()) {
        prepared = prepareCatalogue(plain);
        if (prepared.items.isEmpty())
            return none;
        if (legacy && rewrite(prepared))
            qDebug().noquote() << "[GamesAPI] upgraded encrypted cache to entropy-based DPAPI";
        else if (!legacy && prepared.report.any() && rewrite(prepared))
            qWarning().noquote() << "[GamesAPI] games list cache cut to its bounds:"
                                 << prepared.report.summary(QStringLiteral("games"));
        return prepared;
    }
    if (!raw.isEmpty() && plain.isEmpty() && raw.size() <= ReplyBounds::kMaxBodyBytes) {
        prepared = prepareCatalogue(raw);
        if (!prepared.items.isEmpty()) {
            // A migration is reported only once it happened; otherwise the
            // older copy stays and the next start tries again.
            if (rewrite(prepared))
                qDebug().noquote() << "[GamesAPI] migrated plaintext games_list.dat -> encrypted (DPAPI)";
            return prepared;
        }
    }
    const QByteArray json = readAll(legacyJsonPath(), ReplyBounds::kMaxBodyBytes);
    if (json.isEmpty())
        return none;
    prepared = prepareCatalogue(json);
    if (prepared.items.isEmpty())
        return none;
    // The plain copy goes only once its protected replacement is on disk.
    if (rewrite(prepared)) {
        QFile::remove(legacyJsonPath());
        qDebug().noquote() << "[GamesAPI] migrated plaintext games_list.json -> encrypted games_list.dat";
    }
    return prepared;
}

bool GamesCache::loadGamesCache(CatalogueState *state, const GamesCatalogue::SaveGames &saveGames) const
{
    if (!state)
        return false;
    PreparedCatalogue prepared = readCatalogue();
    if (prepared.items.isEmpty())
        return false;
    *state->items = std::move(prepared.items);
    state->catalogueLoaded = true;
    qDebug().noquote() << "[GamesAPI] loaded from disk (encrypted):" << state->items->size();
    if (saveGames)
        saveGames(prepared.records);
    return true;
}
