#include "connection/ConnectFlow.h"

#include "connection/ConsoleConnect.h"
#include "connection/MtuProbe.h"
#include "connection/NetworkFingerprint.h"
#include "connection/SessionManager.h"
#include "engine/qt/TunnelClient.h"
#include "storage/DatabaseManager.h"
#include "storage/SettingsManager.h"

#include <QCoreApplication>
#include <QDebug>

namespace {

const QString kRegion = QLatin1String(RelayChoice::kAutomaticRegion);

} // namespace

// ---- FlowStopwatch ----

qint64 FlowStopwatch::now() const
{
    if (m_source)
        return m_source();
    static QElapsedTimer monotonic;
    if (!monotonic.isValid())
        monotonic.start();
    return monotonic.elapsed();
}

// ---- TunnelClientControl ----

void TunnelClientControl::stop()
{
    if (m_client)
        m_client->stop();
}
void TunnelClientControl::resetStats()
{
    if (m_client)
        m_client->resetStats();
}
void TunnelClientControl::setWorkingDirectory(const QString &directory)
{
    if (m_client)
        m_client->setWorkingDirectory(directory);
}
void TunnelClientControl::setServer(const QString &address, int port)
{
    if (m_client)
        m_client->setServer(address, port);
}
void TunnelClientControl::setDomains(const QStringList &domains)
{
    if (m_client)
        m_client->setDomains(domains);
}
void TunnelClientControl::setPorts(const QList<int> &udp, const QList<int> &tcp, bool tcpEnabled)
{
    if (m_client)
        m_client->setPorts(udp, tcp, tcpEnabled);
}
void TunnelClientControl::setMtu(int mtu)
{
    if (m_client)
        m_client->setMtu(mtu);
}
void TunnelClientControl::setDebugMode(bool enabled)
{
    if (m_client)
        m_client->setDebugMode(enabled);
}
bool TunnelClientControl::start()
{
    return m_client && m_client->start();
}
bool TunnelClientControl::isRunning() const
{
    return m_client && m_client->isRunning();
}

std::function<QString()> runningRelayAddress(std::shared_ptr<ConnectFlowState> state,
                                             std::function<QString()> selected)
{
    return [state = std::move(state), selected = std::move(selected)] {
        const std::shared_ptr<ConnectAttempt> &attempt = state->currentAttempt;
        if (state->kind == ConnectionKind::Pc && attempt && !attempt->address.isEmpty())
            return attempt->address;
        return selected ? selected() : QString();
    };
}

// ---- ConnectFlow ----

ConnectFlow::Services ConnectFlow::defaultServices(TunnelClient *tunnel, MtuProbe *probe,
                                                   SessionManager *sessions)
{
    Services s;
    if (tunnel) {
        s.ownedTunnel = std::make_shared<TunnelClientControl>(tunnel);
        s.tunnel = s.ownedTunnel.get();
    }
    s.mtuProbe = probe;
    s.sessions = sessions;
    s.relays = RelayChoice::databaseSources();
    s.relayStore = RelayChoice::settingsStore();
    s.gameTitle = [] { return SettingsManager::instance()->gameTitle(); };
    s.gameLogo = [] { return SettingsManager::instance()->gameLogo(); };
    s.findGameMeta = &GamePorts::findGameMetaInDatabase;
    s.gameTraffic = &GamePorts::gameTraffic;
    s.isConsoleGame = [](const QString &title) {
        return ConsoleConnect::isConsoleGameTitle(ConsoleConnect::GameRecords::database(), title);
    };
    s.makeDnsVerifier = [](DnsVerifier::TunnelCheck tunnelRunning, QObject *parent) {
        return new DnsVerifier(SystemTools::ProcessRunner::system(), std::move(tunnelRunning),
                               DnsVerifier::chatDomain(), parent);
    };
    s.routeCache.gameId = [](const QString &title) {
        return DatabaseManager::instance()->findGameIdByName(title);
    };
    s.routeCache.row = [](const QString &gameId, const QString &region, const QString &fingerprint) {
        return DatabaseManager::instance()->getRouteCache(gameId, region, fingerprint);
    };
    s.routeCache.remove = [](const QString &key) { DatabaseManager::instance()->deleteRouteCache(key); };
    s.networkFingerprint = [] { return networkFingerprint(); };
    s.workingDirectory = QCoreApplication::applicationDirPath();
    return s;
}

ConnectFlow::ConnectFlow(const Services &services, std::shared_ptr<ConnectFlowState> state, QObject *parent)
    : ConnectStatus(parent), m_services(services),
      m_state(state ? std::move(state) : std::make_shared<ConnectFlowState>()), m_retryTimer(this),
      m_failureTimer(this), m_refusalTimer(this)
{
    m_retryTimer.setSingleShot(true);
    m_failureTimer.setSingleShot(true);
    m_refusalTimer.setSingleShot(true);
    connect(&m_retryTimer, &QTimer::timeout, this, [this] {
        if (m_state->connected)
            return;
        m_retrying = true;
        startConnect();
        m_retrying = false;
    });
    connect(&m_failureTimer, &QTimer::timeout, this, [this] { applyButtonState(ButtonState::Idle); });
    connect(&m_refusalTimer, &QTimer::timeout, this, [this] {
        if (!m_state->connected)
            emit refusalEnded();
    });
}

ConnectFlow::~ConnectFlow()
{
    // The probe may already be gone; its completion checks for this flow.
    if (m_state->currentAttempt)
        m_state->currentAttempt->cancelled = true;
}

QString ConnectFlow::failureMessage()
{
    return DnsVerifier::failureMessage();
}

bool ConnectFlow::automaticMode() const
{
    return m_services.relayStore ? m_services.relayStore->connectionMode() : true;
}

bool ConnectFlow::isCurrent(const std::shared_ptr<ConnectAttempt> &attempt) const
{
    return attempt && !attempt->cancelled && attempt == m_state->currentAttempt;
}

void ConnectFlow::applyButtonState(ButtonState state)
{
    m_state->connected = state == ButtonState::Connected;
    emit buttonStateChanged(state);
}

void ConnectFlow::setConnectingAnimation(bool running)
{
    if (running) {
        m_state->connectingClock.restart();
        m_state->connectingDots = 0;
        applyButtonState(ButtonState::Connecting);
    }
    emit connectingAnimationChanged(running);
}

void ConnectFlow::showRefusal(const QString &text, int ms)
{
    emit refusal(text);
    m_refusalTimer.start(ms);
    endFailedRetry();
}

void ConnectFlow::endFailedRetry()
{
    // The button still shows "connecting" from the failed relay; left alone
    // it would stay there with nothing running.
    if (!m_retrying)
        return;
    m_retrying = false;
    m_state->failover.reset();
    m_state->kind = ConnectionKind::None;
    emit connectingAnimationChanged(false);
    applyButtonState(ButtonState::Idle);
}

void ConnectFlow::press()
{
    if (!m_state->connecting && !m_state->connected && !m_retryTimer.isActive()) {
        startConnect();
        return;
    }
    const QString running = m_state->connectionGame();
    const QString selected = m_services.gameTitle ? m_services.gameTitle().trimmed() : QString();
    stopConnection();
    if (!running.isEmpty() && !selected.isEmpty() && selected != running)
        startConnect();
}

void ConnectFlow::startConnect()
{
    qDebug().noquote() << "[Connect] startConnect called";
    if (m_state->connecting || m_state->connected) {
        qDebug().noquote() << "[Connect] Already connecting/connected";
        return;
    }
    m_retryTimer.stop();
    // A new attempt owns the button from now on; a failure display still
    // counting down must not reset it later.
    m_failureTimer.stop();

    auto attempt = std::make_shared<ConnectAttempt>();
    attempt->serial = ++m_state->attemptSerial;
    m_state->currentAttempt = attempt;

    const RelayChoice::Choice choice =
        RelayChoice::chooseRelay(m_state->failover, m_services.relays, m_services.relayStore);
    if (choice.fromFailoverList)
        emit autoRelayChosen(choice.relay);
    if (!choice.pick.ok || choice.pick.address.isEmpty()) {
        qDebug().noquote() << "[Connect] No server picked";
        showRefusal(QStringLiteral("Select a server first"), m_intervals.noServerTextMs);
        return;
    }
    attempt->address = choice.pick.address;
    attempt->port = RelayChoice::usablePort(choice.pick.port);
    qDebug().noquote() << "[Connect] Picked server:"
                       << attempt->address + QLatin1Char(':') + QString::number(attempt->port);

    if (m_retrying) {
        attempt->title = m_retryTitle;
        attempt->logo = m_retryLogo;
    } else {
        attempt->title = m_services.gameTitle ? m_services.gameTitle() : QString();
        attempt->logo = m_services.gameLogo ? m_services.gameLogo() : QString();
    }
    attempt->meta = m_services.findGameMeta ? m_services.findGameMeta(attempt->title) : QVariantMap();
    if (attempt->meta.isEmpty())
        qDebug().noquote() << "[Connect] Warning: No game meta found for title:" << attempt->title;

    if (m_services.isConsoleGame && m_services.isConsoleGame(attempt->title)) {
        m_state->kind = ConnectionKind::Console;
        emit consoleConnectRequested(attempt->address, attempt->port, attempt->title, attempt->meta);
        return;
    }

    // PC branch
    if (!m_services.tunnel) {
        qDebug().noquote() << "[Connect] No tunnel client!";
        endFailedRetry();
        return;
    }
    const GamePorts::TrafficTokens tokens = m_services.gameTraffic
                                                ? m_services.gameTraffic(attempt->title, attempt->meta)
                                                : GamePorts::recordTraffic(attempt->meta);
    attempt->traffic = GamePorts::buildPcTraffic(tokens, DnsVerifier::chatDomain());
    if (attempt->traffic.fallbackTcp)
        qDebug().noquote()
            << "[Connect] No ports in meta; using fallback TCP ports 80/443 for domain-based app";
    if (!attempt->traffic.connectable) {
        showRefusal(QStringLiteral("This game has no ports/domains"), m_intervals.noPortsTextMs);
        m_state->connecting = false;
        emit connectingAnimationChanged(false);
        return;
    }
    qDebug().noquote() << "[Connect] catchAllUdp:" << (attempt->traffic.catchAllUdp ? "true" : "false")
                       << " UDP ranges:" << attempt->traffic.udpTokenCount;

    setConnectingAnimation(true);
    m_state->connecting = true;
    m_state->kind = ConnectionKind::Pc;

    qDebug().noquote() << "[Connect] Starting MTU probe...";
    if (!m_services.mtuProbe) {
        // No prober: the tunnel starts with its default.
        QTimer::singleShot(0, this, [self = QPointer<ConnectFlow>(this), attempt] {
            if (self)
                self->onMtuProbed(attempt, TunnelClient::kDefaultMtu);
        });
        return;
    }
    const QPointer<ConnectFlow> self(this);
    attempt->mtuProbeId = m_services.mtuProbe->probe(attempt->address, [self, attempt](quint64, int mtu) {
        if (self)
            self->onMtuProbed(attempt, mtu);
    });
}

void ConnectFlow::onMtuProbed(const std::shared_ptr<ConnectAttempt> &attempt, int mtu)
{
    if (!attempt)
        return;
    attempt->mtuProbeId = 0;
    // A probe of a stopped or replaced attempt must not configure and start
    // the tunnel.
    if (!isCurrent(attempt)) {
        qDebug().noquote() << "[Connect] MTU result of an ended attempt ignored";
        return;
    }
    qDebug().noquote() << "[Connect] MTU probed:" << mtu;
    TunnelControl *tunnel = m_services.tunnel;
    tunnel->stop();
    tunnel->resetStats();
    tunnel->setWorkingDirectory(m_services.workingDirectory);
    tunnel->setServer(attempt->address, attempt->port);
    tunnel->setDomains(attempt->traffic.domains);
    tunnel->setPorts(attempt->traffic.udpPorts, attempt->traffic.tcpPorts, true);
    tunnel->setMtu(mtu);
    tunnel->setDebugMode(false);

    qDebug().noquote() << "[Connect] Starting tunnel client thread...";
    // TunnelClient::start always returns true today; the branch stays for an
    // engine owner that can refuse.
    if (!tunnel->start()) {
        qDebug().noquote() << "[Connect] Failed to start tunnel!";
        failoverToNextServer(attempt, QStringLiteral("Tunnel start failed"), failureMessage());
        return;
    }
    auto *timer = new QTimer(this);
    timer->setSingleShot(true);
    attempt->verifyTimer = timer;
    const QPointer<ConnectFlow> self(this);
    connect(timer, &QTimer::timeout, this, [self, attempt, timer] {
        timer->deleteLater();
        if (self)
            self->verifyDns(attempt);
    });
    timer->start(m_intervals.verifyDelayMs);
}

void ConnectFlow::verifyDns(const std::shared_ptr<ConnectAttempt> &attempt)
{
    if (!isCurrent(attempt) || !m_services.makeDnsVerifier)
        return;
    TunnelControl *tunnel = m_services.tunnel;
    DnsVerifier *check = m_services.makeDnsVerifier([tunnel] { return tunnel && tunnel->isRunning(); }, this);
    attempt->dnsCheck = check;
    const QPointer<ConnectFlow> self(this);
    connect(check, &DnsVerifier::verified, this, [self, attempt, check] {
        attempt->dnsRetries = check->retriesUsed();
        check->deleteLater();
        if (!self || attempt->cancelled)
            return;
        attempt->verified = true;
        if (!attempt->finished)
            self->onConnectVerified(attempt);
    });
    connect(check, &DnsVerifier::failed, this,
            [self, attempt, check](const QString &reason, const QString &message) {
                attempt->dnsRetries = check->retriesUsed();
                check->deleteLater();
                if (self && !attempt->cancelled)
                    self->failoverToNextServer(attempt, reason, message);
            });
    check->verify();
}

void ConnectFlow::onConnectVerified(const std::shared_ptr<ConnectAttempt> &attempt)
{
    if (!isCurrent(attempt) || attempt->finished)
        return;
    attempt->finished = true;
    qDebug().noquote() << "[Connect] CONNECTED SUCCESSFULLY! (verified)";
    emit connectingAnimationChanged(false);
    m_state->connecting = false;
    m_state->lastShownSecond = -1;
    m_state->connectedClock.restart();
    emit connectedClockStarted();
    applyButtonState(ButtonState::Connected);
    m_state->failover.reset();
    if (m_services.sessions && !attempt->title.isEmpty())
        m_services.sessions->startSession(
            attempt->title, attempt->meta.value(QStringLiteral("executable")).toString(), attempt->logo);
}

void ConnectFlow::failoverToNextServer(const std::shared_ptr<ConnectAttempt> &attempt, const QString &reason,
                                       const QString &message)
{
    if (!attempt || attempt->cancelled) {
        applyButtonState(ButtonState::Idle);
        return;
    }
    if (attempt != m_state->currentAttempt)
        return;

    if (automaticMode() && m_state->failover.canAdvance()) {
        m_state->failover.advance();
        qDebug().noquote() << "[Connect][Failover] Switching to next Europe server idx ="
                           << m_state->failover.index;
        if (m_services.tunnel)
            m_services.tunnel->stop();
        m_state->connecting = false;
        m_retryTitle = attempt->title;
        m_retryLogo = attempt->logo;
        // The button stays in state 1 until the retry's attempt takes over.
        m_retryTimer.start(m_intervals.failoverRetryMs);
        return;
    }

    m_state->failover.reset();
    dropRouteCacheRow(attempt->title);
    qDebug().noquote() << "[Connect][Fail]" << reason;
    if (m_services.tunnel)
        m_services.tunnel->stop();
    emit connectingAnimationChanged(false);
    m_state->connecting = false;
    m_state->kind = ConnectionKind::None;
    emit failureShown(message);
    m_failureTimer.start(m_intervals.failureDisplayMs);
}

void ConnectFlow::dropRouteCacheRow(const QString &title)
{
    const RouteCache &cache = m_services.routeCache;
    if (!cache.row || !cache.remove)
        return;
    const QString fingerprint = m_services.networkFingerprint ? m_services.networkFingerprint() : QString();
    QString gameId = cache.gameId ? cache.gameId(title) : QString();
    if (gameId.isEmpty())
        gameId = title.trimmed();
    const QString key = cache.row(gameId, kRegion, fingerprint).value(QStringLiteral("cache_key")).toString();
    if (!key.isEmpty())
        cache.remove(key);
}

void ConnectFlow::cancelAttempt(const std::shared_ptr<ConnectAttempt> &attempt)
{
    attempt->cancelled = true;
    if (attempt->mtuProbeId && m_services.mtuProbe)
        m_services.mtuProbe->cancel(attempt->mtuProbeId);
    attempt->mtuProbeId = 0;
    if (attempt->verifyTimer)
        attempt->verifyTimer->deleteLater();
    if (attempt->dnsCheck) {
        attempt->dnsCheck->cancel();
        attempt->dnsCheck->deleteLater();
    }
}

void ConnectFlow::stopConnection()
{
    const bool retryPending = m_retryTimer.isActive();
    m_retryTimer.stop();
    m_failureTimer.stop();
    const bool wasConnecting = m_state->connecting || retryPending;

    if (m_state->kind == ConnectionKind::Console) {
        m_state->kind = ConnectionKind::None;
        m_state->connecting = false;
        emit consoleStopRequested(wasConnecting);
        return;
    }
    if (!m_services.tunnel)
        return;

    if (wasConnecting) {
        if (m_state->currentAttempt)
            cancelAttempt(m_state->currentAttempt);
        m_services.tunnel->stop();
        emit connectingAnimationChanged(false);
        m_state->connecting = false;
    } else {
        m_services.tunnel->stop();
        emit connectedClockStopped();
        if (m_services.sessions && m_services.sessions->isActive())
            m_services.sessions->endSession();
    }
    m_state->kind = ConnectionKind::None;
    applyButtonState(ButtonState::Idle);
    m_state->failover.reset();
}
