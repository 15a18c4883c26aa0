#include "services/GamesCache.h"

#include "storage/DeviceId.h"

#include <QCryptographicHash>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
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

bool GamesCache::saveGamesCache(const QString &path, const QByteArray &bytes) const
{
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

// The whole file, or empty when it is missing or cannot be read.
static QByteArray readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

static bool holdsGames(const QByteArray &body)
{
    QList<GameApiItem> items;
    return parseGamesJson(body, &items);
}

bool GamesCache::loadGamesCache(CatalogueState *state, const GamesCatalogue::SaveGames &saveGames) const
{
    if (!state)
        return false;
    QByteArray plain;
    bool legacy = false;

    const QByteArray raw = readAll(path());
    if (raw.isEmpty() || !decryptGamesCache(raw, &plain, &legacy)) {
        plain.clear();
        if (!raw.isEmpty() && holdsGames(raw)) {
            plain = raw;
            // A migration is reported only once it happened; otherwise the
            // older copy stays and the next start tries again.
            if (saveGamesCache(path(), plain))
                qDebug().noquote() << "[GamesAPI] migrated plaintext games_list.dat -> encrypted (DPAPI)";
        }
    }
    if (!plain.isEmpty() && legacy && saveGamesCache(path(), plain))
        qDebug().noquote() << "[GamesAPI] upgraded encrypted cache to entropy-based DPAPI";
    if (plain.isEmpty()) {
        const QByteArray json = readAll(legacyJsonPath());
        if (holdsGames(json)) {
            plain = json;
            // The plain copy goes only once its protected replacement is on disk.
            if (saveGamesCache(path(), json)) {
                QFile::remove(legacyJsonPath());
                qDebug().noquote()
                    << "[GamesAPI] migrated plaintext games_list.json -> encrypted games_list.dat";
            }
        }
    }
    if (plain.isEmpty())
        return false;

    const QJsonDocument document = QJsonDocument::fromJson(plain);
    QJsonArray array;
    selectGamesArray(document, &array);
    QList<GameApiItem> fresh;
    parseGamesArray(array, &fresh);
    if (fresh.isEmpty())
        return false;
    *state->items = std::move(fresh);
    state->catalogueLoaded = true;
    qDebug().noquote() << "[GamesAPI] loaded from disk (encrypted):" << state->items->size();
    if (saveGames)
        saveGames(gameRecords(array));
    return true;
}
