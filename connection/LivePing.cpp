#include "connection/LivePing.h"

#include "connection/SessionManager.h"
#include "engine/qt/TunnelClient.h"

#include <QDateTime>

#include <cmath>

LivePing::LivePing(SystemTools::ProcessRunner *runner, AddressSource address, QObject *parent)
    : QObject(parent), m_runner(runner), m_address(std::move(address)), m_timer(this)
{
    m_timer.setInterval(1000);
    connect(&m_timer, &QTimer::timeout, this, &LivePing::measure);
}

void LivePing::setSessionManager(SessionManager *sessions)
{
    m_sessions = sessions;
}

void LivePing::start()
{
    measure();
    m_timer.start();
}

void LivePing::reset()
{
    m_timer.stop();
    if (m_job) {
        SystemTools::ToolJob *job = m_job;
        m_job = nullptr;
        job->disconnect(this);
        job->kill();
    }
    show(0);
}

void LivePing::measure()
{
    // On Linux the three requests are a second apart, so a tick often finds
    // the last run still going; it then waits for the next tick.
    if (m_job)
        return;
    const QString address = m_address ? m_address().trimmed() : QString();
    if (address.isEmpty()) {
        show(0);
        return;
    }
    m_job = m_runner->start(SystemTools::livePingCommand(address), this);
    connect(m_job, &SystemTools::ToolJob::finished, this, &LivePing::onResult);
}

void LivePing::onResult(const SystemTools::ToolResult &result)
{
    if (sender() != m_job)
        return;
    m_job = nullptr;
    // A refused address or a tool that could not run leaves the output empty: 0.
    const PingReading reading = parsePingOutput(result.output);
    show(reading.value);
    emit pingMeasured(reading.value, reading.jitter);
    if (m_sessions && m_sessions->isActive() && reading.value > 0)
        m_sessions->addPingSample(reading.value, reading.jitter);
}

void LivePing::show(int ms)
{
    emit pingChanged(ms < 1 ? 0 : ms);
}

PacketLossMeter::PacketLossMeter(TunnelClient *client, QObject *parent)
    : QObject(parent), m_client(client), m_timer(this),
      m_clock([] { return QDateTime::currentMSecsSinceEpoch(); })
{
    m_timer.setInterval(1000);
    connect(&m_timer, &QTimer::timeout, this, &PacketLossMeter::update);
}

void PacketLossMeter::startSampling()
{
    if (m_timer.isActive())
        return;
    const bool running = m_client && m_client->isRunning();
    m_ackedBaseline = running ? m_client->txAcked() : 0;
    m_lostBaseline = running ? m_client->txLost() : 0;
    m_graceDeadline = m_clock() + m_graceMs;
    m_timer.start();
    show(QStringLiteral("0%"));
}

void PacketLossMeter::reset()
{
    m_timer.stop();
    m_ackedBaseline = 0;
    m_lostBaseline = 0;
    m_graceDeadline = 0;
    show(QStringLiteral("0%"));
}

void PacketLossMeter::update()
{
    if (!m_client || !m_client->isRunning()) {
        show(QStringLiteral("0%"));
        return;
    }
    if (m_graceDeadline > 0 && m_clock() < m_graceDeadline) {
        show(QStringLiteral("0%"));
        return;
    }
    show(lossText(m_client->txAcked(), m_client->txLost(), m_ackedBaseline, m_lostBaseline));
}

QString PacketLossMeter::lossText(quint64 acked, quint64 lost, quint64 ackedBaseline, quint64 lostBaseline)
{
    const quint64 dLost = lost < lostBaseline ? 0 : lost - lostBaseline;
    const quint64 dAcked = acked < ackedBaseline ? 0 : acked - ackedBaseline;
    const quint64 total = dAcked + dLost;
    if (total >= 20) {
        const double percent = std::floor(double(dLost) * 100.0 / double(total) + 0.5);
        return QString::number(qint64(percent)) + QLatin1Char('%');
    }
    return dLost > 0 ? QStringLiteral("--%") : QStringLiteral("0%");
}

void PacketLossMeter::show(const QString &text)
{
    emit lossChanged(text);
}
