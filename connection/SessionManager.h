#pragma once
// The statistics of one play session, from the moment a PC connection is
// verified until it ends: duration, traffic, ping, jitter and loss. They are
// refreshed from the tunnel's counters, fed ping samples by the live ping,
// saved as JSON every half minute and at the end, and the last ended session
// is kept for the home page's last-session card.

#include "connection/SessionData.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include "engine/qt/TunnelClient.h"

class SessionManager : public QObject
{
    Q_OBJECT
public:
    struct Intervals
    {
        int statsMs = 2000;
        int saveMs = 30000;
    };

    // Loads the last session from the metadata key, else from the file.
    explicit SessionManager(QObject *parent = nullptr);
    // Ends an active session, which saves it.
    ~SessionManager() override;

    // Takes effect for the next started session's timers.
    void setIntervals(const Intervals &intervals);

    void setTunnelClient(TunnelClient *client);
    void startSession(const QString &title, const QString &executable, const QString &logoPath);
    void addPingSample(double ping, double jitter);
    void endSession();
    SessionData lastSession() const { return m_lastSession; }
    SessionData currentSession() const { return m_current; }
    bool isActive() const { return m_current.isActive; }

    void saveSession(const SessionData &session);
    void loadLastSession();

    static QString metadataKey();     // "session/last_session_json"
    static QString sessionFilePath(); // "session_data.json" in the local data folder

public slots:
    void updateSessionStats();
    void saveCurrentSession();

signals:
    void sessionStarted(const SessionData &session);
    void sessionUpdated(const SessionData &session);
    void sessionEnded(const SessionData &session);

private:
    void takeBaselines();

    QPointer<TunnelClient> m_tunnelClient;
    SessionData m_current;
    SessionData m_lastSession;
    QTimer m_statsTimer;
    QTimer m_saveTimer;
    quint64 m_ackedBaseline = 0;
    quint64 m_lostBaseline = 0;
    QList<double> m_pingSamples;
    QList<double> m_jitterSamples;
};
