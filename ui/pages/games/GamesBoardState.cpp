#include "ui/pages/games/GamesBoardState.h"

#include "i18n/Language.h"
#include "storage/DatabaseManager.h"
#include "ui/pages/games/GamesGridRules.h"

bool DatabaseGameRecords::addFavorite(const QString &title, const QString &platform, const QString &logo)
{
    return DatabaseManager::instance()->addFavorite(title, platform, logo);
}

bool DatabaseGameRecords::removeFavorite(const QString &title, const QString &platform)
{
    return DatabaseManager::instance()->removeFavorite(title, platform);
}

QList<QVariantMap> DatabaseGameRecords::getFavoriteGames()
{
    return DatabaseManager::instance()->getFavoriteGames();
}

bool DatabaseGameRecords::recordGameClick(const QString &clickKey, const QString &gameId,
                                          const QString &gameTitle, const QString &platform)
{
    return DatabaseManager::instance()->recordGameClick(clickKey, gameId, gameTitle, platform);
}

QHash<QString, int> DatabaseGameRecords::getGameClicks()
{
    return DatabaseManager::instance()->getGameClicks();
}

QString GamesBoardState::platformName(bool pc)
{
    return pc ? QStringLiteral("PC") : QStringLiteral("Console");
}

QString GamesBoardState::platformLabel(const QString &platform)
{
    if (platform == QLatin1String("PC") || platform == QLatin1String("Console"))
        return Language::objectText(platform.toLatin1().constData());
    return platform;
}

QString GamesBoardState::favoriteKey(const QString &title, const QString &platform)
{
    return title + QLatin1Char('|') + platform;
}

GamesBoardState::GamesBoardState(GameRecordsStore *store, QObject *parent, bool readNow)
    : QObject(parent), m_store(store)
{
    if (readNow)
        readStore();
}

bool GamesBoardState::readStore()
{
    if (m_read)
        return false;
    m_read = true;
    if (!m_store)
        return true;
    m_clicks = m_store->getGameClicks();
    for (const QVariantMap &row : m_store->getFavoriteGames()) {
        const QString title = row.value(QStringLiteral("game_title")).toString();
        const QString platform = row.value(QStringLiteral("platform")).toString();
        if (title.isEmpty() || platform.isEmpty())
            continue;
        const QString key = favoriteKey(title, platform);
        m_favorites.insert(key, {key, title, platform, row.value(QStringLiteral("game_logo")).toString()});
    }
    return true;
}

bool GamesBoardState::selectCategory(int chipId)
{
    QString key;
    if (!GamesGridRules::chipCategoryKey(chipId, &key))
        return false;
    m_categoryChip = chipId;
    m_categoryKey = key;
    return true;
}

void GamesBoardState::recordClick(const QString &id, const QString &title, const QString &platform)
{
    const QString key = GamesGridRules::gameClickKey(id, title, platform);
    if (key.trimmed().isEmpty())
        return;
    m_clicks[key.trimmed()] += 1;
    if (m_store)
        m_store->recordGameClick(key, id, title, platform);
}

bool GamesBoardState::isFavorite(const QString &title, const QString &platform) const
{
    return m_favorites.contains(favoriteKey(title, platform));
}

void GamesBoardState::setFavorite(const QString &title, const QString &platform, const QString &logo, bool on)
{
    const QString key = favoriteKey(title, platform);
    if (on) {
        m_favorites.insert(key, {key, title, platform, logo});
        if (m_store)
            m_store->addFavorite(title, platform, logo);
    } else {
        m_favorites.remove(key);
        if (m_store)
            m_store->removeFavorite(title, platform);
    }
    emit favoritesChanged();
}
