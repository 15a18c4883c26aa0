// The session statistics: averages from ping samples, loss from the tunnel's
// counters against their values at the start, the saved record (periodic,
// final, on destruction) and tolerant loading of the last session.

#include "connection/SessionManager.h"
#include "engine/qt/TunnelClient.h"
#include "storage/DatabaseManager.h"
#include "support/faketools/FakeRunner.h"
#include "support/faketunnel/FakeTunnelEngine.h"

#include <QtTest>

#include <memory>

namespace {

QJsonObject readSessionFile()
{
    QFile file(SessionManager::sessionFilePath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

} // namespace

class TestSessionManager : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void sessionWithoutSamples();
    void pingSamples_data();
    void pingSamples();
    void lossFromCounters_data();
    void lossFromCounters();
    void timersRefreshAndSaveWhileActive();
    void endKeepsLastUpdateAndSavesInactive();
    void startWhileActiveEndsTheOldSession();
    void destructorEndsActiveSession();
    void jsonRoundTrip();
    void loadLastSession_data();
    void loadLastSession();

private:
    bool startTunnel();

    QTemporaryDir m_dbDir;
    std::unique_ptr<FakeRunner> m_runner;
    std::unique_ptr<TunnelClient> m_client;
};

void TestSessionManager::initTestCase()
{
    QVERIFY(m_dbDir.isValid());
    QVERIFY(DatabaseManager::instance()->initialize(m_dbDir.path()));
}

void TestSessionManager::init()
{
    FakeTunnelEngine::reset();
    DatabaseManager::instance()->setMetadata(SessionManager::metadataKey(), QString());
    QFile::remove(SessionManager::sessionFilePath());
    m_runner = std::make_unique<FakeRunner>();
    m_client = std::make_unique<TunnelClient>(FakeTunnelEngine::api(), m_runner.get());
}

void TestSessionManager::cleanup()
{
    m_client.reset();
    m_runner.reset();
}

bool TestSessionManager::startTunnel()
{
    m_client->setServer(QStringLiteral("127.0.0.1"), 50000);
    if (!m_client->start())
        return false;
    QDeadlineTimer deadline(3000);
    while (FakeTunnelEngine::record().mainsEntered.load() < 1 && !deadline.hasExpired())
        QTest::qWait(5);
    return m_client->isRunning();
}

void TestSessionManager::sessionWithoutSamples()
{
    SessionManager sessions;
    QSignalSpy ended(&sessions, &SessionManager::sessionEnded);
    sessions.startSession(QStringLiteral("Game"), QStringLiteral("game.exe"), QStringLiteral("/logo.png"));
    QVERIFY(sessions.isActive());
    sessions.endSession();
    QCOMPARE(ended.size(), 1);
    const SessionData last = sessions.lastSession();
    QCOMPARE(last.averagePing, 0.0);
    QCOMPARE(last.minimumPing, 999.0);
    QCOMPARE(last.averageJitter, 0.0);
    QCOMPARE(last.sampleCount, 0);
    QVERIFY(!last.isActive);
    QVERIFY(last.endTime.isValid());
    QVERIFY(!sessions.isActive());
    // Samples outside a session are not counted.
    sessions.addPingSample(20, 1);
    QCOMPARE(sessions.currentSession().sampleCount, 0);
}

void TestSessionManager::pingSamples_data()
{
    QTest::addColumn<QList<double>>("pings");
    QTest::addColumn<QList<double>>("jitters");
    QTest::addColumn<double>("average");
    QTest::addColumn<double>("minimum");
    QTest::addColumn<double>("jitter");

    QTest::newRow("three samples") << QList<double>{40, 60, 50} << QList<double>{4, 8, 6} << 50.0 << 40.0
                                   << 6.0;
    QTest::newRow("one sample above the initial minimum")
        << QList<double>{1200} << QList<double>{0} << 1200.0 << 999.0 << 0.0;
    QTest::newRow("fractional mean") << QList<double>{10, 11} << QList<double>{1, 2} << 10.5 << 10.0 << 1.5;
}

void TestSessionManager::pingSamples()
{
    QFETCH(QList<double>, pings);
    QFETCH(QList<double>, jitters);
    SessionManager sessions;
    QSignalSpy updated(&sessions, &SessionManager::sessionUpdated);
    sessions.startSession(QStringLiteral("Game"), QString(), QString());
    for (int i = 0; i < pings.size(); ++i)
        sessions.addPingSample(pings.at(i), jitters.at(i));
    QCOMPARE(updated.size(), pings.size());
    const SessionData s = sessions.currentSession();
    QTEST(s.averagePing, "average");
    QTEST(s.minimumPing, "minimum");
    QTEST(s.averageJitter, "jitter");
    QCOMPARE(s.sampleCount, int(pings.size()));
}

void TestSessionManager::lossFromCounters_data()
{
    QTest::addColumn<quint64>("ackedAtStart");
    QTest::addColumn<quint64>("lostAtStart");
    QTest::addColumn<quint64>("ackedNow");
    QTest::addColumn<quint64>("lostNow");
    QTest::addColumn<double>("loss");

    QTest::newRow("2 lost of 40") << quint64(100) << quint64(7) << quint64(138) << quint64(9) << 5.0;
    QTest::newRow("relay never acknowledges") << quint64(0) << quint64(0) << quint64(0) << quint64(0) << 0.0;
    QTest::newRow("not rounded") << quint64(0) << quint64(0) << quint64(2) << quint64(1) << 100.0 / 3.0;
    // An engine reset below the baselines reads as no change, not a wrap.
    QTest::newRow("counters below the baseline")
        << quint64(500) << quint64(50) << quint64(3) << quint64(1) << 0.0;
}

void TestSessionManager::lossFromCounters()
{
    QFETCH(quint64, ackedAtStart);
    QFETCH(quint64, lostAtStart);
    QFETCH(quint64, ackedNow);
    QFETCH(quint64, lostNow);
    QFETCH(double, loss);

    QVERIFY(startTunnel());
    auto &c = FakeTunnelEngine::controls();
    c.txAcked = ackedAtStart;
    c.txLost = lostAtStart;
    SessionManager sessions;
    sessions.setTunnelClient(m_client.get());
    sessions.startSession(QStringLiteral("Game"), QString(), QString());
    c.txAcked = ackedNow;
    c.txLost = lostNow;
    c.bytesSent = 1234;
    c.bytesReceived = 5678;
    sessions.updateSessionStats();
    const SessionData s = sessions.currentSession();
    QCOMPARE(s.packetLoss, loss);
    QCOMPARE(s.bytesSent, qint64(1234));
    QCOMPARE(s.bytesReceived, qint64(5678));
}

void TestSessionManager::timersRefreshAndSaveWhileActive()
{
    QVERIFY(startTunnel());
    SessionManager sessions;
    sessions.setIntervals({20, 60});
    sessions.setTunnelClient(m_client.get());
    QSignalSpy updated(&sessions, &SessionManager::sessionUpdated);
    sessions.startSession(QStringLiteral("Game"), QStringLiteral("game.exe"), QStringLiteral("logo.png"));
    FakeTunnelEngine::controls().bytesSent = 42;
    QTRY_VERIFY(updated.size() >= 2);
    QCOMPARE(sessions.currentSession().bytesSent, qint64(42));

    // The periodic save holds the running session.
    QTRY_VERIFY(!readSessionFile().isEmpty());
    const QJsonObject saved = readSessionFile();
    QCOMPARE(saved.value(QStringLiteral("isActive")).toBool(), true);
    QCOMPARE(saved.value(QStringLiteral("endTime")).toString(), QString());
    QCOMPARE(saved.value(QStringLiteral("gameExecutable")).toString(), QStringLiteral("game.exe"));
    QString stored;
    QVERIFY(DatabaseManager::instance()->tryGetMetadata(SessionManager::metadataKey(), &stored));
    QCOMPARE(QJsonDocument::fromJson(stored.toUtf8()).object(), saved);

    // After the end nothing refreshes or saves any more.
    sessions.endSession();
    const int updatesAtEnd = int(updated.size());
    QTest::qWait(120);
    QCOMPARE(int(updated.size()), updatesAtEnd);
    QCOMPARE(readSessionFile().value(QStringLiteral("isActive")).toBool(), false);
}

void TestSessionManager::endKeepsLastUpdateAndSavesInactive()
{
    QVERIFY(startTunnel());
    SessionManager sessions;
    sessions.setTunnelClient(m_client.get());
    sessions.startSession(QStringLiteral("Game"), QString(), QString());
    FakeTunnelEngine::controls().bytesReceived = 900;
    sessions.updateSessionStats();
    sessions.addPingSample(30, 2);
    // The flow stops the tunnel first; its counters then read 0.
    m_client->stop();
    QSignalSpy ended(&sessions, &SessionManager::sessionEnded);
    sessions.endSession();
    QCOMPARE(ended.size(), 1);
    const SessionData carried = ended.first().first().value<SessionData>();
    QCOMPARE(carried.bytesReceived, qint64(900));
    QCOMPARE(carried.averagePing, 30.0);
    QVERIFY(!carried.isActive);
    QCOMPARE(sessions.lastSession().bytesReceived, qint64(900));
    const QJsonObject saved = readSessionFile();
    QCOMPARE(saved.value(QStringLiteral("bytesReceived")).toInteger(), qint64(900));
    QVERIFY(!saved.value(QStringLiteral("endTime")).toString().isEmpty());
    // The file is replaced whole: no temporary copy is left beside it.
    const QDir dir = QFileInfo(SessionManager::sessionFilePath()).dir();
    QCOMPARE(dir.entryList({QStringLiteral("session_data*")}, QDir::Files), QStringList{"session_data.json"});
}

void TestSessionManager::startWhileActiveEndsTheOldSession()
{
    SessionManager sessions;
    QSignalSpy ended(&sessions, &SessionManager::sessionEnded);
    QSignalSpy started(&sessions, &SessionManager::sessionStarted);
    sessions.startSession(QStringLiteral("First"), QString(), QString());
    sessions.addPingSample(70, 3);
    sessions.startSession(QStringLiteral("Second"), QString(), QString());
    QCOMPARE(ended.size(), 1);
    QCOMPARE(ended.first().first().value<SessionData>().gameTitle, QStringLiteral("First"));
    QCOMPARE(started.size(), 2);
    QCOMPARE(sessions.lastSession().gameTitle, QStringLiteral("First"));
    QCOMPARE(sessions.currentSession().gameTitle, QStringLiteral("Second"));
    QCOMPARE(sessions.currentSession().sampleCount, 0);
    QCOMPARE(sessions.currentSession().minimumPing, 999.0);
}

void TestSessionManager::destructorEndsActiveSession()
{
    {
        SessionManager sessions;
        sessions.startSession(QStringLiteral("Left open"), QString(), QString());
    }
    const QJsonObject saved = readSessionFile();
    QCOMPARE(saved.value(QStringLiteral("gameTitle")).toString(), QStringLiteral("Left open"));
    QCOMPARE(saved.value(QStringLiteral("isActive")).toBool(), false);
    SessionManager reloaded;
    QCOMPARE(reloaded.lastSession().gameTitle, QStringLiteral("Left open"));
}

void TestSessionManager::jsonRoundTrip()
{
    SessionData s;
    s.gameTitle = QStringLiteral("T");
    s.gameExecutable = QStringLiteral("t.exe");
    s.gameLogoPath = QStringLiteral("/uploads/t.png");
    s.startTime = QDateTime(QDate(2026, 3, 1), QTime(10, 0, 0));
    s.endTime = QDateTime(QDate(2026, 3, 1), QTime(11, 30, 5));
    s.duration = 5405;
    s.bytesSent = 5000000000LL; // beyond 32 bits
    s.bytesReceived = 7;
    s.averagePing = 41.5;
    s.minimumPing = 33;
    s.averageJitter = 2.25;
    s.packetLoss = 1.125;
    s.sampleCount = 12;
    s.isActive = true;
    const QJsonObject o = s.toJson();
    QCOMPARE(o.size(), 14);
    const SessionData r = SessionData::fromJson(o);
    QCOMPARE(r.toJson(), o);
    QCOMPARE(r.bytesSent, s.bytesSent);
    QCOMPARE(r.startTime, s.startTime);
}

void TestSessionManager::loadLastSession_data()
{
    QTest::addColumn<QString>("metadata");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("title");
    QTest::addColumn<double>("minimumPing");

    const QString stored = QStringLiteral(
        R"({"gameTitle":"Stored","minimumPing":35,"isActive":true,"startTime":"2026-01-01T10:00:00"})");
    QTest::newRow("metadata, saved while active") << stored << QByteArray() << "Stored" << 35.0;
    QTest::newRow("metadata wins over the file")
        << stored << QByteArray(R"({"gameTitle":"File"})") << "Stored" << 35.0;
    QTest::newRow("file when metadata is blank")
        << QStringLiteral("  ") << QByteArray(R"({"gameTitle":"File","isActive":true})") << "File" << 0.0;
    QTest::newRow("corrupt metadata, no file") << QStringLiteral("{not json") << QByteArray() << "" << 999.0;
    QTest::newRow("no metadata, corrupt file") << QString() << QByteArray("\x01garbage") << "" << 999.0;
    QTest::newRow("a JSON array is no session") << QStringLiteral("[1,2]") << QByteArray() << "" << 999.0;
    QTest::newRow("nothing stored") << QString() << QByteArray() << "" << 999.0;
}

void TestSessionManager::loadLastSession()
{
    QFETCH(QString, metadata);
    QFETCH(QByteArray, file);
    DatabaseManager::instance()->setMetadata(SessionManager::metadataKey(), metadata);
    if (!file.isEmpty()) {
        QDir().mkpath(QFileInfo(SessionManager::sessionFilePath()).absolutePath());
        QFile f(SessionManager::sessionFilePath());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(file);
    }
    SessionManager sessions;
    const SessionData last = sessions.lastSession();
    QTEST(last.gameTitle, "title");
    QTEST(last.minimumPing, "minimumPing");
    QVERIFY(!last.isActive);
    QVERIFY(!sessions.isActive());
}

QTEST_GUILESS_MAIN(TestSessionManager)
#include "tst_sessionmanager.moc"
