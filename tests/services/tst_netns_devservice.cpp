// The development service with its relays, as tools/run.sh starts it, in a
// private network namespace (the relays take port 50000 on 127.0.0.x): every
// active relay of its list answers the DNS check's lookup and echoes a game's
// datagram, a relay marked down is not there, a relay port already taken is
// named and the rest still serve, a second service started while one runs
// leaves it alone, and sessions outlive a restart.

#include "DevServiceProcess.h"
#include "support/TestPackets.h"
#include "support/fakeservice/FakeService.h"
#include "support/testrelay/TestRelay.h"

#include <QFile>
#include <QJsonArray>
#include <QNetworkDatagram>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

namespace {

const QString kLogin = QStringLiteral("/api/auth/user-login");
const QString kValidate = QStringLiteral("/api/auth/validate");

// One datagram to a relay as the client's tunnel sends it, and the payload of
// the relay's answer (after its 40-byte header); empty when none came.
QByteArray askRelay(const QString &relay, const testpackets::Bytes &inner)
{
    QUdpSocket socket;
    if (!socket.bind(QHostAddress(QStringLiteral("127.0.0.1")), 0))
        return QByteArray();
    const std::vector<uint8_t> datagram = testrelay::clientDatagram(inner, 1);
    socket.writeDatagram(reinterpret_cast<const char *>(datagram.data()), qint64(datagram.size()),
                         QHostAddress(relay), 50000);
    if (!socket.waitForReadyRead(5000))
        return QByteArray();
    const QByteArray answer = socket.receiveDatagram().data();
    return answer.size() > 40 ? answer.mid(40) : QByteArray();
}

// The relay at `address` answers the chat domain's lookup with an address
// and echoes a game's datagram.
bool relayServes(const QString &address, QString *why)
{
    const QByteArray dns = askRelay(address, testpackets::udp("127.0.0.1", 40000, "198.51.100.53", 53,
                                                              testpackets::dnsQuery(7, "discord.com")));
    if (!dns.contains(QByteArray::fromHex("cb00710a"))) { // 203.0.113.10
        *why = address + QStringLiteral(": lookup answered with ") + QString::fromLatin1(dns.toHex());
        return false;
    }
    const std::string text = "game datagram";
    const QByteArray echo = askRelay(address, testpackets::udp("127.0.0.1", 40001, "198.51.100.7", 27015,
                                                               testpackets::Bytes(text.begin(), text.end())));
    if (echo != QByteArray::fromStdString(text)) {
        *why = address + QStringLiteral(": echo was ") + QString::fromLatin1(echo.toHex());
        return false;
    }
    return true;
}

// Nothing is bound there: the address and port are free to take.
bool nobodyAt(const QString &address)
{
    QUdpSocket socket;
    return socket.bind(QHostAddress(address), 50000);
}

} // namespace

class TestNetnsDevService : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void relaysOfTheList();
    void takenRelayPortIsNamed();
    void secondServiceLeavesTheFirstAlone();

private:
    QTemporaryDir m_data;
    QStringList arguments(const QString &port = QStringLiteral("0")) const
    {
        return {QStringLiteral("--port"),     port,
                QStringLiteral("--quiet"),    QStringLiteral("--relays"),
                QStringLiteral("--data-dir"), m_data.path()};
    }
};

void TestNetnsDevService::initTestCase()
{
    if (!QFile::exists(DevServiceProcess::program()))
        QSKIP("quorlix-devservice is not built");
    QVERIFY(m_data.isValid());
}

void TestNetnsDevService::relaysOfTheList()
{
    DevServiceProcess service;
    QVERIFY(service.start(arguments()));
    QTRY_VERIFY(service.standardOutput().contains("relay Istanbul 1"));
    const QJsonArray servers = DevServiceProcess::request(service.origin(), QStringLiteral("/api/servers"))
                                   .value("servers")
                                   .toArray();
    int active = 0;
    for (const QJsonValue &s : servers) {
        const QJsonObject server = s.toObject();
        const QString address = server.value("ip_address").toString();
        if (server.value("status").toString() == QLatin1String("active")) {
            ++active;
            QString why;
            QVERIFY2(relayServes(address, &why), qPrintable(why));
            QVERIFY(service.standardOutput().contains(
                QStringLiteral("relay %1 %2:50000").arg(server.value("name").toString(), address).toUtf8()));
        } else {
            QVERIFY2(nobodyAt(address), qPrintable(address));
        }
    }
    QCOMPARE(active, 5);
    QVERIFY(servers.size() > active);
    QCOMPARE(service.standardError(), QByteArray());
}

void TestNetnsDevService::takenRelayPortIsNamed()
{
    QUdpSocket squatter;
    QVERIFY(squatter.bind(QHostAddress(QStringLiteral("127.0.0.12")), 50000));
    DevServiceProcess service;
    QVERIFY(service.start(arguments()));
    QTRY_VERIFY(service.standardOutput().contains("relay Istanbul 1"));
    const QList<QByteArray> lines = service.standardError().trimmed().split('\n');
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines.first().contains("Amsterdam 1") && lines.first().contains("127.0.0.12:50000"),
             lines.first().constData());
    QVERIFY(!service.standardOutput().contains("Amsterdam"));
    // The service and the other relays are there all the same.
    QString why;
    QVERIFY2(relayServes(QStringLiteral("127.0.0.11"), &why), qPrintable(why));
    QVERIFY(!DevServiceProcess::request(service.origin(), QStringLiteral("/api/games"))
                 .value("data")
                 .toArray()
                 .isEmpty());
}

void TestNetnsDevService::secondServiceLeavesTheFirstAlone()
{
    DevServiceProcess first;
    QVERIFY(first.start(arguments()));
    const QUrl origin = first.origin();
    const QString port = QString::number(origin.port());
    const QJsonObject login = DevServiceProcess::request(
        origin, kLogin, {{"email", FakeService::kDemoEmail}, {"password", FakeService::kDemoPassword}}, true);
    const QString token = login.value("token").toString();
    QVERIFY(!token.isEmpty());

    // A second service on the same port gives up at once and says why ...
    DevServiceProcess second;
    QVERIFY(!second.start(arguments(port)));
    QCOMPARE(second.waitForExit(), 1);
    const QByteArray said = second.standardError().trimmed();
    QVERIFY2(said.contains("127.0.0.1:" + port.toUtf8()) && !said.contains('\n'), said.constData());
    // ... and so does a second start through the script run.sh uses, whose
    // program runs all the same, against the first service.
    QProcess script;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QUORLIX_DEVSERVICE_PORT"), port);
    env.insert(QStringLiteral("QUORLIX_DEVSERVICE_DATA"), m_data.path());
    env.insert(QStringLiteral("QUORLIX_BUILD_DIR"), qEnvironmentVariable("QUORLIX_BINARY_DIR"));
    script.setProcessEnvironment(env);
    script.start(DevServiceProcess::script(), {QStringLiteral("sh"), QStringLiteral("-c"),
                                               QStringLiteral("echo \"$QUORLIX_SERVICE_ORIGIN\"")});
    QVERIFY(script.waitForFinished(20000));
    QCOMPARE(script.exitCode(), 0);
    QCOMPARE(script.readAllStandardOutput().trimmed(), origin.toString().toUtf8());
    QVERIFY(script.readAllStandardError().contains("127.0.0.1:" + port.toUtf8()));

    // The first one still knows the session and still has its relays.
    int status = 0;
    DevServiceProcess::request(origin, kValidate, {}, false, token, &status);
    QCOMPARE(status, 200);
    QString why;
    QVERIFY2(relayServes(QStringLiteral("127.0.0.13"), &why), qPrintable(why));

    // Started again on the same data, the service still knows the session.
    first.stop();
    DevServiceProcess again;
    QVERIFY(again.start(arguments()));
    const QJsonObject valid =
        DevServiceProcess::request(again.origin(), kValidate, {}, false, token, &status);
    QCOMPARE(status, 200);
    QCOMPARE(valid.value("session_id").toString(), login.value("session_id").toString());
}

QTEST_GUILESS_MAIN(TestNetnsDevService)
#include "tst_netns_devservice.moc"
