// The network fingerprint: which interface decides and what changes the key.

#include "connection/NetworkFingerprint.h"

#include <QCryptographicHash>
#include <QtTest>

namespace {

NetworkInterfaceInfo iface(const QString &name, const QString &mac, const QStringList &addresses,
                           bool up = true, bool running = true, bool loopback = false)
{
    NetworkInterfaceInfo i;
    i.name = name;
    i.hardwareAddress = mac;
    i.up = up;
    i.running = running;
    i.loopback = loopback;
    for (const QString &a : addresses)
        i.addresses << QHostAddress(a);
    return i;
}

QString sha1(const QByteArray &text)
{
    return QString::fromLatin1(QCryptographicHash::hash(text, QCryptographicHash::Sha1).toHex());
}

} // namespace

Q_DECLARE_METATYPE(QList<NetworkInterfaceInfo>)

class TestNetworkFingerprint : public QObject
{
    Q_OBJECT

private slots:
    void hashedText_data();
    void hashedText();
    void newAddressNewKey();
    void systemInterfaces();
};

void TestNetworkFingerprint::hashedText_data()
{
    QTest::addColumn<QList<NetworkInterfaceInfo>>("interfaces");
    QTest::addColumn<QString>("text");

    const auto lo = iface("lo", "00:00:00:00:00:00", {"127.0.0.1", "::1"}, true, true, true);
    const auto eth = iface(" eth0 ", " 52:54:00:12:34:56 ", {"fe80::1", "192.168.1.20", "10.0.0.2"});
    QTest::newRow("no interfaces") << QList<NetworkInterfaceInfo>{} << "||";
    QTest::newRow("only loopback") << QList<NetworkInterfaceInfo>{lo} << "||";
    QTest::newRow("down and not running are skipped")
        << QList<NetworkInterfaceInfo>{iface("wlan0", "aa", {"10.1.1.1"}, false),
                                       iface("wlan1", "bb", {"10.1.1.2"}, true, false)}
        << "||";
    QTest::newRow("first qualifying, trimmed, first IPv4")
        << QList<NetworkInterfaceInfo>{lo, eth, iface("eth1", "cc", {"172.16.0.1"})}
        << "eth0|52:54:00:12:34:56|192.168.1.20";
    QTest::newRow("first qualifying without IPv4 still decides")
        << QList<NetworkInterfaceInfo>{iface("tun0", "", {"fd00::2"}), eth} << "tun0||";
    QTest::newRow("a loopback address is no IPv4 of the interface")
        << QList<NetworkInterfaceInfo>{iface("veth", "dd", {"127.0.0.5", "10.9.9.9"})} << "veth|dd|10.9.9.9";
}

void TestNetworkFingerprint::hashedText()
{
    QFETCH(QList<NetworkInterfaceInfo>, interfaces);
    QFETCH(QString, text);
    QCOMPARE(networkFingerprintText(interfaces), text);
    QCOMPARE(networkFingerprint(interfaces), sha1(text.toUtf8()));
    QCOMPARE(networkFingerprint([interfaces] { return interfaces; }), sha1(text.toUtf8()));
}

void TestNetworkFingerprint::newAddressNewKey()
{
    const QString before = networkFingerprint({iface("eth0", "52:54:00:12:34:56", {"192.168.1.20"})});
    const QString after = networkFingerprint({iface("eth0", "52:54:00:12:34:56", {"192.168.1.21"})});
    QVERIFY(before != after);
    QCOMPARE(before.size(), 40);
    QCOMPARE(before, before.toLower());
}

void TestNetworkFingerprint::systemInterfaces()
{
    // The host's list is stable between two calls.
    const QString a = networkFingerprint();
    QCOMPARE(a.size(), 40);
    QCOMPARE(networkFingerprint(), a);
}

QTEST_GUILESS_MAIN(TestNetworkFingerprint)
#include "tst_networkfingerprint.moc"
