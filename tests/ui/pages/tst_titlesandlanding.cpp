// The section titles and the Connections landing on a plain root frame: where
// things sit, the Dashboard title's language placement against the
// application style sheet, the banner's backdrop, corners and links.

#include "ui/pages/common/TitlesAndLanding.h"
#include "ui/widgets/DecorativeWidgets.h"
#include "ui/widgets/PaintedWidgetTest.h"

#include <QApplication>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

const QString kPersianFamily = QStringLiteral("Vazirmatn");

bool isWithin(QWidget *w, QWidget *ancestor)
{
    for (; w; w = w->parentWidget()) {
        if (w == ancestor)
            return true;
    }
    return false;
}

// A root frame of the design size holding the area.
struct Fixture
{
    std::unique_ptr<QWidget> frame;
    TitlesAndLanding *area = nullptr;

    explicit Fixture(int width = 1440)
    {
        frame = std::make_unique<QWidget>();
        frame->setObjectName(QStringLiteral("WindowFrame"));
        frame->resize(width, 810);
        area = new TitlesAndLanding(frame.get(), kPersianFamily, frame.get());
    }
};

} // namespace

class TestTitlesAndLanding : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QFile sheet(QStringLiteral(":/style.qss"));
        QVERIFY(sheet.open(QIODevice::ReadOnly));
        qApp->setStyleSheet(QString::fromUtf8(sheet.readAll()));
    }

    void init() { PaintedWidgetTest::failOnPainterWarnings(); }

    void builtPlaces()
    {
        Fixture f;
        TitlesAndLanding *a = f.area;
        QCOMPARE(a->dashboardTitle()->pos(), QPoint(120, 95));
        for (QLabel *title : {a->gamesTitle(), a->settingsTitle(), a->profileTitle(), a->landingTitle()}) {
            QCOMPARE(title->pos(), QPoint(120, 94));
            QVERIFY(title->isHidden());
            QCOMPARE(title->font().pixelSize(), 32);
        }
        QVERIFY(!a->dashboardTitle()->isHidden());
        QCOMPARE(a->settingsTitle()->text(), QStringLiteral("General Sittings"));

        const QLabel *landing = a->landingTitle();
        QCOMPARE(a->banner()->geometry(), QRect(120, landing->y() + landing->height() + 20, 1300, 83));
        QCOMPARE(a->body()->geometry(), QRect(120, a->banner()->y() + 83 + 16, 1300, 500));
        QVERIFY(a->banner()->isHidden());
        QVERIFY(a->body()->isHidden());
        QCOMPARE(a->addButton()->geometry(), QRect(1188, 23, 92, 36));
        QCOMPARE(a->addButton()->focusPolicy(), Qt::NoFocus);
        QVERIFY(!a->addButton()->icon().isNull());
        QCOMPARE(a->emptyCircle()->geometry(), QRect(612, 130, 75, 75));
        QCOMPARE(a->bannerBorder()->segmentLength(), 800);
        QCOMPARE(a->bannerBorder()->speed(), 10);
        auto *rocket = a->banner()->findChild<QLabel *>(QStringLiteral("ConnectionsLandingRocket"));
        QVERIFY(rocket && !rocket->pixmap().isNull());
        QCOMPARE(rocket->geometry(), QRect(20, 16, 50, 51));
        auto *heading = a->banner()->findChild<QLabel *>(QStringLiteral("ConnectionsLandingBannerTitle"));
        QCOMPARE(heading->pos(), QPoint(90, 19));
        QCOMPARE(heading->height(), 24);
    }

    void dashboardTitlePlacement_data()
    {
        QTest::addColumn<bool>("persian");
        QTest::newRow("English") << false;
        QTest::newRow("Persian") << true;
    }
    void dashboardTitlePlacement()
    {
        QFETCH(bool, persian);
        Fixture f;
        f.frame->show();
        QLabel *title = f.area->dashboardTitle();
        // Persian first and back again: English must shed the Persian look.
        f.area->placeDashboardTitle(true);
        f.area->placeDashboardTitle(persian);
        title->ensurePolished();
        if (persian) {
            QCOMPARE(title->text(), QStringLiteral("داشبورد"));
            QCOMPARE(title->alignment(), Qt::AlignRight | Qt::AlignAbsolute | Qt::AlignVCenter);
            QCOMPARE(title->layoutDirection(), Qt::RightToLeft);
            QCOMPARE(title->height(), 40);
            QCOMPARE(title->geometry().right() + 1, 1440 - 120);
            QCOMPARE(title->font().family(), kPersianFamily);
        } else {
            QCOMPARE(title->text(), QStringLiteral("Dashboard"));
            QCOMPARE(title->alignment(), Qt::AlignLeft | Qt::AlignAbsolute | Qt::AlignVCenter);
            QCOMPARE(title->layoutDirection(), Qt::LeftToRight);
            QCOMPARE(title->styleSheet(), QString());
            QCOMPARE(title->maximumHeight(), 16777215);
            QCOMPARE(title->minimumHeight(), 0);
            QCOMPARE(title->x(), 120);
            // The application style sheet's look.
            QCOMPARE(title->font().family(), QStringLiteral("Inter"));
            QCOMPARE(title->font().pixelSize(), 32);
            QCOMPARE(title->palette().color(QPalette::WindowText), QColor(QStringLiteral("#FFFFFF")));
        }
        QCOMPARE(title->y(), 95);
    }

    void persianTitleWiderThanTheFrame()
    {
        Fixture f(200);
        f.area->placeDashboardTitle(true);
        QVERIFY(f.area->dashboardTitle()->width() > 200 - 120);
        QCOMPARE(f.area->dashboardTitle()->x(), 0);
    }

    void addAndTutorialAskForGames()
    {
        Fixture f;
        f.frame->show();
        f.area->banner()->show();
        f.area->body()->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.frame.get()));
        QSignalSpy games(f.area, &TitlesAndLanding::gamesRequested);
        QTest::mouseClick(f.area->addButton(), Qt::LeftButton);
        QCOMPARE(games.count(), 1);

        // A click on the link, found at the end of the centred text.
        QLabel *guide = f.area->guide();
        const QFontMetrics metrics(guide->font());
        const int whole = metrics.horizontalAdvance(QStringLiteral("Need guidance? Tutorial"));
        const int link = metrics.horizontalAdvance(QStringLiteral("Tutorial"));
        const QPoint onLink((guide->width() + whole) / 2 - link / 2, guide->height() / 2);
        QTest::mouseClick(guide, Qt::LeftButton, Qt::NoModifier, onLink);
        QCOMPARE(games.count(), 2);
        // The plain text beside it is no link.
        QTest::mouseClick(guide, Qt::LeftButton, Qt::NoModifier,
                          QPoint((guide->width() - whole) / 2 + 4, onLink.y()));
        QCOMPARE(games.count(), 2);
    }

    void bannerCornersLetPressesThrough()
    {
        Fixture f;
        f.frame->show();
        QWidget *banner = f.area->banner();
        banner->show();
        const QPoint origin = banner->pos();
        for (const QPoint &corner : {QPoint(0, 0), QPoint(1299, 0), QPoint(0, 82), QPoint(1299, 82)})
            QVERIFY2(!isWithin(f.frame->childAt(origin + corner), banner),
                     qPrintable(QString::number(corner.x())));
        for (const QPoint &inside : {QPoint(7, 7), QPoint(650, 0), QPoint(0, 41)})
            QVERIFY(isWithin(f.frame->childAt(origin + inside), banner));
    }

    void backdropIsWhatLiesBeneath()
    {
        Fixture f;
        QWidget *banner = f.area->banner();
        // Something red under the banner's left half, blue under its right.
        auto *red = new QWidget(f.frame.get());
        red->setStyleSheet(QStringLiteral("background: #FF0000;"));
        red->setGeometry(banner->x(), banner->y(), 650, 83);
        auto *blue = new QWidget(f.frame.get());
        blue->setStyleSheet(QStringLiteral("background: #0000FF;"));
        blue->setGeometry(banner->x() + 650, banner->y(), 650, 83);
        f.frame->show();
        banner->hide();
        f.area->snapshotBannerBackground();
        const QImage backdrop = f.area->bannerBackdrop()->pixmap().toImage();
        QCOMPARE(backdrop.size(), QSize(1300, 83));
        QX_VERIFY_COLOUR(backdrop, 100, 40, QColor(Qt::red), 8);
        QX_VERIFY_COLOUR(backdrop, 1200, 40, QColor(Qt::blue), 8);

        // The landing with its effects paints without a painter complaint.
        banner->show();
        banner->raise();
        f.area->body()->show();
        PaintedWidgetTest::paint(*f.frame);
    }
};

QTEST_MAIN(TestTitlesAndLanding)
#include "tst_titlesandlanding.moc"
