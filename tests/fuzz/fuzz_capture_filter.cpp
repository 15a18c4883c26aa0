// fuzz-sources: platform/capture/capture_filter.cpp platform/capture/packet.cpp
//
// The capture filter compiler on hostile text, and evaluation of what
// compiles against a hostile packet in both directions. The input is the
// filter text, a 0 byte, then the packet.

#include "platform/capture/capture_filter.h"

#include <stdlib.h>
#include <string.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const uint8_t *zero = static_cast<const uint8_t *>(memchr(data, 0, size));
    size_t text_len = zero ? size_t(zero - data) : size;
    char *text = static_cast<char *>(malloc(text_len + 1));
    memcpy(text, data, text_len);
    text[text_len] = 0;
    size_t pkt_len = zero ? size - text_len - 1 : 0;
    uint8_t *pkt = static_cast<uint8_t *>(malloc(pkt_len ? pkt_len : 1));
    if (pkt_len)
        memcpy(pkt, zero + 1, pkt_len);

    size_t pos = 0;
    quorlix_filter *f = quorlix_filter_compile(text, &pos);
    if (f) {
        int in = quorlix_filter_match(f, pkt, pkt_len, 0);
        int out = quorlix_filter_match(f, pkt, pkt_len, 1);
        if ((in != 0 && in != 1) || (out != 0 && out != 1))
            abort();
        quorlix_filter_free(f);
    } else if (pos > text_len && pos != size_t(-1)) {
        abort();
    }
    free(pkt);
    free(text);
    return 0;
}
