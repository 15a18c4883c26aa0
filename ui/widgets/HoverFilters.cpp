#include "ui/widgets/HoverFilters.h"

#include "ui/widgets/Palette.h"

#include <QEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QTextDocument>

#include <algorithm>
#include <cmath>

namespace {

const char kCardStyle[] = "background: " QX_RAISED "; border-radius: 10px;";
constexpr int kHorizontalPadding = 32;
constexpr int kVerticalPadding = 30;
constexpr int kMinWidth = 180;
constexpr int kMaxWidth = 334;
constexpr int kMinHeight = 50;
constexpr int kMaxHeight = 220;
constexpr int kGapAboveTarget = 12;

QFont tooltipFont()
{
    QFont font(QStringLiteral("Inter"));
    font.setPixelSize(14);
    font.setWeight(QFont::Normal);
    return font;
}

} // namespace

PixmapHoverFilter::PixmapHoverFilter(QLabel *target, const QPixmap &normal, const QPixmap &hover)
    : QObject(target), m_target(target), m_normal(normal), m_hover(hover)
{}

bool PixmapHoverFilter::eventFilter(QObject *watched, QEvent *event)
{
    if (m_target && watched == m_target) {
        if (event->type() == QEvent::Enter && !m_hover.isNull())
            m_target->setPixmap(m_hover);
        else if (event->type() == QEvent::Leave && !m_normal.isNull())
            m_target->setPixmap(m_normal);
    }
    return false;
}

TooltipHoverFilter::Popup::Popup() : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint)
{
    setAttribute(Qt::WA_StyledBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    setStyleSheet(QString::fromLatin1(kCardStyle));

    m_label = new QLabel(this);
    m_label->setObjectName(QStringLiteral("QxTooltipLabel"));
    m_label->setWordWrap(true);
    m_label->setTextFormat(Qt::RichText);
    m_label->setStyleSheet(QStringLiteral("background: transparent;color: " QX_WHITE
                                          ";font-family: Inter;font-size: 14px;font-weight: 400;"));
}

TooltipHoverFilter::Layout TooltipHoverFilter::layoutText(const QString &text)
{
    const QFont font = tooltipFont();
    // Fractional advances, rounded up: a line measured a fraction short of
    // its real width would break where the card was meant to hold it.
    const QFontMetricsF metrics(font);
    qreal widestF = 0;
    for (const QString &line : text.split(QLatin1Char('\n')))
        widestF = std::max(widestF, metrics.horizontalAdvance(line));
    const int widest = int(std::ceil(widestF));

    Layout layout;
    // Escaped so that "<" and "&" in a message show as they are.
    QString body = text.toHtmlEscaped();
    body.replace(QLatin1Char('\n'), QStringLiteral("<br/>"));
    layout.html = QStringLiteral("<div style=\"line-height:20px;\">%1</div>").arg(body);

    const int width = std::clamp(widest + kHorizontalPadding, kMinWidth, kMaxWidth);
    layout.wrapWidth = width - kHorizontalPadding;

    // A label lays rich text out in a document with its own margin on every
    // side. Placed at the padding with the wrap width, the widest line would
    // miss its room by twice that margin and always break; so the label is
    // widened by the margin on both sides and the text still starts at the
    // padding.
    QTextDocument document;
    const int margin = int(std::ceil(document.documentMargin()));
    document.setDefaultFont(font);
    document.setHtml(layout.html);
    const int labelWidth = layout.wrapWidth + 2 * margin;
    document.setTextWidth(labelWidth);
    const int height =
        std::clamp(int(std::ceil(document.size().height())) + kVerticalPadding, kMinHeight, kMaxHeight);
    layout.size = QSize(width, height);
    layout.labelGeometry =
        QRect(kHorizontalPadding / 2 - margin, kVerticalPadding / 2, labelWidth, height - kVerticalPadding);
    return layout;
}

void TooltipHoverFilter::Popup::setText(const QString &text)
{
    m_label->setFont(tooltipFont());
    setStyleSheet(QString::fromLatin1(kCardStyle));
    const Layout layout = layoutText(text);
    setFixedSize(layout.size);
    m_label->setGeometry(layout.labelGeometry);
    m_label->setText(layout.html);
}

TooltipHoverFilter::TooltipHoverFilter(QWidget *target, const QString &text, const QPoint &offset)
    : QObject(target), m_target(target), m_text(text), m_offset(offset)
{}

TooltipHoverFilter::~TooltipHoverFilter()
{
    // The filter dies with its target; a card left behind would stay on
    // screen with nothing to hide it.
    delete m_popup.data();
}

bool TooltipHoverFilter::eventFilter(QObject *watched, QEvent *event)
{
    if (m_target && watched == m_target) {
        if (event->type() == QEvent::Enter)
            showPopup();
        else if (event->type() == QEvent::Leave && m_popup)
            m_popup->hide();
    }
    return false;
}

void TooltipHoverFilter::showPopup()
{
    if (!m_target)
        return;
    if (!m_popup)
        m_popup = new Popup;
    m_popup->setText(m_text);
    const QPoint anchor = m_target->mapToGlobal(QPoint(m_target->width() / 2, 0));
    m_popup->move(anchor.x() + m_offset.x() - m_popup->width() / 2,
                  anchor.y() + m_offset.y() - m_popup->height() - kGapAboveTarget);
    m_popup->show();
    m_popup->raise();
}
