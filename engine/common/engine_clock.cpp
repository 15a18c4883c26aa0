#include "engine/common/engine_clock.h"

#include <atomic>
#include <sched.h>
#include <time.h>

namespace {
std::atomic<quorlix_clock_fn> g_clock{nullptr};
std::atomic<void *> g_clockCtx{nullptr};
std::atomic<quorlix_sleep_fn> g_sleep{nullptr};
std::atomic<void *> g_sleepCtx{nullptr};
} // namespace

extern "C" void quorlix_clock_set(quorlix_clock_fn fn, void *ctx)
{
    g_clockCtx.store(ctx);
    g_clock.store(fn);
}

extern "C" uint64_t quorlix_now_ms(void)
{
    if (quorlix_clock_fn fn = g_clock.load())
        return fn(g_clockCtx.load());
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

extern "C" void quorlix_sleep_set(quorlix_sleep_fn fn, void *ctx)
{
    g_sleepCtx.store(ctx);
    g_sleep.store(fn);
}

extern "C" void quorlix_sleep_ms(uint32_t ms)
{
    if (quorlix_sleep_fn fn = g_sleep.load()) {
        fn(ms, g_sleepCtx.load());
        return;
    }
    if (ms == 0) {
        sched_yield();
        return;
    }
    timespec ts = {time_t(ms / 1000u), long(ms % 1000u) * 1000000L};
    nanosleep(&ts, nullptr);
}
