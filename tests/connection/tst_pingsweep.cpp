// The ping sweep: what a ping run reads as, which relays are pinged and
// written, how many run at once, and when `finished()` comes.

#include "connection/PingSweep.h"
#include "services/ServiceClient.h"
#include "support/fakeservice/FakeService.h"
#include "support/faketools/FakeRunner.h"

#include <QtTest>

#include <memory>

using SystemTools::ToolCommand;
using SystemTools::ToolResult;

namespace {

// Fast enough for tests, slow enough that a ping of a few ms ends inside the animation.
PingSweepIntervals fastIntervals()
{
    PingSweepIntervals i;
    i.fallbackMs = 150;
    i.tickMs = 2;
    i.finishDelayMs = 40;
    i.killMs = 300;
    i.regionDotMs = 5;
    return i;
}

QJsonObject relay(const QJsonValue &id, const QJsonValue &ip,
                  const QString &status = QStringLiteral("active"),
                  const QString &name = QStringLiteral("Relay"))
{
    QJsonObject o{{"id", id}, {"ip_address", ip}, {"name", name}};
    if (!status.isNull())
        o.insert("status", status);
    return o;
}

// A ping that answered after `ms` of tool time with `times` replies.
FakeRunner::Reply answered(const ToolCommand &command, const QStringList &times, int delayMs = 1)
{
    return FakeRunner::reply(
        FakeRunner::exited(command, 0, FakeRunner::linuxPingText(command.arguments.last(), times)), delayMs);
}

struct Rig
{
    FakeService service;
    QTemporaryDir dir;
    FakeRunner runner;
    std::unique_ptr<ServiceClient> client;
    std::unique_ptr<PingSweep> sweep;
    QString path;
    int finishedCount = 0;
    QElapsedTimer clock;
    qint64 finishedAt = -1;

    Rig()
    {
        service.listen();
        client = std::make_unique<ServiceClient>(
            ServiceConfig(service.origin(), service.origin(), service.origin()),
            [] { return ServiceApi::Credentials{}; });
        path = dir.filePath("data/server_pings.json");
        sweep = std::make_unique<PingSweep>(client.get(), &runner, path, fastIntervals());
        QObject::connect(sweep.get(), &PingSweep::finished, sweep.get(), [this] {
            ++finishedCount;
            finishedAt = clock.elapsed();
        });
    }
    void run()
    {
        clock.start();
        sweep->start();
        QTRY_COMPARE_WITH_TIMEOUT(finishedCount, 1, 5000);
    }
    QJsonObject file() const
    {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QJsonDocument::fromJson(f.readAll()).object();
    }
    QStringList pinged() const
    {
        QStringList ips;
        for (const ToolCommand &c : runner.commands())
            ips << c.arguments.last();
        return ips;
    }
};

} // namespace

class TestPingSweep : public QObject
{
    Q_OBJECT

private slots:
    void replyTimes_data()
    {
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("times");
        QTest::addColumn<int>("expected");
        QTest::newRow("mean") << 0 << QStringList{"23", "24", "26"} << 24;
        QTest::newRow("all below 1 ms") << 0 << QStringList{"0.041", "0.052", "0.060"} << 1;
        QTest::newRow("0 counts as 1, half rounds up") << 0 << QStringList{"0", "4"} << 3;
        QTest::newRow("no reply") << 1 << QStringList{} << -1;
        QTest::newRow("non-zero exit ignores replies") << 1 << QStringList{"20"} << -1;
    }
    void replyTimes()
    {
        QFETCH(int, exitCode);
        QFETCH(QStringList, times);
        QFETCH(int, expected);
        const ToolCommand command = SystemTools::sweepPingCommand(QStringLiteral("127.0.0.5"));
        QCOMPARE(PingSweep::pingFromResult(
                     FakeRunner::exited(command, exitCode, FakeRunner::linuxPingText("127.0.0.5", times))),
                 expected);
        QCOMPARE(PingSweep::pingFromResult(FakeRunner::status(ToolResult::Status::Crashed)), -1);
    }

    // Which relays are pinged and what the file holds.
    void fileHoldsQueuedRelaysOnly()
    {
        Rig rig;
        rig.service.setServers(QJsonArray{
            relay("b", "127.0.0.2", "active", " Bee "),
            relay("a", "127.0.0.1", QString(), "Ay"),
            relay("m", "127.0.0.3", "maintenance"),
            relay("noip", QJsonValue()),
            relay(7, "127.0.0.4"),
            relay("n", 127),
            relay("x", "127.1"),
            QJsonValue("not an object"),
        });
        rig.runner.setScript([](const ToolCommand &c) {
            return answered(c, c.arguments.last() == "127.0.0.1" ? QStringList{"35"} : QStringList{"9"});
        });
        rig.run();

        QCOMPARE(rig.pinged(), (QStringList{"127.0.0.2", "127.0.0.1"}));
        const QJsonObject file = rig.file();
        QVERIFY(file.value("updated_at").toString().endsWith('Z'));
        const QJsonObject servers = file.value("servers").toObject();
        QCOMPARE(servers.keys(), (QStringList{"a", "b", "x"}));
        QCOMPARE(servers.value("a").toObject(),
                 (QJsonObject{{"ping", 35}, {"ip", "127.0.0.1"}, {"name", "Ay"}}));
        QCOMPARE(servers.value("b").toObject(),
                 (QJsonObject{{"ping", 9}, {"ip", "127.0.0.2"}, {"name", "Bee"}}));
        // Not an IPv4 literal: never handed to the tool, unknown.
        QCOMPARE(servers.value("x").toObject().value("ping").toInt(), -1);
        // The list request carries no token.
        QVERIFY(!rig.service.lastRequest("/api/servers").hasHeader("Authorization"));
        // Members come out sorted by id.
        QFile f(rig.path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray raw = f.readAll();
        QVERIFY(raw.indexOf("\"a\"") < raw.indexOf("\"b\""));
        QVERIFY(!QFile::exists(rig.path + ".part"));
    }

    void atMostFourAtOnce()
    {
        Rig rig;
        QJsonArray list;
        for (int i = 1; i <= 9; ++i)
            list << relay(QString::number(i), QStringLiteral("127.0.0.%1").arg(i));
        rig.service.setServers(list);
        rig.runner.setScript([](const ToolCommand &c) { return answered(c, {"5"}, 20); });
        int peak = 0;
        QTimer probe;
        QObject::connect(&probe, &QTimer::timeout, [&] { peak = qMax(peak, rig.sweep->runningPings()); });
        probe.start(1);
        rig.run();
        QCOMPARE(peak, PingSweep::kMaxConcurrent);
        QCOMPARE(rig.runner.commands().size(), 9);
        QCOMPARE(rig.file().value("servers").toObject().size(), 9);
    }

    // When `finished()` comes: after the animation and its pause, or at a later last ping.
    void finishedTiming_data()
    {
        QTest::addColumn<int>("pingMs");
        QTest::newRow("pings end early") << 1;
        QTest::newRow("last ping ends after the animation") << 260;
    }
    void finishedTiming()
    {
        QFETCH(int, pingMs);
        Rig rig;
        rig.service.setServers(QJsonArray{relay("a", "127.0.0.1")});
        rig.runner.setScript([pingMs](const ToolCommand &c) { return answered(c, {"5"}, pingMs); });
        QList<int> percents;
        QObject::connect(rig.sweep.get(), &PingSweep::progress,
                         [&](int, int, int percent) { percents << percent; });
        rig.run();
        const PingSweepIntervals i = fastIntervals();
        QVERIFY(percents.contains(100));
        QVERIFY(rig.finishedAt >=
                qMax<qint64>(PingSweep::kAnimationSteps * i.tickMs + i.finishDelayMs, pingMs));
        QVERIFY(QFile::exists(rig.path));
        QTest::qWait(i.fallbackMs + 100);
        QCOMPARE(rig.finishedCount, 1);
    }

    // A list that cannot be used ends the analysis at once and leaves the old file.
    void unusableListEndsAtOnce_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("server error") << 500 << QByteArray("{}");
        QTest::newRow("no servers array") << 200 << QByteArray("{\"servers\":{}}");
        QTest::newRow("not JSON") << 200 << QByteArray("<html>");
    }
    void unusableListEndsAtOnce()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        Rig rig;
        FakeReply reply;
        reply.status = status;
        reply.body = body;
        rig.service.script("GET", "/api/servers", reply);
        QDir().mkpath(QFileInfo(rig.path).absolutePath());
        QFile old(rig.path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old");
        old.close();
        rig.run();
        QVERIFY(rig.finishedAt < fastIntervals().fallbackMs);
        QVERIFY(rig.runner.commands().isEmpty());
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("old"));
    }

    void emptyListFinishesAfterFallbackAnimation()
    {
        Rig rig;
        rig.service.setServers(QJsonArray());
        QList<int> totals;
        QObject::connect(rig.sweep.get(), &PingSweep::progress,
                         [&](int, int total, int) { totals << total; });
        rig.run();
        const PingSweepIntervals i = fastIntervals();
        QVERIFY(rig.finishedAt >= i.fallbackMs + PingSweep::kAnimationSteps * i.tickMs + i.finishDelayMs);
        QCOMPARE(totals.last(), PingSweep::kFallbackTotal);
        QVERIFY(!QFile::exists(rig.path));
    }

    // A list later than the fallback restarts the animation with the real total.
    void lateListRestartsAnimation()
    {
        Rig rig;
        rig.service.setServers(QJsonArray{relay("a", "127.0.0.1"), relay("b", "127.0.0.2")});
        FakeReply reply;
        reply.body = QJsonDocument(QJsonObject{{"servers", rig.service.servers()}}).toJson();
        reply.delayMs = fastIntervals().fallbackMs + 50;
        rig.service.script("GET", "/api/servers", reply);
        rig.runner.setScript([](const ToolCommand &c) { return answered(c, {"5"}); });
        QList<int> totals;
        int animations = 0;
        QObject::connect(rig.sweep.get(), &PingSweep::progress, [&](int, int total, int percent) {
            if (percent == 0)
                totals << total;
        });
        QObject::connect(rig.sweep.get(), &PingSweep::animationStarted, [&] { ++animations; });
        rig.run();
        QCOMPARE(animations, 2);
        QVERIFY(totals.indexOf(PingSweep::kFallbackTotal) >= 0);
        QCOMPARE(totals.last(), 2);
        QCOMPARE(rig.file().value("servers").toObject().size(), 2);
    }

    // A ping that hangs is killed and counts unknown; a run reporting twice counts once.
    void stuckAndDoubleReportedPings()
    {
        Rig rig;
        rig.service.setServers(QJsonArray{relay("a", "127.0.0.1"), relay("b", "127.0.0.2")});
        rig.runner.setScript([](const ToolCommand &c) {
            if (c.arguments.last() == "127.0.0.1")
                return FakeRunner::hang();
            FakeRunner::Reply r = answered(c, {"12"});
            r.reportTwice = true;
            return r;
        });
        rig.run();
        QVERIFY(rig.finishedAt >= fastIntervals().killMs);
        QCOMPARE(rig.runner.jobsKilled(), 1);
        const QJsonObject servers = rig.file().value("servers").toObject();
        QCOMPARE(servers.value("a").toObject().value("ping").toInt(), -1);
        QCOMPARE(servers.value("b").toObject().value("ping").toInt(), 12);
    }

    // A second analysis ignores what the first still has running.
    void newAnalysisIgnoresEarlierPings()
    {
        Rig rig;
        rig.service.setServers(QJsonArray{relay("a", "127.0.0.1")});
        int calls = 0;
        rig.runner.setScript([&calls](const ToolCommand &c) {
            ++calls;
            return calls == 1 ? answered(c, {"99"}, 60) : answered(c, {"7"}, 120);
        });
        rig.clock.start();
        rig.sweep->start();
        QTRY_COMPARE(rig.runner.commands().size(), 1);
        rig.sweep->start();
        QTRY_COMPARE_WITH_TIMEOUT(rig.finishedCount, 1, 5000);
        QCOMPARE(rig.file().value("servers").toObject().value("a").toObject().value("ping").toInt(), 7);
    }
};

QTEST_MAIN(TestPingSweep)
#include "tst_pingsweep.moc"
