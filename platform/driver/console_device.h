#pragma once
// The console filter driver's interface as the gateway engine sees it: the
// device name, the five control codes, and the byte layout of the records and
// of the shared region. Everything is given as offsets into byte buffers; the
// region is shared with another party that writes it at any time, so no C
// struct is laid over it (its words are reached with atomic accessors, see
// engine/console/console_ring.h).

#include <stddef.h>
#include <stdint.h>

#define QUORLIX_CONSOLE_DEVICE_NAME "\\\\.\\QuorlixNdis"

// Control codes: device type 0x12, buffered, any access; function in bits 2-13.
#define CONSOLE_CTL_CODE(fn) ((0x12u << 16) | ((uint32_t)(fn) << 2))
#define CONSOLE_IOCTL_GET_STATUS CONSOLE_CTL_CODE(0x808)         // out: DriverStatus
#define CONSOLE_IOCTL_GET_BUILD_INFO CONSOLE_CTL_CODE(0x80B)     // out: DriverBuildInfo
#define CONSOLE_IOCTL_SET_CONSOLE_CONFIG CONSOLE_CTL_CODE(0x80C) // in: ConsoleConfig
#define CONSOLE_IOCTL_GET_CONSOLE_CONFIG CONSOLE_CTL_CODE(0x80D) // out: ConsoleConfig
#define CONSOLE_IOCTL_MAP_SHARED_MEMORY CONSOLE_CTL_CODE(0x80E)  // out: 8-byte region address

// ConsoleConfig (little-endian unless noted).
enum {
    CCFG_SIZE = 16432,
    CCFG_ENABLED = 0,
    CCFG_GATEWAY_IP = 4,  // network order
    CCFG_SUBNET_MASK = 8, // network order
    CCFG_DNS_IP = 12,     // network order
    CCFG_LOCAL_MAC = 16,
    CCFG_CONSOLE_MAC = 22,
    CCFG_CONSOLE_DETECTED = 28,
    CCFG_TUNNEL_ALL_PORTS = 29,
    CCFG_UDP_BITMAP = 30,
    CCFG_BITMAP_BYTES = 8192,
    CCFG_UDP_COUNT = 8224,
    CCFG_TCP_BITMAP = 8228,
    CCFG_TCP_COUNT = 16420,
    CCFG_SERVER_IP = 16424,   // network order
    CCFG_SERVER_PORT = 16428, // network order
};

// DriverStatus: only these fields are read.
enum {
    DSTATUS_SIZE = 344,
    DSTATUS_FILTERING_ACTIVE = 1, // u8
    DSTATUS_ATTACHED = 4,         // u32
    DSTATUS_OFFLOADS_DISABLED = 8,
    DSTATUS_RECV_CB = 184, // u64
    DSTATUS_PROC_CALLS = 192,
    DSTATUS_PARSE_FAILS = 200,
};

// DriverBuildInfo.
enum {
    DBUILD_SIZE = 48,
    DBUILD_MAGIC = 0,  // u32
    DBUILD_STAMP = 16, // NUL-terminated, at most 31 characters
    DBUILD_STAMP_MAX = 32,
};

// FrameRing and FrameSlot.
enum {
    RING_SLOTS = 510,
    RING_MAX_FRAME = 2048,
    SLOT_LENGTH = 0, // u16, written last by the producer
    SLOT_TICK = 4,   // u32
    SLOT_DATA = 8,
    SLOT_SIZE = 2056,
    RING_W = 0,
    RING_R = 4,
    RING_DROPS = 8,
    RING_SLOT0 = 12,
    RING_SIZE = RING_SLOT0 + RING_SLOTS * SLOT_SIZE,
};

// ConsoleSharedRegion.
enum {
    REGION_RX_RING = 0,
    REGION_U2C_RING = RING_SIZE,
    REGION_KERNEL_TOTAL = 0x1FFFF8,        // u64
    REGION_USER_TOTAL = 0x200000,          // u64
    REGION_CON_COUNTERS = 0x200010,        // 8 x u64: SubnetHit .. Written
    REGION_PROTO_COUNTERS = 0x200050,      // 3 x u64: ProtoUDP, ProtoTCP, ProtoOther
    REGION_LAST_PROTO = 0x200068,          // 3 x u32: LastProto, LastSrc, LastDst
    REGION_MINIPORT_MAC_CACHED = 0x200074, // u32
    REGION_ARP_COUNTERS = 0x200078,        // 6 x u64: Seen .. AllocFail
    REGION_LAST_SENDER = 0x2000A8,         // 4 address bytes
    REGION_LAST_TARGET = 0x2000AC,
    REGION_SIZE = 2097328,
};

static_assert(CONSOLE_IOCTL_GET_STATUS == 0x122020, "GET_STATUS code");
static_assert(CONSOLE_IOCTL_GET_BUILD_INFO == 0x12202C, "GET_BUILD_INFO code");
static_assert(CONSOLE_IOCTL_SET_CONSOLE_CONFIG == 0x122030, "SET_CONSOLE_CONFIG code");
static_assert(CONSOLE_IOCTL_GET_CONSOLE_CONFIG == 0x122034, "GET_CONSOLE_CONFIG code");
static_assert(CONSOLE_IOCTL_MAP_SHARED_MEMORY == 0x122038, "MAP_SHARED_MEMORY code");
static_assert(CCFG_UDP_BITMAP + CCFG_BITMAP_BYTES + 2 == CCFG_UDP_COUNT, "UDP bitmap, reserved, count");
static_assert(CCFG_UDP_COUNT + 4 == CCFG_TCP_BITMAP, "TCP bitmap follows the UDP count");
static_assert(CCFG_TCP_BITMAP + CCFG_BITMAP_BYTES == CCFG_TCP_COUNT, "TCP count follows its bitmap");
static_assert(CCFG_SERVER_PORT + 4 == CCFG_SIZE, "record ends with the port and two reserved bytes");
static_assert(SLOT_DATA + RING_MAX_FRAME == SLOT_SIZE, "slot holds the largest frame");
static_assert(RING_SIZE == 1048572, "ring size");
static_assert(REGION_U2C_RING == 0xFFFFC, "U2C ring offset");
static_assert(REGION_U2C_RING + RING_SIZE == REGION_KERNEL_TOTAL, "counters follow the rings");
static_assert(REGION_CON_COUNTERS + 8 * 8 == REGION_PROTO_COUNTERS, "counter block");
static_assert(REGION_PROTO_COUNTERS + 3 * 8 == REGION_LAST_PROTO, "counter block");
static_assert(REGION_LAST_PROTO + 3 * 4 == REGION_MINIPORT_MAC_CACHED, "counter block");
static_assert(REGION_ARP_COUNTERS + 6 * 8 == REGION_LAST_SENDER, "ARP counters");
static_assert(REGION_LAST_TARGET + 4 == REGION_SIZE, "region size");
// Every word the two sides share is naturally aligned in a page-aligned region.
static_assert(REGION_U2C_RING % 4 == 0 && SLOT_SIZE % 4 == 0 && RING_SLOT0 % 4 == 0, "ring words aligned");
static_assert(REGION_KERNEL_TOTAL % 8 == 0 && REGION_CON_COUNTERS % 8 == 0 && REGION_ARP_COUNTERS % 8 == 0,
              "counters aligned");

// Words of the shared region, read and written whole. The other side may
// change any of them at any moment; these are the only ways they are touched.
// Index and length words are read with acquire and written with release
// ordering (besides the full fences of the ring protocol), so the frame bytes
// themselves can be plain copies: a slot's bytes are written before its length
// and the index are published, and not rewritten before the other side has
// moved its index past the slot.
static inline uint32_t region_load32(const uint8_t *base, size_t off)
{
    return __atomic_load_n(reinterpret_cast<const uint32_t *>(base + off), __ATOMIC_ACQUIRE);
}
static inline void region_store32(uint8_t *base, size_t off, uint32_t v)
{
    __atomic_store_n(reinterpret_cast<uint32_t *>(base + off), v, __ATOMIC_RELEASE);
}
static inline uint16_t region_load16(const uint8_t *base, size_t off)
{
    return __atomic_load_n(reinterpret_cast<const uint16_t *>(base + off), __ATOMIC_ACQUIRE);
}
static inline void region_store16(uint8_t *base, size_t off, uint16_t v)
{
    __atomic_store_n(reinterpret_cast<uint16_t *>(base + off), v, __ATOMIC_RELEASE);
}
static inline uint64_t region_load64(const uint8_t *base, size_t off)
{
    return __atomic_load_n(reinterpret_cast<const uint64_t *>(base + off), __ATOMIC_ACQUIRE);
}
static inline void region_store64(uint8_t *base, size_t off, uint64_t v)
{
    __atomic_store_n(reinterpret_cast<uint64_t *>(base + off), v, __ATOMIC_RELEASE);
}
static inline void region_add64(uint8_t *base, size_t off, uint64_t v)
{
    __atomic_fetch_add(reinterpret_cast<uint64_t *>(base + off), v, __ATOMIC_SEQ_CST);
}
static inline void region_fence(void)
{
    __atomic_thread_fence(__ATOMIC_SEQ_CST);
}

// A producer's step for one slot: tick and frame first, then the length, then
// the new write index, with full fences between so the consumer sees a slot's
// bytes before its length and its length before the index.
static inline void region_publish_slot(uint8_t *base, size_t ring, uint32_t w, uint32_t tick,
                                       const void *frame, uint16_t len)
{
    const size_t slot = ring + RING_SLOT0 + size_t(w) * SLOT_SIZE;
    region_store32(base, slot + SLOT_TICK, tick);
    __builtin_memcpy(base + slot + SLOT_DATA, frame, len);
    region_fence();
    region_store16(base, slot + SLOT_LENGTH, len);
    region_fence();
    region_store32(base, ring + RING_W, (w + 1) % RING_SLOTS);
}
