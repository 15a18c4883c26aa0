#include "engine/console/console_host.h"

#include "engine/common/engine_log.h"
#include "engine/console/console_state.h"

#include <arpa/inet.h>
#include <string.h>

namespace {

bool nameHas(const char *name, const char *what)
{
    return strstr(name, what) != nullptr;
}

} // namespace

int gateway_choose_adapter(const QuorlixAdapter *list, int count)
{
    int candidate = -1;
    for (int i = 0; i < count; ++i) {
        const QuorlixAdapter &a = list[i];
        if (!a.ethernet || !a.up || a.mac_len != 6)
            continue;
        char name[sizeof a.name + 1];
        memcpy(name, a.name, sizeof a.name);
        name[sizeof a.name] = '\0';
        if (nameHas(name, "vEthernet") || nameHas(name, "Virtual") || nameHas(name, "VMware") ||
            nameHas(name, "VirtualBox"))
            continue;
        const int n = a.ipv4_count < QUORLIX_ADAPTER_MAX_IPV4 ? a.ipv4_count : QUORLIX_ADAPTER_MAX_IPV4;
        for (int k = 0; k < n; ++k) {
            const uint8_t *b = reinterpret_cast<const uint8_t *>(&a.ipv4[k]);
            if (b[0] == 172 && b[1] == 22)
                return i;
        }
        if (candidate < 0 || nameHas(name, "Ethernet"))
            candidate = i;
    }
    return candidate;
}

unsigned gateway_mss_clamp_for_mtu(unsigned long mtu, int ipv6)
{
    const unsigned long overhead = ipv6 ? 104 : 84;
    const unsigned long v = mtu > overhead ? mtu - overhead : 0;
    return unsigned(v < 500 ? 500 : v > 1460 ? 1460 : v);
}

int gateway_find_local_mac(uint8_t mac[6])
{
    memset(mac, 0, 6);
    QuorlixAdapter list[64];
    const int count = quorlix_host_adapters(list, 64);
    const int i = gateway_choose_adapter(list, count < 0 ? 0 : count > 64 ? 64 : count);
    if (i < 0)
        return 0;
    const QuorlixAdapter &a = list[i];
    memcpy(mac, a.mac, 6);
    char name[sizeof a.name + 1];
    memcpy(name, a.name, sizeof a.name);
    name[sizeof a.name] = '\0';
    quorlix_log("[CONFIG] Using adapter: %s  MAC=%02X:%02X:%02X:%02X:%02X:%02X\n",
                name[0] ? name : "(unknown)", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
    return 1;
}

void gateway_update_mss_clamp(const char *relay)
{
    GatewayState &s = gateway_state();
    in_addr v4;
    in6_addr v6;
    const bool isV4 = inet_pton(AF_INET, relay, &v4) == 1;
    const bool isV6 = !isV4 && inet_pton(AF_INET6, relay, &v6) == 1;
    unsigned long mtu = 0, index = 0;
    if ((isV4 || isV6) && quorlix_host_path_mtu(relay, &mtu, &index) && index != 0 && mtu >= 576) {
        const unsigned clamp = gateway_mss_clamp_for_mtu(mtu, isV6);
        s.mss_clamp.store(clamp);
        quorlix_log("[CONFIG] Outbound MTU to %s: %lu (ifIndex=%lu, outer=%s) -> MSS clamp=%u\n", relay, mtu,
                    index, isV6 ? "IPv6" : "IPv4", clamp);
        return;
    }
    quorlix_log("[CONFIG] Outbound MTU lookup failed for %s; using default MSS clamp=%u\n", relay,
                unsigned(s.mss_clamp.load()));
}
