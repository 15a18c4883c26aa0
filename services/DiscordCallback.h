#pragma once
// Reads what a browser sends to the loopback listener of the Discord sign-in:
// the code (and state) it carries back from the provider. Plain Qt Core, so the
// fuzz target can take it on its own.

#include <QByteArray>
#include <QString>

namespace DiscordCallback {

// More than this many bytes without an answer and the request is refused.
constexpr int kMaxRequestBytes = 8192;

enum class Status {
    Incomplete, // the request line has not ended yet: wait for more bytes
    TooLarge,   // over the cap: answer 400 and end as without a code
    Complete,   // answer the browser; `code` is empty when none was found
};

struct Result
{
    Status status = Status::Incomplete;
    QString code;
};

// `received` is every byte of the connection so far. The code comes from the
// request target's query item "code", failing that from "code=" anywhere in
// the bytes received. A code without a returned "state" equal to
// `expectedState` counts as no code.
Result parse(const QByteArray &received, const QString &expectedState);

} // namespace DiscordCallback
