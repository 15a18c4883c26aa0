#pragma once
// Opening a game: decides between a console game (the set-up overlay over a
// still picture of the page) and a PC game (the relays' pings from the route
// cache when fresh enough, refreshed by a hidden sweep after a day, or the
// sweep page first), stores it as the selected game and fills the page's
// header: title, and the game's cover from the covers folder or the network.
// The window's other flows (navigation, the sweep's handlers, the console
// path, the connect button) are reached through signals.

#include "ui/pages/connection/PlatformBoostList.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPixmap>
#include <QPointer>
#include <QString>

#include <functional>

class PingOptimizerPage;
class QLabel;
class QNetworkAccessManager;
class QNetworkReply;

class GameConnectionView : public QObject
{
    Q_OBJECT
public:
    struct Services
    {
        GameLookup games;
        // The route-cache row of (game id, region, network fingerprint).
        std::function<QVariantMap(const QString &gameId, const QString &region, const QString &fingerprint)>
            routeCache;
        std::function<QString()> networkFingerprint;
        std::function<QDateTime()> nowUtc;
        // Stores the selected game and asks for its details to be shown.
        std::function<void(const QString &title, const QString &logo)> selectGame;
        // The window's ping sweep page, created on first need.
        std::function<PingOptimizerPage *()> sweepPage;
        // The full-window rectangle the sweep page takes.
        std::function<QRect()> windowRect;
        QNetworkAccessManager *network = nullptr;
        // A logo address as it can be fetched ("/uploads/..." on the service).
        std::function<QString(const QString &logo)> resolveLogoUrl;
        QString coversFolder;
        // Whether the console network watch exists (the console set-up is
        // only prepared then).
        std::function<bool()> hasConsoleNetwork;

        // The client's own stores: database, settings, interfaces, clock.
        static Services defaults();
    };

    struct Intervals
    {
        int promoRefreshMs = 350;
        int consoleNetworkMs = 100;
        int tapToConnectMs = 350;
    };

    struct HeaderLabels
    {
        QPointer<QLabel> title;        // "QuorlixConnGameTitle"
        QPointer<QLabel> routingLabel; // "RoutingGameLabel"
        QPointer<QLabel> icon;         // "QuorlixConnGameIcon"
        QPointer<QLabel> routingIcon;  // "RoutingGameIcon"
    };

    static constexpr const char *kRegion = "Europe";
    static constexpr qint64 kFreshSeconds = 86400;
    static constexpr qint64 kUsableSeconds = 604800;

    GameConnectionView(Services services, Intervals intervals, HeaderLabels labels, QObject *parent);

    // What the route cache's age means for a PC game.
    enum class CacheUse { Fresh, Refresh, Sweep };
    static CacheUse cacheUse(const QVariantMap &row, const QDateTime &nowUtc);

    // The games grid's slot for console games: PC categories go on to the
    // two-argument form.
    void openGame(const QString &title, const QString &logo, const QString &category);
    void openGame(const QString &title, const QString &logo);
    void updateConnectionGameHeader(const QString &title, const QString &logo);

    // The cover on each label still alive: 60 x 60, rounded by 10.
    static void setBannerCover(const QList<QPointer<QLabel>> &labels, const QPixmap &pixmap);
    void onBannerCoverReply(QNetworkReply *reply, const QString &filePath,
                            const QList<QPointer<QLabel>> &labels);

    // The covers folder's file for a logo address.
    static QString coverFileName(const QString &logo);

signals:
    void trackEvent(const QString &name);
    void promotionRefreshDue();
    void navigateToPage(int index);
    void routingPcIconRequested(bool console);
    void boostSectionRequested(const QString &title);
    // The page's header shows this game now (its boost list is built).
    void gameShown(const QString &title);
    void snapshotOverlayRequested(bool show);
    void consoleModeOpened(const QString &title);
    void setupConsoleNetworkDue();
    void tapToConnectDue();
    void selectedRegionRequested(const QHash<QString, int> &pings);
    // The sweep page finished for a game it was shown for.
    void applyServerPingsRequested(const QString &title, const QString &logo, const QString &region);
    // A hidden refresh sweep finished.
    void backgroundSweepFinished(const QString &title, const QString &region);

private:
    void announceOpen();
    void showSweepPage(const QString &title, const QString &logo);
    void startBackgroundSweep(const QString &title);

    Services m_services;
    Intervals m_intervals;
    HeaderLabels m_labels;
};
