#include "ui/widgets/Gauges.h"

#include "ui/widgets/Palette.h"

#include <QConicalGradient>
#include <QPainter>
#include <QRadialGradient>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace {

const QColor kDefaultAccent(0x00, 0xA0, 0xDF);
const QColor kOrange(245, 119, 17);

QColor withAlpha(QColor colour, qreal alpha)
{
    colour.setAlphaF(alpha);
    return colour;
}

// Painter angles are sixteenths of a degree, cut to whole numbers.
int sixteenths(double degrees)
{
    return int(degrees * 16);
}

} // namespace

CircularGauge::CircularGauge(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
}

void CircularGauge::setValue(int value)
{
    value = std::clamp(value, 0, 100);
    if (value == m_value)
        return;
    m_value = value;
    update();
    emit valueChanged(m_value);
}

void CircularGauge::setAccentColor(const QColor &colour)
{
    m_accent = colour;
    update();
}

QSize CircularGauge::sizeHint() const
{
    return QSize(160, 160);
}

void CircularGauge::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);

    const qreal side = std::min(width(), height());
    QRectF square(0, 0, side, side);
    square.moveCenter(QRectF(rect()).center());

    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(QStringLiteral(QX_RAISED)));
    painter.drawEllipse(square.adjusted(1, 1, -1, -1));

    const qreal inset = side * 0.091 + 1.355;
    const QRectF ring = square.adjusted(inset, inset, -inset, -inset);
    painter.setBrush(Qt::NoBrush);
    QPen track(QColor(QStringLiteral(QX_BORDER)), 2.71);
    track.setCapStyle(Qt::RoundCap);
    painter.setPen(track);
    painter.drawEllipse(ring);

    const qreal f = std::clamp(m_value / 100.0, 0.0, 1.0);
    if (f <= 0.001)
        return;
    const qreal span = -f * 360;
    const QColor accent = m_accent.isValid() ? m_accent : kDefaultAccent;
    // The gradient runs counter-clockwise from the arc's far end, so along
    // the arc it falls from f at 12 o'clock to 0 where the arc ends.
    QConicalGradient gradient(square.center(), span + 90);
    gradient.setColorAt(0, withAlpha(accent, 0));
    gradient.setColorAt(std::min<qreal>(f, 0.15), accent);
    gradient.setColorAt(1, accent);
    QPen arc(QBrush(gradient), 2.71);
    arc.setCapStyle(Qt::RoundCap);
    painter.setPen(arc);
    painter.drawArc(ring, 90 * 16, sixteenths(span));
}

CircularProgressWidget::CircularProgressWidget(QWidget *parent) : QWidget(parent)
{
    setFixedSize(2 * (m_radius + m_thickness), 2 * (m_radius + m_thickness));
    setAttribute(Qt::WA_TranslucentBackground);
    m_timer = new QTimer(this);
    m_timer->setInterval(16);
    connect(m_timer, &QTimer::timeout, this, &CircularProgressWidget::updateAnimation);
    m_timer->start();
}

void CircularProgressWidget::setProgress(int percent)
{
    m_percent = std::clamp(percent, 0, 100);
    update();
}

void CircularProgressWidget::setRouteCounts(int done, int total)
{
    m_routesDone = done;
    m_routesTotal = total;
    update();
}

int CircularProgressWidget::stageFor(int routesDone)
{
    if (routesDone <= 272)
        return 1;
    if (routesDone > 544)
        return 3;
    return 2;
}

QString CircularProgressWidget::stageLine(int routesDone, int routesTotal)
{
    return QStringLiteral("%1 / 3  (Routes: %2 / %3)")
        .arg(stageFor(routesDone))
        .arg(routesDone)
        .arg(routesTotal);
}

void CircularProgressWidget::updateAnimation()
{
    m_rotation += 1;
    if (m_rotation >= 360)
        m_rotation = 0;
    if (m_pulseGrowing) {
        ++m_pulseSteps;
        if (m_pulseSteps >= 110)
            m_pulseGrowing = false;
    } else {
        --m_pulseSteps;
        if (m_pulseSteps <= 90)
            m_pulseGrowing = true;
    }
    update();
}

void CircularProgressWidget::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(width() / 2.0, height() / 2.0);
    const qreal r = m_radius;
    const qreal t = m_thickness;
    const QRectF circle(-r, -r, 2 * r, 2 * r);

    painter.setBrush(Qt::NoBrush);
    QPen track(m_trackColor, t);
    track.setCapStyle(Qt::RoundCap);
    painter.setPen(track);
    painter.drawEllipse(QPointF(0, 0), r, r);

    if (m_percent > 0) {
        const double sweep = m_percent * 360.0 / 100.0;
        QRadialGradient gradient(QPointF(0, 0), r + 12);
        gradient.setColorAt(0, kOrange);
        gradient.setColorAt(1, m_progressColor);
        QPen arc(QBrush(gradient), t);
        arc.setCapStyle(Qt::RoundCap);

        QPen glow(QColor(245, 119, 17, 100), t + 4);
        glow.setCapStyle(Qt::RoundCap);
        painter.setPen(glow);
        painter.drawArc(circle, -90 * 16, sixteenths(sweep));
        painter.setPen(arc);
        painter.drawArc(circle, -90 * 16, sixteenths(sweep));

        // The head dot runs clockwise from 12 o'clock while the arc grows
        // counter-clockwise from 6; they meet at a quarter and three quarters.
        const double theta = (sweep - 90) * M_PI / 180.0;
        const QPointF head(std::cos(theta) * r, std::sin(theta) * r);
        const qreal dot = t * 0.55 * pulse();
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(245, 119, 17, 150));
        painter.drawEllipse(head, dot + 3, dot + 3);
        painter.setBrush(kOrange);
        painter.drawEllipse(head, dot, dot);
        painter.setBrush(Qt::NoBrush);
    }

    struct Orbit
    {
        double start;
        double span;
        qreal alpha;
        qreal width;
    };
    const Orbit orbits[] = {{-40, 40, 0.45, t * 0.7}, {35, 55, 0.35, t * 0.55}, {110, 35, 0.25, t * 0.45}};
    for (const Orbit &orbit : orbits) {
        QPen pen(withAlpha(m_progressColor, orbit.alpha), orbit.width);
        pen.setCapStyle(Qt::RoundCap);
        painter.setPen(pen);
        painter.drawArc(circle, sixteenths(orbit.start + m_rotation), sixteenths(orbit.span));
    }

    painter.resetTransform();
    QFont percentFont = font();
    percentFont.setPixelSize(44);
    percentFont.setWeight(QFont::Bold);
    painter.setFont(percentFont);
    painter.setPen(m_textColor);
    painter.drawText(QRectF(0, height() / 2.0 - 35, width(), 50), Qt::AlignCenter,
                     QStringLiteral("%1%").arg(m_percent));

    QFont stageFont = font();
    stageFont.setPixelSize(12);
    painter.setFont(stageFont);
    painter.setPen(QColor(QStringLiteral(QX_GAUGE_CAPTION)));
    painter.drawText(QRectF(0, height() / 2.0 + 25, width(), 20), Qt::AlignCenter,
                     stageLine(m_routesDone, m_routesTotal));
}
