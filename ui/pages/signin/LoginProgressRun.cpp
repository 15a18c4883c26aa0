#include "ui/pages/signin/LoginProgressRun.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <memory>

QString progressStageKey(const QString &text)
{
    const QString t = text.trimmed().toLower();
    static const struct
    {
        const char *prefix;
        const char *key;
    } prefixes[] = {
        {"logging in", "logging_in"},
        {"request authentication", "request_auth_env"},
        {"authentication", "authentication"},
        {"loading magic routes", "magic_routes"},
        {"checking required downloads", "required_downloads"},
        {"loading apps", "loading_apps"},
        {"loading configuration", "loading_config"},
    };
    for (const auto &p : prefixes) {
        if (t.startsWith(QLatin1String(p.prefix)))
            return QLatin1String(p.key);
    }
    return t.left(32);
}

namespace {
int clampPercent(int percent)
{
    return std::clamp(percent, 0, 100);
}
} // namespace

LoginProgressRun::LoginProgressRun(QObject *parent) : QObject(parent)
{
    auto steady = std::make_shared<QElapsedTimer>();
    steady->start();
    m_clock = [steady] { return steady->elapsed(); };
    m_defer = [this](int ms, std::function<void()> work) { QTimer::singleShot(ms, this, std::move(work)); };
    m_timer = new QTimer(this);
    m_timer->setInterval(kTickMs);
    connect(m_timer, &QTimer::timeout, this, &LoginProgressRun::tick);
}

LoginProgressRun::LoginProgressRun(Clock clock, Defer defer, QObject *parent)
    : QObject(parent), m_clock(std::move(clock)), m_defer(std::move(defer))
{}

qint64 LoginProgressRun::now() const
{
    return m_clockStarted ? m_clock() - m_clockOrigin : 0;
}

void LoginProgressRun::setTicking(bool on)
{
    m_ticking = on;
    if (!m_timer)
        return;
    if (on && !m_timer->isActive())
        m_timer->start();
    else if (!on)
        m_timer->stop();
}

void LoginProgressRun::setStatus(const QString &text)
{
    m_status = text;
}

void LoginProgressRun::reset(bool active)
{
    m_active = active;
    m_finishScheduled = false;
    m_target = 0;
    m_shown = 0;
    m_value = 0.0;
    m_lastTick = 0;
    m_holdUntil = 0;
    m_stageTarget = 0;
    m_holding = false;
    m_lastHoldTarget = -1;
    m_hasStage = false;
    m_currentKey.clear();
    m_stageStart = 0;
    m_queue.clear();
    setTicking(false);
    emit changed();
}

void LoginProgressRun::report(int percent, const QString &text)
{
    if (!m_clockStarted) {
        m_clockStarted = true;
        m_clockOrigin = m_clock();
    }
    const qint64 t = now();
    const QString key = progressStageKey(text);
    percent = clampPercent(percent);

    if (!m_hasStage) {
        m_hasStage = true;
        m_currentKey = key;
        m_stageStart = t;
        m_stageTarget = percent;
        setStatus(text);
    } else if (key == m_currentKey) {
        setStatus(text);
        m_stageTarget = std::max(m_stageTarget, percent);
    } else if (!m_queue.isEmpty() && m_queue.last().key == key) {
        Stage &last = m_queue.last();
        last.text = text;
        last.percent = std::max(last.percent, percent);
    } else {
        m_queue.append(Stage{key, text, percent});
    }

    m_target = clampPercent(m_stageTarget);
    if (m_target < m_shown) {
        m_shown = m_target;
        m_value = m_target;
    }
    if (!m_ticking) {
        m_lastTick = 0;
        setTicking(true);
    }
    emit changed();
}

void LoginProgressRun::tick()
{
    if (!m_active) {
        setTicking(false);
        return;
    }
    const qint64 t = now();
    double dt = 0.016;
    if (m_lastTick > 0)
        dt = std::max<qint64>(0, t - m_lastTick) / 1000.0;
    m_lastTick = t;

    if (m_holding && t >= m_holdUntil)
        m_holding = false;
    if (!m_holding) {
        if (m_value < m_target)
            m_value = std::min<double>(m_target, m_value + kPointsPerSecond * dt);
        else
            m_value = m_target;
    }
    m_shown = clampPercent(int(std::floor(m_value + 0.5)));

    if (m_shown >= m_target) {
        if (m_target < 100 && !m_holding && m_target != m_lastHoldTarget) {
            m_holding = true;
            m_holdUntil = t + kHoldMs;
            m_lastHoldTarget = m_target;
        }
        if (!m_queue.isEmpty() && !m_holding && (m_stageStart <= 0 || t - m_stageStart >= kStageMs)) {
            const Stage next = m_queue.takeFirst();
            m_currentKey = next.key;
            m_stageStart = t;
            m_stageTarget = clampPercent(next.percent);
            setStatus(next.text);
            m_target = m_stageTarget;
            m_lastHoldTarget = -1;
        }
        if (m_shown >= 100) {
            setTicking(false);
            if (m_active && !m_finishScheduled) {
                m_finishScheduled = true;
                QPointer<LoginProgressRun> self(this);
                m_defer(kFinishDelayMs, [self] {
                    if (self)
                        emit self->finished();
                });
            }
        }
    }
    emit changed();
}
