#include "ui/pages/signin/AuthProgressOverlay.h"

#include "ui/widgets/Palette.h"

#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

// Eight orange dots on a ring; the brightest one marks the step.
class AuthProgressOverlay::RingSpinner : public QWidget
{
public:
    explicit RingSpinner(QWidget *parent) : QWidget(parent)
    {
        setFixedSize(72, 72);
        setAttribute(Qt::WA_TranslucentBackground);
    }
    ~RingSpinner() override = default;

    int step = 0;
    bool busy = false;

protected:
    void paintEvent(QPaintEvent *) override
    {
        if (!busy)
            return;
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        const QPointF centre(width() / 2.0, height() / 2.0);
        for (int i = 0; i < kDots; ++i) {
            const double angle = i * 45.0 * M_PI / 180.0;
            // Whole-pixel offsets; y grows downwards, so i runs clockwise.
            const QPointF dot(centre.x() + int(20 * std::cos(angle)), centre.y() + int(20 * std::sin(angle)));
            painter.setBrush(QColor(255, 122, 24, dotAlpha(i, step)));
            painter.drawEllipse(dot, 4, 4);
        }
    }
};

AuthProgressOverlay::AuthProgressOverlay(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("AuthProgressOverlay"));
    setAttribute(Qt::WA_StyledBackground, true);
    setStyleSheet(QStringLiteral(
        "#AuthProgressOverlay{background:rgba(0,0,0,0.55);} "
        "#AuthProgressPanel{background:" QX_BACKGROUND ";border:1px solid " QX_PROGRESS_BORDER
        ";border-radius:12px;} "
        "#AuthProgressText{color:" QX_PROGRESS_TEXT ";font-weight:600;font-size:14px;} "
        "#AuthProgressLogo{background:transparent;} "
        "#AuthProgressHint{color:" QX_PROGRESS_HINT ";font-size:12px;} "
        "#AuthProgressCancel{color:" QX_WHITE ";text-decoration:underline;background:transparent;border:none;"
        "padding:0;} "
        "#AuthProgressCancel:hover{color:" QX_WAIT_ORANGE ";}"));

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    auto *panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("AuthProgressPanel"));
    panel->setFixedSize(520, 300);
    outer->addWidget(panel, 0, Qt::AlignCenter);

    auto *logo = new QLabel(panel);
    logo->setObjectName(QStringLiteral("AuthProgressLogo"));
    const QPixmap logoPixmap(QStringLiteral(":/icons/quorlix_logo.png"));
    if (!logoPixmap.isNull())
        logo->setPixmap(logoPixmap.scaledToHeight(48, Qt::SmoothTransformation));

    m_spinner = new RingSpinner(panel);

    m_text = new QLabel(tr("Logging in..."), panel);
    m_text->setObjectName(QStringLiteral("AuthProgressText"));
    m_hint = new QLabel(tr("Please continue on your browser to login."), panel);
    m_hint->setObjectName(QStringLiteral("AuthProgressHint"));
    m_cancel = new QPushButton(tr("Cancel"), panel);
    m_cancel->setObjectName(QStringLiteral("AuthProgressCancel"));
    m_cancel->setCursor(Qt::PointingHandCursor);

    auto *column = new QVBoxLayout(panel);
    column->setContentsMargins(24, 24, 24, 24);
    column->setSpacing(10);
    column->addWidget(logo, 0, Qt::AlignHCenter);
    column->addStretch();
    column->addWidget(m_spinner, 0, Qt::AlignHCenter);
    column->addWidget(m_text, 0, Qt::AlignHCenter);
    column->addWidget(m_hint, 0, Qt::AlignHCenter);
    column->addWidget(m_cancel, 0, Qt::AlignHCenter);
    column->addStretch();

    m_timer = new QTimer(this);
    hide();
}

AuthProgressOverlay::~AuthProgressOverlay() = default;

int AuthProgressOverlay::dotAlpha(int i, int step)
{
    // A true modulo: the dot just before the step is the faintest, not the
    // brightest (C++'s % keeps the sign of i - step).
    const int distance = ((i - step) % kDots + kDots) % kDots;
    return std::max(60, 255 - 28 * distance);
}

void AuthProgressOverlay::start(const QString &message)
{
    show();
    raise();
    m_text->setText(message);
    m_hint->setVisible(true);
    m_cancel->setVisible(true);

    m_timer->stop();
    disconnect(m_timer, &QTimer::timeout, nullptr, nullptr);
    m_spinner->busy = true;
    m_spinner->step = m_step;
    m_spinner->update();

    connect(m_timer, &QTimer::timeout, this, &AuthProgressOverlay::onSpinnerTick);
    m_timer->start(kSpinnerIntervalMs);
}

void AuthProgressOverlay::stop()
{
    m_timer->stop();
    hide();
}

int AuthProgressOverlay::step() const
{
    return m_step;
}

QString AuthProgressOverlay::message() const
{
    return m_text->text();
}

bool AuthProgressOverlay::isSpinning() const
{
    return m_timer->isActive();
}

void AuthProgressOverlay::onSpinnerTick()
{
    m_step = (m_step + 1) % kDots;
    m_spinner->step = m_step;
    m_spinner->update();
}

void AuthProgressOverlay::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
}
