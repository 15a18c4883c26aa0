#include "app/ClientComposition.h"
#include "storage/DatabaseManager.h"
#include "storage/SettingsManager.h"
#include "support/PainterWarnings.h"
#include "support/WindowFixture.h"
#include "support/faketunnel/FakeTunnelEngine.h"
#include "ui/mainwindow/MainWindow.h"
#include "ui/pages/connection/ConnectionPage.h"
#include "ui/pages/connection/RouteSettings.h"
#include "ui/pages/servers/ServerPicker.h"
#include "ui/pages/servers/ServerRegionPage.h"
#include "ui/pages/signin/AuthPage.h"

#include <QDir>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollArea>
#include <QSettings>
#include <QTest>

namespace {

class TestWindow : public MainWindow
{
public:
    TestWindow() : MainWindow(createClientServices(WindowIntervals(), freshEngine()), WindowIntervals())
    {
        buildPages(); // the tests reach into the pages at once
    }

private:
    static TunnelEngineApi freshEngine()
    {
        FakeTunnelEngine::reset();
        return FakeTunnelEngine::api();
    }
};

const char *const kConnectionParts[] = {"QuorlixConnLeft", "QuorlixConnRightScroll", "QuorlixConnRight",
                                        "QuorlixConnHeader"};
const char *const kRegionParts[] = {"ServerRegionBack", "ServerRegionPageTitle", "ServerRegionLeftPanel",
                                    "ServerRegionRightPanel"};

template <typename T = QWidget> T *named(QWidget *root, const char *name)
{
    return root->findChild<T *>(QLatin1String(name));
}

bool allShown(QWidget *root, const char *const (&names)[4])
{
    for (const char *name : names) {
        if (!named(root, name)->isVisible())
            return false;
    }
    return true;
}

bool allHidden(QWidget *root, const char *const (&names)[4])
{
    for (const char *name : names) {
        if (!named(root, name)->isHidden())
            return false;
    }
    return true;
}

QPushButton *regionRow(MainWindow &window, const QString &englishName)
{
    for (QPushButton *row : window.serverRegionPage()->pickerWidgets().regionRows) {
        if (row->property("srvRegionName").toString() == englishName)
            return row;
    }
    return nullptr;
}

void click(QWidget *target, const QPoint &at)
{
    QTest::mouseClick(target, Qt::LeftButton, Qt::NoModifier, at);
}

enum Arrow { TcpUp, TcpDown, UdpUp, UdpDown };

} // namespace

class TestServerRegionWindow : public QObject
{
    Q_OBJECT

    int m_dbFolder = 0;

    void freshDatabase(const QString &windowSize = QString())
    {
        QVERIFY(WindowFixture::openDatabase(QStringLiteral("db%1").arg(++m_dbFolder)));
        if (!windowSize.isEmpty())
            DatabaseManager::instance()->setMetadata(QStringLiteral("settings/window_size"), windowSize);
    }

    // The connection page of an opened game, shown.
    static void openConnectionPage(MainWindow &window)
    {
        window.authPage()->hide();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.navigateToPage(2);
        QCoreApplication::processEvents();
        QVERIFY(allShown(&window, kConnectionParts));
    }

private slots:
    void initTestCase() { WindowFixture::useClientNames(); }
    void init()
    {
        TestSupport::failOnPainterWarnings();
        freshDatabase();
    }

    void cardOpensTheRegionPageInPlace()
    {
        TestWindow window;
        // Built hidden, whatever the navigation does.
        QVERIFY(allHidden(&window, kRegionParts));
        openConnectionPage(window);
        QVERIFY(allHidden(&window, kRegionParts));
        window.connectionPageArea()->regionClickArea()->click();
        QVERIFY(allShown(&window, kRegionParts));
        QVERIFY(allHidden(&window, kConnectionParts));
        QCOMPARE(named(&window, "ServerRegionLeftPanel")->geometry(), QRect(120, 180, 965, 610));
        QCOMPARE(named(&window, "ServerRegionRightPanel")->geometry(), QRect(1105, 180, 315, 610));
        QCOMPARE(named<QLabel>(&window, "ServerRegionPageTitle")->text(), QStringLiteral("Server region"));
        named<QPushButton>(&window, "ServerRegionBack")->click();
        QVERIFY(allHidden(&window, kRegionParts));
        QVERIFY(allShown(&window, kConnectionParts));
        // Leaving the connection view hides the page with it.
        window.connectionPageArea()->regionClickArea()->click();
        window.navigateToPage(0);
        QVERIFY(allHidden(&window, kRegionParts));
    }

    // Opening and closing keeps the view, the search text and an open list.
    void reopeningKeepsThePickersState()
    {
        DatabaseManager::instance()->replaceServersCache(
            {QVariantMap{
                 {"id", "a1"}, {"name", "Almaty 1"}, {"region", "Central Asia"}, {"status", "active"}},
             QVariantMap{{"id", "t1"}, {"name", "Tokyo 1"}, {"region", "East Asia"}, {"status", "active"}}});
        TestWindow window;
        openConnectionPage(window);
        window.connectionPageArea()->regionClickArea()->click();
        named<QPushButton>(&window, "SrvAutoClick")->click();
        auto *edit = named<QLineEdit>(&window, "SrvSearchEdit");
        edit->setText(QStringLiteral("asia"));
        named<QPushButton>(&window, "ServerRegionBack")->click();
        window.showServerRegionPage(true);
        QVERIFY(!window.serverPicker()->isManual());
        QCOMPARE(edit->text(), QStringLiteral("asia"));
        QVERIFY(regionRow(window, "Central Asia")->isVisible());
        QVERIFY(regionRow(window, "Asia")->isHidden());

        named<QPushButton>(&window, "SrvManualClick")->click();
        edit->setText(QStringLiteral("tokyo"));
        window.showServerRegionPage(false);
        window.showServerRegionPage(true);
        QVERIFY(named(&window, "SrvServersPage")->isVisible());
        QCOMPARE(edit->text(), QStringLiteral("tokyo"));
        // The search results' way back: to the regions, the field cleared.
        window.leaveServerSearch();
        QVERIFY(named(&window, "SrvServersPage")->isHidden());
        QVERIFY(edit->text().isEmpty());
        QVERIFY(regionRow(window, "East Asia")->isVisible());
    }

    void pickFillsTheCardAndClosesThePage()
    {
        DatabaseManager::instance()->replaceServersCache(
            {QVariantMap{{"id", "eu-fra-1"},
                         {"name", "Frankfurt 1"},
                         {"ip_address", "127.0.0.11"},
                         {"port", 0},
                         {"region", "Europe"},
                         {"country_code", "DE"},
                         {"status", "active"}},
             QVariantMap{{"id", "as-1"}, {"name", "Istanbul 1"}, {"region", "Asia"}, {"status", "active"}}});
        SettingsManager::instance()->setConnectionMode(true);
        TestWindow window;
        openConnectionPage(window);
        window.connectionPageArea()->regionClickArea()->click();
        // The regions of the cached relays only.
        QVERIFY(regionRow(window, "Europe")->isVisible());
        QVERIFY(regionRow(window, "Africa")->isHidden());
        regionRow(window, "Europe")->click();
        auto *row = named<QPushButton>(&window, "SrvServerRow");
        QVERIFY(row);
        row->click();

        QVERIFY(!SettingsManager::instance()->connectionMode());
        QCOMPARE(SettingsManager::instance()->serverIp(), QStringLiteral("127.0.0.11"));
        QCOMPARE(SettingsManager::instance()->serverPort(), 50000);
        QSettings settings;
        QCOMPARE(settings.value("server/key").toString(), QStringLiteral("eu-fra-1"));
        QCOMPARE(settings.value("server/name").toString(), QStringLiteral("Frankfurt 1"));
        QCOMPARE(settings.value("server/country_code").toString(), QStringLiteral("DE"));

        ConnectionPage *page = window.connectionPageArea();
        QCOMPARE(page->regionValue()->text(), QStringLiteral("Frankfurt 1"));
        QCOMPARE(page->regionMode()->text(), QStringLiteral("Manual"));
        QVERIFY(!page->regionFlag()->pixmap().isNull());
        QVERIFY(allHidden(&window, kRegionParts));
        QVERIFY(allShown(&window, kConnectionParts));
    }

    void routeCountersFollowTheArrows_data()
    {
        QTest::addColumn<QList<int>>("arrows");
        QTest::addColumn<int>("tcp");
        QTest::addColumn<int>("udp");
        QTest::addColumn<int>("routes");
        QTest::newRow("as built") << QList<int>{} << 0 << 1 << 1;
        QTest::newRow("tcp up") << QList<int>{TcpUp} << 1 << 1 << 2;
        QTest::newRow("tcp up twice") << QList<int>{TcpUp, TcpUp} << 2 << 1 << 3;
        QTest::newRow("a udp route turns tcp") << QList<int>{TcpUp, TcpUp, TcpUp} << 3 << 0 << 3;
        QTest::newRow("tcp at most three") << QList<int>{TcpUp, TcpUp, TcpUp, TcpUp} << 3 << 0 << 3;
        QTest::newRow("none left") << QList<int>{UdpDown, TcpDown} << 0 << 0 << 1;
        QTest::newRow("udp at most three") << QList<int>{UdpUp, UdpUp, UdpUp} << 0 << 3 << 3;
        QTest::newRow("a tcp route turns udp") << QList<int>{TcpUp, UdpUp, UdpUp} << 0 << 3 << 3;
        QTest::newRow("three back to two") << QList<int>{TcpUp, TcpUp, TcpDown} << 1 << 1 << 2;
    }
    void routeCountersFollowTheArrows()
    {
        QFETCH(QList<int>, arrows);
        QFETCH(int, tcp);
        QFETCH(int, udp);
        QFETCH(int, routes);
        TestWindow window;
        openConnectionPage(window);
        RouteSettings *settings = window.routeSettings();
        QPushButton *buttons[] = {settings->tcpUp(), settings->tcpDown(), settings->udpUp(),
                                  settings->udpDown()};
        window.toggleRouteSettings();
        for (int arrow : arrows)
            click(buttons[arrow], QPoint(8, 8));
        QCOMPARE(named<QLabel>(&window, "RouteSettingsTcpValue")->text(), QString::number(tcp));
        QCOMPARE(named<QLabel>(&window, "RouteSettingsUdpValue")->text(), QString::number(udp));
        QCOMPARE(named(&window, "RoutingRoute2CenterFrame")->isVisible(), routes >= 2);
        QCOMPARE(named(&window, "RoutingRoute3LatencyMiddlePill")->isVisible(), routes >= 3);
        QCOMPARE(named(&window, "RoutingBackgroundLine")->isVisible(), routes < 2);
        QCOMPARE(named(&window, "QuorlixConnRight")->height(), routes >= 3 ? 706 : 631);
        if (!arrows.isEmpty())
            QCOMPARE(named<QLabel>(&window, "RoutingLatencyLabel")->text(), QStringLiteral("0 ms"));
        // The panel stays open through the clicks on it.
        QVERIFY(settings->overlay()->isVisible());
    }

    void routeSettingsPanelOpensAndCloses()
    {
        TestWindow window;
        openConnectionPage(window);
        RouteSettings *settings = window.routeSettings();
        QWidget *overlay = settings->overlay();
        QVERIFY(overlay->isHidden());
        QCOMPARE(overlay->geometry(), QRect(0, 0, 1440, 810));
        QCOMPARE(settings->panel()->geometry(), QRect(1071, 479, 329, 240));
        QCOMPARE(settings->button()->text(), QStringLiteral("Route setting"));
        QCOMPARE(settings->button()->parentWidget()->objectName(), QStringLiteral("QuorlixConnRight"));
        // Right-aligned at 841, the text never cut by the paddings (44 and 14).
        QCOMPARE(settings->button()->geometry().right() + 1, 841);
        QVERIFY(settings->button()->width() - 58 >=
                QFontMetrics(settings->button()->font()).horizontalAdvance(settings->button()->text()));

        click(settings->button(), QPoint(20, 18));
        QVERIFY(overlay->isVisible());
        // Raised over every sibling in the window frame.
        QCOMPARE(overlay->parentWidget()->children().last(), overlay);
        // A click on the panel, on a switch or on a caption leaves it open;
        // the switches stay as they are.
        QWidget *local = named(&window, "RouteSettingsLocalSwitchTrack");
        QWidget *ipv6 = named(&window, "RouteSettingsIPv6SwitchTrack");
        click(settings->panel(), QPoint(160, 130));
        click(local, QPoint(20, 11));
        click(ipv6, QPoint(20, 11));
        QVERIFY(overlay->isVisible());
        QCOMPARE(named(&window, "RouteSettingsLocalSwitchKnob")->pos(), QPoint(21, 3));
        QCOMPARE(named(&window, "RouteSettingsIPv6SwitchKnob")->pos(), QPoint(3, 3));
        QVERIFY(local->styleSheet().contains(QLatin1String("#FA8207")));
        QVERIFY(ipv6->styleSheet().contains(QLatin1String("#414245")));
        // The dimmed area outside the panel closes it.
        click(settings->backdrop(), QPoint(200, 200));
        QVERIFY(overlay->isHidden());
        // The button opens and closes it in turn.
        window.toggleRouteSettings();
        QVERIFY(overlay->isVisible());
        window.toggleRouteSettings();
        QVERIFY(overlay->isHidden());
    }

    void routeSettingsPanelInTheSmallWindow()
    {
        freshDatabase(QStringLiteral("(1080 x 608)"));
        TestWindow window;
        QCOMPARE(window.size(), QSize(1080, 608));
        QCOMPARE(window.routeSettings()->overlay()->geometry(), QRect(0, 0, 1080, 608));
        QCOMPARE(window.routeSettings()->panel()->geometry(), QRect(711, 479, 329, 240));
        QCOMPARE(named(&window, "ServerRegionRightPanel")->geometry(), QRect(745, 180, 315, 610));
    }
};

QTEST_MAIN(TestServerRegionWindow)
#include "tst_serverregionwindow.moc"
