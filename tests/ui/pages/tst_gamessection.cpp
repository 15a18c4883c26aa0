// The Games section's frame: where it lies for the title and window heights,
// the chip row (moved left when translations make it wide), the platform
// toggle, and what the grid line says before any catalogue arrived.

#include "GamesTestSupport.h"
#include "support/PainterWarnings.h"
#include "ui/pages/games/GamesGrid.h"
#include "ui/pages/games/GamesSection.h"

#include <QApplication>
#include <QButtonGroup>
#include <QTest>
#include <QTranslator>

namespace {

// Makes every chip text long, as a verbose language would.
class WideChips : public QTranslator
{
public:
    bool isEmpty() const override { return false; }
    QString translate(const char *context, const char *source, const char *, int) const override
    {
        static const QStringList chips{"All", "Games", "Browser", "Voice", "Launcher", "Streaming"};
        if (QLatin1String(context) == QLatin1String("QObject") && chips.contains(QLatin1String(source)))
            return QStringLiteral("A much longer %1").arg(QLatin1String(source));
        return QString();
    }
};

} // namespace

class TestGamesSection : public QObject
{
    Q_OBJECT
private slots:
    void init() { TestSupport::failOnPainterWarnings(); }

    void frame_data()
    {
        QTest::addColumn<int>("windowHeight");
        QTest::addColumn<int>("height");
        QTest::newRow("1440 x 810") << 810 << 637;
        QTest::newRow("1080 x 608") << 608 << 435;
        QTest::newRow("tall window stops at 750") << 1200 << 750;
    }
    void frame()
    {
        QFETCH(int, windowHeight);
        QFETCH(int, height);
        QWidget root;
        MemoryGameRecords records;
        GamesBoardState board(&records);
        GamesSection::Setup setup;
        setup.gamesTitleHeight = 39;
        setup.windowHeight = windowHeight;
        setup.catalogue = std::make_shared<CatalogueState>();
        setup.board = &board;
        GamesSection games(&root, setup, nullptr);
        QCOMPARE(games.wrap()->geometry(), QRect(120, 153, 1300, height));
        QCOMPARE(games.section()->geometry(), QRect(1, 1, 1298, height - 2));
        QCOMPARE(games.tilesScroll()->geometry(), QRect(0, 90, 1298, height - 2 - 110));
        QVERIFY(!games.wrap()->isVisibleTo(&root));
    }

    void chipRow()
    {
        QWidget root;
        GamesSection::Setup setup;
        setup.catalogue = std::make_shared<CatalogueState>();
        GamesSection games(&root, setup, nullptr);
        QCOMPARE(games.chipsWrap()->x(), GamesSection::kChipsX);
        QCOMPARE(games.chipsWrap()->y(), 25);
        const QList<QAbstractButton *> chips = games.chips()->buttons();
        QCOMPARE(chips.size(), 6);
        int x = 0;
        for (int id = 0; id < 6; ++id) {
            QAbstractButton *chip = games.chips()->button(id);
            QVERIFY(chip);
            QCOMPARE(chip->x(), x);
            x += chip->width() + GamesSection::kChipGap;
        }
        QCOMPARE(games.chipsWrap()->width(), x - GamesSection::kChipGap);
        QVERIFY(games.chips()->button(0)->isChecked());
        QVERIFY(games.chips()->button(0)->width() >= 58);
        QVERIFY(games.chips()->exclusive());
    }

    void wideChipRowEndsBeforeTheEdge()
    {
        WideChips wide;
        QApplication::installTranslator(&wide);
        QWidget root;
        GamesSection::Setup setup;
        setup.catalogue = std::make_shared<CatalogueState>();
        GamesSection games(&root, setup, nullptr);
        QApplication::removeTranslator(&wide);
        QVERIFY(games.chipsWrap()->width() > 756);
        QCOMPARE(games.chipsWrap()->x() + games.chipsWrap()->width(), games.section()->width() - 184);
        QCOMPARE(games.chips()->button(0)->text(), QStringLiteral("A much longer All"));
    }

    void toggleBeforeAnyListSaysLoading()
    {
        QWidget root;
        MemoryGameRecords records;
        GamesBoardState board(&records);
        GamesSection::Setup setup;
        setup.catalogue = std::make_shared<CatalogueState>();
        setup.board = &board;
        GamesSection games(&root, setup, nullptr);
        QVERIFY(board.pcMode());
        games.consoleButton()->click();
        QVERIFY(!board.pcMode());
        QVERIFY(!games.loadingLabel()->isHidden());
        QCOMPARE(games.loadingLabel()->text(), QStringLiteral("Loading..."));
        QVERIFY(games.consoleButton()->styleSheet().contains(QLatin1String("#E8E8E8")));
        QVERIFY(!games.pcButton()->styleSheet().contains(QLatin1String("#E8E8E8")));

        // With a list, the toggle and a chip render tiles of that platform and category.
        *setup.catalogue->items = {gameEntry("1", "Arena", "FPS"), gameEntry("2", "Kart", "PlayStation 5"),
                                   gameEntry("3", "Talk", "voice")};
        setup.catalogue->catalogueLoaded = true;
        games.pcButton()->click();
        QVERIFY(board.pcMode());
        QCOMPARE(games.grid()->tiles().size(), 2);
        games.chips()->button(3)->click();
        QCOMPARE(games.grid()->tiles().size(), 1);
        QVERIFY(setup.catalogue->gridRendered);
    }
};

QTEST_MAIN(TestGamesSection)
#include "tst_gamessection.moc"
