#include "engine/tunnel/tunnel_connmap.h"

#include "engine/common/engine_log.h"

#include <string.h>

namespace {

struct Slot
{
    ConnectionEntry entry;
    uint8_t used;
};

struct Table
{
    Slot slots[TUNNEL_CONNMAP_SLOTS];
    uint32_t used;
};

Table g_bySource;
Table g_byConnId;

const uint32_t kMask = TUNNEL_CONNMAP_SLOTS - 1;

uint32_t le32(uint32_t raw)
{
    uint8_t b[4];
    memcpy(b, &raw, 4);
    return uint32_t(b[0]) | (uint32_t(b[1]) << 8) | (uint32_t(b[2]) << 16) | (uint32_t(b[3]) << 24);
}

uint32_t le16(uint16_t raw)
{
    uint8_t b[2];
    memcpy(b, &raw, 2);
    return uint32_t(b[0]) | (uint32_t(b[1]) << 8);
}

uint32_t homeBySource(uint32_t addr, uint16_t port)
{
    // (A * 31153) XOR (P * -25033), both in 32-bit arithmetic.
    const uint32_t a = le32(addr) * 31153u;
    const uint32_t p = le16(port) * uint32_t(-25033);
    return (a ^ p) & kMask;
}

uint32_t homeByConnId(uint32_t connId)
{
    return (connId * 31153u) & kMask;
}

uint32_t homeOf(const Table &t, const ConnectionEntry &e)
{
    return &t == &g_bySource ? homeBySource(e.src_addr, e.src_port) : homeByConnId(e.conn_id);
}

bool sameSource(const ConnectionEntry &e, uint32_t addr, uint16_t port)
{
    return e.src_addr == addr && e.src_port == port;
}

// Probes from home for a free slot or the slot holding the key; -1 when the
// whole table was probed without stopping.
template <typename Same> long findSlot(Table &t, uint32_t home, Same same)
{
    for (uint32_t i = 0; i < TUNNEL_CONNMAP_SLOTS; ++i) {
        const uint32_t s = (home + i) & kMask;
        if (!t.slots[s].used || same(t.slots[s].entry))
            return long(s);
    }
    return -1;
}

bool expired(const Slot &slot, uint64_t now, uint64_t maxIdle)
{
    return slot.used && now > slot.entry.last_seen && now - slot.entry.last_seen > maxIdle;
}

// Frees slot s and moves later members of its probe chain back, so that every
// remaining entry is still reached from its home slot without meeting a hole.
// The slot is freed first: in a table with every slot taken the walk then
// still ends, at the hole it leaves behind.
void freeSlot(Table &t, uint32_t s)
{
    t.slots[s].used = 0;
    t.used--;
    uint32_t hole = s;
    for (uint32_t j = (s + 1) & kMask; t.slots[j].used; j = (j + 1) & kMask) {
        const uint32_t home = homeOf(t, t.slots[j].entry);
        // The entry at j may fill the hole when its home does not lie
        // cyclically in (hole, j].
        const uint32_t distHome = (j - home) & kMask;
        const uint32_t distHole = (j - hole) & kMask;
        if (distHome >= distHole) {
            t.slots[hole] = t.slots[j];
            t.slots[j].used = 0;
            hole = j;
        }
    }
}

long firstFreeSlot(const Table &t)
{
    for (uint32_t s = 0; s < TUNNEL_CONNMAP_SLOTS; ++s)
        if (!t.slots[s].used)
            return long(s);
    return -1;
}

// Frees every expired entry in one sweep. Freeing them one by one would walk
// the rest of a long chain for each of them (minutes on a nearly full table);
// instead the sweep starts after a free slot, so every entry's home lies
// between that slot and the entry, and each survivor moves back to the first
// free slot from its home on. Slots are only vacated at the sweep's position,
// so no entry already placed ever gets a hole in front of it.
int expireTable(Table &t, uint64_t now, uint64_t maxIdle)
{
    int freed = 0;
    long start = firstFreeSlot(t);
    if (start < 0) {
        // Every slot taken: free one expired entry the ordinary way to get a
        // free slot to start from.
        for (uint32_t s = 0; s < TUNNEL_CONNMAP_SLOTS && start < 0; ++s) {
            if (expired(t.slots[s], now, maxIdle)) {
                freeSlot(t, s);
                ++freed;
                start = firstFreeSlot(t);
            }
        }
        if (start < 0)
            return 0;
    }
    for (uint32_t k = 1; k < TUNNEL_CONNMAP_SLOTS; ++k) {
        const uint32_t j = (uint32_t(start) + k) & kMask;
        Slot &slot = t.slots[j];
        if (!slot.used)
            continue;
        if (expired(slot, now, maxIdle)) {
            slot.used = 0;
            t.used--;
            ++freed;
            continue;
        }
        for (uint32_t q = homeOf(t, slot.entry); q != j; q = (q + 1) & kMask) {
            if (!t.slots[q].used) {
                t.slots[q] = slot;
                slot.used = 0;
                break;
            }
        }
    }
    return freed;
}

} // namespace

int tunnel_connection_store(uint32_t src_addr, uint16_t src_port, uint32_t dst_addr, uint16_t dst_port,
                            uint32_t conn_id, uint64_t now)
{
    const long s = findSlot(g_bySource, homeBySource(src_addr, src_port),
                            [&](const ConnectionEntry &e) { return sameSource(e, src_addr, src_port); });
    if (s < 0) {
        quorlix_log_verbose("[WARNING] Map full, cannot store new connection\n");
        return 0;
    }
    const long c = findSlot(g_byConnId, homeByConnId(conn_id),
                            [&](const ConnectionEntry &e) { return e.conn_id == conn_id; });
    ConnectionEntry e;
    e.src_addr = src_addr;
    e.src_port = src_port;
    e.dst_addr = dst_addr;
    e.dst_port = dst_port;
    e.conn_id = conn_id;
    e.last_seen = now;
    Slot &bs = g_bySource.slots[s];
    if (!bs.used)
        g_bySource.used++;
    bs.used = 1;
    bs.entry = e;
    if (c < 0) {
        quorlix_log_verbose("[WARNING] Connection map full, cannot store new connection\n");
        return 0;
    }
    Slot &bc = g_byConnId.slots[c];
    if (!bc.used)
        g_byConnId.used++;
    bc.used = 1;
    bc.entry = e;
    return 1;
}

int tunnel_connection_find(uint32_t conn_id, ConnectionEntry *out)
{
    const uint32_t home = homeByConnId(conn_id);
    for (uint32_t i = 0; i < TUNNEL_CONNMAP_SLOTS; ++i) {
        const Slot &slot = g_byConnId.slots[(home + i) & kMask];
        if (!slot.used)
            return 0;
        if (slot.entry.conn_id == conn_id) {
            if (out)
                *out = slot.entry;
            return 1;
        }
    }
    return 0;
}

int tunnel_connection_find_source(uint32_t src_addr, uint16_t src_port, ConnectionEntry *out)
{
    const uint32_t home = homeBySource(src_addr, src_port);
    for (uint32_t i = 0; i < TUNNEL_CONNMAP_SLOTS; ++i) {
        const Slot &slot = g_bySource.slots[(home + i) & kMask];
        if (!slot.used)
            return 0;
        if (sameSource(slot.entry, src_addr, src_port)) {
            if (out)
                *out = slot.entry;
            return 1;
        }
    }
    return 0;
}

int tunnel_connection_expire(uint64_t now, uint64_t max_idle_ms)
{
    const int freed = expireTable(g_bySource, now, max_idle_ms);
    expireTable(g_byConnId, now, max_idle_ms);
    return freed;
}

void tunnel_connection_counts(uint32_t *by_source, uint32_t *by_conn_id)
{
    if (by_source)
        *by_source = g_bySource.used;
    if (by_conn_id)
        *by_conn_id = g_byConnId.used;
}

void tunnel_connection_reset(void)
{
    memset(&g_bySource, 0, sizeof g_bySource);
    memset(&g_byConnId, 0, sizeof g_byConnId);
}
