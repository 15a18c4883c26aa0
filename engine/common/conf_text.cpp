#include "engine/common/conf_text.h"

#include <limits.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

namespace {

// Reading stops here rather than allocating without bound.
constexpr size_t kMaxFileBytes = 16u * 1024u * 1024u;

// The C locale's isspace: space, tab, LF, VT, FF, CR.
bool is_c_space(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

} // namespace

char conf_fold(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c + 32) : c;
}

int conf_read_int(const char *p, size_t n)
{
    size_t i = 0;
    while (i < n && is_c_space(p[i]))
        ++i;
    bool neg = false;
    if (i < n && (p[i] == '+' || p[i] == '-')) {
        neg = p[i] == '-';
        ++i;
    }
    int64_t v = 0;
    for (; i < n && p[i] >= '0' && p[i] <= '9'; ++i) {
        // Past INT_MAX + 1 the result is decided; stop growing so it cannot wrap.
        if (v <= int64_t(INT_MAX) + 1)
            v = v * 10 + (p[i] - '0');
    }
    if (neg)
        v = -v;
    if (v > INT_MAX)
        return INT_MAX;
    if (v < INT_MIN)
        return INT_MIN;
    return static_cast<int>(v);
}

bool conf_read_range(ConfSlice piece, int *first, int *last)
{
    const char *dash = static_cast<const char *>(memchr(piece.p, '-', piece.n));
    if (!dash) {
        *first = conf_read_int(piece.p, piece.n);
        return false;
    }
    size_t a_len = size_t(dash - piece.p);
    *first = conf_read_int(piece.p, a_len);
    *last = conf_read_int(dash + 1, piece.n - a_len - 1);
    return true;
}

ConfSlice conf_trim(ConfSlice s, const char *set)
{
    size_t set_len = strlen(set);
    while (s.n > 0 && memchr(set, s.p[0], set_len)) {
        ++s.p;
        --s.n;
    }
    while (s.n > 0 && memchr(set, s.p[s.n - 1], set_len))
        --s.n;
    return s;
}

ConfSlice conf_cut_at(ConfSlice s, char c)
{
    const char *at = static_cast<const char *>(memchr(s.p, c, s.n));
    if (at)
        s.n = size_t(at - s.p);
    return s;
}

ConfSlice conf_next_piece(const char *text, size_t len, size_t *pos, char sep)
{
    ConfSlice piece = conf_cut_at(ConfSlice{text + *pos, len - *pos}, sep);
    *pos += piece.n + 1; // past the separator (or one past the end)
    return piece;
}

void conf_copy_cut(char *dst, size_t dst_size, ConfSlice v)
{
    size_t n = v.n < dst_size - 1 ? v.n : dst_size - 1;
    memcpy(dst, v.p, n);
    dst[n] = '\0';
}

void conf_copy_cut_str(char *dst, size_t dst_size, const char *src, size_t src_max)
{
    conf_copy_cut(dst, dst_size, ConfSlice{src, strnlen(src, src_max)});
}

ConfLine conf_classify(ConfSlice line)
{
    ConfLine r{ConfLineKind::Skip, {nullptr, 0}, {nullptr, 0}, {nullptr, 0}};
    if (line.n == 0 || line.p[0] == '#')
        return r;
    if (line.p[0] == '[') {
        const char *close = static_cast<const char *>(memchr(line.p + 1, ']', line.n - 1));
        if (!close)
            return r; // not a section line; the current section stays
        r.kind = ConfLineKind::Section;
        r.section = ConfSlice{line.p + 1, size_t(close - line.p - 1)};
        return r;
    }
    const char *eq = static_cast<const char *>(memchr(line.p, '=', line.n));
    if (!eq)
        return r;
    size_t key_len = size_t(eq - line.p);
    r.kind = ConfLineKind::Setting;
    r.key = ConfSlice{line.p, key_len};
    r.value = ConfSlice{eq + 1, line.n - key_len - 1};
    return r;
}

FILE *conf_open_file(const char *path)
{
    FILE *f = fopen(path, "rb");
    if (!f)
        return nullptr;
    struct stat st;
    if (fstat(fileno(f), &st) != 0 || S_ISDIR(st.st_mode)) {
        fclose(f);
        return nullptr;
    }
    return f;
}

char *conf_read_stream(FILE *f, size_t *len)
{
    size_t cap = 4096, n = 0;
    char *buf = static_cast<char *>(malloc(cap));
    while (buf) {
        if (n == cap) {
            if (cap >= kMaxFileBytes)
                break;
            size_t next = cap * 2 > kMaxFileBytes ? kMaxFileBytes : cap * 2;
            char *grown = static_cast<char *>(realloc(buf, next));
            if (!grown) {
                free(buf);
                return nullptr;
            }
            buf = grown;
            cap = next;
        }
        size_t got = fread(buf + n, 1, cap - n, f);
        n += got;
        if (got == 0)
            break;
    }
    if (buf && ferror(f)) {
        free(buf);
        return nullptr;
    }
    if (buf && n == kMaxFileBytes) {
        while (n > 0 && buf[n - 1] != '\n')
            --n; // no half-read setting at the cut
    }
    *len = n;
    return buf;
}
