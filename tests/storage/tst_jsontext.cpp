// The list-column JSON text must be exactly what QJsonDocument writes and
// reads, whichever path produced it.

#include "storage/JsonText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QtTest>

namespace {

QByteArray qtWrite(const QVariant &value)
{
    const QJsonValue json = QJsonValue::fromVariant(value);
    if (json.isArray())
        return QJsonDocument(json.toArray()).toJson(QJsonDocument::Compact);
    if (json.isObject())
        return QJsonDocument(json.toObject()).toJson(QJsonDocument::Compact);
    return QByteArray();
}

QVariant qtRead(const QByteArray &text)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(text, &error);
    return error.error == QJsonParseError::NoError ? doc.toVariant() : QVariant();
}

// QVariant's == converts between numeric types; the stored lists must also
// come back with the same types, so compare those too.
bool sameVariant(const QVariant &a, const QVariant &b, QString *where, const QString &path = "$")
{
    if (a.typeId() != b.typeId()) {
        *where =
            QString("%1: type %2 vs %3")
                .arg(path, a.typeName() ? a.typeName() : "invalid", b.typeName() ? b.typeName() : "invalid");
        return false;
    }
    if (a.typeId() == QMetaType::QVariantList) {
        const QVariantList la = a.toList(), lb = b.toList();
        if (la.size() != lb.size()) {
            *where = path + ": length";
            return false;
        }
        for (int i = 0; i < la.size(); ++i) {
            if (!sameVariant(la.at(i), lb.at(i), where, QString("%1[%2]").arg(path).arg(i)))
                return false;
        }
        return true;
    }
    if (a.typeId() == QMetaType::QVariantMap) {
        const QVariantMap ma = a.toMap(), mb = b.toMap();
        if (ma.keys() != mb.keys()) {
            *where = path + ": keys";
            return false;
        }
        for (auto it = ma.begin(); it != ma.end(); ++it) {
            if (!sameVariant(it.value(), mb.value(it.key()), where, path + "." + it.key()))
                return false;
        }
        return true;
    }
    if (a.typeId() == QMetaType::Double) {
        if (qIsNaN(a.toDouble()) && qIsNaN(b.toDouble()))
            return true;
    }
    if (a.typeId() == QMetaType::Nullptr || !a.isValid())
        return true;
    if (a != b) {
        *where = path + ": value";
        return false;
    }
    return true;
}

} // namespace

class tst_JsonText : public QObject
{
    Q_OBJECT

private slots:
    void writesWhatQtWrites_data();
    void writesWhatQtWrites();
    void readsWhatQtReads_data();
    void readsWhatQtReads();
    void randomListsRoundTrip();
};

void tst_JsonText::writesWhatQtWrites_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::newRow("strings") << QVariant(QVariantList{"fps", "battle royale", ""});
    QTest::newRow("string list") << QVariant(QStringList{"80", "443"});
    QTest::newRow("empty list") << QVariant(QVariantList{});
    QTest::newRow("empty map") << QVariant(QVariantMap{});
    QTest::newRow("mixed ports") << QVariant(QVariantList{27015, "27020-27030", qlonglong(1) << 40, -7, 0u});
    QTest::newRow("escapes") << QVariant(QVariantList{"quote \" and back\\slash", "a/b"});
    QTest::newRow("control chars") << QVariant(QVariantList{"tab\there", "line\nbreak", QString(QChar(1))});
    QTest::newRow("non-ASCII") << QVariant(QVariantList{"café", "بازی", "日本"});
    QTest::newRow("DEL") << QVariant(QVariantList{QString(QChar(0x7f))});
    QTest::newRow("bools and nulls") << QVariant(
        QVariantList{true, false, QVariant(), QVariant::fromValue(nullptr)});
    QTest::newRow("doubles") << QVariant(QVariantList{1.5, 2.0, -0.0, 1e300, 0.1});
    QTest::newRow("huge integers") << QVariant(QVariantList{qlonglong(1) << 60, -(qlonglong(1) << 55)});
    QTest::newRow("profiles") << QVariant(QVariantList{QVariantMap{
        {"id", "steam"}, {"title", "Steam"}, {"udp_ports", QVariantList{"27000-27100"}}, {"enabled", true}}});
    QTest::newRow("nested map") << QVariant(
        QVariantMap{{"b", QVariantMap{{"z", 1}, {"a", QVariantList{}}}}, {"a", "x"}});
    QTest::newRow("odd types") << QVariant(QVariantList{QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5)),
                                                        QByteArray("bytes"), QVariant::fromValue(short(3))});
    QTest::newRow("hash") << QVariant(QVariantHash{{"k", 1}, {"a", 2}});
    QTest::newRow("not a list: text") << QVariant("just text");
    QTest::newRow("not a list: number") << QVariant(5);
    QTest::newRow("invalid") << QVariant();
}

void tst_JsonText::writesWhatQtWrites()
{
    QFETCH(QVariant, value);
    QCOMPARE(JsonText::write(value), qtWrite(value));
}

void tst_JsonText::readsWhatQtReads_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("strings") << QByteArray(R"(["fps","battle royale",""])");
    QTest::newRow("spaces") << QByteArray(" [ 1 , \"a\" ,\n\t{ \"k\" : [ ] } ] \r\n");
    QTest::newRow("integers") << QByteArray("[0,-1,27015,999999999999999,-999999999999999]");
    QTest::newRow("long integers") << QByteArray("[9007199254740993,12345678901234567890]");
    QTest::newRow("negative zero") << QByteArray("[-0]");
    QTest::newRow("fractions") << QByteArray("[1.5,2e3,-0.25,1E-2]");
    QTest::newRow("leading zero") << QByteArray("[012]");
    QTest::newRow("literals") << QByteArray("[true,false,null]");
    QTest::newRow("escapes") << QByteArray(R"(["a\"b","c\\d","e\/f","g\nh","\u00e9","\ud83d\ude00"])");
    QTest::newRow("UTF-8") << QByteArray("[\"caf\xc3\xa9\"]");
    QTest::newRow("bad UTF-8") << QByteArray("[\"caf\xc3\"]");
    QTest::newRow("object") << QByteArray(R"({"b":1,"a":[true,{"x":null}]})");
    QTest::newRow("duplicate keys") << QByteArray(R"({"a":1,"a":2})");
    QTest::newRow("deep") << QByteArray(200, '[') + QByteArray(200, ']');
    QTest::newRow("top-level text") << QByteArray(R"("text")");
    QTest::newRow("top-level number") << QByteArray("7");
    QTest::newRow("trailing comma") << QByteArray("[1,2,]");
    QTest::newRow("unterminated") << QByteArray("[\"abc");
    QTest::newRow("garbage after") << QByteArray("[1] x");
    QTest::newRow("two documents") << QByteArray("[1][2]");
    QTest::newRow("broken object") << QByteArray("{bad");
    QTest::newRow("missing colon") << QByteArray(R"({"a" 1})");
    QTest::newRow("bare word") << QByteArray("[tru]");
    QTest::newRow("raw control char") << QByteArray("[\"a\tb\"]");
    QTest::newRow("lone minus") << QByteArray("[-]");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("only spaces") << QByteArray("   ");
}

void tst_JsonText::readsWhatQtReads()
{
    QFETCH(QByteArray, text);
    const QVariant ours = JsonText::read(text);
    const QVariant theirs = qtRead(text);
    QString where;
    QVERIFY2(sameVariant(ours, theirs, &where), qPrintable(where));
}

void tst_JsonText::randomListsRoundTrip()
{
    // Shapes like the catalogue's: lists of texts and numbers, maps of them.
    QRandomGenerator rng(20261210);
    const QString alphabet = "abcXYZ019-*. _/\\\"";
    auto text = [&] {
        QString s;
        const int n = rng.bounded(12);
        for (int i = 0; i < n; ++i)
            s.append(alphabet.at(rng.bounded(alphabet.size())));
        return s;
    };
    std::function<QVariant(int)> make = [&](int depth) -> QVariant {
        switch (rng.bounded(depth > 2 ? 3 : 5)) {
        case 0:
            return text();
        case 1:
            return int(rng.bounded(200000)) - 100000;
        case 2:
            return rng.bounded(2) == 1;
        case 3: {
            QVariantList l;
            for (int i = rng.bounded(5); i > 0; --i)
                l << make(depth + 1);
            return l;
        }
        default: {
            QVariantMap m;
            for (int i = rng.bounded(5); i > 0; --i)
                m.insert(text(), make(depth + 1));
            return m;
        }
        }
    };
    for (int round = 0; round < 500; ++round) {
        QVariantList value;
        for (int i = rng.bounded(6); i > 0; --i)
            value << make(0);
        const QByteArray written = JsonText::write(value);
        QCOMPARE(written, qtWrite(value));
        QString where;
        QVERIFY2(sameVariant(JsonText::read(written), qtRead(written), &where),
                 qPrintable(where + " in " + written));
    }
}

QTEST_GUILESS_MAIN(tst_JsonText)
#include "tst_jsontext.moc"
