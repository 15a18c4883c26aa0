#include "services/ServiceConfig.h"

#include <QDebug>
#include <QHostAddress>
#include <QMutex>

#include <optional>

const char ServiceConfig::kDefaultServiceOrigin[] = "https://api.quorlix.invalid";
const char ServiceConfig::kDefaultDiscordOrigin[] = "https://discord.com";
const char ServiceConfig::kDefaultGeoOrigin[] = "http://ip-api.com";
const char ServiceConfig::kDefaultSiteOrigin[] = "https://www.quorlix.invalid";
const char ServiceConfig::kDefaultCommunityInvite[] = "https://discord.quorlix.invalid/invite";
const char ServiceConfig::kDefaultDiscordClientId[] = "1187000000000000000";

ServiceConfig::ServiceConfig()
    : m_service(QString::fromLatin1(kDefaultServiceOrigin)),
      m_discord(QString::fromLatin1(kDefaultDiscordOrigin)), m_geo(QString::fromLatin1(kDefaultGeoOrigin)),
      m_site(QString::fromLatin1(kDefaultSiteOrigin))
{}

ServiceConfig::ServiceConfig(const QUrl &service, const QUrl &discord, const QUrl &geo, const QUrl &site)
    : m_service(service), m_discord(discord), m_geo(geo), m_site(site)
{}

bool ServiceConfig::isLoopbackHost(const QString &host)
{
    QString h = host.trimmed();
    if (h.startsWith(QLatin1Char('[')) && h.endsWith(QLatin1Char(']')))
        h = h.mid(1, h.size() - 2);
    if (h.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(h);
    if (address.isNull())
        return false;
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    if (isV4)
        return (v4 >> 24) == 127;
    return address == QHostAddress(QHostAddress::LocalHostIPv6);
}

QUrl ServiceConfig::parseOrigin(const QString &text, Kind kind, QString *error)
{
    auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return QUrl();
    };
    QString t = text.trimmed();
    while (t.endsWith(QLatin1Char('/')))
        t.chop(1);
    const QUrl url(t, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty())
        return fail(QStringLiteral("not an absolute URL"));
    if (!url.path().isEmpty() || url.hasQuery() || url.hasFragment() || !url.userInfo().isEmpty())
        return fail(QStringLiteral("an origin has no path, query, fragment or user"));
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("https"))
        return url;
    if (scheme != QLatin1String("http"))
        return fail(QStringLiteral("only http and https are supported"));
    // Tokens and passwords travel to the service and the sign-in provider: in
    // clear text only when they never leave this machine.
    if (kind == Kind::Geo || isLoopbackHost(url.host()))
        return url;
    return fail(QStringLiteral("plain http is accepted only for loopback hosts"));
}

QUrl ServiceConfig::parseInvite(const QString &text, QString *error)
{
    auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return QUrl();
    };
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    if (!isWebAddress(url))
        return fail(QStringLiteral("not an http or https address with a host"));
    if (!url.userInfo().isEmpty())
        return fail(QStringLiteral("an invite has no user"));
    if (url.scheme().toLower() == QLatin1String("http") && !isLoopbackHost(url.host()))
        return fail(QStringLiteral("plain http is accepted only for loopback hosts"));
    return url;
}

ServiceConfig ServiceConfig::fromEnvironment()
{
    ServiceConfig config;
    struct Override
    {
        const char *variable;
        Kind kind;
        QUrl *target;
    };
    const Override overrides[] = {
        {"QUORLIX_SERVICE_ORIGIN", Kind::Service, &config.m_service},
        {"QUORLIX_DISCORD_ORIGIN", Kind::Discord, &config.m_discord},
        {"QUORLIX_GEO_ORIGIN", Kind::Geo, &config.m_geo},
        {"QUORLIX_SITE_ORIGIN", Kind::Site, &config.m_site},
    };
    for (const Override &o : overrides) {
        if (!qEnvironmentVariableIsSet(o.variable))
            continue;
        const QString value = qEnvironmentVariable(o.variable);
        QString error;
        const QUrl url = parseOrigin(value, o.kind, &error);
        if (url.isEmpty())
            qWarning().noquote() << "[Config]" << o.variable << "=" << value << "rejected:" << error;
        *o.target = url;
    }
    if (qEnvironmentVariableIsSet("QUORLIX_COMMUNITY_INVITE")) {
        const QString value = qEnvironmentVariable("QUORLIX_COMMUNITY_INVITE");
        QString error;
        config.m_communityInvite = parseInvite(value, &error);
        if (config.m_communityInvite.isEmpty())
            qWarning().noquote() << "[Config] QUORLIX_COMMUNITY_INVITE =" << value << "rejected:" << error;
    }
    const QString clientId = qEnvironmentVariable("QUORLIX_DISCORD_CLIENT_ID").trimmed();
    if (!clientId.isEmpty())
        config.m_discordClientId = clientId;
    return config;
}

namespace {
QMutex g_instanceMutex;
std::optional<ServiceConfig> g_instance;
} // namespace

const ServiceConfig &ServiceConfig::instance()
{
    QMutexLocker lock(&g_instanceMutex);
    if (!g_instance)
        g_instance = fromEnvironment();
    return *g_instance;
}

void ServiceConfig::setInstance(const ServiceConfig &config)
{
    QMutexLocker lock(&g_instanceMutex);
    g_instance = config;
}

QUrl ServiceConfig::join(const QUrl &origin, const QString &pathAndQuery)
{
    if (origin.isEmpty())
        return QUrl();
    QString path = pathAndQuery;
    if (!path.startsWith(QLatin1Char('/')))
        path.prepend(QLatin1Char('/'));
    return QUrl(origin.toString(QUrl::StripTrailingSlash) + path);
}

QString ServiceConfig::resolveUploadsUrl(const QString &path) const
{
    const QString p = path.trimmed();
    if (p.isEmpty())
        return QString();
    if (p.startsWith(QLatin1String("/uploads/")) && !m_service.isEmpty())
        return m_service.toString(QUrl::StripTrailingSlash) + p;
    return p;
}

bool ServiceConfig::isWebAddress(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && !url.host().isEmpty() &&
           (scheme == QLatin1String("https") || scheme == QLatin1String("http"));
}
