#pragma once
#include "ui/widgets/Palette.h"

#include <QColor>
#include <QRectF>
#include <QTimer>
#include <QWidget>

// A rounded card whose border runs in a diagonal gradient, from the start
// colour at the top-left to the end colour at the bottom-right. It paints its
// own background; style sheets do not.
class GradientBorderCard : public QWidget
{
public:
    explicit GradientBorderCard(QWidget *parent = nullptr);

    void setRadius(int radius);
    void setBorderWidth(int width);
    void setFillColor(const QColor &colour);
    void setBorderGradient(const QColor &start, const QColor &end, double middleStop);

    // The rounded shape's rectangle inside `bounds`: inset by half the
    // border, and by at least half a pixel so a thin pen stays on whole pixels.
    static QRectF shapeRect(const QRectF &bounds, int borderWidth);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int m_radius = 20;
    int m_borderWidth = 1;
    QColor m_fill = QColor(QStringLiteral(QX_PANEL));
    QColor m_start = QColor(QStringLiteral(QX_BORDER));
    QColor m_end = QColor(QStringLiteral(QX_PANEL));
    double m_middleStop = 0.42;
};

// A transparent overlay that runs a glowing segment along a rounded border,
// left to right over the top and bottom edges, lighting the sides while it
// crosses them. Ticks every 16 ms from construction, visible or not.
class AnimatedStrokeBorder : public QWidget
{
public:
    explicit AnimatedStrokeBorder(QWidget *parent = nullptr);

    void setRadius(int radius);
    void setStrokeWidth(int width);
    void setHighlightColor(const QColor &colour);
    void setSegmentLength(int length);
    void setSpeed(int pixelsPerTick);

    void advance();

    double position() const { return m_position; }
    int segmentLength() const { return m_segmentLength; }
    int speed() const { return m_speed; }
    const QTimer *timer() const { return m_timer; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QTimer *m_timer = nullptr;
    double m_position = -120;
    int m_radius = 7;
    int m_strokeWidth = 1;
    QColor m_highlight = QColor(QStringLiteral(QX_ACCENT));
    int m_segmentLength = 120;
    int m_speed = 6;
};

// A 34 x 34 busy indicator: an orange quarter arc turning over a grey ring,
// one turn every 60 ticks of 16 ms.
class ConsoleSpinner : public QWidget
{
public:
    explicit ConsoleSpinner(QWidget *parent = nullptr);

    void advance();
    double angle() const { return m_angle; }
    const QTimer &timer() const { return m_timer; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QTimer m_timer;
    double m_angle = 0;
};
