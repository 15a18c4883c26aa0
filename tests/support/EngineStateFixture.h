#pragma once
// The tunnel engine's process-wide state around each case of its state tests:
// reset before and after, optionally with the primary relay the routing
// cases start from; and a zero-filled runtime record.

#include "engine/common/engine_log.h"
#include "engine/tunnel/tunnel_relays.h"
#include "engine/tunnel/tunnel_state.h"
#include "support/EngineLogCapture.h"

#include <arpa/inet.h>

#include <memory>

namespace EngineStateFixture {

// The relay every routing case starts from.
constexpr char kPrimaryRelay[] = "192.0.2.1";
constexpr uint16_t kPrimaryRelayPort = 50000;

// For a test's init() and cleanup().
inline void reset()
{
    tunnel_state_reset_for_tests();
}

// For the init() of a test whose cases route through the primary relay.
inline void resetWithPrimaryRelay()
{
    tunnel_state_reset_for_tests();
    tunnel_set_primary_relay(inet_addr(kPrimaryRelay), kPrimaryRelayPort);
}

// A record on the heap (it is over half a megabyte), zero-filled.
inline std::unique_ptr<TunnelRuntimeConfig> makeRecord()
{
    return std::unique_ptr<TunnelRuntimeConfig>(new TunnelRuntimeConfig());
}

} // namespace EngineStateFixture
