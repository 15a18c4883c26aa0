#include "connection/SessionManager.h"

SessionManager::SessionManager(QObject *parent) : QObject(parent) {}

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
    emit sessionStarted(m_current);
}

void SessionManager::addPingSample(double, double) {}

void SessionManager::endSession()
{
    if (!m_current.isActive)
        return;
    m_current.endTime = QDateTime::currentDateTime();
    m_current.isActive = false;
    m_lastSession = m_current;
    emit sessionEnded(m_current);
}
