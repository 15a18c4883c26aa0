#pragma once
// Stand-ins for what the update flow and the version gate show and wait for:
// an overlay that records every display, and waits that record what was asked
// and pass in a fraction of it.

#include "services/BusyOverlay.h"
#include "services/TimerSource.h"

#include <QList>
#include <QStringList>
#include <QTimer>

#include <functional>

class RecordingOverlay : public BusyOverlay
{
public:
    struct Shown
    {
        QString title;
        bool progress = false;
        int percent = 0;
        qint64 received = 0;
        qint64 total = 0;
    };
    QList<Shown> shown;
    // Runs after each message (not progress), for a test that acts at a given step.
    std::function<void(const QString &title)> onMessage;

    void showMessage(const QString &title) override
    {
        shown.append({title, false, 0, 0, 0});
        if (onMessage)
            onMessage(title);
    }
    void showProgress(const QString &title, int percent, qint64 received, qint64 total) override
    {
        shown.append({title, true, percent, received, total});
    }
    // Every message title, in order (progress displays left out).
    QStringList messages() const
    {
        QStringList titles;
        for (const Shown &s : shown) {
            if (!s.progress)
                titles.append(s.title);
        }
        return titles;
    }
};

// Waits divided by divisor; every asked wait is kept, in order.
struct ScaledTimers
{
    int divisor = 100;
    QList<int> asked;

    TimerSource source()
    {
        return [this](int ms, QObject *context, std::function<void()> fn) {
            asked.append(ms);
            QTimer::singleShot(ms / divisor, context, std::move(fn));
        };
    }
};
