#include "i18n/TranslationManager.h"
#include "storage/DatabaseManager.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLibraryInfo>
#include <QMap>
#include <QSignalSpy>
#include <QTest>
#include <QTranslator>

namespace {

// The metadata table as the manager sees it.
struct FakeStore
{
    QMap<QString, QString> values;
    int writes = 0;

    TranslationManager::Store store()
    {
        TranslationManager::Store s;
        s.readOrInit = [this](const QString &key, const QString &defaultValue) {
            if (!values.contains(key))
                values.insert(key, defaultValue);
            return values.value(key);
        };
        s.write = [this](const QString &key, const QString &value) {
            ++writes;
            values.insert(key, value);
            return true;
        };
        return s;
    }
};

const QString kKey = QStringLiteral("settings/ui_language");

QString testCatalogueFolder()
{
    return qEnvironmentVariable("QUORLIX_BINARY_DIR") + QStringLiteral("/tests/i18n/catalogue");
}

QString probe()
{
    return QCoreApplication::translate("TranslationProbe", "Connect");
}

} // namespace

class TestTranslationManager : public QObject
{
    Q_OBJECT

private slots:
    void normalize_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("expected");

        QTest::newRow("FA_ir") << "FA_ir"
                               << "fa-IR";
        QTest::newRow("fa ir with a blank") << "fa ir"
                                            << "fa-IR";
        QTest::newRow("Persian (fa-IR)") << "Persian (fa-IR)"
                                         << "fa-IR";
        QTest::newRow("farsi begins with fa") << "farsi"
                                              << "fa-IR";
        QTest::newRow("fa-AF begins with fa") << "fa-AF"
                                              << "fa-IR";
        QTest::newRow("padded fa-IR") << "  fa-IR  "
                                      << "fa-IR";
        QTest::newRow("en_us") << "en_us"
                               << "en-US";
        QTest::newRow("de-DE") << "de-DE"
                               << "en-US";
        QTest::newRow("empty") << ""
                               << "en-US";
        QTest::newRow("blank") << "   "
                               << "en-US";
        QTest::newRow("xfa-ir has no word boundary") << "xfa-ir"
                                                     << "en-US";
        QTest::newRow("English (en-US) wins over a later fa") << "en-US fa"
                                                              << "en-US";
    }

    void normalize()
    {
        QFETCH(QString, input);
        QFETCH(QString, expected);
        QCOMPARE(TranslationManager::normalizeLanguageCode(input), expected);
    }

    void signalsOnlyOnRealChange()
    {
        FakeStore fake;
        TranslationManager manager;
        manager.setStore(fake.store());
        manager.setTranslationFolders(testCatalogueFolder(), emptyFolder());
        QSignalSpy changed(&manager, &TranslationManager::languageChanged);

        manager.setLanguage(QStringLiteral("en_us"), true);
        QCOMPARE(changed.count(), 0);
        QCOMPARE(fake.writes, 0);

        manager.setLanguage(QStringLiteral("FA_ir"), true);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0).at(0).toString(), QStringLiteral("fa-IR"));
        QCOMPARE(manager.currentLanguage(), QStringLiteral("fa-IR"));

        // Other spellings of the current language change nothing.
        manager.setLanguage(QStringLiteral("farsi"), true);
        manager.setLanguage(QStringLiteral("Persian (fa-IR)"), true);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(fake.writes, 1);

        manager.setLanguage(QStringLiteral("de-DE"), true);
        QCOMPARE(changed.count(), 2);
        QCOMPARE(changed.at(1).at(0).toString(), QStringLiteral("en-US"));
        QCOMPARE(QGuiApplication::layoutDirection(), Qt::LeftToRight);
    }

    void persistFlagIsHonoured()
    {
        FakeStore fake;
        fake.values.insert(kKey, QStringLiteral("en-US"));
        TranslationManager manager;
        manager.setStore(fake.store());
        manager.setTranslationFolders(emptyFolder(), emptyFolder());

        manager.setLanguage(QStringLiteral("fa-IR"), false);
        QCOMPARE(fake.values.value(kKey), QStringLiteral("en-US"));
        QCOMPARE(fake.writes, 0);

        manager.setLanguage(QStringLiteral("en-US"), true);
        manager.setLanguage(QStringLiteral("fa_ir"), true);
        QCOMPARE(fake.values.value(kKey), QStringLiteral("fa-IR"));
        QCOMPARE(fake.writes, 2);
    }

    void loadSavedLanguage_data()
    {
        QTest::addColumn<bool>("stored");
        QTest::addColumn<QString>("storedValue");
        QTest::addColumn<QString>("expectedLanguage");
        QTest::addColumn<int>("expectedSignals");
        QTest::addColumn<QString>("valueAfter");

        QTest::newRow("missing key is created as English") << false << QString() << "en-US" << 0 << "en-US";
        QTest::newRow("saved English changes nothing") << true << "en-US"
                                                       << "en-US" << 0 << "en-US";
        QTest::newRow("saved Persian in any spelling") << true << "FA_ir"
                                                       << "fa-IR" << 1 << "FA_ir";
        QTest::newRow("unknown value is English") << true << "klingon"
                                                  << "en-US" << 0 << "klingon";
    }

    void loadSavedLanguage()
    {
        QFETCH(bool, stored);
        QFETCH(QString, storedValue);
        QFETCH(QString, expectedLanguage);
        QFETCH(int, expectedSignals);
        QFETCH(QString, valueAfter);

        FakeStore fake;
        if (stored)
            fake.values.insert(kKey, storedValue);
        TranslationManager manager;
        manager.setStore(fake.store());
        manager.setTranslationFolders(emptyFolder(), emptyFolder());
        QSignalSpy changed(&manager, &TranslationManager::languageChanged);

        manager.loadSavedLanguage();
        QCOMPARE(manager.currentLanguage(), expectedLanguage);
        QCOMPARE(changed.count(), expectedSignals);
        QCOMPARE(fake.values.value(kKey), valueAfter);
        QCOMPARE(fake.writes, 0);
    }

    void noStoreStartsInEnglish()
    {
        TranslationManager manager;
        manager.setStore({});
        manager.loadSavedLanguage();
        QCOMPARE(manager.currentLanguage(), QStringLiteral("en-US"));
        manager.setLanguage(QStringLiteral("fa-IR"), true); // nothing to write to: no crash
        QCOMPARE(manager.currentLanguage(), QStringLiteral("fa-IR"));
    }

    // Without a store of its own the manager keeps the language in the cache
    // database's metadata, where the next start finds it.
    void languageSurvivesInTheCacheDatabase()
    {
        const QString folder =
            qEnvironmentVariable("QUORLIX_TEST_TMP", QDir::tempPath()) + QStringLiteral("/db");
        QDir().mkpath(folder);
        DatabaseManager *db = DatabaseManager::instance();
        QVERIFY(db->initialize(folder));
        {
            TranslationManager first;
            first.setTranslationFolders(emptyFolder(), emptyFolder());
            first.loadSavedLanguage();
            QCOMPARE(first.currentLanguage(), QStringLiteral("en-US"));
            QCOMPARE(db->getMetadataOrInit(kKey, QStringLiteral("unset")), QStringLiteral("en-US"));
            first.setLanguage(QStringLiteral("Persian (fa-IR)"), true);
        }
        QCOMPARE(db->getMetadataOrInit(kKey, QStringLiteral("unset")), QStringLiteral("fa-IR"));

        TranslationManager next;
        next.setTranslationFolders(emptyFolder(), emptyFolder());
        QSignalSpy changed(&next, &TranslationManager::languageChanged);
        next.loadSavedLanguage();
        QCOMPARE(next.currentLanguage(), QStringLiteral("fa-IR"));
        QCOMPARE(changed.count(), 1);
        db->close();
    }

    void persianCatalogueTranslatesAndEnglishRemovesIt()
    {
        QVERIFY2(QFile::exists(testCatalogueFolder() + QStringLiteral("/translations/app/quorlix_fa.qm")),
                 "the test catalogue was not built");
        FakeStore fake;
        TranslationManager manager;
        manager.setStore(fake.store());
        manager.setTranslationFolders(testCatalogueFolder(), emptyFolder());

        QCOMPARE(probe(), QStringLiteral("Connect"));
        manager.setLanguage(QStringLiteral("fa-IR"), false);
        QCOMPARE(probe(), QString::fromUtf8("اتصال"));
        QVERIFY(!manager.appTranslator()->isEmpty());

        manager.setLanguage(QStringLiteral("en-US"), false);
        QCOMPARE(probe(), QStringLiteral("Connect"));
        QVERIFY(manager.appTranslator()->isEmpty());
        QVERIFY(manager.qtTranslator()->isEmpty());
    }

    // Without the client's own catalogue, Qt's translation of its own texts
    // still comes from Qt's translations folder.
    void qtCatalogueFallsBackToQtFolder()
    {
        const QString qtFolder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
        if (!QFile::exists(qtFolder + QStringLiteral("/qt_fa.qm")))
            QSKIP("Qt's Persian translations are not installed");
        TranslationManager manager;
        manager.setStore({});
        manager.setTranslationFolders(emptyFolder(), qtFolder);
        manager.setLanguage(QStringLiteral("fa-IR"), false);
        QVERIFY(manager.appTranslator()->isEmpty());
        QVERIFY(!manager.qtTranslator()->isEmpty());
        QVERIFY(QCoreApplication::translate("QPlatformTheme", "Cancel") != QStringLiteral("Cancel"));

        manager.setLanguage(QStringLiteral("en-US"), false);
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Cancel"));
    }

    // Qt's catalogue beside the executable is preferred to the one in Qt's
    // folder, and, installed after the client's own, it is searched first.
    void qtCatalogueBesideExecutableWins()
    {
        const QString qtFolder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
        const QString base = qEnvironmentVariable("QUORLIX_BINARY_DIR") + QStringLiteral("/tests/i18n");
        const QString folder =
            qEnvironmentVariable("QUORLIX_TEST_TMP", QDir::tempPath()) + QStringLiteral("/both");
        QVERIFY(QDir().mkpath(folder + QStringLiteral("/translations/app")));
        QVERIFY(QFile::copy(base + QStringLiteral("/catalogue/translations/app/quorlix_fa.qm"),
                            folder + QStringLiteral("/translations/app/quorlix_fa.qm")));
        QVERIFY(QFile::copy(base + QStringLiteral("/qtcatalogue/translations/qt_fa.qm"),
                            folder + QStringLiteral("/translations/qt_fa.qm")));

        TranslationManager manager;
        manager.setStore({});
        manager.setTranslationFolders(folder, qtFolder);
        manager.setLanguage(QStringLiteral("fa-IR"), false);
        QVERIFY(!manager.appTranslator()->isEmpty());
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"),
                 QString::fromUtf8("انصراف از کنار برنامه"));
        QCOMPARE(probe(), QString::fromUtf8("وصل شو"));

        manager.setLanguage(QStringLiteral("en-US"), false);
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Cancel"));
        QCOMPARE(probe(), QStringLiteral("Connect"));
    }

    // The catalogue the build lays beside the client's executable loads and
    // translates a window text.
    void shippedCatalogueLoads()
    {
        const QString appFolder = qEnvironmentVariable("QUORLIX_BINARY_DIR") + QStringLiteral("/app");
        QVERIFY2(QFile::exists(appFolder + QStringLiteral("/translations/app/quorlix_fa.qm")),
                 "the client's catalogue was not built beside the executable");
        TranslationManager manager;
        manager.setStore({});
        manager.setTranslationFolders(appFolder, emptyFolder());
        manager.setLanguage(QStringLiteral("fa-IR"), false);
        QCOMPARE(QCoreApplication::translate("MainWindow", "Home"), QString::fromUtf8("خانه"));
    }

private:
    QString emptyFolder()
    {
        const QString folder =
            qEnvironmentVariable("QUORLIX_TEST_TMP", QDir::tempPath()) + QStringLiteral("/empty");
        QDir().mkpath(folder);
        return folder;
    }
};

QTEST_MAIN(TestTranslationManager)
#include "tst_translationmanager.moc"
