// The hero card: the logo trim on drawn images, the Persian mirror and its
// exact undo, and the link to the web site.

#include "support/PainterWarnings.h"
#include "ui/pages/home/HeroCard.h"

#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTest>

namespace {

// A transparent image with opaque bands [from, to) of columns.
QImage banded(int width, const QList<QPair<int, int>> &bands, int alpha = 255)
{
    QImage image(width, 10, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    for (const auto &band : bands) {
        for (int x = band.first; x < band.second; ++x)
            image.setPixel(x, 5, qRgba(250, 130, 7, alpha));
    }
    return image;
}

} // namespace

class TestHeroCard : public QObject
{
    Q_OBJECT
private slots:
    void init() { TestSupport::failOnPainterWarnings(); }

    void trim_data()
    {
        QTest::addColumn<QImage>("image");
        QTest::addColumn<int>("width");
        QTest::newRow("gap of 20 cuts the word") << banded(100, {{0, 10}, {30, 60}}) << 10;
        QTest::newRow("gap of 19 keeps it") << banded(100, {{0, 10}, {29, 60}}) << 60;
        QTest::newRow("no gap") << banded(50, {{0, 50}}) << 50;
        QTest::newRow("leading clear columns") << banded(100, {{7, 17}, {50, 60}}) << 10;
        QTest::newRow("trailing clear columns short of a gap") << banded(30, {{5, 15}}) << 25;
        QTest::newRow("alpha 5 is clear") << banded(40, {{3, 8}}, 5) << 40;
        QTest::newRow("fully clear") << banded(40, {}) << 40;
    }
    void trim()
    {
        QFETCH(QImage, image);
        QFETCH(int, width);
        const QImage trimmed = HeroCard::trimLogo(image);
        QCOMPARE(trimmed.width(), width);
        QCOMPARE(trimmed.height(), image.height());
    }

    void columnOutsideTheImage()
    {
        const QImage image = banded(10, {{0, 10}});
        QVERIFY(HeroCard::columnHasOpaquePixel(image, 0));
        QVERIFY(HeroCard::columnHasOpaquePixel(image, 9));
        QVERIFY(!HeroCard::columnHasOpaquePixel(image, -1));
        QVERIFY(!HeroCard::columnHasOpaquePixel(image, 10));
        QVERIFY(!HeroCard::columnHasOpaquePixel(QImage(), 0));
    }

    void mirrorsForPersianAndBack()
    {
        QWidget root;
        root.resize(1440, 900);
        HeroCard hero(&root, 154, QStringLiteral("Vazirmatn"), {}, QUrl(), nullptr);
        hero.addPictureAndLink();
        hero.place(false);
        const int w = hero.card()->width();
        QCOMPARE(hero.card()->pos(), QPoint(780, 154));
        QCOMPARE(hero.logo()->pos(), QPoint(22, 22));
        QCOMPARE(hero.headline()->pos(), QPoint(40, 104));
        QCOMPARE(hero.picture()->pos(), QPoint(w - 304, 0));
        QCOMPARE(hero.linkWrap()->x() + hero.linkWrap()->width(), w - 22);
        QVERIFY(hero.logo()->width() > 0);
        QList<QRect> english;
        const QList<QWidget *> placed =
            hero.card()->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly) << hero.linkHit();
        for (QWidget *child : placed)
            english << child->geometry();

        hero.place(true);
        QCOMPARE(hero.headline()->pos(), QPoint(w - 323, 104));
        QCOMPARE(hero.picture()->pos(), QPoint(0, 0));
        QCOMPARE(hero.linkWrap()->pos(), QPoint(22, 22));
        QCOMPARE(hero.logo()->pos(), QPoint(w - hero.logo()->width() - 22, 22));
        QCOMPARE(hero.headline()->layoutDirection(), Qt::RightToLeft);
        QCOMPARE(hero.headline()->text(), QStringLiteral("عملکرد اتصال خود را بهتر کنید."));

        hero.place(false);
        QList<QRect> back;
        for (QWidget *child : placed)
            back << child->geometry();
        QCOMPARE(back, english);
        QCOMPARE(hero.headline()->text(), QStringLiteral("Connection is also\nPerformance"));
    }

    void linkOpensTheSiteAboveThePicture_data()
    {
        QTest::addColumn<bool>("persian");
        QTest::newRow("English") << false;
        QTest::newRow("Persian") << true;
    }
    void linkOpensTheSiteAboveThePicture()
    {
        QFETCH(bool, persian);
        QWidget root;
        root.resize(1440, 900);
        QList<QUrl> opened;
        const QUrl site(QStringLiteral("http://127.0.0.1:9"));
        HeroCard hero(
            &root, 154, QStringLiteral("Vazirmatn"),
            [&opened](const QUrl &url) {
                opened << url;
                return true;
            },
            site, nullptr);
        hero.addPictureAndLink();
        hero.place(persian);
        // The link lies over the picture: a press there must reach the link.
        const QPoint centre = hero.linkWrap()->geometry().center();
        QVERIFY(hero.picture()->geometry().contains(centre));
        QCOMPARE(hero.card()->childAt(centre), static_cast<QWidget *>(hero.linkHit()));
        QTest::mouseClick(hero.linkHit(), Qt::LeftButton);
        QCOMPARE(opened, QList<QUrl>{site});
    }
};

QTEST_MAIN(TestHeroCard)
#include "tst_herocard.moc"
