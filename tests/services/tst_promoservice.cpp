// The promotion pill's offer, its personal link and the usage events, against
// the fake service, with the account store as the client keeps it.

#include "ServiceTestSupport.h"
#include "services/AccountStore.h"
#include "services/PromoService.h"
#include "services/UsageEvents.h"
#include "support/fakeservice/LoopbackGuard.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTest>

class TestPromoService : public QObject
{
    Q_OBJECT

private:
    FakeService m_fake;
    std::unique_ptr<QObject> m_owner;
    AccountStore *m_account = nullptr;
    UsageEvents *m_usage = nullptr;
    PromoService *m_promo = nullptr;
    QList<QUrl> m_opened;

    // A service built as the client builds it, signed in for this run only
    // (or not at all).
    void build(bool signedIn)
    {
        m_owner = std::make_unique<QObject>();
        m_opened.clear();
        m_account = new AccountStore(m_owner.get());
        m_account->signOut();
        if (signedIn) {
            m_fake.startSessionElsewhere();
            AccountStore::Account account;
            account.token = m_fake.currentToken();
            m_account->keepForThisRun(account);
        }
        const QUrl origin = m_fake.origin();
        auto *client = new ServiceClient(ServiceConfig(origin, origin, origin, origin),
                                         m_account->credentialsSource(), m_owner.get());
        m_usage = new UsageEvents(client, 10, m_account, m_owner.get());
        m_promo = new PromoService(
            client, m_account, m_usage,
            [this](const QUrl &url) {
                m_opened << url;
                return true;
            },
            m_owner.get());
    }

    QStringList postedEvents() const
    {
        QStringList names;
        for (const RecordedRequest &request : m_fake.requests(QStringLiteral("/api/promo/event")))
            names << request.json().value(QStringLiteral("event_name")).toString();
        return names;
    }

    static QJsonObject promo(const QString &kind, const QString &title, const QJsonValue &badge)
    {
        QJsonObject reply{{QStringLiteral("cta"),
                           QJsonObject{{QStringLiteral("kind"), kind}, {QStringLiteral("title"), title}}}};
        if (!badge.isUndefined())
            reply.insert(QStringLiteral("badge"), badge);
        return reply;
    }
    static QJsonObject badge(int percent, const QString &text)
    {
        return {{QStringLiteral("percent"), percent}, {QStringLiteral("text"), text}};
    }

private slots:
    void initTestCase()
    {
        LoopbackGuard::install();
        QVERIFY(m_fake.listen());
        m_fake.loadSampleData();
    }
    void init()
    {
        m_fake.clearRequests();
        m_fake.clearScripts();
    }
    void cleanup() { m_owner.reset(); }
    void cleanupTestCase() { QCOMPARE(LoopbackGuard::violations(), QList<QUrl>()); }

    void lookFromReply_data()
    {
        QTest::addColumn<QJsonObject>("reply");
        QTest::addColumn<QString>("label"); // empty: the label stays as it is
        QTest::addColumn<bool>("badgeShown");
        QTest::addColumn<QString>("badgeText");
        QTest::newRow("title wins over kind") << promo("upgrade", "Go Pro", {}) << "Go Pro" << false << "";
        QTest::newRow("manage_plan") << promo("manage_plan", "", {}) << "Manage plan" << false << "";
        QTest::newRow("upgrade") << promo("upgrade", "", {}) << "Upgrade Now" << false << "";
        QTest::newRow("try_trial") << promo("try_trial", "", {}) << "Upgrade Now" << false << "";
        QTest::newRow("unknown kind") << promo("mystery", "", {}) << "" << false << "";
        QTest::newRow("badge") << promo("manage_plan", "Go Pro", badge(1, "20% OFF")) << "Upgrade Now" << true
                               << "20% OFF";
        QTest::newRow("badge percent 0")
            << promo("upgrade", "", badge(0, "20% OFF")) << "Upgrade Now" << false << "";
        QTest::newRow("badge text empty")
            << promo("upgrade", "", badge(5, "")) << "Upgrade Now" << false << "";
        QTest::newRow("badge not an object")
            << promo("upgrade", "", QJsonValue(3)) << "Upgrade Now" << false << "";
        QTest::newRow("empty reply") << QJsonObject() << "" << false << "";
    }
    void lookFromReply()
    {
        QFETCH(QJsonObject, reply);
        const PromoService::Look look = PromoService::lookFromReply(reply);
        QTEST(look.label, "label");
        QTEST(look.badgeShown, "badgeShown");
        QTEST(look.badgeText, "badgeText");
    }

    void signedOutResetsAndAsksNothing()
    {
        build(false);
        QSignalSpy labels(m_promo, &PromoService::labelChanged);
        QSignalSpy pill(m_promo, &PromoService::pillVisibleChanged);
        m_promo->evaluatePromo();
        QCOMPARE(labels.value(0).value(0).toString(), QStringLiteral("Sign Up Now"));
        QCOMPARE(pill.count(), 1);
        QCOMPARE(pill.value(0).value(0).toBool(), false);
        QTest::qWait(50);
        QCOMPARE(m_fake.requestCount(QStringLiteral("/api/promo/evaluate")), 0);
    }

    // The sample offer carries a badge: the pill shows, from a sign-in kept
    // only for this run; the reply is recorded.
    void signedInShowsOfferAndRecordsReply()
    {
        build(true);
        QSignalSpy pill(m_promo, &PromoService::pillVisibleChanged);
        QSignalSpy badges(m_promo, &PromoService::badgeChanged);
        QSignalSpy labels(m_promo, &PromoService::labelChanged);
        m_promo->evaluatePromo();
        QCOMPARE(m_promo->kind(), QStringLiteral("none"));
        QTRY_COMPARE(pill.count(), 2);
        QCOMPARE(pill.value(1).value(0).toBool(), true);
        QCOMPARE(badges.value(1), (QVariantList{true, QStringLiteral("20% OFF")}));
        QCOMPARE(labels.last().value(0).toString(), QStringLiteral("Upgrade Now"));
        QCOMPARE(m_promo->kind(), QStringLiteral("upgrade"));
        const RecordedRequest request = m_fake.lastRequest(QStringLiteral("/api/promo/evaluate"));
        QCOMPARE(request.header("Authorization"), "Bearer " + m_fake.currentToken().toUtf8());
        QVERIFY(request.hasHeader("X-Device-Id"));

        QCOMPARE(m_account->value(QStringLiteral("debug/promo_last_http")).toInt(), 200);
        QCOMPARE(m_account->value(QStringLiteral("debug/promo_last_net_err")).toInt(), 0);
        QVERIFY(m_account->value(QStringLiteral("debug/promo_last_net_err_str")).isValid());
        QVERIFY(m_account->value(QStringLiteral("debug/promo_last_raw")).toString().contains("20% OFF"));
        const QDateTime at = QDateTime::fromString(
            m_account->value(QStringLiteral("debug/promo_last_at")).toString(), Qt::ISODate);
        QVERIFY(at.isValid());
        QCOMPARE(at.timeSpec(), Qt::UTC);
        QVERIFY(qAbs(at.secsTo(QDateTime::currentDateTimeUtc())) < 60);
    }

    void replyWithoutOfferHidesAndWarns_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("badge percent 0") << QJsonDocument(promo("upgrade", "", badge(0, "20% OFF"))).toJson();
        QTest::newRow("title, no badge") << QJsonDocument(promo("upgrade", "Go Pro", {})).toJson();
        QTest::newRow("malformed") << QByteArray("{\"cta\": {\"kind\": ");
    }
    void replyWithoutOfferHidesAndWarns()
    {
        QFETCH(QByteArray, body);
        build(true);
        m_fake.script("GET", QStringLiteral("/api/promo/evaluate"),
                      FakeReply::text(body, 200, "application/json"));
        QSignalSpy pill(m_promo, &PromoService::pillVisibleChanged);
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression("^\\[Promo\\] evaluate: http= 200 netErr= 0 err="));
        m_promo->evaluatePromo();
        QTRY_COMPARE(pill.count(), 2);
        QCOMPARE(pill.value(1).value(0).toBool(), false);
    }

    // Bodies are kept only up to their limit: 16,384 bytes for the offer and
    // the link, 4,096 for an event.
    void rawBodiesAreCut()
    {
        build(true);
        const QByteArray big = "\"" + QByteArray(20000, 'x') + "\"";
        m_fake.script("GET", QStringLiteral("/api/promo/evaluate"),
                      FakeReply::text(big, 200, "application/json"));
        m_fake.script("POST", QStringLiteral("/api/promo/event"),
                      FakeReply::text(big, 500, "application/json"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^\\[Promo\\] evaluate:"));
        m_promo->evaluatePromo();
        m_usage->track(QStringLiteral("view_games"));
        QTRY_COMPARE(m_account->value(QStringLiteral("debug/promo_last_raw")).toString().size(), 16384);
        QTRY_COMPARE(m_account->value(QStringLiteral("debug/promo_event_last_raw")).toString().size(), 4096);
        QCOMPARE(m_account->value(QStringLiteral("debug/promo_event_last_http")).toInt(), 500);
    }

    // An evaluation overtaken by a newer one (a sign-out, say) never reaches the pill.
    void overtakenReplyIsDropped()
    {
        build(true);
        m_fake.script("GET", QStringLiteral("/api/promo/evaluate"), [] {
            FakeReply slow = FakeReply::json(promo("upgrade", "", badge(1, "20% OFF")));
            slow.delayMs = 200;
            return slow;
        }());
        QSignalSpy pill(m_promo, &PromoService::pillVisibleChanged);
        m_promo->evaluatePromo();
        QTRY_COMPARE(m_fake.requestCount(QStringLiteral("/api/promo/evaluate")), 1);
        m_account->signOut();
        m_promo->evaluatePromo();
        QTRY_VERIFY(m_account->value(QStringLiteral("debug/promo_last_http")).toInt() == 200);
        QTest::qWait(20);
        QCOMPARE(pill.count(), 2);
        QCOMPARE(pill.value(1).value(0).toBool(), false);
    }

    void linkOpensOnlyWebAddresses_data()
    {
        QTest::addColumn<QJsonObject>("reply");
        QTest::addColumn<QString>("opened"); // "pricing": the site's pricing page
        QTest::newRow("ok with https")
            << QJsonObject{{"ok", true}, {"url", "https://pay.example.test/checkout?id=7"}}
            << "https://pay.example.test/checkout?id=7";
        QTest::newRow("ok false") << QJsonObject{{"ok", false}, {"url", "https://pay.example.test/x"}}
                                  << "pricing";
        QTest::newRow("no url") << QJsonObject{{"ok", true}} << "pricing";
        QTest::newRow("url not a string") << QJsonObject{{"ok", true}, {"url", 7}} << "pricing";
        QTest::newRow("file scheme") << QJsonObject{{"ok", true}, {"url", "file:///etc/passwd"}} << "pricing";
        QTest::newRow("script scheme")
            << QJsonObject{{"ok", true}, {"url", "javascript:alert(1)"}} << "pricing";
    }
    void linkOpensOnlyWebAddresses()
    {
        QFETCH(QJsonObject, reply);
        QFETCH(QString, opened);
        build(true);
        m_fake.script("POST", QStringLiteral("/api/promo/link/create"), FakeReply::json(reply));
        if (opened == QLatin1String("pricing"))
            QTest::ignoreMessage(QtWarningMsg,
                                 QRegularExpression("^\\[PromoLink\\] create failed: http= 200"));
        m_promo->openPromoLink();
        QTRY_COMPARE(m_opened.size(), 1);
        const QUrl expected = opened == QLatin1String("pricing")
                                  ? QUrl(m_fake.origin().toString() + QStringLiteral("/pricing"))
                                  : QUrl(opened);
        QCOMPARE(m_opened.first(), expected);
        QVERIFY(m_account->value(QStringLiteral("debug/promo_link_last_raw")).toString().contains("ok"));
    }

    void clickSignedInSendsEventsThenAsksForLink()
    {
        build(true);
        QSignalSpy signIn(m_promo, &PromoService::signInNeeded);
        m_promo->openPromoLink();
        QTRY_COMPARE(m_opened.size(), 1);
        QCOMPARE(signIn.count(), 0);
        QTRY_COMPARE(postedEvents(), (QStringList{"click_promo_cta", "view_pricing"}));
        const RecordedRequest link = m_fake.lastRequest(QStringLiteral("/api/promo/link/create"));
        QCOMPARE(link.body, QByteArray("{}"));
        QCOMPARE(link.header("Content-Type"), QByteArray("application/json"));
        // The requests went out in this order.
        QStringList paths;
        for (const RecordedRequest &r : m_fake.requests())
            paths << r.path;
        QCOMPARE(paths.indexOf("/api/promo/link/create"), 2);
    }

    void clickSignedOutAsksForSignInOnly()
    {
        build(false);
        QSignalSpy signIn(m_promo, &PromoService::signInNeeded);
        m_promo->openPromoLink();
        QCOMPARE(signIn.count(), 1);
        QTest::qWait(50);
        QCOMPARE(m_fake.requests().size(), 0);
        QVERIFY(m_opened.isEmpty());
    }

    void appOpenOncePerRun()
    {
        build(true);
        m_promo->trackEvent(QStringLiteral("app_open"));
        m_promo->trackEvent(QStringLiteral("app_open"));
        m_promo->trackEvent(QStringLiteral(" view_routing ")); // sent as given
        QTRY_COMPARE(postedEvents().size(), 2);
        QTest::qWait(30);
        QStringList names = postedEvents();
        names.sort();
        QCOMPARE(names, (QStringList{" view_routing ", "app_open"}));
        QVERIFY(m_promo->appOpenSent());
        QTRY_COMPARE(m_account->value(QStringLiteral("debug/promo_event_last_http")).toInt(), 200);
    }

    // Asked for while signed out, "app_open" is spent: a later sign-in in the
    // same run does not send it.
    void appOpenSignedOutIsNeverSentLater()
    {
        build(false);
        m_promo->trackEvent(QStringLiteral("app_open"));
        m_fake.startSessionElsewhere();
        AccountStore::Account account;
        account.token = m_fake.currentToken();
        m_account->keepForThisRun(account);
        m_promo->trackEvent(QStringLiteral("app_open"));
        m_promo->trackEvent(QStringLiteral("view_games"));
        QTRY_COMPARE(postedEvents(), QStringList{"view_games"});
        QTest::qWait(30);
        QCOMPARE(postedEvents(), QStringList{"view_games"});
    }
};

QTEST_MAIN(TestPromoService)
#include "tst_promoservice.moc"
