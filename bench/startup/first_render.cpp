// First grid render of the client's window with a large catalogue on disk:
// in one process, a private home is seeded with a 2,000-game catalogue copy
// and 20 favourites; then the client's window is built (its pages too, the
// sign-in page put aside as after a sign-in) and shown again and again, and
// the time from the start of building to the window's first show and to the
// Games grid's first render (its rows in view, once a worker thread has read
// the disk copy) and to its last tile is taken. The window's own first show
// is the
// baseline of the render. Prints the medians and their ratio. (The process
// start-up beside an empty window is bench_startup's figure.)
//
//   quorlix_bench_first_render [rounds]    (default 9)
//   quorlix_bench_first_render --seed-only [--signed-in]
//       fills the current home and quits (bench_startup seeds its private
//       home so); --signed-in also stores a remembered sign-in

#include "app/ClientComposition.h"
#include "bench/support/SampledCases.h"
#include "resources/BundledFonts.h"
#include "services/AccountStore.h"
#include "services/GamesCache.h"
#include "storage/DatabaseManager.h"
#include "ui/mainwindow/MainWindow.h"
#include "ui/pages/games/GamesGrid.h"
#include "ui/pages/games/GamesSection.h"
#include "ui/pages/signin/AuthPage.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

using BenchCases::median;

constexpr int kGames = 2000;
constexpr int kFavourites = 20;

bool seed(bool signedIn)
{
    const QString dataFolder = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    QDir().mkpath(dataFolder + QStringLiteral("/cache"));
    if (!DatabaseManager::instance()->initialize())
        return false;
    QJsonArray games;
    for (int i = 0; i < kGames; ++i) {
        const bool console = i % 10 == 9;
        games.append(
            QJsonObject{{"id", QStringLiteral("g%1").arg(i)},
                        {"name", QStringLiteral("Game number %1").arg(i)},
                        {"category", console ? QStringLiteral("PlayStation 5") : QStringLiteral("PC")},
                        {"type", QStringLiteral("Shooter")},
                        {"cover", QStringLiteral("/uploads/covers/%1.png").arg(i)},
                        {"logo", QStringLiteral("/uploads/logos/%1.png").arg(i)}});
    }
    const GamesCache cache;
    if (!cache.saveGamesCache(cache.path(), QJsonDocument(games).toJson(QJsonDocument::Compact)))
        return false;
    for (int i = 0; i < kFavourites; ++i) {
        if (!DatabaseManager::instance()->addFavorite(QStringLiteral("Game number %1").arg(i * 7),
                                                      QStringLiteral("PC"), QString()))
            return false;
    }
    if (signedIn) {
        AccountStore store;
        AccountStore::Account account;
        account.token = QStringLiteral("bench-token");
        account.sessionId = QStringLiteral("bench-session");
        account.userId = QStringLiteral("7");
        account.email = QStringLiteral("bench@example.com");
        account.firstName = QStringLiteral("Bench");
        store.storeSignIn(account);
        store.setValue(AccountStore::Remember, true);
    }
    return true;
}

// Pumps the loop until done() or 10 s.
template <typename Done> bool pumpUntil(Done done)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
}

class ShowWatch : public QObject
{
public:
    bool shown = false;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Show)
            shown = true;
        return false;
    }
};

} // namespace

int main(int argc, char *argv[])
{
    const bool seedOnly = argc > 1 && QByteArray(argv[1]) == "--seed-only";
    QTemporaryDir home;
    if (!seedOnly) {
        // A private home, so nothing of a real install is read or changed.
        if (!home.isValid())
            return 1;
        for (const char *sub : {"data", "config", "cache"}) {
            QDir(home.path()).mkpath(QLatin1String(sub));
            qputenv((QByteArray("XDG_") + QByteArray(sub).toUpper() + "_HOME").constData(),
                    (home.path() + QLatin1Char('/') + QLatin1String(sub)).toLocal8Bit());
        }
        qputenv("HOME", home.path().toLocal8Bit());
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        for (const char *origin : {"QUORLIX_SERVICE_ORIGIN", "QUORLIX_DISCORD_ORIGIN", "QUORLIX_GEO_ORIGIN",
                                   "QUORLIX_SITE_ORIGIN"})
            qputenv(origin, "http://127.0.0.1:9");
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorlix"));
    QApplication::setOrganizationName(QStringLiteral("Quorlix"));
    if (!seed(seedOnly && QCoreApplication::arguments().contains(QStringLiteral("--signed-in")))) {
        std::fprintf(stderr, "could not seed the catalogue and favourites\n");
        return 1;
    }
    if (seedOnly)
        return 0;
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 9;

    applyBundledDefaultFont();
    QFile styleSheet(QStringLiteral(":/style.qss"));
    if (styleSheet.open(QIODevice::ReadOnly))
        app.setStyleSheet(QString::fromUtf8(styleSheet.readAll()));

    std::vector<double> clientBuilt, clientShown, clientRendered, clientFilled;
    int tiles = 0;
    for (int round = 0; round <= rounds; ++round) { // round 0 warms up
        QElapsedTimer clock;
        ShowWatch clientWatch;
        bool rendered = false, filled = false;
        double shownAt = -1, renderedAt = -1, filledAt = -1;
        clock.restart();
        std::unique_ptr<MainWindow> window = createMainWindow();
        // Signed in: the grid is built once the sign-in page is out of the way.
        window->authPage()->hide();
        window->buildPages();
        const double builtAt = clock.nsecsElapsed() / 1e6;
        QObject::connect(window->gamesSection()->grid(), &GamesGrid::rendered, [&] {
            if (!rendered)
                renderedAt = clock.nsecsElapsed() / 1e6;
            rendered = true;
        });
        // The grid makes the rows in view with the render and the rest in
        // later turns of the event loop.
        QObject::connect(window->gamesSection()->grid(), &GamesGrid::filled, [&] {
            if (!filled)
                filledAt = clock.nsecsElapsed() / 1e6;
            filled = true;
        });
        window->installEventFilter(&clientWatch);
        window->show();
        if (!pumpUntil([&] {
                if (clientWatch.shown && shownAt < 0)
                    shownAt = clock.nsecsElapsed() / 1e6;
                return clientWatch.shown && rendered && filled;
            }))
            return 1;
        tiles = window->gamesSection()->grid()->tiles().size();
        if (round > 0) {
            clientBuilt.push_back(builtAt);
            clientShown.push_back(shownAt);
            clientRendered.push_back(renderedAt);
            clientFilled.push_back(filledAt);
        }
        window->setAttribute(Qt::WA_DeleteOnClose, false);
        window.reset();
        QCoreApplication::processEvents();
    }

    const double shown = median(clientShown);
    std::printf("cores (nproc): %d\n", QThread::idealThreadCount());
    std::printf("rounds: %d (medians), catalogue on disk: %d games, favourites: %d, tiles rendered: %d\n",
                rounds, kGames, kFavourites, tiles);
    std::printf("client window built:      %.1f ms\n", median(clientBuilt));
    std::printf("client window shown:      %.1f ms\n", shown);
    std::printf("first games grid render:  %.1f ms (ratio to the first show %.2f)\n", median(clientRendered),
                median(clientRendered) / shown);
    std::printf("games grid filled:        %.1f ms (ratio to the first show %.2f)\n", median(clientFilled),
                median(clientFilled) / shown);
    return 0;
}
