#include "services/GamesCatalogue.h"

#include "services/GamesCache.h"
#include "services/ServiceClient.h"
#include "storage/DatabaseManager.h"

#include <QCoreApplication>
#include <QDebug>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>

GamesCatalogue::GamesCatalogue(ServiceClient *client, const GamesCache &cache, SaveGames saveGames,
                               QObject *parent)
    : QObject(parent), m_client(client), m_cache(std::make_unique<GamesCache>(cache)),
      m_saveGames(std::move(saveGames))
{
    if (!m_saveGames) {
        m_saveGames = [](const QList<QVariantMap> &games) {
            // A failed write is logged by the database itself.
            (void)DatabaseManager::instance()->saveGames(games);
        };
    }
}

GamesCatalogue::~GamesCatalogue() = default;

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
                                              shared->requestInFlight = false;
                                              if (self)
                                                  self->onGamesReply(r, showLoading, renderNow);
                                          });
    if (!reply)
        state.requestInFlight = false; // refused before it went out; the next call may try again
}

void GamesCatalogue::onGamesReply(const ServiceApi::Reply &reply, bool showLoading, bool renderNow)
{
    CatalogueState &state = *m_state;
    state.requestInFlight = false;
    const QByteArray &body = reply.body;
    const int httpStatus = reply.httpStatus;
    const bool ok = reply.ok();
    QJsonArray array;
    // A 2xx reply that is no catalogue (an error page, a cut body) says nothing
    // about the games: it must not wipe the list, its disk copy or the database.
    const bool isCatalogue = ok && selectGamesArray(QJsonDocument::fromJson(body), &array);
    if (!isCatalogue) {
        const QString reason = ok ? QStringLiteral("reply holds no games list") : reply.errorString;
        qDebug().noquote() << "[GamesAPI] failed:" << reason << "http:" << httpStatus
                           << "bytes:" << body.size();
        if (showLoading)
            emit loadingTextChanged(failedText());
        return;
    }
    qDebug().noquote() << "[GamesAPI] success http:" << httpStatus << "bytes:" << body.size();

    m_cache->saveGamesCache(m_cache->path(), body);

    QList<GameApiItem> fresh;
    parseGamesArray(array, &fresh);
    *state.items = std::move(fresh);
    state.catalogueLoaded = true;
    qDebug().noquote() << "[GamesAPI] parsed items:" << state.items->size();

    if (!array.isEmpty())
        m_saveGames(gameRecords(array));

    emit prefetchRequested();

    if (renderNow) {
        qDebug().noquote() << "[GamesAPI] render tiles:" << state.items->size();
        emit renderRequested();
    } else {
        emit catalogueRefreshed();
    }
}

bool GamesCatalogue::loadGamesCache()
{
    return m_cache->loadGamesCache(m_state.get(), m_saveGames);
}
