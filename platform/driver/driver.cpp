#include "platform/driver/driver.h"

#include <atomic>

namespace {
std::atomic<const QuorlixDriverBackend *> g_backend{nullptr};
std::atomic<void *> g_ctx{nullptr};
} // namespace

extern "C" void quorlix_driver_set_backend(const QuorlixDriverBackend *backend, void *ctx)
{
    g_ctx.store(ctx);
    g_backend.store(backend);
}

extern "C" quorlix_driver_handle quorlix_driver_open(const char *name, int *error)
{
    const QuorlixDriverBackend *b = g_backend.load();
    int err = QUORLIX_DRIVER_ERR_NOT_FOUND;
    quorlix_driver_handle h = QUORLIX_DRIVER_INVALID;
    if (b && name)
        h = b->open(g_ctx.load(), name, &err);
    if (h == QUORLIX_DRIVER_INVALID && error)
        *error = err;
    return h;
}

extern "C" int quorlix_driver_control(quorlix_driver_handle h, uint32_t code, const void *in, uint32_t in_len,
                                      void *out, uint32_t out_len, uint32_t *returned)
{
    if (returned)
        *returned = 0;
    const QuorlixDriverBackend *b = g_backend.load();
    if (!b || h == QUORLIX_DRIVER_INVALID)
        return QUORLIX_DRIVER_ERR_INVALID_HANDLE;
    return b->control(g_ctx.load(), h, code, in, in_len, out, out_len, returned);
}

extern "C" void quorlix_driver_close(quorlix_driver_handle h)
{
    const QuorlixDriverBackend *b = g_backend.load();
    if (b && h != QUORLIX_DRIVER_INVALID)
        b->close(g_ctx.load(), h);
}
