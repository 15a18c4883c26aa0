// fuzz-sources: services/DiscordCallback.cpp
// fuzz-pkg: Qt6Core
//
// The loopback listener's reading of whatever a browser (or anything else on
// this machine) sends it, fed in two reads like a request cut by the network.

#include "services/DiscordCallback.h"

#include <QRegularExpression>
#include <QUrl>

#include <algorithm>

#include <stdlib.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const QByteArray input(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    const qsizetype cut = input.isEmpty() ? 0 : qsizetype(data[0]) % (input.size() + 1);
    const QString state = QStringLiteral("st-1");

    const DiscordCallback::Result first = DiscordCallback::parse(input.left(cut), state);
    const DiscordCallback::Result whole = DiscordCallback::parse(input, state);
    // Over the cap is refused, whatever it holds.
    if ((input.size() > DiscordCallback::kMaxRequestBytes) !=
        (whole.status == DiscordCallback::Status::TooLarge))
        abort();
    // Nothing is decided before the request line has ended.
    if (whole.status == DiscordCallback::Status::Complete && !input.contains('\n'))
        abort();
    if (whole.status != DiscordCallback::Status::Complete && !whole.code.isEmpty())
        abort();
    // A code is handed over only when the attempt's state came back with it.
    if (!whole.code.isEmpty() && !QUrl::fromPercentEncoding(input).contains(QStringLiteral("state=st-1")))
        abort();
    // A code and state carried by a complete request line never change with
    // more bytes: a line cut between reads must not yield a cut-off code. (A
    // code found only further on is taken from what has arrived, by design.)
    static const QRegularExpression inLine(QStringLiteral("[?&]code=[^&\\s]+"));
    static const QRegularExpression stateInLine(QStringLiteral("[?&]state=st-1"));
    const qsizetype lineEnd = input.indexOf('\n');
    const QString line = QString::fromUtf8(input.left(std::max<qsizetype>(lineEnd, 0)));
    if (first.status == DiscordCallback::Status::Complete &&
        whole.status == DiscordCallback::Status::Complete && lineEnd >= 0 && inLine.match(line).hasMatch() &&
        stateInLine.match(line).hasMatch() && first.code != whole.code)
        abort();
    return 0;
}
