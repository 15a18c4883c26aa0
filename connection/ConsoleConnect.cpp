#include "connection/ConsoleConnect.h"

#include "connection/NetworkFingerprint.h"
#include "connection/RouteCache.h"
#include "connection/SessionManager.h"
#include "engine/qt/ConsoleGatewayEmbedded.h"
#include "services/GamePlatform.h"
#include "storage/DatabaseManager.h"

#include <QCoreApplication>
#include <QDebug>
#include <QRegularExpression>

namespace {

const QString kRegion = QLatin1String(RelayChoice::kAutomaticRegion);
constexpr int kMaxProfileLength = 48;

} // namespace

// ---- ConsoleGatewayEmbeddedControl ----

ConsoleGatewayEmbeddedControl::ConsoleGatewayEmbeddedControl(ConsoleGatewayEmbedded *gateway)
    : m_gateway(gateway)
{}

bool ConsoleGatewayEmbeddedControl::start(const QString &serverIp, int port, const QString &profile,
                                          const QString &udpPorts, const QString &tcpPorts, bool tunnelAll)
{
    return m_gateway && m_gateway->start(serverIp, port, profile, udpPorts, tcpPorts, tunnelAll);
}

void ConsoleGatewayEmbeddedControl::stop()
{
    if (m_gateway)
        m_gateway->stop();
}

bool ConsoleGatewayEmbeddedControl::isRunning() const
{
    return m_gateway && m_gateway->isRunning();
}

// ---- ConsoleConnect ----

ConsoleConnect::GameRecords ConsoleConnect::GameRecords::database()
{
    GameRecords games;
    games.findGameIdByName = [](const QString &name) {
        DatabaseManager *db = DatabaseManager::instance();
        return db && db->isOpen() ? db->findGameIdByName(name) : QString();
    };
    games.getGameById = [](const QString &id) {
        DatabaseManager *db = DatabaseManager::instance();
        return db && db->isOpen() ? db->getGameById(id) : QVariantMap();
    };
    return games;
}

ConsoleConnect::Services ConsoleConnect::defaultServices(ConsoleGatewayEmbedded *gateway,
                                                         SessionManager *sessions)
{
    Services s;
    const QPointer<SessionManager> sessionManager(sessions);
    s.endActiveSession = [sessionManager] {
        if (sessionManager && sessionManager->isActive())
            sessionManager->endSession();
    };
    if (gateway) {
        s.ownedGateway = std::make_shared<ConsoleGatewayEmbeddedControl>(gateway);
        s.gateway = s.ownedGateway.get();
    }
    s.relays = RelayChoice::databaseSources();
    s.relayStore = RelayChoice::settingsStore();
    s.games = GameRecords::database();
    s.gameTraffic = &GamePorts::gameTraffic;
    s.routeCacheRow = [](const QString &gameId, const QString &region, const QString &fingerprint) {
        DatabaseManager *db = DatabaseManager::instance();
        return db && db->isOpen() ? db->getRouteCache(gameId, region, fingerprint) : QVariantMap();
    };
    s.saveRouteCache = [](const QString &key, const QString &gameId, const QString &region,
                          const QString &fingerprint, const QString &pingsText, const QString &updatedAt) {
        DatabaseManager *db = DatabaseManager::instance();
        return db && db->isOpen() &&
               db->saveRouteCache(key, gameId, region, fingerprint, pingsText, updatedAt);
    };
    s.networkFingerprint = [] { return networkFingerprint(); };
    s.readPingsText = [] { return RouteCache::readPingsText(RelayChoice::serverPingsPath()); };
    s.nowUtc = [] { return QDateTime::currentDateTimeUtc(); };
    return s;
}

ConsoleConnect::ConsoleConnect(const Services &services, std::shared_ptr<ConnectFlowState> state,
                               QObject *parent)
    : ConnectStatus(parent), m_services(services),
      m_state(state ? std::move(state) : std::make_shared<ConnectFlowState>()), m_refusalTimer(this),
      m_checkTimer(this)
{
    m_refusalTimer.setSingleShot(true);
    m_checkTimer.setSingleShot(true);
    connect(&m_refusalTimer, &QTimer::timeout, this, [this] {
        if (!m_state->connected)
            emit refusalEnded();
    });
    connect(&m_checkTimer, &QTimer::timeout, this, &ConsoleConnect::checkConsoleGatewayStarted);
}

ConsoleConnect::~ConsoleConnect() = default;

QString ConsoleConnect::slugifyName(const QString &text)
{
    static const QRegularExpression other(QStringLiteral("[^a-z0-9_\\-]+"));
    static const QRegularExpression underscores(QStringLiteral("_+"));
    QString s = text.trimmed().toLower();
    s.replace(other, QStringLiteral("_"));
    s.replace(underscores, QStringLiteral("_"));
    if (s.isEmpty())
        return QStringLiteral("console");
    return s.left(kMaxProfileLength);
}

bool ConsoleConnect::isConsoleRecord(const QVariantMap &record)
{
    QString text = record.value(QStringLiteral("category")).toString().trimmed();
    if (text.isEmpty())
        text = record.value(QStringLiteral("platform")).toString().trimmed();
    return GamePlatform::isConsolePlatform(text);
}

bool ConsoleConnect::isConsoleGameTitle(const GameRecords &games, const QString &title)
{
    const QString name = title.trimmed();
    if (name.isEmpty() || !games.findGameIdByName || !games.getGameById)
        return false;
    const QString id = games.findGameIdByName(name);
    if (id.isEmpty())
        return false;
    return isConsoleRecord(games.getGameById(id));
}

bool ConsoleConnect::isConsoleGameTitle(const QString &title) const
{
    return isConsoleGameTitle(m_services.games, title);
}

bool ConsoleConnect::routeCacheUsable(const QVariantMap &row, const QDateTime &nowUtc)
{
    if (row.value(QStringLiteral("ping_json")).toString().isEmpty())
        return false;
    const QDateTime updated =
        QDateTime::fromString(row.value(QStringLiteral("updated_at")).toString(), Qt::ISODate);
    if (!updated.isValid())
        return false;
    const qint64 age = updated.toUTC().secsTo(nowUtc.toUTC());
    return age >= 0 && age <= kUsableCacheSeconds;
}

bool ConsoleConnect::automaticMode() const
{
    return m_services.relayStore ? m_services.relayStore->connectionMode() : true;
}

void ConsoleConnect::applyButtonState(ButtonState state)
{
    m_state->connected = state == ButtonState::Connected;
    emit buttonStateChanged(state);
}

void ConsoleConnect::setConnectingAnimation(bool running)
{
    if (running) {
        m_state->connectingClock.restart();
        m_state->connectingDots = 0;
        applyButtonState(ButtonState::Connecting);
    }
    emit connectingAnimationChanged(running);
}

void ConsoleConnect::endAttempt(bool failed)
{
    m_checkTimer.stop();
    m_sweepToken = 0;
    emit connectingAnimationChanged(false);
    m_state->connecting = false;
    m_state->kind = ConnectionKind::None;
    applyButtonState(ButtonState::Idle);
    // The overlay's spinner said "Starting boost..."; nothing starts now.
    if (failed)
        emit progressEnded(ConnectFlow::failureMessage());
    updateWatchWanted();
}

void ConsoleConnect::setSetupShown(bool shown)
{
    m_setupShown = shown;
    updateWatchWanted();
}

void ConsoleConnect::updateWatchWanted()
{
    const bool running = m_state->kind == ConnectionKind::Console &&
                         (m_state->connecting || m_state->connected || m_sweepToken != 0);
    const bool wanted = m_setupShown || running;
    if (wanted == m_watchWanted)
        return;
    m_watchWanted = wanted;
    emit consoleWatchWanted(wanted);
}

void ConsoleConnect::startConsoleBranch(const QString &address, int port, const QString &title,
                                        const QVariantMap &meta)
{
    // The refusals leave the button as it is (its text shows the refusal);
    // nothing runs, so the next press starts afresh.
    if (!m_services.gateway) {
        qWarning().noquote() << "[ConsoleConn] Console gateway not initialized";
        m_state->kind = ConnectionKind::None;
        return;
    }
    const GamePorts::TrafficTokens tokens =
        m_services.gameTraffic ? m_services.gameTraffic(title, meta) : GamePorts::recordTraffic(meta);
    const GamePorts::ConsoleTraffic traffic = GamePorts::buildConsoleTraffic(tokens);
    if (!traffic.connectable) {
        emit refusal(QStringLiteral("This game has no ports"));
        m_refusalTimer.start(m_intervals.noPortsTextMs);
        m_state->kind = ConnectionKind::None;
        return;
    }

    const QString fingerprint = m_services.networkFingerprint ? m_services.networkFingerprint() : QString();
    const QString trimmedTitle = title.trimmed();
    QString gameId =
        m_services.games.findGameIdByName ? m_services.games.findGameIdByName(trimmedTitle) : QString();
    if (gameId.isEmpty())
        gameId = trimmedTitle;
    const QVariantMap row =
        m_services.routeCacheRow ? m_services.routeCacheRow(gameId, kRegion, fingerprint) : QVariantMap();
    const QDateTime now = m_services.nowUtc ? m_services.nowUtc() : QDateTime::currentDateTimeUtc();
    if (routeCacheUsable(row, now) || !m_services.sweep.start) {
        startConsoleGateway(address, port, title, traffic.udpTokens, traffic.tcpTokens);
        return;
    }

    qDebug().noquote() << "[ConsoleConn] No usable Europe ping cache; starting route analyze...";
    emit progressShown(QCoreApplication::translate("MainWindow", "Analyzing routes (Europe)"));
    const quint64 token = ++m_nextSweepToken;
    m_sweepToken = token;
    const QPointer<ConsoleConnect> self(this);
    const QStringList udp = traffic.udpTokens;
    const QStringList tcp = traffic.tcpTokens;
    setConnectingAnimation(true);
    m_state->connecting = true;
    updateWatchWanted();
    m_services.sweep.start([self, token, gameId, fingerprint, address, port, title, udp, tcp] {
        // A disconnect during the analysis, or a newer attempt, owns the
        // button now: this sweep starts nothing.
        if (!self || self->m_sweepToken != token)
            return;
        self->m_sweepToken = 0;
        self->startConsoleBoostAfterSweep(gameId, kRegion, fingerprint, address, port, title, udp, tcp);
    });
}

void ConsoleConnect::startConsoleBoostAfterSweep(const QString &gameId, const QString &region,
                                                 const QString &fingerprint, const QString &address, int port,
                                                 const QString &title, const QStringList &udp,
                                                 const QStringList &tcp)
{
    if (m_services.sweep.hide)
        m_services.sweep.hide();
    emit statusChanged(QCoreApplication::translate("MainWindow", "Starting boost..."));
    const QString text = m_services.readPingsText ? m_services.readPingsText() : QString();
    if (!text.isEmpty() && m_services.saveRouteCache) {
        m_services.saveRouteCache(RouteCache::cacheKey(gameId, region, fingerprint), gameId, region,
                                  fingerprint, text, RouteCache::updatedAt(text));
    }
    startConsoleGateway(address, port, title, udp, tcp);
}

void ConsoleConnect::startConsoleGateway(const QString &handedAddress, int handedPort, const QString &title,
                                         const QStringList &udp, const QStringList &tcp)
{
    QString address = handedAddress.trimmed();
    int port = RelayChoice::usablePort(handedPort);
    RelayChoice::FailoverList &failover = m_state->failover;
    failover.relays = RelayChoice::europeServers(m_services.relays);

    const bool automatic = automaticMode();
    if (automatic) {
        if (!failover.built) {
            failover.index = 0;
            failover.built = true;
        }
        // Always the first relay, whatever a PC failover left the index at.
        if (!failover.relays.isEmpty()) {
            const QVariantMap relay = failover.relays.first();
            address = RelayChoice::relayAddress(relay);
            port = RelayChoice::relayPort(relay);
            if (m_services.relayStore) {
                m_services.relayStore->setServer(relay.value(QStringLiteral("id")).toString(), address,
                                                 relay.value(QStringLiteral("name")).toString(),
                                                 relay.value(QStringLiteral("country_code")).toString());
                m_services.relayStore->setServerPort(port);
                m_services.relayStore->setConnectionMode(true);
            }
            emit autoRelayChosen(relay);
        }
    }

    if (address.isEmpty()) {
        qWarning().noquote() << "[ConsoleConn] No server selected; cannot start gateway";
        endAttempt();
        return;
    }

    const QList<QVariantMap> active =
        m_services.relays.activeServers ? m_services.relays.activeServers() : QList<QVariantMap>();
    bool found = false;
    for (const QVariantMap &relay : active) {
        if (RelayChoice::relayAddress(relay) != address)
            continue;
        found = true;
        const QString name = relay.value(QStringLiteral("name")).toString();
        const QString code = relay.value(QStringLiteral("country_code")).toString();
        if (m_services.relayStore) {
            m_services.relayStore->setServer(relay.value(QStringLiteral("id")).toString(), address, name,
                                             code);
            m_services.relayStore->setServerPort(port);
        }
        emit relayShown(name.isEmpty() ? address : name,
                        automatic ? QStringLiteral("Auto") : QStringLiteral("Manual"), code);
        break;
    }
    if (!found)
        emit relayShown(address, QString(), QString());

    const QString profile = slugifyName(QStringLiteral("console_%1").arg(title));
    const QString udpText = udp.join(QLatin1Char(','));
    const QString tcpText = tcp.join(QLatin1Char(','));

    setConnectingAnimation(true);
    m_state->connecting = true;
    m_state->kind = ConnectionKind::Console;
    updateWatchWanted();

    qDebug().noquote() << "[ConsoleConn] Starting Console Gateway:" << address << port << profile;
    qDebug().noquote() << "[ConsoleConn] UDP ports:" << udpText;
    qDebug().noquote() << "[ConsoleConn] TCP ports:" << tcpText;

    ConsoleGatewayControl *gateway = m_services.gateway;
    gateway->stop();
    ++m_runSerial;
    m_connectedRun = 0;
    if (!gateway->start(address, port, profile, udpText, tcpText, false)) {
        qWarning().noquote() << "[ConsoleConn] start() failed";
        endAttempt();
        return;
    }
    m_checkTimer.start(m_intervals.startCheckMs);
}

void ConsoleConnect::checkConsoleGatewayStarted()
{
    m_checkTimer.stop();
    if (m_services.gateway && m_services.gateway->isRunning()) {
        emit connectingAnimationChanged(false);
        m_state->connecting = false;
        m_state->lastShownSecond = -1;
        m_state->connectedClock.restart();
        emit connectedClockStarted();
        m_connectedRun = m_runSerial;
        applyButtonState(ButtonState::Connected);
        return;
    }
    qWarning().noquote() << "[ConsoleConn] Gateway is not running after start";
    endAttempt();
}

void ConsoleConnect::stopConsole(bool wasConnecting)
{
    m_checkTimer.stop();
    m_sweepToken = 0;
    m_connectedRun = 0;
    if (wasConnecting) {
        if (m_services.sweep.hide)
            m_services.sweep.hide();
        if (m_services.gateway)
            m_services.gateway->stop();
        emit connectingAnimationChanged(false);
    } else {
        if (m_services.gateway)
            m_services.gateway->stop();
        emit connectedClockStopped();
        if (m_services.endActiveSession)
            m_services.endActiveSession();
    }
    m_state->connecting = false;
    m_state->kind = ConnectionKind::None;
    applyButtonState(ButtonState::Idle);
    updateWatchWanted();
}

void ConsoleConnect::gatewayStopped(int exitCode)
{
    Q_UNUSED(exitCode);
    // Only the run shown as connected, once it has really ended: a late
    // `stopped` of an earlier run finds another run (or none) in its place.
    if (!m_state->connected || m_state->kind != ConnectionKind::Console || m_connectedRun == 0 ||
        m_connectedRun != m_runSerial)
        return;
    if (m_services.gateway && m_services.gateway->isRunning())
        return;
    qWarning().noquote() << "[ConsoleConn] Gateway stopped while connected";
    m_connectedRun = 0;
    emit connectedClockStopped();
    m_state->kind = ConnectionKind::None;
    applyButtonState(ButtonState::Idle);
    emit progressEnded(ConnectFlow::failureMessage());
    updateWatchWanted();
}
