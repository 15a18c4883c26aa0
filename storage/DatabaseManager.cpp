#include "storage/DatabaseManager.h"

#include "storage/JsonText.h"
#include "storage/SqliteStatement.h"

#include <QAtomicInt>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <QMutexLocker>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStandardPaths>

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

const char *const kListColumns[] = {"tags", "tcp_ports", "udp_ports", "domains", "profiles"};

QString nowLocal()
{
    return QDateTime::currentDateTime().toString(Qt::ISODate);
}

QString nowUtc()
{
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
}

bool isBlank(const QString &s)
{
    return s.trimmed().isEmpty();
}

// Text that is stored as empty text rather than NULL when the key is missing.
QString textOrEmpty(const QVariant &v)
{
    QString s = v.toString();
    if (s.isNull())
        return QStringLiteral("");
    return s;
}

bool isListColumn(const QString &name)
{
    for (const char *c : kListColumns) {
        if (name == QLatin1String(c))
            return true;
    }
    return false;
}

// A list column's stored JSON (text or blob bytes) as its value; nothing
// stored, or nothing readable, gives an invalid QVariant.
QVariant parseListColumn(const QByteArray &stored)
{
    if (stored.isEmpty())
        return QVariant();
    return JsonText::read(stored);
}

// The JSON bytes for a list column of a game. A single text (the catalogue
// sends one port, range or domain this way) is kept as a one-element list so
// the value is not lost; anything else that is not a list or map is dropped
// with a log line.
QByteArray listColumnJson(const QVariantMap &game, const char *column)
{
    const auto it = game.constFind(QLatin1String(column));
    if (it == game.constEnd() || !it->isValid() || it->isNull())
        return QByteArray();
    const QVariant &value = *it;
    const int type = value.typeId();
    if (type == QMetaType::QVariantList || type == QMetaType::QStringList || type == QMetaType::QVariantMap ||
        type == QMetaType::QVariantHash || type == QMetaType::QJsonArray || type == QMetaType::QJsonObject ||
        type == QMetaType::QJsonValue || type == QMetaType::QJsonDocument) {
        const QByteArray text = JsonText::write(value);
        if (!text.isEmpty())
            return text;
    }
    if (type == QMetaType::QString && qstrcmp(column, "profiles") != 0) {
        const QString text = value.toString();
        if (text.trimmed().isEmpty())
            return QByteArray();
        return QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    }
    qWarning().noquote() << "[DB] saveGames:" << column << "of"
                         << game.value(QStringLiteral("name")).toString() << "is not a list; stored empty";
    return QByteArray();
}

int freeDaysLeft(const QVariantMap &game)
{
    // Only a missing key gives way to the other spelling; a JSON null is a
    // value (no free days), as the catalogue's own items read it.
    QVariant v = game.value(QStringLiteral("free_days_left"));
    if (!v.isValid())
        v = game.value(QStringLiteral("freeDaysLeft"));
    if (!v.isValid())
        return -1;
    bool ok = false;
    const int n = v.toInt(&ok);
    if (ok)
        return n;
    const int parsed = v.toString().trimmed().toInt(&ok, 10);
    return ok ? parsed : -1;
}

// Turns rows of "SELECT * FROM games" into maps. The catalogue read builds
// thousands of them, so the keys are laid out once: each row copies a map that
// already holds every column name and fills the values in key order.
class GameRowReader
{
public:
    explicit GameRowReader(const SqliteStatement &q)
    {
        for (int i = 0; i < q.columnCount(); ++i)
            m_template.insert(q.columnName(i), QVariant());
        for (auto it = m_template.constBegin(); it != m_template.constEnd(); ++it) {
            for (int i = 0; i < q.columnCount(); ++i) {
                if (q.columnName(i) == it.key())
                    m_column.append(i);
            }
            m_isList.append(isListColumn(it.key()));
        }
    }

    QVariantMap read(const SqliteStatement &q) const
    {
        QVariantMap map = m_template;
        int k = 0;
        for (auto it = map.begin(); it != map.end(); ++it, ++k) {
            const int column = m_column.at(k);
            *it = m_isList.at(k) ? parseListColumn(q.bytesInPlace(column)) : q.value(column);
        }
        return map;
    }

private:
    QVariantMap m_template;
    QList<int> m_column;
    QList<bool> m_isList;
};

// Stores one metadata value with the time it was written; the caller takes
// the lock where it needs one.
bool writeMetadataRow(const QSqlDatabase &db, const QString &key, const QString &value, QString *error)
{
    QSqlQuery q(db);
    q.prepare(QStringLiteral(
        "INSERT OR REPLACE INTO metadata (key, value, updated_at) VALUES (:key, :value, :ts)"));
    q.bindValue(QStringLiteral(":key"), key);
    q.bindValue(QStringLiteral(":value"), value);
    q.bindValue(QStringLiteral(":ts"), nowLocal());
    if (q.exec())
        return true;
    if (error)
        *error = q.lastError().text();
    return false;
}

// Starts the transaction of a batch write, logging under the operation's
// name when it cannot.
bool beginTransaction(QSqlDatabase &db, const char *operation)
{
    if (db.transaction())
        return true;
    qWarning().noquote()
        << QStringLiteral("[DB] %1: failed to begin transaction:").arg(QLatin1String(operation))
        << db.lastError().text();
    return false;
}

// Commits a batch write; a failed commit is logged and rolled back.
bool commitOrRollback(QSqlDatabase &db, const char *operation)
{
    if (db.commit())
        return true;
    qWarning().noquote() << QStringLiteral("[DB] %1: commit failed:").arg(QLatin1String(operation))
                         << db.lastError().text();
    db.rollback();
    return false;
}

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

bool DatabaseManager::initialize()
{
    return initialize(QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation));
}

bool DatabaseManager::initialize(const QString &dataFolder)
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
    if (!createTables()) {
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

bool DatabaseManager::createTables()
{
    QSqlQuery q(m_db);
    for (const char *statement : kTableStatements) {
        if (!q.exec(QString::fromLatin1(statement))) {
            qWarning().noquote() << "[DB] cannot create the schema:" << q.lastError().text();
            return false;
        }
    }
    for (const char *statement : kIndexStatements)
        q.exec(QString::fromLatin1(statement));
    for (const char *statement : kColumnAdditions)
        q.exec(QString::fromLatin1(statement));
    return true;
}

// --- metadata -------------------------------------------------------------

DatabaseManager::Lookup DatabaseManager::readMetadata(const QString &key, QString *value)
{
    if (value)
        value->clear();
    if (isBlank(key))
        return Lookup::Failed;
    QMutexLocker locker(&m_mutex);
    if (!m_db.isOpen())
        return Lookup::Failed;
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("SELECT value FROM metadata WHERE key = :key"));
    q.bindValue(QStringLiteral(":key"), key);
    if (!q.exec()) {
        qWarning().noquote() << "[DB] metadata read failed for" << key << ":" << q.lastError().text();
        return Lookup::Failed;
    }
    if (!q.next())
        return Lookup::Missing;
    if (value)
        *value = q.value(0).toString();
    return Lookup::Found;
}

bool DatabaseManager::tryGetMetadata(const QString &key, QString *value)
{
    return readMetadata(key, value) == Lookup::Found;
}

bool DatabaseManager::setMetadata(const QString &key, const QString &value)
{
    if (isBlank(key)) {
        qWarning() << "[DB] setMetadata: empty key";
        return false;
    }
    QMutexLocker locker(&m_mutex);
    if (!m_db.isOpen())
        return false;
    QString error;
    if (!writeMetadataRow(m_db, key, value.isNull() ? QStringLiteral("") : value, &error)) {
        qWarning().noquote() << "[DB] setMetadata failed for" << key << ":" << error;
        return false;
    }
    return true;
}

QString DatabaseManager::getMetadataOrInit(const QString &key, const QString &defaultValue)
{
    QString value;
    switch (readMetadata(key, &value)) {
    case Lookup::Found:
        return value;
    case Lookup::Missing:
        setMetadata(key, defaultValue);
        return defaultValue;
    case Lookup::Failed:
        // The stored value may be fine and only unreadable right now: never
        // overwrite it with the default.
        break;
    }
    return defaultValue;
}

bool DatabaseManager::getMetadataBool(const QString &key, bool defaultValue)
{
    const QString defaultText = defaultValue ? QStringLiteral("1") : QStringLiteral("0");
    const QString value = getMetadataOrInit(key, defaultText).trimmed().toLower();
    if (value == QLatin1String("1") || value == QLatin1String("true") || value == QLatin1String("yes"))
        return true;
    if (value == QLatin1String("0") || value == QLatin1String("false") || value == QLatin1String("no"))
        return false;
    setMetadata(key, defaultText);
    return defaultValue;
}

bool DatabaseManager::setMetadataBool(const QString &key, bool on)
{
    return setMetadata(key, on ? QStringLiteral("1") : QStringLiteral("0"));
}

void DatabaseManager::setMetadataTimestamp(const QString &key, const QDateTime &when)
{
    if (isBlank(key) || !m_db.isOpen())
        return;
    writeMetadataRow(m_db, key, when.toString(Qt::ISODate), nullptr);
}

// --- games ----------------------------------------------------------------

bool DatabaseManager::saveGames(const QList<QVariantMap> &games)
{
    QMutexLocker locker(&m_mutex);
    if (games.isEmpty())
        return true;
    // Whatever happens below, the table may differ from what was read last.
    dropActiveGames();

    if (!beginTransaction(m_db, "saveGames"))
        return false;

    bool saved = true;
    {
        SqliteStatement q(m_db,
                          "INSERT OR REPLACE INTO games (id, name, description, category, tags, "
                          "executable, cover_image, logo, tcp_ports, udp_ports, domains, profiles, "
                          "is_free_effective, free_days_left, free_source, status, created_at, "
                          "updated_at, last_synced) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
                          "?, ?, ?, ?)");
        if (!q.isValid()) {
            qWarning().noquote() << "[DB] Error saving game:" << q.errorText();
            m_db.rollback();
            return false;
        }

        const QString lastSynced = nowLocal();
        static const QString kId = QStringLiteral("id"), kName = QStringLiteral("name"),
                             kDescription = QStringLiteral("description"),
                             kCategory = QStringLiteral("category"),
                             kExecutable = QStringLiteral("executable"),
                             kCover = QStringLiteral("coverImage"), kLogo = QStringLiteral("logo"),
                             kFreeSource = QStringLiteral("free_source"), kStatus = QStringLiteral("status"),
                             kCreated = QStringLiteral("created_at"), kUpdated = QStringLiteral("updated_at"),
                             kFreeEffective = QStringLiteral("is_free_effective"),
                             kIsFree = QStringLiteral("is_free");
        static const char *const kLists[] = {"tags", "tcp_ports", "udp_ports", "domains", "profiles"};
        static const int kListIndex[] = {4, 8, 9, 10, 11};

        for (const QVariantMap &game : games) {
            const QString id = game.value(kId).toString();
            const QString name = game.value(kName).toString();
            // A game without a name breaks the table's NOT NULL rule; one
            // without an id would be stored under a NULL key that never
            // matches, so every later save would add another copy. Either
            // fails the whole batch.
            if (id.isNull() || name.isNull()) {
                qWarning().noquote() << "[DB] Error saving game:" << name
                                     << (id.isNull() ? "a game without an id" : "a game without a name");
                saved = false;
                break;
            }
            if (isBlank(id) || isBlank(name))
                qWarning().noquote() << "[DB] saveGames: a game with a blank" << (isBlank(id) ? "id" : "name")
                                     << "- id" << id << "name" << name;
            // The statement reads the bound texts when it runs: they live
            // until then.
            const QString text[] = {game.value(kDescription).toString(), game.value(kCategory).toString(),
                                    game.value(kExecutable).toString(),  game.value(kCover).toString(),
                                    game.value(kLogo).toString(),        game.value(kFreeSource).toString(),
                                    game.value(kStatus).toString(),      game.value(kCreated).toString(),
                                    game.value(kUpdated).toString()};
            QByteArray lists[5];
            for (int i = 0; i < 5; ++i) {
                lists[i] = listColumnJson(game, kLists[i]);
                q.bindBytes(kListIndex[i], lists[i]);
            }
            q.bindText(0, id);
            q.bindText(1, name);
            q.bindText(2, text[0]);
            q.bindText(3, text[1]);
            q.bindText(5, text[2]);
            q.bindText(6, text[3]);
            q.bindText(7, text[4]);
            const bool free = game.value(kFreeEffective).toBool() || game.value(kIsFree).toBool();
            q.bindInt(12, free ? 1 : 0);
            q.bindInt(13, freeDaysLeft(game));
            q.bindText(14, text[5]);
            q.bindText(15, text[6]);
            q.bindText(16, text[7]);
            q.bindText(17, text[8]);
            q.bindText(18, lastSynced);
            if (!q.exec()) {
                qWarning().noquote() << "[DB] Error saving game:" << name << q.errorText();
                saved = false;
                break;
            }
        }
    }
    if (!saved) {
        m_db.rollback();
        return false;
    }

    if (!commitOrRollback(m_db, "saveGames"))
        return false;
    qInfo().noquote() << "[DB] Successfully batch saved" << games.size() << "games.";
    return true;
}

QList<QVariantMap> DatabaseManager::getActiveGames()
{
    // The catalogue changes only through saveGames (which drops this copy) or,
    // in principle, through another connection to the file (which moves
    // SQLite's data version); every other read is served from the copy.
    QMutexLocker locker(&m_activeGamesLock);
    const qint64 version = dataVersion();
    if (m_activeGamesValid && version == m_activeGamesVersion && version >= 0)
        return m_activeGames;

    QList<QVariantMap> out;
    SqliteStatement q(m_db, "SELECT * FROM games WHERE status = 'active' ORDER BY updated_at DESC");
    if (!q.isValid())
        return out;
    const GameRowReader reader(q);
    while (q.next())
        out.append(reader.read(q));
    if (q.failed())
        return QList<QVariantMap>();
    m_activeGames = out;
    m_activeGamesVersion = version;
    m_activeGamesValid = true;
    return out;
}

QVariantMap DatabaseManager::getGameById(const QString &gameId)
{
    SqliteStatement q(m_db, "SELECT * FROM games WHERE id = ?");
    q.bindText(0, gameId);
    if (!q.next())
        return QVariantMap();
    return GameRowReader(q).read(q);
}

void DatabaseManager::dropActiveGames()
{
    QMutexLocker locker(&m_activeGamesLock);
    m_activeGamesValid = false;
    m_activeGames = QList<QVariantMap>();
}

qint64 DatabaseManager::dataVersion()
{
    SqliteStatement q(m_db, "PRAGMA data_version");
    if (!q.next())
        return -1;
    return q.value(0).toLongLong();
}

QString DatabaseManager::findGameIdByName(const QString &name)
{
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty())
        return QString();
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("SELECT id FROM games WHERE lower(name) = lower(:name) LIMIT 1"));
    q.bindValue(QStringLiteral(":name"), trimmed);
    if (!q.exec() || !q.next())
        return QString();
    return q.value(0).toString();
}

// --- servers --------------------------------------------------------------

bool DatabaseManager::replaceServersCache(const QList<QVariantMap> &servers)
{
    QMutexLocker locker(&m_mutex);
    if (!m_db.isOpen())
        return false;

    // Without a transaction the delete below could not be undone.
    if (!beginTransaction(m_db, "replaceServersCache"))
        return false;

    QSqlQuery q(m_db);
    if (!q.exec(QStringLiteral("DELETE FROM servers"))) {
        qWarning().noquote() << "[DB] replaceServersCache: failed to clear servers:" << q.lastError().text();
        m_db.rollback();
        return false;
    }

    const QString lastSynced = nowLocal();
    static const char *const kColumns[] = {"id",
                                           "name",
                                           "hostname",
                                           "ip_address",
                                           "port",
                                           "region",
                                           "country",
                                           "country_code",
                                           "city",
                                           "flag",
                                           "provider",
                                           "status",
                                           "capacity_mbps",
                                           "active_connections",
                                           "max_connections",
                                           "created_at",
                                           "updated_at"};
    constexpr int kColumnCount = int(sizeof kColumns / sizeof kColumns[0]);
    static const QList<QString> keys = [] {
        QList<QString> k;
        for (const char *c : kColumns)
            k << QString::fromLatin1(c);
        return k;
    }();
    auto isIntColumn = [](int i) { return i == 4 || i == 12 || i == 13 || i == 14; };

    bool failed = false;
    {
        SqliteStatement insert(m_db, "INSERT OR REPLACE INTO servers (id, name, hostname, ip_address, port, "
                                     "region, country, country_code, city, flag, provider, status, "
                                     "capacity_mbps, active_connections, max_connections, created_at, "
                                     "updated_at, last_synced) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
                                     "?, ?, ?, ?, ?, ?)");
        QString text[kColumnCount]; // bound texts live until the statement has run
        for (const QVariantMap &server : servers) {
            const QString id = server.value(keys.at(0)).toString();
            // Missing keys are stored as empty text, as the relay list sends
            // them; a relay without an id or name is kept but noted.
            if (isBlank(id) || isBlank(server.value(keys.at(1)).toString()))
                qWarning().noquote() << "[DB] replaceServersCache: relay without"
                                     << (isBlank(id) ? "an id" : "a name") << "id=" << id;
            for (int i = 0; i < kColumnCount; ++i) {
                const QVariant v = server.value(keys.at(i));
                if (isIntColumn(i)) {
                    insert.bindInt(i, v.toInt());
                } else {
                    text[i] = textOrEmpty(v);
                    insert.bindText(i, text[i]);
                }
            }
            insert.bindText(17, lastSynced);
            if (!insert.exec()) {
                qWarning().noquote() << "[DB] replaceServersCache: insert failed id=" << id
                                     << "err=" << insert.errorText();
                failed = true;
                break;
            }
        }
    }

    if (failed) {
        m_db.rollback();
        return false;
    }
    if (!commitOrRollback(m_db, "replaceServersCache"))
        return false;
    QSqlQuery count(m_db);
    if (count.exec(QStringLiteral("SELECT COUNT(*) FROM servers")) && count.next())
        qInfo().noquote() << "[DB] replaceServersCache: servers total now =" << count.value(0).toInt();
    return true;
}

QList<QVariantMap> DatabaseManager::getActiveServers()
{
    QMutexLocker locker(&m_mutex);
    QList<QVariantMap> out;
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT * FROM servers WHERE lower(trim(ifnull(status,''))) = 'active' "
                               "ORDER BY trim(region) COLLATE NOCASE, name")))
        return out;
    static const char *const kText[] = {"id",      "name",         "hostname",  "ip_address", "region",
                                        "country", "country_code", "city",      "flag",       "provider",
                                        "status",  "created_at",   "updated_at"};
    static const char *const kInt[] = {"port", "capacity_mbps", "active_connections", "max_connections"};
    const QSqlRecord record = q.record();
    QList<QPair<QString, int>> textCols, intCols;
    for (const char *c : kText)
        textCols.append({QString::fromLatin1(c), record.indexOf(QLatin1String(c))});
    for (const char *c : kInt)
        intCols.append({QString::fromLatin1(c), record.indexOf(QLatin1String(c))});
    while (q.next()) {
        QVariantMap m;
        for (const auto &c : textCols)
            m.insert(c.first, q.value(c.second).toString());
        for (const auto &c : intCols)
            m.insert(c.first, q.value(c.second).toInt());
        out.append(m);
    }
    return out;
}

QList<QVariantMap> DatabaseManager::getActiveServersInRegion(const QString &region)
{
    const QString wanted = region.simplified().toLower();
    if (wanted.isEmpty())
        return {};
    QList<QVariantMap> out;
    const QList<QVariantMap> all = getActiveServers();
    for (const QVariantMap &server : all) {
        if (server.value(QStringLiteral("region")).toString().simplified().toLower() == wanted)
            out.append(server);
    }
    return out;
}

int DatabaseManager::countActiveServers()
{
    QMutexLocker locker(&m_mutex);
    QSqlQuery q(m_db);
    if (!q.exec(
            QStringLiteral("SELECT COUNT(*) FROM servers WHERE lower(trim(ifnull(status,''))) = 'active'")) ||
        !q.next())
        return 0;
    return q.value(0).toInt();
}

QStringList DatabaseManager::getServerRegions()
{
    QMutexLocker locker(&m_mutex);
    QStringList out;
    QSqlQuery q(m_db);
    if (!q.exec(
            QStringLiteral("SELECT DISTINCT TRIM(region) AS region FROM servers WHERE status = 'active' AND "
                           "region IS NOT NULL AND TRIM(region) <> '' ORDER BY TRIM(region) COLLATE NOCASE")))
        return out;
    while (q.next())
        out << q.value(0).toString();
    return out;
}

// --- favourites and clicks ------------------------------------------------

bool DatabaseManager::addFavorite(const QString &gameTitle, const QString &platform, const QString &gameLogo)
{
    if (isBlank(gameTitle)) {
        qWarning() << "[DB] addFavorite: empty game title";
        return false;
    }
    QMutexLocker locker(&m_mutex);
    QSqlQuery q(m_db);
    q.prepare(
        QStringLiteral("INSERT OR REPLACE INTO favorite_games (game_title, platform, game_logo, added_at) "
                       "VALUES (:game_title, :platform, :game_logo, :added_at)"));
    q.bindValue(QStringLiteral(":game_title"), gameTitle);
    q.bindValue(QStringLiteral(":platform"), platform.isNull() ? QStringLiteral("") : platform);
    q.bindValue(QStringLiteral(":game_logo"), gameLogo);
    q.bindValue(QStringLiteral(":added_at"), nowLocal());
    return q.exec();
}

bool DatabaseManager::removeFavorite(const QString &gameTitle, const QString &platform)
{
    QMutexLocker locker(&m_mutex);
    QSqlQuery q(m_db);
    q.prepare(
        QStringLiteral("DELETE FROM favorite_games WHERE game_title = :game_title AND platform = :platform"));
    q.bindValue(QStringLiteral(":game_title"), gameTitle);
    q.bindValue(QStringLiteral(":platform"), platform.isNull() ? QStringLiteral("") : platform);
    return q.exec();
}

QList<QVariantMap> DatabaseManager::getFavoriteGames()
{
    QMutexLocker locker(&m_mutex);
    QList<QVariantMap> out;
    QSqlQuery q(m_db);
    if (!q.exec(QStringLiteral(
            "SELECT game_title, platform, game_logo, added_at FROM favorite_games ORDER BY added_at DESC")))
        return out;
    while (q.next()) {
        QVariantMap m;
        m.insert(QStringLiteral("game_title"), q.value(0).toString());
        m.insert(QStringLiteral("platform"), q.value(1).toString());
        m.insert(QStringLiteral("game_logo"), q.value(2).toString());
        m.insert(QStringLiteral("added_at"), q.value(3).toString());
        out.append(m);
    }
    return out;
}

bool DatabaseManager::recordGameClick(const QString &clickKey, const QString &gameId,
                                      const QString &gameTitle, const QString &platform)
{
    QMutexLocker locker(&m_mutex);
    if (!m_db.isOpen())
        return false;
    const QString key = clickKey.trimmed();
    if (key.isEmpty())
        return false;
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral(
        "INSERT INTO game_clicks (click_key, game_id, game_title, platform, clicks, updated_at) "
        "VALUES (:k, :gid, :title, :platform, 1, :ts) "
        "ON CONFLICT(click_key) DO UPDATE SET clicks = clicks + 1, "
        "game_id = CASE WHEN excluded.game_id IS NOT NULL AND excluded.game_id <> '' THEN excluded.game_id "
        "ELSE game_id END, "
        "game_title = CASE WHEN excluded.game_title IS NOT NULL AND excluded.game_title <> '' "
        "THEN excluded.game_title ELSE game_title END, "
        "platform = CASE WHEN excluded.platform IS NOT NULL AND excluded.platform <> '' THEN "
        "excluded.platform "
        "ELSE platform END, "
        "updated_at = excluded.updated_at"));
    q.bindValue(QStringLiteral(":k"), key);
    q.bindValue(QStringLiteral(":gid"), gameId);
    q.bindValue(QStringLiteral(":title"), gameTitle);
    q.bindValue(QStringLiteral(":platform"), platform);
    q.bindValue(QStringLiteral(":ts"), nowLocal());
    if (!q.exec()) {
        qWarning().noquote() << "[DB] recordGameClick failed:" << q.lastError().text();
        return false;
    }
    return true;
}

QHash<QString, int> DatabaseManager::getGameClicks()
{
    QMutexLocker locker(&m_mutex);
    QHash<QString, int> out;
    if (!m_db.isOpen())
        return out;
    QSqlQuery q(m_db);
    if (!q.exec(QStringLiteral("SELECT click_key, clicks FROM game_clicks")))
        return out;
    while (q.next())
        out.insert(q.value(0).toString(), q.value(1).toInt());
    return out;
}

// --- flags ----------------------------------------------------------------

bool DatabaseManager::saveFlagImage(const QString &countryCode, const QByteArray &imageData)
{
    const QString code = countryCode.trimmed().toLower();
    if (code.isEmpty() || imageData.isEmpty())
        return false;
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("INSERT OR REPLACE INTO flag_cache (country_code, image_data, cached_at) "
                             "VALUES (:country_code, :image_data, :cached_at)"));
    q.bindValue(QStringLiteral(":country_code"), code);
    q.bindValue(QStringLiteral(":image_data"), imageData);
    q.bindValue(QStringLiteral(":cached_at"), nowLocal());
    return q.exec();
}

QByteArray DatabaseManager::getFlagImage(const QString &countryCode)
{
    const QString code = countryCode.trimmed().toLower();
    if (code.isEmpty())
        return QByteArray();
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("SELECT image_data FROM flag_cache WHERE country_code = :country_code"));
    q.bindValue(QStringLiteral(":country_code"), code);
    if (!q.exec() || !q.next())
        return QByteArray();
    return q.value(0).toByteArray();
}

// --- route cache ----------------------------------------------------------

bool DatabaseManager::saveRouteCache(const QString &cacheKey, const QString &gameId, const QString &region,
                                     const QString &networkFingerprint, const QString &pingJson,
                                     const QString &updatedAt)
{
    if (isBlank(cacheKey)) {
        qWarning() << "[DB] saveRouteCache: empty cache key";
        return false;
    }
    QMutexLocker locker(&m_mutex);
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral(
        "INSERT OR REPLACE INTO route_cache (cache_key, game_id, region, network_fingerprint, ping_json, "
        "updated_at, created_at) VALUES (:cache_key, :game_id, :region, :fp, :ping_json, :updated_at, "
        ":created_at)"));
    q.bindValue(QStringLiteral(":cache_key"), cacheKey);
    q.bindValue(QStringLiteral(":game_id"), gameId);
    q.bindValue(QStringLiteral(":region"), region);
    q.bindValue(QStringLiteral(":fp"), networkFingerprint);
    q.bindValue(QStringLiteral(":ping_json"), pingJson);
    q.bindValue(QStringLiteral(":updated_at"), updatedAt);
    q.bindValue(QStringLiteral(":created_at"), nowUtc());
    return q.exec();
}

QVariantMap DatabaseManager::getRouteCache(const QString &gameId, const QString &region,
                                           const QString &networkFingerprint)
{
    QMutexLocker locker(&m_mutex);
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral(
        "SELECT cache_key, game_id, region, network_fingerprint, ping_json, updated_at FROM route_cache "
        "WHERE game_id = :game_id AND region = :region AND network_fingerprint = :fp "
        "ORDER BY updated_at DESC LIMIT 1"));
    q.bindValue(QStringLiteral(":game_id"), gameId);
    q.bindValue(QStringLiteral(":region"), region);
    q.bindValue(QStringLiteral(":fp"), networkFingerprint);
    if (!q.exec() || !q.next())
        return QVariantMap();
    QVariantMap m;
    static const char *const kCols[] = {"cache_key",           "game_id",   "region",
                                        "network_fingerprint", "ping_json", "updated_at"};
    for (int i = 0; i < 6; ++i)
        m.insert(QString::fromLatin1(kCols[i]), q.value(i).toString());
    return m;
}

bool DatabaseManager::deleteRouteCache(const QString &cacheKey)
{
    if (isBlank(cacheKey))
        return false;
    QMutexLocker locker(&m_mutex);
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("DELETE FROM route_cache WHERE cache_key = :k"));
    q.bindValue(QStringLiteral(":k"), cacheKey);
    return q.exec();
}

// --- saved game connections -----------------------------------------------

bool DatabaseManager::saveUserConnection(const QString &gameTitle, const QString &gameLogo,
                                         const QString &gameExecutable, const QString &serverId,
                                         const QString &serverName, const QString &serverIp, int serverPort,
                                         const QString &serverCountryCode)
{
    if (isBlank(gameTitle))
        return false;

    qint64 existing = 0;
    {
        QSqlQuery count(m_db);
        count.prepare(QStringLiteral("SELECT COUNT(*) FROM user_connections WHERE game_title = :title"));
        count.bindValue(QStringLiteral(":title"), gameTitle);
        if (count.exec() && count.next())
            existing = count.value(0).toLongLong();
    }

    const QString now = nowLocal();
    QSqlQuery q(m_db);
    if (existing > 0) {
        q.prepare(QStringLiteral(
            "UPDATE user_connections SET game_logo = :logo, game_executable = :exe, server_id = :sid, "
            "server_name = :sname, server_ip = :sip, server_port = :sport, server_country_code = :scc, "
            "updated_at = :ts WHERE game_title = :title"));
    } else {
        q.prepare(QStringLiteral(
            "INSERT INTO user_connections (game_title, game_logo, game_executable, server_id, server_name, "
            "server_ip, server_port, server_country_code, created_at, updated_at) VALUES (:title, :logo, "
            ":exe, "
            ":sid, :sname, :sip, :sport, :scc, :created, :ts)"));
    }
    q.bindValue(QStringLiteral(":title"), gameTitle);
    q.bindValue(QStringLiteral(":logo"), gameLogo);
    q.bindValue(QStringLiteral(":exe"), gameExecutable);
    q.bindValue(QStringLiteral(":sid"), serverId);
    q.bindValue(QStringLiteral(":sname"), serverName);
    q.bindValue(QStringLiteral(":sip"), serverIp);
    q.bindValue(QStringLiteral(":sport"), serverPort);
    q.bindValue(QStringLiteral(":scc"), serverCountryCode);
    q.bindValue(QStringLiteral(":ts"), now);
    if (existing == 0)
        q.bindValue(QStringLiteral(":created"), now);
    if (!q.exec()) {
        qWarning().noquote() << "[DB] saveUserConnection failed for" << gameTitle << ":"
                             << q.lastError().text();
        return false;
    }
    return true;
}
