// The games grid and the home favourites on hosts built like the Games and
// home sections, with covers and logos drawn here and put into the pixmap
// cache (nothing is downloaded), saved as PNGs for a person to look at.
//
//   QUORLIX_SCREENSHOT_DIR   where the PNGs go (required)

#include "resources/BundledFonts.h"
#include "services/GamesCatalogue.h"
#include "ui/pages/games/GamesBoardState.h"
#include "ui/pages/games/GamesGrid.h"
#include "ui/pages/games/ImageCache.h"
#include "ui/pages/home/HomeFavorites.h"
#include "ui/widgets/HoverPartner.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QEnterEvent>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPixmapCache>
#include <QPushButton>
#include <QScrollArea>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <cstdio>

namespace {

QString g_folder;
int g_failures = 0;

void save(QWidget *widget, const QString &name)
{
    const QString path = QDir(g_folder).filePath(name);
    const QImage image = widget->grab().toImage();
    if (image.isNull() || !image.save(path, "PNG")) {
        std::fprintf(stderr, "could not save %s\n", qPrintable(path));
        ++g_failures;
        return;
    }
    std::printf("%s %dx%d\n", qPrintable(path), image.width(), image.height());
}

void settle(QWidget *window)
{
    window->show();
    (void)QTest::qWaitForWindowExposed(window);
    QTest::qWait(80);
}

QImage drawnCover(const QString &title, int hue, const QSize &size)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, size.width(), size.height());
    gradient.setColorAt(0, QColor::fromHsv(hue, 160, 200));
    gradient.setColorAt(1, QColor::fromHsv((hue + 40) % 360, 200, 70));
    painter.fillRect(image.rect(), gradient);
    painter.setPen(QColor(255, 255, 255, 220));
    QFont font(QStringLiteral("Inter"));
    font.setPixelSize(size.height() / 8);
    font.setWeight(QFont::Bold);
    painter.setFont(font);
    painter.drawText(image.rect().adjusted(6, 6, -6, -6), Qt::AlignCenter | Qt::TextWordWrap, title);
    return image;
}

// Tile and card hover, as the window's event filter does it.
class HoverRelay : public QObject
{
public:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        HoverPartner::handleEnterLeave(watched, event);
        return false;
    }
};

class EventCounter : public QObject
{
public:
    EventCounter(QEvent::Type type, int *count) : m_type(type), m_count(count) {}
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == m_type)
            ++*m_count;
        return false;
    }

private:
    QEvent::Type m_type;
    int *m_count;
};

void hover(QWidget *hit)
{
    QEnterEvent enter(QPointF(20, 20), QPointF(20, 20), hit->mapToGlobal(QPointF(20, 20)));
    QApplication::sendEvent(hit, &enter);
}

// The sections' thin scroll bar.
const QString kThinScroll = QStringLiteral(
    "QScrollArea{background: transparent;}QScrollArea > QWidget > QWidget{background: transparent;}"
    "QScrollBar:vertical{background: transparent;width:6px;margin:0;}"
    "QScrollBar::handle:vertical{background: rgba(255,255,255,0.12);border-radius:3px;min-height:24px;}"
    "QScrollBar::add-line:vertical,QScrollBar::sub-line:vertical{height:0;}"
    "QScrollBar::add-page:vertical,QScrollBar::sub-page:vertical{background: transparent;}");

const char *const kTitles[] = {"Apex Legends",
                               "Counter-Strike 2",
                               "Dota 2",
                               "Valorant",
                               "Fortnite",
                               "Rocket League",
                               "Overwatch 2",
                               "A game with a very long title indeed",
                               "Rust",
                               "PUBG",
                               "Warzone",
                               "Halo Infinite",
                               "Forza Horizon 5",
                               "EA FC 25"};

struct GamesScene
{
    GamesScene(ImageCache *images, GamesBoardState *board, HoverRelay *relay)
    {
        window.setObjectName(QStringLiteral("GamesSectionWrap"));
        window.setAttribute(Qt::WA_StyledBackground);
        window.setStyleSheet(
            QStringLiteral("QWidget#GamesSectionWrap{background: qlineargradient(x1:0, y1:0, "
                           "x2:1, y2:1, stop:0.0217 #414245, stop:0.4205 #111317);}"));
        window.resize(1300, 637);
        section = new QWidget(&window);
        section->setObjectName(QStringLiteral("GamesSection"));
        section->setAttribute(Qt::WA_StyledBackground);
        section->setStyleSheet(
            QStringLiteral("QWidget#GamesSection{background-color:#111317;border-radius:19px;}"));
        section->setGeometry(1, 1, 1298, 635);
        scroll = new QScrollArea(section);
        scroll->setGeometry(0, 90, 1298, 525);
        scroll->setFrameShape(QFrame::NoFrame);
        scroll->setWidgetResizable(true);
        scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        scroll->setStyleSheet(kThinScroll);
        content = new QWidget;
        content->setObjectName(QStringLiteral("GamesTilesContent"));
        content->setAttribute(Qt::WA_StyledBackground);
        content->setStyleSheet(QStringLiteral("background: transparent;"));
        scroll->setWidget(content);
        message = new QLabel(content);
        message->setGeometry(0, 20, 1298, 40);
        message->setAlignment(Qt::AlignCenter);
        message->setStyleSheet(QStringLiteral("color: #707174;background: transparent;font-family: Inter;"
                                              "font-size: 14px;font-weight: 500;"));
        message->hide();
        state->catalogueLoaded = true;
        grid = new GamesGrid({section, scroll, content, message}, state, board, images,
                             GameTileTimings{2000, 2020}, relay, &window);
    }
    QWidget window;
    QWidget *section;
    QScrollArea *scroll;
    QWidget *content;
    QLabel *message;
    std::shared_ptr<CatalogueState> state = std::make_shared<CatalogueState>();
    GamesGrid *grid;
};

struct HomeScene
{
    HomeScene(ImageCache *images, GamesBoardState *board, HoverRelay *relay)
    {
        window.setObjectName(QStringLiteral("ShotBackdrop"));
        window.setAttribute(Qt::WA_StyledBackground);
        window.setStyleSheet(QStringLiteral("QWidget#ShotBackdrop{background:#0B0C0F;}"));
        window.resize(680, 422);
        section = new QWidget(&window);
        section->setObjectName(QStringLiteral("ConnectionsSection"));
        section->setAttribute(Qt::WA_StyledBackground);
        section->setStyleSheet(QStringLiteral("QWidget#ConnectionsSection{background-color:#111317;"
                                              "border-radius:20px;border:1px solid #414245;}"));
        section->setGeometry(20, 20, 640, 382);
        rocket = new QLabel(section);
        rocket->setGeometry(281, 82, 78, 78);
        rocket->setStyleSheet(QStringLiteral("background: transparent;"));
        rocket->setPixmap(QPixmap(QStringLiteral(":/icons/home-ready-rocket.png"))
                              .scaled(78, 78, Qt::KeepAspectRatio, Qt::SmoothTransformation));
        title = new QLabel(section);
        title->setAlignment(Qt::AlignCenter);
        hint = new QLabel(section);
        hint->setWordWrap(true);
        hint->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        addGame = new QPushButton(section);
        addGame->setObjectName(QStringLiteral("HomeAddGameBtn"));
        wrap = new QWidget(section);
        wrap->setGeometry(0, 0, 640, 382);
        wrap->setStyleSheet(QStringLiteral("background: transparent;"));
        auto *stripTitle = new QLabel(QStringLiteral("Favorite games"), wrap);
        stripTitle->setGeometry(24, 24, 592, 24);
        stripTitle->setStyleSheet(QStringLiteral("color:#FFFFFF;background: transparent;font-family: Inter;"
                                                 "font-size: 16px;font-weight: 600;"));
        auto *scroll = new QScrollArea(wrap);
        scroll->setGeometry(24, 72, 592, 286);
        scroll->setFrameShape(QFrame::NoFrame);
        scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        scroll->setStyleSheet(kThinScroll);
        host = new QWidget;
        host->setObjectName(QStringLiteral("HomeFavCardsHost"));
        host->setAttribute(Qt::WA_StyledBackground);
        host->setStyleSheet(QStringLiteral("background: transparent;"));
        scroll->setWidget(host);
        favourites =
            new HomeFavorites({section, wrap, host, rocket, title, hint, addGame, stripTitle, scroll}, board,
                              images, QStringLiteral("Vazirmatn"), relay, &window);
    }
    QWidget window;
    QWidget *section;
    QLabel *rocket, *title, *hint;
    QPushButton *addGame;
    QWidget *wrap;
    QWidget *host;
    HomeFavorites *favourites;
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    g_folder = qEnvironmentVariable("QUORLIX_SCREENSHOT_DIR");
    if (g_folder.isEmpty()) {
        std::fprintf(stderr, "QUORLIX_SCREENSHOT_DIR is not set\n");
        return 2;
    }
    QDir().mkpath(g_folder);
    applyBundledDefaultFont();
    // The virtual display's pointer would otherwise hover whatever lies in its middle.
    QCursor::setPos(1919, 1079);

    QTemporaryDir data;
    const ServiceConfig config(QUrl(QStringLiteral("http://127.0.0.1:9")), QUrl(), QUrl());
    ImageCache images(config, data.path(), nullptr, nullptr, 30000);
    HoverRelay relay;

    QList<GameApiItem> items;
    int n = 0;
    for (const char *title : kTitles) {
        for (const char *platform : {"PC", "PlayStation 5"}) {
            GameApiItem item;
            item.id = QString::number(++n);
            item.title = QString::fromUtf8(title);
            item.category = QString::fromLatin1(platform);
            item.cover = QStringLiteral("/uploads/covers/%1.png").arg(n);
            item.logo = QStringLiteral("/uploads/logos/%1.png").arg(n);
            item.isFree = n % 3 == 0;
            item.freeDaysLeft = n % 6 == 0 ? -1 : n % 9;
            items << item;
            const QString url = config.resolveUploadsUrl(item.cover);
            QPixmapCache::insert(
                QStringLiteral("GamesCover:%1:160x239:r12").arg(url),
                ImageCache::roundedCoverPixmap(drawnCover(item.title, (n * 37) % 360, {320, 478}),
                                               ImageCache::kCoverSize, ImageCache::kCoverRadius));
            QPixmapCache::insert(
                QStringLiteral("HomeFavLogo:%1:54x54:r10").arg(config.resolveUploadsUrl(item.logo)),
                ImageCache::roundedFitPixmap(drawnCover(item.title.left(1), (n * 37) % 360, {108, 108}),
                                             ImageCache::kLogoSize, ImageCache::kLogoRadius));
        }
    }

    GamesBoardState board(nullptr);
    board.setFavorite(QStringLiteral("Dota 2"), QStringLiteral("PC"), QStringLiteral("/uploads/logos/5.png"),
                      true);
    {
        GamesScene scene(&images, &board, &relay);
        *scene.state->items = items;
        scene.grid->setPcMode(true);
        settle(&scene.window);
        save(&scene.window, QStringLiteral("games-grid-pc.png"));

        // The favourite (Dota 2), to show the filled heart.
        GameTile *tile = scene.grid->tiles().value(2);
        hover(tile->hit());
        QTest::qWait(50);
        save(&scene.window, QStringLiteral("games-tile-hovered.png"));

        // The real pointer of the virtual display: over the tile, then onto its heart.
        int hitLeaves = 0;
        EventCounter counter(QEvent::Leave, &hitLeaves);
        tile->hit()->installEventFilter(&counter);
        QCursor::setPos(tile->mapToGlobal(QPoint(60, 150)));
        QTest::qWait(150);
        QCursor::setPos(tile->heart()->mapToGlobal(QPoint(11, 11)));
        QTest::qWait(150);
        std::printf("pointer onto the heart: hit area left %d time(s), heart %s\n", hitLeaves,
                    tile->heart()->isVisible() ? "shown" : "hidden");
        QCursor::setPos(1919, 1079);
        QTest::qWait(150);
        std::printf("pointer off the tile: heart %s\n", tile->heart()->isVisible() ? "shown" : "hidden");
        tile->hit()->removeEventFilter(&counter);

        scene.grid->setPcMode(false);
        QTest::qWait(50);
        save(&scene.window, QStringLiteral("games-grid-console.png"));
        GameTile *console = scene.grid->tiles().value(2);
        console->hit()->click();
        QTest::qWait(1000);
        save(&scene.window, QStringLiteral("games-console-bar.png"));

        board.selectCategory(3);
        scene.grid->reloadGamesGrid();
        QTest::qWait(50);
        save(&scene.window, QStringLiteral("games-grid-empty-voice.png"));
    }
    {
        HomeScene scene(&images, &board, &relay);
        for (int i : {1, 4, 8, 15, 21})
            board.setFavorite(items.at(i).title, GamesBoardState::platformName(i % 2 == 0), items.at(i).logo,
                              true);
        scene.favourites->rebuildHomeFavorites();
        settle(&scene.window);
        hover(scene.favourites->cards().value(1)->findChild<QPushButton *>(QStringLiteral("HomeFavCardHit")));
        QTest::qWait(50);
        save(&scene.window, QStringLiteral("home-favourites-hovered.png"));
    }
    GamesBoardState none(nullptr);
    for (const char *language : {"en-US", "fa-IR"}) {
        HomeScene scene(&images, &none, &relay);
        scene.favourites->retranslateHomeEmptyState(QString::fromLatin1(language));
        settle(&scene.window);
        save(&scene.window, QStringLiteral("home-empty-%1.png").arg(QString::fromLatin1(language)));
    }
    return g_failures == 0 ? 0 : 1;
}
