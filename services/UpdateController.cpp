#include "services/UpdateController.h"

#include "platform/InstallerLauncher.h"
#include "services/BusyOverlay.h"
#include "services/ServiceClient.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonObject>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTemporaryDir>

#include <memory>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

namespace UpdateRules {

bool isNewerVersion(const QString &current, const QString &candidate)
{
    const QStringList mine = current.split(QLatin1Char('.'));
    const QStringList theirs = candidate.split(QLatin1Char('.'));
    const int parts = std::max(mine.size(), theirs.size());
    for (int i = 0; i < parts; ++i) {
        const qlonglong a = i < mine.size() ? mine.at(i).toLongLong() : 0;
        const qlonglong b = i < theirs.size() ? theirs.at(i).toLongLong() : 0;
        if (a != b)
            return a < b;
    }
    return false;
}

int retryDelayMs(int retryCount)
{
    const int n = std::clamp(retryCount, 0, 10);
    return std::min(3000 * (1 << std::min(n, 4)), 60000);
}

int retrySeconds(int delayMs)
{
    return std::max(1, delayMs / 1000);
}

bool isAcceptableInstallerUrl(const QUrl &url)
{
    if (!url.isValid() || url.host().isEmpty())
        return false;
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("https"))
        return true;
    if (scheme != QLatin1String("http"))
        return false;
    const QString host = url.host().toLower();
    return host == QLatin1String("localhost") || QHostAddress(host).isLoopback();
}

bool isSafeVersionText(const QString &version)
{
    static const QRegularExpression allowed(QStringLiteral("^[A-Za-z0-9_+-][A-Za-z0-9._+-]{0,63}$"));
    return allowed.match(version).hasMatch();
}

} // namespace UpdateRules

namespace {

const char kLogTag[] = "[Update]";

// A folder only this user can enter, that is no link to somewhere else.
bool isPrivateFolder(const QString &path)
{
    const QFileInfo info(path);
    if (path.isEmpty() || info.isSymLink() || !info.isDir())
        return false;
#ifndef Q_OS_WIN
    if (info.ownerId() != ::getuid())
        return false;
    const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                      QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
    if (info.permissions() & others)
        return false;
#endif
    return true;
}

} // namespace

UpdateController::UpdateController(ServiceClient *client, InstallerLauncher *launcher, TimerSource timers,
                                   QObject *parent)
    : QObject(parent), m_client(client), m_launcher(launcher), m_timers(std::move(timers))
{}

UpdateController::~UpdateController()
{
    // An installer that never started is of no use to anyone.
    if (!m_installerStarted && isPrivateFolder(m_folder))
        QDir(m_folder).removeRecursively();
}

void UpdateController::checkForAppUpdate()
{
    m_updateCheckRunning = true;
    if (!m_client) {
        resumeAfterCheck();
        return;
    }
    QPointer<UpdateController> self(this);
    const int generation = m_generation;
    m_client->send(ServiceApi::Endpoint::AppUpdates, [self, generation](const ServiceApi::Reply &reply) {
        // A check that ends after the window began closing changes nothing.
        if (self && self->m_generation == generation)
            self->onUpdateCheckReply(reply);
    });
}

void UpdateController::onUpdateCheckReply(const ServiceApi::Reply &reply)
{
    if (!reply.ok() || reply.httpStatus < 200 || reply.httpStatus > 299) {
        resumeAfterCheck();
        return;
    }
    const QJsonObject root = reply.object();
    if (root.value(QStringLiteral("success")) != QJsonValue(true)) {
        resumeAfterCheck();
        return;
    }
    const QJsonValue data = root.value(QStringLiteral("data"));
    QJsonObject release;
    if (data.isArray()) {
        const QJsonArray list = data.toArray();
        if (list.isEmpty()) {
            resumeAfterCheck();
            return;
        }
        release = list.first().toObject();
    } else if (data.isObject()) {
        release = data.toObject();
    } else {
        resumeAfterCheck();
        return;
    }

    const QString version = release.value(QStringLiteral("version")).toString();
    const QString url = release.value(QStringLiteral("download_url")).toString();
    // A JSON true is not 1: only the number marks a release as required.
    const int required = release.value(QStringLiteral("is_required")).toInt();
    if (version.isEmpty() || url.isEmpty() || url == QLatin1String("#")) {
        resumeAfterCheck();
        return;
    }
    if (!UpdateRules::isNewerVersion(QLatin1String(ServiceApi::kAppVersion), version) || required != 1) {
        resumeAfterCheck();
        return;
    }
    // The installer is run as it arrives, so it must come over a channel that
    // cannot be tampered with, and its version must make a plain file name.
    if (!UpdateRules::isAcceptableInstallerUrl(QUrl(url))) {
        qWarning().noquote() << kLogTag << "required update ignored: installer address is not https:" << url;
        resumeAfterCheck();
        return;
    }
    if (!UpdateRules::isSafeVersionText(version)) {
        qWarning().noquote() << kLogTag << "required update ignored: unusable version text:" << version;
        resumeAfterCheck();
        return;
    }

    m_updateCheckRunning = false;
    m_updateRequired = true;
    m_updateRetryCount = 0;
    downloadUpdate(url, version);
}

void UpdateController::resumeAfterCheck()
{
    m_updateCheckRunning = false;
    if (m_blockedHandler && m_blockedHandler())
        return;
    if (m_resume)
        m_resume();
}

void UpdateController::dropDownload()
{
    // Taken out first: the abort finishes the reply at once, and its handler
    // must not take that for a failed download.
    QNetworkReply *reply = m_updateReply;
    m_updateReply = nullptr;
    if (!reply)
        return;
    ServiceApi::abortOnPurpose(reply);
    reply->deleteLater();
}

void UpdateController::downloadUpdate(const QString &url, const QString &version)
{
    m_updateUrl = url;
    m_updateVersion = version;
    dropDownload();
    if (!m_client)
        return;

    const QString folder = ensurePrivateFolder();
    m_installerPath =
        folder.isEmpty() ? QString()
                         : QDir(folder).absoluteFilePath(QStringLiteral("Quorlix-Setup-%1.exe").arg(version));
    if (!m_installerPath.isEmpty())
        QFile::remove(m_installerPath);

    QNetworkRequest request{QUrl(url)};
    request.setRawHeader("User-Agent", "Quorlix-Updater/1.0");
    auto sent = std::make_shared<QNetworkReply *>(nullptr);
    QPointer<UpdateController> self(this);
    QNetworkReply *reply = m_client->download(request, [self, sent](const ServiceApi::Reply &result) {
        if (self)
            self->onUpdateDownloaded(*sent, result);
    });
    *sent = reply;
    m_updateReply = reply;

    if (m_overlay)
        m_overlay->showProgress(progressTitle(), 0, 0, 0);
    connect(reply, &QNetworkReply::downloadProgress, this, [this, reply](qint64 received, qint64 total) {
        if (reply == m_updateReply)
            onUpdateDownloadProgress(received, total);
    });
}

QString UpdateController::progressTitle() const
{
    return QStringLiteral("Downloading update %1...").arg(m_updateVersion);
}

void UpdateController::onUpdateDownloadProgress(qint64 received, qint64 total)
{
    const int percent = total >= 1 ? int(received * 100 / total) : 0;
    if (m_overlay)
        m_overlay->showProgress(progressTitle(), percent, received, total);
}

void UpdateController::onUpdateDownloaded(QNetworkReply *reply, const ServiceApi::Reply &result)
{
    // A download that was replaced or abandoned is not reported.
    if (!m_updateReply || reply != m_updateReply)
        return;
    m_updateReply = nullptr;

    const bool whole = result.ok() && !result.body.isEmpty() &&
                       (result.contentLength < 0 || result.contentLength == result.body.size());
    if (!whole) {
        if (result.ok())
            qWarning().noquote() << kLogTag << "installer download incomplete:" << result.body.size() << "of"
                                 << result.contentLength << "bytes";
        showRetryCountdown(QStringLiteral("Update download failed"));
        return;
    }
    if (!saveInstaller(result.body)) {
        showRetryCountdown(QStringLiteral("Failed to save update"));
        return;
    }
    showMessage(QStringLiteral("Download complete! Installing..."));
    const QString path = m_installerPath;
    later(kInstallDelayMs, [this, path] { installUpdate(path); });
}

QString UpdateController::ensurePrivateFolder()
{
    if (isPrivateFolder(m_folder))
        return m_folder;
    if (!m_folder.isEmpty())
        qWarning().noquote() << kLogTag
                             << "installer folder is no longer private, making another:" << m_folder;
    m_folder.clear();
    const QString base = m_tempBase.isEmpty() ? QDir::tempPath() : m_tempBase;
    QTemporaryDir dir(base + QStringLiteral("/Quorlix-Update-XXXXXX"));
    if (!dir.isValid()) {
        qWarning().noquote() << kLogTag << "cannot make the installer folder in" << base << ":"
                             << dir.errorString();
        return QString();
    }
    dir.setAutoRemove(false);
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (!isPrivateFolder(dir.path())) {
        QDir(dir.path()).removeRecursively();
        return QString();
    }
    m_folder = dir.path();
    return m_folder;
}

bool UpdateController::saveInstaller(const QByteArray &bytes)
{
    const QString folder = ensurePrivateFolder();
    if (folder.isEmpty())
        return false;
    // The folder may have been made again since the download began.
    m_installerPath =
        QDir(folder).absoluteFilePath(QStringLiteral("Quorlix-Setup-%1.exe").arg(m_updateVersion));
    QSaveFile file(m_installerPath);
    if (!file.open(QIODevice::WriteOnly)) {
        qWarning().noquote() << kLogTag << "cannot write the installer:" << file.errorString();
        return false;
    }
    if (file.write(bytes) != bytes.size()) {
        qWarning().noquote() << kLogTag << "installer write failed:" << file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        qWarning().noquote() << kLogTag << "installer could not be completed:" << file.errorString();
        return false;
    }
    return true;
}

int UpdateController::takeRetryDelay()
{
    const int delay = UpdateRules::retryDelayMs(m_updateRetryCount);
    m_updateRetryCount = std::min(m_updateRetryCount + 1, kMaxRetryCount);
    return delay;
}

void UpdateController::showRetryCountdown(const QString &reason)
{
    m_updateRequired = true;
    const int delay = takeRetryDelay();
    showMessage(QStringLiteral("%1. Retrying in %2s...").arg(reason).arg(UpdateRules::retrySeconds(delay)));
    const QString url = m_updateUrl;
    const QString version = m_updateVersion;
    later(delay, [this, url, version] { onRetryCountdownFinished(url, version); });
}

void UpdateController::onRetryCountdownFinished(const QString &failedUrl, const QString &failedVersion)
{
    if (!m_updateRequired)
        return;
    const QString url = m_updateUrl.isEmpty() ? failedUrl : m_updateUrl;
    const QString version = m_updateVersion.isEmpty() ? failedVersion : m_updateVersion;
    if (!url.isEmpty() && !version.isEmpty())
        downloadUpdate(url, version);
}

void UpdateController::retryUpdateDownload()
{
    if (m_updateRequired)
        downloadUpdate(m_updateUrl, m_updateVersion);
}

void UpdateController::installUpdate(const QString &path)
{
    if (!path.isEmpty() && QFileInfo::exists(path)) {
        showMessage(QStringLiteral("Installing update..."));
        later(kStartDelayMs, [this, path] { startInstaller(path); });
        return;
    }
    if (!m_updateRequired || m_updateUrl.isEmpty() || m_updateVersion.isEmpty())
        return;
    const int delay = takeRetryDelay();
    showMessage(QStringLiteral("Installer not found. Retrying download in %1s...")
                    .arg(UpdateRules::retrySeconds(delay)));
    later(delay, [this] { retryUpdateDownload(); });
}

void UpdateController::startInstaller(const QString &path)
{
    if (m_launcher && m_launcher->start(path)) {
        m_installerStarted = true;
        if (m_quit)
            m_quit();
        else
            QCoreApplication::quit();
        return;
    }
    if (!m_updateRequired || m_updateUrl.isEmpty() || m_updateVersion.isEmpty())
        return;
    const int delay = takeRetryDelay();
    showMessage(QStringLiteral("Failed to start installer. Retrying download in %1s...")
                    .arg(UpdateRules::retrySeconds(delay)));
    later(delay, [this] { retryUpdateDownload(); });
}

void UpdateController::abandon()
{
    ++m_generation;
    m_updateCheckRunning = false;
    m_updateRequired = false;
    dropDownload();
}

void UpdateController::later(int ms, std::function<void()> fn)
{
    const int generation = m_generation;
    m_timers(ms, this, [this, generation, fn = std::move(fn)] {
        if (generation == m_generation)
            fn();
    });
}

void UpdateController::showMessage(const QString &title)
{
    if (m_overlay)
        m_overlay->showMessage(title);
}
