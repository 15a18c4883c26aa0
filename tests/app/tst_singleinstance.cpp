#include "app/SingleInstance.h"
#include "app/Startup.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QUuid>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

// Names of our own per test, so tests never meet each other or a client the
// developer has running.
SingleInstanceNames freshNames()
{
    return SingleInstanceNames::withId(QStringLiteral("test_") +
                                       QUuid::createUuid().toString(QUuid::WithoutBraces).left(12));
}

// Helper modes of this same executable, run as child processes:
//   --hold-claim <id>    claims the instance, says "claimed", waits to be killed
//   --second-start <id>  runs the second-instance hand-over with a notifier
//                        that prints "notifier ran"
int runHelper(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString mode = QString::fromLocal8Bit(argv[1]);
    const SingleInstanceNames names = SingleInstanceNames::withId(QString::fromLocal8Bit(argv[2]));
    if (mode == QLatin1String("--hold-claim")) {
        SingleInstance instance(names);
        if (!instance.claim())
            return 2;
        std::printf("claimed\n");
        std::fflush(stdout);
        for (;;)
            pause();
    }
    StartupOptions options;
    options.names = names;
    options.alreadyRunningNotifier = [] {
        std::printf("notifier ran\n");
        std::fflush(stdout);
    };
    return handOverToRunningInstance(options);
}

} // namespace

class TestSingleInstance : public QObject
{
    Q_OBJECT

private slots:
    void namesArePerUserAndKeepTheirBase()
    {
        const SingleInstanceNames names = SingleInstanceNames::forCurrentUser();
        const QString uid = QString::number(getuid());
        QCOMPARE(names.sharedMemoryKey, QStringLiteral("Quorlix_SingleInstance_2024_") + uid);
        QCOMPARE(names.serverName, QStringLiteral("QuorlixInstance_") + uid);
    }

    void onlyOneClaimAtATime()
    {
        const SingleInstanceNames names = freshNames();
        SingleInstance first(names);
        QVERIFY(first.claim());
        SingleInstance second(names);
        QVERIFY(!second.claim());
        first.release();
        QVERIFY(second.claim());
    }

    void serverSocketIsOnlyForThisUser()
    {
        SingleInstance first(freshNames());
        QVERIFY(first.claim());
        QVERIFY(first.listen());
        const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                          QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
        const QString path = first.serverPath();
        QVERIFY(QFile::exists(path));
        QCOMPARE(QFile::permissions(path) & others, QFile::Permissions());
        first.release();
        QVERIFY(!QFile::exists(path));
    }

    void secondStartHandsOver()
    {
        const SingleInstanceNames names = freshNames();
        SingleInstance first(names);
        QVERIFY(first.claim());
        QVERIFY(first.listen());
        QSignalSpy shown(&first, &SingleInstance::showRequested);

        QProcess second;
        second.start(QCoreApplication::applicationFilePath(),
                     {QStringLiteral("--second-start"), idOf(names)});
        QTRY_COMPARE_WITH_TIMEOUT(second.state(), QProcess::NotRunning, 20000);
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(second.readAllStandardOutput(), QByteArray("notifier ran\n"));

        QTRY_COMPARE(shown.count(), 1);
        QTest::qWait(100);
        QCOMPARE(shown.count(), 1);
    }

    void payloads_data()
    {
        QTest::addColumn<QByteArrayList>("parts");
        QTest::addColumn<int>("expectedShows");

        QTest::newRow("SHOW") << QByteArrayList{"SHOW"} << 1;
        QTest::newRow("SHOW with line feed") << QByteArrayList{"SHOW\n"} << 0;
        QTest::newRow("lower case") << QByteArrayList{"show"} << 0;
        QTest::newRow("nothing sent") << QByteArrayList{} << 0;
        QTest::newRow("split over two reads") << QByteArrayList{"SHO", "W"} << 0;
        QTest::newRow("longer message") << QByteArrayList{"SHOWSHOW"} << 0;
    }

    // Whatever a peer sends, it is answered by a disconnect; only the exact
    // four bytes bring the window forward.
    void payloads()
    {
        QFETCH(QByteArrayList, parts);
        QFETCH(int, expectedShows);

        const SingleInstanceNames names = freshNames();
        SingleInstance first(names);
        // Long enough that a busy machine never drops a peer before it read
        // the four bytes that were already sent.
        first.setIdleTimeout(1000);
        QVERIFY(first.claim());
        QVERIFY(first.listen());
        QSignalSpy shown(&first, &SingleInstance::showRequested);

        QLocalSocket peer;
        QSignalSpy dropped(&peer, &QLocalSocket::disconnected);
        peer.connectToServer(names.serverName);
        QVERIFY(peer.waitForConnected(1000));
        if (!parts.isEmpty()) {
            peer.write(parts.first());
            peer.flush();
        }
        QTRY_COMPARE_WITH_TIMEOUT(dropped.count(), 1, 10000);
        for (qsizetype i = 1; i < parts.size(); ++i) {
            peer.write(parts.at(i)); // too late: the server has hung up
            peer.flush();
        }
        QTest::qWait(50);
        QCOMPARE(shown.count(), expectedShows);
    }

    // The first instance has claimed but does not listen yet: the second
    // sends nothing, still tells the user, and exits 0 without hanging.
    void noListenerSendsNothing()
    {
        const SingleInstanceNames names = freshNames();
        SingleInstance first(names);
        QVERIFY(first.claim());

        int notified = 0;
        StartupOptions options;
        options.names = names;
        options.alreadyRunningNotifier = [&notified] { ++notified; };
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(handOverToRunningInstance(options), 0);
        QVERIFY2(clock.elapsed() < 1500, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(notified, 1);
        QVERIFY(!SingleInstance::notifyRunningInstance(names.serverName));
    }

    // An instance killed outright leaves its System V segment behind; the
    // next start must still become the first instance.
    void claimOfKilledInstanceIsReleased()
    {
        const SingleInstanceNames names = freshNames();
        QProcess holder;
        holder.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--hold-claim"), idOf(names)});
        QVERIFY(holder.waitForStarted(10000));
        QByteArray said;
        QTRY_VERIFY_WITH_TIMEOUT((said += holder.readAllStandardOutput()).contains("claimed"), 20000);

        SingleInstance whileAlive(names);
        QVERIFY(!whileAlive.claim());

        ::kill(static_cast<pid_t>(holder.processId()), SIGKILL);
        QVERIFY(holder.waitForFinished(10000));
        QCOMPARE(holder.exitStatus(), QProcess::CrashExit);

        SingleInstance next(names);
        QVERIFY(next.claim());
    }

private:
    static QString idOf(const SingleInstanceNames &names)
    {
        return names.serverName.mid(QStringLiteral("QuorlixInstance_").size());
    }
};

int main(int argc, char *argv[])
{
    if (argc >= 3 &&
        (std::strcmp(argv[1], "--hold-claim") == 0 || std::strcmp(argv[1], "--second-start") == 0))
        return runHelper(argc, argv);
    QCoreApplication app(argc, argv);
    TestSingleInstance test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_singleinstance.moc"
