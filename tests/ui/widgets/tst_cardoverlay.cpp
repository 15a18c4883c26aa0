#include "support/PainterWarnings.h"
#include "ui/widgets/CardOverlay.h"

#include <QFrame>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

// The full-window card overlay: what dismisses it and what does not.
class TestCardOverlay : public QObject
{
    Q_OBJECT

private slots:
    void init() { TestSupport::failOnPainterWarnings(); }

    void pressDismissesOnlyBesideTheCard_data()
    {
        QTest::addColumn<QPoint>("at");
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::addColumn<bool>("dismissed");
        // The card is 100 x 60 at (50, 40).
        QTest::newRow("card middle") << QPoint(100, 70) << Qt::LeftButton << false;
        QTest::newRow("card top-left pixel") << QPoint(50, 40) << Qt::LeftButton << false;
        QTest::newRow("card bottom-right pixel") << QPoint(149, 99) << Qt::LeftButton << false;
        QTest::newRow("1 px left") << QPoint(49, 70) << Qt::LeftButton << true;
        QTest::newRow("1 px right") << QPoint(150, 70) << Qt::LeftButton << true;
        QTest::newRow("1 px above") << QPoint(100, 39) << Qt::LeftButton << true;
        QTest::newRow("1 px below") << QPoint(100, 100) << Qt::LeftButton << true;
        QTest::newRow("far corner") << QPoint(2, 2) << Qt::LeftButton << true;
        QTest::newRow("right press beside") << QPoint(2, 2) << Qt::RightButton << true;
    }
    void pressDismissesOnlyBesideTheCard()
    {
        QFETCH(QPoint, at);
        QFETCH(Qt::MouseButton, button);
        QFETCH(bool, dismissed);
        QWidget window;
        window.resize(300, 200);
        auto *overlay = new CardOverlay(QStringLiteral("SomeOverlay"), &window);
        overlay->setGeometry(window.rect());
        auto *card = new QFrame(overlay);
        card->setGeometry(50, 40, 100, 60);
        overlay->setCard(card);
        window.show();
        QSignalSpy spy(overlay, &CardOverlay::dismissRequested);

        // A press on the card reaches the overlay only as the card passes it
        // on; send it where the user would: to the widget under the pointer.
        QWidget *target = overlay->childAt(at) ? overlay->childAt(at) : overlay;
        QTest::mouseClick(target, button, {}, target->mapFrom(overlay, at));
        QCOMPARE(spy.count(), dismissed ? 1 : 0);
        QCOMPARE(overlay->objectName(), QStringLiteral("SomeOverlay"));
    }

    void buttonOnTheCardDoesNotDismiss()
    {
        QWidget window;
        window.resize(300, 200);
        CardOverlay overlay(QStringLiteral("O"), &window);
        overlay.setGeometry(window.rect());
        auto *card = new QFrame(&overlay);
        card->setGeometry(50, 40, 100, 60);
        auto *button = new QPushButton(QStringLiteral("Cancel"), card);
        button->setGeometry(10, 10, 80, 30);
        overlay.setCard(card);
        window.show();
        QSignalSpy spy(&overlay, &CardOverlay::dismissRequested);
        QSignalSpy clicked(button, &QPushButton::clicked);
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(clicked.count(), 1);
        QCOMPARE(spy.count(), 0);
    }

    void withoutCardNoPressDismisses()
    {
        CardOverlay overlay(QStringLiteral("O"), nullptr);
        overlay.resize(100, 100);
        QSignalSpy spy(&overlay, &CardOverlay::dismissRequested);
        QTest::mouseClick(&overlay, Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(spy.count(), 0);
    }

    void onlyEscapeDismisses_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("dismissed");
        QTest::newRow("Escape") << int(Qt::Key_Escape) << true;
        QTest::newRow("Enter") << int(Qt::Key_Return) << false;
        QTest::newRow("Space") << int(Qt::Key_Space) << false;
        QTest::newRow("letter") << int(Qt::Key_A) << false;
    }
    void onlyEscapeDismisses()
    {
        QFETCH(int, key);
        QFETCH(bool, dismissed);
        CardOverlay overlay(QStringLiteral("O"), nullptr);
        QCOMPARE(overlay.focusPolicy(), Qt::StrongFocus);
        QSignalSpy spy(&overlay, &CardOverlay::dismissRequested);
        QTest::keyClick(&overlay, Qt::Key(key));
        QCOMPARE(spy.count(), dismissed ? 1 : 0);
    }

    void cardGoneMeansNoDismiss()
    {
        CardOverlay overlay(QStringLiteral("O"), nullptr);
        overlay.resize(100, 100);
        auto *card = new QFrame(&overlay);
        card->setGeometry(10, 10, 20, 20);
        overlay.setCard(card);
        delete card;
        QCOMPARE(overlay.card(), nullptr);
        QSignalSpy spy(&overlay, &CardOverlay::dismissRequested);
        QTest::mouseClick(&overlay, Qt::LeftButton, {}, QPoint(80, 80));
        QCOMPARE(spy.count(), 0);
    }
};

QTEST_MAIN(TestCardOverlay)
#include "tst_cardoverlay.moc"
