#pragma once
#include <QObject>
#include <QString>

// Stand-in for the console network watcher, to be filled: the names the window uses, no polling yet.
class ConsoleNetworkManager : public QObject
{
    Q_OBJECT
public:
    struct NetworkConfig
    {
        QString ipAddress;
        QString subnetMask;
        QString gateway;
        QString dns;
        bool valid = false;
    };

    explicit ConsoleNetworkManager(QObject *parent = nullptr);

    bool setupConsoleMode() { return false; }
    void startMonitoring() {}

signals:
    void configurationReady(const ConsoleNetworkManager::NetworkConfig &config);
    void consoleConnected();
    void consoleDisconnected();
    void errorOccurred(const QString &error);
};
