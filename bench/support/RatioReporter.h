#pragma once
// A console reporter for Google Benchmark that also prints each figure's ratio
// to its baseline from the same run (median real time when repeated).

#include <benchmark/benchmark.h>

#include <cstdio>
#include <functional>
#include <map>
#include <string>

class RatioReporter : public benchmark::ConsoleReporter
{
public:
    // baselineOf gives the baseline's function name for a figure's, or "" for
    // a function that is itself a baseline (or has none).
    RatioReporter(std::string heading, std::function<std::string(const std::string &name)> baselineOf)
        : m_heading(std::move(heading)), m_baselineOf(std::move(baselineOf))
    {}

    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs) {
            if (run.error_occurred || run.iterations == 0)
                continue;
            // With repetitions, only the median counts.
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median")
                continue;
            m_times[run.run_name.function_name] = run.GetAdjustedRealTime();
        }
    }

    void Finalize() override
    {
        ConsoleReporter::Finalize();
        std::printf("\n%s\n", m_heading.c_str());
        for (const auto &entry : m_times) {
            const std::string baseline = m_baselineOf(entry.first);
            const auto base = baseline.empty() ? m_times.end() : m_times.find(baseline);
            if (base == m_times.end() || base->second <= 0)
                continue;
            // Names are "BM_<figure>".
            const char *name = entry.first.c_str() + (entry.first.rfind("BM_", 0) == 0 ? 3 : 0);
            std::printf("  %-28s %10.3f ms  baseline %10.3f ms  ratio %.2f\n", name, entry.second,
                        base->second, entry.second / base->second);
        }
    }

private:
    std::string m_heading;
    std::function<std::string(const std::string &)> m_baselineOf;
    std::map<std::string, double> m_times;
};
