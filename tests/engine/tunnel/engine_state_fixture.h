#pragma once
// Shared helpers for the tunnel engine's state tests: a log sink that keeps
// every engine line, and a reset of the process-wide engine state.

#include "engine/common/engine_log.h"
#include "engine/tunnel/tunnel_state.h"

#include <QString>
#include <QStringList>
#include <memory>
#include <mutex>

// Collects engine log lines while alive (stream 1 = stdout, 2 = stderr).
class EngineLogCapture
{
public:
    EngineLogCapture() { quorlix_log_set_sink(&EngineLogCapture::sink, this); }
    ~EngineLogCapture() { quorlix_log_set_sink(nullptr, nullptr); }
    EngineLogCapture(const EngineLogCapture &) = delete;
    EngineLogCapture &operator=(const EngineLogCapture &) = delete;

    QStringList out() const
    {
        std::lock_guard<std::mutex> g(m_lock);
        return m_out;
    }
    QStringList err() const
    {
        std::lock_guard<std::mutex> g(m_lock);
        return m_err;
    }
    void clear()
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_out.clear();
        m_err.clear();
    }

private:
    static void sink(int stream, const char *text, size_t len, void *ctx)
    {
        auto *self = static_cast<EngineLogCapture *>(ctx);
        std::lock_guard<std::mutex> g(self->m_lock);
        (stream == 2 ? self->m_err : self->m_out) << QString::fromUtf8(text, int(len));
    }

    mutable std::mutex m_lock;
    QStringList m_out;
    QStringList m_err;
};

// A record on the heap (it is over half a megabyte), zero-filled.
inline std::unique_ptr<TunnelRuntimeConfig> makeRecord()
{
    return std::unique_ptr<TunnelRuntimeConfig>(new TunnelRuntimeConfig());
}
