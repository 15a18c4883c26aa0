// fuzz-sources: services/DiscordCallback.cpp
// fuzz-pkg: Qt6Core
//
// The loopback listener's reading of whatever a browser (or anything else on
// this machine) sends it, fed in two reads like a request cut by the network.

#include "services/DiscordCallback.h"

#include <QRegularExpression>

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
    // A code carried by a complete request line never changes with more
    // bytes: a line cut between reads must not yield a cut-off code. (A code
    // found only further on is taken from what has arrived, by design.)
    static const QRegularExpression inLine(QStringLiteral("[?&]code=[^&\\s]+"));
    const qsizetype lineEnd = input.indexOf('\n');
    if (first.status == DiscordCallback::Status::Complete &&
        whole.status == DiscordCallback::Status::Complete && !input.contains("state=") && lineEnd >= 0 &&
        inLine.match(QString::fromUtf8(input.left(lineEnd))).hasMatch() && first.code != whole.code)
        abort();
    return 0;
}
