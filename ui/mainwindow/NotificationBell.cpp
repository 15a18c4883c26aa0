#include "ui/mainwindow/NotificationBell.h"

#include "i18n/Language.h"
#include "ui/pages/notifications/NotificationDropdown.h"
#include "ui/widgets/CardOverlay.h"
#include "ui/widgets/Palette.h"

#include <QButtonGroup>
#include <QDebug>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QRegion>
#include <QScrollArea>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {
constexpr int kCardWidth = 296;
constexpr int kCardHeight = 416;
constexpr int kCardRightGap = 264;
constexpr int kCardTop = 90;

QPushButton *makeTab(QWidget *parent, int x, bool checked)
{
    auto *tab = new QPushButton(parent);
    tab->setObjectName(QStringLiteral("NotifTabBtn"));
    tab->setFixedSize(132, 34);
    tab->move(x, 3);
    tab->setCheckable(true);
    tab->setAttribute(Qt::WA_StyledBackground, true);
    tab->setCursor(Qt::PointingHandCursor);
    tab->setFocusPolicy(Qt::NoFocus);
    tab->setAutoDefault(false);
    tab->setDefault(false);
    tab->setChecked(checked);
    NotificationLooks::styleTab(tab);
    return tab;
}
} // namespace

NotificationBell::NotificationBell(QWidget *window, QWidget *headerBand, NotificationService *service,
                                   const QString &persianFontFamily, int firstFetchMs, QObject *parent)
    : QObject(parent), m_window(window), m_service(service), m_persianFamily(persianFontFamily)
{
    m_bell = new QPushButton(headerBand);
    m_bell->setObjectName(QStringLiteral("NotifBellButton"));
    m_bell->setFixedSize(54, 54);
    m_bell->move(958, 20);
    m_bell->setCursor(Qt::PointingHandCursor);
    m_bell->setFlat(true);
    m_bell->setFocusPolicy(Qt::NoFocus);
    m_bell->setAttribute(Qt::WA_StyledBackground, true);
    m_bell->setMask(QRegion(0, 0, 54, 54, QRegion::Ellipse));
    m_bell->setIcon(NotificationLooks::bellIcon());
    m_bell->setIconSize(QSize(24, 24));
    m_bell->setStyleSheet(QStringLiteral(
        "QPushButton#NotifBellButton {  background-color: " QX_PANEL
        ";  border-radius: 21px;  border: 1px solid " QX_RAISED
        ";  padding: 16px;  outline: none;}QPushButton#NotifBellButton:hover {  "
        "background-color: " QX_PANEL_HOVER ";}QPushButton#NotifBellButton:focus {  outline: none;}"));

    m_dot = new QFrame(m_bell);
    m_dot->setObjectName(QStringLiteral("NotifBellDot"));
    m_dot->setFixedSize(8, 8);
    m_dot->move(34, 16);
    m_dot->setMask(QRegion(0, 0, 8, 8, QRegion::Ellipse));
    m_dot->setStyleSheet(QStringLiteral("background-color: " QX_ACCENT "; border: none;"));
    m_dot->hide();

    m_overlay = new CardOverlay(QStringLiteral("NotifDropdownOverlay"), window);
    m_overlay->setStyleSheet(QStringLiteral("background: transparent;"));
    m_overlay->setGeometry(window->rect());
    m_overlay->hide();
    m_overlay->raise();

    m_card = new QFrame(m_overlay);
    m_card->setObjectName(QStringLiteral("NotifDropdownCard"));
    m_card->setFixedSize(kCardWidth, kCardHeight);
    m_card->setAttribute(Qt::WA_StyledBackground, true);
    m_card->setFrameShape(QFrame::NoFrame);
    m_card->setLineWidth(0);
    m_card->setMidLineWidth(0);
    m_card->setStyleSheet(QStringLiteral("background-color: " QX_PANEL
                                         ";border: 1px solid " QX_BELL_POPUP_BORDER ";border-radius: 10px;"));
    m_overlay->setCard(m_card);
    placeDropdown();

    m_tabsBg = new QFrame(m_card);
    m_tabsBg->setObjectName(QStringLiteral("NotifTabsBg"));
    m_tabsBg->setFixedSize(276, 40);
    m_tabsBg->move(10, 10);
    m_tabsBg->setAttribute(Qt::WA_StyledBackground, true);
    m_tabsBg->setStyleSheet(
        QStringLiteral("background-color: " QX_RAISED ";border-radius: 18px;border: none;"));
    m_personalTab = makeTab(m_tabsBg, 4, true);
    m_publicTab = makeTab(m_tabsBg, 140, false);
    m_tabs = new QButtonGroup(m_tabsBg);
    m_tabs->setExclusive(true);
    m_tabs->addButton(m_personalTab, 0);
    m_tabs->addButton(m_publicTab, 1);

    const int listHeight = std::max(10, kCardHeight - 104);
    m_scroll = new QScrollArea(m_card);
    m_scroll->setObjectName(QStringLiteral("NotifListScroll"));
    m_scroll->setGeometry(10, 60, 276, listHeight);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidgetResizable(true);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setStyleSheet(QStringLiteral("background: transparent; border: none;"));
    auto *stackHost = new QWidget;
    stackHost->setObjectName(QStringLiteral("NotifListStackHost"));
    stackHost->setAttribute(Qt::WA_StyledBackground, true);
    stackHost->setStyleSheet(QStringLiteral("background: transparent;"));
    auto *hostLayout = new QVBoxLayout(stackHost);
    hostLayout->setContentsMargins(0, 0, 0, 0);
    hostLayout->setSpacing(0);
    m_stack = new QStackedWidget(stackHost);
    m_stack->setObjectName(QStringLiteral("NotifListStack"));
    m_stack->setAttribute(Qt::WA_StyledBackground, true);
    m_stack->setStyleSheet(QStringLiteral("background: transparent;"));
    hostLayout->addWidget(m_stack);
    m_scroll->setWidget(stackHost);
    m_personal = new NotifListView(m_stack, QStringLiteral("NotifListHostPersonal"), persianFontFamily, this);
    m_public = new NotifListView(m_stack, QStringLiteral("NotifListHostPublic"), persianFontFamily, this);
    m_stack->addWidget(m_personal->host());
    m_stack->addWidget(m_public->host());
    m_stack->setCurrentIndex(0);

    m_seeAll = new QLabel(m_card);
    m_seeAll->setObjectName(QStringLiteral("NotifSeeAll"));
    m_seeAll->setGeometry(0, kCardHeight - 34, kCardWidth, 20);
    m_seeAll->setAlignment(Qt::AlignCenter);
    m_seeAll->setFrameShape(QFrame::NoFrame);
    m_seeAll->setLineWidth(0);
    m_seeAll->setMidLineWidth(0);
    m_seeAll->setStyleSheet(QStringLiteral("color: " QX_WHITE
                                           ";background: transparent;border: none;font-size: "
                                           "14px;font-weight: 400;line-height: 20px;"));

    connect(m_overlay, &CardOverlay::dismissRequested, m_overlay, &QWidget::hide);
    connect(m_tabs, &QButtonGroup::idClicked, this, &NotificationBell::switchTab);
    connect(m_bell, &QPushButton::clicked, this, &NotificationBell::onBellClicked);
    if (m_service) {
        m_service->setList(NotificationService::Personal, m_personal);
        m_service->setList(NotificationService::Public, m_public);
        connect(m_service, &NotificationService::unreadChanged, m_dot, &QWidget::setVisible);
        connect(m_personal, &NotifListView::rowClicked, m_service, [this](NotificationRow *row) {
            m_service->markNotificationRead(NotificationService::Personal, row);
        });
        connect(m_public, &NotifListView::rowClicked, m_service, [this](NotificationRow *row) {
            m_service->markNotificationRead(NotificationService::Public, row);
        });
    }
    QTimer::singleShot(firstFetchMs, m_bell, [this] { fetchNotifications(); });
}

NotifListView *NotificationBell::list(NotificationService::Scope scope) const
{
    return scope == NotificationService::Personal ? m_personal : m_public;
}

void NotificationBell::fetchNotifications()
{
    if (m_service)
        m_service->fetchNotifications();
}

void NotificationBell::placeDropdown()
{
    m_overlay->setGeometry(m_window->rect());
    m_card->move(std::max(0, m_window->width() - m_card->width() - kCardRightGap), kCardTop);
    if (m_overlay->isVisible())
        m_overlay->raise();
}

void NotificationBell::onBellClicked()
{
    qInfo() << "[Notifs] bell clicked";
    if (m_overlay->isVisible()) {
        m_overlay->hide();
        return;
    }
    placeDropdown();
    fetchNotifications();
    m_overlay->show();
    m_overlay->raise();
    m_overlay->setFocus(Qt::OtherFocusReason);
}

void NotificationBell::switchTab(int id)
{
    m_stack->setCurrentIndex(id == 0 ? 0 : 1);
    m_scroll->viewport()->update();
}

void NotificationBell::place(bool persian)
{
    const Qt::LayoutDirection direction = persian ? Qt::RightToLeft : Qt::LeftToRight;
    for (QWidget *w : {static_cast<QWidget *>(m_tabsBg), static_cast<QWidget *>(m_personalTab),
                       static_cast<QWidget *>(m_publicTab)})
        w->setLayoutDirection(direction);
    // The tabs keep their places whatever the direction.
    m_personalTab->move(4, 3);
    m_publicTab->move(140, 3);

    m_personalTab->setText(persian ? QStringLiteral("شخصی") : Language::windowText("Personal"));
    m_publicTab->setText(persian ? QStringLiteral("عمومی") : Language::windowText("Public"));
    m_seeAll->setText(persian ? QStringLiteral("مشاهده همه") : Language::windowText("See all"));
    QFont font(persian ? m_persianFamily : QStringLiteral("Inter"));
    font.setPointSize(14);
    font.setWeight(QFont::Normal);
    for (QWidget *w : {static_cast<QWidget *>(m_personalTab), static_cast<QWidget *>(m_publicTab),
                       static_cast<QWidget *>(m_seeAll)})
        w->setFont(font);

    m_personal->setPersian(persian);
    m_public->setPersian(persian);
}

void NotificationBell::coverWindow(const QRect &full, bool raiseShown)
{
    m_overlay->setGeometry(full);
    m_card->move(std::max(0, full.width() - m_card->width() - 264), 90);
    if (raiseShown && m_overlay->isVisible())
        m_overlay->raise();
}
