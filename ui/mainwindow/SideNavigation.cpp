#include "ui/mainwindow/SideNavigation.h"

#include "services/ServiceApi.h"
#include "ui/mainwindow/WindowRules.h"
#include "ui/widgets/IconTint.h"
#include "ui/widgets/Palette.h"

#include <QButtonGroup>
#include <QFrame>
#include <QLabel>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
struct NavItem
{
    const char *icon;
    const char *label;
};
// In id order.
const NavItem kNavItems[] = {
    {":/icons/house-fill.png", "Home"},
    {":/icons/game-controller-fill.png", "Games"},
    {":/icons/cell-tower-fill.png", "Network"},
    {":/icons/sittingsspng.png", "Setting"},
    {":/icons/user.svg", "Profile"},
};
} // namespace

SideNavigation::SideNavigation(QWidget *window, QLabel *logo, QFrame *logoLine)
    : QObject(window), m_window(window), m_logo(logo), m_logoLine(logoLine)
{
    m_column = new QWidget(window);
    m_column->setObjectName(QStringLiteral("HeaderNavDots"));
    m_column->setAttribute(Qt::WA_StyledBackground, true);
    // The column carries the looks of its buttons and version label itself, so
    // the navigation reads the same whatever the application sheet holds. The
    // buttons' fixed size makes the 54 px circle; a sheet min/max width would
    // size the content box and add the border on top (56 px).
    m_column->setStyleSheet(QStringLiteral(
        "QWidget#HeaderNavDots { background: transparent; }"
        "QToolButton#HeaderNavDot {"
        " padding: 0; margin: 0; border-radius: 27px; border: 1px solid " QX_RAISED "; background: " QX_PANEL
        "; }"
        "QToolButton#HeaderNavDot:hover { background: " QX_NAV_DOT_HOVER "; }"
        "QToolButton#HeaderNavDot:checked { background: qlineargradient(x1:0, y1:0, x2:1, y2:1,"
        " stop:0.2315 " QX_SILVER_TOP ", stop:0.9793 " QX_MUTED "); }"
        "QToolButton#HeaderNavDot:checked:hover { background: qlineargradient(x1:0, y1:0, x2:1, y2:1,"
        " stop:0.2315 " QX_SILVER_TOP_HOVER ", stop:0.9793 " QX_SILVER_BOTTOM_HOVER "); }"
        "QLabel#sideVersion { font-family: Inter; font-weight: 500; font-size: 12px; color: " QX_MUTED ";"
        " background: transparent; }"));
    auto *layout = new QVBoxLayout(m_column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(20);

    m_group = new QButtonGroup(m_column);
    m_group->setExclusive(true);

    const QSize iconSize(24, 24);
    int id = 0;
    for (const NavItem &item : kNavItems) {
        const QString icon = QLatin1String(item.icon);
        auto *button = new QToolButton(m_column);
        button->setObjectName(QStringLiteral("HeaderNavDot"));
        button->setToolTip(QLatin1String(item.label));
        button->setFixedSize(54, 54);
        button->setAutoFillBackground(false);
        button->setAttribute(Qt::WA_TranslucentBackground, false);
        m_normalIcons.append(tintedIcon(icon, iconSize, QColor(QStringLiteral(QX_NAV_ICON))));
        m_activeIcons.append(tintedIcon(icon, iconSize, QColor(QStringLiteral(QX_PANEL))));
        button->setIcon(id == WindowRules::NavHome ? m_activeIcons.last() : m_normalIcons.last());
        button->setIconSize(iconSize);
        button->setCheckable(true);
        button->setChecked(id == WindowRules::NavHome);
        button->setFocusPolicy(Qt::NoFocus);
        layout->addWidget(button, 0, Qt::AlignHCenter);
        m_group->addButton(button, id);
        m_buttons.append(button);
        ++id;
    }

    layout->addSpacing(14);
    auto *divider = new QFrame(m_column);
    divider->setObjectName(QStringLiteral("SideFooterDivider"));
    divider->setFixedSize(44, 1);
    divider->setFrameShape(QFrame::NoFrame);
    divider->setStyleSheet(QStringLiteral("background-color: " QX_BORDER "; border: none;"));
    layout->addWidget(divider, 0, Qt::AlignHCenter);
    layout->addSpacing(10);
    auto *version = new QLabel(QStringLiteral("v") + QLatin1String(ServiceApi::kAppVersion), m_column);
    version->setObjectName(QStringLiteral("sideVersion"));
    version->setAlignment(Qt::AlignCenter);
    layout->addWidget(version, 0, Qt::AlignHCenter);

    m_column->setFixedWidth(WindowRules::kSideNavWidth);
    m_column->adjustSize();
    m_column->move(WindowRules::kSideNavLeftX, WindowRules::kSideNavColumnY);

    connect(m_group, &QButtonGroup::idClicked, this, &SideNavigation::sectionClicked);
}

void SideNavigation::select(int id)
{
    for (int i = 0; i < m_buttons.size(); ++i) {
        m_buttons.at(i)->setChecked(i == id);
        m_buttons.at(i)->setIcon(i == id ? m_activeIcons.at(i) : m_normalIcons.at(i));
    }
}

void SideNavigation::place(bool persian)
{
    const int width = WindowRules::kSideNavWidth;
    const int x = persian ? std::max(0, m_window->width() - WindowRules::kSideNavLeftX - width)
                          : WindowRules::kSideNavLeftX;
    m_logo->move(x + (width - m_logo->width()) / 2, WindowRules::kMiniLogoY);
    m_logo->raise();
    m_logoLine->move(x + (width - m_logoLine->width()) / 2, WindowRules::kMiniLogoLineY);
    m_logoLine->raise();
    m_column->move(x, WindowRules::kSideNavColumnY);
    m_column->raise();
}

void SideNavigation::setShown(bool shown, bool persian)
{
    const int x = WindowRules::sideNavX(m_window->width(), persian);
    for (QWidget *w : {m_column, static_cast<QWidget *>(m_logo), static_cast<QWidget *>(m_logoLine)}) {
        // Someone may have put it into a scrolling parent; it belongs to the window.
        if (w->parentWidget() != m_window) {
            const QPoint global = w->mapToGlobal(QPoint(0, 0));
            w->setParent(m_window);
            w->move(m_window->mapFromGlobal(global));
            w->show();
        }
        w->setVisible(shown);
        const int wx = (w == m_column) ? x : x + (WindowRules::kSideNavWidth - w->width()) / 2;
        w->move(wx, w->y());
        if (shown && w->isVisible())
            w->raise();
    }
}

void SideNavigation::hide()
{
    m_column->hide();
    m_logo->hide();
    m_logoLine->hide();
}

void SideNavigation::raiseAll()
{
    m_column->raise();
    m_logo->raise();
    m_logoLine->raise();
    m_logo->raise();
}
