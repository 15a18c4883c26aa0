#pragma once
// The start of every window test against the fake service: the client's
// names for its stores, a fresh cache database, the fake listening and every
// origin pointed at it, and only loopback allowed.

#include "services/ServiceConfig.h"
#include "storage/DatabaseManager.h"
#include "support/fakeservice/FakeService.h"
#include "support/fakeservice/LoopbackGuard.h"

#include <QCoreApplication>
#include <QDir>

namespace WindowAgainstFake {

// False when the database or the fake could not be set up.
inline bool start(FakeService &service)
{
    QCoreApplication::setOrganizationName(QStringLiteral("Quorlix"));
    QCoreApplication::setApplicationName(QStringLiteral("Quorlix"));
    const QString folder = qEnvironmentVariable("QUORLIX_TEST_TMP") + QStringLiteral("/db");
    QDir().mkpath(folder);
    if (!DatabaseManager::instance()->initialize(folder) || !service.listen())
        return false;
    ServiceConfig::setInstance(ServiceConfig(service.origin(), service.origin(), service.origin()));
    LoopbackGuard::install();
    return true;
}

} // namespace WindowAgainstFake
