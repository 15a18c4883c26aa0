#pragma once
// The test network rule: a test talks to 127.0.0.0/8 and ::1 only (or to a
// network namespace it made itself). Every fake and every test that builds a
// URL or address passes it through these checks first.

#include <QHostAddress>
#include <QString>
#include <QUrl>

namespace TestNet {

// True for 127.0.0.0/8, ::1 and "localhost".
bool isLoopbackHost(const QString &host);
bool isLoopbackAddress(const QHostAddress &address);
bool isLoopbackUrl(const QUrl &url);

// Fails the running test (QFAIL-style, via QTest::qFail) and returns false when
// the URL or address leaves loopback.
bool requireLoopback(const QUrl &url, const char *file = __builtin_FILE(), int line = __builtin_LINE());
bool requireLoopback(const QHostAddress &address, const char *file = __builtin_FILE(),
                     int line = __builtin_LINE());

// The origins the isolated runner exports (QUORLIX_*_ORIGIN): all must be loopback.
bool environmentOriginsAreLoopback(QString *offender = nullptr);

} // namespace TestNet
