#pragma once

#include "platform/DeviceInputs.h"

#include <QString>

#include <functional>

// A stable identifier of this machine: 32 lower-case hex digits of a SHA-256
// over the computer name, the system volume's serial and the machine id. Sent
// with account requests and mixed into the games cache's protection, so it
// must not change between runs on the same machine.
class DeviceId
{
public:
    // The identifier; the machine is read on the first call only.
    static QString get();

    // The identifier for the given inputs. When all three are missing, the
    // host name and product type stand in for them.
    static QString fromInputs(const DeviceInputs &inputs, const QString &fallbackHostName,
                              const QString &fallbackProductType);

    // Tests: replace the machine reader (an empty function restores the real
    // one) and forget the cached identifier.
    static void setInputReaderForTesting(std::function<DeviceInputs()> reader);
};
