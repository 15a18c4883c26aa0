#pragma once
// Signing in: every request from the sign-in page (email and password, a
// Discord email, or the stored token) first waits for an update check, then
// goes to the service; a success is stored (or kept for this run), the
// account-dependent parts are told to refresh, the relay list is synchronised
// and the games list downloaded while the page shows the loading stages, and
// the page is hidden once its bar and the data are both done. Failures return
// to the form with a message.
//
// The controller drives the page through SignInView and asks the update flow
// through UpdateGate; both are set by the window. The account refresh, the
// usage event, the promotion refresh and the notification loader are signals.

#include "services/ServiceApi.h"

#include <QObject>
#include <QString>

#include <functional>

class AccountStore;
class ServerSync;
class ServiceClient;

// What the flow needs of the sign-in page.
class SignInView
{
public:
    virtual ~SignInView() = default;
    virtual void setFormEnabled(bool enabled) = 0;
    virtual void showLoginProgress() = 0;
    virtual void setLoginProgress(int percent, const QString &text) = 0;
    virtual void showLoginForm() = 0;
    virtual void showError(const QString &text) = 0;
    virtual void requestAutoLogin() = 0;
    // Over the whole window, raised and shown; or hidden.
    virtual void showPage() = 0;
    virtual void hidePage() = 0;
    // The page's bool properties "loginProgressDone" and "loginDataReady".
    virtual void setPageFlag(const char *name, bool value) = 0;
    virtual bool pageFlag(const char *name) const = 0;
    // The page's "bar reached 100 %" reaches onLoginProgressFinished, once
    // however often this is called.
    virtual void watchProgressFinished() = 0;
};

class SignInController : public QObject
{
    Q_OBJECT
public:
    static constexpr const char *kProgressDone = "loginProgressDone";
    static constexpr const char *kDataReady = "loginDataReady";

    // The update flow as the sign-in sees it.
    struct UpdateGate
    {
        std::function<bool()> checkRunning;
        std::function<bool()> updateRequired;
        std::function<void()> startCheck; // ends in resumeLoginAfterUpdateCheck unless an update is required
    };

    // configurationDelayMs: the pause between "Loading apps..." and the last stage.
    SignInController(ServiceClient *client, AccountStore *account, ServerSync *servers,
                     int configurationDelayMs, QObject *parent = nullptr);

    void setView(SignInView *view) { m_view = view; }
    void setUpdateGate(UpdateGate gate) { m_gate = std::move(gate); }

    bool autoSignInPending() const { return m_autoSignInPending; }
    bool signInPending() const { return m_signInPending; }
    QString pendingEmail() const { return m_pendingEmail; }

    // The page found a remembered sign-in: it waits, in the progress view,
    // for the start-up update check.
    void prepareRememberedSignIn();

public slots:
    void onLoginRequested(const QString &email, const QString &password);
    void resumeLoginAfterUpdateCheck();
    // Both empty: with the stored token; an empty password: the Discord email.
    void login(const QString &email, const QString &password);

    void onLoginReply(const ServiceApi::Reply &reply, bool discord);
    void onAutoLoginReply(const ServiceApi::Reply &reply);
    void downloadGamesAfterLogin(bool ignored = true);
    void downloadGamesAfterAutoLogin(bool ignored = true);
    void showGamesDownloadProgress(qint64 received, qint64 total);
    void onLoginGamesDownloaded();
    void onAutoLoginGamesDownloaded();
    void onLoginConfigurationLoaded();
    void markLoginDataReady(bool ignored = true);
    void onLoginProgressFinished();
    void finishLoginIfReady();

signals:
    // After every successful sign-in, in this order; notificationsNeeded
    // follows from the event loop.
    void accountRefreshNeeded();
    void eventToTrack(const QString &eventName);
    void promotionRefreshNeeded();
    void notificationsNeeded();

private:
    void showStage(int percent, const QString &text);
    void backToForm(const QString &error);
    void afterSignIn();
    void loadAfterSignIn(bool downloadGames);
    void syncServersThen(std::function<void(bool ok)> completion);
    void dropPendingRequest();

    ServiceClient *m_client;
    AccountStore *m_account;
    ServerSync *m_servers;
    int m_configurationDelayMs;
    SignInView *m_view = nullptr;
    UpdateGate m_gate;

    bool m_autoSignInPending = false;
    bool m_signInPending = false;
    // Only while the request waits for the update check; wiped once sent.
    QString m_pendingEmail;
    QString m_pendingPassword;
};
