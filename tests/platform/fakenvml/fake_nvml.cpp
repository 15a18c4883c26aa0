// A stand-in for NVIDIA's management library: the seven entry points the
// hardware monitor resolves, plus fakeNvmlState() for the test to steer them.
// Built a second time with FAKE_NVML_NO_CLOCK, which leaves one entry point
// out.

#include "FakeNvml.h"

#include <cstdio>
#include <cstdlib>

namespace {
FakeNvmlState g_state;

__attribute__((constructor)) void countLoad()
{
    const char *loads = std::getenv(FAKE_NVML_LOADS_ENV);
    char text[16];
    std::snprintf(text, sizeof text, "%d", (loads ? std::atoi(loads) : 0) + 1);
    setenv(FAKE_NVML_LOADS_ENV, text, 1);
}

// The real library's handles are opaque pointers; any stable address will do.
int g_device;
} // namespace

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

FAKE_EXPORT FakeNvmlState *fakeNvmlState()
{
    return &g_state;
}

FAKE_EXPORT int nvmlInit_v2()
{
    ++g_state.initCalls;
    return g_state.initResult;
}

FAKE_EXPORT int nvmlShutdown()
{
    ++g_state.shutdownCalls;
    return 0;
}

FAKE_EXPORT int nvmlDeviceGetCount(unsigned *count)
{
    *count = g_state.count;
    return g_state.countResult;
}

FAKE_EXPORT int nvmlDeviceGetHandleByIndex(unsigned index, void **device)
{
    g_state.lastIndex = index;
    *device = &g_device;
    return g_state.handleResult;
}

FAKE_EXPORT int nvmlDeviceGetName(void *, char *name, unsigned length)
{
    std::snprintf(name, length, "Fake GPU");
    return 0;
}

#ifndef FAKE_NVML_NO_CLOCK
FAKE_EXPORT int nvmlDeviceGetClockInfo(void *, int, unsigned *clock)
{
    *clock = 1500;
    return 0;
}
#endif

FAKE_EXPORT int nvmlDeviceGetTemperature(void *device, int sensor, unsigned *celsius)
{
    ++g_state.temperatureCalls;
    g_state.lastSensor = sensor;
    if (device != &g_device)
        return 1;
    *celsius = g_state.temperature;
    return g_state.temperatureResult;
}
