#pragma once
// The service may retire client versions. At start-up and every 30 minutes the
// client sends its version; a refused one covers the window with the busy
// overlay, keeps the window from closing, and either runs the update path
// (when the service demands an update) or quits a few seconds later.

#include "services/ServiceApi.h"
#include "services/TimerSource.h"

#include <QObject>

#include <functional>

class BusyOverlay;
class ServiceClient;
class UpdateController;

namespace VersionRules {

// Whether a finished validation refuses this version. A reply that did not
// arrive or is not 2xx allows it; a 2xx body refuses unless it says
// "valid": true without "blocked": true.
bool refuses(const ServiceApi::Reply &reply);
// Whether the refusal asks for the update path ("force_update": true).
bool forcesUpdate(const ServiceApi::Reply &reply);

} // namespace VersionRules

class VersionGate : public QObject
{
    Q_OBJECT
public:
    static constexpr int kClosingNoticeDelayMs = 5000;
    static constexpr int kQuitDelayMs = 3000;

    // The gate takes over the update check's end while the version is blocked:
    // a check that finds no required update then shuts the client down
    // instead of resuming a sign-in under the block.
    VersionGate(ServiceClient *client, UpdateController *updates, TimerSource timers = systemTimers(),
                QObject *parent = nullptr);

    // The window's part: its busy overlay, taking its own window buttons away,
    // and quitting with the close allowed.
    void setOverlay(BusyOverlay *overlay) { m_overlay = overlay; }
    void setWindowControlsCallback(std::function<void(bool enabled)> callback)
    {
        m_windowControls = std::move(callback);
    }
    void setQuitCallback(std::function<void()> quit) { m_quit = std::move(quit); }
    void setTimerSource(TimerSource timers) { m_timers = std::move(timers); }

    // Once set the block is never lifted by the gate; while it holds no
    // further validation is sent and the window refuses to close.
    bool isBlocked() const { return m_blocked; }
    void setBlocked(bool blocked) { m_blocked = blocked; }

    void validateAppVersion();
    void onVersionValidateReply(const ServiceApi::Reply &reply);
    // Shows the closing notice and quits a little later; runs once.
    void onVersionUnsupported();

private:
    ServiceClient *m_client;
    UpdateController *m_updates;
    TimerSource m_timers;
    BusyOverlay *m_overlay = nullptr;
    std::function<void(bool)> m_windowControls;
    std::function<void()> m_quit;
    bool m_blocked = false;
    bool m_shutdownScheduled = false; // the closing notice is on its way
    bool m_closing = false;           // the closing notice is shown; the quit follows
};
