#include "platform/InstallerLauncher.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

class TestInstallerLauncher : public QObject
{
    Q_OBJECT

private slots:
    void start_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("started");
        QTest::newRow("shell script") << "script" << true;
        QTest::newRow("missing file") << "missing" << false;
        QTest::newRow("folder") << "folder" << false;
        QTest::newRow("data that cannot run") << "data" << false;
    }
    void start()
    {
        QFETCH(QString, kind);
        QFETCH(bool, started);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("Quorlix-Setup-2.0.1.exe"));
        const QString marker = dir.filePath(QStringLiteral("ran"));
        if (kind == QLatin1String("folder")) {
            QVERIFY(QDir().mkpath(path));
        } else if (kind != QLatin1String("missing")) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(kind == QLatin1String("script")
                           ? "#!/bin/sh\necho \"$#\" > '" + marker.toUtf8() + "'\n"
                           : QByteArray("\x01\x02\x03 not a program\n"));
        }

        QCOMPARE(InstallerLauncher::system().start(path), started);
        if (started) {
            // Run with no arguments, and made runnable for its owner alone.
            QTRY_VERIFY(QFile::exists(marker));
            QFile ran(marker);
            QVERIFY(ran.open(QIODevice::ReadOnly));
            QCOMPARE(ran.readAll(), QByteArray("0\n"));
            const QFile::Permissions groupOrOthers = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                                     QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
            QVERIFY(QFileInfo(path).permissions() & QFile::ExeOwner);
            QCOMPARE(QFileInfo(path).permissions() & groupOrOthers, QFile::Permissions());
        }
    }
};

QTEST_GUILESS_MAIN(TestInstallerLauncher)
#include "tst_installerlauncher.moc"
