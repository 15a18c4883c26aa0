// fuzz-sources: connection/PingOutput.cpp connection/SessionData.cpp
// fuzz-pkg: Qt6Core
//
// The two readers of outside text on the connection's statistics path: a ping
// run's output (any bytes the tool or a stand-in prints) and a stored session
// record (the metadata text or "session_data.json").

#include "connection/PingOutput.h"
#include "connection/SessionData.h"

#include <QJsonDocument>

#include <stdlib.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));

    const PingReading reading = parsePingOutput(QString::fromLocal8Bit(input));
    if (reading.value < 0 || reading.jitter < 0)
        abort();
    const PingReading utf8 = parsePingOutput(QString::fromUtf8(input));
    if (utf8.value < 0 || utf8.jitter < 0)
        abort();

    const QJsonDocument doc = QJsonDocument::fromJson(input);
    if (doc.isObject()) {
        // Reading what was written gives the same record again.
        const QJsonObject once = SessionData::fromJson(doc.object()).toJson();
        if (SessionData::fromJson(once).toJson() != once)
            abort();
    }
    return 0;
}
