#pragma once
// The home page's lower-right card: CPU and GPU load rings with the clock,
// the GPU temperature and the two names beside them, and three memory badges
// (used share, available share, total). Refreshed by its own timer and
// mirrored by hand for Persian.

#include "ui/widgets/Gauges.h"
#include "ui/widgets/WindowArea.h"

#include <QLabel>
#include <QObject>
#include <QPointer>
#include <QPushButton>
#include <QString>

#include <array>
#include <cstdint>

namespace SystemInfo {
class Reader;
}
class QTimer;
class QWidget;

class HardwareCard : public QObject, public WindowArea
{
    Q_OBJECT
public:
    static constexpr int kBadgeSize = 70;

    // Builds the card's contents inside `card` ("DashboardLowerRight"), reads
    // the figures once and starts refreshing every refreshMs. `reader` (not
    // owned) answers the hardware questions; null asks the process-wide one.
    HardwareCard(QWidget *card, const QString &persianFontFamily, SystemInfo::Reader *reader, int refreshMs,
                 QObject *parent);

    QWidget *card() const { return m_card; }
    QLabel *title() const { return m_title; }
    QPushButton *allButton() const { return m_allButton; }
    CircularGauge *cpuGauge() const { return m_cpuGauge; }
    CircularGauge *gpuGauge() const { return m_gpuGauge; }
    QLabel *cpuFigure() const { return m_cpuFigure; }
    QLabel *gpuFigure() const { return m_gpuFigure; }
    QLabel *cpuClockLine() const { return m_cpuClock; }
    QLabel *cpuNameLine() const { return m_cpuName; }
    QLabel *gpuTemperatureLine() const { return m_gpuTemperature; }
    QLabel *gpuNameLine() const { return m_gpuName; }
    QWidget *badge(int i) const { return m_badges[i]; }
    QLabel *badgeText(int i) const { return m_badgeTexts[i]; }
    QLabel *caption(int i) const { return m_captions[i]; }
    QLabel *amount(int i) const { return m_amounts[i]; }
    QTimer *timer() const { return m_timer; }

    void place(bool persian) override;

    // bytes in GiB, one decimal below 10 and none from 10 up, with the unit.
    static QString formatGigabytes(std::uint64_t bytes, bool persian);
    // The same figure without a unit, as badge 3 shows the total.
    static QString gibibyteFigure(std::uint64_t bytes);

    // A round badge of the card at (x, card height - 32 - 70) with a centred
    // "memCircleLabel" child showing text.
    static QWidget *makeMemoryCircle(QWidget *card, int x, const QString &text);
    // The caption beside a badge and, when outAmount is given, the amount
    // under it.
    static void makeHardwareValueLabel(QWidget *card, QWidget *badge, const QString &caption,
                                       QLabel **outCaption, QLabel **outAmount);
    // Does nothing for a null badge or one without its label.
    static void setMemoryCircleText(QWidget *badge, const QString &text);

public slots:
    void refreshHardwareCard();
    void retranslateHardwareCard(const QString &languageCode);
    void alignHardwareLabels(bool persian);
    void layoutHardwareCard(bool persian);

private:
    void placeHardwareValueLabels(QWidget *gauge, QLabel *topLine, QLabel *bottomLine, int gaugeX,
                                  int linesX);
    void placeHardwareCaption(QWidget *badge, QLabel *caption, QLabel *amount, int y);
    void showMemoryAmounts();

    SystemInfo::Reader *m_reader = nullptr;
    QString m_persianFamily;
    bool m_persian = false;
    // The memory amounts last read, so that the language hook writes them
    // with its own unit at once rather than at the next reading.
    std::uint64_t m_usedBytes = 0;
    std::uint64_t m_availableBytes = 0;
    bool m_haveMemory = false;

    QPointer<QWidget> m_card;
    QPointer<QLabel> m_title;
    QPointer<QPushButton> m_allButton;
    QPointer<CircularGauge> m_cpuGauge;
    QPointer<CircularGauge> m_gpuGauge;
    QPointer<QLabel> m_cpuFigure;
    QPointer<QLabel> m_gpuFigure;
    QPointer<QLabel> m_cpuClock;
    QPointer<QLabel> m_cpuName;
    QPointer<QLabel> m_gpuTemperature;
    QPointer<QLabel> m_gpuName;
    std::array<QPointer<QWidget>, 3> m_badges;
    std::array<QPointer<QLabel>, 3> m_badgeTexts;
    std::array<QPointer<QLabel>, 3> m_captions;
    std::array<QPointer<QLabel>, 3> m_amounts; // the third stays null
    QTimer *m_timer = nullptr;
};
