#include "engine/tunnel/tunnel_proto.h"

#include "engine/common/engine_clock.h"
#include "engine/tunnel/tunnel_ack.h"
#include "engine/tunnel/tunnel_mtu.h"

namespace {

void write_header(uint8_t *out, uint32_t header_len, const TunnelEncapRequest &req, AckSlot *slot)
{
    tunnel_header_write(out, TUNNEL_FLAG_DATA, req.protocol, req.dst_port_raw, req.conn_id,
                        static_cast<uint16_t>(header_len), req.dst_addr_raw);
    if (header_len == TUNNEL_HEADER_ACK_LEN) {
        uint32_t seq = tunnel_ack_on_send(slot);
        tunnel_store_be32(out + TUNNEL_OFF_SEQ, seq);
        tunnel_store_be32(out + TUNNEL_OFF_ACK, slot->has_received ? slot->highest_received : 0);
        for (int i = 0; i < 4; ++i)
            tunnel_store_be32(out + TUNNEL_OFF_BITMAP + 4 * i, slot->recv_bitmap[i]);
    }
}

// The acknowledgement extension of a received datagram (header of 28 bytes
// or more), applied to the relay's state.
__attribute__((noinline)) void apply_ack_extension(const uint8_t *dgram, uint16_t header_len,
                                                   uint32_t relay_addr, uint16_t relay_port, uint64_t now)
{
    uint32_t seq = tunnel_load_be32(dgram + TUNNEL_OFF_SEQ);
    uint32_t ack = tunnel_load_be32(dgram + TUNNEL_OFF_ACK);
    uint32_t words[4] = {tunnel_load_be32(dgram + TUNNEL_OFF_BITMAP), 0, 0, 0};
    if (header_len >= TUNNEL_HEADER_ACK_LEN) {
        for (int i = 1; i < 4; ++i)
            words[i] = tunnel_load_be32(dgram + TUNNEL_OFF_BITMAP + 4 * i);
    }
    AckSlot *slot = tunnel_ack_slot_lookup_at(relay_addr, relay_port, 1, now);
    tunnel_ack_on_receive(slot, seq, ack, words);
}

} // namespace

uint32_t tunnel_encapsulate_packet(uint8_t *inner, uint32_t inner_len, size_t headroom, uint8_t *spare,
                                   uint32_t spare_cap, const TunnelEncapRequest *req, uint8_t **datagram)
{
    if (!inner && inner_len)
        return 0;
    AckSlot *slot = tunnel_ack_slot_lookup_at(req->relay_addr, req->relay_port, 1, req->now);
    const uint32_t header_len = slot->acknowledging ? TUNNEL_HEADER_ACK_LEN : TUNNEL_HEADER_LEN;
    if (!tunnel_mtu_size_test(header_len, inner_len))
        return 0;
    uint8_t *out;
    if (inner && headroom >= TUNNEL_HEADER_ACK_LEN) {
        out = inner - header_len;
    } else {
        // The caller's buffer is sized for the largest safe MTU; a shortfall
        // here is a caller bug, refused before a sequence number is spent.
        if (!spare || static_cast<uint64_t>(header_len) + inner_len > spare_cap)
            return 0;
        out = spare;
        if (inner_len)
            memcpy(out + header_len, inner, inner_len);
    }
    write_header(out, header_len, *req, slot);
    *datagram = out;
    return header_len + inner_len;
}

uint32_t tunnel_encapsulate(const uint8_t *inner, uint32_t inner_len, uint8_t *out, uint32_t out_cap,
                            uint8_t protocol, uint32_t src_addr_raw, uint16_t src_port_raw,
                            uint32_t dst_addr_raw, uint16_t dst_port_raw, uint32_t relay_addr,
                            uint16_t relay_port)
{
    if (!out || (!inner && inner_len))
        return 0;
    TunnelEncapRequest req;
    req.conn_id = tunnel_conn_id(src_addr_raw, src_port_raw, dst_addr_raw, dst_port_raw);
    req.dst_addr_raw = dst_addr_raw;
    req.dst_port_raw = dst_port_raw;
    req.protocol = protocol;
    req.relay_addr = relay_addr;
    req.relay_port = relay_port;
    req.now = quorlix_now_ms();
    uint8_t *datagram;
    // No room is claimed in front of the caller's packet: it is copied.
    return tunnel_encapsulate_packet(const_cast<uint8_t *>(inner), inner_len, 0, out, out_cap, &req,
                                     &datagram);
}

int tunnel_decapsulate_view(const uint8_t *dgram, size_t len, uint32_t relay_addr, uint16_t relay_port,
                            uint64_t now, TunnelDecoded *res, const uint8_t **payload)
{
    if (!dgram || !res || !payload || len < TUNNEL_HEADER_LEN)
        return 0;
    if ((dgram[TUNNEL_OFF_VERFLAGS] >> 4) != TUNNEL_VERSION)
        return 0;
    uint8_t protocol = dgram[TUNNEL_OFF_PROTO];
    if (protocol != TUNNEL_PROTO_NONE && protocol != TUNNEL_PROTO_UDP && protocol != TUNNEL_PROTO_TCP)
        return 0;
    uint16_t header_len = tunnel_load_be16(dgram + TUNNEL_OFF_HDR_LEN);
    if (header_len < TUNNEL_HEADER_LEN || header_len > len)
        return 0;

    res->conn_id = tunnel_load_be32(dgram + TUNNEL_OFF_CONN_ID);
    memcpy(&res->dst_addr_raw, dgram + TUNNEL_OFF_DST_ADDR, 4);
    memcpy(&res->dst_port_raw, dgram + TUNNEL_OFF_DST_PORT, 2);
    res->protocol = protocol;
    res->flags = dgram[TUNNEL_OFF_VERFLAGS] & 0x0Fu;
    res->header_len = header_len;

    if ((res->flags & TUNNEL_FLAG_DATA) && header_len >= TUNNEL_HEADER_ACK_MIN)
        apply_ack_extension(dgram, header_len, relay_addr, relay_port, now);

    res->payload_len = static_cast<uint32_t>(len - header_len);
    *payload = dgram + header_len;
    return 1;
}

int tunnel_decapsulate(const uint8_t *dgram, size_t len, uint8_t *out, size_t out_cap, uint32_t relay_addr,
                       uint16_t relay_port, TunnelDecoded *res)
{
    if (!dgram || !res || len < TUNNEL_HEADER_LEN)
        return 0;
    // The payload must fit before anything (the acknowledgement state
    // included) is touched.
    const uint16_t header_len = tunnel_load_be16(dgram + TUNNEL_OFF_HDR_LEN);
    const size_t payload_len = header_len <= len ? len - header_len : 0;
    if (payload_len && (!out || payload_len > out_cap))
        return 0;
    TunnelDecoded decoded;
    const uint8_t *payload;
    if (!tunnel_decapsulate_view(dgram, len, relay_addr, relay_port, quorlix_now_ms(), &decoded, &payload))
        return 0;
    if (decoded.payload_len)
        memcpy(out, payload, decoded.payload_len);
    *res = decoded;
    return 1;
}
