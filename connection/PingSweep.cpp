#include "connection/PingSweep.h"

#include "platform/ProcessRunner.h"
#include "services/ReplyBounds.h"
#include "services/ServiceClient.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QRegularExpression>
#include <QSaveFile>

#include <memory>

PingSweep::PingSweep(ServiceClient *client, SystemTools::ProcessRunner *runner, const QString &resultsPath,
                     const PingSweepIntervals &intervals, QObject *parent)
    : QObject(parent), m_client(client), m_runner(runner), m_path(resultsPath), m_intervals(intervals)
{
    m_tickTimer.setParent(this);
    connect(&m_tickTimer, &QTimer::timeout, this, &PingSweep::tick);
}

int PingSweep::meanReplyTime(const QString &output)
{
    static const QRegularExpression reply(QStringLiteral("time[<=](\\d+)ms"));
    qint64 sum = 0;
    qint64 count = 0;
    auto it = reply.globalMatch(output);
    while (it.hasNext()) {
        const qint64 ms = it.next().captured(1).toLongLong();
        sum += ms == 0 ? 1 : ms;
        ++count;
    }
    if (count == 0)
        return -1;
    // Halves round up: (2 * sum + count) / (2 * count).
    return int((2 * sum + count) / (2 * count));
}

int PingSweep::pingFromResult(const SystemTools::ToolResult &result)
{
    // A tool that got no reply at all exits non-zero; only a clean exit is read.
    if (!result.succeeded())
        return -1;
    return meanReplyTime(result.output);
}

void PingSweep::start()
{
    ++m_generation;
    m_tickTimer.stop();
    m_active = true;
    m_total = 0;
    m_ticks = 0;
    m_results.clear();
    m_ip.clear();
    m_name.clear();
    m_queue.clear();
    m_running = 0;
    m_remaining = 0;
    m_animationDone = m_pingsDone = m_finishedEmitted = false;
    emit started();
    emit progress(0, 0, 0);

    const quint64 generation = m_generation;
    QPointer<PingSweep> self(this);
    if (m_client) {
        m_client->send(ServiceApi::Endpoint::ServersSync, [self, generation](const ServiceApi::Reply &reply) {
            if (self)
                self->onList(generation, reply.ok(), reply.document());
        });
    } else {
        QTimer::singleShot(0, this, [this, generation] { onList(generation, false, QJsonDocument()); });
    }
    QTimer::singleShot(m_intervals.fallbackMs, this, [this, generation] { applyFallback(generation); });
}

void PingSweep::onList(quint64 generation, bool ok, const QJsonDocument &doc)
{
    if (generation != m_generation || !m_active)
        return;
    const QJsonValue servers = doc.isObject() ? doc.object().value(QStringLiteral("servers")) : QJsonValue();
    if (!ok || !servers.isArray()) {
        // Nothing can be measured; whoever waits on the sweep hears at once
        // instead of after an animation that leads nowhere.
        end();
        return;
    }
    // Each relay costs a ping: a list over the bound is cut, not swept.
    ReplyBounds::Report report;
    const QJsonArray list = ReplyBounds::bound(servers.toArray(), ReplyBounds::relayRules(), &report);
    if (report.any())
        qWarning().noquote() << "[PingSweep] relay list over its bounds:"
                             << report.summary(QStringLiteral("relays"));
    m_total = int(list.size());
    emit progress(0, m_total, 0);
    startAnimation();
    buildQueue(list);
}

void PingSweep::applyFallback(quint64 generation)
{
    if (generation != m_generation || !m_active || m_total != 0)
        return;
    m_total = kFallbackTotal;
    emit progress(0, m_total, 0);
    startAnimation();
}

void PingSweep::startAnimation()
{
    if (m_total <= 0)
        return;
    m_ticks = 0;
    m_animationDone = false;
    m_tickTimer.start(m_intervals.tickMs);
    emit animationStarted();
}

void PingSweep::tick()
{
    ++m_ticks;
    const int current = qMin(m_total * m_ticks / kAnimationSteps, m_total);
    const int percent = qMin(m_ticks * 100 / kAnimationSteps, 100);
    emit progress(current, m_total, percent);
    if (m_ticks < kAnimationSteps)
        return;
    m_tickTimer.stop();
    emit progress(m_total, m_total, 100);
    m_animationDone = true;
    const quint64 generation = m_generation;
    QTimer::singleShot(m_intervals.finishDelayMs, this, [this, generation] {
        if (generation == m_generation)
            finishIfDone();
    });
}

void PingSweep::buildQueue(const QJsonArray &servers)
{
    for (const QJsonValue &value : servers) {
        if (!value.isObject())
            continue;
        const QJsonObject relay = value.toObject();
        const QString status = relay.value(QStringLiteral("status")).toString().trimmed().toLower();
        if (!status.isEmpty() && status != QLatin1String("active"))
            continue;
        const QString id = relay.value(QStringLiteral("id")).toString().trimmed();
        const QString ip = relay.value(QStringLiteral("ip_address")).toString().trimmed();
        if (id.isEmpty() || ip.isEmpty())
            continue;
        // A relay listed twice is measured once.
        if (!m_ip.contains(id))
            m_queue << id;
        m_ip.insert(id, ip);
        m_name.insert(id, relay.value(QStringLiteral("name")).toString().trimmed());
    }
    m_remaining = int(m_queue.size());
    if (m_remaining > 0) {
        dispatch();
        return;
    }
    m_pingsDone = true;
    finishIfDone();
}

void PingSweep::dispatch()
{
    while (m_running < kMaxConcurrent && !m_queue.isEmpty()) {
        const QString id = m_queue.takeFirst();
        const QString ip = m_ip.value(id);
        if (!SystemTools::isIpv4Literal(ip)) {
            // Never handed to the tool, where it could read as an option or a name.
            m_results.insert(id, -1);
            m_remaining = qMax(0, m_remaining - 1);
            continue;
        }
        ++m_running;
        pingOne(id, ip);
    }
    if (m_remaining == 0 && m_running == 0 && !m_pingsDone) {
        saveResults();
        m_pingsDone = true;
        finishIfDone();
    }
}

void PingSweep::pingOne(const QString &id, const QString &ip)
{
    SystemTools::ToolJob *job = m_runner ? m_runner->start(SystemTools::sweepPingCommand(ip), this) : nullptr;
    if (!job) {
        QTimer::singleShot(0, this, [this, id, generation = m_generation] {
            if (generation == m_generation)
                record(id, -1);
        });
        return;
    }
    auto handled = std::make_shared<bool>(false);
    const quint64 generation = m_generation;
    connect(job, &SystemTools::ToolJob::finished, this,
            [this, handled, generation, id](const SystemTools::ToolResult &result) {
                // A run reports once; a second report, or one from an earlier
                // analysis, must not count against this one.
                if (*handled)
                    return;
                *handled = true;
                if (generation == m_generation)
                    record(id, pingFromResult(result));
            });
    connect(this, &PingSweep::started, job, &SystemTools::ToolJob::kill);
    QPointer<SystemTools::ToolJob> guard(job);
    QTimer::singleShot(m_intervals.killMs, job, [guard] {
        if (guard && guard->isRunning())
            guard->kill();
    });
}

void PingSweep::record(const QString &id, int ping)
{
    m_results.insert(id, ping);
    m_running = qMax(0, m_running - 1);
    m_remaining = qMax(0, m_remaining - 1);
    if (m_remaining > 0) {
        dispatch();
        return;
    }
    saveResults();
    m_pingsDone = true;
    finishIfDone();
}

void PingSweep::saveResults() const
{
    QJsonObject servers;
    for (auto it = m_results.cbegin(); it != m_results.cend(); ++it) {
        QJsonObject entry;
        entry.insert(QStringLiteral("ping"), it.value());
        if (m_ip.contains(it.key()))
            entry.insert(QStringLiteral("ip"), m_ip.value(it.key()));
        if (m_name.contains(it.key()))
            entry.insert(QStringLiteral("name"), m_name.value(it.key()));
        servers.insert(it.key(), entry);
    }
    QJsonObject root;
    root.insert(QStringLiteral("updated_at"), QDateTime::currentDateTimeUtc().toString(Qt::ISODate));
    root.insert(QStringLiteral("servers"), servers);

    QDir().mkpath(QFileInfo(m_path).absolutePath());
    // Readers never see half a file: it is written beside and renamed into place.
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write(QJsonDocument(root).toJson(QJsonDocument::Compact));
    file.commit();
}

void PingSweep::finishIfDone()
{
    if (m_finishedEmitted || !m_animationDone || !m_pingsDone)
        return;
    end();
}

void PingSweep::end()
{
    if (m_finishedEmitted)
        return;
    m_finishedEmitted = true;
    m_active = false;
    m_tickTimer.stop();
    emit finished();
}
