#include "engine/tunnel/tunnel_run.h"

#include "engine/common/engine_log.h"
#include "engine/tunnel/tunnel_ack.h"

#include <atomic>

namespace {

// Locks are plain statics: they exist for the whole process, so no caller can
// ever see one half-created (the "run in progress" test is the atomic below).
std::mutex g_config_lock;

std::atomic<bool> g_run_active{false};
std::atomic<bool> g_config_changed{false};
std::atomic<bool> g_ack_reset_pending{false};

} // namespace

std::mutex &tunnel_config_lock(void)
{
    return g_config_lock;
}

void tunnel_state_run_begin(void)
{
    std::lock_guard<std::mutex> g(g_config_lock);
    g_run_active.store(true);
    // Each run starts quiet; loading its configuration switches verbose on.
    quorlix_log_set_verbose(0);
}

void tunnel_state_run_end(void)
{
    std::lock_guard<std::mutex> g(g_config_lock);
    g_run_active.store(false);
    // A reset asked for while the run was still going (for instance a run that
    // outlived its stop) is done now that the engine thread is out of the way.
    if (g_ack_reset_pending.exchange(false))
        tunnel_ack_reset();
}

bool tunnel_state_run_active(void)
{
    return g_run_active.load();
}

void tunnel_state_service_pending_reset(void)
{
    if (g_ack_reset_pending.load(std::memory_order_relaxed) && g_ack_reset_pending.exchange(false))
        tunnel_ack_reset();
}

bool tunnel_state_take_config_changed(void)
{
    if (!g_config_changed.load(std::memory_order_relaxed))
        return false;
    std::lock_guard<std::mutex> g(g_config_lock);
    return g_config_changed.exchange(false);
}

void tunnel_run_mark_config_changed(void)
{
    g_config_changed.store(true);
}

void tunnel_run_reset_ack_state(void)
{
    std::lock_guard<std::mutex> g(g_config_lock);
    if (g_run_active.load())
        g_ack_reset_pending.store(true); // the engine thread owns the slots now
    else
        tunnel_ack_reset();
}

void tunnel_run_reset_for_tests(void)
{
    std::lock_guard<std::mutex> g(g_config_lock);
    g_run_active.store(false);
    g_config_changed.store(false);
    g_ack_reset_pending.store(false);
}
