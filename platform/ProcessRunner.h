#pragma once
// Runs the system tools described by SystemTools::ToolCommand. Controllers get
// a ProcessRunner through their constructor so tests can hand them a fake that
// scripts outputs, failures and hangs without starting anything.

#include "platform/SystemTools.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>

#include <atomic>

class QProcess;
class QTimer;

namespace SystemTools {

// How one tool run ended.
struct ToolResult
{
    enum class Status {
        Finished,      // the tool ran and exited; see exitCode
        Crashed,       // the tool died from a signal
        TimedOut,      // the command's time limit passed; the tool was killed
        Killed,        // ToolJob::kill or a cancel ended it
        FailedToStart, // found but could not be started
        NotFound,      // not on PATH
        Refused,       // the command carried a refusal (bad address, ...)
    };
    Status status = Status::FailedToStart;
    int exitCode = -1;
    // Standard output then standard error, decoded as local 8-bit text and,
    // on Linux, rewritten into the Windows English wording.
    QString output;
    QByteArray rawStdout;
    QByteArray rawStderr;
    QString errorText; // why it did not finish normally

    bool finished() const { return status == Status::Finished; }
    bool succeeded() const { return status == Status::Finished && exitCode == 0; }
};

const char *statusName(ToolResult::Status status);

// One asynchronous tool run. It reports `finished` exactly once, always from
// the event loop (never inside the call that created it), and then deletes
// itself. Deleting it earlier ends the tool and reports nothing.
class ToolJob : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    // Ends the run; `finished` follows with Status::Killed unless it was
    // already reported.
    virtual void kill() = 0;
    virtual bool isRunning() const = 0;

signals:
    void finished(const SystemTools::ToolResult &result);
};

// Starts tool runs.
class ProcessRunner
{
public:
    virtual ~ProcessRunner();

    // Starts `command` asynchronously; the job is a child of `parent`.
    virtual ToolJob *start(const ToolCommand &command, QObject *parent) = 0;

    // Runs `command` to its end on the calling thread (any thread). The
    // command's time limit applies; when `cancel` becomes true the tool is
    // killed and the result is Status::Killed.
    virtual ToolResult run(const ToolCommand &command, const std::atomic<bool> *cancel = nullptr) = 0;

    // The process-wide runner that starts real child processes.
    static ProcessRunner *system();
};

// Starts real child processes: the program is looked up on PATH and run with
// toolEnvironment(); Linux output is normalised for the command's kind.
class SystemProcessRunner : public ProcessRunner
{
public:
    ToolJob *start(const ToolCommand &command, QObject *parent) override;
    ToolResult run(const ToolCommand &command, const std::atomic<bool> *cancel = nullptr) override;

    // Builds the result of a tool that exited (shared by both paths and by
    // fakes that want the real decoding and normalisation).
    static ToolResult resultFromOutput(const ToolCommand &command, int exitCode, const QByteArray &out,
                                       const QByteArray &err);
    // Answers a builtin command (the Linux ARP listing) in-process.
    static ToolResult runBuiltin(const ToolCommand &command);
};

} // namespace SystemTools

Q_DECLARE_METATYPE(SystemTools::ToolResult)
