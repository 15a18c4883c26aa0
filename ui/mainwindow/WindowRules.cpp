#include "ui/mainwindow/WindowRules.h"

#include "ui/pages/home/HomeMetrics.h"

#include <algorithm>

namespace WindowRules {

QSize windowSizeForOption(const QString &sizeText)
{
    if (sizeText.contains(QLatin1String("1080")))
        return QSize(kSmallWidth, kSmallHeight);
    return QSize(kDesignWidth, kDesignHeight);
}

int sideNavX(int windowWidth, bool persian)
{
    return persian ? std::max(0, windowWidth - kSideNavLeftX - kSideNavWidth) : kSideNavLeftX;
}

WindowButtonPlaces windowButtonPlaces(int headerWidth, bool persian)
{
    if (persian)
        return {QPoint(20, 20), QPoint(84, 20)};
    return {QPoint(headerWidth - 74, 20), QPoint(headerWidth - 138, 20)};
}

int headerSpacerWidth(bool persian, int minimizeRight, int rowLeftMargin, int miniLogoWrapWidth)
{
    if (!persian)
        return 35;
    return std::max(0, minimizeRight + 10 - rowLeftMargin - miniLogoWrapWidth);
}

View viewFor(int navId, bool programmatic)
{
    switch (navId) {
    case NavHome:
        return View::Home;
    case NavGames:
        return View::Games;
    case NavNetwork:
        return programmatic ? View::Connection : View::Landing;
    case NavSetting:
        return View::Setting;
    case NavProfile:
        return View::Profile;
    default:
        return View::Never;
    }
}

const QVector<SectionInfo> &sectionTable()
{
    using S = Section;
    const auto show = SectionRule::Show;
    const auto hideOnly = SectionRule::HideOnly;
    const int page = kPersianPageShift;
    static const QVector<SectionInfo> table = {
        {S::DashboardTitle, "DashboardTitle", View::Home, show},
        {S::ConnectionsLandingTitle, "ConnectionsLandingTitle", View::Landing, show, page},
        {S::QuorlixConnectionTitle, "QuorlixConnectionTitle", View::Never, show},
        {S::GamesTitle, "GamesTitle", View::Games, show, page},
        {S::ProfileTitle, "ProfileTitle", View::Profile, show},
        {S::SettingsTitle, "SettingsTitle", View::Setting, show, page},
        {S::SettingsResetDefaultButton, "SettingsResetDefaultButton", View::Setting, show, page},
        {S::SettingsPreferencesCard, "SettingsPreferencesCard", View::Setting, show, page},
        {S::SettingsLeftSectionCard, "SettingsLeftSectionCard", View::Setting, show, page},
        {S::SettingsRightSectionCard, "SettingsRightSectionCard", View::Setting, show, page},
        {S::SettingsBottomLeftSectionCard, "SettingsBottomLeftSectionCard", View::Setting, show, page},
        {S::SettingsBottomRightSectionCard, "SettingsBottomRightSectionCard", View::Setting, show, page},
        {S::ProfileLeftSection, "ProfileLeftSection", View::Profile, show},
        {S::ProfileLogoutButton, "ProfileLogoutButton", View::Profile, show},
        {S::LogoutConfirmOverlay, "LogoutConfirmOverlay", View::Profile, hideOnly},
        {S::ConnectionsSection, "ConnectionsSection", View::Home, show},
        {S::GamesSectionWrap, "GamesSectionWrap", View::Games, show, page},
        {S::ConnectionsSectionRight, "ConnectionsSectionRight", View::Home, show},
        {S::DashboardLowerLeft, "DashboardLowerLeft", View::Home, show},
        {S::DashboardLowerRight, "DashboardLowerRight", View::Home, show},
        {S::BottomBreakerSection, "BottomBreakerSection", View::Home, show},
        {S::HelpCardTutorials, "HelpCardTutorials", View::Home, show},
        {S::HelpCardSupport, "HelpCardSupport", View::Home, show},
        {S::HelpCardDiscord, "HelpCardDiscord", View::Home, show},
        {S::ConnectionsHero, "ConnectionsHero", View::Home, show},
        {S::QuorlixConnLeft, "QuorlixConnLeft", View::Connection, show, page},
        {S::QuorlixConnRightScroll, "QuorlixConnRightScroll", View::Connection, show, page},
        {S::QuorlixConnRight, "QuorlixConnRight", View::Connection, show},
        {S::QuorlixConnHeader, "QuorlixConnHeader", View::Connection, show, page},
        {S::ConsoleConnOverlay, "ConsoleConnOverlay", View::Connection, hideOnly, page},
        {S::ConnectionsLandingBanner, "ConnectionsLandingBanner", View::Landing, show, page},
        {S::ConnectionsLandingBody, "ConnectionsLandingBody", View::Landing, show, page},
        {S::ServerRegionBack, "ServerRegionBack", View::Never, show, page},
        {S::ServerRegionPageTitle, "ServerRegionPageTitle", View::Never, show, page},
        {S::ServerRegionLeftPanel, "ServerRegionLeftPanel", View::Never, show, page},
        {S::ServerRegionRightPanel, "ServerRegionRightPanel", View::Never, show, page},
        {S::NotifDropdownOverlay, "NotifDropdownOverlay", View::Never, hideOnly},
        // The route settings panel lies inside its own full-window overlay.
        {S::RouteSettingsPanel, "RouteSettingsPanel", View::Never, SectionRule::PlaceOnly, page},
    };
    return table;
}

const char *sectionName(Section section)
{
    for (const SectionInfo &info : sectionTable()) {
        if (info.section == section)
            return info.objectName;
    }
    return "";
}

QVector<SectionVisibility> sectionVisibility(int navId, bool programmatic)
{
    const View view = viewFor(navId, programmatic);
    QVector<SectionVisibility> rules;
    rules.reserve(sectionTable().size());
    for (const SectionInfo &info : sectionTable()) {
        if (info.rule != SectionRule::PlaceOnly)
            rules.append({info.section, view != View::Never && info.shownIn == view, info.rule});
    }
    return rules;
}

int sectionX(Section section, int leftToRightX, bool persian)
{
    if (!persian)
        return leftToRightX;
    for (const SectionInfo &info : sectionTable()) {
        if (info.section == section)
            return leftToRightX + info.persianShift;
    }
    return leftToRightX;
}

QVector<SectionX> homeSectionPlaces(bool persian)
{
    // The home metrics' table is the one source of these x values.
    const auto x = [persian](HomeMetrics::Container c) { return HomeMetrics::containerX(c, persian); };
    return {
        {Section::ConnectionsSection, x(HomeMetrics::ConnectionsSection)},
        {Section::ConnectionsSectionRight, x(HomeMetrics::ConnectionsSectionRight)},
        {Section::DashboardLowerLeft, x(HomeMetrics::DashboardLowerLeft)},
        {Section::DashboardLowerRight, x(HomeMetrics::DashboardLowerRight)},
        {Section::BottomBreakerSection, x(HomeMetrics::BottomBreakerSection)},
        {Section::HelpCardTutorials, x(HomeMetrics::HelpCardTutorials)},
        {Section::HelpCardSupport, x(HomeMetrics::HelpCardSupport)},
        {Section::HelpCardDiscord, x(HomeMetrics::HelpCardDiscord)},
    };
}

QVector<Section> initialStackingOrder()
{
    using S = Section;
    return {S::ConnectionsSection,  S::ConnectionsSectionRight, S::DashboardLowerLeft,
            S::DashboardLowerRight, S::BottomBreakerSection,    S::HelpCardTutorials,
            S::HelpCardSupport,     S::HelpCardDiscord,         S::ConnectionsHero,
            S::QuorlixConnLeft,     S::QuorlixConnRightScroll,  S::QuorlixConnRight,
            S::QuorlixConnHeader,   S::ServerRegionLeftPanel,   S::ServerRegionRightPanel,
            S::ServerRegionBack,    S::ServerRegionPageTitle,   S::DashboardTitle,
            S::GamesTitle,          S::SettingsPreferencesCard, S::SettingsTitle};
}

QVector<Section> connectionPageRaiseOrder()
{
    using S = Section;
    return {S::QuorlixConnHeader, S::QuorlixConnLeft,       S::QuorlixConnRightScroll,
            S::QuorlixConnRight,  S::ServerRegionLeftPanel, S::ServerRegionRightPanel,
            S::ServerRegionBack,  S::ServerRegionPageTitle};
}

QVector<Section> gamesRaiseOrder()
{
    return {Section::GamesTitle, Section::GamesSectionWrap};
}

int rootFrameMinimumHeight(int navId, int homeContentHeight, int settingsContentHeight, int windowHeight)
{
    switch (navId) {
    case NavHome:
        return homeContentHeight;
    case NavSetting:
        return settingsContentHeight;
    default:
        return windowHeight;
    }
}

} // namespace WindowRules
