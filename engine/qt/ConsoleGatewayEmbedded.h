#pragma once
#include <QObject>
#include <QString>

// Stand-in for the console gateway's Qt owner, to be filled: the signals the window connects, no engine yet.
class ConsoleGatewayEmbedded : public QObject
{
    Q_OBJECT
public:
    explicit ConsoleGatewayEmbedded(QObject *parent = nullptr);

    bool start() { return false; }
    void stop() {}

signals:
    void started();
    void stopped(int exitCode);
    void errorOccurred(const QString &message);
};
