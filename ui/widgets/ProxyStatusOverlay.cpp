#include "ui/widgets/ProxyStatusOverlay.h"

#include "ui/widgets/Palette.h"

#include <QConicalGradient>
#include <QGraphicsBlurEffect>
#include <QGraphicsOpacityEffect>
#include <QGraphicsPixmapItem>
#include <QGraphicsScene>
#include <QLabel>
#include <QPainter>
#include <QPropertyAnimation>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {
constexpr int kRotationMs = 1500;
constexpr int kRepaintMs = 16;
constexpr double kBytesPerMegabyte = 1048576.0;
constexpr int kShadowOffsetY = 2;
constexpr int kShadowBlur = 2; // box radius; two passes come close to a 4 px blur
const QColor kShadowColour(0, 0, 0, 128);

// Blurs the alpha (and the premultiplied colour with it) of an image with a
// horizontal and a vertical box pass.
void boxBlur(QImage &image, int radius)
{
    const int w = image.width();
    const int h = image.height();
    const int span = 2 * radius + 1;
    QImage scratch(image.size(), image.format());
    for (int pass = 0; pass < 2; ++pass) {
        const bool horizontal = pass == 0;
        for (int line = 0; line < (horizontal ? h : w); ++line) {
            const int length = horizontal ? w : h;
            for (int i = 0; i < length; ++i) {
                int sum[4] = {0, 0, 0, 0};
                for (int k = -radius; k <= radius; ++k) {
                    const int j = std::clamp(i + k, 0, length - 1);
                    const QRgb p = horizontal ? reinterpret_cast<const QRgb *>(image.constScanLine(line))[j]
                                              : reinterpret_cast<const QRgb *>(image.constScanLine(j))[line];
                    sum[0] += qAlpha(p);
                    sum[1] += qRed(p);
                    sum[2] += qGreen(p);
                    sum[3] += qBlue(p);
                }
                const QRgb out = qRgba(sum[1] / span, sum[2] / span, sum[3] / span, sum[0] / span);
                if (horizontal)
                    reinterpret_cast<QRgb *>(scratch.scanLine(line))[i] = out;
                else
                    reinterpret_cast<QRgb *>(scratch.scanLine(i))[line] = out;
            }
        }
        image.swap(scratch);
    }
}

// The title with its soft shadow drawn by the label itself. A drop-shadow
// graphics effect on the label would sit inside the overlay's opacity effect,
// and nested effects paint the label with two painters at once: Qt refuses
// the second and the title is never drawn.
class ShadowedLabel : public QLabel
{
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent *event) override
    {
        const QRect area = contentsRect();
        const QString current = text();
        if (m_shadowText != current || m_shadowSize != area.size() || m_shadowFont != font()) {
            m_shadowText = current;
            m_shadowSize = area.size();
            m_shadowFont = font();
            const int pad = 2 * kShadowBlur;
            QImage shadow(area.size() + QSize(2 * pad, 2 * pad), QImage::Format_ARGB32_Premultiplied);
            shadow.fill(Qt::transparent);
            if (!shadow.isNull()) {
                QPainter painter(&shadow);
                painter.setFont(font());
                painter.setPen(kShadowColour);
                painter.drawText(QRect(QPoint(pad, pad), area.size()), int(alignment()), current);
                painter.end();
                boxBlur(shadow, kShadowBlur);
            }
            m_shadow = shadow;
        }
        if (!m_shadow.isNull()) {
            const int pad = 2 * kShadowBlur;
            QPainter painter(this);
            painter.drawImage(area.topLeft() + QPoint(-pad, kShadowOffsetY - pad), m_shadow);
        }
        // The label paints its text with a painter of its own, after ours has ended.
        QLabel::paintEvent(event);
    }

private:
    QString m_shadowText;
    QSize m_shadowSize;
    QFont m_shadowFont;
    QImage m_shadow;
};
} // namespace

ProxyStatusOverlay::ProxyStatusOverlay(QWidget *parent, int fadeMs) : QWidget(parent)
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

    m_titleLabel = new ShadowedLabel(QStringLiteral("Stopping Proxy"), this);
    m_titleLabel->setObjectName(QStringLiteral("ProxyStatusTitle"));
    m_titleLabel->setAlignment(Qt::AlignCenter);
    // Style sheets have no text shadow; the label draws its own.
    m_titleLabel->setStyleSheet(QStringLiteral(
        "color: white; font-size: 20px; font-weight: 500; font-family: 'Inter', 'Segoe UI', sans-serif;"
        "background: transparent; margin-top: 20px;"));

    m_subtitleLabel = new QLabel(this);
    m_subtitleLabel->setObjectName(QStringLiteral("ProxyStatusSubtitle"));
    m_subtitleLabel->setAlignment(Qt::AlignCenter);
    m_subtitleLabel->setStyleSheet(
        QStringLiteral("color: " QX_CAPTION
                       "; font-size: 14px; font-weight: 400; font-family: 'Inter', 'Segoe UI', sans-serif;"
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
    m_fadeIn->setDuration(fadeMs);
    m_fadeIn->setStartValue(0.0);
    m_fadeIn->setEndValue(1.0);
    m_fadeIn->setEasingCurve(QEasingCurve::OutCubic);

    m_fadeOut = new QPropertyAnimation(m_opacity, "opacity", this);
    m_fadeOut->setDuration(fadeMs);
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

bool ProxyStatusOverlay::isFadingIn() const
{
    return m_fadeIn->state() == QAbstractAnimation::Running;
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
            QPen arc(QColor(QX_WAIT_ORANGE), 4, Qt::SolidLine, Qt::RoundCap);
            p.setPen(arc);
            p.drawArc(ring, 1440, -(m_percent * 5760 / 100));
        }
        p.setPen(QColor(QX_WHITE));
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
