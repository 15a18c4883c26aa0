#pragma once
// Shared set-up of the console engine's fuzz targets that need a shared
// region: log lines silenced, and an engine clock that moves on by 25 ms a
// read with pauses that take no time, so a full U2C ring gives up after a few
// rounds instead of 50 real ms.

#include "engine/common/engine_clock.h"
#include "engine/common/engine_log.h"
#include "platform/driver/console_device.h"

#include <stdlib.h>
#include <string.h>

inline void consoleFuzzQuiet(int, const char *, size_t, void *) {}

inline uint64_t consoleFuzzClock(void *)
{
    static uint64_t now = 1;
    return now += 25;
}

inline void consoleFuzzPause(uint32_t, void *) {}

// The region (zeroed, page-aligned, exactly as large as the driver's rounded
// up to pages), made once per process along with the log and clock set-up.
inline uint8_t *consoleFuzzRegion()
{
    static uint8_t *region = [] {
        quorlix_log_set_sink(consoleFuzzQuiet, nullptr);
        quorlix_clock_set(consoleFuzzClock, nullptr);
        quorlix_sleep_set(consoleFuzzPause, nullptr);
        const size_t size = (REGION_SIZE + 4095) / 4096 * 4096;
        uint8_t *r = static_cast<uint8_t *>(aligned_alloc(4096, size));
        memset(r, 0, size);
        return r;
    }();
    return region;
}
