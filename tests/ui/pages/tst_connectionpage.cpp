#include "connection/GamePorts.h"
#include "services/GamePlatform.h"
#include "storage/DatabaseManager.h"
#include "support/PainterWarnings.h"
#include "support/WindowFixture.h"
#include "ui/pages/connection/ConnectionPage.h"
#include "ui/pages/connection/ConnectionPanels.h"
#include "ui/widgets/FittedText.h"

#include <QDir>
#include <QFontMetrics>
#include <QGraphicsDropShadowEffect>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QVariantAnimation>

#include <memory>

namespace {

QVariantMap profile(const QString &id, const QString &title)
{
    return {{QStringLiteral("id"), id}, {QStringLiteral("title"), title}};
}

QVariantList profiles(int count)
{
    QVariantList list;
    for (int i = 0; i < count; ++i)
        list << profile(QStringLiteral("p%1").arg(i), QStringLiteral("Launcher %1").arg(i));
    return list;
}

// The page over a root frame and left panel as the window builds them.
struct Fixture
{
    QWidget root;
    std::unique_ptr<ConnectionPanels> panels;
    std::unique_ptr<ConnectionPage> page;

    explicit Fixture(GameLookup games = GameLookup::database())
    {
        root.resize(1440, 810);
        panels = std::make_unique<ConnectionPanels>(&root, root.size(), nullptr);
        page =
            std::make_unique<ConnectionPage>(&root, panels->left(), root.size(), std::move(games), nullptr);
    }

    QWidget *named(const QString &name) const { return root.findChild<QWidget *>(name); }
    QWidget *card(const QString &key) const { return named(QStringLiteral("PlatformBoostCard_") + key); }
    // A card's switch knob (the track's one child widget).
    QWidget *knob(const QString &key) const
    {
        QWidget *c = card(key);
        for (QWidget *w : c->findChildren<QWidget *>()) {
            if (w->size() == QSize(16, 16) && w->parentWidget() != c)
                return w;
        }
        return nullptr;
    }
    QPushButton *hit(const QString &key) const { return card(key)->findChild<QPushButton *>(); }
};

// Games of a lookup with no database.
GameLookup lookupOf(const QHash<QString, QVariantMap> &games)
{
    GameLookup lookup;
    lookup.findGameIdByName = [games](const QString &name) {
        return games.contains(name) ? games.value(name).value(QStringLiteral("id")).toString() : QString();
    };
    lookup.getGameById = [games](const QString &id) {
        for (const QVariantMap &g : games) {
            if (g.value(QStringLiteral("id")).toString() == id)
                return g;
        }
        return QVariantMap();
    };
    return lookup;
}

} // namespace

class TestConnectionPage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        WindowFixture::useClientNames();
        QVERIFY(WindowFixture::openDatabase());
    }
    void init() { TestSupport::failOnPainterWarnings(); }

    void construction()
    {
        Fixture f;
        ConnectionPage &p = *f.page;
        QCOMPARE(p.header()->geometry(), QRect(120, 61, 419, 110));
        QCOMPARE(f.panels->left()->geometry(), QRect(120, 171, 419, 631));
        QCOMPARE(f.panels->rightScroll()->geometry(), QRect(559, 171, 861, 631));
        QCOMPARE(p.outerCircle()->geometry(), QRect(149, 66, 120, 120));
        QCOMPARE(p.innerCircle()->geometry(), QRect(159, 76, 100, 100));
        QCOMPARE(p.circleButton()->geometry(), QRect(159, 76, 100, 100));
        QCOMPARE(p.regionCard()->geometry(), QRect(60, 206, 299, 76));
        QCOMPARE(p.tapButton()->geometry(), QRect(60, 518, 299, 48));
        QCOMPARE(p.tapButton()->property("tapBaseY").toInt(), 518);
        QCOMPARE(p.tapButton()->text(), QStringLiteral("Tap to connect"));
        QCOMPARE(p.boostScroll()->geometry(), QRect(60, 328, 299, 170));
        QCOMPARE(p.boostTrack()->geometry(), QRect(359, 328, 5, 157));
        QVERIFY(p.boostTrack()->isHidden());
        QVERIFY(p.boostOverlay()->isHidden());
        QVERIFY(p.statusLabel()->isHidden());
        QVERIFY(p.timerLabel()->isHidden());
        QVERIFY(!p.glow()->isEnabled());
        QCOMPARE(p.pulseAnimation()->state(), QAbstractAnimation::Stopped);
        QCOMPARE(p.outerCircle()->styleSheet(), ConnectionPage::outerCircleIdleStyle());
        QCOMPARE(p.gameTitle()->text(), QStringLiteral("League of legend"));
        QCOMPARE(p.regionValue()->text(), QStringLiteral("United States"));
        QCOMPARE(p.regionMode()->text(), QStringLiteral("Auto"));
        // The power symbol in its two colours; the idle one shows.
        QVERIFY(!p.powerIdle().isNull());
        QVERIFY(!p.powerConnected().isNull());
        QVERIFY(p.powerIdle().toImage() != p.powerConnected().toImage());
        QVERIFY(!p.powerIcon()->pixmap().isNull());
    }

    void backAndRegionCardSignal()
    {
        Fixture f;
        QSignalSpy back(f.page.get(), &ConnectionPage::backClicked);
        QSignalSpy region(f.page.get(), &ConnectionPage::serverRegionClicked);
        f.page->backButton()->click();
        f.page->regionClickArea()->click();
        QCOMPARE(back.count(), 1);
        QCOMPARE(region.count(), 1);
    }

    void infoDialogOpensAndCloses()
    {
        Fixture f;
        QWidget *overlay = f.page->boostOverlay();
        QWidget *dialog = f.named(QStringLiteral("PlatformBoostDialog"));
        auto *backdrop = qobject_cast<QPushButton *>(f.named(QStringLiteral("PlatformBoostBackdrop")));
        auto *gotIt = qobject_cast<QPushButton *>(f.named(QStringLiteral("PlatformBoostDialogGotIt")));
        QCOMPARE(overlay->geometry(), QRect(0, 0, 1440, 810));
        QCOMPARE(dialog->geometry(), QRect(510, 257, 420, 312));
        // Outside the dialog a click lands on the backdrop; on it, not.
        QCOMPARE(overlay->childAt(20, 20), backdrop);
        QVERIFY(overlay->childAt(dialog->geometry().center()) != backdrop);

        f.page->boostInfoButton()->click();
        QVERIFY(!overlay->isHidden());
        backdrop->click();
        QVERIFY(overlay->isHidden());
        f.page->showPlatformBoostInfo();
        QVERIFY(!overlay->isHidden());
        QCOMPARE(gotIt->text(), QStringLiteral("Got it!"));
        gotIt->click();
        QVERIFY(overlay->isHidden());
    }

    // The mode label sits right-aligned before the arrow whatever the
    // relay's name; the name has the room left of it, and a longer name
    // ends in an ellipsis with the whole name in its tooltip.
    void relayCardLabels_data()
    {
        QTest::addColumn<QString>("relayName");
        QTest::addColumn<QString>("mode");
        QTest::addColumn<bool>("whole");
        QTest::newRow("Auto") << QString() << "Auto" << true;
        QTest::newRow("Manual") << QString() << "Manual" << true;
        QTest::newRow("manual, small letters") << QString() << "  manual " << true;
        QTest::newRow("short name") << "Paris 1"
                                    << "Manual" << true;
        QTest::newRow("longer than the first text") << "Frankfurt am Main 7"
                                                    << "Manual" << true;
        QTest::newRow("too long for the card") << "A very long relay server name indeed, longer still"
                                               << "Auto" << false;
    }
    void relayCardLabels()
    {
        QFETCH(QString, relayName);
        QFETCH(QString, mode);
        QFETCH(bool, whole);
        Fixture f;
        f.root.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.root));
        QLabel *value = f.page->regionValue();
        QLabel *label = f.page->regionMode();
        const QString name = relayName.isEmpty() ? QStringLiteral("United States") : relayName;
        if (!relayName.isEmpty())
            f.page->showRelayName(relayName);
        f.page->showManualServerLabel(mode);

        const QString text = mode.trimmed();
        QCOMPARE(label->text(), text);
        const bool manual = text.compare(QLatin1String("manual"), Qt::CaseInsensitive) == 0;
        QCOMPARE(label->width(), FittedText::neededWidth(label, text));
        QCOMPARE(label->pos(), QPoint(267 - label->width() - 6 - (manual ? 6 : 0), manual ? 43 : 45));

        QCOMPARE(value->x(), 50);
        QVERIFY(value->geometry().right() < label->x() - 9);
        if (whole) {
            QCOMPARE(value->text(), name);
            QVERIFY(value->toolTip().isEmpty());
            QCOMPARE(value->width(), FittedText::neededWidth(value, name));
        } else {
            QVERIFY(value->text().endsWith(QChar(0x2026)));
            QCOMPARE(value->toolTip(), name);
            QVERIFY(FittedText::neededWidth(value, value->text()) <= value->width());
        }
        // As tall as their texts, so the texts keep their line.
        QCOMPARE(value->height(), value->sizeHint().height());
        QCOMPARE(label->height(), label->sizeHint().height());

        // A shorter mode afterwards gives the name its room back.
        f.page->showManualServerLabel(QStringLiteral("Auto"));
        QVERIFY(value->geometry().right() < label->x() - 9);
        QVERIFY(FittedText::neededWidth(value, value->text()) <= value->width());
    }

    void boostListSizes_data()
    {
        QTest::addColumn<QVariant>("profilesValue");
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("withDatabase");
        QTest::addColumn<int>("areaHeight"); // 0: hidden
        QTest::addColumn<int>("buttonTop");
        QTest::addColumn<bool>("scrollBar");
        QTest::newRow("one card") << QVariant(profiles(1)) << "Game" << true << 54 << 402 << false;
        QTest::newRow("two cards") << QVariant(profiles(2)) << "Game" << true << 112 << 460 << false;
        QTest::newRow("three cards fit") << QVariant(profiles(3)) << "Game" << true << 170 << 518 << false;
        QTest::newRow("four cards scroll") << QVariant(profiles(4)) << "Game" << true << 170 << 518 << true;
        QTest::newRow("six cards scroll") << QVariant(profiles(6)) << "Game" << true << 170 << 518 << true;
        QTest::newRow("no database") << QVariant(profiles(2)) << "Game" << false << 0 << 518 << false;
        QTest::newRow("empty title") << QVariant(profiles(2)) << "  " << true << 0 << 518 << false;
        QTest::newRow("unknown game") << QVariant(profiles(2)) << "Other" << true << 0 << 518 << false;
        QTest::newRow("no profiles") << QVariant() << "Game" << true << 0 << 518 << false;
        QTest::newRow("profiles not a list")
            << QVariant(QStringLiteral("steam")) << "Game" << true << 0 << 518 << false;
    }
    void boostListSizes()
    {
        QFETCH(QVariant, profilesValue);
        QFETCH(QString, title);
        QFETCH(bool, withDatabase);
        QFETCH(int, areaHeight);
        QFETCH(int, buttonTop);
        QFETCH(bool, scrollBar);
        QVariantMap game{{QStringLiteral("id"), QStringLiteral("g1")}};
        if (profilesValue.isValid())
            game.insert(QStringLiteral("profiles"), profilesValue);
        Fixture f(withDatabase ? lookupOf({{QStringLiteral("Game"), game}}) : GameLookup());
        f.root.show();
        // A list shown earlier is replaced whatever comes next.
        f.page->buildPlatformBoostSection(QStringLiteral("Game"));
        f.page->buildPlatformBoostSection(title);

        QScrollArea *area = f.page->boostScroll();
        QCOMPARE(!area->isHidden(), areaHeight > 0);
        QCOMPARE(area->property("boostHasItems").toBool(), areaHeight > 0);
        QCOMPARE(area->property("boostHasScroll").toBool(), scrollBar);
        if (areaHeight > 0)
            QCOMPARE(area->geometry(), QRect(60, 328, 299, areaHeight));
        QCOMPARE(f.page->tapButton()->geometry(), QRect(60, buttonTop, 299, 48));
        QCOMPARE(f.page->tapButton()->property("tapDynamicY").toInt(), buttonTop);
        QCOMPARE(!f.page->boostTrack()->isHidden(), scrollBar);
        if (scrollBar)
            QCOMPARE(f.page->boostTrack()->geometry(), QRect(364, 334, 5, 157));
        QCOMPARE(f.page->boostList()->cardCount(), areaHeight > 0 ? profilesValue.toList().size() : 0);
    }

    void thumbPosition_data()
    {
        QTest::addColumn<int>("minimum");
        QTest::addColumn<int>("maximum");
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("position");
        QTest::newRow("top") << 0 << 100 << 0 << 0;
        QTest::newRow("bottom") << 0 << 100 << 100 << 33;
        QTest::newRow("half: 16.5 goes away from zero") << 0 << 2 << 1 << 17;
        QTest::newRow("offset minimum") << 10 << 110 << 60 << 17;
        QTest::newRow("no range") << 10 << 10 << 10 << 0;
        QTest::newRow("reversed range") << 10 << 5 << 7 << 0;
        QTest::newRow("value past the end") << 0 << 100 << 150 << 33;
        QTest::newRow("value before the start") << 0 << 100 << -50 << 0;
    }
    void thumbPosition()
    {
        QFETCH(int, minimum);
        QFETCH(int, maximum);
        QFETCH(int, value);
        QFETCH(int, position);
        QCOMPARE(PlatformBoostList::thumbPosition(minimum, maximum, value, 157, 124), position);
    }

    void thumbFollowsTheList()
    {
        Fixture f(lookupOf({{QStringLiteral("Game"), {{"id", "g1"}, {"profiles", profiles(6)}}}}));
        f.root.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.root));
        f.page->buildPlatformBoostSection(QStringLiteral("Game"));
        QScrollBar *bar = f.page->boostScroll()->verticalScrollBar();
        QTRY_VERIFY(bar->maximum() > 0);
        QWidget *thumb = f.named(QStringLiteral("PlatformBoostScrollBarThumb"));
        bar->setValue(bar->maximum());
        QCOMPARE(thumb->pos(), QPoint(0, 33));
        bar->setValue(bar->minimum());
        QCOMPARE(thumb->pos(), QPoint(0, 0));
    }

    void switchesAreStoredAndShared()
    {
        // The connect flow reads the same switches from the cache database's record.
        const QVariantList list = {
            QVariantMap{{"id", "steam"}, {"title", "STEAM Client"}, {"udp_ports", QVariantList{"27015"}}},
            QVariantMap{{"id", "discord"}, {"title", "Discord"}, {"udp_ports", QVariantList{"50000"}}},
            QVariantMap{{"id", "  "}, {"profile_id", "bnet"}, {"name", "Battle.net"}}, QVariant(42)};
        QVERIFY(DatabaseManager::instance()->saveGames({QVariantMap{
            {"id", "g-switch"}, {"name", "Switch Game"}, {"status", "active"}, {"profiles", list}}}));
        QSettings().remove(QStringLiteral("platform_boost"));
        Fixture f;
        f.page->buildPlatformBoostSection(QStringLiteral("Switch Game"));
        QCOMPARE(f.page->boostList()->cardCount(), 4);
        QVERIFY(f.card(QStringLiteral("bnet")));
        QCOMPARE(f.card(QStringLiteral("bnet"))->property("profileId").toString(), QStringLiteral("bnet"));
        // Steam is on until switched off; the others are off.
        QCOMPARE(f.knob(QStringLiteral("steam"))->pos(), QPoint(21, 3));
        QCOMPARE(f.knob(QStringLiteral("discord"))->pos(), QPoint(3, 3));
        auto connectFlowUdp = [] {
            QStringList udp, tcp, domains;
            GamePorts::collectGameTraffic(QStringLiteral("Switch Game"), udp, tcp, domains);
            return udp;
        };
        QCOMPARE(connectFlowUdp(), QStringList{"27015"});

        f.hit(QStringLiteral("steam"))->click();
        f.hit(QStringLiteral("discord"))->click();
        QCOMPARE(f.knob(QStringLiteral("steam"))->pos(), QPoint(3, 3));
        QCOMPARE(QSettings().value(GamePlatform::platformBoostSettingsKey("g-switch", "steam")),
                 QVariant(false));
        QCOMPARE(connectFlowUdp(), QStringList{"50000"});

        // A rebuild reads the stored values; the old cards are gone for
        // every lookup at once.
        QPointer<QWidget> oldSteam = f.card(QStringLiteral("steam"));
        f.page->buildPlatformBoostSection(QStringLiteral("Switch Game"));
        QVERIFY(oldSteam);
        QVERIFY(oldSteam->isHidden());
        QVERIFY(f.card(QStringLiteral("steam")) != oldSteam);
        QCOMPARE(f.root.findChildren<QWidget *>(QStringLiteral("PlatformBoostCard_steam")).size(), 1);
        QCOMPARE(f.knob(QStringLiteral("steam"))->pos(), QPoint(3, 3));
        QCOMPARE(f.knob(QStringLiteral("discord"))->pos(), QPoint(21, 3));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!oldSteam);
    }
};

QTEST_MAIN(TestConnectionPage)
#include "tst_connectionpage.moc"
