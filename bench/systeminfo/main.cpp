// Hardware monitor benchmark: each reader of the card alone and all five as
// one 500 ms tick, against the least a card could do (read /proc/stat and
// /proc/meminfo and pull the numbers out with sscanf/strtoull). Samples of
// every case are interleaved so all of them see the same machine load.
//
//   quorlix_bench_systeminfo [samples]      (default 1000)
//
// Runs on this machine's own files, then on a generated 128-CPU tree (with
// cpufreq, and without it so the clock falls back to /proc/cpuinfo).

#include "bench/support/SampledCases.h"
#include "platform/SystemInfo.h"

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using BenchCases::Case;

volatile long long g_sink;

// The bare loop: whole file into a stack buffer, then the two numbers a card needs.
std::size_t slurp(const std::string &path, char *buf, std::size_t cap)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    std::size_t used = 0;
    ssize_t n;
    while (used + 1 < cap && (n = read(fd, buf + used, cap - 1 - used)) > 0)
        used += std::size_t(n);
    close(fd);
    buf[used] = '\0';
    return used;
}

void bareReadAndParse(const std::string &root)
{
    static char buf[1 << 20];
    unsigned long long f[8] = {};
    slurp(root + "/proc/stat", buf, sizeof buf);
    std::sscanf(buf, "cpu %llu %llu %llu %llu %llu %llu %llu %llu", &f[0], &f[1], &f[2], &f[3], &f[4], &f[5],
                &f[6], &f[7]);
    slurp(root + "/proc/meminfo", buf, sizeof buf);
    const char *total = std::strstr(buf, "MemTotal:");
    const char *avail = std::strstr(buf, "MemAvailable:");
    g_sink = f[0] + f[3] + (total ? std::strtoll(total + 9, nullptr, 10) : 0) +
             (avail ? std::strtoll(avail + 13, nullptr, 10) : 0);
}

void measure(const char *title, std::vector<Case> &cases, int samples)
{
    BenchCases::sample(cases, samples);
    std::printf("\n%s (%d samples, %u cores)\n\n", title, samples, std::thread::hardware_concurrency());
    BenchCases::printTable(cases, "median ratio to bare read");
}

std::vector<Case> casesFor(const std::string &root, SystemInfo::LinuxReader &reader)
{
    return {
        {"bare read + parse of /proc/stat and /proc/meminfo", [root] { bareReadAndParse(root); }, {}},
        {"`cpuUsagePercent`", [&reader] { g_sink = reader.cpuUsagePercent(); }, {}},
        {"`cpuCurrentMhz`", [&reader] { g_sink = reader.cpuCurrentMhz(); }, {}},
        {"`gpuUsagePercent`", [&reader] { g_sink = reader.gpuUsagePercent(); }, {}},
        {"`gpuTemperature`", [&reader] { g_sink = reader.gpuTemperature(); }, {}},
        {"`memoryUsage`", [&reader] { g_sink = reader.memoryUsage().usedPercent; }, {}},
        {"all five (one card tick)",
         [&reader] {
             g_sink = reader.cpuUsagePercent() + reader.cpuCurrentMhz() + reader.gpuUsagePercent() +
                      reader.gpuTemperature() + reader.memoryUsage().usedPercent;
         },
         {}},
    };
}

void writeFile(const fs::path &path, const std::string &text)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// A machine with `cpus` processors, shaped like a real one: per-CPU stat
// lines and a long interrupt line, full cpuinfo blocks, one GPU.
void makeTree(const fs::path &root, int cpus, bool cpufreq)
{
    std::string stat = "cpu  81237612 1234 9123712 912371237 123123 0 912371 0 0 0\n";
    for (int i = 0; i < cpus; ++i)
        stat += "cpu" + std::to_string(i) + " 634672 9 71279 7127900 961 0 7127 0 0 0\n";
    stat += "intr 912837123";
    for (int i = 0; i < 1200; ++i)
        stat += " " + std::to_string(i % 7 ? 0 : 12345 + i);
    stat += "\nctxt 9812379812\nbtime 1765300000\nprocesses 912371\nprocs_running 3\nprocs_blocked 0\n";
    writeFile(root / "proc/stat", stat);

    std::ifstream meminfo("/proc/meminfo");
    writeFile(root / "proc/meminfo", std::string(std::istreambuf_iterator<char>(meminfo), {}));

    std::string cpuinfo;
    for (int i = 0; i < cpus; ++i) {
        cpuinfo +=
            "processor\t: " + std::to_string(i) +
            "\nvendor_id\t: GenuineIntel\ncpu family\t: 6\nmodel\t\t: 143\n"
            "model name\t: Intel(R) Xeon(R) Platinum 8480+\nstepping\t: 8\n"
            "cpu MHz\t\t: " +
            std::to_string(2000 + i % 9) +
            ".123\ncache size\t: 107520 KB\nphysical id\t: 0\nsiblings\t: 128\n"
            "flags\t\t: fpu vme de pse tsc msr pae mce cx8 apic sep mtrr pge mca cmov pat pse36 clflush "
            "dts acpi mmx fxsr sse sse2 ss ht tm pbe syscall nx pdpe1gb rdtscp lm constant_tsc art "
            "arch_perfmon pebs bts rep_good nopl xtopology nonstop_tsc cpuid aperfmperf tsc_known_freq "
            "pni pclmulqdq dtes64 monitor ds_cpl vmx smx est tm2 ssse3 sdbg fma cx16 xtpr pdcm pcid "
            "dca sse4_1 sse4_2 x2apic movbe popcnt tsc_deadline_timer aes xsave avx f16c rdrand\n"
            "bogomips\t: 4000.00\naddress sizes\t: 46 bits physical, 57 bits virtual\n\n";
        if (cpufreq) {
            const fs::path dir = root / ("sys/devices/system/cpu/cpu" + std::to_string(i)) / "cpufreq";
            writeFile(dir / "base_frequency", "2000000\n");
            writeFile(dir / "cpuinfo_max_freq", "3800000\n");
            writeFile(dir / "scaling_cur_freq", std::to_string(1800000 + 1000 * i) + "\n");
        } else {
            writeFile(root / ("sys/devices/system/cpu/cpu" + std::to_string(i)) / "online", "1\n");
        }
    }
    writeFile(root / "proc/cpuinfo", cpuinfo);
    writeFile(root / "sys/class/drm/card0/device/gpu_busy_percent", "37\n");
    fs::create_directories(root / "sys/class/drm/card0-DP-1");
    fs::create_directories(root / "sys/class/drm/renderD128");
}

} // namespace

int main(int argc, char **argv)
{
    const int samples = argc > 1 ? std::max(10, std::atoi(argv[1])) : 1000;

    {
        SystemInfo::LinuxReader reader("/");
        std::vector<Case> cases = casesFor("", reader);
        measure("This machine's own files", cases, samples);
    }

    const char *tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/quorlix-bench-systeminfo-XXXXXX";
    if (!mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path base(pattern);
    for (const bool cpufreq : {true, false}) {
        const fs::path root = base / (cpufreq ? "cpufreq" : "nocpufreq");
        makeTree(root, 128, cpufreq);
        SystemInfo::LinuxReader reader(root.string());
        std::vector<Case> cases = casesFor(root.string(), reader);
        measure(cpufreq ? "128-CPU tree with cpufreq"
                        : "128-CPU tree without cpufreq (clock from /proc/cpuinfo)",
                cases, samples);
    }
    fs::remove_all(base);
    return 0;
}
