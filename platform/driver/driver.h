#pragma once
// The device seam of the console filter driver: open by name, control calls
// with input and output buffers, close. Error results are the Windows error
// numbers the engine prints (2: no such device, 6: bad handle, 31: the
// device failed the call, 87: bad parameter, 122: buffer too small), so its
// messages read the same everywhere.
//
// Linux has no console driver: open fails with 2 unless a test has installed
// the simulated driver (driver_sim.h). Handles are generation numbers, not
// pointers: closing from any thread, twice, or using a closed handle is
// harmless and reports 6.

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

enum {
    QUORLIX_DRIVER_OK = 0,
    QUORLIX_DRIVER_ERR_INVALID_FUNCTION = 1,
    QUORLIX_DRIVER_ERR_NOT_FOUND = 2,
    QUORLIX_DRIVER_ERR_INVALID_HANDLE = 6,
    QUORLIX_DRIVER_ERR_GEN_FAILURE = 31,
    QUORLIX_DRIVER_ERR_SHARING = 32,
    QUORLIX_DRIVER_ERR_INVALID_PARAMETER = 87,
    QUORLIX_DRIVER_ERR_INSUFFICIENT_BUFFER = 122,
};

typedef uint32_t quorlix_driver_handle;
#define QUORLIX_DRIVER_INVALID ((quorlix_driver_handle)0)

// What stands behind the seam. Handles it returns must not be 0.
typedef struct QuorlixDriverBackend
{
    quorlix_driver_handle (*open)(void *ctx, const char *name, int *error);
    int (*control)(void *ctx, quorlix_driver_handle h, uint32_t code, const void *in, uint32_t in_len,
                   void *out, uint32_t out_len, uint32_t *returned);
    void (*close)(void *ctx, quorlix_driver_handle h);
} QuorlixDriverBackend;

// Installs a backend (NULL: none, every open fails with 2). Change it only
// while no handle is open.
void quorlix_driver_set_backend(const QuorlixDriverBackend *backend, void *ctx);

// Returns a handle, or QUORLIX_DRIVER_INVALID with *error (may be NULL) set.
quorlix_driver_handle quorlix_driver_open(const char *name, int *error);

// One control call; *returned (may be NULL) gets the bytes written to out.
// Returns 0 or an error number.
int quorlix_driver_control(quorlix_driver_handle h, uint32_t code, const void *in, uint32_t in_len, void *out,
                           uint32_t out_len, uint32_t *returned);

void quorlix_driver_close(quorlix_driver_handle h);

#ifdef __cplusplus
}
#endif
