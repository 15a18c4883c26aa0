#include "platform/SystemInfo.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <utility>

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

namespace SystemInfo {
namespace {

using namespace SystemInfoText;

// Read limits: far above what the files hold on any real machine (a
// 1,024-CPU /proc/cpuinfo is about 2.5 MB), low enough that a hostile tree
// cannot make a tick read without end.
constexpr std::size_t kStatCap = 1 << 20;
constexpr std::size_t kMeminfoCap = 1 << 20;
constexpr std::size_t kCpuinfoCap = 16 << 20;
constexpr std::size_t kSysfsCap = 256;

// The numbers N of the entries named `prefix`N in `dir`, ascending.
std::vector<unsigned> numberedEntries(const std::string &dir, std::string_view prefix)
{
    std::vector<unsigned> numbers;
    DIR *d = opendir(dir.c_str());
    if (!d)
        return numbers;
    while (const dirent *e = readdir(d)) {
        const std::string_view name(e->d_name);
        if (name.size() <= prefix.size() || name.substr(0, prefix.size()) != prefix)
            continue;
        std::uint64_t n = 0;
        if (parseUnsigned(name.substr(prefix.size()), UINT_MAX, n) &&
            name.find_first_of(" \t\r\n", prefix.size()) == std::string_view::npos)
            numbers.push_back(unsigned(n));
    }
    closedir(d);
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

template <typename Fn> void resolve(void *module, const char *name, Fn &fn)
{
    fn = reinterpret_cast<Fn>(dlsym(module, name));
}

Reader *g_reader = nullptr;

Reader &current()
{
    if (!g_reader) {
        // Like the system handles it holds, the machine's reader lives until
        // the process ends.
        static LinuxReader *machine = new LinuxReader();
        g_reader = machine;
    }
    return *g_reader;
}

} // namespace

LinuxReader::LinuxReader(std::string root, std::vector<std::string> nvmlLibraries,
                         std::function<std::int64_t()> monotonicMs)
    : m_root(std::move(root)), m_nvmlLibraries(std::move(nvmlLibraries)),
      m_monotonicMs(std::move(monotonicMs))
{
    if (!m_monotonicMs) {
        m_monotonicMs = [] {
            return std::int64_t(std::chrono::duration_cast<std::chrono::milliseconds>(
                                    std::chrono::steady_clock::now().time_since_epoch())
                                    .count());
        };
    }
    while (!m_root.empty() && m_root.back() == '/')
        m_root.pop_back();
}

LinuxReader::~LinuxReader()
{
    if (m_cpuDirFd >= 0)
        close(m_cpuDirFd);
    unloadNvml();
}

std::vector<std::string> LinuxReader::defaultNvmlLibraries()
{
    return {"libnvidia-ml.so.1", "libnvidia-ml.so"};
}

LinuxReader::Read LinuxReader::readFile(const std::string &path, std::size_t cap)
{
    return readFileAt(AT_FDCWD, path.c_str(), cap);
}

LinuxReader::Read LinuxReader::readFileAt(int dirFd, const char *path, std::size_t cap)
{
    m_text = {};
    // Non-blocking so that a FIFO planted where a file belongs cannot stall
    // the GUI thread; files under /proc and /sys read the same either way.
    const int fd = openat(dirFd, path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return errno == ENOENT || errno == ENOTDIR ? Read::Missing : Read::Unreadable;
    std::size_t used = 0;
    bool cut = false;
    for (;;) {
        const std::size_t room = std::min(cap, m_buffer.size());
        if (used == room) {
            if (used >= cap) {
                // Keep only whole lines: a number cut in two must not be read.
                char probe;
                cut = read(fd, &probe, 1) > 0;
                break;
            }
            // The buffer only grows, so a steady tick reuses it as it is.
            m_buffer.resize(std::min(cap, std::max<std::size_t>(4096, m_buffer.size() * 2)));
            continue;
        }
        const ssize_t n = read(fd, &m_buffer[used], room - used);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            close(fd);
            return Read::Unreadable;
        }
        if (n == 0)
            break;
        used += std::size_t(n);
    }
    close(fd);
    if (cut) {
        const std::size_t nl = std::string_view(m_buffer.data(), used).rfind('\n');
        used = nl == std::string_view::npos ? 0 : nl + 1;
    }
    m_text = std::string_view(m_buffer.data(), used);
    return Read::Ok;
}

int LinuxReader::cpuUsagePercent()
{
    CpuTimes now;
    if (readFile(m_root + "/proc/stat", kStatCap) != Read::Ok || !parseCpuTimes(m_text, now))
        return -1;
    const bool first = !m_haveBaseline;
    const CpuTimes before = m_baseline;
    // After counters went back the new figures are the only sane baseline.
    m_baseline = now;
    m_haveBaseline = true;
    return first ? cpuShareSinceBoot(now) : cpuShare(before, now);
}

int LinuxReader::readNominalMhz()
{
    const std::string cpuDir = m_root + "/sys/devices/system/cpu";
    // With one CPU folder per processor, a tick opens as many files; opening
    // them relative to the folder spares the kernel most of each path walk.
    m_cpuDirFd = open(cpuDir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (m_cpuDirFd < 0)
        return 0;
    for (const unsigned cpu : numberedEntries(cpuDir, "cpu"))
        m_curFreqPaths.push_back("cpu" + std::to_string(cpu) + "/cpufreq/scaling_cur_freq");
    // The nominal clock is the first CPU's that reports one, as the
    // processor's own rated clock is read once for CPU 0.
    for (const std::string &curPath : m_curFreqPaths) {
        const std::string freqDir = curPath.substr(0, curPath.size() - std::strlen("scaling_cur_freq"));
        for (const char *name : {"base_frequency", "cpuinfo_max_freq"}) {
            std::uint64_t khz = 0;
            if (readFileAt(m_cpuDirFd, (freqDir + name).c_str(), kSysfsCap) == Read::Ok &&
                parseUnsigned(m_text, kMaxKhz, khz) && khz >= 500)
                return int((khz + 500) / 1000);
        }
    }
    return 0;
}

bool LinuxReader::meanCurrentKhz(double &mean)
{
    double sum = 0;
    unsigned count = 0;
    for (const std::string &path : m_curFreqPaths) {
        std::uint64_t khz = 0;
        if (readFileAt(m_cpuDirFd, path.c_str(), kSysfsCap) == Read::Ok &&
            parseUnsigned(m_text, kMaxKhz, khz)) {
            sum += double(khz);
            ++count;
        }
    }
    if (count == 0)
        return false;
    mean = sum / count;
    return true;
}

int LinuxReader::cpuCurrentMhz()
{
    if (!m_clockInitialised) {
        m_clockInitialised = true;
        m_nominalMhz = readNominalMhz();
    }
    double mean = 0;
    if (m_nominalMhz > 0 && meanCurrentKhz(mean))
        return scaleClock(mean, m_nominalMhz);
    const int fallback = LinuxReader::wmiProcessorFrequency();
    return fallback > 0 ? fallback : m_nominalMhz;
}

int LinuxReader::wmiProcessorFrequency()
{
    if (readFile(m_root + "/proc/cpuinfo", kCpuinfoCap) != Read::Ok)
        return -1;
    return parseCpuinfoMhz(m_text);
}

int LinuxReader::gpuUsagePercent()
{
    const std::string drmDir = m_root + "/sys/class/drm";
    bool present = false;
    std::int64_t sum = 0;
    for (const unsigned card : numberedEntries(drmDir, "card")) {
        const Read r =
            readFile(drmDir + "/card" + std::to_string(card) + "/device/gpu_busy_percent", kSysfsCap);
        if (r == Read::Missing)
            continue;
        present = true;
        std::int64_t busy = 0;
        if (r == Read::Ok && parseSigned(m_text, busy))
            sum += std::clamp<std::int64_t>(busy, 0, 100);
    }
    if (!present)
        return -1;
    return int(std::min<std::int64_t>(sum, 100));
}

bool LinuxReader::Nvml::complete() const
{
    return module && init && shutdown && deviceCount && deviceHandle && deviceName && clockInfo &&
           temperature;
}

void LinuxReader::unloadNvml()
{
    if (m_nvml.module)
        dlclose(m_nvml.module);
    m_nvml = Nvml();
}

bool LinuxReader::loadNvml()
{
    if (m_nvml.module)
        return m_nvml.complete();
    const std::int64_t now = m_monotonicMs();
    if (m_nvmlFailed && now - m_nvmlFailedAtMs < kNvmlRetryMs)
        return false;
    m_nvmlFailed = true;
    m_nvmlFailedAtMs = now;

    for (const std::string &name : m_nvmlLibraries) {
        if (name.empty()) // dlopen would hand back the program itself
            continue;
        m_nvml.module = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (m_nvml.module)
            break;
    }
    if (!m_nvml.module)
        return false;

    resolve(m_nvml.module, "nvmlInit_v2", m_nvml.init);
    resolve(m_nvml.module, "nvmlShutdown", m_nvml.shutdown);
    resolve(m_nvml.module, "nvmlDeviceGetCount", m_nvml.deviceCount);
    resolve(m_nvml.module, "nvmlDeviceGetHandleByIndex", m_nvml.deviceHandle);
    resolve(m_nvml.module, "nvmlDeviceGetName", m_nvml.deviceName);
    resolve(m_nvml.module, "nvmlDeviceGetClockInfo", m_nvml.clockInfo);
    resolve(m_nvml.module, "nvmlDeviceGetTemperature", m_nvml.temperature);
    if (m_nvml.complete() && m_nvml.init() == 0) {
        m_nvml.shutdown();
        m_nvmlFailed = false;
        return true;
    }
    // A library without a driver behind it may work once the driver is
    // installed, so a later call looks again from the start.
    unloadNvml();
    return false;
}

int LinuxReader::gpuTemperature()
{
    if (!loadNvml())
        return -1;
    if (m_nvml.init() != 0)
        return -1;
    int result = -1;
    unsigned count = 0;
    if (m_nvml.deviceCount(&count) == 0 && count > 0) {
        void *device = nullptr;
        unsigned celsius = 0;
        constexpr int kGpuDieSensor = 0;
        if (m_nvml.deviceHandle(0, &device) == 0 &&
            m_nvml.temperature(device, kGpuDieSensor, &celsius) == 0 && celsius <= unsigned(INT_MAX))
            result = int(celsius);
    }
    m_nvml.shutdown();
    return result;
}

MemoryInfo LinuxReader::memoryUsage()
{
    MemoryInfo info;
    Memory memory;
    if (readFile(m_root + "/proc/meminfo", kMeminfoCap) != Read::Ok || !parseMeminfo(m_text, memory))
        return info;
    info.totalBytes = memory.totalBytes;
    info.availableBytes = memory.availableBytes;
    info.usedBytes = memory.totalBytes - memory.availableBytes;
    info.usedPercent = std::int32_t(double(info.usedBytes) * 100.0 / double(info.totalBytes));
    return info;
}

int cpuUsagePercent()
{
    return current().cpuUsagePercent();
}

int cpuCurrentMhz()
{
    return current().cpuCurrentMhz();
}

int wmiProcessorFrequency()
{
    return current().wmiProcessorFrequency();
}

int gpuUsagePercent()
{
    return current().gpuUsagePercent();
}

bool loadNvml()
{
    return current().loadNvml();
}

int gpuTemperature()
{
    return current().gpuTemperature();
}

MemoryInfo memoryUsage()
{
    return current().memoryUsage();
}

Reader *setReader(Reader *reader)
{
    Reader *previous = g_reader;
    g_reader = reader;
    return previous;
}

} // namespace SystemInfo
