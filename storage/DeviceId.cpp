#include "storage/DeviceId.h"

#include <QCryptographicHash>
#include <QMutex>
#include <QMutexLocker>
#include <QSysInfo>

namespace {

QString &cachedId()
{
    static QString id;
    return id;
}

std::function<DeviceInputs()> &inputReader()
{
    static std::function<DeviceInputs()> reader;
    return reader;
}

} // namespace

QString DeviceId::fromInputs(const DeviceInputs &inputs, const QString &fallbackHostName,
                             const QString &fallbackProductType)
{
    // No separators: the order name, serial, guid is what keeps the value
    // stable, and ids already handed out depend on exactly this text.
    QString text;
    if (inputs.hasComputerName)
        text += inputs.computerName;
    if (inputs.hasVolumeSerial)
        text += QString::number(inputs.volumeSerial);
    if (inputs.hasMachineGuid)
        text += inputs.machineGuid;
    if (text.isEmpty())
        text = fallbackHostName + fallbackProductType;

    const QByteArray digest = QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha256);
    return QString::fromLatin1(digest.toHex().left(32));
}

// The games list cache is opened and written on worker threads too.
static QMutex &idLock()
{
    static QMutex mutex;
    return mutex;
}

QString DeviceId::get()
{
    QMutexLocker lock(&idLock());
    QString &id = cachedId();
    if (!id.isEmpty())
        return id;
    const DeviceInputs inputs = inputReader() ? inputReader()() : readDeviceInputs();
    id = fromInputs(inputs, QSysInfo::machineHostName(), QSysInfo::productType());
    return id;
}

void DeviceId::setInputReaderForTesting(std::function<DeviceInputs()> reader)
{
    QMutexLocker lock(&idLock());
    inputReader() = std::move(reader);
    cachedId().clear();
}
