#include "support/PainterWarnings.h"
#include "ui/mainwindow/WindowRules.h"

#include <QSet>
#include <QTest>

#include <algorithm>

using namespace WindowRules;

// The placement and visibility rules of the window, read as tables.
class TestWindowRules : public QObject
{
    Q_OBJECT

private slots:
    void init() { TestSupport::failOnPainterWarnings(); }

    void persianTest_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<bool>("persian");
        QTest::newRow("fa-IR") << "fa-IR" << true;
        QTest::newRow("padded upper case") << "  FA-ir " << true;
        QTest::newRow("bare fa") << "fa" << true;
        QTest::newRow("fa_IR") << "fa_IR" << true;
        QTest::newRow("en-US") << "en-US" << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("fr is not fa") << "fr-FR" << false;
    }
    void persianTest()
    {
        QFETCH(QString, code);
        QFETCH(bool, persian);
        QCOMPARE(isPersian(code), persian);
    }

    void windowSize_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QSize>("size");
        QTest::newRow("default text") << "(1440 x 810)" << QSize(1440, 810);
        QTest::newRow("small text") << "(1080 x 608)" << QSize(1080, 608);
        QTest::newRow("1080 anywhere") << "x1080" << QSize(1080, 608);
        QTest::newRow("empty") << "" << QSize(1440, 810);
        QTest::newRow("garbage") << "big please" << QSize(1440, 810);
        QTest::newRow("108 0 split") << "108 0" << QSize(1440, 810);
    }
    void windowSize()
    {
        QFETCH(QString, stored);
        QFETCH(QSize, size);
        QCOMPARE(windowSizeForOption(stored), size);
    }

    void placesForLanguage_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<bool>("persian");
        QTest::addColumn<QPoint>("close");
        QTest::addColumn<QPoint>("minimize");
        QTest::addColumn<int>("sideX");
        QTest::newRow("English 1440") << 1440 << false << QPoint(1366, 20) << QPoint(1302, 20) << 24;
        QTest::newRow("Persian 1440") << 1440 << true << QPoint(20, 20) << QPoint(84, 20) << 1346;
        QTest::newRow("English 1080") << 1080 << false << QPoint(1006, 20) << QPoint(942, 20) << 24;
        QTest::newRow("Persian 1080") << 1080 << true << QPoint(20, 20) << QPoint(84, 20) << 986;
        QTest::newRow("Persian narrower than the column")
            << 50 << true << QPoint(20, 20) << QPoint(84, 20) << 0;
    }
    void placesForLanguage()
    {
        QFETCH(int, width);
        QFETCH(bool, persian);
        QFETCH(QPoint, close);
        QFETCH(QPoint, minimize);
        QFETCH(int, sideX);
        const WindowButtonPlaces places = windowButtonPlaces(width, persian);
        QCOMPARE(places.close, close);
        QCOMPARE(places.minimize, minimize);
        QCOMPARE(sideNavX(width, persian), sideX);
    }

    void headerSpacer()
    {
        // The minimise button ends at 84 + 54; the row starts 24 in, after a 70 wide column.
        QCOMPARE(headerSpacerWidth(true, 138, 24, 70), 54);
        QCOMPARE(headerSpacerWidth(false, 138, 24, 70), 35);
        QCOMPARE(headerSpacerWidth(true, 10, 24, 70), 0);
    }

    void homeSections_data()
    {
        QTest::addColumn<bool>("persian");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("x");
        const struct
        {
            const char *name;
            int ltr;
            int rtl;
        } table[] = {
            // In Persian the columns move left but keep their order.
            {"ConnectionsSection", 120, 20},   {"ConnectionsSectionRight", 780, 680},
            {"DashboardLowerLeft", 120, 20},   {"DashboardLowerRight", 781, 681},
            {"BottomBreakerSection", 120, 20}, {"HelpCardTutorials", 120, 20},
            {"HelpCardSupport", 560, 460},     {"HelpCardDiscord", 1000, 900},
        };
        for (const auto &row : table) {
            QTest::addRow("%s en", row.name) << false << QString::fromLatin1(row.name) << row.ltr;
            QTest::addRow("%s fa", row.name) << true << QString::fromLatin1(row.name) << row.rtl;
        }
    }
    void homeSections()
    {
        QFETCH(bool, persian);
        QFETCH(QString, name);
        QFETCH(int, x);
        const auto places = homeSectionPlaces(persian);
        const auto it = std::find_if(places.begin(), places.end(), [&](const SectionX &p) {
            return name == QLatin1String(sectionName(p.section));
        });
        QVERIFY(it != places.end());
        QCOMPARE(it->x, x);
    }

    void sectionTableNamesEverySectionOnce()
    {
        // A section left out of the table would silently never be shown or
        // hidden; a name written twice would switch the wrong widget.
        QSet<int> sections;
        QSet<QString> names;
        for (const SectionInfo &info : sectionTable()) {
            QVERIFY2(!sections.contains(int(info.section)), info.objectName);
            QVERIFY2(!names.contains(QLatin1String(info.objectName)), info.objectName);
            sections.insert(int(info.section));
            names.insert(QLatin1String(info.objectName));
            QCOMPARE(sectionName(info.section), info.objectName);
        }
        QCOMPARE(sections.size(), int(Section::RouteSettingsPanel) + 1);
    }

    // In Persian the side navigation stands at the right edge: every page
    // that keeps its left-to-right layout moves left by 100 px as a whole,
    // so its right edge (1420 at most) clears the column at 1346. Mirrored
    // home sections and the titles that mirror themselves stay put here.
    void persianShift_data()
    {
        QTest::addColumn<int>("section");
        QTest::addColumn<int>("shift");
        const QList<Section> pages = {Section::GamesTitle,
                                      Section::GamesSectionWrap,
                                      Section::QuorlixConnLeft,
                                      Section::QuorlixConnRightScroll,
                                      Section::QuorlixConnHeader,
                                      Section::ConsoleConnOverlay,
                                      Section::ServerRegionBack,
                                      Section::ServerRegionPageTitle,
                                      Section::ServerRegionLeftPanel,
                                      Section::ServerRegionRightPanel,
                                      Section::ConnectionsLandingTitle,
                                      Section::ConnectionsLandingBanner,
                                      Section::ConnectionsLandingBody,
                                      Section::SettingsTitle,
                                      Section::SettingsResetDefaultButton,
                                      Section::SettingsPreferencesCard,
                                      Section::SettingsLeftSectionCard,
                                      Section::SettingsRightSectionCard,
                                      Section::SettingsBottomLeftSectionCard,
                                      Section::SettingsBottomRightSectionCard,
                                      Section::RouteSettingsPanel};
        for (Section s : pages)
            QTest::newRow(sectionName(s)) << int(s) << -100;
        for (Section s :
             {Section::DashboardTitle, Section::ConnectionsSection, Section::ProfileLeftSection,
              Section::QuorlixConnRight, Section::NotifDropdownOverlay, Section::LogoutConfirmOverlay})
            QTest::newRow(sectionName(s)) << int(s) << 0;
    }
    void persianShift()
    {
        QFETCH(int, section);
        QFETCH(int, shift);
        QCOMPARE(sectionX(Section(section), 120, false), 120);
        QCOMPARE(sectionX(Section(section), 120, true), 120 + shift);
        QVERIFY(1420 + (shift ? shift : 0) < sideNavX(kDesignWidth, true) || shift == 0);
    }

    void placedOnlySectionsAreNeverShownOrHidden()
    {
        for (int id : {int(NavHome), int(NavGames), int(NavNetwork), int(NavSetting), int(NavProfile)}) {
            for (const SectionVisibility &rule : sectionVisibility(id, true))
                QVERIFY(rule.section != Section::RouteSettingsPanel);
        }
    }

    void sectionVisibilityPerView_data()
    {
        QTest::addColumn<int>("navId");
        QTest::addColumn<bool>("programmatic");
        QTest::addColumn<int>("section");
        QTest::addColumn<bool>("visible");
        QTest::newRow("landing title on a Network click")
            << int(NavNetwork) << false << int(Section::ConnectionsLandingTitle) << true;
        QTest::newRow("no connection panel on a Network click")
            << int(NavNetwork) << false << int(Section::QuorlixConnLeft) << false;
        QTest::newRow("connection panel when a game opens")
            << int(NavNetwork) << true << int(Section::QuorlixConnLeft) << true;
        QTest::newRow("no landing when a game opens")
            << int(NavNetwork) << true << int(Section::ConnectionsLandingBody) << false;
        QTest::newRow("the connection title never shows")
            << int(NavNetwork) << true << int(Section::QuorlixConnectionTitle) << false;
        QTest::newRow("server region stays closed")
            << int(NavNetwork) << true << int(Section::ServerRegionLeftPanel) << false;
        QTest::newRow("Home shows the hero") << int(NavHome) << true << int(Section::ConnectionsHero) << true;
        QTest::newRow("an unknown id shows nothing") << 7 << false << int(Section::DashboardTitle) << false;
    }
    void sectionVisibilityPerView()
    {
        QFETCH(int, navId);
        QFETCH(bool, programmatic);
        QFETCH(int, section);
        QFETCH(bool, visible);
        const auto rules = sectionVisibility(navId, programmatic);
        const auto it = std::find_if(rules.begin(), rules.end(),
                                     [&](const SectionVisibility &r) { return int(r.section) == section; });
        QVERIFY(it != rules.end());
        QCOMPARE(it->visible, visible);
    }

    void rootFrameHeight_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<int>("height");
        QTest::newRow("home scrolls to its content") << int(NavHome) << 1500;
        QTest::newRow("games is one screen") << int(NavGames) << 810;
        QTest::newRow("network is one screen") << int(NavNetwork) << 810;
        QTest::newRow("setting scrolls to its content") << int(NavSetting) << 1100;
        QTest::newRow("profile is one screen") << int(NavProfile) << 810;
    }
    void rootFrameHeight()
    {
        QFETCH(int, id);
        QFETCH(int, height);
        QCOMPARE(rootFrameMinimumHeight(id, 1500, 1100, 810), height);
    }
};

QTEST_APPLESS_MAIN(TestWindowRules)
#include "tst_windowrules.moc"
