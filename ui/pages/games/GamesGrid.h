#pragma once
// Fills the Games section's tile area from the catalogue: the entries of the
// chosen platform and category, the platform's most-clicked games in the
// first row, at most 70 tiles, and a message when nothing matches. The grid
// is rebuilt from scratch on every render; the hosting widgets belong to the
// Games section and may go away first, which turns every call into a no-op.

#include "services/GamesCatalogue.h"
#include "ui/pages/games/GameTile.h"
#include "ui/pages/games/ImageCache.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

class GamesBoardState;
class ImageCache;
class QLabel;
class QScrollArea;

class GamesGrid : public QObject
{
    Q_OBJECT
public:
    struct Hosts
    {
        QWidget *section = nullptr;    // "GamesSection": its size sets columns and height
        QScrollArea *scroll = nullptr; // "GamesTilesScroll"
        QWidget *content = nullptr;    // "GamesTilesContent", the tiles' parent
        QLabel *message = nullptr;     // "GamesLoadingLabel"
    };

    // catalogue holds the list and whether one was loaded; it marks the grid
    // rendered. hoverFilter (may be null) is installed on every tile.
    GamesGrid(const Hosts &hosts, std::shared_ptr<CatalogueState> catalogue, GamesBoardState *state,
              ImageCache *images, const GameTileTimings &timings, QObject *hoverFilter, QObject *parent);

    int columns() const { return m_columns; }
    QList<GameTile *> tiles() const;

    // The translated message for an empty grid.
    static QString emptyText(bool pcMode, int chipId);

    // Rows of tiles made per turn of the event loop: the rows the scroll
    // area shows come first, in the render itself, and the rest follow a
    // few milliseconds at a time, so the GUI thread is never held long.
    int rowsPerSlice() const { return m_rowsPerSlice; }
    // Tiles of the last render still to be made.
    bool isFilling() const { return m_nextTile < m_pending.size(); }

signals:
    void gameOpened(const QString &title, const QString &logo, const QString &category);
    // The render's first rows are there (the rest may follow: filled).
    void rendered();
    // Every tile of the last render is there.
    void filled();

public slots:
    void renderGamesGrid(const QList<GameApiItem> &items);
    // The catalogue's list as it stands (GamesCatalogue::renderRequested).
    void renderCatalogue();
    // A refreshed list shows at once only while the section is on screen
    // (GamesCatalogue::catalogueRefreshed).
    void renderIfShown();
    // The message label's text (GamesCatalogue::loadingTextChanged).
    void showMessage(const QString &text);
    // The catalogue when one was loaded, else "Loading...".
    void reloadGamesGrid();
    void clearGameTiles();
    // The platform toggle and the chips re-render.
    void setPcMode(bool pc);
    void selectGamesCategory(int chipId);

private:
    QPointer<QWidget> m_section;
    QPointer<QScrollArea> m_scroll;
    QPointer<QWidget> m_content;
    QPointer<QLabel> m_message;
    std::shared_ptr<CatalogueState> m_catalogue;
    QPointer<GamesBoardState> m_state;
    QPointer<ImageCache> m_images;
    GameTileTimings m_timings;
    QPointer<QObject> m_hoverFilter;
    int m_columns = 1;
    int m_minHeight = 0;
    int m_rowsPerSlice = 1;
    // The entries of the tiles the last render still has to make, in place
    // order; a clear or a new render starts a new run.
    QList<GameApiItem> m_pending;
    qsizetype m_nextTile = 0;
    quint64 m_run = 0;

    void makeTiles(quint64 run);
};
