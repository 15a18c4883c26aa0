// Notifications against the fake service: the two scope requests, what a
// reply lists and counts, and what a click on a row remembers and reports.

#include "ServiceTestSupport.h"
#include "services/AccountStore.h"
#include "services/NotificationService.h"
#include "services/ReplyBounds.h"
#include "support/fakeservice/LoopbackGuard.h"
#include "support/faketools/DebugLog.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>

#include <memory>
#include <vector>

namespace {

struct FakeRow : NotificationRow
{
    NotificationEntry entry;
    bool expanded = false;
    QString notificationId() const override { return entry.id; }
    bool isUnread() const override { return entry.unread; }
    void markRead() override { entry.unread = false; }
    bool isExpanded() const override { return expanded; }
    void setExpanded(bool e) override { expanded = e; }
};

struct FakeList : NotificationList
{
    std::vector<std::unique_ptr<FakeRow>> rows;
    int clears = 0;
    void clearRows() override
    {
        rows.clear();
        ++clears;
    }
    NotificationRow *addRow(const NotificationEntry &entry) override
    {
        rows.push_back(std::make_unique<FakeRow>());
        rows.back()->entry = entry;
        return rows.back().get();
    }
    QStringList titles() const
    {
        QStringList out;
        for (const auto &r : rows)
            out << r->entry.title;
        return out;
    }
    QList<bool> unread() const
    {
        QList<bool> out;
        for (const auto &r : rows)
            out << r->entry.unread;
        return out;
    }
};

QJsonObject note(const QString &id, const QString &title, const QJsonValue &unread = QJsonValue::Undefined)
{
    QJsonObject o{{"id", id}, {"title", title}, {"body", "b-" + id}, {"created_at", "2026-01-02T03:04:05Z"}};
    if (!unread.isUndefined())
        o.insert("unread", unread);
    return o;
}

} // namespace

class TestNotificationService : public QObject
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
        m_fake.clearRequests();
        m_fake.clearScripts();
        m_fake.setNotifications("personal", {});
        m_fake.setNotifications("public", {});
        m_account = std::make_unique<AccountStore>();
        m_account->signOut();
        m_account->setValue(AccountStore::ReadIds, QStringList());
        m_client =
            std::make_unique<ServiceClient>(ServiceTest::configFor(m_fake), m_account->credentialsSource());
        m_service = std::make_unique<NotificationService>(m_client.get(), m_account.get());
        m_personal = FakeList();
        m_public = FakeList();
        m_service->setList(NotificationService::Personal, &m_personal);
        m_service->setList(NotificationService::Public, &m_public);
    }

    void cleanup()
    {
        m_service.reset();
        m_client.reset();
        if (m_account) {
            m_account->signOut();
            m_account->setValue(AccountStore::ReadIds, QStringList());
        }
        m_account.reset();
    }

    void bothScopesAreAskedForWithTheBearerOnly()
    {
        signIn(true);
        fetchAndWait();
        const QList<RecordedRequest> requests = m_fake.requests("/api/notifications");
        QCOMPARE(requests.size(), 2);
        QCOMPARE(requests[0].query.toString(), QStringLiteral("scope=personal&limit=20"));
        QCOMPARE(requests[1].query.toString(), QStringLiteral("scope=public&limit=20"));
        for (const RecordedRequest &r : requests) {
            QCOMPARE(r.method, QByteArray("GET"));
            QCOMPARE(r.header("Authorization"), "Bearer " + m_fake.currentToken().toUtf8());
            QCOMPARE(r.header("User-Agent"), QByteArray("Quorlix/2.0.0"));
            QVERIFY(!r.hasHeader("X-Device-Id"));
        }
    }

    void aSignInForThisRunOnlyFetchesWithItsToken()
    {
        signIn(false);
        QVERIFY(m_account->storedToken().isEmpty());
        m_fake.setNotifications("personal", {note("n1", "Hello")});
        fetchAndWait();
        QCOMPARE(m_fake.lastRequest("/api/notifications").header("Authorization"),
                 "Bearer " + m_fake.currentToken().toUtf8());
        QCOMPARE(m_personal.titles(), QStringList{"Hello"});
    }

    void withoutATokenNothingIsSentAndTheListsEmpty()
    {
        m_personal.addRow(NotificationEntry{"old", "Old", {}, {}, true});
        QSignalSpy dot(m_service.get(), &NotificationService::unreadChanged);
        m_service->fetchNotifications();
        QCOMPARE(m_personal.rows.size(), size_t(0));
        QCOMPARE(m_public.clears, 1);
        QVERIFY(!dot.isEmpty());
        QCOMPARE(dot.last().at(0).toBool(), false);
        QTest::qWait(50);
        QCOMPARE(m_fake.requestCount("/api/notifications"), 0);
    }

    void entriesListedAndCounted_data()
    {
        QTest::addColumn<QJsonValue>("reply");
        QTest::addColumn<int>("status");
        QTest::addColumn<QStringList>("titles");
        QTest::addColumn<QList<bool>>("unread");
        QTest::addColumn<int>("count");

        const QJsonArray mixed{note("a", "A"),        note("b", "B", 1),    note("c", "C", "yes"),
                               note("d", "D", false), note("e", "E", true), note("stored", "S", true),
                               note("f", "  "),       note("g", "", true)};
        const QStringList titles{"A", "B", "C", "D", "E", "S"};
        const QList<bool> unread{true, true, true, false, true, false};
        QTest::newRow("items object")
            << QJsonValue(QJsonObject{{"items", mixed}}) << 200 << titles << unread << 4;
        QTest::newRow("bare array") << QJsonValue(mixed) << 200 << titles << unread << 4;
        QTest::newRow("items not an array")
            << QJsonValue(QJsonObject{{"items", "x"}}) << 200 << QStringList() << QList<bool>() << 0;
        QTest::newRow("401") << QJsonValue(QJsonObject{{"items", mixed}}) << 401 << QStringList()
                             << QList<bool>() << 0;
        QTest::newRow("500") << QJsonValue(mixed) << 500 << QStringList() << QList<bool>() << 0;
        QJsonArray odd{QJsonValue(7), QJsonValue("text"), QJsonObject{{"id", 42}, {"title", "<b>x</b> & y"}}};
        QTest::newRow("not objects, numeric id, markup")
            << QJsonValue(odd) << 200 << QStringList{"<b>x</b> & y"} << QList<bool>{true} << 1;
    }
    void entriesListedAndCounted()
    {
        QFETCH(QJsonValue, reply);
        QFETCH(int, status);
        QFETCH(QStringList, titles);
        QFETCH(QList<bool>, unread);
        QFETCH(int, count);
        signIn(true);
        m_account->setValue(AccountStore::ReadIds, QStringList{"stored"});
        m_personal.addRow(NotificationEntry{"old", "Old", {}, {}, true});
        m_fake.script("GET", "/api/notifications", FakeReply::json(reply, status));
        fetchAndWait();
        QCOMPARE(m_personal.titles(), titles);
        QCOMPARE(m_personal.unread(), unread);
        QCOMPARE(m_service->unreadCount(NotificationService::Personal), count);
        QCOMPARE(m_service->unreadCount(NotificationService::Public), count);
        QCOMPARE(m_service->hasUnread(), count > 0);
    }

    void aNonJsonOrStalledReplyEmptiesTheScope()
    {
        signIn(true);
        m_fake.setNotifications("public", {note("p", "P")});
        m_fake.script("GET", "/api/notifications", FakeReply::text("<html>", 200));
        m_personal.addRow(NotificationEntry{"old", "Old", {}, {}, true});
        fetchAndWait();
        QVERIFY(m_personal.rows.empty());
        QVERIFY(m_public.rows.empty());

        m_client->setInactivityTimeout(100);
        m_fake.script("GET", "/api/notifications", FakeReply::hanging());
        m_public.addRow(NotificationEntry{"old", "Old", {}, {}, true});
        fetchAndWait();
        QVERIFY(m_public.rows.empty());
        QVERIFY(!m_service->hasUnread());
    }

    // Replies can land out of order; the list is the newest fetch's, whether
    // that fetch was answered or found nobody signed in.
    void anOlderFetchsLateReplyIsSetAside_data()
    {
        QTest::addColumn<bool>("signedOutBetween");
        QTest::addColumn<QStringList>("titles");
        QTest::newRow("newer fetch answered") << false << QStringList{"Newer"};
        QTest::newRow("signed out before the newer fetch") << true << QStringList{};
    }
    void anOlderFetchsLateReplyIsSetAside()
    {
        QFETCH(bool, signedOutBetween);
        QFETCH(QStringList, titles);
        signIn(true);
        FakeReply older = FakeReply::json(QJsonObject{{"items", QJsonArray{note("o", "Older")}}});
        older.held = true;
        older.times = 1;
        m_fake.script("GET", "/api/notifications", older);
        const int before = m_fake.requestCount("/api/notifications");
        m_service->fetchScope(NotificationService::Personal);
        QTRY_COMPARE(m_fake.requestCount("/api/notifications"), before + 1);

        m_fake.setNotifications("personal", {note("n", "Newer")});
        if (signedOutBetween)
            m_account->signOut();
        m_service->fetchScope(NotificationService::Personal);
        if (!signedOutBetween)
            QTRY_COMPARE(m_personal.titles(), titles);

        DebugLog log("[Notifs]");
        QCOMPARE(m_fake.releaseHeld(), 1);
        QTRY_COMPARE(log.lines(), QStringList{"[Notifs] reply of an older fetch set aside, scope=personal"});
        QCOMPARE(m_personal.titles(), titles);
        QCOMPARE(m_service->unreadCount(NotificationService::Personal), int(titles.size()));
    }

    void manyEntriesAreAllListedInOrder()
    {
        signIn(true);
        QJsonArray many;
        QStringList titles;
        for (int i = 0; i < 500; ++i) {
            many.append(note(QString::number(i), "T" + QString::number(i)));
            titles << "T" + QString::number(i);
        }
        many[3] = QJsonObject{{"id", "long"}, {"title", "Long"}, {"body", QString(10000, 'x')}};
        titles[3] = "Long";
        m_fake.script("GET", "/api/notifications", FakeReply::json(QJsonObject{{"items", many}}));
        fetchAndWait();
        // The rows are listed a slice at a time from the event loop: the
        // first slice alone may be in when the fetch has signalled.
        QTRY_COMPARE(m_personal.titles(), titles);
        QCOMPARE(m_personal.rows[3]->entry.body.size(), 10000);
        QCOMPARE(m_service->unreadCount(NotificationService::Personal), 500);
    }

    void entryFieldsAreRead()
    {
        QList<NotificationEntry> entries;
        QVERIFY(NotificationService::parseEntries(
            R"([{"id":"x","title":"T","body":"B","created_at":"2026-01-02T05:04:05+02:00"},
                {"created_at":"yesterday"}])",
            &entries));
        QCOMPARE(entries.size(), 2);
        QCOMPARE(entries[0].created, QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5), Qt::UTC));
        QCOMPARE(entries[0].created.timeSpec(), Qt::UTC);
        QCOMPARE(entries[0].body, QStringLiteral("B"));
        QVERIFY(!entries[1].created.isValid());
        QVERIFY(!NotificationService::parseEntries("\"text\"", &entries));
        QVERIFY(!NotificationService::parseEntries("{", &entries));
    }

    void clickingRowsMarksReadOnceAndKeepsOneExpanded()
    {
        signIn(true);
        m_fake.setNotifications("personal", {note("n1", "One"), note("n2", "Two", false)});
        fetchAndWait();
        QSignalSpy dot(m_service.get(), &NotificationService::unreadChanged);
        FakeRow *one = m_personal.rows[0].get();
        FakeRow *two = m_personal.rows[1].get();
        QVERIFY(m_service->hasUnread());

        m_service->markNotificationRead(NotificationService::Personal, one);
        QVERIFY(!one->isUnread());
        QVERIFY(one->expanded);
        QCOMPARE(dot.last().at(0).toBool(), false);
        QCOMPARE(m_account->value(AccountStore::ReadIds).toStringList(), QStringList{"n1"});
        QTRY_COMPARE(m_fake.markedReadIds(), QStringList{"n1"});
        const RecordedRequest post = m_fake.lastRequest("/api/notifications/mark-read");
        QCOMPARE(post.body, QByteArray(R"({"ids":["n1"]})"));
        QCOMPARE(post.header("Content-Type"), QByteArray("application/json"));
        QCOMPARE(post.header("User-Agent"), QByteArray("Quorlix/2.0.0"));

        // Another row collapses the first; clicking it again only collapses it.
        m_service->markNotificationRead(NotificationService::Personal, two);
        QVERIFY(!one->expanded);
        QVERIFY(two->expanded);
        m_service->markNotificationRead(NotificationService::Personal, two);
        QVERIFY(!two->expanded);
        m_service->markNotificationRead(NotificationService::Personal, one);
        m_service->markNotificationRead(NotificationService::Personal, one);
        QTest::qWait(50);
        QCOMPARE(m_fake.requestCount("/api/notifications/mark-read"), 1);
        QCOMPARE(m_account->value(AccountStore::ReadIds).toStringList(), QStringList{"n1"});

        // The next fetch shows it read: the service was told.
        fetchAndWait();
        QCOMPARE(m_personal.unread(), (QList<bool>{false, false}));
    }

    void theReadListKeepsTheNewest400()
    {
        QStringList stored;
        for (int i = 0; i < 400; ++i)
            stored << "old" + QString::number(i);
        m_account->setValue(AccountStore::ReadIds, stored);
        FakeRow row;
        row.entry = NotificationEntry{"fresh", "F", {}, {}, true};
        m_service->markNotificationRead(NotificationService::Public, &row);
        const QStringList now = m_account->value(AccountStore::ReadIds).toStringList();
        QCOMPARE(now.size(), 400);
        QCOMPARE(now.first(), QStringLiteral("old1"));
        QCOMPARE(now.last(), QStringLiteral("fresh"));

        // Already stored: nothing written, however the list looks.
        m_account->setValue(AccountStore::ReadIds, QStringList{"b", "a", "b"});
        FakeRow again;
        again.entry = NotificationEntry{"a", "A", {}, {}, true};
        m_service->markNotificationRead(NotificationService::Public, &again);
        QCOMPARE(m_account->value(AccountStore::ReadIds).toStringList(), (QStringList{"b", "a", "b"}));
    }

    void aRowWithoutIdIsReadLocallyOnly()
    {
        signIn(true);
        FakeRow row;
        row.entry = NotificationEntry{QString(), "No id", {}, {}, true};
        m_service->markNotificationRead(NotificationService::Personal, &row);
        QVERIFY(!row.isUnread());
        QVERIFY(row.expanded);
        QTest::qWait(50);
        QCOMPARE(m_fake.requestCount("/api/notifications/mark-read"), 0);
        QVERIFY(m_account->value(AccountStore::ReadIds).toStringList().isEmpty());
    }

    // A reply far longer than asked for: the list stops at its bound, rows
    // come a slice per turn of the event loop, the first slice at once, and
    // a new fetch drops what an older reply still had to list.
    void floodIsCutAndListedInSlices()
    {
        signIn(true);
        QJsonArray flood;
        for (int i = 0; i < 100000; ++i)
            flood.append(note(QString::number(i), i == 0 ? QString(9000, 't') : QStringLiteral("N")));
        m_fake.script("GET", "/api/notifications", FakeReply::json(QJsonObject{{"items", flood}}));
        // The rows listed each time the dot is set: one slice more each time.
        QList<int> listed;
        QObject probe;
        connect(m_service.get(), &NotificationService::unreadChanged, &probe,
                [&]() { listed << int(m_personal.rows.size()); });
        m_service->fetchScope(NotificationService::Personal);
        QTRY_COMPARE(m_personal.rows.size(), size_t(ReplyBounds::kMaxNotifications));
        QCOMPARE(m_personal.rows.front()->entry.title.size(), ReplyBounds::kMaxTextChars);
        QVERIFY(listed.contains(NotificationService::kRowsPerSlice));
        for (int i = 1; i < listed.size(); ++i)
            QVERIFY(listed.at(i) - listed.at(i - 1) <= NotificationService::kRowsPerSlice);
        QCOMPARE(m_personal.rows.back()->entry.id, QString::number(ReplyBounds::kMaxNotifications - 1));
        QCOMPARE(m_service->unreadCount(NotificationService::Personal), ReplyBounds::kMaxNotifications);

        // A fetch while rows are still to come: the old ones stop.
        m_fake.script("GET", "/api/notifications", FakeReply::json(QJsonObject{{"items", flood}}));
        m_service->fetchScope(NotificationService::Personal);
        QTRY_COMPARE(m_personal.clears, 2);
        QTRY_VERIFY(m_personal.rows.size() > 0);
        m_fake.script("GET", "/api/notifications",
                      FakeReply::json(QJsonObject{{"items", QJsonArray{note("x", "X")}}}));
        m_service->fetchScope(NotificationService::Personal);
        QTRY_COMPARE(m_personal.titles(), QStringList{"X"});
        QCOMPARE(m_service->unreadCount(NotificationService::Personal), 1);
    }

private:
    // Signs the demo account in at the fake; kept in the store or for this run.
    void signIn(bool remembered)
    {
        bool done = false;
        m_client->send(
            ServiceApi::Endpoint::UserLogin, [&done](const ServiceApi::Reply &) { done = true; },
            QJsonObject{{"email", FakeService::kDemoEmail}, {"password", FakeService::kDemoPassword}});
        QTRY_VERIFY(done);
        AccountStore::Account account;
        account.token = m_fake.currentToken();
        if (remembered)
            m_account->storeSignIn(account);
        else
            m_account->keepForThisRun(account);
        QCOMPARE(m_account->token(), m_fake.currentToken());
    }

    void fetchAndWait()
    {
        const int before = m_fake.requestCount("/api/notifications");
        QSignalSpy dot(m_service.get(), &NotificationService::unreadChanged);
        m_service->fetchNotifications();
        QTRY_COMPARE(m_fake.requestCount("/api/notifications"), before + 2);
        // Each scope signals once when emptied and once when filled (or failed).
        QTRY_VERIFY(dot.count() >= 4);
    }

    FakeService m_fake;
    std::unique_ptr<AccountStore> m_account;
    std::unique_ptr<ServiceClient> m_client;
    std::unique_ptr<NotificationService> m_service;
    FakeList m_personal;
    FakeList m_public;
};

QTEST_MAIN(TestNotificationService)
#include "tst_notificationservice.moc"
