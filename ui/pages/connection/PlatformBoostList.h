#pragma once
// The opened game's platform boost profiles on the connection page: one card
// per profile with an on/off switch stored in the application settings (a
// Steam profile is on until switched off), laid out in a box that shows
// three cards and scrolls beyond, with a thin scroll bar of its own. The
// connect flow reads the same switches with the same keys and defaults.

#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantMap>

#include <functional>

class QPushButton;
class QScrollArea;
class QVBoxLayout;
class QWidget;

// How the page finds a game's record; unset members mean no database.
struct GameLookup
{
    std::function<QString(const QString &name)> findGameIdByName;
    std::function<QVariantMap(const QString &id)> getGameById;

    // The cache database, when it is open.
    static GameLookup database();
};

class PlatformBoostList : public QObject
{
    Q_OBJECT
public:
    static constexpr int kCardHeight = 54;
    static constexpr int kTrackHeight = 157;

    struct Widgets
    {
        QScrollArea *scroll = nullptr;    // "PlatformBoostScroll"
        QWidget *content = nullptr;       // "PlatformBoostContent"
        QVBoxLayout *layout = nullptr;    // the content's layout
        QWidget *track = nullptr;         // "PlatformBoostScrollBarBg"
        QWidget *thumb = nullptr;         // "PlatformBoostScrollBarThumb"
        QPushButton *tapButton = nullptr; // "TapToConnectButton", placed under the list
    };

    PlatformBoostList(const Widgets &widgets, GameLookup games, QObject *parent);

    // Rebuilds the cards for the game of that title (none for an unknown
    // game, an empty title, no database or a record without "profiles").
    void build(const QString &gameTitle);

    int cardCount() const { return m_count; }

    // The card switch's look.
    static void styleSwitch(QWidget *track, QWidget *knob, bool on);
    // Where the thumb stands for a scroll bar value: halves away from zero,
    // 0 when the range is empty or reversed.
    static int thumbPosition(int minimum, int maximum, int value, int trackHeight, int thumbHeight);

public slots:
    // Places and shows, or hides, the list's scroll bar.
    void updateScrollBar(bool hasScroll, int count);
    // Moves the thumb to follow the list's scroll position.
    void syncThumb();

private:
    void clearCards();
    QWidget *makeCard(const QString &gameId, const QVariantMap &profile, const QPixmap &info);

    Widgets m_w;
    GameLookup m_games;
    int m_count = 0;
};
