#pragma once
// What the games grid, its tiles and the home favourites share: the platform
// and category the grid shows, how often each game was opened, and the
// user's favourites. Favourites and clicks are written through to a store
// (the cache database in the client) as they change.

#include <QHash>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <QVariantMap>

// One favourite. platform is "PC" or "Console" as stored; it is translated
// only where it is shown.
struct HomeFavoriteItem
{
    QString key; // title + "|" + platform
    QString title;
    QString platform;
    QString logo;
};

// Where favourites and click counts are kept between runs.
class GameRecordsStore
{
public:
    virtual ~GameRecordsStore() = default;
    virtual bool addFavorite(const QString &title, const QString &platform, const QString &logo) = 0;
    virtual bool removeFavorite(const QString &title, const QString &platform) = 0;
    virtual QList<QVariantMap> getFavoriteGames() = 0;
    virtual bool recordGameClick(const QString &clickKey, const QString &gameId, const QString &gameTitle,
                                 const QString &platform) = 0;
    virtual QHash<QString, int> getGameClicks() = 0;
};

// The client's store: the process-wide cache database.
class DatabaseGameRecords : public GameRecordsStore
{
public:
    bool addFavorite(const QString &title, const QString &platform, const QString &logo) override;
    bool removeFavorite(const QString &title, const QString &platform) override;
    QList<QVariantMap> getFavoriteGames() override;
    bool recordGameClick(const QString &clickKey, const QString &gameId, const QString &gameTitle,
                         const QString &platform) override;
    QHash<QString, int> getGameClicks() override;
};

class GamesBoardState : public QObject
{
    Q_OBJECT
public:
    // The platform names favourites and click keys are stored under.
    static QString platformName(bool pc);
    // A stored platform name as the user reads it (translated "PC"/"Console";
    // anything else unchanged).
    static QString platformLabel(const QString &platform);
    static QString favoriteKey(const QString &title, const QString &platform);

    // Reads the favourites (rows without title or platform are left out) and
    // the click counts once: at once, or with readStore() when readNow is
    // false (the window reads them when someone has signed in). store is not
    // owned and must outlive the state.
    explicit GamesBoardState(GameRecordsStore *store, QObject *parent = nullptr, bool readNow = true);

    // Reads the favourites and click counts if that has not been done; true
    // when it read them now. Announces nothing: whoever shows them asks.
    bool readStore();

    bool pcMode() const { return m_pcMode; }
    void setPcMode(bool pc) { m_pcMode = pc; }
    QString platform() const { return platformName(m_pcMode); }
    // The selected chip; "" (All) at first.
    QString categoryKey() const { return m_categoryKey; }
    int categoryChip() const { return m_categoryChip; }
    // False (and nothing changes) for an id outside the chips.
    bool selectCategory(int chipId);

    const QHash<QString, int> &clickCounts() const { return m_clicks; }
    int clicks(const QString &clickKey) const { return m_clicks.value(clickKey); }
    // One more click in memory and in the store.
    void recordClick(const QString &id, const QString &title, const QString &platform);

    const QMap<QString, HomeFavoriteItem> &favorites() const { return m_favorites; }
    bool isFavorite(const QString &title, const QString &platform) const;
    void setFavorite(const QString &title, const QString &platform, const QString &logo, bool on);

signals:
    void favoritesChanged();

private:
    GameRecordsStore *m_store;
    bool m_read = false;
    bool m_pcMode = true;
    int m_categoryChip = 0;
    QString m_categoryKey;
    QHash<QString, int> m_clicks;
    QMap<QString, HomeFavoriteItem> m_favorites;
};
