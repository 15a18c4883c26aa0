// The cached blur and shadow look like Qt's own effects they stand in for,
// and do their work once: not again when painted again, nor when something
// inside a card changes; again when what they depend on changes.

#include "PaintedWidgetTest.h"
#include "ui/widgets/CachedEffects.h"

#include <QFrame>
#include <QGraphicsBlurEffect>
#include <QGraphicsDropShadowEffect>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QTest>

#include <memory>

namespace {

// A picture with detail in it: a diagonal gradient crossed by bright stripes.
QPixmap picture(const QSize &size, int seed)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, size.width(), size.height());
    gradient.setColorAt(0, QColor(20 + seed, 30, 60));
    gradient.setColorAt(1, QColor(230, 120, 10 + seed));
    painter.fillRect(image.rect(), gradient);
    painter.setPen(QPen(QColor(250, 250, 240), 6));
    for (int x = -size.height(); x < size.width(); x += 37 + seed)
        painter.drawLine(x, 0, x + size.height(), size.height());
    painter.end();
    return QPixmap::fromImage(image);
}

// The largest difference of any channel between two images of one size.
int largestDifference(const QImage &a, const QImage &b)
{
    const QImage x = a.convertToFormat(QImage::Format_ARGB32);
    const QImage y = b.convertToFormat(QImage::Format_ARGB32);
    int largest = 0;
    for (int row = 0; row < x.height(); ++row) {
        const auto *p = reinterpret_cast<const QRgb *>(x.constScanLine(row));
        const auto *q = reinterpret_cast<const QRgb *>(y.constScanLine(row));
        for (int col = 0; col < x.width(); ++col) {
            largest =
                std::max({largest, qAbs(qRed(p[col]) - qRed(q[col])), qAbs(qGreen(p[col]) - qGreen(q[col])),
                          qAbs(qBlue(p[col]) - qBlue(q[col])), qAbs(qAlpha(p[col]) - qAlpha(q[col]))});
        }
    }
    return largest;
}

// What a difference of this many levels in a channel looks like: nothing.
constexpr int kSameToTheEye = 4;

// A frosted picture inside a card, as the sign-in card has one.
struct FrostStage
{
    QWidget back;
    QLabel *frost = nullptr;

    explicit FrostStage(QGraphicsEffect *effect)
    {
        // Over an opaque page, as the sign-in page is.
        back.resize(520, 420);
        back.setAutoFillBackground(true);
        QPalette palette = back.palette();
        palette.setColor(QPalette::Window, QColor(11, 12, 15));
        back.setPalette(palette);
        auto *card = new QWidget(&back);
        card->setGeometry(60, 50, 400, 300);
        frost = new QLabel(card);
        frost->setGeometry(card->rect());
        frost->setPixmap(picture(card->size(), 0));
        frost->setGraphicsEffect(effect);
        // Shown, as the page is (the tests wait for it).
        back.show();
    }
};

// A see-through card with a line of text over a picture.
struct CardStage
{
    QWidget back;
    QWidget *card = nullptr;
    QLabel *text = nullptr;

    CardStage(QGraphicsEffect *effect, bool masked, const QSize &cardSize = QSize(300, 360))
    {
        back.resize(700, 700);
        auto *behind = new QLabel(&back);
        behind->setGeometry(back.rect());
        behind->setPixmap(picture(back.size(), 7));
        card = new QWidget(&back);
        card->setGeometry(QRect(QPoint(200, 170), cardSize));
        card->setAutoFillBackground(true);
        QPalette palette = card->palette();
        palette.setColor(QPalette::Window, QColor(17, 19, 23, 158));
        card->setPalette(palette);
        text = new QLabel(QStringLiteral("Please enter your email"), card);
        text->setGeometry(20, 40, 260, 30);
        if (masked) {
            QPainterPath rounded;
            rounded.addRoundedRect(QRectF(card->rect()), 20, 20);
            card->setMask(QRegion(rounded.toFillPolygon().toPolygon()));
        }
        card->setGraphicsEffect(effect);
        back.show();
    }
};

} // namespace

class TestCachedEffects : public QObject
{
    Q_OBJECT

private slots:
    void init() { PaintedWidgetTest::failOnPainterWarnings(); }

    void blurLooksLikeQtsAndIsWorkedOutOnce()
    {
        auto *qtBlur = new QGraphicsBlurEffect;
        qtBlur->setBlurRadius(100);
        qtBlur->setBlurHints(QGraphicsBlurEffect::QualityHint);
        FrostStage qts(qtBlur);
        auto *cached = new CachedBlurEffect(100, QGraphicsBlurEffect::QualityHint);
        FrostStage ours(cached);
        QVERIFY(QTest::qWaitForWindowExposed(&qts.back) && QTest::qWaitForWindowExposed(&ours.back));

        QVERIFY(largestDifference(PaintedWidgetTest::paint(ours.back), PaintedWidgetTest::paint(qts.back)) <=
                kSameToTheEye);
        // Painted again, on screen or off, nothing is blurred again.
        QCOMPARE(cached->blurCount(), 1);
        ours.back.repaint();
        PaintedWidgetTest::paint(ours.back);
        QCOMPARE(cached->blurCount(), 1);

        // A new picture is blurred anew, once, when its owner says so.
        for (FrostStage *stage : {&qts, &ours})
            stage->frost->setPixmap(picture(stage->frost->size(), 11));
        cached->contentChanged();
        ours.back.repaint();
        ours.back.repaint();
        QCOMPARE(cached->blurCount(), 2);
        QVERIFY(largestDifference(PaintedWidgetTest::paint(ours.back), PaintedWidgetTest::paint(qts.back)) <=
                kSameToTheEye);
    }

    void shadowLooksLikeQtsAndStaysWhileTheCardChanges_data()
    {
        QTest::addColumn<bool>("masked");
        QTest::newRow("rectangular card: the shadow falls around it") << false;
        QTest::newRow("rounded mask: the shadow shows through the card") << true;
    }
    void shadowLooksLikeQtsAndStaysWhileTheCardChanges()
    {
        QFETCH(bool, masked);
        auto *qtShadow = new QGraphicsDropShadowEffect;
        qtShadow->setBlurRadius(80);
        qtShadow->setOffset(0, 0);
        qtShadow->setColor(QColor(0, 0, 0, 120));
        CardStage qts(qtShadow, masked);
        auto *cached = new CachedShadowEffect(80, QPointF(0, 0), QColor(0, 0, 0, 120));
        CardStage ours(cached, masked);
        QVERIFY(QTest::qWaitForWindowExposed(&qts.back) && QTest::qWaitForWindowExposed(&ours.back));
        QCOMPARE(cached->boundingRectFor(QRectF(0, 0, 300, 360)),
                 qtShadow->boundingRectFor(QRectF(0, 0, 300, 360)));

        QVERIFY(largestDifference(PaintedWidgetTest::paint(ours.back), PaintedWidgetTest::paint(qts.back)) <=
                kSameToTheEye);
        QCOMPARE(cached->shadowCount(), 1);

        // What the card shows changes; its shadow is kept, and still fits.
        for (CardStage *stage : {&qts, &ours})
            stage->text->setText(QStringLiteral("Enter password"));
        QVERIFY(largestDifference(PaintedWidgetTest::paint(ours.back), PaintedWidgetTest::paint(qts.back)) <=
                kSameToTheEye);
        QCOMPARE(cached->shadowCount(), 1);

        // A card of another size casts another shadow (Qt's effect is set up
        // afresh at that size: given a resize while never shown, it keeps
        // part of its old picture).
        ours.card->resize(260, 300);
        if (masked) {
            QPainterPath rounded;
            rounded.addRoundedRect(QRectF(ours.card->rect()), 20, 20);
            ours.card->setMask(QRegion(rounded.toFillPolygon().toPolygon()));
        }
        auto *qtResized = new QGraphicsDropShadowEffect;
        qtResized->setBlurRadius(80);
        qtResized->setOffset(0, 0);
        qtResized->setColor(QColor(0, 0, 0, 120));
        CardStage resized(qtResized, masked, QSize(260, 300));
        resized.text->setText(QStringLiteral("Enter password"));
        QVERIFY(QTest::qWaitForWindowExposed(&resized.back));
        QVERIFY(largestDifference(PaintedWidgetTest::paint(ours.back),
                                  PaintedWidgetTest::paint(resized.back)) <= kSameToTheEye);
        QCOMPARE(cached->shadowCount(), 2);
    }
};

QTEST_MAIN(TestCachedEffects)
#include "tst_cachedeffects.moc"
