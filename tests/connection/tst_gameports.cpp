// Port tokens, port lists and domains a game's connection is configured with.

#include "connection/GamePorts.h"
#include "services/GamePlatform.h"

#include <QTest>

using namespace GamePorts;

using Ports = QList<int>;

static Ports range(int from, int to)
{
    Ports p;
    for (int i = from; i <= to; ++i)
        p << i;
    return p;
}

class TestGamePorts : public QObject
{
    Q_OBJECT
private slots:
    void tokensToPorts_data();
    void tokensToPorts();
    void recordValuesToTokens_data();
    void recordValuesToTokens();
    void hugeAndOutOfRangeTokensAreRefused();
    void domains_data();
    void domains();
    void catchAll_data();
    void catchAll();
    void pcTrafficAdditions();
    void onlyDomainsGetsWebPorts();
    void nothingToCarry();
    void consoleTrafficKeepsRecordPortsOnly();
    void boostProfiles();
    void findGameMeta_data();
    void findGameMeta();
};

void TestGamePorts::tokensToPorts_data()
{
    QTest::addColumn<QStringList>("tokens");
    QTest::addColumn<Ports>("ports");

    QTest::newRow("ascending range") << QStringList{"10-12"} << Ports{10, 11, 12};
    QTest::newRow("descending range") << QStringList{"12-10"} << Ports{10, 11, 12};
    QTest::newRow("en dash and blanks")
        << QStringList{QString::fromUtf8("10 \u2013 12")} << Ports{10, 11, 12};
    QTest::newRow("em dash") << QStringList{QString::fromUtf8("10\u201412")} << Ports{10, 11, 12};
    QTest::newRow("minus sign") << QStringList{QString::fromUtf8("10\u221212")} << Ports{10, 11, 12};
    QTest::newRow("single port") << QStringList{"443"} << Ports{443};
    QTest::newRow("comma text is one bad token") << QStringList{"10,11"} << Ports{};
    QTest::newRow("zero") << QStringList{"0"} << Ports{};
    QTest::newRow("letters") << QStringList{"abc"} << Ports{};
    QTest::newRow("three parts") << QStringList{"1-2-3"} << Ports{};
    QTest::newRow("leading dash reads as the number") << QStringList{"-10"} << Ports{10};
    QTest::newRow("range from zero") << QStringList{"0-5"} << Ports{};
    QTest::newRow("overlaps merged") << QStringList{"10-20", "15-25"} << range(10, 25);
    QTest::newRow("duplicates merged") << QStringList{"53", "53", "52-53"} << Ports{52, 53};
    QTest::newRow("good and bad mixed")
        << QStringList{"x", "8080", "1-2-3", "9000-9001"} << Ports{8080, 9000, 9001};
    QTest::newRow("top port") << QStringList{"65534-65535"} << Ports{65534, 65535};
}

void TestGamePorts::tokensToPorts()
{
    QFETCH(QStringList, tokens);
    QFETCH(Ports, ports);
    Ports got = expandPortTokens(tokens, false);
    sortUniquePorts(got);
    QCOMPARE(got, ports);
}

void TestGamePorts::recordValuesToTokens_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QStringList>("tokens");

    QTest::newRow("one text with a comma stays whole")
        << QVariant(QStringLiteral("10,11")) << QStringList{"10,11"};
    QTest::newRow("list of numbers") << QVariant(QVariantList{10, 11}) << QStringList{"10", "11"};
    QTest::newRow("list of doubles from JSON")
        << QVariant(QVariantList{10.0, 27015.0}) << QStringList{"10", "27015"};
    QTest::newRow("list of texts normalised")
        << QVariant(QVariantList{QStringLiteral(" 10 - 12 "), QString::fromUtf8("20\u201330")})
        << QStringList{"10-12", "20-30"};
    QTest::newRow("blank text") << QVariant(QStringLiteral("   ")) << QStringList{};
    QTest::newRow("empty texts dropped")
        << QVariant(QVariantList{QString(), QStringLiteral("5")}) << QStringList{"5"};
    QTest::newRow("booleans and maps skipped")
        << QVariant(QVariantList{true, QVariantMap{{"a", 1}}, 7}) << QStringList{"7"};
    QTest::newRow("numbers beyond int are not cut to a small port")
        << QVariant(QVariantList{4294967306.0, qlonglong(4294967306LL), 1e12, 70000.0, 8080})
        << QStringList{"70000", "8080"};
    QTest::newRow("number alone is not a list") << QVariant(443) << QStringList{};
    QTest::newRow("missing") << QVariant() << QStringList{};
}

void TestGamePorts::recordValuesToTokens()
{
    QFETCH(QVariant, value);
    QFETCH(QStringList, tokens);
    QCOMPARE(portsFromVariant(value), tokens);
}

void TestGamePorts::hugeAndOutOfRangeTokensAreRefused()
{
    // A service value like this must neither allocate billions of ports nor
    // wrap "70000" into some unrelated port.
    for (const QString &token :
         {QStringLiteral("1-2000000000"), QStringLiteral("70000"), QStringLiteral("65536"),
          QStringLiteral("99999999999999999999"), QStringLiteral("100-70000")}) {
        QCOMPARE(parsePortRange(token), qMakePair(0, 0));
        QVERIFY2(expandPortTokens({token}, false).isEmpty(), qPrintable(token));
        QCOMPARE(coveredPortCount({token}), qint64(0));
    }
    QCOMPARE(parsePortRange("12-10"), qMakePair(12, 10));
    QCOMPARE(parsePortRange("65535"), qMakePair(65535, 65535));
}

void TestGamePorts::domains_data()
{
    QTest::addColumn<QStringList>("in");
    QTest::addColumn<QStringList>("out");

    QTest::newRow("cleaned and wildcard added")
        << QStringList{" Ex.COM. "} << QStringList{"ex.com", "*.ex.com"};
    QTest::newRow("wildcard gets bare form") << QStringList{"*.Ex.com"} << QStringList{"*.ex.com", "ex.com"};
    QTest::newRow("no dot, no wildcard") << QStringList{"localhost"} << QStringList{"localhost"};
    QTest::newRow("http kept without wildcard")
        << QStringList{"HTTP://Ex.com/path"} << QStringList{"http://ex.com/path"};
    QTest::newRow("duplicates once") << QStringList{"ex.com", "EX.com.", "*.ex.com"}
                                     << QStringList{"ex.com", "*.ex.com"};
    QTest::newRow("blank and dots dropped") << QStringList{"  ", "...", "a.b"} << QStringList{"a.b", "*.a.b"};
    QTest::newRow("bare star dot") << QStringList{"*."} << QStringList{"*"};
}

void TestGamePorts::domains()
{
    QFETCH(QStringList, in);
    QFETCH(QStringList, out);
    normalizeDomains(in);
    QCOMPARE(in, out);
}

void TestGamePorts::catchAll_data()
{
    QTest::addColumn<QStringList>("udp");
    QTest::addColumn<bool>("catchAll");

    QTest::newRow("exactly 60000 is not") << QStringList{"1-60000"} << false;
    QTest::newRow("60001 is") << QStringList{"1-60001"} << true;
    QTest::newRow("everything") << QStringList{"1-65535"} << true;
    QTest::newRow("overlaps count twice") << QStringList{"1-30001", "1-30000"} << true;
    QTest::newRow("refused huge range does not count") << QStringList{"1-2000000000"} << false;
}

void TestGamePorts::catchAll()
{
    QFETCH(QStringList, udp);
    QFETCH(bool, catchAll);
    const PcTraffic t = buildPcTraffic({udp, {}, {}});
    QCOMPARE(t.catchAllUdp, catchAll);
    if (catchAll)
        QCOMPARE(t.udpPorts, range(1, 65535));
    else
        QVERIFY(t.udpPorts.size() < 65535);
}

void TestGamePorts::pcTrafficAdditions()
{
    const QString chat = QStringLiteral("chat.example.test");
    const PcTraffic t =
        buildPcTraffic({{"3478", "27015-27016"}, {"443"}, {"CHAT.example.test", "game.test"}}, chat);
    QVERIFY(t.connectable);
    QVERIFY(!t.fallbackTcp);
    QCOMPARE(t.udpTokenCount, 2);
    // The chat domain in another letter case is not added twice.
    QCOMPARE(t.domains,
             (QStringList{"chat.example.test", "*.chat.example.test", "game.test", "*.game.test"}));
    QCOMPARE(t.udpTokens, (QStringList{"3478", "27015-27016", "53"}));
    QCOMPARE(t.tcpTokens, (QStringList{"443", "53"}));
    QCOMPARE(t.udpPorts, (Ports{53, 3478, 27015, 27016}));
    QCOMPARE(t.tcpPorts, (Ports{53, 443}));

    // "53" already present is not appended again.
    const PcTraffic dns = buildPcTraffic({{"53"}, {"53"}, {}}, chat);
    QCOMPARE(dns.udpTokens, QStringList{"53"});
    QCOMPARE(dns.tcpTokens, QStringList{"53"});
    QCOMPARE(dns.domains, (QStringList{chat, "*." + chat}));
}

void TestGamePorts::onlyDomainsGetsWebPorts()
{
    const PcTraffic t = buildPcTraffic({{}, {}, {"web.test"}});
    QVERIFY(t.connectable);
    QVERIFY(t.fallbackTcp);
    QCOMPARE(t.tcpPorts, (Ports{53, 80, 443}));
    QCOMPARE(t.udpPorts, Ports{53});
    QVERIFY(t.domains.contains(QLatin1String(kChatServiceDomain)));
}

void TestGamePorts::nothingToCarry()
{
    const PcTraffic t = buildPcTraffic({{}, {}, {}});
    QVERIFY(!t.connectable);
    QVERIFY(t.udpPorts.isEmpty());
    QVERIFY(t.domains.isEmpty());
}

void TestGamePorts::consoleTrafficKeepsRecordPortsOnly()
{
    const ConsoleTraffic c = buildConsoleTraffic({{"3478", "3478", "3479"}, {}, {"x.test"}});
    QVERIFY(c.connectable);
    QCOMPARE(c.udpTokens, (QStringList{"3478", "3479"}));
    QVERIFY(c.tcpTokens.isEmpty());
    QVERIFY(!buildConsoleTraffic({{}, {}, {"only.domains.test"}}).connectable);
}

void TestGamePorts::boostProfiles()
{
    const QVariantMap steam{{"id", "steam"},
                            {"title", "Steam Launcher"},
                            {"udp_ports", QVariantList{"27000-27001"}},
                            {"tcp_ports", QVariantList{27015}},
                            {"domains", QVariantList{"steam.test"}}};
    const QVariantMap voice{{"id", "voice"},
                            {"name", "Voice Chat"},
                            {"udp_ports", QVariantList{"3478", "27000-27001"}},
                            {"domains", "voice.test"}};
    const QVariantList profiles{steam, voice};
    using GamePlatform::platformBoostSettingsKey;

    struct Case
    {
        const char *name;
        QHash<QString, bool> stored;
        QStringList udp, tcp, domains;
    };
    const QList<Case> cases = {
        {"nothing stored: Steam on, others off", {}, {"1", "27000-27001"}, {"27015"}, {"steam.test"}},
        {"voice switched on, duplicates once",
         {{platformBoostSettingsKey("g1", "voice"), true}},
         {"1", "27000-27001", "3478"},
         {"27015"},
         {"steam.test", "voice.test"}},
        {"Steam switched off", {{platformBoostSettingsKey("g1", "steam"), false}}, {"1"}, {}, {}},
    };
    for (const Case &c : cases) {
        QStringList udp{"1"}, tcp, domains;
        collectBoostTraffic(
            "g1", profiles, [&](const QString &key, bool def) { return c.stored.value(key, def); }, udp, tcp,
            domains);
        QCOMPARE(udp, c.udp);
        QCOMPARE(tcp, c.tcp);
        QCOMPARE(domains, c.domains);
    }
}

void TestGamePorts::findGameMeta_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("expectedId");

    QTest::newRow("exact, any case and spacing") << "  arena   STRIKE "
                                                 << "a";
    QTest::newRow("exact wins over an earlier containment") << "Strike"
                                                            << "s";
    QTest::newRow("title contained in a name") << "Racers"
                                               << "r";
    QTest::newRow("name contained in the title") << "Sky Racers Deluxe Edition"
                                                 << "r";
    QTest::newRow("no match") << "Chess"
                              << "";
    QTest::newRow("empty title") << ""
                                 << "";
    QTest::newRow("blank title matches nothing") << "   "
                                                 << "";
}

void TestGamePorts::findGameMeta()
{
    QFETCH(QString, title);
    QFETCH(QString, expectedId);
    // The nameless record would be "contained" in every title; it must never match.
    const QList<QVariantMap> games{{{"id", "blank"}, {"name", ""}},
                                   {{"id", "a"}, {"name", "Arena Strike"}},
                                   {{"id", "r"}, {"name", "Sky Racers"}},
                                   {{"id", "s"}, {"name", "strike"}}};
    QCOMPARE(GamePorts::findGameMeta(title, games).value("id").toString(), expectedId);
}

QTEST_GUILESS_MAIN(TestGamePorts)
#include "tst_gameports.moc"
