#pragma once
// Keeps the cached relay list in step with the service. Two fetches of
// "/api/servers" replace the cached list as a whole: the synchronisation run at
// start-up and during sign-in, which logs every step and reports success to its
// caller, and the picker refresh run once when the window is built, which stamps
// the load time and reloads the picker. They read the same reply but convert a
// few members differently.

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QVariantMap>

#include <functional>

class ServiceClient;

namespace ServerRecords {

// One relay as the synchronisation stores it. Empty map for a relay without a
// usable id (none, blank, or not a string or number).
QVariantMap syncRecord(const QJsonObject &server);
// One relay as the picker refresh stores it. Empty map for a relay without an id
// (none, or blank text).
QVariantMap pickerRecord(const QJsonObject &server);

// Object elements converted in array order; relays without an id are dropped.
QList<QVariantMap> syncRecords(const QJsonArray &servers);
QList<QVariantMap> pickerRecords(const QJsonArray &servers);

} // namespace ServerRecords

// Where the relay list is kept.
struct ServersCache
{
    std::function<bool(const QList<QVariantMap> &servers)> replace;
    std::function<int()> countActive;
    std::function<void()> stampLoaded; // the metadata time stamp "servers"

    // The cache database's servers table.
    static ServersCache database();
};

class ServerSync : public QObject
{
    Q_OBJECT
public:
    ServerSync(ServiceClient *client, ServersCache cache, QObject *parent = nullptr);

    // Starts the synchronisation. The completion, when set, runs exactly once:
    // true when the relays were stored, false on any failure (the cached list is
    // then left as it was).
    void syncServers(std::function<void(bool ok)> completion = {});

    // Starts the picker refresh; reload runs after the list was replaced. Every
    // failure is silent and leaves the cache as it was.
    void requestPickerServers(std::function<void()> reload = {});

private:
    // Longer lists are bounded and converted on a worker thread: some
    // thousands of relays would hold the GUI thread for tens of ms.
    static constexpr int kConvertHereUpTo = 500;
    // The records of a reply's relays (the picker's or the
    // synchronisation's conversion), handed to `use` on this thread.
    void convert(const QJsonArray &servers, bool picker,
                 const std::function<void(const QList<QVariantMap> &)> &use);

    ServiceClient *m_client;
    ServersCache m_cache;
};
