#pragma once
// The simulated console filter driver: an in-process stand-in behind the
// device seam of driver.h, for tests, fuzz targets and benchmarks.
//
// It keeps the configuration record last set (and a log of every record set),
// answers the read-back with it, overlaid with the console MAC and detected
// flag a test sets, and maps a page-aligned shared region on each open that
// stays valid until the next open (or until it is uninstalled). Tests play the
// driver's side of the rings with push_rx (a frame from the console) and
// pop_u2c (a frame the engine sent to the console), and make any call fail
// with a fault switch. Buffered-I/O size checks are as a real driver's: a
// short input is refused with 87, a short output with 122.
//
// All functions are thread-safe.

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Installs the simulator behind the seam with a fresh state (no handle, no
// region, no faults, empty log); uninstall removes it and frees the region.
void quorlix_drvsim_install(void);
void quorlix_drvsim_uninstall(void);

// Fault switches: the call fails with error (0 disarms) until disarmed.
enum {
    QUORLIX_DRVSIM_OPEN = 0,
    QUORLIX_DRVSIM_SET = 1,
    QUORLIX_DRVSIM_GET = 2,
    QUORLIX_DRVSIM_MAP = 3,
    QUORLIX_DRVSIM_STATUS = 4,
    QUORLIX_DRVSIM_BUILD_INFO = 5,
};
void quorlix_drvsim_fail(int call, int error);
// MAP_SHARED_MEMORY succeeds but hands back a null address.
void quorlix_drvsim_map_null(int on);

// What GET_CONSOLE_CONFIG reports about the console.
void quorlix_drvsim_set_console(const uint8_t mac[6], int detected);
// The DriverStatus (344 bytes) and DriverBuildInfo (48 bytes) records returned.
void quorlix_drvsim_set_status(const uint8_t *record);
void quorlix_drvsim_set_build_info(const uint8_t *record);

// Every ConsoleConfig sent so far (refused ones included), oldest first: count, and a copy of one
// (16432 bytes into out; 0 when there is no such record).
size_t quorlix_drvsim_set_count(void);
int quorlix_drvsim_set_record(size_t index, uint8_t *out);

// Opens so far, whether a handle is open now, and the region of the latest
// open (null before one). A bounded wait until the region has been mapped at
// least `count` times since install (1 reached, 0 timed out).
size_t quorlix_drvsim_open_count(void);
int quorlix_drvsim_is_open(void);
uint8_t *quorlix_drvsim_region(void);
int quorlix_drvsim_wait_mapped(size_t count, uint32_t timeout_ms);

// The driver's side of the receive ring: puts one frame in (tick, data,
// fence, length, fence, W, "KernelTotal"). Returns 1, 0 when the ring was full
// ("Drops" raised), -1 without a region or for a length outside 1..2048.
int quorlix_drvsim_push_rx(const void *frame, size_t len);
// The driver's side of the U2C ring: takes the oldest frame. Returns 1 with
// *len set, 0 when the ring is empty, -1 when it does not fit in cap or its
// length word is outside 1..2048 (the slot is skipped then).
int quorlix_drvsim_pop_u2c(void *buf, size_t cap, size_t *len);

#ifdef __cplusplus
}
#endif
