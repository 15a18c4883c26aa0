// The games grid and its tiles on the Games section's widgets at their real
// sizes: which entries show, in which order and where, the empty texts, the
// chips and the platform toggle, and what a tile's heart and click do.

#include "GamesTestSupport.h"
#include "support/PainterWarnings.h"
#include "ui/pages/games/GameTile.h"
#include "ui/pages/games/GamesGrid.h"
#include "ui/pages/games/GamesGridRules.h"
#include "ui/pages/games/ImageCache.h"
#include "ui/widgets/HoverPartner.h"

#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QTranslator>

using namespace GamesGridRules;

Q_DECLARE_METATYPE(QVector<int>)

class TestGamesGrid : public QObject
{
    Q_OBJECT
private slots:
    void init() { TestSupport::failOnPainterWarnings(); }

    void categoryKey_data();
    void categoryKey();
    void clickKey_data();
    void clickKey();
    void ordering_data();
    void ordering();
    void chips();

    void hundredEntriesMakeSeventyTiles();
    void platformFilter();
    void emptyTexts_data();
    void emptyTexts();
    void loadingBeforeAList();
    void refreshedListShowsOnlyWhileOnScreen();
    void chipOutsideTheRowKeepsTheCategory();
    void translatedChipsStillFilter();
    void goneHostsMakeEverythingANoOp();
    void rendersDoNotPileUpWidgets();
    void clickedGamesLeadTheFirstRow();

    void daysLeft_data();
    void daysLeft();
    void longTitleIsElided();
    void heartFollowsFavourites();
    void heartTogglesTheFavourite();
    void filledHeartIsRed();
    void pcClickOpensAtOnce();
    void consoleClickWaitsForTheBar();
    void rerenderCancelsAConsoleOpening();
    void heartStaysWhileThePointerIsOnIt();

private:
    struct Rig
    {
        explicit Rig(const QList<GameApiItem> &list = {})
            : state(&store), grid({&hosts.section, hosts.scroll, hosts.content, hosts.message}, catalogue,
                                  &state, nullptr, GameTileTimings{60, 80}, nullptr, nullptr)
        {
            *catalogue->items = list;
            catalogue->catalogueLoaded = !list.isEmpty();
        }
        GameTile *tile(int i) const { return grid.tiles().value(i); }
        GameTile *tileTitled(const QString &title) const
        {
            for (GameTile *t : grid.tiles())
                if (t->data().title == title)
                    return t;
            return nullptr;
        }
        MemoryGameRecords store;
        GamesHosts hosts;
        std::shared_ptr<CatalogueState> catalogue = std::make_shared<CatalogueState>();
        GamesBoardState state;
        GamesGrid grid;
    };
};

void TestGamesGrid::categoryKey_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QStringList>("tags");
    QTest::addColumn<QString>("category");
    QTest::addColumn<QString>("key");
    QTest::newRow("app with voice chat tag") << "App" << QStringList{" Voice Chat "} << ""
                                             << "voice";
    QTest::newRow("emulators") << "" << QStringList{} << "Emulators"
                               << "emulator";
    QTest::newRow("browser before voice") << "Browser Voice" << QStringList{} << ""
                                          << "browser";
    QTest::newRow("nothing") << "" << QStringList{"", "  "} << ""
                             << "games";
    QTest::newRow("audio counts as voice") << "" << QStringList{"Audio"} << ""
                                           << "voice";
    QTest::newRow("stream") << "" << QStringList{} << "Live Stream"
                            << "streaming";
    QTest::newRow("launcher in type") << "LAUNCHER" << QStringList{} << "PC"
                                      << "launcher";
}

void TestGamesGrid::categoryKey()
{
    QFETCH(QString, type);
    QFETCH(QStringList, tags);
    QFETCH(QString, category);
    GameApiItem item;
    item.type = type;
    item.tags = tags;
    item.category = category;
    QTEST(gameCategoryKey(item), "key");
}

void TestGamesGrid::clickKey_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("platform");
    QTest::addColumn<QString>("key");
    QTest::newRow("id trimmed") << " 42 "
                                << "Apex"
                                << "PC"
                                << "id:42";
    QTest::newRow("no id, PC") << ""
                               << " Apex "
                               << "PC"
                               << "t:Apex|PC";
    QTest::newRow("blank id, Console") << "  "
                                       << "Apex"
                                       << "Console"
                                       << "t:Apex|Console";
}

void TestGamesGrid::clickKey()
{
    QFETCH(QString, id);
    QFETCH(QString, title);
    QFETCH(QString, platform);
    QTEST(gameClickKey(id, title, platform), "key");
}

void TestGamesGrid::ordering_data()
{
    QTest::addColumn<QVector<int>>("clicks");
    QTest::addColumn<QVector<int>>("order");
    QTest::newRow("5, 5, 2 among unclicked")
        << QVector<int>{0, 5, 0, 2, 5, 0} << QVector<int>{1, 4, 3, 0, 2, 5};
    QTest::newRow("ten clicked: top seven first")
        << QVector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0} << QVector<int>{9, 8, 7, 6, 5, 4, 3, 0, 1, 2, 10};
    QTest::newRow("nothing clicked keeps the catalogue") << QVector<int>{0, 0, 0} << QVector<int>{0, 1, 2};
    QTest::newRow("empty") << QVector<int>{} << QVector<int>{};
}

void TestGamesGrid::ordering()
{
    QFETCH(QVector<int>, clicks);
    QTEST(orderByClicks(clicks, 7), "order");
}

void TestGamesGrid::chips()
{
    const QStringList keys{"", "games", "browser", "voice", "launcher", "streaming"};
    for (int id = 0; id < keys.size(); ++id) {
        QString key = QStringLiteral("x");
        QVERIFY(chipCategoryKey(id, &key));
        QCOMPARE(key, keys[id]);
    }
    QString key = QStringLiteral("kept");
    QVERIFY(!chipCategoryKey(6, &key));
    QVERIFY(!chipCategoryKey(-1, &key));
    QCOMPARE(key, QStringLiteral("kept"));
    QCOMPARE(gridColumns(1298), 7);
    QCOMPARE(gridColumns(100), 1);
}

void TestGamesGrid::hundredEntriesMakeSeventyTiles()
{
    Rig rig(numberedGames(100));
    QSignalSpy rendered(&rig.grid, &GamesGrid::rendered);
    QSignalSpy filled(&rig.grid, &GamesGrid::filled);
    rig.grid.renderGamesGrid(*rig.catalogue->items);
    QCOMPARE(rendered.size(), 1);
    QVERIFY(rig.catalogue->gridRendered);
    // The rows the scroll area shows are there at once; the rest follow a
    // slice of rows per turn of the event loop.
    QCOMPARE(rig.grid.tiles().size(), rig.grid.rowsPerSlice() * 7);
    QVERIFY(rig.grid.isFilling());
    QCOMPARE(filled.size(), 0);
    QTRY_COMPARE(filled.size(), 1);
    const QList<GameTile *> tiles = rig.grid.tiles();
    QCOMPARE(tiles.size(), 70);
    for (GameTile *tile : tiles)
        QCOMPARE(tile->objectName(), QStringLiteral("GamesTile"));
    QCOMPARE(rig.hosts.content->minimumHeight(), 3286);
    QCOMPARE(rig.hosts.content->minimumWidth(), 1298);
    QCOMPARE(rig.tile(69)->data().title, QStringLiteral("Game 69"));
    QCOMPARE(rig.tile(69)->pos(), QPoint(1100, 2961));
    QCOMPARE(rig.tile(7)->pos(), QPoint(20, 329));
    QVERIFY(!rig.hosts.message->isVisible());

    // A short list keeps the scroll area's height.
    Rig few(numberedGames(3));
    few.grid.renderGamesGrid(*few.catalogue->items);
    QCOMPARE(few.hosts.content->minimumHeight(), 635 - 110);
}

void TestGamesGrid::platformFilter()
{
    Rig rig({gameEntry("1", "Spider", "PS5"), gameEntry("2", "Apex", "PC"), gameEntry("3", "Dota", "")});
    rig.grid.setPcMode(true);
    QCOMPARE(rig.grid.tiles().size(), 2);
    QCOMPARE(rig.tile(0)->data().title, QStringLiteral("Apex"));
    QCOMPARE(rig.tile(1)->data().title, QStringLiteral("Dota"));
    rig.grid.setPcMode(false);
    QCOMPARE(rig.grid.tiles().size(), 1);
    QCOMPARE(rig.tile(0)->data().title, QStringLiteral("Spider"));
}

void TestGamesGrid::emptyTexts_data()
{
    QTest::addColumn<bool>("pc");
    QTest::addColumn<int>("chip");
    QTest::addColumn<QString>("category"); // of the catalogue's one game
    QTest::addColumn<QString>("text");
    QTest::newRow("PC, All") << true << 0 << "PS5"
                             << "No PC items found";
    QTest::newRow("Console, All") << false << 0 << "PC"
                                  << "No Console items found";
    QTest::newRow("Voice") << true << 3 << "PC"
                           << "No items found in Voice";
}

void TestGamesGrid::emptyTexts()
{
    QFETCH(bool, pc);
    QFETCH(int, chip);
    QFETCH(QString, category);
    Rig rig({gameEntry("1", "Apex", category)});
    rig.hosts.section.show();
    rig.state.setPcMode(pc);
    rig.grid.selectGamesCategory(chip);
    QCOMPARE(rig.grid.tiles().size(), 0);
    QVERIFY(rig.hosts.message->isVisible());
    QTEST(rig.hosts.message->text(), "text");
}

void TestGamesGrid::loadingBeforeAList()
{
    Rig rig;
    rig.hosts.section.show();
    rig.grid.setPcMode(false);
    QCOMPARE(rig.hosts.message->text(), QStringLiteral("Loading..."));
    QVERIFY(rig.hosts.message->isVisible());
    QVERIFY(!rig.state.pcMode());
    QVERIFY(!rig.catalogue->gridRendered);
}

void TestGamesGrid::refreshedListShowsOnlyWhileOnScreen()
{
    Rig rig(numberedGames(3));
    rig.grid.renderIfShown();
    QVERIFY(rig.grid.tiles().isEmpty());
    QVERIFY(!rig.catalogue->gridRendered);
    rig.hosts.section.show();
    rig.grid.renderIfShown();
    QCOMPARE(rig.grid.tiles().size(), 3);
    rig.grid.showMessage(QStringLiteral("Failed to load games"));
    QVERIFY(rig.hosts.message->isVisible());
    QCOMPARE(rig.grid.tiles().size(), 3);
}

void TestGamesGrid::chipOutsideTheRowKeepsTheCategory()
{
    GameApiItem voice = gameEntry("v", "Talk", "PC");
    voice.tags = QStringList{"Voice"};
    Rig rig({voice, gameEntry("g", "Apex", "PC")});
    rig.grid.selectGamesCategory(3);
    QCOMPARE(rig.grid.tiles().size(), 1);
    QSignalSpy rendered(&rig.grid, &GamesGrid::rendered);
    rig.grid.selectGamesCategory(9);
    QCOMPARE(rendered.size(), 1);
    QCOMPARE(rig.state.categoryKey(), QStringLiteral("voice"));
    QCOMPARE(rig.grid.tiles().size(), 1);
}

// A translator that gives the chips and the empty text other words.
class ChipTranslator : public QTranslator
{
public:
    bool isEmpty() const override { return false; }
    QString translate(const char *, const char *source, const char *, int) const override
    {
        if (qstrcmp(source, "Voice") == 0)
            return QStringLiteral("صدا");
        if (qstrcmp(source, "No items found in %1") == 0)
            return QStringLiteral("موردی در %1 نیست");
        return QString();
    }
};

void TestGamesGrid::translatedChipsStillFilter()
{
    ChipTranslator translator;
    QCoreApplication::installTranslator(&translator);
    GameApiItem voice = gameEntry("v", "Talk", "PC");
    voice.type = QStringLiteral("Voice");
    Rig rig({voice});
    rig.grid.selectGamesCategory(3);
    QCOMPARE(rig.grid.tiles().size(), 1);
    rig.grid.setPcMode(false);
    QCOMPARE(rig.grid.tiles().size(), 0);
    QCOMPARE(rig.hosts.message->text(), QStringLiteral("موردی در صدا نیست"));
    QCoreApplication::removeTranslator(&translator);
}

void TestGamesGrid::goneHostsMakeEverythingANoOp()
{
    Rig rig(numberedGames(5));
    rig.grid.renderGamesGrid(*rig.catalogue->items);
    delete rig.hosts.scroll; // takes the content and its tiles
    QSignalSpy rendered(&rig.grid, &GamesGrid::rendered);
    rig.grid.renderGamesGrid(*rig.catalogue->items);
    rig.grid.reloadGamesGrid();
    rig.grid.clearGameTiles();
    rig.grid.setPcMode(false);
    QCOMPARE(rendered.size(), 0);
    QVERIFY(rig.grid.tiles().isEmpty());
}

void TestGamesGrid::rendersDoNotPileUpWidgets()
{
    Rig rig(numberedGames(20));
    rig.grid.renderGamesGrid(*rig.catalogue->items);
    QTRY_VERIFY(!rig.grid.isFilling());
    const int afterOne = rig.hosts.content->findChildren<QObject *>().size();
    // Renders that come while the last rows are still to be made drop them.
    for (int i = 0; i < 100; ++i) {
        rig.grid.renderGamesGrid(*rig.catalogue->items);
        if (i % 10 == 0)
            QCoreApplication::processEvents();
    }
    QTRY_VERIFY(!rig.grid.isFilling());
    QCOMPARE(rig.grid.tiles().size(), 20);
    QCOMPARE(rig.hosts.content->findChildren<QObject *>().size(), afterOne);
}

void TestGamesGrid::clickedGamesLeadTheFirstRow()
{
    Rig rig(numberedGames(10));
    rig.grid.renderGamesGrid(*rig.catalogue->items);
    rig.tileTitled("Game 8")->hit()->click();
    QCOMPARE(rig.state.clicks("id:g8"), 1);
    // The order changes only at the next render.
    QCOMPARE(rig.tile(0)->data().title, QStringLiteral("Game 0"));
    rig.grid.reloadGamesGrid();
    QCOMPARE(rig.tile(0)->data().title, QStringLiteral("Game 8"));
    QCOMPARE(rig.tile(1)->data().title, QStringLiteral("Game 0"));
}

void TestGamesGrid::daysLeft_data()
{
    QTest::addColumn<bool>("isFree");
    QTest::addColumn<int>("days");
    QTest::addColumn<QString>("source");
    QTest::addColumn<bool>("tag");
    QTest::addColumn<QString>("text"); // empty: no clock and no days
    QTest::newRow("free, no days") << true << -1 << "" << true << "";
    QTest::newRow("free, global") << true << 5 << "global" << true << "";
    QTest::newRow("free, 0 days") << true << 0 << "promo" << true << "0 days left";
    QTest::newRow("free, 3 days") << true << 3 << "" << true << "3 days left";
    QTest::newRow("not free") << false << 5 << "" << false << "";
}

void TestGamesGrid::daysLeft()
{
    QFETCH(bool, isFree);
    QFETCH(int, days);
    QFETCH(QString, source);
    QFETCH(bool, tag);
    QFETCH(QString, text);
    QWidget content;
    GameTileData data{"1", "Apex", "", "", "PC", isFree, days, source};
    GameTile tile(data, nullptr, nullptr, {}, nullptr, &content);
    content.show();
    QCOMPARE(tile.tag()->isVisible(), tag);
    QCOMPARE(tile.tag()->text(), QStringLiteral("Free"));
    QCOMPARE(tile.timeLeft()->isVisible(), !text.isEmpty());
    QCOMPARE(tile.clockIcon()->isVisible(), !text.isEmpty());
    if (!text.isEmpty())
        QCOMPARE(tile.timeLeft()->text(), text);
}

void TestGamesGrid::longTitleIsElided()
{
    QWidget content;
    GameTileData data;
    data.title = QString(500, QLatin1Char('W'));
    GameTile tile(data, nullptr, nullptr, {}, nullptr, &content);
    QVERIFY(tile.titleLabel()->text().endsWith(QChar(0x2026)));
    QVERIFY(tile.titleLabel()->fontMetrics().horizontalAdvance(tile.titleLabel()->text()) <= 160);
}

void TestGamesGrid::heartFollowsFavourites()
{
    Rig rig({gameEntry("1", "Apex", "PC"), gameEntry("2", "Zed", "PC")});
    rig.state.setFavorite("Apex", "PC", "", true);
    rig.grid.reloadGamesGrid();
    QVERIFY(rig.tileTitled("Apex")->heart()->isChecked());
    QVERIFY(!rig.tileTitled("Zed")->heart()->isChecked());
}

void TestGamesGrid::heartTogglesTheFavourite()
{
    Rig rig({gameEntry("1", "Apex", "PC"), gameEntry("2", "Apex", "PlayStation 5")});
    QSignalSpy changed(&rig.state, &GamesBoardState::favoritesChanged);
    rig.grid.setPcMode(true);
    rig.tile(0)->heart()->click();
    rig.grid.setPcMode(false);
    rig.tile(0)->heart()->click();
    QCOMPARE(changed.size(), 2);
    // The platform is kept as the literal name, whatever the toggle's text.
    QCOMPARE(rig.state.favorites().keys(), (QStringList{"Apex|Console", "Apex|PC"}));
    QCOMPARE(rig.store.calls, (QStringList{"add Apex|PC", "add Apex|Console"}));
    rig.tile(0)->heart()->click();
    QCOMPARE(rig.state.favorites().keys(), QStringList{"Apex|PC"});
    QCOMPARE(rig.store.favourites.size(), 1);
}

void TestGamesGrid::filledHeartIsRed()
{
    const QImage heart =
        GameTile::paintHeartFilledIcon(22, QColor(255, 59, 59, 235), QColor(255, 255, 255, 210), 1).toImage();
    const QColor centre = heart.pixelColor(11, 13);
    QVERIFY2(qAbs(centre.red() - 255) <= 12 && qAbs(centre.green() - 59) <= 12 &&
                 qAbs(centre.blue() - 59) <= 12,
             qPrintable(centre.name(QColor::HexArgb)));
    QCOMPARE(heart.pixelColor(1, 1).alpha(), 0);
    const QImage outline = GameTile::paintHeartOutlineIcon(22, QColor(255, 255, 255, 235), 2).toImage();
    QCOMPARE(outline.pixelColor(11, 13).alpha(), 0); // hollow
}

void TestGamesGrid::pcClickOpensAtOnce()
{
    Rig rig({gameEntry("", "Apex", "PC")});
    rig.grid.reloadGamesGrid();
    QSignalSpy opened(&rig.grid, &GamesGrid::gameOpened);
    rig.tile(0)->hit()->click();
    QCOMPARE(opened.size(), 1);
    QCOMPARE(opened.at(0), (QVariantList{"Apex", "", "PC"}));
    QVERIFY(rig.tile(0)->hit()->isEnabled());
    QCOMPARE(rig.state.clicks("t:Apex|PC"), 1);
    QCOMPARE(rig.store.clicks.value("t:Apex|PC"), 1);
    QVERIFY(!rig.tile(0)->progressTrack()->isVisibleTo(rig.tile(0)));
}

void TestGamesGrid::consoleClickWaitsForTheBar()
{
    Rig rig({gameEntry("7", "Halo", "Xbox")});
    rig.hosts.section.show();
    rig.grid.setPcMode(false);
    GameTile *tile = rig.tile(0);
    QSignalSpy opened(&rig.grid, &GamesGrid::gameOpened);
    tile->hit()->click();
    tile->hit()->click(); // disabled while the bar runs: ignored
    QVERIFY(!tile->hit()->isEnabled());
    QVERIFY(tile->progressTrack()->isVisible());
    QCOMPARE(opened.size(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(opened.size(), 1, 2000);
    QCOMPARE(opened.at(0).at(2).toString(), QStringLiteral("Xbox"));
    QVERIFY(tile->hit()->isEnabled());
    QVERIFY(!tile->progressTrack()->isVisible());
    QCOMPARE(tile->progressFill()->width(), 140);
    QCOMPARE(rig.state.clicks("id:7"), 1);
    QTest::qWait(150);
    QCOMPARE(opened.size(), 1);
}

void TestGamesGrid::rerenderCancelsAConsoleOpening()
{
    Rig rig({gameEntry("7", "Halo", "Xbox")});
    rig.grid.setPcMode(false);
    QSignalSpy opened(&rig.grid, &GamesGrid::gameOpened);
    rig.tile(0)->hit()->click();
    rig.grid.reloadGamesGrid();
    QTest::qWait(200);
    QCOMPARE(opened.size(), 0);
}

// The heart lies over the hit area: moving onto it must not hide it.
class HoverRelay : public QObject
{
public:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        HoverPartner::handleEnterLeave(watched, event);
        return false;
    }
};

void TestGamesGrid::heartStaysWhileThePointerIsOnIt()
{
    HoverRelay relay;
    QWidget content;
    content.resize(400, 400);
    GameTileData data{"1", "Apex", "", "", "PC", false, -1, ""};
    GameTile tile(data, nullptr, nullptr, {}, &relay, &content);
    content.show();
    QVERIFY(QTest::qWaitForWindowExposed(&content));
    QEvent enter(QEvent::Enter);
    QEvent leave(QEvent::Leave);

    QCursor::setPos(tile.mapToGlobal(QPoint(80, 100)));
    QCoreApplication::sendEvent(tile.hit(), &enter);
    QVERIFY(tile.heart()->isVisible());
    // Onto the heart: the hit area leaves, the pointer is still on the tile.
    QCursor::setPos(tile.heart()->mapToGlobal(QPoint(11, 11)));
    QCoreApplication::sendEvent(tile.hit(), &leave);
    QVERIFY(tile.heart()->isVisible());
    // Off the tile, from the heart.
    QCursor::setPos(content.mapToGlobal(QPoint(390, 390)));
    QCoreApplication::sendEvent(tile.heart(), &leave);
    QVERIFY(!tile.heart()->isVisible());
}

QTEST_MAIN(TestGamesGrid)
#include "tst_gamesgrid.moc"
