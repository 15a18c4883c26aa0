// Cost of wrapping a captured packet into a relay datagram and unwrapping a
// relay datagram, next to the plain copies the same bytes need anyway.
//
//   Memcpy/N        copy N bytes into the datagram buffer and N bytes out of
//                   it (the two copies the tunnel cannot avoid)
//   EncapDecap/N    tunnel_encapsulate + tunnel_decapsulate of an N-byte
//                   packet, 16-byte header (relay not acknowledging)
//   EncapDecapAck/N the same with the 40-byte header: every send is numbered
//                   and every decode applies an acknowledgement (with its
//                   receive-bitmap walk and loss sweep)

#include "engine/common/engine_log.h"
#include "engine/tunnel/tunnel_ack.h"
#include "engine/tunnel/tunnel_mtu.h"
#include "engine/tunnel/tunnel_proto.h"

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <string.h>
#include <vector>

namespace {

const uint32_t kRelay = inet_addr("192.0.2.1");

void quiet(int, const char *, size_t, void *) {}

void fresh()
{
    quorlix_log_set_sink(quiet, nullptr);
    tunnel_ack_reset();
    tunnel_mtu_reset_defaults();
}

void BM_Memcpy(benchmark::State &state)
{
    const size_t n = size_t(state.range(0));
    std::vector<uint8_t> inner(n, 0x45), wire(n + 40), out(65536);
    for (auto _ : state) {
        memcpy(wire.data() + 16, inner.data(), n);
        benchmark::ClobberMemory();
        memcpy(out.data(), wire.data() + 16, n);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(n));
}

void run(benchmark::State &state, bool acking)
{
    fresh();
    const uint32_t n = uint32_t(state.range(0));
    std::vector<uint8_t> inner(n, 0x45), wire(n + 40), out(65536);
    if (acking) {
        // The relay shows it acknowledges; its replies then ack our latest datagram.
        uint8_t hello[40] = {};
        tunnel_header_write(hello, TUNNEL_FLAG_DATA, 0, 0, 0, 40, 0);
        tunnel_store_be32(hello + 16, 1);
        TunnelDecoded r;
        tunnel_decapsulate(hello, sizeof hello, out.data(), out.size(), kRelay, 50000, &r);
    }
    uint32_t relaySeq = 1;
    for (auto _ : state) {
        uint32_t len = tunnel_encapsulate(inner.data(), n, wire.data(), uint32_t(wire.size()), 17,
                                          0x0200000Au, htons(50000), 0x04030201u, htons(3074), kRelay, 50000);
        if (acking) {
            // Turn our datagram into the relay's answer: its sequence, acking ours.
            uint32_t ours = tunnel_load_be32(wire.data() + 16);
            tunnel_store_be32(wire.data() + 16, ++relaySeq);
            tunnel_store_be32(wire.data() + 20, ours);
        }
        TunnelDecoded res;
        int ok = tunnel_decapsulate(wire.data(), len, out.data(), out.size(), kRelay, 50000, &res);
        benchmark::DoNotOptimize(ok);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(n));
}

void BM_EncapDecap(benchmark::State &state)
{
    run(state, false);
}

void BM_EncapDecapAck(benchmark::State &state)
{
    run(state, true);
}

} // namespace

BENCHMARK(BM_Memcpy)->Arg(64)->Arg(512)->Arg(1200);
BENCHMARK(BM_EncapDecap)->Arg(64)->Arg(512)->Arg(1200);
BENCHMARK(BM_EncapDecapAck)->Arg(64)->Arg(512)->Arg(1200);

BENCHMARK_MAIN();
