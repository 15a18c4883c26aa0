#pragma once
// Hostile answers for every endpoint of the web API, so that tests (and the
// development service, with --hostile) play what may answer in the
// service's place: a captive portal, a proxy, an attacker on the path. Each
// mode scripts every endpoint of a FakeService at once; the replies parse or
// fail the way the mode says, in the shape each endpoint's reply has.

#include "support/fakeservice/FakeService.h"

#include <QList>
#include <QString>
#include <QUrl>

namespace HostileModes {

enum class Mode {
    HugeField,    // the reply's shape, with one text far over any bound
    HugeBody,     // a body far over the body bound
    HugeArray,    // 100,000 entries where a list is read, a long array elsewhere
    DeepNesting,  // arrays nested deeper than any parser takes, and games nested deep
    WrongTypes,   // every member of another JSON type than the one read
    InvalidUtf8,  // texts with bytes that are no UTF-8
    Truncated,    // a good body cut half way, its whole length announced
    SlowDrip,     // a body sent a few bytes at a time
    Unauthorized, // 401 with an error body
    ServerError,  // 500 with an error body
    Redirect,     // 302 (307 for POST) to the same path on another host
};

// Sizes of the modes; tests keep them small enough to run fast.
struct Sizes
{
    qint64 hugeText = 2 * 1024 * 1024;  // HugeField's text
    qint64 hugeBody = 20 * 1024 * 1024; // HugeBody's body
    int hugeArray = 100000;             // HugeArray's entries
    int dripBytes = 4096;               // SlowDrip: body length, ...
    int dripChunk = 16;                 // ... bytes per chunk ...
    int dripIntervalMs = 20;            // ... and their spacing
};

QList<Mode> all();
QString name(Mode mode); // "huge-field", "huge-body", ...
bool fromName(const QString &text, Mode *mode);

// Every endpoint of the web API as (method, path).
QList<QPair<QByteArray, QString>> endpoints();

// Scripts every endpoint of `service` to answer in `mode`; Redirect sends
// each request to the same path and query on `elsewhere` (an origin).
void apply(FakeService &service, Mode mode, const Sizes &sizes = Sizes(), const QUrl &elsewhere = QUrl());

} // namespace HostileModes
