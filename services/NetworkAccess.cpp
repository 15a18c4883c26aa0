#include "services/NetworkAccess.h"

#include <QMutex>

namespace NetworkAccess {

namespace {
QMutex g_mutex;
Factory g_factory;
} // namespace

QNetworkAccessManager *createManager(QObject *parent)
{
    Factory factory;
    {
        QMutexLocker lock(&g_mutex);
        factory = g_factory;
    }
    if (factory) {
        if (QNetworkAccessManager *manager = factory(parent))
            return manager;
    }
    return new QNetworkAccessManager(parent);
}

void setFactory(Factory factory)
{
    QMutexLocker lock(&g_mutex);
    g_factory = std::move(factory);
}

} // namespace NetworkAccess
