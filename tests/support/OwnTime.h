#pragma once
// The time a stretch of the calling thread took, less the time the thread
// was ready to run and waited for a processor. On a busy machine a thread
// may sit in the run queue for a long while, which is no wait of the code
// under test; what is left is time the thread worked, slept or was blocked,
// so a bound on it holds however loaded the machine is.

#include <QElapsedTimer>
#include <QFile>
#include <QList>

#include <algorithm>

class OwnTime
{
public:
    OwnTime() { restart(); }

    void restart()
    {
        m_waitedAtStart = waitedForCpuNs();
        m_clock.start();
    }

    // Milliseconds since the start, less the run-queue wait in between.
    qint64 elapsed() const
    {
        const qint64 waited = waitedForCpuNs() - m_waitedAtStart;
        return std::max<qint64>(0, m_clock.nsecsElapsed() - waited) / 1000000;
    }

    // The calling thread's run-queue wait so far, from the kernel's scheduler
    // statistics (0 where it keeps none: then nothing is taken off).
    static qint64 waitedForCpuNs()
    {
        QFile stat(QStringLiteral("/proc/thread-self/schedstat"));
        if (!stat.open(QIODevice::ReadOnly))
            return 0;
        const QList<QByteArray> fields = stat.readAll().simplified().split(' ');
        return fields.size() >= 2 ? fields.at(1).toLongLong() : 0;
    }

private:
    QElapsedTimer m_clock;
    qint64 m_waitedAtStart = 0;
};
