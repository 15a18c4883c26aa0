// Side navigation: the column of five section buttons, its placement for the
// language and the sign-in state, and the section switch it drives.
#include "ui/mainwindow/MainWindow.h"

#include "i18n/TranslationManager.h"
#include "services/ServiceApi.h"
#include "ui/mainwindow/WindowRules.h"
#include "ui/pages/AuthPage.h"
#include "ui/widgets/ProxyStatusOverlay.h"

#include <QButtonGroup>
#include <QFrame>
#include <QLabel>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
const char *const kHomeShown[] = {"DashboardTitle",     "ConnectionsSection",  "ConnectionsSectionRight",
                                  "DashboardLowerLeft", "DashboardLowerRight", "BottomBreakerSection",
                                  "HelpCardTutorials",  "HelpCardSupport",     "HelpCardDiscord",
                                  "ConnectionsHero"};
const char *const kHomeHidden[] = {"ConnectionsLandingTitle",
                                   "QuorlixConnectionTitle",
                                   "GamesTitle",
                                   "ProfileTitle",
                                   "SettingsTitle",
                                   "SettingsPreferencesCard",
                                   "SettingsLeftSectionCard",
                                   "SettingsRightSectionCard",
                                   "SettingsBottomLeftSectionCard",
                                   "SettingsBottomRightSectionCard",
                                   "ProfileLeftSection",
                                   "ProfileLogoutButton",
                                   "QuorlixConnLeft",
                                   "QuorlixConnRightScroll",
                                   "QuorlixConnRight",
                                   "QuorlixConnHeader",
                                   "ConnectionsLandingBanner",
                                   "ConnectionsLandingBody",
                                   "GamesSectionWrap"};

QString currentLanguage()
{
    TranslationManager *translations = TranslationManager::instance();
    return translations ? translations->currentLanguage() : QStringLiteral("en-US");
}
} // namespace

void MainWindow::buildSideNavigation(MainWindowBuildContext &ctx)
{
    auto *column = new QWidget(this);
    column->setObjectName(QStringLiteral("HeaderNavDots"));
    column->setAttribute(Qt::WA_StyledBackground, true);
    // The column carries the looks of its buttons and version label itself, so
    // the navigation reads the same whatever the application sheet holds. The
    // buttons' fixed size makes the 54 px circle; a sheet min/max width would
    // size the content box and add the border on top (56 px).
    column->setStyleSheet(QStringLiteral(
        "QWidget#HeaderNavDots { background: transparent; }"
        "QToolButton#HeaderNavDot {"
        " padding: 0; margin: 0; border-radius: 27px; border: 1px solid #1A1E24; background: #111317; }"
        "QToolButton#HeaderNavDot:hover { background: #151820; }"
        "QToolButton#HeaderNavDot:checked { background: qlineargradient(x1:0, y1:0, x2:1, y2:1,"
        " stop:0.2315 #E8E8E8, stop:0.9793 #707174); }"
        "QToolButton#HeaderNavDot:checked:hover { background: qlineargradient(x1:0, y1:0, x2:1, y2:1,"
        " stop:0.2315 #F0F0F0, stop:0.9793 #808389); }"
        "QLabel#sideVersion { font-family: Inter; font-weight: 500; font-size: 12px; color: #707174;"
        " background: transparent; }"));
    auto *layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(20);
    ctx.navColumn = column;

    m_navGroup = new QButtonGroup(column);
    m_navGroup->setExclusive(true);

    const QSize iconSize(24, 24);
    for (int id = 0; id < ctx.navItems.size(); ++id) {
        const MainWindowBuildContext::NavItem &item = ctx.navItems.at(id);
        auto *button = new QToolButton(column);
        button->setObjectName(QStringLiteral("HeaderNavDot"));
        button->setToolTip(item.label);
        button->setFixedSize(54, 54);
        button->setAutoFillBackground(false);
        button->setAttribute(Qt::WA_TranslucentBackground, false);
        const QIcon normal = tintedIcon(item.icon, iconSize, QColor(QStringLiteral("#F5F5F5")));
        const QIcon active = tintedIcon(item.icon, iconSize, QColor(QStringLiteral("#111317")));
        ctx.navNormalIcons.append(normal);
        ctx.navActiveIcons.append(active);
        button->setIcon(id == WindowRules::NavHome ? active : normal);
        button->setIconSize(iconSize);
        button->setCheckable(true);
        button->setChecked(id == WindowRules::NavHome);
        button->setFocusPolicy(Qt::NoFocus);
        layout->addWidget(button, 0, Qt::AlignHCenter);
        m_navGroup->addButton(button, id);
        ctx.navButtons.append(button);
    }

    layout->addSpacing(14);
    auto *divider = new QFrame(column);
    divider->setObjectName(QStringLiteral("SideFooterDivider"));
    divider->setFixedSize(44, 1);
    divider->setFrameShape(QFrame::NoFrame);
    divider->setStyleSheet(QStringLiteral("background-color: #414245; border: none;"));
    layout->addWidget(divider, 0, Qt::AlignHCenter);
    layout->addSpacing(10);
    auto *version = new QLabel(QStringLiteral("v") + QLatin1String(ServiceApi::kAppVersion), column);
    version->setObjectName(QStringLiteral("sideVersion"));
    version->setAlignment(Qt::AlignCenter);
    layout->addWidget(version, 0, Qt::AlignHCenter);

    NavSectionSwitch sections;
    for (QToolButton *button : std::as_const(ctx.navButtons))
        sections.buttons.append(button);
    sections.normalIcons = ctx.navNormalIcons;
    sections.activeIcons = ctx.navActiveIcons;
    sections.requestGames = ctx.requestGames;
    sections.landingBannerBackdrop = ctx.landingBannerBackdrop;
    connect(m_navGroup, &QButtonGroup::idClicked, this,
            [this, sections](int id) { switchNavSection(sections, id); });

    // The Home state, set directly rather than through a click.
    for (const char *name : kHomeShown) {
        if (auto *w = findChild<QWidget *>(QLatin1String(name)))
            w->setVisible(true);
    }
    for (const char *name : kHomeHidden) {
        if (auto *w = findChild<QWidget *>(QLatin1String(name)))
            w->setVisible(false);
    }

    column->setFixedWidth(WindowRules::kSideNavWidth);
    column->adjustSize();
    column->move(WindowRules::kSideNavLeftX, WindowRules::kSideNavColumnY);

    SideNavHook hook{column,
                     ctx.fixedMiniLogo,
                     ctx.fixedMiniLogoLine,
                     WindowRules::kMiniLogoY,
                     WindowRules::kMiniLogoLineY,
                     WindowRules::kSideNavColumnY,
                     WindowRules::kSideNavLeftX,
                     WindowRules::kSideNavWidth};
    installLanguageHook([this, hook](const QString &code) { layoutSideNavForLanguage(hook, code); },
                        /*alsoDeferred=*/false);
    QTimer::singleShot(0, this, [this, hook] { deferSideNavLayout(hook); });
}

void MainWindow::layoutSideNavForLanguage(const SideNavHook &hook, const QString &languageCode)
{
    const bool persian = WindowRules::isPersian(languageCode);
    const int x = persian ? std::max(0, width() - hook.leftX - hook.columnWidth) : hook.leftX;
    if (hook.logo) {
        hook.logo->move(x + (hook.columnWidth - hook.logo->width()) / 2, hook.logoY);
        hook.logo->raise();
    }
    if (hook.line) {
        hook.line->move(x + (hook.columnWidth - hook.line->width()) / 2, hook.lineY);
        hook.line->raise();
    }
    if (hook.column) {
        hook.column->move(x, hook.columnY);
        hook.column->raise();
    }
}

void MainWindow::deferSideNavLayout(const SideNavHook &hook)
{
    layoutSideNavForLanguage(hook, currentLanguage());
}

void MainWindow::placeSideNavColumn(bool visible, bool persian)
{
    const int x = WindowRules::sideNavX(width(), persian);
    QWidget *column = findChild<QWidget *>(QStringLiteral("HeaderNavDots"));
    QWidget *logo = findChild<QLabel *>(QStringLiteral("FixedMiniLogo"));
    QWidget *line = findChild<QFrame *>(QStringLiteral("FixedMiniLogoLine"));
    for (QWidget *w : {column, logo, line}) {
        if (!w)
            continue;
        // Someone may have put it into a scrolling parent; it belongs to the window.
        if (w->parentWidget() != this) {
            const QPoint global = w->mapToGlobal(QPoint(0, 0));
            w->setParent(this);
            w->move(mapFromGlobal(global));
            w->show();
        }
        w->setVisible(visible);
        const int wx = (w == column) ? x : x + (WindowRules::kSideNavWidth - w->width()) / 2;
        w->move(wx, w->y());
        if (visible && w->isVisible())
            w->raise();
    }
}

void MainWindow::syncSideNavVisibility()
{
    const bool signInShown = m_authPage && m_authPage->isVisible();
    const bool busyShown = m_busyOverlay && m_busyOverlay->isVisible();
    placeSideNavColumn(!signInShown && !busyShown, WindowRules::isPersian(currentLanguage()));
}

void MainWindow::hideSideNavWhileLoggedOut()
{
    if (!m_authPage || !m_authPage->isVisible())
        return;
    for (const char *name : {"HeaderNavDots", "FixedMiniLogo", "FixedMiniLogoLine"}) {
        if (auto *w = findChild<QWidget *>(QLatin1String(name)))
            w->hide();
    }
}

void MainWindow::switchNavSection(const NavSectionSwitch &closure, int id)
{
    for (int i = 0; i < closure.buttons.size(); ++i) {
        QToolButton *button = closure.buttons.at(i);
        if (!button)
            continue;
        button->setChecked(i == id);
        const QList<QIcon> &icons = (i == id) ? closure.activeIcons : closure.normalIcons;
        if (i < icons.size())
            button->setIcon(icons.at(i));
    }

    const QVector<WindowRules::SectionVisibility> rules =
        WindowRules::sectionVisibility(id, m_programmaticNav);
    for (const WindowRules::SectionVisibility &rule : rules) {
        QWidget *w = findChild<QWidget *>(QLatin1String(rule.name));
        if (!w)
            continue;
        if (rule.rule == WindowRules::SectionRule::HideOnly) {
            if (!rule.visible)
                w->hide();
            continue;
        }
        const QLatin1String name(rule.name);
        if (rule.visible && name == QLatin1String("ConnectionsLandingBanner")) {
            // The banner's frosted backdrop is taken of what lies beneath it,
            // so it must be out of the way while the backdrop is made.
            w->hide();
            if (closure.landingBannerBackdrop && *closure.landingBannerBackdrop)
                (*closure.landingBannerBackdrop)();
        }
        w->setVisible(rule.visible);
    }

    if (id == WindowRules::NavGames && closure.requestGames && *closure.requestGames)
        (*closure.requestGames)(true, true);
}
