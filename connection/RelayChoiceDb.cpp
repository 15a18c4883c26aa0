#include "connection/RelayChoice.h"

#include "storage/DatabaseManager.h"
#include "storage/SettingsManager.h"

namespace RelayChoice {

Sources databaseSources()
{
    Sources sources;
    sources.activeServersInRegion = [](const QString &region) {
        return DatabaseManager::instance()->getActiveServersInRegion(region);
    };
    sources.activeServers = []() { return DatabaseManager::instance()->getActiveServers(); };
    sources.pings = []() { return loadServerPings(serverPingsPath()); };
    return sources;
}

namespace {

// The selected relay in the application settings.
class SettingsManagerStore : public SelectedRelayStore
{
public:
    bool connectionMode() const override { return SettingsManager::instance()->connectionMode(); }
    QString serverIp() const override { return SettingsManager::instance()->serverIp(); }
    int serverPort() const override { return SettingsManager::instance()->serverPort(); }
    void setServer(const QString &key, const QString &ip, const QString &name,
                   const QString &countryCode) override
    {
        SettingsManager::instance()->setServer(key, ip, name, countryCode);
    }
    void setServerPort(int port) override { SettingsManager::instance()->setServerPort(port); }
    void setConnectionMode(bool automatic) override
    {
        SettingsManager::instance()->setConnectionMode(automatic);
    }
};

} // namespace

SelectedRelayStore *settingsStore()
{
    static SettingsManagerStore store;
    return &store;
}

} // namespace RelayChoice
