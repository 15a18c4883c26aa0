#include "platform/driver/host_net.h"

#include <arpa/inet.h>
#include <atomic>
#include <ifaddrs.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <netinet/in.h>
#include <netpacket/packet.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

std::atomic<const QuorlixHostOps *> g_ops{nullptr};
std::atomic<void *> g_ctx{nullptr};

int findOrAdd(QuorlixAdapter *out, int *count, int cap, const char *name)
{
    for (int i = 0; i < *count; ++i)
        if (strncmp(out[i].name, name, sizeof out[i].name) == 0)
            return i;
    if (*count >= cap)
        return -1;
    QuorlixAdapter &a = out[*count];
    memset(&a, 0, sizeof a);
    strncpy(a.name, name, sizeof a.name - 1);
    return (*count)++;
}

int realAdapters(QuorlixAdapter *out, int cap)
{
    ifaddrs *list = nullptr;
    if (getifaddrs(&list) != 0)
        return -1;
    int count = 0;
    for (ifaddrs *it = list; it; it = it->ifa_next) {
        if (!it->ifa_name)
            continue;
        const int i = findOrAdd(out, &count, cap, it->ifa_name);
        if (i < 0)
            continue;
        QuorlixAdapter &a = out[i];
        a.up = (it->ifa_flags & (IFF_UP | IFF_RUNNING)) == (IFF_UP | IFF_RUNNING);
        if (!it->ifa_addr)
            continue;
        if (it->ifa_addr->sa_family == AF_PACKET) {
            const sockaddr_ll *ll = reinterpret_cast<const sockaddr_ll *>(it->ifa_addr);
            a.ethernet = ll->sll_hatype == ARPHRD_ETHER;
            a.mac_len = ll->sll_halen <= sizeof a.mac ? ll->sll_halen : 0;
            memcpy(a.mac, ll->sll_addr, size_t(a.mac_len));
        } else if (it->ifa_addr->sa_family == AF_INET && a.ipv4_count < QUORLIX_ADAPTER_MAX_IPV4) {
            a.ipv4[a.ipv4_count++] = reinterpret_cast<const sockaddr_in *>(it->ifa_addr)->sin_addr.s_addr;
        }
    }
    freeifaddrs(list);
    return count;
}

// The interface that owns a local address.
unsigned long indexOfLocal(const sockaddr *local)
{
    ifaddrs *list = nullptr;
    if (getifaddrs(&list) != 0)
        return 0;
    unsigned long index = 0;
    for (ifaddrs *it = list; it && !index; it = it->ifa_next) {
        if (!it->ifa_addr || it->ifa_addr->sa_family != local->sa_family)
            continue;
        bool same = false;
        if (local->sa_family == AF_INET)
            same = reinterpret_cast<const sockaddr_in *>(it->ifa_addr)->sin_addr.s_addr ==
                   reinterpret_cast<const sockaddr_in *>(local)->sin_addr.s_addr;
        else
            same = memcmp(&reinterpret_cast<const sockaddr_in6 *>(it->ifa_addr)->sin6_addr,
                          &reinterpret_cast<const sockaddr_in6 *>(local)->sin6_addr, sizeof(in6_addr)) == 0;
        if (same)
            index = if_nametoindex(it->ifa_name);
    }
    freeifaddrs(list);
    return index;
}

int realPathMtu(const char *text, unsigned long *mtu, unsigned long *ifIndex)
{
    sockaddr_storage to{};
    socklen_t toLen = 0;
    int family = AF_INET;
    sockaddr_in *v4 = reinterpret_cast<sockaddr_in *>(&to);
    sockaddr_in6 *v6 = reinterpret_cast<sockaddr_in6 *>(&to);
    if (inet_pton(AF_INET, text, &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(9);
        toLen = sizeof *v4;
    } else if (inet_pton(AF_INET6, text, &v6->sin6_addr) == 1) {
        family = AF_INET6;
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(9);
        toLen = sizeof *v6;
    } else {
        return 0;
    }
    const int fd = socket(family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return 0;
    int ok = 0;
    int value = 0;
    socklen_t len = sizeof value;
    sockaddr_storage local{};
    socklen_t localLen = sizeof local;
    // Connecting a UDP socket sends nothing; it only picks the route.
    if (connect(fd, reinterpret_cast<sockaddr *>(&to), toLen) == 0 &&
        getsockopt(fd, family == AF_INET ? IPPROTO_IP : IPPROTO_IPV6, family == AF_INET ? IP_MTU : IPV6_MTU,
                   &value, &len) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr *>(&local), &localLen) == 0) {
        *mtu = value > 0 ? (unsigned long)value : 0;
        *ifIndex = indexOfLocal(reinterpret_cast<sockaddr *>(&local));
        ok = 1;
    }
    close(fd);
    return ok;
}

} // namespace

extern "C" void quorlix_host_set_ops(const QuorlixHostOps *ops, void *ctx)
{
    g_ctx.store(ctx);
    g_ops.store(ops);
}

extern "C" int quorlix_host_adapters(QuorlixAdapter *out, int cap)
{
    const QuorlixHostOps *ops = g_ops.load();
    if (ops && ops->adapters)
        return ops->adapters(g_ctx.load(), out, cap);
    return realAdapters(out, cap);
}

extern "C" int quorlix_host_path_mtu(const char *addr_text, unsigned long *mtu, unsigned long *if_index)
{
    if (!addr_text || !mtu || !if_index)
        return 0;
    const QuorlixHostOps *ops = g_ops.load();
    if (ops && ops->path_mtu)
        return ops->path_mtu(g_ctx.load(), addr_text, mtu, if_index);
    return realPathMtu(addr_text, mtu, if_index);
}
