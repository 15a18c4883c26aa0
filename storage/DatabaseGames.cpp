// The games table: the catalogue, written in batches and read by the
// connect flow and the pages.

#include "storage/DatabaseManager.h"

#include "storage/DatabaseSupport.h"
#include "storage/RecordStatement.h"
#include "storage/SqliteStatement.h"

#include <QDebug>
#include <QMutexLocker>
#include <QSqlQuery>

using namespace DatabaseSupport;

namespace {

bool isListColumn(const QString &name)
{
    for (const GameRecord::Column &c : GameRecord::kColumns) {
        if (c.kind == GameRecord::Column::Kind::Json && name == QLatin1String(c.name))
            return true;
    }
    return false;
}

// Turns rows of "SELECT * FROM games" into maps: every column the row has,
// under its own name, with the value the driver would give. The keys are laid
// out once: each row copies a map that already holds every column name and
// fills the values in key order.
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
            *it = m_isList.at(k) ? GameRecord::parseList(q.bytesInPlace(column)) : q.value(column);
        }
        return map;
    }

private:
    QVariantMap m_template;
    QList<int> m_column;
    QList<bool> m_isList;
};

const char kActiveWhere[] = " FROM games WHERE status = 'active' ORDER BY updated_at DESC";

} // namespace

bool DatabaseManager::saveGames(const QList<QVariantMap> &games)
{
    if (games.isEmpty())
        return saveGameRecords({});
    QList<GameRecord> records;
    records.reserve(games.size());
    for (const QVariantMap &game : games)
        records.append(GameRecord::fromCatalogueMap(game));
    return saveGameRecords(records);
}

bool DatabaseManager::saveGameRecords(const QList<GameRecord> &games)
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
        static const QByteArray sql =
            RecordStatement::insertOrReplace("games", GameRecord::kColumns, "last_synced");
        SqliteStatement q(m_db, sql.constData());
        if (!q.isValid()) {
            qWarning().noquote() << "[DB] Error saving game:" << q.errorText();
            m_db.rollback();
            return false;
        }

        const QString lastSynced = nowLocal();
        for (const GameRecord &game : games) {
            // A game without a name breaks the table's NOT NULL rule; one
            // without an id would be stored under a NULL key that never
            // matches, so every later save would add another copy. Either
            // fails the whole batch.
            if (game.id.isNull() || game.name.isNull()) {
                qWarning().noquote() << "[DB] Error saving game:" << game.name
                                     << (game.id.isNull() ? "a game without an id" : "a game without a name");
                saved = false;
                break;
            }
            if (isBlank(game.id) || isBlank(game.name))
                qWarning().noquote() << "[DB] saveGames: a game with a blank"
                                     << (isBlank(game.id) ? "id" : "name") << "- id" << game.id << "name"
                                     << game.name;
            const int stamp = RecordStatement::bindWritten(q, GameRecord::kColumns, game);
            q.bindText(stamp, lastSynced);
            if (!q.exec()) {
                qWarning().noquote() << "[DB] Error saving game:" << game.name << q.errorText();
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
    QList<QVariantMap> out;
    SqliteStatement q(m_db, QByteArray(QByteArrayLiteral("SELECT *") + kActiveWhere).constData());
    if (!q.isValid())
        return out;
    const GameRowReader reader(q);
    while (q.next())
        out.append(reader.read(q));
    if (q.failed())
        return QList<QVariantMap>();
    return out;
}

QList<GameRecord> DatabaseManager::activeGameRecords()
{
    // The catalogue changes only through saveGames (which drops this copy) or,
    // in principle, through another connection to the file (which moves
    // SQLite's data version); every other read is served from the copy.
    QMutexLocker locker(&m_activeGamesLock);
    const qint64 version = dataVersion();
    if (m_activeGamesValid && version == m_activeGamesVersion && version >= 0)
        return m_activeGames;

    static const QByteArray sql =
        "SELECT " + RecordStatement::columnNames(GameRecord::kColumns, false) + kActiveWhere;
    // The rows are read over the last copy where no caller holds it still:
    // a catalogue read again after a small change then keeps nearly every
    // buffer it had.
    m_activeGamesValid = false;
    QList<GameRecord> out = std::move(m_activeGames);
    m_activeGames = QList<GameRecord>();
    if (!out.isDetached())
        out = QList<GameRecord>();
    qsizetype rows = 0;
    SqliteStatement q(m_db, sql.constData());
    if (!q.isValid())
        return QList<GameRecord>();
    while (q.next()) {
        GameRecord &record = rows < out.size() ? out[rows] : out.emplaceBack();
        RecordStatement::read(q, GameRecord::kColumns, record);
        ++rows;
    }
    if (q.failed())
        return QList<GameRecord>();
    out.resize(rows);
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
    // The rows stay, to be read over by the next read.
    QMutexLocker locker(&m_activeGamesLock);
    m_activeGamesValid = false;
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
