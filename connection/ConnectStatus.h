#pragma once
// What a connect controller tells the connection page while it works: the
// connect button's state, the connecting animation, refusals, the connection
// clock and the relay it chose itself. The PC flow (ConnectFlow) and the
// console path (ConsoleConnect) both speak through it, so the page follows
// either of them through one set of connections.

#include <QObject>
#include <QString>
#include <QVariantMap>

// The connect button's three looks.
enum class ButtonState { Idle, Connecting, Connected };

class ConnectStatus : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

signals:
    void buttonStateChanged(ButtonState state);
    // The connecting animation ("Connecting", dots and seconds) starts or stops.
    void connectingAnimationChanged(bool running);
    // A refusal replaces the button's text; `refusalEnded` asks for the
    // translated "Tap to connect" again (not sent once connected).
    void refusal(const QString &text);
    void refusalEnded();
    // The automatic choice was written back as the selected relay.
    void autoRelayChosen(const QVariantMap &relay);
    // Verified: status "You are connected!", clock "00:00:00", clock timer on.
    void connectedClockStarted();
    void connectedClockStopped();
};
