#pragma once
// Organisation and application "Quorlix", as the client sets them at start:
// the settings, data folders and stores a test reads are found under them.

#include <QCoreApplication>
#include <QString>

inline void useClientNames()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Quorlix"));
    QCoreApplication::setApplicationName(QStringLiteral("Quorlix"));
}
