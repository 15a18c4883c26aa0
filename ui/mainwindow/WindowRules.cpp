#include "ui/mainwindow/WindowRules.h"

#include <algorithm>

namespace WindowRules {

bool isPersian(const QString &languageCode)
{
    const QString code = languageCode.trimmed().toLower();
    return code == QLatin1String("fa-ir") || code.startsWith(QLatin1String("fa"));
}

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

QVector<SectionX> homeSectionPlaces(bool persian)
{
    const int base = persian ? 20 : 120;
    return {
        {"ConnectionsSection", persian ? base + 660 : base},
        {"ConnectionsSectionRight", persian ? base : base + 660},
        {"DashboardLowerLeft", persian ? base + 661 : base},
        {"DashboardLowerRight", persian ? base : base + 661},
        {"BottomBreakerSection", base},
        {"HelpCardTutorials", base},
        {"HelpCardSupport", base + 440},
        {"HelpCardDiscord", base + 880},
    };
}

QVector<SectionVisibility> sectionVisibility(int navId, bool programmatic)
{
    const bool home = navId == NavHome;
    const bool games = navId == NavGames;
    const bool settings = navId == NavSetting;
    const bool profile = navId == NavProfile;
    const bool landing = navId == NavNetwork && !programmatic;
    const bool connection = navId == NavNetwork && programmatic;
    const auto show = SectionRule::Show;
    const auto hideOnly = SectionRule::HideOnly;
    return {
        {"DashboardTitle", home, show},
        {"ConnectionsLandingTitle", landing, show},
        {"QuorlixConnectionTitle", false, show},
        {"GamesTitle", games, show},
        {"ProfileTitle", profile, show},
        {"SettingsTitle", settings, show},
        {"SettingsResetDefaultButton", settings, show},
        {"SettingsPreferencesCard", settings, show},
        {"SettingsLeftSectionCard", settings, show},
        {"SettingsRightSectionCard", settings, show},
        {"SettingsBottomLeftSectionCard", settings, show},
        {"SettingsBottomRightSectionCard", settings, show},
        {"ProfileLeftSection", profile, show},
        {"ProfileLogoutButton", profile, show},
        {"LogoutConfirmOverlay", profile, hideOnly},
        {"ConnectionsSection", home, show},
        {"GamesSectionWrap", games, show},
        {"ConnectionsSectionRight", home, show},
        {"DashboardLowerLeft", home, show},
        {"DashboardLowerRight", home, show},
        {"BottomBreakerSection", home, show},
        {"HelpCardTutorials", home, show},
        {"HelpCardSupport", home, show},
        {"HelpCardDiscord", home, show},
        {"ConnectionsHero", home, show},
        {"QuorlixConnLeft", connection, show},
        {"QuorlixConnRightScroll", connection, show},
        {"QuorlixConnRight", connection, show},
        {"QuorlixConnHeader", connection, show},
        {"ConsoleConnOverlay", connection, hideOnly},
        {"ConnectionsLandingBanner", landing, show},
        {"ConnectionsLandingBody", landing, show},
        {"ServerRegionBack", false, show},
        {"ServerRegionPageTitle", false, show},
        {"ServerRegionLeftPanel", false, show},
        {"ServerRegionRightPanel", false, show},
        {"NotifDropdownOverlay", false, hideOnly},
    };
}

QVector<const char *> initialStackingOrder()
{
    return {"ConnectionsSection",  "ConnectionsSectionRight", "DashboardLowerLeft",
            "DashboardLowerRight", "BottomBreakerSection",    "HelpCardTutorials",
            "HelpCardSupport",     "HelpCardDiscord",         "ConnectionsHero",
            "QuorlixConnLeft",     "QuorlixConnRightScroll",  "QuorlixConnRight",
            "QuorlixConnHeader",   "ServerRegionLeftPanel",   "ServerRegionRightPanel",
            "ServerRegionBack",    "ServerRegionPageTitle",   "DashboardTitle",
            "GamesTitle",          "SettingsPreferencesCard", "SettingsTitle",
            "HeaderNavDots",       "FixedMiniLogo",           "FixedMiniLogoLine",
            "FixedMiniLogo"};
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
