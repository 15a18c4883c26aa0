#pragma once

// Every interval the window and its areas run on, in milliseconds. The
// defaults are the client's; tests hand in short ones instead of waiting.
struct WindowIntervals
{
    int heartbeatMs = 30 * 1000;
    int firstHeartbeatMs = 1000;
    int versionCheckMs = 30 * 60 * 1000;
    // After a flow opens the connection view, the promotion is looked at again.
    int promoRefreshMs = 350;
    // After a sign-in, between "Loading apps..." and the last loading stage.
    int signInConfigurationMs = 700;
    // How long "Closing Quorlyx" stays up before the window closes.
    int closeDelayMs = 2000;
    // The busy overlay's fade in and out.
    int busyOverlayFadeMs = 300;
};
