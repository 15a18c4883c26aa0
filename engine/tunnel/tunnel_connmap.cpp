#include "engine/tunnel/tunnel_connmap.h"

#include "engine/common/engine_log.h"

#include <string.h>

namespace {

// One slot: the entry and its flags in 32 bytes on a 32-byte boundary, so a
// look-up that finds its key in the home slot reads one cache line.
struct alignas(32) Slot
{
    ConnectionEntry entry;
    uint8_t used;
    // By-ConnID table only: the by-source table's entry for this flow's source
    // holds this very flow, and storing the flow again refreshes it through
    // this slot (see tunnel_connection_store).
    uint8_t holdsSource;
};
static_assert(sizeof(Slot) == 32, "a slot must not straddle a cache line");

struct Table
{
    alignas(64) Slot slots[TUNNEL_CONNMAP_SLOTS];
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

bool sameFlow(const ConnectionEntry &a, const ConnectionEntry &b)
{
    return a.conn_id == b.conn_id && a.src_addr == b.src_addr && a.dst_addr == b.dst_addr &&
           a.src_port == b.src_port && a.dst_port == b.dst_port;
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

// The occupied slot holding the key, or null.
Slot *findSource(uint32_t addr, uint16_t port)
{
    const long s = findSlot(g_bySource, homeBySource(addr, port),
                            [&](const ConnectionEntry &e) { return sameSource(e, addr, port); });
    return s >= 0 && g_bySource.slots[s].used ? &g_bySource.slots[s] : nullptr;
}

Slot *findConnId(uint32_t connId)
{
    const long s = findSlot(g_byConnId, homeByConnId(connId),
                            [&](const ConnectionEntry &e) { return e.conn_id == connId; });
    return s >= 0 && g_byConnId.slots[s].used ? &g_byConnId.slots[s] : nullptr;
}

// The by-ConnID slot through which the source entry is refreshed, or null.
Slot *refresherOf(const Slot &source)
{
    Slot *c = findConnId(source.entry.conn_id);
    return c && c->holdsSource && sameFlow(c->entry, source.entry) ? c : nullptr;
}

// When the source entry was last stored: its own time, or a later store of
// the same flow that refreshed only the by-ConnID entry.
uint64_t sourceLastSeen(const Slot &source)
{
    const Slot *c = refresherOf(source);
    return c && c->entry.last_seen > source.entry.last_seen ? c->entry.last_seen : source.entry.last_seen;
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

__attribute__((noinline)) int storeBothTables(uint32_t src_addr, uint16_t src_port, uint32_t dst_addr,
                                              uint16_t dst_port, uint32_t conn_id, uint64_t now)
{
    ConnectionEntry e;
    memset(&e, 0, sizeof e);
    e.src_addr = src_addr;
    e.dst_addr = dst_addr;
    e.conn_id = conn_id;
    e.src_port = src_port;
    e.dst_port = dst_port;
    e.last_seen = now;

    const long s = findSlot(g_bySource, homeBySource(src_addr, src_port),
                            [&](const ConnectionEntry &x) { return sameSource(x, src_addr, src_port); });
    if (s < 0) {
        quorlix_log_verbose("[WARNING] Map full, cannot store new connection\n");
        return 0;
    }
    Slot &bs = g_bySource.slots[s];
    if (bs.used) {
        if (Slot *previous = refresherOf(bs))
            previous->holdsSource = 0; // the source entry is about to be rewritten
    } else {
        g_bySource.used++;
    }
    bs.used = 1;
    bs.holdsSource = 0;
    bs.entry = e;

    const long c = findSlot(g_byConnId, homeByConnId(conn_id),
                            [&](const ConnectionEntry &x) { return x.conn_id == conn_id; });
    if (c < 0) {
        quorlix_log_verbose("[WARNING] Connection map full, cannot store new connection\n");
        return 0;
    }
    Slot &bc = g_byConnId.slots[c];
    if (bc.used) {
        // Another flow with the same ConnID gives way: the source entry it
        // kept fresh takes its time first.
        if (bc.holdsSource && !sameFlow(bc.entry, e)) {
            if (Slot *source = findSource(bc.entry.src_addr, bc.entry.src_port)) {
                if (sameFlow(source->entry, bc.entry) && bc.entry.last_seen > source->entry.last_seen)
                    source->entry.last_seen = bc.entry.last_seen;
            }
        }
    } else {
        g_byConnId.used++;
    }
    bc.used = 1;
    bc.holdsSource = 1;
    bc.entry = e;
    return 1;
}

} // namespace

// Both tables take every stored flow. The by-source entry of a flow that goes
// on sending is the same entry packet after packet, so it is refreshed
// lazily: while the by-ConnID slot of the flow is marked as holding its
// source, storing the flow again only refreshes that one slot (one cache line
// when it lies in its home slot), and the source entry's time is taken as the
// later of its own and that slot's wherever it is read. The mark is cleared
// whenever the source entry gets another flow, and the slot's time is handed
// to the source entry whenever the slot gets another flow.
int tunnel_connection_store(uint32_t src_addr, uint16_t src_port, uint32_t dst_addr, uint16_t dst_port,
                            uint32_t conn_id, uint64_t now)
{
    Slot &home = g_byConnId.slots[homeByConnId(conn_id)];
    if (home.used && home.holdsSource && home.entry.conn_id == conn_id && home.entry.src_addr == src_addr &&
        home.entry.dst_addr == dst_addr && home.entry.src_port == src_port &&
        home.entry.dst_port == dst_port) {
        home.entry.last_seen = now;
        return 1;
    }
    return storeBothTables(src_addr, src_port, dst_addr, dst_port, conn_id, now);
}

int tunnel_connection_find(uint32_t conn_id, ConnectionEntry *out)
{
    // A relay's reply names a flow that is nearly always in its home slot.
    const Slot &home = g_byConnId.slots[homeByConnId(conn_id)];
    const Slot *slot = home.used && home.entry.conn_id == conn_id ? &home : findConnId(conn_id);
    if (!slot)
        return 0;
    if (out)
        *out = slot->entry;
    return 1;
}

int tunnel_connection_find_source(uint32_t src_addr, uint16_t src_port, ConnectionEntry *out)
{
    const Slot *slot = findSource(src_addr, src_port);
    if (!slot)
        return 0;
    if (out) {
        *out = slot->entry;
        out->last_seen = sourceLastSeen(*slot);
    }
    return 1;
}

int tunnel_connection_expire(uint64_t now, uint64_t max_idle_ms)
{
    // The source entries first take the times their flows were last stored
    // at, so both sweeps judge every entry by its true age. A source entry
    // is then never younger than the slot that refreshes it, so whenever the
    // sweep frees a source entry it frees that slot too: no mark outlives the
    // entry it stands for.
    for (Slot &c : g_byConnId.slots) {
        if (!c.used || !c.holdsSource)
            continue;
        Slot *source = findSource(c.entry.src_addr, c.entry.src_port);
        if (source && sameFlow(source->entry, c.entry) && c.entry.last_seen > source->entry.last_seen)
            source->entry.last_seen = c.entry.last_seen;
    }
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
