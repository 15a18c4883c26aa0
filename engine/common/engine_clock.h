#pragma once
// The engines' clock: monotonic milliseconds. Tests install their own source so
// keepalive, clean-up and MTU timers are driven without waiting.

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef uint64_t (*quorlix_clock_fn)(void *ctx);

// Installs (or with fn == NULL restores the real clock). The function and its
// context are read separately, so change them only while no engine thread is
// running.
void quorlix_clock_set(quorlix_clock_fn fn, void *ctx);
uint64_t quorlix_now_ms(void);

#ifdef __cplusplus
}
#endif
