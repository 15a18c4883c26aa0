#include "services/GamePlatform.h"

#include <QCryptographicHash>

namespace GamePlatform {

bool isConsolePlatform(const QString &text)
{
    const QString s = text.trimmed().toLower();
    if (s.isEmpty())
        return false;
    for (const char *word : {"playstation", "xbox", "nintendo", "switch", "console"}) {
        if (s.contains(QLatin1String(word)))
            return true;
    }
    if (s == QLatin1String("ps") || s.startsWith(QLatin1String("ps ")))
        return true;
    return s.contains(QLatin1String("ps4")) || s.contains(QLatin1String("ps5"));
}

static QString profileTitle(const QVariantMap &profile)
{
    const QString title = profile.value(QStringLiteral("title")).toString().trimmed();
    if (!title.isEmpty())
        return title;
    return profile.value(QStringLiteral("name")).toString().trimmed();
}

QString platformBoostProfileKey(const QVariantMap &profile)
{
    for (const char *key : {"id", "profile_id", "profileId"}) {
        const QString value = profile.value(QLatin1String(key)).toString().trimmed();
        if (!value.isEmpty())
            return value;
    }
    // Switches already stored under these keys depend on the exact digest input,
    // including "domains" read as plain text (a list reads as empty text).
    const QString domains = profile.value(QStringLiteral("domains")).toString().trimmed();
    const QByteArray digest =
        QCryptographicHash::hash((profileTitle(profile) + QLatin1Char('|') + domains).toUtf8(),
                                 QCryptographicHash::Sha1)
            .toHex();
    return QStringLiteral("anon_") + QString::fromLatin1(digest.left(16));
}

bool isSteamBoostProfile(const QVariantMap &profile)
{
    return profileTitle(profile).toLower().contains(QLatin1String("steam"));
}

QString platformBoostSettingsKey(const QString &gameId, const QString &profileKey)
{
    return QStringLiteral("platform_boost/enabled/%1/%2").arg(gameId, profileKey);
}

} // namespace GamePlatform
