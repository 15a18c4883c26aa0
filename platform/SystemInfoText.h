#pragma once

#include <cstdint>
#include <string_view>

// Pure parsers for the kernel's text files behind the hardware monitor. They
// take whatever bytes a file held (possibly cut, garbled or hostile) and never
// read outside them; every number is range-checked before arithmetic.
namespace SystemInfoText {

// The aggregate line of /proc/stat, reduced to what the load needs.
struct CpuTimes
{
    std::uint64_t total = 0; // user + nice + system + idle + iowait + irq + softirq + steal
    std::uint64_t busy = 0;  // total - idle - iowait
};

// The first line of `text` that starts with "cpu" and a blank. Needs the eight
// fields user..steal (guest and guest_nice are already inside user and nice).
bool parseCpuTimes(std::string_view text, CpuTimes &out);

// Rounded busy share, in percent, of the change from `before` to `after`;
// -1 when nothing changed or a counter went back.
int cpuShare(const CpuTimes &before, const CpuTimes &after);

// Busy share since boot, for the first reading; -1 when the counters are 0.
int cpuShareSinceBoot(const CpuTimes &now);

struct Memory
{
    std::uint64_t totalBytes = 0;
    std::uint64_t availableBytes = 0;
};

// MemTotal and MemAvailable of /proc/meminfo (values in kB), or MemFree +
// Buffers + Cached on kernels without MemAvailable. False when a needed line
// is missing or garbled, a value does not fit in bytes, the total is 0 or
// the available memory exceeds it.
bool parseMeminfo(std::string_view text, Memory &out);

// Mean of the "cpu MHz" lines of /proc/cpuinfo, rounded; -1 when none is usable.
int parseCpuinfoMhz(std::string_view text);

// A sysfs file holding one unsigned decimal number (blanks around it allowed).
// Values above `limit` are refused.
bool parseUnsigned(std::string_view text, std::uint64_t limit, std::uint64_t &out);

// A sysfs file holding one signed decimal number, saturated to -1e9..1e9.
bool parseSigned(std::string_view text, std::int64_t &out);

// The clock in MHz from the mean current frequency (kHz) and the nominal clock
// (MHz, above 0): the performance share is clamped to 0..250 % so the result
// never exceeds 2.5 times the nominal clock; halves round away from 0.
int scaleClock(double meanCurrentKhz, int nominalMhz);

// The clock limit accepted from cpufreq files, in kHz (100 GHz): anything
// above is garbage and would overflow the MHz arithmetic.
constexpr std::uint64_t kMaxKhz = 100'000'000;

} // namespace SystemInfoText
