// The per-user blob protection: what opens, what is refused, and how the
// user's secret is kept on disk.

#include "platform/DataProtection.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

class TestDataProtection : public QObject
{
    Q_OBJECT
private slots:
    void roundTrip_data();
    void roundTrip();
    void refusesAlteredOrForeignBlobs_data();
    void refusesAlteredOrForeignBlobs();
    void otherEntropyOrSecretDoesNotOpen();
    void secretIsPrivate();
    void unusableSecretIsReplaced_data();
    void unusableSecretIsReplaced();
    void noSecretOpensNothingAndMakesNothing();
};

static int mode(const QString &path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 0777) : -1;
}

void TestDataProtection::roundTrip_data()
{
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<QByteArray>("entropy");
    QTest::newRow("empty body") << QByteArray() << QByteArray("e");
    QTest::newRow("catalogue") << QByteArray(R"([{"id":"arena","title":"Arena Strike"}])")
                               << QByteArray(32, 'x');
    QTest::newRow("no entropy") << QByteArray("legacy form") << QByteArray();
    QTest::newRow("2 MB") << QByteArray(2 * 1024 * 1024, 'g') << QByteArray("e");
}

void TestDataProtection::roundTrip()
{
    QFETCH(QByteArray, plain);
    QFETCH(QByteArray, entropy);
    QTemporaryDir dir;
    DataProtection protection(dir.filePath("keys"));
    QByteArray blob;
    QVERIFY(protection.protect(plain, entropy, &blob));
    QCOMPARE(blob.size(), plain.size() + DataProtection::kOverhead);
    QVERIFY(blob.startsWith("QXDP"));
    if (plain.size() >= 8)
        QVERIFY(!blob.contains(plain.left(16)));

    QByteArray back("untouched");
    QVERIFY(protection.unprotect(blob, entropy, &back));
    QCOMPARE(back, plain);

    // A second blob of the same bytes uses a fresh nonce.
    QByteArray again;
    QVERIFY(protection.protect(plain, entropy, &again));
    QVERIFY(again != blob);
}

void TestDataProtection::refusesAlteredOrForeignBlobs_data()
{
    QTest::addColumn<int>("cutTo");  // -1: keep the size
    QTest::addColumn<int>("flipAt"); // -1: flip nothing
    QTest::addColumn<QByteArray>("replaceHead");
    QTest::newRow("empty") << 0 << -1 << QByteArray();
    QTest::newRow("header only") << DataProtection::kHeaderSize << -1 << QByteArray();
    QTest::newRow("one byte short of the tag") << DataProtection::kOverhead - 1 << -1 << QByteArray();
    QTest::newRow("last byte cut") << -2 << -1 << QByteArray();
    QTest::newRow("magic flipped") << -1 << 1 << QByteArray();
    QTest::newRow("version flipped") << -1 << 4 << QByteArray();
    QTest::newRow("nonce flipped") << -1 << 9 << QByteArray();
    QTest::newRow("tag flipped") << -1 << 20 << QByteArray();
    QTest::newRow("ciphertext flipped") << -1 << DataProtection::kOverhead + 3 << QByteArray();
    QTest::newRow("another magic") << -1 << -1 << QByteArray("DPAP");
    QTest::newRow("plain JSON") << -1 << -1 << QByteArray(R"([{"id":"1"},{"id":"2"},{"id":"3"}])");
}

void TestDataProtection::refusesAlteredOrForeignBlobs()
{
    QFETCH(int, cutTo);
    QFETCH(int, flipAt);
    QFETCH(QByteArray, replaceHead);
    QTemporaryDir dir;
    DataProtection protection(dir.filePath("keys"));
    QByteArray blob;
    QVERIFY(protection.protect(QByteArray(R"([{"id":"arena"}])"), "e", &blob));
    if (cutTo == -2)
        blob.chop(1);
    else if (cutTo >= 0)
        blob.truncate(cutTo);
    if (flipAt >= 0)
        blob[flipAt] = char(blob.at(flipAt) ^ 0x01);
    if (!replaceHead.isEmpty())
        blob.replace(0, replaceHead.size(), replaceHead);

    QByteArray plain("untouched");
    QVERIFY(!protection.unprotect(blob, "e", &plain));
    QCOMPARE(plain, QByteArray("untouched"));
}

void TestDataProtection::otherEntropyOrSecretDoesNotOpen()
{
    QTemporaryDir dir;
    DataProtection mine(dir.filePath("mine"));
    DataProtection other(dir.filePath("other"));
    QByteArray blob;
    QVERIFY(mine.protect("secret list", "device-a", &blob));
    QByteArray otherBlob;
    QVERIFY(other.protect("x", "device-a", &otherBlob)); // gives the other user a secret of their own

    QByteArray plain;
    QVERIFY(!mine.unprotect(blob, "device-b", &plain));
    QVERIFY(!mine.unprotect(blob, QByteArray(), &plain));
    QVERIFY(!other.unprotect(blob, "device-a", &plain));
    QVERIFY(plain.isEmpty());
    QVERIFY(mine.unprotect(blob, "device-a", &plain));
}

void TestDataProtection::secretIsPrivate()
{
    QTemporaryDir dir;
    // A folder that already exists with loose rights is tightened.
    const QString folder = dir.filePath("config/protection");
    QVERIFY(QDir().mkpath(folder));
    QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 0755), 0);
    DataProtection protection(folder);
    QByteArray blob;
    QVERIFY(protection.protect("x", "e", &blob));
    QCOMPARE(mode(folder), 0700);
    QCOMPARE(mode(protection.secretPath()), 0600);
    QCOMPARE(QFileInfo(protection.secretPath()).size(), qint64(DataProtection::kSecretSize));
    QVERIFY(!QFile::exists(protection.secretPath() + ".new"));

    // The secret is made once; later blobs use the same one.
    QFile secretFile(protection.secretPath());
    QVERIFY(secretFile.open(QIODevice::ReadOnly));
    const QByteArray secret = secretFile.readAll();
    secretFile.close();
    QVERIFY(protection.protect("y", "e", &blob));
    QVERIFY(secretFile.open(QIODevice::ReadOnly));
    QCOMPARE(secretFile.readAll(), secret);
}

void TestDataProtection::unusableSecretIsReplaced_data()
{
    QTest::addColumn<QByteArray>("contents"); // empty: the file is removed
    QTest::newRow("missing") << QByteArray();
    QTest::newRow("cut short") << QByteArray(7, 's');
    QTest::newRow("too long") << QByteArray(DataProtection::kSecretSize + 1, 's');
}

void TestDataProtection::unusableSecretIsReplaced()
{
    QFETCH(QByteArray, contents);
    QTemporaryDir dir;
    DataProtection protection(dir.filePath("keys"));
    QByteArray oldBlob;
    QVERIFY(protection.protect("old list", "e", &oldBlob));

    QFile::remove(protection.secretPath());
    if (!contents.isEmpty()) {
        QFile f(protection.secretPath());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(contents);
    }
    QByteArray plain;
    QVERIFY(!protection.unprotect(oldBlob, "e", &plain));

    QByteArray newBlob;
    QVERIFY(protection.protect("new list", "e", &newBlob));
    QCOMPARE(QFileInfo(protection.secretPath()).size(), qint64(DataProtection::kSecretSize));
    QCOMPARE(mode(protection.secretPath()), 0600);
    QVERIFY(protection.unprotect(newBlob, "e", &plain));
    QCOMPARE(plain, QByteArray("new list"));
    QVERIFY(!protection.unprotect(oldBlob, "e", &plain));
}

void TestDataProtection::noSecretOpensNothingAndMakesNothing()
{
    QTemporaryDir dir;
    DataProtection writer(dir.filePath("writer"));
    QByteArray blob;
    QVERIFY(writer.protect("x", "e", &blob));
    DataProtection reader(dir.filePath("reader"));
    QByteArray plain;
    QVERIFY(!reader.unprotect(blob, "e", &plain));
    QVERIFY(!QFile::exists(reader.secretFolder()));
}

QTEST_GUILESS_MAIN(TestDataProtection)
#include "tst_dataprotection.moc"
