#include "ui/pages/games/GamesGrid.h"

#include "i18n/Language.h"
#include "services/GamePlatform.h"
#include "services/GamesCatalogue.h"
#include "ui/pages/games/GamesBoardState.h"
#include "ui/pages/games/GamesGridRules.h"

#include <QLabel>
#include <QScrollArea>
#include <QTimer>

#include <algorithm>

using namespace GamesGridRules;

GamesGrid::GamesGrid(const Hosts &hosts, std::shared_ptr<CatalogueState> catalogue, GamesBoardState *state,
                     ImageCache *images, const GameTileTimings &timings, QObject *hoverFilter,
                     QObject *parent)
    : QObject(parent), m_section(hosts.section), m_scroll(hosts.scroll), m_content(hosts.content),
      m_message(hosts.message), m_catalogue(std::move(catalogue)), m_state(state), m_images(images),
      m_timings(timings), m_hoverFilter(hoverFilter)
{
    if (m_section) {
        m_columns = gridColumns(m_section->width());
        m_minHeight = m_section->height() - 110;
    }
    // The rows a full view of the tile area shows, and one partly shown.
    const int viewHeight = m_scroll ? m_scroll->height() : m_minHeight;
    m_rowsPerSlice = std::max(1, viewHeight / kRowPitch + 1);
}

QList<GameTile *> GamesGrid::tiles() const
{
    return m_content ? m_content->findChildren<GameTile *>(QString(), Qt::FindDirectChildrenOnly)
                     : QList<GameTile *>();
}

QString GamesGrid::emptyText(bool pcMode, int chipId)
{
    if (chipId <= 0 || chipId >= kChipCount) {
        return pcMode ? Language::objectText("No PC items found")
                      : Language::objectText("No Console items found");
    }
    return Language::objectText("No items found in %1").arg(Language::objectText(chipText(chipId)));
}

void GamesGrid::clearGameTiles()
{
    ++m_run;
    m_pending.clear();
    m_nextTile = 0;
    if (!m_content)
        return;
    // At once, not deferred: a render never shows two generations of tiles.
    for (GameTile *tile : tiles())
        delete tile;
}

void GamesGrid::renderGamesGrid(const QList<GameApiItem> &items)
{
    if (!m_content || !m_scroll)
        return;
    clearGameTiles();
    if (m_message)
        m_message->hide();

    const bool pcMode = m_state ? m_state->pcMode() : true;
    const QString category = m_state ? m_state->categoryKey() : QString();
    const QString platform = GamesBoardState::platformName(pcMode);

    QVector<int> filtered;
    QVector<int> clicks;
    for (int i = 0; i < items.size(); ++i) {
        const GameApiItem &entry = items.at(i);
        if (GamePlatform::isConsolePlatform(entry.category) == pcMode)
            continue;
        if (!category.isEmpty() && gameCategoryKey(entry) != category)
            continue;
        filtered.append(i);
        // Each entry's clicks are looked up once per render.
        clicks.append(m_state ? m_state->clicks(gameClickKey(entry.id, entry.title, platform)) : 0);
    }

    const QVector<int> order = orderByClicks(clicks, m_columns);
    const int count = std::min<int>(int(order.size()), kTileCap);
    const int sectionWidth = m_section ? m_section->width() : m_content->width();
    m_content->setMinimumSize(sectionWidth, contentHeight(count, m_columns, m_minHeight));

    m_pending.reserve(count);
    for (int i = 0; i < count; ++i)
        m_pending.append(items.at(filtered.at(order.at(i))));
    makeTiles(m_run);

    if (m_catalogue)
        m_catalogue->gridRendered = true;
    if (count == 0)
        showMessage(emptyText(pcMode, m_state ? m_state->categoryChip() : 0));
    emit rendered();
    if (!isFilling())
        emit filled();
}

void GamesGrid::makeTiles(quint64 run)
{
    if (run != m_run || !m_content || !m_scroll)
        return;
    const qsizetype end = std::min<qsizetype>(m_pending.size(), m_nextTile + m_rowsPerSlice * m_columns);
    for (; m_nextTile < end; ++m_nextTile) {
        const GameApiItem &entry = m_pending.at(m_nextTile);
        const GameTileData data{entry.id,       entry.title,  entry.cover,        entry.logo,
                                entry.category, entry.isFree, entry.freeDaysLeft, entry.freeSource};
        auto *tile = new GameTile(data, m_state, m_images, m_timings, m_hoverFilter, m_content);
        tile->move(tilePosition(int(m_nextTile), m_columns));
        tile->show();
        connect(tile, &GameTile::openRequested, this, &GamesGrid::gameOpened);
    }
    m_content->update();
    m_scroll->viewport()->update();
    if (m_nextTile < m_pending.size()) {
        QTimer::singleShot(0, this, [this, run]() {
            makeTiles(run);
            if (run == m_run && !isFilling())
                emit filled();
        });
        return;
    }
    m_pending.clear();
    m_nextTile = 0;
}

void GamesGrid::renderCatalogue()
{
    if (m_catalogue && m_catalogue->items)
        renderGamesGrid(*m_catalogue->items);
}

void GamesGrid::renderIfShown()
{
    if (m_section && m_section->isVisible())
        renderCatalogue();
}

void GamesGrid::showMessage(const QString &text)
{
    if (!m_message)
        return;
    m_message->setText(text);
    m_message->show();
    m_message->raise();
}

void GamesGrid::reloadGamesGrid()
{
    if (!m_content)
        return;
    if (m_catalogue && m_catalogue->catalogueLoaded && m_catalogue->items) {
        renderGamesGrid(*m_catalogue->items);
        return;
    }
    showMessage(Language::objectText("Loading..."));
}

void GamesGrid::setPcMode(bool pc)
{
    if (m_state)
        m_state->setPcMode(pc);
    reloadGamesGrid();
}

void GamesGrid::selectGamesCategory(int chipId)
{
    // An id outside the chips keeps the category and still re-renders.
    if (m_state)
        m_state->selectCategory(chipId);
    reloadGamesGrid();
}
