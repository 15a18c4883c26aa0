// ConsoleNetworkManager: the published console network, the wired-adapter
// choice, which ARP listings show a console, the connected/disconnected
// sequence over polls, and polls whose listing hangs or cannot be read.

#include "engine/qt/ConsoleNetworkManager.h"
#include "support/faketools/DebugLog.h"
#include "support/faketools/FakeRunner.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using Interface = ConsoleNetworkManager::Interface;
using SystemTools::HostOs;
using SystemTools::ToolCommand;

Q_DECLARE_METATYPE(QList<ConsoleNetworkManager::Interface>)

namespace {

Interface iface(const QString &name, const QString &ipv4 = QString(), bool loopback = false)
{
    Interface i;
    i.humanReadableName = name;
    i.loopback = loopback;
    if (!ipv4.isEmpty())
        i.ipv4 << QHostAddress(ipv4);
    return i;
}

// A Windows "arp -a" section.
QString section(const QString &address, const QStringList &entries)
{
    QString text =
        QStringLiteral("\r\nInterface: %1 --- 0x5\r\n  Internet Address      Physical Address      Type\r\n")
            .arg(address);
    for (const QString &e : entries)
        text += QStringLiteral("  ") + e + QStringLiteral("\r\n");
    return text;
}

QString entry(const QString &address, const QString &type = QStringLiteral("dynamic"))
{
    return QStringLiteral("%1%2%3").arg(address, -22).arg(QStringLiteral("00-11-22-33-44-55"), -22).arg(type);
}

// A manager whose listing is `*listing` (Windows wording) and whose host has
// `*interfaces`; both can change between polls.
struct Rig
{
    QString listing;
    QList<Interface> interfaces;
    FakeRunner runner;
    std::unique_ptr<ConsoleNetworkManager> manager;

    explicit Rig(int pollMs = 1000, int toolMs = 2000)
    {
        runner.setScript(
            [this](const ToolCommand &c) { return FakeRunner::reply(FakeRunner::exited(c, 0, listing)); });
        ConsoleNetworkManager::Options o;
        o.runner = &runner;
        o.interfaces = [this] { return interfaces; };
        o.arpCommand = SystemTools::arpCommand(HostOs::Windows);
        o.pollIntervalMs = pollMs;
        o.toolTimeoutMs = toolMs;
        manager = std::make_unique<ConsoleNetworkManager>(o);
    }
};

} // namespace

class TestConsoleNetworkManager : public QObject
{
    Q_OBJECT

private slots:
    void setupPublishesTheConsoleNetwork();
    void destroyAdapterForgetsEverything();
    void wiredAdapterChoice_data();
    void wiredAdapterChoice();
    void listingDecides_data();
    void listingDecides();
    void connectSequence();
    void startMonitoringReportsAgain();
    void adapterLoggedOncePerChange();
    void pollsOnlyWhileWanted();
    void hangingToolEndsAtItsLimit();
    void kernelTableMissingOrUnreadable();
};

void TestConsoleNetworkManager::setupPublishesTheConsoleNetwork()
{
    DebugLog log("[ConsoleNet]");
    ConsoleNetworkManager manager;
    QVERIFY(!manager.configuration().valid);
    // Queued, as a receiver on another thread would get it: needs the meta-type.
    QList<ConsoleNetworkManager::NetworkConfig> received;
    connect(
        &manager, &ConsoleNetworkManager::configurationReady, this,
        [&](const ConsoleNetworkManager::NetworkConfig &c) { received << c; }, Qt::QueuedConnection);
    QVERIFY(manager.setupConsoleMode());
    QCOMPARE(log.lines(), QStringList{"[ConsoleNet] Console mode (monitor-only): no netsh/ICS/NAT changes"});
    QTRY_COMPARE(received.size(), 1);
    const ConsoleNetworkManager::NetworkConfig c = received.at(0);
    QCOMPARE(c.ipAddress, QString("172.22.255.37"));
    QCOMPARE(c.subnetMask, QString("255.255.0.0"));
    QCOMPARE(c.gateway, QString("172.22.255.34"));
    QCOMPARE(c.dns, QString("1.1.1.1"));
    QVERIFY(c.valid);
    QCOMPARE(manager.configuration().gateway, c.gateway);
    QVERIFY(!manager.isMonitoring()); // set-up alone does not poll
}

void TestConsoleNetworkManager::destroyAdapterForgetsEverything()
{
    Rig rig;
    rig.listing = section("192.168.1.10", {entry("172.22.1.50")});
    QVERIFY(rig.manager->setupConsoleMode());
    rig.manager->startMonitoring();
    rig.manager->checkConsoleConnection();
    QVERIFY(rig.manager->isConnected());
    QVERIFY(rig.manager->isMonitoring());

    DebugLog log("[ConsoleNet]");
    rig.manager->destroyAdapter();
    QCOMPARE(log.lines(),
             QStringList({"[ConsoleNet] Destroying adapter...", "[ConsoleNet] Stopping connection monitoring",
                          "[ConsoleNet] Adapter destroyed"}));
    const ConsoleNetworkManager::NetworkConfig c = rig.manager->configuration();
    QVERIFY(c.ipAddress.isEmpty() && c.subnetMask.isEmpty() && c.gateway.isEmpty() && c.dns.isEmpty());
    QVERIFY(!c.valid);
    QVERIFY(!rig.manager->isMonitoring());
    QVERIFY(!rig.manager->isConnected());
}

void TestConsoleNetworkManager::wiredAdapterChoice_data()
{
    QTest::addColumn<QList<Interface>>("interfaces");
    QTest::addColumn<QString>("chosen");
    QTest::newRow("numbered adapter after excluded ones")
        << QList<Interface>{iface("Ethernet loop", "127.0.0.1", true), iface("Wi-Fi Ethernet"),
                            iface("VirtualBox Host-Only Ethernet Adapter"), iface("Ethernet 2")}
        << "Ethernet 2";
    QTest::newRow("Hyper-V switch first")
        << QList<Interface>{iface("vEthernet (Default Switch)"), iface("Ethernet")}
        << "vEthernet (Default Switch)";
    QTest::newRow("any case") << QList<Interface>{iface("wifi"), iface("ETHERNET 3")} << "ETHERNET 3";
    QTest::newRow("excluded words in any case")
        << QList<Interface>{iface("wireless ethernet"), iface("VMWARE Ethernet 1"), iface("WI-FI ethernet")}
        << "";
    QTest::newRow("Linux names") << QList<Interface>{iface("lo", "127.0.0.1", true), iface("eth0"),
                                                     iface("enp3s0")}
                                 << "";
    QTest::newRow("none") << QList<Interface>{} << "";
}

void TestConsoleNetworkManager::wiredAdapterChoice()
{
    QFETCH(QList<Interface>, interfaces);
    QFETCH(QString, chosen);
    Rig rig;
    rig.interfaces = interfaces;
    QCOMPARE(rig.manager->findEthernetAdapter(), chosen);
    // A poll reports what it found, on the log's own line for each outcome.
    DebugLog log("[ConsoleNet]");
    if (chosen.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, "[ConsoleNet] No suitable Ethernet adapter found");
    rig.manager->checkConsoleConnection();
    QCOMPARE(log.lines().filter("adapter"),
             chosen.isEmpty() ? QStringList()
                              : QStringList{"[ConsoleNet] Found Ethernet adapter: " + chosen});
}

void TestConsoleNetworkManager::adapterLoggedOncePerChange()
{
    // A PC without a wired adapter polled every second: one warning, not
    // one a poll; the log speaks again only when the outcome changes.
    Rig rig;
    rig.interfaces = {iface("Wi-Fi", "10.0.0.5")};
    DebugLog log("[ConsoleNet]");
    QTest::ignoreMessage(QtWarningMsg, "[ConsoleNet] No suitable Ethernet adapter found");
    const QList<QList<Interface>> polls = {
        {iface("Wi-Fi", "10.0.0.5")},        {iface("Wi-Fi", "10.0.0.5")},
        {iface("Wi-Fi", "10.0.0.5")},        {iface("Ethernet", "192.168.1.10")},
        {iface("Ethernet", "192.168.1.10")}, {iface("Ethernet 2", "192.168.1.10")},
        {iface("Wi-Fi", "10.0.0.5")},        {iface("Wi-Fi", "10.0.0.5")},
    };
    for (int i = 0; i < polls.size(); ++i) {
        rig.interfaces = polls.at(i);
        if (i == 6)
            QTest::ignoreMessage(QtWarningMsg, "[ConsoleNet] No suitable Ethernet adapter found");
        rig.manager->checkConsoleConnection();
    }
    QCOMPARE(log.lines().filter("adapter"), QStringList({"[ConsoleNet] Found Ethernet adapter: Ethernet",
                                                         "[ConsoleNet] Found Ethernet adapter: Ethernet 2"}));
}

void TestConsoleNetworkManager::pollsOnlyWhileWanted()
{
    Rig rig(10);
    rig.interfaces = {iface("Ethernet", "192.168.1.10")};
    rig.listing = section("192.168.1.10", {entry("172.22.1.50")});
    QVERIFY(rig.manager->setupConsoleMode());
    QSignalSpy seen(rig.manager.get(), &ConsoleNetworkManager::consoleConnected);
    rig.manager->startMonitoring();
    QTRY_COMPARE(seen.count(), 1);

    // Nobody looks at the console: the polls pause.
    rig.manager->setMonitoringWanted(false);
    QVERIFY(!rig.manager->isMonitoring());
    const int polls = rig.runner.commands().size();
    QTest::qWait(60);
    QCOMPARE(rig.runner.commands().size(), polls);
    // A set-up while nobody looks waits too.
    rig.manager->startMonitoring();
    QVERIFY(!rig.manager->isMonitoring());

    // Looked at again: the watch starts afresh and reports the console that
    // is still there, so a set-up shown again can hide.
    rig.manager->setMonitoringWanted(true);
    QVERIFY(rig.manager->isMonitoring());
    QTRY_COMPARE(seen.count(), 2);

    // Never started, a watch that is wanted again starts nothing.
    Rig idle(10);
    idle.manager->setMonitoringWanted(false);
    idle.manager->setMonitoringWanted(true);
    QVERIFY(!idle.manager->isMonitoring());
}

void TestConsoleNetworkManager::listingDecides_data()
{
    QTest::addColumn<QString>("listing");
    QTest::addColumn<QList<Interface>>("interfaces");
    QTest::addColumn<bool>("connected");

    const QList<Interface> wired{iface("Wi-Fi", "10.0.0.5"), iface("Ethernet", "192.168.1.10")};
    const QList<Interface> noWired{iface("Wi-Fi", "10.0.0.5"), iface("eth0", "192.168.1.10")};
    const QString other = section("10.0.0.5", {entry("10.0.0.1")});

    QTest::newRow("only the gateway") << section("192.168.1.10", {entry("172.22.255.34")}) << wired << false;
    QTest::newRow("console in another adapter's section")
        << other + section("10.0.0.5", {entry("172.22.1.50")}) +
               section("192.168.1.10", {entry("192.168.1.1")})
        << wired << false;
    QTest::newRow("the same without a wired adapter") << other + section("10.0.0.5", {entry("172.22.1.50")}) +
                                                             section("192.168.1.10", {entry("192.168.1.1")})
                                                      << noWired << true;
    QTest::newRow("static entry") << section("192.168.1.10", {entry("172.22.1.50", "static")}) << wired
                                  << false;
    QTest::newRow("static entry, whole listing")
        << section("192.168.1.10", {entry("172.22.1.50", "static")}) << noWired << false;
    QTest::newRow("172.22 inside another address")
        << section("192.168.1.10", {entry("10.172.22.5")}) << noWired << false;
    QTest::newRow("172.22 after another address")
        << section("192.168.1.10", {entry("10.1.1.1") + " 172.22.1.50"}) << noWired << false;
    QTest::newRow("entry before any section")
        << entry("172.22.1.50") + "\n" + section("192.168.1.10", {}) << wired << true;
    QTest::newRow("console in the wired section")
        << other + section("192.168.1.10", {entry("172.22.255.34"), entry("172.22.1.50")}) << wired << true;
    QTest::newRow("type in capitals")
        << section("192.168.1.10", {entry("172.22.0.9", "DYNAMIC")}) << wired << true;
    QTest::newRow("wired adapter without an IPv4 address")
        << section("10.0.0.5", {entry("172.22.1.50")})
        << QList<Interface>{iface("Wi-Fi", "10.0.0.5"), iface("Ethernet")} << true;
    QTest::newRow("section without an address")
        << "Interface: --- 0x3\n" + entry("172.22.1.50") << wired << true;
    QTest::newRow("broken lines")
        << "Interface: 192.168.1.10\n172.22.\n172.22.1\n999.22.1.50 dynamic\n172.22.300.1 dynamic\n"
           "\x01\x02 dynamic\n   \n" +
               QString(5000, 'x')
        << wired << false;
    QTest::newRow("empty listing") << QString() << wired << false;
}

void TestConsoleNetworkManager::listingDecides()
{
    QFETCH(QString, listing);
    QFETCH(QList<Interface>, interfaces);
    QFETCH(bool, connected);
    Rig rig;
    rig.listing = listing;
    rig.interfaces = interfaces;
    QVERIFY(rig.manager->setupConsoleMode());
    QSignalSpy seen(rig.manager.get(), &ConsoleNetworkManager::consoleConnected);
    rig.manager->checkConsoleConnection();
    QCOMPARE(rig.manager->isConnected(), connected);
    QCOMPARE(seen.count(), connected ? 1 : 0);
    // The listing was asked for with the poll's time limit.
    QCOMPARE(rig.runner.commands().size(), 1);
    QCOMPARE(rig.runner.commands().at(0).timeoutMs, 2000);
    QCOMPARE(rig.runner.commands().at(0).arguments, QStringList{"-a"});
}

void TestConsoleNetworkManager::connectSequence()
{
    Rig rig;
    rig.interfaces = {iface("Ethernet", "192.168.1.10")};
    QVERIFY(rig.manager->setupConsoleMode());
    QStringList events;
    connect(rig.manager.get(), &ConsoleNetworkManager::consoleConnected, this,
            [&] { events << "connected"; });
    connect(rig.manager.get(), &ConsoleNetworkManager::consoleDisconnected, this,
            [&] { events << "disconnected"; });
    const QString seen = section("192.168.1.10", {entry("172.22.255.34"), entry("172.22.1.50")});
    const QString gone = section("192.168.1.10", {entry("172.22.255.34")});

    DebugLog log("[ConsoleNet]");
    for (const QString &listing : {seen, seen, gone, gone, seen}) {
        rig.listing = listing;
        rig.manager->checkConsoleConnection();
    }
    QCOMPARE(events, QStringList({"connected", "disconnected", "connected"}));
    QCOMPARE(log.lines().filter("Console "),
             QStringList({"[ConsoleNet] Console connected!", "[ConsoleNet] Console disconnected",
                          "[ConsoleNet] Console connected!"}));
}

void TestConsoleNetworkManager::startMonitoringReportsAgain()
{
    Rig rig(10);
    rig.interfaces = {iface("Ethernet", "192.168.1.10")};
    rig.listing = section("192.168.1.10", {entry("172.22.1.50")});
    QVERIFY(rig.manager->setupConsoleMode());
    QSignalSpy seen(rig.manager.get(), &ConsoleNetworkManager::consoleConnected);
    QVERIFY(!rig.manager->isMonitoring());
    {
        DebugLog log("[ConsoleNet]");
        rig.manager->startMonitoring();
        QCOMPARE(log.lines().value(0), QString("[ConsoleNet] Starting connection monitoring..."));
    }
    QTRY_COMPARE(seen.count(), 1);
    // Polls go on; the console stays connected without a second signal.
    const int polls = rig.runner.commands().size();
    QTRY_VERIFY(rig.runner.commands().size() >= polls + 3);
    QCOMPARE(seen.count(), 1);
    // A new set-up's monitoring reports the console again at its next poll.
    rig.manager->startMonitoring();
    QVERIFY(!rig.manager->isConnected());
    QTRY_COMPARE(seen.count(), 2);
}

void TestConsoleNetworkManager::hangingToolEndsAtItsLimit()
{
    Rig rig(1000, 60);
    rig.interfaces = {iface("Ethernet", "192.168.1.10")};
    rig.listing = section("192.168.1.10", {entry("172.22.1.50")});
    QVERIFY(rig.manager->setupConsoleMode());
    rig.manager->checkConsoleConnection();
    QVERIFY(rig.manager->isConnected());

    QSignalSpy gone(rig.manager.get(), &ConsoleNetworkManager::consoleDisconnected);
    rig.runner.setScript([](const ToolCommand &) { return FakeRunner::hang(); });
    QElapsedTimer t;
    t.start();
    rig.manager->checkConsoleConnection();
    QVERIFY2(t.elapsed() < 1500, qPrintable(QString::number(t.elapsed())));
    QCOMPARE(rig.runner.commands().last().timeoutMs, 60);
    QCOMPARE(gone.count(), 0);
    QVERIFY(rig.manager->isConnected());
}

void TestConsoleNetworkManager::kernelTableMissingOrUnreadable()
{
    // On Linux the listing comes from the kernel's neighbour table; the wired
    // adapter has a Linux name, so the whole listing is searched.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString table = dir.filePath("arp");
    ConsoleNetworkManager::Options o;
    o.interfaces = [] { return QList<Interface>{iface("enp3s0", "192.168.1.10")}; };
    o.arpCommand = SystemTools::arpCommand(HostOs::Linux, table);
    ConsoleNetworkManager manager(o);
    QVERIFY(manager.setupConsoleMode());
    QSignalSpy seen(&manager, &ConsoleNetworkManager::consoleConnected);
    QSignalSpy gone(&manager, &ConsoleNetworkManager::consoleDisconnected);

    auto write = [&](const QByteArray &rows) {
        QFile f(table);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("IP address       HW type     Flags       HW address            Mask     Device\n" + rows);
    };
    write("172.22.1.50      0x1         0x6         02:11:22:33:44:55     *        qxnodev0\n");
    manager.checkConsoleConnection(); // permanent ("static"): not a console
    QCOMPARE(seen.count(), 0);
    write("172.22.1.50      0x1         0x2         02:11:22:33:44:55     *        qxnodev0\n");
    manager.checkConsoleConnection();
    QCOMPARE(seen.count(), 1);

    QVERIFY(QFile::remove(table)); // missing
    manager.checkConsoleConnection();
    QVERIFY(QDir().mkdir(table)); // a folder in its place: cannot be read
    manager.checkConsoleConnection();
    QCOMPARE(gone.count(), 0);
    QVERIFY(manager.isConnected());
}

QTEST_MAIN(TestConsoleNetworkManager)
#include "tst_consolenetworkmanager.moc"
