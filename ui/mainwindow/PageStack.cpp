#include "ui/mainwindow/PageStack.h"

#include "ui/mainwindow/SectionWidgets.h"
#include "ui/mainwindow/WindowRules.h"
#include "ui/widgets/QuorlixConnection.h"

#include <QFrame>
#include <QMainWindow>
#include <QScrollArea>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace {
constexpr int kHomeBelowMetrics = 494;
constexpr int kSettingsBelowLowerCard = 528;
constexpr int kUnboundedHeight = 16777215;
} // namespace

using WindowRules::Section;

QScrollArea *PageStack::makeScrollArea(QMainWindow *window)
{
    auto *scroll = new QScrollArea(window);
    scroll->setObjectName(QStringLiteral("MainScrollArea"));
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    return scroll;
}

PageStack::PageStack(QMainWindow *window, QScrollArea *scroll, QWidget *rootFrame, QVBoxLayout *rootLayout,
                     const SectionWidgets &sections)
    : QObject(window), m_window(window), m_rootFrame(rootFrame), m_sections(sections), m_scroll(scroll)
{
    readContentHeights();
    rootFrame->setMinimumHeight(m_homeHeight);

    m_stack = new QStackedWidget(rootFrame);
    m_homeRoot = new QWidget(m_stack);
    m_homeRoot->setObjectName(QStringLiteral("HomeRoot"));
    m_homeRoot->setAttribute(Qt::WA_StyledBackground, true);
    auto *homeLayout = new QVBoxLayout(m_homeRoot);
    homeLayout->setContentsMargins(120, 48, 24, 24);
    homeLayout->setSpacing(16);
    homeLayout->addStretch();
    m_connectionPage = new QuorlixConnection(m_stack);
    m_stack->addWidget(m_homeRoot);
    m_stack->addWidget(m_connectionPage);
    m_stack->setCurrentWidget(m_homeRoot);

    rootLayout->addWidget(m_stack, 1);

    // The scroll area lies above what the window built before the page
    // stack (the floating widgets raise themselves later); the root frame
    // already lives in its viewport, so nothing is reparented here.
    m_scroll->raise();
    m_scroll->setWidget(rootFrame);
    window->setCentralWidget(m_scroll);
}

void PageStack::readContentHeights()
{
    // The y at which the home metrics strip sits and the lower settings
    // card's height; 0 while those sections are not built.
    const QWidget *metrics = m_sections.widget(Section::BottomBreakerSection);
    const QWidget *settingsCard = m_sections.widget(Section::SettingsBottomLeftSectionCard);
    m_homeHeight = (metrics ? metrics->y() : 0) + kHomeBelowMetrics;
    m_settingsHeight = (settingsCard ? settingsCard->height() : 0) + kSettingsBelowLowerCard;
}

void PageStack::setContentHeights(int home, int settings)
{
    m_homeHeight = home;
    m_settingsHeight = settings;
}

void PageStack::sectionsBuilt()
{
    readContentHeights();
    if (m_shownNavId < 0) {
        m_rootFrame->setMinimumHeight(m_homeHeight);
        return;
    }
    if (m_shownNavId == WindowRules::NavNetwork || m_shownNavId == WindowRules::NavGames)
        return; // one screen, whatever the content
    m_rootFrame->setMinimumHeight(WindowRules::rootFrameMinimumHeight(m_shownNavId, m_homeHeight,
                                                                      m_settingsHeight, m_window->height()));
}

void PageStack::showFor(int navId)
{
    m_shownNavId = navId;
    const int windowHeight = m_window->height();
    auto raise = [this](const QVector<Section> &order) {
        for (Section section : order) {
            if (QWidget *w = m_sections.widget(section))
                w->raise();
        }
    };
    if (navId == WindowRules::NavNetwork) {
        m_stack->setCurrentWidget(m_connectionPage);
        m_rootFrame->setMinimumHeight(windowHeight);
        m_stack->lower();
        raise(WindowRules::connectionPageRaiseOrder());
        m_rootFrame->setMaximumHeight(kUnboundedHeight);
        return;
    }

    m_stack->setCurrentWidget(m_homeRoot);
    if (navId == WindowRules::NavGames) {
        // The games grid scrolls inside itself; the page does not.
        m_rootFrame->setMinimumHeight(windowHeight);
        m_rootFrame->setMaximumHeight(windowHeight);
        m_stack->lower();
        raise(WindowRules::gamesRaiseOrder());
        return;
    }
    m_rootFrame->setMaximumHeight(kUnboundedHeight);
    m_rootFrame->setMinimumHeight(
        WindowRules::rootFrameMinimumHeight(navId, m_homeHeight, m_settingsHeight, windowHeight));
    m_stack->lower();
}
