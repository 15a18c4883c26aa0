#pragma once
// The Games section: its frame below the "Games" title, the PC/Console
// toggle, the category chips and the scrolling grid of game tiles, with the
// line that says "Loading..." or "Failed to load games". Texts are
// translated once, when the section is built; it is not mirrored.

#include "services/GamesCatalogue.h"
#include "ui/pages/games/GameTile.h"

#include <QList>
#include <QObject>
#include <QString>

#include <memory>

class GamesBoardState;
class GamesGrid;
class ImageCache;
class QButtonGroup;
class QLabel;
class QPushButton;
class QScrollArea;
class QWidget;

class GamesSection : public QObject
{
    Q_OBJECT
public:
    static constexpr int kChipsX = 542;
    static constexpr int kChipGap = 10;

    struct Setup
    {
        int gamesTitleHeight = 39; // the frame lies 114 px below the title's top
        int windowHeight = 810;
        std::shared_ptr<CatalogueState> catalogue;
        GamesBoardState *board = nullptr;
        ImageCache *images = nullptr;
        GameTileTimings timings;
        QObject *hoverFilter = nullptr;
    };

    GamesSection(QWidget *rootFrame, const Setup &setup, QObject *parent);

    QWidget *wrap() const { return m_wrap; }
    QWidget *section() const { return m_section; }
    QPushButton *pcButton() const { return m_pcButton; }
    QPushButton *consoleButton() const { return m_consoleButton; }
    QWidget *chipsWrap() const { return m_chipsWrap; }
    QButtonGroup *chips() const { return m_chips; }
    QScrollArea *tilesScroll() const { return m_scroll; }
    QLabel *loadingLabel() const { return m_loading; }
    GamesGrid *grid() const { return m_grid; }

    // Where the chip row starts for a section width and the row's width.
    static int chipsX(int sectionWidth, int totalWidth);
    // Widths of the chips for their texts in the chips' font (the "All" chip
    // at least 58 wide).
    static QList<int> chipWidths(const QStringList &texts, const QString &allText);

    // The active look on the chosen platform's button; it does not re-render.
    void styleGamesPlatformToggle(bool pcActive);
    bool isShown() const;

signals:
    void gameOpened(const QString &title, const QString &logo, const QString &category);

public slots:
    void renderGamesGrid();
    void reloadGamesGrid();
    void showLoadingText(const QString &text);

private:
    void buildChips();

    std::shared_ptr<CatalogueState> m_catalogue;
    GamesBoardState *m_board;
    QWidget *m_wrap = nullptr;
    QWidget *m_section = nullptr;
    QPushButton *m_consoleButton = nullptr;
    QPushButton *m_pcButton = nullptr;
    QWidget *m_chipsWrap = nullptr;
    QButtonGroup *m_chips = nullptr;
    QScrollArea *m_scroll = nullptr;
    QLabel *m_loading = nullptr;
    GamesGrid *m_grid = nullptr;
};
