// Starts the client as its binary does, signs nobody in and saves what the
// window shows, so a person can compare the layout and palette for each
// language; or, with QUORLIX_SCREENSHOT_CHECK=1, looks at the view's widget
// geometry instead (LayoutCheck) and prints what it finds.
//
//   QUORLIX_SCREENSHOT_FILE      where the PNG goes (required unless checking)
//   QUORLIX_SCREENSHOT_LANGUAGE  "en-US" (default) or "fa-IR"
//   QUORLIX_SCREENSHOT_SETTLE_MS how long after the view is ready the shot is
//                                taken (default 500: fades and first ticks end)
//   QUORLIX_SCREENSHOT_DELAY_MS  the least time from start to the shot (default 0)
//   QUORLIX_SCREENSHOT_CHECK     "1": check the geometry, save nothing; exit 3
//                                when a fault is found
//   QUORLIX_SCREENSHOT_VIEW      one of the views below (default "home")
//
// Views (every one in English and Persian):
//   home (the sign-in page put aside), home-page, home-filled, home-lower (the
//   whole home page: last session empty, then with favourites and a last
//   session; the dashboard's lower row; fixed hardware figures);
//   games-pc, games-console, games-small (a small catalogue, the last in the
//   1080 x 608 window);
//   busy-overlay, busy-download, busy-blocked (the busy overlay over home, the
//   update download at half, the version refused);
//   landing (the Connections landing a click on Network shows);
//   settings (the whole Setting section), settings-open-language,
//   settings-open-size, settings-open-accuracy, settings-open-protocol,
//   settings-open-ipversion, settings-open-redirect (each select's popup),
//   settings-open-up (a popup above its field, the window low on the screen),
//   settings-tooltip (an info icon's card);
//   signin-form, signin-error, signin-progress, signin-download,
//   signin-overlay (the Discord button pressed: the browser-wait overlay);
//   account, account-open (the header's pill, its pop-up), profile,
//   profile-logout;
//   header-promo, header-search, ping-sweep, notifications (against the
//   development service, run in this process);
//   connection-idle-0/2/5, connection-connecting-0/2/5,
//   connection-connected-0/2/5 (a game's connection page with 0, 2 or 5
//   boost profiles in each state of the connect button; the clocks held);
//   connection-reopened (the connected game opened again),
//   connection-second-game (another game opened while one is connected);
//   connection-dialog (the boost explanation), connection-routes1/2/3 (the
//   routing diagram), connection-route-settings (its panel open);
//   connection-region, connection-region-auto (the server region page in the
//   Manual and Automatic views), connection-region-search (relays found by a
//   search), connection-region-relays (one region's relays),
//   connection-region-picked (the relay card after a pick);
//   console-overlay (a console game's set-up as it first shows),
//   console-overlay-ready (the console's values arrived, the routes being
//   analysed), console-overlay-failed (the gateway could not start).
// Earlier names still taken: connection-boost2, connection-boost5,
// connection-idle, connection-connecting, connection-connected (two boost
// profiles) and settings-open-below (the accuracy select).

#include "LayoutCheck.h"
#include "app/ClientComposition.h"
#include "app/Startup.h"
#include "connection/ConnectFlow.h"
#include "connection/ConsoleConnect.h"
#include "connection/LivePing.h"
#include "connection/RelayChoice.h"
#include "connection/SessionData.h"
#include "i18n/TranslationManager.h"
#include "services/AccountStore.h"
#include "services/GamesCatalogue.h"
#include "services/NotificationService.h"
#include "services/ServiceClient.h"
#include "services/ServiceConfig.h"
#include "services/SignInRules.h"
#include "services/VersionGate.h"
#include "storage/DatabaseManager.h"
#include "tests/support/FakeSystemInfo.h"
#include "ui/mainwindow/MainWindow.h"
#include "ui/mainwindow/NotificationBell.h"
#include "ui/pages/connection/ConnectDisplay.h"
#include "ui/pages/connection/ConnectionPage.h"
#include "ui/pages/connection/PingOptimizerPage.h"
#include "ui/pages/connection/RouteArea.h"
#include "ui/pages/connection/RouteSettings.h"
#include "ui/pages/games/GamesBoardState.h"
#include "ui/pages/notifications/NotificationDropdown.h"
#include "ui/pages/signin/AuthPage.h"
#include "ui/pages/signin/AuthProgressOverlay.h"
#include "ui/pages/signin/LoginProgressRun.h"
#include "ui/widgets/ProxyStatusOverlay.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QEnterEvent>
#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>

#ifdef QUORLIX_HAVE_DEVSERVICE
#include "support/fakeservice/FakeService.h"
#endif

// Takes the addresses the client hands to the browser, so that a shot never
// starts one.
class BrowserStandIn : public QObject
{
    Q_OBJECT
public slots:
    void open(const QUrl &url) { std::printf("browser would open %s\n", qPrintable(url.toString())); }
};

namespace {

// A progress run on a clock of its own, stepped to the shown percent.
void stepProgressTo(AuthPage *page, int percent, const QString &lastText = QString())
{
    auto now = std::make_shared<qint64>(1000);
    auto *run = new LoginProgressRun([now] { return *now; }, [](int, std::function<void()>) {}, page);
    page->setProgressRun(run);
    page->setFormEnabled(false);
    page->showLoginProgress();
    page->setLoginProgress(35, QStringLiteral("Authentication ..."));
    page->setLoginProgress(70, QStringLiteral("Checking required downloads\u2026"));
    if (!lastText.isEmpty())
        page->setLoginProgress(percent, lastText);
    for (int i = 0; i < 10000 && run->shown() < percent && run->isTicking(); ++i) {
        *now += LoginProgressRun::kTickMs;
        run->tick();
    }
}

void stageBusy(MainWindow *window, const QString &view)
{
    if (view == QLatin1String("busy-download")) {
        // What the update flow shows at half of a 50 MB installer.
        window->busyOverlay()->setGeometry(window->rect());
        window->busyOverlay()->showProgress(QStringLiteral("Downloading update 2.0.1..."), 50,
                                            25 * 1024 * 1024, 50 * 1024 * 1024);
    } else if (view == QLatin1String("busy-blocked") && window->services().versionGate) {
        // The service's refusal, handled as the gate handles it.
        ServiceApi::Reply refusal;
        refusal.httpStatus = 200;
        refusal.body = "{\"valid\":false}";
        window->services().versionGate->onVersionValidateReply(refusal);
    }
}

// A signed-in account with a known location, as the header and the Profile
// section show it.
void stageAccount(MainWindow *window)
{
    if (AccountStore *account = window->services().account) {
        account->setValue(AccountStore::FirstName, QStringLiteral("Ana"));
        account->setValue(AccountStore::UserEmail, QStringLiteral("ana.rostami@example.test"));
        account->setValue(AccountStore::Isp, QStringLiteral("Example Telecom"));
        account->setValue(AccountStore::Country, QStringLiteral("Germany"));
    }
    window->refreshAccountInfo();
}

// A small catalogue of PC and console entries, as the service sends it.
void stageCatalogue(MainWindow *window)
{
    GamesCatalogue *catalogue = window->gamesCatalogue();
    if (!catalogue)
        return;
    const char *const pc[][2] = {{"Arena Strike", "FPS"},       {"Sky Raiders", "MMO"},
                                 {"Chess Masters", "Strategy"}, {"Voice Hub", "voice"},
                                 {"Rally Kings", "Racing"},     {"Night Market", "Browser"},
                                 {"Stream Deck", "streaming"},  {"Launcher Pro", "launcher"},
                                 {"Legends Online", "MOBA"},    {"Star Frontier", "Shooter"}};
    const char *const console[] = {"Kart Party", "Frontline 5", "Deep Dive"};
    QList<GameApiItem> items;
    int id = 0;
    for (const auto &entry : pc) {
        GameApiItem item;
        item.id = QString::number(++id);
        item.title = QLatin1String(entry[0]);
        item.category = QLatin1String(entry[1]);
        item.isFree = id == 2;
        item.freeDaysLeft = id == 2 ? 3 : -1;
        items << item;
    }
    for (const char *title : console) {
        GameApiItem item;
        item.id = QString::number(++id);
        item.title = QLatin1String(title);
        item.category = QStringLiteral("PlayStation 5");
        items << item;
    }
    *catalogue->items() = items;
    catalogue->state()->catalogueLoaded = true;
}

bool isHeaderView(const QString &view)
{
    return view.startsWith(QLatin1String("header-"));
}

// The header views talk to the development service: its sample catalogue
// with a few more titles (so a search fills all six rows) and its demo offer.
void startDevService()
{
#ifdef QUORLIX_HAVE_DEVSERVICE
    static FakeService service;
    if (!service.listen())
        return;
    service.loadSampleData();
    QJsonArray games = FakeService::sampleGames();
    for (const char *name : {"Arctic Arena", "Galaxy Raiders", "Pixel Racer Club", "Dragon Saga"}) {
        const QString slug = QString::fromLatin1(name).toLower().replace(QLatin1Char(' '), QLatin1Char('-'));
        games.append(
            QJsonObject{{QStringLiteral("id"), slug},
                        {QStringLiteral("name"), QLatin1String(name)},
                        {QStringLiteral("logo"), QStringLiteral("/uploads/logos/%1.png").arg(slug)}});
    }
    service.setGames(games);
    service.startSessionElsewhere();
    const QUrl origin = service.origin();
    ServiceConfig::setInstance(ServiceConfig(origin, origin, origin, origin));
    qputenv("QUORLIX_SCREENSHOT_TOKEN", service.currentToken().toUtf8());
#endif
}

// The server region page over a dozen cached relays with measured pings
// (two unknown): the Manual view, the Automatic view, a search, or one
// region's relays.
void stageServerRegion(MainWindow *window, const QString &view)
{
    struct Relay
    {
        const char *id, *name, *region, *country, *code, *city;
        int ping;
    };
    const Relay relays[] = {
        {"eu-fra-1", "Frankfurt 1", "Europe", "Germany", "DE", "Frankfurt", 38},
        {"eu-fra-2", "Frankfurt 2", "Europe", "Germany", "DE", "Frankfurt", 41},
        {"eu-ams-1", "Amsterdam 1", "Europe", "Netherlands", "NL", "Amsterdam", 45},
        {"eu-par-1", "Paris 1", "Europe", "France", "FR", "Paris", 52},
        {"eu-lon-1", "London 1", "Europe", "United Kingdom", "GB", "London", -1},
        {"eu-waw-1", "Warsaw 1", "Europe", "Poland", "PL", "Warsaw", -1},
        {"me-dxb-1", "Dubai 1", "Middle East", "United Arab Emirates", "AE", "Dubai", 96},
        {"as-ist-1", "Istanbul 1", "Asia", "Turkey", "TR", "Istanbul", 74},
        {"as-sin-1", "Singapore 1", "Asia", "Singapore", "SG", "Singapore", 181},
        {"na-nyc-1", "New York 1", "North America", "United States", "US", "New York", 110},
        {"sa-sao-1", "Sao Paulo 1", "South America", "Brazil", "BR", "Sao Paulo", 205},
        {"oc-syd-1", "Sydney 1", "Oceania", "Australia", "AU", "Sydney", 290},
    };
    QList<QVariantMap> records;
    QJsonObject pings;
    for (const Relay &r : relays) {
        records << QVariantMap{
            {"id", r.id},         {"name", r.name},       {"ip_address", "127.0.0.1"}, {"port", 50000},
            {"region", r.region}, {"country", r.country}, {"country_code", r.code},    {"city", r.city},
            {"status", "active"}};
        if (r.ping >= 0)
            pings.insert(QLatin1String(r.id), QJsonObject{{"ping", r.ping}});
    }
    DatabaseManager::instance()->replaceServersCache(records);
    QFile file(RelayChoice::serverPingsPath());
    if (file.open(QIODevice::WriteOnly))
        file.write(QJsonDocument(QJsonObject{{"servers", pings}}).toJson());
    file.close();
    window->reloadServerPicker();
    window->showServerRegionPage(true);
    if (view == QLatin1String("connection-region-auto")) {
        window->applyServerModeStyle(false);
    } else if (view == QLatin1String("connection-region-search")) {
        if (auto *edit = window->findChild<QLineEdit *>(QStringLiteral("SrvSearchEdit")))
            edit->setText(QStringLiteral("fra"));
    } else if (view == QLatin1String("connection-region-relays")) {
        window->showRegionServers(QStringLiteral("Europe"));
    } else if (view == QLatin1String("connection-region-picked")) {
        // A pick from a region's relays: the page closes onto the card.
        window->showRegionServers(QStringLiteral("Europe"));
        if (auto *row = window->findChild<QPushButton *>(QStringLiteral("SrvServerRow")))
            row->click();
    }
}

using Done = std::function<void()>;

// Calls `done` once `ready` holds (looked at every 50 ms); after `limitMs`
// it is called all the same, and the shot shows what there is.
void whenReady(QObject *context, std::function<bool()> ready, Done done, int limitMs = 15000)
{
    auto *timer = new QTimer(context);
    auto waited = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, context, [timer, waited, ready, done, limitMs] {
        *waited += 50;
        if (!ready() && *waited < limitMs)
            return;
        if (*waited >= limitMs)
            std::fprintf(stderr, "view not ready after %d ms; taken as it is\n", limitMs);
        timer->stop();
        timer->deleteLater();
        done();
    });
    timer->start(50);
}

// The number at a view name's end ("connection-idle-5"), or `fallback`.
int trailingNumber(const QString &view, int fallback)
{
    bool ok = false;
    const int n = view.section(QLatin1Char('-'), -1).toInt(&ok);
    return ok ? n : fallback;
}

// Older names of the connection views.
QString canonicalView(const QString &view)
{
    if (view == QLatin1String("connection-boost2") || view == QLatin1String("connection-idle"))
        return QStringLiteral("connection-idle-2");
    if (view == QLatin1String("connection-boost5"))
        return QStringLiteral("connection-idle-5");
    if (view == QLatin1String("connection-connecting") || view == QLatin1String("connection-connected"))
        return view + QStringLiteral("-2");
    if (view == QLatin1String("settings-open-below"))
        return QStringLiteral("settings-open-accuracy");
    return view;
}

// The connect button's states without a relay: the page is put where the
// connect flow would put it, on a clock held at a fixed time. A connection
// is the attempt of `title`, as the flow records it.
void stageConnectState(MainWindow *window, const QString &view, const QString &title)
{
    static qint64 now = 0;
    const std::shared_ptr<ConnectFlowState> &state = window->connectState();
    state->setClock([] { return now; });
    const bool connecting = view.startsWith(QLatin1String("connection-connecting"));
    const bool connected = view.startsWith(QLatin1String("connection-connected")) ||
                           view == QLatin1String("connection-reopened") ||
                           view == QLatin1String("connection-second-game");
    if (!connecting && !connected)
        return;
    auto attempt = std::make_shared<ConnectAttempt>();
    attempt->title = title;
    state->currentAttempt = attempt;
    state->kind = ConnectionKind::Pc;
    if (connecting) {
        window->resetConnectingTimer(true);
        now += 2400;
        for (int i = 0; i < 3; ++i)
            window->updateConnectingText();
        // The held clock keeps the seconds; the dots go on.
        window->connectDisplay()->connectingTimer()->stop();
        return;
    }
    window->connectDisplay()->showRelay(
        ConnectDisplay::RelayFrom::Connection,
        ConnectDisplay::Relay::fromRecord(
            QVariantMap{{"name", "Frankfurt"}, {"country_code", "DE"}, {"flag", QString()}},
            QStringLiteral("Auto"), true));
    state->lastShownSecond = -1;
    state->connectedClock.restart();
    now += (12 * 60 + 34) * 1000;
    window->connectDisplay()->showConnected();
    window->applyConnectButtonState(ButtonState::Connected);
    window->updateConnectedTime();
    // No relay answers here: the meters stop, and the cards show figures
    // such a connection has.
    window->services().livePing->reset();
    window->services().packetLoss->reset();
    window->showEstimatedPing(24);
    window->setGameRouteValue(QStringLiteral("1%"));
}

QVariantMap shotGame(const QString &id, const QString &name, int profiles)
{
    const QStringList names = {"Steam", "Discord", "Battle.net", "Epic Games Launcher", "Riot Client"};
    QVariantList list;
    for (int i = 0; i < profiles && i < names.size(); ++i)
        list << QVariantMap{{"id", QStringLiteral("p%1").arg(i)}, {"title", names.at(i)}};
    return {{"id", id}, {"name", name}, {"category", "Shooter"}, {"status", "active"}, {"profiles", list}};
}

// A PC game with boost profiles, opened as a games tile opens it; once its
// page is up (the stand-in sweep opens it), the view's state.
void stageConnection(MainWindow *window, const QString &view, Done done)
{
    const QString game = QStringLiteral("Counter Strike 2");
    const QString other = QStringLiteral("Arena Strike: Legends of the Northern Front");
    const bool stateView = view.startsWith(QLatin1String("connection-idle")) ||
                           view.startsWith(QLatin1String("connection-connecting")) ||
                           view.startsWith(QLatin1String("connection-connected"));
    DatabaseManager::instance()->saveGames(
        {shotGame(QStringLiteral("shot-game"), game, stateView ? trailingNumber(view, 2) : 2),
         shotGame(QStringLiteral("shot-other"), other, 1)});
    window->handleOpenConnectionsForGame(game, QString());
    ConnectionPage *page = window->connectionPageArea();
    whenReady(
        window, [page] { return page->header()->isVisible(); },
        [window, view, game, other, done] {
            if (view == QLatin1String("connection-dialog"))
                window->showPlatformBoostInfo();
            if (view.startsWith(QLatin1String("connection-routes")))
                window->updateRouteDiagram(view.right(1).toInt());
            if (view.startsWith(QLatin1String("connection-region")))
                stageServerRegion(window, view);
            if (view == QLatin1String("connection-route-settings")) {
                // Two TCP routes and one UDP route, the panel open over them.
                window->routeSettings()->tcpUp()->click();
                window->routeSettings()->tcpUp()->click();
                window->toggleRouteSettings();
            }
            stageConnectState(window, view, game);
            if (view == QLatin1String("connection-reopened") ||
                view == QLatin1String("connection-second-game")) {
                // Opened again through the same slot; the route cache the
                // first opening stored spares the sweep.
                window->handleOpenConnectionsForGame(
                    view == QLatin1String("connection-reopened") ? game : other, QString());
            }
            done();
        });
}

// Once the start-up fetch (with nobody signed in) is over, signs the
// development service's demo account in for this run, opens the drop-down
// and, when the lists are there, clicks the first personal row: it is read
// and expanded, its neighbours stay unread or read.
void stageNotifications(MainWindow *window, Done done)
{
    QTimer::singleShot(window->intervals().firstNotificationsMs + 200, window, [window, done] {
        const ClientServices &s = window->services();
        if (!s.serviceClient || !s.account || !s.notifications) {
            done();
            return;
        }
        s.serviceClient->send(
            ServiceApi::Endpoint::UserLogin,
            [window, done](const ServiceApi::Reply &reply) {
                window->services().account->keepForThisRun(AccountStore::Account::fromReply(reply.object()));
                window->onNotificationBellClicked();
                NotificationBell *bell = window->notificationBell();
                whenReady(
                    window, [bell] { return bell->list(NotificationService::Personal)->rows().size() > 1; },
                    [window, bell, done] {
                        const QList<NotifItem *> rows = bell->list(NotificationService::Personal)->rows();
                        if (rows.size() > 1)
                            window->services().notifications->markNotificationRead(
                                NotificationService::Personal, rows.at(1));
                        done();
                    });
            },
            QJsonObject{{QStringLiteral("email"), QStringLiteral("demo@quorlix.test")},
                        {QStringLiteral("password"), QStringLiteral("demo-password")}});
    });
}

// A console game opened as a games tile opens it: the set-up overlay over
// the connection page. For "console-overlay-ready" the console's network
// values arrive and the press's route analysis shows on the spinner line;
// for "console-overlay-failed" the boost then cannot start.
void stageConsoleOverlay(MainWindow *window, const QString &view, Done done)
{
    QVariantMap game{{"id", "shot-console"},
                     {"name", "Gran Turismo 7"},
                     {"category", "PlayStation 5"},
                     {"status", "active"},
                     {"udp_ports", QStringList{"3074", "3478-3480"}}};
    DatabaseManager::instance()->saveGames({game});
    if (view == QLatin1String("console-overlay")) {
        // Before the set-up: the overlay as the tile's click shows it.
        window->updateRoutingPcIcon(true);
        window->updateConnectionGameHeader(QStringLiteral("Gran Turismo 7"), QString());
        window->navigateToPage(2);
        window->showSnapshotOverlay(true);
        done();
        return;
    }
    window->handleOpenConnectionsForGame(QStringLiteral("Gran Turismo 7"), QString(),
                                         QStringLiteral("PlayStation 5"));
    QTimer::singleShot(600, window, [window, view, done] {
        if (ConsoleConnect *console = window->services().consoleConnect) {
            emit console->progressShown(
                QCoreApplication::translate("MainWindow", "Analyzing routes (Europe)"));
            if (view == QLatin1String("console-overlay-failed")) {
                emit console->statusChanged(QCoreApplication::translate("MainWindow", "Starting boost..."));
                emit console->progressEnded(ConnectFlow::failureMessage());
            }
        }
        done();
    });
}

// A select field of the Setting section opened, scrolled into the window.
void openSettingsSelect(MainWindow *window, const QString &view)
{
    const QHash<QString, QString> hits = {
        {"settings-open-language", "SettingsLangBoxHit"},
        {"settings-open-size", "SettingsScreenBoxHit"},
        {"settings-open-accuracy", "SettingsOptAccuracySelectBoxHit"},
        {"settings-open-up", "SettingsOptAccuracySelectBoxHit"},
        {"settings-open-protocol", "SettingsOptRouteProtocolSelectBoxHit"},
        {"settings-open-ipversion", "SettingsOptIpVersionSelectBoxHit"},
        {"settings-open-redirect", "SettingsAdvRedirectSelectBoxHit"},
    };
    auto *hit = window->findChild<QAbstractButton *>(hits.value(view));
    if (!hit)
        return;
    if (auto *scroll = window->findChild<QScrollArea *>(QStringLiteral("MainScrollArea")))
        scroll->ensureWidgetVisible(hit, 0, 60);
    hit->click();
}

void stageView(MainWindow *window, const QString &view, Done done)
{
    AuthPage *page = window->authPage();
    if (!page) {
        done();
        return;
    }
    if (view == QLatin1String("home") || view == QLatin1String("home-page") ||
        view == QLatin1String("home-lower")) {
        page->hide();
    } else if (view == QLatin1String("home-filled")) {
        page->hide();
        SessionData session;
        session.gameTitle = QStringLiteral("Arena Strike");
        session.duration = 3725;
        session.minimumPing = 31.4;
        session.averagePing = 42.6;
        session.averageJitter = 3.2;
        session.packetLoss = 0.5;
        session.sampleCount = 120;
        window->showLastSession(session);
    } else if (view.startsWith(QLatin1String("games-"))) {
        page->hide();
        stageCatalogue(window);
        window->openGamesPage();
        if (view == QLatin1String("games-console"))
            window->findChild<QPushButton *>(QStringLiteral("GamesConsoleBtn"))->click();
    } else if (view == QLatin1String("header-promo")) {
        page->hide();
        auto *pill = window->findChild<QWidget *>(QStringLiteral("HeaderSignUpCta"));
        whenReady(
            window, [pill] { return pill && pill->isVisible(); }, done);
        return;
    } else if (view == QLatin1String("header-search")) {
        page->hide();
        QTimer::singleShot(300, window, [window, done] {
            QWidget *bar = window->findChild<QWidget *>(QStringLiteral("HeaderSearchBar"));
            if (auto *edit = bar ? bar->findChild<QLineEdit *>() : nullptr)
                edit->setText(QStringLiteral("a"));
            auto *popup = window->findChild<QWidget *>(QStringLiteral("HeaderSearchPopup"));
            // The rows' logos come from the service after the rows.
            whenReady(
                window, [popup] { return popup && popup->isVisible(); },
                [window, done] { QTimer::singleShot(600, window, done); });
        });
        return;
    } else if (view == QLatin1String("notifications")) {
        page->hide();
        stageNotifications(window, done);
        return;
    } else if (view == QLatin1String("landing")) {
        page->hide();
        window->navGroup()->button(2)->click();
    } else if (view == QLatin1String("busy-overlay")) {
        page->hide();
        // Late enough for the page beneath to be laid out when the overlay
        // takes its snapshot; the settle time lets the fade-in end.
        QTimer::singleShot(500, window, [window, done] {
            window->busyOverlay()->showProgress(QStringLiteral("Stopping Proxy"), 50, 5242880, 10485760);
            done();
        });
        return;
    } else if (view.startsWith(QLatin1String("settings"))) {
        page->hide();
        window->navGroup()->button(3)->click();
        if (view == QLatin1String("settings-open-up"))
            window->move(window->x(), 1080 - 775 - 60);
        // After the move has reached the display.
        QTimer::singleShot(300, window, [window, view, done] {
            if (view.startsWith(QLatin1String("settings-open"))) {
                openSettingsSelect(window, view);
            } else if (view == QLatin1String("settings-tooltip")) {
                if (auto *icon = window->findChild<QWidget *>(QStringLiteral("SettingsOptSmartHelpIcon"))) {
                    QEnterEvent enter(QPointF(10, 10), QPointF(10, 10), icon->mapToGlobal(QPointF(10, 10)));
                    QApplication::sendEvent(icon, &enter);
                }
            }
            done();
        });
        return;
    } else if (view.startsWith(QLatin1String("account")) || view.startsWith(QLatin1String("profile"))) {
        page->hide();
        stageAccount(window);
        if (view.startsWith(QLatin1String("profile")))
            window->navGroup()->button(4)->click();
        QTimer::singleShot(300, window, [window, view, done] {
            if (view == QLatin1String("account-open"))
                window->toggleProfilePopup();
            else if (view == QLatin1String("profile-logout"))
                window->showLogoutConfirm();
            done();
        });
        return;
    } else if (view.startsWith(QLatin1String("console-overlay"))) {
        page->hide();
        stageConsoleOverlay(window, view, done);
        return;
    } else if (view.startsWith(QLatin1String("connection"))) {
        page->hide();
        stageConnection(window, view, done);
        return;
    } else if (view == QLatin1String("signin-error")) {
        page->showLoginForm();
        page->setFormEnabled(true);
        page->showError(QStringLiteral("Login failed. Email or password does not match."));
    } else if (view == QLatin1String("signin-progress")) {
        stepProgressTo(page, 50);
    } else if (view == QLatin1String("signin-download")) {
        const SignInRules::Stage stage = SignInRules::gamesDownloadStage(524288, 1048576);
        stepProgressTo(page, stage.percent, stage.text);
    } else if (view == QLatin1String("busy-download") || view == QLatin1String("busy-blocked")) {
        // The overlay's frosted backdrop is taken of the home view.
        page->hide();
        QTimer::singleShot(500, window, [window, view, done] {
            stageBusy(window, view);
            done();
        });
        return;
    } else if (view == QLatin1String("ping-sweep")) {
        // A PC game without measured pings opens the window's sweep page: the
        // sweep from app/ fetches the development service's relays and pings
        // them; the shot lands part-way through the analysis. The game opens
        // once the signed-in window has settled, as a user would open it.
        page->hide();
        QTimer::singleShot(100, window, [window, done] {
            window->handleOpenConnectionsForGame(QStringLiteral("Counter Strike 2"), QString());
            PingOptimizerPage *sweep = window->pingSweepPage();
            whenReady(
                window, [sweep] { return sweep->isVisible(); },
                [window, done] { QTimer::singleShot(1500, window, done); });
        });
        return;
    } else if (view == QLatin1String("signin-overlay")) {
        // The Discord button's own road, up to the wait for the browser.
        static BrowserStandIn browser;
        QDesktopServices::setUrlHandler(QStringLiteral("http"), &browser, "open");
        QDesktopServices::setUrlHandler(QStringLiteral("https"), &browser, "open");
        page->startDiscordLogin();
    }
    done();
}

// The PNG of the view: the whole page for the long views, the screen around
// the window where popups and cards are windows of their own, else the window.
QPixmap shotOf(MainWindow *window, const QString &view)
{
    QPixmap shot;
    QScreen *screen = window->screen();
    if (view == QLatin1String("settings") || view.startsWith(QLatin1String("home-"))) {
        // The whole scrolling page, not only what the window shows of it.
        if (auto *frame = window->findChild<QWidget *>(QStringLiteral("WindowFrame"))) {
            // The dashboard's lower row reaches below the window.
            if (view.startsWith(QLatin1String("home-")))
                frame->setFixedHeight(std::max({frame->height(), frame->minimumHeight(), 960}));
            shot = frame->grab();
            // The lower rows only: from just above the dashboard's lower row
            // to just below the help cards.
            QWidget *lower = frame->findChild<QWidget *>(QStringLiteral("DashboardLowerLeft"));
            QWidget *cards = frame->findChild<QWidget *>(QStringLiteral("HelpCardTutorials"));
            if (view == QLatin1String("home-lower") && lower && cards) {
                const int top = std::max(0, lower->y() - 20);
                shot = shot.copy(0, top, shot.width(), cards->geometry().bottom() + 21 - top);
            }
        }
    } else if ((view.startsWith(QLatin1String("settings-")) || view == QLatin1String("account-open") ||
                isHeaderView(view)) &&
               screen) {
        const QRect area = window->frameGeometry().adjusted(0, -200, 0, 200) & screen->geometry();
        shot = screen->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    } else if (screen) {
        shot = screen->grabWindow(window->winId());
    }
    if (shot.isNull())
        shot = window->grab();
    return shot;
}

int envInt(const char *name, int fallback)
{
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok && value >= 0 ? value : fallback;
}

} // namespace

// Every view this helper takes, in the order tools/screenshots.sh takes them.
const char *const kViews[] = {
    "home",
    "home-page",
    "home-filled",
    "home-lower",
    "games-pc",
    "games-console",
    "games-small",
    "busy-overlay",
    "busy-download",
    "busy-blocked",
    "landing",
    "settings",
    "settings-open-language",
    "settings-open-size",
    "settings-open-accuracy",
    "settings-open-protocol",
    "settings-open-ipversion",
    "settings-open-redirect",
    "settings-open-up",
    "settings-tooltip",
    "signin-form",
    "signin-error",
    "signin-progress",
    "signin-download",
    "signin-overlay",
    "account",
    "account-open",
    "profile",
    "profile-logout",
    "header-promo",
    "header-search",
    "ping-sweep",
    "notifications",
    "connection-idle-0",
    "connection-idle-2",
    "connection-idle-5",
    "connection-connecting-0",
    "connection-connecting-2",
    "connection-connecting-5",
    "connection-connected-0",
    "connection-connected-2",
    "connection-connected-5",
    "connection-reopened",
    "connection-second-game",
    "connection-dialog",
    "connection-routes1",
    "connection-routes2",
    "connection-routes3",
    "connection-route-settings",
    "connection-region",
    "connection-region-auto",
    "connection-region-search",
    "connection-region-relays",
    "connection-region-picked",
    "console-overlay",
    "console-overlay-ready",
    "console-overlay-failed",
};

int main(int argc, char *argv[])
{
    if (argc > 1 && qstrcmp(argv[1], "--views") == 0) {
        for (const char *name : kViews)
            std::printf("%s\n", name);
        return 0;
    }
    const bool check = qEnvironmentVariable("QUORLIX_SCREENSHOT_CHECK") == QLatin1String("1");
    const QString file = qEnvironmentVariable("QUORLIX_SCREENSHOT_FILE");
    if (file.isEmpty() && !check) {
        std::fprintf(stderr, "QUORLIX_SCREENSHOT_FILE is not set\n");
        return 2;
    }
    const QString language = qEnvironmentVariable("QUORLIX_SCREENSHOT_LANGUAGE", QStringLiteral("en-US"));
    const int settleMs = envInt("QUORLIX_SCREENSHOT_SETTLE_MS", 500);
    const int leastMs = envInt("QUORLIX_SCREENSHOT_DELAY_MS", 0);
    const QString view =
        canonicalView(qEnvironmentVariable("QUORLIX_SCREENSHOT_VIEW", QStringLiteral("home")));

    static int exitCode = 0;
    StartupOptions options = StartupOptions::fromEnvironment();
    options.createWindow = [file, language, view, check, settleMs, leastMs] {
        // The catalogues lie beside the client, not beside this helper.
        TranslationManager::instance()->setTranslationFolders(QStringLiteral(QUORLIX_CLIENT_DIR), QString());
        TranslationManager::instance()->setLanguage(language, false);
        if (view.startsWith(QLatin1String("home-"))) {
            // Fixed hardware figures, so shots of the card compare across machines.
            static FakeSystemInfo readings;
            readings.cpuPercent = 37;
            readings.cpuMhz = 2400;
            readings.gpuPercent = 58;
            readings.gpuCelsius = 61;
            readings.memory = {16ull << 30, 11ull << 30, 5ull << 30, 31};
        }
        if (view == QLatin1String("home-filled")) {
            DatabaseGameRecords records;
            records.addFavorite(QStringLiteral("Arena Strike"), QStringLiteral("PC"), QString());
            records.addFavorite(QStringLiteral("Sky Raiders"), QStringLiteral("PC"), QString());
            records.addFavorite(QStringLiteral("Kart Party"), QStringLiteral("Console"), QString());
        }
        if (view == QLatin1String("games-small"))
            DatabaseManager::instance()->setMetadata(QStringLiteral("settings/window_size"),
                                                     QStringLiteral("1080"));
        if (isHeaderView(view) || view == QLatin1String("ping-sweep") ||
            view == QLatin1String("notifications"))
            startDevService();
        std::unique_ptr<MainWindow> window = createMainWindow();
        MainWindow *raw = window.get();
        if (isHeaderView(view) && raw->services().account) {
            // Signed in for this run, before the first promotion look.
            AccountStore::Account account;
            account.token = qEnvironmentVariable("QUORLIX_SCREENSHOT_TOKEN");
            raw->services().account->keepForThisRun(account);
        }
        auto started = std::make_shared<QElapsedTimer>();
        started->start();
        auto finish = [raw, file, view, check] {
            if (check) {
                const QStringList faults = LayoutCheck::findFaults(raw);
                for (const QString &fault : faults)
                    std::printf("LAYOUT %s: %s\n", qPrintable(view), qPrintable(fault));
                exitCode = faults.isEmpty() ? 0 : 3;
                QCoreApplication::exit(exitCode);
                return;
            }
            const QPixmap shot = shotOf(raw, view);
            if (shot.isNull() || !shot.save(file, "PNG")) {
                std::fprintf(stderr, "could not save %s\n", qPrintable(file));
                exitCode = 1;
            } else {
                std::printf("%s %dx%d\n", qPrintable(file), shot.width(), shot.height());
            }
            QCoreApplication::exit(exitCode);
        };
        QTimer::singleShot(0, raw, [raw, view, started, settleMs, leastMs, finish] {
            stageView(raw, view, [raw, started, settleMs, leastMs, finish] {
                const int wait = std::max<int>(settleMs, leastMs - int(started->elapsed()));
                QTimer::singleShot(wait, raw, finish);
            });
        });
        return window;
    };
    const int loop = runClient(argc, argv, options);
    return exitCode ? exitCode : loop;
}

#include "screenshot_main.moc"
