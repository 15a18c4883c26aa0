#include "PaintedWidgetTest.h"
#include "ui/widgets/Gauges.h"

#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <cmath>

using PaintedWidgetTest::paint;

// The hardware card's ring gauge and the route sweep's progress ring,
// painted into images and read back where a fault would show.
class TestGauges : public QObject
{
    Q_OBJECT

private:
    // The pixel on a 160 px gauge's ring at a painter angle (degrees,
    // counter-clockwise from 3 o'clock).
    static QPoint gaugeRing(double degrees)
    {
        const double radius = (160 - 2 * (160 * 0.091 + 1.355)) / 2;
        const double a = degrees * M_PI / 180;
        return QPoint(int(std::floor(80 + radius * std::cos(a))), int(std::floor(80 - radius * std::sin(a))));
    }
    // The pixel on the 244 px progress ring (radius 110) at a painter angle.
    static QPoint progressRing(double degrees)
    {
        const double a = degrees * M_PI / 180;
        return QPoint(int(std::floor(122 + 110 * std::cos(a))), int(std::floor(122 - 110 * std::sin(a))));
    }
    static QImage paintGauge(int value, const QColor &accent = QColor())
    {
        CircularGauge gauge;
        gauge.resize(160, 160);
        if (accent.isValid() || value < 0)
            gauge.setAccentColor(accent);
        gauge.setValue(std::abs(value));
        return paint(gauge);
    }

private slots:
    void init() { PaintedWidgetTest::failOnPainterWarnings(); }

    void gaugeValueIsClampedAndSignalledOnChange_data()
    {
        QTest::addColumn<int>("input");
        QTest::addColumn<int>("stored");
        QTest::addColumn<bool>("signalled");
        // The gauge starts each row at 40.
        QTest::newRow("below range") << -5 << 0 << true;
        QTest::newRow("above range") << 250 << 100 << true;
        QTest::newRow("inside") << 73 << 73 << true;
        QTest::newRow("repeat") << 40 << 40 << false;
    }
    void gaugeValueIsClampedAndSignalledOnChange()
    {
        QFETCH(int, input);
        QFETCH(int, stored);
        QFETCH(bool, signalled);
        CircularGauge gauge;
        QCOMPARE(gauge.value(), 0);
        QCOMPARE(gauge.sizeHint(), QSize(160, 160));
        gauge.setValue(40);
        QSignalSpy spy(&gauge, &CircularGauge::valueChanged);
        gauge.setValue(input);
        QCOMPARE(gauge.value(), stored);
        QCOMPARE(spy.size(), signalled ? 1 : 0);
        if (signalled)
            QCOMPARE(spy.at(0).at(0).toInt(), stored);
        // Clamped again to the same value: nothing more.
        gauge.setValue(input);
        QCOMPARE(spy.size(), signalled ? 1 : 0);
    }

    void gaugeIsReachableThroughItsProperties()
    {
        CircularGauge gauge;
        QSignalSpy spy(&gauge, &CircularGauge::valueChanged);
        QVERIFY(gauge.setProperty("value", 300));
        QCOMPARE(gauge.value(), 100);
        QVERIFY(gauge.setProperty("accentColor", QColor(Qt::red)));
        QCOMPARE(gauge.accentColor(), QColor(Qt::red));
        QCOMPARE(spy.size(), 1);
    }

    void gaugePaintsTrackAndArc_data()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<QColor>("accent");
        QTest::addColumn<double>("angle");
        QTest::addColumn<QColor>("expected");
        const QColor grey(0x41, 0x42, 0x45);
        const QColor blue(0x00, 0xA0, 0xDF);
        const QColor orange(0xFA, 0x82, 0x07);
        QTest::newRow("0: grey at 12") << 0 << QColor() << 90.0 << grey;
        QTest::newRow("0: grey at 3") << 0 << QColor() << 0.0 << grey;
        QTest::newRow("50: accent at 3") << 50 << QColor() << 0.0 << blue;
        QTest::newRow("50: accent just after 12") << 50 << QColor() << 80.0 << blue;
        QTest::newRow("50: grey at 9") << 50 << QColor() << 180.0 << grey;
        QTest::newRow("100: accent just after 12") << 100 << QColor() << 80.0 << blue;
        QTest::newRow("100: accent at 9") << 100 << QColor() << 180.0 << blue;
        QTest::newRow("own accent") << 50 << orange << 0.0 << orange;
        // -50: an invalid colour set on purpose, then value 50.
        QTest::newRow("invalid accent falls back") << -50 << QColor() << 0.0 << blue;
    }
    void gaugePaintsTrackAndArc()
    {
        QFETCH(int, value);
        QFETCH(QColor, accent);
        QFETCH(double, angle);
        QFETCH(QColor, expected);
        const QImage image = paintGauge(value, accent);
        const QPoint p = gaugeRing(angle);
        QX_VERIFY_COLOUR(image, p.x(), p.y(), expected, 10);
        // The disc under the ring, and nothing outside it.
        QX_VERIFY_COLOUR(image, 80, 80, QColor(0x1A, 0x1E, 0x24), 0);
        QCOMPARE(image.pixelColor(0, 0).alpha(), 0);
    }

    void fullGaugeFadesOutJustBeforeTwelve()
    {
        const QImage image = paintGauge(100);
        const QColor blue(0x00, 0xA0, 0xDF);
        const QColor grey(0x41, 0x42, 0x45);
        // Ten degrees short of closing the circle the arc is nearly
        // transparent over the grey track; a quarter before, it is solid.
        const QPoint fading = gaugeRing(100);
        const QColor c = image.pixelColor(fading);
        QVERIFY2(std::abs(c.blue() - grey.blue()) < std::abs(c.blue() - blue.blue()),
                 PaintedWidgetTest::describe(c));
        const QPoint solid = gaugeRing(170);
        QX_VERIFY_COLOUR(image, solid.x(), solid.y(), blue, 10);
    }

    void gaugeIsCentredInAWideRectangle()
    {
        CircularGauge gauge;
        gauge.resize(260, 160);
        gauge.setValue(50);
        const QImage image = paint(gauge);
        QCOMPARE(image.pixelColor(20, 80).alpha(), 0);
        QX_VERIFY_COLOUR(image, 130, 80, QColor(0x1A, 0x1E, 0x24), 0);
        const QPoint p = gaugeRing(0) + QPoint(50, 0);
        QX_VERIFY_COLOUR(image, p.x(), p.y(), QColor(0x00, 0xA0, 0xDF), 10);
    }

    void routeCountsGiveTheStage_data()
    {
        QTest::addColumn<int>("done");
        QTest::addColumn<int>("stage");
        QTest::newRow("start") << 1 << 1;
        QTest::newRow("272") << 272 << 1;
        QTest::newRow("273") << 273 << 2;
        QTest::newRow("544") << 544 << 2;
        QTest::newRow("545") << 545 << 3;
        QTest::newRow("past the total") << 5000 << 3;
        QTest::newRow("negative") << -3 << 1;
    }
    void routeCountsGiveTheStage()
    {
        QFETCH(int, done);
        QFETCH(int, stage);
        QCOMPARE(CircularProgressWidget::stageFor(done), stage);
        QCOMPARE(CircularProgressWidget::stageLine(done, 817),
                 QStringLiteral("%1 / 3  (Routes: %2 / 817)").arg(stage).arg(done));
    }

    void progressIsClamped_data()
    {
        QTest::addColumn<int>("input");
        QTest::addColumn<int>("stored");
        QTest::newRow("negative") << -5 << 0;
        QTest::newRow("inside") << 37 << 37;
        QTest::newRow("above") << 150 << 100;
    }
    void progressIsClamped()
    {
        QFETCH(int, input);
        QFETCH(int, stored);
        CircularProgressWidget ring;
        QCOMPARE(ring.size(), QSize(244, 244));
        ring.setProgress(input);
        QCOMPARE(ring.progress(), stored);
    }

    void progressArcStartsAtSixOnlyAboveZero()
    {
        CircularProgressWidget ring;
        const QColor track(0x16, 0x16, 0x1b);
        const QColor orange(245, 119, 17);
        const QPoint six = progressRing(-90);

        QImage image = paint(ring);
        QX_VERIFY_COLOUR(image, six.x(), six.y(), track, 6);
        // The orbiting segments are drawn at 0 as well (the first spans
        // -40..0 degrees at rest) ...
        const QPoint orbit = progressRing(-20);
        QVERIFY(image.pixelColor(orbit).red() > track.red() + 40);
        // ... and so is "0%", light text in the middle band.
        int light = 0;
        for (int y = 122 - 35; y < 122 + 15; ++y) {
            for (int x = 60; x < 184; ++x)
                light += image.pixelColor(x, y).lightness() > 180 ? 1 : 0;
        }
        QVERIFY2(light > 30, QByteArray::number(light));

        ring.setProgress(37);
        image = paint(ring);
        QX_VERIFY_COLOUR(image, six.x(), six.y(), orange, 10);
        // 37 % of a turn counter-clockwise from 6 o'clock passes 3 o'clock
        // but not 12.
        const QPoint three = progressRing(0);
        QX_VERIFY_COLOUR(image, three.x(), three.y(), orange, 10);
        const QPoint twelve = progressRing(90);
        QVERIFY(image.pixelColor(twelve).red() < 120);

        ring.setProgress(100);
        image = paint(ring);
        QX_VERIFY_COLOUR(image, twelve.x(), twelve.y(), orange, 10);
        const QPoint nine = progressRing(180);
        QX_VERIFY_COLOUR(image, nine.x(), nine.y(), orange, 10);
    }

    void animationStaysInItsBounds()
    {
        CircularProgressWidget ring;
        QVERIFY(ring.timer()->isActive());
        QCOMPARE(ring.timer()->interval(), 16);
        QCOMPARE(ring.pulse(), 1.0);
        double low = 2;
        double high = 0;
        for (int i = 0; i < 2000; ++i) {
            ring.updateAnimation();
            low = std::min(low, ring.pulse());
            high = std::max(high, ring.pulse());
            QVERIFY(ring.rotation() >= 0 && ring.rotation() < 360);
        }
        QCOMPARE(low, 0.9);
        QCOMPARE(high, 1.1);
        QVERIFY(low >= 0.9 && high <= 1.1);
        // 2000 ticks from 0: 2000 mod 360 = 200 degrees.
        QCOMPARE(ring.rotation(), 200.0);
    }

    void ringPaintsAtEveryPulseAndTurn()
    {
        CircularProgressWidget ring;
        ring.setProgress(62);
        ring.setRouteCounts(600, 817);
        for (int i = 0; i < 400; ++i) {
            ring.updateAnimation();
            if (i % 37 == 0)
                QVERIFY(!paint(ring).isNull());
        }
    }
};

QTEST_MAIN(TestGauges)
#include "tst_gauges.moc"
