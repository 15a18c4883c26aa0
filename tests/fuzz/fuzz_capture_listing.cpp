// fuzz-sources: platform/capture/capture_filter.cpp platform/capture/packet.cpp
// fuzz-sources: platform/capture/capture_netfilter_rules.cpp
//
// What the netfilter backend reads from the system about the rules of other
// clients: a listing of the filter table (iptables -S) and the kernel's list
// of bound queues, both on hostile input. The chains it would remove are its
// own kind only and were declared in the listing, the removal text is
// bounded and complete, and the handle it would pass packets on to is one
// that listens. The input is the /proc text, a 0 byte, then the listing.

#include "platform/capture/capture_netfilter.h"

#include <stdlib.h>
#include <string.h>

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const uint8_t *zero = static_cast<const uint8_t *>(memchr(data, 0, size));
    const std::string proc(reinterpret_cast<const char *>(data), zero ? size_t(zero - data) : size);
    const std::string listing =
        zero ? std::string(reinterpret_cast<const char *>(zero + 1), size - proc.size() - 1) : std::string();

    uint16_t queues[64];
    const size_t nq = quorlix_capture_nf_listened(proc.c_str(), queues, 64);
    if (nq > 64)
        abort();
    static char names[32][QUORLIX_CAPTURE_NF_CHAIN_LEN];
    const size_t stale = quorlix_capture_nf_stale(listing.c_str(), queues, nq, 4470, names, 32);
    if (stale > 32)
        abort();
    for (size_t i = 0; i < stale; ++i) {
        if (strnlen(names[i], sizeof names[i]) == sizeof names[i] || strncmp(names[i], "QUORLIX_", 8) != 0 ||
            listing.find(std::string("-N ") + names[i]) == std::string::npos)
            abort();
    }
    static char script[1 << 16];
    const size_t n = quorlix_capture_nf_removal(listing.c_str(), names, stale, script, sizeof script);
    if (n > 0 && (strlen(script) != n || memcmp(script + n - 7, "COMMIT\n", 7) != 0))
        abort();
    const int first = quorlix_capture_nf_first_live(listing.c_str(), queues, nq, nullptr, 0);
    if (first != -1) {
        bool listened = false;
        for (size_t i = 0; i < nq; ++i)
            listened = listened || queues[i] == first;
        if (!listened)
            abort();
    }
    return 0;
}
