#include "support/fakeservice/DevRelays.h"

#include "connection/GamePorts.h"
#include "support/testrelay/TestRelay.h"

#include <QJsonObject>

const char DevRelays::kAnswerAddress[] = "203.0.113.10";

struct DevRelays::Relay
{
    QString name;
    QString address;
    quint16 port = 0;
    std::unique_ptr<testrelay::TestRelay> relay;
};

DevRelays::DevRelays() = default;

DevRelays::~DevRelays()
{
    stop();
}

QStringList DevRelays::answeredNames(const QJsonArray &games)
{
    QStringList names{QString::fromLatin1(GamePorts::kChatServiceDomain)};
    auto add = [&names](const QJsonValue &domains) {
        for (const QJsonValue &d : domains.toArray()) {
            QString name = d.toString().trimmed().toLower();
            if (name.startsWith(QLatin1String("*.")))
                name.remove(0, 2);
            while (name.endsWith(QLatin1Char('.')))
                name.chop(1);
            if (!name.isEmpty() && !names.contains(name))
                names.append(name);
        }
    };
    for (const QJsonValue &g : games) {
        const QJsonObject game = g.toObject();
        add(game.value(QStringLiteral("domains")));
        for (const QJsonValue &profile : game.value(QStringLiteral("profiles")).toArray())
            add(profile.toObject().value(QStringLiteral("domains")));
    }
    return names;
}

int DevRelays::start(const QJsonArray &servers, const QJsonArray &games, QStringList *problems)
{
    stop();
    testrelay::DnsAnswer answer;
    answer.addresses.push_back(kAnswerAddress);
    const QStringList names = answeredNames(games);
    for (const QJsonValue &s : servers) {
        const QJsonObject server = s.toObject();
        if (server.value(QStringLiteral("status")).toString() != QLatin1String("active"))
            continue;
        auto entry = std::make_unique<Relay>();
        entry->name = server.value(QStringLiteral("name")).toString();
        entry->address = server.value(QStringLiteral("ip_address")).toString().trimmed();
        // The client's own rule for a missing or bad port.
        const int port = server.value(QStringLiteral("port")).toInt();
        entry->port = quint16(port < 1 || port > 65535 ? 50000 : port);
        testrelay::TestRelay::Options options;
        options.address = entry->address.toStdString();
        options.port = entry->port;
        options.ackMode = true;
        entry->relay = std::make_unique<testrelay::TestRelay>(options);
        for (const QString &name : names)
            entry->relay->setDnsAnswer(name.toStdString(), answer);
        if (!entry->relay->start()) {
            if (problems)
                problems->append(QStringLiteral("relay %1 not started: %2")
                                     .arg(entry->name, QString::fromStdString(entry->relay->errorString())));
            continue;
        }
        m_relays.push_back(std::move(entry));
    }
    return int(m_relays.size());
}

void DevRelays::stop()
{
    for (const auto &r : m_relays)
        r->relay->stop();
    m_relays.clear();
}

QStringList DevRelays::describe() const
{
    QStringList out;
    for (const auto &r : m_relays)
        out << QStringLiteral("%1 %2:%3").arg(r->name, r->address).arg(r->port);
    return out;
}
