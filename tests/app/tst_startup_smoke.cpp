// Starts the real client binary offscreen with an empty home and checks what
// a first start leaves behind and shows.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QUuid>

class TestStartupSmoke : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_binary = qEnvironmentVariable("QUORLIX_BINARY_DIR") + QStringLiteral("/app/quorlix");
        QVERIFY2(QFile::exists(m_binary), qPrintable(m_binary));
        m_dataFolder = qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/Quorlix/Quorlix");
        QVERIFY2(!QDir(m_dataFolder).exists(), "the runner should give us an empty home");
    }

    void firstStartPreparesDataAndShowsWindow()
    {
        QByteArray out;
        QCOMPARE(runClient(&out), 0);
        QVERIFY2(out.contains("quorlix: window shown 1440x810 frameless=1 title=Quorlix v2.0.0\n"),
                 out.constData());
        QVERIFY2(out.contains("quorlix: first frame flushed"), out.constData());

        for (const char *sub : {"cache", "flags", "covers"})
            QVERIFY2(QDir(m_dataFolder + QLatin1Char('/') + QLatin1String(sub)).exists(), sub);
        QVERIFY(QFile::exists(m_dataFolder + QStringLiteral("/quorlix_cache.db")));
        QVERIFY(QFile::exists(m_dataFolder + QStringLiteral("/QuorlixApp.ini")));
    }

    // The first run gave up its claim on the way out, so the next start is a
    // first instance again and shows its window.
    void secondRunAfterCleanExitStartsNormally()
    {
        QByteArray out;
        QCOMPARE(runClient(&out), 0);
        QVERIFY2(out.contains("quorlix: window shown 1440x810"), out.constData());
    }

private:
    int runClient(QByteArray *out)
    {
        QProcess client;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QUORLIX_QUIT_AFTER_SHOW"), QStringLiteral("1"));
        env.insert(QStringLiteral("QUORLIX_SINGLE_INSTANCE_ID"), m_instanceId);
        client.setProcessEnvironment(env);
        client.start(m_binary, {});
        if (!client.waitForFinished(60000)) {
            client.kill();
            client.waitForFinished();
            return -1;
        }
        *out = client.readAllStandardOutput();
        if (client.exitStatus() != QProcess::NormalExit)
            return -2;
        return client.exitCode();
    }

    QString m_binary;
    QString m_dataFolder;
    const QString m_instanceId =
        QStringLiteral("smoke_") + QUuid::createUuid().toString(QUuid::Id128).left(12);
};

QTEST_GUILESS_MAIN(TestStartupSmoke)
#include "tst_startup_smoke.moc"
