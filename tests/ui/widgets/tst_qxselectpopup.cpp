#include "PaintedWidgetTest.h"
#include "resources/BundledFonts.h"
#include "ui/widgets/QxSelectPopup.h"
#include "ui/widgets/WindowTranslucency.h"

#include <QGraphicsEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QRegularExpression>
#include <QScreen>
#include <QTest>

#include <memory>

// The select popup against a stand-in field placed anywhere on the test
// runner's 1920x1080 screen.
class TestQxSelectPopup : public QObject
{
    Q_OBJECT

private:
    // A top-level window standing in for a select field at a global position.
    struct Field
    {
        QWidget window;
        explicit Field(int x, int y, int width = 300, int height = 40)
        {
            window.setGeometry(x, y, width, height);
            window.show();
        }
    };

    static QList<QxPopupRow::Texts> items(int count)
    {
        QList<QxPopupRow::Texts> list;
        for (int i = 0; i < count; ++i)
            list.append({QString(), QStringLiteral("Choice %1").arg(i)});
        return list;
    }

    // The four corner radii the card's style sheet gives, as "tl tr bl br".
    static QString cardRadii(const QxSelectPopup &popup)
    {
        const QString sheet = popup.card()->styleSheet();
        QStringList radii;
        for (const char *corner : {"top-left", "top-right", "bottom-left", "bottom-right"}) {
            const QRegularExpression re(
                QStringLiteral("border-%1-radius: (\\d+)px;").arg(QLatin1String(corner)));
            const QRegularExpressionMatch match = re.match(sheet);
            radii << (match.hasMatch() ? match.captured(1) : QStringLiteral("?"));
        }
        return radii.join(QLatin1Char(' '));
    }

private slots:
    void initTestCase()
    {
        registerBundledFonts();
        QCOMPARE(QGuiApplication::primaryScreen()->availableGeometry(), QRect(0, 0, 1920, 1080));
    }
    void init() { PaintedWidgetTest::failOnPainterWarnings(); }
    void cleanup() { WindowTranslucency::setProbe({}); }

    void placesOnTheSideWithRoom_data()
    {
        QTest::addColumn<int>("fieldY");
        QTest::addColumn<int>("rowCount");
        QTest::addColumn<bool>("above");
        // Ten rows make a popup taller than either side has room for when
        // a 40 px field sits in the middle of the screen.
        QTest::newRow("room below") << 100 << 3 << false;
        QTest::newRow("near the bottom") << 1000 << 3 << true;
        QTest::newRow("neither fits, more above") << 600 << 10 << true;
        QTest::newRow("neither fits, more below") << 300 << 10 << false;
        QTest::newRow("neither fits, a tie opens below") << 520 << 10 << false;
    }
    void placesOnTheSideWithRoom()
    {
        QFETCH(int, fieldY);
        QFETCH(int, rowCount);
        QFETCH(bool, above);
        Field field(200, fieldY);
        QxSelectPopup popup;
        popup.setItems(items(rowCount));

        QCOMPARE(popup.showForAnchor(&field.window, 0), above);
        QVERIFY(popup.isVisible());
        QCOMPARE(popup.popupStyle().openUp, above);
        const int h = popup.height();
        QVERIFY(rowCount < 10 || h > 1080 / 2);
        // Detached by default: a 10 px gap on the chosen side.
        QCOMPARE(popup.pos(), QPoint(200, above ? fieldY - 10 - h : fieldY + 40 + 10));
    }

    void fitsExactlyBelow()
    {
        QxSelectPopup popup;
        popup.setItems(items(3));
        popup.adjustSize();
        const int h = popup.height();
        Field fits(200, 1080 - 40 - h);
        QVERIFY(!popup.showForAnchor(&fits.window, 0));
        popup.hide();
        Field shortByOne(200, 1080 - 40 - h + 1);
        QVERIFY(popup.showForAnchor(&shortByOne.window, 0));
    }

    void showBelowIgnoresTheScreen()
    {
        Field field(200, 1000);
        QxSelectPopup popup;
        popup.setItems(items(3));
        popup.showBelow(&field.window, 0);
        QVERIFY(popup.isVisible());
        QVERIFY(!popup.popupStyle().openUp);
        QCOMPARE(popup.pos(), QPoint(200, 1050));
    }

    void widthIsTheWiderOfFieldAndMinimum_data()
    {
        QTest::addColumn<int>("fieldWidth");
        QTest::addColumn<int>("minWidth");
        QTest::addColumn<int>("expected");
        QTest::newRow("field wider") << 300 << 120 << 300;
        QTest::newRow("minimum wider") << 300 << 420 << 420;
        QTest::newRow("negative minimum") << 250 << -5 << 250;
    }
    void widthIsTheWiderOfFieldAndMinimum()
    {
        QFETCH(int, fieldWidth);
        QFETCH(int, minWidth);
        QFETCH(int, expected);
        Field field(100, 100, fieldWidth);
        QxSelectPopup popup;
        popup.setItems(items(2));
        popup.showForAnchor(&field.window, minWidth);
        QCOMPARE(popup.width(), expected);
        popup.hide();
        popup.showBelow(&field.window, minWidth);
        QCOMPARE(popup.width(), expected);
    }

    void withoutAnchorNothingOpens()
    {
        QxSelectPopup popup;
        popup.setItems(items(2));
        int hidden = 0;
        popup.setOnHidden([&] { ++hidden; });
        QVERIFY(!popup.showForAnchor(nullptr, 200));
        popup.showBelow(nullptr, 200);
        QVERIFY(!popup.isVisible());
        QCOMPARE(hidden, 0);
    }

    void cornersAndOffsetsFollowTheSide_data()
    {
        QTest::addColumn<bool>("attached");
        QTest::addColumn<int>("fieldY");
        QTest::addColumn<bool>("above");
        QTest::addColumn<QString>("radii");
        QTest::newRow("attached below") << true << 100 << false << QStringLiteral("0 0 12 12");
        QTest::newRow("attached above") << true << 1000 << true << QStringLiteral("12 12 0 0");
        QTest::newRow("detached below") << false << 100 << false << QStringLiteral("12 12 12 12");
        QTest::newRow("detached above") << false << 1000 << true << QStringLiteral("12 12 12 12");
    }
    void cornersAndOffsetsFollowTheSide()
    {
        QFETCH(bool, attached);
        QFETCH(int, fieldY);
        QFETCH(bool, above);
        QFETCH(QString, radii);
        QxSelectPopupStyle style;
        style.radius = 12;
        style.attached = attached;
        style.hasShadow = false;
        QxSelectPopup popup;
        popup.setStyle(style);
        popup.setItems(items(3));
        Field field(200, fieldY);
        QCOMPARE(popup.showForAnchor(&field.window, 0), above);
        QCOMPARE(cardRadii(popup), radii);

        const int h = popup.height();
        int offset = 0;
        if (attached)
            offset = above ? 1 - h : 40 - 1;
        else
            offset = above ? -10 - h : 40 + 10;
        QCOMPARE(popup.y() - fieldY, offset);

        // What is drawn agrees: a square corner is painted to its very
        // pixel, a round one leaves it clear.
        const QImage card = PaintedWidgetTest::paint(popup);
        QCOMPARE(card.size(), popup.card()->size());
        const bool squareTop = attached && !above;
        const bool squareBottom = attached && above;
        QCOMPARE(card.pixelColor(0, 0).alpha() > 200, squareTop);
        QCOMPARE(card.pixelColor(card.width() - 1, card.height() - 1).alpha() > 200, squareBottom);
    }

    void reopeningOnTheOtherSideRestylesTheCard()
    {
        QxSelectPopupStyle style;
        style.attached = true;
        QxSelectPopup popup;
        popup.setStyle(style);
        popup.setItems(items(3));
        Field low(200, 1000);
        QVERIFY(popup.showForAnchor(&low.window, 0));
        QCOMPARE(cardRadii(popup), QStringLiteral("14 14 0 0"));
        popup.hide();
        Field high(200, 100);
        QVERIFY(!popup.showForAnchor(&high.window, 0));
        QCOMPARE(cardRadii(popup), QStringLiteral("0 0 14 14"));
    }

    void clickingARowSelectsThenHides()
    {
        Field field(200, 100);
        QxSelectPopup popup;
        popup.setItems(items(4));
        QStringList calls;
        popup.setOnSelected([&](int index) { calls << QStringLiteral("selected %1").arg(index); });
        popup.setOnHidden([&] { calls << QStringLiteral("hidden"); });
        popup.showForAnchor(&field.window, 0);
        QVERIFY(QTest::qWaitForWindowExposed(&popup));

        QTest::mousePress(popup.rows().at(2), Qt::LeftButton);
        QCOMPARE(calls, QStringList({QStringLiteral("selected 2"), QStringLiteral("hidden")}));
        QVERIFY(!popup.isVisible());

        // Other buttons choose nothing.
        calls.clear();
        popup.showForAnchor(&field.window, 0);
        QVERIFY(QTest::qWaitForWindowExposed(&popup));
        QTest::mousePress(popup.rows().at(1), Qt::RightButton);
        QVERIFY(calls.isEmpty());
        QVERIFY(popup.isVisible());
    }

    void aPressOutsideOnlyHides()
    {
        Field field(200, 100);
        QxSelectPopup popup;
        popup.setItems(items(3));
        int selected = 0;
        int hidden = 0;
        popup.setOnSelected([&](int) { ++selected; });
        popup.setOnHidden([&] { ++hidden; });
        popup.showForAnchor(&field.window, 0);
        QVERIFY(QTest::qWaitForWindowExposed(&popup));

        QTest::mousePress(&popup, Qt::LeftButton, {}, QPoint(-40, popup.height() + 40));
        QTRY_VERIFY_WITH_TIMEOUT(!popup.isVisible(), 10000);
        QCOMPARE(selected, 0);
        QCOMPARE(hidden, 1);
    }

    void aCallbackMayRefillTheList()
    {
        // The settings fields rebuild their list from the selection callback;
        // the row being clicked must survive until its press is handled.
        Field field(200, 100);
        QxSelectPopup popup;
        popup.setItems(items(3));
        QPointer<QWidget> clicked = popup.rows().at(1);
        popup.setOnSelected([&](int index) {
            popup.setItems(items(5));
            popup.setCheckedIndex(index);
        });
        popup.showForAnchor(&field.window, 0);
        QVERIFY(QTest::qWaitForWindowExposed(&popup));

        QTest::mousePress(clicked.data(), Qt::LeftButton);
        // Still alive after its own press was handled, out of the list and
        // out of sight; it goes once the event loop gets to it.
        QVERIFY(clicked);
        QVERIFY(!popup.rows().contains(static_cast<QxPopupRow *>(clicked.data())));
        QVERIFY(!clicked->isVisibleTo(&popup));
        QCOMPARE(popup.rows().size(), 5);
        QVERIFY(popup.rows().at(1)->checkLabel()->isVisibleTo(popup.rows().at(1)));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(clicked.isNull());
        QCOMPARE(popup.findChildren<QWidget *>(QStringLiteral("QxPopupRow")).size(), 5);
    }

    void setStyleLeavesExistingRowsAlone()
    {
        QxSelectPopup popup;
        popup.setItems(items(2));
        QxSelectPopupStyle style;
        style.rowHeight = 40;
        style.rowFontPx = 13;
        style.rowPaddingLeft = 5;
        style.rowPaddingRight = 6;
        style.rowInnerSpacing = 7;
        style.cardPadding = 3;
        style.rowSpacing = 2;
        popup.setStyle(style);

        QxPopupRow *old = popup.rows().at(0);
        QCOMPARE(old->minimumHeight(), 64);
        QCOMPARE(old->maximumHeight(), 64);
        QCOMPARE(old->rightLabel()->font().pixelSize(), 28);
        QCOMPARE(old->layout()->contentsMargins(), QMargins(20, 0, 16, 0));
        QCOMPARE(old->layout()->spacing(), 16);
        // The card itself takes the new metrics at once.
        QCOMPARE(popup.card()->layout()->contentsMargins(), QMargins(3, 3, 3, 3));
        QCOMPARE(popup.card()->layout()->spacing(), 2);

        // Rows made after the change take the new metrics.
        popup.setItems(items(2));
        QxPopupRow *fresh = popup.rows().at(0);
        QCOMPARE(fresh->maximumHeight(), 40);
        QCOMPARE(fresh->rightLabel()->font().pixelSize(), 13);
        QCOMPARE(fresh->rightLabel()->font().family(), QStringLiteral("Inter"));
        QCOMPARE(fresh->layout()->contentsMargins(), QMargins(5, 0, 6, 0));
        QCOMPARE(fresh->layout()->spacing(), 7);
    }

    void shadowFollowsTheStyle()
    {
        QxSelectPopup popup;
        QVERIFY(popup.card()->graphicsEffect());
        QCOMPARE(popup.layout()->contentsMargins(), QMargins(10, 10, 10, 10));
        QxSelectPopupStyle style;
        style.hasShadow = false;
        popup.setStyle(style);
        QVERIFY(!popup.card()->graphicsEffect());
        QCOMPARE(popup.layout()->contentsMargins(), QMargins(0, 0, 0, 0));
        style.hasShadow = true;
        style.shadowMargin = 4;
        popup.setStyle(style);
        QVERIFY(popup.card()->graphicsEffect());
        QCOMPARE(popup.layout()->contentsMargins(), QMargins(4, 4, 4, 4));
    }

    void emptyLeftTextLeavesTheRowToTheRightText()
    {
        Field field(200, 100, 500);
        QxSelectPopup popup;
        popup.setItems(
            {{QString(), QStringLiteral("Automatic")}, {QStringLiteral("DE"), QStringLiteral("Berlin")}});
        popup.showForAnchor(&field.window, 0);
        QVERIFY(QTest::qWaitForWindowExposed(&popup));

        QxPopupRow *bare = popup.rows().at(0);
        QVERIFY(!bare->leftLabel()->isVisible());
        QCOMPARE(bare->rightLabel()->x(), 20);
        QCOMPARE(bare->rightLabel()->text(), QStringLiteral("Automatic"));
        QxPopupRow *both = popup.rows().at(1);
        QVERIFY(both->leftLabel()->isVisible());
        QCOMPARE(both->leftLabel()->x(), 20);
        QVERIFY(both->rightLabel()->x() >= 20 + both->leftLabel()->width() + 16);
    }

    void leftMinimumWidthAppliesWhenPositive()
    {
        QxSelectPopupStyle style;
        style.leftMinWidth = 90;
        QxSelectPopup popup;
        popup.setStyle(style);
        popup.setItems({{QStringLiteral("A"), QStringLiteral("B")}});
        QCOMPARE(popup.rows().at(0)->leftLabel()->minimumWidth(), 90);
    }

    void checkMarkOnlyOnTheMarkedRow_data()
    {
        QTest::addColumn<int>("index");
        QTest::newRow("first") << 0;
        QTest::newRow("last") << 2;
        QTest::newRow("past the end") << 99;
        QTest::newRow("negative") << -1;
    }
    void checkMarkOnlyOnTheMarkedRow()
    {
        QFETCH(int, index);
        QxSelectPopup popup;
        popup.setItems(items(3));
        popup.setCheckedIndex(1);
        popup.setCheckedIndex(index);
        QCOMPARE(popup.checkedIndex(), index);
        for (QxPopupRow *row : popup.rows()) {
            QCOMPARE(row->checkLabel()->isVisibleTo(row), row->index() == index);
            QCOMPARE(row->checkLabel()->size(), QSize(24, 24));
        }
        if (index == 0) {
            const QPixmap mark = popup.rows().at(0)->checkLabel()->pixmap();
            QVERIFY(!mark.isNull());
            QVERIFY(mark.width() <= 24 && mark.height() <= 24);
        }
    }

    void missingCheckPictureStillMarksTheRow()
    {
        Q_CLEANUP_RESOURCE(quorlix_assets);
        auto restore = qScopeGuard([] { Q_INIT_RESOURCE(quorlix_assets); });
        QxSelectPopup popup;
        popup.setItems(items(2));
        popup.setCheckedIndex(1);
        QVERIFY(popup.rows().at(1)->checkLabel()->isVisibleTo(popup.rows().at(1)));
        QVERIFY(popup.rows().at(1)->checkLabel()->pixmap().isNull());
        QVERIFY(!popup.rows().at(0)->checkLabel()->isVisibleTo(popup.rows().at(0)));
    }

    void rowUnderThePointerShowsTheHoverColour()
    {
        QxPopupRow row(0, {QString(), QStringLiteral("x")}, QxSelectPopupStyle(), {}, nullptr);
        row.resize(200, 64);
        QVERIFY(row.testAttribute(Qt::WA_StyledBackground));
        const QImage plain = PaintedWidgetTest::paint(row);
        QCOMPARE(plain.pixelColor(150, 32).alpha(), 0);
        row.setAttribute(Qt::WA_UnderMouse);
        const QImage hovered = PaintedWidgetTest::paint(row);
        QX_VERIFY_COLOUR(hovered, 150, 32, QColor(QStringLiteral("#23262C")), 2);
        // The hover background is rounded: its corner pixel stays clear.
        QCOMPARE(hovered.pixelColor(0, 0).alpha(), 0);
    }

    // Rows that need more than the field is wide widen the popup: their
    // texts and the check mark show whole, apart.
    void widerRowsWidenThePopup()
    {
        QxSelectPopupStyle style;
        style.rowPaddingLeft = 58;
        style.rowFontPx = 14;
        QxSelectPopup popup;
        popup.setStyle(style);
        popup.setItems({{QStringLiteral("Max."), QStringLiteral("1440*810")}});
        popup.setCheckedIndex(0);
        Field field(200, 100, 162, 43);
        popup.showBelow(&field.window, 0);
        QVERIFY(popup.width() > 162);
        QxPopupRow *row = popup.rows().first();
        QTRY_VERIFY(row->width() > 162 - 2 * 16);
        for (QLabel *label : {row->leftLabel(), row->rightLabel()})
            QVERIFY2(label->width() >= label->fontMetrics().horizontalAdvance(label->text()),
                     qPrintable(label->text()));
        QVERIFY(row->leftLabel()->geometry().right() < row->rightLabel()->x());
        QVERIFY(row->rightLabel()->x() + row->fontMetrics().horizontalAdvance(QStringLiteral("1440*810")) <=
                row->checkLabel()->x());
        // A field wider than the rows keeps its width.
        Field wide(200, 300, 400, 43);
        popup.hide();
        popup.showBelow(&wide.window, 0);
        QCOMPARE(popup.width(), 400);
    }

    // A desktop without a compositing manager never shows a translucent
    // window: the popup is then an opaque window cut to the card's outline,
    // in the card's colours, with no shadow margin around it.
    void opaqueWithoutACompositor_data()
    {
        QTest::addColumn<bool>("attached");
        QTest::addColumn<int>("fieldY");
        QTest::addColumn<bool>("roundTop");
        QTest::addColumn<bool>("roundBottom");
        QTest::newRow("attached below") << true << 100 << false << true;
        QTest::newRow("attached above") << true << 1000 << true << false;
        QTest::newRow("detached") << false << 100 << true << true;
    }
    void opaqueWithoutACompositor()
    {
        QFETCH(bool, attached);
        QFETCH(int, fieldY);
        QFETCH(bool, roundTop);
        QFETCH(bool, roundBottom);
        WindowTranslucency::setProbe([] { return false; });
        QxSelectPopupStyle style;
        style.attached = attached;
        QxSelectPopup popup;
        popup.setStyle(style);
        popup.setItems(items(3));
        popup.setCheckedIndex(1);
        Field field(200, fieldY);
        popup.showForAnchor(&field.window, 0);

        QVERIFY(!popup.isTranslucent());
        QVERIFY(!popup.testAttribute(Qt::WA_TranslucentBackground));
        QVERIFY(!popup.card()->graphicsEffect());
        QCOMPARE(popup.layout()->contentsMargins(), QMargins(0, 0, 0, 0));
        QCOMPARE(popup.card()->geometry(), popup.rect());
        // The shape keeps the card's corners: round ones are cut away.
        const QRegion shape = popup.mask();
        QVERIFY(shape.contains(popup.rect().center()));
        QCOMPARE(!shape.contains(QPoint(0, 0)), roundTop);
        QCOMPARE(!shape.contains(QPoint(popup.width() - 1, popup.height() - 1)), roundBottom);
        QVERIFY(shape.contains(QPoint(popup.width() / 2, 0)));

        // Painted as the window the screen shows: opaque, the card's colour
        // between the rows and the border.
        const QImage shown = popup.grab().toImage();
        const QColor ground = shown.pixelColor(8, popup.height() / 2);
        QCOMPARE(ground.alpha(), 255);
        QCOMPARE(ground.name(), QStringLiteral("#1a1e24"));
        QCOMPARE(shown.pixelColor(popup.width() / 2, 0).alpha(), 255);
    }

    void followsTheDesktopAtEveryShow()
    {
        bool composited = true;
        WindowTranslucency::setProbe([&composited] { return composited; });
        QxSelectPopup popup;
        popup.setItems(items(3));
        Field field(200, 100);
        popup.showBelow(&field.window, 0);
        QVERIFY(popup.isTranslucent());
        QVERIFY(popup.testAttribute(Qt::WA_TranslucentBackground));
        QVERIFY(popup.card()->graphicsEffect());
        QCOMPARE(popup.layout()->contentsMargins(), QMargins(10, 10, 10, 10));
        QVERIFY(popup.mask().isEmpty());
        popup.hide();

        // The compositing manager went away: the next show is opaque, and
        // its rows still answer.
        composited = false;
        int chosen = -1;
        popup.setOnSelected([&chosen](int index) { chosen = index; });
        popup.showBelow(&field.window, 0);
        QVERIFY(popup.isVisible());
        QVERIFY(!popup.testAttribute(Qt::WA_TranslucentBackground));
        QVERIFY(!popup.card()->graphicsEffect());
        QVERIFY(!popup.mask().isEmpty());
        QTest::mouseClick(popup.rows().at(2), Qt::LeftButton);
        QCOMPARE(chosen, 2);
        QVERIFY(!popup.isVisible());

        composited = true;
        popup.showBelow(&field.window, 0);
        QVERIFY(popup.testAttribute(Qt::WA_TranslucentBackground));
        QVERIFY(popup.card()->graphicsEffect());
        QVERIFY(popup.mask().isEmpty());
    }

    void listSizes_data()
    {
        QTest::addColumn<int>("count");
        QTest::newRow("none") << 0;
        QTest::newRow("one") << 1;
        QTest::newRow("two hundred") << 200;
    }
    void listSizes()
    {
        QFETCH(int, count);
        QxSelectPopup popup;
        popup.setItems(items(7));
        popup.setItems(items(count));
        QCOMPARE(popup.rows().size(), count);
        for (int i = 0; i < count; ++i)
            QCOMPARE(popup.rows().at(i)->index(), i);
        popup.setCheckedIndex(count - 1);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(popup.findChildren<QWidget *>(QStringLiteral("QxPopupRow")).size(), count);
    }
};

QTEST_MAIN(TestQxSelectPopup)
#include "tst_qxselectpopup.moc"
