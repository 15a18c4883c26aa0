#pragma once
#include "ui/widgets/Palette.h"

#include <QColor>
#include <QSize>
#include <QString>
#include <QWidget>

class QTimer;

// The hardware card's small ring gauge: a dark disc, a grey track and an arc
// in the accent colour for a value of 0 to 100, starting at 12 o'clock and
// running clockwise, fading out over its last stretch.
class CircularGauge : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(int value READ value WRITE setValue NOTIFY valueChanged)
    Q_PROPERTY(QColor accentColor READ accentColor WRITE setAccentColor)

public:
    explicit CircularGauge(QWidget *parent = nullptr);

    int value() const { return m_value; }
    QColor accentColor() const { return m_accent; }
    // Clamps to 0..100; an unchanged value neither repaints nor signals.
    void setValue(int value);
    void setAccentColor(const QColor &colour);

    QSize sizeHint() const override;

signals:
    void valueChanged(int value);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int m_value = 0;
    QColor m_accent = QColor(QStringLiteral(QX_CPU_ACCENT));
};

// The route sweep's large progress ring: a glowing arc growing from 6 o'clock
// with a pulsing head dot, three orbiting segments, the percentage and a line
// with the sweep's stage and route counts. Animates every 16 ms.
class CircularProgressWidget : public QWidget
{
    Q_OBJECT

public:
    explicit CircularProgressWidget(QWidget *parent = nullptr);

    void setProgress(int percent);
    void setRouteCounts(int done, int total);

    int progress() const { return m_percent; }
    double rotation() const { return m_rotation; }
    double pulse() const { return m_pulseSteps / 100.0; }
    const QTimer *timer() const { return m_timer; }

    // Stage 1 up to 272 routes done, 3 beyond 544, else 2.
    static int stageFor(int routesDone);
    // The line under the percentage.
    static QString stageLine(int routesDone, int routesTotal);

public slots:
    void updateAnimation();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int m_percent = 0;
    int m_routesDone = 1;
    int m_routesTotal = 817;
    QTimer *m_timer = nullptr;
    double m_rotation = 0;
    // The pulse in hundredths: whole steps cannot drift past 0.9..1.1 the
    // way repeated additions of 0.01 do.
    int m_pulseSteps = 100;
    bool m_pulseGrowing = true;
    int m_radius = 110;
    int m_thickness = 12;
    QColor m_trackColor = QColor(QStringLiteral(QX_GAUGE_TRACK));
    QColor m_progressColor = QColor(QStringLiteral(QX_PROGRESS));
    QColor m_textColor = QColor(QStringLiteral(QX_GAUGE_TEXT));
};
