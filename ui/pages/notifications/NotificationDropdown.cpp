#include "ui/pages/notifications/NotificationDropdown.h"

#include "i18n/Language.h"
#include "ui/widgets/Palette.h"

#include <QFrame>
#include <QLabel>
#include <QLocale>
#include <QMouseEvent>
#include <QPushButton>
#include <QRegion>
#include <QVBoxLayout>

namespace {
const char kItemProperty[] = "qx_notif_item";
const char kIdProperty[] = "notif_id";
const char kTitleProperty[] = "notif_title_raw";
const char kBodyProperty[] = "notif_body_raw";
const char kTimeProperty[] = "notif_dt_utc";

constexpr int kRowWidth = 276;
constexpr int kTopHeight = 60;

using Language::windowText;

QString persianNumber(qint64 n)
{
    return QLocale(QLocale::Persian, QLocale::Iran).toString(n);
}

QString stripPrefix(const QString &t, const QString &prefix, bool *matched)
{
    *matched = t.startsWith(prefix, Qt::CaseInsensitive);
    return *matched ? t.mid(prefix.size()).trimmed() : QString();
}
} // namespace

namespace NotificationTexts {

QString localizeTitle(const QString &rawTitle, bool persian)
{
    const QString t = rawTitle.trimmed();
    if (!persian)
        return t;
    bool matched = false;
    QString rest = stripPrefix(t, QStringLiteral("Ticket answered:"), &matched);
    if (matched)
        return rest.isEmpty() ? QStringLiteral("پاسخ تیکت:") : QStringLiteral("پاسخ تیکت: ") + rest;
    rest = stripPrefix(t, QStringLiteral("Ticket answered"), &matched);
    if (matched)
        return rest.isEmpty() ? QStringLiteral("پاسخ تیکت") : QStringLiteral("پاسخ تیکت ") + rest;
    return t;
}

QString relativeTime(const QDateTime &created, const QDateTime &nowUtc, bool persian)
{
    const QString justNow = persian ? QStringLiteral("همین الان") : windowText("Just now");
    if (!created.isValid())
        return justNow;
    const qint64 s = std::max<qint64>(0, created.secsTo(nowUtc));
    if (s <= 59)
        return justNow;
    const qint64 m = s / 60;
    if (m <= 59)
        return persian ? persianNumber(m) + QStringLiteral(" دقیقه پیش") : windowText("%1 min ago").arg(m);
    const qint64 h = m / 60;
    if (h <= 23)
        return persian ? persianNumber(h) + QStringLiteral(" ساعت پیش") : windowText("%1 hrs ago").arg(h);
    const qint64 days = m / 1440;
    return persian ? persianNumber(days) + QStringLiteral(" روز پیش") : windowText("%1 days ago").arg(days);
}

} // namespace NotificationTexts

namespace NotificationLooks {

QImage withoutOrangeDot(const QImage &picture)
{
    QImage image = picture.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = line[x];
            const int r = qRed(p), g = qGreen(p), b = qBlue(p);
            if (qAlpha(p) >= 10 && r >= 200 && g >= 80 && g <= 170 && b <= 90 && r > g && g > b)
                line[x] = 0;
        }
    }
    return image;
}

QIcon bellIcon()
{
    static const QIcon icon = [] {
        const QImage picture(QStringLiteral(":/icons/notif.png"));
        if (picture.isNull())
            return QIcon();
        return QIcon(QPixmap::fromImage(withoutOrangeDot(picture)));
    }();
    return icon;
}

void styleTab(QPushButton *tab)
{
    if (!tab)
        return;
    tab->setStyleSheet(QStringLiteral(
        "QPushButton#NotifTabBtn {  background: transparent;  border: none;  border-radius: 16px;  "
        "color: " QX_MUTED ";  font-size: 14px;  font-weight: 400;  line-height: 20px;  outline: none;}"
        "QPushButton#NotifTabBtn:checked {  background: qlineargradient(spread:pad, x1:0, y1:0, x2:1, "
        "y2:1,    stop:0.2315 " QX_SILVER_TOP ", stop:0.9793 " QX_MUTED
        ");  border-radius: 16px;  color: " QX_BACKGROUND ";}"));
}

QWidget *makeTransparentColumn(QWidget *parent, const QString &objectName, QVBoxLayout **layout)
{
    auto *column = new QWidget(parent);
    column->setObjectName(objectName);
    column->setAttribute(Qt::WA_StyledBackground, true);
    column->setStyleSheet(QStringLiteral("background: transparent;"));
    auto *v = new QVBoxLayout(column);
    v->setContentsMargins(0, 0, 0, 0);
    v->setSpacing(2);
    v->addStretch(1);
    if (layout)
        *layout = v;
    return column;
}

} // namespace NotificationLooks

NotifItem::NotifItem(const QString &title, const QString &timeText, const QString &body, bool unread,
                     QWidget *parent)
    : QWidget(parent), m_unread(unread)
{
    setObjectName(unread ? QStringLiteral("NotifItemUnread") : QStringLiteral("NotifItemRead"));
    setFixedWidth(kRowWidth);
    setAttribute(Qt::WA_StyledBackground, true);
    setMouseTracking(true);
    auto *v = new QVBoxLayout(this);
    v->setContentsMargins(0, 0, 0, 0);
    v->setSpacing(0);

    m_top = new QWidget(this);
    m_top->setFixedSize(kRowWidth, kTopHeight);
    m_top->setAttribute(Qt::WA_StyledBackground, true);
    m_top->setMouseTracking(true);
    m_top->setCursor(Qt::PointingHandCursor);
    m_top->setStyleSheet(QStringLiteral("background: transparent; border: none;"));
    v->addWidget(m_top);

    auto label = [](QWidget *parent, const QString &name, const QString &text) {
        auto *l = new QLabel(parent);
        l->setObjectName(name);
        // Whatever the service sends is shown as it stands, never as markup.
        l->setTextFormat(Qt::PlainText);
        l->setText(text);
        l->setFrameShape(QFrame::NoFrame);
        l->setLineWidth(0);
        l->setMidLineWidth(0);
        return l;
    };
    m_title = label(m_top, QStringLiteral("NotifItemTitle"), title);
    m_title->setGeometry(10, 10, 244, 20);
    m_time = label(m_top, QStringLiteral("NotifItemTime"), timeText);
    m_time->setGeometry(10, 34, 256, 20);
    m_time->setStyleSheet(QStringLiteral("color: " QX_MUTED
                                         ";background: transparent;border: none;font-size: "
                                         "12px;font-weight: 400;line-height: 20px;"));
    m_dot = new QFrame(m_top);
    m_dot->setGeometry(261, 27, 5, 5);
    m_dot->setFrameShape(QFrame::NoFrame);
    m_dot->setStyleSheet(QStringLiteral("background-color: " QX_ACCENT "; border: none;"));
    m_dot->setMask(QRegion(0, 0, 5, 5, QRegion::Ellipse));

    m_bodyBox = new QWidget(this);
    m_bodyBox->setAttribute(Qt::WA_StyledBackground, true);
    m_bodyBox->setStyleSheet(QStringLiteral("background: transparent; border: none;"));
    auto *bv = new QVBoxLayout(m_bodyBox);
    bv->setContentsMargins(10, 0, 10, 10);
    bv->setSpacing(0);
    m_body = label(m_bodyBox, QStringLiteral("NotifItemBody"), body);
    m_body->setWordWrap(true);
    m_body->setStyleSheet(QStringLiteral("color: " QX_WHITE
                                         ";background: transparent;border: none;font-size: "
                                         "14px;font-weight: 400;line-height: 20px;"));
    bv->addWidget(m_body);
    v->addWidget(m_bodyBox);
    m_bodyBox->hide();
    updateGeometry();
    applyStyle();
}

QString NotifItem::notificationId() const
{
    return property(kIdProperty).toString();
}

void NotifItem::applyStyle()
{
    const QString row =
        QStringLiteral("background-color: %1;border-radius: 4px;border-bottom: 1px solid %2;");
    const QString title = QStringLiteral("color: %1;background: transparent;border: none;font-size: "
                                         "14px;font-weight: 400;line-height: 20px;");
    if (m_unread) {
        setStyleSheet(row.arg(QStringLiteral(QX_RAISED), QStringLiteral(QX_PANEL)));
        m_title->setStyleSheet(title.arg(QStringLiteral(QX_WHITE)));
    } else {
        setStyleSheet(row.arg(QStringLiteral("transparent"), QStringLiteral(QX_RAISED)));
        m_title->setStyleSheet(title.arg(QStringLiteral(QX_MUTED)));
    }
    m_dot->setVisible(m_unread);
}

void NotifItem::markRead()
{
    if (!m_unread)
        return;
    m_unread = false;
    applyStyle();
}

void NotifItem::setExpanded(bool expanded)
{
    m_expanded = expanded;
    m_bodyBox->setVisible(expanded);
    updateGeometry();
}

void NotifItem::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && event->position().y() <= kTopHeight) {
        emit clicked(this);
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

NotifListView::NotifListView(QWidget *parent, const QString &objectName, const QString &persianFontFamily,
                             QObject *owner)
    : QObject(owner), m_persianFamily(persianFontFamily),
      m_clock([] { return QDateTime::currentDateTimeUtc(); })
{
    m_host = NotificationLooks::makeTransparentColumn(parent, objectName, &m_layout);
}

QList<NotifItem *> NotifListView::rows() const
{
    QList<NotifItem *> out;
    for (const QPointer<NotifItem> &row : m_rows) {
        if (row)
            out.append(row);
    }
    return out;
}

void NotifListView::clearRows()
{
    while (QLayoutItem *item = m_layout->takeAt(0)) {
        if (QWidget *w = item->widget()) {
            w->hide();
            w->deleteLater();
        }
        delete item;
    }
    m_layout->addStretch(1);
    m_rows.clear();
}

NotificationRow *NotifListView::addRow(const NotificationEntry &entry)
{
    auto *item = new NotifItem(QString(), QString(), entry.body, entry.unread, m_host);
    item->setProperty(kItemProperty, true);
    item->setProperty(kIdProperty, entry.id);
    item->setProperty(kTitleProperty, entry.title);
    item->setProperty(kBodyProperty, entry.body);
    item->setProperty(kTimeProperty,
                      entry.created.isValid() ? entry.created.toString(Qt::ISODate) : QString());
    render(item);
    // Just before the trailing stretch, so rows keep the reply's order.
    m_layout->insertWidget(std::max(0, m_layout->count() - 1), item);
    m_rows.append(item);
    connect(item, &NotifItem::clicked, this, [this](NotifItem *row) { emit rowClicked(row); });
    return item;
}

void NotifListView::setPersian(bool persian)
{
    m_persian = persian;
    for (NotifItem *item : rows())
        render(item);
}

void NotifListView::render(NotifItem *item)
{
    // Right means the right edge for Persian: in a right-to-left row a
    // plain AlignRight would put Persian texts on the left.
    const Qt::Alignment side = m_persian ? Qt::AlignRight | Qt::AlignAbsolute : Qt::AlignLeft;
    const QString family = m_persian ? m_persianFamily : QStringLiteral("Inter");
    item->setLayoutDirection(m_persian ? Qt::RightToLeft : Qt::LeftToRight);

    QDateTime created = QDateTime::fromString(item->property(kTimeProperty).toString(), Qt::ISODate);
    if (created.isValid())
        created = created.toUTC();
    item->titleLabel()->setText(
        NotificationTexts::localizeTitle(item->property(kTitleProperty).toString(), m_persian));
    item->timeLabel()->setText(NotificationTexts::relativeTime(created, m_clock(), m_persian));

    QFont font(family);
    font.setPointSize(14);
    font.setWeight(QFont::Normal);
    item->titleLabel()->setFont(font);
    item->titleLabel()->setAlignment(side | Qt::AlignVCenter);
    item->bodyLabel()->setFont(font);
    item->bodyLabel()->setAlignment(side | Qt::AlignTop);
    QFont small = font;
    small.setPointSize(12);
    item->timeLabel()->setFont(small);
    item->timeLabel()->setAlignment(side | Qt::AlignVCenter);
}
