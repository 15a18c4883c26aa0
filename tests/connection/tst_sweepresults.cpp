// A finished sweep's results: which relay is chosen from them and stored,
// what is kept in the route cache, and what is sent on to be shown.

#include "connection/SweepResults.h"

#include <QSignalSpy>
#include <QTest>

namespace {

QVariantMap relay(const QString &id, const QString &name, int port = 50123)
{
    return {
        {"id", id}, {"name", name}, {"ip_address", "127.0.0." + id}, {"port", port}, {"country_code", "DE"}};
}

// The selected relay kept in memory instead of the settings file.
class MemoryStore : public RelayChoice::SelectedRelayStore
{
public:
    bool automatic = false;
    QString key, ip;
    int port = 0;
    int writes = 0;

    bool connectionMode() const override { return automatic; }
    QString serverIp() const override { return ip; }
    int serverPort() const override { return port; }
    void setServer(const QString &k, const QString &i, const QString &, const QString &) override
    {
        key = k, ip = i;
        ++writes;
    }
    void setServerPort(int p) override { port = p; }
    void setConnectionMode(bool a) override { automatic = a; }
};

struct Kept
{
    QString title, region, text;
};

struct Fixture
{
    QString fileText;
    QList<QVariantMap> europe{relay("1", "Alpha"), relay("2", "Bravo"), relay("3", "Charlie")};
    QStringList regionsAsked;
    QList<Kept> kept;
    MemoryStore store;
    std::unique_ptr<SweepResults> results;

    Fixture()
    {
        SweepResults::Sources sources;
        sources.readPingsText = [this] { return fileText; };
        sources.regionRelays = [this](const QString &region) {
            regionsAsked << region;
            return region == QLatin1String("Europe") ? europe : QList<QVariantMap>();
        };
        sources.relayStore = &store;
        sources.keep = [this](const QString &title, const QString &region, const QString &text) {
            kept.append({title, region, text});
        };
        results = std::make_unique<SweepResults>(sources);
    }
};

} // namespace

using Pings = QHash<QString, int>;

class TestSweepResults : public QObject
{
    Q_OBJECT
private slots:
    void shownSweep_data()
    {
        QTest::addColumn<QString>("fileText");
        QTest::addColumn<Pings>("pings");
        QTest::addColumn<QString>("chosen");
        QTest::newRow("lowest known ping")
            << R"({"servers":{"1":{"ping":80},"2":{"ping":-1},"3":{"ping":12}}})"
            << Pings{{"1", 80}, {"2", -1}, {"3", 12}} << "3";
        QTest::newRow("fractional ping is unknown")
            << R"({"servers":{"1":{"ping":40},"2":{"ping":3.5}}})" << Pings{{"1", 40}, {"2", -1}} << "1";
        QTest::newRow("no file: the first relay") << "" << Pings{} << "1";
        QTest::newRow("unreadable file: the first relay") << "{not json" << Pings{} << "1";
    }
    void shownSweep()
    {
        QFETCH(QString, fileText);
        QFETCH(Pings, pings);
        QFETCH(QString, chosen);
        Fixture f;
        f.fileText = fileText;
        QStringList order;
        QVariantMap shown;
        Pings measured;
        connect(f.results.get(), &SweepResults::automaticRelayChosen, this, [&](const QVariantMap &r) {
            order << "relay";
            shown = r;
        });
        connect(f.results.get(), &SweepResults::pingsMeasured, this, [&](const Pings &p) {
            order << "pings";
            measured = p;
        });

        f.results->takeShownSweep("Some Game", "Europe", false);

        QCOMPARE(f.regionsAsked, QStringList{"Europe"});
        QCOMPARE(shown.value("id").toString(), chosen);
        QCOMPARE(f.store.key, chosen);
        QCOMPARE(f.store.ip, "127.0.0." + chosen);
        QCOMPARE(f.store.port, 50123);
        QVERIFY(f.store.automatic);
        QCOMPARE(measured, pings);
        // The card first, then the pings on the picker's rows.
        QCOMPARE(order, (QStringList{"relay", "pings"}));
        QCOMPARE(f.kept.size(), 1);
        QCOMPARE(f.kept.at(0).title, QStringLiteral("Some Game"));
        QCOMPARE(f.kept.at(0).region, QStringLiteral("Europe"));
        QCOMPARE(f.kept.at(0).text, fileText);
    }

    // A running connection keeps its relay: nothing is chosen or stored, but
    // the sweep's results are still kept and shown.
    void relayInUseStays()
    {
        Fixture f;
        f.fileText = R"({"servers":{"2":{"ping":5}}})";
        QSignalSpy chosen(f.results.get(), &SweepResults::automaticRelayChosen);
        QSignalSpy measured(f.results.get(), &SweepResults::pingsMeasured);

        QVERIFY(f.results->chooseAutomatic({{"2", 5}}, true).isEmpty());
        f.results->takeShownSweep("Some Game", "Europe", true);

        QCOMPARE(chosen.count(), 0);
        QCOMPARE(f.store.writes, 0);
        QVERIFY(!f.store.automatic);
        QVERIFY(f.regionsAsked.isEmpty());
        QCOMPARE(measured.count(), 1);
        QCOMPARE(f.kept.size(), 1);
    }

    void noEuropeRelayChoosesNothing()
    {
        Fixture f;
        f.europe.clear();
        QSignalSpy chosen(f.results.get(), &SweepResults::automaticRelayChosen);
        QVERIFY(f.results->chooseAutomatic({{"1", 5}}, false).isEmpty());
        QCOMPARE(chosen.count(), 0);
        QCOMPARE(f.store.writes, 0);
    }

    // A sweep nobody watched is only kept: no relay changes, nothing shown.
    void hiddenSweepIsOnlyKept()
    {
        Fixture f;
        f.fileText = R"({"servers":{"2":{"ping":5}}})";
        QSignalSpy chosen(f.results.get(), &SweepResults::automaticRelayChosen);
        QSignalSpy measured(f.results.get(), &SweepResults::pingsMeasured);

        f.results->takeHiddenSweep("Other Game", "Europe");

        QCOMPARE(chosen.count() + measured.count(), 0);
        QCOMPARE(f.store.writes, 0);
        QCOMPARE(f.kept.size(), 1);
        QCOMPARE(f.kept.at(0).title, QStringLiteral("Other Game"));
        QCOMPARE(f.kept.at(0).text, f.fileText);
    }
};

QTEST_GUILESS_MAIN(TestSweepResults)
#include "tst_sweepresults.moc"
