// The hardware card: what each reading shows (and what a missing or wild one
// leaves alone), its placement left to right and mirrored, its texts in both
// languages and its refresh timer.

#include "ClickReceivers.h"
#include "support/FakeSystemInfo.h"
#include "support/PainterWarnings.h"
#include "ui/pages/home/HardwareCard.h"
#include "ui/widgets/Gauges.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

constexpr quint64 kGiB = quint64(1) << 30;

struct Rig
{
    // Readings first: the card reads them while it is being built.
    explicit Rig(const std::function<void(FakeSystemInfo &)> &readings = {})
    {
        if (readings)
            readings(fake);
        card.resize(641, 382);
        area = std::make_unique<HardwareCard>(&card, QStringLiteral("Vazirmatn"), &fake, 500, nullptr);
    }
    FakeSystemInfo fake;
    QWidget card;
    std::unique_ptr<HardwareCard> area;
};

SystemInfo::MemoryInfo memory(std::uint64_t total, std::uint64_t used, std::uint64_t available,
                              int usedPercent)
{
    return SystemInfo::MemoryInfo{total, available, used, usedPercent};
}

} // namespace

class TestHardwareCard : public QObject
{
    Q_OBJECT
private slots:
    void init() { TestSupport::failOnPainterWarnings(); }

    void readingsShown_data();
    void readingsShown();
    void persianAmountsKeepLatinDigits();
    void placement_data();
    void placement();
    void persianThenEnglishRestoresPlaces();
    void hookTextsFollowTheLanguage();
    void timerRefreshesTheCard();
    void missingCardOrBadgeIsHarmless();
    void allButtonHasNoHandler();
    void linesAreDrawnOnTheirReadingSide();
};

void TestHardwareCard::readingsShown_data()
{
    QTest::addColumn<int>("cpu");
    QTest::addColumn<int>("mhz");
    QTest::addColumn<int>("gpu");
    QTest::addColumn<int>("celsius");
    QTest::addColumn<quint64>("total");
    QTest::addColumn<quint64>("used");
    QTest::addColumn<int>("usedPercent");
    // Expected: gauges, their figures, the two upper lines, badges, amounts.
    QTest::addColumn<int>("cpuGauge");
    QTest::addColumn<QString>("cpuFigure");
    QTest::addColumn<QString>("clock");
    QTest::addColumn<int>("gpuGauge");
    QTest::addColumn<QString>("gpuFigure");
    QTest::addColumn<QString>("temperature");
    QTest::addColumn<QStringList>("badges");
    QTest::addColumn<QStringList>("amounts");

    const QStringList design{"48%", "52%", "32"};
    const QStringList noAmounts{"--", "--"};
    QTest::newRow("nothing answers") << -1 << 0 << -1 << -1 << quint64(0) << quint64(0) << 0 << 9
                                     << QString("") << QString("") << 24 << QString("") << QString("--")
                                     << design << noAmounts;
    QTest::newRow("cpu 37, clock 2400")
        << 37 << 2400 << -1 << -1 << quint64(0) << quint64(0) << 0 << 37 << QString("37%")
        << QString("2400 MHz") << 24 << QString("") << QString("--") << design << noAmounts;
    QTest::newRow("loads beyond 100 are ignored")
        << 250 << -5 << 250 << 0 << quint64(0) << quint64(0) << 0 << 9 << QString("") << QString("") << 24
        << QString("") << QString("--") << design << noAmounts;
    QTest::newRow("idle gpu shows 1, 61 C")
        << 0 << 0 << 0 << 61 << quint64(0) << quint64(0) << 0 << 0 << QString("0%") << QString("") << 1
        << QString("1%") << QString("61 C") << design << noAmounts;
    QTest::newRow("8 GiB fully used") << -1 << 0 << 100 << -1 << 8 * kGiB << 8 * kGiB << 100 << 9
                                      << QString("") << QString("") << 100 << QString("100%") << QString("--")
                                      << QStringList{"100%", "0%", "8.0"} << QStringList{"8.0 gb", "0.0 gb"};
    QTest::newRow("16 GiB") << -1 << 0 << -1 << -1 << 16 * kGiB << 5 * kGiB << 31 << 9 << QString("")
                            << QString("") << 24 << QString("") << QString("--")
                            << QStringList{"31%", "69%", "16"} << QStringList{"5.0 gb", "11 gb"};
    QTest::newRow("share out of range is clamped")
        << -1 << 0 << -1 << -1 << 4 * kGiB << 1 * kGiB << 250 << 9 << QString("") << QString("") << 24
        << QString("") << QString("--") << QStringList{"100%", "0%", "4.0"}
        << QStringList{"1.0 gb", "3.0 gb"};
    QTest::newRow("absurd total") << -1 << 0 << -1 << -1 << (quint64(1) << 63) << quint64(0) << -1 << 9
                                  << QString("") << QString("") << 24 << QString("") << QString("--")
                                  << QStringList{"0%", "100%", "8589934592"}
                                  << QStringList{"0.0 gb", "8589934592 gb"};
}

void TestHardwareCard::readingsShown()
{
    QFETCH(int, cpu);
    QFETCH(int, mhz);
    QFETCH(int, gpu);
    QFETCH(int, celsius);
    QFETCH(quint64, total);
    QFETCH(quint64, used);
    QFETCH(int, usedPercent);
    Rig rig([&](FakeSystemInfo &f) {
        f.cpuPercent = cpu;
        f.cpuMhz = mhz;
        f.gpuPercent = gpu;
        f.gpuCelsius = celsius;
        f.memory = memory(total, used, total - used, usedPercent);
    });
    HardwareCard &card = *rig.area;
    QTEST(card.cpuGauge()->value(), "cpuGauge");
    QTEST(card.cpuFigure()->text(), "cpuFigure");
    QTEST(card.cpuClockLine()->text(), "clock");
    QTEST(card.gpuGauge()->value(), "gpuGauge");
    QTEST(card.gpuFigure()->text(), "gpuFigure");
    QTEST(card.gpuTemperatureLine()->text(), "temperature");
    QTEST((QStringList{card.badgeText(0)->text(), card.badgeText(1)->text(), card.badgeText(2)->text()}),
          "badges");
    QTEST((QStringList{card.amount(0)->text(), card.amount(1)->text()}), "amounts");

    // A later tick without answers keeps every figure it had.
    const QString clock = card.cpuClockLine()->text();
    const QString badge = card.badgeText(2)->text();
    FakeSystemInfo &f = rig.fake;
    f.cpuPercent = -1, f.cpuMhz = 0, f.gpuPercent = -1, f.memory = {};
    card.refreshHardwareCard();
    QTEST(card.cpuGauge()->value(), "cpuGauge");
    QCOMPARE(card.cpuClockLine()->text(), clock);
    QCOMPARE(card.badgeText(2)->text(), badge);
}

void TestHardwareCard::persianAmountsKeepLatinDigits()
{
    Rig rig([](FakeSystemInfo &f) {
        f.cpuMhz = 2400;
        f.memory = memory(16 * kGiB, 5 * kGiB, 12 * kGiB, 31);
    });
    rig.area->place(true);
    rig.area->refreshHardwareCard();
    QCOMPARE(rig.area->amount(0)->text(), QStringLiteral("5.0 گیگابایت"));
    QCOMPARE(rig.area->amount(1)->text(), QStringLiteral("12 گیگابایت"));
    QCOMPARE(rig.area->badgeText(2)->text(), QStringLiteral("16"));
    QCOMPARE(rig.area->cpuClockLine()->text(), QStringLiteral("2400 MHz"));
    rig.area->place(false);
    rig.area->refreshHardwareCard();
    QCOMPARE(rig.area->amount(1)->text(), QStringLiteral("12 gb"));

    // The hook alone puts the amounts in its language: the window runs it
    // after the card's first reading, and a switch comes between readings.
    const int reads = rig.fake.calls;
    rig.area->place(true);
    QCOMPARE(rig.area->amount(0)->text(), QStringLiteral("5.0 گیگابایت"));
    QCOMPARE(rig.area->amount(1)->text(), QStringLiteral("12 گیگابایت"));
    rig.area->place(false);
    QCOMPARE(rig.area->amount(0)->text(), QStringLiteral("5.0 gb"));
    QCOMPARE(rig.fake.calls, reads);
}

void TestHardwareCard::placement_data()
{
    QTest::addColumn<bool>("persian");
    QTest::addColumn<QList<int>>("xs"); // cpu gauge, cpu lines, gpu gauge, gpu lines, badges, "All"
    QTest::newRow("left to right") << false << QList<int>{75, 211, 375, 511, 60, 267, 474, 559};
    QTest::newRow("right to left") << true << QList<int>{211, 75, 501, 365, 134, 341, 548, 20};
}

void TestHardwareCard::placement()
{
    QFETCH(bool, persian);
    QFETCH(QList<int>, xs);
    Rig rig([](FakeSystemInfo &f) { f.memory = memory(16 * kGiB, 5 * kGiB, 11 * kGiB, 31); });
    HardwareCard &card = *rig.area;
    card.place(persian);
    card.refreshHardwareCard();
    const QList<int> got{
        card.cpuGauge()->x(), card.cpuClockLine()->x(), card.gpuGauge()->x(), card.gpuTemperatureLine()->x(),
        card.badge(0)->x(),   card.badge(1)->x(),       card.badge(2)->x(),   card.allButton()->x()};
    QCOMPARE(got, xs);
    QCOMPARE(card.cpuNameLine()->x(), card.cpuClockLine()->x());
    QCOMPARE(card.cpuGauge()->y(), 87);
    QCOMPARE(card.gpuGauge()->y(), 87);
    QCOMPARE(card.cpuClockLine()->geometry(), QRect(xs[1], 127, 120, 20));
    QCOMPARE(card.gpuNameLine()->geometry(), QRect(xs[3], 147, 120, 20));
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(card.badge(i)->y(), 280);
        const QRect caption = card.caption(i)->geometry();
        const QRect badge = card.badge(i)->geometry();
        // The caption sits beside its badge on the reading side, never over it.
        if (persian)
            QVERIFY2(caption.right() < badge.left(), qPrintable(QString::number(i)));
        else
            QCOMPARE(caption.left(), badge.right() + 1 + 16);
        if (i < 2) {
            const QRect amount = card.amount(i)->geometry();
            QCOMPARE(amount.top(), caption.top() + 18);
            QVERIFY(persian ? amount.right() < badge.left() : amount.left() == caption.left());
        }
    }
    const Qt::Alignment side = (persian ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignAbsolute;
    QCOMPARE(card.gpuNameLine()->alignment() & Qt::AlignHorizontal_Mask, side);
    QCOMPARE(card.caption(1)->alignment() & Qt::AlignHorizontal_Mask, side);
    if (persian) {
        const QRect title = card.title()->geometry();
        QCOMPARE(title.right() + 1, 641 - 20);
        QVERIFY(title.left() >= card.allButton()->geometry().right() + 10);
    }
}

void TestHardwareCard::persianThenEnglishRestoresPlaces()
{
    Rig rig([](FakeSystemInfo &f) { f.memory = memory(16 * kGiB, 5 * kGiB, 11 * kGiB, 31); });
    HardwareCard &card = *rig.area;
    const auto snapshot = [&card] {
        QList<QRect> out{card.title()->geometry(),        card.allButton()->geometry(),
                         card.cpuGauge()->geometry(),     card.gpuGauge()->geometry(),
                         card.cpuClockLine()->geometry(), card.gpuNameLine()->geometry()};
        for (int i = 0; i < 3; ++i)
            out << card.badge(i)->geometry() << QRect(card.caption(i)->x(), 0, 1, 1);
        out << card.amount(0)->geometry() << card.amount(1)->geometry();
        return out;
    };
    const auto english = snapshot();
    card.place(true);
    QVERIFY(snapshot() != english);
    card.place(false);
    card.refreshHardwareCard();
    QCOMPARE(snapshot(), english);
}

void TestHardwareCard::hookTextsFollowTheLanguage()
{
    Rig rig;
    HardwareCard &card = *rig.area;
    const auto texts = [&card] {
        return QStringList{card.title()->text(),       card.allButton()->text(), card.cpuNameLine()->text(),
                           card.gpuNameLine()->text(), card.caption(0)->text(),  card.caption(1)->text(),
                           card.caption(2)->text()};
    };
    QCOMPARE(texts(), (QStringList{"Hardwares", "All", "CPU", "Graphic", "In use", "Available", "Total"}));
    card.place(true);
    QCOMPARE(texts(), (QStringList{QStringLiteral("مشخصات سخت افزار"), QStringLiteral("همه"),
                                   QStringLiteral("پردازنده"), QStringLiteral("گرافیک"),
                                   QStringLiteral("در حال استفاده"), QStringLiteral("در دسترس"),
                                   QStringLiteral("حافظه کل")}));
    QCOMPARE(card.caption(0)->font().family(), QStringLiteral("Vazirmatn"));
    QCOMPARE(card.title()->layoutDirection(), Qt::RightToLeft);
    card.place(false);
    QCOMPARE(texts()[0], QStringLiteral("Hardwares"));
    QCOMPARE(card.caption(0)->font().family(), QStringLiteral("Inter"));

    // An empty Persian family falls back to Inter rather than to no family.
    QWidget bare;
    bare.resize(641, 382);
    HardwareCard plain(&bare, QString(), &rig.fake, 500, nullptr);
    plain.place(true);
    QCOMPARE(plain.caption(0)->font().family(), QStringLiteral("Inter"));
}

void TestHardwareCard::timerRefreshesTheCard()
{
    FakeSystemInfo fake;
    QWidget card;
    card.resize(641, 382);
    HardwareCard area(&card, QStringLiteral("Vazirmatn"), &fake, 5, nullptr);
    QCOMPARE(area.timer()->parent(), &card);
    QVERIFY(area.timer()->isActive());
    QCOMPARE(area.timer()->interval(), 5);
    fake.cpuPercent = 42;
    fake.gpuCelsius = 70;
    QTRY_COMPARE(area.cpuFigure()->text(), QStringLiteral("42%"));
    QCOMPARE(area.gpuTemperatureLine()->text(), QStringLiteral("70 C"));
}

void TestHardwareCard::missingCardOrBadgeIsHarmless()
{
    FakeSystemInfo fake;
    fake.cpuPercent = 10;
    HardwareCard none(nullptr, QString(), &fake, 500, nullptr);
    none.refreshHardwareCard();
    none.place(true);
    QVERIFY(!none.timer());
    HardwareCard::setMemoryCircleText(nullptr, QStringLiteral("1"));
    QWidget loose;
    HardwareCard::setMemoryCircleText(&loose, QStringLiteral("1"));
}

void TestHardwareCard::allButtonHasNoHandler()
{
    Rig rig;
    QCOMPARE(ClickReceivers::of(rig.area->allButton()), 0);
    QCOMPARE(rig.area->allButton()->cursor().shape(), Qt::PointingHandCursor);
}

// The first and last columns of a line where its text is drawn.
static QPair<int, int> inkColumns(QWidget *card, QLabel *line)
{
    const QImage image = card->grab(line->geometry()).toImage();
    const QColor background = image.pixelColor(0, 0);
    int first = -1;
    int last = -1;
    for (int x = 0; x < image.width(); ++x) {
        for (int y = 0; y < image.height(); ++y) {
            if (image.pixelColor(x, y) != background) {
                first = first < 0 ? x : first;
                last = x;
                break;
            }
        }
    }
    return {first, last};
}

void TestHardwareCard::linesAreDrawnOnTheirReadingSide()
{
    Rig rig([](FakeSystemInfo &f) { f.cpuMhz = 2400; });
    HardwareCard &card = *rig.area;
    card.place(true);
    // In Persian both lines beside a gauge end at the same right edge: a
    // right-to-left label aligned to the "right" without AlignAbsolute would
    // draw its text at the left.
    for (QLabel *line : {card.cpuClockLine(), card.cpuNameLine(), card.gpuNameLine()}) {
        const QPair<int, int> ink = inkColumns(card.card(), line);
        QVERIFY2(ink.first > 10 && ink.second >= line->width() - 4,
                 qPrintable(line->text() + QStringLiteral(": %1..%2").arg(ink.first).arg(ink.second)));
    }
    // Back in English the name lines keep their right-to-left direction but
    // their text starts at the left again.
    card.place(false);
    QCOMPARE(card.cpuNameLine()->layoutDirection(), Qt::RightToLeft);
    for (QLabel *line : {card.cpuClockLine(), card.cpuNameLine()}) {
        const QPair<int, int> ink = inkColumns(card.card(), line);
        QVERIFY2(ink.first >= 0 && ink.first <= 3 && ink.second < line->width() / 2 + 20,
                 qPrintable(line->text() + QStringLiteral(": %1..%2").arg(ink.first).arg(ink.second)));
    }
}

QTEST_MAIN(TestHardwareCard)
#include "tst_hardwarecard.moc"
