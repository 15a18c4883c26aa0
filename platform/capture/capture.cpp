// Chooses the backend of a new handle from QUORLIX_CAPTURE and routes every
// call on a handle to the backend that opened it.

#include "platform/capture/capture.h"
#include "platform/capture/capture_backend.h"
#include "platform/capture/capture_netfilter.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

bool isNetfilter(quorlix_capture_handle h)
{
    return (h & QUORLIX_CAPTURE_NETFILTER_BIT) != 0;
}

} // namespace

extern "C" quorlix_capture_handle quorlix_capture_open(const char *filter, int *error)
{
    return quorlix_capture_open_socket(filter, -1, error);
}

extern "C" quorlix_capture_handle quorlix_capture_open_socket(const char *filter, int socket_fd, int *error)
{
    const char *choice = getenv("QUORLIX_CAPTURE");
    if (!choice || !*choice || strcmp(choice, "netfilter") == 0)
        return quorlix_capture_nf_open(filter, socket_fd, error);
    if (strcmp(choice, "sim") == 0)
        return quorlix_capture_sim_open(filter, error);
    fprintf(stderr, "[CAPTURE] Unknown capture backend \"%s\" in QUORLIX_CAPTURE (sim or netfilter)\n",
            choice);
    if (error)
        *error = QUORLIX_CAPTURE_ERR_UNAVAILABLE;
    return QUORLIX_CAPTURE_INVALID;
}

extern "C" int quorlix_capture_recv(quorlix_capture_handle h, void *buf, size_t cap, size_t *len,
                                    quorlix_capture_addr *addr)
{
    return isNetfilter(h) ? quorlix_capture_nf_recv(h, buf, cap, len, addr)
                          : quorlix_capture_sim_recv(h, buf, cap, len, addr);
}

extern "C" int quorlix_capture_send(quorlix_capture_handle h, const void *packet, size_t len,
                                    const quorlix_capture_addr *addr)
{
    return isNetfilter(h) ? quorlix_capture_nf_send(h, packet, len, addr)
                          : quorlix_capture_sim_send(h, packet, len, addr);
}

extern "C" void quorlix_capture_close(quorlix_capture_handle h)
{
    if (isNetfilter(h))
        quorlix_capture_nf_close(h);
    else
        quorlix_capture_sim_close(h);
}

extern "C" uint64_t quorlix_capture_bypassed(quorlix_capture_handle h)
{
    return isNetfilter(h) ? quorlix_capture_nf_bypassed(h) : 0;
}
