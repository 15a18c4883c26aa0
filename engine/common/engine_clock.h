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

// The engines' short pauses while they wait on the driver (a full ring's
// wait for room): 0 ms gives the processor up once (sched_yield), more
// sleeps. Installed like the clock; fn == NULL restores the real pause. A
// fuzz run, whose clock moves on by itself, pauses for nothing.
typedef void (*quorlix_sleep_fn)(uint32_t ms, void *ctx);
void quorlix_sleep_set(quorlix_sleep_fn fn, void *ctx);
void quorlix_sleep_ms(uint32_t ms);

#ifdef __cplusplus
}
#endif
