// The window's side of the update check, the required update and the version
// gate: the busy overlay they show on, the window buttons and the quit they
// reach, and the window's named operations as thin adapters.
#include "ui/mainwindow/MainWindow.h"

#include "services/BusyOverlay.h"
#include "services/SignInController.h"
#include "services/UpdateController.h"
#include "services/VersionGate.h"
#include "ui/mainwindow/AuthPageView.h"
#include "ui/widgets/ProxyStatusOverlay.h"

#include <QNetworkReply>
#include <QPointer>

namespace {

// Every display covers the whole window and comes to the front.
class WindowBusyOverlay : public BusyOverlay
{
public:
    WindowBusyOverlay(QWidget *window, ProxyStatusOverlay *overlay) : m_window(window), m_overlay(overlay) {}

    void showMessage(const QString &title) override
    {
        if (!bringUp())
            return;
        m_overlay->showMessage(title);
        m_overlay->raise();
    }
    void showProgress(const QString &title, int percent, qint64 receivedBytes, qint64 totalBytes) override
    {
        if (!bringUp())
            return;
        m_overlay->showProgress(title, percent, receivedBytes, totalBytes);
        m_overlay->raise();
    }

private:
    bool bringUp()
    {
        if (!m_window || !m_overlay)
            return false;
        m_overlay->setGeometry(m_window->rect());
        return true;
    }

    QPointer<QWidget> m_window;
    QPointer<ProxyStatusOverlay> m_overlay;
};

} // namespace

MainWindow::~MainWindow()
{
    // The page view goes with the window's members, before its children: the
    // sign-in must not reach it while they are taken down.
    if (m_services.signIn)
        m_services.signIn->setView(nullptr);
    // The services outlive this body (they are children); nothing they finish
    // from here on may reach the overlay or the window.
    if (m_services.updates) {
        m_services.updates->abandon();
        m_services.updates->setOverlay(nullptr);
        m_services.updates->setResumeCallback({});
        m_services.updates->setQuitCallback([] {});
    }
    if (m_services.versionGate) {
        m_services.versionGate->setOverlay(nullptr);
        m_services.versionGate->setWindowControlsCallback({});
        m_services.versionGate->setQuitCallback([] {});
    }
}

void MainWindow::wireUpdates()
{
    m_updateOverlay = std::make_unique<WindowBusyOverlay>(this, m_busyOverlay);
    if (UpdateController *updates = m_services.updates) {
        updates->setOverlay(m_updateOverlay.get());
        updates->setResumeCallback([this] { resumeLoginAfterUpdateCheck(); });
        updates->setQuitCallback([this] { quitNow(); });
    }
    if (VersionGate *gate = m_services.versionGate) {
        gate->setOverlay(m_updateOverlay.get());
        gate->setWindowControlsCallback([this](bool enabled) { setWindowControlsEnabled(enabled); });
        gate->setQuitCallback([this] { quitNow(); });
    }
}

void MainWindow::resumeLoginAfterUpdateCheck()
{
    setUpdateCheckRunning(false);
    if (m_services.signIn)
        m_services.signIn->resumeLoginAfterUpdateCheck();
}

void MainWindow::checkForAppUpdate()
{
    if (m_services.updates)
        m_services.updates->checkForAppUpdate();
}

void MainWindow::downloadUpdate(const QString &url, const QString &version)
{
    if (m_services.updates)
        m_services.updates->downloadUpdate(url, version);
}

void MainWindow::showRetryCountdown(const QString &reason)
{
    if (m_services.updates)
        m_services.updates->showRetryCountdown(reason);
}

void MainWindow::retryUpdateDownload()
{
    if (m_services.updates)
        m_services.updates->retryUpdateDownload();
}

void MainWindow::installUpdate(const QString &path)
{
    if (m_services.updates)
        m_services.updates->installUpdate(path);
}

void MainWindow::startInstaller(const QString &path)
{
    if (m_services.updates)
        m_services.updates->startInstaller(path);
}

void MainWindow::validateAppVersion()
{
    if (m_services.versionGate)
        m_services.versionGate->validateAppVersion();
}

void MainWindow::onVersionUnsupported()
{
    if (m_services.versionGate)
        m_services.versionGate->onVersionUnsupported();
}

void MainWindow::setVersionBlocked(bool blocked)
{
    if (m_services.versionGate)
        m_services.versionGate->setBlocked(blocked);
}

bool MainWindow::isVersionBlocked() const
{
    return m_services.versionGate && m_services.versionGate->isBlocked();
}

void MainWindow::setUpdateCheckRunning(bool running)
{
    if (m_services.updates)
        m_services.updates->setUpdateCheckRunning(running);
}

bool MainWindow::isUpdateCheckRunning() const
{
    return m_services.updates && m_services.updates->updateCheckRunning();
}

void MainWindow::setUpdateRequired(bool required)
{
    if (m_services.updates)
        m_services.updates->setUpdateRequired(required);
}

bool MainWindow::isUpdateRequired() const
{
    return m_services.updates && m_services.updates->updateRequired();
}

void MainWindow::keepUpdateDownload(QNetworkReply *reply)
{
    if (m_services.updates)
        m_services.updates->keepUpdateReply(reply);
}

QNetworkReply *MainWindow::updateDownload() const
{
    return m_services.updates ? m_services.updates->updateReply() : nullptr;
}
