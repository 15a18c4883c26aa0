#pragma once
// The start of every window test against the fake service: the client's
// names for its stores, a fresh cache database, the fake listening and every
// origin pointed at it, and only loopback allowed.

#include "services/ServiceClient.h"
#include "services/ServiceConfig.h"
#include "storage/DatabaseManager.h"
#include "support/WindowFixture.h"
#include "support/fakeservice/FakeService.h"
#include "support/fakeservice/LoopbackGuard.h"

#include <QCoreApplication>
#include <QDir>
#include <QNetworkAccessManager>
#include <QNetworkReply>

#include <algorithm>

namespace WindowAgainstFake {

// The names, the database and every origin pointed at a fake already
// listening there (on a thread of its own, say). False when the database
// could not be set up.
inline bool startAt(const QUrl &origin)
{
    WindowFixture::useClientNames();
    if (!WindowFixture::openDatabase())
        return false;
    ServiceConfig::setInstance(ServiceConfig(origin, origin, origin));
    LoopbackGuard::install();
    return true;
}

// False when the database or the fake could not be set up.
inline bool start(FakeService &service)
{
    return service.listen() && startAt(service.origin());
}

// Whether every request the client has made was answered and handed to its
// handler. Once it holds, the fake has counted all of them: a request counted
// later was made later.
inline bool nothingInFlight(const ServiceClient *client)
{
    const QList<QNetworkReply *> replies = client->manager()->findChildren<QNetworkReply *>();
    return std::all_of(replies.cbegin(), replies.cend(),
                       [](const QNetworkReply *r) { return r->isFinished(); });
}

} // namespace WindowAgainstFake
