// DatabaseManager's batch writes and the catalogue read (as records, and as
// maps), each next to a bare SQLite baseline doing the same statements (one
// transaction, one prepared statement) on its own file in the same folder, in
// the same run. At the end the run prints each figure's ratio to its baseline.

#include "bench/support/RatioReporter.h"
#include "storage/DatabaseManager.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int kGames = 2000;
constexpr int kServers = 500;

QTemporaryDir *g_dir = nullptr;

QList<QVariantMap> makeGames()
{
    QList<QVariantMap> games;
    games.reserve(kGames);
    for (int i = 0; i < kGames; ++i) {
        QVariantMap g;
        g["id"] = QString("game-%1").arg(i);
        g["name"] = QString("Game number %1").arg(i);
        g["description"] =
            QString("A description of game %1 that is about as long as a catalogue entry's.").arg(i);
        g["category"] = i % 5 == 0 ? "PlayStation" : "PC";
        g["tags"] = QVariantList{"fps", "multiplayer", QString("tag-%1").arg(i % 17)};
        g["executable"] = QString("game%1.exe").arg(i);
        g["coverImage"] = QString("https://cdn.example.test/covers/%1.jpg").arg(i);
        g["logo"] = QString("https://cdn.example.test/logos/%1.png").arg(i);
        g["tcp_ports"] = QVariantList{"80", "443", QString::number(20000 + i)};
        g["udp_ports"] = QVariantList{27015, "27020-27030", QString::number(30000 + i)};
        g["domains"] = QVariantList{QString("game%1.example.test").arg(i), "*.cdn.example.test"};
        g["profiles"] = QVariantList{QVariantMap{{"id", "steam"},
                                                 {"title", "Steam"},
                                                 {"udp_ports", QVariantList{"27000-27100"}},
                                                 {"tcp_ports", QVariantList{"27015"}},
                                                 {"domains", QVariantList{"steampowered.example.test"}}}};
        g["is_free_effective"] = i % 7 == 0;
        g["free_days_left"] = i % 7 == 0 ? 5 : -1;
        g["free_source"] = i % 7 == 0 ? "promo" : "";
        g["status"] = "active";
        g["created_at"] = "2026-01-01T00:00:00";
        g["updated_at"] =
            QString("2026-01-01T00:%1:%2").arg(i / 60 % 60, 2, 10, QChar('0')).arg(i % 60, 2, 10, QChar('0'));
        games << g;
    }
    return games;
}

QList<QVariantMap> makeServers()
{
    static const char *regions[] = {"Europe", "Asia", "North America", "Middle East"};
    QList<QVariantMap> servers;
    for (int i = 0; i < kServers; ++i) {
        servers << QVariantMap{{"id", QString("relay-%1").arg(i)},
                               {"name", QString("Relay %1").arg(i)},
                               {"hostname", QString("relay%1.example.test").arg(i)},
                               {"ip_address", QString("127.0.%1.%2").arg(i / 250).arg(i % 250 + 1)},
                               {"port", 50000},
                               {"region", regions[i % 4]},
                               {"country", "Germany"},
                               {"country_code", "DE"},
                               {"city", "Frankfurt"},
                               {"flag", "de"},
                               {"provider", "Example"},
                               {"status", "active"},
                               {"capacity_mbps", 1000},
                               {"active_connections", i % 50},
                               {"max_connections", 500},
                               {"created_at", "2026-01-01T00:00:00"},
                               {"updated_at", "2026-01-02T00:00:00"}};
    }
    return servers;
}

// Each row as the texts and numbers the baseline binds: the same values the
// manager ends up storing, prepared before timing starts.
struct Bound
{
    std::vector<std::string> text; // nullptr-free; one per text column in order
    std::vector<long long> ints;
};

std::string json(const QVariant &v)
{
    const QJsonValue j = QJsonValue::fromVariant(v);
    const QJsonDocument d = j.isArray() ? QJsonDocument(j.toArray()) : QJsonDocument(j.toObject());
    return d.toJson(QJsonDocument::Compact).toStdString();
}

std::vector<Bound> boundGames(const QList<QVariantMap> &games)
{
    std::vector<Bound> rows;
    for (const QVariantMap &g : games) {
        Bound b;
        for (const char *k : {"id", "name", "description", "category"})
            b.text.push_back(g.value(k).toString().toStdString());
        b.text.push_back(json(g.value("tags")));
        b.text.push_back(g.value("executable").toString().toStdString());
        b.text.push_back(g.value("coverImage").toString().toStdString());
        b.text.push_back(g.value("logo").toString().toStdString());
        for (const char *k : {"tcp_ports", "udp_ports", "domains", "profiles"})
            b.text.push_back(json(g.value(k)));
        b.ints = {g.value("is_free_effective").toBool() ? 1 : 0, g.value("free_days_left").toInt()};
        for (const char *k : {"free_source", "status", "created_at", "updated_at"})
            b.text.push_back(g.value(k).toString().toStdString());
        b.text.push_back("2026-01-01T00:00:00");
        rows.push_back(std::move(b));
    }
    return rows;
}

sqlite3 *openBaseline(const char *name)
{
    const std::string path = (g_dir->path() + "/" + name).toStdString();
    sqlite3 *db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK)
        std::abort();
    // The same schema the manager creates for these two tables.
    sqlite3_exec(
        db,
        "CREATE TABLE IF NOT EXISTS games (id TEXT PRIMARY KEY, name TEXT NOT NULL, description TEXT, "
        "category TEXT, tags TEXT, executable TEXT, cover_image TEXT, logo TEXT, logo_cached_path TEXT, "
        "tcp_ports TEXT, udp_ports TEXT, domains TEXT, profiles TEXT, is_free_effective INTEGER DEFAULT 0, "
        "free_days_left INTEGER DEFAULT -1, free_source TEXT, status TEXT, created_at TEXT, updated_at "
        "TEXT, last_synced TEXT);"
        "CREATE INDEX IF NOT EXISTS idx_games_updated ON games(updated_at);"
        "CREATE INDEX IF NOT EXISTS idx_games_status ON games(status);"
        "CREATE TABLE IF NOT EXISTS servers (id TEXT PRIMARY KEY, name TEXT NOT NULL, hostname TEXT, "
        "ip_address TEXT, port INTEGER, region TEXT, country TEXT, country_code TEXT, city TEXT, flag TEXT, "
        "provider TEXT, status TEXT, capacity_mbps INTEGER, active_connections INTEGER, max_connections "
        "INTEGER, created_at TEXT, updated_at TEXT, last_synced TEXT);"
        "CREATE INDEX IF NOT EXISTS idx_servers_status ON servers(status);"
        "CREATE INDEX IF NOT EXISTS idx_servers_region ON servers(region);",
        nullptr, nullptr, nullptr);
    return db;
}

void baselineSaveGames(sqlite3 *db, const std::vector<Bound> &rows)
{
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt *st = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT OR REPLACE INTO games (id, name, description, category, tags, executable, "
                       "cover_image, logo, tcp_ports, udp_ports, domains, profiles, is_free_effective, "
                       "free_days_left, free_source, status, created_at, updated_at, last_synced) VALUES "
                       "(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)",
                       -1, &st, nullptr);
    for (const Bound &b : rows) {
        int col = 1;
        for (int i = 0; i < 12; ++i, ++col)
            sqlite3_bind_text(st, col, b.text[i].data(), int(b.text[i].size()), SQLITE_STATIC);
        sqlite3_bind_int64(st, col++, b.ints[0]);
        sqlite3_bind_int64(st, col++, b.ints[1]);
        for (int i = 12; i < 17; ++i, ++col)
            sqlite3_bind_text(st, col, b.text[i].data(), int(b.text[i].size()), SQLITE_STATIC);
        if (sqlite3_step(st) != SQLITE_DONE)
            std::abort();
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
}

void BM_SaveGames(benchmark::State &state)
{
    const QList<QVariantMap> games = makeGames();
    for (auto _ : state) {
        if (!DatabaseManager::instance()->saveGames(games))
            state.SkipWithError("saveGames failed");
    }
}

void BM_SaveGames_Baseline(benchmark::State &state)
{
    const std::vector<Bound> rows = boundGames(makeGames());
    sqlite3 *db = openBaseline("baseline.db");
    for (auto _ : state)
        baselineSaveGames(db, rows);
    sqlite3_close(db);
}

void BM_GetActiveGames(benchmark::State &state)
{
    DatabaseManager::instance()->saveGames(makeGames());
    for (auto _ : state) {
        const QList<GameRecord> rows = DatabaseManager::instance()->activeGameRecords();
        if (rows.size() != kGames)
            state.SkipWithError("wrong row count");
        benchmark::DoNotOptimize(rows);
    }
}

// Changes the catalogue from a second connection (as another writer would), so
// the manager cannot know of it until SQLite's data version moves; the time
// of the change itself is left out.
class OtherWriter
{
public:
    OtherWriter()
    {
        if (sqlite3_open(DatabaseManager::instance()->databasePath().toUtf8().constData(), &m_db) !=
            SQLITE_OK)
            std::abort();
    }
    ~OtherWriter() { sqlite3_close(m_db); }
    void touch(benchmark::State &state)
    {
        state.PauseTiming();
        if (sqlite3_exec(m_db, "UPDATE games SET last_synced = hex(randomblob(8)) WHERE id = 'game-0'",
                         nullptr, nullptr, nullptr) != SQLITE_OK)
            state.SkipWithError(sqlite3_errmsg(m_db));
        state.ResumeTiming();
    }

private:
    sqlite3 *m_db = nullptr;
};

// The first read after the catalogue changed: every row is built again.
void BM_GetActiveGames_AfterWrite(benchmark::State &state)
{
    DatabaseManager::instance()->saveGames(makeGames());
    OtherWriter other;
    for (auto _ : state) {
        other.touch(state);
        const QList<GameRecord> rows = DatabaseManager::instance()->activeGameRecords();
        if (rows.size() != kGames)
            state.SkipWithError("wrong row count");
        benchmark::DoNotOptimize(rows);
    }
}

// The map form (every column by name, the five lists parsed), which is built
// on every call.
void BM_GetActiveGames_Maps(benchmark::State &state)
{
    DatabaseManager::instance()->saveGames(makeGames());
    for (auto _ : state) {
        const QList<QVariantMap> rows = DatabaseManager::instance()->getActiveGames();
        if (rows.size() != kGames)
            state.SkipWithError("wrong row count");
        benchmark::DoNotOptimize(rows);
    }
}

void BM_GetActiveGames_Baseline(benchmark::State &state)
{
    sqlite3 *db = openBaseline("baseline.db");
    baselineSaveGames(db, boundGames(makeGames()));
    for (auto _ : state) {
        sqlite3_stmt *st = nullptr;
        sqlite3_prepare_v2(db, "SELECT * FROM games WHERE status = 'active' ORDER BY updated_at DESC", -1,
                           &st, nullptr);
        int rows = 0;
        size_t bytes = 0;
        while (sqlite3_step(st) == SQLITE_ROW) {
            const int n = sqlite3_column_count(st);
            for (int c = 0; c < n; ++c) {
                if (sqlite3_column_type(st, c) == SQLITE_INTEGER) {
                    bytes += size_t(sqlite3_column_int64(st, c));
                } else {
                    const unsigned char *t = sqlite3_column_text(st, c);
                    bytes += t ? size_t(sqlite3_column_bytes(st, c)) : 0;
                }
            }
            ++rows;
        }
        sqlite3_finalize(st);
        if (rows != kGames)
            state.SkipWithError("wrong row count");
        benchmark::DoNotOptimize(bytes);
    }
    sqlite3_close(db);
}

void BM_ReplaceServersCache(benchmark::State &state)
{
    const QList<QVariantMap> servers = makeServers();
    for (auto _ : state) {
        if (!DatabaseManager::instance()->replaceServersCache(servers))
            state.SkipWithError("replaceServersCache failed");
    }
}

void BM_ReplaceServersCache_Baseline(benchmark::State &state)
{
    const QList<QVariantMap> servers = makeServers();
    static const char *textKeys[] = {"id",      "name",         "hostname",  "ip_address", "region",
                                     "country", "country_code", "city",      "flag",       "provider",
                                     "status",  "created_at",   "updated_at"};
    std::vector<std::vector<std::string>> texts;
    std::vector<std::vector<long long>> ints;
    for (const QVariantMap &s : servers) {
        std::vector<std::string> t;
        for (const char *k : textKeys)
            t.push_back(s.value(k).toString().toStdString());
        texts.push_back(t);
        ints.push_back({s.value("port").toInt(), s.value("capacity_mbps").toInt(),
                        s.value("active_connections").toInt(), s.value("max_connections").toInt()});
    }
    sqlite3 *db = openBaseline("baseline.db");
    for (auto _ : state) {
        sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
        sqlite3_exec(db, "DELETE FROM servers", nullptr, nullptr, nullptr);
        sqlite3_stmt *st = nullptr;
        sqlite3_prepare_v2(
            db,
            "INSERT OR REPLACE INTO servers (id, name, hostname, ip_address, port, region, country, "
            "country_code, city, flag, provider, status, capacity_mbps, active_connections, "
            "max_connections, created_at, updated_at, last_synced) VALUES "
            "(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)",
            -1, &st, nullptr);
        for (size_t r = 0; r < texts.size(); ++r) {
            const auto &t = texts[r];
            const auto &n = ints[r];
            // column order: id name hostname ip port region country cc city flag provider status cap act max
            // c u ls
            const int textCols[] = {1, 2, 3, 4, 6, 7, 8, 9, 10, 11, 12, 16, 17};
            for (int i = 0; i < 13; ++i)
                sqlite3_bind_text(st, textCols[i], t[i].data(), int(t[i].size()), SQLITE_STATIC);
            sqlite3_bind_int64(st, 5, n[0]);
            sqlite3_bind_int64(st, 13, n[1]);
            sqlite3_bind_int64(st, 14, n[2]);
            sqlite3_bind_int64(st, 15, n[3]);
            sqlite3_bind_text(st, 18, "2026-01-01T00:00:00", -1, SQLITE_STATIC);
            if (sqlite3_step(st) != SQLITE_DONE)
                std::abort();
            sqlite3_reset(st);
        }
        sqlite3_finalize(st);
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    }
    sqlite3_close(db);
}

} // namespace

BENCHMARK(BM_SaveGames)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SaveGames_Baseline)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_GetActiveGames)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_GetActiveGames_AfterWrite)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_GetActiveGames_Maps)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_GetActiveGames_Baseline)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReplaceServersCache)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReplaceServersCache_Baseline)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char **argv)
{
    // The manager's per-batch info lines would drown the table.
    qputenv("QT_LOGGING_RULES", "*.info=false");
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    g_dir = &dir;
    if (!DatabaseManager::instance()->initialize(dir.path()))
        return 1;
    benchmark::Initialize(&argc, argv);
    // Each figure "BM_X" or "BM_X_Variant" is paired with "BM_X_Baseline".
    RatioReporter reporter("ratios to the bare SQLite baseline (real time):", [](const std::string &name) {
        const std::string suffix = "_Baseline";
        const bool isBaseline = name.size() > suffix.size() &&
                                name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
        if (isBaseline)
            return std::string();
        const size_t variant = name.find('_', 3);
        return name.substr(0, variant) + suffix;
    });
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    DatabaseManager::instance()->close();
    return 0;
}
