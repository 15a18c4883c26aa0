#pragma once
// The update check and the required-update path. Before a sign-in (and once at
// start-up) the client asks for the latest release; a newer required one is
// downloaded into a private folder, started detached, and the client quits.
// Until that works every failure retries after a growing delay; every other
// outcome of the check resumes the waiting sign-in through an injected callback.

#include "services/ServiceApi.h"
#include "services/TimerSource.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class BusyOverlay;
class InstallerLauncher;
class QNetworkReply;
class ServiceClient;

namespace UpdateRules {

// Whether candidate is a later version than current: both split at ".", parts
// compared as decimal numbers (a missing or non-numeric part is 0).
bool isNewerVersion(const QString &current, const QString &candidate);
// The wait before the next download after retryCount earlier retries:
// 3 s doubling up to 48 s, then 48 s for ever.
int retryDelayMs(int retryCount);
// The seconds a retry message shows for a delay (at least 1).
int retrySeconds(int delayMs);
// The installer comes over https only; plain http is accepted for loopback
// hosts (local trials and tests).
bool isAcceptableInstallerUrl(const QUrl &url);
// A version that can stand in the installer's file name: letters, digits,
// ".", "-", "_" and "+", not starting with ".".
bool isSafeVersionText(const QString &version);

} // namespace UpdateRules

class UpdateController : public QObject
{
    Q_OBJECT
public:
    static constexpr int kMaxRetryCount = 1000000;
    static constexpr int kInstallDelayMs = 2000;
    static constexpr int kStartDelayMs = 1000;

    UpdateController(ServiceClient *client, InstallerLauncher *launcher, TimerSource timers = systemTimers(),
                     QObject *parent = nullptr);
    ~UpdateController() override;

    // Collaborators handed in after construction: the window's busy overlay
    // (none: nothing is shown), the sign-in that waits for the check, what a
    // started installer does to the client (default: QCoreApplication::quit),
    // and the version gate, which takes over a check's end while the version
    // is blocked (it returns true when it did).
    void setOverlay(BusyOverlay *overlay) { m_overlay = overlay; }
    void setResumeCallback(std::function<void()> resume) { m_resume = std::move(resume); }
    void setQuitCallback(std::function<void()> quit) { m_quit = std::move(quit); }
    void setBlockedHandler(std::function<bool()> handler) { m_blockedHandler = std::move(handler); }
    void setTimerSource(TimerSource timers) { m_timers = std::move(timers); }
    void setLauncher(InstallerLauncher *launcher) { m_launcher = launcher; }
    // The folder the private installer folder is made in (default QDir::tempPath()).
    void setTempBase(const QString &folder) { m_tempBase = folder; }

    // State.
    bool updateCheckRunning() const { return m_updateCheckRunning; }
    void setUpdateCheckRunning(bool running) { m_updateCheckRunning = running; }
    bool updateRequired() const { return m_updateRequired; }
    void setUpdateRequired(bool required) { m_updateRequired = required; }
    QString updateUrl() const { return m_updateUrl; }
    QString updateVersion() const { return m_updateVersion; }
    QString installerPath() const { return m_installerPath; }
    int updateRetryCount() const { return m_updateRetryCount; }
    QNetworkReply *updateReply() const { return m_updateReply; }
    // Takes a running download as the current one (the next download or an
    // abandon drops it).
    void keepUpdateReply(QNetworkReply *reply) { m_updateReply = reply; }
    // The private folder the installer goes into, once one was made.
    QString installerFolder() const { return m_folder; }

    // The flow.
    void checkForAppUpdate();
    void onUpdateCheckReply(const ServiceApi::Reply &reply);
    void downloadUpdate(const QString &url, const QString &version);
    void onUpdateDownloadProgress(qint64 received, qint64 total);
    void showRetryCountdown(const QString &reason);
    void onRetryCountdownFinished(const QString &failedUrl, const QString &failedVersion);
    void retryUpdateDownload();
    void installUpdate(const QString &path);
    void startInstaller(const QString &path);

    // The window is closing: the flags are cleared, a running download is
    // taken out, aborted and released without a report, and steps already
    // scheduled do nothing.
    void abandon();

private:
    void resumeAfterCheck();
    void onUpdateDownloaded(QNetworkReply *reply, const ServiceApi::Reply &result);
    void dropDownload();
    int takeRetryDelay();
    // Runs fn after ms unless the flow was abandoned in between.
    void later(int ms, std::function<void()> fn);
    QString ensurePrivateFolder();
    bool saveInstaller(const QByteArray &bytes);
    void showMessage(const QString &title);
    QString progressTitle() const;

    ServiceClient *m_client;
    InstallerLauncher *m_launcher;
    TimerSource m_timers;
    BusyOverlay *m_overlay = nullptr;
    std::function<void()> m_resume;
    std::function<void()> m_quit;
    std::function<bool()> m_blockedHandler;
    QString m_tempBase;
    QString m_folder;
    bool m_installerStarted = false;

    bool m_updateCheckRunning = false;
    bool m_updateRequired = false;
    QString m_updateUrl;
    QString m_updateVersion;
    QString m_installerPath;
    QPointer<QNetworkReply> m_updateReply;
    int m_updateRetryCount = 0;
    int m_generation = 0; // raised by abandon(); scheduled steps of an older one do nothing
};
