#pragma once
// Which relay a connection goes to. Automatic mode tries the active "Europe"
// relays (all active relays when there are none) best measured ping first and
// fails over to the next one; manual mode uses the relay picked by hand. The
// ordering and picking are plain functions; RelayChoice wires them to the relay
// cache, the ping results file and the selected-relay settings.

#include <QHash>
#include <QList>
#include <QString>
#include <QVariantMap>

#include <functional>

namespace RelayChoice {

constexpr int kDefaultRelayPort = 50000;
extern const char kAutomaticRegion[]; // "Europe"

// "ip_address" trimmed.
QString relayAddress(const QVariantMap &relay);
// "port" as an integer; 50000 when it is not a usable UDP port.
int relayPort(const QVariantMap &relay);
int usablePort(int port);

// Relay id -> ping in ms from the text of the ping results file; a missing or
// non-integral "ping" reads as -1 (unknown). Anything unreadable gives no pings.
QHash<QString, int> parsePingJson(const QByteArray &text);
QHash<QString, int> loadServerPings(const QString &path);
// The ping results file in the local data folder.
QString serverPingsPath();

// Known pings (0 or more) first, ascending; unknown ones after them by name.
bool lessByPing(const QPair<QVariantMap, int> &a, const QPair<QVariantMap, int> &b);
QList<QVariantMap> orderByPing(const QList<QVariantMap> &relays, const QHash<QString, int> &pings);

// The automatic mode's trial order: the region's relays, else every active relay.
QList<QVariantMap> failoverOrder(const QList<QVariantMap> &regionRelays,
                                 const QList<QVariantMap> &activeRelays, const QHash<QString, int> &pings);

struct Pick
{
    bool ok = false;
    QString address;
    int port = kDefaultRelayPort;
};

// The first relay with the strictly lowest known ping (0 or more), else the
// first relay; -1 for an empty list.
int bestRelayIndex(const QList<QVariantMap> &relays, const QHash<QString, int> &pings);
// Fallback choice: the relay of bestRelayIndex.
Pick pickBest(const QList<QVariantMap> &activeRelays, const QHash<QString, int> &pings);
// Manual mode: the stored relay address and port.
Pick pickManual(const QString &serverIp, int serverPort);

// The failover list of one connection: built by its first attempt, advanced on
// each failure while a relay is left, dropped on success, final failure or stop.
struct FailoverList
{
    QList<QVariantMap> relays;
    int index = 0;
    bool built = false;

    bool hasCurrent() const { return built && index >= 0 && index < relays.size(); }
    QVariantMap current() const { return hasCurrent() ? relays.at(index) : QVariantMap(); }
    bool canAdvance() const { return built && !relays.isEmpty() && index + 1 < relays.size(); }
    bool advance();
    void reset();
};

// Where relays, pings and the selected relay come from.
struct Sources
{
    std::function<QList<QVariantMap>(const QString &region)> activeServersInRegion;
    std::function<QList<QVariantMap>()> activeServers;
    std::function<QHash<QString, int>()> pings;
};

// The selected relay as the settings keep it.
class SelectedRelayStore
{
public:
    virtual ~SelectedRelayStore() = default;
    virtual bool connectionMode() const = 0; // true: automatic
    virtual QString serverIp() const = 0;
    virtual int serverPort() const = 0;
    virtual void setServer(const QString &key, const QString &ip, const QString &name,
                           const QString &countryCode) = 0;
    virtual void setServerPort(int port) = 0;
    virtual void setConnectionMode(bool automatic) = 0;
};

// The outcome of choosing the relay of one attempt.
struct Choice
{
    Pick pick;
    bool fromFailoverList = false; // automatic choice written back as the selected relay
    QVariantMap relay;             // the list entry, when fromFailoverList
};

// The automatic mode's relays in trial order, from the sources: the "Europe"
// relays, else every active relay, best ping first.
QList<QVariantMap> europeServers(const Sources &sources);

// Fills the list on its first use, takes the relay at its index and writes it
// back as the selected relay (automatic mode); otherwise falls back to the
// manual or best relay.
Choice chooseRelay(FailoverList &list, const Sources &sources, SelectedRelayStore *store);

// The automatic choice among the region's relays (bestRelayIndex), stored as
// the selected relay with its port and automatic mode. Returns the chosen
// relay; with no relay nothing is stored and the map is empty.
QVariantMap selectAutomatic(const QList<QVariantMap> &regionRelays, const QHash<QString, int> &pings,
                            SelectedRelayStore *store);

// Fallback choice of the connect flow (manual mode, or no usable list entry).
Pick pickServer(const Sources &sources, const SelectedRelayStore *store);

// Adapters over the cache database, the ping results file and SettingsManager.
Sources databaseSources();
SelectedRelayStore *settingsStore();

} // namespace RelayChoice
