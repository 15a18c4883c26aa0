// The home connection section: favourite cards or the empty state, their
// order and places, opening and removing a favourite, and the empty state's
// Persian face.

#include "GamesTestSupport.h"
#include "support/PainterWarnings.h"
#include "ui/pages/home/HomeFavorites.h"

#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QTranslator>

class TestHomeFavorites : public QObject
{
    Q_OBJECT
private slots:
    void init() { TestSupport::failOnPainterWarnings(); }

    void noFavouritesShowsTheEmptyState();
    void cardsInKeyOrder();
    void secondColumnBesideTheScrollBar();
    void removeBringsTheEmptyStateBack();
    void openingFollowsTheStoredPlatform_data();
    void openingFollowsTheStoredPlatform();
    void platformIsShownTranslated();
    void persianEmptyState();
    void rowsWithoutTitleOrPlatformStayOut();

private:
    struct Rig
    {
        explicit Rig(const QList<QVariantMap> &rows = {})
        {
            store.favourites = rows;
            state = std::make_unique<GamesBoardState>(&store);
            favourites = std::make_unique<HomeFavorites>(
                HomeFavorites::Hosts{&hosts.section, hosts.wrap, hosts.host, hosts.rocket, hosts.title,
                                     hosts.hint, hosts.addGame, nullptr, hosts.scroll},
                state.get(), nullptr, QStringLiteral("Vazirmatn"), nullptr, nullptr);
            favourites->place(false);
            hosts.section.show();
        }
        QWidget *card(int i) const { return favourites->cards().value(i); }
        QString cardTitle(int i) const
        {
            return card(i)->findChild<QLabel *>(QStringLiteral("HomeFavCardTitle"))->text();
        }
        MemoryGameRecords store;
        HomeHosts hosts;
        std::unique_ptr<GamesBoardState> state;
        std::unique_ptr<HomeFavorites> favourites;
    };
    static QVariantMap row(const QString &title, const QString &platform, const QString &logo = QString())
    {
        return {{"game_title", title}, {"platform", platform}, {"game_logo", logo}};
    }
};

void TestHomeFavorites::noFavouritesShowsTheEmptyState()
{
    Rig rig;
    QVERIFY(rig.favourites->cards().isEmpty());
    QVERIFY(!rig.hosts.wrap->isVisible());
    for (QWidget *w : {static_cast<QWidget *>(rig.hosts.rocket), static_cast<QWidget *>(rig.hosts.title),
                       static_cast<QWidget *>(rig.hosts.hint), static_cast<QWidget *>(rig.hosts.addGame)})
        QVERIFY(w->isVisible());
    QCOMPARE(rig.hosts.title->text(), QStringLiteral("Ready to optimize?"));
    QCOMPARE(rig.hosts.addGame->text(), QStringLiteral("Add a game"));
}

void TestHomeFavorites::cardsInKeyOrder()
{
    Rig rig({row("apex", "PC"), row("Zed", "PC"), row("Halo", "Console")});
    QVERIFY(rig.hosts.wrap->isVisible());
    QVERIFY(!rig.hosts.title->isVisible());
    QCOMPARE(rig.favourites->cards().size(), 3);
    QCOMPARE(rig.cardTitle(0), QStringLiteral("Halo"));
    QCOMPARE(rig.cardTitle(1), QStringLiteral("Zed")); // upper case before lower case
    QCOMPARE(rig.cardTitle(2), QStringLiteral("apex"));
    // Two columns over the 592 px viewport: the second ends at its right edge.
    QCOMPARE(rig.card(0)->geometry(), QRect(0, 0, 290, 82));
    QCOMPARE(rig.card(1)->pos(), QPoint(592 - 290, 0));
    QCOMPARE(rig.card(2)->pos(), QPoint(0, 102));
    QCOMPARE(rig.hosts.host->size(), QSize(592, 184));
    QCOMPARE(rig.hosts.host->minimumSize(), QSize(592, 184));
    QCOMPARE(rig.hosts.scroll->viewport()->width(), 592);

    Rig many;
    for (int i = 0; i < 500; ++i)
        many.state->setFavorite(QStringLiteral("Game %1").arg(i, 3, 10, QLatin1Char('0')), "PC", "", true);
    QTRY_COMPARE(many.favourites->cards().size(), 500);
    QCOMPARE(many.hosts.host->height(), 250 * 102 - 20);
}

void TestHomeFavorites::secondColumnBesideTheScrollBar()
{
    // Four rows are taller than the area: the thin bar takes its 6 px and
    // the second column moves in by as much, whole within the viewport.
    QList<QVariantMap> rows;
    for (const char *title : {"A", "B", "C", "D", "E", "F", "G"})
        rows << row(QLatin1String(title), "PC");
    Rig rig(rows);
    QTRY_VERIFY(rig.hosts.scroll->verticalScrollBar()->isVisible());
    const int viewport = rig.hosts.scroll->viewport()->width();
    QCOMPARE(viewport, 592 - 6);
    QCOMPARE(rig.hosts.host->width(), viewport);
    for (QWidget *card : rig.favourites->cards())
        QVERIFY2(card->geometry().right() < viewport, qPrintable(card->findChild<QLabel *>()->text()));
    QCOMPARE(rig.card(1)->geometry().right(), viewport - 1);
    QCOMPARE(rig.card(6)->pos(), QPoint(0, 3 * 102));
}

void TestHomeFavorites::removeBringsTheEmptyStateBack()
{
    Rig rig({row("Apex", "PC")});
    QCOMPARE(rig.favourites->cards().size(), 1);
    QCOMPARE(rig.hosts.host->size(), QSize(592, 82));
    QPointer<QWidget> card = rig.card(0);
    auto *remove = card->findChild<QToolButton *>(QStringLiteral("HomeFavCardRemove"));
    remove->show();
    // The card's own button removes it: the card must outlive the click.
    QTest::mouseClick(remove, Qt::LeftButton);
    QVERIFY(card);
    QTRY_VERIFY(!card);
    QVERIFY(rig.state->favorites().isEmpty());
    QVERIFY(rig.store.favourites.isEmpty());
    QVERIFY(rig.hosts.title->isVisible());
    QVERIFY(!rig.hosts.wrap->isVisible());
}

void TestHomeFavorites::openingFollowsTheStoredPlatform_data()
{
    QTest::addColumn<QString>("platform");
    QTest::addColumn<QString>("category");
    QTest::newRow("Console") << "Console"
                             << "Console";
    QTest::newRow("console with blanks") << " console "
                                         << "Console";
    QTest::newRow("PC") << "PC"
                        << "";
    QTest::newRow("a translated label") << "کنسول"
                                        << "";
}

void TestHomeFavorites::openingFollowsTheStoredPlatform()
{
    QFETCH(QString, platform);
    Rig rig({row("Halo", platform, "/uploads/logos/halo.png")});
    QSignalSpy opened(rig.favourites.get(), &HomeFavorites::gameOpened);
    rig.card(0)->findChild<QPushButton *>(QStringLiteral("HomeFavCardHit"))->click();
    QCOMPARE(opened.size(), 1);
    QCOMPARE(opened.at(0).at(0).toString(), QStringLiteral("Halo"));
    QCOMPARE(opened.at(0).at(1).toString(), QStringLiteral("/uploads/logos/halo.png"));
    QTEST(opened.at(0).at(2).toString(), "category");
}

// A translator that turns the two platform names into other words.
class PlatformTranslator : public QTranslator
{
public:
    bool isEmpty() const override { return false; }
    QString translate(const char *, const char *source, const char *, int) const override
    {
        if (qstrcmp(source, "PC") == 0)
            return QStringLiteral("رایانه");
        if (qstrcmp(source, "Console") == 0)
            return QStringLiteral("کنسول");
        return QString();
    }
};

void TestHomeFavorites::platformIsShownTranslated()
{
    PlatformTranslator translator;
    QCoreApplication::installTranslator(&translator);
    Rig rig;
    rig.state->setFavorite("Halo", GamesBoardState::platformName(false), "", true);
    QTRY_COMPARE(rig.favourites->cards().size(), 1);
    QCoreApplication::removeTranslator(&translator);
    // Stored under the literal name, shown in the user's language.
    QCOMPARE(rig.store.favourites.value(0).value("platform").toString(), QStringLiteral("Console"));
    QCOMPARE(rig.state->favorites().firstKey(), QStringLiteral("Halo|Console"));
    QCOMPARE(rig.card(0)->findChild<QLabel *>(QStringLiteral("HomeFavCardPlatform"))->text(),
             QStringLiteral("کنسول"));
    QSignalSpy opened(rig.favourites.get(), &HomeFavorites::gameOpened);
    rig.card(0)->findChild<QPushButton *>(QStringLiteral("HomeFavCardHit"))->click();
    QCOMPARE(opened.at(0).at(2).toString(), QStringLiteral("Console"));
}

void TestHomeFavorites::persianEmptyState()
{
    Rig rig;
    rig.favourites->retranslateHomeEmptyState(QStringLiteral("fa-IR"));
    QVERIFY(rig.hosts.title->text().contains(QChar(0x200C)));
    QCOMPARE(rig.hosts.addGame->text(), QStringLiteral("افزودن بازی"));
    for (QWidget *w : {static_cast<QWidget *>(rig.hosts.title), static_cast<QWidget *>(rig.hosts.hint),
                       static_cast<QWidget *>(rig.hosts.addGame)})
        QCOMPARE(w->layoutDirection(), Qt::RightToLeft);
    const int bw = std::max(
        126, QFontMetrics(rig.hosts.addGame->font()).horizontalAdvance(rig.hosts.addGame->text()) + 40);
    QCOMPARE(rig.hosts.addGame->geometry(), QRect((640 - bw) / 2, 252, bw, 48));
    QCOMPARE(rig.hosts.addGame->font().family(), QStringLiteral("Vazirmatn"));
    QCOMPARE(rig.hosts.title->geometry(), QRect(24, 180, 592, 28));
    QCOMPARE(rig.hosts.hint->geometry(), QRect(24, 212, 592, 40));

    rig.favourites->retranslateHomeEmptyState(QStringLiteral("en-US"));
    QCOMPARE(rig.hosts.title->text(), QStringLiteral("Ready to optimize?"));
    QCOMPARE(rig.hosts.title->layoutDirection(), Qt::LeftToRight);
    QCOMPARE(rig.hosts.addGame->font().family(), QStringLiteral("Inter"));
    QCOMPARE(rig.hosts.addGame->width(), 126);
    QCOMPARE(rig.hosts.addGame->pos(), QPoint(257, 252));
}

void TestHomeFavorites::rowsWithoutTitleOrPlatformStayOut()
{
    Rig rig({row("", "PC"), row("Apex", ""), row("Halo", "PC")});
    QCOMPARE(rig.favourites->cards().size(), 1);
    QCOMPARE(rig.store.favourites.size(), 3); // left in the store
}

QTEST_MAIN(TestHomeFavorites)
#include "tst_homefavorites.moc"
