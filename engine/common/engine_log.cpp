#include "engine/common/engine_log.h"

#include <atomic>
#include <mutex>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>

namespace {
std::mutex g_sinkLock;
quorlix_log_sink_fn g_sink = nullptr;
std::atomic<int> g_verbose{0};
void *g_sinkCtx = nullptr;

void emit(int stream, const char *fmt, va_list ap)
{
    char small[2048];
    va_list again;
    va_copy(again, ap);
    int n = vsnprintf(small, sizeof small, fmt, ap);
    if (n < 0) {
        va_end(again);
        return;
    }
    // Lines as long as a filter over many relays must arrive whole (a cut
    // line also loses its newline and runs into the next one); only those
    // rare lines pay for an allocation.
    char *buf = small;
    char *big = nullptr;
    size_t len = static_cast<size_t>(n);
    if (len >= sizeof small) {
        big = static_cast<char *>(malloc(len + 1));
        if (big && vsnprintf(big, len + 1, fmt, again) == n)
            buf = big;
        else
            len = sizeof small - 1;
    }
    va_end(again);
    {
        std::lock_guard<std::mutex> guard(g_sinkLock);
        if (g_sink)
            g_sink(stream, buf, len, g_sinkCtx);
        else
            fwrite(buf, 1, len, stream == 2 ? stderr : stdout);
    }
    free(big);
}
} // namespace

extern "C" void quorlix_log_set_sink(quorlix_log_sink_fn fn, void *ctx)
{
    std::lock_guard<std::mutex> guard(g_sinkLock);
    g_sink = fn;
    g_sinkCtx = ctx;
}

extern "C" void quorlix_log(const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    emit(1, fmt, ap);
    va_end(ap);
}

extern "C" void quorlix_log_err(const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    emit(2, fmt, ap);
    va_end(ap);
}

extern "C" void quorlix_log_set_verbose(int on)
{
    g_verbose.store(on ? 1 : 0, std::memory_order_relaxed);
}

extern "C" int quorlix_log_is_verbose(void)
{
    return g_verbose.load(std::memory_order_relaxed);
}

extern "C" void quorlix_log_verbose(const char *fmt, ...)
{
    if (!g_verbose.load(std::memory_order_relaxed))
        return;
    va_list ap;
    va_start(ap, fmt);
    emit(1, fmt, ap);
    va_end(ap);
}
