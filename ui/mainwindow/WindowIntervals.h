#pragma once

#include "connection/PingSweep.h"

// Every interval the window and its areas run on, in milliseconds. The
// defaults are the client's; tests hand in short ones instead of waiting.
struct WindowIntervals
{
    // The ping sweep's fallback, animation, pause, kill and region-dot steps.
    PingSweepIntervals pingSweep;
    int heartbeatMs = 30 * 1000;
    int firstHeartbeatMs = 1000;
    int versionCheckMs = 30 * 60 * 1000;
    // After a flow opens the connection view, the promotion is looked at again.
    int promoRefreshMs = 350;
    // The header search looks this long after the last change of its text.
    int headerSearchDebounceMs = 200;
    // After a sign-in, between "Loading apps..." and the last loading stage.
    int signInConfigurationMs = 700;
    // After a console game opens: its network set-up, then the connect press.
    int consoleNetworkSetupMs = 100;
    int consoleConnectPressMs = 350;
    // A console gateway that still runs this long after its start is connected.
    int consoleStartCheckMs = 900;
    // How long "Closing Quorlyx" stays up before the window closes.
    int closeDelayMs = 2000;
    // The busy overlay's fade in and out.
    int busyOverlayFadeMs = 300;
    // The first notification fetch after the window is built.
    int firstNotificationsMs = 1200;
    // The connect flow: failover retry, pause before the DNS check, the
    // refusal texts, the final failure's display; then the connected state's
    // ping and loss ticks and the loss figure's grace time.
    int failoverRetryMs = 250;
    int verifyDelayMs = 800;
    int noServerTextMs = 1400;
    int connectFailureMs = 1500;
    int noPortsTextMs = 1600;
    int livePingMs = 1000;
    int packetLossMs = 1000;
    int packetLossGraceMs = 3000;
    // A console tile's bar, and when the console game opens after it; a cover,
    // favourite logo or session logo download that moves nothing this long
    // is given up.
    int consoleTileBarMs = 3000;
    int consoleTileOpenMs = 3020;
    int imageInactivityMs = 30000;
    // The hardware card reads its figures again.
    int hardwareRefreshMs = 500;
};
