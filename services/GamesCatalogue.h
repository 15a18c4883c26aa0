#pragma once
// The games catalogue: fetched from "/api/games", parsed into GameApiItems,
// stored in the cache database and kept on disk (GamesCache), so a start has
// the games before the network answers. Requests are gated so that at most
// one is under way and a silent refresh is not repeated; the grid, the cover
// prefetch and the loading label follow its signals.

#include "services/ReplyBounds.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonValue>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QThreadPool>
#include <QVariantMap>

#include <functional>
#include <memory>

class GamesCache;
class QJsonDocument;
class ServiceClient;
namespace ServiceApi {
struct Reply;
}

// One catalogue entry as the games grid and the cover loader use it.
struct GameApiItem
{
    QString id;
    QString title;
    QString cover;
    QString logo;
    QString category;
    QString type;
    QStringList tags;
    bool isFree = false;
    int freeDaysLeft = -1; // -1: none
    QString freeSource;
};

// What the window's pieces share about the catalogue. items is shared: a new
// list replaces its contents in place, so every holder sees it.
struct CatalogueState
{
    std::shared_ptr<QList<GameApiItem>> items = std::make_shared<QList<GameApiItem>>();
    bool catalogueLoaded = false;     // a list was parsed from disk or from a reply
    bool gridRendered = false;        // set by the games grid at its first render
    bool silentRequestIssued = false; // the latest request started without the loading text
    bool requestInFlight = false;
};

// A boolean as the service writes it: true, 1, "1", "true", "yes" (any case,
// blanks around); a number with a fraction and anything else is false.
bool jsonToBool(const QJsonValue &value);

// The games array of a reply: the document itself, or its "data", or else its
// "games" member, whichever is an array. False when there is none.
bool selectGamesArray(const QJsonDocument &document, QJsonArray *array);
// Fills out with the games of an array (non-object elements are skipped).
void parseGamesArray(const QJsonArray &array, QList<GameApiItem> *out);
// Parses a reply body into out (emptied first). True when it holds at least one
// game. A body that is not JSON or holds no array gives none.
bool parseGamesJson(const QByteArray &body, QList<GameApiItem> *out);
// The object elements of a games array as the cache database stores them.
QList<QVariantMap> gameRecords(const QJsonArray &array);

// A catalogue body read within ReplyBounds, as a worker thread prepares it
// for the GUI thread.
struct PreparedCatalogue
{
    bool isCatalogue = false; // the body held a games array
    QList<GameApiItem> items;
    QList<QVariantMap> records; // what the cache database stores
    // Games without an id or a name: the database takes none of the list then,
    // so the list is not written in slices.
    int unstorable = 0;
    // What the disk copy holds: the body itself, or its games in their
    // bounded form when bounding changed anything.
    QByteArray kept;
    ReplyBounds::Report report;
};
// Parses and bounds a catalogue body; `document` is the body parsed ahead,
// or null to parse it here. Pure: safe on any thread.
PreparedCatalogue prepareCatalogue(const QByteArray &body, const QJsonDocument *document = nullptr);

class GamesCatalogue : public QObject
{
    Q_OBJECT
public:
    // How many covers are fetched ahead after a reply or a load from disk.
    static constexpr int kPrefetchCovers = 35;
    // Games written to the cache database per turn of the event loop: a
    // few milliseconds each, so a long catalogue never holds the GUI thread.
    static constexpr int kSaveSlice = 250;

    using SaveGames = std::function<void(const QList<QVariantMap> &games)>;

    // client sends the requests (null: none are sent); the catalogue keeps its
    // own copy of cache, where the last good body is kept on disk. saveGames
    // stores the games in the cache database; empty means DatabaseManager::instance().
    GamesCatalogue(ServiceClient *client, const GamesCache &cache, SaveGames saveGames = {},
                   QObject *parent = nullptr);
    ~GamesCatalogue() override;

    const GamesCache &cache() const { return *m_cache; }
    const std::shared_ptr<CatalogueState> &state() const { return m_state; }
    std::shared_ptr<QList<GameApiItem>> items() const { return m_state->items; }

    // Starts a games request unless one is under way or, with the catalogue
    // loaded, a silent one was already made. renderNow renders a loaded catalogue
    // at once when the grid was never rendered.
    void requestGames(bool showLoading, bool renderNow);
    // Fills the catalogue from the disk copy at once; true when it held games.
    bool loadGamesCache();
    // The same, read, opened and parsed on a worker thread: cacheLoaded
    // follows when the copy held games and no reply has brought a list first.
    void loadGamesCacheInBackground();

    // Games of the last list are still to be written to the cache database.
    bool isSaving() const { return m_pendingNext < m_pendingRecords.size(); }

    // The covers of the first kPrefetchCovers items, in order (empty ones skipped).
    QStringList coversToPrefetch() const;

    // The two texts of the loading label, translated.
    static QString loadingText();
    static QString failedText();

    // Handles a finished games request started with these arguments.
    void onGamesReply(const ServiceApi::Reply &reply, bool showLoading, bool renderNow);

signals:
    // Render the grid from the items now (the grid marks state().gridRendered).
    void renderRequested();
    // A new list arrived without a render asked for: the grid renders it
    // only while the Games section is showing.
    void catalogueRefreshed();
    // Fetch covers ahead (coversToPrefetch).
    void prefetchRequested();
    // "GamesLoadingLabel" shows this text.
    void loadingTextChanged(const QString &text);
    // The disk copy's games became the items (loadGamesCacheInBackground).
    void cacheLoaded();

private:
    void onPrepared(const PreparedCatalogue &prepared, bool renderNow, bool kept, const QString &from);
    void failed(const QString &reason, int httpStatus, qsizetype bytes, bool showLoading);
    void applyFromDisk(PreparedCatalogue prepared);
    // Stores records in slices; a later call takes over from one still running.
    void saveRecords(QList<QVariantMap> records, int unstorable);
    void saveNextSlice(quint64 run);

    ServiceClient *m_client;
    std::unique_ptr<GamesCache> m_cache;
    SaveGames m_saveGames;
    std::shared_ptr<CatalogueState> m_state = std::make_shared<CatalogueState>();
    quint64 m_saveRun = 0;
    QList<QVariantMap> m_pendingRecords;
    qsizetype m_pendingNext = 0;
    // The disk copy's reads and writes, one at a time and in the order asked.
    // Last, so that it is destroyed (and waits for them) first.
    QThreadPool m_diskIo;
};
