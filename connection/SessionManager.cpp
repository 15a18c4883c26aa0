#include "connection/SessionManager.h"

#include "engine/qt/TunnelClient.h"
#include "storage/DatabaseManager.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSaveFile>
#include <QStandardPaths>

#include <numeric>

namespace {

double mean(const QList<double> &values)
{
    return values.isEmpty() ? 0.0 : std::accumulate(values.cbegin(), values.cend(), 0.0) / values.size();
}

// The counter's growth since its baseline; a counter reset below the baseline
// counts as no growth.
quint64 sinceBaseline(quint64 now, quint64 baseline)
{
    return now < baseline ? 0 : now - baseline;
}

} // namespace

SessionManager::SessionManager(QObject *parent) : QObject(parent), m_statsTimer(this), m_saveTimer(this)
{
    qRegisterMetaType<SessionData>();
    const Intervals defaults;
    m_statsTimer.setInterval(defaults.statsMs);
    m_saveTimer.setInterval(defaults.saveMs);
    connect(&m_statsTimer, &QTimer::timeout, this, &SessionManager::updateSessionStats);
    connect(&m_saveTimer, &QTimer::timeout, this, &SessionManager::saveCurrentSession);
    loadLastSession();
}

SessionManager::~SessionManager()
{
    if (m_current.isActive)
        endSession();
}

void SessionManager::setIntervals(const Intervals &intervals)
{
    m_statsTimer.setInterval(intervals.statsMs);
    m_saveTimer.setInterval(intervals.saveMs);
}

QString SessionManager::metadataKey()
{
    return QStringLiteral("session/last_session_json");
}

QString SessionManager::sessionFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) +
           QStringLiteral("/session_data.json");
}

void SessionManager::setTunnelClient(TunnelClient *client)
{
    m_tunnelClient = client;
    if (m_tunnelClient && m_current.isActive)
        takeBaselines();
}

void SessionManager::takeBaselines()
{
    // TunnelClient reads 0 while its thread does not run.
    m_ackedBaseline = m_tunnelClient->txAcked();
    m_lostBaseline = m_tunnelClient->txLost();
}

void SessionManager::startSession(const QString &title, const QString &executable, const QString &logoPath)
{
    if (m_current.isActive)
        endSession();
    m_current = SessionData();
    m_current.gameTitle = title;
    m_current.gameExecutable = executable;
    m_current.gameLogoPath = logoPath;
    m_current.startTime = QDateTime::currentDateTime();
    m_current.isActive = true;
    m_ackedBaseline = 0;
    m_lostBaseline = 0;
    if (m_tunnelClient)
        takeBaselines();
    m_pingSamples.clear();
    m_jitterSamples.clear();
    m_statsTimer.start();
    m_saveTimer.start();
    emit sessionStarted(m_current);
}

void SessionManager::addPingSample(double ping, double jitter)
{
    if (!m_current.isActive)
        return;
    m_pingSamples.append(ping);
    m_jitterSamples.append(jitter);
    m_current.minimumPing = qMin(m_current.minimumPing, ping);
    m_current.averagePing = mean(m_pingSamples);
    m_current.averageJitter = mean(m_jitterSamples);
    ++m_current.sampleCount;
    emit sessionUpdated(m_current);
}

void SessionManager::updateSessionStats()
{
    if (!m_current.isActive || !m_tunnelClient)
        return;
    m_current.duration = m_current.startTime.secsTo(QDateTime::currentDateTime());
    m_current.bytesSent = qint64(m_tunnelClient->bytesSent());
    m_current.bytesReceived = qint64(m_tunnelClient->bytesReceived());
    const quint64 lost = sinceBaseline(m_tunnelClient->txLost(), m_lostBaseline);
    const quint64 acked = sinceBaseline(m_tunnelClient->txAcked(), m_ackedBaseline);
    const quint64 total = lost + acked;
    m_current.packetLoss = total > 0 ? double(lost) * 100.0 / double(total) : 0.0;
    emit sessionUpdated(m_current);
}

void SessionManager::saveCurrentSession()
{
    if (m_current.isActive)
        saveSession(m_current);
}

void SessionManager::endSession()
{
    if (!m_current.isActive)
        return;
    m_statsTimer.stop();
    m_saveTimer.stop();
    // No last refresh from the counters: the tunnel is stopped before the
    // session ends, and its counters then read 0.
    m_current.endTime = QDateTime::currentDateTime();
    m_current.duration = m_current.startTime.secsTo(m_current.endTime);
    m_current.isActive = false;
    m_lastSession = m_current;
    saveSession(m_lastSession);
    const SessionData ended = m_current;
    m_current = SessionData();
    emit sessionEnded(ended);
}

void SessionManager::saveSession(const SessionData &session)
{
    const QByteArray text = QJsonDocument(session.toJson()).toJson(QJsonDocument::Compact);
    if (DatabaseManager *db = DatabaseManager::instance())
        db->setMetadata(metadataKey(), QString::fromUtf8(text));

    // Written whole and renamed into place, so a crash mid-write keeps the
    // previous session instead of leaving a cut file.
    const QString path = sessionFilePath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit())
        qWarning().noquote() << "[Session] Could not save" << path << file.errorString();
}

void SessionManager::loadLastSession()
{
    QString text;
    if (DatabaseManager *db = DatabaseManager::instance())
        db->tryGetMetadata(metadataKey(), &text);
    if (text.trimmed().isEmpty()) {
        QFile file(sessionFilePath());
        if (file.exists() && file.open(QIODevice::ReadOnly))
            text = QString::fromUtf8(file.readAll());
    }
    m_lastSession = SessionData();
    if (text.trimmed().isEmpty())
        return;
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        qWarning().noquote() << "[Session] Stored last session is unreadable; starting empty";
        return;
    }
    m_lastSession = SessionData::fromJson(doc.object());
    m_lastSession.isActive = false;
}
