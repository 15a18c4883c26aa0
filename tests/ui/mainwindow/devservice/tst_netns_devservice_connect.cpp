// What a new user meets after `bash tools/run.sh`: this test runs under
// tools/with-devservice.sh, so the development service and its relays are the
// very processes run.sh starts, and the window is the client's own
// composition, with the real packet capture. In the private network namespace
// of the test runner, a veth pair to a second namespace (NetnsPeer) gives the
// system's resolver, named in a resolv.conf of this test's own mount
// namespace, an address that is not on loopback: the DNS check's lookup is
// then captured and answered only through the tunnel, as on a real machine.
//
// Sign in with the demo account through the form, open a PC game from the
// games page, connect: "You are connected!", a ping figure, the game's
// datagrams echoed by the relay and acknowledged, loss 0 %; disconnect stores
// the session. A second start with "keep me login" signs in without the form.

#include "app/ClientComposition.h"
#include "app/Startup.h"
#include "connection/SessionManager.h"
#include "engine/qt/TunnelClient.h"
#include "platform/SystemTools.h"
#include "services/AccountStore.h"
#include "support/ClientNames.h"
#include "support/NetnsPeer.h"
#include "support/fakeservice/FakeService.h"
#include "support/fakeservice/LoopbackGuard.h"
#include "ui/mainwindow/MainWindow.h"
#include "ui/pages/connection/ConnectionPage.h"
#include "ui/pages/connection/RouteArea.h"
#include "ui/pages/games/GameTile.h"
#include "ui/pages/games/GamesGrid.h"
#include "ui/pages/games/GamesSection.h"
#include "ui/pages/signin/AuthPage.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkDatagram>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QUdpSocket>

#include <sched.h>
#include <sys/mount.h>

namespace {

const QString kGame = QStringLiteral("Arena Strike");
// The resolver the system asks, somewhere behind the veth pair.
const char kResolver[] = "198.51.100.53";
// A game server of the game's UDP ports, behind the veth pair too.
const char kGameServer[] = "198.51.100.7";
const quint16 kGamePort = 27015;

// Bounds for the waits: what they wait for happens in well under a second on
// an idle machine; the ping sweep and the MTU probe run real pings.
const int kSignInMs = 30000;
const int kConnectMs = 60000;

QString g_resolverProblem;

// A mount namespace of this process's own with a resolv.conf naming
// kResolver. Runs before any thread exists (unshare demands it).
bool useTestResolver()
{
    if (!netnspeer::inPrivateNamespace()) {
        g_resolverProblem = QStringLiteral("not in the test runner's network namespace");
        return false;
    }
    const QByteArray file = qgetenv("QUORLIX_TEST_TMP") + "/resolv.conf";
    QFile conf(QString::fromLocal8Bit(file));
    if (!conf.open(QIODevice::WriteOnly) || conf.write(QByteArray("nameserver ") + kResolver + "\n") < 0) {
        g_resolverProblem = QStringLiteral("cannot write ") + conf.fileName();
        return false;
    }
    conf.close();
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount(file.constData(), "/etc/resolv.conf", nullptr, MS_BIND, nullptr) != 0) {
        g_resolverProblem = QStringLiteral("cannot put a resolv.conf of its own in place: %1")
                                .arg(QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    return true;
}

template <typename T> T *child(QWidget *root, const char *name)
{
    return root->findChild<T *>(QLatin1String(name));
}

} // namespace

class TestNetnsDevServiceConnect : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void signInConnectAndDisconnect();
    void keptSignInSkipsTheForm();

private:
    netnspeer::Peer m_peer;
};

void TestNetnsDevServiceConnect::initTestCase()
{
    QVERIFY2(g_resolverProblem.isEmpty(), qPrintable(g_resolverProblem));
    for (const char *tool : {"ping", "nslookup", "iptables-restore"}) {
        if (SystemTools::findTool(QString::fromLatin1(tool)).isEmpty())
            QSKIP(qPrintable(QStringLiteral("%1 is not installed").arg(QLatin1String(tool))));
    }
    // The origins are the ones tools/with-devservice.sh exported, not the
    // test runner's closed port.
    const QUrl origin(qEnvironmentVariable("QUORLIX_SERVICE_ORIGIN"));
    QVERIFY2(origin.host() == QLatin1String("127.0.0.1") && origin.port() > 0 && origin.port() != 9,
             "run under tools/with-devservice.sh");
    LoopbackGuard::install();

    std::string why;
    QVERIFY2(m_peer.start(&why), why.c_str());
    QVERIFY2(netnspeer::sh(std::string("ip route add default via ") + netnspeer::kRelay, &why), why.c_str());

    useClientNames();
    prepareStoredState();
}

void TestNetnsDevServiceConnect::cleanupTestCase()
{
    m_peer.stop();
    LoopbackGuard::uninstall();
}

void TestNetnsDevServiceConnect::signInConnectAndDisconnect()
{
    const std::unique_ptr<MainWindow> window = createMainWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));

    // Sign in with the demo account, kept for the next start.
    AuthPage *auth = window->authPage();
    QVERIFY(!auth->hasRememberedSession());
    QLineEdit *email = child<QLineEdit>(auth, "AuthEmailInput");
    QTRY_VERIFY_WITH_TIMEOUT(email->isVisible() && email->isEnabled(), kSignInMs);
    email->setText(QLatin1String(FakeService::kDemoEmail));
    child<QLineEdit>(auth, "AuthPasswordInput")->setText(QLatin1String(FakeService::kDemoPassword));
    child<QCheckBox>(auth, "AuthKeepLoginCheckLogic")->setChecked(true);
    QTest::mouseClick(child<QPushButton>(auth, "AuthV2LoginBtn"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(auth->isHidden(), kSignInMs);

    // A PC game from the games page.
    window->openGamesPage();
    GameTile *tile = nullptr;
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            for (GameTile *t : window->gamesSection()->grid()->tiles()) {
                if (t->data().title == kGame)
                    tile = t;
            }
            return tile != nullptr;
        }(),
        kSignInMs);
    QTest::mouseClick(tile->hit(), Qt::LeftButton);
    ConnectionPage *page = window->connectionPageArea();
    RouteArea *route = window->routeArea();
    QTRY_VERIFY_WITH_TIMEOUT(page->tapButton()->isVisibleTo(window.get()), kConnectMs);
    QTRY_COMPARE_WITH_TIMEOUT(page->tapButton()->text(), QStringLiteral("Tap to connect"), kConnectMs);

    QTest::mouseClick(page->tapButton(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(page->tapButton()->text(), QStringLiteral("Disconnect"), kConnectMs);
    QCOMPARE(page->statusLabel()->text(), QStringLiteral("You are connected!"));
    TunnelClient *tunnel = window->tunnelClient();
    QVERIFY(tunnel->isRunning());

    // The live ping of the relay: a figure, the same on the route card.
    const QRegularExpression figure(QStringLiteral("^[1-9][0-9]*$"));
    QTRY_VERIFY_WITH_TIMEOUT(figure.match(route->pingValue()->text()).hasMatch(), kConnectMs);
    QCOMPARE(route->latencyLabel()->text(), route->pingValue()->text() + QStringLiteral(" ms"));

    // The game's datagrams go through the tunnel and come back from the
    // relay; it acknowledges every one, so the card shows a loss figure of
    // its own making (20 or more datagrams), and it is 0 %.
    const quint64 ackedBefore = tunnel->txAcked();
    QUdpSocket game;
    QVERIFY(game.bind(QHostAddress::AnyIPv4, 0));
    const int sent = 40;
    int echoed = 0;
    for (int i = 0; i < sent; ++i) {
        const QByteArray payload = "game datagram " + QByteArray::number(i);
        QCOMPARE(game.writeDatagram(payload, QHostAddress(QLatin1String(kGameServer)), kGamePort),
                 qint64(payload.size()));
    }
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            while (game.hasPendingDatagrams()) {
                const QNetworkDatagram d = game.receiveDatagram();
                if (d.senderAddress() == QHostAddress(QLatin1String(kGameServer)) &&
                    d.senderPort() == kGamePort && d.data().startsWith("game datagram "))
                    ++echoed;
            }
            return echoed == sent;
        }(),
        kConnectMs);
    QTRY_VERIFY_WITH_TIMEOUT(tunnel->txAcked() >= ackedBefore + sent, kConnectMs);
    QCOMPARE(tunnel->txLost(), quint64(0));
    QTRY_COMPARE_WITH_TIMEOUT(route->lossValue()->text(), QStringLiteral("0%"), kConnectMs);

    // Disconnect: idle again, and the session is stored.
    QTest::mouseClick(page->tapButton(), Qt::LeftButton);
    QCOMPARE(page->tapButton()->text(), QStringLiteral("Tap to connect"));
    QVERIFY(!tunnel->isRunning());
    QFile saved(SessionManager::sessionFilePath());
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QJsonObject session = QJsonDocument::fromJson(saved.readAll()).object();
    QCOMPARE(session.value(QStringLiteral("gameTitle")).toString(), kGame);
    QCOMPARE(session.value(QStringLiteral("isActive")).toBool(), false);
    QVERIFY(LoopbackGuard::violations().isEmpty());
}

void TestNetnsDevServiceConnect::keptSignInSkipsTheForm()
{
    const std::unique_ptr<MainWindow> window = createMainWindow();
    AuthPage *auth = window->authPage();
    QVERIFY(auth->hasRememberedSession());
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QWidget *email = child<QLineEdit>(auth, "AuthEmailInput");
    bool formShown = false;
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            formShown = formShown || email->isVisible();
            return auth->isHidden();
        }(),
        kSignInMs);
    QVERIFY(!formShown);
    QCOMPARE(window->services().account->userEmail(), QLatin1String(FakeService::kDemoEmail));
}

int main(int argc, char **argv)
{
    // Before the application starts any thread.
    useTestResolver();
    // The client's own capture: the test runner's namespace is the only
    // place it may divert packets.
    qputenv("QUORLIX_CAPTURE", "netfilter");
    QApplication app(argc, argv);
    TestNetnsDevServiceConnect test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_netns_devservice_connect.moc"
