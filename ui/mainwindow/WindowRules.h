#pragma once
#include "i18n/Language.h"

#include <QPoint>
#include <QSize>
#include <QString>
#include <QVector>

// The window's placement and visibility rules as plain functions of their
// inputs, so the area code only applies them and tests can read them as tables.
namespace WindowRules {

inline constexpr int kDesignWidth = 1440;
inline constexpr int kDesignHeight = 810;
inline constexpr int kSmallWidth = 1080;
inline constexpr int kSmallHeight = 608;
inline constexpr int kSideNavLeftX = 24;
inline constexpr int kSideNavWidth = 70;
inline constexpr int kSideNavColumnY = 111;
inline constexpr int kMiniLogoY = 28;
inline constexpr int kMiniLogoLineY = 92;

enum NavId { NavHome = 0, NavGames = 1, NavNetwork = 2, NavSetting = 3, NavProfile = 4 };

// Whether a language code is Persian, which the window mirrors for.
using Language::isPersian;

// The stored "settings/window_size" text picks the small window when it
// contains "1080" anywhere; everything else is the design size.
QSize windowSizeForOption(const QString &sizeText);

// The x of the side-navigation column for a window width.
int sideNavX(int windowWidth, bool persian);

// Window button places; headerWidth is the header band's width (or the window's).
struct WindowButtonPlaces
{
    QPoint close;
    QPoint minimize;
};
WindowButtonPlaces windowButtonPlaces(int headerWidth, bool persian);

// Width of the spacer after the mini-logo column so the header row clears the
// window buttons on the left in Persian.
int headerSpacerWidth(bool persian, int minimizeRight, int rowLeftMargin, int miniLogoWrapWidth);

// Every named widget of the long page that the navigation shows, hides,
// places or raises. The section table below is the one place their object
// names are written; everything else speaks of them through this enum.
enum class Section {
    DashboardTitle,
    ConnectionsLandingTitle,
    QuorlixConnectionTitle,
    GamesTitle,
    ProfileTitle,
    SettingsTitle,
    SettingsResetDefaultButton,
    SettingsPreferencesCard,
    SettingsLeftSectionCard,
    SettingsRightSectionCard,
    SettingsBottomLeftSectionCard,
    SettingsBottomRightSectionCard,
    ProfileLeftSection,
    ProfileLogoutButton,
    LogoutConfirmOverlay,
    ConnectionsSection,
    GamesSectionWrap,
    ConnectionsSectionRight,
    DashboardLowerLeft,
    DashboardLowerRight,
    BottomBreakerSection,
    HelpCardTutorials,
    HelpCardSupport,
    HelpCardDiscord,
    ConnectionsHero,
    QuorlixConnLeft,
    QuorlixConnRightScroll,
    QuorlixConnRight,
    QuorlixConnHeader,
    ConsoleConnOverlay,
    ConnectionsLandingBanner,
    ConnectionsLandingBody,
    ServerRegionBack,
    ServerRegionPageTitle,
    ServerRegionLeftPanel,
    ServerRegionRightPanel,
    NotifDropdownOverlay,
    RouteSettingsPanel,
};

// What the navigation shows: one view per button, except that Network is the
// landing when the user clicks it and the connection page when a flow opens
// a game (navigation by index).
enum class View { Home, Games, Landing, Connection, Setting, Profile, Never };
View viewFor(int navId, bool programmatic);

// How a section follows the view.
enum class SectionRule {
    Show,      // visible exactly in its view
    HideOnly,  // hidden outside its view, left alone in it
    PlaceOnly, // never shown or hidden by the navigation; only placed
};

// The pages that keep their left-to-right layout in Persian lie under the
// side navigation, which moves to the window's right edge there: in Persian
// they move left by this much, each as a whole.
inline constexpr int kPersianPageShift = -100;

struct SectionInfo
{
    Section section;
    const char *objectName;
    View shownIn;
    SectionRule rule;
    int persianShift = 0; // added to the section's x in Persian
};

// Every section, in the order a section switch applies them.
const QVector<SectionInfo> &sectionTable();
const char *sectionName(Section section);

// What one press of a navigation button does to each section, in table order.
struct SectionVisibility
{
    Section section;
    bool visible;
    SectionRule rule;
};
QVector<SectionVisibility> sectionVisibility(int navId, bool programmatic);

// The x of a section for the language, given its left-to-right x.
int sectionX(Section section, int leftToRightX, bool persian);

// x of each floating home section for the language, in placement order: the
// home metrics' table (HomeMetrics::containerX), so the resize handling, the
// dashboard's column hook and the metrics hook agree.
struct SectionX
{
    Section section;
    int x;
};
QVector<SectionX> homeSectionPlaces(bool persian);

// The sections raised, in order, when the page stack is set up (the side
// navigation's floating widgets go on top of them).
QVector<Section> initialStackingOrder();

// The sections raised, in order, over the page stack when it shows the
// connection page, and when it shows the Games section.
QVector<Section> connectionPageRaiseOrder();
QVector<Section> gamesRaiseOrder();

// The minimum height the root frame takes for a navigation id.
int rootFrameMinimumHeight(int navId, int homeContentHeight, int settingsContentHeight, int windowHeight);

} // namespace WindowRules
