#pragma once
// One tile of the games grid: cover, title, "Free" tag with the days left,
// a heart that marks the game as a favourite, and a click area over it all.
// A PC game opens at once; a console game after a bar has filled across the
// cover. The pending opening dies with the tile, so a re-render cancels it.

#include <QPixmap>
#include <QPointer>
#include <QString>
#include <QWidget>

class GamesBoardState;
class ImageCache;
class QLabel;
class QPushButton;
class QToolButton;

struct GameTileData
{
    QString id;
    QString title;
    QString cover;
    QString logo;
    QString category;
    bool isFree = false;
    int freeDaysLeft = -1;
    QString freeSource;
};

// The console bar's fill time and the delay before the game opens.
struct GameTileTimings
{
    int consoleBarMs = 3000;
    int consoleOpenMs = 3020;
};

class GameTile : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kWidth = 160;
    static constexpr int kHeight = 305;
    static constexpr int kCoverHeight = 239;

    // Whether the days-left line shows, and its number.
    static bool showsDaysLeft(bool isFree, int freeDaysLeft, const QString &freeSource);
    static QPixmap paintHeartOutlineIcon(int size, const QColor &color, int width);
    static QPixmap paintHeartFilledIcon(int size, const QColor &fill, const QColor &outline, int width);

    // state and images are not owned; hoverFilter (may be null) shows the
    // heart while the pointer is over the tile.
    GameTile(const GameTileData &data, GamesBoardState *state, ImageCache *images,
             const GameTileTimings &timings, QObject *hoverFilter, QWidget *content);

    QLabel *image() const { return m_image; }
    QLabel *titleLabel() const { return m_title; }
    QLabel *tag() const { return m_tag; }
    QLabel *clockIcon() const { return m_clock; }
    QLabel *timeLeft() const { return m_timeLeft; }
    QToolButton *heart() const { return m_heart; }
    QPushButton *hit() const { return m_hit; }
    QWidget *progressTrack() const { return m_track; }
    QWidget *progressFill() const { return m_fill; }
    const GameTileData &data() const { return m_data; }

signals:
    void openRequested(const QString &title, const QString &logo, const QString &category);

public slots:
    void toggleFavoriteGame(bool checked);
    void onGameTileClicked();

private:
    void finishTileClickAnimation();
    void setHeartIcon(bool checked);

    GameTileData m_data;
    QPointer<GamesBoardState> m_state;
    GameTileTimings m_timings;
    QLabel *m_image = nullptr;
    QWidget *m_track = nullptr;
    QWidget *m_fill = nullptr;
    QToolButton *m_heart = nullptr;
    QLabel *m_title = nullptr;
    QLabel *m_tag = nullptr;
    QLabel *m_clock = nullptr;
    QLabel *m_timeLeft = nullptr;
    QPushButton *m_hit = nullptr;
    QString m_platform; // the grid's platform when the tile was made
    bool m_navInProgress = false;
};
