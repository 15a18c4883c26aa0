#include "ui/widgets/CachedEffects.h"

#include <QGraphicsPixmapItem>
#include <QGraphicsScene>
#include <QPainter>
#include <QPixmap>
#include <QtMath>

namespace {

// How much smaller, in each direction, the copy is that gets blurred.
constexpr int kScaleDown = 4;
// Qt's blur effect reaches this many radii beyond what it blurs.
constexpr qreal kBlurReach = 2.5;

QSize scaledDown(const QSize &size)
{
    return QSize(std::max(1, (size.width() + kScaleDown - 1) / kScaleDown),
                 std::max(1, (size.height() + kScaleDown - 1) / kScaleDown));
}

// `small` blurred by QGraphicsBlurEffect with `effectRadius`, on a canvas of
// `canvas` pixels with `small` at `at`; what lies outside `small` counts as
// transparent.
QImage blurredOnCanvas(const QImage &small, const QSize &canvas, const QPoint &at, qreal effectRadius,
                       QGraphicsBlurEffect::BlurHints hints)
{
    QGraphicsScene scene;
    QGraphicsPixmapItem *item = scene.addPixmap(QPixmap::fromImage(small));
    item->setPos(at);
    auto *blur = new QGraphicsBlurEffect;
    blur->setBlurRadius(effectRadius);
    blur->setBlurHints(hints);
    item->setGraphicsEffect(blur);
    QImage out(canvas, QImage::Format_ARGB32_Premultiplied);
    out.fill(Qt::transparent);
    QPainter painter(&out);
    const QRectF area(QPointF(0, 0), QSizeF(canvas));
    scene.render(&painter, area, area);
    painter.end();
    return out;
}

} // namespace

CachedBlurEffect::CachedBlurEffect(qreal blurRadius, QGraphicsBlurEffect::BlurHints hints, QObject *parent)
    : QGraphicsEffect(parent), m_radius(blurRadius), m_hints(hints)
{}

QRectF CachedBlurEffect::boundingRectFor(const QRectF &rect) const
{
    // As far as QGraphicsBlurEffect reaches, so that the same area is
    // repainted when the widget changes.
    const qreal reach = kBlurReach * m_radius + 1;
    return rect.adjusted(-reach, -reach, reach, reach);
}

void CachedBlurEffect::contentChanged()
{
    m_blurred = QImage();
    update();
}

void CachedBlurEffect::draw(QPainter *painter)
{
    if (m_radius < 1) {
        drawSource(painter);
        return;
    }
    const QRect device = sourceBoundingRect(Qt::DeviceCoordinates).toAlignedRect();
    if (device.size() != m_blurredFor)
        m_blurred = QImage();
    if (m_blurred.isNull()) {
        // Qt renders a widget anew for every call, so it is asked for only
        // when there is something to blur.
        QPoint at;
        const QPixmap source = sourcePixmap(Qt::DeviceCoordinates, &at, NoPad);
        if (source.isNull())
            return;
        m_blurredFor = device.size();
        const qreal scale = source.devicePixelRatio();
        const QSize small = scaledDown(source.size());
        const QImage copy = source.toImage().scaled(small, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        // Blurred as far as the blur reaches, so the result fades at the
        // edges as Qt's does, then cut back to the widget's own rectangle:
        // that is all a widget inside its parent can show.
        const int reach = qCeil((kBlurReach * m_radius * scale + 1) / kScaleDown);
        const QImage blurred = blurredOnCanvas(copy, small + QSize(2 * reach, 2 * reach),
                                               QPoint(reach, reach), m_radius * scale / kScaleDown, m_hints)
                                   .copy(QRect(QPoint(reach, reach), small));
        m_blurred = blurred.scaled(source.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        m_offset = at - device.topLeft();
        ++m_blurs;
    }
    painter->save();
    painter->setWorldTransform(QTransform());
    painter->drawImage(device.topLeft() + m_offset, m_blurred);
    painter->restore();
}

CachedShadowEffect::CachedShadowEffect(qreal blurRadius, const QPointF &offset, const QColor &color,
                                       QObject *parent)
    : QGraphicsEffect(parent), m_radius(blurRadius), m_shadowOffset(offset), m_color(color)
{}

QRectF CachedShadowEffect::boundingRectFor(const QRectF &rect) const
{
    // The same area as QGraphicsDropShadowEffect's.
    return rect.united(rect.translated(m_shadowOffset).adjusted(-m_radius, -m_radius, m_radius, m_radius));
}

void CachedShadowEffect::draw(QPainter *painter)
{
    // Qt keeps the offscreen copy until the widget changes.
    QPoint at;
    const QPixmap source = sourcePixmap(Qt::DeviceCoordinates, &at, NoPad);
    if (source.isNull())
        return;
    const QRect device = sourceBoundingRect(Qt::DeviceCoordinates).toAlignedRect();
    // What the widget shows changes (a cursor, a hover); how far it lets the
    // picture beneath through does not, unless its size does.
    if (source.size() != m_shadowFor)
        m_shadow = QImage();
    if (m_shadow.isNull() && m_color.alpha() > 0) {
        m_shadowFor = source.size();
        // The widget a quarter of the size, on a canvas reaching `radius`
        // beyond it: as far as QGraphicsDropShadowEffect's shadow reaches.
        // Only its transparency counts, and a blur this wide leaves nothing
        // of the detail a closer sampling would keep.
        const qreal scale = source.devicePixelRatio();
        const qreal pad = m_radius * scale;
        const QSizeF full = QSizeF(source.size()) + QSizeF(2 * pad, 2 * pad);
        const QSize small(qCeil(full.width() / kScaleDown), qCeil(full.height() / kScaleDown));
        QImage canvas(small, QImage::Format_ARGB32_Premultiplied);
        canvas.fill(Qt::transparent);
        QPainter place(&canvas);
        place.drawImage(QRectF(QPointF(pad, pad) / kScaleDown, QSizeF(source.size()) / kScaleDown),
                        source.toImage());
        place.end();
        // The drop shadow blurs with its radius as it is; the blur effect's
        // radius reaches 2.5 times as far.
        m_shadow =
            blurredOnCanvas(canvas, small, QPoint(0, 0), m_radius * scale / kBlurReach / kScaleDown, {});
        QPainter tint(&m_shadow);
        tint.setCompositionMode(QPainter::CompositionMode_SourceIn);
        tint.fillRect(m_shadow.rect(), m_color);
        tint.end();
        m_target = QRectF(QPointF(at - device.topLeft()) - QPointF(pad, pad) + m_shadowOffset * scale,
                          QSizeF(small) * kScaleDown);
        ++m_shadows;
    }
    painter->save();
    painter->setWorldTransform(QTransform());
    if (!m_shadow.isNull()) {
        painter->setRenderHint(QPainter::SmoothPixmapTransform);
        painter->drawImage(m_target.translated(device.topLeft()), m_shadow);
    }
    painter->drawPixmap(at, source);
    painter->restore();
}
