#pragma once
// A sign-in progress run on a clock the test steps: every 16 ms of that clock
// the run ticks (while it wants to) and deferred work falls due.

#include "ui/pages/signin/LoginProgressRun.h"

#include <QList>
#include <QPointer>

#include <functional>
#include <memory>

class SteppedProgress
{
public:
    explicit SteppedProgress(QObject *parent = nullptr)
        : m_now(std::make_shared<qint64>(100000)), m_due(std::make_shared<QList<Due>>())
    {
        auto now = m_now;
        auto due = m_due;
        run = new LoginProgressRun([now] { return *now; },
                                   [now, due](int ms, std::function<void()> work) {
                                       due->append(Due{*now + ms, std::move(work)});
                                   },
                                   parent);
        m_run = run;
    }
    // A run nothing took over (a page that shows it becomes its parent) goes
    // with the stepper.
    ~SteppedProgress()
    {
        if (m_run && !m_run->parent())
            delete m_run.data();
    }
    SteppedProgress(const SteppedProgress &) = delete;
    SteppedProgress &operator=(const SteppedProgress &) = delete;

    qint64 now() const { return *m_now; }

    // Steps the clock by `ms` in ticks of 16 ms.
    void advance(qint64 ms)
    {
        for (qint64 passed = 0; passed < ms; passed += LoginProgressRun::kTickMs)
            step();
    }

    // Steps until `done` holds (or `limitMs` have passed); returns the time it took.
    qint64 advanceUntil(const std::function<bool()> &done, qint64 limitMs = 20000)
    {
        const qint64 start = *m_now;
        while (!done() && *m_now - start < limitMs)
            step();
        return *m_now - start;
    }

    LoginProgressRun *run = nullptr;

private:
    struct Due
    {
        qint64 at;
        std::function<void()> work;
    };

    void step()
    {
        *m_now += LoginProgressRun::kTickMs;
        for (int i = 0; i < m_due->size();) {
            if (m_due->at(i).at <= *m_now) {
                const auto work = m_due->takeAt(i).work;
                work();
            } else {
                ++i;
            }
        }
        if (run->isTicking())
            run->tick();
    }

    QPointer<LoginProgressRun> m_run;
    std::shared_ptr<qint64> m_now;
    std::shared_ptr<QList<Due>> m_due;
};
