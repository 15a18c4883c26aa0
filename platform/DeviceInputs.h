#pragma once

#include <QString>
#include <QtGlobal>

// The machine facts the device identifier is derived from. Each one may be
// missing (the read failed); a missing one is left out of the identifier.
struct DeviceInputs
{
    bool hasComputerName = false;
    QString computerName;
    bool hasVolumeSerial = false;
    quint32 volumeSerial = 0;
    bool hasMachineGuid = false;
    QString machineGuid;
};

// Reads the inputs from this machine: the host name, the low 32 bits of the
// root file system's id and the trimmed contents of the machine-id file. The
// paths are parameters so tests can point them at files of their own.
DeviceInputs readDeviceInputs(const QString &rootPath = QStringLiteral("/"),
                              const QString &machineIdPath = QStringLiteral("/etc/machine-id"));
