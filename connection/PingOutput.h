#pragma once
// Reads the output of one live-ping run (Windows wording, the Linux tool's
// output rewritten into it, or the Persian Windows wording): the estimated
// ping and the jitter between the replies.

#include <QString>

// One run's reading: value in ms (0: nothing usable) and jitter.
struct PingReading
{
    int value = 0;
    double jitter = 0;
};

// The mean of the per-reply times ("time=24ms", "time<1ms"), rounded down and
// at least 1 when the tool reported sub-millisecond replies; without replies
// the summary's "Average = N ms". Jitter: largest minus smallest reply.
PingReading parsePingOutput(const QString &output);
