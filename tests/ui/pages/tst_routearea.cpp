#include "support/PainterWarnings.h"
#include "ui/pages/common/PageLooks.h"
#include "ui/pages/connection/ConnectionPanels.h"
#include "ui/pages/connection/RouteArea.h"

#include <QFontMetrics>
#include <QLabel>
#include <QScrollArea>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

// The right panel as the window builds it, with the route area in it.
struct Fixture
{
    QWidget root;
    std::unique_ptr<ConnectionPanels> panels;
    std::unique_ptr<RouteArea> area;
    QLabel tcp;
    QLabel udp;

    Fixture()
    {
        root.resize(1440, 810);
        panels = std::make_unique<ConnectionPanels>(&root, root.size(), nullptr);
        area = std::make_unique<RouteArea>(panels->right(), panels->rightScroll(), nullptr);
        tcp.setText(QStringLiteral("0"));
        udp.setText(QStringLiteral("1"));
    }

    QWidget *named(const char *name) const { return root.findChild<QWidget *>(QLatin1String(name)); }
    QLabel *label(const char *name) const { return root.findChild<QLabel *>(QLatin1String(name)); }
    const RouteDiagramState &state() const { return area->diagramState(); }
};

int width(const QLabel *label, const QString &text)
{
    return QFontMetrics(label->font()).horizontalAdvance(text);
}

// The nineteen widgets of the second and third route.
const char *const kExtraRouteWidgets[] = {"RoutingRoute2CenterFrame",
                                          "RoutingRoute3CenterLine",
                                          "RoutingRoute2ToGameLine",
                                          "RoutingRoute2PingRightTop",
                                          "RoutingRoute2PingRightBottom",
                                          "RoutingRoute2ServerRightTop",
                                          "RoutingRoute2ServerRightBottom",
                                          "RoutingRoute2ServerRightTopLogo",
                                          "RoutingRoute2ServerRightTopLabel",
                                          "RoutingRoute2ServerRightBottomLogo",
                                          "RoutingRoute2ServerRightBottomLabel",
                                          "RoutingRoute3LatencyMiddlePill",
                                          "RoutingRoute3ServerMiddleBg",
                                          "RoutingRoute3AutoLogoMiddle",
                                          "RoutingRoute3AutoLabelMiddle",
                                          "RoutingRoute3PingRightMiddle",
                                          "RoutingRoute3ServerRightMiddle",
                                          "RoutingRoute3ServerRightMiddleLogo",
                                          "RoutingRoute3ServerRightMiddleLabel"};

enum Op { TcpUp, TcpDown, UdpUp, UdpDown };

} // namespace

class TestRouteArea : public QObject
{
    Q_OBJECT

private slots:
    void init() { TestSupport::failOnPainterWarnings(); }

    void construction()
    {
        Fixture f;
        QCOMPARE(f.label("GameRoutePingValue")->text(), QStringLiteral("0"));
        QCOMPARE(f.label("GameRoutePingUnit")->text(), QStringLiteral("ms"));
        QCOMPARE(f.label("GameRouteLossValue")->text(), QStringLiteral("0%"));
        QCOMPARE(f.label("RoutingLatencyLabel")->text(), QStringLiteral("0 ms"));
        QCOMPARE(f.label("RoutingLatencyLabel2")->text(), QStringLiteral("1 ms"));
        QCOMPARE(f.named("GameRouteArea")->geometry(), QRect(0, 0, 861, 234));
        QCOMPARE(f.named("GameRoutePingCard")->geometry(), QRect(20, 84, 396, 130));
        QCOMPARE(f.named("GameRouteLossCard")->geometry(), QRect(445, 84, 396, 130));
        int hidden = 0;
        for (const char *name : kExtraRouteWidgets) {
            QWidget *w = f.named(name);
            QVERIFY2(w, name);
            hidden += w->isHidden();
        }
        QCOMPARE(hidden, 19);
        for (const char *name : {"RoutingPcBackground", "RoutingServerBackground", "RoutingDubaiBackground",
                                 "RoutingGameBackground", "RoutingBackgroundLine", "RoutingAutoLogo"})
            QVERIFY2(!f.named(name)->isHidden(), name);

        // Dubai's logo and caption are centred together under their node for
        // the font in use: logo 14 px, 6 px gap, caption as wide as its text.
        QLabel *dubai = f.label("RoutingDubaiLabel");
        const int t = width(dubai, QStringLiteral("Dubai,AE"));
        const int d = 500 + (80 - (t + 20)) / 2;
        QCOMPARE(dubai->geometry(), QRect(d + 20, 445, t + 4, 16));
        QCOMPARE(f.named("RoutingDubaiLogo")->pos(), QPoint(d, 447));
        QVERIFY(qAbs((d + (d + 20 + t)) / 2 - 540) <= 1);
        QCOMPARE(f.state().relayBLogoX, d);
        QCOMPARE(f.state().relayBCaptionW, t + 4);
    }

    void cardNumbersStayCentred()
    {
        Fixture f;
        QLabel *value = f.label("GameRoutePingValue");
        QLabel *unit = f.label("GameRoutePingUnit");
        f.area->showEstimatedPing(1234);
        QCOMPARE(value->text(), QStringLiteral("1234"));
        QCOMPARE(f.label("RoutingLatencyLabel")->text(), QStringLiteral("1234 ms"));
        const int a = width(value, value->text());
        const int b = width(unit, unit->text());
        const int x0 = (366 - a - b) / 2;
        QCOMPARE(value->pos(), QPoint(x0 + 10, 36));
        const int ascent = QFontMetrics(value->font()).ascent() - QFontMetrics(unit->font()).ascent();
        QCOMPARE(unit->pos(), QPoint(x0 + a + 34, 42 + ascent));

        // Below 1 ms is no value.
        f.area->showEstimatedPing(-3);
        QCOMPARE(value->text(), QStringLiteral("0"));
        QCOMPARE(f.label("RoutingLatencyLabel")->text(), QStringLiteral("0 ms"));

        QLabel *loss = f.label("GameRouteLossValue");
        for (const QString &text : {QStringLiteral("12%"), QStringLiteral("--%"), QStringLiteral("100%")}) {
            f.area->setGameRouteValue(text);
            QCOMPARE(loss->text(), text);
            QCOMPARE(loss->pos(), QPoint((396 - width(loss, text)) / 2 - 15, 30));
        }
    }

    void counters_data()
    {
        QTest::addColumn<int>("tcp");
        QTest::addColumn<int>("udp");
        QTest::addColumn<int>("op");
        QTest::addColumn<int>("tcpAfter");
        QTest::addColumn<int>("udpAfter");
        QTest::newRow("0,1 TCP up: two routes") << 0 << 1 << int(TcpUp) << 1 << 1;
        QTest::newRow("1,1 TCP up: three routes") << 1 << 1 << int(TcpUp) << 2 << 1;
        QTest::newRow("2,1 TCP up: UDP turns TCP") << 2 << 1 << int(TcpUp) << 3 << 0;
        QTest::newRow("3,0 TCP up: unchanged") << 3 << 0 << int(TcpUp) << 3 << 0;
        QTest::newRow("0,0 TCP down stays") << 0 << 0 << int(TcpDown) << 0 << 0;
        QTest::newRow("1,2 UDP up: TCP turns UDP") << 1 << 2 << int(UdpUp) << 0 << 3;
        QTest::newRow("0,3 UDP up: unchanged") << 0 << 3 << int(UdpUp) << 0 << 3;
        QTest::newRow("0,2 UDP up") << 0 << 2 << int(UdpUp) << 0 << 3;
        QTest::newRow("2,1 UDP down") << 2 << 1 << int(UdpDown) << 2 << 0;
        QTest::newRow("0,0 UDP down stays") << 0 << 0 << int(UdpDown) << 0 << 0;
    }
    void counters()
    {
        QFETCH(int, tcp);
        QFETCH(int, udp);
        QFETCH(int, op);
        QFETCH(int, tcpAfter);
        QFETCH(int, udpAfter);
        Fixture f;
        f.tcp.setText(QString::number(tcp));
        // Written with a leading zero: a decrement leaves the other label as it was.
        f.udp.setText(QStringLiteral("0") + QString::number(udp));
        f.area->showEstimatedPing(42);
        switch (Op(op)) {
        case TcpUp:
            RouteDiagram::incrementTcpRoutes(&f.tcp, &f.udp, RouteDiagram::kMaxRoutes, f.state());
            break;
        case TcpDown:
            RouteDiagram::decrementTcpRoutes(&f.tcp, &f.udp, f.state());
            break;
        case UdpUp:
            RouteDiagram::incrementUdpRoutes(&f.tcp, &f.udp, RouteDiagram::kMaxRoutes, f.state());
            break;
        case UdpDown:
            RouteDiagram::decrementUdpRoutes(&f.tcp, &f.udp, f.state());
            break;
        }
        QCOMPARE(f.tcp.text().toInt(), tcpAfter);
        QCOMPARE(f.udp.text().toInt(), udpAfter);
        if (op == TcpDown)
            QCOMPARE(f.udp.text(), QStringLiteral("0") + QString::number(udp));
        // Every click re-lays the diagram out, changed or not; the live ping
        // in the first pill waits for the next measurement.
        QCOMPARE(f.label("RoutingLatencyLabel")->text(), QStringLiteral("0 ms"));
        const int routes = tcpAfter + udpAfter;
        QCOMPARE(f.named("RoutingRoute2CenterFrame")->isHidden(), routes < 2);
        QCOMPARE(f.named("RoutingRoute3ServerMiddleBg")->isHidden(), routes < 3);
        QCOMPARE(f.named("RoutingBackgroundLine")->isHidden(), routes >= 2);
        QCOMPARE(f.panels->right()->height(), routes >= 3 ? 706 : 631);
    }

    void twoRoutes()
    {
        Fixture f;
        f.area->updateRouteDiagram(2);
        const QVector<QPair<const char *, QRect>> expected = {
            {"RoutingRoute2CenterFrame", QRect(158, 354, 520, 136)},
            {"RoutingPcBackground", QRect(20, 380, 80, 80)},
            {"RoutingPcLabel", QRect(20, 470, 80, 16)},
            {"RoutingLatencyPill", QRect(191, 342, 54, 24)},
            {"RoutingLatencyPill2", QRect(191, 477, 54, 24)},
            {"RoutingServerBackground", QRect(296, 314, 80, 80)},
            {"RoutingDubaiBackground", QRect(296, 449, 80, 80)},
            {"RoutingRoute2PingRightTop", QRect(434, 342, 54, 24)},
            {"RoutingRoute2ServerRightTop", QRect(536, 314, 80, 80)},
            {"RoutingRoute2PingRightBottom", QRect(434, 477, 54, 24)},
            {"RoutingRoute2ServerRightBottom", QRect(536, 449, 80, 80)},
            {"RoutingGameBackground", QRect(756, 380, 80, 80)},
            {"RoutingGameLabel", QRect(726, 470, 140, 16)},
            {"RoutingRoute2ToGameLine", QRect(678, 420, 78, 1)},
        };
        for (const auto &row : expected) {
            QVERIFY2(!f.named(row.first)->isHidden(), row.first);
            QCOMPARE(f.named(row.first)->geometry(), row.second);
        }
        QCOMPARE(f.named("RoutingPcToRouteLine")->pos(), QPoint(100, 420));
        QCOMPARE(f.label("RoutingLatencyLabel2")->text(), QStringLiteral("1 ms"));
        QCOMPARE(f.label("RoutingRoute2PingRightTopLabel")->text(), QStringLiteral("226 ms"));

        // Captions: logo and text centred under their relay.
        QLabel *autoA = f.label("RoutingAutoLabel");
        const int wAuto = width(autoA, QStringLiteral("Auto"));
        const int logoA = 296 + (80 - 14 - wAuto - 6) / 2;
        QCOMPARE(f.named("RoutingAutoLogo")->pos(), QPoint(logoA, 406));
        QCOMPARE(autoA->geometry(), QRect(logoA + 20, 404, 80, 16));
        QLabel *lower = f.label("RoutingDubaiLabel");
        QCOMPARE(lower->text(), QStringLiteral("Auto"));
        QCOMPARE(lower->geometry(), QRect(logoA + 20, 539, f.state().relayBCaptionW, 16));
        QLabel *rightU = f.label("RoutingRoute2ServerRightTopLabel");
        const int wDubai = width(rightU, QStringLiteral("Dubai,AE"));
        const int logoU = 536 + (80 - 14 - wDubai - 6) / 2;
        QCOMPARE(f.named("RoutingRoute2ServerRightTopLogo")->pos(), QPoint(logoU, 406));
        QCOMPARE(rightU->geometry(), QRect(logoU + 20, 404, wDubai + 4, 16));

        for (const char *name :
             {"RoutingRoute3ServerMiddleBg", "RoutingRoute3LatencyMiddlePill", "RoutingRoute3CenterLine",
              "RoutingRoute3ServerRightMiddle", "RoutingBackgroundLine"})
            QVERIFY2(f.named(name)->isHidden(), name);
        QCOMPARE(f.panels->right()->height(), 631);
        QCOMPARE(f.panels->rightScroll()->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    }

    void threeRoutesAndBack()
    {
        Fixture f;
        f.area->updateRouteDiagram(3);
        QCOMPARE(f.named("RoutingRoute2CenterFrame")->geometry(), QRect(158, 382, 520, 244));
        QCOMPARE(f.named("RoutingRoute3CenterLine")->geometry(), QRect(158, 504, 520, 1));
        QCOMPARE(f.named("RoutingServerBackground")->y(), 344);
        QCOMPARE(f.named("RoutingRoute3ServerMiddleBg")->y(), 464);
        QCOMPARE(f.named("RoutingDubaiBackground")->y(), 584);
        for (const char *name : {"RoutingRoute2ServerRightTop", "RoutingRoute3ServerRightMiddle",
                                 "RoutingRoute2ServerRightBottom"})
            QCOMPARE(f.named(name)->x(), 536);
        QCOMPARE(f.named("RoutingRoute3LatencyMiddlePill")->geometry(), QRect(191, 492, 54, 24));
        QCOMPARE(f.named("RoutingLatencyPill2")->geometry(), QRect(191, 612, 54, 24));
        QCOMPARE(f.named("RoutingPcBackground")->geometry(), QRect(20, 464, 80, 80));
        QCOMPARE(f.named("RoutingGameBackground")->geometry(), QRect(756, 464, 80, 80));
        QCOMPARE(f.named("RoutingRoute2ToGameLine")->geometry(), QRect(678, 504, 78, 1));
        QCOMPARE(f.named("RoutingRoute3AutoLogoMiddle")->y(), 556);
        QCOMPARE(f.named("RoutingDubaiLogo")->y(), 676);
        for (const char *name : kExtraRouteWidgets)
            QVERIFY2(!f.named(name)->isHidden(), name);
        QCOMPARE(f.panels->right()->height(), 706);
        QCOMPARE(f.panels->rightScroll()->verticalScrollBarPolicy(), Qt::ScrollBarAsNeeded);

        // Back to two: the middle route and line go, the panel shrinks.
        f.area->updateRouteDiagram(2);
        for (const char *name :
             {"RoutingRoute3CenterLine", "RoutingRoute3LatencyMiddlePill", "RoutingRoute3ServerMiddleBg",
              "RoutingRoute3AutoLogoMiddle", "RoutingRoute3AutoLabelMiddle", "RoutingRoute3PingRightMiddle",
              "RoutingRoute3ServerRightMiddle", "RoutingRoute3ServerRightMiddleLogo",
              "RoutingRoute3ServerRightMiddleLabel"})
            QVERIFY2(f.named(name)->isHidden(), name);
        QCOMPARE(f.panels->right()->height(), 631);
        QCOMPARE(f.panels->rightScroll()->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);

        // And to one: the construction arrangement, pill B reading "220 ms".
        f.area->updateRouteDiagram(0);
        int hidden = 0;
        for (const char *name : kExtraRouteWidgets)
            hidden += f.named(name)->isHidden();
        QCOMPARE(hidden, 19);
        QCOMPARE(f.label("RoutingLatencyLabel2")->text(), QStringLiteral("220 ms"));
        QCOMPARE(f.named("RoutingServerBackground")->geometry(), QRect(260, 355, 80, 80));
        QCOMPARE(f.named("RoutingAutoLogo")->pos(), QPoint(278, 447));
        QCOMPARE(f.label("RoutingAutoLabel")->geometry(), QRect(296, 443, 80, 16));
        const RouteDiagramState &s = f.state();
        QCOMPARE(f.label("RoutingDubaiLabel")->text(), QStringLiteral("Dubai,AE"));
        QCOMPARE(f.label("RoutingDubaiLabel")->geometry(),
                 QRect(s.relayBCaptionX, 445, s.relayBCaptionW, 16));
        QCOMPARE(f.named("RoutingDubaiLogo")->pos(), QPoint(s.relayBLogoX, 447));
        QCOMPARE(f.named("RoutingPcBackground")->geometry(), QRect(20, 355, 80, 80));
        QCOMPARE(f.named("RoutingPcToRouteLine")->geometry(), QRect(100, 395, 58, 1));
        QCOMPARE(f.named("RoutingGameBackground")->geometry(), QRect(745, 355, 80, 80));
        QVERIFY(!f.named("RoutingBackgroundLine")->isHidden());
    }

    void goneWidgetsAreSkipped()
    {
        Fixture f;
        const RouteDiagramState state = f.state();
        delete f.named("RoutingRoute3ServerMiddleBg");
        delete f.named("RoutingRoute2CenterFrame");
        delete f.label("RoutingAutoLabel");
        for (int n : {3, 2, 1, 3})
            RouteDiagram::updateRouteDiagram(state, n);
        QCOMPARE(f.named("RoutingRoute3LatencyMiddlePill")->geometry(), QRect(191, 492, 54, 24));
        RouteDiagram::centerLabelPair(nullptr, f.label("GameRoutePingUnit"));
        RouteDiagram::centerLabelByText(nullptr, 396, 30);
    }

    void routingIconForConsoles_data()
    {
        QTest::addColumn<QSize>("node");
        QTest::addColumn<bool>("console");
        QTest::addColumn<QRect>("icon");
        QTest::newRow("PC") << QSize(80, 80) << false << QRect(25, 25, 30, 29);
        QTest::newRow("console: twice the size, centred") << QSize(80, 80) << true << QRect(10, 11, 60, 58);
        QTest::newRow("console in a small node: node less 10")
            << QSize(56, 56) << true << QRect(5, 5, 46, 46);
    }
    void routingIconForConsoles()
    {
        QFETCH(QSize, node);
        QFETCH(bool, console);
        QFETCH(QRect, icon);
        Fixture f;
        f.named("RoutingPcBackground")->resize(node);
        // A console game, then the game asked for: the base size is kept.
        f.area->updateRoutingPcIcon(!console);
        f.area->updateRoutingPcIcon(console);
        QLabel *label = f.label("RoutingPcIcon");
        QCOMPARE(label->geometry(), icon);
        QCOMPARE(label->property("baseW").toInt(), 30);
        QCOMPARE(label->property("baseH").toInt(), 29);
        QVERIFY(!label->pixmap().isNull());
        QVERIFY(label->pixmap().width() <= icon.width());
    }

    void missingPictureLeavesLabelEmpty()
    {
        QLabel label;
        label.setFixedSize(30, 31);
        PageLooks::setScaledPixmap(&label, QStringLiteral(":/icons/no-such-picture.png"), QSize(30, 31));
        QVERIFY(label.pixmap().isNull());
        QCOMPARE(label.size(), QSize(30, 31));
    }
};

QTEST_MAIN(TestRouteArea)
#include "tst_routearea.moc"
