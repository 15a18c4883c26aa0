#pragma once
// The relays of the development service's relay list, each a test relay on its
// loopback address, so that a client pointed at the service can connect:
// keepalives and acknowledgements (acknowledgement mode), the game's UDP
// echoed, and the chat service's and the sample games' domains answered with
// an address when the DNS check's lookup comes through the tunnel. Relays whose
// status is not "active" stay silent, so a failover can be seen too.

#include <QJsonArray>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

namespace testrelay {
class TestRelay;
}

class DevRelays
{
public:
    // The address every tunnelled lookup of a known name gets (TEST-NET-3:
    // nothing answers there but the relay itself).
    static const char kAnswerAddress[];

    DevRelays();
    ~DevRelays();
    DevRelays(const DevRelays &) = delete;
    DevRelays &operator=(const DevRelays &) = delete;

    // Starts one relay per active entry of `servers` (the servers API's
    // records), answering lookups of the chat service's domain and of every
    // domain the `games` records (and their boost profiles) name. A relay
    // whose address and port cannot be bound is left out; one line for each
    // such relay, naming it, lands in *problems. Returns the relays started.
    int start(const QJsonArray &servers, const QJsonArray &games, QStringList *problems);
    void stop();

    // "name address:port" of each running relay, in list order.
    QStringList describe() const;

    // The names answered (lower case).
    static QStringList answeredNames(const QJsonArray &games);

private:
    struct Relay;
    std::vector<std::unique_ptr<Relay>> m_relays;
};
