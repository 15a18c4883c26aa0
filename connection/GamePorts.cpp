#include "connection/GamePorts.h"

#include <QDebug>
#include <QSet>

#include "services/GamePlatform.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace GamePorts {

const char kChatServiceDomain[] = "discord.com";

static constexpr int kMaxPort = 65535;

QString normalizePortToken(const QString &text)
{
    QString s = text.trimmed();
    s.replace(QChar(0x2013), QLatin1Char('-'));
    s.replace(QChar(0x2014), QLatin1Char('-'));
    s.replace(QChar(0x2212), QLatin1Char('-'));
    s.remove(QLatin1Char(' '));
    return s;
}

static bool isTextVariant(const QVariant &v)
{
    return v.typeId() == QMetaType::QString || v.typeId() == QMetaType::QByteArray;
}

QStringList portsFromVariant(const QVariant &value)
{
    QStringList tokens;
    if (value.typeId() == QMetaType::QVariantList || value.typeId() == QMetaType::QStringList) {
        const QVariantList items = value.toList();
        for (const QVariant &item : items) {
            if (isTextVariant(item)) {
                tokens << normalizePortToken(item.toString());
                continue;
            }
            // A JSON true would otherwise read as port 1.
            if (item.typeId() == QMetaType::Bool)
                continue;
            // A number beyond int would be cut to its low bits: 4294967306 must not become port 10.
            bool isNumber = false;
            const double wide = item.toDouble(&isNumber);
            if (isNumber && !(std::isfinite(wide) && wide >= double(INT_MIN) && wide <= double(INT_MAX)))
                continue;
            bool ok = false;
            const int n = item.toInt(&ok);
            if (ok)
                tokens << QString::number(n);
        }
    } else if (isTextVariant(value)) {
        // One text is one token: "10,11" is not split and later yields no port.
        const QString text = value.toString().trimmed();
        if (!text.isEmpty())
            tokens << normalizePortToken(text);
    }
    tokens.removeAll(QString());
    return tokens;
}

// Splits a normalised token into its one or two numbers; false for any other shape.
static bool splitToken(const QString &token, int &low, int &high)
{
    const QStringList parts = normalizePortToken(token).split(QLatin1Char('-'), Qt::SkipEmptyParts);
    if (parts.size() != 1 && parts.size() != 2)
        return false;
    // Read wide so that "2000000000" or "70000" are refused instead of wrapping.
    bool ok = false;
    const qlonglong a = parts.first().toLongLong(&ok, 10);
    const qlonglong first = ok ? a : 0;
    qlonglong second = first;
    if (parts.size() == 2) {
        const qlonglong b = parts.last().toLongLong(&ok, 10);
        second = ok ? b : 0;
    }
    auto inRange = [](qlonglong v) { return v >= 0 && v <= kMaxPort; };
    if (!inRange(first) || !inRange(second))
        return false;
    low = int(first);
    high = int(second);
    return true;
}

QPair<int, int> parsePortRange(const QString &token)
{
    int low = 0, high = 0;
    if (!splitToken(token, low, high))
        return {0, 0};
    return {low, high};
}

QList<int> expandPortTokens(const QStringList &tokens, bool catchAll)
{
    QList<int> ports;
    if (catchAll) {
        ports.reserve(kMaxPort);
        for (int p = 1; p <= kMaxPort; ++p)
            ports.append(p);
        return ports;
    }
    for (const QString &token : tokens) {
        int low = 0, high = 0;
        if (!splitToken(token, low, high) || low <= 0 || high <= 0)
            continue;
        for (int p = std::min(low, high); p <= std::max(low, high); ++p)
            ports.append(p);
    }
    return ports;
}

void sortUniquePorts(QList<int> &ports)
{
    std::sort(ports.begin(), ports.end());
    ports.erase(std::unique(ports.begin(), ports.end()), ports.end());
}

void normalizeDomains(QStringList &entries)
{
    QStringList out;
    QSet<QString> seen;
    auto add = [&](const QString &x) {
        if (x.isEmpty() || seen.contains(x))
            return;
        seen.insert(x);
        out.append(x);
    };
    for (const QString &entry : std::as_const(entries)) {
        QString x = entry.trimmed().toLower();
        while (x.endsWith(QLatin1Char('.')))
            x.chop(1);
        if (x.isEmpty())
            continue;
        add(x);
        if (!x.contains(QLatin1Char('*')) && x.contains(QLatin1Char('.')) &&
            !x.startsWith(QLatin1String("http")))
            add(QStringLiteral("*.") + x);
        if (x.startsWith(QLatin1String("*.")) && x.size() > 2)
            add(x.mid(2));
    }
    entries = out;
}

qint64 coveredPortCount(const QStringList &tokens)
{
    qint64 sum = 0;
    for (const QString &token : tokens) {
        int low = 0, high = 0;
        if (!splitToken(token, low, high) || low <= 0 || high <= 0)
            continue;
        sum += qint64(std::abs(high - low)) + 1;
    }
    return sum;
}

void removeDuplicateTexts(QStringList &list)
{
    list.removeDuplicates();
}

static QString normalisedName(const QString &s)
{
    return s.simplified().toLower();
}

QVariantMap findGameMeta(const QString &title, const QList<QVariantMap> &activeGames)
{
    QStringList names;
    names.reserve(activeGames.size());
    for (const QVariantMap &game : activeGames)
        names.append(game.value(QStringLiteral("name")).toString());
    const int index = findGameIndex(title, names);
    return index < 0 ? QVariantMap() : activeGames.at(index);
}

int findGameIndex(const QString &title, const QStringList &names)
{
    const QString target = normalisedName(title);
    // A blank title or a blank name would be "contained" in everything.
    if (target.isEmpty())
        return -1;
    qDebug().noquote() << "[GameMeta] Searching for target:" << target;
    for (int i = 0; i < names.size(); ++i) {
        if (normalisedName(names.at(i)) == target)
            return i;
    }
    for (int i = 0; i < names.size(); ++i) {
        const QString name = normalisedName(names.at(i));
        if (name.isEmpty())
            continue;
        if (name.contains(target) || target.contains(name)) {
            qDebug().noquote() << "[GameMeta] Fuzzy matched:" << title << "with DB game:" << names.at(i);
            return i;
        }
    }
    qDebug().noquote() << "[GameMeta] FAILED to find game. Dumping DB names (first 10):";
    for (int i = 0; i < names.size() && i < 10; ++i)
        qDebug().noquote() << " - " << names.at(i);
    return -1;
}

void collectBoostTraffic(const QString &gameId, const QVariantList &profiles, const BoostSwitchReader &isOn,
                         QStringList &udp, QStringList &tcp, QStringList &domains)
{
    if (profiles.isEmpty())
        return;
    for (const QVariant &item : profiles) {
        const QVariantMap profile = item.toMap();
        const QString key =
            GamePlatform::platformBoostSettingsKey(gameId, GamePlatform::platformBoostProfileKey(profile));
        const bool defaultOn = GamePlatform::isSteamBoostProfile(profile);
        if (!(isOn ? isOn(key, defaultOn) : defaultOn))
            continue;
        udp << portsFromVariant(profile.value(QStringLiteral("udp_ports")));
        tcp << portsFromVariant(profile.value(QStringLiteral("tcp_ports")));
        domains << portsFromVariant(profile.value(QStringLiteral("domains")));
    }
    removeDuplicateTexts(udp);
    removeDuplicateTexts(tcp);
    removeDuplicateTexts(domains);
}

TrafficTokens recordTraffic(const QVariantMap &record)
{
    TrafficTokens t;
    t.udp = portsFromVariant(record.value(QStringLiteral("udp_ports")));
    t.tcp = portsFromVariant(record.value(QStringLiteral("tcp_ports")));
    t.domains = portsFromVariant(record.value(QStringLiteral("domains")));
    return t;
}

static bool containsIgnoringCase(const QStringList &list, const QString &text)
{
    return list.contains(text, Qt::CaseInsensitive);
}

PcTraffic buildPcTraffic(const TrafficTokens &tokens, const QString &chatDomain)
{
    PcTraffic out;
    QStringList udp = tokens.udp;
    QStringList tcp = tokens.tcp;
    QStringList domains = tokens.domains;

    if (udp.isEmpty() && tcp.isEmpty() && !domains.isEmpty()) {
        tcp << QStringLiteral("80") << QStringLiteral("443");
        out.fallbackTcp = true;
    }
    if (udp.isEmpty() && tcp.isEmpty() && domains.isEmpty())
        return out;
    out.connectable = true;
    out.udpTokenCount = int(udp.size());
    out.catchAllUdp = coveredPortCount(udp) > kCatchAllThreshold;

    if (!containsIgnoringCase(domains, chatDomain))
        domains << chatDomain;
    const QString wildcard = QStringLiteral("*.") + chatDomain;
    if (!containsIgnoringCase(domains, wildcard))
        domains << wildcard;
    normalizeDomains(domains);

    const QString dns = QStringLiteral("53");
    if (!udp.contains(dns))
        udp << dns;
    removeDuplicateTexts(udp);
    if (!tcp.contains(dns))
        tcp << dns;

    out.udpTokens = udp;
    out.tcpTokens = tcp;
    out.domains = domains;
    out.udpPorts = expandPortTokens(udp, out.catchAllUdp);
    sortUniquePorts(out.udpPorts);
    out.tcpPorts = expandPortTokens(tcp, false);
    sortUniquePorts(out.tcpPorts);
    return out;
}

ConsoleTraffic buildConsoleTraffic(const TrafficTokens &tokens)
{
    ConsoleTraffic out;
    out.udpTokens = tokens.udp;
    out.tcpTokens = tokens.tcp;
    removeDuplicateTexts(out.udpTokens);
    removeDuplicateTexts(out.tcpTokens);
    out.connectable = !out.udpTokens.isEmpty() || !out.tcpTokens.isEmpty();
    return out;
}

} // namespace GamePorts
