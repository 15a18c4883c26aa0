// The one-way move of older installs' data into the local data folder.

#include "app/DataFolder.h"
#include "support/ClientNames.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const QDateTime kBase = QDateTime(QDate(2025, 6, 1), QTime(12, 0, 0));

bool writeFile(const QString &rawPath, const QByteArray &content, const QDateTime &mtime = kBase)
{
    const QString path = QDir::cleanPath(rawPath);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    f.write(content);
    f.flush(); // a later flush would stamp the file with the current time
    return f.setFileTime(mtime, QFileDevice::FileModificationTime);
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

} // namespace

class tst_DataFolder : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void replaceOrKeep_data();
    void replaceOrKeep();
    void backupSurvivesTwoMigrations();
    void gapFillingAndLeftovers();
    void accountCopyIsLeftForTheSettingsSetUp();
    void hiddenFilesKeepTheirFolder();
    void oddEntriesAreSkipped();
    void sourceHoldingTheTargetIsNeverWalked();
    void linkedSourceHoldingTheTarget_data();
    void linkedSourceHoldingTheTarget();
    void legacyFoldersAreVisited();
    void organisationFolderAroundDataFolderIsSafe();
    void emptyDataFolderDoesNothing();
    void linuxLocations();
};

void tst_DataFolder::initTestCase()
{
    useClientNames();
}

void tst_DataFolder::replaceOrKeep_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("destExists");
    QTest::addColumn<int>("ageSeconds"); // source time minus destination time
    QTest::addColumn<int>("sourceSize");
    QTest::addColumn<int>("destSize");
    QTest::addColumn<bool>("replace");

    QTest::newRow("cache db, no destination") << "quorlix_cache.db" << false << 0 << 10 << 0 << true;
    QTest::newRow("other file, no destination") << "notes.txt" << false << 0 << 10 << 0 << false;
    QTest::newRow("other file, newer") << "notes.txt" << true << 60 << 10 << 10 << false;
    QTest::newRow("cache db, newer") << "quorlix_cache.db" << true << 60 << 10 << 10 << true;
    QTest::newRow("cache db in capitals, newer") << "Quorlix_Cache.DB" << true << 60 << 10 << 10 << true;
    QTest::newRow("cache db, older") << "quorlix_cache.db" << true << -60 << 99 << 10 << false;
    QTest::newRow("cache db, same time, larger") << "quorlix_cache.db" << true << 0 << 11 << 10 << true;
    QTest::newRow("cache db, same time, same size") << "quorlix_cache.db" << true << 0 << 10 << 10 << false;
    QTest::newRow("cache db, same time, smaller") << "quorlix_cache.db" << true << 0 << 9 << 10 << false;
    QTest::newRow("any ini, newer") << "Quorlix.INI" << true << 60 << 10 << 10 << true;
    QTest::newRow("ini backup is not ini") << "Quorlix.ini.bak" << true << 60 << 10 << 10 << false;
    QTest::newRow("session data, newer") << "session_data.json" << true << 60 << 10 << 10 << true;
    QTest::newRow("server pings, newer") << "server_pings.json" << true << 60 << 10 << 10 << true;
    QTest::newRow("games list dat, newer") << "games_list.dat" << true << 60 << 10 << 10 << true;
    QTest::newRow("games list json, older") << "games_list.json" << true << -1 << 10 << 10 << false;
    QTest::newRow("other json, newer") << "covers.json" << true << 60 << 10 << 10 << false;
}

void tst_DataFolder::replaceOrKeep()
{
    QFETCH(QString, name);
    QFETCH(bool, destExists);
    QFETCH(int, ageSeconds);
    QFETCH(int, sourceSize);
    QFETCH(int, destSize);
    QFETCH(bool, replace);

    QTemporaryDir dir;
    const QString src = dir.filePath("legacy/" + name);
    const QString dst = dir.filePath("data/" + name);
    QVERIFY(writeFile(src, QByteArray(sourceSize, 's'), kBase.addSecs(ageSeconds)));
    if (destExists)
        QVERIFY(writeFile(dst, QByteArray(destSize, 'd'), kBase));
    QCOMPARE(shouldReplaceFile(QFileInfo(src), QFileInfo(dst)), replace);

    // The move itself follows the same decision and keeps whatever it replaces.
    QVERIFY(moveFileWithBackup(src, dst, replace));
    const bool moved = replace || !destExists;
    QCOMPARE(readFile(dst), moved ? QByteArray(sourceSize, 's') : QByteArray(destSize, 'd'));
    QCOMPARE(QFile::exists(src), !moved);
    QCOMPARE(QFile::exists(dst + ".bak"), destExists && replace);
    if (destExists && replace)
        QCOMPARE(readFile(dst + ".bak"), QByteArray(destSize, 'd'));
}

void tst_DataFolder::backupSurvivesTwoMigrations()
{
    QTemporaryDir dir;
    const QString data = dir.filePath("data");
    QVERIFY(writeFile(data + "/quorlix_cache.db", "v0", kBase));
    QVERIFY(writeFile(dir.filePath("first/quorlix_cache.db"), "v1", kBase.addSecs(10)));
    QVERIFY(writeFile(dir.filePath("second/quorlix_cache.db"), "v2", kBase.addSecs(20)));

    migrateFolder(data, dir.filePath("first"));
    QCOMPARE(readFile(data + "/quorlix_cache.db"), QByteArray("v1"));
    QCOMPARE(readFile(data + "/quorlix_cache.db.bak"), QByteArray("v0"));
    QVERIFY(!QFileInfo::exists(dir.filePath("first")));

    // The first replaced version stays the backup; the later one gives way.
    migrateFolder(data, dir.filePath("second"));
    QCOMPARE(readFile(data + "/quorlix_cache.db"), QByteArray("v2"));
    QCOMPARE(readFile(data + "/quorlix_cache.db.bak"), QByteArray("v0"));
    QVERIFY(!QFileInfo::exists(dir.filePath("second")));
}

void tst_DataFolder::gapFillingAndLeftovers()
{
    QTemporaryDir dir;
    const QString data = dir.filePath("data");
    const QString legacy = dir.filePath("legacy");
    QVERIFY(writeFile(data + "/flags/de.png", "current flag", kBase));
    QVERIFY(writeFile(legacy + "/flags/de.png", "legacy flag", kBase.addSecs(100)));
    QVERIFY(writeFile(legacy + "/flags/fr.png", "legacy fr", kBase));
    QVERIFY(writeFile(legacy + "/covers/a.jpg", "cover", kBase));
    QVERIFY(writeFile(legacy + "/server_pings.json", "{}", kBase));

    migrateFolder(data, legacy);

    QCOMPARE(readFile(data + "/flags/de.png"), QByteArray("current flag"));
    QCOMPARE(readFile(data + "/flags/fr.png"), QByteArray("legacy fr"));
    QCOMPARE(readFile(data + "/covers/a.jpg"), QByteArray("cover"));
    QCOMPARE(readFile(data + "/server_pings.json"), QByteArray("{}"));
    // The file that could not move keeps its folder, and a folder with
    // subfolders is never removed.
    QCOMPARE(readFile(legacy + "/flags/de.png"), QByteArray("legacy flag"));
    QVERIFY(QFileInfo(legacy + "/covers").isDir());
    QVERIFY(QFileInfo(legacy).isDir());

    // A legacy folder without subfolders disappears once it is empty.
    QVERIFY(writeFile(dir.filePath("flat/games_list.dat"), "x", kBase));
    migrateFolder(data, dir.filePath("flat"));
    QVERIFY(!QFileInfo::exists(dir.filePath("flat")));
}

void tst_DataFolder::accountCopyIsLeftForTheSettingsSetUp()
{
    QTemporaryDir dir;
    const QString data = dir.filePath("data");
    const QString legacy = dir.filePath("legacy");
    QVERIFY(writeFile(legacy + "/Quorlix/QuorlixApp.INI", "[auth]\n", kBase));
    QVERIFY(writeFile(legacy + "/QuorlixApp.ini", "[user]\nnew\n", kBase.addSecs(50)));
    QVERIFY(writeFile(data + "/QuorlixApp.ini", "[user]\n", kBase));

    migrateFolder(data, legacy);
    // No such file in the data folder: left where it is.
    QVERIFY(QFile::exists(legacy + "/Quorlix/QuorlixApp.INI"));
    QVERIFY(!QFile::exists(data + "/Quorlix/QuorlixApp.INI"));
    // One exists already: an ordinary replaceable ".ini".
    QCOMPARE(readFile(data + "/QuorlixApp.ini"), QByteArray("[user]\nnew\n"));
    QCOMPARE(readFile(data + "/QuorlixApp.ini.bak"), QByteArray("[user]\n"));
}

void tst_DataFolder::hiddenFilesKeepTheirFolder()
{
    QTemporaryDir dir;
    const QString legacy = dir.filePath("legacy");
    QVERIFY(writeFile(legacy + "/games_list.json", "[]", kBase));
    QVERIFY(writeFile(legacy + "/.hidden-notes", "keep me", kBase));
    migrateFolder(dir.filePath("data"), legacy);
    QCOMPARE(readFile(dir.filePath("data/games_list.json")), QByteArray("[]"));
    // The walk does not list hidden files, so it must not delete them either.
    QCOMPARE(readFile(legacy + "/.hidden-notes"), QByteArray("keep me"));
}

void tst_DataFolder::oddEntriesAreSkipped()
{
    QTemporaryDir dir;
    const QString legacy = dir.filePath("legacy");
    const QString data = dir.filePath("data");
    QVERIFY(writeFile(dir.filePath("elsewhere/secret.txt"), "outside", kBase));
    QVERIFY(writeFile(legacy + "/session_data.json", "{}", kBase));
    QVERIFY(QFile::link(dir.filePath("elsewhere/secret.txt"), legacy + "/link.txt"));
    QVERIFY(QFile::link(dir.filePath("elsewhere"), legacy + "/linkdir"));
    QVERIFY(QFile::link(dir.filePath("nowhere"), legacy + "/dangling"));
    QCOMPARE(mkfifo(QFile::encodeName(legacy + "/pipe").constData(), 0600), 0);

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("skipping link .*link.txt"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("skipping link .*linkdir"));
    migrateFolder(data, legacy);

    QCOMPARE(readFile(data + "/session_data.json"), QByteArray("{}"));
    QVERIFY(!QFileInfo(data + "/link.txt").exists());
    QVERIFY(!QFileInfo(data + "/linkdir").exists());
    QCOMPARE(readFile(dir.filePath("elsewhere/secret.txt")), QByteArray("outside"));
    QVERIFY(QFileInfo(legacy + "/link.txt").isSymLink());
    QVERIFY(QFileInfo(legacy + "/pipe").exists());
}

void tst_DataFolder::sourceHoldingTheTargetIsNeverWalked()
{
    QTemporaryDir dir;
    const QString outer = dir.filePath("Quorlix");
    const QString data = outer + "/Quorlix";
    QVERIFY(writeFile(data + "/quorlix_cache.db", "db", kBase));
    QVERIFY(writeFile(outer + "/games_list.dat", "outer", kBase));

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("contains the data folder"));
    migrateFolder(data, outer);
    QCOMPARE(readFile(data + "/quorlix_cache.db"), QByteArray("db"));
    QVERIFY(!QFileInfo::exists(data + "/Quorlix"));
    QCOMPARE(readFile(outer + "/games_list.dat"), QByteArray("outer"));

    // The same folder, spelled differently, is the same folder.
    migrateFolder(data, outer + "/./Quorlix/");
    QCOMPARE(readFile(data + "/quorlix_cache.db"), QByteArray("db"));
}

void tst_DataFolder::linkedSourceHoldingTheTarget_data()
{
    QTest::addColumn<QString>("linkTo"); // relative to the temporary folder
    QTest::newRow("link to the folder above the data folder") << "Quorlix";
    QTest::newRow("link to the data folder itself") << "Quorlix/Quorlix";
}

void tst_DataFolder::linkedSourceHoldingTheTarget()
{
    // An older install's folder name that is only a link to the current
    // folders: walking it would move the data folder into itself.
    QFETCH(QString, linkTo);
    QTemporaryDir dir;
    const QString data = dir.filePath("Quorlix/Quorlix");
    QVERIFY(writeFile(data + "/quorlix_cache.db", "db", kBase));
    QVERIFY(writeFile(data + "/covers/a.jpg", "cover", kBase));
    QVERIFY(writeFile(dir.filePath("Quorlix/games_list.dat"), "outer", kBase));
    const QString legacy = dir.filePath("Quorlyx");
    QVERIFY(QFile::link(dir.filePath(linkTo), legacy));

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("contains the data folder"));
    migrateFolder(data, legacy);

    QCOMPARE(readFile(data + "/quorlix_cache.db"), QByteArray("db"));
    QCOMPARE(readFile(data + "/covers/a.jpg"), QByteArray("cover"));
    QVERIFY(!QFileInfo::exists(data + "/Quorlix"));
    QCOMPARE(readFile(dir.filePath("Quorlix/games_list.dat")), QByteArray("outer"));
    QVERIFY(QFileInfo(legacy).isSymLink());
}

void tst_DataFolder::legacyFoldersAreVisited()
{
    QTemporaryDir dir;
    const QString base = dir.filePath("share");
    DataFolderLocations where;
    where.dataFolder = base + "/Quorlix/Quorlix";
    where.roamingFolder = where.dataFolder;
    where.organisationFolder = base + "/Quorlix";
    where.applicationName = "Quorlix";

    QVERIFY(writeFile(base + "/Quorlix/QuorlyxApp/games_list.dat", "a", kBase));
    QVERIFY(writeFile(base + "/Quorlyx/Quorlix/server_pings.json", "b", kBase));
    QVERIFY(writeFile(base + "/Quorlyx/QuorlyxApp/session_data.json", "c", kBase));
    QVERIFY(writeFile(base + "/Quorlyx/QuorlixApp/flags/it.png", "d", kBase));
    QVERIFY(writeFile(base + "/Unrelated/notes.txt", "e", kBase));

    migrateLegacyData(where);

    const QString d = where.dataFolder;
    QCOMPARE(readFile(d + "/games_list.dat"), QByteArray("a"));
    QCOMPARE(readFile(d + "/server_pings.json"), QByteArray("b"));
    QCOMPARE(readFile(d + "/session_data.json"), QByteArray("c"));
    QCOMPARE(readFile(d + "/flags/it.png"), QByteArray("d"));
    QVERIFY(!QFileInfo::exists(base + "/Quorlix/QuorlyxApp"));
    QVERIFY(!QFileInfo::exists(base + "/Quorlyx/Quorlix"));
    QVERIFY(QFileInfo(base + "/Quorlyx/QuorlixApp/flags").isDir()); // had a subfolder
    QCOMPARE(readFile(base + "/Unrelated/notes.txt"), QByteArray("e"));
}

void tst_DataFolder::organisationFolderAroundDataFolderIsSafe()
{
    // When the folder under the organisation folder is not the data folder,
    // the roaming folder and the organisation folder are migrated; the latter
    // holds the data folder and must be left alone.
    QTemporaryDir dir;
    DataFolderLocations where;
    where.organisationFolder = dir.filePath("share/Quorlix");
    where.dataFolder = where.organisationFolder + "/Quorlix";
    where.roamingFolder = dir.filePath("roaming/Quorlix/Quorlix");
    where.applicationName = "QuorlixOther";
    QVERIFY(writeFile(where.dataFolder + "/quorlix_cache.db", "current", kBase));
    QVERIFY(writeFile(where.roamingFolder + "/games_list.json", "roamed", kBase));
    QVERIFY(writeFile(where.organisationFolder + "/Quorlix.ini", "org", kBase));

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("contains the data folder"));
    migrateLegacyData(where);

    QCOMPARE(readFile(where.dataFolder + "/quorlix_cache.db"), QByteArray("current"));
    QCOMPARE(readFile(where.dataFolder + "/games_list.json"), QByteArray("roamed"));
    QVERIFY(!QFileInfo::exists(where.dataFolder + "/Quorlix"));
    QCOMPARE(readFile(where.organisationFolder + "/Quorlix.ini"), QByteArray("org"));
}

void tst_DataFolder::emptyDataFolderDoesNothing()
{
    QTemporaryDir dir;
    DataFolderLocations where;
    where.roamingFolder = dir.filePath("roaming");
    QVERIFY(writeFile(where.roamingFolder + "/games_list.dat", "x", kBase));
    migrateLegacyData(where);
    QCOMPARE(readFile(where.roamingFolder + "/games_list.dat"), QByteArray("x"));
    migrateFolder(QString(), where.roamingFolder);
    migrateFolder(dir.filePath("data"), QString());
    QCOMPARE(readFile(where.roamingFolder + "/games_list.dat"), QByteArray("x"));
}

void tst_DataFolder::linuxLocations()
{
    // On Linux the local and roaming folders are one, so the folder under the
    // organisation folder is the data folder itself.
    const DataFolderLocations where = DataFolderLocations::current();
    QVERIFY(!where.dataFolder.isEmpty());
    QCOMPARE(where.roamingFolder, where.dataFolder);
    QCOMPARE(where.organisationFolder + "/" + where.applicationName, where.dataFolder);
    QVERIFY(where.dataFolder.startsWith(qEnvironmentVariable("XDG_DATA_HOME")));

    QVERIFY(writeFile(where.dataFolder + "/../../Quorlyx/Quorlix/games_list.dat", "legacy", kBase));
    migrateLegacyData();
    QCOMPARE(readFile(where.dataFolder + "/games_list.dat"), QByteArray("legacy"));
}

QTEST_GUILESS_MAIN(tst_DataFolder)
#include "tst_datafolder.moc"
