#pragma once
// Which of a game's traffic goes through the relay: UDP and TCP port tokens and
// domains taken from the game's catalogue record and its enabled boost profiles,
// turned into the port lists and domain list the tunnel is configured with.
// Everything here is a plain function; the adapters at the end read the cache
// database and the application settings.

#include <QList>
#include <QPair>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

#include <functional>

namespace GamePorts {

// The domain of the chat service every PC connection carries and the DNS check
// looks up through the tunnel.
extern const char kChatServiceDomain[];

// More covered UDP ports than this and the tunnel takes every UDP port.
constexpr qint64 kCatchAllThreshold = 60000;

QString normalizePortToken(const QString &text);
QStringList portsFromVariant(const QVariant &value);
// (low, high) of a token in the order written; (0, 0) when the token is not a
// port or range, or when an end lies outside 1..65535.
QPair<int, int> parsePortRange(const QString &token);
QList<int> expandPortTokens(const QStringList &tokens, bool catchAll);
void sortUniquePorts(QList<int> &ports);
void normalizeDomains(QStringList &entries);
// Number of ports the tokens cover, overlaps counted twice.
qint64 coveredPortCount(const QStringList &tokens);
// Keeps the first of each equal text.
void removeDuplicateTexts(QStringList &list);

// The game record whose "name" matches the title: exact (simplified, any case)
// first, then containment either way. Empty map when nothing matches.
QVariantMap findGameMeta(const QString &title, const QList<QVariantMap> &activeGames);
// The same choice over the games' names alone: the index of the match, or -1.
int findGameIndex(const QString &title, const QStringList &names);

// Reads a boost switch: (settings key, default) -> on.
using BoostSwitchReader = std::function<bool(const QString &key, bool defaultOn)>;

// Appends the entries of the enabled profiles, then drops duplicate texts.
void collectBoostTraffic(const QString &gameId, const QVariantList &profiles, const BoostSwitchReader &isOn,
                         QStringList &udp, QStringList &tcp, QStringList &domains);

// Token lists of a record before boost profiles are added.
struct TrafficTokens
{
    QStringList udp;
    QStringList tcp;
    QStringList domains;
};
TrafficTokens recordTraffic(const QVariantMap &record);

// What a PC connection hands the tunnel.
struct PcTraffic
{
    bool connectable = false; // false: no ports and no domains at all
    bool fallbackTcp = false; // only domains: TCP 80 and 443 were added
    bool catchAllUdp = false;
    int udpTokenCount = 0; // tokens before the chat and DNS additions (for the log)
    QStringList udpTokens; // final token lists, DNS port included
    QStringList tcpTokens;
    QStringList domains; // final domain list, chat service included
    QList<int> udpPorts; // sorted, unique
    QList<int> tcpPorts;
};
PcTraffic buildPcTraffic(const TrafficTokens &tokens,
                         const QString &chatDomain = QLatin1String(kChatServiceDomain));

// What a console connection hands the gateway: the record's ports only.
struct ConsoleTraffic
{
    bool connectable = false;
    QStringList udpTokens;
    QStringList tcpTokens;
};
ConsoleTraffic buildConsoleTraffic(const TrafficTokens &tokens);

// Adapters over the cache database and the application settings.
QVariantMap findGameMetaInDatabase(const QString &title);
void collectGameTraffic(const QString &title, QStringList &udp, QStringList &tcp, QStringList &domains);
// recordTraffic of the record, then collectGameTraffic for the title.
TrafficTokens gameTraffic(const QString &title, const QVariantMap &record);

} // namespace GamePorts
