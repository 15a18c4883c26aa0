#pragma once

#include <QColor>
#include <QGraphicsBlurEffect>
#include <QGraphicsEffect>
#include <QImage>
#include <QPoint>

// Graphics effects for widgets whose look under the effect rarely changes:
// the blur or shadow is worked out once and kept, where Qt's own effects
// render the widget offscreen and blur it again on every paint (a blinking
// cursor inside a card with a shadow blurred the whole card twice a second).
//
// Both blur with Qt's own blur (QGraphicsBlurEffect) on a copy a quarter of
// the size in each direction and scale the result back up; for blurs as wide
// as these (tens of pixels) the difference to the eye is none, and the work
// is a small part.

// A blurred copy of a widget whose content changes seldom (a label with a
// picture): blurred when first drawn, and again when the widget's size
// changes or its owner says that what it shows changed.
class CachedBlurEffect : public QGraphicsEffect
{
public:
    explicit CachedBlurEffect(qreal blurRadius, QGraphicsBlurEffect::BlurHints hints = {},
                              QObject *parent = nullptr);

    qreal blurRadius() const { return m_radius; }
    // The widget shows something else now: blurred again when next drawn.
    void contentChanged();
    // How many times the blur has been worked out (tests).
    int blurCount() const { return m_blurs; }

    QRectF boundingRectFor(const QRectF &rect) const override;

protected:
    void draw(QPainter *painter) override;

private:
    qreal m_radius;
    QGraphicsBlurEffect::BlurHints m_hints;
    QImage m_blurred;
    QSize m_blurredFor; // the widget's size it was made for, device pixels
    QPoint m_offset;    // of m_blurred from the source's top-left, device pixels
    int m_blurs = 0;
};

// A drop shadow behind a widget of fixed outline and see-through (a card
// over a picture): the shadow of the widget as it was first drawn (its
// transparency blurred and filled with the colour) is kept while the
// widget's size stays the same. The widget is drawn through its offscreen
// copy, as under Qt's effect, so it blends with what lies beneath exactly
// as it did (Qt renders that copy on every paint of a widget; only the blur
// is saved).
class CachedShadowEffect : public QGraphicsEffect
{
public:
    CachedShadowEffect(qreal blurRadius, const QPointF &offset, const QColor &color,
                       QObject *parent = nullptr);

    qreal blurRadius() const { return m_radius; }
    QPointF offset() const { return m_shadowOffset; }
    QColor color() const { return m_color; }
    // How many times the shadow has been worked out (tests).
    int shadowCount() const { return m_shadows; }

    QRectF boundingRectFor(const QRectF &rect) const override;

protected:
    void draw(QPainter *painter) override;

private:
    qreal m_radius;
    QPointF m_shadowOffset;
    QColor m_color;
    QImage m_shadow;   // at a quarter of the size, drawn scaled up
    QSize m_shadowFor; // the widget's size it was made for
    QRectF m_target;   // where it goes, from the source's top-left, device pixels
    int m_shadows = 0;
};
