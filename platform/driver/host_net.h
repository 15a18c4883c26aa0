#pragma once
// Facts about this host's network that the console gateway engine asks for:
// its adapters and the MTU of the path towards the relay. Tests replace both
// with quorlix_host_set_ops so nothing depends on the machine's own network.

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define QUORLIX_ADAPTER_MAX_IPV4 8

typedef struct QuorlixAdapter
{
    char name[64]; // friendly name; empty when it has none
    int ethernet;  // an Ethernet (CSMA/CD) adapter
    int up;        // operational
    int mac_len;   // bytes in mac (6 for Ethernet)
    uint8_t mac[8];
    uint32_t ipv4[QUORLIX_ADAPTER_MAX_IPV4]; // unicast addresses, network order
    int ipv4_count;
} QuorlixAdapter;

typedef struct QuorlixHostOps
{
    // Fills up to cap adapters in the system's order; returns how many, or -1
    // when the list cannot be read.
    int (*adapters)(void *ctx, QuorlixAdapter *out, int cap);
    // The MTU of the interface that traffic to addr_text (IPv4 or IPv6 text)
    // leaves by, and that interface's index. 1 on success, 0 when the address
    // is no literal or there is no route.
    int (*path_mtu)(void *ctx, const char *addr_text, unsigned long *mtu, unsigned long *if_index);
} QuorlixHostOps;

// NULL restores the real host (getifaddrs; a connected UDP socket's IP_MTU).
void quorlix_host_set_ops(const QuorlixHostOps *ops, void *ctx);

int quorlix_host_adapters(QuorlixAdapter *out, int cap);
int quorlix_host_path_mtu(const char *addr_text, unsigned long *mtu, unsigned long *if_index);

#ifdef __cplusplus
}
#endif
