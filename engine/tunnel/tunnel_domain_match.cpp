#include "engine/tunnel/tunnel_domain_match.h"

#include <string.h>

namespace {

// ASCII-only folding: names on the wire are bytes, and the C locale's idea of
// upper case must not change what matches.
inline unsigned char fold(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c;
}

bool equal_n(const char *a, const char *b, size_t n)
{
    for (size_t i = 0; i < n; ++i) {
        if (fold(static_cast<unsigned char>(a[i])) != fold(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

bool ends_with(const char *name, size_t n, const char *suffix, size_t s)
{
    return n >= s && equal_n(name + (n - s), suffix, s);
}

bool contains(const char *hay, size_t h, const char *needle, size_t k)
{
    if (k == 0)
        return true;
    for (size_t i = 0; i + k <= h; ++i) {
        if (equal_n(hay + i, needle, k))
            return true;
    }
    return false;
}

} // namespace

bool tunnel_domain_pattern_match(const char *pattern, const char *name)
{
    if (!pattern || !name)
        return false;
    const size_t L = strlen(pattern);
    const size_t n = strlen(name);
    if (L == 0)
        return n == 0;
    if (L == 1) {
        if (pattern[0] == '*')
            return true;
        return n == 1 &&
               fold(static_cast<unsigned char>(pattern[0])) == fold(static_cast<unsigned char>(name[0]));
    }
    if (pattern[0] == '*' && pattern[L - 1] == '*') {
        size_t k = L - 2;
        if (k > 127)
            k = 127;
        size_t h = n > 255 ? 255 : n;
        return contains(name, h, pattern + 1, k);
    }
    if (pattern[0] == '*' && pattern[1] == '.') {
        const char *suffix = pattern + 2;
        const size_t s = L - 2;
        if (n == s && equal_n(name, suffix, s))
            return true;
        return n >= s + 1 && name[n - s - 1] == '.' && ends_with(name, n, suffix, s);
    }
    if (pattern[0] == '*')
        return ends_with(name, n, pattern + 1, L - 1);
    if (pattern[L - 1] == '*') {
        size_t k = L - 1;
        if (n < k)
            return false;
        if (k > 127)
            k = 127;
        return equal_n(name, pattern, k);
    }
    return n == L && equal_n(name, pattern, L);
}

namespace {
bool read_name(const uint8_t *msg, size_t len, size_t offset, char out[TUNNEL_DNS_NAME_MAX + 1], size_t *end)
{
    size_t pos = offset;
    size_t n = 0;
    size_t end_pos = 0;
    bool jumped = false;
    bool first_label = true;
    int jumps = 0;
    for (;;) {
        if (pos >= len)
            return false;
        const uint8_t b = msg[pos];
        if (b == 0) {
            if (!jumped)
                end_pos = pos + 1;
            break;
        }
        if ((b & 0xC0) == 0xC0) {
            if (pos + 1 >= len)
                return false;
            const size_t target = (size_t(b & 0x3F) << 8) | msg[pos + 1];
            if (!jumped) {
                end_pos = pos + 2;
                jumped = true;
            }
            if (++jumps > TUNNEL_DNS_MAX_JUMPS)
                return false;
            if (target >= len)
                return false;
            pos = target;
            continue;
        }
        const size_t label = b;
        if (label > len - pos - 1)
            return false; // the label would end past the message
        if (!first_label && n >= 1 && n <= TUNNEL_DNS_NAME_MAX - 1)
            out[n++] = '.';
        for (size_t i = 0; i < label && n < TUNNEL_DNS_NAME_MAX; ++i)
            out[n++] = static_cast<char>(fold(msg[pos + 1 + i]));
        first_label = false;
        pos += 1 + label;
    }
    out[n] = '\0';
    if (end)
        *end = end_pos;
    return true;
}
} // namespace

bool tunnel_dns_read_name(const uint8_t *msg, size_t len, size_t offset, char out[TUNNEL_DNS_NAME_MAX + 1],
                          size_t *end)
{
    if (!out)
        return false;
    out[0] = '\0';
    if (!msg)
        return false;
    // A name given up on halfway must not leave unterminated label bytes behind.
    if (!read_name(msg, len, offset, out, end)) {
        out[0] = '\0';
        return false;
    }
    return true;
}
