#pragma once
// Engine log output. The engines write printf-style lines; by default they go
// to stdout (quorlix_log) or stderr (quorlix_log_err) exactly as formatted.
// Tests and the Qt side may install a sink that receives each formatted line
// instead (stream 1 = stdout, 2 = stderr). Thread-safe.
//
// During a run (between quorlix_log_run_begin and quorlix_log_run_end) lines
// for a stdout that is not a terminal are gathered and written whole, in
// order, at least once a second, before any stderr line and at the run's end:
// per-packet lines would otherwise cost a write each.

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef void (*quorlix_log_sink_fn)(int stream, const char *text, size_t len, void *ctx);

// Installs (or with fn == NULL removes) the sink.
void quorlix_log_set_sink(quorlix_log_sink_fn fn, void *ctx);

void quorlix_log(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
void quorlix_log_err(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

// The run's verbose switch (the runtime configuration's debug_mode). Lines the
// engine writes only in verbose mode go through quorlix_log_verbose, which
// writes to stdout like quorlix_log when the switch is on and does nothing
// otherwise.
void quorlix_log_set_verbose(int on);
int quorlix_log_is_verbose(void);
void quorlix_log_verbose(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

// Formats as vsnprintf does (same text, same return value, same cut at cap),
// by hand for the conversions the engines use (%s %c %d %i %u %x %X with the
// '-' and '0' flags, a width and the l, ll and z sizes) and through vsnprintf
// for anything else.
int quorlix_log_format(char *buf, size_t cap, const char *fmt, va_list ap);

// Dotted text of an IPv4 address given as its bytes lie in the packet, as
// "%u.%u.%u.%u" of the four bytes would write it. Returns its length.
#define QUORLIX_IPV4_TEXT_LEN 16
size_t quorlix_format_ipv4(uint32_t raw, char out[QUORLIX_IPV4_TEXT_LEN]);

// The same text at out (room for 16 bytes) without a terminating NUL;
// returns its length.
size_t quorlix_ipv4_text(uint32_t raw, char *out);

// Writes one line that is already text (to stdout, as quorlix_log would).
void quorlix_log_line(const char *text, size_t len);

// Start and end of an engine run's gathered standard output (see above); the
// end writes what is left. Lines outside a run are written as they come.
void quorlix_log_run_begin(void);
void quorlix_log_run_end(void);
// Writes what has been gathered now.
void quorlix_log_flush(void);
// How long gathered lines may wait (1000 ms unless a test changes it).
void quorlix_log_set_flush_interval(unsigned ms);

#ifdef __cplusplus
}

#include <atomic>
#include <string.h>

// Standard output gathered during a run (engine_log.cpp), appended to inline
// by the lines written for every packet. The spin lock guards the rest.
#define QUORLIX_LOG_GATHER_BYTES (64u * 1024u)
struct QuorlixLogGather
{
    std::atomic_flag spin;
    bool open;    // gathering, and no sink installed: lines may be appended
    char *buffer; // the buffer being filled (QUORLIX_LOG_GATHER_BYTES)
    size_t used;
};
extern QuorlixLogGather g_quorlix_log_gather;
// Takes the spin lock after a first attempt found it held.
void quorlix_log_gather_wait(void);

// Appends a line to the gathered output; false (nothing done) when nothing is
// being gathered or there is no room: the line then goes through
// quorlix_log_line's other ways. copy (at least len) bytes of text are read
// and written to the buffer; only len count. A copy of fixed length compiles
// to a few moves.
template <size_t Copy = 0> inline bool quorlix_log_gather_append(const char *text, size_t len)
{
    QuorlixLogGather &g = g_quorlix_log_gather;
    if (g.spin.test_and_set(std::memory_order_acquire))
        quorlix_log_gather_wait();
    const size_t copy = Copy ? Copy : len;
    const bool ok = g.open && len <= copy && copy <= QUORLIX_LOG_GATHER_BYTES - g.used;
    if (ok) {
        memcpy(g.buffer + g.used, text, copy);
        g.used += len;
    }
    g.spin.clear(std::memory_order_release);
    return ok;
}

// The verbose switch, read inline where every packet asks for it.
extern std::atomic<int> g_quorlix_log_verbose;
inline bool quorlix_log_verbose_on()
{
    return g_quorlix_log_verbose.load(std::memory_order_relaxed) != 0;
}

// A log line put together piece by piece, for the lines written on every
// outbound packet whether verbose or not ("[OUTBOUND-CHECK]", "[GAME-UDP]",
// ...), where even reading a format costs more than the packet's decision.
// The text is the one the printf-style format would give.
class QuorlixLogLine
{
public:
    template <size_t N> QuorlixLogLine &text(const char (&literal)[N])
    {
        // A literal's length is known here, so the copy compiles to a few
        // moves; the hot lines are far shorter than the buffer.
        if (N - 1 <= sizeof m_text - m_len) {
            memcpy(m_text + m_len, literal, N - 1);
            m_len += N - 1;
        }
        return *this;
    }
    QuorlixLogLine &bytes(const char *s, size_t n)
    {
        if (n > sizeof m_text - m_len)
            n = sizeof m_text - m_len;
        memcpy(m_text + m_len, s, n);
        m_len += n;
        return *this;
    }
    // "%u"
    QuorlixLogLine &number(unsigned v)
    {
        if (sizeof m_text - m_len < 10)
            return *this;
        const unsigned digits = v < 10           ? 1
                                : v < 100        ? 2
                                : v < 1000       ? 3
                                : v < 10000      ? 4
                                : v < 100000     ? 5
                                : v < 1000000    ? 6
                                : v < 10000000   ? 7
                                : v < 100000000  ? 8
                                : v < 1000000000 ? 9
                                                 : 10;
        char *d = m_text + m_len + digits;
        m_len += digits;
        // Two digits at a time from a table of "00" to "99".
        while (v >= 100) {
            const unsigned pair = v % 100;
            v /= 100;
            d -= 2;
            memcpy(d, kPairs + 2 * pair, 2);
        }
        if (v >= 10)
            memcpy(d - 2, kPairs + 2 * v, 2);
        else
            d[-1] = char('0' + v);
        return *this;
    }
    // "%s" of the dotted address
    QuorlixLogLine &ipv4(uint32_t raw)
    {
        if (sizeof m_text - m_len < QUORLIX_IPV4_TEXT_LEN)
            return *this;
        m_len += quorlix_ipv4_text(raw, m_text + m_len);
        return *this;
    }
    void write() const { quorlix_log_line(m_text, m_len); }
    const char *data() const { return m_text; }
    size_t size() const { return m_len; }

private:
    static constexpr char kPairs[] =
        "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
        "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
        "8081828384858687888990919293949596979899";
    char m_text[240];
    size_t m_len = 0;
};

// The per-packet lines of one call site, kept as text for the keys they were
// last made for. A flow's lines read the same packet after packet, so each is
// put together once per flow and afterwards only copied out. The key (one or
// two words) must name everything the line's text depends on. Slots (a power
// of two) lines are kept; a key whose slot holds another key's line makes its
// own again. Not thread-safe: one memo per call site of one thread (the
// engine thread).
template <unsigned Slots, unsigned KeyWords = 1> class QuorlixLineMemo
{
    static_assert(Slots && (Slots & (Slots - 1)) == 0, "a power of two");
    static_assert(KeyWords == 1 || KeyWords == 2, "one or two key words");

public:
    // Writes the line for the key: the kept text when the memo has it, else
    // the text make(QuorlixLogLine &) puts together, kept for next time.
    template <typename Make> void write(uint64_t k0, Make &&make)
    {
        static_assert(KeyWords == 1, "a two-word key");
        writeKey(k0, 0, make);
    }
    template <typename Make> void write(uint64_t k0, uint64_t k1, Make &&make)
    {
        static_assert(KeyWords == 2, "a one-word key");
        writeKey(k0, k1, make);
    }

private:
    // Bytes copied out per line: a fixed length is a few moves, where a
    // line's own length would be a call. Longer lines are not kept (no
    // per-packet line is that long).
    static constexpr size_t kCopy = 96;

    template <typename Make> void writeKey(uint64_t k0, uint64_t k1, Make &make)
    {
        Entry &e = m_entries[index(k0, k1)];
        if (e.len == 0 || e.key[0] != k0 || (KeyWords == 2 && e.key[KeyWords - 1] != k1)) {
            QuorlixLogLine line;
            make(line);
            if (line.size() == 0 || line.size() > kCopy) {
                line.write();
                return;
            }
            memcpy(e.text, line.data(), line.size());
            e.len = uint32_t(line.size());
            e.key[0] = k0;
            e.key[KeyWords - 1] = KeyWords == 2 ? k1 : k0;
        }
        if (!quorlix_log_gather_append<kCopy>(e.text, e.len))
            quorlix_log_line(e.text, e.len);
    }

    static unsigned index(uint64_t k0, uint64_t k1)
    {
        const uint64_t h = (KeyWords == 2 ? k0 ^ (k1 * 0xC2B2AE3D27D4EB4Full) : k0) * 0x9E3779B97F4A7C15ull;
        return unsigned(h >> 40) & (Slots - 1);
    }
    struct Entry
    {
        char text[kCopy];
        uint64_t key[KeyWords];
        uint32_t len; // 0: empty (no line is empty)
    };
    Entry m_entries[Slots] = {};
};
#endif
