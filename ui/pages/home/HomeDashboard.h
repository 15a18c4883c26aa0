#pragma once
// The home page's dashboard: the connection section (the "Ready to
// optimize?" empty state or the favourites strip) and, around it, the hero
// card, the last-session card and the frame of the hardware card. Its four
// containers move left for Persian, to the x the metrics strip's table gives.

#include "connection/SessionData.h"
#include "services/ServiceConfig.h"
#include "services/UrlOpener.h"
#include "ui/widgets/WindowArea.h"

#include <QObject>
#include <QString>
#include <QUrl>

class GamesBoardState;
class HeroCard;
class HomeFavorites;
class ImageCache;
class LastSessionCard;
class QLabel;
class QNetworkAccessManager;
class QPushButton;
class QScrollArea;
class QWidget;

class HomeDashboard : public QObject, public WindowArea
{
    Q_OBJECT
public:
    struct Setup
    {
        int dashboardTitleHeight = 39;    // the upper row lies 115 px below its top
        GamesBoardState *board = nullptr; // favourites
        ImageCache *images = nullptr;     // favourite logos
        QObject *hoverFilter = nullptr;   // shows a favourite's cross on hover
        QString persianFontFamily;
        // The last session's logos.
        ServiceConfig config;
        QString dataFolder;
        QNetworkAccessManager *logoManager = nullptr;
        int logoInactivityMs = 30000;
        // "Visit website".
        UrlOpener openUrl;
        QUrl site;
    };

    HomeDashboard(QWidget *rootFrame, const Setup &setup, QObject *parent);

    int upperRowY() const { return m_upperY; }
    int lowerRowY() const { return m_upperY + 402; }

    QLabel *connectionTitle() const { return m_connectionTitle; }
    QWidget *connectionSection() const { return m_section; }
    QPushButton *addGameButton() const { return m_addGame; }
    QWidget *favoritesWrap() const { return m_favWrap; }
    QScrollArea *favoritesScroll() const { return m_favScroll; }
    HomeFavorites *favorites() const { return m_favorites; }
    HeroCard *hero() const { return m_hero; }
    LastSessionCard *lastSession() const { return m_lastSession; }
    // The hardware card's frame; its contents are built elsewhere.
    QWidget *lowerRight() const { return m_lowerRight; }

    // The four containers' columns for the language, each keeping its y;
    // the visible ones are raised.
    void placeHomeSections(bool persian);
    void place(bool persian) override;

signals:
    // "Add a game" or "Add connection": the user wants the Games section.
    void gamesRequested();
    void gameOpened(const QString &title, const QString &logo, const QString &category);

public slots:
    void showLastSession(const SessionData &session);

private:
    void buildConnectionSection(const Setup &setup);

    QWidget *m_rootFrame;
    int m_upperY;
    QLabel *m_connectionTitle = nullptr;
    QWidget *m_section = nullptr;
    QPushButton *m_addGame = nullptr;
    QWidget *m_favWrap = nullptr;
    QScrollArea *m_favScroll = nullptr;
    HomeFavorites *m_favorites = nullptr;
    HeroCard *m_hero = nullptr;
    LastSessionCard *m_lastSession = nullptr;
    QWidget *m_lowerRight = nullptr;
};
