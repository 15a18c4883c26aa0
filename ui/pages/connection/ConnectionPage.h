#pragma once
// The connection page's header and left panel: back button, the game's icon
// and name, the glowing connect circle, the relay card (flag, name, "Auto" or
// "Manual"), the status and clock labels of a running connection, the
// platform boost list with its explanation dialog, and "Tap to connect".
// Texts and positions are set once here (the page keeps its left-to-right
// layout in every language); the connect state moves the widgets later
// through the accessors below.

#include "ui/pages/connection/PlatformBoostList.h"
#include "ui/widgets/WindowArea.h"

#include <QObject>
#include <QPixmap>
#include <QSize>

class QGraphicsDropShadowEffect;
class QGraphicsOpacityEffect;
class QLabel;
class QPropertyAnimation;
class QPushButton;
class QScrollArea;
class QVariantAnimation;
class QWidget;

class ConnectionPage : public QObject, public WindowArea
{
    Q_OBJECT
public:
    // The page's looks that the connect state switches between.
    static QString outerCircleIdleStyle();
    static QString outerCircleActiveStyle();
    static QString innerCircleIdleStyle();
    static QString innerCircleConnectedStyle();
    static QString tapButtonNormalStyle();
    static QString tapButtonConnectingStyle();
    static QString tapButtonDisconnectStyle();

    // Left-panel geometry the connect state moves the widgets between.
    static constexpr int kCircleX = 149;
    static constexpr int kOuterSize = 120;
    static constexpr int kInnerSize = 100;
    static constexpr int kInnerOffset = 10;
    static constexpr int kCircleTopIdle = 66;
    static constexpr int kCircleTopActive = 132;
    static constexpr int kTapBaseY = 518;
    static constexpr int kCardWidth = 299;

    ConnectionPage(QWidget *rootFrame, QWidget *leftPanel, const QSize &windowSize, GameLookup games,
                   QObject *parent);

    QWidget *header() const { return m_header; }
    QPushButton *backButton() const { return m_back; }
    QLabel *gameIcon() const { return m_gameIcon; }
    QLabel *gameTitle() const { return m_gameTitle; }
    QLabel *subtitle() const { return m_subtitle; }

    QWidget *outerCircle() const { return m_outerCircle; }
    QWidget *innerCircle() const { return m_innerCircle; }
    QVariantAnimation *pulseAnimation() const { return m_pulse; }
    QGraphicsDropShadowEffect *glow() const { return m_glow; }
    QPropertyAnimation *glowAnimation() const { return m_glowAnimation; }
    QLabel *powerIcon() const { return m_powerIcon; }
    // The power symbol in QX_SECONDARY (idle) and white (connected); null when
    // the picture does not load.
    const QPixmap &powerIdle() const { return m_powerIdle; }
    const QPixmap &powerConnected() const { return m_powerConnected; }
    QPushButton *circleButton() const { return m_circleButton; }

    QWidget *regionCard() const { return m_regionCard; }
    QGraphicsOpacityEffect *regionOpacity() const { return m_regionOpacity; }
    QLabel *regionFlag() const { return m_regionFlag; }
    QLabel *regionValue() const { return m_regionValue; }
    QLabel *regionMode() const { return m_regionMode; }
    QPushButton *regionClickArea() const { return m_regionClickArea; }

    QLabel *statusLabel() const { return m_statusLabel; }
    QLabel *timerLabel() const { return m_timerLabel; }

    QLabel *boostTitle() const { return m_boostTitle; }
    QPushButton *boostInfoButton() const { return m_boostInfo; }
    QWidget *boostOverlay() const { return m_boostOverlay; }
    QScrollArea *boostScroll() const { return m_boostScroll; }
    QWidget *boostTrack() const { return m_boostTrack; }
    PlatformBoostList *boostList() const { return m_boostList; }
    QPushButton *tapButton() const { return m_tapButton; }

public slots:
    // The relay card's mode label ("Auto", "Manual"), right-aligned before
    // the arrow; the relay name keeps to the room left of it.
    void showManualServerLabel(const QString &text);
    // Only the mode label's text (the automatic choice of a game's opened
    // page): it keeps the place of its last placement, at its text's width.
    void setModeText(const QString &text);
    // The relay's name on the card, as wide as its text up to the mode
    // label; a longer name ends in an ellipsis with the whole name as tooltip.
    void showRelayName(const QString &name);

public:
    // What the relay card shows, to show it again later.
    struct RelayCard
    {
        QString name;
        QString mode;
        QPixmap flag;
    };
    RelayCard relayCard() const;
    void showRelayCard(const RelayCard &card);
    // The boost explanation over the whole window.
    void showPlatformBoostInfo();
    void buildPlatformBoostSection(const QString &gameTitle);

signals:
    void backClicked();
    void serverRegionClicked();

private:
    void buildHeader(QWidget *rootFrame, int windowHeight);
    void buildCircle(QWidget *left);
    void buildRegionCard(QWidget *left);
    void buildBoostSection(QWidget *rootFrame, QWidget *left, const QSize &windowSize, GameLookup games);

    QWidget *m_header = nullptr;
    QPushButton *m_back = nullptr;
    QLabel *m_gameIcon = nullptr;
    QLabel *m_subtitle = nullptr;
    QLabel *m_gameTitle = nullptr;
    QWidget *m_outerCircle = nullptr;
    QWidget *m_innerCircle = nullptr;
    QVariantAnimation *m_pulse = nullptr;
    QGraphicsDropShadowEffect *m_glow = nullptr;
    QPropertyAnimation *m_glowAnimation = nullptr;
    QLabel *m_powerIcon = nullptr;
    QPixmap m_powerIdle;
    QPixmap m_powerConnected;
    QPushButton *m_circleButton = nullptr;
    QWidget *m_regionCard = nullptr;
    QGraphicsOpacityEffect *m_regionOpacity = nullptr;
    QLabel *m_regionFlag = nullptr;
    QLabel *m_regionValue = nullptr;
    QString m_relayName;
    QLabel *m_regionMode = nullptr;
    QLabel *m_regionArrow = nullptr;
    QPushButton *m_regionClickArea = nullptr;
    QLabel *m_statusLabel = nullptr;
    QLabel *m_timerLabel = nullptr;
    QLabel *m_boostTitle = nullptr;
    QPushButton *m_boostInfo = nullptr;
    QWidget *m_boostOverlay = nullptr;
    QScrollArea *m_boostScroll = nullptr;
    QWidget *m_boostTrack = nullptr;
    PlatformBoostList *m_boostList = nullptr;
    QPushButton *m_tapButton = nullptr;
};
