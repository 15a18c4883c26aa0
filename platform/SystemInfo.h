#pragma once

#include "platform/SystemInfoText.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Live load and clock figures for the hardware card. Every operation answers
// with a plain number, or with its "no answer" value when this machine lacks
// the file, driver or library behind it; none of them fails otherwise.
//
// The free functions ask the process-wide reader: this machine's, unless a
// test has set another with setReader(). They, and the state the machine's
// reader keeps between calls, belong to the GUI thread.
namespace SystemInfo {

struct MemoryInfo
{
    std::uint64_t totalBytes = 0;
    std::uint64_t availableBytes = 0;
    std::uint64_t usedBytes = 0;
    std::int32_t usedPercent = 0;
};

// The seven questions, so that the card can be driven by a fake in tests.
class Reader
{
public:
    virtual ~Reader() = default;
    virtual int cpuUsagePercent() = 0;       // 0..100, -1 for no answer
    virtual int cpuCurrentMhz() = 0;         // MHz, 0 or less for no answer
    virtual int wmiProcessorFrequency() = 0; // MHz, -1 for no answer
    virtual int gpuUsagePercent() = 0;       // 0..100, -1 for no answer
    virtual bool loadNvml() = 0;             // false while the GPU library is unusable
    virtual int gpuTemperature() = 0;        // degrees Celsius, -1 for no answer
    virtual MemoryInfo memoryUsage() = 0;    // all 0 for no answer
};

// Reads the kernel's files below `root` ("/" for this machine; tests point it
// at fixture trees) and NVIDIA's management library, opened at run time from
// the first of `nvmlLibraries` that loads and never linked. A library that
// would not load (or not initialise) is looked for again once
// kNvmlRetryMs have passed on `monotonicMs` (a steady clock unless given),
// not on every tick: each attempt maps and unmaps the loader's cache.
class LinuxReader : public Reader
{
public:
    static constexpr std::int64_t kNvmlRetryMs = 60000;

    explicit LinuxReader(std::string root = "/",
                         std::vector<std::string> nvmlLibraries = defaultNvmlLibraries(),
                         std::function<std::int64_t()> monotonicMs = {});
    ~LinuxReader() override;
    LinuxReader(const LinuxReader &) = delete;
    LinuxReader &operator=(const LinuxReader &) = delete;

    static std::vector<std::string> defaultNvmlLibraries();

    // Load since the previous call; the first call answers with the load
    // since boot so the card has a figure at once.
    int cpuUsagePercent() override;
    // Mean cpufreq clock, capped at 2.5 times the nominal clock; without it
    // the mean /proc/cpuinfo clock, else the nominal clock.
    int cpuCurrentMhz() override;
    // Mean of the "cpu MHz" lines of /proc/cpuinfo.
    int wmiProcessorFrequency() override;
    // Sum of the DRM cards' busy percentages, capped at 100.
    int gpuUsagePercent() override;
    // True while the library is loaded and usable; a failed attempt is
    // repeated only after kNvmlRetryMs.
    bool loadNvml() override;
    // Sensor 0 of device 0; the library is initialised and shut down around
    // every read.
    int gpuTemperature() override;
    MemoryInfo memoryUsage() override;

private:
    enum class Read { Missing, Unreadable, Ok };
    Read readFile(const std::string &path, std::size_t cap);
    Read readFileAt(int dirFd, const char *path, std::size_t cap);
    int readNominalMhz();
    bool meanCurrentKhz(double &mean);
    void unloadNvml();

    struct Nvml
    {
        void *module = nullptr;
        int (*init)() = nullptr;
        int (*shutdown)() = nullptr;
        int (*deviceCount)(unsigned *) = nullptr;
        int (*deviceHandle)(unsigned, void **) = nullptr;
        int (*deviceName)(void *, char *, unsigned) = nullptr;
        int (*clockInfo)(void *, int, unsigned *) = nullptr;
        int (*temperature)(void *, int, unsigned *) = nullptr;
        bool complete() const;
    };

    std::string m_root;
    std::vector<std::string> m_nvmlLibraries;
    std::string m_buffer;    // reused by every read, so a tick allocates nothing
    std::string_view m_text; // what the last readFile() got, inside m_buffer

    bool m_haveBaseline = false;
    SystemInfoText::CpuTimes m_baseline;

    bool m_clockInitialised = false;
    int m_nominalMhz = 0;
    int m_cpuDirFd = -1;
    std::vector<std::string> m_curFreqPaths; // one per CPU folder, found once, relative to m_cpuDirFd

    Nvml m_nvml;
    std::function<std::int64_t()> m_monotonicMs;
    bool m_nvmlFailed = false;
    std::int64_t m_nvmlFailedAtMs = 0;
};

int cpuUsagePercent();
int cpuCurrentMhz();
int wmiProcessorFrequency();
int gpuUsagePercent();
bool loadNvml();
int gpuTemperature();
MemoryInfo memoryUsage();

// Makes `reader` (not owned) the process-wide one and returns the previous
// one; nullptr goes back to this machine's reader.
Reader *setReader(Reader *reader);

} // namespace SystemInfo
