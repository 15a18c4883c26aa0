#include "connection/MtuProbe.h"

#include <QDebug>
#include <QTimer>

using SystemTools::ToolResult;

int MtuSearch::nextPayload()
{
    ++steps;
    return (lo + hi) / 2;
}

void MtuSearch::record(int payload, bool success)
{
    if (success) {
        best = payload;
        lo = payload + 1;
    } else {
        hi = payload - 1;
    }
}

int MtuSearch::mtu() const
{
    int mtu = qMin(best + 28, 1500);
    if (mtu <= kFloorMtu)
        mtu = kFloorMtu;
    return mtu;
}

struct MtuProbe::Run
{
    quint64 id = 0;
    QString address;
    MtuSearch search;
    Completion done;
    // Each step gets a new sequence number; a report for another number (a
    // stale or repeated one) is ignored, so every step counts once.
    quint64 seq = 0;
    bool awaiting = false;
    QPointer<SystemTools::ToolJob> job;
};

MtuProbe::MtuProbe(SystemTools::ProcessRunner *runner, QObject *parent) : QObject(parent), m_runner(runner) {}

MtuProbe::~MtuProbe()
{
    for (const auto &run : std::as_const(m_runs)) {
        if (run->job)
            run->job->disconnect(this);
    }
}

bool MtuProbe::stepSucceeded(int exitCode, const QString &output)
{
    return exitCode == 0 && output.contains(QLatin1String("Reply from"), Qt::CaseInsensitive) &&
           !output.contains(QLatin1String("Packet needs to be fragmented"), Qt::CaseInsensitive) &&
           !output.contains(QLatin1String("Request timed out"), Qt::CaseInsensitive);
}

quint64 MtuProbe::probe(const QString &address, Completion done)
{
    auto run = std::make_shared<Run>();
    run->id = m_nextId++;
    run->address = address;
    run->done = std::move(done);
    m_runs.insert(run->id, run);
    const quint64 id = run->id;
    // The first step runs from the event loop so the caller always gets the
    // id before any result.
    QTimer::singleShot(0, this, [this, id] { step(id); });
    return id;
}

void MtuProbe::cancel(quint64 probeId)
{
    const std::shared_ptr<Run> run = m_runs.take(probeId);
    if (!run)
        return;
    qDebug().noquote() << "[MTU] Probe cancelled";
    if (run->job) {
        run->job->disconnect(this);
        run->job->kill();
    }
}

void MtuProbe::step(quint64 id)
{
    const std::shared_ptr<Run> run = m_runs.value(id);
    if (!run)
        return;
    if (run->search.done()) {
        const int mtu = run->search.mtu();
        qDebug().noquote()
            << QStringLiteral("[MTU] Final decision: %1 (best payload: %2)").arg(mtu).arg(run->search.best);
        m_runs.remove(id);
        emit finished(id, mtu);
        if (run->done)
            run->done(id, mtu);
        return;
    }
    const int payload = run->search.nextPayload();
    SystemTools::ToolCommand command = SystemTools::mtuProbeCommand(run->address, payload);
    command.timeoutMs = m_stepTimeoutMs;
    const quint64 seq = ++run->seq;
    run->awaiting = true;
    run->job = m_runner->start(command, this);
    connect(run->job, &SystemTools::ToolJob::finished, this,
            [this, id, seq, payload](const ToolResult &result) { onStepResult(id, seq, payload, result); });
}

void MtuProbe::onStepResult(quint64 id, quint64 seq, int payload, const ToolResult &result)
{
    const std::shared_ptr<Run> run = m_runs.value(id);
    if (!run || run->seq != seq || !run->awaiting)
        return;
    run->awaiting = false;
    run->job = nullptr;
    if (!result.finished())
        qDebug().noquote() << "[MTU] Process error:" << SystemTools::statusName(result.status)
                           << result.errorText;
    const bool success = result.finished() && stepSucceeded(result.exitCode, result.output);
    qDebug().noquote() << "[MTU] Payload:" << payload << "success:" << success;
    run->search.record(payload, success);
    emit stepFinished(id, payload, success);
    QTimer::singleShot(0, this, [this, id] { step(id); });
}
