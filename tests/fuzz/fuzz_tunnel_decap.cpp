// fuzz-sources: engine/tunnel/tunnel_proto.cpp engine/tunnel/tunnel_ack.cpp engine/tunnel/tunnel_mtu.cpp
// fuzz-sources: engine/common/engine_log.cpp engine/common/engine_clock.cpp
//
// The relay datagram decoder on hostile bytes, feeding the acknowledgement
// state; the first byte picks one of four relays so slots are shared and
// recycled across inputs. Each accepted datagram is answered with an encoded
// one to the same relay, so the send ring and the loss sweep run too.

#include "engine/common/engine_log.h"
#include "engine/tunnel/tunnel_ack.h"
#include "engine/tunnel/tunnel_proto.h"

#include <stdlib.h>
#include <string.h>

namespace {
void quiet(int, const char *, size_t, void *) {}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static bool once = [] {
        quorlix_log_set_sink(quiet, nullptr);
        return true;
    }();
    (void)once;
    if (size < 1)
        return 0;
    uint32_t relay = 0x010200C0u + (uint32_t(data[0] & 3) << 24);
    uint16_t port = uint16_t(50000 + (data[0] >> 6));
    ++data;
    --size;

    // Exactly sized copies so any read or write past them is caught.
    uint8_t *dgram = static_cast<uint8_t *>(malloc(size ? size : 1));
    memcpy(dgram, data, size);
    size_t cap = size > 16 ? size - 16 : 1;
    uint8_t *out = static_cast<uint8_t *>(malloc(cap));
    TunnelDecoded res;
    int ok = tunnel_decapsulate(dgram, size, out, cap, relay, port, &res);
    if (ok) {
        if (res.payload_len > cap || res.header_len < 16 || res.header_len > size ||
            res.payload_len != size - res.header_len ||
            memcmp(out, dgram + res.header_len, res.payload_len) != 0)
            abort();
        uint8_t enc[40 + 64];
        uint32_t inner = res.payload_len < 64 ? res.payload_len : 64;
        uint32_t n = tunnel_encapsulate(out, inner, enc, sizeof enc, 17, 1, 2, 3, 4, relay, port);
        if (n && (n < 16 + inner || tunnel_load_be16(enc + 8) + inner != n))
            abort();
    }
    if (tunnel_ack_tx_acked() + tunnel_ack_tx_lost() > tunnel_ack_tx_sent())
        abort();
    // The loss sweep visits only sequence numbers from the slot's floor up, so
    // nothing below the floor may ever be left pending. Checked on the slot an
    // acknowledgement just went through (a full scan of every slot on every
    // input would slow the fuzzer a hundredfold).
    if (ok && (res.flags & TUNNEL_FLAG_DATA) && res.header_len >= TUNNEL_HEADER_ACK_MIN) {
        for (unsigned i = 0; i < TUNNEL_ACK_SLOTS; ++i) {
            const AckSlot *slot = tunnel_ack_slot_at(i);
            if (!slot || slot->relay_addr != relay || slot->relay_port != port)
                continue;
            for (const TunnelSendRecord &r : slot->ring) {
                if (r.state == TUNNEL_SEND_SENT && r.seq < slot->loss_floor)
                    abort();
            }
        }
    }
    free(out);
    free(dgram);
    return 0;
}
