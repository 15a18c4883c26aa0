#include "ui/widgets/DecorativeWidgets.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kTickMs = 16;

QPen roundPen(const QBrush &brush, qreal width)
{
    return QPen(brush, std::max<qreal>(0, width), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

} // namespace

GradientBorderCard::GradientBorderCard(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_StyledBackground, false);
}

void GradientBorderCard::setRadius(int radius)
{
    m_radius = radius;
    update();
}

void GradientBorderCard::setBorderWidth(int width)
{
    m_borderWidth = width;
    update();
}

void GradientBorderCard::setFillColor(const QColor &colour)
{
    m_fill = colour;
    update();
}

void GradientBorderCard::setBorderGradient(const QColor &start, const QColor &end, double middleStop)
{
    m_start = start;
    m_end = end;
    m_middleStop = middleStop;
    update();
}

QRectF GradientBorderCard::shapeRect(const QRectF &bounds, int borderWidth)
{
    const qreal inset = std::max(0.5, borderWidth / 2.0);
    return bounds.adjusted(inset, inset, -inset, -inset);
}

void GradientBorderCard::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF r = shapeRect(QRectF(rect()), m_borderWidth);
    QPainterPath path;
    path.addRoundedRect(r, m_radius, m_radius, Qt::AbsoluteSize);
    painter.fillPath(path, m_fill);

    // Stops outside 0..1 would be dropped by the gradient with a warning.
    const double stop = std::clamp(m_middleStop, 0.0, 1.0);
    QLinearGradient gradient(r.topLeft(), r.bottomRight());
    gradient.setColorAt(0, m_start);
    gradient.setColorAt(stop, m_end);
    gradient.setColorAt(1, m_end);
    painter.setPen(roundPen(gradient, m_borderWidth));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(path);
}

AnimatedStrokeBorder::AnimatedStrokeBorder(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_TranslucentBackground);
    setAutoFillBackground(false);
    m_timer = new QTimer(this);
    m_timer->setInterval(kTickMs);
    connect(m_timer, &QTimer::timeout, this, [this] { advance(); });
    m_timer->start();
}

void AnimatedStrokeBorder::setRadius(int radius)
{
    m_radius = radius;
    update();
}

void AnimatedStrokeBorder::setStrokeWidth(int width)
{
    m_strokeWidth = width;
    update();
}

void AnimatedStrokeBorder::setHighlightColor(const QColor &colour)
{
    m_highlight = colour;
    update();
}

void AnimatedStrokeBorder::setSegmentLength(int length)
{
    m_segmentLength = std::max(20, length);
    update();
}

void AnimatedStrokeBorder::setSpeed(int pixelsPerTick)
{
    m_speed = std::max(1, pixelsPerTick);
}

void AnimatedStrokeBorder::advance()
{
    m_position += m_speed;
    if (width() > 0 && m_position > width() + m_segmentLength)
        m_position = -m_segmentLength;
    update();
}

void AnimatedStrokeBorder::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);

    const qreal h = m_strokeWidth / 2.0;
    const qreal length = m_segmentLength;
    const qreal x0 = m_position;
    const qreal x1 = x0 + length;
    const qreal w = width();
    const qreal ht = height();

    const QRectF r = QRectF(rect()).adjusted(h, h, -h, -h);
    QPainterPath clip;
    clip.addRoundedRect(r, m_radius, m_radius);
    painter.setClipPath(clip);
    if (w < 1 || ht < 1)
        return;

    // The segment fades in while it enters at the left and out while it
    // leaves at the right.
    qreal fade = 1;
    if (x0 < 0) {
        fade = std::clamp(x1 / std::max<qreal>(length, 1), 0.0, 1.0);
        if (fade <= 0.01)
            return;
    } else if (x1 > w) {
        fade = std::clamp((w - x0) / std::max<qreal>(length, 1), 0.0, 1.0);
        if (fade <= 0.01)
            return;
    }
    QColor colour = m_highlight;
    colour.setAlpha(int(std::min<qreal>(1, fade * 1.6) * 255));
    QColor clear = colour;
    clear.setAlpha(0);

    QLinearGradient gradient(QPointF(x0, 0), QPointF(x1, 0));
    gradient.setColorAt(0, clear);
    gradient.setColorAt(0.25, colour);
    gradient.setColorAt(0.75, colour);
    gradient.setColorAt(1, clear);
    const QPen gradientPen = roundPen(gradient, m_strokeWidth);
    painter.setPen(gradientPen);
    painter.drawLine(QPointF(x0, h), QPointF(x1, h));
    painter.drawLine(QPointF(x0, ht - h), QPointF(x1, ht - h));

    const qreal ramp = std::max<qreal>(std::min<qreal>(length, 40), 1);
    const qreal k = m_radius - h;
    const qreal d = 2 * k;
    // A side is lit with a solid pen whose strength ramps up as the segment
    // reaches it and down as it leaves.
    auto sidePen = [&](qreal f) {
        QColor side = m_highlight;
        side.setAlpha(int(std::min<qreal>(1, fade * f * 1.6) * 255));
        return roundPen(side, m_strokeWidth);
    };

    const qreal right = w - h;
    if (x1 > right && x0 < right) {
        const qreal f =
            std::min(std::clamp((x1 - right) / ramp, 0.0, 1.0), std::clamp((right - x0) / ramp, 0.0, 1.0));
        if (f > 0.01) {
            painter.setPen(sidePen(f));
            painter.drawLine(QPointF(right, h), QPointF(right, ht - h));
            if (k > 0) {
                painter.drawArc(QRectF(right - d, h, d, d), 0 * 16, 90 * 16);
                painter.drawArc(QRectF(right - d, ht - h - d, d, d), 270 * 16, 90 * 16);
            }
            painter.setPen(gradientPen);
        }
    }
    if (h > x0 && h < x1) {
        const qreal f =
            std::min(std::clamp((x1 - h) / ramp, 0.0, 1.0), std::clamp((h - x0) / ramp, 0.0, 1.0));
        if (f > 0.01) {
            painter.setPen(sidePen(f));
            painter.drawLine(QPointF(h, h), QPointF(h, ht - h));
            if (k > 0) {
                painter.drawArc(QRectF(h, h, d, d), 90 * 16, 90 * 16);
                painter.drawArc(QRectF(h, ht - h - d, d, d), 180 * 16, 90 * 16);
            }
            painter.setPen(gradientPen);
        }
    }
}

ConsoleSpinner::ConsoleSpinner(QWidget *parent) : QWidget(parent)
{
    setFixedSize(34, 34);
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(QStringLiteral("background: transparent;"));
    m_timer.setInterval(kTickMs);
    connect(&m_timer, &QTimer::timeout, this, [this] { advance(); });
    m_timer.start();
}

void ConsoleSpinner::advance()
{
    m_angle = std::fmod(m_angle + 6, 360.0);
    update();
}

void ConsoleSpinner::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF r(2.435, 2.435, width() - 4.87, height() - 4.87);
    const qreal penWidth = 2.87;

    painter.setBrush(Qt::NoBrush);
    painter.setPen(roundPen(QColor(QX_BORDER), penWidth));
    painter.drawEllipse(r);

    const QPointF centre(width() / 2.0, height() / 2.0);
    painter.translate(centre);
    painter.rotate(m_angle);
    painter.translate(-centre);

    painter.setPen(roundPen(QColor(0, 0, 0, 64), penWidth));
    painter.drawArc(r.translated(0, 2), 90 * 16, -90 * 16);
    painter.setPen(roundPen(QColor(QX_ACCENT), penWidth));
    painter.drawArc(r, 90 * 16, -90 * 16);
}
