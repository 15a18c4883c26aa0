#include "platform/ProcessRunner.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QTimer>

#include <algorithm>

namespace SystemTools {

const char *statusName(ToolResult::Status status)
{
    switch (status) {
    case ToolResult::Status::Finished:
        return "Finished";
    case ToolResult::Status::Crashed:
        return "Crashed";
    case ToolResult::Status::TimedOut:
        return "TimedOut";
    case ToolResult::Status::Killed:
        return "Killed";
    case ToolResult::Status::FailedToStart:
        return "FailedToStart";
    case ToolResult::Status::NotFound:
        return "NotFound";
    case ToolResult::Status::Refused:
        return "Refused";
    }
    return "Unknown";
}

ProcessRunner::~ProcessRunner() = default;

ProcessRunner *ProcessRunner::system()
{
    static SystemProcessRunner runner;
    return &runner;
}

namespace {

ToolResult failure(ToolResult::Status status, const QString &why)
{
    ToolResult result;
    result.status = status;
    result.errorText = why;
    return result;
}

// A tool run as a QProcess child, driven by its signals.
class SystemToolJob : public ToolJob
{
public:
    SystemToolJob(const ToolCommand &command, QObject *parent) : ToolJob(parent), m_command(command)
    {
        // Started from the event loop so the caller has connected `finished`
        // before anything, even a failure to start, can be reported.
        QTimer::singleShot(0, this, [this] { begin(); });
    }

    ~SystemToolJob() override
    {
        if (m_process) {
            m_process->disconnect(this);
            if (m_process->state() != QProcess::NotRunning) {
                m_process->kill();
                m_process->waitForFinished(500);
            }
        }
    }

    void kill() override
    {
        if (m_done || m_endReason != ToolResult::Status::Finished)
            return;
        m_endReason = ToolResult::Status::Killed;
        if (m_process && m_process->state() != QProcess::NotRunning)
            m_process->kill(); // `finished` of the process reports it
        else if (m_started)
            QTimer::singleShot(0, this, [this] { finish(failure(ToolResult::Status::Killed, "killed")); });
        // Not started yet: begin() sees the kill.
    }

    bool isRunning() const override { return !m_done; }

private:
    void begin()
    {
        m_started = true;
        if (m_endReason == ToolResult::Status::Killed) {
            finish(failure(ToolResult::Status::Killed, QStringLiteral("killed before start")));
            return;
        }
        if (!m_command.isValid()) {
            finish(failure(ToolResult::Status::Refused, m_command.refusal));
            return;
        }
        if (m_command.builtin) {
            finish(SystemProcessRunner::runBuiltin(m_command));
            return;
        }
        const QString path = findTool(m_command.program);
        if (path.isEmpty()) {
            finish(failure(ToolResult::Status::NotFound,
                           m_command.program + QStringLiteral(" not found on PATH")));
            return;
        }
        m_process = new QProcess(this);
        m_process->setProcessEnvironment(toolEnvironment());
        connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
            // Other errors (a crash, a kill) are followed by `finished`.
            if (error == QProcess::FailedToStart)
                finish(failure(ToolResult::Status::FailedToStart, m_process->errorString()));
        });
        connect(m_process, &QProcess::finished, this, [this](int exitCode, QProcess::ExitStatus exitStatus) {
            ToolResult result = SystemProcessRunner::resultFromOutput(
                m_command, exitCode, m_process->readAllStandardOutput(), m_process->readAllStandardError());
            if (m_endReason != ToolResult::Status::Finished) {
                result.status = m_endReason;
                result.errorText = m_endReason == ToolResult::Status::TimedOut
                                       ? QStringLiteral("time limit passed")
                                       : QStringLiteral("killed");
            } else if (exitStatus == QProcess::CrashExit) {
                result.status = ToolResult::Status::Crashed;
                result.errorText = QStringLiteral("crashed");
            }
            finish(result);
        });
        if (m_command.timeoutMs > 0) {
            m_timer = new QTimer(this);
            m_timer->setSingleShot(true);
            connect(m_timer, &QTimer::timeout, this, [this] {
                if (m_done || m_endReason != ToolResult::Status::Finished)
                    return;
                m_endReason = ToolResult::Status::TimedOut;
                if (m_process->state() != QProcess::NotRunning)
                    m_process->kill();
            });
            m_timer->start(m_command.timeoutMs);
        }
        m_process->start(path, m_command.arguments, QIODevice::ReadOnly);
    }

    void finish(const ToolResult &result)
    {
        if (m_done)
            return;
        m_done = true;
        if (m_timer)
            m_timer->stop();
        emit finished(result);
        deleteLater();
    }

    ToolCommand m_command;
    QPointer<QProcess> m_process;
    QPointer<QTimer> m_timer;
    ToolResult::Status m_endReason = ToolResult::Status::Finished;
    bool m_started = false;
    bool m_done = false;
};

} // namespace

ToolJob *SystemProcessRunner::start(const ToolCommand &command, QObject *parent)
{
    return new SystemToolJob(command, parent);
}

ToolResult SystemProcessRunner::resultFromOutput(const ToolCommand &command, int exitCode,
                                                 const QByteArray &out, const QByteArray &err)
{
    ToolResult result;
    result.status = ToolResult::Status::Finished;
    result.exitCode = exitCode;
    result.rawStdout = out;
    result.rawStderr = err;
    QString text = QString::fromLocal8Bit(out);
    if (!err.isEmpty()) {
        if (!text.isEmpty() && !text.endsWith(QLatin1Char('\n')))
            text += QLatin1Char('\n');
        text += QString::fromLocal8Bit(err);
    }
    result.output = command.os == HostOs::Linux ? normalizeOutput(command.kind, text) : text;
    return result;
}

ToolResult SystemProcessRunner::runBuiltin(const ToolCommand &command)
{
    if (command.kind != ToolKind::Arp)
        return failure(ToolResult::Status::FailedToStart, QStringLiteral("no builtin for this tool"));
    QFile table(command.tablePath);
    if (!table.open(QIODevice::ReadOnly))
        return failure(ToolResult::Status::FailedToStart, table.errorString());
    const QByteArray bytes = table.read(4 * 1024 * 1024);
    ToolResult result;
    result.status = ToolResult::Status::Finished;
    result.exitCode = 0;
    result.rawStdout = bytes;
    result.output = renderArpTable(QString::fromLocal8Bit(bytes));
    return result;
}

ToolResult SystemProcessRunner::run(const ToolCommand &command, const std::atomic<bool> *cancel)
{
    if (!command.isValid())
        return failure(ToolResult::Status::Refused, command.refusal);
    if (command.builtin)
        return runBuiltin(command);
    const QString path = findTool(command.program);
    if (path.isEmpty())
        return failure(ToolResult::Status::NotFound, command.program + QStringLiteral(" not found on PATH"));

    QProcess process;
    process.setProcessEnvironment(toolEnvironment());
    process.start(path, command.arguments, QIODevice::ReadOnly);
    if (!process.waitForStarted(5000)) {
        const QString why = process.errorString();
        process.kill();
        process.waitForFinished(500);
        return failure(ToolResult::Status::FailedToStart, why);
    }
    QDeadlineTimer deadline =
        command.timeoutMs > 0 ? QDeadlineTimer(command.timeoutMs) : QDeadlineTimer::Forever;
    ToolResult::Status endReason = ToolResult::Status::Finished;
    // Short slices so a cancel or the time limit is noticed promptly.
    while (process.state() != QProcess::NotRunning) {
        if (cancel && cancel->load()) {
            endReason = ToolResult::Status::Killed;
            break;
        }
        if (deadline.hasExpired()) {
            endReason = ToolResult::Status::TimedOut;
            break;
        }
        const qint64 left = deadline.remainingTime(); // -1 when there is no limit
        process.waitForFinished(left < 0 ? 50 : int(std::min<qint64>(std::max<qint64>(left, 1), 50)));
    }
    if (endReason != ToolResult::Status::Finished) {
        process.kill();
        process.waitForFinished(1000);
    }
    ToolResult result = resultFromOutput(command, process.exitCode(), process.readAllStandardOutput(),
                                         process.readAllStandardError());
    if (endReason != ToolResult::Status::Finished) {
        result.status = endReason;
        result.errorText = endReason == ToolResult::Status::TimedOut ? QStringLiteral("time limit passed")
                                                                     : QStringLiteral("cancelled");
    } else if (process.exitStatus() == QProcess::CrashExit) {
        result.status = ToolResult::Status::Crashed;
        result.errorText = QStringLiteral("crashed");
    }
    return result;
}

} // namespace SystemTools
