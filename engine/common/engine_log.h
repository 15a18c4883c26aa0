#pragma once
// Engine log output. The engines write printf-style lines; by default they go
// to stdout (quorlix_log) or stderr (quorlix_log_err) exactly as formatted.
// Tests and the Qt side may install a sink that receives each formatted line
// instead (stream 1 = stdout, 2 = stderr). Thread-safe.

#include <stddef.h>

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

#ifdef __cplusplus
}
#endif
