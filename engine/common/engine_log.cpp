#include "engine/common/engine_log.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <thread>
#include <unistd.h>

namespace {

// --- formatting -----------------------------------------------------------
//
// Several lines are written for every outbound packet of the machine, verbose
// or not, and vsnprintf cost about 1,800 instructions each: most of the
// engine's work on such a packet. The engines use a handful of conversions;
// those are formatted here, byte for byte as the C library does, and any
// other format falls back to vsnprintf.

struct Out
{
    char *p;
    char *end; // one before the end: room for the terminating NUL
    size_t total;

    void put(const char *s, size_t n)
    {
        const size_t room = size_t(end - p);
        const size_t k = n < room ? n : room;
        if (k <= 16) {
            for (size_t i = 0; i < k; ++i)
                p[i] = s[i];
        } else {
            memcpy(p, s, k);
        }
        p += k;
        total += n;
    }
    void fill(char c, size_t n)
    {
        const size_t room = size_t(end - p);
        const size_t k = n < room ? n : room;
        for (size_t i = 0; i < k; ++i)
            p[i] = c;
        p += k;
        total += n;
    }
};

// The flags and width of one printf conversion.
struct Conversion
{
    bool left = false;
    bool zero = false;
    size_t width = 0;
};

// Writes body (with an optional sign or prefix before any zero padding) to
// the width the conversion asks for.
void padded(Out &o, const Conversion &conversion, const char *sign, size_t signLen, const char *body,
            size_t len)
{
    if (conversion.width == 0) {
        o.put(sign, signLen);
        o.put(body, len);
        return;
    }
    const size_t used = signLen + len;
    const size_t pad = conversion.width > used ? conversion.width - used : 0;
    if (conversion.left) {
        o.put(sign, signLen);
        o.put(body, len);
        o.fill(' ', pad);
    } else if (conversion.zero) {
        o.put(sign, signLen);
        o.fill('0', pad);
        o.put(body, len);
    } else {
        o.fill(' ', pad);
        o.put(sign, signLen);
        o.put(body, len);
    }
}

void number(Out &o, const Conversion &conversion, unsigned long long v, bool negative, unsigned base,
            bool upper)
{
    char digits[24];
    char *end = digits + sizeof digits;
    char *d = end;
    const char *alphabet = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    if (base == 10) {
        do {
            *--d = char('0' + v % 10);
            v /= 10;
        } while (v);
    } else {
        do {
            *--d = alphabet[v & 15];
            v >>= 4;
        } while (v);
    }
    padded(o, conversion, "-", negative ? 1 : 0, d, size_t(end - d));
}

// The formatter proper: the full length of the text (as vsnprintf returns
// it), or -1 for a format it leaves to vsnprintf. ap is consumed either way.
int format(char *buf, size_t cap, const char *fmt, va_list ap)
{
    char scratch[1];
    if (cap == 0) {
        buf = scratch;
        cap = 1;
    }
    Out o{buf, buf + cap - 1, 0};
    const char *f = fmt;
    for (;;) {
        const char *pct = strchrnul(f, '%');
        o.put(f, size_t(pct - f));
        if (!*pct)
            break;
        f = pct + 1;
        Conversion conversion;
        for (;; ++f) {
            if (*f == '-')
                conversion.left = true;
            else if (*f == '0')
                conversion.zero = true;
            else
                break;
        }
        while (*f >= '0' && *f <= '9') {
            conversion.width = conversion.width * 10 + size_t(*f - '0');
            if (conversion.width > 4096)
                return -1;
            ++f;
        }
        if (conversion.left)
            conversion.zero = false;
        int longs = 0;
        bool sizeT = false;
        if (*f == 'l') {
            ++f;
            longs = 1;
            if (*f == 'l') {
                ++f;
                longs = 2;
            }
        } else if (*f == 'z') {
            ++f;
            sizeT = true;
        }
        const char letter = *f++;
        switch (letter) {
        case 'd':
        case 'i': {
            long long v = sizeT        ? (long long)va_arg(ap, ssize_t)
                          : longs == 2 ? va_arg(ap, long long)
                          : longs == 1 ? (long long)va_arg(ap, long)
                                       : (long long)va_arg(ap, int);
            const bool negative = v < 0;
            const unsigned long long magnitude =
                negative ? 0ull - (unsigned long long)v : (unsigned long long)v;
            number(o, conversion, magnitude, negative, 10, false);
            break;
        }
        case 'u':
        case 'x':
        case 'X': {
            unsigned long long v = sizeT        ? (unsigned long long)va_arg(ap, size_t)
                                   : longs == 2 ? va_arg(ap, unsigned long long)
                                   : longs == 1 ? (unsigned long long)va_arg(ap, unsigned long)
                                                : (unsigned long long)va_arg(ap, unsigned int);
            number(o, conversion, v, false, letter == 'u' ? 10 : 16, letter == 'X');
            break;
        }
        case 's': {
            if (conversion.zero || longs || sizeT)
                return -1;
            const char *s = va_arg(ap, const char *);
            if (!s)
                s = "(null)";
            padded(o, conversion, "", 0, s, strlen(s));
            break;
        }
        case 'c': {
            if (conversion.zero || longs || sizeT)
                return -1;
            const char c = char(va_arg(ap, int));
            padded(o, conversion, "", 0, &c, 1);
            break;
        }
        case '%':
            if (conversion.left || conversion.zero || conversion.width || longs || sizeT)
                return -1;
            o.put("%", 1);
            break;
        default:
            return -1;
        }
    }
    *o.p = '\0';
    return o.total > size_t(INT32_MAX) ? -1 : int(o.total);
}

int formatLine(char *buf, size_t cap, const char *fmt, va_list ap)
{
    va_list mine;
    va_copy(mine, ap);
    const int n = format(buf, cap, fmt, mine);
    va_end(mine);
    if (n >= 0)
        return n;
    return vsnprintf(buf, cap, fmt, ap);
}

// --- output ---------------------------------------------------------------

std::mutex g_lock; // the sink, the writes to the streams, the flusher's state
quorlix_log_sink_fn g_sink = nullptr;
void *g_sinkCtx = nullptr;

// g_quorlix_log_gather's spin lock guards the gathered lines (and a copy of
// "sink installed" and "gathering"). A spin lock: the engine thread takes it
// for one short copy per line, where a mutex's lock and unlock cost more than
// the line itself; nobody holds it across a write to a stream.
struct Spin
{
    Spin()
    {
        while (g_quorlix_log_gather.spin.test_and_set(std::memory_order_acquire))
            std::this_thread::yield();
    }
    ~Spin() { g_quorlix_log_gather.spin.clear(std::memory_order_release); }
};

// Standard output during a run, when it is not a terminal: lines gather here
// and reach the stream whole, at the latest a flush interval after they were
// written, when the buffer fills, before a line to standard error, and when
// the run ends.
constexpr size_t kBuffer = QUORLIX_LOG_GATHER_BYTES;
char g_buffers[2][kBuffer];
QuorlixLogGather &g_gather = g_quorlix_log_gather;
bool g_gathering = false; // during a run; read under the spin lock
bool g_sinkSet = false;   // g_sink != nullptr; read under the spin lock
// With the spin lock held, after either of the two above changed.
void updateOpen()
{
    g_gather.open = g_gathering && !g_sinkSet;
}
unsigned g_flushIntervalMs = 1000;
// Made once and never destroyed, so a process that exits during a run does
// not tear them down under the flusher thread.
std::condition_variable *g_flushWake = nullptr;
std::thread *g_flusher = nullptr;
bool g_flusherStop = false;

// With g_lock held: writes what has gathered (outside the spin lock, so the
// engine thread goes on gathering into the other buffer meanwhile).
void flushLocked()
{
    char *full;
    size_t n;
    {
        Spin spin;
        full = g_gather.buffer;
        n = g_gather.used;
        g_gather.buffer = g_gather.buffer == g_buffers[0] ? g_buffers[1] : g_buffers[0];
        g_gather.used = 0;
    }
    if (n)
        fwrite(full, 1, n, stdout);
    fflush(stdout);
}

// The common case: a line for standard output during a run, with room left.
bool gather(const char *text, size_t len)
{
    return quorlix_log_gather_append(text, len);
}

// Everything but the common case (a line gathered for standard output).
__attribute__((noinline)) void writeLineSlow(int stream, const char *text, size_t len)
{
    std::lock_guard<std::mutex> guard(g_lock);
    if (g_sink) {
        g_sink(stream, text, len, g_sinkCtx);
        return;
    }
    bool gathering;
    {
        Spin spin;
        gathering = g_gathering;
    }
    if (gathering)
        flushLocked(); // full, a line longer than the buffer, or standard error
    if (stream == 1 && gathering && gather(text, len))
        return;
    fwrite(text, 1, len, stream == 2 ? stderr : stdout);
}

void writeLine(int stream, const char *text, size_t len)
{
    if (stream == 1 && gather(text, len))
        return;
    writeLineSlow(stream, text, len);
}

void flusherMain()
{
    std::unique_lock<std::mutex> lock(g_lock);
    while (!g_flusherStop) {
        g_flushWake->wait_for(lock, std::chrono::milliseconds(g_flushIntervalMs));
        flushLocked();
    }
}

void flushAtExit()
{
    std::lock_guard<std::mutex> guard(g_lock);
    flushLocked();
}

void emit(int stream, const char *fmt, va_list ap)
{
    char small[2048];
    va_list again;
    va_copy(again, ap);
    const int n = formatLine(small, sizeof small, fmt, ap);
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
        if (big && formatLine(big, len + 1, fmt, again) == n)
            buf = big;
        else
            len = sizeof small - 1;
    }
    va_end(again);
    writeLine(stream, buf, len);
    free(big);
}

} // namespace

std::atomic<int> g_quorlix_log_verbose{0};
QuorlixLogGather g_quorlix_log_gather{ATOMIC_FLAG_INIT, false, g_buffers[0], 0};

void quorlix_log_gather_wait(void)
{
    while (g_quorlix_log_gather.spin.test_and_set(std::memory_order_acquire))
        std::this_thread::yield();
}

extern "C" int quorlix_log_format(char *buf, size_t cap, const char *fmt, va_list ap)
{
    return formatLine(buf, cap, fmt, ap);
}

namespace {

// Each byte value's decimal digits and their count, for the dotted text.
struct ByteText
{
    char digits[3];
    uint8_t len;
};
static_assert(sizeof(ByteText) == 4, "copied as four bytes");
struct ByteTable
{
    ByteText entry[256];
};
constexpr ByteTable makeByteTable()
{
    ByteTable t{};
    for (unsigned v = 0; v < 256; ++v) {
        ByteText &e = t.entry[v];
        if (v >= 100) {
            e.digits[0] = char('0' + v / 100);
            e.digits[1] = char('0' + v / 10 % 10);
            e.digits[2] = char('0' + v % 10);
            e.len = 3;
        } else if (v >= 10) {
            e.digits[0] = char('0' + v / 10);
            e.digits[1] = char('0' + v % 10);
            e.len = 2;
        } else {
            e.digits[0] = char('0' + v);
            e.len = 1;
        }
    }
    return t;
}
constexpr ByteTable kByteText = makeByteTable();

} // namespace

extern "C" size_t quorlix_ipv4_text(uint32_t raw, char *out)
{
    uint8_t b[4];
    memcpy(b, &raw, 4);
    char *o = out;
    for (int i = 0; i < 4; ++i) {
        // Four bytes copied whatever the length (digits and the count): what
        // lies past the digits is overwritten by the dot and the next byte's
        // digits, and out has room for the longest form.
        const ByteText &e = kByteText.entry[b[i]];
        memcpy(o, &e, 4);
        o += e.len;
        *o++ = '.';
    }
    return size_t(o - 1 - out);
}

extern "C" size_t quorlix_format_ipv4(uint32_t raw, char out[QUORLIX_IPV4_TEXT_LEN])
{
    const size_t n = quorlix_ipv4_text(raw, out);
    out[n] = '\0';
    return n;
}

extern "C" void quorlix_log_set_sink(quorlix_log_sink_fn fn, void *ctx)
{
    std::lock_guard<std::mutex> guard(g_lock);
    flushLocked(); // lines written before the sink keep their place
    {
        Spin spin;
        g_sinkSet = fn != nullptr;
        updateOpen();
    }
    g_sink = fn;
    g_sinkCtx = ctx;
}

extern "C" void quorlix_log_line(const char *text, size_t len)
{
    if (!gather(text, len))
        writeLineSlow(1, text, len);
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
    g_quorlix_log_verbose.store(on ? 1 : 0, std::memory_order_relaxed);
}

extern "C" int quorlix_log_is_verbose(void)
{
    return g_quorlix_log_verbose.load(std::memory_order_relaxed);
}

extern "C" void quorlix_log_verbose(const char *fmt, ...)
{
    if (!g_quorlix_log_verbose.load(std::memory_order_relaxed))
        return;
    va_list ap;
    va_start(ap, fmt);
    emit(1, fmt, ap);
    va_end(ap);
}

extern "C" void quorlix_log_run_begin(void)
{
    std::lock_guard<std::mutex> guard(g_lock);
    {
        Spin spin;
        if (g_gathering || isatty(fileno(stdout)))
            return;
        g_gathering = true;
        updateOpen();
    }
    static const bool registered = (atexit(flushAtExit), true);
    (void)registered;
    if (!g_flushWake)
        g_flushWake = new std::condition_variable;
    g_flusherStop = false;
    g_flusher = new std::thread(flusherMain);
}

extern "C" void quorlix_log_run_end(void)
{
    std::thread *flusher = nullptr;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        {
            Spin spin;
            if (!g_gathering)
                return;
            g_gathering = false;
            updateOpen();
        }
        g_flusherStop = true;
        flusher = g_flusher;
        g_flusher = nullptr;
        g_flushWake->notify_all();
        flushLocked();
    }
    if (flusher) {
        flusher->join();
        delete flusher;
    }
}

extern "C" void quorlix_log_flush(void)
{
    std::lock_guard<std::mutex> guard(g_lock);
    flushLocked();
}

extern "C" void quorlix_log_set_flush_interval(unsigned ms)
{
    std::lock_guard<std::mutex> guard(g_lock);
    g_flushIntervalMs = ms ? ms : 1;
}
