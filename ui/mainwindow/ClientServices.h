#pragma once

#include "services/UrlOpener.h"

#include <QString>

#include <functional>

class QWidget;

class AccountInfo;
class AccountSession;
class AccountStore;
class ConnectFlow;
class ConsoleConnect;
class ConsoleGatewayEmbedded;
class ConsoleNetworkManager;
class CountryFlags;
class DiscordSignIn;
class GamesCatalogue;
class LivePing;
class MtuProbe;
class NotificationService;
class PacketLossMeter;
class PingSweep;
class PromoService;
class QNetworkAccessManager;
class ServerSync;
class ServiceClient;
class SessionManager;
class SettingsStore;
class SignInController;
class SweepResults;
class TranslationManager;
class TunnelClient;
class UpdateController;
class UsageEvents;
class VersionGate;

// The long-lived services the window works with, built by the composition
// root (app/) and handed to the window's constructor. The window adopts the
// ones without a parent as its children, so they live exactly as long as it;
// the translation manager is process-wide and stays where it is. A null
// service is one the window goes without (tests that do not need it).
struct ClientServices
{
    SessionManager *sessions = nullptr;
    TunnelClient *tunnel = nullptr;
    // The connect flow over the tunnel and sessions, with its MTU probe, and
    // the connected state's live ping and packet-loss meters.
    ConnectFlow *connectFlow = nullptr;
    MtuProbe *mtuProbe = nullptr;
    // The console path: the network watch behind the set-up overlay, the
    // console gateway, and the connect flow's console side over it.
    ConsoleNetworkManager *consoleNetwork = nullptr;
    ConsoleGatewayEmbedded *consoleGateway = nullptr;
    ConsoleConnect *consoleConnect = nullptr;
    LivePing *livePing = nullptr;
    PacketLossMeter *packetLoss = nullptr;
    // Who is signed in; the service client's requests carry its token.
    AccountStore *account = nullptr;
    // The session's heartbeat and sign-out; the header's and profile's texts.
    AccountSession *session = nullptr;
    AccountInfo *accountInfo = nullptr;
    ServiceClient *serviceClient = nullptr;
    ServerSync *serverSync = nullptr;
    // The relays' ping sweep behind the sweep page, and the relays' country flags.
    PingSweep *pingSweep = nullptr;
    // A finished sweep's results: kept in the route cache, and the automatic
    // relay chosen from them.
    SweepResults *sweepResults = nullptr;
    CountryFlags *flags = nullptr;
    SignInController *signIn = nullptr;
    // The sign-in page's "Discord" button: browser, loopback listener, token.
    DiscordSignIn *discord = nullptr;
    UsageEvents *usage = nullptr;
    // The promotion pill's offer and link; it sends its events through usage.
    PromoService *promo = nullptr;
    UpdateController *updates = nullptr;
    VersionGate *versionGate = nullptr;
    GamesCatalogue *games = nullptr;
    // The bell's two scopes of notifications and their read marks.
    NotificationService *notifications = nullptr;
    TranslationManager *translations = nullptr;
    // The settings page's options (the cache database's metadata).
    SettingsStore *settings = nullptr;
    // Fetches the games' covers for the connection page.
    QNetworkAccessManager *coverNetwork = nullptr;
    // Hands the sign-in page's links to the user's browser; when empty, a
    // link opens nothing.
    UrlOpener openUrl;
    // Shows a modal warning over the window (title, text, one OK button);
    // when empty, nothing is shown.
    std::function<void(QWidget *window, const QString &title, const QString &text)> showWarning;
};
