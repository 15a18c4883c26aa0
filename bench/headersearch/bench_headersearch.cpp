// The header search's fill over 2,000 games: every name matched against the
// query, up to six rows built with their icons and logo look-ups (memory,
// then disk). The baseline is the bare loop every fill contains: each game's
// "name" tested with a case-insensitive QString::contains. Both walk the same
// array in the same run; the run prints each figure's ratio to the baseline.

#include "bench/support/RatioReporter.h"
#include "ui/mainwindow/HeaderSearch.h"

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QWidget>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

namespace {

constexpr int kGames = 2000;

QJsonArray g_games;
std::unique_ptr<QWidget> g_window;
HeaderSearch *g_search = nullptr;

QJsonArray makeGames()
{
    QJsonArray games;
    for (int i = 0; i < kGames; ++i) {
        games.append(QJsonObject{{"id", i},
                                 {"name", QString("Game number %1").arg(i)},
                                 {"category", i % 5 == 0 ? "PlayStation" : "PC"},
                                 {"logo", QString("/uploads/logos/%1.png").arg(i)}});
    }
    return games;
}

int bareMatches(const QString &query)
{
    int matches = 0;
    for (const QJsonValue &value : std::as_const(g_games)) {
        if (value.toObject().value(QLatin1String("name")).toString().contains(query, Qt::CaseInsensitive))
            ++matches;
    }
    return matches;
}

// A query that only the last game matches: both walk the whole array.
const QString kRare = QStringLiteral("NUMBER 1999");
// A query every game matches: the fill stops at its sixth row.
const QString kCommon = QStringLiteral("game");

void BM_BareContainsRare(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(bareMatches(kRare));
}

void BM_FillRare(benchmark::State &state)
{
    for (auto _ : state) {
        g_search->fillResults(kRare);
        if (g_search->results()->count() != 1)
            std::abort();
    }
}

void BM_BareContainsCommon(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(bareMatches(kCommon));
}

void BM_FillCommon(benchmark::State &state)
{
    for (auto _ : state) {
        g_search->fillResults(kCommon);
        if (g_search->results()->count() != HeaderSearch::kMaxRows)
            std::abort();
    }
}

} // namespace

BENCHMARK(BM_BareContainsRare)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_FillRare)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_BareContainsCommon)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_FillCommon)->Unit(benchmark::kMicrosecond)->UseRealTime();

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_LOGGING_RULES", "*.info=false;*.debug=false");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    g_games = makeGames();
    g_window = std::make_unique<QWidget>();
    auto *header = new QWidget(g_window.get());
    // No service client: the fill never reaches the network, and its logo
    // look-ups stop at the (empty) memory and disk caches.
    g_search = new HeaderSearch(header, g_window.get(), nullptr, dir.path(), 200, g_window.get());
    ServiceApi::Reply reply;
    reply.body = QJsonDocument(QJsonObject{{"data", g_games}}).toJson(QJsonDocument::Compact);
    g_search->onGamesReply(reply);
    if (!g_search->gamesLoaded())
        return 1;

    benchmark::Initialize(&argc, argv);
    char heading[160];
    std::snprintf(heading, sizeof heading,
                  "%d games; ratios to the bare contains loop with the same query:", kGames);
    RatioReporter reporter(heading, [](const std::string &name) {
        if (name == "BM_FillRare")
            return std::string("BM_BareContainsRare");
        if (name == "BM_FillCommon")
            return std::string("BM_BareContainsCommon");
        return std::string();
    });
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    g_window.reset();
    return 0;
}
