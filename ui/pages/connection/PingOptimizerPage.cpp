#include "ui/pages/connection/PingOptimizerPage.h"

#include "connection/PingSweep.h"
#include "ui/widgets/Gauges.h"
#include "ui/widgets/Palette.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const char kBannerPicture[] = ":/icons/ping_optimiz_baner.png";
const char kDotIdle[] = "background-color: rgba(255, 255, 255, 0.3); border-radius: 4px;";
const char kDotLit[] = "background-color: " QX_PROGRESS "; border-radius: 4px;";

} // namespace

const QStringList &PingOptimizerPage::regions()
{
    static const QStringList names{QStringLiteral("North America"), QStringLiteral("South America"),
                                   QStringLiteral("Europe"),        QStringLiteral("Asia"),
                                   QStringLiteral("Africa"),        QStringLiteral("Oceania")};
    return names;
}

PingOptimizerPage::PingOptimizerPage(QWidget *parent, PingSweep *sweep) : QWidget(parent), m_sweep(sweep)
{
    setObjectName(QStringLiteral("PingOptimizerPage"));
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(QStringLiteral("QWidget#PingOptimizerPage { background-color: " QX_OPTIMIZER_BACKGROUND
                                 "; border-radius: 12px; }"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_banner = new QLabel(this);
    m_banner->setObjectName(QStringLiteral("pingOptimizerBanner"));
    m_banner->setAlignment(Qt::AlignCenter);
    m_banner->setScaledContents(true);
    m_banner->setStyleSheet(QStringLiteral("border-radius: 12px;"));
    const QPixmap banner(QString::fromLatin1(kBannerPicture));
    if (!banner.isNull()) {
        m_banner->setPixmap(banner);
    } else {
        m_banner->setText(QStringLiteral("PING OPTIMIZER"));
        m_banner->setStyleSheet(QStringLiteral("color: white; font-size: 48px; font-weight: bold;"));
    }
    layout->addWidget(m_banner, 1);

    // Header band: logo in the middle, the window's two buttons on the right.
    m_header = new QWidget(this);
    m_header->setObjectName(QStringLiteral("headerBar"));
    m_header->setStyleSheet(QStringLiteral("background-color: transparent;"));
    auto *headerLayout = new QHBoxLayout(m_header);
    headerLayout->setContentsMargins(20, 10, 20, 10);
    headerLayout->setSpacing(0);
    headerLayout->addStretch();
    auto *logo = new QLabel(m_header);
    logo->setObjectName(QStringLiteral("pingOptimizerLogo"));
    logo->setAlignment(Qt::AlignCenter);
    logo->setFixedSize(120, 40);
    const QPixmap logoPicture(QStringLiteral(":/icons/quorlix_logo.png"));
    if (!logoPicture.isNull()) {
        logo->setPixmap(logoPicture.scaled(120, 40, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    } else {
        logo->setText(QStringLiteral("QUORLIX"));
        logo->setStyleSheet(
            QStringLiteral("color: white; font-size: 18px; font-weight: bold; background: transparent;"));
    }
    headerLayout->addWidget(logo);
    headerLayout->addStretch();
    auto *controls = new QWidget(m_header);
    controls->setFixedSize(90, 40);
    controls->setStyleSheet(QStringLiteral("background: transparent;"));
    auto *controlsLayout = new QHBoxLayout(controls);
    controlsLayout->setContentsMargins(0, 5, 0, 5);
    controlsLayout->setSpacing(5);
    m_minimize = new QPushButton(QStringLiteral("\u2014"), controls);
    m_minimize->setObjectName(QStringLiteral("windowControlBtn"));
    m_minimize->setFixedSize(35, 30);
    m_minimize->setStyleSheet(QStringLiteral(
        "QPushButton#windowControlBtn {background-color: transparent;border: none;border-radius: 3px;color: "
        "white;font-size: 14px;font-weight: bold;}QPushButton#windowControlBtn:hover {background-color: "
        "rgba(255, 255, 255, 0.2);}"));
    m_close = new QPushButton(QStringLiteral("\u2715"), controls);
    m_close->setObjectName(QStringLiteral("windowControlBtnClose"));
    m_close->setFixedSize(35, 30);
    m_close->setStyleSheet(QStringLiteral(
        "QPushButton#windowControlBtnClose {background-color: transparent;border: none;border-radius: "
        "3px;color: white;font-size: 12px;font-weight: bold;}QPushButton#windowControlBtnClose:hover "
        "{background-color: rgba(255, 0, 0, 0.7);}"));
    controlsLayout->addWidget(m_minimize);
    controlsLayout->addWidget(m_close);
    headerLayout->addWidget(controls);
    connect(m_minimize, &QPushButton::clicked, this, [this] {
        if (QWidget *w = window_())
            w->showMinimized();
    });
    connect(m_close, &QPushButton::clicked, this, [this] {
        if (QWidget *w = window_())
            w->close();
    });

    m_separator = new QFrame(this);
    m_separator->setObjectName(QStringLiteral("headerSeparator"));
    m_separator->setFrameShape(QFrame::HLine);
    m_separator->setFrameShadow(QFrame::Plain);
    m_separator->setFixedHeight(1);
    m_separator->setStyleSheet(QStringLiteral("QFrame#headerSeparator { color: rgba(255, 255, 255, 0.2); "
                                              "background-color: rgba(255, 255, 255, 0.2); }"));

    m_section = new QWidget(this);
    m_section->setObjectName(QStringLiteral("analyzingSection"));
    m_section->setStyleSheet(QStringLiteral("background-color: transparent;"));
    auto *sectionLayout = new QVBoxLayout(m_section);
    sectionLayout->setContentsMargins(50, 100, 50, 100);
    sectionLayout->setSpacing(30);
    sectionLayout->setAlignment(Qt::AlignCenter);
    auto *title = new QLabel(QStringLiteral("Analyzing routes"), m_section);
    title->setObjectName(QStringLiteral("analyzingTitle"));
    title->setAlignment(Qt::AlignCenter);
    title->setStyleSheet(QStringLiteral(
        "QLabel#analyzingTitle {color: white;font-size: 28px;font-weight: 500;background: transparent;}"));
    sectionLayout->addWidget(title, 0, Qt::AlignCenter);
    m_circle = new CircularProgressWidget(m_section);
    m_circle->setObjectName(QStringLiteral("circularProgress"));
    m_circle->setProgress(0);
    m_circle->setRouteCounts(0, 0);
    sectionLayout->addWidget(m_circle, 0, Qt::AlignCenter);

    auto *block = new QWidget(m_section);
    block->setFixedHeight(60);
    block->setStyleSheet(QStringLiteral("background: transparent;"));
    auto *blockLayout = new QVBoxLayout(block);
    blockLayout->setContentsMargins(0, 0, 0, 0);
    blockLayout->setSpacing(15);
    m_track = new QWidget(block);
    m_track->setFixedHeight(4);
    m_track->setAttribute(Qt::WA_StyledBackground);
    m_track->setStyleSheet(QStringLiteral("background-color: rgba(255, 255, 255, 0.2); border-radius: 2px;"));
    m_fill = new QWidget(m_track);
    m_fill->setObjectName(QStringLiteral("progressFill"));
    m_fill->setAttribute(Qt::WA_StyledBackground);
    m_fill->setStyleSheet(QStringLiteral("background-color: " QX_PROGRESS "; border-radius: 2px;"));
    m_fill->setGeometry(0, 0, 0, 4);
    blockLayout->addWidget(m_track);
    auto *row = new QWidget(block);
    row->setFixedHeight(20);
    auto *rowLayout = new QHBoxLayout(row);
    rowLayout->setContentsMargins(0, 0, 0, 0);
    rowLayout->setSpacing(20);
    for (const QString &region : regions()) {
        auto *cell = new QWidget(row);
        auto *cellLayout = new QHBoxLayout(cell);
        cellLayout->setContentsMargins(0, 0, 0, 0);
        cellLayout->setSpacing(8);
        auto *dot = new QLabel(cell);
        dot->setFixedSize(8, 8);
        dot->setStyleSheet(QString::fromLatin1(kDotIdle));
        auto *name = new QLabel(region, cell);
        name->setStyleSheet(QStringLiteral("color: rgba(255, 255, 255, 0.7); font-size: 11px;"));
        cellLayout->addWidget(dot);
        cellLayout->addWidget(name);
        rowLayout->addWidget(cell);
        m_regionDots.insert(region, dot);
    }
    blockLayout->addWidget(row);
    sectionLayout->addWidget(block);

    if (m_sweep) {
        connect(m_sweep, &PingSweep::progress, this, &PingOptimizerPage::setProgress);
        connect(m_sweep, &PingSweep::animationStarted, this, &PingOptimizerPage::animateRegionDots);
        connect(m_sweep, &PingSweep::finished, this, &PingOptimizerPage::finished);
    }
    fitOverlays(true);
}

QWidget *PingOptimizerPage::window_() const
{
    return parentWidget() ? parentWidget()->window() : nullptr;
}

void PingOptimizerPage::startAnalysis()
{
    resetRegionDots();
    setProgress(0, 0, 0);
    if (m_sweep) {
        m_sweep->start();
        return;
    }
    // Nothing to measure with: the callers still hear the analysis end.
    QTimer::singleShot(0, this, &PingOptimizerPage::finished);
}

void PingOptimizerPage::setProgress(int current, int total, int percent)
{
    m_circle->setProgress(percent);
    m_circle->setRouteCounts(current, total);
    m_fill->setGeometry(0, 0, percent * m_track->width() / 100, 4);
}

void PingOptimizerPage::resetRegionDots()
{
    for (QLabel *dot : qAsConst(m_regionDots))
        dot->setStyleSheet(QString::fromLatin1(kDotIdle));
}

void PingOptimizerPage::animateRegionDots()
{
    auto *timer = new QTimer(this);
    auto index = std::make_shared<int>(0);
    connect(timer, &QTimer::timeout, this, [this, timer, index] {
        if (*index < regions().size()) {
            if (QLabel *dot = m_regionDots.value(regions().at(*index)))
                dot->setStyleSheet(QString::fromLatin1(kDotLit));
            ++*index;
            return;
        }
        timer->stop();
        timer->deleteLater();
    });
    timer->start(m_sweep ? m_sweep->intervals().regionDotMs : PingSweepIntervals().regionDotMs);
}

void PingOptimizerPage::fitOverlays(bool withSection)
{
    if (m_banner->pixmap().isNull() == false) {
        const QPixmap banner(QString::fromLatin1(kBannerPicture));
        if (!banner.isNull())
            m_banner->setPixmap(banner.scaled(size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    }
    m_header->setGeometry(0, 0, width(), kHeaderHeight);
    m_header->raise();
    m_separator->setGeometry(0, kHeaderHeight, width(), 1);
    m_separator->raise();
    if (withSection) {
        m_section->setGeometry(0, 70, width(), qMax(0, height() - 70));
        m_section->raise();
    }
}

void PingOptimizerPage::mousePressEvent(QMouseEvent *event)
{
    QWidget *w = window_();
    if (w && event->button() == Qt::LeftButton && event->position().y() <= kHeaderHeight) {
        m_dragging = true;
        m_dragOffset = event->globalPosition().toPoint() - w->frameGeometry().topLeft();
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void PingOptimizerPage::mouseMoveEvent(QMouseEvent *event)
{
    QWidget *w = window_();
    if (w && m_dragging && (event->buttons() & Qt::LeftButton)) {
        w->move(event->globalPosition().toPoint() - m_dragOffset);
        event->accept();
        return;
    }
    QWidget::mouseMoveEvent(event);
}

void PingOptimizerPage::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && m_dragging) {
        m_dragging = false;
        event->accept();
        return;
    }
    QWidget::mouseReleaseEvent(event);
}

void PingOptimizerPage::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    fitOverlays(false);
}

void PingOptimizerPage::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    fitOverlays(true);
    // The window coming back from the task bar re-shows the page; that is no
    // request to measure again.
    if (!event->spontaneous())
        startAnalysis();
}
