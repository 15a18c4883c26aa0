#pragma once
// Where the client's web requests go: the service's web API (which also serves
// "/uploads/" images), the sign-in provider and the IP-geolocation service;
// and the service's web site, whose pages (register, password reset) open in
// the user's browser, and the invite to the service's Discord community.
// Built-in origins can be replaced through QUORLIX_SERVICE_ORIGIN,
// QUORLIX_DISCORD_ORIGIN, QUORLIX_GEO_ORIGIN and QUORLIX_SITE_ORIGIN, and the
// invite through QUORLIX_COMMUNITY_INVITE, so tests and local trials point the
// client at loopback.

#include <QString>
#include <QUrl>

class ServiceConfig
{
public:
    static const char kDefaultServiceOrigin[];
    static const char kDefaultDiscordOrigin[];
    static const char kDefaultGeoOrigin[];
    static const char kDefaultSiteOrigin[];
    // The community invite is a whole address (it has a path), not an origin.
    static const char kDefaultCommunityInvite[];
    // The Discord application's id (QUORLIX_DISCORD_CLIENT_ID replaces it).
    static const char kDefaultDiscordClientId[];

    // Built-in origins, ignoring the environment.
    ServiceConfig();
    // The web site keeps its built-in origin unless given.
    ServiceConfig(const QUrl &service, const QUrl &discord, const QUrl &geo,
                  const QUrl &site = QUrl(QString::fromLatin1(kDefaultSiteOrigin)));

    // Built-in origins with the environment's overrides applied. A rejected
    // override leaves that origin unusable (requests to it fail at once) rather
    // than silently reaching the built-in one.
    static ServiceConfig fromEnvironment();
    // The process-wide configuration, read from the environment on first use.
    static const ServiceConfig &instance();
    // Replaces the process-wide configuration (tests, the dev service).
    static void setInstance(const ServiceConfig &config);

    // An origin is "scheme://host[:port]" with no path, query or fragment. The
    // service and the sign-in provider need https, or http on a loopback host;
    // the geolocation service is plain http by nature and may use either. The
    // web site follows the service's rule: its pages ask for account details.
    enum class Kind { Service, Discord, Geo, Site };
    static QUrl parseOrigin(const QString &text, Kind kind, QString *error = nullptr);
    static bool isLoopbackHost(const QString &host);
    // An http or https address with a host: what the client fetches images
    // from or hands to the browser when a reply names it.
    static bool isWebAddress(const QUrl &url);
    // A community invite: an https address with a host (http only on a
    // loopback host); empty, with the reason, when it is not one.
    static QUrl parseInvite(const QString &text, QString *error = nullptr);

    QUrl serviceOrigin() const { return m_service; }
    QUrl discordOrigin() const { return m_discord; }
    QUrl geoOrigin() const { return m_geo; }
    QUrl siteOrigin() const { return m_site; }
    // Where the home page's Discord card sends the browser; empty after a
    // rejected override.
    QUrl communityInvite() const { return m_communityInvite; }
    void setCommunityInvite(const QUrl &invite) { m_communityInvite = invite; }
    QString discordClientId() const { return m_discordClientId; }
    void setDiscordClientId(const QString &id) { m_discordClientId = id; }
    // Where Discord sends the browser back: the web site's callback page,
    // which passes the code on to the client's loopback listener.
    QUrl discordRedirectUri() const { return siteUrl(QStringLiteral("/callback")); }

    // origin + path (the path may carry a query: "/api/app-updates?latest=true").
    QUrl serviceUrl(const QString &pathAndQuery) const { return join(m_service, pathAndQuery); }
    QUrl discordUrl(const QString &pathAndQuery) const { return join(m_discord, pathAndQuery); }
    QUrl geoUrl(const QString &pathAndQuery) const { return join(m_geo, pathAndQuery); }
    QUrl siteUrl(const QString &pathAndQuery) const { return join(m_site, pathAndQuery); }

    // A relative "/uploads/..." image path on the service's origin; other texts trimmed and unchanged.
    QString resolveUploadsUrl(const QString &path) const;

    // origin + path; empty when the origin is (a rejected override).
    static QUrl join(const QUrl &origin, const QString &pathAndQuery);

private:
    QUrl m_service;
    QUrl m_discord;
    QUrl m_geo;
    QUrl m_site;
    QUrl m_communityInvite = QUrl(QString::fromLatin1(kDefaultCommunityInvite));
    QString m_discordClientId = QString::fromLatin1(kDefaultDiscordClientId);
};
