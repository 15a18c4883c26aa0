#include "connection/SweepResults.h"

#include "connection/NetworkFingerprint.h"
#include "connection/RouteCache.h"
#include "storage/DatabaseManager.h"

SweepResults::Sources SweepResults::defaultSources()
{
    Sources sources;
    sources.readPingsText = [] { return RouteCache::readPingsText(RelayChoice::serverPingsPath()); };
    sources.regionRelays = [](const QString &region) {
        return RelayChoice::databaseSources().activeServersInRegion(region);
    };
    sources.relayStore = RelayChoice::settingsStore();
    sources.keep = [](const QString &title, const QString &region, const QString &pingsText) {
        RouteCache::storeSweep(DatabaseManager::instance(), title, region, pingsText, networkFingerprint());
    };
    return sources;
}

SweepResults::SweepResults(Sources sources, QObject *parent) : QObject(parent), m_sources(std::move(sources))
{}

QVariantMap SweepResults::chooseAutomatic(const QHash<QString, int> &pings, bool relayInUse)
{
    if (relayInUse)
        return QVariantMap();
    const QString region = QString::fromLatin1(RelayChoice::kAutomaticRegion);
    const QList<QVariantMap> relays =
        m_sources.regionRelays ? m_sources.regionRelays(region) : QList<QVariantMap>();
    const QVariantMap best = RelayChoice::selectAutomatic(relays, pings, m_sources.relayStore);
    if (!best.isEmpty())
        emit automaticRelayChosen(best);
    return best;
}

void SweepResults::takeShownSweep(const QString &title, const QString &region, bool relayInUse)
{
    const QString text = m_sources.readPingsText ? m_sources.readPingsText() : QString();
    const QHash<QString, int> pings =
        text.isEmpty() ? QHash<QString, int>() : RelayChoice::parsePingJson(text.toUtf8());
    chooseAutomatic(pings, relayInUse);
    if (m_sources.keep)
        m_sources.keep(title, region, text);
    emit pingsMeasured(pings);
}

void SweepResults::takeHiddenSweep(const QString &title, const QString &region)
{
    if (m_sources.keep)
        m_sources.keep(title, region, m_sources.readPingsText ? m_sources.readPingsText() : QString());
}
