#pragma once
// The home page's connection section: the "Favorite games" strip, one card
// per favourite (a click opens the game, a cross shown on hover removes it),
// or, with no favourites, the "Ready to optimize?" empty state, which
// follows the language and mirrors for Persian.

#include "ui/widgets/WindowArea.h"

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QString>

class GamesBoardState;
class ImageCache;
class QLabel;
class QPushButton;
class QScrollArea;
class QToolButton;
class QWidget;
struct HomeFavoriteItem;

class HomeFavorites : public QObject, public WindowArea
{
    Q_OBJECT
public:
    struct Hosts
    {
        QWidget *section = nullptr;     // "ConnectionsSection"
        QWidget *wrap = nullptr;        // "HomeFavWrap"
        QWidget *cardsHost = nullptr;   // "HomeFavCardsHost"
        QLabel *rocket = nullptr;       // "HomeReadyRocket"
        QLabel *title = nullptr;        // "HomeReadyTitle"
        QLabel *hint = nullptr;         // "HomeReadySub"
        QPushButton *addGame = nullptr; // "HomeAddGameBtn"
        QLabel *stripTitle = nullptr;   // "HomeFavTitle"; may be null
        QScrollArea *scroll = nullptr;  // "HomeFavScroll", the host's area; may be null
    };
    static constexpr int kCardWidth = 290;
    static constexpr int kCardHeight = 82;
    static constexpr int kHostWidth = 600;
    static constexpr int kRowPitch = 102;

    // The width the cards have beside the area's scroll bar, when the rows
    // need it: the second column ends at its right edge.
    static int viewportWidth(QScrollArea *scroll, int hostHeight);

    // Builds the cards once. hoverFilter (may be null) shows a card's cross
    // while the pointer is over it.
    HomeFavorites(const Hosts &hosts, GamesBoardState *state, ImageCache *images,
                  const QString &persianFontFamily, QObject *hoverFilter, QObject *parent);

    QList<QWidget *> cards() const;
    static QPixmap removeIcon();

    // The empty state's texts, fonts and placement, and the strip's heading,
    // for the language.
    void place(bool persian) override;
    void retranslateHomeEmptyState(const QString &languageCode);
    void retranslateStripTitle(bool persian);

signals:
    void gameOpened(const QString &title, const QString &logo, const QString &category);

public slots:
    void rebuildHomeFavorites();

private:
    void scheduleRebuild();
    void addCard(const HomeFavoriteItem &item, const QPoint &place);
    void removeHomeFavorite(const HomeFavoriteItem &item);
    void openGame(const QString &title, const QString &logo, const QString &platform);

    QPointer<QWidget> m_section;
    QPointer<QWidget> m_wrap;
    QPointer<QWidget> m_host;
    QPointer<QScrollArea> m_scroll;
    QPointer<QLabel> m_stripTitle;
    QPointer<QLabel> m_rocket;
    QPointer<QLabel> m_title;
    QPointer<QLabel> m_hint;
    QPointer<QPushButton> m_addGame;
    QPointer<GamesBoardState> m_state;
    QPointer<ImageCache> m_images;
    QString m_persianFamily;
    QPointer<QObject> m_hoverFilter;
    bool m_rebuildPending = false;
};
