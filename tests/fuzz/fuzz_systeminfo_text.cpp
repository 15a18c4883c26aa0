// fuzz-sources: platform/SystemInfoText.cpp
//
// The hardware monitor's /proc and /sys parsers on hostile file contents,
// with the arithmetic that follows them (load share, clock scaling). UBSan
// traps any overflow or out-of-range conversion on the way.

#include "platform/SystemInfoText.h"

#include <stdlib.h>
#include <string.h>

using namespace SystemInfoText;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char *>(data), size);

    // Two /proc/stat readings: the text cut in two at a point the input picks.
    const size_t cut = size ? data[0] % (size + 1) : 0;
    CpuTimes before, after;
    const bool haveBefore = parseCpuTimes(text.substr(0, cut), before);
    const bool haveAfter = parseCpuTimes(text.substr(cut), after);
    if (haveBefore && before.busy > before.total)
        abort();
    if (haveBefore) {
        const int boot = cpuShareSinceBoot(before);
        if (boot < -1 || boot > 100)
            abort();
    }
    if (haveBefore && haveAfter) {
        const int share = cpuShare(before, after);
        if (share < -1 || share > 100)
            abort();
    }

    Memory memory;
    if (parseMeminfo(text, memory) && (memory.totalBytes == 0 || memory.availableBytes > memory.totalBytes))
        abort();

    const int mhz = parseCpuinfoMhz(text);
    if (mhz < -1 || mhz > 10'000'000)
        abort();

    std::uint64_t khz = 0;
    if (parseUnsigned(text, kMaxKhz, khz) && khz > kMaxKhz)
        abort();
    std::int64_t busy = 0;
    if (parseSigned(text, busy) && (busy < -1'000'000'000 || busy > 1'000'000'000))
        abort();

    // Any double, even NaN or infinite, against any nominal clock.
    if (size >= sizeof(double) + sizeof(int)) {
        double mean;
        int nominal;
        memcpy(&mean, data, sizeof mean);
        memcpy(&nominal, data + sizeof mean, sizeof nominal);
        const int clock = scaleClock(mean, nominal);
        if (clock < 0 || (nominal > 0 && clock > nominal * 2.5 + 1))
            abort();
    }
    return 0;
}
