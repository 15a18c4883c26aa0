#pragma once
// The PC tunnel engine's reader of "quorlix.conf", used only when a run starts
// without a runtime record (a standalone engine). The dialect is exact: keys
// and section names are case-sensitive, nothing is trimmed, "#" and "[" count
// only in the first column, a line ends at its first CR or LF.
//
// The reader hands back a record; of the engine's state it touches only the
// verbose flag and the MTU settings the file carries (through
// tunnel_conffile_apply_engine), never the run's record, ports or relays.
//
// The parsers work on a text buffer (not NUL-terminated; a NUL byte ends its
// line); opening the file is a thin wrapper around them. Whole lines are
// parsed, however long, so a long port list is never split inside a number.

#include "engine/tunnel/quorlix_tunnel.h"

#include <stddef.h>
#include <stdint.h>

// The relay a record names when it names none: a documentation address
// (standalone users are expected to set "entry_host"), at the relays' port.
#define TUNNEL_DEFAULT_ENTRY_HOST "192.0.2.10"
#define TUNNEL_DEFAULT_RELAY_PORT 50000

// Engine settings the file may carry besides the record.
typedef struct TunnelConfFileEngine
{
    int have_verbose;
    int verbose;
    int have_mtu_min;
    int mtu_min;
    int have_mtu_max;
    int mtu_max;
    int have_probe_interval;
    uint32_t probe_interval_ms;
} TunnelConfFileEngine;

// Port list: comma-separated values and ranges "a-b" (inclusive; nothing when
// a > b; a missing end reads as 0). Values are stored as given (0 and values
// above 65535 included, duplicates kept), at most cap of them. Numbers are read
// like atoi but saturate instead of overflowing. Returns the count stored.
int tunnel_parse_port_list_n(const char *value, size_t len, uint32_t *out, int cap);
int tunnel_parse_port_list(const char *value, uint32_t *out, int cap);

// Domain list: comma-separated, empty pieces skipped, spaces/tabs stripped,
// cut to 127 characters, lower-cased; at most cap entries. Returns the count.
int tunnel_parse_domain_list_n(const char *value, size_t len, char (*out)[QUORLIX_DOMAIN_LEN], int cap);

// The record's starting values: default relay, port 50000, profile "warzone",
// counts 0, TCP on, debug flag on, MTU 0 (the arrays are left as they are).
void tunnel_conffile_init(TunnelRuntimeConfig *cfg);

// One pass over the text. Pass 1 applies every key (global keys anywhere,
// profile keys inside sections named after the profile as it stood at the
// section line); pass 2 applies only the profile keys, inside sections named
// after the final profile.
void tunnel_conffile_pass(const char *text, size_t len, int pass, TunnelRuntimeConfig *cfg,
                          TunnelConfFileEngine *eng);

// init + both passes over one text; touches no engine state.
void tunnel_conffile_parse(const char *text, size_t len, TunnelRuntimeConfig *cfg, TunnelConfFileEngine *eng);

// Puts the engine settings of a first pass into effect (verbose flag, MTU
// bounds and probe interval), then the MTU step: a record MTU within 576..1500
// becomes both the safe MTU and the maximum MTU.
void tunnel_conffile_apply_engine(const TunnelRuntimeConfig *cfg, const TunnelConfFileEngine *eng);

// Reads the file at path (the engine passes "quorlix.conf", relative to the
// current directory): 1 on success, 0 when it cannot be opened ("[ERROR]
// Cannot open quorlix.conf file"). If the second reading cannot open it, the
// first reading's result is kept with a warning.
int tunnel_conffile_load(const char *path, TunnelRuntimeConfig *cfg);

// Test seam: replaces how the file is read (null restores the real reader).
// The reader returns a malloc'd buffer and its length, or null when the file
// cannot be opened.
typedef char *(*tunnel_conffile_reader_fn)(const char *path, size_t *len, void *ctx);
void tunnel_conffile_set_reader(tunnel_conffile_reader_fn fn, void *ctx);
