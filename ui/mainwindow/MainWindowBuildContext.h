#pragma once
#include <QIcon>
#include <QList>
#include <QString>
#include <QVector>

#include <functional>
#include <memory>

class QFrame;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QScrollArea;
class QSpacerItem;
class QStackedWidget;
class QToolButton;
class QVBoxLayout;
class QWidget;

// What the window's build functions hand each other while the constructor
// runs. Each area reads what earlier areas made and adds its own; nothing here
// outlives the constructor except through the closures that copy from it.
struct MainWindowBuildContext
{
    struct NavItem
    {
        QString icon;
        QString label;
    };

    // Window set-up.
    int windowWidth = 0;
    int windowHeight = 0;

    // Root frame and header band.
    QWidget *rootFrame = nullptr;
    QVBoxLayout *rootLayout = nullptr;
    QHBoxLayout *headerRow = nullptr;
    QWidget *miniLogoWrap = nullptr;
    QSpacerItem *headerSpacer = nullptr;
    QLabel *fixedMiniLogo = nullptr;
    QFrame *fixedMiniLogoLine = nullptr;

    // Window buttons.
    QPushButton *minimizeButton = nullptr;
    QPushButton *closeButton = nullptr;

    // Side navigation: the item table (filled with the header), then the column.
    QVector<NavItem> navItems;
    QWidget *navColumn = nullptr;
    QList<QToolButton *> navButtons;
    QList<QIcon> navNormalIcons;
    QList<QIcon> navActiveIcons;

    // Shared callables the section switch runs; the areas that own them fill
    // them in after the switch has captured the cells.
    std::shared_ptr<std::function<void(bool force, bool renderIfLoaded)>> requestGames =
        std::make_shared<std::function<void(bool, bool)>>();
    std::shared_ptr<std::function<void()>> landingBannerBackdrop = std::make_shared<std::function<void()>>();

    // Page stack.
    QStackedWidget *pageStack = nullptr;
    QWidget *homeRoot = nullptr;
    QScrollArea *scrollArea = nullptr;
    // The y at which the home metrics strip sits and the settings lower-left
    // card's height; the areas that build them set these, 0 means not built.
    int bottomBreakerY = 0;
    int settingsBottomLeftHeight = 0;
};
