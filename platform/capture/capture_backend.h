#pragma once
// The two backends behind capture.h, and how a handle says which one owns it.
// capture.cpp picks the backend at open and routes every later call by the
// handle's top bit; nothing outside this folder includes this header.

#include "platform/capture/capture.h"

#ifdef __cplusplus
extern "C" {
#endif

#define QUORLIX_CAPTURE_NETFILTER_BIT 0x80000000u

// A handle is (generation << index_bits) | (slot index + 1), plus the bit of
// its backend, so 0 never names a handle and a stale number never names the
// slot's next owner.
static inline quorlix_capture_handle quorlix_capture_make_handle(uint32_t backend_bit, unsigned index_bits,
                                                                 unsigned idx, uint32_t generation)
{
    return backend_bit | (generation << index_bits) | (idx + 1);
}

// The slot index a handle of the backend names, or -1.
static inline int quorlix_capture_handle_index(quorlix_capture_handle h, uint32_t backend_bit,
                                               unsigned index_bits, unsigned slots)
{
    if ((h & QUORLIX_CAPTURE_NETFILTER_BIT) != backend_bit)
        return -1;
    const unsigned idx = h & ((1u << index_bits) - 1);
    return idx == 0 || idx > slots ? -1 : (int)idx - 1;
}

quorlix_capture_handle quorlix_capture_sim_open(const char *filter, int *error);
int quorlix_capture_sim_recv(quorlix_capture_handle h, void *buf, size_t cap, size_t *len,
                             quorlix_capture_addr *addr);
int quorlix_capture_sim_send(quorlix_capture_handle h, const void *packet, size_t len,
                             const quorlix_capture_addr *addr);
void quorlix_capture_sim_close(quorlix_capture_handle h);

quorlix_capture_handle quorlix_capture_nf_open(const char *filter, int owner_socket, int *error);
int quorlix_capture_nf_recv(quorlix_capture_handle h, void *buf, size_t cap, size_t *len,
                            quorlix_capture_addr *addr);
int quorlix_capture_nf_send(quorlix_capture_handle h, const void *packet, size_t len,
                            const quorlix_capture_addr *addr);
void quorlix_capture_nf_close(quorlix_capture_handle h);

#ifdef __cplusplus
}
#endif
