// The console rule and the boost-profile key and default shared by the pages
// and the connect flow.

#include "services/GamePlatform.h"

#include <QCryptographicHash>
#include <QTest>

using namespace GamePlatform;

class TestGamePlatform : public QObject
{
    Q_OBJECT
private slots:
    void console_data();
    void console();
    void profileKey_data();
    void profileKey();
    void steamDefault_data();
    void steamDefault();
    void settingsKey();
};

void TestGamePlatform::console_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("console");
    QTest::newRow("PlayStation 5") << "PlayStation 5" << true;
    QTest::newRow("xbox any case") << "  XBOX Series X " << true;
    QTest::newRow("nintendo") << "Nintendo" << true;
    QTest::newRow("switch") << "Switch" << true;
    QTest::newRow("console word") << "Console" << true;
    QTest::newRow("ps4 inside") << "Sony PS4" << true;
    QTest::newRow("ps5 glued") << "ps5pro" << true;
    QTest::newRow("ps alone") << " PS " << true;
    QTest::newRow("ps and blank") << "ps vita" << true;
    QTest::newRow("ps inside a word") << "Photoshop" << false;
    QTest::newRow("ps without blank") << "psvr" << false;
    QTest::newRow("pc") << "PC" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("blank") << "   " << false;
}

void TestGamePlatform::console()
{
    QFETCH(QString, text);
    QFETCH(bool, console);
    QCOMPARE(isConsolePlatform(text), console);
}

static QString anon(const QString &input)
{
    return "anon_" + QString::fromLatin1(
                         QCryptographicHash::hash(input.toUtf8(), QCryptographicHash::Sha1).toHex().left(16));
}

void TestGamePlatform::profileKey_data()
{
    QTest::addColumn<QVariantMap>("profile");
    QTest::addColumn<QString>("key");
    QTest::newRow("id") << QVariantMap{{"id", " steam "}, {"profile_id", "x"}} << "steam";
    QTest::newRow("numeric id") << QVariantMap{{"id", 12}} << "12";
    QTest::newRow("blank id, profile_id")
        << QVariantMap{{"id", "  "}, {"profile_id", "p2"}, {"profileId", "p3"}} << "p2";
    QTest::newRow("profileId last") << QVariantMap{{"profileId", "p3"}} << "p3";
    QTest::newRow("anonymous from title and domains")
        << QVariantMap{{"title", " Voice "}, {"name", "ignored"}, {"domains", " a.test "}}
        << anon("Voice|a.test");
    QTest::newRow("anonymous from name") << QVariantMap{{"title", " "}, {"name", "Chat"}} << anon("Chat|");
    // A list of domains reads as empty text; stored switches depend on it staying so.
    QTest::newRow("domains list reads empty")
        << QVariantMap{{"title", "Voice"}, {"domains", QVariantList{"a.test"}}} << anon("Voice|");
    QTest::newRow("nothing at all") << QVariantMap{} << anon("|");
}

void TestGamePlatform::profileKey()
{
    QFETCH(QVariantMap, profile);
    QFETCH(QString, key);
    QCOMPARE(platformBoostProfileKey(profile), key);
    QCOMPARE(platformBoostProfileKey(profile), platformBoostProfileKey(profile));
}

void TestGamePlatform::steamDefault_data()
{
    QTest::addColumn<QVariantMap>("profile");
    QTest::addColumn<bool>("steam");
    QTest::newRow("title") << QVariantMap{{"title", "Steam Launcher"}} << true;
    QTest::newRow("title any case") << QVariantMap{{"title", "my STEAM"}} << true;
    QTest::newRow("name when title blank") << QVariantMap{{"title", " "}, {"name", "steamworks"}} << true;
    QTest::newRow("title wins over name") << QVariantMap{{"title", "Voice"}, {"name", "Steam"}} << false;
    QTest::newRow("id is not looked at") << QVariantMap{{"id", "steam"}, {"title", "Launcher"}} << false;
    QTest::newRow("nothing") << QVariantMap{} << false;
}

void TestGamePlatform::steamDefault()
{
    QFETCH(QVariantMap, profile);
    QFETCH(bool, steam);
    QCOMPARE(isSteamBoostProfile(profile), steam);
}

void TestGamePlatform::settingsKey()
{
    QCOMPARE(platformBoostSettingsKey("42", "steam"), QStringLiteral("platform_boost/enabled/42/steam"));
}

QTEST_GUILESS_MAIN(TestGamePlatform)
#include "tst_gameplatform.moc"
