#include "FlowTestSupport.h"
#include "ServiceTestSupport.h"
#include "services/UpdateController.h"
#include "services/VersionGate.h"
#include "support/FakeInstallerLauncher.h"
#include "support/fakeservice/FakeService.h"
#include "support/fakeservice/LoopbackGuard.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

Q_DECLARE_METATYPE(FakeReply)

namespace {

const QString kValidate = QStringLiteral("/api/app-version/validate");
const QString kUpdates = QStringLiteral("/api/app-updates");

// The gate and the update flow it hands over to, with the window's part recorded.
struct Rig : UpdateFlowRig
{
    std::unique_ptr<VersionGate> gate;
    QList<bool> controls;

    bool start()
    {
        if (!UpdateFlowRig::start())
            return false;
        fake.loadSampleData();
        // Long enough that a busy machine never turns an answer into a stall.
        client->setInactivityTimeout(2000);
        gate = std::make_unique<VersionGate>(client, updates.get(), timers.source());
        gate->setOverlay(&overlay);
        gate->setWindowControlsCallback([this](bool enabled) { controls.append(enabled); });
        gate->setQuitCallback([this] { ++quits; });
        return true;
    }
    void verdict(const QJsonObject &answer) { fake.script("GET", kValidate, FakeReply::json(answer)); }
};

} // namespace

class TestVersionGate : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { LoopbackGuard::install(); }
    void cleanup() { QCOMPARE(LoopbackGuard::violations(), QList<QUrl>()); }

    void verdicts_data()
    {
        QTest::addColumn<FakeReply>("reply");
        QTest::addColumn<bool>("unreachable");
        QTest::addColumn<bool>("refused");
        QTest::newRow("valid") << FakeReply::json(QJsonObject{{"valid", true}}) << false << false;
        QTest::newRow("valid, blocked false")
            << FakeReply::json(QJsonObject{{"valid", true}, {"blocked", false}}) << false << false;
        QTest::newRow("404") << FakeReply::statusOnly(404) << false << false;
        QTest::newRow("500 saying invalid")
            << FakeReply::json(QJsonObject{{"valid", false}}, 500) << false << false;
        QTest::newRow("connection refused") << FakeReply() << true << false;
        QTest::newRow("connection dropped") << FakeReply::dropped() << false << false;
        QTest::newRow("stalled") << FakeReply::hanging() << false << false;
        QTest::newRow("valid and blocked")
            << FakeReply::json(QJsonObject{{"valid", true}, {"blocked", true}}) << false << true;
        QTest::newRow("empty object") << FakeReply::json(QJsonObject{}) << false << true;
        QTest::newRow("valid as a string")
            << FakeReply::json(QJsonObject{{"valid", "true"}}) << false << true;
        QTest::newRow("html body") << FakeReply::text("<html>maintenance</html>", 200, "text/html") << false
                                   << true;
    }
    void verdicts()
    {
        QFETCH(FakeReply, reply);
        QFETCH(bool, unreachable);
        QFETCH(bool, refused);
        Rig rig;
        QVERIFY(rig.start());
        rig.fake.script("GET", kValidate, reply);
        if (unreachable) {
            // A client aimed at a loopback port nobody listens on.
            QTcpServer closed;
            QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
            const QUrl origin(QStringLiteral("http://127.0.0.1:%1").arg(closed.serverPort()));
            closed.close();
            rig.client = new ServiceClient(ServiceConfig(origin, origin, origin), {}, &rig.owner);
            rig.gate = std::make_unique<VersionGate>(rig.client, rig.updates.get(), rig.timers.source());
        }

        // The reply's end, whatever it is (an answer, a refusal, a stall), is
        // handled within the same signal that the manager reports it with.
        QSignalSpy ended(rig.client->manager(), &QNetworkAccessManager::finished);
        rig.gate->validateAppVersion();
        QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, 20000);
        QCOMPARE(rig.gate->isBlocked(), refused);
        if (!unreachable) {
            const RecordedRequest sent = rig.fake.lastRequest(kValidate);
            QCOMPARE(sent.header("X-App-Version"), QByteArray("2.0.0"));
            QCOMPARE(sent.header("Accept"), QByteArray("application/json"));
            QVERIFY(!sent.hasHeader("Authorization"));
            QVERIFY(!sent.hasHeader("X-Device-Id"));
        }
        if (refused) {
            QCOMPARE(rig.controls, QList<bool>{false});
            QCOMPARE(rig.overlay.messages().value(0), QStringLiteral("Version Blocked"));
        } else {
            QVERIFY(rig.controls.isEmpty());
            QVERIFY(rig.overlay.shown.isEmpty());
        }
    }

    // Refused without an update demand: the closing notice 5 s later and the
    // quit 3 s after it; no further check is sent.
    void refusedQuits()
    {
        Rig rig;
        QVERIFY(rig.start());
        rig.verdict(QJsonObject{{"valid", false}});
        rig.gate->validateAppVersion();
        QTRY_VERIFY(rig.gate->isBlocked());
        // An update check that ends under the block resumes no sign-in and
        // brings the shutdown no closer.
        rig.updates->checkForAppUpdate();
        QTRY_COMPARE(rig.fake.requestCount(kUpdates), 1);
        QTRY_COMPARE(rig.quits, 1);
        QCOMPARE(rig.resumes, 0);
        QCOMPARE(rig.overlay.messages(),
                 QStringList({QStringLiteral("Version Blocked"), QStringLiteral("Application Closing...")}));
        QCOMPARE(rig.timers.asked, QList<int>({5000, 3000}));

        rig.gate->validateAppVersion();
        QTest::qWait(100);
        QCOMPARE(rig.fake.requestCount(kValidate), 1);
        QCOMPARE(rig.quits, 1);
    }

    // A demanded update runs the update path; when it finds nothing required
    // the client shuts down instead of resuming a sign-in under the block.
    void forcedUpdate_data()
    {
        QTest::addColumn<FakeReply>("check");
        QTest::addColumn<bool>("downloads");
        const QByteArray required =
            QJsonDocument(QJsonObject{{"success", true},
                                      {"data", QJsonObject{{"version", "2.0.1"},
                                                           {"download_url", "{installer}"},
                                                           {"is_required", 1}}}})
                .toJson(QJsonDocument::Compact);
        QTest::newRow("latest is this version") << FakeReply() << false;
        QTest::newRow("check fails") << FakeReply::statusOnly(503) << false;
        QTest::newRow("required update") << FakeReply::text(required, 200, "application/json") << true;
    }
    void forcedUpdate()
    {
        QFETCH(FakeReply, check);
        QFETCH(bool, downloads);
        Rig rig;
        QVERIFY(rig.start());
        if (check.status != 200 || !check.body.isEmpty()) {
            check.body.replace("{installer}",
                               rig.fake.url(QStringLiteral("/files/setup.exe")).toString().toUtf8());
            rig.fake.script("GET", kUpdates, check);
        }
        rig.fake.script("GET", QStringLiteral("/files/setup.exe"), FakeReply::hanging());
        rig.verdict(QJsonObject{{"valid", false}, {"force_update", true}});

        rig.gate->validateAppVersion();
        QTRY_COMPARE(rig.fake.requestCount(kUpdates), 1);
        if (downloads) {
            QTRY_COMPARE(rig.fake.requestCount(QStringLiteral("/files/setup.exe")), 1);
            QTest::qWait(150); // longer than the scaled shutdown waits
            QCOMPARE(rig.quits, 0);
            QVERIFY(rig.updates->updateRequired());
        } else {
            QTRY_COMPARE(rig.quits, 1);
            QCOMPARE(rig.overlay.messages(), QStringList({QStringLiteral("Version Blocked"),
                                                          QStringLiteral("Application Closing...")}));
        }
        QCOMPARE(rig.resumes, 0);
        QVERIFY(rig.gate->isBlocked());
        QCOMPARE(rig.controls, QList<bool>{false});
    }

    // Without a block the update check resumes the sign-in as before.
    void checkResumesWhileAllowed()
    {
        Rig rig;
        QVERIFY(rig.start());
        rig.updates->checkForAppUpdate();
        QTRY_COMPARE(rig.resumes, 1);
        QCOMPARE(rig.quits, 0);
    }
};

QTEST_GUILESS_MAIN(TestVersionGate)
#include "tst_versiongate.moc"
