#include "connection/DnsVerifier.h"
#include "connection/GamePorts.h"

#include <QDebug>

using SystemTools::ToolResult;

DnsVerifier::DnsVerifier(SystemTools::ProcessRunner *runner, TunnelCheck tunnelRunning, const QString &domain,
                         QObject *parent)
    : QObject(parent), m_runner(runner), m_tunnelRunning(std::move(tunnelRunning)), m_domain(domain)
{
    m_retryTimer.setSingleShot(true);
    connect(&m_retryTimer, &QTimer::timeout, this, &DnsVerifier::lookup);
}

DnsVerifier::~DnsVerifier()
{
    if (m_job) {
        m_job->disconnect(this);
        m_job->kill();
    }
}

QString DnsVerifier::chatDomain()
{
    // The same domain the tunnel is configured to carry: the lookup only
    // succeeds when it went through the relay.
    return QString::fromLatin1(GamePorts::kChatServiceDomain);
}

QString DnsVerifier::failureMessage()
{
    return QStringLiteral("Connection failed. Please try another server.");
}

void DnsVerifier::setServer(const QString &server, int port)
{
    m_server = server;
    m_port = port;
}

bool DnsVerifier::lookupSucceeded(int exitCode, const QString &output)
{
    if (exitCode != 0)
        return false;
    const QString text = output.toLower();
    if (text.contains(QLatin1String("timed out")))
        return false;
    bool inAnswer = false;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (const QString &raw : lines) {
        const QString line = raw.trimmed();
        if (line.startsWith(QLatin1String("name:"))) {
            inAnswer = true;
        } else if (inAnswer && (line.startsWith(QLatin1String("address:")) ||
                                line.startsWith(QLatin1String("addresses:")))) {
            if (!line.section(QLatin1Char(':'), 1).trimmed().isEmpty())
                return true;
        }
    }
    return false;
}

void DnsVerifier::verify()
{
    if (m_cancelled || m_finished || m_job)
        return;
    m_retryTimer.stop();
    lookup();
}

void DnsVerifier::cancel()
{
    if (m_cancelled)
        return;
    m_cancelled = true;
    m_retryTimer.stop();
    if (m_job) {
        m_job->disconnect(this);
        m_job->kill();
        m_job = nullptr;
    }
}

void DnsVerifier::lookup()
{
    if (m_cancelled || m_finished)
        return;
    if (!m_tunnelRunning || !m_tunnelRunning()) {
        fail(QStringLiteral("Tunnel is not running"));
        return;
    }
    qDebug().noquote() << "[Verify] DNS nslookup:" << m_domain;
    SystemTools::ToolCommand command = SystemTools::dnsLookupCommand(m_domain, m_server, m_port);
    command.timeoutMs = m_intervals.lookupTimeoutMs;
    m_job = m_runner->start(command, this);
    connect(m_job, &SystemTools::ToolJob::finished, this, &DnsVerifier::onLookupResult);
}

void DnsVerifier::onLookupResult(const ToolResult &result)
{
    // Only the current lookup decides, and only once.
    if (sender() != m_job.data() || !m_job)
        return;
    m_job = nullptr;
    if (m_cancelled || m_finished)
        return;
    switch (result.status) {
    case ToolResult::Status::TimedOut:
        qDebug().noquote() << "[Verify] DNS timeout";
        retryOrFail(QStringLiteral("DNS verification timeout"));
        return;
    case ToolResult::Status::NotFound:
    case ToolResult::Status::FailedToStart:
    case ToolResult::Status::Refused:
        // Nothing to wait for and nothing a retry would change.
        qDebug().noquote() << "[Verify] DNS lookup could not run:" << SystemTools::statusName(result.status)
                           << result.errorText;
        fail(QStringLiteral("DNS verification failed"));
        return;
    case ToolResult::Status::Finished:
    case ToolResult::Status::Crashed:
    case ToolResult::Status::Killed:
        break;
    }
    const bool ok = result.finished() && lookupSucceeded(result.exitCode, result.output);
    qDebug().noquote() << "[Verify] DNS ok:" << ok;
    if (ok) {
        m_verified = true;
        m_finished = true;
        emit verified();
        return;
    }
    retryOrFail(QStringLiteral("DNS verification failed"));
}

void DnsVerifier::retryOrFail(const QString &reason)
{
    if (m_retries < 1) {
        m_retries = 1;
        qDebug().noquote() << "[Verify] DNS retry...";
        m_retryTimer.start(m_intervals.retryDelayMs);
        return;
    }
    fail(reason);
}

void DnsVerifier::fail(const QString &reason)
{
    if (m_finished || m_cancelled)
        return;
    m_finished = true;
    emit failed(reason, failureMessage());
}
