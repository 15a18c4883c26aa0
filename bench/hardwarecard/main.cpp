// Hardware card benchmark: one tick of the card (HardwareCard::
// refreshHardwareCard with the Linux readers: five readings, then the labels,
// gauges and badges set and laid out again) against the five readers alone,
// and the tick with fixed readings (the card's own work without the reads).
// Samples of the three cases are interleaved so all see the same load; the
// card is shown, and the repaints its tick asks for run between samples,
// outside the timed part.
//
//   quorlix_bench_hardwarecard [samples]      (default 1000)

#include "bench/support/SampledCases.h"
#include "platform/SystemInfo.h"
#include "ui/pages/home/HardwareCard.h"

#include <QApplication>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <thread>
#include <vector>

namespace {

using BenchCases::Case;

volatile long long g_sink;

// Fixed answers, as a machine with every counter readable would give them.
class FixedReadings : public SystemInfo::Reader
{
public:
    int cpuUsagePercent() override { return 37; }
    int cpuCurrentMhz() override { return 2400; }
    int wmiProcessorFrequency() override { return -1; }
    int gpuUsagePercent() override { return 58; }
    bool loadNvml() override { return false; }
    int gpuTemperature() override { return 61; }
    SystemInfo::MemoryInfo memoryUsage() override
    {
        return SystemInfo::MemoryInfo{16ull << 30, 11ull << 30, 5ull << 30, 31};
    }
};

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int samples = argc > 1 ? std::max(10, std::atoi(argv[1])) : 1000;

    SystemInfo::LinuxReader readers("/");
    FixedReadings fixed;
    const int hour = 3600 * 1000; // the cards' own timers stay out of the way
    QWidget frame;
    frame.resize(1300, 400);
    auto *liveCard = new QWidget(&frame);
    liveCard->setGeometry(0, 0, 641, 382);
    auto *fixedCard = new QWidget(&frame);
    fixedCard->setGeometry(650, 0, 641, 382);
    HardwareCard live(liveCard, QStringLiteral("Inter"), &readers, hour, nullptr);
    HardwareCard still(fixedCard, QStringLiteral("Inter"), &fixed, hour, nullptr);
    frame.show();
    QCoreApplication::processEvents();

    std::vector<Case> cases = {
        {"the five readers alone",
         [&readers] {
             g_sink = readers.cpuUsagePercent() + readers.cpuCurrentMhz() + readers.gpuUsagePercent() +
                      readers.gpuTemperature() + readers.memoryUsage().usedPercent;
         },
         {}},
        {"card tick (`refreshHardwareCard`, Linux readers)", [&live] { live.refreshHardwareCard(); }, {}},
        {"card tick with fixed readings (labels and layout only)",
         [&still] { still.refreshHardwareCard(); },
         {}},
    };

    BenchCases::sample(cases, samples, [] { QCoreApplication::processEvents(); });
    std::printf("Hardware card tick (%d samples, %u cores, QPA %s)\n\n", samples,
                std::thread::hardware_concurrency(), qPrintable(QGuiApplication::platformName()));
    BenchCases::printTable(cases, "ratio (median)");
    return 0;
}
