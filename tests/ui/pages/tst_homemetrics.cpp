// The metrics strip and the help cards below the home dashboard: what they
// show in both languages, where the eight dashboard containers go for each
// language (and back), the links of the "Go to" buttons, and what is drawn.

#include "ClickReceivers.h"
#include "support/PainterWarnings.h"
#include "ui/pages/home/HomeMetrics.h"

#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <memory>

namespace {

constexpr int kStripY = 958;

// A root frame with stand-ins for the dashboard's four upper containers.
struct Rig
{
    explicit Rig(const QString &persianFamily = QStringLiteral("Vazirmatn"),
                 const QUrl &support = QUrl(QStringLiteral("http://127.0.0.1:9/clientarea.php?tab=tickets")),
                 const QUrl &discord = QUrl(QStringLiteral("http://127.0.0.1:9/invite")))
    {
        frame.resize(1440, 1500);
        const QSize sizes[4] = {{640, 382}, {640, 382}, {640, 382}, {641, 382}};
        const int ys[4] = {154, 154, 556, 556};
        for (int i = 0; i < 4; ++i) {
            upper[i] = new QWidget(&frame);
            upper[i]->setGeometry(0, ys[i], sizes[i].width(), sizes[i].height());
        }
        HomeMetrics::Setup setup;
        setup.y = kStripY;
        setup.persianFontFamily = persianFamily;
        setup.openUrl = [this](const QUrl &url) {
            opened << url;
            return true;
        };
        setup.supportLink = support;
        setup.discordLink = discord;
        setup.upperContainers = upper;
        metrics = std::make_unique<HomeMetrics>(&frame, setup, nullptr);
    }
    QWidget frame;
    std::array<QWidget *, 4> upper = {};
    std::unique_ptr<HomeMetrics> metrics;
    QList<QUrl> opened;
};

QList<QRect> geometries(const HomeMetrics &m)
{
    QList<QRect> out;
    for (int i = 0; i < HomeMetrics::ContainerCount; ++i)
        out << m.container(HomeMetrics::Container(i))->geometry();
    for (int i = 0; i < 4; ++i)
        out << m.subtitle(i)->geometry() << m.figure(i)->geometry();
    for (int i = 0; i < HomeMetrics::CardCount; ++i) {
        const auto card = HomeMetrics::Card(i);
        out << m.cardTitle(card)->geometry() << m.cardBody(card)->geometry() << m.cardButton(card)->geometry()
            << m.cardArrow(card)->geometry();
    }
    return out;
}

} // namespace

class TestHomeMetrics : public QObject
{
    Q_OBJECT
private slots:
    void init() { TestSupport::failOnPainterWarnings(); }

    void stripShowsFixedFiguresBetweenDividers()
    {
        Rig rig;
        HomeMetrics &m = *rig.metrics;
        QCOMPARE(m.strip()->objectName(), QStringLiteral("BottomBreakerSection"));
        QCOMPARE(m.strip()->geometry(), QRect(120, kStripY, 1300, 160));
        const QStringList figures{"16", "+2k", "+1k", "16"};
        const QStringList subtitles{"Game added", "Active users", "Total connections", "Servers"};
        const int xs[4] = {156, 481, 806, 1131};
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(m.figure(i)->text(), figures[i]);
            QCOMPARE(m.subtitle(i)->objectName(), QStringLiteral("HomeMetric%1Subtitle").arg(i + 1));
            QCOMPARE(m.subtitle(i)->text(), subtitles[i]);
            QCOMPARE(m.figure(i)->y(), 40);
            QCOMPARE(m.subtitle(i)->y(), 90);
            // Centred where a 100 px label at the design x would be, and wide
            // enough for its whole text.
            for (QLabel *label : {m.figure(i), m.subtitle(i)}) {
                QCOMPARE(label->geometry().center().x() + 1, xs[i] + 50);
                QVERIFY2(label->width() >= QFontMetrics(label->font()).horizontalAdvance(label->text()),
                         qPrintable(label->text()));
            }
        }
        const int dividers[3] = {368, 693, 1018};
        for (int i = 0; i < 3; ++i)
            QCOMPARE(m.divider(i)->geometry(), QRect(dividers[i], 40, 1, 80));
        // No subtitle reaches across a divider.
        for (int i = 0; i < 3; ++i) {
            QVERIFY(m.subtitle(i)->geometry().right() < dividers[i]);
            QVERIFY(m.subtitle(i + 1)->geometry().left() > dividers[i]);
        }
    }

    void helpCardsAreBuiltAlike()
    {
        Rig rig;
        HomeMetrics &m = *rig.metrics;
        const char *const names[3] = {"HelpCardTutorials", "HelpCardSupport", "HelpCardDiscord"};
        const QStringList titles{"Tutorials", "Support", "Discord"};
        const int xs[3] = {120, 560, 1000};
        for (int i = 0; i < 3; ++i) {
            const auto card = HomeMetrics::Card(i);
            const QString name = QString::fromLatin1(names[i]);
            QCOMPARE(m.card(card)->objectName(), name);
            QCOMPARE(m.card(card)->geometry(), QRect(xs[i], kStripY + 180, 420, 294));
            QCOMPARE(m.cardTitle(card)->objectName(), name + "Title");
            QCOMPARE(m.cardTitle(card)->text(), titles[i]);
            QCOMPARE(m.cardTitle(card)->geometry(), QRect(0, 128, 420, 24));
            QCOMPARE(m.cardBody(card)->objectName(), name + "Body");
            QCOMPARE(m.cardBody(card)->text(),
                     QStringLiteral("Discover tutorials to enhance your gaming experience"));
            QCOMPARE(m.cardBody(card)->geometry(), QRect(20, 162, 380, 40));
            QPushButton *button = m.cardButton(card);
            QCOMPARE(button->objectName(), name + "Btn");
            QCOMPARE(button->text(), QStringLiteral("Go to"));
            QCOMPARE(button->geometry(), QRect(169, 232, 81, 32));
            QCOMPARE(m.cardArrow(card)->objectName(), name + "BtnArrow");
            QCOMPARE(m.cardArrow(card)->geometry(), QRect(55, 9, 14, 14));
            QVERIFY(!m.cardArrow(card)->pixmap().isNull());
        }
    }

    void containersFollowTheLanguage_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QList<int>>("xs");
        const QList<int> english{120, 780, 120, 781, 120, 120, 560, 1000};
        const QList<int> persian{20, 680, 20, 681, 20, 20, 460, 900};
        QTest::newRow("en-US") << "en-US" << english;
        QTest::newRow("fa-IR") << "fa-IR" << persian;
        QTest::newRow("fa") << "fa" << persian;
        QTest::newRow(" FA-ir ") << " FA-ir " << persian;
        QTest::newRow("de-DE") << "de-DE" << english;
        QTest::newRow("empty") << "" << english;
    }
    void containersFollowTheLanguage()
    {
        QFETCH(QString, code);
        QFETCH(QList<int>, xs);
        Rig rig;
        HomeMetrics &m = *rig.metrics;
        QList<int> ys;
        for (int i = 0; i < HomeMetrics::ContainerCount; ++i)
            ys << m.container(HomeMetrics::Container(i))->y();
        m.layoutHomeMetrics(code);
        for (int i = 0; i < HomeMetrics::ContainerCount; ++i) {
            const auto c = HomeMetrics::Container(i);
            QCOMPARE(m.container(c)->pos(), QPoint(xs[i], ys[i]));
            QCOMPARE(HomeMetrics::containerX(c, xs[0] == 20), xs[i]);
        }
        // Raised in table order: the last help card lies on top.
        QCOMPARE(rig.frame.children().last(), m.card(HomeMetrics::Discord));
        // Side by side, never over each other, in either language.
        for (int i = 0; i < HomeMetrics::ContainerCount; ++i) {
            for (int j = i + 1; j < HomeMetrics::ContainerCount; ++j) {
                QVERIFY2(!m.container(HomeMetrics::Container(i))
                              ->geometry()
                              .intersects(m.container(HomeMetrics::Container(j))->geometry()),
                         qPrintable(QStringLiteral("%1 and %2").arg(i).arg(j)));
            }
        }
    }

    void persianThenEnglishRestoresEveryPlace()
    {
        Rig rig;
        HomeMetrics &m = *rig.metrics;
        m.place(false);
        const QList<QRect> english = geometries(m);
        m.place(true);
        QVERIFY(geometries(m) != english);
        m.place(false);
        QCOMPARE(geometries(m), english);
    }

    void textsFollowTheLanguage()
    {
        Rig rig;
        HomeMetrics &m = *rig.metrics;
        m.retranslateHomeCards(QStringLiteral("fa-IR"));
        const QStringList subtitles{QStringLiteral("بازی اضافهشده"), QStringLiteral("کاربران فعال"),
                                    QStringLiteral("مجموع اتصالها"), QStringLiteral("سرورها")};
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(m.subtitle(i)->text(), subtitles[i]);
            QCOMPARE(m.subtitle(i)->font().family(), QStringLiteral("Vazirmatn"));
            QCOMPARE(m.subtitle(i)->layoutDirection(), Qt::RightToLeft);
            QVERIFY(m.subtitle(i)->width() >=
                    QFontMetrics(m.subtitle(i)->font()).horizontalAdvance(m.subtitle(i)->text()));
            // The figures are fixed texts in both languages.
            QCOMPARE(m.figure(i)->text(), (QStringList{"16", "+2k", "+1k", "16"}[i]));
        }
        const QStringList titles{QStringLiteral("آموزشها"), QStringLiteral("پشتیبانی"),
                                 QStringLiteral("دیسکورد")};
        for (int i = 0; i < 3; ++i) {
            const auto card = HomeMetrics::Card(i);
            QCOMPARE(m.cardTitle(card)->text(), titles[i]);
            QCOMPARE(m.cardBody(card)->text(),
                     QStringLiteral("برای بهبود تجربه بازی، راهنماها را مشاهده کنید."));
            QCOMPARE(m.cardBody(card)->font().pixelSize(), 14);
            QCOMPARE(m.cardButton(card)->text(), QStringLiteral("مشاهده"));
            QCOMPARE(m.cardButton(card)->layoutDirection(), Qt::LeftToRight);
            QVERIFY(m.cardButton(card)->styleSheet().contains("padding-left: 24px;  padding-right: 12px;"));
            // The arrow moves to the side of the wider padding.
            QCOMPARE(m.cardArrow(card)->pos(), QPoint(6, 9));
        }

        m.retranslateHomeCards(QStringLiteral("en-US"));
        QCOMPARE(m.subtitle(2)->text(), QStringLiteral("Total connections"));
        QCOMPARE(m.subtitle(2)->font().family(), QStringLiteral("Inter"));
        QCOMPARE(m.subtitle(2)->layoutDirection(), Qt::LeftToRight);
        QCOMPARE(m.cardTitle(HomeMetrics::Support)->text(), QStringLiteral("Support"));
        QCOMPARE(m.cardButton(HomeMetrics::Discord)->text(), QStringLiteral("Go to"));
        QVERIFY(m.cardButton(HomeMetrics::Discord)
                    ->styleSheet()
                    .contains("padding-left: 12px;  padding-right: 24px;"));
        QCOMPARE(m.cardArrow(HomeMetrics::Discord)->pos(), QPoint(55, 9));
    }

    void emptyPersianFamilyFallsBackToInter()
    {
        Rig rig{QString()};
        rig.metrics->retranslateHomeCards(QStringLiteral("fa-IR"));
        QCOMPARE(rig.metrics->subtitle(0)->font().family(), QStringLiteral("Inter"));
        QCOMPARE(rig.metrics->cardButton(HomeMetrics::Support)->font().family(), QStringLiteral("Inter"));
        QCOMPARE(rig.metrics->subtitle(0)->text(), QStringLiteral("بازی اضافهشده"));
    }

    void goToButtonsOpenTheirLinks()
    {
        Rig rig;
        HomeMetrics &m = *rig.metrics;
        m.cardButton(HomeMetrics::Tutorials)->click();
        QVERIFY(rig.opened.isEmpty());
        // Tutorials has no page: its button is not wired at all.
        QCOMPARE(ClickReceivers::of(m.cardButton(HomeMetrics::Tutorials)), 0);
        QCOMPARE(ClickReceivers::of(m.cardButton(HomeMetrics::Support)), 1);
        m.cardButton(HomeMetrics::Support)->click();
        m.cardButton(HomeMetrics::Discord)->click();
        QCOMPARE(rig.opened, (QList<QUrl>{QUrl("http://127.0.0.1:9/clientarea.php?tab=tickets"),
                                          QUrl("http://127.0.0.1:9/invite")}));

        // A link that could not be made (a refused override) gives a button
        // that does nothing rather than one that opens an empty address.
        Rig unset{QStringLiteral("Vazirmatn"), QUrl(), QUrl()};
        unset.metrics->cardButton(HomeMetrics::Support)->click();
        unset.metrics->cardButton(HomeMetrics::Discord)->click();
        QVERIFY(unset.opened.isEmpty());
        QCOMPARE(ClickReceivers::of(unset.metrics->cardButton(HomeMetrics::Discord)), 0);
    }

    void missingWidgetsAreSkipped()
    {
        Rig rig;
        HomeMetrics &m = *rig.metrics;
        delete m.cardArrow(HomeMetrics::Support);
        delete m.subtitle(1);
        delete rig.upper[1];
        m.place(true);
        m.place(false);
        QVERIFY(!m.cardArrow(HomeMetrics::Support));
        QCOMPARE(m.cardButton(HomeMetrics::Support)->text(), QStringLiteral("Go to"));
        QCOMPARE(m.container(HomeMetrics::ConnectionsSection)->x(), 120);

        // An icon that does not load leaves its plate empty.
        QWidget card;
        card.resize(420, 294);
        QWidget *plate = HomeMetrics::makeRoundIconHolder(&card, QStringLiteral(":/icons/no-such-icon.png"));
        QCOMPARE(plate->geometry(), QRect(176, 30, 68, 68));
        auto *icon = plate->findChild<QLabel *>();
        QVERIFY(icon && icon->pixmap().isNull());
        QCOMPARE(HomeMetrics::containerX(HomeMetrics::ContainerCount, false), 0);
    }

    void cardPaintsItsRoundPlateAndDivider()
    {
        Rig rig;
        HomeMetrics &m = *rig.metrics;
        rig.frame.show();
        QWidget *card = m.card(HomeMetrics::Support);
        const QImage image = card->grab().toImage();
        const QColor plate(0x1A, 0x1E, 0x24);
        const QColor cardColour(0x11, 0x13, 0x17);
        // Inside the plate but beside the icon; the plate's square corner is
        // cut away by its round mask.
        QCOMPARE(image.pixelColor(176 + 8, 30 + 34), plate);
        QCOMPARE(image.pixelColor(176 + 2, 30 + 2), cardColour);
        const QImage strip = m.strip()->grab().toImage();
        // The dashed divider: some of its pixels are drawn, some are gaps.
        int drawn = 0;
        for (int y = 40; y < 120; ++y)
            drawn += strip.pixelColor(368, y) != cardColour ? 1 : 0;
        QVERIFY2(drawn > 10 && drawn < 80, QByteArray::number(drawn));
    }
};

QTEST_MAIN(TestHomeMetrics)
#include "tst_homemetrics.moc"
