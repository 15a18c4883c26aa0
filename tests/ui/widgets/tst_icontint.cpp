// A tinted icon is drawn when first used, and then answers every request
// (sizes, modes, states, device pixel ratios) as the icon of its drawn
// pixmap would have.

#include "ui/widgets/IconTint.h"

#include <QApplication>
#include <QPainter>
#include <QTest>

class tst_IconTint : public QObject
{
    Q_OBJECT

private slots:
    void answersAsTheDrawnPixmapsIcon_data();
    void answersAsTheDrawnPixmapsIcon();
    void missingFileGivesTheEmptyIcon();
};

void tst_IconTint::answersAsTheDrawnPixmapsIcon_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("requested");
    QTest::addColumn<qreal>("ratio");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("state");
    const QString svg = QStringLiteral(":/icons/house-fill.png"); // an SVG under a PNG name
    const QString plain = QStringLiteral(":/icons/user.svg");
    QTest::newRow("normal at its size")
        << svg << QSize(24, 24) << 1.0 << int(QIcon::Normal) << int(QIcon::Off);
    QTest::newRow("checked button") << svg << QSize(24, 24) << 1.0 << int(QIcon::Normal) << int(QIcon::On);
    QTest::newRow("disabled") << plain << QSize(24, 24) << 1.0 << int(QIcon::Disabled) << int(QIcon::Off);
    QTest::newRow("hovered") << plain << QSize(24, 24) << 1.0 << int(QIcon::Active) << int(QIcon::On);
    QTest::newRow("smaller") << svg << QSize(16, 16) << 1.0 << int(QIcon::Normal) << int(QIcon::Off);
    QTest::newRow("larger") << svg << QSize(40, 40) << 1.0 << int(QIcon::Selected) << int(QIcon::Off);
    QTest::newRow("high density") << svg << QSize(24, 24) << 2.0 << int(QIcon::Normal) << int(QIcon::Off);
    QTest::newRow("fractional density")
        << plain << QSize(24, 24) << 1.25 << int(QIcon::Disabled) << int(QIcon::On);
}

void tst_IconTint::answersAsTheDrawnPixmapsIcon()
{
    QFETCH(QString, path);
    QFETCH(QSize, requested);
    QFETCH(qreal, ratio);
    QFETCH(int, mode);
    QFETCH(int, state);
    const QSize size(24, 24);
    const QColor colour(QStringLiteral("#111317"));
    const QIcon tinted = tintedIcon(path, size, colour);
    QVERIFY(!tinted.isNull());
    // What an icon made at once from the drawn pixmap answers.
    const QPixmap drawn = tintedIcon(path, size, colour).pixmap(size, 1.0);
    QCOMPARE(drawn.size(), size);
    const QIcon eager(drawn);

    const auto m = QIcon::Mode(mode);
    const auto s = QIcon::State(state);
    QCOMPARE(tinted.availableSizes(m, s), eager.availableSizes(m, s));
    QCOMPARE(tinted.actualSize(requested, m, s), eager.actualSize(requested, m, s));
    const QPixmap got = tinted.pixmap(requested, ratio, m, s);
    const QPixmap want = eager.pixmap(requested, ratio, m, s);
    QCOMPARE(got.devicePixelRatio(), want.devicePixelRatio());
    QCOMPARE(got.toImage(), want.toImage());

    // Painted into a rectangle larger than the icon, it lands in the same place.
    const auto painted = [&](const QIcon &icon) {
        QImage canvas(QSize(48, 40) * ratio, QImage::Format_ARGB32_Premultiplied);
        canvas.setDevicePixelRatio(ratio);
        canvas.fill(Qt::transparent);
        QPainter painter(&canvas);
        icon.paint(&painter, QRect(3, 2, 40, 34), Qt::AlignCenter, m, s);
        painter.end();
        return canvas;
    };
    QCOMPARE(painted(tinted), painted(eager));
}

void tst_IconTint::missingFileGivesTheEmptyIcon()
{
    const QIcon icon = tintedIcon(QStringLiteral(":/no/such.png"), QSize(24, 24), Qt::white);
    QVERIFY(icon.isNull());
    QVERIFY(icon.availableSizes().isEmpty());
    QVERIFY(icon.pixmap(QSize(24, 24)).isNull());
}

QTEST_MAIN(tst_IconTint)
#include "tst_icontint.moc"
