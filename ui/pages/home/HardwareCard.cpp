#include "ui/pages/home/HardwareCard.h"

#include "i18n/Language.h"
#include "platform/SystemInfo.h"
#include "ui/pages/common/PageWidgets.h"
#include "ui/widgets/Gauges.h"
#include "ui/widgets/Palette.h"

#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>

#include <algorithm>

namespace {

constexpr int kLineGap = 16; // gauge to its lines
constexpr int kLineHeight = 20;
constexpr int kLineWidth = 120;
constexpr int kGpuRightInset = 146;
constexpr int kCaptionGap = 10; // caption to its badge, right to left
constexpr int kCaptionLine = 18;
constexpr double kGiB = 1024.0 * 1024.0 * 1024.0;

QFont sizedFont(const QString &family, int px, int weight)
{
    return PageWidgets::familyFont(family, px, QFont::Weight(weight));
}

using Language::isPersian;

using Language::objectText;
using Language::windowText;

// The numbers are Latin with a point in both languages, never locale-formatted.
QString gibFigure(double gib)
{
    return QString::number(gib, 'f', gib < 10.0 ? 1 : 0);
}

QLabel *gaugeFigure(CircularGauge *gauge)
{
    auto *figure = new QLabel(gauge);
    figure->setGeometry(0, 0, 120, 120);
    figure->setAlignment(Qt::AlignCenter);
    figure->setFont(sizedFont(QStringLiteral("Inter"), 24, 600));
    figure->setStyleSheet(QStringLiteral("color: " QX_WHITE ";"));
    return figure;
}

QLabel *gaugeLine(QWidget *card, const QString &text, int weight, const char *colour)
{
    auto *line = new QLabel(text, card);
    line->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    line->setFont(sizedFont(QStringLiteral("Inter"), 14, weight));
    line->setStyleSheet(QStringLiteral("color: %1;").arg(QLatin1String(colour)));
    return line;
}

} // namespace

HardwareCard::HardwareCard(QWidget *card, const QString &persianFontFamily, SystemInfo::Reader *reader,
                           int refreshMs, QObject *parent)
    : QObject(parent), m_reader(reader), m_persianFamily(persianFontFamily), m_card(card)
{
    if (!card)
        return;
    const int w = card->width();

    m_title = new QLabel(windowText("Hardwares"), card);
    m_title->setObjectName(QStringLiteral("HardwareCardTitle"));
    m_title->setGeometry(20, 20, 240, 28);
    m_title->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_title->setFont(sizedFont(QStringLiteral("Inter"), 18, 600));
    m_title->setStyleSheet(QStringLiteral("color: " QX_WHITE "; background: transparent;"));

    m_allButton = new QPushButton(windowText("All"), card);
    m_allButton->setObjectName(QStringLiteral("HardwareCardAllBtn"));
    m_allButton->setGeometry(w - 62 - 20, 18, 62, 32);
    m_allButton->setFont(sizedFont(QStringLiteral("Inter"), 14, 600));
    m_allButton->setFlat(true);
    m_allButton->setCursor(Qt::PointingHandCursor);
    m_allButton->setStyleSheet(QStringLiteral(
        "QPushButton {  color: " QX_WHITE ";  background: transparent;  border-radius: 16px;  border: 1px "
        "solid " QX_BORDER ";  padding-left: 12px;  padding-right: 24px;}QPushButton:hover {  "
        "background-color: rgba(65,66,69,0.25);}"));
    const QPixmap caret(QStringLiteral(":/icons/caret-right 1.png"));
    if (!caret.isNull()) {
        auto *caretLabel = new QLabel(m_allButton);
        caretLabel->setFixedSize(12, 12);
        caretLabel->move(38, 10);
        caretLabel->setStyleSheet(QStringLiteral("background: transparent;"));
        caretLabel->setPixmap(caret.scaled(12, 12, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    }

    auto *divider = new QFrame(card);
    divider->setFrameShape(QFrame::NoFrame);
    divider->setGeometry((w - 600) / 2, 231, 600, 1);
    divider->setStyleSheet(
        QStringLiteral("QFrame {  border-top: 1px solid " QX_RAISED ";  background: transparent;}"));

    m_cpuGauge = new CircularGauge(card);
    m_cpuGauge->setFixedSize(120, 120);
    m_cpuGauge->move(75, 87);
    m_cpuGauge->setAccentColor(QColor(QStringLiteral(QX_CPU_ACCENT)));
    m_cpuGauge->setValue(9);
    m_cpuFigure = gaugeFigure(m_cpuGauge);
    m_cpuClock = gaugeLine(card, QString(), 600, QX_WHITE);
    m_cpuClock->setObjectName(QStringLiteral("HardwareCpuMhzLabel"));
    m_cpuName = gaugeLine(card, windowText("CPU"), 400, QX_GAUGE_NAME);
    m_cpuName->setObjectName(QStringLiteral("HardwareCpuNameLabel"));

    m_gpuGauge = new CircularGauge(card);
    m_gpuGauge->setFixedSize(120, 120);
    m_gpuGauge->move(w - kGpuRightInset - 120, m_cpuGauge->y());
    m_gpuGauge->setAccentColor(QColor(QStringLiteral(QX_GPU_ACCENT)));
    m_gpuGauge->setValue(24);
    m_gpuFigure = gaugeFigure(m_gpuGauge);
    m_gpuTemperature = gaugeLine(card, QString(), 600, QX_WHITE);
    m_gpuTemperature->setObjectName(QStringLiteral("HardwareGpuMhzLabel"));
    m_gpuName = gaugeLine(card, windowText("Graphic"), 400, QX_GAUGE_NAME);
    m_gpuName->setObjectName(QStringLiteral("HardwareGpuNameLabel"));
    placeHardwareValueLabels(m_cpuGauge, m_cpuClock, m_cpuName, m_cpuGauge->x(),
                             m_cpuGauge->x() + 120 + kLineGap);
    placeHardwareValueLabels(m_gpuGauge, m_gpuTemperature, m_gpuName, m_gpuGauge->x(),
                             m_gpuGauge->x() + 120 + kLineGap);

    const int xs[3] = {60, 267, 474};
    const QString texts[3] = {windowText("48%"), windowText("52%"), QStringLiteral("32")};
    for (int i = 0; i < 3; ++i) {
        m_badges[i] = makeMemoryCircle(card, xs[i], texts[i]);
        m_badgeTexts[i] = m_badges[i]->findChild<QLabel *>(QStringLiteral("memCircleLabel"));
    }
    QLabel *caption = nullptr;
    QLabel *amount = nullptr;
    makeHardwareValueLabel(card, m_badges[0], windowText("In use"), &caption, &amount);
    m_captions[0] = caption;
    m_amounts[0] = amount;
    makeHardwareValueLabel(card, m_badges[1], windowText("Available"), &caption, &amount);
    m_captions[1] = caption;
    m_amounts[1] = amount;
    // The hook below renames it "Total" before anyone sees it.
    makeHardwareValueLabel(card, m_badges[2], windowText("In use"), &caption, nullptr);
    m_captions[2] = caption;

    retranslateHardwareCard(QStringLiteral("en-US"));
    refreshHardwareCard();
    m_timer = new QTimer(card);
    m_timer->setInterval(refreshMs);
    connect(m_timer, &QTimer::timeout, this, &HardwareCard::refreshHardwareCard);
    m_timer->start();
}

QWidget *HardwareCard::makeMemoryCircle(QWidget *card, int x, const QString &text)
{
    auto *badge = new QWidget(card);
    badge->setFixedSize(kBadgeSize, kBadgeSize);
    badge->move(x, card->height() - 32 - kBadgeSize);
    badge->setStyleSheet(QStringLiteral(
        "QWidget {  background: qlineargradient(      x1:0, y1:0, x2:1, y2:1,      stop:0.0215 " QX_BORDER
        ", "
        "     stop:0.6116 " QX_PANEL "  );  border: 1px solid " QX_RAISED ";  border-radius: 35px;}"));
    auto *label = new QLabel(text, badge);
    label->setObjectName(QStringLiteral("memCircleLabel"));
    label->setFont(sizedFont(QStringLiteral("Inter"), 16, 600));
    label->setStyleSheet(QStringLiteral("color: " QX_WHITE ";"));
    label->setAlignment(Qt::AlignCenter);
    label->setGeometry(0, 0, kBadgeSize, kBadgeSize);
    return badge;
}

void HardwareCard::makeHardwareValueLabel(QWidget *card, QWidget *badge, const QString &caption,
                                          QLabel **outCaption, QLabel **outAmount)
{
    if (!card || !badge)
        return;
    const int left = badge->x() + badge->width() + kLineGap;
    const int centre = badge->y() + badge->height() / 2;
    if (!caption.isEmpty() && outCaption) {
        auto *label = new QLabel(caption, card);
        label->setFont(sizedFont(QStringLiteral("Inter"), 14, 400));
        label->setStyleSheet(QStringLiteral("color: " QX_MUTED "; background: transparent;"));
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        label->setGeometry(left, outAmount ? centre - kCaptionLine : centre - kCaptionLine / 2, 120,
                           kCaptionLine);
        *outCaption = label;
    }
    if (outAmount) {
        auto *label = new QLabel(QStringLiteral("--"), card);
        label->setFont(sizedFont(QStringLiteral("Inter"), 13, 400));
        label->setStyleSheet(QStringLiteral("color: " QX_CAPTION ";"));
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        label->setGeometry(left, centre, 120, kCaptionLine);
        *outAmount = label;
    }
}

void HardwareCard::setMemoryCircleText(QWidget *badge, const QString &text)
{
    if (!badge)
        return;
    if (auto *label = badge->findChild<QLabel *>(QStringLiteral("memCircleLabel")))
        label->setText(text);
}

QString HardwareCard::gibibyteFigure(std::uint64_t bytes)
{
    return gibFigure(double(bytes) / kGiB);
}

QString HardwareCard::formatGigabytes(std::uint64_t bytes, bool persian)
{
    return gibibyteFigure(bytes) + (persian ? QStringLiteral(" گیگابایت") : QStringLiteral(" gb"));
}

void HardwareCard::place(bool persian)
{
    retranslateHardwareCard(persian ? QStringLiteral("fa-IR") : QStringLiteral("en-US"));
}

void HardwareCard::refreshHardwareCard()
{
    SystemInfo::Reader *r = m_reader;
    const int cpu = r ? r->cpuUsagePercent() : SystemInfo::cpuUsagePercent();
    if (unsigned(cpu) <= 100u) {
        if (m_cpuGauge)
            m_cpuGauge->setValue(cpu);
        if (m_cpuFigure)
            m_cpuFigure->setText(QString::number(cpu) + QLatin1Char('%'));
    }
    const int mhz = r ? r->cpuCurrentMhz() : SystemInfo::cpuCurrentMhz();
    if (mhz > 0 && m_cpuClock)
        m_cpuClock->setText(QString::number(mhz) + QStringLiteral(" MHz"));
    const int gpu = r ? r->gpuUsagePercent() : SystemInfo::gpuUsagePercent();
    if (unsigned(gpu) <= 100u) {
        // An idle GPU still shows a sliver of ring, so the card never looks dead.
        const int shown = gpu == 0 ? 1 : gpu;
        if (m_gpuGauge)
            m_gpuGauge->setValue(shown);
        if (m_gpuFigure)
            m_gpuFigure->setText(QString::number(shown) + QLatin1Char('%'));
    }
    const int celsius = r ? r->gpuTemperature() : SystemInfo::gpuTemperature();
    // Without a sensor the line says so rather than inventing a reading.
    if (m_gpuTemperature)
        m_gpuTemperature->setText(celsius > 0 ? QString::number(celsius) + QStringLiteral(" C")
                                              : QStringLiteral("--"));
    alignHardwareLabels(m_persian);

    const SystemInfo::MemoryInfo memory = r ? r->memoryUsage() : SystemInfo::memoryUsage();
    if (memory.totalBytes == 0)
        return;
    const int used = std::clamp<int>(memory.usedPercent, 0, 100);
    m_usedBytes = memory.usedBytes;
    m_availableBytes = memory.availableBytes;
    m_haveMemory = true;
    showMemoryAmounts();
    layoutHardwareCard(m_persian);
    setMemoryCircleText(m_badges[0], QString::number(used) + QLatin1Char('%'));
    setMemoryCircleText(m_badges[1], QString::number(100 - used) + QLatin1Char('%'));
    setMemoryCircleText(m_badges[2], gibibyteFigure(memory.totalBytes));
}

void HardwareCard::showMemoryAmounts()
{
    if (!m_haveMemory)
        return;
    if (m_amounts[0])
        m_amounts[0]->setText(formatGigabytes(m_usedBytes, m_persian));
    if (m_amounts[1])
        m_amounts[1]->setText(formatGigabytes(m_availableBytes, m_persian));
}

void HardwareCard::retranslateHardwareCard(const QString &languageCode)
{
    if (!m_card)
        return;
    m_persian = isPersian(languageCode);
    const bool persian = m_persian;
    const QString family = persian && !m_persianFamily.isEmpty() ? m_persianFamily : QStringLiteral("Inter");
    const int w = m_card->width();

    if (m_allButton) {
        const int x = persian ? 20 : std::max(0, w - m_allButton->width() - 20);
        m_allButton->move(x, m_allButton->y());
    }
    if (m_title) {
        m_title->setText(persian ? QStringLiteral("مشخصات سخت افزار") : objectText("Hardwares"));
        m_title->setLayoutDirection(persian ? Qt::RightToLeft : Qt::LeftToRight);
        if (persian) {
            QFont font(family);
            font.setStyleName(QStringLiteral("Medium"));
            font.setPixelSize(16);
            font.setWeight(QFont::Medium);
            m_title->setFont(font);
            m_title->adjustSize();
            const int natural = m_title->width();
            const int right = std::max(0, w - 20);
            const int limit = m_allButton ? m_allButton->x() + m_allButton->width() + 10 : 20;
            if (right - natural < limit)
                m_title->setGeometry(limit, 20, std::max(10, right - limit), 24);
            else
                m_title->setGeometry(right - natural, 20, natural, 24);
            m_title->setAlignment(Qt::AlignRight | Qt::AlignAbsolute | Qt::AlignVCenter);
        } else {
            m_title->setFont(sizedFont(QStringLiteral("Inter"), 18, 600));
            m_title->setGeometry(20, 20, 240, 28);
            m_title->setAlignment(Qt::AlignLeft | Qt::AlignAbsolute | Qt::AlignVCenter);
        }
    }
    if (m_allButton) {
        m_allButton->setText(persian ? QStringLiteral("همه") : objectText("All"));
        m_allButton->setFont(sizedFont(family, 14, 600));
    }
    // Absolute: a label left right-to-left (the name lines keep that direction
    // after a switch back to English) would otherwise swap the two sides.
    const Qt::Alignment side =
        (persian ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignAbsolute | Qt::AlignVCenter;
    const struct
    {
        QLabel *label;
        const char *persianText;
        const char *english;
    } texts[] = {
        {m_cpuName, "پردازنده", "CPU"},
        {m_gpuName, "گرافیک", "Graphic"},
        {m_captions[0], "در حال استفاده", "In use"},
        {m_captions[1], "در دسترس", "Available"},
        {m_captions[2], "حافظه کل", "Total"},
    };
    for (const auto &t : texts) {
        if (!t.label)
            continue;
        t.label->setText(persian ? QString::fromUtf8(t.persianText) : objectText(t.english));
        t.label->setFont(sizedFont(family, 14, 400));
        t.label->setAlignment(side);
    }
    for (QLabel *amount : {m_amounts[0].data(), m_amounts[1].data()}) {
        if (!amount)
            continue;
        amount->setFont(sizedFont(family, 13, 400));
        amount->setAlignment(side);
    }
    // The unit follows the language: the first reading is taken before the
    // window's hook runs, and a switch would otherwise show the old unit
    // until the next reading.
    showMemoryAmounts();
    layoutHardwareCard(persian);
    alignHardwareLabels(persian);
}

void HardwareCard::placeHardwareValueLabels(QWidget *gauge, QLabel *topLine, QLabel *bottomLine, int gaugeX,
                                            int linesX)
{
    const int y0 = m_cpuGauge->y();
    gauge->move(gaugeX, y0);
    const int top = y0 + gauge->height() / 2 - kLineHeight;
    topLine->setGeometry(linesX, top, kLineWidth, kLineHeight);
    bottomLine->setGeometry(linesX, top + kLineHeight, kLineWidth, kLineHeight);
}

void HardwareCard::alignHardwareLabels(bool persian)
{
    if (!m_card || !m_cpuGauge || !m_gpuGauge || !m_cpuClock || !m_cpuName || !m_gpuTemperature || !m_gpuName)
        return;
    const int w = m_card->width();
    const int g = m_cpuGauge->width();
    QLabel *lines[] = {m_cpuClock, m_cpuName, m_gpuTemperature, m_gpuName};
    if (!persian) {
        placeHardwareValueLabels(m_cpuGauge, m_cpuClock, m_cpuName, 75, 75 + g + kLineGap);
        int b = w - (kGpuRightInset + g);
        if (b < 1)
            b = 0;
        placeHardwareValueLabels(m_gpuGauge, m_gpuTemperature, m_gpuName, b, b + g + kLineGap);
        for (QLabel *line : lines)
            line->setAlignment(Qt::AlignLeft | Qt::AlignAbsolute | Qt::AlignVCenter);
        return;
    }
    placeHardwareValueLabels(m_cpuGauge, m_cpuClock, m_cpuName, kLineWidth + kLineGap + 75, 75);
    int m = w - g < 21 ? 0 : w - g - 20;
    m = std::min(m, kLineGap + kLineWidth + std::max(0, w - g - kGpuRightInset));
    int linesX = m - (kLineGap + kLineWidth);
    if (linesX < 1)
        linesX = 0;
    placeHardwareValueLabels(m_gpuGauge, m_gpuTemperature, m_gpuName, m, linesX);
    for (QLabel *line : lines)
        line->setAlignment(Qt::AlignRight | Qt::AlignAbsolute | Qt::AlignVCenter);
    m_cpuClock->setLayoutDirection(Qt::LeftToRight);
    m_gpuTemperature->setLayoutDirection(Qt::LeftToRight);
    m_cpuName->setLayoutDirection(Qt::RightToLeft);
    m_gpuName->setLayoutDirection(Qt::RightToLeft);
}

void HardwareCard::placeHardwareCaption(QWidget *badge, QLabel *caption, QLabel *amount, int y)
{
    if (!badge || !caption)
        return;
    caption->adjustSize();
    caption->move(std::max(0, badge->x() - std::max(10, caption->width()) - kCaptionGap), y);
    caption->setAlignment(Qt::AlignRight | Qt::AlignAbsolute | Qt::AlignVCenter);
    caption->setLayoutDirection(Qt::RightToLeft);
    caption->raise();
    if (!amount)
        return;
    const int width = std::max(10, QFontMetrics(amount->font()).horizontalAdvance(amount->text()) + 2);
    amount->setGeometry(std::max(0, badge->x() - width - kCaptionGap), y + kCaptionLine, width,
                        std::max(10, amount->height()));
    amount->setAlignment(Qt::AlignRight | Qt::AlignAbsolute | Qt::AlignVCenter);
    amount->setLayoutDirection(Qt::LeftToRight);
    amount->raise();
}

void HardwareCard::layoutHardwareCard(bool persian)
{
    if (!m_card || !m_badges[0] || !m_badges[1] || !m_badges[2])
        return;
    if (!persian) {
        const int xs[3] = {60, 267, 474};
        for (int i = 0; i < 3; ++i) {
            QWidget *badge = m_badges[i];
            badge->move(xs[i], badge->y());
            const int x = badge->x() + badge->width() + kLineGap;
            if (QLabel *caption = m_captions[i]) {
                caption->move(x, caption->y());
                caption->setAlignment(Qt::AlignLeft | Qt::AlignAbsolute | Qt::AlignVCenter);
                caption->setLayoutDirection(Qt::LeftToRight);
                caption->raise();
                if (QLabel *amount = m_amounts[i]) {
                    amount->setGeometry(x, caption->y() + kCaptionLine, 120, std::max(10, amount->height()));
                    amount->setAlignment(Qt::AlignLeft | Qt::AlignAbsolute | Qt::AlignVCenter);
                    amount->setLayoutDirection(Qt::LeftToRight);
                    amount->raise();
                }
            }
        }
        return;
    }
    const int w = m_card->width();
    const int b = m_badges[2]->width();
    const auto positive = [](int x) { return x > 0 ? x : 0; };
    m_badges[2]->move(positive(w - b - 23), m_badges[2]->y());
    m_badges[1]->move(positive(m_badges[2]->x() - b - 137), m_badges[1]->y());
    m_badges[0]->move(positive(m_badges[1]->x() - b - 137), m_badges[0]->y());
    QLabel *row = m_captions[1] ? m_captions[1] : m_captions[0];
    if (!row)
        return;
    const int y = row->y();
    placeHardwareCaption(m_badges[0], m_captions[0], m_amounts[0], y);
    placeHardwareCaption(m_badges[1], m_captions[1], m_amounts[1], y);
    placeHardwareCaption(m_badges[2], m_captions[2], nullptr, y);
}
