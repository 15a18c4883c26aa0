#include "ui/pages/home/HomeDashboard.h"

#include "i18n/Language.h"
#include "ui/pages/common/PageWidgets.h"
#include "ui/pages/common/ThinScrollBar.h"
#include "ui/pages/home/HeroCard.h"
#include "ui/pages/home/HomeFavorites.h"
#include "ui/pages/home/HomeMetrics.h"
#include "ui/pages/home/LastSessionCard.h"
#include "ui/widgets/Palette.h"

#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QScrollArea>

#include <utility>

namespace {

using Language::windowText;

} // namespace

HomeDashboard::HomeDashboard(QWidget *rootFrame, const Setup &setup, QObject *parent)
    : QObject(parent), m_rootFrame(rootFrame), m_upperY(setup.dashboardTitleHeight + 115)
{
    buildConnectionSection(setup);

    m_hero = new HeroCard(rootFrame, m_upperY, setup.persianFontFamily, setup.openUrl, setup.site, this);

    m_lastSession =
        new LastSessionCard(rootFrame, lowerRowY(), setup.config, setup.dataFolder, setup.logoManager,
                            setup.logoInactivityMs, setup.persianFontFamily, this);
    connect(m_lastSession, &LastSessionCard::addConnectionClicked, this, &HomeDashboard::gamesRequested);

    m_lowerRight = new QWidget(rootFrame);
    m_lowerRight->setObjectName(QStringLiteral("DashboardLowerRight"));
    m_lowerRight->setAttribute(Qt::WA_StyledBackground, true);
    m_lowerRight->setStyleSheet(QStringLiteral("QWidget#DashboardLowerRight {  background-color: " QX_PANEL
                                               ";  "
                                               "border-radius: 20px;  padding: 20px 20px 10px 20px;  border: "
                                               "1px solid " QX_BORDER ";}"));
    m_lowerRight->setFixedSize(641, 382);
    m_lowerRight->move(781, lowerRowY());
    m_lowerRight->raise();
}

void HomeDashboard::buildConnectionSection(const Setup &setup)
{
    m_connectionTitle = new QLabel(windowText("Quorlix Connection"), m_rootFrame);
    m_connectionTitle->setObjectName(QStringLiteral("QuorlixConnectionTitle"));
    m_connectionTitle->setFont(PageWidgets::interFont(32, QFont::DemiBold));
    m_connectionTitle->move(120, 95);
    m_connectionTitle->adjustSize();
    m_connectionTitle->hide();

    m_section = new QWidget(m_rootFrame);
    m_section->setObjectName(QStringLiteral("ConnectionsSection"));
    m_section->setAttribute(Qt::WA_StyledBackground, true);
    m_section->setStyleSheet(
        QStringLiteral("QWidget#ConnectionsSection {  background-color: " QX_PANEL ";  "
                       "border-radius: 20px;  padding: 20px;  border: 1px solid " QX_BORDER ";}"));
    m_section->setFixedSize(640, 382);
    m_section->move(120, m_upperY);
    m_section->raise();

    auto *rocket = new QLabel(m_section);
    rocket->setObjectName(QStringLiteral("HomeReadyRocket"));
    rocket->setStyleSheet(QStringLiteral("background: transparent;"));
    rocket->setFixedSize(78, 78);
    rocket->move(281, 82);
    const QPixmap rocketPicture(QStringLiteral(":/icons/home-ready-rocket.png"));
    if (!rocketPicture.isNull())
        rocket->setPixmap(rocketPicture.scaled(78, 78, Qt::KeepAspectRatio, Qt::SmoothTransformation));

    auto *title = new QLabel(windowText("Ready to optimize?"), m_section);
    title->setObjectName(QStringLiteral("HomeReadyTitle"));
    title->setGeometry(151, 180, 338, 28);
    title->setFont(PageWidgets::interFont(20, QFont::DemiBold));
    title->setStyleSheet(QStringLiteral("color:" QX_WHITE
                                        ";background: transparent;font-family: Inter;font-size: "
                                        "20px;font-weight: 600;"));
    title->setAlignment(Qt::AlignCenter);

    auto *hint = new QLabel(windowText("Add a game to ensure the best connection route."), m_section);
    hint->setObjectName(QStringLiteral("HomeReadySub"));
    hint->setGeometry(151, 212, 338, 40);
    hint->setFont(PageWidgets::interFont(14, QFont::Normal));
    hint->setStyleSheet(QStringLiteral("color:" QX_SECONDARY
                                       ";background: transparent;font-family: Inter;font-size: "
                                       "14px;font-weight: 400;line-height: 20px;"));
    hint->setWordWrap(true);
    hint->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

    m_addGame = new QPushButton(windowText("Add a game"), m_section);
    m_addGame->setObjectName(QStringLiteral("HomeAddGameBtn"));
    m_addGame->setFixedSize(126, 48);
    m_addGame->move(257, 252);
    m_addGame->setFont(PageWidgets::interFont(14, QFont::DemiBold));
    m_addGame->setCursor(Qt::PointingHandCursor);
    m_addGame->setStyleSheet(
        QStringLiteral("QPushButton#HomeAddGameBtn{background-color:" QX_ACCENT
                       ";border:none;border-radius:18px;color:" QX_BACKGROUND ";"
                       "font-size:14px;font-weight:600;line-height:20px;}"
                       "QPushButton#HomeAddGameBtn:hover{background-color:" QX_ADD_GAME_HOVER ";}"
                       "QPushButton#HomeAddGameBtn:pressed{background-color:" QX_ADD_GAME_PRESSED ";}"));
    connect(m_addGame, &QPushButton::clicked, this, &HomeDashboard::gamesRequested);

    m_favWrap = new QWidget(m_section);
    m_favWrap->setObjectName(QStringLiteral("HomeFavWrap"));
    m_favWrap->setAttribute(Qt::WA_StyledBackground, true);
    m_favWrap->setStyleSheet(QStringLiteral("background: transparent;"));
    m_favWrap->setGeometry(0, 0, m_section->width(), m_section->height());
    m_favWrap->hide();
    auto *favTitle = new QLabel(windowText("Favorite games"), m_favWrap);
    favTitle->setObjectName(QStringLiteral("HomeFavTitle"));
    favTitle->setGeometry(24, 24, m_section->width() - 48, 24);
    favTitle->setFont(PageWidgets::interFont(16, QFont::DemiBold));
    favTitle->setStyleSheet(QStringLiteral("color:" QX_WHITE
                                           ";background: transparent;font-family: Inter;font-size: "
                                           "16px;font-weight: 600;line-height: 24px;letter-spacing: 0px;"));
    favTitle->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_favScroll = new QScrollArea(m_favWrap);
    m_favScroll->setObjectName(QStringLiteral("HomeFavScroll"));
    m_favScroll->setGeometry(24, 72, m_section->width() - 48, m_section->height() - 72 - 24);
    m_favScroll->setFrameShape(QFrame::NoFrame);
    m_favScroll->setWidgetResizable(false);
    m_favScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_favScroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_favScroll->setStyleSheet(thinScrollAreaStyle(QStringLiteral("HomeFavScroll")));
    auto *host = new QWidget;
    host->setObjectName(QStringLiteral("HomeFavCardsHost"));
    host->setAttribute(Qt::WA_StyledBackground, true);
    host->setStyleSheet(QStringLiteral("background: transparent;"));
    m_favScroll->setWidget(host);

    HomeFavorites::Hosts hosts;
    hosts.section = m_section;
    hosts.wrap = m_favWrap;
    hosts.cardsHost = host;
    hosts.scroll = m_favScroll;
    hosts.stripTitle = favTitle;
    hosts.rocket = rocket;
    hosts.title = title;
    hosts.hint = hint;
    hosts.addGame = m_addGame;
    m_favorites =
        new HomeFavorites(hosts, setup.board, setup.images, setup.persianFontFamily, setup.hoverFilter, this);
    connect(m_favorites, &HomeFavorites::gameOpened, this, &HomeDashboard::gameOpened);
}

void HomeDashboard::showLastSession(const SessionData &session)
{
    m_lastSession->showLastSession(session);
}

void HomeDashboard::placeHomeSections(bool persian)
{
    // The same table as the metrics strip's hook and the window's resize
    // handling: whichever runs last, the four containers end up in one place.
    const std::pair<QWidget *, HomeMetrics::Container> columns[] = {
        {m_section, HomeMetrics::ConnectionsSection},
        {m_hero->card(), HomeMetrics::ConnectionsSectionRight},
        {m_lastSession->card(), HomeMetrics::DashboardLowerLeft},
        {m_lowerRight, HomeMetrics::DashboardLowerRight},
    };
    for (const auto &[widget, container] : columns) {
        widget->move(HomeMetrics::containerX(container, persian), widget->y());
        if (widget->isVisible())
            widget->raise();
    }
}

void HomeDashboard::place(bool persian)
{
    m_favorites->place(persian);
    m_lastSession->place(persian);
    m_hero->place(persian);
    placeHomeSections(persian);
}
