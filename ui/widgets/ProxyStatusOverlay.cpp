#include "ui/widgets/ProxyStatusOverlay.h"

#include <QConicalGradient>
#include <QGraphicsBlurEffect>
#include <QGraphicsDropShadowEffect>
#include <QGraphicsOpacityEffect>
#include <QGraphicsPixmapItem>
#include <QGraphicsScene>
#include <QLabel>
#include <QPainter>
#include <QPropertyAnimation>
#include <QTimer>
#include <QVBoxLayout>

namespace {
constexpr int kFadeMs = 300;
constexpr int kRotationMs = 1500;
constexpr int kRepaintMs = 16;
constexpr double kBytesPerMegabyte = 1048576.0;
} // namespace

ProxyStatusOverlay::ProxyStatusOverlay(QWidget *parent) : QWidget(parent)
{
    // The overlay swallows the clicks meant for the widgets beneath it.
    setAttribute(Qt::WA_TransparentForMouseEvents, false);
    setAttribute(Qt::WA_StyledBackground, true);
    setAttribute(Qt::WA_TranslucentBackground, true);
    setObjectName(QStringLiteral("ProxyStatusOverlay"));
    setWindowFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);

    m_opacity = new QGraphicsOpacityEffect(this);
    m_opacity->setOpacity(0.0);
    setGraphicsEffect(m_opacity);

    auto *layout = new QVBoxLayout(this);
    layout->setAlignment(Qt::AlignCenter);

    m_spinnerLabel = new QLabel(this);
    m_spinnerLabel->setFixedSize(80, 80);
    m_spinnerLabel->setAlignment(Qt::AlignCenter);
    m_spinnerLabel->setStyleSheet(QStringLiteral("background: transparent;"));
    m_spinnerLabel->setProperty("rotation", 0);

    m_titleLabel = new QLabel(QStringLiteral("Stopping Proxy"), this);
    m_titleLabel->setObjectName(QStringLiteral("ProxyStatusTitle"));
    m_titleLabel->setAlignment(Qt::AlignCenter);
    // Style sheets have no text shadow; a drop shadow effect on the title gives the same lift.
    m_titleLabel->setStyleSheet(QStringLiteral(
        "color: white; font-size: 20px; font-weight: 500; font-family: 'Inter', 'Segoe UI', sans-serif;"
        "background: transparent; margin-top: 20px;"));

    auto *shadow = new QGraphicsDropShadowEffect(m_titleLabel);
    shadow->setOffset(0, 2);
    shadow->setBlurRadius(4);
    shadow->setColor(QColor(0, 0, 0, 128));
    m_titleLabel->setGraphicsEffect(shadow);

    m_subtitleLabel = new QLabel(this);
    m_subtitleLabel->setObjectName(QStringLiteral("ProxyStatusSubtitle"));
    m_subtitleLabel->setAlignment(Qt::AlignCenter);
    m_subtitleLabel->setStyleSheet(QStringLiteral(
        "color: #a9b0b6; font-size: 14px; font-weight: 400; font-family: 'Inter', 'Segoe UI', sans-serif;"
        "background: transparent; margin-top: 8px;"));
    m_subtitleLabel->hide();

    layout->addStretch();
    layout->addWidget(m_spinnerLabel, 0, Qt::AlignCenter);
    layout->addWidget(m_titleLabel);
    layout->addWidget(m_subtitleLabel);
    layout->addStretch();

    m_rotation = new QPropertyAnimation(m_spinnerLabel, "rotation", this);
    m_rotation->setStartValue(0);
    m_rotation->setEndValue(360);
    m_rotation->setDuration(kRotationMs);
    m_rotation->setLoopCount(-1);
    m_rotation->setEasingCurve(QEasingCurve::Linear);

    // Repaints drive the spinner and the ring; they only run while the overlay
    // can be seen, so a hidden overlay costs nothing.
    m_repaintTimer = new QTimer(this);
    m_repaintTimer->setInterval(kRepaintMs);
    connect(m_repaintTimer, &QTimer::timeout, this, qOverload<>(&QWidget::update));

    m_fadeIn = new QPropertyAnimation(m_opacity, "opacity", this);
    m_fadeIn->setDuration(kFadeMs);
    m_fadeIn->setStartValue(0.0);
    m_fadeIn->setEndValue(1.0);
    m_fadeIn->setEasingCurve(QEasingCurve::OutCubic);

    m_fadeOut = new QPropertyAnimation(m_opacity, "opacity", this);
    m_fadeOut->setDuration(kFadeMs);
    m_fadeOut->setStartValue(1.0);
    m_fadeOut->setEndValue(0.0);
    m_fadeOut->setEasingCurve(QEasingCurve::InCubic);
    connect(m_fadeOut, &QPropertyAnimation::finished, this, [this] {
        hide();
        emit finished();
    });
}

QString ProxyStatusOverlay::progressSubtitle(int percent, qint64 receivedBytes, qint64 totalBytes)
{
    if (totalBytes <= 0)
        return QStringLiteral("%1%").arg(percent);
    return QStringLiteral("%1% - %2 MB / %3 MB")
        .arg(percent)
        .arg(double(receivedBytes) / kBytesPerMegabyte, 0, 'f', 1)
        .arg(double(totalBytes) / kBytesPerMegabyte, 0, 'f', 1);
}

QString ProxyStatusOverlay::titleText() const
{
    return m_titleLabel->text();
}

QString ProxyStatusOverlay::subtitleText() const
{
    return m_subtitleLabel->text();
}

bool ProxyStatusOverlay::isSubtitleShown() const
{
    return !m_subtitleLabel->isHidden();
}

bool ProxyStatusOverlay::isRepaintTimerActive() const
{
    return m_repaintTimer->isActive();
}

bool ProxyStatusOverlay::isFadingOut() const
{
    return m_fadeOut->state() == QAbstractAnimation::Running;
}

void ProxyStatusOverlay::presentFresh()
{
    // A new show wins over a fade-out still running: otherwise the fade-out's
    // end would hide a message that was just put up.
    m_fadeOut->stop();
    hide();
    captureBlurredBackground();
    show();
    raise();
    activateWindow();
    m_fadeIn->stop();
    m_fadeIn->start();
    m_rotation->stop();
    m_rotation->start();
}

void ProxyStatusOverlay::showMessage(const QString &text)
{
    m_titleLabel->setText(text);
    m_subtitleLabel->hide();
    m_progressMode = false;
    presentFresh();
}

void ProxyStatusOverlay::showProgress(const QString &text, int percent, qint64 receivedBytes,
                                      qint64 totalBytes)
{
    m_titleLabel->setText(text);
    m_progressMode = true;
    m_percent = percent;
    m_receivedBytes = receivedBytes;
    m_totalBytes = totalBytes;
    m_subtitleLabel->setText(progressSubtitle(percent, receivedBytes, totalBytes));
    m_subtitleLabel->show();
    // Progress ticks arrive many times a second; only the first one (or one
    // after a fade-out began) pays for a snapshot and a fade.
    if (!isVisible() || isFadingOut())
        presentFresh();
    update();
}

void ProxyStatusOverlay::fadeOut()
{
    m_rotation->stop();
    if (m_fadeOut->state() == QAbstractAnimation::Running)
        return;
    // Fading out from wherever a fade-in got to avoids a jump to full opacity.
    const double from = m_fadeIn->state() == QAbstractAnimation::Running ? m_opacity->opacity() : 1.0;
    m_fadeIn->stop();
    m_fadeOut->setStartValue(from);
    m_fadeOut->start();
}

void ProxyStatusOverlay::captureBlurredBackground()
{
    QWidget *host = parentWidget();
    if (!host)
        return;
    const bool wasVisible = isVisible();
    if (wasVisible)
        hide();
    m_backdrop = host->grab();
    if (wasVisible)
        show();
    if (m_backdrop.isNull()) {
        m_blurredBackdrop = QPixmap();
        return;
    }

    QGraphicsScene scene;
    auto *item = new QGraphicsPixmapItem(m_backdrop);
    auto *blur = new QGraphicsBlurEffect;
    blur->setBlurRadius(50);
    blur->setBlurHints(QGraphicsBlurEffect::QualityHint);
    item->setGraphicsEffect(blur);
    scene.addItem(item);

    QPixmap blurred(m_backdrop.size());
    blurred.fill(Qt::transparent);
    QPainter painter(&blurred);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRectF target(QPointF(0, 0), QSizeF(m_backdrop.size()));
    scene.render(&painter, target, target, Qt::KeepAspectRatio);
    painter.end();
    m_blurredBackdrop = blurred;
}

void ProxyStatusOverlay::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (!m_blurredBackdrop.isNull())
        p.drawPixmap(rect(), m_blurredBackdrop);
    p.fillRect(rect(), QColor(11, 12, 15, 120));

    const int cx = width() / 2;
    if (m_progressMode) {
        p.translate(cx, height() / 2 - 60);
        const QRect ring(-35, -35, 70, 70);
        QPen track(QColor(255, 255, 255, 30), 4, Qt::SolidLine, Qt::RoundCap);
        p.setPen(track);
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(ring);
        if (m_percent > 0) {
            QPen arc(QColor(255, 122, 24), 4, Qt::SolidLine, Qt::RoundCap);
            p.setPen(arc);
            p.drawArc(ring, 1440, -(m_percent * 5760 / 100));
        }
        p.setPen(QColor(255, 255, 255));
        QFont font(QStringLiteral("Inter"));
        font.setPointSize(14);
        font.setWeight(QFont::Bold);
        p.setFont(font);
        p.drawText(ring, Qt::AlignCenter, QStringLiteral("%1%").arg(m_percent));
        return;
    }

    p.translate(cx, height() / 2 - 50);
    const QRect ring(-30, -30, 60, 60);
    p.setPen(QPen(QColor(255, 255, 255, 20), 3, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(ring);
    const double angle = m_rotation->currentValue().toDouble();
    p.rotate(angle);
    QConicalGradient gradient(QPointF(0, 0), 0);
    gradient.setColorAt(0.0, QColor(255, 122, 24, 0));
    gradient.setColorAt(0.7, QColor(255, 122, 24, 200));
    gradient.setColorAt(1.0, QColor(255, 122, 24, 255));
    p.setPen(QPen(QBrush(gradient), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(ring, 0, 4320);
}

void ProxyStatusOverlay::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_repaintTimer->start();
}

void ProxyStatusOverlay::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    m_repaintTimer->stop();
}
