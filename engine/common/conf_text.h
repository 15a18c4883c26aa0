#pragma once
// Small text helpers shared by the engines' readers of "quorlix.conf". They
// work on slices of a buffer that need not be NUL-terminated and never read
// past the length they are given. What differs between the two dialects
// (trimming, case, where a line ends) stays with each reader; these pieces
// only do what both do the same way.

#include <stddef.h>
#include <stdio.h>

// A piece of a text buffer: p[0..n), not NUL-terminated.
struct ConfSlice
{
    const char *p;
    size_t n;
};

// ASCII lower case; other bytes are returned as they are.
char conf_fold(char c);

// atoi over a slice: leading C white space, an optional sign, the leading
// digits; saturates at the int range instead of overflowing, no digits reads
// as 0.
int conf_read_int(const char *p, size_t n);

// A list piece that may be a range "a-b": true when it holds a '-' (both ends
// read with conf_read_int, a missing end reads as 0), else false with only
// *first read from the whole piece.
bool conf_read_range(ConfSlice piece, int *first, int *last);

// Drops the bytes found in set (set is a C string) from both ends.
ConfSlice conf_trim(ConfSlice s, const char *set);

// The slice up to (not including) the first c, or the whole slice.
ConfSlice conf_cut_at(ConfSlice s, char c);

// The next piece of text[*pos..len) up to sep (or the end), and *pos moved
// past that separator. The caller loops while *pos < len; an empty piece
// between two separators is returned as such.
ConfSlice conf_next_piece(const char *text, size_t len, size_t *pos, char sep);

// Copies v into dst (dst_size >= 1), cut to dst_size - 1 bytes, NUL-terminated.
void conf_copy_cut(char *dst, size_t dst_size, ConfSlice v);

// The same for a C string of a caller's buffer: at most src_max bytes of src
// are looked at, so a buffer without its terminating NUL is cut, not read past.
void conf_copy_cut_str(char *dst, size_t dst_size, const char *src, size_t src_max);

// A line after the reader's own cutting and trimming, sorted out: a section
// line "[name]..." (section is what stands between the brackets, untrimmed),
// a setting "key=value" (split at the first '=', untrimmed), or anything else
// (empty, a "#" comment, "[" without "]", no "=") to be skipped.
enum class ConfLineKind { Skip, Section, Setting };

struct ConfLine
{
    ConfLineKind kind;
    ConfSlice section;
    ConfSlice key;
    ConfSlice value;
};

ConfLine conf_classify(ConfSlice line);

// Opens a file for reading; a directory by the name (which opens on Linux) is
// no configuration file and counts as one that cannot be opened.
FILE *conf_open_file(const char *path);

// Reads the rest of f into a malloc'd buffer (caller frees); null when memory
// runs out or the read fails. A hand-written file larger than 16 MiB is not a
// configuration file: reading stops there, cut back to the last complete line
// so no setting is half-read.
char *conf_read_stream(FILE *f, size_t *len);
