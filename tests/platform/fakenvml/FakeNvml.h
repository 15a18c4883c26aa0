#pragma once

// What the fake GPU management library answers and what it was asked. The
// library hands out its one instance through fakeNvmlState(); a test that
// opens the same library file as the reader sees the same instance.
struct FakeNvmlState
{
    int initResult = 0; // 0 is success, as in the real library
    int countResult = 0;
    unsigned count = 1;
    int handleResult = 0;
    int temperatureResult = 0;
    unsigned temperature = 61;

    int initCalls = 0;
    int shutdownCalls = 0;
    int temperatureCalls = 0;
    unsigned lastIndex = ~0u;
    int lastSensor = -1;
};

// Every load of a fake library (its constructor) adds one to this variable of
// the process environment, so a test can see a load even of a library it does
// not hold open itself.
#define FAKE_NVML_LOADS_ENV "QUORLIX_FAKE_NVML_LOADS"

using FakeNvmlStateFn = FakeNvmlState *(*)();
