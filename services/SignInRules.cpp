#include "services/SignInRules.h"

#include "services/ServiceApi.h"

#include <QCoreApplication>
#include <QMetaEnum>

#include <algorithm>

namespace SignInRules {

QString loginFailureMessage(int httpStatus, QNetworkReply::NetworkError error, bool discord)
{
    if (httpStatus == 401)
        return QStringLiteral("Login failed. Email or password does not match.");
    if (httpStatus == 403)
        return QStringLiteral("Access denied.");
    if (httpStatus == 404 && discord)
        return QStringLiteral("Login failed. No account found for your Discord email.");
    if (httpStatus >= 500 && httpStatus <= 599)
        return QStringLiteral("Server error. Please try again later.");
    if (error == QNetworkReply::HostNotFoundError || error == QNetworkReply::TimeoutError)
        return QStringLiteral("Unable to connect to server.");
    return QStringLiteral("Login failed.");
}

QString autoLoginFailureMessage(QNetworkReply::NetworkError error)
{
    return ServiceApi::unableToConnect(error) ? QStringLiteral("Unable to connect to server.")
                                              : QStringLiteral("Auto login failed.");
}

bool autoLoginFailureForgetsSignIn(int httpStatus)
{
    return httpStatus == 401 || httpStatus == 403;
}

QString errorName(QNetworkReply::NetworkError error)
{
    const char *name = QMetaEnum::fromType<QNetworkReply::NetworkError>().valueToKey(error);
    return name ? QString::fromLatin1(name) : QString::number(int(error));
}

Stage gamesDownloadStage(qint64 received, qint64 total)
{
    if (total <= 0) {
        return {75, QCoreApplication::translate("MainWindow", "Loading magic routes ...")};
    }
    // In floating point: a byte count from the wire never overflows the sum.
    const double share = std::clamp(double(received) / double(total), 0.0, 1.0);
    const int percent = std::clamp(70 + int(10.0 * share), 70, 80);
    const QString text =
        QCoreApplication::translate("MainWindow", "Loading magic routes : %1 kb of %2 Mb ...")
            .arg(QString::number(double(std::max<qint64>(received, 0)) / 1024.0, 'f', 0),
                 QString::number(double(total) / 1048576.0, 'f', 2));
    return {percent, text};
}

QString maskedSessionId(const QString &id)
{
    // Enough to tell two sessions apart in a log, too little to use one.
    if (id.size() <= 8)
        return QStringLiteral("…");
    return id.left(4) + QStringLiteral("…");
}

} // namespace SignInRules
