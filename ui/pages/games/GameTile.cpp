#include "ui/pages/games/GameTile.h"

#include "i18n/Language.h"
#include "services/GamePlatform.h"
#include "ui/pages/games/GamesBoardState.h"
#include "ui/pages/games/ImageCache.h"
#include "ui/widgets/HoverPartner.h"
#include "ui/widgets/Palette.h"

#include <QFont>
#include <QFontMetrics>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

namespace {

constexpr int kHeartSize = 22;
constexpr int kBarHeight = 6;
constexpr int kBarMargin = 10;

QPainterPath heartPath(int size)
{
    const qreal s = size < 9 ? 8 : size;
    auto p = [s](qreal x, qreal y) { return QPointF(x * s, y * s); };
    QPainterPath path(p(0.5, 0.9));
    path.cubicTo(p(0.18, 0.72), p(0.06, 0.48), p(0.18, 0.3));
    path.cubicTo(p(0.28, 0.15), p(0.44, 0.18), p(0.5, 0.3));
    path.cubicTo(p(0.56, 0.18), p(0.72, 0.15), p(0.82, 0.3));
    path.cubicTo(p(0.94, 0.48), p(0.82, 0.72), p(0.5, 0.9));
    return path;
}

QPen roundPen(const QColor &color, qreal width)
{
    return QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

QFont interFont(int px, int weight)
{
    QFont font(QStringLiteral("Inter"));
    font.setPixelSize(px);
    font.setWeight(QFont::Weight(weight));
    return font;
}

const QPixmap &outlineHeart()
{
    static const QPixmap heart = GameTile::paintHeartOutlineIcon(kHeartSize, QColor(255, 255, 255, 235), 2);
    return heart;
}

const QPixmap &filledHeart()
{
    static const QPixmap heart =
        GameTile::paintHeartFilledIcon(kHeartSize, QColor(255, 59, 59, 235), QColor(255, 255, 255, 210), 1);
    return heart;
}

const QPixmap &clockPixmap()
{
    static const QPixmap clock = [] {
        const QPixmap raw(QStringLiteral(":/icons/clock 1.png"));
        return raw.isNull() ? raw : raw.scaled(16, 16, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }();
    return clock;
}

} // namespace

QPixmap GameTile::paintHeartOutlineIcon(int size, const QColor &color, int width)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const QPainterPath path = heartPath(size);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(roundPen(QColor(0, 0, 0, 140), std::max(width + 1, 1)));
    painter.drawPath(path.translated(0, 0.8));
    painter.setPen(roundPen(color, width));
    painter.drawPath(path);
    return pixmap;
}

QPixmap GameTile::paintHeartFilledIcon(int size, const QColor &fill, const QColor &outline, int width)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const QPainterPath path = heartPath(size);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 120));
    painter.drawPath(path.translated(0, 0.8));
    painter.setBrush(fill);
    painter.drawPath(path);
    if (width > 0) {
        painter.setBrush(Qt::NoBrush);
        painter.setPen(roundPen(outline, width));
        painter.drawPath(path);
    }
    return pixmap;
}

bool GameTile::showsDaysLeft(bool isFree, int freeDaysLeft, const QString &freeSource)
{
    return isFree && freeDaysLeft >= 0 && freeSource != QLatin1String("global");
}

GameTile::GameTile(const GameTileData &data, GamesBoardState *state, ImageCache *images,
                   const GameTileTimings &timings, QObject *hoverFilter, QWidget *content)
    : QWidget(content), m_data(data), m_state(state), m_timings(timings)
{
    setObjectName(QStringLiteral("GamesTile"));
    setAttribute(Qt::WA_StyledBackground, true);
    setStyleSheet(QStringLiteral("background: transparent;"));
    setCursor(Qt::PointingHandCursor);
    resize(kWidth, kHeight);

    m_image = new QLabel(this);
    m_image->setObjectName(QStringLiteral("GamesTileImage"));
    m_image->setGeometry(0, 0, kWidth, kCoverHeight);
    m_image->setStyleSheet(QStringLiteral("background: transparent;"));

    m_track = new QWidget(m_image);
    m_track->setObjectName(QStringLiteral("GamesTileClickProgressTrack"));
    m_track->setAttribute(Qt::WA_StyledBackground, true);
    m_track->setGeometry(kBarMargin, kCoverHeight - 16, kWidth - 2 * kBarMargin, kBarHeight);
    m_track->setStyleSheet(QStringLiteral("background: rgba(255,255,255,0.16);border-radius: 3px;"));
    m_track->hide();

    m_fill = new QWidget(m_track);
    m_fill->setObjectName(QStringLiteral("GamesTileClickProgressFill"));
    m_fill->setAttribute(Qt::WA_StyledBackground, true);
    m_fill->setGeometry(0, 0, 0, kBarHeight);
    m_fill->setStyleSheet(QStringLiteral("background: " QX_ACCENT ";border-radius: 3px;"));

    m_heart = new QToolButton(this);
    m_heart->setObjectName(QStringLiteral("GamesTileFav"));
    m_heart->setCursor(Qt::PointingHandCursor);
    m_heart->setCheckable(true);
    m_heart->setAutoRaise(true);
    m_heart->setFocusPolicy(Qt::NoFocus);
    m_heart->setStyleSheet(
        QStringLiteral("QToolButton#GamesTileFav{background: transparent;border: none;padding: 0px;}"));
    m_heart->setIconSize(QSize(kHeartSize, kHeartSize));
    m_heart->setGeometry(kWidth - 32, 10, kHeartSize, kHeartSize);
    m_heart->hide();

    m_title = new QLabel(this);
    m_title->setObjectName(QStringLiteral("GamesTileTitle"));
    m_title->setGeometry(0, kCoverHeight + 10, kWidth, 20);
    const QFont titleFont = interFont(14, 600);
    m_title->setFont(titleFont);
    m_title->setStyleSheet(QStringLiteral("color: " QX_WHITE ";background: transparent;font-family: Inter;"
                                          "font-size: 14px;font-weight: 600;"));
    m_title->setAlignment(Qt::AlignLeft | Qt::AlignAbsolute | Qt::AlignVCenter);
    m_title->setText(QFontMetrics(titleFont).elidedText(data.title, Qt::ElideRight, kWidth));

    m_tag = new QLabel(Language::objectText("Free"), this);
    m_tag->setObjectName(QStringLiteral("GamesTileTag"));
    m_tag->setGeometry(0, kCoverHeight + 40, 42, 24);
    m_tag->setFont(interFont(12, 500));
    m_tag->setAlignment(Qt::AlignCenter);
    m_tag->setStyleSheet(QStringLiteral("background-color: " QX_ACCENT
                                        ";border-radius: 6px;color: " QX_BACKGROUND ";"
                                        "font-family: Inter;font-size: 12px;font-weight: 500;"));
    m_tag->setVisible(data.isFree);

    const int clockX = 42 + 27;
    const int clockY = kCoverHeight + 40 + (24 - 16) / 2;
    const bool showDays = showsDaysLeft(data.isFree, data.freeDaysLeft, data.freeSource);
    m_clock = new QLabel(this);
    m_clock->setObjectName(QStringLiteral("GamesTileClockIcon"));
    m_clock->setGeometry(clockX, clockY, 16, 16);
    m_clock->setStyleSheet(QStringLiteral("background: transparent;"));
    if (!clockPixmap().isNull())
        m_clock->setPixmap(clockPixmap());
    m_clock->setVisible(showDays);

    m_timeLeft = new QLabel(this);
    m_timeLeft->setObjectName(QStringLiteral("GamesTileTimeLeft"));
    m_timeLeft->setGeometry(clockX + 20, clockY, std::max(0, kWidth - clockX - 20), 16);
    m_timeLeft->setFont(interFont(12, 500));
    m_timeLeft->setStyleSheet(QStringLiteral("color: " QX_MUTED ";background: transparent;font-family: Inter;"
                                             "font-size: 12px;font-weight: 500;"));
    m_timeLeft->setAlignment(Qt::AlignLeft | Qt::AlignAbsolute | Qt::AlignVCenter);
    if (showDays) {
        m_timeLeft->setText(Language::objectText("%1 days left").arg(std::max(0, data.freeDaysLeft)));
    }
    m_timeLeft->setVisible(showDays);

    m_hit = new QPushButton(this);
    m_hit->setObjectName(QStringLiteral("GamesTileHit"));
    m_hit->setGeometry(0, 0, kWidth, kHeight);
    m_hit->setCursor(Qt::PointingHandCursor);
    m_hit->setFlat(true);
    m_hit->setFocusPolicy(Qt::NoFocus);
    m_hit->setStyleSheet(QStringLiteral("background: transparent; border: none;"));
    m_hit->raise();
    m_heart->raise();

    const QPixmap placeholder = images ? images->coverPlaceholder() : QPixmap();
    if (!placeholder.isNull())
        m_image->setPixmap(placeholder);
    if (images)
        images->loadGameCover(m_image, data.cover);

    if (hoverFilter) {
        HoverPartner::set(m_hit, HoverPartner::kGamesFavOverlay, m_heart);
        m_hit->installEventFilter(hoverFilter);
        // The heart lies over the hit area: leaving it for the outside must
        // hide it too.
        HoverPartner::set(m_heart, HoverPartner::kGamesFavOverlay, m_heart);
        m_heart->installEventFilter(hoverFilter);
    }

    m_platform = m_state ? m_state->platform() : GamesBoardState::platformName(true);
    const bool checked = m_state && m_state->isFavorite(data.title, m_platform);
    m_heart->blockSignals(true);
    m_heart->setChecked(checked);
    m_heart->blockSignals(false);
    setHeartIcon(checked);

    connect(m_heart, &QToolButton::toggled, this, &GameTile::toggleFavoriteGame);
    connect(m_hit, &QPushButton::clicked, this, &GameTile::onGameTileClicked);
}

void GameTile::setHeartIcon(bool checked)
{
    const QPixmap &icon = checked ? filledHeart() : outlineHeart();
    if (icon.isNull())
        return;
    m_heart->setIcon(QIcon(icon));
    m_heart->setIconSize(QSize(kHeartSize, kHeartSize));
}

void GameTile::toggleFavoriteGame(bool checked)
{
    setHeartIcon(checked);
    if (m_state)
        m_state->setFavorite(m_data.title, m_platform, m_data.logo, checked);
}

void GameTile::onGameTileClicked()
{
    if (m_navInProgress)
        return;
    m_navInProgress = true;
    m_hit->setProperty("qxNavInProgress", true);
    m_hit->setEnabled(false);

    if (m_state)
        m_state->recordClick(m_data.id, m_data.title, m_platform);

    if (!GamePlatform::isConsolePlatform(m_data.category)) {
        m_hit->setEnabled(true);
        m_navInProgress = false;
        m_hit->setProperty("qxNavInProgress", false);
        emit openRequested(m_data.title, m_data.logo, m_data.category);
        return;
    }

    m_track->show();
    m_track->raise();
    m_fill->raise();
    m_fill->setGeometry(0, 0, 0, kBarHeight);
    auto *animation = new QPropertyAnimation(m_fill, "geometry", m_fill);
    animation->setDuration(m_timings.consoleBarMs);
    animation->setEasingCurve(QEasingCurve::InOutQuad);
    animation->setStartValue(QRect(0, 0, 0, kBarHeight));
    animation->setEndValue(QRect(0, 0, m_track->width(), kBarHeight));
    QTimer::singleShot(m_timings.consoleOpenMs, this, &GameTile::finishTileClickAnimation);
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void GameTile::finishTileClickAnimation()
{
    // The bar and the opening run on two clocks; on a busy machine the open
    // can come before the bar's last frame. The bar always ends full.
    for (auto *animation : m_fill->findChildren<QPropertyAnimation *>(Qt::FindDirectChildrenOnly))
        animation->stop();
    m_fill->setGeometry(0, 0, m_track->width(), kBarHeight);
    m_track->hide();
    m_hit->setEnabled(true);
    m_navInProgress = false;
    m_hit->setProperty("qxNavInProgress", false);
    emit openRequested(m_data.title, m_data.logo, m_data.category);
}
