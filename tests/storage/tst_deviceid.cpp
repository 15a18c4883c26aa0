#include "storage/DeviceId.h"

#include <QCryptographicHash>
#include <QRegularExpression>
#include <QSysInfo>
#include <QTest>

namespace {

QString expectedId(const QString &text)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha256).toHex().left(32));
}

DeviceInputs inputs(const char *name, qint64 serial, const char *guid)
{
    DeviceInputs in;
    if (name) {
        in.hasComputerName = true;
        in.computerName = QString::fromUtf8(name);
    }
    if (serial >= 0) {
        in.hasVolumeSerial = true;
        in.volumeSerial = static_cast<quint32>(serial);
    }
    if (guid) {
        in.hasMachineGuid = true;
        in.machineGuid = QString::fromUtf8(guid);
    }
    return in;
}

} // namespace

Q_DECLARE_METATYPE(DeviceInputs)

class TestDeviceId : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { DeviceId::setInputReaderForTesting({}); }

    void fromInputs_data()
    {
        QTest::addColumn<DeviceInputs>("in");
        QTest::addColumn<QString>("hashedText");

        QTest::newRow("all three, serial with top bit set")
            << inputs("PC", 4294967295LL, "guid") << "PC4294967295guid";
        QTest::newRow("name and guid") << inputs("PC", -1, "guid") << "PCguid";
        QTest::newRow("serial only") << inputs(nullptr, 2147483648LL, nullptr) << "2147483648";
        QTest::newRow("serial zero is still a serial") << inputs("PC", 0, nullptr) << "PC0";
        QTest::newRow("non-ASCII name hashed as UTF-8")
            << inputs("رایانه", 7, "g") << QString::fromUtf8("رایانه7g");
        QTest::newRow("all missing uses host and product")
            << inputs(nullptr, -1, nullptr) << "fallback-hostdebian";
        QTest::newRow("empty name with nothing else falls back")
            << inputs("", -1, "") << "fallback-hostdebian";
    }

    void fromInputs()
    {
        QFETCH(DeviceInputs, in);
        QFETCH(QString, hashedText);
        const QString id =
            DeviceId::fromInputs(in, QStringLiteral("fallback-host"), QStringLiteral("debian"));
        QCOMPARE(id, expectedId(hashedText));
        QVERIFY(QRegularExpression(QStringLiteral("^[0-9a-f]{32}$")).match(id).hasMatch());
    }

    // Digests worked out outside Qt (`printf '<text>' | sha256sum`), so a
    // change of encoding, digest or cut shows here even where the rows above
    // would change along with the code.
    void knownDigests_data()
    {
        QTest::addColumn<DeviceInputs>("in");
        QTest::addColumn<QString>("expected");

        QTest::newRow("PC 4294967295 guid")
            << inputs("PC", 4294967295LL, "guid") << "1c8f74515feab46616c24e21e21520ed";
        QTest::newRow("fallback") << inputs(nullptr, -1, nullptr) << "8c7f459f62a926ffaae0a0ca7520c25f";
    }

    void knownDigests()
    {
        QFETCH(DeviceInputs, in);
        QFETCH(QString, expected);
        QCOMPARE(DeviceId::fromInputs(in, QStringLiteral("fallback-host"), QStringLiteral("debian")),
                 expected);
    }

    void machineIsReadOnce()
    {
        int reads = 0;
        DeviceId::setInputReaderForTesting([&reads] {
            ++reads;
            return inputs("PC", 4294967295LL, "guid");
        });
        const QString first = DeviceId::get();
        const QString second = DeviceId::get();
        QCOMPARE(first, expectedId(QStringLiteral("PC4294967295guid")));
        QCOMPARE(second, first);
        QCOMPARE(reads, 1);
    }

    void fallbackUsesThisMachine()
    {
        DeviceId::setInputReaderForTesting([] { return DeviceInputs(); });
        QCOMPARE(DeviceId::get(), expectedId(QSysInfo::machineHostName() + QSysInfo::productType()));
    }

    void realMachineGivesWellFormedStableId()
    {
        const QString id = DeviceId::get();
        QVERIFY(QRegularExpression(QStringLiteral("^[0-9a-f]{32}$")).match(id).hasMatch());
        DeviceId::setInputReaderForTesting({});
        QCOMPARE(DeviceId::get(), id);
    }
};

QTEST_GUILESS_MAIN(TestDeviceId)
#include "tst_deviceid.moc"
