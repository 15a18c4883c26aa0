#include "engine/tunnel/tunnel_state.h"

#include "engine/tunnel/tunnel_ack.h"
#include "engine/tunnel/tunnel_mtu.h"

void tunnel_state_reset_for_tests(void)
{
    // Each part takes its own lock in turn, never two at once.
    tunnel_run_reset_for_tests();
    tunnel_config_reset_for_tests();
    tunnel_ports_reset_for_tests();
    tunnel_domain_list_reset_for_tests();
    tunnel_relays_reset_for_tests();
    tunnel_app_ips_reset_for_tests();
    tunnel_stats_reset_for_tests();
    tunnel_ack_reset();
    tunnel_mtu_reset_defaults();
}
