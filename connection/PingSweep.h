#pragma once
// Measures every active relay once: fetches the relay list, pings the relays
// a few at a time and writes the results file that the relay choice, the
// picker and the route cache read. A progress animation of fixed length runs
// beside the pings so the sweep page never flashes by; `finished()` comes once
// both are done. No widgets: the page draws what this reports.

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

class ServiceClient;

namespace SystemTools {
class ProcessRunner;
struct ToolResult;
} // namespace SystemTools

struct PingSweepIntervals
{
    int fallbackMs = 2000;   // no usable list by then: the animation runs on a guessed total
    int tickMs = 50;         // one of the animation's 50 steps
    int finishDelayMs = 500; // pause after the animation before `finished()`
    int killMs = 9000;       // a ping still running then is killed and counts as unknown
    int regionDotMs = 400;   // the page lights one region dot this often
};

class PingSweep : public QObject
{
    Q_OBJECT
public:
    static constexpr int kMaxConcurrent = 4;
    static constexpr int kAnimationSteps = 50;
    static constexpr int kFallbackTotal = 15;

    PingSweep(ServiceClient *client, SystemTools::ProcessRunner *runner, const QString &resultsPath,
              const PingSweepIntervals &intervals = PingSweepIntervals(), QObject *parent = nullptr);

    const PingSweepIntervals &intervals() const { return m_intervals; }
    void setIntervals(const PingSweepIntervals &intervals) { m_intervals = intervals; }

    // Starts a new analysis; what an earlier one still has running is ignored.
    void start();
    bool isRunning() const { return m_active; }
    int runningPings() const { return m_running; }

    // The mean of the "time=Nms"/"time<Nms" replies in a ping's output, a 0
    // counting as 1 and halves rounding up; -1 without any reply.
    static int meanReplyTime(const QString &output);
    static int pingFromResult(const SystemTools::ToolResult &result);

signals:
    void started();
    void progress(int current, int total, int percent);
    // The animation (re)started: the page lights its region dots in turn.
    void animationStarted();
    void finished();

private:
    void onList(quint64 generation, bool ok, const QJsonDocument &doc);
    void applyFallback(quint64 generation);
    void startAnimation();
    void tick();
    void buildQueue(const QJsonArray &servers);
    void dispatch();
    void pingOne(const QString &id, const QString &ip);
    void record(const QString &id, int ping);
    void saveResults() const;
    void finishIfDone();
    void end();

    ServiceClient *m_client;
    SystemTools::ProcessRunner *m_runner;
    QString m_path;
    PingSweepIntervals m_intervals;
    QTimer m_tickTimer;

    quint64 m_generation = 0;
    bool m_active = false;
    int m_total = 0;
    int m_ticks = 0;
    QMap<QString, int> m_results;
    QHash<QString, QString> m_ip;
    QHash<QString, QString> m_name;
    QStringList m_queue;
    int m_running = 0;
    int m_remaining = 0;
    bool m_animationDone = false;
    bool m_pingsDone = false;
    bool m_finishedEmitted = false;
};
