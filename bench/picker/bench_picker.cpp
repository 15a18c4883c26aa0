// One keystroke of the server picker's search over 500 cached relays: the
// search field's text changes, every active relay is read from the cache
// database, matched by name, city, region and country, ordered by ping and
// laid out as rows with their flags. The baseline is the bare part of that
// work: a plain SQLite select of the active relays over the same database
// file and the same substring filter. Both run in the same process; the run
// prints each figure's ratio to the baseline.

#include "bench/support/RatioReporter.h"
#include "connection/RelayChoice.h"
#include "storage/DatabaseManager.h"
#include "ui/pages/servers/ServerPicker.h"
#include "ui/pages/servers/ServerRegionPage.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QWidget>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

namespace {

constexpr int kRelays = 500;

std::unique_ptr<QWidget> g_root;
QLineEdit *g_edit = nullptr;
QWidget *g_serversPage = nullptr;
QString g_dbPath;

const char *const kRegions[] = {"Europe",      "Asia",   "North America", "South America", "Oceania",
                                "Middle East", "Africa", "Central Asia",  "East Asia",     "West Europe"};
const char *const kCodes[] = {"DE", "JP", "US", "BR", "AU", "AE", "ZA", "KZ", "KR", "FR"};

QList<QVariantMap> makeRelays()
{
    QList<QVariantMap> relays;
    for (int i = 0; i < kRelays; ++i) {
        relays << QVariantMap{{"id", QString("relay-%1").arg(i)},
                              {"name", QString("Relay %1").arg(i, 3, 10, QLatin1Char('0'))},
                              {"ip_address", QString("10.0.%1.%2").arg(i / 250).arg(i % 250)},
                              {"port", 50000},
                              {"region", kRegions[i % 10]},
                              {"country", QString("Country %1").arg(i % 10)},
                              {"country_code", kCodes[i % 10]},
                              {"city", QString("City %1").arg(i)},
                              {"status", "active"}};
    }
    return relays;
}

// The bare select and filter the search's own work contains.
int bareMatches(const QString &term)
{
    QSqlDatabase db = QSqlDatabase::database(QStringLiteral("bench-bare"));
    QSqlQuery q(db);
    q.setForwardOnly(true);
    q.exec(QStringLiteral(
        "SELECT name, city, region, country FROM servers WHERE "
        "lower(trim(ifnull(status,''))) = 'active' ORDER BY trim(region) COLLATE NOCASE, name"));
    int matches = 0;
    while (q.next()) {
        const QString text =
            (q.value(0).toString() + QLatin1Char(' ') + q.value(1).toString() + QLatin1Char(' ') +
             q.value(2).toString() + QLatin1Char(' ') + q.value(3).toString())
                .trimmed()
                .toLower();
        matches += text.contains(term);
    }
    return matches;
}

int shownRows()
{
    return int(
        g_serversPage->findChildren<QWidget *>(QStringLiteral("SrvServerRow"), Qt::FindDirectChildrenOnly)
            .size());
}

// One keystroke: the text alternates between two spellings of one term (the
// trailing blank is trimmed away), so every iteration runs a full search.
int g_keystrokes = 0;
void keystroke(const QString &term, int expected)
{
    g_edit->setText(++g_keystrokes % 2 ? term : term + QLatin1Char(' '));
    if (shownRows() != expected)
        std::abort();
}

// Matched by one relay only: the whole table is read and filtered.
const QString kRare = QStringLiteral("relay 499");
// Matched by every relay: 500 rows are built.
const QString kCommon = QStringLiteral("relay");

void BM_BareSelectRare(benchmark::State &state)
{
    for (auto _ : state) {
        if (bareMatches(kRare) != 1)
            std::abort();
    }
}

void BM_SearchRare(benchmark::State &state)
{
    for (auto _ : state)
        keystroke(kRare, 1);
}

void BM_BareSelectCommon(benchmark::State &state)
{
    for (auto _ : state) {
        if (bareMatches(kCommon) != kRelays)
            std::abort();
    }
}

void BM_SearchCommon(benchmark::State &state)
{
    for (auto _ : state)
        keystroke(kCommon, kRelays);
}

// Typing on and deleting back: the list alternates between every relay and
// the hundred whose names begin "Relay 4".
void BM_SearchNarrowWiden(benchmark::State &state)
{
    const QString narrow = QStringLiteral("relay 4");
    for (auto _ : state) {
        const bool wide = ++g_keystrokes % 2;
        g_edit->setText(wide ? kCommon : narrow);
        if (shownRows() != (wide ? kRelays : 100))
            std::abort();
    }
}

// The first list of every relay on a page of its own: the page and its
// picker are made, then the search makes all 500 rows.
void BM_FirstSearchCommon(benchmark::State &state)
{
    for (auto _ : state) {
        QWidget root;
        root.resize(1440, 810);
        auto *page = new ServerRegionPage(&root, 1440, &root);
        ServerPicker::Sources sources = ServerPicker::Sources::defaults();
        sources.store = nullptr;
        new ServerPicker(page->pickerWidgets(), sources, &root);
        page->pickerWidgets().searchEdit->setText(kCommon);
        if (page->pickerWidgets()
                .serversPage->findChildren<QWidget *>(QStringLiteral("SrvServerRow"))
                .size() != kRelays)
            std::abort();
    }
}

} // namespace

BENCHMARK(BM_BareSelectRare)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_SearchRare)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_BareSelectCommon)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_SearchCommon)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_SearchNarrowWiden)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_FirstSearchCommon)->Unit(benchmark::kMicrosecond)->UseRealTime();

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_LOGGING_RULES", "*.info=false;*.debug=false");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    qputenv("XDG_DATA_HOME", dir.path().toUtf8());
    if (!DatabaseManager::instance()->initialize(dir.path()) ||
        !DatabaseManager::instance()->replaceServersCache(makeRelays()))
        return 1;
    QSqlDatabase bare = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bench-bare"));
    bare.setDatabaseName(dir.path() + QStringLiteral("/quorlix_cache.db"));
    if (!bare.open() || bareMatches(kCommon) != kRelays)
        return 1;

    g_root = std::make_unique<QWidget>();
    g_root->resize(1440, 810);
    auto *page = new ServerRegionPage(g_root.get(), 1440, g_root.get());
    // The client's sources: the cache database, the (missing) ping file and
    // the bundled flags; picks go nowhere here.
    ServerPicker::Sources sources = ServerPicker::Sources::defaults();
    sources.store = nullptr;
    new ServerPicker(page->pickerWidgets(), sources, g_root.get());
    g_edit = page->pickerWidgets().searchEdit;
    g_serversPage = page->pickerWidgets().serversPage;

    benchmark::Initialize(&argc, argv);
    char heading[160];
    std::snprintf(heading, sizeof heading,
                  "%d relays; ratios to the bare select and filter with the same term:", kRelays);
    RatioReporter reporter(heading, [](const std::string &name) {
        if (name == "BM_SearchRare")
            return std::string("BM_BareSelectRare");
        if (name == "BM_SearchCommon" || name == "BM_SearchNarrowWiden" || name == "BM_FirstSearchCommon")
            return std::string("BM_BareSelectCommon");
        return std::string();
    });
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    g_root.reset();
    return 0;
}
