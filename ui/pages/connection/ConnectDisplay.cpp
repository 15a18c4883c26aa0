#include "ui/pages/connection/ConnectDisplay.h"

#include "connection/ConnectFlow.h"
#include "connection/LivePing.h"
#include "i18n/Language.h"
#include "ui/pages/common/PageLooks.h"
#include "ui/pages/connection/ConnectionPage.h"
#include "ui/pages/connection/RouteArea.h"
#include "ui/pages/servers/CountryFlags.h"
#include "ui/widgets/Palette.h"

#include <QGraphicsDropShadowEffect>
#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QScrollArea>
#include <QTimer>
#include <QVariantAnimation>

namespace {

// The button's texts are the window's ("MainWindow" in the translation
// files), the verified status a plain one ("QObject").
using Language::windowText;

} // namespace

ConnectDisplay::ConnectDisplay(ConnectionPage *page, RouteArea *route,
                               std::shared_ptr<ConnectFlowState> state, const Meters &meters,
                               QTimer *connectedClockTimer, QObject *parent)
    : QObject(parent), m_page(page), m_route(route),
      m_state(state ? std::move(state) : std::make_shared<ConnectFlowState>()), m_ping(meters.ping),
      m_loss(meters.loss), m_flags(meters.flags), m_clockTimer(connectedClockTimer)
{
    m_connectingTimer = new QTimer(page->tapButton());
    m_connectingTimer->setInterval(250);
    connect(m_connectingTimer, &QTimer::timeout, this, &ConnectDisplay::updateConnectingText);
    if (m_clockTimer)
        connect(m_clockTimer, &QTimer::timeout, this, &ConnectDisplay::updateConnectedTime);

    connect(page->pulseAnimation(), &QVariantAnimation::valueChanged, this,
            &ConnectDisplay::pulseConnectCircle);
    connect(page->circleButton(), &QPushButton::clicked, this, &ConnectDisplay::pressed);
    connect(page->tapButton(), &QPushButton::clicked, this, &ConnectDisplay::pressed);
    if (m_ping)
        connect(m_ping, &LivePing::pingChanged, this, &ConnectDisplay::showEstimatedPing);
    if (m_loss)
        connect(m_loss, &PacketLossMeter::lossChanged, this, &ConnectDisplay::setGameRouteValue);

    applyConnectButtonState(ButtonState::Idle);
}

QString ConnectDisplay::connectingText(int n)
{
    return QStringLiteral("Connecting%1").arg(QString(((n % 4) + 4) % 4, QLatin1Char('.')));
}

QString ConnectDisplay::secondsText(qint64 elapsedMs)
{
    return QString::number(double(elapsedMs) / 1000.0, 'f', 1) + QLatin1Char('s');
}

QString ConnectDisplay::clockText(qint64 seconds)
{
    const auto two = [](qint64 v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); };
    return two(seconds / 3600) + QLatin1Char(':') + two((seconds % 3600) / 60) + QLatin1Char(':') +
           two(seconds % 60);
}

QString ConnectDisplay::pulseStyle(double value)
{
    const int fill = int(value * 60.0 + 40.0);
    const int border = int(value * 120.0 + 80.0);
    return QStringLiteral("QWidget#ConnOuterCircle {  background-color: rgba(" QX_ACCENT_RGB
                          ", %1);  border-radius: "
                          "60px;  border: 1px solid rgba(" QX_ACCENT_RGB ", %2);}")
        .arg(fill)
        .arg(border);
}

void ConnectDisplay::follow(ConnectStatus *controller)
{
    connect(controller, &ConnectStatus::buttonStateChanged, this, &ConnectDisplay::applyConnectButtonState);
    connect(controller, &ConnectStatus::connectingAnimationChanged, this,
            &ConnectDisplay::resetConnectingTimer);
    connect(controller, &ConnectStatus::refusal, this, &ConnectDisplay::showRefusal);
    connect(controller, &ConnectStatus::refusalEnded, this, &ConnectDisplay::resetTapToConnectText);
    connect(controller, &ConnectStatus::connectedClockStarted, this, &ConnectDisplay::showConnected);
    connect(controller, &ConnectStatus::connectedClockStopped, this, &ConnectDisplay::stopConnectedClock);
    connect(controller, &ConnectStatus::autoRelayChosen, this, [this](const QVariantMap &relay) {
        showRelay(RelayFrom::Connection, Relay::fromRecord(relay, QStringLiteral("Auto"), true));
    });
}

bool ConnectDisplay::showsConnection() const
{
    if (m_shownGame.isNull())
        return true;
    const QString running = m_state->connectionGame();
    return running.isEmpty() || running == m_shownGame.trimmed();
}

bool ConnectDisplay::showsRunningConnection() const
{
    return m_connectionState != ButtonState::Idle && showsConnection() &&
           !m_state->connectionGame().isEmpty();
}

void ConnectDisplay::applyConnectButtonState(ButtonState state)
{
    if (!m_page)
        return;
    // The card as the press left it is the connection's relay, until the
    // flow names another.
    if (m_connectionState == ButtonState::Idle && state != ButtonState::Idle && showsConnection()) {
        m_connectionCard = m_page->relayCard();
        m_connectionFlagCode.clear();
        m_connectionFlagUrl.clear();
        m_hasConnectionCard = true;
    } else if (state == ButtonState::Idle) {
        m_hasConnectionCard = false;
    }
    m_connectionState = state;
    m_state->connected = state == ButtonState::Connected;
    // The meters follow the connection, whatever game the page shows: the
    // session's ping samples come from them.
    runMeters(state == ButtonState::Connected);
    layOut();
}

void ConnectDisplay::showGame(const QString &title)
{
    m_shownGame = title.isNull() ? QStringLiteral("") : title;
    if (!m_page)
        return;
    layOut();
    // The connected game's card shows the relay in use, whatever another
    // game's page put there meanwhile.
    if (showsRunningConnection() && m_hasConnectionCard) {
        m_page->showRelayCard(m_connectionCard);
        if (!m_connectionFlagCode.isEmpty())
            showFlag(m_connectionFlagCode, m_connectionFlagUrl, m_connectionFlagDownloadable);
    }
    // The cards show this game's values: the connection's, or none.
    const bool own = showsConnection();
    if (m_route) {
        m_route->showEstimatedPing(own ? m_lastPing : 0);
        m_route->setGameRouteValue(own ? m_lastLoss : QStringLiteral("0%"));
    }
}

void ConnectDisplay::layOut()
{
    const ButtonState state = showsConnection() ? m_connectionState : ButtonState::Idle;
    const bool active = state == ButtonState::Connecting || state == ButtonState::Connected;
    m_buttonState = state;
    placeCircle(active);
    styleCircle(active, state == ButtonState::Connected);
    placeCardAndButton(active);
    showBoostSection(active);
    styleButton(state);
}

void ConnectDisplay::placeCircle(bool active)
{
    const int top = active ? ConnectionPage::kCircleTopActive : ConnectionPage::kCircleTopIdle;
    const QRect inner(ConnectionPage::kCircleX + ConnectionPage::kInnerOffset,
                      top + ConnectionPage::kInnerOffset, ConnectionPage::kInnerSize,
                      ConnectionPage::kInnerSize);
    m_page->outerCircle()->setGeometry(ConnectionPage::kCircleX, top, ConnectionPage::kOuterSize,
                                       ConnectionPage::kOuterSize);
    m_page->innerCircle()->setGeometry(inner);
    m_page->circleButton()->setGeometry(inner);
    m_page->circleButton()->setEnabled(true);
    m_page->circleButton()->setCursor(Qt::PointingHandCursor);
}

void ConnectDisplay::styleCircle(bool active, bool connected)
{
    QWidget *ring = m_page->outerCircle();
    if (QVariantAnimation *pulse = m_page->pulseAnimation()) {
        if (active) {
            if (pulse->state() != QAbstractAnimation::Running)
                pulse->start();
        } else {
            pulse->stop();
            ring->setStyleSheet(ConnectionPage::outerCircleIdleStyle());
        }
    } else {
        ring->setStyleSheet(active ? ConnectionPage::outerCircleActiveStyle()
                                   : ConnectionPage::outerCircleIdleStyle());
    }
    m_page->innerCircle()->setStyleSheet(connected ? ConnectionPage::innerCircleConnectedStyle()
                                                   : ConnectionPage::innerCircleIdleStyle());

    if (QGraphicsDropShadowEffect *glow = m_page->glow())
        glow->setEnabled(connected);
    if (QPropertyAnimation *glowAnimation = m_page->glowAnimation()) {
        if (!connected)
            glowAnimation->stop();
        else if (glowAnimation->state() != QAbstractAnimation::Running)
            glowAnimation->start();
    }

    const QPixmap &icon = connected ? m_page->powerConnected() : m_page->powerIdle();
    if (!m_page->powerIdle().isNull() && !m_page->powerConnected().isNull())
        PageLooks::setScaledPixmap(m_page->powerIcon(), icon, m_page->powerIcon()->size());
}

void ConnectDisplay::placeCardAndButton(bool active)
{
    m_page->regionCard()->setGeometry(kCardX, active ? kCardYActive : kCardYIdle, ConnectionPage::kCardWidth,
                                      kCardHeight);
    if (QGraphicsOpacityEffect *opacity = m_page->regionOpacity())
        opacity->setOpacity(active ? kCardOpacityActive : 1.0);
    QPushButton *click = m_page->regionClickArea();
    click->setEnabled(!active);
    click->setCursor(active ? Qt::ArrowCursor : Qt::PointingHandCursor);

    QPushButton *button = m_page->tapButton();
    int y = kButtonYActive;
    if (!active) {
        const int dynamicY = button->property("tapDynamicY").toInt();
        y = dynamicY > 0 ? dynamicY : ConnectionPage::kTapBaseY;
    }
    button->setGeometry(kCardX, y, ConnectionPage::kCardWidth, kButtonHeight);
}

void ConnectDisplay::showBoostSection(bool active)
{
    m_page->boostTitle()->setVisible(!active);
    m_page->boostInfoButton()->setVisible(!active);
    QScrollArea *scroll = m_page->boostScroll();
    scroll->setVisible(!active && scroll->property("boostHasItems").toBool());
    // Back at idle the track keeps whatever the boost list last decided.
    if (active)
        m_page->boostTrack()->hide();
}

void ConnectDisplay::runMeters(bool connected)
{
    if (connected) {
        if (m_ping && !m_ping->isTicking())
            m_ping->start(); // one measurement at once, then one per tick
        if (m_loss)
            m_loss->startSampling();
        return;
    }
    // Reset kills a running ping and shows 0; the loss reads "0%" again.
    if (m_ping)
        m_ping->reset();
    else
        showEstimatedPing(0);
    if (m_loss)
        m_loss->reset();
    else
        setGameRouteValue(QStringLiteral("0%"));
}

void ConnectDisplay::styleButton(ButtonState state)
{
    QPushButton *button = m_page->tapButton();
    if (state == ButtonState::Connected) {
        button->setText(windowText("Disconnect"));
        button->setStyleSheet(ConnectionPage::tapButtonDisconnectStyle());
    } else if (state == ButtonState::Connecting) {
        button->setText(windowText("Connecting"));
        button->setStyleSheet(ConnectionPage::tapButtonConnectingStyle());
    } else {
        button->setText(windowText("Tap to connect"));
        button->setStyleSheet(ConnectionPage::tapButtonNormalStyle());
    }
    button->setEnabled(true);
    button->setCursor(Qt::PointingHandCursor);
    const bool labels = state == ButtonState::Connecting || state == ButtonState::Connected;
    m_page->statusLabel()->setVisible(labels);
    m_page->timerLabel()->setVisible(labels);
}

void ConnectDisplay::resetConnectingTimer(bool start)
{
    if (!m_page)
        return;
    if (!start) {
        m_connectingTimer->stop();
        return;
    }
    m_state->connectingClock.restart();
    m_state->connectingDots = 0;
    applyConnectButtonState(ButtonState::Connecting);
    m_page->statusLabel()->setText(connectingText(0));
    m_page->timerLabel()->setText(QStringLiteral("0.0s"));
    m_connectingTimer->start();
}

void ConnectDisplay::updateConnectingText()
{
    if (!m_page)
        return;
    const qint64 elapsed = m_state->connectingClock.isValid() ? m_state->connectingClock.elapsed() : 0;
    const int n = m_state->connectingDots++;
    m_page->statusLabel()->setText(connectingText(n));
    m_page->timerLabel()->setText(secondsText(elapsed));
}

void ConnectDisplay::updateConnectedTime()
{
    if (!m_page || !m_state->connected)
        return;
    const qint64 seconds = m_state->connectedClock.isValid() ? m_state->connectedClock.elapsed() / 1000 : 0;
    if (seconds == m_state->lastShownSecond)
        return;
    m_state->lastShownSecond = seconds;
    m_page->timerLabel()->setText(clockText(seconds));
}

void ConnectDisplay::pulseConnectCircle(const QVariant &value)
{
    if (m_page)
        m_page->outerCircle()->setStyleSheet(pulseStyle(value.toDouble()));
}

void ConnectDisplay::showRefusal(const QString &text)
{
    if (m_page)
        m_page->tapButton()->setText(text);
}

void ConnectDisplay::resetTapToConnectText()
{
    if (m_page && m_buttonState != ButtonState::Connected)
        m_page->tapButton()->setText(windowText("Tap to connect"));
}

void ConnectDisplay::showConnected()
{
    if (!m_page)
        return;
    m_connectingTimer->stop();
    m_page->statusLabel()->setText(Language::objectText("You are connected!"));
    m_page->timerLabel()->setText(clockText(0));
    if (m_clockTimer)
        m_clockTimer->start();
}

void ConnectDisplay::stopConnectedClock()
{
    if (m_clockTimer)
        m_clockTimer->stop();
}

void ConnectDisplay::showFailure(const QString &message)
{
    if (!m_page)
        return;
    m_connectingTimer->stop();
    m_page->statusLabel()->setText(message);
    if (!showsConnection())
        return;
    m_page->statusLabel()->show();
    m_page->timerLabel()->hide();
}

ConnectDisplay::Relay ConnectDisplay::Relay::fromRecord(const QVariantMap &relay, const QString &mode,
                                                        bool downloadFlag)
{
    const QString name = relay.value(QStringLiteral("name")).toString();
    return {name.isEmpty() ? QString::fromLatin1(RelayChoice::kAutomaticRegion) : name, mode,
            relay.value(QStringLiteral("country_code")).toString(),
            relay.value(QStringLiteral("flag")).toString(), downloadFlag};
}

void ConnectDisplay::showRelay(RelayFrom from, const Relay &relay)
{
    if (!m_page)
        return;
    switch (from) {
    case RelayFrom::Connection:
        keepConnectionRelay(relay.name, relay.mode, relay.countryCode, relay.flagUrl, relay.downloadFlag);
        return;
    case RelayFrom::Sweep:
        m_page->showRelayName(relay.name);
        // Only the text: the label keeps the place of its last placement.
        m_page->setModeText(relay.mode);
        break;
    case RelayFrom::Picker:
        m_page->showRelayName(relay.name);
        m_page->showManualServerLabel(relay.mode);
        break;
    }
    if (!relay.countryCode.trimmed().isEmpty())
        showFlag(relay.countryCode, relay.flagUrl, relay.downloadFlag);
}

void ConnectDisplay::keepConnectionRelay(const QString &name, const QString &mode, const QString &countryCode,
                                         const QString &flagUrl, bool downloadable)
{
    if (!m_page)
        return;
    m_connectionCard.name = name;
    if (!mode.isEmpty())
        m_connectionCard.mode = mode;
    if (!countryCode.trimmed().isEmpty()) {
        m_connectionFlagCode = countryCode;
        m_connectionFlagUrl = flagUrl;
        m_connectionFlagDownloadable = downloadable;
        m_connectionCard.flag = QPixmap();
    }
    // Another game's page keeps its own card; this one is shown with its game.
    if (!showsConnection())
        return;
    m_page->showRelayName(name);
    if (!mode.isEmpty())
        m_page->showManualServerLabel(mode);
    if (countryCode.trimmed().isEmpty())
        return;
    showFlag(countryCode, flagUrl, downloadable);
}

void ConnectDisplay::showFlag(const QString &countryCode, const QString &flagUrl, bool downloadable)
{
    if (downloadable && m_flags)
        m_flags->loadCountryFlag(m_page->regionFlag(), countryCode, flagUrl);
    else
        CountryFlags::showResourceFlag(m_page->regionFlag(), countryCode, QSize(24, 24));
}

void ConnectDisplay::showEstimatedPing(int ms)
{
    m_lastPing = ms;
    if (m_route && showsConnection())
        m_route->showEstimatedPing(ms);
}

void ConnectDisplay::setGameRouteValue(const QString &text)
{
    m_lastLoss = text;
    if (m_route && showsConnection())
        m_route->setGameRouteValue(text);
}
