#include "platform/SystemInfo.h"

#include "fakenvml/FakeNvml.h"
#include "support/FakeSystemInfo.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <dlfcn.h>
#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <memory>

// Relative path -> file content; a path ending in "/" is made a folder, which
// opens but cannot be read like a file.
using Tree = QMap<QString, QByteArray>;
Q_DECLARE_METATYPE(Tree)

namespace {

constexpr std::uint64_t kKiB = 1024;

QByteArray statLine(quint64 user, quint64 system, quint64 idle, quint64 iowait, quint64 guest = 0)
{
    return QByteArray("cpu  ") + QByteArray::number(user) + " 0 " + QByteArray::number(system) + ' ' +
           QByteArray::number(idle) + ' ' + QByteArray::number(iowait) + " 0 0 0 " +
           QByteArray::number(guest) + " 0\ncpu0 1 2 3 4 5 6 7 8 0 0\nintr 12345 0 0\n";
}

QString cpuFreq(int cpu, const char *file)
{
    return QStringLiteral("sys/devices/system/cpu/cpu%1/cpufreq/%2").arg(cpu).arg(QLatin1String(file));
}

QString drmBusy(const char *card)
{
    return QStringLiteral("sys/class/drm/%1/device/gpu_busy_percent").arg(QLatin1String(card));
}

// A /proc/cpuinfo of `cpus` processors, each block as long as a real one.
QByteArray cpuinfo(int cpus, const QList<QByteArray> &mhz)
{
    QByteArray text;
    for (int i = 0; i < cpus; ++i) {
        text += "processor\t: " + QByteArray::number(i) + "\nvendor_id\t: GenuineIntel\n";
        text += "model name\t: Intel(R) Xeon(R) CPU @ 2.60GHz\n";
        text += "cpu MHz\t\t: " + mhz.at(i % mhz.size()) + "\ncache size\t: 33792 KB\n";
        text += "flags\t\t: " + QByteArray("fpu vme de pse tsc msr pae mce cx8 apic sep mtrr ").repeated(20) +
                "\n\n";
    }
    return text;
}

} // namespace

class TestSystemInfo : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_root;

    // A fresh fixture root for every test and row.
    QString makeTree(const Tree &tree)
    {
        m_root = std::make_unique<QTemporaryDir>();
        for (auto it = tree.cbegin(); it != tree.cend(); ++it)
            put(it.key(), it.value());
        return m_root->path();
    }

    void put(const QString &relative, const QByteArray &content)
    {
        const QString path = m_root->filePath(relative);
        if (relative.endsWith(QLatin1Char('/'))) {
            QVERIFY(QDir().mkpath(path));
            return;
        }
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(file.write(content), content.size());
    }

    static void resetFake(FakeNvmlStateFn stateFn) { *stateFn() = FakeNvmlState(); }

    static int nvmlLoads() { return std::atoi(qgetenv(FAKE_NVML_LOADS_ENV).constData()); }

private slots:
    void cpuLoadFollowsTheChangeSinceTheLastCall_data()
    {
        QTest::addColumn<QList<QByteArray>>("readings");
        QTest::addColumn<QList<int>>("expected");

        const QByteArray boot = statLine(100, 100, 700, 100); // total 1000, busy 200
        // busy +30 (user +20, system +10) of total +100 (idle +60, iowait +10)
        const QByteArray later = statLine(120, 110, 760, 110);

        QTest::newRow("busy +30 of total +100") << QList<QByteArray>{boot, later} << QList<int>{20, 30};
        QTest::newRow("the same line twice") << QList<QByteArray>{boot, boot} << QList<int>{20, -1};
        QTest::newRow("counters going back, then a fresh baseline")
            << QList<QByteArray>{later, boot, later} << QList<int>{21, -1, 30};
        QTest::newRow("idle going back")
            << QList<QByteArray>{boot, statLine(150, 100, 690, 100)} << QList<int>{20, -1};
        QTest::newRow("guest time is already in user time")
            << QList<QByteArray>{boot, statLine(120, 110, 760, 110, 5000)} << QList<int>{20, 30};
        QTest::newRow("all busy") << QList<QByteArray>{boot, statLine(150, 150, 700, 100)}
                                  << QList<int>{20, 100};
        QTest::newRow("half a percent rounds up")
            << QList<QByteArray>{boot, statLine(101, 100, 899, 100)} << QList<int>{20, 1};
        QTest::newRow("a 100 KB line before the cpu line")
            << QList<QByteArray>{QByteArray(100 * 1024, 'x') + '\n' + boot} << QList<int>{20};
        QTest::newRow("garbled first reading does not become the baseline")
            << QList<QByteArray>{"cpu  1 2 3\n", boot, later} << QList<int>{-1, 20, 30};

        const QList<int> none{-1, -1};
        QTest::newRow("short cpu line")
            << QList<QByteArray>{"cpu  1 2 3 4 5 6 7\n", "cpu  1 2 3 4\n"} << none;
        QTest::newRow("words for numbers")
            << QList<QByteArray>{"cpu  one 0 1 2 3 4 5 6 0 0\n", "cpu  1 0 1 2 3 -4 5 6 0 0\n"} << none;
        QTest::newRow("sum beyond 64 bits")
            << QList<QByteArray>{"cpu  18446744073709551615 1 0 0 0 0 0 0 0 0\n",
                                 "cpu  18446744073709551616 0 0 0 0 0 0 0 0 0\n"}
            << none;
        QTest::newRow("only per-CPU lines")
            << QList<QByteArray>{"cpu0 1 2 3 4 5 6 7 8\n", "cpux 1 2 3 4 5 6 7 8\n"} << none;
        QTest::newRow("empty") << QList<QByteArray>{QByteArray(), "\n\n"} << none;
    }

    void cpuLoadFollowsTheChangeSinceTheLastCall()
    {
        QFETCH(QList<QByteArray>, readings);
        QFETCH(QList<int>, expected);

        SystemInfo::LinuxReader reader(makeTree({}).toStdString());
        for (int i = 0; i < readings.size(); ++i) {
            put(QStringLiteral("proc/stat"), readings.at(i));
            QCOMPARE(reader.cpuUsagePercent(), expected.at(i));
        }
    }

    void cpuLoadWithoutTheFile()
    {
        SystemInfo::LinuxReader reader(makeTree({}).toStdString());
        QCOMPARE(reader.cpuUsagePercent(), -1);
        // A folder in its place opens but cannot be read.
        put(QStringLiteral("proc/stat/"), {});
        QCOMPARE(reader.cpuUsagePercent(), -1);
        // Nor may a pipe without a writer hold the caller up.
        QVERIFY(QDir(m_root->filePath(QStringLiteral("proc/stat"))).removeRecursively());
        QCOMPARE(mkfifo(QFile::encodeName(m_root->filePath(QStringLiteral("proc/stat"))).constData(), 0600),
                 0);
        QCOMPARE(reader.cpuUsagePercent(), -1);
    }

    void cpuClock_data()
    {
        QTest::addColumn<Tree>("tree");
        QTest::addColumn<int>("mhz");
        QTest::addColumn<int>("cpuinfoMhz");

        const QByteArray cpuinfo2400and2600 = cpuinfo(2, {"2400.000", "2600.000"});

        QTest::newRow("current at the base clock") << Tree{{cpuFreq(0, "base_frequency"), "2000000\n"},
                                                           {cpuFreq(0, "scaling_cur_freq"), "1800000\n"},
                                                           {cpuFreq(1, "scaling_cur_freq"), "2200000\n"}}
                                                   << 2000 << -1;
        QTest::newRow("current above 2.5 x nominal is capped")
            << Tree{{cpuFreq(0, "base_frequency"), "2000000\n"},
                    {cpuFreq(0, "scaling_cur_freq"), "6000000\n"}}
            << 5000 << -1;
        QTest::newRow("current 0 answers 0 without /proc/cpuinfo")
            << Tree{{cpuFreq(0, "base_frequency"), "2000000\n"},
                    {cpuFreq(0, "scaling_cur_freq"), "0\n"},
                    {QStringLiteral("proc/cpuinfo"), cpuinfo2400and2600}}
            << 0 << 2500;
        QTest::newRow("highest clock stands in for a missing base clock")
            << Tree{{cpuFreq(0, "cpuinfo_max_freq"), "3000000\n"},
                    {cpuFreq(0, "scaling_cur_freq"), "1500400\n"}}
            << 1500 << -1;
        QTest::newRow("the base clock wins over the highest clock")
            << Tree{{cpuFreq(0, "base_frequency"), "1000000\n"},
                    {cpuFreq(0, "cpuinfo_max_freq"), "4000000\n"},
                    {cpuFreq(0, "scaling_cur_freq"), "3000000\n"}}
            << 2500 << -1;
        QTest::newRow("a cpufreq tree with gaps")
            << Tree{{QStringLiteral("sys/devices/system/cpu/cpu0/online"), "1\n"},
                    {cpuFreq(1, "cpuinfo_max_freq"), "3000000\n"},
                    {cpuFreq(1, "scaling_cur_freq"), "1000000\n"},
                    {QStringLiteral("sys/devices/system/cpu/cpu2/online"), "0\n"},
                    {cpuFreq(5, "scaling_cur_freq"), "2000000\n"},
                    {cpuFreq(7, "scaling_cur_freq"), "fast\n"},
                    {cpuFreq(9, "scaling_cur_freq/"), {}},
                    {cpuFreq(11, "scaling_cur_freq"), "99999999999999999999999\n"},
                    {QStringLiteral("sys/devices/system/cpu/cpufreq/policy0/scaling_cur_freq"), "9000000\n"}}
            << 1500 << -1;
        QTest::newRow("no cpufreq, cpuinfo 2400 and 2600")
            << Tree{{QStringLiteral("proc/cpuinfo"), cpuinfo2400and2600}} << 2500 << 2500;
        QTest::newRow("current clocks without a nominal one use cpuinfo")
            << Tree{{cpuFreq(0, "scaling_cur_freq"), "1000000\n"},
                    {QStringLiteral("proc/cpuinfo"), cpuinfo2400and2600}}
            << 2500 << 2500;
        QTest::newRow("nominal clock when nothing else answers")
            << Tree{{cpuFreq(0, "base_frequency"), "2100000\n"},
                    {QStringLiteral("proc/cpuinfo"), "processor\t: 0\ncpu MHz\t\t: 0.000\n"}}
            << 2100 << 0;
        QTest::newRow("neither") << Tree{} << 0 << -1;
        QTest::newRow("128 CPUs") << Tree{{QStringLiteral("proc/cpuinfo"),
                                           cpuinfo(128, {"2400.000", "2601.500"})}}
                                  << 2501 << 2501;
        QTest::newRow("garbled and absurd cpuinfo values are skipped")
            << Tree{{QStringLiteral("proc/cpuinfo"),
                     "cpu MHz\t: 2000.5\ncpu MHz\t: fast\ncpu MHz\t: 99999999999999.0\ncpu MHz\t: -3\n"
                     "cpu MHz\t: 1.2.3\ncpu MHz\t:\ncpu MHz 3000\ncpu MHz\t: 3000.\n"
                     "cpu MHz\t: 3001.25"}}
            << 2501 << 2501;
        QTest::newRow("no cpu MHz lines")
            << Tree{{QStringLiteral("proc/cpuinfo"), "processor\t: 0\n\n"}} << 0 << -1;
        QTest::newRow("absurd nominal clock is ignored")
            << Tree{{cpuFreq(0, "base_frequency"), "18446744073709551615\n"},
                    {cpuFreq(0, "scaling_cur_freq"), "2000000\n"}}
            << 0 << -1;
    }

    void cpuClock()
    {
        QFETCH(Tree, tree);
        QFETCH(int, mhz);
        QFETCH(int, cpuinfoMhz);

        SystemInfo::LinuxReader reader(makeTree(tree).toStdString());
        QCOMPARE(reader.cpuCurrentMhz(), mhz);
        QCOMPARE(reader.cpuCurrentMhz(), mhz);
        QCOMPARE(reader.wmiProcessorFrequency(), cpuinfoMhz);
    }

    void cpuClockFollowsTheCurrentFrequency()
    {
        SystemInfo::LinuxReader reader(makeTree({{cpuFreq(0, "base_frequency"), "2000000\n"},
                                                 {cpuFreq(0, "scaling_cur_freq"), "1000000\n"}})
                                           .toStdString());
        QCOMPARE(reader.cpuCurrentMhz(), 1000);
        put(cpuFreq(0, "scaling_cur_freq"), "3200000\n");
        QCOMPARE(reader.cpuCurrentMhz(), 3200);
        // The current clock going away falls back to the nominal one.
        QVERIFY(QFile::remove(m_root->filePath(cpuFreq(0, "scaling_cur_freq"))));
        QCOMPARE(reader.cpuCurrentMhz(), 2000);
    }

    void gpuLoad_data()
    {
        QTest::addColumn<Tree>("tree");
        QTest::addColumn<int>("percent");

        QTest::newRow("DRM cards at 70 and 60")
            << Tree{{drmBusy("card0"), "70\n"}, {drmBusy("card1"), "60\n"}} << 100;
        QTest::newRow("two cards add up") << Tree{{drmBusy("card0"), "20\n"}, {drmBusy("card3"), "15"}} << 35;
        QTest::newRow("no DRM file") << Tree{{QStringLiteral("sys/class/drm/card0/device/vendor"),
                                              "0x1002\n"}}
                                     << -1;
        QTest::newRow("no DRM folder") << Tree{} << -1;
        QTest::newRow("an unreadable file adds nothing")
            << Tree{{drmBusy("card0") + QLatin1Char('/'), {}}, {drmBusy("card1"), "40\n"}} << 40;
        QTest::newRow("only an unreadable file") << Tree{{drmBusy("card0") + QLatin1Char('/'), {}}} << 0;
        QTest::newRow("garbled, negative and huge values")
            << Tree{{drmBusy("card0"), "busy\n"},
                    {drmBusy("card1"), "-20\n"},
                    {drmBusy("card2"), "99999999999999999999999999\n"}}
            << 100;
        QTest::newRow("connectors and render nodes are no cards") << Tree{{drmBusy("card0-DP-1"), "50\n"},
                                                                          {drmBusy("renderD128"), "50\n"},
                                                                          {drmBusy("card1"), "5\n"}}
                                                                  << 5;
    }

    void gpuLoad()
    {
        QFETCH(Tree, tree);
        QFETCH(int, percent);

        SystemInfo::LinuxReader reader(makeTree(tree).toStdString());
        QCOMPARE(reader.gpuUsagePercent(), percent);
    }

    void memory_data()
    {
        QTest::addColumn<QByteArray>("meminfo");
        QTest::addColumn<quint64>("total");
        QTest::addColumn<quint64>("available");
        QTest::addColumn<int>("percent");

        QTest::newRow("with MemAvailable")
            << QByteArray(
                   "MemTotal:       16318360 kB\nMemFree:         1000000 kB\n"
                   "MemAvailable:    5439453 kB\nBuffers:          200000 kB\nCached:          3000000 kB\n")
            << quint64(16318360) * kKiB << quint64(5439453) * kKiB << 66;
        QTest::newRow("without it, free + buffers + cached")
            << QByteArray(
                   "MemTotal: 8000000 kB\nMemFree: 1000000 kB\nBuffers: 200000 kB\nCached: 1800000 kB\n")
            << quint64(8000000) * kKiB << quint64(3000000) * kKiB << 62;
        QTest::newRow("the first of a repeated line counts")
            << QByteArray("MemTotal: 1000 kB\nMemAvailable: 250 kB\nMemTotal: 5 kB\nSwapCached: 9 kB\n")
            << quint64(1000) * kKiB << quint64(250) * kKiB << 75;
        QTest::newRow("all free") << QByteArray("MemTotal: 1000 kB\nMemAvailable: 1000 kB")
                                  << quint64(1000) * kKiB << quint64(1000) * kKiB << 0;
        QTest::newRow("largest value that fits")
            << QByteArray("MemTotal: 18014398509481983 kB\nMemAvailable: 0 kB\n")
            << quint64(18014398509481983ULL) * kKiB << quint64(0) << 100;

        const auto none = [](const char *name, const char *text) {
            QTest::newRow(name) << QByteArray(text) << quint64(0) << quint64(0) << 0;
        };
        none("garbled", "MemTotal: lots kB\nMemAvailable: 10 kB\n");
        none("a garbled needed line", "MemTotal: 1000 kB\nMemAvailable: 1O kB\n");
        none("no unit", "MemTotal: 1000\nMemAvailable: 10\n");
        none("kB beyond 64-bit bytes", "MemTotal: 18014398509481984 kB\nMemAvailable: 10 kB\n");
        none("beyond 64 bits", "MemTotal: 99999999999999999999999 kB\nMemAvailable: 10 kB\n");
        none("fallback sum beyond 64 bits",
             "MemTotal: 18014398509481983 kB\nMemFree: 18014398509481983 kB\nBuffers: 18014398509481983 kB\n"
             "Cached: 0 kB\n");
        none("fallback incomplete", "MemTotal: 1000 kB\nMemFree: 10 kB\nCached: 10 kB\n");
        none("more available than total", "MemTotal: 1000 kB\nMemAvailable: 1001 kB\n");
        none("total 0", "MemTotal: 0 kB\nMemAvailable: 0 kB\n");
        none("no total", "MemAvailable: 10 kB\n");
        none("empty", "");
    }

    void memory()
    {
        QFETCH(QByteArray, meminfo);
        QFETCH(quint64, total);
        QFETCH(quint64, available);
        QFETCH(int, percent);

        SystemInfo::LinuxReader reader(makeTree({{QStringLiteral("proc/meminfo"), meminfo}}).toStdString());
        const SystemInfo::MemoryInfo info = reader.memoryUsage();
        QCOMPARE(info.totalBytes, total);
        QCOMPARE(info.availableBytes, available);
        QCOMPARE(info.usedBytes, total - available);
        QCOMPARE(info.usedPercent, percent);
    }

    void memoryWithoutTheFile()
    {
        SystemInfo::LinuxReader reader(makeTree({}).toStdString());
        const SystemInfo::MemoryInfo info = reader.memoryUsage();
        QCOMPARE(info.totalBytes, quint64(0));
        QCOMPARE(info.usedPercent, 0);
    }

    void gpuTemperature_data()
    {
        QTest::addColumn<int>("initResult");
        QTest::addColumn<unsigned>("count");
        QTest::addColumn<int>("temperatureResult");
        QTest::addColumn<int>("celsius");
        QTest::addColumn<int>("shutdowns");

        QTest::newRow("61 degrees") << 0 << 1u << 0 << 61 << 1;
        QTest::newRow("no device") << 0 << 0u << 0 << -1 << 1;
        QTest::newRow("the sensor fails") << 0 << 2u << 3 << -1 << 1;
        QTest::newRow("init fails") << 9 << 1u << 0 << -1 << 0;
    }

    void gpuTemperature()
    {
        QFETCH(int, initResult);
        QFETCH(unsigned, count);
        QFETCH(int, temperatureResult);
        QFETCH(int, celsius);
        QFETCH(int, shutdowns);

        // Held open here too, so the test and the reader share one instance.
        void *fake = dlopen(FAKE_NVML_PATH, RTLD_NOW | RTLD_LOCAL);
        QVERIFY2(fake, dlerror());
        const auto state = reinterpret_cast<FakeNvmlStateFn>(dlsym(fake, "fakeNvmlState"));
        QVERIFY(state);
        resetFake(state);

        {
            SystemInfo::LinuxReader reader({}, {"/nonexistent/libnvidia-ml.so.1", FAKE_NVML_PATH});
            QVERIFY(reader.loadNvml());
            QCOMPARE(state()->initCalls, 1);
            QCOMPARE(state()->shutdownCalls, 1);

            state()->initResult = initResult;
            state()->count = count;
            state()->temperatureResult = temperatureResult;
            QCOMPARE(reader.gpuTemperature(), celsius);
            QCOMPARE(state()->initCalls, 2);
            QCOMPARE(state()->shutdownCalls, 1 + shutdowns);
            if (count > 0 && initResult == 0) {
                QCOMPARE(state()->lastIndex, 0u);
                QCOMPARE(state()->lastSensor, 0);
            } else {
                QCOMPARE(state()->temperatureCalls, 0);
            }
        }
        dlclose(fake);
    }

    // A library that loads but does not initialise (no driver behind it) is
    // looked for again, but only once the retry interval has passed on the
    // reader's clock; until then every call answers at once.
    void nvmlInitFailingAtLoadIsRetriedAfterTheInterval()
    {
        void *fake = dlopen(FAKE_NVML_PATH, RTLD_NOW | RTLD_LOCAL);
        QVERIFY2(fake, dlerror());
        const auto state = reinterpret_cast<FakeNvmlStateFn>(dlsym(fake, "fakeNvmlState"));
        resetFake(state);

        {
            std::int64_t nowMs = 1000;
            SystemInfo::LinuxReader reader({}, {FAKE_NVML_PATH}, [&nowMs] { return nowMs; });
            state()->initResult = 1; // as with a library but no driver
            QCOMPARE(reader.gpuTemperature(), -1);
            QCOMPARE(state()->initCalls, 1);
            state()->initResult = 0; // the driver arrives
            nowMs += SystemInfo::LinuxReader::kNvmlRetryMs - 1;
            QVERIFY(!reader.loadNvml());
            QCOMPARE(reader.gpuTemperature(), -1);
            QCOMPARE(state()->initCalls, 1);
            QCOMPARE(state()->shutdownCalls, 0);

            nowMs += 1;
            QCOMPARE(reader.gpuTemperature(), 61);
            QCOMPARE(state()->initCalls, 3); // the load's check, then the read
            // Loaded: no clock rule applies to a library that works.
            nowMs += 1;
            QCOMPARE(reader.gpuTemperature(), 61);
        }
        dlclose(fake);
    }

    void nvmlMissingASymbolIsUnloadedAndLookedForAgainLater()
    {
        QVERIFY(!dlopen(FAKE_NVML_NOCLOCK_PATH, RTLD_NOW | RTLD_NOLOAD));
        std::int64_t nowMs = 0;
        SystemInfo::LinuxReader reader({}, {FAKE_NVML_NOCLOCK_PATH, FAKE_NVML_PATH},
                                       [&nowMs] { return nowMs; });

        const int loads = nvmlLoads();
        QVERIFY(!reader.loadNvml());
        QCOMPARE(nvmlLoads(), loads + 1);
        QVERIFY(!dlopen(FAKE_NVML_NOCLOCK_PATH, RTLD_NOW | RTLD_NOLOAD));

        // Every 500 ms tick of a minute: no second load.
        for (int tick = 0; tick < 119; ++tick) {
            nowMs += 500;
            QCOMPARE(reader.gpuTemperature(), -1);
        }
        QCOMPARE(nvmlLoads(), loads + 1);
        nowMs += 500;
        QCOMPARE(reader.gpuTemperature(), -1);
        QCOMPARE(nvmlLoads(), loads + 2);
        QVERIFY(!dlopen(FAKE_NVML_NOCLOCK_PATH, RTLD_NOW | RTLD_NOLOAD));
    }

    void nvmlNotOnTheList()
    {
        SystemInfo::LinuxReader reader({},
                                       {"/nonexistent/libnvidia-ml.so.1", "libquorlix-not-a-library.so", ""});
        QVERIFY(!reader.loadNvml());
        QCOMPARE(reader.gpuTemperature(), -1);
        QCOMPARE(reader.gpuTemperature(), -1);
    }

    // No fixture: whatever this machine has, each answer is in range or "no answer".
    void thisMachineAnswersInRange()
    {
        SystemInfo::LinuxReader reader;
        for (int round = 0; round < 2; ++round) {
            const int load = reader.cpuUsagePercent();
            QVERIFY2(load >= -1 && load <= 100, qPrintable(QString::number(load)));
            const int mhz = reader.cpuCurrentMhz();
            QVERIFY2(mhz >= 0 && mhz < 100000, qPrintable(QString::number(mhz)));
            const int cpuinfoMhz = reader.wmiProcessorFrequency();
            QVERIFY2(cpuinfoMhz == -1 || (cpuinfoMhz >= 0 && cpuinfoMhz < 100000),
                     qPrintable(QString::number(cpuinfoMhz)));
            const int gpu = reader.gpuUsagePercent();
            QVERIFY2(gpu >= -1 && gpu <= 100, qPrintable(QString::number(gpu)));
            const int celsius = reader.gpuTemperature();
            QVERIFY2(celsius >= -1 && celsius < 200, qPrintable(QString::number(celsius)));
            const SystemInfo::MemoryInfo memory = reader.memoryUsage();
            QVERIFY(memory.totalBytes > 0); // every Linux has /proc/meminfo
            QVERIFY(memory.availableBytes <= memory.totalBytes);
            QCOMPARE(memory.usedBytes, memory.totalBytes - memory.availableBytes);
            QVERIFY(memory.usedPercent >= 0 && memory.usedPercent <= 100);
        }
    }

    void aFakeReaderAnswersForTheProcess()
    {
        {
            FakeSystemInfo fake;
            fake.cpuPercent = 42;
            fake.cpuMhz = 3100;
            fake.gpuCelsius = 70;
            fake.memory.totalBytes = 8;
            QCOMPARE(SystemInfo::cpuUsagePercent(), 42);
            QCOMPARE(SystemInfo::cpuCurrentMhz(), 3100);
            QCOMPARE(SystemInfo::gpuUsagePercent(), -1);
            QCOMPARE(SystemInfo::gpuTemperature(), 70);
            QCOMPARE(SystemInfo::memoryUsage().totalBytes, quint64(8));
            QCOMPARE(fake.calls, 5);
        }
        // Gone again: the machine's own reader answers.
        QVERIFY(SystemInfo::memoryUsage().totalBytes > 8);
    }
};

QTEST_GUILESS_MAIN(TestSystemInfo)
#include "tst_systeminfo.moc"
