#include "platform/DeviceInputs.h"

#include <QDir>
#include <QFile>
#include <QSysInfo>
#include <QTest>

class TestDeviceInputs : public QObject
{
    Q_OBJECT

private slots:
    void machineId_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("present");
        QTest::addColumn<QString>("expected");

        QTest::newRow("plain line") << QByteArray("0123456789abcdef0123456789abcdef\n") << true
                                    << "0123456789abcdef0123456789abcdef";
        QTest::newRow("blanks around") << QByteArray("  \tabc123 \r\n\n") << true << "abc123";
        QTest::newRow("empty file") << QByteArray() << false << QString();
        QTest::newRow("only blanks") << QByteArray(" \n\t\n") << false << QString();
    }

    void machineId()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, present);
        QFETCH(QString, expected);

        const QString path = tempFile(QStringLiteral("machine-id"), content);
        const DeviceInputs inputs = readDeviceInputs(QStringLiteral("/"), path);
        QCOMPARE(inputs.hasMachineGuid, present);
        QCOMPARE(inputs.machineGuid, expected);
    }

    void missingFilesLeaveTheirPartOut()
    {
        const DeviceInputs inputs =
            readDeviceInputs(QStringLiteral("/nonexistent/root"), QStringLiteral("/nonexistent/machine-id"));
        QVERIFY(!inputs.hasMachineGuid);
        QVERIFY(!inputs.hasVolumeSerial);
        // The host name does not depend on either path.
        QVERIFY(inputs.hasComputerName);
    }

    void systemValuesAreStable()
    {
        const DeviceInputs first = readDeviceInputs();
        const DeviceInputs second = readDeviceInputs();
        QVERIFY(first.hasComputerName);
        QCOMPARE(first.computerName, QSysInfo::machineHostName());
        QVERIFY(first.hasVolumeSerial);
        QCOMPARE(first.volumeSerial, second.volumeSerial);
        QCOMPARE(first.hasMachineGuid, second.hasMachineGuid);
        QCOMPARE(first.machineGuid, second.machineGuid);
    }

private:
    QString tempFile(const QString &name, const QByteArray &content)
    {
        const QString folder = qEnvironmentVariable("QUORLIX_TEST_TMP", QDir::tempPath());
        const QString path = folder + QLatin1Char('/') + name;
        QFile file(path);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(content);
        return path;
    }
};

QTEST_GUILESS_MAIN(TestDeviceInputs)
#include "tst_deviceinputs.moc"
