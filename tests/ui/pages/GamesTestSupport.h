#pragma once
// Shared pieces of the games grid, tile, favourites and image tests: a store
// kept in memory, catalogue entries, and the hosting widgets at the sizes the
// window gives them.

#include "services/GamesCatalogue.h"
#include "ui/pages/common/ThinScrollBar.h"
#include "ui/pages/games/GamesBoardState.h"

#include <QBuffer>
#include <QImage>

#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QWidget>

#include <memory>

struct MemoryGameRecords : GameRecordsStore
{
    QList<QVariantMap> favourites;
    QHash<QString, int> clicks;
    QStringList calls;

    bool addFavorite(const QString &title, const QString &platform, const QString &logo) override
    {
        removeFavorite(title, platform);
        calls << QStringLiteral("add %1|%2").arg(title, platform);
        favourites.append({{"game_title", title}, {"platform", platform}, {"game_logo", logo}});
        return true;
    }
    bool removeFavorite(const QString &title, const QString &platform) override
    {
        for (int i = favourites.size() - 1; i >= 0; --i) {
            if (favourites[i].value("game_title") == title && favourites[i].value("platform") == platform) {
                calls << QStringLiteral("remove %1|%2").arg(title, platform);
                favourites.removeAt(i);
            }
        }
        return true;
    }
    QList<QVariantMap> getFavoriteGames() override { return favourites; }
    bool recordGameClick(const QString &key, const QString &, const QString &,
                         const QString &platform) override
    {
        calls << QStringLiteral("click %1 %2").arg(key, platform);
        clicks[key] += 1;
        return true;
    }
    QHash<QString, int> getGameClicks() override { return clicks; }
};

// A plain image of one colour as PNG bytes, as the service would send it.
inline QByteArray pngBytes(const QSize &size, const QColor &color)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

inline GameApiItem gameEntry(const QString &id, const QString &title, const QString &category = QString(),
                             const QString &cover = QString())
{
    GameApiItem item;
    item.id = id;
    item.title = title;
    item.category = category;
    item.cover = cover;
    return item;
}

inline QList<GameApiItem> numberedGames(int count, const QString &category = QString())
{
    QList<GameApiItem> out;
    for (int i = 0; i < count; ++i)
        out << gameEntry(QStringLiteral("g%1").arg(i), QStringLiteral("Game %1").arg(i), category);
    return out;
}

// "GamesSection" and its tile area as the Games section builds them.
struct GamesHosts
{
    GamesHosts()
    {
        section.setObjectName(QStringLiteral("GamesSection"));
        section.resize(1298, 635);
        scroll = new QScrollArea(&section);
        scroll->setObjectName(QStringLiteral("GamesTilesScroll"));
        scroll->setGeometry(0, 90, 1298, 635 - 110);
        scroll->setWidgetResizable(true);
        content = new QWidget;
        content->setObjectName(QStringLiteral("GamesTilesContent"));
        scroll->setWidget(content);
        message = new QLabel(content);
        message->setObjectName(QStringLiteral("GamesLoadingLabel"));
        message->setGeometry(0, 20, 1298, 40);
        message->hide();
    }
    QWidget section;
    QScrollArea *scroll;
    QWidget *content;
    QLabel *message;
};

// "ConnectionsSection" with its empty state and the favourites strip.
struct HomeHosts
{
    HomeHosts()
    {
        section.setObjectName(QStringLiteral("ConnectionsSection"));
        section.resize(640, 382);
        rocket = new QLabel(&section);
        rocket->setGeometry(281, 82, 78, 78);
        title = new QLabel(&section);
        hint = new QLabel(&section);
        hint->setWordWrap(true);
        addGame = new QPushButton(&section);
        addGame->setObjectName(QStringLiteral("HomeAddGameBtn"));
        wrap = new QWidget(&section);
        wrap->setGeometry(0, 0, 640, 382);
        wrap->hide();
        scroll = new QScrollArea(wrap);
        scroll->setObjectName(QStringLiteral("HomeFavScroll"));
        scroll->setGeometry(24, 72, 592, 286);
        scroll->setFrameShape(QFrame::NoFrame);
        scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        scroll->setStyleSheet(thinScrollAreaStyle(QStringLiteral("HomeFavScroll")));
        host = new QWidget;
        host->setObjectName(QStringLiteral("HomeFavCardsHost"));
        scroll->setWidget(host);
    }
    QWidget section;
    QLabel *rocket, *title, *hint;
    QPushButton *addGame;
    QWidget *wrap;
    QScrollArea *scroll;
    QWidget *host;
};
