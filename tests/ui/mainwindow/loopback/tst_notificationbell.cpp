// The bell and its drop-down on a plain window, against the fake service:
// placement, opening and closing, the fetches, clicks and the language.

#include "services/AccountStore.h"
#include "services/NotificationService.h"
#include "services/ServiceClient.h"
#include "support/PainterWarnings.h"
#include "support/fakeservice/FakeService.h"
#include "support/fakeservice/LoopbackGuard.h"
#include "ui/mainwindow/NotificationBell.h"
#include "ui/pages/notifications/NotificationDropdown.h"
#include "ui/widgets/CardOverlay.h"

#include <QApplication>
#include <QFrame>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QTest>

#include <memory>

namespace {
QJsonObject note(const QString &id, const QString &title, bool unread)
{
    return QJsonObject{{"id", id},
                       {"title", title},
                       {"body", "About " + title},
                       {"created_at", QDateTime::currentDateTimeUtc().addSecs(-300).toString(Qt::ISODate)},
                       {"unread", unread}};
}

// A 1440 x 810 window with a header, the bell area and its services.
struct Fixture
{
    QWidget window;
    QWidget *header = nullptr;
    AccountStore account;
    std::unique_ptr<ServiceClient> client;
    std::unique_ptr<NotificationService> service;
    NotificationBell *area = nullptr;

    explicit Fixture(const FakeService &fake, int firstFetchMs = 5)
    {
        window.resize(1440, 810);
        header = new QWidget(&window);
        header->setGeometry(0, 0, 1440, 90);
        client = std::make_unique<ServiceClient>(ServiceConfig(fake.origin(), fake.origin(), fake.origin()),
                                                 account.credentialsSource());
        service = std::make_unique<NotificationService>(client.get(), &account);
        area = new NotificationBell(&window, header, service.get(), QStringLiteral("Vazirmatn"), firstFetchMs,
                                    &window);
        area->place(false);
    }
    NotifListView *personal() const { return area->list(NotificationService::Personal); }
};
} // namespace

class TestNotificationBell : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        LoopbackGuard::install();
        QVERIFY(m_fake.listen());
        m_fake.loadSampleData();
    }
    void cleanupTestCase() { QCOMPARE(LoopbackGuard::violations(), QList<QUrl>()); }

    void init()
    {
        TestSupport::failOnPainterWarnings();
        m_fake.clearRequests();
        m_fake.setNotifications("personal",
                                {note("n1", "Ticket answered: #7", true), note("n2", "Old news", false)});
        m_fake.setNotifications("public", {note("g1", "New relays", false)});
        AccountStore store;
        store.signOut();
        store.setValue(AccountStore::ReadIds, QStringList());
    }

    void placesAndLooks()
    {
        Fixture f(m_fake);
        QCOMPARE(f.area->bell()->parentWidget(), f.header);
        QCOMPARE(f.area->bell()->geometry(), QRect(958, 20, 54, 54));
        QVERIFY(f.area->dot()->isHidden());
        QVERIFY(f.area->overlay()->isHidden());
        QCOMPARE(f.area->overlay()->geometry(), f.window.rect());
        QCOMPARE(f.area->card()->geometry(), QRect(880, 90, 296, 416));
        QCOMPARE(f.area->scrollArea()->geometry(), QRect(10, 60, 276, 312));
        QCOMPARE(f.area->seeAll()->geometry(), QRect(0, 382, 296, 20));
        QCOMPARE(f.area->seeAll()->text(), QStringLiteral("See all"));
        QVERIFY(f.area->tab(0)->isChecked());
        QCOMPARE(f.area->stack()->currentIndex(), 0);
        QTest::mouseClick(f.area->tab(1), Qt::LeftButton);
        QCOMPARE(f.area->stack()->currentIndex(), 1);
        QVERIFY(!f.area->tab(0)->isChecked());

        // A narrow window keeps the card on screen.
        f.window.resize(400, 600);
        f.area->placeDropdown();
        QCOMPARE(f.area->card()->pos(), QPoint(0, 90));
    }

    void openingFetchesAndClosingKeys()
    {
        signIn();
        Fixture f(m_fake, 60000);
        f.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.window));
        QTest::mouseClick(f.area->bell(), Qt::LeftButton);
        QVERIFY(f.area->overlay()->isVisible());
        QTRY_VERIFY(f.area->overlay()->hasFocus());
        QTRY_COMPARE(m_fake.requestCount("/api/notifications"), 2);
        QCOMPARE(m_fake.requests("/api/notifications")[0].query.queryItemValue("scope"),
                 QStringLiteral("personal"));
        QCOMPARE(m_fake.requests("/api/notifications")[1].query.queryItemValue("scope"),
                 QStringLiteral("public"));
        QTRY_COMPARE(f.personal()->rows().size(), 2);

        QTest::keyClick(f.area->overlay(), Qt::Key_Escape);
        QVERIFY(f.area->overlay()->isHidden());

        QTest::mouseClick(f.area->bell(), Qt::LeftButton);
        QVERIFY(f.area->overlay()->isVisible());
        QTRY_COMPARE(m_fake.requestCount("/api/notifications"), 4);
        QTest::mousePress(f.area->overlay(), Qt::LeftButton, Qt::NoModifier, QPoint(900, 200));
        QVERIFY(f.area->overlay()->isVisible());
        QTest::mousePress(f.area->overlay(), Qt::LeftButton, Qt::NoModifier, QPoint(879, 200));
        QVERIFY(f.area->overlay()->isHidden());

        // The bell closes what it opened.
        QTest::mouseClick(f.area->bell(), Qt::LeftButton);
        QTest::mouseClick(f.area->bell(), Qt::LeftButton);
        QVERIFY(f.area->overlay()->isHidden());
    }

    void theFirstFetchFillsTheListsAndClicksReadRows()
    {
        signIn();
        Fixture f(m_fake);
        f.window.show();
        QTRY_COMPARE(f.personal()->rows().size(), 2);
        QTRY_COMPARE(f.area->list(NotificationService::Public)->rows().size(), 1);
        QVERIFY(!f.area->dot()->isHidden());
        NotifItem *unread = f.personal()->rows().at(0);
        QCOMPARE(unread->objectName(), QStringLiteral("NotifItemUnread"));
        QCOMPARE(f.personal()->rows().at(1)->objectName(), QStringLiteral("NotifItemRead"));

        QTest::mousePress(unread, Qt::LeftButton, Qt::NoModifier, QPoint(100, 30));
        QVERIFY(!unread->isUnread());
        QVERIFY(unread->isExpanded());
        QVERIFY(f.area->dot()->isHidden());
        QTRY_COMPARE(m_fake.markedReadIds(), QStringList{"n1"});
        QCOMPARE(f.account.value(AccountStore::ReadIds).toStringList(), QStringList{"n1"});

        // Another row of the scope collapses the first.
        QTest::mousePress(f.personal()->rows().at(1), Qt::LeftButton, Qt::NoModifier, QPoint(100, 30));
        QVERIFY(!unread->isExpanded());
        QVERIFY(f.personal()->rows().at(1)->isExpanded());
    }

    void theLanguageReRendersOpenRows()
    {
        signIn();
        Fixture f(m_fake, 60000);
        f.window.show();
        QTest::mouseClick(f.area->bell(), Qt::LeftButton);
        QTRY_COMPARE(f.personal()->rows().size(), 2);
        NotifItem *row = f.personal()->rows().at(0);
        QCOMPARE(row->titleLabel()->text(), QStringLiteral("Ticket answered: #7"));
        QCOMPARE(row->timeLabel()->text(), QStringLiteral("5 min ago"));

        f.area->place(true);
        QCOMPARE(row->titleLabel()->text(), QStringLiteral("پاسخ تیکت: #7"));
        QCOMPARE(row->timeLabel()->text(), QStringLiteral("۵ دقیقه پیش"));
        QCOMPARE(f.area->tab(0)->text(), QStringLiteral("شخصی"));
        QCOMPARE(f.area->tab(1)->text(), QStringLiteral("عمومی"));
        QCOMPARE(f.area->seeAll()->text(), QStringLiteral("مشاهده همه"));
        QCOMPARE(f.area->tab(0)->parentWidget()->layoutDirection(), Qt::RightToLeft);
        QCOMPARE(f.area->tab(0)->pos(), QPoint(4, 3));
        QCOMPARE(f.area->tab(1)->pos(), QPoint(140, 3));
        QVERIFY(f.area->overlay()->isVisible());
        // No new fetch for a language change.
        QCOMPARE(m_fake.requestCount("/api/notifications"), 2);

        f.area->place(false);
        QCOMPARE(row->titleLabel()->text(), QStringLiteral("Ticket answered: #7"));
        QCOMPARE(f.area->tab(0)->text(), QStringLiteral("Personal"));
    }

    void signedOutTheBellFetchesNothing()
    {
        Fixture f(m_fake);
        f.window.show();
        QTest::mouseClick(f.area->bell(), Qt::LeftButton);
        QTest::qWait(50);
        QCOMPARE(m_fake.requestCount("/api/notifications"), 0);
        QVERIFY(f.personal()->rows().isEmpty());
        QVERIFY(f.area->dot()->isHidden());
    }

private:
    void signIn()
    {
        bool done = false;
        ServiceClient client(ServiceConfig(m_fake.origin(), m_fake.origin(), m_fake.origin()),
                             [] { return ServiceApi::Credentials(); });
        client.send(
            ServiceApi::Endpoint::UserLogin, [&done](const ServiceApi::Reply &) { done = true; },
            QJsonObject{{"email", FakeService::kDemoEmail}, {"password", FakeService::kDemoPassword}});
        QTRY_VERIFY(done);
        AccountStore store;
        AccountStore::Account account;
        account.token = m_fake.currentToken();
        store.storeSignIn(account);
    }

    FakeService m_fake;
};

QTEST_MAIN(TestNotificationBell)
#include "tst_notificationbell.moc"
