#include "PaintedWidgetTest.h"
#include "resources/BundledFonts.h"
#include "ui/widgets/HoverFilters.h"

#include <QApplication>
#include <QEnterEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include <algorithm>

// The info icons' hover behaviour: a picture swap and a tooltip card.
class TestHoverFilters : public QObject
{
    Q_OBJECT

private:
    static void enter(QWidget *target)
    {
        QEnterEvent event(QPointF(1, 1), QPointF(1, 1), target->mapToGlobal(QPointF(1, 1)));
        QCoreApplication::sendEvent(target, &event);
    }
    static void leave(QWidget *target)
    {
        QEvent event(QEvent::Leave);
        QCoreApplication::sendEvent(target, &event);
    }
    static QPixmap filled(const QColor &colour)
    {
        QPixmap pixmap(16, 16);
        pixmap.fill(colour);
        return pixmap;
    }
    static QList<QWidget *> visibleTooltips()
    {
        QList<QWidget *> found;
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (widget->windowType() == Qt::ToolTip && widget->isVisible())
                found << widget;
        }
        return found;
    }

private slots:
    void initTestCase() { registerBundledFonts(); }
    void init() { PaintedWidgetTest::failOnPainterWarnings(); }

    void pixmapSwapsOnEnterAndLeave_data()
    {
        QTest::addColumn<bool>("normalIsNull");
        QTest::addColumn<bool>("hoverIsNull");
        QTest::newRow("both pictures") << false << false;
        QTest::newRow("no hover picture") << false << true;
        QTest::newRow("no normal picture") << true << false;
    }
    void pixmapSwapsOnEnterAndLeave()
    {
        QFETCH(bool, normalIsNull);
        QFETCH(bool, hoverIsNull);
        const QPixmap grey = filled(Qt::gray);
        const QPixmap white = filled(Qt::white);
        const QPixmap initial = filled(Qt::red);
        QLabel label;
        label.setPixmap(initial);
        auto *filter =
            new PixmapHoverFilter(&label, normalIsNull ? QPixmap() : grey, hoverIsNull ? QPixmap() : white);
        QCOMPARE(filter->parent(), &label);
        label.installEventFilter(filter);

        enter(&label);
        QCOMPARE(label.pixmap().cacheKey(), hoverIsNull ? initial.cacheKey() : white.cacheKey());
        leave(&label);
        QCOMPARE(label.pixmap().cacheKey(),
                 normalIsNull ? (hoverIsNull ? initial.cacheKey() : white.cacheKey()) : grey.cacheKey());
    }

    void filtersLetEveryEventThrough()
    {
        // Installed on a second object, the filters must neither act nor eat
        // its events; on their own target they pass everything on as well.
        QLabel icon;
        QLineEdit other;
        auto *pixmapFilter = new PixmapHoverFilter(&icon, filled(Qt::gray), filled(Qt::white));
        auto *tooltipFilter = new TooltipHoverFilter(&icon, QStringLiteral("Hi"), QPoint());
        QEvent enterEvent(QEvent::Enter);
        QEvent leaveEvent(QEvent::Leave);
        QKeyEvent key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
        for (QObject *filter :
             {static_cast<QObject *>(pixmapFilter), static_cast<QObject *>(tooltipFilter)}) {
            QVERIFY(!filter->eventFilter(&icon, &enterEvent));
            QVERIFY(!filter->eventFilter(&icon, &leaveEvent));
            QVERIFY(!filter->eventFilter(&other, &enterEvent));
            QVERIFY(!filter->eventFilter(&other, &key));
        }
        QVERIFY(!tooltipFilter->popup()->isVisible());

        other.installEventFilter(tooltipFilter);
        other.show();
        QVERIFY(QTest::qWaitForWindowExposed(&other));
        QTest::keyClicks(&other, QStringLiteral("ok"));
        QCOMPARE(other.text(), QStringLiteral("ok"));
    }

    void tooltipLayout_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("minHeight");
        QTest::addColumn<int>("maxHeight");
        QStringList thirty;
        for (int i = 1; i <= 30; ++i)
            thirty << QStringLiteral("Line %1").arg(i);
        QTest::newRow("one word") << QStringLiteral("Hi") << 180 << 50 << 60;
        QTest::newRow("empty") << QString() << 180 << 50 << 60;
        QTest::newRow("a long sentence wraps")
            << QStringLiteral("word ").repeated(400).trimmed() << 334 << 220 << 220;
        QTest::newRow("2000 characters without a space")
            << QString(2000, QLatin1Char('x')) << 334 << 50 << 220;
        QTest::newRow("thirty lines are cut") << thirty.join(QLatin1Char('\n')) << 180 << 220 << 220;
        QTest::newRow("three lines") << QStringLiteral("First line\nSecond\nThird") << 180 << 80 << 100;
    }
    void tooltipLayout()
    {
        QFETCH(QString, text);
        QFETCH(int, width);
        QFETCH(int, minHeight);
        QFETCH(int, maxHeight);
        const TooltipHoverFilter::Layout layout = TooltipHoverFilter::layoutText(text);
        QCOMPARE(layout.size.width(), width);
        QCOMPARE(layout.wrapWidth, width - 32);
        QVERIFY2(layout.size.height() >= minHeight && layout.size.height() <= maxHeight,
                 QByteArray::number(layout.size.height()));

        TooltipHoverFilter::Popup popup;
        popup.setText(text);
        QCOMPARE(popup.size(), layout.size);
        QCOMPARE(popup.minimumSize(), popup.maximumSize());
        QCOMPARE(popup.label()->geometry(), layout.labelGeometry);
        QCOMPARE(popup.label()->text(), layout.html);
        // The label's own document margin brings the text to the 16 px padding.
        QCOMPARE(popup.label()->x(), 12);
        QCOMPARE(popup.label()->y(), 15);
        QCOMPARE(popup.label()->width(), width - 24);
    }

    void tooltipTextIsShownLiterally()
    {
        const TooltipHoverFilter::Layout layout =
            TooltipHoverFilter::layoutText(QStringLiteral("<b>&\nsecond"));
        QCOMPARE(layout.html,
                 QStringLiteral("<div style=\"line-height:20px;\">&lt;b&gt;&amp;<br/>second</div>"));
        QTextDocument document;
        document.setHtml(layout.html);
        QCOMPARE(document.toPlainText(), QStringLiteral("<b>&\nsecond"));
        // The line break starts a new line, not a new paragraph.
        document.setTextWidth(1000);
        document.size();
        QCOMPARE(document.blockCount(), 1);
        QCOMPARE(document.firstBlock().layout()->lineCount(), 2);
    }

    void widestLineKeepsItsLine_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("lines");
        QTest::newRow("one line") << QStringLiteral("Sends each packet twice") << 1;
        QTest::newRow("three lines, the middle widest")
            << QStringLiteral("Sends each packet twice over\nseparate routes so that a lost one\nnever "
                              "reaches the game.")
            << 3;
        QTest::newRow("an empty line is kept") << QStringLiteral("Before\n\nAfter") << 3;
    }
    void widestLineKeepsItsLine()
    {
        // The card is exactly as wide as its widest line plus the padding:
        // the label must not break that line on its own.
        QFETCH(QString, text);
        QFETCH(int, lines);
        TooltipHoverFilter::Popup popup;
        popup.setText(text);
        QLabel *label = popup.label();
        QCOMPARE(label->heightForWidth(label->width()), label->heightForWidth(2000));
        QCOMPARE(popup.height(), std::max(50, lines * 20 + 8 + 30));
        QVERIFY(label->heightForWidth(label->width()) <= label->height());
    }

    void wrappedWidthLimitsEveryLine()
    {
        // A long line wraps inside the 302 px the card leaves for text.
        const QString text = QStringLiteral("word ").repeated(60).trimmed();
        const TooltipHoverFilter::Layout layout = TooltipHoverFilter::layoutText(text);
        QCOMPARE(layout.wrapWidth, 302);
        TooltipHoverFilter::Popup popup;
        popup.setText(text);
        QTextDocument document;
        document.setDefaultFont(popup.label()->font());
        document.setHtml(layout.html);
        document.setTextWidth(popup.label()->width());
        QVERIFY(document.idealWidth() - 2 * document.documentMargin() <= 302);
        QVERIFY(document.idealWidth() - 2 * document.documentMargin() > 250);
        QVERIFY(document.size().height() > 40);
    }

    void enterShowsTheCardAboveAndLeaveHidesIt_data()
    {
        QTest::addColumn<QPoint>("offset");
        QTest::newRow("no offset") << QPoint();
        QTest::newRow("offset") << QPoint(6, -4);
    }
    void enterShowsTheCardAboveAndLeaveHidesIt()
    {
        QFETCH(QPoint, offset);
        QWidget window;
        window.setGeometry(300, 400, 200, 100);
        auto *icon = new QLabel(&window);
        icon->setGeometry(50, 30, 21, 21);
        auto *filter = new TooltipHoverFilter(icon, QStringLiteral("Fast route\nfor this game"), offset);
        icon->installEventFilter(filter);
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QWidget *focusBefore = QApplication::focusWidget();

        QVERIFY(!filter->popup());
        enter(icon);
        TooltipHoverFilter::Popup *popup = filter->popup();
        QVERIFY(popup);
        QVERIFY(popup->isVisible());
        QCOMPARE(popup->windowType(), Qt::ToolTip);
        QVERIFY(popup->windowFlags() & Qt::FramelessWindowHint);
        QVERIFY(popup->testAttribute(Qt::WA_ShowWithoutActivating));
        QVERIFY(popup->testAttribute(Qt::WA_TransparentForMouseEvents));
        QCOMPARE(popup->focusPolicy(), Qt::NoFocus);
        QCOMPARE(popup->label()->objectName(), QStringLiteral("QxTooltipLabel"));
        QVERIFY(popup->label()->wordWrap());
        QCOMPARE(QApplication::activeWindow(), &window);
        QCOMPARE(QApplication::focusWidget(), focusBefore);

        // Centred on the icon's top edge (global 350 + 10), 12 px above it.
        const QPoint top(300 + 50 + 10, 400 + 30);
        QCOMPARE(popup->pos(), QPoint(top.x() + offset.x() - popup->width() / 2,
                                      top.y() + offset.y() - popup->height() - 12));

        leave(icon);
        QVERIFY(!popup->isVisible());
        // The next hover reuses the same card.
        enter(icon);
        QCOMPARE(filter->popup(), popup);
        QVERIFY(popup->isVisible());
        leave(icon);
    }

    void cardPaintsRoundedOnTheDarkPlate()
    {
        TooltipHoverFilter::Popup popup;
        popup.setText(QStringLiteral("One\nTwo\nThree"));
        const QImage image = PaintedWidgetTest::paint(popup);
        QX_VERIFY_COLOUR(image, image.width() / 2, 4, QColor(QStringLiteral("#1A1E24")), 2);
        QCOMPARE(image.pixelColor(0, 0).alpha(), 0);
        // The text itself is drawn in white somewhere inside the padding.
        bool white = false;
        for (int y = 15; y < image.height() - 15 && !white; ++y) {
            for (int x = 16; x < image.width() - 16 && !white; ++x)
                white = image.pixelColor(x, y).lightness() > 200;
        }
        QVERIFY(white);
    }

    void cardDeletedElsewhereIsMadeAgain()
    {
        QLabel icon;
        auto *filter = new TooltipHoverFilter(&icon, QStringLiteral("Hi"), QPoint());
        icon.installEventFilter(filter);
        enter(&icon);
        QPointer<TooltipHoverFilter::Popup> first = filter->popup();
        QVERIFY(first);
        delete first.data();
        QVERIFY(!filter->popup());
        leave(&icon);
        enter(&icon);
        QVERIFY(filter->popup());
        QVERIFY(filter->popup()->isVisible());
        leave(&icon);
    }

    void targetDeletedWhileHoveredTakesItsCard()
    {
        auto *icon = new QLabel;
        auto *filter = new TooltipHoverFilter(icon, QStringLiteral("Hi"), QPoint());
        icon->installEventFilter(filter);
        enter(icon);
        QPointer<TooltipHoverFilter::Popup> popup = filter->popup();
        QVERIFY(popup && popup->isVisible());
        QCOMPARE(visibleTooltips().size(), 1);
        delete icon;
        QVERIFY(popup.isNull());
        QVERIFY(visibleTooltips().isEmpty());
    }

    void withoutTargetNothingShows()
    {
        TooltipHoverFilter filter(nullptr, QStringLiteral("Hi"), QPoint());
        filter.showPopup();
        QVERIFY(!filter.popup());
    }
};

QTEST_MAIN(TestHoverFilters)
#include "tst_hoverfilters.moc"
