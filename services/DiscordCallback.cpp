#include "services/DiscordCallback.h"

#include <QRegularExpression>
#include <QUrl>
#include <QUrlQuery>

namespace DiscordCallback {

namespace {

// The first capture of "[?&]<key>=(...)" in `text`, percent-decoded; `found`
// tells a missing item from an empty one.
QString searchItem(const QString &text, const QString &key, bool *found)
{
    const QRegularExpression pattern(QStringLiteral("[?&]") + key + QStringLiteral("=([^&\\s]+)"));
    const QRegularExpressionMatch match = pattern.match(text);
    *found = match.hasMatch();
    return *found ? QUrl::fromPercentEncoding(match.captured(1).toUtf8()) : QString();
}

} // namespace

Result parse(const QByteArray &received, const QString &expectedState)
{
    Result result;
    if (received.size() > kMaxRequestBytes) {
        result.status = Status::TooLarge;
        return result;
    }
    // A request line cut between two reads must never yield a cut-off code.
    const qsizetype lineEnd = received.indexOf('\n');
    if (lineEnd < 0)
        return result;
    result.status = Status::Complete;

    QString code;
    QString state;
    bool hasState = false;
    const QList<QByteArray> pieces = received.left(lineEnd).trimmed().split(' ');
    if (pieces.size() >= 2) {
        const QUrl target(QStringLiteral("http://127.0.0.1") + QString::fromUtf8(pieces.at(1)));
        const QUrlQuery query(target);
        code = query.queryItemValue(QStringLiteral("code"), QUrl::FullyDecoded);
        hasState = query.hasQueryItem(QStringLiteral("state"));
        state = query.queryItemValue(QStringLiteral("state"), QUrl::FullyDecoded);
    }
    if (code.isEmpty()) {
        const QString text = QString::fromUtf8(received);
        bool found = false;
        code = searchItem(text, QStringLiteral("code"), &found);
        if (!hasState)
            state = searchItem(text, QStringLiteral("state"), &hasState);
    }
    // The state answers for the attempt: a code sent back with another one,
    // or with none, may have been planted by some other page (a forged
    // sign-in) and is not ours to exchange.
    if (!hasState || expectedState.isEmpty() || state != expectedState)
        code.clear();
    result.code = code;
    return result;
}

} // namespace DiscordCallback
