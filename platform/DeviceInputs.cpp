#include "platform/DeviceInputs.h"

#include <QFile>

#include <climits>
#include <sys/statvfs.h>
#include <unistd.h>

DeviceInputs readDeviceInputs(const QString &rootPath, const QString &machineIdPath)
{
    DeviceInputs inputs;

    char host[HOST_NAME_MAX + 1] = {};
    if (gethostname(host, sizeof host - 1) == 0 && host[0] != '\0') {
        inputs.hasComputerName = true;
        inputs.computerName = QString::fromLocal8Bit(host);
    }

    struct statvfs vfs;
    if (statvfs(QFile::encodeName(rootPath).constData(), &vfs) == 0) {
        inputs.hasVolumeSerial = true;
        inputs.volumeSerial = static_cast<quint32>(vfs.f_fsid & 0xffffffffUL);
    }

    QFile machineId(machineIdPath);
    if (machineId.open(QIODevice::ReadOnly)) {
        // The file is one line of 32 hex digits; a few bytes more guard
        // against reading something huge by mistake.
        const QString guid = QString::fromUtf8(machineId.read(256)).trimmed();
        if (!guid.isEmpty()) {
            inputs.hasMachineGuid = true;
            inputs.machineGuid = guid;
        }
    }
    return inputs;
}
