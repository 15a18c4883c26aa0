#pragma once
// The connection page as the connect flow moves it: idle, connecting and
// connected. It places and restyles the circle, the relay card, the boost
// section and the connect button, runs the "Connecting" animation and the
// connection clock from the flow's shared state, shows refusals and the
// final failure, and starts and resets the live ping and packet-loss meters
// whose values land on the route cards. It decides nothing about the
// connection itself: the flow's signals drive it, and both connect buttons
// come out as one `pressed` signal.
//
// The page shows one game at a time. It shows the connection's state only
// for the game the connection is for; any other game shows its own idle
// state while the connection (and its meters) go on unseen.

#include "connection/ConnectStatus.h"
#include "ui/pages/connection/ConnectionPage.h"

#include <QObject>
#include <QPointer>
#include <QVariant>
#include <QVariantMap>

#include <memory>

class CountryFlags;
class LivePing;
class PacketLossMeter;
class QTimer;
class RouteArea;
struct ConnectFlowState;

class ConnectDisplay : public QObject
{
    Q_OBJECT
public:
    // Where the left panel's widgets go in each state.
    static constexpr int kCardX = 60;
    static constexpr int kCardYIdle = 206;
    static constexpr int kCardYActive = 354;
    static constexpr int kCardHeight = 76;
    static constexpr int kButtonYActive = 450;
    static constexpr int kButtonHeight = 48;
    static constexpr double kCardOpacityActive = 0.55;

    struct Meters
    {
        LivePing *ping = nullptr;        // null: the ping card only reads 0
        PacketLossMeter *loss = nullptr; // null: the loss card only reads "0%"
        CountryFlags *flags = nullptr;   // null: the card's flag stays as it is
    };

    // `connectedClockTimer` is the window's 250 ms clock timer; the
    // connecting animation's timer is made here, a child of the connect button.
    ConnectDisplay(ConnectionPage *page, RouteArea *route, std::shared_ptr<ConnectFlowState> state,
                   const Meters &meters, QTimer *connectedClockTimer, QObject *parent);

    QTimer *connectingTimer() const { return m_connectingTimer; }
    QTimer *connectedClockTimer() const { return m_clockTimer; }
    // The state the page shows, and the connection's own.
    ButtonState buttonState() const { return m_buttonState; }
    ButtonState connectionState() const { return m_connectionState; }
    // Whether the page shows the game the connection is for (or no
    // connection runs), and whether it shows a connection being made or
    // running (its relay card then shows the connection's relay).
    bool showsConnection() const;
    bool showsRunningConnection() const;

    // The "Connecting" text with `n` mod 4 dots, and the seconds ("1.3s").
    static QString connectingText(int n);
    static QString secondsText(qint64 elapsedMs);
    // The connection clock: hh:mm:ss, hours past 99 in full.
    static QString clockText(qint64 seconds);
    // The ring's pulse look for an animation value of 0.35 to 1.0.
    static QString pulseStyle(double value);

    // The page follows a connect controller's status signals from now on.
    void follow(ConnectStatus *controller);

    // A relay as the relay card shows it.
    struct Relay
    {
        QString name;
        QString mode;        // "Auto" or "Manual"; empty: the mode stays
        QString countryCode; // blank: the flag stays
        QString flagUrl;
        bool downloadFlag = false; // else the bundled picture only

        // A relay of the relay list: its name (the automatic region's when
        // it has none), country code and flag address.
        static Relay fromRecord(const QVariantMap &relay, const QString &mode, bool downloadFlag);
    };
    // Whose relay the card is given.
    enum class RelayFrom {
        // The connection's own: kept, and on the card whenever its game shows.
        Connection,
        // The automatic choice after a sweep: the mode's text changes in its place.
        Sweep,
        // Picked by hand in the server picker.
        Picker,
    };
    // Every path that fills the relay card comes through here.
    void showRelay(RelayFrom from, const Relay &relay);

public slots:
    // The connection's state; the page takes it when it shows that game.
    void applyConnectButtonState(ButtonState state);
    // The page now shows this game, its boost list just built: the page is
    // laid out again for the state that game has.
    void showGame(const QString &title);
    // true: the connecting clock and dots from zero, state 1, "Connecting"
    // and "0.0s", the animation timer on; false: the animation timer off.
    void resetConnectingTimer(bool start);
    void updateConnectingText();
    void updateConnectedTime();
    void pulseConnectCircle(const QVariant &value);
    // A refusal's text on the button until resetTapToConnectText.
    void showRefusal(const QString &text);
    // "Tap to connect" again, unless connected by now.
    void resetTapToConnectText();
    // Verified: "You are connected!", "00:00:00" and the clock timer on.
    void showConnected();
    void stopConnectedClock();
    // The final failure's message in the status line; the clock label hides.
    void showFailure(const QString &message);
    // The route cards' values (the meters' signals land here).
    void showEstimatedPing(int ms);
    void setGameRouteValue(const QString &text);

signals:
    // "ConnCircleButton" or "TapToConnectButton" was clicked.
    void pressed();

private:
    // Lays the page out for the state it shows.
    void layOut();
    void placeCircle(bool active);
    void styleCircle(bool active, bool connected);
    void placeCardAndButton(bool active);
    void showBoostSection(bool active);
    void runMeters(bool connected);
    void styleButton(ButtonState state);
    // The connection's relay for its card: on the card when its game shows,
    // kept for later either way.
    void keepConnectionRelay(const QString &name, const QString &mode, const QString &countryCode,
                             const QString &flagUrl, bool downloadable);
    void showFlag(const QString &countryCode, const QString &flagUrl, bool downloadable);

    QPointer<ConnectionPage> m_page;
    QPointer<RouteArea> m_route;
    std::shared_ptr<ConnectFlowState> m_state;
    QPointer<LivePing> m_ping;
    QPointer<PacketLossMeter> m_loss;
    QPointer<CountryFlags> m_flags;
    QPointer<QTimer> m_clockTimer;
    QTimer *m_connectingTimer = nullptr;
    ButtonState m_buttonState = ButtonState::Idle;
    ButtonState m_connectionState = ButtonState::Idle;
    // Null until a game is opened: the page then shows whatever runs.
    QString m_shownGame;
    // The meters' last values, shown again when the connection's game is.
    int m_lastPing = 0;
    QString m_lastLoss = QStringLiteral("0%");
    // The relay card of the connection, shown again with its game; a flag
    // chosen while another game showed is loaded again from its code.
    bool m_hasConnectionCard = false;
    ConnectionPage::RelayCard m_connectionCard;
    QString m_connectionFlagCode;
    QString m_connectionFlagUrl;
    bool m_connectionFlagDownloadable = false;
};
