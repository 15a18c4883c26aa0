// The usage events as the service receives them, and the promotion look that
// follows the connection view.

#include "ServiceTestSupport.h"
#include "services/UsageEvents.h"
#include "support/fakeservice/LoopbackGuard.h"

#include <QSignalSpy>
#include <QTest>

class TestUsageEvents : public QObject
{
    Q_OBJECT

private:
    FakeService m_fake;

    QStringList postedNames() const
    {
        QStringList names;
        for (const RecordedRequest &request : m_fake.requests(QStringLiteral("/api/promo/event")))
            names << request.json().value(QStringLiteral("event_name")).toString();
        return names;
    }

private slots:
    void initTestCase()
    {
        LoopbackGuard::install();
        QVERIFY(m_fake.listen());
    }
    void init() { m_fake.clearRequests(); }
    void cleanupTestCase() { QCOMPARE(LoopbackGuard::violations(), QList<QUrl>()); }

    void appOpenGoesOutOnce()
    {
        QObject owner;
        UsageEvents events(ServiceTest::clientFor(m_fake, &owner), 10);
        events.track(QStringLiteral("app_open"));
        events.track(QStringLiteral("app_open"));
        events.track(QStringLiteral("   ")); // a blank name is never sent
        events.track(QStringLiteral("view_games"));
        events.track(QStringLiteral("view_games")); // other events go out each time
        QTRY_COMPARE(postedNames().size(), 3);
        QStringList names = postedNames();
        names.sort();
        QCOMPARE(names, (QStringList{"app_open", "view_games", "view_games"}));
    }

    void connectionViewRecordsAndRefreshesLater()
    {
        QObject owner;
        UsageEvents events(ServiceTest::clientFor(m_fake, &owner), 10);
        QSignalSpy due(&events, &UsageEvents::promotionRefreshDue);
        events.connectionViewOpened();
        QCOMPARE(due.count(), 0); // never at once
        QTRY_COMPARE(due.count(), 1);
        QTRY_COMPARE(postedNames(), QStringList{"view_connections"});
    }

    void withoutTokenNothingIsSent()
    {
        QObject owner;
        UsageEvents events(ServiceTest::clientFor(m_fake, &owner, QString()), 10);
        QSignalSpy due(&events, &UsageEvents::promotionRefreshDue);
        events.track(QStringLiteral("app_open"));
        events.connectionViewOpened();
        QTRY_COMPARE(due.count(), 1); // the promotion look does not need the event
        QCOMPARE(m_fake.requestCount(QStringLiteral("/api/promo/event")), 0);
    }
};

QTEST_MAIN(TestUsageEvents)
#include "tst_usageevents.moc"
