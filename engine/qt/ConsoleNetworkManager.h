#pragma once
// Watches the PC's wired network for the game console while the console
// set-up is shown. It changes nothing on the PC ("monitor-only"): it publishes
// the fixed addresses the console is to be given and, once monitoring has
// started, reads the ARP listing every poll interval to learn whether a
// console has appeared in the console subnet on the wired adapter.

#include "platform/ProcessRunner.h"
#include "platform/SystemTools.h"

#include <QHostAddress>
#include <QList>
#include <QMetaType>
#include <QObject>
#include <QString>

#include <functional>

class QTimer;

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

    // One network interface as the adapter search sees it.
    struct Interface
    {
        QString humanReadableName;
        bool loopback = false;
        QList<QHostAddress> ipv4; // its IPv4 address entries, in order
    };
    using InterfaceSource = std::function<QList<Interface>()>;
    // The host's interfaces (QNetworkInterface::allInterfaces).
    static QList<Interface> systemInterfaces();

    struct Options
    {
        SystemTools::ProcessRunner *runner = SystemTools::ProcessRunner::system();
        InterfaceSource interfaces = systemInterfaces;
        SystemTools::ToolCommand arpCommand = SystemTools::arpCommand();
        int pollIntervalMs = 1000;
        // A poll waits this long for the listing, on the GUI thread.
        int toolTimeoutMs = 2000;
    };

    explicit ConsoleNetworkManager(QObject *parent = nullptr);
    explicit ConsoleNetworkManager(const Options &options, QObject *parent = nullptr);
    ~ConsoleNetworkManager() override;

    // Publishes the console's fixed network values. This watch cannot fail;
    // one that prepares an adapter reports false when it could not.
    virtual bool setupConsoleMode();
    // Polls from now on; the next poll that sees the console reports it again.
    // While the watch is not wanted the start waits until it is.
    void startMonitoring();
    // Whether anyone looks at the console now (its set-up shown, or its
    // connection running). Not wanted, the polls pause; wanted again, a
    // paused watch starts afresh, so a console still there is reported again.
    void setMonitoringWanted(bool wanted);
    bool isMonitoringWanted() const { return m_wanted; }
    // Stops polling and forgets the configuration.
    void destroyAdapter();
    // The wired adapter's name, or empty.
    QString findEthernetAdapter() const;

    NetworkConfig configuration() const { return m_config; }
    bool isConnected() const { return m_connected; }
    bool isMonitoring() const;

public slots:
    // One poll.
    void checkConsoleConnection();

signals:
    void configurationReady(const ConsoleNetworkManager::NetworkConfig &config);
    void consoleConnected();
    void consoleDisconnected();
    void errorOccurred(const QString &error);

private:
    QString findEthernetAdapter(const QList<Interface> &interfaces) const;
    // Logs the adapter search's outcome when it differs from the last one.
    void reportAdapter(const QString &adapter);

    Options m_options;
    NetworkConfig m_config;
    QTimer *m_timer;
    bool m_connected = false;
    bool m_wanted = true;
    bool m_paused = false; // monitoring that waits for the watch to be wanted
    // The last adapter search's outcome as logged; null before the first.
    QString m_reportedAdapter;
};

Q_DECLARE_METATYPE(ConsoleNetworkManager::NetworkConfig)
