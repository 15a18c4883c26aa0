#pragma once
// Measures how large a packet reaches a relay unfragmented: a bisection over
// the ICMP payload of a don't-fragment ping, one ping per step, driven by the
// event loop. The connect flow hands the result to TunnelClient as the
// engine's starting safe MTU.

#include "platform/ProcessRunner.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

// The search itself, apart from running tools: lo/hi/best over the payload,
// at most six steps.
struct MtuSearch
{
    // The least MTU the probe reports; its payloads start there too.
    static constexpr int kFloorMtu = 1200;

    int lo = kFloorMtu;
    int hi = 1472;
    int best = kFloorMtu;
    int steps = 0;
    int stepLimit = 6;

    bool done() const { return steps >= stepLimit || hi < lo; }
    // The payload the next step tries (and counts the step).
    int nextPayload();
    void record(int payload, bool success);
    // best + 28 (IPv4 and ICMP headers), at most 1500, and kFloorMtu unless above it.
    int mtu() const;
};

class MtuProbe : public QObject
{
    Q_OBJECT
public:
    // Runs exactly once per probe, with the id `probe` returned, on the GUI
    // thread, never inside `probe` itself.
    using Completion = std::function<void(quint64 probeId, int mtu)>;

    explicit MtuProbe(SystemTools::ProcessRunner *runner = SystemTools::ProcessRunner::system(),
                      QObject *parent = nullptr);
    ~MtuProbe() override;

    // How long one ping may take before it is killed and the step counts as
    // failed (the tool's own one-second wait normally ends it first).
    void setStepTimeout(int ms) { m_stepTimeoutMs = ms; }
    int stepTimeout() const { return m_stepTimeoutMs; }

    // Starts a probe towards `address` (an IPv4 literal; anything else makes
    // every step fail, giving 1228). Returns the probe's id at once.
    quint64 probe(const QString &address, Completion done = Completion());

    // Ends a probe: its running ping is killed and neither `finished` nor its
    // completion follows. Unknown or finished ids are ignored.
    void cancel(quint64 probeId);

    // Probes still running.
    int pending() const { return int(m_runs.size()); }

    // The Windows-wording check of one step's output: exit code 0, a "Reply
    // from" line, and neither a fragmentation refusal nor a time-out.
    static bool stepSucceeded(int exitCode, const QString &output);

signals:
    void stepFinished(quint64 probeId, int payload, bool success);
    void finished(quint64 probeId, int mtu);

private:
    struct Run;
    void step(quint64 id);
    void onStepResult(quint64 id, quint64 seq, int payload, const SystemTools::ToolResult &result);

    SystemTools::ProcessRunner *m_runner;
    int m_stepTimeoutMs = 3000;
    quint64 m_nextId = 1;
    QHash<quint64, std::shared_ptr<Run>> m_runs;
};
