// The bounds every reply is read within: what is cut, left out or refused
// in a game, a relay and a notification, how many entries are kept, and
// that a catalogue within the bounds goes to disk exactly as it came.

#include "services/GamesCatalogue.h"
#include "services/ReplyBounds.h"

#include <QJsonDocument>
#include <QTest>

using namespace ReplyBounds;

Q_DECLARE_METATYPE(QJsonObject)

namespace {

QString longText(int n, QChar c = QLatin1Char('x'))
{
    return QString(n, c);
}

QJsonArray nested(int depth)
{
    QJsonArray a{QStringLiteral("core")};
    for (int i = 1; i < depth; ++i) {
        // Not QJsonArray{a}: braces around one array may copy it instead of
        // nesting it, depending on the compiler.
        QJsonArray outer;
        outer.append(a);
        a = outer;
    }
    return a;
}

int depthOf(const QJsonValue &value)
{
    if (value.isArray())
        return value.toArray().isEmpty() ? 1 : 1 + depthOf(value.toArray().first());
    return 0;
}

} // namespace

class TestReplyBounds : public QObject
{
    Q_OBJECT
private slots:
    // One game through the bounds: the member after, or its absence; an
    // entry refused whole leaves nothing.
    void game_data()
    {
        QTest::addColumn<QJsonObject>("game");
        QTest::addColumn<bool>("refused");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QJsonValue>("after"); // undefined: left out
        QTest::addColumn<int>("textsCut");

        const QJsonObject base{{"id", "g1"}, {"title", "Arena"}};
        auto with = [&base](const char *key, const QJsonValue &value) {
            QJsonObject o = base;
            o.insert(QLatin1String(key), value);
            return o;
        };
        QTest::newRow("title cut") << with("title", longText(5000)) << false << "title"
                                   << QJsonValue(longText(kMaxTextChars)) << 1;
        QTest::newRow("title at the bound kept") << with("title", longText(kMaxTextChars)) << false << "title"
                                                 << QJsonValue(longText(kMaxTextChars)) << 0;
        QTest::newRow("long description kept") << with("description", longText(60000)) << false
                                               << "description" << QJsonValue(longText(60000)) << 0;
        QTest::newRow("description cut") << with("description", longText(70000)) << false << "description"
                                         << QJsonValue(longText(kMaxLongTextChars)) << 1;
        QTest::newRow("cover address left out") << with("coverImage", "https://x/" + longText(5000)) << false
                                                << "coverImage" << QJsonValue(QJsonValue::Undefined) << 0;
        QTest::newRow("id refuses the game")
            << with("id", longText(5000)) << true << "" << QJsonValue(QJsonValue::Undefined) << 0;
        QTest::newRow("numeric id kept") << with("id", 42) << false << "id" << QJsonValue(42) << 0;
        QTest::newRow("tag cut") << with("tags", QJsonArray{"a", longText(5000)}) << false << "tags"
                                 << QJsonValue(QJsonArray{"a", longText(kMaxTextChars)}) << 1;
        QTest::newRow("unknown member bounded too")
            << with("notes", longText(5000)) << false << "notes" << QJsonValue(longText(kMaxTextChars)) << 1;
        QTest::newRow("cut never splits a pair")
            << with("name", longText(kMaxTextChars - 1) + QString::fromUtf8("\xf0\x9f\x8e\xae") + "x")
            << false << "name" << QJsonValue(longText(kMaxTextChars - 1)) << 1;
    }

    void game()
    {
        QFETCH(QJsonObject, game);
        QFETCH(bool, refused);
        QFETCH(QString, key);
        QFETCH(QJsonValue, after);
        Report report;
        const QJsonArray out = bound(QJsonArray{game}, gameRules(), &report);
        QCOMPARE(report.entries, 1);
        QCOMPARE(report.refused, refused ? 1 : 0);
        QCOMPARE(out.size(), refused ? 0 : 1);
        if (refused)
            return;
        const QJsonObject bounded = out.first().toObject();
        QCOMPARE(bounded.value(key), after);
        QTEST(report.textsCut, "textsCut");
        QCOMPARE(bounded.value("title").toString().isEmpty(), false);
    }

    // Lists inside a game and nesting: cut to their bounds, the rest kept.
    void listsAndNesting()
    {
        QJsonArray ports;
        for (int i = 0; i < kMaxListItems + 500; ++i)
            ports.append(i);
        QJsonObject profile{{"id", "steam"}, {"udp_ports", QJsonArray{"27000-27100"}}};
        const QJsonObject game{
            {"id", "g"}, {"udp_ports", ports}, {"profiles", QJsonArray{profile}}, {"deep", nested(50)}};
        Report report;
        const QJsonObject out = bound(QJsonArray{game}, gameRules(), &report).first().toObject();
        QCOMPARE(out.value("udp_ports").toArray().size(), kMaxListItems);
        QCOMPARE(out.value("udp_ports").toArray().last().toInt(), kMaxListItems - 1);
        // A boost profile's own lists are well within the depth.
        QCOMPARE(out.value("profiles").toArray().first().toObject(), profile);
        QVERIFY(depthOf(out.value("deep")) < kMaxDepth);
        QVERIFY(report.valuesDropped >= 500 + 1);
        QCOMPARE(report.textsCut, 0);
    }

    // Entries beyond the bound are left out in order; non-objects list nothing.
    void entryCounts_data()
    {
        QTest::addColumn<int>("which"); // 0 games, 1 relays, 2 notifications
        QTest::addColumn<int>("bound");
        QTest::newRow("games") << 0 << kMaxGames;
        QTest::newRow("relays") << 1 << kMaxRelays;
        QTest::newRow("notifications") << 2 << kMaxNotifications;
    }

    void entryCounts()
    {
        QFETCH(int, which);
        QFETCH(int, bound);
        const EntryRules &rules = which == 0 ? gameRules() : which == 1 ? relayRules() : notificationRules();
        QJsonArray list{7, QStringLiteral("text")};
        for (int i = 0; i < bound + 10; ++i)
            list.append(QJsonObject{{"id", QString::number(i)}, {"title", "t"}, {"name", "n"}});
        Report report;
        const QJsonArray out = ReplyBounds::bound(list, rules, &report);
        QCOMPARE(out.size(), bound);
        QCOMPARE(out.first().toObject().value("id").toString(), QStringLiteral("0"));
        QCOMPARE(out.last().toObject().value("id").toString(), QString::number(bound - 1));
        QCOMPARE(report.entries, bound + 10);
        QCOMPARE(report.kept, bound);
        QVERIFY(report.any());
        QVERIFY(report.summary("things").startsWith(
            QStringLiteral("kept %1 of %2 things").arg(bound).arg(bound + 10)));
    }

    // Relays and notifications keep only what the client reads.
    void onlyReadMembersKept()
    {
        const QJsonObject relay{{"id", "r1"},
                                {"name", "Relay"},
                                {"flag", "/f/" + longText(5000)},
                                {"secret_payload", QJsonArray{1, 2, 3}}};
        Report report;
        const QJsonObject r = bound(QJsonArray{relay}, relayRules(), &report).first().toObject();
        QCOMPARE(r.keys(), (QStringList{"id", "name"}));

        const QJsonObject note{{"id", "n"}, {"title", longText(5000)}, {"body", longText(70000)}, {"x", 1}};
        const QJsonObject n = bound(QJsonArray{note}, notificationRules(), nullptr).first().toObject();
        QCOMPARE(n.keys(), (QStringList{"body", "id", "title"}));
        QCOMPARE(n.value("title").toString().size(), kMaxTextChars);
        QCOMPARE(n.value("body").toString().size(), kMaxLongTextChars);
    }

    void singleTexts()
    {
        QCOMPARE(text(QJsonValue(longText(5000))).size(), kMaxTextChars);
        QCOMPARE(text(QJsonValue(QStringLiteral("short"))), QStringLiteral("short"));
        QCOMPARE(text(QJsonValue(5)), QString());
        QVERIFY(wholeText(QJsonValue(longText(5000))).isEmpty());
        QCOMPARE(wholeText(QJsonValue(QStringLiteral("tok"))), QStringLiteral("tok"));
    }

    // A catalogue within the bounds is kept byte for byte; one that is not
    // is kept in its bounded form, which reads back as the same games.
    void keptCatalogue()
    {
        const QByteArray good =
            R"({"data":[{"id":"a","title":"A","extra":{"x":[1,2]}},{"id":"b","title":"B"}],"meta":1})";
        PreparedCatalogue prepared = prepareCatalogue(good);
        QVERIFY(prepared.isCatalogue);
        QVERIFY(!prepared.report.any());
        QCOMPARE(prepared.kept, good);
        QCOMPARE(prepared.items.size(), 2);
        QCOMPARE(prepared.records.size(), 2);

        QJsonArray games{QJsonObject{{"id", "a"}, {"title", longText(9000)}}, QJsonObject{{"id", "b"}}};
        prepared = prepareCatalogue(QJsonDocument(QJsonObject{{"games", games}}).toJson());
        QVERIFY(prepared.report.any());
        const PreparedCatalogue again = prepareCatalogue(prepared.kept);
        QVERIFY(!again.report.any());
        QCOMPARE(again.items.size(), 2);
        QCOMPARE(again.items.first().title.size(), kMaxTextChars);
        QCOMPARE(again.kept, prepared.kept);

        QVERIFY(!prepareCatalogue("<html>portal</html>").isCatalogue);
    }
};

QTEST_GUILESS_MAIN(TestReplyBounds)
#include "tst_replybounds.moc"
