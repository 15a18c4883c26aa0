#include "platform/driver/driver_sim.h"
#include "platform/driver/console_device.h"
#include "platform/driver/driver.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <vector>

namespace {

constexpr size_t kRegionAlloc = (REGION_SIZE + 4095) / 4096 * 4096;

struct Sim
{
    std::mutex lock;
    std::condition_variable mappedChanged;
    quorlix_driver_handle open = QUORLIX_DRIVER_INVALID;
    quorlix_driver_handle lastHandle = 0;
    uint8_t *region = nullptr;
    uint8_t config[CCFG_SIZE] = {};
    std::vector<std::vector<uint8_t>> setLog;
    uint8_t consoleMac[6] = {};
    uint8_t detected = 0;
    int fail[6] = {};
    bool mapNull = false;
    uint8_t status[DSTATUS_SIZE] = {};
    uint8_t build[DBUILD_SIZE] = {};
    size_t opens = 0;
    size_t maps = 0;
};

Sim *g_sim = nullptr;
std::mutex g_installLock;
// The region as the ring helpers see it, without taking the simulator's lock.
std::atomic<uint8_t *> g_region{nullptr};
std::mutex g_pushLock;
std::mutex g_popLock;

uint32_t tickMs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return uint32_t(uint64_t(ts.tv_sec) * 1000u + uint64_t(ts.tv_nsec) / 1000000u);
}

quorlix_driver_handle simOpen(void *, const char *name, int *error)
{
    std::lock_guard<std::mutex> g(g_installLock);
    Sim *s = g_sim;
    if (!s || strcmp(name, QUORLIX_CONSOLE_DEVICE_NAME) != 0) {
        *error = QUORLIX_DRIVER_ERR_NOT_FOUND;
        return QUORLIX_DRIVER_INVALID;
    }
    std::lock_guard<std::mutex> l(s->lock);
    if (s->fail[QUORLIX_DRVSIM_OPEN]) {
        *error = s->fail[QUORLIX_DRVSIM_OPEN];
        return QUORLIX_DRIVER_INVALID;
    }
    if (s->open != QUORLIX_DRIVER_INVALID) {
        *error = QUORLIX_DRIVER_ERR_SHARING; // opened without sharing
        return QUORLIX_DRIVER_INVALID;
    }
    // The previous region stays valid until now: a finished run may still
    // hold its address.
    free(s->region);
    s->region = static_cast<uint8_t *>(aligned_alloc(4096, kRegionAlloc));
    if (s->region)
        memset(s->region, 0, kRegionAlloc);
    g_region.store(s->region);
    s->open = ++s->lastHandle;
    s->opens++;
    return s->open;
}

int simControl(void *, quorlix_driver_handle h, uint32_t code, const void *in, uint32_t inLen, void *out,
               uint32_t outLen, uint32_t *returned)
{
    std::lock_guard<std::mutex> g(g_installLock);
    Sim *s = g_sim;
    if (!s)
        return QUORLIX_DRIVER_ERR_INVALID_HANDLE;
    std::unique_lock<std::mutex> l(s->lock);
    if (h != s->open)
        return QUORLIX_DRIVER_ERR_INVALID_HANDLE;
    auto reply = [&](int fault, const void *data, uint32_t len) {
        if (fault)
            return fault;
        if (!out || outLen < len)
            return int(QUORLIX_DRIVER_ERR_INSUFFICIENT_BUFFER);
        memcpy(out, data, len);
        if (returned)
            *returned = len;
        return int(QUORLIX_DRIVER_OK);
    };
    switch (code) {
    case CONSOLE_IOCTL_SET_CONSOLE_CONFIG:
        if (!in || inLen < CCFG_SIZE)
            return QUORLIX_DRIVER_ERR_INVALID_PARAMETER;
        // Every record sent is logged, also one the fault switch refuses.
        s->setLog.emplace_back(static_cast<const uint8_t *>(in),
                               static_cast<const uint8_t *>(in) + CCFG_SIZE);
        if (s->fail[QUORLIX_DRVSIM_SET])
            return s->fail[QUORLIX_DRVSIM_SET];
        memcpy(s->config, in, CCFG_SIZE);
        return QUORLIX_DRIVER_OK;
    case CONSOLE_IOCTL_GET_CONSOLE_CONFIG: {
        uint8_t rec[CCFG_SIZE];
        memcpy(rec, s->config, CCFG_SIZE);
        memcpy(rec + CCFG_CONSOLE_MAC, s->consoleMac, 6);
        rec[CCFG_CONSOLE_DETECTED] = s->detected;
        return reply(s->fail[QUORLIX_DRVSIM_GET], rec, CCFG_SIZE);
    }
    case CONSOLE_IOCTL_GET_STATUS:
        return reply(s->fail[QUORLIX_DRVSIM_STATUS], s->status, DSTATUS_SIZE);
    case CONSOLE_IOCTL_GET_BUILD_INFO:
        return reply(s->fail[QUORLIX_DRVSIM_BUILD_INFO], s->build, DBUILD_SIZE);
    case CONSOLE_IOCTL_MAP_SHARED_MEMORY: {
        const uint64_t addr = s->mapNull ? 0 : uint64_t(uintptr_t(s->region));
        const int rc = reply(s->fail[QUORLIX_DRVSIM_MAP], &addr, 8);
        if (rc == QUORLIX_DRIVER_OK) {
            s->maps++;
            s->mappedChanged.notify_all();
        }
        return rc;
    }
    default:
        return QUORLIX_DRIVER_ERR_INVALID_FUNCTION;
    }
}

void simClose(void *, quorlix_driver_handle h)
{
    std::lock_guard<std::mutex> g(g_installLock);
    if (g_sim && h == g_sim->open) {
        std::lock_guard<std::mutex> l(g_sim->lock);
        g_sim->open = QUORLIX_DRIVER_INVALID;
    }
}

const QuorlixDriverBackend kBackend = {simOpen, simControl, simClose};

template <typename F> auto withSim(F f) -> decltype(f(*g_sim))
{
    std::lock_guard<std::mutex> g(g_installLock);
    if (!g_sim)
        return decltype(f(*g_sim))();
    std::lock_guard<std::mutex> l(g_sim->lock);
    return f(*g_sim);
}

} // namespace

extern "C" void quorlix_drvsim_install(void)
{
    quorlix_drvsim_uninstall();
    {
        std::lock_guard<std::mutex> g(g_installLock);
        g_sim = new Sim;
    }
    quorlix_driver_set_backend(&kBackend, nullptr);
}

extern "C" void quorlix_drvsim_uninstall(void)
{
    quorlix_driver_set_backend(nullptr, nullptr);
    std::lock_guard<std::mutex> g(g_installLock);
    std::lock_guard<std::mutex> p(g_pushLock);
    std::lock_guard<std::mutex> q(g_popLock);
    g_region.store(nullptr);
    if (g_sim) {
        free(g_sim->region);
        delete g_sim;
        g_sim = nullptr;
    }
}

extern "C" void quorlix_drvsim_fail(int call, int error)
{
    if (call < 0 || call > QUORLIX_DRVSIM_BUILD_INFO)
        return;
    withSim([&](Sim &s) {
        s.fail[call] = error;
        return 0;
    });
}

extern "C" void quorlix_drvsim_map_null(int on)
{
    withSim([&](Sim &s) {
        s.mapNull = on != 0;
        return 0;
    });
}

extern "C" void quorlix_drvsim_set_console(const uint8_t mac[6], int detected)
{
    withSim([&](Sim &s) {
        memcpy(s.consoleMac, mac, 6);
        s.detected = uint8_t(detected);
        return 0;
    });
}

extern "C" void quorlix_drvsim_set_status(const uint8_t *record)
{
    withSim([&](Sim &s) {
        memcpy(s.status, record, DSTATUS_SIZE);
        return 0;
    });
}

extern "C" void quorlix_drvsim_set_build_info(const uint8_t *record)
{
    withSim([&](Sim &s) {
        memcpy(s.build, record, DBUILD_SIZE);
        return 0;
    });
}

extern "C" size_t quorlix_drvsim_set_count(void)
{
    return withSim([](Sim &s) { return s.setLog.size(); });
}

extern "C" int quorlix_drvsim_set_record(size_t index, uint8_t *out)
{
    return withSim([&](Sim &s) {
        if (index >= s.setLog.size())
            return 0;
        memcpy(out, s.setLog[index].data(), CCFG_SIZE);
        return 1;
    });
}

extern "C" size_t quorlix_drvsim_open_count(void)
{
    return withSim([](Sim &s) { return s.opens; });
}

extern "C" int quorlix_drvsim_is_open(void)
{
    return withSim([](Sim &s) { return s.open != QUORLIX_DRIVER_INVALID ? 1 : 0; });
}

extern "C" uint8_t *quorlix_drvsim_region(void)
{
    return g_region.load();
}

extern "C" int quorlix_drvsim_wait_mapped(size_t count, uint32_t timeout_ms)
{
    std::unique_lock<std::mutex> g(g_installLock);
    Sim *s = g_sim;
    if (!s)
        return 0;
    g.unlock();
    // The simulator is only replaced by install/uninstall, which a test does
    // not run beside its own wait.
    std::unique_lock<std::mutex> l(s->lock);
    return s->mappedChanged.wait_for(l, std::chrono::milliseconds(timeout_ms),
                                     [&] { return s->maps >= count; })
               ? 1
               : 0;
}

extern "C" int quorlix_drvsim_push_rx(const void *frame, size_t len)
{
    std::lock_guard<std::mutex> p(g_pushLock);
    uint8_t *base = g_region.load();
    if (!base || len < 1 || len > RING_MAX_FRAME)
        return -1;
    const uint8_t *ring = base + REGION_RX_RING;
    const uint32_t w = region_load32(ring, RING_W);
    const uint32_t r = region_load32(ring, RING_R);
    if (w >= RING_SLOTS || (w + 1) % RING_SLOTS == r) {
        region_store32(base, REGION_RX_RING + RING_DROPS, region_load32(ring, RING_DROPS) + 1);
        return 0;
    }
    region_publish_slot(base, REGION_RX_RING, w, tickMs(), frame, uint16_t(len));
    region_add64(base, REGION_KERNEL_TOTAL, 1);
    return 1;
}

extern "C" int quorlix_drvsim_pop_u2c(void *buf, size_t cap, size_t *len)
{
    std::lock_guard<std::mutex> q(g_popLock);
    uint8_t *base = g_region.load();
    if (!base)
        return 0;
    const size_t ring = REGION_U2C_RING;
    const uint32_t w = region_load32(base, ring + RING_W);
    const uint32_t r = region_load32(base, ring + RING_R);
    if (w == r || r >= RING_SLOTS)
        return 0;
    region_fence();
    const size_t slot = ring + RING_SLOT0 + size_t(r) * SLOT_SIZE;
    const uint16_t n = region_load16(base, slot + SLOT_LENGTH);
    int rc = -1;
    if (n >= 1 && n <= RING_MAX_FRAME && n <= cap) {
        memcpy(buf, base + slot + SLOT_DATA, n);
        if (len)
            *len = n;
        rc = 1;
    }
    region_fence();
    region_store32(base, ring + RING_R, (r + 1) % RING_SLOTS);
    return rc;
}
