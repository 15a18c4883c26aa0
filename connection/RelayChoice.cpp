#include "connection/RelayChoice.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

#include <algorithm>
#include <climits>
#include <cmath>

namespace RelayChoice {

const char kAutomaticRegion[] = "Europe";

QString relayAddress(const QVariantMap &relay)
{
    return relay.value(QStringLiteral("ip_address")).toString().trimmed();
}

int usablePort(int port)
{
    return (port < 1 || port > 65535) ? kDefaultRelayPort : port;
}

int relayPort(const QVariantMap &relay)
{
    bool ok = false;
    const int port = relay.value(QStringLiteral("port")).toInt(&ok);
    return usablePort(ok ? port : 0);
}

QHash<QString, int> parsePingJson(const QByteArray &text)
{
    QHash<QString, int> pings;
    const QJsonDocument doc = QJsonDocument::fromJson(text);
    if (!doc.isObject())
        return pings;
    const QJsonValue servers = doc.object().value(QStringLiteral("servers"));
    if (!servers.isObject())
        return pings;
    const QJsonObject map = servers.toObject();
    for (auto it = map.begin(); it != map.end(); ++it) {
        if (!it.value().isObject())
            continue;
        const QJsonValue ping = it.value().toObject().value(QStringLiteral("ping"));
        int value = -1;
        if (ping.isDouble()) {
            const double d = ping.toDouble();
            if (std::isfinite(d) && d == std::floor(d) && d >= double(INT_MIN) && d <= double(INT_MAX))
                value = int(d);
        }
        pings.insert(it.key(), value);
    }
    return pings;
}

QHash<QString, int> loadServerPings(const QString &path)
{
    QFile file(path);
    if (!file.exists() || !file.open(QIODevice::ReadOnly))
        return {};
    return parsePingJson(file.readAll());
}

QString serverPingsPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) +
           QStringLiteral("/server_pings.json");
}

bool lessByPing(const QPair<QVariantMap, int> &a, const QPair<QVariantMap, int> &b)
{
    const bool aKnown = a.second >= 0;
    const bool bKnown = b.second >= 0;
    if (aKnown != bKnown)
        return aKnown;
    if (aKnown)
        return a.second < b.second;
    return a.first.value(QStringLiteral("name")).toString() <
           b.first.value(QStringLiteral("name")).toString();
}

static int pingOf(const QVariantMap &relay, const QHash<QString, int> &pings)
{
    return pings.value(relay.value(QStringLiteral("id")).toString(), -1);
}

QList<QVariantMap> orderByPing(const QList<QVariantMap> &relays, const QHash<QString, int> &pings)
{
    QList<QPair<QVariantMap, int>> pairs;
    pairs.reserve(relays.size());
    for (const QVariantMap &relay : relays)
        pairs.append({relay, pingOf(relay, pings)});
    std::stable_sort(pairs.begin(), pairs.end(), lessByPing);
    QList<QVariantMap> out;
    out.reserve(pairs.size());
    for (const auto &pair : std::as_const(pairs))
        out.append(pair.first);
    return out;
}

QList<QVariantMap> failoverOrder(const QList<QVariantMap> &regionRelays,
                                 const QList<QVariantMap> &activeRelays, const QHash<QString, int> &pings)
{
    return orderByPing(regionRelays.isEmpty() ? activeRelays : regionRelays, pings);
}

int bestRelayIndex(const QList<QVariantMap> &relays, const QHash<QString, int> &pings)
{
    if (relays.isEmpty())
        return -1;
    int best = -1;
    int bestPing = -1;
    for (int i = 0; i < relays.size(); ++i) {
        const int ping = pingOf(relays.at(i), pings);
        if (ping < 0)
            continue;
        if (best < 0 || ping < bestPing) {
            best = i;
            bestPing = ping;
        }
    }
    return best < 0 ? 0 : best;
}

QVariantMap selectAutomatic(const QList<QVariantMap> &regionRelays, const QHash<QString, int> &pings,
                            SelectedRelayStore *store)
{
    const int best = bestRelayIndex(regionRelays, pings);
    if (best < 0)
        return QVariantMap();
    const QVariantMap &relay = regionRelays.at(best);
    if (store) {
        store->setServer(relay.value(QStringLiteral("id")).toString(),
                         relay.value(QStringLiteral("ip_address")).toString(),
                         relay.value(QStringLiteral("name")).toString(),
                         relay.value(QStringLiteral("country_code")).toString());
        store->setServerPort(relayPort(relay));
        store->setConnectionMode(true);
    }
    return relay;
}

Pick pickBest(const QList<QVariantMap> &activeRelays, const QHash<QString, int> &pings)
{
    Pick pick;
    const int best = bestRelayIndex(activeRelays, pings);
    if (best < 0)
        return pick;
    const QVariantMap &relay = activeRelays.at(best);
    pick.address = relayAddress(relay);
    pick.port = relayPort(relay);
    pick.ok = !pick.address.isEmpty();
    return pick;
}

Pick pickManual(const QString &serverIp, int serverPort)
{
    Pick pick;
    pick.address = serverIp.trimmed();
    pick.port = usablePort(serverPort);
    pick.ok = !pick.address.isEmpty();
    return pick;
}

bool FailoverList::advance()
{
    if (!canAdvance())
        return false;
    ++index;
    return true;
}

void FailoverList::reset()
{
    built = false;
    index = 0;
}

static QHash<QString, int> sourcePings(const Sources &sources)
{
    return sources.pings ? sources.pings() : QHash<QString, int>();
}

Pick pickServer(const Sources &sources, const SelectedRelayStore *store)
{
    if (!store)
        return {};
    if (!store->connectionMode())
        return pickManual(store->serverIp(), store->serverPort());
    const QList<QVariantMap> relays = sources.activeServers ? sources.activeServers() : QList<QVariantMap>();
    return pickBest(relays, sourcePings(sources));
}

QList<QVariantMap> europeServers(const Sources &sources)
{
    const QList<QVariantMap> region = sources.activeServersInRegion
                                          ? sources.activeServersInRegion(QLatin1String(kAutomaticRegion))
                                          : QList<QVariantMap>();
    const QList<QVariantMap> all =
        region.isEmpty() && sources.activeServers ? sources.activeServers() : QList<QVariantMap>();
    return failoverOrder(region, all, sourcePings(sources));
}

Choice chooseRelay(FailoverList &list, const Sources &sources, SelectedRelayStore *store)
{
    Choice choice;
    const bool automatic = store ? store->connectionMode() : true;
    if (automatic) {
        if (!list.built) {
            list.relays = europeServers(sources);
            list.index = 0;
            list.built = true;
        }
        if (list.hasCurrent()) {
            const QVariantMap relay = list.current();
            const QString address = relayAddress(relay);
            // A list entry without an address must not replace a good selected relay.
            if (!address.isEmpty()) {
                choice.pick = Pick{true, address, relayPort(relay)};
                choice.fromFailoverList = true;
                choice.relay = relay;
                if (store) {
                    store->setServer(relay.value(QStringLiteral("id")).toString(), address,
                                     relay.value(QStringLiteral("name")).toString(),
                                     relay.value(QStringLiteral("country_code")).toString());
                    store->setServerPort(choice.pick.port);
                    store->setConnectionMode(true);
                }
                return choice;
            }
        }
    }
    choice.pick = pickServer(sources, store);
    return choice;
}

} // namespace RelayChoice
