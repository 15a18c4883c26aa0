// The account texts of the header and the Profile section, and the network
// location asked of the geolocation service (here the fake) at most once.

#include "ServiceTestSupport.h"
#include "services/AccountInfo.h"
#include "services/AccountStore.h"
#include "support/ClientNames.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

std::unique_ptr<QSettings> native()
{
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                       QStringLiteral("Quorlix"), QStringLiteral("QuorlixApp"));
}

const QString kGeo = QStringLiteral("/json/");

} // namespace

Q_DECLARE_METATYPE(FakeReply)

class TestAccountInfo : public QObject
{
    Q_OBJECT

private:
    FakeService m_fake;
    std::unique_ptr<QObject> m_owner;
    AccountStore *m_account = nullptr;
    ServiceClient *m_client = nullptr;
    AccountInfo *m_info = nullptr;

    // Something to wait for that proves earlier requests reached the fake.
    void settle()
    {
        bool done = false;
        m_client->send(ServiceApi::Endpoint::AppUpdates, [&](const ServiceApi::Reply &) { done = true; });
        QTRY_VERIFY(done);
    }

private slots:
    void initTestCase()
    {
        useClientNames();
        QVERIFY(m_fake.listen());
    }

    void init()
    {
        m_fake.clearScripts();
        m_fake.loadSampleData();
        m_fake.clearRequests();
        native()->clear();
        m_owner = std::make_unique<QObject>();
        m_account = new AccountStore(m_owner.get());
        m_client =
            new ServiceClient(ServiceTest::configFor(m_fake), m_account->credentialsSource(), m_owner.get());
        m_info = new AccountInfo(m_account, m_client, m_owner.get());
    }

    void cleanup() { m_owner.reset(); }

    void textsFromTheStore_data()
    {
        QTest::addColumn<QVariant>("firstName");
        QTest::addColumn<QVariant>("userEmail");
        QTest::addColumn<QVariant>("authEmail");
        QTest::addColumn<QVariant>("isp");
        QTest::addColumn<QVariant>("country");
        QTest::addColumn<QStringList>("expected"); // name, e-mail label, profile e-mail, isp, country
        const QVariant none;
        QTest::newRow("nothing") << none << none << none << none << none
                                 << QStringList{"Account", "Not signed in", "-", "-", "-"};
        QTest::newRow("only auth/email, blanks around")
            << none << none << QVariant(" sam@x.io ") << none << none
            << QStringList{"sam", "sam@x.io", "sam@x.io", "-", "-"};
        QTest::newRow("first name wins") << QVariant("Ana") << QVariant("sam@x.io") << none << none << none
                                         << QStringList{"Ana", "sam@x.io", "sam@x.io", "-", "-"};
        QTest::newRow("no at-sign") << none << QVariant("samx.io") << none << none << none
                                    << QStringList{"samx.io", "samx.io", "samx.io", "-", "-"};
        QTest::newRow("empty local part") << none << QVariant("@x.io") << none << none << none
                                          << QStringList{"Account", "@x.io", "@x.io", "-", "-"};
        QTest::newRow("user/email wins over auth/email")
            << none << QVariant("a@x.io") << QVariant("b@x.io") << none << none
            << QStringList{"a", "a@x.io", "a@x.io", "-", "-"};
        QTest::newRow("blank location") << none << none << none << QVariant("   ") << QVariant(" ")
                                        << QStringList{"Account", "Not signed in", "-", "-", "-"};
        QTest::newRow("location trimmed") << none << none << none << QVariant(" Net Co ") << QVariant("Iran ")
                                          << QStringList{"Account", "Not signed in", "-", "Net Co", "Iran"};
    }
    void textsFromTheStore()
    {
        QFETCH(QVariant, firstName);
        QFETCH(QVariant, userEmail);
        QFETCH(QVariant, authEmail);
        QFETCH(QVariant, isp);
        QFETCH(QVariant, country);
        QFETCH(QStringList, expected);
        auto s = native();
        const std::pair<const char *, QVariant> values[] = {{"user/first_name", firstName},
                                                            {"user/email", userEmail},
                                                            {"auth/email", authEmail},
                                                            {"user/isp", isp},
                                                            {"user/country", country}};
        for (const auto &[key, value] : values) {
            if (value.isValid())
                s->setValue(QLatin1String(key), value);
        }
        s->sync();
        const AccountTexts t = m_info->texts();
        QCOMPARE((QStringList{t.name, t.emailLabel, t.profileEmail, t.isp, t.country}), expected);
    }

    void knownLocationIsNotAsked()
    {
        native()->setValue("user/isp", "Net Co");
        native()->setValue("user/country", "Iran");
        QSignalSpy texts(m_info, &AccountInfo::accountTextsChanged);
        m_info->refreshAccountInfo();
        m_info->refreshAccountInfo();
        settle();
        QCOMPARE(texts.count(), 2);
        QCOMPARE(m_fake.requestCount(kGeo), 0);
        QVERIFY(!m_info->locationRequestRunning());
    }

    void locationIsAskedOnceAndStored_data()
    {
        QTest::addColumn<QString>("storedIsp"); // one of the two may be known already
        QTest::newRow("neither known") << QString();
        QTest::newRow("provider known") << QStringLiteral("Old ISP");
    }
    void locationIsAskedOnceAndStored()
    {
        QFETCH(QString, storedIsp);
        if (!storedIsp.isEmpty())
            native()->setValue("user/isp", storedIsp);
        m_fake.setGeo({{"isp", " Net Co "}, {"country", "Iran"}, {"countryCode", "IR"}, {"city", "Tehran"}});
        QSignalSpy texts(m_info, &AccountInfo::accountTextsChanged);
        m_info->refreshAccountInfo();
        QVERIFY(m_info->locationRequestRunning());
        // A refresh while the request runs sends no second one.
        m_info->refreshAccountInfo();
        QTRY_COMPARE(texts.count(), 3);
        QVERIFY(!m_info->locationRequestRunning());
        QVERIFY(m_info->locationRequestDone());
        QCOMPARE(m_fake.requestCount(kGeo), 1);
        const RecordedRequest r = m_fake.lastRequest(kGeo);
        QCOMPARE(r.method, QByteArray("GET"));
        QCOMPARE(r.query.toString(QUrl::FullyDecoded), QStringLiteral("fields=isp,country,countryCode,city"));
        for (const QByteArray &header : {QByteArray("Authorization"), QByteArray("X-Device-Id"),
                                         QByteArray("X-App-Version"), QByteArray("Content-Type")})
            QVERIFY2(!r.hasHeader(header), header.constData());
        QCOMPARE(native()->value("user/isp").toString(), QStringLiteral("Net Co"));
        QCOMPARE(native()->value("user/country").toString(), QStringLiteral("Iran"));
        QCOMPARE(native()->value("user/country_code").toString(), QStringLiteral("IR"));
        const AccountTexts last = texts.last().first().value<AccountTexts>();
        QCOMPARE(last.isp, QStringLiteral("Net Co"));
        QCOMPARE(last.country, QStringLiteral("Iran"));
    }

    void uselessOrFailedAnswersAreNotRepeated_data()
    {
        QTest::addColumn<FakeReply>("reply");
        QTest::addColumn<int>("inactivityMs");
        QTest::newRow("empty isp and country")
            << FakeReply::json(QJsonObject{{"isp", " "}, {"country", ""}, {"countryCode", "IR"}}) << 30000;
        QTest::newRow("not JSON") << FakeReply::text("<html>", 200) << 30000;
        QTest::newRow("server error") << FakeReply::statusOnly(500) << 30000;
        QTest::newRow("dropped") << FakeReply::dropped() << 30000;
        QTest::newRow("stalled") << FakeReply::hanging() << 100;
    }
    void uselessOrFailedAnswersAreNotRepeated()
    {
        QFETCH(FakeReply, reply);
        QFETCH(int, inactivityMs);
        m_client->setInactivityTimeout(inactivityMs);
        m_fake.script("GET", kGeo, reply);
        QSignalSpy texts(m_info, &AccountInfo::accountTextsChanged);
        m_info->refreshAccountInfo();
        QTRY_VERIFY(m_info->locationRequestDone());
        QVERIFY(!m_info->locationRequestRunning());
        QCOMPARE(texts.count(), 1); // no refresh after the answer
        // Qt's network layer itself may send a dropped GET once more; the
        // client does not ask again.
        const int asked = m_fake.requestCount(kGeo);
        for (const char *key : {"user/isp", "user/country", "user/country_code"})
            QVERIFY2(!native()->contains(QLatin1String(key)), key);
        m_info->refreshAccountInfo();
        settle();
        QCOMPARE(m_fake.requestCount(kGeo), asked);
    }
};

QTEST_MAIN(TestAccountInfo)
#include "tst_accountinfo.moc"
