// The games catalogue with 2,000 games: parsing a reply body, the reply's
// parse plus the database write, and the start-up load from the protected
// file (read, open, parse, database write). The baseline is
// QJsonDocument::fromJson of the same bytes, which every one of them does
// once; the run prints each figure's ratio to it.

#include "bench/support/RatioReporter.h"
#include "services/GamesCache.h"
#include "services/GamesCatalogue.h"
#include "storage/DatabaseManager.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>

namespace {

constexpr int kGames = 2000;

QByteArray g_body;
std::unique_ptr<GamesCache> g_cache;

// A reply as the service sends it: games under "data", each with the members the client reads.
QByteArray makeBody()
{
    QJsonArray games;
    for (int i = 0; i < kGames; ++i) {
        games.append(QJsonObject{
            {"id", i},
            {"title", QString("Game number %1").arg(i)},
            {"name", QString("game-%1").arg(i)},
            {"description", QString("A description of game %1 about as long as a catalogue entry's.").arg(i)},
            {"category", i % 5 == 0 ? "PlayStation" : "PC"},
            {"type", i % 3 == 0 ? "Launcher" : "Shooter"},
            {"tags", QJsonArray{"fps", "multiplayer", QString("tag-%1").arg(i % 17)}},
            {"executable", QString("game%1.exe").arg(i)},
            {"coverImage", QString("/uploads/covers/%1.jpg").arg(i)},
            {"logo", QString("/uploads/logos/%1.png").arg(i)},
            {"tcp_ports", QJsonArray{"80", "443", QString::number(20000 + i)}},
            {"udp_ports", QJsonArray{27015, "27020-27030"}},
            {"domains", QJsonArray{QString("game%1.example.test").arg(i), "*.cdn.example.test"}},
            {"profiles", QJsonArray{QJsonObject{{"id", "steam"},
                                                {"title", "Steam"},
                                                {"udp_ports", QJsonArray{"27000-27100"}},
                                                {"tcp_ports", QJsonArray{"27015"}},
                                                {"domains", QJsonArray{"steam.example.test"}}}}},
            {"is_free_effective", i % 7 == 0},
            {"free_days_left", i % 7 == 0 ? "5" : ""},
            {"free_source", i % 7 == 0 ? "promo" : ""},
            {"status", "active"},
            {"created_at", "2026-01-01T00:00:00"},
            {"updated_at", "2026-01-02T00:00:00"},
        });
    }
    return QJsonDocument(QJsonObject{{"data", games}}).toJson(QJsonDocument::Compact);
}

void saveToDatabase(const QList<QVariantMap> &games)
{
    if (!DatabaseManager::instance()->saveGames(games))
        std::abort();
}

void BM_Baseline(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(QJsonDocument::fromJson(g_body));
}

void BM_ParseGamesJson(benchmark::State &state)
{
    for (auto _ : state) {
        QList<GameApiItem> items;
        if (!parseGamesJson(g_body, &items) || items.size() != kGames)
            std::abort();
    }
}

// The reply's one parse: items for the grid, records for the database.
QList<QVariantMap> parseReply()
{
    QJsonArray array;
    if (!selectGamesArray(QJsonDocument::fromJson(g_body), &array))
        std::abort();
    QList<GameApiItem> items;
    parseGamesArray(array, &items);
    return gameRecords(array);
}

// What a good reply costs after it arrived (the disk write aside).
void BM_ReplyParseAndSaveGames(benchmark::State &state)
{
    for (auto _ : state)
        saveToDatabase(parseReply());
}

// The part of the above before the database.
void BM_ReplyParseAndRecords(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(parseReply());
}

// The start-up load without the database write: read, open, parse.
void BM_LoadFromDisk(benchmark::State &state)
{
    for (auto _ : state) {
        CatalogueState catalogue;
        if (!g_cache->loadGamesCache(&catalogue, {}) || catalogue.items->size() != kGames)
            std::abort();
    }
}

// The whole start-up load, as the window runs it.
void BM_LoadFromDiskAndSaveGames(benchmark::State &state)
{
    for (auto _ : state) {
        CatalogueState catalogue;
        if (!g_cache->loadGamesCache(&catalogue, saveToDatabase))
            std::abort();
    }
}

// Protecting and replacing the file, as a good reply does.
void BM_SaveGamesCache(benchmark::State &state)
{
    const QString path = g_cache->folder() + QStringLiteral("/bench_copy.dat");
    for (auto _ : state) {
        if (!g_cache->saveGamesCache(path, g_body))
            std::abort();
    }
}

} // namespace

BENCHMARK(BM_Baseline)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ParseGamesJson)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReplyParseAndRecords)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReplyParseAndSaveGames)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadFromDisk)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadFromDiskAndSaveGames)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SaveGamesCache)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char **argv)
{
    qputenv("QT_LOGGING_RULES", "*.info=false;*.debug=false");
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    if (!DatabaseManager::instance()->initialize(dir.path()))
        return 1;
    // The secret and the copy stay in the temporary folder, never in the user's own.
    g_cache = std::make_unique<GamesCache>(dir.filePath("cache"), DataProtection(dir.filePath("keys")));
    g_body = makeBody();
    if (!g_cache->saveGamesCache(g_cache->path(), g_body))
        return 1;

    benchmark::Initialize(&argc, argv);
    char heading[160];
    std::snprintf(heading, sizeof heading,
                  "%d games, body %lld bytes; ratios to QJsonDocument::fromJson:", kGames,
                  static_cast<long long>(g_body.size()));
    RatioReporter reporter(heading, [](const std::string &name) {
        return name == "BM_Baseline" ? std::string() : std::string("BM_Baseline");
    });
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    g_cache.reset();
    DatabaseManager::instance()->close();
    return 0;
}
