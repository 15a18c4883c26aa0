#pragma once
// The two backends behind capture.h, and how a handle says which one owns it.
// capture.cpp picks the backend at open and routes every later call by the
// handle's top bit; nothing outside this folder includes this header.

#include "platform/capture/capture.h"

#ifdef __cplusplus
extern "C" {
#endif

#define QUORLIX_CAPTURE_NETFILTER_BIT 0x80000000u

quorlix_capture_handle quorlix_capture_sim_open(const char *filter, int *error);
int quorlix_capture_sim_recv(quorlix_capture_handle h, void *buf, size_t cap, size_t *len,
                             quorlix_capture_addr *addr);
int quorlix_capture_sim_send(quorlix_capture_handle h, const void *packet, size_t len,
                             const quorlix_capture_addr *addr);
void quorlix_capture_sim_close(quorlix_capture_handle h);

quorlix_capture_handle quorlix_capture_nf_open(const char *filter, int *error);
int quorlix_capture_nf_recv(quorlix_capture_handle h, void *buf, size_t cap, size_t *len,
                            quorlix_capture_addr *addr);
int quorlix_capture_nf_send(quorlix_capture_handle h, const void *packet, size_t len,
                            const quorlix_capture_addr *addr);
void quorlix_capture_nf_close(quorlix_capture_handle h);

#ifdef __cplusplus
}
#endif
