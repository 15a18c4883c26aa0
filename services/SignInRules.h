#pragma once
// The sign-in flow's decisions, apart from the requests: which message a
// failed sign-in shows, whether a refused validation forgets the stored
// sign-in, what the games download shows, and how a session id is logged.

#include <QNetworkReply>
#include <QString>

namespace SignInRules {

// A failed email, password or Discord sign-in. httpStatus is 0 without a response.
QString loginFailureMessage(int httpStatus, QNetworkReply::NetworkError error, bool discord);
// A failed validation of the stored token.
QString autoLoginFailureMessage(QNetworkReply::NetworkError error);
// Only the service's "no" (401, 403) forgets the stored sign-in; a network
// failure keeps it for the next start.
bool autoLoginFailureForgetsSignIn(int httpStatus);
// The enumerator's name ("ConnectionRefusedError") for the log line.
QString errorName(QNetworkReply::NetworkError error);

struct Stage
{
    int percent = 0;
    QString text;
};
// The stage the games download shows at received of total bytes (total 0 or
// less: unknown): 70 to 80 with sizes when the total is known, else 75.
Stage gamesDownloadStage(qint64 received, qint64 total);

// A session id as log lines may show it: never whole.
QString maskedSessionId(const QString &id);

} // namespace SignInRules
