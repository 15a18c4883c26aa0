// Which origins the client accepts, how the environment overrides them, and
// how image paths are resolved.

#include "services/ServiceConfig.h"
#include "support/TestNet.h"

#include <QTest>

using Kind = ServiceConfig::Kind;
Q_DECLARE_METATYPE(ServiceConfig::Kind)

// Sets an environment variable for one scope and restores it afterwards.
class ScopedEnv
{
public:
    ScopedEnv(const char *name, const QByteArray &value)
        : m_name(name), m_had(qEnvironmentVariableIsSet(name))
    {
        m_old = qgetenv(name);
        qputenv(name, value);
    }
    ~ScopedEnv()
    {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }

private:
    const char *m_name;
    bool m_had;
    QByteArray m_old;
};

class TestServiceConfig : public QObject
{
    Q_OBJECT
private slots:
    void origins_data();
    void origins();
    void testRunnerPointsEverythingAtLoopback();
    void environmentOverrides();
    void rejectedOverrideIsUnusable();
    void builtInServiceOriginIsSecure();
    void communityInvites_data();
    void communityInvites();
    void communityInviteOverride();
    void uploads_data();
    void uploads();
};

void TestServiceConfig::origins_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QString>("origin"); // empty: refused

    QTest::newRow("https service") << "https://api.example.test" << Kind::Service
                                   << "https://api.example.test";
    QTest::newRow("trailing slash dropped")
        << "https://api.example.test/" << Kind::Service << "https://api.example.test";
    QTest::newRow("https with port") << " https://api.example.test:8443 " << Kind::Discord
                                     << "https://api.example.test:8443";
    QTest::newRow("http on 127.0.0.1")
        << "http://127.0.0.1:18080" << Kind::Service << "http://127.0.0.1:18080";
    QTest::newRow("http on 127.1.2.3") << "http://127.1.2.3:5" << Kind::Discord << "http://127.1.2.3:5";
    QTest::newRow("http on localhost")
        << "http://localhost:18080" << Kind::Service << "http://localhost:18080";
    QTest::newRow("http on ::1") << "http://[::1]:18080" << Kind::Service << "http://[::1]:18080";
    QTest::newRow("http off loopback refused") << "http://192.0.2.7" << Kind::Service << "";
    QTest::newRow("http name off loopback refused") << "http://api.example.test" << Kind::Discord << "";
    QTest::newRow("lookalike host refused") << "http://127.0.0.1.example.test" << Kind::Service << "";
    QTest::newRow("geolocation may be plain http")
        << "http://geo.example.test" << Kind::Geo << "http://geo.example.test";
    QTest::newRow("path refused") << "https://api.example.test/v2" << Kind::Service << "";
    QTest::newRow("query refused") << "https://api.example.test?x=1" << Kind::Service << "";
    QTest::newRow("user info refused") << "https://me@api.example.test" << Kind::Service << "";
    QTest::newRow("other scheme refused") << "ftp://127.0.0.1" << Kind::Service << "";
    QTest::newRow("not a URL") << "api.example.test" << Kind::Service << "";
    QTest::newRow("empty") << "" << Kind::Geo << "";
    QTest::newRow("https site") << "https://www.example.test" << Kind::Site << "https://www.example.test";
    QTest::newRow("http site on loopback")
        << "http://127.0.0.1:8080" << Kind::Site << "http://127.0.0.1:8080";
    QTest::newRow("http site off loopback refused") << "http://www.example.test" << Kind::Site << "";
    QTest::newRow("site with a path refused") << "https://www.example.test/en" << Kind::Site << "";
}

void TestServiceConfig::origins()
{
    QFETCH(QString, text);
    QFETCH(Kind, kind);
    QFETCH(QString, origin);
    QString error;
    const QUrl url = ServiceConfig::parseOrigin(text, kind, &error);
    QCOMPARE(url.toString(), origin);
    QCOMPARE(error.isEmpty(), !origin.isEmpty());
}

void TestServiceConfig::testRunnerPointsEverythingAtLoopback()
{
    // The isolated runner exports all three; the client must take them and so
    // never reach a real host from a test.
    for (const char *name : {"QUORLIX_SERVICE_ORIGIN", "QUORLIX_DISCORD_ORIGIN", "QUORLIX_GEO_ORIGIN",
                             "QUORLIX_SITE_ORIGIN", "QUORLIX_COMMUNITY_INVITE"})
        QVERIFY2(qEnvironmentVariableIsSet(name), name);
    QString offender;
    QVERIFY2(TestNet::environmentOriginsAreLoopback(&offender), qPrintable(offender));
    const ServiceConfig &config = ServiceConfig::instance();
    for (const QUrl &origin : {config.serviceOrigin(), config.discordOrigin(), config.geoOrigin(),
                               config.siteOrigin(), config.communityInvite()})
        QVERIFY2(TestNet::isLoopbackUrl(origin), qPrintable(origin.toString()));
    QVERIFY(TestNet::isLoopbackUrl(config.serviceUrl("/api/games")));
    QVERIFY(TestNet::isLoopbackUrl(config.discordUrl("/api/v10/oauth2/token")));
    QVERIFY(TestNet::isLoopbackUrl(config.geoUrl("/json/?fields=isp,country,countryCode,city")));
}

void TestServiceConfig::environmentOverrides()
{
    ScopedEnv service("QUORLIX_SERVICE_ORIGIN", "http://127.0.0.5:1234/");
    ScopedEnv discord("QUORLIX_DISCORD_ORIGIN", "http://localhost:99");
    ScopedEnv geo("QUORLIX_GEO_ORIGIN", "http://127.0.0.6:7");
    ScopedEnv site("QUORLIX_SITE_ORIGIN", "http://127.0.0.8:80/");
    const ServiceConfig config = ServiceConfig::fromEnvironment();
    QCOMPARE(config.serviceOrigin(), QUrl("http://127.0.0.5:1234"));
    QCOMPARE(config.discordOrigin(), QUrl("http://localhost:99"));
    QCOMPARE(config.geoOrigin(), QUrl("http://127.0.0.6:7"));
    QCOMPARE(config.siteUrl("/register?utm_source=Software_V5"),
             QUrl("http://127.0.0.8:80/register?utm_source=Software_V5"));
    QCOMPARE(config.serviceUrl("/api/app-updates?latest=true"),
             QUrl("http://127.0.0.5:1234/api/app-updates?latest=true"));
    QCOMPARE(config.geoUrl("/json/?fields=isp,country,countryCode,city"),
             QUrl("http://127.0.0.6:7/json/?fields=isp,country,countryCode,city"));
}

void TestServiceConfig::rejectedOverrideIsUnusable()
{
    ScopedEnv service("QUORLIX_SERVICE_ORIGIN", "http://192.0.2.1");
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("QUORLIX_SERVICE_ORIGIN.*rejected"));
    const ServiceConfig config = ServiceConfig::fromEnvironment();
    // Neither the refused host nor the built-in origin.
    QVERIFY(config.serviceOrigin().isEmpty());
    QVERIFY(config.serviceUrl("/api/games").isEmpty());
    QCOMPARE(config.resolveUploadsUrl("/uploads/a.png"), QStringLiteral("/uploads/a.png"));
}

void TestServiceConfig::builtInServiceOriginIsSecure()
{
    const ServiceConfig builtIn;
    QCOMPARE(builtIn.serviceOrigin().scheme(), QStringLiteral("https"));
    QCOMPARE(builtIn.discordOrigin().scheme(), QStringLiteral("https"));
    QCOMPARE(builtIn.siteOrigin().scheme(), QStringLiteral("https"));
    // A placeholder that can never resolve until the real site is configured.
    QVERIFY(builtIn.siteOrigin().host().endsWith(QLatin1String(".invalid")));
    QVERIFY(
        !ServiceConfig::parseOrigin(QString::fromLatin1(ServiceConfig::kDefaultServiceOrigin), Kind::Service)
             .isEmpty());
}

void TestServiceConfig::communityInvites_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("invite"); // empty: refused
    QTest::newRow("https invite") << " https://discord.gg/abc123 "
                                  << "https://discord.gg/abc123";
    QTest::newRow("loopback http") << "http://127.0.0.1:9/invite"
                                   << "http://127.0.0.1:9/invite";
    QTest::newRow("remote http") << "http://discord.gg/abc"
                                 << "";
    QTest::newRow("no host") << "https:///abc"
                             << "";
    QTest::newRow("other scheme") << "ftp://discord.gg/abc"
                                  << "";
    QTest::newRow("with a user") << "https://me@discord.gg/abc"
                                 << "";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("not an address") << "discord invite"
                                    << "";
}

void TestServiceConfig::communityInvites()
{
    QFETCH(QString, text);
    QFETCH(QString, invite);
    QString error;
    QCOMPARE(ServiceConfig::parseInvite(text, &error).toString(), invite);
    QCOMPARE(error.isEmpty(), !invite.isEmpty());
}

void TestServiceConfig::communityInviteOverride()
{
    // The built-in placeholder never resolves until the real invite is set.
    QVERIFY(ServiceConfig().communityInvite().host().endsWith(QLatin1String(".invalid")));
    QCOMPARE(ServiceConfig().communityInvite().scheme(), QStringLiteral("https"));
    {
        ScopedEnv invite("QUORLIX_COMMUNITY_INVITE", "http://127.0.0.7:8/join");
        QCOMPARE(ServiceConfig::fromEnvironment().communityInvite(), QUrl("http://127.0.0.7:8/join"));
    }
    // A refused override leaves no invite at all rather than the built-in one.
    ScopedEnv invite("QUORLIX_COMMUNITY_INVITE", "http://192.0.2.1/join");
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("QUORLIX_COMMUNITY_INVITE.*rejected"));
    QVERIFY(ServiceConfig::fromEnvironment().communityInvite().isEmpty());
}

void TestServiceConfig::uploads_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("resolved");
    QTest::newRow("uploads path") << " /uploads/covers/a.png "
                                  << "http://127.0.0.1:4000/uploads/covers/a.png";
    QTest::newRow("absolute address unchanged") << "https://cdn.example.test/a.png"
                                                << "https://cdn.example.test/a.png";
    QTest::newRow("no leading slash unchanged") << "uploads/a.png"
                                                << "uploads/a.png";
    QTest::newRow("other path unchanged") << "/static/a.png"
                                          << "/static/a.png";
    QTest::newRow("case matters") << "/Uploads/a.png"
                                  << "/Uploads/a.png";
    QTest::newRow("blank") << "  "
                           << "";
}

void TestServiceConfig::uploads()
{
    QFETCH(QString, path);
    QFETCH(QString, resolved);
    const QUrl origin("http://127.0.0.1:4000");
    QCOMPARE(ServiceConfig(origin, origin, origin).resolveUploadsUrl(path), resolved);
}

QTEST_GUILESS_MAIN(TestServiceConfig)
#include "tst_serviceconfig.moc"
