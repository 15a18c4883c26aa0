#include "services/SignInController.h"

#include "services/AccountStore.h"
#include "services/ServerSync.h"
#include "services/ServiceClient.h"
#include "services/SignInRules.h"

#include <QCoreApplication>
#include <QDebug>
#include <QJsonObject>
#include <QPointer>
#include <QTimer>

namespace {

// The progress texts belong to the window's translation context.
QString text(const char *source)
{
    return QCoreApplication::translate("MainWindow", source);
}

void wipe(QString &secret)
{
    secret.fill(QChar(u'\0'));
    secret.clear();
}

} // namespace

SignInController::SignInController(ServiceClient *client, AccountStore *account, ServerSync *servers,
                                   int configurationDelayMs, QObject *parent)
    : QObject(parent), m_client(client), m_account(account), m_servers(servers),
      m_configurationDelayMs(configurationDelayMs)
{}

void SignInController::showStage(int percent, const QString &stageText)
{
    if (m_view)
        m_view->setLoginProgress(percent, stageText);
}

void SignInController::backToForm(const QString &error)
{
    if (!m_view)
        return;
    m_view->showLoginForm();
    m_view->setFormEnabled(true);
    m_view->showPage();
    if (!error.isEmpty())
        m_view->showError(error);
}

void SignInController::prepareRememberedSignIn()
{
    m_autoSignInPending = true;
    if (!m_view)
        return;
    m_view->setFormEnabled(false);
    m_view->showLoginProgress();
    showStage(5, text("Checking for update ..."));
}

void SignInController::onLoginRequested(const QString &email, const QString &password)
{
    m_signInPending = true;
    m_pendingEmail = email;
    m_pendingPassword = password;
    if (m_view) {
        m_view->setFormEnabled(false);
        m_view->showLoginProgress();
        showStage(5, text("Checking for update ..."));
    }
    // A running check ends in resumeLoginAfterUpdateCheck; while an update is
    // required the request waits.
    const bool running = m_gate.checkRunning && m_gate.checkRunning();
    const bool required = m_gate.updateRequired && m_gate.updateRequired();
    if (running || required)
        return;
    if (m_gate.startCheck)
        m_gate.startCheck();
    else
        resumeLoginAfterUpdateCheck();
}

void SignInController::dropPendingRequest()
{
    m_signInPending = false;
    m_pendingEmail.clear();
    wipe(m_pendingPassword);
}

void SignInController::resumeLoginAfterUpdateCheck()
{
    if (m_gate.updateRequired && m_gate.updateRequired())
        return;
    if (m_signInPending) {
        const QString email = m_pendingEmail;
        QString password = m_pendingPassword;
        dropPendingRequest();
        login(email, password);
        wipe(password);
    } else if (m_autoSignInPending && m_view) {
        m_autoSignInPending = false;
        m_view->requestAutoLogin();
    } else if (m_view) {
        m_view->setFormEnabled(true);
    }
}

void SignInController::login(const QString &email, const QString &password)
{
    if (m_view) {
        m_view->setPageFlag(kProgressDone, false);
        m_view->setPageFlag(kDataReady, false);
    }
    showStage(10, text("Logging in ..."));

    QPointer<SignInController> self(this);
    if (email.isEmpty() && password.isEmpty()) {
        const QString token = m_account ? m_account->storedToken() : QString();
        if (token.isEmpty()) {
            backToForm(QString());
            return;
        }
        if (m_view) {
            m_view->setPageFlag(kProgressDone, false);
            m_view->setPageFlag(kDataReady, false);
            m_view->watchProgressFinished();
        }
        m_client->sendAlone(ServiceApi::Endpoint::ValidateToken, token,
                            [self](const ServiceApi::Reply &reply) {
                                if (self)
                                    self->onAutoLoginReply(reply);
                            });
        return;
    }

    const bool discord = password.isEmpty();
    QJsonObject body{{QStringLiteral("email"), email}};
    if (!discord) {
        body.insert(QStringLiteral("password"), password);
        body.insert(QStringLiteral("remember"), true);
    }
    const ServiceApi::Endpoint endpoint =
        discord ? ServiceApi::Endpoint::DiscordLogin : ServiceApi::Endpoint::UserLogin;
    m_client->sendAlone(
        endpoint, QString(),
        [self, discord](const ServiceApi::Reply &reply) {
            if (self)
                self->onLoginReply(reply, discord);
        },
        body);
}

void SignInController::onLoginReply(const ServiceApi::Reply &reply, bool discord)
{
    if (!reply.ok()) {
        if (m_account)
            m_account->forgetSignIn();
        backToForm(SignInRules::loginFailureMessage(reply.httpStatus, reply.error, discord));
        return;
    }
    const QJsonObject object = reply.object();
    if (object.value(QStringLiteral("success")) != QJsonValue(true)) {
        backToForm(QStringLiteral("Login failed."));
        return;
    }

    const AccountStore::Account account = AccountStore::Account::fromReply(object);
    QString email;
    if (m_account) {
        if (m_account->remember()) {
            m_account->storeSignIn(account);
            if (!account.sessionId.isEmpty())
                qInfo().noquote() << "[Login] Session ID saved:"
                                  << SignInRules::maskedSessionId(account.sessionId);
        } else {
            m_account->keepForThisRun(account);
        }
        email = m_account->authEmail();
    }
    if (!account.email.isEmpty())
        email = account.email;

    afterSignIn();
    if (m_view) {
        m_view->setPageFlag(kProgressDone, false);
        m_view->setPageFlag(kDataReady, false);
        m_view->watchProgressFinished();
    }
    loadAfterSignIn(!email.isEmpty());
}

void SignInController::onAutoLoginReply(const ServiceApi::Reply &reply)
{
    const bool refused = reply.ok() && reply.object().value(QStringLiteral("success")) == QJsonValue(false);
    if (!reply.ok() || refused) {
        qWarning().noquote() << "[AutoLogin] Failed to validate token http=" << reply.httpStatus
                             << "err=" << SignInRules::errorName(reply.error);
        if (!refused && SignInRules::autoLoginFailureForgetsSignIn(reply.httpStatus) && m_account)
            m_account->forgetSignIn();
        backToForm(refused ? QStringLiteral("Auto login failed.")
                           : SignInRules::autoLoginFailureMessage(reply.error));
        return;
    }

    const AccountStore::Account account = AccountStore::Account::fromReply(reply.object());
    if (m_account) {
        m_account->storeValidation(account);
        if (!account.sessionId.isEmpty())
            qInfo().noquote() << "[AutoLogin] Session ID saved:"
                              << SignInRules::maskedSessionId(account.sessionId);
    }
    afterSignIn();
    qInfo().noquote() << "[AutoLogin] User info saved:"
                      << (m_account ? m_account->userEmail() : account.email);
    loadAfterSignIn(true);
}

void SignInController::afterSignIn()
{
    emit accountRefreshNeeded();
    emit eventToTrack(QStringLiteral("app_open"));
    emit promotionRefreshNeeded();
    QTimer::singleShot(0, this, [this] { emit notificationsNeeded(); });
}

void SignInController::loadAfterSignIn(bool downloadGames)
{
    showStage(35, text("Authentication ..."));
    showStage(55, text("Loading magic routes .."));
    QPointer<SignInController> self(this);
    syncServersThen([self, downloadGames](bool) {
        if (!self)
            return;
        if (downloadGames)
            self->downloadGamesAfterLogin(true);
        else
            self->markLoginDataReady(true);
    });
}

void SignInController::syncServersThen(std::function<void(bool ok)> completion)
{
    if (m_servers)
        m_servers->syncServers(std::move(completion));
    else
        completion(false);
}

void SignInController::downloadGamesAfterLogin(bool)
{
    showStage(70, text("Checking required downloads…"));
    QPointer<SignInController> self(this);
    // Only the progress matters here; the catalogue loads the list itself.
    QNetworkReply *reply = m_client->send(ServiceApi::Endpoint::Games, [self](const ServiceApi::Reply &) {
        if (self)
            self->onLoginGamesDownloaded();
    });
    if (!reply) {
        onLoginGamesDownloaded();
        return;
    }
    connect(reply, &QNetworkReply::downloadProgress, this, &SignInController::showGamesDownloadProgress);
}

void SignInController::downloadGamesAfterAutoLogin(bool ignored)
{
    downloadGamesAfterLogin(ignored);
}

void SignInController::showGamesDownloadProgress(qint64 received, qint64 total)
{
    const SignInRules::Stage stage = SignInRules::gamesDownloadStage(received, total);
    showStage(stage.percent, stage.text);
}

void SignInController::onLoginGamesDownloaded()
{
    showStage(95, text("Loading apps..."));
    QTimer::singleShot(m_configurationDelayMs, this, &SignInController::onLoginConfigurationLoaded);
}

void SignInController::onAutoLoginGamesDownloaded()
{
    onLoginGamesDownloaded();
}

void SignInController::onLoginConfigurationLoaded()
{
    showStage(100, text("Loading configuration ..."));
    if (m_view)
        m_view->setPageFlag(kDataReady, true);
    finishLoginIfReady();
}

void SignInController::markLoginDataReady(bool)
{
    showStage(95, text("Loading apps..."));
    onLoginConfigurationLoaded();
}

void SignInController::onLoginProgressFinished()
{
    if (m_view)
        m_view->setPageFlag(kProgressDone, true);
    finishLoginIfReady();
}

void SignInController::finishLoginIfReady()
{
    if (m_view && m_view->pageFlag(kProgressDone) && m_view->pageFlag(kDataReady))
        m_view->hidePage();
}
