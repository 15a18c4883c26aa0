#pragma once
// Shared pieces of the service tests: a client aimed at a fake service, and a
// wait for a handler that counts how often it ran.

#include "services/ServiceClient.h"
#include "support/fakeservice/FakeService.h"

#include <QString>

namespace ServiceTest {

// A configuration whose three origins are the fake's.
ServiceConfig configFor(const FakeService &fake);
// A client of the fake with fixed credentials and, for tests of stalls, a short inactivity time-out.
ServiceClient *clientFor(const FakeService &fake, QObject *parent,
                         const QString &token = QStringLiteral("tok-1"),
                         const QString &deviceId = QStringLiteral("device-0123456789abcdef"));

} // namespace ServiceTest
