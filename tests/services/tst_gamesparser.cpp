// The catalogue parser and jsonToBool: where a reply keeps its games, how each
// member of a game object becomes a field of GameApiItem, and hostile bodies.

#include "services/GamesCatalogue.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

static QByteArray json(const QJsonValue &value)
{
    if (value.isArray())
        return QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact);
    return QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact);
}

static QStringList ids(const QList<GameApiItem> &items)
{
    QStringList out;
    for (const GameApiItem &item : items)
        out << item.id;
    return out;
}

static QVariant field(const GameApiItem &item, const QString &name)
{
    if (name == "id")
        return item.id;
    if (name == "title")
        return item.title;
    if (name == "cover")
        return item.cover;
    if (name == "logo")
        return item.logo;
    if (name == "category")
        return item.category;
    if (name == "type")
        return item.type;
    if (name == "tags")
        return item.tags;
    if (name == "isFree")
        return item.isFree;
    if (name == "freeDaysLeft")
        return item.freeDaysLeft;
    if (name == "freeSource")
        return item.freeSource;
    return QVariant();
}

class TestGamesParser : public QObject
{
    Q_OBJECT
private slots:
    void whereTheGamesAre_data();
    void whereTheGamesAre();
    void fields_data();
    void fields();
    void jsonToBoolValues_data();
    void jsonToBoolValues();
    void largeBodies();
    void withoutAnOutListNothingHappens();
};

void TestGamesParser::whereTheGamesAre_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QStringList>("ids");
    QTest::addColumn<bool>("hasArray"); // selectGamesArray finds an array (even an empty one)

    const QJsonArray two{QJsonObject{{"id", "a"}}, QJsonObject{{"id", "b"}}};
    const QJsonArray other{QJsonObject{{"id", "z"}}};
    const QStringList ab{"a", "b"};
    QTest::newRow("bare array") << json(two) << ab << true;
    QTest::newRow("under data") << json(QJsonObject{{"data", two}}) << ab << true;
    QTest::newRow("under games") << json(QJsonObject{{"games", two}}) << ab << true;
    QTest::newRow("data before games") << json(QJsonObject{{"data", two}, {"games", other}}) << ab << true;
    QTest::newRow("data an object, games an array")
        << json(QJsonObject{{"data", QJsonObject{{"games", other}}}, {"games", two}}) << ab << true;
    QTest::newRow("only under items") << json(QJsonObject{{"items", two}}) << QStringList() << false;
    QTest::newRow("empty array") << QByteArray("[]") << QStringList() << true;
    QTest::newRow("non-object elements skipped")
        << QByteArray(R"([1, "x", null, [], {"id":"a"}, true, {"id":"b"}])") << ab << true;
    QTest::newRow("empty object") << QByteArray("{}") << QStringList() << false;
    QTest::newRow("HTML page") << QByteArray("<html><body>502 Bad Gateway</body></html>") << QStringList()
                               << false;
    QTest::newRow("cut JSON") << json(two).left(15) << QStringList() << false;
    QTest::newRow("empty body") << QByteArray() << QStringList() << false;
    QTest::newRow("scalar document") << QByteArray("42") << QStringList() << false;
}

void TestGamesParser::whereTheGamesAre()
{
    QFETCH(QByteArray, body);
    QFETCH(QStringList, ids);
    QFETCH(bool, hasArray);
    QList<GameApiItem> items{GameApiItem{}}; // a stale entry must go
    QCOMPARE(parseGamesJson(body, &items), !ids.isEmpty());
    QCOMPARE(::ids(items), ids);
    QCOMPARE(selectGamesArray(QJsonDocument::fromJson(body), nullptr), hasArray);
}

void TestGamesParser::fields_data()
{
    QTest::addColumn<QJsonObject>("game");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QVariant>("expected");

    auto row = [](const char *name, const QJsonObject &game, const char *field, const QVariant &expected) {
        QTest::newRow(name) << game << QString::fromLatin1(field) << expected;
    };
    // ids of every JSON type
    row("id number", {{"id", 42}}, "id", QString("42"));
    row("id string", {{"id", "arena-strike"}}, "id", QString("arena-strike"));
    row("id large number", {{"id", 1234567890123.0}}, "id", QString("1234567890123"));
    row("id missing", {}, "id", QString());
    row("id null", {{"id", QJsonValue::Null}}, "id", QString());
    row("id boolean", {{"id", true}}, "id", QString("true"));
    row("id object", {{"id", QJsonObject{{"x", 1}}}}, "id", QString());

    row("title", {{"title", "Arena"}, {"name", "arena"}}, "title", QString("Arena"));
    row("empty title takes name", {{"title", ""}, {"name", "arena"}}, "title", QString("arena"));
    row("title of another type takes name", {{"title", 5}, {"name", "arena"}}, "title", QString("arena"));
    row("neither title nor name", {{"id", "x"}}, "title", QString("-"));

    row("category", {{"category", "PC"}, {"platform", "Console"}}, "category", QString("PC"));
    row("platform stands in for category", {{"platform", "Console"}}, "category", QString("Console"));
    row("app_type stands in for type", {{"type", ""}, {"app_type", "Launcher"}}, "type", QString("Launcher"));

    row("tags keep strings only", {{"tags", QJsonArray{"a", 1, QJsonValue::Null, "b"}}}, "tags",
        QStringList{"a", "b"});
    row("tags not an array", {{"tags", "a,b"}}, "tags", QStringList());

    row("free days as text", {{"free_days_left", "7"}}, "freeDaysLeft", 7);
    row("free days padded text", {{"free_days_left", " 7 "}}, "freeDaysLeft", 7);
    row("free days a word", {{"free_days_left", "seven"}}, "freeDaysLeft", -1);
    row("free days with a fraction", {{"free_days_left", 3.5}}, "freeDaysLeft", 0);
    row("free days a boolean", {{"free_days_left", true}}, "freeDaysLeft", -1);
    row("free days missing", {}, "freeDaysLeft", -1);
    row("free days a number", {{"free_days_left", 12}}, "freeDaysLeft", 12);
    row("free source", {{"free_source", "promo"}}, "freeSource", QString("promo"));

    row("is_free used when effective is false", {{"is_free_effective", false}, {"is_free", true}}, "isFree",
        true);
    row("effective true wins", {{"is_free_effective", "yes"}, {"is_free", 0}}, "isFree", true);
    row("neither flag", {{"is_free_effective", "0"}}, "isFree", false);

    row("only icon: logo", {{"icon", "/uploads/i.png"}}, "logo", QString("/uploads/i.png"));
    row("only icon: cover", {{"icon", "/uploads/i.png"}}, "cover", QString("/uploads/i.png"));
    row("only image: cover", {{"image", "/uploads/c.png"}}, "cover", QString("/uploads/c.png"));
    row("only image: logo", {{"image", "/uploads/c.png"}}, "logo", QString("/uploads/c.png"));
    row("cover order", {{"image", "4"}, {"coverImage", "3"}, {"cover_url", "2"}}, "cover", QString("2"));
    row("empty cover skipped", {{"cover", ""}, {"coverImage", "3"}}, "cover", QString("3"));
    row("logo order", {{"icon", "3"}, {"logo_url", "2"}}, "logo", QString("2"));
    row("cover and logo kept apart", {{"cover", "c"}, {"logo", "l"}}, "logo", QString("l"));
}

void TestGamesParser::fields()
{
    QFETCH(QJsonObject, game);
    QFETCH(QString, field);
    QFETCH(QVariant, expected);
    QList<GameApiItem> items;
    QVERIFY(parseGamesJson(json(QJsonArray{game}), &items));
    QCOMPARE(items.size(), 1);
    QCOMPARE(::field(items.first(), field), expected);
}

void TestGamesParser::jsonToBoolValues_data()
{
    QTest::addColumn<QJsonValue>("value");
    QTest::addColumn<bool>("expected");
    QTest::newRow("true") << QJsonValue(true) << true;
    QTest::newRow("false") << QJsonValue(false) << false;
    QTest::newRow("padded YES") << QJsonValue(" YES ") << true;
    QTest::newRow("text True") << QJsonValue("True") << true;
    QTest::newRow("text 1") << QJsonValue("1") << true;
    QTest::newRow("text 0") << QJsonValue("0") << false;
    QTest::newRow("text no") << QJsonValue("no") << false;
    QTest::newRow("text 2") << QJsonValue("2") << false;
    QTest::newRow("number 1") << QJsonValue(1) << true;
    QTest::newRow("number -3") << QJsonValue(-3) << true;
    QTest::newRow("number 0") << QJsonValue(0) << false;
    QTest::newRow("number 0.5") << QJsonValue(0.5) << false;
    QTest::newRow("number 1.5") << QJsonValue(1.5) << false;
    QTest::newRow("null") << QJsonValue(QJsonValue::Null) << false;
    QTest::newRow("missing") << QJsonValue(QJsonValue::Undefined) << false;
    QTest::newRow("array") << QJsonValue(QJsonArray{1}) << false;
    QTest::newRow("object") << QJsonValue(QJsonObject{{"a", 1}}) << false;
}

void TestGamesParser::jsonToBoolValues()
{
    QFETCH(QJsonValue, value);
    QFETCH(bool, expected);
    QCOMPARE(jsonToBool(value), expected);
}

void TestGamesParser::largeBodies()
{
    // 10,000 games keep their order.
    QJsonArray many;
    for (int i = 0; i < 10000; ++i)
        many.append(QJsonObject{{"id", i}, {"title", QString("Game %1").arg(i)}, {"tags", QJsonArray{"t"}}});
    QList<GameApiItem> items;
    QVERIFY(parseGamesJson(json(QJsonObject{{"data", many}}), &items));
    QCOMPARE(items.size(), 10000);
    QCOMPARE(items.last().id, QString("9999"));

    // A 20 MB body: one title of nearly all of it.
    const QByteArray huge = "[{\"id\":\"big\",\"title\":\"" + QByteArray(20 * 1024 * 1024, 'x') + "\"}]";
    QVERIFY(parseGamesJson(huge, &items));
    QCOMPARE(items.size(), 1);
    QCOMPARE(items.first().title.size(), 20 * 1024 * 1024);

    // The same body cut at its end is no catalogue.
    QVERIFY(!parseGamesJson(huge.left(huge.size() - 3), &items));
    QVERIFY(items.isEmpty());
}

void TestGamesParser::withoutAnOutListNothingHappens()
{
    QVERIFY(!parseGamesJson(R"([{"id":"a"}])", nullptr));
}

QTEST_GUILESS_MAIN(TestGamesParser)
#include "tst_gamesparser.moc"
