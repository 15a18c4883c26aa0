#pragma once
// The animated bar of the sign-in page, without the widgets: stage reports of
// the sign-in flow are queued so that each stays readable for a while, the bar
// climbs towards the current stage's percent, pauses at every reached stage
// and reports once, a little after it has shown 100 %, that the run is over.
//
// Time comes from an injected millisecond clock and ticks from an injected
// driver, so tests step a run of several seconds without waiting for it.

#include <QList>
#include <QObject>
#include <QString>

#include <functional>

// The stage a status text belongs to: reports of one stage replace each other
// instead of queueing ("Loading magic routes : 5 kb of 2.00 Mb ..." and
// "Loading magic routes .." are one stage).
QString progressStageKey(const QString &text);

class LoginProgressRun : public QObject
{
    Q_OBJECT
public:
    static constexpr int kTickMs = 16;
    static constexpr double kPointsPerSecond = 18.0;
    static constexpr int kHoldMs = 420;
    static constexpr int kStageMs = 750;
    static constexpr int kFinishDelayMs = 250;

    // Any monotonic millisecond count.
    using Clock = std::function<qint64()>;
    // Runs `work` after `ms` milliseconds (unless the run is gone by then).
    using Defer = std::function<void(int ms, std::function<void()> work)>;

    // A steady clock and Qt timers: the run ticks itself every 16 ms.
    explicit LoginProgressRun(QObject *parent = nullptr);
    // Driven from outside: nothing ticks by itself; whoever drives it calls
    // tick() every 16 ms of `clock` while isTicking() is true.
    LoginProgressRun(Clock clock, Defer defer, QObject *parent = nullptr);

    // A new run at 0 % (active) or the run put away (inactive). The clock is
    // not restarted: it runs from the first report the page ever received.
    void reset(bool active);
    // A stage report: the current stage takes it, or the last queued stage of
    // the same key, or it joins the queue. percent is clamped to 0..100.
    void report(int percent, const QString &text);
    // One step of the animation (the driver's 16 ms beat).
    void tick();

    bool isActive() const { return m_active; }
    bool isTicking() const { return m_ticking; }
    int shown() const { return m_shown; }
    int target() const { return m_target; }
    bool isHolding() const { return m_holding; }
    QString status() const { return m_status; }
    QString currentKey() const { return m_currentKey; }
    int queuedStages() const { return int(m_queue.size()); }

signals:
    // The shown percent or the status text may have changed.
    void changed();
    // kFinishDelayMs after 100 % was first shown in this run; once per run.
    void finished();

private:
    struct Stage
    {
        QString key;
        QString text;
        int percent = 0;
    };

    qint64 now() const;
    void setTicking(bool on);
    void setStatus(const QString &text);

    Clock m_clock;
    Defer m_defer;
    class QTimer *m_timer = nullptr;

    bool m_clockStarted = false;
    qint64 m_clockOrigin = 0;

    bool m_active = false;
    bool m_finishScheduled = false;
    bool m_ticking = false;
    int m_target = 0;
    int m_shown = 0;
    double m_value = 0.0;
    qint64 m_lastTick = 0;
    bool m_holding = false;
    qint64 m_holdUntil = 0;
    int m_lastHoldTarget = -1;
    bool m_hasStage = false;
    QString m_currentKey;
    qint64 m_stageStart = 0;
    int m_stageTarget = 0;
    QList<Stage> m_queue;
    QString m_status;
};
