#pragma once
// Shared helpers for the tunnel engine's state tests: the engine-log capture
// and a reset of the process-wide engine state.

#include "engine/common/engine_log.h"
#include "engine/tunnel/tunnel_state.h"
#include "support/EngineLogCapture.h"

#include <QString>
#include <QStringList>
#include <memory>
#include <mutex>

// A record on the heap (it is over half a megabyte), zero-filled.
inline std::unique_ptr<TunnelRuntimeConfig> makeRecord()
{
    return std::unique_ptr<TunnelRuntimeConfig>(new TunnelRuntimeConfig());
}
