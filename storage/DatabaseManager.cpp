#include "storage/DatabaseManager.h"

#include "storage/DatabaseSupport.h"

#include <QAtomicInt>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>

using namespace DatabaseSupport;

namespace {

const char *const kTableStatements[] = {
    "CREATE TABLE IF NOT EXISTS games (id TEXT PRIMARY KEY, name TEXT NOT NULL, description TEXT, category "
    "TEXT, "
    "tags TEXT, executable TEXT, cover_image TEXT, logo TEXT, logo_cached_path TEXT, tcp_ports TEXT, "
    "udp_ports TEXT, "
    "domains TEXT, profiles TEXT, is_free_effective INTEGER DEFAULT 0, free_days_left INTEGER DEFAULT -1, "
    "free_source TEXT, status TEXT, created_at TEXT, updated_at TEXT, last_synced TEXT)",
    "CREATE TABLE IF NOT EXISTS servers (id TEXT PRIMARY KEY, name TEXT NOT NULL, hostname TEXT, ip_address "
    "TEXT, "
    "port INTEGER, region TEXT, country TEXT, country_code TEXT, city TEXT, flag TEXT, provider TEXT, status "
    "TEXT, "
    "capacity_mbps INTEGER, active_connections INTEGER, max_connections INTEGER, created_at TEXT, updated_at "
    "TEXT, "
    "last_synced TEXT)",
    "CREATE TABLE IF NOT EXISTS user_connections (game_title TEXT PRIMARY KEY, game_logo TEXT, "
    "game_executable TEXT, "
    "server_id TEXT, server_name TEXT, server_ip TEXT, server_port INTEGER, server_country_code TEXT, "
    "monitoring_enabled INTEGER DEFAULT 1, created_at TEXT, updated_at TEXT)",
    "CREATE TABLE IF NOT EXISTS favorite_games (game_title TEXT NOT NULL, platform TEXT NOT NULL, game_logo "
    "TEXT, "
    "added_at TEXT, PRIMARY KEY (game_title, platform))",
    "CREATE TABLE IF NOT EXISTS game_clicks (click_key TEXT PRIMARY KEY, game_id TEXT, game_title TEXT, "
    "platform TEXT, clicks INTEGER DEFAULT 0, updated_at TEXT)",
    "CREATE TABLE IF NOT EXISTS route_cache (cache_key TEXT PRIMARY KEY, game_id TEXT, region TEXT, "
    "network_fingerprint TEXT, ping_json TEXT, updated_at TEXT, created_at TEXT)",
    "CREATE TABLE IF NOT EXISTS flag_cache (country_code TEXT PRIMARY KEY, image_data BLOB NOT NULL, "
    "cached_at TEXT)",
    "CREATE TABLE IF NOT EXISTS game_cover_cache (game_id TEXT PRIMARY KEY, image_data BLOB NOT NULL, "
    "cached_at TEXT)",
    "CREATE TABLE IF NOT EXISTS metadata (key TEXT PRIMARY KEY, value TEXT, updated_at TEXT)",
};

const char *const kIndexStatements[] = {
    "CREATE INDEX IF NOT EXISTS idx_games_updated ON games(updated_at)",
    "CREATE INDEX IF NOT EXISTS idx_games_status ON games(status)",
    "CREATE INDEX IF NOT EXISTS idx_servers_status ON servers(status)",
    "CREATE INDEX IF NOT EXISTS idx_servers_region ON servers(region)",
    "CREATE INDEX IF NOT EXISTS idx_fav_added ON favorite_games(added_at)",
    "CREATE INDEX IF NOT EXISTS idx_game_clicks_clicks ON game_clicks(clicks DESC)",
    "CREATE INDEX IF NOT EXISTS idx_game_clicks_updated ON game_clicks(updated_at)",
    "CREATE INDEX IF NOT EXISTS idx_route_cache_lookup ON route_cache(game_id, region, network_fingerprint, "
    "updated_at)",
};

// Older databases lack these columns; on a current one they fail harmlessly.
const char *const kColumnAdditions[] = {
    "ALTER TABLE user_connections ADD COLUMN monitoring_enabled INTEGER DEFAULT 1",
    "ALTER TABLE games ADD COLUMN profiles TEXT",
    "ALTER TABLE games ADD COLUMN is_free_effective INTEGER DEFAULT 0",
    "ALTER TABLE games ADD COLUMN free_days_left INTEGER DEFAULT -1",
    "ALTER TABLE games ADD COLUMN free_source TEXT",
};

QAtomicInt g_connectionCounter;

} // namespace

DatabaseManager *DatabaseManager::instance()
{
    static DatabaseManager *const manager = new DatabaseManager;
    return manager;
}

DatabaseManager::DatabaseManager(QObject *parent) : QObject(parent) {}

DatabaseManager::~DatabaseManager()
{
    close();
}

bool DatabaseManager::initialize(const std::function<void()> &alsoInSchemaTransaction)
{
    return initialize(QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation),
                      alsoInSchemaTransaction);
}

bool DatabaseManager::initialize(const QString &dataFolder,
                                 const std::function<void()> &alsoInSchemaTransaction)
{
    close();
    if (dataFolder.trimmed().isEmpty()) {
        qWarning() << "[DB] no local data folder location; the cache database stays closed";
        return false;
    }
    if (!QDir().mkpath(dataFolder))
        qWarning().noquote() << "[DB] could not create the data folder" << dataFolder;
    const QString path = dataFolder + QStringLiteral("/quorlix_cache.db");
    qInfo().noquote() << "[DB] AppLocalDataLocation:" << dataFolder;
    qInfo().noquote() << "[DB] SQLite path:" << path;

    if (QFileInfo(path).isDir()) {
        qWarning().noquote() << "[DB] the database path is a folder; the cache database stays closed:"
                             << path;
        return false;
    }

    m_connectionName = QStringLiteral("quorlix_cache_%1").arg(g_connectionCounter.fetchAndAddRelaxed(1));
    m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
    m_db.setDatabaseName(path);
    if (!m_db.open()) {
        qWarning().noquote() << "[DB] cannot open the cache database:" << m_db.lastError().text();
        close();
        return false;
    }
    if (!createTables(alsoInSchemaTransaction)) {
        // A file that is not a database (or cannot be written) stays as it
        // is on disk; the client runs without a cache.
        close();
        return false;
    }
    return true;
}

void DatabaseManager::close()
{
    dropActiveGames();
    if (m_connectionName.isEmpty())
        return;
    if (m_db.isOpen())
        m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connectionName);
    m_connectionName.clear();
}

bool DatabaseManager::isOpen() const
{
    return m_db.isOpen();
}

QString DatabaseManager::databasePath() const
{
    return m_db.databaseName();
}

bool DatabaseManager::createTables(const std::function<void()> &alsoInSchemaTransaction)
{
    // One transaction: on a first start every statement writes, and each on
    // its own would wait for its own sync to disk.
    QMutexLocker locker(&m_mutex);
    const bool inTransaction = m_db.transaction();
    QSqlQuery q(m_db);
    for (const char *statement : kTableStatements) {
        if (!q.exec(QString::fromLatin1(statement))) {
            qWarning().noquote() << "[DB] cannot create the schema:" << q.lastError().text();
            q.finish();
            if (inTransaction)
                m_db.rollback();
            return false;
        }
    }
    for (const char *statement : kIndexStatements)
        q.exec(QString::fromLatin1(statement));
    // On a database that has them, these fail harmlessly, each undoing only
    // itself.
    for (const char *statement : kColumnAdditions)
        q.exec(QString::fromLatin1(statement));
    q.finish();
    if (alsoInSchemaTransaction)
        alsoInSchemaTransaction();
    return !inTransaction || commitOrRollback(m_db, "createTables");
}
