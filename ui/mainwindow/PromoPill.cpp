#include "ui/mainwindow/PromoPill.h"

#include "services/PromoService.h"
#include "ui/widgets/Palette.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QSpacerItem>

namespace {
const char kTextStyle[] = "color:" QX_WHITE "; font-family: Inter; font-weight:700; font-size:14px; "
                          "line-height:20px; text-transform: capitalize;";
const int kLeadingGap = 16;
const int kTrailingGap = 306;
// What the fixed 223 px pill has room for inside its margins; a longer text
// from the service ends in an ellipsis instead of stretching the row's
// layout over thousands of pixels.
const int kLabelRoom = 183;
const int kBadgeRoom = 100;

QString fitted(const QLabel *label, const QString &text, int room)
{
    return label->fontMetrics().elidedText(text, Qt::ElideRight, room);
}
} // namespace

PromoPill::PromoPill(QWidget *header, QObject *parent) : QObject(parent)
{
    m_pill = new QWidget(header);
    m_pill->setObjectName(QStringLiteral("HeaderSignUpCta"));
    m_pill->setAttribute(Qt::WA_StyledBackground, true);
    m_pill->setFixedSize(223, 54);
    m_pill->setStyleSheet(
        QStringLiteral("QWidget#HeaderSignUpCta {  background-color: " QX_PANEL ";  border-radius: 10px;}"));
    m_pill->hide();
    auto *row = new QHBoxLayout(m_pill);
    row->setContentsMargins(20, 12, 20, 12);
    row->setSpacing(10);

    m_label = new QLabel(PromoService::signUpText(), m_pill);
    m_label->setObjectName(QStringLiteral("HeaderSignUpCtaLabel"));
    m_label->setWordWrap(false);
    m_label->setSizePolicy(QSizePolicy::MinimumExpanding, QSizePolicy::Preferred);
    m_label->setAlignment(Qt::AlignCenter);
    QFont font(QStringLiteral("Inter"));
    font.setPointSize(14);
    font.setWeight(QFont::Bold);
    m_label->setFont(font);
    m_label->setStyleSheet(QLatin1String(kTextStyle));

    m_badge = new QWidget(m_pill);
    m_badge->setObjectName(QStringLiteral("HeaderSignUpBadge"));
    m_badge->setAttribute(Qt::WA_StyledBackground, true);
    m_badge->setFixedHeight(30);
    m_badge->setMinimumWidth(56);
    m_badge->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Fixed);
    m_badge->setStyleSheet(QStringLiteral("QWidget#HeaderSignUpBadge {  background-color: " QX_SIGN_UP_BADGE
                                          ";  border-radius: 7px;}"));
    auto *badgeRow = new QHBoxLayout(m_badge);
    badgeRow->setContentsMargins(10, 0, 10, 0);
    badgeRow->setSpacing(0);
    m_badgeLabel = new QLabel(QCoreApplication::translate("MainWindow", "50 % OFF"), m_badge);
    m_badgeLabel->setFont(m_label->font());
    m_badgeLabel->setAlignment(Qt::AlignCenter);
    m_badgeLabel->setStyleSheet(QLatin1String(kTextStyle));
    badgeRow->addWidget(m_badgeLabel, 1);

    row->addWidget(m_label, 1);
    row->addWidget(m_badge, 0, Qt::AlignVCenter);
    m_badge->hide();

    // Over the whole pill, so a press on the label or the badge opens the link too.
    m_hit = new QPushButton(m_pill);
    m_hit->setObjectName(QStringLiteral("HeaderSignUpCtaHit"));
    m_hit->setGeometry(0, 0, 223, 54);
    m_hit->setFlat(true);
    m_hit->setCursor(Qt::PointingHandCursor);
    m_hit->setStyleSheet(
        QStringLiteral("QPushButton#HeaderSignUpCtaHit { background: transparent; border: none; }"));
    m_hit->raise();
    connect(m_hit, &QPushButton::clicked, this, &PromoPill::clicked);

    // Until the first evaluation runs, the row keeps both gaps.
    m_leading = new QSpacerItem(kLeadingGap, 0, QSizePolicy::Fixed, QSizePolicy::Minimum);
    m_trailing = new QSpacerItem(kTrailingGap, 0, QSizePolicy::Fixed, QSizePolicy::Minimum);
}

PromoPill::~PromoPill() = default;

void PromoPill::addToRow(QHBoxLayout *row, QWidget *searchBar)
{
    row->addWidget(searchBar, 0, Qt::AlignTop);
    row->addItem(m_leading);
    row->addWidget(m_pill, 0, Qt::AlignTop);
    row->addItem(m_trailing);
    // The row ends in a stretch, so the bar follows the header spacer and the
    // leftover width stays at the end. Without it the layout shares that
    // width out among the fixed items and moves the bar (and the pill) under
    // the bell and the account pill, which sit at fixed places on the band:
    // in Persian the edit and the glass end up hidden there.
    row->addStretch(1);
}

void PromoPill::setHeaderPromoSpacing(bool on)
{
    if (!m_pill)
        return;
    m_pill->setVisible(on);
    m_leading->changeSize(on ? kLeadingGap : 0, 0, QSizePolicy::Fixed, QSizePolicy::Minimum);
    m_trailing->changeSize(on ? kTrailingGap : 0, 0, QSizePolicy::Fixed, QSizePolicy::Minimum);
    if (QWidget *owner = m_pill->parentWidget()) {
        if (QLayout *layout = owner->layout())
            layout->invalidate();
    }
}

void PromoPill::setLabelText(const QString &text)
{
    if (m_label)
        m_label->setText(fitted(m_label, text, kLabelRoom));
}

void PromoPill::setBadge(bool shown, const QString &text)
{
    if (!m_badge || !m_badgeLabel)
        return;
    m_badgeLabel->setText(fitted(m_badgeLabel, text, kBadgeRoom));
    m_badge->setVisible(shown);
    if (shown)
        m_badge->adjustSize();
}
