#include "storage/RelayRecord.h"

using C = RelayRecord::Column;

const std::array<C, RelayRecord::kColumnCount> RelayRecord::kColumns = {
    C::textColumn("id", &RelayRecord::id),
    C::textColumn("name", &RelayRecord::name),
    C::textColumn("hostname", &RelayRecord::hostname),
    C::textColumn("ip_address", &RelayRecord::ipAddress),
    C::intColumn("port", &RelayRecord::port),
    C::textColumn("region", &RelayRecord::region),
    C::textColumn("country", &RelayRecord::country),
    C::textColumn("country_code", &RelayRecord::countryCode),
    C::textColumn("city", &RelayRecord::city),
    C::textColumn("flag", &RelayRecord::flag),
    C::textColumn("provider", &RelayRecord::provider),
    C::textColumn("status", &RelayRecord::status),
    C::intColumn("capacity_mbps", &RelayRecord::capacityMbps),
    C::intColumn("active_connections", &RelayRecord::activeConnections),
    C::intColumn("max_connections", &RelayRecord::maxConnections),
    C::textColumn("created_at", &RelayRecord::createdAt),
    C::textColumn("updated_at", &RelayRecord::updatedAt),
};

RelayRecord RelayRecord::fromMap(const QVariantMap &relay)
{
    RelayRecord r;
    for (const C &c : kColumns) {
        const QVariant v = relay.value(QLatin1String(c.name));
        if (c.kind == C::Kind::Int) {
            r.*c.number = v.toInt();
        } else {
            // The relay list leaves members out; they are kept as empty text.
            const QString text = v.toString();
            r.*c.text = text.isNull() ? QStringLiteral("") : text;
        }
    }
    return r;
}

QVariantMap RelayRecord::toMap() const
{
    QVariantMap map;
    for (const C &c : kColumns) {
        if (c.kind == C::Kind::Int)
            map.insert(QLatin1String(c.name), this->*c.number);
        else
            map.insert(QLatin1String(c.name), this->*c.text);
    }
    return map;
}
