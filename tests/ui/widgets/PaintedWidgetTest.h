#pragma once

#include "support/PainterWarnings.h"

#include <QColor>
#include <QImage>
#include <QRegularExpression>
#include <QTest>
#include <QWidget>

// Helpers the widget tests share: painter complaints fail a test, and
// widgets are painted into images whose pixels the tests read.
namespace PaintedWidgetTest {

// Call from init(): any painter warning while a test runs fails it.
using TestSupport::failOnPainterWarnings;

// Paints the widget (and its children) into a transparent image of its size,
// without running the event loop, so animation timers stay where they are.
inline QImage paint(QWidget &widget)
{
    QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

// The colour at a pixel with its alpha undone (premultiplied storage).
inline QColor pixel(const QImage &image, int x, int y)
{
    return image.pixelColor(x, y);
}

// True when each channel of `actual` (alpha included) is within `tolerance`.
inline bool near(const QColor &actual, const QColor &expected, int tolerance = 12)
{
    return qAbs(actual.red() - expected.red()) <= tolerance &&
           qAbs(actual.green() - expected.green()) <= tolerance &&
           qAbs(actual.blue() - expected.blue()) <= tolerance &&
           qAbs(actual.alpha() - expected.alpha()) <= tolerance;
}

inline QByteArray describe(const QColor &colour)
{
    return QStringLiteral("rgba(%1,%2,%3,%4)")
        .arg(colour.red())
        .arg(colour.green())
        .arg(colour.blue())
        .arg(colour.alpha())
        .toLatin1();
}

} // namespace PaintedWidgetTest

// Compares a pixel with an expected colour and names both on failure.
#define QX_VERIFY_COLOUR(image, x, y, expected, tolerance)                                                   \
    QVERIFY2(PaintedWidgetTest::near(PaintedWidgetTest::pixel(image, x, y), expected, tolerance),            \
             PaintedWidgetTest::describe(PaintedWidgetTest::pixel(image, x, y)) + " at (" +                  \
                 QByteArray::number(x) + "," + QByteArray::number(y) + "), expected " +                      \
                 PaintedWidgetTest::describe(expected))
