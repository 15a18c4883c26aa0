#include "services/GamesCatalogue.h"

#include "services/GamesCache.h"
#include "services/ServiceClient.h"
#include "storage/DatabaseManager.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFutureWatcher>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>

GamesCatalogue::GamesCatalogue(ServiceClient *client, const GamesCache &cache, SaveGames saveGames,
                               QObject *parent)
    : QObject(parent), m_client(client), m_cache(std::make_unique<GamesCache>(cache)),
      m_saveGames(std::move(saveGames))
{
    m_diskIo.setMaxThreadCount(1);
    if (!m_saveGames) {
        m_saveGames = [](const QList<QVariantMap> &games) {
            // A failed write is logged by the database itself.
            (void)DatabaseManager::instance()->saveGames(games);
        };
    }
}

GamesCatalogue::~GamesCatalogue()
{
    // A reply still being prepared is never handled now; the state may live on.
    m_state->requestInFlight = false;
}

QString GamesCatalogue::loadingText()
{
    return QCoreApplication::translate("MainWindow", "Loading...");
}

QString GamesCatalogue::failedText()
{
    return QCoreApplication::translate("MainWindow", "Failed to load games");
}

QStringList GamesCatalogue::coversToPrefetch() const
{
    QStringList covers;
    const QList<GameApiItem> &items = *m_state->items;
    for (int i = 0; i < items.size() && i < kPrefetchCovers; ++i) {
        if (!items.at(i).cover.isEmpty())
            covers << items.at(i).cover;
    }
    return covers;
}

void GamesCatalogue::requestGames(bool showLoading, bool renderNow)
{
    CatalogueState &state = *m_state;
    if (state.catalogueLoaded) {
        if (renderNow && !state.gridRendered)
            emit renderRequested();
        if (!showLoading && state.silentRequestIssued)
            return;
        if (state.requestInFlight)
            return;
    } else if (state.requestInFlight) {
        if (showLoading)
            emit loadingTextChanged(loadingText());
        return;
    }
    if (!m_client)
        return;

    state.requestInFlight = true;
    state.silentRequestIssued = !showLoading;
    qDebug().noquote() << "[GamesAPI] request start";
    if (showLoading)
        emit loadingTextChanged(loadingText());

    QPointer<GamesCatalogue> self(this);
    std::shared_ptr<CatalogueState> shared = m_state;
    QNetworkReply *reply = m_client->send(ServiceApi::Endpoint::Games,
                                          [self, shared, showLoading, renderNow](const ServiceApi::Reply &r) {
                                              // The flag belongs to the shared state, which outlives the
                                              // catalogue.
                                              if (self)
                                                  self->onGamesReply(r, showLoading, renderNow);
                                              else
                                                  shared->requestInFlight = false;
                                          });
    if (!reply)
        state.requestInFlight = false; // refused before it went out; the next call may try again
}

void GamesCatalogue::failed(const QString &reason, int httpStatus, qsizetype bytes, bool showLoading)
{
    m_state->requestInFlight = false;
    qDebug().noquote() << "[GamesAPI] failed:" << reason << "http:" << httpStatus << "bytes:" << bytes;
    if (showLoading)
        emit loadingTextChanged(failedText());
}

void GamesCatalogue::onGamesReply(const ServiceApi::Reply &reply, bool showLoading, bool renderNow)
{
    if (!reply.ok()) {
        failed(reply.errorString, reply.httpStatus, reply.body.size(), showLoading);
        return;
    }
    // A catalogue that a redirect brought from another host is shown but
    // never kept: nothing of it outlives the run.
    const QUrl origin = m_client ? m_client->config().serviceOrigin() : QUrl();
    const bool keep = reply.url.isEmpty() || origin.isEmpty() || ServiceApi::sameOrigin(reply.url, origin);
    const QString from = keep ? QString() : reply.url.host();

    // Parsing, bounding and the disk copy's write run on a worker thread;
    // the request counts as under way until their result is taken in.
    const QByteArray body = reply.body;
    const std::shared_ptr<const QJsonDocument> parsed = reply.parsed;
    const GamesCache cache = *m_cache;
    auto *watcher = new QFutureWatcher<PreparedCatalogue>(this);
    const int httpStatus = reply.httpStatus;
    connect(watcher, &QFutureWatcherBase::finished, this,
            [this, watcher, showLoading, renderNow, keep, from, httpStatus, bytes = body.size()]() {
                const PreparedCatalogue prepared = watcher->result();
                watcher->deleteLater();
                if (!prepared.isCatalogue) {
                    // A 2xx reply that is no catalogue (an error page, a cut body) says nothing
                    // about the games: it must not wipe the list, its disk copy or the database.
                    failed(QStringLiteral("reply holds no games list"), httpStatus, bytes, showLoading);
                    return;
                }
                qDebug().noquote() << "[GamesAPI] success http:" << httpStatus << "bytes:" << bytes;
                onPrepared(prepared, renderNow, keep, from);
            });
    watcher->setFuture(QtConcurrent::run(&m_diskIo, [body, parsed, cache, keep]() {
        PreparedCatalogue prepared = prepareCatalogue(body, parsed.get());
        if (prepared.isCatalogue && keep)
            cache.saveGamesCache(cache.path(), prepared.kept);
        return prepared;
    }));
}

void GamesCatalogue::onPrepared(const PreparedCatalogue &prepared, bool renderNow, bool kept,
                                const QString &from)
{
    CatalogueState &state = *m_state;
    state.requestInFlight = false;
    if (prepared.report.any())
        qWarning().noquote() << "[GamesAPI] reply over its bounds:" << prepared.report.summary("games");
    if (!kept)
        qWarning().noquote() << "[GamesAPI] catalogue came from another host (" + from +
                                    "): shown, not kept on disk or in the database";
    *state.items = prepared.items;
    state.catalogueLoaded = true;
    qDebug().noquote() << "[GamesAPI] parsed items:" << state.items->size();

    if (kept)
        saveRecords(prepared.records, prepared.unstorable);

    emit prefetchRequested();

    if (renderNow) {
        qDebug().noquote() << "[GamesAPI] render tiles:" << state.items->size();
        emit renderRequested();
    } else {
        emit catalogueRefreshed();
    }
}

void GamesCatalogue::saveRecords(QList<QVariantMap> records, int unstorable)
{
    const quint64 run = ++m_saveRun;
    // The database refuses a whole list that holds a game it cannot key,
    // and says why: such a list goes to it whole, as it came.
    if (unstorable > 0) {
        m_pendingRecords.clear();
        m_pendingNext = 0;
        if (m_saveGames && !records.isEmpty())
            m_saveGames(records);
        return;
    }
    // Each slice is one transaction. Later slices follow on later turns of
    // the event loop, unless a newer list has taken over by then.
    m_pendingRecords = std::move(records);
    m_pendingNext = 0;
    saveNextSlice(run);
}

void GamesCatalogue::saveNextSlice(quint64 run)
{
    if (run != m_saveRun || !m_saveGames || m_pendingNext >= m_pendingRecords.size())
        return;
    const qsizetype n = std::min<qsizetype>(kSaveSlice, m_pendingRecords.size() - m_pendingNext);
    m_saveGames(m_pendingRecords.mid(m_pendingNext, n));
    m_pendingNext += n;
    if (m_pendingNext < m_pendingRecords.size())
        QTimer::singleShot(0, this, [this, run]() { saveNextSlice(run); });
    else
        m_pendingRecords.clear();
}

bool GamesCatalogue::loadGamesCache()
{
    PreparedCatalogue prepared = m_cache->readCatalogue();
    if (prepared.items.isEmpty())
        return false;
    applyFromDisk(std::move(prepared));
    return true;
}

void GamesCatalogue::loadGamesCacheInBackground()
{
    const GamesCache cache = *m_cache;
    auto *watcher = new QFutureWatcher<PreparedCatalogue>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher]() {
        PreparedCatalogue prepared = watcher->result();
        watcher->deleteLater();
        // A reply that came first is newer than the copy.
        if (prepared.items.isEmpty() || m_state->catalogueLoaded)
            return;
        applyFromDisk(std::move(prepared));
        emit cacheLoaded();
    });
    watcher->setFuture(QtConcurrent::run(&m_diskIo, [cache]() { return cache.readCatalogue(); }));
}

void GamesCatalogue::applyFromDisk(PreparedCatalogue prepared)
{
    CatalogueState &state = *m_state;
    *state.items = std::move(prepared.items);
    state.catalogueLoaded = true;
    qDebug().noquote() << "[GamesAPI] loaded from disk (encrypted):" << state.items->size();
    saveRecords(std::move(prepared.records), prepared.unstorable);
}
