#pragma once
// Whether the desktop shows top-level windows with a translucent background.
// On X11 that takes a compositing manager: without one (many plain window
// managers run none) such a window is mapped and drawn, but what the screen
// shows is whatever lies beneath it. A compositing manager announces itself
// by owning the selection "_NET_WM_CM_S<screen>". Every other platform the
// client runs on (Wayland, Windows, the offscreen one) composes windows.

#include <functional>

struct xcb_connection_t;

namespace WindowTranslucency {

// Asks the X server whether someone owns "_NET_WM_CM_S<screen>".
bool x11CompositorRunning(xcb_connection_t *connection, int screen);

// Whether translucent top-level windows show on this desktop, asked anew at
// every call (a compositor can start or stop while the client runs).
bool shown();

// Replaces the desktop's answer (tests); an empty function restores it.
void setProbe(std::function<bool()> probe);

} // namespace WindowTranslucency
