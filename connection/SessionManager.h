#pragma once
#include <QDateTime>
#include <QObject>
#include <QString>

class TunnelClient;

// One play session's record, as the session manager keeps and reports it.
struct SessionData
{
    QString gameTitle;
    QString gameExecutable;
    QString gameLogoPath;
    QDateTime startTime;
    QDateTime endTime;
    qint64 duration = 0;
    qint64 bytesSent = 0;
    qint64 bytesReceived = 0;
    double averagePing = 0;
    double minimumPing = 999.0;
    double averageJitter = 0;
    double packetLoss = 0;
    int sampleCount = 0;
    bool isActive = false;
};

// Stand-in for the session statistics keeper, to be filled: it only tracks
// whether a session is active and reports start and end.
class SessionManager : public QObject
{
    Q_OBJECT
public:
    explicit SessionManager(QObject *parent = nullptr);

    void setTunnelClient(TunnelClient *client) { m_tunnelClient = client; }
    void startSession(const QString &title, const QString &executable, const QString &logoPath);
    void addPingSample(double ping, double jitter);
    void endSession();
    SessionData lastSession() const { return m_lastSession; }
    SessionData currentSession() const { return m_current; }

signals:
    void sessionStarted(const SessionData &session);
    void sessionUpdated(const SessionData &session);
    void sessionEnded(const SessionData &session);

private:
    TunnelClient *m_tunnelClient = nullptr;
    SessionData m_current;
    SessionData m_lastSession;
};
