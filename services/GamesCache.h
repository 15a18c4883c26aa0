#pragma once
// The games list kept on disk between runs: the body of the last good
// "/api/games" reply, protected for this user on this machine (the entropy
// binds it to the device identifier too), in "cache/games_list.dat" of the
// local data folder. Loading also takes over, once, the forms older versions
// left: a plain "games_list.dat", a plain "games_list.json" and a blob
// protected without entropy.

#include "platform/DataProtection.h"
#include "services/GamesCatalogue.h"

#include <QByteArray>
#include <QString>

class GamesCache
{
public:
    // The label in front of the device identifier in the entropy's digest.
    static const char kEntropyLabel[];

    explicit GamesCache(const QString &folder = defaultFolder(),
                        const DataProtection &protection = DataProtection());
    // The local data folder + "/cache".
    static QString defaultFolder();
    QString folder() const { return m_folder; }
    QString path() const;           // "games_list.dat"
    QString legacyJsonPath() const; // "games_list.json"

    // SHA-256 of the label followed by this device's identifier.
    static QByteArray entropy();

    // Protects bytes and puts them at path, through path + ".part": the old file
    // is replaced only once the new one is completely written. False (old file
    // kept, no ".part" left) when protection or the write failed.
    bool saveGamesCache(const QString &path, const QByteArray &bytes) const;
    // Opens protected bytes, with this device's entropy or else in the older
    // form without it (legacy is then set). False for anything else.
    bool decryptGamesCache(const QByteArray &protectedBytes, QByteArray *plain, bool *legacy = nullptr) const;
    // The disk copy read, opened and parsed within ReplyBounds, migrating
    // older forms once (each is rewritten protected, in its bounded form).
    // A file larger than any copy within the bounds is not read. Its items
    // are empty when there was no usable copy. Safe on a worker thread: the
    // copies of one process take turns on the files.
    PreparedCatalogue readCatalogue() const;
    // Fills state's items from the disk copy (readCatalogue) and stores the
    // games through saveGames. True when the copy held games.
    bool loadGamesCache(CatalogueState *state, const GamesCatalogue::SaveGames &saveGames) const;

    // A protected copy of a body within the bounds is never larger.
    static constexpr qint64 kMaxFileBytes = ReplyBounds::kMaxBodyBytes + DataProtection::kOverhead;

private:
    QString m_folder;
    DataProtection m_protection;
};
