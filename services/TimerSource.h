#pragma once
// Where the flows' waits come from. The client waits real milliseconds; tests
// hand in a source that records what was asked and waits a fraction of it.

#include <QObject>
#include <QTimer>

#include <functional>

// Runs fn once, ms later, unless context is gone by then.
using TimerSource = std::function<void(int ms, QObject *context, std::function<void()> fn)>;

inline TimerSource systemTimers()
{
    return [](int ms, QObject *context, std::function<void()> fn) {
        QTimer::singleShot(ms, context, std::move(fn));
    };
}
