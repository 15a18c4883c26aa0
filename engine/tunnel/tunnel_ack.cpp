#include "engine/tunnel/tunnel_ack.h"

#include "engine/common/engine_clock.h"

#include <atomic>
#include <string.h>

namespace {

AckSlot g_slots[TUNNEL_ACK_SLOTS];
bool g_in_use[TUNNEL_ACK_SLOTS];
unsigned g_last_found = 0; // index of the slot the last lookup returned
std::atomic<uint64_t> g_tx_sent{0};
std::atomic<uint64_t> g_tx_acked{0};
std::atomic<uint64_t> g_tx_lost{0};
std::atomic<int> g_relay_acknowledged{0};

// Only the engine thread writes the counters, so a relaxed load-add-store is
// enough; the atomics are there for the GUI thread's untorn reads.
void bump(std::atomic<uint64_t> &c)
{
    c.store(c.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
}

void resolve_acked(AckSlot *slot, uint32_t seq)
{
    TunnelSendRecord &r = slot->ring[seq % TUNNEL_ACK_RING];
    if (r.state == TUNNEL_SEND_SENT && r.seq == seq) {
        r.state = TUNNEL_SEND_ACKED;
        bump(g_tx_acked);
    }
}

} // namespace

extern "C" void tunnel_bitmap128_shift_left(uint32_t bm[4], uint32_t n)
{
    if (n == 0)
        return;
    if (n >= 128) {
        bm[0] = bm[1] = bm[2] = bm[3] = 0;
        return;
    }
    uint32_t words = n / 32;
    uint32_t bits = n % 32;
    for (int i = 3; i >= 0; --i) {
        int src = i - static_cast<int>(words);
        uint32_t v = 0;
        if (src >= 0) {
            v = bm[src] << bits;
            if (bits && src >= 1)
                v |= bm[src - 1] >> (32 - bits);
        }
        bm[i] = v;
    }
}

extern "C" AckSlot *tunnel_ack_slot_lookup(uint32_t relay_addr, uint16_t relay_port, int create)
{
    return tunnel_ack_slot_lookup_at(relay_addr, relay_port, create, quorlix_now_ms());
}

namespace {

__attribute__((noinline)) AckSlot *slot_scan(uint32_t relay_addr, uint16_t relay_port, int create,
                                             uint64_t now)
{
    for (unsigned i = 0; i < TUNNEL_ACK_SLOTS; ++i) {
        if (g_in_use[i] && g_slots[i].relay_addr == relay_addr && g_slots[i].relay_port == relay_port) {
            g_slots[i].last_use = now;
            g_last_found = i;
            return &g_slots[i];
        }
    }
    if (!create)
        return nullptr;
    unsigned pick = TUNNEL_ACK_SLOTS;
    for (unsigned i = 0; i < TUNNEL_ACK_SLOTS; ++i) {
        if (!g_in_use[i]) {
            pick = i;
            break;
        }
    }
    if (pick == TUNNEL_ACK_SLOTS) {
        pick = 0;
        for (unsigned i = 1; i < TUNNEL_ACK_SLOTS; ++i) {
            if (g_slots[i].last_use < g_slots[pick].last_use)
                pick = i;
        }
    }
    AckSlot *s = &g_slots[pick];
    memset(s, 0, sizeof *s);
    s->relay_addr = relay_addr;
    s->relay_port = relay_port;
    s->next_seq = 1;
    s->last_use = now;
    g_in_use[pick] = true;
    g_last_found = pick;
    return s;
}

} // namespace

extern "C" AckSlot *tunnel_ack_slot_lookup_at(uint32_t relay_addr, uint16_t relay_port, int create,
                                              uint64_t now)
{
    // Nearly every datagram goes to the relay the one before went to. A relay
    // holds at most one slot (one is claimed only when none matches), so the
    // slot found last time is the one the scan would find.
    AckSlot &last = g_slots[g_last_found];
    if (g_in_use[g_last_found] && last.relay_addr == relay_addr && last.relay_port == relay_port) {
        last.last_use = now;
        return &last;
    }
    return slot_scan(relay_addr, relay_port, create, now);
}

extern "C" uint32_t tunnel_ack_on_send(AckSlot *slot)
{
    uint32_t s = slot->next_seq;
    slot->next_seq = s + 1;
    if (slot->next_seq == 0)
        slot->loss_floor = 0; // numbering starts over; the old floor would hide the new records
    slot->ring[s % TUNNEL_ACK_RING] = TunnelSendRecord{s, TUNNEL_SEND_SENT};
    bump(g_tx_sent);
    return s;
}

extern "C" void tunnel_ack_on_receive(AckSlot *slot, uint32_t q, uint32_t a, const uint32_t w[4])
{
    if (q != 0) {
        if (!slot->has_received) {
            slot->highest_received = q;
            memset(slot->recv_bitmap, 0, sizeof slot->recv_bitmap);
            slot->has_received = 1;
        } else if (q > slot->highest_received) {
            uint32_t d = q - slot->highest_received;
            tunnel_bitmap128_shift_left(slot->recv_bitmap, d);
            if (d - 1 <= 127)
                slot->recv_bitmap[(d - 1) / 32] |= 1u << ((d - 1) % 32);
            slot->highest_received = q;
        } else if (q < slot->highest_received) {
            uint32_t d = slot->highest_received - q - 1;
            if (d <= 127)
                slot->recv_bitmap[d / 32] |= 1u << (d % 32);
        }
    }
    slot->acknowledging = 1;
    g_relay_acknowledged.store(1, std::memory_order_relaxed);

    // An acknowledgement of a number we never sent cannot be genuine (a relay
    // still acking a previous run, or a forged datagram); taken at its word it
    // would declare every outstanding datagram lost at once.
    if (a >= slot->next_seq)
        return;

    if (a != 0)
        resolve_acked(slot, a);
    for (uint32_t i = 0; i < TUNNEL_ACK_WINDOW; ++i) {
        if (!(w[i / 32] & (1u << (i % 32))))
            continue;
        uint32_t s = a - 1 - i;
        if (s != 0)
            resolve_acked(slot, s);
    }
    // Every record still pending below a - 128 is lost. Only sequence numbers
    // from the floor (everything below it was settled by an earlier sweep, and
    // whatever is sent later is numbered above a, since acknowledgements of
    // numbers not yet sent were turned away above) and within the last ring's
    // worth of sends (older records have been overwritten) can still be
    // pending, so the sweep visits those instead of all 4096 records: the same
    // records are declared lost, without a full walk on every acknowledgement.
    if (a > TUNNEL_ACK_WINDOW) {
        uint32_t horizon = a - TUNNEL_ACK_WINDOW;
        uint32_t from = slot->next_seq > TUNNEL_ACK_RING ? slot->next_seq - TUNNEL_ACK_RING : 1;
        if (from < slot->loss_floor)
            from = slot->loss_floor;
        for (uint32_t s = from; s < horizon; ++s) {
            TunnelSendRecord &r = slot->ring[s % TUNNEL_ACK_RING];
            if (r.state == TUNNEL_SEND_SENT && r.seq == s) {
                r.state = TUNNEL_SEND_LOST;
                bump(g_tx_lost);
            }
        }
        if (horizon > slot->loss_floor)
            slot->loss_floor = horizon;
    }
}

extern "C" uint64_t tunnel_ack_tx_sent(void)
{
    return g_tx_sent.load(std::memory_order_relaxed);
}

extern "C" uint64_t tunnel_ack_tx_acked(void)
{
    return g_tx_acked.load(std::memory_order_relaxed);
}

extern "C" uint64_t tunnel_ack_tx_lost(void)
{
    return g_tx_lost.load(std::memory_order_relaxed);
}

extern "C" int tunnel_ack_relay_acknowledged(void)
{
    return g_relay_acknowledged.load(std::memory_order_relaxed);
}

extern "C" void tunnel_ack_reset(void)
{
    memset(g_slots, 0, sizeof g_slots);
    memset(g_in_use, 0, sizeof g_in_use);
    g_tx_sent.store(0, std::memory_order_relaxed);
    g_tx_acked.store(0, std::memory_order_relaxed);
    g_tx_lost.store(0, std::memory_order_relaxed);
}

extern "C" const AckSlot *tunnel_ack_slot_at(unsigned i)
{
    return i < TUNNEL_ACK_SLOTS && g_in_use[i] ? &g_slots[i] : nullptr;
}
