// The console engine's two costs per frame, each next to the bare work it
// cannot avoid:
//
//   RingBare/N      a producer thread and a consumer thread move frames of N
//                   bytes through a ring of the same slot layout (510 slots of
//                   2056 bytes) with only acquire/release on the indices
//   Ring/N          a producer thread follows the driver's side of the
//                   protocol (tick, data, full fence, length, full fence, W)
//                   and the engine takes (gateway_ring_take: index and length
//                   checks, full fences, re-read of a 0 length); the producer
//                   waits for room, so "Drops" stays 0
//   CopySum/N       memcpy of an N-byte packet and an RFC 1071 sum over it
//   Uplink/N        gateway_encapsulate_uplink of an Ethernet frame with an
//                   N-byte UDP packet (recognition, flow table, header, IPv4
//                   and UDP checksums), the send going into a sink
//
// Items are frames; compare time per frame (or frames/s) in the same run.

#include "bench/support/ConsoleFrames.h"
#include "engine/common/engine_log.h"
#include "engine/common/engine_socket.h"
#include "engine/console/console_ring.h"
#include "engine/console/console_state.h"
#include "engine/console/console_uplink.h"
#include "platform/driver/console_device.h"
#include "platform/driver/driver.h"
#include "platform/driver/driver_sim.h"

#include <arpa/inet.h>
#include <atomic>
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <string.h>
#include <thread>
#include <vector>

namespace {

const int kFramesPerIteration = 20000;

void quiet(int, const char *, size_t, void *) {}

uint8_t *bareRegion()
{
    static uint8_t *r = [] {
        uint8_t *p = static_cast<uint8_t *>(aligned_alloc(4096, (REGION_SIZE + 4095) / 4096 * 4096));
        memset(p, 0, REGION_SIZE);
        return p;
    }();
    return r;
}

// The baseline ring: the same layout, nothing but the copy and the indices.
void bareProduce(uint8_t *ring, const uint8_t *frame, size_t len, int count)
{
    auto *w = reinterpret_cast<std::atomic<uint32_t> *>(ring + RING_W);
    auto *r = reinterpret_cast<std::atomic<uint32_t> *>(ring + RING_R);
    for (int i = 0; i < count; ++i) {
        const uint32_t wi = w->load(std::memory_order_relaxed);
        while ((wi + 1) % RING_SLOTS == r->load(std::memory_order_acquire)) {
        }
        uint8_t *slot = ring + RING_SLOT0 + size_t(wi) * SLOT_SIZE;
        memcpy(slot + SLOT_DATA, frame, len);
        uint16_t l = uint16_t(len);
        memcpy(slot + SLOT_LENGTH, &l, 2);
        w->store((wi + 1) % RING_SLOTS, std::memory_order_release);
    }
}

void bareConsume(uint8_t *ring, uint8_t *out, int count)
{
    auto *w = reinterpret_cast<std::atomic<uint32_t> *>(ring + RING_W);
    auto *r = reinterpret_cast<std::atomic<uint32_t> *>(ring + RING_R);
    for (int i = 0; i < count; ++i) {
        const uint32_t ri = r->load(std::memory_order_relaxed);
        while (w->load(std::memory_order_acquire) == ri) {
        }
        const uint8_t *slot = ring + RING_SLOT0 + size_t(ri) * SLOT_SIZE;
        uint16_t l;
        memcpy(&l, slot + SLOT_LENGTH, 2);
        memcpy(out, slot + SLOT_DATA, l);
        benchmark::DoNotOptimize(out);
        r->store((ri + 1) % RING_SLOTS, std::memory_order_release);
    }
}

void BM_RingBare(benchmark::State &state)
{
    const size_t n = size_t(state.range(0));
    std::vector<uint8_t> frame(n, 0x45), out(RING_MAX_FRAME);
    uint8_t *ring = bareRegion();
    for (auto _ : state) {
        std::thread producer([&] { bareProduce(ring, frame.data(), n, kFramesPerIteration); });
        bareConsume(ring, out.data(), kFramesPerIteration);
        producer.join();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kFramesPerIteration);
}

void BM_Ring(benchmark::State &state)
{
    quorlix_log_set_sink(quiet, nullptr);
    const size_t n = size_t(state.range(0));
    std::vector<uint8_t> frame(n, 0x45), out(RING_MAX_FRAME);
    quorlix_drvsim_install();
    int err = 0;
    const quorlix_driver_handle h = quorlix_driver_open(QUORLIX_CONSOLE_DEVICE_NAME, &err);
    uint64_t addr = 0;
    quorlix_driver_control(h, CONSOLE_IOCTL_MAP_SHARED_MEMORY, nullptr, 0, &addr, 8, nullptr);
    uint8_t *region = reinterpret_cast<uint8_t *>(uintptr_t(addr));
    for (auto _ : state) {
        std::thread producer([&] {
            // The driver's side of the protocol (tick, data, fence, length,
            // fence, W): it waits for room rather than count a drop.
            for (int i = 0; i < kFramesPerIteration; ++i) {
                const uint32_t w = region_load32(region, RING_W);
                while ((w + 1) % RING_SLOTS == region_load32(region, RING_R)) {
                }
                region_publish_slot(region, REGION_RX_RING, w, uint32_t(i), frame.data(), uint16_t(n));
            }
        });
        size_t len = 0;
        for (int got = 0; got < kFramesPerIteration;)
            got += gateway_ring_take(region, out.data(), &len);
        producer.join();
    }
    state.counters["Drops"] = double(region_load32(region, RING_DROPS));
    state.SetItemsProcessed(int64_t(state.iterations()) * kFramesPerIteration);
    quorlix_driver_close(h);
    quorlix_drvsim_uninstall();
}

uint16_t rfc1071(const uint8_t *p, size_t len)
{
    uint32_t sum = 0;
    size_t i = 0;
    for (; i + 1 < len; i += 2)
        sum += uint32_t(p[i]) << 8 | p[i + 1];
    if (i < len)
        sum += uint32_t(p[i]) << 8;
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return uint16_t(~sum);
}

void BM_CopySum(benchmark::State &state)
{
    const size_t n = size_t(state.range(0));
    const std::vector<uint8_t> f = consoleUdpFrame(n);
    std::vector<uint8_t> out(16 + n);
    for (auto _ : state) {
        memcpy(out.data() + 16, f.data() + 14, n);
        benchmark::DoNotOptimize(rfc1071(out.data() + 16, n));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()));
}

int sinkOpen(void *, int *)
{
    return 1000;
}
long sinkSend(void *, int, const void *, size_t len, uint32_t, uint16_t, int *)
{
    return long(len);
}
void sinkClose(void *, int) {}
const QuorlixSocketOps kSink = {sinkOpen, sinkSend, sinkClose, nullptr, nullptr, nullptr};

void BM_Uplink(benchmark::State &state)
{
    quorlix_log_set_sink(quiet, nullptr);
    quorlix_socket_set_ops(&kSink, nullptr);
    GatewayState &s = gateway_state();
    int err = 0;
    quorlix_socket_open(&s.sock, &err);
    s.relay_addr.store(inet_addr("198.51.100.9"));
    s.relay_port.store(50000);
    const size_t n = size_t(state.range(0));
    const std::vector<uint8_t> f = consoleUdpFrame(n);
    for (auto _ : state)
        benchmark::DoNotOptimize(gateway_encapsulate_uplink(f.data(), f.size()));
    state.SetItemsProcessed(int64_t(state.iterations()));
    quorlix_socket_close(&s.sock);
    quorlix_socket_set_ops(nullptr, nullptr);
}

} // namespace

BENCHMARK(BM_RingBare)->Arg(64)->Arg(1514)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Ring)->Arg(64)->Arg(1514)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopySum)->Arg(64)->Arg(576)->Arg(1500);
BENCHMARK(BM_Uplink)->Arg(64)->Arg(576)->Arg(1500);

BENCHMARK_MAIN();
