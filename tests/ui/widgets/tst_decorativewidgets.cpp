#include "PaintedWidgetTest.h"
#include "ui/widgets/DecorativeWidgets.h"

#include <QTest>

using PaintedWidgetTest::paint;

// The painted card border, the running stroke of the landing banner and the
// console spinner, painted into images and read back pixel by pixel.
class TestDecorativeWidgets : public QObject
{
    Q_OBJECT

private:
    static bool lit(const QImage &image, int x, int y)
    {
        const QColor c = image.pixelColor(x, y);
        // Orange: clearly visible, red well above green well above blue.
        return c.alpha() > 60 && c.red() > c.green() + 40 && c.green() > c.blue() + 40;
    }

    // A banner as the landing uses it, its segment just wrapped to -800.
    static void wrapOnce(AnimatedStrokeBorder &banner)
    {
        banner.resize(1300, 83);
        banner.setSegmentLength(800);
        banner.setSpeed(10);
        for (int i = 0; i < 1000 && banner.position() >= 0; ++i)
            banner.advance();
        for (int i = 0; i < 1000 && banner.position() != -800; ++i)
            banner.advance();
    }

private slots:
    void init() { PaintedWidgetTest::failOnPainterWarnings(); }

    void cardPaintsFillCornersAndGradient()
    {
        GradientBorderCard card;
        card.resize(300, 200);
        const QColor fill(17, 19, 23);
        const QColor start(255, 0, 0);
        const QColor end(0, 0, 255);
        card.setFillColor(fill);
        card.setBorderGradient(start, end, 0.42);
        const QImage image = paint(card);

        QX_VERIFY_COLOUR(image, 150, 100, fill, 0);
        QCOMPARE(image.pixelColor(0, 0).alpha(), 0);
        QCOMPARE(image.pixelColor(299, 199).alpha(), 0);
        // The left edge near the top is close to the start colour, the right
        // edge near the bottom (past the middle stop) is the end colour.
        QX_VERIFY_COLOUR(image, 0, 30, start, 40);
        QX_VERIFY_COLOUR(image, 299, 170, end, 4);
        QX_VERIFY_COLOUR(image, 150, 199, end, 4);
    }

    void cardMiddleStopIsKeptWithinTheGradient_data()
    {
        QTest::addColumn<double>("stop");
        QTest::addColumn<double>("actsAs");
        QTest::newRow("above one") << 5.0 << 1.0;
        QTest::newRow("below zero") << -1.0 << 0.0;
    }
    void cardMiddleStopIsKeptWithinTheGradient()
    {
        QFETCH(double, stop);
        QFETCH(double, actsAs);
        QTest::failOnWarning(QRegularExpression(QStringLiteral("QGradient")));
        GradientBorderCard card;
        card.resize(240, 160);
        card.setBorderWidth(3);
        card.setBorderGradient(Qt::red, Qt::blue, stop);
        const QImage odd = paint(card);
        card.setBorderGradient(Qt::red, Qt::blue, actsAs);
        QCOMPARE(odd, paint(card));
        card.setBorderGradient(Qt::red, Qt::blue, 0.42);
        QVERIFY(odd != paint(card));
    }

    void cardShapeInsetIsHalfTheBorderButAtLeastHalfAPixel_data()
    {
        QTest::addColumn<int>("border");
        QTest::addColumn<double>("inset");
        QTest::newRow("no border") << 0 << 0.5;
        QTest::newRow("one") << 1 << 0.5;
        QTest::newRow("two") << 2 << 1.0;
        QTest::newRow("five") << 5 << 2.5;
        QTest::newRow("negative") << -4 << 0.5;
    }
    void cardShapeInsetIsHalfTheBorderButAtLeastHalfAPixel()
    {
        QFETCH(int, border);
        QFETCH(double, inset);
        QCOMPARE(GradientBorderCard::shapeRect(QRectF(0, 0, 100, 60), border),
                 QRectF(inset, inset, 100 - 2 * inset, 60 - 2 * inset));
        // Every border width paints cleanly.
        GradientBorderCard card;
        card.resize(100, 60);
        card.setBorderWidth(border);
        const QImage image = paint(card);
        QX_VERIFY_COLOUR(image, 50, 30, QColor(QStringLiteral("#111317")), 0);
    }

    void cardIgnoresStyleSheetBackgrounds()
    {
        GradientBorderCard card;
        card.resize(100, 60);
        QVERIFY(card.testAttribute(Qt::WA_TranslucentBackground));
        QVERIFY(!card.testAttribute(Qt::WA_StyledBackground));
    }

    void strokeSettersKeepTheirFloors_data()
    {
        QTest::addColumn<int>("segment");
        QTest::addColumn<int>("storedSegment");
        QTest::addColumn<int>("speed");
        QTest::addColumn<int>("storedSpeed");
        QTest::newRow("too short, stopped") << 5 << 20 << 0 << 1;
        QTest::newRow("negative") << -30 << 20 << -5 << 1;
        QTest::newRow("at the floors") << 20 << 20 << 1 << 1;
        QTest::newRow("landing banner") << 800 << 800 << 10 << 10;
    }
    void strokeSettersKeepTheirFloors()
    {
        QFETCH(int, segment);
        QFETCH(int, storedSegment);
        QFETCH(int, speed);
        QFETCH(int, storedSpeed);
        AnimatedStrokeBorder border;
        QCOMPARE(border.segmentLength(), 120);
        QCOMPARE(border.speed(), 6);
        QCOMPARE(border.position(), -120.0);
        border.setSegmentLength(segment);
        border.setSpeed(speed);
        QCOMPARE(border.segmentLength(), storedSegment);
        QCOMPARE(border.speed(), storedSpeed);
    }

    void strokeWrapsOnceItsLeftEndPassesTheFarSide()
    {
        AnimatedStrokeBorder banner;
        banner.resize(1300, 83);
        banner.setSegmentLength(800);
        banner.setSpeed(10);
        // From -120 in steps of 10: 222 steps reach 2100 = width + segment,
        // which is not yet past it.
        for (int i = 0; i < 222; ++i)
            banner.advance();
        QCOMPARE(banner.position(), 2100.0);
        banner.advance();
        QCOMPARE(banner.position(), -800.0);
        banner.advance();
        QCOMPARE(banner.position(), -790.0);
    }

    void strokeWithoutWidthNeverWraps()
    {
        AnimatedStrokeBorder border;
        border.resize(0, 83);
        for (int i = 0; i < 100; ++i)
            border.advance();
        QCOMPARE(border.position(), -120.0 + 600);
    }

    void strokeLightsTheSidesOnlyWhileCrossingThem()
    {
        AnimatedStrokeBorder banner;
        wrapOnce(banner);
        QCOMPARE(banner.position(), -800.0);

        for (int i = 0; i < 40; ++i)
            banner.advance();
        QCOMPARE(banner.position(), -400.0);
        QImage image = paint(banner);
        QVERIFY(lit(image, 0, 41));
        QVERIFY(lit(image, 200, 0));
        QVERIFY(lit(image, 200, 82));
        QVERIFY(!lit(image, 1299, 41));
        QCOMPARE(image.pixelColor(700, 0).alpha(), 0);

        for (int i = 0; i < 100; ++i)
            banner.advance();
        QCOMPARE(banner.position(), 600.0);
        image = paint(banner);
        QCOMPARE(image.pixelColor(0, 41).alpha(), 0);
        QVERIFY(lit(image, 1000, 0));
        QVERIFY(lit(image, 1299, 41));
        QCOMPARE(image.pixelColor(300, 0).alpha(), 0);

        // Fully gone past the right side: nothing is drawn at all.
        for (int i = 0; i < 140; ++i)
            banner.advance();
        QCOMPARE(banner.position(), 2000.0);
        image = paint(banner);
        QImage clear(image.size(), image.format());
        clear.fill(Qt::transparent);
        QCOMPARE(image, clear);
    }

    void strokeTicksFromConstructionEvenHidden()
    {
        AnimatedStrokeBorder border;
        QVERIFY(border.timer()->isActive());
        QCOMPARE(border.timer()->interval(), 16);
        QVERIFY(border.testAttribute(Qt::WA_TransparentForMouseEvents));
        border.resize(400, 60);
        QVERIFY(!border.isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(border.position() > -120.0, 10000);
    }

    void spinnerTurnsOnceIn60Ticks()
    {
        ConsoleSpinner spinner;
        QCOMPARE(spinner.size(), QSize(34, 34));
        QVERIFY(spinner.timer().isActive());
        QCOMPARE(spinner.timer().interval(), 16);
        for (int i = 0; i < 15; ++i)
            spinner.advance();
        QCOMPARE(spinner.angle(), 90.0);
        for (int i = 15; i < 60; ++i)
            spinner.advance();
        QCOMPARE(spinner.angle(), 0.0);
    }

    void spinnerArcTurnsClockwise()
    {
        ConsoleSpinner spinner;
        const QColor orange(250, 130, 7);
        const QColor grey(65, 66, 69);
        QImage image = paint(spinner);
        // At rest the arc runs from 12 to 3 o'clock.
        QX_VERIFY_COLOUR(image, 27, 6, orange, 30);
        QX_VERIFY_COLOUR(image, 6, 27, grey, 30);
        QX_VERIFY_COLOUR(image, 6, 6, grey, 30);
        for (int i = 0; i < 30; ++i)
            spinner.advance();
        image = paint(spinner);
        QX_VERIFY_COLOUR(image, 6, 27, orange, 30);
        QX_VERIFY_COLOUR(image, 27, 6, grey, 30);
        QCOMPARE(image.pixelColor(17, 17).alpha(), 0);
    }
};

QTEST_MAIN(TestDecorativeWidgets)
#include "tst_decorativewidgets.moc"
