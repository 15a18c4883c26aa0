// The page stack (long page and connection page) inside the scroll area, the
// stack switch and navigation by index.
#include "ui/mainwindow/MainWindow.h"

#include "ui/mainwindow/WindowRules.h"
#include "ui/widgets/QuorlixConnection.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QFrame>
#include <QScrollArea>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace {
constexpr int kHomeBelowMetrics = 494;
constexpr int kSettingsBelowLowerCard = 528;
constexpr int kUnboundedHeight = 16777215;
constexpr int kPromoRefreshDelayMs = 350;
} // namespace

void MainWindow::buildPageStack(MainWindowBuildContext &ctx)
{
    if (auto *metrics = ctx.rootFrame->findChild<QWidget *>(QStringLiteral("BottomBreakerSection")))
        ctx.bottomBreakerY = metrics->y();
    if (auto *card = ctx.rootFrame->findChild<QWidget *>(QStringLiteral("SettingsBottomLeftSectionCard")))
        ctx.settingsBottomLeftHeight = card->height();
    const int homeHeight = ctx.bottomBreakerY + kHomeBelowMetrics;
    const int settingsHeight = ctx.settingsBottomLeftHeight + kSettingsBelowLowerCard;
    ctx.rootFrame->setMinimumHeight(homeHeight);

    auto *stack = new QStackedWidget(ctx.rootFrame);
    auto *homeRoot = new QWidget(stack);
    homeRoot->setObjectName(QStringLiteral("HomeRoot"));
    homeRoot->setAttribute(Qt::WA_StyledBackground, true);
    auto *homeLayout = new QVBoxLayout(homeRoot);
    homeLayout->setContentsMargins(120, 48, 24, 24);
    homeLayout->setSpacing(16);
    homeLayout->addStretch();
    m_connectionPage = new QuorlixConnection(stack);
    stack->addWidget(homeRoot);
    stack->addWidget(m_connectionPage);
    stack->setCurrentWidget(homeRoot);
    ctx.pageStack = stack;
    ctx.homeRoot = homeRoot;

    MainStackSwitch pages{stack, homeRoot, ctx.rootFrame, homeHeight, settingsHeight, ctx.windowHeight};
    connect(m_navGroup, &QButtonGroup::idClicked, this,
            [this, pages](int id) { switchMainStack(pages, id); });

    ctx.rootLayout->addWidget(stack, 1);

    auto *scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("MainScrollArea"));
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidget(ctx.rootFrame);
    setCentralWidget(scroll);
    ctx.scrollArea = scroll;

    // The dashboard title's deferred pass is started here by the titles area.

    for (const char *name : WindowRules::initialStackingOrder()) {
        if (auto *w = findChild<QWidget *>(QLatin1String(name)))
            w->raise();
    }
}

void MainWindow::switchMainStack(const MainStackSwitch &closure, int id)
{
    if (!closure.stack || !closure.rootFrame)
        return;
    if (id == WindowRules::NavNetwork && m_connectionPage) {
        closure.stack->setCurrentWidget(m_connectionPage);
        closure.rootFrame->setMinimumHeight(closure.windowHeight);
        closure.stack->lower();
        for (const char *name : {"QuorlixConnHeader", "QuorlixConnLeft", "QuorlixConnRightScroll",
                                 "QuorlixConnRight", "ServerRegionLeftPanel", "ServerRegionRightPanel",
                                 "ServerRegionBack", "ServerRegionPageTitle"}) {
            if (auto *w = findChild<QWidget *>(QLatin1String(name)))
                w->raise();
        }
        closure.rootFrame->setMaximumHeight(kUnboundedHeight);
        return;
    }

    if (closure.homeRoot)
        closure.stack->setCurrentWidget(closure.homeRoot);
    if (id == WindowRules::NavGames) {
        // The games grid scrolls inside itself; the page does not.
        closure.rootFrame->setMinimumHeight(closure.windowHeight);
        closure.rootFrame->setMaximumHeight(closure.windowHeight);
        closure.stack->lower();
        for (const char *name : {"GamesTitle", "GamesSectionWrap"}) {
            if (auto *w = findChild<QWidget *>(QLatin1String(name)))
                w->raise();
        }
        return;
    }
    closure.rootFrame->setMaximumHeight(kUnboundedHeight);
    closure.rootFrame->setMinimumHeight(WindowRules::rootFrameMinimumHeight(
        id, closure.homeContentHeight, closure.settingsContentHeight, closure.windowHeight));
    closure.stack->lower();
}

void MainWindow::navigateToPage(int index)
{
    if (!m_navGroup)
        return;
    if (index == WindowRules::NavNetwork) {
        trackEvent(QStringLiteral("view_connections"));
        if (m_promoRefresh) {
            QTimer::singleShot(kPromoRefreshDelayMs, this, [this] {
                if (m_promoRefresh)
                    m_promoRefresh();
            });
        }
    }
    QAbstractButton *button = m_navGroup->button(index);
    if (!button)
        return;
    m_programmaticNav = true;
    button->click();
    m_programmaticNav = false;
}

void MainWindow::openGamesPage()
{
    if (!m_navGroup)
        return;
    QAbstractButton *button = m_navGroup->button(WindowRules::NavGames);
    if (!button)
        return;
    m_programmaticNav = true;
    button->click();
    m_programmaticNav = false;
}
