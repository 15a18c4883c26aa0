#include "connection/PingOutput.h"

#include <QRegularExpression>

#include <algorithm>

PingReading parsePingOutput(const QString &output)
{
    static const QRegularExpression perReply(
        QStringLiteral("(?:time|\\x{0632}\\x{0645}\\x{0627}\\x{0646})\\s*[=<]\\s*(\\d+)\\s*ms"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression average(
        QStringLiteral("(?:Average|\\x{0645}\\x{06CC}\\x{0627}\\x{0646}\\x{06AF}\\x{06CC}\\x{0646})\\s*=\\s*("
                       "\\d+)\\s*ms"),
        QRegularExpression::CaseInsensitiveOption);

    QList<int> samples;
    for (auto it = perReply.globalMatch(output); it.hasNext();) {
        const int sample = it.next().captured(1).toInt();
        samples << (sample < 1 ? 0 : sample);
    }

    PingReading reading;
    if (samples.isEmpty()) {
        const QRegularExpressionMatch match = average.match(output);
        const int value = match.hasMatch() ? match.captured(1).toInt() : 0;
        reading.value = value < 1 ? 0 : value;
        return reading;
    }

    const bool subMillisecond = output.contains(QLatin1String("time<"), Qt::CaseInsensitive) ||
                                output.contains(QStringLiteral("\u0632\u0645\u0627\u0646<"));
    qint64 sum = 0;
    for (int sample : std::as_const(samples))
        sum += sample;
    const int mean = int(sum / samples.size());
    if (subMillisecond) {
        // "<1ms" replies read as 1, so a fast relay never shows 0 (unknown).
        for (int &sample : samples)
            sample = qMax(sample, 1);
    }
    reading.value = subMillisecond && mean < 1 ? 1 : mean;
    const auto [lo, hi] = std::minmax_element(samples.cbegin(), samples.cend());
    reading.jitter = double(*hi - *lo);
    return reading;
}
