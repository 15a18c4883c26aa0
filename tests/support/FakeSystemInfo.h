#pragma once

#include "platform/SystemInfo.h"

// Hardware monitor answers a test sets by hand. While it lives it is the
// process-wide reader, so code calling SystemInfo::cpuUsagePercent() and the
// rest sees these fields; the previous reader comes back when it goes.
class FakeSystemInfo : public SystemInfo::Reader
{
public:
    FakeSystemInfo() : m_previous(SystemInfo::setReader(this)) {}
    ~FakeSystemInfo() override { SystemInfo::setReader(m_previous); }
    FakeSystemInfo(const FakeSystemInfo &) = delete;
    FakeSystemInfo &operator=(const FakeSystemInfo &) = delete;

    // Every field starts as "no answer".
    int cpuPercent = -1;
    int cpuMhz = 0;
    int wmiMhz = -1;
    int gpuPercent = -1;
    bool nvmlLoaded = false;
    int gpuCelsius = -1;
    SystemInfo::MemoryInfo memory;

    int calls = 0; // questions asked, of any kind

    int cpuUsagePercent() override { return ++calls, cpuPercent; }
    int cpuCurrentMhz() override { return ++calls, cpuMhz; }
    int wmiProcessorFrequency() override { return ++calls, wmiMhz; }
    int gpuUsagePercent() override { return ++calls, gpuPercent; }
    bool loadNvml() override { return ++calls, nvmlLoaded; }
    int gpuTemperature() override { return ++calls, gpuCelsius; }
    SystemInfo::MemoryInfo memoryUsage() override { return ++calls, memory; }

private:
    SystemInfo::Reader *m_previous;
};
