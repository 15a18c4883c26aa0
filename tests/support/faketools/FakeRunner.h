#pragma once
// Test doubles for the system-tools layer.
//
// FakeRunner answers tool commands from a script instead of starting
// processes: each command gets a FakeRunner::Reply (a result, a delay, or a
// hang that lasts until the job is killed or its time limit passes). Every
// command it is given is recorded.
//
// FakeTools locates the fake tool scripts in tests/support/faketools/bin and
// puts them first on PATH, for tests that drive the real SystemProcessRunner.

#include "platform/ProcessRunner.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QDir>
#include <QList>
#include <QMutex>
#include <QMutexLocker>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <functional>

class FakeRunner : public SystemTools::ProcessRunner
{
public:
    struct Reply
    {
        SystemTools::ToolResult result;
        int delayMs = 0;
        bool hang = false;        // no result until killed or timed out
        bool reportTwice = false; // a misbehaving job that emits `finished` twice
    };
    using Script = std::function<Reply(const SystemTools::ToolCommand &)>;

    explicit FakeRunner(Script script = Script()) : m_script(std::move(script)) {}

    void setScript(Script script)
    {
        QMutexLocker lock(&m_mutex);
        m_script = std::move(script);
    }

    QList<SystemTools::ToolCommand> commands() const
    {
        QMutexLocker lock(&m_mutex);
        return m_commands;
    }
    int jobsKilled() const { return m_killed; }

    // A tool that exited with `exitCode` after printing `linuxText`, decoded and
    // normalised as the real runner does for the command.
    static SystemTools::ToolResult exited(const SystemTools::ToolCommand &command, int exitCode,
                                          const QString &linuxText)
    {
        return SystemTools::SystemProcessRunner::resultFromOutput(command, exitCode, linuxText.toLocal8Bit(),
                                                                  {});
    }
    // What iputils ping prints for `sent` echo requests of which the ones in
    // `replyTimesMs` were answered (in ms, as the tool prints them).
    static QString linuxPingText(const QString &address, const QStringList &replyTimesMs, int sent = 3)
    {
        QString text = QStringLiteral("PING %1 (%1) 56(84) bytes of data.\n").arg(address);
        for (int i = 0; i < replyTimesMs.size(); ++i)
            text += QStringLiteral("64 bytes from %1: icmp_seq=%2 ttl=64 time=%3 ms\n")
                        .arg(address)
                        .arg(i + 1)
                        .arg(replyTimesMs.at(i));
        const int received = int(replyTimesMs.size());
        text +=
            QStringLiteral("\n--- %1 ping statistics ---\n%2 packets transmitted, %3 received, %4% packet "
                           "loss, time 2003ms\n")
                .arg(address)
                .arg(sent)
                .arg(received)
                .arg(sent > 0 ? (sent - received) * 100 / sent : 0);
        if (received > 0) {
            double lo = 1e9, hi = 0, sum = 0;
            for (const QString &t : replyTimesMs) {
                lo = qMin(lo, t.toDouble());
                hi = qMax(hi, t.toDouble());
                sum += t.toDouble();
            }
            text += QStringLiteral("rtt min/avg/max/mdev = %1/%2/%3/0.100 ms\n")
                        .arg(lo, 0, 'f', 3)
                        .arg(sum / received, 0, 'f', 3)
                        .arg(hi, 0, 'f', 3);
        }
        return text;
    }
    // What nslookup prints for a lookup of `domain` that `server` answered.
    static QString linuxNslookupAnswer(const QString &domain, const QString &address,
                                       const QString &server = QStringLiteral("127.0.0.53"))
    {
        return QStringLiteral("Server:\t\t%1\nAddress:\t%1#53\n\nNon-authoritative answer:\nName:\t%2\n"
                              "Address: %3\n")
            .arg(server, domain, address);
    }
    static SystemTools::ToolResult status(SystemTools::ToolResult::Status status)
    {
        SystemTools::ToolResult result;
        result.status = status;
        result.errorText = QString::fromLatin1(SystemTools::statusName(status));
        return result;
    }
    static Reply reply(const SystemTools::ToolResult &result, int delayMs = 0)
    {
        Reply r;
        r.result = result;
        r.delayMs = delayMs;
        return r;
    }
    static Reply hang()
    {
        Reply r;
        r.hang = true;
        return r;
    }

    SystemTools::ToolJob *start(const SystemTools::ToolCommand &command, QObject *parent) override
    {
        const Reply r = next(command);
        return new Job(this, command, r, parent);
    }

    SystemTools::ToolResult run(const SystemTools::ToolCommand &command,
                                const std::atomic<bool> *cancel = nullptr) override
    {
        const Reply r = next(command);
        if (!command.isValid())
            return status(SystemTools::ToolResult::Status::Refused);
        QDeadlineTimer deadline =
            command.timeoutMs > 0 ? QDeadlineTimer(command.timeoutMs) : QDeadlineTimer::Forever;
        QDeadlineTimer delay(r.hang ? -1 : r.delayMs);
        while (r.hang || !delay.hasExpired()) {
            if (cancel && cancel->load()) {
                ++m_killed;
                return status(SystemTools::ToolResult::Status::Killed);
            }
            if (deadline.hasExpired()) {
                ++m_killed;
                return status(SystemTools::ToolResult::Status::TimedOut);
            }
            QThread::msleep(2);
        }
        return r.result;
    }

private:
    class Job : public SystemTools::ToolJob
    {
    public:
        Job(FakeRunner *runner, const SystemTools::ToolCommand &command, const Reply &reply, QObject *parent)
            : SystemTools::ToolJob(parent), m_runner(runner), m_reply(reply)
        {
            if (!command.isValid()) {
                m_reply = FakeRunner::reply(FakeRunner::status(SystemTools::ToolResult::Status::Refused));
            }
            if (!m_reply.hang)
                QTimer::singleShot(m_reply.delayMs, this, [this] { deliver(m_reply.result); });
            if (command.timeoutMs > 0)
                QTimer::singleShot(command.timeoutMs, this, [this] {
                    if (!m_done) {
                        ++m_runner->m_killed;
                        deliver(FakeRunner::status(SystemTools::ToolResult::Status::TimedOut));
                    }
                });
        }
        void kill() override
        {
            if (m_done || m_killing)
                return;
            m_killing = true;
            ++m_runner->m_killed;
            QTimer::singleShot(
                0, this, [this] { deliver(FakeRunner::status(SystemTools::ToolResult::Status::Killed)); });
        }
        bool isRunning() const override { return !m_done; }

    private:
        void deliver(const SystemTools::ToolResult &result)
        {
            if (m_done)
                return;
            m_done = true;
            emit finished(result);
            if (m_reply.reportTwice)
                emit finished(result);
            deleteLater();
        }
        FakeRunner *m_runner;
        Reply m_reply;
        bool m_done = false;
        bool m_killing = false;
    };

    Reply next(const SystemTools::ToolCommand &command)
    {
        QMutexLocker lock(&m_mutex);
        m_commands << command;
        if (!command.isValid())
            return reply(status(SystemTools::ToolResult::Status::Refused));
        if (!m_script)
            return reply(exited(command, 0, QString()));
        return m_script(command);
    }

    mutable QMutex m_mutex;
    Script m_script;
    QList<SystemTools::ToolCommand> m_commands;
    std::atomic<int> m_killed{0};
};

namespace FakeTools {

// tests/support/faketools/bin of the source tree.
inline QString binDir()
{
    return QDir(qEnvironmentVariable("QUORLIX_SOURCE_DIR"))
        .filePath(QStringLiteral("tests/support/faketools/bin"));
}

// Puts `dir` (default: the fake tools) first on PATH for this process and the
// tools it starts; restores the old PATH when destroyed.
class PathGuard
{
public:
    explicit PathGuard(const QString &dir = binDir()) : m_old(qgetenv("PATH"))
    {
        qputenv("PATH", dir.toLocal8Bit() + ':' + m_old);
    }
    ~PathGuard() { qputenv("PATH", m_old); }

private:
    QByteArray m_old;
};

} // namespace FakeTools
