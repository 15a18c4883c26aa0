#include "connection/SessionData.h"

namespace {

QString isoText(const QDateTime &when)
{
    return when.isValid() ? when.toString(Qt::ISODate) : QString();
}

} // namespace

QJsonObject SessionData::toJson() const
{
    QJsonObject o;
    o.insert(QStringLiteral("gameTitle"), gameTitle);
    o.insert(QStringLiteral("gameExecutable"), gameExecutable);
    o.insert(QStringLiteral("gameLogoPath"), gameLogoPath);
    o.insert(QStringLiteral("startTime"), isoText(startTime));
    o.insert(QStringLiteral("endTime"), isoText(endTime));
    o.insert(QStringLiteral("duration"), duration);
    o.insert(QStringLiteral("bytesSent"), bytesSent);
    o.insert(QStringLiteral("bytesReceived"), bytesReceived);
    o.insert(QStringLiteral("averagePing"), averagePing);
    o.insert(QStringLiteral("minimumPing"), minimumPing);
    o.insert(QStringLiteral("averageJitter"), averageJitter);
    o.insert(QStringLiteral("packetLoss"), packetLoss);
    o.insert(QStringLiteral("sampleCount"), sampleCount);
    o.insert(QStringLiteral("isActive"), isActive);
    return o;
}

SessionData SessionData::fromJson(const QJsonObject &o)
{
    SessionData s;
    s.gameTitle = o.value(QStringLiteral("gameTitle")).toString();
    s.gameExecutable = o.value(QStringLiteral("gameExecutable")).toString();
    s.gameLogoPath = o.value(QStringLiteral("gameLogoPath")).toString();
    s.startTime = QDateTime::fromString(o.value(QStringLiteral("startTime")).toString(), Qt::ISODate);
    s.endTime = QDateTime::fromString(o.value(QStringLiteral("endTime")).toString(), Qt::ISODate);
    s.duration = o.value(QStringLiteral("duration")).toInteger();
    s.bytesSent = o.value(QStringLiteral("bytesSent")).toInteger();
    s.bytesReceived = o.value(QStringLiteral("bytesReceived")).toInteger();
    s.averagePing = o.value(QStringLiteral("averagePing")).toDouble();
    s.minimumPing = o.value(QStringLiteral("minimumPing")).toDouble();
    s.averageJitter = o.value(QStringLiteral("averageJitter")).toDouble();
    s.packetLoss = o.value(QStringLiteral("packetLoss")).toDouble();
    s.sampleCount = o.value(QStringLiteral("sampleCount")).toInt();
    s.isActive = o.value(QStringLiteral("isActive")).toBool();
    return s;
}
