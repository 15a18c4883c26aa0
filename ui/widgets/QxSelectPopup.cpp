#include "ui/widgets/QxSelectPopup.h"

#include "ui/widgets/Palette.h"
#include "ui/widgets/WindowTranslucency.h"

#include <QGraphicsDropShadowEffect>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainterPath>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const char kCheckPicture[] = ":/icons/check.png";

QGraphicsDropShadowEffect *makeCardShadow(QWidget *card)
{
    auto *shadow = new QGraphicsDropShadowEffect(card);
    shadow->setOffset(0, 12);
    shadow->setBlurRadius(40);
    shadow->setColor(QColor(0, 0, 0, 120));
    return shadow;
}

} // namespace

QxPopupRow::QxPopupRow(int index, const Texts &texts, const QxSelectPopupStyle &style,
                       std::function<void(int)> onClick, QWidget *parent)
    : QWidget(parent), m_index(index), m_rowFontPx(style.rowFontPx), m_rowHoverRadius(style.rowHoverRadius),
      m_rowPaddingLeft(style.rowPaddingLeft), m_rowPaddingRight(style.rowPaddingRight),
      m_rowInnerSpacing(style.rowInnerSpacing), m_checkSize(style.checkSize),
      m_leftMinWidth(style.leftMinWidth), m_hoverColor(style.hoverColor), m_onClick(std::move(onClick))
{
    setObjectName(QStringLiteral("QxPopupRow"));
    setAttribute(Qt::WA_Hover);
    setAttribute(Qt::WA_MouseTracking);
    // A plain QWidget subclass only paints style-sheet backgrounds with this
    // set; the hover look must not depend on how the class is declared.
    setAttribute(Qt::WA_StyledBackground);
    setCursor(Qt::PointingHandCursor);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(m_rowPaddingLeft, 0, m_rowPaddingRight, 0);
    layout->setSpacing(m_rowInnerSpacing);

    m_left = new QLabel(this);
    m_left->setObjectName(QStringLiteral("QxPopupRowLeft"));
    m_left->setStyleSheet(QStringLiteral("background: transparent;"));
    m_right = new QLabel(this);
    m_right->setObjectName(QStringLiteral("QxPopupRowRight"));
    m_right->setStyleSheet(QStringLiteral("background: transparent;"));
    m_check = new QLabel(this);
    m_check->setObjectName(QStringLiteral("QxPopupRowCheck"));
    m_check->setFixedSize(m_checkSize, m_checkSize);
    m_check->setStyleSheet(QStringLiteral("background: transparent;"));
    m_check->hide();
    if (m_leftMinWidth > 0)
        m_left->setMinimumWidth(m_leftMinWidth);

    layout->addWidget(m_left, 0, Qt::AlignLeft | Qt::AlignVCenter);
    layout->addWidget(m_right, 1, Qt::AlignLeft | Qt::AlignVCenter);
    layout->addWidget(m_check, 0, Qt::AlignRight | Qt::AlignVCenter);

    m_left->setText(texts.left);
    m_right->setText(texts.right);
    m_left->setVisible(!texts.left.isEmpty());

    applyLabelFonts();
    setStyleSheet(QStringLiteral("QWidget#QxPopupRow {  background: transparent;  border-radius: %1px;}"
                                 "QWidget#QxPopupRow:hover {  background: %2;}")
                      .arg(m_rowHoverRadius)
                      .arg(m_hoverColor));
}

void QxPopupRow::applyLabelFonts()
{
    QFont font(QStringLiteral("Inter"));
    font.setPixelSize(m_rowFontPx);
    font.setWeight(QFont::Normal);
    for (QLabel *label : {m_left, m_right}) {
        label->setFont(font);
        label->setStyleSheet(QStringLiteral("color: " QX_WHITE "; background: transparent;"));
    }
}

void QxPopupRow::setChecked(bool checked)
{
    if (!m_checkLoaded) {
        QPixmap picture(QString::fromLatin1(kCheckPicture));
        if (!picture.isNull()) {
            m_checkPixmap = picture.scaled(m_check->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation);
            m_checkLoaded = true;
        }
    }
    // Without the picture the row is still marked, only with nothing drawn.
    if (m_checkLoaded)
        m_check->setPixmap(m_checkPixmap);
    m_check->setVisible(checked);
}

int QxPopupRow::neededWidth() const
{
    const QFontMetrics metrics(m_right->font());
    int width = m_rowPaddingLeft + metrics.horizontalAdvance(m_right->text()) + m_rowInnerSpacing +
                m_checkSize + m_rowPaddingRight;
    if (!m_left->text().isEmpty())
        width += std::max(m_leftMinWidth, QFontMetrics(m_left->font()).horizontalAdvance(m_left->text())) +
                 m_rowInnerSpacing;
    return width + 2; // a glyph may reach a fraction past its advance
}

void QxPopupRow::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && m_onClick)
        m_onClick(m_index);
    QWidget::mousePressEvent(event);
}

QxSelectPopup::QxSelectPopup(QWidget *parent) : QFrame(parent)
{
    setWindowFlags(Qt::Popup | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_StyledBackground);
    setObjectName(QStringLiteral("QxSelectPopup"));
    setStyleSheet(QStringLiteral("QFrame#QxSelectPopup { background: transparent; }"));

    m_outerLayout = new QVBoxLayout(this);
    m_outerLayout->setContentsMargins(m_style.shadowMargin, m_style.shadowMargin, m_style.shadowMargin,
                                      m_style.shadowMargin);
    m_outerLayout->setSpacing(0);

    m_card = new QFrame(this);
    m_card->setObjectName(QStringLiteral("QxSelectPopupCard"));
    m_card->setAttribute(Qt::WA_StyledBackground);
    updateCardStyle();
    applyShadow();

    m_cardLayout = new QVBoxLayout(m_card);
    m_cardLayout->setContentsMargins(m_style.cardPadding, m_style.cardPadding, m_style.cardPadding,
                                     m_style.cardPadding);
    m_cardLayout->setSpacing(m_style.rowSpacing);

    m_rowsContainer = new QWidget(m_card);
    m_rowsContainer->setAttribute(Qt::WA_StyledBackground);
    m_rowsContainer->setStyleSheet(QStringLiteral("background: transparent;"));
    m_rowsLayout = new QVBoxLayout(m_rowsContainer);
    m_rowsLayout->setContentsMargins(0, 0, 0, 0);
    m_rowsLayout->setSpacing(m_style.rowSpacing);

    m_cardLayout->addWidget(m_rowsContainer);
    m_outerLayout->addWidget(m_card);
}

void QxSelectPopup::applyShadow()
{
    // setGraphicsEffect deletes the effect it replaces. The shadow falls on
    // the window's transparent margin, which only a translucent window has.
    const bool shadow = m_style.hasShadow && m_translucent;
    m_card->setGraphicsEffect(shadow ? makeCardShadow(m_card) : nullptr);
    const int margin = shadow ? m_style.shadowMargin : 0;
    m_outerLayout->setContentsMargins(margin, margin, margin, margin);
}

void QxSelectPopup::followDesktop()
{
    const bool translucent = WindowTranslucency::shown();
    if (translucent == m_translucent)
        return;
    m_translucent = translucent;
    setAttribute(Qt::WA_TranslucentBackground, translucent);
    // The window's visual is chosen when its native window is made: set the
    // flags again, which makes it anew at the next show.
    if (testAttribute(Qt::WA_WState_Created))
        setWindowFlags(windowFlags());
    // Opaque, the window itself wears the card's colour where the card's
    // rounded corners leave it (the shape mask trims the rest).
    setStyleSheet(translucent
                      ? QStringLiteral("QFrame#QxSelectPopup { background: transparent; }")
                      : QStringLiteral("QFrame#QxSelectPopup { background: %1; }").arg(m_style.background));
    applyShadow();
    if (translucent)
        clearMask();
}

QRegion QxSelectPopup::cardShape() const
{
    int radius[4] = {m_style.radius, m_style.radius, m_style.radius, m_style.radius}; // tl, tr, br, bl
    if (m_style.attached) {
        if (m_style.openUp)
            radius[2] = radius[3] = 0;
        else
            radius[0] = radius[1] = 0;
    }
    const QRectF r = rect();
    QPainterPath path;
    path.moveTo(r.left() + radius[0], r.top());
    path.lineTo(r.right() + 1 - radius[1], r.top());
    path.arcTo(r.right() + 1 - 2 * radius[1], r.top(), 2 * radius[1], 2 * radius[1], 90, -90);
    path.lineTo(r.right() + 1, r.bottom() + 1 - radius[2]);
    path.arcTo(r.right() + 1 - 2 * radius[2], r.bottom() + 1 - 2 * radius[2], 2 * radius[2], 2 * radius[2], 0,
               -90);
    path.lineTo(r.left() + radius[3], r.bottom() + 1);
    path.arcTo(r.left(), r.bottom() + 1 - 2 * radius[3], 2 * radius[3], 2 * radius[3], 270, -90);
    path.lineTo(r.left(), r.top() + radius[0]);
    path.arcTo(r.left(), r.top(), 2 * radius[0], 2 * radius[0], 180, -90);
    path.closeSubpath();
    return QRegion(path.toFillPolygon().toPolygon());
}

void QxSelectPopup::updateCardStyle()
{
    int topLeft = m_style.radius;
    int topRight = m_style.radius;
    int bottomLeft = m_style.radius;
    int bottomRight = m_style.radius;
    if (m_style.attached) {
        if (m_style.openUp)
            bottomLeft = bottomRight = 0;
        else
            topLeft = topRight = 0;
    }
    m_card->setStyleSheet(
        QStringLiteral("QFrame#QxSelectPopupCard {  background: %1;  border: %7px solid %2;  "
                       "border-top-left-radius: %3px;  border-top-right-radius: %4px;  "
                       "border-bottom-left-radius: %5px;  border-bottom-right-radius: %6px;}")
            .arg(m_style.background, m_style.borderColor)
            .arg(topLeft)
            .arg(topRight)
            .arg(bottomLeft)
            .arg(bottomRight)
            .arg(m_style.borderWidth));
}

void QxSelectPopup::setStyle(const QxSelectPopupStyle &style)
{
    m_style = style;
    updateCardStyle();
    applyShadow();
    if (!m_translucent)
        setStyleSheet(QStringLiteral("QFrame#QxSelectPopup { background: %1; }").arg(m_style.background));
    m_cardLayout->setContentsMargins(m_style.cardPadding, m_style.cardPadding, m_style.cardPadding,
                                     m_style.cardPadding);
    m_cardLayout->setSpacing(m_style.rowSpacing);
    m_rowsLayout->setSpacing(m_style.rowSpacing);
}

void QxSelectPopup::setItems(const QList<QxPopupRow::Texts> &items)
{
    // The old rows go later, not now: this may run from a selection callback
    // while one of them is still handling its own mouse press.
    for (QxPopupRow *row : std::as_const(m_rows)) {
        m_rowsLayout->removeWidget(row);
        row->hide();
        row->deleteLater();
    }
    m_rows.clear();

    for (int i = 0; i < items.size(); ++i) {
        auto *row = new QxPopupRow(
            i, items.at(i), m_style, [this](int index) { handleRowClicked(index); }, m_rowsContainer);
        row->setFixedHeight(m_style.rowHeight);
        m_rowsLayout->addWidget(row);
        m_rows.append(row);
    }
    adjustSize();
}

void QxSelectPopup::setCheckedIndex(int index)
{
    m_checkedIndex = index;
    for (int i = 0; i < m_rows.size(); ++i)
        m_rows.at(i)->setChecked(i == index);
}

void QxSelectPopup::handleRowClicked(int index)
{
    if (m_onSelected)
        m_onSelected(index);
    hide();
}

void QxSelectPopup::hideEvent(QHideEvent *event)
{
    if (m_onHidden)
        m_onHidden();
    QFrame::hideEvent(event);
}

bool QxSelectPopup::showForAnchor(QWidget *anchor, int minWidth)
{
    if (!anchor)
        return false;
    followDesktop();
    setFixedWidth(fittingWidth(anchor, minWidth));
    adjustSize();

    const QPoint topLeft = anchor->mapToGlobal(QPoint(0, 0));
    const int top = topLeft.y();
    const int bottom = anchor->mapToGlobal(QPoint(0, anchor->height())).y();
    QScreen *screen = QGuiApplication::screenAt(topLeft);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1920, 1080);

    const int spaceBelow = area.y() + area.height() - bottom;
    const int spaceAbove = top - area.y();
    const int h = height();
    const bool below = spaceBelow >= h || (spaceAbove < h && spaceBelow >= spaceAbove);
    placeAndShow(anchor, !below);
    return !below;
}

void QxSelectPopup::showBelow(QWidget *anchor, int minWidth)
{
    if (!anchor)
        return;
    followDesktop();
    setFixedWidth(fittingWidth(anchor, minWidth));
    adjustSize();
    placeAndShow(anchor, false);
}

int QxSelectPopup::fittingWidth(const QWidget *anchor, int minWidth) const
{
    // Never narrower than its rows need: a row squeezed below its texts and
    // check mark runs them together and cuts the last one.
    int needed = 0;
    for (const QxPopupRow *row : m_rows)
        needed = std::max(needed, row->neededWidth());
    const int margin = m_translucent && m_style.hasShadow ? m_style.shadowMargin : 0;
    needed += 2 * (margin + m_style.cardPadding + m_style.borderWidth);
    return std::max({anchor->width(), minWidth, needed});
}

void QxSelectPopup::placeAndShow(QWidget *anchor, bool above)
{
    m_style.openUp = above;
    updateCardStyle();
    int offset;
    if (above)
        offset = m_style.attached ? m_style.attachOverlap - height() : -m_style.detachedGap - height();
    else
        offset = m_style.attached ? anchor->height() - m_style.attachOverlap
                                  : anchor->height() + m_style.detachedGap;
    move(anchor->mapToGlobal(QPoint(0, offset)));
    if (!m_translucent)
        setMask(cardShape());
    show();
    raise();
    activateWindow();
}
