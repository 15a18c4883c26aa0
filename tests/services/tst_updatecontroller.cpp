#include "FlowTestSupport.h"
#include "ServiceTestSupport.h"
#include "platform/InstallerLauncher.h"
#include "services/UpdateController.h"
#include "support/FakeInstallerLauncher.h"
#include "support/fakeservice/FakeService.h"
#include "support/fakeservice/LoopbackGuard.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkReply>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

Q_DECLARE_METATYPE(FakeReply)

namespace {

const char kInstallerPath[] = "/files/Quorlix-Setup.exe";

QJsonObject release(const QString &version, const QString &url, const QJsonValue &required = 1)
{
    return QJsonObject{{QStringLiteral("version"), version},
                       {QStringLiteral("download_url"), url},
                       {QStringLiteral("is_required"), required}};
}

QByteArray checkBody(const QJsonValue &data, bool success = true)
{
    return QJsonDocument(QJsonObject{{QStringLiteral("success"), success}, {QStringLiteral("data"), data}})
        .toJson(QJsonDocument::Compact);
}

// The permission bits as owner, group and others see them.
QFile::Permissions modeOf(const QString &path)
{
    const QFile::Permissions all = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                                   QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther |
                                   QFile::WriteOther | QFile::ExeOther;
    return QFileInfo(path).permissions() & all;
}
const QFile::Permissions kOwnerOnly = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;

QByteArray randomBytes(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &c : bytes)
        c = char(QRandomGenerator::global()->bounded(256));
    return bytes;
}

// The update flow against the fake service (see FlowTestSupport.h).
struct Rig : UpdateFlowRig
{
    QString installerUrl() const { return fake.url(QLatin1String(kInstallerPath)).toString(); }
    int downloads() const { return fake.requestCount(QLatin1String(kInstallerPath)); }
    void offer(const QString &version = QStringLiteral("2.0.1"))
    {
        fake.script("GET", QStringLiteral("/api/app-updates"),
                    FakeReply::text(checkBody(QJsonArray{release(version, installerUrl())}), 200,
                                    "application/json"));
    }
};

} // namespace

class TestUpdateController : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { LoopbackGuard::install(); }
    void cleanup() { QCOMPARE(LoopbackGuard::violations(), QList<QUrl>()); }

    void versionComparison_data()
    {
        QTest::addColumn<QString>("candidate");
        QTest::addColumn<bool>("newer");
        QTest::newRow("patch above") << "2.0.1" << true;
        QTest::newRow("fourth part above") << "2.0.0.1" << true;
        QTest::newRow("parts compare as numbers") << "10.0.0" << true;
        QTest::newRow("text part reads as 0") << "2.a.1" << true;
        QTest::newRow("missing part is 0") << "2.0" << false;
        QTest::newRow("trailing zero part") << "2.0.0.0" << false;
        QTest::newRow("older") << "1.9.9" << false;
        QTest::newRow("same") << "2.0.0" << false;
        QTest::newRow("minor below, patch above") << "1.99.99" << false;
    }
    void versionComparison()
    {
        QFETCH(QString, candidate);
        QFETCH(bool, newer);
        QCOMPARE(UpdateRules::isNewerVersion(QStringLiteral("2.0.0"), candidate), newer);
    }

    void retryDelays()
    {
        const QList<int> expected = {3000, 6000, 12000, 24000, 48000, 48000, 48000};
        for (int n = 0; n < expected.size(); ++n)
            QCOMPARE(UpdateRules::retryDelayMs(n), expected.at(n));
        QCOMPARE(UpdateRules::retryDelayMs(-5), 3000);
        QCOMPARE(UpdateRules::retryDelayMs(UpdateController::kMaxRetryCount), 48000);
        QCOMPARE(UpdateRules::retrySeconds(48000), 48);
        QCOMPARE(UpdateRules::retrySeconds(0), 1);
    }

    void installerAddresses_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("https") << "https://downloads.example.com/setup.exe" << true;
        QTest::newRow("http on loopback") << "http://127.0.0.1:8080/setup.exe" << true;
        QTest::newRow("http on localhost") << "http://localhost/setup.exe" << true;
        QTest::newRow("http elsewhere") << "http://example.invalid/x" << false;
        QTest::newRow("ftp") << "ftp://127.0.0.1/setup.exe" << false;
        QTest::newRow("file") << "file:///tmp/setup.exe" << false;
        QTest::newRow("no host") << "https:///setup.exe" << false;
    }
    void installerAddresses()
    {
        QFETCH(QString, url);
        QFETCH(bool, accepted);
        QCOMPARE(UpdateRules::isAcceptableInstallerUrl(QUrl(url)), accepted);
    }

    // Every outcome of the check but a required newer release resumes the
    // sign-in exactly once and downloads nothing.
    void checkOutcomes_data()
    {
        QTest::addColumn<FakeReply>("reply");
        QTest::addColumn<bool>("downloads");
        const QString here = QStringLiteral("{installer}");
        auto json = [](const QByteArray &body) { return FakeReply::text(body, 200, "application/json"); };
        QTest::newRow("network error") << FakeReply::dropped() << false;
        QTest::newRow("stalled") << FakeReply::hanging() << false;
        QTest::newRow("500") << FakeReply::text(checkBody(QJsonArray{release("2.0.1", here)}), 500) << false;
        QTest::newRow("success false") << json(checkBody(QJsonArray{release("2.0.1", here)}, false)) << false;
        QTest::newRow("data empty array") << json(checkBody(QJsonArray{})) << false;
        QTest::newRow("data a string") << json(checkBody(QStringLiteral("2.0.1"))) << false;
        QTest::newRow("url #") << json(checkBody(release("2.0.1", "#"))) << false;
        QTest::newRow("url ftp") << json(checkBody(release("2.0.1", "ftp://127.0.0.1/setup.exe"))) << false;
        QTest::newRow("url plain http off loopback")
            << json(checkBody(release("2.0.1", "http://example.invalid/x"))) << false;
        QTest::newRow("is_required true") << json(checkBody(release("2.0.1", here, true))) << false;
        QTest::newRow("is_required 0") << json(checkBody(release("2.0.1", here, 0))) << false;
        QTest::newRow("not newer") << json(checkBody(release("2.0.0", here))) << false;
        QTest::newRow("version with a path in it") << json(checkBody(release("3/../../x", here))) << false;
        QTest::newRow("array: only the first counts")
            << json(checkBody(QJsonArray{release("2.0.0", here), release("2.0.1", here)})) << false;
        QTest::newRow("array: first is required and newer")
            << json(checkBody(QJsonArray{release("2.0.1", here), release("2.0.0", here)})) << true;
        QTest::newRow("object, required and newer") << json(checkBody(release("2.0.1", here))) << true;
    }
    void checkOutcomes()
    {
        QFETCH(FakeReply, reply);
        QFETCH(bool, downloads);
        Rig rig;
        QVERIFY(rig.start());
        rig.client->setInactivityTimeout(2000);
        reply.body.replace("{installer}", rig.installerUrl().toUtf8());
        rig.fake.script("GET", QStringLiteral("/api/app-updates"), reply);
        rig.fake.script("GET", QLatin1String(kInstallerPath), FakeReply::hanging());

        rig.updates->checkForAppUpdate();
        QVERIFY(rig.updates->updateCheckRunning());
        if (downloads) {
            QTRY_COMPARE(rig.downloads(), 1);
            QVERIFY(rig.updates->updateRequired());
            QCOMPARE(rig.updates->updateRetryCount(), 0);
            QCOMPARE(rig.updates->updateVersion(), QStringLiteral("2.0.1"));
            QCOMPARE(rig.fake.lastRequest(QLatin1String(kInstallerPath)).header("User-Agent"),
                     QByteArray("Quorlix-Updater/1.0"));
        } else {
            QTRY_COMPARE(rig.resumes, 1);
            QVERIFY(!rig.updates->updateRequired());
        }
        QTest::qWait(50);
        QCOMPARE(rig.resumes, downloads ? 0 : 1);
        QVERIFY(!rig.updates->updateCheckRunning());
        const RecordedRequest check = rig.fake.lastRequest(QStringLiteral("/api/app-updates"));
        QCOMPARE(check.query.queryItemValue(QStringLiteral("latest")), QStringLiteral("true"));
        QCOMPARE(check.header("Accept"), QByteArray("application/json"));
        QVERIFY(!check.hasHeader("Authorization"));
        if (!downloads)
            QCOMPARE(rig.downloads(), 0);
    }

    // Check to started installer: progress, the installer in the private
    // folder with the served bytes, the two waits, then the quit.
    void downloadAndStart()
    {
        Rig rig;
        QVERIFY(rig.start());
        const QByteArray served = randomBytes(300000);
        FakeReply file = FakeReply::text(served, 200, "application/octet-stream");
        rig.fake.script("GET", QLatin1String(kInstallerPath), file);
        rig.offer();

        rig.updates->checkForAppUpdate();
        QTRY_COMPARE(rig.quits, 1);
        QCOMPARE(rig.resumes, 0);

        const QString path = rig.updates->installerPath();
        QCOMPARE(rig.launcher.started, QStringList{path});
        QCOMPARE(rig.launcher.bytesAtStart, served);
        QCOMPARE(QFileInfo(path).fileName(), QStringLiteral("Quorlix-Setup-2.0.1.exe"));
        const QFileInfo folder(QFileInfo(path).absolutePath());
        QCOMPARE(folder.absoluteFilePath(), QFileInfo(rig.updates->installerFolder()).absoluteFilePath());
        QCOMPARE(folder.absolutePath(), QFileInfo(rig.base.path()).absoluteFilePath());
        QCOMPARE(modeOf(folder.absoluteFilePath()), kOwnerOnly);

        // Progress first, each showing percent = received * 100 / total.
        const QList<RecordingOverlay::Shown> &shown = rig.overlay.shown;
        QVERIFY(shown.size() >= 2);
        QVERIFY(shown.first().progress);
        QCOMPARE(shown.first().percent, 0);
        bool reachedEnd = false;
        for (const RecordingOverlay::Shown &s : shown) {
            if (!s.progress)
                continue;
            QCOMPARE(s.title, QStringLiteral("Downloading update 2.0.1..."));
            QCOMPARE(s.percent, s.total >= 1 ? int(s.received * 100 / s.total) : 0);
            reachedEnd = reachedEnd || (s.percent == 100 && s.total == served.size());
        }
        QVERIFY(reachedEnd);
        QCOMPARE(rig.overlay.messages(), QStringList({QStringLiteral("Download complete! Installing..."),
                                                      QStringLiteral("Installing update...")}));
        QCOMPARE(rig.timers.asked, QList<int>({2000, 1000}));
    }

    void progressPercent()
    {
        Rig rig;
        QVERIFY(rig.start());
        rig.updates->downloadUpdate(rig.installerUrl(), QStringLiteral("2.0.1"));
        rig.fake.script("GET", QLatin1String(kInstallerPath), FakeReply::hanging());
        rig.updates->onUpdateDownloadProgress(512, 1024);
        rig.updates->onUpdateDownloadProgress(1, 3);
        rig.updates->onUpdateDownloadProgress(5, 0);
        rig.updates->onUpdateDownloadProgress(5, -1);
        QList<int> percents;
        for (const RecordingOverlay::Shown &s : rig.overlay.shown)
            percents.append(s.percent);
        QCOMPARE(percents, QList<int>({0, 50, 33, 0, 0}));
    }

    // Each failure shows its reason with the first delay and downloads again.
    void failuresRetry_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("message");
        const QString failed = QStringLiteral("Update download failed. Retrying in 3s...");
        QTest::newRow("404") << "404" << failed;
        QTest::newRow("connection dropped") << "dropped" << failed;
        QTest::newRow("stalled") << "stalled" << failed;
        QTest::newRow("empty body") << "empty" << failed;
        QTest::newRow("fewer bytes than announced") << "short" << failed;
        QTest::newRow("folder cannot be made") << "unwritable"
                                               << "Failed to save update. Retrying in 3s...";
        QTest::newRow("installer gone before install") << "gone"
                                                       << "Installer not found. Retrying download in 3s...";
        QTest::newRow("installer does not start") << "launcher"
                                                  << "Failed to start installer. Retrying download in 3s...";
    }
    void failuresRetry()
    {
        QFETCH(QString, fault);
        QFETCH(QString, message);
        Rig rig;
        QVERIFY(rig.start());
        rig.client->setInactivityTimeout(2000);
        const QByteArray served = randomBytes(4096);
        const FakeReply whole = FakeReply::text(served, 200, "application/octet-stream");
        FakeReply file = whole;
        if (fault == QLatin1String("404"))
            file = FakeReply::statusOnly(404);
        else if (fault == QLatin1String("dropped"))
            file = FakeReply::dropped();
        else if (fault == QLatin1String("stalled"))
            file.stallAfter = 100;
        else if (fault == QLatin1String("empty"))
            file.body.clear();
        else if (fault == QLatin1String("short"))
            file = FakeReply::shortBody(served, 1000);
        else if (fault == QLatin1String("unwritable"))
            rig.updates->setTempBase(rig.base.filePath(QStringLiteral("no/such/folder")));
        else if (fault == QLatin1String("launcher"))
            rig.launcher.result = false;
        bool removed = false;
        rig.overlay.onMessage = [&](const QString &title) {
            if (fault == QLatin1String("gone") && !removed &&
                title == QLatin1String("Download complete! Installing...")) {
                removed = true;
                QFile::remove(rig.updates->installerPath());
            }
            // The retry gets the whole installer, a folder it can make and a
            // launcher that works, so it cannot fail again and add a second
            // message however late the test looks.
            if (title.contains(QLatin1String("Retrying"))) {
                rig.fake.script("GET", QLatin1String(kInstallerPath), whole);
                rig.updates->setTempBase(rig.base.path());
                rig.launcher.result = true;
            }
        };
        rig.fake.script("GET", QLatin1String(kInstallerPath), file);
        rig.offer();

        rig.updates->checkForAppUpdate();
        QTRY_VERIFY(rig.overlay.messages().contains(message));
        QCOMPARE(rig.overlay.messages().filter(QStringLiteral("Retrying")), QStringList{message});
        QVERIFY(rig.timers.asked.contains(3000));
        QCOMPARE(rig.updates->updateRetryCount(), 1);
        QVERIFY(rig.updates->updateRequired());
        QTRY_VERIFY(rig.downloads() >= 2);
        // The retry goes through to the start.
        QTRY_COMPARE(rig.quits, 1);
        QCOMPARE(rig.launcher.bytesAtStart, served);
        QCOMPARE(rig.overlay.messages().filter(QStringLiteral("Retrying")), QStringList{message});
        QCOMPARE(rig.resumes, 0);
    }

    // A folder that stopped being private is not written through; the
    // installer goes into a fresh one.
    void installerFolderReplacedByLink()
    {
        Rig rig;
        QVERIFY(rig.start());
        QTemporaryDir elsewhere;
        const QByteArray served = randomBytes(1000);
        FakeReply file = FakeReply::text(served, 200, "application/octet-stream");
        file.delayMs = 200;
        rig.fake.script("GET", QLatin1String(kInstallerPath), file);
        rig.updates->setUpdateRequired(true);
        rig.updates->downloadUpdate(rig.installerUrl(), QStringLiteral("2.0.1"));
        const QString first = rig.updates->installerFolder();
        QVERIFY(!first.isEmpty());
        QVERIFY(QDir(first).removeRecursively());
        QVERIFY(QFile::link(elsewhere.path(), first));

        QTRY_COMPARE(rig.quits, 1);
        QVERIFY(QDir(elsewhere.path()).isEmpty());
        QVERIFY(rig.updates->installerFolder() != first);
        QCOMPARE(rig.launcher.bytesAtStart, served);
    }

    void sixFailuresWaitLonger()
    {
        Rig rig;
        QVERIFY(rig.start(/*divisor=*/1000));
        rig.fake.script("GET", QLatin1String(kInstallerPath), FakeReply::statusOnly(404));
        rig.offer();
        rig.updates->checkForAppUpdate();
        QTRY_VERIFY_WITH_TIMEOUT(rig.overlay.messages().size() >= 6, 10000);
        const QStringList failures = rig.overlay.messages().mid(0, 6);
        QStringList expected;
        for (int s : {3, 6, 12, 24, 48, 48})
            expected.append(QStringLiteral("Update download failed. Retrying in %1s...").arg(s));
        QCOMPARE(failures, expected);
        QCOMPARE(rig.timers.asked.mid(0, 6), QList<int>({3000, 6000, 12000, 24000, 48000, 48000}));
        QVERIFY(rig.downloads() >= 6);
        QCOMPARE(rig.resumes, 0);
    }

    // A new download while one runs drops the old one without a failure or a retry.
    void replacedDownloadIsNotReported()
    {
        Rig rig;
        QVERIFY(rig.start());
        FakeReply stalled = FakeReply::sized(100000);
        stalled.stallAfter = 1000;
        stalled.times = 1;
        rig.fake.script("GET", QLatin1String(kInstallerPath), stalled);
        rig.updates->setUpdateRequired(true);
        rig.updates->downloadUpdate(rig.installerUrl(), QStringLiteral("2.0.1"));
        QTRY_COMPARE(rig.downloads(), 1);
        QPointer<QNetworkReply> old = rig.updates->updateReply();
        QTRY_VERIFY(old && old->bytesAvailable() > 0);

        const QByteArray served = randomBytes(2000);
        rig.fake.script("GET", QLatin1String(kInstallerPath),
                        FakeReply::text(served, 200, "application/octet-stream"));
        rig.updates->downloadUpdate(rig.installerUrl(), QStringLiteral("2.0.1"));
        QVERIFY(rig.updates->updateReply() != old);
        QTRY_COMPARE(rig.quits, 1);
        QTRY_VERIFY(old.isNull());
        for (const QString &m : rig.overlay.messages())
            QVERIFY2(!m.contains(QLatin1String("Retrying")), qPrintable(m));
        QCOMPARE(rig.timers.asked, QList<int>({2000, 1000}));
        QCOMPARE(rig.launcher.bytesAtStart, served);
    }

    // Closing the window abandons the flow: nothing is reported or scheduled
    // afterwards, the download is released, and no installer starts.
    void abandon_data()
    {
        QTest::addColumn<bool>("whileDownloading");
        QTest::newRow("while downloading") << true;
        QTest::newRow("while the installer waits to start") << false;
    }
    void abandon()
    {
        QFETCH(bool, whileDownloading);
        Rig rig;
        QVERIFY(rig.start(/*divisor=*/10));
        FakeReply file = FakeReply::text(randomBytes(1000), 200, "application/octet-stream");
        if (whileDownloading)
            file.stallAfter = 10;
        rig.fake.script("GET", QLatin1String(kInstallerPath), file);
        rig.offer();
        rig.updates->checkForAppUpdate();
        QPointer<QNetworkReply> download;
        if (whileDownloading) {
            QTRY_VERIFY(rig.updates->updateReply());
            download = rig.updates->updateReply();
            QTRY_VERIFY(download->bytesAvailable() > 0);
        } else {
            QTRY_VERIFY(rig.overlay.messages().contains(QStringLiteral("Download complete! Installing...")));
        }
        const int shownBefore = rig.overlay.shown.size();
        const int askedBefore = rig.timers.asked.size();

        rig.updates->abandon();
        QVERIFY(!rig.updates->updateRequired());
        QVERIFY(!rig.updates->updateCheckRunning());
        QCOMPARE(rig.updates->updateReply(), nullptr);
        QTest::qWait(400); // longer than the scaled install and start waits
        QTRY_VERIFY(download.isNull());
        QCOMPARE(rig.overlay.shown.size(), shownBefore);
        QCOMPARE(rig.timers.asked.size(), askedBefore);
        QVERIFY(rig.launcher.started.isEmpty());
        QCOMPARE(rig.quits, 0);
        QCOMPARE(rig.resumes, 0);
    }

    void checkAnsweredAfterAbandonIsIgnored()
    {
        Rig rig;
        QVERIFY(rig.start());
        FakeReply late =
            FakeReply::text(checkBody(QJsonArray{release("2.0.0", "#")}), 200, "application/json");
        late.delayMs = 100;
        rig.fake.script("GET", QStringLiteral("/api/app-updates"), late);
        rig.updates->checkForAppUpdate();
        rig.updates->abandon();
        QTest::qWait(300);
        QCOMPARE(rig.resumes, 0);
    }

    // The installer as this system starts it: the served file is a shell
    // script that leaves a marker behind.
    void realLauncherRunsInstaller()
    {
        Rig rig;
        QVERIFY(rig.start());
        QTemporaryDir markers;
        const QString marker = markers.filePath(QStringLiteral("installer-ran"));
        const QByteArray script = "#!/bin/sh\necho started > '" + marker.toUtf8() + "'\n";
        rig.fake.script("GET", QLatin1String(kInstallerPath),
                        FakeReply::text(script, 200, "application/octet-stream"));
        rig.updates->setLauncher(&InstallerLauncher::system());
        rig.offer();
        rig.updates->checkForAppUpdate();
        QTRY_COMPARE(rig.quits, 1);
        QTRY_VERIFY(QFile::exists(marker));
        QFile written(marker);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(), QByteArray("started\n"));
        QCOMPARE(modeOf(rig.updates->installerPath()), kOwnerOnly);
    }
};

QTEST_GUILESS_MAIN(TestUpdateController)
#include "tst_updatecontroller.moc"
