// fuzz-sources: engine/console platform/driver engine/common
//
// Console frames of 0..2048 arbitrary bytes through the frame handler and the
// uplink step (recognition, MAC and tag learning, the flow table, checksum
// repair, the MSS option walk); sends go to a sink that checks each datagram
// stays within the header plus the frame. The first byte sets the switches:
// verbose lines and the MSS clamp.

#include "engine/common/engine_log.h"
#include "engine/common/engine_socket.h"
#include "engine/console/console_state.h"
#include "engine/console/console_uplink.h"

#include <stdlib.h>
#include <string.h>

namespace {
void quiet(int, const char *, size_t, void *) {}
size_t g_limit = 0;
int fakeOpen(void *, int *)
{
    return 1000;
}
long fakeSend(void *, int, const void *data, size_t len, uint32_t, uint16_t, int *)
{
    if (len < 16 + 20 || len > g_limit)
        abort();
    volatile uint8_t sink = static_cast<const uint8_t *>(data)[len - 1];
    (void)sink;
    return long(len);
}
void fakeClose(void *, int) {}
const QuorlixSocketOps kOps = {fakeOpen, fakeSend, fakeClose, nullptr, nullptr, nullptr};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static bool once = [] {
        quorlix_log_set_sink(quiet, nullptr);
        quorlix_socket_set_ops(&kOps, nullptr);
        int err = 0;
        quorlix_socket_open(&gateway_state().sock, &err);
        return true;
    }();
    (void)once;
    if (size < 1)
        return 0;
    GatewayState &s = gateway_state();
    s.settings.verbose_packets = data[0] & 1;
    s.settings.verbose_packets_max_per_sec = (data[0] >> 1) & 3;
    s.mss_clamp.store(500u + (data[0] >> 3) * 30u);
    ++data;
    --size;
    if (size > 2048)
        size = 2048;
    // An exactly sized copy so any read past the frame is caught.
    uint8_t *frame = static_cast<uint8_t *>(malloc(size ? size : 1));
    memcpy(frame, data, size);
    g_limit = 16 + size;
    gateway_handle_console_frame(frame, size);
    free(frame);
    return 0;
}
