// One render of the games grid (clear the old tiles, filter, order, build at
// most 70 tiles) for catalogues of 100, 1,000 and 10,000 entries with every
// shown cover already in the pixmap cache. The grid never shows more than 70
// tiles, so the list's size should barely show: the 100-entry render is the
// baseline and the run prints each figure's ratio to it. The counter
// "widgets" is the tile area's widget count after the render.

#include "bench/support/RatioReporter.h"
#include "services/GamesCatalogue.h"
#include "ui/pages/games/GamesBoardState.h"
#include "ui/pages/games/GamesGrid.h"
#include "ui/pages/games/ImageCache.h"

#include <QApplication>
#include <QLabel>
#include <QPixmapCache>
#include <QScrollArea>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <string>

namespace {

QString coverUrl(int i)
{
    return QStringLiteral("http://127.0.0.1:9/uploads/covers/%1.png").arg(i);
}

QList<GameApiItem> catalogue(int count)
{
    QList<GameApiItem> out;
    for (int i = 0; i < count; ++i) {
        GameApiItem item;
        item.id = QString::number(i);
        item.title = QStringLiteral("Game number %1").arg(i);
        item.cover = coverUrl(i);
        item.category = i % 5 == 0 ? QStringLiteral("PlayStation 5") : QStringLiteral("PC");
        item.type = i % 3 == 0 ? QStringLiteral("Launcher") : QStringLiteral("Shooter");
        item.tags = QStringList{QStringLiteral("fps"), QStringLiteral("multiplayer")};
        item.isFree = i % 7 == 0;
        item.freeDaysLeft = item.isFree ? 5 : -1;
        out << item;
    }
    return out;
}

void renderGrid(benchmark::State &state)
{
    const int count = int(state.range(0));
    QTemporaryDir dir;
    ImageCache images(ServiceConfig(), dir.path(), nullptr, nullptr, 30000);
    // The shown covers (the first 70 PC entries lie within the first 100) in memory.
    QImage cover(160, 239, QImage::Format_ARGB32_Premultiplied);
    cover.fill(Qt::darkCyan);
    const QPixmap rounded =
        ImageCache::roundedCoverPixmap(cover, ImageCache::kCoverSize, ImageCache::kCoverRadius);
    for (int i = 0; i < 100; ++i)
        QPixmapCache::insert(QStringLiteral("GamesCover:%1:160x239:r12").arg(coverUrl(i)), rounded);

    QWidget section;
    section.resize(1298, 635);
    auto *scroll = new QScrollArea(&section);
    scroll->setGeometry(0, 90, 1298, 525);
    scroll->setWidgetResizable(true);
    auto *content = new QWidget;
    scroll->setWidget(content);
    auto *message = new QLabel(content);
    auto catalogueState = std::make_shared<CatalogueState>();
    *catalogueState->items = catalogue(count);
    catalogueState->catalogueLoaded = true;
    GamesBoardState board(nullptr);
    GamesGrid grid({&section, scroll, content, message}, catalogueState, &board, &images, GameTileTimings{},
                   nullptr, nullptr);
    section.show();

    for (auto _ : state)
        grid.renderGamesGrid(*catalogueState->items);
    state.counters["widgets"] = double(content->findChildren<QWidget *>().size());
    state.counters["tiles"] = double(grid.tiles().size());
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    for (int count : {100, 1000, 10000}) {
        benchmark::RegisterBenchmark(("BM_Render" + std::to_string(count)).c_str(), renderGrid)
            ->Arg(count)
            ->Unit(benchmark::kMillisecond)
            ->MinTime(0.5);
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter("Ratio to the 100-entry render (median)", [](const std::string &name) {
        return name == "BM_Render100" ? std::string() : std::string("BM_Render100");
    });
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
