// The isolation every test relies on: own folders, C locale, offscreen
// 1920x1080 screen, and loopback-only service origins.
#include "support/TestNet.h"

#include <QGuiApplication>
#include <QScreen>
#include <QStandardPaths>
#include <QTest>

class TestNetRule : public QObject
{
    Q_OBJECT
private slots:
    void loopbackTable_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("loopback");
        QTest::newRow("127.0.0.1") << "http://127.0.0.1:8080/api" << true;
        QTest::newRow("127.44.0.9") << "https://127.44.0.9/" << true;
        QTest::newRow("localhost") << "http://LOCALHOST:1/" << true;
        QTest::newRow("::1") << "http://[::1]:80/" << true;
        QTest::newRow("private 10/8") << "http://10.0.0.1/" << false;
        QTest::newRow("private 192.168") << "http://192.168.1.1/" << false;
        QTest::newRow("public name") << "https://example.com/" << false;
        QTest::newRow("128.0.0.1") << "http://128.0.0.1/" << false;
        QTest::newRow("no host") << "file:///etc/passwd" << false;
    }
    void loopbackTable()
    {
        QFETCH(QString, url);
        QFETCH(bool, loopback);
        QCOMPARE(TestNet::isLoopbackUrl(QUrl(url)), loopback);
    }

    void environmentIsSealed()
    {
        QString offender;
        QVERIFY2(TestNet::environmentOriginsAreLoopback(&offender), qPrintable(offender));
        QCOMPARE(qEnvironmentVariable("LC_ALL"), QStringLiteral("C"));
        const QString home = qEnvironmentVariable("HOME");
        QVERIFY(home.contains(QLatin1String("quorlix-test.")));
        QVERIFY(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
                    .startsWith(home.section('/', 0, -2)));
    }

    void offscreenScreenFitsTheWindow()
    {
        QScreen *screen = QGuiApplication::primaryScreen();
        QVERIFY(screen);
        QCOMPARE(screen->geometry().size(), QSize(1920, 1080));
    }
};

QTEST_MAIN(TestNetRule)
#include "tst_testnet.moc"
