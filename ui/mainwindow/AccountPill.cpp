#include "ui/mainwindow/AccountPill.h"

#include "ui/widgets/Palette.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>
#include <QRegion>
#include <QVBoxLayout>

namespace {

struct RowSpec
{
    const char *name;
    const char *icon;
    const char *english;
    const char *persian;
};
const RowSpec kRows[3] = {
    {"HeaderPopupItem1", ":/icons/kingz.png", QT_TRANSLATE_NOOP("MainWindow", "World Leading Technology"),
     "فناوری پیشرو در جهان"},
    {"HeaderPopupItem2", ":/icons/contorel.png", QT_TRANSLATE_NOOP("MainWindow", "2000+ Games included"),
     "2000+ بازی شامل میشود"},
    {"HeaderPopupItem3", ":/icons/supportt.png",
     QT_TRANSLATE_NOOP("MainWindow", "Exclusive Customer Support"), "پشتیبانی اختصاصی مشتریان"},
};

// What the layouts leave for texts: the pill's text column (264 less its
// margins, the avatar, the caret and three spacings) and a pop-up row's text
// (264 less the pop-up's margins, the icon and one spacing).
constexpr int kPillTextWidth = 264 - 8 - 20 - 44 - 24 - 3 * 10;
constexpr int kRowTextWidth = 264 - 4 - 20 - 28 - 12;

// The rows' font at its design size, made smaller only as far as a text
// needs to fit its row whole (a longer translation, a wider face).
QFont rowFont(const QString &family, const QString &text)
{
    QFont font(family);
    font.setPointSize(14);
    font.setWeight(QFont::Medium);
    while (font.pointSizeF() > 9 && QFontMetrics(font).horizontalAdvance(text) > kRowTextWidth)
        font.setPointSizeF(font.pointSizeF() - 0.5);
    return font;
}

// A long name or address ends in an ellipsis rather than a cut letter; the
// whole text is the label's tooltip then.
void setElided(QLabel *label, const QString &text)
{
    const QString shown = label->fontMetrics().elidedText(text, Qt::ElideRight, kPillTextWidth);
    label->setText(shown);
    label->setToolTip(shown == text ? QString() : text);
}

QPixmap scaled(const QString &path, int side)
{
    const QPixmap pixmap(path);
    if (pixmap.isNull())
        return {};
    return pixmap.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

} // namespace

const QString AccountPill::kClosedStyle =
    QStringLiteral("QWidget#AccountPill {  background-color: " QX_PANEL ";  border-radius: 27px;}");
const QString AccountPill::kOpenStyle =
    QStringLiteral("QWidget#AccountPill {  background-color: " QX_PANEL ";  border-top-left-radius: 12px;  "
                   "border-top-right-radius: 12px;  border-bottom-left-radius: 0px;  "
                   "border-bottom-right-radius: 0px;}");

ProfilePopupHideFilter::ProfilePopupHideFilter(std::function<void()> onHide, QObject *parent)
    : QObject(parent), m_onHide(std::move(onHide))
{}

bool ProfilePopupHideFilter::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Hide && m_onHide)
        m_onHide();
    return QObject::eventFilter(watched, event);
}

AccountPill::AccountPill(QWidget *headerBand, QWidget *window, const QString &persianFamily,
                         const AccountTexts &texts, QObject *parent)
    : QObject(parent), m_persianFamily(persianFamily)
{
    m_pill = new QWidget(headerBand);
    m_pill->setObjectName(QStringLiteral("AccountPill"));
    m_pill->setAttribute(Qt::WA_StyledBackground, true);
    m_pill->setFixedSize(264, 54);
    m_pill->move(1022, 20);
    setAccountPillOpen(false);
    auto *row = new QHBoxLayout(m_pill);
    row->setContentsMargins(8, 8, 20, 12);
    row->setSpacing(10);

    auto *avatar = new QLabel(m_pill);
    avatar->setFixedSize(44, 44);
    avatar->setStyleSheet(QStringLiteral("border-radius: 22px; background-color: transparent;"));
    const QPixmap avatarPixmap = scaled(QStringLiteral(":/icons/avatar-default.png"), 44);
    if (!avatarPixmap.isNull())
        avatar->setPixmap(avatarPixmap);
    row->addWidget(avatar);

    auto *column = new QVBoxLayout;
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    m_userName = new QLabel(m_pill);
    m_userName->setObjectName(QStringLiteral("HeaderUserName"));
    QFont nameFont(QStringLiteral("Inter"));
    nameFont.setPointSize(14);
    nameFont.setWeight(QFont::Normal);
    m_userName->setFont(nameFont);
    m_userName->setStyleSheet(QStringLiteral("color: " QX_WHITE ";"));
    m_userEmail = new QLabel(m_pill);
    m_userEmail->setObjectName(QStringLiteral("HeaderUserEmail"));
    QFont emailFont(QStringLiteral("Inter"));
    emailFont.setPointSize(12);
    emailFont.setWeight(QFont::Medium);
    m_userEmail->setFont(emailFont);
    m_userEmail->setStyleSheet(QStringLiteral("color: " QX_MUTED ";"));
    column->addWidget(m_userName);
    column->addWidget(m_userEmail);
    row->addLayout(column, 1);
    row->addStretch(0);

    m_caret = new QPushButton(m_pill);
    m_caret->setFixedSize(24, 24);
    m_caret->setFlat(true);
    m_caret->setCursor(Qt::PointingHandCursor);
    m_caret->setFocusPolicy(Qt::NoFocus);
    m_caret->setIcon(QIcon(QStringLiteral(":/icons/caret-down.png")));
    m_caret->setIconSize(QSize(32, 18));
    m_caret->setStyleSheet(QStringLiteral("QPushButton {  background: transparent;  border: none;}"));
    row->addWidget(m_caret, 0, Qt::AlignVCenter);

    m_popup = new QFrame(window, Qt::Popup | Qt::FramelessWindowHint);
    m_popup->setObjectName(QStringLiteral("HeaderProfilePopup"));
    m_popup->setAttribute(Qt::WA_StyledBackground, true);
    m_popup->setFixedSize(264, 194);
    m_popup->setStyleSheet(QStringLiteral("QFrame#HeaderProfilePopup {  background: " QX_PANEL
                                          ";  border-top-left-radius: 0px;  "
                                          "border-top-right-radius: 0px;  border-bottom-right-radius: 13px;  "
                                          "border-bottom-left-radius: 12px;}"));
    m_popup->hide();
    auto *popupLayout = new QVBoxLayout(m_popup);
    popupLayout->setContentsMargins(4, 12, 20, 12);
    popupLayout->setSpacing(10);
    for (int i = 0; i < 3; ++i) {
        auto *item = new QWidget(m_popup);
        item->setObjectName(QLatin1String(kRows[i].name));
        item->setAttribute(Qt::WA_StyledBackground, true);
        item->setStyleSheet(QStringLiteral("background: transparent;"));
        auto *itemLayout = new QHBoxLayout(item);
        itemLayout->setContentsMargins(0, 0, 0, 0);
        itemLayout->setSpacing(12);
        auto *icon = new QLabel(item);
        icon->setFixedSize(28, 28);
        icon->setStyleSheet(QStringLiteral("background: transparent;"));
        const QPixmap iconPixmap = scaled(QLatin1String(kRows[i].icon), 28);
        if (!iconPixmap.isNull())
            icon->setPixmap(iconPixmap);
        auto *text = new QLabel(item);
        text->setObjectName(QStringLiteral("HeaderPopupRowText"));
        text->setFont(rowFont(QStringLiteral("Inter"), QString()));
        text->setStyleSheet(QStringLiteral("color: " QX_WHITE ";"));
        text->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        itemLayout->addWidget(icon, 0, Qt::AlignVCenter);
        itemLayout->addWidget(text, 0, Qt::AlignVCenter);
        itemLayout->addStretch(1);
        popupLayout->addWidget(item);
        m_rows[i] = {item, text};
    }

    m_hit = new QPushButton(m_pill);
    m_hit->setObjectName(QStringLiteral("AccountPillHit"));
    m_hit->setGeometry(0, 0, 264, 54);
    m_hit->setFlat(true);
    m_hit->setCursor(Qt::PointingHandCursor);
    m_hit->setFocusPolicy(Qt::NoFocus);
    m_hit->setStyleSheet(
        QStringLiteral("QPushButton#AccountPillHit { background: transparent; border: none; }"));
    m_hit->raise();
    m_caret->raise();

    connect(m_hit, &QPushButton::clicked, this, &AccountPill::toggleProfilePopup);
    connect(m_caret, &QPushButton::clicked, this, &AccountPill::toggleProfilePopup);
    // The pop-up is a window of its own and may be torn down after the pill
    // (or the other way round): the callback holds the pill guarded.
    QPointer<AccountPill> self(this);
    QPointer<QWidget> pill(m_pill);
    m_popup->installEventFilter(new ProfilePopupHideFilter(
        [self, pill] {
            if (self && pill)
                self->setAccountPillOpen(false);
        },
        m_popup));

    showAccount(texts);
}

void AccountPill::setAccountPillOpen(bool open)
{
    if (!m_pill)
        return;
    m_pill->setStyleSheet(open ? kOpenStyle : kClosedStyle);
    const qreal w = m_pill->width();
    const qreal h = m_pill->height();
    QPainterPath path;
    if (open) {
        path.moveTo(12, 0);
        path.lineTo(w - 12, 0);
        path.quadTo(w, 0, w, 12);
        path.lineTo(w, h);
        path.lineTo(0, h);
        path.lineTo(0, 12);
        path.quadTo(0, 0, 12, 0);
        path.closeSubpath();
    } else {
        path.addRoundedRect(QRectF(0, 0, w, h), 27, 27, Qt::AbsoluteSize);
    }
    m_pill->setMask(QRegion(path.toFillPolygon(QTransform()).toPolygon(), Qt::OddEvenFill));
}

void AccountPill::toggleProfilePopup()
{
    if (!m_popup || !m_pill)
        return;
    if (m_popup->isVisible()) {
        m_popup->hide();
        return;
    }
    const QPoint below = m_pill->mapToGlobal(QPoint(0, m_pill->height()));
    m_popup->move(below.x(), below.y() - 1);
    setAccountPillOpen(true);
    m_popup->show();
    m_popup->raise();
}

void AccountPill::showAccount(const AccountTexts &texts)
{
    m_shown = texts;
    setElided(m_userName, texts.name);
    setElided(m_userEmail, texts.emailLabel);
}

void AccountPill::retranslate()
{
    // One size for all three rows: the one the longest of them needs.
    const QString family = m_persian ? m_persianFamily : QStringLiteral("Inter");
    QStringList texts;
    QFont font = rowFont(family, QString());
    for (const RowSpec &row : kRows) {
        texts << (m_persian ? QString::fromUtf8(row.persian)
                            : QCoreApplication::translate("MainWindow", row.english));
        const QFont fitted = rowFont(family, texts.last());
        if (fitted.pointSizeF() < font.pointSizeF())
            font = fitted;
    }
    for (int i = 0; i < 3; ++i) {
        m_rows[i].text->setFont(font);
        m_rows[i].text->setText(texts[i]);
    }
}

void AccountPill::place(bool persian)
{
    m_persian = persian;
    // The pill itself is not mirrored: name and e-mail stay next to the
    // avatar in either language, in the Persian face when Persian (the
    // window's Latin face has no Persian letters, and a fallback face draws
    // them apart).
    const QString family = persian ? m_persianFamily : QStringLiteral("Inter");
    for (QLabel *label : {m_userName, m_userEmail}) {
        QFont font = label->font();
        font.setFamily(family);
        label->setFont(font);
        label->setAlignment(Qt::AlignLeft | Qt::AlignAbsolute | Qt::AlignVCenter);
    }
    showAccount(m_shown); // elided again for the face now in use
    // The pop-up itself stays left-to-right; only its rows turn around.
    m_popup->setLayoutDirection(Qt::LeftToRight);
    m_popup->layout()->setContentsMargins(4, 12, 20, 12);
    for (const Row &row : m_rows) {
        row.row->setLayoutDirection(persian ? Qt::RightToLeft : Qt::LeftToRight);
        row.text->setAlignment((persian ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    }
    retranslate();
}
