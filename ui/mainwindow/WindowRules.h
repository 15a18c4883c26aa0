#pragma once
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
inline constexpr int kCloseDelayMs = 2000;

enum NavId { NavHome = 0, NavGames = 1, NavNetwork = 2, NavSetting = 3, NavProfile = 4 };

// A language code is Persian when, trimmed and lower-cased, it is "fa-ir" or begins with "fa".
bool isPersian(const QString &languageCode);

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

// x of each floating home section for the language, in placement order.
struct SectionX
{
    const char *name;
    int x;
};
QVector<SectionX> homeSectionPlaces(bool persian);

// What one press of a navigation button shows and hides.
enum class SectionRule {
    Show,     // visible exactly when the flag is set
    HideOnly, // hidden when the flag is clear, left alone otherwise
};
struct SectionVisibility
{
    const char *name;
    bool visible;
    SectionRule rule;
};
// programmatic: the press came from navigation by index (opening a game),
// which for the Network id means the connection page instead of the landing.
QVector<SectionVisibility> sectionVisibility(int navId, bool programmatic);

// The widgets raised, in order, when the page stack is set up.
QVector<const char *> initialStackingOrder();

// The minimum height the root frame takes for a navigation id.
int rootFrameMinimumHeight(int navId, int homeContentHeight, int settingsContentHeight, int windowHeight);

} // namespace WindowRules
