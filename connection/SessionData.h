#pragma once
// The record of one play session as the session manager keeps, reports and
// saves it (the last one is shown on the home page).

#include <QDateTime>
#include <QJsonObject>
#include <QMetaType>
#include <QString>

// One play session's record; its JSON form uses the field names as keys.
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

    QJsonObject toJson() const;
    // A missing key reads as 0, an empty text or false (so a missing
    // "minimumPing" reads 0, not 999).
    static SessionData fromJson(const QJsonObject &object);
};

Q_DECLARE_METATYPE(SessionData)
