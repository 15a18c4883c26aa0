#include "platform/SystemInfoText.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace SystemInfoText {
namespace {

constexpr std::uint64_t kU64Max = std::numeric_limits<std::uint64_t>::max();

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

std::string_view trim(std::string_view s)
{
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// Hands out the lines of `text` one by one; a last line without '\n' counts.
class Lines
{
public:
    explicit Lines(std::string_view text) : m_rest(text) {}
    bool next(std::string_view &line)
    {
        if (m_done)
            return false;
        const std::size_t nl = m_rest.find('\n');
        if (nl == std::string_view::npos) {
            line = m_rest;
            m_done = true;
            return !line.empty();
        }
        line = m_rest.substr(0, nl);
        m_rest.remove_prefix(nl + 1);
        return true;
    }

private:
    std::string_view m_rest;
    bool m_done = false;
};

// The next blank-separated word of `s`, taken off its front; empty at the end.
std::string_view nextWord(std::string_view &s)
{
    std::size_t i = 0;
    while (i < s.size() && isBlank(s[i]))
        ++i;
    std::size_t j = i;
    while (j < s.size() && !isBlank(s[j]))
        ++j;
    const std::string_view word = s.substr(i, j - i);
    s.remove_prefix(j);
    return word;
}

// Digits only, no sign; false on anything else or above `limit`.
bool toUnsigned(std::string_view word, std::uint64_t limit, std::uint64_t &out)
{
    if (word.empty())
        return false;
    std::uint64_t v = 0;
    for (const char c : word) {
        if (!isDigit(c))
            return false;
        const std::uint64_t d = std::uint64_t(c - '0');
        if (d > limit || v > (limit - d) / 10)
            return false;
        v = v * 10 + d;
    }
    out = v;
    return true;
}

bool addChecked(std::uint64_t &sum, std::uint64_t v)
{
    if (v > kU64Max - sum)
        return false;
    sum += v;
    return true;
}

int roundedShare(std::uint64_t part, std::uint64_t whole)
{
    // part <= whole and whole > 0, so the quotient stays within 0..100.
    const long share = std::lround(100.0 * double(part) / double(whole));
    return share < 0 ? 0 : share > 100 ? 100 : int(share);
}

// "   12345 kB" -> bytes; false when garbled or too large for 64-bit bytes.
bool kilobytes(std::string_view value, std::uint64_t &bytes)
{
    std::string_view rest = value;
    const std::string_view number = nextWord(rest);
    const std::string_view unit = nextWord(rest);
    if (unit != "kB" || !trim(rest).empty())
        return false;
    std::uint64_t kb = 0;
    if (!toUnsigned(number, kU64Max / 1024, kb))
        return false;
    bytes = kb * 1024;
    return true;
}

} // namespace

bool parseCpuTimes(std::string_view text, CpuTimes &out)
{
    Lines lines(text);
    std::string_view line;
    while (lines.next(line)) {
        if (line.size() < 4 || line.substr(0, 3) != "cpu" || (line[3] != ' ' && line[3] != '\t'))
            continue;
        std::string_view rest = line.substr(3);
        // user nice system idle iowait irq softirq steal
        std::uint64_t field[8];
        for (std::uint64_t &f : field) {
            if (!toUnsigned(nextWord(rest), kU64Max, f))
                return false;
        }
        std::uint64_t total = 0;
        for (const std::uint64_t f : field) {
            if (!addChecked(total, f))
                return false;
        }
        out.total = total;
        out.busy = total - field[3] - field[4];
        return true;
    }
    return false;
}

int cpuShare(const CpuTimes &before, const CpuTimes &after)
{
    if (after.total < before.total || after.busy < before.busy)
        return -1;
    const std::uint64_t total = after.total - before.total;
    const std::uint64_t busy = after.busy - before.busy;
    // Idle time going back shows up as more busy time than time passed.
    if (total == 0 || busy > total)
        return -1;
    return roundedShare(busy, total);
}

int cpuShareSinceBoot(const CpuTimes &now)
{
    if (now.total == 0 || now.busy > now.total)
        return -1;
    return roundedShare(now.busy, now.total);
}

bool parseMeminfo(std::string_view text, Memory &out)
{
    enum Key { Total, Available, Free, Buffers, Cached, KeyCount };
    static constexpr std::string_view names[KeyCount] = {"MemTotal", "MemAvailable", "MemFree", "Buffers",
                                                         "Cached"};
    bool seen[KeyCount] = {};
    std::uint64_t value[KeyCount] = {};

    Lines lines(text);
    std::string_view line;
    while (lines.next(line)) {
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos)
            continue;
        const std::string_view name = line.substr(0, colon);
        for (int k = 0; k < KeyCount; ++k) {
            if (name != names[k] || seen[k])
                continue;
            seen[k] = true;
            if (!kilobytes(line.substr(colon + 1), value[k]))
                return false;
        }
    }

    if (!seen[Total] || value[Total] == 0)
        return false;
    std::uint64_t available = 0;
    if (seen[Available]) {
        available = value[Available];
    } else {
        if (!seen[Free] || !seen[Buffers] || !seen[Cached])
            return false;
        if (!addChecked(available, value[Free]) || !addChecked(available, value[Buffers]) ||
            !addChecked(available, value[Cached]))
            return false;
    }
    if (available > value[Total])
        return false;
    out.totalBytes = value[Total];
    out.availableBytes = available;
    return true;
}

int parseCpuinfoMhz(std::string_view text)
{
    double sum = 0;
    std::uint64_t count = 0;
    Lines lines(text);
    std::string_view line;
    while (lines.next(line)) {
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos || trim(line.substr(0, colon)) != "cpu MHz")
            continue;
        const std::string_view value = trim(line.substr(colon + 1));
        const std::size_t dot = value.find('.');
        std::uint64_t whole = 0;
        // Seven digits are 10 THz; more is garbage, not a clock.
        if (!toUnsigned(value.substr(0, dot), 9'999'999, whole))
            continue;
        double mhz = double(whole);
        if (dot != std::string_view::npos) {
            const std::string_view fraction = value.substr(dot + 1);
            bool digits = !fraction.empty();
            double scale = 0.1;
            for (const char c : fraction) {
                if (!isDigit(c)) {
                    digits = false;
                    break;
                }
                mhz += scale * (c - '0');
                scale /= 10;
            }
            if (!digits)
                continue;
        }
        sum += mhz;
        ++count;
    }
    if (count == 0)
        return -1;
    return int(std::lround(sum / double(count)));
}

bool parseUnsigned(std::string_view text, std::uint64_t limit, std::uint64_t &out)
{
    return toUnsigned(trim(text), limit, out);
}

bool parseSigned(std::string_view text, std::int64_t &out)
{
    constexpr std::uint64_t kLimit = 1'000'000'000;
    std::string_view s = trim(text);
    bool negative = false;
    if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    if (s.empty() || !std::all_of(s.begin(), s.end(), isDigit))
        return false;
    // Digits only by now, so a refusal can only mean "above the limit".
    std::uint64_t v = kLimit;
    toUnsigned(s, kLimit, v);
    out = negative ? -std::int64_t(v) : std::int64_t(v);
    return true;
}

int scaleClock(double meanCurrentKhz, int nominalMhz)
{
    if (nominalMhz <= 0)
        return 0;
    double percent = meanCurrentKhz / 1000.0 / double(nominalMhz) * 100.0;
    if (!(percent > 0)) // also NaN
        percent = 0;
    if (percent > 250)
        percent = 250;
    const double mhz = percent * double(nominalMhz) / 100.0;
    if (mhz >= double(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    return int(std::lround(mhz));
}

} // namespace SystemInfoText
