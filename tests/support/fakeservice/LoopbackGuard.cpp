#include "support/fakeservice/LoopbackGuard.h"

#include "services/NetworkAccess.h"
#include "support/TestNet.h"

#include <QMutex>
#include <QNetworkAccessManager>
#include <QNetworkRequest>

namespace {

QMutex g_mutex;
QList<QUrl> g_violations;
QList<QUrl> g_seen;
bool g_installed = false;

class GuardedManager : public QNetworkAccessManager
{
public:
    using QNetworkAccessManager::QNetworkAccessManager;

protected:
    QNetworkReply *createRequest(Operation op, const QNetworkRequest &request, QIODevice *data) override
    {
        const QUrl url = request.url();
        const bool offLoopback = !url.host().isEmpty() && !TestNet::isLoopbackUrl(url);
        {
            QMutexLocker lock(&g_mutex);
            g_seen.append(url);
            if (offLoopback)
                g_violations.append(url);
        }
        if (!offLoopback)
            return QNetworkAccessManager::createRequest(op, request, data);
        QNetworkRequest blocked(request);
        blocked.setUrl(QUrl(QStringLiteral("http://127.0.0.1:9/blocked-off-loopback")));
        return QNetworkAccessManager::createRequest(op, blocked, data);
    }
};

} // namespace

namespace LoopbackGuard {

void install()
{
    NetworkAccess::setFactory([](QObject *parent) { return new GuardedManager(parent); });
    QMutexLocker lock(&g_mutex);
    g_installed = true;
}

void uninstall()
{
    NetworkAccess::setFactory({});
    QMutexLocker lock(&g_mutex);
    g_installed = false;
}

bool isInstalled()
{
    QMutexLocker lock(&g_mutex);
    return g_installed;
}

QList<QUrl> violations()
{
    QMutexLocker lock(&g_mutex);
    return g_violations;
}

QList<QUrl> seen()
{
    QMutexLocker lock(&g_mutex);
    return g_seen;
}

void reset()
{
    QMutexLocker lock(&g_mutex);
    g_violations.clear();
    g_seen.clear();
}

} // namespace LoopbackGuard
