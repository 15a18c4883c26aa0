// The simulated network layer behind the capture handles.
//
// Handle slots live in a static table for the whole process and are only
// recycled once no receive is waiting on them, so a handle closed under a
// blocked receive never leaves that receive touching freed memory. A handle
// number carries its slot's generation: a stale number never reaches the
// slot's next owner.

#include "platform/capture/capture_sim.h"
#include "platform/capture/capture.h"
#include "platform/capture/capture_backend.h"
#include "platform/capture/capture_filter.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string.h>
#include <time.h>
#include <vector>

namespace {

constexpr unsigned kSlots = 64;
constexpr unsigned kIndexBits = 7; // slot index + 1 fits; 0 never names a handle
// Generations stop below the top bit, which marks the other backend's handles.
constexpr unsigned kGenerationBits = 31 - kIndexBits;

struct Packet
{
    std::vector<uint8_t> bytes;
    uint32_t if_index;
    uint8_t outbound;
    uint64_t timestamp_ms;
};

struct Slot
{
    bool in_use = false; // claimed: open, or closed with receives still waking up
    bool open = false;
    uint32_t generation = 0;
    uint64_t open_order = 0;
    quorlix_filter *filter = nullptr;
    std::deque<Packet> queue;
    unsigned waiters = 0;
    std::condition_variable cv;
};

struct Sink
{
    std::deque<Packet> queue;
};

std::mutex g_lock;
Slot g_slots[kSlots];
Sink g_sinks[2];
std::condition_variable g_sink_cv;
std::condition_variable g_state_cv; // handles opened/closed, queues drained
uint64_t g_open_counter = 0;
int g_fail_next_open = 0;
uint64_t g_dropped = 0;

uint64_t now_ms()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

quorlix_capture_handle make_handle(unsigned idx, uint32_t generation)
{
    return quorlix_capture_make_handle(0, kIndexBits, idx, generation);
}

// The open slot a handle names, or nullptr. Caller holds g_lock.
Slot *find_open(quorlix_capture_handle h)
{
    const int idx = quorlix_capture_handle_index(h, 0, kIndexBits, kSlots);
    if (idx < 0)
        return nullptr;
    Slot &s = g_slots[idx];
    if (!s.in_use || !s.open || make_handle(unsigned(idx), s.generation) != h)
        return nullptr;
    return &s;
}

void release_if_unused(Slot &s)
{
    if (!s.open && s.waiters == 0)
        s.in_use = false;
}

// Delivers a packet travelling in the given direction: to the earliest-opened
// handle opened after `after_order` whose filter admits it, else to the sink of
// its direction. Handles stand in the packet's path in opening order, so a
// packet one handle sends moves on past it and can never come back to it (nor
// bounce between two handles). Caller holds g_lock. Returns 1 captured, 0
// passed, -1 dropped.
int route(const void *data, size_t len, bool outbound, uint32_t if_index, uint64_t after_order)
{
    Slot *target = nullptr;
    for (unsigned i = 0; i < kSlots; ++i) {
        Slot &s = g_slots[i];
        if (!s.open || s.open_order <= after_order)
            continue;
        if (target && target->open_order < s.open_order)
            continue;
        if (quorlix_filter_match(s.filter, data, len, outbound ? 1 : 0))
            target = &s;
    }
    std::deque<Packet> &queue =
        target ? target->queue : g_sinks[outbound ? QUORLIX_CAPSIM_WIRE : QUORLIX_CAPSIM_STACK].queue;
    if (queue.size() >= QUORLIX_CAPSIM_QUEUE_LIMIT) {
        ++g_dropped;
        return -1;
    }
    const uint8_t *p = static_cast<const uint8_t *>(data);
    queue.push_back(
        Packet{std::vector<uint8_t>(p, p + len), if_index, static_cast<uint8_t>(outbound), now_ms()});
    if (target) {
        target->cv.notify_all();
        return 1;
    }
    g_sink_cv.notify_all();
    return 0;
}

int push(const void *packet, size_t len, bool outbound, uint32_t if_index)
{
    if (!packet || len == 0 || len > QUORLIX_CAPTURE_MAX_PACKET)
        return -1;
    std::lock_guard<std::mutex> guard(g_lock);
    return route(packet, len, outbound, if_index, 0);
}

bool all_queues_empty()
{
    for (Slot &s : g_slots) {
        if (s.open && !s.queue.empty())
            return false;
    }
    return true;
}

size_t count_open()
{
    size_t n = 0;
    for (Slot &s : g_slots)
        n += s.open ? 1 : 0;
    return n;
}

size_t count_receivers()
{
    size_t n = 0;
    for (Slot &s : g_slots)
        n += s.open ? s.waiters : 0;
    return n;
}

// Waits until `reached` holds (1) or timeout_ms passes (0); `reached` runs
// under g_lock each time the state changes.
template <typename Reached> int wait_state(uint32_t timeout_ms, Reached reached)
{
    std::unique_lock<std::mutex> lock(g_lock);
    return g_state_cv.wait_for(lock, std::chrono::milliseconds(timeout_ms), reached) ? 1 : 0;
}

} // namespace

// ---- capture handles ---------------------------------------------------------

extern "C" quorlix_capture_handle quorlix_capture_sim_open(const char *filter, int *error)
{
    int dummy;
    int &err = error ? *error : dummy;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        if (g_fail_next_open) {
            err = g_fail_next_open;
            g_fail_next_open = 0;
            return QUORLIX_CAPTURE_INVALID;
        }
    }
    size_t error_pos = 0;
    quorlix_filter *compiled = quorlix_filter_compile(filter, &error_pos);
    if (!compiled) {
        err = error_pos == static_cast<size_t>(-1) ? QUORLIX_CAPTURE_ERR_NO_MEMORY
                                                   : QUORLIX_CAPTURE_ERR_FILTER_SYNTAX;
        return QUORLIX_CAPTURE_INVALID;
    }
    std::lock_guard<std::mutex> guard(g_lock);
    for (unsigned i = 0; i < kSlots; ++i) {
        Slot &s = g_slots[i];
        if (s.in_use)
            continue;
        s.in_use = true;
        s.open = true;
        s.generation = (s.generation + 1) & ((1u << kGenerationBits) - 1);
        if (s.generation == 0)
            s.generation = 1;
        s.open_order = ++g_open_counter;
        s.filter = compiled;
        s.queue.clear();
        g_state_cv.notify_all();
        err = QUORLIX_CAPTURE_OK;
        return make_handle(i, s.generation);
    }
    quorlix_filter_free(compiled);
    err = QUORLIX_CAPTURE_ERR_TOO_MANY;
    return QUORLIX_CAPTURE_INVALID;
}

extern "C" int quorlix_capture_sim_recv(quorlix_capture_handle h, void *buf, size_t cap, size_t *len,
                                        quorlix_capture_addr *addr)
{
    std::unique_lock<std::mutex> lock(g_lock);
    Slot *s = find_open(h);
    if (!s)
        return QUORLIX_CAPTURE_ERR_INVALID_HANDLE;
    ++s->waiters;
    g_state_cv.notify_all();
    s->cv.wait(lock, [s] { return !s->open || !s->queue.empty(); });
    --s->waiters;
    if (!s->open) {
        release_if_unused(*s);
        return QUORLIX_CAPTURE_ERR_CLOSED;
    }
    Packet pkt = std::move(s->queue.front());
    s->queue.pop_front();
    if (s->queue.empty())
        g_state_cv.notify_all();
    if (!buf || pkt.bytes.size() > cap)
        return QUORLIX_CAPTURE_ERR_BUFFER_TOO_SMALL;
    memcpy(buf, pkt.bytes.data(), pkt.bytes.size());
    if (len)
        *len = pkt.bytes.size();
    if (addr) {
        memset(addr, 0, sizeof *addr);
        addr->if_index = pkt.if_index;
        addr->outbound = pkt.outbound;
        addr->timestamp_ms = pkt.timestamp_ms;
    }
    return QUORLIX_CAPTURE_OK;
}

extern "C" int quorlix_capture_sim_send(quorlix_capture_handle h, const void *packet, size_t len,
                                        const quorlix_capture_addr *addr)
{
    std::lock_guard<std::mutex> guard(g_lock);
    Slot *s = find_open(h);
    if (!s)
        return QUORLIX_CAPTURE_ERR_INVALID_HANDLE;
    if (!packet || !addr || len == 0 || len > QUORLIX_CAPTURE_MAX_PACKET)
        return QUORLIX_CAPTURE_ERR_BAD_PACKET;
    // A full downstream queue loses the packet, as a congested stack would; the
    // send itself succeeded.
    route(packet, len, addr->outbound != 0, addr->if_index, s->open_order);
    return QUORLIX_CAPTURE_OK;
}

extern "C" void quorlix_capture_sim_close(quorlix_capture_handle h)
{
    std::lock_guard<std::mutex> guard(g_lock);
    Slot *s = find_open(h);
    if (!s)
        return;
    s->open = false;
    s->queue.clear();
    quorlix_filter_free(s->filter);
    s->filter = nullptr;
    s->cv.notify_all();
    release_if_unused(*s);
    g_state_cv.notify_all();
}

// ---- simulator controls ------------------------------------------------------

extern "C" void quorlix_capsim_reset(void)
{
    std::lock_guard<std::mutex> guard(g_lock);
    g_sinks[0].queue.clear();
    g_sinks[1].queue.clear();
    g_fail_next_open = 0;
    g_dropped = 0;
}

extern "C" int quorlix_capsim_push_outbound(const void *packet, size_t len, uint32_t if_index)
{
    return push(packet, len, true, if_index);
}

extern "C" int quorlix_capsim_push_inbound(const void *packet, size_t len, uint32_t if_index)
{
    return push(packet, len, false, if_index);
}

extern "C" int quorlix_capsim_take(int sink, void *buf, size_t cap, size_t *len, uint32_t *if_index,
                                   uint32_t timeout_ms)
{
    if (sink != QUORLIX_CAPSIM_WIRE && sink != QUORLIX_CAPSIM_STACK)
        return 0;
    std::unique_lock<std::mutex> lock(g_lock);
    std::deque<Packet> &q = g_sinks[sink].queue;
    if (!g_sink_cv.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&q] { return !q.empty(); }))
        return 0;
    Packet &pkt = q.front();
    if (!buf || pkt.bytes.size() > cap)
        return -1;
    memcpy(buf, pkt.bytes.data(), pkt.bytes.size());
    if (len)
        *len = pkt.bytes.size();
    if (if_index)
        *if_index = pkt.if_index;
    q.pop_front();
    return 1;
}

extern "C" size_t quorlix_capsim_pending(int sink)
{
    if (sink != QUORLIX_CAPSIM_WIRE && sink != QUORLIX_CAPSIM_STACK)
        return 0;
    std::lock_guard<std::mutex> guard(g_lock);
    return g_sinks[sink].queue.size();
}

extern "C" size_t quorlix_capsim_open_handles(void)
{
    std::lock_guard<std::mutex> guard(g_lock);
    return count_open();
}

extern "C" int quorlix_capsim_wait_open_handles(size_t count, uint32_t timeout_ms)
{
    return wait_state(timeout_ms, [count] { return count_open() >= count; });
}

extern "C" int quorlix_capsim_wait_receivers(size_t count, uint32_t timeout_ms)
{
    return wait_state(timeout_ms, [count] { return count_receivers() >= count; });
}

extern "C" int quorlix_capsim_wait_idle(uint32_t timeout_ms)
{
    return wait_state(timeout_ms, [] { return all_queues_empty(); });
}

extern "C" void quorlix_capsim_fail_next_open(int error)
{
    std::lock_guard<std::mutex> guard(g_lock);
    g_fail_next_open = error;
}

extern "C" uint64_t quorlix_capsim_dropped(void)
{
    std::lock_guard<std::mutex> guard(g_lock);
    return g_dropped;
}
