#pragma once
// Timing helpers for the benchmarks that time by hand. Cases measured side by side: every sample runs each
// case once in turn, so a load change on the machine hits all of them alike. The first case is the baseline
// the others are compared with.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

namespace BenchCases {

struct Case
{
    const char *name;
    std::function<void()> run;
    std::vector<double> micros;
};

inline double percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    const std::size_t i = std::min(v.size() - 1, std::size_t(p * double(v.size() - 1) + 0.5));
    return v[i];
}

// The middle of a set of timings (the mean of the two middle ones for an even
// count); 0 for none.
inline double median(std::vector<double> values)
{
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Twenty warm-up rounds, then `samples` timed rounds; `afterEach` (may be
// empty) runs untimed after every case, e.g. to let an event loop settle.
inline void sample(std::vector<Case> &cases, int samples, const std::function<void()> &afterEach = {})
{
    using Clock = std::chrono::steady_clock;
    for (int warm = 0; warm < 20; ++warm) {
        for (Case &c : cases)
            c.run();
        if (afterEach)
            afterEach();
    }
    for (int s = 0; s < samples; ++s) {
        for (Case &c : cases) {
            const auto t0 = Clock::now();
            c.run();
            const auto t1 = Clock::now();
            c.micros.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
            if (afterEach)
                afterEach();
        }
    }
}

// A Markdown table: median, p99 and the median's ratio to the first case.
inline void printTable(const std::vector<Case> &cases, const char *ratioHeading)
{
    const double base = percentile(cases.front().micros, 0.5);
    std::printf("| case | median | p99 | %s |\n|---|---|---|---|\n", ratioHeading);
    for (const Case &c : cases)
        std::printf("| %s | %.1f µs | %.1f µs | %.2f |\n", c.name, percentile(c.micros, 0.5),
                    percentile(c.micros, 0.99), percentile(c.micros, 0.5) / base);
}

} // namespace BenchCases
