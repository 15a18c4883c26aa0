#pragma once
// The process-wide SQLite cache "quorlix_cache.db": games catalogue, relay
// list, favourites, click counts, flag images, route cache, saved game
// connections and a key/value metadata table (settings page options, UI
// language, last session). Games and relays are read and written as
// GameRecord and RelayRecord; their QVariantMap forms, keyed by column name,
// are kept for the callers that exchange maps.
// All callers are on the GUI thread; one mutex guards the operations that are
// documented as locked.
//
// One class over one connection, its operations in one file per table
// (DatabaseGames.cpp, DatabaseServers.cpp, ...): every caller keeps the one
// object it knows, and the lock and the connection stay in one place.

#include "storage/GameRecord.h"
#include "storage/RelayRecord.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QRecursiveMutex>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <functional>

class DatabaseManager : public QObject
{
    Q_OBJECT

public:
    static DatabaseManager *instance();
    ~DatabaseManager() override;

    // Opens "quorlix_cache.db" in the local data folder and creates the
    // schema. alsoInSchemaTransaction (metadata reads and writes only) runs
    // inside the schema's transaction once the schema is there, so a first
    // start storing its defaults costs one commit with the schema; it does
    // not run when the database cannot be opened or the schema not made.
    bool initialize(const std::function<void()> &alsoInSchemaTransaction = {});
    // Same, in the given folder (tests point it at a temporary folder). An
    // empty folder fails with a log line.
    bool initialize(const QString &dataFolder, const std::function<void()> &alsoInSchemaTransaction = {});
    // Closes the connection and releases the file; operations then find no
    // rows and write nothing until the next initialize.
    void close();
    bool isOpen() const;
    QString databasePath() const;

    bool createTables(const std::function<void()> &alsoInSchemaTransaction = {});

    // metadata
    bool tryGetMetadata(const QString &key, QString *value = nullptr);
    bool setMetadata(const QString &key, const QString &value);
    QString getMetadataOrInit(const QString &key, const QString &defaultValue);
    bool getMetadataBool(const QString &key, bool defaultValue);
    bool setMetadataBool(const QString &key, bool on);
    void setMetadataTimestamp(const QString &key, const QDateTime &when);
    // Runs `writes` (metadata reads and writes only) in one transaction, so
    // a page storing the defaults of all its options on a first start costs
    // one commit instead of one each. Other threads wait until it is done.
    // Without an open database the writes run as they are.
    void inOneTransaction(const std::function<void()> &writes);

    // games
    // Catalogue entries as the games API delivers them
    // (GameRecord::fromCatalogueMap); all of them or none.
    bool saveGames(const QList<QVariantMap> &games);
    bool saveGameRecords(const QList<GameRecord> &games);
    // Every column of each active game under its name, as the driver gives
    // it, the list columns parsed.
    QList<QVariantMap> getActiveGames();
    // The active games, last updated first. Served from a copy kept until the
    // next write to games.
    QList<GameRecord> activeGameRecords();
    QVariantMap getGameById(const QString &gameId);
    QString findGameIdByName(const QString &name);

    // servers
    bool replaceServersCache(const QList<QVariantMap> &servers);
    bool replaceRelays(const QList<RelayRecord> &relays);
    QList<QVariantMap> getActiveServers();
    // The active relays, by region and then name.
    QList<RelayRecord> activeRelays();
    QList<QVariantMap> getActiveServersInRegion(const QString &region);
    int countActiveServers();
    QStringList getServerRegions();

    // favourites and clicks
    bool addFavorite(const QString &gameTitle, const QString &platform, const QString &gameLogo);
    bool removeFavorite(const QString &gameTitle, const QString &platform);
    QList<QVariantMap> getFavoriteGames();
    bool recordGameClick(const QString &clickKey, const QString &gameId, const QString &gameTitle,
                         const QString &platform);
    QHash<QString, int> getGameClicks();

    // flags
    bool saveFlagImage(const QString &countryCode, const QByteArray &imageData);
    QByteArray getFlagImage(const QString &countryCode);

    // route cache
    bool saveRouteCache(const QString &cacheKey, const QString &gameId, const QString &region,
                        const QString &networkFingerprint, const QString &pingJson, const QString &updatedAt);
    QVariantMap getRouteCache(const QString &gameId, const QString &region,
                              const QString &networkFingerprint);
    bool deleteRouteCache(const QString &cacheKey);

    // saved game connections
    bool saveUserConnection(const QString &gameTitle, const QString &gameLogo, const QString &gameExecutable,
                            const QString &serverId, const QString &serverName, const QString &serverIp,
                            int serverPort, const QString &serverCountryCode);

private:
    explicit DatabaseManager(QObject *parent = nullptr);

    enum class Lookup { Found, Missing, Failed };
    Lookup readMetadata(const QString &key, QString *value);
    void dropActiveGames();
    // SQLite's count of commits by other connections to the file; -1 when
    // it cannot be read.
    qint64 dataVersion();

    QSqlDatabase m_db;
    // Recursive so that inOneTransaction can hold it around the operations
    // it runs.
    QRecursiveMutex m_mutex;
    QString m_connectionName;

    // The last activeGameRecords result: served until games is written, then
    // read over by the next read where no caller holds it.
    QMutex m_activeGamesLock;
    QList<GameRecord> m_activeGames;
    qint64 m_activeGamesVersion = -1;
    bool m_activeGamesValid = false;
};
